#include "support/daemon_process.h"

#include <signal.h>

#include <chrono>

#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {
const char* const kReadyLine = "Сервер инициализирован и готов к принятию соединений на порту ";
}

NorvalenDaemon::~NorvalenDaemon() {
  if (process_.pid() > 0 && process_.running()) {
    process_.kill(SIGTERM);
    process_.wait(std::chrono::seconds(5));
  }
}

std::string NorvalenDaemon::writeConfig(const std::string& url, const Json::Value& extra) {
  port_ = FindFreeTcpPort();
  Json::Value conf(Json::objectValue);
  if (!url.empty()) conf["ConnectionString"] = url;
  conf["DbPath"] = dir_.path();
  conf["LogPath"] = dir_.path();
  conf["RunPath"] = dir_.path();
  conf["Port"] = port_;
  conf["ConnectTimeout"] = 5;
  conf["SendRecvTimeout"] = 5;
  if (extra.isObject()) {
    for (const std::string& key : extra.getMemberNames()) conf[key] = extra[key];
  }
  if (conf["Port"].isInt()) port_ = conf["Port"].asInt();
  configPath_ = dir_.writeFile("tavrel.conf", JsonOut(conf, true));
  return configPath_;
}

bool NorvalenDaemon::start(const std::string& url, const Json::Value& extra,
                           const std::vector<std::string>& args) {
  writeConfig(url, extra);
  std::vector<std::string> all = {"-d", "-c", configPath_};
  all.insert(all.end(), args.begin(), args.end());
  if (!startProcess(all)) return false;
  return process_.waitForStdout(kReadyLine, readyWait_);
}

bool NorvalenDaemon::launch(const std::vector<std::string>& args) { return startProcess(args); }

void NorvalenDaemon::runUnder(const std::vector<std::string>& wrapper,
                              std::chrono::milliseconds readyWait) {
  wrapper_ = wrapper;
  readyWait_ = readyWait;
}

bool NorvalenDaemon::startProcess(const std::vector<std::string>& args) {
  if (wrapper_.empty()) return process_.start(NORVALEN_BIN, args);
  std::vector<std::string> all(wrapper_.begin() + 1, wrapper_.end());
  all.push_back(NORVALEN_BIN);
  all.insert(all.end(), args.begin(), args.end());
  return process_.start(wrapper_.front(), all);
}

std::string NorvalenDaemon::error() const {
  return "stdout:\n" + process_.stdoutText() + "\nstderr:\n" + process_.stderrText();
}

bool NorvalenDaemon::stop() {
  if (!process_.kill(SIGTERM)) return false;
  std::optional<ExitStatus> status = process_.wait(std::chrono::seconds(10));
  return status && *status == ExitStatus::Exited(0);
}
