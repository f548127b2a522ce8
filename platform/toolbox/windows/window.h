#pragma once
// Windows, built in code. A window has an event target (whose parent is the
// application's) where its code installs handlers for command and window events, a
// registry of controls by id, properties by (creator, tag), and optionally a key under
// which its frame is saved in the preferences and restored (and kept on a screen).
//
// Life: Window::Create makes the window and the layer keeps it (like the platform's
// window list) until Release(); a window closed by its close box is released too
// unless a handler of the close event takes it. Release sends the window dispose event
// ('wind' 1005) to its target first - the place to drop observers and forget the
// window - then destroys it. The Window object itself lives on while someone holds a
// shared pointer to it; released, it is an empty shell (IsReleased).
//
// Window events sent to the target: activated (5), deactivated (6), bounds changed (27)
// after a move or resize, close (72, a close-box click; not handled = release), closed
// (73) and dispose (1005).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/event_target.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/drawing/geometry.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/values/value.h"

class QWidget;
class QMenuBar;

namespace toolbox {

inline constexpr FourCharCode kEventClassWindow = FourCC("wind");
inline constexpr std::uint32_t kEventWindowActivated = 5;
inline constexpr std::uint32_t kEventWindowDeactivated = 6;
inline constexpr std::uint32_t kEventWindowBoundsChanged = 27;
inline constexpr std::uint32_t kEventWindowClose = 72;
inline constexpr std::uint32_t kEventWindowClosed = 73;
inline constexpr std::uint32_t kEventWindowDispose = 1005;
// Sheets: sent to the sheet before it opens (a handler may refuse with an error), after
// it opened, before it closes and after it closed. The parent window hears "opening" once
// the sheet has accepted it, and "closing", with the sheet's id.
inline constexpr std::uint32_t kEventWindowSheetOpening = 210;
inline constexpr std::uint32_t kEventWindowSheetOpened = 211;
inline constexpr std::uint32_t kEventWindowSheetClosing = 212;
inline constexpr std::uint32_t kEventWindowSheetClosed = 213;
inline constexpr FourCharCode kParamWindow = FourCC("wind");  // the window's id (uint64)

enum class WindowKind {
  kDocument,  // title bar, close box, resizable when asked
  kDialog,    // movable dialog
  kFloating,  // a utility window above the document windows
  kSheet,     // attached to its parent, window-modal
  kPlain,     // no frame (draws its own)
};

// Every member has an initializer: designated initializers name only what differs.
struct WindowSpec {
  WindowKind kind = WindowKind::kDocument;
  std::string title{};
  Rect content{};  // global coordinates of the content area
  bool resizable = false;
  bool close_box = true;
  bool in_window_menu = true;
  class Window* parent = nullptr;  // sheets
};

class Window : public std::enable_shared_from_this<Window> {
 public:
  static std::shared_ptr<Window> Create(const WindowSpec& desc);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Every window not yet released, oldest first, and the active (front) one.
  static std::vector<std::shared_ptr<Window>> AllWindows();
  static std::shared_ptr<Window> FrontWindow();

  std::uint64_t serial() const { return serial_; }
  WindowKind kind() const { return kind_; }
  const std::shared_ptr<runtime::EventTarget>& target() const { return target_; }
  runtime::HandlerRef InstallHandler(std::vector<runtime::EventTypeSpec> types,
                                     runtime::EventHandler handler);

  // What the close box does: sends the close event and releases the window unless a
  // handler took it.
  void Close();
  // Sends dispose, then destroys the window. Releasing twice does nothing.
  void Release();
  bool IsReleased() const { return widget_ == nullptr; }

  void Show();
  void Hide();
  bool IsVisible() const;
  // Shows, brings to the front and activates.
  void Select();
  // Sheets (kind kSheet): shows the sheet over its parent, modal to that window only;
  // the opening event may refuse (its status is returned and nothing is shown).
  Status ShowSheet();
  // Hides the sheet; it may be shown again. Release() also closes it.
  void HideSheet();
  Window* SheetParent() const { return parent_; }
  bool IsActive() const;
  // The Window menu's minimise and zoom: to the task bar, and between the window's own
  // size and the whole screen.
  void Minimize();
  bool IsMinimized() const;
  void ToggleZoom();

  std::string Title() const;
  void SetTitle(const std::string& title);
  bool IsInWindowMenu() const { return in_window_menu_; }
  void SetInWindowMenu(bool in_menu) { in_window_menu_ = in_menu; }

  // Global coordinates. The structure includes the frame that the window manager
  // draws; off-screen there is none, and both are the same.
  Rect ContentBounds() const;
  void SetContentBounds(const Rect& bounds);
  Rect StructureBounds() const;
  void SetStructureBounds(const Rect& bounds);
  void SizeContent(double width, double height);
  void MoveTo(double left, double top);  // the content's top-left
  void SetMinimumSize(Size size);
  void SetMaximumSize(Size size);
  void Center();  // on the screen, a little above the middle
  // Moves the window onto the screen it mostly covers (the primary when none); with
  // `may_resize` also shrinks it to fit.
  void ConstrainToScreen(bool may_resize);

  // The frame is saved under this preference key ({"left","top","right","bottom"} of the
  // content) when the window moves, resizes or is released; setting the key restores a
  // frame saved under it (kept on screen) and answers whether there was one.
  bool SetFrameAutosaveKey(const std::string& key, bool keep_size = false);
  const std::string& FrameAutosaveKey() const { return autosave_key_; }
  void SaveFrame() const;

  double Opacity() const;
  void SetOpacity(double alpha);
  bool IsStayOnTop() const;
  void SetStayOnTop(bool on_top);
  // Whether the user may zoom (maximise) the window. Turning it off keeps the frame's
  // buttons as they are (changing them would re-create the window under an open sheet)
  // and undoes a zoom the window manager still carries out.
  bool IsZoomable() const { return zoomable_; }
  void SetZoomable(bool zoomable);

  void SetProperty(FourCharCode creator, FourCharCode tag, values::Value value);
  const values::Value* Property(FourCharCode creator, FourCharCode tag) const;
  void RemoveProperty(FourCharCode creator, FourCharCode tag);

  // Controls. Adding an id already present replaces nothing: the new control is made
  // but FindControl returns the first.
  Control* AddControl(const ControlSpec& desc);
  // A custom view (view.h) as a control of the window; the window keeps the view.
  Control* AddView(const ControlSpec& desc, std::shared_ptr<class View> view);
  // The same inside a scroll host (view.h: View::GetScrollHost) with `desc.bounds` as
  // its frame; the view's image starts at the frame's size.
  Control* AddScrollingView(const ControlSpec& desc, std::shared_ptr<class View> view);
  Control* FindControl(ControlID id) const;
  Control* FindControl(FourCharCode signature, std::int32_t id) const {
    return FindControl(ControlID{signature, id});
  }
  void RemoveControl(Control* control);
  std::vector<Control*> Controls() const;
  Control* FocusedControl() const;
  Control* DefaultButton() const;
  Control* CancelButton() const;

  // Shows `bar` (kept by the caller, normally GetMenuBar()) at the top of the window,
  // above the content, which keeps its size. Each menu asks the update-status pass
  // before it opens; choosing an item sends its command from this window's focus.
  // nullptr removes it. Call RebuildMenuBar after adding or removing menus.
  void SetMenuBar(MenuBar* bar);
  void RebuildMenuBar();
  bool HasMenuBar() const { return menu_bar_ != nullptr; }

  // Shows `toolbar` (kept by the caller) under the menu bar, above the content, which keeps
  // its size; the window follows the toolbar's changes (items, shown or hidden). nullptr
  // removes it.
  void SetToolbar(class Toolbar* toolbar);
  class Toolbar* GetToolbar() const {
    return toolbar_;
  }

  // Sends the command process event from the window's focus: the focused control, then
  // the window, then the application. After it, the window's buttons are updated.
  Status ProcessCommand(FourCharCode command);
  // Asks the window's chain (focus first) for the command's status.
  CommandStatus UpdateCommandStatus(FourCharCode command);
  // The same for a menu's item (the handlers see its menu id and index).
  CommandStatus UpdateCommandStatus(const Command& command);
  // Update pass for the window's buttons with a command.
  void UpdateButtonStates();

  // Called when a drag over the window leaves it or ends with a drop in it.
  void SetDragLeftHandler(std::function<void()> handler);

  // The window's content as drawn now (works off-screen).
  Image Grab() const;
  bool GrabToPng(const std::string& path) const;

  // Internal.
  QWidget* widget() const { return widget_; }
  void HandleResize();
  void HandleMoveOrResize();
  Status SendWindowEvent(std::uint32_t kind);
  Window(const WindowSpec& desc);

 private:
  void Build(const WindowSpec& desc);
  void TellParentOfSheet(std::uint32_t kind);
  void RebuildToolbar();
  // The menu bar and the toolbar above the content.
  int TopInset() const { return menu_bar_height_ + toolbar_height_; }
  std::shared_ptr<runtime::EventTarget> FocusTarget() const;

  std::uint64_t serial_;
  WindowKind kind_;
  Window* parent_ = nullptr;  // sheets
  std::shared_ptr<runtime::EventTarget> target_;
  QWidget* widget_ = nullptr;   // the top-level widget; deleted by Release
  QWidget* content_ = nullptr;  // below the menu bar; holds the controls' widgets
  QMenuBar* qt_menu_bar_ = nullptr;
  MenuBar* menu_bar_ = nullptr;
  int menu_bar_height_ = 0;
  class Toolbar* toolbar_ = nullptr;
  QWidget* toolbar_widget_ = nullptr;
  int toolbar_height_ = 0;
  bool in_window_menu_ = true;
  bool zoomable_ = true;
  std::string autosave_key_;
  bool restoring_ = false;
  std::map<std::pair<FourCharCode, FourCharCode>, values::Value> properties_;
  std::vector<std::unique_ptr<Control>> controls_;
  Size laid_out_size_;  // the content size the controls were last placed for
};

using WindowRef = std::shared_ptr<Window>;

// Sends a command through the front window's chain (the application's when no window
// is active): what a menu item does.
Status ProcessCommand(FourCharCode command, std::int16_t menu_id = 0, int item = 0);
CommandStatus UpdateCommandStatus(FourCharCode command);
CommandStatus UpdateCommandStatus(const Command& command);

}  // namespace toolbox
