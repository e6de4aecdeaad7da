// The HTTP transport under wsctx_run (declared in ws_ctx.h): one POST
// through libcurl per call, with its own reference to libcurl's global state
// and a fresh transfer handle, so no connection outlives a call.
//
// wsctx_run, step by step:
//   unusable context            -> 9,  HTTP 500 (not kept by the context)
//   attempt budget used up      -> 1,  HTTP 405, nothing sent
//   no URL (null or empty)      -> 20, HTTP 503, retries -1, nothing sent
//   HTTP library fails to start -> 9,  HTTP 500
//   transfer fails (code N)     -> 23, HTTP 502, buff "CURL-%05d %s"
//   any response at all         -> 0,  the server's HTTP status
// The response text receives whatever arrived, also after a failure.
//
// Bounds, so that no centre can hold a call or the daemon's memory without
// limit: a whole transfer takes at most `send_timeout` seconds (a limit that
// is not positive takes kDefaultTransferSeconds instead of libcurl's "no
// limit"), and an answer longer than kMaxAnswerBytes ends the transfer as a
// failed one (23, libcurl's write error).
#ifndef NORVALEN_INTERFACE_WS_TRANSPORT_H_
#define NORVALEN_INTERFACE_WS_TRANSPORT_H_

#include <cstddef>
#include <string>

const int kDefaultTransferSeconds = 10;
const size_t kMaxAnswerBytes = 8u << 20;

// A reference to libcurl's global state: taken when created (started on
// the first one), given back when destroyed (ended with the last one).
// Every call takes one of its own. The daemon also holds one from before its
// first centre call to its end, so that a call's own is only a count instead
// of building libcurl's state up and tearing it down again each time. Not
// safe in two threads at once: calls hold the process-wide operation lock,
// and the daemon's own is made before any session starts.
class CurlGlobal {
 public:
  CurlGlobal();
  ~CurlGlobal();
  CurlGlobal(const CurlGlobal&) = delete;
  CurlGlobal& operator=(const CurlGlobal&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// The request body as handed to the HTTP library: the next unsent byte and
// the number of bytes left. `start` and `total` let the library rewind the
// body when a redirection asks for it to be sent again.
struct ws_upload {
  const char* readptr;
  size_t sizeleft;
  const char* start;
  size_t total;
};

// Appends size * nmemb received bytes to the std::string at `sink`; takes
// nothing (so libcurl ends the transfer) once the text would pass
// kMaxAnswerBytes.
size_t write_callback(char* data, size_t size, size_t nmemb, void* sink);

// Copies min(size * nmemb, bytes left) bytes from the ws_upload at `upload`
// and advances it; 0 when nothing is left.
size_t read_callback(char* dest, size_t size, size_t nmemb, void* upload);

#endif  // NORVALEN_INTERFACE_WS_TRANSPORT_H_
