// The CMDR link fed what a TCP peer may send: raw bytes and sealed frames
// in arbitrary splits, interleaved with ticks, peer closes, reconnects and
// store failures. Input: one option byte, then operations (one code byte
// and its operand bytes each).
#include "fuzz/fuzz_support.h"
#include "lumarc/app/texts.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/link_test_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>


using namespace lumarc;
using namespace lumarc::testing;

namespace {

const std::string& workDir() {
  static const std::string dir = fuzzing::scratchFolder("cmdr");
  return dir;
}

using fuzzing::Reader;

// A socket that, like the real one, delivers nothing after close().
struct Wire {
  FakeNet net;
  bool open = false;
  bool connected = false;  // the connect result was delivered as success
  StreamEvents* live() const { return open && connected ? net.events : nullptr; }
  // Delivers the one connect result of an open socket.
  void connectResult(bool ok) {
    if (!open || connected) return;
    connected = ok;
    net.events->onConnectResult(ok);
  }
};

class WireSocket : public StreamTransport {
 public:
  WireSocket(Wire& w, StreamEvents& e) : w_(w), inner_(w.net, e) {}
  ~WireSocket() override { w_.open = false; }
  OpenResult open(const std::string& host, uint16_t port) override {
    OpenResult r = inner_.open(host, port);
    w_.open = r.status == OpenResult::Status::Ok;
    w_.connected = false;
    return r;
  }
  bool send(std::string_view b) override {
    if (w_.net.sent.size() > 4096) w_.net.sent.clear();
    return inner_.send(b);
  }
  void close() override {
    w_.open = false;
    inner_.close();
  }

 private:
  Wire& w_;
  FakeSocket inner_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::emptyNowAndThen(workDir(), 2000);
  Reader in{data, size};
  uint8_t options = in.byte();
  Wire wire;
  FakeNet& net = wire.net;
  FakeSink sink;
  FakeView view;
  LinkEnvironment env;
  env.workDir = workDir();
  env.texts = (options & 2) ? &turkishTexts() : &englishTexts();
  env.view = &view;
  env.addToHistory = [](const ConnectionTarget&) {};
  env.now = [] { return std::time_t(1700000000); };
  {
    LinkList list(LinkKind::Cmdr, env, cmdrLinkFactory(
                      [&wire](StreamEvents& e) -> std::unique_ptr<StreamTransport> {
                        return std::make_unique<WireSocket>(wire, e);
                      },
                      sink));
    if (list.openLink("192.168.1.20") != 0) return 0;
    wire.connectResult(true);
    while (!in.empty()) {
      uint8_t op = in.byte();
      switch (op % 7) {
        case 0: {  // raw bytes
          std::string b = in.take(in.byte());
          if (wire.live()) wire.live()->onBytes(reinterpret_cast<const uint8_t*>(b.data()), b.size());
          break;
        }
        case 1: {  // one sealed frame, delivered in two parts
          CmdrFrame f{};
          std::string b = in.take(kCmdrFrameSize);
          std::memcpy(f.data(), b.data(), b.size());
          sealCmdrFrame(f);
          size_t cut = in.byte() % (kCmdrFrameSize + 1);
          if (wire.live()) {
            wire.live()->onBytes(f.data(), cut);
            if (wire.live()) wire.live()->onBytes(f.data() + cut, kCmdrFrameSize - cut);
          }
          break;
        }
        case 2: {  // ticks, up to past the reconnect wait
          int n = int(in.byte()) * 16;
          for (int i = 0; i < n; ++i) list.tick();
          break;
        }
        case 3:
          if (wire.live()) wire.live()->onPeerClosed();
          break;
        case 4:
          wire.connectResult(in.byte() & 1);
          break;
        case 5:
          sink.mode = FakeSink::Mode(in.byte() % 3);  // Store, Fail, CountersFail
          break;
        case 6:
          net.next.status = (in.byte() & 1) ? OpenResult::Status::Ok : OpenResult::Status::ConnectFailed;
          break;
      }
    }
  }
  return 0;
}
