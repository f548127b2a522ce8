#pragma once
// The main window's toolbar: the item table (label, help text, command and icon of each
// item), the default arrangements of the simple and the advanced interface, the items the
// user may place, and the identifiers of the items present now (kept current as the user
// adds and removes items), by which the command state enables them.
//
// The search field item is made here too; search_field.h holds what typing in it does.
//
// Main thread only.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/toolbar/toolbar.h"

namespace ui {

inline constexpr char kMainToolbarIdentifier[] = "com.orbenix.truvane.toolbar";
inline constexpr char kMainToolbarItemPrefix[] = "com.orbenix.truvane.mainToolbar.";

struct MainToolbarItemEntry {
  const char* suffix;
  const char* label;
  const char* help;
  values::FourCharCode command;
  values::FourCharCode icon;  // 0: none
};
// Every item the toolbar can make by identifier (the search item apart).
const std::vector<MainToolbarItemEntry>& MainToolbarItemTable();

// The arrangements, as full identifiers.
std::vector<std::string> MainToolbarDefaultIdentifiers(bool simpleMode);
std::vector<std::string> MainToolbarAllowedIdentifiers();
// The item for the identifier, nullptr for one not in the table.
toolbox::ToolbarItemRef CreateMainToolbarItem(const std::string& identifier,
                                              const std::optional<std::string>& configuration);

// Makes the toolbar (the saved arrangement, else the default one), records its items and
// attaches it to the main window, shown or hidden as the settings say.
toolbox::Toolbar* CreateMainToolbar();
toolbox::Toolbar* GetMainToolbar();
// Detaches and forgets the toolbar (with the window).
void DisposeMainToolbar();
// Shows or hides the toolbar; the setting follows, and the quit writes it ("Show toolbar")
// so that the next start shows the toolbar as it was left.
void SetMainToolbarShown(bool shown);
void SaveMainToolbarShown();

// The items present now, by identifier.
const std::map<std::string, toolbox::ToolbarItemRef>& ToolbarItemsByIdentifier();
// Nothing when the item is not in the toolbar.
void SetToolbarItemEnabled(const std::string& identifier, bool enabled);

}  // namespace ui
