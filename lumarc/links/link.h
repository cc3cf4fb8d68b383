// What the three link kinds share: slots per pane, the text list of at most
// 10000 lines, the link's log file, the socket interfaces the engines act
// through, and the pane's list of open links (open, close, tick, history).
// Plain C++: the panes and the command-line collector sit on top of it.
#pragma once

#include "common/files.h"
#include "lumarc/texts/link_message.h"
#include "lumarc/links/target.h"

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc {

constexpr size_t kMaxListLines = 10000;

// Tab icons: 1 connected, 2 closed or failed, 3 connecting.
enum LinkIcon : int { kIconConnected = 1, kIconClosed = 2, kIconConnecting = 3 };

// Links a pane can hold at once: CMDR 4, monitor 2, voice 4.
int slotCount(LinkKind kind);
// "C", "M" or "V".
const char* logPrefix(LinkKind kind);
// The log file name of a slot, e.g. "logC00.txt".
std::string logFileName(LinkKind kind, int slot);

// A link's list of lines: at most 10000, the oldest dropped first.
class LineList {
 public:
  // Adds a line; returns true when the first line was dropped to make room.
  bool append(std::string line);
  // Number of lines held (at most 10000).
  size_t size() const { return lines_.size(); }
  // Line i, oldest first; i < size().
  const std::string& at(size_t i) const {
    assert(i < lines_.size());
    return lines_[i];
  }
  // The newest line; the list must not be empty.
  const std::string& last() const {
    assert(!lines_.empty());
    return lines_.back();
  }
  // Removes every line.
  void clear() { lines_.clear(); }

 private:
  std::deque<std::string> lines_;
};

// A link's plain-text log: deleted and re-created at every open, a header
// line, then one line per appended text, CR LF ended, 8-bit bytes as they are.
class LinkLog {
 public:
  ~LinkLog() { close(); }
  // Re-creates the file and writes "<path> <date time> <host>:<port>".
  // False (and no log) when the file cannot be created.
  bool open(const std::string& path, std::time_t now, const std::string& host, uint16_t port);
  // Writes text and CR LF; nothing without a file.
  void write(std::string_view text);
  // Closes the file; nothing without one.
  void close();
  // Whether a log file is open.
  bool isOpen() const { return file_ != nullptr; }

 private:
  corvane::FilePtr file_;
};

// Outcome of the opening steps that need the platform (resolve, create, connect).
struct OpenResult {
  enum class Status { Ok, ResolveFailed, CreateFailed, ConnectFailed };
  Status status = Status::ResolveFailed;
  bool ipv6 = false;
  // The exchange's address: IPv4 in host byte order in the first 4 bytes
  // (native order), rest zero; IPv6 the 16 address bytes.
  uint8_t address[16] = {};
  // Host-order IPv4 value, 0 for IPv6.
  uint32_t ipv4() const;
};

// Events of a stream socket, delivered to its link on the event thread.
class StreamEvents {
 public:
  virtual ~StreamEvents() = default;
  // The connect started by open() completed.
  virtual void onConnectResult(bool ok) = 0;
  // Bytes arrived; one call is one receive pass.
  virtual void onBytes(const uint8_t* data, size_t size) = 0;
  // The peer closed the connection.
  virtual void onPeerClosed() = 0;
};

// One TCP socket owned by a link. After close() no event arrives any more.
class StreamTransport {
 public:
  virtual ~StreamTransport() = default;
  // Resolves host (IPv4 first, then IPv6), creates the socket and starts a
  // non-blocking connect; its completion arrives as onConnectResult.
  virtual OpenResult open(const std::string& host, uint16_t port) = 0;
  // Queues bytes for sending; false when the socket cannot take them.
  virtual bool send(std::string_view bytes) = 0;
  // Shuts the socket down in both directions and closes it.
  virtual void close() = 0;
};

// Makes the socket of one link; events go to the given receiver.
using StreamTransportFactory = std::function<std::unique_ptr<StreamTransport>(StreamEvents&)>;

// What a pane (window or console) shows of its links.
class PaneView {
 public:
  virtual ~PaneView() = default;
  // The message bar; an empty text hides it.
  virtual void setCaptionMessage(const std::string& text) = 0;
  // A link got a tab in slot: label, made active, the connecting icon.
  virtual void tabAdded(int slot, const std::string& label) = 0;
  // The link of slot is gone.
  virtual void tabRemoved(int slot) = 0;
  // The tab icon of slot changed.
  virtual void tabIcon(int slot, int icon) = 0;
  // A line was appended to slot's list; dropFirst: its first line went.
  virtual void lineAppended(int slot, const std::string& line, bool dropFirst) = 0;
  // The kind's history changed: refill the address box, refresh the toolbar.
  virtual void historyChanged() = 0;
};

class LinkList;

// The part every link kind shares. Engines derive from it.
class Link {
 public:
  Link(LinkList& owner, LinkKind kind, const ConnectionTarget& target, int slot);
  virtual ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Opening steps: resolve, create, connect, log file. False: the link is
  // discarded (its error text is in the message bar).
  virtual bool open() = 0;
  // One 100 ms tick.
  virtual void tick() = 0;
  // The tab icon of the current state.
  virtual int icon() const = 0;
  // Ends the link before it is destroyed (sockets closed, log closed).
  virtual void shutdown() = 0;
  // The tab label.
  virtual std::string tabLabel() const { return target_.hostText(); }

  // Adds a line to the list and the log file.
  void appendLine(const std::string& text);
  // The link's list of lines.
  const LineList& lines() const { return lines_; }
  // The target the link was opened with.
  const ConnectionTarget& target() const { return target_; }
  // The 0-based slot in its pane.
  int slot() const { return slot_; }
  // CMDR, monitor or voice.
  LinkKind kind() const { return kind_; }
  // Whether the log file could be created.
  bool hasLog() const { return log_.isOpen(); }
  // The log file's full path (working directory, "logC00.txt"...).
  std::string logPath() const;
  // The effective port: the target's, or the kind's default.
  uint16_t port() const;

 protected:
  // Re-creates the log file with its header line.
  void openLog();
  void closeLog() { log_.close(); }
  // Shows a message in the message bar, in the program's words.
  void report(LinkMessage message, const std::string& detail = {});
  // Shows a text that is already in words (a store's report).
  void reportText(const std::string& text);
  // The tab icon changed.
  void iconChanged();
  // The link reached its connected state: history and toolbar.
  void connected();
  const std::string& workDir() const;

  LinkList& owner_;
  LinkKind kind_;
  ConnectionTarget target_;
  int slot_;
  LineList lines_;
  LinkLog log_;
};

// Everything a pane's links need from the program.
struct LinkEnvironment {
  std::string workDir;
  // Puts the links' messages into words; without it a message shows its
  // name (linkMessageName).
  LinkMessageText messageText;
  PaneView* view = nullptr;
  // Adds a connected target to the kind's history (most recent first).
  std::function<void(const ConnectionTarget&)> addToHistory;
  // Flips the shared auto-scroll setting.
  std::function<void()> flipAutoScroll;
  // Local time for the log headers.
  std::function<std::time_t()> now = [] { return std::time(nullptr); };
};

// Makes a link of the pane's kind for a target and slot.
using LinkFactory = std::function<std::unique_ptr<Link>(LinkList&, const ConnectionTarget&, int slot)>;

// The open links of one pane: a fixed row of slots.
class LinkList {
 public:
  LinkList(LinkKind kind, LinkEnvironment env, LinkFactory factory);
  ~LinkList();

  // The pane's "Open": clears the message bar, parses the address text and
  // opens a link in the first free slot. Returns the slot, or -1 when
  // nothing was opened ("Connection limit exceeded", empty host, failure).
  int openLink(std::string_view addressText);
  // Opens a parsed target (the command line's items).
  int openTarget(const ConnectionTarget& target);
  // The pane's "Close" for the link in slot: message bar cleared, link ended.
  void closeLink(int slot);
  // Ends every link (program end).
  void closeAll();
  // Runs every open link's tick, in slot order.
  void tick();
  // "Scroll": flips the shared auto-scroll setting.
  void toggleScroll();

  // The link in slot, or nullptr when the slot is free.
  Link* link(int slot) const;
  // Number of slots in use.
  int openCount() const;
  // The pane's link kind.
  LinkKind kind() const { return kind_; }
  // What the links of this pane use.
  const LinkEnvironment& env() const { return env_; }

  // A link reached its connected state: history entry, address box, toolbar.
  void linkConnected(Link& link);
  // A link's tab icon changed.
  void linkIcon(Link& link);
  // A link appended a line.
  void linkLine(Link& link, const std::string& line, bool dropFirst);
  // Shows a text in the message bar ("" hides it).
  void caption(const std::string& text);
  // A message in the environment's words.
  std::string messageText(LinkMessage message, const std::string& detail = {}) const;

 private:
  LinkKind kind_;
  LinkEnvironment env_;
  LinkFactory factory_;
  std::vector<std::unique_ptr<Link>> slots_;
};

}  // namespace lumarc
