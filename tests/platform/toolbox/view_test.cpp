#include "platform/toolbox/views/view.h"

#include <gtest/gtest.h>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/views/press_tracker.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {
namespace {

struct TrackStep {
  char action;  // 'p' press, 'm' move, 'r' release
  int part;     // the control part under the mouse
  int highlighted_after;
  int acted;  // release only
};

TEST(PressTracker, ActsOnlyOnAReleaseOverThePressedPart) {
  const std::vector<std::vector<TrackStep>> scripts = {
      {{'p', 1, 1, 0}, {'r', 1, 0, 1}},                                  // a plain click
      {{'p', 1, 1, 0}, {'m', 0, 0, 0}, {'r', 0, 0, 0}},                  // dragged off: nothing
      {{'p', 1, 1, 0}, {'m', 2, 0, 0}, {'m', 1, 1, 0}, {'r', 1, 0, 1}},  // off and back on
      {{'p', 2, 2, 0}, {'m', 1, 0, 0}, {'r', 1, 0, 0}},                  // released over another part
      {{'p', 0, 0, 0}, {'m', 1, 0, 0}, {'r', 1, 0, 0}},                  // pressed on no part
  };
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    PressTracker t;
    for (const TrackStep& s : scripts[i]) {
      int acted = 0;
      if (s.action == 'p') t.Press(s.part);
      if (s.action == 'm') t.Move(s.part);
      if (s.action == 'r') acted = t.Release(s.part);
      EXPECT_EQ(t.highlighted_part(), s.highlighted_after) << "script " << i << " step " << s.action;
      EXPECT_EQ(acted, s.acted) << "script " << i;
    }
  }
}

// Two buttons side by side (parts 1 and 2) and a divider at the right that tracks.
class TwoButtonView : public View {
 public:
  int HitTest(Point p) override {
    if (p.x < 0 || p.y < 0 || p.y >= 20) return 0;
    if (p.x < 40) return 1;
    if (p.x < 80) return 2;
    if (p.x < 90) return 3;
    return 0;
  }
  void Draw(DrawingContext& ctx, const Rect&) override {
    ctx.SetFillColor(highlighted_part() == 1 ? Color{1, 0, 0, 1} : Color{0, 0, 1, 1});
    ctx.FillRect({0, 0, 40, 20});
    ++draws;
  }
  void OnPartClicked(int part, const MouseEvent&) override { clicked.push_back(part); }
  bool TracksContinuously(int part) const override { return part == 3; }
  void OnTrack(int part, const MouseEvent& e, bool released) override {
    track.push_back(e.where.x);
    if (released) track.push_back(-1);
  }
  bool OnContextualClick(const MouseEvent& e) override {
    contextual = e.where;
    return true;
  }
  bool AcceptsFocus() const override { return true; }
  bool OnKey(const KeyEvent& e) override {
    keys.push_back(e.key);
    return e.key == kKeyReturn;
  }
  unsigned OnDragEnter(const Drag& d) override {
    return !d.items.empty() && d.items[0].HasFlavor(kFlavorFileURL) ? kDragActionCopy : kDragActionNone;
  }
  bool OnDrop(const Drag& d) override {
    dropped = d.items[0].Flavor(kFlavorFileURL).value_or("");
    return true;
  }

  std::vector<int> clicked;
  std::vector<double> track;
  std::vector<int> keys;
  Point contextual;
  std::string dropped;
  int draws = 0;
};

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = Window::Create({.content = {0, 0, 200, 100}});
    view = std::make_shared<TwoButtonView>();
    control = window->AddView({.id = {kApplicationSignature, 9}, .bounds = {10, 10, 100, 20}}, view);
  }
  void TearDown() override {
    window->Release();
    Application::Shared().ProcessPendingEvents();
  }
  static MouseEvent At(double x, double y) { return {{x, y}, 0, 1}; }

  std::shared_ptr<Window> window;
  std::shared_ptr<TwoButtonView> view;
  Control* control = nullptr;
};

TEST_F(ViewTest, IsAControlOfItsWindow) {
  EXPECT_EQ(window->FindControl(kApplicationSignature, 9), control);
  EXPECT_EQ(control->GetView(), view.get());
  EXPECT_EQ(view->Bounds(), (Rect{10, 10, 100, 20}));
  EXPECT_EQ(view->window(), window.get());
}

TEST_F(ViewTest, PressesActOnReleaseAndContinuousPartsTrackEveryMove) {
  view->HandleMouseDown(At(5, 5));
  EXPECT_EQ(view->highlighted_part(), 1);
  view->HandleMouseMoved(At(50, 5));
  EXPECT_EQ(view->highlighted_part(), 0);
  view->HandleMouseUp(At(50, 5));
  view->HandleMouseDown(At(45, 5));
  view->HandleMouseUp(At(60, 5));
  EXPECT_EQ(view->clicked, (std::vector<int>{2}));

  view->HandleMouseDown(At(85, 5));
  view->HandleMouseMoved(At(120, 5));
  view->HandleMouseUp(At(130, 5));
  EXPECT_EQ(view->track, (std::vector<double>{85, 120, 130, -1}));
  EXPECT_EQ(view->clicked.size(), 1u) << "a tracked part is not clicked";

  control->SetEnabled(false);
  view->HandleMouseDown(At(5, 5));
  view->HandleMouseUp(At(5, 5));
  EXPECT_EQ(view->clicked.size(), 1u) << "a disabled view takes no clicks";
}

TEST_F(ViewTest, DrawsThePressedPartHighlightedInAGrab) {
  window->Show();
  view->HandleMouseDown(At(5, 5));
  const Image pressed = window->Grab();
  view->HandleMouseUp(At(5, 5));
  const Image released = window->Grab();
  EXPECT_EQ(pressed.PixelAt(20, 20), (Color{1, 0, 0, 1}));
  EXPECT_EQ(released.PixelAt(20, 20), (Color{0, 0, 1, 1}));
}

TEST_F(ViewTest, KeysContextualClicksAndDrops) {
  EXPECT_TRUE(view->HandleKey({"\r", kKeyReturn, 0}));
  EXPECT_FALSE(view->HandleKey({"a", 'a', 0}));
  EXPECT_EQ(view->keys, (std::vector<int>{kKeyReturn, 'a'}));

  EXPECT_TRUE(view->HandleContextualClick(At(30, 4)));
  EXPECT_EQ(view->contextual, (Point{30, 4}));

  Drag text;
  text.items.push_back({{{kFlavorText, "hello"}}, {}});
  EXPECT_EQ(view->OnDragEnter(text), kDragActionNone);
  Drag file;
  file.items.push_back({{{kFlavorFileURL, "file:///tmp/a.zip"}}, {}});
  EXPECT_EQ(view->OnDragEnter(file), kDragActionCopy);
  EXPECT_TRUE(view->OnDrop(file));
  EXPECT_EQ(view->dropped, "file:///tmp/a.zip");
}

}  // namespace
}  // namespace toolbox
