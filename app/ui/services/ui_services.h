#pragma once
// What the procedural core asks of the user-interface layer: finding a window's controls,
// running a standard alert, editing menus, moving windows, icons, drawing an icon, and
// drawing the user's attention. The core's helpers (app/util) are thin functions over
// this interface, so they run - and are tested - without any window system.
//
// The user-interface layer registers its implementation at start-up with
// UiServicesSlot::Set(). Until then (and in headless runs) a minimal default stands in: it has
// no windows, controls, menus or icons, answers every alert with its default button
// (item 1) and never takes the user's attention. Handles are opaque pointers owned by
// the user-interface layer; the core only passes them back.
//
// Called on the main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/util/desktop/rect_helpers.h"
#include "platform/runtime/service_slot.h"
#include "platform/values/fourcc.h"

namespace ui {

struct WindowObject;
struct ControlObject;
struct MenuObject;
struct GraphicsContextObject;
using WindowRef = WindowObject*;
using ControlRef = ControlObject*;
using MenuRef = MenuObject*;
using CGContextRef = GraphicsContextObject*;

using OSStatus = std::int32_t;
inline constexpr OSStatus kNoErr = 0;
inline constexpr OSStatus kParamErr = -50;
inline constexpr OSStatus kFileNotFoundErr = -43;
// No control with the asked-for id in the window.
inline constexpr OSStatus kErrUnknownControl = -30584;

// The application's signature: the signature of every control id and of window and
// menu properties.
inline constexpr values::FourCharCode kAppSignature = values::FourCC("Truv");

enum class AlertType : std::uint8_t { kStop, kNote, kCaution, kPlain };

// An icon image; the layer subclasses it. Shared: a cache and every caller may hold one.
class Icon {
 public:
  virtual ~Icon() = default;
};
using IconRef = std::shared_ptr<const Icon>;

// A window description that windows are made from, looked up by name.
class Nib {
 public:
  virtual ~Nib() = default;
};
using NibRef = std::shared_ptr<const Nib>;

struct RGBColor {
  std::uint16_t red = 0, green = 0, blue = 0;
};

class UiServices {
 public:
  virtual ~UiServices() = default;

  // Controls: the control of `window` whose id is {signature, id}.
  virtual OSStatus FindControl(WindowRef window, values::FourCharCode signature, std::int32_t id,
                               ControlRef* out) = 0;

  // A standard alert with the default parameters, movable, run modally; the item hit
  // (1 = default button).
  virtual std::int16_t RunStandardAlert(AlertType type, const std::string& message,
                                        const std::optional<std::string>& explanation) = 0;

  // Menus: items are numbered from 1.
  virtual int CountMenuItems(MenuRef menu) = 0;
  virtual void SetMenuItemMark(MenuRef menu, int item, char32_t mark) = 0;  // 0 = no mark
  virtual bool MenuItemIsSeparator(MenuRef menu, int item) = 0;
  // An item with this text; the text "-" makes a separator.
  virtual void AppendMenuItem(MenuRef menu, const std::string& text) = 0;

  // Window descriptions by name; nothing when there is none of that name.
  virtual NibRef CreateNibReference(const std::string& name) = 0;

  // Windows: bounds of the structure region (frame with title bar), in global pixels.
  virtual util::Rect GetWindowStructureBounds(WindowRef window) = 0;
  virtual void SetWindowStructureBounds(WindowRef window, const util::Rect& bounds) = 0;
  // Moves the window onto a screen even when it does not fit; with `may_resize` it may
  // also shrink it to fit.
  virtual OSStatus ConstrainWindowToScreen(WindowRef window, bool may_resize) = 0;
  // The name under which the window's frame is saved ("" = none); setting it restores a
  // frame saved under that name.
  virtual std::string GetFrameAutosaveName(WindowRef window) = 0;
  virtual void SetFrameAutosaveName(WindowRef window, const std::string& name) = 0;
  virtual void CenterWindow(WindowRef window) = 0;

  // Icons: the icon the desktop shows for files with this extension ("" = none).
  virtual OSStatus GetIconForExtension(const std::string& extension, IconRef* out) = 0;
  // Registers the application's icon file (a resource name, without extension) under
  // (creator, type); nothing when the resource is missing.
  virtual IconRef RegisterIconResource(values::FourCharCode creator, values::FourCharCode type,
                                       const std::string& resource_name) = 0;

  // Drawing primitives for icon drawing into a graphics context.
  virtual void SaveGraphicsState(CGContextRef context) = 0;
  virtual void RestoreGraphicsState(CGContextRef context) = 0;
  virtual void TranslateContext(CGContextRef context, double dx, double dy) = 0;
  virtual void ScaleContext(CGContextRef context, double sx, double sy) = 0;
  virtual OSStatus PlotIcon(CGContextRef context, const util::CGRect& rect, std::int16_t alignment,
                            std::int16_t transform, const std::optional<RGBColor>& label_colour,
                            std::uint32_t flags, const Icon& icon) = 0;

  // Attention: whether this application is the front one (nothing when that cannot be
  // told), and an attention request (the task-bar entry flashes or is marked urgent)
  // that lasts until cancelled or until the application comes to the front.
  virtual std::optional<bool> IsApplicationFrontmost() = 0;
  virtual std::uint64_t BeginAttentionRequest() = 0;
  virtual void CancelAttentionRequest(std::uint64_t request) = 0;

  // The About window, with the application's version text.
  virtual void ShowAboutWindow(const std::string& version) = 0;
};

// The stand-in used until the user-interface layer registers itself.
class HeadlessUiServices : public UiServices {
 public:
  OSStatus FindControl(WindowRef, values::FourCharCode, std::int32_t, ControlRef*) override {
    return kErrUnknownControl;
  }
  std::int16_t RunStandardAlert(AlertType, const std::string&, const std::optional<std::string>&) override {
    return 1;
  }
  int CountMenuItems(MenuRef) override { return 0; }
  void SetMenuItemMark(MenuRef, int, char32_t) override {}
  bool MenuItemIsSeparator(MenuRef, int) override { return false; }
  void AppendMenuItem(MenuRef, const std::string&) override {}
  NibRef CreateNibReference(const std::string&) override { return nullptr; }
  util::Rect GetWindowStructureBounds(WindowRef) override { return {}; }
  void SetWindowStructureBounds(WindowRef, const util::Rect&) override {}
  OSStatus ConstrainWindowToScreen(WindowRef, bool) override { return kNoErr; }
  std::string GetFrameAutosaveName(WindowRef) override { return {}; }
  void SetFrameAutosaveName(WindowRef, const std::string&) override {}
  void CenterWindow(WindowRef) override {}
  OSStatus GetIconForExtension(const std::string&, IconRef* out) override {
    *out = nullptr;
    return kFileNotFoundErr;
  }
  IconRef RegisterIconResource(values::FourCharCode, values::FourCharCode, const std::string&) override {
    return nullptr;
  }
  void SaveGraphicsState(CGContextRef) override {}
  void RestoreGraphicsState(CGContextRef) override {}
  void TranslateContext(CGContextRef, double, double) override {}
  void ScaleContext(CGContextRef, double, double) override {}
  OSStatus PlotIcon(CGContextRef, const util::CGRect&, std::int16_t, std::int16_t,
                    const std::optional<RGBColor>&, std::uint32_t, const Icon&) override {
    return kNoErr;
  }
  std::optional<bool> IsApplicationFrontmost() override { return std::nullopt; }
  std::uint64_t BeginAttentionRequest() override { return 0; }
  void CancelAttentionRequest(std::uint64_t) override {}
  void ShowAboutWindow(const std::string&) override {}
};

using UiServicesSlot = runtime::ServiceSlot<UiServices, HeadlessUiServices>;

}  // namespace ui
