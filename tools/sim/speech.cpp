// corvane-sim speech: the exchange's speech key (see speech.h).
#include "tools/sim/speech.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>

namespace corvane::sim {

namespace {
struct BnFree {
  void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
}  // namespace

struct ExchangeSpeechKey::Key {
  Bn n, d;
  halvern::Modulus modulus;
};

ExchangeSpeechKey::ExchangeSpeechKey(std::shared_ptr<const Key> key) : key_(std::move(key)) {
  char* text = BN_bn2dec(key_->n.get());
  if (text) decimal_ = text;
  OPENSSL_free(text);
}

std::optional<ExchangeSpeechKey> ExchangeSpeechKey::make() {
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr),
                                                                  EVP_PKEY_CTX_free);
  Bn three(BN_new());
  if (!ctx || !three || BN_set_word(three.get(), 3) != 1) return std::nullopt;
  EVP_PKEY* made = nullptr;
  if (EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), halvern::kModulusBits) != 1 ||
      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), three.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &made) != 1)
    return std::nullopt;
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(made, EVP_PKEY_free);
  BIGNUM *n = nullptr, *d = nullptr;
  EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_RSA_N, &n);
  EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_RSA_D, &d);
  Bn nn(n), dd(d);
  if (!nn || !dd) return std::nullopt;
  char* text = BN_bn2dec(nn.get());
  if (!text) return std::nullopt;
  std::optional<halvern::Modulus> modulus = halvern::Modulus::parse(text);
  OPENSSL_free(text);
  if (!modulus) return std::nullopt;
  return ExchangeSpeechKey(std::make_shared<const Key>(Key{std::move(nn), std::move(dd), *modulus}));
}

std::optional<halvern::RandomKey> ExchangeSpeechKey::recoverKey(const halvern::SpeechKeyBlock& e) const {
  Bn c(BN_bin2bn(e.data(), int(e.size()), nullptr)), k(BN_new());
  std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
  if (!c || !k || !ctx || BN_cmp(c.get(), key_->n.get()) >= 0) return std::nullopt;
  if (BN_mod_exp(k.get(), c.get(), key_->d.get(), key_->n.get(), ctx.get()) != 1) return std::nullopt;
  halvern::RandomKey out{};
  if (BN_bn2binpad(k.get(), out.data(), int(out.size())) != int(out.size())) return std::nullopt;
  return out;
}

std::optional<ExchangeSpeechKey::Answer> ExchangeSpeechKey::answer(const halvern::RandomKey& k) const {
  Answer a;
  // The top bit clear keeps X below N, which has all 768 bits.
  do {
    if (RAND_bytes(a.x.data(), int(a.x.size())) != 1) return std::nullopt;
    a.x[0] &= 0x7F;
  } while (std::all_of(a.x.begin(), a.x.end(), [](std::uint8_t b) { return b == 0; }));
  const std::optional<halvern::KeyField> s = key_->modulus.shared(a.x, k);
  if (!s) return std::nullopt;
  a.key = halvern::speechKeyFrom(*s);
  return a;
}

}  // namespace corvane::sim
