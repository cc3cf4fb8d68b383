#include "lumarc/links/voice_link.h"

#include "common/files.h"
#include "common/format.h"
#include "lumarc/app/texts.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace lumarc {
namespace {

void put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char(uint8_t(v >> (8 * i)));
}
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

std::string shortRequest(uint8_t code, uint32_t seq) {
  std::string s;
  put32(s, voiceIdentifier(code));
  put32(s, 0xFFFFFFFFu);
  put32(s, seq);
  s += char(0x41);
  return s;
}

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

bool isZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

std::string voiceListRequest(uint32_t seq) { return shortRequest(kVoiceChannelList, seq); }
std::string voiceFileQuery(uint32_t seq) { return shortRequest(kVoiceFileQuery, seq); }

std::string voiceBlockRequest(uint32_t fileKey, uint32_t seq, uint32_t dateWord, uint32_t block) {
  std::string s;
  put32(s, voiceIdentifier(kVoiceBlock));
  put32(s, fileKey);
  put32(s, seq);
  put32(s, dateWord);
  put32(s, block);
  return s;
}

std::string voiceFileDone(uint32_t fileKey, uint32_t seq, uint32_t dateWord) {
  std::string s;
  put32(s, voiceIdentifier(kVoiceFileDone));
  put32(s, fileKey);
  put32(s, seq);
  put32(s, dateWord);
  return s;
}

uint32_t voiceBlockCount(uint32_t size) { return size / kVoiceBlockSize + (size % kVoiceBlockSize ? 1 : 0); }

std::string voiceTempFileName(int slot, int channel) {
  return "tmp." + std::to_string(slot % 10) + corvane::dec3(uint32_t(channel));
}

void VoiceChannel::onDatagram(const uint8_t* data, size_t size) {
  if (link) link->handleDatagram(*this, data, size);
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
        report(kTextSocketCreationFault);
        return false;
      }
    }
  } catch (const std::bad_alloc&) {
    report(kTextInsufficientMemory);
    return false;
  }
  // The first writable event of every channel: state 1; channel 0 connects.
  for (auto& ch : channels_) enterState(ch, ChannelState::Writable);
  VoiceChannel& ch0 = channels_[0];
  OpenResult r = ch0.socket->open(resolverHost(target_), port());
  if (r.status != OpenResult::Status::Ok) {
    report(r.status == OpenResult::Status::CreateFailed ? kTextSocketCreationFault : kTextSocketOpeningFault);
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

void VoiceLink::fail(int textId) {
  report(textId);
  setState(VoiceLinkState::Failed);
}

void VoiceLink::setLabel(const std::string& label) {
  if (label == label_) return;
  label_ = label;
  if (setup_.labelChanged) setup_.labelChanged(slot_, label_);
}

void VoiceLink::enterState(VoiceChannel& ch, ChannelState s) {
  ch.state = s;
  ch.t = 0;
  if (s == ChannelState::Connected) ch.r = 0;
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
  ++ch.t;
  switch (ch.state) {
    case ChannelState::Created:
    case ChannelState::Connecting:
      if (ch.t > 50) {
        ch.state = ChannelState::Failed;
        if (ch.number == 0) fail(kTextSocketConnectionFault);
      }
      return;
    case ChannelState::Writable:
    case ChannelState::Failed:
      return;
    case ChannelState::Connected:
      if (ch.t % 100 == 1) {
        ++ch.r;
        if (ch.number == 0 && ch.r < 4) sendListRequest(ch);
        else sendFileQuery(ch);
        if (ch.number == 0 && ch.r > 6) fail(kTextSocketConnectionFault);
      }
      return;
    case ChannelState::Answered:
      break;
  }

  if (ch.number == 0 && ch.listFlag == 1) {
    ch.listFlag = 2;
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
    if (ch.t > 1099) {
      // 110 s without an answer: an incomplete download is dropped (the
      // next offer starts it again); a complete one is already in place
      // and listed.
      if (!ch.complete) {
        closeTemp(ch);
        ::unlink(tempPath(ch.number).c_str());
      }
      clearTransfer(ch);
      ch.t = 0;
      setLabel(target_.hostText());
    } else if (ch.t % 100 == 99) {
      if (ch.complete) {
        sendFileDone(ch);
      } else {
        sendBlockRequest(ch);
        setLabel(target_.hostText() + " " + std::to_string(ch.t / 100));
      }
    }
    return;
  }
  if (ch.t > 599 && ch.t % 200 == 2) sendFileQuery(ch);
  if (ch.number == 0 && ch.t > 1199) {
    report(kTextSocketCreationFault);
    ch.t = 0;
    setState(VoiceLinkState::Failed);
  }
}

void VoiceLink::handleDatagram(VoiceChannel& ch, const uint8_t* d, size_t len) {
  if (!ch.socketOpen) return;
  if (len > kVoiceReceiveBuffer) len = kVoiceReceiveBuffer;
  if (len < 12 || !ch.expecting || le32(d) != ch.expected) return;
  if (uint32_t(le32(d + 8) + 1) != ch.sequence) return;
  ch.expecting = false;
  if (state_ == VoiceLinkState::Starting && ch.number == 0) {
    setState(VoiceLinkState::Connected);
    connected();
  }
  if (state_ != VoiceLinkState::Connected) return;
  ch.t = 0;
  ch.state = ChannelState::Answered;
  try {
    switch (d[3]) {
      case kVoiceChannelList: handleChannelList(ch, d, len); break;
      case kVoiceFileQuery: handleOffer(ch, d, len); break;
      case kVoiceBlock: handleBlock(ch, d, len); break;
      case kVoiceFileDone: handleDone(ch); break;
      default: break;
    }
  } catch (const std::bad_alloc&) {
    fail(kTextInsufficientMemory);
  }
}

void VoiceLink::handleChannelList(VoiceChannel& ch, const uint8_t* d, size_t len) {
  const size_t entry = ipv6_ ? 18 : 6;
  if (len >= 14) {
    const size_t n = le16(d + 12);
    const size_t k = n / entry;
    if (14 + n <= len && n % entry == 0 && k >= 1 && k <= 31) {
      const uint8_t* e = d + 14;
      for (size_t i = 0; i < k; ++i, e += entry) {
        VoiceChannel& target = channels_[i];
        std::memset(target.targetAddress, 0, 16);
        if (ipv6_) {
          std::memcpy(target.targetAddress, e, 16);
          target.targetPort = le16(e + 16);
        } else {
          uint32_t v = le32(e);
          std::memcpy(target.targetAddress, &v, 4);
          target.targetPort = le16(e + 4);
        }
      }
      // The exchange may announce addresses the program cannot reach (behind
      // a translating router): the further channels use the address the
      // program reached channel 0 on.
      const bool sameAsConnected = std::memcmp(channels_[0].targetAddress, address_, 4) == 0;
      for (size_t i = 1; i < k; ++i) {
        if (ipv6_) std::memcpy(channels_[i].targetAddress, address_, 8);
        else if (!sameAsConnected) std::memcpy(channels_[i].targetAddress, address_, 4);
      }
    }
  }
  ch.listFlag = 1;
}

void VoiceLink::handleOffer(VoiceChannel& ch, const uint8_t* d, size_t len) {
  if (len != 12 + 76 || le32(d + 4) != 0xFFFFFFFFu) return;
  const uint32_t key = le32(d + 16);
  if (key == kVoiceNoFile) return;
  uint8_t desc[corvane::kVoiceDescriptionSize];
  std::memcpy(desc, d + 12, sizeof desc);
  VoiceRecord row = corvane::voiceRecordFromDescription(desc, wavDir(), exchangeIpv4());
  const uint32_t size = le32(d + 20);
  if (size == 0) return;
  closeTemp(ch);
  ch.record = std::move(row);
  ch.dateWord = le32(d + 12);
  ch.fileKey = key;
  ch.size = size;
  ch.blocksReceived = 0;
  ch.blocksTotal = voiceBlockCount(size);
  ch.complete = false;
  ch.temp = std::fopen(tempPath(ch.number).c_str(), "w+b");
  if (!ch.temp) {
    clearTransfer(ch);
    fail(kTextSocketCreationFault);
    return;
  }
  sendBlockRequest(ch);
}

void VoiceLink::handleBlock(VoiceChannel& ch, const uint8_t* d, size_t len) {
  if (len > 12 + kVoiceBlockSize || le32(d + 4) != ch.fileKey || ch.size == 0 || !ch.temp) return;
  const size_t n = len - 12;
  const bool last = ch.blocksReceived + 1 >= ch.blocksTotal;
  if (n == kVoiceBlockSize || (n > 0 && last)) {
    if (std::fwrite(d + 12, 1, n, ch.temp) != n) {
      ch.t = 0;
      fail(kTextSocketCreationFault);
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
  std::FILE* f = ch.temp;
  ch.temp = nullptr;
  bool ok = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
  ok = std::fclose(f) == 0 && ok;
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
    ch.t = 0;
    fail(kTextSocketCreationFault);
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

void VoiceLink::closeTemp(VoiceChannel& ch) {
  if (ch.temp) std::fclose(ch.temp);
  ch.temp = nullptr;
}

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

}  // namespace lumarc
