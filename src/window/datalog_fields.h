// The datalog record of one board in one sample, one row per field: its
// heading and unit on the sheet, its CSV column, and how it is collected
// from the window's state. The ring (DataCell), the sheet, the CSV file and
// the recovery journal are all driven by this table, so a new field is one
// new row.
//
// Field 0 of every board is the time stamp of the sample; the rows are
// fields 1, 2, …, in order. The fields placed in the board's block come
// first: on the sheet board b owns kBlockFields columns from BlockColumn(b),
// and the CSV file writes them per board in the same order. The fields
// after them are written by the CSV file only, per board after every block,
// so that the blocks' columns stay where they always were.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/hex.h"
#include "window/form1.h"

namespace eb::datalog {

enum class Place {
  kBlock,    // in the board's block of the sheet and of the CSV row
  kCsvTail,  // CSV only, per board after every block
};

struct Field {
  const char* heading;  // sheet row 10, after the board number "(1) "
  const char* unit;     // sheet row 11
  const char* csv;      // CSV column, after the board prefix "B1_"
  bool number;          // the CSV takes its voltage as a plain decimal
  Place place;
  std::string (*collect)(const Form1& form, int board);
};

namespace collect {

std::string ConfigRead(const Form1& f, int b);
std::string FlagsRead(const Form1& f, int b);
std::string UnderVoltage(const Form1& f, int b);
std::string OverVoltage(const Form1& f, int b);
std::string Statuses(const Form1& f, int b);
std::string Reads(const Form1& f, int b);
template <int C>
std::string Cell(const Form1& f, int b) {
  return Fixed3(f.CELLvolt[CellVoltIndex(b, C)]);
}
template <int K>
std::string Temp(const Form1& f, int b) {
  return VoltText(f.CELLvolt[TempIndex(b, K)]);
}

}  // namespace collect

inline constexpr Field kFields[] = {
    {"RD-CFGR0-5", "HEX", "CFGR", false, Place::kBlock, collect::ConfigRead},
    {"RD-FLGR0-2", "HEX", "FLGR", false, Place::kBlock, collect::FlagsRead},
    {"UVTHR", "VOLTS", "VUV_V", true, Place::kBlock, collect::UnderVoltage},
    {"OVTHR", "VOLTS", "VOV_V", true, Place::kBlock, collect::OverVoltage},
    {"CV1", "VOLTS", "C1_V", true, Place::kBlock, collect::Cell<1>},
    {"CV2", "VOLTS", "C2_V", true, Place::kBlock, collect::Cell<2>},
    {"CV3", "VOLTS", "C3_V", true, Place::kBlock, collect::Cell<3>},
    {"CV4", "VOLTS", "C4_V", true, Place::kBlock, collect::Cell<4>},
    {"CV5", "VOLTS", "C5_V", true, Place::kBlock, collect::Cell<5>},
    {"CV6", "VOLTS", "C6_V", true, Place::kBlock, collect::Cell<6>},
    {"CV7", "VOLTS", "C7_V", true, Place::kBlock, collect::Cell<7>},
    {"CV8", "VOLTS", "C8_V", true, Place::kBlock, collect::Cell<8>},
    {"CV9", "VOLTS", "C9_V", true, Place::kBlock, collect::Cell<9>},
    {"CV10", "VOLTS", "C10_V", true, Place::kBlock, collect::Cell<10>},
    {"CV11", "VOLTS", "C11_V", true, Place::kBlock, collect::Cell<11>},
    {"CV12", "VOLTS", "C12_V", true, Place::kBlock, collect::Cell<12>},
    {"CELL1 - CELL12 STATUS", "STATUS", "STATUS", false, Place::kBlock, collect::Statuses},
    {"ETMP1", "VOLTS", "ETMP1_V", true, Place::kBlock, collect::Temp<1>},
    {"ETMP2", "VOLTS", "ETMP2_V", true, Place::kBlock, collect::Temp<2>},
    {"ITMP1", "VOLTS", "ITMP_V", true, Place::kBlock, collect::Temp<3>},
    // How the reads behind the board's fields ended: "CFGR=match FLGR=match CV=mismatch TMP=none".
    {"", "", "READS", false, Place::kCsvTail, collect::Reads},
};

// Fields of a board in one sample, the time stamp (field 0) included.
constexpr int kRecordFields = static_cast<int>(std::size(kFields)) + 1;

// Field `k` (1 … kRecordFields - 1).
constexpr const Field& FieldAt(int k) { return kFields[static_cast<std::size_t>(k - 1)]; }

// The number of the field with CSV column `csv`; 0 for none.
constexpr int FieldNumber(std::string_view csv) {
  for (int k = 1; k < kRecordFields; ++k)
    if (csv == FieldAt(k).csv) return k;
  return 0;
}

constexpr int CountBlockFields() {
  int n = 0;
  while (n + 1 < kRecordFields && FieldAt(n + 1).place == Place::kBlock) ++n;
  return n;
}
// Fields 1 … kBlockFields are the board's block.
constexpr int kBlockFields = CountBlockFields();

constexpr bool BlockFieldsFirst() {
  for (int k = kBlockFields + 1; k < kRecordFields; ++k)
    if (FieldAt(k).place == Place::kBlock) return false;
  return true;
}
static_assert(BlockFieldsFirst(), "the fields of the block come before the CSV-only fields");
static_assert(kRecordFields <= kDlogFields, "the ring holds every field of a record");

constexpr int kStatusField = FieldNumber("STATUS");
static_assert(kStatusField > 0 && kStatusField <= kBlockFields);

// The datalog record of board `board` as the window holds it now: fields
// 1 … kRecordFields - 1 in `out[1 …]` (out[0], the time stamp, untouched).
template <typename Out>
void CollectRecord(const Form1& form, int board, Out&& out) {
  for (int k = 1; k < kRecordFields; ++k) out(k, FieldAt(k).collect(form, board));
}

}  // namespace eb::datalog

namespace eb {
// How the sample's reads of a board ended (CSV only).
constexpr int kReadsField = datalog::FieldNumber("READS");
static_assert(kReadsField > datalog::kBlockFields);
}  // namespace eb
