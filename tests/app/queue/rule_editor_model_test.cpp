// The smart-folder rule editor's model: rows to rules by their tags and back, the chain
// OK builds, the messages of rows that cannot be saved, and the rows and height as rows
// come and go.
#include <gtest/gtest.h>

#include "app/queue/folders/folder_table.h"
#include "app/queue/smartfolders/rule_editor_model.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "tests/app/queue/queue_test_support.h"
#include "tests/fakes/fake_main_list.h"

namespace queue {
namespace {

using P = TRSearchPredicate;

class RuleEditorModelTest : public testing_support::QueueTest {
 protected:
  void SetUp() override {
    QueueTest::SetUp();
    ui::MainListServicesSlot::Set(std::make_unique<FakeMainList>());
  }
  void TearDown() override {
    ClearFolderTable();
    QueueTest::TearDown();
  }
};

constexpr std::int32_t Word(std::int32_t criterion, std::int32_t operation) {
  return criterion | operation;
}

std::size_t FolderCount() {
  std::lock_guard lock(gFoldersLock);
  return gFolders.size();
}

RuleController Row(int type) {
  RuleController row = RuleController::controller();
  row.setSelectedRuleCriteriaType(type);
  return row;
}

PredicateRef Saved(const RuleController& row) {
  int reason = -1;
  PredicateRef p = row.searchPredicateTag(reason);
  EXPECT_EQ(reason, p ? kRuleNoFailure : reason);
  return p;
}

TEST_F(RuleEditorModelTest, ANewEditorHasOneFileNameRowAndOneRowOfHeight) {
  SmartFolderRuleEditorController editor(nullptr);
  ASSERT_EQ(editor.numberOfRows(), 1u);
  EXPECT_EQ(editor.ruleControllers()[0].type, kRuleFileName);
  EXPECT_EQ(editor.heightDelta(), 25);
  EXPECT_EQ(editor.freeTypes().size(), 7u);
  EXPECT_FALSE(editor.canRemoveRow()) << "the - button is disabled while one row exists";
  EXPECT_TRUE(editor.canAddRow());
  editor.addRow({0});
  EXPECT_TRUE(editor.canRemoveRow());
  EXPECT_EQ(editor.heightDelta(), 50);
  // A new row's size comparison is "at least".
  EXPECT_EQ(RuleController::controller().fileSizeClass, 1);
}

TEST_F(RuleEditorModelTest, OkWithAnEmptyFieldExplainsAndMakesNothing) {
  SmartFolderRuleEditorController editor(nullptr);
  std::string failure;
  EXPECT_EQ(editor.ok(failure), nullptr);
  EXPECT_EQ(failure, "Not all required fields have been completed for one (or more) rules");
  EXPECT_TRUE(FolderCount() == 0);
}

TEST_F(RuleEditorModelTest, RowsThatCannotBeSavedGiveTheirReason) {
  struct Case {
    const char* name;
    RuleController row;
    std::string message;
  };
  auto with = [](int type, auto set) {
    RuleController r = Row(type);
    set(r);
    return r;
  };
  const std::string empty = "Not all required fields have been completed for one (or more) rules";
  const Case cases[] = {
      {"empty URL", Row(kRuleFileURL), empty},
      {"empty size", Row(kRuleFileSize), empty},
      {"empty type", Row(kRuleFileType), empty},
      {"type list of separators",
       with(kRuleFileType, [](RuleController& r) { r.fileTypeCriteria = " ;, ;"; }), empty},
      {"days period, no days", with(kRuleStartDate, [](RuleController& r) { r.startDateClass = 3; }), empty},
      {"days back, blank days",
       with(kRuleEndDate,
            [](RuleController& r) {
              r.endDateClass = 4;
              r.endDateCriteria = "  ";
            }),
       empty},
      {"bad expression",
       with(kRuleFileName,
            [](RuleController& r) {
              r.fileNameClass = 5;
              r.fileNameCriteria = "a(b";
            }),
       "The regular expression \"a(b\" is invalid. Please check man re_format or the Truvane help for "
       "details of "
       "the regular expressions used."},
      {"unknown period", with(kRuleStartDate, [](RuleController& r) { r.startDateClass = 9; }),
       "One of the rules entered is invalid."},
      {"word list of separators",
       with(kRuleFileName,
            [](RuleController& r) {
              r.fileNameClass = 8;
              r.fileNameCriteria = ";;";
            }),
       "One of the rules entered is invalid."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SmartFolderRuleEditorController editor(nullptr);
    editor.ruleControllers()[0].fileNameCriteria = "fine";
    editor.addRow({0});
    editor.ruleControllers()[1] = c.row;
    const auto outcome = editor.BuildPredicate();
    EXPECT_EQ(outcome.predicate, nullptr);
    EXPECT_EQ(outcome.failedRow, 1u);
    EXPECT_EQ(outcome.message, c.message);
  }
}

TEST_F(RuleEditorModelTest, RowTagsGiveTheirCriteria) {
  struct Case {
    int type;
    int classTag;
    std::string text;
    std::int32_t typeWord;
  };
  const Case cases[] = {
      {kRuleFileName, 0, "x", Word(kTRPredicateClassFileName, kOpIs)},
      {kRuleFileName, 1, "x", Word(kTRPredicateClassFileName, kOpContains)},
      {kRuleFileName, 2, "x", Word(kTRPredicateClassFileName, kOpDoesNotContain)},
      {kRuleFileName, 3, "x", Word(kTRPredicateClassFileName, kOpBeginsWith)},
      {kRuleFileName, 4, "x", Word(kTRPredicateClassFileName, kOpEndsWith)},
      {kRuleFileName, 5, "^x", Word(kTRPredicateClassFileNameRegEx, kOpMatches)},
      {kRuleFileName, 6, "^x", Word(kTRPredicateClassFileNameRegEx, kOpDoesNotMatch)},
      {kRuleFileName, 7, "a; b", Word(kTRPredicateClassFileName, kOpContainsAll)},
      {kRuleFileName, 8, "a; b", Word(kTRPredicateClassFileName, kOpContainsAny)},
      {kRuleFileName, 9, "a; b", Word(kTRPredicateClassFileName, kOpContainsNone)},
      {kRuleFileName, 42, "x", Word(kTRPredicateClassFileName, kOpIs)},
      {kRuleFileURL, 1, "x", Word(kTRPredicateClassFileURL, kOpContains)},
      {kRuleFileURL, 5, "x", Word(kTRPredicateClassFileURLRegEx, kOpMatches)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.classTag));
    RuleController row = Row(c.type);
    (c.type == kRuleFileURL ? row.fileURLClass : row.fileNameClass) = c.classTag;
    (c.type == kRuleFileURL ? row.fileURLCriteria : row.fileNameCriteria) = c.text;
    PredicateRef p = Saved(row);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type(), c.typeWord);
    // And the row it reopens as shows the same rule.
    RuleController back = RuleController::ForPredicate(*p);
    EXPECT_EQ(back.type, c.type);
    const int shownTag = c.type == kRuleFileURL ? back.fileURLClass : back.fileNameClass;
    EXPECT_EQ(shownTag, c.classTag == 42 ? 0 : c.classTag)
        << "is shares its operation number with matches, and must not come back as an expression";
    EXPECT_EQ(back.stringValue(), c.text);
  }
}

TEST_F(RuleEditorModelTest, SizesSaveInBytesAndReopenInTheirLargestExactUnit) {
  struct Case {
    std::string number;
    int unit;
    int comparison;
    std::int64_t bytes;
    std::int32_t op;
    std::string shown;
    int shownUnit;
  };
  const Case cases[] = {
      {"100", 2, 1, 104857600, kOpAtLeast, "100", 2},
      {"2048", 1, 2, 2097152, kOpAtMost, "2", 2},
      {"3", 3, 3, 3221225472, kOpEqual, "3", 3},
      {"1500", 0, 1, 1500, kOpAtLeast, "1", 1},
      {"0", 1, 1, 0, kOpAtLeast, "0", 3},
      {"5000", 3, 1, 5000LL * 1073741824, kOpAtLeast, "5000", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number + " unit " + std::to_string(c.unit));
    RuleController row = Row(kRuleFileSize);
    row.fileSizeCriteria = c.number;
    row.fileSizeUnit = c.unit;
    row.fileSizeClass = c.comparison;
    PredicateRef p = Saved(row);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->criterion(), kTRPredicateClassFileSize);
    EXPECT_EQ(p->operation(), c.op);
    EXPECT_EQ(p->sint64Value(), c.bytes);
    RuleController back = RuleController::ForPredicate(*p);
    EXPECT_EQ(back.type, kRuleFileSize);
    EXPECT_EQ(back.fileSizeCriteria, c.shown);
    EXPECT_EQ(back.fileSizeUnit, c.shownUnit);
    EXPECT_EQ(back.fileSizeClass, c.comparison);
  }
}

TEST_F(RuleEditorModelTest, DatePeriodsSaveAndReopen) {
  struct Case {
    int period;
    std::string days;
    std::int64_t savedDays;
    std::int32_t op;
    int reopenedPeriod;
    std::string reopenedDays;
    bool daysShown;
  };
  const Case cases[] = {
      {1, "", 1, kOpOnOrAfterDay, 1, "", false},   {2, "", 7, kOpOnOrAfterDay, 2, "", false},
      {5, "", 31, kOpOnOrAfterDay, 5, "", false},  {3, "10", 10, kOpOnOrAfterDay, 3, "10", true},
      {3, "7", 7, kOpOnOrAfterDay, 2, "", false},  {4, "10", 10, kOpOnOrBeforeDay, 4, "10", true},
      {4, "1", 1, kOpOnOrBeforeDay, 4, "1", true},
  };
  for (int type : {kRuleStartDate, kRuleEndDate}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(type) + " period " + std::to_string(c.period) + " days " + c.days);
      RuleController row = Row(type);
      (type == kRuleStartDate ? row.startDateClass : row.endDateClass) = c.period;
      (type == kRuleStartDate ? row.startDateCriteria : row.endDateCriteria) = c.days;
      PredicateRef p = Saved(row);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->criterion(),
                type == kRuleStartDate ? kTRPredicateClassStartDate : kTRPredicateClassEndDate);
      EXPECT_EQ(p->sint64Value(), c.savedDays);
      EXPECT_EQ(p->operation(), c.op);
      RuleController back = RuleController::ForPredicate(*p);
      EXPECT_EQ(back.type, type);
      EXPECT_EQ(type == kRuleStartDate ? back.startDateClass : back.endDateClass, c.reopenedPeriod);
      EXPECT_EQ(type == kRuleStartDate ? back.startDateCriteria : back.endDateCriteria, c.reopenedDays);
      EXPECT_EQ(type == kRuleStartDate ? back.startDateDaysShown : back.endDateDaysShown, c.daysShown);
    }
  }
  // A date rule the rows have no period for (on day N) shows as N days back or earlier.
  RuleController yesterday =
      RuleController::ForPredicate(*P::WithNumberOfDays(2, kOpOnDay, kTRPredicateClassEndDate));
  EXPECT_EQ(yesterday.endDateClass, 4);
  EXPECT_EQ(yesterday.endDateCriteria, "2");
}

TEST_F(RuleEditorModelTest, ThePeriodDecidesWhetherTheDaysFieldShows) {
  RuleController row = Row(kRuleStartDate);
  for (auto [period, shown] :
       {std::pair{1, false}, {2, false}, {3, true}, {4, true}, {5, false}, {0, true}}) {
    row.startDateClass = period;
    row.classChanged();
    EXPECT_EQ(row.startDateDaysShown, shown) << period;
  }
}

TEST_F(RuleEditorModelTest, StatusAndTypeRowsSaveAndReopen) {
  RuleController status = Row(kRuleDownloadStatus);
  status.downloadStatusCriteria = kStatusFailed;
  status.downloadStatusClass = 2;
  PredicateRef p = Saved(status);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->type(), Word(kTRPredicateClassFileStatus, kOpNotEqual));
  EXPECT_EQ(p->sint64Value(), kStatusFailed);
  RuleController back = RuleController::ForPredicate(*p);
  EXPECT_EQ(back.type, kRuleDownloadStatus);
  EXPECT_EQ(back.downloadStatusCriteria, kStatusFailed);
  EXPECT_EQ(back.downloadStatusClass, 2);

  RuleController types = Row(kRuleFileType);
  types.fileTypeCriteria = ".ZIP, tgz";
  p = Saved(types);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->type(), Word(kTRPredicateClassFileType, kOpTypeIn));
  EXPECT_EQ(p->arrayValue(), (std::vector<std::string>{"ZIP", "tgz"}));
  back = RuleController::ForPredicate(*p);
  EXPECT_EQ(back.type, kRuleFileType);
  EXPECT_EQ(back.fileTypeCriteria, ".ZIP; .tgz");
  EXPECT_EQ(back.fileTypeClass, 1);
}

TEST_F(RuleEditorModelTest, ThreeRowsOfAllChainToTheLeftAndReopenAsThreeRows) {
  SmartFolderRuleEditorController editor(nullptr);
  editor.ruleControllers()[0].fileNameCriteria = "report";
  editor.addRow({0});
  editor.changeRuleType(1, kRuleFileSize);
  editor.ruleControllers()[1].fileSizeCriteria = "1";
  editor.addRow({1});
  editor.changeRuleType(2, kRuleFileType);
  editor.ruleControllers()[2].fileTypeCriteria = "pdf";
  editor.setMatchKind(kMatchAllTag);
  std::string failure;
  SmartFolderRef folder = editor.ok(failure);
  ASSERT_NE(folder, nullptr) << failure;
  EXPECT_EQ(folder->name(), "Untitled");
  EXPECT_TRUE(folder->uid() >= kFirstUserSmartFolderID && folder->uid() <= kLastUserSmartFolderID)
      << folder->uid();
  EXPECT_EQ(LookUpSmartFolder(folder->uid()), folder);

  // ((r1 and r2) and r3)
  const PredicateRef& top = folder->predicate();
  ASSERT_EQ(top->type(), kOpAnd);
  EXPECT_EQ(top->rightPredicateValue()->criterion(), kTRPredicateClassFileType);
  const PredicateRef& left = top->predicateValue();
  ASSERT_EQ(left->type(), kOpAnd);
  EXPECT_EQ(left->predicateValue()->criterion(), kTRPredicateClassFileName);
  EXPECT_EQ(left->rightPredicateValue()->criterion(), kTRPredicateClassFileSize);

  SmartFolderRuleEditorController reopened(folder);
  ASSERT_EQ(reopened.numberOfRows(), 3u);
  EXPECT_EQ(reopened.ruleControllers()[0].type, kRuleFileName);
  EXPECT_EQ(reopened.ruleControllers()[0].fileNameCriteria, "report");
  EXPECT_EQ(reopened.ruleControllers()[1].type, kRuleFileSize);
  EXPECT_EQ(reopened.ruleControllers()[2].type, kRuleFileType);
  EXPECT_EQ(reopened.matchKind(), kMatchAllTag);
  EXPECT_EQ(reopened.heightDelta(), 75);
  EXPECT_EQ(reopened.title(), "Editing smart folder \"Untitled\"");

  // Any: or, and the folder takes the new rule in place.
  reopened.setMatchKind(kMatchAnyTag);
  ASSERT_EQ(reopened.ok(failure), folder);
  EXPECT_EQ(folder->predicate()->type(), kOpOr);
  EXPECT_EQ(folder->predicate()->predicateValue()->type(), kOpOr);
  EXPECT_EQ(SmartFolderRuleEditorController(folder).matchKind(), kMatchAnyTag);
}

TEST_F(RuleEditorModelTest, OneRowGivesItsCriterionAloneAndEditingChangesTheFolder) {
  auto folder =
      TRSmartFolder::addSmartFolderToListWithName("Big", NewSmartFolderUID(), P::LargeFilesPredicate());
  SmartFolderRuleEditorController editor(folder);
  ASSERT_EQ(editor.numberOfRows(), 1u);
  RuleController& row = editor.ruleControllers()[0];
  EXPECT_EQ(row.type, kRuleFileSize);
  EXPECT_EQ(row.fileSizeCriteria, "100");
  EXPECT_EQ(row.fileSizeUnit, 2);
  row.fileSizeCriteria = "1";
  gQueueChanged = false;
  std::string failure;
  ASSERT_EQ(editor.ok(failure), folder);
  EXPECT_EQ(folder->predicate()->type(), Word(kTRPredicateClassFileSize, kOpAtLeast));
  EXPECT_EQ(folder->predicate()->sint64Value(), 1048576);
  EXPECT_TRUE(gQueueChanged) << "the changed rule is saved with the queue";
  EXPECT_EQ(FolderCount(), 1u);
}

TEST_F(RuleEditorModelTest, RowsComeAfterTheSelectionAndRemovalKeepsOneRow) {
  SmartFolderRuleEditorController editor(nullptr);
  editor.ruleControllers()[0].fileNameCriteria = "first";
  editor.addRow({});
  editor.ruleControllers()[1].fileNameCriteria = "second";
  editor.addRow({0});  // between them
  ASSERT_EQ(editor.numberOfRows(), 3u);
  EXPECT_EQ(editor.ruleControllers()[1].fileNameCriteria, "");
  EXPECT_EQ(editor.ruleControllers()[2].fileNameCriteria, "second");
  EXPECT_EQ(editor.heightDelta(), 75);

  editor.removeRow({1, 2});
  ASSERT_EQ(editor.numberOfRows(), 1u);
  EXPECT_EQ(editor.heightDelta(), 25) << "two rows removed: 50 points less";
  EXPECT_EQ(editor.ruleControllers()[0].fileNameCriteria, "first");
  editor.removeRow({0});
  EXPECT_EQ(editor.numberOfRows(), 1u) << "the last row stays";
  EXPECT_EQ(editor.heightDelta(), 25);
}

TEST_F(RuleEditorModelTest, ARowKeepsWhatWasTypedUnderAnotherKind) {
  RuleController row = RuleController::controller();
  row.fileNameCriteria = "kept";
  row.setSelectedRuleCriteriaType(kRuleFileURL);
  EXPECT_EQ(row.stringValue(), "");
  row.setSelectedRuleCriteriaType(kRuleFileName);
  EXPECT_EQ(row.stringValue(), "kept");
  row.setSelectedRuleCriteriaType(99);
  EXPECT_EQ(row.type, kRuleFileName);
}

TEST_F(RuleEditorModelTest, RuleTreesBecomeRowsInOrder) {
  // The presets: an or of two dates, an and of status and date; a negation turned round.
  auto rows = ControllerArrayWithPredicate(P::LastNPredicate(7));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].type, kRuleEndDate);
  EXPECT_EQ(rows[0].endDateClass, 2);
  EXPECT_EQ(rows[1].type, kRuleStartDate);
  rows = ControllerArrayWithPredicate(P::RecentlyCompletedPredicate());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].type, kRuleDownloadStatus);
  EXPECT_EQ(rows[1].type, kRuleEndDate);
  rows = ControllerArrayWithPredicate(
      P::WithPredicates(P::WithString("tmp", kOpContains, kTRPredicateClassFileName), nullptr, kOpNot));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].fileNameClass, 2) << "not contains shows as does not contain";
  EXPECT_EQ(rows[0].fileNameCriteria, "tmp");
  rows = ControllerArrayWithPredicate(P::WithPredicates(P::WithSize(5, kOpEqual), nullptr, kOpNot));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].type, kRuleFileSize);
  EXPECT_TRUE(ControllerArrayWithPredicate(nullptr).empty());
}

TEST_F(RuleEditorModelTest, IntegerFieldsReadLikeNumberFields) {
  for (auto [text, value] : {std::pair<const char*, std::int32_t>{"12", 12},
                             {"  7 days", 7},
                             {"-3", -3},
                             {"abc", 0},
                             {"", 0},
                             {"99999999999", 2147483647},
                             {"-99999999999", -2147483647 - 1}})
    EXPECT_EQ(FieldIntValue(text), value) << text;
}

}  // namespace
}  // namespace queue
