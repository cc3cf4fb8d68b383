// Conversion of downloaded recordings to MP3: a worker thread at the lowest
// priority that decodes an "apc" file to WAV and encodes a WAV to MP3 into
// scratch files, and the converter step on the event thread that picks the
// next row, hands its file to the worker, and afterwards puts the result in
// place. A recording's only copy is deleted only after its MP3 exists and
// its row says so; a failed conversion keeps the source (renamed ".cfl")
// and marks the row so it is not tried again.
#pragma once

#include "common/adpcm.h"
#include "lumarc/records/voice_sinks.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>

namespace lumarc {

using corvane::ConvertStatus;

// The scratch files of the conversion, in the recordings' folder.
constexpr const char* kMp3Scratch = "mp3.tmp";
constexpr const char* kWavScratch = "wav.tmp";

// One conversion pass of the worker, run on its thread: deletes both
// scratch files, decodes an "apc" source into wavScratch, and encodes the
// WAV into mp3Scratch. Ok only when mp3Scratch is complete.
ConvertStatus convertRecording(const std::string& source, bool isApc, const std::string& wavScratch,
                               const std::string& mp3Scratch, const std::atomic<bool>* stop);

// The worker thread: one file at a time, started by start(), stopped
// cooperatively by stop() (flag, wake, join; the flag is checked between
// encoder blocks).
class ConversionWorker {
 public:
  // Starts the thread; it waits for work at the lowest priority.
  ConversionWorker(std::string wavScratch, std::string mp3Scratch);
  ~ConversionWorker();
  ConversionWorker(const ConversionWorker&) = delete;
  ConversionWorker& operator=(const ConversionWorker&) = delete;

  // Hands a source file to the worker; false while it is busy or stopped.
  bool start(const std::string& source, bool isApc);
  // True from start() until the pass has ended.
  bool busy() const { return busy_.load(std::memory_order_acquire); }
  // The outcome of the last pass (read after busy() turned false).
  ConvertStatus result() const;
  // Raises the stop flag, wakes the thread and joins it. Idempotent.
  void stop();

 private:
  void run();

  std::string wavScratch_, mp3Scratch_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::string source_;
  bool isApc_ = false;
  bool pending_ = false;
  ConvertStatus result_ = ConvertStatus::Ok;
  std::atomic<bool> busy_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// What the converter tells the program.
struct ConverterEvents {
  // A conversion started: the status pane shows "mp3:" and the count.
  std::function<void(unsigned long count)> conversions;
  // A database error text for the message bar.
  std::function<void(const std::string& text)> error;
};

// The status pane text of a conversion count: "mp3:N".
std::string conversionCountText(unsigned long count);

// The converter step, driven every 100 ms from the event loop.
class VoiceConverter {
 public:
  enum class State { Idle, Waiting, Converting };

  // workDir: the working directory (the recordings live in its "Wav").
  VoiceConverter(std::string workDir, VoiceConvertRows& rows, ConverterEvents events = {});
  ~VoiceConverter();

  // One step: picks the next recording, or takes the worker's result.
  void converterStep();
  // A recording was stored: a waiting converter looks again at once.
  void wake();
  // Stops the worker (program end); a conversion in progress is dropped
  // and its source stays as it was.
  void shutdown();

  State state() const { return state_; }
  unsigned long conversions() const { return count_; }
  bool workerBusy() const { return worker_ && worker_->busy(); }

 private:
  void pickNext();
  void finish();
  void reportError(const std::string& text);

  std::string wavDir_;
  VoiceConvertRows& rows_;
  ConverterEvents events_;
  std::unique_ptr<ConversionWorker> worker_;
  bool started_ = false;
  State state_ = State::Idle;
  unsigned long idleCalls_ = 0;
  unsigned long waitCalls_ = 0;
  unsigned long count_ = 0;
  std::string name_;  // rcdfn of the recording being converted
  std::string ext_;   // its extension as on disk
};

// The converter state's name as written here ("Idle"), for logs and test
// messages.
const char* converterStateName(VoiceConverter::State s);
std::ostream& operator<<(std::ostream& os, VoiceConverter::State s);

}  // namespace lumarc
