// Setups: the window's setup as an INI text, the reading and checking of
// such a text, and its application through the window's controls.
#include "window/setup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "link/printable.h"
#include "link/settings_parser.h"
#include "protocol/hex.h"
#include "protocol/registers.h"
#include "sheet/replacing_file.h"
#include "window/form1.h"

namespace eb {
namespace {

// A setup is a few hundred lines at most; anything far larger is no setup.
constexpr std::size_t kMaxSetupBytes = 64 * 1024;

int ByteOf(const std::string& text) { return HexTextValue(text).value_or(0); }

// ------------------------------------------------------------- values
std::string YesNo(bool b) { return b ? "yes" : "no"; }

// Takes one of two words; "" or what the key accepts.
std::string TakeChoice(std::string_view value, const char* yes, const char* no, bool* target) {
  if (value == yes || value == no) {
    *target = value == yes;
    return "";
  }
  return std::string("expected ") + yes + " or " + no;
}

std::string TakeWhole(std::string_view value, int lo, int hi, int* target) {
  std::uint64_t v = 0;
  if (!ParseWholeNumber(value, static_cast<std::uint64_t>(lo), static_cast<std::uint64_t>(hi),
                        &v)) {
    return "expected a whole number " + std::to_string(lo) + " … " + std::to_string(hi);
  }
  *target = static_cast<int>(v);
  return "";
}

std::string ShowVolts(int count) { return Fixed3(count * kVoltsPerThresholdCount); }

// A threshold in volts: 0.000 … 6.120, a whole number of 0.024 V steps.
std::string TakeVolts(std::string_view value, int* count) {
  double v = 0;
  if (!ParseRealNumber(value, 0.0, 255 * kVoltsPerThresholdCount, &v))
    return "expected volts 0.000 … 6.120";
  const long steps = std::lround(v / kVoltsPerThresholdCount);
  if (std::fabs(static_cast<double>(steps) * kVoltsPerThresholdCount - v) > 1e-6) {
    const long below = static_cast<long>(std::floor(v / kVoltsPerThresholdCount));
    return Excerpt(value) + " V is no whole number of 0.024 V steps (" +
           ShowVolts(static_cast<int>(below)) + " or " + ShowVolts(static_cast<int>(below + 1)) +
           ")";
  }
  *count = static_cast<int>(steps);
  return "";
}

// Cells as "none" or "3, 9, 12".
std::string ShowCells(unsigned bits) {
  std::string text;
  for (int c = 1; c <= 12; ++c) {
    if ((bits >> (c - 1) & 1U) == 0) continue;
    text += (text.empty() ? "" : ", ") + std::to_string(c);
  }
  return text.empty() ? "none" : text;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string TakeCells(std::string_view value, unsigned* bits) {
  const char* accepts = "expected none or cell numbers 1 … 12 separated by commas";
  if (value == "none") {
    *bits = 0;
    return "";
  }
  unsigned out = 0;
  while (true) {
    const std::size_t comma = value.find(',');
    int cell = 0;
    if (!TakeWhole(Trim(value.substr(0, comma)), 1, 12, &cell).empty()) return accepts;
    const unsigned bit = 1U << (cell - 1);
    if ((out & bit) != 0) return "cell " + std::to_string(cell) + " is named twice";
    out |= bit;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  *bits = out;
  return "";
}

// ------------------------------------------------------------- the keys
// One table per section gives each key's name, its text and its reading,
// so that what is written and what is read cannot drift apart.
struct SetupKey {
  const char* name;
  std::string (*show)(const Setup&);
  std::string (*take)(std::string_view, Setup&);
};

struct BoardKey {
  const char* name;
  std::string (*show)(const BoardSetup&);
  std::string (*take)(std::string_view, BoardSetup&);
};

// "version" comes first and is read before everything else (see ParseSetup).
const SetupKey kSetupKeys[] = {
    {"version", [](const Setup&) { return std::to_string(kSetupVersion); },
     [](std::string_view, Setup&) { return std::string(); }},
    {"boards", [](const Setup& s) { return std::to_string(s.boards); },
     [](std::string_view v, Setup& s) { return TakeWhole(v, 1, 10, &s.boards); }},
    {"selected", [](const Setup& s) { return std::to_string(s.selected + 1); },
     [](std::string_view v, Setup& s) {
       std::string why = TakeWhole(v, 1, 10, &s.selected);
       --s.selected;
       return why;
     }},
    {"scope", [](const Setup& s) { return std::string(s.global ? "global" : "per-board"); },
     [](std::string_view v, Setup& s) { return TakeChoice(v, "global", "per-board", &s.global); }},
    {"broadcast-poll-adc", [](const Setup& s) { return YesNo(s.broadcastPollAdc); },
     [](std::string_view v, Setup& s) { return TakeChoice(v, "yes", "no", &s.broadcastPollAdc); }},
    {"broadcast-poll-int", [](const Setup& s) { return YesNo(s.broadcastPollInt); },
     [](std::string_view v, Setup& s) { return TakeChoice(v, "yes", "no", &s.broadcastPollInt); }},
    {"broadcast-cell-starts", [](const Setup& s) { return YesNo(s.broadcastCellStarts); },
     [](std::string_view v, Setup& s) {
       return TakeChoice(v, "yes", "no", &s.broadcastCellStarts);
     }},
    {"broadcast-temp-start", [](const Setup& s) { return YesNo(s.broadcastTempStart); },
     [](std::string_view v, Setup& s) {
       return TakeChoice(v, "yes", "no", &s.broadcastTempStart);
     }},
};

const BoardKey kBoardKeys[] = {
    {"address", [](const BoardSetup& b) { return ByteHex(0x80 + b.address); },
     [](std::string_view v, BoardSetup& b) {
       const int digit = v.size() == 2 && v[0] == '8' ? HexDigitValue(v[1]) : -1;
       if (digit < 0) return std::string("expected 80 … 8F");
       b.address = digit;
       return std::string();
     }},
    {"watchdog", [](const BoardSetup& b) { return std::string(b.watchdog ? "on" : "off"); },
     [](std::string_view v, BoardSetup& b) { return TakeChoice(v, "on", "off", &b.watchdog); }},
    {"gpio1", [](const BoardSetup& b) { return std::string(b.gpio1HiZ ? "hi-z" : "low"); },
     [](std::string_view v, BoardSetup& b) { return TakeChoice(v, "hi-z", "low", &b.gpio1HiZ); }},
    {"gpio2", [](const BoardSetup& b) { return std::string(b.gpio2HiZ ? "hi-z" : "low"); },
     [](std::string_view v, BoardSetup& b) { return TakeChoice(v, "hi-z", "low", &b.gpio2HiZ); }},
    {"polling",
     [](const BoardSetup& b) { return std::string(b.levelPolling ? "level" : "toggle"); },
     [](std::string_view v, BoardSetup& b) {
       return TakeChoice(v, "level", "toggle", &b.levelPolling);
     }},
    {"cells", [](const BoardSetup& b) { return std::string(b.tenCells ? "10" : "12"); },
     [](std::string_view v, BoardSetup& b) { return TakeChoice(v, "10", "12", &b.tenCells); }},
    {"duty-cycle", [](const BoardSetup& b) { return std::to_string(b.dutyCycle); },
     [](std::string_view v, BoardSetup& b) { return TakeWhole(v, 0, 7, &b.dutyCycle); }},
    {"under-voltage", [](const BoardSetup& b) { return ShowVolts(b.underVoltage); },
     [](std::string_view v, BoardSetup& b) { return TakeVolts(v, &b.underVoltage); }},
    {"over-voltage", [](const BoardSetup& b) { return ShowVolts(b.overVoltage); },
     [](std::string_view v, BoardSetup& b) { return TakeVolts(v, &b.overVoltage); }},
    {"discharge", [](const BoardSetup& b) { return ShowCells(b.discharge); },
     [](std::string_view v, BoardSetup& b) { return TakeCells(v, &b.discharge); }},
    {"mask", [](const BoardSetup& b) { return ShowCells(b.mask); },
     [](std::string_view v, BoardSetup& b) { return TakeCells(v, &b.mask); }},
};

constexpr std::size_t kSetupKeyCount = std::size(kSetupKeys);
constexpr std::size_t kBoardKeyCount = std::size(kBoardKeys);

template <typename Key, std::size_t N>
std::size_t IndexOf(const Key (&keys)[N], std::string_view name) {
  std::size_t k = 0;
  while (k < N && name != keys[k].name) ++k;
  return k;
}

template <typename Key, std::size_t N>
std::string KnownKeys(const Key (&keys)[N]) {
  std::string text;
  for (const Key& k : keys) text += (text.empty() ? "" : ", ") + std::string(k.name);
  return text;
}

// ------------------------------------------------------------- lines
struct Line {
  int number = 0;
  int section = -2;  // -2 none yet, -1 [setup], 0 … 9 [board N]
  bool header = false;
  std::string_view key, value;
  std::string malformed;  // why the line is no header, key or comment
};

// "[setup]" → -1, "[board N]" → N - 1; false for any other header.
bool SectionOf(std::string_view name, int* section) {
  if (name == "setup") {
    *section = -1;
    return true;
  }
  if (name.substr(0, 6) != "board ") return false;
  int n = 0;
  if (!TakeWhole(Trim(name.substr(6)), 1, 10, &n).empty()) return false;
  *section = n - 1;
  return true;
}

// What one line s (trimmed, no comment) says: a section header (which
// sets *section) or a key and value, or what is malformed in it.
void ReadLine(std::string_view s, int* section, Line* line) {
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c < 0x20 && ch != '\t') || c >= 0x7F) line->malformed = "unprintable byte in the line";
  }
  if (line->malformed.empty() && s.front() == '[') {
    if (s.back() != ']' || !SectionOf(Trim(s.substr(1, s.size() - 2)), section)) {
      line->malformed =
          "unknown section " + Excerpt(s) + " (known: [setup], [board 1] … [board 10])";
    }
    line->header = true;
  } else if (line->malformed.empty()) {
    const std::size_t eq = s.find('=');
    if (eq == std::string_view::npos) {
      line->malformed = "expected KEY = VALUE, a [section] or a # comment: " + Excerpt(s);
    } else {
      line->key = Trim(s.substr(0, eq));
      line->value = Trim(s.substr(eq + 1));
      if (*section == -2) line->malformed = "key before the first section (start with [setup])";
    }
  }
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int number = 0, section = -2;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Line line;
    line.number = ++number;
    const std::string_view s = Trim(raw);
    if (s.empty() || s[0] == '#' || s[0] == ';') continue;
    ReadLine(s, &section, &line);
    line.section = section;
    lines.push_back(line);
  }
  return lines;
}

struct Refusal {
  int line;
  std::string why;
};

// Where each section header and key was given: the line of [setup] (0)
// and [board N] (N), and of every key in them; 0 for none.
struct Given {
  std::array<int, 11> headerLine{};
  std::array<std::array<int, 16>, 11> keyLine{};
};

// A newer program's file is refused as such before anything else is
// looked at: its other keys and sections may well be unknown here.
void CheckVersion(const std::vector<Line>& lines) {
  for (const Line& l : lines) {
    if (l.section != -1 || l.header || !l.malformed.empty() || l.key != "version") continue;
    int version = 0;
    if (!TakeWhole(l.value, 1, 1000000, &version).empty())
      throw Refusal{l.number, "version: expected a whole number 1 or more"};
    if (version > kSetupVersion) {
      throw Refusal{l.number, "setup version " + std::to_string(version) +
                                  " is newer than this program reads (" +
                                  std::to_string(kSetupVersion) + "); use a newer program"};
    }
  }
}

// Every line in turn: its section or key taken into s, in file order.
void TakeLines(const std::vector<Line>& lines, Setup& s, Given& given) {
  auto& headerLine = given.headerLine;
  auto& keyLine = given.keyLine;
  for (const Line& l : lines) {
    if (!l.malformed.empty()) throw Refusal{l.number, l.malformed};
    const auto slot = static_cast<std::size_t>(l.section + 1);
    if (l.header) {
      if (headerLine[slot] != 0) {
        throw Refusal{l.number, "section given twice (first at line " +
                                    std::to_string(headerLine[slot]) + ")"};
      }
      headerLine[slot] = l.number;
      continue;
    }
    std::size_t k = 0;
    std::string why;
    if (l.section == -1) {
      k = IndexOf(kSetupKeys, l.key);
      if (k == kSetupKeyCount) {
        throw Refusal{l.number, "unknown key " + Excerpt(l.key) +
                                    " in [setup] (known: " + KnownKeys(kSetupKeys) + ")"};
      }
      why = kSetupKeys[k].take(l.value, s);
    } else {
      k = IndexOf(kBoardKeys, l.key);
      if (k == kBoardKeyCount) {
        throw Refusal{l.number, "unknown key " + Excerpt(l.key) + " in [board " +
                                    std::to_string(l.section + 1) +
                                    "] (known: " + KnownKeys(kBoardKeys) + ")"};
      }
      why = kBoardKeys[k].take(l.value, s.board[static_cast<std::size_t>(l.section)]);
    }
    if (keyLine[slot][k] != 0) {
      throw Refusal{l.number, std::string(l.key) + " given twice (first at line " +
                                  std::to_string(keyLine[slot][k]) + ")"};
    }
    keyLine[slot][k] = l.number;
    if (!why.empty()) throw Refusal{l.number, std::string(l.key) + ": " + why};
  }
}

// The whole: every section there, with every key, and nothing beyond the stack.
void CheckWhole(const Setup& s, const Given& given) {
  const auto& headerLine = given.headerLine;
  const auto& keyLine = given.keyLine;
  if (headerLine[0] == 0) throw Refusal{0, "no [setup] section"};
  for (std::size_t k = 0; k < kSetupKeyCount; ++k) {
    if (keyLine[0][k] == 0)
      throw Refusal{headerLine[0], std::string("[setup] has no key ") + kSetupKeys[k].name};
  }
  const int boardsLine = keyLine[0][IndexOf(kSetupKeys, "boards")];
  if (s.selected >= s.boards) {
    throw Refusal{keyLine[0][IndexOf(kSetupKeys, "selected")],
                  "selected: board " + std::to_string(s.selected + 1) + " is not in the stack of " +
                      std::to_string(s.boards)};
  }
  for (int b = 1; b <= 10; ++b) {
    const auto slot = static_cast<std::size_t>(b);
    if (b > s.boards) {
      if (headerLine[slot] != 0) {
        throw Refusal{headerLine[slot],
                      "[board " + std::to_string(b) +
                          "] is beyond the stack (boards = " + std::to_string(s.boards) + ")"};
      }
      continue;
    }
    if (headerLine[slot] == 0) {
      throw Refusal{boardsLine, "no [board " + std::to_string(b) +
                                    "] section (boards = " + std::to_string(s.boards) + ")"};
    }
    for (std::size_t k = 0; k < kBoardKeyCount; ++k) {
      if (keyLine[slot][k] == 0) {
        throw Refusal{headerLine[slot],
                      "[board " + std::to_string(b) + "] has no key " + kBoardKeys[k].name};
      }
    }
    const BoardSetup& d = s.board[slot - 1];
    if (d.underVoltage >= d.overVoltage && (d.underVoltage != 0 || d.overVoltage != 0)) {
      throw Refusal{keyLine[slot][IndexOf(kBoardKeys, "under-voltage")],
                    "under-voltage: " + ShowVolts(d.underVoltage) + " is not below over-voltage " +
                        ShowVolts(d.overVoltage) +
                        " (\"VUV must be less than VOV\"; both 0.000 leave them unset)"};
    }
    // WRITE CONFIG of a global configuration writes the selected board's to
    // every board: such a stack has one configuration.
    for (std::size_t k = 1; s.global && k < kBoardKeyCount; ++k) {
      if (kBoardKeys[k].show(d) != kBoardKeys[k].show(s.board[0])) {
        throw Refusal{keyLine[slot][k], std::string(kBoardKeys[k].name) +
                                            ": with scope = global every board has the "
                                            "configuration of board 1 (" +
                                            kBoardKeys[k].show(s.board[0]) + ")"};
      }
    }
  }
}

// The checks of a whole text, in file order; throws the first refusal.
Setup ReadLines(const std::vector<Line>& lines) {
  CheckVersion(lines);
  Setup s;
  Given given;
  TakeLines(lines, s, given);
  CheckWhole(s, given);
  return s;
}

// ------------------------------------------------------------- applying
// An operator's action on a control: the focus moves to it (so a threshold
// being typed is taken as leaving the box takes it), then it is clicked or
// set. A control the operator could not reach stops the setup.
class Operator {
 public:
  explicit Operator(Form1& f) : f_(f) {}
  void Click(Control& c) {
    if (Reach(c)) c.click();
  }
  void Set(Control& c, int value) {
    if (c.value() != value && Reach(c)) c.setValue(value);
  }
  void Pick(Control& combo, int index) {
    if (combo.listIndex() != index && Reach(combo)) combo.setListIndex(index);
  }
  // Focus the box, then each key through its key handler; Enter ("\r")
  // moves the focus on, which stores the value.
  void Type(Control& box, const std::string& keys) {
    if (!Reach(box)) return;
    box.caret = static_cast<int>(box.text.size());
    for (char key : keys) {
      if (Failed() || f_.ui.focused() != &box) break;
      f_.ui.typeKey(box, static_cast<unsigned char>(key));
    }
  }
  bool Failed() const { return !problem_.empty() || f_.Unloaded; }
  const std::string& Problem() const { return problem_; }

 private:
  bool Reach(Control& c) {
    if (Failed()) return false;
    if (!c.effectivelyVisible() || !c.effectivelyEnabled()) {
      problem_ = c.Label() + " is " + (c.effectivelyVisible() ? "disabled" : "hidden");
      return false;
    }
    if (c.canFocus()) f_.ui.setFocus(c);
    return !f_.Unloaded;
  }
  Form1& f_;
  std::string problem_;
};

// The box of cell c's (1 … 12) discharge bit and of its mask bit.
Control& DischargeBox(Form1& f, int c) { return c <= 8 ? f.Check1[c - 1] : f.Check2[c - 9]; }
Control& MaskBox(Form1& f, int c) { return c <= 4 ? f.Check2[c + 3] : f.Check3[c - 5]; }

// The duty-cycle up arrow until the selected board has `duty`.
void StepDutyCycle(Form1& f, Operator& op, int duty) {
  for (int i = 0; i < 8 && f.CDCreg[static_cast<std::size_t>(f.BRDnumber)] != duty; ++i)
    op.Click(f.Command0[1]);
}

// Types both thresholds of the selected board (of every board when global)
// in an order the window accepts: it refuses, at every entry, an
// under-voltage at or above the over-voltage threshold.
void TypeThresholds(Form1& f, Operator& op, const BoardSetup& d) {
  const auto b = static_cast<std::size_t>(f.BRDnumber);
  if (f.VUVreg[b] == d.underVoltage && f.VOVreg[b] == d.overVoltage) return;
  auto under = [&] { op.Type(f.Text2[0], ShowVolts(d.underVoltage) + "\r"); };
  auto over = [&] { op.Type(f.Text2[1], ShowVolts(d.overVoltage) + "\r"); };
  if (d.underVoltage < f.VOVreg[b]) {
    under();
    over();
  } else {
    over();
    under();
  }
}

}  // namespace

Setup CurrentSetup(const Form1& f) {
  Setup s;
  s.boards = f.CARDSTACK + 1;
  s.selected = f.BRDnumber;
  s.global = f.GLOBALCFGRflag == 1;
  const auto sel = static_cast<std::size_t>(f.BRDnumber);
  s.broadcastPollAdc = f.BCASTflag_PLADC[sel] == 1;
  s.broadcastPollInt = f.BCASTflag_PLINT[sel] == 1;
  s.broadcastCellStarts = f.BCASTflag_STCVAD[sel] == 1;
  s.broadcastTempStart = f.BCASTflag_STTMPAD[sel] == 1;
  for (int i = 0; i <= f.CARDSTACK; ++i) {
    const auto b = static_cast<std::size_t>(i);
    BoardSetup& d = s.board[b];
    const std::string& address = f.BRDaddress[b];
    d.address = address.size() == 2 ? std::max(HexDigitValue(address[1]), 0) : 0;
    const int c0 = ByteOf(f.CFGR0[b]), c2 = ByteOf(f.CFGR2[b]);
    d.watchdog = (c0 >> 7 & 1) != 0;
    d.gpio2HiZ = (c0 >> 6 & 1) != 0;
    d.gpio1HiZ = (c0 >> 5 & 1) != 0;
    d.levelPolling = (c0 >> 4 & 1) != 0;
    d.tenCells = (c0 >> 3 & 1) != 0;
    d.dutyCycle = f.CDCreg[b] & 7;
    d.underVoltage = f.VUVreg[b];
    d.overVoltage = f.VOVreg[b];
    d.discharge = static_cast<unsigned>(ByteOf(f.CFGR1[b]) | (c2 & 0xF) << 8);
    d.mask = static_cast<unsigned>(c2 >> 4 | ByteOf(f.CFGR3[b]) << 4);
  }
  // A global configuration is the selected board's, for every board: WRITE
  // CONFIG copies it to the stack before it writes.
  for (int i = 0; s.global && i <= f.CARDSTACK; ++i) {
    const int address = s.board[static_cast<std::size_t>(i)].address;
    s.board[static_cast<std::size_t>(i)] = s.board[sel];
    s.board[static_cast<std::size_t>(i)].address = address;
  }
  return s;
}

std::string FormatSetup(const Setup& s) {
  std::string text =
      "# eb2250-gui setup: the board stack and the configuration each board is to get.\n"
      "# Loading it sets the window's controls as the operator would; nothing is\n"
      "# written to the chips until WRITE CONFIG is pressed.\n"
      "[setup]\n";
  for (const SetupKey& k : kSetupKeys) text += std::string(k.name) + " = " + k.show(s) + "\n";
  for (int b = 0; b < s.boards; ++b) {
    text += "\n[board " + std::to_string(b + 1) + "]\n";
    for (const BoardKey& k : kBoardKeys)
      text += std::string(k.name) + " = " + k.show(s.board[static_cast<std::size_t>(b)]) + "\n";
  }
  return text;
}

std::string SetupText(const Form1& form) { return FormatSetup(CurrentSetup(form)); }

std::optional<Setup> ParseSetup(std::string_view text, const std::string& name,
                                std::string* error) {
  try {
    return ReadLines(SplitLines(text));
  } catch (const Refusal& r) {
    if (error) *error = name + (r.line > 0 ? ":" + std::to_string(r.line) : "") + ": " + r.why;
    return std::nullopt;
  }
}

// Thresholds of 0.000 V / 0.000 V (a board's start-up state) cannot be
// typed once an over-voltage threshold is set: why s cannot be applied for
// that, or "".
std::string ZeroThresholdsRefused(const Form1& f, const Setup& s) {
  for (int b = 0; b < s.boards; ++b) {
    const BoardSetup& d = s.board[static_cast<std::size_t>(b)];
    const auto now = static_cast<std::size_t>(s.global ? f.BRDnumber : b);
    if (d.underVoltage == 0 && d.overVoltage == 0 && f.VOVreg[now] != 0) {
      return "board " + std::to_string(b + 1) +
             ": thresholds of 0.000 V cannot be entered once an over-voltage threshold is set "
             "(\"VUV must be less than VOV\"); load this setup on a window started afresh";
    }
  }
  return "";
}

// One board's configuration boxes and thresholds, on the board shown.
void ConfigureBoard(Form1& f, Operator& op, const BoardSetup& d) {
  op.Set(f.Check0[3], 0);
  for (int c = 1; c <= 12; ++c) {
    op.Set(DischargeBox(f, c), static_cast<int>(d.discharge >> (c - 1) & 1U));
    op.Set(MaskBox(f, c), static_cast<int>(d.mask >> (c - 1) & 1U));
  }
  op.Set(f.Check0[7], d.watchdog ? 1 : 0);
  op.Set(f.Check0[6], d.gpio2HiZ ? 1 : 0);
  op.Set(f.Check0[5], d.gpio1HiZ ? 1 : 0);
  op.Set(f.Check0[4], d.levelPolling ? 1 : 0);
  op.Set(f.Check0[3], d.tenCells ? 1 : 0);
  TypeThresholds(f, op, d);
}

// Where the setup the window took (got) differs from the one asked for
// (want): the first line that does, or "" when none does.
std::string Difference(const std::string& want, const std::string& got) {
  if (want != got) {
    std::istringstream a(want), b(got);
    std::string la, lb;
    while (std::getline(a, la) && std::getline(b, lb) && la == lb) {
    }
    return "the window took \"" + lb + "\" for \"" + la + "\"";
  }
  return "";
}

// The order matters because of what the controls do to one another: the
// scope first, the board count, then every address (an address change
// re-runs the board count's cascade, and with a global scope that copies
// the selected board's configuration to every board). A per-board setup
// then sets each board in turn; a global one sets the selected board and
// steps the duty cycle last, whose arrows copy its configuration to every
// board (one step down and up again when it already matches). Discharge
// and mask boxes are set while the board shows twelve cells (cells 11 and
// 12 have no boxes in 10-cell mode). Last the broadcast boxes, whose
// choices a board takes when it is selected.
std::string ApplySetup(Form1& f, const Setup& s) {
  if (f.Unloaded) return "the window has closed";
  if (f.OnOff == 1)
    return "the stack is being read continuously; stop the reading, then load the setup";
  // Thresholds of 0.000 V / 0.000 V (a board's start-up state) cannot be
  // typed once an over-voltage threshold is set. Where each board's
  // thresholds stand when they are typed is known before anything
  // changes: a global scope gives every board those of the selected one,
  // a per-board scope leaves each board its own.
  if (std::string why = ZeroThresholdsRefused(f, s); !why.empty()) return why;
  Operator op(f);
  op.Set(f.Option3[s.global ? 1 : 0], 1);
  op.Pick(f.Combo1, s.boards - 1);
  for (int b = 0; b < s.boards && !op.Failed(); ++b) {
    op.Click(f.Command4[b]);
    op.Pick(f.Combo2, s.board[static_cast<std::size_t>(b)].address);
  }
  const BoardSetup& chosen = s.board[static_cast<std::size_t>(s.selected)];
  if (s.global) {
    op.Click(f.Command4[s.selected]);
    ConfigureBoard(f, op, chosen);
    if (f.CDCreg[static_cast<std::size_t>(s.selected)] == chosen.dutyCycle) op.Click(f.Command0[0]);
    StepDutyCycle(f, op, chosen.dutyCycle);
  } else {
    for (int b = 0; b < s.boards && !op.Failed(); ++b) {
      const BoardSetup& d = s.board[static_cast<std::size_t>(b)];
      op.Click(f.Command4[b]);
      ConfigureBoard(f, op, d);
      StepDutyCycle(f, op, d.dutyCycle);
    }
    op.Click(f.Command4[s.selected]);
  }
  op.Set(f.Check5[0], s.broadcastPollAdc ? 1 : 0);
  op.Set(f.Check5[1], s.broadcastPollInt ? 1 : 0);
  op.Set(f.Check5[2], s.broadcastCellStarts ? 1 : 0);
  op.Set(f.Check5[4], s.broadcastTempStart ? 1 : 0);
  if (f.Unloaded) return "the window closed while the setup was applied";
  if (op.Failed()) return "the setup stopped half way: " + op.Problem();
  // What the controls made of it is what was asked for, or this says
  // where it differs rather than leaving a silently different setup.
  return Difference(FormatSetup(s), SetupText(f));
}

std::string SaveSetupFile(const Form1& form, const std::string& path) {
  const std::string text = SetupText(form);
  datalog::ReplacingFile file(path);
  if (!file.error().empty()) return file.error();
  std::FILE* out = std::fopen(file.temporary().c_str(), "wb");
  if (out == nullptr) return "cannot write \"" + path + "\": " + std::strerror(errno);
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const int writeError = errno;
  if (std::fclose(out) != 0 || !written) {
    return "cannot write \"" + path + "\": " + std::strerror(written ? errno : writeError);
  }
  return file.Commit();
}

std::string LoadSetupFile(Form1& form, const std::string& path) {
  // Only a regular file is opened: a FIFO or a device could hang the window.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return "cannot read the setup \"" + path + "\": " + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "cannot read the setup \"" + path + "\": not a regular file";
  if (static_cast<std::size_t>(st.st_size) > kMaxSetupBytes) {
    return "\"" + path + "\" is no setup: " + std::to_string(st.st_size) + " bytes (at most " +
           std::to_string(kMaxSetupBytes) + ")";
  }
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || !in.is_open())
    return "cannot read the setup \"" + path + "\": " + std::strerror(errno);
  std::string error;
  const std::optional<Setup> setup = ParseSetup(text, path, &error);
  if (!setup) return error;
  return ApplySetup(form, *setup);
}

}  // namespace eb
