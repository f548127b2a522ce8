#include "app/util/desktop/ui_helpers.h"
#include "app/util/desktop/icon_helpers.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_ui_services.h"

namespace {

ui::WindowRef Window(int n) {
  return reinterpret_cast<ui::WindowRef>(static_cast<std::uintptr_t>(n));
}
ui::MenuRef Menu(int n) {
  return reinterpret_cast<ui::MenuRef>(static_cast<std::uintptr_t>(n));
}

TEST(UiHelpers, ControlsAreFoundByTheApplicationSignature) {
  fakes::ScopedFakeUi fake;
  auto control = reinterpret_cast<ui::ControlRef>(std::uintptr_t{0x99});
  fake->controls[{Window(1), 3}] = control;
  ui::ControlRef out = nullptr;
  EXPECT_EQ(util::GetAppControlByID(Window(1), 3, &out), ui::kNoErr);
  EXPECT_EQ(out, control);
  EXPECT_EQ(fake->calls.back(), "FindControl Truv 3");
  ui::ControlRef untouched = control;
  EXPECT_EQ(util::GetAppControlByID(Window(1), 4, &untouched), ui::kErrUnknownControl);
  EXPECT_EQ(untouched, control);
}

TEST(UiHelpers, MenuMarksAndSeparators) {
  fakes::ScopedFakeUi fake;
  EXPECT_EQ(util::ClearMenuItemMarks(nullptr), ui::kParamErr);
  EXPECT_EQ(util::ClearMenuItemMarks(Menu(1)), ui::kNoErr);  // empty menu

  util::AppendMenuSeparatorIfNeeded(Menu(1));
  EXPECT_TRUE(fake->menus[Menu(1)].empty());  // never a separator first

  fake->menus[Menu(1)] = {{"A", U'✓'}, {"B", U'•'}};
  EXPECT_EQ(util::ClearMenuItemMarks(Menu(1)), ui::kNoErr);
  EXPECT_EQ(fake->menus[Menu(1)][0].mark, 0u);
  EXPECT_EQ(fake->menus[Menu(1)][1].mark, 0u);

  util::AppendMenuSeparatorIfNeeded(Menu(1));
  util::AppendMenuSeparatorIfNeeded(Menu(1));
  ASSERT_EQ(fake->menus[Menu(1)].size(), 3u);  // twice in a row adds one
  EXPECT_EQ(fake->menus[Menu(1)][2].text, "-");
}

TEST(UiHelpers, NibReferencesAreCachedButFailuresAreNot) {
  fakes::ScopedFakeUi fake;
  EXPECT_EQ(util::GetCachedNibReference("NibThatAppearsLater"), nullptr);
  fake->nibs["NibThatAppearsLater"] = std::make_shared<ui::Nib>();
  ui::NibRef first = util::GetCachedNibReference("NibThatAppearsLater");
  EXPECT_NE(first, nullptr);
  fake->nibs.clear();
  EXPECT_EQ(util::GetCachedNibReference("NibThatAppearsLater"), first);
  EXPECT_EQ(std::count(fake->calls.begin(), fake->calls.end(), "CreateNibReference NibThatAppearsLater"), 2);
}

TEST(UiHelpers, CenterIfNotSetLetsASavedFrameWin) {
  fakes::ScopedFakeUi fake;
  fake->screen = {0, 0, 800, 1000};
  fake->windows[Window(1)] = {{10, 10, 110, 210}, "", {}};
  util::CenterIfNotSet(Window(1));
  EXPECT_EQ(fake->windows[Window(1)].bounds, (util::Rect{350, 400, 450, 600}));

  fake->windows[Window(2)] = {{10, 10, 110, 210}, "Inspector", {{"Inspector", {50, 60, 150, 260}}}};
  util::CenterIfNotSet(Window(2));
  EXPECT_EQ(fake->windows[Window(2)].bounds, (util::Rect{50, 60, 150, 260}));
  EXPECT_EQ(fake->windows[Window(2)].autosave_name, "Inspector");
}

TEST(IconHelpers, OneLookUpPerExtensionOfTheLastDot) {
  fakes::ScopedFakeUi fake;
  fake->icons_by_extension["gz"] = std::make_shared<fakes::FakeIcon>("gz");
  ui::IconRef a, b;
  EXPECT_EQ(util::GetIconRefForFileName("archive.tar.gz", &a), ui::kNoErr);
  EXPECT_EQ(util::GetIconRefForFileName("other.gz", &b), ui::kNoErr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::count(fake->calls.begin(), fake->calls.end(), "GetIconForExtension gz"), 1);
  EXPECT_EQ(std::count(fake->calls.begin(), fake->calls.end(), "GetIconForExtension tar.gz"), 0);

  ui::IconRef none = a;
  EXPECT_EQ(util::GetIconRefForFileName("README", &none), ui::kFileNotFoundErr);
  EXPECT_EQ(none, nullptr);
  fake->icons_by_extension[""] = std::make_shared<fakes::FakeIcon>("plain");
  util::GetIconRefForFileName("README", &none);
  util::GetIconRefForFileName("LICENSE", &none);
  EXPECT_EQ(std::count(fake->calls.begin(), fake->calls.end(), "GetIconForExtension "), 3);  // never cached
}

TEST(IconHelpers, BundleIconsAndFlippedDrawing) {
  fakes::ScopedFakeUi fake;
  ui::IconRef icon;
  EXPECT_EQ(util::RegisterBundleIcon(ui::kAppSignature, values::FourCC("Stop"), "cancel", &icon),
            ui::kFileNotFoundErr);
  EXPECT_EQ(icon, nullptr);
  fake->icon_resources["cancel"] = std::make_shared<fakes::FakeIcon>("cancel");
  EXPECT_EQ(util::RegisterBundleIcon(ui::kAppSignature, values::FourCC("Stop"), "cancel", &icon), ui::kNoErr);
  EXPECT_EQ(fake->calls.back(), "RegisterIconResource Truv Stop cancel");

  fake->calls.clear();
  EXPECT_EQ(util::DrawIconRefInRect(nullptr, {0, 10, 16, 16}, 0, 0, std::nullopt, 0, nullptr), ui::kNoErr);
  EXPECT_TRUE(fake->calls.empty());
  EXPECT_EQ(util::DrawIconRefInRect(nullptr, {0, 10, 16, 16}, 0, 0, std::nullopt, 0, icon), ui::kNoErr);
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"SaveGraphicsState", "Translate 0 36", "Scale 1 -1",
                                                   "PlotIcon cancel", "RestoreGraphicsState"}));
}

TEST(UiHelpers, AboutWindowShowsTheVersion) {
  fakes::ScopedFakeUi fake;
  util::ShowAboutWindow();
  EXPECT_EQ(fake->calls.back(), "ShowAboutWindow 5.2.16");
}

}  // namespace
