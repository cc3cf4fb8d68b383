// lumarc-cli convert: converts recordings by hand, with the same decoder and
// encoder as the converter. An ".apc" file becomes a WAV and an MP3 beside
// it, a ".wav" file an MP3; the source is never changed.
#include "tools/cli/command.h"

#include "common/adpcm.h"
#include "common/mp3.h"
#include "common/recording_name.h"
#include "tools/common/progress_bar.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace lumarc::cli {
namespace {

// The path with its extension (after the last dot of the file name) replaced.
std::string withExtension(const std::string& path, const std::string& ext) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + "." + ext;
  return path.substr(0, dot + 1) + ext;
}

std::string extensionOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

// The bar is cleared before each line on the terminal, so the file names
// scroll above it.
int convertOne(const std::string& path, corvane::tools::TerminalProgress& bar) {
  const std::string ext = extensionOf(path);
  std::string wav = path;
  if (corvane::equalsNoCase(ext, "apc")) {
    wav = withExtension(path, "wav");
    corvane::ConvertStatus s = corvane::decodeApcFile(path, wav);
    if (s != corvane::ConvertStatus::Ok) {
      bar.clear();
      std::fprintf(stderr, "lumarc-cli convert: %s: %s\n", path.c_str(), corvane::convertStatusText(s));
      return 1;
    }
    bar.clearFor(1);
    std::printf("%s\n", wav.c_str());
  } else if (!corvane::equalsNoCase(ext, "wav")) {
    bar.clear();
    std::fprintf(stderr, "lumarc-cli convert: %s: not a recording (\".apc\" or \".wav\" expected)\n", path.c_str());
    return 1;
  }
  const std::string mp3 = withExtension(path, "mp3");
  corvane::ConvertStatus s = corvane::encodeWavToMp3(wav, mp3);
  if (s != corvane::ConvertStatus::Ok) {
    bar.clear();
    std::fprintf(stderr, "lumarc-cli convert: %s: %s\n", wav.c_str(), corvane::convertStatusText(s));
    return 1;
  }
  bar.clearFor(1);
  std::printf("%s\n", mp3.c_str());
  return 0;
}

Runner define(CLI::App& parser) {
  auto files = std::make_shared<std::vector<std::string>>();
  parser.add_option("FILE", *files, "a recording: \".apc\" or \".wav\"")->type_name("")->required();
  return [files](const Options&) {
    int failed = 0;
    corvane::tools::TerminalProgress bar("convert", "files", files->size());
    uint64_t done = 0;
    for (const std::string& f : *files) {
      failed += convertOne(f, bar);
      std::fflush(stdout);
      bar.update(++done);
    }
    bar.finish();
    return failed ? 1 : 0;
  };
}

Register reg({"convert", "convert recordings: \".apc\" to WAV and MP3 beside it, \".wav\" to MP3", define});

}  // namespace
}  // namespace lumarc::cli
