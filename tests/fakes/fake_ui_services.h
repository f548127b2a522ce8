#pragma once
// A recording stand-in for the user-interface layer: windows, menus and icons are plain
// records the test sets up and inspects, every call is logged in order, and alerts
// answer from a script.

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/services/ui_services.h"

namespace fakes {

class FakeIcon : public ui::Icon {
 public:
  explicit FakeIcon(std::string name) : name(std::move(name)) {}
  std::string name;
};

class FakeUiServices : public ui::UiServices {
 public:
  struct MenuItem {
    std::string text;
    char32_t mark = 0;
  };
  struct Window {
    util::Rect bounds;
    std::string autosave_name;
    std::map<std::string, util::Rect> saved_frames;  // what setting an autosave name restores
  };
  struct Alert {
    ui::AlertType type;
    std::string message;
    std::optional<std::string> explanation;
  };

  std::vector<std::string> calls;
  std::map<std::pair<ui::WindowRef, std::int32_t>, ui::ControlRef> controls;
  std::map<ui::MenuRef, std::vector<MenuItem>> menus;
  std::map<ui::WindowRef, Window> windows;
  util::Rect screen{0, 0, 800, 1200};  // top, left, bottom, right
  std::vector<Alert> alerts;
  std::deque<std::int16_t> alert_answers;  // 1 when empty
  std::map<std::string, ui::IconRef> icons_by_extension;
  std::map<std::string, ui::IconRef> icon_resources;
  std::map<std::string, ui::NibRef> nibs;
  std::optional<bool> frontmost = false;
  std::vector<std::uint64_t> active_attention_requests;
  std::uint64_t next_request = 1;

  ui::OSStatus FindControl(ui::WindowRef window, values::FourCharCode signature, std::int32_t id,
                           ui::ControlRef* out) override {
    calls.push_back("FindControl " + values::FourCCString(signature) + " " + std::to_string(id));
    auto it = controls.find({window, id});
    if (signature != ui::kAppSignature || it == controls.end()) return ui::kErrUnknownControl;
    *out = it->second;
    return ui::kNoErr;
  }
  std::int16_t RunStandardAlert(ui::AlertType type, const std::string& message,
                                const std::optional<std::string>& explanation) override {
    calls.push_back("RunStandardAlert " + message);
    alerts.push_back({type, message, explanation});
    if (alert_answers.empty()) return 1;
    std::int16_t answer = alert_answers.front();
    alert_answers.pop_front();
    return answer;
  }
  int CountMenuItems(ui::MenuRef menu) override { return static_cast<int>(menus[menu].size()); }
  void SetMenuItemMark(ui::MenuRef menu, int item, char32_t mark) override {
    calls.push_back("SetMenuItemMark " + std::to_string(item));
    menus[menu].at(static_cast<std::size_t>(item - 1)).mark = mark;
  }
  bool MenuItemIsSeparator(ui::MenuRef menu, int item) override {
    return menus[menu].at(static_cast<std::size_t>(item - 1)).text == "-";
  }
  void AppendMenuItem(ui::MenuRef menu, const std::string& text) override {
    calls.push_back("AppendMenuItem " + text);
    menus[menu].push_back({text, 0});
  }
  ui::NibRef CreateNibReference(const std::string& name) override {
    calls.push_back("CreateNibReference " + name);
    auto it = nibs.find(name);
    return it == nibs.end() ? nullptr : it->second;
  }
  util::Rect GetWindowStructureBounds(ui::WindowRef window) override { return windows[window].bounds; }
  void SetWindowStructureBounds(ui::WindowRef window, const util::Rect& bounds) override {
    calls.push_back("SetWindowStructureBounds");
    windows[window].bounds = bounds;
  }
  ui::OSStatus ConstrainWindowToScreen(ui::WindowRef window, bool may_resize) override {
    calls.push_back(std::string("ConstrainWindowToScreen") + (may_resize ? " may-resize" : ""));
    util::Rect& b = windows[window].bounds;
    int width = b.right - b.left, height = b.bottom - b.top;
    if (may_resize) {
      width = std::min(width, screen.right - screen.left);
      height = std::min(height, screen.bottom - screen.top);
    }
    int left = std::clamp<int>(b.left, screen.left, std::max<int>(screen.left, screen.right - width));
    int top = std::clamp<int>(b.top, screen.top, std::max<int>(screen.top, screen.bottom - height));
    b = {static_cast<std::int16_t>(top), static_cast<std::int16_t>(left),
         static_cast<std::int16_t>(top + height), static_cast<std::int16_t>(left + width)};
    return ui::kNoErr;
  }
  std::string GetFrameAutosaveName(ui::WindowRef window) override { return windows[window].autosave_name; }
  void SetFrameAutosaveName(ui::WindowRef window, const std::string& name) override {
    calls.push_back("SetFrameAutosaveName " + name);
    Window& w = windows[window];
    w.autosave_name = name;
    auto saved = w.saved_frames.find(name);
    if (!name.empty() && saved != w.saved_frames.end()) w.bounds = saved->second;
  }
  void CenterWindow(ui::WindowRef window) override {
    calls.push_back("CenterWindow");
    util::Rect& b = windows[window].bounds;
    const int width = b.right - b.left, height = b.bottom - b.top;
    const int left = (screen.left + screen.right - width) / 2,
              top = (screen.top + screen.bottom - height) / 2;
    b = {static_cast<std::int16_t>(top), static_cast<std::int16_t>(left),
         static_cast<std::int16_t>(top + height), static_cast<std::int16_t>(left + width)};
  }
  ui::OSStatus GetIconForExtension(const std::string& extension, ui::IconRef* out) override {
    calls.push_back("GetIconForExtension " + extension);
    auto it = icons_by_extension.find(extension);
    *out = it == icons_by_extension.end() ? nullptr : it->second;
    return *out ? ui::kNoErr : ui::kFileNotFoundErr;
  }
  ui::IconRef RegisterIconResource(values::FourCharCode creator, values::FourCharCode type,
                                   const std::string& resource_name) override {
    calls.push_back("RegisterIconResource " + values::FourCCString(creator) + " " +
                    values::FourCCString(type) + " " + resource_name);
    auto it = icon_resources.find(resource_name);
    return it == icon_resources.end() ? nullptr : it->second;
  }
  void SaveGraphicsState(ui::CGContextRef) override { calls.push_back("SaveGraphicsState"); }
  void RestoreGraphicsState(ui::CGContextRef) override { calls.push_back("RestoreGraphicsState"); }
  void TranslateContext(ui::CGContextRef, double dx, double dy) override {
    calls.push_back("Translate " + std::to_string(static_cast<int>(dx)) + " " +
                    std::to_string(static_cast<int>(dy)));
  }
  void ScaleContext(ui::CGContextRef, double sx, double sy) override {
    calls.push_back("Scale " + std::to_string(static_cast<int>(sx)) + " " +
                    std::to_string(static_cast<int>(sy)));
  }
  ui::OSStatus PlotIcon(ui::CGContextRef, const util::CGRect&, std::int16_t, std::int16_t,
                        const std::optional<ui::RGBColor>&, std::uint32_t, const ui::Icon& icon) override {
    const auto* fake = dynamic_cast<const FakeIcon*>(&icon);
    calls.push_back("PlotIcon " + (fake ? fake->name : std::string("?")));
    return ui::kNoErr;
  }
  std::optional<bool> IsApplicationFrontmost() override { return frontmost; }
  std::uint64_t BeginAttentionRequest() override {
    calls.push_back("BeginAttentionRequest");
    active_attention_requests.push_back(next_request);
    return next_request++;
  }
  void CancelAttentionRequest(std::uint64_t request) override {
    calls.push_back("CancelAttentionRequest");
    std::erase(active_attention_requests, request);
  }
  void ShowAboutWindow(const std::string& version) override { calls.push_back("ShowAboutWindow " + version); }
};

// Installs a fresh fake for the life of the object and puts the previous services back.
class ScopedFakeUi {
 public:
  ScopedFakeUi() {
    auto fake = std::make_unique<FakeUiServices>();
    fake_ = fake.get();
    previous_ = ui::UiServicesSlot::Set(std::move(fake));
  }
  ~ScopedFakeUi() { ui::UiServicesSlot::Set(std::move(previous_)); }
  FakeUiServices* operator->() { return fake_; }
  FakeUiServices& operator*() { return *fake_; }

 private:
  FakeUiServices* fake_;
  std::unique_ptr<ui::UiServices> previous_;
};

}  // namespace fakes
