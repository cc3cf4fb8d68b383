// The decode text of a fixed set of records, held to one digest per set: the
// sample frames and units, every cut and one-octet change of them, and
// seeded random records of every kind. A change of any decoded byte or of a
// malformed mark changes a digest. When a decoder's text is meant to change,
// the new digests are printed by the failing test and go into kGolden.
//
// LUMARC_DECODE_DIGEST_DUMP=FILE writes one "set index hash" line per record,
// so two builds can be compared record by record;
// LUMARC_DECODE_DIGEST_RANDOM=N decodes N random records instead of the
// default number (the golden holds for the default only).
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/samples/sample_frames.h"
#include "lumarc/decoder/samples/ss7_samples.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kRandomSeed = 0x4C554D4152430001ull;
constexpr size_t kDefaultRandomRecords = 200000;

// FNV-1a, 64 bits.
struct Fnv {
  uint64_t h = 0xCBF29CE484222325ull;
  void add(uint8_t b) {
    h ^= b;
    h *= 0x100000001B3ull;
  }
  void add(const std::string& s) {
    for (char c : s) add(uint8_t(c));
  }
  void add64(uint64_t v) {
    for (int i = 0; i < 8; ++i) add(uint8_t(v >> (8 * i)));
  }
};

// splitmix64: the same numbers on every platform and library.
struct Rng {
  uint64_t s;
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return uint32_t(next() % n); }
};

// One set of records: decodes each, hashes text and mark, and folds the
// record hashes into the set's digest.
class DigestSet {
 public:
  DigestSet(const char* name, std::FILE* dump) : name_(name), dump_(dump) {}

  void add(const MonitorRecord& r, bool layer2) {
    const RecordDecode d = decodeMonitorRecordMarked(r, DecodeOptions{layer2});
    Fnv one;
    one.add(d.text);
    one.add(d.malformed ? 1 : 0);
    if (dump_) std::fprintf(dump_, "%s %zu %016" PRIx64 "\n", name_, count_, one.h);
    all_.add64(one.h);
    ++count_;
  }
  uint64_t digest() const { return all_.h; }
  size_t count() const { return count_; }

 private:
  const char* name_;
  std::FILE* dump_;
  Fnv all_;
  size_t count_ = 0;
};

// The frame whole, cut at every length, and with each octet changed in each
// bit, to 0x00 and to 0xFF.
void addMutations(DigestSet& set, int32_t type, const Bytes& frame) {
  set.add(test::recordOf(type, frame), false);
  set.add(test::recordOf(type, frame), true);
  for (size_t len = 0; len < frame.size(); ++len) set.add(test::recordOf(type, frame, int32_t(len)), true);
  for (size_t i = 0; i < frame.size(); ++i) {
    for (int v = 0; v < 10; ++v) {
      Bytes changed = frame;
      changed[i] = v < 8 ? uint8_t(frame[i] ^ (1u << v)) : (v == 8 ? 0x00 : 0xFF);
      set.add(test::recordOf(type, changed), true);
    }
  }
}

// Record kinds of the random set (subtypes where the kind tells protocols
// apart).
constexpr int32_t kKinds[] = {0xFF00, 0xFE00, 0xF000, 0xEF00, 0xFD27, 0xFD26, 0xFD00, 0xFC25, 0xFC26,
                              0xFC27, 0xFC01, 0xF600, 0xF500, 0xFB00, 0xFA00, 0xF900, 0xF800, 0xF700,
                              0xF400, 0xF300, 0xF200, 0xF100, 0xEE00, 0xED00, 0xEC00};

const std::vector<Bytes>& corpusFor(int32_t type, Rng& rng) {
  const unsigned kind = (uint32_t(type) >> 8) & 0xFF, sub = uint32_t(type) & 0xFF;
  if ((kind == 0xFD || kind == 0xFC) && (sub == 0x26 || sub == 0x27)) return sampleV5Frames();
  if (kind == 0xF5 || kind == 0xF6 || (kind == 0xFC && sub == 0x25)) return sampleSs7Units();
  if (kind == 0xFD || kind == 0xFC) return sampleIsdnFrames();
  switch (rng.below(3)) {
    case 0: return sampleIsdnFrames();
    case 1: return sampleSs7Units();
    default: return sampleV5Frames();
  }
}

// A record of a random kind: random octets, or a sample frame (shifted by
// up to 4 octets for the kinds without a frame header) with a few octets
// changed; a random length now and then.
MonitorRecord randomRecord(Rng& rng) {
  int32_t type = kKinds[rng.below(std::size(kKinds))];
  if (rng.below(16) == 0) type = int32_t((type & 0xFF00) | rng.below(256));
  Bytes bytes(96);
  for (auto& b : bytes) b = uint8_t(rng.next());
  int32_t datl = int32_t(rng.below(97));
  if (rng.below(4) != 0) {
    const std::vector<Bytes>& corpus = corpusFor(type, rng);
    const Bytes& f = corpus[rng.below(uint32_t(corpus.size()))];
    const size_t shift = rng.below(8) == 0 ? rng.below(5) : 0;
    const size_t n = f.size() > shift ? f.size() - shift : 0;
    std::copy(f.begin() + long(f.size() - n), f.end(), bytes.begin());
    const uint32_t changes = rng.below(5);
    for (uint32_t i = 0; i < changes && n > 0; ++i) bytes[rng.below(uint32_t(n))] = uint8_t(rng.next());
    if (rng.below(4) != 0) datl = int32_t(n);
  }
  MonitorRecord r = test::recordOf(type, bytes, datl, int32_t(0x0F + rng.below(5)), int32_t(rng.below(0x10000)));
  r.dir = int32_t(rng.below(0x800));
  r.hpidx = int32_t(rng.below(0x10000));
  if (rng.below(8) == 0) r.pport = "    9876";
  return r;
}

struct Golden {
  const char* set;
  uint64_t digest;
};

// clang-format off
constexpr Golden kGolden[] = {
    {"isdn",   0x512F7B5C1FB03EA0ull},
    {"v5",     0xD6522CFB073425B9ull},
    {"ss7",    0xE62FDE836A65B246ull},
    {"random", 0x4D005B8CEEC039E6ull},
};
// clang-format on

TEST(DecodeText, StaysByteForByteTheSameForSamplesTheirMutationsAndRandomRecords) {
  const char* dumpPath = std::getenv("LUMARC_DECODE_DIGEST_DUMP");
  const char* randomCount = std::getenv("LUMARC_DECODE_DIGEST_RANDOM");
  const size_t randoms = randomCount ? size_t(std::strtoull(randomCount, nullptr, 10)) : kDefaultRandomRecords;
  std::FILE* dump = dumpPath ? std::fopen(dumpPath, "w") : nullptr;
  DigestSet isdn("isdn", dump), v5("v5", dump), ss7("ss7", dump), random("random", dump);
  for (const Bytes& f : sampleIsdnFrames()) {
    addMutations(isdn, 0xFD00, f);
    addMutations(isdn, 0xFC01, f);
  }
  for (const Bytes& f : sampleV5Frames()) addMutations(v5, 0xFD27, f);
  for (const Bytes& f : sampleSs7Units()) addMutations(ss7, 0xF500, f);
  Rng rng{kRandomSeed};
  for (size_t i = 0; i < randoms; ++i) random.add(randomRecord(rng), rng.below(2) != 0);
  if (dump) std::fclose(dump);
  const DigestSet* sets[] = {&isdn, &v5, &ss7, &random};
  for (size_t i = 0; i < std::size(sets); ++i) {
    std::printf("%s: %zu records, digest 0x%016" PRIX64 "\n", kGolden[i].set, sets[i]->count(), sets[i]->digest());
    if (randomCount && i == 3) continue;
    EXPECT_EQ(sets[i]->digest(), kGolden[i].digest) << kGolden[i].set << ": the decode text of some record changed";
  }
}

}  // namespace
}  // namespace lumarc
