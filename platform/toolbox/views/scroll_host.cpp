#include "platform/toolbox/views/scroll_host.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>

namespace toolbox {

void ScrollHost::SetImageSize(Size size) {
  if (QWidget* view = area_->widget())
    view->resize(int(std::max(0.0, size.width)), int(std::max(0.0, size.height)));
}

Size ScrollHost::ImageSize() const {
  const QWidget* view = area_->widget();
  return view ? Size{double(view->width()), double(view->height())} : Size{};
}

void ScrollHost::SetLineSize(Size size) {
  area_->horizontalScrollBar()->setSingleStep(std::max(1, int(size.width)));
  area_->verticalScrollBar()->setSingleStep(std::max(1, int(size.height)));
}

void ScrollHost::SetScrollBars(bool horizontal, bool vertical) {
  area_->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  area_->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

bool ScrollHost::IsScrollBarVisible(bool horizontal) const {
  const QScrollBar* bar = horizontal ? area_->horizontalScrollBar() : area_->verticalScrollBar();
  // Asked before the window is shown, isVisible() is false: a bar with a range shows.
  const auto policy = horizontal ? area_->horizontalScrollBarPolicy() : area_->verticalScrollBarPolicy();
  return policy != Qt::ScrollBarAlwaysOff && bar->maximum() > bar->minimum();
}

Point ScrollHost::Origin() const {
  return {double(area_->horizontalScrollBar()->value()), double(area_->verticalScrollBar()->value())};
}

void ScrollHost::ScrollTo(Point origin) {
  // The bars' ranges are the clamp: 0 to image size less the frame.
  area_->horizontalScrollBar()->setValue(int(origin.x));
  area_->verticalScrollBar()->setValue(int(origin.y));
}

Rect ScrollHost::VisibleArea() const {
  const Point o = Origin();
  const QSize frame = area_->viewport()->size();
  const Size image = ImageSize();
  return {o.x, o.y, std::min(double(frame.width()), image.width - o.x),
          std::min(double(frame.height()), image.height - o.y)};
}

Size ScrollHost::FrameSize() const {
  const QSize frame = area_->viewport()->size();
  return {double(frame.width()), double(frame.height())};
}

namespace {
class FrameWatcher : public QObject {
 public:
  FrameWatcher(QObject* parent, std::function<void()> changed)
      : QObject(parent), changed_(std::move(changed)) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Resize && changed_) changed_();
    return QObject::eventFilter(watched, e);
  }

 private:
  std::function<void()> changed_;
};
}  // namespace

void ScrollHost::SetFrameChangedHandler(std::function<void()> handler) {
  area_->viewport()->installEventFilter(new FrameWatcher(area_, std::move(handler)));
}

void ScrollHost::ScrollRectToVisible(const Rect& r) {
  const QSize frame = area_->viewport()->size();
  auto axis = [](double origin, double extent, double start, double length) {
    if (length > extent || start < origin) return start;  // show its start
    if (start + length > origin + extent) return start + length - extent;
    return origin;
  };
  const Point o = Origin();
  ScrollTo({axis(o.x, frame.width(), r.x, r.width), axis(o.y, frame.height(), r.y, r.height)});
}

}  // namespace toolbox
