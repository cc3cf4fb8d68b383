// The softphone's recording download fed what an exchange may send: replies
// of any content and length (raw, or offers, blocks and confirmations built
// around the input with the right identifier and sequence), interleaved
// with refresh steps, Download commands and the socket's events. Traps when
// the client sends anything but its own requests, or keeps a file outside
// its recordings folder.
//
// Input: operations, one code byte and its operand bytes each.
#include "common/byte_io.h"
#include "common/voice_message.h"
#include "fuzz/fuzz_support.h"
#include "halvern/recording_client.h"

#include <cstdio>
#include <vector>

using namespace halvern;
using fuzzing::Reader;
namespace voicemsg = corvane::voicemsg;

namespace {

[[noreturn]] void violated(const char* what) {
  std::fprintf(stderr, "recording client invariant violated: %s\n", what);
  std::fflush(stderr);
  __builtin_trap();
}

constexpr std::uint32_t kSelector = 0xFFFFF204u;

struct CheckedWire : RecordingClientActions {
  std::string last;
  void sendDatagram(const std::string& d) override {
    if (d.size() < voicemsg::kHeadSize) violated("request shorter than its head");
    const std::uint8_t code = std::uint8_t(d[voicemsg::kCode]);
    const corvane::ByteReader in(d);
    if (in.le32(voicemsg::kIdentifier) != corvane::voiceIdentifier(code)) violated("identifier and code differ");
    const std::size_t want = code == corvane::kVoiceFileQuery  ? voicemsg::kShortRequestSize
                             : code == corvane::kVoiceBlock    ? voicemsg::kBlockRequestSize
                             : code == corvane::kVoiceFileDone ? voicemsg::kFileDoneSize
                                                               : 0;
    if (want == 0) violated("a request the keyset does not send");
    if (d.size() != want) violated("request of the wrong size");
    last = d;
  }
  void recordingFetched(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = fuzzing::scratchFolder("recording_client");
  fuzzing::emptyNowAndThen(dir, 500);
  Reader in{data, size};
  CheckedWire wire;
  RecordingClient client(dir, kSelector, in.byte() % 4, wire);
  auto feed = [&](const std::string& d) { client.onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size()); };
  // A reply to the last request: its identifier and sequence, then the rest.
  auto reply = [&](std::uint32_t key, std::size_t length) {
    std::string r(length, '\0');
    if (wire.last.size() >= voicemsg::kHeadSize && length >= voicemsg::kHeadSize) {
      corvane::ByteWriter w(r);
      const corvane::ByteReader last(wire.last);
      w.putLe32(voicemsg::kIdentifier, last.le32(voicemsg::kIdentifier));
      w.putLe32(voicemsg::kFileKey, key);
      w.putLe32(voicemsg::kSequence, last.le32(voicemsg::kSequence));
    }
    return r;
  };
  while (!in.empty()) {
    switch (in.byte() % 9) {
      case 0: feed(in.take(in.word() % 1300)); break;
      case 1: {
        std::string r = reply(kSelector, voicemsg::kOfferSize);
        corvane::ByteWriter w(r);
        w.putBytes(voicemsg::kOfferDescription, in.take(voicemsg::kOfferSize - voicemsg::kOfferDescription));
        w.putLe32(voicemsg::kOfferFileKey, kSelector);
        w.putLe32(voicemsg::kOfferDateWord, in.byte() & 1 ? in.word() : 0);
        w.putLe32(voicemsg::kOfferFileSize, in.word() % 5000);
        feed(r);
        break;
      }
      case 2: feed(reply(kSelector, voicemsg::kBlockData) + in.take(in.word() % 1100)); break;
      case 3: feed(reply(kSelector, voicemsg::kHeadSize)); break;
      case 4: {
        const unsigned n = in.byte();
        for (unsigned i = 0; i < n * 4; ++i) client.refreshStep();
        break;
      }
      case 5: client.download(); break;
      case 6: client.onConnected(); break;
      case 7: client.onPeerClosed(); break;
      case 8: client.setLanguage(in.byte() % 4); break;
    }
    const std::string& path = client.currentPath();
    if (!path.empty() && path.rfind(dir + "/Wav/", 0) != 0) violated("file outside the recordings folder");
  }
  return 0;
}
