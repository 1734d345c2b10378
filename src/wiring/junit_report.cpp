#include "wiring/junit_report.h"

#include <fstream>
#include <sstream>

#include "sheet/replacing_file.h"

namespace eb {

namespace {

// Text for an XML attribute or element: markup characters escaped, and
// control characters XML 1.0 cannot carry written as "\xNN".
std::string XmlText(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\n': out += "&#10;"; break;
      case '\t': out += "&#9;"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  return out;
}

// Seconds as XML Schema's decimal takes them: fixed point, no exponent.
std::string Seconds(double seconds) {
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(6);
  text << seconds;
  return text.str();
}

}  // namespace

std::string JUnitXml(const std::string& suite, const std::vector<ScriptCheck>& checks) {
  int failures = 0, errors = 0;
  double seconds = 0;
  std::ostringstream cases;
  for (const ScriptCheck& check : checks) {
    seconds += check.seconds;
    const std::string name = "line " + std::to_string(check.line) + ": " + check.text;
    cases << "    <testcase name=\"" << XmlText(name) << "\" classname=\"" << XmlText(suite)
          << "\" time=\"" << Seconds(check.seconds) << "\"";
    if (check.outcome == ScriptCheck::Outcome::kPassed) {
      cases << "/>\n";
      continue;
    }
    const bool failed = check.outcome == ScriptCheck::Outcome::kFailed;
    (failed ? failures : errors) += 1;
    const char* element = failed ? "failure" : "error";
    cases << ">\n      <" << element << " message=\"" << XmlText(check.message) << "\">"
          << XmlText(check.message) << "</" << element << ">\n    </testcase>\n";
  }
  std::ostringstream xml;
  const std::string counts = "tests=\"" + std::to_string(checks.size()) + "\" failures=\"" +
                             std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
                             "\"";
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"" << XmlText(suite) << "\" " << counts << " time=\""
      << Seconds(seconds) << "\">\n"
      << "  <testsuite name=\"" << XmlText(suite) << "\" " << counts << " time=\""
      << Seconds(seconds) << "\">\n"
      << cases.str() << "  </testsuite>\n</testsuites>\n";
  return xml.str();
}

std::string WriteJUnitReport(const std::string& path, const std::string& suite,
                             const std::vector<ScriptCheck>& checks) {
  datalog::ReplacingFile file(path);
  if (!file.error().empty()) return file.error();
  {
    std::ofstream out(file.temporary(), std::ios::binary | std::ios::trunc);
    out << JUnitXml(suite, checks);
    out.flush();
    if (!out) {
      file.Discard();
      return "cannot write " + file.temporary();
    }
  }
  return file.Commit();
}

}  // namespace eb
