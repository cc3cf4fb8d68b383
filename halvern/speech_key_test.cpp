#include "halvern/rtp.h"
#include "halvern/speech_cipher.h"
#include "halvern/speech_key.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace halvern {
namespace {

// ---- the exchange's side, straight from OpenSSL ----

struct BnDel {
  void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnDel>;

Bn bn(const std::uint8_t* data, std::size_t size) { return Bn(BN_bin2bn(data, int(size), nullptr)); }

Bn modExp(const BIGNUM* base, const BIGNUM* exponent, const BIGNUM* n) {
  Bn r(BN_new());
  BN_CTX* ctx = BN_CTX_new();
  EXPECT_EQ(BN_mod_exp(r.get(), base, exponent, n, ctx), 1);
  BN_CTX_free(ctx);
  return r;
}

// Right-aligned big-endian bytes of a number known to fit.
template <std::size_t N>
std::array<std::uint8_t, N> padded(const BIGNUM* b) {
  std::array<std::uint8_t, N> out{};
  EXPECT_EQ(BN_bn2binpad(b, out.data(), int(N)), int(N));
  return out;
}

// An RSA key of exponent 3 with a 768-bit modulus, made once.
struct ExchangeKey {
  Bn n, d;
  std::string decimal;
};
const ExchangeKey& exchangeKey() {
  static const ExchangeKey key = [] {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* pkey = nullptr;
    Bn three(BN_new());
    BN_set_word(three.get(), 3);
    EXPECT_EQ(EVP_PKEY_keygen_init(ctx), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, kModulusBits), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx, three.get()), 1);
    EXPECT_EQ(EVP_PKEY_keygen(ctx, &pkey), 1);
    BIGNUM *n = nullptr, *d = nullptr;
    EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_RSA_N, &n);
    EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_RSA_D, &d);
    EVP_PKEY_free(pkey);
    EVP_PKEY_CTX_free(ctx);
    char* text = BN_bn2dec(n);
    ExchangeKey k{Bn(n), Bn(d), text};
    OPENSSL_free(text);
    return k;
  }();
  return key;
}

// The k the exchange reads from an offered field.
Bn recoveredK(const SpeechKeyBlock& e) {
  const ExchangeKey& key = exchangeKey();
  return modExp(bn(e.data(), e.size()).get(), key.d.get(), key.n.get());
}

// The exchange's speech key for its X and the k it recovered.
SpeechKey exchangeSpeechKey(const ExchangeKeyValue& x, const BIGNUM* k) {
  const Bn s = modExp(bn(x.data(), x.size()).get(), k, exchangeKey().n.get());
  KeyField field{};
  BN_bn2bin(s.get(), field.data());  // minimal bytes from the start
  SpeechKey key{};
  unsigned len = 0;
  std::uint8_t h[EVP_MAX_MD_SIZE];
  HMAC(EVP_sha1(), field.data() + 24, 24, field.data(), 24, h, &len);
  std::copy_n(h, 16, key.begin());
  HMAC(EVP_sha1(), field.data() + 72, 24, field.data() + 48, 24, h, &len);
  std::copy_n(h, 16, key.begin() + 16);
  return key;
}

std::vector<std::uint8_t> aesEcb(bool encrypt, const SpeechKey& key, std::vector<std::uint8_t> data) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int len = 0;
  EVP_CipherUpdate(ctx, data.data(), &len, data.data(), int(data.size()));
  EVP_CIPHER_CTX_free(ctx);
  return data;
}

ExchangeKeyValue randomX() {
  ExchangeKeyValue x{};
  RAND_bytes(x.data(), int(x.size()));
  x[0] &= 0x7F;  // below N
  return x;
}

// Whether the keyset's sending cipher is keyed with `key` (checked by the
// exchange deciphering a block).
bool sendsWith(SpeechCipher& cipher, const SpeechKey& key) {
  std::vector<std::uint8_t> block(16);
  std::iota(block.begin(), block.end(), std::uint8_t(1));
  std::vector<std::uint8_t> sent = block;
  cipher.encrypt(sent);
  return aesEcb(false, key, sent) == block;
}

// ---- the offered key ----

TEST(OfferedKey, ExchangeRecoversEveryOfferedKeyFromAFullField) {
  // Leading zero bytes in E would make the two sides disagree about k;
  // every offered field must be full and decipher to a 32-byte k.
  SpeechCipher cipher;
  SpeechKeys keys(cipher, exchangeKey().decimal);
  for (int round = 0; round < 20; ++round) {
    keys.restart();
    EXPECT_EQ(keys.readyPairs(), 3u);
    for (int i = 0; i < 4; ++i) {
      const std::optional<SpeechKeyBlock> e = keys.nextKeyPair();
      ASSERT_TRUE(e);
      EXPECT_NE((*e)[0], 0);
      EXPECT_LE(BN_num_bytes(recoveredK(*e).get()), int(kRandomKeySize));
    }
  }
}

TEST(OfferedKey, KeysWhoseCubeIsShortAreDrawnAgain) {
  // k = 1 cubes to 1; k = 2^80 to 2^240 (both short); then a k whose cube
  // fills the field is found by the test and must be the one offered.
  const ExchangeKey& key = exchangeKey();
  RandomKey one{}, small{}, full{};
  one[31] = 1;
  small[21] = 1;
  while (true) {
    RAND_bytes(full.data(), int(full.size()));
    Bn three(BN_new());
    BN_set_word(three.get(), 3);
    if (BN_num_bytes(modExp(bn(full.data(), 32).get(), three.get(), key.n.get()).get()) == 96) break;
  }
  std::deque<RandomKey> draws{one, small, full};
  SpeechCipher cipher;
  SpeechKeys keys(cipher, key.decimal, [&](std::uint8_t* out, std::size_t size) {
    if (draws.empty()) return RAND_bytes(out, int(size)) == 1;
    std::memcpy(out, draws.front().data(), size);
    draws.pop_front();
    return true;
  });
  keys.restart();
  const std::optional<SpeechKeyBlock> e = keys.nextKeyPair();
  ASSERT_TRUE(e);
  Bn three(BN_new());
  BN_set_word(three.get(), 3);
  EXPECT_EQ(*e, padded<96>(modExp(bn(full.data(), 32).get(), three.get(), key.n.get()).get()));
  EXPECT_EQ(padded<32>(recoveredK(*e).get()), full);
}

TEST(OfferedKey, NoUsableModulusOrRandomSourceOffersNoKey) {
  struct Row {
    std::string modulus;
    bool randomWorks;
  };
  const std::string n = exchangeKey().decimal;
  const Row rows[] = {
      {"", true},                               // none built in
      {"123456789", true},                      // too short
      {n.substr(0, n.size() - 1) + "x", true},  // not decimal
      {n + "0", true},                          // too long
      {n, false},                               // the random source fails
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.modulus.substr(0, 12));
    SpeechCipher cipher;
    SpeechKeys keys(cipher, row.modulus, [&](std::uint8_t* out, std::size_t size) {
      return row.randomWorks && RAND_bytes(out, int(size)) == 1;
    });
    keys.restart();
    EXPECT_FALSE(keys.nextKeyPair());
    ExchangeKeyValue x = randomX();
    keys.accepted(&x);
    keys.speechPathOpened();
    EXPECT_FALSE(cipher.active());
  }
}

// ---- the speech key ----

TEST(SpeechKeyDerivation, ShortSharedValueIsTakenFromTheStartOfItsField) {
  // With k = 1, S = X: an X with leading zero bytes gives a short S that
  // moves to the front of its field, and the HMAC inputs come from there.
  const std::optional<Modulus> n = Modulus::parse(exchangeKey().decimal);
  ASSERT_TRUE(n);
  RandomKey one{};
  one[31] = 1;
  KeyField x{};
  for (std::size_t i = 5; i < x.size(); ++i) x[i] = std::uint8_t(i * 7 + 1);
  const std::optional<KeyField> s = n->shared(x, one);
  ASSERT_TRUE(s);
  KeyField moved{};
  std::copy(x.begin() + 5, x.end(), moved.begin());
  EXPECT_EQ(*s, moved);
  Bn k(BN_new());
  BN_one(k.get());
  EXPECT_EQ(speechKeyFrom(*s), exchangeSpeechKey(x, k.get()));
}

// ---- when speech is enciphered ----

TEST(SpeechEncryption, OnlyAnAcceptWithAValueForTheOfferedKeyTurnsItOn) {
  // Each step is followed by a speech address.
  enum class Step { Offer, ShortAccept, ZeroValue, Value, Restart };
  using enum Step;
  struct Row {
    const char* what;
    std::vector<Step> steps;
    bool on;
  };
  const Row rows[] = {
      {"short accept", {Offer, ShortAccept}, false},
      {"long accept, zero X", {Offer, ZeroValue}, false},
      {"long accept with X", {Offer, Value}, true},
      {"X after a plain request", {Value}, false},
      {"X, then an accept without it", {Offer, Value, ShortAccept}, false},
      {"X, then zero X", {Offer, Value, ZeroValue}, false},
      {"no X, then X", {Offer, ShortAccept, Value}, true},
      {"X, restart, X without a new offer", {Offer, Value, Restart, Value}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SpeechCipher cipher;
    SpeechKeys keys(cipher, exchangeKey().decimal);
    keys.restart();
    std::optional<SpeechKeyBlock> e;
    ExchangeKeyValue x{};
    for (Step step : row.steps) {
      x = step == Value ? randomX() : ExchangeKeyValue{};
      if (step == Offer) e = keys.nextKeyPair();
      if (step == Restart) keys.restart();
      if (step == ShortAccept || step == ZeroValue || step == Value) keys.accepted(step == ShortAccept ? nullptr : &x);
      keys.speechPathOpened();
    }
    ASSERT_EQ(cipher.active(), row.on);
    if (row.on) {
      EXPECT_TRUE(sendsWith(cipher, exchangeSpeechKey(x, recoveredK(*e).get())));
    }
  }
}

// ---- speech packets ----

TEST(SpeechPackets, PayloadIsPaddedOnlyWhenNeededAndTheExchangeReadsIt) {
  struct Row {
    std::size_t frames, sent;
  };
  // Five frames: 14 padding bytes, the last holding 14.
  const Row rows[] = {{5, 64}, {1, 16}, {3, 32}, {8, 80}, {10, 112}};
  SpeechKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = std::uint8_t(0x40 + i);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.frames);
    SpeechCipher cipher;
    ASSERT_TRUE(cipher.load(key));
    std::vector<std::uint8_t> frames(row.frames * kCodedFrameSize);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = std::uint8_t(i * 13 + 5);
    RtpSender sender;
    sender.reset(0x1234);
    RtpDatagram d;
    sender.build(frames, &cipher, d);
    ASSERT_EQ(d.size, rtp::kHeaderSize + row.sent);
    const std::size_t padding = row.sent - frames.size();
    EXPECT_EQ(d.bytes[0] & rtp::kPadded, padding ? rtp::kPadded : 0);
    std::vector<std::uint8_t> expected = frames;
    expected.resize(row.sent, 0);
    if (padding) expected.back() = std::uint8_t(padding);
    EXPECT_EQ(aesEcb(false, key, {d.bytes.begin() + rtp::kHeaderSize, d.bytes.begin() + long(d.size)}), expected);
    // The receiving side gets the frames back.
    const RtpParse in = parseRtp(d.view(), &cipher);
    ASSERT_FALSE(in.drop);
    EXPECT_TRUE(std::ranges::equal(in.packet.view(), frames));
  }
}

TEST(SpeechPackets, ClearSpeechIsSentAndReadUnchanged) {
  SpeechCipher cipher;  // no key loaded
  const std::vector<std::uint8_t> frames(5 * kCodedFrameSize, 0x33);
  RtpSender sender;
  RtpDatagram d;
  sender.build(frames, &cipher, d);
  EXPECT_EQ(d.size, rtp::kHeaderSize + frames.size());
  EXPECT_TRUE(std::equal(frames.begin(), frames.end(), d.bytes.begin() + rtp::kHeaderSize));
  EXPECT_TRUE(std::ranges::equal(parseRtp(d.view(), &cipher).packet.view(), frames));
}

}  // namespace
}  // namespace halvern
