#include "record/export.h"

#include <charconv>
#include <cmath>

#include "sheet/csv_file.h"
#include "sheet/xlsx_sheet.h"

namespace eb::record {

namespace {

// Rows between two reports of progress.
constexpr std::int64_t kProgressRows = 2048;

std::string Number(double v) {
  if (std::isnan(v)) return "";
  char buf[32];
  // The shortest text that reads back as the same number, with a point in
  // any locale.
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

// Writes the rows to one kind of file.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual void Header() = 0;
  virtual void Row(const Sample& s) = 0;
  virtual std::string Finish() = 0;
  virtual const std::string& Error() const = 0;
};

class CsvWriter : public Writer {
 public:
  explicit CsvWriter(const std::string& path) : csv_(path), fields_(RecordingColumns().size()) {}
  void Header() override { csv_.Row(RecordingColumns()); }
  void Row(const Sample& s) override {
    std::size_t i = 0;
    fields_[i++] = std::to_string(s.ms);
    fields_[i++] = UtcStamp(s.ms);
    fields_[i++] = std::to_string(s.board);
    fields_[i++] = std::to_string(s.address);
    for (const std::string* text : {&s.cfgr, &s.flgr, &s.vuv, &s.vov}) fields_[i++] = *text;
    for (double v : s.cells) fields_[i++] = Number(v);
    for (double v : s.temps) fields_[i++] = Number(v);
    for (const std::string* text : {&s.status, &s.cfgrRead, &s.flgrRead, &s.cvRead, &s.tmpRead})
      fields_[i++] = *text;
    csv_.Row(fields_);
  }
  std::string Finish() override { return csv_.Finish(); }
  const std::string& Error() const override { return csv_.error(); }

 private:
  datalog::CsvFile csv_;
  std::vector<std::string> fields_;
};

class XlsxWriter : public Writer {
 public:
  XlsxWriter(const std::string& path, int sheetRows)
      : sheet_(path, "Samples"), sheetRows_(sheetRows) {}
  void Header() override {
    const auto& names = RecordingColumns();
    const int cols = static_cast<int>(names.size());
    sheet_.SetBold({1, 1, 1, cols});
    for (int c = 0; c < cols; ++c) sheet_.WriteText(1, c + 1, names[static_cast<std::size_t>(c)]);
    row_ = 1;
  }
  void Row(const Sample& s) override {
    if (row_ > sheetRows_) {
      sheet_.NextSheet("Samples " + std::to_string(++sheets_));
      Header();
    }
    ++row_;
    int c = 1;
    sheet_.WriteInteger(row_, c++, s.ms);
    sheet_.WriteText(row_, c++, UtcStamp(s.ms));
    sheet_.WriteInteger(row_, c++, s.board);
    sheet_.WriteInteger(row_, c++, s.address);
    for (const std::string* text : {&s.cfgr, &s.flgr, &s.vuv, &s.vov})
      sheet_.WriteText(row_, c++, *text);
    for (double v : s.cells) sheet_.WriteNumber(row_, c++, v);
    for (double v : s.temps) sheet_.WriteNumber(row_, c++, v);
    for (const std::string* text : {&s.status, &s.cfgrRead, &s.flgrRead, &s.cvRead, &s.tmpRead})
      sheet_.WriteText(row_, c++, *text);
  }
  std::string Finish() override { return sheet_.Finish(); }
  const std::string& Error() const override { return sheet_.error(); }

 private:
  datalog::XlsxSheet sheet_;
  int sheetRows_;
  int row_ = 0;
  int sheets_ = 1;
};

}  // namespace

const std::vector<std::string>& RecordingColumns() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n{"MS", "TIME", "BOARD", "ADDRESS", "CFGR", "FLGR", "VUV_V", "VOV_V"};
    for (int c = 1; c <= kCells; ++c) n.push_back("C" + std::to_string(c) + "_V");
    for (const char* t : {"ETMP1_V", "ETMP2_V", "ITMP_V", "STATUS", "CFGR_READ", "FLGR_READ",
                          "CV_READ", "TMP_READ"})
      n.emplace_back(t);
    return n;
  }();
  return names;
}

ExportOutcome ExportRecording(const Recording& recording, const ExportRequest& request,
                              const ExportProgress& progress) {
  if (request.sheetRows < 1) throw RecordingError("a worksheet must take at least one row");
  const std::int64_t expected = progress ? recording.Count(request.selection) : 0;
  std::unique_ptr<Writer> writer;
  if (request.format == ExportFormat::Csv) {
    writer = std::make_unique<CsvWriter>(request.output);
  } else {
    writer = std::make_unique<XlsxWriter>(request.output, request.sheetRows);
  }
  // An output that cannot be made is said before the recording is read.
  if (!writer->Error().empty())
    throw RecordingError("cannot write " + request.output + ": " + writer->Error());
  ExportOutcome outcome;
  writer->Header();
  SampleCursor cursor(recording, request.selection);
  Sample sample;
  while (cursor.Next(&sample)) {
    writer->Row(sample);
    ++outcome.rows;
    if (progress && outcome.rows % kProgressRows == 0 &&
        !progress(expected > 0 ? std::min(1.0, static_cast<double>(outcome.rows) /
                                                   static_cast<double>(expected))
                               : 0.0)) {
      // The writer's destructor drops the unfinished file.
      outcome.cancelled = true;
      return outcome;
    }
  }
  const std::string failure = writer->Finish();
  if (!failure.empty()) throw RecordingError("cannot write " + request.output + ": " + failure);
  if (progress) progress(1.0);
  return outcome;
}

}  // namespace eb::record
