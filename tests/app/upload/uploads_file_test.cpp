// The uploads file: what a save writes and a load gives back, the older records, and
// the damaged file that is kept aside rather than overwritten.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/browser/services/stored_password_service.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/queue/uploads_file.h"
#include "app/upload/services/received_files_archive.h"
#include "platform/values/plist.h"
#include "tests/support/temp_home.h"

namespace upload {
namespace {

namespace fs = std::filesystem;

// A cipher that is not the identity, so that clear text cannot pass for enciphered.
class XorCipher : public browser::StoredPasswordService {
 public:
  std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes& plain) override {
    return Flip(plain);
  }
  std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes& data) override {
    return Flip(data);
  }

 private:
  static values::Bytes Flip(values::Bytes b) {
    for (auto& x : b) x ^= 0x5A;
    return b;
  }
};

class UploadsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearUploadTables();
    file = UploadsFileRef()->Path();
    fs::remove(file);
    for (const auto& entry : fs::directory_iterator(fs::path(file).parent_path())) {
      if (entry.path().filename().string().rfind("Truvane Uploads", 0) == 0) fs::remove(entry.path());
    }
    local = testsupport::MakeTempDir("files");
  }
  void TearDown() override {
    ClearUploadTables();
    browser::StoredPasswordServiceSlot::Set(nullptr);
  }
  UploadItemRef Make(const std::string& name, std::int32_t state) {
    testsupport::WriteFile(local + "/" + name, "contents of " + name);
    auto item = std::make_shared<UploadItem>();
    item->uid = values::Uuid::Generate();
    item->name = name;
    item->path = local + "/" + name;
    item->fileAlias = *files::MakeAlias(files::FileRef(*item->path));
    item->stateValue = state;
    item->hostName = "ftp://127.0.0.1:2121";
    item->userName = "user";
    item->pass = "s3cret-pass";
    item->uploadPath = "/in";
    item->type = kHostTypeFTP;
    item->bytes = 77;
    item->size = 1000;
    item->count = 2;
    item->batchID = "BATCH";
    item->log = {{"220 ready", LogStyle::kFixedPitch}, {"\rdone", LogStyle::kBold}};
    item->customAttributes["fileid"] = values::Value("42");
    item->startDate = values::Date{1000.0};  // the file keeps whole seconds
    return item;
  }
  std::string file;
  std::string local;
};

TEST_F(UploadsFileTest, RoundTripKeepsItemsAndPutsTheUploadingOneFirst) {
  browser::StoredPasswordServiceSlot::Set(std::make_unique<XorCipher>());
  auto waiting = Make("waiting.bin", kUploadWaiting);
  auto finished = Make("finished.bin", kUploadFinished);
  auto uploading = Make("uploading.bin", kUploadUploading);
  AddToQueue(waiting);
  AddToQueue(finished);
  Uploads().queueOrder = {waiting};
  Uploads().uploadQueue[uploading->uidString()] = uploading;
  ReceivedFilesArchiveSlot::Get().SetReceivedFiles(values::Value(values::Array{values::Value("received")}));
  ASSERT_TRUE(SaveUploadQueue().ok());
  EXPECT_FALSE(gUploadQueueDirty);
  const std::string bytes = testsupport::ReadFile(file);
  EXPECT_EQ(bytes.find("s3cret-pass"), std::string::npos) << "the password went out in clear";

  ClearUploadTables();
  ReceivedFilesArchiveSlot::Get().SetReceivedFiles(values::Value());
  ASSERT_TRUE(LoadUploadQueue().ok());
  auto& t = Uploads();
  ASSERT_EQ(t.uploadQueue.size(), 3u);
  ASSERT_EQ(t.queueOrder.size(), 2u);
  EXPECT_EQ(t.queueOrder[0]->name, "uploading.bin");
  EXPECT_EQ(t.queueOrder[0]->stateValue, kUploadWaiting);
  EXPECT_EQ(t.queueOrder[1]->name, "waiting.bin");
  const UploadItemRef back = FindUploadItemByUUID(finished->uidString());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->stateValue, kUploadFinished);
  EXPECT_EQ(back->pass, "s3cret-pass");
  EXPECT_EQ(back->log, finished->log);
  EXPECT_EQ(back->customAttributes, finished->customAttributes);
  EXPECT_EQ(back->path, finished->path);
  EXPECT_EQ(back->startDate, finished->startDate);
  EXPECT_EQ(back->count, 2);
  EXPECT_EQ(back->bytes, 77);
  EXPECT_EQ(back->batchID, "BATCH");
  EXPECT_EQ(ReceivedFilesArchiveSlot::Get().CopyReceivedFiles(),
            values::Value(values::Array{values::Value("received")}));
}

TEST_F(UploadsFileTest, WithoutACipherThePasswordStaysInMemoryOnly) {
  auto item = Make("p.bin", kUploadWaiting);
  AddToQueue(item);
  ASSERT_TRUE(SaveUploadQueue().ok());
  const std::string bytes = testsupport::ReadFile(file);
  EXPECT_EQ(bytes.find("s3cret-pass"), std::string::npos);
  EXPECT_EQ(bytes.find("<key>epass</key>"), std::string::npos);
  EXPECT_EQ(bytes.find("<key>pass</key>"), std::string::npos);
}

// One value the file cannot hold (a name that is not UTF-8) is left out of its record:
// every upload is still saved. A password that cannot be deciphered (its key out of reach)
// is written back as it was stored.
TEST_F(UploadsFileTest, OneBadValueNeverCostsTheOtherUploads) {
  auto good = Make("good.bin", kUploadWaiting);
  auto bad = Make("bad.bin", kUploadWaiting);
  bad->uploadPath = "/in/\xff";
  bad->pass.clear();
  bad->keptPass = values::Bytes{'k', 'e', 'p', 't'};
  AddToQueue(good);
  AddToQueue(bad);
  ASSERT_TRUE(SaveUploadQueue().ok());
  ClearUploadTables();
  ASSERT_TRUE(LoadUploadQueue().ok());
  ASSERT_EQ(Uploads().uploadQueue.size(), 2u);
  const UploadItemRef back = FindUploadItemByUUID(bad->uidString());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->name, "bad.bin");
  EXPECT_EQ(back->keptPass, bad->keptPass) << "the undecipherable password was not kept";
}

TEST_F(UploadsFileTest, OlderRecordsLoadAsTheRulesSay) {
  struct Case {
    values::Dictionary record;
    std::int32_t type;
    bool sameUid;
  };
  const values::Bytes uid(16, 0xAB);
  const Case cases[] = {
      {{{"uid", values::Value(values::Data{uid})}, {"hostType", values::Value(0)}},
       kHostTypePeerAddress,
       true},
      {{{"uid", values::Value(values::Data{uid})},
        {"hostType", values::Value(0)},
        {"rendezvous", values::Value(true)}},
       kHostTypeBonjourPeer,
       true},
      {{{"uid", values::Value(values::Data{values::Bytes(15, 1)})}, {"hostType", values::Value(4)}},
       kHostTypeFTPS,
       false},
  };
  for (const Case& c : cases) {
    values::Dictionary record = c.record;
    record["pass"] = values::Value("clear");
    bool wasUploading = true;
    auto item = DecodeUploadItem(values::Value(record), wasUploading);
    ASSERT_TRUE(item);
    EXPECT_FALSE(wasUploading);
    EXPECT_EQ(item->type, c.type);
    EXPECT_EQ(item->pass, "clear");
    EXPECT_EQ(item->uid.bytes[0] == 0xAB && item->uid.bytes[15] == 0xAB, c.sameUid);
  }
}

TEST_F(UploadsFileTest, DamagedFileIsKeptAsideAndNeverOverwritten) {
  const char* damaged[] = {"not a property list", "<?xml version=\"1.0\"?><plist><array/></plist>", ""};
  for (const char* text : damaged) {
    SCOPED_TRACE(text);
    testsupport::WriteFile(file, text);
    EXPECT_FALSE(LoadUploadQueue().ok());
    EXPECT_TRUE(Uploads().uploadQueue.empty());
    ASSERT_TRUE(fs::exists(file + ".unreadable"));
    EXPECT_EQ(testsupport::ReadFile(file + ".unreadable"), text);
    AddToQueue(Make("after.bin", kUploadWaiting));
    ASSERT_TRUE(SaveUploadQueue().ok());
    EXPECT_EQ(testsupport::ReadFile(file + ".unreadable"), text);
    EXPECT_TRUE(LoadUploadQueue().ok());
    EXPECT_EQ(Uploads().uploadQueue.size(), 1u);
    fs::remove(file + ".unreadable");
    ClearUploadTables();
  }
}

TEST_F(UploadsFileTest, ReaderRefusesWhatIsNotAnUploadsFile) {
  const std::string cases[] = {
      "",
      "<plist><dict><key>objects</key><array/></dict></plist>",
      "<plist><dict><key>objects</key><dict><key>x</key><string>no record</string></dict></dict></plist>",
      std::string(kMaxUploadsFileSize + 1, ' '),
  };
  for (const auto& text : cases) {
    EXPECT_FALSE(ReadUploadsArchive(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())))
        << text.substr(0, 60);
  }
}

}  // namespace
}  // namespace upload
