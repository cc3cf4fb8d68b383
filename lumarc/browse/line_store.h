// The line store behind every browser list: the lines of one view, each a
// fixed 332-byte record in a temporary file of its own, and the paging
// state of the list that shows them (Clbws). Only the visible window of
// lines is ever read back, one record per row, so a list of any length
// costs constant memory. Plain C++; the widget is CfwDblist.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::browse {

// One line of a list: what the owning view needs to turn a selection back
// into its record, and the 8-bit text shown.
struct LineRecord {
  int32_t kind = 0;   // chosen by the owning view (4 = record line, 0 = heading ...)
  int32_t index = 0;  // record position or table index in the owning view
  int32_t extra = 0;  // e.g. the record's position in the query result
  std::string text;   // at most kLineTextMax bytes
  bool operator==(const LineRecord&) const = default;
};

// The record layout in the file (little-endian).
inline constexpr size_t kLineRecordSize = 332;
inline constexpr size_t kLineTextMax = 319;
namespace line {
inline constexpr size_t kKind = 0, kIndex = 4, kExtra = 8, kText = 12, kTextSize = 320;
}  // namespace line
using LineRecordBytes = std::array<uint8_t, kLineRecordSize>;

// Writes one record into out (kLineRecordSize bytes): the text is cut to
// kLineTextMax bytes and zero-filled to the end.
void encodeLineRecord(std::span<uint8_t, kLineRecordSize> out, int32_t kind, int32_t index, int32_t extra,
                      std::string_view text);
LineRecordBytes encodeLineRecord(const LineRecord& r);
// The record in bytes; the text ends at its first zero byte (or after
// kLineTextMax bytes). A block shorter than a record gives nothing.
std::optional<LineRecord> decodeLineRecord(std::span<const uint8_t> bytes);

// The lines of one view in a temporary file that carries no name: it is
// made unique in the given folder and unlinked at once, so two views never
// share it and nothing of it outlives the store.
//
// Appends are buffered; reading flushes them first. When the file cannot be
// made the store is not ok(): adds do nothing and reads give nothing. When a
// write fails (a full disk), count() drops to the lines wholly in the file,
// failed() reports it, and further adds are dropped until clear(), so the
// list shows an unbroken beginning of its lines and never a gap.
class LineStore {
 public:
  // dir: the folder of the file; empty: the system's temporary folder.
  explicit LineStore(const std::string& dir = {});
  ~LineStore();
  LineStore(const LineStore&) = delete;
  LineStore& operator=(const LineStore&) = delete;

  // Whether the file was made.
  bool ok() const { return fd_ >= 0; }
  // Whether a write failed since the last clear(); errorNumber() says why.
  bool failed() const { return failed_; }
  int errorNumber() const { return errnum_; }

  // Lines held: those in the file and those waiting to be written.
  int count() const { return written_ + pendingCount(); }
  // Appends a line (text cut to kLineTextMax bytes).
  void add(std::string_view text, int32_t kind, int32_t index, int32_t extra);
  void add(const LineRecord& r) { add(r.text, r.kind, r.index, r.extra); }
  // Writes the waiting lines; false when that failed (see failed()).
  bool flush();
  // Line i, read from the file (waiting lines are written first); nothing
  // when i is outside 0..count()-1 or the read does not return a whole
  // record.
  std::optional<LineRecord> read(int i);
  // Empties the store (the file is truncated to 0) and forgets a failure.
  void clear();

  // Records read from the file since the store was made.
  uint64_t reads() const { return reads_; }

 private:
  int pendingCount() const { return int(pending_.size() / kLineRecordSize); }

  int fd_ = -1;
  std::string name_;  // the name the file had before it was unlinked
  int written_ = 0;   // whole records in the file
  std::vector<uint8_t> pending_;
  bool failed_ = false;
  int errnum_ = 0;
  uint64_t reads_ = 0;
};

// The paging state of a browser list: which lines the list control shows,
// the scroll bar's range and position, and the keys and wheel that move it.
// Line numbers are 0-based; the control shows the non-empty headers, then
// up to visibleRows() lines from top().
class Clbws {
 public:
  // Lines beyond this many make the scroll bar move more than one line a step.
  static constexpr int kScrollPositions = 32000;
  static constexpr int kMinRows = 10;
  static constexpr int kDefaultRowHeight = 16;

  enum class Key { Up, Down, PageUp, PageDown, Home, End };

  // Forgets lines, top and headers (the row geometry stays).
  void reset();

  int count() const { return count_; }
  // A new line count; top stays in range.
  void setCount(int count);
  int top() const { return top_; }
  // Moves the top, kept in 0 .. count-1 (the last line may stand alone).
  void setTop(int top);

  // The list control's client height and row height in pixels (0: 16).
  void setGeometry(int clientHeight, int rowHeight);
  // Rows for lines: client height / row height, at least kMinRows, less
  // one per non-empty header.
  int visibleRows() const;
  int rowHeight() const { return rowHeight_; }

  void setHeaders(std::string header1, std::string header2);
  const std::string& header1() const { return header1_; }
  const std::string& header2() const { return header2_; }
  int headerRows() const { return int(!header1_.empty()) + int(!header2_.empty()); }

  // Lines per scroll bar position: ceil((count-1) / 32000), at least 1.
  int scrollStep() const;
  // The scroll bar's range is 0 .. scrollMaximum() = (count-1) / step.
  int scrollMaximum() const;
  int scrollPosition() const { return top_ / scrollStep(); }
  // The thumb moved to position p: top = p * step.
  void scrollTo(int position);

  void key(Key k);
  // One wheel notch; towards the user pages down, away pages up.
  void wheel(bool towardsUser) { key(towardsUser ? Key::PageDown : Key::PageUp); }

  // The line a control row shows: -1 for a header row, for no row (< 0)
  // and for a row past the lines.
  int selectedLine(int controlRow) const;

  // The lines a redraw shows: first .. first + rows - 1; no rows when the
  // list is empty (a redraw then leaves the control as it is).
  struct Window {
    int first = 0;
    int rows = 0;
    bool operator==(const Window&) const = default;
  };
  Window visibleWindow() const;

  // Status bar pane 2: "<top+1> / <count>".
  std::string statusText() const;

 private:
  int count_ = 0;
  int top_ = 0;
  int rows_ = kMinRows;  // rows of the control, headers included
  int rowHeight_ = kDefaultRowHeight;
  std::string header1_, header2_;
};

}  // namespace lumarc::browse
