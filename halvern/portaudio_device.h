// The sound card through PortAudio: one full-duplex stream at 8 kHz mono
// 16-bit with 50 ms device buffers. Its callback moves the captured samples
// into the capture ring, through the echo canceller when there is one (the
// samples it plays from the render ring are the far end), and takes the
// samples to play from the render ring.
#pragma once

#include "halvern/audio_device.h"

#include <memory>

namespace halvern {

// The default capture and render devices as one full-duplex pair, with an
// echo canceller when one can be made; nothing when there is no usable
// device.
std::unique_ptr<AudioDevice> openPortAudioDevice();

}  // namespace halvern
