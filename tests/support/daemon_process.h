// NorvalenDaemon: the real norvalen binary, started by a test in the
// foreground (-d) or as a daemon, with its configuration, journal, logs and
// pid file in a private directory and a free listening port.
//
//   NorvalenDaemon daemon;
//   ASSERT_TRUE(daemon.start(sim.url()));
//   TcpClient pos;
//   ASSERT_TRUE(pos.connect(daemon.port()));
#ifndef NORVALEN_TESTS_SUPPORT_DAEMON_PROCESS_H_
#define NORVALEN_TESTS_SUPPORT_DAEMON_PROCESS_H_

#include <chrono>
#include <string>
#include <vector>

#include <json/json.h>

#include "support/proc.h"
#include "support/tempdir.h"

class NorvalenDaemon {
 public:
  NorvalenDaemon() = default;
  ~NorvalenDaemon();
  NorvalenDaemon(const NorvalenDaemon&) = delete;
  NorvalenDaemon& operator=(const NorvalenDaemon&) = delete;

  // The configuration: "ConnectionString" `url` (left out when empty), the
  // private directory for "DbPath", "LogPath" and "RunPath", a free "Port",
  // and the members of `extra` on top (they win).
  std::string writeConfig(const std::string& url, const Json::Value& extra = Json::Value());

  // Starts `norvalen -d -c <config>` plus `args` and waits for the ready
  // line. False, with the output in error(), when it did not get there.
  bool start(const std::string& url, const Json::Value& extra = Json::Value(),
             const std::vector<std::string>& args = {});
  // Starts with `args` only (the caller's -c and -d) and returns at once.
  bool launch(const std::vector<std::string>& args);

  // Later starts run the daemon under `wrapper`: its program path and its
  // arguments (valgrind and its options, say), then the daemon's path and
  // arguments. start() then waits up to `readyWait` for the ready line.
  void runUnder(const std::vector<std::string>& wrapper, std::chrono::milliseconds readyWait);

  int port() const { return port_; }
  TempDir& dir() { return dir_; }
  Process& process() { return process_; }
  const std::string& configPath() const { return configPath_; }
  std::string journalPath() const { return dir_.file("tavrel.db3"); }
  std::string error() const;

  // SIGTERM; true when the foreground process then exited with status 0.
  bool stop();

 private:
  bool startProcess(const std::vector<std::string>& args);

  TempDir dir_;
  Process process_;
  std::string configPath_;
  int port_ = -1;
  std::vector<std::string> wrapper_;
  std::chrono::milliseconds readyWait_ = std::chrono::seconds(15);
};

#endif  // NORVALEN_TESTS_SUPPORT_DAEMON_PROCESS_H_
