#include "interface/product_input.h"

#include <climits>

#include "interface/message_fields.h"
#include "util/convert.h"

namespace interface {

namespace {

const int kNoFlag = -1;
const int kLastKnownFlag = 2;

}  // namespace

std::string ProductCodeInput::productCode(const std::string& art) const {
  if (!zero_fill) return art;
  const int width = id_length > INT_MAX ? INT_MAX : static_cast<int>(id_length);
  return str_left_fill(art, width, '0');
}

void ProductCodeInput::product_base_default(WS_ctx* context) {
  ws_base_default(context);
  zero_fill = false;
  id_length = 0;
}

int readLineKind(const Json::Value& line) {
  int flag = kNoFlag;
  readInt("flag", line, &flag);
  if (flag < 0 || flag > kLastKnownFlag) return LINE_KIND_NONE;
  return flag + 1;
}

const char* flagGood(int kind) { return kind == LINE_KIND_GSM ? "gsm" : "good"; }

}  // namespace interface
