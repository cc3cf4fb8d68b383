// "--pdf" of the list and report commands: spooled lines printed as the
// browser views print them.
#pragma once

#include "common/string_table.h"
#include "lumarc/browse/line_store.h"

#include <string>

namespace lumarc::cli {

// Writes the headers and lines to a PDF file; false when it cannot be
// written. Runs Qt on the offscreen platform when there is no display.
bool printLinesAsPdf(const std::string& path, const std::string& header1, const std::string& header2,
                     browse::LineStore& lines, const corvane::StringTable& texts);

}  // namespace lumarc::cli
