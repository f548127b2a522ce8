// The main list's contextual menu for each kind of selection, its Option forms, a choice
// reaching the command handler, the double-click and selection notifications, copying
// URLs, and a picture of the menu.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/history/download_filters.h"
#include "app/queue/history/history.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/services/history_filter_rows.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_context_menu.h"
#include "app/ui/main_list/list_notifications.h"
#include "app/ui/main_list/main_list.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/menus/qt_menu.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/toolbox/services/modifiers.h"
#include "tests/fakes/fake_list_rows.h"
#include "tests/fakes/scripted_presenter.h"

// Qt last: its keywords are macros.
#include <QMenu>

namespace ui {
namespace {

using values::FourCC;

queue::WrapperRef MakeDownload(const std::string& name, queue::DownloadStatus status,
                               std::int64_t received = 0) {
  auto w = queue::DownloadQueueWrapper::Create();
  auto& e = w->element();
  static std::uint32_t uid = 7000;
  e.uid = ++uid;
  e.filename = name;
  e.status = status;
  e.fileSize = 1000;
  e.progress = received;
  e.domains = {"127.0.0.1"};
  e.urlData = values::Array{values::Value(values::Dictionary{{"url", "http://127.0.0.1/" + name}})};
  return w;
}

MainListItem Row(const queue::WrapperRef& w) {
  return MakeListItem(RowKind::kDownload, w);
}

// The menu as lines: "text|code", "-" for a separator, "~text|code" for an Option form.
std::vector<std::string> Lines(const toolbox::MenuRef& menu) {
  std::vector<std::string> out;
  if (!menu) return out;
  for (const auto& item : menu->items()) {
    if (item.separator) {
      out.push_back("-");
      continue;
    }
    out.push_back((item.dynamic ? "~" : "") + item.text + "|" + values::FourCCString(item.command));
  }
  return out;
}

struct FakeUploadWithPath : fakes::FakeUpload {
  std::optional<std::string> localPath() const override { return std::string("/tmp/up.bin"); }
};

TEST(ListContextMenu, ForEachKindOfSelection) {
  util::RegisterEnglishTexts();
  auto finished = MakeDownload("done.iso", queue::kStatusCompleted, 1000);
  finished->element().completeFile = values::Bytes{1};
  finished->element().completeURL = values::Url::Create("file:///tmp/done.iso");
  std::vector<MainListItem> threeQueued;
  for (int i = 0; i < 3; ++i)
    threeQueued.push_back(Row(MakeDownload("q" + std::to_string(i), queue::kStatusQueued)));
  auto running = MakeDownload("run.bin", queue::kStatusDownloading, 10);
  auto paused = MakeDownload("paused.bin", queue::kStatusStopped, 10);
  paused->element().flags = 8;
  paused->element().hostID = 3;  // a peer's item

  auto hosting = [](std::uint32_t waiting) {
    auto u = std::make_shared<FakeUploadWithPath>();
    u->st = upload::kUploadWaiting;
    u->size = 100;
    u->waiting = waiting;
    return MakeListItem(RowKind::kUpload, std::static_pointer_cast<upload::UploadRow>(u));
  };
  struct Hosting : FakeUploadWithPath {
    std::int32_t hostType() const override { return 8; }
  };
  auto toHosting = [](std::uint32_t waiting) {
    auto u = std::make_shared<Hosting>();
    u->st = upload::kUploadWaiting;
    u->size = 100;
    u->waiting = waiting;
    return MakeListItem(RowKind::kUpload, std::static_pointer_cast<upload::UploadRow>(u));
  };
  auto favourite =
      MakeListItem(RowKind::kFavourite,
                   std::static_pointer_cast<browser::FavouriteRow>(std::make_shared<fakes::FakeFavourite>()));
  auto folder = std::make_shared<fakes::FakeFTPNode>();
  folder->parent = true;
  auto ftpFolder = MakeListItem(RowKind::kFTPNode, std::static_pointer_cast<browser::FTPNodeRow>(folder));
  auto received = std::make_shared<fakes::FakeReceivedFile>();
  auto receivedRow =
      MakeListItem(RowKind::kReceivedFile, std::static_pointer_cast<sharing::ReceivedFileRow>(received));

  ListMenuContext five;
  five.queueOrderCount = 5;
  ListMenuContext filters = five;
  filters.filtersViewShown = true;
  ListMenuContext uploads;
  uploads.uploadsWaiting = 2;

  const std::string dl = "Remove Download";
  struct Case {
    const char* name;
    std::vector<MainListItem> selected;
    const MainListItem* container;
    ListMenuContext context;
    std::vector<std::string> lines;
  } cases[] = {
      {"one finished local download",
       {Row(finished)},
       nullptr,
       five,
       {"Show in Folder|RFin", "-", "Download Again|StaD", "-", "Edit Download...|Edit", "Hold Download|HolD",
        "Queue Download|QDow", "Remove Download...|Remo", "~Remove Download|Remo", "-",
        "View Transfer Details...|Vdet", "Copy URL To Clipboard|CuRl", "Add to Sensitive Servers|SSb\xBF"}},
      {"three queued of five",
       threeQueued,
       nullptr,
       five,
       {"Start Downloads|StaD", "-", "Edit Downloads...|Edit", "Hold Downloads|HolD",
        "Move To Top of Queue|MvIT", "Shift up|DSUp", "~Shift up 5|DSU5", "Shift down|DSDo",
        "~Shift down 5|DSD5", "-", "Remove Downloads...|Remo", "~Remove Downloads|Remo", "-",
        "View Transfer Details...|Vdet", "Copy URLs To Clipboard|CuRl", "Add to Sensitive Servers|SSb\xBF"}},
      {"three queued in the Filters view",
       threeQueued,
       nullptr,
       filters,
       {"Start Downloads|StaD", "-", "Edit Downloads...|Edit", "Hold Downloads|HolD",
        "Move To Top of Queue|MvIT", "Shift up|DSUp", "~Shift up 5|DSU5", "Shift down|DSDo",
        "~Shift down 5|DSD5", "-", "View Transfer Details...|Vdet", "Copy URLs To Clipboard|CuRl",
        "Add to Sensitive Servers|SSb\xBF"}},
      {"one running download",
       {Row(running)},
       nullptr,
       five,
       {"Show in Folder|RFin", "-", "Stop Download|StoD", "-", "View Transfer Details...|Vdet",
        "Copy URL To Clipboard|CuRl", "Add to Sensitive Servers|SSb\xBF"}},
      {"a paused peer's item",
       {Row(paused)},
       nullptr,
       five,
       {"Resume Download|StaD", "-", "Hold Download|HolD", "Queue Download|QDow", "-",
        "Copy URL To Clipboard|CuRl", "Add to Sensitive Servers|SSb\xBF", "-", "Direct Transfer|DirT"}},
      {"two uploads to the file-hosting service",
       {toHosting(0), toHosting(1)},
       nullptr,
       uploads,
       {"Start Uploads|StaD", "-", "Connect to Hosts|CoH%", "Edit Uploads...|Edit", "Hold Uploads|HolD",
        "Remove Uploads...|Remo", "~Remove Uploads|Remo", "-", "Shift up|DSUp", "~Shift up 5|DSU5",
        "Shift down|DSDo", "~Shift down 5|DSD5", "-", "View Transfer Details...|Vdet",
        "Copy URLs To Clipboard|CuRl", "Copy Kill URLs To Clipboard|KCUl"}},
      {"one idle upload",
       {hosting(UINT32_MAX)},
       nullptr,
       uploads,
       {"Show in Folder|RFin", "-", "Start Upload|StaD", "-", "Connect to Host|CoH%", "Edit Upload...|Edit",
        "Queue Upload|QDow", "Remove Upload...|Remo", "~Remove Upload|Remo", "-",
        "View Transfer Details...|Vdet"}},
      {"a received file",
       {receivedRow},
       nullptr,
       five,
       {"Remove Received File...|Remo", "~Remove Received File|Remo", "-", "Connect to Host|CoH%"}},
      {"a saved server",
       {favourite},
       nullptr,
       five,
       {"Connect|CFa!", "-", "Edit...|EFa!", "Duplicate|Dupl", "-", "Remove...|Remo", "~Remove|Remo"}},
      {"empty space in an open FTP folder",
       {},
       &ftpFolder,
       five,
       {"Refresh|RFFl", "Add to My Servers|AMy\xC4", "-", "New Folder|CrSF", "-", "Show Session Log|SL*g"}},
      {"empty space at the top", {}, nullptr, five, {}},
  };
  for (const auto& c : cases) {
    const auto menu = BuildListContextMenu(c.selected, c.container, c.context);
    EXPECT_EQ(Lines(menu), c.lines) << c.name;
    if (menu) {
      EXPECT_EQ(menu->id(), kListContextMenuID);
    }
  }
}

TEST(ListContextMenu, SendToListsTheDestinationsInAdvancedModeOnly) {
  auto finished = MakeDownload("done.iso", queue::kStatusCompleted, 1000);
  finished->element().completeFile = values::Bytes{1};
  ListMenuContext context;
  context.sendTo = upload::CreateSendToMenu({});
  ASSERT_FALSE(context.sendTo.empty());
  const auto menu = BuildListContextMenu({Row(finished)}, nullptr, context);
  const auto lines = Lines(menu);
  const auto at = std::find(lines.begin(), lines.end(), "Send To|CtFi");
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(*(at - 1), "-");
  EXPECT_EQ(*(at + 1), "-");
  const auto* item = menu->Item(static_cast<int>(at - lines.begin()) + 1);
  ASSERT_TRUE(item->submenu);
  std::vector<std::string> titles;
  for (const auto& entry : context.sendTo)
    if (entry.kind != upload::SendToKind::kSeparator) titles.push_back(entry.title);
  std::vector<std::string> shown;
  for (const auto& sub : item->submenu->items())
    if (!sub.separator) shown.push_back(sub.text);
  EXPECT_EQ(shown, titles);

  context.advancedMode = false;
  const auto simple = Lines(BuildListContextMenu({Row(finished)}, nullptr, context));
  EXPECT_EQ(std::find(simple.begin(), simple.end(), "Send To|CtFi"), simple.end());
}

TEST(ListContextMenu, OpenWithLeadsForOneFileWhenSomeProgramOpensIt) {
  util::RegisterEnglishTexts();
  auto finished = MakeDownload("done.iso", queue::kStatusCompleted, 1000);
  finished->element().completeFile = values::Bytes{1};
  finished->element().completeURL = values::Url::Create("file:///tmp/done.iso");
  std::vector<std::string> asked;
  ListMenuContext context;
  context.openWithMenu = [&](const std::string& path) {
    asked.push_back(path);
    auto programs = toolbox::Menu::Create(0);
    if (path == "/tmp/done.iso") programs->AppendItem("Disk Images");
    return programs;
  };
  const auto lines = Lines(BuildListContextMenu({Row(finished)}, nullptr, context));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Open With|Owif");
  EXPECT_EQ(lines[1], "Show in Folder|RFin");
  EXPECT_EQ(asked, std::vector<std::string>{"/tmp/done.iso"});
  // Nothing opens it: no item. Two rows: no item, nobody asked.
  finished->element().completeURL = values::Url::Create("file:///tmp/other.bin");
  EXPECT_EQ(Lines(BuildListContextMenu({Row(finished)}, nullptr, context))[0], "Show in Folder|RFin");
  asked.clear();
  Lines(BuildListContextMenu({Row(finished), Row(finished)}, nullptr, context));
  EXPECT_TRUE(asked.empty());
}

TEST(ListContextMenu, OptionShowsTheFormWithoutDots) {
  const auto menu = BuildListContextMenu({Row(MakeDownload("a", queue::kStatusStopped))}, nullptr, {});
  ASSERT_TRUE(menu);
  auto shown = [&](unsigned modifiers) {
    std::vector<std::string> texts;
    for (int i : toolbox::VisibleItemIndexes(*menu, modifiers))
      if (!menu->Item(i)->separator) texts.push_back(menu->Item(i)->text);
    return texts;
  };
  const auto plain = shown(0);
  const auto option = shown(toolbox::kModifierOption);
  EXPECT_NE(std::find(plain.begin(), plain.end(), "Remove Download..."), plain.end());
  EXPECT_EQ(std::find(plain.begin(), plain.end(), "Remove Download"), plain.end());
  EXPECT_NE(std::find(option.begin(), option.end(), "Remove Download"), option.end());
  EXPECT_EQ(std::find(option.begin(), option.end(), "Remove Download..."), option.end());
}

TEST(ListContextMenu, DisplayNamesOfURLs) {
  struct Case {
    const char* url;
    const char* name;
  } cases[] = {{"http://127.0.0.1/a/b.iso", "b.iso"},
               {"file:///tmp/My%20File.txt", "My File.txt"},
               {"http://127.0.0.1/", ""},
               {"not a url at all", ""}};
  for (const auto& c : cases) EXPECT_EQ(CopyURLDisplayName(c.url), c.name) << c.url;
}

TEST(ListClipboard, EntriesEndInCarriageReturnsButTheLast) {
  EXPECT_EQ(ClipboardTextOfEntries({"a", "b", "c"}), "a\rb\rc");
  EXPECT_EQ(ClipboardTextOfEntries({"x"}), "x");
  EXPECT_EQ(ClipboardTextOfEntries({}), "");
  EXPECT_EQ(ClipboardTextOfEntries({std::string("caf\xC3\xA9"), std::string("bad\xFF")}),
            std::string("caf\xC3\xA9\rbad?"));
}

class ListMenuOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    InstallMainList();
    previous_ = SetListCommandSink([this](values::FourCharCode c) { posted_.push_back(c); });
  }
  void TearDown() override {
    SetListCommandSink(std::move(previous_));
    queue::ClearDisplayedViews();
    UninstallMainList();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  queue::WrapperRef Add(const std::string& name, queue::DownloadStatus status) {
    auto w = MakeDownload(name, status);
    queue::QueueItemsSet(w->uid(), w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    return w;
  }
  toolbox::ListView& List() { return GetMainList()->list(); }
  toolbox::ListItemID Id(const queue::WrapperRef& w) { return GetMainList()->DownloadRow(w->uid()); }
  std::vector<values::FourCharCode> posted_;
  ListCommandSink previous_;
};

TEST_F(ListMenuOnScreen, ChosenItemGoesToTheCommandHandler) {
  auto a = Add("a.bin", queue::kStatusStopped);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSelectedItems({Id(a)});
  fakes::ScriptedPresenter* presenter = nullptr;
  {
    auto scripted = std::make_unique<fakes::ScriptedPresenter>();
    presenter = scripted.get();
    auto old = toolbox::SetPresenter(std::move(scripted));
    // The menu is only known once shown: answer with its "Hold Download" item.
    const auto menu = ListContextMenuCallback(List(), false);
    ASSERT_TRUE(menu);
    presenter->ChooseMenuItemByText(menu, "Hold Download");
    // The list builds its own menu; the answer names an item of an equal one.
    const auto chosen = List().ShowContextMenu(false);
    EXPECT_EQ(chosen.command, FourCC("HolD"));
    EXPECT_EQ(posted_, std::vector<values::FourCharCode>{FourCC("HolD")});
    ASSERT_EQ(presenter->menus.size(), 1u);
    EXPECT_EQ(presenter->menus[0].placement, toolbox::MenuPlacement::kContextual);
    // A header click adds the column chooser after the (empty) selection's items.
    presenter->ChooseMenuItemByText(menu, "no such item");
    List().ShowContextMenu(true);
    ASSERT_EQ(presenter->menus.size(), 2u);
    const auto& header = *presenter->menus[1].menu;
    EXPECT_EQ(header.IndexOfCommand(FourCC("HolD")), 0) << "the selection is ignored";
    EXPECT_GT(header.CountItems(), 3);
    toolbox::SetPresenter(std::move(old));
  }
}

TEST_F(ListMenuOnScreen, DoubleClickFollowsThePreference) {
  auto a = Add("a.bin", queue::kStatusCompleted);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSelectedItems({Id(a)});
  util::SetPreferenceValue("downloadDoubleClickAction", values::Value(std::int64_t{1}));
  ListItemNotificationCallback(*GetMainList(), Id(a), toolbox::ListNotification::kItemDoubleClicked);
  EXPECT_EQ(posted_, std::vector<values::FourCharCode>{FourCC("Edit")});
  // A running download is not one the double-click takes.
  auto r = Add("r.bin", queue::kStatusDownloading);
  List().SetSelectedItems({Id(r)});
  posted_.clear();
  ListItemNotificationCallback(*GetMainList(), Id(r), toolbox::ListNotification::kItemDoubleClicked);
  EXPECT_TRUE(posted_.empty());
}

TEST_F(ListMenuOnScreen, CopiesTheSelectedDownloadsURLs) {
  auto a = Add("a.bin", queue::kStatusCompleted);
  auto b = Add("b.bin", queue::kStatusDownloading);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSortProperty(1025);
  List().SetSelectedItems({Id(a), Id(b)});
  EXPECT_EQ(CopySelectedQueueElements(queue::kStatusCompleted).size(), 1u);
  CopyDownloadURLsToClipboard();
  EXPECT_EQ(toolbox::GetClipboardText().value_or(""), "http://127.0.0.1/a.bin\rhttp://127.0.0.1/b.bin");
}

TEST_F(ListMenuOnScreen, OpeningAHistoryDayOrAFilterListsItsDownloadsAndClosingIsRemembered) {
  auto png = Add("photo.PNG", queue::kStatusCompleted);
  auto txt = Add("notes.txt", queue::kStatusCompleted);
  queue::ClearHistoryTable();
  queue::AddToHistory(png);
  queue::SetFilters({queue::DownloadFilter{.name = "Images", .extensions = {"png", "jpg"}}});
  queue::DisplayViews({queue::kHistoryViewID});

  struct Day : queue::HistoryDayRow {
    std::uint32_t key = 0;
    std::uint32_t day() const override { return key; }
    int itemCount() const override { return 1; }
    bool open() const override { return false; }
  };
  struct Filter : queue::FilterRow {
    std::string name() const override { return "Images"; }
    bool open() const override { return false; }
  };
  auto day = std::make_shared<Day>();
  day->key = static_cast<std::uint32_t>(png->element().historyGroup);
  const auto dayRow = MakeListItem(RowKind::kHistoryDay, std::static_pointer_cast<queue::HistoryDayRow>(day));
  const auto filterRow =
      MakeListItem(RowKind::kFilter, std::static_pointer_cast<queue::FilterRow>(std::make_shared<Filter>()));
  GetMainList()->RemoveAllRows();
  GetMainList()->AddRows({dayRow, filterRow}, nullptr);

  for (const auto& row : {dayRow, filterRow}) {
    ASSERT_EQ(List().OpenContainer(row.id()), toolbox::kListNoErr);
    const auto children = GetMainList()->Rows(&row);
    ASSERT_EQ(children.size(), 1u) << "only the download the container lists";
    EXPECT_EQ(children[0].as<queue::DownloadQueueWrapper>().element().filename, "photo.PNG");
    GetMainList()->RemoveRows(children);  // the same download under the next container
  }
  const queue::HistoryDay* stored = queue::FindHistoryDay(day->key);
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->open);
  EXPECT_TRUE(queue::GetFilters()[0]->open);
  // The user closes them: both are remembered closed.
  for (const auto& row : {dayRow, filterRow})
    ListItemNotificationCallback(*GetMainList(), row.id(), toolbox::ListNotification::kUserToggledContainer);
  EXPECT_FALSE(queue::FindHistoryDay(day->key)->open);
  EXPECT_FALSE(queue::GetFilters()[0]->open);
  (void)txt;
  queue::SetFilters({});
  queue::ClearHistoryTable();
}

TEST(ListContextMenuPicture, MenuOfOneFinishedDownload) {
  auto finished = MakeDownload("done.iso", queue::kStatusCompleted, 1000);
  finished->element().completeFile = values::Bytes{1};
  finished->element().completeURL = values::Url::Create("file:///tmp/done.iso");
  const auto menu = BuildListContextMenu({Row(finished)}, nullptr, {});
  ASSERT_TRUE(menu);
  QMenu qmenu;
  toolbox::FillQMenu(qmenu, menu, 0, [](const toolbox::MenuRef&, int) {});
  qmenu.setAttribute(Qt::WA_DontShowOnScreen);
  qmenu.adjustSize();
  const QImage image = qmenu.grab().toImage();
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(image.height(), 100);
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(image.save(QString::fromStdString(std::string(keep) + "/main_list_context_menu.png")));
  }
}

}  // namespace
}  // namespace ui
