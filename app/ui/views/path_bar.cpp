#include "app/ui/views/path_bar.h"

#include <cmath>

#include "app/ui/views/resource_images.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/theme/font.h"
#include "platform/toolbox/theme/theme.h"

namespace ui {

using toolbox::Color;
using toolbox::DrawingContext;
using toolbox::Point;
using toolbox::Rect;

namespace {
constexpr double kIconArea = 29;
constexpr double kArrow = 5;
constexpr double kHeight = 20;
}  // namespace

PathBar::PathBar() : chevron_(CreateImageFromResource("chevron")) {
  components_ = {"Path"};
  Measure();
}

void PathBar::SetMeasurer(std::function<double(const std::string&)> measure) {
  measure_ = std::move(measure);
  Measure();
}

void PathBar::SetPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::string part =
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  SetComponents(std::move(parts));
}

void PathBar::SetComponents(std::vector<std::string> components) {
  components_ = std::move(components);
  Measure();
  Invalidate();
}

void PathBar::SetIcon(std::optional<toolbox::Image> icon) {
  icon_ = std::move(icon);
  Measure();
  Invalidate();
}

void PathBar::ShowFolder(const std::string& folderPath) {
  SetPath(folderPath);
  SetIcon(GetIcon(kSystemCreator, values::FourCC("root")));
}

std::string PathBar::CopyPathToSegment(int index) const {
  if (index < 0) return "/";
  std::string path;
  for (int i = firstIsLabel_ ? 1 : 0; i <= index && i < static_cast<int>(components_.size()); ++i)
    path += "/" + components_[i];
  return path.empty() ? "/" : path;
}

void PathBar::Measure() {
  textWidths_.clear();
  const toolbox::Font font = toolbox::GetThemeFont(toolbox::ThemeFont::kSystem);
  for (const auto& c : components_) {
    const double w = measure_ ? measure_(c) : toolbox::MeasureText(c, font).width;
    textWidths_.push_back(std::min(w, 1000.0));
  }
  Layout(GetSize().width);
}

void PathBar::Layout(double width) {
  const double available = width - (icon_ ? kIconArea : 0) + kArrow * static_cast<double>(components_.size());
  segmentWidths_.clear();
  double sum = 0;
  for (double t : textWidths_) {
    segmentWidths_.push_back(static_cast<int>(t + 16));
    sum += segmentWidths_.back();
  }
  if (sum <= available) return;
  double remaining = available;
  bool collapsing = false;
  for (int& w : segmentWidths_) {
    if (!collapsing && remaining >= w + 33) {
      remaining -= w;
    } else {
      collapsing = true;
      w = 0;
    }
  }
}

void PathBar::OnBoundsChanged(const Rect&, const Rect& bounds) {
  Layout(bounds.width);
  Invalidate();
}

Rect PathBar::GetSegmentRect(int index) const {
  const double h = GetSize().height > 0 ? GetSize().height : kHeight;
  if (index < 0) return {0, 0, kIconArea, h};
  double x = icon_ ? kIconArea : 0;
  for (int i = 0; i < index && i < static_cast<int>(segmentWidths_.size()); ++i)
    x += segmentWidths_[i] - kArrow;
  return {x, 0, index < static_cast<int>(segmentWidths_.size()) ? double(segmentWidths_[index]) : 0, h};
}

int PathBar::FirstCollapsed() const {
  for (int i = 0; i < static_cast<int>(segmentWidths_.size()); ++i)
    if (segmentWidths_[i] < 2) return i;
  return -1;
}

int PathBar::HitTestSegment(Point where) const {
  const double start0 = icon_ ? kIconArea : 0;
  if (icon_ && where.x >= 0 && where.x < start0 - kArrow) return kPathBarIconIndex;
  double start = start0;
  const double width = GetSize().width;
  for (int i = 0; i < static_cast<int>(segmentWidths_.size()); ++i) {
    const double w = segmentWidths_[i];
    if (w < 2) {
      // One chevron for all the collapsed segments, where the drawing puts it.
      const Rect chevron{start + 2 + std::trunc((width - 14 - start) / 2), 3, 14, 13};
      return chevron.Contains(where) ? kPathBarChevron : kPathBarNone;
    }
    if (where.x >= start && where.x < start + w) return i;
    start += w - kArrow;
  }
  return kPathBarNone;
}

int PathBar::HitTest(Point where) {
  const int hit = HitTestSegment(where);
  return hit == kPathBarNone ? 0 : 10;
}

toolbox::MenuRef PathBar::ChevronMenu() const {
  auto menu = toolbox::Menu::Create(0);
  const int first = FirstCollapsed();
  for (int i = first; i >= 0 && i < static_cast<int>(components_.size()); ++i)
    menu->AppendItem(components_[i]);
  if (menu->CountItems() > 0) menu->SetItemMark(menu->CountItems(), toolbox::kCheckMark);
  return menu;
}

void PathBar::SendNavigate(int index) {
  if (owner_) owner_->PathBarNavigate(CopyPathToSegment(index));
}

void PathBar::OnTrack(int, const toolbox::MouseEvent& event, bool released) {
  const int hit = HitTestSegment(event.where);
  if (pressed_ == kPathBarNone && !released) {
    if (hit == kPathBarChevron) {
      const int first = FirstCollapsed();
      Point where = event.where;
      if (control()) where = {control()->Bounds().x + where.x + 14, control()->Bounds().y + where.y};
      const toolbox::MenuSelection chosen = toolbox::PopUpMenuSelect(window(), where, ChevronMenu(), 0);
      if (chosen.chosen()) SendNavigate(first + chosen.item - 1);
      pressed_ = kPathBarChevron;
      return;
    }
    if (hit == kPathBarNone) return;
    pressed_ = tracked_ = hit;
    Invalidate();
    return;
  }
  if (pressed_ == kPathBarNone || pressed_ == kPathBarChevron) {
    if (released) pressed_ = kPathBarNone;
    return;
  }
  const int inside = hit == pressed_ ? pressed_ : kPathBarNone;
  if (inside != tracked_) {
    tracked_ = inside;
    Invalidate();
  }
  if (!released) return;
  const int acted = tracked_;
  tracked_ = pressed_ = kPathBarNone;
  Invalidate();
  if (acted != kPathBarNone) SendNavigate(acted);
}

unsigned PathBar::OnDragEnter(const toolbox::Drag& drag) {
  dragAccepted_ = owner_ && owner_->PathBarAcceptsDrag(drag);
  if (dragAccepted_) SetCursor(toolbox::CursorKind::kCopy);
  return dragAccepted_ ? toolbox::kDragActionCopy : toolbox::kDragActionNone;
}

unsigned PathBar::OnDragWithin(const toolbox::Drag& drag) {
  if (!dragAccepted_) return toolbox::kDragActionNone;
  const int hit = HitTestSegment(drag.mouse);
  const int target = hit >= 0 ? hit : kPathBarNone;
  if (target != dropTarget_) {
    dropTarget_ = target;
    Invalidate();
  }
  return toolbox::kDragActionCopy;
}

void PathBar::OnDragLeave() {
  SetCursor(toolbox::CursorKind::kArrow);
  dropTarget_ = kPathBarNone;
  dragAccepted_ = false;
  Invalidate();
}

bool PathBar::OnDrop(const toolbox::Drag& drag) {
  const int hit = HitTestSegment(drag.mouse);
  dropTarget_ = kPathBarNone;
  Invalidate();
  if (hit < 0 || !owner_) return false;
  owner_->PathBarDrop(CopyPathToSegment(hit), drag);
  return true;
}

void PathBar::DrawSegment(DrawingContext& ctx, double x, double w, int kind, bool highlighted,
                          const std::string& text) {
  const double h = kHeight;
  ctx.SaveGState();
  ctx.BeginPath();
  ctx.MoveToPoint(x, 0);
  ctx.AddLineToPoint(x + w - kArrow, 0);
  ctx.AddLineToPoint(x + w, h / 2);
  ctx.AddLineToPoint(x + w - kArrow, h);
  ctx.AddLineToPoint(x, h);
  if (kind == 1 || kind == 2) ctx.AddLineToPoint(x + kArrow, h / 2);
  ctx.ClosePath();
  ctx.ClipToPath();
  const Color top =
      highlighted ? Color::FromBytes(200, 200, 200)
                  : Color::FromBytes(kind == 2 ? 236 : 250, kind == 2 ? 236 : 250, kind == 2 ? 236 : 250);
  const Color bottom =
      highlighted ? Color::FromBytes(176, 176, 176)
                  : Color::FromBytes(kind == 2 ? 214 : 228, kind == 2 ? 214 : 228, kind == 2 ? 214 : 228);
  ctx.DrawLinearGradient(toolbox::Gradient{{{0, top}, {1, bottom}}}, {0, 0}, {0, h});
  ctx.RestoreGState();
  ctx.SetStrokeColor(Color::FromBytes(150, 150, 150));
  ctx.SetLineWidth(kind == 2 || kind == 3 ? 0.5 : 1);
  ctx.BeginPath();
  ctx.MoveToPoint(x + w - kArrow, 0);
  ctx.AddLineToPoint(x + w, h / 2);
  ctx.AddLineToPoint(x + w - kArrow, h);
  ctx.StrokePath();
  if (kind == 3) return;
  toolbox::TextStyle style;
  style.font = toolbox::GetThemeFont(toolbox::ThemeFont::kSystem);
  style.truncation = toolbox::Truncation::kMiddle;
  style.center_vertically = true;
  const bool notched = kind == 1 || kind == 2;
  ctx.DrawText(text, {x + (notched ? 8 : 5), 0, w - (notched ? 16 : 13), h}, style);
}

void PathBar::Draw(DrawingContext& ctx, const Rect&) {
  const double width = GetSize().width;
  ctx.SetFillColor(Color::FromBytes(236, 236, 236));
  ctx.FillRect({0, 0, width, kHeight});
  double x = 0;
  if (icon_) {
    DrawSegment(ctx, 0, kIconArea, components_.empty() ? 3 : 0, tracked_ == kPathBarIconIndex, "");
    ctx.DrawImage({4, 2, 16, 16}, *icon_);
    x = kIconArea - kArrow;
  }
  const int n = static_cast<int>(components_.size());
  int i = 0;
  for (; i < n; ++i) {
    const int w = segmentWidths_[i];
    if (w < 2) break;
    int kind = i == 0 && !icon_ ? 0 : 1;
    if (i == n - 1) kind = 2;
    DrawSegment(ctx, x, w, kind, tracked_ == i || dropTarget_ == i, components_[i]);
    x += w - kArrow;
  }
  if (i < n && chevron_) {
    const double start = GetSegmentRect(i).x;
    ctx.DrawImage({start + 2 + std::trunc((width - 14 - start) / 2), 3, 14, 13}, *chevron_);
  }
  ctx.SetFillColor(Color::FromBytes(170, 170, 170));
  ctx.FillRect({0, kHeight - 1, width, 1});
}

}  // namespace ui
