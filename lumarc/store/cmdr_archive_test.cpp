// CMDR archives: created, refused when they exist unless the overwrite is
// confirmed, reopened and searched by counter value.
#include "lumarc/store/record_store_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace lumarc {
namespace {

using store::Condition;
using store::Database;
using namespace storetest;

TEST_F(Files, ArchiveCreateOpenFind) {
  RecordingSink sink;
  RecordStore rs(&sink);
  const std::string path = dir_ + "/archive 2024.mdb";
  int32_t key = 0;
  {
    auto a = rs.openCmdrArchive(path, true);
    ASSERT_NE(a, nullptr) << (sink.messages.empty() ? "" : sink.messages[0].detail);
    CmdrRecord r = sampleA();
    ASSERT_TRUE(a->cset->add(r));
    key = r.sqno;
  }
  EXPECT_EQ(rs.openCmdrArchive(path, true), nullptr);  // exists, overwrite not confirmed
  auto a = rs.openCmdrArchive(path, false);
  ASSERT_NE(a, nullptr);
  auto found = rs.findCmdrBySqno(*a, key);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->cport, "    1234");
  EXPECT_FALSE(rs.findCmdrBySqno(*a, key + 1));
  a.reset();
  auto replaced = rs.openCmdrArchive(path, true, true);
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(replaced->db->rowCount(store::cdataTable()), 0);
  EXPECT_EQ(rs.openCmdrArchive(dir_ + "/missing.mdb", false), nullptr);
}

}  // namespace
}  // namespace lumarc
