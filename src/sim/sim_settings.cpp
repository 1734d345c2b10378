#include "sim/sim_settings.h"

#include <vector>

#include "sim/sim_text.h"

namespace eb {
namespace {

using simtext::ParseDouble;
using simtext::ParseIntIn;
using simtext::ParseUnsigned;

constexpr const char* kKnownKeys =
    "boards, seed, noise, volts, missing, zeros, thsd, open, pec-errors, rev";

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t pos = text.find(sep, start);
    if (pos == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, pos - start));
    start = pos + 1;
  }
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

// "B[+B...]" -> bit mask of boards 0..15.
bool ParseBoardMask(std::string_view key, std::string_view value, std::uint16_t* mask,
                    std::string* error) {
  std::uint16_t result = 0;
  for (std::string_view item : Split(value, '+')) {
    int board = 0;
    if (!ParseIntIn(item, 0, kSimSlots - 1, &board)) {
      return Fail(error, "simulator setting '" + std::string(key) + "': '" + std::string(item) +
                             "' is not a board number 0 .. 15");
    }
    result = static_cast<std::uint16_t>(result | (1u << board));
  }
  *mask = result;
  return true;
}

// "B.C[+B.C...]" -> per-board masks of cells 1..12.
bool ParseOpenWires(std::string_view value, std::array<std::uint16_t, kSimSlots>* wires,
                    std::string* error) {
  std::array<std::uint16_t, kSimSlots> result{};
  for (std::string_view item : Split(value, '+')) {
    std::size_t dot = item.find('.');
    int board = 0;
    int cell = 0;
    if (dot == std::string_view::npos ||
        !ParseIntIn(item.substr(0, dot), 0, kSimSlots - 1, &board) ||
        !ParseIntIn(item.substr(dot + 1), 1, kSimCells, &cell)) {
      return Fail(error, "simulator setting 'open': '" + std::string(item) +
                             "' is not BOARD.CELL (board 0 .. 15, cell 1 .. 12)");
    }
    result[static_cast<std::size_t>(board)] =
        static_cast<std::uint16_t>(result[static_cast<std::size_t>(board)] | (1u << (cell - 1)));
  }
  *wires = result;
  return true;
}

bool ApplyOne(std::string_view key, std::string_view value, SimSettings* s, std::string* error) {
  auto bad = [&](const char* what) {
    return Fail(error, "simulator setting '" + std::string(key) + "': '" + std::string(value) +
                           "' is not " + what);
  };
  if (key == "boards") {
    if (!ParseIntIn(value, 1, kSimSlots, &s->boards)) return bad("a board count 1 .. 16");
  } else if (key == "seed") {
    if (!ParseUnsigned(value, &s->seed)) return bad("a non-negative integer");
  } else if (key == "noise") {
    if (!ParseDouble(value, &s->noise) || s->noise < 0 || s->noise > 1) {
      return bad("a noise level 0 .. 1 V");
    }
  } else if (key == "volts") {
    if (!ParseDouble(value, &s->volts) || s->volts < 0 || s->volts > 6) {
      return bad("a cell voltage 0 .. 6 V");
    }
  } else if (key == "missing") {
    return ParseBoardMask(key, value, &s->missing, error);
  } else if (key == "zeros") {
    return ParseBoardMask(key, value, &s->zeros, error);
  } else if (key == "thsd") {
    return ParseBoardMask(key, value, &s->thsd, error);
  } else if (key == "open") {
    return ParseOpenWires(value, &s->openWires, error);
  } else if (key == "pec-errors") {
    if (!ParseDouble(value, &s->pecErrors) || s->pecErrors < 0 || s->pecErrors > 1) {
      return bad("a probability 0 .. 1");
    }
  } else if (key == "rev") {
    if (!ParseIntIn(value, 0, 7, &s->rev)) return bad("a revision code 0 .. 7");
  } else {
    return Fail(error,
                "unknown simulator setting '" + std::string(key) + "' (known: " + kKnownKeys + ")");
  }
  return true;
}

}  // namespace

std::optional<SimSettings> ParseSimSettings(std::string_view text, std::string* error) {
  SimSettings settings;
  if (text.empty()) return settings;
  std::vector<std::string_view> seen;
  for (std::string_view item : Split(text, ',')) {
    std::size_t eq = item.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      Fail(error, "simulator setting '" + std::string(item) +
                      "' is not KEY=VALUE (known keys: " + kKnownKeys + ")");
      return std::nullopt;
    }
    std::string_view key = item.substr(0, eq);
    std::string_view value = item.substr(eq + 1);
    for (std::string_view k : seen) {
      if (k == key) {
        Fail(error, "simulator setting '" + std::string(key) + "' is given twice");
        return std::nullopt;
      }
    }
    seen.push_back(key);
    if (!ApplyOne(key, value, &settings, error)) return std::nullopt;
  }
  return settings;
}

std::string DescribeSimSettings(const SimSettings& settings) {
  return "simulated stack of " + std::to_string(settings.boards) +
         (settings.boards == 1 ? " board" : " boards");
}

}  // namespace eb
