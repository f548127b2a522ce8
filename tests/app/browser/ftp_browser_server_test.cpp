// The FTP browser against real servers on loopback: vsftpd over plain FTP and explicit
// FTPS (listing a tree, renaming, moving and deleting with the server's own folder checked
// on disk, uploads handed over, a file downloaded through the real queue and engine), and a
// scripted server whose connection drops in the middle of a listing.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "app/browser/favourites/favourites.h"
#include "app/browser/ftp/ftp_node.h"
#include "app/browser/ftp/upload_refresh.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/remote_browser.h"
#include "app/browser/services/ftp_upload_hooks.h"
#include "app/engine/ftp/ftp_socket_io.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/task/download_task.h"
#include "app/queue/adding/remote_files.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/download_events.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/record/queue_tables.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/run_loop.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/fake_main_list_browser.h"
#include "tests/fakes/fake_ui_services.h"
#include "tests/fakes/scripted_confirmations.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace browser {
namespace {

using namespace std::chrono_literals;

// Runs the thread's loop until `done` (bounded); true when it came.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
  auto loop = runtime::RunLoop::Current();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    loop->RunFor(std::chrono::milliseconds(20), true);
  }
  return true;
}

std::set<std::string> Names(const FTPNodeRef& node) {
  std::set<std::string> out;
  if (node && node->items())
    for (const FTPItem& item : *node->items()) out.insert(item.name());
  return out;
}

const FTPItem* Find(const FTPNodeRef& node, const std::string& name) {
  if (!node || !node->items()) return nullptr;
  for (const FTPItem& item : *node->items())
    if (item.name() == name) return &item;
  return nullptr;
}

bool Listed(const FTPNodeRef& node) {
  return node && node->items() && !node->listing();
}

// The browser's services with a list, alerts and the queue's records of its own; the
// connections trust the server's certificate.
class BrowserFixture {
 public:
  BrowserFixture() {
    auto list = std::make_unique<fakes::FakeMainListBrowser>();
    this->list = list.get();
    ui::MainListBrowserSlot::Set(std::move(list));
    auto ui = std::make_unique<fakes::FakeUiServices>();
    this->ui = ui.get();
    ui::UiServicesSlot::Set(std::move(ui));
    queue::RemoteFilesServiceSlot::Set(std::make_unique<queue::QueueRemoteFiles>());
    InstallRemoteBrowser();
    ClearHosts();
    ClearFavourites();
  }
  ~BrowserFixture() {
    ClearHosts();
    ClearFavourites();
    SetFTPConnectionFactory(nullptr);
    FTPUploadHooksSlot::Get() = {};
    RemoteRowsServiceSlot::Set(nullptr);
    queue::RemoteFilesServiceSlot::Set(nullptr);
    ui::UiServicesSlot::Set(nullptr);
    ui::MainListBrowserSlot::Set(nullptr);
    // Retired connections are dropped on a later pass.
    runtime::RunLoop::Current()->RunFor(std::chrono::milliseconds(0));
  }
  void Trust(const std::string& certificatePem) {
    auto root = net::Certificate::FromPem(certificatePem);
    SetFTPConnectionFactory(
        [root](const values::Url& url, const std::string& user, const std::string& password) {
          engine::FTPSocketOptions o;
          if (root) o.trusted_roots = {*root};
          o.use_system_roots = false;
          return engine::FTPConnectionCreate(url, user, password, engine::CreateFTPSocketIO(url, o), true);
        });
  }

  fakes::FakeMainListBrowser* list = nullptr;
  fakes::FakeUiServices* ui = nullptr;
};

class FTPBrowserVsftpdTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    browserFixture.Trust(server.Identity().certificate_pem);
  }
  FTPNodeRef Connect() {
    FTPNodeRef root = ConnectFTPServer("127.0.0.1:" + std::to_string(server.Port()), server.User(),
                                       server.Password(), std::nullopt, GetParam());
    EXPECT_TRUE(root);
    if (!root) return nullptr;
    EXPECT_TRUE(RunUntil([&] { return Listed(root); })) << root->log();
    return root;
  }
  std::string Home(const std::string& name) const { return server.FilesDir() + "/" + name; }

  testservers::VsftpdServer server;
  BrowserFixture browserFixture;
};

TEST_P(FTPBrowserVsftpdTest, ListsATreeAndChangesItOnTheServer) {
  server.PutFile("top.txt", "top");
  server.PutFile(".hidden", "h");
  server.MakeFolder("sub");
  server.PutFile("sub/inner.bin", "inner");
  server.MakeFolder("dest");
  server.MakeFolder("doomed");
  server.PutFile("doomed/x", "x");
  server.MakeFolder("doomed/deeper");
  server.PutFile("doomed/deeper/y", "y");

  FTPNodeRef root = Connect();
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->connected());
  EXPECT_EQ(root->path(), server.FilesDir().substr(1)) << "the login folder becomes the root's path";
  EXPECT_EQ(Names(root), (std::set<std::string>{".hidden", "top.txt", "sub", "dest", "doomed"}));
  // The root's rows in the list: its folders and files (its record for a file).
  EXPECT_EQ(browserFixture.list->Rows(nullptr).size(), 0u);
  const ui::MainListItem rootItem = root->Item();
  EXPECT_EQ(browserFixture.list->Rows(&rootItem).size(), 5u);
  ASSERT_EQ(CopyHostRows().size(), 1u);
  EXPECT_EQ(CopyHostRows()[0].lockIcon, GetParam());

  // A file row is the queue's record of it, never in the queue.
  const FTPItem* top = Find(root, "top.txt");
  ASSERT_TRUE(top && top->file && top->file->record);
  auto& record = *static_cast<queue::DownloadQueueWrapper*>(top->file->record.get());
  EXPECT_EQ(record.hostUID(), root->ftpHostID());
  EXPECT_EQ(record.fileSize(), 3);
  EXPECT_EQ(record.status(), queue::kStatusOnHold);
  EXPECT_FALSE(queue::LookUpDownloadWrapper(record.uid()) == top->file->record);

  // Rename in place: the file, its URL and its record follow the server.
  root->renameItem(*top, "renamed.txt");
  ASSERT_TRUE(RunUntil([&] { return Find(root, "renamed.txt") != nullptr; })) << root->log();
  EXPECT_TRUE(std::filesystem::exists(Home("renamed.txt")));
  EXPECT_FALSE(std::filesystem::exists(Home("top.txt")));
  EXPECT_EQ(record.filename(), "renamed.txt");
  EXPECT_TRUE(record.url()->ends_with("/renamed.txt")) << *record.url();

  // Open a folder, move its file into another folder.
  FTPNodeRef sub = Find(root, "sub")->node;
  sub->open();
  ASSERT_TRUE(RunUntil([&] { return Listed(sub); }));
  EXPECT_EQ(Names(sub), (std::set<std::string>{"inner.bin"}));
  FTPNodeRef dest = Find(root, "dest")->node;
  sub->moveItem(*Find(sub, "inner.bin"), dest);
  ASSERT_TRUE(RunUntil([&] { return Names(sub).empty(); })) << root->log();
  EXPECT_TRUE(std::filesystem::exists(Home("dest/inner.bin")));
  EXPECT_FALSE(std::filesystem::exists(Home("sub/inner.bin")));
  // Moving a folder into itself sends nothing.
  root->moveItem(*Find(root, "sub"), sub);

  // A recursive delete empties the folder on the server, then removes it.
  FTPNodeRef doomed = Find(root, "doomed")->node;
  doomed->deleteFromServer();
  ASSERT_TRUE(RunUntil([&] { return !Find(root, "doomed"); }, 20s)) << root->log();
  EXPECT_FALSE(std::filesystem::exists(Home("doomed")));
  EXPECT_TRUE(std::filesystem::exists(Home("dest")));

  EXPECT_TRUE(browserFixture.ui->alerts.empty()) << browserFixture.ui->alerts[0].message;

  // A name that could walk out of the folder is refused, with the file-name alert, before
  // anything is sent.
  root->renameItem(*Find(root, "renamed.txt"), "..");
  EXPECT_TRUE(RunUntil([&] { return !root->busy(); }));
  EXPECT_TRUE(std::filesystem::exists(Home("renamed.txt")));
  ASSERT_EQ(browserFixture.ui->alerts.size(), 1u);

  // An upload into a folder goes to the uploads with this connection's login.
  std::vector<std::pair<std::string, FTPUploadTarget>> uploads;
  FTPUploadHooksSlot::Get().uploadAliasToFTPNode = [&](const std::string& path, const FTPUploadTarget& t) {
    uploads.emplace_back(path, t);
    return true;
  };
  EXPECT_TRUE(root->uploadToPath(sub->path(), "/tmp/local.bin"));
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].second.path, "%2F" + sub->path()) << "the tree's paths start at the server's root";
  EXPECT_EQ(uploads[0].second.host, "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_EQ(uploads[0].second.user, server.User());
  EXPECT_EQ(uploads[0].second.secure, GetParam());

  // Disconnecting takes the host, the root and its rows.
  FTPNodeDisconnect(sub);
  EXPECT_EQ(GetHostCount(), 0u);
  EXPECT_EQ(FTPNodeForHostID(root->ftpHostID()), nullptr);
}

// A finished upload lists again the open folder it went to, on its own server and host type
// only; a path past what the tree shows changes nothing.
TEST_P(FTPBrowserVsftpdTest, AFinishedUploadListsItsFolderAgain) {
  server.MakeFolder("incoming");
  server.MakeFolder("closed");
  FTPNodeRef root = Connect();
  ASSERT_TRUE(root);
  FTPNodeRef incoming = Find(root, "incoming")->node;
  incoming->open();
  ASSERT_TRUE(RunUntil([&] { return Listed(incoming); }));
  EXPECT_TRUE(Names(incoming).empty());
  // As an upload leaves it on the server.
  server.PutFile("incoming/arrived.bin", "arrived");
  const std::string host = "127.0.0.1:" + std::to_string(server.Port());
  const std::int32_t type = GetParam() ? 4 : 1;
  const std::int32_t otherFTPType = GetParam() ? 1 : 4;
  struct Case {
    const char* what;
    std::int32_t type;
    std::string host, path;
    int refreshed;
  };
  const Case cases[] = {
      {"a WebDAV upload", 6, host, "/" + incoming->path(), 0},
      {"the other FTP host type", otherFTPType, host, "/" + incoming->path(), 0},
      {"another server", type, "127.0.0.2:" + std::to_string(server.Port()), "/" + incoming->path(), 0},
      {"a folder shown but never opened", type, host, "/" + root->path() + "/closed", 1},
      {"a folder not on the server", type, host, "/" + root->path() + "/missing/deeper", 0},
      {"its folder, as the browser writes it", type, (GetParam() ? "ftps://" : "ftp://") + host,
       "%2F" + incoming->path() + "/", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RefreshBrowsersAfterUpload(c.type, c.host, c.path), c.refreshed);
  }
  EXPECT_TRUE(RunUntil([&] { return Names(incoming) == std::set<std::string>{"arrived.bin"}; }))
      << root->log();
}

TEST(FTPBrowserUploadRefresh, PathsAreComparedByComponents) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"/", {""}},
      {"", {""}},
      {"%2F", {""}},
      {"/a/b/", {"", "a", "b"}},
      {"a/b", {"", "a", "b"}},
      {"%2fsrv/ftp", {"", "srv", "ftp"}},
      {"/a//b", {"", "a", "", "b"}},
  };
  for (const auto& [path, components] : cases) EXPECT_EQ(UploadPathComponents(path), components) << path;
}

TEST_P(FTPBrowserVsftpdTest, ARefusedRenameChangesNothingAndSaysWhy) {
  server.PutFile("stays.txt", "s");
  FTPNodeRef root = Connect();
  ASSERT_TRUE(root);
  // The server refuses: no such file any more.
  std::filesystem::remove(Home("stays.txt"));
  root->renameItem(*Find(root, "stays.txt"), "moved.txt");
  ASSERT_TRUE(RunUntil([&] { return !browserFixture.ui->alerts.empty(); })) << root->log();
  // The paths as the server was asked: from its root.
  const std::string folder = "/" + root->path();
  EXPECT_EQ(browserFixture.ui->alerts[0].message,
            "The item " + folder + "/stays.txt could not be renamed to " + folder + "/moved.txt.");
  EXPECT_TRUE(Find(root, "stays.txt"));
}

TEST_P(FTPBrowserVsftpdTest, ALargeListingFillsWhileTheLoopKeepsRunning) {
  server.MakeFolder("many");
  constexpr int kEntries = 10000;
  for (int i = 0; i < kEntries; ++i) std::ofstream(Home("many/file" + std::to_string(i) + ".dat")) << i;
  FTPNodeRef root = Connect();
  ASSERT_TRUE(root);
  FTPNodeRef many = Find(root, "many")->node;
  // A timer on the same loop: it fires between the pieces of the listing, so the loop was
  // never held for the whole of it.
  int ticks = 0;
  bool listingStarted = false;
  auto timer = runtime::Timer::Create(runtime::Nanoseconds(0), std::chrono::milliseconds(1),
                                      [&](runtime::Timer&) { ticks += listingStarted ? 1 : 0; });
  runtime::RunLoop::Current()->AddTimer(timer);
  many->open();
  listingStarted = true;
  ASSERT_TRUE(RunUntil([&] { return Listed(many); }, 60s));
  timer->Invalidate();
  EXPECT_EQ(many->items()->size(), static_cast<std::size_t>(kEntries));
  const ui::MainListItem item = many->Item();
  EXPECT_EQ(browserFixture.list->Rows(&item).size(), static_cast<std::size_t>(kEntries));
  EXPECT_GT(ticks, 1);
}

// What the main window and the queue's commands do to the rows, through the services.
TEST_P(FTPBrowserVsftpdTest, TheWindowsCallsAndTheQueuesCommandsActOnTheServer) {
  server.MakeFolder("inbox");
  server.PutFile("drop.txt", "d");
  server.PutFile("gone.txt", "g");
  FTPNodeRef root = Connect();
  ASSERT_TRUE(root);
  auto& remote = RemoteRowsServiceSlot::Get();
  FTPNodeRef inbox = Find(root, "inbox")->node;

  remote.OpenFTPNode(inbox->Row());
  ASSERT_TRUE(RunUntil([&] { return Listed(inbox); }));
  EXPECT_TRUE(inbox->wasOpen());
  // A file's row dropped onto a folder.
  ASSERT_TRUE(remote.MoveFTPItem(Find(root, "drop.txt")->file->record, false, inbox->Row()));
  ASSERT_TRUE(RunUntil([&] { return Find(inbox, "drop.txt") != nullptr; })) << root->log();
  EXPECT_TRUE(std::filesystem::exists(Home("inbox/drop.txt")));
  const ui::MainListItem inboxItem = inbox->Item();
  EXPECT_EQ(browserFixture.list->Rows(&inboxItem).size(), 1u);
  EXPECT_NE(remote.FTPNodeLog(inbox->Row()).find("RNTO"), std::string::npos);

  // The queue's Remove in the host's view, confirmed: the file goes from the server.
  queue::DisplayViews({kFirstHostViewID});
  ASSERT_TRUE(queue::IsDisplayingRemoteHost());
  browserFixture.list->selected = {
      ui::MainListItem{ui::RowKind::kDownload, Find(root, "gone.txt")->file->record}};
  fakes::ScopedConfirmations confirm;
  confirm->answers = {3};
  queue::RemoveSelectedItems(true);
  ASSERT_EQ(confirm->asked.size(), 1u);
  EXPECT_EQ(confirm->asked[0].first, 4);
  ASSERT_TRUE(RunUntil([&] { return !Find(root, "gone.txt"); })) << root->log();
  EXPECT_FALSE(std::filesystem::exists(Home("gone.txt")));
  // Unconfirmed, nothing goes.
  browserFixture.list->selected = {inboxItem};
  queue::RemoveSelectedItems(true);
  EXPECT_TRUE(RunUntil([&] { return !root->busy(); }));
  EXPECT_TRUE(std::filesystem::exists(Home("inbox")));
  queue::ClearDisplayedViews();
}

INSTANTIATE_TEST_SUITE_P(PlainAndExplicitTls, FTPBrowserVsftpdTest, ::testing::Values(false, true),
                         [](const auto& info) {
                           return info.param ? std::string("FTPS") : std::string("FTP");
                         });

class AcceptingTrustPanel : public engine::TrustPanel {
 public:
  Answer RunModal(const net::CertificateChain& certificates, const std::string& message) override {
    asked.push_back(message);
    chainLength = certificates.size();
    return {accept, false};
  }
  bool accept = true;
  std::vector<std::string> asked;
  std::size_t chainLength = 0;
};

// An FTPS server whose certificate nobody trusts: the question is asked once with its
// chain; accepted, the tree connects again and lists; refused, the host goes.
TEST(FTPBrowserCertificateTest, AnUntrustedServerIsAskedAbout) {
  for (bool accept : {true, false}) {
    testservers::VsftpdServer server;
    ASSERT_TRUE(server.ok());
    server.PutFile("secret.txt", "s");
    BrowserFixture fixture;
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    auto panel = std::make_unique<AcceptingTrustPanel>();
    AcceptingTrustPanel* trust = panel.get();
    trust->accept = accept;
    engine::TrustPanelSlot::Set(std::move(panel));
    FTPNodeRef root = ConnectFTPServer("127.0.0.1:" + std::to_string(server.Port()), server.User(),
                                       server.Password(), std::nullopt, true);
    ASSERT_TRUE(root);
    if (accept) {
      ASSERT_TRUE(RunUntil([&] { return Listed(root) && Find(root, "secret.txt"); })) << root->log();
      EXPECT_EQ(GetHostCount(), 1u);
    } else {
      ASSERT_TRUE(RunUntil([&] { return GetHostCount() == 0; }));
      EXPECT_EQ(FTPNodeForHostID(root->ftpHostID()), nullptr);
    }
    EXPECT_EQ(trust->asked.size(), 1u);
    EXPECT_GE(trust->chainLength, 1u);
    engine::TrustPanelSlot::Set(nullptr);
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
  }
}

TEST(FTPBrowserScriptedTest, AConnectionLostInTheMiddleOfAListingIsRepaired) {
  testservers::ScriptedFtpServer server("list-drop");
  ASSERT_TRUE(server.ok());
  BrowserFixture fixture;
  fixture.Trust("");
  FTPNodeRef root =
      ConnectFTPServer("127.0.0.1:" + std::to_string(server.Port()) + "/pub", "u", "p", std::nullopt, false);
  ASSERT_TRUE(root);
  ASSERT_TRUE(RunUntil([&] { return Listed(root); })) << root->log();
  // The whole listing of the second connection, not the two lines of the first.
  EXPECT_EQ(Names(root), (std::set<std::string>{"folder one", "alpha.bin", "beta.txt", "up", "gamma.txt"}));
  EXPECT_TRUE(Find(root, "up")->node->isLink());
  EXPECT_TRUE(fixture.ui->alerts.empty()) << fixture.ui->alerts[0].message;
  EXPECT_FALSE(CopyHostRows()[0].disabled);
  int logins = 0;
  for (const auto& c : server.Commands()) logins += c.starts_with("USER") ? 1 : 0;
  EXPECT_EQ(logins, 2);
}

TEST(FTPBrowserScriptedTest, AServerThatAlwaysDropsIsNotReconnectedToForever) {
  testservers::ScriptedFtpServer server("list-drop-always");
  ASSERT_TRUE(server.ok());
  BrowserFixture fixture;
  fixture.Trust("");
  FTPNodeRef root =
      ConnectFTPServer("127.0.0.1:" + std::to_string(server.Port()) + "/pub", "u", "p", std::nullopt, false);
  ASSERT_TRUE(root);
  // Given up after the last repair: the listing delivers what it had.
  ASSERT_TRUE(RunUntil([&] { return Listed(root); })) << root->log();
  int logins = 0;
  for (const auto& c : server.Commands()) logins += c.starts_with("USER") ? 1 : 0;
  EXPECT_EQ(logins, 1 + kMaxFTPRepairs);
  EXPECT_EQ(Names(root), (std::set<std::string>{"folder one", "alpha.bin"}));
  EXPECT_TRUE(CopyHostRows()[0].disabled);
}

TEST(FTPBrowserScriptedTest, ARefusedLoginDisconnectsWithTheServersText) {
  testservers::ScriptedFtpServer server("login-530");
  ASSERT_TRUE(server.ok());
  BrowserFixture fixture;
  fixture.Trust("");
  FTPNodeRef root =
      ConnectFTPServer("127.0.0.1:" + std::to_string(server.Port()), "u", "wrong", std::nullopt, false);
  ASSERT_TRUE(root);
  ASSERT_TRUE(RunUntil([&] { return !fixture.ui->alerts.empty(); }));
  EXPECT_EQ(fixture.ui->alerts[0].message, "The connection to the FTP server ftp://127.0.0.1:" +
                                               std::to_string(server.Port()) + "/ has failed.");
  EXPECT_EQ(
      fixture.ui->alerts[0].explanation,
      std::optional<std::string>("The server did not accept the supplied login information. The message "
                                 "from the server was: 530 login incorrect"));
  EXPECT_EQ(GetHostCount(), 0u);
}

// A remote file downloaded through the real queue and engine.
class FTPBrowserDownloadTest : public queue::testing_support::DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    ASSERT_TRUE(server.ok());
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    engine::DownloadRunOptions o;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) {
      std::lock_guard lock(mutex);
      events.push_back(e);
      cv.notify_all();
    };
    engine::InstallDownloadEngine(std::move(o));
  }
  void TearDown() override {
    for (int i = 0; i < 10000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
    DownloadTest::TearDown();
  }

  testservers::VsftpdServer server;
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<runtime::EventRef> events;
};

TEST_F(FTPBrowserDownloadTest, ARemoteFileDownloadsByteExact) {
  const std::string content = testsupport::RandomBytes(300 * 1024 + 13, 7);
  server.PutFile("payload.bin", content);
  BrowserFixture fixture;
  fixture.Trust(server.Identity().certificate_pem);
  FTPNodeRef root = ConnectFTPServer("127.0.0.1:" + std::to_string(server.Port()), server.User(),
                                     server.Password(), std::nullopt, false);
  ASSERT_TRUE(root);
  ASSERT_TRUE(RunUntil([&] { return Listed(root); })) << root->log();
  const FTPItem* file = Find(root, "payload.bin");
  ASSERT_TRUE(file && file->file);

  const std::string destination = testsupport::MakeTempDir("remote-download");
  auto& remote = RemoteRowsServiceSlot::Get();
  ASSERT_TRUE(remote.DownloadRemoteFileTo(file->file->record, destination));
  ASSERT_EQ(queue::gQueueItems.size(), 1u);
  queue::WrapperRef w = queue::gQueueItems.begin()->second;
  EXPECT_TRUE(w->element().useAuth);
  EXPECT_EQ(w->element().authUser, server.User());
  ASSERT_EQ(queue::StartDownload(w), 0);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, 30s, [&] {
      return !events.empty() && events.back()->kind() == engine::kDownloadEventFinished;
    }));
  }
  std::vector<runtime::EventRef> got;
  {
    std::lock_guard lock(mutex);
    got = events;
  }
  for (const auto& e : got) queue::HandleDownloadThreadEvent(*e);
  EXPECT_EQ(w->status(), queue::kStatusCompleted);
  EXPECT_TRUE(testsupport::ReadFile(destination + "/payload.bin") == content);
}

TEST_F(FTPBrowserDownloadTest, AFolderTreeIsQueuedIntoOneLocalFolderWithItsSubFolders) {
  server.MakeFolder("tree");
  server.PutFile("tree/a.txt", "a");
  server.PutFile("tree/.hidden", "h");
  server.MakeFolder("tree/sub");
  server.PutFile("tree/sub/b.txt", "b");
  util::SettingsPreferences().Set("hideHiddenFiles", values::Value(true));
  BrowserFixture fixture;
  fixture.Trust(server.Identity().certificate_pem);
  FTPNodeRef root = ConnectFTPServer("127.0.0.1:" + std::to_string(server.Port()), server.User(),
                                     server.Password(), std::nullopt, false);
  ASSERT_TRUE(root);
  ASSERT_TRUE(RunUntil([&] { return Listed(root); })) << root->log();
  const std::string destination = testsupport::MakeTempDir("tree-download");
  ASSERT_TRUE(RemoteRowsServiceSlot::Get().DownloadFTPNodeTo(Find(root, "tree")->node->Row(), destination));
  ASSERT_TRUE(RunUntil([&] { return queue::gQueueItems.size() == 2; })) << root->log();
  EXPECT_TRUE(std::filesystem::is_directory(destination + "/tree"));
  std::map<std::string, std::optional<std::string>> placed;
  for (const auto& [uid, w] : queue::gQueueItems) placed[*w->url()] = w->relativeLocation();
  const std::string base =
      "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/%2F" + root->path() + "/tree/";
  EXPECT_EQ(placed, (std::map<std::string, std::optional<std::string>>{{base + "a.txt", std::nullopt},
                                                                       {base + "sub/b.txt", "sub"}}));
  util::SettingsPreferences().Set("hideHiddenFiles", values::Value(false));
}

}  // namespace
}  // namespace browser
