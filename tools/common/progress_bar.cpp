#include "tools/common/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

namespace corvane::tools {

namespace {

std::string rateText(double perSecond) {
  char buf[32];
  if (perSecond >= 10)
    std::snprintf(buf, sizeof buf, "%.0f/s", perSecond);
  else
    std::snprintf(buf, sizeof buf, "%.1f/s", perSecond);
  return buf;
}

// The terminal's columns; 80 when it does not say.
int columnsOf(int fd) {
  winsize ws{};
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

void writeAll(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    const ssize_t n = ::write(fd, s.data() + off, s.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    off += size_t(n);
  }
}

}  // namespace

std::string durationText(double seconds) {
  const auto s = static_cast<uint64_t>(std::max(0.0, std::round(seconds)));
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                  static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60));
  else
    std::snprintf(buf, sizeof buf, "%llu:%02llu", static_cast<unsigned long long>(s / 60),
                  static_cast<unsigned long long>(s % 60));
  return buf;
}

std::string progressLine(std::string_view label, std::string_view unit, const ProgressFigures& f, int width) {
  std::string tail;
  if (f.total > 0) {
    const uint64_t percent = std::min<uint64_t>(100, f.done >= f.total ? 100 : f.done * 100 / f.total);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%3llu%%", static_cast<unsigned long long>(percent));
    tail += "  " + std::string(buf) + "  " + std::to_string(f.done) + "/" + std::to_string(f.total);
  } else {
    tail += "  " + std::to_string(f.done);
  }
  if (!unit.empty()) tail += " " + std::string(unit);
  const double rate = f.seconds > 0 ? double(f.done) / f.seconds : 0;
  if (rate > 0) tail += "  " + rateText(rate);
  if (f.finished || f.total == 0)
    tail += "  " + durationText(f.seconds);
  else if (rate > 0 && f.done < f.total)
    tail += "  " + durationText(double(f.total - f.done) / rate) + " left";

  std::string line(label);
  if (f.total > 0) {
    // "  [" and "]" around the bar.
    const long room = long(width) - 1 - long(line.size()) - long(tail.size()) - 4;
    const long bar = std::min<long>(room, 30);
    if (bar >= 10) {
      const auto filled = static_cast<size_t>(f.done >= f.total ? bar : long(f.done * uint64_t(bar) / f.total));
      line += "  [" + std::string(filled, '#') + std::string(size_t(bar) - filled, '-') + "]";
    }
  }
  line += tail;
  if (width > 1 && line.size() > size_t(width - 1)) line.resize(size_t(width - 1));
  return line;
}

TerminalProgress::TerminalProgress(std::string label, std::string unit, uint64_t total, int fd,
                                   std::chrono::milliseconds redrawEvery)
    : label_(std::move(label)), unit_(std::move(unit)), total_(total), fd_(::isatty(fd) ? fd : -1),
      redrawEvery_(redrawEvery), start_(Clock::now()), lastDraw_(start_) {}

TerminalProgress::~TerminalProgress() { finish(); }

void TerminalProgress::update(uint64_t done) {
  done_ = done;
  if (fd_ < 0 || ended_) return;
  const Clock::time_point now = Clock::now();
  if (!cleared_ && now - lastDraw_ < redrawEvery_) return;
  lastDraw_ = now;
  draw(false);
}

void TerminalProgress::clear() {
  if (fd_ < 0 || !drawn_ || ended_ || cleared_) return;
  writeAll(fd_, "\r\x1b[K");
  cleared_ = true;
}

void TerminalProgress::clearFor(int fd) {
  if (fd == fd_ || ::isatty(fd)) clear();
}

void TerminalProgress::finish() {
  if (fd_ < 0 || ended_) return;
  if (drawn_) {
    draw(true);
    writeAll(fd_, "\n");
  }
  ended_ = true;
}

void TerminalProgress::draw(bool finished) {
  ProgressFigures f;
  f.done = done_;
  f.total = total_;
  f.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  f.finished = finished;
  writeAll(fd_, "\r" + progressLine(label_, unit_, f, columnsOf(fd_)) + "\x1b[K");
  drawn_ = true;
  cleared_ = false;
}

}  // namespace corvane::tools
