// The main list's own cells: status texts, the icons and buttons each row shows, where the
// buttons sit, what a press and a release on them do, the help tags, and a picture of the
// cells in several states with one button held down.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/main_list.h"
#include "platform/values/date_time.h"
#include "platform/values/localize.h"
#include "tests/fakes/fake_list_rows.h"

namespace ui {
namespace {

using values::FourCC;
using values::FourCharCode;

queue::WrapperRef MakeDownload(const std::string& name, queue::DownloadStatus status, std::int64_t size,
                               std::int64_t received) {
  auto w = queue::DownloadQueueWrapper::Create();
  auto& e = w->element();
  static std::uint32_t uid = 5000;
  e.uid = ++uid;
  e.filename = name;
  e.status = status;
  e.fileSize = size;
  e.progress = received;
  e.urlData = values::Array{values::Value(values::Dictionary{{"url", "http://127.0.0.1/" + name}}),
                            values::Value(values::Dictionary{{"url", "http://127.0.0.2/" + name}})};
  return w;
}

void Finish(const queue::WrapperRef& w) {
  w->element().completeFile = values::Bytes{1, 2, 3};
  w->element().completeURL = values::Url::Create("file:///tmp/" + w->element().filename);
}

MainListItem RowOf(const queue::WrapperRef& w) {
  return MakeListItem(RowKind::kDownload, w);
}

TEST(CellTexts, QueuedOrdinalsPickTheirKeyByTheLastTwoDigits) {
  struct Case {
    int n;
    const char* text;
  } cases[] = {{1, "Queued (1st)"},     {2, "Queued (2nd)"},     {3, "Queued (3rd)"},   {11, "Queued (11th)"},
               {12, "Queued (12th)"},   {13, "Queued (13th)"},   {21, "Queued (21st)"}, {22, "Queued (22nd)"},
               {101, "Queued (101st)"}, {111, "Queued (111th)"}, {4, "Queued (4th)"}};
  for (const auto& c : cases) EXPECT_EQ(QueuedOrdinalText(c.n), c.text) << c.n;
  // 21 uses the second "st" key; 1 and 101 (n mod 100 = 1) the first.
  values::RegisterLocalizedString("Queued (%dst)2", "Q#%d");
  EXPECT_EQ(QueuedOrdinalText(21), "Q#21");
  EXPECT_EQ(QueuedOrdinalText(101), "Queued (101st)");
  EXPECT_EQ(QueuedOrdinalText(1), "Queued (1st)");
  values::RegisterLocalizedString("Queued (%dst)2", "Queued (%dst)2");
}

TEST(CellTexts, DownloadStatusWithAndWithoutPercentage) {
  struct Case {
    queue::DownloadStatus status;
    std::int64_t size, received;
    bool verificationFailed;
    std::string text;
    bool warning;
  } cases[] = {
      {queue::kStatusStopped, 1000, 250, false, "Stopped (25.00%)", false},
      {queue::kStatusStopped, 1000, 1000, false, "Stopped", false},
      {queue::kStatusStopped, -1, 250, false, "Stopped", false},
      {queue::kStatusOnHold, 1000, 0, false, "On Hold", false},
      {queue::kStatusFailed, 3, 1, false, "Failed (33.33%)", false},
      {queue::kStatusStarting, 0, 0, false, "Starting", false},
      {queue::kStatusVerifying, 10, 10, false, "Verifying", false},
      {queue::kStatusCompleted, 1000, 10, false, "Completed", false},
      {queue::kStatusCompleted, 1000, 1000, true, "Verification failed", true},
      {queue::kStatusDownloading, 1000, 10, false, " (1.00%)", false},
  };
  for (const auto& c : cases) {
    auto w = MakeDownload("f", c.status, c.size, c.received);
    w->element().verificationFailed = c.verificationFailed;
    EXPECT_EQ(DownloadStatusText(w->element(), 0), c.text) << c.status;
    EXPECT_EQ(DownloadStatusIsWarning(w->element()), c.warning) << c.status;
  }
  auto queued = MakeDownload("q", queue::kStatusQueued, 100, 0);
  queued->element().queuePosition = 12;
  EXPECT_EQ(DownloadStatusText(queued->element(), 0), "Queued (12th)");
}

TEST(CellTexts, ScheduledDaysAreNamed) {
  const double now = values::DayStart(8e8) + 3600;
  auto w = MakeDownload("s", queue::kStatusScheduled, 0, 0);
  w->element().scheduleTime = now + 600;
  EXPECT_EQ(DownloadStatusText(w->element(), now).rfind("Today ", 0), 0u);
  w->element().scheduleTime = now + 86400;
  EXPECT_EQ(DownloadStatusText(w->element(), now).rfind("Tomorrow ", 0), 0u);
  w->element().scheduleTime = now + 5 * 86400;
  const std::string later = DownloadStatusText(w->element(), now);
  EXPECT_FALSE(later.empty());
  EXPECT_NE(later.rfind("Today", 0), 0u);
}

TEST(CellTexts, UploadAndReceivedFileStatus) {
  struct Case {
    std::int32_t state;
    std::uint32_t waiting;
    std::int64_t size, sent;
    std::string text;
  } cases[] = {
      {1, 0, 100, 0, "Failed"},
      {2, 0, 100, 0, "Failed (authorisation)"},
      {4, 0, 100, 50, "Cancelled by Server (50.00%)"},
      {8, 0, 100, 0, "Stopped"},
      {upload::kUploadWaiting, 0, 100, 0, "Queued (1st)"},
      {upload::kUploadWaiting, 1, 100, 0, "Queued (2nd)"},
      {upload::kUploadWaiting, UINT32_MAX, 100, 0, "Idle"},
      {upload::kUploadFinished, 0, 100, 100, "Completed"},
  };
  for (const auto& c : cases) {
    fakes::FakeUpload u;
    u.st = c.state;
    u.waiting = c.waiting;
    u.size = c.size;
    u.sent = c.sent;
    EXPECT_EQ(CopyUploadStatusText(u), c.text) << c.state;
  }
  EXPECT_EQ(ReceivedFileStatusText(sharing::kReceivedFileReceived, 10, 5), "Completed");
  EXPECT_EQ(ReceivedFileStatusText(2, 10, 5), "Incomplete (50.00%)");
  EXPECT_EQ(ReceivedFileStatusText(2, 10, 0), "Incomplete");
  EXPECT_EQ(ReceivedFileStatusText(0, 10, 1), " (10.00%)");
}

TEST(CellIcons, ButtonsAndStatusIconByRowState) {
  constexpr FourCharCode none = 0;
  struct Case {
    const char* name;
    queue::DownloadStatus status;
    std::int64_t received;
    bool finished;
    std::uint32_t hostID;
    std::int16_t flags;
    FourCharCode b1, b2, b3, lead, status_icon;
  } cases[] = {
      {"running", queue::kStatusDownloading, 10, false, 0, 0, none, none, kCellIconStop, none, kCellIconStop},
      {"starting", queue::kStatusStarting, 0, false, 0, 0, none, none, kCellIconStop, none, none},
      {"stopped part", queue::kStatusStopped, 10, false, 0, 0, kCellIconResume, none, kCellIconDelete, none,
       kCellIconResume},
      {"queued fresh", queue::kStatusQueued, 0, false, 0, 0, none, none, kCellIconDelete, none, none},
      {"completed", queue::kStatusCompleted, 10, true, 0, 0, kCellIconReveal, kCellIconUpload,
       kCellIconDelete, none, kCellIconReveal},
      {"remote file", queue::kStatusQueued, 0, false, 0x80000001u, 0, none, none, kCellIconDelete,
       kCellIconDelete, none},
      {"peer item", queue::kStatusQueued, 0, false, 7, 8, none, none, none, kCellIconDirect, none},
      {"peer item, no direct", queue::kStatusStopped, 10, false, 7, 0, none, none, none, none, none},
  };
  for (const auto& c : cases) {
    auto w = MakeDownload(c.name, c.status, 100, c.received);
    w->element().hostID = c.hostID;
    w->element().flags = c.flags;
    if (c.finished) Finish(w);
    const MainListItem row = RowOf(w);
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 1), c.b1) << c.name;
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 2), c.b2) << c.name;
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 3), c.b3) << c.name;
    EXPECT_EQ(GetCellButtonIcon(row, kColRemoteLead, 1), c.lead) << c.name;
    EXPECT_EQ(GetCellButtonIcon(row, kColName, 1), none) << c.name;
    EXPECT_EQ(GetStatusCellIcon(row), c.status_icon) << c.name;
  }

  struct UploadCase {
    std::int32_t state;
    std::int64_t sent;
    bool file;
    FourCharCode b1, b2, b3, status_icon;
  } uploads[] = {
      {upload::kUploadUploading, 5, true, kCellIconReveal, kCellIconUpload, kCellIconStop, kCellIconStop},
      {upload::kUploadWaiting, 5, true, kCellIconReveal, kCellIconResume, kCellIconDelete, kCellIconResume},
      {upload::kUploadFinished, 10, false, none, none, kCellIconDelete, none},
  };
  for (const auto& c : uploads) {
    struct Upload : fakes::FakeUpload {
      bool file = false;
      std::optional<std::string> localPath() const override {
        return file ? std::optional<std::string>("/tmp/x") : std::nullopt;
      }
    };
    auto u = std::make_shared<Upload>();
    u->st = c.state;
    u->size = 10;
    u->sent = c.sent;
    u->file = c.file;
    const MainListItem row = MakeListItem(RowKind::kUpload, std::static_pointer_cast<upload::UploadRow>(u));
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 1), c.b1) << c.state;
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 2), c.b2) << c.state;
    EXPECT_EQ(GetCellButtonIcon(row, kColFile, 3), c.b3) << c.state;
    EXPECT_EQ(GetStatusCellIcon(row), c.status_icon) << c.state;
  }

  for (bool hasParent : {false, true}) {
    auto node = std::make_shared<fakes::FakeFTPNode>();
    node->parent = hasParent;
    const MainListItem row =
        MakeListItem(RowKind::kFTPNode, std::static_pointer_cast<browser::FTPNodeRow>(node));
    EXPECT_EQ(GetCellButtonIcon(row, kColRemoteLead, 1), hasParent ? kCellIconDelete : none)
        << "the root stays";
  }
}

TEST(CellGeometry, ButtonAreaIsCentredOnANarrowCell) {
  struct Case {
    std::uint32_t property;
    toolbox::Rect cell;
    int button;
    double x, y;
  } cases[] = {
      {kColFile, {100, 20, 61, 18}, 1, 101, 21},  // wide enough: from the left, one point in
      {kColFile, {100, 20, 61, 18}, 3, 137, 21},
      {kColFile, {100, 20, 41, 16}, 1, 95, 20},  // 40 of 52: six points further left
      {kColFile, {100, 20, 41, 16}, 2, 113, 20},
      {kColRemoteLead, {10, 0, 29, 30}, 1, 11, 7},
      {kColRemoteLead, {10, 0, 11, 10}, 1, 6, 0},  // 10 of 20
  };
  for (const auto& c : cases) {
    const auto r = CellButtonRect(c.cell, c.property, c.button);
    EXPECT_EQ(r.x, c.x) << c.property << " " << c.cell.width << " " << c.button;
    EXPECT_EQ(r.y, c.y);
    EXPECT_EQ(r.width, 16);
    EXPECT_EQ(r.height, 16);
  }
}

class CellClicks : public ::testing::Test {
 protected:
  void SetUp() override {
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    InstallMainList();
    previous_ = SetListCommandSink([this](FourCharCode c) { posted_.push_back(c); });
  }
  void TearDown() override {
    SetListCommandSink(std::move(previous_));
    queue::ClearDisplayedViews();
    UninstallMainList();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  queue::WrapperRef Add(const std::string& name, queue::DownloadStatus status, std::int64_t received = 0) {
    auto w = MakeDownload(name, status, 1000, received);
    queue::QueueItemsSet(w->uid(), w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    return w;
  }
  void Show() {
    queue::DisplayViews({queue::kMyDownloadsViewID});
    if (!List().HasColumn(kColFile)) AddColumn(List(), kColFile);
    List().SetColumnWidth(kColFile, 60);
    List().SetSize(900, 300);
    List().FlushPainting();
  }
  toolbox::ListView& List() { return GetMainList()->list(); }
  toolbox::ListItemID Id(const queue::WrapperRef& w) { return GetMainList()->DownloadRow(w->uid()); }
  toolbox::Point Centre(const toolbox::Rect& r) { return {r.x + r.width / 2, r.y + r.height / 2}; }
  toolbox::Rect Button(const queue::WrapperRef& w, int b) {
    auto cell = List().CellRect(Id(w), kColFile);
    EXPECT_TRUE(cell.has_value());
    return CellButtonRect(cell.value_or(toolbox::Rect{}), kColFile, b);
  }

  std::vector<FourCharCode> posted_;
  ListCommandSink previous_;
};

TEST_F(CellClicks, ReleasedOverTheButtonPostsItsCommandForThatRowOnly) {
  auto a = Add("a.bin", queue::kStatusStopped);
  auto b = Add("b.bin", queue::kStatusCompleted, 1000);
  Finish(b);
  Show();
  ASSERT_TRUE(List().HasColumn(kColFile));
  List().SetSelectedItems({Id(a), Id(b)});

  // Released outside: nothing, and tracking is over.
  ASSERT_TRUE(List().PressCell(Id(a), kColFile, Centre(Button(a, 3))));
  EXPECT_EQ(List().PressedPart(), 3);
  List().ReleaseCell({Button(a, 3).x + 40, Button(a, 3).y});
  EXPECT_TRUE(posted_.empty());
  EXPECT_EQ(List().PressedPart(), 0);

  struct Case {
    queue::WrapperRef row;
    int button;
    std::vector<FourCharCode> posted;
  } cases[] = {
      {a, 3, {FourCC("Remo")}},
      {b, 2, {FourCC("SeSf")}},
      {b, 3, {FourCC("Remo")}},
  };
  for (const auto& c : cases) {
    posted_.clear();
    ASSERT_TRUE(List().PressCell(Id(c.row), kColFile, Centre(Button(c.row, c.button))));
    List().TrackCell({0, 0});  // out and back in
    List().ReleaseCell(Centre(Button(c.row, c.button)));
    EXPECT_EQ(posted_, c.posted) << c.row->element().filename << " " << c.button;
    EXPECT_EQ(List().SelectedItems(), std::vector<toolbox::ListItemID>{Id(c.row)});
  }
}

TEST_F(CellClicks, PressesOutsideTheIconsAreTakenOrPassedOnByColumn) {
  auto a = Add("a.bin", queue::kStatusStopped, 10);
  Show();
  List().SetSelectedItems({});
  const auto actions = *List().CellRect(Id(a), kColFile);
  // Between the icons of the actions column: taken, nothing tracked, nothing selected.
  EXPECT_TRUE(List().PressCell(Id(a), kColFile, {Button(a, 2).x + 8, Button(a, 2).y + 8}));
  EXPECT_EQ(List().PressedPart(), 0);
  EXPECT_TRUE(List().SelectedItems().empty());
  EXPECT_TRUE(actions.width > 0);
  // The status column: on its icon the icon is tracked, elsewhere it is an ordinary click.
  const auto status = *List().CellRect(Id(a), kColStatus);
  EXPECT_FALSE(List().PressCell(Id(a), kColStatus, {status.x + 60, status.y + 5}));
  EXPECT_TRUE(List().PressCell(Id(a), kColStatus, Centre(StatusIconRect(status))));
  EXPECT_EQ(List().PressedPart(), kStatusIconPart);
  List().ReleaseCell({status.x + 200, status.y});
  EXPECT_TRUE(posted_.empty());
}

TEST_F(CellClicks, HelpTagsOfDownloadRows) {
  auto a = Add("a.bin", queue::kStatusQueued);
  Show();
  EXPECT_EQ(List().HelpTag(Id(a), kColFile), "Reveals this item in the Finder");
  EXPECT_EQ(List().HelpTag(Id(a), kColName), "http://127.0.0.1/a.bin\rhttp://127.0.0.2/a.bin");
  EXPECT_EQ(List().HelpTag(0, kColName), "");
}

TEST_F(CellClicks, PictureOfCellsInSeveralStatesWithAButtonHeld) {
  auto running = Add("running.iso", queue::kStatusDownloading, 400);
  auto unsized = Add("no-size-yet.bin", queue::kStatusDownloading, 0);
  unsized->element().fileSize = 0;
  auto stopped = Add("stopped.zip", queue::kStatusStopped, 250);
  auto done = Add("done.mp3", queue::kStatusCompleted, 1000);
  Finish(done);
  auto bad = Add("bad-checksum.deb", queue::kStatusCompleted, 1000);
  bad->element().verificationFailed = true;
  Show();
  List().SetSortProperty(kColName);
  ASSERT_TRUE(List().PressCell(Id(done), kColFile, Centre(Button(done, 1))));
  List().FlushPainting();
  const auto image = List().Grab();
  ASSERT_FALSE(image.IsNull());
  List().ReleaseCell({0, 0});
  List().FlushPainting();
  const auto released = List().Grab();
  ASSERT_EQ(released.width(), image.width());
  // The held reveal button is the only change, and it is drawn darker.
  double pressedSum = 0, releasedSum = 0;
  int changed = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const auto p = image.PixelAt(x, y);
      const auto r = released.PixelAt(x, y);
      pressedSum += p.red + p.green + p.blue;
      releasedSum += r.red + r.green + r.blue;
      if (p.red != r.red || p.green != r.green || p.blue != r.blue) ++changed;
    }
  EXPECT_GT(changed, 20);
  EXPECT_LE(changed, 16 * 16 * 2) << "only the icon changes (progress stripes stand still)";
  EXPECT_LT(pressedSum, releasedSum);
  // Red text of the failed check.
  int red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const auto c = image.PixelAt(x, y);
      if (c.red > 0.8 && c.green < 0.3 && c.blue < 0.3) ++red;
    }
  EXPECT_GT(red, 10) << "Verification failed is drawn in red";
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(image.SavePng(std::string(keep) + "/main_list_cells_pressed.png"));
    EXPECT_TRUE(released.SavePng(std::string(keep) + "/main_list_cells.png"));
  }
}

}  // namespace
}  // namespace ui
