#include "wiring/script_runner.h"

#include <charconv>
#include <exception>
#include <optional>
#include <sstream>

#include "link/printable.h"
#include "sheet/datalog_folder.h"
#include "window/form1.h"
#include "window/json.h"

namespace eb {

namespace {

struct Prop {
  std::string key;
  std::string json;
};

std::string Bool(bool b) { return b ? "true" : "false"; }

std::vector<Prop> ControlProps(const Control& c) {
  std::vector<Prop> p;
  const Kind k = c.kind;
  const bool hasCaption = k == Kind::Frame || k == Kind::CommandButton || k == Kind::CheckBox ||
                          k == Kind::OptionButton || k == Kind::Label;
  const bool hasText = k == Kind::TextBox || k == Kind::ComboBox;
  const bool hasFont = hasCaption || hasText;
  const bool isShape = k == Kind::Shape;
  const bool isLine = k == Kind::Line;
  const bool isTimer = k == Kind::Timer;

  p.push_back({"name", JsonString(c.name)});
  if (c.index >= 0) p.push_back({"index", std::to_string(c.index)});
  p.push_back({"kind", JsonString(KindName(k))});
  if (hasCaption) p.push_back({"caption", JsonString(c.caption)});
  if (hasText) p.push_back({"text", JsonString(c.text)});
  if (k == Kind::CheckBox || k == Kind::OptionButton)
    p.push_back({"value", std::to_string(c.value())});
  if (k == Kind::ComboBox) p.push_back({"listIndex", std::to_string(c.listIndex())});
  if (c.back && !isShape && !isLine) p.push_back({"back", JsonString(ColorText(*c.back))});
  if (c.fore && !isShape && !isLine) p.push_back({"fore", JsonString(ColorText(*c.fore))});
  if (isShape) {
    p.push_back({"fill", JsonString(ColorText(c.fill))});
    p.push_back({"fillShown", Bool(c.fillShown)});
  }
  if (isShape || isLine) {
    p.push_back({"border", JsonString(ColorText(c.border))});
    p.push_back({"borderWidth", std::to_string(c.borderWidth)});
  }
  if (!isTimer) p.push_back({"visible", Bool(c.visible)});
  p.push_back({"enabled", Bool(c.enabled)});
  if (k == Kind::TextBox) p.push_back({"locked", Bool(c.locked)});
  if (!isTimer) {
    p.push_back({"left", std::to_string(c.left)});
    p.push_back({"top", std::to_string(c.top)});
    p.push_back({"width", std::to_string(c.width)});
    p.push_back({"height", std::to_string(c.height)});
  }
  if (!isShape && !isLine && !isTimer) p.push_back({"tooltip", JsonString(c.tooltip)});
  if (hasFont) p.push_back({"bold", Bool(c.font.bold)});
  return p;
}

std::optional<int> ParseInt(const std::string& s) {
  int v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

// The text an expectation is compared with: strings without their quotes.
bool SameValue(const std::string& json, const std::string& expected) {
  if (!json.empty() && json.front() == '"') return json == JsonString(expected);
  return json == expected;
}

// The lines of a script, whatever ends them: LF, CR LF or a lone CR (an
// old Mac editor's). A UTF-8 byte-order mark before the first line is no
// part of it.
class ScriptLines {
 public:
  explicit ScriptLines(std::istream& in) : in_(in) {}
  bool Next(std::string* line) {
    if (!reading_) {
      if (!std::getline(in_, read_)) return false;
      if (first_ && read_.rfind("\xEF\xBB\xBF", 0) == 0) read_.erase(0, 3);
      first_ = false;
      if (!read_.empty() && read_.back() == '\r') read_.pop_back();
      reading_ = true;
      at_ = 0;
    }
    const std::size_t cr = read_.find('\r', at_);
    if (cr == std::string::npos) {
      line->assign(read_, at_);
      reading_ = false;
    } else {
      line->assign(read_, at_, cr - at_);
      at_ = cr + 1;
    }
    return true;
  }

 private:
  std::istream& in_;
  std::string read_;    // the text up to the next LF
  std::size_t at_ = 0;  // where the next line starts in it
  bool reading_ = false;
  bool first_ = true;
};

struct ScriptError {
  std::string message;
};

// A word of the script inside a message: quoted, short, printable.
std::string Quoted(const std::string& word) { return "\"" + Excerpt(word) + "\""; }

}  // namespace

std::string ScriptRunner::ControlJson(const Control& c) {
  std::string s = "{";
  bool first = true;
  for (const Prop& p : ControlProps(c)) {
    if (!first) s += ",";
    s += JsonString(p.key) + ":" + p.json;
    first = false;
  }
  return s + "}";
}

bool SplitScriptLine(const std::string& line, std::vector<std::string>* words) {
  words->clear();
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c == '#') break;
    std::string word;
    if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && i < line.size()) {
          char e = line[i++];
          switch (e) {
            case 'r': word += '\r'; break;
            case 'n': word += '\n'; break;
            case 't': word += '\t'; break;
            default: word += e; break;
          }
        } else {
          word += d;
        }
      }
      if (!closed) return false;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
        word += line[i++];
    }
    words->push_back(word);
  }
  return true;
}

ScriptRunner::ScriptRunner(std::ostream& out, std::ostream& err)
    : out_(out), err_(err), recorder_(std::make_unique<Recorder>(tap, *this, "", "")) {}

void ScriptRunner::MsgBox(const std::string& text) {
  out_ << "MSGBOX: " << text << "\n";
  messages_.push_back(text);
}

std::chrono::system_clock::time_point ScriptRunner::Now() {
  return std::chrono::system_clock::now();
}

void ScriptRunner::ShellOpen(const std::string& path) { out_ << "OPEN: " << path << "\n"; }

void ScriptRunner::SetProvenance(const std::string& program, const std::string& bridge) {
  recorder_ = std::make_unique<Recorder>(tap, *this, program, bridge);
}

ScriptRunner::~ScriptRunner() = default;

int ScriptRunner::Run(Form1& form, std::istream& script, const std::string& name,
                      StackControl* stack) {
  const int status = RunLines(form, script, name, stack);
  recorder_->Stop();
  // The end of a run closes the window as the operator would: a datalog
  // holding samples is saved as the last datalog rather than lost.
  if (!form.Unloaded) form.Form_Unload();
  return status;
}

std::string ScriptRunner::AppDirectory() { return datalog::CurrentDatalogFolder(appDirectory_); }

int ScriptRunner::RunLines(Form1& form, std::istream& script, const std::string& name,
                           StackControl* stack) {
  form.Form_Load();
  if (Stopped()) return 2;
  if (closed_) {
    out_ << "CLOSED\n";
    return 3;
  }
  if (!recordFromStart_.empty()) {
    const std::string refused = recorder_->Start(recordFromStart_, form, tickClock_);
    if (!refused.empty()) MsgBox(refused);
  }
  return RunSteps(form, script, name, stack);
}

int ScriptRunner::RunSteps(Form1& form, std::istream& script, const std::string& name,
                           StackControl* stack) {
  // The window closes when the runner is its platform and is told to, or
  // when another platform closed it.
  auto closed = [this, &form] { return closed_ || form.Unloaded; };
  std::string line;
  int lineNo = 0;
  size_t msgMark = messages_.size();
  std::vector<std::string> w;
  ScriptLines lines(script);
  while (lines.Next(&line)) {
    ++lineNo;
    const std::string where = name + ":" + std::to_string(lineNo) + ": ";
    try {
      if (!SplitScriptLine(line, &w)) throw ScriptError{"unterminated quoted text"};
      if (w.empty()) continue;
      const std::string& cmd = w[0];
      size_t pos = 1;

      // NAME [INDEX] → the control.
      auto control = [&]() -> Control& {
        if (pos >= w.size()) throw ScriptError{cmd + ": control name missing"};
        const std::string& ctl = w[pos++];
        if (form.ui.isArray(ctl)) {
          if (pos >= w.size()) throw ScriptError{cmd + ": " + ctl + " needs an index"};
          std::optional<int> idx = ParseInt(w[pos]);
          if (!idx) throw ScriptError{cmd + ": bad index " + Quoted(w[pos]) + " for " + ctl};
          ++pos;
          Control* c = form.ui.find(ctl, *idx);
          if (c == nullptr) {
            throw ScriptError{cmd + ": bad index " + std::to_string(*idx) + " for " + ctl +
                              " (0 … " + std::to_string(form.ui.arraySize(ctl) - 1) + ")"};
          }
          return *c;
        }
        Control* c = form.ui.find(ctl, -1);
        if (c == nullptr) throw ScriptError{cmd + ": unknown control " + Quoted(ctl)};
        return *c;
      };
      auto integer = [&](const char* what) {
        if (pos >= w.size()) throw ScriptError{cmd + ": " + what + " missing"};
        std::optional<int> v = ParseInt(w[pos]);
        if (!v) throw ScriptError{cmd + ": bad " + std::string(what) + " " + Quoted(w[pos])};
        ++pos;
        return *v;
      };
      auto noMore = [&] {
        if (pos != w.size()) throw ScriptError{cmd + ": unexpected " + Quoted(w[pos])};
      };
      // An operator acts only on controls that are shown and enabled.
      auto reachable = [&](Control& c) {
        if (c.effectivelyVisible() && c.effectivelyEnabled()) return true;
        out_ << "IGNORED: " << c.Label() << " is "
             << (c.effectivelyVisible() ? "disabled" : "hidden") << "\n";
        return false;
      };
      auto operatorFocus = [&](Control& c) {
        if (c.canFocus()) form.ui.setFocus(c);
      };

      if (cmd == "click") {
        Control& c = control();
        noMore();
        if (reachable(c)) {
          operatorFocus(c);
          if (!closed()) {
            if (c.kind == Kind::CheckBox) {
              c.setValue(c.value() == 1 ? 0 : 1);
            } else if (c.kind == Kind::OptionButton) {
              c.setValue(1);
            } else {
              c.click();
            }
          }
        }
      } else if (cmd == "set") {
        Control& c = control();
        int v = integer("value");
        noMore();
        if (c.kind != Kind::CheckBox && c.kind != Kind::OptionButton && c.kind != Kind::ComboBox) {
          throw ScriptError{"set: " + c.Label() + " is a " + KindName(c.kind) +
                            "; only check boxes, options and combo boxes take a value"};
        }
        if (c.kind == Kind::ComboBox && (v < 0 || v >= static_cast<int>(c.list.size()))) {
          throw ScriptError{"set: list index " + std::to_string(v) + " out of range for " +
                            c.Label()};
        }
        if (c.kind == Kind::CheckBox && v != 0 && v != 1)
          throw ScriptError{"set: a check box takes 0 or 1"};
        if (c.kind == Kind::OptionButton && v != 0 && v != 1)
          throw ScriptError{"set: an option button takes 0 or 1"};
        if (reachable(c)) {
          operatorFocus(c);
          if (!closed()) {
            if (c.kind == Kind::ComboBox) {
              c.setListIndex(v);
            } else {
              c.setValue(v);
            }
          }
        }
      } else if (cmd == "type") {
        Control& c = control();
        if (pos >= w.size()) throw ScriptError{"type: text missing"};
        std::string text = w[pos++];
        noMore();
        if (c.kind != Kind::TextBox) throw ScriptError{"type: " + c.Label() + " is not a text box"};
        if (reachable(c)) {
          operatorFocus(c);
          c.caret = static_cast<int>(c.text.size());
          for (char ch : text) {
            if (closed() || Stopped()) break;
            Control* target = form.ui.focused();
            if (target == nullptr || target->kind != Kind::TextBox) {
              out_ << "IGNORED: keys after the focus left " << c.Label() << "\n";
              break;
            }
            form.ui.typeKey(*target, static_cast<unsigned char>(ch));
          }
        }
      } else if (cmd == "focus") {
        Control& c = control();
        noMore();
        if (!c.canFocus()) throw ScriptError{"focus: " + c.Label() + " cannot take the focus"};
        if (reachable(c)) form.ui.setFocus(c);
      } else if (cmd == "tick") {
        int n = pos < w.size() ? integer("count") : 1;
        noMore();
        if (n < 0) throw ScriptError{"tick: bad count " + std::to_string(n) + " (0 or more)"};
        for (int i = 0; i < n && !closed() && !Stopped(); ++i) {
          if (!form.Timer1.enabled) continue;
          if (beforeTick) beforeTick();
          // The recording's samples are 100 ms apart on the script's
          // clock however fast the script runs.
          tickClock_ +=
              std::chrono::milliseconds(form.Timer1.interval > 0 ? form.Timer1.interval : 100);
          tap.BeforeTick(form);
          form.Timer1_Timer();
          tap.AfterTick(form, tickClock_);
          recorder_->AfterTick(form);
          if (afterTick) afterTick();
        }
      } else if (cmd == "print") {
        if (pos >= w.size()) throw ScriptError{"print: control name missing"};
        if (form.ui.isArray(w[pos]) && pos + 1 == w.size()) {
          // The whole array, one line per element.
          for (int i = 0; i < form.ui.arraySize(w[pos]); ++i)
            out_ << ControlJson(*form.ui.find(w[pos], i)) << "\n";
        } else {
          Control& c = control();
          noMore();
          out_ << ControlJson(c) << "\n";
        }
      } else if (cmd == "state") {
        if (pos >= w.size()) throw ScriptError{"state: variable name missing"};
        std::string var = w[pos++];
        std::optional<int> i, j;
        if (pos < w.size()) i = integer("index");
        if (pos < w.size()) j = integer("index");
        noMore();
        std::optional<std::string> json = form.StateJson(var, i, j);
        if (!json) {
          if (!form.StateJson(var, std::nullopt, std::nullopt))
            throw ScriptError{"state: unknown variable " + Quoted(var)};
          throw ScriptError{"state: bad index for " + var};
        }
        out_ << "{\"name\":" << JsonString(var);
        if (i) out_ << ",\"index\":" << *i;
        if (j) out_ << ",\"index2\":" << *j;
        out_ << ",\"value\":" << *json << "}\n";
      } else if (cmd == "expect") {
        if (pos >= w.size()) throw ScriptError{"expect: name missing"};
        const std::string& target = w[pos];
        std::string label, actual;
        std::string prop, expected;
        if (form.ui.find(target, -1) != nullptr || form.ui.isArray(target)) {
          Control& c = control();
          if (pos + 2 != w.size()) throw ScriptError{"expect: use expect NAME [INDEX] PROP VALUE"};
          prop = w[pos];
          expected = w[pos + 1];
          bool found = false;
          for (const Prop& p : ControlProps(c)) {
            if (p.key == prop) {
              actual = p.json;
              found = true;
            }
          }
          if (!found)
            throw ScriptError{"expect: " + c.Label() + " has no property " + Quoted(prop)};
          label = c.Label() + "." + prop;
        } else {
          ++pos;
          std::optional<int> i, j;
          if (w.size() - pos > 2) i = integer("index");
          if (w.size() - pos > 2) j = integer("index");
          if (w.size() - pos != 2) throw ScriptError{"expect: use expect NAME [INDEX] PROP VALUE"};
          prop = w[pos];
          expected = w[pos + 1];
          if (prop != "value")
            throw ScriptError{"expect: a state variable has only the property \"value\""};
          std::optional<std::string> json = form.StateJson(target, i, j);
          if (!json) {
            if (!form.StateJson(target, std::nullopt, std::nullopt))
              throw ScriptError{"expect: unknown control or variable " + Quoted(target)};
            throw ScriptError{"expect: bad index for " + target};
          }
          actual = *json;
          label = target;
          if (i) label += "(" + std::to_string(*i) + (j ? "," + std::to_string(*j) : "") + ")";
        }
        if (!SameValue(actual, expected)) {
          out_ << "EXPECT FAILED " << where << label << " is " << actual << ", expected "
               << (actual.empty() || actual.front() != '"' ? expected : JsonString(expected))
               << "\n";
          err_ << where << "expectation failed: " << label << "\n";
          return 1;
        }
      } else if (cmd == "expect-msgbox") {
        if (pos + 1 != w.size()) throw ScriptError{"expect-msgbox: use expect-msgbox \"TEXT\""};
        bool seen = false;
        for (size_t m = msgMark; m < messages_.size(); ++m) seen = seen || messages_[m] == w[pos];
        msgMark = messages_.size();
        if (!seen) {
          out_ << "EXPECT FAILED " << where << "no message box " << JsonString(w[pos]) << "\n";
          err_ << where << "expectation failed: message box\n";
          return 1;
        }
      } else if (cmd == "expect-no-msgbox") {
        noMore();
        if (messages_.size() != msgMark) {
          out_ << "EXPECT FAILED " << where << "unexpected message box "
               << JsonString(messages_.back()) << "\n";
          err_ << where << "expectation failed: message box\n";
          return 1;
        }
      } else if (cmd == "datalog") {
        // The datalog setup dialog: number of samples and file, then the
        // words "csv" (a CSV file beside every export) and "discard" (give
        // up samples not yet saved with STOP, which the dialog asks about:
        // without it such a ring is an error, never silently lost). A
        // refused setup is reported the way the dialog reports it, in a
        // message box.
        int samples = integer("sample count");
        if (pos >= w.size()) throw ScriptError{"datalog: file missing"};
        std::string file = w[pos++];
        bool csv = false, discard = false;
        for (; pos < w.size(); ++pos) {
          if (w[pos] == "csv" && !csv) {
            csv = true;
          } else if (w[pos] == "discard" && !discard) {
            discard = true;
          } else {
            throw ScriptError{"datalog: unexpected " + Quoted(w[pos]) +
                              " (after the file: csv, discard)"};
          }
        }
        const bool unsaved =
            form.DATACOLLECTflag == 1 && (form.DATApoint > 1 || form.CYCLEflag == 1);
        if (unsaved && !discard) {
          throw ScriptError{
              "datalog: the datalog holds samples not saved with STOP; press STOP first or add "
              "\"discard\""};
        }
        std::string refused = form.SetupDatalog(samples, file, csv);
        if (!refused.empty()) MsgBox(refused);
      } else if (cmd == "record") {
        // record "FILE" starts a recording (a refusal shows as a message
        // box, as the window shows it); record stop ends it.
        if (pos >= w.size()) throw ScriptError{"record: file or \"stop\" missing"};
        const std::string file = w[pos++];
        noMore();
        if (file == "stop") {
          recorder_->Stop();
        } else {
          const std::string refused = recorder_->Start(file, form, tickClock_);
          if (!refused.empty()) MsgBox(refused);
        }
      } else if (cmd == "window") {
        if (pos >= w.size()) throw ScriptError{"window: name missing (trend)"};
        const std::string name = w[pos++];
        noMore();
        if (name != "trend") throw ScriptError{"window: unknown window \"" + name + "\" (trend)"};
        if (openWindow) openWindow(name);
      } else if (cmd == "sim") {
        if (stack == nullptr) throw ScriptError{"sim: the bridge is not the simulated stack"};
        std::vector<std::string> args(w.begin() + 1, w.end());
        std::string error = stack->Apply(args);
        if (!error.empty()) throw ScriptError{"sim: " + error};
      } else {
        throw ScriptError{"unknown command " + Quoted(cmd)};
      }
    } catch (const ScriptError& e) {
      err_ << where << e.message << "\n";
      out_ << "SCRIPT ERROR " << where << e.message << "\n";
      return 2;
    } catch (const std::exception& e) {
      err_ << where << "internal error: " << e.what() << "\n";
      out_ << "INTERNAL ERROR " << where << e.what() << "\n";
      return 4;
    }
    if (Stopped()) return 2;
    if (closed()) {
      out_ << "CLOSED\n";
      return 3;
    }
  }
  if (script.bad()) {
    // A read error is no end of the script: the rest was never run.
    const std::string where = name + ":" + std::to_string(lineNo + 1) + ": ";
    err_ << where << "cannot read the script\n";
    out_ << "SCRIPT ERROR " << where << "cannot read the script\n";
    return 2;
  }
  return 0;
}

}  // namespace eb
