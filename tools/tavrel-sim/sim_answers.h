// What the simulated centre answers. Each request is dispatched on the root
// member of its JSON body. A root may have a queue of scripted answers: the
// head answers, and a head with a use limit leaves the queue when it is used
// up. A root without scripted answers takes the queue of "*", and after that
// the default: success ("err" "0") in the shape each message family reads.
#ifndef TAVREL_SIM_SIM_ANSWERS_H_
#define TAVREL_SIM_SIM_ANSWERS_H_

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <json/json.h>

namespace sim {

// One scripted answer, as written in a script file or posted to
// /_sim/answer:
//   {"root": "PayBonus", "status": 200, "body": ..., "fields": {...},
//    "content_type": "...", "delay_ms": 0, "drop": false, "times": 0}
// "body" given as a JSON string is sent verbatim (any text, also empty);
// any other JSON value is sent as its compact text. Without "body" the
// default answer is sent, with "fields" merged into the root's block.
struct Answer {
  std::string root = "*";
  int status = 200;
  bool has_body = false;
  std::string body;
  Json::Value fields = Json::Value(Json::objectValue);
  std::string content_type = "application/json; charset=utf-8";
  int delay_ms = 0;
  bool drop = false;  // close the connection without answering
  int times = 0;      // uses before the answer leaves its queue; 0 = forever
};

// Reads one answer object or an array of them. False with *error set when
// the value is malformed (wrong type, unknown member, status out of range).
bool parseAnswers(const Json::Value& value, std::vector<Answer>* answers, std::string* error);

Json::Value answerToJson(const Answer& answer);

// The default answer to a request with root `root`: top-level "err" and
// "errmsg" (what the connection check reads) and the block under `root`
// (what every other family reads), with `fields` merged into the block.
// `request` is the parsed request body (null when it is not JSON); the
// "CardInfo" block takes its blocked articles and discounts from the
// request's "CardInfo"."articul_list" (see cardArticles).
Json::Value defaultAnswer(const std::string& root, const Json::Value& request,
                          const Json::Value& fields);

// What the default "CardInfo" answer says of the request's purchase lines,
// the elements of `request`["CardInfo"]["articul_list"]. Fuel cannot be
// paid with bonus: the "id" of every line with "flag_good" "gsm" goes into
// `*blocked`, joined by "," in the order of the list. Every line with
// "flag_good" "good" gets a discount: {"id": its id, "discount": "5.00"}
// in `*discounts`. Lines that are not objects, or whose "id" is not a
// non-empty string, are passed over; without such a list (or when it is not
// an array) `*blocked` is "" and `*discounts` an empty array.
void cardArticles(const Json::Value& request, std::string* blocked, Json::Value* discounts);

// The answer to a body that has no root member at all.
Json::Value malformedRequestAnswer();

class AnswerBook {
 public:
  // For every root named in `answers`, its queue becomes the answers of
  // that root, in the order given. Other roots keep their queues.
  void set(const std::vector<Answer>& answers);
  void clear();

  // The answer for one request of `root` (counts one use). An empty root
  // (a body without a root member) only matches "*". *scripted (when not
  // null) tells whether it came from a queue rather than the default.
  Answer take(const std::string& root, bool* scripted = nullptr);

  Json::Value toJson() const;

 private:
  bool takeFrom(const std::string& key, Answer* answer);

  mutable std::mutex mu_;
  std::map<std::string, std::vector<Answer>> queues_;
};

}  // namespace sim

#endif  // TAVREL_SIM_SIM_ANSWERS_H_
