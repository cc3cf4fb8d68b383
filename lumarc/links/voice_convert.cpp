#include "lumarc/links/voice_convert.h"

#include "common/files.h"
#include "common/mp3.h"
#include "common/recording_name.h"

#include <fcntl.h>
#include <ostream>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace lumarc {
namespace {

// Renames without replacing an existing file.
bool renameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // File systems without renameat2: link, then unlink.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

}  // namespace

ConvertStatus convertRecording(const std::string& source, bool isApc, const std::string& wavScratch,
                               const std::string& mp3Scratch, const std::atomic<bool>* stop) {
  ::unlink(mp3Scratch.c_str());
  ::unlink(wavScratch.c_str());
  std::string wav = source;
  if (isApc) {
    ConvertStatus s = corvane::decodeApcFile(source, wavScratch, stop);
    if (s != ConvertStatus::Ok) return s;
    wav = wavScratch;
  }
  ConvertStatus s = corvane::encodeWavToMp3(wav, mp3Scratch, stop);
  if (isApc) ::unlink(wavScratch.c_str());
  return s;
}

ConversionWorker::ConversionWorker(std::string wavScratch, std::string mp3Scratch)
    : wavScratch_(std::move(wavScratch)), mp3Scratch_(std::move(mp3Scratch)), thread_([this] { run(); }) {}

ConversionWorker::~ConversionWorker() { stop(); }

bool ConversionWorker::start(const std::string& source, bool isApc) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (busy_.load() || stop_.load()) return false;
  source_ = source;
  isApc_ = isApc;
  pending_ = true;
  busy_.store(true, std::memory_order_release);
  wake_.notify_one();
  return true;
}

ConvertStatus ConversionWorker::result() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

void ConversionWorker::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true);
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void ConversionWorker::run() {
  // The lowest priority: conversion must never hold up the links.
  ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 19);
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return pending_ || stop_.load(); });
    if (stop_.load()) break;
    pending_ = false;
    const std::string source = source_;
    const bool isApc = isApc_;
    lock.unlock();
    ConvertStatus s = convertRecording(source, isApc, wavScratch_, mp3Scratch_, &stop_);
    lock.lock();
    result_ = s;
    busy_.store(false, std::memory_order_release);
  }
  busy_.store(false, std::memory_order_release);
}

std::string conversionCountText(unsigned long count) { return "mp3:" + std::to_string(count); }

VoiceConverter::VoiceConverter(std::string workDir, VoiceConvertRows& rows, ConverterEvents events)
    : wavDir_(corvane::joinPath(workDir, corvane::kVoiceFolder)), rows_(rows), events_(std::move(events)) {}

VoiceConverter::~VoiceConverter() { shutdown(); }

void VoiceConverter::shutdown() {
  if (worker_) worker_->stop();
}

void VoiceConverter::wake() {
  if (state_ == State::Waiting) state_ = State::Idle;
}

void VoiceConverter::reportError(const std::string& text) {
  if (events_.error) events_.error(text);
}

void VoiceConverter::converterStep() {
  if (!started_) {
    started_ = true;
    const std::string wavScratch = corvane::joinPath(wavDir_, kWavScratch);
    const std::string mp3Scratch = corvane::joinPath(wavDir_, kMp3Scratch);
    ::unlink(wavScratch.c_str());
    ::unlink(mp3Scratch.c_str());
    worker_ = std::make_unique<ConversionWorker>(wavScratch, mp3Scratch);
  }
  if (!rows_.voiceOpen()) return;
  switch (state_) {
    case State::Idle:
      if (worker_->busy()) return;
      if (++idleCalls_ >= 5) pickNext();
      return;
    case State::Waiting:
      if (++waitCalls_ > 1000) state_ = State::Idle;
      return;
    case State::Converting:
      if (!worker_->busy()) finish();
      return;
  }
}

void VoiceConverter::pickNext() {
  std::string error;
  auto row = rows_.firstToConvert(
      [](const VoiceRecord& r) {
        const std::string path = r.rcdfn + "." + r.rcdfx;
        return ::access(path.c_str(), R_OK | W_OK) == 0;
      },
      error);
  if (!row) {
    if (!error.empty()) reportError(error);
    state_ = State::Waiting;
    waitCalls_ = 0;
    return;
  }
  name_ = row->rcdfn;
  ext_ = row->rcdfx;
  ::unlink((name_ + ".mp3").c_str());
  if (!worker_->start(name_ + "." + ext_, corvane::equalsNoCase(ext_, "apc"))) return;
  ++count_;
  if (events_.conversions) events_.conversions(count_);
  state_ = State::Converting;
}

void VoiceConverter::finish() {
  state_ = State::Idle;
  const ConvertStatus status = worker_->result();
  const std::string source = name_ + "." + ext_;
  const std::string mp3 = name_ + ".mp3";
  const std::string scratch = corvane::joinPath(wavDir_, kMp3Scratch);
  std::string error;
  if (status == ConvertStatus::Stopped) return;  // tried again at the next start
  if (status == ConvertStatus::Ok && std::rename(scratch.c_str(), mp3.c_str()) == 0) {
    // The row first; the source goes only once the row names the MP3.
    if (rows_.setExtension(name_, "mp3", error))
      ::unlink(source.c_str());
    else
      reportError(error);
    return;
  }
  ::unlink(scratch.c_str());
  // Failed: the source is kept as "<name>.cfl.<ext>" and never tried again.
  const std::string failedName = name_ + ".cfl";
  const std::string failedPath = failedName + "." + ext_;
  if (renameNoReplace(source, failedPath)) {
    if (!rows_.markFailed(name_, failedName, error)) {
      std::rename(failedPath.c_str(), source.c_str());
      reportError(error);
    }
  } else if (!rows_.markFailed(name_, name_, error)) {
    // The file cannot be renamed: the row keeps its name but is marked.
    reportError(error);
  }
}

const char* converterStateName(VoiceConverter::State s) {
  switch (s) {
    case VoiceConverter::State::Idle: return "Idle";
    case VoiceConverter::State::Waiting: return "Waiting";
    case VoiceConverter::State::Converting: return "Converting";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, VoiceConverter::State s) { return os << converterStateName(s); }

}  // namespace lumarc
