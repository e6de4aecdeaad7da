#include "interface/ws_ctx.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool usable(const WS_ctx* ctx) { return !wsctx_check_state(ctx); }

void release_endpoint(WS_ctx* ctx) {
  std::free(ctx->endpoint);
  ctx->endpoint = nullptr;
}

// The k-th call of a series posts while k < the limit, so a limit of n allows
// n - 1 requests. A limit of 1 ("try once") would then allow none and the
// daemon would never reach the centre; it is counted as 2 so that every
// series allows at least one request. Larger limits are taken as they are.
int series_limit(const WS_ctx* ctx) { return ctx->max_attempts == 1 ? 2 : ctx->max_attempts; }

}  // namespace

WS_ctx::WS_ctx()
    : state(0),
      status(0),
      error(0),
      attempt(0),
      retries(0),
      send_timeout(0),
      recv_timeout(0),
      connect_timeout(0),
      endpoint(nullptr),
      max_attempts(0),
      header(nullptr),
      fault(nullptr),
      tls(0),
      http_status(0) {
  buff[0] = '\0';
  tmp_buff[0] = '\0';
}

WS_ctx::~WS_ctx() { std::free(endpoint); }

WS_ctx* wsctx_new() {
  WS_ctx* ctx = new (std::nothrow) WS_ctx();
  return wsctx_init(ctx);
}

WS_ctx* wsctx_init(WS_ctx* ctx) {
  if (ctx == nullptr) return nullptr;
  ctx->state = 1;
  ctx->error = WS_OK;
  ctx->attempt = 0;
  ctx->max_attempts = 3;
  ctx->retries = ctx->max_attempts - ctx->attempt;
  ctx->send_timeout = 20;
  ctx->recv_timeout = 20;
  ctx->connect_timeout = 30;
  ctx->header = nullptr;
  ctx->fault = nullptr;
  ctx->buff[0] = '\0';
  ctx->tmp_buff[0] = '\0';
  ctx->http_status = WS_HTTP_NOT_CALLED;
  return ctx;
}

WS_ctx* wsctx_copy(WS_ctx* source) {
  WS_ctx* copy = wsctx_new();
  if (copy == nullptr) return nullptr;
  wsctx_copy_context(copy, source);
  wsctx_set_endpoint(copy, source != nullptr ? source->endpoint : nullptr);
  return copy;
}

WS_ctx* wsctx_copy_context(WS_ctx* target, const WS_ctx* source) {
  if (target == source) return target;
  if (target == nullptr || !usable(source)) return nullptr;
  char* own_endpoint = target->endpoint;
  target->state = 2;
  target->status = source->status;
  target->error = WS_OK;
  target->attempt = 0;
  target->retries = source->retries;
  target->send_timeout = source->send_timeout;
  target->recv_timeout = source->recv_timeout;
  target->connect_timeout = source->connect_timeout;
  target->endpoint = own_endpoint;  // replaced by a private copy just below
  target->max_attempts = source->max_attempts;
  target->header = nullptr;
  target->fault = nullptr;
  std::memcpy(target->buff, source->buff, sizeof target->buff);
  std::memcpy(target->tmp_buff, source->tmp_buff, sizeof target->tmp_buff);
  target->tls = source->tls;
  target->http_status = source->http_status;
  wsctx_set_endpoint(target, source->endpoint);
  return target;
}

int wsctx_set_endpoint(WS_ctx* ctx, const char* url) {
  if (ctx == nullptr) return WS_ERR_NO_CONTEXT;
  ctx->error = WS_OK;
  if (url == nullptr) {
    release_endpoint(ctx);
    return WS_OK;
  }
  if (ctx->endpoint != nullptr && std::strcmp(ctx->endpoint, url) == 0) return WS_OK;
  char* copy = strdup(url);
  if (copy == nullptr) {
    ctx->error = WS_ERR_UNUSABLE;
    return WS_ERR_UNUSABLE;
  }
  std::free(ctx->endpoint);
  ctx->endpoint = copy;
  return WS_OK;
}

const char* wsctx_endpoint(const WS_ctx* ctx) { return ctx != nullptr ? ctx->endpoint : nullptr; }

void wsctx_reset_counter(WS_ctx* ctx) {
  if (ctx == nullptr) return;
  ctx->attempt = 0;
  ctx->retries = ctx->max_attempts;
}

int wsctx_more_attempts(WS_ctx* ctx) {
  if (ctx == nullptr) return -1;
  if (ctx->retries > 0) ctx->retries = series_limit(ctx) - ctx->attempt;
  return ctx->retries;
}

bool wsctx_outof_retries(const WS_ctx* ctx) {
  return !(ctx != nullptr && ctx->attempt < ctx->max_attempts && ctx->retries > 0);
}

int wsctx_attempt(const WS_ctx* ctx) { return ctx != nullptr ? ctx->attempt : -1; }

int wsctx_max_attempts(const WS_ctx* ctx) { return ctx != nullptr ? ctx->max_attempts : -1; }

bool wsctx_check_state(const WS_ctx* ctx) {
  return ctx == nullptr || (ctx->state != 1 && ctx->state != 2);
}

int wsctx_error(WS_ctx* ctx, const int* code) {
  if (ctx == nullptr) {
    if (code == nullptr || *code == 0) return WS_ERR_NO_CONTEXT;
    return *code;
  }
  if (code != nullptr) ctx->error = static_cast<uint32_t>(*code);
  return static_cast<int>(ctx->error);
}

int wsctx_error(WS_ctx* ctx, int code) { return wsctx_error(ctx, &code); }

int wsctx_http_response_status(WS_ctx* ctx, int status) {
  if (!usable(ctx)) return WS_HTTP_UNUSABLE;
  ctx->http_status = static_cast<unsigned>(status);
  return status;
}

int wsctx_http_response(WS_ctx* ctx) {
  return usable(ctx) ? static_cast<int>(ctx->http_status) : WS_HTTP_UNUSABLE;
}

uint32_t wsctx_status(const WS_ctx* ctx) { return ctx != nullptr ? ctx->status : 0; }

int wsctx_state(const WS_ctx* ctx) { return ctx != nullptr ? ctx->state : 0; }

WS_Header* wsctx_header(const WS_ctx* ctx) { return usable(ctx) ? ctx->header : nullptr; }

WS_Fault* wsctx_fault(const WS_ctx* ctx) { return usable(ctx) ? ctx->fault : nullptr; }

void wsctx_set_header(WS_ctx* ctx, WS_Header* header) {
  if (usable(ctx)) ctx->header = header;
}

void wsctx_set_fault(WS_ctx* ctx, WS_Fault* fault) {
  if (usable(ctx)) ctx->fault = fault;
}

int wsctx_faultcode(const WS_ctx* ctx) {
  const WS_Fault* fault = wsctx_fault(ctx);
  return fault != nullptr ? fault->faultcode : 0;
}

const char* wsctx_faultstring(const WS_ctx* ctx) {
  const WS_Fault* fault = wsctx_fault(ctx);
  if (fault == nullptr || fault->faultstring.empty()) return nullptr;
  return fault->faultstring.c_str();
}

const char* wsctx_buff(const WS_ctx* ctx) { return usable(ctx) ? ctx->buff : nullptr; }

const char* wsctx_tmp_buff(const WS_ctx* ctx) { return usable(ctx) ? ctx->tmp_buff : nullptr; }

void wsctx_clear_buff(WS_ctx* ctx) {
  if (usable(ctx)) ctx->buff[0] = '\0';
}

void wsctx_clear_tmp_buff(WS_ctx* ctx) {
  if (usable(ctx)) ctx->tmp_buff[0] = '\0';
}

void wsctx_destroy(WS_ctx* ctx) {
  if (!usable(ctx)) return;
  release_endpoint(ctx);
  ctx->header = nullptr;
  ctx->fault = nullptr;
}

void wsctx_done(WS_ctx* ctx) {
  if (ctx == nullptr) return;
  wsctx_destroy(ctx);
  ctx->state = 0;
}

void wsctx_end(WS_ctx* ctx) {
  if (!usable(ctx)) return;
  release_endpoint(ctx);
  ctx->error = WS_OK;
}

void wsctx_free(WS_ctx* ctx) { delete ctx; }
