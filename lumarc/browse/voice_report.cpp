#include "lumarc/browse/voice_report.h"

#include "common/format.h"
#include "common/recording_name.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/selection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>

namespace lumarc::browse {

namespace {

// Text padded with blanks on the right to at least n (a longer one stays whole).
void appendPadded(std::string& out, std::string_view text, size_t n) {
  out.append(text);
  if (text.size() < n) out.append(n - text.size(), ' ');
}

// BCD digits of a date or time: "AA<sep>BB<sep>CC".
void appendBcd(std::string& out, uint32_t bcd, char sep) {
  const std::string digits = corvane::hex6(bcd);
  out.append(digits, 0, 2);
  out += sep;
  out.append(digits, 2, 2);
  out += sep;
  out.append(digits, 4, 2);
}

}  // namespace

std::string recordingPath(const VoiceRecord& r) { return r.rcdfn + "." + r.rcdfx; }

std::string recordingLine(const VoiceRecord& r, const corvane::StringTable& texts, const DefinitionIndex* dialled,
                          const DefinitionIndex* calling) {
  std::string out;
  out.reserve(128 + r.rcdfn.size());
  appendPadded(out, r.rcdport, 8);
  out += " 20";
  appendBcd(out, r.rcddate, '/');
  out += ' ';
  appendBcd(out, r.rcdtime, ':');
  out += ' ';
  out += corvane::formatDuration(r.duration);
  out += ' ';
  appendPadded(out, texts.text(r.Drog ? kTextOutgoingMark : kTextIncomingMark), 5);
  out += ' ';
  appendPadded(out, r.rcddsq, 16);
  out += ' ';
  appendPadded(out, dialled ? dialled->replace(r.rcdrcv).text : r.rcdrcv, 16);
  out += ' ';
  appendPadded(out, calling ? calling->replace(r.rcdcni).text : r.rcdcni, 16);
  out += ' ';
  out += recordingPath(r);
  return out;
}

VoiceListing listRecordings(store::Database& voiceDb, store::Database* mainDb, const ReportPlan& plan,
                            const corvane::StringTable& texts, const LineSink& sink,
                            const std::function<void(int32_t, int64_t)>& progress,
                            const std::function<void(const VoiceRecord&)>& listed) {
  VoiceListing out;
  auto fail = [&](const std::string& e) {
    if (out.error.empty()) out.error = e;
  };

  std::optional<DefinitionIndex> dialled, calling;
  if (mainDb && plan.replacesDialled()) dialled = DefinitionIndex::load(*mainDb, kDialledDigits, out.error);
  if (mainDb && plan.replacesCalling()) calling = DefinitionIndex::load(*mainDb, kCallingNumber, out.error);

  const bool grouped = plan.users.grouped();
  std::optional<ListingUsers> users;
  if (grouped && mainDb) users.emplace(*mainDb, plan.users);

  auto emit = [&](std::string_view text, int32_t kind, int32_t index) {
    sink(text, kind, index, out.lines);
    ++out.lines;
  };

  try {
    store::DrptVset rows(voiceDb);
    if (!rows.open(plan.where, plan.order)) {
      fail(rows.error());
      return out;
    }
    VoiceRecord r;
    std::string currentUser;
    bool haveUser = false;
    bool listedSinceHeading = false;
    while (rows.next(r)) {
      ++out.rowsRead;
      if (progress && out.rowsRead % 1024 == 0) progress(out.lines, out.rowsRead);
      const std::string line = recordingLine(r, texts, dialled ? &*dialled : nullptr, calling ? &*calling : nullptr);
      if (line.empty()) continue;
      // Counted before the user test: the charts show every recording read.
      out.statistics.add(r);
      if (grouped && (!haveUser || r.rcdport != currentUser)) {
        // A user that is not listed stays "not current", so its next row is tested again.
        if (users && !users->listed(r.rcdport)) continue;
        if (listedSinceHeading) emit("", kPlainLineKind, 0);
        emit(users ? users->heading(r.rcdport) : " " + r.rcdport, kPlainLineKind, 0);
        currentUser = r.rcdport;
        haveUser = true;
        listedSinceHeading = false;
      }
      emit(line, kRecordingLineKind, r.sqno);
      ++out.recordings;
      if (listed) listed(r);
      listedSinceHeading = true;
    }
    if (!rows.error().empty()) fail(rows.error());
  } catch (const std::exception& e) {
    fail(store::failureText(e));
  }
  if (users && !users->error().empty()) fail(users->error());
  if (out.recordings > 0) out.header1 = texts.text(kTextVoiceColumns);
  return out;
}

// ---- Recording files ----

bool matchesRecordingPattern(std::string_view name) {
  // Eight characters, "_", six, "_", six, "_", then anything holding a ".".
  if (name.size() < 8 + 1 + 6 + 1 + 6 + 1 + 1) return false;
  if (name[8] != '_' || name[15] != '_' || name[22] != '_') return false;
  return name.find('.', 23) != std::string_view::npos;
}

ScanResult scanRecordings(store::Database& voiceDb, const std::string& dir) {
  namespace fs = std::filesystem;
  ScanResult out;
  // The directory first: the table is touched only once the rows are known.
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (matchesRecordingPattern(name) && it->is_regular_file(ec)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<VoiceRecord> rows;
  std::set<std::string> seen;
  for (const std::string& name : names) {
    const std::string path = (fs::path(dir) / name).string();
    std::error_code sizeError;
    const uintmax_t size = fs::file_size(path, sizeError);
    if (sizeError) continue;
    std::optional<VoiceRecord> row = corvane::parseVoiceFileName(path, size);
    if (!row) continue;
    if (!corvane::trimBlanks(row->rcdport).empty() && seen.insert(row->rcdport).second)
      out.ports.push_back(row->rcdport);
    rows.push_back(std::move(*row));
  }
  try {
    voiceDb.begin();
    voiceDb.connection().execute(std::string("DELETE FROM ") + store::vdata00Table().name);
    store::DrptVset set(voiceDb);
    for (VoiceRecord& r : rows) {
      r.sqno = 0;
      if (!set.add(r)) throw std::runtime_error(set.error());
    }
    voiceDb.commit();
    out.stored = static_cast<int64_t>(rows.size());
  } catch (const std::exception& e) {
    out.error = store::failureText(e);
    if (voiceDb.inTransaction()) {
      try {
        voiceDb.rollback();
      } catch (const std::exception&) {
      }
    }
    out.ports.clear();
  }
  return out;
}

CopyResult copyRecording(const std::string& source, const std::string& target, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path src = fs::canonical(source, ec);
  if (ec) {
    error = source + ": " + ec.message();
    return CopyResult::SourceMissing;
  }
  const fs::path dst = fs::weakly_canonical(target, ec);
  if (!ec && dst == src) {
    error = target;
    return CopyResult::SameFile;
  }
  const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    error = source + ": " + std::strerror(errno);
    return CopyResult::SourceMissing;
  }
  fs::path dirOf = fs::path(target).parent_path();
  if (dirOf.empty()) dirOf = ".";
  std::string temp = (dirOf / (fs::path(target).filename().string() + ".XXXXXX")).string();
  const int out = ::mkstemp(temp.data());
  if (out < 0) {
    error = target + ": " + std::strerror(errno);
    ::close(in);
    return CopyResult::Failed;
  }
  auto fail = [&](int err) {
    error = target + ": " + std::strerror(err);
    ::close(in);
    ::close(out);
    ::unlink(temp.c_str());
    return CopyResult::Failed;
  };
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return fail(errno);
      }
      done += w;
    }
  }
  // A copy is whole on disk before it takes the target's name.
  if (::fchmod(out, 0644) != 0 || ::fsync(out) != 0) return fail(errno);
  ::close(in);
  if (::close(out) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    error = target + ": " + std::strerror(err);
    return CopyResult::Failed;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    error = target + ": " + std::strerror(err);
    return CopyResult::Failed;
  }
  return CopyResult::Copied;
}

}  // namespace lumarc::browse
