// The path bar: components from a path, the path of each segment, segments collapsing
// into the chevron and coming back, and a press that is released elsewhere.
#include <gtest/gtest.h>

#include "app/ui/views/path_bar.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/windows/window.h"
#include "tests/fakes/scripted_presenter.h"

namespace ui {
namespace {

class Navigations : public PathBarOwner {
 public:
  std::vector<std::string> paths;
  void PathBarNavigate(const std::string& path) override { paths.push_back(path); }
};

TEST(PathBar, ComponentsOfAPath) {
  struct Case {
    const char* path;
    std::vector<std::string> components;
  } cases[] = {{"/", {}}, {"", {}}, {"/a//b/", {"a", "b"}}, {"a/b c", {"a", "b c"}}};
  for (const auto& c : cases) {
    PathBar bar;
    bar.SetPath(c.path);
    EXPECT_EQ(bar.Components(), c.components) << c.path;
  }
  PathBar fresh;
  EXPECT_EQ(fresh.Components(), std::vector<std::string>{"Path"});
}

TEST(PathBar, PathOfEachSegment) {
  PathBar bar;
  bar.SetComponents({"host", "a", "b"});
  EXPECT_EQ(bar.CopyPathToSegment(2), "/host/a/b");
  bar.SetFirstIsLabel(true);
  EXPECT_EQ(bar.CopyPathToSegment(0), "/");
  EXPECT_EQ(bar.CopyPathToSegment(1), "/a");
  EXPECT_EQ(bar.CopyPathToSegment(2), "/a/b");
  EXPECT_EQ(bar.CopyPathToSegment(kPathBarIconIndex), "/");
}

TEST(PathBar, SegmentsCollapseIntoTheChevronAndComeBack) {
  PathBar bar;
  bar.SetMeasurer([](const std::string& s) { return 10.0 * static_cast<double>(s.size()); });
  bar.SetIcon(toolbox::Image::Render(16, 16, toolbox::Origin::kTopLeft, [](auto&) {}));
  bar.SetComponents({"home", "user", "Downloads", "archives"});  // widths 56, 56, 106, 96
  bar.Layout(1000);
  EXPECT_EQ(bar.SegmentWidths(), (std::vector<int>{56, 56, 106, 96}));
  EXPECT_EQ(bar.FirstCollapsed(), -1);
  // 200 - 29 + 20 = 191: home (56 + 33 fits), user (135 left, fits), Downloads does not.
  bar.Layout(200);
  EXPECT_EQ(bar.SegmentWidths(), (std::vector<int>{56, 56, 0, 0}));
  const auto menu = bar.ChevronMenu();
  ASSERT_EQ(menu->CountItems(), 2);
  EXPECT_EQ(menu->Item(1)->text, "Downloads");
  EXPECT_EQ(menu->Item(2)->text, "archives");
  EXPECT_EQ(menu->ItemMark(2), toolbox::kCheckMark);
  EXPECT_EQ(menu->ItemMark(1), 0u);
  bar.Layout(1000);
  EXPECT_EQ(bar.FirstCollapsed(), -1);
}

TEST(PathBar, HitTesting) {
  PathBar bar;
  bar.SetMeasurer([](const std::string& s) { return 10.0 * static_cast<double>(s.size()); });
  bar.SetIcon(toolbox::Image::Render(16, 16, toolbox::Origin::kTopLeft, [](auto&) {}));
  bar.SetComponents({"ab", "cd"});  // 36 each: segment 0 at 29..65, segment 1 at 60..96
  bar.Layout(400);
  struct Case {
    double x;
    int hit;
  } cases[] = {{2, kPathBarIconIndex}, {30, 0}, {64, 0}, {66, 1}, {95, 1}, {97, kPathBarNone}};
  for (const auto& c : cases) EXPECT_EQ(bar.HitTestSegment({c.x, 10}), c.hit) << c.x;
}

TEST(PathBar, ClickNavigatesOnlyWhenReleasedOnTheSegment) {
  toolbox::WindowSpec desc;
  desc.content = {0, 0, 400, 20};
  auto window = toolbox::Window::Create(desc);
  auto bar = std::make_shared<PathBar>();
  toolbox::ControlSpec c;
  c.bounds = {0, 0, 400, 20};
  window->AddView(c, bar);
  Navigations owner;
  bar->SetOwner(&owner);
  bar->SetMeasurer([](const std::string& s) { return 10.0 * static_cast<double>(s.size()); });
  bar->SetComponents({"srv", "pub", "iso"});
  bar->SetFirstIsLabel(true);
  bar->Layout(400);
  const double pub = bar->GetSegmentRect(1).x + 10;
  bar->HandleMouseDown({{pub, 10}});
  EXPECT_EQ(bar->TrackedSegment(), 1);
  bar->HandleMouseMoved({{350, 10}});
  EXPECT_EQ(bar->TrackedSegment(), kPathBarNone);
  bar->HandleMouseUp({{350, 10}});
  EXPECT_TRUE(owner.paths.empty());
  bar->HandleMouseDown({{pub, 10}});
  bar->HandleMouseUp({{pub + 2, 10}});
  bar->HandleMouseDown({{5, 10}});
  bar->HandleMouseUp({{5, 10}});
  EXPECT_EQ(owner.paths, (std::vector<std::string>{"/pub", "/"}));
  // The chevron's menu navigates to the chosen collapsed segment.
  fakes::ScopedScriptedPresenter presenter;
  bar->Layout(100);
  ASSERT_EQ(bar->FirstCollapsed(), 1);
  presenter->menu_answers.push_back({nullptr, 2, 0});
  const double chevronX =
      100 + 2 + std::trunc((400 - 14 - bar->GetSegmentRect(1).x) / 2) - 100 + bar->GetSegmentRect(1).x;
  bar->HandleMouseDown({{chevronX + 5, 8}});
  bar->HandleMouseUp({{chevronX + 5, 8}});
  ASSERT_EQ(presenter->menus.size(), 1u);
  EXPECT_EQ(owner.paths.back(), "/pub/iso");
  window->Release();
}

}  // namespace
}  // namespace ui
