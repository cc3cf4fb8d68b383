#include "halvern/speech_cipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cassert>
#include <climits>

namespace halvern {

struct SpeechCipher::Contexts {
  EVP_CIPHER_CTX* send = EVP_CIPHER_CTX_new();
  EVP_CIPHER_CTX* receive = EVP_CIPHER_CTX_new();
  ~Contexts() {
    EVP_CIPHER_CTX_free(send);
    EVP_CIPHER_CTX_free(receive);
  }
};

SpeechCipher::SpeechCipher() : contexts_(std::make_unique<Contexts>()) {}
SpeechCipher::~SpeechCipher() = default;

bool SpeechCipher::load(const SpeechKey& key) {
  std::lock_guard lock(mutex_);
  active_ = false;
  if (!contexts_->send || !contexts_->receive) return false;
  for (EVP_CIPHER_CTX* ctx : {contexts_->send, contexts_->receive}) {
    if (EVP_CipherInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key.data(), nullptr, ctx == contexts_->send ? 1 : 0) != 1)
      return false;
    EVP_CIPHER_CTX_set_padding(ctx, 0);
  }
  active_ = true;
  return true;
}

void SpeechCipher::clear() {
  std::lock_guard lock(mutex_);
  active_ = false;
}

bool SpeechCipher::active() const {
  std::lock_guard lock(mutex_);
  return active_;
}

void SpeechCipher::run(bool sending, std::span<std::uint8_t> blocks) {
  assert(blocks.size() % rtp::kCipherBlock == 0 && blocks.size() <= INT_MAX);
  std::lock_guard lock(mutex_);
  if (!active_ || blocks.empty()) return;
  // Whole blocks with padding off: nothing stays buffered in the context,
  // so it serves the next packet as it is.
  int out = 0;
  EVP_CIPHER_CTX* ctx = sending ? contexts_->send : contexts_->receive;
  if (EVP_CipherUpdate(ctx, blocks.data(), &out, blocks.data(), int(blocks.size())) != 1 ||
      std::size_t(out) != blocks.size())
    OPENSSL_cleanse(blocks.data(), blocks.size());
}

void SpeechCipher::encrypt(std::span<std::uint8_t> blocks) { run(true, blocks); }
void SpeechCipher::decrypt(std::span<std::uint8_t> blocks) { run(false, blocks); }

}  // namespace halvern
