#include <gtest/gtest.h>

#include "board/bitboard.h"
#include "test_support.h"

namespace {
Bitboard squares(std::initializer_list<int> list) {
  Bitboard b = 0;
  for (int sq : list) b |= Bitboard(1) << sq;
  return b;
}
}  // namespace

TEST(BitScan, IntrinsicsAgreeWithTheChunkedTables) {
  initBitScanTables();
  EXPECT_EQ(constantTables.lowBitTable[0], 16);
  EXPECT_EQ(constantTables.highBitTable[0], 16);
  EXPECT_EQ(firstOne(0), 64);
  EXPECT_EQ(lastOne(0), 64);
  EXPECT_EQ(firstOneByTable(0), 64);
  EXPECT_EQ(lastOneByTable(0), 64);
  EXPECT_EQ(firstOne(squareMask[H8]), 63);
  EXPECT_EQ(lastOne(squareMask[H8]), 63);
  EXPECT_EQ(firstOne(squareMask[A1]), 0);
  EXPECT_EQ(lastOne(squareMask[A1]), 0);
  uint64_t x = 0x9E3779B97F4A7C15ULL;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    Bitboard b = x & (x >> (i % 64));  // sparse and dense boards
    ASSERT_EQ(firstOne(b), firstOneByTable(b)) << b;
    ASSERT_EQ(lastOne(b), lastOneByTable(b)) << b;
    int count = 0;
    for (Bitboard c = b; c; c &= c - 1) ++count;
    ASSERT_EQ(popCount(b), count);
  }
}

TEST(Random, ParkMillerFromTheHashSeed) {
  // Park-Miller minimal standard from 11141957, two steps per random32.
  const int64_t m = 2147483647;
  int64_t s1 = (11141957LL * 16807) % m, s2 = (s1 * 16807) % m;
  int64_t s3 = (s2 * 16807) % m, s4 = (s3 * 16807) % m;
  seedRandom(11141957);
  EXPECT_EQ(random32(), uint32_t(s1 + s2));
  seedRandom(11141957);
  EXPECT_EQ(random64(), uint64_t(uint32_t(s1 + s2)) | uint64_t(uint32_t(s3 + s4)) << 32);
}

TEST(Tables, SlidingAttacksThroughRotatedBoards) {
  TestBoard board("4k3/8/8/8/8/8/3PP3/1n2K1N1 w - - 0 1");  // e1 with b1, g1 on its rank
  const Position& p = board.position;
  EXPECT_EQ(rankAttacksOf(E1, p.whitePieces | p.blackPieces), squares({B1, C1, D1, F1, G1}));
  TestBoard start;
  EXPECT_EQ(bishopAttacks(start.position, C1), squares({B2, D2}));
  EXPECT_EQ(rookAttacks(start.position, A1), squares({A2, B1}));
  // Every sliding lookup agrees with a plain ray walk on random occupancies.
  uint64_t x = 88172645463325252ULL;
  for (int i = 0; i < 2000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    Occupancy occ{0, 0, 0, 0};
    for (int sq = 0; sq < 64; ++sq)
      if ((x >> sq) & (x >> ((sq * 7) % 64)) & 1) occ.toggle(sq);
    for (int sq = 0; sq < 64; ++sq) {
      if (occ.normal >> sq & 1) continue;
      Bitboard rook = 0, bishop = 0;
      const int steps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
      for (int d = 0; d < 8; ++d) {
        for (int f = fileOf(sq) + steps[d][0], r = rankOf(sq) + steps[d][1];
             f >= 0 && f < 8 && r >= 0 && r < 8; f += steps[d][0], r += steps[d][1]) {
          (d < 4 ? rook : bishop) |= squareMask[r * 8 + f];
          if (occ.normal >> (r * 8 + f) & 1) break;
        }
      }
      ASSERT_EQ(rookAttacksOf(sq, occ), rook) << sq;
      ASSERT_EQ(bishopAttacksOf(sq, occ), bishop) << sq;
    }
  }
}

TEST(Tables, LeapersMasksAndDirections) {
  TestBoard board;
  const BoardTables& t = board.tables;
  EXPECT_EQ(t.knightAttacks[A1], squares({B3, C2}));
  EXPECT_EQ(popCount(t.kingDistanceTwo[A1]), 9);
  EXPECT_EQ(popCount(t.kingAttacks[E4]), 8);
  EXPECT_EQ(t.whitePawnAttacks[E2], squares({D3, F3}));
  EXPECT_EQ(t.whitePawnAttacks[E8], 0u);
  EXPECT_EQ(t.blackPawnAttacks[A7], squares({B6}));
  EXPECT_EQ(t.direction[A1][H8], 9);
  EXPECT_EQ(t.direction[H8][A1], -9);
  EXPECT_EQ(t.direction[A1][B3], 0);
  EXPECT_EQ(t.direction[E4][E4], 0);
  EXPECT_EQ(t.direction[H1][A8], 7);
  EXPECT_EQ(t.darkSquares & squareMask[A1], squareMask[A1]);
  EXPECT_EQ(t.adjacentFilesAbove[E4] & squareMask[D5], squareMask[D5]);
  EXPECT_EQ(t.adjacentFilesAbove[E4] & squareMask[E5], 0u);
  EXPECT_EQ(squaresBetween(A1, D4), squares({B2, C3}));
  EXPECT_EQ(squaresBetween(A1, B3), 0u);
}
