// The paged browser list offscreen: a million lines paged by keys, wheel
// and scroll bar, plain rows, and the printed PDF read back with poppler.
#include "lumarc/browse/ui/dblist.h"

#include "common/qt/qt_text.h"
#include "common/test_support.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/ui/list_print.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

namespace lumarc::browse {
namespace {

class BrowserList : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ui::testApplication(); }
  corvane::StringTable texts;  // code page 1252
  corvane::testing::TempDir dir{"dblist"};
};

std::string numbered(int i) {
  char s[32];
  std::snprintf(s, sizeof s, "line %07d", i);
  return s;
}

// Resident memory of this process in kB.
long rssKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long kb = 0;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> kb;
      break;
    }
    in.ignore(1 << 12, '\n');
  }
  return kb;
}

std::vector<std::string> rows(const CfwDblist& w) {
  std::vector<std::string> out;
  for (int i = 0; i < w.listControl()->count(); ++i) out.push_back(w.listControl()->item(i)->text().toStdString());
  return out;
}

void press(CfwDblist& w, Qt::Key key) {
  QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w.listControl(), &e);
}

void wheel(CfwDblist& w, int notches) {
  QWheelEvent e(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(w.listControl()->viewport(), &e);
}

TEST_F(BrowserList, AMillionLinesPageByReadingOnlyTheVisibleRowsInFlatMemory) {
  CfwDblist w(texts);
  w.resize(640, 480);
  w.show();
  w.initialiseStore(dir.path());
  ASSERT_TRUE(w.hasStore());
  std::string status;
  w.setStatusSink([&](const std::string& s) { status = s; });
  QApplication::processEvents();
  // Warm up the control and its font before measuring.
  for (int i = 0; i < 100; ++i) w.addLine(numbered(i), 4, i, 0);
  w.setHeaders("H1", "H2");
  QApplication::processEvents();
  const long before = rssKb();

  w.clear();
  constexpr int kLines = 1000000;
  for (int i = 0; i < kLines; ++i) w.addLine(numbered(i), 4, i, 2 * i);
  w.setHeaders("H1", "H2");
  const int page = w.visibleRows();
  ASSERT_GE(page, 10);
  const int step = (kLines - 1 + 31999) / 32000;
  QScrollBar* bar = w.scrollBar();
  EXPECT_EQ(bar->maximum(), (kLines - 1) / step);

  struct Case {
    const char* what;
    std::function<void()> act;
    int top;
  };
  const Case cases[] = {
      {"End", [&] { press(w, Qt::Key_End); }, kLines - 1},
      {"Up", [&] { press(w, Qt::Key_Up); }, kLines - 2},
      {"Home", [&] { press(w, Qt::Key_Home); }, 0},
      {"Page Down", [&] { press(w, Qt::Key_PageDown); }, page},
      {"Down", [&] { press(w, Qt::Key_Down); }, page + 1},
      {"Page Up", [&] { press(w, Qt::Key_PageUp); }, 1},
      {"wheel towards the user", [&] { wheel(w, -2); }, 1 + 2 * page},
      {"wheel away", [&] { wheel(w, 1); }, 1 + page},
      {"scroll bar page", [&] { bar->triggerAction(QAbstractSlider::SliderPageStepAdd); }, 1 + 2 * page},
      {"scroll bar arrow", [&] { bar->triggerAction(QAbstractSlider::SliderSingleStepSub); }, 2 * page},
      {"thumb dragged to the middle", [&] { bar->setSliderPosition(bar->maximum() / 2); }, bar->maximum() / 2 * step},
      {"scroll bar to the end", [&] { bar->triggerAction(QAbstractSlider::SliderToMaximum); }, kLines - 1},
  };
  for (const auto& c : cases) {
    const uint64_t reads = w.recordReads();
    c.act();
    EXPECT_EQ(w.top(), c.top) << c.what;
    EXPECT_LE(w.recordReads() - reads, uint64_t(page)) << c.what;
    const std::vector<std::string> shown = rows(w);
    ASSERT_GE(shown.size(), 3u) << c.what;
    EXPECT_EQ(shown[0], "H1") << c.what;
    EXPECT_EQ(shown[2], numbered(c.top)) << c.what;
    EXPECT_EQ(status, std::to_string(c.top + 1) + " / " + std::to_string(kLines)) << c.what;
    EXPECT_EQ(bar->value(), c.top / step) << c.what;
  }

  // The line under a selected row is the one the view asked to show.
  press(w, Qt::Key_Home);
  w.listControl()->setCurrentRow(5);
  EXPECT_EQ(w.selectedLine(), 3);
  EXPECT_EQ(w.lineAt(3), (LineRecord{4, 3, 6, numbered(3)}));
  w.listControl()->setCurrentRow(1);
  EXPECT_EQ(w.selectedLine(), -1);

  const long after = rssKb();
  EXPECT_LT(after - before, 4 * 1024) << "RSS grew from " << before << " kB to " << after << " kB";
}

TEST_F(BrowserList, APlainRowStaysUntilALineIsShownAndLinesKeepTheirCodePage) {
  CfwDblist w(texts);
  w.resize(640, 480);
  w.show();
  w.initialiseStore(dir.path());
  std::vector<std::string> statuses;
  w.setStatusSink([&](const std::string& s) { statuses.push_back(s); });

  w.addPlainText("No Corvane found!");
  w.redraw();
  EXPECT_EQ(rows(w), std::vector<std::string>{"No Corvane found!"});
  w.listControl()->setCurrentRow(0);
  EXPECT_EQ(w.selectedLine(), -1);
  EXPECT_TRUE(statuses.empty());

  w.addLine("Caf\xE9", 0, 0, 0);
  w.redraw();
  EXPECT_EQ(rows(w), std::vector<std::string>{"Caf\u00e9"});
  EXPECT_EQ(statuses.back(), "1 / 1");

  w.addPlainText("wizard row");
  w.clear();
  EXPECT_EQ(rows(w), std::vector<std::string>{});
  EXPECT_EQ(w.count(), 0);
  EXPECT_EQ(statuses.back(), "");
}

// Runs a poppler tool; nothing when it is not installed.
std::optional<std::string> poppler(const QString& tool, const QStringList& args) {
  QProcess p;
  p.start(tool, args);
  if (!p.waitForStarted() || !p.waitForFinished(60000) || p.exitCode() != 0) return std::nullopt;
  return p.readAllStandardOutput().toStdString();
}

TEST_F(BrowserList, APrintedListHasItsHeadersOnEveryPageAndEveryLineInOrder) {
  QProcess probe;
  probe.start("pdfinfo", {"-v"});
  if (!probe.waitForStarted()) GTEST_SKIP() << "pdfinfo is missing (package poppler-utils)";
  probe.waitForFinished();
  struct Case {
    std::string h1, h2;
    int count, pages;
  };
  const Case cases[] = {
      {"Caf\xE9 list", "No Name", 200, 5},  // 48 lines a page
      {"", "Only header 2", 98, 2},         // 49 a page
      {"", "", 100, 2},
      {"", "", 101, 3},
  };
  for (const Case& c : cases) {
    const std::string name = c.h1 + "|" + c.h2 + "|" + std::to_string(c.count);
    const std::string pdf = dir.file("list-" + std::to_string(c.count) + ".pdf");
    if (c.h1.empty()) {
      PrintSource src{c.h1, c.h2, size_t(c.count), [](size_t i) { return numbered(int(i)); }, &texts};
      ASSERT_TRUE(printLinesToPdf(pdf, src)) << name;
    } else {
      // Through the list itself.
      CfwDblist w(texts);
      w.initialiseStore(dir.path());
      for (int i = 0; i < c.count; ++i) w.addLine(numbered(i), 4, i, 0);
      w.setHeaders(c.h1, c.h2);
      QPrinter printer(QPrinter::HighResolution);
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(QString::fromStdString(pdf));
      ASSERT_TRUE(w.printTo(printer)) << name;
    }
    const auto info = poppler("pdfinfo", {QString::fromStdString(pdf)});
    ASSERT_TRUE(info) << name;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(*info, m, std::regex(R"(Pages:\s+(\d+))"))) << *info;
    EXPECT_EQ(std::stoi(m[1]), c.pages) << name;

    const auto text = poppler("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
    ASSERT_TRUE(text) << name;
    std::vector<std::string> pages;
    std::stringstream all(*text);
    for (std::string p; std::getline(all, p, '\f');)
      if (!p.empty() && p != "\n") pages.push_back(p);
    ASSERT_EQ(int(pages.size()), c.pages) << name;
    // The headers as the texts' code page shows them.
    const std::string h1 = corvane::qtext(texts, c.h1).toStdString();
    int next = 0;
    for (const std::string& p : pages) {
      std::vector<std::string> lines;
      std::stringstream in(p);
      for (std::string l; std::getline(in, l);) {
        l.erase(0, l.find_first_not_of(' '));
        l.erase(l.find_last_not_of(' ') + 1);
        if (!l.empty()) lines.push_back(l);
      }
      std::vector<std::string> head;
      if (!h1.empty()) head.push_back(h1);
      if (!c.h2.empty()) head.push_back(c.h2);
      ASSERT_GE(lines.size(), head.size()) << name;
      EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + long(head.size())), head) << name;
      for (size_t i = head.size(); i < lines.size(); ++i) EXPECT_EQ(lines[i], numbered(next++)) << name;
    }
    EXPECT_EQ(next, c.count) << name;
  }
}

}  // namespace
}  // namespace lumarc::browse
