// Form1: the one window of the application. It owns every control and every
// piece of window state; its procedures are grouped below by subsystem, each
// group defined in the file of this folder named after what it does.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "link/bridge.h"
#include "sheet/journal.h"
#include "window/control.h"
#include "window/platform.h"

namespace eb {

constexpr int kBoards = 11;       // per-board arrays: boards 0 … 9, index 10 unused
constexpr int kReadings = 151;    // CELLhex / CELLvolt: indices 0 … 150
constexpr int kStatuses = 121;    // CELLstatus: indices 0 … 120
constexpr int kDlogSlots = 1001;  // datalog ring slots 0 … 1000
constexpr int kDlogFields = 31;   // fields 0 … 30 (window/datalog_fields.h says what each holds)
constexpr int kReplyBuffer = 64;  // register reply buffers (at least 42)

using I16 = std::int16_t;

// Where a board's readings and cell statuses sit in the stack-wide arrays.
// Cell k (1 … 12) of board b in CELLvolt and CELLhex.
constexpr std::size_t CellVoltIndex(int b, int k) { return static_cast<std::size_t>(12 * b + k); }
// Temperature k (1 … 3) of board b in CELLvolt and CELLhex.
constexpr std::size_t TempIndex(int b, int k) { return static_cast<std::size_t>(120 + 3 * b + k); }
// Cell c (0 … 11) of board b: its stack-grid square in Shape1 and its
// status in CELLstatus.
constexpr int CellSquare(int b, int c) { return 12 * b + c; }
constexpr std::size_t CellStatusIndex(int b, int c) {
  return static_cast<std::size_t>(CellSquare(b, c));
}

// How the last register read of one kind from a board ended.
enum ReadAnswer : I16 {
  kNotRead = 0,     // no read of that kind since start-up
  kPecMatched = 1,  // accepted, its PEC matched
  kPecFailed = 2,   // accepted although its PEC did not match
  kNoAnswer = 3,    // the whole reply 0xFF or zeros, a short reply, or a read that gave up
};

// PECstatus of a board: what its PEC lamp (Shape12) shows.
enum LampStatus : I16 {
  kLampNoReading = 0,  // white: no valid reading
  kLampPecMatch = 1,   // green
  kLampPecError = 2,   // red: PEC error or no answer
  kLampShutdown = 3,   // orange: thermal shutdown
};

// Reply buffer of one kind of register read. A read overwrites the leading
// characters it delivers and keeps the rest from earlier replies;
// `delivered` says how many leading characters the last read brought, so
// the stale rest is never taken for part of this reply.
struct ReplyBuffer {
  std::array<char, kReplyBuffer> text{};
  std::size_t delivered = 0;
  char* data() { return text.data(); }
  const char* data() const { return text.data(); }
};
template <typename T>
using PerBoard = std::array<T, kBoards>;
using BoardTexts = PerBoard<std::string>;
using BoardFlags = PerBoard<I16>;
template <int N>
using RegisterImage = std::array<PerBoard<std::uint8_t>, N>;  // [byte][board]

class Form1 {
 public:
  Form1(Bridge& bridge, Platform& platform);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  Bridge& bridge;
  Platform& platform;
  ControlModel ui;  // registry; must precede every control member

  // True once the window has been unloaded; no handler runs afterwards.
  bool Unloaded = false;

  // ---------------------------------------------------------------- controls
  // Cell panels (Frame1(c) holds cell c + 1).
  ControlArray Frame1{ui, Kind::Frame, "Frame1", 12};
  ControlArray Text1{ui, Kind::TextBox, "Text1", 12};
  ControlArray Check6{ui, Kind::CheckBox, "Check6", 12};
  ControlArray Check1{ui, Kind::CheckBox, "Check1", 8};  // DCC cells 1 … 8
  ControlArray Check2{ui, Kind::CheckBox, "Check2", 8};  // DCC cells 9 … 12, Mask cells 1 … 4
  ControlArray Check3{ui, Kind::CheckBox, "Check3", 8};  // Mask cells 5 … 12
  ControlArray Shape4{ui, Kind::Shape, "Shape4", 12};    // battery body
  ControlArray Shape2{ui, Kind::Shape, "Shape2", 12};    // level bar
  ControlArray Shape5{ui, Kind::Shape, "Shape5", 12};    // cap
  ControlArray Line7{ui, Kind::Line, "Line7", 12};
  ControlArray Line9{ui, Kind::Line, "Line9", 12};
  ControlArray Line10{ui, Kind::Line, "Line10", 12};

  // SET VOLTAGE LIMITS
  Control Frame2{ui, Kind::Frame, "Frame2"};
  ControlArray Option1{ui, Kind::OptionButton, "Option1", 2};
  ControlArray Label13{ui, Kind::Label, "Label13", 2};
  ControlArray Label3{ui, Kind::Label, "Label3", 2};
  ControlArray Text2{ui, Kind::TextBox, "Text2", 2};
  ControlArray Command2{ui, Kind::CommandButton, "Command2", 4};

  // SET I/O MODE CFGR0
  Control Frame3{ui, Kind::Frame, "Frame3"};
  ControlArray Check0{ui, Kind::CheckBox, "Check0", 8};
  Control Label4{ui, Kind::Label, "Label4"};
  Control Text3{ui, Kind::TextBox, "Text3"};
  ControlArray Command0{ui, Kind::CommandButton, "Command0", 2};
  ControlArray Option3{ui, Kind::OptionButton, "Option3", 2};

  // CONFIGURATION REGISTERS
  Control Frame4{ui, Kind::Frame, "Frame4"};
  ControlArray Label5{ui, Kind::Label, "Label5", 2};
  ControlArray Text5{ui, Kind::TextBox, "Text5", 6};
  ControlArray Text4{ui, Kind::TextBox, "Text4", 6};

  // TEMPS
  Control Frame5{ui, Kind::Frame, "Frame5"};
  ControlArray Check7{ui, Kind::CheckBox, "Check7", 3};
  ControlArray Text6{ui, Kind::TextBox, "Text6", 3};
  ControlArray Shape7{ui, Kind::Shape, "Shape7", 3};  // stem
  ControlArray Shape8{ui, Kind::Shape, "Shape8", 3};  // stem base
  ControlArray Shape6{ui, Kind::Shape, "Shape6", 3};  // bulb

  // FLAG REG
  Control Frame6{ui, Kind::Frame, "Frame6"};
  ControlArray Label6{ui, Kind::Label, "Label6", 3};  // column heads FLGR0 … FLGR2
  ControlArray Text7{ui, Kind::TextBox, "Text7", 3};

  // PACKET ERROR CODE
  Control Frame7{ui, Kind::Frame, "Frame7"};
  ControlArray Label8{ui, Kind::Label, "Label8", 2};
  Control Text8{ui, Kind::TextBox, "Text8"};

  // LEGEND (fixed): per row a battery drawing (body Shape9, level Shape10,
  // cap Shape11), a sample label Label10 and an explanation Label11.
  Control Frame8{ui, Kind::Frame, "Frame8"};
  ControlArray Shape9{ui, Kind::Shape, "Shape9", 8};
  ControlArray Shape10{ui, Kind::Shape, "Shape10", 8};
  ControlArray Shape11{ui, Kind::Shape, "Shape11", 8};
  ControlArray Label10{ui, Kind::Label, "Label10", 8};
  ControlArray Label11{ui, Kind::Label, "Label11", 8};

  // SELF TEST START A/D
  Control Frame9{ui, Kind::Frame, "Frame9"};
  ControlArray Command5{ui, Kind::CommandButton, "Command5", 7};
  ControlArray Option2{ui, Kind::OptionButton, "Option2", 2};

  // Board column
  Control Shape15{ui, Kind::Shape, "Shape15"};  // tab frame behind the board buttons
  ControlArray Command4{ui, Kind::CommandButton, "Command4", 10};
  Control Label1{ui, Kind::Label, "Label1"};
  Control Label21{ui, Kind::Label, "Label21"};
  Control Label14{ui, Kind::Label, "Label14"};
  Control Label16{ui, Kind::Label, "Label16"};
  Control Combo2{ui, Kind::ComboBox, "Combo2"};
  Control Label7{ui, Kind::Label, "Label7"};
  Control Combo1{ui, Kind::ComboBox, "Combo1"};
  Control Label_IDstring{ui, Kind::Label, "Label_IDstring"};
  Control Label_version{ui, Kind::Label, "Label_version"};
  Control Picture1{ui, Kind::Picture, "Picture1"};
  Control Line1{ui, Kind::Line, "Line1"};

  // Stack overview
  Control Label12{ui, Kind::Label, "Label12"};
  ControlArray Shape12{ui, Kind::Shape, "Shape12", 10};
  ControlArray Shape1{ui, Kind::Shape, "Shape1", 120};
  // Drawn above the lamps, so each address shows inside its board's lamp.
  Control Label15{ui, Kind::Label, "Label15"};
  ControlArray Label9{ui, Kind::Label, "Label9", 2};
  Control Image1{ui, Kind::Image, "Image1"};
  Control Label_AUTOstatus{ui, Kind::Label, "Label_AUTOstatus"};

  // Command column
  Control Shape14{ui, Kind::Shape, "Shape14"};  // around WRITE CONFIG
  ControlArray Shape16{ui, Kind::Shape, "Shape16",
                       3};                      // around READ CONFIG, READCELLVOLT, READ TEMP
  Control Shape3{ui, Kind::Shape, "Shape3"};    // continuous-read lamp
  Control Shape13{ui, Kind::Shape, "Shape13"};  // discharge-permitted lamp
  ControlArray Command1{ui, Kind::CommandButton, "Command1", 15};
  ControlArray Command3{ui, Kind::CommandButton, "Command3", 2};
  ControlArray Check5{ui, Kind::CheckBox, "Check5", 6};
  ControlArray Check8{ui, Kind::CheckBox, "Check8", 2};
  ControlArray Label18{ui, Kind::Label, "Label18", 4};
  ControlArray Label19{ui, Kind::Label, "Label19", 6};
  ControlArray Label20{ui, Kind::Label, "Label20", 3};
  Control Check_AUTO{ui, Kind::CheckBox, "Check_AUTO"};

  Control Timer1{ui, Kind::Timer, "Timer1"};

  // ------------------------------------------------------------ shared state
  // Bridge link
  I16 Initialize = 0;
  I16 POLLflag = 0;
  I16 STBYflag = 0;
  // Reply buffers, one per kind of register read; a short read keeps the
  // stale tail of the previous reply of the same kind.
  ReplyBuffer RDCFGreply, RDCVreply, RDFLGreply, RDTMPreply;
  std::string IDreply;  // first characters of the last identify reply

  // Board stack
  I16 BRDnumber = 0;
  I16 BRDread = 0;
  I16 CARDSTACK = 0;
  I16 OnOff = 0;
  BoardTexts BRDaddress;

  // Configuration texts: to be written, last written, read back.
  BoardTexts CFGR0, CFGR1, CFGR2, CFGR3, CFGR4, CFGR5;
  BoardTexts CFGR0wr, CFGR1wr, CFGR2wr, CFGR3wr, CFGR4wr, CFGR5wr;
  BoardTexts CFGR0rd, CFGR1rd, CFGR2rd, CFGR3rd, CFGR4rd, CFGR5rd;
  BoardTexts CFGR0Hnib, CFGR0Lnib;
  BoardFlags CDCreg{}, VUVreg{}, VOVreg{};
  BoardTexts VUVread, VOVread;
  I16 GLOBALCFGRflag = 1;
  I16 WRCFGBLINKflag = 1;
  I16 RDCFGflag = 0;

  // Broadcast choices, 1 = all boards.
  BoardFlags BCASTflag_PLADC{}, BCASTflag_PLINT{}, BCASTflag_STCVAD{}, BCASTflag_STOWAD{},
      BCASTflag_STTMPAD{}, BCASTflag_STCVDC{}, BCASTflag_STOWDC{}, BCASTflag_WRCFG{};

  // PEC table and register images. Received PECs are -1 when the reply text
  // held a character that is not a hexadecimal digit: such a reply can never
  // match its calculated PEC.
  std::array<std::uint8_t, 256> PECtable{};
  RegisterImage<6> CFGRbyte{};
  RegisterImage<18> CVRbyte{};
  RegisterImage<3> FLGRbyte{};
  RegisterImage<5> TMPRbyte{};
  BoardFlags PECchip_RDCFG{}, PECcalc_RDCFG{};
  BoardFlags PECchip_RDCV{}, PECcalc_RDCV{};
  BoardFlags PECchip_RDFLG{}, PECcalc_RDFLG{};
  BoardFlags PECchip_RDTMP{}, PECcalc_RDTMP{};
  // Per board: bit k set when register byte k of the last reply was unreadable.
  PerBoard<std::uint32_t> CFGRbad{}, CVRbad{}, FLGRbad{}, TMPRbad{};

  // Readings
  std::array<std::string, kReadings> CELLhex;
  std::array<float, kReadings> CELLvolt{};
  std::array<I16, kStatuses> CELLstatus{};
  std::array<std::array<I16, 13>, kBoards> DCCmark{}, MCImark{};
  BoardTexts FLGR0rd, FLGR1rd, FLGR2rd;
  BoardFlags THSDbit{}, THSDset{}, REVcode{};
  I16 THSDhold = 0;

  // Read results
  I16 PEC_RDCFG = -1, PEC_RDCV = -1, PEC_RDFLG = -1, PEC_RDTMP = -1;
  I16 AUTORESTARTflag = 0;
  I16 SINGLESHOTflag = 0;
  I16 PECflag = 0;
  I16 MEASURESKIPflag = 0;
  BoardFlags PECstatus{}, RDCFGvalid{}, RDCVvalid{}, RDTMPvalid{};
  // How the last read of each kind from a board ended (ReadAnswer codes).
  BoardFlags RDCFGanswer{}, RDCVanswer{}, RDFLGanswer{}, RDTMPanswer{};

  // Measurement cycle
  I16 MEASUREflag = 0;
  I16 DATACOLLECTflag = 0;
  I16 COUNTERstop = 0;
  I16 VIEWCAPTUREflag = 0;
  I16 CYCLEflag = 0;
  I16 DATApoint = 1;
  I16 SETpoint = 0;
  std::string SELFTEST_Lnib = "E";
  std::string SINGLECELL_Lnib = "0";
  std::string SINGLETEMP_Lnib = "0";
  I16 SELFTESTflag = 0;
  I16 SELFTESTTMPflag = 0;
  I16 SINGLEcellADDRmode = 0;
  // Set when a datalog pause has cleared the readings; the cell-status
  // clearing procedures reset it.
  I16 CELLSTATUSclearflag = 0;

  // Activity indication
  I16 RDCFGmode = 0, RDCVmode = 0, RDTMPmode = 0;
  I16 TABblink = 0;
  BoardFlags TABmark{};        // selected-tab mark
  BoardFlags RDCVmark{};       // cell conversion started, cells not read since
  BoardFlags RDTMPmark{};      // temperature conversion started, not read since
  BoardFlags RDCFGmark{};      // configuration written, not read since
  bool TabBlinkState = false;  // Shape15 drawn in its blink state

  // Datalog
  float SAMPLEtime = 0;
  I16 SAMPLEpoints = 0;
  float VIEWtime = 0;
  I16 VIEWpoints = 0;
  std::string NewFile;
  std::string LastDATAlog;
  std::string DSETUPstamp;
  std::string DCURRENTstamp;
  std::string DLASTstamp;
  // Datalog table cell (slot 0 … 1000, field 0 … 30, board 0 … 10).
  std::string& DataCell(int slot, int field, int board);
  const std::string& DataCell(int slot, int field, int board) const;
  // Moment a ring slot's sample was taken (board 1's time stamp, to the
  // millisecond); the epoch for a slot without one.
  std::chrono::system_clock::time_point& DataTime(int slot);
  std::chrono::system_clock::time_point DataTime(int slot) const;
  // 1 when every datalog export also writes a CSV file beside the workbook.
  I16 CSVflag = 0;

  // ------------------------------------------------ bridge link (bridge_link.cpp)
  void IDENTIFY_BRIDGE();
  void I2Cmode();
  void RETURN_CSBI();
  void CLEAR_CFGRXwr();
  void LOW_POWER_STBY_EB2250();
  // One transaction: open, time-outs, write, read `n` characters into
  // `reply` when n > 0 (keeping its stale tail), close. Returns how many
  // characters the read delivered. With `toLineEnd` the read also ends at
  // the reply's CR LF.
  std::size_t Transaction(const std::string& command, int readMs, int writeMs,
                          char* reply = nullptr, int n = 0, bool toLineEnd = false);
  // A register read's transaction into its reply buffer, which then knows
  // how many characters arrived.
  void ReadTransaction(const std::string& command, ReplyBuffer& reply, int n);
  // Write-only command with the 1000 ms / 1000 ms time-outs.
  void SendCommand(const std::string& command);

  // ------------------------------------------------ PEC and register images (register_images.cpp)
  void PECload();
  void PEC_Create_CFGRbyte_array_ADDR_RevC();
  void PEC_Create_CVRbyte_array_ADDR_RevC();
  void PEC_Create_FLGRbyte_array_ADDR_RevC();
  void PEC_Create_TMPRbyte_array_ADDR_RevC();
  void PEC_GUI_RDCFG_Calc_ADDR_RevC();
  void PEC_GUI_RDCV_Calc_ADDR_RevC();
  void PEC_GUI_RDFLG_Calc_ADDR_RevC();
  void PEC_GUI_RDTMP_Calc_ADDR_RevC();
  // Board read by RDCV, RDFLG and RDTMP: BRDnumber when idle, BRDread while cycling.
  int ReadBoard() const { return OnOff == 1 ? BRDread : BRDnumber; }

  // ------------------------------------------------ register reads (register_reads.cpp)
  void RDCV_ADDRESSABLE_RevC();
  void RDCFG_ADDRESSABLE_RevC();
  void RDFLG_ADDRESSABLE_RevC();
  void RDTMP_ADDRESSABLE_RevC();
  void PEC_GUI_vs_4417_RDCV_local_restart();
  void PEC_GUI_vs_4417_RDCFG_local_restart();
  void PEC_GUI_vs_4417_RDFLG_local_restart();
  void PEC_GUI_vs_4417_RDTMP_local_restart();
  void PEC_GUI_vs_4417_RDCV_overall_EB2250();
  void PEC_GUI_vs_4417_RDCFG_overall_EB2250();
  void PEC_GUI_vs_4417_RDFLG_overall_EB2250();
  void PEC_GUI_vs_4417_RDTMP_overall_EB2250();
  void UPDATE_PEC_Display();
  void CLEAR_PEC_DISPLAYS();
  void CLEAR_PEC_DISPLAYS_EB2250();
  void CLEAR_RDCVflag();
  void CLEAR_RDCFGRflag();
  void CLEAR_RDTMPflag_EB2250();

  // ------------------------------------------------ start/poll/write (chip_commands.cpp)
  void STCVAD_BROADCAST_RevC();
  void STOWAD_BROADCAST();
  void STTMPAD_BROADCAST_RevC();
  void STCVDC_BROADCAST_RevC();
  void STOWDC_BROADCAST_RevC();
  void PLADC_BROADCAST_RevC();
  void PLINT_BROADCAST_RevC();
  void WRCFG_BROADCAST();

  // ------------------------------------------------ board stack (board_stack.cpp)
  void Command4_Click(int index);
  void Combo1_Click();
  void Combo2_Click();
  void UPDATE_Combo1();
  void UPDATE_Command4_Caption();
  void SET_Combo1_RDmode_3();
  void RESET_Combo1_RDmode_1();
  void BLACK_FONT_BRDnumber();
  // Reads every board's configuration, then the selected board's again so
  // that the displays end on it.
  void ReadStackConfigurations();

  // ------------------------------------------------ configuration editing (config_editing.cpp)
  void Check0_Click(int index);
  void Check1_Click(int index);
  void Check2_Click(int index);
  void Check3_Click(int index);
  void UPDATE_Check0();
  void UPDATE_Check1();
  void UPDATE_Check2();
  void UPDATE_Check3();
  void DISPLAY_HWset_EB2250();
  void CELL10_mode();
  void CELL12_mode();
  void DISPLAY_CDC_EB2250();
  void REFRESH_CFGR_FRAME4_EB2250();
  void BLINK_WRCFG_EB2250();
  void SET_GLOBAL_CFGR_EB2250();
  void UPDATE_GLOBAL_CFGR_EB2250();
  void SAVE_CFGR_WRITTEN();
  void SET_CFGR0Lnib();
  void Option3_Click(int index);
  void Check5_Click(int index);
  void Check8_Click(int index);
  void UPDATE_Check5();
  void UPDATE_Check8();

  // ------------------------------------------------ thresholds (thresholds.cpp)
  void Text2_GotFocus(int index);
  void Text2_Keypress(int index, int& KeyAscii);
  int NUMERIC_KEY_FILTER(int box, int key);
  void Text2_LostFocus(int index);
  void Command2_Click(int index);
  void DISPLAY_VUV_VOV_EB2250();
  void READ_VUV_VOV();

  // ------------------------------------------------ read-back comparison (config_compare.cpp)
  void DISPLAY_RDCFG();
  void Compare_CFGR();

  // ------------------------------------------------ discharge and masks (discharge_masks.cpp)
  void SET_MCI_DCC_RevC();
  void SET_MCI_DCC_RevC_EB2250();
  void ARM_DCC_PERMITTED();
  void DISARM_DCC_PERMITTED();
  void Check6_Click(int index);
  void ARM_SINGLEcell();
  void ARM_SINGLEcell_ADDR();
  void DISARM_SINGLEcell();
  void ARM_GLOBAL_CELL_BROADCAST();
  void DISARM_GLOBAL_CELL_BROADCAST();
  void Check7_Click(int index);
  void ARM_SINGLEtemp();
  void DISARM_SINGLEtemp();

  // ------------------------------------------------ start-up and cycle (startup_cycle.cpp)
  void Form_Load();
  void Form_Unload();
  void Timer1_Timer();
  void Measure_4417_EB2250();
  void INITIAL_BRDaddress_QT550_DEVELOPMENT();
  void INITIAL_BROADCASTcmd_RevC();

  // ------------------------------------------------ command buttons (command_buttons.cpp)
  void Command1_click(int index);
  void CONTINUOUS_cmd_EB2250();
  void Check_AUTO_Click();
  void Command3_Click(int index);
  void Option1_Click(int index);
  void Command0_Click(int index);
  // Shared by continuous reading and datalog recording: the start of
  // periodic reading, and what its stop and pause have in common.
  void StartPeriodicReading();
  void EnableMeasureControls();
  void ZeroStackReadings();
  // A single read of one register with the retry mode off, so that a failed
  // PEC is shown rather than retried: the read, its follow-up displays in
  // order, then the retry mode as the check box sets it.
  using Procedure = void (Form1::*)();
  void SingleShotRead(Procedure read, std::initializer_list<Procedure> followUps);

  // ------------------------------------------------ cell display (cell_display.cpp)
  void Single_12CELL_Display();
  void CLEAR_LOCAL_CELLS();
  void CLEAR_LOCAL_TEMPS();
  void CLEAR_LOCAL_FLAGS();
  void CLEAR_LOCAL_READINGS();
  void CLEAR_CELLstatus();
  void CLEAR_CELLstatus_EB2250();
  void SET_CELLstatus_RevC_EB2250();
  void DISPLAY_CELLstatus();
  void DISPLAY_CELLstatus_EB2250();
  // Battery drawing of cell panel c for a status code.
  void PaintCellPanel(int c, int status);

  // ------------------------------------------------ flags and temperatures (flag_temp_display.cpp)
  void UPDATE_RDFLG_Display();
  void UPDATE_RDTMP_Display();
  void DISPLAY_THERMOSTAT();
  void SET_REV_THSD_EB2250();
  void SET_REV_THSD();
  void CLEAR_THSDflag_THSDset();
  void CLEAR_THSDset();

  // ------------------------------------------------ self tests (self_tests.cpp)
  void Option2_Click(int index);
  void Command5_Click(int index);
  void SELFTEST_12CELL_Display();
  void SELFTEST_RDTMP_Display();
  void COMPARE_SELFTEST_CELL();
  void COMPARE_SELFTEST_TEMP();
  void SELFTEST_CLEAR_LOCAL_CELLS();
  void SELFTEST_CLEAR_LOCAL_TEMPS();

  // ------------------------------------------------ datalog (datalog.cpp)
  void DATALOGGING_cmd_EB2250();
  void SET_collect_BUTTONS();
  void COLLECT_DATA_xls();
  void REPORT_DLOG_current();
  void UPDATE_VIEW_ToolTip();
  void CLEAR_DATAlog();
  void VIEW_xls();
  void StopDatalog();
  void ViewDatalog();
  void SAVE_2_xls();
  void SAVE_Last_DATAlog_xls();
  // Datalog setup (menu bar dialog): sets the values the recording needs.
  // Returns an empty text on success, else what is wrong.
  std::string SetupDatalog(int samples, const std::string& file, bool csv = false);
  // The workbook name a setup with `file` writes: ending in .xlsx.
  static std::string DatalogFileName(const std::string& file);
  // When the window closes while a datalog holds samples, they are written
  // as the last datalog rather than lost.
  void SaveDatalogOnUnload();
  // Helpers of the exports: the workbook (and CSV) under a path, and the
  // last datalog in a folder.
  void ExportDatalogFiles(const std::string& workbook);
  void ExportLastDatalog(const std::string& folder);
  // The save of the VIEW and STOP buttons: shows `status` while `save` runs;
  // when it cannot write, resumes the reading, says why and returns false.
  bool SaveForDatalogButton(const char* status, void (Form1::*save)());
  // The recording journal (datalog_journal.cpp): started by a datalog setup,
  // one durable record per collected sample, removed once the samples are
  // saved. A journal that cannot be written is said once; recording goes on
  // in memory.
  void JournalStart();
  void JournalSample(int slot);
  void JournalEnd();

  // ------------------------------------------------ main window (default_state.cpp)
  void GUI_DEFAULT_start_EB2250();

  // ------------------------------------------------ activity indication (activity_indication.cpp)
  void START_SHRINK_TAB_EB2250();
  void CLEAR_SHRINK_TAB_EB2250();
  void SET_SHRINK_TAB_EB2250();
  void DISPLAY_SHRINK_TAB_EB2250();
  void SHIFT_TABS_UP();
  void SET_BLINK_TAB_HT_EB2250();
  void BLINK_TAB_EB2250();
  void BORDER_WIDTH_2_LOCAL_CELLS_EB2250();
  void SET_BLINK_RDCV_EB2250();
  void SET_BLINK_RDTMP_EB2250();
  void SET_BLINK_RDCFG_EB2250();
  void ARM_BLINK_RDCV_EB2250();
  void ARM_BLINK_RDTMP_EB2250();
  void ARM_BLINK_RDCFG_EB2250();
  void DISARM_BLINK_RDCV_EB2250();
  void DISARM_BLINK_RDTMP_EB2250();
  void DISARM_BLINK_RDCFG_EB2250();
  void CLEAR_BLINK_RDCV_EB2250();
  void CLEAR_BLINK_RDTMP_EB2250();
  void CLEAR_BLINK_RDCFG_EB2250();
  void SELECT_Cmd1_BLINK_RDCV_EB2250();
  void SELECT_Cmd1_BLINK_RDTMP_EB2250();
  void SELECT_Cmd1_BLINK_RDCFG_EB2250();
  void SELECT_Cmd4_BLINK_RDCV_EB2250();
  void SELECT_Cmd4_BLINK_RDTMP_EB2250();
  void SELECT_Cmd4_BLINK_RDCFG_EB2250();
  void SELECT_Cmd3_BLINK_RDCV_EB2250();
  void YELLOW_RDCFG_EB2250();

  // ------------------------------------------------ window plumbing (form1.cpp)
  // Closes the window: the timer stops, no handler runs afterwards and the
  // platform is told to close.
  void UnloadMe();
  // Modal message box.
  void MsgBox(const std::string& text);
  // Moves the input focus to a control (runs lost/got-focus handlers).
  void SetFocus(Control& c) { ui.setFocus(c); }

  // State variables by name, for operator scripts and tests. `i`, `j` index
  // arrays (two indices for two-dimensional ones). Returns the JSON text of
  // the value, or nothing for an unknown name or index.
  std::optional<std::string> StateJson(const std::string& name, std::optional<int> i,
                                       std::optional<int> j) const;
  // Names of every state variable StateJson knows.
  std::vector<std::string> StateNames() const;

 private:
  void BuildControls();            // initial properties of every control (layout.cpp)
  void BindHandlers();             // operator events to procedures (form1.cpp)
  std::vector<std::string> dlog_;  // datalog table, allocated on first use
  std::vector<std::chrono::system_clock::time_point> dlogTime_;  // per slot, ditto
  datalog::JournalWriter journal_;
  // Where NUMERIC_KEY_FILTER last saw the decimal point of each threshold
  // box: looked at first, so a stream of keys costs one search, not one
  // search per key.
  std::size_t knownPoint_[2] = {std::string::npos, std::string::npos};
};

}  // namespace eb
