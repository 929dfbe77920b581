// Material balance with its special rules, and the draw test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "board/makemove.h"
#include "eval_helpers.h"
#include "movegen/movegen.h"

namespace {

TEST(MaterialBalance, SpecialRules) {
  const struct {
    const char* fen;
    int score, bonus;
    bool drawish;
  } cases[] = {
      {"8/8/4k3/8/8/2n5/3B4/4K3 w - - 0 1", MATERIAL_DRAW, 0, false},  // no mating material
      {"8/8/4k3/8/8/8/8/4K3 w - - 0 1", MATERIAL_DRAW, 0, false},
      // A piece more counts twice unless the other side has a queen; the bishop pair 25.
      {"8/8/4k3/8/8/8/8/R3K3 w - - 0 1", 1000, 500, false},
      {"3qk3/8/8/8/8/8/8/1N1QK3 w - - 0 1", 300, 0, false},
      {"8/8/4k3/8/8/8/4P3/4K3 w - - 0 1", 100, 0, false},
      {"1n4k1/p7/8/8/8/8/P7/2B2BK1 w - - 0 1", 302 + 302 + 25, 302, false},
      // Rook endings: an extra pawn counts 25, and they are drawish even with equal pawns.
      {"8/r7/4k3/8/4P3/8/8/3RK3 w - - 0 1", 25, 0, true},
      {"3rk3/8/8/4p3/8/4K3/R7/8 w - - 0 1", -25, 0, true},
      {"3rk3/4p3/8/8/8/4K3/4P3/R7 w - - 0 1", 0, 0, true},
      {"4k3/4p3/8/8/8/4K3/4P3/R7 w - - 0 1", 1000, 500, false},
      // Bishop and the wrong rook pawn: 50; the right bishop counts twice, plus the pawn.
      {"7k/8/8/8/8/8/P7/2B1K3 w - - 0 1", 50, 0, true},  // a-pawn, dark bishop
      {"k7/8/8/8/8/8/7P/3BK3 w - - 0 1", 50, 0, true},   // h-pawn, light bishop
      {"7k/8/8/8/8/8/P7/3BK3 w - - 0 1", 702, 301, false},
      {"5b1k/7p/8/8/8/8/8/K7 w - - 0 1", -50, 0, true},  // Black's h-pawn, dark bishop
      {"2b4k/p7/8/8/8/8/8/7K b - - 0 1", -50, 0, true},  // Black's a-pawn, light bishop
      {"5b1k/p7/8/8/8/8/8/K7 w - - 0 1", -702, -301, false},
      // Opposite bishops halve the lead; bishops of one colour do not.
      {"2b3k1/p7/8/8/8/8/PP6/2B3K1 w - - 0 1", 50, 0, true},
      {"5bk1/p7/8/8/8/8/PP6/2B3K1 w - - 0 1", 100, 0, false},
      // Pieces without pawns: rook and bishop against rook (801 - 500) x -3/4 = -225, a
      // lone minor against pawns -225.
      {"4r1k1/7p/8/8/8/8/8/2B1R1K1 w - - 0 1", 201 - 225, 0, false},
      {"4r1k1/8/8/8/8/8/8/2B1R1K1 w - - 0 1", 301 - 225, 0, false},
      {"2b1r1k1/8/8/8/8/8/7P/4R1K1 w - - 0 1", -201 + 225, 0, false},
      {"7k/7p/8/8/8/8/8/3BK3 w - - 0 1", 201 - 225, 0, false},
      {"3bk3/8/8/8/8/8/P7/7K w - - 0 1", -201 + 225, 0, false},
  };
  TestBoard b;
  for (const auto& c : cases) {
    b.setFen(c.fen);
    b.position.modeFlags |= DRAWISH_ENDING;  // left from an earlier position: rewritten
    const MaterialResult m = material(b);
    EXPECT_EQ(m.score, c.score) << c.fen;
    EXPECT_EQ(m.bonus, c.bonus) << c.fen;
    EXPECT_EQ(drawish(b), c.drawish) << c.fen;
  }
}

TEST(MaterialBalance, DrawishEndingsQuarterTheEndgameTerms) {
  TestBoard b("8/r7/4k3/8/4P3/8/8/3RK3 w - - 0 1");
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables));
  const MaterialResult m = material(b);
  ASSERT_TRUE(drawish(b));
  const int scaled = eval(b, m, WHITE);
  b.position.modeFlags &= ~DRAWISH_ENDING;
  const int unscaled = eval(b, m, WHITE);
  ASSERT_GT(std::abs(unscaled - 25), 8);  // so that quartering shows
  EXPECT_EQ(scaled - 25, (unscaled - 25) / 4);
}

TEST(MaterialBalance, DefendersPassedPawnsTakeBackThePieceBonus) {
  const FenValue cases[] = {
      {"4r1k1/5ppp/8/p7/8/8/5PPP/3NR1K1 w - - 0 1", 70},     // one passer
      {"4r1k1/5ppp/8/pp6/8/8/5PPP/3NR1K1 w - - 0 1", 140},   // two
      {"4r1k1/6pp/8/ppppp3/8/8/6PP/3NR1K1 w - - 0 1", 300},  // five, capped
  };
  for (const auto& c : cases) {
    TestBoard b(c.fen);
    ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables));
    MaterialResult m = material(b);
    ASSERT_EQ(m.bonus, 300) << c.fen;
    EXPECT_EQ(m.white, 800) << c.fen;  // piece material, without pawns
    EXPECT_EQ(m.black, -500) << c.fen;
    const int with = eval(b, m, BLACK);
    m.bonus = 0;
    EXPECT_EQ(with - eval(b, m, BLACK), -c.value) << c.fen;
  }
}

// --- drawCheck -------------------------------------------------------------------

TEST(DrawCheck, MaterialAndTheFiftyMoveRule) {
  const FenValue cases[] = {
      // K, K+N, K+N+N or K+B on each side: 13.
      {"4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1", 13},
      {"4kb2/8/8/8/8/8/8/2B1K3 w - - 0 1", 13},
      {"4k3/8/8/8/8/2n5/8/2B1K3 b - - 0 1", 13},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", 13},
      {"4k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", 0},
      {"4k3/8/8/8/8/8/8/2B1KB2 w - - 0 1", 0},
      {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", 0},
      {"4k3/8/8/8/8/8/4P3/1N2K3 w - - 0 1", 0},
      {"4k3/8/8/8/8/8/8/1NN1K1N1 w - - 0 1", 0},
      // Fifty moves at a half-move clock of 100, not 99.
      {"4k3/8/8/8/8/8/4P3/R3K3 w - - 100 80", 50},
      {"4k3/8/8/8/8/8/4P3/R3K3 w - - 99 80", 0},
  };
  TestBoard b;
  for (const auto& c : cases) {
    b.setFen(c.fen);
    EXPECT_EQ(drawCheck(0, &b.position, &b.records[0]), c.value) << c.fen;
  }
}

// The legal move of the text at ply for side.
Move findMove(TestBoard& b, int ply, int side, const char* text) {
  Move list[MAX_MOVES];
  const int n = generateLegalMoves(side, ply, list, &b.position, b.records, &b.tables);
  for (int i = 0; i < n; ++i)
    if (coordinates(list[i]) == text) return list[i];
  ADD_FAILURE() << "no move " << text;
  return 0;
}

TEST(DrawCheck, RepetitionsInTheGameAndTheSearch) {
  TestBoard b;
  const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (const char* m : cycle) b.play(findMove(b, 0, b.side, m));
  // The set-up position is in the history: this is its second occurrence.
  EXPECT_EQ(drawCheck(0, &b.position, &b.records[0]), 2);
  for (const char* m : cycle) b.play(findMove(b, 0, b.side, m));
  EXPECT_EQ(drawCheck(0, &b.position, &b.records[0]), 3);
  // The search plays the cycle once more: every position has been seen twice before, the
  // set-up three times.
  int side = b.side;
  for (int ply = 1; ply <= 4; ++ply) {
    makeMove(side, ply, findMove(b, ply - 1, side, cycle[ply - 1]), &b.position, b.records,
             &b.tables);
    side ^= 1;
    EXPECT_EQ(drawCheck(ply, &b.position, &b.records[ply]), ply == 4 ? 4 : 3) << "ply " << ply;
  }
}

// The position right after a pawn move or a capture is repeated like any other.
TEST(DrawCheck, PositionsAfterIrreversibleMovesAreRepeated) {
  TestBoard b("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 3");
  const char* cycle[] = {"g1f3", "c6b8", "f3g1", "b8c6"};
  for (int round = 1; round <= 2; ++round) {
    for (const char* m : cycle) b.play(findMove(b, 0, b.side, m));
    EXPECT_EQ(drawCheck(0, &b.position, &b.records[0]), round + 1) << round;
  }
  // After a pawn move the earlier positions are gone, the one it led to comes back.
  for (const char* m : {"d2d3", "g8f6", "c1g5", "f6g8"}) b.play(findMove(b, 0, b.side, m));
  EXPECT_EQ(drawCheck(0, &b.position, &b.records[0]), 0);
  b.play(findMove(b, 0, b.side, "g5c1"));
  EXPECT_EQ(drawCheck(0, &b.position, &b.records[0]), 2);
  b.play(findMove(b, 0, b.side, "g8f6"));
  EXPECT_EQ(drawCheck(0, &b.position, &b.records[0]), 2);
  // In the search: the position after a recapture comes back four plies later.
  int side = b.side;
  const char* line[] = {"c1g5", "h7h6", "g5f6", "d8f6", "b1c3", "f6d8", "c3b1", "d8f6"};
  for (int ply = 1; ply <= 8; ++ply) {
    makeMove(side, ply, findMove(b, ply - 1, side, line[ply - 1]), &b.position, b.records,
             &b.tables);
    side ^= 1;
  }
  EXPECT_EQ(drawCheck(8, &b.position, &b.records[8]), 2);
}

TEST(DrawCheck, ScanStaysWithinTheClockAndTheHistory) {
  TestBoard b;
  const uint64_t key = 0x123456789ULL;
  Position& p = b.position;
  auto count = [&](int ply, int reversiblePlies, int clock, std::initializer_list<int> entries) {
    for (int i = 0; i < KEY_HISTORY_SIZE; ++i) p.keyHistory[i] = uint64_t(i) + 1;
    for (int i : entries) p.keyHistory[i] = key;
    p.reversiblePlies = uint32_t(reversiblePlies);
    b.records[ply].hashKey = key;
    b.records[ply].halfMoveClock = clock;
    return drawCheck(ply, &p, &b.records[ply]);
  };
  // Ten reversible plies: the position is entry 10, with the same side to move at 8, 6, 4,
  // 2 and 0; a clock of 2 reaches back to 8, a clock of 4 to 6. Entry 9 is never compared.
  EXPECT_EQ(count(0, 10, 2, {6, 8}), 2);
  EXPECT_EQ(count(0, 10, 4, {6, 8, 9}), 3);
  EXPECT_EQ(count(0, 10, 10, {0}), 2);
  EXPECT_EQ(count(0, 10, 9, {0}), 0);
  // 120 reversible plies at ply 3: entry 123 was never stored; stepping back inside the
  // history keeps the side to move, so 99 is compared (24 plies back) and 98 not.
  EXPECT_EQ(count(3, 120, 99, {98, 99}), 2);
  EXPECT_EQ(count(3, 120, 23, {99}), 0);
}

}  // namespace
