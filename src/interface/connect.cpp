#include "interface/connect.h"

#include "interface/message_fields.h"
#include "util/json_value.h"

namespace interface {
namespace connect {

namespace {

const char kRoot[] = "Connect";
const char kBadAnswerText[] = "Неправильный формат данных";

}  // namespace

Connection_Input::Connection_Input() { Connection_Input::ws_default(nullptr); }

void Connection_Input::ws_default(WS_ctx* context) { ws_base_default(context); }

int Connection_Input::readRequest(const Json::Value& block) {
  return memberObject(block, kRoot) != nullptr ? 0 : WS_ERR_NO_BLOCK;
}

Json::Value Connection_Input::buildBody() {
  Json::Value body(Json::objectValue);
  body[kRoot] = Json::Value(Json::objectValue);
  return body;
}

Connection_Output::Connection_Output() { Connection_Output::ws_default(nullptr); }

void Connection_Output::ws_default(WS_ctx* context) { ws_base_default(context); }

int Connection_Output::deserialize(const std::string& text) {
  Json::Value block;
  int rc = parseBlock(text, kRoot, &block);
  if (rc != 0) return rc;
  readText("err", block, &err);
  readText("errmsg", block, &errmsg);
  return 0;
}

Connection_Proxy::Connection_Proxy(WS_ctx* context) { ProxyInit(context); }

Connection_Proxy::~Connection_Proxy() = default;

int Connection_Proxy::getConnectionCheck(Connection_Input* input, Connection_Output* output) {
  if (wsctx_endpoint(ctx) == nullptr) return wsctx_error(ctx, WS_ERR_NO_URL);
  if (input == nullptr) return wsctx_error(ctx, WS_ERR_EMPTY);
  if (output == nullptr) return wsctx_error(ctx, WS_ERR_NO_MESSAGES);

  std::string response;
  int code = postRequest(*input, &response);

  // JSON that is no object (null, an array, a scalar) holds no answer of
  // the centre's: it is judged as text that is not JSON.
  Json::Value answer;
  if (response.empty() || !JsonParse(response, answer) || !answer.isObject()) {
    output->err = std::to_string(WS_ERR_NOT_JSON);
    output->errmsg = kBadAnswerText;
    return wsctx_error(ctx, WS_ERR_NOT_JSON);
  }
  output->response_text = response;
  readText("err", answer, &output->err);
  readText("errmsg", answer, &output->errmsg);
  return code;
}

}  // namespace connect
}  // namespace interface
