#include "app/form_view.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>

#include "app/control_widgets.h"
#include "app/qt_text.h"

namespace eb::app {

namespace {

enum Change : unsigned {
  kGeometry = 1u << 0,
  kCaption = 1u << 1,
  kText = 1u << 2,  // text or caret
  kTooltip = 1u << 3,
  kColors = 1u << 4,
  kLook = 1u << 5,  // shape type, fill, border
  kVisible = 1u << 6,
  kEnabled = 1u << 7,
  kLocked = 1u << 8,
  kFont = 1u << 9,
  kAlign = 1u << 10,
  kPicture = 1u << 11,
  kList = 1u << 12,
  kListIndex = 1u << 13,
  kValue = 1u << 14,
  kMultiLine = 1u << 15,
  kAll = ~0u,
};

template <typename T>
bool Take(T& shown, const T& now) {
  if (shown == now) return false;
  shown = now;
  return true;
}

// Whether any of the given Take results is true. Each Take is an argument, so
// every one of them has run (and recorded its value) before this is called;
// || inside the condition would skip the ones after the first change.
template <typename... Taken>
bool AnyTaken(Taken... taken) {
  return (taken || ...);
}

bool Lightweight(Kind kind) {
  switch (kind) {
    case Kind::Label:
    case Kind::Shape:
    case Kind::Line:
    case Kind::Image: return true;
    default: return false;
  }
}

// Text boxes: the characters a box shows. A single-line box shows no line
// breaks; a multi-line box breaks at "\n" and ignores "\r".
bool Shows(char ch, bool multiLine) { return multiLine ? ch != '\r' : (ch != '\r' && ch != '\n'); }

std::string DisplayText(const std::string& text, bool multiLine) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    if (Shows(ch, multiLine)) out.push_back(ch);
  }
  return out;
}

// Caret of the model (byte offset into the text) to a position in the shown text.
int DisplayCaret(const std::string& text, int caret, bool multiLine) {
  const int end = std::clamp(caret, 0, static_cast<int>(text.size()));
  int pos = 0;
  for (int i = 0; i < end; ++i) {
    if (Shows(text[static_cast<size_t>(i)], multiLine)) ++pos;
  }
  return pos;
}

// Position in the shown text to the model's caret.
int ModelCaret(const std::string& text, int shownPos, bool multiLine) {
  int seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!Shows(text[i], multiLine)) continue;
    if (seen == shownPos) return static_cast<int>(i);
    ++seen;
  }
  return static_cast<int>(text.size());
}

// Captions: "\r\n" breaks a line, a lone "\r" or "\n" too.
QString CaptionText(const std::string& caption) {
  QString s = ToQString(caption);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

Qt::Alignment HAlign(Align align) {
  switch (align) {
    case Align::Right: return Qt::AlignRight;
    case Align::Center: return Qt::AlignHCenter;
    case Align::Left: break;
  }
  return Qt::AlignLeft;
}

std::optional<QColor> ToColor(const std::optional<Rgb>& rgb) {
  if (!rgb) return std::nullopt;
  return ToQColor(*rgb);
}

void SetTextColors(QWidget* w, const Control& c) {
  QPalette pal = w->palette();
  const QColor base = ToQColor(c.back.value_or(colors::WindowBackground));
  const QColor ink = ToQColor(c.fore.value_or(colors::Black));
  pal.setColor(QPalette::Base, base);
  pal.setColor(QPalette::Text, ink);
  pal.setColor(QPalette::Disabled, QPalette::Text, ToQColor(colors::Grey));
  if (c.kind == Kind::ComboBox) {
    if (c.back) pal.setColor(QPalette::Button, base);
    if (c.fore) pal.setColor(QPalette::ButtonText, ink);
  }
  w->setPalette(pal);
}

}  // namespace

FormView::FormView(ControlModel& model, ModelGate& gate, QWidget* parent)
    : QWidget(parent), model_(model), gate_(gate) {
  setFixedSize(model_.clientWidth, model_.clientHeight);
  setFocusPolicy(Qt::NoFocus);
  shownBack_ = model_.back;
  Build();
}

FormView::~FormView() = default;

void FormView::Build() {
  const auto& controls = model_.controls();
  bindings_.resize(controls.size());
  for (size_t i = 0; i < controls.size(); ++i) bindings_[i].control = controls[i];
  for (auto& b : bindings_) {
    if (b.widget == nullptr && b.control->kind != Kind::Timer) b.widget = CreateWidget(b);
  }
  // Stacking within each container: the lightweight controls (labels,
  // shapes, lines, images) below the windowed ones, creation order within
  // each group, later on top.
  for (auto& b : bindings_) {
    if (b.widget != nullptr && Lightweight(b.control->kind)) b.widget->raise();
  }
  for (auto& b : bindings_) {
    if (b.widget != nullptr && !Lightweight(b.control->kind)) b.widget->raise();
  }
  // Tab order: creation order of the controls that take the focus.
  QWidget* previous = nullptr;
  for (auto& b : bindings_) {
    if (b.widget == nullptr || !b.control->canFocus()) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, b.widget);
    previous = b.widget;
  }
  Sync();
}

QWidget* FormView::ContainerWidget(const Control* container) {
  if (container == nullptr) return this;
  for (auto& b : bindings_) {
    if (b.control == container) {
      if (b.widget == nullptr) b.widget = CreateWidget(b);
      return b.widget != nullptr ? b.widget : this;
    }
  }
  return this;
}

QWidget* FormView::CreateWidget(Binding& b) {
  Control& c = *b.control;
  QWidget* parent = ContainerWidget(c.container);
  const size_t index = static_cast<size_t>(&b - bindings_.data());
  QWidget* w = nullptr;
  switch (c.kind) {
    case Kind::Frame: w = new FrameBox(parent); break;
    case Kind::CommandButton: {
      auto* button = new ButtonView(parent);
      connect(button, &QAbstractButton::clicked, this,
              [this, index] { OperatorClick(bindings_[index]); });
      w = button;
      break;
    }
    case Kind::CheckBox: {
      auto* box = new CheckView(parent);
      box->setTristate(false);
      connect(box, &QAbstractButton::clicked, this,
              [this, index] { OperatorCheck(bindings_[index]); });
      w = box;
      break;
    }
    case Kind::OptionButton: {
      auto* option = new OptionView(parent);
      connect(option, &QAbstractButton::clicked, this,
              [this, index] { OperatorOption(bindings_[index]); });
      w = option;
      break;
    }
    case Kind::TextBox:
      if (c.multiLine) {
        w = new TextAreaView(parent);
      } else {
        w = new TextLineView(parent);
      }
      w->setAcceptDrops(false);
      w->setAttribute(Qt::WA_InputMethodEnabled, false);
      break;
    case Kind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(false);
      combo->setContextMenuPolicy(Qt::NoContextMenu);
      combo->setMaxVisibleItems(16);
      connect(combo, &QComboBox::activated, this,
              [this, index](int i) { OperatorChoose(bindings_[index], i); });
      w = combo;
      break;
    }
    case Kind::Label: w = new LabelView(parent); break;
    case Kind::Shape: w = new ShapeView(parent); break;
    case Kind::Line: w = new LineView(parent); break;
    case Kind::Picture:
    case Kind::Image: {
      auto* picture = new PictureView(parent);
      if (c.kind == Kind::Image) picture->setAttribute(Qt::WA_TransparentForMouseEvents);
      w = picture;
      break;
    }
    case Kind::Timer: return nullptr;
  }
  w->setObjectName(QString::fromStdString(c.Label()));
  w->setFocusPolicy(c.canFocus() ? Qt::StrongFocus : Qt::NoFocus);
  if (c.canFocus()) w->installEventFilter(this);
  return w;
}

FormView::Binding* FormView::BindingOf(QObject* object) {
  for (auto& b : bindings_) {
    if (b.widget == object) return &b;
  }
  return nullptr;
}

QWidget* FormView::widgetFor(const Control& c) const {
  for (const auto& b : bindings_) {
    if (b.control == &c) return b.widget;
  }
  return nullptr;
}

// ------------------------------------------------------------------- sync

unsigned FormView::Diff(Binding& b) {
  const Control& c = *b.control;
  Shown& s = b.shown;
  unsigned ch = 0;
  if (AnyTaken(Take(s.left, c.left), Take(s.top, c.top), Take(s.width, c.width),
               Take(s.height, c.height))) {
    ch |= kGeometry;
  }
  if (Take(s.caption, c.caption)) ch |= kCaption;
  if (AnyTaken(Take(s.text, c.text), Take(s.caret, c.caret))) ch |= kText;
  if (Take(s.tooltip, c.tooltip)) ch |= kTooltip;
  if (AnyTaken(Take(s.back, c.back), Take(s.fore, c.fore))) ch |= kColors;
  if (AnyTaken(Take(s.fill, c.fill), Take(s.fillShown, c.fillShown), Take(s.border, c.border),
               Take(s.borderWidth, c.borderWidth), Take(s.shape, c.shape))) {
    ch |= kLook;
  }
  if (Take(s.visible, c.visible)) ch |= kVisible;
  if (Take(s.enabled, c.enabled)) ch |= kEnabled;
  if (Take(s.locked, c.locked)) ch |= kLocked;
  if (Take(s.multiLine, c.multiLine)) ch |= kMultiLine;
  if (AnyTaken(Take(s.font.name, c.font.name), Take(s.font.size, c.font.size),
               Take(s.font.bold, c.font.bold))) {
    ch |= kFont;
  }
  if (Take(s.align, c.align)) ch |= kAlign;
  if (Take(s.picture, c.picture)) ch |= kPicture;
  if (Take(s.list, c.list)) ch |= kList;
  if (Take(s.listIndex, c.listIndex())) ch |= kListIndex;
  if (Take(s.value, c.value())) ch |= kValue;
  if (b.fresh) {
    b.fresh = false;
    ch = kAll;
  }
  return ch;
}

namespace {

// What Apply changes on each kind of widget, given the changed parts.

void ApplyFrame(const Control& c, QWidget* w, unsigned ch, Rgb windowBack) {
  if (ch & kCaption) static_cast<FrameBox*>(w)->setCaption(CaptionText(c.caption));
  if (ch & kColors) {
    static_cast<FrameBox*>(w)->setColors(ToQColor(c.back.value_or(windowBack)), ToColor(c.fore));
  }
}

void ApplyButton(const Control& c, QWidget* w, unsigned ch) {
  auto* button = static_cast<ButtonView*>(w);
  if (ch & kCaption) button->setCaption(CaptionText(c.caption));
  if (ch & kPicture) button->setPicture(c.picture);
  if (ch & kMultiLine) button->setMultiLine(c.multiLine);
  if (ch & kColors) button->setColors(ToColor(c.back), ToColor(c.fore));
}

void ApplyCheckBox(const Control& c, QWidget* w, unsigned ch) {
  auto* box = static_cast<CheckView*>(w);
  if (ch & kCaption) box->setCaption(CaptionText(c.caption));
  if (ch & kMultiLine) box->setMultiLine(c.multiLine);
  if (ch & kColors) box->setColors(ToColor(c.back), ToColor(c.fore));
  if (ch & kValue) {
    const QSignalBlocker quiet(box);
    box->setTristate(c.value() == 2);
    box->setCheckState(c.value() == 1   ? Qt::Checked
                       : c.value() == 2 ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
  }
}

void ApplyOption(const Control& c, QWidget* w, unsigned ch) {
  auto* option = static_cast<OptionView*>(w);
  if (ch & kCaption) option->setCaption(CaptionText(c.caption));
  if (ch & kMultiLine) option->setMultiLine(c.multiLine);
  if (ch & kColors) option->setColors(ToColor(c.back), ToColor(c.fore));
  if (ch & kValue) {
    const QSignalBlocker quiet(option);
    option->setChecked(c.value() != 0);
  }
}

void ApplyTextArea(const Control& c, TextAreaView* area, unsigned ch) {
  if (ch & kColors) {
    area->setColors(ToQColor(c.back.value_or(colors::WindowBackground)),
                    ToQColor(c.fore.value_or(colors::Black)));
  }
  if (ch & kLocked) area->setLocked(c.locked);
  if (ch & kAlign) area->setAlign(c.align);
  if (ch & kText) {
    area->setText(ToQString(DisplayText(c.text, true)));
    area->setCaret(DisplayCaret(c.text, c.caret, true));
  }
}

void ApplyTextLine(const Control& c, TextLineView* line, unsigned ch) {
  const QSignalBlocker quiet(line);
  if (ch & kColors) SetTextColors(line, c);
  if (ch & kLocked) line->setReadOnly(c.locked);
  if (ch & kAlign) line->setAlignment(HAlign(c.align) | Qt::AlignVCenter);
  if (ch & kText) {
    const QString shown = ToQString(DisplayText(c.text, false));
    if (line->text() != shown) line->setText(shown);
    line->setCaret(DisplayCaret(c.text, c.caret, false));
  }
}

void ApplyTextBox(const Control& c, QWidget* w, unsigned ch) {
  if (dynamic_cast<TextAreaView*>(w) != nullptr) {
    ApplyTextArea(c, static_cast<TextAreaView*>(w), ch);
  } else {
    ApplyTextLine(c, static_cast<TextLineView*>(w), ch);
  }
}

// The entry a combo box shows: the chosen one if it holds the box's text,
// else the first that does, else none (-1).
int ShownComboIndex(const Control& c) {
  const int li = c.listIndex();
  if (li >= 0 && li < static_cast<int>(c.list.size()) &&
      c.list[static_cast<size_t>(li)] == c.text) {
    return li;
  }
  auto it = std::find(c.list.begin(), c.list.end(), c.text);
  if (it != c.list.end()) return static_cast<int>(it - c.list.begin());
  return -1;
}

void ApplyComboBox(const Control& c, QWidget* w, unsigned ch) {
  auto* combo = static_cast<QComboBox*>(w);
  const QSignalBlocker quiet(combo);
  if (ch & kColors) SetTextColors(w, c);
  if (ch & kList) {
    combo->clear();
    for (const auto& item : c.list) combo->addItem(ToQString(item));
  }
  if (ch & (kList | kListIndex | kText)) {
    // The box shows its text: the chosen entry, or whatever code put there.
    const int shownIndex = ShownComboIndex(c);
    combo->setCurrentIndex(shownIndex);
    combo->setPlaceholderText(shownIndex < 0 ? ToQString(c.text) : QString());
  }
}

void ApplyLabel(const Control& c, QWidget* w, unsigned ch) {
  auto* label = static_cast<LabelView*>(w);
  if (ch & kCaption) label->setText(CaptionText(c.caption));
  if (ch & kAlign) label->setAlign(c.align);
  if (ch & kMultiLine) label->setMultiLine(c.multiLine);
  if (ch & kColors) label->setColors(ToColor(c.back), ToColor(c.fore));
}

void ApplyShape(const Control& c, QWidget* w, unsigned ch) {
  if (ch & kLook) {
    static_cast<ShapeView*>(w)->setLook(c.shape, ToQColor(c.fill), c.fillShown, ToQColor(c.border),
                                        c.borderWidth);
  }
}

void ApplyLine(const Control& c, QWidget* w, unsigned ch) {
  if (ch & (kGeometry | kLook)) {
    const QPoint from(c.left, c.top);
    const QPoint to(c.left + c.width, c.top + c.height);
    const int pad = std::max(1, c.borderWidth);
    const QRect box(QPoint(std::min(from.x(), to.x()) - pad, std::min(from.y(), to.y()) - pad),
                    QPoint(std::max(from.x(), to.x()) + pad, std::max(from.y(), to.y()) + pad));
    w->setGeometry(box);
    static_cast<LineView*>(w)->setLine(from - box.topLeft(), to - box.topLeft(), ToQColor(c.border),
                                       c.borderWidth);
  }
}

void ApplyPicture(const Control& c, QWidget* w, unsigned ch) {
  auto* picture = static_cast<PictureView*>(w);
  if (ch & kPicture) picture->setPicture(c.picture);
  if (ch & kColors) picture->setBack(ToColor(c.back));
}

}  // namespace

void FormView::Apply(Binding& b, unsigned ch) {
  const Control& c = *b.control;
  QWidget* w = b.widget;
  if (ch & kFont) w->setFont(ToQFont(c.font));
  if (ch & kTooltip) w->setToolTip(ToQString(c.tooltip));
  if (ch & kEnabled) w->setEnabled(c.enabled);
  if ((ch & kGeometry) && c.kind != Kind::Line) {
    w->setGeometry(c.left, c.top, std::max(0, c.width), std::max(0, c.height));
  }
  switch (c.kind) {
    case Kind::Frame: ApplyFrame(c, w, ch, model_.back); break;
    case Kind::CommandButton: ApplyButton(c, w, ch); break;
    case Kind::CheckBox: ApplyCheckBox(c, w, ch); break;
    case Kind::OptionButton: ApplyOption(c, w, ch); break;
    case Kind::TextBox: ApplyTextBox(c, w, ch); break;
    case Kind::ComboBox: ApplyComboBox(c, w, ch); break;
    case Kind::Label: ApplyLabel(c, w, ch); break;
    case Kind::Shape: ApplyShape(c, w, ch); break;
    case Kind::Line: ApplyLine(c, w, ch); break;
    case Kind::Picture:
    case Kind::Image: ApplyPicture(c, w, ch); break;
    case Kind::Timer: break;
  }
  if (ch & kVisible) w->setVisible(c.visible);
}

void FormView::Sync() {
  QElapsedTimer clock;
  clock.start();
  const bool wasSyncing = syncing_;
  syncing_ = true;
  if (model_.back != shownBack_) {
    shownBack_ = model_.back;
    update();
    // Frames without their own colour take the window's.
    for (auto& b : bindings_) {
      if (b.control->kind == Kind::Frame) b.fresh = true;
    }
  }
  for (auto& b : bindings_) {
    if (b.widget == nullptr) continue;
    const unsigned ch = Diff(b);
    if (ch != 0) Apply(b, ch);
  }
  SyncFocus();
  syncing_ = wasSyncing;
  lastSyncMicros_ = static_cast<double>(clock.nsecsElapsed()) / 1000.0;
  maxSyncMicros_ = std::max(maxSyncMicros_, lastSyncMicros_);
}

void FormView::SyncFocus() {
  QWidget* top = window();
  Control* focused = model_.focused();
  if (focused == nullptr) {
    // Nothing has the focus yet: keep Qt from handing it to the first
    // control on its own when the window is activated.
    if (top->focusWidget() == nullptr) {
      const bool wasSyncing = syncing_;
      syncing_ = true;
      setFocus(Qt::OtherFocusReason);
      syncing_ = wasSyncing;
    }
    return;
  }
  QWidget* w = widgetFor(*focused);
  if (w == nullptr || w->focusPolicy() == Qt::NoFocus) return;
  if (!w->isVisibleTo(top) || !w->isEnabled()) return;
  if (top->focusWidget() == w) return;
  const bool wasSyncing = syncing_;
  syncing_ = true;
  w->setFocus(Qt::OtherFocusReason);
  syncing_ = wasSyncing;
}

void FormView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(model_.back));
}

// ------------------------------------------------------------ operator input

void FormView::OperatorClick(Binding& b) {
  Control& c = *b.control;
  gate_.Run([this, &c] {
    if (c.canFocus()) model_.setFocus(c);
    c.click();
  });
}

void FormView::OperatorCheck(Binding& b) {
  Control& c = *b.control;
  b.fresh = true;  // the widget shows the model's value, whatever Qt did
  gate_.Run([this, &c] {
    model_.setFocus(c);
    c.setValue(c.value() == 1 ? 0 : 1);
  });
}

void FormView::OperatorOption(Binding& b) {
  Control& c = *b.control;
  b.fresh = true;
  gate_.Run([this, &c] {
    model_.setFocus(c);
    c.setValue(1);
  });
}

void FormView::OperatorChoose(Binding& b, int index) {
  Control& c = *b.control;
  b.fresh = true;  // Qt has already moved its own current entry
  if (!gate_.Run([this, &c, index] {
        model_.setFocus(c);
        if (index >= -1 && index < static_cast<int>(c.list.size())) c.setListIndex(index);
      })) {
    // Dropped: put the box back the way the model has it.
    Sync();
  }
}

void FormView::OperatorKey(Binding& b, int key) {
  Control& c = *b.control;
  gate_.Run([this, &c, key] {
    if (c.locked) return;
    if (model_.focused() != &c) model_.setFocus(c);
    if (model_.focused() == &c) model_.typeKey(c, key);
  });
}

void FormView::OperatorCaret(Binding& b, int caret) {
  Control& c = *b.control;
  gate_.Run([this, &c, caret] {
    if (model_.focused() != &c) return;
    c.caret = std::clamp(caret, 0, static_cast<int>(c.text.size()));
  });
}

void FormView::OperatorFocus(Binding& b) {
  Control& c = *b.control;
  if (model_.focused() == &c || !c.canFocus()) return;
  gate_.Run([this, &c] { model_.setFocus(c); });
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::FocusIn) {
    Binding* b = BindingOf(watched);
    if (b != nullptr && !syncing_) {
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
          reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) {
        OperatorFocus(*b);
      } else if (model_.focused() != b->control && !focusSyncQueued_) {
        // The focus came back to the window (a box was closed, the window was
        // activated): put it where the model has it.
        focusSyncQueued_ = true;
        QTimer::singleShot(0, this, [this] {
          focusSyncQueued_ = false;
          if (!gate_.busy()) SyncFocus();
        });
      }
    }
    return false;
  }
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::ContextMenu:
    case QEvent::Wheel:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: break;
    default: return false;
  }
  Binding* b = BindingOf(watched);
  if (b == nullptr) return false;
  if (b->control->kind == Kind::TextBox) return TextBoxEvent(*b, event);
  return type == QEvent::ContextMenu;
}

// Text boxes: Qt never edits them. Keys go to the model's key handling,
// a click puts the model's caret where it landed, Tab moves the focus.
bool FormView::TextBoxEvent(Binding& b, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: return TextBoxKey(b, static_cast<QKeyEvent*>(event));
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return true;
      const QPoint at = mouse->position().toPoint();
      int shownPos = 0;
      if (auto* area = dynamic_cast<TextAreaView*>(b.widget)) {
        shownPos = area->positionAt(at);
      } else {
        shownPos = static_cast<QLineEdit*>(b.widget)->cursorPositionAt(at);
      }
      OperatorCaret(b, ModelCaret(b.control->text, shownPos,
                                  dynamic_cast<TextAreaView*>(b.widget) != nullptr));
      return true;
    }
    default: return true;  // no selecting, dragging, pasting or scrolling
  }
}

namespace {

// The caret one character left or right of caret; a "\r\n" counts as one.
int CaretLeft(const std::string& text, int caret) {
  int to = caret - 1;
  if (to > 0 && text[static_cast<size_t>(to)] == '\n' && text[static_cast<size_t>(to - 1)] == '\r')
    --to;
  return to;
}

int CaretRight(const std::string& text, int caret) {
  int to = caret + 1;
  if (caret < static_cast<int>(text.size()) && text[static_cast<size_t>(caret)] == '\r' &&
      to < static_cast<int>(text.size()) && text[static_cast<size_t>(to)] == '\n') {
    ++to;
  }
  return to;
}

}  // namespace

bool FormView::TextBoxKey(Binding& b, QKeyEvent* key) {
  Control& c = *b.control;
  const auto mods = key->modifiers();
  if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
      !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
    return false;  // Qt moves the focus; the focus-in reaches the model
  }
  const int caret = std::clamp(c.caret, 0, static_cast<int>(c.text.size()));
  switch (key->key()) {
    case Qt::Key_Backspace: OperatorKey(b, 8); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: OperatorKey(b, 13); return true;
    case Qt::Key_Left: OperatorCaret(b, CaretLeft(c.text, caret)); return true;
    case Qt::Key_Right: OperatorCaret(b, CaretRight(c.text, caret)); return true;
    case Qt::Key_Home: OperatorCaret(b, 0); return true;
    case Qt::Key_End: OperatorCaret(b, static_cast<int>(c.text.size())); return true;
    default: break;
  }
  if (mods & (Qt::ControlModifier | Qt::MetaModifier)) return true;
  const QString text = key->text();
  if (text.size() == 1) {
    const char16_t code = text.at(0).unicode();
    if (code >= 32 && code <= 255 && code != 127) OperatorKey(b, static_cast<int>(code));
  }
  return true;
}

}  // namespace eb::app
