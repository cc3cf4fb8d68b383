#include "lumarc/links/monitor_link.h"

#include "common/fault_seam.h"
#include "common/files.h"
#include "common/format.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/links/bracket_frame.h"

#include <ostream>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace lumarc {

namespace {
// A send call carries at most this many bytes.
constexpr size_t kSendPiece = 1024;
}  // namespace

std::string monitorFrameFileName(int slot) {
  return std::string("log") + logPrefix(LinkKind::Monitor) + corvane::dec2(uint32_t(slot)) + ".frm";
}

std::string monitorFrameLine(uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame) {
  std::string line = corvane::hex4(hpidx) + " " + corvane::hex2(ptyp) + " ";
  line.reserve(line.size() + 2 * frame.size());
  for (uint8_t b : frame) line += corvane::hex2(b);
  return line;
}

std::vector<std::string> monitorLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t p = text.find(char(0xFF), start);
    if (p == std::string::npos) break;
    lines.push_back(text.substr(start, p - start));
    start = p + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

MonitorLink::MonitorLink(LinkList& owner, const ConnectionTarget& target, int slot, MonitorLinkSetup setup)
    : Link(owner, LinkKind::Monitor, target, slot), setup_(std::move(setup)) {}

MonitorLink::~MonitorLink() { shutdown(); }

int MonitorLink::icon() const {
  switch (state_) {
    case MonitorState::Monitoring: return kIconConnected;
    case MonitorState::Failed: return kIconClosed;
    default: return kIconConnecting;
  }
}

std::string MonitorLink::tabLabel() const {
  std::string code = target_.accessCodeText();
  size_t first = code.find_first_not_of(' ');
  return target_.hostText() + "-" + (first == std::string::npos ? std::string() : code.substr(first));
}

unsigned MonitorLink::ticks() const {
  switch (state_) {
    case MonitorState::LoggingIn: return loginRetry_.count();
    case MonitorState::SendingAccessCode: return accessTimeout_.count();
    case MonitorState::Monitoring: return silenceTimeout_.count();
    case MonitorState::Failed: break;
  }
  return 0;
}

std::string MonitorLink::framePath() const { return corvane::joinPath(workDir(), monitorFrameFileName(slot_)); }

bool MonitorLink::open() {
  state_ = MonitorState::LoggingIn;
  loginRetry_.restart();
  socket_ = setup_.makeSocket ? setup_.makeSocket(*this) : nullptr;
  socketOpen_ = false;
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
  openFrameFile();
  return true;
}

void MonitorLink::openFrameFile() {
  closeFrameFile();
  std::string path = framePath();
  ::unlink(path.c_str());
  frames_.reset(std::fopen(path.c_str(), "wb"));
  if (!frames_) return;
  std::string header = "# " + path + " " + corvane::formatDateTime(owner_.env().now()) + " " + target_.hostText() +
                       ":" + std::to_string(port()) + "\n";
  // A header that does not fit is no frame lost; the first frame that does
  // not fit either is what the pane hears of.
  (void)writeFrameLine(header);
}

std::optional<std::string> MonitorLink::writeFrameLine(const std::string& line) {
  const std::string path = framePath();
  if (auto f = corvane::fault::hit(corvane::fault::Point::FileWrite, path))
    return f->message.empty() ? std::string(std::strerror(f->errnum)) : f->message;
  // A file that could not be made is tried again with every frame.
  if (!frames_) frames_.reset(std::fopen(path.c_str(), "ab"));
  if (!frames_) return std::string(std::strerror(errno));
  // Straight to the file, and all of the line or none of it, so the file
  // stays whole lines of the decode input form whatever the disk does.
  const int fd = ::fileno(frames_.get());
  const off_t end = ::lseek(fd, 0, SEEK_END);
  int err = end < 0 ? errno : 0;
  const char* p = line.data();
  size_t left = line.size();
  while (err == 0 && left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  if (err == 0) return std::nullopt;
  if (end >= 0) (void)::ftruncate(fd, end);
  return std::string(std::strerror(err));
}

void MonitorLink::noteLogWrite(LogFileHealth& health, const std::string& file,
                               const std::optional<std::string>& failure) {
  if (failure) {
    if (!health.failing) report(LinkMessage::LogFileNotWritable, file + ": " + *failure);
    health.failing = true;
    ++health.lost;
    return;
  }
  if (health.failing) report(LinkMessage::LogFileWritableAgain, file + ": " + std::to_string(health.lost));
  health = {};
}

void MonitorLink::closeFrameFile() { frames_.reset(); }

void MonitorLink::closeSocket() {
  if (socket_ && socketOpen_) socket_->close();
  socketOpen_ = false;
}

void MonitorLink::shutdown() {
  if (state_ == MonitorState::Monitoring && socketOpen_) sendPayload(monitorLogoutPayload());
  closeLog();
  closeFrameFile();
  closeSocket();
}

void MonitorLink::setState(MonitorState s) {
  if (state_ == s) return;
  state_ = s;
  iconChanged();
}

void MonitorLink::fail(LinkMessage message) {
  report(message);
  setState(MonitorState::Failed);
}

void MonitorLink::sendPayload(const std::string& payload) {
  if (!socketOpen_) return;
  std::string datagram = encodeBracketFrame(payload);
  for (size_t at = 0; at < datagram.size(); at += kSendPiece)
    socket_->send(std::string_view(datagram).substr(at, kSendPiece));
}

void MonitorLink::tick() {
  switch (state_) {
    case MonitorState::LoggingIn: {
      loginRetry_.tick();
      if (loginRetry_.atRoundTick(1) || loginRetry_.atRoundTick(11) || loginRetry_.atRoundTick(41)) {
        std::time_t now = owner_.env().now();
        std::tm local{};
        localtime_r(&now, &local);
        sendPayload(monitorLoginPayload(monitorTimeStamp(local), target_.passwordText()));
      }
      break;
    }
    case MonitorState::SendingAccessCode:
      accessRepeat_.tick();
      accessTimeout_.tick();
      if (accessRepeat_.atRoundTick(1)) sendPayload(monitorAccessPayload(target_.accessCodeText()));
      if (accessTimeout_.exceeded()) {
        loginRetry_.restart();
        setState(MonitorState::LoggingIn);
      }
      break;
    case MonitorState::Monitoring:
      pollRepeat_.tick();
      silenceTimeout_.tick();
      if (pollRepeat_.atRoundTick(1)) sendPayload(monitorPollPayload(hpidx_, hasLastSequence_ ? lastSequence_ : 0));
      if (silenceTimeout_.exceeded()) {
        loginRetry_.restart();
        setState(MonitorState::LoggingIn);
      }
      break;
    case MonitorState::Failed: break;
  }
}

void MonitorLink::onDatagram(const uint8_t* data, size_t size) {
  size = std::min(size, kMonitorReceiveBuffer);
  if (size == 0 || state_ == MonitorState::Failed) return;
  if (state_ == MonitorState::LoggingIn && size == 8) {
    if (isMonitorRefusal(data, size)) fail(LinkMessage::ExchangeRefusedConnection);
    return;
  }
  for (const std::string& payload : parseBracketDatagram(data, size)) {
    if (state_ == MonitorState::Failed) break;
    handlePayload(payload);
  }
}

void MonitorLink::handlePayload(const std::string& payload) {
  MonitorMessage m = parseMonitorPayload(payload);
  switch (state_) {
    case MonitorState::LoggingIn:
      if (m.kind == MonitorMessageKind::LoginAccepted) {
        accessRepeat_.restart();
        accessTimeout_.restart();
        setState(MonitorState::SendingAccessCode);
      }
      break;
    case MonitorState::SendingAccessCode:
      if (m.kind == MonitorMessageKind::AccessUnknown) {
        fail(LinkMessage::PortAccessCodeNotFound);
      } else if (m.kind == MonitorMessageKind::AccessAccepted) {
        hpidx_ = m.hpidx;
        pollRepeat_.restart();
        silenceTimeout_.restart();
        setState(MonitorState::Monitoring);
        connected();
      }
      break;
    case MonitorState::Monitoring:
      // An answer counts as the poll just sent: the next one goes 4 s later.
      if (m.kind == MonitorMessageKind::PollAnswer) {
        pollRepeat_.restart(1);
        silenceTimeout_.restart(1);
      } else if (m.kind == MonitorMessageKind::Record) {
        pollRepeat_.restart(1);
        silenceTimeout_.restart(1);
        handleRecord(m);
      }
      break;
    case MonitorState::Failed: break;
  }
}

void MonitorLink::handleRecord(const MonitorMessage& m) {
  if (m.hpidx != hpidx_) return;
  if (!hasLastSequence_ || m.sequence != lastSequence_) {
    hasLastSequence_ = true;
    lastSequence_ = m.sequence;
    try {
      MonitorRecord record = buildMonitorRecord(m.frame, m.hpidx, m.ptyp);
      DecodeOptions options = setup_.decodeOptions ? setup_.decodeOptions() : DecodeOptions{};
      std::string text = decodeMonitorRecord(record, options);
      // The log files are no record store: a frame they cannot take is
      // counted and shown, and the record is acknowledged all the same.
      noteLogWrite(frameHealth_, monitorFrameFileName(slot_),
                   writeFrameLine(monitorFrameLine(m.hpidx, m.ptyp, m.frame) + "\n"));
      if (setup_.recordArrived) {
        const MonitorRecordKept kept = setup_.recordArrived(*this, m.hpidx, m.ptyp, m.frame);
        noteLogWrite(observerHealth_, kept.file, kept.written ? std::nullopt : std::optional<std::string>(kept.cause));
      }
      for (const std::string& line : monitorLines(text)) {
        // Counted first, so the pane sees the count of this line already.
        if (hasLog()) ++loggedLines_;
        appendLine(line);
      }
    } catch (const std::bad_alloc&) {
      fail(LinkMessage::InsufficientMemory);
      return;
    }
  }
  sendPayload(monitorPollPayload(hpidx_, lastSequence_));
}

bool canMailMonitorLog(const LinkList& links, int slot) {
  auto* link = dynamic_cast<const MonitorLink*>(links.link(slot));
  return link && link->loggedLines() > 0;
}

MailOutcome mailMonitorLog(LinkList& links, int slot, ProcessRunner& runner) {
  auto* link = dynamic_cast<MonitorLink*>(links.link(slot));
  if (!link) return MailOutcome::Sent;
  std::string path = link->logPath();
  links.closeLink(slot);
  links.caption("");
  MailOutcome outcome = mailFile(path, "Monitor.txt", runner);
  if (std::optional<LinkMessage> message = mailOutcomeMessage(outcome)) links.caption(links.messageText(*message));
  return outcome;
}

LinkFactory monitorLinkFactory(MonitorLinkSetup setup) {
  return [setup](LinkList& owner, const ConnectionTarget& target, int slot) -> std::unique_ptr<Link> {
    return std::make_unique<MonitorLink>(owner, target, slot, setup);
  };
}

const char* monitorStateName(MonitorState s) {
  switch (s) {
    case MonitorState::LoggingIn: return "LoggingIn";
    case MonitorState::SendingAccessCode: return "SendingAccessCode";
    case MonitorState::Monitoring: return "Monitoring";
    case MonitorState::Failed: return "Failed";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, MonitorState s) { return os << monitorStateName(s); }

}  // namespace lumarc
