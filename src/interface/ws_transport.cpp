#include "interface/ws_transport.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>

#include "interface/ws_ctx.h"

CurlGlobal::CurlGlobal() : ok_(curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK) {}

CurlGlobal::~CurlGlobal() {
  if (ok_) curl_global_cleanup();
}

namespace {

class CurlEasy {
 public:
  CurlEasy() : handle_(curl_easy_init()) {}
  ~CurlEasy() {
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
  }
  CurlEasy(const CurlEasy&) = delete;
  CurlEasy& operator=(const CurlEasy&) = delete;
  CURL* get() const { return handle_; }

 private:
  CURL* handle_;
};

class CurlHeaders {
 public:
  CurlHeaders() : list_(nullptr) {}
  ~CurlHeaders() { curl_slist_free_all(list_); }
  CurlHeaders(const CurlHeaders&) = delete;
  CurlHeaders& operator=(const CurlHeaders&) = delete;
  void add(const char* line) {
    curl_slist* grown = curl_slist_append(list_, line);
    if (grown != nullptr) list_ = grown;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_;
};

// Lets libcurl send the body again when a redirection (307, 308) keeps the
// POST; without it such a redirection fails for want of a rewind.
int seek_callback(void* upload, curl_off_t offset, int origin) {
  ws_upload* up = static_cast<ws_upload*>(upload);
  if (origin != SEEK_SET || offset < 0 || static_cast<size_t>(offset) > up->total) {
    return CURL_SEEKFUNC_CANTSEEK;
  }
  up->readptr = up->start + offset;
  up->sizeleft = up->total - static_cast<size_t>(offset);
  return CURL_SEEKFUNC_OK;
}

bool starts_with_https(const std::string& url) { return url.compare(0, 8, "https://") == 0; }

}  // namespace

size_t write_callback(char* data, size_t size, size_t nmemb, void* sink) {
  size_t bytes = size * nmemb;
  std::string* text = static_cast<std::string*>(sink);
  if (bytes > kMaxAnswerBytes - text->size()) return 0;
  text->append(data, bytes);
  return bytes;
}

size_t read_callback(char* dest, size_t size, size_t nmemb, void* upload) {
  ws_upload* up = static_cast<ws_upload*>(upload);
  size_t room = size * nmemb;
  size_t bytes = room < up->sizeleft ? room : up->sizeleft;
  if (bytes == 0) return 0;
  std::memcpy(dest, up->readptr, bytes);
  up->readptr += bytes;
  up->sizeleft -= bytes;
  return bytes;
}

int wsctx_run(WS_ctx* ctx, const std::string& request, std::string& response, const char* suffix) {
  if (wsctx_check_state(ctx)) {
    if (ctx != nullptr) ctx->attempt++;
    wsctx_http_response_status(ctx, WS_HTTP_UNUSABLE);  // an unusable context keeps nothing
    return wsctx_error(ctx, WS_ERR_UNUSABLE);
  }

  ctx->attempt++;
  if (wsctx_more_attempts(ctx) <= 0) {
    wsctx_http_response_status(ctx, WS_HTTP_NO_ATTEMPTS);
    return wsctx_error(ctx, WS_ERR_NO_ATTEMPTS);
  }

  if (ctx->endpoint == nullptr || ctx->endpoint[0] == '\0') {
    ctx->retries = -1;  // ends the series until the next reset
    wsctx_http_response_status(ctx, WS_HTTP_NO_URL);
    return wsctx_error(ctx, WS_ERR_NO_URL);
  }

  std::string url = ctx->endpoint;
  if (suffix != nullptr) url += suffix;

  int code = WS_OK;
  long http_status = WS_HTTP_TRANSFER_FAILED;
  std::string received;
  {
    CurlGlobal global;
    if (!global.ok()) {
      wsctx_http_response_status(ctx, WS_HTTP_UNUSABLE);
      return wsctx_error(ctx, WS_ERR_UNUSABLE);
    }
    CurlEasy easy;
    CURL* curl = easy.get();
    if (curl == nullptr) {
      wsctx_http_response_status(ctx, WS_HTTP_UNUSABLE);
      return wsctx_error(ctx, WS_ERR_UNUSABLE);
    }

    ws_upload upload{request.data(), request.size(), request.data(), request.size()};
    CurlHeaders headers;
    headers.add("Accept: application/json");
    headers.add("Content-encoding: UTF-8");
    headers.add("Content-Type: application/json");
    headers.add("charset: utf-8");
    headers.add("Content-language: ru");

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // Certificate checks are deliberately off for every https:// URL and
    // whenever the TLS flag is set: deployed centres run with certificates
    // that would not pass them. A scheme written in capitals with the flag
    // clear keeps libcurl's checks.
    if (ctx->tls == 1 || starts_with_https(url)) {
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_callback);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, seek_callback);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.size()));
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    const long limit = ctx->send_timeout > 0 ? ctx->send_timeout : kDefaultTransferSeconds;
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, limit);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write_callback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());

    CURLcode rc = curl_easy_perform(curl);
    if (rc != CURLE_OK) {
      std::snprintf(ctx->buff, sizeof ctx->buff, "CURL-%05d %s", static_cast<int>(rc),
                    curl_easy_strerror(rc));
      code = WS_ERR_TRANSFER;
    } else {
      curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &http_status);
    }
    // The header list, the handle and the global state are released here,
    // in that order.
  }
  wsctx_http_response_status(ctx, static_cast<int>(http_status));
  response = received;
  return wsctx_error(ctx, code);
}
