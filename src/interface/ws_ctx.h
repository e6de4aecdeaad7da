// WS_ctx: the call context of the processing centre client. A plain record
// with a C-style function set: the URL, the attempt budget of one series of
// calls, the time limits, the last error code, the last HTTP status and a
// message buffer that receives the transport's error text.
//
// Contexts live on the heap: they are made only by wsctx_new and wsctx_copy
// and released only by wsctx_free. A context is usable in state 1
// (initialised) and 2 (copied); wsctx_done makes it unusable (state 0).
// Nothing here logs, throws or locks: callers serialise all use of the
// transport (one centre call at a time in the whole process).
#ifndef NORVALEN_INTERFACE_WS_CTX_H_
#define NORVALEN_INTERFACE_WS_CTX_H_

#include <cstdint>
#include <string>

// Result codes of the context and of wsctx_run. They travel unchanged to the
// POS as the reply's error number.
enum {
  WS_OK = 0,               // request sent, a response (of any HTTP status) received
  WS_ERR_NO_ATTEMPTS = 1,  // attempt budget used up; nothing sent
  WS_ERR_UNUSABLE = 9,     // unusable context, HTTP library failed, no memory
  WS_ERR_NO_CONTEXT = 18,  // wsctx_error on a null context with code 0
  WS_ERR_NO_URL = 20,      // no URL configured; nothing sent
  WS_ERR_TRANSFER = 23,    // the HTTP transfer failed; text in the buffer
};

// Substitute HTTP statuses stored when no response arrived.
enum {
  WS_HTTP_UNUSABLE = 500,
  WS_HTTP_NO_ATTEMPTS = 405,
  WS_HTTP_NO_URL = 503,
  WS_HTTP_TRANSFER_FAILED = 502,
  WS_HTTP_NOT_CALLED = 501,  // the value after wsctx_init
};

enum { WS_BUFF_SIZE = 1024 };

// SOAP-era envelope parts: referenced by a context, never owned, and set by
// nothing in the daemon.
struct WS_Header {};
struct WS_Fault {
  int faultcode = 0;
  std::string faultstring;
};

struct WS_ctx {
  WS_ctx();
  virtual ~WS_ctx();  // releases the URL
  WS_ctx(const WS_ctx&) = delete;
  WS_ctx& operator=(const WS_ctx&) = delete;

  int16_t state;                // 1 initialised, 2 copied, 0 finished
  uint32_t status;              // reported by wsctx_status; nothing changes it
  uint32_t error;               // last error code
  int attempt;                  // wsctx_run calls since the last reset
  int retries;                  // attempts left; -1 after a call found no URL
  int send_timeout;             // seconds for one whole transfer
  int recv_timeout;             // seconds; kept for the owner only
  unsigned connect_timeout;     // seconds; kept for the owner only
  char* endpoint;               // owned URL text, or null
  int max_attempts;             // attempt limit of a series
  WS_Header* header;            // borrowed
  WS_Fault* fault;              // borrowed
  char buff[WS_BUFF_SIZE];      // message buffer: the transport error text
  char tmp_buff[WS_BUFF_SIZE];  // second buffer; nothing writes it
  unsigned tls;                 // 1: certificate checks off for every call
  unsigned http_status;         // last HTTP status, or a substitute above
};

// Life cycle. wsctx_init leaves `tls`, `status` and a URL already set alone.
WS_ctx* wsctx_new();
WS_ctx* wsctx_init(WS_ctx* ctx);
WS_ctx* wsctx_copy(WS_ctx* source);
WS_ctx* wsctx_copy_context(WS_ctx* target, const WS_ctx* source);
void wsctx_destroy(WS_ctx* ctx);
void wsctx_done(WS_ctx* ctx);
void wsctx_end(WS_ctx* ctx);
void wsctx_free(WS_ctx* ctx);

// URL. wsctx_set_endpoint returns the code it leaves in `error`: 0, or 9
// when there was no memory for the copy (the old URL stays); 18 without a
// context.
int wsctx_set_endpoint(WS_ctx* ctx, const char* url);
const char* wsctx_endpoint(const WS_ctx* ctx);

// Attempt budget of one series, from wsctx_reset_counter until
// wsctx_outof_retries. The k-th wsctx_run call posts while k < the limit,
// so a limit of n allows n - 1 requests, but never fewer than one: limits 1
// and 2 allow one request, 3 allows two. The call after the last request
// returns 1 (HTTP 405) and sends nothing.
void wsctx_reset_counter(WS_ctx* ctx);
int wsctx_more_attempts(WS_ctx* ctx);
bool wsctx_outof_retries(const WS_ctx* ctx);
int wsctx_attempt(const WS_ctx* ctx);
int wsctx_max_attempts(const WS_ctx* ctx);

// True when the context is unusable (null, or state neither 1 nor 2).
bool wsctx_check_state(const WS_ctx* ctx);

// Stores *code (when given) and returns the stored code; without a context
// returns the code, or 18 in place of 0.
int wsctx_error(WS_ctx* ctx, const int* code);
int wsctx_error(WS_ctx* ctx, int code);

int wsctx_http_response_status(WS_ctx* ctx, int status);
int wsctx_http_response(WS_ctx* ctx);
uint32_t wsctx_status(const WS_ctx* ctx);
int wsctx_state(const WS_ctx* ctx);

WS_Header* wsctx_header(const WS_ctx* ctx);
WS_Fault* wsctx_fault(const WS_ctx* ctx);
void wsctx_set_header(WS_ctx* ctx, WS_Header* header);
void wsctx_set_fault(WS_ctx* ctx, WS_Fault* fault);
int wsctx_faultcode(const WS_ctx* ctx);
const char* wsctx_faultstring(const WS_ctx* ctx);

const char* wsctx_buff(const WS_ctx* ctx);
const char* wsctx_tmp_buff(const WS_ctx* ctx);
void wsctx_clear_buff(WS_ctx* ctx);
void wsctx_clear_tmp_buff(WS_ctx* ctx);

// One HTTP(S) POST of `request` to the URL (plus `suffix` when not null);
// `response` receives whatever arrived. At most one request per call.
// Returns the code it leaves in `error` (see ws_transport.h).
int wsctx_run(WS_ctx* ctx, const std::string& request, std::string& response, const char* suffix);

#endif  // NORVALEN_INTERFACE_WS_CTX_H_
