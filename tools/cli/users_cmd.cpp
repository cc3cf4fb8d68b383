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
#include "lumarc/app/settings.h"
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
  std::optional<int> format, sort;
  bool utf8 = false;
  std::string pdf;
  std::vector<std::string> rest;  // arguments that are no options
};

int usageError(const char* usage, const std::string& why) {
  std::fprintf(stderr, "lumarc-cli: %s\nusage: lumarc-cli [--dir WORKDIR] [--db CONNECTION] %s\n", why.c_str(), usage);
  return 2;
}

// Parses "--name value" and "--name=value"; false with the reason in why.
bool parseOptions(const std::vector<std::string>& args, bool withFormat, ListOptions& out, std::string& why) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i], value;
    bool hasValue = false;
    if (a.rfind("--", 0) == 0) {
      size_t eq = a.find('=');
      if (eq != std::string::npos) {
        value = a.substr(eq + 1);
        a.resize(eq);
        hasValue = true;
      }
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) {
        why = a + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    auto zeroOrOne = [&](std::optional<int>& into) -> bool {
      if (!takeValue()) return false;
      if (value != "0" && value != "1") {
        why = a + " must be 0 or 1, not \"" + value + "\"";
        return false;
      }
      into = value == "1" ? 1 : 0;
      return true;
    };
    if (a == "--sort") {
      if (!zeroOrOne(out.sort)) return false;
    } else if (a == "--format" && withFormat) {
      if (!zeroOrOne(out.format)) return false;
    } else if (a == "--utf8" && !hasValue) {
      out.utf8 = true;
    } else if (a == "--pdf") {
#ifndef LUMARC_CLI_PDF
      why = "--pdf is not available in this build (no window libraries)";
      return false;
#endif
      if (!takeValue()) return false;
      if (value.empty()) {
        why = "--pdf needs a file name";
        return false;
      }
      out.pdf = value;
    } else if (a.rfind("--", 0) == 0) {
      why = "unknown option " + args[i];
      return false;
    } else {
      out.rest.push_back(a);
    }
  }
  return true;
}

// The settings and texts of the working directory, and its main database.
struct Session {
  SettingsBlock settings;
  const corvane::StringTable* texts = nullptr;
  StderrStoreMessages messages;
  std::unique_ptr<RecordStore> store;

  explicit Session(const Options& opt) {
    loadSettings(settings, opt.workDir);
    texts = &textsFor(settings.language());
  }
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

constexpr const char* kUsersUsage = "users [--format 0|1] [--sort 0|1] [--utf8] [--pdf FILE]";
constexpr const char* kDefinitionsUsage = "definitions dialled|calling [--sort 0|1] [--utf8] [--pdf FILE]";
constexpr const char* kReplaceUsage = "replace dialled|calling NUMBER";

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

int users(const Options& opt) {
  ListOptions lo;
  std::string why;
  if (!parseOptions(opt.args, true, lo, why)) return usageError(kUsersUsage, why);
  if (!lo.rest.empty()) return usageError(kUsersUsage, "unexpected argument " + lo.rest.front());
  Session s(opt);
  const int format = lo.format.value_or(s.settings.usersFormat() != 0 ? 1 : 0);
  const int sort = lo.sort.value_or(s.settings.usersSort() != 0 ? 1 : 0);
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

int definitions(const Options& opt) {
  ListOptions lo;
  std::string why;
  if (!parseOptions(opt.args, false, lo, why)) return usageError(kDefinitionsUsage, why);
  if (lo.rest.size() != 1) return usageError(kDefinitionsUsage, "say dialled or calling");
  const auto type = definitionType(lo.rest[0]);
  if (!type) return usageError(kDefinitionsUsage, "unknown definition list " + lo.rest[0]);
  Session s(opt);
  const int sort = lo.sort.value_or(s.settings.definitionsSort() != 0 ? 1 : 0);
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

int replace(const Options& opt) {
  if (opt.args.size() != 2) return usageError(kReplaceUsage, "say dialled or calling and the number");
  const auto type = definitionType(opt.args[0]);
  if (!type) return usageError(kReplaceUsage, "unknown definition list " + opt.args[0]);
  Session s(opt);
  if (!s.open(opt)) return 1;
  std::string error;
  const auto index = browse::DefinitionIndex::load(s.db(), *type, error);
  if (!index) {
    std::fprintf(stderr, "lumarc-cli: %s (%s)\n", databaseAccessFailedText().c_str(), error.c_str());
    return 1;
  }
  const corvane::CodePage cp = s.texts->codePage();
  const browse::NumberReplacement r = index->replace(corvane::fromUtf8(opt.args[1], cp));
  std::printf("%s%s\n", corvane::toUtf8(r.text, cp).c_str(), r.acknowledged ? " A" : "");
  return std::fflush(stdout) == 0 ? 0 : 1;
}

Register usersReg({"users", "[--format 0|1] [--sort 0|1] [--utf8] [--pdf FILE]",
                   "the users with their charge pulse counters, as the Users view lists them", users});
Register definitionsReg({"definitions", "dialled|calling [--sort 0|1] [--utf8] [--pdf FILE]",
                         "the dialled-digit or calling-number definitions, as their views list them", definitions});
Register replaceReg({"replace", "dialled|calling NUMBER",
                     "NUMBER with its known prefix replaced by the definition's name (\" A\": acknowledged)", replace});

}  // namespace
}  // namespace lumarc::cli
