#include "lumarc/links/cmdr_link.h"

#include "common/files.h"
#include "lumarc/app/texts.h"
#include "lumarc/links/cmdr_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace lumarc {

int cmdrKeepAliveTicks(int step) {
  static const int needed[7] = {50, 50, 100, 100, 200, 200, 3000};
  return needed[step < 0 || step > 6 ? 0 : step];
}

bool appendFailedRecordLine(const std::string& dir, const std::string& line) {
  std::string path = corvane::joinPath(dir, "fcmdr.txt");
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string data = line + "\r\n";
  const char* p = data.data();
  size_t left = data.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  return ok;
}

CmdrLink::CmdrLink(LinkList& owner, const ConnectionTarget& target, int slot, StreamTransportFactory makeSocket,
                   CmdrRecordSink& sink, CmdrBatch batch)
    : Link(owner, LinkKind::Cmdr, target, slot),
      makeSocket_(std::move(makeSocket)),
      sink_(sink),
      batch_(std::move(batch)) {}

CmdrLink::~CmdrLink() { shutdown(); }

int CmdrLink::icon() const {
  switch (state_) {
    case CmdrState::Connected: return kIconConnected;
    case CmdrState::Connecting: return kIconConnecting;
    default: return kIconClosed;
  }
}

uint32_t CmdrLink::exchangeIpv4() const {
  if (ipv6_) return 0;
  uint32_t v;
  std::memcpy(&v, address_, 4);
  return v;
}

bool CmdrLink::open() {
  state_ = CmdrState::Connecting;
  return startOpen();
}

bool CmdrLink::startOpen() {
  // The old socket goes here, never inside one of its own events.
  socket_ = makeSocket_(*this);
  socketOpen_ = false;
  buffer_.clear();
  if (!socket_) {
    report(kTextSocketCreationFault);
    return false;
  }
  OpenResult r = socket_->open(resolverHost(target_), port());
  if (r.status != OpenResult::Status::Ok) {
    report(r.status == OpenResult::Status::CreateFailed ? kTextSocketCreationFault : kTextSocketOpeningFault);
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

void CmdrLink::endLink(int textId) {
  closeSocket();
  report(textId);
  setState(CmdrState::Failed);
}

void CmdrLink::tick() {
  ++ticks_;
  switch (state_) {
    case CmdrState::Connecting:
      if (ticks_ > 100) {
        ticks_ = 0;
        setState(CmdrState::Closed);
        closeSocket();
      }
      break;
    case CmdrState::Connected:
      if (ticks_ >= unsigned(cmdrKeepAliveTicks(keepAlive_))) {
        if (socketOpen_) socket_->send("X");
        ticks_ = 0;
        keepAlive_ = keepAlive_ == 6 ? 0 : keepAlive_ + 1;
      }
      break;
    case CmdrState::Closed:
      if (ticks_ > 2999) {
        ticks_ = 0;
        keepAlive_ = 0;
        closeLog();
        if (startOpen()) {
          setState(CmdrState::Connecting);
        } else {
          setState(CmdrState::Failed);
        }
      }
      break;
    case CmdrState::Failed:
      break;
  }
}

void CmdrLink::onConnectResult(bool ok) {
  if (state_ != CmdrState::Connecting || !socketOpen_) return;
  ticks_ = 0;
  keepAlive_ = 0;
  if (!ok) {
    report(kTextSocketOpeningFault);
    closeSocket();
    setState(CmdrState::Closed);
    return;
  }
  setState(CmdrState::Connected);
  connected();
}

void CmdrLink::onPeerClosed() {
  if (!socketOpen_) return;
  report(kTextSocketClosedUnexpectedly);
  closeSocket();
  ticks_ = 0;
  keepAlive_ = 0;
  setState(CmdrState::Closed);
}

void CmdrLink::onBytes(const uint8_t* data, size_t size) {
  if (!socketOpen_ || state_ != CmdrState::Connected) return;
  try {
    buffer_.append(reinterpret_cast<const char*>(data), size);
  } catch (const std::bad_alloc&) {
    endLink(kTextInsufficientMemory);
    return;
  }
  size_t pos = 0;
  int handled = 0;
  bool inBatch = false;
  if (buffer_.size() >= kCmdrFrameSize && batch_.begin && batch_.commit) inBatch = batch_.begin();
  // What was stored before a fault keeps its rows; the pass is not acknowledged.
  auto endPass = [&](int textId) {
    if (inBatch) batch_.commit();
    endLink(textId);
  };
  CmdrFrame frame;
  while (buffer_.size() - pos >= kCmdrFrameSize) {
    std::memcpy(frame.data(), buffer_.data() + pos, kCmdrFrameSize);
    pos += kCmdrFrameSize;
    if (!cmdrCheckWordOk(frame)) {
      endPass(kTextReceivedDataFormatFaulty);
      return;
    }
    switch (handleCmdrFrame(frame)) {
      case FrameResult::Handled:
        ++handled;
        break;
      case FrameResult::Malformed:
        endPass(kTextReceivedDataFormatFaulty);
        return;
      case FrameResult::OutOfMemory:
        endPass(kTextInsufficientMemory);
        return;
      case FrameResult::NotSaved:
        // Neither the database nor "fcmdr.txt" took the record: it must not
        // be acknowledged. Drop the connection without "X", so the exchange
        // keeps it and sends it again after the reconnection.
        if (inBatch) batch_.commit();
        dropUnacknowledged("fcmdr.txt " + texts().text(kTextFileAccessFailed));
        return;
    }
  }
  buffer_.erase(0, pos);
  if (inBatch) {
    std::string error = batch_.commit();
    if (!error.empty()) {
      // The pass's rows are not safely stored: no acknowledgement.
      dropUnacknowledged(error);
      return;
    }
  }
  if (handled > 0) {
    socket_->send("X");
    ticks_ = 0;
    keepAlive_ = 0;
  }
}

void CmdrLink::dropUnacknowledged(const std::string& message) {
  closeSocket();
  reportText(message);
  ticks_ = 0;
  keepAlive_ = 0;
  setState(CmdrState::Closed);
}

CmdrLink::FrameResult CmdrLink::handleCmdrFrame(const CmdrFrame& frame) {
  if (!cmdrSumOk(frame)) return FrameResult::Malformed;
  try {
    CmdrRecord record;
    if (!decodeCmdrFrame(frame, exchangeIpv4(), record)) return FrameResult::Handled;
    std::string line = cmdrLineText(record);
    if (line.empty()) return FrameResult::Handled;
    appendLine(line);
    StoreOutcome outcome = sink_.store(record);
    if (outcome.failed()) {
      if (!appendFailedRecordLine(workDir(), line)) return FrameResult::NotSaved;
    } else if (outcome.countersFailed()) {
      reportText(outcome.error);
    }
    return FrameResult::Handled;
  } catch (const std::bad_alloc&) {
    return FrameResult::OutOfMemory;
  }
}

LinkFactory cmdrLinkFactory(StreamTransportFactory makeSocket, CmdrRecordSink& sink, CmdrBatch batch) {
  return [makeSocket, &sink, batch](LinkList& owner, const ConnectionTarget& t, int slot) -> std::unique_ptr<Link> {
    return std::make_unique<CmdrLink>(owner, t, slot, makeSocket, sink, batch);
  };
}

}  // namespace lumarc
