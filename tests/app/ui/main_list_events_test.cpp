// The main list's keys, drawing and size changes as its window's handlers take them: Return
// and Enter start the selected downloads (or end the editing of a cell), the drop insertion
// mark lands on its row, and the horizontal scroll bar follows the columns' width.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/services/remote_rows.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_window/window_commands.h"
#include "app/util/helpers/task_helpers.h"
#include "platform/toolbox/controls/control_events.h"
#include "platform/toolbox/drawing/recording_context.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/fake_list_rows.h"

namespace ui {
namespace {

using values::FourCC;

class Favourites : public browser::NoRemoteRows {
 public:
  std::vector<browser::FavouriteRowRef> CopyFavourites() override { return favourites; }
  bool HasFavouriteNamed(const std::string& name) override {
    for (auto& f : favourites)
      if (f->name() == name) return true;
    return false;
  }
  void RenameFavourite(const browser::FavouriteRowRef& f, const std::string& name) override {
    static_cast<fakes::FakeFavourite&>(*f).favName = name;
  }
  std::vector<browser::FavouriteRowRef> favourites;
};

class MainListEventsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    // The application's command handler stands in: which commands reach it.
    catcher_ = runtime::EventTarget::Application()->InstallHandler(
        {{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
        [this](runtime::HandlerCall&, runtime::Event& event) {
          reached_.push_back(toolbox::GetCommand(event).id);
          return runtime::kNoErr;
        });
  }
  void TearDown() override {
    catcher_->Remove();
    browser::RemoteRowsServiceSlot::Set(nullptr);
    MainWindowFixture::TearDown();
  }
  toolbox::ListView& List() { return GetMainList()->list(); }

  runtime::HandlerRef catcher_;
  std::vector<values::FourCharCode> reached_;
};

TEST_F(MainListEventsTest, ReturnAndEnterStartDownloadsOrEndTheEditing) {
  auto remote = std::make_unique<Favourites>();
  auto favourite = std::make_shared<fakes::FakeFavourite>();
  favourite->favName = "server";
  remote->favourites = {favourite};
  browser::RemoteRowsServiceSlot::Set(std::move(remote));
  Create();
  queue::DisplayViews({queue::kMyServersViewID});
  const auto row = MakeListItem(RowKind::kFavourite, favourite).id();
  ASSERT_TRUE(List().HasItem(row));
  struct {
    std::uint8_t key;
    bool editing;
    bool taken;  // the list does nothing more with it
    bool startsDownloads;
  } cases[] = {
      {13, false, true, true},   {3, false, true, true},     {'a', false, false, false},
      {27, false, false, false}, {' ', false, false, false}, {13, true, true, false},
      {3, true, true, false},    {'a', true, false, false},
  };
  for (const auto& c : cases) {
    reached_.clear();
    if (c.editing) {
      ASSERT_TRUE(List().BeginEdit(row, kColServerName));
    }
    EXPECT_EQ(List().KeyDown(c.key), c.taken) << int(c.key) << (c.editing ? " editing" : "");
    EXPECT_EQ(reached_ == std::vector<values::FourCharCode>{FourCC("StaD")}, c.startsDownloads)
        << int(c.key) << (c.editing ? " editing" : "");
    // Return or Enter ends the editing; another key leaves it going.
    EXPECT_EQ(List().IsEditing(), c.editing && !c.taken) << int(c.key);
    if (List().IsEditing()) List().EndEdit();
  }
  EXPECT_EQ(favourite->favName, "server");
}

TEST_F(MainListEventsTest, TheInsertionMarkIsALineAtTheTopOfTheTargetRow) {
  Create();
  const std::vector<queue::WrapperRef> downloads = {
      Add("a", queue::kStatusQueued), Add("b", queue::kStatusQueued), Add("c", queue::kStatusQueued)};
  queue::DisplayViews({queue::kMyDownloadsViewID});
  List().SetSize(500, 300);
  List().FlushPainting();
  const toolbox::ListPropertyID first = List().Columns().front();
  for (const auto& d : downloads) {
    const auto id = GetMainList()->DownloadRow(d->uid());
    const auto cell = List().CellRect(id, first);
    ASSERT_TRUE(cell) << d->element().filename;
    toolbox::RecordingContext ctx({0, 0, 480, 280});
    DrawDropInsertionMark(ctx, List(), id);
    const auto strokes = ctx.OpsOfKind(toolbox::RecordedOp::Kind::kStroke);
    ASSERT_EQ(strokes.size(), 1u) << ctx.Describe();
    const double y = cell->Top() + 1;
    const std::vector<toolbox::PathElement> line = {{toolbox::PathElement::Kind::kMove, {0, y}, {}, {}},
                                                    {toolbox::PathElement::Kind::kLine, {480, y}, {}, {}}};
    EXPECT_EQ(strokes[0].path, line) << d->element().filename << ": " << ctx.Describe();
    EXPECT_EQ(strokes[0].state.line_width, 2);
    EXPECT_EQ(strokes[0].state.stroke, toolbox::Color::Black());
  }
  // No drag over the list: its drawing gets no mark.
  toolbox::RecordingContext ctx({0, 0, 480, 280});
  List().SendDraw(ctx);
  EXPECT_TRUE(ctx.ops().empty()) << ctx.Describe();
}

TEST(MainListScrollBars, TheHorizontalBarShowsOnlyForColumnsWiderThanTheListLessTheVerticalBar) {
  struct {
    int columns;
    double list;
    bool horizontal;
  } cases[] = {{300, 600, false}, {586, 600, false}, {587, 600, true}, {1200, 600, true}, {0, 100, false}};
  for (const auto& c : cases)
    EXPECT_EQ(MainListNeedsHorizontalScrollBar(c.columns, c.list), c.horizontal)
        << c.columns << " in " << c.list;
}

TEST_F(MainListEventsTest, ASizeChangeShowsOrHidesTheHorizontalBarAndAHiddenBarScrollsBack) {
  // The list on its own, off the window (whose layout would give it its own size), with the
  // list's handler on its target.
  Add("a", queue::kStatusQueued);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  auto target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
  auto handler = target->InstallHandler({{toolbox::kEventClassControl, toolbox::kEventControlBoundsChanged}},
                                        MainWindowEventHandler);
  List().SetEventTarget(target);
  const int columns = List().ColumnsWidth();
  ASSERT_GT(columns, 100);
  struct {
    double width;
    bool horizontal;
  } steps[] = {
      {columns + 14.0, false}, {columns + 13.0, true}, {columns / 2.0, true}, {columns + 200.0, false}};
  double previous = 0;
  for (const auto& s : steps) {
    List().SetSize(static_cast<int>(s.width), 300);
    List().SetHorizontalOffset(40);
    List().SendBoundsChanged({s.width, 300}, {previous, 300});
    previous = s.width;
    EXPECT_TRUE(List().VerticalScrollBarShown()) << s.width;
    EXPECT_EQ(List().HorizontalScrollBarShown(), s.horizontal) << s.width;
    if (!s.horizontal) {
      EXPECT_EQ(List().HorizontalOffset(), 0) << s.width;
    }
  }
  List().SetEventTarget(nullptr);
  handler->Remove();
}

TEST_F(MainListEventsTest, ANewDownloadIsShownByOneRequestToTheApplicationAtATime) {
  Create();
  std::vector<std::uint32_t> shown;
  auto handler = runtime::EventTarget::Application()->InstallHandler(
      {{util::kEventClassApplication, 1030}}, [&](runtime::HandlerCall&, runtime::Event& event) {
        shown.push_back(event.Get<std::uint32_t>(FourCC("QUid")).value_or(0));
        SetShowDownloadPending(false);
        return runtime::kNoErr;
      });
  auto& services = MainListServicesSlot::Get();
  services.RequestShowDownload(41);
  EXPECT_TRUE(IsShowDownloadPending());
  services.RequestShowDownload(42);  // while the first waits: dropped
  Pump();
  services.RequestShowDownload(43);
  Pump();
  handler->Remove();
  EXPECT_EQ(shown, (std::vector<std::uint32_t>{41, 43}));
  EXPECT_FALSE(IsShowDownloadPending());
}

}  // namespace
}  // namespace ui
