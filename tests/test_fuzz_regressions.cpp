// Inputs the fuzz targets of fuzz/ found faults with, replayed as ordinary
// tests; each input is also a seed of its target's corpus
// (fuzz/corpus/<target>/).
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include <json/json.h>

#include "runner/runner.h"
#include "util/json_value.h"

namespace {

Json::Value obj(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text;
  return v;
}

// config: fuzz/corpus/config/send_recv_timeout_max. The attempt time of
// INT_MAX seconds plus the one-second pause overflowed int, and the bound a
// background start waits for came out negative.
TEST(FuzzRegressions, StartupBoundWithTheLargestTimeLimitIsADay) {
  EXPECT_EQ(startupBoundSeconds(obj(R"({"SendRecvTimeout":2147483647,"RetryCount":3})")), 86400);
  EXPECT_EQ(startupBoundSeconds(obj(R"({"SendRecvTimeout":2147483647,"RetryCount":2147483647})")),
            86400);
  EXPECT_EQ(startupBoundSeconds(obj(R"({"ConnectTimeout":2147483647,"SendRecvTimeout":-1})")), 86400);
}

}  // namespace
