#include <gtest/gtest.h>

#include "board/bitboard.h"

TEST(BitScan, Placeholder) { EXPECT_EQ(firstOne(0), 64); }
