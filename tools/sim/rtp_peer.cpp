// corvane-sim's speech peer (see rtp_peer.h).
#include "tools/sim/rtp_peer.h"

#include "common/byte_io.h"
#include "halvern/audio_device.h"

#include <algorithm>
#include <cstdlib>

namespace corvane::sim {

namespace {

const char* dropName(halvern::RtpDrop d) {
  switch (d) {
    case halvern::RtpDrop::TooLong: return "too long";
    case halvern::RtpDrop::BadHeader: return "bad header";
    case halvern::RtpDrop::HeaderOverrun: return "header overrun";
    case halvern::RtpDrop::CipherLength: return "not whole cipher blocks";
    case halvern::RtpDrop::BadPadding: return "bad padding";
    case halvern::RtpDrop::NoFrame: return "no whole frame";
  }
  return "?";
}

std::string describe(std::uint16_t sequence, std::uint32_t timestamp, std::size_t frames) {
  return "seq " + std::to_string(sequence) + " ts " + std::to_string(timestamp) + " " + std::to_string(frames) +
         " frames";
}

void putBe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (24 - 8 * i));
}

}  // namespace

std::optional<PacketSet> PacketSet::parse(std::string_view text) {
  PacketSet s;
  constexpr std::string_view kEvery = "every:";
  if (text.starts_with(kEvery)) {
    const std::string n(text.substr(kEvery.size()));
    char* end = nullptr;
    s.every = int(std::strtol(n.c_str(), &end, 10));
    if (n.empty() || *end || s.every < 1) return std::nullopt;
    return s;
  }
  std::string item;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ',') {
      item += text[i];
      continue;
    }
    char* end = nullptr;
    const long n = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end || n < 1) return std::nullopt;
    s.numbers.insert(int(n));
    item.clear();
  }
  return s;
}

RtpPeer::RtpPeer(RtpMode mode, RtpPeerOutput& out, RtpFaults faults, std::uint32_t ssrc)
    : mode_(mode), out_(out), faults_(std::move(faults)), ssrc_(ssrc) {
  playStream_.sender.reset(ssrc_);
}

bool RtpPeer::setKey(const std::optional<halvern::SpeechKey>& key) {
  if (key) return cipher_.load(*key);
  cipher_.clear();
  return true;
}

void RtpPeer::received(const std::string& from, std::span<const std::uint8_t> datagram, std::int64_t nowMs) {
  ++counts_.received;
  const halvern::RtpParse p = halvern::parseRtp(datagram, &cipher_);
  if (p.drop) {
    ++counts_.dropped;
    out_.logPacket("recv", from, datagram, std::string("dropped: ") + dropName(*p.drop));
    return;
  }
  if (cipher_.active()) ++counts_.deciphered;
  out_.logPacket(
      "recv", from, datagram,
      describe(p.packet.sequence, p.packet.timestamp, p.packet.frameCount) + (cipher_.active() ? ", deciphered" : ""));
  switch (mode_) {
    case RtpMode::Echo: echo(from, corvane::ByteReader(datagram).be32(8), p.packet, nowMs); return;
    case RtpMode::Play:
      if (!playTarget_) {
        playTarget_ = from;
        playStart_ = nowMs;
      }
      return;
    case RtpMode::Bridge: {
      if (std::find(bridged_.begin(), bridged_.end(), from) == bridged_.end() && bridged_.size() < 2)
        bridged_.push_back(from);
      if (bridged_.size() < 2 || (from != bridged_[0] && from != bridged_[1])) return;
      const std::string& to = from == bridged_[0] ? bridged_[1] : bridged_[0];
      emit(to, {datagram.begin(), datagram.end()},
           "relayed " + describe(p.packet.sequence, p.packet.timestamp, p.packet.frameCount), nowMs);
      return;
    }
  }
}

void RtpPeer::echo(const std::string& from, std::uint32_t sourceSsrc, const halvern::RtpFrames& packet,
                   std::int64_t nowMs) {
  auto [it, fresh] = streams_.try_emplace(from);
  Stream& s = it->second;
  if (fresh) s.sender.reset(ssrc_ + std::uint32_t(streams_.size()));
  // A new call from the same source (its speech state reset) starts a new
  // timing.
  if (!s.started || s.source != sourceSsrc) {
    s.started = true;
    s.source = sourceSsrc;
    s.firstIn = packet.timestamp;
  }
  // The stream keeps the source's timing: a frame the source skipped (mute,
  // loss on the way in) is a gap in the echo too. Its own timestamps start
  // off the source's 80-sample grid, as an independent stream would.
  std::uint32_t timestamp = (s.sender.ssrc() & 0xFFFF) + 40 + (packet.timestamp - s.firstIn);
  const auto frames = packet.view();
  for (std::size_t at = 0; at < frames.size(); at += 10 * halvern::kCodedFrameSize) {
    const auto part = frames.subspan(at, std::min(frames.size() - at, 10 * halvern::kCodedFrameSize));
    halvern::RtpDatagram d;
    s.sender.build(part, &cipher_, d);
    std::vector<std::uint8_t> bytes(d.bytes.begin(), d.bytes.begin() + std::ptrdiff_t(d.size));
    putBe32(bytes, 4, timestamp);
    emit(from, std::move(bytes),
         describe(std::uint16_t(s.sender.sequence() - 1), timestamp, part.size() / halvern::kCodedFrameSize) +
             (cipher_.active() ? ", enciphered" : ""),
         nowMs);
    timestamp += std::uint32_t(part.size() / halvern::kCodedFrameSize * halvern::kSpeechSamples);
  }
}

void RtpPeer::playDue(std::int64_t nowMs) {
  if (!playTarget_) return;
  const std::size_t due = std::size_t(std::max<std::int64_t>(0, nowMs - playStart_) / kFrameMs);
  std::array<std::uint8_t, 10 * halvern::kCodedFrameSize> coded;
  std::array<std::int16_t, halvern::kSpeechSamples> pcm;
  while (!playDone() && due >= playedFrames_ + kFramesPerPacket) {
    // As the keyset's capture: 5 frames a packet, 10 when behind.
    const std::size_t n = due >= playedFrames_ + 2 * kFramesPerPacket ? 2 * kFramesPerPacket : kFramesPerPacket;
    for (std::size_t f = 0; f < n; ++f) {
      const std::size_t from = (playedFrames_ + f) * halvern::kSpeechSamples;
      for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = from + i < play_.size() ? play_[from + i] : 0;
      auto frame = std::span(coded).subspan(f * halvern::kCodedFrameSize).first<halvern::kCodedFrameSize>();
      encoder_.encode(pcm, frame);
      frame[0] ^= halvern::rtp::kFrameMask;
    }
    halvern::RtpDatagram d;
    const std::uint16_t sequence = playStream_.sender.sequence();
    const std::uint32_t timestamp = playStream_.sender.timestamp();
    playStream_.sender.build({coded.data(), n * halvern::kCodedFrameSize}, &cipher_, d);
    playedFrames_ += n;
    emit(*playTarget_, {d.bytes.begin(), d.bytes.begin() + std::ptrdiff_t(d.size)},
         describe(sequence, timestamp, n) + (cipher_.active() ? ", enciphered" : ""), nowMs);
  }
}

void RtpPeer::emit(const std::string& to, std::vector<std::uint8_t> bytes, std::string what, std::int64_t nowMs) {
  const int k = ++emitted_;
  const std::string number = " (fault " + std::to_string(k) + ")";
  if (faults_.loss.has(k)) {
    ++counts_.lost;
    out_.logPacket("lost", to, bytes, what + number);
    return;
  }
  if (faults_.truncated.has(k)) {
    bytes.resize(halvern::rtp::kHeaderSize - 4);
    what += ", header cut short";
  }
  if (faults_.badVersion.has(k)) {
    bytes[0] = std::uint8_t((bytes[0] & 0x3F) | 0x40);
    what += ", version 1";
  }
  if (faults_.badPadding.has(k) && bytes.size() > halvern::rtp::kHeaderSize) {
    breakPadding(bytes);
    what += ", padding beyond the payload";
  }
  Held h{nowMs + faults_.delayMs, to, what, std::move(bytes)};
  if (faults_.late.has(k)) {
    h.due += kLateMs;
    h.what += ", late";
  }
  if (faults_.reorder.has(k) && !reorderHeld_) {
    h.what += ", reordered";
    reorderHeld_ = std::move(h);
    return;
  }
  const std::int64_t due = h.due;
  const bool twice = faults_.duplicate.has(k);
  if (twice) queue(Held{h.due, h.to, h.what + ", repeated", h.bytes});
  queue(std::move(h));
  if (reorderHeld_) {
    reorderHeld_->due = std::max(reorderHeld_->due, due);
    queue(std::move(*reorderHeld_));
    reorderHeld_.reset();
  }
  flush(nowMs);
}

void RtpPeer::queue(Held h) {
  // In time order; packets due together keep the order they were made in.
  auto at =
      std::upper_bound(held_.begin(), held_.end(), h.due, [](std::int64_t due, const Held& x) { return due < x.due; });
  held_.insert(at, std::move(h));
}

void RtpPeer::breakPadding(std::vector<std::uint8_t>& bytes) {
  // The payload as the keyset reads it (deciphered), with its padding
  // count set one beyond the payload, enciphered again.
  std::vector<std::uint8_t> payload(bytes.begin() + halvern::rtp::kHeaderSize, bytes.end());
  const bool keyed = cipher_.active();
  if (keyed && payload.size() % halvern::rtp::kCipherBlock == 0) cipher_.decrypt(payload);
  if (!(bytes[0] & halvern::rtp::kPadded) || (keyed && payload.size() % halvern::rtp::kCipherBlock != 0)) {
    // Unpadded: room for a count is made (a whole block when enciphered).
    payload.resize(payload.size() + (keyed ? halvern::rtp::kCipherBlock : 1), 0);
  }
  payload.back() = std::uint8_t(std::min<std::size_t>(payload.size() + 1, 255));
  if (keyed) cipher_.encrypt(payload);
  bytes.resize(halvern::rtp::kHeaderSize);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  bytes[0] |= halvern::rtp::kPadded;
}

void RtpPeer::tick(std::int64_t nowMs) {
  if (mode_ == RtpMode::Play) playDue(nowMs);
  if (reorderHeld_ && nowMs >= reorderHeld_->due + kReorderLimitMs) {
    queue(std::move(*reorderHeld_));
    reorderHeld_.reset();
  }
  flush(nowMs);
}

void RtpPeer::flush(std::int64_t nowMs) {
  while (!held_.empty() && held_.front().due <= nowMs) {
    Held h = std::move(held_.front());
    held_.pop_front();
    ++counts_.sent;
    out_.logPacket("send", h.to, h.bytes, h.what);
    out_.sendTo(h.to, h.bytes);
  }
}

std::optional<std::vector<std::int16_t>> wavSamples(std::string_view file) {
  const auto sound = halvern::wavSoundBytes(file);
  if (!sound) return std::nullopt;
  const corvane::ByteReader r(*sound);
  std::vector<std::int16_t> samples(sound->size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::int16_t(r.le16(2 * i));
  return samples;
}

}  // namespace corvane::sim
