// Connection check: asks the processing centre whether it answers at all.
// The body is {"Connect":{}} unless the caller hands in its own value
// through serialize(const Json::Value&); the centre answers "err" and
// "errmsg" at the top level of a JSON object.
#ifndef NORVALEN_INTERFACE_CONNECT_H_
#define NORVALEN_INTERFACE_CONNECT_H_

#include <string>

#include "interface/message_base.h"

namespace interface {
namespace connect {

class Connection_Input : public InputInterfaces {
 public:
  Connection_Input();
  void ws_default(WS_ctx* ctx) override;
  // 3 when the block's "Connect" is absent, null or not an object; stores
  // nothing.
  int readRequest(const Json::Value& block) override;

 protected:
  Json::Value buildBody() override;
};

// err and errmsg carry the centre's answer.
class Connection_Output : public OutputInterfaces {
 public:
  Connection_Output();
  void ws_default(WS_ctx* ctx) override;
  // The common answer steps with the root "Connect", then "err" and
  // "errmsg" inside it. The proxy reads the top level instead and does not
  // call this.
  int deserialize(const std::string& text) override;
  using OutputInterfaces::deserialize;
};

class Connection_Proxy : public ProxyInterfaces {
 public:
  explicit Connection_Proxy(WS_ctx* ctx);
  ~Connection_Proxy() override;

  // 20 without a URL, 14 without an input, 13 without an output (nothing
  // sent). Then the attempt loop; an answer that is not a JSON object (also
  // an empty one, and null, an array or a scalar) gives err "5", errmsg
  // "Неправильный формат данных" and 5.
  // Otherwise the answer is kept in response_text, its top-level "err" and
  // "errmsg" are copied, and the last transport code is returned.
  virtual int getConnectionCheck(Connection_Input* input, Connection_Output* output);
};

}  // namespace connect
}  // namespace interface

#endif  // NORVALEN_INTERFACE_CONNECT_H_
