#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Every position at every depth whose count stays cheap enough for a unit test.
void checkFile(const std::string& name, uint64_t budget) {
  auto cases = readPerftFile(testDataPath(name));
  ASSERT_FALSE(cases.empty());
  for (const auto& c : cases) {
    auto board = makeBoard(c.fen);
    for (size_t d = 0; d < c.counts.size(); ++d) {
      if (c.counts[d] > budget) break;
      EXPECT_EQ(board->perftCount(int(d + 1)), c.counts[d]) << c.fen << " depth " << d + 1;
    }
  }
}

}  // namespace

TEST(Perft, StandardPositions) { checkFile("perft_standard.epd", 5'000'000); }
TEST(Perft, SuitePositions) { checkFile("perft_suite.epd", 3'000'000); }
