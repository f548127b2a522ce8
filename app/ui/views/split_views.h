#pragma once
// Three small views of the main window:
//   SplitView  the 7-pixel bar between a left and a right side that the user drags to
//              share the width between them ("com.orbenix.Truvane.SplitView"); it moves
//              up to four views on each side, which keep their y and height;
//   Shader     a translucent black overlay over the window's content while a sheet is
//              open ("com.orbenix.Truvane.Shader");
//   PaneGrip   the grip in the bottom bar whose drag resizes the source-list pane
//              ("com.kelvarin.splittercontrol").
// The window's controls are siblings in its content: the split view shares the area
// from its left side's left edge over `width` (its superview's width).
//
// Main thread only.

#include <optional>
#include <vector>

#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/views/view.h"

namespace ui {

inline constexpr double kSplitViewWidth = 7;

class SplitView : public toolbox::View {
 public:
  SplitView();
  // At most four each; more are not taken.
  void SetFirstViews(std::vector<toolbox::Control*> views);
  void SetSecondViews(std::vector<toolbox::Control*> views);
  // The shared area: its left edge and width in the window's content.
  void SetArea(double left, double width);
  // first = trunc(r x (W - 4)); the second side starts 4 pixels after it.
  void SetRatio(double ratio);
  // The first side's share of W - 4, so that reading back gives what was set.
  double GetRatio() const;

  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  int HitTest(toolbox::Point) override { return 10; }
  bool TracksContinuously(int) const override { return true; }
  void OnTrack(int part, const toolbox::MouseEvent& event, bool released) override;

 private:
  std::optional<toolbox::Image> background_;
  std::optional<toolbox::Image> grip_;
  std::vector<toolbox::Control*> first_;
  std::vector<toolbox::Control*> second_;
  double left_ = 0;
  double width_ = 0;
  // The drag: where it started and the ratio it started from.
  double pressX_ = 0;
  double ratio_ = 0;
  double total_ = 0;
  double low_ = 0, high_ = 0, last_ = 0;
  bool tracking_ = false;
};

class Shader : public toolbox::View {
 public:
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  int HitTest(toolbox::Point) override { return 0; }
};

class PaneGrip : public toolbox::View {
 public:
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  bool TracksContinuously(int) const override { return true; }
  void OnTrack(int part, const toolbox::MouseEvent& event, bool released) override;
};

}  // namespace ui
