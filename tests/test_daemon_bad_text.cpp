// Outside text that is no request or no answer, through the real daemon
// against the real simulator: nesting deeper than any JSON reader follows
// (from the POS, from the centre, in the configuration), centre answers that
// are JSON but no object, and refusal codes too big for a number. Each is
// judged for what it is, and the daemon goes on serving.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "service/request_framer.h"
#include "support/daemon_process.h"
#include "support/proc.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "support/tempdir.h"
#include "util/json_value.h"

namespace {

using std::chrono::seconds;

const int kDeep = 100000;
const std::string kDeepArrays = std::string(kDeep, '[') + std::string(kDeep, ']');

Json::Value parsed(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text.substr(0, 80);
  return v;
}

// One attempt per centre call keeps the failing cases quick.
Json::Value oneAttempt() { return parsed(R"({"RetryCount": 1})"); }

// A scripted answer of the simulator for the connection check: `body` is
// sent as it is.
std::string connectAnswer(const std::string& body) {
  Json::Value answer(Json::objectValue);
  answer["root"] = "Connect";
  answer["body"] = body;
  return JsonOut(answer, false);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class BadText : public ::testing::Test {
 protected:
  void startBoth() {
    ASSERT_TRUE(sim.start()) << sim.error();
    ASSERT_TRUE(daemon.start(sim.url(), oneAttempt())) << daemon.error();
    ASSERT_TRUE(pos.connect(daemon.port()));
  }
  // Sends `request` and returns its one reply line, parsed (null when none).
  Json::Value ask(const std::string& request) {
    EXPECT_TRUE(pos.sendRaw(request));
    std::optional<std::string> line = pos.readLine(seconds(15));
    if (!line) {
      ADD_FAILURE() << "no reply to " << request.substr(0, 80);
      return Json::Value();
    }
    return parsed(*line);
  }
  Json::Value connectSlot() { return ask(R"({"TVL": {"Connect": {}}})")["TVL"]["Connect"]; }

  TavrelSim sim;
  NorvalenDaemon daemon;
  TcpClient pos;
};

TEST_F(BadText, PosRequestNestedTooDeepGetsTheFormatErrorAndTheConnectionGoesOn) {
  startBoth();
  std::string deepObjects;
  for (int i = 0; i < kDeep; ++i) deepObjects += "{\"\":";
  deepObjects += "0" + std::string(kDeep, '}');
  const std::string cases[] = {
      kDeepArrays,
      R"({"TVL": {"Connect": )" + kDeepArrays + "}}",
      deepObjects,
  };
  const Json::Value badFormat =
      parsed(R"({"ERROR":{"err":"-1","errMsg":"Формат запроса задан неверно"}})");
  for (const std::string& request : cases) {
    SCOPED_TRACE(request.substr(0, 40));
    // Under the framer's limit, so that the reader is what refuses it.
    const std::size_t framerLimit = RequestFramer::kMaxRequest;
    ASSERT_LT(request.size(), framerLimit);
    EXPECT_EQ(ask(request), badFormat);
    EXPECT_EQ(connectSlot()["err"], "0") << "the same connection is served on";
  }
  EXPECT_TRUE(daemon.process().running());
}

// The connection check at start-up decides ONLINE or OFFLINE. An answer
// that is no JSON object, or that refuses with a code too big for a number,
// must not count as a centre that is there and agrees.
TEST(BadCentreAnswer, AtStartUpDecidesOffline) {
  struct Case {
    std::string body;
    bool connected;  // the call itself went through and was read
    const char* mode;
  } cases[] = {
      {R"({"err":"0","errmsg":""})", true, "ONLINE"},
      {kDeepArrays, false, "OFFLINE"},
      {R"({"err":"0","x":)" + kDeepArrays + "}", false, "OFFLINE"},
      {"null", false, "OFFLINE"},
      {"[]", false, "OFFLINE"},
      {"5", false, "OFFLINE"},
      {R"("x")", false, "OFFLINE"},
      {R"({"err":"99999999999"})", true, "OFFLINE"},
      {R"({"err":" -99999999999999999999 ","errmsg":"X"})", true, "OFFLINE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 40));
    TavrelSim sim;
    ASSERT_TRUE(sim.start(connectAnswer(c.body))) << sim.error();
    NorvalenDaemon daemon;
    ASSERT_TRUE(daemon.start(sim.url(), oneAttempt())) << daemon.error();
    const std::string out = daemon.process().stdoutText();
    EXPECT_TRUE(contains(out, std::string("Демон инициализирован в режиме ") + c.mode)) << out;
    EXPECT_TRUE(contains(out, c.connected ? "Connected =  TRUE" : "Connected =  FALSE")) << out;
    EXPECT_TRUE(daemon.stop());
  }
}

TEST_F(BadText, ConnectAnswerThatIsNoObjectIsNotJson) {
  startBoth();
  const Json::Value notJson =
      parsed(R"({"err":"5","errMsg":"Отсутствует соединение","errInfo":"","Offline":"1"})");
  const std::string bodies[] = {
      kDeepArrays, std::string(kDeep, '['), "null", "[]", "[{\"err\":\"0\"}]", "5", R"("x")",
      "true",
  };
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body.substr(0, 40));
    ASSERT_TRUE(sim.setAnswer(connectAnswer(body)));
    EXPECT_EQ(connectSlot(), notJson);
  }
  ASSERT_TRUE(sim.setAnswer(connectAnswer(R"({"err":"0"})")));
  EXPECT_EQ(connectSlot(), parsed(R"({"err":"0","errMsg":"Успешное выполнение операции",
      "errInfo":""})"));
}

// A refusal is a refusal whatever the size of its code. (The POS slot of
// Connect carries the call's result as "err"; the centre's code shows as
// "Offline" and the centre's text.)
TEST_F(BadText, ConnectRefusalWithACodeTooBigForANumberIsARefusal) {
  startBoth();
  const Json::Value refused = parsed(R"({"err":"0","errMsg":"X","errInfo":"","Offline":"1"})");
  const Json::Value agreed =
      parsed(R"({"err":"0","errMsg":"Успешное выполнение операции","errInfo":""})");
  struct Case {
    const char* code;
    Json::Value slot;
  } cases[] = {
      {"99999999999", refused},
      {"2147483648", refused},
      {"-2147483649", refused},
      {" +000099999999999999999999 ", refused},
      {"99999999999999999999999999999999abc", refused},
      {"2147483647", refused},
      {"0", agreed},
      // No digits at all: the connection check counts that as success.
      {"abc", agreed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Json::Value body(Json::objectValue);
    body["err"] = c.code;
    body["errmsg"] = "X";
    ASSERT_TRUE(sim.setAnswer(connectAnswer(JsonOut(body, false))));
    EXPECT_EQ(connectSlot(), c.slot);
  }
}

// A configuration nested deeper than the reader follows configures nothing:
// not even the keys before the nesting. With every key at its default the
// journal is /var/opt/norvalen/db/tavrel.db3; on a machine without that
// directory start-up stops there, which shows the defaults were taken.
TEST(BadConfiguration, NestingTooDeepStartsWithTheDefaults) {
  if (access("/var/opt/norvalen/db", F_OK) == 0) GTEST_SKIP() << "an installed journal directory exists";
  TempDir dir;
  const std::string conf =
      dir.writeFile("tavrel.conf", R"({"DbPath": ")" + dir.path() + R"(", "x": )" + kDeepArrays + "}");
  ProcessResult r = RunProcess(NORVALEN_BIN, {"-d", "-c", conf}, seconds(15));
  EXPECT_EQ(r.status, ExitStatus::Exited(1)) << r.err;
  EXPECT_TRUE(contains(r.out, "[ /var/opt/norvalen/db/tavrel.db3 ]")) << r.out;
}

}  // namespace
