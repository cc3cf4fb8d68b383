// Voice recordings: ADPCM-to-WAV and WAV-to-MP3 speed as multiples of real
// time, each beside a baseline of the same run (memory copy; the LAME
// library encoding from memory, and the lame command-line encoder when it
// is installed), and download throughput over loopback with the simulator
// and lumarc-cli collect on 31 data channels.
#include "common/adpcm.h"
#include "common/mp3.h"

#include <lame/lame.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// One figure; a figure measured against another of the same run names it.
void print(const char* name, double value, const char* unit, const char* baseline = nullptr) {
  if (baseline)
    std::printf("%s: %.2f %s (baseline: %s)\n", name, value, unit, baseline);
  else
    std::printf("%s: %.2f %s\n", name, value, unit);
}

std::string speechLikeApc(double seconds) {
  std::string s(corvane::kApcHeaderSize, 'h');
  const size_t samples = size_t(seconds * 8000) / 240 * 240;
  corvane::AdpcmState st;
  uint8_t pending = 0;
  for (size_t i = 0; i < samples; ++i) {
    double t = double(i) / 8000;
    double v = (0.5 + 0.5 * std::sin(2 * M_PI * 4 * t)) *
               (5000 * std::sin(2 * M_PI * 150 * t) + 2500 * std::sin(2 * M_PI * 450 * t));
    uint8_t n = corvane::adpcmEncodeSample(st, int16_t(std::lround(v)));
    if (i % 2 == 0)
      pending = n;
    else
      s += char(pending | n << 4);
  }
  return s;
}

void writeFile(const std::string& path, const std::string& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

pid_t spawn(const std::vector<std::string>& argv, int outFd) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  int devnull = ::open("/dev/null", O_WRONLY);
  posix_spawn_file_actions_adddup2(&fa, outFd >= 0 ? outFd : devnull, 1);
  posix_spawn_file_actions_adddup2(&fa, devnull, 2);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  ::close(devnull);
  return pid;
}

std::string selfDir() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : p.parent_path().string();
}

void decodeBench() {
  const double seconds = 600;  // ten minutes of sound
  std::string apc = speechLikeApc(seconds);
  const size_t body = apc.size() - corvane::kApcHeaderSize;
  std::vector<int16_t> pcm(body * 2);
  const int rounds = 20;
  auto t0 = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    corvane::AdpcmState st;
    // clang-format off
    corvane::adpcmDecode(st, reinterpret_cast<const uint8_t*>(apc.data()) + corvane::kApcHeaderSize, body,
                         pcm.data());
    // clang-format on
  }
  double t = since(t0);
  std::vector<char> dst(pcm.size() * 2);
  auto t1 = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    std::memcpy(dst.data(), pcm.data(), dst.size());
    asm volatile("" ::"r"(dst.data()) : "memory");
  }
  double tc = since(t1);
  print("adpcm_decode_memory", double(body) * rounds / t / 1e6, "MB/s", "baseline_memcpy_output");
  print("adpcm_decode_memory_realtime", seconds * rounds / t, "x");
  print("baseline_memcpy_output", double(dst.size()) * rounds / tc / 1e6, "MB/s");

  std::string dir = std::filesystem::temp_directory_path().string() + "/voice_bench";
  std::filesystem::create_directories(dir);
  writeFile(dir + "/b.apc", apc);
  auto t2 = Clock::now();
  corvane::decodeApcFile(dir + "/b.apc", dir + "/b.wav");
  print("adpcm_to_wav_file_realtime", seconds / since(t2), "x");
}

void encodeBench() {
  std::string dir = std::filesystem::temp_directory_path().string() + "/voice_bench";
  std::filesystem::create_directories(dir);
  const double seconds = 300;
  writeFile(dir + "/e.apc", speechLikeApc(seconds));
  corvane::decodeApcFile(dir + "/e.apc", dir + "/e.wav");
  auto t0 = Clock::now();
  corvane::encodeWavToMp3(dir + "/e.wav", dir + "/e.mp3");
  double ours = seconds / since(t0);
  print("wav_to_mp3_realtime", ours, "x", "baseline_lame_library_memory_realtime");

  // Baseline: the library alone, from memory into memory.
  auto info = corvane::readWavInfo(dir + "/e.wav");
  std::string wav;
  if (std::FILE* f = std::fopen((dir + "/e.wav").c_str(), "rb")) {
    wav.resize(size_t(info ? info->dataOffset + info->dataSize : 0));
    size_t n = std::fread(wav.data(), 1, wav.size(), f);
    wav.resize(n);
    std::fclose(f);
  }
  std::vector<int16_t> pcm((wav.size() - 44) / 2);
  std::memcpy(pcm.data(), wav.data() + 44, pcm.size() * 2);
  lame_global_flags* gf = lame_init();
  lame_set_in_samplerate(gf, 8000);
  lame_set_num_channels(gf, 1);
  lame_set_mode(gf, MONO);
  lame_init_params(gf);
  std::vector<unsigned char> out(corvane::kMp3BufferSize);
  auto t1 = Clock::now();
  for (size_t at = 0; at < pcm.size(); at += 8192) {
    int n = int(std::min<size_t>(8192, pcm.size() - at));
    lame_encode_buffer(gf, pcm.data() + at, pcm.data() + at, n, out.data(), int(out.size()));
  }
  lame_encode_flush(gf, out.data(), int(out.size()));
  double lib = seconds / since(t1);
  lame_close(gf);
  print("baseline_lame_library_memory_realtime", lib, "x");
  print("wav_to_mp3_vs_library", ours / lib, "ratio");

  // The lame command-line encoder, when installed.
  auto t2 = Clock::now();
  pid_t pid = spawn({"lame", "--quiet", dir + "/e.wav", dir + "/e_cli.mp3"}, -1);
  int st = 0;
  if (pid > 0 && ::waitpid(pid, &st, 0) == pid && WIFEXITED(st) && WEXITSTATUS(st) == 0) {
    double cli = seconds / since(t2);
    print("baseline_lame_cli_realtime", cli, "x");
    print("wav_to_mp3_vs_lame_cli", ours / cli, "ratio");
  } else {
    std::printf("baseline_lame_cli_realtime: unavailable (no lame command)\n");
  }
}

void downloadBench() {
  const std::string tools = selfDir() + "/../tools";
  if (!std::filesystem::exists(tools + "/corvane-sim") || !std::filesystem::exists(tools + "/lumarc-cli")) {
    std::printf("voice_download_loopback: unavailable (tools not built)\n");
    return;
  }
  std::string dir = std::filesystem::temp_directory_path().string() + "/voice_bench_dl";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const int files = 62;
  const double seconds = 60;  // 240 kB each
  int out[2];
  if (::pipe(out) != 0) return;
  pid_t sim = spawn({tools + "/corvane-sim", "--listen", "127.0.0.1", "voice", "--any-port", "--channels", "31",
                     "--count", std::to_string(files), "--seconds", std::to_string(seconds), "--exit-when-done"},
                    out[1]);
  ::close(out[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while (text.find('\n') == std::string::npos && (n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, size_t(n));
  std::string port = text.substr(text.rfind(':', text.find('\n')) + 1);
  port = port.substr(0, port.find('\n'));
  auto t0 = Clock::now();
  pid_t cli = spawn({tools + "/lumarc-cli", "--dir", dir, "collect", "--voice", "127.0.0.1:" + port}, -1);
  while (text.find("all files confirmed") == std::string::npos && (n = ::read(out[0], buf, sizeof buf)) > 0)
    text.append(buf, size_t(n));
  double t = since(t0);
  ::close(out[0]);
  ::kill(cli, SIGTERM);
  ::waitpid(cli, nullptr, 0);
  ::waitpid(sim, nullptr, 0);
  const double bytes = double(files) * (size_t(seconds * 8000) / 240 * 120 + 64);
  print("voice_download_loopback_31_channels", bytes / t / 1e6, "MB/s");
  print("voice_download_loopback_files", files / t, "files/s");
  std::filesystem::remove_all(dir);
}

}  // namespace

int main() {
  decodeBench();
  encodeBench();
  downloadBench();
  std::filesystem::remove_all(std::filesystem::temp_directory_path().string() + "/voice_bench");
  return 0;
}
