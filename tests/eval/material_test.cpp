// Material balance with its special rules, and the draw test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "board/makemove.h"
#include "eval_helpers.h"
#include "movegen/movegen.h"

namespace {

int materialOf(const char* fen, bool* isDrawish = nullptr) {
  TestBoard b(fen);
  const int score = material(b).score;
  if (isDrawish) *isDrawish = drawish(b);
  return score;
}

TEST(MaterialBalance, NobodyCanMateWithAtMostOneMinorAndNoPawns) {
  EXPECT_EQ(materialOf("8/8/4k3/8/8/2n5/3B4/4K3 w - - 0 1"), MATERIAL_DRAW);  // KB v KN
  EXPECT_EQ(materialOf("8/8/4k3/8/8/8/8/4K3 w - - 0 1"), MATERIAL_DRAW);
  EXPECT_EQ(materialOf("8/8/4k3/8/8/8/8/1N2K3 b - - 0 1"), MATERIAL_DRAW);
  // A rook more is a win: counted twice through the piece-advantage bonus.
  EXPECT_EQ(materialOf("8/8/4k3/8/8/8/8/R3K3 w - - 0 1"), 1000);
  EXPECT_EQ(materialOf("8/8/4k3/8/8/8/4P3/4K3 w - - 0 1"), 100);
}

TEST(MaterialBalance, RookEndingsShrinkAPawnAndAreDrawish) {
  bool flag = false;
  EXPECT_EQ(materialOf("8/r7/4k3/8/4P3/8/8/3RK3 w - - 0 1", &flag), 25);
  EXPECT_TRUE(flag);
  EXPECT_EQ(materialOf("3rk3/8/8/4p3/8/4K3/R7/8 w - - 0 1", &flag), -25);
  EXPECT_TRUE(flag);
  EXPECT_EQ(materialOf("3rk3/4p3/8/8/8/4K3/4P3/R7 w - - 0 1", &flag), 0);
  EXPECT_TRUE(flag);
  // The flag is rewritten by the next call.
  EXPECT_EQ(materialOf("4k3/4p3/8/8/8/4K3/4P3/R7 w - - 0 1", &flag), 1000);
  EXPECT_FALSE(flag);
}

TEST(MaterialBalance, RookEndingQuartersTheEndgameTerms) {
  TestBoard b("8/r7/4k3/8/4P3/8/8/3RK3 w - - 0 1");
  loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables);
  MaterialResult m = material(b);
  ASSERT_TRUE(drawish(b));
  const int scaled = evaluate(WHITE, 1, &b.position, b.records, &b.tables, m.score, m.white,
                              m.black, -INFINITE_SCORE, m.bonus);
  b.position.modeFlags &= ~DRAWISH_ENDING;
  const int unscaled = evaluate(WHITE, 1, &b.position, b.records, &b.tables, m.score, m.white,
                                m.black, -INFINITE_SCORE, m.bonus);
  ASSERT_GT(std::abs(unscaled - 25), 8);  // so that quartering shows
  EXPECT_EQ(scaled - 25, (unscaled - 25) / 4);
}

TEST(MaterialBalance, WrongRookPawnIsWorthFifty) {
  bool flag = false;
  EXPECT_EQ(materialOf("7k/8/8/8/8/8/P7/2B1K3 w - - 0 1", &flag), 50);  // a-pawn, dark bishop
  EXPECT_TRUE(flag);
  EXPECT_EQ(materialOf("k7/8/8/8/8/8/7P/3BK3 w - - 0 1", &flag), 50);  // h-pawn, light bishop
  EXPECT_TRUE(flag);
  // The right bishop: a bishop more counted twice, plus the pawn.
  EXPECT_EQ(materialOf("7k/8/8/8/8/8/P7/3BK3 w - - 0 1", &flag), 702);
  EXPECT_FALSE(flag);
  // Black: h-pawn with a dark bishop, a-pawn with a light bishop.
  EXPECT_EQ(materialOf("5b1k/7p/8/8/8/8/8/K7 w - - 0 1", &flag), -50);
  EXPECT_TRUE(flag);
  EXPECT_EQ(materialOf("2b4k/p7/8/8/8/8/8/7K b - - 0 1", &flag), -50);
  EXPECT_TRUE(flag);
  EXPECT_EQ(materialOf("5b1k/p7/8/8/8/8/8/K7 w - - 0 1", &flag), -702);
}

TEST(MaterialBalance, OppositeBishopsHalveTheLead) {
  bool flag = false;
  EXPECT_EQ(materialOf("2b3k1/p7/8/8/8/8/PP6/2B3K1 w - - 0 1", &flag), 50);
  EXPECT_TRUE(flag);
  EXPECT_EQ(materialOf("5bk1/p7/8/8/8/8/PP6/2B3K1 w - - 0 1", &flag), 100);
  EXPECT_FALSE(flag);
}

TEST(MaterialBalance, PiecesWithoutPawns) {
  // Rook and bishop against rook, no White pawns: (801 - 500) * -3 / 4 = -225.
  EXPECT_EQ(materialOf("4r1k1/7p/8/8/8/8/8/2B1R1K1 w - - 0 1"), 201 - 225);
  EXPECT_EQ(materialOf("4r1k1/8/8/8/8/8/8/2B1R1K1 w - - 0 1"), 301 - 225);
  EXPECT_EQ(materialOf("2b1r1k1/8/8/8/8/8/7P/4R1K1 w - - 0 1"), -201 + 225);
  // A lone minor without pawns against pawns.
  EXPECT_EQ(materialOf("7k/7p/8/8/8/8/8/3BK3 w - - 0 1"), 201 - 225);
  EXPECT_EQ(materialOf("3bk3/8/8/8/8/8/P7/7K w - - 0 1"), -201 + 225);
}

TEST(MaterialBalance, BishopPairAndPieceAdvantage) {
  TestBoard b("1n4k1/p7/8/8/8/8/P7/2B2BK1 w - - 0 1");
  MaterialResult m = material(b);
  EXPECT_EQ(m.score, 302 + 302 + 25);
  EXPECT_EQ(m.bonus, 302);
  EXPECT_EQ(m.white, 602);
  EXPECT_EQ(m.black, -300);
  // A knight up with queens on both sides: no bonus.
  b.setFen("3qk3/8/8/8/8/8/8/1N1QK3 w - - 0 1");
  m = material(b);
  EXPECT_EQ(m.score, 300);
  EXPECT_EQ(m.bonus, 0);
}

TEST(MaterialBalance, DefendersPassedPawnsTakeBackThePieceBonus) {
  struct Case {
    const char* fen;
    int takeBack;
  } cases[] = {
      {"4r1k1/5ppp/8/p7/8/8/5PPP/3NR1K1 w - - 0 1", 70},          // one passer
      {"4r1k1/5ppp/8/pp6/8/8/5PPP/3NR1K1 w - - 0 1", 140},        // two
      {"4r1k1/6pp/8/ppppp3/8/8/6PP/3NR1K1 w - - 0 1", 300},       // five, capped
  };
  for (const Case& c : cases) {
    TestBoard b(c.fen);
    loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables);
    MaterialResult m = material(b);
    ASSERT_EQ(m.bonus, 300) << c.fen;
    const int with = evaluate(BLACK, 1, &b.position, b.records, &b.tables, m.score, m.white,
                              m.black, -INFINITE_SCORE, m.bonus);
    const int without = evaluate(BLACK, 1, &b.position, b.records, &b.tables, m.score, m.white,
                                 m.black, -INFINITE_SCORE, 0);
    EXPECT_EQ(with - without, -c.takeBack) << c.fen;
  }
  TestBoard first(cases[0].fen);
  EXPECT_EQ(material(first).score, 200 + 300);  // the knight counted twice
}

// --- drawCheck -------------------------------------------------------------------

Move findMove(TestBoard& b, const std::string& text) {
  for (Move m : b.legalMoves())
    if (coordinates(m) == text) return m;
  ADD_FAILURE() << "no move " << text;
  return 0;
}

void playMoves(TestBoard& b, std::initializer_list<const char*> moves) {
  for (const char* m : moves) b.play(findMove(b, m));
}

int drawCheckAt(TestBoard& b, int ply = 0) { return drawCheck(ply, &b.position, &b.records[ply]); }

TEST(DrawCheck, InsufficientMaterial) {
  TestBoard b;
  for (const char* fen : {"4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1", "4kb2/8/8/8/8/8/8/2B1K3 w - - 0 1",
                          "4k3/8/8/8/8/2n5/8/2B1K3 b - - 0 1", "4k3/8/8/8/8/8/8/4K3 w - - 0 1"}) {
    b.setFen(fen);
    EXPECT_EQ(drawCheckAt(b), 13) << fen;
  }
  for (const char* fen : {"4k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", "4k3/8/8/8/8/8/8/2B1KB2 w - - 0 1",
                          "4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "4k3/8/8/8/8/8/4P3/1N2K3 w - - 0 1",
                          "4k3/8/8/8/8/8/8/1NN1K1N1 w - - 0 1"}) {
    b.setFen(fen);
    EXPECT_EQ(drawCheckAt(b), 0) << fen;
  }
}

TEST(DrawCheck, FiftyMovesAtAHalfMoveClockOfOneHundred) {
  TestBoard b("4k3/8/8/8/8/8/4P3/R3K3 w - - 100 80");
  EXPECT_EQ(drawCheckAt(b), 50);
  b.setFen("4k3/8/8/8/8/8/4P3/R3K3 w - - 99 80");
  EXPECT_EQ(drawCheckAt(b), 0);
}

TEST(DrawCheck, RepetitionsInTheGame) {
  TestBoard b;
  const auto cycle = {"g1f3", "g8f6", "f3g1", "f6g8"};
  playMoves(b, cycle);
  // The set-up position itself is not in the history: this is its first recorded return.
  EXPECT_EQ(drawCheckAt(b), 0);
  playMoves(b, cycle);
  EXPECT_EQ(drawCheckAt(b), 2);
  playMoves(b, cycle);
  EXPECT_EQ(drawCheckAt(b), 3);
  // An irreversible move ends the scan.
  playMoves(b, {"e2e4"});
  EXPECT_EQ(drawCheckAt(b), 0);
}

TEST(DrawCheck, RepetitionsAcrossGameAndSearchPlies) {
  TestBoard b;
  const auto cycle = {"g1f3", "g8f6", "f3g1", "f6g8"};
  playMoves(b, cycle);
  playMoves(b, cycle);
  // The search plays the cycle once more: every position has now been seen twice before.
  const char* path[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  int side = b.side;
  for (int ply = 1; ply <= 4; ++ply) {
    Move list[MAX_MOVES];
    const int n = generateLegalMoves(side, ply - 1, list, &b.position, b.records, &b.tables);
    Move m = 0;
    for (int i = 0; i < n; ++i)
      if (coordinates(list[i]) == path[ply - 1]) m = list[i];
    ASSERT_NE(m, 0u);
    makeMove(side, ply, m, &b.position, b.records, &b.tables);
    side ^= 1;
    EXPECT_EQ(drawCheck(ply, &b.position, &b.records[ply]), 3) << "ply " << ply;
  }
}

TEST(DrawCheck, ScanStopsAtTheHalfMoveClock) {
  TestBoard b;
  const uint64_t key = 0x123456789ULL;
  b.position.reversiblePlies = 10;
  for (int i = 0; i < KEY_HISTORY_SIZE; ++i) b.position.keyHistory[i] = uint64_t(i) + 1;
  b.records[0].hashKey = key;
  b.records[0].halfMoveClock = 2;
  // The position is entry 9; same side to move at 7, 5, 3 ...; a clock of 2 reaches 5.
  b.position.keyHistory[3] = key;
  EXPECT_EQ(drawCheckAt(b), 0);
  b.position.keyHistory[5] = key;
  EXPECT_EQ(drawCheckAt(b), 2);
  b.records[0].halfMoveClock = 4;
  EXPECT_EQ(drawCheckAt(b), 3);
  b.position.keyHistory[8] = key;  // other side to move: never compared
  EXPECT_EQ(drawCheckAt(b), 3);
}

TEST(DrawCheck, NeverReadsPastTheEndOfTheHistory) {
  TestBoard b;
  const uint64_t key = 0xABCDEFULL;
  b.position.reversiblePlies = 120;
  for (int i = 0; i < KEY_HISTORY_SIZE; ++i) b.position.keyHistory[i] = uint64_t(i) + 1;
  b.records[3].hashKey = key;
  b.records[3].halfMoveClock = 99;
  // Entry 120 + 3 - 3 = 120 was never stored; 98 has the same side to move, 99 not.
  b.position.keyHistory[99] = key;
  EXPECT_EQ(drawCheck(3, &b.position, &b.records[3]), 0);
  b.position.keyHistory[98] = key;
  EXPECT_EQ(drawCheck(3, &b.position, &b.records[3]), 2);
}

}  // namespace
