#include "wiring/script_runner.h"

#include <charconv>
#include <chrono>
#include <exception>
#include <optional>
#include <sstream>

#include "link/printable.h"
#include "protocol/json.h"
#include "sheet/datalog_folder.h"
#include "sim/sim_stack.h"
#include "window/form1.h"
#include "window/setup.h"

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

// The longest wait a wait-for line may ask for, in seconds of ticks.
constexpr double kMaxWaitSeconds = 86400;

// The words of a line, read from `pos` on.
struct ScriptWords {
  ScriptWords(Form1& f, const std::vector<std::string>& words) : form(f), w(words) {}
  Form1& form;
  const std::vector<std::string>& w;
  std::size_t pos = 1;

  const std::string& cmd() const { return w[0]; }

  // NAME [INDEX] → the control.
  Control& control() {
    if (pos >= w.size()) throw ScriptError{cmd() + ": control name missing"};
    const std::string& ctl = w[pos++];
    if (!form.ui.isArray(ctl)) {
      Control* c = form.ui.find(ctl, -1);
      if (c == nullptr) throw ScriptError{cmd() + ": unknown control " + Quoted(ctl)};
      return *c;
    }
    if (pos >= w.size()) throw ScriptError{cmd() + ": " + ctl + " needs an index"};
    std::optional<int> idx = ParseInt(w[pos]);
    if (!idx) throw ScriptError{cmd() + ": bad index " + Quoted(w[pos]) + " for " + ctl};
    ++pos;
    Control* c = form.ui.find(ctl, *idx);
    if (c == nullptr) {
      throw ScriptError{cmd() + ": bad index " + std::to_string(*idx) + " for " + ctl + " (0 … " +
                        std::to_string(form.ui.arraySize(ctl) - 1) + ")"};
    }
    return *c;
  }

  int integer(const char* what) {
    if (pos >= w.size()) throw ScriptError{cmd() + ": " + what + " missing"};
    std::optional<int> v = ParseInt(w[pos]);
    if (!v) throw ScriptError{cmd() + ": bad " + std::string(what) + " " + Quoted(w[pos])};
    ++pos;
    return *v;
  }

  void noMore() const {
    if (pos != w.size()) throw ScriptError{cmd() + ": unexpected " + Quoted(w[pos])};
  }

  // "CMD: use CMD USAGE", from the command's row.
  ScriptError UseError() const;
};

const ScriptCommand* FindCommand(const std::string& name);

ScriptError ScriptWords::UseError() const {
  const ScriptCommand* row = FindCommand(cmd());
  return ScriptError{cmd() + ": use " + cmd() + (row ? " " + std::string(row->usage) : "")};
}

// The property PROP of the control NAME [INDEX] (the words from `pos`).
Observation ObserveControl(ScriptWords& words) {
  Control& c = words.control();
  if (words.pos + 2 != words.w.size()) throw words.UseError();
  Observation seen{"", "", words.w[words.pos + 1]};
  const std::string& prop = words.w[words.pos];
  bool found = false;
  for (const Prop& p : ControlProps(c)) {
    if (p.key == prop) {
      seen.actual = p.json;
      found = true;
    }
  }
  if (!found)
    throw ScriptError{words.cmd() + ": " + c.Label() + " has no property " + Quoted(prop)};
  seen.label = c.Label() + "." + prop;
  return seen;
}

// The value of the state variable NAME [INDEX [INDEX2]] (the words from `pos`).
Observation ObserveState(ScriptWords& words) {
  const std::string& target = words.w[words.pos++];
  const std::vector<std::string>& w = words.w;
  std::optional<int> i, j;
  if (w.size() - words.pos > 2) i = words.integer("index");
  if (w.size() - words.pos > 2) j = words.integer("index");
  if (w.size() - words.pos != 2) throw words.UseError();
  if (w[words.pos] != "value") {
    throw ScriptError{words.cmd() + ": a state variable has only the property \"value\""};
  }
  std::optional<std::string> json = words.form.StateJson(target, i, j);
  if (!json) {
    if (!words.form.StateJson(target, std::nullopt, std::nullopt))
      throw ScriptError{words.cmd() + ": unknown control or variable " + Quoted(target)};
    throw ScriptError{words.cmd() + ": bad index for " + target};
  }
  Observation seen{target, *json, w[words.pos + 1]};
  if (i) seen.label += "(" + std::to_string(*i) + (j ? "," + std::to_string(*j) : "") + ")";
  return seen;
}

Observation ObserveWords(ScriptWords& words) {
  if (words.pos >= words.w.size()) throw ScriptError{words.cmd() + ": name missing"};
  const std::string& target = words.w[words.pos];
  if (words.form.ui.find(target, -1) != nullptr || words.form.ui.isArray(target)) {
    return ObserveControl(words);
  }
  return ObserveState(words);
}

// Seconds of simulated time one timer tick stands for: the timer's interval
// (100 ms for one without).
int TickMilliseconds(const Form1& form) {
  return form.Timer1.interval > 0 ? form.Timer1.interval : 100;
}
double TickSeconds(const Form1& form) { return TickMilliseconds(form) / 1000.0; }

std::optional<double> ParseSeconds(const std::string& s) {
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !(v >= 0 && v <= kMaxWaitSeconds)) {
    return std::nullopt;
  }
  return v;
}

}  // namespace

// One line being run: its words, where it is, and what the handlers need
// of the runner.
struct ScriptStep : ScriptWords {
  ScriptStep(ScriptRunner& r, Form1& f, StackControl* s, const std::vector<std::string>& words,
             const std::string& at, int number, const std::string& line)
      : ScriptWords(f, words), runner(r), stack(s), where(at), lineNo(number), text(line) {}
  ScriptRunner& runner;
  StackControl* stack;
  const std::string& where;  // "NAME:LINE: "
  int lineNo;
  const std::string& text;
  const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

  std::ostream& out() { return runner.out_; }
  std::vector<std::string>& messages() { return runner.messages_; }
  std::size_t& msgMark() { return runner.msgMark_; }
  bool stopped() const { return runner.Stopped(); }
  // The window closes when the runner is its platform and is told to, or
  // when another platform closed it.
  bool closed() const { return runner.closed_ || form.Unloaded; }

  // An operator acts only on controls that are shown and enabled.
  bool reachable(Control& c) {
    if (c.effectivelyVisible() && c.effectivelyEnabled()) return true;
    out() << "IGNORED: " << c.Label() << " is " << (c.effectivelyVisible() ? "disabled" : "hidden")
          << "\n";
    return false;
  }
  void operatorFocus(Control& c) {
    if (c.canFocus()) form.ui.setFocus(c);
  }
  // One timer tick as the window's timer would run it (none while the timer
  // is off); false when the window closed or the run is stopped.
  bool tickOnce() {
    if (closed() || stopped()) return false;
    if (!form.Timer1.enabled) return true;
    if (runner.beforeTick) runner.beforeTick();
    // The recording's samples are 100 ms apart on the script's clock
    // however fast the script runs.
    runner.tickClock_ += std::chrono::milliseconds(TickMilliseconds(form));
    runner.tap.BeforeTick(form);
    form.Timer1_Timer();
    runner.tap.AfterTick(form, runner.tickClock_);
    runner.recorder_->AfterTick(form);
    runner.publishing_->Poll();
    if (runner.afterTick) runner.afterTick();
    return true;
  }

  // A check's outcome: reported, and on failure printed ("EXPECT FAILED"
  // with `failure` on the output, `what` on the error stream), status 1.
  int Expectation(bool held, const std::string& failure, const std::string& what) {
    if (runner.onCheck) {
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
      runner.onCheck({lineNo, text,
                      held ? ScriptCheck::Outcome::kPassed : ScriptCheck::Outcome::kFailed,
                      held ? "" : where + failure, took.count()});
    }
    if (held) return 0;
    runner.lineFailure_ = "expectation failed: " + failure;
    out() << "EXPECT FAILED " << where << failure << "\n";
    runner.err_ << where << "expectation failed: " << what << "\n";
    return 1;
  }
};

namespace {

int Click(ScriptStep& s) {
  Control& c = s.control();
  s.noMore();
  if (!s.reachable(c)) return 0;
  s.operatorFocus(c);
  if (s.closed()) return 0;
  if (c.kind == Kind::CheckBox) {
    c.setValue(c.value() == 1 ? 0 : 1);
  } else if (c.kind == Kind::OptionButton) {
    c.setValue(1);
  } else {
    c.click();
  }
  return 0;
}

int Set(ScriptStep& s) {
  Control& c = s.control();
  const int v = s.integer("value");
  s.noMore();
  if (c.kind != Kind::CheckBox && c.kind != Kind::OptionButton && c.kind != Kind::ComboBox) {
    throw ScriptError{"set: " + c.Label() + " is a " + KindName(c.kind) +
                      "; only check boxes, options and combo boxes take a value"};
  }
  if (c.kind == Kind::ComboBox && (v < 0 || v >= static_cast<int>(c.list.size()))) {
    throw ScriptError{"set: list index " + std::to_string(v) + " out of range for " + c.Label()};
  }
  if (c.kind == Kind::CheckBox && v != 0 && v != 1)
    throw ScriptError{"set: a check box takes 0 or 1"};
  if (c.kind == Kind::OptionButton && v != 0 && v != 1)
    throw ScriptError{"set: an option button takes 0 or 1"};
  if (!s.reachable(c)) return 0;
  s.operatorFocus(c);
  if (s.closed()) return 0;
  if (c.kind == Kind::ComboBox) {
    c.setListIndex(v);
  } else {
    c.setValue(v);
  }
  return 0;
}

int Type(ScriptStep& s) {
  Control& c = s.control();
  if (s.pos >= s.w.size()) throw ScriptError{"type: text missing"};
  const std::string& text = s.w[s.pos++];
  s.noMore();
  if (c.kind != Kind::TextBox) throw ScriptError{"type: " + c.Label() + " is not a text box"};
  if (!s.reachable(c)) return 0;
  s.operatorFocus(c);
  c.caret = static_cast<int>(c.text.size());
  for (char ch : text) {
    if (s.closed() || s.stopped()) break;
    Control* target = s.form.ui.focused();
    if (target == nullptr || target->kind != Kind::TextBox) {
      s.out() << "IGNORED: keys after the focus left " << c.Label() << "\n";
      break;
    }
    s.form.ui.typeKey(*target, static_cast<unsigned char>(ch));
  }
  return 0;
}

int Focus(ScriptStep& s) {
  Control& c = s.control();
  s.noMore();
  if (!c.canFocus()) throw ScriptError{"focus: " + c.Label() + " cannot take the focus"};
  if (s.reachable(c)) s.form.ui.setFocus(c);
  return 0;
}

int Tick(ScriptStep& s) {
  const int n = s.pos < s.w.size() ? s.integer("count") : 1;
  s.noMore();
  if (n < 0) throw ScriptError{"tick: bad count " + std::to_string(n) + " (0 or more)"};
  for (int i = 0; i < n && s.tickOnce(); ++i) {
  }
  return 0;
}

int Print(ScriptStep& s) {
  if (s.pos >= s.w.size()) throw ScriptError{"print: control name missing"};
  const std::string& array = s.w[s.pos];
  if (s.form.ui.isArray(array) && s.pos + 1 == s.w.size()) {
    // The whole array, one line per element.
    for (int i = 0; i < s.form.ui.arraySize(array); ++i)
      s.out() << ScriptRunner::ControlJson(*s.form.ui.find(array, i)) << "\n";
    return 0;
  }
  Control& c = s.control();
  s.noMore();
  s.out() << ScriptRunner::ControlJson(c) << "\n";
  return 0;
}

int State(ScriptStep& s) {
  if (s.pos >= s.w.size()) throw ScriptError{"state: variable name missing"};
  const std::string& var = s.w[s.pos++];
  std::optional<int> i, j;
  if (s.pos < s.w.size()) i = s.integer("index");
  if (s.pos < s.w.size()) j = s.integer("index");
  s.noMore();
  std::optional<std::string> json = s.form.StateJson(var, i, j);
  if (!json) {
    if (!s.form.StateJson(var, std::nullopt, std::nullopt))
      throw ScriptError{"state: unknown variable " + Quoted(var)};
    throw ScriptError{"state: bad index for " + var};
  }
  s.out() << "{\"name\":" << JsonString(var);
  if (i) s.out() << ",\"index\":" << *i;
  if (j) s.out() << ",\"index2\":" << *j;
  s.out() << ",\"value\":" << *json << "}\n";
  return 0;
}

int Expect(ScriptStep& s) {
  const Observation seen = ObserveWords(s);
  return s.Expectation(seen.Holds(), seen.Failure(), seen.label);
}

// Ticks until the condition holds or TIMEOUT seconds of ticks have passed;
// the condition is read before the first tick and after each.
int WaitFor(ScriptStep& s) {
  if (s.w.size() < 4) throw s.UseError();
  const std::optional<double> timeout = ParseSeconds(s.w.back());
  if (!timeout) {
    throw ScriptError{"wait-for: bad timeout " + Quoted(s.w.back()) + " (seconds, 0 … " +
                      std::to_string(static_cast<int>(kMaxWaitSeconds)) + ")"};
  }
  const std::vector<std::string> condition(s.w.begin(), s.w.end() - 1);
  ScriptWords words(s.form, condition);
  Observation seen = ObserveWords(words);
  int ticks = 0;
  while (!seen.Holds() && ticks * TickSeconds(s.form) < *timeout && s.tickOnce()) {
    ++ticks;
    ScriptWords again(s.form, condition);
    seen = ObserveWords(again);
  }
  const double waited = ticks * TickSeconds(s.form);
  // A window that closed (or a stop) ends the script as after a tick.
  if (!seen.Holds() && (s.closed() || s.stopped())) return 0;
  std::ostringstream after;
  after << seen.Failure() << " after " << waited << " s of ticks";
  return s.Expectation(seen.Holds(), after.str(), seen.label);
}

int ExpectMsgbox(ScriptStep& s) {
  if (s.pos + 1 != s.w.size()) throw s.UseError();
  const std::string& text = s.w[s.pos];
  bool seen = false;
  for (std::size_t m = s.msgMark(); m < s.messages().size(); ++m)
    seen = seen || s.messages()[m] == text;
  s.msgMark() = s.messages().size();
  return s.Expectation(seen, "no message box " + JsonString(text), "message box");
}

int ExpectNoMsgbox(ScriptStep& s) {
  s.noMore();
  const bool none = s.messages().size() == s.msgMark();
  return s.Expectation(
      none, none ? "" : "unexpected message box " + JsonString(s.messages().back()), "message box");
}

// The datalog setup dialog: number of samples and file, then the words
// "csv" (a CSV file beside every export) and "discard" (give up samples not
// yet saved with STOP, which the dialog asks about: without it such a ring
// is an error, never silently lost). A refused setup is reported the way the
// dialog reports it, in a message box.
int Datalog(ScriptStep& s) {
  const int samples = s.integer("sample count");
  if (s.pos >= s.w.size()) throw ScriptError{"datalog: file missing"};
  const std::string& file = s.w[s.pos++];
  bool csv = false, discard = false;
  for (; s.pos < s.w.size(); ++s.pos) {
    if (s.w[s.pos] == "csv" && !csv) {
      csv = true;
    } else if (s.w[s.pos] == "discard" && !discard) {
      discard = true;
    } else {
      throw ScriptError{"datalog: unexpected " + Quoted(s.w[s.pos]) +
                        " (after the file: csv, discard)"};
    }
  }
  const bool unsaved =
      s.form.DATACOLLECTflag == 1 && (s.form.DATApoint > 1 || s.form.CYCLEflag == 1);
  if (unsaved && !discard) {
    throw ScriptError{
        "datalog: the datalog holds samples not saved with STOP; press STOP first or add "
        "\"discard\""};
  }
  const std::string refused = s.form.SetupDatalog(samples, file, csv);
  if (!refused.empty()) s.runner.MsgBox(refused);
  return 0;
}

// The File menu's "Save setup…" and "Load setup…": a file that cannot be
// written, or a setup refused (nothing changed), is reported in a message
// box as the menu reports it.
int SetupFile(ScriptStep& s) {
  const std::string& cmd = s.w[0];
  if (s.pos + 1 != s.w.size()) throw ScriptError{cmd + ": use " + cmd + " \"FILE\""};
  const std::string& file = s.w[s.pos];
  const std::string problem =
      cmd == "save-setup" ? SaveSetupFile(s.form, file) : LoadSetupFile(s.form, file);
  if (!problem.empty()) s.runner.MsgBox(problem);
  return 0;
}

int Window(ScriptStep& s) {
  if (s.pos >= s.w.size()) throw ScriptError{"window: name missing (trend)"};
  const std::string& window = s.w[s.pos++];
  s.noMore();
  if (window != "trend") throw ScriptError{"window: unknown window \"" + window + "\" (trend)"};
  if (s.runner.openWindow) s.runner.openWindow(window);
  return 0;
}

// record "FILE" starts a recording (a refusal shows as a message box, as
// the window shows it); record stop ends it.
int Record(ScriptStep& s) {
  if (s.pos >= s.w.size()) throw ScriptError{"record: file or \"stop\" missing"};
  const std::string& file = s.w[s.pos++];
  s.noMore();
  if (s.runner.recordWith) {
    const std::string refused = s.runner.recordWith(file);
    if (!refused.empty()) s.runner.MsgBox(refused);
  } else if (file == "stop") {
    s.runner.recorder()->Stop();
  } else {
    const std::string refused = s.runner.recorder()->Start(file, s.form, s.runner.tickClock());
    if (!refused.empty()) s.runner.MsgBox(refused);
  }
  return 0;
}

int Sim(ScriptStep& s) {
  if (s.stack == nullptr) throw ScriptError{"sim: the bridge is not the simulated stack"};
  const std::vector<std::string> args(s.w.begin() + 1, s.w.end());
  const std::string error = s.stack->Apply(args);
  if (!error.empty()) throw ScriptError{"sim: " + error};
  return 0;
}

constexpr ScriptCommand kScriptCommands[] = {
    {"click", "NAME [INDEX]", "operator click (a check box toggles)", Click},
    {"set", "NAME [INDEX] VALUE",
     "operator sets a check box or option (0 or 1) / combo\n"
     "list index",
     Set},
    {"type", "NAME [INDEX] \"TEXT\"",
     "focus the box, then each key through its key handler\n"
     "(\"3.6\\r\": \\r \\n \\t \\\" \\\\ escapes)",
     Type},
    {"focus", "NAME [INDEX]", "move the input focus", Focus},
    {"tick", "[COUNT]", "timer ticks, 0 or more (only while the timer runs)", Tick},
    {"print", "NAME [INDEX]",
     "JSON with every property of the control (each\n"
     "element of an array without INDEX)",
     Print},
    {"state", "NAME [INDEX [INDEX2]]",
     "JSON with a state variable (two indices for 2-D\n"
     "ones; register images are indexed board first)",
     State},
    {"expect", "NAME [INDEX] PROP VALUE",
     "exit 1 when the printed property differs (a state\n"
     "variable's PROP is \"value\")",
     Expect},
    {"wait-for", "NAME [INDEX] PROP VALUE TIMEOUT",
     "timer ticks until the property is VALUE (compared\n"
     "as expect does); exit 1 when TIMEOUT seconds of\n"
     "ticks passed first",
     WaitFor},
    {"expect-msgbox", "\"TEXT\"",
     "a message box with this text appeared since the last\n"
     "check",
     ExpectMsgbox},
    {"expect-no-msgbox", "", "none appeared since the last check", ExpectNoMsgbox},
    {"datalog", "SAMPLES \"FILE\" [csv] [discard]",
     "datalog setup: number of samples, file, \"csv\" for a\n"
     "CSV file beside every export; a ring holding samples\n"
     "not saved with STOP is an error unless \"discard\" is\n"
     "given",
     Datalog},
    {"save-setup", "\"FILE\"", "File > Save setup: the window's setup to FILE", SetupFile},
    {"load-setup", "\"FILE\"",
     "File > Load setup: the setup in FILE through the\n"
     "controls (refused: a message box, nothing changes)",
     SetupFile},
    {"window", "trend",
     "open the trend window (shown only by --screenshot;\n"
     "its ticks are 100 ms apart on the trend's time axis)",
     Window},
    {"record", "\"FILE\" | stop",
     "record every sample to a database file (a refusal\n"
     "shows as a message box; samples are 100 ms a tick\n"
     "apart on the script's clock); \"stop\" ends it",
     Record},
    {"sim", "COMMAND ...", "change the simulated stack:", Sim},
};

const ScriptCommand* FindCommand(const std::string& name) {
  for (const ScriptCommand& row : kScriptCommands) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

// One row of the usage text: the spelling, its help lines in one column
// (below it when the spelling is too wide).
void AddUsageRow(std::string* text, const std::string& spelling, std::string_view help) {
  constexpr std::size_t kColumn = 28;
  std::string lead = "  " + spelling;
  if (lead.size() + 1 > kColumn) {
    *text += lead + "\n";
    lead.clear();
  }
  while (true) {
    const std::size_t end = help.find('\n');
    *text +=
        lead + std::string(kColumn - lead.size(), ' ') + std::string(help.substr(0, end)) + "\n";
    if (end == std::string_view::npos) break;
    help.remove_prefix(end + 1);
    lead.clear();
  }
}

}  // namespace

std::span<const ScriptCommand> ScriptCommands() { return kScriptCommands; }

std::string ScriptUsageText() {
  std::string text;
  for (const ScriptCommand& row : kScriptCommands) {
    AddUsageRow(&text,
                std::string(row.name) + (row.usage.empty() ? "" : " ") + std::string(row.usage),
                row.help);
  }
  for (const SimStack::Command& row : SimStack::Commands()) {
    std::string_view usage = row.usage;
    if (usage.rfind("usage: ", 0) == 0) usage.remove_prefix(7);
    AddUsageRow(&text, "  " + std::string(usage), row.help);
  }
  return text;
}

bool Observation::Holds() const { return SameValue(actual, expected); }

std::string Observation::Failure() const {
  return label + " is " + actual + ", expected " +
         (actual.empty() || actual.front() != '"' ? expected : JsonString(expected));
}

std::optional<Observation> Observe(Form1& form, const std::vector<std::string>& words,
                                   std::string* error) {
  if (words.empty()) {
    *error = "no command";
    return std::nullopt;
  }
  try {
    ScriptWords reader(form, words);
    return ObserveWords(reader);
  } catch (const ScriptError& e) {
    *error = e.message;
    return std::nullopt;
  }
}

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

namespace {

// The quoted word whose opening quote is at line[*i], with \r, \n, \t and
// \<char> escapes; *i ends after the closing quote. False when there is none.
bool QuotedWord(const std::string& line, size_t* i, std::string* word) {
  ++*i;
  while (*i < line.size()) {
    char d = line[(*i)++];
    if (d == '"') return true;
    if (d == '\\' && *i < line.size()) {
      char e = line[(*i)++];
      switch (e) {
        case 'r': *word += '\r'; break;
        case 'n': *word += '\n'; break;
        case 't': *word += '\t'; break;
        default: *word += e; break;
      }
    } else {
      *word += d;
    }
  }
  return false;
}

}  // namespace

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
      if (!QuotedWord(line, &i, &word)) return false;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
        word += line[i++];
    }
    words->push_back(word);
  }
  return true;
}

ScriptRunner::ScriptRunner(std::ostream& out, std::ostream& err)
    : out_(out),
      err_(err),
      recorder_(std::make_unique<Recorder>(tap, *this, "", "")),
      publishing_(std::make_unique<Publishing>(tap, *this, "", "")) {
  publishing_->SetBacklogSource([this] { return recorder_->path(); });
}

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
  publishing_ = std::make_unique<Publishing>(tap, *this, program, bridge);
  publishing_->SetBacklogSource([this] { return recorder_->path(); });
}

ScriptRunner::~ScriptRunner() = default;

int ScriptRunner::Run(Form1& form, std::istream& script, const std::string& name,
                      StackControl* stack) {
  const int status = RunLines(form, script, name, stack);
  recorder_->Stop();
  publishing_->Stop();
  // The end of a run closes the window as the operator would: a datalog
  // holding samples is saved as the last datalog rather than lost.
  if (!form.Unloaded) form.Form_Unload();
  return status;
}

std::string ScriptRunner::AppDirectory() { return datalog::CurrentDatalogFolder(appDirectory_); }

int ScriptRunner::RunLines(Form1& form, std::istream& script, const std::string& name,
                           StackControl* stack) {
  form.Form_Load();
  if (Stopped()) {
    ReportEnd(0, "", name + ": the run was stopped");
    return 2;
  }
  if (closed_) {
    out_ << "CLOSED\n";
    ReportEnd(0, "", name + ": the window closed during start-up");
    return 3;
  }
  if (afterStartUp) {
    const std::string refused = afterStartUp(form);
    if (!refused.empty()) {
      ReportEnd(0, "", refused);
      return 2;
    }
  }
  if (!recordFromStart_.empty()) {
    const std::string refused = recorder_->Start(recordFromStart_, form, tickClock_);
    if (!refused.empty()) MsgBox(refused);
  }
  if (!publishUrl_.empty()) {
    const std::string refused = publishing_->Start(publishUrl_, publishAuth_, form, tickClock_);
    if (!refused.empty()) MsgBox(refused);
  }
  return RunSteps(form, script, name, stack);
}

int ScriptRunner::RunSteps(Form1& form, std::istream& script, const std::string& name,
                           StackControl* stack) {
  msgMark_ = messages_.size();
  std::string line;
  int lineNo = 0;
  ScriptLines lines(script);
  while (lines.Next(&line)) {
    if (const int status = RunLine(form, line, name, ++lineNo, stack)) return status;
  }
  if (script.bad()) {
    // A read error is no end of the script: the rest was never run.
    const std::string where = name + ":" + std::to_string(lineNo + 1) + ": ";
    err_ << where << "cannot read the script\n";
    out_ << "SCRIPT ERROR " << where << "cannot read the script\n";
    ReportEnd(lineNo + 1, "", where + "cannot read the script");
    return 2;
  }
  return 0;
}

int ScriptRunner::RunLine(Form1& form, const std::string& line, const std::string& name, int lineNo,
                          StackControl* stack) {
  const std::string where = name + ":" + std::to_string(lineNo) + ": ";
  lineFailure_.clear();
  try {
    std::vector<std::string> words;
    if (!SplitScriptLine(line, &words)) throw ScriptError{"unterminated quoted text"};
    if (words.empty()) return 0;
    const ScriptCommand* command = FindCommand(words[0]);
    if (command == nullptr) throw ScriptError{"unknown command " + Quoted(words[0])};
    ScriptStep step(*this, form, stack, words, where, lineNo, line);
    if (const int status = command->run(step)) return status;
  } catch (const ScriptError& e) {
    lineFailure_ = e.message;
    err_ << where << e.message << "\n";
    out_ << "SCRIPT ERROR " << where << e.message << "\n";
    ReportEnd(lineNo, line, where + e.message);
    return 2;
  } catch (const std::exception& e) {
    lineFailure_ = std::string("internal error: ") + e.what();
    err_ << where << "internal error: " << e.what() << "\n";
    out_ << "INTERNAL ERROR " << where << e.what() << "\n";
    ReportEnd(lineNo, line, where + "internal error: " + e.what());
    return 4;
  }
  if (Stopped()) {
    lineFailure_ = "the run was stopped";
    ReportEnd(lineNo, line, where + "the run was stopped");
    return 2;
  }
  if (closed_ || form.Unloaded) {
    out_ << "CLOSED\n";
    ReportEnd(lineNo, line, where + "the window closed");
    return 3;
  }
  return 0;
}

void ScriptRunner::ReportEnd(int lineNo, const std::string& line, const std::string& message) {
  if (onCheck) onCheck({lineNo, line, ScriptCheck::Outcome::kError, message, 0});
}

}  // namespace eb
