#pragma once
// Small custom views the main window places around its lists:
//   FilterBar     a strip of scope buttons drawn from images, one per label, each sending
//                 its command when clicked ("com.orbenix.Truvane.SearchBarView");
//   SmallButton   a square two-tone button with a 16-pixel icon and an optional pop-up
//                 menu with its arrow (the bandwidth, action and uploads buttons);
//   BevelledText  a line of text on a small bevel face;
//   DividerLine   a 2-pixel frame line the user drags to resize the source-list pane.
// DragLeftPaneSplitter moves the pane's edge for the divider and the pane grip alike.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

// The small button's two-tone face and border, into any rectangle (the pane grip too).
void DrawSmallButtonBackground(toolbox::DrawingContext& ctx, const toolbox::Rect& r, bool pressed);

class FilterBar : public toolbox::View {
 public:
  FilterBar();

  // Replaces the labels; every command goes back to none.
  void SetLabels(std::vector<std::string> labels);
  // Ignored for an index outside the labels.
  void SetButtonCommand(int index, values::FourCharCode command);
  void SetSelectedIndex(int index);
  int SelectedIndex() const { return selected_; }
  const std::vector<std::string>& Labels() const { return labels_; }
  values::FourCharCode ButtonCommand(int index) const;
  // The button's rectangle as drawn (x - 7, 4, w + 14, 17).
  toolbox::Rect ButtonRect(int index) const;

  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  int HitTest(toolbox::Point where) override;  // button index + 1, 0 outside
  void OnPartClicked(int part, const toolbox::MouseEvent& event) override;
  // The button under the mouse is drawn with the rollover images.
  bool WantsHover() const override { return true; }
  void OnHover(const toolbox::MouseEvent& event) override;
  void OnHoverEnded() override;
  int RolloverIndex() const { return rollover_; }

 private:
  void Layout();
  std::optional<toolbox::Image> background_;
  std::optional<toolbox::Image> images_[3][3];  // selected, rollover, pressed x left, centre, right
  std::vector<std::string> labels_;
  std::vector<values::FourCharCode> commands_;
  std::vector<double> starts_;  // x of each label
  std::vector<double> widths_;  // measured width of each label
  int selected_ = -1;
  int rollover_ = -1;
};

class SmallButton : public toolbox::View {
 public:
  void SetIcon(std::optional<toolbox::Image> icon);
  void SetMenu(toolbox::MenuRef menu);
  toolbox::MenuRef GetMenu() const { return menu_; }
  void SetHideMenuArrow(bool hide);
  bool IsPressed() const { return pressed_ || highlighted_part() != 0; }

  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  int HitTest(toolbox::Point where) override;
  bool TracksContinuously(int part) const override { return menu_ != nullptr; }
  void OnTrack(int part, const toolbox::MouseEvent& event, bool released) override;
  void OnPartClicked(int part, const toolbox::MouseEvent& event) override;

 private:
  toolbox::MenuRef menu_;
  std::optional<toolbox::Image> icon_;
  bool pressed_ = false;
  bool hideMenuArrow_ = false;
};

class BevelledText : public toolbox::View {
 public:
  // The 'cfst' data: setting the same text does nothing.
  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;

 private:
  std::string text_;
};

class DividerLine : public toolbox::View {
 public:
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  bool TracksContinuously(int) const override { return true; }
  void OnTrack(int part, const toolbox::MouseEvent& event, bool released) override;
};

// One step of dragging the source-list pane's edge to `mouseX` (window content x): the
// position is kept at 140 or more and then at the window width - 350 or less; while the
// pane shows, the list area's left edge stays at 20 or more and the grip's right edge at
// 100 or more. The grip grows, the bottom area and the list area move and shrink, and the
// source list widens by the change. Returns the change applied.
double DragLeftPaneSplitter(toolbox::Window& window, double mouseX);

}  // namespace ui
