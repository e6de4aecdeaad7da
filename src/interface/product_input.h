// ProductCodeInput: the input base of every family that sends purchase lines
// to the centre (card information, payment, return). It holds how this
// register writes article codes, so the runner sets them once through this
// one interface whatever the family, and it gives the line rules that those
// families share.
#ifndef NORVALEN_INTERFACE_PRODUCT_INPUT_H_
#define NORVALEN_INTERFACE_PRODUCT_INPUT_H_

#include <json/json.h>

#include <string>

#include "interface/message_base.h"

namespace interface {

class ProductCodeInput : public InputInterfaces {
 public:
  // Set by the runner before readRequest, from "ProductIdZeros" and
  // "ProductIdLength".
  bool zero_fill = false;
  unsigned id_length = 0;

  // A line's "id" in the body: `art`, padded on the left with '0' up to
  // id_length bytes when zero_fill is set; never cut.
  std::string productCode(const std::string& art) const;

 protected:
  // ws_base_default, then zero_fill false and id_length 0.
  void product_base_default(WS_ctx* context);
};

// Kinds of a purchase line, from the POS "flag" of the line.
enum {
  LINE_KIND_NONE = 0,  // no flag, or one the centre does not know
  LINE_KIND_GSM = 1,   // flag 0: a "gsm" line (kinds 2 and 3 are flags 1 and 2)
};

// The kind of the line `line` from its integer "flag": 0 gives 1, 1 gives 2,
// 2 gives 3; absent or any other value gives LINE_KIND_NONE.
int readLineKind(const Json::Value& line);

// The body's "flag_good" for a line of `kind`: "gsm" or "good".
const char* flagGood(int kind);

}  // namespace interface

#endif  // NORVALEN_INTERFACE_PRODUCT_INPUT_H_
