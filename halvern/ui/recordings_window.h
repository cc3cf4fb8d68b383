// The voice recordings window: the recordings in the "Wav" folder with
// their durations, the two status lines of the download, and "Download" in
// its menu. A double-click plays a recording with the desktop's player.
// Made once per run and hidden; closing it only hides it.
#pragma once

#include "halvern/settings_record.h"

#include <QWidget>

#include <string>

class QAction;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;

namespace halvern::ui {

class CHalvernDlg;
class RecordingService;

class CDVrec : public QWidget {
  Q_OBJECT
 public:
  // service must outlive the window; it gives the folder, the status lines
  // and the download.
  CDVrec(RecordingService& service, int language, QWidget* parent = nullptr);

  void setLanguage(int language);

  // The place kept in the settings record. The window opens there the first
  // time it is shown when right and bottom are positive (and it has an
  // area); rectangle() is that place until the window has been shown, then
  // where the user left it (left/top of the window's inside, right/bottom
  // one past it).
  void setStoredRectangle(const WindowRect& r);
  WindowRect rectangle() const;

  // Shows the window (restored when minimised) and brings it to the front.
  void open();
  // Reads the folder again and scrolls to the last line.
  void refreshList();
  // Plays the file a list line names: starts "xdg-open <path>" without
  // waiting when the file is in the folder. Returns whether it was started.
  bool play(const std::string& line);

  QListWidget* list() const { return list_; }
  QLineEdit* statusField(int line) const { return status_[line == 0 ? 0 : 1]; }
  QMenu* menu() const { return menu_; }
  QAction* downloadAction() const { return downloadAction_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void retranslate();
  void showStatus();
  void rememberPlace();

  RecordingService& service_;
  int language_;
  WindowRect stored_;
  WindowRect place_;
  bool shownOnce_ = false;

  QMenu* menu_ = nullptr;
  QAction* downloadAction_ = nullptr;
  QLineEdit* status_[2] = {nullptr, nullptr};
  QListWidget* list_ = nullptr;
};

// Ties the recordings window to the keyset window: "Voice Recordings" in its
// menu opens it, the Vmsg key opens it and starts a download at once (both
// only while Running with the recording service available), and leaving
// Running hides it.
void connectRecordings(CHalvernDlg& keyset, RecordingService& service, CDVrec& recordings);

}  // namespace halvern::ui
