// Bodies of protocol families that are not decoded yet: they add nothing
// after the kind label. Each moves to its family's own file when built.
#include "lumarc/decoder/bodies.h"

namespace lumarc {


}  // namespace lumarc
