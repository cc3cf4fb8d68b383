#include "halvern/recording_list.h"

#include "common/format.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

namespace halvern {

namespace {

// The extension after the last ".", lower-cased (ASCII only); empty
// without a ".".
std::string extensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot + 1));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return ext;
}

}  // namespace

std::uint32_t recordingSeconds(std::string_view fileName, std::uint64_t size) {
  const std::string ext = extensionOf(fileName);
  std::uint64_t bytesPerSecond = 0;
  if (ext == "wav")
    bytesPerSecond = 16000;
  else if (ext == "mp3")
    bytesPerSecond = 1000;
  else
    return 0;
  std::uint64_t seconds = size / bytesPerSecond;
  if ((size % bytesPerSecond) * 2 > bytesPerSecond) ++seconds;
  return std::uint32_t(std::min<std::uint64_t>(seconds, std::numeric_limits<std::uint32_t>::max()));
}

std::string recordingListLine(std::string_view fileName, std::uint64_t size) {
  std::string line(fileName);
  if (line.size() < kRecordingNameWidth) line.resize(kRecordingNameWidth, ' ');
  line += '/';
  line += corvane::formatDuration(recordingSeconds(fileName, size));
  return line;
}

std::string recordingFileName(std::string_view line) {
  std::string_view name = line.substr(0, line.find('/'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return std::string(name);
}

bool isListedRecording(std::string_view name) {
  // "????????_??????_??????_*.*": three fixed fields, then a rest holding
  // a ".".
  if (name.size() < 23 || name[8] != '_' || name[15] != '_' || name[22] != '_') return false;
  if (name.find('.', 23) == std::string_view::npos) return false;
  const std::string ext = extensionOf(name);
  return ext == "wav" || ext == "mp3";
}

std::vector<std::string> listRecordings(const std::string& folder) {
  namespace fs = std::filesystem;
  struct Found {
    std::string name;
    std::uint64_t size;
  };
  std::vector<Found> found;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!isListedRecording(name)) continue;
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc) || fileEc) continue;
    const std::uintmax_t size = it->file_size(fileEc);
    if (fileEc) continue;
    found.push_back({std::move(name), std::uint64_t(size)});
  }
  // Byte order of the names, as a file manager sorting by name shows them.
  // The naming rule puts the extension first and then the date and time,
  // so the softphone's own recordings come oldest first, newest last.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.name < b.name; });
  std::vector<std::string> lines;
  lines.reserve(found.size());
  for (const Found& f : found) lines.push_back(recordingListLine(f.name, f.size));
  return lines;
}

}  // namespace halvern
