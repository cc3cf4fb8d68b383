#include "lumarc/discovery/discovery.h"

#include "common/byte_io.h"
#include "lumarc/discovery/wizard_analysis.h"
#include "lumarc/discovery/wizard_commands.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <ctime>
#include <ostream>

namespace lumarc {

using corvane::ByteReader;
using corvane::ByteWriter;

std::array<uint8_t, 6> macFromWire(const uint8_t* wire) {
  // Octets 1-4 are a little-endian word with octet 1 most significant,
  // octets 5-6 a little-endian half-word with octet 5 most significant.
  return {wire[3], wire[2], wire[1], wire[0], wire[5], wire[4]};
}

void macToWire(const std::array<uint8_t, 6>& mac, uint8_t* wire) {
  wire[0] = mac[3];
  wire[1] = mac[2];
  wire[2] = mac[1];
  wire[3] = mac[0];
  wire[4] = mac[5];
  wire[5] = mac[4];
}

std::optional<ExchangeEntry> decodeDiscoveryReply(const uint8_t* data, size_t size) {
  ByteReader r(data, size);
  if (size < dscv::kMinReply || r.u8(dscv::kCode) != 0) return std::nullopt;
  ExchangeEntry e;
  e.id.ip = r.le32(dscv::kSourceIp);
  e.id.mac = macFromWire(data + dscv::kSourceMac);
  e.reserved = r.u8(dscv::kReserved);
  r.copy(dscv::kPlatform, e.platform.data(), e.platform.size());
  e.webPort = r.le16(dscv::kWebPort);
  e.mask = r.le32(dscv::kMask);
  e.gateway = r.le32(dscv::kGateway);
  e.flags = r.u8(dscv::kFlags);
  r.copy(dscv::kVersion, e.version.data(), e.version.size());
  // A reply of 73 to 76 bytes carries only part of the name; the rest stays 0.
  for (size_t i = 0; i < e.name.size() && dscv::kName + i < size; ++i) e.name[i] = data[dscv::kName + i];
  if (size >= dscv::kXidReply)
    for (size_t i = 0; i < 4; ++i) e.xid[i] = r.le32(dscv::kXid + 4 * i);
  if (size >= dscv::kDhcpReply) {
    e.dhcpIp = r.le32(dscv::kDhcp);
    e.dhcpMask = r.le32(dscv::kDhcp + 4);
    e.dhcpGateway = r.le32(dscv::kDhcp + 8);
    e.dhcpServer = r.le32(dscv::kDhcp + 12);
    e.dhcpDns = r.le32(dscv::kDhcp + 16);
  }
  if (size >= dscv::kFullReply) r.copy(dscv::kIpv6, e.ipv6.data(), e.ipv6.size());
  return e;
}

std::string buildDiscover(uint32_t adapter) {
  std::string d(dscv::kHeaderSize, '\xFF');
  ByteWriter w(d);
  w.put8(dscv::kCode, dscv::kDiscover);
  w.putLe32(dscv::kSourceIp, adapter);
  return d;
}

std::string buildDiscoveryReply(const ExchangeEntry& e, uint32_t adapter, uint32_t sequence, size_t length) {
  assert(length >= dscv::kHeaderSize);
  std::string full(std::max(length, dscv::kFullReply), '\0');
  ByteWriter w(full);
  w.put8(dscv::kCode, 0);
  w.putLe32(dscv::kSourceIp, e.id.ip);
  macToWire(e.id.mac, reinterpret_cast<uint8_t*>(full.data()) + dscv::kSourceMac);
  w.putLe32(dscv::kDestIp, adapter);
  w.putLe32(dscv::kSequence, sequence);
  w.put8(dscv::kReserved, e.reserved);
  w.putBytes(dscv::kPlatform, e.platform);
  w.putLe16(dscv::kWebPort, e.webPort);
  w.putLe32(dscv::kMask, e.mask);
  w.putLe32(dscv::kGateway, e.gateway);
  w.put8(dscv::kFlags, e.flags);
  w.putBytes(dscv::kVersion, e.version);
  w.putBytes(dscv::kName, e.name);
  for (size_t i = 0; i < 4; ++i) w.putLe32(dscv::kXid + 4 * i, e.xid[i]);
  const uint32_t dhcp[5] = {e.dhcpIp, e.dhcpMask, e.dhcpGateway, e.dhcpServer, e.dhcpDns};
  for (size_t i = 0; i < 5; ++i) w.putLe32(dscv::kDhcp + 4 * i, dhcp[i]);
  w.putBytes(dscv::kIpv6, e.ipv6);
  full.resize(length);
  return full;
}

std::string buildWizardCommand(uint8_t command, uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence,
                               size_t payloadSize) {
  std::string d(dscv::kHeaderSize + payloadSize, '\0');
  ByteWriter w(d);
  w.put8(dscv::kCode, command);
  w.putLe32(dscv::kSourceIp, adapter);
  w.fill(dscv::kSourceMac, 6, 0xFF);
  w.putLe32(dscv::kDestIp, to.ip);
  macToWire(to.mac, reinterpret_cast<uint8_t*>(d.data()) + dscv::kDestMac);
  w.putLe32(dscv::kSequence, sequence);
  return d;
}

std::string buildWizardReply(uint8_t command, const ExchangeIdentity& from, uint32_t adapter, uint32_t sequence,
                             std::string_view text) {
  std::string d(dscv::kHeaderSize, '\0');
  ByteWriter w(d);
  w.put8(dscv::kCode, uint8_t(command - 128));
  w.putLe32(dscv::kSourceIp, from.ip);
  macToWire(from.mac, reinterpret_cast<uint8_t*>(d.data()) + dscv::kSourceMac);
  w.putLe32(dscv::kDestIp, adapter);
  w.putLe32(dscv::kSequence, sequence);
  d += text;
  return d;
}

std::string dottedIp(uint32_t ip) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
  return buf;
}

std::optional<uint32_t> parseDottedIp(std::string_view text) {
  uint32_t ip = 0;
  size_t pos = 0;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    size_t digits = 0;
    unsigned v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
      v = v * 10 + unsigned(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || v > 255) return std::nullopt;
    ip = ip << 8 | v;
  }
  if (pos != text.size()) return std::nullopt;
  return ip;
}

std::string ipv6Text(const std::array<uint8_t, 16>& a) {
  if (std::all_of(a.begin(), a.end(), [](uint8_t b) { return b == 0; })) return {};
  if (std::all_of(a.begin() + 4, a.end(), [](uint8_t b) { return b == 0; })) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return buf;
  }
  uint16_t g[8];
  for (int i = 0; i < 8; ++i) g[i] = uint16_t(a[2 * i] << 8 | a[2 * i + 1]);
  // The first run of zero groups, even a single group, becomes "::".
  int runStart = -1, runEnd = -1;
  for (int i = 0; i < 8; ++i) {
    if (g[i] == 0) {
      runStart = i;
      runEnd = i;
      while (runEnd + 1 < 8 && g[runEnd + 1] == 0) ++runEnd;
      break;
    }
  }
  std::string out;
  char buf[8];
  for (int i = 0; i < 8; ++i) {
    if (i == runStart) {
      out += "::";
      i = runEnd;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    std::snprintf(buf, sizeof buf, "%x", g[i]);
    out += buf;
  }
  return out;
}

namespace {

void padTo(std::string& s, size_t start, size_t width) {
  if (s.size() < start + width) s.append(start + width - s.size(), ' ');
}

// A fixed text field: control bytes and 0x7F show as blanks, the width stays.
template <size_t N>
void appendText(std::string& s, const std::array<uint8_t, N>& field) {
  for (uint8_t b : field) s += (b < 0x20 || b == 0x7F) ? ' ' : char(b);
}

void appendIp(std::string& s, uint32_t ip) {
  const size_t start = s.size();
  s += dottedIp(ip);
  padTo(s, start, 15);
}

bool isPrivate(uint32_t ip) {
  return (ip >> 24) == 10 || (ip >> 20) == ((172u << 4) | 1) || (ip >> 16) == ((192u << 8) | 168);
}

}  // namespace

std::string exchangeLine(const ExchangeEntry& e, const DiscoveryTexts& texts) {
  std::string s;
  char buf[40];
  const auto& m = e.id.mac;
  std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
  s += buf;
  s += ' ';
  appendIp(s, e.id.ip);
  s += ' ';
  // The full port: a 5-digit port moves the rest of the line one column.
  size_t start = s.size();
  s += std::to_string(e.webPort);
  padTo(s, start, 4);
  s += ' ';
  appendText(s, e.platform);
  s += ' ';
  appendIp(s, e.mask);
  s += ' ';
  appendIp(s, e.gateway);
  s += ' ';
  s += (e.flags & dscv::kFlagWizard) ? texts.enabled : texts.disabled;
  appendText(s, e.version);
  s += ' ';
  appendText(s, e.name);
  if (e.xid[0] | e.xid[1] | e.xid[2] | e.xid[3]) {
    s += ' ';
    std::snprintf(buf, sizeof buf, "%08X%08X%08X%08X", e.xid[3], e.xid[2], e.xid[1], e.xid[0]);
    s += buf;
    const uint32_t dhcp[5] = {e.dhcpIp, e.dhcpMask, e.dhcpGateway, e.dhcpServer, e.dhcpDns};
    if (std::find(std::begin(dhcp), std::end(dhcp), 0u) != std::end(dhcp)) {
      s.append(80, ' ');
    } else {
      for (uint32_t v : dhcp) {
        s += ' ';
        appendIp(s, v);
      }
    }
    const std::string v6 = ipv6Text(e.ipv6);
    if (!v6.empty()) {
      s += ' ';
      s += v6;
    }
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string expertPageAddress(const ExchangeEntry& e) {
  return "http://" + dottedIp(e.id.ip) + ":" + std::to_string(e.webPort) + "/xp.asp";
}

std::string easyPageAddress(const ExchangeEntry& e) { return expertPageAddress(e) + "?fn_65"; }

const char* statusText(ExchangeStatus s) {
  switch (s) {
    case ExchangeStatus::None: return "";
    case ExchangeStatus::Unaccessible: return "Unaccessible";
    case ExchangeStatus::MulticastIp: return "Multicast IP";
    case ExchangeStatus::IpConflict: return "IP conflict";
    case ExchangeStatus::PublicIp: return "Public IP";
  }
  return "";
}

uint32_t chooseAdapter(const std::vector<uint32_t>& eligible, uint32_t stored) {
  if (eligible.empty()) return 0;
  if (stored != 0 && std::find(eligible.begin(), eligible.end(), stored) != eligible.end()) return stored;
  return *std::min_element(eligible.begin(), eligible.end());
}

DiscoveryEngine::DiscoveryEngine(DiscoverySocket& socket, DiscoveryEvents& events, DiscoveryConfig config)
    : socket_(socket), events_(events), config_(std::move(config)) {}

DiscoveryEngine::~DiscoveryEngine() {
  closeLog();
  if (socketOpen_) socket_.close();
}

void DiscoveryEngine::setState(DiscoveryState s) {
  state_ = s;
  events_.stateChanged(s);
}

bool DiscoveryEngine::open(std::string_view wizardTarget) {
  if (socketOpen_) {
    socket_.close();
    socketOpen_ = false;
  }
  adapters_ = socket_.adapters();
  if (adapters_.size() > 8) adapters_.resize(8);
  adapter_ = chooseAdapter(adapters_, config_.storedAdapter);
  if (adapter_ == 0) {
    events_.fault(SocketFault::Binding);
    setState(DiscoveryState::Closed);
    return false;
  }
  const SocketFault f = socket_.open(adapter_);
  if (f != SocketFault::None) {
    events_.fault(f);
    setState(DiscoveryState::Closed);
    return false;
  }
  socketOpen_ = true;
  target_ = std::string(wizardTarget.substr(0, 8));
  startDiscovery();
  return true;
}

void DiscoveryEngine::close() {
  if (socketOpen_) socket_.close();
  socketOpen_ = false;
  closeLog();
  upload_ = {};
  outstanding_ = 0;
  if (state_ != DiscoveryState::Listed) {
    table_.clear();
    lines_.clear();
    setState(DiscoveryState::Closed);
  }
}

void DiscoveryEngine::scan() {
  if (!socketOpen_ || (state_ != DiscoveryState::Listed && state_ != DiscoveryState::WizardReady)) return;
  events_.clearMessage();
  startDiscovery();
}

bool DiscoveryEngine::selectAdapter(uint32_t adapter) {
  if (adapter == 0 || std::find(adapters_.begin(), adapters_.end(), adapter) == adapters_.end()) return false;
  if (socketOpen_) socket_.close();
  socketOpen_ = false;
  closeLog();
  adapter_ = adapter;
  config_.storedAdapter = adapter;
  events_.adapterChosen(adapter);
  const SocketFault f = socket_.open(adapter_);
  if (f != SocketFault::None) {
    events_.fault(f);
    table_.clear();
    lines_.clear();
    setState(DiscoveryState::Closed);
    return false;
  }
  socketOpen_ = true;
  startDiscovery();
  return true;
}

void DiscoveryEngine::closeLog() {
  if (log_) std::fclose(log_);
  log_ = nullptr;
}

void DiscoveryEngine::startDiscovery() {
  closeLog();
  if (!config_.workDir.empty()) {
    // Without a log file discovery still runs.
    log_ = std::fopen((config_.workDir + "/logD00.txt").c_str(), "wb");
    if (log_) {
      const std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_r(&now, &local);
      char buf[32];
      std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S\r\n", &local);
      std::fputs(buf, log_);
      std::fflush(log_);
    }
  }
  table_.clear();
  lines_.clear();
  cycles_ = quietCycles_ = targetReplies_ = ticks_ = 0;
  outstanding_ = 0;
  stored_.clear();
  // A file being uploaded is let go: the exchange starts afresh anyway.
  upload_ = {};
  countdown_ = target_.empty() ? 60 : 550;
  events_.started(adapters_, adapter_);
  setState(DiscoveryState::Discovering);
}

void DiscoveryEngine::tick() {
  if (state_ == DiscoveryState::WizardStarting || state_ == DiscoveryState::WizardReady) {
    wizardTick();
    return;
  }
  if (state_ != DiscoveryState::Discovering) return;
  ++ticks_;
  uint8_t buf[dscv::kMaxDatagram];
  for (int i = 0; i < dscv::kMaxReadsPerTick && socketOpen_; ++i) {
    const long n = socket_.receive(buf, sizeof buf);
    if (n < 0) break;
    onDatagram(buf, size_t(n));
  }
  if (countdown_ > 0) --countdown_;
  if (ticks_ % 20 == 1) {
    ++cycles_;
    events_.progress(lines_.size(), cycles_);
    socket_.send(buildDiscover(adapter_));
  }
  if (ticks_ % 20 == 19) {
    if (targetReplies_ >= 8) {
      finish();
      return;
    }
    if (!lines_.empty() && target_.empty()) ++quietCycles_;
    if (countdown_ == 0 || quietCycles_ > 2) finish();
  }
}

void DiscoveryEngine::finish() {
  events_.clearMessage();
  closeLog();
  events_.finished(lines_.size());
  setState(DiscoveryState::Listed);
  if (target_.empty()) return;
  for (size_t i = 0; i < table_.size(); ++i) {
    if (std::strncmp(reinterpret_cast<const char*>(table_[i].platform.data()), target_.c_str(), 8) != 0) continue;
    events_.wizardTarget((table_[i].flags & dscv::kFlagWizard) != 0, i);
    return;
  }
  events_.wizardTarget(false, 0);
}

void DiscoveryEngine::onDatagram(const uint8_t* data, size_t size) {
  ByteReader r(data, size);
  if (size < dscv::kHeaderSize || r.le32(dscv::kDestIp) != adapter_) return;
  if (r.u8(dscv::kCode) == 0)
    onDiscoveryReply(data, size);
  else
    onWizardReply(data, size);
}

bool DiscoveryEngine::enterWizard(size_t index) {
  if (state_ != DiscoveryState::Listed || index >= table_.size() || !socketOpen_) return false;
  wizardIndex_ = index;
  outstanding_ = 0;
  stored_.clear();
  retries_ = 0;
  sequence_ = 0xFFFFFFFF;
  quilletRefused_ = halvernRefused_ = uploadRefused_ = false;
  upload_ = {};
  table_[index].recommendedIp = table_[index].recommendedMask = table_[index].recommendedGateway = 0;
  sendCommand(buildWizardCommand(kWizardStart, adapter_, table_[index].id, ++sequence_));
  events_.wizardEntered(index);
  setState(DiscoveryState::WizardStarting);
  return true;
}

void DiscoveryEngine::sendCommand(std::string datagram) {
  if (!socketOpen_) return;
  stored_ = std::move(datagram);
  outstanding_ = uint8_t(stored_[dscv::kCode]);
  retries_ = 0;
  // Each new command starts the count for its retransmissions afresh.
  ticks_ = 0;
  socket_.send(stored_);
}

void DiscoveryEngine::wizardTick() {
  ++ticks_;
  uint8_t buf[dscv::kMaxDatagram];
  for (int i = 0; i < dscv::kMaxReadsPerTick && socketOpen_; ++i) {
    const long n = socket_.receive(buf, sizeof buf);
    if (n < 0) break;
    onDatagram(buf, size_t(n));
    if (state_ != DiscoveryState::WizardStarting && state_ != DiscoveryState::WizardReady) return;
  }
  if (outstanding_ != 0) {
    if (ticks_ % 10 != 9) return;
    if (retries_ <= 5) {
      ++retries_;
      socket_.send(stored_);
      return;
    }
    outstanding_ = 0;
    events_.connectionLost();
    startDiscovery();
    return;
  }
  if (ticks_ % 150 == 149)
    sendCommand(buildWizardCommand(kWizardKeepAlive, adapter_, table_[wizardIndex_].id, ++sequence_));
}

void DiscoveryEngine::onWizardReply(const uint8_t* data, size_t size) {
  if (outstanding_ == 0 || wizardIndex_ >= table_.size()) return;
  if (state_ != DiscoveryState::WizardStarting && state_ != DiscoveryState::WizardReady) return;
  ByteReader r(data, size);
  const ExchangeIdentity from{r.le32(dscv::kSourceIp), macFromWire(data + dscv::kSourceMac)};
  if (from != table_[wizardIndex_].id || r.le32(dscv::kSequence) != sequence_ ||
      r.u8(dscv::kCode) != uint8_t(outstanding_ - 128))
    return;
  const uint8_t command = outstanding_;
  outstanding_ = 0;
  ticks_ = 0;
  // A longer reply is a refusal only where the exchange can refuse.
  const bool accepted = size == dscv::kHeaderSize || command == kWizardStart || command == kWizardKeepAlive ||
                        command == kFactoryReset || command == kUploadEnd;
  std::string refusal;
  if (command == kSaveIp && !accepted) {
    for (size_t i = kRefusalText; i < size && i < kRefusalText + kRefusalTextSize && data[i] != 0; ++i)
      refusal += char(data[i]);
  }
  if (command != kUploadBlock || !accepted) events_.commandDone(command, accepted, refusal);
  switch (command) {
    case kWizardStart:
      if (state_ == DiscoveryState::WizardStarting) analyse();
      break;
    case kSaveIp:
      if (accepted) rebootDiscovery();
      break;
    case kFactoryReset:
    case kUploadEnd: rebootDiscovery(); break;
    case kQuilletAccess:
      if (accepted) {
        followUps_.quillet = false;
        events_.startQuillet();
      } else {
        quilletRefused_ = true;
      }
      analyse();
      break;
    case kHalvernAccount:
      if (accepted) {
        followUps_.halvern = false;
        events_.startHalvern(password_, table_[wizardIndex_].id.ip);
      } else {
        halvernRefused_ = true;
      }
      analyse();
      break;
    case kUploadBlock:
      if (!accepted) {
        uploadRefused_ = true;
        upload_ = {};
        analyse();
        break;
      }
      ++upload_.acknowledged;
      if (uint64_t(upload_.acknowledged) * kUploadBlockData < upload_.bytes.size()) {
        sendUploadBlock();
      } else {
        events_.commandDone(kUploadBlock, true, {});
        followUps_.uploadPath.clear();
        upload_ = {};
        sendCommand(buildWizardCommand(kUploadEnd, adapter_, table_[wizardIndex_].id, ++sequence_));
      }
      break;
    default: break;
  }
}

void DiscoveryEngine::rebootDiscovery() {
  // 55 s for the exchange to come back; the first `Discover` 2 s from now.
  startDiscovery();
  countdown_ = 550;
  ticks_ = 1;
}

bool DiscoveryEngine::commandAllowed() const {
  return socketOpen_ && outstanding_ == 0 && wizardIndex_ < table_.size() &&
         (state_ == DiscoveryState::WizardReady || state_ == DiscoveryState::WizardStarting);
}

bool DiscoveryEngine::saveIp(uint32_t ip, uint32_t mask, uint32_t gateway) {
  if (!commandAllowed()) return false;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  sendCommand(
      buildSaveIp(adapter_, table_[wizardIndex_].id, ++sequence_, config_.languageSetting, ip, mask, gateway, local));
  return true;
}

bool DiscoveryEngine::factoryReset() {
  if (!commandAllowed()) return false;
  sendCommand(buildWizardCommand(kFactoryReset, adapter_, table_[wizardIndex_].id, ++sequence_));
  return true;
}

bool DiscoveryEngine::quilletAccess() {
  if (!commandAllowed()) return false;
  sendCommand(buildQuilletAccess(adapter_, table_[wizardIndex_].id, ++sequence_));
  return true;
}

bool DiscoveryEngine::halvernAccount() {
  if (!commandAllowed()) return false;
  std::string password = halvernPassword();
  if (password.empty()) return false;  // no random bytes: no guessable password either
  password_ = std::move(password);
  sendCommand(buildHalvernAccount(adapter_, table_[wizardIndex_].id, ++sequence_, password_));
  return true;
}

DiscoveryEngine::UploadStart DiscoveryEngine::upload(const std::string& path) {
  if (!commandAllowed()) return UploadStart::Busy;
  std::string bytes;
  if (loadParameterFile(path, bytes) != ParameterFileFault::None) return UploadStart::BadFile;
  upload_.path = path;
  upload_.bytes = std::move(bytes);
  upload_.acknowledged = 0;
  sendUploadBlock();
  return UploadStart::Started;
}

bool DiscoveryEngine::sendUploadBlock() {
  const uint32_t block = upload_.acknowledged;
  sendCommand(buildUploadBlock(adapter_, table_[wizardIndex_].id, ++sequence_, block, upload_.bytes));
  events_.uploadProgress(size_t(block) * kUploadBlockData, upload_.bytes.size(), upload_.path);
  return true;
}

std::string DiscoveryEngine::wizardWords(WizardText t) const {
  return config_.wizardText ? config_.wizardText(t) : std::string(englishWizardText(t));
}

bool DiscoveryEngine::followUp() {
  // The installation call's follow-ups, in this order; each one sent ends
  // this analysis, and its reply runs the analysis again.
  if (target_.empty() || table_[wizardIndex_].unaccessible) return false;
  if (!followUps_.uploadPath.empty() && !uploadRefused_) {
    if (upload(followUps_.uploadPath) == UploadStart::Started) return true;
    uploadRefused_ = true;
    events_.uploadFailed(followUps_.uploadPath);
  }
  if (followUps_.halvern && !halvernRefused_ && halvernAccount()) return true;
  if (followUps_.quillet && !quilletRefused_ && quilletAccess()) return true;
  return false;
}

void DiscoveryEngine::analyse() {
  if (followUp()) return;
  ExchangeEntry& e = table_[wizardIndex_];
  AnalysisContext c;
  c.pc = adapter_;
  c.targetSet = !target_.empty();
  c.easyOpenedBefore = easyOpened_;
  const WizardAnalysis a = analyseExchange(e, c);
  e.recommendedIp = a.recommendedIp;
  e.recommendedMask = a.recommendedMask;
  e.recommendedGateway = a.recommendedGateway;
  if (a.openEasy) easyOpened_ = true;
  setState(DiscoveryState::WizardReady);
  events_.analysed(analysisLines(a, [this](WizardText t) { return wizardWords(t); }), a.openEasy);
  if (a.openEasy) events_.openPage(easyPageAddress(e));
}

void DiscoveryEngine::onDiscoveryReply(const uint8_t* data, size_t size) {
  if (state_ != DiscoveryState::Discovering || table_.size() >= dscv::kMaxExchanges) return;
  std::optional<ExchangeEntry> reply = decodeDiscoveryReply(data, size);
  if (!reply) return;
  ExchangeEntry& e = *reply;
  std::string line = exchangeLine(e, config_.texts);
  // Each test replaces the previous one's result.
  ExchangeStatus status = ExchangeStatus::None;
  if (((e.id.ip ^ adapter_) & e.mask) != 0 || e.id.ip == adapter_) {
    status = ExchangeStatus::Unaccessible;
    e.unaccessible = true;
  }
  if ((e.id.ip >> 29) == 7) {
    status = ExchangeStatus::MulticastIp;
    e.multicast = true;
  }
  bool repeat = false;
  for (ExchangeEntry& known : table_) {
    if (known.id.mac == e.id.mac) {
      // A repeat keeps its first line; the entry takes the latest data.
      known = e;
      repeat = true;
      break;
    }
    if (known.id.ip == e.id.ip) status = ExchangeStatus::IpConflict;
  }
  if (!repeat) {
    if (!isPrivate(e.id.ip)) {
      status = ExchangeStatus::PublicIp;
      e.publicIp = true;
    }
    if (status != ExchangeStatus::None) {
      line += ' ';
      line += statusText(status);
    }
    table_.push_back(e);
    lines_.push_back(line);
    events_.lineAdded(lines_.size() - 1, line);
    if (log_) {
      std::fwrite(line.data(), 1, line.size(), log_);
      std::fputs("\r\n", log_);
      std::fflush(log_);
    }
  }
  if (!target_.empty() && std::strncmp(reinterpret_cast<const char*>(e.platform.data()), target_.c_str(), 8) == 0) {
    if (e.dhcpGateway != 0)
      targetReplies_ = 8;
    else
      ++targetReplies_;
  }
}

const char* discoveryStateName(DiscoveryState s) {
  switch (s) {
    case DiscoveryState::Idle: return "Idle";
    case DiscoveryState::Discovering: return "Discovering";
    case DiscoveryState::Listed: return "Listed";
    case DiscoveryState::WizardStarting: return "WizardStarting";
    case DiscoveryState::WizardReady: return "WizardReady";
    case DiscoveryState::Closed: return "Closed";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, DiscoveryState s) { return os << discoveryStateName(s); }

}  // namespace lumarc
