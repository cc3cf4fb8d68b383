#include "lumarc/links/bracket_frame.h"

#include "common/checks.h"

namespace lumarc {

namespace {
constexpr uint8_t kOpen = 0x5B;
constexpr uint8_t kClose = 0x5D;

void put14(std::string& out, uint32_t v) {
  out.push_back(char((v & 0x7F) | 0x80));
  out.push_back(char(((v >> 7) & 0x7F) | 0x80));
}

uint32_t get14(const uint8_t* p) { return uint32_t(((p[1] & 0x7F) << 7) + (p[0] & 0x7F)); }
}  // namespace

std::string encodeBracketFrame(std::string_view payload) {
  std::string escaped;
  escaped.reserve(payload.size() + 8);
  for (char c : payload) {
    escaped.push_back(c);
    if (uint8_t(c) == kClose) escaped.push_back(c);
  }
  std::string lengthBytes;
  put14(lengthBytes, uint32_t(kBracketOverhead + escaped.size()));
  uint16_t check = corvane::byteSum14(reinterpret_cast<const uint8_t*>(escaped.data()), escaped.size(),
                                      uint16_t(uint8_t(lengthBytes[0]) + uint8_t(lengthBytes[1])));
  std::string out;
  out.reserve(escaped.size() + 10);
  out.push_back(char(kClose));
  out.push_back(char(0xFF));
  out.push_back(char(kOpen));
  put14(out, check);
  out += lengthBytes;
  out += escaped;
  out.push_back(char(kClose));
  out += "\r\n";
  return out;
}

bool checkBracketFrame(const uint8_t* f, size_t n, std::string* payload) {
  if (n < kBracketOverhead || n >= kMaxBracketFrame) return false;
  if (f[0] != kOpen || f[n - 1] != kClose) return false;
  for (size_t i = 1; i <= 4; ++i)
    if (!(f[i] & 0x80)) return false;
  uint32_t q = 0;
  for (size_t i = 5; i + 1 < n; ++i) q += f[i] == kClose ? 1 : 0;
  if (get14(f + 3) != ((n + q) & 0x3FFF)) return false;
  uint32_t sum = corvane::byteSum14(f + 3, n - 4);
  if (get14(f + 1) != ((sum + 93 * q) & 0x3FFF)) return false;
  if (payload) payload->assign(reinterpret_cast<const char*>(f + 5), n - kBracketOverhead);
  return true;
}

std::vector<std::string> parseBracketDatagram(const uint8_t* data, size_t size) {
  enum class State { Hunting, Collecting, AfterBracket };
  std::vector<std::string> payloads;
  State state = State::Hunting;
  uint8_t frame[kMaxBracketFrame];
  size_t length = 0;
  auto finish = [&] {
    std::string payload;
    if (checkBracketFrame(frame, length, &payload)) payloads.push_back(std::move(payload));
    length = 0;
    state = State::Hunting;
  };
  for (size_t i = 0; i < size; ++i) {
    uint8_t b = data[i];
    if (state == State::AfterBracket) {
      if (b == kClose) {
        state = State::Collecting;  // a doubled "]": the first one is stored
        continue;
      }
      finish();
    }
    if (state == State::Hunting) {
      if (b == kOpen) {
        frame[0] = b;
        length = 1;
        state = State::Collecting;
      }
      continue;
    }
    frame[length++] = b;
    if (length >= kMaxBracketFrame) {
      length = 0;
      state = State::Hunting;
      continue;
    }
    if (b == kClose) state = State::AfterBracket;
  }
  if (state == State::AfterBracket) finish();
  return payloads;
}

}  // namespace lumarc
