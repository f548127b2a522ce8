#include "app/util/settings/window_bounds_prefs.h"

#include <gtest/gtest.h>

#include "platform/prefs/preference_store.h"
#include "tests/fakes/fake_ui_services.h"

namespace {

ui::WindowRef Window(int n) {
  return reinterpret_cast<ui::WindowRef>(static_cast<std::uintptr_t>(n));
}

TEST(WindowRectPref, StoresFourSixteenBitEdges) {
  util::SaveWindowRectPref({20, 10, 220, 310}, "test window a");
  std::optional<values::Value> stored = prefs::SharedPreferences().CopyValue("test window a");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->Find("left")->AsNumber()->kind, values::Number::Kind::kInt16);
  EXPECT_EQ(*stored, (values::Value{{"left", 10}, {"right", 310}, {"top", 20}, {"bottom", 220}}));
  util::Rect r;
  ASSERT_TRUE(util::LoadWindowRectPref(r, "test window a"));
  EXPECT_EQ(r, (util::Rect{20, 10, 220, 310}));
}

TEST(WindowRectPref, NothingOrSomethingElseStoredReadsAsNothing) {
  util::Rect r{1, 2, 3, 4};
  EXPECT_FALSE(util::LoadWindowRectPref(r, "test window never saved"));
  prefs::SharedPreferences().Set("test window odd",
                                 values::Value{{"left", 1}, {"right", "x"}, {"top", 0}, {"bottom", 0}});
  EXPECT_FALSE(util::LoadWindowRectPref(r, "test window odd"));
  EXPECT_EQ(r, (util::Rect{1, 2, 3, 4}));
}

TEST(RestoreWindowBoundsPref, KeepSizeMovesOnlyAndStaysOnScreen) {
  fakes::ScopedFakeUi fake;
  fake->screen = {0, 0, 800, 1000};
  fake->windows[Window(1)].bounds = {100, 100, 300, 400};  // 300 x 200
  EXPECT_FALSE(util::RestoreWindowBoundsPref(Window(1), "test window nothing", true));
  EXPECT_TRUE(fake->calls.empty());

  util::SaveWindowRectPref({50, 60, 70, 80}, "test window b");
  EXPECT_TRUE(util::RestoreWindowBoundsPref(Window(1), "test window b", true));
  EXPECT_EQ(fake->windows[Window(1)].bounds, (util::Rect{50, 60, 250, 360}));
  EXPECT_EQ(fake->calls.back(), "ConstrainWindowToScreen");

  // Saved on a screen that is gone: moved back onto this one.
  util::SaveWindowRectPref({-500, 3000, -300, 3300}, "test window c");
  util::RestoreWindowBoundsPref(Window(1), "test window c", true);
  EXPECT_EQ(fake->windows[Window(1)].bounds, (util::Rect{0, 700, 200, 1000}));

  // Without keepSize the saved size is used and may shrink to fit.
  util::SaveWindowRectPref({0, 0, 900, 500}, "test window d");
  util::RestoreWindowBoundsPref(Window(1), "test window d", false);
  EXPECT_EQ(fake->calls.back(), "ConstrainWindowToScreen may-resize");
  EXPECT_EQ(fake->windows[Window(1)].bounds, (util::Rect{0, 0, 800, 500}));

  util::SaveWindowBoundsPref(Window(1), "test window e");
  util::Rect r;
  ASSERT_TRUE(util::LoadWindowRectPref(r, "test window e"));
  EXPECT_EQ(r, (util::Rect{0, 0, 800, 500}));
}

TEST(SetPrefInteger, StoresA32BitNumber) {
  util::SetPrefInteger("test integer", -7);
  std::optional<values::Value> v = prefs::SharedPreferences().CopyValue("test integer");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->AsNumber()->kind, values::Number::Kind::kInt32);
  EXPECT_EQ(v->AsNumber()->AsInt64(), -7);
}

}  // namespace
