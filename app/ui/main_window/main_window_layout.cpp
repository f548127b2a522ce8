#include "app/ui/main_window/main_window_layout.h"

#include <algorithm>

#include "app/browser/services/ftp_upload_hooks.h"
#include "app/browser/services/remote_rows.h"
#include "app/queue/folders/displayed_views.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/services/menu_bar_hooks.h"
#include "app/ui/source_list/custom_list.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/views/path_bar.h"
#include "app/ui/views/small_views.h"
#include "app/ui/views/split_views.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace ui {

using toolbox::Rect;
using values::FourCC;

namespace {

constexpr double kFilterBarShift = 25;
constexpr double kPathBarHeight = 20;

toolbox::Control* C(std::int32_t id) {
  return FindMainControl(id);
}

void Move(toolbox::Control* c, double dx, double dwidth) {
  if (!c) return;
  const Rect r = c->Bounds();
  c->SetBounds({r.x + dx, r.y, r.width + dwidth, r.height});
}

void RetitleMenuCommand(values::FourCharCode command, const char* key) {
  auto [menu, item] = toolbox::GetMenuBar().FindCommand(command);
  if (menu) menu->SetItemText(item, values::Localized(key));
  if (toolbox::Control* action = C(mainwindow::kActionButton))
    if (auto* button = dynamic_cast<SmallButton*>(action->GetView()))
      if (auto m = button->GetMenu())
        if (int i = m->IndexOfCommand(command)) m->SetItemText(i, values::Localized(key));
}

// The local path of each dragged file URL.
std::vector<std::string> DraggedFilePaths(const toolbox::Drag& drag) {
  std::vector<std::string> paths;
  for (const auto& item : drag.items) {
    const auto text = item.Flavor(toolbox::kFlavorFileURL);
    if (!text) continue;
    if (auto url = values::Url::Create(*text))
      if (auto path = values::PathFromFileUrl(*url)) paths.push_back(*path);
  }
  return paths;
}

// The root folder of the FTP or FTPS host shown in the main list, or null.
std::shared_ptr<browser::FTPNodeRow> CurrentFTPRoot() {
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const auto host = remote.GetHostForViewID(MainWindowState().currentView);
  if (!host || (host->hostType != browser::kHostFTP && host->hostType != browser::kHostFTPS)) return nullptr;
  return remote.FTPNodeForHostID(host->ftpID);
}

// The remote path bar: a click goes to that folder of the host; files dropped on a
// segment are uploaded into that folder.
class RemotePathBarOwner : public PathBarOwner {
 public:
  void PathBarNavigate(const std::string& path) override {
    const auto root = CurrentFTPRoot();
    if (!root) return;
    browser::RemoteRowsServiceSlot::Get().NavigateFTPNode(root, path);
    UpdatePathBarForView(MainWindowState().currentView);
  }
  bool PathBarAcceptsDrag(const toolbox::Drag& drag) override {
    return std::any_of(drag.items.begin(), drag.items.end(),
                       [](const toolbox::DragItem& item) { return item.HasFlavor(toolbox::kFlavorFileURL); });
  }
  void PathBarDrop(const std::string& path, const toolbox::Drag& drag) override {
    const auto root = CurrentFTPRoot();
    const auto& upload = browser::FTPUploadHooksSlot::Get().uploadAliasToFTPNode;
    if (!root || !upload) return;
    const browser::FTPUploadTarget target{root->host(), path.starts_with('/') ? path.substr(1) : path,
                                          root->user(), root->password(), root->secure()};
    for (const std::string& file : DraggedFilePaths(drag)) upload(file, target);
  }
};

RemotePathBarOwner& RemoteBarOwner() {
  static RemotePathBarOwner owner;
  return owner;
}

}  // namespace

void ToggleLeftPane() {
  if (!GetMainWindow()) return;
  MainWindowModule& m = MainWindowState();
  toolbox::Control* grip = C(mainwindow::kPaneGrip);
  toolbox::Control* pane = C(mainwindow::kSourceList);
  toolbox::Control* action = C(mainwindow::kActionButton);
  if (!pane) return;
  const bool hiding = m.leftPaneShown;
  m.leftPaneShown = !m.leftPaneShown;
  const double W = pane->Bounds().width;
  const double A = action ? action->Bounds().width : 0;
  const double G = grip ? grip->Bounds().width : 0;
  const double sign = hiding ? -1 : 1;
  // The list area and what sits on it follow the pane's edge.
  for (std::int32_t id : {mainwindow::kListArea, mainwindow::kFilterBar, mainwindow::kRemotePathBar})
    Move(C(id), sign * W, -sign * W);
  Move(C(mainwindow::kBottomArea), sign * (G - 1 + A), -sign * (G - 1 + A));
  Move(C(mainwindow::kStatusText), sign * (G - 1 + A), -sign * (G - 1 + A));
  for (std::int32_t id : {mainwindow::kBandwidthButton, 24, mainwindow::kUploadsButton})
    Move(C(id), sign * A, 0);
  toolbox::GetMenuBar().EnableCommand(FourCC("NeSF"), !hiding);
  toolbox::GetMenuBar().EnableCommand(FourCC("QWNF"), !hiding);
  for (std::int32_t id : {mainwindow::kActionButton, mainwindow::kPaneGrip, mainwindow::kUnderSourceList})
    if (toolbox::Control* c = C(id)) c->SetVisible(m.leftPaneShown);
  pane->SetVisible(m.leftPaneShown);
  RetitleMenuCommand(FourCC("TQlp"), m.leftPaneShown ? "kHideLeftPane" : "kShowLeftPane");
}

bool IsListViewID(std::uint32_t id) {
  return id == 1 || id == 2 || id == 4 || id == 20 || (id >= 0x100000 && id <= 0x3FFFFF) ||
         (id >= 0x400000 && id <= 0x7D0900) || (id >= 200 && id <= 203);
}

void ShiftListArea(bool barGoesAway) {
  toolbox::Control* area = C(mainwindow::kListArea);
  if (!area) return;
  const Rect r = area->Bounds();
  const double d = barGoesAway ? -kFilterBarShift : kFilterBarShift;
  area->SetBounds({r.x, r.y + d, r.width, r.height - d});
  if (toolbox::Control* bar = C(mainwindow::kRemotePathBar)) {
    const Rect b = bar->Bounds();
    bar->SetBounds({b.x, b.y + d, b.width, b.height});
  }
}

void ShowFilterBar() {
  toolbox::Control* bar = C(mainwindow::kFilterBar);
  if (!bar || bar->IsVisible() || !IsListViewID(MainWindowState().currentView)) return;
  ShiftListArea(false);
  bar->SetVisible(true);
}

void HideFilterBar() {
  toolbox::Control* bar = C(mainwindow::kFilterBar);
  if (!bar || !bar->IsVisible()) return;
  ShiftListArea(true);
  bar->SetVisible(false);
  if (auto* view = dynamic_cast<FilterBar*>(bar->GetView())) view->SetSelectedIndex(0);
  SetFilterScope(kFilterScopeAll);
}

void ToggleFilterBar() {
  toolbox::Control* bar = C(mainwindow::kFilterBar);
  MainWindowModule& m = MainWindowState();
  if (bar && bar->IsVisible()) {
    m.filterBarShown = false;
    HideFilterBar();
  } else {
    m.filterBarShown = true;
    ShowFilterBar();
  }
  RetitleMenuCommand(FourCC("TgSb"), m.filterBarShown ? "kHideFilterBar" : "kShowFilterBar");
}

void SetFilterScope(FilterScope scope) {
  MainWindowModule& m = MainWindowState();
  if (scope != kFilterScopeAll && scope != m.filterScope)
    if (MainList* list = GetMainList()) list->ScrollToTop();
  m.filterScope = scope;
  queue::RefillMainList();
}

void UpdateBarsForView(std::uint32_t viewID) {
  MainWindowModule& m = MainWindowState();
  m.currentView = viewID;
  if (!GetMainWindow()) return;
  // The menus differ for My Uploads and the remote views.
  runtime::CallHook(MenuBarHooksSlot::Get().buildMainMenuBar);
  if (IsListViewID(viewID)) {
    if (m.filterBarShown) ShowFilterBar();
  } else {
    HideFilterBar();
  }
  if (queue::IsRemoteHostViewID(viewID)) {
    ShowPathBar();
    UpdatePathBarForView(viewID);
    UpdateLocalPaneForView(viewID);
  } else {
    UpdateLocalPaneForView(viewID);
    HidePathBar();
  }
}

void UpdatePathBarForView(std::uint32_t viewID) {
  PathBar* bar = GetPathBar();
  if (!bar) return;
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const auto host = remote.GetHostForViewID(viewID);
  if (!host) return;
  if (host->hostType == browser::kHostFTP || host->hostType == browser::kHostFTPS) {
    // The host's name is the first segment (a label); the folders follow.
    if (const auto root = remote.FTPNodeForHostID(host->ftpID)) {
      std::vector<std::string> components{root->host()};
      std::string rest = root->path();
      for (std::size_t start = 0; start <= rest.size();) {
        const std::size_t slash = std::min(rest.find('/', start), rest.size());
        if (slash > start) components.push_back(rest.substr(start, slash - start));
        start = slash + 1;
      }
      bar->SetComponents(std::move(components));
    }
  }
}

void SetSimpleMode(bool simple) {
  MainWindowModule& m = MainWindowState();
  if (simple == m.simpleMode) return;
  m.simpleMode = simple;
  runtime::CallHook(MenuBarHooksSlot::Get().buildMainMenuBar);
  if (SourceList* source = GetSourceList()) source->SetSimpleMode(simple);
  if (!GetMainWindow()) return;
  toolbox::Control* uploads = C(mainwindow::kUploadsButton);
  const double U = uploads ? uploads->Bounds().width - 1 : 0;
  if (m.leftPaneShown) {
    Move(C(mainwindow::kPaneGrip), simple ? -U : U, simple ? U : -U);
  } else {
    // With the pane hidden the grip is too; the bottom area takes the button's place.
    Move(C(mainwindow::kBottomArea), simple ? -U : U, simple ? U : -U);
    Move(C(mainwindow::kStatusText), simple ? -U : U, simple ? U : -U);
  }
  if (uploads) uploads->SetVisible(!simple);
  // The advanced rows go in the simple interface and come back in the advanced one.
  CustomList* list = GetMainFolderList();
  if (!list) return;
  const RowRef library = list->GetRowByIdentifier(queue::kLibrarySectionID);
  if (simple) {
    for (std::uint32_t id : {queue::kMyUploadsViewID, queue::kReceivedFilesViewID, queue::kMyServersViewID,
                             queue::kRemoteServersSectionID})
      if (list->GetRowByIdentifier(id)) SourceListRemoveRow(*list, id);
  } else if (library && library->children()) {
    const auto settings = util::CurrentSettings();
    std::vector<RowRef> rows = *library->children();
    auto at = rows.begin() + (rows.empty() ? 0 : 1);
    std::vector<RowRef> extra;
    if (settings->showUploads) extra.push_back(SourceListCreateUploadsRow());
    if (settings->showReceivedFiles) extra.push_back(SourceListCreateReceivedRow());
    if (settings->showServers) extra.push_back(SourceListCreateServersRow());
    rows.insert(at, extra.begin(), extra.end());
    list->SetRowChildren(library, rows);
    if (!list->GetRowByIdentifier(queue::kRemoteServersSectionID)) {
      std::vector<RowRef> top = list->TopRows();
      top.insert(top.begin() + 1, SourceListCreateRemoteServersSection());
      list->SetTopRows(top);
    }
  }
  MainListServicesSlot::Get().RefreshCommandState();
}

void ShowPathBar() {
  toolbox::Window* w = GetMainWindow();
  toolbox::Control* area = C(mainwindow::kListArea);
  if (!w || !area || C(mainwindow::kRemotePathBar)) return;
  const Rect r = area->Bounds();
  area->SetBounds({r.x, r.y + kPathBarHeight, r.width, r.height - kPathBarHeight});
  auto bar = std::make_shared<PathBar>();
  bar->SetFirstIsLabel(true);
  bar->SetOwner(&RemoteBarOwner());
  toolbox::ControlSpec desc;
  desc.id = {toolbox::kApplicationSignature, mainwindow::kRemotePathBar};
  desc.bounds = {r.x, r.y, r.width, kPathBarHeight};
  desc.bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight;
  w->AddView(desc, bar);
}

void HidePathBar() {
  toolbox::Window* w = GetMainWindow();
  toolbox::Control* bar = C(mainwindow::kRemotePathBar);
  toolbox::Control* area = C(mainwindow::kListArea);
  if (!w || !bar) return;
  if (area) {
    const Rect r = area->Bounds();
    area->SetBounds({r.x, r.y - kPathBarHeight, r.width, r.height + kPathBarHeight});
  }
  w->RemoveControl(bar);
}

PathBar* GetPathBar() {
  toolbox::Control* bar = C(mainwindow::kRemotePathBar);
  return bar ? dynamic_cast<PathBar*>(bar->GetView()) : nullptr;
}

void AddShaderView() {
  toolbox::Window* w = GetMainWindow();
  if (!w || C(mainwindow::kShader)) return;
  const Rect content = w->ContentBounds();
  toolbox::ControlSpec desc;
  desc.id = {toolbox::kApplicationSignature, mainwindow::kShader};
  desc.bounds = {0, 0, content.width, content.height};
  desc.bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom;
  w->AddView(desc, std::make_shared<Shader>());
}

void RemoveShaderView() {
  toolbox::Window* w = GetMainWindow();
  if (toolbox::Control* shader = C(mainwindow::kShader); w && shader) w->RemoveControl(shader);
}

void MainWindowSheetHandler(std::uint32_t kind) {
  toolbox::Window* w = GetMainWindow();
  if (!w) return;
  if (kind == toolbox::kEventWindowSheetOpening) {
    w->SetZoomable(false);
    AddShaderView();
  } else if (kind == toolbox::kEventWindowSheetClosing) {
    w->SetZoomable(true);
    RemoveShaderView();
  }
}

}  // namespace ui
