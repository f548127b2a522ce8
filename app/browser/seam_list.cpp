#include "app/browser/seam_list.h"

#include "app/browser/services/auth_items_service.h"
#include "app/browser/services/connect_dialog_hooks.h"
#include "app/browser/services/credentials_service.h"
#include "app/browser/services/dav_upload_hooks.h"
#include "app/browser/services/favourite_connections_service.h"
#include "app/browser/services/favourite_undo_service.h"
#include "app/browser/services/favourites_service.h"
#include "app/browser/services/ftp_upload_hooks.h"
#include "app/browser/services/peer_connect_hooks.h"
#include "app/browser/services/remote_rows.h"
#include "app/browser/services/stored_password_service.h"
#include "platform/runtime/seam_list.h"

namespace browser {

void ListSeams() {
  runtime::ListServiceSlot<AuthItemsServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<CredentialsServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<FavouriteConnectionsServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<FavouriteUndoServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<FavouritesServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<RemoteRowsServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<StoredPasswordServiceSlot>(runtime::AtStartUp());
  runtime::ListHooks<FTPUploadHooksSlot>(
      "browser::FTPUploadHooks",
      {
          {"uploadAliasToFTPNode", &FTPUploadHooks::uploadAliasToFTPNode, runtime::AtStartUp()},
      });
  runtime::ListHooks<PeerConnectHooksSlot>(
      "browser::PeerConnectHooks",
      {
          {"connectBonjourPeer", &PeerConnectHooks::connectBonjourPeer, runtime::AtStartUp()},
      });
  runtime::ListHooks<RemoteHostRowHooksSlot>(
      "browser::RemoteHostRowHooks",
      {
          {"updateHostRows", &RemoteHostRowHooks::updateHostRows, runtime::WithDisplay()},
      });
  runtime::ListHooks<ConnectDialogHooksSlot>(
      "browser::ConnectDialogHooks",
      {
          {"openConnectDialog", &ConnectDialogHooks::openConnectDialog, runtime::WithDisplay()},
      });
  runtime::ListHooks<DAVUploadHooksSlot>(
      "browser::DAVUploadHooks",
      {
          {"uploadAliasToDAVNode", &DAVUploadHooks::uploadAliasToDAVNode, runtime::AtStartUp()},
      });
}

}  // namespace browser
