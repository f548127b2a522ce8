#include "app/util/settings/window_bounds_prefs.h"

#include "app/util/helpers/collection_helpers.h"
#include "platform/prefs/preference_store.h"

namespace util {
namespace {

constexpr const char* kEdges[] = {"left", "right", "top", "bottom"};

}  // namespace

void SaveWindowRectPref(const Rect& rect, std::string_view key) {
  values::Dictionary d{{"left", values::Number::Int16(rect.left)},
                       {"right", values::Number::Int16(rect.right)},
                       {"top", values::Number::Int16(rect.top)},
                       {"bottom", values::Number::Int16(rect.bottom)}};
  prefs::SharedPreferences().Set(key, values::Value(std::move(d)));
}

bool LoadWindowRectPref(Rect& rect, std::string_view key) {
  std::optional<values::Value> stored = prefs::SharedPreferences().CopyValue(key);
  if (!stored || !stored->IsDictionary()) return false;
  std::int16_t edges[4];
  for (int i = 0; i < 4; ++i) {
    bool found = false;
    edges[i] = static_cast<std::int16_t>(DictGetInt(*stored, kEdges[i], &found));
    if (!found) return false;
  }
  SetRectLTRB(rect, edges[0], edges[2], edges[1], edges[3]);
  return true;
}

void SaveWindowBoundsPref(ui::WindowRef window, std::string_view key) {
  SaveWindowRectPref(ui::UiServicesSlot::Get().GetWindowStructureBounds(window), key);
}

bool RestoreWindowBoundsPref(ui::WindowRef window, std::string_view key, bool keep_size) {
  Rect saved;
  if (!LoadWindowRectPref(saved, key)) return false;
  ui::UiServices& services = ui::UiServicesSlot::Get();
  if (keep_size) {
    const Rect current = services.GetWindowStructureBounds(window);
    saved.right = static_cast<std::int16_t>(saved.left + (current.right - current.left));
    saved.bottom = static_cast<std::int16_t>(saved.top + (current.bottom - current.top));
  }
  services.SetWindowStructureBounds(window, saved);
  services.ConstrainWindowToScreen(window, !keep_size);
  return true;
}

void SetPrefInteger(std::string_view key, std::int32_t value) {
  prefs::SharedPreferences().Set(key, values::Value(values::Number::Int32(value)));
}

}  // namespace util
