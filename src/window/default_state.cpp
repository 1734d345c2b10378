// The default state of the window and of the per-board state.
#include "window/form1.h"

namespace eb {

void Form1::GUI_DEFAULT_start_EB2250() {
  BLACK_FONT_BRDnumber();
  BORDER_WIDTH_2_LOCAL_CELLS_EB2250();
  SHIFT_TABS_UP();
  OnOff = 0;
  PECflag = 0;
  GLOBALCFGRflag = 1;
  BRDnumber = 0;
  CARDSTACK = 0;
  Combo1.setListIndex(0);
  START_SHRINK_TAB_EB2250();
  TABblink = 0;
  CLEAR_BLINK_RDCV_EB2250();
  CLEAR_BLINK_RDTMP_EB2250();
  CLEAR_BLINK_RDCFG_EB2250();
  for (int b = 0; b <= 9; ++b) {
    auto i = static_cast<size_t>(b);
    CFGR0[i] = "E0";
    CFGR1[i] = "00";
    CFGR2[i] = "00";
    CFGR3[i] = "00";
    CFGR4[i] = "00";
    CFGR5[i] = "00";
    CDCreg[i] = 0;
    DISPLAY_CDC_EB2250();
    VUVreg[i] = 0;
    VOVreg[i] = 0;
  }
  DISPLAY_VUV_VOV_EB2250();
  CLEAR_RDCVflag();
  CLEAR_RDCFGRflag();
  CLEAR_RDTMPflag_EB2250();
  CLEAR_THSDflag_THSDset();
  RDCFGflag = 0;
  for (int k = 0; k <= 5; ++k) Text5[k].text = "";
  for (int k = 0; k <= 2; ++k) Text7[k].text = "";
  for (auto& row : DCCmark) row.fill(0);
  for (auto& row : MCImark) row.fill(0);
  PECload();
  for (int b = 0; b <= 9; ++b) {
    auto i = static_cast<size_t>(b);
    for (auto& byte : CFGRbyte) byte[i] = 0;
    for (auto& byte : CVRbyte) byte[i] = 0;
    for (auto& byte : FLGRbyte) byte[i] = 0;
    for (auto& byte : TMPRbyte) byte[i] = 0;
    PECchip_RDCFG[i] = PECcalc_RDCFG[i] = 0;
    PECchip_RDCV[i] = PECcalc_RDCV[i] = 0;
    PECchip_RDFLG[i] = PECcalc_RDFLG[i] = 0;
    PECchip_RDTMP[i] = PECcalc_RDTMP[i] = 0;
    CFGRbad[i] = CVRbad[i] = FLGRbad[i] = TMPRbad[i] = 0;
  }
  REFRESH_CFGR_FRAME4_EB2250();
}

}  // namespace eb
