// The file-exists sheet: the size texts; one sheet at a time over the main window, the
// questions behind it waiting their turn; apply to all answering the rest of the batch
// without a sheet; a question whose upload went away vanishing; no main window answering
// Skip rather than leaving the worker waiting; and the real upload engine against vsftpd
// holding a shorter and a longer copy of the file, answered with each button.
#include "app/ui/upload_windows/upload_conflict_sheet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/upload/engine/upload_engine.h"
#include "app/upload/events/upload_event_codes.h"
#include "app/upload/events/upload_event_handler.h"
#include "app/upload/interface/upload_interface.h"
#include "app/upload/queue/upload_item.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/upload_hooks.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/digest.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using toolbox::kApplicationSignature;

TEST(UploadConflictSizeTextTest, SizesReadAsTheSheetShowsThem) {
  struct Case {
    std::int64_t size;
    const char* locale;
    const char* text;
  };
  const Case cases[] = {
      {-1, "en_US", "Unknown"},
      {0, "en_US", "Unknown"},
      {1, "en_US", "1 B"},
      {1023, "en_US", "1023 B"},
      {1024, "en_US", "1 KB (1,024 bytes)"},
      {1536, "en_US", "1 KB (1,536 bytes)"},
      {1536, "de_DE", "1 KB (1.536 bytes)"},
      {1048575, "en_US", "1023 KB (1,048,575 bytes)"},
      {1048576, "en_US", "1 MB (1,048,576 bytes)"},
      {1073741823, "en_US", "1023 MB (1,073,741,823 bytes)"},
      {1073741824, "en_US", "1 GB (1,073,741,824 bytes)"},
      {5LL * 1073741824 + 7, "en_US", "5 GB (5,368,709,127 bytes)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UploadConflictSizeText(c.size, c.locale), c.text) << c.size << " " << c.locale;
  }
}

class UploadConflictSheetTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    upload::ClearUploadTables();
    upload::UploadHooksSlot::Reset();
    upload::UploadHooksSlot::Get().queueConflictSheet = [](const upload::UploadConflictQuestion& q) {
      QueueUploadConflictSheet(q);
    };
    handler_ = upload::InstallUploadEventHandler(*runtime::EventTarget::Application());
    local_ = testsupport::MakeTempDir("conflicts");
  }
  void TearDown() override {
    ClearUploadConflicts();
    for (const auto& item : upload::Uploads().activeUploads) upload::CancelUpload(item);
    RunUntil([] { return upload::RunningUploadTaskCount() == 0; }, 20s);
    handler_->Remove();
    upload::ClearUploadTables();
    upload::UploadHooksSlot::Reset();
    MainWindowFixture::TearDown();
  }
  static bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(10), true);
      Pump();
    }
    return true;
  }
  // A waiting upload of a small local file to an FTP host, in the given batch.
  upload::UploadItemRef Item(const std::string& name, const std::string& batch) {
    testsupport::WriteFile(local_ + "/" + name, "x");
    auto item = upload::UploadItemCreateAndEnqueue(local_ + "/" + name, "127.0.0.1:1", std::nullopt, "u", "p",
                                                   "/", upload::kHostTypeFTP);
    EXPECT_TRUE(item);
    if (item) item->batchID = batch;
    return item;
  }
  // The answers that reach the item's worker, in order: a controller whose queue is the
  // main one and whose target records what it is told.
  void Record(const upload::UploadItemRef& item) {
    auto target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
    const std::string name = item->name;
    handlers_.push_back(target->InstallHandler(
        {{upload::kUploadControlClass, upload::kUploadControlAnswer}},
        [this, name](runtime::HandlerCall&, runtime::Event& event) {
          answers_.push_back({name, event.Get<std::int32_t>(runtime::kParamDirectObject).value_or(0),
                              event.Get<bool>(upload::upload_params::kApplyToAll).value_or(false)});
          return runtime::kNoErr;
        }));
    targets_.push_back(target);
    item->controller = std::make_shared<upload::UploadThreadController>();
    item->controller->Attach(runtime::EventQueue::Main(), target);
  }
  static upload::UploadConflictQuestion Question(const upload::UploadItemRef& item, std::int64_t localSize,
                                                 std::int64_t remoteSize) {
    upload::UploadConflictQuestion q;
    q.uid = item->uidString();
    q.fileName = item->name;
    q.localPath = "/home/someone/" + item->name;
    q.localSize = localSize;
    q.localMod = values::Date{700000000};
    q.remotePath = "/srv/" + item->name;
    q.remoteSize = remoteSize;
    return q;
  }
  static toolbox::Control* C(std::int32_t id) {
    toolbox::Window* sheet = GetUploadConflictSheet();
    return sheet ? sheet->FindControl(kApplicationSignature, id) : nullptr;
  }
  // The uid of the question the sheet shows, empty without a sheet.
  static std::string Shown() {
    toolbox::Window* sheet = GetUploadConflictSheet();
    const values::Value* uid =
        sheet ? sheet->Property(kApplicationSignature, values::FourCC("UUID")) : nullptr;
    return uid && uid->AsString() ? *uid->AsString() : std::string();
  }
  static void Press(std::int32_t id) {
    ASSERT_NE(C(id), nullptr);
    C(id)->Click();
    Pump();
  }
  struct Answer {
    std::string name;
    std::int32_t answer;
    bool applyToAll;
    bool operator==(const Answer&) const = default;
  };
  std::vector<Answer> answers_;
  std::string local_;

 private:
  runtime::HandlerRef handler_;
  std::vector<runtime::HandlerRef> handlers_;
  std::vector<std::shared_ptr<runtime::EventTarget>> targets_;
};

TEST_F(UploadConflictSheetTest, OneSheetAtATimeAndApplyToAllAnswersTheRestOfTheBatch) {
  Create();
  auto first = Item("first.bin", "batch-A");
  auto second = Item("second.bin", "batch-A");
  auto other = Item("other.bin", "batch-B");
  auto gone = Item("gone.bin", "batch-C");
  for (const auto& item : {first, second, other, gone}) Record(item);

  QueueUploadConflictSheet(Question(first, 1536, 4096));
  QueueUploadConflictSheet(Question(gone, 10, 5));
  QueueUploadConflictSheet(Question(second, 1000, 10));
  QueueUploadConflictSheet(Question(other, 3000, 1000));
  Pump();

  // The first question's sheet, on the main window; the others wait.
  toolbox::Window* sheet = GetUploadConflictSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->kind(), toolbox::WindowKind::kSheet);
  EXPECT_EQ(sheet->SheetParent(), GetMainWindow());
  EXPECT_EQ(Shown(), first->uidString());
  EXPECT_EQ(PendingUploadConflicts().size(), 4u);
  EXPECT_EQ(C(kConflictQuestionID)->Text(),
            "A file named \"first.bin\" already exists in the destination. What would you like to do?");
  EXPECT_EQ(C(kConflictLocalPathID)->Text(), "/home/someone/first.bin");
  EXPECT_EQ(C(kConflictLocalSizeID)->Text(), "1 KB (1,536 bytes)");
  EXPECT_EQ(C(kConflictRemotePathID)->Text(), "/srv/first.bin");
  EXPECT_EQ(C(kConflictRemoteSizeID)->Text(), "4 KB (4,096 bytes)");
  EXPECT_NE(C(kConflictLocalDateID)->Text().find("2023"), std::string::npos)
      << C(kConflictLocalDateID)->Text();
  EXPECT_EQ(C(kConflictRemoteDateID)->Text(), "Unknown");
  // Nothing to resume: the remote file is longer.
  EXPECT_FALSE(C(kConflictResumeID)->IsEnabled());
  for (std::int32_t id : {kConflictReplaceID, kConflictSkipID, kConflictStopID, kConflictApplyToAllID}) {
    EXPECT_TRUE(C(id)->IsEnabled()) << id;
    EXPECT_TRUE(C(id)->IsVisible()) << id;
  }
  EXPECT_NE(C(kConflictPictureID), nullptr) << "an FTP destination shows its picture";
  Keep(sheet->Grab(), "upload_conflict_sheet");
  // Every text fits its control.
  for (std::int32_t id : {kConflictQuestionID, kConflictLocalSizeID, kConflictLocalDateID, kConflictReplaceID,
                          kConflictApplyToAllID}) {
    const toolbox::Rect best = C(id)->BestRect();
    EXPECT_LE(best.height, C(id)->Bounds().height + 1) << id;
  }

  // The question of a removed upload vanishes while it waits.
  upload::RemoveFromQueue(gone, false);
  // Skip with apply to all: the rest of batch A takes the answer without a sheet.
  C(kConflictApplyToAllID)->Click();
  Press(kConflictSkipID);
  ASSERT_TRUE(RunUntil([&] { return answers_.size() >= 2 && Shown() == other->uidString(); }, 5s));
  EXPECT_EQ(answers_, (std::vector<Answer>{{"first.bin", upload::kConflictSkip, true},
                                           {"second.bin", upload::kConflictSkip, true}}));
  EXPECT_EQ(PendingUploadConflicts().size(), 1u);
  // The last one, another batch, may resume: its remote copy is shorter.
  EXPECT_TRUE(C(kConflictResumeID)->IsEnabled());
  EXPECT_EQ(C(kConflictApplyToAllID)->Value(), 0);
  Press(kConflictResumeID);
  ASSERT_TRUE(RunUntil([&] { return answers_.size() == 3; }, 5s));
  EXPECT_EQ(answers_.back(), (Answer{"other.bin", upload::kConflictResume, false}));
  EXPECT_EQ(GetUploadConflictSheet(), nullptr);
  EXPECT_TRUE(PendingUploadConflicts().empty());

  // A later question of batch A is answered from the batch's memory, without a sheet.
  auto late = Item("late.bin", "batch-A");
  Record(late);
  QueueUploadConflictSheet(Question(late, 100, 50));
  ASSERT_TRUE(RunUntil([&] { return answers_.size() == 4; }, 5s));
  EXPECT_EQ(answers_.back(), (Answer{"late.bin", upload::kConflictSkip, true}));
  EXPECT_EQ(GetUploadConflictSheet(), nullptr);
}

// Each button gives its answer once; the sheet goes, and closing it without a button
// answers Skip.
TEST_F(UploadConflictSheetTest, EachButtonPostsItsAnswer) {
  Create();
  struct Case {
    std::int32_t button;
    std::int32_t answer;
  };
  const Case cases[] = {{kConflictReplaceID, upload::kConflictReplace},
                        {kConflictResumeID, upload::kConflictResume},
                        {kConflictSkipID, upload::kConflictSkip},
                        {kConflictStopID, upload::kConflictStop}};
  int n = 0;
  for (const Case& c : cases) {
    ++n;
    auto item = Item("file" + std::to_string(n) + ".bin", "batch-" + std::to_string(n));
    Record(item);
    QueueUploadConflictSheet(Question(item, 5000, 100));
    ASSERT_EQ(Shown(), item->uidString());
    Press(c.button);
    ASSERT_TRUE(RunUntil([&] { return answers_.size() == static_cast<std::size_t>(n); }, 5s));
    EXPECT_EQ(answers_.back(), (Answer{item->name, c.answer, false}));
    EXPECT_EQ(GetUploadConflictSheet(), nullptr);
  }
  auto closed = Item("closed.bin", "batch-close");
  Record(closed);
  QueueUploadConflictSheet(Question(closed, 5000, 100));
  ASSERT_NE(GetUploadConflictSheet(), nullptr);
  GetUploadConflictSheet()->Close();
  ASSERT_TRUE(RunUntil([&] { return answers_.size() == 5; }, 5s));
  EXPECT_EQ(answers_.back(), (Answer{"closed.bin", upload::kConflictSkip, false}));
}

// Without a main window no sheet can come: the worker gets Skip at once instead of
// waiting for ever, and later questions are not stuck behind it.
TEST_F(UploadConflictSheetTest, WithoutAMainWindowTheQuestionIsAnsweredSkip) {
  auto one = Item("one.bin", "batch-1");
  auto two = Item("two.bin", "batch-2");
  Record(one);
  Record(two);
  QueueUploadConflictSheet(Question(one, 10, 5));
  QueueUploadConflictSheet(Question(two, 10, 5));
  ASSERT_TRUE(RunUntil([&] { return answers_.size() == 2; }, 5s));
  EXPECT_EQ(answers_, (std::vector<Answer>{{"one.bin", upload::kConflictSkip, false},
                                           {"two.bin", upload::kConflictSkip, false}}));
  EXPECT_TRUE(PendingUploadConflicts().empty());
}

// The real engine against vsftpd: the server holds a shorter or a longer copy; the
// sheet's answer decides what the server ends with.
TEST_F(UploadConflictSheetTest, AnswersDecideWhatTheServerKeeps) {
  Create();
  testservers::VsftpdServer server({.log_protocol = true});
  ASSERT_TRUE(server.ok());
  const std::string body = testsupport::RandomBytes(300 * 1024 + 11, 42);
  const std::string shorter = body.substr(0, 100 * 1024);
  const std::string longer = body + testsupport::RandomBytes(5000, 43);
  struct Case {
    const char* name;
    std::string remote;
    std::int32_t button;
    std::string expected;
    std::int32_t state;
  };
  const Case cases[] = {
      {"resume-shorter.bin", shorter, kConflictResumeID, body, upload::kUploadFinished},
      {"replace-shorter.bin", shorter, kConflictReplaceID, body, upload::kUploadFinished},
      {"replace-longer.bin", longer, kConflictReplaceID, body, upload::kUploadFinished},
      {"skip-longer.bin", longer, kConflictSkipID, longer, upload::kUploadCancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::WriteFile(local_ + "/" + c.name, body);
    testsupport::WriteFile(server.FilesDir() + "/" + c.name, c.remote);
    fs::permissions(server.FilesDir() + "/" + c.name, fs::perms::all);
    auto item = upload::UploadItemCreateAndEnqueue(
        local_ + "/" + c.name, "ftp://127.0.0.1:" + std::to_string(server.Port()), std::nullopt,
        server.User(), server.Password(), server.FilesDir(), upload::kHostTypeFTP);
    ASSERT_TRUE(item);
    item->batchID = c.name;
    ASSERT_TRUE(upload::StartUpload(item));
    ASSERT_TRUE(RunUntil([&] { return Shown() == item->uidString(); }, 30s))
        << upload::LogPlainText(item->log);
    EXPECT_EQ(C(kConflictResumeID)->IsEnabled(), c.remote.size() < body.size());
    Press(c.button);
    ASSERT_TRUE(RunUntil(
        [&] {
          return item->stateValue != upload::kUploadUploading && item->stateValue != upload::kUploadWaiting &&
                 !item->controller;
        },
        30s))
        << upload::LogPlainText(item->log);
    EXPECT_EQ(item->stateValue, c.state) << upload::LogPlainText(item->log);
    EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(server.FilesDir() + "/" + c.name)),
              values::Sha1Hex(c.expected));
  }

  // A batch of two, both held shorter by the server: Resume with apply to all answers
  // the second without a sheet.
  std::vector<upload::UploadItemRef> batch;
  for (const char* name : {"batch-one.bin", "batch-two.bin"}) {
    testsupport::WriteFile(local_ + "/" + name, body);
    testsupport::WriteFile(server.FilesDir() + "/" + name, shorter);
    fs::permissions(server.FilesDir() + "/" + name, fs::perms::all);
    auto item = upload::UploadItemCreateAndEnqueue(
        local_ + "/" + name, "ftp://127.0.0.1:" + std::to_string(server.Port()), std::nullopt, server.User(),
        server.Password(), server.FilesDir(), upload::kHostTypeFTP);
    ASSERT_TRUE(item);
    item->batchID = "the-batch";
    batch.push_back(item);
  }
  const std::string firstUid = batch[0]->uidString();
  ASSERT_TRUE(upload::StartUpload(batch[0]));
  ASSERT_TRUE(RunUntil([&] { return !Shown().empty(); }, 30s));
  std::string firstShown = Shown();
  C(kConflictApplyToAllID)->Click();
  Press(kConflictResumeID);
  ASSERT_TRUE(upload::StartUpload(batch[1]));
  int sheetsAfter = 0;
  ASSERT_TRUE(RunUntil(
      [&] {
        if (!Shown().empty()) ++sheetsAfter;
        for (const auto& item : batch)
          if (item->stateValue != upload::kUploadFinished) return false;
        return true;
      },
      60s))
      << upload::LogPlainText(batch[1]->log);
  EXPECT_EQ(firstShown, firstUid);
  EXPECT_EQ(sheetsAfter, 0) << "a question of the batch was asked again";
  for (const char* name : {"batch-one.bin", "batch-two.bin"}) {
    EXPECT_EQ(values::Sha1Hex(testsupport::ReadFile(server.FilesDir() + "/" + name)), values::Sha1Hex(body))
        << name;
  }
  int appends = 0;
  for (const auto& command : server.Commands()) appends += command.rfind("APPE batch-", 0) == 0;
  EXPECT_EQ(appends, 2) << "both files of the batch were resumed";
}

}  // namespace
}  // namespace ui
