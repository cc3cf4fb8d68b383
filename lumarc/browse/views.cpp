#include "lumarc/browse/views.h"

#include "lumarc/texts/texts.h"

#include <algorithm>
#include <iterator>

namespace lumarc {

namespace {
constexpr int kToolbarOrder[] = {315, 316, 317, 305, 306, 307, 308, 310, 57664, 311, 312, 319,
                                 // clang-format off
                                 313, 314, 320, 321, 318, 327, 328, 358, 357, 329, 330, 331,
                                 332, 333, 337, 339, 338, 340, 341, 342, 343, 359, 360};
// clang-format on
constexpr int kFixedButtons = 9;

std::vector<int> stateButtons(ViewState s, bool wizardReady) {
  switch (s) {
    case ViewState::Start: return {};
    case ViewState::Users: return {319, 321};
    case ViewState::DialledNumbers:
    case ViewState::CallingNumbers: return {319, 320, 321, 318};
    case ViewState::CmdrBrowser: return {313, 314, 358, 357, 329, 330, 331, 333};
    case ViewState::CmdrSelection:
    case ViewState::VoiceSelection: return {311, 327, 328, 331};
    case ViewState::CmdrCharts:
    case ViewState::VoiceCharts: return {311};
    case ViewState::CmdrTrace:
    case ViewState::VoiceTrace: return {311, 330, 332};
    case ViewState::VoiceBrowser: return {319, 313, 314, 329, 330, 332, 333};
    case ViewState::ExchangeBrowser:
      if (wizardReady) return {319, 337, 339, 340, 341, 342, 343};
      return {319, 337, 339, 338};
    case ViewState::WebPage: return {311, 312, 359, 360};
  }
  return {};
}
}  // namespace

std::vector<int> toolbarFor(ViewState s, bool wizardReady) {
  std::vector<int> own = stateButtons(s, wizardReady);
  std::vector<int> out(kToolbarOrder, kToolbarOrder + kFixedButtons);
  for (size_t i = kFixedButtons; i < std::size(kToolbarOrder); ++i)
    if (std::find(own.begin(), own.end(), kToolbarOrder[i]) != own.end()) out.push_back(kToolbarOrder[i]);
  return out;
}

int viewCaption(ViewState s, bool wizardReady) {
  switch (s) {
    case ViewState::Start: return 0;
    case ViewState::Users: return kTextCaptionUsers;
    case ViewState::DialledNumbers: return kTextCaptionDialledNumbers;
    case ViewState::CallingNumbers: return kTextCaptionCallingNumbers;
    case ViewState::CmdrBrowser:
    case ViewState::CmdrSelection:
    case ViewState::CmdrCharts: return kTextCaptionCmdrBrowser;
    case ViewState::CmdrTrace:
    case ViewState::VoiceTrace: return kTextCaptionCallTrace;
    case ViewState::VoiceBrowser:
    case ViewState::VoiceSelection:
    case ViewState::VoiceCharts: return kTextCaptionVoiceBrowser;
    case ViewState::ExchangeBrowser: return wizardReady ? kTextCaptionWizard : kTextCaptionExchangeBrowser;
    case ViewState::WebPage: return kTextCaptionExchangeBrowser;
  }
  return 0;
}

bool enabled(int command, ViewState s) {
  switch (command) {
    case kCmdUsers: return s != ViewState::Users;
    case kCmdDigits: return s != ViewState::DialledNumbers;
    case kCmdClip: return s != ViewState::CallingNumbers;
    case kCmdCorvane: return s != ViewState::ExchangeBrowser && s != ViewState::WebPage;
    case kCmdCmdr: return s != ViewState::CmdrBrowser && s != ViewState::CmdrSelection && s != ViewState::CmdrCharts;
    case kCmdVoice:
      return s != ViewState::VoiceBrowser && s != ViewState::VoiceSelection && s != ViewState::VoiceCharts;
    case kCmdCloseView: return s != ViewState::Start;
    default: return true;
  }
}

ViewState stateAfterCommand(int command, ViewState s) {
  auto back = [s]() {
    switch (s) {
      case ViewState::CmdrSelection:
      case ViewState::CmdrCharts:
      case ViewState::CmdrTrace: return ViewState::CmdrBrowser;
      case ViewState::VoiceSelection:
      case ViewState::VoiceCharts:
      case ViewState::VoiceTrace: return ViewState::VoiceBrowser;
      case ViewState::WebPage: return ViewState::ExchangeBrowser;
      default: return s;
    }
  };
  switch (command) {
    case kCmdUsers: return ViewState::Users;
    case kCmdDigits: return ViewState::DialledNumbers;
    case kCmdClip: return ViewState::CallingNumbers;
    case kCmdCorvane: return ViewState::ExchangeBrowser;
    case kCmdCmdr: return ViewState::CmdrBrowser;
    case kCmdVoice: return ViewState::VoiceBrowser;
    case kCmdCloseView: return ViewState::Start;
    case kCmdBack:
    case kCmdList: return back();
    case kCmdSelect:
      if (s == ViewState::CmdrBrowser) return ViewState::CmdrSelection;
      if (s == ViewState::VoiceBrowser) return ViewState::VoiceSelection;
      return s;
    case kCmdChart:
      if (s == ViewState::CmdrBrowser) return ViewState::CmdrCharts;
      if (s == ViewState::VoiceBrowser) return ViewState::VoiceCharts;
      return s;
    case kCmdCallTrace:
      if (s == ViewState::CmdrBrowser) return ViewState::CmdrTrace;
      if (s == ViewState::VoiceBrowser) return ViewState::VoiceTrace;
      return s;
    default: return s;
  }
}

}  // namespace lumarc
