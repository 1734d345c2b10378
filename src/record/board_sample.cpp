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
