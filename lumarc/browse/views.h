// The view state of the main window: which view is shown, which commands
// the toolbar offers for it and the caption of status-bar pane 4.
#pragma once

#include <vector>

namespace lumarc {

enum class ViewState : int {
  Start = 0,
  Users = 1,
  DialledNumbers = 2,
  CallingNumbers = 3,
  CmdrBrowser = 4,
  CmdrSelection = 5,
  CmdrCharts = 6,
  CmdrTrace = 7,
  VoiceBrowser = 8,
  VoiceSelection = 9,
  VoiceCharts = 10,
  VoiceTrace = 11,
  ExchangeBrowser = 12,
  WebPage = 13,
};

// The toolbar's commands for a state, in toolbar order: the nine fixed
// buttons and the state's own.
std::vector<int> toolbarFor(ViewState s, bool wizardReady);

// The string entry of status-bar pane 4 for a state; 0 for an empty caption.
int viewCaption(ViewState s, bool wizardReady);

// Whether a view-switching command is enabled in a state (commands that
// belong to a view's own Part are enabled here and decided there).
bool enabled(int command, ViewState s);

// The state a view-switching command leads to; the current state when the
// command switches nothing. "List" and "Back" in the web page view lead to
// the exchange browser.
ViewState stateAfterCommand(int command, ViewState s);

}  // namespace lumarc
