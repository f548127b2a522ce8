#include "app/ui/small_windows/text_context_menu.h"

#include "platform/toolbox/controls/text_edit_commands.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/values/localize.h"

namespace ui {

toolbox::MenuRef BuildTextContextMenu() {
  toolbox::MenuRef menu = toolbox::Menu::Create(kTextContextMenuID);
  const std::pair<toolbox::FourCharCode, const char*> items[] = {{toolbox::kCommandCut, "Cut"},
                                                                 {toolbox::kCommandCopy, "Copy"},
                                                                 {toolbox::kCommandPaste, "Paste"},
                                                                 {toolbox::kCommandSelectAll, "Select All"}};
  for (const auto& [command, fallback] : items) {
    auto [barMenu, index] = toolbox::GetMenuBar().FindCommand(command);
    menu->AppendItem(barMenu ? barMenu->Item(index)->text : values::Localized(fallback), command);
  }
  return menu;
}

void InstallTextContextMenu(toolbox::Control& field) {
  toolbox::InstallTextEditCommands(field);
  toolbox::SetTextContextMenu(field, BuildTextContextMenu, toolbox::Point{0, -16});
}

}  // namespace ui
