#include "interface/message_base.h"

#include "interface/message_fields.h"
#include "util/json_value.h"

namespace interface {

const char* deserializeErrorText(int code) {
  switch (code) {
    case WS_ERR_NOT_JSON:
      return "Ошибка в формате данных ответа";
    case WS_ERR_EMPTY:
      return "Данные отсутствуют";
    case WS_ERR_NO_BLOCK:
      return "Отсутствует необходимый блок данных";
    default:
      return "Ошибка обработки полученных данных";
  }
}

std::string InputInterfaces::serialize() { return serialize(buildBody()); }

std::string InputInterfaces::serialize(const Json::Value& body) { return JsonOut(body, false); }

void InputInterfaces::ws_base_default(WS_ctx* context) {
  ctx = context;
  request_text.clear();
}

void OutputInterfaces::ws_base_default(WS_ctx* context) {
  ctx = context;
  response_text.clear();
  err.clear();
  errmsg.clear();
  message.clear();
}

int OutputInterfaces::parseBlock(const std::string& text, const char* root, Json::Value* block) {
  if (text.empty()) return WS_ERR_EMPTY;
  Json::Value answer;
  if (!JsonParse(text, answer) || !answer.isObject()) return WS_ERR_NOT_JSON;
  if (memberObject(answer, root) == nullptr) return WS_ERR_NO_BLOCK;
  block->swap(answer[root]);  // taken over, not copied: answers can be long
  return 0;
}

void OutputInterfaces::readResult(const Json::Value& block) {
  readText("err", block, &err);
  readText("errmsg", block, &errmsg);
  readText("message", block, &message);
}

ResultOutput::ResultOutput(const char* root) : root_(root) { ResultOutput::ws_default(nullptr); }

void ResultOutput::ws_default(WS_ctx* context) { ws_base_default(context); }

int ResultOutput::deserialize(const std::string& text) {
  Json::Value block;
  int rc = parseBlock(text, root_, &block);
  if (rc != 0) return rc;
  readResult(block);
  return 0;
}

}  // namespace interface
