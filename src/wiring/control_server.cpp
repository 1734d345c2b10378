#include "wiring/control_server.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "protocol/json.h"

namespace eb {

namespace {

// Each line runs as a line of a script under this name (its messages name
// the connection's line).
constexpr const char* kName = "socket";

// A byte-order mark some tools put before their text is no part of the line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string JsonList(const std::vector<std::string>& texts) {
  std::string s = "[";
  for (const std::string& t : texts) s += (s.size() > 1 ? "," : "") + JsonString(t);
  return s + "]";
}

bool SameToken(std::string_view given, std::string_view token) {
  // As long whatever the first differing byte: no timing tells the token.
  unsigned diff = given.size() != token.size() ? 1U : 0U;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const char t = i < token.size() ? token[i] : '\0';
    diff |= static_cast<unsigned char>(given[i] ^ t);
  }
  return diff == 0;
}

// Seconds without sign or exponent ("5", "0.25"), at most `limit`.
std::optional<double> ParseSeconds(const std::string& text, double limit) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
    return std::nullopt;
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v > limit) return std::nullopt;
  return v;
}

void AppendEscape(std::string& out, std::uint32_t unit) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(unit & 0xFFFFU));
  out += buf;
}

// The code point of the multi-byte UTF-8 sequence at s[i] (its lead byte
// is 0x80 or more) and in *len the sequence's length; nothing for a
// malformed, overlong or surrogate sequence or one cut short.
std::optional<std::uint32_t> Utf8At(std::string_view s, std::size_t i, std::size_t* len) {
  const auto c = static_cast<unsigned char>(s[i]);
  const std::size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                        : c >= 0xE0 && c <= 0xEF ? 3
                        : c >= 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
  std::uint32_t cp = n == 2 ? c & 0x1FU : n == 3 ? c & 0x0FU : c & 0x07U;
  bool good = n != 0 && i + n <= s.size();
  for (std::size_t k = 1; good && k < n; ++k) {
    const auto d = static_cast<unsigned char>(s[i + k]);
    good = (d & 0xC0U) == 0x80U;
    cp = (cp << 6) | (d & 0x3FU);
  }
  if (good && n == 3) good = cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF);
  if (good && n == 4) good = cp >= 0x10000 && cp <= 0x10FFFF;
  *len = n;
  if (!good) return std::nullopt;
  return cp;
}

}  // namespace

std::string AsciiJson(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t len = 0;
    const std::optional<std::uint32_t> decoded = Utf8At(s, i, &len);
    if (!decoded) {
      AppendEscape(out, 0xFFFD);
      ++i;
      continue;
    }
    std::uint32_t cp = *decoded;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendEscape(out, 0xD800 + (cp >> 10));
      AppendEscape(out, 0xDC00 + (cp & 0x3FFU));
    } else {
      AppendEscape(out, cp);
    }
    i += len;
  }
  return out;
}

WaitCheck CheckWaitCondition(Form1& form, StackControl* /*stack*/,
                             const std::vector<std::string>& condition) {
  // The script's own wait-for reads its condition the same way.
  std::vector<std::string> words{"wait-for"};
  words.insert(words.end(), condition.begin(), condition.end());
  std::string error;
  const std::optional<Observation> seen = Observe(form, words, &error);
  if (!seen) return {WaitCheck::Result::Bad, "", error};
  if (seen->Holds()) return {WaitCheck::Result::Holds, "", ""};
  return {WaitCheck::Result::NotYet, seen->actual, seen->Failure()};
}

ControlServer::ControlServer(Form1& form, StackControl* stack, std::string token)
    : form_(form), stack_(stack), token_(std::move(token)) {}

ControlServer::Runner::Runner(ControlServer& server)
    : ScriptRunner(server.out_, server.err_), server_(server) {}

void ControlServer::Runner::MsgBox(const std::string& text) {
  ScriptRunner::MsgBox(text);
  server_.MsgBox(text);
}

void ControlServer::Connected(int client) {
  Client c;
  c.authorized = token_.empty();
  clients_[client] = c;
}

void ControlServer::Received(int id, std::string_view bytes) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  Client& c = it->second;
  std::size_t at = 0;
  while (at < bytes.size() && !c.closing && !c.ended) {
    const std::size_t lf = bytes.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? bytes.size() : lf;
    // The limit counts the line without its LF (and without a CR before it).
    const std::size_t room = kMaxLine + 1 - c.partial.size();
    if (end - at > room) {
      Refuse(id, c, "line longer than " + std::to_string(kMaxLine) + " bytes", c.lines + 1);
      return;
    }
    c.partial.append(bytes.substr(at, end - at));
    if (lf == std::string_view::npos) break;
    at = lf + 1;
    std::string text = std::move(c.partial);
    c.partial.clear();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.size() > kMaxLine) {
      Refuse(id, c, "line longer than " + std::to_string(kMaxLine) + " bytes", c.lines + 1);
      return;
    }
    Line(id, c, std::move(text));
  }
}

void ControlServer::Line(int id, Client& c, std::string text) {
  const int n = ++c.lines;
  if (!c.authorized) {
    if (n == 1 && SameToken(text, token_)) {
      c.authorized = true;
      Answer(id, R"({"ok":true})");
    } else {
      Refuse(id, c, "the first line must be the token of --listen-token", n);
    }
    return;
  }
  queue_.push_back({id, n, std::move(text)});
  ++c.queued;
}

void ControlServer::InputEnded(int id) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  it->second.ended = true;
  it->second.partial.clear();
  DropGone();
  CloseWhenDone(id);
}

void ControlServer::DropGone() {
  if (!gone) return;
  for (auto& [id, c] : clients_) {
    if (!c.wait || c.closing || !gone(id)) continue;
    // Nobody is there to take the answer: the wait and the lines behind it go.
    c.wait.reset();
    DropLines(id, c);
    c.closing = true;
    if (close) close(id);
  }
}

void ControlServer::DropLines(int id, Client& c) {
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                              [id](const Queued& q) { return q.client == id; }),
               queue_.end());
  c.queued = 0;
}

void ControlServer::Disconnected(int id) {
  clients_.erase(id);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                              [id](const Queued& q) { return q.client == id; }),
               queue_.end());
}

bool ControlServer::WantsInput(int id) const {
  auto it = clients_.find(id);
  if (it == clients_.end()) return false;
  const Client& c = it->second;
  return !c.closing && !c.ended && c.queued < kMaxQueued;
}

bool ControlServer::HasLine() const {
  return std::any_of(queue_.begin(), queue_.end(),
                     [this](const Queued& q) { return !clients_.at(q.client).wait; });
}

bool ControlServer::Waiting() const {
  return std::any_of(clients_.begin(), clients_.end(),
                     [](const auto& entry) { return entry.second.wait.has_value(); });
}

std::optional<ControlServer::Clock::time_point> ControlServer::NextDeadline() const {
  std::optional<Clock::time_point> next;
  for (const auto& [id, c] : clients_) {
    if (c.wait && (!next || c.wait->deadline < *next)) next = c.wait->deadline;
  }
  return next;
}

void ControlServer::RunNext(Clock::time_point now) {
  auto q = std::find_if(queue_.begin(), queue_.end(),
                        [this](const Queued& e) { return !clients_.at(e.client).wait; });
  if (q == queue_.end()) return;
  const Queued line = std::move(*q);
  queue_.erase(q);
  Client& c = clients_.at(line.client);
  --c.queued;
  Run(line.client, c, line.line, line.text, now);
  CloseWhenDone(line.client);
}

void ControlServer::Error(int id, int line, const std::string& message) {
  Answer(id, "{\"error\":" + JsonString(message) + ",\"line\":" + std::to_string(line) + Extras() +
                 "}");
}

void ControlServer::StartWait(int id, Client& c, int line, const std::vector<std::string>& words,
                              Clock::time_point now) {
  if (words.size() < 5)
    return Error(id, line, "wait-for: use wait-for NAME [INDEX] PROP VALUE TIMEOUT");
  const std::optional<double> seconds = ParseSeconds(words.back(), kMaxWaitSeconds);
  if (!seconds) {
    return Error(id, line,
                 "wait-for: bad time-out \"" + words.back() + "\" (seconds, 0 … " +
                     std::to_string(static_cast<int>(kMaxWaitSeconds)) + ")");
  }
  Wait wait;
  wait.line = line;
  wait.condition.assign(words.begin() + 1, words.end() - 1);
  wait.deadline =
      now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*seconds));
  wait.timeout = words.back();
  wait.last = CheckWaitCondition(form_, stack_, wait.condition);
  if (wait.last.result == WaitCheck::Result::Bad) return Error(id, line, wait.last.message);
  c.wait = std::move(wait);
  if (c.wait->last.result == WaitCheck::Result::Holds || now >= c.wait->deadline)
    Finished(id, c, c.wait->last);
}

void ControlServer::Run(int id, Client& c, int line, const std::string& received,
                        Clock::time_point now) {
  const std::string text =
      received.rfind(kByteOrderMark, 0) == 0 ? received.substr(kByteOrderMark.size()) : received;
  boxes_.clear();
  ignored_.clear();
  auto error = [&](const std::string& message) { Error(id, line, message); };
  if (text.find('\r') != std::string::npos) return error("a line may not hold a carriage return");
  std::vector<std::string> words;
  if (SplitScriptLine(text, &words) && !words.empty()) {
    if (words[0] == "tick") {
      return error("tick: the window's own timer runs; wait-for waits for a condition");
    }
    if (words[0] == "wait-for") return StartWait(id, c, line, words, now);
  }

  out_.str("");
  out_.clear();
  err_.str("");
  err_.clear();
  const int status = runner_.RunLine(form_, text, kName, line, stack_);
  // What the line printed: JSON of print and state, the operator's clicks
  // that did not reach their control.
  std::vector<std::string> printed;
  std::istringstream lines(out_.str());
  constexpr std::string_view kIgnored = "IGNORED: ";
  for (std::string l; std::getline(lines, l);) {
    if (!l.empty() && l.front() == '{') {
      printed.push_back(l);
    } else if (l.rfind(kIgnored, 0) == 0) {
      ignored_.push_back(l.substr(kIgnored.size()));
    }
  }
  if (status == 3) return error("the window closed");
  if (status != 0) {
    const std::string& failure = runner_.lineFailure();
    return error(failure.empty() ? "the line failed" : failure);
  }
  if (printed.size() == 1 && Extras().empty()) return Answer(id, printed.front());
  if (printed.size() > 1) {
    std::string list = "[";
    for (const std::string& p : printed) list += (list.size() > 1 ? "," : "") + p;
    return Answer(id, list + "]");
  }
  Answer(id, "{\"ok\":true" + Extras() + "}");
}

void ControlServer::CheckWaits(Clock::time_point now) {
  DropGone();
  for (auto& [id, c] : clients_) {
    if (!c.wait) continue;
    c.wait->last = CheckWaitCondition(form_, stack_, c.wait->condition);
    if (c.wait->last.result != WaitCheck::Result::NotYet || now >= c.wait->deadline) {
      Finished(id, c, c.wait->last);
    }
  }
}

void ControlServer::ExpireWaits(Clock::time_point now) {
  DropGone();
  for (auto& [id, c] : clients_) {
    if (c.wait && now >= c.wait->deadline) Finished(id, c, c.wait->last);
  }
}

void ControlServer::Finished(int id, Client& c, const WaitCheck& result) {
  const WaitCheck check = result;  // it may be the wait's own, which goes now
  const Wait wait = std::move(*c.wait);
  c.wait.reset();
  const std::string where = ",\"line\":" + std::to_string(wait.line);
  switch (check.result) {
    case WaitCheck::Result::Holds: Answer(id, R"({"ok":true})"); break;
    case WaitCheck::Result::Bad:
      Answer(id, "{\"error\":" + JsonString(check.message) + where + "}");
      break;
    case WaitCheck::Result::NotYet:
      Answer(id,
             "{\"error\":" +
                 JsonString("wait-for: timed out after " + wait.timeout + " s: " + check.message) +
                 where + ",\"observed\":" + (check.observed.empty() ? "null" : check.observed) +
                 "}");
      break;
  }
  CloseWhenDone(id);
}

void ControlServer::CloseWhenDone(int id) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  Client& c = it->second;
  if (c.ended && !c.closing && c.queued == 0 && !c.wait) {
    c.closing = true;
    if (close) close(id);
  }
}

void ControlServer::Answer(int id, const std::string& json) {
  if (send) send(id, AsciiJson(json));
}

void ControlServer::Refuse(int id, Client& c, const std::string& message, int line) {
  Answer(id, "{\"error\":" + JsonString(message) + ",\"line\":" + std::to_string(line) + "}");
  c.closing = true;
  c.partial.clear();
  c.wait.reset();
  DropLines(id, c);
  if (close) close(id);
}

std::string ControlServer::Extras() const {
  std::string s;
  if (!ignored_.empty()) s += ",\"ignored\":" + JsonList(ignored_);
  if (!boxes_.empty()) s += ",\"msgbox\":" + JsonList(boxes_);
  return s;
}

}  // namespace eb
