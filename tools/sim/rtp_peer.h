// corvane-sim's speech peer: the exchange's end of a keyset's speech
// stream, without a socket of its own. It is fed received datagrams and
// clock ticks (milliseconds) and acts through RtpPeerOutput. Three modes:
// echo (every received frame goes back to its source in a stream of the
// peer's own), play (a WAV file coded with G.729A, paced and shaped as the
// keyset's own sender does: one packet of 5 frames every 50 ms) and bridge
// (packets relayed between the first two sources). Faults pick outgoing
// packets by number; with a speech key the peer deciphers and enciphers
// exactly as the keyset does.
#pragma once

#include "halvern/g729.h"
#include "halvern/rtp.h"
#include "halvern/speech_cipher.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::sim {

// Where the peer's packets go and what it has to say about each one.
// Addresses are the caller's own text for a source ("HOST:PORT").
class RtpPeerOutput {
 public:
  virtual ~RtpPeerOutput() = default;
  virtual void sendTo(const std::string& to, std::span<const std::uint8_t> datagram) = 0;
  // One line per packet: dir is "recv", "send" or "lost".
  virtual void logPacket(const char* dir, const std::string& peer, std::span<const std::uint8_t> datagram,
                         const std::string& what) = 0;
};

// Outgoing packets a fault hits, counted from 1: listed numbers ("3,7"),
// or every Nth ("every:N").
struct PacketSet {
  std::set<int> numbers;
  int every = 0;
  bool has(int n) const { return numbers.count(n) || (every > 0 && n % every == 0); }
  // Nothing for text that is neither form.
  static std::optional<PacketSet> parse(std::string_view text);
};

struct RtpFaults {
  PacketSet loss;        // never sent
  PacketSet reorder;     // sent right after the packet that follows it
  PacketSet duplicate;   // sent twice
  PacketSet late;        // held back beyond the keyset's jitter window
  PacketSet truncated;   // cut inside its header
  PacketSet badVersion;  // version 1
  PacketSet badPadding;  // padding count beyond the payload
  int delayMs = 0;       // every packet held this long
};

enum class RtpMode : std::uint8_t { Echo, Play, Bridge };

struct RtpPeerCounts {
  std::size_t received = 0, deciphered = 0, dropped = 0, sent = 0, lost = 0;
};

class RtpPeer {
 public:
  // A late packet is held this long: well beyond the keyset's 100 ms play
  // delay, so its frames are behind the play position when it arrives.
  static constexpr std::int64_t kLateMs = 300;
  // A packet held for reordering goes out alone when no other follows.
  static constexpr std::int64_t kReorderLimitMs = 200;
  static constexpr std::int64_t kFrameMs = 10;
  static constexpr std::size_t kFramesPerPacket = 5;

  RtpPeer(RtpMode mode, RtpPeerOutput& out, RtpFaults faults = {}, std::uint32_t ssrc = 0x51A7E000);

  // Play mode: the samples played (8 kHz mono) to the first source heard.
  void setPlaySamples(std::vector<std::int16_t> samples) { play_ = std::move(samples); }
  // Speech in clear without a key; with one, enciphered both ways. False
  // when the cipher library fails (speech is then in clear).
  bool setKey(const std::optional<halvern::SpeechKey>& key);

  void received(const std::string& from, std::span<const std::uint8_t> datagram, std::int64_t nowMs);
  // Sends what is due: played packets and packets held back by faults.
  void tick(std::int64_t nowMs);

  const RtpPeerCounts& counts() const { return counts_; }
  // Play mode: every sample has been sent.
  bool playDone() const { return playTarget_ && playedFrames_ * halvern::kSpeechSamples >= play_.size(); }

 private:
  struct Stream {
    halvern::RtpSender sender;
    std::uint32_t source = 0, firstIn = 0;  // the source's SSRC and first timestamp
    bool started = false;
  };
  struct Held {
    std::int64_t due = 0;
    std::string to, what;
    std::vector<std::uint8_t> bytes;
  };
  void echo(const std::string& from, std::uint32_t sourceSsrc, const halvern::RtpFrames& packet, std::int64_t nowMs);
  void playDue(std::int64_t nowMs);
  // A packet of the peer's own (or relayed), through the faults.
  void emit(const std::string& to, std::vector<std::uint8_t> bytes, std::string what, std::int64_t nowMs);
  void queue(Held h);
  // Sends the held packets that are due.
  void flush(std::int64_t nowMs);
  void breakPadding(std::vector<std::uint8_t>& bytes);

  RtpMode mode_;
  RtpPeerOutput& out_;
  RtpFaults faults_;
  std::uint32_t ssrc_;
  halvern::SpeechCipher cipher_;
  RtpPeerCounts counts_;
  int emitted_ = 0;

  std::map<std::string, Stream> streams_;  // echo: one per source
  std::vector<std::string> bridged_;       // bridge: the first two sources

  std::vector<std::int16_t> play_;
  std::optional<std::string> playTarget_;
  std::int64_t playStart_ = 0;
  std::size_t playedFrames_ = 0;
  halvern::G729Encoder encoder_;
  Stream playStream_;

  std::deque<Held> held_;            // in the order they go out
  std::optional<Held> reorderHeld_;  // waits for the next packet
};

// The samples of an 8 kHz mono 16-bit PCM WAV image; nothing when it is not one.
std::optional<std::vector<std::int16_t>> wavSamples(std::string_view file);

}  // namespace corvane::sim
