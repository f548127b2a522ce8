#include <gtest/gtest.h>

#include <ostream>

#include "app/queue/folders/folder_record.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/queue/undo/truvane_undo.h"
#include "tests/app/queue/queue_test_support.h"

namespace queue {
namespace {

using testing_support::QueueTest;
using values::Number;
using values::Value;

void Occupy(ViewID first, ViewID last) {
  for (ViewID id = first; id <= last; ++id) AddFolderToFolderTable(std::make_shared<TRFolder>(), id);
}

TEST_F(QueueTest, NewFolderUIDSkipsTakenIds) {
  Occupy(0x100001, 0x100002);
  EXPECT_EQ(NewFolderUID(), 0x100003u);
  // The counter moved past the taken ids: the next one follows at once.
  EXPECT_EQ(NewFolderUID(), 0x100004u);
}

TEST_F(QueueTest, NewFolderUIDWrapsToTheBottomOfTheRange) {
  Occupy(0x3FFFF0, 0x3FFFFE);
  Occupy(0x100000, 0x100001);
  SetFolderUIDCounters(0x3FFFF0, kFirstUserSmartFolderID);
  EXPECT_EQ(NewFolderUID(), 0x100002u);
  EXPECT_EQ(NewFolderUID(), 0x100003u);
}

TEST_F(QueueTest, FolderAndSmartFolderCountersAreIndependent) {
  EXPECT_EQ(NewSmartFolderUID(), 0x40000Au);
  EXPECT_EQ(NewSmartFolderUID(), 0x40000Bu);
  EXPECT_EQ(NewFolderUID(), 0x100001u);
  EXPECT_EQ(NewSmartFolderUID(), 0x40000Cu);
  EXPECT_EQ(NewFolderUID(), 0x100002u);
}

struct RecordCase {
  const char* name;
  values::Dictionary record;
  std::vector<std::uint32_t> props;
  std::vector<std::uint16_t> sizes;
  std::string folderName;
  std::uint32_t sort;
  friend void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }
};

class FolderRecordTest : public QueueTest, public testing::WithParamInterface<RecordCase> {};

TEST_P(FolderRecordTest, ReadsTheRecord) {
  const RecordCase& c = GetParam();
  FolderRef folder = CreateFolderFromRecord(Value(c.record));
  ASSERT_TRUE(folder);
  std::vector<std::uint32_t> props;
  std::vector<std::uint16_t> sizes;
  for (std::size_t i = 0; i < kMaxFolderColumns && folder->options().props[i] != 0; ++i) {
    props.push_back(folder->options().props[i]);
    sizes.push_back(folder->options().sizes[i]);
  }
  EXPECT_EQ(props, c.props);
  EXPECT_EQ(sizes, c.sizes);
  EXPECT_EQ(folder->name(), c.folderName);
  EXPECT_EQ(folder->sort(), c.sort);
  EXPECT_EQ(folder->hostID(), 0u);
}

Value Column(std::int64_t prop) {
  return Value(values::Dictionary{{"prop", Number::Int64(prop)}});
}

values::Array SeventeenColumns() {
  values::Array a;
  for (int i = 0; i < 17; ++i) a.push_back(Column(2000 + i));
  return a;
}

std::vector<std::uint32_t> SixteenProps() {
  std::vector<std::uint32_t> v;
  for (int i = 0; i < 16; ++i) v.push_back(2000 + i);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Records, FolderRecordTest,
    testing::Values(
        RecordCase{"ShortOptionsGiveTheFallbackColumns",
                   {{"UID", Number::Int64(0x100005)}, {"Name", "N"}, {"Options", values::Data{values::Bytes(95)}}},
                   {1025, 1037, 1027, 1036},
                   {0, 0, 0, 0},
                   "N",
                   1},
        RecordCase{"MissingSizeIs120",
                   {{"UID", Number::Int64(0x100005)},
                    {"CFOptions", values::Array{Column(1025), Value(values::Dictionary{{"prop", Number::Int64(1026)},
                                                                                        {"size", Number::Int32(7)}})}},
                    {"Sort", Number::Int64(3)}},
                   {1025, 1026},
                   {120, 7},
                   "Folder 1048581",
                   3},
        RecordCase{"SeventeenthColumnIgnoredAndOddEntriesSkipped",
                   {{"UID", Number::Int64(0x100005)}, {"Name", "N"}, {"CFOptions", [] {
                      values::Array a = SeventeenColumns();
                      a.insert(a.begin(), Value("not a column"));
                      return a;
                    }()}},
                   SixteenProps(),
                   std::vector<std::uint16_t>(16, 120),
                   "N",
                   1}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST_F(QueueTest, RecordWithoutUIDIsDropped) {
  EXPECT_FALSE(CreateFolderFromRecord(Value(values::Dictionary{{"Name", "x"}})));
}

TEST_F(QueueTest, OptionsBytesRoundTripExactly) {
  FolderRef folder = CreateBuiltInFolder(kMyUploadsViewID);
  const values::Bytes bytes = FolderOptionsToBytes(folder->options());
  ASSERT_EQ(bytes.size(), 96u);
  // Big-endian: the first property 1025 is 00 00 04 01.
  EXPECT_EQ((values::Bytes{bytes[0], bytes[1], bytes[2], bytes[3]}), (values::Bytes{0, 0, 4, 1}));
  EXPECT_EQ(FolderOptionsFromBytes(bytes), folder->options());
  // Read back from "Options" alone.
  Value record = CopyFolderRecord(*folder);
  record.Erase("CFOptions");
  EXPECT_EQ(CreateFolderFromRecord(record)->options(), folder->options());
}

TEST_F(QueueTest, SmartFolderRulesSurviveASave) {
  const PredicateRef rule = TRSearchPredicate::WithStringOfTypes("zip", kOpTypeIn);
  const Value archive(values::Data{ArchivePredicate(*rule)});
  FolderRef folder = CreateFolderFromRecord(Value(values::Dictionary{{"UID", Number::Int64(0x40000A)},
                                                                     {"Name", "S"},
                                                                     {"predicate", archive},
                                                                     {"aliasData", values::Data{{9}}}}));
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->flags() & kFolderFlagSmart);
  Value back = CopyFolderRecord(*folder);
  ASSERT_NE(back.Find("predicate"), nullptr);
  PredicateRef read = UnarchivePredicate(*back.Find("predicate"));
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->Equals(*rule));
  EXPECT_EQ(back.Find("items"), nullptr);
  // An alias that names nothing is dropped rather than kept.
  EXPECT_EQ(back.Find("aliasData"), nullptr);
  // A rule that cannot be read drops the folder.
  EXPECT_FALSE(CreateFolderFromRecord(
      Value(values::Dictionary{{"UID", Number::Int64(0x40000B)},
                               {"predicate", Value(values::Dictionary{{"$archiver", "NSKeyedArchiver"}})}})));
}

TEST_F(QueueTest, FolderItemsAndFolderSetsStayInStep) {
  AddMissingBuiltInFolders();
  auto w = DownloadQueueWrapper::Create();
  w->element().uid = 77;
  QueueItemsSet(77, w);
  AddFolder(0x100001, "A");
  TruvaneUndoRemoveAllActions();
  AddElementToFolder(w, 0x100001);
  AddElementToFolder(w, 0x100001);
  AddElementToFolder(w, 0x123456);  // no such folder: nothing but the undo action
  EXPECT_EQ(GetFolderItemCount(0x100001), 1u);
  EXPECT_EQ(w->foldersContainedIn(), std::set<ViewID>{0x100001});
  EXPECT_TRUE(TruvaneUndoCanUndo());              // the no-folder add too
  AddElementToListableFolder(kHistoryViewID, w);  // not listable: nothing
  EXPECT_EQ(w->foldersContainedIn(), std::set<ViewID>{0x100001});
  RemoveElementFromFolder(w, 0x100001);
  EXPECT_EQ(GetFolderItemCount(0x100001), 0u);
  EXPECT_TRUE(w->foldersContainedIn().empty());
}

TEST_F(QueueTest, RenameToTheSameNameRegistersNoUndo) {
  AddFolder(0x100001, "A");
  TruvaneUndoRemoveAllActions();
  RenameFolder(0x100001, "A");
  EXPECT_FALSE(TruvaneUndoCanUndo());
  RenameFolder(0x100001, "B");
  EXPECT_EQ(LookUpFolder(0x100001)->name(), "B");
  EXPECT_EQ(TruvaneUndoCopyUndoTitle(), "Undo Rename Folder");
  TruvaneUndoPerformUndo();
  EXPECT_EQ(LookUpFolder(0x100001)->name(), "A");
}

TEST_F(QueueTest, FoldersBelowTheUserRangeAreKeptOnlyForBuiltIns) {
  auto folder = [](std::int64_t uid, const char* name) {
    return Value(values::Dictionary{{"UID", Number::Int64(uid)}, {"Name", name}});
  };
  WriteQueueFile(
      Root({}, {folder(5, "junk"), folder(2, "history"), folder(0x100009, "mine"), folder(2, "second")}));
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_FALSE(LookUpFolder(5));
  EXPECT_EQ(LookUpFolder(2)->name(), "history");
  EXPECT_EQ(LookUpFolder(0x100009)->name(), "mine");
  EXPECT_TRUE(LookUpFolder(1));
}

}  // namespace
}  // namespace queue
