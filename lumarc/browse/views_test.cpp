#include "lumarc/browse/views.h"

#include "lumarc/texts/texts.h"

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
  // clang-format off
  struct Case { ViewState s; bool wizard; std::vector<int> buttons; };
  // clang-format on
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
  for (const auto& c : cases) EXPECT_EQ(toolbarFor(c.s, c.wizard), c.buttons) << int(c.s);
}

TEST(Toolbar, CaptionFollowsTheViewAndTheWizard) {
  EXPECT_EQ(viewCaption(ViewState::Start, false), 0);
  EXPECT_EQ(viewCaption(ViewState::CmdrCharts, false), kTextCaptionCmdrBrowser);
  EXPECT_EQ(viewCaption(ViewState::VoiceTrace, false), kTextCaptionCallTrace);
  EXPECT_EQ(viewCaption(ViewState::ExchangeBrowser, true), kTextCaptionWizard);
  EXPECT_EQ(viewCaption(ViewState::WebPage, true), kTextCaptionExchangeBrowser);
}

// Every view command in every state: whether it is enabled, and the state
// it leads to ("=" keeps the state). Columns: Users, Digits, Clip, Corvane,
// Cmdr, Voice, Close, Back, List, Select, Chart, Call trace.
TEST(ViewCommands, EachCommandIsEnabledAndLeadsWhereTheViewTableSays) {
  // clang-format off
  const int commands[] = {kCmdUsers, kCmdDigits, kCmdClip, kCmdCorvane, kCmdCmdr, kCmdVoice,
                          kCmdCloseView, kCmdBack, kCmdList, kCmdSelect, kCmdChart, kCmdCallTrace};
  // Per state: one letter per command, '-' disabled, '+' enabled; then the
  // state after each enabled command (-1 = unchanged).
  struct Row { ViewState s; const char* enabled; int after[12]; };
  // clang-format on
  using V = ViewState;
  const int U = 1, D = 2, C = 3, E = 12, R = 4, O = 8, S = 0, _ = -1;
  const Row rows[] = {
      // clang-format off
      {V::Start,           "++++++-+++++", {U, D, C, E, R, O, _, _, _, _, _, _}},
      {V::Users,           "-+++++++++++", {_, D, C, E, R, O, S, _, _, _, _, _}},
      {V::DialledNumbers,  "+-++++++++++", {U, _, C, E, R, O, S, _, _, _, _, _}},
      {V::CallingNumbers,  "++-+++++++++", {U, D, _, E, R, O, S, _, _, _, _, _}},
      {V::CmdrBrowser,     "++++-+++++++", {U, D, C, E, _, O, S, _, _, 5, 6, 7}},
      {V::CmdrSelection,   "++++-+++++++", {U, D, C, E, _, O, S, R, R, _, _, _}},
      {V::CmdrCharts,      "++++-+++++++", {U, D, C, E, _, O, S, R, R, _, _, _}},
      {V::CmdrTrace,       "++++++++++++", {U, D, C, E, R, O, S, R, R, _, _, _}},
      {V::VoiceBrowser,    "+++++-++++++", {U, D, C, E, R, _, S, _, _, 9, 10, 11}},
      {V::VoiceSelection,  "+++++-++++++", {U, D, C, E, R, _, S, O, O, _, _, _}},
      {V::VoiceCharts,     "+++++-++++++", {U, D, C, E, R, _, S, O, O, _, _, _}},
      {V::VoiceTrace,      "++++++++++++", {U, D, C, E, R, O, S, O, O, _, _, _}},
      // clang-format on
      {V::ExchangeBrowser, "+++-++++++++", {U, D, C, _, R, O, S, _, _, _, _, _}},
      {V::WebPage, "+++-++++++++", {U, D, C, _, R, O, S, E, E, _, _, _}},
  };
  for (const Row& r : rows) {
    for (size_t i = 0; i < std::size(commands); ++i) {
      SCOPED_TRACE("state " + std::to_string(int(r.s)) + ", command " + std::to_string(commands[i]));
      EXPECT_EQ(enabled(commands[i], r.s), r.enabled[i] == '+');
      if (r.enabled[i] != '+') continue;  // a disabled command never runs
      ViewState want = r.after[i] < 0 ? r.s : ViewState(r.after[i]);
      EXPECT_EQ(stateAfterCommand(commands[i], r.s), want);
    }
  }
}

}  // namespace
}  // namespace lumarc
