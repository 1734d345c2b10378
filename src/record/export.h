// Export of a time range of a recording as plain text (CSV) or a workbook
// (.xlsx): one row per sample (one board's pass) in time order, under a
// header row naming the columns (RecordingColumns). Either file is written
// beside its target and renamed over it only when complete, so a failed or
// cancelled export leaves no partial output and any earlier file untouched.
// A workbook continues on further worksheets ("Samples", "Samples 2", …)
// beyond a sheet's rows, each with the header row.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "record/recording.h"

namespace eb::record {

enum class ExportFormat { Csv, Xlsx };

// The header row: MS, TIME, BOARD, ADDRESS, CFGR, FLGR, VUV_V, VOV_V,
// C1_V … C12_V, ETMP1_V, ETMP2_V, ITMP_V, STATUS, CFGR_READ, FLGR_READ,
// CV_READ, TMP_READ.
const std::vector<std::string>& RecordingColumns();

struct ExportRequest {
  Selection selection;
  ExportFormat format = ExportFormat::Csv;
  std::string output;
  // Data rows per worksheet (under the header row).
  int sheetRows = 1'048'575;
};

struct ExportOutcome {
  std::int64_t rows = 0;  // samples written
  bool cancelled = false;
};

// Told the share done (0 … 1) now and then; returns false to cancel.
using ExportProgress = std::function<bool(double done)>;

// Writes the samples of the request's selection. Throws RecordingError when
// the recording cannot be read or the output cannot be written (the line
// names the file and why).
ExportOutcome ExportRecording(const Recording& recording, const ExportRequest& request,
                              const ExportProgress& progress = {});

}  // namespace eb::record
