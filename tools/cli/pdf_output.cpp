#include "tools/cli/pdf_output.h"

#ifdef LUMARC_CLI_PDF
#include "lumarc/browse/ui/list_print.h"

#include <QGuiApplication>

#include <memory>
#endif

namespace lumarc::cli {

#ifdef LUMARC_CLI_PDF
bool printLinesAsPdf(const std::string& path, const std::string& header1, const std::string& header2,
                     browse::LineStore& lines, const corvane::StringTable& texts) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QGuiApplication> app;
  static int argc = 1;
  static char name[] = "lumarc-cli";
  static char* argv[] = {name, nullptr};
  if (!QGuiApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);
  browse::PrintSource src;
  src.header1 = header1;
  src.header2 = header2;
  src.count = size_t(lines.count());
  src.texts = &texts;
  src.line = [&lines](size_t i) {
    auto r = lines.read(int(i));
    return r ? r->text : std::string();
  };
  return browse::printLinesToPdf(path, src);
}
#else
bool printLinesAsPdf(const std::string&, const std::string&, const std::string&, browse::LineStore&,
                     const corvane::StringTable&) {
  return false;
}
#endif

}  // namespace lumarc::cli
