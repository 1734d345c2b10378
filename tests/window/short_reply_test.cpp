// Replies that arrive short or not at all. The reply buffers keep the rest
// of the previous reply of their kind, but characters that did not arrive
// are unreadable: such a reply never passes its PEC check, is retried with
// auto retry on, and is shown red with unreadable readings as a single read.
#include <gtest/gtest.h>

#include "protocol/hex.h"
#include "support/form_fixture.h"

namespace eb {
namespace {

using test::FakeBoard;
using test::FakeStack;

// One kind of register read as a button performs it.
struct ReadKind {
  const char* name;
  int button;         // Command1 index
  const char* code;   // command byte after the address
  int registerBytes;  // bytes before the PEC
};

constexpr ReadKind kKinds[] = {
    {"RDCFG", 6, "02", 6},
    {"RDCV", 7, "04", 18},
    {"RDFLG", 8, "06", 3},
    {"RDTMP", 9, "08", 5},
};

class ShortReply : public test::FormFixture {
 protected:
  // Distinct, believable register contents for board 80, so that a stale
  // reply would pass its PEC check if it were taken for a fresh one.
  void FillBoard() {
    FakeBoard& b = stack.boards["80"];
    b.cfg = {0xE3, 0x12, 0x34, 0x56, 0x71, 0xAB};
    for (int c = 1; c <= 12; ++c) FakeStack::SetCell(b, c, 2000 + 37 * c);
    b.flg = {0x21, 0x84, 0x10};
    b.tmp = {0x34, 0x12, 0x56, 0x78, 0x0A};
  }
  // After a reply cut to its first `delivered` characters:
  void CheckRegisterBytes(const ReadKind& kind, int delivered) {
    // Register bytes: those wholly delivered are read, the others are not.
    const std::string kindName = kind.name;
    for (int k = 0; k < kind.registerBytes; ++k) {
      bool arrived = 4 + 2 * k + 2 <= delivered;
      std::string expected = arrived ? ByteHex(Bytes(kind)[static_cast<size_t>(k)]) : "??";
      if (kindName == "RDCFG") {
        BoardTexts* rd[] = {&form.CFGR0rd, &form.CFGR1rd, &form.CFGR2rd,
                            &form.CFGR3rd, &form.CFGR4rd, &form.CFGR5rd};
        EXPECT_EQ((*rd[k])[0], expected) << "CFGR" << k;
      } else if (kindName == "RDFLG") {
        BoardTexts* rd[] = {&form.FLGR0rd, &form.FLGR1rd, &form.FLGR2rd};
        EXPECT_EQ((*rd[k])[0], expected) << "FLGR" << k;
      }
    }
  }
  void CheckCells(int delivered) {
    for (int c = 1; c <= 12; ++c) {
      // Cell c uses the bytes of its pair: 3·p … 3·p + 2, p = (c − 1) / 2.
      int p = (c - 1) / 2;
      int lastByte = c % 2 == 1 ? 3 * p + 1 : 3 * p + 2;
      bool arrived = 4 + 2 * lastByte + 2 <= delivered;
      std::string shown = form.Text1[c - 1].text;
      if (arrived) {
        EXPECT_EQ(shown, VoltText(static_cast<float>((2000 + 37 * c) * 0.0015)) + "V  ")
            << "cell " << c;
      } else {
        EXPECT_EQ(shown, " -.---V  ") << "cell " << c;
        EXPECT_NE(form.CELLhex[static_cast<size_t>(c)].find('?'), std::string::npos);
      }
    }
  }
  void CheckTemps(int delivered) {
    // Every sensor needs at least byte 1 (TMPR1) or byte 4 (TMPR4); with
    // the PEC missing at least ITMP (bytes 3, 4) is complete only in the
    // longest delivery.
    std::string itmp = form.Text6[0].text;
    if (delivered < 4 + 2 * 5) {
      EXPECT_EQ(itmp.substr(0, 6), " -.---") << itmp;
    }
    // A mismatched reply never sets the status bits from its TMPR4.
    EXPECT_EQ(form.THSDbit[0], 0);
  }
  const std::vector<int>& Bytes(const ReadKind& k) {
    FakeBoard& b = stack.boards["80"];
    std::string code = k.code;
    return code == "02" ? b.cfg : code == "04" ? b.cv : code == "06" ? b.flg : b.tmp;
  }
};

TEST_F(ShortReply, CharactersThatNeverArrivedAreUnreadableForEveryKindOfRead) {
  FillBoard();
  for (const ReadKind& kind : kKinds) {
    const int length = 4 + 2 * (kind.registerBytes + 1);
    for (int delivered : {0, 1, 4, length - 1}) {
      SCOPED_TRACE(std::string(kind.name) + " delivering " + std::to_string(delivered));
      // A whole good reply first: the buffer now holds a reply that passes.
      form.Command1_click(kind.button);
      ASSERT_EQ(form.Text8.text.substr(4, 4), " == ");
      ASSERT_EQ(form.PECstatus[0], 1);
      // Then the same reply cut short: what arrived agrees with the chip,
      // what did not arrive must not count as received.
      stack.cannedReplies = {FakeStack::Encode(Bytes(kind), false).substr(0, delivered)};
      form.Command1_click(kind.button);
      EXPECT_EQ(form.Text8.text.substr(0, 8), "0x?? != ");
      EXPECT_EQ(form.Text8.back, colors::Red);
      EXPECT_EQ(form.PECstatus[0], 2);
      EXPECT_EQ(form.Shape12[0].fill, colors::Red);
      EXPECT_TRUE(platform.messages.empty());

      CheckRegisterBytes(kind, delivered);
      const std::string kindName = kind.name;
      if (kindName == "RDCV") CheckCells(delivered);
      if (kindName == "RDTMP") CheckTemps(delivered);
    }
  }
}

TEST_F(ShortReply, AButtonReadAfterTheBridgeWentAwayShowsNoMatch) {
  FillBoard();
  form.Command1_click(7);
  ASSERT_EQ(form.Text8.text.substr(4, 4), " == ");
  stack.bridge.openOk = false;  // unplugged: every transaction delivers nothing
  form.Command1_click(7);
  EXPECT_EQ(form.Text8.text.substr(0, 8), "0x?? != ");
  for (int c = 0; c < 12; ++c) EXPECT_EQ(form.Text1[c].text, " -.---V  ");
}

TEST_F(ShortReply, WithAutoRetryAShortReplyIsRetriedAndTheFreshOneAccepted) {
  FillBoard();
  stack.boards["81"] = stack.boards["80"];
  for (int c = 1; c <= 12; ++c) FakeStack::SetCell(stack.boards["81"], c, 1500 + c);
  SetBoards(2);
  form.Check_AUTO.setValue(1);
  form.Command1_click(10);
  ASSERT_EQ(form.OnOff, 1);
  // Cells of board 80 (the selected board) arrive whole; board 81's first
  // reply brings nothing at all, so its buffer still holds board 80's reply.
  form.Timer1_Timer();  // cells of board 80
  form.Timer1_Timer();
  form.Timer1_Timer();
  stack.bridge.writes.clear();
  stack.cannedReplies = {""};
  form.Timer1_Timer();               // cells of board 81
  EXPECT_EQ(Count("MSxT81T04"), 2);  // rejected once, then read again
  for (int c = 1; c <= 12; ++c) {
    EXPECT_FLOAT_EQ(form.CELLvolt[static_cast<size_t>(12 + c)],
                    static_cast<float>((1500 + c) * 0.0015))
        << "cell " << c;
  }
  EXPECT_EQ(form.PECstatus[1], 1);
  EXPECT_TRUE(platform.messages.empty());
}

}  // namespace
}  // namespace eb
