// Arbitrary reply text through cut, calculate and decode: no crash, no
// sanitizer report, and nothing unreadable becomes a believable reading.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "protocol/hex.h"
#include "support/fake_stack.h"
#include "window/form1.h"

namespace eb {
namespace {

TEST(FuzzReplies, HundredThousandArbitraryRepliesThroughEveryRead) {
  std::mt19937_64 rng(20261208);
  const std::string alphabet = "0123456789ABCDEFabcdefFF00GZ xX\r\n\x7f\xff";
  std::string lastReply;
  long replies = 0;

  test::FakeBridge bridge;
  bridge.responder = [&](const std::string& cmd) -> std::string {
    if (cmd == "IZ") return "ZQM4417-2";
    if (cmd.rfind("MSxT8", 0) != 0) return "";
    ++replies;
    std::string r;
    size_t len = rng() % 60;
    bool mostlyHex = rng() % 4 != 0;
    for (size_t i = 0; i < len; ++i) {
      if (mostlyHex && rng() % 16 != 0) {
        r += "0123456789ABCDEF"[rng() % 16];
      } else if (rng() % 8 == 0) {
        r += '\0';
      } else {
        r += alphabet[rng() % alphabet.size()];
      }
    }
    lastReply = r;
    return r;
  };
  test::FakePlatform platform;
  Form1 form(bridge, platform);
  form.Form_Load();
  ASSERT_FALSE(form.Unloaded);
  form.CARDSTACK = 9;

  while (replies < 100000) {
    form.OnOff = static_cast<I16>(rng() % 2);
    form.BRDread = static_cast<I16>(rng() % 10);
    form.BRDnumber = static_cast<I16>(rng() % 10);
    form.SINGLESHOTflag = static_cast<I16>(rng() % 2);
    form.AUTORESTARTflag = static_cast<I16>(rng() % 2);
    form.Check_AUTO.initValue(static_cast<int>(rng() % 2));
    switch (rng() % 4) {
      case 0: form.RDCV_ADDRESSABLE_RevC(); break;
      case 1: form.RDCFG_ADDRESSABLE_RevC(); break;
      case 2: form.RDFLG_ADDRESSABLE_RevC(); break;
      default: form.RDTMP_ADDRESSABLE_RevC(); break;
    }
    // A give-up toggles continuous reading; keep the fuzz inside one state.
    if (form.OnOff == 1 && rng() % 2 == 0) form.Command1_click(10);
    form.SET_CELLstatus_RevC_EB2250();
    form.DISPLAY_CELLstatus();

    const int x = form.ReadBoard();
    auto i = static_cast<size_t>(x);
    // An image cut from text with a non-hex pair never passes its PEC check.
    if (form.CVRbad[i] != 0) {
      EXPECT_EQ(form.PECchip_RDCV[i], -1);
    }
    if (form.CFGRbad[i] != 0) {
      EXPECT_EQ(form.PECchip_RDCFG[i], -1);
    }
    for (size_t k = 1; k < form.CELLvolt.size(); ++k) {
      float v = form.CELLvolt[k];
      ASSERT_TRUE(std::isnan(v) || (v >= 0.0f && v <= 6.1426f)) << k << " " << v;
    }
    for (int c = 0; c < 12; ++c) ASSERT_EQ(form.Text1[c].text.find('\0'), std::string::npos);
    for (I16 s : form.CELLstatus) ASSERT_TRUE(s >= 0 && s <= 7);
  }
  EXPECT_GE(replies, 100000);
}

}  // namespace
}  // namespace eb
