#include "sim/sim_settings.h"

#include <functional>

#include "link/settings_parser.h"

namespace eb {
namespace {

// Calls `each` for every part of `value` between the '+' signs; false when
// any part is refused (an empty part included).
template <typename Each>
bool ForEachPart(std::string_view value, Each each) {
  std::size_t start = 0;
  while (true) {
    const std::size_t plus = value.find('+', start);
    const std::string_view part =
        value.substr(start, plus == std::string_view::npos ? std::string_view::npos : plus - start);
    if (!each(part)) return false;
    if (plus == std::string_view::npos) return true;
    start = plus + 1;
  }
}

bool ParseBoard(std::string_view text, int* board) {
  std::uint64_t v = 0;
  if (!ParseWholeNumber(text, 0, kSimSlots - 1, &v)) return false;
  *board = static_cast<int>(v);
  return true;
}

// "B[+B...]" -> bit mask of boards 0..15.
std::function<bool(std::string_view)> BoardMask(std::uint16_t* mask) {
  return [mask](std::string_view value) {
    std::uint16_t result = 0;
    const bool ok = ForEachPart(value, [&](std::string_view part) {
      int board = 0;
      if (!ParseBoard(part, &board)) return false;
      result = static_cast<std::uint16_t>(result | (1u << board));
      return true;
    });
    if (ok) *mask = result;
    return ok;
  };
}

// "B.C[+B.C...]" -> per-board masks of cells 1..12.
std::function<bool(std::string_view)> OpenWires(std::array<std::uint16_t, kSimSlots>* wires) {
  return [wires](std::string_view value) {
    std::array<std::uint16_t, kSimSlots> result{};
    const bool ok = ForEachPart(value, [&](std::string_view part) {
      const std::size_t dot = part.find('.');
      int board = 0;
      std::uint64_t cell = 0;
      if (dot == std::string_view::npos || !ParseBoard(part.substr(0, dot), &board) ||
          !ParseWholeNumber(part.substr(dot + 1), 1, kSimCells, &cell)) {
        return false;
      }
      auto& mask = result[static_cast<std::size_t>(board)];
      mask = static_cast<std::uint16_t>(mask | (1u << (cell - 1)));
      return true;
    });
    if (ok) *wires = result;
    return ok;
  };
}

}  // namespace

std::optional<SimSettings> ParseSimSettings(std::string_view text, std::string* error) {
  SimSettings s;
  const std::string boards = "board numbers 0 .. 15 joined by '+' (e.g. 1+3)";
  SettingsParser parser("simulator");
  parser.Whole("boards", &s.boards, "a board count", 1, kSimSlots)
      .Whole("seed", &s.seed, "a seed")
      .Real("noise", &s.noise, "a noise level", 0, 1, " V")
      .Real("volts", &s.volts, "a cell voltage", 0, 6, " V")
      .Custom("missing", boards, BoardMask(&s.missing))
      .Custom("zeros", boards, BoardMask(&s.zeros))
      .Custom("thsd", boards, BoardMask(&s.thsd))
      .Custom("open", "BOARD.CELL items joined by '+' (board 0 .. 15, cell 1 .. 12, e.g. 0.3+2.12)",
              OpenWires(&s.openWires))
      .Probability("pec-errors", &s.pecErrors)
      .Whole("rev", &s.rev, "a revision code", 0, 7);
  if (!parser.Parse(text, error)) return std::nullopt;
  return s;
}

std::string DescribeSimSettings(const SimSettings& settings) {
  return "simulated stack of " + std::to_string(settings.boards) +
         (settings.boards == 1 ? " board" : " boards");
}

}  // namespace eb
