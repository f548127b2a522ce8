#include "app/shell/confirmation_alerts.h"

#include <gtest/gtest.h>

#include "platform/toolbox/services/modifiers.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/scripted_presenter.h"

namespace shell {
namespace {

class ConfirmationAlertTest : public ::testing::Test {
 protected:
  void TearDown() override { toolbox::SetKeyModifiersSource(nullptr); }
  void HoldOption() {
    toolbox::SetKeyModifiersSource([] { return unsigned(toolbox::kModifierOption); });
  }
  fakes::ScopedScriptedPresenter presenter;
};

struct AnswerCase {
  int kind;
  bool file_choice;
  int button;  // index pressed
  int answer;
};

TEST_F(ConfirmationAlertTest, EachButtonAnswersItsCode) {
  const AnswerCase cases[] = {
      {7, false, 0, kConfirmOK},          {7, false, 1, kConfirmCancel},      {8, true, 0, kConfirmKeepFiles},
      {8, true, 1, kConfirmMoveToTrash},  {8, true, 2, kConfirmCancel},       {3, false, 0, kConfirmOK},
      {13, true, 1, kConfirmMoveToTrash}, {6, true, 0, kConfirmKeepFiles},    {6, true, 2, kConfirmCancel},
      {15, false, 0, kConfirmOK},         {99, true, 1, kConfirmMoveToTrash},
  };
  for (const AnswerCase& c : cases) {
    presenter->alert_answers.push_back(c.button);
    EXPECT_EQ(RunConfirmationAlert(c.kind, c.file_choice), c.answer)
        << "kind " << c.kind << " file choice " << c.file_choice << " button " << c.button;
  }
  EXPECT_EQ(presenter->unscripted, 0);
}

TEST_F(ConfirmationAlertTest, ButtonsTextsAndStylePerKind) {
  RunConfirmationAlert(8, true);
  RunConfirmationAlert(4, false);
  RunConfirmationAlert(6, true);
  RunConfirmationAlert(16, false);
  ASSERT_EQ(presenter->alerts.size(), 4u);

  const auto& with_files = presenter->alerts[0];
  ASSERT_EQ(with_files.buttons.size(), 3u);
  EXPECT_EQ(with_files.buttons[0], (toolbox::AlertButton{"Keep Files", true, false}));
  EXPECT_EQ(with_files.buttons[1], (toolbox::AlertButton{"Move To Trash", false, false}));
  EXPECT_EQ(with_files.buttons[2], (toolbox::AlertButton{"Cancel", false, true}));
  EXPECT_EQ(with_files.style, toolbox::AlertStyle::kWarning);
  EXPECT_EQ(
      with_files.message,
      "You are about to clear all of the currently listed items. Do you want to move the associated files to "
      "the trash?");
  EXPECT_EQ(with_files.informative, "");

  const auto& ftp = presenter->alerts[1];
  ASSERT_EQ(ftp.buttons.size(), 2u);
  EXPECT_EQ(ftp.buttons[0], (toolbox::AlertButton{"OK", true, false}));
  EXPECT_EQ(ftp.message, "Do you really want to remove the selected item(s) from the FTP server?");
  EXPECT_EQ(ftp.informative, "This cannot be undone");

  const auto& whole_queue = presenter->alerts[2];
  EXPECT_EQ(whole_queue.style, toolbox::AlertStyle::kCritical);
  for (const auto& b : whole_queue.buttons)
    EXPECT_FALSE(b.is_default) << b.text << ": Return must not answer";
  EXPECT_EQ(whole_queue.informative, "This cannot be undone");

  EXPECT_EQ(presenter->alerts[3].message, "") << "a kind outside the table has no text";
  EXPECT_EQ(presenter->alerts[3].buttons.size(), 2u);
}

TEST_F(ConfirmationAlertTest, TheTableHoldsSixteenKinds) {
  EXPECT_EQ(ConfirmationTextsForKind(0).message, ConfirmationTextsForKind(2).message);
  EXPECT_EQ(ConfirmationTextsForKind(15).message, "kConfirmClearupQueueString");
  EXPECT_EQ(ConfirmationTextsForKind(15).informative, "kConfirmClearupQueueInfoString");
  EXPECT_EQ(ConfirmationTextsForKind(5).informative, "This cannot be undone");
  EXPECT_EQ(ConfirmationTextsForKind(16).message, "");
  EXPECT_EQ(ConfirmationTextsForKind(-1).message, "");
}

TEST_F(ConfirmationAlertTest, OptionAnswersAtOnceExceptWhenClearingTheQueue) {
  HoldOption();
  EXPECT_EQ(RunConfirmationAlert(13, true), kConfirmKeepFiles);
  EXPECT_EQ(RunConfirmationAlert(7, false), kConfirmOK);
  EXPECT_TRUE(presenter->alerts.empty()) << "nothing shown with Option held";

  presenter->alert_answers.push_back(1);
  EXPECT_EQ(RunConfirmationAlert(6, true), kConfirmMoveToTrash);
  EXPECT_EQ(presenter->alerts.size(), 1u) << "clearing the queue still asks";
}

TEST(HomePage, OpensTheHomePageAddress) {
  auto workspace = std::make_unique<fakes::FakeWorkspace>();
  fakes::FakeWorkspace* fake = workspace.get();
  auto previous = desktop::WorkspaceSlot::Set(std::move(workspace));
  OpenHomePage();
  const std::vector<std::string> opened = fake->opened;
  desktop::WorkspaceSlot::Set(std::move(previous));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], kHomePageURL);
}

}  // namespace
}  // namespace shell
