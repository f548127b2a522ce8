#include "app/ui/download_windows/download_form_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include "app/engine/urls/url_list.h"
#include "app/queue/adding/scheduled_items.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "tests/app/queue/download_test_support.h"

namespace ui {
namespace {

constexpr double kNow = 800000000;

std::vector<std::string> URLsOf(const values::Array& entries) {
  std::vector<std::string> out;
  for (const values::Value& e : entries) {
    const values::Value* url = e.Find("url");
    out.push_back(url && url->IsString() ? *url->AsString() : "(none)");
  }
  return out;
}

std::optional<std::string> RefererOf(const values::Value& entry) {
  const values::Value* r = entry.Find("referer");
  if (!r || !r->IsString()) return std::nullopt;
  return *r->AsString();
}

AddFormContext Context() {
  AddFormContext c;
  c.now = kNow;
  c.defaultConnections = 5;
  c.queuedCount = 3;
  c.scripts = {"Mount Share", "Tell Me"};
  c.batchID = "BATCH-1";
  return c;
}

struct AddCase {
  const char* name;
  std::function<void(AddDownloadForm&)> fill;
  // Per download: its URLs. Empty when an alert is expected.
  std::vector<std::vector<std::string>> downloads{};
  std::string alert{};
  std::int32_t connections = 5;
  std::int32_t position = 0;
  bool quiet = false;
  std::optional<std::string> referer{};
  std::optional<double> scheduleAt{};
  friend void PrintTo(const AddCase& c, std::ostream* os) { *os << c.name; }
};

class AddFormRulesTest : public testing::TestWithParam<AddCase> {};

TEST_P(AddFormRulesTest, FormGivesTheseDownloads) {
  const AddCase& c = GetParam();
  AddDownloadForm form;
  form.connections = "5";
  form.queuePosition = "4";
  c.fill(form);
  auto result = PlanAddDownloads(form, Context());
  if (!c.alert.empty()) {
    ASSERT_TRUE(std::holds_alternative<FormAlert>(result));
    EXPECT_EQ(std::get<FormAlert>(result).text, c.alert);
    return;
  }
  ASSERT_TRUE(std::holds_alternative<AddDownloadPlan>(result)) << std::get<FormAlert>(result).text;
  const AddDownloadPlan& plan = std::get<AddDownloadPlan>(result);
  ASSERT_EQ(plan.downloads.size(), c.downloads.size());
  for (std::size_t i = 0; i < c.downloads.size(); ++i) {
    const queue::AddDownloadRequest& r = plan.downloads[i].request;
    EXPECT_EQ(URLsOf(r.urlEntries), c.downloads[i]) << "download " << i;
    EXPECT_EQ(r.connections, c.connections);
    // Downloads added at a place follow one another there in the order typed.
    EXPECT_EQ(r.queuePosition, c.position > 0 ? c.position + static_cast<std::int32_t>(i) : 0);
    EXPECT_EQ(r.updateList, !c.quiet);
    EXPECT_EQ(r.batchID, std::optional<std::string>("BATCH-1"));
    for (const values::Value& e : r.urlEntries) EXPECT_EQ(RefererOf(e), c.referer);
  }
  EXPECT_EQ(plan.rebuildList, c.quiet);
  EXPECT_EQ(plan.renumberFrom, c.quiet ? c.position : 0);
  EXPECT_EQ(plan.scheduleAt, c.scheduleAt);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AddFormRulesTest,
    testing::Values(
        AddCase{"PatternLineWithSeparateDownloadsGivesOneDownloadEach",
                [](AddDownloadForm& f) { f.urls = "http://h.example/{one,two}.zip"; },
                {{"http://h.example/one.zip"}, {"http://h.example/two.zip"}}},
        AddCase{"TwoLinesWithoutSeparateDownloadsAreMirrorsOfOne",
                [](AddDownloadForm& f) {
                  f.urls = "http://a.example/f.zip\nhttp://b.example/f.zip";
                  f.separateDownloads = false;
                },
                {{"http://a.example/f.zip", "http://b.example/f.zip"}}},
        AddCase{"TwoLinesWithSeparateDownloadsAreTwo",
                [](AddDownloadForm& f) { f.urls = "http://a.example/f.zip\r\nhttp://b.example/g.zip"; },
                {{"http://a.example/f.zip"}, {"http://b.example/g.zip"}}},
        AddCase{"OnePatternLineIsExpandedEvenWithoutSeparateDownloads",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/f[1-2].zip";
                  f.separateDownloads = false;
                },
                {{"http://h.example/f1.zip"}, {"http://h.example/f2.zip"}}},
        AddCase{"ALineOfSevenCharactersIsDropped",
                [](AddDownloadForm& f) { f.urls = "ftp://a\nhttp://h.example/x"; },
                {{"http://h.example/x"}}},
        AddCase{"OnlyASevenCharacterLineIsInvalid",
                [](AddDownloadForm& f) { f.urls = "ftp://a"; },
                {},
                kInvalidURLAlert},
        AddCase{"EmbeddedBlanksAreDeleted",
                [](AddDownloadForm& f) { f.urls = "  http://h.exam ple/my\tfile.zip \u2028"; },
                {{"http://h.example/myfile.zip"}}},
        AddCase{"ParagraphSeparatorEndsALine",
                [](AddDownloadForm& f) { f.urls = "http://a.example/1\u2029http://b.example/2"; },
                {{"http://a.example/1"}, {"http://b.example/2"}}},
        AddCase{"NonASCIIIsEscapedInUTF8",
                [](AddDownloadForm& f) { f.urls = "http://h.example/caf\u00e9.txt"; },
                {{"http://h.example/caf%C3%A9.txt"}}},
        AddCase{"ALineWithoutAHostIsInvalid",
                [](AddDownloadForm& f) { f.urls = "file:///tmp/x.zip"; },
                {},
                kInvalidURLAlert},
        AddCase{"EmptyTextIsInvalid", [](AddDownloadForm& f) { f.urls = "\n\n"; }, {}, kInvalidURLAlert},
        AddCase{"ZeroConnectionsGiveTheDefault",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.connections = "0";
                },
                {{"http://h.example/x"}},
                "",
                5},
        AddCase{"FortyConnectionsGiveTheDefault",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.connections = "40";
                },
                {{"http://h.example/x"}},
                "",
                5},
        AddCase{"ThirtyTwoConnectionsAreKept",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.connections = "32";
                },
                {{"http://h.example/x"}},
                "",
                32},
        AddCase{"APlaceInsideTheQueueIsKept",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.queuePosition = "2";
                },
                {{"http://h.example/x"}},
                "",
                5,
                2},
        AddCase{"APlacePastTheEndAppends",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.queuePosition = "99";
                },
                {{"http://h.example/x"}},
                "",
                5,
                0},
        AddCase{"ARefererWithADotIsUsed",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.referer = "http://ref.example/page one";
                },
                {{"http://h.example/x"}},
                "",
                5,
                0,
                false,
                "http://ref.example/page%20one"},
        AddCase{"ASevenCharacterRefererIsNotUsed",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.referer = "a.b.c.d";
                },
                {{"http://h.example/x"}}},
        AddCase{"ARefererWithoutADotIsNotUsed",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.referer = "http://localhost/page";
                },
                {{"http://h.example/x"}}},
        AddCase{"AScheduleTenSecondsAheadIsRefused",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.schedule = true;
                  f.scheduleTime = kNow + 10;
                },
                {},
                kScheduledTimeInPastAlert},
        AddCase{"AScheduleFifteenSecondsAheadIsRefused",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.schedule = true;
                  f.scheduleTime = kNow + 15;
                },
                {},
                kScheduledTimeInPastAlert},
        AddCase{"AScheduleTwentySecondsAheadIsTaken",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.schedule = true;
                  f.scheduleTime = kNow + 20;
                },
                {{"http://h.example/x"}},
                "",
                5,
                0,
                false,
                std::nullopt,
                kNow + 20},
        AddCase{"ATimeInThePastIsIgnoredWithoutTheSchedule",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/x";
                  f.scheduleTime = kNow - 100;
                },
                {{"http://h.example/x"}}},
        AddCase{"SixURLsAreAddedQuietly",
                [](AddDownloadForm& f) {
                  f.urls = "http://h.example/f[1-6]";
                  f.queuePosition = "2";
                },
                {{"http://h.example/f1"},
                 {"http://h.example/f2"},
                 {"http://h.example/f3"},
                 {"http://h.example/f4"},
                 {"http://h.example/f5"},
                 {"http://h.example/f6"}},
                "",
                5,
                2,
                true},
        AddCase{"FiveURLsAreAddedOneByOne",
                [](AddDownloadForm& f) { f.urls = "http://h.example/f[1-5]"; },
                {{"http://h.example/f1"},
                 {"http://h.example/f2"},
                 {"http://h.example/f3"},
                 {"http://h.example/f4"},
                 {"http://h.example/f5"}}}),
    [](const testing::TestParamInfo<AddCase>& info) { return info.param.name; });

TEST(AddFormRulesTest, ARunawayPatternSaysWhy) {
  AddDownloadForm form;
  form.urls = "http://h.example/f[1-99999999]";
  auto result = PlanAddDownloads(form, Context());
  ASSERT_TRUE(std::holds_alternative<FormAlert>(result));
  EXPECT_FALSE(std::get<FormAlert>(result).text.empty());
  EXPECT_NE(std::get<FormAlert>(result).text, kInvalidURLAlert);
}

TEST(AddFormRulesTest, TheRestOfTheFormGoesToEveryDownload) {
  AddDownloadForm form;
  form.urls = "http://h.example/a\nhttp://h.example/b";
  form.whenDoneItem = 9;
  form.useAuth = true;
  form.saveCredentials = true;
  form.user = "ann";
  form.password = "secret";
  form.destination = values::Bytes{1, 2, 3};
  form.chosenName = "chosen.bin";
  auto plan = std::get<AddDownloadPlan>(PlanAddDownloads(form, Context()));
  ASSERT_EQ(plan.downloads.size(), 2u);
  for (const PlannedDownload& d : plan.downloads) {
    EXPECT_EQ(d.request.completionType, queue::kCompletionRunScript);
    EXPECT_EQ(d.request.completionAction, std::optional<std::string>("Tell Me"));
    EXPECT_TRUE(d.request.useAuth);
    EXPECT_TRUE(d.request.saveCredentials);
    EXPECT_EQ(d.request.user, std::optional<std::string>("ann"));
    EXPECT_EQ(d.request.password, std::optional<std::string>("secret"));
    EXPECT_EQ(d.request.destination, form.destination);
    EXPECT_TRUE(d.request.select);
    // A chosen name names one file; given to two it would make two files of one name.
    EXPECT_FALSE(d.fixedName.has_value());
  }
  EXPECT_EQ(plan.undoName, "Add 2 downloads");

  form.urls = "http://h.example/a";
  plan = std::get<AddDownloadPlan>(PlanAddDownloads(form, Context()));
  ASSERT_EQ(plan.downloads.size(), 1u);
  EXPECT_EQ(plan.downloads[0].fixedName, std::optional<std::string>("chosen.bin"));
  EXPECT_EQ(plan.undoName, "Add Download");
}

struct WhenDoneCase {
  int item;
  std::int32_t type;
  std::optional<std::string> argument;
};

TEST(WhenDoneItemsTest, ItemsMapToCompletionTypesBothWays) {
  const std::vector<std::string> scripts = {"Mount Share", "Tell Me"};
  const WhenDoneCase cases[] = {
      {1, queue::kCompletionNone, std::nullopt},      {2, queue::kCompletionStartQueue, std::nullopt},
      {3, queue::kCompletionStopQueue, std::nullopt}, {4, queue::kCompletionShutDown, std::nullopt},
      {5, queue::kCompletionSleep, std::nullopt},     {6, queue::kCompletionLogOut, std::nullopt},
      {7, queue::kCompletionQuit, std::nullopt},      {8, queue::kCompletionRunScript, "Mount Share"},
      {9, queue::kCompletionRunScript, "Tell Me"},
  };
  for (const WhenDoneCase& c : cases) {
    const WhenDoneChoice choice = CompletionForWhenDoneItem(c.item, scripts);
    EXPECT_EQ(choice.completionType, c.type) << c.item;
    EXPECT_EQ(choice.argument, c.argument) << c.item;
    EXPECT_EQ(WhenDoneItemForCompletion(c.type, c.argument, scripts), c.item) << c.item;
  }
  // A script that is no longer in the folder shows the first item.
  EXPECT_EQ(WhenDoneItemForCompletion(queue::kCompletionRunScript, "Gone", scripts), 1);
  EXPECT_EQ(WhenDoneItemForCompletion(queue::kCompletionRunScript, std::nullopt, scripts), 1);
  // An item past the menu's end picks nothing.
  EXPECT_EQ(CompletionForWhenDoneItem(10, scripts).completionType, queue::kCompletionNone);
}

TEST(NumberFieldTest, ReadsTheLeadingNumber) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"12", 12}, {" 7", 7}, {"", 0}, {"abc", 0}, {"3x", 3}, {"-4", -4}, {"99999999999", INT32_MAX},
  };
  for (auto [text, value] : cases) EXPECT_EQ(ReadNumberField(text, 31), value) << text;
  // Only the field's first characters count.
  EXPECT_EQ(ReadNumberField("1234", 2), 12);
}

EditedDownloadValues Edited(std::vector<std::string> urls, std::string name, std::int16_t flags = 0,
                            std::int32_t position = 0) {
  EditedDownloadValues v;
  for (const std::string& u : urls)
    v.urlData.push_back(engine::MakeURLEntry(*values::Url::Create(u), std::nullopt));
  v.filename = std::move(name);
  v.flags = flags;
  v.queuePosition = position;
  return v;
}

TEST(EditFormRulesTest, ConnectionsAreKeptWithinOneToThirtyTwo) {
  const std::pair<const char*, std::int32_t> cases[] = {{"0", 1}, {"40", 32}, {"", 1}, {"8", 8}, {"32", 32}};
  for (auto [text, connections] : cases) {
    EditDownloadForm form;
    form.urls = "http://h.example/x.zip";
    form.connections = text;
    auto plan = PlanDownloadEdits(form, {kNow, {}}, {Edited({"http://h.example/x.zip"}, "x.zip")});
    ASSERT_TRUE(std::holds_alternative<EditDownloadPlan>(plan)) << text;
    EXPECT_EQ(std::get<EditDownloadPlan>(plan).connections, connections) << text;
  }
}

TEST(EditFormRulesTest, AShortRefererIsWrittenEmptyOnEveryDownload) {
  EditDownloadForm form;
  form.referer = "a.b";
  auto result = PlanDownloadEdits(form, {kNow, {}},
                                  {Edited({"http://a.example/1"}, "1"), Edited({"http://b.example/2"}, "2")});
  auto plan = std::get<EditDownloadPlan>(result);
  ASSERT_EQ(plan.items.size(), 2u);
  for (const DownloadEdit& edit : plan.items) {
    ASSERT_TRUE(edit.urlData.has_value());
    EXPECT_EQ(RefererOf(edit.urlData->front()), std::optional<std::string>(""));
  }
  // Without a referer field the mirrors are left as they are.
  form.referer.reset();
  plan = std::get<EditDownloadPlan>(PlanDownloadEdits(
      form, {kNow, {}}, {Edited({"http://a.example/1"}, "1"), Edited({"http://b.example/2"}, "2")}));
  EXPECT_FALSE(plan.items[0].urlData.has_value());
}

struct EditAlertCase {
  const char* name;
  std::string urls;
  double scheduleIn;  // seconds from now; 0: no schedule
  FormAlert alert;
  friend void PrintTo(const EditAlertCase& c, std::ostream* os) { *os << c.name; }
};

class EditAlertTest : public testing::TestWithParam<EditAlertCase> {};

TEST_P(EditAlertTest, NothingIsPlanned) {
  const EditAlertCase& c = GetParam();
  EditDownloadForm form;
  form.urls = c.urls;
  form.schedule = c.scheduleIn != 0;
  form.scheduleTime = kNow + c.scheduleIn;
  auto result = PlanDownloadEdits(form, {kNow, {}}, {Edited({"http://h.example/x"}, "x")});
  ASSERT_TRUE(std::holds_alternative<FormAlert>(result));
  EXPECT_EQ(std::get<FormAlert>(result), c.alert);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, EditAlertTest,
    testing::Values(
        EditAlertCase{"NoURL", "nothing", 0, {kInvalidURLAlert, false}},
        EditAlertCase{
            "UnsupportedScheme", "gopher://h.example/x", 0, {queue::kUnsupportedSchemeMessage, true}},
        EditAlertCase{"ScheduleTenSecondsAhead", "http://h.example/x", 10, {kScheduledTimeInPastAlert}}),
    [](const testing::TestParamInfo<EditAlertCase>& info) { return info.param.name; });

TEST(EditFormRulesTest, ANewURLRenamesAndFreesTheName) {
  EditDownloadForm form;
  form.urls = "http://second.example/files/data.bin";
  form.connections = "4";
  form.queuePosition = "0";
  auto plan = std::get<EditDownloadPlan>(PlanDownloadEdits(
      form, {kNow, {}},
      {Edited({"http://first.example/old/data.bin"}, "mine.bin", queue::kFlagFilenameFixed)}));
  const DownloadEdit& edit = plan.items.front();
  ASSERT_TRUE(edit.urlData.has_value());
  EXPECT_EQ(URLsOf(*edit.urlData), std::vector<std::string>{"http://second.example/files/data.bin"});
  EXPECT_EQ(edit.domains, std::optional<std::vector<std::string>>({"second.example"}));
  EXPECT_EQ(edit.filename, std::optional<std::string>("data.bin"));
  EXPECT_EQ(edit.nameFixed, std::optional<bool>(false));
  EXPECT_EQ(edit.moveToPosition, 0);
}

TEST(EditFormRulesTest, AFixedNameStaysWhenTheURLsStay) {
  EditDownloadForm form;
  form.urls = "http://h.example/x.zip";
  // The window shows the list without referers; typed back, it parses equal only with them.
  form.referer = "http://ref.example/";
  auto old = Edited({"http://h.example/x.zip"}, "kept.zip", queue::kFlagFilenameFixed, 3);
  old.urlData[0].Put("referer", "http://ref.example/");
  form.queuePosition = "3";
  auto plan = std::get<EditDownloadPlan>(PlanDownloadEdits(form, {kNow, {}}, {old}));
  const DownloadEdit& edit = plan.items.front();
  EXPECT_FALSE(edit.urlData.has_value());
  EXPECT_FALSE(edit.filename.has_value());
  EXPECT_FALSE(edit.nameFixed.has_value());
  EXPECT_EQ(edit.moveToPosition, 0);

  // An empty referer field over mirrors that have none is no change of the mirrors.
  form.referer = "";
  auto plain = Edited({"http://h.example/x.zip"}, "kept.zip", queue::kFlagFilenameFixed, 3);
  plan = std::get<EditDownloadPlan>(PlanDownloadEdits(form, {kNow, {}}, {plain}));
  EXPECT_FALSE(plan.items.front().urlData.has_value());
  EXPECT_FALSE(plan.items.front().filename.has_value()) << "the server's name was replaced";
  form.referer = "http://ref.example/";

  form.queuePosition = "1";
  form.chosenName = "other.zip";
  plan = std::get<EditDownloadPlan>(PlanDownloadEdits(form, {kNow, {}}, {old}));
  EXPECT_EQ(plan.items.front().filename, std::optional<std::string>("other.zip"));
  EXPECT_EQ(plan.items.front().nameFixed, std::optional<bool>(true));
  EXPECT_TRUE(plan.items.front().clearRelativeLocation);
  EXPECT_EQ(plan.items.front().moveToPosition, 1);
}

// The plans carried out on the queue.
class FormExecutionTest : public queue::testing_support::DownloadTest {};

TEST_F(FormExecutionTest, SixDownloadsAtAPlaceAreAddedQuietlyAndNumberedOnce) {
  for (int i = 0; i < 3; ++i) Add("http://old.example/" + std::to_string(i));
  AddDownloadForm form;
  form.urls = "http://h.example/f[1-6]";
  form.connections = "2";
  form.queuePosition = "2";
  AddFormContext context = Context();
  context.queuedCount = queue::gQueuedCount;
  auto plan = std::get<AddDownloadPlan>(PlanAddDownloads(form, context));
  mainList->newRows.clear();
  const auto added = AddPlannedDownloads(plan);
  ASSERT_EQ(added.size(), 6u);
  EXPECT_QUEUE_CONSISTENT();
  EXPECT_TRUE(mainList->newRows.empty());
  // In the queue's order the six follow the first old download, in their own order.
  ASSERT_EQ(queue::gQueueOrder.size(), 9u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(queue::LookUpDownloadWrapper(queue::gQueueOrder[1 + i])->filename(),
              "f" + std::to_string(i + 1));
  }
  EXPECT_TRUE(queue::gQueueChanged);
  EXPECT_EQ(queue::TruvaneUndo::Shared().UndoMenuItemTitle(), "Undo Add 6 downloads");
}

TEST_F(FormExecutionTest, TheFirstRefusedDownloadEndsTheAdding) {
  AddDownloadPlan plan;
  for (const char* url : {"http://a.example/1", "mailto:x@y.example", "http://c.example/3"}) {
    PlannedDownload d;
    d.request.urlEntries = {values::Value(values::Dictionary{{"url", url}})};
    plan.downloads.push_back(d);
  }
  const auto added = AddPlannedDownloads(plan);
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(queue::gQueueItems.size(), 1u);
  EXPECT_EQ(queue::LookUpDownloadWrapper(added[0])->filename(), "1");
}

TEST_F(FormExecutionTest, AScheduledDownloadWaitsWithItsChosenName) {
  AddDownloadForm form;
  form.urls = "http://h.example/data.bin";
  form.schedule = true;
  form.scheduleTime = kNow + 60;
  form.chosenName = "named.bin";
  auto plan = std::get<AddDownloadPlan>(PlanAddDownloads(form, Context()));
  const auto added = AddPlannedDownloads(plan);
  ASSERT_EQ(added.size(), 1u);
  auto w = queue::LookUpDownloadWrapper(added[0]);
  EXPECT_EQ(w->status(), queue::kStatusScheduled);
  EXPECT_EQ(w->element().scheduleTime, kNow + 60);
  EXPECT_EQ(w->filename(), "named.bin");
  EXPECT_TRUE(w->element().flags & queue::kFlagFilenameFixed);
  EXPECT_TRUE(queue::gQueueOrder.empty());
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(FormExecutionTest, EditingWritesTheDownloadAndUnschedulesIt) {
  const auto uid = Add("http://first.example/data.bin");
  auto w = queue::LookUpDownloadWrapper(uid);
  queue::PutElementOnHold(w);
  queue::ScheduleDownload(w, kNow + 100);
  EditDownloadForm form;
  form.urls = "http://second.example/data2.bin";
  form.connections = "40";
  form.whenDoneItem = 6;
  form.useAuth = true;
  form.user = "u";
  form.password = "p";
  auto plan =
      std::get<EditDownloadPlan>(PlanDownloadEdits(form, {kNow, {}}, {ValuesOfDownload(w->element())}));
  ApplyPlannedEdits(plan, {w});
  EXPECT_EQ(w->status(), queue::kStatusOnHold);
  EXPECT_EQ(URLsOf(w->URLData()), std::vector<std::string>{"http://second.example/data2.bin"});
  EXPECT_EQ(w->element().domains, std::vector<std::string>{"second.example"});
  EXPECT_EQ(w->filename(), "data2.bin");
  EXPECT_EQ(w->element().connections, 32);
  EXPECT_EQ(w->element().completionType, queue::kCompletionLogOut);
  EXPECT_TRUE(w->element().useAuth);
  EXPECT_EQ(w->element().authUser, "u");
  EXPECT_EQ(queue::PopDueScheduledItem(kNow + 1000), nullptr);
  EXPECT_NE(std::find(mainList->rowUpdates.begin(), mainList->rowUpdates.end(), uid),
            mainList->rowUpdates.end());
  EXPECT_QUEUE_CONSISTENT();
}

}  // namespace
}  // namespace ui
