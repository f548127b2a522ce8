// The connect window and the progress sheet of a connection to another copy, worked
// offscreen: the controls they hold, the progress texts that follow the client's steps, a
// refused login that shows the login again on the same connection, and the last results
// (an alert for a refused unsecured connection, nothing for a silent one).
#include "app/ui/sharing_windows/peer_connect_window.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/sharing/client/sharing_client.h"
#include "app/ui/services/ui_services.h"
#include "platform/toolbox/controls/control.h"
#include "tests/fakes/fake_ui_services.h"

namespace ui {
namespace {

using toolbox::kApplicationSignature;

runtime::EventRef ClientEvent(std::uint64_t id, std::int64_t par1, std::int64_t par2, std::int64_t par3) {
  runtime::EventRef e = runtime::Event::Create(sharing::kSharingClientEventClass, 3);
  e->SetInt64(sharing::kSharingClientRequestParam, static_cast<std::int64_t>(id));
  e->SetInt64(values::FourCC("Par1"), par1);
  e->SetInt64(values::FourCC("Par2"), par2);
  e->SetInt64(values::FourCC("Par3"), par3);
  return e;
}

// The login window that retries connection `id`, or null.
toolbox::Window* RetryWindow(std::uint64_t id) {
  for (const auto& w : toolbox::Window::AllWindows()) {
    if (w->IsReleased()) continue;
    const values::Value* v = w->Property(kApplicationSignature, kConnectRetryProperty);
    if (v && v->AsNumber() && static_cast<std::uint64_t>(v->AsNumber()->AsInt64()) == id) return w.get();
  }
  return nullptr;
}

void Keep(const toolbox::Window& window, const char* name) {
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR"))
    window.GrabToPng(std::string(keep) + "/" + name + ".png");
}

class PeerConnectWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto fake = std::make_unique<fakes::FakeUiServices>();
    ui_ = fake.get();
    old_ = UiServicesSlot::Set(std::move(fake));
  }
  void TearDown() override { UiServicesSlot::Set(std::move(old_)); }
  fakes::FakeUiServices* ui_ = nullptr;
  std::unique_ptr<UiServices> old_;
};

TEST_F(PeerConnectWindowTest, TheConnectWindowAsksForAddressUserAndPassword) {
  toolbox::Window* window = ShowConnectToHostWindow();
  ASSERT_TRUE(window);
  const struct {
    std::int32_t id;
    toolbox::ControlKind kind;
  } fields[] = {{kConnectFavouritesPopUpID, toolbox::ControlKind::kPopUpButton},
                {kConnectAddressID, toolbox::ControlKind::kEditText},
                {kConnectUserID, toolbox::ControlKind::kEditText},
                {kConnectPasswordID, toolbox::ControlKind::kPasswordText}};
  for (const auto& f : fields) {
    const toolbox::Control* c = window->FindControl(kApplicationSignature, f.id);
    ASSERT_TRUE(c) << f.id;
    EXPECT_EQ(c->kind(), f.kind) << f.id;
    EXPECT_TRUE(c->IsEnabled()) << f.id;
  }
  std::vector<std::string> buttons;
  for (const toolbox::Control* c : window->Controls())
    if (c->kind() == toolbox::ControlKind::kPushButton) buttons.push_back(c->Text());
  EXPECT_EQ(buttons, (std::vector<std::string>{"Save as Favourite...", "Cancel", "Connect"}));
  EXPECT_TRUE(window->FindControl(kApplicationSignature, kConnectAddressID)->HasFocus() ||
              !window->IsActive());
  Keep(*window, "peer_connect_window");
  window->ProcessCommand(toolbox::kCommandCancel);
  EXPECT_TRUE(window->IsReleased());
}

TEST_F(PeerConnectWindowTest, ProgressFollowsTheStepsAndARefusedLoginAsksAgainOnTheSameConnection) {
  // Nobody listens on port 1: the real task fails, but its events stay in the main queue,
  // which this test does not run; the events below stand for them.
  const std::uint64_t id = ConnectToSharingPeer("127.0.0.1:1", "anna", "wrong", std::nullopt, std::nullopt);
  ASSERT_NE(id, 0u);
  toolbox::Window* progress = ConnectionProgressWindow(id);
  ASSERT_TRUE(progress);
  EXPECT_EQ(progress->Title(), "Connecting to: 127.0.0.1:1");
  const struct {
    std::int64_t step;
    const char* text;
  } steps[] = {{1, "Connecting..."},
               {2, "Authenticating..."},
               {3, "Receiving Folder list..."},
               {4, "Receiving Item list..."},
               {9, "Receiving Item list..."}};
  for (const auto& s : steps) {
    HandleSharingClientEvent(*ClientEvent(id, 0, s.step, 1));
    EXPECT_EQ(progress->FindControl(kApplicationSignature, kProgressStatusTextID)->Text(), s.text) << s.step;
  }
  Keep(*progress, "peer_connect_progress");

  HandleSharingClientEvent(*ClientEvent(id, 0, 0, -3));
  EXPECT_TRUE(IsConnectionRunning(id)) << "a refused login keeps the connection";
  toolbox::Window* login = RetryWindow(id);
  ASSERT_TRUE(login);
  EXPECT_EQ(login->SheetParent(), progress);
  EXPECT_EQ(login->FindControl(kApplicationSignature, kConnectAddressID)->Text(), "127.0.0.1:1");
  EXPECT_FALSE(login->FindControl(kApplicationSignature, kConnectAddressID)->IsEnabled());
  EXPECT_EQ(login->FindControl(kApplicationSignature, kConnectUserID)->Text(), "anna");
  Keep(*login, "peer_login_sheet");
  login->FindControl(kApplicationSignature, kConnectPasswordID)->SetText("right");
  login->ProcessCommand(toolbox::kCommandOK);
  EXPECT_TRUE(login->IsReleased());
  EXPECT_EQ(ConnectionProgressWindow(id), progress) << "the same progress sheet goes on";
  EXPECT_TRUE(ui_->alerts.empty());

  HandleSharingClientEvent(*ClientEvent(id, 0, 0, -6));
  EXPECT_FALSE(IsConnectionRunning(id));
  EXPECT_TRUE(progress->IsReleased());
  ASSERT_EQ(ui_->alerts.size(), 1u);
  EXPECT_EQ(ui_->alerts[0].message,
            "Truvane is unable to establish a secure connection to 127.0.0.1:1. Check that it is running "
            "Truvane 4 or higher");
}

TEST_F(PeerConnectWindowTest, LastResultsOfVisibleAndSilentConnections) {
  const struct {
    bool silent;
    std::int64_t result;
    bool alerted;
  } cases[] = {
      {false, -1, true}, {true, -1, false}, {false, -2, false}, {false, -4, false}, {false, -5, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.result << (c.silent ? " silent" : ""));
    ui_->alerts.clear();
    const std::uint64_t id =
        ConnectToSharingPeer("127.0.0.1:1", "", "", std::nullopt, std::nullopt, c.silent);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(ConnectionProgressWindow(id) != nullptr, !c.silent);
    HandleSharingClientEvent(*ClientEvent(id, 0, 0, c.result));
    EXPECT_FALSE(IsConnectionRunning(id));
    EXPECT_EQ(ConnectionProgressWindow(id), nullptr);
    EXPECT_EQ(!ui_->alerts.empty(), c.alerted);
  }
}

TEST_F(PeerConnectWindowTest, TheAddFavouriteSheetRefusesAnEmptyName) {
  toolbox::Window* window = ShowConnectToHostWindow();
  ASSERT_TRUE(window);
  toolbox::Window* sheet = ShowAddFavouriteSheet(*window);
  ASSERT_TRUE(sheet);
  Keep(*sheet, "peer_add_favourite_sheet");
  sheet->ProcessCommand(toolbox::kCommandOK);
  EXPECT_FALSE(sheet->IsReleased()) << "the sheet stays";
  ASSERT_EQ(ui_->alerts.size(), 1u);
  EXPECT_EQ(ui_->alerts[0].message, "You cannot save a favourite with an empty name.");
  sheet->ProcessCommand(toolbox::kCommandCancel);
  EXPECT_TRUE(sheet->IsReleased());
  window->ProcessCommand(toolbox::kCommandCancel);
}

}  // namespace
}  // namespace ui
