// Requests as POS programs really write them: split across TCP segments,
// several in one segment, oversized, or cut off by a POS that goes away.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/daemon_process.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {

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

}  // namespace
