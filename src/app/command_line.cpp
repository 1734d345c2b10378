#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/version.h"
#include "wiring/connection.h"
#include "wiring/demo.h"

namespace eb::app {

namespace {

// Splits "--name=value" into name and value; `hasValue` tells whether "=" was there.
void SplitOption(const std::string& arg, std::string* name, std::string* value, bool* hasValue) {
  auto eq = arg.find('=');
  *hasValue = eq != std::string::npos;
  *name = *hasValue ? arg.substr(0, eq) : arg;
  *value = *hasValue ? arg.substr(eq + 1) : std::string();
}

}  // namespace

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

bool ParseCommandLine(const std::vector<std::string>& args, Options* options, std::string* error) {
  Options out;
  bool bridgeGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name, value;
    bool hasValue = false;
    SplitOption(arg, &name, &value, &hasValue);

    // Takes the option's value from "=value" or from the next argument.
    auto takeValue = [&](std::string* target) {
      if (!hasValue) {
        if (i + 1 >= args.size()) {
          *error = "option " + name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (value.empty()) {
        *error = "option " + name + " needs a non-empty value";
        return false;
      }
      *target = value;
      return true;
    };
    auto setBridge = [&](const std::string& connection) {
      if (bridgeGiven) {
        *error = "choose the bridge only once (--bridge or --simulate)";
        return false;
      }
      bridgeGiven = true;
      out.bridge = connection;
      return true;
    };

    if (name == "--help" || name == "-h" || name == "--version" || name == "--demo") {
      if (hasValue) {
        *error = "option " + name + " takes no value";
        return false;
      }
      (name == "--version" ? out.version : name == "--demo" ? out.demo : out.help) = true;
    } else if (name == "--probe") {
      if (hasValue) {
        *error = "option " + name + " takes no value";
        return false;
      }
      out.probe = true;
    } else if (name == "--bridge") {
      std::string connection;
      if (!takeValue(&connection) || !setBridge(connection)) return false;
    } else if (name == "--simulate") {
      if (!setBridge(hasValue ? (value.empty() ? "sim" : "sim:" + value) : "sim")) return false;
    } else if (name == "--trace" || name == "--script" || name == "--screenshot" ||
               name == "--datalog-dir") {
      std::string& target = name == "--trace"        ? out.trace
                            : name == "--script"     ? out.script
                            : name == "--screenshot" ? out.screenshot
                                                     : out.datalogDir;
      // A value is never empty: a set one was given before, and which of
      // the two was meant is not for the program to guess.
      if (!target.empty()) {
        *error = "option " + name + " given twice; give it once";
        return false;
      }
      if (!takeValue(&target)) return false;
      if (name == "--screenshot" && !ScreenshotFormat(target)) {
        *error = "--screenshot: cannot write \"" + target + "\" (" + ScreenshotFormats() + ")";
        return false;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option " + name;
      return false;
    } else {
      *error = "unexpected argument \"" + arg + "\"";
      return false;
    }
  }
  if (out.probe && (bridgeGiven || !out.trace.empty() || !out.script.empty() ||
                    !out.screenshot.empty() || !out.datalogDir.empty() || out.demo)) {
    *error = "--probe runs on its own: it tries every FTDI device and takes no other option";
    return false;
  }
  if (out.demo && bridgeGiven) {
    *error = "--demo runs its own simulated stack: leave out --bridge and --simulate";
    return false;
  }
  if (out.demo && !out.script.empty()) {
    *error = "--demo cannot run a script: put the steps in the script instead";
    return false;
  }
  if (out.demo) out.bridge = kDemoConnection;
  *options = out;
  return true;
}

std::string UsageText() {
  std::string text =
      "Usage: eb2250-gui [--bridge STRING | --simulate[=SETTINGS]] [--trace FILE]\n"
      "                  [--script FILE] [--screenshot FILE] [--datalog-dir DIR]\n"
      "                  [--demo] [--version]\n"
      "       eb2250-gui --probe\n"
      "\n"
      "Evaluation window for a stack of ZQM4417-2 battery-monitor boards behind a\n"
      "UB774B USB-to-SPI bridge.\n"
      "\n"
      "  --bridge STRING       how the bridge is reached (default \"ftdi\"), one of the\n"
      "                        connection strings below\n"
      "  --simulate[=SETTINGS] short for --bridge sim[:SETTINGS]\n"
      "  --trace FILE          write every bridge transaction to FILE, one line each\n"
      "  --script FILE         run an operator script without opening a window; exit\n"
      "                        status 0 when every expect held, 1 when one failed,\n"
      "                        2 for a malformed script, 3 when the window closed\n"
      "  --screenshot FILE     open the window, run start-up and a few timer ticks,\n"
      "                        save the window as an image (PNG, or JPEG, BMP, PPM\n"
      "                        as the file name ends) and exit; message boxes\n"
      "                        are answered at once and their text goes to stderr;\n"
      "                        with --script: run the script, then save the window\n"
      "                        as the script left it; when the script opened the\n"
      "                        trend window (\"window trend\"), it is saved too, as\n"
      "                        FILE with \"-trend\" before the extension\n"
      "  --datalog-dir DIR     folder for last datalogs and their CSV files (default:\n"
      "                        beside the program, else the documents folder, else\n"
      "                        home); it must exist and be writable\n"
      "  --demo                a four-board simulated stack, configured as an operator\n"
      "                        would (one cell discharging, one masked, one under\n"
      "                        voltage) and reading continuously\n"
      "  --probe               list the FTDI devices (ids, serial number, description),\n"
      "                        try the identify on each, print what answered and exit\n"
      "                        (0 when a ZQM4417-2 answered, else 1)\n"
      "  --version             print the program's version and exit\n"
      "  --help                show this text\n"
      "\n"
      "Connection strings (settings are KEY=VALUE, each key at most once):\n";
  std::size_t width = 0;
  for (const Transport& t : Transports()) width = std::max(width, t.usage.size());
  for (const Transport& t : Transports()) {
    text += "  " + std::string(t.usage) + std::string(width - t.usage.size() + 3, ' ') +
            std::string(t.meaning) + "\n";
  }
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
