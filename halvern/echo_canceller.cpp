#include "halvern/echo_canceller.h"

#include <speex/speex_echo.h>

#include <cassert>

namespace halvern {

namespace {

class SpeexEchoCanceller final : public EchoCanceller {
 public:
  SpeexEchoCanceller(SpeexEchoState* state, std::size_t frameSamples) : state_(state), frameSamples_(frameSamples) {}
  ~SpeexEchoCanceller() override { speex_echo_state_destroy(state_); }

  void cancel(std::span<const std::int16_t> captured, std::span<const std::int16_t> played,
              std::span<std::int16_t> out) override {
    assert(captured.size() == frameSamples_ && played.size() == frameSamples_ && out.size() == frameSamples_);
    speex_echo_cancellation(state_, captured.data(), played.data(), out.data());
  }
  std::size_t frameSamples() const override { return frameSamples_; }

 private:
  SpeexEchoState* state_;
  std::size_t frameSamples_;
};

}  // namespace

std::unique_ptr<EchoCanceller> makeSpeexEchoCanceller(std::size_t frameSamples, std::size_t tailSamples) {
  SpeexEchoState* state = speex_echo_state_init(int(frameSamples), int(tailSamples));
  if (!state) return nullptr;
  int rate = 8000;
  speex_echo_ctl(state, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
  return std::make_unique<SpeexEchoCanceller>(state, frameSamples);
}

}  // namespace halvern
