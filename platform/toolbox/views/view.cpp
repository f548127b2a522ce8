#include "platform/toolbox/views/view.h"

#include <QApplication>
#include <QContextMenuEvent>
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
    default:
      return e->text().isEmpty() ? 0 : static_cast<int>(e->text().toUcs4().value(0));
  }
}

Drag DragFromMime(const QMimeData* mime, QPointF where, Qt::KeyboardModifiers modifiers, bool internal) {
  Drag drag;
  drag.mouse = {where.x(), where.y()};
  drag.modifiers = ModifiersOf(modifiers);
  drag.from_this_program = internal;
  if (!mime) return drag;
  if (mime->hasUrls()) {
    for (const QUrl& url : mime->urls()) {
      DragItem item;
      item.flavors[kFlavorFileURL] = url.toString(QUrl::FullyEncoded).toStdString();
      drag.items.push_back(std::move(item));
    }
  } else if (mime->hasText()) {
    DragItem item;
    item.flavors[kFlavorText] = mime->text().toStdString();
    drag.items.push_back(std::move(item));
  }
  return drag;
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
  setMouseTracking(false);
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
  const unsigned action =
      view_->OnDragEnter(DragFromMime(e->mimeData(), e->position(), e->modifiers(), e->source()));
  if (action == kDragActionNone) return e->ignore();
  e->setDropAction(ToDropAction(action));
  e->accept();
}

void ViewWidget::dragMoveEvent(QDragMoveEvent* e) {
  if (!view_) return;
  const unsigned action =
      view_->OnDragWithin(DragFromMime(e->mimeData(), e->position(), e->modifiers(), e->source()));
  if (action == kDragActionNone) return e->ignore();
  e->setDropAction(ToDropAction(action));
  e->accept();
}

void ViewWidget::dragLeaveEvent(QDragLeaveEvent*) {
  if (view_) view_->OnDragLeave();
}

void ViewWidget::dropEvent(QDropEvent* e) {
  if (!view_) return;
  if (view_->OnDrop(DragFromMime(e->mimeData(), e->position(), e->modifiers(), e->source())))
    e->acceptProposedAction();
  else
    e->ignore();
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
  return Bounds().GetSize();
}

void View::Invalidate() {
  if (control_) control_->widget()->update();
}

void View::SetCursor(CursorKind cursor) {
  if (control_) control_->widget()->setCursor(ToShape(cursor));
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
  if (!tracker_.IsTracking()) return;
  if (continuous_) return OnTrack(tracker_.pressed_part(), event, false);
  if (tracker_.Move(HitTest(event.where))) Invalidate();
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

// The global cursor, for the duration of a drag or a modal tracking (kArrow restores).
void SetThemeCursor(CursorKind cursor) {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  if (cursor != CursorKind::kArrow) QApplication::setOverrideCursor(QCursor(ToShape(cursor)));
}

}  // namespace toolbox
