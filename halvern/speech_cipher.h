// The two speech ciphers: AES-256 in ECB mode, one context for sending and
// one for receiving, both keyed with the speech key. Each 16-byte block of a
// speech payload is enciphered on its own; the RTP packets pad the payload
// to whole blocks. Off (speech in clear) until a key is loaded. Loading
// and use may come from different threads; a lock keeps them apart.
#pragma once

#include "halvern/rtp.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

namespace halvern {

using SpeechKey = std::array<std::uint8_t, 32>;

class SpeechCipher final : public SpeechCipherHook {
 public:
  SpeechCipher();
  ~SpeechCipher() override;
  SpeechCipher(const SpeechCipher&) = delete;
  SpeechCipher& operator=(const SpeechCipher&) = delete;

  // Keys both directions. False (and the ciphers off) when the library
  // fails.
  bool load(const SpeechKey& key);
  // Both directions off: speech in clear.
  void clear();
  bool active() const override;

  // In place. Precondition: whole 16-byte blocks. When off, nothing
  // changes; should the library fail, the blocks are zeroed rather than
  // left half done.
  void encrypt(std::span<std::uint8_t> blocks) override;
  void decrypt(std::span<std::uint8_t> blocks) override;

 private:
  struct Contexts;
  void run(bool sending, std::span<std::uint8_t> blocks);

  mutable std::mutex mutex_;
  std::unique_ptr<Contexts> contexts_;
  bool active_ = false;
};

}  // namespace halvern
