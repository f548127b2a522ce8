#pragma once
// The smart-folder rule editor without its window: the rows the user fills in, each the
// state of one criterion's controls (the kind, the chosen tag of every pop-up, the text
// of every field), and the any/all choice above them.
//
// The pop-up tags are the contract between the rows and the rules: a row turns into one
// TRSearchPredicate criterion by its tags (searchPredicateTag), and a criterion turns
// back into a row (RuleController::ForPredicate) showing the same rule. OK joins the
// rows' criteria into a chain that leans left, (((r1, r2), r3), r4), with "and" for
// "all" and "or" for "any", so that reopening a folder shows its rows in the order they
// were entered. The window (app/ui) only mirrors this state into controls.
//
// The window grows by kRuleRowHeight for every row, so its height is a function of the
// row count alone (heightDelta).
//
// Main thread only.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/queue/folders/view_ids.h"
#include "app/queue/smartfolders/search_predicate.h"
#include "app/queue/smartfolders/smart_folder.h"

namespace queue {

enum RuleCriteriaType : int {
  kRuleFileName = 0,
  kRuleFileSize = 1,
  kRuleFileURL = 2,
  kRuleDownloadStatus = 3,
  kRuleFileType = 4,
  kRuleStartDate = 5,
  kRuleEndDate = 6,
};
inline constexpr int kRuleCriteriaTypeCount = 7;

enum RuleFailureReason : int {
  kRuleNoFailure = 0,
  kRuleRequiredFieldEmpty = 3,
  kRuleBadRegularExpression = 7,
};

inline constexpr double kRuleRowHeight = 25;

// Match pop-up tags.
inline constexpr int kMatchAnyTag = 1;  // joined by or
inline constexpr int kMatchAllTag = 2;  // joined by and

inline constexpr char kRuleFieldsMissingMessage[] =
    "Not all required fields have been completed for one (or more) rules";
inline constexpr char kRuleBadRegexFormat[] =
    "The regular expression \"%@\" is invalid. Please check man re_format or the Truvane help for details of "
    "the regular expressions used.";
inline constexpr char kRuleInvalidMessage[] = "One of the rules entered is invalid.";
inline constexpr char kEditingSmartFolderFormat[] = "Editing smart folder \"%@\"";

// One titled, tagged item of a pop-up.
struct RuleMenuItem {
  int tag;
  const char* title;
};

// The items of each pop-up, in the order shown; the tags are those the rows read.
const std::vector<RuleMenuItem>& RuleCriteriaNames();     // tag = RuleCriteriaType
const std::vector<RuleMenuItem>& RuleStringOperations();  // name and URL
const std::vector<RuleMenuItem>& RuleSizeComparisons();
const std::vector<RuleMenuItem>& RuleSizeUnits();
const std::vector<RuleMenuItem>& RuleStatusClasses();
const std::vector<RuleMenuItem>& RuleStatusValues();  // tag = DownloadStatus
const std::vector<RuleMenuItem>& RuleTypeClasses();
const std::vector<RuleMenuItem>& RuleDatePeriods();
const std::vector<RuleMenuItem>& RuleMatchKinds();

// The number an integer field holds: leading blanks, a sign and digits, saturated to 32
// bits; 0 when there are no digits.
std::int32_t FieldIntValue(const std::string& text);

// One row: its kind and the state of every criterion's controls (a row keeps what the
// user typed under another kind, as the hidden views of the window would).
struct RuleController {
  int type = kRuleFileName;

  int fileNameClass = 1;  // RuleStringOperations
  std::string fileNameCriteria;
  int fileURLClass = 1;
  std::string fileURLCriteria;
  int downloadStatusClass = 1;                // 1 is, 2 is not
  std::int64_t downloadStatusCriteria = 256;  // a DownloadStatus
  int fileSizeClass = 1;                      // RuleSizeComparisons
  std::string fileSizeCriteria;               // a number
  int fileSizeUnit = 2;                       // RuleSizeUnits
  int fileTypeClass = 1;                      // 1 one of, 2 none of
  std::string fileTypeCriteria;
  int startDateClass = 1;  // RuleDatePeriods
  std::string startDateCriteria;
  int endDateClass = 1;
  std::string endDateCriteria;
  // Whether the number-of-days field and its label show (classChanged).
  bool startDateDaysShown = false;
  bool endDateDaysShown = false;

  // A new row of the first kind (file name).
  static RuleController controller();
  // A row showing one criterion (any other class leaves the row a file-name row).
  static RuleController ForPredicate(const TRSearchPredicate& predicate);

  static int ruleTypeCount() { return kRuleCriteriaTypeCount; }
  static std::string nameForRuleCriteriaType(int type);

  int selectedRuleCriteriaType() const { return type; }
  void setSelectedRuleCriteriaType(int newType);
  // The date rows show the days field only for the periods that take a number.
  void classChanged();

  // The text of the selected kind's field (name, size, URL, file type); "" for the others.
  std::string stringValue() const;
  // The row's criterion, or null with `reason` set (kRuleNoFailure when the row is simply
  // invalid).
  PredicateRef searchPredicateTag(int& reason) const;
};

// The rows for a rule tree: a criterion gives one row, a connector the rows of its
// operands, left then right. A negation shows as its operand with the operation turned
// round where the rows have the opposite one, else as its operand's rows.
std::vector<RuleController> ControllerArrayWithPredicate(const PredicateRef& predicate);

class SmartFolderRuleEditorController {
 public:
  // The editor as it opens: the folder's rows and match kind, or one file-name row for a
  // new folder.
  explicit SmartFolderRuleEditorController(SmartFolderRef folder);

  const SmartFolderRef& folder() const { return folder_; }
  std::vector<RuleController>& ruleControllers() { return rows_; }
  const std::vector<RuleController>& ruleControllers() const { return rows_; }
  std::size_t numberOfRows() const { return rows_.size(); }
  const std::set<int>& freeTypes() const { return freeTypes_; }
  int matchKind() const { return matchKind_; }
  void setMatchKind(int tag) { matchKind_ = tag; }
  // The window's title: `Editing smart folder "%@"` with the folder's name, or the new
  // folder's title.
  std::string title() const;
  // How much taller than its empty form the window is: one row height per row.
  double heightDelta() const { return heightDelta_; }

  // Inserts the row (given the first free type) after `afterIndex`, or appends it when
  // there is none; the window grows by one row.
  void addControllerAtIndex(RuleController row, std::optional<std::size_t> afterIndex);
  // A new row after the last selected one, or at the end.
  void addRow(const std::set<std::size_t>& selectedRows);
  void removeControllerAtIndex(std::size_t index);
  // Removes the selected rows, last first, but never the only row left (a rule of no
  // rows would clear the folder's rule); the window shrinks by one row for each.
  void removeRow(const std::set<std::size_t>& selectedRows);
  void changeRuleType(std::size_t row, int type);

  bool canRemoveRow() const { return rows_.size() > 1; }
  bool canAddRow() const { return !freeTypes_.empty(); }

  struct Outcome {
    PredicateRef predicate;  // null when a row failed
    std::string message;     // the alert text then
    std::size_t failedRow = 0;
  };
  // The rule the rows make (OK's first steps); nothing is changed.
  Outcome BuildPredicate() const;

  // OK: the rule goes to the folder (and its saved-search file), or makes a new
  // "Untitled" user smart folder. The folder changed or made; null when a row failed (the
  // message is in `failure`) or no identifier was left.
  SmartFolderRef ok(std::string& failure);

 private:
  SmartFolderRef folder_;
  std::vector<RuleController> rows_;
  std::set<int> freeTypes_;
  int matchKind_ = kMatchAllTag;
  double heightDelta_ = 0;
};

}  // namespace queue
