// The message model of the processing centre client. Each centre operation
// is a family of three classes: an input that reads the command's part of
// the POS request and builds the JSON body, an output that parses the
// centre's answer, and a proxy that posts the body through a WS_ctx and
// fills the output. Nested data objects derive from ui_object_interface.
//
// A family adds only what differs:
//   input  - ws_default, readRequest, buildBody (the body value; serialize()
//            turns it into the compact text that is posted);
//   output - ResultOutput with the root name when the answer carries only
//            "err", "errmsg", "message"; otherwise its own deserialize built
//            on parseBlock and readResult (plus `using
//            OutputInterfaces::deserialize;` to keep the no-argument form);
//   proxy  - its named call, which forwards to callService.
//
// Codes: 0 success, the transport codes of ws_ctx.h, and those below. None
// of these classes logs or throws; all of them are used inside the
// process-wide operation lock.
#ifndef NORVALEN_INTERFACE_MESSAGE_BASE_H_
#define NORVALEN_INTERFACE_MESSAGE_BASE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <json/json.h>

#include "interface/ws_ctx.h"

namespace interface {

enum {
  WS_ERR_NO_BLOCK = 3,        // the expected JSON block is missing
  WS_ERR_NOT_JSON = 5,        // the answer is not JSON
  WS_ERR_NO_MESSAGES = 13,    // proxy called without an input or an output
  WS_ERR_EMPTY = 14,          // empty answer (or, for the check, no input)
  WS_ERR_NO_CARD = 25,        // no card number in the request
  WS_ERR_CARD_TOO_LONG = 27,  // card number longer than kCardNumMaxBytes
};

// Longest card number that the centre accepts, in bytes.
constexpr std::size_t kCardNumMaxBytes = 20;

// The output's errmsg for a non-zero deserialize result.
const char* deserializeErrorText(int code);

// How the centre's result code (an answer's "err" text) reads. The code is
// the text's leading decimal number: blanks first, an optional sign, then
// digits; what follows the digits is ignored.
enum CentreCodeKind {
  CENTRE_NO_CODE = 0,  // no digits where the number should begin
  CENTRE_SUCCESS = 1,  // the number 0
  CENTRE_REFUSAL = 2,  // any other number, whatever its size
};
// Returns the kind and, unless there is no code, sets *code to the code as
// a reply carries it: the decimal form of a number that fits an int, and
// for one that does not, its own digits (a "-" kept, a "+" and leading
// zeros dropped, as the decimal form would), never a bound it was clamped
// to, which could pass for another code of the centre's.
int readCentreCode(const std::string& err, std::string* code);

class InputInterfaces {
 public:
  virtual ~InputInterfaces() = default;

  virtual void ws_default(WS_ctx* ctx) = 0;
  // Reads the family's member of the POS request block; 0 or a code.
  virtual int readRequest(const Json::Value& block) = 0;
  // The body to post: serialize(buildBody()). Does not store it.
  virtual std::string serialize();
  // The compact text of `body`: JsonOut(body, false).
  virtual std::string serialize(const Json::Value& body);

  WS_ctx* ctx = nullptr;     // borrowed; stays null in the daemon
  std::string request_text;  // the body as posted; empty until built

 protected:
  // The family's body value, root member included.
  virtual Json::Value buildBody() = 0;
  void ws_base_default(WS_ctx* context);
};

class OutputInterfaces {
 public:
  virtual ~OutputInterfaces() = default;

  virtual void ws_default(WS_ctx* ctx) = 0;
  virtual int deserialize(const std::string& text) = 0;
  int deserialize() { return deserialize(response_text); }

  WS_ctx* ctx = nullptr;
  std::string response_text;  // the raw answer as received
  std::string err;
  std::string errmsg;
  std::string message;

 protected:
  void ws_base_default(WS_ctx* context);
  // The common first steps of every answer: 14 for an empty text, 5 for a
  // text that is not JSON or whose value is no object (null, an array, a
  // scalar: no answer of the centre's), 3 when its member `root` is absent,
  // null or not an object; else 0 with *block set.
  static int parseBlock(const std::string& text, const char* root, Json::Value* block);
  // "err", "errmsg" and "message" of `block`, each only when non-empty.
  void readResult(const Json::Value& block);
};

// The output of a family whose answer block carries only the centre's
// result: "err", "errmsg" and "message" under the root member.
class ResultOutput : public OutputInterfaces {
 public:
  // `root` is kept as a pointer: pass a literal.
  explicit ResultOutput(const char* root);
  void ws_default(WS_ctx* ctx) override;
  int deserialize(const std::string& text) override;
  using OutputInterfaces::deserialize;

 private:
  const char* root_;
};

class ProxyInterfaces {
 public:
  virtual ~ProxyInterfaces();

  virtual void destroy();      // wsctx_destroy
  virtual void reset();        // destroy(), then wsctx_init
  virtual void ws_noheader();  // forget the context's header reference
  virtual WS_Header* ws_header();
  virtual WS_Fault* ws_fault();
  virtual const char* ws_faultstring();
  virtual int ws_faultcode();

  WS_ctx* ctx = nullptr;  // the context this proxy posts through
  bool owns_ctx = false;  // never true in the daemon: the runner frees it

 protected:
  void ProxyInit(WS_ctx* context);
  void ProxyDestroy();

  // The call of every family but the connection check:
  //   13 without input or output, 20 without a URL (nothing sent);
  //   otherwise posts the input's body (built once, then resent unchanged)
  //   while attempts are left and no answer came, keeps the answer in
  //   response_text and returns the deserialize code (with err/errmsg set)
  //   or the transport code.
  int callService(InputInterfaces* input, OutputInterfaces* output);

  // The attempt loop: the input's request_text (built by serialize() when
  // empty) posted until a call returns 0, the series ends, or a call returns
  // 18, 20 or 14. *response holds the last answer; returns the last code.
  int postRequest(InputInterfaces& input, std::string* response);
};

class ui_object_interface {
 public:
  // Owned parts are held by value, OptText or std::unique_ptr, so they are
  // released with the object; a concrete class's destructor that must do
  // more calls its own finalize().
  virtual ~ui_object_interface() = default;

  // Binds `ctx` and puts every field back to its default (finalize).
  virtual void ws_default(WS_ctx* ctx) {
    ui_object_Init(ctx);
    finalize();
  }
  // Releases the owned nested objects and optional texts, empties the texts.
  virtual void finalize() = 0;

  WS_ctx* ctx = nullptr;

 protected:
  void ui_object_Init(WS_ctx* context) { ctx = context; }
};

// An ordered list of owned items: the base of ui_OrderList,
// ui_CardInfo_List, ui_DiscountList and ui_OrderItem_List.
template <class Item>
class ui_object_list : public ui_object_interface {
 public:
  ui_object_list() { ui_object_Init(nullptr); }
  void ws_default(WS_ctx* context) override {
    ui_object_Init(context);
    items.clear();
  }
  void finalize() override { items.clear(); }

  void append(std::unique_ptr<Item> item) { items.push_back(std::move(item)); }
  std::size_t size() const { return items.size(); }
  bool empty() const { return items.empty(); }
  Item* at(std::size_t i) const { return i < items.size() ? items[i].get() : nullptr; }

  std::vector<std::unique_ptr<Item>> items;
};

}  // namespace interface

#endif  // NORVALEN_INTERFACE_MESSAGE_BASE_H_
