#include "runner/kept_copy.h"

#include <memory>
#include <string>

namespace {

using interface::JournalledInput;
using interface::OptText;
using interface::ui_LOYMember;
using interface::ui_Order;
using interface::ui_OrderItem;
using interface::ui_OrderItem_List;
using interface::ui_Transaction;

// How the kind of the kept request changes the copy.
struct SourceRules {
  bool card_always;     // card fields copied even when empty
  bool copies_earlier;  // the sale a return refers to
};

const SourceRules kFromPayment = {false, false};
const SourceRules kFromReturn = {true, true};

// "When not empty": a text the source lacks leaves the target's.
void copyText(const std::string& from, std::string* to) {
  if (!from.empty()) *to = from;
}

// "Replaced by a copy when present".
void copyOpt(const OptText& from, OptText* to) {
  if (from) *to = from;
}

template <class Part>
Part& ensure(std::unique_ptr<Part>* part) {
  if (!*part) part->reset(new Part());
  return **part;
}

void copyCard(const ui_LOYMember& from, ui_LOYMember* to, const SourceRules& rules) {
  if (rules.card_always) {
    to->cardnum = from.cardnum;
    to->card = from.card;
    to->qr_code = from.qr_code;
    to->qr_type = from.qr_type;
  } else {
    copyText(from.cardnum, &to->cardnum);
    copyText(from.card, &to->card);
    copyText(from.qr_code, &to->qr_code);
    copyText(from.qr_type, &to->qr_type);
  }
  copyOpt(from.gscount, &to->gscount);
}

std::unique_ptr<ui_OrderItem> copyLine(const ui_OrderItem& from) {
  std::unique_ptr<ui_OrderItem> line(new ui_OrderItem());
  copyOpt(from.intid, &line->intid);
  copyOpt(from.title, &line->title);
  copyOpt(from.payinfo, &line->payinfo);
  line->kind = from.kind;
  copyText(from.art, &line->art);
  copyText(from.cnt, &line->cnt);
  copyText(from.price, &line->price);
  copyText(from.base_price, &line->base_price);
  copyText(from.points, &line->points);
  copyText(from.sum, &line->sum);
  copyText(from.pay, &line->pay);
  return line;
}

void copyTransaction(const ui_Transaction& from, std::unique_ptr<ui_Transaction>* to) {
  ui_Transaction& target = ensure(to);
  copyText(from.trnum, &target.trnum);
  copyText(from.location, &target.location);
  copyText(from.terminal, &target.terminal);
  copyText(from.num_check, &target.num_check);
  copyOpt(from.date_time, &target.date_time);
  copyOpt(from.shift, &target.shift);
  copyOpt(from.shift_date, &target.shift_date);
  copyOpt(from.oper_id, &target.oper_id);
  copyOpt(from.oper_fio, &target.oper_fio);
  copyOpt(from.zakaz, &target.zakaz);
}

void copyOrder(const ui_Order& from, ui_Order* to) {
  to->check_id = from.check_id;
  to->trnum = from.trnum;
  copyOpt(from.zakaz, &to->zakaz);
  if (from.items) {
    std::unique_ptr<ui_OrderItem_List> lines(new ui_OrderItem_List());
    for (const auto& line : from.items->items) {
      if (line) lines->append(copyLine(*line));
    }
    to->items = std::move(lines);
  }
  if (from.transaction) copyTransaction(*from.transaction, &to->transaction);
}

int copyKept(const JournalledInput* source, JournalledInput* target, const SourceRules& rules) {
  if (source == nullptr) return interface::WS_ERR_EMPTY;
  if (target == nullptr) return WS_ERR_NO_CONTEXT;
  if (!source->member) return 0;

  target->offline = source->offline;
  target->zero_fill = source->zero_fill;
  target->id_length = source->id_length;
  ui_LOYMember& member = ensure(&target->member);
  copyCard(*source->member, &member, rules);
  if (source->member->order) copyOrder(*source->member->order, &ensure(&member.order));
  if (rules.copies_earlier && source->orig) copyTransaction(*source->orig, &target->orig);
  return 0;
}

}  // namespace

int copyCommitPaym(const interface::payment::Payment_Input* source,
                   interface::commits::Commit_Input* target) {
  return copyKept(source, target, kFromPayment);
}

int copyUndoPaym(const interface::payment::Payment_Input* source, interface::undo::Undo_Input* target) {
  return copyKept(source, target, kFromPayment);
}

int copyCommitRtrn(const interface::rtrn::Rtrn_Input* source, interface::commits::Commit_Input* target) {
  return copyKept(source, target, kFromReturn);
}

int copyUndoRtrn(const interface::rtrn::Rtrn_Input* source, interface::undo::Undo_Input* target) {
  return copyKept(source, target, kFromReturn);
}
