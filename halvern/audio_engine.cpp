#include "halvern/audio_engine.h"

namespace halvern {

namespace {

constexpr std::uint64_t floorFrame(std::uint64_t bytes) { return bytes - bytes % kAudioFrameBytes; }

}  // namespace

bool AudioEngine::start(std::unique_ptr<AudioDevice> device) {
  stop();
  if (!device) return false;
  // The start test: a device that cannot run is no device.
  if (!device->start()) return false;
  device->stop();
  device_ = std::move(device);
  lastMode_ = 0;
  running_ = false;
  restarts_ = 0;
  return true;
}

void AudioEngine::stop() {
  if (!device_) return;
  stopRings();
  device_.reset();
}

void AudioEngine::stopRings() {
  device_->stop();
  running_ = false;
}

void AudioEngine::restart() {
  ++restarts_;
  device_->stop();
  device_->renderRing().fill(0);
  running_ = device_->start();
  readPos_ = floorFrame(device_->captureCursor());
  writePos_ = floorFrame(device_->renderCursor() + kRenderLead);
}

void AudioEngine::tick(std::uint8_t speechMode) {
  if (!device_) return;
  if (speechMode != lastMode_) {
    lastMode_ = speechMode;
    if (speechMode == 0) {
      stopRings();
    } else {
      restart();
    }
  } else if (speechMode != 0 && !running_) {
    // A device that refused to start is tried again on the next tick.
    restart();
  }
  if (speechMode == 0 || !running_) return;

  // The counters never wrap, so a lag of a whole ring or more shows as one.
  const std::uint64_t available = device_->captureCursor() - readPos_;
  const std::uint64_t renderCursor = device_->renderCursor();
  if (available >= kOutOfStep) {
    restart();
    return;
  }
  const std::uint64_t take = available >= kTakeTen ? 1600 : available >= kTakeFive ? 800 : 0;
  if (take) {
    const auto out = std::span(frames_).first(take);
    device_->captureRing().read(readPos_, out);
    readPos_ += take;
    speech_.sendFrames(out);
  }

  // The device has overtaken the engine when its cursor passed the write
  // position: that is out of step as well.
  if (renderCursor > writePos_ || writePos_ - renderCursor >= kOutOfStep) {
    restart();
    return;
  }
  const std::uint64_t queued = writePos_ - renderCursor;
  const std::uint64_t produce = queued < kFillTen ? 1600 : queued < kFillFive ? 800 : 0;
  if (produce) {
    const auto out = std::span(frames_).first(produce);
    speech_.playFrames(out);
    device_->renderRing().write(writePos_, out);
    writePos_ += produce;
  }
}

}  // namespace halvern
