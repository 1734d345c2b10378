#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/version.h"
#include "wiring/connection.h"
#include "wiring/demo.h"
#include "wiring/script_runner.h"

namespace eb::app {

namespace {

// Splits "--name=value" into name and value; `hasValue` tells whether "=" was there.
void SplitOption(const std::string& arg, std::string* name, std::string* value, bool* hasValue) {
  auto eq = arg.find('=');
  *hasValue = eq != std::string::npos;
  *name = *hasValue ? arg.substr(0, eq) : arg;
  *value = *hasValue ? arg.substr(eq + 1) : std::string();
}

bool ChooseBridge(const std::string& connection, Options* options, std::string* error) {
  if (options->bridgeChosen) {
    *error = "choose the bridge only once (--bridge or --simulate)";
    return false;
  }
  options->bridgeChosen = true;
  options->bridge = connection;
  return true;
}

bool Bridge(std::string_view, const std::string& value, Options* options, std::string* error) {
  return ChooseBridge(value, options, error);
}

bool Simulate(std::string_view, const std::string& value, Options* options, std::string* error) {
  return ChooseBridge(value.empty() ? "sim" : "sim:" + value, options, error);
}

bool Screenshot(std::string_view, const std::string& value, Options*, std::string* error) {
  if (ScreenshotFormat(value)) return true;
  *error = "--screenshot: cannot write \"" + value + "\" (" + ScreenshotFormats() + ")";
  return false;
}

// A flag: the field it sets.
template <bool Options::*field>
bool Set(std::string_view, const std::string&, Options* options, std::string*) {
  options->*field = true;
  return true;
}

constexpr OptionRow kOptions[] = {
    {"--bridge", "STRING",
     "how the bridge is reached (default \"ftdi\"), one of the\n"
     "connection strings below",
     Bridge},
    {"--simulate", "[=SETTINGS]", "short for --bridge sim[:SETTINGS]", Simulate, nullptr,
     Synopsis::kOrPrevious},
    {"--trace", "FILE", "write every bridge transaction to FILE, one line each", nullptr,
     &Options::trace},
    {"--script", "FILE",
     "run an operator script without opening a window; exit\n"
     "status 0 when every expect held, 1 when one failed,\n"
     "2 for a malformed script, 3 when the window closed",
     nullptr, &Options::script},
    {"--screenshot", "FILE",
     "open the window, run start-up and a few timer ticks,\n"
     "save the window as an image (PNG, or JPEG, BMP, PPM\n"
     "as the file name ends) and exit; message boxes\n"
     "are answered at once and their text goes to stderr;\n"
     "with --script: run the script, then save the window\n"
     "as the script left it; when the script opened the\n"
     "trend window (\"window trend\"), it is saved too, as\n"
     "FILE with \"-trend\" before the extension",
     Screenshot, &Options::screenshot},
    {"--junit", "FILE",
     "with --script: write each expect, expect-msgbox,\n"
     "expect-no-msgbox and wait-for as a test case of a JUnit\n"
     "XML report to FILE when the script ends",
     nullptr, &Options::junit},
    {"--datalog-dir", "DIR",
     "folder for last datalogs and their CSV files (default:\n"
     "beside the program, else the documents folder, else\n"
     "home); it must exist and be writable",
     nullptr, &Options::datalogDir},
    {"--listen", "ADDRESS",
     "serve the running window on a control socket:\n"
     "unix:PATH (or PATH; mode 0600) or tcp:[HOST:]PORT\n"
     "(127.0.0.1 unless HOST says otherwise); each line is a\n"
     "script line, each answer one JSON line",
     nullptr, &Options::listen},
    {"--listen-token", "FILE",
     "with --listen: the first line of every connection must\n"
     "be the token in FILE (mode 0600); required for an\n"
     "address that is no loopback",
     nullptr, &Options::listenToken},
    {"--load-setup", "FILE",
     "set the window up from the setup file FILE after\n"
     "start-up, as File > Load setup does (in the window or\n"
     "with --script, before --record); a file it refuses\n"
     "ends the run with status 2",
     nullptr, &Options::loadSetup},
    {"--record", "FILE",
     "record every sample of the measurement cycle to the\n"
     "SQLite database FILE (appended to when it is a\n"
     "recording), in the window or with --script",
     nullptr, &Options::record},
    {"--mqtt", "URL",
     "publish every sample, the stack's configuration and the\n"
     "program's status to an MQTT broker: mqtt://HOST[:PORT]/\n"
     "PREFIX or mqtts://… (TLS); options ?qos=0|1|2,\n"
     "station=NAME (default the host name), queue=N (the\n"
     "samples held while the broker is away, 100000),\n"
     "cafile=PATH",
     nullptr, &Options::mqtt},
    {"--mqtt-auth", "FILE",
     "with --mqtt: \"user = NAME\" and \"password = SECRET\"\n"
     "lines (mode 0600); default EB2250_MQTT_USER and\n"
     "EB2250_MQTT_PASSWORD from the environment",
     nullptr, &Options::mqttAuth},
    {"--demo", "",
     "a four-board simulated stack, configured as an operator\n"
     "would (one cell discharging, one masked, one under\n"
     "voltage) and reading continuously",
     Set<&Options::demo>},
    {"--probe", "",
     "list the FTDI devices (ids, serial number, description),\n"
     "try the identify on each, print what answered and exit\n"
     "(0 when a ZQM4417-2 answered, else 1)",
     Set<&Options::probe>, nullptr, Synopsis::kAlone},
    {"--export", "REC.db",
     "write the samples of a recording file as CSV (--csv OUT)\n"
     "or a workbook (--xlsx OUT), from --from T to --to T\n"
     "(both included; T is UTC, 2026-12-09T10:00:00[.mmm][Z],\n"
     "or ms since the epoch) of the boards --boards 1,3;\n"
     "no bridge or display; exit 0, or 2 with one line",
     nullptr, &Options::exportFrom, Synopsis::kAlone},
    {"--from", "T", "with --export: the first time exported", nullptr, &Options::from,
     Synopsis::kNone},
    {"--to", "T", "with --export: the last time exported", nullptr, &Options::to, Synopsis::kNone},
    {"--boards", "LIST", "with --export: the boards exported (default every one)", nullptr,
     &Options::boards, Synopsis::kNone},
    {"--csv", "OUT", "with --export: write CSV to OUT", nullptr, &Options::csv, Synopsis::kNone},
    {"--xlsx", "OUT", "with --export: write a workbook to OUT", nullptr, &Options::xlsx,
     Synopsis::kNone},
    {"--trend", "REC.db",
     "open the trend window of a recording file alone, from\n"
     "30 s to the whole recording; with --screenshot FILE:\n"
     "save it, the whole recording in view, and exit",
     nullptr, &Options::trend, Synopsis::kAlone},
    {"--version", "", "print the program's version and exit", Set<&Options::version>},
    {"--help", "", "show this text", Set<&Options::help>, nullptr, Synopsis::kNone},
    {"-h", "", "", Set<&Options::help>, nullptr, Synopsis::kNone},
};

const OptionRow* FindOption(const std::string& name) {
  for (const OptionRow& row : kOptions) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

// "--trace FILE", "--simulate[=SETTINGS]", "--demo".
std::string Spelling(const OptionRow& row) {
  std::string text(row.name);
  if (!row.value.empty()) text += (row.value[0] == '[' ? "" : " ") + std::string(row.value);
  return text;
}

// The cross-checks of options that make no sense together.
bool CheckCombination(Options* out, std::string* error) {
  // --probe runs alone: any option that changes what a run does is refused.
  Options run = *out;
  run.help = run.version = run.probe = false;
  if (out->probe && !(run == Options{})) {
    *error = "--probe runs on its own: it tries every FTDI device and takes no other option";
    return false;
  }
  if (out->demo && out->bridgeChosen) {
    *error = "--demo runs its own simulated stack: leave out --bridge and --simulate";
    return false;
  }
  if (out->demo && !out->script.empty()) {
    *error = "--demo cannot run a script: put the steps in the script instead";
    return false;
  }
  if (!out->junit.empty() && out->script.empty()) {
    *error = "--junit reports a script's checks: give --script too";
    return false;
  }
  const bool exportPart = !out->from.empty() || !out->to.empty() || !out->boards.empty() ||
                          !out->csv.empty() || !out->xlsx.empty();
  if (exportPart && out->exportFrom.empty()) {
    *error = "--from, --to, --boards, --csv and --xlsx go with --export REC.db";
    return false;
  }
  if (!out->listenToken.empty() && out->listen.empty()) {
    *error = "--listen-token is the token of a control socket: give --listen too";
    return false;
  }
  if (!out->listen.empty() && (!out->script.empty() || !out->screenshot.empty())) {
    *error = "--listen serves the running window: not with --script or --screenshot";
    return false;
  }
  if (!out->mqttAuth.empty() && out->mqtt.empty()) {
    *error = "--mqtt-auth holds the credentials of a broker: give --mqtt too";
    return false;
  }
  if (out->demo) out->bridge = kDemoConnection;
  return true;
}

// The synopsis: every run's options wrapped at 80 columns after
// "Usage: eb2250-gui ", then one line per option that runs alone.
std::string SynopsisText() {
  const std::string lead = "Usage: eb2250-gui ";
  std::vector<std::string> items;
  std::string alone;
  for (const OptionRow& row : kOptions) {
    if (row.synopsis == Synopsis::kOption) items.push_back("[" + Spelling(row) + "]");
    if (row.synopsis == Synopsis::kOrPrevious && !items.empty()) {
      items.back().insert(items.back().size() - 1, " | " + Spelling(row));
    }
    if (row.synopsis == Synopsis::kAlone) alone += "       eb2250-gui " + Spelling(row) + "\n";
  }
  std::string text = lead;
  std::size_t column = lead.size();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0 && column + 1 + items[i].size() > 80) {
      text += "\n" + std::string(lead.size(), ' ');
      column = lead.size();
    } else if (i > 0) {
      text += ' ';
      ++column;
    }
    text += items[i];
    column += items[i].size();
  }
  return text + "\n" + alone;
}

// The option list: each spelling, then its help lines in one column.
std::string OptionListText() {
  std::size_t width = 0;
  for (const OptionRow& row : kOptions) width = std::max(width, Spelling(row).size());
  std::string text;
  for (const OptionRow& row : kOptions) {
    if (row.help.empty()) continue;
    std::string lead = "  " + Spelling(row);
    std::string_view help = row.help;
    while (true) {
      const std::size_t end = help.find('\n');
      text += lead + std::string(width + 3 - lead.size(), ' ') + std::string(help.substr(0, end)) +
              "\n";
      if (end == std::string_view::npos) break;
      help.remove_prefix(end + 1);
      lead.clear();
    }
  }
  return text;
}

}  // namespace

std::span<const OptionRow> OptionRows() { return kOptions; }

const char* ScreenshotFormat(const std::string& path) {
  std::string ending = std::filesystem::path(path).extension().string();
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ending.empty() || ending == ".png") return "PNG";
  if (ending == ".jpg" || ending == ".jpeg") return "JPEG";
  if (ending == ".bmp") return "BMP";
  if (ending == ".ppm") return "PPM";
  return nullptr;
}

std::string ScreenshotFormats() { return "the name must end in .png, .jpg, .jpeg, .bmp or .ppm"; }

namespace {

// The value of option name at args[*i]: given after "=" (hasValue), or the
// next argument, which is then skipped. Never empty.
bool OptionValue(const std::vector<std::string>& args, size_t* i, const std::string& name,
                 bool hasValue, std::string* value, std::string* error) {
  if (!hasValue) {
    if (*i + 1 >= args.size()) {
      *error = "option " + name + " needs a value";
      return false;
    }
    *value = args[++*i];
  }
  if (value->empty()) {
    *error = "option " + name + " needs a non-empty value";
    return false;
  }
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Options* options, std::string* error) {
  Options out;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name, value;
    bool hasValue = false;
    SplitOption(arg, &name, &value, &hasValue);
    const OptionRow* row = FindOption(name);
    if (row == nullptr) {
      *error = !arg.empty() && arg[0] == '-' ? "unknown option " + name
                                             : "unexpected argument \"" + arg + "\"";
      return false;
    }
    if (row->value.empty() && hasValue) {
      *error = "option " + name + " takes no value";
      return false;
    }
    if (!row->value.empty() && row->value[0] != '[') {
      // A value is never empty: a set one was given before, and which of
      // the two was meant is not for the program to guess.
      if (row->once != nullptr && !(out.*row->once).empty()) {
        *error = "option " + name + " given twice; give it once";
        return false;
      }
      if (!OptionValue(args, &i, name, hasValue, &value, error)) return false;
    }
    if (row->once != nullptr) out.*row->once = value;
    if (row->handle != nullptr && !row->handle(row->name, value, &out, error)) return false;
  }
  if (!CheckCombination(&out, error)) return false;
  *options = out;
  return true;
}

std::string UsageText() {
  std::string text = SynopsisText() +
                     "\n"
                     "Evaluation window for a stack of ZQM4417-2 battery-monitor boards behind a\n"
                     "UB774B USB-to-SPI bridge.\n"
                     "\n" +
                     OptionListText() +
                     "\n"
                     "Connection strings (settings are KEY=VALUE, each key at most once):\n";
  std::size_t width = 0;
  for (const Transport& t : Transports()) width = std::max(width, t.usage.size());
  for (const Transport& t : Transports()) {
    text += "  " + std::string(t.usage) + std::string(width - t.usage.size() + 3, ' ') +
            std::string(t.meaning) + "\n";
  }
  text += "\nScript commands (--script FILE: one a line, \"#\" starts a comment):\n" +
          ScriptUsageText();
  text +=
      "\n"
      "Exit status: 0 normal end; 1 the bridge did not identify the chip (or an\n"
      "expect failed, or the screenshot could not be written); 2 bad arguments, a\n"
      "malformed script or a trace file that could not be written.\n";
  return text;
}
std::string VersionText() {
  std::string text = std::string("eb2250-gui ") + EB_VERSION;
  if (std::string(EB_COMMIT).size() > 0) text += std::string(" (git ") + EB_COMMIT + ")";
  return text + "\n";
}

std::string TrendScreenshotPath(const std::string& screenshot) {
  const std::filesystem::path path(screenshot);
  return (path.parent_path() / (path.stem().string() + "-trend" + path.extension().string()))
      .string();
}

}  // namespace eb::app
