// The hex-nibble record codec of the settings files: every record byte as two
// characters, low nibble first, each 0x30 + nibble ("0".."?"), followed by the
// 16-bit little-endian byte sum of the raw record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct NibbleDecoded {
  std::vector<uint8_t> record;
  bool checkMatches = false;  // the stored sum equals the sum of the decoded bytes
};

// Encodes a record into 2 * size characters plus 2 check bytes.
std::string nibbleEncode(const std::vector<uint8_t>& record);

// Decodes a file image holding exactly recordSize records bytes
// (2 * recordSize + 2 bytes); any other size gives nothing. A character's
// upper four bits are ignored.
std::optional<NibbleDecoded> nibbleDecode(const std::string& image, size_t recordSize);

}  // namespace corvane
