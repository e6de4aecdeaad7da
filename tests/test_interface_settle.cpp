// Commit and undo messages and the copy from the kept payment or return
// request into them: what a commit or undo reads of its own, the copy
// rules of each kind of source, the bodies built from the copy, the journal
// view through the shared input interface, and the proxy calls.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "interface/commits.h"
#include "interface/message_fields.h"
#include "interface/payment.h"
#include "interface/rtrn.h"
#include "interface/undo.h"
#include "interface/ws_ctx.h"
#include "runner/kept_copy.h"
#include "support/json_text.h"
#include "support/scripted_centre.h"
#include "support/ws_ctx_fixture.h"
#include "util/json_value.h"

namespace {

using interface::JournalledInput;
using interface::SettleInput;
using interface::commits::Commit_Input;
using interface::commits::Commit_Output;
using interface::commits::Commit_Proxy;
using interface::payment::Payment_Input;
using interface::rtrn::Rtrn_Input;
using interface::undo::Undo_Input;
using interface::undo::Undo_Output;
using interface::undo::Undo_Proxy;

// A kept payment and a kept return, read from the POS.
const char kPayment[] =
    R"({"PayBonus":{"CardNum":"2000111","Card":"C-1","qr_code":"Q1","qr_type":"sbp","GSCount":"2",)"
    R"("CheckNum":"9","CheckId":"ck","Offline":"1",)"
    R"("Check":[{"art":"77","title":"Milk","cnt":"2","base_price":"100","price":"95","payinfo":"pi","flag":0},)"
    R"(5,{"art":"8","cnt":"1","base_price":"10","price":"10","pay":"CARD"}],)"
    R"("Transact":{"ID":"77","Location":"12","Terminal":"T1","DateTime":"20240305070509","shift":"4",)"
    R"("ShiftDate":"20240304","operID":"op","operFIO":"Ivanov","num_check":"2"}}})";

const char kReturn[] =
    R"({"PayReturn":{"CardNum":"2000111","CheckNum":"9","num_check_ret":"3",)"
    R"("Check":[{"art":"77","cnt":"2","price":"95","base_price":"100"},{"art":"8","cnt":"1","price":"10","base_price":"10"}],)"
    R"("Transact":{"ID":"80","Location":"12","DateTime":"20240305070509","num_check":"2"},)"
    R"("OrigTransact":{"ID":"5","Location":"11","DateTime":"20240101"}}})";

// The POS members of the settling commands.
const char kCommit[] = R"({"Commit":{"CardNum":"3000222","Card":"C-2","CheckNum":"1","CheckId":"x"}})";
const char kUndo[] = R"({"Undo":{"CardNum":"3000222","Card":"C-2","CheckNum":"1","CheckId":"x"}})";

template <class Input>
void ReadOk(Input* input, const char* text) {
  ASSERT_EQ(input->readRequest(ParseJson(text)), 0) << text;
}

// ---- What a commit or undo reads of its own ----

TEST(SettleRead, OnlyTheCardAndTheCheque) {
  Commit_Input commit;
  commit.oper_type = interface::SETTLES_RETURN;
  ReadOk(&commit,
         R"({"Commit":{"CardNum":"1","Card":"C","CheckNum":"9","CheckId":"ck","qr_code":"Q","Offline":"1",)"
         R"("Check":[{"art":"1"}],"Transact":{"ID":"7","Location":"12"},"OrigTransact":{"ID":"5"}}})");
  ASSERT_NE(commit.member, nullptr);
  EXPECT_EQ(commit.member->cardnum, "1");
  EXPECT_EQ(commit.member->card, "C");
  EXPECT_EQ(commit.member->qr_code, "") << "the QR data comes from the kept request";
  EXPECT_EQ(ShownOpt(commit.member->gscount), "1");
  ASSERT_NE(commit.member->order, nullptr);
  EXPECT_EQ(commit.member->order->trnum, "9");
  EXPECT_EQ(commit.member->order->check_id, "ck");
  EXPECT_EQ(commit.member->order->items, nullptr);
  EXPECT_EQ(commit.member->order->transaction, nullptr);
  EXPECT_EQ(commit.orig, nullptr);
  EXPECT_TRUE(commit.offline);
  EXPECT_EQ(commit.oper_type, interface::SETTLES_RETURN) << "set by the runner before the read";
}

TEST(SettleRead, RefusalsOfBothFamilies) {
  struct Case {
    const char* block;
    int commit;
    int undo;
  };
  const Case cases[] = {
      {R"({"Commit":{"CardNum":"123456789012345678901"}})", 27, 3},
      {R"({"Undo":{"CardNum":"123456789012345678901"}})", 3, 27},
      {R"({"Commit":["CardNum"],"Undo":7})", 3, 3},
      {R"({"PayBonus":{"CardNum":"1"}})", 3, 3},
      {R"([])", 3, 3},
      {R"({"Commit":{},"Undo":{"CheckNum":[]}})", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    Commit_Input commit;
    Undo_Input undo;
    EXPECT_EQ(commit.readRequest(ParseJson(c.block)), c.commit);
    EXPECT_EQ(undo.readRequest(ParseJson(c.block)), c.undo);
    EXPECT_EQ(commit.member != nullptr, c.commit == 0);
    EXPECT_EQ(undo.member != nullptr, c.undo == 0);
  }
  Undo_Input undo;
  ReadOk(&undo, R"({"Undo":{}})");
  EXPECT_EQ(undo.member->order->trnum, "") << "no cheque number until the runner copies one";
  EXPECT_EQ(undo.member->cardnum, "");
}

TEST(SettleRead, DefaultsAndTheJournalView) {
  Undo_Input undo;
  EXPECT_EQ(undo.oper_type, interface::SETTLES_NOTHING);
  EXPECT_EQ(undo.event_time, "");
  undo.oper_type = interface::SETTLES_PAYMENT;
  undo.event_time = "20240305101010";
  const JournalledInput& view = undo;
  EXPECT_EQ(view.getOperType(), interface::SETTLES_PAYMENT);
  EXPECT_EQ(ShownText(view.getEventTime()), "20240305101010");
  undo.ws_default(nullptr);
  EXPECT_EQ(view.getOperType(), interface::SETTLES_NOTHING);
  EXPECT_EQ(ShownText(view.getEventTime()), "<null>");
}

// ---- The copy rules ----

TEST(KeptCopy, NullPartsAndASourceWithoutMember) {
  Payment_Input payment;
  Rtrn_Input rtrn;
  Commit_Input commit;
  Undo_Input undo;
  EXPECT_EQ(copyCommitPaym(nullptr, &commit), 14);
  EXPECT_EQ(copyCommitRtrn(nullptr, &commit), 14);
  EXPECT_EQ(copyUndoPaym(nullptr, &undo), 14);
  EXPECT_EQ(copyUndoRtrn(nullptr, &undo), 14);
  EXPECT_EQ(copyCommitPaym(&payment, nullptr), 18);
  EXPECT_EQ(copyCommitRtrn(&rtrn, nullptr), 18);
  EXPECT_EQ(copyUndoPaym(&payment, nullptr), 18);
  EXPECT_EQ(copyUndoRtrn(&rtrn, nullptr), 18);
  EXPECT_EQ(copyCommitPaym(nullptr, nullptr), 14);

  // A source that read nothing (its request was refused) copies nothing.
  EXPECT_EQ(payment.readRequest(ParseJson(R"({"PayBonus":{"CardNum":"123456789012345678901"}})")), 27);
  payment.offline = true;
  payment.zero_fill = true;
  ReadOk(&commit, kCommit);
  EXPECT_EQ(copyCommitPaym(&payment, &commit), 0);
  EXPECT_FALSE(commit.offline);
  EXPECT_FALSE(commit.zero_fill);
  EXPECT_EQ(commit.member->cardnum, "3000222");
  EXPECT_EQ(commit.member->order->trnum, "1");
  EXPECT_EQ(copyUndoRtrn(&rtrn, &undo), 0);
  EXPECT_EQ(undo.member, nullptr);
}

// The card fields: a payment's only where it has them, a return's always.
TEST(KeptCopy, CardFieldsFromAPaymentWhenNotEmptyFromAReturnAlways) {
  struct Case {
    const char* source;  // a payment or return member without card fields, or with them
    bool from_return;
    const char* cardnum;
    const char* card;
  };
  const Case cases[] = {
      {R"({"PayBonus":{"CheckNum":"9"}})", false, "3000222", "C-2"},
      {R"({"PayBonus":{"CardNum":"2000111","Card":"C-1","CheckNum":"9"}})", false, "2000111", "C-1"},
      {R"({"PayReturn":{"CheckNum":"9"}})", true, "", ""},
      {R"({"PayReturn":{"CardNum":"2000111","Card":"C-1","CheckNum":"9"}})", true, "2000111", "C-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Commit_Input commit;
    Undo_Input undo;
    ReadOk(&commit, kCommit);
    ReadOk(&undo, kUndo);
    if (c.from_return) {
      Rtrn_Input source;
      ReadOk(&source, c.source);
      EXPECT_EQ(copyCommitRtrn(&source, &commit), 0);
      EXPECT_EQ(copyUndoRtrn(&source, &undo), 0);
    } else {
      Payment_Input source;
      ReadOk(&source, c.source);
      EXPECT_EQ(copyCommitPaym(&source, &commit), 0);
      EXPECT_EQ(copyUndoPaym(&source, &undo), 0);
    }
    for (const JournalledInput* target :
         {static_cast<const JournalledInput*>(&commit), static_cast<const JournalledInput*>(&undo)}) {
      EXPECT_EQ(target->member->cardnum, c.cardnum);
      EXPECT_EQ(target->member->card, c.card);
      EXPECT_EQ(target->member->order->trnum, "9") << "the cheque number is copied always";
      EXPECT_EQ(target->member->order->check_id, "") << "also when empty";
    }
  }
}

TEST(KeptCopy, QrDataAndTheCountFollowTheSameRules) {
  Payment_Input payment;
  ReadOk(&payment, R"({"PayBonus":{"GSCount":"4"}})");
  Commit_Input commit;
  ReadOk(&commit, kCommit);
  commit.member->qr_code = "POS-Q";
  commit.member->qr_type = "POS-T";
  ASSERT_EQ(copyCommitPaym(&payment, &commit), 0);
  EXPECT_EQ(commit.member->qr_code, "POS-Q");
  EXPECT_EQ(commit.member->qr_type, "POS-T");
  EXPECT_EQ(ShownOpt(commit.member->gscount), "4");

  Rtrn_Input rtrn;
  ReadOk(&rtrn, R"({"PayReturn":{}})");
  rtrn.member->gscount.reset();
  ASSERT_EQ(copyCommitRtrn(&rtrn, &commit), 0);
  EXPECT_EQ(commit.member->qr_code, "");
  EXPECT_EQ(commit.member->qr_type, "");
  EXPECT_EQ(ShownOpt(commit.member->gscount), "4") << "a source without a count leaves the target's";
}

TEST(KeptCopy, EverythingOfAPaymentIsCopiedDeeply) {
  auto source = std::make_unique<Payment_Input>();
  source->zero_fill = true;
  source->id_length = 6;
  ReadOk(source.get(), kPayment);
  Undo_Input undo;
  ReadOk(&undo, kUndo);
  ASSERT_EQ(copyUndoPaym(source.get(), &undo), 0);
  const std::string uuid = ShownText(source->getOrderUuid());
  source.reset();  // nothing of the copy may refer into the source

  EXPECT_TRUE(undo.offline);
  EXPECT_TRUE(undo.zero_fill);
  EXPECT_EQ(undo.id_length, 6u);
  const interface::ui_Order& order = *undo.member->order;
  EXPECT_EQ(order.trnum, "77");
  EXPECT_EQ(order.check_id, "ck");
  EXPECT_EQ(ShownOpt(order.zakaz), uuid);
  ASSERT_NE(order.items, nullptr);
  ASSERT_EQ(order.items->size(), 2u);
  const interface::ui_OrderItem& first = *order.items->at(0);
  EXPECT_EQ(ShownOpt(first.intid), "1");
  EXPECT_EQ(ShownOpt(first.title), "Milk");
  EXPECT_EQ(ShownOpt(first.payinfo), "pi");
  EXPECT_EQ(first.kind, interface::LINE_KIND_GSM);
  EXPECT_EQ(first.art, "77");
  EXPECT_EQ(first.cnt, "2");
  EXPECT_EQ(first.price, "95");
  EXPECT_EQ(first.base_price, "100");
  EXPECT_EQ(first.points, "10.00");
  EXPECT_EQ(first.pay, "MIX");
  EXPECT_EQ(ShownOpt(order.items->at(1)->intid), "3");
  EXPECT_EQ(order.items->at(1)->pay, "CARD");
  EXPECT_EQ(ShownOpt(order.items->at(1)->title), "<none>");

  ASSERT_NE(order.transaction, nullptr);
  const interface::ui_Transaction& transaction = *order.transaction;
  EXPECT_EQ(transaction.trnum, "") << "a payment's transaction has no id";
  EXPECT_EQ(transaction.location, "12");
  EXPECT_EQ(transaction.terminal, "T1");
  EXPECT_EQ(transaction.num_check, "2");
  EXPECT_EQ(ShownOpt(transaction.date_time), "20240305070509");
  EXPECT_EQ(ShownOpt(transaction.shift), "4");
  EXPECT_EQ(ShownOpt(transaction.shift_date), "20240304000000");
  EXPECT_EQ(ShownOpt(transaction.oper_id), "op");
  EXPECT_EQ(ShownOpt(transaction.oper_fio), "Ivanov");
  EXPECT_EQ(ShownOpt(transaction.zakaz), uuid);
  EXPECT_EQ(undo.orig, nullptr);

  // What the runner journals, through the shared interface.
  const JournalledInput& view = undo;
  EXPECT_EQ(ShownText(view.getOrderUuid()), uuid);
  EXPECT_EQ(ShownText(view.getCheckRownum()), "2");
  EXPECT_EQ(ShownText(view.getChequeNum()), "77");
  EXPECT_EQ(ShownText(view.getTransactionId()), "<null>");
  EXPECT_EQ(ShownText(view.getDateTime()), "20240305070509");
  EXPECT_EQ(ShownText(view.getLocation()), "12");
  EXPECT_EQ(ShownText(view.getTerminal()), "T1");
  EXPECT_EQ(ShownText(view.getShift()), "4");
  EXPECT_EQ(ShownText(view.getShiftDate()), "20240304000000");
}

TEST(KeptCopy, AReturnBringsItsEarlierSale) {
  Rtrn_Input rtrn;
  ReadOk(&rtrn, kReturn);
  Commit_Input commit;
  ReadOk(&commit, kCommit);
  ASSERT_EQ(copyCommitRtrn(&rtrn, &commit), 0);
  ASSERT_NE(commit.orig, nullptr);
  EXPECT_EQ(commit.orig->trnum, "5");
  EXPECT_EQ(commit.orig->num_check, "3");
  EXPECT_EQ(commit.orig->location, "11");
  EXPECT_EQ(ShownOpt(commit.orig->date_time), "20240101000000");
  EXPECT_EQ(ShownText(commit.getOrigCheckRownum()), "3");
  EXPECT_EQ(ShownText(commit.getTransactionId()), "80");
  EXPECT_NE(commit.orig.get(), rtrn.orig.get()) << "a copy, not the kept request's own";

  // A payment has no earlier sale to bring, and leaves the target's alone.
  Payment_Input payment;
  ReadOk(&payment, kPayment);
  payment.orig.reset(new interface::ui_Transaction());
  payment.orig->trnum = "66";
  ASSERT_EQ(copyCommitPaym(&payment, &commit), 0);
  EXPECT_EQ(commit.orig->trnum, "5");
}

TEST(KeptCopy, EmptyTransactionTextsLeaveTheTargetsAndALineListIsReplaced) {
  Commit_Input commit;
  ReadOk(&commit, kCommit);
  Rtrn_Input first;
  ReadOk(&first, kReturn);
  ASSERT_EQ(copyCommitRtrn(&first, &commit), 0);

  Rtrn_Input second;
  ReadOk(&second, R"({"PayReturn":{"Check":[{"art":"1"}],"Transact":{"ID":"81","num_check":""}}})");
  ASSERT_EQ(copyCommitRtrn(&second, &commit), 0);
  const interface::ui_Transaction& transaction = *commit.member->order->transaction;
  EXPECT_EQ(transaction.trnum, "81");
  EXPECT_EQ(transaction.location, "12") << "an empty station does not clear the copied one";
  EXPECT_EQ(ShownOpt(transaction.date_time), "20240305070509") << "an absent date does not clear it";
  EXPECT_EQ(transaction.num_check, "1");
  EXPECT_EQ(ShownOpt(transaction.zakaz), ShownOpt(first.member->order->transaction->zakaz))
      << "no UUID without a station";
  ASSERT_EQ(commit.member->order->items->size(), 1u);
  EXPECT_EQ(commit.member->order->items->at(0)->art, "1");

  // A source without lines or transaction leaves the target's.
  Rtrn_Input bare;
  ReadOk(&bare, R"({"PayReturn":{}})");
  ASSERT_EQ(copyCommitRtrn(&bare, &commit), 0);
  ASSERT_NE(commit.member->order->items, nullptr);
  EXPECT_EQ(commit.member->order->items->size(), 1u);
  EXPECT_NE(commit.member->order->transaction, nullptr);
}

// ---- Bodies ----

TEST(SettleBody, TheSettledKindDecidesRetAndTheEarlierSale) {
  struct Case {
    int oper_type;
    const char* ret;  // "<none>" when absent
    bool earlier;
  };
  const Case cases[] = {
      {interface::SETTLES_NOTHING, "<none>", false},
      {interface::SETTLES_RETURN, "ret", true},
      {interface::SETTLES_PAYMENT, "pay", false},
      {7, "<none>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.oper_type);
    Rtrn_Input rtrn;
    ReadOk(&rtrn, kReturn);
    Commit_Input commit;
    Undo_Input undo;
    commit.oper_type = c.oper_type;
    undo.oper_type = c.oper_type;
    ReadOk(&commit, kCommit);
    ReadOk(&undo, kUndo);
    ASSERT_EQ(copyCommitRtrn(&rtrn, &commit), 0);
    ASSERT_EQ(copyUndoRtrn(&rtrn, &undo), 0);
    ASSERT_NE(commit.orig, nullptr) << "an earlier sale is there in every case";
    for (const Json::Value& body : {ParseJson(commit.serialize())["Commit"], ParseJson(undo.serialize())["Undo"]}) {
      EXPECT_EQ(body.isMember("ret") ? body["ret"].asString() : "<none>", c.ret);
      EXPECT_EQ(body.isMember("trnum_ret"), c.earlier);
      EXPECT_EQ(body.isMember("num_check_ret"), c.earlier);
      if (c.earlier) {
        EXPECT_EQ(body["trnum_ret"].asString(), "5");
        EXPECT_EQ(body["num_check_ret"].asString(), "3");
      }
    }
  }
}

TEST(SettleBody, CommitAndUndoOfAReturn) {
  Rtrn_Input rtrn;
  ReadOk(&rtrn, kReturn);
  Commit_Input commit;
  Undo_Input undo;
  commit.oper_type = interface::SETTLES_RETURN;
  undo.oper_type = interface::SETTLES_RETURN;
  commit.event_time = "20240305101010";
  ReadOk(&commit, kCommit);
  ReadOk(&undo, kUndo);
  ASSERT_EQ(copyCommitRtrn(&rtrn, &commit), 0);
  ASSERT_EQ(copyUndoRtrn(&rtrn, &undo), 0);
  const std::string uuid = ShownText(rtrn.getOrderUuid());
  const std::string order =
      R"("articul_list":[)"
      R"({"flag_good":"good","id":"77","pos":"1","price":"100.00","price_after":"95.00","volume":"2.00"},)"
      R"({"flag_good":"good","id":"8","pos":"2","price":"10.00","price_after":"10.00","volume":"1.00"}],)"
      R"("azs":"12","cardnum":"2000111","event_date":"05.03.2024","event_time":"07:05:09","num_check":"2",)"
      R"("num_check_ret":"3","reader":"1","ret":"ret",)";
  EXPECT_EQ(commit.serialize(),
            R"({"Commit":{)" + order +
                R"("sum":"200.00","sum_bonus":"10.00","sum_stella":"210.00","trnum":"80",)"
                R"("trnum_ret":"5","zakaz":")" +
                uuid + "\"}}\n");
  EXPECT_EQ(
      undo.serialize(),
      R"({"Undo":{)" + order + R"("sum":"10.00","trnum":"80","trnum_ret":"5","zakaz":")" + uuid + "\"}}\n");
}

TEST(SettleBody, CommitAndUndoOfAPayment) {
  Payment_Input payment;
  ReadOk(
      &payment,
      R"({"PayBonus":{"qr_code":"Q","CheckNum":"9","Check":[{"price":"95","base_price":"100","cnt":"2"}]}})");
  Commit_Input commit;
  Undo_Input undo;
  commit.oper_type = interface::SETTLES_PAYMENT;
  undo.oper_type = interface::SETTLES_PAYMENT;
  ReadOk(&commit, kCommit);
  ReadOk(&undo, kUndo);
  ASSERT_EQ(copyCommitPaym(&payment, &commit), 0);
  ASSERT_EQ(copyUndoPaym(&payment, &undo), 0);
  const std::string lines =
      R"("articul_list":[{"flag_good":"good","pos":"1","price":"100.00","price_after":"95.00","volume":"2.00"}],)"
      R"("cardnum":"3000222","qr_code":"Q","qr_type":"qr","ret":"pay",)";
  EXPECT_EQ(commit.serialize(),
            R"({"Commit":{)" + lines +
                R"("sum":"190.00","sum_bonus":"10.00","sum_stella":"200.00","trnum":"9"}})"
                "\n");
  EXPECT_EQ(undo.serialize(), R"({"Undo":{)" + lines +
                                  R"("sum":"10.00","trnum":"9"}})"
                                  "\n");
}

TEST(SettleBody, NothingCopiedStillGivesABody) {
  Undo_Input undo;
  ReadOk(&undo, R"({"Undo":{"CardNum":"1","CheckNum":"4"}})");
  EXPECT_EQ(undo.serialize(), R"({"Undo":{"cardnum":"1","sum":"0.00","trnum":"4"}})"
                              "\n");
  Commit_Input fresh;
  EXPECT_EQ(fresh.serialize(),
            R"({"Commit":{"cardnum":"","sum":"0.00","sum_bonus":"0.00","sum_stella":"0.00","trnum":""}})"
            "\n");
}

// ---- The proxy calls ----

TEST(SettleProxy, UndoPostsAndReadsItsAnswer) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"Undo":{"err":"0","errmsg":"done","message":"Undone"}})");
  CtxPtr ctx = NewCtx(centre.url());
  Undo_Proxy proxy(ctx.get());
  Undo_Input input;
  ReadOk(&input, R"({"Undo":{"CardNum":"1","CheckNum":"4"}})");
  Undo_Output output;
  EXPECT_EQ(proxy.getUndoProc(&input, &output), 0);
  ASSERT_EQ(centre.bodies().size(), 1u);
  EXPECT_EQ(centre.bodies()[0], R"({"Undo":{"cardnum":"1","sum":"0.00","trnum":"4"}})"
                                "\n");
  EXPECT_EQ(output.err, "0");
  EXPECT_EQ(output.errmsg, "done");
  EXPECT_EQ(output.message, "Undone");
}

TEST(SettleProxy, CommitAnswersThatAreNoObjectOrAnotherFamilysAndNoMessages) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  struct Case {
    const char* answer;
    int code;
    const char* errmsg;
  };
  const Case cases[] = {
      {"[]", 5, "Ошибка в формате данных ответа"},
      {"\"Commit\"", 5, "Ошибка в формате данных ответа"},
      {R"({"Undo":{"err":"0"}})", 3, "Отсутствует необходимый блок данных"},
      {R"({"Commit":{"err":"9","errmsg":"late"}})", 0, "late"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    centre.answer(c.answer);
    CtxPtr ctx = NewCtx(centre.url(), 1);
    Commit_Proxy proxy(ctx.get());
    Commit_Input input;
    ReadOk(&input, kCommit);
    Commit_Output output;
    EXPECT_EQ(proxy.getCommitProc(&input, &output), c.code);
    EXPECT_EQ(output.errmsg, c.errmsg);
    EXPECT_EQ(output.response_text, c.answer);
  }
  const std::size_t posted = centre.bodies().size();
  CtxPtr ctx = NewCtx(centre.url());
  Commit_Proxy proxy(ctx.get());
  Commit_Input input;
  Commit_Output output;
  EXPECT_EQ(proxy.getCommitProc(nullptr, &output), 13);
  EXPECT_EQ(proxy.getCommitProc(&input, nullptr), 13);
  EXPECT_EQ(centre.bodies().size(), posted) << "nothing sent";
}

}  // namespace
