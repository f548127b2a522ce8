// The connect dialog offscreen: what it shows for a handed-in location and for a
// favourite, when Connect and Save may be pressed, the name sheet, and the alert of an FTP
// address that cannot be used.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/browser/favourites/favourites.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/services/remote_rows.h"
#include "app/ui/connect_dialog/connect_dialog.h"
#include "platform/toolbox/controls/control.h"
#include "tests/fakes/fake_ui_services.h"

namespace ui {
namespace {

using toolbox::kApplicationSignature;

class ConnectDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { browser::ClearFavourites(); }
  void TearDown() override {
    for (toolbox::Window* w : opened_) {
      if (auto c = ConnectionControllerFor(*w)) {
        if (c->window()) c->window()->Release();
        if (c->alternateWindow()) c->alternateWindow()->Release();
      }
    }
    browser::ClearFavourites();
    browser::ClearHosts();
  }

  std::shared_ptr<ConnectionController> Open(const browser::ConnectDialogRequest& request = {}) {
    toolbox::Window* w = OpenConnectDialog(request);
    opened_.push_back(w);
    return ConnectionControllerFor(*w);
  }
  static toolbox::Control* C(toolbox::Window* w, std::int32_t id) {
    return w->FindControl(kApplicationSignature, id);
  }
  // As the user types: the text, then the dialog hears of it.
  static void Type(ConnectionController& c, toolbox::Window* w, std::int32_t id, const std::string& text) {
    C(w, id)->SetText(text);
    c.controlTextDidChange(*C(w, id));
  }
  static void Keep(toolbox::Window* w, const std::string& name) {
    if (const char* dir = std::getenv("TRUVANE_SCREENSHOT_DIR")) w->GrabToPng(std::string(dir) + "/" + name);
  }

  fakes::ScopedFakeUi ui_;
  std::vector<toolbox::Window*> opened_;
};

TEST_F(ConnectDialogTest, AHandedInLocationFillsTheFormOfItsProtocol) {
  struct Case {
    const char* preFill;
    int tag;
    const char* host;
    const char* path;
    const char* serverLabel;
    bool userEnabled, pathEnabled, connectEnabled;
    const char* image;
  } cases[] = {
      {"https://dav.example/team", 7, "dav.example", "/team", "Server:", true, true, true, "webdav_ssl"},
      {"ftp://files.example:2121", 2, "files.example:2121", "/", "Server:", true, true, true, "ftp"},
      {"idisk://member-Public", 5, "member", "", "iDisk Name:", false, false, true, "publicIdisk"},
      {"idisk://member/Docs", 4, "member", "/Docs", "iDisk Name:", false, true, true, "idisk"},
      {"ftps:///", 3, "", "/", "Server:", true, true, false, "ftp_ssl"},
      {"peer.example", 1, "peer.example", "", "Server:", true, false, true, "tricon"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.preFill);
    browser::ConnectDialogRequest r;
    r.preFill = c.preFill;
    auto dialog = Open(r);
    ASSERT_TRUE(dialog);
    toolbox::Window* w = dialog->window();
    EXPECT_EQ(C(w, kConnectProtocolPopup)->Value(), c.tag);
    EXPECT_EQ(C(w, kConnectHostBox)->Text(), c.host);
    EXPECT_EQ(C(w, kConnectPathBox)->Text(), c.path);
    EXPECT_EQ(C(w, kConnectServerLabel)->Text(), c.serverLabel);
    EXPECT_EQ(C(w, kConnectUserBox)->IsEnabled(), c.userEnabled);
    EXPECT_EQ(C(w, kConnectPathBox)->IsEnabled(), c.pathEnabled);
    EXPECT_EQ(C(w, kConnectOKButton)->IsEnabled(), c.connectEnabled);
    EXPECT_EQ(C(w, kConnectAddToFavouritesButton)->IsEnabled(), c.connectEnabled);
    EXPECT_EQ(dialog->imageName(), c.image);
    EXPECT_EQ(C(w, kConnectLocalPathBox)->Text(), std::getenv("HOME"));
    EXPECT_TRUE(w->IsVisible());
  }
  Keep(opened_.front(), "connect_dialog.png");
}

TEST_F(ConnectDialogTest, AnEmptyDialogWaitsForAServer) {
  auto dialog = Open();
  toolbox::Window* w = dialog->window();
  EXPECT_EQ(C(w, kConnectProtocolPopup)->Value(), 1);
  EXPECT_FALSE(C(w, kConnectOKButton)->IsEnabled());
  Type(*dialog, w, kConnectHostBox, "  \t");
  EXPECT_FALSE(C(w, kConnectOKButton)->IsEnabled()) << "blanks are no server";
  dialog->ok();
  EXPECT_FALSE(w->IsReleased()) << "Connect without a server does nothing";
  Type(*dialog, w, kConnectHostBox, "files.example");
  EXPECT_TRUE(C(w, kConnectOKButton)->IsEnabled());
  EXPECT_TRUE(C(w, kConnectAddToFavouritesButton)->IsEnabled());
  EXPECT_EQ(C(w, kConnectAddToFavouritesButton)->Text(), "Add to My Servers");
}

TEST_F(ConnectDialogTest, AnAnonymousLoginFillsNeitherBox) {
  for (const char* user : {"anonymous", "someone"}) {
    browser::ConnectDialogRequest r;
    r.preFill = "ftp://files.example/pub";
    r.user = user;
    r.password = "secret";
    auto dialog = Open(r);
    const bool anonymous = std::string(user) == "anonymous";
    EXPECT_EQ(C(dialog->window(), kConnectUserBox)->Text(), anonymous ? "" : user);
    EXPECT_EQ(C(dialog->window(), kConnectPasswordField)->Text(), anonymous ? "" : "secret");
  }
}

TEST_F(ConnectDialogTest, AFavouriteIsSavedOnlyWhenSomethingChangedAndForgottenWithItsProtocol) {
  browser::AddFavourite("Files", "files.example/pub", "someone", "pw", browser::kHostFTP, "/tmp");
  browser::AddFavourite("Peer", "peer:2550", "Guest", "", browser::kHostPeerByAddress, "");
  browser::AddFavourite("Bonjour", "Studio", "Guest", "", browser::kHostBonjourPeer, "");
  browser::ConnectDialogRequest r;
  r.favouriteName = "Files";
  auto dialog = Open(r);
  toolbox::Window* w = dialog->window();
  toolbox::Control* menu = C(w, kConnectFavouriteMenu);
  std::vector<std::string> offered;
  for (const auto& item : menu->PopUpMenu()->items()) offered.push_back(item.text);
  EXPECT_EQ(offered, (std::vector<std::string>{"None", "Files", "Peer"})) << "no Bonjour favourite here";
  ASSERT_TRUE(dialog->selectedFavourite());
  EXPECT_EQ(dialog->selectedFavourite()->name, "Files");
  EXPECT_EQ(menu->Value(), 2);
  toolbox::Control* save = C(w, kConnectAddToFavouritesButton);
  EXPECT_EQ(save->Text(), "Save");
  EXPECT_FALSE(save->IsEnabled());

  // Choosing it in the pop-up fills the form; unchanged it cannot be saved.
  dialog->favouriteChanged(*menu);
  EXPECT_EQ(C(w, kConnectHostBox)->Text(), "files.example");
  EXPECT_EQ(C(w, kConnectPathBox)->Text(), "/pub");
  EXPECT_EQ(C(w, kConnectUserBox)->Text(), "someone");
  EXPECT_EQ(C(w, kConnectPasswordField)->Text(), "pw");
  EXPECT_EQ(C(w, kConnectLocalPathBox)->Text(), "/tmp");
  EXPECT_EQ(C(w, kConnectProtocolPopup)->Value(), 2);
  EXPECT_TRUE(C(w, kConnectOKButton)->IsEnabled());
  Type(*dialog, w, kConnectUserBox, "someone");
  EXPECT_FALSE(save->IsEnabled());
  Type(*dialog, w, kConnectPasswordField, "pw2");
  EXPECT_TRUE(save->IsEnabled()) << "a new password may be saved";
  Type(*dialog, w, kConnectPasswordField, "pw");
  EXPECT_FALSE(save->IsEnabled());

  // Saving writes the form into the favourite.
  Type(*dialog, w, kConnectPathBox, "/incoming");
  dialog->saveFavourite();
  EXPECT_FALSE(save->IsEnabled());
  EXPECT_EQ(browser::FavouriteFindByName("Files")->address(), "files.example/incoming");
  EXPECT_TRUE(browser::FavouritesChanged());

  // Another protocol is another server: the favourite is let go even with the same fields.
  C(w, kConnectProtocolPopup)->SetValue(3);
  dialog->protocolTypeChanged();
  EXPECT_FALSE(dialog->selectedFavourite());
  EXPECT_EQ(menu->Value(), 1);
  EXPECT_EQ(save->Text(), "Add to My Servers");
  EXPECT_TRUE(save->IsEnabled());
  EXPECT_EQ(dialog->imageName(), "ftp_ssl");
}

TEST_F(ConnectDialogTest, TheNameSheetRefusesATakenNameAndAddsANewFavourite) {
  browser::AddFavourite("Taken", "elsewhere/", "u", "", browser::kHostFTP, "");
  browser::ConnectDialogRequest r;
  r.preFill = "ftp://files.example/pub";
  r.user = "someone";
  r.password = "pw";
  auto dialog = Open(r);
  toolbox::Window* w = dialog->window();
  dialog->saveFavourite();
  toolbox::Window* sheet = dialog->sheet();
  ASSERT_TRUE(sheet);
  EXPECT_FALSE(C(sheet, kConnectSheetOKButton)->IsEnabled());
  Type(*dialog, sheet, kConnectSheetField, "  ");
  EXPECT_FALSE(C(sheet, kConnectSheetOKButton)->IsEnabled());
  Type(*dialog, sheet, kConnectSheetField, "Taken");
  EXPECT_TRUE(C(sheet, kConnectSheetOKButton)->IsEnabled());
  Keep(sheet, "connect_dialog_name_sheet.png");
  dialog->okSaveFavourite();
  ASSERT_EQ(ui_->alerts.size(), 1u);
  EXPECT_EQ(ui_->alerts[0].message, "There is already a favourite with that name.");
  EXPECT_EQ(dialog->sheet(), sheet) << "the sheet stays for another name";

  Type(*dialog, sheet, kConnectSheetField, " Files ");
  dialog->okSaveFavourite();
  EXPECT_FALSE(dialog->sheet());
  const browser::FavouriteRef f = browser::FavouriteFindByName("Files");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->address(), "files.example/pub");
  EXPECT_EQ(f->hostType(), browser::kHostFTP);
  EXPECT_EQ(f->user(), "someone");
  EXPECT_EQ(f->password(), "pw");
  EXPECT_EQ(C(w, kConnectFavouriteMenu)->PopUpMenu()->items().back().text, "Files");
  EXPECT_EQ(C(w, kConnectFavouriteMenu)->Value(), C(w, kConnectFavouriteMenu)->Maximum());
  EXPECT_EQ(C(w, kConnectAddToFavouritesButton)->Text(), "Save");
  EXPECT_FALSE(C(w, kConnectAddToFavouritesButton)->IsEnabled());
  ASSERT_TRUE(dialog->selectedFavourite());
  EXPECT_EQ(dialog->selectedFavourite()->name, "Files");
}

TEST_F(ConnectDialogTest, AnFTPAddressThatCannotBeUsedIsAlertedAndTheDialogStays) {
  browser::ConnectDialogRequest r;
  r.preFill = "ftp://bad host with spaces/";
  auto dialog = Open(r);
  dialog->ok();
  ASSERT_EQ(ui_->alerts.size(), 1u);
  EXPECT_EQ(ui_->alerts[0].message, "The server or remote path is invalid.");
  EXPECT_EQ(ui_->alerts[0].explanation, "The server may not contain spaces or special characters.");
  EXPECT_FALSE(dialog->window()->IsReleased());
  EXPECT_EQ(browser::GetHostCount(), 0u);
}

TEST_F(ConnectDialogTest, ABonjourLoginOffersOnlyFavouritesOfCopiesFoundByBonjour) {
  browser::AddFavourite("Studio login", "Studio", "maria", "pw", browser::kHostBonjourPeer, "");
  browser::AddFavourite("Files", "files.example/", "u", "", browser::kHostFTP, "");
  browser::ConnectDialogRequest r;
  r.bonjourHost = "127.0.0.1";
  r.serviceName = "Studio";
  auto dialog = Open(r);
  ASSERT_TRUE(dialog->bonjourForm());
  toolbox::Window* w = dialog->alternateWindow();
  ASSERT_TRUE(w);
  EXPECT_FALSE(dialog->window()->IsVisible()) << "only the login form shows";
  toolbox::Control* menu = C(w, kConnectAlternateFavouriteMenu);
  ASSERT_EQ(menu->PopUpMenu()->CountItems(), 2);
  EXPECT_EQ(menu->PopUpMenu()->items()[1].text, "Studio login");
  menu->SetValue(2);
  dialog->favouriteChanged(*menu);
  EXPECT_EQ(C(w, kConnectAlternateUserBox)->Text(), "maria");
  EXPECT_EQ(C(w, kConnectAlternatePasswordField)->Text(), "pw");
  EXPECT_FALSE(C(w, kConnectAlternateAddToFavouritesButton)->IsEnabled());
  Type(*dialog, w, kConnectAlternateUserBox, "maria2");
  EXPECT_TRUE(C(w, kConnectAlternateAddToFavouritesButton)->IsEnabled());
  dialog->saveFavourite();
  EXPECT_EQ(browser::FavouriteFindByName("Studio login")->user(), "maria2");
  Keep(w, "connect_dialog_bonjour.png");
}

}  // namespace
}  // namespace ui
