// The partial package of a file arriving from a peer: what "fileInfo" may hold, the names a
// sender can give, writing across the two forks, and completion into the user's folder.
#include "app/sharing/received/partial_received_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/values/plist.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace sharing;

constexpr char kUUID[] = "68753A44-4D6F-1226-9C60-0050E4C00067";

std::string Plist(const values::Dictionary& d) {
  auto bytes = values::WritePropertyList(values::Value(d), values::PlistFormat::kXml);
  return std::string(bytes->begin(), bytes->end());
}

values::Value I(std::int64_t n) {
  return values::Value(values::Number::Int64(n));
}

TEST(PartialFileInfo, OnlyASoundFileInfoIsRead) {
  const struct {
    const char* what;
    std::string bytes;
    bool read;
  } cases[] = {
      {"complete",
       Plist({{"name", "a"}, {"file size", I(10)}, {"downloaded bytes", I(4)}, {"rfile size", I(2)}}), true},
      {"no resource size", Plist({{"file size", I(10)}, {"downloaded bytes", I(10)}}), true},
      {"no downloaded bytes", Plist({{"file size", I(10)}}), false},
      {"no file size", Plist({{"downloaded bytes", I(0)}}), false},
      {"negative size", Plist({{"file size", I(-1)}, {"downloaded bytes", I(0)}}), false},
      {"downloaded past the end", Plist({{"file size", I(10)}, {"downloaded bytes", I(11)}}), false},
      {"sizes that overflow together",
       Plist({{"file size", I(INT64_MAX)}, {"rfile size", I(INT64_MAX)}, {"downloaded bytes", I(0)}}), false},
      {"size as text", Plist({{"file size", "10"}, {"downloaded bytes", I(0)}}), false},
      {"not a dictionary", "<?xml version=\"1.0\"?><plist><array/></plist>", false},
      {"garbage", "<plist><dict><key>file size", false},
      {"too large", std::string(kMaxFileInfoBytes + 1, ' '), false},
  };
  for (const auto& c : cases) EXPECT_EQ(ParsePartialFileInfo(c.bytes).has_value(), c.read) << c.what;
  const auto info = ParsePartialFileInfo(cases[0].bytes);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->total(), 12);
  EXPECT_EQ(info->downloaded, 4);
  EXPECT_EQ(info->name, "a");
}

TEST(PartialFileInfo, NamesNeverLeaveTheFolder) {
  const struct {
    const char* sent;
    const char* kept;
  } names[] = {
      {"report.pdf", "report.pdf"},
      {"../../etc/passwd", "..:..:etc:passwd"},
      {"/etc/passwd", ":etc:passwd"},
      {"..", "Untitled"},
      {".", "Untitled"},
      {"", "Untitled"},
      {"a\r\nX-Evil: 1", "aX-Evil: 1"},
      {"sub/../..", "sub:..:.."},
  };
  for (const auto& n : names) {
    const std::string kept = ReceivedFileNameFrom(n.sent);
    EXPECT_EQ(kept, n.kept) << n.sent;
    EXPECT_TRUE(IsPlainPathComponent(kept)) << n.sent;
  }
  const fs::path folder = "/tmp/received";
  for (const char* user : {"..", ".", "", "a/b", "x/../.."})
    EXPECT_FALSE(PartialFolderPath(folder, user, kUUID));
  for (const char* uuid : {"../x", "not-a-uuid", "", "68753A44-4D6F-1226-9C60-0050E4C0006/"})
    EXPECT_FALSE(PartialFolderPath(folder, "bob", uuid)) << uuid;
  EXPECT_EQ(*PartialFolderPath(folder, "bob", "68753a44-4d6f-1226-9c60-0050e4c00067"),
            folder / "bob" / (std::string(kUUID) + ".partial"));
}

// A long name keeps its last 255 bytes, cut where a character starts, and bytes that are
// not UTF-8 are read as Latin-1: the name is always text the uploads file can hold.
TEST(PartialFileInfo, LongAndForeignNamesStayText) {
  const std::string e = "\xc3\xa9";  // é, two bytes
  struct Case {
    std::string sent;
    std::string kept;
  };
  const Case cases[] = {
      {std::string(300, 'a') + e, std::string(253, 'a') + e},
      {"x" +
           [&] {
             std::string s;
             for (int i = 0; i < 200; ++i) s += e;
             return s;
           }(),
       [&] {
         std::string s;
         for (int i = 0; i < 127; ++i) s += e;
         return s;
       }()},
      {"caf\xe9.txt", "caf" + e + ".txt"},
  };
  for (const Case& c : cases) {
    const std::string kept = ReceivedFileNameFrom(c.sent);
    EXPECT_EQ(kept, c.kept) << c.sent.size();
    EXPECT_LE(kept.size(), 255u);
    EXPECT_TRUE(values::WritePropertyList(values::Value(kept), values::PlistFormat::kXml).ok())
        << c.sent.size();
  }
}

// A link planted as the user's folder under the received files is not followed: the
// package is not made, and nothing lands where the link points.
TEST(PartialFileInfo, LinkInPlaceOfTheUsersFolderIsNotFollowed) {
  const fs::path folder = testsupport::MakeTempDir("received");
  const fs::path outside = testsupport::MakeTempDir("outside");
  fs::create_directory_symlink(outside, folder / "bob");
  EXPECT_FALSE(CreatePartialReceivedFile(folder, "bob", kUUID, "x", 1, 0, {}));
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_TRUE(CreatePartialReceivedFile(folder, "ann", kUUID, "x", 1, 0, {}));
}

TEST(PartialFileInfo, ResumedAcrossTheForksAndCompletedUnderAFreeName) {
  const fs::path folder = testsupport::MakeTempDir("received");
  const std::string rsrc = testsupport::RandomBytes(1000, 1);
  const std::string data = testsupport::RandomBytes(70000, 2);
  const std::string stream = rsrc + data;
  ASSERT_TRUE(CreatePartialReceivedFile(
      folder, "bob", kUUID, "report.pdf", static_cast<std::int64_t>(data.size()),
      static_cast<std::int64_t>(rsrc.size()), {{"mode", I(0104755)}, {"modified", values::Value(0.0)}}));
  // The same UUID again: the package is not made twice.
  EXPECT_FALSE(CreatePartialReceivedFile(folder, "bob", kUUID, "x", 1, 0, {}));
  auto info = ReadPartialFileInfo(folder, "bob", kUUID);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->downloaded, 0);
  const fs::path package = *PartialFolderPath(folder, "bob", kUUID);

  // Cut inside the resource fork, then resumed; more bytes than the stream holds are cut off.
  for (const auto& [from, to] : {std::pair<std::size_t, std::size_t>{0, 600}, {600, stream.size()}}) {
    PartialFileWriter writer(package, *info);
    ASSERT_TRUE(writer.Open(static_cast<std::int64_t>(from)));
    const std::string piece = stream.substr(from, to - from) + (to == stream.size() ? "extra" : "");
    EXPECT_EQ(writer.Write(piece.data(), piece.size()), static_cast<std::int64_t>(to - from));
    info->downloaded = writer.position();
    ASSERT_TRUE(UpdatePartialFileInfo(folder, "bob", kUUID, *info));
    info = ReadPartialFileInfo(folder, "bob", kUUID);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->downloaded, static_cast<std::int64_t>(to));
  }

  testsupport::WriteFile((folder / "bob" / "report.pdf").string(), "taken");
  const auto done = CompletePartialReceivedFile(folder, "bob", kUUID, *info);
  ASSERT_TRUE(done);
  EXPECT_EQ(*done, folder / "bob" / "report.1.pdf");
  EXPECT_EQ(testsupport::ReadFile(done->string()), data);
  EXPECT_FALSE(fs::exists(package));
  // Permission bits only: never a set-user-ID file from a peer.
  EXPECT_EQ(fs::status(*done).permissions(), fs::perms(0755));
}

// The sender's mode is taken for what it says of reading and running, never to let others
// change the file nor to keep its owner out of it.
TEST(PartialFileInfo, ReceivedFileKeepsItsOwnersRightsAndNoOneElsesWrite) {
  const struct {
    std::int64_t sent;
    unsigned kept;
  } cases[] = {
      {0644, 0644}, {0755, 0755}, {0777, 0755},    {0666, 0644}, {0000, 0600},
      {0400, 0600}, {0100, 0700}, {0104755, 0755}, {0602, 0600}, {0460, 0640},
  };
  const fs::path folder = testsupport::MakeTempDir("received");
  for (const auto& c : cases) {
    ASSERT_TRUE(CreatePartialReceivedFile(folder, "bob", kUUID, "moded.txt", 1, 0, {{"mode", I(c.sent)}}));
    auto info = ReadPartialFileInfo(folder, "bob", kUUID);
    ASSERT_TRUE(info);
    {
      PartialFileWriter writer(*PartialFolderPath(folder, "bob", kUUID), *info);
      ASSERT_TRUE(writer.Open(0));
      ASSERT_EQ(writer.Write("x", 1), 1);
      info->downloaded = writer.position();
    }
    const auto done = CompletePartialReceivedFile(folder, "bob", kUUID, *info);
    ASSERT_TRUE(done);
    EXPECT_EQ(fs::status(*done).permissions(), fs::perms(c.kept)) << std::oct << c.sent;
    fs::remove(*done);
  }
}

TEST(PartialFileInfo, ForkPositions) {
  PartialFileInfo info;
  info.rsrcSize = 100;
  info.dataSize = 50;
  EXPECT_FALSE(ForkPositionOf(info, 99).dataFork);
  EXPECT_EQ(ForkPositionOf(info, 99).offset, 99);
  EXPECT_TRUE(ForkPositionOf(info, 100).dataFork);
  EXPECT_EQ(ForkPositionOf(info, 130).offset, 30);
}

}  // namespace
