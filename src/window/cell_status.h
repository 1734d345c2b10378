// The cell status codes 0 … 7 kept in CELLstatus, and everything each code
// stands for: its stack-grid colour, the battery drawing of a cell panel and
// of the legend, the window legend's texts and the datalog's two-letter
// code and legend text. Every view of a status reads it from this table.
#pragma once

#include <array>
#include <cstdint>

#include "window/control.h"

namespace eb {

enum CellStatus : std::int16_t {
  kCellNoReading = 0,
  kCellGood = 1,
  kCellDischarge = 2,
  kCellUnderVoltage = 3,
  kCellOverVoltage = 4,
  kCellMasked = 5,           // interrupt masked
  kCellMaskedDischarge = 6,  // interrupt masked, discharging
  kCellThermalShutdown = 7,
};

// How full a status's battery drawing is.
enum class Charge { Half, Low, ThreeQuarter, Full };

// Level bar of a cell panel's battery drawing: top and height (the body is
// 24 … 57, the bar's bottom stays at 57).
struct PanelLevel {
  int top;
  int height;
};
constexpr PanelLevel PanelLevelOf(Charge charge) {
  switch (charge) {
    case Charge::Low: return {48, 9};
    case Charge::ThreeQuarter: return {32, 25};
    case Charge::Full: return {24, 33};
    case Charge::Half: break;
  }
  return {40, 17};
}

// Height of the level bar of the legend's smaller battery (body 23 pixels).
constexpr int LegendLevelOf(Charge charge) {
  switch (charge) {
    case Charge::Low: return 6;
    case Charge::ThreeQuarter: return 17;
    case Charge::Full: return 23;
    case Charge::Half: break;
  }
  return 12;
}

struct CellStatusLook {
  Rgb colour;          // stack grid square and the battery's level bar
  Charge charge;       // level bar height
  Rgb body;            // battery body behind the level bar
  const char* sample;  // window legend: label shown in sampleColour
  Rgb sampleColour;
  const char* explanation;  // window legend: line below the label
  const char* code;         // datalog: two-letter code of the cell
  const char* meaning;      // datalog legend: "<code> = <meaning>"
};

// Indexed by the status code.
inline constexpr std::array<CellStatusLook, 8> kCellStatuses{{
    {colors::White, Charge::Half, colors::White, " CLEAR", colors::White, "No Voltage Reading",
     "NR", "NO READING"},
    {colors::Green, Charge::Half, colors::PaleGrey, " GOOD", colors::Green, "Voltage In Range",
     "OK", "GOOD"},
    {colors::LightBlue, Charge::Low, colors::PaleGrey, " DISCHARGE", colors::LightBlue,
     "DisCharge Cell", "DC", "DISCHARGE"},
    {colors::Yellow, Charge::Low, colors::PaleGrey, " CAUTION!", colors::Yellow,
     "Flag  Under Voltage ", "UV", "UNDER VOLTAGE"},
    {colors::Red, Charge::ThreeQuarter, colors::PaleGrey, " DANGER!", colors::Red,
     "Flag Over Voltage ", "OV", "OVER VOLTAGE"},
    {colors::PaleGrey, Charge::Full, colors::PaleGrey, " MASKED", colors::LightGrey,
     "Mask Cell Interrupt", "MI", "MASKED INTERRUPT"},
    {colors::Grey, Charge::Low, colors::PaleGrey, " MASKDCC", colors::LightGrey,
     "Mask Cell Int w/ DCC", "MD", "MASKED DISCHARGE"},
    {colors::Orange, Charge::Full, colors::PaleGrey, " THERMAL SD!", colors::Orange,
     "Thermal Shutdown!", "TS", "THERMAL SHUTDOWN"},
}};

// Status codes in the order of the window legend's rows, top to bottom.
inline constexpr std::array<CellStatus, 8> kLegendOrder{
    kCellOverVoltage,     kCellGood,      kCellNoReading,    kCellMasked,
    kCellMaskedDischarge, kCellDischarge, kCellUnderVoltage, kCellThermalShutdown,
};

// The row of a status code; nullptr for a code outside 0 … 7.
constexpr const CellStatusLook* CellStatusOf(int status) {
  if (status < 0 || status >= static_cast<int>(kCellStatuses.size())) return nullptr;
  return &kCellStatuses[static_cast<size_t>(status)];
}

}  // namespace eb
