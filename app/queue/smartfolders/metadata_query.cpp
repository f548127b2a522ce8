#include "app/queue/smartfolders/metadata_query.h"

#include <cctype>
#include <cstdlib>
#include <map>

#include "app/queue/smartfolders/element_metadata.h"
#include "platform/files/folder_iterator.h"
#include "platform/values/date_time.h"
#include "platform/values/plist.h"
#include "platform/values/string_compare.h"
#include "platform/values/utf16.h"

namespace queue {

struct MetadataQueryNode {
  enum class Kind { kAnd, kOr, kTerm } kind = Kind::kTerm;
  MetadataQuery left, right;
  // Terms.
  std::string attribute;
  std::string op;
  enum class Value { kText, kNumber, kToday } valueKind = Value::kText;
  std::string text;  // wildcards as written, escapes resolved into `literal` marks
  std::vector<bool> literal;
  bool ignoreCase = false;
  long long number = 0;
};

namespace {

// The folder walk stops this deep: saved searches look for downloads, not whole disks.
constexpr int kMaxSearchDepth = 16;

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  MetadataQuery Parse() {
    auto q = Or(0);
    Skip();
    return q && at_ == s_.size() ? q : nullptr;
  }

 private:
  void Skip() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  bool Eat(std::string_view token) {
    Skip();
    if (s_.substr(at_, token.size()) != token) return false;
    at_ += token.size();
    return true;
  }
  MetadataQuery Join(MetadataQueryNode::Kind kind, MetadataQuery l, MetadataQuery r) {
    auto n = std::make_shared<MetadataQueryNode>();
    n->kind = kind;
    n->left = std::move(l);
    n->right = std::move(r);
    return n;
  }
  MetadataQuery Or(int depth) {
    auto l = And(depth);
    while (l && Eat("||")) {
      auto r = And(depth);
      if (!r) return nullptr;
      l = Join(MetadataQueryNode::Kind::kOr, l, r);
    }
    return l;
  }
  MetadataQuery And(int depth) {
    auto l = Term(depth);
    while (l && Eat("&&")) {
      auto r = Term(depth);
      if (!r) return nullptr;
      l = Join(MetadataQueryNode::Kind::kAnd, l, r);
    }
    return l;
  }
  std::optional<long long> Integer() {
    Skip();
    const std::size_t start = at_;
    if (at_ < s_.size() && (s_[at_] == '-' || s_[at_] == '+')) ++at_;
    while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_]))) ++at_;
    const std::string digits(s_.substr(start, at_ - start));
    if (digits.empty() || digits == "-" || digits == "+" || digits.size() > 19) return std::nullopt;
    return std::strtoll(digits.c_str(), nullptr, 10);
  }
  MetadataQuery Term(int depth) {
    if (depth > kMaxQueryDepth) return nullptr;
    if (Eat("(")) {
      auto q = Or(depth + 1);
      if (!q || !Eat(")")) return nullptr;
      return q;
    }
    Skip();
    auto n = std::make_shared<MetadataQueryNode>();
    const std::size_t start = at_;
    while (at_ < s_.size() &&
           (std::isalnum(static_cast<unsigned char>(s_[at_])) || s_[at_] == '_' || s_[at_] == ':'))
      ++at_;
    n->attribute = std::string(s_.substr(start, at_ - start));
    if (n->attribute.empty()) return nullptr;
    for (const char* op : {"==", "!=", ">=", "<="}) {
      if (Eat(op)) {
        n->op = op;
        break;
      }
    }
    if (n->op.empty()) return nullptr;
    Skip();
    if (Eat("\"")) {
      for (;;) {
        if (at_ >= s_.size()) return nullptr;
        char c = s_[at_++];
        if (c == '"') break;
        bool literal = false;
        if (c == '\\') {
          if (at_ >= s_.size()) return nullptr;
          c = s_[at_++];
          literal = true;
        }
        n->text += c;
        n->literal.push_back(literal || c != '*');
      }
      if (at_ < s_.size() && s_[at_] == 'c') {
        n->ignoreCase = true;
        ++at_;
      }
      return n;
    }
    if (Eat("$time.today(")) {
      auto days = Integer();
      if (!days || !Eat(")")) return nullptr;
      n->valueKind = MetadataQueryNode::Value::kToday;
      n->number = *days;
      return n;
    }
    auto number = Integer();
    if (!number) return nullptr;
    n->valueKind = MetadataQueryNode::Value::kNumber;
    n->number = *number;
    return n;
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

// Wildcard match, "*" standing for any run of characters, in UTF-8 byte steps with
// optional case folding through the value layer's comparison.
bool WildcardMatch(const MetadataQueryNode& n, const std::string& value) {
  // Split the pattern at its wildcards; the pieces must appear in order.
  std::vector<std::string> pieces(1);
  for (std::size_t i = 0; i < n.text.size(); ++i) {
    if (!n.literal[i]) {
      pieces.emplace_back();
    } else {
      pieces.back() += n.text[i];
    }
  }
  const values::CompareOptions options = n.ignoreCase ? values::kCaseInsensitive : 0;
  if (pieces.size() == 1) return values::EqualStrings(value, pieces[0], options);
  // First and last pieces anchor to the ends; the middle ones are searched in order.
  if (!pieces.front().empty() && !values::HasPrefix(value, pieces.front(), options)) return false;
  if (!pieces.back().empty() && !values::HasSuffix(value, pieces.back(), options)) return false;
  std::size_t from = values::Utf16Length(pieces.front());
  const std::size_t total = values::Utf16Length(value);
  const std::size_t back = values::Utf16Length(pieces.back());
  if (back > total) return false;
  const std::size_t end = total - back;
  if (from > end && !(pieces.front().empty() && pieces.back().empty())) return false;
  for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    if (from > end) return false;
    auto found = values::FindString(value, pieces[i], values::Utf16Range{from, end - from}, options);
    if (!found) return false;
    from = found->location + found->length;
  }
  return true;
}

class Evaluator {
 public:
  explicit Evaluator(const files::FileRef& file) : file_(file) {}

  bool Eval(const MetadataQueryNode& n) {
    switch (n.kind) {
      case MetadataQueryNode::Kind::kAnd:
        return Eval(*n.left) && Eval(*n.right);
      case MetadataQueryNode::Kind::kOr:
        return Eval(*n.left) || Eval(*n.right);
      case MetadataQueryNode::Kind::kTerm:
        break;
    }
    const values::Value* v = Attribute(n.attribute);
    if (v == nullptr) return false;
    if (n.valueKind == MetadataQueryNode::Value::kText) {
      // Lists (the addresses a file came from) match when one entry does.
      bool any = false;
      const auto test = [&](const values::Value& item) {
        if (const std::string* s = item.AsString()) any = any || WildcardMatch(n, *s);
      };
      if (const values::Array* list = v->AsArray()) {
        for (const auto& item : *list) test(item);
      } else {
        test(*v);
      }
      if (n.op == "==") return any;
      if (n.op == "!=") return !any;
      return false;
    }
    double have = 0;
    if (const values::Date* d = v->AsDate()) {
      have = d->seconds;
    } else if (const values::Number* num = v->AsNumber()) {
      have = num->AsDouble();
    } else {
      return false;
    }
    double want = static_cast<double>(n.number);
    if (n.valueKind == MetadataQueryNode::Value::kToday) {
      const auto zone = values::DefaultTimeZone();
      want = values::AddDays(values::DayStart(values::Now(), zone), static_cast<int>(n.number), zone);
    }
    if (n.op == "==") return have == want;
    if (n.op == "!=") return have != want;
    if (n.op == ">=") return have >= want;
    return have <= want;
  }

 private:
  const values::Value* Attribute(const std::string& name) {
    auto it = cache_.find(name);
    if (it == cache_.end()) it = cache_.emplace(name, ReadMetadataXattr(name, file_)).first;
    return it->second ? &*it->second : nullptr;
  }

  files::FileRef file_;
  std::map<std::string, std::optional<values::Value>> cache_;
};

}  // namespace

MetadataQuery ParseMetadataQuery(std::string_view text) {
  if (text.size() > kMaxQueryLength) return nullptr;
  return Parser(text).Parse();
}

bool MetadataQueryMatches(const MetadataQuery& query, const files::FileRef& file) {
  if (!query) return false;
  return Evaluator(file).Eval(*query);
}

std::optional<std::vector<files::FileRef>> RunSavedSearch(const files::FileRef& savedSearch,
                                                          const files::FileRef& folder) {
  auto plist = values::ReadPropertyListFile(savedSearch.Path());
  if (!plist.ok()) return std::nullopt;
  std::string raw;
  if (plist->GetString("RawQuery", raw) != values::Lookup::kOk) return std::nullopt;
  const MetadataQuery query = ParseMetadataQuery(raw);
  if (!query) return std::nullopt;
  std::vector<files::FileRef> found;
  files::WalkOptions options;
  options.max_depth = kMaxSearchDepth;
  files::WalkTree(
      folder,
      [&](const files::FolderEntry& entry, int) {
        if (!entry.info.IsFolder() && MetadataQueryMatches(query, entry.ref)) found.push_back(entry.ref);
        return files::WalkAction::kContinue;
      },
      options);
  return found;
}

}  // namespace queue
