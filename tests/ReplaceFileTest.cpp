// The one way every save reaches the disk: a temporary file beside the target, renamed
// over it once whole.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "disk/ReplaceFile.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

size_t EntriesIn(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ReplaceFile, WritesWholeOrLeavesTheOldFile) {
  test::TempDir dir;
  const fs::path target = dir.path() / "out.bin";
  test::WriteBytes(target, {1, 2, 3});
  // A temporary name someone else holds is neither reused nor truncated.
  test::WriteBytes(dir.path() / "out.bin.tmp0", {9});
  std::string error;
  EXPECT_EQ(WriteFileReplacing(target, Bytes(5000, 7), &error), ReplaceResult::Written) << error;
  EXPECT_EQ(test::ReadBytes(target), Bytes(5000, 7));
  EXPECT_EQ(test::ReadBytes(dir.path() / "out.bin.tmp0"), Bytes{9});
  EXPECT_EQ(EntriesIn(dir.path()), 2u);
  // Nothing to write (a tape on which nothing was saved) still makes the file, empty.
  EXPECT_EQ(WriteFileReplacing(dir.path() / "empty.tap", {}, &error), ReplaceResult::Written);
  EXPECT_EQ(test::ReadBytes(dir.path() / "empty.tap"), Bytes{});
  fs::remove(dir.path() / "empty.tap");

  // The file system refuses the data part way (even to root): a file size limit.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  const ReplaceResult cut = WriteFileReplacing(target, Bytes(100000, 8), &error);
  ReplacingFile streamed;
  const bool opened = streamed.Open(target, &error);
  if (opened) std::fwrite(Bytes(100000, 8).data(), 1, 100000, streamed.Stream());
  std::string commitError;
  const bool committed = opened && streamed.Commit(&commitError);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(cut, ReplaceResult::WriteFailed);
  EXPECT_TRUE(opened);
  EXPECT_FALSE(committed);
  EXPECT_FALSE(commitError.empty());
  EXPECT_EQ(test::ReadBytes(target), Bytes(5000, 7));
  EXPECT_EQ(EntriesIn(dir.path()), 2u) << "no temporary file is left behind";

  // An abandoned file leaves the target as it was.
  {
    ReplacingFile abandoned;
    ASSERT_TRUE(abandoned.Open(target, &error));
    std::fputs("half", abandoned.Stream());
  }
  EXPECT_EQ(test::ReadBytes(target), Bytes(5000, 7));
  EXPECT_EQ(EntriesIn(dir.path()), 2u);

  // Nowhere to put the temporary file: a reason, and nothing is created.
  EXPECT_EQ(WriteFileReplacing(dir.path() / "missing" / "x.bin", Bytes{1}, &error),
            ReplaceResult::CannotCreate);
  EXPECT_EQ(error, std::error_code(ENOENT, std::generic_category()).message());
  EXPECT_EQ(WriteFileReplacing(dir.path(), Bytes{1}, &error), ReplaceResult::CannotCreate);
  EXPECT_EQ(EntriesIn(dir.path()), 2u);
}

}  // namespace
}  // namespace vantrel
