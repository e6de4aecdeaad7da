// MessageSet: the proxy, request and response objects of the last call of
// one operation kind, owned by the runner.
#ifndef NORVALEN_RUNNER_MESSAGE_SET_H_
#define NORVALEN_RUNNER_MESSAGE_SET_H_

#include <memory>

struct WS_ctx;

template <typename Proxy, typename Input, typename Output>
struct MessageSet {
  std::unique_ptr<Proxy> proxy;
  std::unique_ptr<Input> input;
  std::unique_ptr<Output> output;

  // A new set posting through `ctx`, replacing the previous one.
  void create(WS_ctx* ctx) {
    clear();
    proxy.reset(new Proxy(ctx));
    input.reset(new Input());
    output.reset(new Output());
  }
  void clear() {
    input.reset();
    output.reset();
    proxy.reset();
  }
};

#endif  // NORVALEN_RUNNER_MESSAGE_SET_H_
