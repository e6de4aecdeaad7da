#include "floor.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <utility>
#include <string>

#include "interface/ws_transport.h"
#include "storage/schema.h"

namespace bench {

namespace {

struct EasyCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The columns the daemon writes before the centre call.
const char kInsert[] =
    "INSERT INTO ALL_OPERATIONS (ID, DateTime, OperType, OrderUUID, ChequeID, ChequeRownum,"
    " ParentID, Terminal, LocationID, Shift, ShiftDate, Request, Offline) VALUES (:id, :dt,"
    " :otype, :orderuuid, :checkid, :checkrownum, :prntid, :term, :loc, :shift, :shiftdate,"
    " :request, 0)";
const char kComplete[] =
    "UPDATE ALL_OPERATIONS SET Response=:resp, Offline=0, ErrorCode=0 WHERE ID=:id";

int Exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Binds a text, or leaves the parameter NULL when the text is empty.
int BindOptional(storage::Statement* stmt, const char* name, const std::string& text) {
  return text.empty() ? SQLITE_OK : stmt->bindText(name, text);
}

int StepDone(storage::Statement* stmt) {
  const int rc = stmt->step();
  stmt->reset();
  return rc == SQLITE_DONE ? 0 : rc;
}

}  // namespace

CurlSetup::CurlSetup() : ok_(curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK) {}
CurlSetup::~CurlSetup() {
  if (ok_) curl_global_cleanup();
}

int CentreCall(const std::string& url, const std::string& body, long* status,
               std::string* answer) {
  std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
  if (!easy) return CURLE_FAILED_INIT;
  std::unique_ptr<curl_slist, ListFree> headers;
  for (const char* line : {"Accept: application/json", "Content-encoding: UTF-8",
                           "Content-Type: application/json", "charset: utf-8",
                           "Content-language: ru"}) {
    curl_slist* grown = curl_slist_append(headers.get(), line);
    if (grown == nullptr) return CURLE_OUT_OF_MEMORY;
    headers.release();
    headers.reset(grown);
  }
  CURL* curl = easy.get();
  answer->clear();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  // The body goes through a read callback, as the daemon hands it over:
  // libcurl then sends the headers and the body in separate writes.
  ws_upload upload{body.data(), body.size(), body.data(), body.size()};
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_callback);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 5L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, answer);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  const CURLcode rc = curl_easy_perform(curl);
  if (rc != CURLE_OK) return rc;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
  return 0;
}

int FloorJournal::open(const std::string& path) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) return rc;
  rc = insert_.prepare(db_.get(), kInsert);
  if (rc == SQLITE_OK) rc = update_.prepare(db_.get(), kComplete);
  return rc;
}

int FloorJournal::insert(const std::string& key, const FloorRow& row) {
  int rc = insert_.bindText(":id", key);
  if (rc == SQLITE_OK) rc = insert_.bindInt(":otype", row.operType);
  const std::pair<const char*, const std::string*> texts[] = {
      {":dt", &row.dateTime},         {":orderuuid", &row.orderUuid},
      {":checkid", &row.chequeId},    {":checkrownum", &row.chequeRownum},
      {":prntid", &row.parentId},     {":term", &row.terminal},
      {":loc", &row.location},        {":shiftdate", &row.shiftDate}};
  for (const auto& [name, text] : texts) {
    if (rc == SQLITE_OK) rc = BindOptional(&insert_, name, *text);
  }
  if (rc == SQLITE_OK && !row.shift.empty()) {
    rc = insert_.bindInt(":shift", std::atoll(row.shift.c_str()));
  }
  if (rc == SQLITE_OK) rc = insert_.bindText(":request", row.request);
  return rc == SQLITE_OK ? StepDone(&insert_) : rc;
}

int FloorJournal::complete(const std::string& key, const FloorRow& row) {
  int rc = update_.bindText(":id", key);
  if (rc == SQLITE_OK) rc = update_.bindText(":resp", row.response);
  return rc == SQLITE_OK ? StepDone(&update_) : rc;
}

int FloorJournal::exec(const char* sql) { return Exec(db_.get(), sql); }

int CreateJournal(const std::string& path, int rows) {
  {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    storage::Connection db(raw);
    for (std::size_t i = 0; i < storage::kJournalSchemaSize && rc == SQLITE_OK; ++i) {
      rc = Exec(db.get(), storage::kJournalSchema[i]);
    }
    if (rc != SQLITE_OK) return rc;
  }
  if (rows <= 0) return 0;

  // Earlier days' cheques, in one transaction: keys that the operations
  // measured never meet.
  FloorJournal filler;
  int rc = filler.open(path);
  if (rc == 0) rc = filler.exec("BEGIN");
  if (rc != 0) return rc;
  const std::string lines =
      R"([{"art":"1","price":"95","base_price":"100","cnt":"2"},)"
      R"({"art":"2","price":"40","base_price":"40","cnt":"1"}])";
  for (int i = 0; i < rows && rc == 0; i += 2) {
    const std::string date = "202611" + std::to_string(10 + i % 20) +
                             std::to_string(1000000 + i % 240000).substr(1);
    const std::string cheque = std::to_string(1000000 + i);
    FloorRow pay;
    pay.operType = 3;
    pay.dateTime = date;
    pay.chequeId = cheque;
    pay.location = "12";
    pay.request = R"({"CardNum":"7001","CheckNum":")" + cheque + R"(","Check":)" + lines +
                  R"(,"Transact":{"DateTime":")" + date + R"(","Location":"12"}})";
    pay.response =
        R"({"InfoMsg":"","err":"0","errInfo":"","errMsg":"Успешное выполнение операции"})";
    const std::string payKey = date + "#" + cheque + "#3";
    rc = filler.insert(payKey, pay);
    if (rc == 0) rc = filler.complete(payKey, pay);
    if (rc != 0 || i + 1 >= rows) continue;
    FloorRow commit = pay;
    commit.operType = 7;
    commit.parentId = payKey;
    commit.request = "{}";
    const std::string commitKey = date + "#" + cheque + "#7";
    rc = filler.insert(commitKey, commit);
    if (rc == 0) rc = filler.complete(commitKey, commit);
  }
  const int end = filler.exec(rc == 0 ? "COMMIT" : "ROLLBACK");
  return rc != 0 ? rc : end;
}

}  // namespace bench
