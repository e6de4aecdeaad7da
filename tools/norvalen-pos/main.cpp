// norvalen-pos: talks to the daemon as the POS program does, for support
// staff. Sends each request, prints the reply lines as they arrive and waits
// for all replies of a request before sending the next one.
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pos_link.h"
#include "reply_count.h"
#include "request_source.h"
#include "util/convert.h"

namespace {

enum ExitStatusCode {
  kExitDone = 0,
  kExitUsage = 1,
  kExitNoConnection = 2,
  kExitTimedOut = 3,
  kExitClosedEarly = 4,
};

constexpr char kProgram[] = "norvalen-pos";
constexpr unsigned short kDefaultPort = 54122;
constexpr double kDefaultTimeoutSeconds = 30;
// The daemon refuses a request longer than this many bytes.
constexpr std::size_t kDaemonReceiveBuffer = 524288;
// A request that gets no reply is given this long to be read on its own
// before the next one follows, so that a peer that takes one receive as one
// request (a simple test server, say) does not merge the two.
constexpr std::chrono::milliseconds kSettleAfterSilentRequest(200);

constexpr char kUsage[] =
    "Usage: norvalen-pos [-H host] [-p port] [-f file] [-t seconds] [-r root] [request ...]\n"
    "Sends POS requests to the norvalen daemon and prints its reply lines.\n"
    "\n"
    "  -H host     daemon host (default localhost)\n"
    "  -p port     daemon port (default 54122)\n"
    "  -f file     read requests from file, one per line (\"-\": standard input)\n"
    "  -t seconds  how long to wait for each reply line (default 30)\n"
    "  -r root     root member of the requests (default TVL; '' when the commands\n"
    "              stand at the top level of the request)\n"
    "  -h          show this help\n"
    "\n"
    "Requests come from the arguments, else from the file, else from standard\n"
    "input; blank lines are skipped. After each request the tool waits for one\n"
    "reply line per command before \"End\" (one line for a request the daemon\n"
    "cannot read). After a request with \"End\" the next request, if any, goes\n"
    "over a new connection.\n"
    "\n"
    "Exit status: 0 done, 1 usage error, 2 cannot connect, 3 no reply in time,\n"
    "4 connection lost before all replies arrived.\n";

struct Options {
  std::string host = "localhost";
  unsigned short port = kDefaultPort;
  std::string file;  // empty: not given
  int timeoutMs = static_cast<int>(kDefaultTimeoutSeconds * 1000);
  std::string root = "TVL";
  std::vector<std::string> requests;
};

void complain(const std::string& text) { std::cerr << kProgram << ": " << text << "\n"; }

bool parse_port(const std::string& text, unsigned short* port) {
  int value = 0;
  unsigned int end = 0;
  if (_stoi(text, &value, &end, 10) != 0 || end != text.size() || value < 1 || value > 65535) {
    return false;
  }
  *port = static_cast<unsigned short>(value);
  return true;
}

bool parse_timeout(const std::string& text, int* timeoutMs) {
  double seconds = 0;
  unsigned int end = 0;
  if (_stod(text, &seconds, &end) != 0 || end != text.size() || !std::isfinite(seconds) ||
      seconds <= 0 || seconds > 86400) {
    return false;
  }
  *timeoutMs = std::max(1, static_cast<int>(std::lround(seconds * 1000)));
  return true;
}

// Returns -1 to go on, else the exit status.
int parse_options(int argc, char** argv, Options* options) {
  int option;
  bool fileGiven = false;
  // "+": the first request ends the options, whatever it holds.
  while ((option = ::getopt(argc, argv, "+H:p:f:t:r:h")) != -1) {
    switch (option) {
      case 'H':
        options->host = optarg;
        break;
      case 'p':
        if (!parse_port(optarg, &options->port)) {
          complain(std::string("bad port: ") + optarg);
          return kExitUsage;
        }
        break;
      case 'f':
        options->file = optarg;
        fileGiven = true;
        break;
      case 't':
        if (!parse_timeout(optarg, &options->timeoutMs)) {
          complain(std::string("bad time-out: ") + optarg);
          return kExitUsage;
        }
        break;
      case 'r':
        options->root = optarg;
        break;
      case 'h':
        std::cout << kUsage;
        return kExitDone;
      default:
        std::cerr << kUsage;
        return kExitUsage;
    }
  }
  for (int i = optind; i < argc; ++i) options->requests.emplace_back(argv[i]);
  if (fileGiven && !options->requests.empty()) {
    complain("give requests either as arguments or with -f, not both");
    return kExitUsage;
  }
  if (fileGiven && options->file.empty()) {
    complain("-f needs a file name");
    return kExitUsage;
  }
  return -1;
}

std::string seconds_text(int milliseconds) {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", milliseconds / 1000.0);
  return text;
}

void print_reply(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Sends every request of `source` and prints the replies; the exit status.
int converse(const Options& options, RequestSource* source) {
  PosLink link;
  std::string request;
  std::string error;
  // Connecting before the first request is read tells at once whether the
  // daemon is there, also to someone about to type requests.
  if (link.open(options.host, options.port, options.timeoutMs, &error) != 0) {
    complain(error);
    return kExitNoConnection;
  }
  while (source->next(&request)) {
    if (!link.isOpen() && link.open(options.host, options.port, options.timeoutMs, &error) != 0) {
      complain(error);
      return kExitNoConnection;
    }
    if (request.size() > kDaemonReceiveBuffer) {
      complain("warning: request of " + std::to_string(request.size()) +
               " bytes is longer than the daemon accepts");
    }
    const ReplyExpectation expected = ExpectReplies(request, options.root);
    if (!link.send(request, &error)) {
      complain("cannot send the request: " + error);
      return kExitClosedEarly;
    }
    for (int received = 0; received < expected.replies; ++received) {
      std::string line;
      const PosLink::ReadResult result = link.readLine(options.timeoutMs, &line);
      if (result == PosLink::kLine) {
        print_reply(line);
        continue;
      }
      if (result == PosLink::kTimedOut) {
        complain("no reply within " + seconds_text(options.timeoutMs) + " s (" +
                 std::to_string(received) + " of " + std::to_string(expected.replies) +
                 " replies received)");
        return kExitTimedOut;
      }
      if (!line.empty()) print_reply(line);
      if (expected.holdsEnd) break;
      complain("the daemon closed the connection after " + std::to_string(received) + " of " +
               std::to_string(expected.replies) + " replies");
      return kExitClosedEarly;
    }
    if (expected.holdsEnd) {
      link.close();
    } else if (expected.replies == 0) {
      std::this_thread::sleep_for(kSettleAfterSilentRequest);
    }
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int status = parse_options(argc, argv, &options);
  if (status >= 0) return status;

  std::ifstream file;
  std::unique_ptr<RequestSource> source;
  if (!options.requests.empty()) {
    source = std::make_unique<RequestSource>(options.requests);
  } else if (!options.file.empty() && options.file != "-") {
    file.open(options.file, std::ios::binary);
    if (!file) {
      complain("cannot read " + options.file);
      return kExitUsage;
    }
    source = std::make_unique<RequestSource>(&file);
  } else {
    source = std::make_unique<RequestSource>(&std::cin);
  }
  return converse(options, source.get());
}
