#include "app/ui/seam_list.h"

#include "app/ui/services/application_windows_service.h"
#include "app/ui/services/confirmation_service.h"
#include "app/ui/services/download_event_views.h"
#include "app/ui/services/folder_dialog_service.h"
#include "app/ui/services/interface_service.h"
#include "app/ui/services/local_pane_hosts.h"
#include "app/ui/services/main_list_browser.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/services/menu_bar_hooks.h"
#include "app/ui/services/row_command_windows.h"
#include "app/ui/services/source_list_rows.h"
#include "app/ui/services/ui_services.h"
#include "app/ui/services/view_notifications.h"
#include "platform/runtime/seam_list.h"

namespace ui {

void ListSeams() {
  runtime::ListServiceSlot<ApplicationWindowsServiceSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<ConfirmationServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<DownloadEventViewsSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<FolderDialogServiceSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<InterfaceServiceSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<LocalPaneHostsServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<MainListBrowserSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<MainListServicesSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<SourceListRowsServiceSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<UiServicesSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<ViewNotificationsSlot>(runtime::WithDisplay());
  runtime::ListHooks<RowCommandWindowHooksSlot>(
      "ui::RowCommandWindowHooks",
      {
          {"showPreferencesWindow", &RowCommandWindowHooks::showPreferencesWindow,
           runtime::PendingOn("the preferences window")},
      });
  runtime::ListHooks<MenuBarHooksSlot>(
      "ui::MenuBarHooks", {
                              {"buildMainMenuBar", &MenuBarHooks::buildMainMenuBar, runtime::WithDisplay()},
                          });
}

}  // namespace ui
