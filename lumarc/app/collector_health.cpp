#include "lumarc/app/collector_health.h"

namespace lumarc {

namespace {

// A label value with \, " and line feeds escaped.
std::string label(const std::string& v) {
  std::string out;
  for (char c : v) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

void family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

std::string prometheusText(const CollectorHealth& h) {
  std::string out;
  auto linkFamily = [&](const char* name, const char* type, const char* help, bool cmdrOnly, auto value) {
    family(out, name, type, help);
    for (const LinkHealth& l : h.links) {
      if (cmdrOnly && l.kind != "cmdr") continue;
      out += std::string(name) + "{kind=\"" + label(l.kind) + "\",exchange=\"" + label(l.address) + "\"} " + value(l) +
             "\n";
    }
  };
  linkFamily("lumarc_link_connected", "gauge", "Whether the link to the exchange is connected (1) or not (0).", false,
             [](const LinkHealth& l) { return std::string(l.connected ? "1" : "0"); });
  linkFamily("lumarc_cmdr_frames_received_total", "counter", "CMDR frames received on the link.", true,
             [](const LinkHealth& l) { return std::to_string(l.frames); });
  linkFamily("lumarc_cmdr_records_stored_total", "counter", "Call records stored in the database.", true,
             [](const LinkHealth& l) { return std::to_string(l.stored); });
  linkFamily("lumarc_cmdr_records_duplicate_total", "counter", "Call records already stored (sent again).", true,
             [](const LinkHealth& l) { return std::to_string(l.duplicates); });
  linkFamily("lumarc_cmdr_records_refused_total", "counter",
             "Call records the database refused, written to fcmdr.txt instead.", true,
             [](const LinkHealth& l) { return std::to_string(l.refused); });
  family(out, "lumarc_cmdr_last_record_timestamp_seconds", "gauge",
         "When the link's last call record was stored (Unix time).");
  for (const LinkHealth& l : h.links)
    if (l.kind == "cmdr" && l.lastRecord)
      out += "lumarc_cmdr_last_record_timestamp_seconds{kind=\"cmdr\",exchange=\"" + label(l.address) + "\"} " +
             std::to_string(static_cast<long long>(l.lastRecord)) + "\n";
  family(out, "lumarc_database_connected", "gauge", "Whether the record database is open and reachable.");
  out += std::string("lumarc_database_connected ") + (h.databaseOpen && h.databaseConnected ? "1" : "0") + "\n";
  family(out, "lumarc_store_passes_redone_total", "counter",
         "Receive passes stored again after a deadlock or a transaction the database dropped.");
  out += "lumarc_store_passes_redone_total " + std::to_string(h.passesRedone) + "\n";
  if (h.voiceQueue) {
    family(out, "lumarc_voice_conversion_queue", "gauge", "Voice recordings waiting for their MP3 conversion.");
    out += "lumarc_voice_conversion_queue " + std::to_string(*h.voiceQueue) + "\n";
  }
  family(out, "lumarc_alarms_raised_total", "counter", "Alarms raised per rule.");
  for (const auto& [rule, n] : h.alarms)
    out += "lumarc_alarms_raised_total{rule=\"" + label(rule) + "\"} " + std::to_string(n) + "\n";
  return out;
}

CountingRecordSink::CountingRecordSink(CmdrRecordSink& inner, std::function<uint64_t()> transactionsBegun,
                                       std::function<void()> stored)
    : inner_(inner), begun_(std::move(transactionsBegun)), storedHook_(std::move(stored)) {}

void CountingRecordSink::restart() {
  stored_ = duplicates_ = refused_ = 0;
  lastRecord_ = 0;
}

std::vector<StoreOutcome> CountingRecordSink::storePass(const std::vector<CmdrRecord>& records) {
  const uint64_t before = begun_ ? begun_() : 0;
  std::vector<StoreOutcome> out = inner_.storePass(records);
  if (begun_) {
    const uint64_t began = begun_() - before;
    if (began > 1) redone_ += began - 1;
  }
  bool any = false;
  for (const StoreOutcome& o : out) {
    if (o.stored()) {
      ++stored_;
      any = true;
    } else if (o.duplicate()) {
      ++duplicates_;
    } else {
      ++refused_;
    }
  }
  if (!records.empty()) lastRecord_ = std::time(nullptr);
  if (any && storedHook_) storedHook_();
  return out;
}

}  // namespace lumarc
