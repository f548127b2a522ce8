// A custom view larger than its frame, in a scroll host.
#include <gtest/gtest.h>

#include <memory>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {
namespace {

class ScrollHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = Window::Create({.title = "Scroll", .content = {0, 0, 300, 200}});
    control_ =
        window_->AddScrollingView({.id = {kApplicationSignature, 1}, .bounds = {0, 0, 200, 100}}, view_);
    window_->Show();
    host_ = view_->GetScrollHost();
    host_->SetImageSize({1000, 2000});
    Application::Shared().ProcessPendingEvents();
  }
  void TearDown() override { window_->Release(); }

  std::shared_ptr<Window> window_;
  std::shared_ptr<View> view_ = std::make_shared<View>();
  Control* control_ = nullptr;
  ScrollHost* host_ = nullptr;
};

TEST_F(ScrollHostTest, TheViewIsItsImageAndTheHostShowsAPartOfIt) {
  ASSERT_NE(host_, nullptr);
  EXPECT_EQ(window_->FindControl(kApplicationSignature, 1), control_);
  EXPECT_EQ(view_->GetSize(), (Size{1000, 2000}));
  EXPECT_EQ(view_->HitTest({900, 1900}), 1);  // image coordinates
  EXPECT_TRUE(host_->IsScrollBarVisible(true));
  EXPECT_TRUE(host_->IsScrollBarVisible(false));
  const Rect visible = host_->VisibleArea();
  EXPECT_EQ(visible.x, 0);
  EXPECT_EQ(visible.y, 0);
  EXPECT_LE(visible.width, 200);
  EXPECT_GT(visible.width, 150);  // the frame less a scroll bar
}

TEST_F(ScrollHostTest, ScrollingIsClampedToTheImage) {
  host_->ScrollTo({300, 400});
  EXPECT_EQ(host_->Origin(), (Point{300, 400}));
  host_->ScrollTo({-50, 99999});
  const Rect visible = host_->VisibleArea();
  EXPECT_EQ(visible.x, 0);
  EXPECT_EQ(visible.y + visible.height, 2000);  // the bottom of the image, no further
}

TEST_F(ScrollHostTest, ScrollRectToVisibleMovesOnlyAsFarAsNeeded) {
  struct Case {
    Point from;
    Rect rect;
    bool moves;
  };
  const Case cases[] = {
      {{0, 0}, {500, 1500, 10, 10}, true},        // far below and right: scrolled to show it
      {{500, 1500}, {520, 1520, 10, 10}, false},  // already visible: no scroll
      {{500, 1500}, {100, 100, 10, 10}, true},    // above and left
      {{0, 0}, {0, 300, 10, 500}, true},          // taller than the frame: its top shows
  };
  for (const Case& c : cases) {
    host_->ScrollTo(c.from);
    const Point before = host_->Origin();
    host_->ScrollRectToVisible(c.rect);
    const Rect v = host_->VisibleArea();
    EXPECT_LE(v.x, c.rect.x);
    EXPECT_LE(v.y, c.rect.y);
    EXPECT_GE(v.x + v.width, c.rect.x + std::min(c.rect.width, v.width));
    EXPECT_GE(v.y + v.height, c.rect.y + std::min(c.rect.height, v.height));
    EXPECT_EQ(host_->Origin() != before, c.moves) << c.rect.x << "," << c.rect.y;
  }
}

TEST_F(ScrollHostTest, ASmallImageNeedsNoScrollBarsAndBarsCanBeTurnedOff) {
  host_->SetImageSize({100, 50});
  Application::Shared().ProcessPendingEvents();
  EXPECT_FALSE(host_->IsScrollBarVisible(true));
  EXPECT_FALSE(host_->IsScrollBarVisible(false));
  host_->SetImageSize({1000, 2000});
  host_->SetScrollBars(false, true);
  Application::Shared().ProcessPendingEvents();
  EXPECT_FALSE(host_->IsScrollBarVisible(true));
  EXPECT_TRUE(host_->IsScrollBarVisible(false));
}

}  // namespace
}  // namespace toolbox
