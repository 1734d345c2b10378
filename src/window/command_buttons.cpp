// The command panel: the fifteen Command1 buttons, continuous reading, the
// retry mode, the hold-discharge starts, the threshold scope and the
// duty-cycle arrows.
#include "window/form1.h"

namespace eb {

namespace {

// Display set A: every board of the stack.
void DisplaySetA(Form1& f) {
  f.CLEAR_CELLstatus();
  f.CLEAR_PEC_DISPLAYS();
  f.DISPLAY_CELLstatus();
}

// Display set B: the board shown.
void DisplaySetB(Form1& f) {
  f.CLEAR_CELLstatus_EB2250();
  f.CLEAR_PEC_DISPLAYS_EB2250();
  f.DISPLAY_CELLstatus_EB2250();
}

// STARTCELLVOLT (2) and START OPENWIRE (3); the open-wire start's broadcast
// box is Check5(3), as the cell start's is Check5(2).
void StartCellButton(Form1& f, int index) {
  if (index == 2)
    f.STCVAD_BROADCAST_RevC();
  else
    f.STOWAD_BROADCAST();
  f.CLEAR_LOCAL_CELLS();
  if (f.Check5[index].value() == 1)
    DisplaySetA(f);
  else
    DisplaySetB(f);
  f.DISARM_DCC_PERMITTED();
  f.SELFTESTflag = 0;
  f.RDCVmode = 1;
  f.SetFocus(f.Command1[7]);
}

// START TEMP (4).
void StartTempButton(Form1& f) {
  f.STTMPAD_BROADCAST_RevC();
  f.SELFTESTTMPflag = 0;
  f.CLEAR_LOCAL_TEMPS();
  if (f.Check5[4].value() == 1)
    f.CLEAR_PEC_DISPLAYS();
  else
    f.CLEAR_PEC_DISPLAYS_EB2250();
  f.RDTMPmode = 1;
  f.SetFocus(f.Command1[9]);
}

// WRITE CONFIG (5).
void WriteConfigButton(Form1& f) {
  f.SET_GLOBAL_CFGR_EB2250();
  f.WRCFG_BROADCAST();
  f.WRCFGBLINKflag = 0;
  f.BLINK_WRCFG_EB2250();
  if (f.Check5[5].value() == 1) {
    f.CLEAR_PEC_DISPLAYS();
    f.SET_MCI_DCC_RevC();
    f.DISPLAY_CELLstatus();
  } else {
    f.CLEAR_PEC_DISPLAYS_EB2250();
    f.SET_MCI_DCC_RevC_EB2250();
    f.DISPLAY_CELLstatus_EB2250();
  }
  if (f.THSDhold == 1) {
    f.AUTORESTARTflag = 0;
    f.RDCFG_ADDRESSABLE_RevC();
    f.Compare_CFGR();
    f.Check_AUTO_Click();
    f.CLEAR_THSDset();
  }
  f.RDCFGmode = 1;
  f.SetFocus(f.Command1[6]);
}

}  // namespace

void Form1::Command1_click(int index) {
  STBYflag = 0;
  if (POLLflag == 1) {
    RETURN_CSBI();
    POLLflag = 0;
  }

  switch (index) {
    case 0:  // POLL ADC
    case 1:  // POLL INT
      OnOff = 1;
      CONTINUOUS_cmd_EB2250();
      if (index == 0)
        PLADC_BROADCAST_RevC();
      else
        PLINT_BROADCAST_RevC();
      POLLflag = 1;
      break;
    case 2:  // STARTCELLVOLT
    case 3:  // START OPENWIRE
      StartCellButton(*this, index);
      break;
    case 4:  // START TEMP
      StartTempButton(*this);
      break;
    case 5:  // WRITE CONFIG
      WriteConfigButton(*this);
      break;
    case 6:  // READ CONFIG
      AUTORESTARTflag = 0;
      RDCFG_ADDRESSABLE_RevC();
      Compare_CFGR();
      Check_AUTO_Click();
      if (RDCFGmode == 1) RDCFGmode = 2;
      break;
    case 7:  // READCELLVOLT
      SingleShotRead(&Form1::RDCV_ADDRESSABLE_RevC,
                     {&Form1::SET_MCI_DCC_RevC_EB2250, &Form1::DISPLAY_CELLstatus_EB2250});
      SELFTESTflag = 0;
      RDCVmode = 2;
      break;
    case 8:  // READ FLAG
      SingleShotRead(&Form1::RDFLG_ADDRESSABLE_RevC,
                     {&Form1::SET_CELLstatus_RevC_EB2250, &Form1::DISPLAY_CELLstatus_EB2250});
      break;
    case 9:  // READ TEMP
      SELFTESTTMPflag = 0;
      SingleShotRead(&Form1::RDTMP_ADDRESSABLE_RevC, {&Form1::SET_REV_THSD_EB2250});
      RDTMPmode = 2;
      break;
    case 10:  // START / STOP CONTINUOUS
      CONTINUOUS_cmd_EB2250();
      break;
    case 11:  // START D-LOG
      DATACOLLECTflag = 1;
      DATALOGGING_cmd_EB2250();
      break;
    case 12:  // STOP datalog
      StopDatalog();
      break;
    case 13:  // VIEW datalog
      ViewDatalog();
      break;
    case 14:  // LOW CURRENT STBY
      OnOff = 1;
      CONTINUOUS_cmd_EB2250();
      LOW_POWER_STBY_EB2250();
      STBYflag = 1;
      DISPLAY_THERMOSTAT();
      break;
    default: break;
  }

  SELECT_Cmd1_BLINK_RDCV_EB2250();
  SELECT_Cmd1_BLINK_RDTMP_EB2250();
  SELECT_Cmd1_BLINK_RDCFG_EB2250();
}

void Form1::CONTINUOUS_cmd_EB2250() {
  CLEAR_BLINK_RDCV_EB2250();
  CLEAR_BLINK_RDTMP_EB2250();
  OnOff = OnOff == 1 ? 0 : static_cast<I16>(OnOff + 1);

  if (OnOff == 1) {
    StartPeriodicReading();
  } else if (OnOff == 0) {
    Command1[10].caption = "START CONTINUOUS READ CELLS";
    Shape3.fill = colors::Red;
    BRDread = BRDnumber;
    EnableMeasureControls();
    Command4_Click(BRDnumber);
    ZeroStackReadings();
  }
}

// A read that gives up presses the continuous-read button, which stops the
// reading this start has just begun. The start then ends where the stop left
// the window (idle, every measuring control enabled) instead of carrying on
// and disabling the controls of a reading that no longer runs.
void Form1::StartPeriodicReading() {
  Command1[10].caption = "STOP  CONTINUOUS READ CELLS";
  Shape3.fill = colors::Green;
  MEASUREflag = 0;
  SINGLESHOTflag = 0;
  RDCFG_ADDRESSABLE_RevC();
  Check_AUTO_Click();
  if (OnOff != 1) return;  // the read gave up and stopped the reading
  for (int i : {2, 7, 4, 9, 8, 3}) Command1[i].enabled = false;
  Check5[3].enabled = false;
  DISARM_DCC_PERMITTED();
  Command3[0].enabled = false;
  Check8[0].enabled = false;
  Command3[1].enabled = false;
  Check8[1].enabled = false;
  for (auto& c : Command5) c.enabled = false;
  if (DATACOLLECTflag == 0) Command1[6].enabled = true;
  if (DATACOLLECTflag == 1) Command1[6].enabled = false;
  Command1_click(6);
  if (OnOff != 1) return;
  BRDread = 0;
  Check5[2].setValue(1);
  Check5[2].enabled = false;
  Check5[4].setValue(1);
  Check5[4].enabled = false;
  for (int i = 1; i <= 3; ++i) Label18[i].enabled = false;
  if (SINGLEcellADDRmode == 1) {
    SINGLEcellADDRmode = 2;
    ARM_SINGLEcell();
  }
  CLEAR_LOCAL_READINGS();
  PECflag = 0;
  CLEAR_PEC_DISPLAYS();
  SET_MCI_DCC_RevC_EB2250();
  DISPLAY_CELLstatus();
}

void Form1::EnableMeasureControls() {
  for (int i : {2, 7, 4, 9, 8, 3}) Command1[i].enabled = true;
  Check5[3].enabled = true;
  Command1[6].enabled = true;
  Command3[0].enabled = true;
  Check8[0].enabled = true;
  Command3[1].enabled = true;
  Check8[1].enabled = true;
  for (auto& c : Command5) c.enabled = true;
  CLEAR_RDCVflag();
  Check5[2].enabled = true;
  Check5[4].enabled = true;
  for (int i = 1; i <= 3; ++i) Label18[i].enabled = true;
}

// Cell and temperature readings of every board of the stack become 0.
void Form1::ZeroStackReadings() {
  for (int b = 0; b <= CARDSTACK; ++b) {
    for (int c = 1; c <= 12; ++c) CELLvolt[CellVoltIndex(b, c)] = 0;
  }
  for (int b = 0; b <= CARDSTACK; ++b) {
    for (int k = 1; k <= 3; ++k) CELLvolt[TempIndex(b, k)] = 0;
  }
}

void Form1::SingleShotRead(Procedure read, std::initializer_list<Procedure> followUps) {
  AUTORESTARTflag = 0;
  SINGLESHOTflag = 1;
  (this->*read)();
  for (Procedure p : followUps) (this->*p)();
  Check_AUTO_Click();
}

void Form1::Check_AUTO_Click() {
  if (Check_AUTO.value() == 1) {
    AUTORESTARTflag = 1;
    Label_AUTOstatus.caption = "DISPLAY ONLY VALID DATA TRANSFERS!";
    Label_AUTOstatus.fore = colors::DarkGreen;
  } else if (Check_AUTO.value() == 0) {
    AUTORESTARTflag = 0;
    Label_AUTOstatus.caption = "DISPLAY ALL DATA TRANSFERS!";
    Label_AUTOstatus.fore = colors::DarkRed;
  }
}

void Form1::Command3_Click(int index) {
  if (index == 0) STCVDC_BROADCAST_RevC();
  if (index == 1) STOWDC_BROADCAST_RevC();
  CLEAR_LOCAL_CELLS();
  if (Check8[index].value() == 1)
    DisplaySetA(*this);
  else
    DisplaySetB(*this);
  SELECT_Cmd3_BLINK_RDCV_EB2250();
  ARM_DCC_PERMITTED();
  SetFocus(Command1[7]);
}

void Form1::Option1_Click(int index) {
  if (index == 0) {
    GLOBALCFGRflag = 0;
    Check5[5].setValue(0);
    Option3[1].setValue(0);
  } else if (index == 1) {
    GLOBALCFGRflag = 1;
    SET_GLOBAL_CFGR_EB2250();
    UPDATE_GLOBAL_CFGR_EB2250();
    Check5[5].setValue(1);
    Option3[1].setValue(1);
  }
}

void Form1::Command0_Click(int index) {
  auto b = static_cast<size_t>(BRDnumber);
  if (index == 0) {
    CDCreg[b] = static_cast<I16>(CDCreg[b] - 1);
    if (CDCreg[b] < 0) CDCreg[b] = 7;
  } else if (index == 1) {
    CDCreg[b] = static_cast<I16>(CDCreg[b] + 1);
    if (CDCreg[b] > 7) CDCreg[b] = 0;
  }
  DISPLAY_CDC_EB2250();
  SET_GLOBAL_CFGR_EB2250();
  UPDATE_GLOBAL_CFGR_EB2250();
}

}  // namespace eb
