// Row types of the record database: nothing to compile yet beyond the header.
#include "lumarc/store/records.h"
