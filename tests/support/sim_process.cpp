#include "support/sim_process.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <httplib.h>

#include "util/json_value.h"

namespace {

const char kListening[] = "tavrel-sim listening on ";

}  // namespace

TavrelSim::~TavrelSim() {
  if (!stopped_ && process_.pid() > 0) stop();
}

bool TavrelSim::start(const std::string& script, const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args = {"--port", "0", "--record", recordPath()};
  if (!script.empty()) {
    std::string path = dir_.writeFile("script.json", script);
    if (path.empty()) {
      error_ = "cannot write the script file";
      return false;
    }
    args.push_back("--script");
    args.push_back(path);
  }
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  if (std::find(extraArgs.begin(), extraArgs.end(), "--cert") != extraArgs.end()) scheme_ = "https";

  if (!process_.start(TAVREL_SIM_BIN, args)) {
    error_ = process_.error();
    return false;
  }
  if (!process_.waitForStdout("\n", std::chrono::seconds(10))) {
    error_ = "tavrel-sim did not start: " + process_.stderrText();
    return false;
  }
  std::string out = process_.stdoutText();
  size_t at = out.find(kListening);
  size_t colon = out.rfind(':', out.find('\n'));
  if (at == std::string::npos || colon == std::string::npos) {
    error_ = "unexpected first line: " + out;
    return false;
  }
  port_ = std::atoi(out.c_str() + colon + 1);
  return port_ > 0;
}

std::string TavrelSim::url(const std::string& path) const {
  return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
}

bool TavrelSim::control(const char* method, const std::string& path, const std::string& body,
                        std::string* answer) const {
  httplib::Client client(url(""));
  client.enable_server_certificate_verification(false);
  client.set_connection_timeout(5);
  client.set_read_timeout(10);
  httplib::Result res = std::string(method) == "GET"
                            ? client.Get(path.c_str())
                            : client.Post(path.c_str(), body, "application/json");
  if (!res) return false;
  if (answer != nullptr) *answer = res->body;
  return res->status == 200;
}

bool TavrelSim::setAnswer(const std::string& answerJson) {
  return control("POST", "/_sim/answer", answerJson, nullptr);
}

bool TavrelSim::setAnswer(const Json::Value& answer) { return setAnswer(JsonOut(answer, false)); }

bool TavrelSim::reset() { return control("POST", "/_sim/reset", "", nullptr); }

Json::Value TavrelSim::requests() const {
  std::string text;
  Json::Value value;
  if (!control("GET", "/_sim/requests", "", &text) || !JsonParse(text, value)) return Json::Value();
  return value;
}

std::vector<Json::Value> TavrelSim::bodiesOf(const std::string& root) const {
  std::vector<Json::Value> bodies;
  Json::Value all = requests();
  for (const Json::Value& rec : all) {
    if (rec["root"].asString() != root) continue;
    Json::Value body;
    if (JsonParse(rec["body"].asString(), body)) bodies.push_back(body);
  }
  return bodies;
}

Json::Value TavrelSim::stats() const {
  std::string text;
  Json::Value value;
  if (!control("GET", "/_sim/stats", "", &text) || !JsonParse(text, value)) return Json::Value();
  return value;
}

bool TavrelSim::stop() {
  stopped_ = true;
  if (process_.pid() <= 0) return false;
  process_.kill(SIGTERM);
  std::optional<ExitStatus> status = process_.wait(std::chrono::seconds(10));
  if (!status) {
    process_.kill(SIGKILL);
    process_.wait(std::chrono::seconds(5));
    return false;
  }
  return *status == ExitStatus::Exited(0);
}
