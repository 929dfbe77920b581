#include "support/replacefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "scratch.h"

namespace {

class Replacement : public ScratchTest {};

}  // namespace

TEST_F(Replacement, TargetChangesOnlyAtTheCommit) {
  const std::string target = (dir / "book.bin").string();
  std::ofstream(target) << "old";
  chmod(target.c_str(), 0640);
  ReplacementFile r;
  ASSERT_NE(beginReplacement(target.c_str(), &r), nullptr);
  std::fputs("new contents", r.file);
  EXPECT_EQ(readWhole(target), "old");  // written so far only beside it
  ASSERT_TRUE(commitReplacement(&r));
  EXPECT_EQ(readWhole(target), "new contents");
  struct stat s;
  ASSERT_EQ(stat(target.c_str(), &s), 0);
  EXPECT_EQ(s.st_mode & 0777, 0640u);  // the old file's permissions
  EXPECT_FALSE(fs::exists(target + REPLACEMENT_SUFFIX));

  ASSERT_NE(beginReplacement(target.c_str(), &r), nullptr);
  std::fputs("abandoned", r.file);
  abandonReplacement(&r);
  EXPECT_EQ(readWhole(target), "new contents");
  EXPECT_FALSE(fs::exists(target + REPLACEMENT_SUFFIX));

  // A new file; and a directory that does not exist.
  const std::string fresh = (dir / "fresh").string();
  ASSERT_NE(beginReplacement(fresh.c_str(), &r), nullptr);
  ASSERT_TRUE(commitReplacement(&r));
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_EQ(beginReplacement((dir / "no" / "such").c_str(), &r), nullptr);
}

// A disk that fills up while the file is written: the commit fails and the target keeps
// its old contents. (A file-size limit stands in for the full disk.)
TEST_F(Replacement, FullDiskLeavesTheTargetWhole) {
  const std::string target = (dir / "table").string();
  std::ofstream(target) << "old table";
  int status = -1;
  inChild(
      [&] {
        limitFileSize(4096);
        ReplacementFile r;
        if (!beginReplacement(target.c_str(), &r)) _exit(2);
        const std::string block(1000, 'x');
        for (int i = 0; i < 10; ++i) std::fwrite(block.data(), 1, block.size(), r.file);
        _exit(commitReplacement(&r) ? 1 : 0);
      },
      &status);
  EXPECT_EQ(status, 0);  // the commit failed
  EXPECT_EQ(readWhole(target), "old table");
  EXPECT_FALSE(fs::exists(target + REPLACEMENT_SUFFIX));
}
