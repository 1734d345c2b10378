// Under- and over-voltage threshold entry: typed volts or arrow steps,
// validated, stored as 24 mV counts and shown back.
#include <cmath>
#include <cstdlib>

#include "protocol/hex.h"
#include "protocol/registers.h"
#include "window/form1.h"

namespace eb {

namespace {

constexpr const char* kRangeMessage = "Only Enter Values Between 0.000V and 6.120V.";
constexpr const char* kOrderMessage = "VUV must be less than VOV";

std::string Trimmed(const std::string& text) {
  auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string ThresholdText(int count) { return Fixed3(count * kVoltsPerThresholdCount) + "V "; }

}  // namespace

void Form1::Text2_GotFocus(int index) {
  Text2[index].text = "";
  Text2[index].caret = 0;
}

void Form1::Text2_Keypress(int index, int& KeyAscii) {
  Text2[index].fore = colors::LightGrey;
  KeyAscii = NUMERIC_KEY_FILTER(index, KeyAscii);
}

int Form1::NUMERIC_KEY_FILTER(int box, int key) {
  Control& t = Text2[box];
  // Only a text with a space at one end changes, so the check costs nothing
  // for the keys of a long text.
  if (!t.text.empty() && (t.text.front() == ' ' || t.text.back() == ' ')) {
    t.text = Trimmed(t.text);
    t.caret = static_cast<int>(t.text.size());
  }
  if (key == 8) return key;
  if (key == 13) {
    SetFocus(Command1[5]);
    return key;
  }
  if (key == '.') {
    std::size_t& point = knownPoint_[box == 0 ? 0 : 1];
    if (point >= t.text.size() || t.text[point] != '.') point = t.text.find('.');
    return point != std::string::npos ? 0 : key;
  }
  if (key == '-') return (t.caret != 0 || t.text.find('-') != std::string::npos) ? 0 : key;
  if (key >= '0' && key <= '9') return key;
  return 0;
}

void Form1::Text2_LostFocus(int index) {
  float u = LeadingNumber(Text2[0].text);
  float o = LeadingNumber(Text2[1].text);
  const float limit = 6.12f;
  if (u < 0 || u > limit) {
    MsgBox(kRangeMessage);
  } else {
    u = u / kVoltsPerThresholdCountF;
    if (o < 0 || o > limit) {
      MsgBox(kRangeMessage);
    } else {
      o = o / kVoltsPerThresholdCountF;
      if (u >= o) {
        MsgBox(kOrderMessage);
      } else {
        auto reg = static_cast<I16>(std::nearbyint(index == 0 ? u : o));
        BoardFlags& target = index == 0 ? VUVreg : VOVreg;
        if (Option1[0].value() == 1) {
          target[static_cast<size_t>(BRDnumber)] = reg;
        } else if (Option1[1].value() == 1) {
          for (int i = 0; i <= CARDSTACK; ++i) target[static_cast<size_t>(i)] = reg;
        }
      }
    }
  }
  DISPLAY_VUV_VOV_EB2250();
}

// The arrows step a threshold one count, wrapping at the ends of the 8-bit
// register: 0, 2 lower and 1, 3 raise VUV and VOV.
void Form1::Command2_Click(int index) {
  if (index >= 0 && index <= 3) {
    I16& reg = (index < 2 ? VUVreg : VOVreg)[static_cast<size_t>(BRDnumber)];
    if (index % 2 == 0)
      reg = static_cast<I16>(reg == 0 ? 255 : reg - 1);
    else
      reg = static_cast<I16>(reg >= 255 ? 0 : reg + 1);
    Text2[index / 2].fore = colors::LightGrey;
  }
  DISPLAY_VUV_VOV_EB2250();
}

void Form1::DISPLAY_VUV_VOV_EB2250() {
  auto b = static_cast<size_t>(BRDnumber);
  CFGR4[b] = ByteHex(VUVreg[b]);
  Text2[0].text = ThresholdText(VUVreg[b]);
  CFGR5[b] = ByteHex(VOVreg[b]);
  Text2[1].text = ThresholdText(VOVreg[b]);
  REFRESH_CFGR_FRAME4_EB2250();
}

void Form1::READ_VUV_VOV() {
  for (int i = 0; i <= CARDSTACK; ++i) {
    auto b = static_cast<size_t>(i);
    std::optional<int> u = HexTextValue(CFGR4rd[b]);
    std::optional<int> o = HexTextValue(CFGR5rd[b]);
    VUVread[b] = u ? ThresholdText(*u) : "-.---V ";
    VOVread[b] = o ? ThresholdText(*o) : "-.---V ";
  }
}

}  // namespace eb
