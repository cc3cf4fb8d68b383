// Recording file names found in the voice folder (anyone may put a file
// there): the scan reads each name back into a row.
#include "common/recording_name.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  uint64_t fileSize = 0;
  std::memcpy(&fileSize, data, 8);
  // A folder that does not exist: a WAV name never opens a real file.
  std::string path = "/nonexistent-corvane-fuzz/Wav/";
  for (size_t i = 8; i < size; ++i)
    if (data[i] != 0 && data[i] != '/') path += char(data[i]);
  std::optional<lumarc::VoiceRecord> row = corvane::parseVoiceFileName(path, fileSize);
  if (row) {
    // A name that reads back gives a title that reads back the same way.
    std::string title = corvane::recordingTitle(*row);
    (void)title;
  }
  return 0;
}
