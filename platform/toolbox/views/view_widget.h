#pragma once
// The Qt widget behind a custom view; internal to the toolbox.

#include <QWidget>

#include "platform/toolbox/drawing/geometry.h"

namespace toolbox {

class View;

class ViewWidget : public QWidget {
 public:
  ViewWidget(View& view, QWidget* parent);
  void Detach() { view_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dragLeaveEvent(QDragLeaveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  View* view_;
  Rect last_bounds_;
  unsigned drag_action_ = 0;  // what the view last said it would do with the drag over it
};

}  // namespace toolbox
