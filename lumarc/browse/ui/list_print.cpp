#include "lumarc/browse/ui/list_print.h"

#include "common/qt/qt_text.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cassert>
#include <cmath>

namespace lumarc::browse {
namespace {

constexpr int kRowsPerPage = 50;

// The page geometry, from the printable height in device pixels.
struct Layout {
  int headerRows = 0;
  int linesPerPage = 0;
  size_t pages = 0;
  double margin = 0;      // top and bottom: a tenth of the page height
  double pitch = 0;       // what is left, over 50 rows
  double fontHeight = 0;  // 60 % of the pitch
  double fontWidth = 0;   // half the font height
};

Layout layoutFor(const PrintSource& src, double pageHeight) {
  Layout l;
  l.headerRows = int(!src.header1.empty()) + int(!src.header2.empty());
  l.linesPerPage = kRowsPerPage - l.headerRows;
  l.pages = (src.count + size_t(l.linesPerPage) - 1) / size_t(l.linesPerPage);
  l.margin = pageHeight / 10;
  l.pitch = (pageHeight - 2 * l.margin) / kRowsPerPage;
  l.fontHeight = l.pitch * 0.6;
  l.fontWidth = l.fontHeight / 2;
  return l;
}

}  // namespace

bool printLines(QPrinter& printer, const PrintSource& src) {
  assert(src.texts && (src.count == 0 || src.line));
  const Layout l = layoutFor(src, double(printer.height()));
  QPainter p;
  if (!p.begin(&printer)) return false;

  // A thin fixed-pitch font, squeezed sideways to half its height a
  // character; on a device too coarse for that, the device's own font.
  if (l.fontWidth > 1) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(std::max(1, int(std::lround(l.fontHeight))));
    font.setWeight(QFont::Light);
    p.setFont(font);
    const double advance = QFontMetricsF(font, &printer).horizontalAdvance(QLatin1Char('M'));
    if (advance > 0) p.scale(l.fontWidth / advance, 1);
  }
  const double ascent = QFontMetricsF(p.font(), &printer).ascent();
  const auto text = [&](const std::string& bytes) { return corvane::qtext(*src.texts, bytes); };

  bool ok = true;
  for (size_t page = 0; page < l.pages && ok; ++page) {
    if (page > 0 && !printer.newPage()) ok = false;
    int row = 0;
    const auto put = [&](const std::string& bytes) {
      p.drawText(QPointF(0, l.margin + row * l.pitch + ascent), text(bytes));
      ++row;
    };
    if (!src.header1.empty()) put(src.header1);
    if (!src.header2.empty()) put(src.header2);
    const size_t first = page * size_t(l.linesPerPage);
    const size_t end = std::min(src.count, first + size_t(l.linesPerPage));
    for (size_t i = first; i < end && ok; ++i) put(src.line(i));
  }
  return p.end() && ok;
}

bool printLinesToPdf(const std::string& path, const PrintSource& src) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QFile::decodeName(path.c_str()));
  return printLines(printer, src);
}

}  // namespace lumarc::browse
