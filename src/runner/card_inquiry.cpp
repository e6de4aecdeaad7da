// Card information: what a loyalty card is worth before a purchase. The
// operation asks the centre about the card (by number or QR code, with the
// cheque's articles), turns the answer into the card part of the reply, and
// remembers the card's identity in the card record, from which a following
// payment or return takes the card when its own request has none. It keeps
// no journal row.
#include "interface/message_fields.h"
#include "runner/card_info.h"
#include "runner/operation_frame.h"
#include "runner/runner.h"
#include "util/convert.h"
#include "util/text_field.h"

namespace {

using interface::cards::ui_CardInfo;
using interface::cards::ui_DiscountItem;

// An amount that the answer did not give.
const char* const kNoAmount = "0.0";
// The card id kept when the request names no card.
const char* const kAnonymousCard = "HASH";

// The card object of the reply from the first card record of the answer,
// and the root members that record changes.
Json::Value card_entry(const ui_CardInfo& record, Json::Value& reply) {
  Json::Value entry(Json::objectValue);
  entry["CardNum"] = record.cardnum;
  interface::putOptText(entry, "Discount", record.discount);
  entry["Points"] = kNoAmount;
  reply["MemberStatus"] = "01";
  if (record.sum_max) {
    entry["Points"] = *record.sum_max;
    reply["Bonus"] = *record.sum_max;
    reply["MaxBonus"] = *record.sum_max;
  }
  if (record.sum_min) reply["MinBonus"] = *record.sum_min;
  if (record.points) {
    entry["Points"] = *record.points;
    reply["Bonus"] = *record.points;
  }
  if (record.max_score) reply["MaxScore"] = *record.max_score;
  entry["Status"] = record.status;
  entry["Type"] = record.type;
  reply["Type"] = firstCharacter(record.type);
  interface::putOptText(entry, "TierName", record.tier_name);
  interface::putOptText(entry, "ReasonBlock", record.reason_block);
  interface::putOptText(entry, "Id", record.id);
  return entry;
}

Json::Value discount_entry(const ui_DiscountItem& item) {
  Json::Value entry(Json::objectValue);
  // One per cheque line: the keys are not copied (see literalMember).
  interface::literalMember(entry, "Id") = item.id;
  interface::literalMember(entry, "Discount") =
      item.discount.empty() ? std::string("0") : item.discount;
  return entry;
}

class CardInquiry : public SetOperation<CardSet> {
 public:
  CardInquiry(tavrelRunner& runner, CardSet& set) : SetOperation(runner, set) {}

  CmdCodes code() const override { return CMD_CARD_INFO; }
  // A new inquiry forgets the previous card until its request has been read,
  // so a refused request leaves no card behind.
  void onCardRecord(tavrelCardInfo& card) override {
    card._change_own_state(false);
    card.setCardId(nullptr);
    card.setCardNum(nullptr);
  }
  std::string openingText() const override { return "Получение информации по карте : ( "; }
  std::string formatText() const override {
    return "Ошибка формата команды для получения данных по карте";
  }
  void prepare(const Json::Value& block) override {
    (void)block;
    const interface::cards::Card_Input& in = *set().input;
    tavrelCardInfo& kept = *card();
    kept.setCardNum(TextOrNull(in.cardnum));
    kept.setCardId(in.card.empty() ? kAnonymousCard : in.card.c_str());
    kept.setChequeId(TextOrNull(in.check_id));
    kept.setChequeNum(TextOrNull(in.check_num));
    kept.setQRCode(TextOrNull(in.qr_code));
    kept.setQRType(TextOrNull(in.qr_type));
  }
  int callProxy() override { return set().proxy->getCardInfo(set().input.get(), set().output.get()); }

  void addAnswerMembers(Json::Value& reply) override {
    const interface::cards::Card_Output& out = *set().output;
    if (!out.articul.empty()) reply["BlockedProducts"] = out.articul;
    reply["Cards"] = Json::Value(Json::arrayValue);
    reply["MemberStatus"] = "00";
    reply["Bonus"] = kNoAmount;
    reply["MaxBonus"] = kNoAmount;
    reply["MinBonus"] = kNoAmount;
    reply["MaxScore"] = kNoAmount;
    reply["Status"] = out.status_letter;
    if (out.cards) {
      for (const auto& record : out.cards->items) {
        if (!record) continue;
        reply["Cards"].append(card_entry(*record, reply));
        break;  // later records are not looked at
      }
    }
    if (out.discounts && !out.discounts->empty()) {
      Json::Value& list = reply["ArticulDiscount"] = Json::Value(Json::arrayValue);
      for (const auto& item : out.discounts->items) {
        if (item) list.append(discount_entry(*item));
      }
    }
  }
  void addNoLinkMembers(Json::Value& reply) override {
    reply["MemberStatus"] = "00";
    reply["Status"] = "A";
  }
};

}  // namespace

int tavrelRunner::runCardInfo(const Json::Value& block, Json::Value& reply) {
  CardInquiry op(*this, cardSet);
  return runFrame(op, block, reply);
}
