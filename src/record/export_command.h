// The headless export of the command line:
//   eb2250-gui --export REC.db [--from T] [--to T] [--boards 1,3] --csv OUT | --xlsx OUT
// T is ISO 8601 UTC ("2026-12-09T10:00:00", optional ".mmm", optional "Z")
// or milliseconds since the epoch; both ends count. No bridge, no display.
#pragma once

#include <string>

namespace eb::record {

struct ExportArguments {
  std::string recording;
  std::string from, to, boards;  // as given ("" when not)
  std::string csv, xlsx;         // exactly one of them
};

// Runs the export. Returns the exit status: 0 done, 2 for arguments that
// are not understood, a recording that cannot be read or an output that
// cannot be written, with *message one line saying which; on success
// *message says how many samples went where.
int RunExport(const ExportArguments& args, std::string* message);

}  // namespace eb::record
