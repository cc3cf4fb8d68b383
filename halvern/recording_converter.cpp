#include "halvern/recording_converter.h"

#include "common/mp3.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

namespace halvern {

using corvane::ConvertStatus;

ConversionOutcome convertFetchedRecording(const std::string& fetched, const Mp3Encoder& encoder) {
  const std::string wav = fetched + ".tmp";
  const std::string mp3 = fetched + ".mp3";
  struct stat st {};
  if (::stat(fetched.c_str(), &st) == 0 && std::uint64_t(st.st_size) <= corvane::kApcHeaderSize) {
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

void RecordingConverter::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_.joinable() || stopping_) return;
  thread_ = std::thread([this] { run(); });
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
