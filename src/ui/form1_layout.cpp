#include "ui/form1.h"

namespace eb {

void Form1::BuildControls() {
  ui.caption = "EB2250 ZQM4417-2 MULTICELL ADDRESSABLE BATTERY MONITOR GUI";
  Timer1.interval = 100;
  Timer1.enabled = false;
}

}  // namespace eb
