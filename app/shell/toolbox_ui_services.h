#pragma once
// The user-interface services of the procedural core (app/ui/services/ui_services.h) on the
// toolbox: the core's opaque window, control, menu and context handles are the
// toolbox's Window, Control, Menu and DrawingContext objects. The shell installs it at
// start-up (InstallToolboxUiServices); headless runs keep the stand-in.
//
// Window descriptions ("nibs") are builders registered by name: a nib makes a window
// that the core then shows and fills.

#include <functional>
#include <memory>
#include <string>

#include "app/ui/services/ui_services.h"
#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/toolbox/windows/window.h"

namespace shell {

// Handles both ways. A handle is the object's address; it is valid while the object is.
inline ui::WindowRef ToWindowRef(toolbox::Window* w) {
  return reinterpret_cast<ui::WindowRef>(w);
}
inline toolbox::Window* FromWindowRef(ui::WindowRef w) {
  return reinterpret_cast<toolbox::Window*>(w);
}
inline ui::ControlRef ToControlRef(toolbox::Control* c) {
  return reinterpret_cast<ui::ControlRef>(c);
}
inline toolbox::Control* FromControlRef(ui::ControlRef c) {
  return reinterpret_cast<toolbox::Control*>(c);
}
inline ui::MenuRef ToMenuRef(toolbox::Menu* m) {
  return reinterpret_cast<ui::MenuRef>(m);
}
inline toolbox::Menu* FromMenuRef(ui::MenuRef m) {
  return reinterpret_cast<toolbox::Menu*>(m);
}
inline ui::CGContextRef ToContextRef(toolbox::DrawingContext* c) {
  return reinterpret_cast<ui::CGContextRef>(c);
}
inline toolbox::DrawingContext* FromContextRef(ui::CGContextRef c) {
  return reinterpret_cast<toolbox::DrawingContext*>(c);
}

// An icon of the core as a toolbox image.
class ToolboxIcon : public ui::Icon {
 public:
  explicit ToolboxIcon(toolbox::Image image) : image(std::move(image)) {}
  toolbox::Image image;
};

// A window description: makes a window of the kind it describes.
class ToolboxNib : public ui::Nib {
 public:
  using Builder = std::function<std::shared_ptr<toolbox::Window>(const std::string& window_name)>;
  explicit ToolboxNib(Builder builder) : builder_(std::move(builder)) {}
  std::shared_ptr<toolbox::Window> CreateWindow(const std::string& window_name) const {
    return builder_(window_name);
  }

 private:
  Builder builder_;
};

// Registers the description that CreateNibReference(name) answers.
void RegisterNib(const std::string& name, ToolboxNib::Builder builder);

class ToolboxUiServices : public ui::UiServices {
 public:
  ui::OSStatus FindControl(ui::WindowRef window, values::FourCharCode signature, std::int32_t id,
                           ui::ControlRef* out) override;
  std::int16_t RunStandardAlert(ui::AlertType type, const std::string& message,
                                const std::optional<std::string>& explanation) override;
  int CountMenuItems(ui::MenuRef menu) override;
  void SetMenuItemMark(ui::MenuRef menu, int item, char32_t mark) override;
  bool MenuItemIsSeparator(ui::MenuRef menu, int item) override;
  void AppendMenuItem(ui::MenuRef menu, const std::string& text) override;
  ui::NibRef CreateNibReference(const std::string& name) override;
  util::Rect GetWindowStructureBounds(ui::WindowRef window) override;
  void SetWindowStructureBounds(ui::WindowRef window, const util::Rect& bounds) override;
  ui::OSStatus ConstrainWindowToScreen(ui::WindowRef window, bool may_resize) override;
  std::string GetFrameAutosaveName(ui::WindowRef window) override;
  void SetFrameAutosaveName(ui::WindowRef window, const std::string& name) override;
  void CenterWindow(ui::WindowRef window) override;
  ui::OSStatus GetIconForExtension(const std::string& extension, ui::IconRef* out) override;
  ui::IconRef RegisterIconResource(values::FourCharCode creator, values::FourCharCode type,
                                   const std::string& resource_name) override;
  void SaveGraphicsState(ui::CGContextRef context) override;
  void RestoreGraphicsState(ui::CGContextRef context) override;
  void TranslateContext(ui::CGContextRef context, double dx, double dy) override;
  void ScaleContext(ui::CGContextRef context, double sx, double sy) override;
  ui::OSStatus PlotIcon(ui::CGContextRef context, const util::CGRect& rect, std::int16_t alignment,
                        std::int16_t transform, const std::optional<ui::RGBColor>& label_colour,
                        std::uint32_t flags, const ui::Icon& icon) override;
  std::optional<bool> IsApplicationFrontmost() override;
  std::uint64_t BeginAttentionRequest() override;
  void CancelAttentionRequest(std::uint64_t request) override;
  void ShowAboutWindow(const std::string& version) override;

 private:
  std::uint64_t next_attention_ = 1;
};

// Installs ToolboxUiServices as the core's user-interface services.
void InstallToolboxUiServices();

}  // namespace shell
