// lumarc-cli decode: decodes raw monitor frames kept in the decode input
// format ("HPIDX PTYP FRAME" per line) and prints the decoded lines; with
// --stats, counts of records, lines and malformed records (by reason) per
// record kind on standard error; with --pcap, the records also go to a pcapng capture
// file, stamped with their own time and named after the exchange that the
// frame file's header line gives.
#include "tools/cli/command.h"
#include "tools/cli/pcap_output.h"

#include "lumarc/decoder/frame_text.h"
#include "lumarc/decoder/framework.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace lumarc::cli {
namespace {

// What --stats reports: frames decoded, lines printed, and per record kind
// (bits 8-15 of the record type) its records and those marked malformed,
// with how many were marked for each reason.
struct DecodeStats {
  unsigned long records = 0;
  unsigned long lines = 0;
  struct Kind {
    unsigned long records = 0;
    unsigned long malformed = 0;
    std::map<std::string, unsigned long> reasons;
  };
  std::map<unsigned, Kind> kinds;

  void count(unsigned kind, const RecordDecode& decoded) {
    Kind& k = kinds[kind];
    ++records;
    ++k.records;
    if (!decoded.malformed) return;
    ++k.malformed;
    ++k.reasons[std::string(decoded.malformation.reason)];
  }

  void print(std::FILE* out) const {
    std::fprintf(out, "records: %lu\nlines: %lu\n", records, lines);
    for (const auto& [kind, k] : kinds) {
      std::fprintf(out, "malformed %02X: %lu of %lu\n", kind, k.malformed, k.records);
      for (const auto& [reason, n] : k.reasons) std::fprintf(out, "  %s: %lu\n", reason.c_str(), n);
    }
  }
};

// The exchange a frame file's header line names ("# PATH DATE TIME
// HOST:PORT"): its host; empty when the line is no such header.
std::string headerExchange(const std::string& line) {
  if (line.rfind("# ", 0) != 0) return {};
  const size_t blank = line.find_last_of(' ');
  const std::string last = line.substr(blank + 1);
  const size_t colon = last.rfind(':');
  if (colon == std::string::npos || colon == 0) return {};
  return last.substr(0, colon);
}

// Decodes every frame line of in; false when a line was malformed.
bool decodeStream(std::FILE* in, const std::string& name, DecodeOptions options, DecodeStats& stats, PcapOutput& pcap) {
  CaptureSource source{name, {}};
  bool ok = true;
  std::string line;
  unsigned long lineNo = 0;
  int c = 0;
  do {
    line.clear();
    while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(char(c));
    if (c == EOF && line.empty()) break;
    ++lineNo;
    if (lineNo == 1) {
      const std::string exchange = headerExchange(line);
      if (!exchange.empty()) source.exchange = exchange;
    }
    FrameLine f;
    std::string error;
    switch (parseFrameLine(line, f, error)) {
      case FrameLineStatus::Skip: break;
      case FrameLineStatus::Malformed:
        std::fprintf(stderr, "lumarc-cli decode: %s: line %lu: %s\n", name.c_str(), lineNo, error.c_str());
        ok = false;
        break;
      case FrameLineStatus::Frame: {
        const MonitorRecord record = buildMonitorRecord(f.frame, f.hpidx, f.ptyp);
        pcap.write(source, f.hpidx, f.ptyp, f.frame, recordTimeMicros(record));
        const RecordDecode decoded = decodeMonitorRecordMarked(record, options);
        stats.count((uint32_t(record.type) >> 8) & 0xFF, decoded);
        const std::string& text = decoded.text;
        if (text.empty()) break;
        std::string out;
        out.reserve(text.size() + 1);
        for (char ch : text) out.push_back(ch == char(0xFF) ? '\n' : ch);
        out.push_back('\n');
        stats.lines += splitDecodeText(text).size();
        std::fwrite(out.data(), 1, out.size(), stdout);
        break;
      }
    }
  } while (c != EOF);
  return ok;
}

// What the command line asks for.
struct DecodeArgs {
  DecodeOptions options;
  bool showStats = false;
  std::string pcapPath;
  bool force = false;
  std::vector<std::string> files;
};

int runDecode(DecodeArgs a) {
  const DecodeOptions options = a.options;
  const bool showStats = a.showStats;
  const std::string& pcapPath = a.pcapPath;
  const bool force = a.force;
  std::vector<std::string>& files = a.files;
  if (files.empty()) files.push_back("-");
  PcapOutput pcap("lumarc-cli decode");
  if (!pcapPath.empty() && !pcap.open(pcapPath, force, false)) return 1;
  bool ok = true;
  DecodeStats stats;
  for (const std::string& name : files) {
    if (name == "-") {
      ok = decodeStream(stdin, "<stdin>", options, stats, pcap) && ok;
      continue;
    }
    std::FILE* in = std::fopen(name.c_str(), "rb");
    if (!in) {
      std::fprintf(stderr, "lumarc-cli decode: cannot open %s\n", name.c_str());
      ok = false;
      continue;
    }
    ok = decodeStream(in, name, options, stats, pcap) && ok;
    std::fclose(in);
  }
  ok = pcap.close() && ok;
  std::fflush(stdout);
  if (showStats) stats.print(stderr);
  return ok ? 0 : 1;
}

Runner define(CLI::App& parser) {
  auto a = std::make_shared<DecodeArgs>();
  parser.add_option("FILE", a->files, "a frame file (\"-\" or none: standard input)")->type_name("");
  parser.add_flag("--layer2", a->options.layer2, "decode layer 2 messages too");
  parser.add_flag("--stats", a->showStats, "count records, lines and malformed records per kind on standard error");
  parser.add_option("--pcap", a->pcapPath, "also write the records to a pcapng capture file")->type_name("OUT");
  parser.add_flag("--force", a->force, "replace the --pcap file when it exists");
  return [a](const Options&) { return runDecode(*a); };
}

Register reg({"decode",
              "decode monitor frames (lines of HPIDX PTYP FRAME-hex; stdin without FILE); --stats counts records, "
              "lines and malformed records per kind on standard error; --pcap also writes them to a pcapng file",
              define});

}  // namespace
}  // namespace lumarc::cli
