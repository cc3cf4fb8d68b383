#include "lumarc/browse/cmdr_sort.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>

namespace lumarc::browse {

namespace {

// A record's bytes: its length, the key (port number or rank, tdate as one
// number, sqno), the numbers, the date's fields, then each text as its
// length without trailing blanks, the count of those blanks and the bytes.
constexpr size_t kLen = 0, kPort = 4, kTime = 8, kSqno = 16, kNumbers = 20, kDate = 60, kTexts = 69;
constexpr size_t kRunBuffer = size_t{256} << 10;
constexpr size_t kWriteBuffer = size_t{1} << 20;

template <class T>
void put(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}
template <class T>
T get(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint8_t field(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// tdate as one number in the order of its fields.
uint64_t timeKey(const DateTime& t) {
  const uint64_t year = static_cast<uint64_t>(std::clamp(t.year + 0x800000, 0, 0xFFFFFF));
  return year << 40 | uint64_t{field(t.month)} << 32 | uint64_t{field(t.day)} << 24 | uint64_t{field(t.hour)} << 16 |
         uint64_t{field(t.minute)} << 8 | uint64_t{field(t.second)};
}

// The texts of a record, in their stored order.
template <class R, class F>
void forEachText(R& r, F&& f) {
  f(r.type), f(r.cport), f(r.pport), f(r.uport), f(r.rdata), f(r.xdata), f(r.cdata), f(r.Xid);
}

size_t encodedSize(const CmdrRecord& r) {
  size_t n = kTexts;
  forEachText(r, [&](const std::string& s) { n += 3 + s.size(); });
  return n;
}

void encode(const CmdrRecord& r, uint32_t port, uint8_t* p) {
  put<uint32_t>(p + kPort, port);
  put<uint64_t>(p + kTime, timeKey(r.tdate));
  put<int32_t>(p + kSqno, r.sqno);
  const uint32_t numbers[10] = {r.duration, r.rpuls, r.ppuls, r.crefa, r.crefb,
                                r.crefc,    r.flags, r.flagt, r.flagu, r.ipadr};
  std::memcpy(p + kNumbers, numbers, sizeof numbers);
  put<int32_t>(p + kDate, r.tdate.year);
  const uint8_t date[5] = {field(r.tdate.month), field(r.tdate.day), field(r.tdate.hour), field(r.tdate.minute),
                           field(r.tdate.second)};
  std::memcpy(p + kDate + 4, date, sizeof date);
  size_t at = kTexts;
  forEachText(r, [&](const std::string& s) {
    size_t body = s.size(), blanks = 0;
    while (body > 0 && s[body - 1] == ' ' && blanks < 255) --body, ++blanks;
    put<uint16_t>(p + at, static_cast<uint16_t>(body));
    p[at + 2] = static_cast<uint8_t>(blanks);
    std::memcpy(p + at + 3, s.data(), body);
    at += 3 + body;
  });
  put<uint16_t>(p + kLen, static_cast<uint16_t>(at));
}

void decode(const uint8_t* p, CmdrRecord& r) {
  r.sqno = get<int32_t>(p + kSqno);
  uint32_t numbers[10];
  std::memcpy(numbers, p + kNumbers, sizeof numbers);
  r.duration = numbers[0], r.rpuls = numbers[1], r.ppuls = numbers[2], r.crefa = numbers[3], r.crefb = numbers[4];
  r.crefc = numbers[5], r.flags = numbers[6], r.flagt = numbers[7], r.flagu = numbers[8], r.ipadr = numbers[9];
  const uint8_t* d = p + kDate + 4;
  r.tdate = DateTime{get<int32_t>(p + kDate), d[0], d[1], d[2], d[3], d[4]};
  size_t at = kTexts;
  forEachText(r, [&](std::string& s) {
    const size_t body = get<uint16_t>(p + at), blanks = p[at + 2];
    s.assign(reinterpret_cast<const char*>(p + at + 3), body);
    s.append(blanks, ' ');
    at += 3 + body;
  });
}

struct Key {
  uint32_t port;
  uint64_t time;
  int32_t sqno;
  friend bool operator<(const Key& a, const Key& b) {
    if (a.port != b.port) return a.port < b.port;
    if (a.time != b.time) return a.time < b.time;
    return a.sqno < b.sqno;
  }
};

Key keyOf(const uint8_t* p) { return Key{get<uint32_t>(p + kPort), get<uint64_t>(p + kTime), get<int32_t>(p + kSqno)}; }

bool writeAll(int fd, const uint8_t* p, size_t n, uint64_t at) {
  while (n > 0) {
    const ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w, n -= static_cast<size_t>(w), at += static_cast<uint64_t>(w);
  }
  return true;
}

bool readAll(int fd, uint8_t* p, size_t n, uint64_t at) {
  while (n > 0) {
    const ssize_t r = ::pread(fd, p, n, static_cast<off_t>(at));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = EIO;
      return false;
    }
    p += r, n -= static_cast<size_t>(r), at += static_cast<uint64_t>(r);
  }
  return true;
}

}  // namespace

struct CmdrSort::Entry {
  uint64_t time;
  uint32_t port;
  int32_t sqno;
  uint32_t at;  // offset in its chunk
  Key key() const { return Key{port, time, sqno}; }
};

// A sorted run in the file, read through a buffer of its own.
struct CmdrSort::Run {
  uint64_t pos = 0, end = 0;  // the part of the file not yet buffered
  std::vector<uint8_t> buf;
  size_t at = 0, have = 0;  // the unread bytes buf[at, have)
  // Whether a whole record starts at buf[at]; when not, the unread bytes
  // move to the buffer's start, ready for more.
  bool ready() {
    auto whole = [&] { return have - at >= 2 && have - at >= get<uint16_t>(&buf[at]); };
    if (whole()) return true;
    if (pos == end) return false;
    std::memmove(buf.data(), buf.data() + at, have - at);
    have -= at, at = 0;
    return false;
  }
};

struct CmdrSort::PortMap {
  std::unordered_map<std::string, uint32_t> ids;
};

CmdrSort::CmdrSort(size_t bufferBytes, std::string dir)
    : bufferBytes_(std::max<size_t>(bufferBytes, 4096)), dir_(std::move(dir)), portIds_(std::make_unique<PortMap>()) {
  entries_.emplace_back();
}

CmdrSort::~CmdrSort() {
  if (fd_ >= 0) ::close(fd_);
}

bool CmdrSort::fail(const char* what) {
  error_ = std::string(what) + ": " + std::strerror(errno);
  return false;
}

bool CmdrSort::add(const CmdrRecord& r) {
  if (!error_.empty() || sorted_) return false;
  const size_t n = encodedSize(r);
  if (!buf_.empty() && buf_.size() + n > bufferBytes_ && !flushChunk()) return false;
  auto [it, added] = portIds_->ids.try_emplace(r.cport, static_cast<uint32_t>(ports_.size()));
  if (added) ports_.push_back(r.cport);
  const size_t at = buf_.size();
  if (buf_.capacity() < bufferBytes_) buf_.reserve(bufferBytes_);
  buf_.resize(at + n);
  encode(r, it->second, &buf_[at]);
  buf_.resize(at + get<uint16_t>(&buf_[at + kLen]));  // trailing blanks take no room
  entries_.back().push_back(Entry{timeKey(r.tdate), it->second, r.sqno, static_cast<uint32_t>(at)});
  ++count_;
  return true;
}

// Writes the chunk being filled to the end of the file as it is.
bool CmdrSort::flushChunk() {
  if (fd_ < 0) {
    std::error_code ec;
    std::string dir = dir_;
    if (dir.empty()) dir = std::filesystem::temp_directory_path(ec).string();
    if (dir.empty() || ec) dir = "/tmp";
    std::string name = dir + "/lumarc-sort-XXXXXX";
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) return fail("cannot make a temporary file");
    ::unlink(name.c_str());  // it lives on through the descriptor only
  }
  if (!writeAll(fd_, buf_.data(), buf_.size(), fileSize_)) return fail("cannot write the temporary file");
  chunkAt_.push_back(fileSize_);
  chunkSize_.push_back(buf_.size());
  fileSize_ += buf_.size();
  spilled_ += entries_.back().size();
  buf_.clear();
  entries_.back().clear();  // the records hold their keys: the entries are made again when the chunk is sorted
  return true;
}

bool CmdrSort::sort(const std::vector<uint32_t>& rank) {
  if (!error_.empty() || sorted_) return false;
  sorted_ = true;
  for (auto& chunk : entries_)
    for (Entry& e : chunk) e.port = e.port < rank.size() ? rank[e.port] : e.port;
  auto byKey = [](const Entry& a, const Entry& b) { return a.key() < b.key(); };
  if (chunkAt_.empty()) {
    // Everything stayed in memory.
    std::sort(entries_.back().begin(), entries_.back().end(), byKey);
    memAt_ = 0;
    return true;
  }
  if (!buf_.empty() && !flushChunk()) return false;
  // Each chunk is read back whole, sorted and written in place as a run.
  std::vector<uint8_t> out;
  out.reserve(kWriteBuffer);
  std::vector<Entry>& chunk = entries_.back();
  for (size_t c = 0; c < chunkAt_.size(); ++c) {
    buf_.resize(chunkSize_[c]);
    if (!readAll(fd_, buf_.data(), buf_.size(), chunkAt_[c])) return fail("cannot read the temporary file");
    chunk.clear();
    for (size_t at = 0; at < buf_.size(); at += get<uint16_t>(&buf_[at + kLen])) {
      const Key k = keyOf(&buf_[at]);
      chunk.push_back(Entry{k.time, k.port < rank.size() ? rank[k.port] : k.port, k.sqno, static_cast<uint32_t>(at)});
    }
    std::sort(chunk.begin(), chunk.end(), byKey);
    uint64_t at = chunkAt_[c];
    out.clear();
    for (const Entry& e : chunk) {
      uint8_t* p = &buf_[e.at];
      put<uint32_t>(p + kPort, e.port);
      const size_t n = get<uint16_t>(p + kLen);
      if (out.size() + n > kWriteBuffer) {
        if (!writeAll(fd_, out.data(), out.size(), at)) return fail("cannot write the temporary file");
        at += out.size();
        out.clear();
      }
      out.insert(out.end(), p, p + n);
    }
    if (!writeAll(fd_, out.data(), out.size(), at)) return fail("cannot write the temporary file");
    Run run;
    run.pos = chunkAt_[c];
    run.end = chunkAt_[c] + chunkSize_[c];
    runs_.push_back(std::move(run));
  }
  std::vector<uint8_t>().swap(buf_);
  std::vector<Entry>().swap(chunk);
  for (Run& run : runs_) run.buf.resize(kRunBuffer);
  return true;
}

bool CmdrSort::next(CmdrRecord& out) {
  if (!sorted_ || !error_.empty()) return false;
  if (runs_.empty()) {
    const std::vector<Entry>& chunk = entries_.back();
    if (memAt_ >= chunk.size()) return false;
    decode(&buf_[chunk[memAt_++].at], out);
    return true;
  }
  Run* best = nullptr;
  Key bestKey{};
  for (Run& run : runs_) {
    if (!run.ready()) {
      // Refill the buffer from the run's rest.
      const size_t n = static_cast<size_t>(std::min<uint64_t>(run.buf.size() - run.have, run.end - run.pos));
      if (n > 0) {
        if (!readAll(fd_, run.buf.data() + run.have, n, run.pos)) return fail("cannot read the temporary file");
        run.have += n, run.pos += n;
      }
      if (!run.ready()) continue;  // the run is used up
    }
    const Key k = keyOf(&run.buf[run.at]);
    if (!best || k < bestKey) best = &run, bestKey = k;
  }
  if (!best) return false;
  decode(&best->buf[best->at], out);
  best->at += get<uint16_t>(&best->buf[best->at]);
  return true;
}

}  // namespace lumarc::browse
