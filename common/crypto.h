// Digests and ciphers through OpenSSL's EVP interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

using Md5Digest = std::array<uint8_t, 16>;
using Sha1Digest = std::array<uint8_t, 20>;

Md5Digest md5(const uint8_t* data, size_t size);
Sha1Digest sha1(const uint8_t* data, size_t size);
Sha1Digest hmacSha1(const uint8_t* key, size_t keySize, const uint8_t* data, size_t size);

// AES-256 in ECB mode without padding; size must be a multiple of 16.
// Returns nothing on a bad size or a library failure.
std::optional<std::vector<uint8_t>> aes256EcbEncrypt(const uint8_t key[32], const uint8_t* data, size_t size);
std::optional<std::vector<uint8_t>> aes256EcbDecrypt(const uint8_t key[32], const uint8_t* data, size_t size);

// Cryptographically strong random bytes; false when the generator failed.
bool randomBytes(uint8_t* out, size_t size);

}  // namespace corvane
