// The POS side of the daemon: bytes of one connection through the request
// framer, and every request through processRequest, as a session does.
//
// The centre: the runner's "ConnectionString" is a URL to port 1 of the
// loopback address, where nothing listens (LLVMFuzzerInitialize makes sure
// and stops otherwise), with one attempt and time limits of one second. A
// request then goes the whole way a real one goes: the envelope, the
// command's request block read and checked, the body built, the money
// operations journalled, and the transfer refused at once by the system,
// after which the reply reports no connection. A runner with no URL at all
// was not taken: it refuses every operation with 20 before it reads the
// request block, so none of the request reading would be fuzzed. No server
// is started: the fake centre is a refused connection.
//
// The runner and its journal are made afresh for every input (the journal
// in a temporary directory, /dev/shm when there is one, removed
// afterwards), so that an input found here gives the same run when it is
// replayed alone and the journal cannot grow from one input to the next.
//
// The bytes are fed three ways: whole, in two receives split at a point
// taken from the input, and in small receives whose size comes from the
// input. The requests of the whole feed are run; those of the other feeds
// are run too when the framer cut them differently. After the last receive
// the quiet time is taken to have passed (flush). Checked for every feed:
// no request text is longer than the framer's cap, the framer holds no more
// than its cap, every reply is one line of valid, compact JSON (an object,
// valid UTF-8) that ends with "\n", and a request gets one reply for each
// of its commands before End (none for an empty block) or one envelope
// error.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <json/json.h>

#include "runner/runner.h"
#include "service/request_framer.h"
#include "service/session.h"
#include "util/json_value.h"

namespace {

std::string g_dir;

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "pos_session: %s: [%s]\n", what, detail.c_str());
  std::abort();
}

bool validUtf8(const std::string& s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len;
    unsigned min;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { len = 2; min = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; min = 0x10000; }
    else return false;
    if (i + len > n) return false;
    unsigned cp = c & (0xFF >> (len + 1));
    for (std::size_t k = 1; k < len; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

void checkReply(const std::string& line) {
  if (line.empty() || line.back() != '\n') fail("reply does not end with a line feed", line);
  const std::string body = line.substr(0, line.size() - 1);
  if (body.find('\n') != std::string::npos || body.find('\r') != std::string::npos) {
    fail("reply is more than one line", line);
  }
  if (!validUtf8(body)) fail("reply is not valid UTF-8", line);
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  if (!reader->parse(body.data(), body.data() + body.size(), &value, &errors)) {
    fail("reply is not valid JSON", line + " " + errors);
  }
  if (!value.isObject()) fail("reply is not an object", line);
}

void checkItems(const RequestFramer& framer, const std::vector<RequestFramer::Item>& items) {
  if (framer.pending() > RequestFramer::kMaxRequest) fail("framer holds more than its cap", "");
  for (const RequestFramer::Item& item : items) {
    if (item.text.size() > RequestFramer::kMaxRequest) fail("request text longer than the cap", "");
    if (item.oversized && !item.text.empty()) fail("oversized item carries text", "");
  }
}

using Items = std::vector<RequestFramer::Item>;

// Feeds data in receives ending at the given offsets, then flushes.
Items frame(const uint8_t* data, size_t size, const std::vector<size_t>& cuts) {
  RequestFramer framer;
  Items items;
  size_t at = 0;
  for (size_t cut : cuts) {
    if (cut <= at || cut > size) continue;
    framer.feed(reinterpret_cast<const char*>(data) + at, cut - at, &items);
    checkItems(framer, items);
    at = cut;
  }
  if (at < size) {
    framer.feed(reinterpret_cast<const char*>(data) + at, size - at, &items);
    checkItems(framer, items);
  }
  if (framer.waiting()) framer.flush(&items);
  checkItems(framer, items);
  if (framer.waiting() || framer.pending() != 0) fail("framer still open after flush", "");
  return items;
}

bool sameItems(const Items& a, const Items& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].oversized != b[i].oversized || a[i].unfinished != b[i].unfinished ||
        a[i].text != b[i].text) {
      return false;
    }
  }
  return true;
}

const size_t kEnvelopeError = static_cast<size_t>(-1);

// How many reply lines a request earns: one per command of its block, in
// byte order of the names, up to End (which is not answered); one envelope
// error for anything that is not such a block (kEnvelopeError).
size_t commandsAnswered(const std::string& text) {
  Json::Value request;
  if (!JsonParse(text, request) || !request.isObject() || !request.isMember("TVL")) {
    return kEnvelopeError;
  }
  const Json::Value& block = request["TVL"];
  if (!block.isObject() || block.size() > kMaxMembers) return kEnvelopeError;
  size_t count = 0;
  for (const std::string& name : block.getMemberNames()) {
    if (name == "End") break;
    ++count;
  }
  return count;
}

// As the session answers: the format error for an oversized or unfinished
// item, processRequest for the others, and nothing after End.
void serve(tavrelRunner& runner, const Items& items) {
  size_t replies = 0;
  ReplySender send = [&replies](const std::string& line) {
    checkReply(line);
    ++replies;
  };
  for (const RequestFramer::Item& item : items) {
    if (item.oversized || item.unfinished) {
      send(JsonOut(errorReply("-1", "Формат запроса задан неверно"), false));
      continue;
    }
    const size_t before = replies;
    const bool end = processRequest(runner, item.text, 1, send);
    const size_t sent = replies - before;
    const size_t commands = commandsAnswered(item.text);
    if (commands == kEnvelopeError ? sent != 1 : sent != commands) {
      fail("replies do not match the commands", item.text + " replies " + std::to_string(sent));
    }
    if (end) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "C");
  std::setlocale(LC_CTYPE, "ru_RU.UTF-8");
  // The operation log goes to standard output: quiet unless asked for.
  if (std::getenv("NORVALEN_FUZZ_LOG") == nullptr) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
  }
  {
    // The centre's address must refuse connections, or every command would
    // wait for its time limit.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(1);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      std::fprintf(stderr, "pos_session: something listens on 127.0.0.1:1; stop it first\n");
      std::abort();
    }
    if (probe >= 0) close(probe);
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  if (!(tmp && *tmp) && access("/dev/shm", W_OK) == 0) base = "/dev/shm";
  std::string pattern = base + "/norvalen-fuzz-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  g_dir = buffer.data();
  std::atexit([] { rmdir(g_dir.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Items whole = frame(data, size, {});
  const size_t split = size == 0 ? 0 : (data[0] | (static_cast<size_t>(data[size - 1]) << 8)) % size;
  const Items halves = frame(data, size, {split});
  std::vector<size_t> small;
  const size_t step = size == 0 ? 1 : data[size / 2] % 13 + 1;
  for (size_t at = step; at < size; at += step) small.push_back(at);
  const Items pieces = frame(data, size, small);

  const std::string journal = g_dir + "/tavrel.db3";
  {
    tavrelRunner runner;
    runner.set_dbfile(journal.c_str());
    runner.initFramework();
    Json::Value conf(Json::objectValue);
    conf["ConnectionString"] = "http://127.0.0.1:1/";
    conf["RetryCount"] = 1;
    conf["ConnectTimeout"] = 1;
    conf["SendRecvTimeout"] = 1;
    runner.InitTavrelCRM(conf);
    serve(runner, whole);
    if (!sameItems(halves, whole)) serve(runner, halves);
    if (!sameItems(pieces, whole) && !sameItems(pieces, halves)) serve(runner, pieces);
  }
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((journal + suffix).c_str());
  return 0;
}
