// The local-files pane of the main window: the pane of local files on the left of a
// remote host's list, the local path bar above it, and the split view between them and
// the remote list with its path bar.
#include <memory>

#include "app/queue/folders/displayed_views.h"
#include "app/ui/local_pane/file_browser.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/services/local_pane_hosts.h"
#include "app/ui/views/path_bar.h"
#include "app/ui/views/split_views.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

namespace ui {

namespace {

using toolbox::Rect;

constexpr double kPathBarHeight = 20;

// The pane of the main window now open; dropped when that window went.
struct LocalPane {
  std::uint64_t window = 0;  // the serial of the window the pane belongs to
  std::unique_ptr<FileBrowser> browser;
};

LocalPane& Pane() {
  static LocalPane pane;
  toolbox::Window* w = GetMainWindow();
  if (pane.browser && (!w || w->serial() != pane.window)) pane = LocalPane{};
  return pane;
}

toolbox::Control* C(std::int32_t id) {
  return FindMainControl(id);
}

SplitView* GetSplitView() {
  toolbox::Control* split = C(mainwindow::kLocalSplit);
  return split ? dynamic_cast<SplitView*>(split->GetView()) : nullptr;
}

PathBar* GetLocalPathBar() {
  toolbox::Control* bar = C(mainwindow::kLocalPathBar);
  return bar ? dynamic_cast<PathBar*>(bar->GetView()) : nullptr;
}

// The local path bar: a click shows that folder in the pane; remote items dropped on a
// segment are downloaded into that folder.
class LocalPathBarOwner : public PathBarOwner {
 public:
  void PathBarNavigate(const std::string& path) override {
    if (FileBrowser* pane = GetLocalFileBrowser()) pane->SetFolder(path);
  }
  bool PathBarAcceptsDrag(const toolbox::Drag& drag) override { return FileBrowserDragHasRemoteItems(drag); }
  void PathBarDrop(const std::string& path, const toolbox::Drag& drag) override {
    FileBrowserAcceptDrop(drag, path);
  }
};

LocalPathBarOwner& LocalBarOwner() {
  static LocalPathBarOwner owner;
  return owner;
}

// "splitter_ratio", or a half when it is missing or outside (0, 1).
float StoredSplitRatio() {
  const auto stored = util::ReadSetting(util::kSplitterRatioKey);
  const values::Number* n = stored ? stored->AsNumber() : nullptr;
  const double ratio = n ? n->AsDouble() : 0;
  return ratio > 0 && ratio < 1 ? static_cast<float>(ratio) : 0.5f;
}

void CreateLocalPathBar(toolbox::Window& w, const Rect& paneFrame) {
  auto bar = std::make_shared<PathBar>();
  bar->SetOwner(&LocalBarOwner());
  toolbox::ControlSpec desc;
  desc.id = {toolbox::kApplicationSignature, mainwindow::kLocalPathBar};
  desc.bounds = {paneFrame.x, paneFrame.y - kPathBarHeight, paneFrame.width, kPathBarHeight};
  desc.bindings = toolbox::kBindLeft | toolbox::kBindTop;
  w.AddView(desc, bar);
}

}  // namespace

FileBrowser* GetLocalFileBrowser() {
  return Pane().browser.get();
}

toolbox::Control* GetLocalBrowserView() {
  FileBrowser* pane = GetLocalFileBrowser();
  return pane ? pane->control() : nullptr;
}

void ShowLocalPane(const std::optional<std::string>& folder) {
  toolbox::Window* w = GetMainWindow();
  toolbox::Control* area = C(mainwindow::kListArea);
  if (!w || !area) return;
  MainWindowModule& m = MainWindowState();
  if (!(m.splitRatio > 0)) m.splitRatio = StoredSplitRatio();
  LocalPane& pane = Pane();
  if (pane.browser && pane.browser->control() && pane.browser->control()->IsVisible()) {
    if (folder && pane.browser->GetFolder() != folder) pane.browser->SetFolder(*folder);
    return;
  }
  ShowPathBar();
  const Rect list = area->Bounds();
  if (!pane.browser) {
    toolbox::ControlSpec desc;
    desc.id = {toolbox::kApplicationSignature, mainwindow::kLocalPane};
    desc.bounds = list;
    desc.bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindBottom;
    pane.browser = std::make_unique<FileBrowser>(*w, desc, folder);
    pane.window = w->serial();
    if (auto state = util::ReadSetting(util::kBrowserStateKey)) pane.browser->ApplyUserState(*state);
    toolbox::ControlSpec split;
    split.id = {toolbox::kApplicationSignature, mainwindow::kLocalSplit};
    split.bounds = {list.x, list.y - kPathBarHeight, kSplitViewWidth, list.height + kPathBarHeight};
    split.bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindBottom;
    w->AddView(split, std::make_shared<SplitView>());
  } else {
    // The pane comes back where the list now starts, over the list's whole area.
    toolbox::Control* paneControl = pane.browser->control();
    paneControl->SetBounds(list);
  }
  toolbox::Control* paneControl = pane.browser->control();
  pane.browser->SetFolderChangedHandler([](const std::string& shown) {
    if (PathBar* bar = GetLocalPathBar()) bar->ShowFolder(shown);
  });
  CreateLocalPathBar(*w, list);
  SplitView* split = GetSplitView();
  if (split) {
    split->SetArea(list.x, list.width);
    split->SetFirstViews({paneControl, C(mainwindow::kLocalPathBar)});
    std::vector<toolbox::Control*> second;
    if (toolbox::Control* remote = C(mainwindow::kRemotePathBar)) second.push_back(remote);
    second.push_back(area);
    split->SetSecondViews(second);
  }
  if (PathBar* bar = GetLocalPathBar())
    if (auto shown = pane.browser->GetFolder()) bar->ShowFolder(*shown);
  if (folder) pane.browser->SetFolder(*folder);
  paneControl->SetVisible(true);
  if (toolbox::Control* c = C(mainwindow::kLocalSplit)) c->SetVisible(true);
  if (split) split->SetRatio(m.splitRatio);
}

void HideLocalPane() {
  FileBrowser* pane = GetLocalFileBrowser();
  toolbox::Control* paneControl = pane ? pane->control() : nullptr;
  if (!paneControl || !paneControl->IsVisible()) return;
  MainWindowModule& m = MainWindowState();
  if (SplitView* split = GetSplitView()) m.splitRatio = static_cast<float>(split->GetRatio());
  const double left = paneControl->Bounds().x;
  // The list and its path bar take back the pane's place.
  for (std::int32_t id : {mainwindow::kListArea, mainwindow::kRemotePathBar}) {
    if (toolbox::Control* c = C(id)) {
      const Rect r = c->Bounds();
      c->SetBounds({left, r.y, r.Right() - left, r.height});
    }
  }
  paneControl->SetVisible(false);
  if (toolbox::Control* split = C(mainwindow::kLocalSplit)) split->SetVisible(false);
  util::WriteSetting(util::kSplitterRatioKey, values::Value(m.splitRatio));
  util::WriteSetting(util::kBrowserStateKey, values::Value(pane->CopyUserState()));
  if (toolbox::Control* bar = C(mainwindow::kLocalPathBar)) GetMainWindow()->RemoveControl(bar);
}

void UpdateLocalPaneForSelection() {
  const queue::ViewID view = MainWindowState().currentView;
  if (!queue::IsRemoteHostViewID(view)) return;
  UpdateLocalPaneForView(view);
  queue::RefillMainList();
}

void UpdateLocalPaneForView(std::uint32_t view) {
  if (!queue::IsRemoteHostViewID(view)) return HideLocalPane();
  LocalPaneHost host;
  if (auto answer = LocalPaneHostsServiceSlot::Get().HostForView(view)) host = std::move(*answer);
  if (host.splitPanes)
    ShowLocalPane(host.localFolder);
  else
    HideLocalPane();
}

}  // namespace ui
