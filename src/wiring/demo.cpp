#include "wiring/demo.h"

namespace eb {

const char* const kDemoScript =
    R"(# Four boards, duty cycle 1 (global: every board), thresholds 3.4 V / 4.2 V.
set Combo1 3
click Command0 1
type Text2 1 "4.2\r"
type Text2 0 "3.4\r"
# Board 1: discharge cell 3, mask the interrupt of cell 7.
click Check1 2
click Check3 2
# Board 2: cell 9 sags below the under-voltage threshold.
sim cell 1 9 3.2
# Write to every board, read each board back, then read continuously.
click Command1 5
click Command4 3
click Command1 6
click Command4 2
click Command1 6
click Command4 1
click Command1 6
click Command4 0
click Command1 6
click Command1 10
)";

}  // namespace eb
