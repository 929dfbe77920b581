#include <gtest/gtest.h>

#include <string>

#include "tbprobe/probe_text.h"
#include "test_support.h"

// Lines tbprobe cannot use are answered, never the end of the program (a position
// without a king would end it).
TEST(TbprobeInput, LinesWithoutUsableKingsAreNotFound) {
  TestBoard b;
  auto probe = [&](const std::string& line) {
    return probeFenLine(line, &b.position, b.records, &b.tables);
  };
  EXPECT_EQ(probe(""), "");
  EXPECT_EQ(probe("   "), "");
  EXPECT_EQ(probe("8/8/8/8/8/8/8/8 w - - 0 1"), "not found");
  EXPECT_EQ(probe("8/8/3k4/8/8/8/8/8 w"), "not found");
  // The kings stand behind a NUL byte, where the position set-up no longer reads.
  EXPECT_EQ(probe(std::string("\0\0" "8/8/3k4/8/8/8/3P4/3K4 w - - 0 1", 33)), "not found");
  EXPECT_EQ(probe(std::string("8/8/3\0k4/8/8/8/3P4/3K4 w", 24)), "not found");
  // Kings off the board are refused by the set-up.
  EXPECT_EQ(probe("8/8/8/8/8/8/8/8/Kk w"), "not found");
  EXPECT_EQ(probe("88Kk/8/8/8/8/8/8/8 w"), "not found");
  // No tables are registered here: a legal position is not found either.
  EXPECT_EQ(probe("8/8/3k4/8/8/8/3P4/3K4 w - - 0 1"), "not found");
}
