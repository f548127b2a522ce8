#include "platform/files/splice_pipe.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/platform/files/small_tmpfs.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

using namespace files;

namespace {

// Puts `bytes` into the pipe as a socket splice would, and tells the pipe.
void Fill(SplicePipe& pipe, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(pipe.WriteDescriptor(), bytes.data() + done, bytes.size() - done);
    ASSERT_GT(n, 0);
    done += static_cast<std::size_t>(n);
  }
  pipe.NoteFilled(bytes.size());
}

FileHandle OpenFile(const std::string& path, unsigned extra = 0) {
  auto h = FileHandle::Open(FileRef(path), kOpenReadWrite | kOpenCreate | extra);
  EXPECT_TRUE(h.ok()) << h.status().Describe();
  return std::move(h).value();
}

}  // namespace

// Pieces land at their own offsets, in any order, byte for byte; a gap before a piece
// stays a hole of zeros.
TEST(SplicePipe, MovesEachPieceToItsOffset) {
  auto pipe = SplicePipe::Create();
  ASSERT_TRUE(pipe);
  ASSERT_GE(pipe->Capacity(), 65536u);
  const std::string content = testsupport::RandomBytes(300000, 7);
  const std::string path = testsupport::MakeTempDir() + "/data";
  FileHandle file = OpenFile(path);
  struct Piece {
    std::size_t offset, length;
  };
  for (const Piece p : {Piece{200000, 100000}, Piece{1000, 60000}, Piece{61000, 139000}}) {
    SCOPED_TRACE(p.offset);
    // A piece larger than the pipe goes in turns, as a reader splices it.
    for (std::size_t at = p.offset; at < p.offset + p.length;) {
      const std::size_t n = std::min(p.offset + p.length - at, std::size_t{50000});
      Fill(*pipe, content.substr(at, n));
      ASSERT_TRUE(pipe->MoveToFile(file, at, n).ok());
      EXPECT_EQ(pipe->Held(), 0u);
      at += n;
    }
  }
  const std::string written = testsupport::ReadFile(path);
  ASSERT_EQ(written.size(), content.size());
  EXPECT_EQ(written.substr(0, 1000), std::string(1000, '\0'));
  EXPECT_TRUE(written.substr(1000) == content.substr(1000));
}

TEST(SplicePipe, RefusalsAndTheWayBackIntoMemory) {
  auto pipe = SplicePipe::Create();
  ASSERT_TRUE(pipe);
  const std::string dir = testsupport::MakeTempDir();
  const std::string bytes = testsupport::RandomBytes(10000, 3);
  Fill(*pipe, bytes);

  // More than the pipe holds is a caller's mistake, not a wait.
  FileHandle file = OpenFile(dir + "/data");
  EXPECT_EQ(pipe->MoveToFile(file, 0, bytes.size() + 1).code(), paramErr);
  EXPECT_EQ(pipe->Held(), bytes.size());

  // An append-only file takes no positioned splice: nothing moves, and the bytes come back
  // out in order for an ordinary write.
  FileHandle appending = OpenFile(dir + "/log", kOpenAppend);
  const Status refused = pipe->MoveToFile(appending, 0, bytes.size());
  EXPECT_EQ(refused.sys_errno(), EINVAL) << refused.Describe();
  EXPECT_EQ(pipe->Held(), bytes.size());
  std::vector<std::uint8_t> out(4000);
  auto first = pipe->ReadOut(out);
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(*first)),
            bytes.substr(0, *first));
  EXPECT_EQ(pipe->Held(), bytes.size() - *first);

  // Discard leaves nothing for the next use.
  pipe->Discard();
  EXPECT_EQ(pipe->Held(), 0u);
  Fill(*pipe, "next");
  ASSERT_TRUE(pipe->MoveToFile(file, 0, 4).ok());
  EXPECT_EQ(testsupport::ReadFile(dir + "/data"), "next");
}

TEST(SplicePipe, AFullDiskIsDiskFull) {
  testsupport::SmallTmpfs disk("64k");
  TRUVANE_REQUIRE_TMPFS(disk);
  auto pipe = SplicePipe::Create();
  ASSERT_TRUE(pipe);
  FileHandle file = OpenFile(disk.path() + "/data");
  const std::string bytes = testsupport::RandomBytes(200000, 5);
  Status st;
  for (std::size_t at = 0; at < bytes.size() && st.ok(); at += 50000) {
    Fill(*pipe, bytes.substr(at, 50000));
    st = pipe->MoveToFile(file, at, 50000);
  }
  EXPECT_EQ(st.code(), dskFulErr) << st.Describe();
  pipe->Discard();
  EXPECT_EQ(pipe->Held(), 0u);
}
