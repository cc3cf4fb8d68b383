// The text codec: every byte of each code page survives both Unicode forms.
#include "lumarc/store/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarc::store {
namespace {

TEST(TextCodec, RoundTripsEveryByte) {
  for (auto cp : {corvane::CodePage::Cp1252, corvane::CodePage::Cp1254, corvane::CodePage::Cp1250}) {
    TextCodec codec(cp);
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::string utf8;
    codec.toUtf8(all, utf8);
    EXPECT_EQ(codec.fromUtf8(utf8), all);
    std::vector<uint16_t> units(all.size());
    codec.toUtf16(all, units.data());
    EXPECT_EQ(codec.fromUtf16(units.data(), units.size()), all);
  }
}

}  // namespace
}  // namespace lumarc::store
