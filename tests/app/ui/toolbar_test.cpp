// The main window's toolbar: its arrangements, the user's arrangement kept across a restart,
// the customise dialog, the items tracked by identifier, and the search field filtering the
// list (narrowing, widening in place, rebuilding) with its recent searches. Pictures of the
// toolbar and the status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/queue/folders/displayed_views.h"
#include "app/ui/main_window/command_state.h"
#include "app/ui/main_window/status_line.h"
#include "app/ui/toolbar/main_toolbar.h"
#include "app/ui/toolbar/search_field.h"
#include "platform/prefs/preference_store.h"
#include "platform/toolbox/app/command.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/scripted_presenter.h"

namespace ui {
namespace {

std::string Id(const std::string& suffix) {
  return kMainToolbarItemPrefix + suffix;
}

std::vector<std::string> Suffixes(const std::vector<std::string>& ids) {
  std::vector<std::string> out;
  for (const auto& id : ids)
    out.push_back(id.rfind(kMainToolbarItemPrefix, 0) == 0
                      ? id.substr(std::string(kMainToolbarItemPrefix).size())
                      : id.substr(id.rfind('.') + 1));
  return out;
}

class ToolbarTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    prefs::SharedPreferences().Remove(std::string("Toolbar Configuration ") + kMainToolbarIdentifier);
    gRecentSearches.clear();
  }
  void TearDown() override {
    prefs::SharedPreferences().Remove(std::string("Toolbar Configuration ") + kMainToolbarIdentifier);
    MainWindowFixture::TearDown();
  }
  toolbox::Toolbar& Bar() { return *GetMainToolbar(); }
  toolbox::SearchField& Field() { return *GetMainSearchField(); }
  void Type(const std::string& text) { Field().UserChangedText(text); }
};

TEST_F(ToolbarTest, DefaultArrangementFollowsTheInterfaceMode) {
  struct {
    bool simple;
    std::vector<std::string> items;
  } cases[] = {
      {true,
       {"AddItem", "Download", "StopItem", "EditItem", "RevealInFinder", "RemoveItem", "separator",
        "ClearInactive", "flexiblespace", "flexiblespace", "searchItem"}},
      {false,
       {"AddItem", "Download", "StopItem", "EditItem", "RevealInFinder", "RemoveItem", "separator",
        "ClearInactive", "Schedule", "separator", "Upload", "UploadRS", "AddFromURL", "flexiblespace",
        "flexiblespace", "searchItem"}},
  };
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.simpleMode = c.simple;
    Create(state);
    EXPECT_EQ(Suffixes(Bar().ItemIdentifiers()), c.items) << c.simple;
    // Every item but the separators and spaces is tracked by its identifier.
    for (const auto& id : Bar().ItemIdentifiers()) {
      if (toolbox::IsStandardToolbarIdentifier(id)) continue;
      EXPECT_EQ(ToolbarItemsByIdentifier().count(id), 1u) << id;
    }
    DisposeMainWindow();
  }
}

TEST_F(ToolbarTest, ItemsAreMadeOnlyFromTheirTable) {
  struct {
    const char* suffix;
    const char* label;
    const char* command;
  } cases[] = {
      {"AddItem", "Add", "New "},
      {"ClearQueue", "Clear Queue", "ClrQ"},
      {"Download", "Start", "StaD"},
      {"OpenUploadFolderItem", "Upload Folder", "OUFo"},
      {"TransferLog", "Transfer Log", "Vdet"},
  };
  util::RegisterEnglishTexts();
  for (const auto& c : cases) {
    auto item = CreateMainToolbarItem(Id(c.suffix), std::nullopt);
    ASSERT_NE(item, nullptr) << c.suffix;
    EXPECT_EQ(item->label(), c.label);
    EXPECT_EQ(item->command(), Code(c.command));
  }
  EXPECT_FALSE(CreateMainToolbarItem(Id("OpenUploadFolderItem"), std::nullopt)->icon())
      << "no icon by design";
  EXPECT_EQ(CreateMainToolbarItem(Id("NoSuchItem"), std::nullopt), nullptr);
  EXPECT_EQ(CreateMainToolbarItem("org.example.AddItem", std::nullopt), nullptr);
  // Clear Queue can be made but is neither offered nor in a default set.
  const auto allowed = MainToolbarAllowedIdentifiers();
  EXPECT_EQ(std::count(allowed.begin(), allowed.end(), Id("ClearQueue")), 0);
}

TEST_F(ToolbarTest, CustomisationIsSavedAndComesBackAtTheNextStart) {
  Create();
  toolbox::ToolbarCustomizeDialog& dialog = toolbox::RunToolbarCustomizeDialog(Bar(), GetMainWindow());
  // Remove Add (first), then put Transfer Log (allowed index 7) after the first item.
  dialog.SelectCurrent(0);
  dialog.Remove();
  dialog.SelectCurrent(0);
  dialog.SelectAllowed(7);
  dialog.Add();
  dialog.SelectCurrent(1);
  dialog.MoveDown();
  Keep(dialog.Grab(), "toolbar_customize_dialog");
  dialog.Done();
  const std::vector<std::string> arranged = Bar().ItemIdentifiers();
  EXPECT_EQ(Suffixes(arranged)[0], "Download");
  EXPECT_EQ(Suffixes(arranged)[2], "TransferLog");
  EXPECT_EQ(ToolbarItemsByIdentifier().count(Id("AddItem")), 0u) << "a removed item is forgotten";
  EXPECT_EQ(ToolbarItemsByIdentifier().count(Id("TransferLog")), 1u);
  SetToolbarItemEnabled(Id("AddItem"), false);  // not in the toolbar: nothing happens

  DisposeMainWindow();
  Create();
  EXPECT_EQ(Bar().ItemIdentifiers(), arranged);
  // A damaged entry or an identifier the user could never place is dropped.
  values::Array saved{values::Value(std::string("junk")),
                      values::Value(values::Dictionary{{"identifier", values::Value(Id("ClearQueue"))}}),
                      values::Value(values::Dictionary{{"identifier", values::Value(Id("StopItem"))}})};
  prefs::SharedPreferences().Set(Bar().ConfigurationKey(), values::Value(saved));
  DisposeMainWindow();
  Create();
  EXPECT_EQ(Suffixes(Bar().ItemIdentifiers()), std::vector<std::string>{"StopItem"});
  toolbox::RunToolbarCustomizeDialog(Bar(), GetMainWindow()).UseDefaultSet();
  EXPECT_EQ(Bar().ItemIdentifiers(), MainToolbarDefaultIdentifiers(false));
}

TEST_F(ToolbarTest, TypingNarrowsDeletingWidensInPlaceAndCancelShowsAll) {
  Create();
  // Their URLs are "http://example.org/<name>": the searches use letters the URLs lack.
  for (const char* name : {"qbc.iso", "qbd.iso", "qb.txt", "w.zip"}) Add(name, queue::kStatusStopped);
  queue::RefillMainList();
  struct {
    const char* typed;
    std::set<std::string> shown;
  } steps[] = {
      {"q", {"qbc.iso", "qbd.iso", "qb.txt"}},
      {"qb", {"qbc.iso", "qbd.iso", "qb.txt"}},
      {"qbc", {"qbc.iso"}},
      {"qb", {"qbc.iso", "qbd.iso", "qb.txt"}},  // widened: rows come back without a rebuild
      {"qbd", {"qbd.iso"}},                      // neither narrower nor wider
      {"zip", {"w.zip"}},
  };
  for (const auto& s : steps) {
    Type(s.typed);
    EXPECT_EQ(ShownNames(), s.shown) << s.typed;
    EXPECT_EQ(GetMainList()->SearchText(), s.typed);
  }
  // Typing filters but records nothing until it pauses.
  EXPECT_TRUE(gRecentSearches.empty());
  SearchFieldTypingTimerFired(Field());
  EXPECT_EQ(gRecentSearches, std::vector<std::string>{"zip"});
  Field().UserCancelled();
  EXPECT_EQ(Field().Text(), "");
  EXPECT_EQ(ShownNames(), (std::set<std::string>{"qbc.iso", "qbd.iso", "qb.txt", "w.zip"}));
  EXPECT_EQ(gRecentSearches, std::vector<std::string>{"zip"}) << "cancelling records nothing";
  Pump();
  EXPECT_EQ(FindMainControl(mainwindow::kStatusText)->Text(), "3 KB in 4 items");
}

TEST_F(ToolbarTest, AfterAChangeOfViewTheNextSearchStartsFromTheWholeList) {
  Create();
  for (const char* name : {"qbc.iso", "qbd.iso", "w.zip"}) Add(name, queue::kStatusStopped);
  queue::RefillMainList();
  Type("qbc");
  EXPECT_EQ(ShownNames(), std::set<std::string>{"qbc.iso"});
  // Showing the view again empties the list's search and shows every row.
  queue::DisplayViews({queue::kMyDownloadsViewID});
  EXPECT_EQ(ShownNames(), (std::set<std::string>{"qbc.iso", "qbd.iso", "w.zip"}));
  EXPECT_EQ(Field().Text(), "") << "the field does not name a filter the list no longer applies";
  Type("w");
  EXPECT_EQ(ShownNames(), std::set<std::string>{"w.zip"});
}

TEST_F(ToolbarTest, AChangedSearchOverTwoViewsRebuildsTheList) {
  Create();
  const auto a = Add("alpha", queue::kStatusStopped);
  Add("beta", queue::kStatusStopped);
  queue::DisplayViews({queue::kMyDownloadsViewID, queue::kHistoryViewID});
  Type("alp");
  EXPECT_EQ(ShownNames(), std::set<std::string>{"alpha"});
  Type("bet");
  EXPECT_EQ(ShownNames(), std::set<std::string>{"beta"});
}

TEST_F(ToolbarTest, RecentSearchesKeepTenNewestFirstWithoutCopies) {
  Create();
  for (int i = 1; i <= 11; ++i) {
    Field().SetText("s" + std::to_string(i));
    Field().UserAccepted();
  }
  ASSERT_EQ(gRecentSearches.size(), 10u);
  EXPECT_EQ(gRecentSearches.front(), "s11");
  EXPECT_EQ(gRecentSearches.back(), "s2") << "the eleventh pushed the oldest out";
  Field().SetText("s5");
  Field().UserAccepted();
  EXPECT_EQ(gRecentSearches.size(), 10u);
  EXPECT_EQ(gRecentSearches.front(), "s5");
  Field().SetText("");
  Field().UserAccepted();
  EXPECT_EQ(gRecentSearches.front(), "s5") << "an empty search is not recorded";

  // The menu: a disabled title, the searches, a separator, Clear.
  toolbox::MenuRef menu = Field().PopulateMenu();
  ASSERT_EQ(menu->CountItems(), 13);
  EXPECT_FALSE(menu->IsItemEnabled(1));
  EXPECT_EQ(menu->Item(2)->text, "s5");
  EXPECT_TRUE(menu->Item(12)->separator);
  // Choosing a recent search fills the field, filters and moves it to the top.
  Add("s7.iso", queue::kStatusStopped);
  Add("other.iso", queue::kStatusStopped);
  queue::RefillMainList();
  const int s7 = menu->IndexOfText("s7");
  Field().UserChoseMenuCommand(menu->Item(s7)->command);
  EXPECT_EQ(Field().Text(), "s7");
  EXPECT_EQ(ShownNames(), std::set<std::string>{"s7.iso"});
  EXPECT_EQ(gRecentSearches.front(), "s7");
  Field().UserChoseMenuCommand(kRecentSearchCommand + 10);  // beyond the list: nothing
  EXPECT_EQ(Field().Text(), "s7");
  Field().UserChoseMenuCommand(kClearRecentSearchesCommand);
  EXPECT_TRUE(gRecentSearches.empty());
}

TEST_F(ToolbarTest, ChangingTheViewsSearchStringSetsTheField) {
  Create();
  PostChangeSearchString("from elsewhere");
  EXPECT_EQ(Field().Text(), "from elsewhere");
}

TEST_F(ToolbarTest, PicturesOfTheToolbarAndTheStatusLine) {
  struct {
    bool simple;
    const char* name;
  } cases[] = {{false, "toolbar_advanced"}, {true, "toolbar_simple"}};
  for (int i = 0; i < 3; ++i) Add("file" + std::to_string(i) + ".iso", queue::kStatusStopped, 700 * 1048576);
  const auto running = Add("running.iso", queue::kStatusDownloading, 3 * 1048576);
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.simpleMode = c.simple;
    Create(state);
    queue::RefillMainList();
    // The list's selection notification brings the toolbar items up to date.
    Select({running});
    Field().SetText("iso");
    RefreshStatusBar();
    Pump();
    const toolbox::Image window = GetMainWindow()->Grab();
    Keep(window, std::string(c.name) + "_window");
    // The toolbar's strip: above the content, with dark text and icons in it.
    const toolbox::Rect content = GetMainWindow()->ContentBounds();
    const int stripHeight = window.height() - static_cast<int>(content.height);
    ASSERT_GT(stripHeight, 20) << "the toolbar takes room above the content";
    Keep(window.Slice(0, 0, window.width(), stripHeight), std::string(c.name) + "_strip");
    const toolbox::Rect status = FindMainControl(mainwindow::kStatusText)->Bounds();
    Keep(window.Slice(0, stripHeight + static_cast<int>(status.y) - 4, window.width(), 24),
         std::string(c.name) + "_status_line");
    EXPECT_EQ(FindMainControl(mainwindow::kStatusText)->Text(), "2.05 GB in 4 items");
    // Stop is on for the running download; Edit is not.
    EXPECT_TRUE(ToolbarItemsByIdentifier().at(Id("StopItem"))->IsEnabled());
    EXPECT_FALSE(ToolbarItemsByIdentifier().at(Id("EditItem"))->IsEnabled());
    DisposeMainWindow();
  }
}

// The window at its least width, at 800 pixels and at its first width (860), in both
// interfaces: the search field stays in the row, the buttons that do not fit are the last
// ones of the row, none of the others is narrowed (the row never cuts a label), and the
// chevron's menu offers the hidden items with commands; choosing one does what a click on
// it does.
TEST_F(ToolbarTest, ItemsThatDoNotFitGoUnderTheChevronInTheirOrder) {
  std::vector<values::FourCharCode> reached;
  auto catcher = runtime::EventTarget::Application()->InstallHandler(
      {{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
      [&](runtime::HandlerCall&, runtime::Event& event) {
        reached.push_back(toolbox::GetCommand(event).id);
        return runtime::kNoErr;
      });
  struct Case {
    bool simple;
    int width;
    bool someHidden;
  } cases[] = {{false, 480, true}, {false, 800, true}, {false, 860, true},
               {true, 480, true},  {true, 800, false}, {true, 860, false}};
  for (const Case& c : cases) {
    const std::string name = std::string(c.simple ? "simple_" : "advanced_") + std::to_string(c.width);
    SCOPED_TRACE(name);
    MainWindowStartState state;
    state.simpleMode = c.simple;
    Create(state);
    toolbox::Window& window = *GetMainWindow();
    window.SizeContent(c.width, 500);
    Pump();
    const toolbox::Image picture = window.Grab();
    const int strip = picture.height() - static_cast<int>(window.ContentBounds().height);
    Keep(picture.Slice(0, 0, picture.width(), strip), "toolbar_" + name);

    const auto& items = Bar().items();
    const auto& hidden = Bar().OverflowItems();
    EXPECT_EQ(!hidden.empty(), c.someHidden) << hidden.size() << " hidden";
    ASSERT_LE(hidden.size(), items.size());
    // The search field is never among them; the hidden ones are the end of the row, in
    // its order, leaving out the field and the spaces that keep it at the row's end.
    std::vector<toolbox::ToolbarItemRef> rowEnd;
    bool field = false;
    for (const auto& item : items) {
      if (item->searchField()) field = true;
      if (item->searchField() || item->identifier() == toolbox::kToolbarFlexibleSpaceIdentifier) continue;
      rowEnd.push_back(item);
    }
    EXPECT_TRUE(field);
    EXPECT_TRUE(std::none_of(hidden.begin(), hidden.end(), [](const auto& i) { return i->searchField(); }));
    ASSERT_LE(hidden.size(), rowEnd.size());
    EXPECT_TRUE(std::equal(hidden.begin(), hidden.end(), rowEnd.end() - static_cast<long>(hidden.size())));

    const toolbox::MenuRef menu = Bar().MakeOverflowMenu();
    std::vector<values::FourCharCode> offered;
    for (const auto& item : menu->items())
      if (!item.separator) offered.push_back(item.command);
    std::vector<values::FourCharCode> expected;
    for (const auto& item : hidden)
      if (item->command() != 0 || item->searchField()) expected.push_back(item->command());
    EXPECT_EQ(offered, expected);

    // The first item offered that is enabled: chosen from the chevron's menu, its command
    // reaches the application as a click would send it.
    int index = 0;
    for (int i = 1; i <= menu->CountItems() && index == 0; ++i)
      if (!menu->Item(i)->separator && menu->IsItemEnabled(i)) index = i;
    if (index != 0) {
      fakes::ScopedScriptedPresenter presenter;
      presenter->menu_answers.push_back({nullptr, index, menu->Item(index)->command});
      reached.clear();
      Bar().ShowOverflowMenu({static_cast<double>(c.width) - 20, 0});
      ASSERT_EQ(presenter->menus.size(), 1u);
      EXPECT_EQ(reached, std::vector<values::FourCharCode>{menu->Item(index)->command});
    }
    DisposeMainWindow();
  }
  catcher->Remove();
}

}  // namespace
}  // namespace ui
