// How the byte stream of one POS connection is cut into requests.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "service/request_framer.h"

namespace {

// A chunk that stands for the quiet time passing instead of a receive.
const char* const kQuiet = "<QUIET>";

// Feeds each chunk as one receive (kQuiet: flush); returns the requests,
// oversized ones as "<OVERSIZED>", unfinished ones as "<UNFINISHED>" and
// their text.
std::vector<std::string> frame(const std::vector<std::string>& chunks, RequestFramer* framer = nullptr) {
  RequestFramer local;
  RequestFramer& f = framer ? *framer : local;
  std::vector<std::string> got;
  for (const std::string& chunk : chunks) {
    std::vector<RequestFramer::Item> items;
    if (chunk == kQuiet) {
      f.flush(&items);
    } else {
      f.feed(chunk.data(), chunk.size(), &items);
    }
    for (const auto& item : items) {
      if (item.oversized) {
        got.push_back("<OVERSIZED>");
      } else {
        got.push_back(item.unfinished ? "<UNFINISHED>" + item.text : item.text);
      }
    }
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

TEST(RequestFramer, ScanningResumesWhereTheLastReceiveStopped) {
  struct Case {
    const char* name;
    V chunks;
    V expected;
  } cases[] = {
      {"comment end split", {"/* a *", "/ {\"a\":1}"}, {R"({"a":1})"}},
      {"comment start split", {"/", "* x */{\"a\":1}"}, {R"({"a":1})"}},
      {"/*/ does not close", {"/*", "/", " still open */{\"a\":1}"}, {R"({"a":1})"}},
      {"stars before the end", {"/* **", "*", "/{\"a\":1}"}, {R"({"a":1})"}},
      {"line comment over three receives", {"// note", " more", "\n{\"a\":1}"}, {R"({"a":1})"}},
      {"slash then text", {"/", "x"}, {"/x"}},
      {"comment after a value", {"{\"a\":1} /* x", " */ {\"b\":2}"}, {R"({"a":1})", R"({"b":2})"}},
      {"escape split", {"{\"a\":\"\\", "\"}\"}"}, {R"({"a":"\"}"})"}},
      {"comment inside a value split", {"{\"a\":1 /* } *", "/ }"}, {"{\"a\":1 /* } */ }"}},
  };
  for (const Case& c : cases) EXPECT_EQ(frame(c.chunks), c.expected) << c.name;
}

// One byte per receive through a long comment between requests and a long
// value: a scan that started again from the front of what is held would
// take minutes here, not milliseconds.
TEST(RequestFramer, WorkGrowsWithTheBytesReceivedOnly) {
  std::string comment = "/*";
  while (comment.size() < 200000) comment += "*x";
  comment += "*/";
  const std::string value = "{\"a\":\"" + std::string(200000, 'x') + "\"}";
  const std::string stream = comment + value;
  RequestFramer f;
  std::vector<RequestFramer::Item> items;
  const auto start = std::chrono::steady_clock::now();
  for (char c : stream) f.feed(&c, 1, &items);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].text, value);
  EXPECT_LT(elapsed.count(), 2000) << "ms for " << stream.size() << " one-byte receives";
}

// Whatever the framer holds open counts against the one cap: a value, or a
// comment between requests that has not ended. Blanks and closed comments
// are dropped as they pass and cost nothing.
TEST(RequestFramer, AnOpenCommentCountsAgainstTheCap) {
  const std::size_t kMax = RequestFramer::kMaxRequest;
  const std::string x(kMax, 'x');
  std::string closedComments;
  while (closedComments.size() <= kMax) closedComments += "/* closed */ ";
  struct Case {
    const char* name;
    V chunks;
    V expected;
  } cases[] = {
      {"open block comment", {"/*", x, "more", "*/{\"a\":1}"}, {"<OVERSIZED>", R"({"a":1})"}},
      {"open line comment", {"// ", x, "more", "\n{\"a\":1}"}, {"<OVERSIZED>", R"({"a":1})"}},
      {"after a value", {"{\"b\":2} /*" + x, "*/{\"a\":1}"}, {R"({"b":2})", "<OVERSIZED>", R"({"a":1})"}},
      {"comment of exactly the cap", {"/*" + std::string(kMax - 4, 'x') + "*/{\"a\":1}"}, {R"({"a":1})"}},
      {"closed comments", {closedComments, "{\"a\":1}"}, {R"({"a":1})"}},
      {"blanks", {std::string(kMax, ' '), std::string(kMax, '\n'), "{\"a\":1}"}, {R"({"a":1})"}},
  };
  for (const Case& c : cases) EXPECT_EQ(frame(c.chunks), c.expected) << c.name;

  // Nothing of an open comment is kept, however long it runs.
  RequestFramer f;
  EXPECT_EQ(frame({"/*", x, x, x}, &f), V({"<OVERSIZED>"}));
  EXPECT_EQ(f.pending(), 0u);
}

TEST(RequestFramer, TheQuietTimeEndsWhatIsStillOpen) {
  const std::string x(RequestFramer::kMaxRequest, 'x');
  struct Case {
    const char* name;
    V chunks;
    V expected;
  } cases[] = {
      {"one brace short", {R"({"TVL":{"Connect":{}})", kQuiet, "{\"a\":1}"},
       {R"(<UNFINISHED>{"TVL":{"Connect":{}})", R"({"a":1})"}},
      {"open string", {"{\"a\":\"}", kQuiet, "{\"a\":1}"}, {"<UNFINISHED>{\"a\":\"}", R"({"a":1})"}},
      {"reported once", {"{", kQuiet, kQuiet, "}"}, {"<UNFINISHED>{", "}"}},
      {"oversized value being skipped", {"{\"a\":\"" + x, kQuiet, "{\"a\":1}"}, {"<OVERSIZED>", R"({"a":1})"}},
      {"open comment", {"/* x", kQuiet, "{\"a\":1}"}, {R"({"a":1})"}},
      {"oversized comment", {"/*" + x, kQuiet, "{\"a\":1}"}, {"<OVERSIZED>", R"({"a":1})"}},
      {"lone slash is text", {"/", kQuiet}, {"/"}},
      {"lone slash after a value is dropped", {"{\"a\":1}/", kQuiet, "{\"b\":2}"}, {R"({"a":1})", R"({"b":2})"}},
      {"nothing open", {"{\"a\":1}  ", kQuiet, "{\"b\":2}"}, {R"({"a":1})", R"({"b":2})"}},
  };
  for (const Case& c : cases) EXPECT_EQ(frame(c.chunks), c.expected) << c.name;
}

TEST(RequestFramer, WaitsOnlyWhileSomethingIsOpen) {
  const std::string x(RequestFramer::kMaxRequest, 'x');
  struct Case {
    const char* name;
    std::string fed;
    bool waiting;
  } cases[] = {
      {"nothing", "", false},
      {"complete value", "{\"a\":1}", false},
      {"blanks", "  \r\n\0"s, false},
      {"closed comment", "/* x */", false},
      {"text", "hello", false},
      {"open value", "{\"a\":", true},
      {"lone slash", "/", true},
      {"open block comment", "/* x", true},
      {"open line comment", "// x", true},
      {"open comment after a value", "{\"a\":1} /* x", true},
      {"oversized value being skipped", "{\"a\":\"" + x, true},
      {"oversized value ended", "{\"a\":\"" + x + "\"}", false},
  };
  for (const Case& c : cases) {
    RequestFramer f;
    std::vector<RequestFramer::Item> items;
    f.feed(c.fed.data(), c.fed.size(), &items);
    EXPECT_EQ(f.waiting(), c.waiting) << c.name;
    f.flush(&items);
    EXPECT_FALSE(f.waiting()) << c.name << ": after the quiet time";
    EXPECT_EQ(f.pending(), 0u) << c.name;
  }
}

}  // namespace
