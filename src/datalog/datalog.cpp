// Datalog recording and spreadsheet export.
#include "ui/form1.h"

namespace eb {

void Form1::DATALOGGING_cmd_EB2250() {}
void Form1::SET_collect_BUTTONS() {}
void Form1::COLLECT_DATA_xls() {}
void Form1::REPORT_DLOG_current() {}
void Form1::UPDATE_VIEW_ToolTip() {}
void Form1::CLEAR_DATAlog() {}
void Form1::VIEW_xls() {}
void Form1::DLOG_STOP_cmd() {}
void Form1::DLOG_VIEW_cmd() {}
void Form1::SAVE_2_xls() {}
void Form1::SAVE_Last_DATAlog_xls() {}
std::string Form1::SETUP_DATAlog(int, const std::string&) { return "the datalog is not available yet"; }
void Form1::SAVE_DATAlog_ON_UNLOAD() {}

}  // namespace eb
