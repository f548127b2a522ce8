// The small views: the filter bar's buttons and commands, the small button's face and
// menu, and the pane divider's limits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/ui/main_window/main_window.h"
#include "app/ui/views/small_views.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/windows/window.h"
#include "tests/fakes/scripted_presenter.h"

namespace ui {
namespace {

using toolbox::Rect;

class SmallViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolbox::WindowSpec desc;
    desc.content = {0, 0, 600, 300};
    window_ = toolbox::Window::Create(desc);
    handler_ = window_->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                                       [this](runtime::HandlerCall&, runtime::Event& e) {
                                         commands_.push_back(toolbox::GetCommand(e).id);
                                         return runtime::kNoErr;
                                       });
  }
  void TearDown() override { window_->Release(); }
  template <class V>
  V& Add(Rect frame, std::int32_t id = 1, values::FourCharCode command = 0) {
    auto view = std::make_shared<V>();
    toolbox::ControlSpec desc;
    desc.id = {toolbox::kApplicationSignature, id};
    desc.bounds = frame;
    desc.command = command;
    window_->AddView(desc, view);
    return *view;
  }
  toolbox::WindowRef window_;
  runtime::HandlerRef handler_;
  std::vector<values::FourCharCode> commands_;
};

TEST_F(SmallViewsTest, FilterBarButtonsAndCommands) {
  auto& bar = Add<FilterBar>({0, 0, 600, 25});
  bar.SetLabels({"All", "Queued", "Paused"});
  bar.SetButtonCommand(0, values::FourCC("SbSA"));
  bar.SetButtonCommand(2, values::FourCC("SbSP"));
  bar.SetButtonCommand(3, values::FourCC("nope"));  // out of range: ignored
  bar.SetButtonCommand(-1, values::FourCC("nope"));
  // Buttons from x 13, each the label's width plus 14, the next 16 after the label.
  const Rect first = bar.ButtonRect(0), second = bar.ButtonRect(1);
  EXPECT_EQ(first.x, 6);
  EXPECT_EQ(first.y, 4);
  EXPECT_EQ(first.height, 17);
  // The next label starts 16 after the end of this one's (x + w + 16).
  EXPECT_EQ(second.x + 7, first.x + 7 + (first.width - 14) + 16);
  const auto click = [&](int index, double dx = 0) {
    const Rect r = bar.ButtonRect(index);
    bar.HandleMouseDown({{r.x + 10, r.y + 8}});
    bar.HandleMouseUp({{r.x + 10 + dx, r.y + 8}});
  };
  click(2);
  EXPECT_EQ(bar.SelectedIndex(), 2);
  EXPECT_EQ(commands_, std::vector<values::FourCharCode>{values::FourCC("SbSP")});
  // A button without command only moves the mark.
  click(1);
  EXPECT_EQ(bar.SelectedIndex(), 1);
  EXPECT_EQ(commands_.size(), 1u);
  // Released outside: nothing.
  click(0, 400);
  EXPECT_EQ(bar.SelectedIndex(), 1);
  EXPECT_EQ(commands_.size(), 1u);
  // New labels clear every command.
  bar.SetLabels({"All", "Queued", "Paused"});
  EXPECT_EQ(bar.ButtonCommand(0), 0u);
  EXPECT_EQ(bar.ButtonCommand(2), 0u);
}

TEST_F(SmallViewsTest, FilterBarHighlightsTheButtonUnderTheMouse) {
  auto& bar = Add<FilterBar>({0, 0, 600, 25});
  bar.SetLabels({"All", "Queued", "Paused"});
  bar.SetSelectedIndex(0);
  const Rect paused = bar.ButtonRect(2);
  const auto probe = [&] { return window_->Grab().PixelAt(int(paused.x + 10), int(paused.y + 3)); };
  const toolbox::Color plain = probe();
  struct Case {
    toolbox::Point where;
    int rollover;
  } cases[] = {
      {{paused.x + 10, paused.y + 8}, 2},
      {{bar.ButtonRect(1).x + 10, 12}, 1},
      {{590, 12}, -1},  // past the last button
      {{paused.x + 10, paused.y + 8}, 2},
  };
  for (const auto& c : cases) {
    bar.HandleMouseMoved({c.where});
    EXPECT_EQ(bar.RolloverIndex(), c.rollover) << c.where.x;
  }
  EXPECT_NE(probe(), plain) << "the rollover images are drawn";
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(window_->Grab().SavePng(std::string(keep) + "/filter_bar_hover.png"));
  }
  bar.HandleMouseLeft();
  EXPECT_EQ(bar.RolloverIndex(), -1);
  EXPECT_EQ(probe(), plain);
  // A click ends the rollover; the clicked button is the selected one.
  bar.HandleMouseMoved({{paused.x + 10, paused.y + 8}});
  bar.HandleMouseDown({{paused.x + 10, paused.y + 8}});
  bar.HandleMouseUp({{paused.x + 10, paused.y + 8}});
  EXPECT_EQ(bar.RolloverIndex(), -1);
  EXPECT_EQ(bar.SelectedIndex(), 2);
}

TEST_F(SmallViewsTest, SmallButtonSendsItsCommandOrPopsItsMenu) {
  auto& plain = Add<SmallButton>({0, 0, 26, 23}, 1, values::FourCC("Band"));
  plain.HandleMouseDown({{10, 10}});
  plain.HandleMouseUp({{10, 10}});
  EXPECT_EQ(commands_, std::vector<values::FourCharCode>{values::FourCC("Band")});
  plain.HandleMouseDown({{10, 10}});
  plain.HandleMouseUp({{100, 10}});
  EXPECT_EQ(commands_.size(), 1u) << "released outside";

  fakes::ScopedScriptedPresenter presenter;
  auto& withMenu = Add<SmallButton>({40, 0, 26, 23}, 2, values::FourCC("Act!"));
  auto menu = toolbox::Menu::Create(0);
  menu->AppendItem("One", values::FourCC("one "));
  withMenu.SetMenu(menu);
  withMenu.HandleMouseDown({{10, 10}});
  withMenu.HandleMouseUp({{10, 10}});
  ASSERT_EQ(presenter->menus.size(), 1u);
  EXPECT_EQ(presenter->menus[0].where.y, 23) << "under the button";
  EXPECT_EQ(commands_.size(), 1u) << "the menu, not the command";
}

TEST(SmallButtonFace, TwoTonesAndBorder) {
  for (bool pressed : {false, true}) {
    const toolbox::Image face = toolbox::Image::Render(26, 23, toolbox::Origin::kTopLeft, [&](auto& ctx) {
      DrawSmallButtonBackground(ctx, {0, 0, 26, 23}, pressed);
    });
    // The top 12 rows (ceil(23 x 12 / 23)) are the light tone, the rest the darker one.
    EXPECT_EQ(face.PixelAt(13, 5),
              toolbox::Color::FromBytes(pressed ? 133 : 251, pressed ? 133 : 251, pressed ? 133 : 251));
    EXPECT_EQ(face.PixelAt(13, 17),
              toolbox::Color::FromBytes(pressed ? 125 : 237, pressed ? 125 : 237, pressed ? 125 : 237));
    EXPECT_NEAR(face.PixelAt(0, 10).red, (pressed ? 81 : 151) / 255.0, 0.02);
  }
}

// The divider's drag on a window laid out as the main window is.
TEST(PaneDivider, PositionLimits) {
  struct Case {
    double width, mouse, grip;
  } cases[] = {
      {800, 300, 300},  // free
      {800, 50, 140},   // at least 140
      {800, 700, 450},  // at most width - 350
      {480, 200, 130},  // 480 or less: the upper limit wins over 140
  };
  for (const auto& c : cases) {
    toolbox::WindowSpec desc;
    desc.content = {0, 0, c.width, 300};
    auto w = toolbox::Window::Create(desc);
    const auto add = [&](std::int32_t id, Rect r) {
      toolbox::ControlSpec s;
      s.kind = toolbox::ControlKind::kUserPane;
      s.id = {toolbox::kApplicationSignature, id};
      s.bounds = r;
      return w->AddControl(s);
    };
    add(mainwindow::kPaneGrip, {75, 277, 115, 23});
    add(mainwindow::kListArea, {190, 25, c.width - 190, 252});
    add(mainwindow::kBottomArea, {189, 277, c.width - 189, 23});
    add(mainwindow::kSourceList, {0, 0, 190, 277});
    DragLeftPaneSplitter(*w, c.mouse);
    const double edge =
        w->FindControl(toolbox::kApplicationSignature, mainwindow::kPaneGrip)->Bounds().Right();
    EXPECT_EQ(edge, c.grip) << c.width << " " << c.mouse;
    const Rect list = w->FindControl(toolbox::kApplicationSignature, mainwindow::kListArea)->Bounds();
    EXPECT_EQ(list.x, c.grip);
    EXPECT_EQ(list.Right(), c.width) << "the list keeps its right edge";
    EXPECT_EQ(w->FindControl(toolbox::kApplicationSignature, mainwindow::kSourceList)->Bounds().width,
              c.grip);
    w->Release();
  }
}

}  // namespace
}  // namespace ui
