#include "platform/files/file_handle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "platform/files/create_items.h"
#include "tests/platform/files/small_tmpfs.h"
#include "tests/support/fifo_in_place.h"
#include "tests/support/temp_home.h"

using namespace files;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

}  // namespace

TEST(FileHandle, WritesAndReadsAtOffsets) {
  const FileRef file(testsupport::MakeTempDir() + "/data");
  auto h = FileHandle::Open(file, kOpenReadWrite | kOpenCreate);
  ASSERT_TRUE(h.ok()) << h.status().Describe();
  ASSERT_TRUE(h->WriteAt(6, Bytes("world")).ok());
  ASSERT_TRUE(h->WriteAt(0, Bytes("hello ")).ok());
  std::vector<std::uint8_t> buffer(32);
  auto n = h->ReadAt(3, buffer);
  ASSERT_TRUE(n.ok());
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + *n), "lo world");
  auto past_end = h->ReadAt(100, buffer);
  ASSERT_TRUE(past_end.ok());
  EXPECT_EQ(*past_end, 0u);
  ASSERT_TRUE(h->Truncate(5).ok());
  EXPECT_EQ(*h->Size(), 5u);
  EXPECT_TRUE(h->Sync().ok());
  EXPECT_TRUE(h->Close().ok());
  EXPECT_EQ(testsupport::ReadFile(file.Path()), "hello");
}

TEST(FileHandle, OpenFailuresCarryTheirCodes) {
  const std::string dir = testsupport::MakeTempDir();
  testsupport::WriteFile(dir + "/taken", "x");
  EXPECT_EQ(FileHandle::Open(FileRef(dir + "/missing"), kOpenRead).code(), fnfErr);
  EXPECT_EQ(FileHandle::Open(FileRef(dir + "/taken"), kOpenWrite | kOpenCreate | kOpenExclusive).code(),
            dupFNErr);
  EXPECT_EQ(FileHandle::Open(FileRef(dir), kOpenWrite).code(), notAFileErr);
  EXPECT_EQ(FileHandle::Open(FileRef(dir + "/taken/below"), kOpenRead).code(), dirNFErr);
}

// A FIFO, a socket or a device where a file belongs is refused at once, never waited on.
TEST(FileHandle, OnlyRegularFilesOpenAndNothingElseIsWaitedOn) {
  const std::string dir = testsupport::MakeTempDir();
  const std::string fifo = dir + "/fifo";
  ASSERT_TRUE(testsupport::MakeFifo(fifo));
  for (unsigned flags : {unsigned{kOpenRead}, unsigned{kOpenWrite}, unsigned{kOpenReadWrite}}) {
    EXPECT_TRUE(testsupport::ReturnsWithoutWaiting(fifo, [&] {
      const auto handle = FileHandle::Open(FileRef(fifo), flags);
      EXPECT_FALSE(handle.ok()) << flags;
      // Opening a FIFO for writing alone fails earlier, with a code of its own.
      if (flags == kOpenWrite) return;
      EXPECT_EQ(handle.code(), notAFileErr) << flags;
    })) << flags;
  }
  EXPECT_TRUE(testsupport::ReturnsWithoutWaiting(
      fifo, [&] { EXPECT_EQ(ReadFileContents(FileRef(fifo), 1024).code(), notAFileErr); }));
  EXPECT_EQ(FileHandle::Open(FileRef("/dev/null"), kOpenRead).code(), notAFileErr);
}

// A link planted in place of a file the program writes is not followed: its target keeps
// its bytes. Reading through a link the user made still works.
TEST(FileHandle, WritingNeverFollowsALinkInTheFilesPlace) {
  const std::string dir = testsupport::MakeTempDir();
  testsupport::WriteFile(dir + "/target", "precious");
  ASSERT_EQ(::symlink((dir + "/target").c_str(), (dir + "/planted").c_str()), 0);
  for (unsigned flags : {unsigned{kOpenWrite}, unsigned{kOpenReadWrite}, unsigned{kOpenWrite | kOpenCreate},
                         unsigned{kOpenWrite | kOpenTruncate}}) {
    auto h = FileHandle::Open(FileRef(dir + "/planted"), flags);
    EXPECT_FALSE(h.ok()) << flags;
  }
  EXPECT_EQ(testsupport::ReadFile(dir + "/target"), "precious");
  EXPECT_TRUE(FileHandle::Open(FileRef(dir + "/planted"), kOpenRead).ok());
}

TEST(FileHandle, AllocateReservesWithoutChangingContents) {
  const FileRef file(testsupport::MakeTempDir() + "/big");
  auto h = FileHandle::Open(file, kOpenReadWrite | kOpenCreate);
  ASSERT_TRUE(h.ok());
  ASSERT_TRUE(h->WriteAt(0, Bytes("abc")).ok());
  auto r = h->Allocate(0, 1 << 20);
  ASSERT_TRUE(r.ok()) << r.status().Describe();
  EXPECT_EQ(*h->Size(), 1u << 20);
  std::vector<std::uint8_t> head(3);
  ASSERT_TRUE(h->ReadAt(0, head).ok());
  EXPECT_EQ(std::string(head.begin(), head.end()), "abc");
  if (*r != AllocateResult::kAllocated) GTEST_SKIP() << "this file system reserves no blocks ahead";
  EXPECT_GE(h->Info()->allocated_size, 1u << 20);
}

TEST(FileHandle, FullDiskIsDskFulErr) {
  testsupport::SmallTmpfs fs("64k");
  TRUVANE_REQUIRE_TMPFS(fs);
  auto h = FileHandle::Open(FileRef(fs.path() + "/fill"), kOpenReadWrite | kOpenCreate);
  ASSERT_TRUE(h.ok());
  const std::vector<std::uint8_t> chunk(256 * 1024, 0x5A);
  const Status s = h->WriteAt(0, chunk);
  EXPECT_EQ(s.code(), dskFulErr) << s.Describe();
  auto big = FileHandle::Open(FileRef(fs.path() + "/reserve"), kOpenReadWrite | kOpenCreate);
  ASSERT_TRUE(big.ok());
  EXPECT_EQ(big->Allocate(0, 1 << 20).code(), dskFulErr);
}

TEST(WholeFile, ReadIsCapped) {
  const std::string dir = testsupport::MakeTempDir();
  ASSERT_TRUE(WriteFileContents(FileRef(dir + "/f"), Bytes("0123456789")).ok());
  EXPECT_EQ(ReadFileContents(FileRef(dir + "/f"), 9).code(), memFullErr);
  auto all = ReadFileContents(FileRef(dir + "/f"), 10);
  ASSERT_TRUE(all.ok());
  EXPECT_EQ(std::string(all->begin(), all->end()), "0123456789");
}

TEST(CreateItems, TakenNamesAreRefused) {
  const std::string dir = testsupport::MakeTempDir();
  EXPECT_TRUE(CreateFile(FileRef(dir + "/f")).ok());
  EXPECT_EQ(CreateFile(FileRef(dir + "/f")).code(), dupFNErr);
  EXPECT_EQ(CreateFolder(FileRef(dir + "/f")).code(), dupFNErr);
  EXPECT_EQ(CreateFolder(FileRef(dir + "/f"), true).code(), dupFNErr);
  EXPECT_EQ(CreateFolder(FileRef(dir + "/a/b")).code(), fnfErr);
  EXPECT_TRUE(CreateFolder(FileRef(dir + "/a/b/c"), true).ok());
  EXPECT_TRUE(CreateFolder(FileRef(dir + "/a/b/c"), true).ok());
  EXPECT_TRUE(IsFolder(FileRef(dir + "/a/b/c")));
}
