// The softphone's speech receive path fed what the network may send: RTP
// datagrams of any content and length (raw, or a valid header around the
// input, the kind the jitter buffer takes), clear or enciphered, with
// play-outs of 1 to 10 frames in between. Traps when a play-out writes
// anything but whole frames into its region or the receive counts lose a
// datagram.
//
// Input: operations, one code byte and its operand bytes each.
#include "fuzz/fuzz_support.h"
#include "halvern/speech_cipher.h"
#include "halvern/speech_path.h"

#include <array>
#include <cstdio>
#include <vector>

using namespace halvern;
using fuzzing::Reader;

namespace {

[[noreturn]] void violated(const char* what) {
  std::fprintf(stderr, "speech receive invariant violated: %s\n", what);
  std::fflush(stderr);
  __builtin_trap();
}

struct NoSink : SpeechSink {
  void sendDatagram(std::span<const std::uint8_t>) override {}
};

// A header the receiver accepts: version 2, payload type 72, the given
// sequence and timestamp, then the payload as given.
std::string rtpAround(std::uint16_t seq, std::uint32_t timestamp, const std::string& payload) {
  std::string d(12, '\0');
  d[0] = char(0x80);
  d[1] = char(72);
  d[2] = char(seq >> 8);
  d[3] = char(seq);
  for (int i = 0; i < 4; ++i) d[4 + i] = char(timestamp >> (24 - 8 * i));
  return d + payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SpeechCipher cipher;
  Reader in{data, size};
  NoSink sink;
  SpeechPath path(sink);
  cipher.clear();
  path.setCipher(&cipher);
  path.reset(in.word());
  std::size_t queued = 0;
  std::uint16_t seq = 0;
  std::uint32_t timestamp = 0;
  std::vector<std::uint8_t> out(10 * kAudioFrameBytes);
  auto feed = [&](const std::string& d) {
    path.queueDatagram({reinterpret_cast<const std::uint8_t*>(d.data()), d.size()});
    ++queued;
  };
  while (!in.empty()) {
    switch (in.byte() % 6) {
      case 0: feed(in.take(in.byte())); break;
      case 1: {
        // Mostly the next packet on the grid, sometimes anywhere.
        const std::uint8_t how = in.byte();
        timestamp += how & 0x80 ? in.word() : 80u * (how & 0x0F);
        feed(rtpAround(seq++, timestamp, in.take(in.byte() % 128)));
        break;
      }
      case 2: {
        const std::size_t frames = 1 + in.byte() % 10;
        // A marker beyond the region shows a play-out writing past it.
        out.assign(out.size(), 0x5A);
        path.playOut({out.data(), frames * kAudioFrameBytes}, in.byte() & 1);
        for (std::size_t i = frames * kAudioFrameBytes; i < out.size(); ++i)
          if (out[i] != 0x5A) violated("play-out wrote past its region");
        // Every queued datagram (up to the queue's size) is now counted.
        const SpeechReceiveCounts& c = path.counts();
        if (c.stored + c.dropped + c.ignoredFar > queued) violated("more datagrams counted than queued");
        break;
      }
      case 3: {
        SpeechKey key{};
        for (auto& b : key) b = in.byte();
        cipher.load(key);
        break;
      }
      case 4: cipher.clear(); break;
      case 5:
        path.reset(in.word());
        queued = 0;
        break;
    }
  }
  return 0;
}
