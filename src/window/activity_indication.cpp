// Activity indication: the selected board's tab, the blinking tab frame,
// and the pending-read highlights of the three read buttons.
#include "window/form1.h"

namespace eb {

namespace {

// One family of read indication: marks, mode, button and highlight frame.
struct ReadFamily {
  BoardFlags& marks;
  I16& mode;
  Control& button;
  Control& frame;
  const char* normalCaption;     // nullptr: caption unchanged
  const char* indicatedCaption;  // nullptr: caption unchanged
};

ReadFamily CellFamily(Form1& f) {
  return {f.RDCVmark, f.RDCVmode, f.Command1[7], f.Shape16[1], "READCELLVOLT", "READCELL"};
}
ReadFamily TempFamily(Form1& f) {
  return {f.RDTMPmark, f.RDTMPmode, f.Command1[9], f.Shape16[2], nullptr, nullptr};
}
ReadFamily ConfigFamily(Form1& f) {
  return {f.RDCFGmark, f.RDCFGmode, f.Command1[6], f.Shape16[0], nullptr, nullptr};
}

void SetMarks(Form1& f, ReadFamily fam, bool broadcast) {
  if (broadcast) {
    for (int b = 0; b <= f.CARDSTACK; ++b) fam.marks[static_cast<size_t>(b)] = 1;
  } else {
    fam.marks[static_cast<size_t>(f.BRDnumber)] = 1;
  }
}

void Arm(ReadFamily fam) {
  fam.button.left = 796;
  fam.button.width = 81;
  if (fam.indicatedCaption) fam.button.caption = fam.indicatedCaption;
  fam.frame.visible = true;
  fam.mode = 1;
}

void Disarm(Form1& f, ReadFamily fam) {
  fam.button.left = 788;
  fam.button.width = 97;
  if (fam.normalCaption) fam.button.caption = fam.normalCaption;
  fam.frame.visible = false;
  fam.mode = 0;
  fam.marks[static_cast<size_t>(f.BRDnumber)] = 0;
}

void Clear(Form1& f, ReadFamily fam) {
  for (int b = 0; b <= 9; ++b) fam.marks[static_cast<size_t>(b)] = 0;
  fam.mode = 0;
  Disarm(f, fam);
}

// Selector run at the end of a command button click.
template <typename SetFn, typename ArmFn, typename DisarmFn>
void SelectAfterClick(I16 mode, SetFn set, ArmFn arm, DisarmFn disarm) {
  if (mode == 1) {
    set();
    arm();
  } else if (mode == 2) {
    disarm();
  }
}

}  // namespace

void Form1::START_SHRINK_TAB_EB2250() {
  CLEAR_SHRINK_TAB_EB2250();
  SET_SHRINK_TAB_EB2250();
  DISPLAY_SHRINK_TAB_EB2250();
}

void Form1::CLEAR_SHRINK_TAB_EB2250() { TABmark.fill(0); }

void Form1::SET_SHRINK_TAB_EB2250() { TABmark[static_cast<size_t>(BRDnumber)] = 1; }

void Form1::DISPLAY_SHRINK_TAB_EB2250() {
  for (int i = 0; i <= 9; ++i) {
    bool selected = TABmark[static_cast<size_t>(i)] == 1;
    Command4[i].height = selected ? 30 : 41;
    Command4[i].top = (selected ? 537 : 532) - 40 * i;
    Rgb border = selected ? colors::Black : colors::PaleGrey;
    int width = selected ? 2 : 1;
    for (int c = 0; c <= 11; ++c) {
      Shape1[CellSquare(i, c)].border = border;
      Shape1[CellSquare(i, c)].borderWidth = width;
    }
    Shape12[i].border = border;
    Shape12[i].borderWidth = width;
  }
}

void Form1::SHIFT_TABS_UP() {
  for (int i = 0; i <= 9; ++i) Command4[i].top = 532 - 40 * i;
  Shape15.top = 532;
}

void Form1::SET_BLINK_TAB_HT_EB2250() {
  Shape15.height = 40 * CARDSTACK + 41;
  Shape15.top = 532 - 40 * CARDSTACK;
}

// The tab frame alternates its fill: dark red normally, light yellow in its
// blink state (one tick in four).
void Form1::BLINK_TAB_EB2250() {
  if (TABblink == 4) {
    TABblink = 0;
    TabBlinkState = false;
    Shape15.fill = colors::DarkRed;
  }
  TABblink = static_cast<I16>(TABblink + 1);
  if (TABblink > 3) {
    TabBlinkState = true;
    Shape15.fill = colors::LightYellow;
  }
}

void Form1::BORDER_WIDTH_2_LOCAL_CELLS_EB2250() {
  for (int c = 0; c <= 11; ++c) {
    Shape2[c].borderWidth = 2;
    Shape4[c].borderWidth = 2;
    Shape5[c].borderWidth = 2;
  }
}

void Form1::SET_BLINK_RDCV_EB2250() {
  auto b = static_cast<size_t>(BRDnumber);
  bool broadcast = BCASTflag_STCVAD[b] == 1 || BCASTflag_STOWAD[b] == 1 ||
                   BCASTflag_STCVDC[b] == 1 || BCASTflag_STOWDC[b] == 1;
  SetMarks(*this, CellFamily(*this), broadcast);
}

void Form1::SET_BLINK_RDTMP_EB2250() {
  SetMarks(*this, TempFamily(*this), BCASTflag_STTMPAD[static_cast<size_t>(BRDnumber)] == 1);
}

void Form1::SET_BLINK_RDCFG_EB2250() {
  SetMarks(*this, ConfigFamily(*this), BCASTflag_WRCFG[static_cast<size_t>(BRDnumber)] == 1);
}

void Form1::ARM_BLINK_RDCV_EB2250() { Arm(CellFamily(*this)); }
void Form1::ARM_BLINK_RDTMP_EB2250() { Arm(TempFamily(*this)); }
void Form1::ARM_BLINK_RDCFG_EB2250() { Arm(ConfigFamily(*this)); }

void Form1::DISARM_BLINK_RDCV_EB2250() { Disarm(*this, CellFamily(*this)); }
void Form1::DISARM_BLINK_RDTMP_EB2250() { Disarm(*this, TempFamily(*this)); }
void Form1::DISARM_BLINK_RDCFG_EB2250() { Disarm(*this, ConfigFamily(*this)); }

void Form1::CLEAR_BLINK_RDCV_EB2250() { Clear(*this, CellFamily(*this)); }
void Form1::CLEAR_BLINK_RDTMP_EB2250() { Clear(*this, TempFamily(*this)); }
void Form1::CLEAR_BLINK_RDCFG_EB2250() { Clear(*this, ConfigFamily(*this)); }

void Form1::SELECT_Cmd1_BLINK_RDCV_EB2250() {
  SelectAfterClick(
      RDCVmode, [this] { SET_BLINK_RDCV_EB2250(); }, [this] { ARM_BLINK_RDCV_EB2250(); },
      [this] { DISARM_BLINK_RDCV_EB2250(); });
}
void Form1::SELECT_Cmd1_BLINK_RDTMP_EB2250() {
  SelectAfterClick(
      RDTMPmode, [this] { SET_BLINK_RDTMP_EB2250(); }, [this] { ARM_BLINK_RDTMP_EB2250(); },
      [this] { DISARM_BLINK_RDTMP_EB2250(); });
}
void Form1::SELECT_Cmd1_BLINK_RDCFG_EB2250() {
  SelectAfterClick(
      RDCFGmode, [this] { SET_BLINK_RDCFG_EB2250(); }, [this] { ARM_BLINK_RDCFG_EB2250(); },
      [this] { DISARM_BLINK_RDCFG_EB2250(); });
}

void Form1::SELECT_Cmd4_BLINK_RDCV_EB2250() {
  if (RDCVmark[static_cast<size_t>(BRDnumber)] == 1)
    ARM_BLINK_RDCV_EB2250();
  else
    DISARM_BLINK_RDCV_EB2250();
}
void Form1::SELECT_Cmd4_BLINK_RDTMP_EB2250() {
  if (RDTMPmark[static_cast<size_t>(BRDnumber)] == 1)
    ARM_BLINK_RDTMP_EB2250();
  else
    DISARM_BLINK_RDTMP_EB2250();
}
void Form1::SELECT_Cmd4_BLINK_RDCFG_EB2250() {
  if (RDCFGmark[static_cast<size_t>(BRDnumber)] == 1)
    ARM_BLINK_RDCFG_EB2250();
  else
    DISARM_BLINK_RDCFG_EB2250();
}

void Form1::SELECT_Cmd3_BLINK_RDCV_EB2250() {
  SET_BLINK_RDCV_EB2250();
  ARM_BLINK_RDCV_EB2250();
}

void Form1::YELLOW_RDCFG_EB2250() {
  if (RDCFGmode != 1) return;
  if (WRCFGBLINKflag == 1) {
    Command1[6].left = 788;
    Command1[6].width = 97;
    Shape16[0].visible = false;
  } else if (WRCFGBLINKflag == 0) {
    Command1[6].left = 796;
    Command1[6].width = 81;
    Shape16[0].visible = true;
  }
}

}  // namespace eb
