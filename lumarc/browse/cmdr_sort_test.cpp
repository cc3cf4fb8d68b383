// The grouped listing's sort: records come back whole, byte for byte, in
// (port rank, tdate, sqno) order, whether they stayed in memory or went
// through sorted runs in the temporary file.
#include "lumarc/browse/cmdr_sort.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace lumarc::browse {
namespace {

std::vector<CmdrRecord> records(size_t n) {
  std::mt19937 rnd(7);
  std::vector<CmdrRecord> v;
  for (size_t i = 0; i < n; ++i) {
    CmdrRecord r;
    r.sqno = static_cast<int32_t>(i + 1);
    r.type = std::string(1, "ABCDE"[rnd() % 5]);
    r.tdate = DateTime{2024,
                       1 + static_cast<int>(rnd() % 12),
                       1 + static_cast<int>(rnd() % 28),
                       static_cast<int>(rnd() % 24),
                       static_cast<int>(rnd() % 3),
                       0};
    r.duration = rnd();
    r.cport = std::string(5, ' ') + std::to_string(100 + rnd() % 40);
    r.pport = rnd() % 2 ? "     801" : "";
    r.uport = "\xE9t\xE9  ";
    r.rdata = std::to_string(rnd()) + std::string(rnd() % 300, ' ');
    r.xdata = std::string(32, ' ');
    r.cdata = " 0532 " + std::to_string(rnd());
    r.rpuls = rnd(), r.ppuls = rnd(), r.crefa = rnd(), r.crefb = rnd(), r.crefc = rnd();
    r.flags = rnd(), r.flagt = rnd(), r.flagu = rnd(), r.ipadr = rnd();
    r.Xid = i % 7 ? "" : "EX-" + std::to_string(i);
    v.push_back(r);
  }
  return v;
}

auto fields(const CmdrRecord& r) {
  return std::tie(r.sqno, r.type, r.tdate, r.duration, r.cport, r.pport, r.uport, r.rdata, r.xdata, r.cdata, r.rpuls,
                  r.ppuls, r.crefa, r.crefb, r.crefc, r.flags, r.flagt, r.flagu, r.ipadr, r.Xid);
}

TEST(CmdrSort, GivesEveryRecordBackInPortRankTimeAndKeyOrder) {
  corvane::testing::TempDir dir{"cmdr-sort"};
  const std::vector<CmdrRecord> in = records(5000);
  for (size_t buffer : {size_t{16} << 20, size_t{4096}, size_t{64} << 10}) {
    CmdrSort sort(buffer, dir.path());
    for (const CmdrRecord& r : in) ASSERT_TRUE(sort.add(r)) << sort.error();
    EXPECT_EQ(sort.size(), in.size());
    // Ports ranked backwards: the order is the rank's, not the text's.
    std::vector<uint32_t> rank(sort.ports().size());
    std::vector<std::string> byRank = sort.ports();
    std::sort(byRank.begin(), byRank.end(), std::greater<>());
    for (size_t i = 0; i < rank.size(); ++i)
      rank[i] = static_cast<uint32_t>(std::find(byRank.begin(), byRank.end(), sort.ports()[i]) - byRank.begin());
    ASSERT_TRUE(sort.sort(rank)) << sort.error();
    std::vector<CmdrRecord> want = in;
    std::sort(want.begin(), want.end(), [](const CmdrRecord& a, const CmdrRecord& b) {
      if (a.cport != b.cport) return a.cport > b.cport;
      return std::tie(a.tdate, a.sqno) < std::tie(b.tdate, b.sqno);
    });
    CmdrRecord r;
    size_t n = 0;
    while (sort.next(r)) {
      ASSERT_LT(n, want.size());
      ASSERT_TRUE(fields(r) == fields(want[n])) << "record " << n << " buffer " << buffer;
      ++n;
    }
    EXPECT_EQ(sort.error(), "");
    EXPECT_EQ(n, want.size());
    if (buffer < (size_t{1} << 20)) {
      EXPECT_EQ(sort.spilled(), in.size()) << "small buffers go through the file";
    } else {
      EXPECT_EQ(sort.spilled(), 0u);
    }
  }
}

}  // namespace
}  // namespace lumarc::browse
