#include "record/export_command.h"

#include "record/export.h"

namespace eb::record {

int RunExport(const ExportArguments& args, std::string* message) {
  ExportRequest request;
  if (args.recording.empty()) {
    *message = "--export needs the recording file";
    return 2;
  }
  if (args.csv.empty() == args.xlsx.empty()) {
    *message = "--export needs one of --csv OUT and --xlsx OUT";
    return 2;
  }
  const std::pair<const std::string*, std::int64_t*> times[] = {
      {&args.from, &request.selection.from}, {&args.to, &request.selection.to}};
  for (const auto& [text, ms] : times) {
    if (!text->empty() && !ParseTime(*text, ms)) {
      *message = (text == &args.from ? "--from " : "--to ") + *text +
                 ": not a time (2026-12-09T10:00:00[.mmm][Z], UTC, or ms since the epoch)";
      return 2;
    }
  }
  if (!args.boards.empty() && !ParseBoards(args.boards, &request.selection.boards)) {
    *message = "--boards " + args.boards + ": board numbers 1 … 10 separated by commas";
    return 2;
  }
  request.format = args.csv.empty() ? ExportFormat::Xlsx : ExportFormat::Csv;
  request.output = args.csv.empty() ? args.xlsx : args.csv;
  try {
    const Recording recording(args.recording);
    const ExportOutcome outcome = ExportRecording(recording, request);
    *message = std::to_string(outcome.rows) + " samples exported to " + request.output;
    return 0;
  } catch (const RecordingError& e) {
    *message = e.what();
    return 2;
  }
}

}  // namespace eb::record
