// Command line of the program:
//   eb2250-gui [--bridge STRING | --simulate[=SETTINGS]] [--trace FILE]
//              [--script FILE] [--screenshot FILE] [--datalog-dir DIR] [--help]
//   eb2250-gui --probe
// Every option with a value also takes the "--option=value" form.
#pragma once

#include <string>
#include <vector>

namespace eb::app {

struct Options {
  std::string bridge = "ftdi";  // connection string
  std::string trace;            // empty: no trace
  std::string script;           // empty: open the window
  std::string screenshot;       // empty: run interactively
  std::string datalogDir;       // empty: beside the program (or a fallback)
  bool help = false;
  bool version = false;
  bool demo = false;   // a configured four-board simulated stack, reading
  bool probe = false;  // list the FTDI devices, identify on each, exit
};

// Parses the arguments after the program name. Returns false with *error
// set (one line, no program name) when they are not understood.
bool ParseCommandLine(const std::vector<std::string>& args, Options* options, std::string* error);

// The image format a screenshot's file name asks for, by its extension in
// any case: "PNG" (also for a name without one), "JPEG", "BMP" or "PPM";
// nullptr for any other extension.
const char* ScreenshotFormat(const std::string& path);
// What ScreenshotFormat takes, for the message that refuses a name.
std::string ScreenshotFormats();

// The --help text.
std::string UsageText();

// The --version line: "eb2250-gui 25.0" and the git commit it was built from.
std::string VersionText();

// Where the trend window's screenshot goes: the screenshot's file name with
// "-trend" before its extension ("/tmp/x.png" gives "/tmp/x-trend.png").
std::string TrendScreenshotPath(const std::string& screenshot);

}  // namespace eb::app
