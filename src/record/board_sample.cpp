#include "record/board_sample.h"

namespace eb {

namespace {

bool SameVolts(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

}  // namespace

const char* OutcomeWord(ReadOutcome outcome) {
  switch (outcome) {
    case ReadOutcome::kMatch: return "match";
    case ReadOutcome::kMismatch: return "mismatch";
    case ReadOutcome::kNone: return "none";
    case ReadOutcome::kUnread: break;
  }
  return "unread";
}

ReadOutcome OutcomeOfWord(const std::string& word) {
  for (const ReadOutcome o : {ReadOutcome::kMatch, ReadOutcome::kMismatch, ReadOutcome::kNone}) {
    if (word == OutcomeWord(o)) return o;
  }
  return ReadOutcome::kUnread;
}

std::string BoardSample::StatusText() const {
  std::string text;
  for (const std::string& code : status) {
    if (!text.empty()) text += ", ";
    text += code;
  }
  return text;
}

bool BoardConfig::operator==(const BoardConfig& o) const {
  return board == o.board && address == o.address && cfgr == o.cfgr && SameVolts(vuv, o.vuv) &&
         SameVolts(vov, o.vov);
}

}  // namespace eb
