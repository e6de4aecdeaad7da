// The record of the centre requests that the simulator received: kept in
// memory for /_sim/requests and, when a file is given, appended to it as one
// JSON line per request. Also counts the requests in flight, so that a test
// can tell whether its client ever ran two centre calls at once.
#ifndef TAVREL_SIM_SIM_REQUESTS_H_
#define TAVREL_SIM_SIM_REQUESTS_H_

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

namespace sim {

class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Appends records to `path` from now on. False when it cannot be opened.
  bool openFile(const std::string& path);

  // Keeps one record {"seq", "time", "path", "root", "headers", "body"} and
  // returns it. Header names keep the client's spelling; repeated headers
  // are joined with ", ".
  Json::Value record(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& headers,
                     const std::string& root, const std::string& body);

  // A JSON array of the records kept, oldest first: the last kKeptRecords,
  // so that a long demo or benchmark run does not grow without end (the
  // record file keeps every one).
  Json::Value requests() const;
  static const std::size_t kKeptRecords = 10000;

  // In-flight accounting around the handling of one centre request.
  void enter();
  void leave();
  // {"requests": records since start or the last clear, "in_flight": now, "max_in_flight": the most
  //  at once since start or the last clear}
  Json::Value stats() const;

  // Forgets the records and the counters (the file keeps its lines).
  void clear();

 private:
  mutable std::mutex mu_;
  std::deque<Json::Value> records_;
  long long next_seq_ = 1;
  int in_flight_ = 0;
  int max_in_flight_ = 0;
  std::FILE* file_ = nullptr;
};

}  // namespace sim

#endif  // TAVREL_SIM_SIM_REQUESTS_H_
