// The softphone's recording download on the window thread: the download
// client with its UDP socket, restarted from the snapshots on every entry
// into Running, and the conversion worker that turns each fetched file into
// an MP3 in the background. The recordings window and the headless front
// end each drive one of these with every snapshot.
#pragma once

#include "halvern/keyset_snapshot.h"

#include <QObject>

#include <memory>
#include <string>

namespace halvern::ui {

class RecordingService : public QObject {
  Q_OBJECT
 public:
  // workDir: the recordings live in its "Wav" folder (made when needed).
  // language: the texts of the status lines (0-3).
  RecordingService(std::string workDir, int language, QObject* parent = nullptr);
  // Closes the client; the worker finishes the conversions queued so far
  // before the thread ends, so no fetched recording is left unconverted.
  ~RecordingService() override;

  void setLanguage(int language);

  // One refresh, with every snapshot (100 ms). On the first snapshot in
  // Running the client is (re)made for the exchange address and the
  // announced recording port (when the recording family matches the
  // signalling one); leaving Running closes it, abandoning a recording
  // being fetched. Then the client's per-refresh step runs.
  void refresh(const halvern::KeysetSnapshot& snapshot);

  // The "Download" command (also the Vmsg key): starts a run when connected
  // and idle, shows "No connection" when not connected, and is ignored
  // while a recording is being fetched.
  void download();

  // Whether the client exists (Running with a recording port announced):
  // the window offers its recording functions only then.
  bool available() const;

  // Status line 0 or 1, as 8-bit text in the language's code page.
  const std::string& statusLine(int line) const;

  // The folder the window lists: <workDir>/Wav.
  std::string wavDir() const;

 signals:
  // A status line changed; read both with statusLine().
  void statusChanged();
  // The worker completed files: the window refreshes its list.
  void filesChanged();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace halvern::ui
