#pragma once
// Controls: the buttons, boxes, fields and views of a window, each registered under an
// id {signature, number} (the application's 'Truv' and a small number) by which the
// window's code finds it again. A control's state - value, minimum, maximum, text,
// enabled, visible, focus - is read and written here; the Qt widget behind it is the
// toolbox's business.
//
// A control has an event target whose parent is its window's: a push button with a
// command sends the command there when pressed, so it reaches the window's and then the
// application's handlers (see command.h). Values follow the platform: a check box is
// 0 or 1, a pop-up's value is its chosen item (1-based), a disclosure triangle is 0
// (closed) or 1 (open), a date control's value is seconds since 2001 (UTC).
//
// Edge bindings say how a control follows its window when the window is resized: bound
// to an edge, the control keeps its distance to that edge of the content; bound to both
// opposite edges, it grows.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/runtime/event_target.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/drawing/geometry.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/toolbox/theme/font.h"

class QWidget;

namespace toolbox {

class Window;

struct ControlID {
  FourCharCode signature = 0;
  std::int32_t id = 0;
  bool operator==(const ControlID&) const = default;
  auto operator<=>(const ControlID&) const = default;
};

inline constexpr FourCharCode kApplicationSignature = FourCC("Truv");

enum class ControlKind {
  kPushButton,
  kCheckBox,
  kPopUpButton,
  kSlider,
  kEditText,       // one line
  kPasswordText,   // one line, shown as dots
  kNumberText,     // one line, digits only
  kMultilineText,  // editable, several lines
  kDateTime,       // date and time
  kStaticText,     // wrapped, not editable
  kDisclosure,     // a triangle with a title, open or closed
  kPlacard,        // a framed strip that shows text
  kBevelButton,    // a small square button with an icon or text
  kTextView,       // read-only selectable text with a scroll bar
  kImageView,
  kUserPane,  // an empty pane that holds other controls or a custom view
};

enum EdgeBinding : unsigned {
  kBindLeft = 1u << 0,
  kBindTop = 1u << 1,
  kBindRight = 1u << 2,
  kBindBottom = 1u << 3,
};

// Every member has an initializer, so that a designated initializer may name only what
// differs from the defaults (-Wmissing-field-initializers counts the others as missing).
struct ControlSpec {
  ControlKind kind = ControlKind::kPushButton;
  ControlID id{};
  Rect bounds{};  // in the window's content
  std::string text{};
  FourCharCode command = 0;
  std::int32_t value = 0;
  std::int32_t minimum = 0;
  std::int32_t maximum = 1;
  bool is_default = false;  // push buttons: answers Return
  bool is_cancel = false;   // push buttons: answers Escape
  MenuRef menu{};           // pop-up buttons
  Image image{};            // bevel buttons, image views
  Font font = GetThemeFont(ThemeFont::kSystem);
  unsigned bindings = kBindLeft | kBindTop;
};

class Control {
 public:
  ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlID id() const { return id_; }
  ControlKind kind() const { return kind_; }
  Window& window() const { return window_; }
  const std::shared_ptr<runtime::EventTarget>& target() const { return target_; }

  std::int32_t Value() const;
  void SetValue(std::int32_t value);  // clamped to the minimum and maximum
  std::int32_t Minimum() const { return minimum_; }
  std::int32_t Maximum() const { return maximum_; }
  void SetMinimum(std::int32_t minimum);
  void SetMaximum(std::int32_t maximum);
  // The title of a button or box, the contents of a field or text view.
  std::string Text() const;
  void SetText(const std::string& text);
  // Text views: adds at the end and scrolls there.
  void AppendText(const std::string& text);
  // Text views: scrolls so that the last line shows.
  void ScrollToEnd();

  bool IsEnabled() const;
  void SetEnabled(bool enabled);
  bool IsVisible() const;  // its own flag, whatever its window's
  void SetVisible(bool visible);
  bool HasFocus() const;
  void SetFocus();
  // One-line fields: called once when the edit ends (Return, Enter, Tab, Escape, or the
  // focus leaving the field); the key itself goes no further.
  void SetEditingEndedHandler(std::function<void(Control&)> handler);
  void SelectAllText();

  FourCharCode Command() const { return command_; }
  void SetCommand(FourCharCode command) { command_ = command; }
  bool IsDefault() const { return is_default_; }
  bool IsCancel() const { return is_cancel_; }

  Rect Bounds() const;
  void SetBounds(const Rect& bounds);
  // The size the control needs for its content at its current width (text wrapped to
  // that width for static text and text views), placed at its current origin.
  Rect BestRect() const;
  unsigned bindings() const { return bindings_; }
  void SetBindings(unsigned bindings) { bindings_ = bindings; }

  void SetImage(const Image& image);
  MenuRef PopUpMenu() const { return menu_; }
  // Rebuilds a pop-up button's items from its menu after the menu changed.
  void RefreshMenu();

  // Called after the user changed the value (a box clicked, a slider moved - live, a
  // pop-up item chosen, a field edited).
  void SetValueChangedHandler(std::function<void(Control&)> handler) { on_change_ = std::move(handler); }
  // What a click does: a push or bevel button sends its command; a check box or
  // disclosure flips; other kinds only take the focus. Tests press buttons this way.
  void Click();

  // The custom view of a control added with Window::AddView, else nullptr.
  class View* GetView() const {
    return view_.get();
  }
  void SetToolTip(const std::string& text);

  // Internal.
  QWidget* widget() const { return widget_; }
  QWidget* FocusWidget() const;
  void SetView(std::shared_ptr<class View> view) { view_ = std::move(view); }
  Control(Window& window, const ControlSpec& desc, QWidget* widget);
  void NotifyValueChanged();
  // A button pressed by the user or by Click(): sends its command, then tells the handler.
  void NotifyPressed();
  // Moves or grows the control after its window's content grew by (dx, dy).
  void FollowWindowResize(double dx, double dy);

 private:
  Window& window_;
  ControlID id_;
  ControlKind kind_;
  QWidget* widget_;  // owned by the window's widget tree
  std::shared_ptr<runtime::EventTarget> target_;
  FourCharCode command_;
  std::int32_t minimum_;
  std::int32_t maximum_;
  bool is_default_;
  bool is_cancel_;
  unsigned bindings_;
  MenuRef menu_;
  std::function<void(Control&)> on_change_;
  std::shared_ptr<class View> view_;
};

}  // namespace toolbox
