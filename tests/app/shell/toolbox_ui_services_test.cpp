#include "app/shell/toolbox_ui_services.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "app/util/desktop/ui_helpers.h"
#include "app/util/settings/window_bounds_prefs.h"
#include "platform/prefs/preference_store.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/drawing/image.h"
#include "tests/fakes/scripted_presenter.h"

namespace shell {
namespace {

class ToolboxUiServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = ui::UiServicesSlot::Set(std::make_unique<ToolboxUiServices>()); }
  void TearDown() override {
    for (auto& w : windows_) w->Release();
    ui::UiServicesSlot::Set(std::move(previous_));
    toolbox::Application::Shared().ProcessPendingEvents();
  }
  std::shared_ptr<toolbox::Window> MakeWindow(toolbox::Rect content = {200, 150, 300, 200}) {
    toolbox::WindowSpec desc;
    desc.content = content;
    desc.resizable = true;
    auto w = toolbox::Window::Create(desc);
    windows_.push_back(w);
    return w;
  }

  std::vector<std::shared_ptr<toolbox::Window>> windows_;
  std::unique_ptr<ui::UiServices> previous_;
};

TEST_F(ToolboxUiServicesTest, ControlsAreFoundThroughTheCoreHelpers) {
  auto w = MakeWindow();
  toolbox::Control* c =
      w->AddControl({.kind = toolbox::ControlKind::kStaticText, .id = {toolbox::kApplicationSignature, 3}});
  ui::ControlRef found = nullptr;
  ASSERT_EQ(util::GetAppControlByID(ToWindowRef(w.get()), 3, &found), ui::kNoErr);
  EXPECT_EQ(FromControlRef(found), c);
  ui::ControlRef untouched = ToControlRef(c);
  EXPECT_EQ(util::GetAppControlByID(ToWindowRef(w.get()), 4, &untouched), ui::kErrUnknownControl);
  EXPECT_EQ(FromControlRef(untouched), c);
}

TEST_F(ToolboxUiServicesTest, StandardAlertGoesThroughThePresenter) {
  fakes::ScopedScriptedPresenter presenter;
  EXPECT_EQ(util::RunStandardAlertText(ui::AlertType::kCaution, "Disk full", std::string("Free some space")),
            1);
  ASSERT_EQ(presenter->alerts.size(), 1u);
  EXPECT_EQ(presenter->alerts[0].message, "Disk full");
  EXPECT_EQ(presenter->alerts[0].informative, "Free some space");
  EXPECT_EQ(presenter->alerts[0].style, toolbox::AlertStyle::kWarning);
}

TEST_F(ToolboxUiServicesTest, MenuHelpersEditToolboxMenus) {
  auto menu = toolbox::Menu::Create(1024);
  util::AppendMenuSeparatorIfNeeded(ToMenuRef(menu.get()));
  EXPECT_EQ(menu->CountItems(), 0) << "no separator at the top of an empty menu";
  menu->AppendItem("One");
  menu->SetItemMark(1, toolbox::kCheckMark);
  util::AppendMenuSeparatorIfNeeded(ToMenuRef(menu.get()));
  util::AppendMenuSeparatorIfNeeded(ToMenuRef(menu.get()));
  ASSERT_EQ(menu->CountItems(), 2);
  EXPECT_TRUE(menu->Item(2)->separator);
  EXPECT_EQ(util::ClearMenuItemMarks(ToMenuRef(menu.get())), ui::kNoErr);
  EXPECT_EQ(menu->ItemMark(1), 0u);
}

TEST_F(ToolboxUiServicesTest, WindowPlacesRoundTripThroughThePreferences) {
  auto w = MakeWindow({120, 130, 300, 200});
  util::SaveWindowBoundsPref(ToWindowRef(w.get()), "Round Trip Window");
  auto other = MakeWindow({10, 10, 100, 100});
  ASSERT_TRUE(util::RestoreWindowBoundsPref(ToWindowRef(other.get()), "Round Trip Window", false));
  EXPECT_EQ(other->StructureBounds(), w->StructureBounds());
  EXPECT_FALSE(util::RestoreWindowBoundsPref(ToWindowRef(other.get()), "Never Saved", false));
}

TEST_F(ToolboxUiServicesTest, CenterIfNotSetLetsASavedFrameWin) {
  prefs::SharedPreferences().Set(
      "Centred Or Not",
      values::Value(values::Dictionary{{"left", 60}, {"top", 70}, {"right", 360}, {"bottom", 270}}));
  auto w = MakeWindow({0, 0, 300, 200});
  w->SetFrameAutosaveKey("Centred Or Not");
  util::CenterIfNotSet(ToWindowRef(w.get()));
  EXPECT_EQ(w->ContentBounds(), (toolbox::Rect{60, 70, 300, 200}));
  EXPECT_EQ(w->FrameAutosaveKey(), "Centred Or Not");

  auto fresh = MakeWindow({0, 0, 300, 200});
  util::CenterIfNotSet(ToWindowRef(fresh.get()));
  EXPECT_GT(fresh->ContentBounds().x, 0) << "no saved frame: centred";
}

TEST_F(ToolboxUiServicesTest, SelectedIconsAreDrawnDarker) {
  const toolbox::Image white =
      toolbox::Image::Render(8, 8, toolbox::Origin::kTopLeft, [](toolbox::DrawingContext& c) {
        c.SetFillColor(toolbox::Color::White());
        c.FillRect({0, 0, 8, 8});
      });
  const ToolboxIcon icon(white);
  ToolboxUiServices services;
  auto plot = [&](std::int16_t transform) {
    return toolbox::Image::Render(8, 8, toolbox::Origin::kTopLeft, [&](toolbox::DrawingContext& c) {
      services.PlotIcon(ToContextRef(&c), {0, 0, 8, 8}, 0, transform, std::nullopt, 0, icon);
    });
  };
  EXPECT_GT(plot(0).PixelAt(4, 4).red, 0.95);
  EXPECT_LT(plot(0x4000).PixelAt(4, 4).red, 0.8);
  EXPECT_EQ(plot(0x4000).PixelAt(4, 4).alpha, 1);
}

TEST_F(ToolboxUiServicesTest, NibsAreRegisteredBuilders) {
  EXPECT_EQ(ui::UiServicesSlot::Get().CreateNibReference("nothing here"), nullptr);
  RegisterNib("test nib", [this](const std::string&) { return MakeWindow(); });
  auto nib =
      std::dynamic_pointer_cast<const ToolboxNib>(ui::UiServicesSlot::Get().CreateNibReference("test nib"));
  ASSERT_NE(nib, nullptr);
  EXPECT_NE(nib->CreateWindow("main"), nullptr);
}

// The About window has an OK button that Return and Escape press, and it closes it.
TEST_F(ToolboxUiServicesTest, AboutWindowClosesWithOKReturnOrEscape) {
  const auto about = [] {
    for (auto& w : toolbox::Window::AllWindows())
      if (w->Title() == "About Truvane" && !w->IsReleased()) return w;
    return std::shared_ptr<toolbox::Window>();
  };
  struct Case {
    const char* how;
    Qt::Key key;  // none: the button is clicked
  } cases[] = {{"OK", Qt::Key_unknown}, {"Return", Qt::Key_Return}, {"Escape", Qt::Key_Escape}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    ui::UiServicesSlot::Get().ShowAboutWindow("1.2");
    const auto w = about();
    ASSERT_NE(w, nullptr);
    toolbox::Control* ok = w->DefaultButton();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->Text(), "OK");
    EXPECT_EQ(w->CancelButton(), ok);
    EXPECT_LE(ok->Bounds().Bottom(), w->ContentBounds().height);
    if (c.key == Qt::Key_unknown) {
      ok->Click();
    } else {
      QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
      QApplication::sendEvent(w->widget(), &press);
    }
    EXPECT_TRUE(w->IsReleased());
    EXPECT_EQ(about(), nullptr);
  }
}

}  // namespace
}  // namespace shell
