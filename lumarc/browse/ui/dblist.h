// The paged browser list, base of every list view (users, definitions, the
// record browsers, the exchange browser): a line store of its own behind a
// list control that holds only the visible rows, its own scroll bar, keys,
// wheel and printing. Lines are 8-bit texts in the code page of the
// program's string table; they become Unicode only in the control and on
// paper.
#pragma once

#include "common/string_table.h"
#include "lumarc/browse/line_store.h"

#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QListWidget;
class QPrinter;
class QScrollBar;

namespace lumarc::browse {

class CfwDblist : public QWidget {
  Q_OBJECT
 public:
  // Height of the band above the list that a view may fill with its own
  // controls, and width of the scroll bar column.
  static constexpr int kBandHeight = 24;
  static constexpr int kScrollBarWidth = 16;
  // Width the control scrolls over sideways: a full line in the list font.
  static constexpr int kHorizontalExtent = 2560;

  // texts: the program's string table (its code page turns the lines into
  // Unicode); it must outlive the list.
  explicit CfwDblist(const corvane::StringTable& texts, QWidget* parent = nullptr);
  ~CfwDblist() override;

  // On the view's first display: makes the line store in dir (empty: the
  // system's temporary folder) and empties the list. Until then, and when
  // the store cannot be made, lines added are dropped and the list stays
  // empty but usable.
  void initialiseStore(const std::string& dir = {});
  // Whether the line store exists (initialised and made).
  bool hasStore() const;

  // Empties the list, its store and both headers, resets the scroll bar and
  // clears the status text.
  void clear();
  // Appends a line (text cut to 319 bytes). Does not redraw.
  void addLine(std::string_view text, int32_t kind, int32_t index, int32_t extra);
  // Sets the headers (empty = absent), the scroll range, and redraws.
  void setHeaders(std::string header1, std::string header2);
  // Shows the visible window of lines; with no lines the control keeps
  // what it shows.
  void redraw();
  // A row put straight into the control; it goes at the next redraw of a
  // list with lines, or at clear().
  void addPlainText(std::string_view text);

  // The line of the control's selected row; -1 for none or a header.
  int selectedLine() const;
  // A stored line; nothing outside 0 .. count()-1.
  std::optional<LineRecord> lineAt(int line) const;
  // A stored line's text; empty outside 0 .. count()-1.
  std::string lineText(int line) const;
  int count() const { return list_.count(); }
  int top() const { return list_.top(); }
  // Moves the top (kept in 0 .. count-1) and redraws.
  void setTop(int top);
  // Rows the control has for lines (headers not counted).
  int visibleRows() const { return list_.visibleRows(); }
  const std::string& header1() const { return list_.header1(); }
  const std::string& header2() const { return list_.header2(); }

  // Receives status bar pane 2's text ("<top+1> / <count>") after each
  // redraw, and an empty text at clear().
  void setStatusSink(std::function<void(const std::string&)> sink);

  // Prints every line, headers on each page, on a printer set up by the
  // caller; false when painting cannot start.
  bool printTo(QPrinter& printer);

  // The controls, for the owning view's layout and for tests.
  QListWidget* listControl() const { return control_; }
  QScrollBar* scrollBar() const { return scrollBar_; }
  // Records read from the store since it was made (0 without a store).
  uint64_t recordReads() const;

 public slots:
  // Asks for a printer or PDF file and prints (the File menu's "Print":
  // connect a QAction's triggered() here). True when printed; false when
  // the user cancelled or printing failed (printFailed() says so).
  bool printWithDialog();

 signals:
  // A line double-clicked or confirmed with Enter.
  void lineActivated(int line);
  // Right click on the list: where, and the line under the mouse (-1 none).
  void contextMenuAt(QPoint globalPos, int line);
  // The selected line changed (-1: none).
  void selectionChanged(int line);
  // The printer could not be painted on (the caller puts it into words).
  void printFailed();

 protected:
  void resizeEvent(QResizeEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void layoutControls();
  void measureRows();
  void updateScrollBar();
  void onScrollAction(int action);
  void addRow(const QString& text);
  void move(Clbws::Key k);

  const corvane::StringTable& texts_;
  Clbws list_;
  std::unique_ptr<LineStore> store_;
  QListWidget* control_ = nullptr;
  QScrollBar* scrollBar_ = nullptr;
  std::function<void(const std::string&)> statusSink_;
  bool filling_ = false;  // the control is being refilled: no selection signals
  int wheelRest_ = 0;     // wheel movement not yet a whole notch
};

}  // namespace lumarc::browse
