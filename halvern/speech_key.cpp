#include "halvern/speech_key.h"

#include "common/crypto.h"

#include <openssl/bn.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cstdlib>

#ifndef HALVERN_BUILT_IN_MODULUS
#define HALVERN_BUILT_IN_MODULUS ""
#endif

namespace halvern {

namespace {

struct BnFree {
  void operator()(BIGNUM* n) const { BN_clear_free(n); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
struct CtxFree {
  void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};

Bn number(const std::uint8_t* bytes, std::size_t size) { return Bn(BN_bin2bn(bytes, int(size), nullptr)); }

// Minimal big-endian bytes at the start, zero behind.
std::optional<KeyField> field(const BIGNUM* n) {
  KeyField f{};
  const int size = BN_num_bytes(n);
  if (size > int(f.size()) || (size > 0 && BN_bn2bin(n, f.data()) != size)) return std::nullopt;
  return f;
}

// base^exponent mod n. The exponent may be the secret k, so the
// exponentiation runs in constant time.
Bn power(const BIGNUM* n, const std::uint8_t* base, std::size_t baseSize, const std::uint8_t* exponent,
         std::size_t exponentSize) {
  std::unique_ptr<BN_CTX, CtxFree> ctx(BN_CTX_new());
  Bn b = number(base, baseSize), e = number(exponent, exponentSize), result(BN_new());
  if (!ctx || !b || !e || !result) return nullptr;
  BN_set_flags(e.get(), BN_FLG_CONSTTIME);
  if (BN_mod_exp(result.get(), b.get(), e.get(), n, ctx.get()) != 1) return nullptr;
  return result;
}

}  // namespace

std::string modulusText() {
  if (const char* text = std::getenv("HALVERN_MODULUS")) return text;
  return HALVERN_BUILT_IN_MODULUS;
}

// ---- the modulus ----

struct Modulus::Number {
  Bn n;
};

std::optional<Modulus> Modulus::parse(std::string_view decimal) {
  if (decimal.empty() || decimal.size() > 300 ||
      !std::all_of(decimal.begin(), decimal.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  BIGNUM* n = nullptr;
  const std::string text(decimal);
  if (BN_dec2bn(&n, text.c_str()) != int(text.size())) {
    BN_free(n);
    return std::nullopt;
  }
  auto number = std::make_shared<Number>(Number{Bn(n)});
  if (BN_num_bits(number->n.get()) != kModulusBits || !BN_is_odd(number->n.get())) return std::nullopt;
  return Modulus(std::move(number));
}

std::optional<KeyField> Modulus::offeredKey(const RandomKey& k) const {
  static const std::uint8_t three = 3;
  const Bn e = power(n_->n.get(), k.data(), k.size(), &three, 1);
  if (!e || BN_num_bytes(e.get()) != int(kKeyFieldSize)) return std::nullopt;
  return field(e.get());
}

std::optional<KeyField> Modulus::shared(const KeyField& x, const RandomKey& k) const {
  const Bn s = power(n_->n.get(), x.data(), x.size(), k.data(), k.size());
  if (!s) return std::nullopt;
  return field(s.get());
}

SpeechKey speechKeyFrom(const KeyField& s) {
  const corvane::Sha1Digest h1 = corvane::hmacSha1(s.data() + 24, 24, s.data(), 24);
  const corvane::Sha1Digest h2 = corvane::hmacSha1(s.data() + 72, 24, s.data() + 48, 24);
  SpeechKey key{};
  std::copy_n(h1.begin(), 16, key.begin());
  std::copy_n(h2.begin(), 16, key.begin() + 16);
  return key;
}

// ---- the keyset's key material ----

SpeechKeys::SpeechKeys(SpeechCipher& cipher, std::string modulus, RandomSource random)
    : cipher_(cipher), modulusText_(std::move(modulus)), random_(std::move(random)) {
  if (!random_) random_ = corvane::randomBytes;
}

void SpeechKeys::restart() {
  speechKey_.reset();
  taken_.reset();
  cipher_.clear();
  for (Pair& p : ring_) OPENSSL_cleanse(p.k.data(), p.k.size());
  read_ = write_ = 0;
  modulus_ = Modulus::parse(modulusText_);
  fill();
}

void SpeechKeys::fill() {
  if (!modulus_) return;
  while ((write_ + 1) % kSlots != read_) {
    Pair& slot = ring_[write_];
    bool drawn = false;
    // E must fill all 96 bytes of its field (its first byte non-zero), so
    // the exchange reads the same number however it aligns a shorter one.
    for (int draw = 0; draw < kDrawLimit && !drawn; ++draw) {
      if (!random_(slot.k.data(), slot.k.size())) return;
      const std::optional<KeyField> e = modulus_->offeredKey(slot.k);
      if (e) slot.e = *e;
      drawn = e.has_value();
    }
    if (!drawn) return;
    write_ = (write_ + 1) % kSlots;
  }
}

std::optional<SpeechKeyBlock> SpeechKeys::nextKeyPair() {
  if (read_ == write_) return std::nullopt;
  const Pair& pair = ring_[read_];
  taken_ = pair.k;
  const SpeechKeyBlock e = pair.e;
  read_ = (read_ + 1) % kSlots;
  fill();
  return e;
}

void SpeechKeys::accepted(const ExchangeKeyValue* exchangeValue) {
  speechKey_.reset();
  cipher_.clear();
  // X only counts as the answer to a key this keyset offered.
  if (!taken_ || !exchangeValue) return;
  if (std::all_of(exchangeValue->begin(), exchangeValue->end(), [](std::uint8_t b) { return b == 0; })) return;
  derive(*exchangeValue);
}

void SpeechKeys::derive(const KeyField& x) {
  // Derivation runs at once, so no job ever waits for another.
  if (!modulus_) return;
  std::optional<KeyField> s = modulus_->shared(x, *taken_);
  if (!s) return;
  speechKey_ = speechKeyFrom(*s);
  OPENSSL_cleanse(s->data(), s->size());
}

void SpeechKeys::speechPathOpened() {
  if (speechKey_)
    cipher_.load(*speechKey_);
  else
    cipher_.clear();
}

}  // namespace halvern
