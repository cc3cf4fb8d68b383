// corvane-sim speech: the exchange's side of the speech key agreement. The
// exchange holds an RSA key of exponent 3; a keyset that knows its modulus
// (HALVERN_MODULUS) offers k enciphered as E, the exchange reads k back and
// answers with X in its accept; both then key their speech ciphers with the
// same speech key.
#pragma once

#include "halvern/speech_key.h"

#include <memory>
#include <optional>
#include <string>

namespace corvane::sim {

class ExchangeSpeechKey {
 public:
  // A fresh 768-bit key of exponent 3 made with OpenSSL; nothing when the
  // library fails.
  static std::optional<ExchangeSpeechKey> make();

  // N as decimal text, as the keyset takes it.
  const std::string& modulusDecimal() const { return decimal_; }
  // The keyset's k from its offered field (read as one big-endian number);
  // nothing when the field is not below N or k does not fit 32 bytes.
  std::optional<halvern::RandomKey> recoverKey(const halvern::SpeechKeyBlock& e) const;

  // The accept's value X (random, non-zero, below N) and the speech key
  // both sides derive from it and k.
  struct Answer {
    halvern::ExchangeKeyValue x{};
    halvern::SpeechKey key{};
  };
  std::optional<Answer> answer(const halvern::RandomKey& k) const;

 private:
  struct Key;
  explicit ExchangeSpeechKey(std::shared_ptr<const Key> key);
  std::shared_ptr<const Key> key_;
  std::string decimal_;
};

}  // namespace corvane::sim
