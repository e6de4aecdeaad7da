// tavrel-sim's demo mode (--cards, --state): the real binary as a small
// centre with cards and balances. Card information from the cards file,
// write-offs reserved by PayBonus and applied by Commit, released by Undo,
// credits by Return, repeats answered alike and applied once, refusals,
// balances kept across a restart, bad files refused at start, scripted
// answers still first; and the daemon's own flow against it.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <httplib.h>

#include "support/daemon_process.h"
#include "support/proc.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "support/tempdir.h"
#include "util/json_value.h"

namespace {

using std::chrono::seconds;

// 1001: a balance above its write-off limit; 1002: blocked; 1003: no limit,
// discounts and blocked articles.
const char kCards[] = R"({"cards": [
  {"number": "1001", "balance": "100.00", "sum_max": "60.00", "max_score": "30.00"},
  {"number": "1002", "status": "blocked", "balance": "50.00"},
  {"number": "1003", "type": "vip", "balance": 20, "sum_min": "1.5",
   "discounts": {"A1": "10.00", "A2": 2.5}, "blocked": ["gsm95", "B7"]}
]})";

Json::Value Parse(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text;
  return v;
}

// One HTTP exchange with the simulator; `status` 0 when no answer came.
struct Reply {
  int status = 0;
  std::string body;
  Json::Value json;
};

Reply Send(const TavrelSim& sim, const std::string& path, const std::string* body) {
  httplib::Client client(sim.url(""));
  client.set_connection_timeout(5);
  client.set_read_timeout(10);
  httplib::Result res = body != nullptr ? client.Post(path.c_str(), *body, "application/json")
                                        : client.Get(path.c_str());
  Reply r;
  if (!res) return r;
  r.status = res->status;
  r.body = res->body;
  JsonParse(r.body, r.json);
  return r;
}

Reply Post(const TavrelSim& sim, const std::string& body) { return Send(sim, "/", &body); }

// The block under `root` of the answer to `body`.
Json::Value Ask(const TavrelSim& sim, const char* root, const std::string& body) {
  Reply r = Post(sim, body);
  EXPECT_EQ(r.status, 200) << body << " -> " << r.body;
  return r.json[root];
}

// "err" and "errmsg" of an answer block, as one text for assertions.
std::string Result(const Json::Value& block) {
  return block["err"].asString() + " " + block["errmsg"].asString();
}

// The card `number` as GET /_sim/cards shows it.
Json::Value CardState(const TavrelSim& sim, const std::string& number) {
  Reply r = Send(sim, "/_sim/cards", nullptr);
  EXPECT_EQ(r.status, 200) << r.body;
  for (const Json::Value& card : r.json["cards"]) {
    if (card["number"].asString() == number) return card;
  }
  ADD_FAILURE() << "no card " << number << " in " << r.body;
  return Json::Value();
}
std::string Balance(const TavrelSim& sim, const std::string& number) {
  return CardState(sim, number)["balance"].asString();
}
std::string Reserved(const TavrelSim& sim, const std::string& number) {
  return CardState(sim, number)["reserved"].asString();
}

std::string PayBody(const std::string& card, const std::string& zakaz, const std::string& sum) {
  return R"({"PayBonus":{"cardnum":")" + card + R"(","zakaz":")" + zakaz + R"(","sum":")" + sum +
         R"(","trnum":"1"}})";
}
std::string SettleBody(const char* root, const std::string& ret, const std::string& card,
                       const std::string& zakaz) {
  return std::string(R"({")") + root + R"(":{"ret":")" + ret + R"(","cardnum":")" + card +
         R"(","zakaz":")" + zakaz + R"("}})";
}

class StoreTest : public ::testing::Test {
 protected:
  // Starts `sim` on kCards (or `cards`), with the state file of this test
  // when `withState`.
  void start(TavrelSim& sim, bool withState = false, const std::string& script = "") {
    std::vector<std::string> args = {"--cards", cardsPath_};
    if (withState) {
      args.push_back("--state");
      args.push_back(statePath());
    }
    ASSERT_TRUE(sim.start(script, args)) << sim.error();
  }
  std::string statePath() const { return dir_.file("state.json"); }

  TempDir dir_;
  std::string cardsPath_ = dir_.writeFile("cards.json", kCards);
};

TEST_F(StoreTest, CardInfoAnswersFromTheCards) {
  TavrelSim sim;
  start(sim);
  struct Case {
    const char* name;
    std::string body;
    std::string result;  // "err errmsg"
    std::string members;  // compact JSON of the expected card members; "" for none
  };
  const Case cases[] = {
      {"balance above the limit", R"({"CardInfo":{"cardnum":"1001","qr_type":"mf"}})", "0 ",
       R"({"articul":"","articul_discount":[],"max_score":"30.00","status":"active",)"
       R"("sum_max":"60.00","sum_min":"0.00","type":"b"})"},
      {"the lines name blocked and discounted articles",
       R"({"CardInfo":{"cardnum":"1003","articul_list":[{"id":"gsm95","flag_good":"gsm"},)"
       R"({"id":"A1","flag_good":"good"},{"id":"gsm95"},{"id":"C"},5,{"id":7},{"id":"A2"},)"
       R"({"id":"B7"}]}})",
       "0 ",
       R"({"articul":"gsm95,B7","articul_discount":[{"discount":"10.00","id":"A1"},)"
       R"({"discount":"2.50","id":"A2"}],"max_score":"0.00","status":"active",)"
       R"("sum_max":"20.00","sum_min":"1.50","type":"vip"})"},
      {"without lines all blocked articles", R"({"CardInfo":{"cardnum":"1003"}})", "0 ",
       R"({"articul":"gsm95,B7","articul_discount":[],"max_score":"0.00","status":"active",)"
       R"("sum_max":"20.00","sum_min":"1.50","type":"vip"})"},
      {"lines not an array", R"({"CardInfo":{"cardnum":"1003","articul_list":{"id":"B7"}}})", "0 ",
       R"({"articul":"gsm95,B7","articul_discount":[],"max_score":"0.00","status":"active",)"
       R"("sum_max":"20.00","sum_min":"1.50","type":"vip"})"},
      {"blocked card", R"({"CardInfo":{"cardnum":"1002"}})", "3 Карта заблокирована",
       R"({"articul":"","articul_discount":[],"max_score":"0.00","status":"blocked",)"
       R"("sum_max":"0.00","sum_min":"0.00","type":"b"})"},
      {"unknown card", R"({"CardInfo":{"cardnum":"9999"}})", "2 Карта не найдена", ""},
      {"no card number", R"({"CardInfo":{}})", "2 Карта не найдена", ""},
      {"card number not a text", R"({"CardInfo":{"cardnum":1001}})", "1 Неверный формат запроса",
       ""},
      {"block not an object", R"({"CardInfo":["1001"]})", "1 Неверный формат запроса", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reply r = Post(sim, c.body);
    ASSERT_EQ(r.status, 200) << r.body;
    Json::Value block = r.json["CardInfo"];
    EXPECT_EQ(Result(block), c.result);
    EXPECT_EQ(r.json["err"], block["err"]) << "the result is also at the top level";
    EXPECT_EQ(r.json["errmsg"], block["errmsg"]);
    EXPECT_EQ(block["message"].asString(), "");
    for (const char* name : {"err", "errmsg", "message"}) block.removeMember(name);
    EXPECT_EQ(JsonOut(block, false), c.members.empty() ? "{}\n" : c.members + "\n");
  }
}

TEST_F(StoreTest, ReserveThenCommitSpendsTheBalanceOnce) {
  TavrelSim sim;
  start(sim);
  Json::Value pay = Ask(sim, "PayBonus", PayBody("1001", "U-1", "50.00"));
  EXPECT_EQ(Result(pay), "0 ");
  EXPECT_EQ(pay["message"].asString(), "Зарезервировано к списанию: 50.00");
  EXPECT_EQ(Balance(sim, "1001"), "100.00");
  EXPECT_EQ(Reserved(sim, "1001"), "50.00");
  // What may be written off now: the balance less the reservation.
  EXPECT_EQ(Ask(sim, "CardInfo", R"({"CardInfo":{"cardnum":"1001"}})")["sum_max"], "50.00");

  // A repeat (a retry after a lost answer) reserves nothing more.
  EXPECT_EQ(Ask(sim, "PayBonus", PayBody("1001", "U-1", "50.00")), pay);
  EXPECT_EQ(Reserved(sim, "1001"), "50.00");

  Json::Value commit = Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "U-1"));
  EXPECT_EQ(Result(commit), "0 ");
  EXPECT_EQ(commit["message"].asString(), "Списано бонусов: 50.00");
  EXPECT_EQ(Balance(sim, "1001"), "50.00");
  EXPECT_EQ(Reserved(sim, "1001"), "0.00");

  // Repeats of the commit and of the payment change nothing.
  EXPECT_EQ(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "U-1")), commit);
  EXPECT_EQ(Ask(sim, "PayBonus", PayBody("1001", "U-1", "50.00")), pay);
  EXPECT_EQ(Balance(sim, "1001"), "50.00");
  EXPECT_EQ(Reserved(sim, "1001"), "0.00");
  // A committed write-off cannot be undone.
  EXPECT_EQ(Result(Ask(sim, "Undo", SettleBody("Undo", "pay", "1001", "U-1"))),
            "6 Операция уже подтверждена");
  EXPECT_EQ(Balance(sim, "1001"), "50.00");

  // Without a "zakaz" the order is named by its cheque number; without
  // "ret" a commit finds the write-off.
  EXPECT_EQ(Result(Ask(sim, "PayBonus", R"({"PayBonus":{"cardnum":"1001","trnum":"17","sum":"5"}})")),
            "0 ");
  EXPECT_EQ(Result(Ask(sim, "Commit", R"({"Commit":{"cardnum":"1001","trnum":"18"}})")),
            "5 Операция не найдена");
  EXPECT_EQ(Result(Ask(sim, "Commit", R"({"Commit":{"trnum":"17"}})")), "0 ");
  EXPECT_EQ(Balance(sim, "1001"), "45.00");
}

TEST_F(StoreTest, ReserveThenUndoLeavesTheBalance) {
  TavrelSim sim;
  start(sim);
  ASSERT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "U-2", "30"))), "0 ");
  EXPECT_EQ(Reserved(sim, "1001"), "30.00");
  Json::Value undo = Ask(sim, "Undo", SettleBody("Undo", "pay", "1001", "U-2"));
  EXPECT_EQ(Result(undo), "0 ");
  EXPECT_EQ(undo["message"].asString(), "Операция отменена");
  EXPECT_EQ(Reserved(sim, "1001"), "0.00");
  EXPECT_EQ(Balance(sim, "1001"), "100.00");

  EXPECT_EQ(Ask(sim, "Undo", SettleBody("Undo", "pay", "1001", "U-2")), undo);
  EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "U-2"))),
            "5 Операция не найдена");
  EXPECT_EQ(Balance(sim, "1001"), "100.00");
  // Undo of an order never seen (its payment was refused) is no fault.
  Json::Value none = Ask(sim, "Undo", SettleBody("Undo", "pay", "1001", "U-404"));
  EXPECT_EQ(Result(none), "0 ");
  EXPECT_EQ(none["message"].asString(), "Нет операции для отмены");

  // After an undo the purchase may start over under the same name.
  ASSERT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "U-2", "10"))), "0 ");
  EXPECT_EQ(Reserved(sim, "1001"), "10.00");
  ASSERT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "U-2"))), "0 ");
  EXPECT_EQ(Balance(sim, "1001"), "90.00");
}

TEST_F(StoreTest, ReturnCreditsOnItsCommit) {
  TavrelSim sim;
  start(sim);
  const std::string ret =
      R"({"Return":{"cardnum":"1003","zakaz":"R-1","trnum":"78","sum":"190.00",)"
      R"("sum_stella":"200.00","sum_bonus":"10.00"}})";
  Json::Value answer = Ask(sim, "Return", ret);
  EXPECT_EQ(Result(answer), "0 ");
  EXPECT_EQ(answer["message"].asString(), "Зарезервировано к возврату: 10.00");
  EXPECT_EQ(Balance(sim, "1003"), "20.00") << "credited only when committed";
  EXPECT_EQ(Ask(sim, "Return", ret), answer);

  // The commit of a return names it with "ret"; without one it is found too.
  Json::Value commit = Ask(sim, "Commit", SettleBody("Commit", "ret", "1003", "R-1"));
  EXPECT_EQ(Result(commit), "0 ");
  EXPECT_EQ(commit["message"].asString(), "Возвращено бонусов: 10.00");
  EXPECT_EQ(Balance(sim, "1003"), "30.00");
  EXPECT_EQ(Ask(sim, "Commit", R"({"Commit":{"zakaz":"R-1"}})"), commit);
  EXPECT_EQ(Ask(sim, "Return", ret), answer);
  EXPECT_EQ(Balance(sim, "1003"), "30.00");
  // The same name as a write-off is another order.
  EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1003", "R-1"))),
            "5 Операция не найдена");

  // An undone return credits nothing.
  ASSERT_EQ(Result(Ask(sim, "Return", R"({"Return":{"cardnum":"1003","zakaz":"R-2","sum_bonus":"7"}})")),
            "0 ");
  EXPECT_EQ(Result(Ask(sim, "Undo", SettleBody("Undo", "ret", "1003", "R-2"))), "0 ");
  EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "ret", "1003", "R-2"))),
            "5 Операция не найдена");
  EXPECT_EQ(Balance(sim, "1003"), "30.00");
}

// Every refusal leaves the balances as they were, and the next good request
// is served as usual.
TEST_F(StoreTest, RefusalsChangeNothing) {
  TavrelSim sim;
  start(sim);
  ASSERT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "HELD", "10"))), "0 ");
  struct Case {
    const char* root;
    std::string body;
    std::string result;
  };
  const std::string longId(65, 'z');
  const Case cases[] = {
      {"PayBonus", PayBody("9999", "Z", "1"), "2 Карта не найдена"},
      {"PayBonus", PayBody("1002", "Z", "1"), "3 Карта заблокирована"},
      {"Return", R"({"Return":{"cardnum":"1002","zakaz":"Z","sum_bonus":"1"}})",
       "3 Карта заблокирована"},
      // 1001 has 90.00 free beside the 10.00 held, but gives 60.00 at most.
      {"PayBonus", PayBody("1001", "Z", "60.01"), "4 Недостаточно бонусов: доступно 60.00"},
      {"PayBonus", PayBody("1003", "Z", "20.01"), "4 Недостаточно бонусов: доступно 20.00"},
      {"PayBonus", PayBody("1001", "Z", "abc"), "7 Неверная сумма"},
      {"PayBonus", PayBody("1001", "Z", "-5"), "7 Неверная сумма"},
      {"PayBonus", PayBody("1001", "Z", "1.234"), "7 Неверная сумма"},
      {"PayBonus", PayBody("1001", "Z", ""), "7 Неверная сумма"},
      {"PayBonus", R"({"PayBonus":{"cardnum":"1001","zakaz":"Z"}})", "7 Неверная сумма"},
      {"PayBonus", R"({"PayBonus":{"cardnum":"1001","zakaz":"Z","sum":1e300}})",
       "7 Неверная сумма"},
      {"PayBonus", R"({"PayBonus":{"cardnum":"1001","zakaz":"Z","sum":[1]}})",
       "7 Неверная сумма"},
      {"Return", R"({"Return":{"cardnum":"1001","zakaz":"Z","sum_bonus":"99999999999999"}})",
       "7 Неверная сумма"},
      {"PayBonus", R"({"PayBonus":{"cardnum":"1001","sum":"1"}})", "8 Не указан номер заказа"},
      {"Commit", R"({"Commit":{"cardnum":"1001","zakaz":"","trnum":""}})",
       "8 Не указан номер заказа"},
      {"PayBonus", PayBody("1003", "HELD", "1"), "9 Заказ оформлен на другую карту"},
      {"Commit", SettleBody("Commit", "pay", "1003", "HELD"), "9 Заказ оформлен на другую карту"},
      {"Undo", SettleBody("Undo", "pay", "1003", "HELD"), "9 Заказ оформлен на другую карту"},
      {"Commit", SettleBody("Commit", "pay", "1001", "NEVER"), "5 Операция не найдена"},
      {"Commit", SettleBody("Commit", "both", "1001", "HELD"), "1 Неверный формат запроса"},
      {"PayBonus", R"({"PayBonus":[1]})", "1 Неверный формат запроса"},
      {"Undo", R"({"Undo":"HELD"})", "1 Неверный формат запроса"},
      {"PayBonus", R"({"PayBonus":{"cardnum":1001,"zakaz":"Z","sum":"1"}})",
       "1 Неверный формат запроса"},
      {"PayBonus", R"({"PayBonus":{"cardnum":"1001","zakaz":{"id":"Z"},"sum":"1"}})",
       "1 Неверный формат запроса"},
      {"PayBonus", PayBody("1001", longId, "1"), "1 Неверный формат запроса"},
      {"PayBonus", PayBody("1001", "with space", "1"), "1 Неверный формат запроса"},
      {"Commit", R"({"Commit":{"zakaz":"HELD","ret":true}})", "1 Неверный формат запроса"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    Reply r = Post(sim, c.body);
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(Result(r.json[c.root]), c.result);
    EXPECT_EQ(r.json["err"], r.json[c.root]["err"]);
  }
  // Bodies that are not requests at all: answered, never applied.
  const std::string odd[] = {"", "not json", R"({"PayBonus":{"cardnum":"10)",
                             std::string(50000, '[') + std::string(50000, ']'), "[1]", "\"x\""};
  for (const std::string& body : odd) {
    SCOPED_TRACE(body.substr(0, 40));
    Reply r = Post(sim, body);
    EXPECT_EQ(r.status, 400) << r.body;
    EXPECT_EQ(r.json["err"].asString(), "1");
  }
  // A body beyond the simulator's limit is refused before it is read whole.
  const int recorded = sim.stats()["requests"].asInt();
  Reply huge = Post(sim, PayBody("1001", "Z", "1") + std::string(17 * 1024 * 1024, ' '));
  EXPECT_EQ(huge.status, 413);
  EXPECT_EQ(sim.stats()["requests"].asInt(), recorded);
  EXPECT_EQ(Balance(sim, "1001"), "100.00");
  EXPECT_EQ(Reserved(sim, "1001"), "10.00");
  EXPECT_EQ(Balance(sim, "1003"), "20.00");
  EXPECT_EQ(CardState(sim, "1003")["reserved"].asString(), "0.00");

  ASSERT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "Z", "50.00"))), "0 ");
  ASSERT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "Z"))), "0 ");
  EXPECT_EQ(Balance(sim, "1001"), "50.00");
  EXPECT_TRUE(sim.stop()) << sim.process().stderrText();
}

TEST_F(StoreTest, BalancesAndOpenOrdersSurviveARestart) {
  {
    TavrelSim sim;
    start(sim, true);
    // A missing state file starts from the cards file, and is written.
    EXPECT_TRUE(ReadFile(statePath()).has_value());
    ASSERT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "P-1", "40"))), "0 ");
    ASSERT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "P-1"))), "0 ");
    ASSERT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "P-2", "20"))), "0 ");
    ASSERT_TRUE(sim.stop());
  }
  std::optional<std::string> saved = ReadFile(statePath());
  ASSERT_TRUE(saved.has_value());
  Json::Value state = Parse(*saved);
  EXPECT_EQ(state["balances"]["1001"], "60.00");
  EXPECT_EQ(state["orders"].size(), 2u);
  EXPECT_FALSE(ReadFile(statePath() + ".tmp").has_value()) << "the temporary file was renamed";

  {
    TavrelSim sim;
    start(sim, true);
    EXPECT_EQ(Balance(sim, "1001"), "60.00");
    EXPECT_EQ(Reserved(sim, "1001"), "20.00");
    // The open order can be committed, the settled one is not applied again.
    EXPECT_EQ(Ask(sim, "PayBonus", PayBody("1001", "P-1", "40"))["message"],
              "Зарезервировано к списанию: 40.00");
    EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "P-1"))), "0 ");
    EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "P-2"))), "0 ");
    EXPECT_EQ(Balance(sim, "1001"), "40.00");
    ASSERT_TRUE(sim.stop());
  }
  {
    // Without the state file it is the cards file again.
    TavrelSim sim;
    start(sim, false);
    EXPECT_EQ(Balance(sim, "1001"), "100.00");
    EXPECT_EQ(Reserved(sim, "1001"), "0.00");
  }
  // Cards that left the cards file are dropped from the state, with
  // their orders; the others keep theirs.
  std::string fewer = dir_.writeFile("fewer.json", R"({"cards":[{"number":"1003"}]})");
  {
    TavrelSim sim;
    ASSERT_TRUE(sim.start("", {"--cards", fewer, "--state", statePath()})) << sim.error();
    EXPECT_EQ(Balance(sim, "1003"), "20.00");
    EXPECT_EQ(Send(sim, "/_sim/cards", nullptr).json["orders"].size(), 0u);
  }
  // A hand-edited state whose open write-off outgrew the balance: the
  // commit is refused rather than leaving the balance below zero.
  ASSERT_FALSE(dir_.writeFile("state.json", R"({"balances":{"1003":"5.00"},"next_seq":2,
      "orders":[{"kind":"pay","order":"E","card":"1003","points":"8.00","state":"open","seq":1}]})")
                   .empty());
  {
    TavrelSim sim;
    start(sim, true);
    EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1003", "E"))),
              "4 Недостаточно бонусов: доступно 5.00");
    EXPECT_EQ(Balance(sim, "1003"), "5.00");
    EXPECT_EQ(Balance(sim, "1001"), "100.00") << "a card the state does not name starts afresh";
  }
}

// The orders kept are bounded: when all of them are open a new one is
// refused, and a settled one makes room (and is forgotten).
TEST_F(StoreTest, OrdersAreKeptUpToALimit) {
  Json::Value state(Json::objectValue);
  state["balances"] = Json::Value(Json::objectValue);
  state["next_seq"] = 10001;
  Json::Value& orders = state["orders"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < 10000; ++i) {
    Json::Value o(Json::objectValue);
    o["kind"] = "pay";
    o["order"] = "O-" + std::to_string(i);
    o["card"] = "1001";
    o["points"] = "0.00";
    o["state"] = "open";
    o["seq"] = i + 1;
    orders.append(o);
  }
  ASSERT_FALSE(dir_.writeFile("state.json", JsonOut(state, false)).empty());
  TavrelSim sim;
  start(sim, true);
  EXPECT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "NEW", "1"))),
            "10 Слишком много незавершённых операций");
  ASSERT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "O-5"))), "0 ");
  EXPECT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "NEW", "1"))), "0 ");
  EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "O-5"))),
            "5 Операция не найдена");
  EXPECT_EQ(Send(sim, "/_sim/cards", nullptr).json["orders"].size(), 10000u);
  EXPECT_EQ(Reserved(sim, "1001"), "1.00");
}

TEST_F(StoreTest, BadFilesStopTheStart) {
  TempDir dir;
  auto cards = [&dir](const char* name, const std::string& text) {
    return dir.writeFile(name, text);
  };
  const std::string good = cards("good.json", kCards);
  const std::string brokenState = R"({"balances":{"1001":"1.00"},"orders":[)";
  const std::string brokenStatePath = dir.writeFile("broken-state.json", brokenState);
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"--cards", dir.file("missing.json")}, "missing.json\": cannot read"},
      {{"--cards", cards("text.json", "cards: 1001")}, "text.json\": not JSON"},
      {{"--cards", cards("cut.json", R"({"cards":[{"number":"1001")")}, "cut.json\": not JSON"},
      {{"--cards", cards("deep.json", std::string(100000, '['))}, "deep.json\": not JSON"},
      {{"--cards", cards("list.json", R"([{"number":"1001"}])")}, "expected an object"},
      {{"--cards", cards("extra.json", R"({"cards":[],"more":1})")}, "unknown member \"more\""},
      {{"--cards", cards("typo.json", R"({"cards":[{"number":"1","balanse":"1"}]})")},
       "card 0: unknown member \"balanse\""},
      {{"--cards", cards("nonum.json", R"({"cards":[{"balance":"1"}]})")},
       "\"number\" must be a non-empty string"},
      {{"--cards", cards("twice.json", R"({"cards":[{"number":"1"},{"number":"1"}]})")},
       "card 1: number \"1\" is given twice"},
      {{"--cards", cards("neg.json", R"({"cards":[{"number":"1","balance":"-1"}]})")},
       "\"balance\" must be an amount"},
      {{"--cards", cards("status.json", R"({"cards":[{"number":"1","status":"frozen"}]})")},
       "\"status\" must be \"active\" or \"blocked\""},
      {{"--cards", cards("disc.json", R"({"cards":[{"number":"1","discounts":{"A":"x"}}]})")},
       "\"discounts\" must map"},
      {{"--cards", cards("blk.json", R"({"cards":[{"number":"1","blocked":"A"}]})")},
       "\"blocked\" must be an array"},
      {{"--cards", good, "--state", brokenStatePath}, "broken-state.json\": not JSON"},
      {{"--cards", good, "--state", dir.writeFile("s1.json", R"({"balances":[],"orders":[],"next_seq":1})")},
       "\"balances\" must be an object"},
      {{"--cards", good, "--state",
        dir.writeFile("s2.json", R"({"balances":{},"orders":[{"kind":"pay","order":"Z","card":"1001",)"
                                 R"("points":"1","state":"lost","seq":1}],"next_seq":2})")},
       "order 0: \"state\" must be"},
      {{"--cards", good, "--state", dir.writeFile("s3.json", "{}")}, "\"balances\" must be an object"},
      {{"--cards", good, "--state", dir.file("no/such/dir/state.json")}, "cannot create"},
      {{"--state", dir.file("alone.json")}, "--state needs --cards"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    ProcessResult r = RunProcess(TAVREL_SIM_BIN, c.args, seconds(10));
    ASSERT_TRUE(r.status.has_value());
    EXPECT_EQ(*r.status, ExitStatus::Exited(2));
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(r.out, "") << "it never listened";
  }
  EXPECT_EQ(ReadFile(brokenStatePath), brokenState) << "a broken state file is left as it was";

  // The good file after all of them.
  TavrelSim sim;
  ASSERT_TRUE(sim.start("", {"--cards", good})) << sim.error();
  EXPECT_EQ(Balance(sim, "1001"), "100.00");
}

TEST_F(StoreTest, ScriptedAnswersComeFirst) {
  TavrelSim sim;
  start(sim, false, R"({"root":"PayBonus","fields":{"err":"5","errmsg":"Сбой"},"times":1})");
  // A scripted answer with "fields" (or "body") is the answer; the store
  // does not see the request.
  EXPECT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "S-1", "10"))), "5 Сбой");
  EXPECT_EQ(Reserved(sim, "1001"), "0.00");
  EXPECT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "S-1", "10"))), "0 ");
  EXPECT_EQ(Reserved(sim, "1001"), "10.00");

  // One that only drops the connection loses the store's answer, not its
  // work: the retry finds the commit done and applies nothing again.
  ASSERT_TRUE(sim.setAnswer(R"({"root":"Commit","drop":true,"times":1})"));
  EXPECT_EQ(Post(sim, SettleBody("Commit", "pay", "1001", "S-1")).status, 0);
  EXPECT_EQ(Balance(sim, "1001"), "90.00");
  EXPECT_EQ(Result(Ask(sim, "Commit", SettleBody("Commit", "pay", "1001", "S-1"))), "0 ");
  EXPECT_EQ(Balance(sim, "1001"), "90.00");

  // One that sets the status (or a delay) sends the store's answer so.
  ASSERT_TRUE(sim.setAnswer(R"({"root":"*","status":503,"delay_ms":50,"times":1})"));
  Reply late = Post(sim, R"({"CardInfo":{"cardnum":"1001"}})");
  EXPECT_EQ(late.status, 503);
  EXPECT_EQ(late.json["CardInfo"]["sum_max"], "60.00");

  // The control interface keeps working; a reset keeps the balances.
  ASSERT_TRUE(sim.setAnswer(R"({"root":"CardInfo","body":"down","content_type":"text/plain"})"));
  EXPECT_EQ(Post(sim, R"({"CardInfo":{"cardnum":"1001"}})").body, "down");
  EXPECT_EQ(sim.bodiesOf("Commit").size(), 2u);
  ASSERT_TRUE(sim.reset());
  EXPECT_EQ(Result(Ask(sim, "PayBonus", PayBody("1001", "S-2", "1"))), "5 Сбой");
  EXPECT_EQ(Balance(sim, "1001"), "90.00");
  // Roots the store does not know get the usual default answer.
  EXPECT_EQ(Post(sim, R"({"Connect":{}})").json["err"], "0");

  // Without --cards there is no store to show.
  TavrelSim plain;
  ASSERT_TRUE(plain.start()) << plain.error();
  EXPECT_EQ(Send(plain, "/_sim/cards", nullptr).status, 404);
}

// The example cards file that the demo starts with: 7001 active with a
// balance, and cards that show the other states.
TEST(StoreExample, TheExampleCardsLoad) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start("", {"--cards", std::string(NORVALEN_SOURCE_DIR) + "/examples/cards.json"}))
      << sim.error();
  Json::Value card = Ask(sim, "CardInfo", R"({"CardInfo":{"cardnum":"7001"}})");
  EXPECT_EQ(Result(card), "0 ");
  EXPECT_EQ(card["status"], "active");
  EXPECT_GT(std::stod(card["sum_max"].asString()), 0);
  Reply all = Send(sim, "/_sim/cards", nullptr);
  bool blocked = false, vip = false;
  for (const Json::Value& c : all.json["cards"]) {
    blocked = blocked || c["status"] == "blocked";
    vip = vip || c["type"] == "vip";
  }
  EXPECT_TRUE(blocked && vip) << all.body;
}

// The daemon's own flow against the store: the committed write-off is gone
// from the card's bonus.
TEST(StoreThroughDaemon, CommittedPaymentLowersTheBonus) {
  TempDir dir;
  TavrelSim sim;
  ASSERT_TRUE(sim.start("", {"--cards", dir.writeFile("cards.json", kCards)})) << sim.error();
  NorvalenDaemon daemon;
  ASSERT_TRUE(daemon.start(sim.url())) << daemon.error();
  TcpClient pos;
  ASSERT_TRUE(pos.connect(daemon.port()));
  auto ask = [&pos](const std::string& request, const char* command) {
    EXPECT_TRUE(pos.sendRaw(request));
    std::optional<std::string> line = pos.readLine(seconds(15));
    EXPECT_TRUE(line) << "no reply to " << request;
    return line ? Parse(*line)["TVL"][command] : Json::Value();
  };

  Json::Value info = ask(R"({"TVL":{"CardInfo":{"CardNum":"1003"}}})", "CardInfo");
  EXPECT_EQ(info["err"], "0") << info;
  EXPECT_EQ(info["Bonus"], "20.00") << info;
  EXPECT_EQ(info["Type"], "v");
  // 2 x (100 - 95): 10 points written off.
  Json::Value pay = ask(R"({"TVL":{"PayBonus":{"CardNum":"1003","CheckNum":"17",)"
                        R"("Check":[{"art":"1","price":"95","base_price":"100","cnt":"2"}],)"
                        R"("Transact":{"ID":"17","DateTime":"20261211100000","Location":"12"}}}})",
                        "PayBonus");
  EXPECT_EQ(pay["err"], "0") << pay;
  EXPECT_EQ(pay["InfoMsg"], "Зарезервировано к списанию: 10.00") << pay;
  Json::Value commit = ask(R"({"TVL":{"Commit":{}}})", "Commit");
  EXPECT_EQ(commit["err"], "0") << commit;
  info = ask(R"({"TVL":{"CardInfo":{"CardNum":"1003"}}})", "CardInfo");
  EXPECT_EQ(info["Bonus"], "10.00") << info;

  // The centre saw one order: the payment's "zakaz" named the commit too.
  std::vector<Json::Value> pays = sim.bodiesOf("PayBonus");
  std::vector<Json::Value> commits = sim.bodiesOf("Commit");
  ASSERT_EQ(pays.size(), 1u);
  ASSERT_EQ(commits.size(), 1u);
  EXPECT_FALSE(pays[0]["PayBonus"]["zakaz"].asString().empty());
  EXPECT_EQ(commits[0]["Commit"]["zakaz"], pays[0]["PayBonus"]["zakaz"]);
  EXPECT_TRUE(daemon.stop());
}

}  // namespace
