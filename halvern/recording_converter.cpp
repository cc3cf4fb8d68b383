#include "halvern/recording_converter.h"

#include "common/mp3.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

namespace halvern {

using corvane::ConvertStatus;

ConversionOutcome convertFetchedRecording(const std::string& fetched, const Mp3Encoder& encoder) {
  const std::string wav = fetched + ".tmp";
  const std::string mp3 = fetched + ".mp3";
  struct stat st {};
  if (::stat(fetched.c_str(), &st) == 0) {
    if (std::uint64_t(st.st_size) <= corvane::kApcHeaderSize) {
      ::unlink(fetched.c_str());
      return ConversionOutcome::TooShort;
    }
    // The fetched file is the recording's only copy until the WAV is whole.
    const ConvertStatus decoded = corvane::decodeApcFile(fetched, wav);
    if (decoded == ConvertStatus::SourceTooShort) {
      ::unlink(fetched.c_str());
      return ConversionOutcome::TooShort;
    }
    if (decoded != ConvertStatus::Ok) return ConversionOutcome::NotDecoded;
    ::unlink(fetched.c_str());
  } else if (::access(wav.c_str(), F_OK) != 0) {
    return ConversionOutcome::NotDecoded;
  }
  // Here the WAV is whole: made just now, or left complete by a run that
  // ended before its MP3 was done (the fetched file goes only after it).
  const ConvertStatus encoded = encoder ? encoder(wav, mp3) : corvane::encodeWavToMp3(wav, mp3);
  if (encoded == ConvertStatus::Ok) {
    ::unlink(wav.c_str());
    return ConversionOutcome::Mp3;
  }
  ::unlink(mp3.c_str());
  if (std::rename(wav.c_str(), (fetched + ".wav").c_str()) != 0) return ConversionOutcome::NotDecoded;
  return ConversionOutcome::Wav;
}

RecordingConverter::RecordingConverter(Mp3Encoder encoder) : encoder_(std::move(encoder)) {}

RecordingConverter::~RecordingConverter() { stop(); }

std::vector<std::string> interruptedRecordings(const std::string& wavDir) {
  namespace fs = std::filesystem;
  // A recording's name: three fixed fields ("????????_??????_??????_"), then
  // the rest, which never holds a "." until an extension is added.
  auto recordingName = [](std::string_view n) {
    return n.size() > 23 && n[8] == '_' && n[15] == '_' && n[22] == '_' && n.find('.', 23) == std::string_view::npos;
  };
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(wavDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc) || fileEc) continue;
    const std::string name = it->path().filename().string();
    if (recordingName(name)) {
      found.push_back(it->path().string());
    } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) {
      // A whole WAV whose fetched file is gone: only the MP3 step is left.
      const std::string base = name.substr(0, name.size() - 4);
      if (recordingName(base) && !fs::exists(fs::path(wavDir) / base, fileEc))
        found.push_back((fs::path(wavDir) / base).string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

void RecordingConverter::start(const std::string& recoverDir) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_.joinable() || stopping_) return;
  // The folder is read here, so with nothing left over a download may
  // start at once.
  std::vector<std::string> left;
  if (!recoverDir.empty()) left = interruptedRecordings(recoverDir);
  if (left.empty()) recovered_.store(true, std::memory_order_release);
  thread_ = std::thread([this, left = std::move(left)] {
    for (const std::string& fetched : left) {
      const ConversionOutcome out = convertFetchedRecording(fetched, encoder_);
      if (out == ConversionOutcome::Mp3 || out == ConversionOutcome::Wav)
        newFiles_.store(true, std::memory_order_release);
    }
    recovered_.store(true, std::memory_order_release);
    run();
  });
}

void RecordingConverter::enqueue(std::string fetched) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(fetched));
  }
  wake_.notify_one();
}

std::size_t RecordingConverter::pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size() + busy_;
}

void RecordingConverter::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void RecordingConverter::run() {
  // The lowest priority: conversion must never hold up the speech.
  ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 19);
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    // A stop still converts what is queued: a fetched recording is
    // confirmed to the exchange already and exists nowhere else.
    if (queue_.empty()) break;
    std::string fetched = std::move(queue_.front());
    queue_.pop_front();
    busy_ = 1;
    lock.unlock();
    const ConversionOutcome out = convertFetchedRecording(fetched, encoder_);
    if (out == ConversionOutcome::Mp3 || out == ConversionOutcome::Wav)
      newFiles_.store(true, std::memory_order_release);
    lock.lock();
    busy_ = 0;
  }
}

}  // namespace halvern
