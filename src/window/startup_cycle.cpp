// Start-up, the 100 ms timer tick and the measurement cycle.
#include "window/form1.h"

namespace eb {

void Form1::Form_Load() {
  IDENTIFY_BRIDGE();
  if (Initialize != -1) {
    UnloadMe();
    return;
  }
  Timer1.enabled = true;
  Check_AUTO.setValue(0);
  MEASURESKIPflag = 0;
  SINGLESHOTflag = 0;
  COUNTERstop = 0;
  VIEWCAPTUREflag = 0;
  CYCLEflag = 0;
  INITIAL_BRDaddress_QT550_DEVELOPMENT();
  INITIAL_BROADCASTcmd_RevC();
  UPDATE_Command4_Caption();
  PEC_RDCFG = -1;
  PEC_RDCV = -1;
  PEC_RDFLG = -1;
  PEC_RDTMP = -1;
  SET_CFGR0Lnib();
  GUI_DEFAULT_start_EB2250();
  Command1_click(6);
  SELFTEST_Lnib = "E";
  SINGLECELL_Lnib = "0";
  SELFTESTflag = 0;
  SELFTESTTMPflag = 0;
  SINGLETEMP_Lnib = "0";
  STBYflag = 0;
  POLLflag = 0;
  WRCFGBLINKflag = 1;
  SINGLEcellADDRmode = 0;
}

// Closing is always allowed; every transaction has already closed the
// device. Samples of a datalog still in memory are saved first.
void Form1::Form_Unload() { SaveDatalogOnUnload(); }

void Form1::Timer1_Timer() {
  if (Unloaded) return;
  if (STBYflag == 0) IDENTIFY_BRIDGE();
  if (Initialize == 0) {
    OnOff = 0;
    UnloadMe();
    return;
  }
  if (OnOff == 1) {
    Check_AUTO_Click();
    Measure_4417_EB2250();
    if (Unloaded) return;
  }
  BLINK_TAB_EB2250();
  YELLOW_RDCFG_EB2250();
}

void Form1::Measure_4417_EB2250() {
  // The datalog pass adds a configuration read and report to the cell step
  // and a fourth step that collects the sample; the other steps are those of
  // continuous reading.
  // A read that gives up stops the reading (OnOff 0): nothing more of the
  // step runs, so one give-up is one message and no read of the selected
  // board follows in its place.
  if (DATACOLLECTflag == 1 && MEASUREflag == 0) {
    RDCFG_ADDRESSABLE_RevC();
    if (OnOff == 1) {
      STCVAD_BROADCAST_RevC();
      SELFTESTflag = 0;
      RDCV_ADDRESSABLE_RevC();
    }
    if (OnOff == 1) REPORT_DLOG_current();
  } else if (DATACOLLECTflag == 1 && MEASUREflag == 3) {
    COLLECT_DATA_xls();
  } else if (DATACOLLECTflag == 0 || DATACOLLECTflag == 1) {
    switch (MEASUREflag) {
      case 0:
        STCVAD_BROADCAST_RevC();
        SELFTESTflag = 0;
        RDCV_ADDRESSABLE_RevC();
        break;
      case 1:
        STTMPAD_BROADCAST_RevC();
        SELFTESTTMPflag = 0;
        RDTMP_ADDRESSABLE_RevC();
        if (OnOff == 1) SET_REV_THSD_EB2250();
        break;
      case 2: RDFLG_ADDRESSABLE_RevC(); break;
      default: break;
    }
  }

  MEASUREflag = static_cast<I16>(MEASUREflag + 1);
  const int lastStep = DATACOLLECTflag == 1 ? 3 : 2;
  if (MEASUREflag > lastStep) {
    MEASUREflag = 0;
    BRDread = static_cast<I16>(BRDread + 1);
    if (BRDread > CARDSTACK) BRDread = 0;
  }

  if (DATACOLLECTflag == 0) {
    Image1.left = 504 + 24 * BRDread;
  } else if (DATACOLLECTflag == 1) {
    if (DATApoint >= SETpoint + 1) {
      DATApoint = 1;
      CYCLEflag = 1;
    }
  }

  if (MEASURESKIPflag == 1) {
    MEASURESKIPflag = 0;
    return;
  }
  SET_CELLstatus_RevC_EB2250();
  DISPLAY_CELLstatus_EB2250();
}

void Form1::INITIAL_BRDaddress_QT550_DEVELOPMENT() {
  for (int b = 0; b <= 9; ++b) BRDaddress[static_cast<size_t>(b)] = "8" + std::to_string(b);
  Combo2.text = "0";
}

void Form1::INITIAL_BROADCASTcmd_RevC() {
  for (int b = 0; b <= 9; ++b) {
    auto i = static_cast<size_t>(b);
    BCASTflag_PLADC[i] = 0;
    BCASTflag_PLINT[i] = 0;
    BCASTflag_STCVAD[i] = 0;
    BCASTflag_STOWAD[i] = 0;
    BCASTflag_STTMPAD[i] = 0;
    BCASTflag_WRCFG[i] = 1;
    BCASTflag_STCVDC[i] = 0;
    BCASTflag_STOWDC[i] = 0;
  }
  Check5[5].setValue(1);
  UPDATE_Check5();
  UPDATE_Check8();
}

}  // namespace eb
