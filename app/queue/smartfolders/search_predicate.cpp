#include "app/queue/smartfolders/search_predicate.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <span>

#include "app/queue/smartfolders/date_notifier.h"
#include "platform/values/plist.h"
#include "platform/values/string_compare.h"

namespace queue {
namespace {

constexpr double kDay = 86400;
constexpr const char kPrefix[] = "com_orbenix_truvane_";

std::function<void(const std::string&)>& DiagnosticSink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

void Diagnose(const std::string& line) {
  if (DiagnosticSink()) {
    DiagnosticSink()(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

bool IsStringClass(std::int32_t c) {
  return c == kTRPredicateClassFileName || c == kTRPredicateClassFileURL;
}
bool IsRegexClass(std::int32_t c) {
  return c == kTRPredicateClassFileNameRegEx || c == kTRPredicateClassFileURLRegEx;
}

bool ContainsCI(const std::string& text, const std::string& needle) {
  return values::FindString(text, needle, values::kCaseInsensitive).has_value();
}

std::string Trim(std::string_view s, bool punctuation) {
  auto strip = [punctuation](unsigned char c) {
    return std::isspace(c) || c == '\r' || c == '\n' || (punctuation && std::ispunct(c));
  };
  std::size_t b = 0, e = s.size();
  while (b < e && strip(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && strip(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// The extension of a file name: the text after its last dot, empty without one.
std::string Extension(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string Format(const char* tmpl, const std::string& value) {
  std::string out;
  for (const char* p = tmpl; *p; ++p) {
    if (p[0] == '%' && p[1] == '@') {
      out += value;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string Attribute(std::int32_t criterion) {
  return std::string(kPrefix) +
         (criterion == kTRPredicateClassFileURL || criterion == kTRPredicateClassFileURLRegEx ? "url"
                                                                                              : "name");
}

// Joins one term per word: `first` for every term, `joiner` between them.
std::string ListQuery(const std::vector<std::string>& words, const std::string& attribute, const char* op,
                      const char* pattern, const char* joiner) {
  if (words.empty()) throw SpotlightQueryError(kQueryNoForm);
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += joiner;
    out += attribute + op + "\"" + Format(pattern, EscapedString(words[i])) + "\"c";
  }
  return out;
}

// The alternatives of an expression: the text between "|" characters not escaped by a
// backslash, the last piece included.
std::vector<std::string> Alternatives(const std::string& expression) {
  std::vector<std::string> out(1);
  for (std::size_t i = 0; i < expression.size(); ++i) {
    if (expression[i] == '\\' && i + 1 < expression.size()) {
      out.back() += expression.substr(i, 2);
      ++i;
    } else if (expression[i] == '|') {
      out.emplace_back();
    } else {
      out.back() += expression[i];
    }
  }
  return out;
}

}  // namespace

void SetPredicateDiagnosticSink(std::function<void(const std::string&)> sink) {
  DiagnosticSink() = std::move(sink);
}

std::string EscapedString(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\' || c == '\'' || c == '"' || c == '*') out += '\\';
    out += c;
  }
  return out;
}

std::vector<std::string> CleanListText(const std::string& text, bool extensions) {
  const char separator = text.find(';') != std::string::npos ? ';' : ',';
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string piece = Trim(std::string_view(text).substr(start, end - start), extensions);
    if (!piece.empty()) out.push_back(std::move(piece));
    start = end + 1;
  }
  return out;
}

TRSearchPredicate::~TRSearchPredicate() {
  if (regex_) ::regfree(regex_.get());
}

bool TRSearchPredicate::CompileRegex() {
  if (regex_) {
    ::regfree(regex_.get());
    regex_.reset();
  }
  auto compiled = std::make_unique<regex_t>();
  if (!stringValue_ ||
      ::regcomp(compiled.get(), stringValue_->c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) != 0)
    return false;
  regex_ = std::move(compiled);
  return true;
}

PredicateRef TRSearchPredicate::WithPredicates(PredicateRef left, PredicateRef right,
                                               std::int32_t operation) {
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation;
  p->predicateValue_ = std::move(left);
  p->rightPredicateValue_ = std::move(right);
  return p;
}

PredicateRef TRSearchPredicate::WithNumberOfDays(std::int32_t days, std::int32_t operation,
                                                 std::int32_t criterion) {
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation | criterion;
  p->sint64Value_ = days;
  return p;
}

PredicateRef TRSearchPredicate::WithString(std::string text, std::int32_t operation, std::int32_t criterion) {
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation | criterion;
  p->stringValue_ = std::move(text);
  return p;
}

PredicateRef TRSearchPredicate::WithRegEx(std::string text, std::int32_t operation, std::int32_t criterion) {
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation | criterion;
  p->stringValue_ = std::move(text);
  if (!p->CompileRegex()) return nullptr;
  return p;
}

PredicateRef TRSearchPredicate::WithSize(std::int64_t bytes, std::int32_t operation) {
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation | kTRPredicateClassFileSize;
  p->sint64Value_ = bytes;
  return p;
}

PredicateRef TRSearchPredicate::WithStatus(std::int64_t status, std::int32_t operation) {
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation | kTRPredicateClassFileStatus;
  p->sint64Value_ = status;
  return p;
}

PredicateRef TRSearchPredicate::WithStringOfTypes(const std::string& list, std::int32_t operation) {
  auto words = CleanListText(list, true);
  if (words.empty()) return nullptr;
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation | kTRPredicateClassFileType;
  p->arrayValue_ = std::move(words);
  return p;
}

PredicateRef TRSearchPredicate::WithArrayString(const std::string& list, std::int32_t operation,
                                                std::int32_t criterion) {
  auto words = CleanListText(list, false);
  if (words.empty()) return nullptr;
  auto p = std::make_shared<TRSearchPredicate>();
  p->type_ = operation | criterion;
  p->arrayValue_ = std::move(words);
  return p;
}

PredicateRef TRSearchPredicate::YesterdayPredicate() {
  return WithPredicates(WithNumberOfDays(2, kOpOnDay, kTRPredicateClassEndDate),
                        WithNumberOfDays(2, kOpOnDay, kTRPredicateClassStartDate), kOpOr);
}
PredicateRef TRSearchPredicate::LastNPredicate(std::int32_t days) {
  return WithPredicates(WithNumberOfDays(days, kOpOnOrAfterDay, kTRPredicateClassEndDate),
                        WithNumberOfDays(days, kOpOnOrAfterDay, kTRPredicateClassStartDate), kOpOr);
}
PredicateRef TRSearchPredicate::RecentlyCompletedPredicate() {
  return WithPredicates(WithStatus(kStatusCompleted, kOpEqual),
                        WithNumberOfDays(3, kOpOnOrAfterDay, kTRPredicateClassEndDate), kOpAnd);
}
PredicateRef TRSearchPredicate::RecentlyAddedPredicate() {
  return WithNumberOfDays(3, kOpOnOrAfterDay, kTRPredicateClassStartDate);
}
PredicateRef TRSearchPredicate::LargeFilesPredicate() {
  return WithSize(100LL * 1048576, kOpAtLeast);
}
PredicateRef TRSearchPredicate::ApplicationsPredicate() {
  return WithStringOfTypes("bin;sit;sitx;dmg;zip;tgz;gz", kOpTypeIn);
}
PredicateRef TRSearchPredicate::RunningDownloadsPredicate() {
  return WithStatus(kStatusDownloading, kOpEqual);
}

bool TRSearchPredicate::EvaluateString(const std::string& text) const {
  const std::string value = stringValue_.value_or("");
  using values::kCaseInsensitive;
  switch (operation()) {
    case kOpIs:
      return values::EqualStrings(text, value, kCaseInsensitive);
    case kOpIsNot:
      return !values::EqualStrings(text, value, kCaseInsensitive);
    case kOpSortsBefore:
      return values::CompareStrings(text, value, kCaseInsensitive) == values::ComparisonResult::kLessThan;
    case kOpSortsAfter:
      return values::CompareStrings(text, value, kCaseInsensitive) == values::ComparisonResult::kGreaterThan;
    case kOpEndsWith:
      return values::HasSuffix(text, value, kCaseInsensitive);
    case kOpBeginsWith:
      return values::HasPrefix(text, value, kCaseInsensitive);
    case kOpContains:
      return ContainsCI(text, value);
    case kOpDoesNotContain:
      return !ContainsCI(text, value);
    case kOpContainsAny:
      if (arrayValue_)
        for (const auto& w : *arrayValue_)
          if (ContainsCI(text, w)) return true;
      return false;
    case kOpContainsAll:
      if (arrayValue_)
        for (const auto& w : *arrayValue_)
          if (!ContainsCI(text, w)) return false;
      return true;
    case kOpContainsNone:
      if (arrayValue_)
        for (const auto& w : *arrayValue_)
          if (ContainsCI(text, w)) return false;
      return true;
    default:
      Diagnose(criterion() == kTRPredicateClassFileURL ? "invalid kTRPredicateClassFileURL type!"
                                                       : "invalid kTRPredicateClassFileName type!");
      return false;
  }
}

bool TRSearchPredicate::EvaluateDate(double date, bool endDate) const {
  if (!std::isfinite(date)) return false;
  if (endDate && std::fabs(date) < 0.01) return false;
  const double t0 = TRDateNotifier::sharedInstance().midnight();
  const double d = t0 - static_cast<double>(sint64Value_ - 1) * kDay;
  switch (operation()) {
    case kOpOnDay:
      return d <= date && date < d + kDay;
    case kOpOnOrAfterDay:
      return date >= d;
    case kOpOnOrBeforeDay:
      return date <= d;
    default:
      Diagnose(endDate ? "invalid end date connector type!" : "invalid start date connector type!");
      return false;
  }
}

bool TRSearchPredicate::evaluateForElement(const DownloadQueueWrapper& w) const {
  switch (criterion()) {
    case kTRPredicateClassConnector: {
      const auto eval = [&w](const PredicateRef& p) { return p && p->evaluateForElement(w); };
      switch (operation()) {
        case kOpNot:
          return !eval(predicateValue_);
        case kOpAnd:
          return eval(predicateValue_) && eval(rightPredicateValue_);
        case kOpOr:
          return eval(predicateValue_) || eval(rightPredicateValue_);
        case kOpXor: {
          const bool l = eval(predicateValue_);
          const bool r = eval(rightPredicateValue_);
          return l != r;
        }
        default:
          Diagnose("invalid predicate connector type!");
          return false;
      }
    }
    case kTRPredicateClassFileName:
      return EvaluateString(w.filename());
    case kTRPredicateClassFileURL: {
      // A download without a URL has no text to test: it fails every URL criterion but
      // the negative ones, which hold for an empty text.
      return EvaluateString(w.url().value_or(""));
    }
    case kTRPredicateClassFileNameRegEx:
    case kTRPredicateClassFileURLRegEx: {
      if (!regex_ || (operation() != kOpMatches && operation() != kOpDoesNotMatch)) {
        Diagnose("invalid kTRPredicateClassFileNameRegEx type");
        return false;
      }
      const std::string text =
          criterion() == kTRPredicateClassFileNameRegEx ? w.filename() : w.url().value_or("");
      const bool matches = ::regexec(regex_.get(), text.c_str(), 0, nullptr, 0) == 0;
      return operation() == kOpMatches ? matches : !matches;
    }
    case kTRPredicateClassFileSize:
      switch (operation()) {
        case kOpEqual:
          return w.fileSize() == sint64Value_;
        case kOpNotEqual:
          return w.fileSize() != sint64Value_;
        case kOpAtLeast:
          return w.fileSize() >= sint64Value_;
        case kOpAtMost:
          return w.fileSize() <= sint64Value_;
        default:
          Diagnose("invalid kTRPredicateClassFileSize type!");
          return false;
      }
    case kTRPredicateClassFileStatus: {
      const bool highClear = (static_cast<std::uint64_t>(sint64Value_) >> 32) == 0;
      const bool equal = highClear && static_cast<std::int32_t>(sint64Value_) == w.status();
      switch (operation()) {
        case kOpEqual:
          return equal;
        case kOpNotEqual:
          return static_cast<std::int64_t>(w.status()) != sint64Value_;
        default:
          Diagnose("invalid kTRPredicateClassFileStatus type!");
          return false;
      }
    }
    case kTRPredicateClassFileType: {
      const std::string ext = Extension(w.filename());
      bool found = false;
      if (arrayValue_)
        for (const auto& e : *arrayValue_)
          if (values::EqualStrings(ext, e, values::kCaseInsensitive)) {
            found = true;
            break;
          }
      switch (operation()) {
        case kOpTypeIn:
          return found;
        case kOpTypeNotIn:
          return !found;
        default:
          Diagnose("invalid kTRPredicateClassFileType type!");
          return false;
      }
    }
    case kTRPredicateClassStartDate:
      return EvaluateDate(w.startDate(), false);
    case kTRPredicateClassEndDate:
      return EvaluateDate(w.endDate(), true);
    default:
      Diagnose("invalid predicate class!");
      return false;
  }
}

std::uint32_t TRSearchPredicate::variableTypes() const {
  if (variableTypes_ != 0) return variableTypes_;
  std::uint32_t bits = 0;
  switch (criterion()) {
    case kTRPredicateClassConnector:
      if (predicateValue_) bits |= predicateValue_->variableTypes();
      if (operation() != kOpNot && rightPredicateValue_) bits |= rightPredicateValue_->variableTypes();
      break;
    case kTRPredicateClassFileName:
    case kTRPredicateClassFileNameRegEx:
    case kTRPredicateClassFileType:
      bits = kChangedFilename;
      break;
    case kTRPredicateClassFileURL:
    case kTRPredicateClassFileURLRegEx:
      bits = kChangedURLData;
      break;
    case kTRPredicateClassFileSize:
      bits = kChangedFileSize;
      break;
    case kTRPredicateClassFileStatus:
      bits = kChangedStatus;
      break;
    case kTRPredicateClassStartDate:
      bits = kChangedStartDate;
      break;
    case kTRPredicateClassEndDate:
      bits = kChangedEndDate;
      break;
    default:
      Diagnose("bad type in classes");
      return 0;
  }
  variableTypes_ = bits;
  return bits;
}

std::string TRSearchPredicate::LeafQuery() const {
  const std::int32_t op = operation();
  const std::string attr = Attribute(criterion());
  char buf[160];
  switch (criterion()) {
    case kTRPredicateClassStartDate:
    case kTRPredicateClassEndDate: {
      if (op != kOpOnOrAfterDay && op != kOpOnOrBeforeDay) throw SpotlightQueryError(kQueryNoForm);
      const char* name = criterion() == kTRPredicateClassStartDate ? "StartDate" : "EndDate";
      std::snprintf(buf, sizeof buf, "%s%s %s $time.today(-%lld)", kPrefix, name,
                    op == kOpOnOrAfterDay ? ">=" : "<=", static_cast<long long>(sint64Value_ - 1));
      return buf;
    }
    case kTRPredicateClassFileSize: {
      static const char* const kOps[] = {"==", "!=", ">=", "<="};
      if (op < 0 || op > 3) throw SpotlightQueryError(kQueryNoForm);
      std::snprintf(buf, sizeof buf, "%sDLSize %s %lld ", kPrefix, kOps[op],
                    static_cast<long long>(sint64Value_));
      return buf;
    }
    case kTRPredicateClassFileName:
    case kTRPredicateClassFileURL: {
      if (op == kOpSortsBefore || op == kOpSortsAfter) throw SpotlightQueryError(kQueryOrdering);
      const bool url = criterion() == kTRPredicateClassFileURL;
      if (op > kOpContainsNone || (url && op >= kOpContainsAny)) throw SpotlightQueryError(kQueryNoForm);
      const std::string v = EscapedString(stringValue_.value_or(""));
      switch (op) {
        case kOpIs:
          return attr + "==\"" + v + "\"c";
        case kOpIsNot:
          return attr + "!=\"" + v + "\"c";
        case kOpEndsWith:
          return attr + "==\"*" + v + "\"c";
        case kOpBeginsWith:
          return attr + "==\"" + v + "*\"c";
        case kOpContains:
          return attr + "==\"*" + v + "*\"c";
        case kOpDoesNotContain:
          return attr + "!=\"*" + v + "*\"c";
        case kOpContainsAny:
          return ListQuery(arrayValue_.value_or(std::vector<std::string>{}), attr, "==", "*%@*", " || ");
        case kOpContainsAll:
          return ListQuery(arrayValue_.value_or(std::vector<std::string>{}), attr, "==", "*%@*", " && ");
        default:
          return ListQuery(arrayValue_.value_or(std::vector<std::string>{}), attr, "!=", "*%@*", " && ");
      }
    }
    case kTRPredicateClassFileType:
      if (op == kOpTypeIn)
        return ListQuery(arrayValue_.value_or(std::vector<std::string>{}), attr, "==", "*.%@", " || ");
      if (op == kOpTypeNotIn)
        return ListQuery(arrayValue_.value_or(std::vector<std::string>{}), attr, "!=", "*.%@", " && ");
      throw SpotlightQueryError(kQueryNoForm);
    case kTRPredicateClassFileNameRegEx:
    case kTRPredicateClassFileURLRegEx: {
      const auto alternatives = Alternatives(stringValue_.value_or(""));
      if (alternatives.size() < 2) throw SpotlightQueryError(kQueryRegexTooSimple);
      if (op == kOpMatches) return ListQuery(alternatives, attr, "==", "*%@*", " || ");
      if (op == kOpDoesNotMatch) return ListQuery(alternatives, attr, "!=", "*%@*", " && ");
      throw SpotlightQueryError(kQueryNoForm);
    }
    case kTRPredicateClassFileStatus:
      throw SpotlightQueryError(kQueryNoTerms);
    default:
      Diagnose("invalid predicate class!");
      return {};
  }
}

std::string TRSearchPredicate::spotlightQuery() const {
  if (criterion() != kTRPredicateClassConnector) return LeafQuery();
  const auto translate = [](const PredicateRef& p) -> std::optional<std::string> {
    if (!p) return std::nullopt;
    try {
      return p->spotlightQuery();
    } catch (const SpotlightQueryError& e) {
      if (e.code == kQueryNoTerms) return std::nullopt;
      throw;
    }
  };
  const auto left = translate(predicateValue_);
  const auto right = operation() == kOpNot ? std::nullopt : translate(rightPredicateValue_);
  if (operation() != kOpAnd && operation() != kOpOr) throw SpotlightQueryError(kQueryBadConnector);
  if (left && right) return "(" + *left + ") " + (operation() == kOpAnd ? "&&" : "||") + " (" + *right + ")";
  if (left) return *left;
  if (right) return *right;
  throw SpotlightQueryError(kQueryNoTerms);
}

bool TRSearchPredicate::Equals(const TRSearchPredicate& o) const {
  const auto same = [](const PredicateRef& a, const PredicateRef& b) {
    return (!a && !b) || (a && b && a->Equals(*b));
  };
  return type_ == o.type_ && stringValue_ == o.stringValue_ && sint64Value_ == o.sint64Value_ &&
         arrayValue_ == o.arrayValue_ && same(predicateValue_, o.predicateValue_) &&
         same(rightPredicateValue_, o.rightPredicateValue_);
}

std::string TRSearchPredicate::description() const {
  char buf[96];
  std::snprintf(buf, sizeof buf, "<TRSearchPredicate: %x> type:%d class %d",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)), operation(), criterion());
  return buf;
}

// ---- Keyed archive ----

namespace {

using values::Value;

class Archiver {
 public:
  Archiver() { objects_.push_back(Value("$null")); }

  Value Encode(const TRSearchPredicate& p) {
    const std::size_t index = objects_.size();
    objects_.emplace_back();  // placeholder: children come after their parent
    values::Dictionary d;
    d["$class"] = ClassRef("TRSearchPredicate", {"TRSearchPredicate", "NSObject"});
    d["type"] = values::Number::Int32(p.type());
    d["stringValue"] = p.stringValue() ? Add(Value(*p.stringValue())) : values::MakeUid(0);
    d["sint64Value"] = values::Number::Int64(p.sint64Value());
    d["predicateValue"] = p.predicateValue() ? Encode(*p.predicateValue()) : values::MakeUid(0);
    d["rightPredicateValue"] =
        p.rightPredicateValue() ? Encode(*p.rightPredicateValue()) : values::MakeUid(0);
    d["variableTypes"] = values::Number::Int64(p.variableTypes());
    if (p.arrayValue()) {
      values::Array refs;
      for (const auto& w : *p.arrayValue()) refs.push_back(Add(Value(w)));
      values::Dictionary array{{"NS.objects", std::move(refs)}};
      array["$class"] = ClassRef("NSArray", {"NSArray", "NSObject"});
      d["arrayValue"] = Add(Value(std::move(array)));
    } else {
      d["arrayValue"] = values::MakeUid(0);
    }
    objects_[index] = Value(std::move(d));
    return values::MakeUid(static_cast<std::uint32_t>(index));
  }

  values::Bytes Finish(Value root) {
    values::Dictionary top{{"root", std::move(root)}};
    Value archive(values::Dictionary{{"$archiver", "NSKeyedArchiver"},
                                     {"$version", values::Number::Int64(100000)},
                                     {"$top", std::move(top)},
                                     {"$objects", std::move(objects_)}});
    auto bytes = values::WritePropertyList(archive, values::PlistFormat::kBinary);
    return bytes.ok() ? *bytes : values::Bytes{};
  }

 private:
  Value Add(Value v) {
    objects_.push_back(std::move(v));
    return values::MakeUid(static_cast<std::uint32_t>(objects_.size() - 1));
  }
  Value ClassRef(const std::string& name, std::vector<std::string> chain) {
    auto it = classes_.find(name);
    if (it != classes_.end()) return values::MakeUid(it->second);
    values::Array classes;
    for (auto& c : chain) classes.push_back(Value(c));
    Value ref = Add(Value(values::Dictionary{{"$classname", name}, {"$classes", std::move(classes)}}));
    classes_[name] = *values::GetUid(ref);
    return ref;
  }

  values::Array objects_;
  std::map<std::string, std::uint32_t> classes_;
};

const Value* Object(const values::Array& objects, const Value* ref) {
  if (ref == nullptr) return nullptr;
  const auto uid = values::GetUid(*ref);
  if (!uid || *uid == 0 || *uid >= objects.size()) return nullptr;
  return &objects[*uid];
}

std::optional<std::string> ClassName(const values::Array& objects, const Value& object) {
  const Value* cls = Object(objects, object.Find("$class"));
  std::string name;
  if (cls == nullptr || cls->GetString("$classname", name) != values::Lookup::kOk) return std::nullopt;
  return name;
}

}  // namespace

// Reads one node; `onPath` marks the objects being decoded above it, so a reference back
// up the tree (a cycle) is refused rather than followed forever.
PredicateRef DecodePredicateNode(const values::Array& objects, std::uint32_t index, int depth,
                                 std::vector<bool>& onPath) {
  if (depth > kMaxPredicateDepth || index == 0 || index >= objects.size() || onPath[index]) return nullptr;
  const Value& node = objects[index];
  if (!node.IsDictionary() || ClassName(objects, node) != "TRSearchPredicate") return nullptr;
  onPath[index] = true;
  struct Unmark {
    std::vector<bool>& v;
    std::uint32_t i;
    ~Unmark() { v[i] = false; }
  } unmark{onPath, index};

  auto p = std::make_shared<TRSearchPredicate>();
  std::int64_t n = 0;
  if (node.GetInt64("type", n) == values::Lookup::kOk) p->setType(static_cast<std::int32_t>(n));
  if (const Value* s = Object(objects, node.Find("stringValue"))) {
    if (!s->IsString()) return nullptr;
    p->setStringValue(*s->AsString());
  }
  if (node.GetInt64("sint64Value", n) == values::Lookup::kOk) p->setSint64Value(n);
  for (const char* key : {"predicateValue", "rightPredicateValue"}) {
    const Value* ref = node.Find(key);
    if (ref == nullptr) continue;
    const auto uid = values::GetUid(*ref);
    if (!uid) return nullptr;
    if (*uid == 0) continue;
    PredicateRef child = DecodePredicateNode(objects, *uid, depth + 1, onPath);
    if (!child) return nullptr;
    if (std::string(key) == "predicateValue") {
      p->setPredicateValue(std::move(child));
    } else {
      p->setRightPredicateValue(std::move(child));
    }
  }
  if (node.GetInt64("variableTypes", n) == values::Lookup::kOk)
    p->setVariableTypes(static_cast<std::uint32_t>(n));
  const std::int32_t c = p->criterion();
  if ((c == kTRPredicateClassFileNameRegEx || c == kTRPredicateClassFileURLRegEx) && !p->CompileRegex())
    return nullptr;
  if (const Value* a = Object(objects, node.Find("arrayValue"))) {
    const values::Array* refs = nullptr;
    if (!a->IsDictionary() || a->GetArray("NS.objects", refs) != values::Lookup::kOk) return nullptr;
    std::vector<std::string> words;
    for (const Value& ref : *refs) {
      const Value* w = Object(objects, &ref);
      if (w == nullptr || !w->IsString()) return nullptr;
      words.push_back(*w->AsString());
    }
    p->setArrayValue(std::move(words));
  }
  return p;
}

values::Bytes ArchivePredicate(const TRSearchPredicate& predicate) {
  Archiver archiver;
  Value root = archiver.Encode(predicate);
  return archiver.Finish(std::move(root));
}

PredicateRef UnarchivePredicate(const values::Value& archive) {
  if (const values::Data* data = archive.AsData()) return UnarchivePredicate(data->bytes);
  const values::Array* objects = nullptr;
  const Value* top = archive.Find("$top");
  if (top == nullptr || archive.GetArray("$objects", objects) != values::Lookup::kOk) return nullptr;
  const Value* root = top->Find("root");
  const auto uid = root ? values::GetUid(*root) : std::nullopt;
  if (!uid) return nullptr;
  std::vector<bool> onPath(objects->size(), false);
  return DecodePredicateNode(*objects, *uid, 0, onPath);
}

PredicateRef UnarchivePredicate(const values::Bytes& archive) {
  auto root = values::ReadPropertyList(std::span<const std::uint8_t>(archive.data(), archive.size()));
  if (!root.ok()) return nullptr;
  return UnarchivePredicate(*root);
}

}  // namespace queue
