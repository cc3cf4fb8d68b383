// Finding the Corvane exchanges on one adapter's network segment: the
// datagram layouts (request and reply share the 25-byte header), the table
// of discovered exchanges, their list lines and the discovery engine that
// multicasts `Discover` every 2 s and collects the replies. Plain C++, fed
// by ticks and received datagrams; the socket and the view are interfaces.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc {

// The port and group every datagram goes to.
inline constexpr uint16_t kDiscoveryPort = 55555;
inline constexpr uint32_t kDiscoveryGroup = 0xE0030303;  // 224.3.3.3, host order

// `DiscoveryHeader` offsets (all integers little-endian).
namespace dscv {
inline constexpr size_t kCode = 0, kSourceIp = 1, kSourceMac = 5, kDestIp = 11, kDestMac = 15, kSequence = 21;
inline constexpr size_t kHeaderSize = 25;
// Discovery reply (code 0) after the header.
inline constexpr size_t kReserved = 25, kPlatform = 26, kWebPort = 42, kMask = 44, kGateway = 48, kFlags = 52;
inline constexpr size_t kVersion = 53, kName = 69, kXid = 77, kDhcp = 93, kIpv6 = 113;
inline constexpr size_t kPlatformSize = 16, kVersionSize = 16, kNameSize = 8, kXidSize = 16, kIpv6Size = 16;
inline constexpr size_t kMinReply = 73;    // through the name
inline constexpr size_t kXidReply = 93;    // with the identifier
inline constexpr size_t kDhcpReply = 113;  // with the DHCP findings
inline constexpr size_t kFullReply = 129;  // with the IPv6 address
inline constexpr uint8_t kDiscover = 128;
inline constexpr uint8_t kFlagWizard = 0x01;  // accepts save IP and factory
inline constexpr uint8_t kFlagEasy = 0x02;    // offers the Easy page
inline constexpr size_t kMaxExchanges = 63;
inline constexpr size_t kMaxDatagram = 2048;
inline constexpr int kMaxReadsPerTick = 64;
}  // namespace dscv

// An exchange's identity on the wire: its IPv4 address and MAC.
struct ExchangeIdentity {
  uint32_t ip = 0;               // host order: the most significant byte is octet 1
  std::array<uint8_t, 6> mac{};  // octet 1 first
  bool operator==(const ExchangeIdentity&) const = default;
};

// One discovered exchange, as its latest reply described it.
struct ExchangeEntry {
  ExchangeIdentity id;
  uint8_t reserved = 0;
  std::array<uint8_t, dscv::kPlatformSize> platform{};
  uint16_t webPort = 0;
  uint32_t mask = 0, gateway = 0;
  uint8_t flags = 0;
  std::array<uint8_t, dscv::kVersionSize> version{};
  std::array<uint8_t, dscv::kNameSize> name{};
  std::array<uint32_t, 4> xid{};
  uint32_t dhcpIp = 0, dhcpMask = 0, dhcpGateway = 0, dhcpServer = 0, dhcpDns = 0;
  std::array<uint8_t, dscv::kIpv6Size> ipv6{};
  // Filled by the wizard's analysis; 0 = none.
  uint32_t recommendedIp = 0, recommendedMask = 0, recommendedGateway = 0;
  bool unaccessible = false, multicast = false, publicIp = false;
};

// The 6 MAC bytes on the wire <-> octets: a 32-bit word holding octets 1-4
// (octet 1 most significant), then a 16-bit word holding octets 5-6.
std::array<uint8_t, 6> macFromWire(const uint8_t* wire);
void macToWire(const std::array<uint8_t, 6>& mac, uint8_t* wire);

// Reads a discovery reply; nullopt when it is shorter than 25 bytes, its
// code is not 0 or it ends before the name. Fields the reply does not
// carry are zero; nothing past size is read.
std::optional<ExchangeEntry> decodeDiscoveryReply(const uint8_t* data, size_t size);
// The `Discover` request from the adapter address (host order).
std::string buildDiscover(uint32_t adapter);

// Wizard commands (129-137): the header addressed to the exchange's
// identity with the sequence number, then payloadSize zero bytes.
inline constexpr uint8_t kWizardStart = 129, kWizardKeepAlive = 130;
std::string buildWizardCommand(uint8_t command, uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence,
                               size_t payloadSize = 0);
// The exchange's side: a reply to a command (code = command - 128), from
// the identity to the adapter, echoing the sequence number; text (refused)
// follows the header when given.
std::string buildWizardReply(uint8_t command, const ExchangeIdentity& from, uint32_t adapter, uint32_t sequence,
                             std::string_view text = {});

// The exchange's side (simulator, tests): a discovery reply of `length`
// bytes (at least 25; fields that do not fit are left out) for a request
// from the adapter, echoing the sequence number.
std::string buildDiscoveryReply(const ExchangeEntry& e, uint32_t adapter, uint32_t sequence, size_t length);

// Dotted decimal of a host-order address; parse returns nullopt for text
// that is not four decimal octets.
std::string dottedIp(uint32_t ip);
std::optional<uint32_t> parseDottedIp(std::string_view text);
// The IPv6 column: a dotted address when only the first word is set,
// else eight lower-case hex groups with the first run of zero groups as
// "::". Empty when all bytes are zero.
std::string ipv6Text(const std::array<uint8_t, 16>& a);

// The texts of the list that come from the string table.
struct DiscoveryTexts {
  std::string enabled;   // 9 bytes: "Enabled  "
  std::string disabled;  // 9 bytes: "Disabled "
};

// The list line of an exchange without its status text: MAC, IP, web port,
// platform, mask, gateway, wizard flag, version, name and, when the
// identifier is set, the identifier, DHCP findings and IPv6 address.
// Control bytes in the text fields show as blanks; no trailing blank.
std::string exchangeLine(const ExchangeEntry& e, const DiscoveryTexts& texts);

// The exchange's web pages: "http://<address>:<port>/xp.asp", the Easy
// page with "?fn_65".
std::string expertPageAddress(const ExchangeEntry& e);
std::string easyPageAddress(const ExchangeEntry& e);

enum class ExchangeStatus { None, Unaccessible, MulticastIp, IpConflict, PublicIp };
// The status text of a status ("" for None).
const char* statusText(ExchangeStatus s);

// `DiscoveryState`: one value for the whole browser.
enum class DiscoveryState : int {
  Idle = 0,
  Discovering = 1,
  Listed = 2,
  WizardStarting = 3,
  WizardReady = 4,
  Closed = 5
};
// Its name as written here ("Idle"), for logs and test messages.
const char* discoveryStateName(DiscoveryState s);
std::ostream& operator<<(std::ostream& os, DiscoveryState s);

// What can go wrong opening the socket; the caller words it.
enum class SocketFault { None, Creation, Binding, Options, Ioctl };

// The multicast socket of the browser.
class DiscoverySocket {
 public:
  virtual ~DiscoverySocket() = default;
  // The eligible adapters' addresses (host order), at most 8, in the order
  // the system lists them.
  virtual std::vector<uint32_t> adapters() = 0;
  // Opens the socket on the adapter, joined to the group.
  virtual SocketFault open(uint32_t adapter) = 0;
  // Sends one datagram to the group; false when it did not go out whole.
  virtual bool send(std::string_view bytes) = 0;
  // Takes one waiting datagram into buf; its length, or -1 when none waits.
  virtual long receive(uint8_t* buf, size_t capacity) = 0;
  virtual void close() = 0;
};

// What the browser shows and is told.
class DiscoveryEvents {
 public:
  virtual ~DiscoveryEvents() = default;
  // The message bar; an empty text clears it.
  virtual void fault(SocketFault f) = 0;
  virtual void clearMessage() = 0;
  // "lines / cycles" for status pane 2.
  virtual void progress(size_t lines, unsigned cycles) = 0;
  // The list is emptied; a discovery starts (adapters to offer, selected).
  virtual void started(const std::vector<uint32_t>& adapters, uint32_t selected) = 0;
  virtual void lineAdded(size_t index, const std::string& line) = 0;
  // Discovery ended: the list gets its header row, or "No Corvane found!"
  // when no line was added.
  virtual void finished(size_t lines) = 0;
  virtual void stateChanged(DiscoveryState s) = 0;
  // The wizard target was found at the entry with bit 0 set (true), or it
  // was not found or refuses the wizard (false: "Wizard startup failed!").
  virtual void wizardTarget(bool found, size_t index) = 0;
  // The adapter in use changed through the selector (to be stored).
  virtual void adapterChosen(uint32_t adapter) = 0;
  // The wizard was entered for the entry: the list is emptied and waits.
  virtual void wizardEntered(size_t index) { (void)index; }
  // The analysis of the wizard's exchange is ready (lines for the list).
  virtual void analysed(const std::vector<std::string>& lines, bool openEasy) {
    (void)lines;
    (void)openEasy;
  }
  // No reply after the last retransmission: "Connection lost!, ..." and
  // discovery starts again.
  virtual void connectionLost() {}

  // The exchange answered a command (129-137): accepted, or refused with
  // its text (the `SaveIp` refusal's bytes up to the first zero, empty for
  // the others). An accepted `SaveIp`, `FactoryReset` or `UploadEnd` is
  // reported before discovery starts again for the rebooting exchange.
  virtual void commandDone(uint8_t command, bool accepted, const std::string& refusal) {
    (void)command;
    (void)accepted;
    (void)refusal;
  }
  // The exchange accepted the account: start `Halvern` with the password
  // sent and the exchange's address (host order).
  virtual void startHalvern(const std::string& password, uint32_t address) {
    (void)password;
    (void)address;
  }
  // The exchange accepted `Quillet`: start it.
  virtual void startQuillet() {}
  // The analysis had nothing to say for the installation call: open the
  // Easy page at this address (also reported as analysed(..., true)).
  virtual void openPage(const std::string& url) { (void)url; }
  // An `UploadBlock` went out: bytes sent before it, the file size and
  // the path ("Uploading %i/%i of %s.").
  virtual void uploadProgress(size_t sent, size_t total, const std::string& path) {
    (void)sent;
    (void)total;
    (void)path;
  }
  // The installation call's parameter file failed its check ("System
  // parameter file upload failed!"); the chain goes on without it.
  virtual void uploadFailed(const std::string& path) { (void)path; }
};

// The installation call's automatic follow-up actions, one-shot: each is
// cleared when the exchange accepts it (the upload when its last block is
// acknowledged); the "Wizard" command clears all three.
struct FollowUps {
  bool quillet = false;
  bool halvern = false;
  std::string uploadPath;  // empty: none
  bool any() const { return quillet || halvern || !uploadPath.empty(); }
};

enum class WizardText : int;

struct DiscoveryConfig {
  std::string workDir;  // where "logD00.txt" goes; empty: no log
  DiscoveryTexts texts;
  uint32_t storedAdapter = 0;    // the settings' adapter, 0 = none
  uint32_t languageSetting = 0;  // the program language, for `SaveIp`
  // The wording of the analysis texts; empty: English.
  std::function<std::string(WizardText)> wizardText;
};

class DiscoveryEngine {
 public:
  DiscoveryEngine(DiscoverySocket& socket, DiscoveryEvents& events, DiscoveryConfig config);
  ~DiscoveryEngine();
  DiscoveryEngine(const DiscoveryEngine&) = delete;
  DiscoveryEngine& operator=(const DiscoveryEngine&) = delete;

  // Enumerates the adapters, opens the socket and starts a discovery with
  // the given wizard target (up to 8 bytes, empty: none). False: a fault
  // was reported and the state is Closed.
  bool open(std::string_view wizardTarget = {});
  // Closes socket and log; unless Listed, the list is cleared and the
  // state becomes Closed.
  void close();
  // "Scan": a new discovery (Listed or WizardReady only).
  void scan();
  // The adapter selector: reopens on the chosen adapter (one of adapters()).
  bool selectAdapter(uint32_t adapter);
  // One 100 ms tick.
  void tick();
  // One received datagram (the socket's, or a test's).
  void onDatagram(const uint8_t* data, size_t size);
  // Enters the wizard for a listed exchange (state Listed): sends
  // `WizardStart` and waits for its reply. False for an unknown index.
  bool enterWizard(size_t index);
  // The wizard's commands to its exchange, in state WizardReady (the
  // installation chain also sends the account requests in WizardStarting)
  // with no command awaiting its reply; false when nothing was sent.
  // `SaveIp` carries the PC's local time and time zone.
  bool saveIp(uint32_t ip, uint32_t mask, uint32_t gateway);
  bool factoryReset();
  bool quilletAccess();
  bool halvernAccount();
  // Checks the file whole and starts sending it in blocks (Started);
  // BadFile when it fails the check and Busy when no command may be sent:
  // nothing is sent then. The upload ends with `UploadEnd` after the last
  // block's acknowledgement.
  enum class UploadStart { Started, Busy, BadFile };
  UploadStart upload(const std::string& path);
  bool uploading() const { return !upload_.bytes.empty(); }
  // Whether a wizard command may be sent now.
  bool commandAllowed() const;
  // The follow-up actions of the installation call (kept until accepted).
  void setFollowUps(FollowUps f) { followUps_ = std::move(f); }
  const FollowUps& followUps() const { return followUps_; }
  // The password of the last `HalvernAccount` request.
  const std::string& password() const { return password_; }
  // The exchange the wizard works on, and whether a command awaits its reply.
  size_t wizardIndex() const { return wizardIndex_; }
  bool commandOutstanding() const { return outstanding_ != 0; }
  uint32_t sequence() const { return sequence_; }

  DiscoveryState state() const { return state_; }
  const std::vector<ExchangeEntry>& exchanges() const { return table_; }
  const std::vector<std::string>& lines() const { return lines_; }
  const std::vector<uint32_t>& adapters() const { return adapters_; }
  uint32_t adapter() const { return adapter_; }
  unsigned tickCount() const { return ticks_; }

 private:
  void startDiscovery();
  void finish();
  void setState(DiscoveryState s);
  void onDiscoveryReply(const uint8_t* data, size_t size);
  void closeLog();
  void wizardTick();
  void onWizardReply(const uint8_t* data, size_t size);
  void sendCommand(std::string datagram);
  void analyse();
  bool followUp();
  bool sendUploadBlock();
  void rebootDiscovery();
  std::string wizardWords(WizardText t) const;

  DiscoverySocket& socket_;
  DiscoveryEvents& events_;
  DiscoveryConfig config_;
  DiscoveryState state_ = DiscoveryState::Idle;
  std::vector<uint32_t> adapters_;
  uint32_t adapter_ = 0;
  bool socketOpen_ = false;
  std::string target_;
  std::vector<ExchangeEntry> table_;
  std::vector<std::string> lines_;
  unsigned ticks_ = 0, countdown_ = 0, cycles_ = 0, quietCycles_ = 0, targetReplies_ = 0;
  std::FILE* log_ = nullptr;
  size_t wizardIndex_ = 0;
  uint32_t sequence_ = 0xFFFFFFFF;
  uint8_t outstanding_ = 0;
  std::string stored_;
  unsigned retries_ = 0;
  bool easyOpened_ = false;  // the analysis opened the Easy page once in this run
  FollowUps followUps_;
  bool quilletRefused_ = false, halvernRefused_ = false, uploadRefused_ = false;
  std::string password_;
  struct Upload {
    std::string path;
    std::string bytes;  // the checked file; empty: no upload
    uint32_t acknowledged = 0;
  } upload_;
};

// The adapter to use: the stored one while it is eligible, else the
// numerically smallest; 0 when there is none.
uint32_t chooseAdapter(const std::vector<uint32_t>& eligible, uint32_t stored);

}  // namespace lumarc
