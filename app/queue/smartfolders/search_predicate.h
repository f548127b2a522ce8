#pragma once
// The rule of a smart folder: a tree of TRSearchPredicate nodes. Leaves test one attribute
// of a download (file name, URL, size, status, file type, start date, end date); inner
// nodes (connectors) join two sub-rules with not, and, or, exclusive or.
//
// The type word holds the criterion class in its high 16 bits and the operation in its low
// 16 bits. A tree is built bottom-up and not changed afterwards (the setters exist for
// decoding), so evaluation needs no lock; the one later write is the lazily computed
// variableTypes, which always receives the same value.
//
// variableTypes is the set of DownloadAttributeChangeBits the rule reads: the change
// tracker re-checks a download against a folder only when a changed attribute is one the
// folder's rule depends on.
//
// A rule also translates into a search query over the metadata attributes the completion
// step writes onto every finished file; a rule the query language cannot express throws
// SpotlightQueryError with its failure code.
//
// Archived form: a keyed archive (binary property list with "$archiver", "$top",
// "$objects") of the classes "TRSearchPredicate", "NSString", "NSArray". Decoding is
// bounded in depth and refuses cycles and wrong types: the queue file is outside input.

#include <regex.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/values/value.h"

namespace queue {

enum SearchCriterion : std::int32_t {
  kTRPredicateClassConnector = 0,
  kTRPredicateClassFileName = 0x10000,
  kTRPredicateClassFileSize = 0x20000,
  kTRPredicateClassFileNameRegEx = 0x30000,
  kTRPredicateClassFileURL = 0x40000,
  kTRPredicateClassFileURLRegEx = 0x50000,
  kTRPredicateClassFileStatus = 0x60000,
  kTRPredicateClassFileType = 0x70000,
  kTRPredicateClassStartDate = 0x80000,
  kTRPredicateClassEndDate = 0x90000,
};

// Operations, by class (the low half of the type word).
enum SearchOperation : std::int32_t {
  // Connector.
  kOpNot = 0,
  kOpAnd = 1,
  kOpOr = 2,
  kOpXor = 3,
  // File name and URL.
  kOpIs = 0,
  kOpIsNot = 1,
  kOpSortsBefore = 2,
  kOpSortsAfter = 3,
  kOpEndsWith = 4,
  kOpBeginsWith = 5,
  kOpContains = 6,
  kOpDoesNotContain = 7,
  kOpContainsAny = 8,
  kOpContainsAll = 9,
  kOpContainsNone = 10,
  // Regular expressions.
  kOpMatches = 0,
  kOpDoesNotMatch = 1,
  // Size.
  kOpEqual = 0,
  kOpNotEqual = 1,
  kOpAtLeast = 2,
  kOpAtMost = 3,
  // File type.
  kOpTypeIn = 0,
  kOpTypeNotIn = 1,
  // Dates.
  kOpOnDay = 0,
  kOpOnOrAfterDay = 2,
  kOpOnOrBeforeDay = 3,
};

enum SpotlightQueryFailure : int {
  kQueryBadConnector = 1,
  kQueryNoForm = 2,
  kQueryOrdering = 4,
  kQueryRegexTooSimple = 5,
  kQueryNoTerms = 6,
};

struct SpotlightQueryError : std::runtime_error {
  explicit SpotlightQueryError(int c) : std::runtime_error("spotlight query failure"), code(c) {}
  int code;
};

class TRSearchPredicate;
using PredicateRef = std::shared_ptr<TRSearchPredicate>;

class TRSearchPredicate {
 public:
  TRSearchPredicate() = default;
  ~TRSearchPredicate();
  TRSearchPredicate(const TRSearchPredicate&) = delete;
  TRSearchPredicate& operator=(const TRSearchPredicate&) = delete;

  // Constructors; null where the text does not compile or the list is empty after cleaning.
  static PredicateRef WithPredicates(PredicateRef left, PredicateRef right, std::int32_t operation);
  static PredicateRef WithNumberOfDays(std::int32_t days, std::int32_t operation, std::int32_t criterion);
  static PredicateRef WithString(std::string text, std::int32_t operation, std::int32_t criterion);
  static PredicateRef WithRegEx(std::string text, std::int32_t operation, std::int32_t criterion);
  static PredicateRef WithSize(std::int64_t bytes, std::int32_t operation);
  static PredicateRef WithStatus(std::int64_t status, std::int32_t operation);
  static PredicateRef WithStringOfTypes(const std::string& list, std::int32_t operation);
  static PredicateRef WithArrayString(const std::string& list, std::int32_t operation,
                                      std::int32_t criterion);

  // Presets.
  static PredicateRef YesterdayPredicate();
  static PredicateRef LastNPredicate(std::int32_t days);
  static PredicateRef RecentlyCompletedPredicate();
  static PredicateRef RecentlyAddedPredicate();
  static PredicateRef LargeFilesPredicate();
  static PredicateRef ApplicationsPredicate();
  static PredicateRef RunningDownloadsPredicate();

  bool evaluateForElement(const DownloadQueueWrapper& wrapper) const;
  std::uint32_t variableTypes() const;
  void setVariableTypes(std::uint32_t bits) { variableTypes_ = bits; }
  // Throws SpotlightQueryError.
  std::string spotlightQuery() const;

  std::int32_t type() const { return type_; }
  std::int32_t criterion() const { return type_ & static_cast<std::int32_t>(0xFFFF0000); }
  std::int32_t operation() const { return type_ & 0xFFFF; }
  const std::optional<std::string>& stringValue() const { return stringValue_; }
  std::int64_t sint64Value() const { return sint64Value_; }
  const PredicateRef& predicateValue() const { return predicateValue_; }
  const PredicateRef& rightPredicateValue() const { return rightPredicateValue_; }
  const std::optional<std::vector<std::string>>& arrayValue() const { return arrayValue_; }
  const std::optional<std::string>& attribute1StringValue() const { return stringValue_; }
  std::int64_t attribute1SInt64Value() const { return sint64Value_; }

  void setType(std::int32_t type) { type_ = type; }
  void setStringValue(std::optional<std::string> v) { stringValue_ = std::move(v); }
  void setSint64Value(std::int64_t v) { sint64Value_ = v; }
  void setPredicateValue(PredicateRef v) { predicateValue_ = std::move(v); }
  void setRightPredicateValue(PredicateRef v) { rightPredicateValue_ = std::move(v); }
  void setArrayValue(std::optional<std::vector<std::string>> v) { arrayValue_ = std::move(v); }

  // Same type word and values, recursively (the compiled expression follows its text).
  bool Equals(const TRSearchPredicate& other) const;
  // "<TRSearchPredicate: %x> type:%d class %d"
  std::string description() const;

 private:
  bool CompileRegex();
  bool EvaluateString(const std::string& text) const;
  bool EvaluateDate(double date, bool endDate) const;
  std::string LeafQuery() const;

  std::int32_t type_ = 0;
  std::optional<std::string> stringValue_;
  std::int64_t sint64Value_ = 0;
  PredicateRef predicateValue_;
  PredicateRef rightPredicateValue_;
  std::optional<std::vector<std::string>> arrayValue_;
  std::unique_ptr<regex_t> regex_;
  mutable std::uint32_t variableTypes_ = 0;

  friend PredicateRef DecodePredicateNode(const values::Array&, std::uint32_t, int, std::vector<bool>&);
};

// A copy of the text with a backslash before every backslash, apostrophe, double quote and
// asterisk.
std::string EscapedString(const std::string& text);

// List cleaning: ";" separates when the text holds one, else ","; pieces are trimmed of
// white space (and, for extensions, of leading and trailing punctuation); empty pieces go.
std::vector<std::string> CleanListText(const std::string& text, bool extensions);

// The keyed archive of a rule (binary property list bytes), and back; nothing when the
// archive is malformed, deeper than kMaxPredicateDepth, cyclic or a regular expression
// in it does not compile.
inline constexpr int kMaxPredicateDepth = 64;
values::Bytes ArchivePredicate(const TRSearchPredicate& predicate);
PredicateRef UnarchivePredicate(const values::Bytes& archive);
PredicateRef UnarchivePredicate(const values::Value& archive);  // data, or an already-read root

// Where the diagnostic lines of evaluation go (standard error by default; tests capture).
void SetPredicateDiagnosticSink(std::function<void(const std::string&)> sink);

}  // namespace queue
