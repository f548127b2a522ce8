#include "app/ui/views/small_views.h"

#include <algorithm>
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

toolbox::Font ViewsFont() {
  return toolbox::GetThemeFont(toolbox::ThemeFont::kSystem);
}

// Sends `command` from the view's control, as a click on a button does.
void SendCommandFrom(toolbox::View& view, values::FourCharCode command) {
  if (!command || !view.control()) return;
  auto event = toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{command});
  view.control()->target()->Send(*event);
  if (auto* w = view.window(); w && !w->IsReleased()) w->UpdateButtonStates();
}

}  // namespace

void DrawSmallButtonBackground(DrawingContext& ctx, const Rect& r, bool pressed) {
  const double split = std::ceil(r.height * 12 / 23);
  ctx.SetFillColor(Color::FromBytes(pressed ? 133 : 251, pressed ? 133 : 251, pressed ? 133 : 251));
  ctx.FillRect({r.x, r.y, r.width, split});
  ctx.SetFillColor(Color::FromBytes(pressed ? 125 : 237, pressed ? 125 : 237, pressed ? 125 : 237));
  ctx.FillRect({r.x, r.y + split, r.width, r.height - split});
  const int edge = pressed ? 81 : 151;
  ctx.SetStrokeColor(Color::FromBytes(edge, edge, edge));
  ctx.SetLineWidth(1);
  ctx.StrokeRect(r.Inset(0.5, 0.5));
}

// ---- filter bar ----

FilterBar::FilterBar() {
  background_ = CreateImageFromResource("search_bar_background");
  const char* sets[] = {"button", "rollover", "pressed"};
  const char* parts[] = {"left", "centre", "right"};
  for (int s = 0; s < 3; ++s)
    for (int p = 0; p < 3; ++p)
      images_[s][p] = CreateImageFromResource(std::string("search_bar_") + sets[s] + "_" + parts[p]);
}

void FilterBar::SetLabels(std::vector<std::string> labels) {
  labels_ = std::move(labels);
  rollover_ = -1;
  commands_.assign(labels_.size(), 0);
  Layout();
  Invalidate();
}

void FilterBar::SetButtonCommand(int index, values::FourCharCode command) {
  if (index < 0 || index >= static_cast<int>(labels_.size())) return;
  commands_[index] = command;
}

values::FourCharCode FilterBar::ButtonCommand(int index) const {
  return index >= 0 && index < static_cast<int>(commands_.size()) ? commands_[index] : 0;
}

void FilterBar::SetSelectedIndex(int index) {
  selected_ = index;
  Invalidate();
}

void FilterBar::Layout() {
  starts_.clear();
  widths_.clear();
  double x = 13;
  for (const auto& label : labels_) {
    const double w = std::ceil(toolbox::MeasureText(label, ViewsFont()).width);
    starts_.push_back(x);
    widths_.push_back(w);
    x += w + 16;
  }
}

Rect FilterBar::ButtonRect(int index) const {
  if (index < 0 || index >= static_cast<int>(starts_.size())) return {};
  return {starts_[index] - 7, 4, widths_[index] + 14, 17};
}

int FilterBar::HitTest(Point where) {
  for (int i = 0; i < static_cast<int>(starts_.size()); ++i) {
    const Rect shape{starts_[i] - 7, 4, widths_[i] + 14, 16};
    if (shape.Contains(where)) return i + 1;
  }
  return 0;
}

void FilterBar::OnHover(const toolbox::MouseEvent& event) {
  const int index = HitTest(event.where) - 1;
  if (index == rollover_) return;
  rollover_ = index;
  Invalidate();
}

void FilterBar::OnHoverEnded() {
  if (rollover_ < 0) return;
  rollover_ = -1;
  Invalidate();
}

void FilterBar::OnPartClicked(int part, const toolbox::MouseEvent&) {
  rollover_ = -1;
  const int index = part - 1;
  if (index < 0 || index >= static_cast<int>(labels_.size())) return;
  selected_ = index;
  Invalidate();
  SendCommandFrom(*this, commands_[index]);
}

void FilterBar::Draw(DrawingContext& ctx, const Rect& dirty) {
  const toolbox::Size size = GetSize();
  if (background_) ctx.DrawImage({0, 0, size.width, size.height}, *background_);
  const int pressed = highlighted_part() - 1;
  for (int i = 0; i < static_cast<int>(labels_.size()); ++i) {
    const double x = starts_[i], w = widths_[i];
    int set = -1;
    if (i == selected_)
      set = 0;
    else if (i == pressed)
      set = 2;
    else if (i == rollover_)
      set = 1;
    toolbox::TextStyle style;
    style.font = ViewsFont();
    style.alignment = toolbox::TextAlignment::kCenter;
    style.truncation = toolbox::Truncation::kEnd;
    style.center_vertically = true;
    if (set >= 0) {
      if (images_[set][0]) ctx.DrawImage({x - 7, 4, 14, 17}, *images_[set][0]);
      if (images_[set][2]) ctx.DrawImage({x + w - 7, 4, 14, 17}, *images_[set][2]);
      if (images_[set][1] && w > 14) ctx.DrawImage({x + 7, 4, w - 14, 17}, *images_[set][1]);
      style.color = Color::White();
    } else {
      style.color = Color{0.3, 0.3, 0.3, 1};
    }
    ctx.DrawText(labels_[i], {x, 4, w + 1, 17}, style);
  }
}

// ---- small button ----

void SmallButton::SetIcon(std::optional<toolbox::Image> icon) {
  icon_ = std::move(icon);
  Invalidate();
}

void SmallButton::SetMenu(toolbox::MenuRef menu) {
  menu_ = std::move(menu);
  Invalidate();
}

void SmallButton::SetHideMenuArrow(bool hide) {
  hideMenuArrow_ = hide;
  Invalidate();
}

int SmallButton::HitTest(Point where) {
  if (control() && !control()->IsEnabled()) return 0;
  return View::HitTest(where) ? 10 : 0;
}

void SmallButton::Draw(DrawingContext& ctx, const Rect&) {
  const toolbox::Size size = GetSize();
  const bool pressed = IsPressed();
  DrawSmallButtonBackground(ctx, {0, 0, size.width, size.height}, pressed);
  const bool arrow = menu_ && !hideMenuArrow_;
  double iconRight = 0;
  if (icon_) {
    const double x = std::floor((size.width - 16) / 2) - (arrow ? 4 : 0);
    const double y = std::floor((size.height - 16) / 2);
    ctx.SaveGState();
    if (control() && !control()->IsEnabled()) ctx.SetAlpha(0.4);
    ctx.DrawImage({x, y, 16, 16}, *icon_);
    ctx.RestoreGState();
    iconRight = x + 16;
  }
  if (arrow) {
    const double a = iconRight + 2, mid = std::floor(size.height / 2);
    ctx.SetFillColor(pressed ? Color::White() : Color::Black());
    ctx.BeginPath();
    ctx.MoveToPoint(a, mid - 1);
    ctx.AddLineToPoint(a + 5, mid - 1);
    ctx.AddLineToPoint(a + 2.5, mid + 3);
    ctx.ClosePath();
    ctx.FillPath();
  }
}

void SmallButton::OnTrack(int, const toolbox::MouseEvent&, bool released) {
  if (released || !menu_ || !control()) return;
  pressed_ = true;
  Invalidate();
  const Rect frame = control()->Bounds();
  // Below the button when the menu fits under it on the window's screen, else over it.
  toolbox::PopUpMenuSelect(window(), {frame.x, frame.Bottom()}, menu_, 0);
  pressed_ = false;
  Invalidate();
}

void SmallButton::OnPartClicked(int, const toolbox::MouseEvent&) {
  if (control()) SendCommandFrom(*this, control()->Command());
}

// ---- bevelled text ----

void BevelledText::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Invalidate();
}

void BevelledText::Draw(DrawingContext& ctx, const Rect&) {
  const toolbox::Size size = GetSize();
  DrawSmallButtonBackground(ctx, {0, 0, size.width, size.height}, false);
  const bool active = control() && control()->IsEnabled();
  toolbox::TextStyle style;
  style.font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem);
  style.color = active ? Color::Black() : Color{0.5, 0.5, 0.5, 1};
  style.truncation = toolbox::Truncation::kMiddle;
  style.center_vertically = true;
  ctx.DrawText(text_, {8, 0, size.width - 8, size.height}, style);
}

// ---- divider line ----

void DividerLine::Draw(DrawingContext& ctx, const Rect&) {
  const toolbox::Size size = GetSize();
  ctx.SetFillColor(Color::FromBytes(150, 150, 150));
  ctx.FillRect({0, 0, 1, size.height});
  ctx.SetFillColor(Color::White());
  ctx.FillRect({1, 0, 1, size.height});
}

void DividerLine::OnTrack(int, const toolbox::MouseEvent& event, bool released) {
  if (!control()) return;
  toolbox::SetThemeCursor(released ? toolbox::CursorKind::kArrow : toolbox::CursorKind::kClosedHand);
  if (!released) DragLeftPaneSplitter(control()->window(), control()->Bounds().x + event.where.x);
}

double DragLeftPaneSplitter(toolbox::Window& window, double mouseX) {
  using toolbox::kApplicationSignature;
  toolbox::Control* listArea = window.FindControl(kApplicationSignature, 2000);
  toolbox::Control* bottom = window.FindControl(kApplicationSignature, 10001);
  toolbox::Control* grip =
      window.FindControl(kApplicationSignature, static_cast<std::int32_t>(values::FourCC("QWSp")));
  toolbox::Control* pane =
      window.FindControl(kApplicationSignature, static_cast<std::int32_t>(values::FourCC("CLis")));
  if (!grip) return 0;
  const double width = window.ContentBounds().width;
  const double position = std::min(std::max(mouseX, 140.0), width - 350);
  const Rect gripFrame = grip->Bounds();
  double change = position - gripFrame.Right();
  if (pane && pane->IsVisible() && listArea) change = std::max(change, 20 - listArea->Bounds().x);
  change = std::max(change, 100 - gripFrame.Right());
  if (change == 0) return 0;
  grip->SetBounds({gripFrame.x, gripFrame.y, gripFrame.width + change, gripFrame.height});
  for (toolbox::Control* c : {bottom, listArea}) {
    if (!c) continue;
    const Rect r = c->Bounds();
    c->SetBounds({r.x + change, r.y, r.width - change, r.height});
  }
  if (pane) {
    const Rect r = pane->Bounds();
    pane->SetBounds({r.x, r.y, r.width + change, r.height});
  }
  return change;
}

}  // namespace ui
