// The uploads in the shipped program: an upload waiting in the uploads file is started by
// the program itself (uploads start at launch), the program is killed in the middle of
// it, and the next run goes on from what reached the server, to a byte-exact file.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "app/upload/queue/upload_item.h"
#include "app/upload/queue/uploads_file.h"
#include "platform/values/digest.h"
#include "platform/values/plist.h"
#include "tests/app/shell/program_process.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace programtest;

std::string UploadsFile() {
  return testsupport::TempHome() + "/.local/share/Truvane/Truvane Uploads";
}

void WritePrefs(bool limited, bool startUploads = true) {
  // Started at once, not when a network interface is up: loopback is all the test uses.
  values::Dictionary prefs{{"start ul on launch", values::Value(startUploads)},
                           {"start ul if connected", values::Value(false)}};
  if (limited) {
    prefs["Upload Bandwidth Settings"] = values::Value(
        values::Dictionary{{"limit", values::Value(512 * 1024)}, {"status", values::Value(true)}});
  }
  WritePreferences(prefs);
}

// The saved state of the one upload, or -1.
std::int64_t SavedState() {
  auto root = values::ReadPropertyListFile(UploadsFile());
  const values::Value* objects = nullptr;
  if (!root.ok() || root->GetDictionary("objects", objects) != values::Lookup::kOk) return -1;
  for (const auto& [key, record] : *objects->AsDictionary()) {
    std::int64_t state = -1;
    record.GetInt64("state", state);
    return state;
  }
  return -1;
}

// The saved state of every upload, by file name.
std::map<std::string, std::int64_t> SavedStates() {
  std::map<std::string, std::int64_t> states;
  auto root = values::ReadPropertyListFile(UploadsFile());
  const values::Value* objects = nullptr;
  if (!root.ok() || root->GetDictionary("objects", objects) != values::Lookup::kOk) return states;
  for (const auto& [key, record] : *objects->AsDictionary()) {
    std::string name;
    std::int64_t state = -1;
    record.GetString("fileName", name);
    record.GetInt64("state", state);
    states[name] = state;
  }
  return states;
}

TEST(UploadProcess, KilledMidUploadAndStartedAgainTheUploadResumesByteExact) {
  testservers::VsftpdServer server({.log_protocol = true});
  ASSERT_TRUE(server.ok());
  const std::string local = testsupport::MakeTempDir("toupload") + "/payload.bin";
  const std::string body = testsupport::RandomBytes(6 * 1024 * 1024 + 3, 99);
  testsupport::WriteFile(local, body);
  const std::string remote = server.FilesDir() + "/payload.bin";

  // The upload waits in the uploads file as the send-files window would have left it. The
  // test has no stored-password key, so the password goes in the older clear-text key.
  upload::UploadItem item;
  item.uid = values::Uuid::Generate();
  item.name = "payload.bin";
  item.path = local;
  item.fileAlias = *files::MakeAlias(files::FileRef(local));
  item.size = static_cast<std::int64_t>(body.size());
  item.hostName = "ftp://127.0.0.1:" + std::to_string(server.Port());
  item.userName = server.User();
  item.uploadPath = server.FilesDir();
  item.type = upload::kHostTypeFTP;
  values::Value record = upload::EncodeUploadItem(item);
  record.Put("pass", values::Value(server.Password()));
  values::Value root(
      values::Dictionary{{"objects", values::Value(values::Dictionary{{item.uidString(), record}})},
                         {"order", values::Value(values::Array{values::Value(item.uidString())})}});
  auto bytes = values::WritePropertyList(root, values::PlistFormat::kXml);
  ASSERT_TRUE(bytes.ok());
  testsupport::WriteFile(UploadsFile(), std::string(bytes->begin(), bytes->end()));
  WritePrefs(true);

  {
    Program first;
    ASSERT_TRUE(first.WaitUntilAnswering(std::chrono::seconds(30)));
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    bool midway = false;
    while (Clock::now() < deadline && !midway) {
      std::error_code ec;
      const auto size = fs::file_size(remote, ec);
      midway = !ec && size > 1024 * 1024 && size < body.size();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(midway) << ReadIfExists(first.StandardErrorFile());
    first.Kill();
  }
  // The start was saved at once: the next run knows the upload was under way.
  EXPECT_EQ(SavedState(), upload::kUploadUploading);
  ASSERT_LT(fs::file_size(remote), body.size());

  WritePrefs(false);
  Program second;
  ASSERT_TRUE(second.WaitUntilAnswering(std::chrono::seconds(30)));
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < deadline && SavedState() != upload::kUploadFinished)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(SavedState(), upload::kUploadFinished) << ReadIfExists(second.StandardErrorFile());
  EXPECT_TRUE(second.Quit(std::chrono::seconds(30)));

  EXPECT_EQ(values::Sha1Hex(ReadIfExists(remote)), values::Sha1Hex(body));
  bool appended = false;
  for (const auto& command : server.Commands()) appended |= command.rfind("APPE payload.bin", 0) == 0;
  EXPECT_TRUE(appended) << "the second run sent the file again from its start";
}

// The Finder menu's hand-off queues its files for the file-hosting service in the real
// upload queue; with the uploads not started they wait, and the uploads file keeps them.
TEST(UploadProcess, HandedOffFilesWaitInTheUploadsFile) {
  fs::remove(UploadsFile());
  const std::string dir = testsupport::MakeTempDir("handoff");
  testsupport::WriteFile(dir + "/one.txt", "1");
  testsupport::WriteFile(dir + "/two.txt", "2");
  WritePrefs(false, false);
  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
  const SendResult sent = SendWords(
      {"--timeout", "10", "TrES", "STRa", "----:fsrf=" + dir + "/one.txt", "----:fsrf=" + dir + "/two.txt"});
  EXPECT_EQ(sent.status, 0) << sent.err;
  ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));

  auto root = values::ReadPropertyListFile(UploadsFile());
  ASSERT_TRUE(root.ok()) << root.error();
  const values::Value* objects = nullptr;
  const values::Array* order = nullptr;
  ASSERT_EQ(root->GetDictionary("objects", objects), values::Lookup::kOk);
  ASSERT_EQ(root->GetArray("order", order), values::Lookup::kOk);
  EXPECT_EQ(order->size(), 2u);
  std::set<std::string> names;
  for (const auto& [key, record] : *objects->AsDictionary()) {
    std::int64_t type = 0;
    std::int64_t state = 0;
    std::string name;
    record.GetInt64("hostType", type);
    record.GetInt64("state", state);
    record.GetString("fileName", name);
    EXPECT_EQ(type, upload::kHostTypeFileHosting);
    EXPECT_EQ(state, upload::kUploadWaiting);
    names.insert(name);
  }
  EXPECT_EQ(names, (std::set<std::string>{"one.txt", "two.txt"}));
}

// Several uploads waiting at launch: each is sent once, in the waiting list's order, and
// every one ends finished. (Every start used to take the item after the head: the first
// upload never ran and finished ones were sent again.)
TEST(UploadProcess, FourWaitingUploadsAreEachSentOnce) {
  testservers::VsftpdServer server({.log_protocol = true});
  ASSERT_TRUE(server.ok());
  const std::string dir = testsupport::MakeTempDir("four");
  const std::vector<std::string> names = {"one.bin", "two.bin", "three.bin", "four.bin"};
  values::Dictionary objects;
  values::Array order;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string local = dir + "/" + names[i];
    testsupport::WriteFile(local, testsupport::RandomBytes(64 * 1024 + i, static_cast<unsigned>(i + 1)));
    upload::UploadItem item;
    item.uid = values::Uuid::Generate();
    item.name = names[i];
    item.path = local;
    item.fileAlias = *files::MakeAlias(files::FileRef(local));
    item.size = static_cast<std::int64_t>(64 * 1024 + i);
    item.hostName = "ftp://127.0.0.1:" + std::to_string(server.Port());
    item.userName = server.User();
    item.uploadPath = server.FilesDir();
    item.type = upload::kHostTypeFTP;
    values::Value record = upload::EncodeUploadItem(item);
    record.Put("pass", values::Value(server.Password()));
    objects[item.uidString()] = record;
    order.push_back(values::Value(item.uidString()));
  }
  values::Value root(
      values::Dictionary{{"objects", values::Value(objects)}, {"order", values::Value(order)}});
  auto bytes = values::WritePropertyList(root, values::PlistFormat::kXml);
  ASSERT_TRUE(bytes.ok());
  testsupport::WriteFile(UploadsFile(), std::string(bytes->begin(), bytes->end()));
  // One at a time, so that the order of the starts shows in the server's log.
  WritePreferences({{"start ul on launch", values::Value(true)},
                    {"start ul if connected", values::Value(false)},
                    {"max sim uploads", values::Value(1)}});

  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
  const auto allFinished = [&] {
    const auto states = SavedStates();
    if (states.size() != names.size()) return false;
    for (const auto& [name, state] : states) {
      if (state != upload::kUploadFinished) return false;
    }
    return true;
  };
  const auto deadline = Clock::now() + std::chrono::seconds(90);
  while (Clock::now() < deadline && !allFinished())
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(allFinished()) << ReadIfExists(program.StandardErrorFile());
  EXPECT_TRUE(program.Quit(std::chrono::seconds(30)));

  std::vector<std::string> stored;
  for (const auto& command : server.Commands()) {
    if (command.rfind("STOR ", 0) == 0 || command.rfind("APPE ", 0) == 0) stored.push_back(command.substr(5));
  }
  EXPECT_EQ(stored, names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(ReadIfExists(server.FilesDir() + "/" + names[i]), testsupport::ReadFile(dir + "/" + names[i]))
        << names[i];
  }
}

}  // namespace
