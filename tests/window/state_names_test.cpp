// Every piece of window state that Form1 declares can be printed by name
// (operator scripts' `state` and `expect NAME`). The names come from the
// declarations in form1.h, so a new variable without a printer fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/fake_stack.h"
#include "window/form1.h"

namespace eb {
namespace {

// Names of the member variables declared in the "shared state" section of
// form1.h: every statement without a parenthesis, its type removed.
std::vector<std::string> DeclaredStateNames() {
  std::ifstream in(std::string(EB_SOURCE_DIR) + "/src/window/form1.h");
  std::stringstream all;
  all << in.rdbuf();
  std::string text = all.str();
  const size_t begin =
      text.find("// ------------------------------------------------------------ shared state");
  const size_t end = text.find("// ------------------------------------------------ bridge link");
  if (begin == std::string::npos || end == std::string::npos) return {};
  std::string section = text.substr(begin, end - begin);
  section = std::regex_replace(section, std::regex("//[^\n]*"), "");
  std::vector<std::string> names;
  std::stringstream statements(section);
  for (std::string st; std::getline(statements, st, ';');) {
    if (st.find('(') != std::string::npos) continue;  // a function
    // Drop initialisers, then split at the commas outside template brackets.
    st = std::regex_replace(st, std::regex("\\{[^}]*\\}"), "");
    st = std::regex_replace(st, std::regex("=[^,]*"), "");
    std::vector<std::string> parts;
    int depth = 0;
    std::string part;
    for (char c : st) {
      depth += c == '<' ? 1 : c == '>' ? -1 : 0;
      if (c == ',' && depth == 0) {
        parts.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    parts.push_back(part);
    static const std::regex lastWord("([A-Za-z_][A-Za-z0-9_]*)\\s*$");
    for (const std::string& p : parts) {
      std::smatch m;
      if (std::regex_search(p, m, lastWord)) names.push_back(m[1]);
    }
  }
  return names;
}

TEST(StateNames, EveryVariableFormDeclaresIsPrintable) {
  const std::vector<std::string> declared = DeclaredStateNames();
  ASSERT_GT(declared.size(), 100u) << "could not read the declarations of form1.h";
  test::FakeStack stack;
  test::FakePlatform platform;
  Form1 form(stack.bridge, platform);
  const std::vector<std::string> printable = form.StateNames();
  for (const std::string& n : declared) {
    EXPECT_NE(std::find(printable.begin(), printable.end(), n), printable.end()) << n;
    EXPECT_TRUE(form.StateJson(n, std::nullopt, std::nullopt).has_value()) << n;
  }
  // And nothing printable that Form1 does not declare.
  for (const std::string& n : printable) {
    EXPECT_NE(std::find(declared.begin(), declared.end(), n), declared.end()) << n;
  }
  EXPECT_FALSE(form.StateJson("CELLvolt", 151, std::nullopt).has_value());
  EXPECT_EQ(*form.StateJson("CELLvolt", 150, std::nullopt), "0");
}

}  // namespace
}  // namespace eb
