#include "platform/toolbox/views/view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QUrl>
#include <QWidget>
#include <utility>

#include "platform/toolbox/drawing/painter_context.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/views/view_widget.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

namespace {

unsigned ModifiersOf(Qt::KeyboardModifiers m) {
  unsigned out = 0;
  if (m & Qt::ShiftModifier) out |= 1u << 0;
  if (m & Qt::MetaModifier) out |= 1u << 1;
  if (m & Qt::AltModifier) out |= 1u << 2;
  if (m & Qt::ControlModifier) out |= 1u << 3;
  return out;
}

MouseEvent FromQMouse(const QMouseEvent* e, int clicks = 1) {
  return {{e->position().x(), e->position().y()}, ModifiersOf(e->modifiers()), clicks};
}

int KeyCode(const QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kKeyReturn;
    case Qt::Key_Escape:
      return kKeyEscape;
    case Qt::Key_Tab:
      return kKeyTab;
    case Qt::Key_Delete:
      return kKeyDelete;
    case Qt::Key_Backspace:
      return kKeyBackspace;
    case Qt::Key_Left:
      return kKeyLeft;
    case Qt::Key_Right:
      return kKeyRight;
    case Qt::Key_Up:
      return kKeyUp;
    case Qt::Key_Down:
      return kKeyDown;
    case Qt::Key_Home:
      return kKeyHome;
    case Qt::Key_End:
      return kKeyEnd;
    case Qt::Key_PageUp:
      return kKeyPageUp;
    case Qt::Key_PageDown:
      return kKeyPageDown;
    default:
      return e->text().isEmpty() ? 0 : static_cast<int>(e->text().toUcs4().value(0));
  }
}

DragPayload PayloadFromMime(const QMimeData* mime) {
  DragPayload payload;
  if (!mime) return payload;
  for (const char* type : {kPrivateDragMimeType, kUriListMimeType}) {
    const QByteArray bytes = mime->data(QString::fromLatin1(type));
    if (!bytes.isEmpty()) payload.data[type] = bytes.toStdString();
  }
  if (mime->hasText()) payload.data[kPlainTextMimeType] = mime->text().toStdString();
  return payload;
}

Drag DragFromMime(const QMimeData* mime, QPointF where, Qt::KeyboardModifiers modifiers,
                  Qt::DropActions allowed) {
  Drag drag = DecodeDrag(PayloadFromMime(mime));
  drag.mouse = {where.x(), where.y()};
  drag.modifiers = ModifiersOf(modifiers);
  drag.allowed_actions = 0;
  if (allowed & Qt::CopyAction) drag.allowed_actions |= kDragActionCopy;
  if (allowed & Qt::MoveAction) drag.allowed_actions |= kDragActionMove;
  if (allowed & Qt::LinkAction) drag.allowed_actions |= kDragActionLink;
  return drag;
}

unsigned FromDropAction(Qt::DropAction action) {
  switch (action) {
    case Qt::CopyAction:
      return kDragActionCopy;
    case Qt::MoveAction:
    case Qt::TargetMoveAction:
      return kDragActionMove;
    case Qt::LinkAction:
      return kDragActionLink;
    default:
      return kDragActionNone;
  }
}

// The first of move, copy, link that both sides allow.
unsigned OneAction(unsigned actions) {
  for (unsigned a : {unsigned(kDragActionMove), unsigned(kDragActionCopy), unsigned(kDragActionLink)})
    if (actions & a) return a;
  return kDragActionNone;
}

unsigned QtPerformDrag(View& source, const DragPayload& payload, unsigned allowed) {
  QWidget* widget = source.control() ? source.control()->widget() : nullptr;
  if (!widget) return kDragActionNone;  // the host's frame will do as the drag's source
  auto* mime = new QMimeData;           // the QDrag takes it
  for (const auto& [type, bytes] : payload.data) {
    if (type == kPlainTextMimeType)
      mime->setText(QString::fromStdString(bytes));
    else
      mime->setData(QString::fromLatin1(type.c_str()), QByteArray::fromStdString(bytes));
  }
  auto* drag = new QDrag(widget);  // deleted by Qt when the drag ends
  drag->setMimeData(mime);
  Qt::DropActions actions;
  if (allowed & kDragActionCopy) actions |= Qt::CopyAction;
  if (allowed & kDragActionMove) actions |= Qt::MoveAction;
  if (allowed & kDragActionLink) actions |= Qt::LinkAction;
  return FromDropAction(drag->exec(actions));
}

DragPerformer& Performer() {
  static DragPerformer performer;
  return performer;
}

Qt::DropAction ToDropAction(unsigned action) {
  if (action & kDragActionMove) return Qt::MoveAction;
  if (action & kDragActionCopy) return Qt::CopyAction;
  if (action & kDragActionLink) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

Qt::CursorShape ToShape(CursorKind kind) {
  switch (kind) {
    case CursorKind::kArrow:
      return Qt::ArrowCursor;
    case CursorKind::kCopy:
      return Qt::DragCopyCursor;
    case CursorKind::kNotAllowed:
      return Qt::ForbiddenCursor;
    case CursorKind::kResizeLeftRight:
      return Qt::SplitHCursor;
    case CursorKind::kOpenHand:
      return Qt::OpenHandCursor;
    case CursorKind::kClosedHand:
      return Qt::ClosedHandCursor;
    case CursorKind::kPointingHand:
      return Qt::PointingHandCursor;
  }
  return Qt::ArrowCursor;
}

}  // namespace

ViewWidget::ViewWidget(View& view, QWidget* parent) : QWidget(parent), view_(&view) {
  setAcceptDrops(true);
  setMouseTracking(view.WantsHover());
  setFocusPolicy(view.AcceptsFocus() ? Qt::StrongFocus : Qt::NoFocus);
}

void ViewWidget::paintEvent(QPaintEvent* e) {
  if (!view_) return;
  QPainter painter(this);
  PainterContext ctx(painter, {0, 0, double(width()), double(height())}, Origin::kTopLeft);
  view_->Draw(ctx, FromQRect(QRectF(e->rect())));
}

void ViewWidget::mousePressEvent(QMouseEvent* e) {
  if (!view_) return;
  if (e->button() == Qt::RightButton) return;  // the context-menu event follows
  view_->HandleMouseDown(FromQMouse(e));
}

void ViewWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  if (view_ && e->button() == Qt::LeftButton) view_->HandleMouseDown(FromQMouse(e, 2));
}

void ViewWidget::mouseMoveEvent(QMouseEvent* e) {
  if (view_) view_->HandleMouseMoved(FromQMouse(e));
}

void ViewWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (view_ && e->button() == Qt::LeftButton) view_->HandleMouseUp(FromQMouse(e));
}

void ViewWidget::leaveEvent(QEvent* e) {
  QWidget::leaveEvent(e);
  if (view_) view_->HandleMouseLeft();
}

void ViewWidget::contextMenuEvent(QContextMenuEvent* e) {
  if (!view_) return;
  MouseEvent m{{double(e->pos().x()), double(e->pos().y())}, ModifiersOf(e->modifiers()), 1};
  if (!view_->HandleContextualClick(m)) e->ignore();
}

void ViewWidget::keyPressEvent(QKeyEvent* e) {
  if (view_ && view_->HandleKey({e->text().toStdString(), KeyCode(e), ModifiersOf(e->modifiers())})) return;
  QWidget::keyPressEvent(e);
}

void ViewWidget::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  if (view_) view_->OnFocusChanged(true);
}

void ViewWidget::focusOutEvent(QFocusEvent* e) {
  QWidget::focusOutEvent(e);
  if (view_) view_->OnFocusChanged(false);
}

void ViewWidget::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (view_) view_->OnBoundsChanged(last_bounds_, view_->Bounds());
  if (view_) last_bounds_ = view_->Bounds();
}

void ViewWidget::dragEnterEvent(QDragEnterEvent* e) {
  if (!view_) return;
  const unsigned action = drag_action_ = view_->HandleDragEnter(
      DragFromMime(e->mimeData(), e->position(), e->modifiers(), e->possibleActions()));
  if (action == kDragActionNone) return e->ignore();
  e->setDropAction(ToDropAction(action));
  e->accept();
}

void ViewWidget::dragMoveEvent(QDragMoveEvent* e) {
  if (!view_) return;
  const unsigned action = drag_action_ = view_->HandleDragWithin(
      DragFromMime(e->mimeData(), e->position(), e->modifiers(), e->possibleActions()));
  if (action == kDragActionNone) return e->ignore();
  e->setDropAction(ToDropAction(action));
  e->accept();
}

void ViewWidget::dragLeaveEvent(QDragLeaveEvent*) {
  if (view_) view_->HandleDragLeave();
}

void ViewWidget::dropEvent(QDropEvent* e) {
  if (!view_) return;
  if (view_->HandleDrop(DragFromMime(e->mimeData(), e->position(), e->modifiers(), e->possibleActions()))) {
    e->setDropAction(ToDropAction(drag_action_));
    e->accept();
  } else {
    e->ignore();
  }
}

int View::HitTest(Point where) {
  const Size s = GetSize();
  return where.x >= 0 && where.y >= 0 && where.x < s.width && where.y < s.height ? 1 : 0;
}

Window* View::window() const {
  return control_ ? &control_->window() : nullptr;
}
Rect View::Bounds() const {
  return control_ ? control_->Bounds() : Rect{};
}
Size View::GetSize() const {
  if (widget_) return {double(widget_->width()), double(widget_->height())};
  return Bounds().GetSize();
}

void View::Attach(Control* control, QWidget* widget, std::unique_ptr<ScrollHost> host) {
  control_ = control;
  widget_ = widget;
  scroll_host_ = std::move(host);
}

QWidget* View::Widget() const {
  if (widget_) return widget_;
  return control_ ? control_->widget() : nullptr;
}

void View::Invalidate() {
  if (QWidget* w = Widget()) w->update();
}

void View::SetCursor(CursorKind cursor) {
  if (QWidget* w = Widget()) w->setCursor(ToShape(cursor));
}

void View::SetToolTip(const std::string& text) {
  if (control_) control_->SetToolTip(text);
}

void View::HandleMouseDown(const MouseEvent& event) {
  if (control_ && !control_->IsEnabled()) return;
  if (AcceptsFocus() && control_) control_->SetFocus();
  const int part = event.click_count > 1 ? 0 : HitTest(event.where);
  if (part == 0) {
    OnMouseDown(event);
    return;
  }
  continuous_ = TracksContinuously(part);
  tracker_.Press(part);
  if (continuous_) {
    OnTrack(part, event, false);
  } else {
    Invalidate();
  }
}

void View::HandleMouseMoved(const MouseEvent& event) {
  if (!tracker_.IsTracking()) {
    if (WantsHover()) OnHover(event);
    return;
  }
  if (continuous_) return OnTrack(tracker_.pressed_part(), event, false);
  if (tracker_.Move(HitTest(event.where))) Invalidate();
}

void View::HandleMouseLeft() {
  if (WantsHover()) OnHoverEnded();
}

void View::HandleMouseUp(const MouseEvent& event) {
  if (!tracker_.IsTracking()) return;
  if (continuous_) {
    const int part = tracker_.pressed_part();
    tracker_.Cancel();
    continuous_ = false;
    return OnTrack(part, event, true);
  }
  const int acted = tracker_.Release(HitTest(event.where));
  Invalidate();
  if (acted != 0) OnPartClicked(acted, event);
}

unsigned View::HandleDragEnter(const Drag& drag) {
  const unsigned action = OneAction(OnDragEnter(drag) & drag.allowed_actions);
  drag_inside_ = action != kDragActionNone;
  if (drag_inside_) Invalidate();
  return action;
}

unsigned View::HandleDragWithin(const Drag& drag) {
  const unsigned action = OneAction(OnDragWithin(drag) & drag.allowed_actions);
  if ((action != kDragActionNone) != drag_inside_) Invalidate();
  drag_inside_ = action != kDragActionNone;
  return action;
}

void View::HandleDragLeave() {
  if (drag_inside_) Invalidate();
  drag_inside_ = false;
  OnDragLeave();
}

bool View::HandleDrop(const Drag& drag) {
  if (drag_inside_) Invalidate();
  drag_inside_ = false;
  return OnDrop(drag);
}

unsigned View::StartDrag(const Drag& drag) {
  const DragPayload payload = EncodeDrag(drag);
  const DragPerformer& performer = Performer();
  const unsigned action = performer ? performer(*this, payload, drag.allowed_actions)
                                    : QtPerformDrag(*this, payload, drag.allowed_actions);
  EndDragSession(payload);
  OnDragEnded(action);
  return action;
}

DragPerformer SetDragPerformer(DragPerformer performer) {
  return std::exchange(Performer(), std::move(performer));
}

unsigned DeliverDrop(View& target, const DragPayload& payload, Point where, unsigned modifiers,
                     unsigned allowed_actions) {
  Drag drag = DecodeDrag(payload);
  drag.mouse = where;
  drag.modifiers = modifiers;
  drag.allowed_actions = allowed_actions;
  if (target.HandleDragEnter(drag) == kDragActionNone) return kDragActionNone;
  const unsigned action = target.HandleDragWithin(drag);
  if (action == kDragActionNone) {
    target.HandleDragLeave();
    return kDragActionNone;
  }
  return target.HandleDrop(drag) ? action : kDragActionNone;
}

// The global cursor, for the duration of a drag or a modal tracking (kArrow restores).
void SetThemeCursor(CursorKind cursor) {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  if (cursor != CursorKind::kArrow) QApplication::setOverrideCursor(QCursor(ToShape(cursor)));
}

}  // namespace toolbox
