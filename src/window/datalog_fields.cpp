// How each datalog field is collected from the window's state.
#include "window/datalog_fields.h"

#include "window/cell_status.h"

namespace eb::datalog::collect {

namespace {

std::size_t At(int b) { return static_cast<std::size_t>(b); }

const char* Word(I16 answer) {
  switch (answer) {
    case kPecMatched: return "match";
    case kPecFailed: return "mismatch";
    case kNoAnswer: return "none";
    default: return "unread";
  }
}

}  // namespace

std::string ConfigRead(const Form1& f, int b) {
  const std::size_t i = At(b);
  return f.CFGR0rd[i] + ", " + f.CFGR1rd[i] + ", " + f.CFGR2rd[i] + ", " + f.CFGR3rd[i] + ", " +
         f.CFGR4rd[i] + ", " + f.CFGR5rd[i] + ".";
}

std::string FlagsRead(const Form1& f, int b) {
  const std::size_t i = At(b);
  return f.FLGR0rd[i] + ", " + f.FLGR1rd[i] + ", " + f.FLGR2rd[i];
}

std::string UnderVoltage(const Form1& f, int b) { return f.VUVread[At(b)]; }
std::string OverVoltage(const Form1& f, int b) { return f.VOVread[At(b)]; }

// The twelve cells' two-letter codes, "??" for a code outside 0 … 7.
std::string Statuses(const Form1& f, int b) {
  std::string codes;
  for (int c = 0; c <= 11; ++c) {
    if (c > 0) codes += ", ";
    const CellStatusLook* look = CellStatusOf(f.CELLstatus[CellStatusIndex(b, c)]);
    codes += look ? look->code : "??";
  }
  return codes;
}

std::string Reads(const Form1& f, int b) {
  const std::size_t i = At(b);
  return std::string("CFGR=") + Word(f.RDCFGanswer[i]) + " FLGR=" + Word(f.RDFLGanswer[i]) +
         " CV=" + Word(f.RDCVanswer[i]) + " TMP=" + Word(f.RDTMPanswer[i]);
}

}  // namespace eb::datalog::collect
