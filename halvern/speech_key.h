// Speech key agreement with the exchange. A registration request offers a
// random 32-byte k enciphered with the exchange's public key (exponent 3):
// E = k^3 mod N in a 96-byte field. The accept may answer with a 96-byte
// value X; both sides then derive S = X^k mod N and from it the 32-byte
// speech key. With exponent 3 and a 256-bit k this keeps speech out of
// casual view only: anyone who records E can usually take its cube root.
//
// Numbers and bytes: a byte string is read as an unsigned big-endian
// integer; a number is written as its minimal big-endian bytes at the start
// of its 96-byte field, zero behind.
#pragma once

#include "halvern/speech_cipher.h"
#include "halvern/tarnet.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace halvern {

inline constexpr std::size_t kKeyFieldSize = 96, kRandomKeySize = 32;
// The exchange's modulus has this many bits.
inline constexpr int kModulusBits = 768;

using KeyField = std::array<std::uint8_t, kKeyFieldSize>;
using RandomKey = std::array<std::uint8_t, kRandomKeySize>;
// Fills the buffer with unpredictable bytes; false when it cannot.
using RandomSource = std::function<bool(std::uint8_t* out, std::size_t size)>;

// The exchange's modulus as decimal text: the environment variable
// HALVERN_MODULUS when set, else the one built in (the build option of the
// same name; empty when none).
std::string modulusText();

// The exchange's public modulus N.
class Modulus {
 public:
  // Nothing unless `decimal` is an odd decimal number of 768 bits.
  static std::optional<Modulus> parse(std::string_view decimal);

  // E = k^3 mod N in its field when E fills all 96 bytes (E >= 2^760);
  // nothing otherwise (k is then drawn again) or on a library failure.
  std::optional<KeyField> offeredKey(const RandomKey& k) const;
  // S = X^k mod N in its field.
  std::optional<KeyField> shared(const KeyField& x, const RandomKey& k) const;

 private:
  struct Number;
  explicit Modulus(std::shared_ptr<const Number> n) : n_(std::move(n)) {}
  std::shared_ptr<const Number> n_;
};

// The speech key from S: the first 16 bytes of HMAC-SHA1(key S[24..47],
// message S[0..23]) followed by the first 16 of HMAC-SHA1(key S[72..95],
// message S[48..71]).
SpeechKey speechKeyFrom(const KeyField& s);

// The keyset's key material: the ring of ready key pairs, the pair taken
// for registration, the derived speech key and the speech ciphers it loads.
// Without a usable modulus no pair is ever offered (41-byte requests,
// speech in clear).
class SpeechKeys final : public KeyMaterial {
 public:
  static constexpr std::size_t kSlots = 4;
  // A k whose E does not fill its field is drawn again; after this many
  // draws in a row the ring stays as it is.
  static constexpr int kDrawLimit = 64;

  explicit SpeechKeys(SpeechCipher& cipher, std::string modulus = modulusText(), RandomSource random = {});

  void restart() override;
  std::optional<SpeechKeyBlock> nextKeyPair() override;
  void accepted(const ExchangeKeyValue* exchangeValue) override;
  void speechPathOpened() override;

  // Pairs in the ring ready to be taken (at most 3).
  std::size_t readyPairs() const { return (write_ + kSlots - read_) % kSlots; }
  bool keyEstablished() const { return speechKey_.has_value(); }

 private:
  struct Pair {
    RandomKey k{};
    KeyField e{};
  };
  void fill();
  void derive(const KeyField& x);

  SpeechCipher& cipher_;
  std::string modulusText_;
  RandomSource random_;
  std::optional<Modulus> modulus_;
  std::array<Pair, kSlots> ring_{};
  std::size_t read_ = 0, write_ = 0;
  std::optional<RandomKey> taken_;
  std::optional<SpeechKey> speechKey_;
};

}  // namespace halvern
