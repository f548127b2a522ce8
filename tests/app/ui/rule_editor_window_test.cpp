// The rule editor's window over the main window: a new smart folder from one row, rows
// added and removed with their buttons (and the window's height with them), the kind of a
// row changing its controls, a row that cannot be saved explained in a sheet, Cancel, and
// editing the folder again from the source list's selection.
#include <gtest/gtest.h>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/smartfolders/rule_editor_model.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/ui/rule_editor/rule_editor_window.h"
#include "app/ui/source_list/custom_list.h"
#include "platform/toolbox/controls/control.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/scripted_presenter.h"

namespace ui {
namespace {

using toolbox::kApplicationSignature;

class RuleEditorWindowTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    presenter_ = std::make_unique<fakes::ScopedScriptedPresenter>();
  }
  void TearDown() override {
    for (auto& w : toolbox::Window::AllWindows())
      if (w.get() != GetMainWindow()) w->Release();
    presenter_.reset();
    MainWindowFixture::TearDown();
  }
  fakes::ScriptedPresenter& Presenter() { return presenter_->get(); }

  toolbox::Control* C(toolbox::Window* w, std::size_t row, RuleRowControl which) {
    return w->FindControl(kApplicationSignature, RuleRowControlID(row, which));
  }
  toolbox::Control* C(toolbox::Window* w, std::int32_t id) {
    return w->FindControl(kApplicationSignature, id);
  }
  // A pop-up item chosen as the user would.
  static void Choose(toolbox::Control* popUp, const std::string& title) {
    ASSERT_NE(popUp, nullptr);
    const int index = popUp->PopUpMenu()->IndexOfText(title);
    ASSERT_GT(index, 0) << title;
    popUp->SetValue(index);
    popUp->NotifyPressed();
    Pump();
  }
  static bool IsOpen(toolbox::Window* w) {
    for (auto& open : toolbox::Window::AllWindows())
      if (open.get() == w) return true;
    return false;
  }
  std::vector<queue::SmartFolderRef> UserSmartFolders() {
    std::vector<queue::SmartFolderRef> out;
    std::lock_guard lock(queue::gFoldersLock);
    for (const auto& [id, f] : queue::gFolders)
      if (id >= queue::kFirstUserSmartFolderID && id <= queue::kLastUserSmartFolderID)
        out.push_back(std::dynamic_pointer_cast<queue::TRSmartFolder>(f));
    return out;
  }

  std::unique_ptr<fakes::ScopedScriptedPresenter> presenter_;
};

TEST_F(RuleEditorWindowTest, ANewFolderFromOneNameRowListsItsDownloadsSelectedAndBeingRenamed) {
  Create();
  Add("annual report.pdf", queue::kStatusCompleted);
  Add("report-2.txt", queue::kStatusCompleted);
  Add("other.iso", queue::kStatusCompleted);
  toolbox::Window* w = OpenSmartFolderRuleEditor(nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Title(), "New Smart Folder");
  EXPECT_EQ(w->ContentBounds().height, kRuleEditorBaseHeight + 25);
  EXPECT_TRUE(C(w, 0, kRowKindPopUp)->IsVisible());
  EXPECT_EQ(C(w, 0, kRowKindPopUp)->Text(), "Name");
  EXPECT_TRUE(C(w, 0, kRowNameText)->IsVisible());
  EXPECT_FALSE(C(w, 0, kRowSizeNumber)->IsVisible());
  EXPECT_FALSE(C(w, 0, kRowRemoveButton)->IsEnabled()) << "- is disabled while one row exists";
  EXPECT_TRUE(C(w, 0, kRowAddButton)->IsEnabled());

  // OK with the field empty: the sheet explains, and nothing is made.
  C(w, kRuleOKButtonID)->Click();
  Pump();
  ASSERT_EQ(Presenter().alerts.size(), 1u);
  EXPECT_EQ(Presenter().alerts[0].message,
            "Not all required fields have been completed for one (or more) rules");
  EXPECT_EQ(Presenter().alerts[0].parent, w);
  EXPECT_TRUE(IsOpen(w));
  EXPECT_TRUE(UserSmartFolders().empty());

  Choose(C(w, 0, kRowNameClass), "contains");
  C(w, 0, kRowNameText)->SetText("report");
  C(w, kRuleOKButtonID)->Click();
  Pump();
  EXPECT_FALSE(IsOpen(w));
  const auto made = UserSmartFolders();
  ASSERT_EQ(made.size(), 1u);
  const queue::SmartFolderRef folder = made[0];
  EXPECT_EQ(folder->name(), "Untitled");
  EXPECT_EQ(folder->predicate()->type(),
            (queue::kTRPredicateClassFileName | static_cast<std::int32_t>(queue::kOpContains)));
  EXPECT_EQ(folder->predicate()->stringValue(), "report");
  CustomList* list = GetMainFolderList();
  ASSERT_NE(list, nullptr);
  const RowRef row = list->GetRowByIdentifier(folder->uid());
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(list->GetSelectedRow(), row);
  EXPECT_EQ(list->RowInEdit(), row) << "the new folder's name is edited in place";
  EXPECT_TRUE(queue::IsViewDisplayed(folder->uid()));
  EXPECT_EQ(ShownNames(), (std::set<std::string>{"annual report.pdf", "report-2.txt"}));
}

TEST_F(RuleEditorWindowTest, RowsComeAndGoWithTheirButtonsAndTheWindowFollows) {
  Create();
  toolbox::Window* w = OpenSmartFolderRuleEditor(nullptr);
  const double top = w->ContentBounds().y;
  C(w, 0, kRowNameText)->SetText("report");
  C(w, 0, kRowAddButton)->Click();
  Pump();
  C(w, 1, kRowAddButton)->Click();
  Pump();
  EXPECT_EQ(w->ContentBounds().height, kRuleEditorBaseHeight + 75);
  EXPECT_EQ(w->ContentBounds().y, top) << "the bottom edge moves, not the top";
  EXPECT_TRUE(C(w, 0, kRowRemoveButton)->IsEnabled());
  EXPECT_EQ(C(w, 0, kRowNameText)->Text(), "report") << "typed text survives the rows' changes";

  // Row 2 a size, row 3 a date with a number of days.
  Choose(C(w, 1, kRowKindPopUp), "Size");
  EXPECT_FALSE(C(w, 1, kRowNameText)->IsVisible());
  EXPECT_TRUE(C(w, 1, kRowSizeNumber)->IsVisible());
  EXPECT_EQ(C(w, 1, kRowSizeClass)->Text(), "is at least");
  C(w, 1, kRowSizeNumber)->SetText("1");
  Choose(C(w, 1, kRowSizeUnit), "MB");
  Choose(C(w, 2, kRowKindPopUp), "Date Started");
  EXPECT_FALSE(C(w, 2, kRowStartDays)->IsVisible()) << "today takes no number";
  Choose(C(w, 2, kRowStartPeriod), "is within the last");
  EXPECT_TRUE(C(w, 2, kRowStartDays)->IsVisible());
  EXPECT_TRUE(C(w, 2, kRowStartLabel)->IsVisible());
  C(w, 2, kRowStartDays)->SetText("10");
  Choose(C(w, kRuleMatchPopUpID), "all");
  // The OK button stays under the last row.
  EXPECT_GE(C(w, kRuleOKButtonID)->Bounds().y, C(w, 2, kRowKindPopUp)->Bounds().y + 25);
  Keep(w->Grab(), "rule_editor_three_rows");

  C(w, kRuleOKButtonID)->Click();
  Pump();
  const auto made = UserSmartFolders();
  ASSERT_EQ(made.size(), 1u);
  const queue::PredicateRef& rule = made[0]->predicate();
  ASSERT_EQ(rule->type(), queue::kOpAnd);
  EXPECT_EQ(rule->rightPredicateValue()->type(),
            (queue::kTRPredicateClassStartDate | static_cast<std::int32_t>(queue::kOpOnOrAfterDay)));
  EXPECT_EQ(rule->rightPredicateValue()->sint64Value(), 10);
  EXPECT_EQ(rule->predicateValue()->rightPredicateValue()->sint64Value(), 1048576);

  // Edited again from the source list: the same three rows; two removed shrink it by 50.
  ASSERT_TRUE(CanEditSelectedSmartFolder());
  EditSelectedSmartFolder();
  toolbox::Window* again = toolbox::Window::AllWindows().back().get();
  ASSERT_NE(again, GetMainWindow());
  EXPECT_EQ(again->Title(), "Editing smart folder \"Untitled\"");
  EXPECT_EQ(again->ContentBounds().height, kRuleEditorBaseHeight + 75);
  EXPECT_EQ(C(again, 0, kRowNameText)->Text(), "report");
  EXPECT_EQ(C(again, 1, kRowSizeNumber)->Text(), "1");
  EXPECT_EQ(C(again, 1, kRowSizeUnit)->Text(), "MB");
  EXPECT_EQ(C(again, 2, kRowStartDays)->Text(), "10");
  EXPECT_EQ(C(again, kRuleMatchPopUpID)->Text(), "all");
  C(again, 2, kRowRemoveButton)->Click();
  Pump();
  C(again, 1, kRowRemoveButton)->Click();
  Pump();
  EXPECT_EQ(again->ContentBounds().height, kRuleEditorBaseHeight + 25);
  EXPECT_FALSE(C(again, 0, kRowRemoveButton)->IsEnabled());
  EXPECT_FALSE(C(again, 1, kRowKindPopUp)->IsVisible()) << "removed rows are hidden";
  C(again, kRuleOKButtonID)->Click();
  Pump();
  EXPECT_EQ(made[0]->predicate()->type(),
            (queue::kTRPredicateClassFileName | static_cast<std::int32_t>(queue::kOpContains)));
  EXPECT_EQ(UserSmartFolders().size(), 1u) << "editing makes no new folder";
}

TEST_F(RuleEditorWindowTest, CancelAndTheCloseBoxChangeNothing) {
  Create();
  auto folder = queue::TRSmartFolder::addSmartFolderToListWithName(
      "Big", queue::kFirstUserSmartFolderID, queue::TRSearchPredicate::LargeFilesPredicate());
  for (bool closeBox : {false, true}) {
    toolbox::Window* w = OpenSmartFolderRuleEditor(folder);
    EXPECT_EQ(C(w, 0, kRowSizeNumber)->Text(), "100");
    C(w, 0, kRowSizeNumber)->SetText("5");
    if (closeBox)
      w->Close();
    else
      C(w, kRuleCancelButtonID)->Click();
    Pump();
    EXPECT_FALSE(IsOpen(w));
    EXPECT_EQ(folder->predicate()->sint64Value(), 104857600);
  }
  // A regular expression that does not compile keeps the window open with its reason.
  toolbox::Window* w = OpenSmartFolderRuleEditor(folder);
  Choose(C(w, 0, kRowKindPopUp), "URL");
  Choose(C(w, 0, kRowURLClass), "matches the regular expression");
  C(w, 0, kRowURLText)->SetText("a[");
  C(w, kRuleOKButtonID)->Click();
  Pump();
  ASSERT_EQ(Presenter().alerts.size(), 1u);
  EXPECT_NE(Presenter().alerts[0].message.find("\"a[\" is invalid"), std::string::npos)
      << Presenter().alerts[0].message;
  EXPECT_TRUE(IsOpen(w));
  EXPECT_EQ(folder->predicate()->sint64Value(), 104857600);
}

}  // namespace
}  // namespace ui
