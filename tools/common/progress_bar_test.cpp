// The progress line's text for a table of figures, and the writer: silent
// on a pipe, a redrawn line ended by a newline on a pseudo-terminal,
// nothing for work quicker than one redraw.
#include "tools/common/progress_bar.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace corvane::tools {
namespace {

TEST(ProgressLine, ShowsDoneTotalRateAndTimeLeft) {
  struct Case {
    const char* what;
    const char *label, *unit;
    ProgressFigures f;
    int width;
    const char* line;
  };
  // clang-format off
  const Case cases[] = {
      {"halfway", "import", "records", {1200, 2400, 3, false}, 80,
       "import  [#############-------------]   50%  1200/2400 records  400/s  0:03 left"},
      {"total not known: count, rate and time so far", "import", "records", {1200, 0, 3, false}, 80,
       "import  1200 records  400/s  0:03"},
      {"nothing done yet: no rate, no time left", "convert", "files", {0, 10, 0, false}, 80,
       "convert  [------------------------------]    0%  0/10 files"},
      {"finished: the time taken", "convert", "files", {10, 10, 125, true}, 80,
       "convert  [##############################]  100%  10/10 files  0.1/s  2:05"},
      {"more done than the estimate", "report", "rows", {12, 10, 1, false}, 80,
       "report  [##############################]  100%  12/10 rows  12/s"},
      {"hours", "import", "records", {1, 2, 3661, false}, 80,
       "import  [##############---------------]   50%  1/2 records  0.0/s  1:01:01 left"},
      {"narrow: no bar, cut before the last column", "import", "records", {1200, 2400, 3, false}, 30,
       "import   50%  1200/2400 recor"},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(progressLine(c.label, c.unit, c.f, c.width), c.line) << c.what;
}

// What was written to the other end of fd so far (non-blocking).
std::string drain(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
  return out;
}

TEST(TerminalProgress, DrawsNothingWhenNotOnATerminal) {
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  {
    TerminalProgress progress("import", "records", 100, p[1], std::chrono::milliseconds(0));
    EXPECT_FALSE(progress.onTerminal());
    for (uint64_t i = 1; i <= 100; ++i) progress.update(i);
    progress.clear();
    progress.finish();
  }
  EXPECT_EQ(drain(p[0]), "");
  ::close(p[0]);
  ::close(p[1]);
}

TEST(TerminalProgress, RedrawsOneLineOnATerminalAndEndsItWithANewline) {
  int master = -1, slave = -1;
  winsize ws{};
  ws.ws_col = 60;
  ws.ws_row = 24;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &ws), 0);
  {
    TerminalProgress progress("convert", "files", 4, slave, std::chrono::milliseconds(0));
    EXPECT_TRUE(progress.onTerminal());
    progress.update(1);
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    progress.clearFor(p[1]);  // output to a pipe leaves the line alone
    ::close(p[0]);
    ::close(p[1]);
    progress.update(2);
    progress.clearFor(slave);
    progress.update(4);
  }  // finished by its end
  const std::string out = drain(master);
  size_t clears = 0;
  for (size_t at = 0; (at = out.find("\r\x1b[K", at)) != std::string::npos; ++at) ++clears;
  EXPECT_EQ(clears, 1u) << "cleared once, before output to the terminal: " << out;
  EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line, ended once: " << out;
  EXPECT_NE(out.find("\rconvert  [#"), std::string::npos) << out;
  EXPECT_NE(out.find(" 25%  1/4 files"), std::string::npos) << out;
  EXPECT_NE(out.find("100%  4/4 files"), std::string::npos) << out;
  for (size_t from = 0, cr; (cr = out.find('\r', from)) != std::string::npos; from = cr + 1) {
    const size_t end = out.find_first_of("\r\x1b", cr + 1);
    EXPECT_LT((end == std::string::npos ? out.size() : end) - cr - 1, 60u) << "fits the terminal's width";
  }

  // Work quicker than one redraw leaves the terminal untouched.
  {
    TerminalProgress quick("convert", "files", 4, slave);
    for (uint64_t i = 1; i <= 4; ++i) quick.update(i);
  }
  EXPECT_EQ(drain(master), "");
  ::close(master);
  ::close(slave);
}

}  // namespace
}  // namespace corvane::tools
