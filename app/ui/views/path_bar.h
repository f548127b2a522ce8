#pragma once
// The path bar: a 20-pixel strip that shows a folder path as a row of arrow-shaped
// segments, optionally after an icon ("com.orbenix.Truvane.PathSegment"). Clicking a
// segment asks the owner to go to that folder; files dropped on a segment go to the owner
// with that segment's path; segments that do not fit collapse into an overflow chevron
// whose pop-up menu lists them.
//
// With the "first is a label" flag the first component names a host and is no part of
// the path: its segment goes to "/".
//
// Main thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/views/view.h"

namespace ui {

inline constexpr int kPathBarIconIndex = -1;
inline constexpr int kPathBarNone = -2;
inline constexpr int kPathBarChevron = -100;

class PathBarOwner {
 public:
  virtual ~PathBarOwner() = default;
  virtual void PathBarNavigate(const std::string& path) {}
  // May this drag be dropped on the bar (false when not answered).
  virtual bool PathBarAcceptsDrag(const toolbox::Drag& drag) { return false; }
  virtual void PathBarDrop(const std::string& path, const toolbox::Drag& drag) {}
};

class PathBar : public toolbox::View {
 public:
  // A bar showing the single component "Path".
  PathBar();

  void SetOwner(PathBarOwner* owner) { owner_ = owner; }
  // The non-empty components of a "/"-separated path.
  void SetPath(const std::string& path);
  void SetComponents(std::vector<std::string> components);
  void SetIcon(std::optional<toolbox::Image> icon);
  void SetFirstIsLabel(bool flag) { firstIsLabel_ = flag; }
  // The folder's path as components, with the computer icon.
  void ShowFolder(const std::string& folderPath);

  const std::vector<std::string>& Components() const { return components_; }
  const std::vector<int>& SegmentWidths() const { return segmentWidths_; }
  // "/" joined with the components up to `index` (the label left out); "/" for the icon.
  std::string CopyPathToSegment(int index) const;
  toolbox::Rect GetSegmentRect(int index) const;
  // A segment index, kPathBarIconIndex, kPathBarChevron or kPathBarNone.
  int HitTestSegment(toolbox::Point where) const;
  // The first collapsed segment, -1 when all fit.
  int FirstCollapsed() const;
  // The chevron's menu: the collapsed segments' texts, the last one checked.
  toolbox::MenuRef ChevronMenu() const;
  int TrackedSegment() const { return tracked_; }
  int DropTarget() const { return dropTarget_; }
  // The text widths come from here (tests measure with a fixed width per character).
  void SetMeasurer(std::function<double(const std::string&)> measure);

  void SendNavigate(int index);

  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  int HitTest(toolbox::Point where) override;
  bool TracksContinuously(int) const override { return true; }
  void OnTrack(int part, const toolbox::MouseEvent& event, bool released) override;
  void OnBoundsChanged(const toolbox::Rect& old_bounds, const toolbox::Rect& new_bounds) override;
  unsigned OnDragEnter(const toolbox::Drag& drag) override;
  unsigned OnDragWithin(const toolbox::Drag& drag) override;
  void OnDragLeave() override;
  bool OnDrop(const toolbox::Drag& drag) override;

  // Re-measures the texts and lays the segments out in `width`.
  void Measure();
  void Layout(double width);

 private:
  void DrawSegment(toolbox::DrawingContext& ctx, double x, double w, int kind, bool highlighted,
                   const std::string& text);

  PathBarOwner* owner_ = nullptr;
  std::optional<toolbox::Image> icon_;
  std::optional<toolbox::Image> chevron_;
  std::vector<std::string> components_;
  std::vector<int> segmentWidths_;
  std::vector<double> textWidths_;
  bool firstIsLabel_ = false;
  int tracked_ = kPathBarNone;
  int pressed_ = kPathBarNone;
  int dropTarget_ = kPathBarNone;
  bool dragAccepted_ = false;
  std::function<double(const std::string&)> measure_;
};

}  // namespace ui
