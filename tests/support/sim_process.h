// TavrelSim: the real tavrel-sim binary as the processing centre of a test,
// on a free loopback port, driven through its /_sim/ control interface.
//
//   TavrelSim sim;
//   ASSERT_TRUE(sim.start());                      // or start(scriptJson)
//   ASSERT_TRUE(sim.setAnswer(R"({"root":"PayBonus","fields":{"err":"5"}})"));
//   ... point the daemon's "ConnectionString" at sim.url() ...
//   Json::Value seen = sim.requests();             // array of records
//   EXPECT_LE(sim.stats()["max_in_flight"].asInt(), 1);
//
// Every request is also appended to recordPath(), one JSON line each. The
// destructor stops the simulator. Answers are described in
// docs/tavrel-sim.md. Not thread-safe.
#ifndef NORVALEN_TESTS_SUPPORT_SIM_PROCESS_H_
#define NORVALEN_TESTS_SUPPORT_SIM_PROCESS_H_

#include <string>
#include <vector>

#include <json/json.h>

#include "support/proc.h"
#include "support/tempdir.h"

class TavrelSim {
 public:
  TavrelSim() = default;
  ~TavrelSim();

  TavrelSim(const TavrelSim&) = delete;
  TavrelSim& operator=(const TavrelSim&) = delete;

  // Starts the simulator; `script` (JSON text of one answer or an array) is
  // written to a file and given with --script when not empty. `extraArgs`
  // go on the command line as well (for example --cert and --key). Waits
  // until it listens; false, with the reason in error(), when it does not.
  bool start(const std::string& script = "", const std::vector<std::string>& extraArgs = {});

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" (https with --cert) followed by `path`.
  std::string url(const std::string& path = "/") const;

  // POST /_sim/answer: one answer object or an array, as JSON text or value.
  bool setAnswer(const std::string& answerJson);
  bool setAnswer(const char* answerJson) { return setAnswer(std::string(answerJson)); }
  bool setAnswer(const Json::Value& answer);
  // POST /_sim/reset: back to the script, records and counters cleared.
  bool reset();

  // GET /_sim/requests: the recorded requests, oldest first (null on error).
  Json::Value requests() const;
  // The parsed bodies of the recorded requests with root `root`.
  std::vector<Json::Value> bodiesOf(const std::string& root) const;
  // GET /_sim/stats: {"requests", "in_flight", "max_in_flight"}.
  Json::Value stats() const;

  std::string recordPath() const { return dir_.file("requests.jsonl"); }
  const std::string& error() const { return error_; }
  Process& process() { return process_; }

  // SIGTERM, then waits; true when it exited with status 0.
  bool stop();

 private:
  bool control(const char* method, const std::string& path, const std::string& body,
               std::string* answer) const;

  TempDir dir_;
  Process process_;
  std::string error_;
  std::string scheme_ = "http";
  int port_ = -1;
  bool stopped_ = false;
};

#endif  // NORVALEN_TESTS_SUPPORT_SIM_PROCESS_H_
