// The recordings list: the look of a line, which files are listed and in
// what order, and the way back from a line to its file.
#include "halvern/recording_list.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace halvern {
namespace {

using corvane::testing::TempDir;
using corvane::testing::writeAll;

struct LineCase {
  const char* name;
  std::uint64_t size;
  const char* line;
};

TEST(RecordingList, EveryLineShowsTheDurationItsSizeStandsFor) {
  // clang-format off
  const LineCase cases[] = {
    {"204______261209_101530_AO.mp3", 0,          "204______261209_101530_AO.mp3              /      00"},
    {"204______261209_101530_AO.mp3", 500,        "204______261209_101530_AO.mp3              /      00"},
    {"204______261209_101530_AO.mp3", 501,        "204______261209_101530_AO.mp3              /      01"},
    {"204______261209_101530_AO.mp3", 59000,      "204______261209_101530_AO.mp3              /      59"},
    {"204______261209_101530_AO.mp3", 3661000,    "204______261209_101530_AO.mp3              /01:01:01"},
    {"204______261209_101530_AO.MP3", 60000,      "204______261209_101530_AO.MP3              /   01:00"},
    // WAV: 16000 bytes a second; exactly half a second rounds down.
    {"204______261209_101530_AI.wav", 1448000,    "204______261209_101530_AI.wav              /   01:30"},
    {"204______261209_101530_AI.wav", 1448001,    "204______261209_101530_AI.wav              /   01:31"},
    {"204______261209_101530_AI.WAV", 57600000,   "204______261209_101530_AI.WAV              /01:   00"},
    {"204______261209_101530_AI.mp3", 360061000,  "204______261209_101530_AI.mp3              /**:01:01"},
    // A name longer than the column is kept whole.
    {"204______261209_101530_AO_5551234_204_204_0000002A.mp3", 2000,
     "204______261209_101530_AO_5551234_204_204_0000002A.mp3/      02"},
  };
  // clang-format on
  for (const LineCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.size));
    const std::string line = recordingListLine(c.name, c.size);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(recordingFileName(line), c.name);
  }
}

TEST(RecordingList, OnlyWavAndMp3FilesNamedByTheRuleAreListedInNameOrder) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::vector<std::pair<std::string, std::size_t>> files = {
      {"204______261209_111111_AI.MP3", 2000},    // upper case: listed
      {"204______261208_090000_AO.wav", 32000},   // listed, first by name
      {"204______261209_101530_AO.txt", 10},      // a text file
      {"204_____261209_101530_AO.mp3", 1000},     // a field too short
      {"204_____-261209_101530_AO.mp3", 1000},    // no "_" after the first field
      {"204_____.261209_101530_AO.mp3", 1000},    // nor here
      {"204______261209_101530_AO.mp3.tmp", 10},  // an intermediate WAV
      {"204______261209_101530_AO", 100},         // no extension: a fetched file not yet converted
  };
  for (const auto& [name, size] : files) ASSERT_TRUE(writeAll(dir.file(name), std::string(size, 'x')));
  // A folder named like a recording is not a recording.
  std::filesystem::create_directory(dir.file("204______261210_000000_AO.mp3"));

  const std::vector<std::string> expected = {
      "204______261208_090000_AO.wav              /      02",
      "204______261209_111111_AI.MP3              /      02",
  };
  EXPECT_EQ(listRecordings(dir.path()), expected);
  EXPECT_TRUE(listRecordings(dir.file("missing")).empty());
}

}  // namespace
}  // namespace halvern
