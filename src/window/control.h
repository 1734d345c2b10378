// Window model: one Control object per control of the window.
//
// The window logic works only on these objects; a front end (the Qt program
// or the script runner) renders them and forwards operator input. The
// control-event cascade lives here: changing a check box value, selecting an
// option button or changing a combo box list index runs that control's click
// handler synchronously, whether the change comes from code or from the
// operator. Every other property is plain data and runs nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace eb {

using Rgb = std::uint32_t;  // 0xRRGGBB

namespace colors {
inline constexpr Rgb Black = 0x000000;
inline constexpr Rgb White = 0xFFFFFF;
inline constexpr Rgb LightGrey = 0xC0C0C0;
inline constexpr Rgb PaleGrey = 0xE0E0E0;
inline constexpr Rgb Grey = 0x808080;
inline constexpr Rgb DarkRed = 0x800000;
inline constexpr Rgb Red = 0xFF0000;
inline constexpr Rgb Green = 0x00FF00;
inline constexpr Rgb DarkGreen = 0x008000;
inline constexpr Rgb Yellow = 0xFFFF00;
inline constexpr Rgb Orange = 0xFF8000;
inline constexpr Rgb LightBlue = 0x8080FF;
inline constexpr Rgb LightYellow = 0xFFFF80;
inline constexpr Rgb Blue = 0x0000C0;
// The system "window background" colour (text box and lamp background).
inline constexpr Rgb WindowBackground = White;
// The form's own background.
inline constexpr Rgb FormBackground = LightGrey;
}  // namespace colors

enum class Kind {
  Frame,
  CommandButton,
  CheckBox,
  OptionButton,
  TextBox,
  ComboBox,
  Label,
  Shape,
  Line,
  Picture,
  Image,
  Timer,
};
const char* KindName(Kind kind);

enum class Align { Left, Right, Center };
enum class ShapeType { Rectangle, Square, Oval, Circle, RoundedRectangle };

struct Font {
  std::string name = "Arial";
  double size = 8.25;
  bool bold = false;
};

class ControlModel;
class ControlArray;

class Control {
 public:
  Control(ControlModel& model, Kind kind, std::string name);
  // Element of a control array; created by ControlArray.
  Control(Kind kind, std::string name, int index, ControlArray* group);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  Control(Control&&) = default;

  // Identity.
  Kind kind;
  std::string name;
  int index = -1;                 // -1: not an element of a control array
  Control* container = nullptr;   // enclosing frame; nullptr = the window
  ControlArray* group = nullptr;  // owning array (option exclusivity)

  // Appearance. Colours that a kind does not have stay unset; a label with
  // no back colour is transparent.
  std::string caption;
  std::string text;
  std::string tooltip;
  std::optional<Rgb> back;
  std::optional<Rgb> fore;
  Rgb fill = colors::White;    // shapes
  bool fillShown = false;      // shapes: solid fill (true) or transparent
  Rgb border = colors::Black;  // shapes and lines
  int borderWidth = 1;
  ShapeType shape = ShapeType::Rectangle;
  bool visible = true;
  bool enabled = true;
  bool locked = false;  // text boxes: display only
  // Geometry in pixels relative to the container. A line runs from
  // (left, top) to (left + width, top + height).
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  Font font;
  Align align = Align::Left;
  bool multiLine = false;
  std::string picture;  // name of one of our own drawings (pictures, images, picture buttons)
  std::vector<std::string> list;  // combo boxes
  int interval = 0;               // timers, milliseconds
  int caret = 0;                  // text boxes: insertion point

  // Event handlers, bound by the window logic.
  std::function<void()> onClick;
  std::function<void()> onGotFocus;
  std::function<void()> onLostFocus;
  // Key press: receives the character code, returns the code to insert (0 drops it).
  std::function<int(int)> onKeyPress;

  // Check box value (0/1) or option button value (0/1). Setting a check box
  // to a different value, or an option button to 1 while it is not
  // selected, runs the click handler; an option button selected this way
  // deselects the other members of its array. Deselecting runs nothing.
  int value() const { return value_; }
  void setValue(int v);
  // Combo box list index (-1 = none). A change runs the click handler and
  // sets the text to the list entry.
  int listIndex() const { return listIndex_; }
  void setListIndex(int i);
  // Initial values, set while building the window: no handler runs.
  void initValue(int v) { value_ = v; }
  void initListIndex(int i);

  void click();  // runs the click handler if bound

  // "Name(i)" or "Name".
  std::string Label() const;
  // True when the control and every enclosing frame are visible / enabled.
  bool effectivelyVisible() const;
  bool effectivelyEnabled() const;
  // Whether the control can take the input focus at all (kind).
  bool canFocus() const;

 private:
  int value_ = 0;
  int listIndex_ = -1;
};

// A control array: one name, elements indexed from 0.
class ControlArray {
 public:
  ControlArray(ControlModel& model, Kind kind, std::string name, int count);
  ControlArray(const ControlArray&) = delete;
  ControlArray& operator=(const ControlArray&) = delete;

  Control& operator[](int i);
  const Control& operator[](int i) const;
  int size() const { return static_cast<int>(items_.size()); }
  const std::string& name() const { return name_; }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }

 private:
  std::string name_;
  std::vector<Control> items_;
};

// The window: owns the registry of all controls, the input focus and the
// window-level properties.
class ControlModel {
 public:
  ControlModel() = default;
  ControlModel(const ControlModel&) = delete;
  ControlModel& operator=(const ControlModel&) = delete;

  std::string caption;
  int clientWidth = 894;
  int clientHeight = 572;
  Rgb back = colors::FormBackground;

  // Every control in creation order (which is also the drawing order).
  const std::vector<Control*>& controls() const { return all_; }
  // Lookup by name and index (-1 for a control that is not in an array).
  // Returns nullptr when there is no such control.
  Control* find(const std::string& name, int index) const;
  // True when `name` is a control array.
  bool isArray(const std::string& name) const;
  // Number of elements of an array (0 for an unknown name).
  int arraySize(const std::string& name) const;

  // Input focus. Moving it runs the lost-focus handler of the control that
  // had it, then the got-focus handler of the new one.
  Control* focused() const { return focused_; }
  void setFocus(Control& c);
  void clearFocus() { focused_ = nullptr; }

  // Keyboard input to the focused text box: the key-press handler decides
  // which character (if any) is inserted at the caret. Backspace (8)
  // deletes before the caret; Enter (13) inserts nothing in a single-line box.
  void typeKey(Control& box, int key);

  // Registration (called by Control/ControlArray constructors).
  void add(Control* c);
  void addArray(ControlArray* a);

 private:
  std::vector<Control*> all_;
  std::map<std::string, Control*> singles_;
  std::map<std::string, ControlArray*> arrays_;
  Control* focused_ = nullptr;
};

// "#RRGGBB"
std::string ColorText(Rgb c);

}  // namespace eb
