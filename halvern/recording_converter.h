// The softphone's conversion worker: every fetched recording (4-bit ADPCM,
// no extension) becomes "<name>.mp3" on a thread of its own, through
// "<name>.tmp" (the intermediate WAV). The fetched file is deleted only once
// that WAV is complete (or when it holds no sound at all: 64 bytes or
// less); a failed MP3 leaves the recording as "<name>.wav". The queue is
// unbounded, so no fetched recording is ever dropped.
#pragma once

#include "common/adpcm.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace halvern {

// What became of one fetched recording.
enum class ConversionOutcome {
  Mp3,         // "<name>.mp3" in place, the fetched file and the WAV gone
  Wav,         // the encoder failed: "<name>.wav" in place, no MP3
  TooShort,    // nothing to convert: the fetched file deleted
  NotDecoded,  // the WAV could not be made: the fetched file left in place
};

// Encodes the WAV at src into an MP3 at dst (corvane::encodeWavToMp3).
using Mp3Encoder = std::function<corvane::ConvertStatus(const std::string& src, const std::string& dst)>;

// Converts one fetched recording, as the worker does.
ConversionOutcome convertFetchedRecording(const std::string& fetched, const Mp3Encoder& encoder);

// The recordings a run left unconverted in wavDir (it ended between the
// exchange's confirmation and the MP3): fetched files, and whole WAVs
// ("<name>.tmp") whose fetched file is already gone; each as the fetched
// path convertFetchedRecording() takes.
std::vector<std::string> interruptedRecordings(const std::string& wavDir);

class RecordingConverter {
 public:
  // encoder: empty for the MP3 library (tests pass one that fails).
  explicit RecordingConverter(Mp3Encoder encoder = {});
  // Stops the worker; what is queued is converted first.
  ~RecordingConverter();
  RecordingConverter(const RecordingConverter&) = delete;
  RecordingConverter& operator=(const RecordingConverter&) = delete;

  // Starts the worker thread if it is not running. With recoverDir it first
  // converts what an earlier run left there (interruptedRecordings());
  // recovered() turns true after that.
  void start(const std::string& recoverDir = {});
  // False while the recordings of an earlier run are still being converted:
  // a download must not start then, as it may write the very same names.
  bool recovered() const { return recovered_.load(std::memory_order_acquire); }
  bool running() const { return thread_.joinable(); }
  // Queues a fetched recording (converted once the worker runs).
  void enqueue(std::string fetched);
  // True once after the worker put new files in place (MP3 or WAV).
  bool takeNewFiles() { return newFiles_.exchange(false, std::memory_order_acq_rel); }
  // Recordings queued and not yet finished.
  std::size_t pending() const;
  // Finishes every queued recording, then ends the thread. The program's
  // exit waits for this rather than leave a fetched recording unconverted.
  void stop();

 private:
  void run();

  Mp3Encoder encoder_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;
  std::size_t busy_ = 0;
  bool stopping_ = false;
  std::atomic<bool> newFiles_{false};
  std::atomic<bool> recovered_{false};
  std::thread thread_;
};

}  // namespace halvern
