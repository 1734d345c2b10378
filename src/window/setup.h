// Setups: the board stack and what each board is to be configured with, as
// a readable INI file the operator saves and loads (README, "Setup files").
//
// A setup holds the board count and addresses, the selected board, the
// scope (one configuration for the whole stack, written with a broadcast
// WRITE CONFIG, or one per board, written addressed), the broadcast choices
// of the start and poll commands, and per board the configuration to be
// written: CFGR0's switches, the duty cycle, the two thresholds and the
// discharge and mask bits.
//
// Loading reads and checks the whole file before anything changes: a file
// of a newer version, an unknown section or key, a value out of range or a
// malformed line is refused with the file's line and the reason. A valid
// setup is then applied through the controls, as an operator's clicks and
// entries would apply it, so every cascade of those controls runs; it
// writes nothing to the chips (WRITE CONFIG does that).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace eb {

class Form1;

// The setup file version this program writes and the newest it reads.
constexpr int kSetupVersion = 1;

struct BoardSetup {
  int address = 0;  // low hex digit of the address: the board answers at 0x80 + address
  bool watchdog = true;
  bool gpio1HiZ = true;
  bool gpio2HiZ = true;
  bool levelPolling = false;
  bool tenCells = false;
  int dutyCycle = 0;     // 0 … 7
  int underVoltage = 0;  // threshold counts 0 … 255, 0.024 V each
  int overVoltage = 0;
  unsigned discharge = 0;  // bit c - 1 set: cell c (1 … 12) discharges
  unsigned mask = 0;       // bit c - 1 set: cell c's interrupt is masked
};

struct Setup {
  int boards = 1;    // 1 … 10
  int selected = 0;  // 0 … boards - 1
  bool global = true;
  bool broadcastPollAdc = false;
  bool broadcastPollInt = false;
  // STARTCELLVOLT, START OPENWIRE and the two hold-discharge starts: the
  // window ticks and clears their four boxes together.
  bool broadcastCellStarts = false;
  bool broadcastTempStart = false;
  std::array<BoardSetup, 10> board{};
};

// The window's current setup.
Setup CurrentSetup(const Form1& form);
// The file text of a setup; SetupText(form) is that of the window's.
std::string FormatSetup(const Setup& setup);
std::string SetupText(const Form1& form);

// Reads a whole setup text. `name` names the file in messages. On refusal
// returns nothing with *error "NAME:LINE: reason".
std::optional<Setup> ParseSetup(std::string_view text, const std::string& name, std::string* error);

// Applies a setup through the window's controls. Refused, with the reason,
// while the stack is read continuously (the controls it needs are locked
// then). Returns "" when the window took it.
std::string ApplySetup(Form1& form, const Setup& setup);

// The files: "" on success, else one line saying why (nothing written,
// nothing changed).
std::string SaveSetupFile(const Form1& form, const std::string& path);
std::string LoadSetupFile(Form1& form, const std::string& path);

}  // namespace eb
