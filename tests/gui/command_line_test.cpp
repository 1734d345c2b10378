#include "app/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "wiring/connection.h"

namespace eb::app {
namespace {

bool Parse(std::vector<std::string> args, Options* options, std::string* error) {
  return ParseCommandLine(args, options, error);
}

TEST(CommandLine, DefaultsToTheFtdiBridgeAndTheWindow) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({}, &o, &error));
  EXPECT_EQ(o.bridge, "ftdi");
  EXPECT_TRUE(o.trace.empty());
  EXPECT_TRUE(o.script.empty());
  EXPECT_TRUE(o.screenshot.empty());
  EXPECT_FALSE(o.help);
}

TEST(CommandLine, SimulateIsShortForTheSimBridge) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--simulate"}, &o, &error));
  EXPECT_EQ(o.bridge, "sim");
  ASSERT_TRUE(Parse({"--simulate=boards=4,seed=2"}, &o, &error));
  EXPECT_EQ(o.bridge, "sim:boards=4,seed=2");
}

TEST(CommandLine, ValuesTakeBothForms) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--bridge", "tty:/dev/ttyUSB0", "--trace=t.txt", "--screenshot", "s.png"}, &o,
                    &error));
  EXPECT_EQ(o.bridge, "tty:/dev/ttyUSB0");
  EXPECT_EQ(o.trace, "t.txt");
  EXPECT_EQ(o.screenshot, "s.png");
  ASSERT_TRUE(
      Parse({"--bridge=fault:pec=0.1/sim", "--script=a.script", "--load-setup=s.ini"}, &o, &error));
  EXPECT_EQ(o.bridge, "fault:pec=0.1/sim");
  EXPECT_EQ(o.script, "a.script");
  EXPECT_EQ(o.loadSetup, "s.ini");
}

TEST(CommandLine, RejectsWhatItDoesNotUnderstand) {
  Options o;
  std::string error;
  EXPECT_FALSE(Parse({"--frobnicate"}, &o, &error));
  EXPECT_EQ(error, "unknown option --frobnicate");
  EXPECT_FALSE(Parse({"stray"}, &o, &error));
  EXPECT_EQ(error, "unexpected argument \"stray\"");
  EXPECT_FALSE(Parse({"--trace"}, &o, &error));
  EXPECT_EQ(error, "option --trace needs a value");
  EXPECT_FALSE(Parse({"--bridge="}, &o, &error));
  EXPECT_FALSE(Parse({"--simulate", "--bridge", "ftdi"}, &o, &error));
  EXPECT_FALSE(Parse({"--help=yes"}, &o, &error));
}

TEST(CommandLine, ScriptWithScreenshotPicturesTheScriptsEnd) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--script", "a", "--screenshot", "b"}, &o, &error)) << error;
  EXPECT_EQ(o.script, "a");
  EXPECT_EQ(o.screenshot, "b");
}

TEST(CommandLine, ProbeRunsOnItsOwn) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--probe"}, &o, &error)) << error;
  EXPECT_TRUE(o.probe);
  EXPECT_FALSE(Parse({"--probe=yes"}, &o, &error));
  EXPECT_EQ(error, "option --probe takes no value");
  for (const auto& other : std::vector<std::vector<std::string>>{{"--simulate"},
                                                                 {"--bridge", "ftdi"},
                                                                 {"--script", "a"},
                                                                 {"--screenshot", "b"},
                                                                 {"--trace", "t"},
                                                                 {"--datalog-dir", "d"}}) {
    std::vector<std::string> args = other;
    args.insert(args.begin(), "--probe");
    EXPECT_FALSE(Parse(args, &o, &error)) << other[0];
    EXPECT_EQ(error.rfind("--probe runs on its own", 0), 0u) << error;
  }
  EXPECT_NE(UsageText().find("--probe "), std::string::npos);
  EXPECT_NE(UsageText().find("serial=S"), std::string::npos);
}

// Every row of the option table is in --help, and takes a value as its
// placeholder says.
TEST(CommandLine, Help) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--help"}, &o, &error));
  EXPECT_TRUE(o.help);
  EXPECT_NE(UsageText().find("--simulate[=SETTINGS]"), std::string::npos);
  // The README shows the synopsis as --help prints it.
  const std::string synopsis = UsageText().substr(0, UsageText().find("\n\n") + 1);
  std::stringstream readme;
  readme << std::ifstream(EB_SOURCE_DIR "/README.md").rdbuf();
  EXPECT_NE(readme.str().find("```\n" + synopsis + "```\n"), std::string::npos) << synopsis;
  for (const OptionRow& row : OptionRows()) {
    const std::string name(row.name);
    if (!row.help.empty()) {
      EXPECT_NE(UsageText().find("\n  " + name), std::string::npos) << name;
    }
    if (row.value.empty()) {
      EXPECT_FALSE(Parse({name + "=x"}, &o, &error)) << name;
    }
    if (!row.value.empty() && row.value[0] != '[') {
      EXPECT_FALSE(Parse({name}, &o, &error)) << name;
      EXPECT_EQ(error, "option " + name + " needs a value");
    }
  }
}

// The connection strings in --help are the transport table's, one aligned
// line each, and the whole text fits 80 columns.
TEST(CommandLine, HelpListsEveryTransportOfTheTable) {
  const std::string text = UsageText();
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    EXPECT_LE(line.size(), 80u) << line;
    lines.push_back(line);
  }
  std::size_t column = 0;
  for (const Transport& t : Transports()) {
    const std::string start = "  " + std::string(t.usage) + " ";
    auto line = std::find_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    ASSERT_NE(line, lines.end()) << t.usage;
    const std::size_t at = line->find(t.meaning);
    ASSERT_NE(at, std::string::npos) << *line;
    EXPECT_EQ(at + t.meaning.size(), line->size()) << *line;
    if (column == 0) column = at;
    EXPECT_EQ(at, column) << *line;  // the meanings form one column
  }
}

TEST(CommandLine, TrendScreenshotGoesBesideTheScreenshot) {
  EXPECT_EQ(TrendScreenshotPath("/tmp/x.png"), "/tmp/x-trend.png");
  EXPECT_EQ(TrendScreenshotPath("shot.png"), "shot-trend.png");
  EXPECT_EQ(TrendScreenshotPath("/tmp/run.1/a.b.png"), "/tmp/run.1/a.b-trend.png");
  EXPECT_EQ(TrendScreenshotPath("/tmp/run.1/shot"), "/tmp/run.1/shot-trend");
  EXPECT_NE(UsageText().find("-trend"), std::string::npos);
}

// An option given twice is refused as a second bridge is, and a screenshot
// name says the format it is written in.
TEST(CommandLine, RepeatedOptionsAndScreenshotNames) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--trace", "a", "--trace=b"}, "option --trace given twice; give it once"},
      {{"--script=a", "--script", "b"}, "option --script given twice; give it once"},
      {{"--datalog-dir", "a", "--datalog-dir", "a"},
       "option --datalog-dir given twice; give it once"},
      {{"--load-setup", "a.ini", "--load-setup=b.ini"},
       "option --load-setup given twice; give it once"},
      {{"--screenshot", "a.png", "--screenshot", "b.png"},
       "option --screenshot given twice; give it once"},
      {{"--screenshot", "x.gif"},
       "--screenshot: cannot write \"x.gif\" (the name must end in .png, .jpg, .jpeg, .bmp or "
       ".ppm)"},
      {{"--screenshot", "x.JPG"}, ""},
      {{"--screenshot", "x"}, ""},
  };
  for (const auto& [args, expected] : cases) {
    Options o;
    std::string error;
    EXPECT_EQ(Parse(args, &o, &error), expected.empty()) << args[0];
    EXPECT_EQ(error, expected) << args[0];
  }
  EXPECT_STREQ(ScreenshotFormat("/tmp/x.jpeg"), "JPEG");
  EXPECT_STREQ(ScreenshotFormat("/tmp/x.Bmp"), "BMP");
  EXPECT_STREQ(ScreenshotFormat("/tmp/x"), "PNG");
  EXPECT_EQ(ScreenshotFormat("/tmp/x.tiff"), nullptr);
}

}  // namespace
}  // namespace eb::app
