// The recordings window's list: the recordings on this PC (the "Wav"
// folder), one line each with the duration estimated from the file size.
// File names are bytes as the file system gives them; they become text only
// at the widget.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvern {

// Width the file name is padded to before the "/" of a list line.
inline constexpr std::size_t kRecordingNameWidth = 43;

// Seconds of a recording estimated from its size: a WAV (8 kHz 16-bit mono)
// size/16000, an MP3 size/1000, rounded to the nearest second (a remainder
// of exactly half rounds down). Other extensions: 0.
std::uint32_t recordingSeconds(std::string_view fileName, std::uint64_t size);

// The list line: the name padded with blanks to 43, "/", and the duration
// as formatDuration shows it.
std::string recordingListLine(std::string_view fileName, std::uint64_t size);

// The file name of a list line: the part before "/", trailing blanks cut.
std::string recordingFileName(std::string_view line);

// Whether a file name is listed: it matches "????????_??????_??????_*.*"
// and its extension (after the last ".") is "wav" or "mp3" in any case.
bool isListedRecording(std::string_view fileName);

// The lines of the regular files in folder that are listed, in name order.
// A missing or unreadable folder lists nothing.
std::vector<std::string> listRecordings(const std::string& folder);

}  // namespace halvern
