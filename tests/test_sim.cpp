// tavrel-sim as a program: started standalone on a free port, it answers
// every family's body by default, follows scripted answers (from a file and
// through /_sim/), delays, drops connections, records requests and counts
// the requests in flight. Requests go through the daemon's own client.
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <chrono>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "interface/cards.h"
#include "interface/connect.h"
#include "interface/message_base.h"
#include "interface/ws_ctx.h"
#include "support/http_test_server.h"
#include "support/proc.h"
#include "support/sim_process.h"
#include "support/tempdir.h"
#include "support/ws_ctx_fixture.h"
#include "util/json_value.h"

namespace {

// One POST through the daemon's transport.
struct Exchange {
  int code = -1;
  int http = 0;
  std::string response;
  std::string buff;
};

Exchange Post(const std::string& url, const std::string& body, int timeout = 20) {
  CtxPtr ctx = NewCtx(url);
  ctx->send_timeout = timeout;
  Exchange e;
  e.code = wsctx_run(ctx.get(), body, e.response, nullptr);
  e.http = wsctx_http_response(ctx.get());
  e.buff = wsctx_buff(ctx.get());
  return e;
}

Json::Value Parse(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text;
  return v;
}

TEST(TavrelSim, AnswersEveryRootByDefault) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();

  // The connection check reads the top level.
  CtxPtr ctx = NewCtx(sim.url());
  interface::connect::Connection_Input in;
  interface::connect::Connection_Output out;
  interface::connect::Connection_Proxy proxy(ctx.get());
  EXPECT_EQ(proxy.getConnectionCheck(&in, &out), 0);
  EXPECT_EQ(out.err, "0");

  // Every other family reads the block under its root.
  for (const char* root : {"CardInfo", "PayBonus", "Return", "Commit", "Undo", "Unheard"}) {
    SCOPED_TRACE(root);
    Json::Value body;
    body[root]["cardnum"] = "1234";
    Exchange e = Post(sim.url("/any/path"), JsonOut(body, false));
    ASSERT_EQ(e.code, 0);
    EXPECT_EQ(e.http, 200);
    interface::ResultOutput result(root);
    EXPECT_EQ(result.deserialize(e.response), 0) << e.response;
    EXPECT_EQ(result.err, "0");
    if (std::string(root) == "CardInfo") {
      Json::Value card = Parse(e.response)["CardInfo"];
      for (const char* member : {"status", "type", "sum_min", "sum_max", "max_score"}) {
        EXPECT_TRUE(card[member].isString()) << member;
      }
      EXPECT_TRUE(card["articul_discount"].isArray());
    }
  }

  // The POS block of a "Connect" command, other commands included, is a
  // connection check.
  ASSERT_TRUE(sim.setAnswer(R"({"root":"Connect","fields":{"errmsg":"проверка"}})"));
  Exchange block = Post(sim.url(), R"({"CardInfo":{"CardNum":"1"},"Connect":{}})");
  EXPECT_EQ(Parse(block.response)["errmsg"].asString(), "проверка");
  Json::Value seen = sim.requests();
  EXPECT_EQ(seen[seen.size() - 1]["root"].asString(), "Connect");

  // A body without a root member cannot be told.
  Exchange bad = Post(sim.url(), "[1]");
  EXPECT_EQ(bad.code, 0);
  EXPECT_EQ(bad.http, 400);
  EXPECT_EQ(Parse(bad.response)["err"].asString(), "1");

  EXPECT_TRUE(sim.stop());
}

// The default card answer names the request's purchase lines: fuel lines
// are blocked, other goods get a discount. Odd lists give neither and do not
// trouble the simulator.
TEST(TavrelSim, DefaultCardAnswerFollowsThePurchaseLines) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  struct Case {
    const char* name;
    std::string body;
    std::string articul;
    std::string discounts;  // compact text of "articul_discount"
  };
  const Case cases[] = {
      {"no list", R"({"CardInfo":{"cardnum":"1"}})", "", "[]"},
      {"empty list", R"({"CardInfo":{"cardnum":"1","articul_list":[]}})", "", "[]"},
      {"gsm and good lines",
       R"({"CardInfo":{"cardnum":"1","articul_list":[)"
       R"({"id":"gsm95","flag_good":"gsm","price":"55.10","volume":"20.00","sum":"1102.00"},)"
       R"({"id":"4601","flag_good":"good","price":"40.00","volume":"1.00","sum":"40.00"},)"
       R"({"id":"gsm92","flag_good":"gsm"},{"id":"Хлеб","flag_good":"good"}]}})",
       "gsm95,gsm92",
       R"([{"discount":"5.00","id":"4601"},{"discount":"5.00","id":"Хлеб"}])"},
      {"odd elements",
       R"({"CardInfo":{"articul_list":[5,"gsm1",null,[],{},{"flag_good":"gsm"},)"
       R"({"id":7,"flag_good":"gsm"},{"id":"","flag_good":"good"},{"id":"A","flag_good":5},)"
       R"({"id":"B","flag_good":"other"},{"id":["C"],"flag_good":"good"},)"
       R"({"id":"gsm3","flag_good":"gsm"},{"id":"D","flag_good":"good"}]}})",
       "gsm3", R"([{"discount":"5.00","id":"D"}])"},
      {"list not an array", R"({"CardInfo":{"articul_list":{"id":"gsm1","flag_good":"gsm"}}})", "",
       "[]"},
      {"list a number", R"({"CardInfo":{"articul_list":42}})", "", "[]"},
      {"list a text", R"({"CardInfo":{"articul_list":"gsm1"}})", "", "[]"},
      {"block an array", R"({"CardInfo":[{"articul_list":[{"id":"gsm1","flag_good":"gsm"}]}]})", "",
       "[]"},
      {"block a text", R"({"CardInfo":"articul_list"})", "", "[]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Exchange e = Post(sim.url(), c.body);
    ASSERT_EQ(e.code, 0);
    EXPECT_EQ(e.http, 200);
    const Json::Value card = Parse(e.response)["CardInfo"];
    EXPECT_EQ(card["err"].asString(), "0");
    EXPECT_EQ(card["status"].asString(), "active");
    EXPECT_EQ(card["articul"], Json::Value(c.articul));
    EXPECT_EQ(JsonOut(card["articul_discount"], false), c.discounts + "\n");
  }
  EXPECT_EQ(sim.stats()["requests"].asInt(), static_cast<int>(std::size(cases)));

  // Scripted fields still have the last word; what they do not name is
  // still derived from the lines.
  ASSERT_TRUE(sim.setAnswer(R"({"root":"CardInfo","fields":{"articul":"none"}})"));
  const Json::Value card = Parse(Post(sim.url(), cases[2].body).response)["CardInfo"];
  EXPECT_EQ(card["articul"].asString(), "none");
  EXPECT_EQ(card["articul_discount"].size(), 2u);
  EXPECT_TRUE(sim.stop());
}

// What the card family makes of that answer: the blocked fuel articles as
// the centre named them, the discounts by article code.
TEST(TavrelSim, CardFamilyReadsTheDerivedArticles) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  CtxPtr ctx = NewCtx(sim.url());
  interface::cards::Card_Proxy proxy(ctx.get());
  interface::cards::Card_Input input;
  ASSERT_EQ(input.readRequest(Parse(R"({"CardInfo":{"CardNum":"2000111","Check":[)"
                                    R"({"art":"95","flag":0,"price":"55.10","cnt":"20"},)"
                                    R"({"art":"4601","flag":1,"price":"40","cnt":"1"},)"
                                    R"({"art":"4602","price":"12","cnt":"2"}]}})")),
            0);
  interface::cards::Card_Output output;
  ASSERT_EQ(proxy.getCardInfo(&input, &output), 0) << output.errmsg;
  EXPECT_EQ(output.err, "0");
  EXPECT_EQ(output.articul, "gsm95");
  ASSERT_NE(output.discounts, nullptr);
  std::vector<std::string> ids;
  for (const auto& item : output.discounts->items) ids.push_back(item->id + "=" + item->discount);
  EXPECT_EQ(ids, (std::vector<std::string>{"4601=5.00", "4602=5.00"}));
}

TEST(TavrelSim, RecordsEveryRequest) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  const std::string body = "{\"PayBonus\":{\"cardnum\":\"77\",\"sum\":\"1.50\"}}\n";
  ASSERT_EQ(Post(sim.url("/crm/api"), body).code, 0);
  ASSERT_EQ(Post(sim.url(), "{\"Commit\":{}}\n").code, 0);

  Json::Value seen = sim.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0]["seq"].asInt(), 1);
  EXPECT_EQ(seen[0]["path"].asString(), "/crm/api");
  EXPECT_EQ(seen[0]["root"].asString(), "PayBonus");
  EXPECT_EQ(seen[0]["body"].asString(), body);
  EXPECT_FALSE(seen[0]["time"].asString().empty());
  const Json::Value& headers = seen[0]["headers"];
  EXPECT_EQ(headers["Accept"].asString(), "application/json");
  EXPECT_EQ(headers["Content-encoding"].asString(), "UTF-8");
  EXPECT_EQ(headers["Content-Type"].asString(), "application/json");
  EXPECT_EQ(headers["charset"].asString(), "utf-8");
  EXPECT_EQ(headers["Content-language"].asString(), "ru");
  EXPECT_FALSE(headers.isMember("REMOTE_ADDR"));
  EXPECT_EQ(seen[1]["root"].asString(), "Commit");
  ASSERT_EQ(sim.bodiesOf("PayBonus").size(), 1u);
  EXPECT_EQ(sim.bodiesOf("PayBonus")[0]["PayBonus"]["sum"].asString(), "1.50");

  // The record file has the same records, one JSON line each.
  std::optional<std::string> file = ReadFile(sim.recordPath());
  ASSERT_TRUE(file.has_value());
  std::vector<Json::Value> lines;
  size_t start = 0;
  for (size_t nl; (nl = file->find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(Parse(file->substr(start, nl - start)));
  }
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], seen[0]);
  EXPECT_EQ(lines[1], seen[1]);

  ASSERT_TRUE(sim.reset());
  EXPECT_EQ(sim.requests().size(), 0u);
}

TEST(TavrelSim, FollowsTheScriptGivenAtStart) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start(R"([
    {"root": "PayBonus", "status": 500,
     "body": {"PayBonus": {"err": "5", "errmsg": "Недостаточно бонусов"}}},
    {"root": "Commit", "body": "plain text", "content_type": "text/plain"},
    {"root": "Undo", "body": ""},
    {"root": "CardInfo", "fields": {"status": "blocked", "sum_max": "0.00"}}
  ])"))
      << sim.error();

  Exchange pay = Post(sim.url(), "{\"PayBonus\":{}}");
  EXPECT_EQ(pay.http, 500);
  EXPECT_EQ(Parse(pay.response)["PayBonus"]["errmsg"].asString(), "Недостаточно бонусов");
  EXPECT_EQ(Post(sim.url(), "{\"Commit\":{}}").response, "plain text");
  Exchange undo = Post(sim.url(), "{\"Undo\":{}}");
  EXPECT_EQ(undo.code, 0);
  EXPECT_EQ(undo.response, "");
  Json::Value card = Parse(Post(sim.url(), "{\"CardInfo\":{}}").response)["CardInfo"];
  EXPECT_EQ(card["status"].asString(), "blocked");
  EXPECT_EQ(card["err"].asString(), "0") << "fields change only what they name";

  // Changed at run time, then back to the script by a reset.
  ASSERT_TRUE(sim.setAnswer(R"({"root":"PayBonus","fields":{"err":"0","message":"Начислено"}})"));
  Exchange changed = Post(sim.url(), "{\"PayBonus\":{}}");
  EXPECT_EQ(changed.http, 200);
  EXPECT_EQ(Parse(changed.response)["PayBonus"]["message"].asString(), "Начислено");
  ASSERT_TRUE(sim.reset());
  EXPECT_EQ(Post(sim.url(), "{\"PayBonus\":{}}").http, 500);
}

TEST(TavrelSim, QueuedAnswersAreUsedUpInOrder) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  ASSERT_TRUE(sim.setAnswer(R"([
    {"root": "Return", "times": 2, "fields": {"err": "9"}},
    {"root": "Return", "times": 1, "status": 404, "body": {"Return": {"err": "4"}}}
  ])"));
  ASSERT_TRUE(sim.setAnswer(R"({"root": "*", "fields": {"errmsg": "любой"}})"));
  std::vector<std::string> errs;
  for (int i = 0; i < 4; ++i) {
    Exchange e = Post(sim.url(), "{\"Return\":{}}");
    errs.push_back(std::to_string(e.http) + "/" + Parse(e.response)["Return"]["err"].asString());
  }
  // After the queue of "Return" the wildcard answers.
  EXPECT_EQ(errs, (std::vector<std::string>{"200/9", "200/9", "404/4", "200/0"}));
  EXPECT_EQ(Parse(Post(sim.url(), "{\"Return\":{}}").response)["Return"]["errmsg"].asString(),
            "любой");
  EXPECT_EQ(Parse(Post(sim.url(), "{\"Undo\":{}}").response)["Undo"]["errmsg"].asString(), "любой");
}

TEST(TavrelSim, DelaysAndDroppedConnections) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  ASSERT_TRUE(sim.setAnswer(R"([
    {"root": "Connect", "delay_ms": 2500, "times": 1},
    {"root": "Connect", "drop": true, "times": 1},
    {"root": "Connect", "delay_ms": 300, "times": 1}
  ])"));
  Exchange late = Post(sim.url(), "{\"Connect\":{}}", 1);
  EXPECT_EQ(late.code, 23);
  EXPECT_EQ(late.buff.substr(0, 11), "CURL-00028 ");

  Exchange dropped = Post(sim.url(), "{\"Connect\":{}}");
  EXPECT_EQ(dropped.code, 23);
  EXPECT_EQ(dropped.buff.substr(0, 11), "CURL-00052 ") << dropped.buff;
  EXPECT_EQ(dropped.response, "");

  auto started = std::chrono::steady_clock::now();
  Exchange slow = Post(sim.url(), "{\"Connect\":{}}");
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
  EXPECT_EQ(slow.code, 0);
  EXPECT_EQ(Parse(slow.response)["err"].asString(), "0");

  // A dropped first attempt: the proxy posts the same body again.
  ASSERT_TRUE(sim.reset());
  ASSERT_TRUE(sim.setAnswer(R"([{"root":"Commit","drop":true,"times":1},{"root":"Commit"}])"));
  CtxPtr ctx = NewCtx(sim.url());
  interface::ResultOutput out("Commit");
  struct CommitInput : interface::InputInterfaces {
    void ws_default(WS_ctx* c) override { ws_base_default(c); }
    int readRequest(const Json::Value&) override { return 0; }
    Json::Value buildBody() override { return Parse(R"({"Commit":{"trnum":"77"}})"); }
  } in;
  struct CommitProxy : interface::ProxyInterfaces {
    explicit CommitProxy(WS_ctx* c) { ProxyInit(c); }
    int call(interface::InputInterfaces* i, interface::OutputInterfaces* o) {
      return callService(i, o);
    }
  } commit(ctx.get());
  EXPECT_EQ(commit.call(&in, &out), 0);
  EXPECT_EQ(out.err, "0");
  Json::Value seen = sim.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0]["body"], seen[1]["body"]);
}

TEST(TavrelSim, CountsRequestsInFlight) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  ASSERT_TRUE(sim.setAnswer(R"({"root":"CardInfo","delay_ms":400})"));
  ASSERT_EQ(Post(sim.url(), "{\"CardInfo\":{}}").code, 0);
  ASSERT_EQ(Post(sim.url(), "{\"CardInfo\":{}}").code, 0);
  EXPECT_EQ(sim.stats()["max_in_flight"].asInt(), 1);
  EXPECT_EQ(sim.stats()["requests"].asInt(), 2);

  std::vector<std::thread> clients;
  for (int i = 0; i < 3; ++i) {
    clients.emplace_back([&sim] { Post(sim.url(), "{\"CardInfo\":{}}"); });
  }
  for (std::thread& t : clients) t.join();
  Json::Value stats = sim.stats();
  EXPECT_EQ(stats["max_in_flight"].asInt(), 3);
  EXPECT_EQ(stats["in_flight"].asInt(), 0);
  EXPECT_EQ(stats["requests"].asInt(), 5);
}

TEST(TavrelSim, RejectsMalformedControlRequests) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  for (const char* bad : {"not json", R"({"root":"PayBonus","stauts":500})", R"({"status":99})",
                          R"({"delay_ms":"slow"})", R"([{"drop":1}])", R"({"root":""})", "42"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(sim.setAnswer(std::string(bad)));
  }
  // Nothing of the rejected answers took effect.
  EXPECT_EQ(Post(sim.url(), "{\"PayBonus\":{}}").http, 200);
}

// A body nested deeper than any reader follows is a body that is not JSON:
// the centre path answers it as a request without a root, the control path
// refuses it, and the next request is served as usual.
TEST(TavrelSim, BodiesNestedTooDeepAreNotJson) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  Exchange centre = Post(sim.url(), "{\"Connect\":" + deep + "}");
  EXPECT_EQ(centre.http, 400);
  EXPECT_EQ(Parse(centre.response)["err"].asString(), "1");
  Exchange control = Post(sim.url("/_sim/answer"), deep);
  EXPECT_EQ(control.http, 400);
  EXPECT_EQ(Parse(control.response)["error"].asString(), "the body is not JSON");

  Exchange good = Post(sim.url(), "{\"Connect\":{}}");
  EXPECT_EQ(good.http, 200);
  EXPECT_EQ(Parse(good.response)["err"].asString(), "0");
  EXPECT_TRUE(sim.stop());
}

TEST(TavrelSim, ServesHttpsWithTheGivenCertificate) {
  TempDir dir;
  std::string cert, key;
  ASSERT_TRUE(MakeSelfSignedCert(dir.path(), &cert, &key));
  TavrelSim sim;
  ASSERT_TRUE(sim.start("", {"--cert", cert, "--key", key})) << sim.error();
  EXPECT_EQ(sim.url().substr(0, 8), "https://");
  Exchange e = Post(sim.url(), "{\"Connect\":{}}");
  EXPECT_EQ(e.code, 0) << e.buff;
  EXPECT_EQ(Parse(e.response)["err"].asString(), "0");
  ASSERT_TRUE(sim.setAnswer(R"({"root":"Connect","fields":{"err":"2"}})"));
  EXPECT_EQ(Parse(Post(sim.url(), "{\"Connect\":{}}").response)["err"].asString(), "2");
}

TEST(TavrelSim, CommandLine) {
  ProcessResult help = RunProcess(TAVREL_SIM_BIN, {"--help"}, std::chrono::seconds(10));
  ASSERT_TRUE(help.status.has_value());
  EXPECT_EQ(*help.status, ExitStatus::Exited(0));
  for (const char* option : {"--script", "--cards", "--state"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }

  TempDir dir;
  std::string badScript = dir.writeFile("bad.json", R"({"root":"PayBonus","status":"x"})");
  std::string deepScript = dir.writeFile(
      "deep.json", R"({"root":"Connect","body":)" + std::string(100000, '[') + "}");
  std::string cutScript = dir.writeFile("cut.json", R"([{"root":"Connect")");
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"--port", "70000"}, "bad port"},
      {{"--script", dir.file("missing.json")}, "cannot read script"},
      {{"--script", badScript}, "\"status\" must be an integer"},
      {{"--script", deepScript}, "deep.json\": not JSON"},
      {{"--script", cutScript}, "cut.json\": not JSON"},
      {{"--cert", dir.file("c.pem")}, "--cert and --key go together"},
      {{"stray"}, "unexpected argument"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    ProcessResult r = RunProcess(TAVREL_SIM_BIN, c.args, std::chrono::seconds(10));
    ASSERT_TRUE(r.status.has_value());
    EXPECT_EQ(*r.status, ExitStatus::Exited(2));
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }

  // A fixed port that is taken cannot be listened on.
  TavrelSim first;
  ASSERT_TRUE(first.start()) << first.error();
  ProcessResult taken = RunProcess(TAVREL_SIM_BIN, {"--port", std::to_string(first.port())},
                                   std::chrono::seconds(10));
  ASSERT_TRUE(taken.status.has_value());
  EXPECT_EQ(*taken.status, ExitStatus::Exited(1));
}

}  // namespace
