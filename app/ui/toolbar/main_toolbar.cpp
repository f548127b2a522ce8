#include "app/ui/toolbar/main_toolbar.h"

#include <memory>

#include "app/ui/main_window/main_window.h"
#include "app/ui/toolbar/search_field.h"
#include "app/ui/toolbar/toolbar_icons.h"
#include "app/ui/views/resource_images.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/localize.h"

namespace ui {

using values::FourCC;

namespace {

constexpr char kSearchSuffix[] = "searchItem";

// The delegate: the table and the arrangements of the interface mode in force.
class MainToolbarDelegate : public toolbox::ToolbarDelegate {
 public:
  std::vector<std::string> DefaultIdentifiers() override {
    return MainToolbarDefaultIdentifiers(IsSimpleMode());
  }
  std::vector<std::string> AllowedIdentifiers() override { return MainToolbarAllowedIdentifiers(); }
  toolbox::ToolbarItemRef CreateItem(const std::string& identifier,
                                     const std::optional<std::string>& data) override {
    return CreateMainToolbarItem(identifier, data);
  }
};

struct Module {
  MainToolbarDelegate delegate;
  std::unique_ptr<toolbox::Toolbar> toolbar;
  std::map<std::string, toolbox::ToolbarItemRef> items;
};

Module& State() {
  static Module module;
  return module;
}

std::string Id(const char* suffix) {
  return std::string(kMainToolbarItemPrefix) + suffix;
}

}  // namespace

const std::vector<MainToolbarItemEntry>& MainToolbarItemTable() {
  static const std::vector<MainToolbarItemEntry> table = {
      {"AddItem", "Add", "Add a new download", FourCC("New "), FourCC("_TAd")},
      {"EditItem", "Edit", "Edit the selected download(s).", FourCC("Edit"), FourCC("_TEd")},
      {"StopItem", "Stop", "Stop the selected download(s).", FourCC("StoD"), FourCC("_TSt")},
      {"OpenFolderItem", "Download Folder", "Open the download folder in the finder.", FourCC("ODFo"),
       FourCC("_TDF")},
      {"OpenUploadFolderItem", "Upload Folder", "Open the upload folder in the Finder.", FourCC("OUFo"), 0},
      {"Schedule", "Schedule", "Set times for starting and stopping downloads", FourCC("Sche"),
       FourCC("_Tsc")},
      {"RemoveItem", "Remove", "Remove the selected item(s).", FourCC("TRem"), FourCC("_TRm")},
      {"ClearQueue", "Clear Queue", "Clear the queue.", FourCC("ClrQ"), FourCC("fldr")},
      {"ClearInactive", "Clear Inactive", "Clear Inactive items.", FourCC("ClIn"), FourCC("_TCI")},
      {"Download", "Start", "Starts the selected upload or downloads.", FourCC("StaD"), FourCC("_TDo")},
      {"UploadRS", "kToolbarUploadRapidShare", "kToolbarUploadRapidShareHelp", FourCC("URse"),
       FourCC("RSIc")},
      {"Upload", "Upload", "Create a new Upload", FourCC("SnFi"), FourCC("_Tup")},
      {"TransferLog", "Transfer Log", "View the transfer log for the selected item(s).", FourCC("Vdet"),
       FourCC("_TLo")},
      {"AddFromURL", "Add Files from URL",
       "Opens the Add Files from URL window, to download all linked files from a web page", FourCC("AurS"),
       FourCC("_TaF")},
      {"RevealInFinder", "Reveal", "Reveal the selected file(s) in the Finder.", FourCC("RFin"),
       FourCC("_TRv")},
  };
  return table;
}

std::vector<std::string> MainToolbarDefaultIdentifiers(bool simpleMode) {
  using toolbox::kToolbarFlexibleSpaceIdentifier;
  using toolbox::kToolbarSeparatorIdentifier;
  if (simpleMode)
    return {Id("AddItem"),
            Id("Download"),
            Id("StopItem"),
            Id("EditItem"),
            Id("RevealInFinder"),
            Id("RemoveItem"),
            kToolbarSeparatorIdentifier,
            Id("ClearInactive"),
            kToolbarFlexibleSpaceIdentifier,
            kToolbarFlexibleSpaceIdentifier,
            Id(kSearchSuffix)};
  return {Id("AddItem"),
          Id("Download"),
          Id("StopItem"),
          Id("EditItem"),
          Id("RevealInFinder"),
          Id("RemoveItem"),
          kToolbarSeparatorIdentifier,
          Id("ClearInactive"),
          Id("Schedule"),
          kToolbarSeparatorIdentifier,
          Id("Upload"),
          Id("UploadRS"),
          Id("AddFromURL"),
          kToolbarFlexibleSpaceIdentifier,
          kToolbarFlexibleSpaceIdentifier,
          Id(kSearchSuffix)};
}

std::vector<std::string> MainToolbarAllowedIdentifiers() {
  return {Id("AddItem"),
          Id("StopItem"),
          Id("EditItem"),
          toolbox::kToolbarCustomizeIdentifier,
          Id("OpenFolderItem"),
          Id("RemoveItem"),
          Id("ClearInactive"),
          Id("TransferLog"),
          Id("RevealInFinder"),
          toolbox::kToolbarSeparatorIdentifier,
          toolbox::kToolbarFlexibleSpaceIdentifier,
          Id("Download"),
          Id("Upload"),
          Id("UploadRS"),
          Id("OpenUploadFolderItem"),
          Id(kSearchSuffix),
          Id("AddFromURL"),
          Id("Schedule")};
}

toolbox::ToolbarItemRef CreateMainToolbarItem(const std::string& identifier,
                                              const std::optional<std::string>& configuration) {
  const std::string prefix = kMainToolbarItemPrefix;
  if (identifier.compare(0, prefix.size(), prefix) != 0) return nullptr;
  const std::string suffix = identifier.substr(prefix.size());
  if (suffix == kSearchSuffix) {
    toolbox::ToolbarItemRef item = CreateSearchToolbarItem(identifier, configuration);
    item->SetCommand(0);
    return item;
  }
  for (const MainToolbarItemEntry& desc : MainToolbarItemTable()) {
    if (suffix != desc.suffix) continue;
    auto item = std::make_shared<toolbox::ToolbarItem>(identifier);
    item->SetLabel(values::Localized(desc.label));
    item->SetHelpText(values::Localized(desc.help));
    item->SetCommand(desc.command);
    if (desc.icon != 0) item->SetIcon(GetToolbarIcon(desc.icon));
    return item;
  }
  return nullptr;
}

toolbox::Toolbar* CreateMainToolbar() {
  Module& m = State();
  if (m.toolbar) return m.toolbar.get();
  m.items.clear();
  m.toolbar = std::make_unique<toolbox::Toolbar>(kMainToolbarIdentifier, true, m.delegate);
  m.toolbar->SetItemAddedHandler(
      [](const toolbox::ToolbarItemRef& item) { State().items[item->identifier()] = item; });
  m.toolbar->SetItemRemovedHandler([](const toolbox::ToolbarItemRef& item) {
    auto& items = State().items;
    // A separator or space leaves while another of its kind may stay.
    if (auto it = items.find(item->identifier()); it != items.end() && it->second == item) items.erase(it);
  });
  m.toolbar->Load();
  m.toolbar->SetVisible(util::CurrentSettings()->showToolbar);
  if (toolbox::Window* w = GetMainWindow()) w->SetToolbar(m.toolbar.get());
  return m.toolbar.get();
}

toolbox::Toolbar* GetMainToolbar() {
  return State().toolbar.get();
}

void DisposeMainToolbar() {
  Module& m = State();
  if (!m.toolbar) return;
  if (toolbox::Window* w = GetMainWindow(); w && w->GetToolbar() == m.toolbar.get()) w->SetToolbar(nullptr);
  m.toolbar.reset();
  m.items.clear();
}

void SetMainToolbarShown(bool shown) {
  if (toolbox::Toolbar* toolbar = GetMainToolbar()) toolbar->SetVisible(shown);
  util::ChangeSettings([shown](util::Settings& s) { s.showToolbar = shown; });
}

void SaveMainToolbarShown() {
  if (toolbox::Toolbar* toolbar = GetMainToolbar())
    util::SetPreferenceValue("Show toolbar", values::Value(toolbar->IsVisible()));
}

const std::map<std::string, toolbox::ToolbarItemRef>& ToolbarItemsByIdentifier() {
  return State().items;
}

void SetToolbarItemEnabled(const std::string& identifier, bool enabled) {
  auto& items = State().items;
  if (auto it = items.find(identifier); it != items.end()) it->second->SetEnabled(enabled);
}

}  // namespace ui
