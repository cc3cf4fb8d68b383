// lumarc-cli decode: decodes raw monitor frames kept in the decode input
// format ("HPIDX PTYP FRAME" per line) and prints the decoded lines.
#include "tools/cli/command.h"

#include "lumarc/decoder/frame_text.h"
#include "lumarc/decoder/framework.h"

#include <cstdio>
#include <string>

namespace lumarc::cli {
namespace {

// Decodes every frame line of in; false when a line was malformed.
bool decodeStream(std::FILE* in, const std::string& name, DecodeOptions options) {
  bool ok = true;
  std::string line;
  unsigned long lineNo = 0;
  int c = 0;
  do {
    line.clear();
    while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(char(c));
    if (c == EOF && line.empty()) break;
    ++lineNo;
    FrameLine f;
    std::string error;
    switch (parseFrameLine(line, f, error)) {
      case FrameLineStatus::Skip:
        break;
      case FrameLineStatus::Malformed:
        std::fprintf(stderr, "lumarc-cli decode: %s: line %lu: %s\n", name.c_str(), lineNo, error.c_str());
        ok = false;
        break;
      case FrameLineStatus::Frame: {
        const std::string text = decodeMonitorRecord(buildMonitorRecord(f.frame, f.hpidx, f.ptyp), options);
        if (text.empty()) break;
        std::string out;
        out.reserve(text.size() + 1);
        for (char ch : text) out.push_back(ch == char(0xFF) ? '\n' : ch);
        out.push_back('\n');
        std::fwrite(out.data(), 1, out.size(), stdout);
        break;
      }
    }
  } while (c != EOF);
  return ok;
}

int runDecode(const Options& opt) {
  DecodeOptions options;
  std::vector<std::string> files;
  for (const std::string& a : opt.args) {
    if (a == "--layer2") options.layer2 = true;
    else if (a.size() > 1 && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "lumarc-cli decode: unknown option %s\n", a.c_str());
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) files.push_back("-");
  bool ok = true;
  for (const std::string& name : files) {
    if (name == "-") {
      ok = decodeStream(stdin, "<stdin>", options) && ok;
      continue;
    }
    std::FILE* in = std::fopen(name.c_str(), "rb");
    if (!in) {
      std::fprintf(stderr, "lumarc-cli decode: cannot open %s\n", name.c_str());
      ok = false;
      continue;
    }
    ok = decodeStream(in, name, options) && ok;
    std::fclose(in);
  }
  std::fflush(stdout);
  return ok ? 0 : 1;
}

Register reg({"decode", "[--layer2] [FILE...]",
              "decode monitor frames (lines of HPIDX PTYP FRAME-hex; stdin without FILE)", runDecode});

}  // namespace
}  // namespace lumarc::cli
