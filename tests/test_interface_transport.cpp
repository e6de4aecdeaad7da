// wsctx_run against real servers on loopback: what goes on the wire, how
// answers and failures are reported, the attempt series and TLS.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "interface/ws_ctx.h"
#include "interface/ws_transport.h"
#include "support/http_capture.h"
#include "support/http_test_server.h"
#include "support/tempdir.h"
#include "support/ws_ctx_fixture.h"

namespace {

std::string CurlText(int code, CURLcode rc) {
  char text[WS_BUFF_SIZE];
  std::snprintf(text, sizeof text, "CURL-%05d %s", code, curl_easy_strerror(rc));
  return text;
}

// A server whose "/" answers with a fixed status and body, counting hits.
struct CountingServer {
  explicit CountingServer(int status = 200, std::string body = "{}") {
    server.http().Post("/",
                       [this, status, body](const httplib::Request& req, httplib::Response& res) {
                         (void)req;
                         ++hits;
                         res.status = status;
                         res.set_content(body, "application/json");
                       });
  }
  LoopbackHttpServer server;
  std::atomic<int> hits{0};
};

TEST(WsRun, PostsTheBodyWithTheFiveHeadersToTheExactUrl) {
  RawHttpCapture capture(
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\n"
      "Connection: close\r\n\r\n{\"err\":\"0\"}");
  ASSERT_TRUE(capture.start());
  struct Case {
    std::string endpoint;
    const char* suffix;
    std::string requestLine;
  };
  const Case cases[] = {
      {capture.url("/svc/tavrel?site=7"), nullptr, "POST /svc/tavrel?site=7 HTTP/1.1"},
      {capture.url("/svc"), "/op", "POST /svc/op HTTP/1.1"},
  };
  const std::string body = "{\"PayBonus\":{\"cardnum\":\"Карта 1\"}}\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requestLine);
    CtxPtr ctx = NewCtx(c.endpoint);
    std::string response;
    EXPECT_EQ(wsctx_run(ctx.get(), body, response, c.suffix), 0);
    EXPECT_EQ(response, "{\"err\":\"0\"}");
    EXPECT_EQ(wsctx_http_response(ctx.get()), 200);
    EXPECT_EQ(ctx->error, 0u);
  }

  std::vector<CapturedRequest> seen = capture.requests();
  ASSERT_EQ(seen.size(), 2u);
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].requestLine(), cases[i].requestLine);
    EXPECT_EQ(seen[i].body, body);
    std::vector<std::string> ours;
    bool length = false;
    for (const std::string& line : seen[i].headerLines()) {
      if (line == "Content-Length: " + std::to_string(body.size())) length = true;
      for (const char* h :
           {"Accept:", "Content-encoding:", "Content-Type:", "charset:", "Content-language:"}) {
        if (line.compare(0, std::strlen(h), h) == 0) ours.push_back(line);
      }
    }
    EXPECT_TRUE(length) << seen[i].head;
    const std::vector<std::string> expected = {
        "Accept: application/json", "Content-encoding: UTF-8", "Content-Type: application/json",
        "charset: utf-8", "Content-language: ru"};
    EXPECT_EQ(ours, expected) << seen[i].head;
  }
}

TEST(WsRun, AnyHttpStatusWithABodyIsAnAnsweredCall) {
  for (int status : {200, 404, 500}) {
    SCOPED_TRACE(status);
    CountingServer centre(status, "{\"Connect\":{\"err\":\"3\"}}");
    ASSERT_TRUE(centre.server.start());
    CtxPtr ctx = NewCtx(centre.server.url());
    std::string response;
    EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 0);
    EXPECT_EQ(response, "{\"Connect\":{\"err\":\"3\"}}");
    EXPECT_EQ(wsctx_http_response(ctx.get()), status);
    EXPECT_STREQ(wsctx_buff(ctx.get()), "");
  }
}

TEST(WsRun, RefusedConnectionIsATransferFailure) {
  CtxPtr ctx = NewCtx("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/");
  std::string response = "left over";
  EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 23);
  EXPECT_EQ(ctx->error, 23u);
  EXPECT_EQ(std::string(wsctx_buff(ctx.get())), CurlText(7, CURLE_COULDNT_CONNECT));
  EXPECT_EQ(std::string(wsctx_buff(ctx.get())).substr(0, 11), "CURL-00007 ");
  EXPECT_EQ(wsctx_http_response(ctx.get()), 502);
  EXPECT_EQ(response, "");

  // A later success keeps the failure text in the buffer.
  CountingServer centre;
  ASSERT_TRUE(centre.server.start());
  wsctx_set_endpoint(ctx.get(), centre.server.url().c_str());
  EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 0);
  EXPECT_EQ(std::string(wsctx_buff(ctx.get())), CurlText(7, CURLE_COULDNT_CONNECT));
}

TEST(WsRun, WholeTransferTimeLimit) {
  LoopbackHttpServer slow;
  slow.http().Post("/", [](const httplib::Request&, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    res.set_content("{}", "application/json");
  });
  ASSERT_TRUE(slow.start());
  CtxPtr ctx = NewCtx(slow.url());
  ctx->send_timeout = 1;
  std::string response;
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 23);
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, std::chrono::milliseconds(2200));
  EXPECT_EQ(std::string(wsctx_buff(ctx.get())), CurlText(28, CURLE_OPERATION_TIMEDOUT));
  EXPECT_EQ(wsctx_http_response(ctx.get()), 502);
}

TEST(WsRun, AnAnswerPastTheSizeLimitIsAFailedTransfer) {
  struct Case {
    size_t bytes;
    int code;
  } cases[] = {{kMaxAnswerBytes, 0}, {kMaxAnswerBytes + 1, 23}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    CountingServer centre(200, std::string(c.bytes, ' '));
    ASSERT_TRUE(centre.server.start());
    CtxPtr ctx = NewCtx(centre.server.url());
    std::string response;
    EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), c.code);
    EXPECT_LE(response.size(), kMaxAnswerBytes);
    if (c.code != 0) {
      EXPECT_EQ(std::string(wsctx_buff(ctx.get())), CurlText(23, CURLE_WRITE_ERROR));
    }
  }
}

// Every series allows at least one request: a limit of 1 posts once.
TEST(WsRun, AttemptSeriesByLimit) {
  struct Case {
    int limit;
    std::vector<int> loopCodes;  // codes of the calls made while not out of retries
    int requests;
  };
  const Case cases[] = {
      {1, {0}, 1},
      {2, {0, 1}, 1},
      {3, {0, 0, 1}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("limit " + std::to_string(c.limit));
    CountingServer centre;
    ASSERT_TRUE(centre.server.start());
    CtxPtr ctx = NewCtx(centre.server.url(), c.limit);
    std::vector<int> codes;
    std::string response;
    while (!wsctx_outof_retries(ctx.get()) && codes.size() < 10) {
      codes.push_back(wsctx_run(ctx.get(), "{}", response, nullptr));
    }
    EXPECT_EQ(codes, c.loopCodes);
    EXPECT_EQ(centre.hits, c.requests);
    EXPECT_TRUE(wsctx_outof_retries(ctx.get()));

    // Past the end of the series nothing is sent.
    EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 1);
    EXPECT_EQ(wsctx_http_response(ctx.get()), 405);
    EXPECT_EQ(ctx->error, 1u);
    EXPECT_EQ(centre.hits, c.requests);

    // A reset starts a new series.
    wsctx_reset_counter(ctx.get());
    EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 0);
    EXPECT_EQ(centre.hits, c.requests + 1);
  }
}

TEST(WsRun, NoUrlEndsTheSeries) {
  for (const char* url : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(url == nullptr ? "null" : "empty");
    CtxPtr ctx(wsctx_new());
    wsctx_set_endpoint(ctx.get(), url);
    wsctx_reset_counter(ctx.get());
    std::string response;
    EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 20);
    EXPECT_EQ(wsctx_http_response(ctx.get()), 503);
    EXPECT_EQ(ctx->retries, -1);
    EXPECT_TRUE(wsctx_outof_retries(ctx.get()));
    EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 1);
    EXPECT_EQ(wsctx_http_response(ctx.get()), 405);
    EXPECT_EQ(ctx->retries, -1);
  }
}

TEST(WsRun, UnusableContext) {
  std::string response;
  EXPECT_EQ(wsctx_run(nullptr, "{}", response, nullptr), 9);

  CtxPtr ctx = NewCtx("http://127.0.0.1:1/");
  ctx->http_status = 200;
  wsctx_done(ctx.get());
  EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 9);
  EXPECT_EQ(ctx->attempt, 1) << "the attempt is counted";
  EXPECT_EQ(ctx->error, 9u);
  EXPECT_EQ(ctx->http_status, 200u) << "an unusable context keeps no status";
  EXPECT_EQ(wsctx_http_response(ctx.get()), 500);
}

TEST(WsRun, RedirectionsAreFollowedUpToTen) {
  LoopbackHttpServer centre;
  std::atomic<int> loopHits{0};
  std::string movedBody;
  centre.http().Post("/old", [](const httplib::Request&, httplib::Response& res) {
    res.status = 307;
    res.set_header("Location", "/new");
  });
  centre.http().Post("/new", [&movedBody](const httplib::Request& req, httplib::Response& res) {
    movedBody = req.body;
    res.set_content("{\"moved\":true}", "application/json");
  });
  centre.http().Post("/loop", [&loopHits](const httplib::Request&, httplib::Response& res) {
    ++loopHits;
    res.status = 307;
    res.set_header("Location", "/loop");
  });
  ASSERT_TRUE(centre.start());

  // A 307 keeps the POST: the body is sent again to the new place.
  CtxPtr ctx = NewCtx(centre.url("/old"));
  std::string response;
  EXPECT_EQ(wsctx_run(ctx.get(), "{\"Undo\":{}}\n", response, nullptr), 0);
  EXPECT_EQ(response, "{\"moved\":true}");
  EXPECT_EQ(movedBody, "{\"Undo\":{}}\n");

  ctx = NewCtx(centre.url("/loop"));
  EXPECT_EQ(wsctx_run(ctx.get(), "{}", response, nullptr), 23);
  EXPECT_EQ(std::string(wsctx_buff(ctx.get())), CurlText(47, CURLE_TOO_MANY_REDIRECTS));
  EXPECT_EQ(loopHits, 11) << "the first request and ten redirections";
}

TEST(WsRun, CertificateChecksBySchemeAndFlag) {
  TempDir dir;
  std::string cert, key;
  ASSERT_TRUE(MakeSelfSignedCert(dir.path(), &cert, &key));
  LoopbackHttpServer centre(cert, key);
  centre.http().Post("/", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(req.body, "application/json");
  });
  ASSERT_TRUE(centre.start());
  const std::string hostPort = "127.0.0.1:" + std::to_string(centre.port()) + "/";

  struct Case {
    std::string url;
    unsigned tls;
    int code;
  };
  const Case cases[] = {
      {"https://" + hostPort, 0, 0},  // checks off for every https:// URL
      {"https://" + hostPort, 1, 0},
      {"HTTPS://" + hostPort, 1, 0},   // the flag switches them off for any spelling
      {"HTTPS://" + hostPort, 0, 23},  // capitals and no flag: libcurl's checks refuse it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url + " tls=" + std::to_string(c.tls));
    CtxPtr ctx = NewCtx(c.url);
    ctx->tls = c.tls;
    std::string response;
    EXPECT_EQ(wsctx_run(ctx.get(), "{\"Connect\":{}}\n", response, nullptr), c.code);
    if (c.code == 0) {
      EXPECT_EQ(response, "{\"Connect\":{}}\n");
      EXPECT_EQ(wsctx_http_response(ctx.get()), 200);
    } else {
      EXPECT_EQ(std::string(wsctx_buff(ctx.get())), CurlText(60, CURLE_PEER_FAILED_VERIFICATION));
    }
  }
}

}  // namespace
