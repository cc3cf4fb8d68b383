// The softphone's recording download: one connection to the exchange's
// recording service, asking only for the recordings of the keyset's own
// extension. The user starts a run ("Download"); the client then fetches
// one recording after another in 1024-byte blocks (one request per block),
// keeps each under "<workDir>/Wav/<title>" without extension, confirms it
// and hands it to the converter, until the exchange's list ends (an offer
// with date word 0). A state machine fed socket events, datagrams and the
// window's 100 ms refresh; it acts through RecordingClientActions.
#pragma once

#include "common/files.h"
#include "common/recording_name.h"
#include "common/tick_timer.h"
#include "common/voice_message.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace halvern {

// What the client does to the world.
class RecordingClientActions {
 public:
  virtual ~RecordingClientActions() = default;
  // Sends one datagram on the connected socket (a lost one is no different
  // from a lost reply: the timers send again).
  virtual void sendDatagram(const std::string& bytes) = 0;
  // A fetched recording (4-bit ADPCM, no extension) is complete on disk and
  // goes to the conversion worker.
  virtual void recordingFetched(const std::string& path) = 0;
};

// Socket states.
enum class RecordingSocket : int { None = 0, Connecting = 1, Connected = 2, PeerClosed = 5, Closed = 6 };
// Its name as written here ("None"), for logs and test messages.
const char* recordingSocketName(RecordingSocket s);
std::ostream& operator<<(std::ostream& os, RecordingSocket s);

// Datagrams longer than this are cut to it.
inline constexpr std::size_t kRecordingReceiveBuffer = 1200;

class RecordingClient {
 public:
  // selector: the keyset's extension, packed BCD as the accept carries it.
  // language: the texts of the status lines (0-3). The socket is being
  // connected (state 1) when the client is made.
  RecordingClient(std::string workDir, std::uint32_t selector, int language, RecordingClientActions& actions);
  // A recording being fetched is abandoned (its partial file deleted).
  ~RecordingClient();
  RecordingClient(const RecordingClient&) = delete;
  RecordingClient& operator=(const RecordingClient&) = delete;

  void setLanguage(int language) { language_ = language; }

  // Socket events.
  void onConnected();
  void onPeerClosed();
  // A datagram from the exchange; taken only while connected.
  void onDatagram(const std::uint8_t* data, std::size_t size);

  // The "Download" command: starts a run when connected and idle, shows
  // "No connection" when not connected; ignored while a recording is being
  // fetched.
  void download();

  // The per-refresh step (100 ms): repeats an unanswered request every 30 s
  // with a new sequence number, gives the run up after 80 s without an
  // answer, clears the status lines after 100 s. Returns true once when the
  // peer closed: the owner closes the socket and forgets the server.
  bool refreshStep();

  // Status line 0 or 1: 8-bit text in the language's code page.
  const std::string& statusLine(int line) const {
    assert(line == 0 || line == 1);
    return lines_[line];
  }

  RecordingSocket socketState() const { return socket_; }
  // A recording is being fetched (from its offer until its confirmation).
  bool fetching() const { return current_.has_value(); }
  // Recordings completed whole in the current run.
  unsigned downloaded() const { return downloaded_; }
  // The sequence number the next request carries.
  std::uint32_t sequence() const { return sequence_; }
  // The code of the request awaiting its reply, if any.
  std::optional<corvane::VoiceCode> outstanding() const { return outstanding_; }
  // Where the recording being fetched goes ("" when none).
  std::string currentPath() const { return current_ ? current_->path : std::string(); }
  std::string wavDir() const;

 private:
  // The recording being fetched.
  struct Recording {
    std::uint32_t dateWord = 0;
    std::uint32_t fileKey = 0;
    std::uint32_t size = 0;
    std::uint32_t blocks = 0;
    std::uint32_t nextBlock = 0;
    std::string path;
    corvane::FilePtr file;
    // Ended (closed, "file done" sent) and waiting for its confirmation.
    bool ended = false;
    // Ended early by an empty or short block: kept and converted, not
    // counted.
    bool cut = false;
    // Offered with size 0: no file, only confirmed.
    bool empty = false;
  };

  void send(corvane::VoiceCode code);
  std::string request(corvane::VoiceCode code) const;
  void handleOffer(const std::uint8_t* d, std::size_t len);
  void handleBlock(const std::uint8_t* d, std::size_t len);
  void handleDone();
  void endFile(bool cut);
  // Drops the recording being fetched: a partial file is deleted, a whole
  // one (ended, unconfirmed) goes to the converter uncounted.
  void abandon();
  void restartReplyTimers();
  void setLine(int line, std::string text);
  std::string textOf(int id) const;

  std::string workDir_;
  std::uint32_t selector_;
  int language_;
  RecordingClientActions& actions_;
  RecordingSocket socket_ = RecordingSocket::Connecting;
  std::uint32_t sequence_ = 0;
  std::optional<corvane::VoiceCode> outstanding_;
  // Ticks since the last accepted reply, each concern its own timer:
  // repeat the request 29.8 s into every 30 s round...
  corvane::TickTimer requestRepeat = corvane::TickTimer::seconds(30);
  // ... give the run up after 80 s...
  corvane::TickTimer giveUp = corvane::TickTimer::seconds(80);
  // ... and clear the status lines after 100 s.
  corvane::TickTimer clearLines = corvane::TickTimer::seconds(100);
  std::optional<Recording> current_;
  unsigned downloaded_ = 0;
  std::string lines_[2];
};

// The title a keyset gives a recording: the naming rule's fields up to the
// calling number, then "_" and the call reference only when it is not 0.
std::string keysetRecordingTitle(const std::uint8_t (&description)[corvane::kVoiceDescriptionSize]);

}  // namespace halvern
