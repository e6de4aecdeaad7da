// Requests as POS programs really write them: split across TCP segments,
// several in one segment, oversized, unbalanced, or cut off by a POS that
// goes away.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "service/session.h"
#include "support/daemon_process.h"
#include "support/proc_status.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

const char* const kConnect = R"({"TVL":{"Connect":{}}})";

class Framing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.start()) << sim.error();
    ASSERT_TRUE(daemon.start(sim.url())) << daemon.error();
    ASSERT_TRUE(pos.connect(daemon.port()));
  }
  // The next reply: "connect" for a Connect slot, "format" for the format
  // error, or what else arrived.
  std::string nextReply(milliseconds wait = seconds(10)) {
    std::optional<std::string> line = pos.readLine(wait);
    if (!line) return "<none>";
    Json::Value v;
    if (!JsonParse(*line, v)) return *line;
    if (v["TVL"]["Connect"]["err"] == "0") return "connect";
    if (v["ERROR"]["err"] == "-1") return "format";
    return *line;
  }
  void sendPiece(const std::string& piece) {
    ASSERT_TRUE(pos.sendRaw(piece));
    // Long enough for the piece to arrive as a receive of its own.
    std::this_thread::sleep_for(milliseconds(100));
  }

  TavrelSim sim;
  NorvalenDaemon daemon;
  TcpClient pos;
};

TEST_F(Framing, ARequestInSeveralSegmentsIsOneRequest) {
  const std::string request = R"({"TVL": {"Connect": {"note": "a } inside \" a string"}}})";
  for (size_t i = 0; i < request.size(); i += 7) sendPiece(request.substr(i, 7));
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(milliseconds(300)), "<none>");
}

TEST_F(Framing, SeveralRequestsInOneSegmentAreEachAnswered) {
  ASSERT_TRUE(pos.sendRaw(std::string(kConnect) + "\n" + kConnect + "\r\n/* next */" + kConnect));
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(milliseconds(300)), "<none>");
}

TEST_F(Framing, TextThatIsNotJsonIsAnsweredAtOnce) {
  sendPiece("hello");
  EXPECT_EQ(nextReply(), "format");
  // Text after a complete request in the same segment is dropped.
  ASSERT_TRUE(pos.sendRaw(std::string(kConnect) + " trailing words"));
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(milliseconds(300)), "<none>");
  ASSERT_TRUE(pos.sendRaw(kConnect));
  EXPECT_EQ(nextReply(), "connect");
}

TEST_F(Framing, AnOversizedRequestIsRefusedOnceAndTheConnectionStaysUsable) {
  std::string big = R"({"TVL": {"Connect": {"pad": ")" + std::string(600000, 'x') + "\"}}}";
  ASSERT_TRUE(pos.sendRaw(big));
  EXPECT_EQ(nextReply(), "format");
  ASSERT_TRUE(pos.sendRaw(kConnect));
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(milliseconds(300)), "<none>");
}

TEST_F(Framing, AnUnfinishedRequestOfAClosingPosGetsNothing) {
  {
    TcpClient gone;
    ASSERT_TRUE(gone.connect(daemon.port()));
    ASSERT_TRUE(gone.sendRaw(R"({"TVL": {"Conn)"));
    gone.close();
  }
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_TRUE(daemon.process().running());
  EXPECT_EQ(sim.stats()["requests"].asInt(), 1);  // the start-up check only
  ASSERT_TRUE(pos.sendRaw(kConnect));
  EXPECT_EQ(nextReply(), "connect");
}

TEST_F(Framing, AnUnbalancedRequestIsAnsweredAfterAQuietSecondAndTheConnectionGoesOn) {
  const auto start = Clock::now();
  ASSERT_TRUE(pos.sendRaw(R"({"TVL":{"Connect":{}})"));  // one brace short
  EXPECT_EQ(nextReply(seconds(3)), "format");
  EXPECT_LT(Clock::now() - start, milliseconds(2500));
  ASSERT_TRUE(pos.sendRaw(kConnect));
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(milliseconds(300)), "<none>");
  EXPECT_EQ(sim.stats()["requests"].asInt(), 2);  // the start-up check and the good Connect
}

TEST_F(Framing, PausesShorterThanTheQuietTimeDoNotCutARequest) {
  // Five pieces 300 ms apart: longer than the quiet time in all, never
  // that long between two pieces.
  const std::string request = R"({"TVL": {"Connect": {"note": "slow"}}})";
  const std::size_t piece = request.size() / 5 + 1;
  for (std::size_t i = 0; i < request.size(); i += piece) {
    ASSERT_TRUE(pos.sendRaw(request.substr(i, piece)));
    std::this_thread::sleep_for(milliseconds(300));
  }
  EXPECT_EQ(nextReply(), "connect");
  EXPECT_EQ(nextReply(milliseconds(300)), "<none>");
}

TEST_F(Framing, AnOpenCommentPastTheCapIsRefusedOnceAndKeptNowhere) {
  const std::optional<long> before = ResidentKb(daemon.process().pid());
  ASSERT_TRUE(before);
  ASSERT_TRUE(pos.sendRaw("/* never closed " + std::string(8 * 1024 * 1024, 'x')));
  EXPECT_EQ(nextReply(), "format");
  // The quiet time ends the comment; nothing more is said about it.
  EXPECT_EQ(nextReply(milliseconds(2000)), "<none>");
  ASSERT_TRUE(pos.sendRaw(kConnect));
  EXPECT_EQ(nextReply(), "connect");
  const std::optional<long> after = ResidentKb(daemon.process().pid());
  ASSERT_TRUE(after);
  EXPECT_LT(*after - *before, 4096) << "kB grown while an 8 MB comment went by";
}

// A block of `words` unknown command words.
std::string unknown_words(int words) {
  std::string request = R"({"TVL":{)";
  for (int i = 0; i < words; ++i) {
    char word[32];
    std::snprintf(word, sizeof(word), "%s\"Word%05d\":{}", i ? "," : "", i);
    request += word;
  }
  return request + "}}";
}

TEST_F(Framing, UpToTheMemberLimitEveryWordIsAnswered) {
  ASSERT_TRUE(pos.sendRaw(unknown_words(kMaxMembers)));
  std::string last;
  for (unsigned i = 0; i < kMaxMembers; ++i) {
    std::optional<std::string> line = pos.readLine(seconds(10));
    ASSERT_TRUE(line) << "reply " << i;
    last = *line;
  }
  Json::Value reply;
  ASSERT_TRUE(JsonParse(last, reply));
  EXPECT_EQ(reply["TVL"].size(), kMaxMembers);
  EXPECT_EQ(reply["TVL"]["Word00000"]["err"], "-2");
  EXPECT_EQ(nextReply(milliseconds(300)), "<none>");
}

TEST_F(Framing, ARequestOfMoreWordsThanAPosSendsIsRefusedOnceAndRunsNothing) {
  for (int words : {static_cast<int>(kMaxMembers) + 1, 3000}) {
    ASSERT_TRUE(pos.sendRaw(unknown_words(words)));
    EXPECT_EQ(nextReply(), "format") << words;
    EXPECT_EQ(nextReply(milliseconds(300)), "<none>") << words;
  }
  // A refused block with a real command in it runs nothing either.
  std::string mixed = unknown_words(kMaxMembers);
  mixed.insert(mixed.size() - 2, R"(,"Connect":{})");
  ASSERT_TRUE(pos.sendRaw(mixed));
  EXPECT_EQ(nextReply(), "format");
  EXPECT_EQ(sim.stats()["requests"].asInt(), 1);  // the start-up check only
  // The log holds the request lines, not thousands of growing replies.
  std::error_code error;
  const auto logSize = std::filesystem::file_size(daemon.process().stdoutPath(), error);
  ASSERT_FALSE(error);
  EXPECT_LT(logSize, 256u * 1024);
  ASSERT_TRUE(pos.sendRaw(kConnect));
  EXPECT_EQ(nextReply(), "connect");
}

}  // namespace
