// Card information messages: reading the POS "CardInfo" block, the body
// posted to the centre, the parsing of the centre's answer, and the proxy
// call against a real HTTP server on loopback.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "interface/cards.h"
#include "interface/message_fields.h"
#include "interface/ws_ctx.h"
#include "support/http_test_server.h"
#include "support/json_text.h"
#include "support/scripted_centre.h"
#include "support/ws_ctx_fixture.h"
#include "util/json_value.h"

namespace {

using interface::cards::Card_Input;
using interface::cards::Card_Output;
using interface::cards::Card_Proxy;
using interface::cards::ui_CardInfo;
using interface::cards::ui_DiscountItem;
using interface::cards::ui_OrderItem;

// ---- Shared readers ----

TEST(SharedReaders, IntegersAndFlagsNeverThrowAndKeepTheDefaultWhenNothingIsThere) {
  struct Case {
    const char* object;  // the JSON text holding member "m"
    bool stores;
    int number;
    bool flag;
  };
  const Case cases[] = {
      {R"({"m":7})", true, 7, false},
      {R"({"m":"1"})", true, 1, true},
      {R"({"m":"yes"})", true, 0, true},
      {R"({"m":true})", true, 0, true},
      {R"({"m":"x"})", true, 0, false},
      {R"({})", false, 0, false},
      {R"({"m":null})", false, 0, false},
      {R"({"m":[1]})", false, 0, false},
      {R"({"m":{"a":1}})", false, 0, false},
      {R"([{"m":1}])", false, 0, false},
      {R"("m")", false, 0, false},
      {"5", false, 0, false},
      {"null", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.object);
    // JsonCpp's own reader: a root that is no object is what is tested here.
    Json::Value object;
    ASSERT_TRUE(Json::Reader().parse(c.object, object));
    int number = -9;
    interface::readInt("m", object, &number);
    EXPECT_EQ(number, c.stores ? c.number : -9);
    // Two defaults, so that a flag that stores is told from one that does not.
    for (bool initial : {false, true}) {
      bool flag = initial;
      interface::readFlag("m", object, &flag);
      EXPECT_EQ(flag, c.stores ? c.flag : initial);
    }
  }
}

// ---- Body building ----

struct BodyCase {
  const char* name;
  const char* request;  // the POS request block
  bool zero_fill;
  unsigned id_length;
  const char* body;  // the exact body text, without the final line feed
};

const BodyCase kBodyCases[] = {
    {"one line with a sum, one priced by count",
     R"({"CardInfo":{"CardNum":"777","Check":[
          {"art":"A1","sum":"10"},
          {"art":"B2","price":"2.5","cnt":"2"}]}})",
     false, 0,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","id":"A1","pos":"1","sum":"10.00"},)"
     R"({"flag_good":"good","id":"B2","pos":"2","price":"2.50","volume":"2.00"}],)"
     R"("cardnum":"777","qr_code":"","qr_type":"mf","sum":"15.00"}})"},
    {"the POS sum replaces the total unchanged",
     R"({"CardInfo":{"CardNum":"777","sum":14,"Check":[
          {"art":"A1","sum":"10"},
          {"art":"B2","price":"2.5","cnt":"2"}]}})",
     false, 0,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","id":"A1","pos":"1","sum":"10.00"},)"
     R"({"flag_good":"good","id":"B2","pos":"2","price":"2.50","volume":"2.00"}],)"
     R"("cardnum":"777","qr_code":"","qr_type":"mf","sum":"14"}})"},
    {"gsm put in front only when missing; flag 1 is no gsm line",
     R"({"CardInfo":{"CardNum":"7","Check":[
          {"art":"123","flag":0},
          {"art":"gsm123","flag":0},
          {"art":"123","flag":1}]}})",
     false, 0,
     R"({"CardInfo":{"articul_list":[{"flag_good":"gsm","id":"gsm123","pos":"1"},)"
     R"({"flag_good":"gsm","id":"gsm123","pos":"2"},{"flag_good":"good","id":"123","pos":"3"}],)"
     R"("cardnum":"7","qr_code":"","qr_type":"mf"}})"},
    {"zero-filled to width 8, longer codes never cut",
     R"({"CardInfo":{"CardNum":"7","Check":[{"art":"123"},{"art":"123456789"}]}})", true, 8,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","id":"00000123","pos":"1"},)"
     R"({"flag_good":"good","id":"123456789","pos":"2"}],"cardnum":"7","qr_code":"","qr_type":"mf"}})"},
    {"a width without zero_fill changes nothing",
     R"({"CardInfo":{"CardNum":"7","Check":[{"art":"123"}]}})", false, 8,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","id":"123","pos":"1"}],)"
     R"("cardnum":"7","qr_code":"","qr_type":"mf"}})"},
    {"a QR code without a type is a qr", R"({"CardInfo":{"CardNum":"7","qr_code":"Q-1"}})", false,
     0, R"({"CardInfo":{"articul_list":[],"cardnum":"7","qr_code":"Q-1","qr_type":"qr"}})"},
    {"a given QR type is kept", R"({"CardInfo":{"CardNum":"7","qr_type":"xy"}})", false, 0,
     R"({"CardInfo":{"articul_list":[],"cardnum":"7","qr_code":"","qr_type":"xy"}})"},
    {"sale_price replaces price, intid replaces the position, title sent",
     R"({"CardInfo":{"CardNum":"7","Check":[
          {"intid":"L9","art":"5","title":"Tea","price":"3","sale_price":"2","cnt":"1.5"}]}})",
     false, 0,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","id":"5","pos":"L9","price":"2.00",)"
     R"("title":"Tea","volume":"1.50"}],"cardnum":"7","qr_code":"","qr_type":"mf","sum":"3.00"}})"},
    {"texts that do not parse leave their keys out and count as 0",
     R"({"CardInfo":{"CardNum":"7","Check":[{"price":"abc","cnt":"2","sum":"x"},{}]}})", false, 0,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","pos":"1","volume":"2.00"},)"
     R"({"flag_good":"good","pos":"2"}],"cardnum":"7","qr_code":"","qr_type":"mf"}})"},
    {"inf and nan are no amounts",
     R"({"CardInfo":{"CardNum":"7","Check":[{"cnt":"inf","price":"nan","sum":"-inf"}]}})", false, 0,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","pos":"1"}],)"
     R"("cardnum":"7","qr_code":"","qr_type":"mf"}})"},
    {"a total of 0 or less sends no sum",
     R"({"CardInfo":{"CardNum":"7","Check":[{"art":"1","sum":"-4"}]}})", false, 0,
     R"({"CardInfo":{"articul_list":[{"flag_good":"good","id":"1","pos":"1","sum":"-4.00"}],)"
     R"("cardnum":"7","qr_code":"","qr_type":"mf"}})"},
};

TEST(CardBody, IsBuiltFromTheRequest) {
  for (const BodyCase& c : kBodyCases) {
    SCOPED_TRACE(c.name);
    Card_Input input;
    input.zero_fill = c.zero_fill;
    input.id_length = c.id_length;
    ASSERT_EQ(input.readRequest(ParseJson(c.request)), 0);
    EXPECT_EQ(input.serialize(), std::string(c.body) + "\n");
    EXPECT_TRUE(input.request_text.empty()) << "serialize does not store the body";
  }
}

TEST(CardBody, ATotalPastTheRangeOfADoubleIsNotSent) {
  Card_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(R"({"CardInfo":{"CardNum":"7","Check":[
      {"price":"1e300","cnt":"1e300"}]}})")),
            0);
  const Json::Value body = ParseJson(input.serialize());
  const Json::Value& info = body["CardInfo"];
  EXPECT_FALSE(info.isMember("sum"));
  ASSERT_EQ(info["articul_list"].size(), 1u);
  EXPECT_EQ(info["articul_list"][0]["volume"].asString().substr(0, 4), "1000");
}

TEST(CardBody, FieldsSetByHandStillGetTheirDefaults) {
  // Without readRequest there is no line list: no "articul_list", no "sum".
  Card_Input input;
  input.cardnum = "9";
  input.sum = "14";
  EXPECT_EQ(input.serialize(),
            "{\"CardInfo\":{\"cardnum\":\"9\",\"qr_code\":\"\",\"qr_type\":\"mf\"}}\n");
  input.qr_code = "Q";
  EXPECT_EQ(input.serialize(),
            "{\"CardInfo\":{\"cardnum\":\"9\",\"qr_code\":\"Q\",\"qr_type\":\"qr\"}}\n");
}

// ---- Validation ----

TEST(CardRequest, ChecksTheBlockAndTheCardNumber) {
  struct Case {
    const char* name;
    std::string request;
    int code;
  };
  const std::string twenty(20, '1');
  std::string cyrillic10;
  for (int i = 0; i < 10; ++i) cyrillic10 += "Ж";
  const Case cases[] = {
      {"no CardInfo", R"({"Connect":{}})", 3},
      {"CardInfo null", R"({"CardInfo":null})", 3},
      {"CardInfo an array", R"({"CardInfo":[{"CardNum":"1"}]})", 3},
      {"CardInfo a text", R"({"CardInfo":"1"})", 3},
      {"CardNum absent", R"({"CardInfo":{"Card":"C"}})", 25},
      {"CardNum empty", R"({"CardInfo":{"CardNum":""}})", 25},
      {"CardNum null", R"({"CardInfo":{"CardNum":null}})", 25},
      {"CardNum an object", R"({"CardInfo":{"CardNum":{"a":1}}})", 25},
      {"20 bytes", R"({"CardInfo":{"CardNum":")" + twenty + R"("}})", 0},
      {"21 bytes", R"({"CardInfo":{"CardNum":")" + twenty + R"(1"}})", 27},
      // Bytes, not letters: a Cyrillic letter takes two.
      {"ten Cyrillic letters", R"({"CardInfo":{"CardNum":")" + cyrillic10 + R"("}})", 0},
      {"ten Cyrillic letters and a digit", R"({"CardInfo":{"CardNum":")" + cyrillic10 + R"(1"}})",
       27},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Card_Input input;
    EXPECT_EQ(input.readRequest(ParseJson(c.request)), c.code);
    EXPECT_EQ(input.items != nullptr, c.code == 0);
  }
  // A request block that is no object holds no "CardInfo" either.
  Json::Value array(Json::arrayValue);
  array.append(ParseJson(R"({"CardInfo":{"CardNum":"1"}})"));
  for (const Json::Value& block :
       {array, Json::Value(12), Json::Value("CardInfo"), Json::Value()}) {
    Card_Input input;
    EXPECT_EQ(input.readRequest(block), 3);
  }
}

TEST(CardRequest, ReadsTheCardAndChequeFields) {
  Card_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(R"({"CardInfo":{"CardNum":123456,"Card":"C-1",
      "CheckId":"ID7","CheckNum":42,"qr_code":"Q","qr_type":"t","sum":"9.5"}})")),
            0);
  EXPECT_EQ(input.cardnum, "123456");
  EXPECT_EQ(input.card, "C-1");
  EXPECT_EQ(input.check_id, "ID7");
  EXPECT_EQ(input.check_num, "42");
  EXPECT_EQ(input.qr_code, "Q");
  EXPECT_EQ(input.qr_type, "t");
  EXPECT_EQ(input.sum, "9.5");
  ASSERT_NE(input.items, nullptr);
  EXPECT_TRUE(input.items->empty());
}

TEST(CardRequest, OddCheckElementsAreSkippedButKeepTheirPlace) {
  Card_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(R"({"CardInfo":{"CardNum":"1","Check":[
      5, {"art":"a"}, null, "text", [1,2], {"art":"b","intid":"X"}, true, {"art":{"x":1},"cnt":[1]}]}})")),
            0);
  ASSERT_NE(input.items, nullptr);
  ASSERT_EQ(input.items->size(), 3u);
  const char* positions[] = {"2", "X", "8"};
  const char* arts[] = {"a", "b", ""};
  for (std::size_t i = 0; i < 3; ++i) {
    const ui_OrderItem* line = input.items->at(i);
    ASSERT_NE(line, nullptr);
    ASSERT_TRUE(line->intid.has_value());
    EXPECT_EQ(*line->intid, positions[i]);
    EXPECT_EQ(line->art, arts[i]);
  }
  EXPECT_EQ(input.items->at(2)->cnt, "") << "a container member is no quantity";
}

TEST(CardRequest, CheckThatIsNoArrayGivesAnEmptyList) {
  for (const char* check : {R"({"art":"1"})", R"("1")", "7", "null"}) {
    SCOPED_TRACE(check);
    Card_Input input;
    ASSERT_EQ(input.readRequest(
                  ParseJson(std::string(R"({"CardInfo":{"CardNum":"1","Check":)") + check + "}}")),
              0);
    ASSERT_NE(input.items, nullptr);
    EXPECT_TRUE(input.items->empty());
  }
}

TEST(CardRequest, LineKindFromTheFlag) {
  struct Case {
    const char* flag;  // the member's JSON text; null when absent
    int kind;
  };
  const Case cases[] = {
      {"0", 1},
      {"1", 2},
      {"2", 3},
      {"3", 0},
      {"-1", 0},
      {nullptr, 0},
      {"null", 0},
      {"\"2\"", 3},
      {"2.7", 3},
      {"[0]", 0},
      {"{\"a\":0}", 0},
      // A text that holds no number reads as flag 0, as every integer field.
      {"\"abc\"", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag ? c.flag : "(absent)");
    std::string line = R"({"art":"9")";
    if (c.flag) line += std::string(R"(,"flag":)") + c.flag;
    line += "}";
    Card_Input input;
    ASSERT_EQ(input.readRequest(ParseJson(R"({"CardInfo":{"CardNum":"1","Check":[)" + line + "]}}")),
              0);
    ASSERT_EQ(input.items->size(), 1u);
    EXPECT_EQ(input.items->at(0)->kind, c.kind);
    EXPECT_EQ(input.items->at(0)->art, c.kind == 1 ? "gsm9" : "9");
  }
}

TEST(CardRequest, AFailedReadIsFollowedByAGoodOne) {
  Card_Input input;
  ASSERT_EQ(
      input.readRequest(ParseJson(R"({"CardInfo":{"CardNum":"1","Check":[{"art":"a"},{"art":"b"}]}})")),
      0);
  EXPECT_EQ(input.readRequest(ParseJson(R"({"CardInfo":{"CardNum":""}})")), 25);
  EXPECT_EQ(input.cardnum, "") << "the card number of a refused request is not kept";
  EXPECT_EQ(input.readRequest(ParseJson(R"({"CardInfo":{"CardNum":"2","Check":[{"art":"c"}]}})")), 0);
  EXPECT_EQ(input.cardnum, "2");
  ASSERT_EQ(input.items->size(), 1u) << "the new list replaces the old one";
  EXPECT_EQ(input.items->at(0)->art, "c");
  EXPECT_EQ(input.qr_type, "mf");
}

// ---- Answer parsing ----

TEST(CardAnswer, ReadsTheCardRecordAndTheDiscounts) {
  Card_Output output;
  ASSERT_EQ(output.deserialize(R"({"CardInfo":{"err":"0","errmsg":"OK","message":"not here",
      "articul":"111;222","status":"active","sum_max":"150.5","sum_min":"10","max_score":"300",
      "articul_discount":[{"id":"gsm42","discount":"5"},{"id":"gsm","discount":"9"},
                          {"id":"7"},3,null,"gsm1",[{"id":"8"}],{"discount":"1"}]}})"),
            0);
  EXPECT_EQ(output.err, "0");
  EXPECT_EQ(output.errmsg, "OK");
  EXPECT_EQ(output.message, "") << "this family carries no message";
  EXPECT_EQ(output.articul, "111;222");
  EXPECT_EQ(output.status_letter, "A");

  ASSERT_NE(output.cards, nullptr);
  ASSERT_EQ(output.cards->size(), 1u);
  const ui_CardInfo& card = *output.cards->at(0);
  EXPECT_EQ(card.status, "active");
  EXPECT_EQ(card.type, "b");
  ASSERT_TRUE(card.points && card.sum_max && card.sum_min && card.max_score);
  EXPECT_EQ(*card.points, "150.5");
  EXPECT_EQ(*card.sum_max, "150.5");
  EXPECT_EQ(*card.sum_min, "10");
  EXPECT_EQ(*card.max_score, "300");
  EXPECT_FALSE(card.id || card.discount || card.reason_block || card.tier_name);
  EXPECT_EQ(card.cardnum, "");
  EXPECT_EQ(card.card, "");

  ASSERT_NE(output.discounts, nullptr);
  ASSERT_EQ(output.discounts->size(), 2u);
  const ui_DiscountItem& first = *output.discounts->at(0);
  const ui_DiscountItem& second = *output.discounts->at(1);
  EXPECT_EQ(first.id, "42");
  EXPECT_EQ(first.discount, "5");
  EXPECT_EQ(second.id, "7");
  EXPECT_EQ(second.discount, "");
}

TEST(CardAnswer, CardRecordDefaultsAndStatusLetters) {
  struct Case {
    const char* answer;
    const char* letter;
    const char* status;
    const char* type;
    bool amounts;  // sum_max/points present
  };
  const Case cases[] = {
      {R"({"CardInfo":{}})", "", "", "b", false},
      {R"({"CardInfo":{"status":"","type":""}})", "", "", "b", false},
      {R"({"CardInfo":{"status":"blocked","type":"s","sum_max":0}})", "B", "blocked", "s", true},
      {R"({"CardInfo":{"status":7,"type":{"x":1},"sum_max":[1]}})", "7", "7", "b", false},
      // A Cyrillic status gives its whole first letter, not half of it.
      {R"({"CardInfo":{"status":"Активна"}})", "А", "Активна", "b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    Card_Output output;
    ASSERT_EQ(output.deserialize(c.answer), 0);
    EXPECT_EQ(output.status_letter, c.letter);
    ASSERT_NE(output.cards, nullptr);
    ASSERT_EQ(output.cards->size(), 1u);
    EXPECT_EQ(output.cards->at(0)->status, c.status);
    EXPECT_EQ(output.cards->at(0)->type, c.type);
    EXPECT_EQ(output.cards->at(0)->sum_max.has_value(), c.amounts);
    EXPECT_EQ(output.cards->at(0)->points.has_value(), c.amounts);
    EXPECT_EQ(output.discounts, nullptr);
  }
}

TEST(CardAnswer, DiscountListsWithoutAUsableItemLeaveNone) {
  for (const char* discounts : {"[]", "[1,null,2.5]", R"([{"id":"gsm"},{"id":""},{}])",
                                R"({"id":"1"})", R"("gsm1")", "null"}) {
    SCOPED_TRACE(discounts);
    Card_Output output;
    ASSERT_EQ(
        output.deserialize(std::string(R"({"CardInfo":{"articul_discount":)") + discounts + "}}"),
        0);
    EXPECT_EQ(output.discounts, nullptr);
    EXPECT_NE(output.cards, nullptr);
  }
}

TEST(CardAnswer, BrokenAnswersGiveTheirCodesAndLeaveNoRecords) {
  struct Case {
    std::string answer;
    int code;
  };
  const Case cases[] = {
      {"", 14},
      {"<html>busy</html>", 5},
      {R"({"CardInfo":)", 5},
      {"{}", 3},
      {R"({"Connect":{"err":"0"}})", 3},
      {R"({"CardInfo":null})", 3},
      {R"({"CardInfo":[{"status":"active"}]})", 3},
      {R"({"CardInfo":"active"})", 3},
      {R"({"CardInfo":12})", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    Card_Output output;
    EXPECT_EQ(output.deserialize(c.answer), c.code);
    EXPECT_EQ(output.cards, nullptr);
    EXPECT_EQ(output.discounts, nullptr);
    EXPECT_EQ(output.status_letter, "");
  }
}

TEST(CardAnswer, ALaterAnswerReplacesTheRecordsOfAnEarlierOne) {
  Card_Output output;
  ASSERT_EQ(
      output.deserialize(
          R"({"CardInfo":{"status":"active","articul_discount":[{"id":"1","discount":"2"}]}})"),
      0);
  ASSERT_NE(output.discounts, nullptr);
  // A broken answer keeps what the last good one left.
  EXPECT_EQ(output.deserialize("not json"), 5);
  EXPECT_NE(output.discounts, nullptr);
  EXPECT_EQ(output.status_letter, "A");

  output.response_text = R"({"CardInfo":{"status":"closed","type":"v"}})";
  ASSERT_EQ(output.deserialize(), 0);
  EXPECT_EQ(output.status_letter, "C");
  EXPECT_EQ(output.discounts, nullptr) << "no discounts of an earlier answer";
  ASSERT_EQ(output.cards->size(), 1u);
  EXPECT_EQ(output.cards->at(0)->type, "v");
}

// ---- The proxy call ----

const char kCardRequest[] =
    R"({"CardInfo":{"CardNum":"2000111","Card":"C-9","Check":[{"art":"77","price":"4","cnt":"3"}]}})";

TEST(CardProxy, PostsTheBodyAndCompletesTheCardRecord) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"CardInfo":{"err":"0","status":"active","sum_max":"12"}})");
  CtxPtr ctx = NewCtx(centre.url());
  Card_Proxy proxy(ctx.get());
  Card_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(kCardRequest)), 0);
  Card_Output output;

  EXPECT_EQ(proxy.getCardInfo(&input, &output), 0);
  const std::string body =
      R"({"CardInfo":{"articul_list":[{"flag_good":"good","id":"77","pos":"1","price":"4.00",)"
      R"("volume":"3.00"}],"cardnum":"2000111","qr_code":"","qr_type":"mf","sum":"12.00"}})"
      "\n";
  EXPECT_EQ(input.request_text, body);
  ASSERT_EQ(centre.bodies().size(), 1u);
  EXPECT_EQ(centre.bodies()[0], body);
  EXPECT_EQ(output.err, "0");
  ASSERT_NE(output.cards, nullptr);
  EXPECT_EQ(output.cards->at(0)->cardnum, "2000111");
  EXPECT_EQ(output.cards->at(0)->card, "C-9");
  EXPECT_EQ(*output.cards->at(0)->points, "12");
}

TEST(CardProxy, TheCentresOwnRefusalStillCompletesTheRecord) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"CardInfo":{"err":"4","errmsg":"Card blocked"}})");
  CtxPtr ctx = NewCtx(centre.url());
  Card_Proxy proxy(ctx.get());
  Card_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(kCardRequest)), 0);
  Card_Output output;
  EXPECT_EQ(proxy.getCardInfo(&input, &output), 0) << "the runner judges the centre's result";
  EXPECT_EQ(output.err, "4");
  EXPECT_EQ(output.errmsg, "Card blocked");
  ASSERT_NE(output.cards, nullptr);
  EXPECT_EQ(output.cards->at(0)->cardnum, "2000111");
}

TEST(CardProxy, FailedCallsLeaveTheirCodeAndNoRecord) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  struct Case {
    const char* answer;
    int code;
    const char* errmsg;
  };
  const Case cases[] = {
      {"", 14, "Данные отсутствуют"},
      {"busy", 5, "Ошибка в формате данных ответа"},
      {R"({"CardInfo":[]})", 3, "Отсутствует необходимый блок данных"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    centre.answer(c.answer);
    CtxPtr ctx = NewCtx(centre.url());
    Card_Proxy proxy(ctx.get());
    Card_Input input;
    ASSERT_EQ(input.readRequest(ParseJson(kCardRequest)), 0);
    Card_Output output;
    EXPECT_EQ(proxy.getCardInfo(&input, &output), c.code);
    EXPECT_EQ(output.err, std::to_string(c.code));
    EXPECT_EQ(output.errmsg, c.errmsg);
    EXPECT_EQ(output.response_text, c.answer);
    EXPECT_EQ(output.cards, nullptr);
  }
}

TEST(CardProxy, RefusesWithoutMessagesOrUrlAndSendsNothing) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"CardInfo":{"err":"0"}})");
  CtxPtr ctx = NewCtx(centre.url());
  Card_Proxy proxy(ctx.get());
  Card_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(kCardRequest)), 0);
  Card_Output output;

  EXPECT_EQ(proxy.getCardInfo(&input, nullptr), 13);
  EXPECT_EQ(proxy.getCardInfo(nullptr, &output), 13);
  EXPECT_EQ(ctx->error, 13u);
  CtxPtr noUrl = NewCtx("");
  Card_Proxy lost(noUrl.get());
  EXPECT_EQ(lost.getCardInfo(&input, &output), 20);

  EXPECT_TRUE(centre.bodies().empty());
  EXPECT_EQ(input.request_text, "") << "no body is built for a call that cannot be made";
  EXPECT_EQ(output.err, "");
  EXPECT_EQ(output.cards, nullptr);
}

}  // namespace
