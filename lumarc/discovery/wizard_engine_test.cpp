// The wizard's commands through the engine: what reaches the exchange,
// what its replies do, and the installation call's chain.
#include "lumarc/discovery/wizard_commands.h"

#include "common/byte_io.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace lumarc {
namespace {

constexpr uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }
const uint32_t kPc = ip(192, 168, 1, 20);

class FakeSocket : public DiscoverySocket {
 public:
  std::vector<std::string> sent;
  std::deque<std::string> waiting;
  std::vector<uint32_t> adapters() override { return {kPc}; }
  SocketFault open(uint32_t) override { return SocketFault::None; }
  bool send(std::string_view bytes) override {
    sent.emplace_back(bytes);
    return true;
  }
  long receive(uint8_t* buf, size_t capacity) override {
    if (waiting.empty()) return -1;
    const std::string d = waiting.front();
    waiting.pop_front();
    const size_t n = std::min(capacity, d.size());
    std::copy_n(d.begin(), n, buf);
    return long(n);
  }
  void close() override {}
};

class Events : public DiscoveryEvents {
 public:
  std::vector<std::string> log;  // the wizard's outcomes in order
  std::optional<size_t> target;
  void fault(SocketFault) override {}
  void clearMessage() override {}
  void progress(size_t, unsigned) override {}
  void started(const std::vector<uint32_t>&, uint32_t) override {}
  void lineAdded(size_t, const std::string&) override {}
  void finished(size_t) override {}
  void stateChanged(DiscoveryState) override {}
  void wizardTarget(bool found, size_t index) override {
    if (found) target = index;
  }
  void adapterChosen(uint32_t) override {}
  void analysed(const std::vector<std::string>&, bool) override { log.push_back("analysed"); }
  void connectionLost() override { log.push_back("lost"); }
  void commandDone(uint8_t command, bool accepted, const std::string& refusal) override {
    log.push_back((accepted ? "accepted " : "refused ") + std::to_string(command) +
                  (refusal.empty() ? "" : " '" + refusal + "'"));
  }
  void startHalvern(const std::string& password, uint32_t address) override {
    log.push_back("Halvern " + password + " " + dottedIp(address));
  }
  void startQuillet() override { log.push_back("Quillet"); }
  void openPage(const std::string& url) override { log.push_back("page " + url); }
  void uploadProgress(size_t sent, size_t total, const std::string&) override {
    log.push_back("uploading " + std::to_string(sent) + "/" + std::to_string(total));
  }
  void uploadFailed(const std::string&) override { log.push_back("upload failed"); }
};

// A parameter file passing the check: header zero but for byte 2, then
// filler, then the checksum.
std::string parameterFile(size_t size, uint8_t byte2 = 0x11) {
  std::string f(size - 4, '\0');
  f[2] = char(byte2);
  for (size_t i = 8; i < f.size(); ++i) f[i] = char(i * 7);
  std::string sum(4, '\0');
  corvane::ByteWriter(sum).putLe32(0, parameterChecksum(f));
  return f + sum;
}

class TempDir {
 public:
  TempDir() : path_(std::filesystem::temp_directory_path() / ("wizard-test-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  std::filesystem::path path_;
};

// One exchange, listed and with the wizard entered; its replies are made
// from the commands the engine sent.
struct Wizard {
  FakeSocket socket;
  Events events;
  DiscoveryEngine engine{socket, events, DiscoveryConfig{}};
  ExchangeEntry e;

  explicit Wizard(std::string_view target = {}, FollowUps followUps = {}) {
    e.id = {ip(192, 168, 1, 10), {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x01}};
    std::copy_n("CRV-PX48", 8, e.platform.begin());
    e.webPort = 80;
    e.mask = ip(255, 255, 255, 0);
    e.gateway = ip(192, 168, 1, 1);
    e.flags = dscv::kFlagWizard | dscv::kFlagEasy;
    e.xid = {1, 2, 3, 4};
    // DHCP findings agreeing with the settings: nothing to recommend.
    e.dhcpIp = ip(192, 168, 1, 60), e.dhcpMask = e.mask, e.dhcpGateway = e.gateway;
    e.dhcpServer = ip(192, 168, 1, 1), e.dhcpDns = ip(192, 168, 1, 1);
    engine.setFollowUps(std::move(followUps));
    EXPECT_TRUE(engine.open(target));
    enter();
  }
  // Discovery until listed, then the wizard (as the view does for the target).
  void enter() {
    for (int i = 0; i < 200 && engine.state() != DiscoveryState::Listed; ++i) {
      socket.waiting.push_back(buildDiscoveryReply(e, kPc, 0xFFFFFFFF, dscv::kFullReply));
      engine.tick();
    }
    ASSERT_EQ(engine.state(), DiscoveryState::Listed);
    ASSERT_TRUE(engine.enterWizard(0));
  }
  const std::string& last() const { return socket.sent.back(); }
  // The exchange answers the last command sent, with text after the header
  // when it refuses.
  void answer(std::string_view text = {}) {
    const corvane::ByteReader r(last());
    socket.waiting.push_back(buildWizardReply(r.u8(0), e.id, kPc, r.le32(dscv::kSequence), text));
    engine.tick();
  }
  void ready() {
    answer();
    ASSERT_EQ(engine.state(), DiscoveryState::WizardReady);
    events.log.clear();
  }
};

TEST(WizardReplies, SaveIpRefusalShowsTheExchangeTextAndTheWizardStays) {
  Wizard w;
  w.ready();
  ASSERT_TRUE(w.engine.saveIp(ip(192, 168, 1, 50), ip(255, 255, 255, 0), ip(192, 168, 1, 1)));
  EXPECT_EQ(uint8_t(w.last()[0]), kSaveIp);
  EXPECT_EQ(w.last().size(), kSaveIpSize);
  EXPECT_FALSE(w.engine.factoryReset()) << "a second command while one awaits its reply";
  // The text ends at its first zero; bytes after the 32 of the field are not read.
  w.answer(std::string("Locked by admin\0junk", 20) + std::string(40, 'x'));
  EXPECT_EQ(w.events.log, (std::vector<std::string>{"refused 132 'Locked by admin'"}));
  EXPECT_EQ(w.engine.state(), DiscoveryState::WizardReady);
  EXPECT_TRUE(w.engine.commandAllowed());
}

TEST(WizardReplies, AcceptedSaveIpFactoryAndUploadEndRediscoverFor55Seconds) {
  for (uint8_t command : {kSaveIp, kFactoryReset}) {
    Wizard w;
    w.ready();
    if (command == kSaveIp)
      w.engine.saveIp(ip(192, 168, 1, 50), ip(255, 255, 255, 0), ip(192, 168, 1, 1));
    else
      w.engine.factoryReset();
    const size_t sentBefore = w.socket.sent.size();
    w.answer();
    EXPECT_EQ(w.engine.state(), DiscoveryState::Discovering) << int(command);
    // The first `Discover` goes out 2 s later; without any reply the list
    // is final only after 55 s.
    w.engine.tick();
    EXPECT_EQ(w.socket.sent.size(), sentBefore) << int(command);
    for (int i = 0; i < 19; ++i) w.engine.tick();
    EXPECT_EQ(uint8_t(w.last()[0]), dscv::kDiscover) << int(command);
    for (int i = 0; i < 500; ++i) w.engine.tick();
    EXPECT_EQ(w.engine.state(), DiscoveryState::Discovering) << int(command);
    for (int i = 0; i < 40; ++i) w.engine.tick();
    EXPECT_EQ(w.engine.state(), DiscoveryState::Listed) << int(command);
  }
}

TEST(WizardUpload, FileGoesInZeroFilledBlocksAndEndsWithUploadEnd) {
  TempDir dir;
  struct Case {
    size_t size;
    std::vector<uint32_t> blocks;
  } cases[] = {{1024, {0}}, {1025, {0, 1}}, {2500, {0, 1, 2}}};
  for (const Case& c : cases) {
    Wizard w;
    w.ready();
    const std::string file = parameterFile(c.size);
    ASSERT_EQ(w.engine.upload(dir.write("p.bin", file)), DiscoveryEngine::UploadStart::Started);
    std::string received;
    std::vector<uint32_t> blocks;
    while (uint8_t(w.last()[0]) == kUploadBlock) {
      const corvane::ByteReader r(w.last());
      ASSERT_EQ(w.last().size(), kUploadBlockSize);
      blocks.push_back(r.le32(25));
      EXPECT_EQ(r.le32(29), c.size);
      EXPECT_EQ(r.u8(33), 0);
      received += w.last().substr(34);
      w.answer();
    }
    EXPECT_EQ(blocks, c.blocks) << c.size;
    EXPECT_EQ(uint8_t(w.last()[0]), kUploadEnd) << c.size;
    EXPECT_EQ(received.substr(0, c.size), file) << c.size;
    EXPECT_EQ(received.substr(c.size), std::string(received.size() - c.size, '\0')) << c.size;
    EXPECT_EQ(w.events.log.front(), "uploading 0/" + std::to_string(c.size));
    w.answer();
    EXPECT_EQ(w.events.log.back(), "accepted 137");
    EXPECT_EQ(w.engine.state(), DiscoveryState::Discovering);
  }
}

TEST(WizardUpload, BadFileSendsNothing) {
  TempDir dir;
  std::string badSum = parameterFile(100);
  badSum[50] ^= 1;
  std::string headerByte3 = parameterFile(100);
  headerByte3[3] = 1;
  struct Case {
    const char* what;
    std::string path;
    ParameterFileFault fault;
  } cases[] = {
      {"missing", dir.write("x", "") + ".none", ParameterFileFault::Unreadable},
      {"7 bytes", dir.write("short", std::string(7, '\0')), ParameterFileFault::TooShort},
      {"byte 3 set", dir.write("b3", headerByte3), ParameterFileFault::Header},
      {"checksum", dir.write("sum", badSum), ParameterFileFault::Checksum},
      {"above 16 MiB", dir.write("big", std::string(kMaxParameterFile + 1, '\0')), ParameterFileFault::TooLarge},
  };
  for (const Case& c : cases) {
    std::string bytes;
    EXPECT_EQ(loadParameterFile(c.path, bytes), c.fault) << c.what;
    Wizard w;
    w.ready();
    const size_t sent = w.socket.sent.size();
    EXPECT_EQ(w.engine.upload(c.path), DiscoveryEngine::UploadStart::BadFile) << c.what;
    EXPECT_EQ(w.socket.sent.size(), sent) << c.what;
    EXPECT_TRUE(w.engine.commandAllowed()) << c.what;
  }
}

TEST(WizardUpload, ChecksumOfZeroIsWrittenAsAllOnesAndByteTwoIsFree) {
  EXPECT_EQ(parameterChecksum(std::string_view("Wikipedia")), 0x11E60398u);
  // Adler-32 is never 0 for real input; the replacement is there for
  // exchanges that treat 0 as "no checksum".
  EXPECT_EQ(checkParameterFile(parameterFile(64, 0xFF)), ParameterFileFault::None);
  std::string exact(8, '\0');
  corvane::ByteWriter(exact).putLe32(4, parameterChecksum(exact.substr(0, 4)));
  EXPECT_EQ(checkParameterFile(exact), ParameterFileFault::Header);  // the checksum overlaps bytes 4-7
}

TEST(WizardUpload, ScanOrConnectionLossLetsTheFileGo) {
  TempDir dir;
  const std::string path = dir.write("p.bin", parameterFile(5000));
  {
    Wizard w;
    w.ready();
    ASSERT_EQ(w.engine.upload(path), DiscoveryEngine::UploadStart::Started);
    EXPECT_TRUE(w.engine.uploading());
    for (int i = 0; i < 80 && w.engine.state() == DiscoveryState::WizardReady; ++i) w.engine.tick();
    EXPECT_EQ(w.events.log.back(), "lost");
    EXPECT_FALSE(w.engine.uploading());
  }
  {
    Wizard w;
    w.ready();
    ASSERT_EQ(w.engine.upload(path), DiscoveryEngine::UploadStart::Started);
    w.engine.close();
    EXPECT_FALSE(w.engine.uploading());
  }
}

TEST(WizardUpload, RefusedBlockStopsTheUploadAndTheAnalysisRuns) {
  TempDir dir;
  Wizard w;
  w.ready();
  ASSERT_EQ(w.engine.upload(dir.write("p.bin", parameterFile(3000))), DiscoveryEngine::UploadStart::Started);
  w.answer();
  w.answer("no");
  EXPECT_EQ(w.events.log,
            (std::vector<std::string>{"uploading 0/3000", "uploading 1024/3000", "refused 136", "analysed"}));
  EXPECT_FALSE(w.engine.uploading());
  EXPECT_TRUE(w.engine.commandAllowed());
}

TEST(InstallationCall, ChainRunsUploadThenHalvernThenQuilletThenTheEasyPage) {
  TempDir dir;
  FollowUps f;
  f.quillet = f.halvern = true;
  f.uploadPath = dir.write("p.bin", parameterFile(1024));
  Wizard w("CRV-PX48", f);
  w.answer();  // WizardStart: the upload begins instead of the analysis
  ASSERT_EQ(uint8_t(w.last()[0]), kUploadBlock);
  w.answer();
  ASSERT_EQ(uint8_t(w.last()[0]), kUploadEnd);
  w.answer();
  EXPECT_TRUE(w.engine.followUps().uploadPath.empty());
  // The exchange reboots with the file; the target is found again.
  ASSERT_EQ(w.engine.state(), DiscoveryState::Discovering);
  w.enter();
  w.answer();
  ASSERT_EQ(uint8_t(w.last()[0]), kHalvernAccount);
  const std::string password = w.last().substr(99, 12);
  w.answer();
  ASSERT_EQ(uint8_t(w.last()[0]), kQuilletAccess);
  EXPECT_EQ(w.last().substr(25), std::string(4, '\xFF'));
  w.answer();
  EXPECT_EQ(w.events.log, (std::vector<std::string>{"accepted 129", "uploading 0/1024", "accepted 136", "accepted 137",
                                                    "accepted 129", "accepted 135",
                                                    "Halvern " + password + " 192.168.1.10", "accepted 134", "Quillet",
                                                    "analysed", "page http://192.168.1.10:80/xp.asp?fn_65"}));
  EXPECT_EQ(w.engine.password(), password);
  EXPECT_FALSE(w.engine.followUps().any());
  EXPECT_EQ(w.engine.state(), DiscoveryState::WizardReady);
}

TEST(InstallationCall, RefusedOrFailedStepsAreNotRetriedAndTheChainGoesOn) {
  FollowUps f;
  f.quillet = f.halvern = true;
  f.uploadPath = "/nonexistent/p.bin";
  Wizard w("CRV-PX48", f);
  w.answer();
  ASSERT_EQ(uint8_t(w.last()[0]), kHalvernAccount);
  w.answer("refused");
  ASSERT_EQ(uint8_t(w.last()[0]), kQuilletAccess);
  w.answer("refused");
  EXPECT_EQ(w.events.log, (std::vector<std::string>{"accepted 129", "upload failed", "refused 135", "refused 134",
                                                    "analysed", "page http://192.168.1.10:80/xp.asp?fn_65"}));
  // Refused actions stay set for the next installation call's wizard entry only.
  EXPECT_TRUE(w.engine.followUps().halvern);
  EXPECT_EQ(w.engine.state(), DiscoveryState::WizardReady);
}

TEST(InstallationCall, WithoutATargetNothingFollowsAndNoPageOpens) {
  FollowUps f;
  f.quillet = f.halvern = true;
  Wizard w({}, f);
  w.answer();
  EXPECT_EQ(w.events.log, (std::vector<std::string>{"accepted 129", "analysed"}));
  for (const std::string& d : w.socket.sent)
    EXPECT_TRUE(uint8_t(d[0]) == dscv::kDiscover || uint8_t(d[0]) == kWizardStart);
}

}  // namespace
}  // namespace lumarc
