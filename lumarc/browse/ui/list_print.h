// The print-out of a browser list: 50 rows a page in a thin fixed-pitch
// font, the list's headers at the top of every page, then its lines in
// order. Lines are fetched one at a time, so a list of any length prints in
// constant memory. Used by the list views and by the command line's
// reports (to a PDF file).
#pragma once

#include "common/string_table.h"

#include <cstddef>
#include <functional>
#include <string>

class QPrinter;

namespace lumarc::browse {

struct PrintSource {
  std::string header1, header2;                 // 8-bit texts; empty = absent
  size_t count = 0;                             // number of lines
  std::function<std::string(size_t)> line;      // 8-bit text of line i
  const corvane::StringTable* texts = nullptr;  // code page of the texts
};

// Prints on an already set-up printer; false when painting cannot start.
bool printLines(QPrinter& printer, const PrintSource& src);
// PDF to a file through QPrinter (offscreen platform is fine); false on failure.
bool printLinesToPdf(const std::string& path, const PrintSource& src);

}  // namespace lumarc::browse
