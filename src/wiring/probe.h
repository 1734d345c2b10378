// --probe: the FTDI devices on the bus (vendor, product, serial number,
// description), and what answers the identify on each.
#pragma once

#include <iosfwd>
#include <string_view>

#include "link/ftdi_functions.h"

namespace eb {

// Lists the devices of every FTDI product a bridge may use on `out`, tries
// the identify on each (as the window does at start-up) and prints what
// answered. What keeps the probe from listing anything goes to `err`, one
// line after "program: ". Returns 0 when a ZQM4417-2 answered on one of
// them, otherwise 1.
int ProbeFtdiDevices(FtdiFunctions& ftdi, std::ostream& out, std::ostream& err,
                     std::string_view program);

}  // namespace eb
