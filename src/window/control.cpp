#include "window/control.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace eb {

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Frame: return "frame";
    case Kind::CommandButton: return "button";
    case Kind::CheckBox: return "checkbox";
    case Kind::OptionButton: return "option";
    case Kind::TextBox: return "textbox";
    case Kind::ComboBox: return "combobox";
    case Kind::Label: return "label";
    case Kind::Shape: return "shape";
    case Kind::Line: return "line";
    case Kind::Picture: return "picture";
    case Kind::Image: return "image";
    case Kind::Timer: return "timer";
  }
  return "?";
}

std::string ColorText(Rgb c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(c & 0xFFFFFFu));
  return buf;
}

Control::Control(ControlModel& model, Kind k, std::string n) : kind(k), name(std::move(n)) {
  model.add(this);
}

Control::Control(Kind k, std::string n, int i, ControlArray* g)
    : kind(k), name(std::move(n)), index(i), group(g) {}

void Control::setValue(int v) {
  if (kind == Kind::OptionButton) {
    if (v == 0) {
      value_ = 0;  // deselecting runs nothing
      return;
    }
    if (value_ != 0) return;  // already selected
    if (group != nullptr) {
      for (auto& sibling : *group) {
        if (&sibling != this) sibling.value_ = 0;
      }
    }
    value_ = 1;
    click();
    return;
  }
  if (v == value_) return;
  value_ = v;
  if (kind == Kind::CheckBox) click();
}

void Control::setListIndex(int i) {
  if (i < -1 || i >= static_cast<int>(list.size())) {
    throw std::out_of_range(Label() + ": list index " + std::to_string(i) + " out of range");
  }
  if (i == listIndex_) return;
  initListIndex(i);
  click();
}

void Control::initListIndex(int i) {
  listIndex_ = i;
  if (i >= 0 && i < static_cast<int>(list.size())) text = list[static_cast<size_t>(i)];
}

void Control::click() {
  if (onClick) onClick();
}

std::string Control::Label() const {
  if (index < 0) return name;
  return name + "(" + std::to_string(index) + ")";
}

bool Control::effectivelyVisible() const {
  for (const Control* c = this; c != nullptr; c = c->container) {
    if (!c->visible) return false;
  }
  return true;
}

bool Control::effectivelyEnabled() const {
  for (const Control* c = this; c != nullptr; c = c->container) {
    if (!c->enabled) return false;
  }
  return true;
}

bool Control::canFocus() const {
  switch (kind) {
    case Kind::CommandButton:
    case Kind::CheckBox:
    case Kind::OptionButton:
    case Kind::TextBox:
    case Kind::ComboBox: return true;
    default: return false;
  }
}

ControlArray::ControlArray(ControlModel& model, Kind kind, std::string name, int count)
    : name_(std::move(name)) {
  items_.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) items_.emplace_back(kind, name_, i, this);
  model.addArray(this);
}

Control& ControlArray::operator[](int i) {
  if (i < 0 || i >= size()) {
    throw std::out_of_range(name_ + "(" + std::to_string(i) + "): index out of range");
  }
  return items_[static_cast<size_t>(i)];
}

const Control& ControlArray::operator[](int i) const { return const_cast<ControlArray&>(*this)[i]; }

Control* ControlModel::find(const std::string& name, int index) const {
  if (index < 0) {
    auto it = singles_.find(name);
    return it == singles_.end() ? nullptr : it->second;
  }
  auto it = arrays_.find(name);
  if (it == arrays_.end() || index >= it->second->size()) return nullptr;
  return &(*it->second)[index];
}

bool ControlModel::isArray(const std::string& name) const { return arrays_.count(name) != 0; }

int ControlModel::arraySize(const std::string& name) const {
  auto it = arrays_.find(name);
  return it == arrays_.end() ? 0 : it->second->size();
}

void ControlModel::add(Control* c) {
  all_.push_back(c);
  singles_[c->name] = c;
}

void ControlModel::addArray(ControlArray* a) {
  for (auto& c : *a) all_.push_back(&c);
  arrays_[a->name()] = a;
}

void ControlModel::setFocus(Control& c) {
  if (focused_ == &c) return;
  Control* old = focused_;
  focused_ = &c;
  if (old != nullptr && old->onLostFocus) old->onLostFocus();
  if (focused_ == &c && c.onGotFocus) c.onGotFocus();
}

void ControlModel::typeKey(Control& box, int key) {
  if (box.onKeyPress) key = box.onKeyPress(key);
  if (key == 0) return;
  auto caret = static_cast<size_t>(std::clamp(box.caret, 0, static_cast<int>(box.text.size())));
  if (key == 8) {
    if (caret > 0) {
      box.text.erase(caret - 1, 1);
      box.caret = static_cast<int>(caret - 1);
    }
    return;
  }
  if (key == 13 || key == 10) {
    if (!box.multiLine) return;
    box.text.insert(caret, "\r\n");
    box.caret = static_cast<int>(caret + 2);
    return;
  }
  if (key < 32 || key > 255) return;
  box.text.insert(caret, 1, static_cast<char>(key));
  box.caret = static_cast<int>(caret + 1);
}

}  // namespace eb
