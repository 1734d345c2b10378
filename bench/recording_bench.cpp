// Reading one day of a ten-board recording (28,800 passes, 288,000 samples):
// CSV export of one hour and of the day, workbook export of the day, and the
// trend's lines at 30 s, 1 h and the whole day (without drawing them; the
// window's benchmark draws them). The day's file is made once, in the
// temporary folder, and kept for later runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "record/export.h"
#include "record/recording_view.h"
#include "support/recording_file.h"

namespace {

using eb::record::ExportFormat;

const eb::test::SyntheticRecording& Day() { return eb::test::DayOfTenBoards(); }
const std::string& DayFile() { return eb::test::DayRecordingFile(); }

void Export(benchmark::State& state, ExportFormat format, std::int64_t hours) {
  const eb::record::Recording recording(DayFile());
  eb::record::ExportRequest request;
  request.selection.from = Day().startMs;
  request.selection.to = Day().startMs + hours * 3'600'000 - 1;
  request.format = format;
  request.output = "/tmp/eb2250-bench-export" + std::to_string(getpid()) +
                   (format == ExportFormat::Csv ? ".csv" : ".xlsx");
  std::int64_t rows = 0;
  for (auto _ : state) rows = eb::record::ExportRecording(recording, request).rows;
  state.counters["samples"] = static_cast<double>(rows);
  std::filesystem::remove(request.output);
}

void BM_ExportCsvHour(benchmark::State& state) { Export(state, ExportFormat::Csv, 1); }
BENCHMARK(BM_ExportCsvHour)->Unit(benchmark::kMillisecond);
void BM_ExportCsvDay(benchmark::State& state) { Export(state, ExportFormat::Csv, 24); }
BENCHMARK(BM_ExportCsvDay)->Unit(benchmark::kMillisecond)->Iterations(2);
void BM_ExportXlsxDay(benchmark::State& state) { Export(state, ExportFormat::Xlsx, 24); }
BENCHMARK(BM_ExportXlsxDay)->Unit(benchmark::kMillisecond)->Iterations(1);

// Opening the day for its trend: one pass over the file into the levels.
void BM_TrendLoadDay(benchmark::State& state) {
  const eb::record::Recording recording(DayFile());
  for (auto _ : state) {
    eb::record::RecordingView view(recording);
    view.Load();
    benchmark::DoNotOptimize(view.samples());
  }
}
BENCHMARK(BM_TrendLoadDay)->Unit(benchmark::kMillisecond)->Iterations(1);

// The lines of every chart for 900 pixel columns, at a span of
// state.range(0) seconds in the middle of the day.
void BM_TrendLinesDay(benchmark::State& state) {
  const eb::record::Recording recording(DayFile());
  eb::record::RecordingView view(recording);
  view.Load();
  view.SetColumns(900);
  const double middle = static_cast<double>(Day().startMs) + 12 * 3'600'000.0;
  const double span = static_cast<double>(state.range(0)) * 1000;
  for (auto _ : state) {
    view.Show(middle - span / 2, middle + span / 2);
    view.Update();
  }
  state.counters["from file"] = view.direct() ? 1 : 0;
}
BENCHMARK(BM_TrendLinesDay)->Arg(30)->Arg(3600)->Arg(86400)->Unit(benchmark::kMillisecond);

}  // namespace
