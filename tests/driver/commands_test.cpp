#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "driver/commands.h"
#include "driver/input.h"

TEST(Commands, HashSizeRoundsDownToAPowerOfTwo) {
  EXPECT_EQ(hashMaskForMegabytes(1), (1u << 14) - 1);
  EXPECT_EQ(hashMaskForMegabytes(3), (1u << 15) - 1);
  EXPECT_EQ(hashMaskForMegabytes(64), (1u << 20) - 1);
  EXPECT_EQ(hashMaskForMegabytes(100), (1u << 20) - 1);
  EXPECT_EQ(hashMaskForMegabytes(1L << 40), (1u << 31) - 1);  // the exponent stops at 31
  EXPECT_EQ(hashMaskForMegabytes(0), 0u);
  EXPECT_EQ(hashMaskForMegabytes(-5), 0u);
}

TEST(Commands, LevelBaseInMinutesOrMinutesAndSeconds) {
  EXPECT_DOUBLE_EQ(parseLevelBase("5"), 5.0);
  EXPECT_DOUBLE_EQ(parseLevelBase("0:30"), 0.5);
  EXPECT_DOUBLE_EQ(parseLevelBase("2:15"), 2.25);
  EXPECT_DOUBLE_EQ(parseLevelBase(""), 0.0);
}

TEST(Input, ConfigurationLinesSplitIntoAtMostTwelveWords) {
  char words[WORD_COUNT][WORD_SIZE];
  splitConfigLine("  hashsize\t64 \r\n", words);
  EXPECT_STREQ(words[0], "hashsize");
  EXPECT_STREQ(words[1], "64");
  EXPECT_STREQ(words[2], "");
  splitConfigLine("a b c d e f g h i j k l m n", words);
  EXPECT_STREQ(words[11], "l");
  splitConfigLine("egtbdir tb", words);  // no line feed at the end
  EXPECT_STREQ(words[1], "tb");
}

TEST(Input, StandardInputLines) {
  std::FILE* in = std::tmpfile();
  std::fputs("# a comment line\n  usermove   e2e4  \n\n e4 # not a comment\nlast", in);
  std::rewind(in);
  engineState = RESTING;
  ASSERT_TRUE(readCommandLine(in));
  EXPECT_EQ(engineState, uint32_t(RESTING));  // nothing but a comment
  ASSERT_TRUE(readCommandLine(in));
  EXPECT_EQ(engineState, uint32_t(PROCESSING));
  EXPECT_STREQ(commandWords[0], "usermove");
  EXPECT_STREQ(commandWords[1], "e2e4");
  engineState = RESTING;
  ASSERT_TRUE(readCommandLine(in));
  EXPECT_EQ(engineState, uint32_t(RESTING));
  ASSERT_TRUE(readCommandLine(in));
  EXPECT_STREQ(commandWords[1], "#");
  engineState = RESTING;
  ASSERT_TRUE(readCommandLine(in));  // a last line without a line feed
  EXPECT_STREQ(commandWords[0], "last");
  engineState = RESTING;
  EXPECT_FALSE(readCommandLine(in));  // then the end of input
  std::fclose(in);
}
