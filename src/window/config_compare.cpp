// Configuration read back from the selected board, compared byte by byte
// with the configuration on screen.
#include "protocol/hex.h"
#include "window/form1.h"

namespace eb {

void Form1::DISPLAY_RDCFG() {
  auto b = static_cast<size_t>(BRDnumber);
  const BoardTexts* rd[] = {&CFGR0rd, &CFGR1rd, &CFGR2rd, &CFGR3rd, &CFGR4rd, &CFGR5rd};
  for (int k = 0; k <= 5; ++k) {
    if (RDCFGflag == 1) {
      Text5[k].text = "   " + (*rd[k])[b] + "   ";
    } else {
      Text5[k].text = "";
      Text5[k].back = colors::WindowBackground;
    }
  }
}

void Form1::Compare_CFGR() {
  auto b = static_cast<size_t>(BRDnumber);
  const BoardTexts* now[] = {&CFGR0, &CFGR1, &CFGR2, &CFGR3, &CFGR4, &CFGR5};
  const BoardTexts* rd[] = {&CFGR0rd, &CFGR1rd, &CFGR2rd, &CFGR3rd, &CFGR4rd, &CFGR5rd};
  for (int k = 0; k <= 5; ++k) {
    std::optional<int> w = HexTextValue((*now[k])[b]);
    std::optional<int> r = HexTextValue((*rd[k])[b]);
    // A byte that could not be read never matches.
    bool same = w && r && *w == *r;
    Text5[k].back = same ? colors::WindowBackground : colors::Red;
  }
}

}  // namespace eb
