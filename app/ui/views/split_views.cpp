#include "app/ui/views/split_views.h"

#include <algorithm>
#include <cmath>

#include "app/ui/views/resource_images.h"
#include "app/ui/views/small_views.h"

namespace ui {

using toolbox::Color;
using toolbox::Rect;

SplitView::SplitView()
    : background_(CreateImageFromResource("split_background")),
      grip_(CreateImageFromResource("split_splitter")) {}

void SplitView::SetFirstViews(std::vector<toolbox::Control*> views) {
  if (views.size() <= 4) first_ = std::move(views);
}
void SplitView::SetSecondViews(std::vector<toolbox::Control*> views) {
  if (views.size() <= 4) second_ = std::move(views);
}
void SplitView::SetArea(double left, double width) {
  left_ = left;
  width_ = width;
}

void SplitView::SetRatio(double ratio) {
  const double usable = width_ - 4;
  const double first = std::trunc(ratio * usable), second = usable - first;
  for (toolbox::Control* c : first_) {
    const Rect r = c->Bounds();
    c->SetBounds({left_, r.y, first, r.height});
  }
  for (toolbox::Control* c : second_) {
    const Rect r = c->Bounds();
    c->SetBounds({left_ + first + 4, r.y, second, r.height});
  }
  if (control()) {
    const Rect r = control()->Bounds();
    control()->SetBounds({left_ + first, r.y, r.width, r.height});
  }
}

double SplitView::GetRatio() const {
  if (first_.empty() || width_ <= 4) return 0;
  return first_.front()->Bounds().width / (width_ - 4);
}

void SplitView::Draw(toolbox::DrawingContext& ctx, const Rect&) {
  const toolbox::Size size = GetSize();
  ctx.SetStrokeColor(Color::FromBytes(158, 158, 158));
  if (background_) ctx.DrawImage({0, 0, size.width, size.height}, *background_);
  if (grip_) {
    const double y = std::trunc(size.height / 2) - grip_->height();
    ctx.DrawImage({2, y, double(grip_->width()), double(grip_->height())}, *grip_);
  }
  ctx.StrokeLine({0, 0.5}, {size.width, 0.5});
}

void SplitView::OnTrack(int, const toolbox::MouseEvent& event, bool released) {
  if (first_.empty() || second_.empty() || !control()) return;
  const Rect f = first_.front()->Bounds(), s = second_.front()->Bounds(), b = control()->Bounds();
  if (!tracking_) {
    tracking_ = true;
    pressX_ = event.where.x;
    total_ = f.width + s.width;
    ratio_ = total_ > 0 ? f.width / total_ : 0;
    low_ = f.x - b.x + b.width / 2 + pressX_;
    high_ = s.width + b.width - 16 + (b.width - pressX_);
    last_ = pressX_;
  }
  const double p = std::clamp(event.where.x, low_, std::max(low_, high_));
  if (p != last_ && total_ > 0) {
    const double r = ratio_ - (last_ - p) / total_;
    if (r != ratio_) {
      ratio_ = r;
      SetRatio(r);
    }
    last_ = p;
  }
  if (released) tracking_ = false;
}

void Shader::Draw(toolbox::DrawingContext& ctx, const Rect& dirty) {
  const toolbox::Size size = GetSize();
  ctx.SetFillColor(Color{0, 0, 0, 0.525});
  ctx.FillRect(dirty.IsEmpty() ? Rect{0, 0, size.width, size.height} : dirty);
}

void PaneGrip::Draw(toolbox::DrawingContext& ctx, const Rect&) {
  const toolbox::Size size = GetSize();
  DrawSmallButtonBackground(ctx, {0, 0, size.width, size.height}, false);
  if (auto icon = GetIcon(kAppCreator, values::FourCC("Divi")))
    ctx.DrawImage({size.width - 14, 7, 7, 9}, *icon);
}

void PaneGrip::OnTrack(int, const toolbox::MouseEvent& event, bool released) {
  if (!control()) return;
  toolbox::SetThemeCursor(released ? toolbox::CursorKind::kArrow : toolbox::CursorKind::kClosedHand);
  if (!released) DragLeftPaneSplitter(control()->window(), control()->Bounds().x + event.where.x);
  if (released) SetCursor(toolbox::CursorKind::kOpenHand);
}

}  // namespace ui
