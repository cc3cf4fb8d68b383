#include "halvern/portaudio_device.h"

#include "halvern/echo_canceller.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <vector>

namespace halvern {

namespace {

// 40 ms device buffers: two echo-canceller blocks each.
constexpr unsigned long kBufferSamples = 320;
constexpr double kDeviceLatency = 0.05;

// ALSA reports every card it cannot find on stderr while PortAudio looks;
// on a machine without sound that is noise, the caller says it plainly.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
void quietJack(const char*) {}

// The JACK client library PortAudio brings along does the same when no
// JACK server runs; it is reached by name so that a PortAudio built
// without it needs nothing here.
void quietJackClient() {
  using SetFunction = void (*)(void (*)(const char*));
  for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
    if (auto set = reinterpret_cast<SetFunction>(dlsym(RTLD_DEFAULT, name))) set(&quietJack);
  }
}

class PortAudioDevice final : public AudioDevice {
 public:
  explicit PortAudioDevice(std::unique_ptr<EchoCanceller> canceller) : canceller_(std::move(canceller)) {
    if (canceller_) cleaned_.resize(canceller_->frameSamples());
    silence_.resize(kAudioRingBytes / 2);
  }
  ~PortAudioDevice() override {
    if (stream_) {
      Pa_StopStream(stream_);
      Pa_CloseStream(stream_);
    }
    Pa_Terminate();
  }

  bool open() {
    const PaDeviceIndex in = Pa_GetDefaultInputDevice(), out = Pa_GetDefaultOutputDevice();
    if (in == paNoDevice || out == paNoDevice) return false;
    PaStreamParameters inParams{in, 1, paInt16, kDeviceLatency, nullptr};
    PaStreamParameters outParams{out, 1, paInt16, kDeviceLatency, nullptr};
    return Pa_OpenStream(&stream_, &inParams, &outParams, kAudioSampleRate, kBufferSamples, paNoFlag,
                         &PortAudioDevice::callback, this) == paNoError;
  }

  bool start() override {
    if (Pa_IsStreamActive(stream_) == 1) return true;
    return Pa_StartStream(stream_) == paNoError;
  }
  void stop() override {
    if (Pa_IsStreamStopped(stream_) == 0) Pa_StopStream(stream_);
  }
  std::uint64_t captureCursor() override { return captured_.load(std::memory_order_acquire); }
  std::uint64_t renderCursor() override { return rendered_.load(std::memory_order_acquire); }
  bool echoCancelling() const override { return canceller_ != nullptr; }

 private:
  static int callback(const void* input, void* output, unsigned long samples, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags, void* self) {
    static_cast<PortAudioDevice*>(self)->duplex(static_cast<const std::int16_t*>(input),
                                                static_cast<std::int16_t*>(output), samples);
    return paContinue;
  }

  // One device buffer each way: play from the render ring, then capture
  // into the capture ring, the played samples being the echo's source.
  void duplex(const std::int16_t* input, std::int16_t* output, unsigned long samples) {
    // Larger buffers than a ring never come; cut them to be safe.
    const std::size_t n = std::min<std::size_t>(samples, kAudioRingBytes / 2);
    const std::uint64_t played = rendered_.load(std::memory_order_relaxed);
    render_.readSamples(played, std::span(output, n));
    std::fill(output + n, output + samples, std::int16_t(0));
    rendered_.store(played + 2 * n, std::memory_order_release);

    const std::uint64_t at = captured_.load(std::memory_order_relaxed);
    if (!input) {
      capture_.writeSamples(at, std::span(silence_).first(n));
    } else if (!canceller_) {
      capture_.writeSamples(at, std::span(input, n));
    } else {
      const std::size_t block = cleaned_.size();
      std::size_t i = 0;
      for (; i + block <= n; i += block) {
        canceller_->cancel(std::span(input + i, block), std::span(output + i, block), cleaned_);
        capture_.writeSamples(at + 2 * i, cleaned_);
      }
      // A buffer that is not whole blocks passes its rest as it is.
      if (i < n) capture_.writeSamples(at + 2 * i, std::span(input + i, n - i));
    }
    captured_.store(at + 2 * n, std::memory_order_release);
  }

  std::unique_ptr<EchoCanceller> canceller_;
  std::vector<std::int16_t> cleaned_, silence_;
  PaStream* stream_ = nullptr;
  std::atomic<std::uint64_t> captured_{0}, rendered_{0};
};

}  // namespace

std::unique_ptr<AudioDevice> openPortAudioDevice() {
  snd_lib_error_set_handler(&quietAlsa);
  quietJackClient();
  // With the echo canceller first; without it when that cannot be had.
  for (const bool cancelEcho : {true, false}) {
    std::unique_ptr<EchoCanceller> canceller;
    if (cancelEcho) {
      canceller = makeSpeexEchoCanceller();
      if (!canceller) continue;
    }
    if (Pa_Initialize() != paNoError) return nullptr;
    // From here the device owns the initialisation and ends it.
    auto device = std::make_unique<PortAudioDevice>(std::move(canceller));
    if (device->open()) return device;
  }
  return nullptr;
}

}  // namespace halvern
