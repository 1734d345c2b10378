// The client area of the window: one Qt widget per control of the model.
//
// The model is the only truth. Sync() brings every widget in line with it
// after each event; a cached copy of what each widget shows makes unchanged
// controls cost a few comparisons. Operator input (clicks, choices, keys,
// focus moves) is forwarded to the model through the gate; Qt never edits a
// text, ticks a box or picks an entry on its own, and the updates made by
// Sync() never run a handler.
#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "app/model_gate.h"
#include "window/control.h"

namespace eb::app {

class FormView : public QWidget {
  Q_OBJECT
 public:
  FormView(ControlModel& model, ModelGate& gate, QWidget* parent = nullptr);
  ~FormView() override;

  // Brings every widget (and the input focus) in line with the model.
  void Sync();
  // The widget showing `c` (nullptr for a timer or an unknown control).
  QWidget* widgetFor(const Control& c) const;

  // Duration of the last and of the longest Sync(), in microseconds.
  double lastSyncMicros() const { return lastSyncMicros_; }
  double maxSyncMicros() const { return maxSyncMicros_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // What a widget currently shows.
  struct Shown {
    std::string caption, text, tooltip, picture;
    std::optional<Rgb> back, fore;
    Rgb fill = 0, border = 0;
    bool fillShown = false;
    int borderWidth = 0;
    ShapeType shape = ShapeType::Rectangle;
    bool visible = false, enabled = false, locked = false, multiLine = false;
    int left = 0, top = 0, width = 0, height = 0;
    Font font;
    Align align = Align::Left;
    std::vector<std::string> list;
    int listIndex = -1, value = 0, caret = 0;
  };
  struct Binding {
    Control* control = nullptr;
    QWidget* widget = nullptr;
    Shown shown;
    bool fresh = true;  // nothing shown yet, or the widget may differ: apply everything
  };

  void Build();
  QWidget* CreateWidget(Binding& b);
  QWidget* ContainerWidget(const Control* container);
  unsigned Diff(Binding& b);
  void Apply(Binding& b, unsigned changes);
  void SyncFocus();
  Binding* BindingOf(QObject* object);

  // Operator input.
  void OperatorClick(Binding& b);
  void OperatorCheck(Binding& b);
  void OperatorOption(Binding& b);
  void OperatorChoose(Binding& b, int index);
  void OperatorKey(Binding& b, int key);
  void OperatorCaret(Binding& b, int caret);
  void OperatorFocus(Binding& b);
  bool TextBoxEvent(Binding& b, QEvent* event);
  bool TextBoxKey(Binding& b, QKeyEvent* key);

  ControlModel& model_;
  ModelGate& gate_;
  std::vector<Binding> bindings_;
  Rgb shownBack_ = 0;
  bool syncing_ = false;
  bool focusSyncQueued_ = false;
  double lastSyncMicros_ = 0;
  double maxSyncMicros_ = 0;
};

}  // namespace eb::app
