#include "sim_server.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "sim_drop.h"
#include "util/json_value.h"

namespace sim {

namespace {

const char kJson[] = "application/json; charset=utf-8";

// The root member of a centre request. Every operation posts a body with
// one root, except the POS "Connect" command, which posts the POS request
// block as it came, with whatever other commands it holds: so an
// operation's name wins over other members, "Connect" first. Otherwise the
// first member in byte order; empty when the parsed body `value` is not a
// JSON object with a member.
std::string root_of(const Json::Value& value) {
  if (!value.isObject() || value.empty()) return "";
  for (const char* op : {"Connect", "CardInfo", "PayBonus", "Return", "Commit", "Undo"}) {
    if (value.isMember(op)) return op;
  }
  return value.getMemberNames().front();
}

void reply_json(httplib::Response& res, int status, const Json::Value& value) {
  res.status = status;
  res.set_content(JsonOut(value, false), kJson);
}

void reply_error(httplib::Response& res, const std::string& text) {
  Json::Value v(Json::objectValue);
  v["error"] = text;
  reply_json(res, 400, v);
}

class InFlight {
 public:
  explicit InFlight(RequestLog* log) : log_(log) { log_->enter(); }
  ~InFlight() { log_->leave(); }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  RequestLog* log_;
};

}  // namespace

Simulator::Simulator(std::vector<Answer> initial, RequestLog* log, CardStore* store,
                     bool verbose)
    : initial_(std::move(initial)), log_(log), store_(store), verbose_(verbose) {
  book_.set(initial_);
}

void Simulator::install(httplib::Server* server) {
  server->Post("/_sim/answer", [this](const httplib::Request& req, httplib::Response& res) {
    setAnswers(req, res);
  });
  server->Get("/_sim/answers", [this](const httplib::Request&, httplib::Response& res) {
    reply_json(res, 200, book_.toJson());
  });
  server->Get("/_sim/requests", [this](const httplib::Request&, httplib::Response& res) {
    reply_json(res, 200, log_->requests());
  });
  server->Get("/_sim/stats", [this](const httplib::Request&, httplib::Response& res) {
    reply_json(res, 200, log_->stats());
  });
  server->Get("/_sim/cards", [this](const httplib::Request&, httplib::Response& res) {
    if (store_ == nullptr) {
      Json::Value v(Json::objectValue);
      v["error"] = "no card store: start with --cards FILE";
      return reply_json(res, 404, v);
    }
    reply_json(res, 200, store_->toJson());
  });
  server->Post("/_sim/reset",
               [this](const httplib::Request&, httplib::Response& res) { reset(res); });
  server->Post(R"(/_sim/.*)", [](const httplib::Request& req, httplib::Response& res) {
    reply_error(res, "unknown control path " + req.path);
  });
  server->Post(R"(.*)", [this](const httplib::Request& req, httplib::Response& res) {
    answerCentre(req, res);
  });
}

void Simulator::shutdown() {
  std::lock_guard<std::mutex> lock(stop_mu_);
  stopping_ = true;
  stop_cv_.notify_all();
}

bool Simulator::pause(int ms) {
  std::unique_lock<std::mutex> lock(stop_mu_);
  return !stop_cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void Simulator::answerCentre(const httplib::Request& req, httplib::Response& res) {
  InFlight in_flight(log_);
  Json::Value request;
  if (!JsonParse(req.body, request)) request = Json::Value();
  std::string root = root_of(request);
  std::vector<std::pair<std::string, std::string>> headers(req.headers.begin(), req.headers.end());
  Json::Value rec = log_->record(req.path, headers, root, req.body);
  bool scripted = false;
  Answer answer = book_.take(root, &scripted);
  // The store answers unless a scripted answer says what to answer; one
  // that only delays, drops or sets the status leaves the answer to it.
  const bool by_store = store_ != nullptr && CardStore::answers(root) &&
                        !(scripted && (answer.has_body || !answer.fields.empty()));

  // The store carries the request out even when its answer is then
  // dropped: the centre did the work and the answer got lost on the way.
  // A delay cut short by the shutdown carries nothing out.
  Json::Value stored;
  if (answer.delay_ms > 0 && !pause(answer.delay_ms)) {
    answer.drop = true;
  } else if (by_store) {
    stored = store_->answer(root, request);
  }
  if (answer.drop) {
    dropConnection(req);
    if (verbose_)
      std::fprintf(stderr, "#%lld %s -> dropped\n", static_cast<long long>(rec["seq"].asInt64()),
                   root.c_str());
    return;
  }

  res.status = answer.status;
  if (by_store) {
    res.set_content(JsonOut(stored, false), answer.content_type.c_str());
  } else if (answer.has_body) {
    res.set_content(answer.body, answer.content_type.c_str());
  } else if (root.empty()) {
    // A body without a root: the centre cannot tell the operation.
    if (answer.root != "*") res.status = 400;
    res.set_content(JsonOut(malformedRequestAnswer(), false), answer.content_type.c_str());
  } else {
    res.set_content(JsonOut(defaultAnswer(root, request, answer.fields), false),
                    answer.content_type.c_str());
  }
  if (verbose_) {
    std::fprintf(stderr, "#%lld %s -> %d\n", static_cast<long long>(rec["seq"].asInt64()),
                 root.c_str(), res.status);
  }
}

void Simulator::setAnswers(const httplib::Request& req, httplib::Response& res) {
  Json::Value value;
  if (!JsonParse(req.body, value)) return reply_error(res, "the body is not JSON");
  std::vector<Answer> answers;
  std::string error;
  if (!parseAnswers(value, &answers, &error)) return reply_error(res, error);
  book_.set(answers);
  Json::Value ok(Json::objectValue);
  ok["ok"] = true;
  reply_json(res, 200, ok);
}

void Simulator::reset(httplib::Response& res) {
  book_.clear();
  book_.set(initial_);
  log_->clear();
  Json::Value ok(Json::objectValue);
  ok["ok"] = true;
  reply_json(res, 200, ok);
}

}  // namespace sim
