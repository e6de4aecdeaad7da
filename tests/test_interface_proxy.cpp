// The message base and the proxy call, judged against a real HTTP server on
// loopback: the codes the proxy returns, the error texts it leaves in the
// output, the body it posts, and the connection check's own variant.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interface/connect.h"
#include "interface/message_base.h"
#include "interface/message_fields.h"
#include "interface/ws_ctx.h"
#include "support/http_test_server.h"
#include "support/scripted_centre.h"
#include "support/ws_ctx_fixture.h"
#include "util/json_value.h"

namespace {

using interface::OutputInterfaces;
using interface::connect::Connection_Input;
using interface::connect::Connection_Output;
using interface::connect::Connection_Proxy;

// A family of the smallest kind, built only on the base: it shows what a
// family has to add, and lets the shared proxy call be tested on its own.
class Echo_Input : public interface::InputInterfaces {
 public:
  Echo_Input() { ws_default(nullptr); }
  void ws_default(WS_ctx* context) override { ws_base_default(context); }
  int readRequest(const Json::Value& block) override {
    return interface::memberObject(block, "Echo") != nullptr ? 0 : interface::WS_ERR_NO_BLOCK;
  }
  int builds = 0;

 protected:
  Json::Value buildBody() override {
    ++builds;
    Json::Value body;
    body["Echo"]["build"] = builds;
    return body;
  }
};

class Echo_Output : public interface::ResultOutput {
 public:
  Echo_Output() : ResultOutput("Echo") {}
};

class Echo_Proxy : public interface::ProxyInterfaces {
 public:
  explicit Echo_Proxy(WS_ctx* context) { ProxyInit(context); }
  int getEcho(Echo_Input* input, Echo_Output* output) { return callService(input, output); }
};

// An answer nested far deeper than any JSON reader follows.
const std::string kDeepArrays = std::string(100000, '[') + std::string(100000, ']');

TEST(ProxyCall, JudgesTheAnswer) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  struct Case {
    int status;
    std::string body;
    int code;
    std::string err, errmsg, message;
  };
  const Case cases[] = {
      {200, R"({"Echo":{"err":"0","errmsg":"Принято","message":"Спасибо"}})", 0, "0", "Принято",
       "Спасибо"},
      // The centre's own result is not judged here, whatever the status.
      {500, R"({"Echo":{"err":"7","errmsg":"Отказ"}})", 0, "7", "Отказ", ""},
      {200, R"({"Echo":{"err":"","errmsg":""}})", 0, "", "", ""},
      {200, R"({"Echo":{"err":12}})", 0, "12", "", ""},
      {200, "{}", 3, "3", "Отсутствует необходимый блок данных", ""},
      {200, R"({"Echo":"text"})", 3, "3", "Отсутствует необходимый блок данных", ""},
      {200, R"({"Echo":null})", 3, "3", "Отсутствует необходимый блок данных", ""},
      {200, R"({"Other":{"err":"0"}})", 3, "3", "Отсутствует необходимый блок данных", ""},
      {200, "<html>busy</html>", 5, "5", "Ошибка в формате данных ответа", ""},
      // JSON that is no object is no answer of the centre's either.
      {200, "[]", 5, "5", "Ошибка в формате данных ответа", ""},
      {200, "42", 5, "5", "Ошибка в формате данных ответа", ""},
      {200, "null", 5, "5", "Ошибка в формате данных ответа", ""},
      {200, "true", 5, "5", "Ошибка в формате данных ответа", ""},
      {200, R"("Echo")", 5, "5", "Ошибка в формате данных ответа", ""},
      // Nested deeper than the reader goes: not parsable, not a crash.
      {200, kDeepArrays, 5, "5", "Ошибка в формате данных ответа", ""},
      {200, R"({"Echo":)" + kDeepArrays + "}", 5, "5", "Ошибка в формате данных ответа", ""},
      {200, "", 14, "14", "Данные отсутствуют", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 40));
    centre.answer(c.body, c.status);
    CtxPtr ctx = NewCtx(centre.url());
    Echo_Input input;
    Echo_Output output;
    Echo_Proxy proxy(ctx.get());
    EXPECT_EQ(proxy.getEcho(&input, &output), c.code);
    EXPECT_EQ(output.err, c.err);
    EXPECT_EQ(output.errmsg, c.errmsg);
    EXPECT_EQ(output.message, c.message);
    EXPECT_EQ(output.response_text, c.body);
  }
  // One request per case: each got an answer at the first attempt.
  EXPECT_EQ(centre.bodies().size(), std::size(cases));
}

TEST(ProxyCall, RefusesWithoutMessagesOrUrlAndSendsNothing) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"Echo":{"err":"0"}})");
  CtxPtr ctx = NewCtx(centre.url());
  Echo_Proxy proxy(ctx.get());
  Echo_Input input;
  Echo_Output output;
  EXPECT_EQ(proxy.getEcho(nullptr, &output), 13);
  EXPECT_EQ(proxy.getEcho(&input, nullptr), 13);
  EXPECT_EQ(ctx->error, 13u);

  CtxPtr noUrl = NewCtx("");
  Echo_Proxy lost(noUrl.get());
  EXPECT_EQ(lost.getEcho(&input, &output), 20);
  EXPECT_EQ(noUrl->error, 20u);
  Echo_Proxy none(nullptr);
  EXPECT_EQ(none.getEcho(&input, &output), 20);

  EXPECT_TRUE(centre.bodies().empty());
  EXPECT_EQ(input.builds, 0);
  EXPECT_EQ(output.err, "");
}

TEST(ProxyCall, TransportFailureInEveryAttempt) {
  CtxPtr ctx = NewCtx("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/", 3);
  Echo_Input input;
  Echo_Output output;
  Echo_Proxy proxy(ctx.get());
  EXPECT_EQ(proxy.getEcho(&input, &output), 14);
  EXPECT_EQ(output.err, "14");
  EXPECT_EQ(output.errmsg, "Данные отсутствуют");
  EXPECT_EQ(output.response_text, "");
  EXPECT_EQ(std::string(wsctx_buff(ctx.get())).substr(0, 11), "CURL-00007 ");
  EXPECT_EQ(wsctx_attempt(ctx.get()), 3) << "two requests and the refused third call";
  EXPECT_TRUE(wsctx_outof_retries(ctx.get()));
}

TEST(ProxyCall, BuildsTheBodyOnceAndResendsItUnchanged) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"Echo":{"err":"0"}})");
  CtxPtr ctx = NewCtx(centre.url());
  Echo_Input input;
  Echo_Proxy proxy(ctx.get());

  Echo_Output first;
  EXPECT_EQ(proxy.getEcho(&input, &first), 0);
  EXPECT_EQ(input.request_text, "{\"Echo\":{\"build\":1}}\n");
  wsctx_reset_counter(ctx.get());
  Echo_Output second;
  EXPECT_EQ(proxy.getEcho(&input, &second), 0);
  EXPECT_EQ(input.builds, 1);

  // A body handed in before the call is posted as it is.
  Echo_Input handed;
  handed.request_text = handed.serialize(Json::Value("handed in"));
  wsctx_reset_counter(ctx.get());
  Echo_Output third;
  EXPECT_EQ(proxy.getEcho(&handed, &third), 0);
  EXPECT_EQ(handed.builds, 0);

  const std::vector<std::string> expected = {"{\"Echo\":{\"build\":1}}\n",
                                             "{\"Echo\":{\"build\":1}}\n", "\"handed in\"\n"};
  EXPECT_EQ(centre.bodies(), expected);
}

TEST(ProxyCall, DeserializeFromTheKeptResponse) {
  Echo_Output output;
  output.response_text = R"({"Echo":{"err":"4","message":"Повторите"}})";
  EXPECT_EQ(output.deserialize(), 0);
  EXPECT_EQ(output.err, "4");
  EXPECT_EQ(output.message, "Повторите");
  // Empty members leave what was there.
  EXPECT_EQ(output.deserialize(R"({"Echo":{"err":"","message":null}})"), 0);
  EXPECT_EQ(output.err, "4");
  EXPECT_EQ(output.message, "Повторите");
  output.ws_default(nullptr);
  EXPECT_EQ(output.err, "");
  EXPECT_EQ(output.response_text, "");
}

TEST(ConnectionCheck, BodiesAndRequestBlock) {
  Connection_Input input;
  EXPECT_EQ(input.serialize(), "{\"Connect\":{}}\n");
  EXPECT_EQ(input.request_text, "") << "serialize does not store the body";

  struct Case {
    std::string block;
    int code;
  };
  const Case cases[] = {
      {R"({"Connect":{}})", 0},
      {R"({"Connect":{"x":1},"CardInfo":{}})", 0},
      {R"({"Connect":null})", 3},
      {R"({"Connect":"yes"})", 3},
      {R"({"Connect":[]})", 3},
      {R"({})", 3},
      {R"([1])", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    Json::Value block;
    ASSERT_TRUE(JsonParse(c.block, block));
    EXPECT_EQ(input.readRequest(block), c.code);
  }
}

TEST(ConnectionCheck, OutputDeserializeReadsInsideConnect) {
  struct Case {
    std::string text;
    int code;
    std::string err, errmsg;
  };
  const Case cases[] = {
      {R"({"Connect":{"err":"1","errmsg":"Нет"}})", 0, "1", "Нет"},
      {R"({"err":"0","errmsg":"Есть"})", 3, "", ""},
      {"", 14, "", ""},
      {"{oops", 5, "", ""},
      {"null", 5, "", ""},
      {R"(["Connect"])", 5, "", ""},
      {kDeepArrays, 5, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    Connection_Output output;
    EXPECT_EQ(output.deserialize(c.text), c.code);
    EXPECT_EQ(output.err, c.err);
    EXPECT_EQ(output.errmsg, c.errmsg);
  }
}

TEST(ConnectionCheck, ProxyReadsTheTopLevel) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  struct Case {
    int status;
    std::string body;
    int code;
    std::string err, errmsg, kept;
  };
  const Case cases[] = {
      {200, R"({"err":"0","errmsg":"Сервер доступен"})", 0, "0", "Сервер доступен",
       R"({"err":"0","errmsg":"Сервер доступен"})"},
      {503, R"({"err":"0","errmsg":"Сервер доступен"})", 0, "0", "Сервер доступен",
       R"({"err":"0","errmsg":"Сервер доступен"})"},
      {200, R"({"err":0})", 0, "0", "", R"({"err":0})"},
      // Only the top level counts.
      {200, R"({"Connect":{"err":"1"}})", 0, "", "", R"({"Connect":{"err":"1"}})"},
      {200, "", 5, "5", "Неправильный формат данных", ""},
      {200, "Service Unavailable", 5, "5", "Неправильный формат данных", ""},
      // JSON that is no object says nothing about the centre: not an answer.
      {200, "[1,2]", 5, "5", "Неправильный формат данных", ""},
      {200, "null", 5, "5", "Неправильный формат данных", ""},
      {200, "5", 5, "5", "Неправильный формат данных", ""},
      {200, R"("x")", 5, "5", "Неправильный формат данных", ""},
      {200, "true", 5, "5", "Неправильный формат данных", ""},
      {200, kDeepArrays, 5, "5", "Неправильный формат данных", ""},
      {200, R"({"err":"0","x":)" + kDeepArrays + "}", 5, "5", "Неправильный формат данных", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 40));
    centre.answer(c.body, c.status);
    CtxPtr ctx = NewCtx(centre.url());
    Connection_Input input;
    Connection_Output output;
    Connection_Proxy proxy(ctx.get());
    EXPECT_EQ(proxy.getConnectionCheck(&input, &output), c.code);
    EXPECT_EQ(output.err, c.err);
    EXPECT_EQ(output.errmsg, c.errmsg);
    EXPECT_EQ(output.response_text, c.kept);
  }
  EXPECT_EQ(centre.bodies().front(), "{\"Connect\":{}}\n");
}

TEST(ConnectionCheck, UnreachableCentreAndRefusals) {
  CtxPtr ctx = NewCtx("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/", 2);
  Connection_Input input;
  Connection_Output output;
  Connection_Proxy proxy(ctx.get());
  EXPECT_EQ(proxy.getConnectionCheck(&input, &output), 5);
  EXPECT_EQ(ctx->error, 5u);
  EXPECT_EQ(output.err, "5");
  EXPECT_EQ(output.errmsg, "Неправильный формат данных");
  EXPECT_EQ(output.response_text, "");

  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"err":"0"})");
  CtxPtr live = NewCtx(centre.url());
  Connection_Proxy checker(live.get());
  EXPECT_EQ(checker.getConnectionCheck(nullptr, &output), 14);
  EXPECT_EQ(checker.getConnectionCheck(&input, nullptr), 13);
  CtxPtr noUrl = NewCtx("");
  Connection_Proxy lost(noUrl.get());
  EXPECT_EQ(lost.getConnectionCheck(&input, &output), 20);
  EXPECT_TRUE(centre.bodies().empty());
}

TEST(ConnectionCheck, PostsTheBodyHandedIn) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"err":"0"})");
  CtxPtr ctx = NewCtx(centre.url());
  Json::Value block;
  ASSERT_TRUE(JsonParse(R"({"Connect":{"Terminal":"2"},"CardInfo":{"CardNum":"1"}})", block));
  Connection_Input input;
  input.request_text = input.serialize(block);
  Connection_Output output;
  Connection_Proxy proxy(ctx.get());
  EXPECT_EQ(proxy.getConnectionCheck(&input, &output), 0);
  ASSERT_EQ(centre.bodies().size(), 1u);
  EXPECT_EQ(centre.bodies()[0],
            "{\"CardInfo\":{\"CardNum\":\"1\"},\"Connect\":{\"Terminal\":\"2\"}}\n");
}

// The centre's result code as the operation frame judges it: 0 agrees, any
// other number refuses, also one too big for an int, whose own digits then
// stand in the reply instead of a number it was clamped to.
TEST(CentreCode, LeadingNumberDecidesAndBigCodesKeepTheirDigits) {
  using interface::CENTRE_NO_CODE;
  using interface::CENTRE_REFUSAL;
  using interface::CENTRE_SUCCESS;
  struct Case {
    std::string err;
    int kind;
    std::string code;
  };
  const Case cases[] = {
      {"0", CENTRE_SUCCESS, "0"},
      {" -0 ", CENTRE_SUCCESS, "0"},
      {"0000000000000000000000000", CENTRE_SUCCESS, "0"},
      {"7", CENTRE_REFUSAL, "7"},
      {"+5", CENTRE_REFUSAL, "5"},
      {"12 busy", CENTRE_REFUSAL, "12"},
      {"-2147483648", CENTRE_REFUSAL, "-2147483648"},
      {"2147483648", CENTRE_REFUSAL, "2147483648"},
      {"-2147483649", CENTRE_REFUSAL, "-2147483649"},
      {"99999999999", CENTRE_REFUSAL, "99999999999"},
      {" \t-99999999999 ", CENTRE_REFUSAL, "-99999999999"},
      {"+000099999999999999999999x", CENTRE_REFUSAL, "99999999999999999999"},
      {std::string(600, '9'), CENTRE_REFUSAL, std::string(600, '9')},
      {"", CENTRE_NO_CODE, "kept"},
      {"abc", CENTRE_NO_CODE, "kept"},
      {"-", CENTRE_NO_CODE, "kept"},
      {"- 5", CENTRE_NO_CODE, "kept"},
      {"   ", CENTRE_NO_CODE, "kept"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    std::string code = "kept";
    EXPECT_EQ(interface::readCentreCode(c.err, &code), c.kind);
    EXPECT_EQ(code, c.code);
  }
}

TEST(ProxyBase, NeverReleasesTheContextItWasGiven) {
  CtxPtr ctx = NewCtx("http://centre/");
  {
    Connection_Proxy proxy(ctx.get());
    EXPECT_EQ(proxy.ctx, ctx.get());
    EXPECT_FALSE(proxy.owns_ctx);
  }
  EXPECT_EQ(wsctx_state(ctx.get()), 1);
  EXPECT_STREQ(wsctx_endpoint(ctx.get()), "http://centre/");

  Connection_Proxy proxy(ctx.get());
  proxy.reset();  // destroy(), then a fresh init
  EXPECT_EQ(wsctx_endpoint(ctx.get()), nullptr);
  EXPECT_EQ(ctx->http_status, 501u);
}

}  // namespace
