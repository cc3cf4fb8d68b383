// The keyset core thread: one QThread that owns the signalling engine, the
// signalling UDP socket, the speech socket and path, the audio engine and
// the 50 ms precise timer. The audio engine ticks on every timer tick, the
// protocol on every second one, and after each protocol tick an immutable
// snapshot goes out by a queued signal. The window and the headless front end only see
// snapshots and reach the core through its slots by queued calls.
#pragma once

#include "halvern/account.h"
#include "halvern/audio_device.h"
#include "halvern/audio_engine.h"
#include "halvern/keyset_snapshot.h"
#include "halvern/speech_cipher.h"
#include "halvern/speech_key.h"
#include "halvern/tarnet.h"
#include "halvern/ui/speech_socket.h"

#include <QHostAddress>
#include <QObject>
#include <QThread>

#include <cstdint>
#include <memory>
#include <optional>

class QTimer;
class QUdpSocket;

namespace halvern::ui {

class KeysetCore : public QObject {
  Q_OBJECT
 public:
  // The exchange's signalling port; tests may point the core elsewhere.
  explicit KeysetCore(const AccountBlock& account, std::uint16_t port = kTarnetPort);
  ~KeysetCore() override;

  // Moves the core onto its own thread and starts it there. Returns false
  // when the timer did not start ("Timer startup failed"); the thread is
  // then stopped again.
  bool start();
  // Runs shutdown() on the core thread, waits for it, and ends the thread.
  // Safe to call more than once.
  void stop(bool sendUnregister);

  // The sound device picked by "--audio"; nothing when the value named
  // none. Set before startAudio().
  void setAudioChoice(std::optional<AudioChoice> choice) { audioChoice_ = std::move(choice); }
  // Opens the device and starts the audio engine on the core thread (at
  // the window's first showing, or the headless start). False when there
  // is no device ("Audio device not found!"); the program then says so and
  // ends. Call after start().
  bool startAudio();

 public slots:
  void pressKey(quint16 code);
  void toggleHook();
  // Sends the unregister message; the state stays.
  void unregister();
  // The settings dialog was confirmed: unregister, drop the socket and start
  // over with the new account (a fresh try even after "Socket fault!").
  void applySettings(const halvern::AccountBlock& account);

 signals:
  void snapshotReady(const halvern::KeysetSnapshot& snapshot);

 private slots:
  void begin();
  void shutdown(bool sendUnregister);

 private:
  class Transport;

  void onTimer();
  void ensureSocket();
  void connectTo(const QHostAddress& address);
  void dropSocket();
  void onReadable();
  void fault();

  AccountBlock account_;
  std::uint16_t port_;
  std::unique_ptr<Transport> transport_;
  SpeechCipher speechCipher_;
  SpeechKeys keys_{speechCipher_};
  SpeechSocket speech_;
  std::unique_ptr<Tarnet> tarnet_;
  AudioEngine audio_{speech_.path()};
  std::optional<AudioChoice> audioChoice_;

  QThread thread_;
  QTimer* timer_ = nullptr;
  QUdpSocket* socket_ = nullptr;
  // Counts every 50 ms tick; the protocol runs on odd values.
  std::uint64_t timerTicks_ = 0;
  bool timerStarted_ = false;
  bool resolving_ = false;
  // Bumped on every reset so a late host lookup of an old account is dropped.
  std::uint32_t generation_ = 0;
  bool stopped_ = false;
};

// Registers the snapshot and account types for queued signals.
void registerKeysetTypes();

}  // namespace halvern::ui
