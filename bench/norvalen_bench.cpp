// norvalen-bench: how close the daemon comes to the cost floor of its work.
//
// For each cheque size and journal size it starts tavrel-sim and the real
// daemon on loopback and times, as a POS sees them, CardInfo and PayBonus
// followed by Commit. In the same run, interleaved sample by sample so that
// the machine's ups and downs fall on both alike, it times the floor: the
// same centre bodies POSTed directly with a fresh libcurl handle each (the
// daemon's way of calling) to the same simulator, plus the same journal
// writes on a journal file in the same directory. It prints the median and
// the 99th percentile of each and the ratio daemon / floor.
//
//   norvalen-bench [--samples N] [--warmup N] [--lines 1,100,1000]
//                  [--rows 0,100000] [--goal 1.10] [--check]
//
// --check makes the exit status 1 when a ratio is over the goal. Run it
// through scripts/bench, which builds what it needs first.
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <curl/curl.h>
#include <sqlite3.h>

#include "floor.h"
#include "support/daemon_process.h"
#include "support/sim_process.h"
#include "support/sqlite_query.h"
#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int samples = 200;
  int warmup = 20;
  std::vector<int> lines = {1, 100, 1000};
  std::vector<int> rows = {0, 100000};
  double goal = 1.10;
  bool check = false;
};

std::optional<std::vector<int>> ParseList(const std::string& text) {
  std::vector<int> values;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    char* end = nullptr;
    const long value = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || value < 0 || value > 10000000) return std::nullopt;
    values.push_back(static_cast<int>(value));
  }
  if (values.empty()) return std::nullopt;
  return values;
}

bool ParseOptions(int argc, char** argv, Options* opt) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    std::optional<std::vector<int>> list;
    if (arg == "--check") {
      opt->check = true;
    } else if (arg == "--goal" && hasValue) {
      opt->goal = std::atof(argv[++i]);
      if (opt->goal <= 1.0) return false;
    } else if ((arg == "--samples" || arg == "--warmup") && hasValue &&
               (list = ParseList(argv[++i])) && list->size() == 1) {
      (arg == "--samples" ? opt->samples : opt->warmup) = list->front();
      if (opt->samples < 1) return false;
    } else if ((arg == "--lines" || arg == "--rows") && hasValue &&
               (list = ParseList(argv[++i]))) {
      (arg == "--lines" ? opt->lines : opt->rows) = *list;
    } else {
      return false;
    }
  }
  return true;
}

// Nearest-rank percentile `percent` (1-100) of `ms`: the smallest value
// that at least that share of the samples do not exceed.
double Percentile(std::vector<double> ms, int percent) {
  std::sort(ms.begin(), ms.end());
  std::size_t rank = (static_cast<std::size_t>(percent) * ms.size() + 99) / 100;
  rank = std::min(std::max<std::size_t>(rank, 1), ms.size());
  return ms[rank - 1];
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string FirstLineWith(const char* path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) == 0) {
      const std::size_t colon = line.find(':');
      std::size_t from = colon == std::string::npos ? key.size() : colon + 1;
      while (from < line.size() && line[from] == ' ') ++from;
      return line.substr(from);
    }
  }
  return "unknown";
}

std::string FileSystemOf(const std::string& dir) {
  struct statfs fs;
  if (statfs(dir.c_str(), &fs) != 0) return "unknown";
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53: return "ext4";
    case 0x58465342: return "xfs";
    case 0x9123683E: return "btrfs";
    case 0x01021994: return "tmpfs";
    case 0x794C7630: return "overlayfs";
    default: {
      char hex[32];
      std::snprintf(hex, sizeof hex, "type 0x%lx", static_cast<unsigned long>(fs.f_type));
      return hex;
    }
  }
}

void PrintMachine(const std::string& journalDir) {
  struct utsname os;
  uname(&os);
  std::printf("machine: %s, %ld cores, %s %s %s\n",
              FirstLineWith("/proc/cpuinfo", "model name").c_str(), sysconf(_SC_NPROCESSORS_ONLN),
              os.sysname, os.release, os.machine);
  std::printf("journal directory: %s (%s); libcurl %s, SQLite %s\n", journalDir.c_str(),
              FileSystemOf(journalDir).c_str(), curl_version_info(CURLVERSION_NOW)->version,
              sqlite3_libversion());
}

// The cheque of `lines` purchase lines, as the POS sends it.
std::string Cheque(int lines) {
  std::string out = "[";
  for (int i = 1; i <= lines; ++i) {
    if (i > 1) out += ",";
    out += R"({"art":")" + std::to_string(i) + R"(","price":"95","base_price":"100","cnt":"2"})";
  }
  return out + "]";
}

const char kPayDate[] = "20261211100000";

struct Requests {
  std::string cardInfo;
  std::string cheque;
  std::string payBonus(long long checkNum) const {
    const std::string n = std::to_string(checkNum);
    return R"({"TVL":{"PayBonus":{"CardNum":"7001","CheckNum":")" + n + R"(","Check":)" + cheque +
           R"(,"Transact":{"ID":")" + n + R"(","DateTime":")" + kPayDate +
           R"(","Location":"12"}}}})";
  }
};
const char kCommit[] = R"({"TVL":{"Commit":{}}})";
const char kConnect[] = R"({"TVL":{"Connect":{}}})";

// One daemon, its POS connection and its journal, for one cheque and
// journal size.
class DaemonSide {
 public:
  bool start(TavrelSim* sim, int rows, std::string* why) {
    const int rc = bench::CreateJournal(daemon_.journalPath(), rows);
    if (rc != 0) {
      *why = "cannot create the daemon's journal: SQLite " + std::to_string(rc);
      return false;
    }
    if (!daemon_.start(sim->url())) {
      *why = "the daemon did not start:\n" + daemon_.error();
      return false;
    }
    if (!pos_.connect(daemon_.port())) {
      *why = "no POS connection to the daemon";
      return false;
    }
    return ask(kConnect, "Connect", why);
  }

  // Sends `request` and waits for its reply, which must be a success.
  bool ask(const std::string& request, const char* command, std::string* why) {
    if (!pos_.sendRaw(request)) {
      *why = std::string(command) + ": send failed";
      return false;
    }
    std::optional<std::string> line = pos_.readLine(std::chrono::seconds(30));
    Json::Value reply;
    if (!line || !JsonParse(*line, reply) || !reply.isObject() ||
        reply["TVL"][command]["err"] != "0") {
      *why = std::string(command) + ": no success reply: " + (line ? *line : "(nothing)");
      return false;
    }
    return true;
  }

  std::string journalDir() { return daemon_.dir().path(); }
  std::string journalPath() const { return daemon_.journalPath(); }
  NorvalenDaemon& daemon() { return daemon_; }

 private:
  NorvalenDaemon daemon_;
  TcpClient pos_;
};

// What the daemon sent to the centre and wrote to the journal for one
// operation, replayed by the floor.
struct FloorWork {
  std::string url;
  std::string body;
  std::optional<bench::FloorRow> row;  // none for CardInfo
};

// A UUID in its usual text form, from 128 random bits.
std::string RandomUuid(std::mt19937_64& bits) {
  char text[40];
  const unsigned long long a = bits(), b = bits();
  std::snprintf(text, sizeof text, "%08llx-%04llx-%04llx-%04llx-%012llx", a >> 32,
                (a >> 16) & 0xFFFF, a & 0xFFFF, b >> 48, b & 0xFFFFFFFFFFFFULL);
  return text;
}

// The last recorded centre request with root `root`.
bool LastSent(const TavrelSim& sim, const std::string& root, FloorWork* work) {
  const Json::Value records = sim.requests();
  if (!records.isArray()) return false;
  for (Json::ArrayIndex i = records.size(); i-- > 0;) {
    if (records[i]["root"].asString() == root) {
      work->url = sim.url(records[i]["path"].asString());
      work->body = records[i]["body"].asString();
      return true;
    }
  }
  return false;
}

// The latest finished row of `operType` in the daemon's journal.
bool LastRow(const std::string& journal, int operType, bench::FloorRow* row) {
  const std::vector<Row> rows = Query(
      journal,
      "SELECT ifnull(DateTime,''), ifnull(OrderUUID,''), ifnull(ChequeID,''),"
      " ifnull(ChequeRownum,''), ifnull(ParentID,''), ifnull(Terminal,''),"
      " ifnull(LocationID,''), ifnull(Shift,''), ifnull(ShiftDate,''), Request, Response"
      " FROM ALL_OPERATIONS WHERE OperType=" +
          std::to_string(operType) + " AND Response IS NOT NULL ORDER BY rowid DESC LIMIT 1");
  if (rows.size() != 1 || rows[0].size() != 11) return false;
  const Row& r = rows[0];
  row->operType = operType;
  row->dateTime = r[0];
  row->orderUuid = r[1];
  row->chequeId = r[2];
  row->chequeRownum = r[3];
  row->parentId = r[4];
  row->terminal = r[5];
  row->location = r[6];
  row->shift = r[7];
  row->shiftDate = r[8];
  row->request = r[9];
  row->response = r[10];
  return true;
}

// The floor's side: the same calls and journal writes, done directly.
class FloorSide {
 public:
  bool start(const std::string& journal, int rows, std::string* why) {
    int rc = bench::CreateJournal(journal, rows);
    if (rc == 0) rc = journal_.open(journal);
    if (rc != 0) *why = "cannot prepare the floor's journal: SQLite " + std::to_string(rc);
    return rc == 0;
  }

  bool call(const FloorWork& work, std::string* why) {
    long status = 0;
    const int rc = bench::CentreCall(work.url, work.body, &status, &answer_);
    if (rc != 0 || status != 200 || answer_.empty()) {
      *why = "floor call to " + work.url + " failed: curl " + std::to_string(rc) + ", HTTP " +
             std::to_string(status);
      return false;
    }
    return true;
  }

  // Row, call, reply: one journalled operation under a key of its own.
  bool operation(const FloorWork& work, const std::string& key, std::string* why) {
    int rc = journal_.insert(key, *work.row);
    if (rc == 0 && !call(work, why)) return false;
    if (rc == 0) rc = journal_.complete(key, *work.row);
    if (rc != 0) *why = "floor journal write failed: SQLite " + std::to_string(rc);
    return rc == 0;
  }

 private:
  bench::FloorJournal journal_;
  std::string answer_;
};

struct Figures {
  std::vector<double> daemon;
  std::vector<double> floor;
};

struct Result {
  std::string operation;
  int lines;
  int rows;
  double daemonMedian, daemonP99, floorMedian, floorP99;
  double ratioMedian() const { return daemonMedian / floorMedian; }
  double ratioP99() const { return daemonP99 / floorP99; }
};

Result Summarise(const std::string& operation, int lines, int rows, const Figures& f) {
  return {operation,           lines, rows, Percentile(f.daemon, 50), Percentile(f.daemon, 99),
          Percentile(f.floor, 50), Percentile(f.floor, 99)};
}

// Times `step` once; false (and the reason) when it failed.
bool Timed(const std::function<bool()>& step, std::vector<double>* into) {
  const Clock::time_point start = Clock::now();
  if (!step()) return false;
  into->push_back(MsSince(start));
  return true;
}

// One cheque size on one journal size: both operations, both sides.
bool RunCase(const Options& opt, TavrelSim* sim, int lines, int rows, std::vector<Result>* out,
             std::string* why) {
  if (!sim->reset()) {
    *why = "tavrel-sim did not reset";
    return false;
  }
  DaemonSide daemon;
  if (!daemon.start(sim, rows, why)) return false;
  FloorSide floor;
  if (!floor.start(daemon.journalDir() + "/floor.db3", rows, why)) return false;

  Requests requests;
  requests.cheque = Cheque(lines);
  requests.cardInfo =
      R"({"TVL":{"CardInfo":{"CardNum":"7001","Check":)" + requests.cheque + "}}}";
  long long checkNum = 1;
  auto daemonCard = [&] { return daemon.ask(requests.cardInfo, "CardInfo", why); };
  auto daemonPay = [&] {
    return daemon.ask(requests.payBonus(checkNum++), "PayBonus", why) &&
           daemon.ask(kCommit, "Commit", why);
  };
  for (int i = 0; i < std::max(opt.warmup, 1); ++i) {
    if (!daemonCard() || !daemonPay()) return false;
  }

  FloorWork card, pay, commit;
  pay.row.emplace();
  commit.row.emplace();
  if (!LastSent(*sim, "CardInfo", &card) || !LastSent(*sim, "PayBonus", &pay) ||
      !LastSent(*sim, "Commit", &commit) || !LastRow(daemon.journalPath(), 3, &*pay.row) ||
      !LastRow(daemon.journalPath(), 7, &*commit.row)) {
    *why = "cannot read back what the daemon sent and journalled";
    return false;
  }
  long long floorNum = 5000000;
  std::mt19937_64 uuidBits(floorNum);
  auto floorCard = [&] { return floor.call(card, why); };
  auto floorPay = [&] {
    const std::string n = std::to_string(floorNum++);
    // Each payment has an order UUID of its own, as the daemon's rows do,
    // so that the floor's index writes land at random places too.
    if (!pay.row->orderUuid.empty()) {
      pay.row->orderUuid = RandomUuid(uuidBits);
      commit.row->orderUuid = pay.row->orderUuid;
    }
    commit.row->parentId = pay.row->dateTime + "#" + n + "#3";
    return floor.operation(pay, commit.row->parentId, why) &&
           floor.operation(commit, commit.row->dateTime + "#" + n + "#7", why);
  };
  for (int i = 0; i < opt.warmup; ++i) {
    if (!floorCard() || !floorPay()) return false;
  }

  Figures cardFigures, payFigures;
  for (int i = 0; i < opt.samples; ++i) {
    // Alternate which side goes first, so that neither always follows the
    // other's disk writes.
    const bool daemonFirst = i % 2 == 0;
    bool ok = true;
    for (int turn = 0; turn < 2 && ok; ++turn) {
      if ((turn == 0) == daemonFirst) {
        ok = Timed(daemonCard, &cardFigures.daemon) && Timed(daemonPay, &payFigures.daemon);
      } else {
        ok = Timed(floorCard, &cardFigures.floor) && Timed(floorPay, &payFigures.floor);
      }
    }
    if (!ok) return false;
  }
  out->push_back(Summarise("CardInfo", lines, rows, cardFigures));
  out->push_back(Summarise("PayBonus+Commit", lines, rows, payFigures));
  if (!daemon.daemon().stop()) {
    *why = "the daemon did not stop cleanly:\n" + daemon.daemon().error();
    return false;
  }
  return true;
}

void PrintResult(const Result& r, double goal) {
  const bool met = r.ratioMedian() <= goal && r.ratioP99() <= goal;
  std::printf("%-16s %6d %7d  %8.3f %8.3f  %8.3f %8.3f  %6.3f %6.3f  %s\n", r.operation.c_str(),
              r.lines, r.rows, r.daemonMedian, r.daemonP99, r.floorMedian, r.floorP99,
              r.ratioMedian(), r.ratioP99(), met ? "ok" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseOptions(argc, argv, &opt)) {
    std::fputs(
        "usage: norvalen-bench [--samples N] [--warmup N] [--lines 1,100,1000]\n"
        "                      [--rows 0,100000] [--goal 1.10] [--check]\n",
        stderr);
    return 2;
  }
  bench::CurlSetup curl;
  TavrelSim sim;
  if (!curl.ok() || !sim.start()) {
    std::fprintf(stderr, "norvalen-bench: cannot start tavrel-sim: %s\n", sim.error().c_str());
    return 1;
  }
  {
    NorvalenDaemon probe;  // only to show where the journals live
    PrintMachine(probe.dir().path());
  }
  std::printf("%d samples per figure after %d warm-up rounds; times in ms;"
              " goal: daemon <= %.2f x floor\n\n",
              opt.samples, opt.warmup, opt.goal);
  std::printf("%-16s %6s %7s  %8s %8s  %8s %8s  %6s %6s\n", "operation", "lines", "rows",
              "daemon", "p99", "floor", "p99", "ratio", "p99");
  bool allMet = true;
  for (int rows : opt.rows) {
    for (int lines : opt.lines) {
      std::vector<Result> results;
      std::string why;
      if (!RunCase(opt, &sim, lines, rows, &results, &why)) {
        std::fprintf(stderr, "norvalen-bench: %d lines, %d rows: %s\n", lines, rows, why.c_str());
        return 1;
      }
      for (const Result& r : results) {
        PrintResult(r, opt.goal);
        allMet = allMet && r.ratioMedian() <= opt.goal && r.ratioP99() <= opt.goal;
      }
      std::fflush(stdout);
    }
  }
  return opt.check && !allMet ? 1 : 0;
}
