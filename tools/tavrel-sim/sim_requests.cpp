#include "sim_requests.h"

#include <chrono>
#include <ctime>

#include "util/json_value.h"

namespace sim {

namespace {

// Local time with milliseconds: "2024-05-01 12:00:00.123".
std::string now_text() {
  auto now = std::chrono::system_clock::now();
  std::time_t secs = std::chrono::system_clock::to_time_t(now);
  int millis = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&secs, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return text;
}

// Entries that the HTTP library adds to the headers itself.
bool is_library_entry(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

}  // namespace

RequestLog::~RequestLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RequestLog::openFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "a");
  if (f == nullptr) return false;
  std::lock_guard<std::mutex> lock(mu_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = f;
  return true;
}

Json::Value RequestLog::record(const std::string& path,
                               const std::vector<std::pair<std::string, std::string>>& headers,
                               const std::string& root, const std::string& body) {
  Json::Value hdrs(Json::objectValue);
  for (const auto& h : headers) {
    if (is_library_entry(h.first)) continue;
    if (hdrs.isMember(h.first)) {
      hdrs[h.first] = hdrs[h.first].asString() + ", " + h.second;
    } else {
      hdrs[h.first] = h.second;
    }
  }
  Json::Value rec(Json::objectValue);
  rec["time"] = now_text();
  rec["path"] = path;
  rec["root"] = root;
  rec["headers"] = hdrs;
  rec["body"] = body;

  std::lock_guard<std::mutex> lock(mu_);
  rec["seq"] = static_cast<Json::Int64>(next_seq_++);
  records_.push_back(rec);
  if (records_.size() > kKeptRecords) records_.pop_front();
  if (file_ != nullptr) {
    std::string line = JsonOut(rec, false);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }
  return rec;
}

Json::Value RequestLog::requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  Json::Value all(Json::arrayValue);
  for (const Json::Value& rec : records_) all.append(rec);
  return all;
}

void RequestLog::enter() {
  std::lock_guard<std::mutex> lock(mu_);
  ++in_flight_;
  if (in_flight_ > max_in_flight_) max_in_flight_ = in_flight_;
}

void RequestLog::leave() {
  std::lock_guard<std::mutex> lock(mu_);
  --in_flight_;
}

Json::Value RequestLog::stats() const {
  std::lock_guard<std::mutex> lock(mu_);
  Json::Value s(Json::objectValue);
  s["requests"] = static_cast<Json::Int64>(next_seq_ - 1);
  s["in_flight"] = in_flight_;
  s["max_in_flight"] = max_in_flight_;
  return s;
}

void RequestLog::clear() {
  std::lock_guard<std::mutex> lock(mu_);
  records_.clear();
  next_seq_ = 1;
  max_in_flight_ = in_flight_;
}

}  // namespace sim
