// tavrel-sim: a stand-in for the Tavrel processing centre. Listens on one
// port, answers POST on any path by the root member of the JSON body, and
// takes its scripted answers from a file at start and from /_sim/ while it
// runs. With --cards it is a small centre with cards and balances (the
// demo mode). Stops on SIGTERM or SIGINT.
#include <getopt.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include <httplib.h>

#include "sim_answers.h"
#include "sim_requests.h"
#include "sim_server.h"
#include "sim_store.h"
#include "util/json_value.h"

namespace {

const char kUsage[] =
    "usage: tavrel-sim [options]\n"
    "  -p, --port N        port to listen on (default 0: any free port)\n"
    "  -H, --host ADDR     address to listen on (default 127.0.0.1)\n"
    "  -s, --script FILE   answers to give from the start (JSON, see docs)\n"
    "  -r, --record FILE   append every centre request to FILE, one JSON line each\n"
    "      --cards FILE    demo mode: answer from the cards of FILE (JSON, see docs)\n"
    "      --state FILE    keep the balances and orders in FILE across restarts\n"
    "      --cert FILE     serve HTTPS with this certificate (PEM) ...\n"
    "      --key FILE      ... and this private key (PEM)\n"
    "  -v, --verbose       one line on standard error per centre request\n"
    "  -h, --help          this text\n"
    "Prints \"tavrel-sim listening on <scheme>://<host>:<port>\" when ready.\n";

struct Options {
  int port = 0;
  std::string host = "127.0.0.1";
  std::string script;
  std::string record;
  std::string cards;
  std::string state;
  std::string cert;
  std::string key;
  bool verbose = false;
};

// 0 to run, otherwise the exit status (after printing help or an error).
int parse_options(int argc, char** argv, Options* opt) {
  enum { kCert = 1000, kKey, kCards, kState };
  static const option kLong[] = {{"port", required_argument, nullptr, 'p'},
                                 {"host", required_argument, nullptr, 'H'},
                                 {"script", required_argument, nullptr, 's'},
                                 {"record", required_argument, nullptr, 'r'},
                                 {"cert", required_argument, nullptr, kCert},
                                 {"key", required_argument, nullptr, kKey},
                                 {"cards", required_argument, nullptr, kCards},
                                 {"state", required_argument, nullptr, kState},
                                 {"verbose", no_argument, nullptr, 'v'},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
  int c;
  while ((c = getopt_long(argc, argv, "p:H:s:r:vh", kLong, nullptr)) != -1) {
    switch (c) {
      case 'p': {
        char* end = nullptr;
        long port = std::strtol(optarg, &end, 10);
        if (end == optarg || *end != '\0' || port < 0 || port > 65535) {
          std::fprintf(stderr, "tavrel-sim: bad port \"%s\"\n", optarg);
          return 2;
        }
        opt->port = static_cast<int>(port);
        break;
      }
      case 'H':
        opt->host = optarg;
        break;
      case 's':
        opt->script = optarg;
        break;
      case 'r':
        opt->record = optarg;
        break;
      case kCert:
        opt->cert = optarg;
        break;
      case kKey:
        opt->key = optarg;
        break;
      case kCards:
        opt->cards = optarg;
        break;
      case kState:
        opt->state = optarg;
        break;
      case 'v':
        opt->verbose = true;
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        return -1;
      default:
        std::fputs(kUsage, stderr);
        return 2;
    }
  }
  if (optind < argc) {
    std::fprintf(stderr, "tavrel-sim: unexpected argument \"%s\"\n", argv[optind]);
    return 2;
  }
  if (opt->cert.empty() != opt->key.empty()) {
    std::fputs("tavrel-sim: --cert and --key go together\n", stderr);
    return 2;
  }
  if (!opt->state.empty() && opt->cards.empty()) {
    std::fputs("tavrel-sim: --state needs --cards\n", stderr);
    return 2;
  }
  return 0;
}

bool load_script(const std::string& path, std::vector<sim::Answer>* answers) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "tavrel-sim: cannot read script \"%s\"\n", path.c_str());
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  Json::Value value;
  std::string error;
  if (!JsonParse(text.str(), value)) {
    error = "not JSON";
  } else if (parseAnswers(value, answers, &error)) {
    return true;
  }
  std::fprintf(stderr, "tavrel-sim: script \"%s\": %s\n", path.c_str(), error.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  int rc = parse_options(argc, argv, &opt);
  if (rc != 0) return rc < 0 ? 0 : rc;

  std::vector<sim::Answer> initial;
  if (!opt.script.empty() && !load_script(opt.script, &initial)) return 2;

  std::unique_ptr<sim::CardStore> store;
  if (!opt.cards.empty()) {
    store = std::make_unique<sim::CardStore>();
    std::string error;
    if (!store->open(opt.cards, opt.state, &error)) {
      std::fprintf(stderr, "tavrel-sim: %s\n", error.c_str());
      return 2;
    }
  }

  sim::RequestLog log;
  if (!opt.record.empty() && !log.openFile(opt.record)) {
    std::fprintf(stderr, "tavrel-sim: cannot open record file \"%s\"\n", opt.record.c_str());
    return 2;
  }

  // Signals are taken by sigwait below, so every thread must block them. A
  // shell starts background jobs with SIGINT ignored, and an ignored signal
  // never reaches sigwait: take the default back first.
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<httplib::Server> server;
  if (opt.cert.empty()) {
    server = std::make_unique<httplib::Server>();
  } else {
    auto tls = std::make_unique<httplib::SSLServer>(opt.cert.c_str(), opt.key.c_str());
    if (!tls->is_valid()) {
      std::fputs("tavrel-sim: cannot use the certificate or key\n", stderr);
      return 2;
    }
    server = std::move(tls);
  }
  // Address reuse only: with the library's default port sharing a second
  // simulator on a taken port would start and split the requests.
  server->set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // No centre body comes near this (the daemon reads POS requests of at
  // most 512 KiB); a larger one is refused with 413 and never held whole.
  server->set_payload_max_length(16 * 1024 * 1024);
  // Delayed answers hold a worker each; keep enough for a benchmark's load.
  server->new_task_queue = [] { return new httplib::ThreadPool(64); };

  sim::Simulator simulator(initial, &log, store.get(), opt.verbose);
  simulator.install(server.get());

  int port = opt.port;
  if (port == 0) {
    port = server->bind_to_any_port(opt.host);
  } else if (!server->bind_to_port(opt.host, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "tavrel-sim: cannot listen on %s:%d\n", opt.host.c_str(), opt.port);
    return 1;
  }
  std::printf("tavrel-sim listening on %s://%s:%d\n", opt.cert.empty() ? "http" : "https",
              opt.host.c_str(), port);
  std::fflush(stdout);

  std::thread listener([&server] { server->listen_after_bind(); });
  int sig = 0;
  sigwait(&stop_signals, &sig);
  simulator.shutdown();
  server->stop();
  listener.join();
  return 0;
}
