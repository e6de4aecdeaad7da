// How the byte stream of one POS connection is cut into requests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/request_framer.h"

namespace {

// Feeds each chunk as one receive; returns the requests, oversized ones as "<OVERSIZED>".
std::vector<std::string> frame(const std::vector<std::string>& chunks, RequestFramer* framer = nullptr) {
  RequestFramer local;
  RequestFramer& f = framer ? *framer : local;
  std::vector<std::string> got;
  for (const std::string& chunk : chunks) {
    std::vector<RequestFramer::Item> items;
    f.feed(chunk.data(), chunk.size(), &items);
    for (const auto& item : items) got.push_back(item.oversized ? "<OVERSIZED>" : item.text);
  }
  return got;
}

using V = std::vector<std::string>;
using namespace std::string_literals;

TEST(RequestFramer, CutsTheStreamIntoRequests) {
  struct Case {
    const char* name;
    V chunks;
    V expected;
  } cases[] = {
      {"one request", {R"({"TVL":{"Connect":{}}})"}, {R"({"TVL":{"Connect":{}}})"}},
      {"split in two segments", {R"({"TVL":{"Con)", R"(nect":{}}})"}, {R"({"TVL":{"Connect":{}}})"}},
      {"byte by byte", {"{", "\"", "a", "\"", ":", "1", "}"}, {R"({"a":1})"}},
      {"two in one segment", {"{\"a\":1}\n{\"b\":2}\n"}, {R"({"a":1})", R"({"b":2})"}},
      {"second one split", {"{\"a\":1}{\"b\"", ":2}"}, {R"({"a":1})", R"({"b":2})"}},
      {"braces inside strings", {R"({"a":"}{]\"["})"}, {R"({"a":"}{]\"["})"}},
      {"comments with braces", {"{/* } */\"a\":1 // }\n}"}, {"{/* } */\"a\":1 // }\n}"}},
      {"separators skipped", {"\r\n \0\t/* hi */ // note\n{\"a\":1}"s}, {R"({"a":1})"}},
      {"comment split before request", {"/* par", "t */{\"a\":1}"}, {R"({"a":1})"}},
      {"array value", {"[1,[2]] "}, {"[1,[2]]"}},
      {"not json at once", {"hello"}, {"hello"}},
      {"not json then json", {"hello", "{\"a\":1}"}, {"hello", R"({"a":1})"}},
      {"not json cut at NUL", {std::string("42 x\0rest", 9)}, {"42 x"}},
      {"trailing text dropped", {"{\"a\":1} trailing", "{\"b\":2}"}, {R"({"a":1})", R"({"b":2})"}},
      {"blank segments", {"   ", "\n"}, {}},
      {"unfinished stays pending", {"{\"a\":"}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> chunks;
    for (const std::string& s : c.chunks) chunks.push_back(s);
    EXPECT_EQ(frame(chunks), c.expected) << c.name;
  }
}

TEST(RequestFramer, OversizedRequestIsReportedOnceAndSkippedWhole) {
  RequestFramer f;
  std::string big = "{\"a\":\"" + std::string(RequestFramer::kMaxRequest, 'x');
  std::vector<std::string> chunks;
  for (size_t i = 0; i < big.size(); i += 65536) chunks.push_back(big.substr(i, 65536));
  EXPECT_EQ(frame(chunks, &f), V({"<OVERSIZED>"}));
  EXPECT_EQ(f.pending(), 0u);
  // More of the same value, its end, then a normal request.
  EXPECT_EQ(frame({std::string(100000, 'y'), "\"}", "{\"b\":2}"}, &f), V({R"({"b":2})"}));
}

TEST(RequestFramer, LargeRequestUnderTheLimitIsWhole) {
  std::string value = "{\"a\":\"" + std::string(300000, 'x') + "\"}";
  std::vector<std::string> chunks;
  for (size_t i = 0; i < value.size(); i += 1400) chunks.push_back(value.substr(i, 1400));
  V got = frame(chunks);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], value);
}

}  // namespace
