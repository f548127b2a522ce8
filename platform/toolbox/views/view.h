#pragma once
// Custom views: the windows' own drawn controls (the LCD display, the path bar, the
// list cells' buttons, graphs). A view is a control of its window - found by its id,
// enabled, shown and placed like any other - whose drawing and input are its own:
//
//   Draw        paints into a drawing context (top-left origin, the view's bounds at
//               0,0) whenever the view is invalid;
//   HitTest     names the control part under a point (0 = none);
//   presses     go through a PressTracker: the control part pressed is drawn highlighted while
//               the mouse stays over it and acts (OnPartClicked) only on a release over
//               it; a view that wants every move instead (dragging a divider) says so in
//               TracksContinuously and gets OnTrack;
//   OnContextualClick, OnKey, OnFocusChanged, and the drag callbacks;
//   drags out of the view: StartDrag (from a press or a track of the view's own) runs
//               the drag to its end and tells OnDragEnded the action taken.
//
// The Handle* entry points are what the Qt widget calls for real input; tests call
// them with made-up events.

#include <functional>
#include <memory>
#include <string>

#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/views/drag.h"
#include "platform/toolbox/views/drag_payload.h"
#include "platform/toolbox/views/press_tracker.h"
#include "platform/toolbox/views/scroll_host.h"

class QWidget;

namespace toolbox {

struct MouseEvent {
  Point where;  // in the view
  unsigned modifiers = 0;
  int click_count = 1;
};

struct KeyEvent {
  std::string text;  // UTF-8 of the key, "" for keys without text
  int key = 0;       // one of the kKey codes below, or the character's code point
  unsigned modifiers = 0;
};

inline constexpr int kKeyReturn = 0x0D;
inline constexpr int kKeyEscape = 0x1B;
inline constexpr int kKeyTab = 0x09;
inline constexpr int kKeyDelete = 0x7F;
inline constexpr int kKeyBackspace = 0x08;
inline constexpr int kKeyLeft = 0x1C;
inline constexpr int kKeyRight = 0x1D;
inline constexpr int kKeyUp = 0x1E;
inline constexpr int kKeyDown = 0x1F;
inline constexpr int kKeyHome = 0x01;
inline constexpr int kKeyEnd = 0x04;
inline constexpr int kKeyPageUp = 0x0B;
inline constexpr int kKeyPageDown = 0x0C;

enum class CursorKind { kArrow, kCopy, kNotAllowed, kResizeLeftRight, kOpenHand, kClosedHand, kPointingHand };

class View {
 public:
  virtual ~View() = default;

  // ---- What a view does (override) ----
  virtual void Draw(DrawingContext& ctx, const Rect& dirty) {}
  // The control part under `where`; by default 1 anywhere inside the view.
  virtual int HitTest(Point where);
  virtual void OnPartClicked(int part, const MouseEvent& event) {}
  // A mouse-down no part takes, or a double click.
  virtual void OnMouseDown(const MouseEvent& event) {}
  // The mouse moving over the view with no button down, and leaving it; only for a
  // view that asks (WantsHover), since the others would wake for every move.
  virtual bool WantsHover() const { return false; }
  virtual void OnHover(const MouseEvent& event) {}
  virtual void OnHoverEnded() {}
  virtual bool TracksContinuously(int part) const { return false; }
  virtual void OnTrack(int part, const MouseEvent& event, bool released) {}
  // True when the view showed a menu (or otherwise took the click).
  virtual bool OnContextualClick(const MouseEvent& event) { return false; }
  virtual bool OnKey(const KeyEvent& event) { return false; }
  virtual bool AcceptsFocus() const { return false; }
  virtual void OnFocusChanged(bool focused) {}
  virtual void OnBoundsChanged(const Rect& old_bounds, const Rect& new_bounds) {}
  // Drags: return the action taken (kDragActionNone refuses).
  virtual unsigned OnDragEnter(const Drag& drag) { return kDragActionNone; }
  virtual unsigned OnDragWithin(const Drag& drag) { return OnDragEnter(drag); }
  virtual void OnDragLeave() {}
  virtual bool OnDrop(const Drag& drag) { return false; }
  // A drag this view started has ended with `action` (kDragActionNone: refused or
  // cancelled). Where it was dropped is never known.
  virtual void OnDragEnded(unsigned action) {}

  // ---- What a view can ask ----
  Control* control() const { return control_; }
  Window* window() const;
  Rect Bounds() const;   // in the window's content (a scrolling view: its host's frame)
  Size GetSize() const;  // a scrolling view: its image size
  void Invalidate();
  int highlighted_part() const { return tracker_.highlighted_part(); }
  void SetCursor(CursorKind cursor);
  void SetToolTip(const std::string& text);
  // Drags `drag` out of this view and returns when the drag has ended, with the action
  // the drop took; the objects of its items are kept alive until then.
  unsigned StartDrag(const Drag& drag);
  // Whether a drag the view accepted is over it now (for the drop highlight).
  bool IsDragInside() const { return drag_inside_; }

  // ---- Input, from Qt or from tests ----
  void HandleMouseDown(const MouseEvent& event);
  void HandleMouseMoved(const MouseEvent& event);
  void HandleMouseUp(const MouseEvent& event);
  void HandleMouseLeft();
  bool HandleContextualClick(const MouseEvent& event) { return OnContextualClick(event); }
  bool HandleKey(const KeyEvent& event) { return OnKey(event); }
  // Drags arriving: what the view accepts is limited to the drag's allowed actions.
  unsigned HandleDragEnter(const Drag& drag);
  unsigned HandleDragWithin(const Drag& drag);
  void HandleDragLeave();
  bool HandleDrop(const Drag& drag);

  // The scroll host of a view added with Window::AddScrollingView, else nullptr.
  ScrollHost* GetScrollHost() const { return scroll_host_.get(); }

  // Internal: set when the view is added to a window; `widget` is the view's own widget
  // when it is not the control's (in a scroll host).
  void Attach(Control* control, QWidget* widget = nullptr, std::unique_ptr<ScrollHost> host = nullptr);

 private:
  QWidget* Widget() const;
  Control* control_ = nullptr;
  QWidget* widget_ = nullptr;
  std::unique_ptr<ScrollHost> scroll_host_;
  PressTracker tracker_;
  bool continuous_ = false;
  bool drag_inside_ = false;
};

// Carries out a drag: the window system's own unless a test installed another (which
// may hand the payload to DeliverDrop). Returns the action the drop took.
using DragPerformer =
    std::function<unsigned(View& source, const DragPayload& payload, unsigned allowed_actions)>;
// Installs `performer` (the window system's when empty); returns the previous one.
DragPerformer SetDragPerformer(DragPerformer performer);
// A drop of `payload` on `target` at `where` as the window system delivers it: enter,
// a move within, then the drop, or a leave when the view refuses on the way. The
// action taken, kDragActionNone when refused.
unsigned DeliverDrop(View& target, const DragPayload& payload, Point where, unsigned modifiers = 0,
                     unsigned allowed_actions = kDragActionCopy | kDragActionMove);

// The cursor of the whole application, for the length of a drag or a tracking
// (kArrow gives each view its own cursor back).
void SetThemeCursor(CursorKind cursor);

}  // namespace toolbox
