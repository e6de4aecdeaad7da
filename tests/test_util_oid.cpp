// Order identifiers: the key built from a cheque and its version 3 UUID.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "util/oid.h"

namespace {

// Takes a malloc'd result and frees it; "<null>" for no result.
std::string take(char* text) {
  if (text == nullptr) return "<null>";
  std::string copy = text;
  std::free(text);
  return copy;
}

TEST(utilOid, KeyFromCheque) {
  struct Case {
    std::string station, transaction, cheque;
    std::string key;
  };
  const Case cases[] = {
      {"0123", "456", "007", "azs=0123&trannum=456&numcheck=7"},
      {"0123", "456", "", "azs=0123&trannum=456&numcheck=1"},
      {"0123", "456", "abc", "azs=0123&trannum=456&numcheck=1"},
      {"0123", "456", "99999999999", "azs=0123&trannum=456&numcheck=1"},
      {"0123", "456", " 12x", "azs=0123&trannum=456&numcheck=12"},
      {"1", "12abc", "3", "azs=1&trannum=12abc&numcheck=3"},
      {"АЗС 5", "007", "2", "azs=АЗС 5&trannum=007&numcheck=2"},
      {"", "456", "1", "<null>"},
      {"1", "", "1", "<null>"},
      {"1", "abc", "1", "<null>"},
      {"1", "99999999999", "1", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.station + "|" + c.transaction + "|" + c.cheque);
    EXPECT_EQ(take(get_oid_strkey(c.station, c.transaction, c.cheque)), c.key);
  }
}

// Expected values computed once with an independent RFC 4122 implementation
// (version 3, OID name space, the UTF-8 bytes of the name).
TEST(utilOid, UuidMatchesRfc4122Vectors) {
  struct Case {
    std::string name;
    std::string uuid;
  };
  const Case cases[] = {
      {"azs=0123&trannum=456&numcheck=7", "43971049-8a51-3653-a640-f03c411f4788"},
      {"", "596b79dc-00dd-3991-a72f-d3696c38c64f"},
      {"azs=Заправка&trannum=12abc&numcheck=1", "5c045c52-6fe1-35c8-9b3f-7163c52cb40a"},
      {"azs=7&trannum=1&numcheck=1", "7902e171-c597-3ba3-b98b-5fd3f4a9a23b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string from_string = take(mk_uuid_v3(c.name));
    EXPECT_EQ(from_string, c.uuid);
    EXPECT_EQ(take(mk_uuid_v3(c.name.c_str())), c.uuid);
    ASSERT_EQ(from_string.size(), 36u);
    EXPECT_EQ(from_string[14], '3');
    EXPECT_NE(std::string("89ab").find(from_string[19]), std::string::npos);
  }
  EXPECT_EQ(mk_uuid_v3(static_cast<const char*>(nullptr)), nullptr);
}

TEST(utilOid, ChequeGivesTheSameUuidEveryTime) {
  const std::string first = take(mk_uuid_v3(take(get_oid_strkey("0123", "456", "007"))));
  const std::string again = take(mk_uuid_v3(take(get_oid_strkey("0123", "456", "7"))));
  EXPECT_EQ(first, "43971049-8a51-3653-a640-f03c411f4788");
  EXPECT_EQ(again, first);
  EXPECT_NE(take(mk_uuid_v3(take(get_oid_strkey("0123", "456", "8")))), first);
}

}  // namespace
