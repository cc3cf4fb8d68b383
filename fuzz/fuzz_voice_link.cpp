// The voice download link fed what UDP peers may send on its 32 channels:
// raw datagrams, and replies that carry the identifier and sequence number
// of the channel's last request (so that the fuzzer gets past the header
// checks into the channel list, offer, block and done handling), between
// ticks and store failures. Input: operations (a code byte and operands).
#include "common/byte_io.h"
#include "fuzz/fuzz_support.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/link_test_support.h"
#include "lumarc/links/voice_link.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace lumarc;
using namespace lumarc::testing;

namespace {

const std::string& workDir() {
  static const std::string dir = fuzzing::scratchFolder("voice");
  return dir;
}

using fuzzing::Reader;

// The channels' sockets: events go only to an open socket, as with the real one.
struct Net {
  struct Channel {
    DatagramEvents* events = nullptr;
    bool open = false;
    std::string last;  // last datagram sent
  };
  std::vector<Channel> ch;
  bool failOpen = false;
};

class Socket : public DatagramTransport {
 public:
  Socket(Net& net, size_t i) : net_(net), i_(i) {}
  ~Socket() override { net_.ch[i_].open = false; }
  OpenResult open(const std::string&, uint16_t) override {
    OpenResult r;
    r.status = net_.failOpen ? OpenResult::Status::ConnectFailed : OpenResult::Status::Ok;
    uint32_t a = 0x7F000001;
    std::memcpy(r.address, &a, 4);
    net_.ch[i_].open = r.status == OpenResult::Status::Ok;
    return r;
  }
  bool send(std::string_view b) override {
    net_.ch[i_].last.assign(b);
    return true;
  }
  void close() override { net_.ch[i_].open = false; }

 private:
  Net& net_;
  size_t i_;
};

struct Sink : VoiceRecordSink {
  bool fail = false;
  VoiceStoreOutcome storeVoiceRecord(const VoiceRecord&) override {
    VoiceStoreOutcome o;
    o.stored = !fail;
    if (fail) o.error = "disk I/O error";
    return o;
  }
};

// A reply head to request req: its identifier, word4, its sequence number;
// size bytes in all.
std::string replyHead(const std::string& req, uint32_t word4, size_t size) {
  const corvane::ByteReader r(req);
  std::string s(size, '\0');
  corvane::ByteWriter w(s);
  w.putLe32(voicemsg::kIdentifier, r.le32(voicemsg::kIdentifier));
  w.putLe32(voicemsg::kFileKey, word4);
  w.putLe32(voicemsg::kSequence, r.le32(voicemsg::kSequence));
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::emptyNowAndThen(workDir(), 500);
  Reader in{data, size};
  Net net;
  Sink sink;
  FakeView view;
  LinkEnvironment env;
  env.workDir = workDir();
  env.messageText = linkMessages(englishTexts());
  env.view = &view;
  env.addToHistory = [](const ConnectionTarget&) {};
  env.now = [] { return std::time_t(1700000000); };
  VoiceLinkSetup setup;
  setup.makeSocket = [&net](DatagramEvents& e) -> std::unique_ptr<DatagramTransport> {
    net.ch.push_back(Net::Channel{&e, false, {}});
    return std::make_unique<Socket>(net, net.ch.size() - 1);
  };
  setup.sink = &sink;
  setup.labelChanged = [](int, const std::string&) {};
  {
    LinkList list(LinkKind::Voice, env, voiceLinkFactory(setup));
    if (list.openLink("127.0.0.1") != 0) return 0;
    auto deliver = [&](size_t c, const std::string& d) {
      if (c < net.ch.size() && net.ch[c].open)
        net.ch[c].events->onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    };
    while (!in.empty()) {
      uint8_t op = in.byte();
      size_t c = net.ch.empty() ? 0 : (op >> 3) % net.ch.size();
      switch (op & 7) {
        case 0: {  // raw datagram
          size_t len = size_t(in.byte()) * 8 + in.byte() % 8;
          deliver(c, in.take(len));
          break;
        }
        case 1:
        case 2: {  // a reply to the channel's last request: word 4 echoed, all ones or given
          if (c >= net.ch.size() || net.ch[c].last.size() < 12) break;
          const std::string& req = net.ch[c].last;
          uint8_t how = in.byte();
          const uint32_t word4 = how % 3 == 0   ? corvane::ByteReader(req).le32(voicemsg::kFileKey)
                                 : how % 3 == 1 ? 0xFFFFFFFFu
                                                : in.word();
          std::string s = replyHead(req, word4, voicemsg::kHeadSize);
          size_t len = size_t(in.byte()) * ((op & 7) == 2 ? 8 : 1);
          s += in.take(len);
          deliver(c, s);
          break;
        }
        case 3: {  // a channel list naming loopback ports
          if (c >= net.ch.size() || net.ch[c].last.size() < 12) break;
          const std::string& req = net.ch[c].last;
          size_t n = in.byte() % 34;
          uint16_t len = uint16_t(n * 6 + (in.byte() % 4 == 0 ? in.byte() % 6 : 0));
          std::string s = replyHead(req, 0, voicemsg::kListEntries + n * voicemsg::kIpv4EntrySize);
          corvane::ByteWriter w(s);
          w.putLe16(voicemsg::kListLength, len);
          for (size_t i = 0; i < n; ++i) {
            const size_t at = voicemsg::kListEntries + i * voicemsg::kIpv4EntrySize;
            w.putLe32(at, in.byte() % 8 ? 0x7F000001u : in.word());
            w.putLe16(at + 4, uint16_t(9000 + in.byte()));
          }
          deliver(c, s);
          break;
        }
        case 4: {  // ticks, past the retry limits now and then
          int n = in.byte();
          if (n > 200) n = (n - 200) * 50;
          for (int i = 0; i < n; ++i) list.tick();
          break;
        }
        case 5: sink.fail = in.byte() & 1; break;
        case 6: net.failOpen = in.byte() % 8 == 0; break;
        case 7:  // a datagram longer than the receive buffer
          deliver(c, std::string(kVoiceReceiveBuffer + in.byte(), char(in.byte())));
          break;
      }
    }
  }
  return 0;
}
