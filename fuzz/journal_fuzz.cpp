// libFuzzer target: bytes found at the journal's name in a datalog folder,
// through the journal reader and the ring rebuilt from its records, and the
// time stamps the recovered workbook writes of each sample.
//
// Input: a mode byte, a piece-size byte, then the journal. Mode bit 0: the
// check of every line after the first is computed here (lines are record
// bodies), so mutations reach the fields behind the check; bit 1: the
// journal's first line is put in front; bit 2: a hole of zeros is fed
// in the middle.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "sheet/journal.h"
#include "sheet/journal_ring.h"
#include "sheet/stamps.h"

namespace {

std::string Sealed(const std::string& bytes) {
  std::string out;
  size_t at = 0;
  bool first = true;
  while (at <= bytes.size()) {
    size_t end = bytes.find('\n', at);
    const bool last = end == std::string::npos;
    if (last) end = bytes.size();
    const std::string line = bytes.substr(at, end - at);
    out += line;
    if (!first) {
      char crc[16];
      std::snprintf(
          crc, sizeof crc, "\t%08lx",
          crc32(0L, reinterpret_cast<const Bytef*>(line.data()), static_cast<uInt>(line.size())) &
              0xFFFFFFFFul);
      out += crc;
    }
    if (last) break;
    out += '\n';
    first = false;
    at = end + 1;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned mode = data[0];
  const std::size_t piece = data[1] + 1u;
  std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  if (mode & 1u) bytes = Sealed(bytes);
  if (mode & 2u) bytes = "EB2250 DATALOG JOURNAL 1\n" + bytes;

  eb::datalog::JournalRing ring;
  eb::datalog::JournalReader reader([&ring](std::string_view record) { ring.Add(record); });
  std::size_t fed = bytes.size();
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    reader.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
    if ((mode & 4u) && at <= bytes.size() / 2 && at + piece > bytes.size() / 2) {
      reader.FeedZeros(piece * 300);  // once, in the middle
      fed += piece * 300;
    }
  }
  const eb::datalog::JournalScan scan = reader.End();
  const auto samples = ring.Samples();

  // What recovery relies on.
  if (scan.records > bytes.size() || scan.damaged > bytes.size()) __builtin_trap();
  if (!ring.setup() && !samples.empty()) __builtin_trap();
  if (ring.setup() && samples.size() > static_cast<std::size_t>(ring.setup()->slots))
    __builtin_trap();
  if (samples.size() > ring.recorded()) __builtin_trap();
  std::size_t chars = 0;
  for (const auto& s : samples) {
    if (s.lastBoard < 0 || s.lastBoard >= eb::datalog::kJournalMaxBoards) __builtin_trap();
    if (!s.fileStamp.empty() && s.fileStamp.find('/') != std::string::npos) __builtin_trap();
    chars += eb::datalog::FileStamp(s.time).size() + eb::datalog::ClockStamp(s.time).size() +
             eb::datalog::IsoStamp(s.time).size();
    for (int b = 0; b < eb::datalog::kJournalMaxBoards; ++b) {
      for (int k = 0; k < eb::datalog::kJournalCellFields; ++k) chars += s.Cell(k, b).size();
    }
  }
  // Cells are unescaped copies of record bytes, each record kept at most
  // once; the stamps are short.
  if (chars > fed + samples.size() * 100) __builtin_trap();
  return 0;
}
