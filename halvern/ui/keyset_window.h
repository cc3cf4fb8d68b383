// The keyset window: a picture of the KV430 keyset (8 x 25 display, keys,
// lamps, the tag fields beside the programmable keys) laid out from dialog
// units. It is a view of the core's snapshots: every 100 ms showSnapshot()
// redraws it through the KeysetViewModel, and key presses, hook toggles and
// menu commands go out as signals. The keyboard is taken at window level
// before any child sees it; Escape and Enter never close the window.
#pragma once

#include "halvern/keyset_keys.h"
#include "halvern/keyset_snapshot.h"
#include "halvern/keyset_view_model.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>

class QAction;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;

namespace halvern::ui {

class CDtagupd;

inline constexpr const char* kWindowTitle = "BRENNIC Halvern KV430";

class CHalvernDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CHalvernDlg(int language = 0, QWidget* parent = nullptr);
  ~CHalvernDlg() override;

  // The tag texts (8-bit text in the language's code page), as kept in the
  // settings record.
  void setTags(const TagTexts& tags);
  TagTexts tags() const;
  // The language of captions, menu and display code page (0-3).
  void setLanguage(int language);

  // Whether the last snapshot was Running: the only time keys are sent.
  bool running() const { return running_; }
  // "Edit tags" mode: focusing a tag field opens the tag dialog.
  bool editingTags() const { return editingTags_; }
  void setEditingTags(bool on);
  // "Voice Recordings" is offered only while Running and when available.
  void setVoiceRecordingsAvailable(bool available);
  // Closes the window for good (no closeRequested); the close box only asks.
  void closeNow();

  // Widgets by the keyset's control number (keys, tag fields, status lamps,
  // the display 1038, the field 1100), or nullptr.
  QWidget* control(int id) const;
  QListWidget* display() const { return display_; }
  QMenu* windowMenu() const { return menu_; }
  QAction* editTagsAction() const { return editTagsAction_; }
  // The tag dialog while one is open.
  CDtagupd* tagDialog() const { return tagDialog_; }

 signals:
  void keyPressed(quint16 code);
  void hookToggled();
  void closeRequested();
  void settingsRequested();
  void aboutRequested();
  // "Voice Recordings" chosen in the menu.
  void voiceRecordingsRequested();
  // The Vmsg key clicked: the recordings window and a download at once.
  void vmsgPressed();
  // Tags changed through "Edit tags"; read them with tags().
  void tagsEdited();
  // The first refresh in Running (start the recording client) and the first
  // after leaving it (close the recordings window).
  void runningChanged(bool running);

 public slots:
  // One window refresh (every 100 ms): counts the flash phase up and shows
  // the snapshot.
  void showSnapshot(const halvern::KeysetSnapshot& snapshot);
  // A melody started: restore the window and bring it to the front.
  void bringToFront();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  void retranslate();
  void applyView(const KeysetView& v);
  void rebuildDisplay(const KeysetView& v);
  void openTagDialog(int key);
  void focusLiveHookKey();
  bool handleKey(QKeyEvent* e);
  void sendKey(std::uint16_t code);
  QRect fromDu(const DuRect& r) const;

  int language_;
  KeysetViewModel model_;
  std::uint32_t phase_ = 0;
  bool running_ = false;
  bool editingTags_ = false;
  bool voiceAvailable_ = true;
  bool closing_ = false;
  int liveHookKey_ = -1;

  QMenuBar* menuBar_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* voiceAction_ = nullptr;
  QAction* settingsAction_ = nullptr;
  QAction* editTagsAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QListWidget* display_ = nullptr;
  QLineEdit* belowDisplay_ = nullptr;
  std::array<QPushButton*, kFixedKeys.size()> fixed_{};
  std::array<QPushButton*, kProgrammableKeyCount> programmable_{};
  std::array<QLineEdit*, kProgrammableKeyCount> tagFields_{};
  std::array<QPushButton*, kStatusLamps.size()> statusLamps_{};
  QPointer<CDtagupd> tagDialog_;
};

}  // namespace halvern::ui
