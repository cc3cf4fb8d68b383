#include "common/codepage.h"
#include "common/string_table.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(CodePages, EveryByteRoundTripsInEveryCodePage) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  for (CodePage cp : {CodePage::Cp1252, CodePage::Cp1254, CodePage::Cp1250})
    EXPECT_EQ(fromUtf8(toUtf8(all, cp), cp), all);
}

TEST(CodePages, TurkishLettersUseTheirOwnCodePage) {
  EXPECT_EQ(fromUtf8("İşğı", CodePage::Cp1254), "\xDD\xFE\xF0\xFD");
  EXPECT_EQ(toUtf8("\xDD\xFE", CodePage::Cp1254), "İş");
  EXPECT_EQ(toUtf8("\x80", CodePage::Cp1252), "€");
  EXPECT_EQ(fromUtf8("ş", CodePage::Cp1252), "?");
  EXPECT_EQ(fromUtf8("日本", CodePage::Cp1252), "??");
  EXPECT_EQ(fromUtf8("ł", CodePage::Cp1250), "\xB3");
}

TEST(CodePages, MalformedUtf8NeverReadsPastTheEnd) {
  EXPECT_EQ(fromUtf8("a\xC3", CodePage::Cp1252), "a?");
  EXPECT_EQ(fromUtf8("\xE2\x82", CodePage::Cp1252), "??");
  EXPECT_EQ(fromUtf8("\xFF", CodePage::Cp1252), "?");
}

TEST(StringTables, MissingEntriesFallBackToTheBaseLanguage) {
  StringTable en, tr;
  const TextEntry enT[] = {{1, "One"}, {2, "Two"}};
  const TextEntry trT[] = {{1, "Bir"}};
  en.add(enT, 2, true, int(CodePage::Cp1252));
  tr.add(trT, 1, true, int(CodePage::Cp1254));
  tr.setFallback(&en);
  EXPECT_EQ(tr.text(1), "Bir");
  EXPECT_EQ(tr.text(2), "Two");
  EXPECT_EQ(tr.text(3), "");
}

TEST(StringTables, KnowTheCodePageOfTheirTexts) {
  StringTable none, tr;
  const TextEntry trT[] = {{1, "Bir"}};
  tr.add(trT, 1, true, int(CodePage::Cp1254));
  EXPECT_EQ(none.codePage(), CodePage::Cp1252);
  EXPECT_EQ(tr.codePage(), CodePage::Cp1254);
}

TEST(StringTables, FormattingNeverTrustsTheText) {
  EXPECT_EQ(formatText("Imported records %i - %i", {"5", "2"}), "Imported records 5 - 2");
  EXPECT_EQ(formatText("%s:%i", {"host"}), "host:");
  EXPECT_EQ(formatText("100%% %n %x", {}), "100% %n %x");
}

}  // namespace
}  // namespace corvane
