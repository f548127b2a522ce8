#pragma once
// The connect dialog: a connection to a server (FTP, FTPS, WebDAV, secure WebDAV, the
// online disk, its public folder) or to another copy reached by address, typed, taken from
// a favourite or from a location handed in; and, in its second form, the login to a copy
// found by Bonjour. What was typed can be kept as a favourite (a name sheet asks for the
// name), or written back into the favourite it came from ("Save").
//
// The form's rules (what a location or a favourite fills in, what is stored, what is
// connected) are browser/favourites/connect_form.h; this file is the window and what its
// buttons do. One controller per open dialog; it goes with its window.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/favourites/connect_form.h"
#include "app/browser/services/connect_dialog_hooks.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

// Controls of the main form (signature 'Truv').
inline constexpr std::int32_t kConnectHostBox = 1;
inline constexpr std::int32_t kConnectUserBox = 2;
inline constexpr std::int32_t kConnectPathBox = 3;
inline constexpr std::int32_t kConnectPasswordField = 4;
inline constexpr std::int32_t kConnectFavouriteMenu = 5;
inline constexpr std::int32_t kConnectOKButton = 6;
inline constexpr std::int32_t kConnectAddToFavouritesButton = 7;
inline constexpr std::int32_t kConnectProtocolPopup = 8;  // item n = protocol tag n
inline constexpr std::int32_t kConnectLocalPathBox = 9;
inline constexpr std::int32_t kConnectChooseLocalPathButton = 10;
inline constexpr std::int32_t kConnectCancelButton = 11;
inline constexpr std::int32_t kConnectServerLabel = 12;
inline constexpr std::int32_t kConnectUserLabel = 13;
inline constexpr std::int32_t kConnectPathLabel = 14;
// The Bonjour form.
inline constexpr std::int32_t kConnectAlternateUserBox = 21;
inline constexpr std::int32_t kConnectAlternatePasswordField = 22;
inline constexpr std::int32_t kConnectAlternateFavouriteMenu = 23;
inline constexpr std::int32_t kConnectAlternateAddToFavouritesButton = 24;
inline constexpr std::int32_t kConnectAlternateOKButton = 25;
// The name sheet.
inline constexpr std::int32_t kConnectSheetField = 31;
inline constexpr std::int32_t kConnectSheetOKButton = 32;

class ConnectionController : public std::enable_shared_from_this<ConnectionController> {
 public:
  ~ConnectionController();

  // The main window, the Bonjour window (either may be null) and the name sheet.
  toolbox::Window* window() const { return window_.get(); }
  toolbox::Window* alternateWindow() const { return alternateWindow_.get(); }
  toolbox::Window* sheet() const { return sheet_.get(); }
  bool bonjourForm() const { return rendezvousName_.has_value(); }
  const std::vector<browser::ConnectFavourite>& favourites() const { return favourites_; }
  const std::optional<browser::ConnectFavourite>& selectedFavourite() const { return selectedFavourite_; }
  // The protocol image's resource name for the tag shown.
  const std::string& imageName() const { return imageName_; }

  // The main form's boxes as they stand.
  browser::ConnectForm Form() const;

  // The messages of the dialog, as its controls send them.
  void ok();
  void saveFavourite();
  void okSaveFavourite();
  void cancelSaveFavourite();
  void favouriteChanged(toolbox::Control& popUp);
  void protocolTypeChanged();
  void adjustForProtocolType(int tag);
  bool matchesFavourite() const;
  void controlTextDidChange(toolbox::Control& field);
  void chooseLocalPath();

 private:
  friend toolbox::Window* OpenConnectDialog(const browser::ConnectDialogRequest& request);
  ConnectionController() = default;
  void MakeMainWindow();
  void MakeAlternateWindow();
  void MakeSheet(toolbox::Window& parent);
  void AwakeFromNib();
  void AddFavouriteItem(const browser::ConnectFavourite& favourite);
  void SaveToFavouriteWithName(const std::string& name);
  void UpdateSelectedFavourite();
  void UpdateSaveButton();
  toolbox::Window& FormWindow() const;
  toolbox::Control* FormControl(std::int32_t id) const;
  toolbox::Control* FormFavouriteMenu() const;
  toolbox::Control* FormSaveButton() const;
  void CloseAll();
  void WindowWillClose();

  std::shared_ptr<toolbox::Window> window_;
  std::shared_ptr<toolbox::Window> alternateWindow_;
  std::shared_ptr<toolbox::Window> sheet_;
  std::vector<browser::ConnectFavourite> favourites_;
  std::optional<browser::ConnectFavourite> selectedFavourite_;
  std::optional<std::string> rendezvousName_;
  std::optional<std::string> rendezvousHostName_;
  std::optional<std::string> preFill_;
  int previousProtocol_ = 1;
  std::string imageName_;
  bool closing_ = false;
};

// Opens a new dialog (see ConnectDialogRequest); the window it shows, the Bonjour window in
// the Bonjour form.
toolbox::Window* OpenConnectDialog(const browser::ConnectDialogRequest& request = {});

// The controller of an open dialog's window (main, Bonjour or sheet), else null.
std::shared_ptr<ConnectionController> ConnectionControllerFor(const toolbox::Window& window);

// The hook of the layers below (browser/services/connect_dialog_hooks.h).
void InstallConnectDialogHook();

}  // namespace ui
