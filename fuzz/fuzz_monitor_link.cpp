// The monitor link fed what a UDP peer may send: raw datagrams, framed
// payloads, the exchange's answers and records (for the link's own hpidx
// and the next sequence number or any other) between ticks. Input:
// operations (a code byte and operands).
#include "fuzz/fuzz_support.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/bracket_frame.h"
#include "lumarc/links/link_test_support.h"
#include "lumarc/links/monitor_link.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace lumarc;
using namespace lumarc::testing;

namespace {

const std::string& workDir() {
  static const std::string dir = fuzzing::scratchFolder("monitor");
  return dir;
}

using fuzzing::Reader;

// The link's socket: events only while open, as with the real one.
struct Net {
  DatagramEvents* events = nullptr;
  bool open = false;
  size_t sent = 0;
};

class Socket : public DatagramTransport {
 public:
  explicit Socket(Net& net) : net_(net) {}
  ~Socket() override { net_.open = false; }
  OpenResult open(const std::string&, uint16_t) override {
    OpenResult r;
    r.status = OpenResult::Status::Ok;
    uint32_t a = 0x7F000001;
    std::memcpy(r.address, &a, 4);
    net_.open = true;
    return r;
  }
  bool send(std::string_view) override {
    ++net_.sent;
    return true;
  }
  void close() override { net_.open = false; }

 private:
  Net& net_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::emptyNowAndThen(workDir(), 1000);
  Reader in{data, size};
  Net net;
  FakeView view;
  LinkEnvironment env;
  env.workDir = workDir();
  env.messageText = linkMessages(englishTexts());
  env.view = &view;
  env.addToHistory = [](const ConnectionTarget&) {};
  env.now = [] { return std::time_t(1700000000); };
  MonitorLinkSetup setup;
  setup.makeSocket = [&net](DatagramEvents& e) -> std::unique_ptr<DatagramTransport> {
    net.events = &e;
    return std::make_unique<Socket>(net);
  };
  bool layer2 = false;
  setup.decodeOptions = [&layer2] {
    DecodeOptions o;
    o.layer2 = layer2;
    return o;
  };
  {
    LinkList list(LinkKind::Monitor, env, monitorLinkFactory(setup));
    if (list.openLink("127.0.0.1:9876,secret-12AB") != 0) return 0;
    auto* link = static_cast<MonitorLink*>(list.link(0));
    uint16_t sequence = 1;
    auto deliver = [&](const std::string& d) {
      if (net.open) net.events->onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    };
    while (!in.empty()) {
      uint8_t op = in.byte();
      switch (op % 8) {
        case 0:  // raw datagram
          deliver(in.take(size_t(in.byte()) * 4));
          break;
        case 1:  // any payload, framed
          deliver(encodeBracketFrame(in.take(in.byte())));
          break;
        case 2: deliver(encodeBracketFrame(monitorLoginAcceptedPayload())); break;
        case 3: {
          uint16_t hpidx = in.byte();
          hpidx = uint16_t(hpidx << 8 | in.byte());
          deliver(encodeBracketFrame((op & 8) ? monitorAccessUnknownPayload() : monitorAccessAcceptedPayload(hpidx)));
          break;
        }
        case 4: {  // a record: the next one for the link's hpidx, or another
          MonitorFrame f{};
          std::string b = in.take(f.size());
          std::memcpy(f.data(), b.data(), b.size());
          uint16_t hpidx = (op & 8) ? uint16_t(in.byte()) : link->hpidx();
          uint16_t seq = (op & 16) ? uint16_t(in.byte()) : sequence++;
          deliver(encodeBracketFrame(monitorRecordPayload(seq, hpidx, in.byte(), f)));
          break;
        }
        case 5: {  // ticks, past the time-outs now and then
          int n = in.byte();
          if (n > 200) n = (n - 200) * 20;
          for (int i = 0; i < n; ++i) list.tick();
          break;
        }
        case 6: deliver(monitorRefusalDatagram()); break;
        case 7: layer2 = !layer2; break;
      }
    }
  }
  return 0;
}
