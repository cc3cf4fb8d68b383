// lumarc-cli users | definitions | replace: the users view, the dialled-digit
// and calling-number views and the number-to-name replacement without a
// window. The lists are printed line for line as the views build them, in
// the form of the program's report files (the texts' 8-bit code page, CR LF)
// or, with --utf8, as UTF-8 lines for a terminal; --pdf prints them as the
// views' print-out does.
#include "tools/cli/command.h"
#include "tools/cli/pdf_output.h"
#include "tools/cli/store_text.h"

#include "common/codepage.h"
#include "common/files.h"
#include "lumarc/app/session.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/line_store.h"
#include "lumarc/store/record_store.h"

#include <memory>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace lumarc::cli {
namespace {

// Line kinds of the views: users and definitions.
constexpr int32_t kUserLineKind = 6, kDefinitionLineKind = 7;

struct ListOptions {
  std::string format, sort;  // "0" or "1"; empty: as the settings say
  bool utf8 = false;
  std::string pdf;
  std::string list;    // definitions and replace: dialled or calling
  std::string number;  // replace
};

// Declares --sort, --utf8, --pdf (and --format with withFormat) on parser.
void listOptions(CLI::App& parser, ListOptions& o, bool withFormat) {
  auto zeroOrOne = CLI::IsMember({"0", "1"}).description("");
  if (withFormat)
    parser.add_option("--format", o.format, "the number format (default: as the Users view was left)")
        ->type_name("0|1")
        ->check(zeroOrOne);
  parser.add_option("--sort", o.sort, "the sort order (default: as the view was left)")
      ->type_name("0|1")
      ->check(zeroOrOne);
  parser.add_flag("--utf8", o.utf8, "UTF-8 lines for a terminal instead of the report file's bytes");
  parser.add_option("--pdf", o.pdf, "print the list to a PDF file as the view's print-out does")
      ->type_name("FILE")
      ->check(CLI::Validator([](std::string& v) { return v.empty() ? std::string("needs a file name") : ""; }, ""));
}

// Refuses --pdf where the window libraries are missing: 2 after saying so, else -1.
int checkPdf(const CLI::App& parser, const ListOptions& o) {
#ifndef LUMARC_CLI_PDF
  if (!o.pdf.empty())
    return corvane::tools::usageError(parser, "--pdf is not available in this build (no window libraries)");
#else
  (void)parser, (void)o;
#endif
  return -1;
}

// Declares the dialled|calling argument.
void listArgument(CLI::App& parser, ListOptions& o) {
  parser.add_option("LIST", o.list, "dialled: the dialled-digit definitions; calling: the calling-number ones")
      ->type_name("dialled|calling")
      ->required()
      ->check(CLI::IsMember({"dialled", "calling"}).description(""));
}

// The settings and texts of the working directory, and its main database.
struct ListSession : Session {
  StderrStoreMessages messages;
  std::unique_ptr<RecordStore> store;

  explicit ListSession(const Options& opt) : Session(opt.workDir) {}
  // Opens the main database without creating one; false after saying why.
  bool open(const Options& opt) {
    struct stat st {};
    const std::string file = corvane::joinPath(opt.workDir, RecordStore::kMainFile);
    if (opt.db.empty() && !userDsnDefined("LumarcDb") && stat(file.c_str(), &st) != 0) {
      std::fprintf(stderr, "lumarc-cli: %s does not exist in %s (run: lumarc-cli db init)\n", RecordStore::kMainFile,
                   opt.workDir.c_str());
      return false;
    }
    store = std::make_unique<RecordStore>(&messages, texts->codePage());
    if (!store->openMainDatabase(opt.workDir, opt.db)) {
      std::fprintf(stderr, "lumarc-cli: %s\n", databaseAccessFailedText().c_str());
      return false;
    }
    return true;
  }
  store::Database& db() { return *store->mainDatabase(); }
};

// Where the lines go: standard output as report-file lines or UTF-8 lines,
// or a spool that is printed to a PDF at the end.
class LineOutput {
 public:
  LineOutput(const ListOptions& o, const corvane::StringTable& texts) : opt_(o), texts_(texts) {
    if (!o.pdf.empty()) spool_ = std::make_unique<browse::LineStore>();
  }
  void headers(std::string h1, std::string h2) {
    header1_ = std::move(h1);
    header2_ = std::move(h2);
    if (spool_) return;
    put(header1_);
    if (!header2_.empty()) put(header2_);
  }
  void line(const std::string& text, int32_t kind, int32_t index) {
    if (spool_)
      spool_->add(text, kind, index, spool_->count());
    else
      put(text);
  }
  // Ends the output: flushes it, or prints the spooled lines. The exit
  // status: 0, or 1 when the output could not be written.
  int finish();

 private:
  int printSpool();
  void put(const std::string& bytes) {
    if (opt_.utf8) {
      const std::string u = corvane::toUtf8(bytes, texts_.codePage());
      std::fwrite(u.data(), 1, u.size(), stdout);
      std::fputc('\n', stdout);
    } else {
      std::fwrite(bytes.data(), 1, bytes.size(), stdout);
      std::fputs("\r\n", stdout);
    }
  }
  const ListOptions& opt_;
  const corvane::StringTable& texts_;
  std::string header1_, header2_;
  std::unique_ptr<browse::LineStore> spool_;
};

int LineOutput::finish() {
  if (!spool_) return std::fflush(stdout) == 0 ? 0 : 1;
  return printSpool();
}

#ifdef LUMARC_CLI_PDF
int LineOutput::printSpool() {
  if (!spool_->ok() || !spool_->flush()) {
    std::fprintf(stderr, "lumarc-cli: the lines could not be kept for printing\n");
    return 1;
  }
  if (!printLinesAsPdf(opt_.pdf, header1_, header2_, *spool_, texts_)) {
    std::fprintf(stderr, "lumarc-cli: %s %s\n", opt_.pdf.c_str(), texts_.text(kTextFileAccessFailed).c_str());
    return 1;
  }
  return 0;
}
#else
int LineOutput::printSpool() { return 1; }  // --pdf is refused with the options
#endif

std::optional<int32_t> definitionType(const std::string& word) {
  if (word == "dialled") return browse::kDialledDigits;
  if (word == "calling") return browse::kCallingNumber;
  return std::nullopt;
}

std::tm localNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

// "0" or "1" as given, else the setting.
int chosen(const std::string& given, uint32_t setting) { return given.empty() ? (setting != 0 ? 1 : 0) : given == "1"; }

int users(const Options& opt, const ListOptions& lo) {
  ListSession s(opt);
  const int format = chosen(lo.format, s.settings.usersFormat());
  const int sort = chosen(lo.sort, s.settings.usersSort());
  if (!s.open(opt)) return 1;
  LineOutput out(lo, *s.texts);
  out.headers(browse::usersHeader1(*s.texts, localNow()), browse::usersHeader2(*s.texts, format));
  const std::string error = browse::listUsers(
      s.db(), sort, [&](const UserRecord& u) { out.line(browse::userLine(u, format), kUserLineKind, u.sqno); });
  if (!error.empty()) {
    std::fprintf(stderr, "lumarc-cli: %s (%s)\n", databaseAccessFailedText().c_str(), error.c_str());
    return 1;
  }
  return out.finish();
}

int definitions(const Options& opt, const ListOptions& lo) {
  const auto type = definitionType(lo.list);
  ListSession s(opt);
  const int sort = chosen(lo.sort, s.settings.definitionsSort());
  if (!s.open(opt)) return 1;
  LineOutput out(lo, *s.texts);
  out.headers(browse::definitionsHeader(*s.texts), {});
  const std::string error = browse::listDefinitions(s.db(), *type, sort, [&](const RouteRecord& r) {
    out.line(browse::definitionLine(r), kDefinitionLineKind, r.RSno);
  });
  if (!error.empty()) {
    std::fprintf(stderr, "lumarc-cli: %s (%s)\n", databaseAccessFailedText().c_str(), error.c_str());
    return 1;
  }
  return out.finish();
}

int replace(const Options& opt, const ListOptions& lo) {
  const auto type = definitionType(lo.list);
  ListSession s(opt);
  if (!s.open(opt)) return 1;
  std::string error;
  const auto index = browse::DefinitionIndex::load(s.db(), *type, error);
  if (!index) {
    std::fprintf(stderr, "lumarc-cli: %s (%s)\n", databaseAccessFailedText().c_str(), error.c_str());
    return 1;
  }
  const corvane::CodePage cp = s.texts->codePage();
  const browse::NumberReplacement r = index->replace(corvane::fromUtf8(lo.number, cp));
  std::printf("%s%s\n", corvane::toUtf8(r.text, cp).c_str(), r.acknowledged ? " A" : "");
  return std::fflush(stdout) == 0 ? 0 : 1;
}

Runner defineUsers(CLI::App& parser) {
  auto lo = std::make_shared<ListOptions>();
  listOptions(parser, *lo, true);
  return [&parser, lo](const Options& opt) {
    const int status = checkPdf(parser, *lo);
    return status >= 0 ? status : users(opt, *lo);
  };
}

Runner defineDefinitions(CLI::App& parser) {
  auto lo = std::make_shared<ListOptions>();
  listArgument(parser, *lo);
  listOptions(parser, *lo, false);
  return [&parser, lo](const Options& opt) {
    const int status = checkPdf(parser, *lo);
    return status >= 0 ? status : definitions(opt, *lo);
  };
}

Runner defineReplace(CLI::App& parser) {
  auto lo = std::make_shared<ListOptions>();
  listArgument(parser, *lo);
  parser.add_option("NUMBER", lo->number, "the number to look up")->type_name("")->required();
  return [lo](const Options& opt) { return replace(opt, *lo); };
}

Register usersReg({"users", "the users with their charge pulse counters, as the Users view lists them", defineUsers});
Register definitionsReg({"definitions", "the dialled-digit or calling-number definitions, as their views list them",
                         defineDefinitions});
Register replaceReg({"replace", "NUMBER with its known prefix replaced by the definition's name (\" A\": acknowledged)",
                     defineReplace});

}  // namespace
}  // namespace lumarc::cli
