// The split view's layout by ratio, its drag limits, and the shader over a window.
#include <gtest/gtest.h>

#include "app/ui/views/split_views.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/windows/window.h"

namespace ui {
namespace {

using toolbox::Rect;

class SplitViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolbox::WindowSpec desc;
    desc.content = {0, 0, 404, 200};
    window_ = toolbox::Window::Create(desc);
    left_ = Pane(1, {0, 20, 200, 180});
    right_ = Pane(2, {204, 20, 200, 180});
    split_ = std::make_shared<SplitView>();
    toolbox::ControlSpec s;
    s.id = {toolbox::kApplicationSignature, 3};
    s.bounds = {200, 0, kSplitViewWidth, 200};
    bar_ = window_->AddView(s, split_);
    split_->SetFirstViews({left_});
    split_->SetSecondViews({right_});
    split_->SetArea(0, 404);
  }
  void TearDown() override { window_->Release(); }
  toolbox::Control* Pane(std::int32_t id, Rect r) {
    toolbox::ControlSpec s;
    s.kind = toolbox::ControlKind::kUserPane;
    s.id = {toolbox::kApplicationSignature, id};
    s.bounds = r;
    return window_->AddControl(s);
  }
  toolbox::WindowRef window_;
  toolbox::Control *left_ = nullptr, *right_ = nullptr, *bar_ = nullptr;
  std::shared_ptr<SplitView> split_;
};

TEST_F(SplitViewTest, RatioLaysOutBothSides) {
  struct Case {
    double ratio;
    Rect left, right;
    double bar;
  } cases[] = {
      {0.5, {0, 20, 200, 180}, {204, 20, 200, 180}, 200},
      {0, {0, 20, 0, 180}, {4, 20, 400, 180}, 0},
      {1, {0, 20, 400, 180}, {404, 20, 0, 180}, 400},
      {0.25, {0, 20, 100, 180}, {104, 20, 300, 180}, 100},
  };
  for (const auto& c : cases) {
    split_->SetRatio(c.ratio);
    EXPECT_EQ(left_->Bounds(), c.left) << c.ratio;
    EXPECT_EQ(right_->Bounds(), c.right) << c.ratio;
    EXPECT_EQ(bar_->Bounds().x, c.bar) << c.ratio;
    EXPECT_EQ(bar_->Bounds().width, kSplitViewWidth);
    // Read back as set, so that hiding and showing the pane does not creep.
    EXPECT_DOUBLE_EQ(split_->GetRatio(), c.ratio);
  }
}

TEST_F(SplitViewTest, DragStopsAtItsLimitsAndAStillClickChangesNothing) {
  split_->SetRatio(0.5);
  split_->HandleMouseDown({{3, 100}});
  split_->HandleMouseUp({{3, 100}});
  EXPECT_EQ(left_->Bounds().width, 200);
  split_->HandleMouseDown({{3, 100}});
  split_->HandleMouseMoved({{53, 100}});
  EXPECT_EQ(left_->Bounds().width, 250);
  split_->HandleMouseMoved({{-5000, 100}});
  split_->HandleMouseUp({{-5000, 100}});
  const double low = left_->Bounds().width;
  EXPECT_GE(low, 0);
  EXPECT_LT(low, 250);
  split_->HandleMouseDown({{3, 100}});
  split_->HandleMouseMoved({{-6000, 100}});
  split_->HandleMouseUp({{-6000, 100}});
  EXPECT_EQ(left_->Bounds().width, low) << "the low limit holds";
}

TEST(Shader, CoversWithTranslucentBlack) {
  toolbox::WindowSpec desc;
  desc.content = {0, 0, 100, 60};
  auto window = toolbox::Window::Create(desc);
  toolbox::ControlSpec s;
  s.bounds = {0, 0, 100, 60};
  window->AddView(s, std::make_shared<Shader>());
  window->Show();
  toolbox::Application::Shared().ProcessPendingEvents();
  const auto pixel = window->Grab().PixelAt(50, 30);
  // Black at alpha 0.525 over the window's light background.
  EXPECT_LT(pixel.red, 0.5);
  EXPECT_GT(pixel.red, 0.3);
  window->Release();
}

}  // namespace
}  // namespace ui
