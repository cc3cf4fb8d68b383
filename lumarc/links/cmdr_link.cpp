#include "lumarc/links/cmdr_link.h"

#include "common/fault_seam.h"
#include "common/files.h"
#include "lumarc/links/cmdr_line.h"

#include <fcntl.h>
#include <ostream>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

namespace lumarc {

int cmdrKeepAliveTicks(int step) {
  static const int needed[7] = {50, 50, 100, 100, 200, 200, 3000};
  return needed[step < 0 || step > 6 ? 0 : step];
}

bool appendFailedRecordLines(const std::string& dir, const std::vector<std::string>& lines, std::string& cause) {
  std::string path = corvane::joinPath(dir, kFailedRecordsFile);
  if (auto f = corvane::fault::hit(corvane::fault::Point::FileWrite, path)) {
    cause = f->message.empty() ? std::strerror(f->errnum) : f->message;
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    cause = std::strerror(errno);
    return false;
  }
  // All of the pass's lines or none: a half-written pass would be written
  // again whole when the exchange sends it again.
  const off_t end = ::lseek(fd, 0, SEEK_END);
  std::string data;
  for (const std::string& l : lines) data += l + "\r\n";
  const char* p = data.data();
  size_t left = data.size();
  int err = end < 0 ? errno : 0;
  while (err == 0 && left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (err != 0 && end >= 0) {
    if (::ftruncate(fd, end) == 0) ::fsync(fd);
  }
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) cause = std::strerror(err);
  return err == 0;
}

bool appendFailedRecordLine(const std::string& dir, const std::string& line) {
  std::string cause;
  return appendFailedRecordLines(dir, {line}, cause);
}

CmdrLink::CmdrLink(LinkList& owner, const ConnectionTarget& target, int slot, StreamTransportFactory makeSocket,
                   CmdrRecordSink& sink)
    : Link(owner, LinkKind::Cmdr, target, slot), makeSocket_(std::move(makeSocket)), sink_(sink) {}

CmdrLink::~CmdrLink() { shutdown(); }

int CmdrLink::icon() const {
  switch (state_) {
    case CmdrState::Connected: return kIconConnected;
    case CmdrState::Connecting: return kIconConnecting;
    default: return kIconClosed;
  }
}

unsigned CmdrLink::ticks() const {
  switch (state_) {
    case CmdrState::Connecting: return connectTimeout_.count();
    case CmdrState::Connected: return keepAlive_.count();
    case CmdrState::Closed: return reconnectWait_.count();
    case CmdrState::Failed: break;
  }
  return 0;
}

uint32_t CmdrLink::exchangeIpv4() const {
  if (ipv6_) return 0;
  uint32_t v;
  std::memcpy(&v, address_, 4);
  return v;
}

bool CmdrLink::open() {
  state_ = CmdrState::Connecting;
  connectTimeout_.restart();
  return startOpen();
}

bool CmdrLink::startOpen() {
  // The old socket goes here, never inside one of its own events.
  socket_ = makeSocket_(*this);
  socketOpen_ = false;
  buffer_.clear();
  if (!socket_) {
    report(LinkMessage::SocketCreationFault);
    return false;
  }
  OpenResult r = socket_->open(resolverHost(target_), port());
  if (r.status != OpenResult::Status::Ok) {
    report(r.status == OpenResult::Status::CreateFailed ? LinkMessage::SocketCreationFault
                                                        : LinkMessage::SocketOpeningFault);
    socket_->close();
    return false;
  }
  socketOpen_ = true;
  ipv6_ = r.ipv6;
  std::memcpy(address_, r.address, sizeof address_);
  openLog();
  return true;
}

void CmdrLink::closeSocket() {
  if (socket_ && socketOpen_) socket_->close();
  socketOpen_ = false;
  buffer_.clear();
}

void CmdrLink::shutdown() {
  closeSocket();
  closeLog();
}

void CmdrLink::setState(CmdrState s) {
  state_ = s;
  iconChanged();
}

void CmdrLink::endLink(LinkMessage message) {
  closeSocket();
  report(message);
  setState(CmdrState::Failed);
}

void CmdrLink::restartKeepAlive() {
  keepAliveStep_ = 0;
  keepAlive_.setLimit(unsigned(cmdrKeepAliveTicks(keepAliveStep_)));
  keepAlive_.restart();
}

void CmdrLink::closeForReconnection() {
  reconnectWait_.restart();
  restartKeepAlive();
  setState(CmdrState::Closed);
}

void CmdrLink::tick() {
  switch (state_) {
    case CmdrState::Connecting:
      connectTimeout_.tick();
      if (connectTimeout_.exceeded()) {
        reconnectWait_.restart();
        setState(CmdrState::Closed);
        closeSocket();
      }
      break;
    case CmdrState::Connected:
      keepAlive_.tick();
      if (keepAlive_.expired()) {
        if (socketOpen_) socket_->send("X");
        keepAliveStep_ = keepAliveStep_ == 6 ? 0 : keepAliveStep_ + 1;
        keepAlive_.setLimit(unsigned(cmdrKeepAliveTicks(keepAliveStep_)));
        keepAlive_.restart();
      }
      break;
    case CmdrState::Closed:
      reconnectWait_.tick();
      if (reconnectWait_.expired()) {
        restartKeepAlive();
        closeLog();
        connectTimeout_.restart();
        if (startOpen()) {
          setState(CmdrState::Connecting);
        } else {
          setState(CmdrState::Failed);
        }
      }
      break;
    case CmdrState::Failed: break;
  }
}

void CmdrLink::onConnectResult(bool ok) {
  if (state_ != CmdrState::Connecting || !socketOpen_) return;
  if (!ok) {
    report(LinkMessage::SocketOpeningFault);
    closeSocket();
    closeForReconnection();
    return;
  }
  restartKeepAlive();
  setState(CmdrState::Connected);
  connected();
}

void CmdrLink::onPeerClosed() {
  if (!socketOpen_) return;
  report(LinkMessage::SocketClosedUnexpectedly);
  closeSocket();
  closeForReconnection();
}

void CmdrLink::onBytes(const uint8_t* data, size_t size) {
  if (!socketOpen_ || state_ != CmdrState::Connected) return;
  try {
    buffer_.append(reinterpret_cast<const char*>(data), size);
  } catch (const std::bad_alloc&) {
    endLink(LinkMessage::InsufficientMemory);
    return;
  }
  // Decode every whole frame of the pass; a damaged one ends the link once
  // the records before it are stored, and the pass is not acknowledged.
  size_t pos = 0;
  int handled = 0;
  std::optional<LinkMessage> endMessage;
  Pass pass;
  CmdrFrame frame;
  while (!endMessage && buffer_.size() - pos >= kCmdrFrameSize) {
    std::memcpy(frame.data(), buffer_.data() + pos, kCmdrFrameSize);
    pos += kCmdrFrameSize;
    ++framesReceived_;
    if (!cmdrCheckWordOk(frame)) {
      endMessage = LinkMessage::ReceivedDataFormatFaulty;
      break;
    }
    switch (handleCmdrFrame(frame, pass)) {
      case FrameResult::Handled: ++handled; break;
      case FrameResult::Malformed: endMessage = LinkMessage::ReceivedDataFormatFaulty; break;
      case FrameResult::OutOfMemory: endMessage = LinkMessage::InsufficientMemory; break;
    }
  }
  if (!endMessage) buffer_.erase(0, pos);
  if (!storePass(pass)) {
    if (endMessage) endLink(*endMessage);
    return;
  }
  if (endMessage) {
    endLink(*endMessage);
    return;
  }
  if (handled > 0) {
    socket_->send("X");
    restartKeepAlive();
  }
}

bool CmdrLink::storePass(const Pass& pass) {
  if (pass.records.empty()) return true;
  std::vector<std::string> refused;
  try {
    std::vector<StoreOutcome> outcomes = sink_.storePass(pass.records);
    std::string firstError;
    for (size_t i = 0; i < outcomes.size() && i < pass.lines.size(); ++i) {
      const StoreOutcome& o = outcomes[i];
      if (o.failed()) {
        refused.push_back(pass.lines[i]);
        if (firstError.empty() && !o.shown) firstError = o.error;
      } else if (o.countersFailed()) {
        reportText(o.error);
      }
    }
    // A refusal that repeats pass after pass (a lost server) is shown once.
    if (!firstError.empty() && firstError != lastRefusal_) reportText(firstError);
    lastRefusal_ = firstError;
  } catch (const std::bad_alloc&) {
    // Nothing is known to be stored: the exchange sends the pass again.
    endLink(LinkMessage::InsufficientMemory);
    return false;
  }
  if (refused.empty()) return true;
  std::string cause;
  if (appendFailedRecordLines(workDir(), refused, cause)) return true;
  // Neither the database nor "fcmdr.txt" took these records: they must not
  // be acknowledged, not even by a keep-alive "X" (the exchange cannot
  // tell the two apart). Drop the connection, so the exchange keeps them
  // and sends them again after the reconnection.
  dropUnacknowledged(cause);
  return false;
}

void CmdrLink::dropUnacknowledged(const std::string& cause) {
  closeSocket();
  report(LinkMessage::FailedRecordsNotWritable, cause);
  closeForReconnection();
}

CmdrLink::FrameResult CmdrLink::handleCmdrFrame(const CmdrFrame& frame, Pass& pass) {
  if (!cmdrSumOk(frame)) return FrameResult::Malformed;
  try {
    CmdrRecord record;
    if (!decodeCmdrFrame(frame, exchangeIpv4(), record)) return FrameResult::Handled;
    std::string line = cmdrLineText(record);
    if (line.empty()) return FrameResult::Handled;
    appendLine(line);
    pass.records.push_back(std::move(record));
    pass.lines.push_back(std::move(line));
    return FrameResult::Handled;
  } catch (const std::bad_alloc&) {
    return FrameResult::OutOfMemory;
  }
}

LinkFactory cmdrLinkFactory(StreamTransportFactory makeSocket, CmdrRecordSink& sink) {
  return [makeSocket, &sink](LinkList& owner, const ConnectionTarget& t, int slot) -> std::unique_ptr<Link> {
    return std::make_unique<CmdrLink>(owner, t, slot, makeSocket, sink);
  };
}

const char* cmdrStateName(CmdrState s) {
  switch (s) {
    case CmdrState::Connecting: return "Connecting";
    case CmdrState::Connected: return "Connected";
    case CmdrState::Closed: return "Closed";
    case CmdrState::Failed: return "Failed";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, CmdrState s) { return os << cmdrStateName(s); }

}  // namespace lumarc
