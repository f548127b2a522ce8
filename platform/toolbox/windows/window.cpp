#include "platform/toolbox/windows/window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "platform/prefs/preference_store.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/menus/qt_menu.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/toolbar/toolbar.h"
#include "platform/toolbox/toolbar/toolbar_widget.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/views/view_widget.h"

namespace toolbox {
namespace {

std::vector<std::shared_ptr<Window>>& Registry() {
  static std::vector<std::shared_ptr<Window>> windows;
  return windows;
}

std::uint64_t g_next_serial = 1;

// A frame above or left of its screen's available area (grown upward by a menu bar or a
// toolbar added above the content, or framed by the window manager) comes back inside it.
void KeepFrameTopOnScreen(Window& window, const QWidget& widget) {
  const QScreen* screen = widget.screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = widget.frameGeometry();
  if (frame.top() < area.top() || frame.left() < area.left()) window.ConstrainToScreen(false);
}

// The top-level widget of a window: turns Qt's window events into the window's events.
class WindowWidget : public QWidget {
 public:
  WindowWidget(Window& owner, QWidget* parent, Qt::WindowFlags flags)
      : QWidget(parent, flags), owner_(&owner) {}
  // A released window's widget lives on until Qt deletes it, without its owner.
  void Detach() { owner_ = nullptr; }

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();  // the window decides: release it unless a handler took the close
    if (owner_) owner_->Close();
  }
  void showEvent(QShowEvent* e) override {
    QWidget::showEvent(e);
    if (owner_ && !shown_once_) {
      shown_once_ = true;
      KeepFrameOnScreenSoon(kFrameChecks);
    }
  }
  void moveEvent(QMoveEvent* e) override {
    QWidget::moveEvent(e);
    if (owner_) owner_->HandleMoveOrResize();
  }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (!owner_) return;
    owner_->HandleResize();
    owner_->HandleMoveOrResize();
  }
  void changeEvent(QEvent* e) override {
    QWidget::changeEvent(e);
    if (owner_ && e->type() == QEvent::WindowStateChange && !owner_->IsZoomable() && isMaximized()) {
      showNormal();
      return;
    }
    if (owner_ && e->type() == QEvent::ActivationChange) {
      std::shared_ptr<Window> keep = owner_->shared_from_this();
      owner_->SendWindowEvent(isActiveWindow() ? kEventWindowActivated : kEventWindowDeactivated);
      if (isActiveWindow() && !keep->IsReleased()) keep->UpdateButtonStates();
    }
  }
  void keyPressEvent(QKeyEvent* e) override {
    // Ctrl+W closes a window that has no menu bar to carry a Close item, as its close box
    // does (the main window's File menu has its own).
    if (owner_ && e->key() == Qt::Key_W && e->modifiers() == Qt::ControlModifier && !owner_->HasMenuBar() &&
        (windowFlags() & Qt::WindowCloseButtonHint)) {
      owner_->Close();
      return;
    }
    Control* button = nullptr;
    if (owner_ && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) button = owner_->DefaultButton();
    if (owner_ && e->key() == Qt::Key_Escape) button = owner_->CancelButton();
    if (button && button->IsEnabled() && button->IsVisible()) {
      button->Click();
      return;
    }
    QWidget::keyPressEvent(e);
  }

 private:
  // A window manager puts its frame (the title bar) around the content some time after the
  // window is first shown. Once that frame is known, a frame whose top or left is outside
  // the screen's available area comes back inside it: a window placed by its content alone
  // would have its title bar above the screen. Without a window manager no frame comes,
  // and the checks end after about two seconds.
  static constexpr int kFrameChecks = 40;
  void KeepFrameOnScreenSoon(int checksLeft) {
    QTimer::singleShot(50, this, [this, checksLeft] {
      if (!owner_ || !isVisible()) return;
      if (frameGeometry() == geometry()) {
        if (checksLeft > 1) KeepFrameOnScreenSoon(checksLeft - 1);
        return;
      }
      KeepFrameTopOnScreen(*owner_, *this);
    });
  }

  Window* owner_;
  bool shown_once_ = false;
};

Qt::WindowFlags FlagsFor(const WindowSpec& desc) {
  Qt::WindowFlags flags;
  switch (desc.kind) {
    case WindowKind::kDocument:
      flags = Qt::Window;
      break;
    case WindowKind::kDialog:
      flags = Qt::Dialog;
      break;
    case WindowKind::kFloating:
      flags = Qt::Tool;
      break;
    case WindowKind::kSheet:
      flags = Qt::Sheet | Qt::Dialog;
      break;
    case WindowKind::kPlain:
      flags = Qt::Window | Qt::FramelessWindowHint;
      break;
  }
  if (desc.kind != WindowKind::kPlain) {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (desc.close_box) flags |= Qt::WindowCloseButtonHint;
    if (desc.resizable && desc.kind == WindowKind::kDocument) flags |= Qt::WindowMinMaxButtonsHint;
  }
  return flags;
}

QWidget* MakeWidget(const ControlSpec& desc, QWidget* parent) {
  const QString text = ToQString(desc.text);
  switch (desc.kind) {
    case ControlKind::kPushButton: {
      auto* b = new QPushButton(text, parent);
      b->setDefault(desc.is_default);
      b->setAutoDefault(false);
      return b;
    }
    case ControlKind::kCheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::kPopUpButton:
      return new QComboBox(parent);
    case ControlKind::kSlider: {
      auto* s = new QSlider(Qt::Horizontal, parent);
      s->setRange(desc.minimum, std::max(desc.minimum, desc.maximum));
      return s;
    }
    case ControlKind::kEditText:
    case ControlKind::kPasswordText:
    case ControlKind::kNumberText: {
      auto* e = new QLineEdit(text, parent);
      if (desc.kind == ControlKind::kPasswordText) e->setEchoMode(QLineEdit::Password);
      if (desc.kind == ControlKind::kNumberText)
        e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
      return e;
    }
    case ControlKind::kMultilineText:
    case ControlKind::kTextView: {
      auto* t = new QPlainTextEdit(text, parent);
      if (desc.kind == ControlKind::kTextView) {
        t->setReadOnly(true);
        t->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
      }
      return t;
    }
    case ControlKind::kDateTime: {
      auto* d = new QDateTimeEdit(parent);
      // The text, when given, is the display format: a date alone ("yyyy-MM-dd") or a
      // time of day alone ("HH:mm") makes a date or a time picker.
      d->setDisplayFormat(text.isEmpty() ? QString("yyyy-MM-dd HH:mm:ss") : text);
      return d;
    }
    case ControlKind::kStaticText: {
      auto* l = new QLabel(text, parent);
      l->setWordWrap(true);
      l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      l->setTextFormat(Qt::PlainText);
      return l;
    }
    case ControlKind::kPlacard: {
      auto* l = new QLabel(text, parent);
      l->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
      l->setTextFormat(Qt::PlainText);
      return l;
    }
    case ControlKind::kDisclosure: {
      auto* b = new QToolButton(parent);
      b->setCheckable(true);
      b->setArrowType(Qt::RightArrow);
      b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      b->setAutoRaise(true);
      b->setText(text);
      return b;
    }
    case ControlKind::kBevelButton: {
      auto* b = new QToolButton(parent);
      b->setText(text);
      if (!desc.image.IsNull()) b->setIcon(QIcon(QPixmap::fromImage(ToQImage(desc.image))));
      return b;
    }
    case ControlKind::kImageView: {
      auto* l = new QLabel(parent);
      l->setAlignment(Qt::AlignCenter);
      if (!desc.image.IsNull()) l->setPixmap(QPixmap::fromImage(ToQImage(desc.image)));
      return l;
    }
    case ControlKind::kUserPane:
      return new QWidget(parent);
  }
  return new QWidget(parent);
}

void ConnectSignals(Control& control) {
  QWidget* w = control.widget();
  Control* c = &control;
  switch (control.kind()) {
    case ControlKind::kPushButton:
    case ControlKind::kCheckBox:
    case ControlKind::kDisclosure:
    case ControlKind::kBevelButton:
      QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked,
                       [c] { c->NotifyPressed(); });
      break;
    case ControlKind::kPopUpButton:
      QObject::connect(static_cast<QComboBox*>(w), QOverload<int>::of(&QComboBox::activated),
                       [c](int) { c->NotifyPressed(); });
      break;
    case ControlKind::kSlider:
      QObject::connect(static_cast<QSlider*>(w), &QSlider::valueChanged,
                       [c](int) { c->NotifyValueChanged(); });
      break;
    case ControlKind::kEditText:
    case ControlKind::kPasswordText:
    case ControlKind::kNumberText:
      QObject::connect(static_cast<QLineEdit*>(w), &QLineEdit::textEdited,
                       [c](const QString&) { c->NotifyValueChanged(); });
      break;
    case ControlKind::kMultilineText:
      QObject::connect(static_cast<QPlainTextEdit*>(w), &QPlainTextEdit::textChanged,
                       [c] { c->NotifyValueChanged(); });
      break;
    case ControlKind::kDateTime:
      QObject::connect(static_cast<QDateTimeEdit*>(w), &QDateTimeEdit::dateTimeChanged,
                       [c](const QDateTime&) { c->NotifyValueChanged(); });
      break;
    default:
      break;
  }
}

// The widget of a view control: its own, or the one inside its scroll host.
ViewWidget* ViewWidgetOf(const Control& c) {
  if (auto* area = qobject_cast<QScrollArea*>(c.widget())) return static_cast<ViewWidget*>(area->widget());
  return static_cast<ViewWidget*>(c.widget());
}

}  // namespace

Window::Window(const WindowSpec& desc)
    : serial_(g_next_serial++),
      kind_(desc.kind),
      target_(runtime::EventTarget::Create(runtime::EventTarget::Kind::kWindow,
                                           runtime::EventTarget::Application())),
      in_window_menu_(desc.in_window_menu) {}

std::shared_ptr<Window> Window::Create(const WindowSpec& desc) {
  Application::Shared();
  auto window = std::make_shared<Window>(desc);
  window->Build(desc);
  Registry().push_back(window);
  return window;
}

void Window::Build(const WindowSpec& desc) {
  if (desc.kind == WindowKind::kSheet) parent_ = desc.parent;
  QWidget* parent = desc.kind == WindowKind::kSheet && desc.parent ? desc.parent->widget() : nullptr;
  widget_ = new WindowWidget(*this, parent, FlagsFor(desc));
  widget_->setAttribute(Qt::WA_DeleteOnClose, false);
  if (desc.kind == WindowKind::kSheet) widget_->setWindowModality(Qt::WindowModal);
  widget_->setWindowTitle(ToQString(desc.title));
  if (!desc.content.IsEmpty()) widget_->setGeometry(ToQRect(desc.content).toRect());
  if (!desc.resizable) widget_->setFixedSize(widget_->size());
  content_ = new QWidget(widget_);
  content_->setGeometry(0, 0, widget_->width(), widget_->height());
  laid_out_size_ = {double(widget_->width()), double(widget_->height())};
  // Any other window with a parent belongs to it: the window manager keeps it above its
  // parent rather than letting it fall behind. Not a child widget: each window is released
  // on its own, and the transient link forgets a parent that goes first.
  if (desc.kind != WindowKind::kSheet && desc.parent && desc.parent->widget()) {
    desc.parent->widget()->winId();
    widget_->winId();
    if (QWindow* handle = widget_->windowHandle())
      handle->setTransientParent(desc.parent->widget()->windowHandle());
  }
}

Window::~Window() {
  // Only a window never released still has its widget (the registry holds every other).
  if (widget_) {
    static_cast<WindowWidget*>(widget_)->Detach();
    delete widget_;
  }
}

std::vector<std::shared_ptr<Window>> Window::AllWindows() {
  return Registry();
}

std::shared_ptr<Window> Window::FrontWindow() {
  QWidget* active = QApplication::activeWindow();
  for (const auto& w : Registry())
    if (w->widget_ && w->widget_ == active) return w;
  return nullptr;
}

runtime::HandlerRef Window::InstallHandler(std::vector<runtime::EventTypeSpec> types,
                                           runtime::EventHandler handler) {
  return target_->InstallHandler(std::move(types), std::move(handler));
}

Status Window::SendWindowEvent(std::uint32_t kind) {
  auto event = runtime::Event::Create(kEventClassWindow, kind);
  event->SetInt64(kParamWindow, static_cast<std::int64_t>(serial_));
  return target_->Send(*event);
}

namespace {
// Watches every drag event of the application: a drag that leaves the window's widgets
// without entering another of them within the same pass has left the window; a drop in
// it ends the drag there.
class DragWatcher : public QObject {
 public:
  DragWatcher(QWidget* window, std::function<void()> left)
      : QObject(window), window_(window), left_(std::move(left)) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    const QEvent::Type type = e->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::DragLeave &&
        type != QEvent::Drop)
      return QObject::eventFilter(watched, e);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return QObject::eventFilter(watched, e);
    switch (type) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
        ++generation_;
        break;
      case QEvent::DragLeave: {
        const std::uint64_t seen = ++generation_;
        QTimer::singleShot(0, this, [this, seen] {
          if (seen == generation_ && left_) left_();
        });
        break;
      }
      case QEvent::Drop: {
        ++generation_;
        QTimer::singleShot(0, this, [this] {
          if (left_) left_();
        });
        break;
      }
      default:
        break;
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  QWidget* window_;
  std::function<void()> left_;
  std::uint64_t generation_ = 0;
};
}  // namespace

void Window::SetDragLeftHandler(std::function<void()> handler) {
  if (!widget_) return;
  qApp->installEventFilter(new DragWatcher(widget_, std::move(handler)));
}

void Window::TellParentOfSheet(std::uint32_t kind) {
  if (!parent_ || parent_->IsReleased()) return;
  auto event = runtime::Event::Create(kEventClassWindow, kind);
  event->SetInt64(kParamWindow, static_cast<std::int64_t>(serial_));
  parent_->target()->Send(*event);
}

void Window::Close() {
  if (!widget_) return;
  std::shared_ptr<Window> keep = shared_from_this();
  if (SendWindowEvent(kEventWindowClose) == runtime::kEventNotHandledErr) Release();
}

void Window::Release() {
  if (!widget_) return;
  std::shared_ptr<Window> keep = shared_from_this();
  // A sheet's widget is a child of its parent's: the sheets go first.
  for (const auto& other : AllWindows())
    if (other->parent_ == this) other->Release();
  HideSheet();
  SendWindowEvent(kEventWindowDispose);
  SaveFrame();
  auto& registry = Registry();
  std::erase_if(registry, [this](const std::shared_ptr<Window>& w) { return w.get() == this; });
  QWidget* widget = std::exchange(widget_, nullptr);
  static_cast<WindowWidget*>(widget)->Detach();
  for (const auto& c : controls_)
    if (c->GetView()) ViewWidgetOf(*c)->Detach();
  widget->hide();
  controls_.clear();
  if (toolbar_) {
    toolbar_->SetLayoutObserver(nullptr);
    toolbar_->SetWindow(nullptr);
    toolbar_ = nullptr;
  }
  toolbar_widget_ = nullptr;  // a child of the widget
  // Release may come from a handler of one of the window's own buttons, while Qt is
  // still inside that button's signal: the widgets go when control returns to Qt.
  widget->deleteLater();
}

Status Window::ShowSheet() {
  if (!widget_ || kind_ != WindowKind::kSheet || widget_->isVisible()) return runtime::kParamErr;
  std::shared_ptr<Window> keep = shared_from_this();
  const Status status = SendWindowEvent(kEventWindowSheetOpening);
  if (status != runtime::kNoErr && status != runtime::kEventNotHandledErr) return status;
  if (IsReleased()) return runtime::kParamErr;
  TellParentOfSheet(kEventWindowSheetOpening);
  if (parent_ && parent_->widget()) {
    // Centred under the parent's top edge, where a sheet drops from.
    const QRect p = parent_->widget()->geometry();
    widget_->move(p.left() + (p.width() - widget_->width()) / 2, p.top());
  }
  widget_->show();
  widget_->raise();
  widget_->activateWindow();
  SendWindowEvent(kEventWindowSheetOpened);
  return runtime::kNoErr;
}

void Window::HideSheet() {
  if (!widget_ || kind_ != WindowKind::kSheet || !widget_->isVisible()) return;
  std::shared_ptr<Window> keep = shared_from_this();
  SendWindowEvent(kEventWindowSheetClosing);
  TellParentOfSheet(kEventWindowSheetClosing);
  if (IsReleased()) return;
  widget_->hide();
  SendWindowEvent(kEventWindowSheetClosed);
}

void Window::Show() {
  if (widget_) widget_->show();
}
void Window::Hide() {
  if (widget_) widget_->hide();
}
bool Window::IsVisible() const {
  return widget_ && widget_->isVisible();
}
void Window::Select() {
  if (!widget_) return;
  widget_->show();
  widget_->raise();
  widget_->activateWindow();
}
bool Window::IsActive() const {
  return widget_ && widget_->isActiveWindow();
}
void Window::Minimize() {
  if (widget_) widget_->showMinimized();
}
bool Window::IsMinimized() const {
  return widget_ && widget_->isMinimized();
}
void Window::ToggleZoom() {
  if (!widget_) return;
  if (widget_->isMaximized())
    widget_->showNormal();
  else
    widget_->showMaximized();
}

std::string Window::Title() const {
  return widget_ ? FromQString(widget_->windowTitle()) : std::string();
}
void Window::SetTitle(const std::string& title) {
  if (widget_) widget_->setWindowTitle(ToQString(title));
}

Rect Window::ContentBounds() const {
  if (!widget_) return {};
  const Rect outer = FromQRect(QRectF(widget_->geometry()));
  return {outer.x, outer.y + TopInset(), outer.width, outer.height - TopInset()};
}

void Window::SetContentBounds(const Rect& bounds) {
  if (!widget_) return;
  // The menu bar, when there is one, sits above the content inside Qt's geometry.
  const QRect r =
      ToQRect({bounds.x, bounds.y - TopInset(), bounds.width, bounds.height + TopInset()}).toRect();
  const bool fixed = widget_->minimumSize() == widget_->maximumSize();
  if (fixed) widget_->setFixedSize(r.size());
  widget_->setGeometry(r);
  if (!widget_->isVisible()) {
    // Qt sends no move or resize events to a hidden window.
    HandleResize();
    HandleMoveOrResize();
  }
}

Rect Window::StructureBounds() const {
  return widget_ ? FromQRect(QRectF(widget_->frameGeometry())) : Rect{};
}

void Window::SetStructureBounds(const Rect& bounds) {
  if (!widget_) return;
  const QRect frame = widget_->frameGeometry(), content = widget_->geometry();
  const double l = content.left() - frame.left(), t = content.top() - frame.top() + TopInset();
  const double r = frame.right() - content.right(), b = frame.bottom() - content.bottom();
  SetContentBounds({bounds.x + l, bounds.y + t, bounds.width - l - r, bounds.height - t - b});
}

void Window::SizeContent(double width, double height) {
  const Rect now = ContentBounds();
  SetContentBounds({now.x, now.y, width, height});
}

void Window::MoveTo(double left, double top) {
  if (!widget_) return;
  widget_->move(QPoint(int(left), int(top) - TopInset()) - (widget_->geometry().topLeft() - widget_->pos()));
  if (!widget_->isVisible()) HandleMoveOrResize();
}

void Window::SetMinimumSize(Size size) {
  if (widget_) widget_->setMinimumSize(int(size.width), int(size.height) + TopInset());
}
void Window::SetMaximumSize(Size size) {
  if (widget_) widget_->setMaximumSize(int(size.width), int(size.height) + TopInset());
}

void Window::Center() {
  if (!widget_) return;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const Rect now = ContentBounds();
  MoveTo(area.left() + (area.width() - now.width) / 2, area.top() + (area.height() - now.height) / 3);
}

void Window::ConstrainToScreen(bool may_resize) {
  if (!widget_) return;
  const Rect frame = StructureBounds();
  QScreen* screen = QGuiApplication::screenAt(ToQRect(frame).center().toPoint());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const Rect area = FromQRect(QRectF(screen->availableGeometry()));
  Rect r = frame;
  if (may_resize) {
    r.width = std::min(r.width, area.width);
    r.height = std::min(r.height, area.height);
  }
  // Right and bottom first, so that a window larger than the screen keeps its top-left
  // (and title bar) visible.
  if (r.Right() > area.Right()) r.x = area.Right() - r.width;
  if (r.Bottom() > area.Bottom()) r.y = area.Bottom() - r.height;
  r.x = std::max(r.x, area.x);
  r.y = std::max(r.y, area.y);
  if (!(r == frame)) SetStructureBounds(r);
}

bool Window::SetFrameAutosaveKey(const std::string& key, bool keep_size) {
  autosave_key_ = key;
  if (key.empty() || !widget_) return false;
  auto saved = prefs::SharedPreferences().GetDictionary(key);
  if (!saved) return false;
  auto number = [&](const char* name) -> std::optional<double> {
    auto it = saved->find(name);
    if (it == saved->end() || !it->second.AsNumber()) return std::nullopt;
    return it->second.AsNumber()->AsDouble();
  };
  const auto l = number("left"), t = number("top"), r = number("right"), b = number("bottom");
  if (!l || !t || !r || !b || *r <= *l || *b <= *t) return false;
  restoring_ = true;
  if (keep_size) {
    MoveTo(*l, *t);
  } else {
    SetContentBounds(RectFromEdges(*l, *t, *r, *b));
  }
  ConstrainToScreen(!keep_size);
  restoring_ = false;
  return true;
}

void Window::SaveFrame() const {
  if (autosave_key_.empty() || !widget_ || restoring_) return;
  const Rect r = ContentBounds();
  values::Dictionary d;
  d["left"] = values::Value(int(r.Left()));
  d["top"] = values::Value(int(r.Top()));
  d["right"] = values::Value(int(r.Right()));
  d["bottom"] = values::Value(int(r.Bottom()));
  prefs::SharedPreferences().Set(autosave_key_, values::Value(std::move(d)));
}

double Window::Opacity() const {
  return widget_ ? widget_->windowOpacity() : 1;
}
void Window::SetOpacity(double alpha) {
  if (widget_) widget_->setWindowOpacity(std::clamp(alpha, 0.0, 1.0));
}
bool Window::IsStayOnTop() const {
  return widget_ && (widget_->windowFlags() & Qt::WindowStaysOnTopHint);
}
void Window::SetStayOnTop(bool on_top) {
  if (!widget_ || on_top == IsStayOnTop()) return;
  const bool shown = widget_->isVisible();
  widget_->setWindowFlag(Qt::WindowStaysOnTopHint, on_top);  // hides the window
  if (shown) widget_->show();
}

void Window::SetZoomable(bool zoomable) {
  zoomable_ = zoomable;
  if (!zoomable && widget_ && widget_->isMaximized()) widget_->showNormal();
}

void Window::SetProperty(FourCharCode creator, FourCharCode tag, values::Value value) {
  properties_[{creator, tag}] = std::move(value);
}
const values::Value* Window::Property(FourCharCode creator, FourCharCode tag) const {
  auto it = properties_.find({creator, tag});
  return it == properties_.end() ? nullptr : &it->second;
}
void Window::RemoveProperty(FourCharCode creator, FourCharCode tag) {
  properties_.erase({creator, tag});
}

Control* Window::AddControl(const ControlSpec& desc) {
  if (!widget_) return nullptr;
  QWidget* w = MakeWidget(desc, content_);
  w->setFont(ToQFont(desc.font));
  w->setGeometry(ToQRect(desc.bounds).toRect());
  w->show();
  auto control = std::make_unique<Control>(*this, desc, w);
  Control* c = control.get();
  controls_.push_back(std::move(control));
  if (desc.kind == ControlKind::kPopUpButton) c->RefreshMenu();
  c->SetValue(desc.value);
  ConnectSignals(*c);
  return c;
}

Control* Window::AddView(const ControlSpec& desc, std::shared_ptr<View> view) {
  if (!widget_ || !view) return nullptr;
  auto* w = new ViewWidget(*view, content_);
  w->setGeometry(ToQRect(desc.bounds).toRect());
  w->show();
  ControlSpec pane = desc;
  pane.kind = ControlKind::kUserPane;
  auto control = std::make_unique<Control>(*this, pane, w);
  Control* c = control.get();
  controls_.push_back(std::move(control));
  view->Attach(c);
  c->SetView(std::move(view));
  return c;
}

Control* Window::AddScrollingView(const ControlSpec& desc, std::shared_ptr<View> view) {
  if (!widget_ || !view) return nullptr;
  auto* area = new QScrollArea(content_);
  area->setGeometry(ToQRect(desc.bounds).toRect());
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(false);
  area->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* w = new ViewWidget(*view, nullptr);
  w->resize(area->viewport()->size());
  area->setWidget(w);
  area->show();
  ControlSpec pane = desc;
  pane.kind = ControlKind::kUserPane;
  auto control = std::make_unique<Control>(*this, pane, area);
  Control* c = control.get();
  controls_.push_back(std::move(control));
  view->Attach(c, w, std::make_unique<ScrollHost>(area));
  c->SetView(std::move(view));
  return c;
}

Control* Window::FindControl(ControlID id) const {
  for (const auto& c : controls_)
    if (c->id() == id) return c.get();
  return nullptr;
}

void Window::RemoveControl(Control* control) {
  auto it =
      std::find_if(controls_.begin(), controls_.end(), [&](const auto& c) { return c.get() == control; });
  if (it == controls_.end()) return;
  QWidget* w = (*it)->widget();
  if ((*it)->GetView()) ViewWidgetOf(**it)->Detach();
  controls_.erase(it);
  w->hide();
  w->deleteLater();
}

std::vector<Control*> Window::Controls() const {
  std::vector<Control*> out;
  for (const auto& c : controls_) out.push_back(c.get());
  return out;
}

Control* Window::FocusedControl() const {
  if (!widget_) return nullptr;
  QWidget* focus = widget_->focusWidget();
  for (const auto& c : controls_)
    if (c->widget() == focus || c->FocusWidget() == focus) return c.get();
  // A widget embedded in a pane (a list) gives the focus to the pane's control.
  for (QWidget* w = focus ? focus->parentWidget() : nullptr; w && w != widget_; w = w->parentWidget())
    for (const auto& c : controls_)
      if (c->widget() == w) return c.get();
  return nullptr;
}

Control* Window::DefaultButton() const {
  for (const auto& c : controls_)
    if (c->IsDefault()) return c.get();
  return nullptr;
}

Control* Window::CancelButton() const {
  for (const auto& c : controls_)
    if (c->IsCancel()) return c.get();
  return nullptr;
}

std::shared_ptr<runtime::EventTarget> Window::FocusTarget() const {
  if (Control* focus = FocusedControl()) return focus->target();
  return target_;
}

Status Window::ProcessCommand(FourCharCode command) {
  std::shared_ptr<Window> keep = shared_from_this();
  auto event = MakeCommandEvent(kEventCommandProcess, Command{command, 0, 0});
  const Status status = FocusTarget()->Send(*event);
  if (!IsReleased()) UpdateButtonStates();
  return status;
}

namespace {
CommandStatus AskStatus(runtime::EventTarget& target, const Command& command) {
  auto event = MakeCommandEvent(kEventCommandUpdateStatus, command);
  CommandStatus out;
  if (target.Send(*event) != runtime::kNoErr) return out;
  out.enabled = event->Get<bool>(kParamCommandEnabled);
  out.text = event->Get<std::string>(kParamCommandText);
  if (auto mark = event->Get<std::uint32_t>(kParamCommandMark)) out.mark = static_cast<char32_t>(*mark);
  return out;
}
}  // namespace

CommandStatus Window::UpdateCommandStatus(FourCharCode command) {
  return AskStatus(*FocusTarget(), Command{command, 0, 0});
}

CommandStatus Window::UpdateCommandStatus(const Command& command) {
  return AskStatus(*FocusTarget(), command);
}

void Window::UpdateButtonStates() {
  for (const auto& c : Controls()) {
    if (IsReleased()) return;
    if (c->Command() == 0) continue;
    const CommandStatus status = UpdateCommandStatus(c->Command());
    if (status.enabled && !IsReleased()) c->SetEnabled(*status.enabled);
  }
}

void Window::HandleResize() {
  if (!widget_) return;
  content_->setGeometry(0, TopInset(), widget_->width(), widget_->height() - TopInset());
  if (qt_menu_bar_) qt_menu_bar_->setGeometry(0, 0, widget_->width(), menu_bar_height_);
  if (toolbar_widget_) toolbar_widget_->setGeometry(0, menu_bar_height_, widget_->width(), toolbar_height_);
  const Size now{double(content_->width()), double(content_->height())};
  const double dx = now.width - laid_out_size_.width, dy = now.height - laid_out_size_.height;
  laid_out_size_ = now;
  if (dx == 0 && dy == 0) return;
  for (const auto& c : controls_) c->FollowWindowResize(dx, dy);
}

void Window::HandleMoveOrResize() {
  if (!widget_) return;
  SendWindowEvent(kEventWindowBoundsChanged);
  SaveFrame();
}

void Window::SetMenuBar(MenuBar* bar) {
  if (!widget_) return;
  const Rect content = ContentBounds();
  menu_bar_ = bar;
  if (!bar) {
    delete std::exchange(qt_menu_bar_, nullptr);
    menu_bar_height_ = 0;
  } else {
    if (!qt_menu_bar_) qt_menu_bar_ = new QMenuBar(widget_);
    RebuildMenuBar();
    menu_bar_height_ = qt_menu_bar_->sizeHint().height();
    qt_menu_bar_->show();
  }
  SetContentBounds(content);  // the content keeps its place and size; the frame grows
  HandleResize();
  KeepFrameTopOnScreen(*this, *widget_);
}

void Window::SetToolbar(Toolbar* toolbar) {
  if (!widget_) return;
  if (toolbar_ && toolbar_ != toolbar) {
    toolbar_->SetLayoutObserver(nullptr);
    toolbar_->SetWindow(nullptr);
  }
  toolbar_ = toolbar;
  if (toolbar_) {
    toolbar_->SetWindow(this);
    std::weak_ptr<Window> weak = weak_from_this();
    toolbar_->SetLayoutObserver([weak] {
      auto self = weak.lock();
      if (self && !self->IsReleased()) self->RebuildToolbar();
    });
  }
  RebuildToolbar();
}

void Window::RebuildToolbar() {
  const Rect content = ContentBounds();
  if (toolbar_widget_) {
    toolbar_widget_->hide();
    toolbar_widget_->deleteLater();
    toolbar_widget_ = nullptr;
  }
  toolbar_height_ = 0;
  if (toolbar_ && toolbar_->IsVisible()) {
    toolbar_widget_ = BuildToolbarWidget(*toolbar_, *this, widget_);
    toolbar_height_ = toolbar_widget_->sizeHint().height();
    toolbar_widget_->show();
  }
  SetContentBounds(content);  // the content keeps its place and size; the frame grows
  HandleResize();
  KeepFrameTopOnScreen(*this, *widget_);
}

namespace {
// A closed menu's items are drawn by no one, yet Qt lets the key of a disabled item do
// nothing: the state shown when the menu last opened would decide the key long after the
// selection changed. So while closed, every item with a key stays live, and the choice
// asks the item's state at the moment of the key (the `choose` callback below).
void KeepKeyEquivalentsLive(QMenu& menu) {
  for (QAction* action : menu.actions()) {
    if (QMenu* sub = action->menu()) KeepKeyEquivalentsLive(*sub);
    if (!action->shortcut().isEmpty()) action->setEnabled(true);
  }
}
}  // namespace

void Window::RebuildMenuBar() {
  if (!qt_menu_bar_ || !menu_bar_) return;
  qt_menu_bar_->clear();
  std::weak_ptr<Window> weak = weak_from_this();
  auto choose = [weak](const MenuRef& menu, int index) {
    auto self = weak.lock();
    if (!self || self->IsReleased()) return;
    // A key equivalent reaches here without the menu having opened: ask first.
    UpdateMenuCommandStatus(*menu, self.get());
    SelectMenuItem(*menu, index, self.get());
  };
  for (const MenuRef& menu : menu_bar_->menus()) {
    QMenu* q = qt_menu_bar_->addMenu(ToQString(menu->title()));
    FillQMenu(*q, menu, 0, choose);
    KeepKeyEquivalentsLive(*q);
    QObject::connect(q, &QMenu::aboutToShow, [weak, q, menu, choose] {
      auto self = weak.lock();
      if (!self || self->IsReleased()) return;
      UpdateMenuCommandStatus(*menu, self.get());
      FillQMenu(*q, menu, GetCurrentKeyModifiers(), choose);
    });
    QObject::connect(q, &QMenu::aboutToHide, [q] { KeepKeyEquivalentsLive(*q); });
  }
}

Image Window::Grab() const {
  if (!widget_) return Image();
  return FromQImage(widget_->grab().toImage());
}

bool Window::GrabToPng(const std::string& path) const {
  return Grab().SavePng(path);
}

Status ProcessCommand(FourCharCode command, std::int16_t menu_id, int item) {
  auto event = MakeCommandEvent(kEventCommandProcess, Command{command, menu_id, item});
  if (auto front = Window::FrontWindow()) {
    Control* focus = front->FocusedControl();
    const Status status = (focus ? focus->target() : front->target())->Send(*event);
    if (!front->IsReleased()) front->UpdateButtonStates();
    return status;
  }
  return runtime::EventTarget::Application()->Send(*event);
}

CommandStatus UpdateCommandStatus(FourCharCode command) {
  return UpdateCommandStatus(Command{command, 0, 0});
}

CommandStatus UpdateCommandStatus(const Command& command) {
  if (auto front = Window::FrontWindow()) return front->UpdateCommandStatus(command);
  return AskStatus(*runtime::EventTarget::Application(), command);
}

}  // namespace toolbox
