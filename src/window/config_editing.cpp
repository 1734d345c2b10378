// Configuration register editing: the per-board configuration texts, the
// bit check boxes, the duty cycle, 10/12-cell layout, global or per-board
// scope, the broadcast choices and the written-versus-pending display.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "protocol/hex.h"
#include "protocol/registers.h"
#include "window/form1.h"

namespace eb {

namespace {

// Value of a two-digit configuration text; unreadable texts count as 0.
int TextValue(const std::string& text) { return HexTextValue(text).value_or(0); }

// Rebuilds a configuration byte text from eight check boxes.
std::string BoxesToHex(ControlArray& boxes) {
  int v = 0;
  for (int i = 0; i <= 7; ++i) v += boxes[i].value() << i;
  return ByteHex(v);
}

void HexToBoxes(ControlArray& boxes, const std::string& text) {
  int v = TextValue(text);
  for (int i = 0; i <= 7; ++i) boxes[i].setValue((v >> i) & 1);
}

struct CdcRow {
  const char* first;
  const char* second;
};

const char* const kBlankA =
    "|                                     |                                       |               "
    "                           |  ";
const char* const kBlankB =
    "|                                   |                                       |                 "
    "                           |  ";
const char* const kBlankC =
    "|                                   |                                        |                "
    "                           |  ";

const CdcRow kCdcRows[8] = {
    {"|     Comparator Off     |                 Yes                |                   N/A        "
     "          | ",
     "|default StandbyMode |                                        |                              "
     "             |  "},
    {"|     Comparator Off    |                 No                  |                   13mS       "
     "         | ",
     "|                                  |                                        |           "
     "(Cell Voltage)           |  "},
    {"|              13mS              |                 No                  |                   "
     "13mS              | ",
     kBlankA},
    {"|             130mS           |                 No                  |                   13mS "
     "               | ",
     kBlankB},
    {"|              500mS          |                 No                  |                   13mS "
     "               | ",
     kBlankB},
    {"|              130mS          |                 Yes                |                   21mS  "
     "             | ",
     kBlankC},
    {"|              500mS          |                Yes                 |                   21mS  "
     "             | ",
     kBlankC},
    {"|            2000mS          |                Yes                 |                   21mS   "
     "            | ",
     kBlankC},
};

}  // namespace

void Form1::Check0_Click(int) {
  auto b = static_cast<size_t>(BRDnumber);
  int low = 0, high = 0;
  for (int i = 0; i <= 3; ++i) low += Check0[i].value() << i;
  for (int i = 4; i <= 7; ++i) high += Check0[i].value() << (i - 4);
  CFGR0Lnib[b] = std::to_string(low);
  CFGR0Hnib[b] = std::to_string(high);
  CFGR0[b] = std::string(1, HexDigit(high)) + HexDigit(low);
  DISPLAY_HWset_EB2250();
}

void Form1::Check1_Click(int) {
  CFGR1[static_cast<size_t>(BRDnumber)] = BoxesToHex(Check1);
  REFRESH_CFGR_FRAME4_EB2250();
}

void Form1::Check2_Click(int) {
  CFGR2[static_cast<size_t>(BRDnumber)] = BoxesToHex(Check2);
  REFRESH_CFGR_FRAME4_EB2250();
}

void Form1::Check3_Click(int) {
  CFGR3[static_cast<size_t>(BRDnumber)] = BoxesToHex(Check3);
  REFRESH_CFGR_FRAME4_EB2250();
}

void Form1::UPDATE_Check0() { HexToBoxes(Check0, CFGR0[static_cast<size_t>(BRDnumber)]); }
void Form1::UPDATE_Check1() { HexToBoxes(Check1, CFGR1[static_cast<size_t>(BRDnumber)]); }
void Form1::UPDATE_Check2() { HexToBoxes(Check2, CFGR2[static_cast<size_t>(BRDnumber)]); }
void Form1::UPDATE_Check3() { HexToBoxes(Check3, CFGR3[static_cast<size_t>(BRDnumber)]); }

void Form1::DISPLAY_HWset_EB2250() {
  if (Check0[3].value() == 1) {
    CELL10_mode();
  } else {
    CELL12_mode();
  }
  REFRESH_CFGR_FRAME4_EB2250();
}

namespace {
void ShowCells11And12(Form1& f, bool shown) {
  for (int c = 10; c <= 11; ++c) {
    f.Shape2[c].visible = shown;
    f.Shape4[c].visible = shown;
    f.Shape5[c].visible = shown;
    f.Text1[c].visible = shown;
  }
  f.Check2[2].visible = shown;
  f.Check2[3].visible = shown;
  f.Check3[6].visible = shown;
  f.Check3[7].visible = shown;
}
}  // namespace

void Form1::CELL10_mode() {
  ShowCells11And12(*this, false);
  Frame1[10].caption = "";
  Frame1[11].caption = "";
}

void Form1::CELL12_mode() {
  ShowCells11And12(*this, true);
  Frame1[10].caption = "CELL11";
  Frame1[11].caption = "CELL12";
}

void Form1::DISPLAY_CDC_EB2250() {
  auto b = static_cast<size_t>(BRDnumber);
  int cdc = CDCreg[b] & 7;
  Text3.text = std::string(kCdcRows[cdc].first) + kCdcRows[cdc].second;
  Check0[2].setValue((cdc >> 2) & 1);
  Check0[1].setValue((cdc >> 1) & 1);
  Check0[0].setValue(cdc & 1);
  b = static_cast<size_t>(BRDnumber);
  int low = 0;
  for (int i = 0; i <= 3; ++i) low += Check0[i].value() << i;
  CFGR0Lnib[b] = std::to_string(low);
  Text3.fore = colors::LightGrey;
  REFRESH_CFGR_FRAME4_EB2250();
}

void Form1::REFRESH_CFGR_FRAME4_EB2250() {
  auto b = static_cast<size_t>(BRDnumber);
  const BoardTexts* now[] = {&CFGR0, &CFGR1, &CFGR2, &CFGR3, &CFGR4, &CFGR5};
  const BoardTexts* wr[] = {&CFGR0wr, &CFGR1wr, &CFGR2wr, &CFGR3wr, &CFGR4wr, &CFGR5wr};
  bool pending = false;
  for (int k = 0; k <= 5; ++k) {
    if ((*now[k])[b] != (*wr[k])[b]) {
      pending = true;
      break;
    }
  }
  WRCFGBLINKflag = pending ? 1 : 0;
  for (int k = 0; k <= 5; ++k) {
    Text4[k].back = colors::WindowBackground;
    Text4[k].fore = pending ? colors::LightGrey : colors::Black;
  }
  const std::string& written0 = CFGR0wr[b];
  int lowNibble = std::atoi(CFGR0Lnib[b].c_str());
  bool lowWritten = !written0.empty() && written0.back() == HexDigit(lowNibble);
  Text3.fore = lowWritten ? colors::Black : colors::LightGrey;
  Text2[0].fore = CFGR4wr[b] != CFGR4[b] ? colors::LightGrey : colors::Black;
  Text2[1].fore = CFGR5wr[b] != CFGR5[b] ? colors::LightGrey : colors::Black;
  for (int k = 0; k <= 5; ++k) Text4[k].text = "   " + (*now[k])[b] + "   ";
  BLINK_WRCFG_EB2250();
}

void Form1::BLINK_WRCFG_EB2250() {
  if (WRCFGBLINKflag == 1) {
    Command1[5].left = 796;
    Command1[5].top = 168;
    Command1[5].width = 81;
    Command1[5].height = 17;
    Shape14.visible = true;
  } else {
    Command1[5].left = 788;
    Command1[5].top = 168;
    Command1[5].width = 97;
    Command1[5].height = 17;
    Shape14.visible = false;
  }
}

void Form1::SET_GLOBAL_CFGR_EB2250() {
  if (GLOBALCFGRflag != 1) return;
  auto s = static_cast<size_t>(BRDnumber);
  for (int i = 0; i <= CARDSTACK; ++i) {
    auto d = static_cast<size_t>(i);
    CFGR0[d] = CFGR0[s];
    CFGR1[d] = CFGR1[s];
    CFGR2[d] = CFGR2[s];
    CFGR3[d] = CFGR3[s];
    CFGR4[d] = CFGR4[s];
    CFGR5[d] = CFGR5[s];
  }
}

void Form1::UPDATE_GLOBAL_CFGR_EB2250() {
  float u = LeadingNumber(Text2[0].text);
  float o = LeadingNumber(Text2[1].text);
  u = u / kVoltsPerThresholdCountF;
  o = o / kVoltsPerThresholdCountF;
  // Register values are 8-bit; a text that does not give 0 … 255 counts is
  // held at the nearest end rather than overflowing.
  auto toReg = [](float v) {
    if (std::isnan(v)) return I16{0};
    return static_cast<I16>(std::clamp(std::nearbyint(v), 0.0f, 255.0f));
  };
  if (Option1[0].value() == 1) {
    VUVreg[static_cast<size_t>(BRDnumber)] = toReg(u);
    VOVreg[static_cast<size_t>(BRDnumber)] = toReg(o);
  } else if (Option1[1].value() == 1) {
    for (int i = 0; i <= CARDSTACK; ++i) {
      VUVreg[static_cast<size_t>(i)] = toReg(u);
      VOVreg[static_cast<size_t>(i)] = toReg(o);
    }
  }
  DISPLAY_VUV_VOV_EB2250();
  int d = std::atoi(CFGR0Lnib[static_cast<size_t>(BRDnumber)].c_str()) & 7;
  if (Option3[0].value() == 1) {
    CDCreg[static_cast<size_t>(BRDnumber)] = static_cast<I16>(d);
  } else if (Option3[1].value() == 1) {
    for (int i = 0; i <= CARDSTACK; ++i) CDCreg[static_cast<size_t>(i)] = static_cast<I16>(d);
  }
  DISPLAY_CDC_EB2250();
}

void Form1::SAVE_CFGR_WRITTEN() {
  for (int i = 0; i <= CARDSTACK; ++i) {
    auto b = static_cast<size_t>(i);
    CFGR0wr[b] = CFGR0[b];
    CFGR1wr[b] = CFGR1[b];
    CFGR2wr[b] = CFGR2[b];
    CFGR3wr[b] = CFGR3[b];
    CFGR4wr[b] = CFGR4[b];
    CFGR5wr[b] = CFGR5[b];
  }
}

void Form1::SET_CFGR0Lnib() {
  for (int b = 0; b <= 9; ++b) CFGR0Lnib[static_cast<size_t>(b)] = "0";
}

void Form1::Option3_Click(int index) {
  if (index == 0) {
    Check5[5].setValue(0);
    Option1[1].setValue(0);
  } else if (index == 1) {
    SET_GLOBAL_CFGR_EB2250();
    UPDATE_GLOBAL_CFGR_EB2250();
    Check5[5].setValue(1);
    Option1[1].setValue(1);
  }
}

namespace {

BoardFlags& Check5Choice(Form1& f, int k) {
  switch (k) {
    case 0: return f.BCASTflag_PLADC;
    case 1: return f.BCASTflag_PLINT;
    case 2: return f.BCASTflag_STCVAD;
    case 3: return f.BCASTflag_STOWAD;
    case 4: return f.BCASTflag_STTMPAD;
    default: return f.BCASTflag_WRCFG;
  }
}

BoardFlags& Check8Choice(Form1& f, int k) {
  return k == 0 ? f.BCASTflag_STCVDC : f.BCASTflag_STOWDC;
}

// The broadcast look of a box and its board label.
void ShowBroadcast(Control& box, Control& label, bool broadcast) {
  if (broadcast) {
    label.visible = false;
    box.width = 113;
    box.caption = "BROADCAST";
  } else {
    box.width = 57;
    box.caption = "B'CAST";
    label.visible = true;
  }
}

}  // namespace

void Form1::Check5_Click(int k) {
  auto b = static_cast<size_t>(BRDnumber);
  BoardFlags& flag = Check5Choice(*this, k);
  if (Check5[k].value() == 1) {
    flag[b] = 1;
    ShowBroadcast(Check5[k], Label19[k], true);
    if (k == 2 || k == 3) ARM_GLOBAL_CELL_BROADCAST();
    if (k == 5) {
      Option1[1].setValue(1);
      Option3[1].setValue(1);
    }
  } else {
    flag[b] = 0;
    ShowBroadcast(Check5[k], Label19[k], false);
    if (k == 2 || k == 3) DISARM_GLOBAL_CELL_BROADCAST();
    if (k == 5) {
      Option1[0].setValue(1);
      Option3[0].setValue(1);
    }
  }
}

void Form1::Check8_Click(int k) {
  auto b = static_cast<size_t>(BRDnumber);
  BoardFlags& flag = Check8Choice(*this, k);
  if (Check8[k].value() == 1) {
    flag[b] = 1;
    ShowBroadcast(Check8[k], Label20[k + 1], true);
    ARM_GLOBAL_CELL_BROADCAST();
  } else {
    flag[b] = 0;
    ShowBroadcast(Check8[k], Label20[k + 1], false);
    DISARM_GLOBAL_CELL_BROADCAST();
  }
}

void Form1::UPDATE_Check5() {
  for (int k = 0; k <= 5; ++k) {
    if (Check5Choice(*this, k)[static_cast<size_t>(BRDnumber)] == 1) {
      Check5[k].setValue(1);
      Check5[k].caption = "BROADCAST";
    } else {
      Check5[k].setValue(0);
      Check5[k].width = 57;
      Check5[k].caption = "B'CAST";
    }
  }
}

void Form1::UPDATE_Check8() {
  for (int k = 0; k <= 1; ++k) {
    if (Check8Choice(*this, k)[static_cast<size_t>(BRDnumber)] == 1) {
      Check8[k].setValue(1);
      Check8[k].caption = "BROADCAST";
      ARM_GLOBAL_CELL_BROADCAST();
    } else {
      Check8[k].setValue(0);
      Check8[k].width = 57;
      Check8[k].caption = "B'CAST";
      DISARM_GLOBAL_CELL_BROADCAST();
    }
  }
}

}  // namespace eb
