// A varied set of well-formed ISDN D-channel frames (LAPD with call-control
// messages, elements and facility components, TEI management, supervisory
// and unnumbered frames), for generated monitor records in tests,
// benchmarks and fuzz targets.
#pragma once

#include <cstdint>
#include <vector>

namespace lumarc {

// The message bytes of each sample frame (at most 96 bytes each).
const std::vector<std::vector<uint8_t>>& sampleIsdnFrames();

// The message bytes of sample V5.2 envelope frames (kinds 0xFD26/27,
// 0xFC26/27): LAPV5 frames of each protocol and relayed ISDN frames.
const std::vector<std::vector<uint8_t>>& sampleV5Frames();

}  // namespace lumarc
