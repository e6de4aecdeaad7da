// Bonus payment and bonus return messages: reading the POS "PayBonus" and
// "PayReturn" members (price completion, row numbers, dates, the order
// UUID), the bodies posted to the centre, the journal view of the inputs,
// and the proxy calls against a scripted centre on loopback.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "interface/message_fields.h"
#include "interface/payment.h"
#include "interface/rtrn.h"
#include "interface/ws_ctx.h"
#include "support/json_text.h"
#include "support/scripted_centre.h"
#include "support/ws_ctx_fixture.h"
#include "util/json_value.h"

namespace {

using interface::payment::Payment_Input;
using interface::payment::Payment_Output;
using interface::payment::Payment_Proxy;
using interface::rtrn::Rtrn_Input;
using interface::rtrn::Rtrn_Output;
using interface::rtrn::Rtrn_Proxy;

// ---- An independent RFC 4122 version 3 UUID (RFC 1321 MD5) ----

std::array<std::uint8_t, 16> Md5(const std::string& message) {
  static const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
  std::uint32_t table[64];
  for (int i = 0; i < 64; ++i) {
    table[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
  }
  std::string data = message;
  const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
  data += '\x80';
  while (data.size() % 64 != 56) data += '\0';
  for (int i = 0; i < 8; ++i) data += static_cast<char>((bits >> (8 * i)) & 0xff);

  std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  for (std::size_t chunk = 0; chunk < data.size(); chunk += 64) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
      m[i] = 0;
      for (int b = 3; b >= 0; --b) {
        m[i] = (m[i] << 8) | static_cast<unsigned char>(data[chunk + 4 * i + b]);
      }
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t f;
      int g;
      if (i < 16) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
      } else if (i < 48) {
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
      }
      f = f + a + table[i] + m[g];
      a = d;
      d = c;
      c = b;
      b = b + ((f << kShift[i]) | (f >> (32 - kShift[i])));
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
  }
  std::array<std::uint8_t, 16> digest;
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<std::uint8_t>(h[i / 4] >> (8 * (i % 4)));
  return digest;
}

std::string Hex(const std::array<std::uint8_t, 16>& bytes, bool dashes) {
  std::string out;
  char two[3];
  for (int i = 0; i < 16; ++i) {
    if (dashes && (i == 4 || i == 6 || i == 8 || i == 10)) out += '-';
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    out += two;
  }
  return out;
}

// Version 3 in the ISO OID name space 6ba7b812-9dad-11d1-80b4-00c04fd430c8.
std::string UuidV3(const std::string& name) {
  const unsigned char kOidSpace[16] = {0x6b, 0xa7, 0xb8, 0x12, 0x9d, 0xad, 0x11, 0xd1,
                                       0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
  std::array<std::uint8_t, 16> hash = Md5(std::string(reinterpret_cast<const char*>(kOidSpace), 16) + name);
  hash[6] = static_cast<std::uint8_t>((hash[6] & 0x0f) | 0x30);
  hash[8] = static_cast<std::uint8_t>((hash[8] & 0x3f) | 0x80);
  return Hex(hash, true);
}

TEST(TestUuid, TheTestsOwnDigestMatchesKnownValues) {
  EXPECT_EQ(Hex(Md5(""), false), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Hex(Md5("abc"), false), "900150983cd24fb0d6963f7d28e17f72");
  // Two blocks, from the test suite of RFC 1321.
  EXPECT_EQ(
      Hex(Md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"), false),
      "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(UuidV3("azs=0123&trannum=456&numcheck=7"), "43971049-8a51-3653-a640-f03c411f4788");
}

// ---- Payment: reading ----

// A payment request with one line, as JSON text of the "PayBonus" member.
std::string PayBonus(const std::string& member) { return "{\"PayBonus\":" + member + "}"; }

TEST(PaymentRead, PriceCompletionDerivesTheMissingPart) {
  struct Case {
    const char* line;
    const char* price;
    const char* base_price;
    const char* points;
  };
  const Case cases[] = {
      // base price and bonus given: the price after the bonus per unit
      {R"({"base_price":"100","points":"10","cnt":"2"})", "95.00", "100", "10"},
      // no count: the price is the base price
      {R"({"base_price":"100","points":"10","cnt":"0"})", "100.00", "100", "10"},
      // price and bonus given: the base price; no count, no division
      {R"({"price":"90","points":"20","cnt":"0"})", "90", "90.00", "20"},
      {R"({"price":"90","points":"20","cnt":"4"})", "90", "95.00", "20"},
      // both prices given: the bonus of the line
      {R"({"base_price":"100","price":"95","cnt":"3"})", "95", "100", "15.00"},
      {R"({"base_price":"100","price":"100","cnt":"3"})", "100", "100", "0.00"},
      // rounding to cents, half away from zero
      {R"({"base_price":"10","points":"1","cnt":"3"})", "9.67", "10", "1"},
      // all three given, or too little to derive anything: as read
      {R"({"base_price":"100","price":"95","points":"7","cnt":"3"})", "95", "100", "7"},
      {R"({"points":"7","cnt":"3"})", "", "", "7"},
      {R"({"base_price":"abc","points":"7","cnt":"3"})", "", "abc", "7"},
      {R"({"base_price":"1e308","points":"0","cnt":"1e308"})", "", "1e308", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Payment_Input input;
    ASSERT_EQ(input.readRequest(ParseJson(PayBonus(std::string("{\"Check\":[") + c.line + "]}"))), 0);
    ASSERT_NE(input.member->order->items, nullptr);
    const interface::ui_OrderItem* line = input.member->order->items->at(0);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->price, c.price);
    EXPECT_EQ(line->base_price, c.base_price);
    EXPECT_EQ(line->points, c.points);
  }
}

TEST(PaymentRead, TheReturnTakesItsLinesAsGiven) {
  Rtrn_Input input;
  ASSERT_EQ(
      input.readRequest(ParseJson(R"({"PayReturn":{"Check":[{"base_price":"100","points":"10","cnt":"2"}]}})")),
      0);
  const interface::ui_OrderItem* line = input.member->order->items->at(0);
  EXPECT_EQ(line->price, "");
  EXPECT_EQ(line->points, "10");
  // Without a price the line gives no "price_after" and adds nothing after the bonus.
  EXPECT_EQ(input.serialize(),
            R"({"Return":{"articul_list":[{"flag_good":"good","pos":"1","price":"100.00","volume":"2.00"}],)"
            R"("cardnum":"","sum":"0.00","sum_bonus":"200.00","sum_stella":"200.00","trnum":""}})"
            "\n");
}

TEST(PaymentRead, LinesKeepTheirPlaceAndTheirFields) {
  Payment_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(
                R"({"Check":[5,null,"x",[1],{"art":"7","title":"Tea","flag":1,"payinfo":"p","sum":"3"},)"
                R"({"intid":"L9","pay":"CARD","flag":7}]})"))),
            0);
  const interface::ui_OrderItem_List& lines = *input.member->order->items;
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(ShownOpt(lines.at(0)->intid), "5");
  EXPECT_EQ(lines.at(0)->art, "7");
  EXPECT_EQ(ShownOpt(lines.at(0)->title), "Tea");
  EXPECT_EQ(lines.at(0)->pay, "MIX");
  EXPECT_EQ(lines.at(0)->kind, 2);
  EXPECT_EQ(ShownOpt(lines.at(0)->payinfo), "p");
  EXPECT_EQ(lines.at(0)->sum, "3");
  EXPECT_EQ(ShownOpt(lines.at(1)->intid), "L9");
  EXPECT_EQ(lines.at(1)->pay, "CARD");
  EXPECT_EQ(lines.at(1)->kind, interface::LINE_KIND_NONE);
  EXPECT_EQ(ShownOpt(lines.at(1)->title), "<none>");

  // "Check" that is no array gives no list at all; an empty one an empty list.
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"Check":{"art":"1"}})"))), 0);
  EXPECT_EQ(input.member->order->items, nullptr);
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"Check":[]})"))), 0);
  ASSERT_NE(input.member->order->items, nullptr);
  EXPECT_EQ(input.serialize(),
            R"({"PayBonus":{"articul_list":[],"cardnum":"","num_check":"1","sum":"0.00","trnum":""}})"
            "\n");
}

TEST(PaymentRead, RefusalsChangeNothingAndAGoodRequestAfterThemReads) {
  Payment_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"CardNum":"12345678901234567890","Offline":"1"})"))), 0);
  EXPECT_TRUE(input.offline);
  struct Case {
    const char* block;
    int code;
  };
  const Case cases[] = {
      {R"({"PayBonus":{"CardNum":"123456789012345678901","Offline":"0"}})", 27},
      {R"({"PayBonus":[{"CardNum":"1"}]})", 3},
      {R"({"PayBonus":null})", 3},
      {R"({"PayBonus":"CardNum"})", 3},
      {R"({"PayReturn":{"CardNum":"1"}})", 3},
      {R"([{"PayBonus":{"CardNum":"1"}}])", 3},
      {R"(7)", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(input.readRequest(ParseJson(c.block)), c.code);
    EXPECT_EQ(ShownText(input.getCardNum()), "12345678901234567890");
    EXPECT_TRUE(input.offline);
  }
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"CheckNum":"3"})"))), 0);
  EXPECT_EQ(ShownText(input.getCardNum()), "<null>") << "an absent card number is accepted";
  EXPECT_FALSE(input.offline) << "no \"Offline\" reads as online";
  EXPECT_EQ(input.serialize(), R"({"PayBonus":{"cardnum":"","num_check":"1","sum":"0.00","trnum":"3"}})"
                               "\n");

  Payment_Input fresh;
  EXPECT_EQ(fresh.readRequest(ParseJson(PayBonus(R"({"CardNum":"123456789012345678901"})"))), 27);
  EXPECT_EQ(fresh.member, nullptr) << "nothing kept";
}

TEST(PaymentRead, OddMemberShapesReadAsAbsent) {
  Payment_Input input;
  ASSERT_EQ(
      input.readRequest(ParseJson(PayBonus(
          R"({"CardNum":["1"],"GSCount":{"n":2},"Transact":[{"ID":"1"}],"qr_code":null,"CheckNum":42})"))),
      0);
  EXPECT_EQ(input.member->cardnum, "");
  EXPECT_EQ(ShownOpt(input.member->gscount), "1");
  EXPECT_EQ(input.member->order->transaction, nullptr);
  EXPECT_EQ(input.member->order->trnum, "42");
  EXPECT_EQ(ShownText(input.getOrderUuid()), "<null>");
}

// ---- The order UUID and the cheque row number ----

TEST(PaymentUuid, AKnownKeyGivesItsRfc4122Uuid) {
  Payment_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"CheckNum":"9","Transact":{"ID":"77","Location":"12"}})"))),
            0);
  const std::string uuid = UuidV3("azs=12&trannum=77&numcheck=1");
  EXPECT_EQ(ShownOpt(input.member->order->zakaz), uuid);
  EXPECT_EQ(ShownOpt(input.member->order->transaction->zakaz), uuid);
  EXPECT_EQ(ShownText(input.getOrderUuid()), uuid);
  EXPECT_EQ(ShownText(input.getCheckRownum()), "1");
  EXPECT_EQ(input.member->order->trnum, "77") << "the transaction's id names the cheque";
  EXPECT_EQ(input.member->order->transaction->trnum, "") << "a payment keeps no id in its transaction";
  EXPECT_EQ(input.serialize(),
            R"({"PayBonus":{"azs":"12","cardnum":"","num_check":"1","sum":"0.00","trnum":"77","zakaz":")" +
                uuid + "\"}}\n");
}

TEST(PaymentUuid, TheRowNumberFallsBackFromTheTransactionToTheMemberToOne) {
  struct Case {
    const char* member;  // members besides "Transact"
    const char* transact;
    const char* rownum;
  };
  const Case cases[] = {
      {R"("num_check":"4")", R"({"ID":"77","Location":"12","num_check":"6"})", "6"},
      {R"("num_check":"4")", R"({"ID":"77","Location":"12"})", "4"},
      {R"("num_check":"")", R"({"ID":"77","Location":"12","num_check":""})", "1"},
      {R"("num_check":"007")", R"({"ID":"77","Location":"12"})", "007"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    Payment_Input input;
    ASSERT_EQ(
        input.readRequest(ParseJson(PayBonus(std::string("{") + c.member + ",\"Transact\":" + c.transact + "}"))),
        0);
    EXPECT_EQ(ShownText(input.getCheckRownum()), c.rownum);
    // The key re-prints the row number as a number.
    const std::string rownum = std::string(c.rownum) == "007" ? "7" : c.rownum;
    EXPECT_EQ(ShownText(input.getOrderUuid()), UuidV3("azs=12&trannum=77&numcheck=" + rownum));
  }
}

TEST(PaymentUuid, NoUuidWithoutALocationOrANumericId) {
  const char* const transacts[] = {
      R"({"ID":"77"})",
      R"({"ID":"77","Location":""})",
      R"({"ID":"abc","Location":"12"})",
      R"({"ID":"99999999999","Location":"12"})",
      R"({"Location":"12"})",
  };
  for (const char* transact : transacts) {
    SCOPED_TRACE(transact);
    Payment_Input input;
    ASSERT_EQ(
        input.readRequest(ParseJson(PayBonus(std::string(R"({"CheckNum":"9","Transact":)") + transact + "}"))),
        0);
    ASSERT_NE(input.member->order->transaction, nullptr);
    EXPECT_EQ(ShownOpt(input.member->order->zakaz), "<none>");
    EXPECT_EQ(ShownOpt(input.member->order->transaction->zakaz), "<none>");
    EXPECT_EQ(ShownText(input.getOrderUuid()), "<null>");
    const Json::Value body = ParseJson(input.serialize());
    EXPECT_FALSE(body["PayBonus"].isMember("zakaz"));
  }
  // Without "ID" the cheque keeps the POS cheque number.
  Payment_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"CheckNum":"9","Transact":{"Location":"12"}})"))), 0);
  EXPECT_EQ(ShownText(input.getOrderNum()), "9");
}

TEST(PaymentUuid, TheConfiguredLocationFillsAnEmptyOneButNamesNoCheque) {
  Payment_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"Transact":{"ID":"77","Terminal":"T7"}})"))), 0);
  input.completeLocation("12");
  input.completeTerminal("T1");
  EXPECT_EQ(ShownText(input.getLocation()), "12");
  EXPECT_EQ(ShownText(input.getTerminal()), "T7") << "the POS terminal stands";
  EXPECT_EQ(ShownText(input.getOrderUuid()), "<null>") << "the UUID is made from the values as read";
  input.completeLocation("13");
  EXPECT_EQ(ShownText(input.getLocation()), "12");
  input.completeTerminal(nullptr);
  EXPECT_EQ(ShownText(input.getTerminal()), "T7");
  EXPECT_EQ(ParseJson(input.serialize())["PayBonus"]["azs"].asString(), "12");

  Payment_Input without;
  ASSERT_EQ(without.readRequest(ParseJson(PayBonus("{}"))), 0);
  without.completeLocation("12");
  EXPECT_FALSE(without.hasTransaction());
  EXPECT_EQ(ShownText(without.getLocation()), "<null>") << "no transaction is made for it";
}

// ---- Dates ----

TEST(PaymentDates, DatesAreKeptAsFourteenDigitsAndInvalidOnesLeftOut) {
  struct Case {
    const char* given;
    const char* kept;
  };
  const Case cases[] = {
      {"20240131", "20240131000000"},
      {"202401311230", "20240131123000"},
      {"20240131123059999", "20240131123059"},
      {"20240230", "<null>"},
      {"2024-01-31", "<null>"},
      {"1234567", "<null>"},
      {"", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    Payment_Input input;
    ASSERT_EQ(input.readRequest(ParseJson(PayBonus(std::string(R"({"Transact":{"DateTime":")") + c.given +
                                               R"(","ShiftDate":")" + c.given + "\"}}"))),
              0);
    EXPECT_EQ(ShownText(input.getDateTime()), c.kept);
    EXPECT_EQ(ShownText(input.getShiftDate()), c.kept);
  }
}

// ---- Payment: the body ----

TEST(PaymentBody, AFullRequest) {
  Payment_Input input;
  input.zero_fill = true;
  input.id_length = 5;
  ASSERT_EQ(
      input.readRequest(ParseJson(PayBonus(
          R"({"CardNum":"2000111","Card":"C-1","qr_code":"Q1","CheckNum":"9","CheckId":"ck","num_check":"4",)"
          R"("Check":[{"art":"77","title":"Milk","cnt":"2","base_price":"100","points":"10","flag":0},)"
          R"({"art":"5","price":"3","cnt":"1"}],)"
          R"("Transact":{"ID":"77","Location":"12","Terminal":"T1","DateTime":"20240131120000"}})"))),
      0);
  EXPECT_EQ(
      input.serialize(),
      R"({"PayBonus":{"articul_list":[)"
      R"({"flag_good":"gsm","id":"00077","pos":"1","price":"100.00","price_after":"95.00","title":"Milk",)"
      R"("volume":"2.00"},{"flag_good":"good","id":"00005","pos":"2","price":"3.00","price_after":"3.00",)"
      R"("volume":"1.00"}],"azs":"12","cardnum":"2000111","num_check":"1","qr_code":"Q1","qr_type":"qr",)"
      R"("sum":"10.00","trnum":"77","zakaz":")" +
          UuidV3("azs=12&trannum=77&numcheck=4") + "\"}}\n");
  EXPECT_EQ(input.request_text, "") << "serialize does not store the body";
}

TEST(PaymentBody, QrDataGoesOnlyWithAQrCode) {
  struct Case {
    const char* member;
    const char* qr_keys;  // the JSON text of "qr_code" and "qr_type", or ""
  };
  const Case cases[] = {
      {R"({"qr_code":"Q"})", R"("qr_code":"Q","qr_type":"qr",)"},
      {R"({"qr_code":"Q","qr_type":"sbp"})", R"("qr_code":"Q","qr_type":"sbp",)"},
      {R"({"qr_type":"sbp"})", ""},
      {R"({})", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    Payment_Input input;
    ASSERT_EQ(input.readRequest(ParseJson(PayBonus(c.member))), 0);
    EXPECT_EQ(input.serialize(), std::string(R"({"PayBonus":{"cardnum":"","num_check":"1",)") + c.qr_keys +
                                     R"("sum":"0.00","trnum":""}})" + "\n");
  }
}

TEST(PaymentBody, TheSumAddsThePointsThatParse) {
  struct Case {
    const char* lines;
    const char* sum;
  };
  const Case cases[] = {
      {R"([{"points":"1.5","base_price":"10","price":"8.5"},{"points":"2.25","base_price":"5","price":"2.75"}])",
       "3.75"},
      {R"([{"points":"x","base_price":"1","price":"1"},{"points":"-1.5","base_price":"1","price":"1"}])",
       "-1.50"},
      {R"([{"points":"1e308","base_price":"1","price":"1"},{"points":"1e308","base_price":"1","price":"1"}])",
       "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    Payment_Input input;
    ASSERT_EQ(
        input.readRequest(ParseJson(PayBonus(std::string("{\"GSCount\":\"3\",\"Check\":") + c.lines + "}"))), 0);
    const Json::Value body = ParseJson(input.serialize())["PayBonus"];
    EXPECT_EQ(body.isMember("sum") ? body["sum"].asString() : "<none>", c.sum)
        << "a total past any amount is left out";
    EXPECT_EQ(input.getOrderSum().isNull() ? "<none>" : input.getOrderSum().str(), c.sum);
    EXPECT_EQ(body["num_check"].asString(), "3");
  }
  Payment_Input none;
  EXPECT_TRUE(none.getOrderSum().isNull()) << "no order, no sum";
}

// ---- The journal view ----

TEST(PaymentJournal, TheGettersOfAReadRequest) {
  Payment_Input input;
  ASSERT_EQ(input.readRequest(
                ParseJson(PayBonus(R"({"CardNum":"5","qr_code":"Q","qr_type":"mf","CheckNum":"9","Offline":"Y",)"
                               R"("Transact":{"Location":"12","shift":"3","DateTime":"20240131"}})"))),
            0);
  EXPECT_TRUE(input.hasOrder());
  EXPECT_TRUE(input.hasTransaction());
  EXPECT_TRUE(input.offline);
  EXPECT_EQ(ShownText(input.getCardNum()), "5");
  EXPECT_EQ(ShownText(input.getQRCode()), "Q");
  EXPECT_EQ(ShownText(input.getQRType()), "mf");
  EXPECT_EQ(ShownText(input.getChequeNum()), "9");
  EXPECT_EQ(ShownText(input.getOrderNum()), "9");
  EXPECT_EQ(ShownText(input.getTransactionId()), "<null>");
  EXPECT_EQ(ShownText(input.getShift()), "3");
  EXPECT_EQ(ShownText(input.getTerminal()), "<null>");
  EXPECT_EQ(ShownText(input.getDateTime()), "20240131000000");
  EXPECT_EQ(input.getOperType(), interface::SETTLES_NOTHING);
  EXPECT_EQ(ShownText(input.getEventTime()), "<null>");
  EXPECT_EQ(ShownText(input.getOrigCheckRownum()), "<null>");

  // A fresh input answers every getter with null.
  Payment_Input fresh;
  for (const char* text :
       {fresh.getOrderUuid(), fresh.getCheckRownum(), fresh.getCardNum(), fresh.getOrderNum(),
        fresh.getQRCode(), fresh.getQRType(), fresh.getDateTime(), fresh.getLocation()}) {
    EXPECT_EQ(text, nullptr);
  }
  EXPECT_FALSE(fresh.hasOrder());
}

// ---- Return ----

std::string PayReturn(const std::string& member) { return "{\"PayReturn\":" + member + "}"; }

TEST(ReturnBody, AFullRequestWithItsTransactionBlock) {
  Rtrn_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayReturn(
                R"({"CardNum":"2000111","CheckNum":"9","num_check_ret":"3",)"
                R"("Check":[{"art":"77","cnt":"2","price":"95","base_price":"100"},)"
                R"({"art":"8","cnt":"1","price":"10","base_price":"10"}],)"
                R"("Transact":{"ID":"80","Location":"12","DateTime":"20240305070509","ShiftDate":"20240304",)"
                R"("shift":"17","num_check":"2"},"OrigTransact":{"ID":"5"}})"))),
            0);
  EXPECT_EQ(
      input.serialize(),
      R"({"Return":{"articul_list":[)"
      R"({"flag_good":"good","id":"77","pos":"1","price":"100.00","price_after":"95.00","volume":"2.00"},)"
      R"({"flag_good":"good","id":"8","pos":"2","price":"10.00","price_after":"10.00","volume":"1.00"}],)"
      R"("azs":"12","cardnum":"2000111","event_date":"05.03.2024","event_time":"07:05:09","num_check":"2",)"
      R"("num_check_ret":"3","reader":"1","shift_date":"04.03.2024","shift_num":"17","shift_time":"00:00:00",)"
      R"("sum":"200.00","sum_bonus":"10.00","sum_stella":"210.00","trnum":"80","trnum_ret":"5","zakaz":")" +
          UuidV3("azs=12&trannum=80&numcheck=2") + "\"}}\n");
  EXPECT_EQ(ShownText(input.getTransactionId()), "80") << "a return keeps its transaction's id";
  EXPECT_EQ(ShownText(input.getOrigCheckRownum()), "3");
  EXPECT_EQ(ShownText(input.getOrigOrderUuid()), "<null>") << "the earlier sale gets no UUID";
  EXPECT_EQ(ShownText(input.getCheckRownum()), "2");
}

TEST(ReturnBody, TheEarlierSaleAndTheReaderAsGiven) {
  Rtrn_Input input;
  ASSERT_EQ(
      input.readRequest(ParseJson(PayReturn(
          R"({"num_check":"8","num_check_ret":"3","Transact":{"ID":"80","Location":"12","Terminal":"T2",)"
          R"("ShiftDate":"20240230"},"OrigTransact":{"ID":"5","num_check":"4","Location":"11","operID":"o"}})"))),
      0);
  ASSERT_NE(input.orig, nullptr);
  EXPECT_EQ(input.orig->trnum, "5");
  EXPECT_EQ(input.orig->location, "11");
  EXPECT_EQ(ShownOpt(input.orig->oper_id), "o");
  EXPECT_EQ(ShownOpt(input.orig->zakaz), "<none>");
  const Json::Value body = ParseJson(input.serialize())["Return"];
  EXPECT_EQ(body["reader"].asString(), "T2");
  EXPECT_EQ(body["num_check"].asString(), "8") << "the member's row number";
  EXPECT_EQ(body["num_check_ret"].asString(), "4") << "the earlier sale's own row number";
  EXPECT_FALSE(body.isMember("shift_date")) << "an invalid shift date is left out";
  EXPECT_FALSE(body.isMember("shift_time"));
  EXPECT_FALSE(body.isMember("event_date"));

  // A later request without "OrigTransact" refers to no earlier sale.
  ASSERT_EQ(input.readRequest(ParseJson(PayReturn(R"({"Transact":{"ID":"81","Location":"12"}})"))), 0);
  EXPECT_EQ(input.orig, nullptr);
  EXPECT_FALSE(ParseJson(input.serialize())["Return"].isMember("trnum_ret"));
}

TEST(ReturnBody, NoTransactionBlockWithoutTransactEvenWithAnEarlierSale) {
  Rtrn_Input input;
  ASSERT_EQ(
      input.readRequest(ParseJson(PayReturn(R"({"CardNum":"1","CheckNum":"9","OrigTransact":{"ID":"5"}})"))), 0);
  ASSERT_NE(input.orig, nullptr);
  EXPECT_EQ(input.serialize(),
            R"({"Return":{"cardnum":"1","sum":"0.00","sum_bonus":"0.00","sum_stella":"0.00","trnum":"9"}})"
            "\n");
}

TEST(ReturnBody, TotalsRoundEachLineToCents) {
  struct Case {
    const char* lines;
    const char* sum;
    const char* sum_stella;
    const char* sum_bonus;
  };
  const Case cases[] = {
      {R"([{"price":"95","base_price":"100","cnt":"2"},{"price":"10","base_price":"10","cnt":"1"}])",
       "200.00", "210.00", "10.00"},
      {R"([{"price":"0.333","cnt":"3"}])", "1.00", "0.00", "-1.00"},
      {R"([{"price":"0.005","base_price":"0.005","cnt":"1"},{"price":"0.005","base_price":"0.005","cnt":"1"}])",
       "0.02", "0.02", "0.00"},
      {R"([{"price":"x","base_price":"5","cnt":"y"}])", "0.00", "0.00", "0.00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    Rtrn_Input input;
    ASSERT_EQ(input.readRequest(ParseJson(PayReturn(std::string("{\"Check\":") + c.lines + "}"))), 0);
    const Json::Value body = ParseJson(input.serialize())["Return"];
    EXPECT_EQ(body["sum"].asString(), c.sum);
    EXPECT_EQ(body["sum_stella"].asString(), c.sum_stella);
    EXPECT_EQ(body["sum_bonus"].asString(), c.sum_bonus);
  }
}

TEST(ReturnRead, APaymentMemberIsNoReturn) {
  Rtrn_Input input;
  EXPECT_EQ(input.readRequest(ParseJson(PayBonus(R"({"CardNum":"1"})"))), 3);
  EXPECT_EQ(input.readRequest(ParseJson(R"({"Return":{"CardNum":"1"}})")), 3);
  EXPECT_EQ(input.member, nullptr);
  EXPECT_EQ(input.readRequest(ParseJson(PayReturn(R"({"CardNum":"123456789012345678901"})"))), 27);
  ASSERT_EQ(input.readRequest(ParseJson(PayReturn(R"({"OrigTransact":[{"ID":"5"}]})"))), 0);
  EXPECT_EQ(input.orig, nullptr) << "an earlier sale that is no object is none";
}

// ---- The proxy calls ----

TEST(PaymentProxy, PostsTheBodyAndReadsTheAnswer) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  centre.answer(R"({"PayBonus":{"err":"0","errmsg":"OK","message":"Bonus 10"}})");
  CtxPtr ctx = NewCtx(centre.url());
  Payment_Proxy proxy(ctx.get());
  Payment_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayBonus(R"({"CardNum":"7","CheckNum":"1"})"))), 0);
  Payment_Output output;

  EXPECT_EQ(proxy.getPaymentProc(&input, &output), 0);
  const std::string body = R"({"PayBonus":{"cardnum":"7","num_check":"1","sum":"0.00","trnum":"1"}})"
                           "\n";
  EXPECT_EQ(input.request_text, body);
  ASSERT_EQ(centre.bodies().size(), 1u);
  EXPECT_EQ(centre.bodies()[0], body);
  EXPECT_EQ(output.err, "0");
  EXPECT_EQ(output.errmsg, "OK");
  EXPECT_EQ(output.message, "Bonus 10");
}

TEST(PaymentProxy, AnswersThatAreNoObjectOrMissTheRoot) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  struct Case {
    const char* answer;
    int code;
  };
  const Case cases[] = {
      {"[1]", 5},
      {"5", 5},
      {"null", 5},
      {"not json", 5},
      {"", 14},
      {R"({"Return":{"err":"0"}})", 3},
      {R"({"PayBonus":"0"})", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    centre.answer(c.answer);
    CtxPtr ctx = NewCtx(centre.url(), 1);
    Payment_Proxy proxy(ctx.get());
    Payment_Input input;
    ASSERT_EQ(input.readRequest(ParseJson(PayBonus("{}"))), 0);
    Payment_Output output;
    EXPECT_EQ(proxy.getPaymentProc(&input, &output), c.code);
    EXPECT_EQ(output.err, std::to_string(c.code));
    EXPECT_EQ(output.message, "");
  }
}

TEST(ReturnProxy, TheAnswerRootIsReturn) {
  ScriptedCentre centre;
  ASSERT_TRUE(centre.start());
  CtxPtr ctx = NewCtx(centre.url());
  Rtrn_Proxy proxy(ctx.get());
  Rtrn_Input input;
  ASSERT_EQ(input.readRequest(ParseJson(PayReturn(R"({"CardNum":"7"})"))), 0);

  centre.answer(R"({"PayReturn":{"err":"0"}})");
  Rtrn_Output wrong;
  EXPECT_EQ(proxy.getReturnProc(&input, &wrong), 3);

  centre.answer(R"({"Return":{"err":"12","errmsg":"no sale"}})");
  CtxPtr again = NewCtx(centre.url());
  Rtrn_Proxy second(again.get());
  Rtrn_Output output;
  EXPECT_EQ(second.getReturnProc(&input, &output), 0) << "the runner judges the centre's own code";
  EXPECT_EQ(output.err, "12");
  EXPECT_EQ(output.errmsg, "no sale");
  const std::vector<std::string> bodies = centre.bodies();
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0], bodies[1]) << "the body is built once and sent again unchanged";
  EXPECT_EQ(proxy.getReturnProc(&input, nullptr), 13);
}

}  // namespace
