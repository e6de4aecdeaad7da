// Card information through the runner, against the real simulator as the
// centre and a real journal in a temporary directory: the body posted, the
// reply members, validation, failures, the retry path and the card record.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "runner/runner.h"
#include "support/runner_fixture.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {

// A runner asked only for card information.
class CardRunner : public RunnerUnderTest {
 public:
  using RunnerUnderTest::RunnerUnderTest;
  Json::Value ask(const std::string& block, int* result = nullptr) {
    return RunnerUnderTest::ask("CardInfo", block, result);
  }
};

// An answer whose card block carries the centre's success and `members`
// (an object's text without its braces).
std::string answer(const std::string& members) {
  return R"({"root": "CardInfo", "body": {"CardInfo": {"err": "0", "errmsg": "", )" + members +
         "}}}";
}

const char* const kTwoLines = R"({"CardInfo": {"CardNum": "7001", "CheckId": "C1", "CheckNum": "15",
    "Check": [{"art": "123", "price": "2.5", "cnt": "2", "title": "Milk"},
              {"art": "gsm95", "flag": 0, "sum": "10", "cnt": "1"},
              {"art": "777", "flag": 0, "sum": "1"}]}})";

TEST(CardInfo, TheBodyCarriesTheLinesTheirTotalAndPaddedCodes) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  CardRunner card(sim.url(), R"({"ProductIdLength": 8, "ProductIdZeros": true})");
  EXPECT_EQ(card.ask(kTwoLines)["err"], "0");
  std::vector<Json::Value> bodies = sim.bodiesOf("CardInfo");
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(JsonOut(bodies[0], false),
            R"({"CardInfo":{"articul_list":[)"
            R"({"flag_good":"good","id":"00000123","pos":"1","price":"2.50","title":"Milk","volume":"2.00"},)"
            R"({"flag_good":"gsm","id":"000gsm95","pos":"2","sum":"10.00","volume":"1.00"},)"
            R"({"flag_good":"gsm","id":"00gsm777","pos":"3","sum":"1.00"}],)"
            R"("cardnum":"7001","qr_code":"","qr_type":"mf","sum":"16.00"}})"
            "\n")
      << "a line with a sum counts that sum, one without counts price x quantity";
}

TEST(CardInfo, AnswersBecomeTheReplyMembers) {
  struct Case {
    const char* name;
    std::string script;
    const char* expected;  // the reply without "errInfo"
  } cases[] = {
      {"active card with a limit",
       answer(R"("status": "active", "sum_max": "150.5", "articul": "95,98")"),
       R"({"BlockedProducts":"95,98","Bonus":"150.5",)"
       R"("Cards":[{"CardNum":"7001","Points":"150.5","Status":"active","Type":"b"}],)"
       R"("MaxBonus":"150.5","MaxScore":"0.0","MemberStatus":"01","MinBonus":"0.0",)"
       R"("Status":"A","Type":"b","err":"0","errMsg":"Успешное выполнение операции"})"},
      {"no status, limits, a type and discounts",
       answer(R"("sum_min": "1", "max_score": "30", "type": "vip",
                  "articul_discount": [{"id": "gsm42", "discount": "5"}, {"id": "gsm"},
                                       {"id": "", "discount": "9"}, {"id": "43"}, 7, null])"),
       R"({"ArticulDiscount":[{"Discount":"5","Id":"42"},{"Discount":"0","Id":"43"}],)"
       R"("Bonus":"0.0","Cards":[{"CardNum":"7001","Points":"0.0","Status":"","Type":"vip"}],)"
       R"("MaxBonus":"0.0","MaxScore":"30","MemberStatus":"01","MinBonus":"1",)"
       R"("Status":"","Type":"v","err":"0","errMsg":"Успешное выполнение операции"})"},
      {"a refusal keeps the card members",
       R"({"root": "CardInfo", "body": {"CardInfo": {"err": "4", "errmsg": "Карта заблокирована",
           "status": "blocked"}}})",
       R"({"Bonus":"0.0","Cards":[{"CardNum":"7001","Points":"0.0","Status":"blocked","Type":"b"}],)"
       R"("MaxBonus":"0.0","MaxScore":"0.0","MemberStatus":"01","MinBonus":"0.0","Offline":"1",)"
       R"("Status":"B","Type":"b","err":"4","errMsg":"Карта заблокирована"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TavrelSim sim;
    ASSERT_TRUE(sim.start(c.script)) << sim.error();
    CardRunner card(sim.url());
    int result = -2;
    Json::Value reply = card.ask(R"({"CardInfo": {"CardNum": "7001"}})", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(reply["errInfo"], "");
    reply.removeMember("errInfo");
    EXPECT_EQ(JsonOut(reply, false), std::string(c.expected) + "\n");
    EXPECT_EQ(card.runner.getLastCommand(), CMD_CARD_INFO);
  }
}

TEST(CardInfo, ARequestThatDoesNotValidateIsRefusedAndNothingIsSent) {
  struct Case {
    const char* block;
    const char* err;
    const char* errMsg;
  } cases[] = {
      {R"({"CardInfo": {"CardNum": ""}})", "25", "Не указан номер карты"},
      {R"({"CardInfo": {"Check": []}})", "25", "Не указан номер карты"},
      {R"({"CardInfo": {"CardNum": "123456789012345678901"}})", "27", "Неверный формат номера карты"},
      {R"({"CardInfo": 5})", "3", "Неверный формат команды"},
  };
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  CardRunner card(sim.url());
  card.runner.setLastCommand(CMD_PAY_BONUS);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    Json::Value reply = card.ask(c.block);
    EXPECT_EQ(reply["err"], c.err);
    EXPECT_EQ(reply["errMsg"], c.errMsg);
    EXPECT_FALSE(reply.isMember("Offline"));
    EXPECT_EQ(card.runner.getLastCommand(), CMD_CARD_INFO) << "set whatever the outcome";
    ASSERT_NE(card.runner.cardInfo(), nullptr);
    EXPECT_EQ(card.runner.cardInfo()->getCardNum(), nullptr) << "a refused request keeps no card";
  }
  EXPECT_TRUE(sim.bodiesOf("CardInfo").empty());

  // Twenty characters are a card number; numbers and nulls in "Check" are
  // skipped; the next request goes through.
  Json::Value reply =
      card.ask(R"({"CardInfo": {"CardNum": "12345678901234567890", "Check": [5, null, {"art": "1"}]}})");
  EXPECT_EQ(reply["err"], "0");
  std::vector<Json::Value> bodies = sim.bodiesOf("CardInfo");
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(bodies[0]["CardInfo"]["articul_list"].size(), 1u);
  EXPECT_EQ(bodies[0]["CardInfo"]["articul_list"][0]["pos"], "3");
}

TEST(CardInfo, TheCardRecordKeepsTheCardForTheNextOperation) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  CardRunner card(sim.url());
  card.ask(R"({"CardInfo": {"CardNum": "7001", "CheckId": "C9", "CheckNum": "12"}})");
  tavrelCardInfo* kept = card.runner.cardInfo();
  ASSERT_NE(kept, nullptr);
  EXPECT_FALSE(kept->self_owned());
  EXPECT_STREQ(kept->getCardNum(), "7001");
  EXPECT_STREQ(kept->getCardId(), "HASH") << "no \"Card\" in the request";
  EXPECT_STREQ(kept->getChequeId(), "C9");
  EXPECT_STREQ(kept->getChequeNum(), "12");
  EXPECT_EQ(kept->getQRCode(), nullptr);
  EXPECT_STREQ(kept->getQRType(), "mf");

  card.ask(R"({"CardInfo": {"CardNum": "7002", "Card": "K-1", "qr_code": "QR"}})");
  EXPECT_STREQ(kept->getCardNum(), "7002");
  EXPECT_STREQ(kept->getCardId(), "K-1");
  EXPECT_STREQ(kept->getQRCode(), "QR");
  EXPECT_STREQ(kept->getQRType(), "qr");
}

TEST(CardInfo, AnUnreachableCentreIsAFailedAttempt) {
  CardRunner card("http://127.0.0.1:" + std::to_string(FindFreeTcpPort()) + "/");
  int result = 0;
  Json::Value reply = card.ask(R"({"CardInfo": {"CardNum": "7001"}})", &result);
  EXPECT_EQ(result, 14);
  EXPECT_EQ(reply["err"], "14");
  EXPECT_EQ(reply["Offline"], "1");
  EXPECT_EQ(reply["errMsg"], "Отсутствует соединение");
  EXPECT_EQ(reply["errInfo"].asString().rfind("CURL-00007 ", 0), 0u) << reply["errInfo"];
  EXPECT_FALSE(reply.isMember("Cards"));
  EXPECT_FALSE(card.runner.isOnline());
}

TEST(CardInfo, AnUnparsableAnswerIsRetriedAfterAPause) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start(R"({"root": "CardInfo", "body": "not json", "times": 1})")) << sim.error();
  // An attempt limit of 3 allows two requests.
  CardRunner card(sim.url(), R"({"RetryCount": 3})");
  auto started = std::chrono::steady_clock::now();
  Json::Value reply = card.ask(R"({"CardInfo": {"CardNum": "7001"}})");
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(950));
  EXPECT_EQ(reply["err"], "0");
  EXPECT_FALSE(reply.isMember("Offline")) << "the second attempt's answer decides";
  EXPECT_EQ(sim.bodiesOf("CardInfo").size(), 2u);
}

}  // namespace
