#include "app/util/desktop/ui_helpers.h"

#include <map>

#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

namespace util {

ui::OSStatus GetAppControlByID(ui::WindowRef window, std::int32_t id, ui::ControlRef* out) {
  return ui::UiServicesSlot::Get().FindControl(window, ui::kAppSignature, id, out);
}

std::int16_t RunStandardAlertText(ui::AlertType type, const std::string& message,
                                  const std::optional<std::string>& explanation) {
  return ui::UiServicesSlot::Get().RunStandardAlert(type, message, explanation);
}

ui::OSStatus ClearMenuItemMarks(ui::MenuRef menu) {
  if (!menu) return ui::kParamErr;
  ui::UiServices& services = ui::UiServicesSlot::Get();
  const int count = services.CountMenuItems(menu);
  for (int item = 1; item <= count; ++item) services.SetMenuItemMark(menu, item, 0);
  return ui::kNoErr;
}

void AppendMenuSeparatorIfNeeded(ui::MenuRef menu) {
  ui::UiServices& services = ui::UiServicesSlot::Get();
  const int count = services.CountMenuItems(menu);
  if (count == 0 || services.MenuItemIsSeparator(menu, count)) return;
  services.AppendMenuItem(menu, "-");
}

ui::NibRef GetCachedNibReference(const std::string& name) {
  // Main thread only, like every window operation; lives as long as the program.
  static std::map<std::string, ui::NibRef> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  ui::NibRef nib = ui::UiServicesSlot::Get().CreateNibReference(name);
  if (nib) cache.emplace(name, nib);
  return nib;
}

void CenterIfNotSet(ui::WindowRef window) {
  ui::UiServices& services = ui::UiServicesSlot::Get();
  const std::string name = services.GetFrameAutosaveName(window);
  services.SetFrameAutosaveName(window, "");
  services.CenterWindow(window);
  services.SetFrameAutosaveName(window, name);
}

void ShowAboutWindow() {
  ui::UiServicesSlot::Get().ShowAboutWindow(kAboutVersion);
}

void RequestUserAttention() {
  if (ReadSetting(kNoDockBouncesKey)) return;
  ui::UiServices& services = ui::UiServicesSlot::Get();
  const std::optional<bool> front = services.IsApplicationFrontmost();
  if (!front || *front) return;
  const std::uint64_t request = services.BeginAttentionRequest();
  // Cancelled at once, the request is still seen once; left in place, it lasts until
  // the user brings the application forward.
  if (ReadSetting(kBounceCountKey) == 1) services.CancelAttentionRequest(request);
}

}  // namespace util
