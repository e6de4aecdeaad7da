// The simulated processing centre on an HTTP server: every POST outside
// /_sim/ is a centre request, answered from the AnswerBook; /_sim/ is the
// control interface of tests and demos:
//   POST /_sim/answer    one answer object or an array (see sim_answers.h)
//   GET  /_sim/answers   the scripted answers now in force
//   GET  /_sim/requests  the recorded centre requests, oldest first
//   GET  /_sim/stats     {"requests", "in_flight", "max_in_flight"}
//   POST /_sim/reset     back to the answers given at start; records and
//                        counters cleared
//   GET  /_sim/cards     the card store's cards and orders (demo mode only)
// In demo mode the card store answers the money operations and card
// information; a scripted answer with a "body" or "fields" still wins,
// one without only shapes how the store's answer is delivered.
#ifndef TAVREL_SIM_SIM_SERVER_H_
#define TAVREL_SIM_SIM_SERVER_H_

#include <condition_variable>
#include <mutex>
#include <vector>

#include <httplib.h>

#include "sim_answers.h"
#include "sim_requests.h"
#include "sim_store.h"

namespace sim {

class Simulator {
 public:
  // `initial` are the answers of the script given at start; `store` is the
  // card store of the demo mode, or null.
  Simulator(std::vector<Answer> initial, RequestLog* log, CardStore* store, bool verbose);

  // Registers the handlers; the server must outlive the simulator's use.
  void install(httplib::Server* server);

  // Wakes every delayed answer so that the server can stop at once.
  void shutdown();

 private:
  void answerCentre(const httplib::Request& req, httplib::Response& res);
  void setAnswers(const httplib::Request& req, httplib::Response& res);
  void reset(httplib::Response& res);
  // Waits `ms` milliseconds or until shutdown; false when shut down.
  bool pause(int ms);

  std::vector<Answer> initial_;
  AnswerBook book_;
  RequestLog* log_;
  CardStore* store_;
  bool verbose_;

  std::mutex stop_mu_;
  std::condition_variable stop_cv_;
  bool stopping_ = false;
};

}  // namespace sim

#endif  // TAVREL_SIM_SIM_SERVER_H_
