// Call contexts made by the tests, released with wsctx_free.
#ifndef NORVALEN_TESTS_SUPPORT_WS_CTX_FIXTURE_H_
#define NORVALEN_TESTS_SUPPORT_WS_CTX_FIXTURE_H_

#include <memory>
#include <string>

#include "interface/ws_ctx.h"

struct CtxFree {
  void operator()(WS_ctx* ctx) const { wsctx_free(ctx); }
};
using CtxPtr = std::unique_ptr<WS_ctx, CtxFree>;

// A new context posting to `url` (none when empty) with a fresh series of
// `maxAttempts`.
inline CtxPtr NewCtx(const std::string& url, int maxAttempts = 3) {
  CtxPtr ctx(wsctx_new());
  if (!url.empty()) wsctx_set_endpoint(ctx.get(), url.c_str());
  ctx->max_attempts = maxAttempts;
  wsctx_reset_counter(ctx.get());
  return ctx;
}

#endif  // NORVALEN_TESTS_SUPPORT_WS_CTX_FIXTURE_H_
