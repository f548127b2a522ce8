#include "app/ui/small_windows/server_activity_window.h"

#include <cstdio>
#include <memory>

#include "app/util/desktop/notification_bridges.h"
#include "app/util/settings/window_bounds_prefs.h"
#include "platform/runtime/subscription.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/lists/list_view.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr toolbox::ListPropertyID kFileColumn = 1, kUserColumn = 2, kAddressColumn = 3;
constexpr double kFoldedHeight = 50;

struct ActivityWindow {
  std::shared_ptr<toolbox::Window> window;
  std::unique_ptr<toolbox::ListView> list;
  runtime::Subscription serversChanged;
};

ActivityWindow& Activity() {
  static ActivityWindow activity;
  return activity;
}

std::map<std::uint32_t, ServerTransfer>& Transfers() {
  static std::map<std::uint32_t, ServerTransfer> transfers;
  return transfers;
}

void UpdateCount() {
  ActivityWindow& a = Activity();
  if (!a.window || a.window->IsReleased()) return;
  if (toolbox::Control* count = a.window->FindControl(kApplicationSignature, kActivityCountTextID))
    count->SetText(std::to_string(Transfers().size()));
}

void FillList() {
  ActivityWindow& a = Activity();
  if (!a.list) return;
  a.list->RemoveAllItems();
  std::vector<toolbox::ListItemID> ids;
  for (const auto& [id, transfer] : Transfers()) ids.push_back(static_cast<toolbox::ListItemID>(id) + 1);
  a.list->AddItems(0, ids);
}

toolbox::Status ItemData(toolbox::ListItemID item, toolbox::ListPropertyID property,
                         toolbox::ListItemData& data, bool set) {
  if (set) return toolbox::kListPropertyNotSupported;
  auto it = Transfers().find(static_cast<std::uint32_t>(item - 1));
  if (it == Transfers().end()) return toolbox::kListPropertyNotSupported;
  switch (property) {
    case kFileColumn:
      data.SetText(it->second.file);
      return runtime::kNoErr;
    case kUserColumn:
      data.SetText(it->second.user);
      return runtime::kNoErr;
    case kAddressColumn:
      data.SetText(it->second.ip);
      return runtime::kNoErr;
    default:
      return toolbox::kListPropertyNotSupported;
  }
}

// The saved place, when it is one: no negative edge, sides in order.
std::optional<toolbox::Rect> SavedBounds() {
  util::Rect r;
  if (!util::LoadWindowRectPref(r, kServerActivityBoundsKey)) return std::nullopt;
  if (r.left < 0 || r.top < 0 || r.top > r.bottom || r.left > r.right) return std::nullopt;
  return toolbox::Rect{double(r.left), double(r.top), double(r.right - r.left), double(r.bottom - r.top)};
}

void SaveBounds(const toolbox::Window& window) {
  const toolbox::Rect b = window.ContentBounds();
  util::SaveWindowRectPref({.top = std::int16_t(b.y),
                            .left = std::int16_t(b.x),
                            .bottom = std::int16_t(b.y + b.height),
                            .right = std::int16_t(b.x + b.width)},
                           kServerActivityBoundsKey);
}

std::shared_ptr<toolbox::Window> CreateActivityWindow() {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDocument;
  desc.title = values::Localized("Server Activity");
  desc.content = {60, 80, 460, 240};
  desc.resizable = true;
  auto window = toolbox::Window::Create(desc);
  window->AddControl({.kind = ControlKind::kDisclosure,
                      .id = {kApplicationSignature, kActivityDisclosureID},
                      .bounds = {12, 10, 130, 20},
                      .text = values::Localized("Connections:"),
                      .value = 1});
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, kActivityCountTextID},
                      .bounds = {148, 12, 60, 18},
                      .text = "0"});
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, kActivityRateTextID},
                      .bounds = {300, 12, 148, 18},
                      .text = "0.0 k/s",
                      .bindings = toolbox::kBindTop | toolbox::kBindRight});
  toolbox::Control* pane = window->AddControl(
      {.kind = ControlKind::kUserPane,
       .id = {kApplicationSignature, kActivityListID},
       .bounds = {12, 38, 436, 190},
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom});
  ActivityWindow& a = Activity();
  a.list = std::make_unique<toolbox::ListView>();
  a.list->AddColumn(
      {.property = kFileColumn, .title = values::Localized("File"), .min_width = 60, .max_width = 600});
  a.list->AddColumn(
      {.property = kUserColumn, .title = values::Localized("User"), .min_width = 40, .max_width = 300});
  a.list->AddColumn(
      {.property = kAddressColumn, .title = values::Localized("Address"), .min_width = 40, .max_width = 300});
  a.list->SetColumnWidth(kFileColumn, 200);
  a.list->SetColumnWidth(kUserColumn, 100);
  a.list->SetColumnWidth(kAddressColumn, 120);
  toolbox::ListCallbacks callbacks;
  callbacks.item_data = ItemData;
  a.list->SetCallbacks(std::move(callbacks));
  if (pane) a.list->Embed(*pane);
  return window;
}

}  // namespace

toolbox::Window* ServerActivityWindow() {
  ActivityWindow& a = Activity();
  return a.window && !a.window->IsReleased() ? a.window.get() : nullptr;
}

toolbox::Window* ShowServerActivityWindow() {
  if (toolbox::Window* open = ServerActivityWindow()) {
    open->Select();
    return open;
  }
  ActivityWindow& a = Activity();
  a.window = CreateActivityWindow();
  toolbox::Window* window = a.window.get();
  a.serversChanged = util::GetLocalNotificationCenter().AddObserver(
      std::string(util::kDownloadServersChanged), {}, [](const runtime::Notification&) { UpdateCount(); });
  if (auto saved = SavedBounds()) {
    window->SetContentBounds(*saved);
    window->ConstrainToScreen(false);
    if (saved->height < kFoldedHeight)
      if (toolbox::Control* disclosure = window->FindControl(kApplicationSignature, kActivityDisclosureID))
        disclosure->SetValue(0);
  }
  window->SetProperty(kApplicationSignature, kActivityRateProperty, values::Value(values::Number::Int64(0)));
  window->InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowClose},
                          {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                         [window](runtime::HandlerCall&, runtime::Event& event) {
                           if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
                             SaveBounds(*window);
                           } else {
                             ActivityWindow& activity = Activity();
                             activity.serversChanged = {};
                             activity.list.reset();
                           }
                           return runtime::kEventNotHandledErr;
                         });
  UpdateCount();
  FillList();
  window->Select();
  return window;
}

const std::map<std::uint32_t, ServerTransfer>& ServerTransfers() {
  return Transfers();
}

void RecordServerTransfer(std::uint32_t id, ServerTransfer transfer) {
  Transfers()[id] = std::move(transfer);
  if (ServerActivityWindow() && Activity().list)
    Activity().list->AddItems(0, {static_cast<toolbox::ListItemID>(id) + 1});
  UpdateCount();
}

bool EndServerTransfer(std::uint32_t id) {
  if (Transfers().erase(id) == 0) return false;
  if (ServerActivityWindow() && Activity().list)
    Activity().list->RemoveItems(0, {static_cast<toolbox::ListItemID>(id) + 1});
  UpdateCount();
  return true;
}

void ForgetServerTransfers() {
  Transfers().clear();
  FillList();
  UpdateCount();
}

std::string ServerActivitySpeedSample(std::int64_t bytesPerSecond) {
  toolbox::Window* window = ServerActivityWindow();
  if (!window) return {};
  std::int64_t old = 0;
  if (const values::Value* stored = window->Property(kApplicationSignature, kActivityRateProperty))
    if (const values::Number* n = stored->AsNumber()) old = n->AsInt64();
  const auto smoothed = static_cast<std::int64_t>(double(bytesPerSecond) * 0.75 + double(old) * 0.25);
  window->SetProperty(kApplicationSignature, kActivityRateProperty,
                      values::Value(values::Number::Int64(smoothed)));
  char text[64];
  std::snprintf(text, sizeof text, "%.1f k/s", double(smoothed) / 1024.0);
  if (toolbox::Control* rate = window->FindControl(kApplicationSignature, kActivityRateTextID))
    rate->SetText(text);
  return text;
}

}  // namespace ui
