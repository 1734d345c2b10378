// Datalog recording: the START D-LOG / STOP / VIEW buttons, the ring of
// samples filled by the measurement cycle, the datalog setup, and the two
// spreadsheet exports.
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#include "sheet/datalog_folder.h"
#include "sheet/stamps.h"
#include "window/datalog_fields.h"
#include "window/datalog_sheet.h"
#include "window/form1.h"

namespace eb {

namespace {

constexpr int kMaxSamples = kDlogSlots - 1;  // ring slots 1 … 1000
constexpr double kSecondsPerSample = 0.8;    // one datalog pass of the cycle
constexpr const char* kXlsx = ".xlsx";

bool EndsWith(const std::string& path, const std::string& ending) {
  if (path.size() < ending.size()) return false;
  for (size_t i = 0; i < ending.size(); ++i) {
    char c = path[path.size() - ending.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != ending[i]) return false;
  }
  return true;
}

}  // namespace

void Form1::DATALOGGING_cmd_EB2250() {
  CLEAR_BLINK_RDCV_EB2250();
  CLEAR_BLINK_RDTMP_EB2250();
  OnOff = OnOff == 1 ? 0 : static_cast<I16>(OnOff + 1);

  if (OnOff == 1) {  // recording
    StartPeriodicReading();
  } else if (OnOff == 0) {  // paused
    Command1[10].caption = "START CONTINUOUS READ CELLS";
    Shape3.fill = colors::Red;
    CELLSTATUSclearflag = 1;
    BRDread = BRDnumber;
    EnableMeasureControls();
    ZeroStackReadings();
  }
}

void Form1::SET_collect_BUTTONS() {
  if (DATACOLLECTflag == 1) {
    Command1[10].visible = false;
    Command1[14].visible = true;
    Command1[11].visible = true;
    Command1[11].enabled = true;
    Command1[12].visible = true;
    Command1[13].visible = true;
  } else if (DATACOLLECTflag == 0) {
    Command1[10].visible = true;
    Command1[14].visible = true;
    Command1[11].visible = false;
    Command1[12].visible = false;
    Command1[13].visible = false;
  }
}

void Form1::COLLECT_DATA_xls() {
  const int s = DATApoint;
  for (int b = 0; b <= CARDSTACK; ++b) {
    const auto now = platform.Now();
    if (b == 0) DataTime(s) = now;
    DataCell(s, 0, b) = datalog::ClockStamp(now);
    datalog::CollectRecord(*this, b,
                           [&](int k, std::string text) { DataCell(s, k, b) = std::move(text); });
  }
  DATApoint = static_cast<I16>(s + 1);
  JournalSample(s);
}

void Form1::REPORT_DLOG_current() {
  if (CYCLEflag == 0) {
    VIEWpoints = static_cast<I16>(DATApoint - 1);
    VIEWtime = static_cast<float>(VIEWpoints * kSecondsPerSample);
  } else if (CYCLEflag == 1) {
    VIEWtime = SAMPLEtime;
    VIEWpoints = SAMPLEpoints;
  }
  const auto now = platform.Now();
  DCURRENTstamp = datalog::ClockStamp(now);
  DLASTstamp = datalog::FileStamp(now);
  UPDATE_VIEW_ToolTip();
}

void Form1::UPDATE_VIEW_ToolTip() {
  Command1[13].tooltip =
      "VIEW " + std::to_string(VIEWpoints) + " SAMPLES " + "FOR " + Fixed3(VIEWtime) + " SECONDS.";
}

// Every field of every board and slot: a stack that grows after the setup
// must not export the readings of an earlier datalog.
void Form1::CLEAR_DATAlog() {
  for (std::string& cell : dlog_) cell.clear();
  std::fill(dlogTime_.begin(), dlogTime_.end(), std::chrono::system_clock::time_point{});
  DATApoint = 1;
}

void Form1::VIEW_xls() { platform.ShellOpen(NewFile); }

bool Form1::SaveForDatalogButton(const char* status, void (Form1::*save)()) {
  COUNTERstop = DATApoint;
  Label_AUTOstatus.caption = status;
  Label_AUTOstatus.fore = colors::Blue;
  try {
    (this->*save)();
  } catch (const datalog::ExportError& e) {
    // The datalog stays as it was: recording or paused, ring intact.
    Check_AUTO_Click();
    MsgBox(e.what());
    return false;
  }
  return true;
}

void Form1::ViewDatalog() {
  if (!SaveForDatalogButton("WAIT FOR DATA TRANSFER TO EXCEL.", &Form1::SAVE_2_xls)) return;
  VIEW_xls();
  Check_AUTO_Click();
}

void Form1::StopDatalog() {
  if (!SaveForDatalogButton("WAIT FOR DATA TRANSFER TO EXCEL TO LAST DATALOG.",
                            &Form1::SAVE_Last_DATAlog_xls))
    return;
  Check_AUTO_Click();
  JournalEnd();  // the samples are saved
  CLEAR_DATAlog();
  DATACOLLECTflag = 0;
  OnOff = 0;
  DATALOGGING_cmd_EB2250();
  SET_collect_BUTTONS();
  VIEWCAPTUREflag = 0;
  CYCLEflag = 0;
  DATApoint = 1;
}

// The workbook, and when the setup asked for it the CSV file beside it.
// Throws datalog::ExportError when a file cannot be written.
void Form1::ExportDatalogFiles(const std::string& workbook) {
  datalog::ExportDatalog(*this, workbook);
  if (CSVflag == 1) datalog::ExportDatalogCsv(*this, datalog::CsvBeside(workbook));
}

// Throws datalog::ExportError when the file cannot be written.
void Form1::SAVE_2_xls() { ExportDatalogFiles(NewFile); }

// Throws datalog::ExportError when the file cannot be written.
void Form1::SAVE_Last_DATAlog_xls() { ExportLastDatalog(platform.AppDirectory()); }

// The last datalog in `folder`, under a name of its own: the stop stamp and
// "_LAST_DATALOG", never replacing an earlier one. Its full path goes to
// LastDATAlog and cell A1.
void Form1::ExportLastDatalog(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::absolute(folder.empty() ? "." : folder, ec);
  dir = dir.lexically_normal();
  std::string base = dir.string();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  // Without a datalog report yet there is no last-sample stamp: the file is
  // named after the moment of the export instead.
  const std::string stamp = DLASTstamp.empty() ? datalog::FileStamp(platform.Now()) : DLASTstamp;
  datalog::NewDatalogFiles files;
  try {
    datalog::ExportNewDatalog(datalog::ViewOf(*this), base, stamp + "_LAST_DATALOG", CSVflag == 1,
                              &files);
  } catch (const datalog::ExportError&) {
    LastDATAlog = files.workbook;
    throw;
  }
  LastDATAlog = files.workbook;
}

std::string Form1::DatalogFileName(const std::string& file) {
  if (file.empty() || EndsWith(file, kXlsx)) return file;
  // The workbook is always .xlsx: an .xls name is given the right ending
  // rather than a second one.
  if (EndsWith(file, ".xls")) return file.substr(0, file.size() - 4) + kXlsx;
  return file + kXlsx;
}

std::string Form1::SetupDatalog(int samples, const std::string& file, bool csv) {
  namespace fs = std::filesystem;
  if (OnOff == 1 && DATACOLLECTflag == 1) {
    return "A datalog is recording. Pause it with START D-LOG or end it with STOP before setting "
           "up "
           "a new one.";
  }
  if (samples < 1 || samples > kMaxSamples) {
    return "The number of samples must be from 1 to " + std::to_string(kMaxSamples) + ".";
  }
  if (file.empty()) return "Enter the full path of the datalog file.";
  if (!fs::path(file).is_absolute()) {
    return "The datalog file must be given with its full path, starting with /: " + file;
  }
  std::error_code ec;
  if (!fs::path(file).has_filename() || fs::is_directory(file, ec))
    return "The datalog file path names a folder, not a file: " + file;
  const std::string path = DatalogFileName(file);
  const fs::path dir = fs::path(path).parent_path();
  if (!fs::exists(dir, ec)) return "The folder " + dir.string() + " does not exist.";
  if (!fs::is_directory(dir, ec)) return dir.string() + " is not a folder.";
  if (access(dir.c_str(), W_OK) != 0)
    return "The folder " + dir.string() + " cannot be written to.";
  if (fs::is_directory(path, ec)) return path + " is a folder, not a file.";

  // The datalog buttons replace the continuous-read button, so continuous
  // reading is stopped first: a new datalog waits for START D-LOG.
  if (OnOff == 1 && DATACOLLECTflag == 0) Command1_click(10);

  SETpoint = static_cast<I16>(samples);
  CSVflag = csv ? 1 : 0;
  SAMPLEpoints = static_cast<I16>(samples);
  SAMPLEtime = static_cast<float>(samples * kSecondsPerSample);
  NewFile = path;
  DSETUPstamp = datalog::ClockStamp(platform.Now());
  // The view report describes the ring, which starts empty.
  VIEWpoints = 0;
  VIEWtime = 0;
  DCURRENTstamp.clear();
  DLASTstamp.clear();
  UPDATE_VIEW_ToolTip();
  CLEAR_DATAlog();
  CYCLEflag = 0;
  DATACOLLECTflag = 1;
  SET_collect_BUTTONS();
  JournalStart();
  return "";
}

void Form1::SaveDatalogOnUnload() {
  if (DATACOLLECTflag != 1) return;
  if (DATApoint <= 1 && CYCLEflag != 1) {
    JournalEnd();  // nothing was recorded
    return;
  }
  COUNTERstop = DATApoint;
  // The datalog folder first; when it cannot be written, the first of the
  // fallback folders that takes the file. The operator is told where the
  // samples went, or that they could not be saved anywhere.
  std::vector<std::string> folders{platform.AppDirectory()};
  for (const std::string& dir : datalog::FallbackFolders()) folders.push_back(dir);
  std::string failures;
  for (const std::string& folder : folders) {
    try {
      ExportLastDatalog(folder);
      JournalEnd();
      MsgBox(failures.empty()
                 ? "The datalog's samples were saved to " + LastDATAlog + "."
                 : failures + " The datalog's samples were saved to " + LastDATAlog + " instead.");
      return;
    } catch (const datalog::ExportError& e) {
      if (failures.empty()) failures = e.what();
    }
  }
  MsgBox(failures.empty() ? std::string("The datalog's samples could not be saved.") : failures);
}

}  // namespace eb
