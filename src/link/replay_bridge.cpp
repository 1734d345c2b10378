#include "link/replay_bridge.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "link/printable.h"
#include "link/settings_parser.h"

namespace eb {
namespace {

// A trace is read whole; this many transactions (days of continuous
// reading) bound the memory a wrong file can take.
constexpr std::size_t kMaxTransactions = 10'000'000;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Undoes the trace's escapes (\r, \n, \t, \\, \xHH); false for any other
// backslash or a raw control character.
bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'r': out->push_back('\r'); break;
      case 'n': out->push_back('\n'); break;
      case 't': out->push_back('\t'); break;
      case '\\': out->push_back('\\'); break;
      case 'x': {
        const int hi = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int lo = hi >= 0 ? HexValue(text[i + 2]) : -1;
        if (lo < 0) return false;
        out->push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

// A command or reply inside a message, quoted and printable.
std::string Shown(std::string_view text) { return "\"" + Excerpt(text, 60) + "\""; }

}  // namespace

std::optional<std::vector<RecordedTransaction>> ParseTraceText(std::string_view text,
                                                               const std::string& name,
                                                               std::string* error) {
  std::vector<RecordedTransaction> out;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    auto refuse = [&](const std::string& why) {
      if (error) *error = name + ":" + std::to_string(number) + ": " + why;
      return std::nullopt;
    };
    const std::size_t a = line.find('\t');
    const std::size_t b = a == std::string_view::npos ? a : line.find('\t', a + 1);
    if (b == std::string_view::npos || line.find('\t', b + 1) != std::string_view::npos) {
      return refuse("expected SECONDS, COMMAND and REPLY separated by tabs (a --trace file)");
    }
    double seconds = 0;
    if (!ParseRealNumber(line.substr(0, a), 0, 1e12, &seconds))
      return refuse("bad time " + Shown(line.substr(0, a)));
    RecordedTransaction t;
    t.line = number;
    if (!Unescape(line.substr(a + 1, b - a - 1), &t.command) ||
        !Unescape(line.substr(b + 1), &t.reply)) {
      return refuse("bad escape or control character (\\r, \\n, \\t, \\\\ and \\xHH are known)");
    }
    if (out.size() == kMaxTransactions)
      return refuse("more than " + std::to_string(kMaxTransactions) + " transactions");
    out.push_back(std::move(t));
  }
  return out;
}

std::optional<ReplaySettings> ParseReplaySettings(std::string_view text, std::string* error) {
  auto refuse = [error](const std::string& why) {
    if (error) *error = "replay: " + why;
    return std::nullopt;
  };
  if (text.empty()) return refuse("missing trace file (expected replay:TRACE, a --trace file)");
  ReplaySettings s;
  s.path = std::string(text);
  // Only a regular file: a FIFO or a device would hang the start.
  struct stat st {};
  if (::stat(s.path.c_str(), &st) != 0)
    return refuse("cannot read \"" + Excerpt(s.path) + "\": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return refuse("\"" + Excerpt(s.path) + "\" is not a regular file");
  std::ifstream in(s.path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad())
    return refuse("cannot read \"" + Excerpt(s.path) + "\": " + std::strerror(errno));
  std::string why;
  auto transactions = ParseTraceText(content, Excerpt(s.path), &why);
  if (!transactions) return refuse(why);
  s.transactions = std::move(*transactions);
  return s;
}

ReplayBridge::ReplayBridge(ReplaySettings settings)
    : settings_(std::move(settings)),
      description_("replay of \"" + Excerpt(settings_.path) + "\" (" +
                   std::to_string(settings_.transactions.size()) + " transactions)") {}

const RecordedTransaction* ReplayBridge::Current() const {
  return open_ ? &settings_.transactions[next_ - 1] : nullptr;
}

bool ReplayBridge::Open(int) {
  open_ = false;
  if (Diverged()) return false;
  if (next_ == settings_.transactions.size()) {
    divergence_ = "the trace ended after its " + std::to_string(next_) +
                  " transactions; the window asked for another";
    return false;
  }
  ++next_;
  open_ = true;
  written_.clear();
  delivered_ = 0;
  return true;
}

bool ReplayBridge::Matches(bool complete) {
  const RecordedTransaction* t = Current();
  if (t == nullptr || Diverged()) return false;
  const bool prefix = t->command.compare(0, written_.size(), written_) == 0;
  if (prefix && (!complete || written_.size() == t->command.size())) return true;
  divergence_ = "trace line " + std::to_string(t->line) + " (transaction " + std::to_string(next_) +
                ") expected " + Shown(t->command) + ", got " + Shown(written_);
  open_ = false;
  return false;
}

std::size_t ReplayBridge::Write(std::string_view command) {
  if (!open_) return 0;
  written_.append(command);
  return Matches(false) ? command.size() : 0;
}

std::size_t ReplayBridge::Read(char* buffer, std::size_t n) {
  if (!Matches(true)) return 0;
  const std::string& reply = Current()->reply;
  const std::size_t count = std::min(n, reply.size() - delivered_);
  std::copy_n(reply.data() + delivered_, count, buffer);
  delivered_ += count;
  return count;
}

void ReplayBridge::Close() {
  if (open_) Matches(true);
  open_ = false;
}

LinkError ReplayBridge::LastFailure() const {
  if (!Diverged()) return {};
  return {Trouble::kLost, "the replay left the trace: " + divergence_,
          "replay the steps that were recorded (the same script or clicks, the same options)"};
}

std::string ReplayBridge::Summary() const {
  std::string line = "replay: " + std::to_string(next_) + " of " +
                     std::to_string(settings_.transactions.size()) + " transactions replayed";
  return Diverged() ? line + "; it left the trace: " + divergence_ : line;
}

}  // namespace eb
