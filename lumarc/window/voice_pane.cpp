#include "lumarc/window/voice_pane.h"

#include "common/qt/qt_text.h"
#include "lumarc/links/net/datagram_socket.h"

#include <QListWidget>
#include <QTabWidget>

namespace lumarc::ui {

LinkFactory VoicePane::makeFactory(VoicePane* pane, VoiceRecordSink* sink, DatagramTransportFactory sockets) {
  VoiceLinkSetup setup;
  setup.makeSocket = sockets ? std::move(sockets) : net::qtDatagramTransportFactory();
  setup.sink = sink;
  setup.labelChanged = [pane](int slot, const std::string& label) { pane->setTabLabel(slot, label); };
  return voiceLinkFactory(setup);
}

VoicePane::VoicePane(SettingsBlock& settings, const corvane::StringTable& texts,
                     std::function<void(const std::string&)> setCaptionMessage, std::function<void()> refreshToolbar,
                     std::string workDir, VoiceRecordSink* sink, DatagramTransportFactory sockets, QWidget* parent)
    : LinkPane(LinkKind::Voice, settings, texts, std::move(setCaptionMessage), std::move(refreshToolbar),
               std::move(workDir), makeFactory(this, sink, std::move(sockets)), parent) {}

VoicePane::VoicePane(SettingsBlock& settings, const corvane::StringTable& texts,
                     std::function<void(const std::string&)> setCaptionMessage, std::function<void()> refreshToolbar,
                     QWidget* parent)
    : LinkPane(LinkKind::Voice, settings, texts, std::move(setCaptionMessage), std::move(refreshToolbar), {}, {},
               parent) {}

void VoicePane::setTabLabel(int slot, const std::string& label) {
  QListWidget* list = listOf(slot);
  int index = list ? tabs()->indexOf(list) : -1;
  if (index >= 0) tabs()->setTabText(index, qtext(texts(), label));
}

std::string VoicePane::tabLabelOf(int slot) const {
  QListWidget* list = listOf(slot);
  int index = list ? tabs()->indexOf(list) : -1;
  return index >= 0 ? tabs()->tabText(index).toStdString() : std::string();
}

}  // namespace lumarc::ui
