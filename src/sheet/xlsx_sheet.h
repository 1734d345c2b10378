// A worksheet saved as a one-sheet .xlsx workbook (libxlsxwriter).
//
// Saving never leaves a half-written file: the workbook is written to a
// temporary file in the target's directory and renamed over the target only
// once it is complete, so a failed save leaves any earlier file untouched.
#pragma once

#include <string>

#include "sheet/sheet.h"

namespace eb::datalog {

class XlsxSheet : public MemorySheet {
 public:
  std::string Save(const std::string& path) override;
};

}  // namespace eb::datalog
