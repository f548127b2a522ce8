// The online-disk and WebDAV browser tree against lighttpd's mod_webdav on loopback:
// connecting from a favourite, listing, every change checked in the server's folder, a
// folder tree downloaded through the real queue and engine, the online disk's member and
// public folders; and against a scripted connection, listings that name what no folder
// holds.

#include "app/browser/webdav/dotmac_node.h"

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
#include "app/browser/hosts/host_list.h"
#include "app/browser/remote_browser.h"
#include "app/browser/webdav/online_disk.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/task/download_task.h"
#include "app/queue/adding/remote_files.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/download_events.h"
#include "app/queue/record/queue_tables.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/run_loop.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/fake_main_list_browser.h"
#include "tests/fakes/fake_ui_services.h"
#include "tests/servers/dav_test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace browser {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testservers::LighttpdDavServer;

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  auto loop = runtime::RunLoop::Current();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    loop->RunFor(std::chrono::milliseconds(20), true);
  }
  return true;
}

std::set<std::string> Names(const DotMacNodeRef& node) {
  std::set<std::string> out;
  if (node && node->items())
    for (const auto& child : *node->items()) out.insert(child->name());
  return out;
}

DotMacNodeRef Find(const DotMacNodeRef& node, const std::string& name) {
  if (!node || !node->items()) return nullptr;
  for (const auto& child : *node->items())
    if (child->name() == name) return child;
  return nullptr;
}

bool Listed(const DotMacNodeRef& node) {
  return node && node->items() && !node->isRefreshing();
}
bool Idle(const DotMacNodeRef& root) {
  return root && root->connection()->transactions().empty();
}

void Write(const std::string& path, const std::string& text) {
  testsupport::WriteFile(path, text);
}

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
    RemoteRowsServiceSlot::Set(nullptr);
    queue::RemoteFilesServiceSlot::Set(nullptr);
    ui::UiServicesSlot::Set(nullptr);
    ui::MainListBrowserSlot::Set(nullptr);
    runtime::RunLoop::Current()->RunFor(std::chrono::milliseconds(0));
  }
  fakes::FakeMainListBrowser* list = nullptr;
  fakes::FakeUiServices* ui = nullptr;
};

TEST(DotMacNodeWebDAV, AFavouriteConnectsListsAndEveryChangeReachesTheServer) {
  LighttpdDavServer server(LighttpdDavServer::Auth::kDigest);
  ASSERT_TRUE(server.ok());
  const std::string dav = server.DavDir();
  Write(dav + "/docs/a file.txt", "alpha");
  Write(dav + "/docs/.hidden", "h");
  Write(dav + "/docs/sub/inner.txt", "inner");
  fs::create_directories(dav + "/docs/target");
  BrowserFixture fixture;
  auto favourite = AddFavourite("My DAV", "http://" + server.HostPort() + "/docs", LighttpdDavServer::kUser,
                                LighttpdDavServer::kPassword, kHostWebDAV, "");
  ASSERT_TRUE(favourite);
  ASSERT_TRUE(FavouriteConnect(favourite, true));
  ASSERT_EQ(GetHostCount(), 1u);
  const HostRef host = GetHostAtIndex(0);
  EXPECT_EQ(host->type, kHostWebDAV);
  DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(host->dotMacHostID);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->name(), "My DAV");
  EXPECT_EQ(root->path(), "/docs/");
  EXPECT_TRUE(favourite->connected());
  EXPECT_EQ(host->dotMacHostID & 0xC0000000u, 0xC0000000u);
  ASSERT_TRUE(RunUntil([&] { return Listed(root); }));
  EXPECT_EQ(Names(root), (std::set<std::string>{"a file.txt", ".hidden", "sub", "target"}));
  auto file = Find(root, "a file.txt");
  EXPECT_FALSE(file->isDirectory());
  EXPECT_EQ(file->contentLength(), 5);
  EXPECT_EQ(file->path(), "/docs/a file.txt");
  EXPECT_EQ(Find(root, "sub")->path(), "/docs/sub/");
  EXPECT_EQ(file->downloadURLString(), "http://" + server.HostPort() + "/docs/a%20file.txt");
  EXPECT_FALSE(RemoteRowsServiceSlot::Get().CopyHostRows().empty());

  root->createFolder("made here");
  ASSERT_TRUE(RunUntil([&] { return Idle(root) && Find(root, "made here"); }));
  EXPECT_TRUE(fs::is_directory(dav + "/docs/made here"));

  file->renameTo("renamed.txt");
  ASSERT_TRUE(RunUntil([&] { return Idle(root); }));
  EXPECT_EQ(file->name(), "renamed.txt");
  EXPECT_EQ(file->path(), "/docs/renamed.txt");
  EXPECT_TRUE(fs::exists(dav + "/docs/renamed.txt"));

  auto target = Find(root, "target");
  file->copyTo(target);
  ASSERT_TRUE(RunUntil([&] { return Idle(root); }));
  EXPECT_EQ(testsupport::ReadFile(dav + "/docs/target/renamed.txt"), "alpha");
  // Onto an item that is there: refused, nothing replaced, one alert.
  Write(dav + "/docs/sub/renamed.txt", "keep");
  auto sub = Find(root, "sub");
  file->moveTo(sub);
  ASSERT_TRUE(RunUntil([&] { return Idle(root); }));
  EXPECT_EQ(testsupport::ReadFile(dav + "/docs/sub/renamed.txt"), "keep");
  ASSERT_EQ(fixture.ui->alerts.size(), 1u);
  EXPECT_EQ(fixture.ui->alerts[0].message, "The item renamed.txt could not be moved to /docs/sub/.");
  EXPECT_EQ(file->parent(), root);

  auto made = Find(root, "made here");
  file->moveTo(made);
  ASSERT_TRUE(RunUntil([&] { return Idle(root); }));
  EXPECT_FALSE(fs::exists(dav + "/docs/renamed.txt"));
  EXPECT_EQ(testsupport::ReadFile(dav + "/docs/made here/renamed.txt"), "alpha");
  EXPECT_EQ(file->parent(), made);
  EXPECT_EQ(file->path(), "/docs/made here/renamed.txt");

  // A folder into its own subtree, the root renamed or deleted: nothing is sent.
  sub->moveTo(sub);
  root->renameTo("other");
  root->deleteNode();
  EXPECT_TRUE(root->connection()->transactions().empty());

  sub->deleteNode();
  ASSERT_TRUE(RunUntil([&] { return Idle(root); }));
  EXPECT_FALSE(fs::exists(dav + "/docs/sub"));
  EXPECT_EQ(Find(root, "sub"), nullptr);

  // The saved server's disconnect ('DFa!') closes the tree.
  RemoteRowsServiceSlot::Get().DisconnectFavourite("My DAV");
  EXPECT_EQ(GetHostCount(), 0u);
  EXPECT_FALSE(favourite->connected());
  EXPECT_EQ(DotMacNode::dotMacNodeForDotMacHostID(host->dotMacHostID), nullptr);
}

TEST(DotMacNodeWebDAV, AFailedRootListingAlertsAndDisconnects) {
  LighttpdDavServer server(LighttpdDavServer::Auth::kBasic);
  ASSERT_TRUE(server.ok());
  BrowserFixture fixture;
  struct Case {
    std::string password, path, explanation;
  };
  const std::vector<Case> cases = {
      {"wrong", "/", "The server did not accept the supplied login information. "},
      {LighttpdDavServer::kPassword, "/missing", "The folder /missing/ does not exist on the iDisk."},
  };
  for (const auto& c : cases) {
    fixture.ui->alerts.clear();
    DotMacNodeRef root =
        DotMacNode::connectToWebDAVServer("http://" + server.HostPort() + "/", LighttpdDavServer::kUser,
                                          c.password, c.path, std::nullopt, false);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name(), server.HostPort()) << "named after the host without a favourite";
    ASSERT_TRUE(RunUntil([&] { return GetHostCount() == 0; }));
    ASSERT_EQ(fixture.ui->alerts.size(), 1u);
    EXPECT_EQ(fixture.ui->alerts[0].message, "The connection to " + server.HostPort() + " has failed.");
    EXPECT_EQ(fixture.ui->alerts[0].explanation, std::optional<std::string>(c.explanation));
  }
}

// The online disk: a WebDAV server at the configured service address, the member's disk
// at /member/ and the public one at /member-Public/, read without a password.
TEST(DotMacNodeOnlineDisk, TheMemberAndPublicFoldersOpenAtTheService) {
  LighttpdDavServer server(LighttpdDavServer::Auth::kDigest, nullptr, "/member-Public");
  ASSERT_TRUE(server.ok());
  Write(server.DavDir() + "/member/Documents/letter.txt", "dear");
  Write(server.DavDir() + "/member-Public/shared.txt", "shared");
  BrowserFixture fixture;
  util::SettingsPreferences().Set(util::kOnlineDiskServiceKey.name,
                                  values::Value("http://" + server.HostPort()));

  auto favourite = AddFavourite("Disk", "member", "member", LighttpdDavServer::kPassword, kHostIDisk, "");
  ASSERT_TRUE(FavouriteConnect(favourite, true));
  ASSERT_EQ(GetHostCount(), 1u);
  EXPECT_EQ(GetHostAtIndex(0)->type, kHostIDisk);
  DotMacNodeRef disk = DotMacNode::dotMacNodeForDotMacHostID(GetHostAtIndex(0)->dotMacHostID);
  ASSERT_TRUE(disk);
  ASSERT_TRUE(RunUntil([&] { return Listed(disk); }));
  EXPECT_EQ(Names(disk), (std::set<std::string>{"Documents"}));
  EXPECT_EQ(disk->iDiskMemberName(), "member");
  EXPECT_FALSE(disk->isPublic());
  EXPECT_EQ(Find(disk, "Documents")->downloadURLString(),
            "http://" + server.HostPort() + "/member/Documents/");

  DotMacNodeRef open = DotMacNode::connectToIdisk("member-Public", "public", "", "/", std::nullopt);
  ASSERT_TRUE(open);
  EXPECT_TRUE(open->isPublic());
  ASSERT_TRUE(RunUntil([&] { return Listed(open); }));
  EXPECT_EQ(Names(open), (std::set<std::string>{"shared.txt"}));
  // Changes to a public disk need the member: refused, one alert.
  open->createFolder("new");
  ASSERT_TRUE(RunUntil([&] { return Idle(open); })) << [&] {
    std::string all;
    for (const auto& line : server.Requests()) all += line + "\n";
    return all;
  }();
  EXPECT_FALSE(fs::exists(server.DavDir() + "/member-Public/new"));
  ASSERT_EQ(fixture.ui->alerts.size(), 1u);
  EXPECT_EQ(fixture.ui->alerts[0].message,
            "The folder new could not be created on the member-Public's iDisk.");

  EXPECT_EQ(DotMacNode::connectToIdisk("", "u", "p", "/", std::nullopt), nullptr);
  util::SettingsPreferences().Set(util::kOnlineDiskServiceKey.name, values::Value());
}

// A connection whose listing is scripted: what a server says lies in a folder.
class ScriptedTransaction : public TRDotMacTransaction {
 public:
  explicit ScriptedTransaction(std::vector<DMListingEntry> entries) : result_(std::move(entries)) {}
  void abort() override {}
  std::string transactionID() const override { return id; }
  int errorType() const override { return kDMErrorNone; }
  int httpStatusCode() const override { return 207; }
  const std::optional<std::vector<DMListingEntry>>& result() const override { return result_; }
  std::string id = "scripted-" + std::to_string(reinterpret_cast<std::uintptr_t>(this));

 private:
  std::optional<std::vector<DMListingEntry>> result_;
};

class ScriptedConnection : public TRDotMacNodeConnection {
 public:
  std::string user() const override { return "u"; }
  std::string password() const override { return "p"; }
  std::string iDiskName() const override { return "scripted.example"; }
  std::string type() const override { return "webdav"; }
  bool secure() const override { return false; }
  std::string host() const override { return "scripted.example"; }
  std::string urlForPath(const std::string& path) const override { return "http://scripted.example" + path; }
  TRDotMacTransactionRef listCollectionAtPath(const std::string& path) override {
    listed.push_back(path);
    auto t = std::make_shared<ScriptedTransaction>(entries[path]);
    pending.push_back(t);
    return t;
  }
  TRDotMacTransactionRef makeCollectionAtPath(const std::string&) override { return nullptr; }
  TRDotMacTransactionRef deleteResourceAtPath(const std::string&) override { return nullptr; }
  TRDotMacTransactionRef moveResourceAtPath(const std::string&, const std::string&) override {
    return nullptr;
  }
  TRDotMacTransactionRef copyResourceAtPath(const std::string&, const std::string&) override {
    return nullptr;
  }
  // Answers every listing asked for so far.
  void Answer() {
    auto now = std::move(pending);
    pending.clear();
    for (const auto& t : now) transactionSuccessful(*t);
  }
  std::map<std::string, std::vector<DMListingEntry>> entries;
  std::vector<std::string> listed;
  std::vector<std::shared_ptr<ScriptedTransaction>> pending;
};

DMListingEntry Entry(const std::string& uri, bool folder) {
  DMListingEntry e;
  e.uri = uri;
  e.isCollection = folder;
  if (!folder) e.contentLength = 1;
  return e;
}

class RecordingRemoteFiles : public queue::RemoteFilesService {
 public:
  queue::RemoteHandle MakeRemoteFileRecord(const queue::RemoteFileFacts&) override { return nullptr; }
  void SetRemoteFileName(const queue::RemoteHandle&, const std::string&, const std::string&) override {}
  queue::RemoteHandle BeginDownloadGroup(const std::string& title) override {
    titles.push_back(title);
    return std::make_shared<int>(0);
  }
  std::uint32_t AddRemoteDownload(const queue::RemoteDownloadRequest& r,
                                  const queue::RemoteHandle& group) override {
    requests.push_back(r);
    groups.insert(group.get());
    return static_cast<std::uint32_t>(requests.size());
  }
  std::vector<std::string> titles;
  std::vector<queue::RemoteDownloadRequest> requests;
  std::set<void*> groups;
};

// Only direct children with a usable name become nodes: a server listing the folder's
// parent or itself, "..", or a place elsewhere would make a download go round for ever or
// write outside its folder.
TEST(DotMacNodeListing, OnlyDirectChildrenWithUsableNamesAreTaken) {
  BrowserFixture fixture;
  auto files = std::make_unique<RecordingRemoteFiles>();
  RecordingRemoteFiles* recorded = files.get();
  queue::RemoteFilesServiceSlot::Set(std::move(files));
  util::SettingsPreferences().Set("hideHiddenFiles", values::Value(true));
  auto connection = std::make_shared<ScriptedConnection>();
  connection->entries["/Top/"] = {Entry("/Top/a.txt", false),
                                  Entry("/Top/.dot", false),
                                  Entry("/", true),
                                  Entry("/Top", true),
                                  Entry("/Top/..", true),
                                  Entry("/Top/.", true),
                                  Entry("/Other/x.txt", false),
                                  Entry("/Top/Sub/deep.txt", false),
                                  Entry("/Top/Sub", true),
                                  Entry("/Top/a.txt", false)};
  connection->entries["/Top/Sub/"] = {Entry("/Top/Sub/b.txt", false), Entry("/Top/Sub/Deep", true),
                                      Entry("/Top", true)};
  connection->entries["/Top/Sub/Deep/"] = {Entry("/Top/Sub/Deep/c.txt", false)};
  auto top = DotMacNode::nodeWithName("Top", "/Top", true, nullptr, connection);
  EXPECT_EQ(top->path(), "/Top/");
  const std::string local = testsupport::MakeTempDir("dotmac-tree");
  EXPECT_EQ(top->addToDownloadQueue(local), 0xFFFFFFFFu);
  for (int round = 0; round < 5 && !connection->pending.empty(); ++round) connection->Answer();
  EXPECT_EQ(Names(top), (std::set<std::string>{"a.txt", ".dot", "Sub"}));
  EXPECT_EQ(connection->listed, (std::vector<std::string>{"/Top/", "/Top/Sub/", "/Top/Sub/Deep/"}));
  EXPECT_TRUE(fs::is_directory(local + "/Top"));
  std::map<std::string, std::optional<std::string>> placed;
  for (const auto& r : recorded->requests) {
    EXPECT_EQ(r.destinationFolder, local + "/Top");
    EXPECT_TRUE(r.useAuth);
    placed[r.url] = r.relativeLocation;
  }
  EXPECT_EQ(placed, (std::map<std::string, std::optional<std::string>>{
                        {"http://scripted.example/Top/a.txt", std::nullopt},
                        {"http://scripted.example/Top/Sub/b.txt", "Sub/"},
                        {"http://scripted.example/Top/Sub/Deep/c.txt", "Sub/Deep/"}}));
  EXPECT_EQ(recorded->titles, (std::vector<std::string>{"Add %d Downloads from iDisk"}));
  EXPECT_EQ(recorded->groups.size(), 1u);
  util::SettingsPreferences().Set("hideHiddenFiles", values::Value(false));
}

// A folder tree of a WebDAV server downloaded through the real queue and engine.
class DotMacDownloadTest : public queue::testing_support::DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
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
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<runtime::EventRef> events;
};

TEST_F(DotMacDownloadTest, AFolderTreeArrivesByteExact) {
  LighttpdDavServer server(LighttpdDavServer::Auth::kDigest);
  ASSERT_TRUE(server.ok());
  const std::map<std::string, std::string> tree = {{"Top/a.bin", testsupport::RandomBytes(120000, 1)},
                                                   {"Top/Sub/b.bin", testsupport::RandomBytes(5000, 2)},
                                                   {"Top/Sub/Deep/c d.txt", "deep"}};
  for (const auto& [path, content] : tree) Write(server.DavDir() + "/" + path, content);
  BrowserFixture fixture;
  DotMacNodeRef root = DotMacNode::connectToWebDAVServer(
      server.HostPort(), LighttpdDavServer::kUser, LighttpdDavServer::kPassword, "/", std::nullopt, false);
  ASSERT_TRUE(root);
  ASSERT_TRUE(RunUntil([&] { return Listed(root); }));
  auto top = Find(root, "Top");
  ASSERT_TRUE(top);
  const std::string destination = testsupport::MakeTempDir("dav-tree");
  ASSERT_TRUE(RemoteRowsServiceSlot::Get().DownloadDotMacNodeTo(top, destination));
  ASSERT_TRUE(RunUntil([&] { return queue::gQueueItems.size() == tree.size() && Idle(root); }));
  std::vector<queue::WrapperRef> queued;
  for (const auto& [uid, w] : queue::gQueueItems) queued.push_back(w);
  for (const auto& w : queued) {
    EXPECT_TRUE(w->element().useAuth);
    ASSERT_EQ(queue::StartDownload(w), 0);
  }
  std::size_t finished = 0;
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, 60s, [&] {
      finished = 0;
      for (const auto& e : events) finished += e->kind() == engine::kDownloadEventFinished;
      return finished == tree.size();
    }));
  }
  std::vector<runtime::EventRef> got;
  {
    std::lock_guard lock(mutex);
    got = events;
  }
  for (const auto& e : got) queue::HandleDownloadThreadEvent(*e);
  for (const auto& w : queued) EXPECT_EQ(w->status(), queue::kStatusCompleted) << *w->url();
  for (const auto& [path, content] : tree)
    EXPECT_TRUE(testsupport::ReadFile(destination + "/" + path) == content) << path;
}

}  // namespace
}  // namespace browser
