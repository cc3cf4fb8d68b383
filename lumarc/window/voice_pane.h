// The "Voice recording download" pane: the common link pane whose tab
// labels also show, while a download waits for the exchange, the seconds
// of waiting (in tens) after the host.
#pragma once

#include "lumarc/window/link_pane.h"
#include "lumarc/links/voice_link.h"
#include "lumarc/store/voice_store.h"

namespace lumarc::ui {

class VoicePane : public LinkPane {
  Q_OBJECT
 public:
  // As LinkPane with kind voice; the links use Qt datagram sockets (or the
  // given factory, for tests) and hand finished recordings to sink.
  VoicePane(SettingsBlock& settings, const corvane::StringTable& texts,
            std::function<void(const std::string&)> setCaptionMessage, std::function<void()> refreshToolbar,
            std::string workDir, VoiceRecordSink* sink, DatagramTransportFactory sockets = {},
            QWidget* parent = nullptr);

  // As LinkPane with kind voice, showing links made elsewhere (attachLinks).
  VoicePane(SettingsBlock& settings, const corvane::StringTable& texts,
            std::function<void(const std::string&)> setCaptionMessage, std::function<void()> refreshToolbar,
            QWidget* parent = nullptr);

  // The label of slot's tab changed (the waiting-time label).
  void setTabLabel(int slot, const std::string& label);
  // The label shown on slot's tab, or "" without a tab.
  std::string tabLabelOf(int slot) const;

 private:
  static LinkFactory makeFactory(VoicePane* pane, VoiceRecordSink* sink, DatagramTransportFactory sockets);
};

}  // namespace lumarc::ui
