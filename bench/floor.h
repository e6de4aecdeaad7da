// The cost floor of the daemon's work: what a POS operation costs when it
// is done directly, with nothing of the daemon in between.
//
//   CentreCall: one HTTP POST of a ready body with a fresh libcurl handle,
//     set up as the daemon sets up its centre calls (the same headers and
//     options, the body handed over by a read callback), the answer read
//     into memory. libcurl's global state is held for the whole run.
//   FloorJournal: the journal's two writes of an operation, the row with
//     the request before the call and its reply and outcome after it, as
//     single statements on a SQLite file with the journal's schema.
//
// Both return 0 on success; otherwise libcurl's or SQLite's code.
#ifndef NORVALEN_BENCH_FLOOR_H_
#define NORVALEN_BENCH_FLOOR_H_

#include <string>

#include "storage/sqlite_handles.h"

namespace bench {

// libcurl's process-wide set-up, held for the life of the benchmark.
class CurlSetup {
 public:
  CurlSetup();
  ~CurlSetup();
  CurlSetup(const CurlSetup&) = delete;
  CurlSetup& operator=(const CurlSetup&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// POSTs `body` to `url`; the HTTP status in *status, the answer in *answer.
int CentreCall(const std::string& url, const std::string& body, long* status,
               std::string* answer);

// The fields of a journal row that the floor writes, as the daemon wrote
// them for the same kind of operation.
struct FloorRow {
  int operType = 0;
  std::string dateTime;
  std::string orderUuid;
  std::string chequeId;
  std::string chequeRownum;
  std::string parentId;
  std::string terminal;
  std::string location;
  std::string shift;
  std::string shiftDate;
  std::string request;
  std::string response;
};

class FloorJournal {
 public:

  // Opens the existing journal file at `path` (see CreateJournal).
  int open(const std::string& path);
  // Runs a statement without results, such as "BEGIN".
  int exec(const char* sql);
  // The row before the centre call: `row` under `key`, with its request.
  int insert(const std::string& key, const FloorRow& row);
  // After the call: the row's reply, outcome 0 and offline mark 0.
  int complete(const std::string& key, const FloorRow& row);

 private:
  storage::Connection db_;
  storage::Statement insert_;
  storage::Statement update_;
};

// Creates a journal file at `path` with the journal's schema and `rows`
// finished operations in it (payments and commits, in pairs, with requests
// and replies of a usual size), so that a run can start on a full journal.
int CreateJournal(const std::string& path, int rows);

}  // namespace bench

#endif  // NORVALEN_BENCH_FLOOR_H_
