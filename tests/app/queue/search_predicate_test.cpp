// Rules against downloads: every class and operation, the day arithmetic through an
// injected clock, list cleaning, the query translation and the keyed archive.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/queue/smartfolders/date_notifier.h"
#include "app/queue/smartfolders/search_predicate.h"
#include "platform/values/date_time.h"
#include "platform/values/plist.h"

namespace queue {
namespace {

using P = TRSearchPredicate;

constexpr double kDay = 86400;

// Noon of 2026-03-11 (a Wednesday) in Berlin, the clock every case reads.
class PredicateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zone_ = std::make_unique<values::ScopedDefaultTimeZone>(*values::TimeZone::Named("Europe/Berlin"));
    now_ = values::AssembleDate({2026, 3, 11, 12, 0, 0});
    clock_ = std::make_shared<values::ManualClock>(now_);
    use_ = std::make_unique<values::ScopedClock>(clock_);
    TRDateNotifier::ResetSharedInstance();
    SetPredicateDiagnosticSink([this](const std::string& line) { diagnostics_.push_back(line); });
  }
  void TearDown() override {
    SetPredicateDiagnosticSink(nullptr);
    TRDateNotifier::ResetSharedInstance();
    use_.reset();
    zone_.reset();
  }

  double Today() const { return values::DayStart(now_); }

  static WrapperRef Download(std::string name, std::string url = "http://example.com/a",
                             std::int64_t size = 0, DownloadStatus status = kStatusQueued, double start = 0,
                             double end = 0) {
    auto w = DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.filename = std::move(name);
    if (!url.empty()) e.urlData.push_back(values::Value(values::Dictionary{{"url", url}}));
    e.fileSize = size;
    e.status = status;
    e.startDate = start;
    e.endDate = end;
    return w;
  }

  std::unique_ptr<values::ScopedDefaultTimeZone> zone_;
  double now_ = 0;
  std::shared_ptr<values::ManualClock> clock_;
  std::unique_ptr<values::ScopedClock> use_;
  std::vector<std::string> diagnostics_;
};

struct StringCase {
  std::int32_t criterion;
  std::int32_t operation;
  std::string value;  // a word list for 8-10
  std::string name;
  std::string url;
  bool expected;
};

TEST_F(PredicateTest, FileNameAndUrlOperations) {
  const std::int32_t N = kTRPredicateClassFileName, U = kTRPredicateClassFileURL;
  const StringCase cases[] = {
      {N, kOpIs, "report.PDF", "Report.pdf", "", true},
      {N, kOpIs, "report", "Report.pdf", "", false},
      {N, kOpIsNot, "report", "Report.pdf", "", true},
      {N, kOpIsNot, "REPORT.PDF", "Report.pdf", "", false},
      {N, kOpSortsAfter, "b", "C.txt", "", true},
      {N, kOpSortsAfter, "d", "C.txt", "", false},
      {N, kOpSortsBefore, "d", "C.txt", "", true},
      {N, kOpEndsWith, "PDF", "Report.pdf", "", true},
      {N, kOpEndsWith, "doc", "Report.pdf", "", false},
      {N, kOpBeginsWith, "rep", "Report.pdf", "", true},
      {N, kOpBeginsWith, "port", "Report.pdf", "", false},
      {N, kOpContains, "PORT", "Report.pdf", "", true},
      {N, kOpContains, "xyz", "Report.pdf", "", false},
      {N, kOpDoesNotContain, "xyz", "Report.pdf", "", true},
      {N, kOpDoesNotContain, "port", "Report.pdf", "", false},
      {N, kOpContainsAny, "a; b", "abc.txt", "", true},
      {N, kOpContainsAny, "q; z", "abc.txt", "", false},
      {N, kOpContainsAll, "a; b", "abc.txt", "", true},
      {N, kOpContainsAll, "a; z", "abc.txt", "", false},
      {N, kOpContainsNone, "a; b", "abc.txt", "", false},
      {N, kOpContainsNone, "q; z", "abc.txt", "", true},
      {U, kOpIs, "HTTP://EXAMPLE.COM/A", "f", "http://example.com/a", true},
      {U, kOpContains, "example", "f", "http://example.com/a", true},
      {U, kOpBeginsWith, "ftp://", "f", "http://example.com/a", false},
      {U, kOpEndsWith, "/A", "f", "http://example.com/a", true},
      {U, kOpDoesNotContain, "mirror", "f", "http://example.com/a", true},
      {U, kOpContainsAny, "mirror, example", "f", "http://example.com/a", true},
      // A download without a URL has only the empty text to test.
      {U, kOpContains, "example", "f", "", false},
      {U, kOpDoesNotContain, "example", "f", "", true},
  };
  for (const auto& c : cases) {
    PredicateRef p = c.operation >= kOpContainsAny ? P::WithArrayString(c.value, c.operation, c.criterion)
                                                   : P::WithString(c.value, c.operation, c.criterion);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->evaluateForElement(*Download(c.name, c.url)), c.expected)
        << "class " << c.criterion << " op " << c.operation << " '" << c.value << "' on '" << c.name << "' '"
        << c.url << "'";
  }
}

TEST_F(PredicateTest, RegularExpressionsMatchIgnoringCase) {
  struct Case {
    std::int32_t criterion, operation;
    std::string expression, name, url;
    bool expected;
  } const cases[] = {
      {kTRPredicateClassFileNameRegEx, kOpMatches, "^setup-[0-9]+\\.EXE$", "Setup-12.exe", "", true},
      {kTRPredicateClassFileNameRegEx, kOpMatches, "^setup-[0-9]+$", "Setup-12.exe", "", false},
      {kTRPredicateClassFileNameRegEx, kOpDoesNotMatch, "zip|rar", "a.tar", "", true},
      {kTRPredicateClassFileURLRegEx, kOpMatches, "^https?://[^/]*example", "f", "https://www.example.org/x",
       true},
      {kTRPredicateClassFileURLRegEx, kOpDoesNotMatch, "example", "f", "https://www.example.org/x", false},
  };
  for (const auto& c : cases) {
    PredicateRef p = P::WithRegEx(c.expression, c.operation, c.criterion);
    ASSERT_TRUE(p) << c.expression;
    EXPECT_EQ(p->evaluateForElement(*Download(c.name, c.url.empty() ? "http://h/" : c.url)), c.expected)
        << c.expression;
  }
  EXPECT_FALSE(P::WithRegEx("a(b", kOpMatches, kTRPredicateClassFileNameRegEx)) << "does not compile";
}

TEST_F(PredicateTest, SizeStatusAndTypeOperations) {
  struct Case {
    PredicateRef p;
    WrapperRef w;
    bool expected;
  } const cases[] = {
      {P::WithSize(104857600, kOpAtLeast), Download("a", "", 104857600), true},
      {P::WithSize(104857600, kOpAtLeast), Download("a", "", 104857599), false},
      {P::WithSize(100, kOpAtMost), Download("a", "", 100), true},
      {P::WithSize(100, kOpAtMost), Download("a", "", 101), false},
      {P::WithSize(100, kOpEqual), Download("a", "", 100), true},
      {P::WithSize(100, kOpNotEqual), Download("a", "", 100), false},
      {P::WithStatus(kStatusCompleted, kOpEqual), Download("a", "", 0, kStatusCompleted), true},
      {P::WithStatus(kStatusCompleted, kOpEqual), Download("a", "", 0, kStatusFailed), false},
      {P::WithStatus(kStatusCompleted | (1LL << 32), kOpEqual), Download("a", "", 0, kStatusCompleted),
       false},
      {P::WithStatus(kStatusCompleted, kOpNotEqual), Download("a", "", 0, kStatusFailed), true},
      {P::WithStringOfTypes(" .DMG ; zip,,;", kOpTypeIn), Download("a.dmg"), true},
      {P::WithStringOfTypes("dmg;zip", kOpTypeIn), Download("a.ZIP"), true},
      {P::WithStringOfTypes("dmg;zip", kOpTypeIn), Download("archive.zip.part"), false},
      {P::WithStringOfTypes("dmg;zip", kOpTypeIn), Download("README"), false},
      {P::WithStringOfTypes("dmg;zip", kOpTypeNotIn), Download("a.txt"), true},
      {P::WithStringOfTypes("dmg;zip", kOpTypeNotIn), Download("a.dmg"), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_TRUE(cases[i].p) << i;
    EXPECT_EQ(cases[i].p->evaluateForElement(*cases[i].w), cases[i].expected) << "case " << i;
  }
}

TEST_F(PredicateTest, ConnectorsAndTheirShortCuts) {
  const auto yes = P::WithString("a", kOpContains, kTRPredicateClassFileName);
  const auto no = P::WithString("z", kOpContains, kTRPredicateClassFileName);
  const auto w = Download("abc");
  struct Case {
    PredicateRef p;
    bool expected;
  } const cases[] = {
      {P::WithPredicates(yes, nullptr, kOpNot), false}, {P::WithPredicates(no, nullptr, kOpNot), true},
      {P::WithPredicates(yes, no, kOpAnd), false},      {P::WithPredicates(yes, yes, kOpAnd), true},
      {P::WithPredicates(no, yes, kOpOr), true},        {P::WithPredicates(no, no, kOpOr), false},
      {P::WithPredicates(yes, no, kOpXor), true},       {P::WithPredicates(yes, yes, kOpXor), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].p->evaluateForElement(*w), cases[i].expected) << "case " << i;
  // An undefined connector is false and says so once.
  EXPECT_FALSE(P::WithPredicates(yes, yes, 7)->evaluateForElement(*w));
  EXPECT_EQ(diagnostics_, std::vector<std::string>{"invalid predicate connector type!"});
}

TEST_F(PredicateTest, DaysCountFromTheStartOfToday) {
  const double today = Today();
  struct Case {
    PredicateRef p;
    double start, end;
    bool expected;
  } const cases[] = {
      // lastN 1: since the start of today, by end or start date.
      {P::LastNPredicate(1), 0, today, true},
      {P::LastNPredicate(1), today - 1, 0, false},
      {P::LastNPredicate(1), today + 5, 0, true},
      // lastN 7: since the start of the day six days back.
      {P::LastNPredicate(7), today - 6 * kDay, 0, true},
      {P::LastNPredicate(7), today - 6 * kDay - 1, 0, false},
      // Yesterday: 23:59:59 yesterday is in, 00:00:00 today is not.
      {P::YesterdayPredicate(), 0, today - 1, true},
      {P::YesterdayPredicate(), 0, today, false},
      {P::YesterdayPredicate(), today - kDay, 0, true},
      // An end-date rule never takes a download that has not finished, even "at or before".
      {P::WithNumberOfDays(1, kOpOnOrBeforeDay, kTRPredicateClassEndDate), 0, 0, false},
      {P::WithNumberOfDays(1, kOpOnOrBeforeDay, kTRPredicateClassEndDate), 0, today - kDay, true},
      // A date exactly at D satisfies both 2 and 3.
      {P::WithNumberOfDays(3, kOpOnOrAfterDay, kTRPredicateClassStartDate), today - 2 * kDay, 0, true},
      {P::WithNumberOfDays(3, kOpOnOrBeforeDay, kTRPredicateClassStartDate), today - 2 * kDay, 0, true},
      {P::WithNumberOfDays(3, kOpOnDay, kTRPredicateClassStartDate), today - 2 * kDay + 3600, 0, true},
      {P::WithNumberOfDays(3, kOpOnDay, kTRPredicateClassStartDate), today - kDay, 0, false},
      {P::RecentlyCompletedPredicate(), 0, today - 2 * kDay, false},  // status is Queued
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(
        cases[i].p->evaluateForElement(*Download("f", "", 0, kStatusQueued, cases[i].start, cases[i].end)),
        cases[i].expected)
        << "case " << i;
  }
  auto done = Download("f", "", 0, kStatusCompleted, 0, today - 2 * kDay);
  EXPECT_TRUE(P::RecentlyCompletedPredicate()->evaluateForElement(*done));
}

TEST_F(PredicateTest, ADateRuleFollowsTheDayChange) {
  const auto today = P::LastNPredicate(1);
  const auto w = Download("f", "", 0, kStatusCompleted, 0, now_);
  EXPECT_TRUE(today->evaluateForElement(*w));
  clock_->Advance(kDay);
  TRDateNotifier::sharedInstance().midnightReached();
  EXPECT_FALSE(today->evaluateForElement(*w));
  EXPECT_TRUE(P::YesterdayPredicate()->evaluateForElement(*w));
}

TEST_F(PredicateTest, ListCleaning) {
  EXPECT_EQ(CleanListText(" .DMG ; zip,,;", true), (std::vector<std::string>{"DMG", "zip"}));
  EXPECT_EQ(CleanListText(".ZIP, tgz", true), (std::vector<std::string>{"ZIP", "tgz"}));
  EXPECT_EQ(CleanListText("a b; c\r\n", false), (std::vector<std::string>{"a b", "c"}));
  EXPECT_FALSE(P::WithStringOfTypes(" ;, ; ", kOpTypeIn));
  EXPECT_FALSE(P::WithArrayString(" , ", kOpContainsAny, kTRPredicateClassFileName));
}

TEST_F(PredicateTest, VariableTypesNameTheAttributesRead) {
  EXPECT_EQ(P::LastNPredicate(1)->variableTypes(), 48u);
  EXPECT_EQ(P::RecentlyCompletedPredicate()->variableTypes(), 8u | 32u);
  EXPECT_EQ(P::LargeFilesPredicate()->variableTypes(), 4u);
  EXPECT_EQ(P::ApplicationsPredicate()->variableTypes(), 1u);
  EXPECT_EQ(P::WithRegEx("x", kOpMatches, kTRPredicateClassFileURLRegEx)->variableTypes(), 2u);
  EXPECT_EQ(
      P::WithPredicates(P::RunningDownloadsPredicate(), P::LargeFilesPredicate(), kOpNot)->variableTypes(),
      8u);
  auto bad = std::make_shared<P>();
  bad->setType(0xA0000);
  EXPECT_EQ(bad->variableTypes(), 0u);
  EXPECT_EQ(bad->variableTypes(), 0u);
  EXPECT_EQ(diagnostics_, (std::vector<std::string>{"bad type in classes", "bad type in classes"}));
}

TEST_F(PredicateTest, QueryTexts) {
  const std::string n = "com_orbenix_truvane_name", u = "com_orbenix_truvane_url";
  struct Case {
    PredicateRef p;
    std::string query;
  } const cases[] = {
      {P::WithNumberOfDays(3, kOpOnOrAfterDay, kTRPredicateClassStartDate),
       "com_orbenix_truvane_StartDate >= $time.today(-2)"},
      {P::WithNumberOfDays(1, kOpOnOrBeforeDay, kTRPredicateClassEndDate),
       "com_orbenix_truvane_EndDate <= $time.today(-0)"},
      {P::WithSize(5, kOpEqual), "com_orbenix_truvane_DLSize == 5 "},
      {P::WithSize(5, kOpNotEqual), "com_orbenix_truvane_DLSize != 5 "},
      {P::WithSize(5, kOpAtLeast), "com_orbenix_truvane_DLSize >= 5 "},
      {P::WithSize(5, kOpAtMost), "com_orbenix_truvane_DLSize <= 5 "},
      {P::WithString("x", kOpIs, kTRPredicateClassFileName), n + "==\"x\"c"},
      {P::WithString("x", kOpIsNot, kTRPredicateClassFileName), n + "!=\"x\"c"},
      {P::WithString("x", kOpEndsWith, kTRPredicateClassFileName), n + "==\"*x\"c"},
      {P::WithString("x", kOpBeginsWith, kTRPredicateClassFileName), n + "==\"x*\"c"},
      {P::WithString("x", kOpContains, kTRPredicateClassFileName), n + "==\"*x*\"c"},
      {P::WithString("x", kOpDoesNotContain, kTRPredicateClassFileName), n + "!=\"*x*\"c"},
      {P::WithString("a*b", kOpIs, kTRPredicateClassFileName), n + "==\"a\\*b\"c"},
      {P::WithString("it's", kOpIs, kTRPredicateClassFileURL), u + "==\"it\\'s\"c"},
      {P::WithArrayString("a; b", kOpContainsAny, kTRPredicateClassFileName),
       n + "==\"*a*\"c || " + n + "==\"*b*\"c"},
      {P::WithArrayString("a; b", kOpContainsAll, kTRPredicateClassFileName),
       n + "==\"*a*\"c && " + n + "==\"*b*\"c"},
      {P::WithArrayString("a; b", kOpContainsNone, kTRPredicateClassFileName),
       n + "!=\"*a*\"c && " + n + "!=\"*b*\"c"},
      {P::WithStringOfTypes("zip;gz", kOpTypeIn), n + "==\"*.zip\"c || " + n + "==\"*.gz\"c"},
      {P::WithStringOfTypes("zip;gz", kOpTypeNotIn), n + "!=\"*.zip\"c && " + n + "!=\"*.gz\"c"},
      {P::WithRegEx("ab|cd", kOpMatches, kTRPredicateClassFileNameRegEx),
       n + "==\"*ab*\"c || " + n + "==\"*cd*\"c"},
      {P::WithRegEx("ab|cd", kOpDoesNotMatch, kTRPredicateClassFileURLRegEx),
       u + "!=\"*ab*\"c && " + u + "!=\"*cd*\"c"},
      {P::LastNPredicate(1),
       "(com_orbenix_truvane_EndDate >= $time.today(-0)) || (com_orbenix_truvane_StartDate >= "
       "$time.today(-0))"},
      {P::WithPredicates(P::WithStatus(256, kOpEqual), P::WithStringOfTypes("zip", kOpTypeIn), kOpAnd),
       n + "==\"*.zip\"c"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_TRUE(cases[i].p) << i;
    EXPECT_EQ(cases[i].p->spotlightQuery(), cases[i].query) << "case " << i;
  }
}

TEST_F(PredicateTest, QueryFailureCodes) {
  const auto file = P::WithString("x", kOpIs, kTRPredicateClassFileName);
  struct Case {
    PredicateRef p;
    int code;
  } const cases[] = {
      {P::WithStatus(256, kOpEqual), 6},
      {P::WithPredicates(P::WithStatus(1, kOpEqual), P::WithStatus(2, kOpEqual), kOpOr), 6},
      {P::WithPredicates(file, nullptr, kOpNot), 1},
      {P::WithPredicates(file, file, kOpXor), 1},
      {P::WithNumberOfDays(1, kOpOnDay, kTRPredicateClassStartDate), 2},
      {P::WithSize(1, 4), 2},
      {P::WithStringOfTypes("zip", 2), 2},
      {P::WithString("x", 11, kTRPredicateClassFileName), 2},
      {P::WithArrayString("a;b", kOpContainsAny, kTRPredicateClassFileURL), 2},
      {P::WithString("x", kOpSortsAfter, kTRPredicateClassFileName), 4},
      {P::WithString("x", kOpSortsBefore, kTRPredicateClassFileURL), 4},
      {P::WithRegEx("abc", kOpMatches, kTRPredicateClassFileNameRegEx), 5},
      // A failure other than "no terms" in one operand is passed on at once.
      {P::WithPredicates(P::WithStatus(1, kOpEqual), P::WithSize(1, 9), kOpAnd), 2},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    try {
      const std::string q = cases[i].p->spotlightQuery();
      ADD_FAILURE() << "case " << i << " gave " << q;
    } catch (const SpotlightQueryError& e) {
      EXPECT_EQ(e.code, cases[i].code) << "case " << i;
    }
  }
}

TEST_F(PredicateTest, ArchiveRoundTripKeepsTheTreeAndItsAttributeBits) {
  const PredicateRef trees[] = {
      P::LastNPredicate(7),
      P::WithPredicates(
          P::WithRegEx("a|b", kOpMatches, kTRPredicateClassFileURLRegEx),
          P::WithPredicates(P::WithArrayString("x;y", kOpContainsAll, kTRPredicateClassFileName),
                            P::WithSize(-3, kOpAtMost), kOpNot),
          kOpXor),
      P::WithStringOfTypes("pdf", kOpTypeIn),
  };
  for (const auto& tree : trees) {
    const values::Bytes archive = ArchivePredicate(*tree);
    auto root = values::ReadPropertyList(std::span<const std::uint8_t>(archive.data(), archive.size()));
    ASSERT_TRUE(root.ok());
    std::string archiver;
    EXPECT_EQ(root->GetString("$archiver", archiver), values::Lookup::kOk);
    EXPECT_EQ(archiver, "NSKeyedArchiver");
    PredicateRef back = UnarchivePredicate(archive);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->Equals(*tree));
    EXPECT_EQ(back->variableTypes(), tree->variableTypes());
  }
  const auto regex = UnarchivePredicate(ArchivePredicate(*trees[1]));
  EXPECT_TRUE(regex->predicateValue()->evaluateForElement(*Download("f", "http://b/")));
}

// A hostile or broken archive gives no rule, never a crash or a loop.
TEST_F(PredicateTest, MalformedArchivesAreRefused) {
  using values::MakeUid;
  using values::Value;
  const auto node = [](values::Dictionary extra) {
    values::Dictionary d{{"$class", MakeUid(1)}, {"type", values::Number::Int32(0x10006)}};
    for (auto& [k, v] : extra) d[k] = v;
    return Value(std::move(d));
  };
  const Value cls(values::Dictionary{{"$classname", "TRSearchPredicate"}});
  const auto archive = [](values::Array objects) {
    return Value(values::Dictionary{{"$archiver", "NSKeyedArchiver"},
                                    {"$top", Value(values::Dictionary{{"root", MakeUid(2)}})},
                                    {"$objects", std::move(objects)}});
  };
  // A node whose operand is itself.
  EXPECT_FALSE(UnarchivePredicate(archive({"$null", cls, node({{"predicateValue", MakeUid(2)}})})));
  // Deeper than the bound: a chain of connectors.
  values::Array chain{"$null", cls};
  for (int i = 0; i < kMaxPredicateDepth + 5; ++i)
    chain.push_back(node({{"type", values::Number::Int32(0)},
                          {"predicateValue", MakeUid(static_cast<std::uint32_t>(chain.size() + 1))}}));
  chain.push_back(node({}));
  EXPECT_FALSE(UnarchivePredicate(archive(chain)));
  // Wrong types and references out of range.
  EXPECT_FALSE(UnarchivePredicate(archive({"$null", cls, node({{"stringValue", MakeUid(1)}})})));
  EXPECT_FALSE(UnarchivePredicate(archive({"$null", cls, node({{"predicateValue", MakeUid(99)}})})));
  EXPECT_FALSE(UnarchivePredicate(
      archive({"$null", Value(values::Dictionary{{"$classname", "NSString"}}), node({})})));
  EXPECT_FALSE(UnarchivePredicate(values::Bytes{'b', 'p', 'l', 'i', 's', 't'}));
  // A regular expression that does not compile.
  EXPECT_FALSE(UnarchivePredicate(archive(
      {"$null", cls, node({{"type", values::Number::Int32(0x30000)}, {"stringValue", MakeUid(3)}}), "a(b"})));
}

TEST_F(PredicateTest, EscapingAndDescription) {
  EXPECT_EQ(EscapedString("a*b"), "a\\*b");
  EXPECT_EQ(EscapedString("it's \"x\" \\"), "it\\'s \\\"x\\\" \\\\");
  EXPECT_NE(P::ApplicationsPredicate()->description().find("type:0 class 458752"), std::string::npos);
}

}  // namespace
}  // namespace queue
