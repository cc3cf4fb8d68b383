// corvane-sim voice: the exchange's side of the voice recording download.
// Channel 0 listens on the role's port and announces the channel list (an
// IPv4 or IPv6 list of this host's channel sockets); every channel answers
// file queries with the next recording not yet confirmed, block requests
// with up to 1024 bytes, and "file done" with its confirmation. Recordings
// come from a directory of ".apc" files or are generated (tones and a
// speech-like signal). Faults: lost replies, stale sequence numbers (a late
// reply), duplicate replies, short and empty blocks, silence, and "file
// done" taken (the recording forgotten) but never answered, as when the
// exchange's answer is lost or the program ends right after sending it.
// With --keyset EXT it is the service a keyset reaches on the recording port
// of its registration: one socket, no channel list, only queries naming the
// extension (packed, in place of 0xFF x 4) are answered, every offer
// carries the extension as its file key, and the end of the list is an
// offer with date word 0.
#include "tools/sim/role.h"
#include "tools/sim/sockets.h"

#include "common/adpcm.h"
#include "common/byte_io.h"
#include "common/recording_name.h"
#include "common/voice_message.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace corvane::sim {
namespace {

struct Config {
  int channels = 4;
  std::string dir;
  int count = 5;
  double seconds = 3;
  std::string announce;  // address put in the channel list; default: the listen address
  std::set<int> lose, stale, duplicate, shortFile, emptyFile;  // 1-based reply or file numbers
  bool silence = false;
  bool unansweredDone = false;
  bool exitWhenDone = false;
  bool anyPort = false;
  // Keyset mode: the packed extension whose recordings are served.
  std::optional<uint32_t> keyset;
};

struct Recording {
  std::string content;
  uint32_t date = 0;
  uint32_t port = 0;
  bool done = false;
  int channel = -1;  // offered on
};

struct Channel {
  int fd = -1;
  uint16_t port = 0;
  int file = -1;
};

void say(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

using namespace corvane::voicemsg;
using corvane::kVoiceBlock;
using corvane::kVoiceChannelList;
using corvane::kVoiceFileDone;
using corvane::kVoiceFileQuery;
using corvane::kVoiceNoFile;

// Packed BCD as a keyset's registration carries its extension: digits in
// the low nibbles, 0xF in front ("200" is 0xFFFFF200).
uint32_t packedExtension(const std::string& digits) {
  uint32_t v = 0xFFFFFFFFu;
  for (char c : digits)
    if (c >= '0' && c <= '9') v = v << 4 | uint32_t(c - '0');
  return v;
}

// A reply of size bytes with its head written: the request's identifier and
// sequence number, and the given file key.
std::string replyHead(const ByteReader& request, uint32_t fileKey, size_t size) {
  std::string r(size, '\0');
  ByteWriter w(r);
  w.putLe32(kIdentifier, request.le32(kIdentifier));
  w.putLe32(kFileKey, fileKey);
  w.putLe32(kSequence, request.le32(kSequence));
  return r;
}

// A generated recording: even numbers a steady tone, odd ones a speech-like
// signal (a few harmonics under a syllable envelope), as exchange ADPCM.
std::string generatedApc(int index, double seconds) {
  std::string s = "CORVANE-SIM recording";
  s.resize(corvane::kApcHeaderSize, '\0');
  const size_t samples = size_t(seconds * corvane::kRecordingRate) / 240 * 240;
  corvane::AdpcmState state;
  uint8_t pending = 0;
  for (size_t i = 0; i < samples; ++i) {
    const double t = double(i) / corvane::kRecordingRate;
    double v;
    if (index % 2 == 0) {
      v = 8000 * std::sin(2 * M_PI * (400.0 + 50 * index) * t);
    } else {
      const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 4.0 * t);
      v = env * (5000 * std::sin(2 * M_PI * 150 * t) + 2500 * std::sin(2 * M_PI * 450 * t) +
                 1200 * std::sin(2 * M_PI * 1100 * t));
    }
    uint8_t n = corvane::adpcmEncodeSample(state, int16_t(std::lround(v)));
    if (i % 2 == 0)
      pending = n;
    else
      s += char(pending | n << 4);
  }
  return s;
}

uint32_t dateWord(int index) {
  const int sec = index % 60, min = (index / 60) % 60;
  return uint32_t(sec) | uint32_t(min) << 6 | 10u << 12 | 6u << 17 | 5u << 22 | 24u << 26;
}

uint32_t portNumber(int index) {
  return 0xFFFF2000u | uint32_t((index / 100) % 10) << 8 | uint32_t((index / 10) % 10) << 4 | uint32_t(index % 10);
}

bool loadDirectory(const std::string& dir, std::vector<Recording>& out) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n.size() > 4 && (n.substr(n.size() - 4) == ".apc" || n.substr(n.size() - 4) == ".APC")) names.push_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  for (size_t i = 0; i < names.size(); ++i) {
    std::FILE* f = std::fopen((dir + "/" + names[i]).c_str(), "rb");
    if (!f) return false;
    Recording r;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) r.content.append(buf, n);
    std::fclose(f);
    r.date = dateWord(int(i));
    r.port = portNumber(int(i));
    out.push_back(std::move(r));
  }
  return true;
}

class Exchange {
 public:
  Exchange(const Config& c, std::vector<Recording> files, std::vector<Channel> channels, bool ipv6)
      : c_(c), files_(std::move(files)), channels_(std::move(channels)), ipv6_(ipv6) {}

  int run() {
    std::vector<pollfd> fds;
    for (auto& ch : channels_) fds.push_back({ch.fd, POLLIN, 0});
    uint8_t buffer[2048];
    while (true) {
      if (c_.exitWhenDone && allDone()) {
        say("all files confirmed");
        return 0;
      }
      if (::poll(fds.data(), fds.size(), 200) <= 0) continue;
      for (size_t i = 0; i < fds.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        sockaddr_storage peer{};
        socklen_t peerLen = sizeof peer;
        ssize_t n = ::recvfrom(fds[i].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &peerLen);
        if (n < 12) continue;
        handle(int(i), buffer, size_t(n), peer, peerLen);
      }
    }
  }

 private:
  bool allDone() const {
    for (auto& f : files_)
      if (!f.done) return false;
    return true;
  }

  void reply(int c, std::string bytes, const sockaddr_storage& peer, socklen_t len) {
    ++replies_;
    if (c_.silence) return;
    if (c_.lose.count(replies_)) {
      say("lost reply " + std::to_string(replies_));
      return;
    }
    if (c_.stale.count(replies_)) {
      // A late reply: it answers the request before the last one.
      ByteWriter(bytes).putLe32(kSequence, ByteReader(bytes).le32(kSequence) - 1);
      say("stale reply " + std::to_string(replies_));
    }
    int times = c_.duplicate.count(replies_) ? 2 : 1;
    if (times == 2) say("duplicate reply " + std::to_string(replies_));
    for (int i = 0; i < times; ++i)
      ::sendto(channels_[size_t(c)].fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&peer), len);
  }

  void handle(int c, const uint8_t* d, size_t n, const sockaddr_storage& peer, socklen_t len) {
    const ByteReader in(d, n);
    if ((in.le32(kIdentifier) & 0x00FFFFFFu) != 0x00ABCDEFu) return;
    Channel& ch = channels_[size_t(c)];
    switch (in.u8(kCode)) {
      case kVoiceChannelList: {
        // A keyset's service has no further channels to announce.
        if (n < kShortRequestSize || c != 0 || c_.keyset) return;
        const size_t entry = ipv6_ ? kIpv6EntrySize : kIpv4EntrySize;
        std::string r = replyHead(in, 0, kListEntries + entry * channels_.size());
        ByteWriter w(r);
        w.putLe16(kListLength, uint16_t(entry * channels_.size()));
        size_t at = kListEntries;
        for (auto& other : channels_) {
          if (ipv6_) {
            in6_addr a{};
            ::inet_pton(AF_INET6, announce_().c_str(), &a);
            w.putBytes(at, std::span<const uint8_t>(a.s6_addr, 16));
          } else {
            in_addr a{};
            ::inet_pton(AF_INET, announce_().c_str(), &a);
            w.putLe32(at, ntohl(a.s_addr));
          }
          w.putLe16(at + entry - 2, other.port);
          at += entry;
        }
        reply(c, r, peer, len);
        return;
      }
      case kVoiceFileQuery: {
        if (n < kShortRequestSize) return;
        if (c_.keyset && in.le32(kSelector) != *c_.keyset) {
          say("query for another extension");
          return;
        }
        if (ch.file < 0 || files_[size_t(ch.file)].done) {
          ch.file = -1;
          for (size_t i = 0; i < files_.size(); ++i)
            if (!files_[i].done && files_[i].channel < 0) {
              ch.file = int(i);
              files_[i].channel = c;
              break;
            }
        }
        std::string r = replyHead(in, c_.keyset.value_or(kVoiceNoFile), kOfferSize);
        ByteWriter desc(reinterpret_cast<uint8_t*>(r.data()) + kOfferDescription, kVoiceDescriptionSize);
        // Bytes 12 on are blank unless a field below says otherwise.
        desc.fill(12, kVoiceDescriptionSize - 12, ' ');
        if (ch.file < 0 && c_.keyset) {
          // The end of a keyset's list: date word 0.
          desc.putLe32(voicedesc::kPort, *c_.keyset);
          say("end of list");
        } else if (ch.file < 0) {
          desc.putLe32(voicedesc::kPort, kVoiceNoFile);
        } else {
          const Recording& f = files_[size_t(ch.file)];
          desc.putLe32(voicedesc::kDateWord, f.date);
          desc.putLe32(voicedesc::kPort, f.port);
          desc.putLe32(voicedesc::kSize, uint32_t(f.content.size()));
          desc.putBytes(voicedesc::kDialled, "0212" + std::to_string(5550000 + ch.file));
          desc.put8(voicedesc::kType, 'A');
          desc.put8(voicedesc::kDirection, ch.file % 2 ? 'I' : 'O');
          desc.putBytes(voicedesc::kReceiving, std::to_string(200 + ch.file));
          desc.putBytes(voicedesc::kCalling, std::string_view("05321234567"));
          desc.putLe32(voicedesc::kCallReference, 0x1000u + uint32_t(ch.file));
          say("offered " + std::to_string(ch.file + 1) + " on channel " + std::to_string(c));
        }
        reply(c, r, peer, len);
        return;
      }
      case kVoiceBlock: {
        if (n < kBlockRequestSize) return;
        const uint32_t key = in.le32(kFileKey), block = in.le32(kBlockNumber);
        std::string r = replyHead(in, key, kBlockData);
        if (ch.file >= 0 && files_[size_t(ch.file)].port == key) {
          const std::string& content = files_[size_t(ch.file)].content;
          size_t at = size_t(block) * 1024;
          std::string data = at < content.size() ? content.substr(at, 1024) : std::string();
          const int number = ch.file + 1;
          if (block == 1 && content.size() > 2048 && c_.shortFile.count(number)) data.resize(100);
          if (block == 1 && c_.emptyFile.count(number)) data.clear();
          r += data;
        }
        reply(c, r, peer, len);
        return;
      }
      case kVoiceFileDone: {
        if (n < kFileDoneSize) return;
        std::string r = replyHead(in, in.le32(kFileKey), kHeadSize);
        if (ch.file >= 0 && !files_[size_t(ch.file)].done) {
          files_[size_t(ch.file)].done = true;
          say("done " + std::to_string(ch.file + 1) + " on channel " + std::to_string(c));
        }
        if (c_.unansweredDone) return;
        reply(c, r, peer, len);
        return;
      }
      default: return;
    }
  }

  std::string announce_() const { return c_.announce; }

  Config c_;
  std::vector<Recording> files_;
  std::vector<Channel> channels_;
  bool ipv6_;
  int replies_ = 0;
};

int run(const RoleOptions& opt, Config c) {
  if (c.announce.empty()) c.announce = opt.listen;
  std::vector<Recording> files;
  if (!c.dir.empty()) {
    if (!loadDirectory(c.dir, files)) {
      std::fprintf(stderr, "corvane-sim voice: cannot read recordings from %s\n", c.dir.c_str());
      return 2;
    }
  } else {
    for (int i = 0; i < c.count; ++i) {
      Recording r;
      r.content = generatedApc(i, c.seconds);
      r.date = dateWord(i);
      r.port = portNumber(i);
      files.push_back(std::move(r));
    }
  }
  if (c.keyset) {
    // A keyset's recordings are keyed by its extension, on one socket.
    c.channels = 1;
    for (Recording& r : files) r.port = *c.keyset;
  }
  const int port = c.anyPort ? 0 : (opt.port ? opt.port : 9874);
  std::vector<Channel> channels(size_t(c.channels));
  bool ipv6 = false;
  for (size_t i = 0; i < channels.size(); ++i) {
    channels[i].fd = bindSocket(opt.listen, i == 0 ? port : 0, SOCK_DGRAM, &ipv6);
    if (channels[i].fd < 0) {
      std::fprintf(stderr, "corvane-sim voice: cannot bind %s:%d\n", opt.listen.c_str(), i == 0 ? port : 0);
      return 1;
    }
    channels[i].port = static_cast<uint16_t>(boundPort(channels[i].fd));
  }
  std::printf("listening %s:%d\n", opt.listen.c_str(), channels[0].port);
  std::fflush(stdout);
  Exchange exchange(c, std::move(files), channels, ipv6);
  int rc = exchange.run();
  for (auto& ch : channels) ::close(ch.fd);
  return rc;
}

int number(const std::string& v) { return std::atoi(v.c_str()); }

Runner define(CLI::App& parser) {
  auto c = std::make_shared<Config>();
  valueOption(parser, "--channels", "N", "channels announced in the channel list (1-31, default 4)",
              [c](const std::string& v) { c->channels = std::clamp(number(v), 1, 31); });
  parser.add_option("--dir", c->dir, "serve the .apc files of a folder, in name order")->type_name("APCDIR");
  valueOption(parser, "--count", "N", "else N generated recordings (default 5)",
              [c](const std::string& v) { c->count = std::max(0, number(v)); });
  valueOption(parser, "--seconds", "S", "of S seconds each (default 3)",
              [c](const std::string& v) { c->seconds = std::max(0.0, std::atof(v.c_str())); });
  parser.add_option("--announce", c->announce, "the address put in the channel list")->type_name("ADDRESS");
  numbersOption(parser, "--lose", "replies K (counted from 1) are not sent", c->lose);
  numbersOption(parser, "--stale", "replies K carry the sequence number before the right one", c->stale);
  numbersOption(parser, "--duplicate", "replies K are sent twice", c->duplicate);
  numbersOption(parser, "--short", "recordings K (of more than 2048 bytes) get a 100-byte block 1", c->shortFile);
  numbersOption(parser, "--empty", "recordings K get an empty block 1", c->emptyFile);
  parser.add_flag("--silence", c->silence, "nothing is answered");
  parser.add_flag("--unanswered-done", c->unansweredDone, "\"file done\" is taken but never answered");
  parser.add_flag("--exit-when-done", c->exitWhenDone, "end once every recording is confirmed");
  parser.add_flag("--any-port", c->anyPort, "listen on a free port");
  valueOption(parser, "--keyset", "EXT",
              "a keyset's service: one socket, no channel list, only queries naming extension EXT answered, the "
              "end of the list an offer with date word 0",
              [c](const std::string& v) { c->keyset = packedExtension(v); });
  parser.footer(
      "Listens on UDP port 9874 (or PORT) and prints \"listening ADDRESS:PORT\", then offered, done, lost,\n"
      "stale and duplicate replies as they happen.");
  return [c](const RoleOptions& opt) { return run(opt, *c); };
}

Register reg({"voice",
              "voice recording download: channel list, file offers, blocks and done on up to 31 channels, "
              "or a keyset's recording service",
              define});

}  // namespace
}  // namespace corvane::sim
