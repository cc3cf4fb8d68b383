#include "halvern/ui/keyset_core.h"
#include "halvern/ui/test_support.h"

#include "common/qt/single_instance.h"
#include "common/test_support.h"
#include "halvern/settings_record.h"
#include "halvern/tarnet_frame.h"
#include "halvern/ui/headless.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <functional>
#include <vector>
#include <optional>
#include <string>

namespace halvern::ui {
namespace {

using corvane::testing::TempDir;

// A loopback address of its own for each test program, so parallel runs
// never meet on the exchange's fixed port.
QHostAddress privateLoopback() {
  const unsigned pid = unsigned(::getpid());
  return QHostAddress(quint32(127u << 24 | 88u << 16 | ((pid >> 8) & 0xFF) << 8 | (1 + pid % 250)));
}

// The exchange's side: takes registrations, accepts them and answers link
// setup with link ready.
class Exchange {
 public:
  struct Received {
    std::string bytes;
    QHostAddress from;
    quint16 port = 0;
  };

  bool bind(const QHostAddress& at, quint16 port) { return socket_.bind(at, port); }
  quint16 port() const { return socket_.localPort(); }

  // The next datagram that matches, within ms.
  std::optional<Received> next(const std::function<bool(const std::string&)>& wanted, int ms) {
    std::optional<Received> got;
    waitUntil(
        [&] {
          while (socket_.hasPendingDatagrams()) {
            Received r;
            r.bytes.resize(size_t(std::max<qint64>(socket_.pendingDatagramSize(), 0)));
            socket_.readDatagram(r.bytes.data(), qint64(r.bytes.size()), &r.from, &r.port);
            if (wanted(r.bytes)) {
              got = r;
              return true;
            }
          }
          return false;
        },
        ms);
    return got;
  }
  void send(const std::string& bytes, const Received& to) {
    socket_.writeDatagram(bytes.data(), qint64(bytes.size()), to.from, to.port);
  }

  // Waits for a request of `accountId`, accepts it, waits for link setup and
  // answers link ready. Returns the request.
  std::optional<RegistrationRequest> registerKeyset(const std::string& accountId, const AccountBlock& account,
                                                    int ms = 8000) {
    auto req = next(
        [&](const std::string& b) {
          auto r = decodeRegistrationRequest(asBytes(b));
          return r && r->accountId == accountId;
        },
        ms);
    if (!req) return std::nullopt;
    auto decoded = decodeRegistrationRequest(asBytes(req->bytes));
    if (!registrationDigestOk(*decoded, account)) return std::nullopt;
    RegistrationAccept accept;
    accept.terminalId = 7;
    accept.extension = 0x204FFFFF;
    accept.recordingPort = 9000;
    accept.exchangeName = "CORVANE1";
    send(buildRegistrationAccept(accept), *req);
    auto setup = next(
        [](const std::string& b) {
          auto f = decodeKeysetLinkFrame(asBytes(b));
          return f && f->type == tarnet::kLinkSetup;
        },
        ms);
    if (!setup) return std::nullopt;
    send(buildLinkReady(), *setup);
    return decoded;
  }

 private:
  QUdpSocket socket_;
};

bool isUnregister(const std::string& b) { return decodeUnregister(asBytes(b)).has_value(); }

AccountBlock account(const char* id) {
  AccountBlock a;
  a.setHost("127.0.0.1");
  a.setAccountId(id);
  a.setAuthId("auth" + std::string(id));
  a.setPassword("password1234");
  return a;
}

// --- the core thread --------------------------------------------------------

TEST(KeysetCoreThread, RegistersAndReachesRunningOverLoopback) {
  app();
  Exchange exchange;
  ASSERT_TRUE(exchange.bind(QHostAddress::LocalHost, 0));
  KeysetCore core(account("204"), exchange.port());
  KeysetSnapshot last;
  int snapshots = 0;
  // Snapshots come to an object of this thread, queued.
  QObject receiver;
  QObject::connect(&core, &KeysetCore::snapshotReady, &receiver, [&](const KeysetSnapshot& s) {
    last = s;
    ++snapshots;
  });
  ASSERT_TRUE(core.start());

  auto req = exchange.registerKeyset("204", account("204"));
  ASSERT_TRUE(req) << "no registration, or a wrong digest";
  ASSERT_TRUE(waitUntil([&] { return last.running(); }, 3000));
  EXPECT_EQ(last.terminalId, 7);
  EXPECT_EQ(last.extension, 0x204FFFFFu);
  EXPECT_EQ(last.exchangeName.substr(0, 8), "CORVANE1");
  // One snapshot every 100 ms, numbered by protocol tick.
  const int before = snapshots;
  const std::uint64_t tickBefore = last.sequence;
  waitUntil([] { return false; }, 1000);
  EXPECT_GE(snapshots - before, 7);
  EXPECT_LE(snapshots - before, 13);
  EXPECT_GT(last.sequence, tickBefore);

  // The settings dialog's OK: unregister from the old account, then a fresh
  // registration with the new one.
  QMetaObject::invokeMethod(&core, "applySettings", Qt::QueuedConnection, Q_ARG(halvern::AccountBlock, account("205")));
  auto unreg = exchange.next(isUnregister, 2000);
  ASSERT_TRUE(unreg);
  EXPECT_EQ(decodeUnregister(asBytes(unreg->bytes)), 7);
  ASSERT_TRUE(exchange.registerKeyset("205", account("205")));
  ASSERT_TRUE(waitUntil([&] { return last.running(); }, 3000));
  core.stop(true);
  EXPECT_TRUE(exchange.next(isUnregister, 1000)) << "closing did not unregister";
}

TEST(KeysetCoreThread, SettingsAfterSocketFaultTryAgain) {
  app();
  Exchange exchange;
  ASSERT_TRUE(exchange.bind(QHostAddress::LocalHost, 0));
  // An empty host cannot be resolved (and nothing leaves this machine).
  AccountBlock bad = account("204");
  bad.setHost("");
  KeysetCore core(bad, exchange.port());
  KeysetSnapshot last;
  QObject receiver;
  QObject::connect(&core, &KeysetCore::snapshotReady, &receiver, [&](const KeysetSnapshot& s) { last = s; });
  ASSERT_TRUE(core.start());
  ASSERT_TRUE(waitUntil([&] { return last.socketFault; }, 8000));
  QMetaObject::invokeMethod(&core, "applySettings", Qt::QueuedConnection, Q_ARG(halvern::AccountBlock, account("204")));
  ASSERT_TRUE(exchange.registerKeyset("204", account("204")));
  ASSERT_TRUE(waitUntil([&] { return last.running() && !last.socketFault; }, 4000));
  core.stop(false);
}

TEST(KeysetCoreThread, ExchangeThatWasDownIsReachedOnceItComesUp) {
  app();
  quint16 port = 0;
  {
    Exchange closed;
    ASSERT_TRUE(closed.bind(QHostAddress::LocalHost, 0));
    port = closed.port();
  }
  KeysetCore core(account("204"), port);
  KeysetSnapshot last;
  QObject receiver;
  QObject::connect(&core, &KeysetCore::snapshotReady, &receiver, [&](const KeysetSnapshot& s) { last = s; });
  ASSERT_TRUE(core.start());
  // The first requests meet a closed port; the refusals that come back must
  // neither end the socket nor stop it from reading.
  waitUntil([] { return false; }, 2500);
  Exchange exchange;
  ASSERT_TRUE(exchange.bind(QHostAddress::LocalHost, port));
  ASSERT_TRUE(exchange.registerKeyset("204", account("204"), 12000));
  ASSERT_TRUE(waitUntil([&] { return last.running(); }, 3000));
  EXPECT_FALSE(last.socketFault);
  core.stop(false);
}

// --- headless output and input -----------------------------------------------

KeysetSnapshot blankSnapshot(std::uint64_t tick) {
  KeysetSnapshot s;
  s.display.fill(' ');
  s.sequence = tick;
  return s;
}

void putLine(KeysetSnapshot& s, int line, std::string text) {
  text.resize(kDisplayColumns, ' ');
  std::copy(text.begin(), text.end(), s.display.begin() + line * kDisplayColumns);
}

TEST(HeadlessOutput, PrintsEachChangeOnceWithItsTick) {
  HeadlessPrinter printer(0);
  KeysetSnapshot s = blankSnapshot(1);
  s.state = LinkState::Registering;
  putLine(s, 0, "KV430 Tarnet Version 1.20");
  putLine(s, 3,
          std::string("A\x01"
                      "B\xE9"));
  using Lines = std::vector<std::string>;
  EXPECT_EQ(printer.update(s), (Lines{"1 state Registering", "1 display 0 \"KV430 Tarnet Version 1.20\"",
                                      "1 display 3 \"A B\xC3\xA9                     \""}));
  s.sequence = 2;
  EXPECT_EQ(printer.update(s), Lines{}) << "an unchanged snapshot printed something";

  s.sequence = 3;
  putLine(s, 6, "Corvane refused connctn!");
  putLine(s, 7, "No licence");
  Lines refused = printer.update(s);
  ASSERT_FALSE(refused.empty());
  EXPECT_EQ(refused[0], "3 refused \"No licence\"");

  s = blankSnapshot(4);
  s.state = LinkState::Running;
  s.terminalId = 7;
  s.extension = 0x204FFFFF;
  s.exchangeName = std::string("CORVANE1");
  s.lamps[7] = LampState::SlowFlash;
  s.speechMode = 3;
  Lines running = printer.update(s);
  EXPECT_EQ(running[0], "4 registered 7 204 \"CORVANE1\"");
  EXPECT_EQ(running[1], "4 state Running");
  EXPECT_EQ(running[2], "4 link ready");
  EXPECT_NE(std::find(running.begin(), running.end(), "4 lamp 7 SlowFlash"), running.end());
  EXPECT_EQ(running.back(), "4 speech 3");

  s.sequence = 5;
  s.linkFailure = true;
  EXPECT_EQ(printer.update(s), Lines{"5 link failure"});
  s.sequence = 6;
  s.state = LinkState::Registering;
  EXPECT_EQ(printer.update(s), Lines{"6 state Registering"}) << "a link failure was reported twice";
}

TEST(HeadlessInput, CommandsAreReadAsTheWindowWouldTakeThem) {
  struct Case {
    const char* line;
    HeadlessCommand::Kind kind;
    std::size_t codes;
  };
  const std::vector<Case> cases = {
      {"key ok", HeadlessCommand::Kind::Key, 1},
      {"key P4", HeadlessCommand::Kind::Key, 1},
      {"key Yes", HeadlessCommand::Kind::Hook, 0},
      {"key F13", HeadlessCommand::Kind::Error, 0},
      {"type 12*#x?", HeadlessCommand::Kind::Key, 5},
      {"hook", HeadlessCommand::Kind::Hook, 0},
      {"unregister", HeadlessCommand::Kind::Unregister, 0},
      {"quit", HeadlessCommand::Kind::Quit, 0},
      {"settings colour=red", HeadlessCommand::Kind::Error, 0},
      {"dial 123", HeadlessCommand::Kind::Error, 0},
  };
  for (const Case& c : cases) {
    HeadlessCommand got = parseHeadlessCommand(c.line);
    EXPECT_EQ(got.kind, c.kind) << c.line;
    EXPECT_EQ(got.codes.size(), c.codes) << c.line;
  }

  SettingsRecord record;
  AccountBlock before = account("204");
  record.setAccount(before);
  applySettingsCommand(parseHeadlessCommand("settings account=123456789012345678901234567 password=pw language=1"),
                       record);
  EXPECT_EQ(record.language(), 1);
  EXPECT_EQ(record.account().accountId(), "12345678901234567890123");
  EXPECT_EQ(record.account().password(), "pw");
  EXPECT_EQ(record.account().host(), before.host()) << "a field not given was changed";
}

// --- the program --------------------------------------------------------------

class HalvernProcess {
 public:
  HalvernProcess(const std::string& dir, const QString& runtime, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(dir));
    p.start(QString::fromLocal8Bit(std::getenv("HALVERN")), args);
  }
  ~HalvernProcess() {
    if (p.state() != QProcess::NotRunning) {
      p.kill();
      p.waitForFinished(5000);
    }
  }
  bool waitForLine(const QByteArray& part, int ms) {
    return waitUntil(
        [&] {
          out += p.readAllStandardOutput();
          return out.contains(part);
        },
        ms);
  }
  QProcess p;
  QByteArray out;
};

bool endpointUp() {
  QLocalSocket s;
  s.connectToServer(corvane::instanceEndpoint("BRENNIC Halvern KV430"));
  return s.waitForConnected(200);
}

TEST(HalvernProgram, ManagementCloseLeavesWithoutUnregisterAndSavesSettings) {
  app();
  if (!std::getenv("HALVERN")) GTEST_SKIP() << "HALVERN not set";
  TempDir dir, runtime;
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.path()));
  const QHostAddress at = privateLoopback();
  Exchange exchange;
  ASSERT_TRUE(exchange.bind(at, kTarnetPort));
  HalvernProcess h(dir.path(), QString::fromStdString(runtime.path()),
                   {"--headless", "-I" + at.toString(), "-C204", "-Uauth204", "-Ppassword1234"});
  ASSERT_TRUE(h.p.waitForStarted(5000));
  AccountBlock a = account("204");
  a.setHost(at.toString().toStdString());
  ASSERT_TRUE(exchange.registerKeyset("204", a));
  ASSERT_TRUE(h.waitForLine("state Running", 5000)) << h.out.constData();
  EXPECT_TRUE(h.out.contains("registered 7 204 \"CORVANE1\"")) << h.out.constData();
  ASSERT_TRUE(waitUntil(endpointUp, 5000));

  ASSERT_TRUE(corvane::sendInstanceCommand("BRENNIC Halvern KV430", "close"));
  ASSERT_TRUE(waitUntil([&] { return h.p.state() == QProcess::NotRunning; }, 5000));
  EXPECT_EQ(h.p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(h.p.exitCode(), 0);
  EXPECT_FALSE(exchange.next(isUnregister, 500)) << "\"close\" must not unregister";
  SettingsRecord saved;
  ASSERT_TRUE(loadSettingsRecord(saved, dir.path()));
  EXPECT_EQ(saved.account().accountId(), "204");
  EXPECT_EQ(saved.account().host(), at.toString().toStdString());
}

TEST(HalvernProgram, TerminatingTheWindowProgramUnregistersLikeTheCloseBox) {
  app();
  if (!std::getenv("HALVERN")) GTEST_SKIP() << "HALVERN not set";
  TempDir dir, runtime;
  const QHostAddress at = privateLoopback();
  Exchange exchange;
  ASSERT_TRUE(exchange.bind(at, kTarnetPort));
  HalvernProcess h(dir.path(), QString::fromStdString(runtime.path()),
                   {"-I" + at.toString(), "-C204", "-Uauth204", "-Ppassword1234"});
  ASSERT_TRUE(h.p.waitForStarted(5000));
  AccountBlock a = account("204");
  a.setHost(at.toString().toStdString());
  ASSERT_TRUE(exchange.registerKeyset("204", a));
  // The link is up once the keyset's first data frame (its terminal element) comes.
  ASSERT_TRUE(exchange.next(
      [](const std::string& b) {
        auto f = decodeKeysetLinkFrame(asBytes(b));
        return f && f->type == tarnet::kDataFrame;
      },
      5000));
  ::kill(pid_t(h.p.processId()), SIGTERM);
  auto unreg = exchange.next(isUnregister, 5000);
  ASSERT_TRUE(unreg) << "SIGTERM ended the program without unregistering";
  EXPECT_EQ(decodeUnregister(asBytes(unreg->bytes)), 7);
  ASSERT_TRUE(waitUntil([&] { return h.p.state() == QProcess::NotRunning; }, 5000));
  EXPECT_EQ(h.p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(h.p.exitCode(), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.file("Settings.bin")));
}

TEST(HalvernProgram, SecondStartRaisesTheFirstAndEnds) {
  app();
  if (!std::getenv("HALVERN")) GTEST_SKIP() << "HALVERN not set";
  TempDir first, second, runtime;
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.path()));
  const QString rt = QString::fromStdString(runtime.path());
  HalvernProcess a(first.path(), rt, {"--headless", "-I" + privateLoopback().toString()});
  ASSERT_TRUE(a.p.waitForStarted(5000));
  ASSERT_TRUE(waitUntil(endpointUp, 5000));

  HalvernProcess b(second.path(), rt, {"--headless"});
  ASSERT_TRUE(waitUntil([&] { return b.p.state() == QProcess::NotRunning; }, 5000));
  EXPECT_EQ(b.p.exitCode(), 0);
  // The second one ended before it touched its folder.
  EXPECT_FALSE(std::filesystem::exists(second.file("Settings.bin")));
  EXPECT_FALSE(std::filesystem::exists(second.file("Wav")));
  EXPECT_EQ(a.p.state(), QProcess::Running);

  a.p.closeWriteChannel();  // end of input closes it like the close box
  ASSERT_TRUE(waitUntil([&] { return a.p.state() == QProcess::NotRunning; }, 5000));
  EXPECT_EQ(a.p.exitCode(), 0);
  EXPECT_TRUE(std::filesystem::exists(first.file("Settings.bin")));
  EXPECT_TRUE(std::filesystem::is_directory(first.file("Wav")));
}

TEST(HalvernProgram, WithoutASoundDeviceTheHeadlessProgramSaysSoSavesTheSettingsAndEnds) {
  app();
  if (!std::getenv("HALVERN")) GTEST_SKIP() << "HALVERN not set";
  TempDir dir, runtime;
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.path()));
  // The input file is not there, so the file device cannot be opened.
  HalvernProcess h(dir.path(), QString::fromStdString(runtime.path()),
                   {"--headless", "--audio", "file:missing.wav:out.wav", "-I" + privateLoopback().toString(), "-C204"});
  ASSERT_TRUE(h.p.waitForStarted(5000));
  ASSERT_TRUE(h.waitForLine("error \"Audio device not found!\"", 5000)) << h.out.constData();
  ASSERT_TRUE(waitUntil([&] { return h.p.state() == QProcess::NotRunning; }, 1000))
      << "the program went on without a sound device";
  EXPECT_EQ(h.p.exitStatus(), QProcess::NormalExit);
  EXPECT_NE(h.p.exitCode(), 0);
  SettingsRecord saved;
  ASSERT_TRUE(loadSettingsRecord(saved, dir.path())) << "the settings were not saved";
  EXPECT_EQ(saved.account().accountId(), "204");
}

TEST(HalvernProgram, WithoutADisplayTheWindowProgramSaysWhatToDoAndHelpNeedsNone) {
  app();
  if (!std::getenv("HALVERN")) GTEST_SKIP() << "HALVERN not set";
  TempDir dir;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  for (const QStringList& args : {QStringList{"-C204"}, QStringList{"--help"}}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(dir.path()));
    p.start(QString::fromLocal8Bit(std::getenv("HALVERN")), args);
    ASSERT_TRUE(p.waitForFinished(10000));
    if (args.first() == "--help") {
      EXPECT_EQ(p.exitCode(), 0);
      EXPECT_TRUE(p.readAllStandardOutput().startsWith("usage: halvern"));
    } else {
      EXPECT_EQ(p.exitCode(), 1);
      EXPECT_TRUE(p.readAllStandardError().contains("--headless"));
    }
  }
  // Neither touched the folder.
  EXPECT_FALSE(std::filesystem::exists(dir.file("Settings.bin")));
}

}  // namespace
}  // namespace halvern::ui
