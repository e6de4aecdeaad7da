#include "sim_answers.h"

#include "sim_json.h"
#include "util/json_value.h"

namespace sim {

namespace {

bool fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

bool readInt(const Json::Value& v, const char* name, int* target, std::string* error) {
  if (!v.isMember(name)) return true;
  if (!v[name].isInt()) return fail(error, std::string("\"") + name + "\" must be an integer");
  *target = v[name].asInt();
  return true;
}

bool parseOne(const Json::Value& v, Answer* a, std::string* error) {
  if (!v.isObject()) return fail(error, "an answer must be a JSON object");
  static const char* const kKnown[] = {"root",         "status",   "body", "fields",
                                       "content_type", "delay_ms", "drop", "times"};
  for (const std::string& name : v.getMemberNames()) {
    bool known = false;
    for (const char* k : kKnown) known = known || name == k;
    if (!known) return fail(error, "unknown member \"" + name + "\"");
  }
  if (v.isMember("root")) {
    if (!v["root"].isString() || v["root"].asString().empty()) {
      return fail(error, "\"root\" must be a non-empty string");
    }
    a->root = v["root"].asString();
  }
  if (!readInt(v, "status", &a->status, error)) return false;
  if (a->status < 100 || a->status > 599) return fail(error, "\"status\" must be 100..599");
  if (!readInt(v, "delay_ms", &a->delay_ms, error)) return false;
  if (a->delay_ms < 0) return fail(error, "\"delay_ms\" must not be negative");
  if (!readInt(v, "times", &a->times, error)) return false;
  if (a->times < 0) return fail(error, "\"times\" must not be negative");
  if (v.isMember("drop")) {
    if (!v["drop"].isBool()) return fail(error, "\"drop\" must be true or false");
    a->drop = v["drop"].asBool();
  }
  if (v.isMember("content_type")) {
    if (!v["content_type"].isString()) return fail(error, "\"content_type\" must be a string");
    a->content_type = v["content_type"].asString();
  }
  if (v.isMember("fields")) {
    if (!v["fields"].isObject()) return fail(error, "\"fields\" must be an object");
    a->fields = v["fields"];
  }
  if (v.isMember("body")) {
    a->has_body = true;
    a->body = v["body"].isString() ? v["body"].asString() : JsonOut(v["body"], false);
  }
  return true;
}

const char kLineDiscount[] = "5.00";

// What the card information family reads besides the result.
void addCardMembers(const Json::Value& request, Json::Value& block) {
  block["status"] = "active";
  block["type"] = "b";
  block["sum_min"] = "0.00";
  block["sum_max"] = "500.00";
  block["max_score"] = "500.00";
  std::string blocked;
  Json::Value discounts;
  cardArticles(request, &blocked, &discounts);
  block["articul"] = blocked;
  block["articul_discount"] = discounts;
}

}  // namespace

bool parseAnswers(const Json::Value& value, std::vector<Answer>* answers, std::string* error) {
  std::vector<Answer> parsed;
  if (value.isArray()) {
    for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
      Answer a;
      if (!parseOne(value[i], &a, error)) {
        *error = "answer " + std::to_string(i) + ": " + *error;
        return false;
      }
      parsed.push_back(a);
    }
  } else {
    Answer a;
    if (!parseOne(value, &a, error)) return false;
    parsed.push_back(a);
  }
  answers->insert(answers->end(), parsed.begin(), parsed.end());
  return true;
}

Json::Value answerToJson(const Answer& a) {
  Json::Value v(Json::objectValue);
  v["root"] = a.root;
  v["status"] = a.status;
  if (a.has_body) v["body"] = a.body;
  if (!a.fields.empty()) v["fields"] = a.fields;
  v["content_type"] = a.content_type;
  v["delay_ms"] = a.delay_ms;
  v["drop"] = a.drop;
  v["times"] = a.times;
  return v;
}

void cardArticles(const Json::Value& request, std::string* blocked, Json::Value* discounts) {
  blocked->clear();
  *discounts = Json::Value(Json::arrayValue);
  const Json::Value& lines = memberOf(memberOf(request, "CardInfo"), "articul_list");
  if (!lines.isArray()) return;
  for (const Json::Value& line : lines) {
    const Json::Value& id = memberOf(line, "id");
    if (!id.isString() || id.asString().empty()) continue;
    const Json::Value& flag = memberOf(line, "flag_good");
    if (!flag.isString()) continue;
    if (flag.asString() == "gsm") {
      if (!blocked->empty()) blocked->push_back(',');
      blocked->append(id.asString());
    } else if (flag.asString() == "good") {
      Json::Value item(Json::objectValue);
      item["id"] = id;
      item["discount"] = kLineDiscount;
      discounts->append(item);
    }
  }
}

Json::Value defaultAnswer(const std::string& root, const Json::Value& request,
                          const Json::Value& fields) {
  Json::Value block(Json::objectValue);
  block["err"] = "0";
  block["errmsg"] = "";
  block["message"] = "";
  if (root == "CardInfo") addCardMembers(request, block);
  for (const std::string& name : fields.getMemberNames()) block[name] = fields[name];

  Json::Value answer(Json::objectValue);
  answer["err"] = block["err"];
  answer["errmsg"] = block["errmsg"];
  answer[root] = block;
  return answer;
}

Json::Value malformedRequestAnswer() {
  Json::Value answer(Json::objectValue);
  answer["err"] = "1";
  answer["errmsg"] = "Неверный формат запроса";
  return answer;
}

void AnswerBook::set(const std::vector<Answer>& answers) {
  std::lock_guard<std::mutex> lock(mu_);
  std::map<std::string, std::vector<Answer>> fresh;
  for (const Answer& a : answers) fresh[a.root].push_back(a);
  for (auto& entry : fresh) queues_[entry.first] = entry.second;
}

void AnswerBook::clear() {
  std::lock_guard<std::mutex> lock(mu_);
  queues_.clear();
}

bool AnswerBook::takeFrom(const std::string& key, Answer* answer) {
  auto it = queues_.find(key);
  if (it == queues_.end() || it->second.empty()) return false;
  Answer& head = it->second.front();
  *answer = head;
  if (head.times > 0 && --head.times == 0) it->second.erase(it->second.begin());
  return true;
}

Answer AnswerBook::take(const std::string& root, bool* scripted) {
  std::lock_guard<std::mutex> lock(mu_);
  Answer answer;
  if (scripted != nullptr) *scripted = true;
  if (!root.empty() && root != "*" && takeFrom(root, &answer)) return answer;
  if (takeFrom("*", &answer)) return answer;
  if (scripted != nullptr) *scripted = false;
  Answer fallback;
  fallback.root = root;
  return fallback;
}

Json::Value AnswerBook::toJson() const {
  std::lock_guard<std::mutex> lock(mu_);
  Json::Value all(Json::arrayValue);
  for (const auto& entry : queues_) {
    for (const Answer& a : entry.second) all.append(answerToJson(a));
  }
  return all;
}

}  // namespace sim
