#include "lumarc/browse/views.h"

#include "lumarc/app/texts.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

const std::vector<int> kFixed = {315, 316, 317, 305, 306, 307, 308, 310, 57664};

std::vector<int> with(std::vector<int> extra) {
  std::vector<int> v = kFixed;
  v.insert(v.end(), extra.begin(), extra.end());
  return v;
}

TEST(Toolbar, EachViewOffersItsOwnButtonsInToolbarOrder) {
  struct Case { ViewState s; bool wizard; std::vector<int> buttons; };
  const Case cases[] = {
      {ViewState::Start, false, with({})},
      {ViewState::Users, false, with({319, 321})},
      {ViewState::DialledNumbers, false, with({319, 320, 321, 318})},
      {ViewState::CmdrBrowser, false, with({313, 314, 358, 357, 329, 330, 331, 333})},
      {ViewState::VoiceSelection, false, with({311, 327, 328, 331})},
      {ViewState::CmdrCharts, false, with({311})},
      {ViewState::VoiceTrace, false, with({311, 330, 332})},
      {ViewState::VoiceBrowser, false, with({319, 313, 314, 329, 330, 332, 333})},
      {ViewState::ExchangeBrowser, false, with({319, 337, 339, 338})},
      {ViewState::ExchangeBrowser, true, with({319, 337, 339, 340, 341, 342, 343})},
      {ViewState::WebPage, false, with({311, 312, 359, 360})},
  };
  for (const auto& c : cases) EXPECT_EQ(toolbarCommands(c.s, c.wizard), c.buttons) << int(c.s);
}

TEST(Toolbar, CaptionFollowsTheViewAndTheWizard) {
  EXPECT_EQ(viewCaption(ViewState::Start, false), 0);
  EXPECT_EQ(viewCaption(ViewState::CmdrCharts, false), kTextCaptionCmdrBrowser);
  EXPECT_EQ(viewCaption(ViewState::VoiceTrace, false), kTextCaptionCallTrace);
  EXPECT_EQ(viewCaption(ViewState::ExchangeBrowser, true), kTextCaptionWizard);
  EXPECT_EQ(viewCaption(ViewState::WebPage, true), kTextCaptionExchangeBrowser);
}

TEST(ViewCommands, CmdrIsDisabledWhileItsFormOrChartsAreShown) {
  EXPECT_FALSE(commandEnabled(kCmdCmdr, ViewState::CmdrSelection));
  EXPECT_FALSE(commandEnabled(kCmdCmdr, ViewState::CmdrCharts));
  EXPECT_TRUE(commandEnabled(kCmdCmdr, ViewState::CmdrTrace));
  EXPECT_FALSE(commandEnabled(kCmdCorvane, ViewState::WebPage));
  EXPECT_FALSE(commandEnabled(kCmdCloseView, ViewState::Start));
}

TEST(ViewCommands, BackAndListReturnToTheBrowserThatStartedTheView) {
  EXPECT_EQ(stateAfterCommand(kCmdBack, ViewState::CmdrCharts), ViewState::CmdrBrowser);
  EXPECT_EQ(stateAfterCommand(kCmdList, ViewState::VoiceSelection), ViewState::VoiceBrowser);
  EXPECT_EQ(stateAfterCommand(kCmdBack, ViewState::WebPage), ViewState::ExchangeBrowser);
  EXPECT_EQ(stateAfterCommand(kCmdBack, ViewState::Users), ViewState::Users);
  EXPECT_EQ(stateAfterCommand(kCmdSelect, ViewState::VoiceBrowser), ViewState::VoiceSelection);
  EXPECT_EQ(stateAfterCommand(kCmdSelect, ViewState::Users), ViewState::Users);
  EXPECT_EQ(stateAfterCommand(kCmdCallTrace, ViewState::CmdrBrowser), ViewState::CmdrTrace);
}

}  // namespace
}  // namespace lumarc
