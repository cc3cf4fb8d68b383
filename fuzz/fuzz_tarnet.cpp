// The keyset signalling engine fed what an exchange may send: datagrams of
// any content and length (raw, or link frames and elements built around
// the input), interleaved with ticks, key presses, hook toggles, connects
// and resets. Traps when the keyset sends something that is not one of its
// own messages, a data frame longer than 17 bytes, or a send number outside
// its window.
//
// Input: operations, one code byte and its operand bytes each.
#include "fuzz/fuzz_support.h"
#include "halvern/tarnet.h"
#include "halvern/tarnet_frame.h"

#include <cstdio>
#include <cstdlib>

using namespace halvern;
using fuzzing::Reader;

namespace {

[[noreturn]] void violated(const char* what) {
  std::fprintf(stderr, "tarnet invariant violated: %s\n", what);
  std::fflush(stderr);
  __builtin_trap();
}

class CheckedWire : public TarnetTransport {
 public:
  void send(std::string_view d) override {
    const Bytes b = asBytes(d);
    if (decodeRegistrationRequest(b) || decodeUnregister(b)) return;
    const auto frame = decodeKeysetLinkFrame(b);
    if (!frame) violated("not a keyset message");
    if (frame->type != tarnet::kDataFrame) return;
    KeysetElementReader elements(frame->elements);
    while (elements.next()) {
    }
    if (elements.stopped()) violated("data frame with an element the keyset does not send");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  CheckedWire wire;
  NullSpeech speech;
  PlainKeys keys;
  Tarnet tarnet(wire, speech, keys);
  AccountBlock account;
  account.setHost("127.0.0.1");
  account.setAccountId("204");
  account.setPassword("twelve-chars");
  tarnet.reset(account);
  tarnet.tick();
  tarnet.onConnected(PeerAddress::v4(0x7F000001));
  auto feed = [&](const std::string& d) { tarnet.onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size()); };
  while (!in.empty()) {
    switch (in.byte() % 10) {
      case 0: feed(in.take(in.byte())); break;
      case 1: {
        const unsigned n = in.byte() % 32;
        for (unsigned i = 0; i < n; ++i) tarnet.tick();
        break;
      }
      case 2: tarnet.pressKey(uint16_t(in.word())); break;
      case 3: tarnet.toggleHook(); break;
      case 4: {
        RegistrationAccept a;
        a.terminalId = uint16_t(in.word());
        feed(buildRegistrationAccept(a));
        feed(buildLinkReady());
        break;
      }
      case 5: feed(buildExchangeAcknowledge(in.byte())); break;
      case 6: {
        const uint8_t header = in.byte();
        feed(buildExchangeDataFrame(header >> 4, header, in.take(in.byte())));
        break;
      }
      case 7: tarnet.unregister(); break;
      case 8: tarnet.onConnected(PeerAddress::v4(in.word())); break;
      case 9:
        if (in.byte() == 0) {
          tarnet.reset(account);
          tarnet.tick();
        }
        break;
    }
    const KeysetSnapshot s = tarnet.snapshot();
    if (s.displayLine(7).size() != kDisplayColumns) violated("display line size");
  }
  return 0;
}
