#include "window/form1.h"

#include <stdexcept>

namespace eb {

Form1::Form1(Bridge& b, Platform& p) : bridge(b), platform(p) {
  BuildControls();
  BindHandlers();
}

namespace {
// Binds `handler(i)` as the click handler of every element of an array.
template <typename F>
void BindClicks(ControlArray& array, const bool& unloaded, F handler) {
  for (auto& c : array) {
    int i = c.index;
    c.onClick = [&unloaded, handler, i] {
      if (!unloaded) handler(i);
    };
  }
}
}  // namespace

void Form1::BindHandlers() {
  auto bind = [this](ControlArray& a, void (Form1::*proc)(int)) {
    BindClicks(a, Unloaded, [this, proc](int i) { (this->*proc)(i); });
  };
  auto bind1 = [this](Control& c, void (Form1::*proc)()) {
    c.onClick = [this, proc] {
      if (!Unloaded) (this->*proc)();
    };
  };
  bind(Command0, &Form1::Command0_Click);
  bind(Command1, &Form1::Command1_click);
  bind(Command2, &Form1::Command2_Click);
  bind(Command3, &Form1::Command3_Click);
  bind(Command4, &Form1::Command4_Click);
  bind(Command5, &Form1::Command5_Click);
  bind(Check0, &Form1::Check0_Click);
  bind(Check1, &Form1::Check1_Click);
  bind(Check2, &Form1::Check2_Click);
  bind(Check3, &Form1::Check3_Click);
  bind(Check5, &Form1::Check5_Click);
  bind(Check6, &Form1::Check6_Click);
  bind(Check7, &Form1::Check7_Click);
  bind(Check8, &Form1::Check8_Click);
  bind(Option1, &Form1::Option1_Click);
  bind(Option2, &Form1::Option2_Click);
  bind(Option3, &Form1::Option3_Click);
  bind1(Check_AUTO, &Form1::Check_AUTO_Click);
  bind1(Combo1, &Form1::Combo1_Click);
  bind1(Combo2, &Form1::Combo2_Click);
  bind1(Timer1, &Form1::Timer1_Timer);
  for (auto& box : Text2) {
    int i = box.index;
    box.onGotFocus = [this, i] {
      if (!Unloaded) Text2_GotFocus(i);
    };
    box.onLostFocus = [this, i] {
      if (!Unloaded) Text2_LostFocus(i);
    };
    box.onKeyPress = [this, i](int key) {
      if (Unloaded) return 0;
      Text2_Keypress(i, key);
      return key;
    };
  }
}

void Form1::UnloadMe() {
  if (Unloaded) return;
  Form_Unload();
  Unloaded = true;
  Timer1.enabled = false;
  platform.Unload();
}

void Form1::MsgBox(const std::string& text) { platform.MsgBox(text); }

std::string& Form1::DataCell(int slot, int field, int board) {
  if (slot < 0 || slot >= kDlogSlots || field < 0 || field >= kDlogFields || board < 0 ||
      board >= kBoards) {
    throw std::out_of_range("datalog cell out of range");
  }
  if (dlog_.empty()) dlog_.resize(static_cast<size_t>(kDlogSlots) * kDlogFields * kBoards);
  return dlog_[(static_cast<size_t>(slot) * kDlogFields + static_cast<size_t>(field)) * kBoards +
               static_cast<size_t>(board)];
}

std::chrono::system_clock::time_point& Form1::DataTime(int slot) {
  if (slot < 0 || slot >= kDlogSlots) throw std::out_of_range("datalog slot out of range");
  if (dlogTime_.empty()) dlogTime_.resize(static_cast<size_t>(kDlogSlots));
  return dlogTime_[static_cast<size_t>(slot)];
}

std::chrono::system_clock::time_point Form1::DataTime(int slot) const {
  if (dlogTime_.empty()) return {};
  return const_cast<Form1*>(this)->DataTime(slot);
}

const std::string& Form1::DataCell(int slot, int field, int board) const {
  static const std::string empty;
  if (dlog_.empty()) return empty;
  return const_cast<Form1*>(this)->DataCell(slot, field, board);
}

}  // namespace eb
