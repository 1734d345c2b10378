#include "sheet/journal_ring.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "sheet/journal.h"

namespace eb::datalog {

namespace {

// 2200-01-01 UTC: later instants would overflow the clock's nanoseconds.
constexpr long long kMaxMillis = 7258118400000LL;
// Seconds of a datalog: 1000 samples of 0.8 s, with room to spare.
constexpr float kMaxSeconds = 1e6f;

template <typename T>
std::optional<T> Number(std::string_view text) {
  T v{};
  auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

std::optional<int> InRange(std::string_view text, int low, int high) {
  const auto v = Number<int>(text);
  if (!v || *v < low || *v > high) return std::nullopt;
  return v;
}

std::optional<float> Seconds(std::string_view text) {
  const auto v = Number<float>(text);
  if (!v || !std::isfinite(*v) || *v < 0 || *v > kMaxSeconds) return std::nullopt;
  return v;
}

// The fields of a record (kind first) without copying: false when one is
// wrongly escaped or there are more than `maxFields`.
bool Fields(std::string_view record, std::vector<std::string_view>* out, size_t maxFields) {
  out->clear();
  if (record.size() < 2 || record[1] != '\t') return false;
  size_t at = 2;
  while (true) {
    if (out->size() >= maxFields) return false;
    const size_t next = record.find('\t', at);
    const std::string_view f = record.substr(at, next == std::string_view::npos ? next : next - at);
    for (size_t i = 0; i < f.size(); ++i) {
      if (f[i] != '\\') continue;
      if (++i >= f.size()) return false;
      if (f[i] != '\\' && f[i] != 't' && f[i] != 'n' && f[i] != 'r') return false;
    }
    out->push_back(f);
    if (next == std::string_view::npos) return true;
    at = next + 1;
  }
}

// A sample record's fields checked; `sample` filled when not null.
bool ReadSample(std::string_view record, int slots, int cellFields, JournalSample* sample) {
  const size_t maxFields = kJournalSampleHead + static_cast<size_t>(cellFields * kJournalMaxBoards);
  std::vector<std::string_view> f;
  if (record.empty() || record[0] != 'S' || !Fields(record, &f, maxFields)) return false;
  if (f.size() < kJournalSampleHead) return false;
  const auto slot = InRange(f[0], 1, slots);
  const auto last = InRange(f[1], 0, kJournalMaxBoards - 1);
  const auto ms = Number<long long>(f[2]);
  const auto viewTime = Seconds(f[5]);
  const auto viewPoints = InRange(f[6], 0, kJournalMaxSlots);
  if (!slot || !last || !ms || *ms < 0 || *ms > kMaxMillis || !viewTime || !viewPoints)
    return false;
  const size_t boards = static_cast<size_t>(*last + 1);
  const size_t cells = f.size() - kJournalSampleHead;
  const int perBoard = static_cast<int>(cells / boards);
  if (cells % boards != 0 || perBoard < kJournalOldCellFields || perBoard > cellFields)
    return false;
  if (sample == nullptr) return true;
  char kind = 0;
  std::vector<std::string> all;
  if (!SplitJournalRecord(record, &kind, &all, maxFields)) return false;
  sample->slot = *slot;
  sample->lastBoard = *last;
  sample->time = std::chrono::system_clock::time_point(std::chrono::milliseconds(*ms));
  sample->currentStamp = std::move(all[3]);
  sample->fileStamp = IsFileStamp(all[4]) ? std::move(all[4]) : std::string();
  sample->viewTime = *viewTime;
  sample->viewPoints = *viewPoints;
  sample->fieldsPerBoard = perBoard;
  sample->cells.assign(std::make_move_iterator(all.begin() + kJournalSampleHead),
                       std::make_move_iterator(all.end()));
  return true;
}

std::optional<JournalSetup> ReadSetup(std::string_view record) {
  char kind = 0;
  std::vector<std::string> f;
  if (!SplitJournalRecord(record, &kind, &f, kJournalSetupFields + 1) || kind != 'H' ||
      f.size() < kJournalSetupFields) {
    return std::nullopt;
  }
  JournalSetup s;
  const auto slots = InRange(f[0], 1, kJournalMaxSlots);
  const auto points = InRange(f[1], 0, kJournalMaxSlots);
  const auto seconds = Seconds(f[2]);
  if (!slots || !points || !seconds || (f[5] != "0" && f[5] != "1")) return std::nullopt;
  s.slots = *slots;
  s.samplePoints = *points;
  s.sampleTime = *seconds;
  s.setupStamp = f[4];  // f[3], the datalog's own workbook, is not needed
  s.csv = f[5] == "1";
  if (f.size() > kJournalSetupFields) {
    const auto left = Number<unsigned long long>(f[kJournalSetupFields]);
    if (!left || *left > (1ull << 48)) return std::nullopt;
    s.leftOut = static_cast<std::size_t>(*left);
  }
  return s;
}

}  // namespace

const std::string& JournalSample::Cell(int field, int board) const {
  static const std::string empty;
  const size_t i = static_cast<size_t>(board * fieldsPerBoard + field);
  return board <= lastBoard && field >= 0 && field < fieldsPerBoard && i < cells.size() ? cells[i]
                                                                                        : empty;
}

bool IsFileStamp(std::string_view text) {
  constexpr std::string_view form = "00-00-0000_00_00_00 AM";
  if (text.size() != form.size()) return false;
  for (size_t i = 0; i < form.size(); ++i) {
    const char c = text[i];
    const bool ok = form[i] == '0'   ? c >= '0' && c <= '9'
                    : form[i] == 'A' ? c == 'A' || c == 'P'
                                     : c == form[i];
    if (!ok) return false;
  }
  return true;
}

JournalRing::JournalRing(int cellFields)
    : cellFields_(std::clamp(cellFields, kJournalOldCellFields, kJournalMaxCellFields)) {}

void JournalRing::Add(std::string_view record) {
  if (!any_) {
    any_ = true;
    setup_ = ReadSetup(record);
    if (setup_) {
      slots_.resize(static_cast<size_t>(setup_->slots) + 1);
      leftOut_ = setup_->leftOut;
    }
    return;
  }
  if (!setup_ || !ReadSample(record, setup_->slots, cellFields_, nullptr)) {
    ++invalid_;
    return;
  }
  const int slot = InRange(record.substr(2, record.find('\t', 2) - 2), 1, setup_->slots).value();
  // The next position of the recording that falls on this slot: the
  // records between, if any, were lost.
  if (position_ == 0) {
    position_ = static_cast<unsigned long long>(slot);
  } else {
    const int step = (slot - lastSlot_ + setup_->slots) % setup_->slots;
    position_ += static_cast<unsigned long long>(step == 0 ? setup_->slots : step);
  }
  lastSlot_ = slot;
  Slot& s = slots_[static_cast<size_t>(slot)];
  s.record.assign(record);
  s.position = position_;
  ++recorded_;
}

std::vector<JournalSample> JournalRing::Samples() const {
  std::vector<JournalSample> samples;
  if (!setup_ || position_ == 0) return samples;
  const auto n = static_cast<unsigned long long>(setup_->slots);
  const unsigned long long first = position_ > n ? position_ - n + 1 : 1;
  for (unsigned long long p = first; p <= position_; ++p) {
    const Slot& s = slots_[static_cast<size_t>((p - 1) % n + 1)];
    if (s.position != p) continue;  // its record was lost
    JournalSample sample;
    if (ReadSample(s.record, setup_->slots, cellFields_, &sample))
      samples.push_back(std::move(sample));
  }
  return samples;
}

std::string JournalRing::SetupError() const {
  if (!any_) return "the journal holds no setup";
  if (!setup_) return "its setup record is damaged";
  return "";
}

}  // namespace eb::datalog
