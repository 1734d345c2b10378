#include "window/tick_watch.h"

#include <algorithm>

#include "window/form1.h"

namespace eb {

namespace {
constexpr int kMaxBoards = 10;
}

void TickWatch::Before(const Form1& form) {
  before_.seen = true;
  before_.reading = form.OnOff == 1 && !form.Unloaded;
  before_.step = form.MEASUREflag;
  before_.board = form.BRDread;
  before_.lastStep = form.DATACOLLECTflag == 1 ? 3 : 2;
}

std::optional<TickStep> TickWatch::After(const Form1& form,
                                         std::chrono::system_clock::time_point now) {
  if (!before_.seen) return std::nullopt;
  before_.seen = false;
  TickStep t;
  // Ticks go in time order even if the clock is set back.
  t.ms = std::max<std::int64_t>(
      lastMs_,
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
  lastMs_ = t.ms;
  t.step = before_.step;
  t.board = before_.board;
  t.lastStep = before_.lastStep;
  // A window closed during the tick (the bridge went away) performed no step.
  t.performed =
      before_.reading && !form.Unloaded && before_.board >= 0 && before_.board < kMaxBoards;
  // A read that gives up stops the reading within the tick.
  t.gaveUp = form.OnOff != 1;
  const bool reading = form.OnOff == 1 && !form.Unloaded;
  t.stopped = reading_ && !reading;
  reading_ = reading;
  t.boards = std::clamp(form.CARDSTACK + 1, 1, kMaxBoards);
  return t;
}

}  // namespace eb
