// Progress of a long command on a terminal: one line on standard error,
// redrawn a few times a second and ended with a newline, e.g.
//   import  [##########----------]  50%  1200/2400 records  400/s  0:03 left
// The line is made by a pure function of the figures; the writer draws it
// only when its file is a terminal, so services, pipes and tests see
// nothing at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::tools {

struct ProgressFigures {
  uint64_t done = 0;
  uint64_t total = 0;     // 0: not known (no bar, no time left)
  double seconds = 0;     // since the work started
  bool finished = false;  // the last line: the time taken instead of the time left
};

// The line for figures, at most width - 1 characters (the cursor never
// wraps). The bar shrinks with the width and goes when there is no room.
std::string progressLine(std::string_view label, std::string_view unit, const ProgressFigures& f, int width = 80);

// "m:ss", or "h:mm:ss" from an hour on.
std::string durationText(double seconds);

class TerminalProgress {
 public:
  static constexpr std::chrono::milliseconds kRedrawEvery{250};

  // Draws on fd only when fd is a terminal; otherwise every call does
  // nothing. total 0: not known.
  TerminalProgress(std::string label, std::string unit, uint64_t total = 0, int fd = 2,
                   std::chrono::milliseconds redrawEvery = kRedrawEvery);
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  bool onTerminal() const { return fd_ >= 0; }
  void setTotal(uint64_t total) { total_ = total; }
  // The work done so far; redrawn once redrawEvery has passed since the
  // last drawing (or the start, so that quick work shows nothing).
  void update(uint64_t done);
  // Clears the line before other output goes to the terminal; the next
  // update draws it again at once.
  void clear();
  // The same before output to fd, when fd is a terminal too (standard
  // output redirected to a file leaves the line alone).
  void clearFor(int fd);
  // The last line and a newline, when a line was drawn; once.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  void draw(bool finished);

  std::string label_, unit_;
  uint64_t total_ = 0, done_ = 0;
  int fd_ = -1;
  std::chrono::milliseconds redrawEvery_;
  Clock::time_point start_, lastDraw_;
  bool drawn_ = false, cleared_ = false, ended_ = false;
};

}  // namespace corvane::tools
