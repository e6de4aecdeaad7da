#include "sim_cards.h"

#include <set>

#include "sim_amount.h"
#include "sim_json.h"

namespace sim {

namespace {

bool fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

bool readAmount(const Json::Value& card, const char* name, long long* target, bool* present,
                std::string* error) {
  const Json::Value& v = memberOf(card, name);
  if (v.isNull()) return true;
  if (!parseAmount(v, target)) {
    return fail(error, std::string("\"") + name + "\" must be an amount that is not negative");
  }
  if (present != nullptr) *present = true;
  return true;
}

bool readText(const Json::Value& card, const char* name, std::string* target, std::string* error) {
  const Json::Value& v = memberOf(card, name);
  if (v.isNull()) return true;
  if (!v.isString() || v.asString().empty()) {
    return fail(error, std::string("\"") + name + "\" must be a non-empty string");
  }
  *target = v.asString();
  return true;
}

bool parseCard(const Json::Value& v, Card* card, std::string* error) {
  static const char* const kKnown[] = {"number",  "status",    "type",      "balance",
                                       "sum_min", "sum_max",   "max_score", "discounts",
                                       "blocked", nullptr};
  if (!v.isObject()) return fail(error, "a card must be a JSON object");
  std::string unknown = unknownMember(v, kKnown);
  if (!unknown.empty()) return fail(error, "unknown member " + unknown);
  if (!memberOf(v, "number").isString() || memberOf(v, "number").asString().empty()) {
    return fail(error, "\"number\" must be a non-empty string");
  }
  card->number = memberOf(v, "number").asString();
  if (card->number.size() > kMaxCardNumber) {
    return fail(error, "\"number\" is longer than " + std::to_string(kMaxCardNumber) + " bytes");
  }
  if (!readText(v, "status", &card->status, error)) return false;
  if (card->status != "active" && card->status != "blocked") {
    return fail(error, "\"status\" must be \"active\" or \"blocked\"");
  }
  if (!readText(v, "type", &card->type, error)) return false;
  if (!readAmount(v, "balance", &card->balance, nullptr, error) ||
      !readAmount(v, "sum_min", &card->sum_min, nullptr, error) ||
      !readAmount(v, "sum_max", &card->sum_max, &card->has_sum_max, error) ||
      !readAmount(v, "max_score", &card->max_score, nullptr, error)) {
    return false;
  }
  const Json::Value& discounts = memberOf(v, "discounts");
  if (!discounts.isNull()) {
    if (!discounts.isObject()) return fail(error, "\"discounts\" must be an object");
    for (const std::string& id : discounts.getMemberNames()) {
      long long discount = 0;
      if (id.empty() || !parseAmount(discounts[id], &discount)) {
        return fail(error, "\"discounts\" must map article ids to amounts");
      }
      card->discounts[id] = discount;
    }
  }
  const Json::Value& blocked = memberOf(v, "blocked");
  if (!blocked.isNull()) {
    if (!blocked.isArray()) return fail(error, "\"blocked\" must be an array of article ids");
    for (const Json::Value& id : blocked) {
      if (!id.isString() || id.asString().empty()) {
        return fail(error, "\"blocked\" must be an array of article ids");
      }
      card->blocked_articles.push_back(id.asString());
    }
  }
  return true;
}

}  // namespace

bool parseCards(const Json::Value& value, std::vector<Card>* cards, std::string* error) {
  static const char* const kKnown[] = {"cards", nullptr};
  if (!value.isObject() || !memberOf(value, "cards").isArray()) {
    return fail(error, "expected an object {\"cards\": [...]}");
  }
  std::string unknown = unknownMember(value, kKnown);
  if (!unknown.empty()) return fail(error, "unknown member " + unknown);
  std::vector<Card> parsed;
  std::set<std::string> numbers;
  const Json::Value& list = memberOf(value, "cards");
  for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
    Card card;
    if (!parseCard(list[i], &card, error)) {
      *error = "card " + std::to_string(i) + ": " + *error;
      return false;
    }
    if (!numbers.insert(card.number).second) {
      return fail(error, "card " + std::to_string(i) + ": number \"" + card.number +
                             "\" is given twice");
    }
    parsed.push_back(card);
  }
  *cards = std::move(parsed);
  return true;
}

}  // namespace sim
