// The main list: column layouts saved and restored, the column chooser, cells of the row
// kinds, the sort rules, filling from the displayed views, and a picture of a list of
// downloads in every state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/list_item_data.h"
#include "app/ui/main_list/list_sorting.h"
#include "app/ui/main_list/main_list.h"
#include "platform/toolbox/app/application.h"
#include "platform/values/clock.h"
#include "platform/values/date_time.h"
#include "tests/fakes/fake_list_rows.h"

namespace ui {
namespace {

using queue::FolderColumnOptions;

FolderColumnOptions Layout(std::initializer_list<std::uint32_t> props,
                           std::initializer_list<std::uint16_t> sizes = {}) {
  FolderColumnOptions o;
  std::size_t i = 0;
  for (auto p : props) o.props[i++] = p;
  i = 0;
  for (auto s : sizes) o.sizes[i++] = s;
  return o;
}

std::vector<std::uint32_t> Props(const FolderColumnOptions& o) {
  std::vector<std::uint32_t> out;
  for (auto p : o.props)
    if (p) out.push_back(p);
  return out;
}

TEST(ColumnLayout, SaveDropsTheLeadingWindowColumnsOnly) {
  struct Case {
    std::vector<std::uint32_t> columns;
    std::vector<std::uint32_t> saved;
  } cases[] = {
      {{kColFile, kColPriority, kColName, kColSize}, {kColName, kColSize}},
      {{kColPriority, kColName}, {kColName}},
      {{kColName, kColFile}, {kColName, kColFile}},
  };
  for (const auto& c : cases) {
    toolbox::ListView list;
    for (auto p : c.columns) AddColumn(list, p);
    // The makers put 1038 and 1039 in front; moved, they stay where the user put them.
    for (std::size_t i = 0; i < c.columns.size(); ++i) list.MoveColumn(c.columns[i], static_cast<int>(i));
    ASSERT_EQ(list.Columns(), c.columns);
    FolderColumnOptions o;
    SaveColumnLayout(list, o);
    EXPECT_EQ(Props(o), c.saved);
  }
  toolbox::ListView empty;
  FolderColumnOptions untouched = Layout({kColURL}, {77});
  SaveColumnLayout(empty, untouched);
  EXPECT_EQ(untouched, Layout({kColURL}, {77}));
}

TEST(ColumnLayout, RestoreAddsUpToTheFirstZeroAndAtMostSixteen) {
  FolderColumnOptions full = Layout(
      {1025, 1026, 1027, 1028, 1029, 1031, 1032, 1033, 1034, 1035, 1036, 1037, 1040, 1041, 1042, 1043});
  toolbox::ListView a;
  RestoreColumnLayout(a, full, 1, 1);
  EXPECT_EQ(a.Columns().size(), 16u);
  FolderColumnOptions gap = Layout({1025, 1026, 1027, 1028, 0, 1032});
  toolbox::ListView b;
  RestoreColumnLayout(b, gap, 1, 1);
  EXPECT_EQ(b.Columns().size(), 4u);
}

TEST(ColumnLayout, SavedSortAndOrderFallBack) {
  struct Case {
    std::uint32_t index;
    std::uint32_t property;
  } cases[] = {{0, kColName},
               {6, kColName},
               {14, kColName},
               {15, kColName},
               {1028, kColName},
               {3, kColSize},
               {7001, kColDateModified},
               {10000, kColQueueCheck},
               {10001, kColQueuePosition},
               {99999, kColName}};
  for (const auto& c : cases) {
    toolbox::ListView list;
    RestoreColumnLayout(list, Layout({1025, 1027}), c.index, 2);
    EXPECT_EQ(list.SortProperty(), c.property) << c.index;
    EXPECT_EQ(list.SortOrder(), toolbox::ListSortOrder::kDecreasing);
  }
  toolbox::ListView list;
  RestoreColumnLayout(list, Layout({1025}), 1, 7);
  EXPECT_EQ(list.SortOrder(), toolbox::ListSortOrder::kIncreasing);
}

TEST(ColumnLayout, SavedWidthAppliesOnlyWithinTheColumnsBounds) {
  toolbox::ListView list;
  RestoreColumnLayout(list, Layout({kColName, kColSize, kColURL}, {0, 500, 300}), 1, 1);
  const int sizeWidth = *list.ColumnWidth(kColSize);
  EXPECT_LE(sizeWidth, 200);
  EXPECT_GE(sizeWidth, 40);
  EXPECT_EQ(list.ColumnWidth(kColURL), 300);
  EXPECT_NE(list.ColumnWidth(kColName), 0) << "0 never applies to a column with a minimum";
}

TEST(ColumnChooser, SelectNoneThenAllAppendsInShowAllOrder) {
  toolbox::ListView list;
  RestoreColumnLayout(list, Layout({1025, 1026, 1028, 1027, 1034}), 1, 1);
  AddColumn(list, kColQueueCheck);
  AddColumn(list, kColQueuePosition);
  auto menu = toolbox::Menu::Create(kColumnChooserMenuID);
  BuildColumnChooserMenu(list, *menu, ChooserKind::kOther);
  ASSERT_EQ(menu->CountItems(), 3 + 12);
  EXPECT_EQ(menu->ItemMark(4), toolbox::kCheckMark) << "Size is shown";
  EXPECT_EQ(menu->ItemMark(5), 0u) << "% is not";
  ColumnChooserItemChosen(list, ChooserKind::kOther, *menu, 2);  // select none
  EXPECT_EQ(list.Columns(),
            (std::vector<toolbox::ListPropertyID>{kColQueuePosition, kColQueueCheck, kColName}));
  ColumnChooserItemChosen(list, ChooserKind::kOther, *menu, 1);  // select all
  EXPECT_EQ(list.Columns(), (std::vector<toolbox::ListPropertyID>{kColQueuePosition, kColQueueCheck, kColName,
                                                                  1026, 1027, 1028, 1034, 1029, 1032, 1035,
                                                                  1033, 1031, 1037, 1036, 1044}));
  // One column toggled off and on again: appended at the end.
  ColumnChooserItemChosen(list, ChooserKind::kOther, *menu, 4);
  EXPECT_FALSE(list.HasColumn(kColSize));
  ColumnChooserItemChosen(list, ChooserKind::kOther, *menu, 4);
  EXPECT_EQ(list.Columns().back(), kColSize);
  // A column kept at width 0 can be shown again.
  list.SetColumnWidth(kColURL, 0);
  AddColumnByIndex(list, 13);
  EXPECT_NE(list.ColumnWidth(kColURL).value_or(0), 0);

  auto servers = toolbox::Menu::Create(kColumnChooserMenuID);
  BuildColumnChooserMenu(list, *servers, ChooserKind::kServers);
  ASSERT_EQ(servers->CountItems(), 1);
  EXPECT_EQ(servers->Item(1)->command, values::FourCC("Conn"));
}

// ---- Cells ----

queue::WrapperRef Download(const std::string& name, queue::DownloadStatus status, std::int64_t size,
                           std::int64_t received, float rate = 0) {
  auto w = queue::DownloadQueueWrapper::Create();
  auto& e = w->element();
  e.filename = name;
  e.status = status;
  e.fileSize = size;
  e.progress = received;
  e.rate = rate;
  static std::uint32_t uid = 100;
  e.uid = ++uid;
  return w;
}

std::string Text(const MainListItem& item, std::uint32_t property) {
  toolbox::ListItemData d;
  EXPECT_EQ(ListItemDataCallback(item, property, d, false), toolbox::kListNoErr);
  return d.text().value_or("<none>");
}

MainListItem Row(const queue::WrapperRef& w) {
  return MakeListItem(RowKind::kDownload, w);
}

TEST(DownloadCells, SizeSpeedTimeAndPercentTexts) {
  struct Case {
    queue::DownloadStatus status;
    std::int64_t size, received;
    float rate;
    std::uint32_t property;
    const char* text;
  } cases[] = {
      {queue::kStatusQueued, -1, 500, 0, kColSize, "500 bytes"},
      {queue::kStatusQueued, -1, 0, 0, kColSize, "Unknown"},
      {queue::kStatusQueued, 1048575, 0, 0, kColSize, "1023 KB"},
      {queue::kStatusQueued, 1048576, 0, 0, kColSize, "1.0 MB"},
      {queue::kStatusQueued, 5LL << 30, 0, 0, kColSize, "5120.0 MB"},
      {queue::kStatusDownloading, 1000, 0, 0.2f, kColEstimatedTime, "Unknown"},
      {queue::kStatusDownloading, 59 * 1024, 0, 1, kColEstimatedTime, "59s"},
      {queue::kStatusDownloading, 60 * 1024, 0, 1, kColEstimatedTime, "1:00"},
      {queue::kStatusDownloading, 3600 * 1024, 0, 1, kColEstimatedTime, "1:00:00"},
      {queue::kStatusQueued, 3600 * 1024, 0, 1, kColEstimatedTime, ""},
      {queue::kStatusDownloading, 800, 800, 1, kColPercent, "100%"},
      {queue::kStatusDownloading, 800, 200, 1, kColPercent, "25.00%"},
      {queue::kStatusDownloading, -1, 200, 1, kColPercent, ""},
      {queue::kStatusCompleted, -1, 200, 0, kColPercent, "100%"},
      {queue::kStatusDownloading, 800, 200, 12.34f, kColSpeed, "12.3"},
      {queue::kStatusStopped, 800, 200, 12.34f, kColSpeed, ""},
  };
  for (const auto& c : cases) {
    auto w = Download("f", c.status, c.size, c.received, c.rate);
    EXPECT_EQ(Text(Row(w), c.property), c.text) << c.property << " " << c.size;
  }
}

TEST(DownloadCells, CompletedAverageUsesReceivedBytesAndNeverDividesByZero) {
  auto w = Download("f", queue::kStatusCompleted, -1, 2048);
  w->element().duration = 2;
  EXPECT_EQ(Text(Row(w), kColSpeed), "1.0");
  w->element().duration = 0;
  EXPECT_EQ(Text(Row(w), kColSpeed), "0.0");
}

TEST(DownloadCells, LocalDownloadNeverEditableRemoteFileOnce) {
  auto local = Download("f", queue::kStatusQueued, 1, 0);
  auto remote = Download("g", queue::kStatusQueued, 1, 0);
  remote->element().hostID = 0x80000001u;
  auto editable = [](const MainListItem& row) {
    toolbox::ListItemData d;
    ListItemDataCallback(row, toolbox::kListPropertyEditable, d, false);
    return d.boolean().value_or(false);
  };
  gRenameRequested = true;
  EXPECT_FALSE(editable(Row(local)));
  gRenameRequested = true;
  EXPECT_TRUE(editable(Row(remote)));
  EXPECT_FALSE(editable(Row(remote)));
  toolbox::ListItemData d;
  EXPECT_EQ(ListItemDataCallback(Row(local), 1030, d, false), toolbox::kListPropertyNotSupported);
}

TEST(OtherCells, TextRules) {
  EXPECT_EQ(FTPRootText("h/", "/p"), "h//p");
  EXPECT_EQ(FTPRootText("h", "p"), "h/p");
  EXPECT_EQ(FTPRootText("h", "/p"), "h/p");
  EXPECT_EQ(CopyPermissionsString(0755), "rwxr-xr-x");
  EXPECT_EQ(CopyPermissionsString(04755), "rwsr-xr-x");
  EXPECT_EQ(CopyPermissionsString(02644), "rw-r-Sr--");
  EXPECT_EQ(CopyPermissionsString(01777), "rwxrwxrwt");
  EXPECT_EQ(CopyPermissionsString(01776), "rwxrwxrwT");
  EXPECT_EQ(DurationText(-5), "-5s");
  EXPECT_EQ(DurationText(5000000000LL), "1388888:53:20");
}

TEST(OtherCells, HistoryDayLabelsByMidnight) {
  values::SetDefaultTimeZone(values::TimeZone::Gmt());
  const double now = 86400.0 * 1000 + 3600;  // 01:00 on a day
  auto clock = std::make_shared<values::ManualClock>(now);
  values::ScopedClock use(clock);
  const std::uint32_t midnight1904 = static_cast<std::uint32_t>(86400.0 * 1000 + 3061152000.0);
  EXPECT_EQ(HistoryDayLabel(midnight1904), "Today");
  EXPECT_EQ(HistoryDayLabel(midnight1904 - 86400), "Yesterday");
  EXPECT_NE(HistoryDayLabel(midnight1904 - 2 * 86400), "Yesterday");
  values::SetDefaultTimeZone(std::nullopt);
}

// ---- Sorting ----

bool Before(const MainListItem& a, const MainListItem& b, std::uint32_t p) {
  return ListItemCompareCallback(a, b, p);
}

TEST(Sorting, DownloadPairs) {
  auto downloading = Download("a", queue::kStatusDownloading, 100, 40, 5);
  auto downloading90 = Download("b", queue::kStatusDownloading, 100, 90, 1);
  auto starting = Download("c", queue::kStatusStarting, 100, 0);
  auto scheduled = Download("d", queue::kStatusScheduled, 100, 0);
  auto queued = Download("e", queue::kStatusQueued, 100, 0);
  auto failed = Download("f", queue::kStatusFailed, 100, 0);
  auto verifying = Download("g", queue::kStatusVerifying, 100, 0);
  auto onHold = Download("h", queue::kStatusOnHold, 100, 0);
  auto completed = Download("i", queue::kStatusCompleted, 100, 100);
  auto downloading1 = Download("j", queue::kStatusDownloading, 100, 1, 2);
  auto downloading99 = Download("k", queue::kStatusDownloading, 100, 99, 3);
  auto name2 = Download("file2", queue::kStatusQueued, 1, 0);
  auto name10 = Download("file10", queue::kStatusQueued, 1, 0);
  struct Case {
    queue::WrapperRef first, second;
    std::uint32_t property;
    bool before, after;  // first<second, second<first
  } cases[] = {
      {downloading, starting, kColStatus, true, false},
      {scheduled, queued, kColStatus, true, false},
      {onHold, failed, kColStatus, true, false},
      {failed, verifying, kColStatus, true, false},
      {verifying, Download("x", 0, 1, 0), kColStatus, false, false},
      {downloading90, downloading, kColStatus, true, false},
      {queued, downloading1, kColPercent, true, false},
      {downloading99, completed, kColPercent, true, false},
      {downloading1, downloading99, kColPercent, true, false},
      {downloading90, downloading, kColSpeed, true, false},
      {name2, name10, kColName, true, false},
      {completed, downloading, kColEstimatedTime, true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Before(Row(c.first), Row(c.second), c.property), c.before)
        << c.first->filename() << " " << c.second->filename() << " " << c.property;
    EXPECT_EQ(Before(Row(c.second), Row(c.first), c.property), c.after)
        << c.second->filename() << " " << c.first->filename() << " " << c.property;
  }
}

TEST(Sorting, OtherKinds) {
  auto up2 = std::make_shared<fakes::FakeUpload>();
  up2->name = "file2";
  auto up10 = std::make_shared<fakes::FakeUpload>();
  up10->name = "file10";
  EXPECT_TRUE(Before(MakeListItem(RowKind::kUpload, up10), MakeListItem(RowKind::kUpload, up2), kColName))
      << "no numeric order for uploads";

  auto r1 = std::make_shared<fakes::FakeReceivedFile>();
  r1->sender = "anna@host";
  auto r2 = std::make_shared<fakes::FakeReceivedFile>();
  r2->sender = "Bob@host";
  EXPECT_TRUE(Before(MakeListItem(RowKind::kReceivedFile, r1), MakeListItem(RowKind::kReceivedFile, r2),
                     kColRemoteHost));
  EXPECT_FALSE(Before(MakeListItem(RowKind::kReceivedFile, r2), MakeListItem(RowKind::kReceivedFile, r1),
                      kColRemoteHost));

  auto idisk = std::make_shared<fakes::FakeFavourite>();
  idisk->type = browser::kHostIDisk;
  auto webdav = std::make_shared<fakes::FakeFavourite>();
  webdav->type = browser::kHostSecureWebDAV;
  EXPECT_TRUE(Before(MakeListItem(RowKind::kFavourite, idisk), MakeListItem(RowKind::kFavourite, webdav),
                     kColHostIcon));
  EXPECT_FALSE(Before(MakeListItem(RowKind::kFavourite, webdav), MakeListItem(RowKind::kFavourite, idisk),
                      kColHostIcon));

  auto folder = std::make_shared<fakes::FakeFTPNode>();
  folder->nodeName = "a";
  auto file = Download("z", queue::kStatusQueued, 1, 0);
  EXPECT_TRUE(Before(Row(file), MakeListItem(RowKind::kFTPNode, folder), kColSize));
  EXPECT_FALSE(Before(MakeListItem(RowKind::kFTPNode, folder), Row(file), kColSize));
  EXPECT_TRUE(Before(MakeListItem(RowKind::kFTPNode, folder), Row(file), kColName));
}

// ---- Filling from the displayed views ----

class FakeRemote : public browser::NoRemoteRows {
 public:
  std::optional<browser::RemoteHost> GetHostForViewID(std::uint32_t id) override {
    if (id != 1030) return std::nullopt;
    browser::RemoteHost h;
    h.hostType = browser::kHostIDisk;
    return h;
  }
  std::vector<browser::FavouriteRowRef> CopyFavourites() override { return favourites; }
  bool HasFavouriteNamed(const std::string& name) override {
    for (auto& f : favourites)
      if (f->name() == name) return true;
    return false;
  }
  void RenameFavourite(const browser::FavouriteRowRef& f, const std::string& name) override {
    static_cast<fakes::FakeFavourite&>(*f).favName = name;
    ++renames;
  }
  std::vector<browser::FavouriteRowRef> favourites;
  int renames = 0;
};

class MainListFill : public ::testing::Test {
 protected:
  void SetUp() override {
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    InstallMainList();
    auto remote = std::make_unique<FakeRemote>();
    remote_ = remote.get();
    browser::RemoteRowsServiceSlot::Set(std::move(remote));
  }
  void TearDown() override {
    queue::ClearDisplayedViews();
    UninstallMainList();
    browser::RemoteRowsServiceSlot::Set(nullptr);
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  queue::WrapperRef Add(const std::string& name, queue::DownloadStatus status, std::int64_t size = 1000,
                        std::int64_t received = 0, float rate = 0) {
    auto w = Download(name, status, size, received, rate);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    return w;
  }
  toolbox::ListView& List() { return GetMainList()->list(); }
  FakeRemote* remote_ = nullptr;
};

TEST_F(MainListFill, MyDownloadsAndAUserFolderShowEachDownloadOnce) {
  auto a = Add("a", queue::kStatusQueued);
  auto b = Add("b", queue::kStatusQueued);
  queue::AddFolder(0x100001, "F");
  queue::AddElementToListableFolder(0x100001, a);
  queue::DisplayViews({queue::kMyDownloadsViewID, 0x100001});
  EXPECT_EQ(queue::GetCurrentViewID(), queue::kMyDownloadsViewID);
  EXPECT_EQ(List().ItemCount(), 2u);
  // The default layout of My Downloads, behind the two queue columns, sorted by 11024.
  const auto columns = List().Columns();
  ASSERT_GE(columns.size(), 4u);
  EXPECT_EQ(columns[0], kColQueuePosition);
  EXPECT_EQ(columns[1], kColQueueCheck);
  EXPECT_EQ(columns[2], kColName);
  EXPECT_EQ(List().SortProperty(), kColQueueCheck);
}

TEST_F(MainListFill, HostLayoutIsStoredInItsHostTypesFolder) {
  queue::DisplayViews({1030});
  EXPECT_TRUE(List().HasColumn(kColRemoteLead));
  ASSERT_TRUE(List().HasColumn(kColKind));
  List().RemoveColumn(kColKind);
  List().SetSortProperty(kColName);
  const auto before24 = queue::LookUpFolder(queue::kIDiskHostsViewID)->options();
  queue::ClearDisplayedViews();
  const auto after24 = queue::LookUpFolder(queue::kIDiskHostsViewID)->options();
  EXPECT_NE(before24, after24);
  EXPECT_EQ(queue::LookUpFolder(queue::kIDiskHostsViewID)->sort(), 1u);
  EXPECT_FALSE(queue::LookUpFolder(1030));
}

TEST_F(MainListFill, ALayoutChangedByTheUserComesBackWithTheView) {
  Add("a", queue::kStatusQueued);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().RemoveColumn(kColEstimatedTime);
  List().SetColumnWidth(kColURL, 321);
  List().MoveColumn(kColURL, 3);
  List().SetSortProperty(kColSize);
  List().SetSortOrder(toolbox::ListSortOrder::kDecreasing);
  const auto columns = List().Columns();
  queue::DisplayViews({queue::kMyServersViewID});
  EXPECT_FALSE(List().HasColumn(kColURL));
  queue::DisplayViews({queue::kMyDownloadsViewID});
  EXPECT_EQ(List().Columns(), columns);
  EXPECT_EQ(List().ColumnWidth(kColURL), 321);
  EXPECT_EQ(List().SortProperty(), kColSize);
  EXPECT_EQ(List().SortOrder(), toolbox::ListSortOrder::kDecreasing);
  EXPECT_TRUE(queue::gFolderSettingsChanged);
}

TEST_F(MainListFill, EveryDownloadColumnSortsTheListAsTheRuleSays) {
  const queue::DownloadStatus statuses[] = {
      queue::kStatusDownloading, queue::kStatusStarting,  queue::kStatusQueued,
      queue::kStatusOnHold,      queue::kStatusStopped,   queue::kStatusFailed,
      queue::kStatusCompleted,   queue::kStatusVerifying, queue::kStatusScheduled};
  int n = 0;
  for (auto status : statuses)
    for (int k = 0; k < 3; ++k, ++n) {
      auto w = Add("file" + std::to_string((n * 7) % 11), status, n % 4 == 0 ? -1 : 1000 * (n % 5 + 1),
                   100 * (n % 3), static_cast<float>(n % 4));
      w->element().duration = n % 6;
      w->element().startDate = 1000.0 * (n % 7);
      w->element().endDate = 500.0 * (n % 5);
      w->element().priority = n % 3;
      w->element().queuePosition = n;
    }
  queue::DisplayViews({queue::kMyDownloadsViewID});
  for (std::uint32_t property :
       {kColName, kColStatus, kColSize, kColSpeed, kColEstimatedTime, kColConnections, kColElapsedTime,
        kColPercent, kColStartDate, kColEndDate, kColDownloadCount, kColURL, kColPriority, kColQueueCheck}) {
    for (auto order : {toolbox::ListSortOrder::kIncreasing, toolbox::ListSortOrder::kDecreasing}) {
      List().SetSortOrder(order);
      List().SetSortProperty(property);
      const auto ids = List().Items();
      ASSERT_EQ(ids.size(), static_cast<std::size_t>(n));
      for (std::size_t i = 1; i < ids.size(); ++i) {
        const MainListItem& prev = *GetMainList()->Row(ids[i - 1]);
        const MainListItem& next = *GetMainList()->Row(ids[i]);
        const bool inverted = order == toolbox::ListSortOrder::kIncreasing
                                  ? ListItemCompareCallback(next, prev, property)
                                  : ListItemCompareCallback(prev, next, property);
        EXPECT_FALSE(inverted) << "column " << property << " row " << i;
      }
    }
  }
}

TEST_F(MainListFill, SearchIsClearedWhenTheCurrentViewChanges) {
  Add("alpha", queue::kStatusQueued);
  GetMainList()->SetSearchText("zzz");
  queue::DisplayViews({queue::kMyDownloadsViewID});
  EXPECT_EQ(GetMainList()->SearchText(), "");
  EXPECT_EQ(List().ItemCount(), 1u);
  // A refill keeps the selection.
  List().SetSelectedItems(List().Items());
  queue::RefillMainList();
  EXPECT_EQ(List().SelectedItems().size(), 1u);
}

TEST_F(MainListFill, RenamingAServerRefusesItsOwnEmptyAndTakenNames) {
  auto one = std::make_shared<fakes::FakeFavourite>();
  one->favName = "one";
  auto two = std::make_shared<fakes::FakeFavourite>();
  two->favName = "two";
  remote_->favourites = {one, two};
  queue::DisplayViews({queue::kMyServersViewID});
  ASSERT_EQ(List().ItemCount(), 2u);
  const auto id = MakeListItem(RowKind::kFavourite, one).id();
  for (const char* name : {"one", "", "two"}) {
    ASSERT_TRUE(List().BeginEdit(id, kColServerName));
    List().CommitEdit(name);
    EXPECT_EQ(one->favName, "one") << name;
  }
  EXPECT_EQ(remote_->renames, 0);
  ASSERT_TRUE(List().BeginEdit(id, kColServerName));
  List().CommitEdit("three");
  EXPECT_EQ(one->favName, "three");
}

TEST_F(MainListFill, ChangedRowsWaitForTheRefreshPass) {
  auto a = Add("a", queue::kStatusDownloading, 1000, 10, 1);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  auto& services = MainListServicesSlot::Get();
  services.UpdateDownloadRow(a->uid());
  services.UpdateDownloadRow(a->uid());
  EXPECT_EQ(GetMainList()->PendingChangedRows(), 1u);
  GetMainList()->RefreshChangedRows();
  EXPECT_EQ(GetMainList()->PendingChangedRows(), 0u);
  services.RemoveDownloadRows({a->uid()});
  EXPECT_EQ(List().ItemCount(), 0u);
}

TEST_F(MainListFill, PictureOfDownloadsInEveryState) {
  struct Row {
    const char* name;
    queue::DownloadStatus status;
    std::int64_t size, received;
    float rate;
  } rows[] = {
      {"ubuntu-24.04-desktop-amd64.iso", queue::kStatusDownloading, 6114656256LL, 2457600000LL, 5234.5f},
      {"starting-file.tar.gz", queue::kStatusStarting, 10485760, 0, 0},
      {"queued-archive.zip", queue::kStatusQueued, 52428800, 0, 0},
      {"held-video.mkv", queue::kStatusOnHold, 734003200, 104857600, 0},
      {"stopped-image.png", queue::kStatusStopped, 204800, 51200, 0},
      {"failed-page.html", queue::kStatusFailed, -1, 0, 0},
      {"completed-song.mp3", queue::kStatusCompleted, 5242880, 5242880, 0},
      {"verifying-package.deb", queue::kStatusVerifying, 1048576, 1048576, 0},
      {"scheduled-backup.tar", queue::kStatusScheduled, 2097152, 0, 0},
  };
  for (const auto& r : rows) {
    auto w = Add(r.name, r.status, r.size, r.received, r.rate);
    w->element().duration = 42;
    w->element().startDate = values::Now() - 3600;
    if (r.status == queue::kStatusCompleted) w->element().endDate = values::Now() - 60;
    w->element().urlData = values::Array{
        values::Value(values::Dictionary{{"url", std::string("http://example.org/") + r.name}})};
  }
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSortProperty(kColStatus);
  List().SetSize(1100, 320);
  ASSERT_EQ(List().ItemCount(), std::size(rows));
  const auto image = List().Grab();
  ASSERT_FALSE(image.IsNull());
  EXPECT_EQ(image.width(), 1100);
  int dark = 0, blue = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) {
      const auto c = image.PixelAt(x, y);
      if (c.red < 0.3 && c.green < 0.3 && c.blue < 0.3) ++dark;
      if (c.blue > 0.6 && c.red < 0.45) ++blue;
    }
  EXPECT_GT(dark, 300) << "text is drawn";
  EXPECT_GT(blue, 20) << "a progress bar is drawn";
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(List().GrabToPng(std::string(keep) + "/main_list_downloads.png"));
  }
}

}  // namespace
}  // namespace ui
