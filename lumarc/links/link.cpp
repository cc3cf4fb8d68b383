#include "lumarc/links/link.h"

#include "common/files.h"
#include "common/format.h"

#include <unistd.h>

#include <cstring>

namespace lumarc {

int slotCount(LinkKind kind) { return kind == LinkKind::Monitor ? 2 : 4; }

const char* logPrefix(LinkKind kind) {
  switch (kind) {
    case LinkKind::Cmdr: return "C";
    case LinkKind::Monitor: return "M";
    case LinkKind::Voice: return "V";
  }
  return "C";
}

std::string logFileName(LinkKind kind, int slot) {
  return std::string("log") + logPrefix(kind) + corvane::dec2(uint32_t(slot)) + ".txt";
}

bool LineList::append(std::string line) {
  lines_.push_back(std::move(line));
  if (lines_.size() <= kMaxListLines) return false;
  lines_.pop_front();
  return true;
}

bool LinkLog::open(const std::string& path, std::time_t now, const std::string& host, uint16_t port) {
  close();
  ::unlink(path.c_str());
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) return false;
  write(path + " " + corvane::formatDateTime(now) + " " + host + ":" + std::to_string(port));
  return true;
}

void LinkLog::write(std::string_view text) {
  if (!file_) return;
  std::fwrite(text.data(), 1, text.size(), file_.get());
  std::fwrite("\r\n", 1, 2, file_.get());
  std::fflush(file_.get());
}

void LinkLog::close() { file_.reset(); }

uint32_t OpenResult::ipv4() const {
  if (ipv6) return 0;
  uint32_t v;
  std::memcpy(&v, address, 4);
  return v;
}

Link::Link(LinkList& owner, LinkKind kind, const ConnectionTarget& target, int slot)
    : owner_(owner), kind_(kind), target_(target), slot_(slot) {}

Link::~Link() = default;

void Link::appendLine(const std::string& text) {
  bool dropped = lines_.append(text);
  log_.write(text);
  owner_.linkLine(*this, text, dropped);
}

std::string Link::logPath() const { return corvane::joinPath(workDir(), logFileName(kind_, slot_)); }

uint16_t Link::port() const { return target_.port() ? target_.port() : defaultPort(kind_); }

void Link::openLog() { log_.open(logPath(), owner_.env().now(), target_.hostText(), port()); }

void Link::report(LinkMessage message, const std::string& detail) {
  owner_.caption(owner_.messageText(message, detail));
}
void Link::reportText(const std::string& text) { owner_.caption(text); }
void Link::iconChanged() { owner_.linkIcon(*this); }
void Link::connected() { owner_.linkConnected(*this); }
const std::string& Link::workDir() const { return owner_.env().workDir; }

LinkList::LinkList(LinkKind kind, LinkEnvironment env, LinkFactory factory)
    : kind_(kind), env_(std::move(env)), factory_(std::move(factory)), slots_(size_t(slotCount(kind))) {}

LinkList::~LinkList() { closeAll(); }

int LinkList::openLink(std::string_view addressText) {
  caption("");
  return openTarget(parseAddressText(addressText));
}

int LinkList::openTarget(const ConnectionTarget& target) {
  int slot = -1;
  for (size_t i = 0; i < slots_.size(); ++i)
    if (!slots_[i]) {
      slot = int(i);
      break;
    }
  if (slot < 0) {
    caption(messageText(LinkMessage::ConnectionLimitExceeded));
    return -1;
  }
  if (target.hostText().empty()) return -1;
  std::unique_ptr<Link> link = factory_(*this, target, slot);
  if (!link) return -1;
  Link* raw = link.get();
  slots_[size_t(slot)] = std::move(link);
  if (!raw->open()) {
    slots_[size_t(slot)]->shutdown();
    slots_[size_t(slot)].reset();
    return -1;
  }
  if (env_.view) {
    env_.view->tabAdded(slot, raw->tabLabel());
    env_.view->tabIcon(slot, raw->icon());
  }
  return slot;
}

void LinkList::closeLink(int slot) {
  caption("");
  if (slot < 0 || size_t(slot) >= slots_.size() || !slots_[size_t(slot)]) return;
  std::unique_ptr<Link> link = std::move(slots_[size_t(slot)]);
  link->shutdown();
  link.reset();
  if (env_.view) env_.view->tabRemoved(slot);
}

void LinkList::closeAll() {
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (!slots_[i]) continue;
    std::unique_ptr<Link> link = std::move(slots_[i]);
    link->shutdown();
    link.reset();
    if (env_.view) env_.view->tabRemoved(int(i));
  }
}

void LinkList::tick() {
  for (auto& l : slots_)
    if (l) l->tick();
}

void LinkList::toggleScroll() {
  if (env_.flipAutoScroll) env_.flipAutoScroll();
}

Link* LinkList::link(int slot) const {
  if (slot < 0 || size_t(slot) >= slots_.size()) return nullptr;
  return slots_[size_t(slot)].get();
}

int LinkList::openCount() const {
  int n = 0;
  for (auto& l : slots_) n += l ? 1 : 0;
  return n;
}

void LinkList::linkConnected(Link& link) {
  if (env_.addToHistory) env_.addToHistory(link.target());
  if (env_.view) env_.view->historyChanged();
}

void LinkList::linkIcon(Link& link) {
  // A link still being opened has no tab yet; openTarget shows its icon.
  if (env_.view && slots_[size_t(link.slot())].get() == &link) env_.view->tabIcon(link.slot(), link.icon());
}

void LinkList::linkLine(Link& link, const std::string& line, bool dropFirst) {
  if (env_.view) env_.view->lineAppended(link.slot(), line, dropFirst);
}

void LinkList::caption(const std::string& text) {
  if (env_.view) env_.view->setCaptionMessage(text);
}

std::string LinkList::messageText(LinkMessage message, const std::string& detail) const {
  if (env_.messageText) return env_.messageText(message, detail);
  std::string text = linkMessageName(message);
  return detail.empty() ? text : text + " (" + detail + ")";
}

}  // namespace lumarc
