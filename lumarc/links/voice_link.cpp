#include "lumarc/links/voice_link.h"

#include "common/byte_io.h"
#include "common/files.h"
#include "common/format.h"

#include <arpa/inet.h>
#include <ostream>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace lumarc {
namespace {

using corvane::ByteReader;
static_assert(voicemsg::kOfferSize == voicemsg::kOfferDescription + corvane::kVoiceDescriptionSize);

// True when both files exist and hold the same bytes.
bool sameContent(const std::string& a, const std::string& b) {
  std::FILE* fa = std::fopen(a.c_str(), "rb");
  std::FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa && fb;
  char ba[8192], bb[8192];
  while (same) {
    size_t na = std::fread(ba, 1, sizeof ba, fa);
    size_t nb = std::fread(bb, 1, sizeof bb, fb);
    if (na != nb || std::memcmp(ba, bb, na) != 0) same = false;
    if (na == 0 || na < sizeof ba) break;
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  return same;
}

// "<file>: <cause>", the detail of an unwritable recording.
std::string fileFault(const std::string& path, int err) { return path + ": " + std::strerror(err ? err : EIO); }

bool isZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

std::string voiceTempFileName(int slot, int channel) {
  return "tmp." + std::to_string(slot % 10) + corvane::dec3(uint32_t(channel));
}

void VoiceChannel::onDatagram(const uint8_t* data, size_t size) {
  if (link) link->handleDatagram(*this, data, size);
}

unsigned VoiceChannel::ticks() const {
  switch (state) {
    case ChannelState::Created:
    case ChannelState::Connecting: return connectTimeout.count();
    case ChannelState::Connected: return requestRepeat.count();
    case ChannelState::Answered: return abandon.count();
    case ChannelState::Writable:
    case ChannelState::Failed: break;
  }
  return 0;
}

void VoiceChannel::restartAnswerTimers() {
  transferResend.restart();
  abandon.restart();
  quiet.restart();
  quietQuery.restart();
  giveUp.restart();
}

VoiceLink::VoiceLink(LinkList& owner, const ConnectionTarget& target, int slot, VoiceLinkSetup setup)
    : Link(owner, LinkKind::Voice, target, slot), setup_(std::move(setup)), label_(target.hostText()) {
  for (int c = 0; c < kVoiceChannels; ++c) {
    channels_[size_t(c)].link = this;
    channels_[size_t(c)].number = c;
  }
}

VoiceLink::~VoiceLink() { shutdown(); }

int VoiceLink::icon() const {
  switch (state_) {
    case VoiceLinkState::Starting: return kIconConnecting;
    case VoiceLinkState::Connected: return kIconConnected;
    default: return kIconClosed;
  }
}

uint32_t VoiceLink::exchangeIpv4() const {
  if (ipv6_) return 0;
  uint32_t v;
  std::memcpy(&v, address_, 4);
  return v;
}

std::string VoiceLink::wavDir() const { return corvane::joinPath(workDir(), corvane::kVoiceFolder); }

std::string VoiceLink::tempPath(int channel) const {
  return corvane::joinPath(wavDir(), voiceTempFileName(slot_, channel));
}

bool VoiceLink::open() {
  try {
    for (auto& ch : channels_) {
      ch.socket = setup_.makeSocket ? setup_.makeSocket(ch) : nullptr;
      if (!ch.socket) {
        report(LinkMessage::SocketCreationFault);
        return false;
      }
    }
  } catch (const std::bad_alloc&) {
    report(LinkMessage::InsufficientMemory);
    return false;
  }
  // Every channel's socket becomes writable; channel 0 connects.
  for (auto& ch : channels_) enterState(ch, ChannelState::Writable);
  VoiceChannel& ch0 = channels_[0];
  OpenResult r = ch0.socket->open(resolverHost(target_), port());
  if (r.status != OpenResult::Status::Ok) {
    report(r.status == OpenResult::Status::CreateFailed ? LinkMessage::SocketCreationFault
                                                        : LinkMessage::SocketOpeningFault);
    ch0.socket->close();
    return false;
  }
  ch0.socketOpen = true;
  ipv6_ = r.ipv6;
  std::memcpy(address_, r.address, sizeof address_);
  enterState(ch0, ChannelState::Connected);
  corvane::ensureDirectory(wavDir());
  openLog();
  return true;
}

void VoiceLink::shutdown() {
  for (auto& ch : channels_) {
    if (ch.socket && ch.socketOpen) ch.socket->close();
    ch.socketOpen = false;
    // A download in progress leaves its temporary file behind.
    closeTemp(ch);
  }
  closeLog();
}

void VoiceLink::setState(VoiceLinkState s) {
  if (state_ == s) return;
  state_ = s;
  iconChanged();
}

void VoiceLink::fail(LinkMessage message, const std::string& detail) {
  report(message, detail);
  setState(VoiceLinkState::Failed);
}

void VoiceLink::setLabel(const std::string& label) {
  if (label == label_) return;
  label_ = label;
  if (setup_.labelChanged) setup_.labelChanged(slot_, label_);
}

void VoiceLink::enterState(VoiceChannel& ch, ChannelState s) {
  ch.state = s;
  ch.connectTimeout.restart();
  ch.requestRepeat.restart();
  if (s == ChannelState::Connected) ch.requestsSent = 0;
}

void VoiceLink::send(VoiceChannel& ch, uint8_t code, const std::string& bytes) {
  ch.expecting = true;
  ch.expected = voiceIdentifier(code);
  ++ch.sequence;
  // A lost datagram is no different from a lost reply: the timers resend.
  if (ch.socketOpen) ch.socket->send(bytes);
}

void VoiceLink::sendListRequest(VoiceChannel& ch) { send(ch, kVoiceChannelList, voiceListRequest(ch.sequence)); }
void VoiceLink::sendFileQuery(VoiceChannel& ch) { send(ch, kVoiceFileQuery, voiceFileQuery(ch.sequence)); }
void VoiceLink::sendBlockRequest(VoiceChannel& ch) {
  send(ch, kVoiceBlock, voiceBlockRequest(ch.fileKey, ch.sequence, ch.dateWord, ch.blocksReceived));
}
void VoiceLink::sendFileDone(VoiceChannel& ch) {
  send(ch, kVoiceFileDone, voiceFileDone(ch.fileKey, ch.sequence, ch.dateWord));
}

bool VoiceLink::connectChannel(VoiceChannel& ch) {
  char text[INET6_ADDRSTRLEN] = {};
  if (ipv6_) {
    if (!inet_ntop(AF_INET6, ch.targetAddress, text, sizeof text)) return false;
  } else {
    uint32_t v;
    std::memcpy(&v, ch.targetAddress, 4);
    std::string s = corvane::ipv4Text(v);
    std::memcpy(text, s.c_str(), s.size() + 1);
  }
  OpenResult r = ch.socket->open(text, ch.targetPort);
  if (r.status != OpenResult::Status::Ok) return false;
  ch.socketOpen = true;
  return true;
}

void VoiceLink::tick() {
  if (state_ != VoiceLinkState::Starting && state_ != VoiceLinkState::Connected) return;
  for (auto& ch : channels_) {
    channelTick(ch);
    if (state_ == VoiceLinkState::Failed) return;
  }
}

void VoiceLink::channelTick(VoiceChannel& ch) {
  switch (ch.state) {
    case ChannelState::Created:
    case ChannelState::Connecting:
      ch.connectTimeout.tick();
      if (ch.connectTimeout.exceeded()) {
        ch.state = ChannelState::Failed;
        if (ch.number == 0) fail(LinkMessage::SocketConnectionFault);
      }
      return;
    case ChannelState::Writable:
    case ChannelState::Failed: return;
    case ChannelState::Connected:
      ch.requestRepeat.tick();
      if (ch.requestRepeat.atRoundTick(1)) {
        ++ch.requestsSent;
        if (ch.number == 0 && ch.requestsSent < 4)
          sendListRequest(ch);
        else
          sendFileQuery(ch);
        if (ch.number == 0 && ch.requestsSent > 6) fail(LinkMessage::SocketConnectionFault);
      }
      return;
    case ChannelState::Answered:
      ch.transferResend.tick();
      ch.abandon.tick();
      ch.quiet.tick();
      ch.quietQuery.tick();
      ch.giveUp.tick();
      break;
  }

  if (ch.number == 0 && ch.channelList == ChannelListStep::Received) {
    ch.channelList = ChannelListStep::Applied;
    sendFileQuery(ch);
    for (int c = 1; c < kVoiceChannels; ++c) {
      VoiceChannel& other = channels_[size_t(c)];
      if (other.state != ChannelState::Writable || isZero(other.targetAddress, 16) || other.targetPort == 0) continue;
      enterState(other, ChannelState::Connecting);
      if (connectChannel(other)) enterState(other, ChannelState::Connected);
    }
    return;
  }
  if (ch.size != 0) {
    if (ch.abandon.expired()) {
      // 110 s without an answer: an incomplete download is dropped (the
      // next offer starts it again); a complete one is already in place
      // and listed.
      if (!ch.complete) {
        closeTemp(ch);
        ::unlink(tempPath(ch.number).c_str());
      }
      clearTransfer(ch);
      ch.restartAnswerTimers();
      setLabel(target_.hostText());
    } else if (ch.transferResend.atRoundTick(99)) {
      if (ch.complete) {
        sendFileDone(ch);
      } else {
        sendBlockRequest(ch);
        // The label counts the rounds waited so far.
        setLabel(target_.hostText() + " " + std::to_string(ch.transferResend.count() / ch.transferResend.limit()));
      }
    }
    return;
  }
  if (ch.quiet.expired() && ch.quietQuery.atRoundTick(2)) sendFileQuery(ch);
  if (ch.number == 0 && ch.giveUp.expired()) {
    report(LinkMessage::ExchangeStoppedAnswering);
    ch.restartAnswerTimers();
    setState(VoiceLinkState::Failed);
  }
}

void VoiceLink::handleDatagram(VoiceChannel& ch, const uint8_t* d, size_t len) {
  if (!ch.socketOpen) return;
  if (len > kVoiceReceiveBuffer) len = kVoiceReceiveBuffer;
  const ByteReader in(d, len);
  if (len < voicemsg::kHeadSize || !ch.expecting || in.le32(voicemsg::kIdentifier) != ch.expected) return;
  if (uint32_t(in.le32(voicemsg::kSequence) + 1) != ch.sequence) return;
  ch.expecting = false;
  if (state_ == VoiceLinkState::Starting && ch.number == 0) {
    setState(VoiceLinkState::Connected);
    connected();
  }
  if (state_ != VoiceLinkState::Connected) return;
  ch.restartAnswerTimers();
  ch.state = ChannelState::Answered;
  try {
    switch (in.u8(voicemsg::kCode)) {
      case kVoiceChannelList: handleChannelList(ch, d, len); break;
      case kVoiceFileQuery: handleOffer(ch, d, len); break;
      case kVoiceBlock: handleBlock(ch, d, len); break;
      case kVoiceFileDone: handleDone(ch); break;
      default: break;
    }
  } catch (const std::bad_alloc&) {
    fail(LinkMessage::InsufficientMemory);
  }
}

void VoiceLink::handleChannelList(VoiceChannel& ch, const uint8_t* d, size_t len) {
  const ByteReader in(d, len);
  const size_t entry = ipv6_ ? voicemsg::kIpv6EntrySize : voicemsg::kIpv4EntrySize;
  if (in.has(voicemsg::kListLength, 2)) {
    const size_t n = in.le16(voicemsg::kListLength);
    const size_t k = n / entry;
    if (in.has(voicemsg::kListEntries, n) && n % entry == 0 && k >= 1 && k <= 31) {
      for (size_t i = 0; i < k; ++i) {
        const ByteReader e = in.sub(voicemsg::kListEntries + i * entry, entry);
        VoiceChannel& target = channels_[i];
        std::memset(target.targetAddress, 0, 16);
        if (ipv6_) {
          e.copy(0, target.targetAddress, 16);
          target.targetPort = e.le16(16);
        } else {
          uint32_t v = e.le32(0);
          std::memcpy(target.targetAddress, &v, 4);
          target.targetPort = e.le16(4);
        }
      }
      // The exchange may announce addresses the program cannot reach (behind
      // a translating router): the further channels use the address the
      // program reached channel 0 on.
      const bool sameAsConnected = std::memcmp(channels_[0].targetAddress, address_, 4) == 0;
      for (size_t i = 1; i < k; ++i) {
        if (ipv6_)
          std::memcpy(channels_[i].targetAddress, address_, 8);
        else if (!sameAsConnected)
          std::memcpy(channels_[i].targetAddress, address_, 4);
      }
    }
  }
  ch.channelList = ChannelListStep::Received;
}

void VoiceLink::handleOffer(VoiceChannel& ch, const uint8_t* d, size_t len) {
  using namespace voicemsg;
  const ByteReader in(d, len);
  if (len != kOfferSize || in.le32(kFileKey) != kVoiceNoFile) return;
  const ByteReader description = in.sub(kOfferDescription, corvane::kVoiceDescriptionSize);
  const uint32_t key = description.le32(corvane::voicedesc::kPort);
  if (key == kVoiceNoFile) return;
  uint8_t desc[corvane::kVoiceDescriptionSize];
  description.copy(0, desc, sizeof desc);
  VoiceRecord row = corvane::voiceRecordFromDescription(desc, wavDir(), exchangeIpv4());
  const uint32_t size = description.le32(corvane::voicedesc::kSize);
  if (size == 0) return;
  closeTemp(ch);
  ch.record = std::move(row);
  ch.dateWord = description.le32(corvane::voicedesc::kDateWord);
  ch.fileKey = key;
  ch.size = size;
  ch.blocksReceived = 0;
  ch.blocksTotal = voiceBlockCount(size);
  ch.complete = false;
  ch.temp.reset(std::fopen(tempPath(ch.number).c_str(), "w+b"));
  if (!ch.temp) {
    const int err = errno;
    clearTransfer(ch);
    fail(LinkMessage::RecordingNotWritable, fileFault(tempPath(ch.number), err));
    return;
  }
  sendBlockRequest(ch);
}

void VoiceLink::handleBlock(VoiceChannel& ch, const uint8_t* d, size_t len) {
  const ByteReader in(d, len);
  if (len > voicemsg::kBlockData + kVoiceBlockSize || in.le32(voicemsg::kFileKey) != ch.fileKey || ch.size == 0 ||
      !ch.temp)
    return;
  const size_t n = len - voicemsg::kBlockData;
  const bool last = ch.blocksReceived + 1 >= ch.blocksTotal;
  if (n == kVoiceBlockSize || (n > 0 && last)) {
    if (std::fwrite(in.bytes(voicemsg::kBlockData, n).data(), 1, n, ch.temp.get()) != n) {
      const int err = errno;
      ch.restartAnswerTimers();
      fail(LinkMessage::RecordingNotWritable, fileFault(tempPath(ch.number), err));
      return;
    }
    ++ch.blocksReceived;
    if (ch.blocksReceived < ch.blocksTotal) {
      sendBlockRequest(ch);
      return;
    }
  }
  // The last block, an empty one, or a short one before the last: the file
  // ends here.
  finishFile(ch);
}

void VoiceLink::finishFile(VoiceChannel& ch) {
  // Closed by hand: a failing close means the recording is not whole.
  std::FILE* f = ch.temp.release();
  int err = 0;
  if (std::fflush(f) != 0 || ::fsync(fileno(f)) != 0) err = errno ? errno : EIO;
  if (std::fclose(f) != 0 && err == 0) err = errno ? errno : EIO;
  const bool ok = err == 0;
  const std::string temp = tempPath(ch.number);
  // A file of the same name is replaced only by the same recording (sent
  // again because its confirmation was lost); a different recording that
  // happens to get the same name is stored beside it with "_1", "_2", ...
  if (ok && ::access((ch.record.rcdfn + "." + ch.record.rcdfx).c_str(), F_OK) == 0 &&
      !sameContent(temp, ch.record.rcdfn + "." + ch.record.rcdfx)) {
    const std::string base = ch.record.rcdfn;
    for (int n = 1; ::access((ch.record.rcdfn + "." + ch.record.rcdfx).c_str(), F_OK) == 0; ++n)
      ch.record.rcdfn = base + "_" + std::to_string(n);
  }
  const std::string final = ch.record.rcdfn + "." + ch.record.rcdfx;
  if (!ok || std::rename(temp.c_str(), final.c_str()) != 0) {
    // Without its file in place the exchange must keep the recording: no
    // "done" is sent.
    const std::string detail = ok ? fileFault(final, errno) : fileFault(temp, err);
    ch.restartAnswerTimers();
    fail(LinkMessage::RecordingNotWritable, detail);
    return;
  }
  // The recording is listed before the exchange may forget it: a crash
  // after "done" must not leave a whole file that has no row. A row that
  // cannot be stored is reported, and "done" is sent all the same (the file
  // is whole in place).
  ch.complete = true;
  storeRecording(ch);
  sendFileDone(ch);
}

void VoiceLink::handleDone(VoiceChannel& ch) {
  setLabel(target_.hostText());
  clearTransfer(ch);
  sendFileQuery(ch);
}

void VoiceLink::storeRecording(VoiceChannel& ch) {
  appendLine(ch.record.rcdfn + "." + ch.record.rcdfx);
  ++filesDone_;
  if (!setup_.sink) return;
  VoiceStoreOutcome out = setup_.sink->storeVoiceRecord(ch.record);
  if (!out.error.empty()) reportText(out.error);
}

void VoiceLink::closeTemp(VoiceChannel& ch) { ch.temp.reset(); }

void VoiceLink::clearTransfer(VoiceChannel& ch) {
  closeTemp(ch);
  ch.dateWord = 0;
  ch.fileKey = 0;
  ch.size = 0;
  ch.blocksReceived = 0;
  ch.blocksTotal = 0;
  ch.complete = false;
  ch.record = VoiceRecord{};
}

LinkFactory voiceLinkFactory(VoiceLinkSetup setup) {
  return [setup](LinkList& owner, const ConnectionTarget& t, int slot) -> std::unique_ptr<Link> {
    return std::make_unique<VoiceLink>(owner, t, slot, setup);
  };
}

const char* voiceLinkStateName(VoiceLinkState s) {
  switch (s) {
    case VoiceLinkState::Starting: return "Starting";
    case VoiceLinkState::Connected: return "Connected";
    case VoiceLinkState::Failed: return "Failed";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, VoiceLinkState s) { return os << voiceLinkStateName(s); }

const char* channelStateName(ChannelState s) {
  switch (s) {
    case ChannelState::Created: return "Created";
    case ChannelState::Writable: return "Writable";
    case ChannelState::Connecting: return "Connecting";
    case ChannelState::Connected: return "Connected";
    case ChannelState::Answered: return "Answered";
    case ChannelState::Failed: return "Failed";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, ChannelState s) { return os << channelStateName(s); }

const char* channelListStepName(ChannelListStep s) {
  switch (s) {
    case ChannelListStep::Awaited: return "Awaited";
    case ChannelListStep::Received: return "Received";
    case ChannelListStep::Applied: return "Applied";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, ChannelListStep s) { return os << channelListStepName(s); }

}  // namespace lumarc
