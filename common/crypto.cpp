#include "common/crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

namespace corvane {

namespace {
template <size_t N>
std::array<uint8_t, N> digest(const EVP_MD* md, const uint8_t* data, size_t size) {
  std::array<uint8_t, N> out{};
  unsigned len = 0;
  EVP_Digest(data, size, out.data(), &len, md, nullptr);
  return out;
}

std::optional<std::vector<uint8_t>> aesEcb(bool encrypt, const uint8_t key[32], const uint8_t* data, size_t size) {
  if (size % 16 != 0) return std::nullopt;
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  if (!ctx) return std::nullopt;
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_ecb(), nullptr, key, nullptr, encrypt ? 1 : 0) != 1) return std::nullopt;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  std::vector<uint8_t> out(size + 16);
  int len = 0, tail = 0;
  if (EVP_CipherUpdate(ctx.get(), out.data(), &len, data, int(size)) != 1) return std::nullopt;
  if (EVP_CipherFinal_ex(ctx.get(), out.data() + len, &tail) != 1) return std::nullopt;
  out.resize(size_t(len + tail));
  return out;
}
}  // namespace

Md5Digest md5(const uint8_t* data, size_t size) { return digest<16>(EVP_md5(), data, size); }
Sha1Digest sha1(const uint8_t* data, size_t size) { return digest<20>(EVP_sha1(), data, size); }

Sha1Digest hmacSha1(const uint8_t* key, size_t keySize, const uint8_t* data, size_t size) {
  Sha1Digest out{};
  size_t len = 0;
  EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA1", nullptr, key, keySize, data, size, out.data(), out.size(), &len);
  return out;
}

std::optional<std::vector<uint8_t>> aes256EcbEncrypt(const uint8_t key[32], const uint8_t* data, size_t size) {
  return aesEcb(true, key, data, size);
}
std::optional<std::vector<uint8_t>> aes256EcbDecrypt(const uint8_t key[32], const uint8_t* data, size_t size) {
  return aesEcb(false, key, data, size);
}

bool randomBytes(uint8_t* out, size_t size) { return RAND_bytes(out, int(size)) == 1; }

}  // namespace corvane
