// The call context's bookkeeping: defaults, URL ownership, copies, error
// codes and the behaviour of a finished context. Transfers are in
// test_interface_transport.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "interface/ws_ctx.h"

namespace {

struct CtxFree {
  void operator()(WS_ctx* ctx) const { wsctx_free(ctx); }
};
using CtxPtr = std::unique_ptr<WS_ctx, CtxFree>;

CtxPtr NewCtx(const char* url = nullptr) {
  CtxPtr ctx(wsctx_new());
  if (url != nullptr) wsctx_set_endpoint(ctx.get(), url);
  return ctx;
}

TEST(WsCtx, NewContextHasTheInitialValues) {
  CtxPtr ctx = NewCtx();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->state, 1);
  EXPECT_EQ(ctx->status, 0u);
  EXPECT_EQ(ctx->error, 0u);
  EXPECT_EQ(ctx->attempt, 0);
  EXPECT_EQ(ctx->retries, 3);
  EXPECT_EQ(ctx->max_attempts, 3);
  EXPECT_EQ(ctx->send_timeout, 20);
  EXPECT_EQ(ctx->recv_timeout, 20);
  EXPECT_EQ(ctx->connect_timeout, 30u);
  EXPECT_EQ(ctx->endpoint, nullptr);
  EXPECT_EQ(ctx->header, nullptr);
  EXPECT_EQ(ctx->fault, nullptr);
  EXPECT_STREQ(ctx->buff, "");
  EXPECT_STREQ(ctx->tmp_buff, "");
  EXPECT_EQ(ctx->tls, 0u);
  EXPECT_EQ(ctx->http_status, 501u);
}

TEST(WsCtx, InitResetsTheSeriesButKeepsUrlTlsAndStatus) {
  CtxPtr ctx = NewCtx("http://centre/");
  const char* url = ctx->endpoint;
  ctx->tls = 1;
  ctx->status = 7;
  ctx->attempt = 5;
  ctx->error = 23;
  std::strcpy(ctx->buff, "CURL-00007 x");
  wsctx_done(ctx.get());
  EXPECT_EQ(wsctx_init(ctx.get()), ctx.get());
  EXPECT_EQ(ctx->state, 1);
  EXPECT_EQ(ctx->attempt, 0);
  EXPECT_EQ(ctx->error, 0u);
  EXPECT_STREQ(ctx->buff, "");
  EXPECT_EQ(ctx->tls, 1u);
  EXPECT_EQ(ctx->status, 7u);
  // wsctx_done released the URL; a URL set before init would have stayed.
  EXPECT_EQ(ctx->endpoint, nullptr);
  wsctx_set_endpoint(ctx.get(), "http://other/");
  url = ctx->endpoint;
  wsctx_init(ctx.get());
  EXPECT_EQ(ctx->endpoint, url);
  EXPECT_EQ(wsctx_init(nullptr), nullptr);
}

TEST(WsCtx, SetEndpointKeepsStorageForTheSameTextAndClearsTheError) {
  CtxPtr ctx = NewCtx("http://centre/a");
  const char* first = wsctx_endpoint(ctx.get());
  ctx->error = 9;
  EXPECT_EQ(wsctx_set_endpoint(ctx.get(), "http://centre/a"), 0);
  EXPECT_EQ(wsctx_endpoint(ctx.get()), first);
  EXPECT_EQ(ctx->error, 0u);

  std::string other = "http://centre/b";
  EXPECT_EQ(wsctx_set_endpoint(ctx.get(), other.c_str()), 0);
  EXPECT_STREQ(wsctx_endpoint(ctx.get()), "http://centre/b");
  EXPECT_NE(wsctx_endpoint(ctx.get()), other.c_str()) << "the context keeps its own copy";

  EXPECT_EQ(wsctx_set_endpoint(ctx.get(), nullptr), 0);
  EXPECT_EQ(wsctx_endpoint(ctx.get()), nullptr);
  EXPECT_EQ(wsctx_set_endpoint(nullptr, "x"), 18);
  EXPECT_EQ(wsctx_endpoint(nullptr), nullptr);
}

TEST(WsCtx, CopyContextTakesOverSettingsAndStartsAFreshSeries) {
  CtxPtr source = NewCtx("https://centre/api");
  source->tls = 1;
  source->max_attempts = 5;
  source->retries = 4;
  source->attempt = 2;
  source->error = 23;
  source->send_timeout = 7;
  source->recv_timeout = 8;
  source->connect_timeout = 9;
  source->http_status = 502;
  source->status = 3;
  std::strcpy(source->buff, "CURL-00028 Timeout was reached");
  std::strcpy(source->tmp_buff, "tmp");
  WS_Fault fault;
  WS_Header header;
  wsctx_set_fault(source.get(), &fault);
  wsctx_set_header(source.get(), &header);

  CtxPtr target = NewCtx("http://old/");
  ASSERT_EQ(wsctx_copy_context(target.get(), source.get()), target.get());
  EXPECT_EQ(target->state, 2);
  EXPECT_EQ(target->error, 0u);
  EXPECT_EQ(target->attempt, 0);
  EXPECT_EQ(target->header, nullptr);
  EXPECT_EQ(target->fault, nullptr);
  EXPECT_STREQ(target->endpoint, "https://centre/api");
  EXPECT_NE(target->endpoint, source->endpoint) << "the copy owns its own URL";
  EXPECT_EQ(target->retries, 4);
  EXPECT_EQ(target->max_attempts, 5);
  EXPECT_EQ(target->send_timeout, 7);
  EXPECT_EQ(target->recv_timeout, 8);
  EXPECT_EQ(target->connect_timeout, 9u);
  EXPECT_EQ(target->tls, 1u);
  EXPECT_EQ(target->http_status, 502u);
  EXPECT_EQ(target->status, 3u);
  EXPECT_STREQ(target->buff, "CURL-00028 Timeout was reached");
  EXPECT_STREQ(target->tmp_buff, "tmp");

  // Releasing the source leaves the copy's URL intact.
  source.reset();
  EXPECT_STREQ(target->endpoint, "https://centre/api");
}

TEST(WsCtx, CopyContextRefusals) {
  CtxPtr ctx = NewCtx("http://centre/");
  ctx->attempt = 2;
  ctx->error = 23;
  // The same context as target and source comes back untouched.
  EXPECT_EQ(wsctx_copy_context(ctx.get(), ctx.get()), ctx.get());
  EXPECT_EQ(ctx->attempt, 2);
  EXPECT_EQ(ctx->error, 23u);
  EXPECT_EQ(ctx->state, 1);

  CtxPtr finished = NewCtx("http://centre/");
  wsctx_done(finished.get());
  EXPECT_EQ(wsctx_copy_context(ctx.get(), finished.get()), nullptr);
  EXPECT_EQ(wsctx_copy_context(nullptr, ctx.get()), nullptr);
  EXPECT_EQ(wsctx_copy_context(ctx.get(), nullptr), nullptr);
  EXPECT_EQ(ctx->attempt, 2) << "a refused copy changes nothing";
}

TEST(WsCtx, CopyGivesAnIndependentContext) {
  CtxPtr source = NewCtx("http://centre/");
  source->max_attempts = 2;
  CtxPtr copy(wsctx_copy(source.get()));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->state, 2);
  EXPECT_EQ(copy->max_attempts, 2);
  EXPECT_STREQ(wsctx_endpoint(copy.get()), "http://centre/");
  wsctx_set_endpoint(copy.get(), "http://elsewhere/");
  EXPECT_STREQ(wsctx_endpoint(source.get()), "http://centre/");

  // A finished source gives a fresh context without a URL.
  wsctx_done(source.get());
  CtxPtr fresh(wsctx_copy(source.get()));
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->state, 1);
  EXPECT_EQ(wsctx_endpoint(fresh.get()), nullptr);
}

TEST(WsCtx, ErrorCodes) {
  struct Case {
    const int* code;
    int expected;
  };
  int zero = 0, nine = 9, twenty = 20;
  const Case without_context[] = {{&zero, 18}, {nullptr, 18}, {&nine, 9}, {&twenty, 20}};
  for (const Case& c : without_context) EXPECT_EQ(wsctx_error(nullptr, c.code), c.expected);

  CtxPtr ctx = NewCtx();
  EXPECT_EQ(wsctx_error(ctx.get(), &twenty), 20);
  EXPECT_EQ(ctx->error, 20u);
  EXPECT_EQ(wsctx_error(ctx.get(), nullptr), 20) << "no code: the stored one";
  EXPECT_EQ(wsctx_error(ctx.get(), 0), 0);
  EXPECT_EQ(ctx->error, 0u);
}

TEST(WsCtx, AttemptArithmeticWithoutRequests) {
  EXPECT_EQ(wsctx_more_attempts(nullptr), -1);
  EXPECT_TRUE(wsctx_outof_retries(nullptr));
  EXPECT_EQ(wsctx_attempt(nullptr), -1);
  EXPECT_EQ(wsctx_max_attempts(nullptr), -1);

  CtxPtr ctx = NewCtx();
  ctx->max_attempts = 4;
  ctx->attempt = 3;
  ctx->retries = 0;
  wsctx_reset_counter(ctx.get());
  EXPECT_EQ(ctx->attempt, 0);
  EXPECT_EQ(ctx->retries, 4);
  EXPECT_FALSE(wsctx_outof_retries(ctx.get()));
  ctx->attempt = 1;
  EXPECT_EQ(wsctx_more_attempts(ctx.get()), 3);
  // Once spent (or -1 after a call without URL) retries is not recomputed.
  ctx->retries = -1;
  EXPECT_EQ(wsctx_more_attempts(ctx.get()), -1);
  EXPECT_TRUE(wsctx_outof_retries(ctx.get()));
  ctx->retries = 2;
  ctx->attempt = 4;
  EXPECT_TRUE(wsctx_outof_retries(ctx.get()));
}

TEST(WsCtx, FinishedContextIsUnusableAndReportsSo) {
  CtxPtr ctx = NewCtx("http://centre/");
  WS_Fault fault{42, "boom"};
  wsctx_set_fault(ctx.get(), &fault);
  EXPECT_EQ(wsctx_faultcode(ctx.get()), 42);
  EXPECT_STREQ(wsctx_faultstring(ctx.get()), "boom");
  EXPECT_EQ(wsctx_http_response_status(ctx.get(), 404), 404);
  EXPECT_EQ(wsctx_http_response(ctx.get()), 404);
  EXPECT_FALSE(wsctx_check_state(ctx.get()));

  wsctx_done(ctx.get());
  EXPECT_TRUE(wsctx_check_state(ctx.get()));
  EXPECT_EQ(wsctx_state(ctx.get()), 0);
  EXPECT_EQ(wsctx_endpoint(ctx.get()), nullptr);
  EXPECT_EQ(wsctx_fault(ctx.get()), nullptr);
  EXPECT_EQ(wsctx_faultcode(ctx.get()), 0);
  EXPECT_EQ(wsctx_faultstring(ctx.get()), nullptr);
  EXPECT_EQ(wsctx_buff(ctx.get()), nullptr);
  EXPECT_EQ(wsctx_tmp_buff(ctx.get()), nullptr);
  EXPECT_EQ(wsctx_http_response_status(ctx.get(), 200), 500);
  EXPECT_EQ(ctx->http_status, 404u) << "an unusable context keeps nothing";
  EXPECT_EQ(wsctx_http_response(ctx.get()), 500);
  wsctx_set_fault(ctx.get(), &fault);
  EXPECT_EQ(ctx->fault, nullptr);

  EXPECT_TRUE(wsctx_check_state(nullptr));
  EXPECT_EQ(wsctx_state(nullptr), 0);
  EXPECT_EQ(wsctx_status(nullptr), 0u);
  wsctx_free(nullptr);  // allowed
}

TEST(WsCtx, EndAndDestroyReleaseTheUrl) {
  CtxPtr ctx = NewCtx("http://centre/");
  ctx->error = 23;
  wsctx_end(ctx.get());
  EXPECT_EQ(ctx->endpoint, nullptr);
  EXPECT_EQ(ctx->error, 0u);
  EXPECT_EQ(ctx->state, 1) << "end leaves the context usable";

  wsctx_set_endpoint(ctx.get(), "http://centre/");
  WS_Header header;
  wsctx_set_header(ctx.get(), &header);
  EXPECT_EQ(wsctx_header(ctx.get()), &header);
  wsctx_destroy(ctx.get());
  EXPECT_EQ(ctx->endpoint, nullptr);
  EXPECT_EQ(ctx->header, nullptr);
  EXPECT_EQ(ctx->state, 1);
}

}  // namespace
