#include "lumarc/texts/texts.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

TEST(Texts, LanguageTablesAndFallback) {
  EXPECT_EQ(englishTexts().text(kTextLanguageTag), "Eng");
  EXPECT_TRUE(turkishPresent());
  EXPECT_EQ(&textsFor(1), &turkishTexts());
  EXPECT_EQ(&textsFor(0), &englishTexts());
  EXPECT_EQ(&textsFor(7), &englishTexts());
  EXPECT_EQ(englishTexts().text(kTextDatabaseAccessFailed), "Database access Failed!");
  // Turkish text is held in code page 1254: "Ç" is 0xC7.
  EXPECT_EQ(turkishTexts().text(kTextCaptionCallTrace)[0], '\xC7');
}

TEST(Texts, EveryEnglishEntryHasATurkishOne) {
  for (int id : {int(kTextSocketOpeningFault), int(kTextPaneCmdr), int(kCmdAbout), int(kCmdPageForward)})
    EXPECT_NE(turkishTexts().text(id), englishTexts().text(id)) << id;
}

TEST(Texts, CommandEntriesSplitIntoTipAndLabel) {
  EXPECT_EQ(commandLabel(englishTexts(), kCmdCloseView), "Close");
  EXPECT_EQ(commandTip(englishTexts(), kCmdCloseView), "Close browser connection");
  EXPECT_EQ(commandLabel(englishTexts(), kCmdVoice), "Voice recording");
}

}  // namespace
}  // namespace lumarc
