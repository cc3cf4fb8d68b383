#include "lumarc/browse/line_store.h"

#include "common/fault_seam.h"
#include "common/test_support.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace lumarc::browse {
namespace {

using Key = Clbws::Key;
using Window = Clbws::Window;

// A list of `count` lines in a control of `rows` rows of 16 pixels.
Clbws list(int count, int rows, std::string h1 = {}, std::string h2 = {}) {
  Clbws c;
  c.setGeometry(rows * 16, 16);
  c.setHeaders(std::move(h1), std::move(h2));
  c.setCount(count);
  return c;
}

TEST(ListPaging, KeysWheelAndThumbShowTheLinesTheUserAskedFor) {
  struct Case {
    const char* what;
    Clbws list;
    int startTop;
    std::function<void(Clbws&)> act;
    int top;
    Window shown;
  };
  const auto press = [](Key k) { return [k](Clbws& c) { c.key(k); }; };
  // clang-format off
  const Case cases[] = {
      {"End shows the last line alone", list(100, 40), 0, press(Key::End), 99, {99, 1}},
      {"Page Down near the end stops at the last line", list(100, 40), 80, press(Key::PageDown), 99, {99, 1}},
      {"Page Down moves a page", list(100, 40), 0, press(Key::PageDown), 40, {40, 40}},
      {"Page Up stops at the first line", list(100, 40), 10, press(Key::PageUp), 0, {0, 40}},
      {"Up at the first line stays", list(100, 40), 0, press(Key::Up), 0, {0, 40}},
      {"Down moves one line", list(100, 40), 5, press(Key::Down), 6, {6, 40}},
      {"Home goes to the first line", list(100, 40), 77, press(Key::Home), 0, {0, 40}},
      {"wheel towards the user pages down", list(100, 40), 0, [](Clbws& c) { c.wheel(true); }, 40, {40, 40}},
      {"wheel away pages up", list(100, 40), 50, [](Clbws& c) { c.wheel(false); }, 10, {10, 40}},
      {"headers take rows from the page", list(100, 40, "h1", "h2"), 0, press(Key::PageDown), 38, {38, 38}},
      {"an empty header takes no row", list(100, 40, "", "h2"), 0, press(Key::PageDown), 39, {39, 39}},
      {"a small window still shows ten rows", list(100, 3), 0, press(Key::PageDown), 10, {10, 10}},
      {"thumb at p shows line p * step", list(70000, 40), 0, [](Clbws& c) { c.scrollTo(1000); }, 3000, {3000, 40}},
      {"thumb at the end shows the last line", list(70000, 40), 0, [](Clbws& c) { c.scrollTo(23333); }, 69999,
       {69999, 1}},
      {"thumb past the range stays in it", list(70000, 40), 0, [](Clbws& c) { c.scrollTo(99999); }, 69999,
       {69999, 1}},
      {"fewer lines than rows", list(5, 40), 0, press(Key::PageDown), 4, {4, 1}},
      {"an empty list shows nothing and stays at 0", list(0, 40), 0, press(Key::End), 0, {0, 0}},
      {"lines taken away pull the top back", list(100, 40), 90, [](Clbws& c) { c.setCount(50); }, 49, {49, 1}},
  };
  // clang-format on
  for (const auto& c : cases) {
    Clbws l = c.list;
    l.setTop(c.startTop);
    c.act(l);
    EXPECT_EQ(l.top(), c.top) << c.what;
    EXPECT_EQ(l.visibleWindow(), c.shown) << c.what;
  }
}

TEST(ListPaging, TheScrollBarCoversEveryLineInAtMost32001Positions) {
  struct Case {
    int count, step, maximum;
  };
  // clang-format off
  const Case cases[] = {
      {0, 1, 0}, {1, 1, 0}, {100, 1, 99}, {32001, 1, 32000}, {32002, 2, 16000}, {70000, 3, 23333},
      {10000000, 313, 31948},
  };
  // clang-format on
  for (const auto& c : cases) {
    Clbws l = list(c.count, 40);
    EXPECT_EQ(l.scrollStep(), c.step) << c.count;
    EXPECT_EQ(l.scrollMaximum(), c.maximum) << c.count;
    l.key(Key::End);
    EXPECT_EQ(l.scrollPosition(), c.count ? (c.count - 1) / c.step : 0) << c.count;
  }
}

TEST(ListSelection, AHeaderOrEmptyRowSelectsNoLine) {
  struct Case {
    const char* what;
    Clbws list;
    int top, row, line;
  };
  const Case cases[] = {
      {"header 1", list(100, 40, "h1", "h2"), 50, 0, -1},
      {"header 2", list(100, 40, "h1", "h2"), 50, 1, -1},
      {"first line under two headers", list(100, 40, "h1", "h2"), 50, 2, 50},
      {"only header 2 shown", list(100, 40, "", "h2"), 50, 1, 50},
      {"no headers", list(100, 40), 50, 0, 50},
      {"no row selected", list(100, 40), 50, -1, -1},
      {"row past the last line", list(55, 40, "h1"), 50, 6, -1},
      {"last line", list(55, 40, "h1"), 50, 5, 54},
      {"empty list", list(0, 40), 0, 0, -1},
  };
  for (const auto& c : cases) {
    Clbws l = c.list;
    l.setTop(c.top);
    EXPECT_EQ(l.selectedLine(c.row), c.line) << c.what;
  }
  Clbws l = list(100, 40);
  l.setTop(50);
  EXPECT_EQ(l.statusText(), "51 / 100");
}

TEST(LineRecordLayout, OneRecordHasTheFixedBytes) {
  LineRecord r{4, 0x01020304, -2, "AB"};
  LineRecordBytes want{};
  const uint8_t head[] = {4, 0, 0, 0, 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 'A', 'B'};
  std::copy(std::begin(head), std::end(head), want.begin());
  EXPECT_EQ(encodeLineRecord(r), want);
  EXPECT_EQ(decodeLineRecord(want), r);

  // A long text keeps 319 bytes and its terminating zero.
  LineRecord longer{0, 0, 0, std::string(400, 'x')};
  LineRecordBytes b = encodeLineRecord(longer);
  EXPECT_EQ(b[line::kText + 318], 'x');
  EXPECT_EQ(b[kLineRecordSize - 1], 0);
  EXPECT_EQ(decodeLineRecord(b)->text, std::string(319, 'x'));
  EXPECT_EQ(decodeLineRecord(std::span<const uint8_t>(b.data(), kLineRecordSize - 1)), std::nullopt);
}

std::string text(int i) { return "line " + std::to_string(i); }

// What a store that lost writes shows: its count, whether its last line is
// there and whether anything is read past it.
std::string honesty(LineStore& s) {
  const int n = s.count();
  auto last = s.read(n - 1);
  return "count " + std::to_string(n) + ", last " + (last ? last->text : "missing") + ", past " +
         (s.read(n) ? "read" : "none") + ", failed " + std::to_string(s.failed());
}

TEST(LineStoreFailures, AFullDiskLeavesOnlyLinesThatAreInTheFile) {
  corvane::testing::TempDir dir("lines");
  corvane::fault::Guard guard;
  corvane::fault::Injected full;
  full.errnum = ENOSPC;
  corvane::fault::arm(corvane::fault::Point::FileWrite, 2, full, -1);
  LineStore s(dir.path());
  for (int i = 0; i < 5000; ++i) s.add(text(i), 4, i, 0);
  s.flush();
  const int kept = s.count();
  ASSERT_GT(kept, 0);
  ASSERT_LT(kept, 5000);
  EXPECT_EQ(honesty(s), "count " + std::to_string(kept) + ", last " + text(kept - 1) + ", past none, failed 1");
  EXPECT_EQ(s.errorNumber(), ENOSPC);
  // Later lines are not stored after a gap.
  corvane::fault::disarm();
  s.add("after", 4, 0, 0);
  s.flush();
  EXPECT_EQ(s.count(), kept);
  // Clearing starts afresh.
  s.clear();
  s.add("again", 4, 0, 0);
  EXPECT_EQ(s.read(0)->text, "again");
  EXPECT_FALSE(s.failed());
}

// In a child: fills a store in a file limited to 100 records and a bit,
// prints what it shows and ends.
void fillUnderSizeLimit(const std::string& dir) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit lim{100 * kLineRecordSize + 100, RLIM_INFINITY};
  ::setrlimit(RLIMIT_FSIZE, &lim);
  LineStore s(dir);
  for (int i = 0; i < 2000; ++i) s.add(text(i), 4, i, 0);
  s.flush();
  std::fprintf(stderr, "[%s]\n", honesty(s).c_str());
  std::_Exit(0);
}

TEST(LineStoreFailures, AWriteCutShortMidRecordDropsThePartialLine) {
  // The file size limit makes the system cut a write short in the middle
  // of a record, as a disk running full does; run in a child so the limit
  // stays there.
  corvane::testing::TempDir dir("lines");
  EXPECT_EXIT(fillUnderSizeLimit(dir.path()), ::testing::ExitedWithCode(0),
              R"(\[count 100, last line 99, past none, failed 1\])");
}

TEST(LineStoreFailures, AStoreThatCannotBeMadeLeavesAnEmptyUsableList) {
  LineStore s("/nonexistent/folder");
  EXPECT_FALSE(s.ok());
  s.add("lost", 4, 1, 2);
  EXPECT_EQ(s.count(), 0);
  EXPECT_EQ(s.read(0), std::nullopt);
  s.clear();
  Clbws l = list(s.count(), 40);
  l.key(Key::PageDown);
  EXPECT_EQ(l.visibleWindow(), Window{});
  EXPECT_EQ(l.selectedLine(0), -1);
}

TEST(LineStoreFiles, TwoViewsNeverShareAFileAndNoneIsLeftBehind) {
  corvane::testing::TempDir dir("lines");
  {
    LineStore users(dir.path()), digits(dir.path());
    ASSERT_TRUE(users.ok() && digits.ok());
    for (int i = 0; i < 1500; ++i) {
      users.add("user " + std::to_string(i), 1, i, -i);
      digits.add("digit " + std::to_string(i), 2, i, i);
    }
    ASSERT_EQ(users.count(), 1500);
    EXPECT_EQ(users.read(1499), (LineRecord{1, 1499, -1499, "user 1499"}));
    EXPECT_EQ(digits.read(0), (LineRecord{2, 0, 0, "digit 0"}));
    EXPECT_EQ(digits.read(1499), (LineRecord{2, 1499, 1499, "digit 1499"}));
    // Nothing named lies in the folder while the views are open.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace lumarc::browse
