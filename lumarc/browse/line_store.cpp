#include "lumarc/browse/line_store.h"

#include "common/byte_io.h"
#include "common/fault_seam.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace lumarc::browse {
namespace {

// Lines gathered before one write: large enough that the system call costs
// nothing beside the copying, small enough to stay in the cache.
constexpr size_t kBufferedLines = 1024;

std::string tempFolder() {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::temp_directory_path(ec);
  return ec ? std::string("/tmp") : p.string();
}

}  // namespace

void encodeLineRecord(std::span<uint8_t, kLineRecordSize> out, int32_t kind, int32_t index, int32_t extra,
                      std::string_view text) {
  corvane::ByteWriter w(out);
  w.putLe32(line::kKind, uint32_t(kind));
  w.putLe32(line::kIndex, uint32_t(index));
  w.putLe32(line::kExtra, uint32_t(extra));
  // Text up to its first zero byte, as it reads back.
  text = text.substr(0, std::min({text.size(), kLineTextMax, text.find('\0')}));
  w.putBytes(line::kText, text);
  w.fill(line::kText + text.size(), line::kTextSize - text.size(), 0);
}

LineRecordBytes encodeLineRecord(const LineRecord& r) {
  LineRecordBytes b{};
  encodeLineRecord(b, r.kind, r.index, r.extra, r.text);
  return b;
}

std::optional<LineRecord> decodeLineRecord(std::span<const uint8_t> bytes) {
  corvane::ByteReader r(bytes);
  if (!r.has(0, kLineRecordSize)) return std::nullopt;
  LineRecord rec;
  rec.kind = int32_t(r.le32(line::kKind));
  rec.index = int32_t(r.le32(line::kIndex));
  rec.extra = int32_t(r.le32(line::kExtra));
  const uint8_t* text = r.data() + line::kText;
  const void* nul = std::memchr(text, 0, kLineTextMax);
  const size_t n = nul ? size_t(static_cast<const uint8_t*>(nul) - text) : kLineTextMax;
  rec.text.assign(reinterpret_cast<const char*>(text), n);
  return rec;
}

LineStore::LineStore(const std::string& dir) {
  name_ = (dir.empty() ? tempFolder() : dir) + "/lumarc-lines-XXXXXX";
  fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
  if (fd_ < 0) return;
  // The file lives on only through the descriptor: it disappears with the
  // store, or with the program however that ends.
  ::unlink(name_.c_str());
  pending_.reserve(kBufferedLines * kLineRecordSize);
}

LineStore::~LineStore() {
  if (fd_ >= 0) ::close(fd_);
}

void LineStore::add(std::string_view text, int32_t kind, int32_t index, int32_t extra) {
  if (fd_ < 0 || failed_) return;
  if (count() == INT_MAX) {
    failed_ = true;
    errnum_ = EFBIG;
    return;
  }
  const size_t at = pending_.size();
  pending_.resize(at + kLineRecordSize);
  encodeLineRecord(std::span<uint8_t, kLineRecordSize>(pending_.data() + at, kLineRecordSize), kind, index, extra,
                   text);
  if (pending_.size() >= kBufferedLines * kLineRecordSize) flush();
}

bool LineStore::flush() {
  if (fd_ < 0) return false;
  if (pending_.empty()) return !failed_;
  const off_t start = off_t(written_) * off_t(kLineRecordSize);
  size_t done = 0;
  int err = 0;
  while (done < pending_.size()) {
    if (auto f = corvane::fault::hit(corvane::fault::Point::FileWrite, name_)) {
      err = f->errnum ? f->errnum : EIO;
      break;
    }
    const ssize_t n = ::pwrite(fd_, pending_.data() + done, pending_.size() - done, start + off_t(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) {
      err = ENOSPC;
      break;
    }
    done += size_t(n);
  }
  // Whole records that reached the file count; a record cut off by the
  // failure is taken back off, so the file ends on a record boundary.
  const size_t whole = done / kLineRecordSize;
  written_ += int(whole);
  pending_.clear();
  if (err == 0) return true;
  if (done % kLineRecordSize != 0) (void)::ftruncate(fd_, off_t(written_) * off_t(kLineRecordSize));
  failed_ = true;
  errnum_ = err;
  return false;
}

std::optional<LineRecord> LineStore::read(int i) {
  if (fd_ < 0 || i < 0 || i >= count()) return std::nullopt;
  if (!pending_.empty()) flush();
  if (i >= written_) return std::nullopt;
  LineRecordBytes b;
  size_t got = 0;
  const off_t at = off_t(i) * off_t(kLineRecordSize);
  while (got < b.size()) {
    const ssize_t n = ::pread(fd_, b.data() + got, b.size() - got, at + off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  ++reads_;
  return decodeLineRecord(std::span<const uint8_t>(b.data(), got));
}

void LineStore::clear() {
  if (fd_ < 0) return;
  pending_.clear();
  written_ = 0;
  failed_ = false;
  errnum_ = 0;
  // Lines past the count are never read, so a truncation that fails loses
  // nothing but the space.
  (void)::ftruncate(fd_, 0);
}

// ---- Clbws

void Clbws::reset() {
  count_ = 0;
  top_ = 0;
  header1_.clear();
  header2_.clear();
}

void Clbws::setCount(int count) {
  count_ = std::max(0, count);
  setTop(top_);
}

void Clbws::setTop(int top) { top_ = count_ == 0 ? 0 : std::clamp(top, 0, count_ - 1); }

void Clbws::setGeometry(int clientHeight, int rowHeight) {
  rowHeight_ = rowHeight > 0 ? rowHeight : kDefaultRowHeight;
  rows_ = std::max(kMinRows, clientHeight / rowHeight_);
}

int Clbws::visibleRows() const { return rows_ - headerRows(); }

void Clbws::setHeaders(std::string header1, std::string header2) {
  header1_ = std::move(header1);
  header2_ = std::move(header2);
}

int Clbws::scrollStep() const {
  const int lines = count_ - 1;
  return lines <= 0 ? 1 : std::max(1, (lines + kScrollPositions - 1) / kScrollPositions);
}

int Clbws::scrollMaximum() const { return count_ <= 1 ? 0 : (count_ - 1) / scrollStep(); }

void Clbws::scrollTo(int position) {
  const int64_t top = int64_t(std::clamp(position, 0, scrollMaximum())) * scrollStep();
  setTop(int(std::min<int64_t>(top, INT_MAX)));
}

void Clbws::key(Key k) {
  // Sums in 64 bits: top + rows must not wrap near the largest counts.
  int64_t t = top_;
  switch (k) {
    case Key::Up: t -= 1; break;
    case Key::Down: t += 1; break;
    case Key::PageUp: t -= visibleRows(); break;
    case Key::PageDown: t += visibleRows(); break;
    case Key::Home: t = 0; break;
    case Key::End: t = int64_t(count_) - 1; break;
  }
  setTop(int(std::clamp<int64_t>(t, 0, INT_MAX)));
}

int Clbws::selectedLine(int controlRow) const {
  const int row = controlRow - headerRows();
  if (controlRow < 0 || row < 0 || row >= visibleRows()) return -1;
  const int64_t line = int64_t(top_) + row;
  return line < count_ ? int(line) : -1;
}

Clbws::Window Clbws::visibleWindow() const {
  if (count_ == 0) return {};
  return {top_, std::min(visibleRows(), count_ - top_)};
}

std::string Clbws::statusText() const { return std::to_string(top_ + 1) + " / " + std::to_string(count_); }

}  // namespace lumarc::browse
