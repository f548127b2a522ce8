#include "app/queue/smartfolders/rule_editor_model.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_status.h"
#include "app/queue/record/queue_tables.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace queue {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;
constexpr std::int64_t kGiB = 1024 * kMiB;

// The size comparison a row shows until it is told otherwise: "is" (equal), so that an
// equal-size rule reopens as itself; a new row then chooses "at least".
constexpr int kSizeEqualTag = 3;

bool IsStringClass(std::int32_t criterion) {
  return criterion == kTRPredicateClassFileName || criterion == kTRPredicateClassFileNameRegEx ||
         criterion == kTRPredicateClassFileURL || criterion == kTRPredicateClassFileURLRegEx;
}

// The operation pop-up's tag for a name or URL operation, whatever the class; 0 when the
// pop-up has no item for it.
int StringOperationTag(std::int32_t operation) {
  switch (operation) {
    case 0:
      return 5;
    case 1:
      return 6;
    case 4:
      return 4;
    case 5:
      return 3;
    case 6:
      return 1;
    case 7:
      return 2;
    case 8:
      return 8;
    case 9:
      return 7;
    case 10:
      return 9;
    default:
      return 0;
  }
}

std::string Join(const std::vector<std::string>& words, const std::string& before) {
  std::string out;
  for (const std::string& w : words) {
    if (!out.empty()) out += "; ";
    out += before + w;
  }
  return out;
}

PredicateRef StringCriterion(const std::string& text, int tag, std::int32_t plainClass,
                             std::int32_t regexClass, int& reason) {
  if (text.empty()) {
    reason = kRuleRequiredFieldEmpty;
    return nullptr;
  }
  switch (tag) {
    case 1:
      return TRSearchPredicate::WithString(text, kOpContains, plainClass);
    case 2:
      return TRSearchPredicate::WithString(text, kOpDoesNotContain, plainClass);
    case 3:
      return TRSearchPredicate::WithString(text, kOpBeginsWith, plainClass);
    case 4:
      return TRSearchPredicate::WithString(text, kOpEndsWith, plainClass);
    case 5:
    case 6: {
      PredicateRef p =
          TRSearchPredicate::WithRegEx(text, tag == 5 ? kOpMatches : kOpDoesNotMatch, regexClass);
      if (!p) reason = kRuleBadRegularExpression;
      return p;
    }
    case 7:
      return TRSearchPredicate::WithArrayString(text, kOpContainsAll, plainClass);
    case 8:
      return TRSearchPredicate::WithArrayString(text, kOpContainsAny, plainClass);
    case 9:
      return TRSearchPredicate::WithArrayString(text, kOpContainsNone, plainClass);
    default:
      return TRSearchPredicate::WithString(text, kOpIs, plainClass);
  }
}

PredicateRef DateCriterion(int tag, const std::string& daysText, std::int32_t criterion, int& reason) {
  switch (tag) {
    case 1:
      return TRSearchPredicate::WithNumberOfDays(1, kOpOnOrAfterDay, criterion);
    case 2:
      return TRSearchPredicate::WithNumberOfDays(7, kOpOnOrAfterDay, criterion);
    case 5:
      return TRSearchPredicate::WithNumberOfDays(31, kOpOnOrAfterDay, criterion);
    case 3:
    case 4: {
      // An empty days field is an unfinished rule, not a rule of 0 days (which would
      // reach into tomorrow).
      const bool blank =
          std::all_of(daysText.begin(), daysText.end(), [](unsigned char c) { return std::isspace(c) != 0; });
      if (blank) {
        reason = kRuleRequiredFieldEmpty;
        return nullptr;
      }
      return TRSearchPredicate::WithNumberOfDays(FieldIntValue(daysText),
                                                 tag == 3 ? kOpOnOrAfterDay : kOpOnOrBeforeDay, criterion);
    }
    default:
      return nullptr;
  }
}

// The opposite operation a row can show, for a negated criterion; nothing when it has none.
std::optional<std::int32_t> OppositeOperation(const TRSearchPredicate& p) {
  const std::int32_t op = p.operation();
  switch (p.criterion()) {
    case kTRPredicateClassFileName:
    case kTRPredicateClassFileURL:
      if (op == kOpContains) return kOpDoesNotContain;
      if (op == kOpDoesNotContain) return kOpContains;
      if (op == kOpContainsAny) return kOpContainsNone;
      if (op == kOpContainsNone) return kOpContainsAny;
      return std::nullopt;
    case kTRPredicateClassFileNameRegEx:
    case kTRPredicateClassFileURLRegEx:
    case kTRPredicateClassFileStatus:
    case kTRPredicateClassFileType:
      if (op == 0 || op == 1) return 1 - op;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

void AppendRows(const PredicateRef& p, std::vector<RuleController>& rows, int depth) {
  if (!p || depth > kMaxPredicateDepth) return;
  if (p->criterion() != kTRPredicateClassConnector) {
    rows.push_back(RuleController::ForPredicate(*p));
    return;
  }
  const std::int32_t op = p->operation();
  if (op == kOpAnd || op == kOpOr || op == kOpXor) {
    AppendRows(p->predicateValue(), rows, depth + 1);
    AppendRows(p->rightPredicateValue(), rows, depth + 1);
    return;
  }
  if (op == kOpNot) {
    const PredicateRef& inner = p->predicateValue();
    if (inner && inner->criterion() != kTRPredicateClassConnector) {
      if (auto opposite = OppositeOperation(*inner)) {
        TRSearchPredicate turned;
        turned.setType(inner->criterion() | *opposite);
        turned.setStringValue(inner->stringValue());
        turned.setSint64Value(inner->sint64Value());
        turned.setArrayValue(inner->arrayValue());
        rows.push_back(RuleController::ForPredicate(turned));
        return;
      }
    }
    AppendRows(inner, rows, depth + 1);
  }
}

}  // namespace

const std::vector<RuleMenuItem>& RuleCriteriaNames() {
  static const std::vector<RuleMenuItem> items = {
      {kRuleFileName, "Name"},         {kRuleFileSize, "Size"}, {kRuleFileURL, "URL"},
      {kRuleDownloadStatus, "Status"}, {kRuleFileType, "Type"}, {kRuleStartDate, "Date Started"},
      {kRuleEndDate, "Date Finished"},
  };
  return items;
}

const std::vector<RuleMenuItem>& RuleStringOperations() {
  static const std::vector<RuleMenuItem> items = {
      {0, "is"},
      {1, "contains"},
      {2, "does not contain"},
      {3, "begins with"},
      {4, "ends with"},
      {5, "matches the regular expression"},
      {6, "does not match the regular expression"},
      {7, "contains all of the words"},
      {8, "contains any of the words"},
      {9, "contains none of the words"},
  };
  return items;
}

const std::vector<RuleMenuItem>& RuleSizeComparisons() {
  static const std::vector<RuleMenuItem> items = {
      {1, "is at least"}, {2, "is at most"}, {kSizeEqualTag, "is"}};
  return items;
}

const std::vector<RuleMenuItem>& RuleSizeUnits() {
  static const std::vector<RuleMenuItem> items = {{0, "bytes"}, {1, "KB"}, {2, "MB"}, {3, "GB"}};
  return items;
}

const std::vector<RuleMenuItem>& RuleStatusClasses() {
  static const std::vector<RuleMenuItem> items = {{1, "is"}, {2, "is not"}};
  return items;
}

const std::vector<RuleMenuItem>& RuleStatusValues() {
  static const std::vector<RuleMenuItem> items = {
      {kStatusCompleted, "Completed"}, {kStatusDownloading, "Downloading"}, {kStatusStarting, "Starting"},
      {kStatusQueued, "Queued"},       {kStatusOnHold, "On Hold"},          {kStatusStopped, "Stopped"},
      {kStatusFailed, "Failed"},       {kStatusVerifying, "Verifying"},     {kStatusScheduled, "Scheduled"},
  };
  return items;
}

const std::vector<RuleMenuItem>& RuleTypeClasses() {
  static const std::vector<RuleMenuItem> items = {{1, "is one of"}, {2, "is none of"}};
  return items;
}

const std::vector<RuleMenuItem>& RuleDatePeriods() {
  static const std::vector<RuleMenuItem> items = {
      {1, "is today"},           {2, "is within the last week"}, {5, "is within the last month"},
      {3, "is within the last"}, {4, "is before the last"},
  };
  return items;
}

const std::vector<RuleMenuItem>& RuleMatchKinds() {
  static const std::vector<RuleMenuItem> items = {{kMatchAnyTag, "any"}, {kMatchAllTag, "all"}};
  return items;
}

std::int32_t FieldIntValue(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{INT_MAX} + 1) value = std::int64_t{INT_MAX} + 1;
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(std::min<std::int64_t>(value, INT_MAX));
}

// ---- RuleController ----

RuleController RuleController::controller() {
  RuleController row;
  row.fileSizeClass = 1;
  row.setSelectedRuleCriteriaType(kRuleFileName);
  return row;
}

RuleController RuleController::ForPredicate(const TRSearchPredicate& p) {
  RuleController row;
  row.fileSizeClass = kSizeEqualTag;
  const std::int32_t criterion = p.criterion();
  const std::int32_t op = p.operation();
  if (IsStringClass(criterion)) {
    const bool url = criterion == kTRPredicateClassFileURL || criterion == kTRPredicateClassFileURLRegEx;
    const bool list =
        !(criterion == kTRPredicateClassFileNameRegEx || criterion == kTRPredicateClassFileURLRegEx) &&
        op >= kOpContainsAny && op <= kOpContainsNone;
    const std::string text = list ? Join(p.arrayValue().value_or(std::vector<std::string>{}), "")
                                  : p.stringValue().value_or(std::string());
    row.setSelectedRuleCriteriaType(url ? kRuleFileURL : kRuleFileName);
    int& tag = url ? row.fileURLClass : row.fileNameClass;
    const bool regex =
        criterion == kTRPredicateClassFileNameRegEx || criterion == kTRPredicateClassFileURLRegEx;
    if (!regex && op == kOpIs)
      tag = 0;  // "is" shares its number with "matches": read as an expression it would match any part
    else if (const int shown = StringOperationTag(op))
      tag = shown;
    (url ? row.fileURLCriteria : row.fileNameCriteria) = text;
  } else if (criterion == kTRPredicateClassFileSize) {
    row.setSelectedRuleCriteriaType(kRuleFileSize);
    const std::int64_t v = p.sint64Value();
    if (v % kGiB == 0) {
      row.fileSizeCriteria = std::to_string(v / kGiB);
      row.fileSizeUnit = 3;
    } else if (v % kMiB == 0) {
      row.fileSizeCriteria = std::to_string(v / kMiB);
      row.fileSizeUnit = 2;
    } else {
      row.fileSizeCriteria = std::to_string(v / kKiB);
      row.fileSizeUnit = 1;
    }
    if (op == kOpAtLeast) row.fileSizeClass = 1;
    if (op == kOpAtMost) row.fileSizeClass = 2;
  } else if (criterion == kTRPredicateClassFileStatus) {
    row.setSelectedRuleCriteriaType(kRuleDownloadStatus);
    for (const RuleMenuItem& item : RuleStatusValues())
      if (item.tag == p.sint64Value()) row.downloadStatusCriteria = item.tag;
    if (op == 0) row.downloadStatusClass = 1;
    if (op == 1) row.downloadStatusClass = 2;
  } else if (criterion == kTRPredicateClassFileType) {
    row.setSelectedRuleCriteriaType(kRuleFileType);
    row.fileTypeCriteria = Join(p.arrayValue().value_or(std::vector<std::string>{}), ".");
    if (op == 0) row.fileTypeClass = 1;
    if (op == 1) row.fileTypeClass = 2;
  } else if (criterion == kTRPredicateClassStartDate || criterion == kTRPredicateClassEndDate) {
    const bool start = criterion == kTRPredicateClassStartDate;
    row.setSelectedRuleCriteriaType(start ? kRuleStartDate : kRuleEndDate);
    int& period = start ? row.startDateClass : row.endDateClass;
    std::string& days = start ? row.startDateCriteria : row.endDateCriteria;
    const std::int64_t n = p.sint64Value();
    if (op == kOpOnOrAfterDay && n == 1) {
      period = 1;
    } else if (op == kOpOnOrAfterDay && n == 7) {
      period = 2;
    } else if (op == kOpOnOrAfterDay && n == 31) {
      period = 5;
    } else {
      days = std::to_string(n);
      period = op == kOpOnOrAfterDay ? 3 : 4;
    }
  }
  row.classChanged();
  return row;
}

std::string RuleController::nameForRuleCriteriaType(int type) {
  for (const RuleMenuItem& item : RuleCriteriaNames())
    if (item.tag == type) return values::Localized(item.title);
  return {};
}

void RuleController::setSelectedRuleCriteriaType(int newType) {
  if (newType < 0 || newType >= kRuleCriteriaTypeCount) return;
  type = newType;
  classChanged();
}

void RuleController::classChanged() {
  auto shown = [](int period) { return period != 1 && period != 2 && period != 5; };
  if (type == kRuleStartDate) startDateDaysShown = shown(startDateClass);
  if (type == kRuleEndDate) endDateDaysShown = shown(endDateClass);
}

std::string RuleController::stringValue() const {
  switch (type) {
    case kRuleFileName:
      return fileNameCriteria;
    case kRuleFileSize:
      return fileSizeCriteria;
    case kRuleFileURL:
      return fileURLCriteria;
    case kRuleFileType:
      return fileTypeCriteria;
    default:
      return {};
  }
}

PredicateRef RuleController::searchPredicateTag(int& reason) const {
  reason = kRuleNoFailure;
  switch (type) {
    case kRuleFileName:
      return StringCriterion(fileNameCriteria, fileNameClass, kTRPredicateClassFileName,
                             kTRPredicateClassFileNameRegEx, reason);
    case kRuleFileURL:
      return StringCriterion(fileURLCriteria, fileURLClass, kTRPredicateClassFileURL,
                             kTRPredicateClassFileURLRegEx, reason);
    case kRuleFileSize: {
      if (fileSizeCriteria.empty()) {
        reason = kRuleRequiredFieldEmpty;
        return nullptr;
      }
      std::int64_t bytes = FieldIntValue(fileSizeCriteria);
      if (fileSizeUnit == 1) bytes *= kKiB;
      if (fileSizeUnit == 2) bytes *= kMiB;
      if (fileSizeUnit == 3) bytes *= kGiB;
      const std::int32_t op = fileSizeClass == 1 ? kOpAtLeast : fileSizeClass == 2 ? kOpAtMost : kOpEqual;
      return TRSearchPredicate::WithSize(bytes, op);
    }
    case kRuleDownloadStatus:
      return TRSearchPredicate::WithStatus(downloadStatusCriteria,
                                           downloadStatusClass == 2 ? kOpNotEqual : kOpEqual);
    case kRuleFileType: {
      PredicateRef p = fileTypeCriteria.empty()
                           ? nullptr
                           : TRSearchPredicate::WithStringOfTypes(
                                 fileTypeCriteria, fileTypeClass == 2 ? kOpTypeNotIn : kOpTypeIn);
      if (!p) reason = kRuleRequiredFieldEmpty;
      return p;
    }
    case kRuleStartDate:
      return DateCriterion(startDateClass, startDateCriteria, kTRPredicateClassStartDate, reason);
    case kRuleEndDate:
      return DateCriterion(endDateClass, endDateCriteria, kTRPredicateClassEndDate, reason);
    default:
      return nullptr;
  }
}

std::vector<RuleController> ControllerArrayWithPredicate(const PredicateRef& predicate) {
  std::vector<RuleController> rows;
  AppendRows(predicate, rows, 0);
  return rows;
}

// ---- SmartFolderRuleEditorController ----

SmartFolderRuleEditorController::SmartFolderRuleEditorController(SmartFolderRef folder)
    : folder_(std::move(folder)) {
  for (int t = 0; t < kRuleCriteriaTypeCount; ++t) freeTypes_.insert(t);
  if (folder_) {
    rows_ = ControllerArrayWithPredicate(folder_->predicate());
    heightDelta_ = kRuleRowHeight * static_cast<double>(rows_.size());
    if (const PredicateRef& p = folder_->predicate(); p && p->criterion() == kTRPredicateClassConnector) {
      if (p->operation() == kOpAnd) matchKind_ = kMatchAllTag;
      if (p->operation() == kOpOr) matchKind_ = kMatchAnyTag;
    }
  }
  // A folder without a rule still opens with a row to fill in.
  if (rows_.empty()) addRow({});
}

std::string SmartFolderRuleEditorController::title() const {
  if (!folder_) return values::Localized("New Smart Folder");
  return values::Format(values::Localized(kEditingSmartFolderFormat), {folder_->name()});
}

void SmartFolderRuleEditorController::addControllerAtIndex(RuleController row,
                                                           std::optional<std::size_t> afterIndex) {
  if (!freeTypes_.empty()) row.setSelectedRuleCriteriaType(*freeTypes_.begin());
  if (afterIndex && *afterIndex < rows_.size())
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(*afterIndex + 1), std::move(row));
  else
    rows_.push_back(std::move(row));
  heightDelta_ += kRuleRowHeight;
}

void SmartFolderRuleEditorController::addRow(const std::set<std::size_t>& selectedRows) {
  std::optional<std::size_t> after;
  if (!selectedRows.empty()) after = *selectedRows.rbegin();
  addControllerAtIndex(RuleController::controller(), after);
}

void SmartFolderRuleEditorController::removeControllerAtIndex(std::size_t index) {
  if (index >= rows_.size()) return;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  heightDelta_ -= kRuleRowHeight;
}

void SmartFolderRuleEditorController::removeRow(const std::set<std::size_t>& selectedRows) {
  for (auto it = selectedRows.rbegin(); it != selectedRows.rend() && rows_.size() > 1; ++it)
    removeControllerAtIndex(*it);
}

void SmartFolderRuleEditorController::changeRuleType(std::size_t row, int type) {
  if (row < rows_.size()) rows_[row].setSelectedRuleCriteriaType(type);
}

SmartFolderRuleEditorController::Outcome SmartFolderRuleEditorController::BuildPredicate() const {
  Outcome out;
  std::vector<PredicateRef> criteria;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    int reason = kRuleNoFailure;
    PredicateRef p = rows_[i].searchPredicateTag(reason);
    if (!p) {
      out.failedRow = i;
      if (reason == kRuleRequiredFieldEmpty)
        out.message = values::Localized(kRuleFieldsMissingMessage);
      else if (reason == kRuleBadRegularExpression)
        out.message = values::Format(values::Localized(kRuleBadRegexFormat), {rows_[i].stringValue()});
      else
        out.message = values::Localized(kRuleInvalidMessage);
      return out;
    }
    criteria.push_back(std::move(p));
  }
  if (criteria.empty()) {
    out.message = values::Localized(kRuleFieldsMissingMessage);
    return out;
  }
  const std::int32_t connector = matchKind_ == kMatchAnyTag ? kOpOr : kOpAnd;
  PredicateRef chain = criteria.front();
  for (std::size_t i = 1; i < criteria.size(); ++i)
    chain = TRSearchPredicate::WithPredicates(chain, criteria[i], connector);
  out.predicate = std::move(chain);
  return out;
}

SmartFolderRef SmartFolderRuleEditorController::ok(std::string& failure) {
  failure.clear();
  Outcome outcome = BuildPredicate();
  if (!outcome.predicate) {
    failure = outcome.message;
    return nullptr;
  }
  if (folder_) {
    folder_->setPredicate(outcome.predicate);
    if (folder_->smartFolder()) folder_->updateSmartFolder();
    // The rule lives in the queue file: a changed rule must be written at the next save.
    MarkQueueDirty();
    return folder_;
  }
  const ViewID uid = NewSmartFolderUID();
  if (uid == 0) return nullptr;
  return TRSmartFolder::addSmartFolderToListWithName(values::Localized("Untitled"), uid, outcome.predicate);
}

}  // namespace queue
