// The proxy side of the message model: posting a body through the call
// context with retries, and judging the answer.
#include <cctype>

#include "interface/message_base.h"
#include "util/convert.h"

namespace interface {

namespace {

// The working code before the first call of a series; an empty answer turns
// it into 14, so it never reaches a caller.
const int kNotPosted = 2;

// _stoi's status for a number beyond the int range.
const int kOutOfRange = -2;

}  // namespace

int readCentreCode(const std::string& err, std::string* code) {
  int value = 0;
  const int status = _stoi(err, &value, nullptr, 10);
  if (status == 0) {
    *code = n2str(value);
    return value == 0 ? CENTRE_SUCCESS : CENTRE_REFUSAL;
  }
  if (status != kOutOfRange) return CENTRE_NO_CODE;
  // Too big for an int, so certainly not 0: the digits as the centre sent
  // them, in the decimal form a fitting code would have.
  std::size_t pos = 0;
  while (pos < err.size() && std::isspace(static_cast<unsigned char>(err[pos]))) ++pos;
  std::string digits;
  if (pos < err.size() && (err[pos] == '-' || err[pos] == '+')) {
    if (err[pos] == '-') digits = "-";
    ++pos;
  }
  while (pos < err.size() && err[pos] == '0') ++pos;
  while (pos < err.size() && std::isdigit(static_cast<unsigned char>(err[pos]))) digits += err[pos++];
  *code = digits;
  return CENTRE_REFUSAL;
}

ProxyInterfaces::~ProxyInterfaces() { ProxyDestroy(); }

void ProxyInterfaces::destroy() { wsctx_destroy(ctx); }

void ProxyInterfaces::reset() {
  destroy();
  wsctx_init(ctx);
}

void ProxyInterfaces::ws_noheader() {
  if (ctx != nullptr) ctx->header = nullptr;
}

WS_Header* ProxyInterfaces::ws_header() { return wsctx_header(ctx); }

WS_Fault* ProxyInterfaces::ws_fault() { return wsctx_fault(ctx); }

const char* ProxyInterfaces::ws_faultstring() { return wsctx_faultstring(ctx); }

int ProxyInterfaces::ws_faultcode() { return wsctx_faultcode(ctx); }

void ProxyInterfaces::ProxyInit(WS_ctx* context) {
  ctx = context;
  owns_ctx = false;
}

void ProxyInterfaces::ProxyDestroy() {
  if (owns_ctx) wsctx_free(ctx);
  ctx = nullptr;
  owns_ctx = false;
}

int ProxyInterfaces::postRequest(InputInterfaces& input, std::string* response) {
  if (input.request_text.empty()) input.request_text = input.serialize();
  const std::string& body = input.request_text;
  response->clear();
  int code = kNotPosted;
  while (!wsctx_outof_retries(ctx) && code != WS_OK) {
    code = wsctx_run(ctx, body, *response, nullptr);
    if (code == WS_ERR_NO_CONTEXT || code == WS_ERR_NO_URL || code == WS_ERR_EMPTY) break;
  }
  return code;
}

int ProxyInterfaces::callService(InputInterfaces* input, OutputInterfaces* output) {
  if (input == nullptr || output == nullptr) return wsctx_error(ctx, WS_ERR_NO_MESSAGES);
  if (wsctx_endpoint(ctx) == nullptr) return wsctx_error(ctx, WS_ERR_NO_URL);
  std::string response;
  int code = postRequest(*input, &response);
  output->response_text = response;
  int parsed = output->deserialize(response);
  if (parsed != 0) {
    output->err = n2str(parsed);
    output->errmsg = deserializeErrorText(parsed);
    code = parsed;
  }
  return code;
}

}  // namespace interface
