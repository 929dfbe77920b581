// The positional terms on hand-built positions. Square values are zero unless a case
// loads or sets some, so that every number below can be checked on the board.
#include <gtest/gtest.h>

#include "eval/terms.h"
#include "eval_helpers.h"

using namespace evalterms;

namespace {

struct Board : TestBoard {
  explicit Board(const char* fen) : TestBoard(fen) {}
  const Position* p() const { return &position; }
  const BoardTables* t() const { return &tables; }
  int whitePawns() const { return pawnTerm<WHITE>(p(), t(), developmentCount<WHITE>(p())); }
  int whiteKnights() const { return knightTerm<WHITE>(p(), t(), developmentCount<WHITE>(p())); }
  int whiteSafety() { return kingSafetyTerm<WHITE>(1, p(), records, t()); }
  int whitePassed(int sideToMove, int* count = nullptr) {
    int dummy = 0;
    const int theirs = -material(*this).black;
    return passedPawnTerm<WHITE>(sideToMove, p(), t(), theirs, 0, count ? count : &dummy);
  }
};

// --- pawn structure --------------------------------------------------------------------

TEST(PawnTerm, DoubledAndIsolatedPawns) {
  // c3 and c4, kept from being passed by c7: -25 for the doubling, -20 for each.
  Board b("4k3/2p5/8/8/2P5/2P5/8/2K5 w - - 0 1");
  EXPECT_EQ(b.whitePawns(), -65);
  // Plus their square values (c3 0, c4 5 in the shipped table).
  loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables);
  EXPECT_EQ(b.whitePawns(), -60);
}

TEST(PawnTerm, StormNeedsFinishedDevelopment) {
  // a4 (r = 3) against the king on c8 while White's king is on g1: 2r, once more with a
  // queen; the pawn is isolated (-20).
  EXPECT_EQ(Board("2k5/8/8/8/P7/3Q4/8/6K1 w - - 0 1").whitePawns(), 12 - 20);
  EXPECT_EQ(Board("2k5/8/8/8/P7/8/8/6K1 w - - 0 1").whitePawns(), 6 - 20);
  EXPECT_EQ(Board("6k1/8/8/8/P7/3Q4/8/6K1 w - - 0 1").whitePawns(), 6 - 20);
  // A knight still on b1: no storm.
  EXPECT_EQ(Board("2k5/8/8/8/P7/3Q4/8/1N4K1 w - - 0 1").whitePawns(), -20);
}

TEST(PawnTerm, PassedAndCandidatePawns) {
  auto withPassedValues = [](const char* fen) {
    Board b(fen);
    b.tables.squareValues[SV_WHITE_PASSED][D5] = 40;
    b.tables.squareValues[SV_WHITE_PASSED][C4] = 7;
    return b.whitePawns();
  };
  // d5 faces e6 but c4 can support it: a candidate (40); c4 itself is passed (7).
  EXPECT_EQ(withPassedValues("4k3/8/4p3/3P4/2P5/8/8/2K5 w - - 0 1"), 47);
  // Without c4 nobody supports d5, which is isolated as well.
  EXPECT_EQ(withPassedValues("4k3/8/4p3/3P4/8/8/8/2K5 w - - 0 1"), -20);
  // d7 stops d5 and, on the neighbour file, outnumbers c4's support.
  EXPECT_EQ(withPassedValues("4k3/3p4/4p3/3P4/2P5/8/8/2K5 w - - 0 1"), 0);
  // Development unfinished: no passed-pawn value in the middlegame.
  EXPECT_EQ(withPassedValues("4k3/8/4p3/3P4/2P5/8/8/1NK5 w - - 0 1"), 0);
}

// --- knights and outposts ----------------------------------------------------------------

TEST(KnightTerm, MobilityAndOutposts) {
  // d6 knight, eight free squares (24), guarded by c5, nothing can challenge it: +100.
  EXPECT_EQ(Board("7k/8/3N4/2P5/8/8/8/4K3 w - - 0 1").whiteKnights(), 124);
  // A dark-squared bishop can take it (d6 is dark): +25; a light-squared one cannot.
  EXPECT_EQ(Board("5b1k/8/3N4/2P5/8/8/8/4K3 w - - 0 1").whiteKnights(), 49);
  EXPECT_EQ(Board("2b4k/8/3N4/2P5/8/8/8/4K3 w - - 0 1").whiteKnights(), 124);
  EXPECT_EQ(Board("7k/3n4/3N4/2P5/8/8/8/4K3 w - - 0 1").whiteKnights(), 49);
  // Bishop still on c1: no outpost bonus.
  EXPECT_EQ(Board("7k/8/3N4/2P5/8/8/8/2B1K3 w - - 0 1").whiteKnights(), 24);
  // d5 guarded by e4: 50, or 13 while a c7 pawn can still chase it.
  EXPECT_EQ(Board("7k/8/8/3N4/4P3/8/8/4K3 w - - 0 1").whiteKnights(), 24 + 50);
  EXPECT_EQ(Board("7k/2p5/8/3N4/4P3/8/8/4K3 w - - 0 1").whiteKnights(), 24 + 13);
  // Corner knight: b3 free, c2 its own pawn.
  EXPECT_EQ(Board("7k/8/8/8/8/8/2P5/N3K3 w - - 0 1").whiteKnights(), 3);
  // In the endgame a knight without own pawns counts nothing.
  Board lone("7k/8/8/3N4/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(endgameKnightTerm<WHITE>(lone.p(), lone.t()), 0);
}

TEST(BishopTerm, MobilityAndBlockedCentre) {
  Board centre("7k/8/8/8/3B4/8/8/7K w - - 0 1");
  EXPECT_EQ(bishopTerm<WHITE>(centre.p(), centre.t()), 5 * 13);
  Board hemmed("7k/8/8/8/8/8/1P1P4/2B1K3 w - - 0 1");
  EXPECT_EQ(bishopTerm<WHITE>(hemmed.p(), hemmed.t()), 0);
  Board blocking("6k1/8/8/8/8/3BB3/3PP3/6K1 w - - 0 1");
  EXPECT_EQ(blockingBishopTerm<WHITE>(blocking.p(), blocking.t()), -60);
  Board single("6k1/8/8/8/8/3B4/3P4/6K1 w - - 0 1");
  EXPECT_EQ(blockingBishopTerm<WHITE>(single.p(), single.t()), -30);
}

// --- rooks and queens --------------------------------------------------------------------

TEST(RookTerm, OpenFilesAndTheSeventh) {
  Board b("6k1/R7/8/8/8/8/8/3R2K1 w - - 0 1");
  // a7: open file 30 and the seventh against the king on the eighth 35; d1 open 30.
  EXPECT_EQ(rookTerm<WHITE>(b.p(), b.t(), 0, 0), 95);
  // Early in the game an undeveloped side gets no edge bonus.
  EXPECT_EQ(rookTerm<WHITE>(b.p(), b.t(), 1, 2228), 60);
  EXPECT_EQ(rookTerm<WHITE>(b.p(), b.t(), 1, 2227), 95);
  EXPECT_EQ(rookTerm<WHITE>(b.p(), b.t(), 0, 2228), 95);
  // A single heavy piece gets no edge bonus.
  Board single("6k1/R7/8/8/8/8/8/6K1 w - - 0 1");
  EXPECT_EQ(rookTerm<WHITE>(single.p(), single.t(), 0, 0), 30);
  // Half-open a-file 10, d-file closed by an own pawn 0.
  Board closed("6k1/R7/p7/8/3P4/8/8/3R2K1 w - - 0 1");
  EXPECT_EQ(rookTerm<WHITE>(closed.p(), closed.t(), 0, 0), 10 + 35);
  // b-file against the king on the a-file, g-file against the h-file.
  Board files("k7/8/8/8/8/8/8/1R4RK w - - 0 1");
  EXPECT_EQ(rookTerm<WHITE>(files.p(), files.t(), 0, 0), 30 + 35 + 30);
  // Endgame: 20 per fully open file plus the edge patterns without the skip rule.
  EXPECT_EQ(endgameRookTerm<WHITE>(single.p(), single.t()), 20 + 35);
  EXPECT_EQ(endgameRookTerm<WHITE>(closed.p(), closed.t()), 35);
}

TEST(QueenTerm, EdgeBonusWithASecondHeavyPiece) {
  Board seventh("6k1/Q7/8/8/8/8/8/3R2K1 w - - 0 1");
  EXPECT_EQ(queenTerm<WHITE>(seventh.p(), seventh.t(), 0, 0), 10);
  Board gFile("7k/8/8/8/8/8/6Q1/3R2K1 w - - 0 1");
  EXPECT_EQ(queenTerm<WHITE>(gFile.p(), gFile.t(), 0, 0), 10);
  Board alone("7k/8/8/8/8/8/6Q1/6K1 w - - 0 1");
  EXPECT_EQ(queenTerm<WHITE>(alone.p(), alone.t(), 0, 0), 0);
}

TEST(TrappedRookTerm, KingAndPawnPatterns) {
  struct Case {
    const char* fen;
    int middlegame, endgame;
  } cases[] = {
      {"6k1/8/8/8/8/8/8/5K1R w - - 0 1", -25, 0},   // Kf1 shuts in Rh1
      {"6k1/8/8/8/8/8/8/5KR1 w - - 0 1", -25, 0},   // Kf1, Rg1
      {"6k1/8/8/8/8/8/8/RK6 w - - 0 1", -25, 0},    // Kb1, Ra1
      {"6k1/8/8/8/8/8/8/2R3K1 w - - 0 1", 0, 0},    // c-file rook is free
      {"6k1/8/8/8/8/8/8/5RK1 w - - 0 1", 0, 0},     // castled
      {"6k1/8/8/8/8/RP6/8/6K1 w - - 0 1", -25, -25},  // Ra3 behind b3
      {"6k1/8/8/8/8/8/6PR/6K1 w - - 0 1", -25, -25},  // Rh2 behind g2
      {"6k1/8/8/8/8/8/5P1R/6K1 w - - 0 1", -25, -25},  // Rh2 behind f2
      {"6k1/8/8/8/8/8/8/4K2R w - - 0 1", 0, 0},
  };
  for (const Case& c : cases) {
    Board b(c.fen);
    EXPECT_EQ(trappedRookTerm<WHITE>(b.p(), b.t()), c.middlegame) << c.fen;
    EXPECT_EQ(endgameTrappedRookTerm<WHITE>(b.p(), b.t()), c.endgame) << c.fen;
  }
}

TEST(KingSquareTerm, GuardsOfTheCastledKing) {
  // Rook and king within two squares of g1 while Black has a queen: 3 each.
  Board b("3q2k1/8/8/8/8/8/5PPP/5RK1 w - - 0 1");
  EXPECT_EQ(kingSquareTerm<WHITE>(b.p(), b.t()), 6);
  Board noQueen("3r2k1/8/8/8/8/8/5PPP/5RK1 w - - 0 1");
  EXPECT_EQ(kingSquareTerm<WHITE>(noQueen.p(), noQueen.t()), 0);
  Board centre("3q2k1/8/8/8/8/8/5PPP/4KR2 w - - 0 1");
  EXPECT_EQ(kingSquareTerm<WHITE>(centre.p(), centre.t()), 0);
}

// --- king safety and shelter -----------------------------------------------------------

TEST(KingSafetyTerm, IntactShelterIsWorthNothing) {
  // Kg1 behind f2 g2 h2, Black king on the same wing, the queen on a5 touches nothing.
  Board b("6k1/8/8/q7/8/8/5PPP/6K1 w - - 0 1");
  EXPECT_EQ(b.whiteSafety(), 0);
  // Without a Black queen the term is always 0.
  Board noQueen("6k1/8/8/r7/8/8/8/6K1 w - - 0 1");
  EXPECT_EQ(noQueen.whiteSafety(), 0);
}

TEST(KingSafetyTerm, QueenContactMate) {
  // Qg2 protected by h3, only the king guards g2.
  Board b("6k1/8/8/8/8/7p/6q1/6K1 w - - 0 1");
  EXPECT_EQ(b.whiteSafety(), -600);
  // A knight on e1 also guards g2: no contact verdict, but the attack count bites.
  // Shelter: open g-file -30, h-file with a Black pawn -12, empty f-file (small) -12,
  // the g2 hole -5 = -59; count = 0 + 1 (shelter) + f1 2 + h1 2 + f2 3 + g2 2 + h2 3 = 13,
  // attackers pawn and queen: combination 1, danger[14] = 100.
  Board guarded("6k1/8/8/8/8/7p/6q1/4N1K1 w - - 0 1");
  EXPECT_EQ(guarded.whiteSafety(), -59 - 100);
}

TEST(KingSafetyTerm, PawnShelter) {
  // g-pawn on g3: -5 on the own file, and the g2 hole -5.
  EXPECT_EQ(Board("6k1/8/8/q7/8/6P1/5P1P/6K1 w - - 0 1").whiteSafety(), -10);
  // No g-pawn at all: -30 - 5 = -35; count 1 gives danger 1.
  EXPECT_EQ(Board("6k1/8/8/q7/8/8/5P1P/6K1 w - - 0 1").whiteSafety(), -36);
  // Kings on opposite wings double the shelter before the hole: -65, count 2.
  EXPECT_EQ(Board("2k5/8/8/q7/8/8/5P1P/6K1 w - - 0 1").whiteSafety(), -67);
  // Pawns pushed one (f3 g3 h3 with Kg1): -3 for h (big), -2 for f (small), -5 own file, -5
  // hole at g2.
  EXPECT_EQ(Board("6k1/8/8/q7/8/5PPP/8/6K1 w - - 0 1").whiteSafety(), -15);
  // Wedge d5 + e4 against the king side: -30 (too little to raise the count).
  EXPECT_EQ(Board("6k1/8/8/q2p4/4p3/8/5PPP/6K1 w - - 0 1").whiteSafety(), -30);
  // Queen-side king on b1 behind a2 b2 c2: a-file big, c-file small, all in place.
  EXPECT_EQ(Board("1k6/8/8/7q/8/8/PPP5/1K6 w - - 0 1").whiteSafety(), 0);
  // King off its first two ranks: no shelter, base count 3 and rank penalty 48.
  EXPECT_EQ(Board("6k1/8/8/q7/8/6K1/8/8 w - - 0 1").whiteSafety(), -48 - 3);
}

TEST(KingSafetyTerm, AttackCount) {
  // Qh4 hits f2 and h2, each defended by the king alone: 2 + 2; queen alone: danger[4].
  EXPECT_EQ(Board("6k1/8/8/8/7q/8/5PPP/6K1 w - - 0 1").whiteSafety(), -6);
  // Ng4 joins on the same squares: queen and minor, combination 2, danger[6].
  EXPECT_EQ(Board("6k1/8/8/8/6nq/8/5PPP/6K1 w - - 0 1").whiteSafety(), -13);
}

TEST(KingSafetyTerm, CastlingRightsLostInTheSearch) {
  Board b("6k1/8/8/q7/8/8/5PPP/6K1 w K - 0 1");
  EXPECT_EQ(b.whiteSafety(), 0);
  b.records[1].whiteCastle = 0;  // gave the right away after the root
  EXPECT_EQ(b.whiteSafety(), -20);
  b.records[1].whiteCastle = -1;  // castled
  EXPECT_EQ(b.whiteSafety(), 0);
}

TEST(KingSafetyTerm, BlackMirrorIsNegated) {
  const char* pairs[][2] = {
      {"6k1/8/8/8/7q/8/5PPP/6K1 w - - 0 1", "6k1/5ppp/8/7Q/8/8/8/6K1 b - - 0 1"},
      {"6k1/8/8/8/8/7p/6q1/4N1K1 w - - 0 1", "4n1k1/6Q1/7P/8/8/8/8/6K1 b - - 0 1"},
      {"2k5/8/8/q7/8/8/5P1P/6K1 w - - 0 1", "6k1/5p1p/8/8/Q7/8/8/2K5 b - - 0 1"},
  };
  for (auto& pair : pairs) {
    Board white(pair[0]), black(pair[1]);
    EXPECT_EQ(kingSafetyTerm<BLACK>(1, black.p(), black.records, black.t()), -white.whiteSafety())
        << pair[0];
    EXPECT_EQ(blackKingSafety(1, black.p(), black.records, black.t()),
              -whiteKingSafety(1, white.p(), white.records, white.t()));
  }
}

// --- endgame: passed pawns and kings --------------------------------------------------

TEST(PassedPawnTerm, ConnectedPassersOnTheSeventh) {
  // Both kings two squares from both pawns, so the distance terms vanish. a7 and b7 are
  // passed, a duo (10 x 6 each), and b7 has a passed pawn beside it on the left: 750.
  Board b("8/PP6/8/K1k5/8/8/8/7n w - - 0 1");
  int count = 0;
  EXPECT_EQ(b.whitePassed(WHITE, &count), 60 + 60 + 750);
  EXPECT_EQ(count, 2);
}

TEST(PassedPawnTerm, PawnEndingRace) {
  // Kings equally far from a5: outside the Black king's square by two, worth 100 x 4.
  EXPECT_EQ(Board("7k/8/8/P7/8/8/8/7K w - - 0 1").whitePassed(BLACK), 400);
  // Black king e8: d(own) 7, d(their) 4, diff -3, r 4: the distance terms make
  // 2 x (-12 - 18) - 12 = -72; the pawn outruns the king only with White to move.
  Board b("4k3/8/8/P7/8/8/8/7K w - - 0 1");
  EXPECT_EQ(b.whitePassed(WHITE), -72 + 400);
  EXPECT_EQ(b.whitePassed(BLACK), -72);
  // With a Black piece it is no pawn ending: only diff x r three times.
  EXPECT_EQ(Board("4k3/8/8/P7/8/8/8/6nK w - - 0 1").whitePassed(WHITE), -36);
}

TEST(PassedPawnTerm, RooksBehindPassers) {
  auto passed = [](const char* fen) { return Board(fen).whitePassed(WHITE); };
  const int base = passed("4k3/8/8/P7/8/8/8/1R2K1r1 w - - 0 1");
  EXPECT_EQ(passed("4k3/8/8/P7/8/8/8/R3K1r1 w - - 0 1") - base, 40);
  EXPECT_EQ(passed("4k3/8/8/P7/8/8/8/1R2K2r w - - 0 1") - base, 0);
  EXPECT_EQ(passed("4k3/8/8/P7/8/8/8/r3K1R1 w - - 0 1") -
                passed("4k3/8/8/P7/8/8/8/1r2K1R1 w - - 0 1"),
            -40);
  // Only for a free pawn: behind a blocked pawn the rook earns nothing.
  EXPECT_EQ(passed("4k3/p7/8/P7/8/8/8/R3K1r1 w - - 0 1") -
                passed("4k3/p7/8/P7/8/8/8/1R2K1r1 w - - 0 1"),
            0);
}

TEST(PassedPawnTerm, BishopWithPawnsOnBothWings) {
  Board b("4k3/p7/8/8/8/8/7P/2B1K3 w - - 0 1");
  int count = 0;
  const int one = passedPawnTerm<WHITE>(WHITE, b.p(), b.t(), 0, 1, &count);
  const int none = passedPawnTerm<WHITE>(WHITE, b.p(), b.t(), 0, 0, &count);
  EXPECT_EQ(one - none, 25);
  // Not against a bishop, nor against a rook.
  EXPECT_EQ(passedPawnTerm<WHITE>(WHITE, b.p(), b.t(), 500, 1, &count) -
                passedPawnTerm<WHITE>(WHITE, b.p(), b.t(), 500, 0, &count),
            0);
  Board bishops("4kb2/p7/8/8/8/8/7P/2B1K3 w - - 0 1");
  EXPECT_EQ(passedPawnTerm<WHITE>(WHITE, bishops.p(), bishops.t(), 301, 1, &count) -
                passedPawnTerm<WHITE>(WHITE, bishops.p(), bishops.t(), 301, 0, &count),
            0);
}

TEST(EndgameKingTerm, Rules) {
  // A rook up: the king closes in, (7 - distance) x 15.
  Board far("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  EXPECT_EQ(endgameKingTerm<WHITE>(far.p(), far.t(), 500, 0), 0);
  Board near("8/8/8/8/8/4k3/8/R3K3 w - - 0 1");
  EXPECT_EQ(endgameKingTerm<WHITE>(near.p(), near.t(), 500, 0), 75);
  // Against one rook a pawn beside the king shields it from the side the rook is on.
  Board shield("6k1/8/8/8/8/8/3PK3/r7 w - - 0 1");
  EXPECT_EQ(endgameKingTerm<WHITE>(shield.p(), shield.t(), 0, 500), 10);
  Board wrongSide("6k1/8/8/8/8/8/4KP2/r7 w - - 0 1");
  EXPECT_EQ(endgameKingTerm<WHITE>(wrongSide.p(), wrongSide.t(), 0, 500), 0);
  // Against a queen: 3 for every own unit within two squares, pawns and king included.
  Board queen("6k1/8/8/8/8/8/3PKP2/q7 w - - 0 1");
  EXPECT_EQ(endgameKingTerm<WHITE>(queen.p(), queen.t(), 0, 900), 9);
}

}  // namespace
