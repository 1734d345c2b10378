// Command line of the program: one table of option rows (OptionRows), from
// which the parser takes every option and the --help text (and so the manual
// page) takes its synopsis and option list. Every option with a value also
// takes the "--option=value" form. An option is added as one row.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace eb::app {

struct Options {
  std::string bridge = "ftdi";  // connection string
  std::string trace;            // empty: no trace
  std::string script;           // empty: open the window
  std::string screenshot;       // empty: run interactively
  std::string datalogDir;       // empty: beside the program (or a fallback)
  std::string record;           // empty: no recording from the start
  std::string mqtt;             // empty: no publishing to a broker
  std::string mqttAuth;         // empty: credentials from the environment
  std::string loadSetup;        // empty: the window's own start-up state
  std::string junit;            // empty: no JUnit report of the script's checks
  // --export REC.db [--from T] [--to T] [--boards LIST] --csv OUT | --xlsx OUT
  std::string exportFrom, from, to, boards, csv, xlsx;
  std::string trend;        // --trend REC.db: the trend window of a recording
  std::string listen;       // empty: no control socket
  std::string listenToken;  // empty: no token asked for
  bool help = false;
  bool version = false;
  bool demo = false;          // a configured four-board simulated stack, reading
  bool probe = false;         // list the FTDI devices, identify on each, exit
  bool bridgeChosen = false;  // --bridge or --simulate was given

  bool operator==(const Options&) const = default;
};

// Where an option stands in the synopsis at the top of --help.
enum class Synopsis {
  kOption,      // "[--name VALUE]" on the usage line of a run
  kOrPrevious,  // "| --name VALUE" inside the previous row's brackets
  kAlone,       // a usage line of its own: the option runs alone
  kNone,        // not in the synopsis (--help, aliases)
};

struct OptionRow {
  std::string_view name;  // "--trace"
  // The value's placeholder: "FILE" for a value that must be given (as the
  // next argument or after "="), "[=SETTINGS]" for one that may follow "=",
  // "" for an option that takes none.
  std::string_view value;
  // The option's lines in --help, split by '\n'; "" leaves the row out of
  // the list (an alias).
  std::string_view help;
  // Takes the option: `value` is its value ("" when none was given), stored
  // in *options. False with *error set (one line) when it is refused. An
  // option whose row names a `once` field needs no handler beyond a check.
  bool (*handle)(std::string_view name, const std::string& value, Options* options,
                 std::string* error);
  // A value stored as it is, given at most once; nullptr for none.
  std::string Options::*once = nullptr;
  Synopsis synopsis = Synopsis::kOption;
};

// Every option, in the order of --help.
std::span<const OptionRow> OptionRows();

// Parses the arguments after the program name. Returns false with *error
// set (one line, no program name) when they are not understood.
bool ParseCommandLine(const std::vector<std::string>& args, Options* options, std::string* error);

// The image format a screenshot's file name asks for, by its extension in
// any case: "PNG" (also for a name without one), "JPEG", "BMP" or "PPM";
// nullptr for any other extension.
const char* ScreenshotFormat(const std::string& path);
// What ScreenshotFormat takes, for the message that refuses a name.
std::string ScreenshotFormats();

// The --help text: synopsis and option list from OptionRows, then the
// connection strings of the transport table and the script commands.
std::string UsageText();

// The --version line: "eb2250-gui 25.0" and the git commit it was built from.
std::string VersionText();

// Where the trend window's screenshot goes: the screenshot's file name with
// "-trend" before its extension ("/tmp/x.png" gives "/tmp/x-trend.png").
std::string TrendScreenshotPath(const std::string& screenshot);

}  // namespace eb::app
