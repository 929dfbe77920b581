// The positional terms on hand-built positions. Each row gives White's term; Black's term
// on the colour-reversed position must be its negation. Square values are zero except in
// the pawn cases, so that every number below can be checked on the board.
#include "eval/terms.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "eval_helpers.h"

using namespace evalterms;

namespace {

enum MiddlegameTerm { Pawn, Knight, Bishop, Blocking, Rook, Trapped, Queen, KingSquare, Safety };
enum EndgameTerm { Passed = Safety + 1, EndKnight, EndBishop, EndRook, EndTrapped, EndKing };

struct Case {
  int term;
  const char* fen;
  int expected;
  int development = -1, phase = -1;  // instead of the board's, when set
  int searchCastle = 1;  // when not 1: the root had the king-side right, ply 1 this state
};

// Term c.term of side S with the arguments evaluate would give it.
template <int S>
int termOf(const Case& c, TestBoard& b) {
  const Position* p = &b.position;
  BoardTables* t = &b.tables;
  const MaterialResult m = material(b);
  const int own = S == WHITE ? m.white : -m.black, theirs = S == WHITE ? -m.black : m.white;
  const int d = c.development >= 0 ? c.development : developmentCount<S>(p);
  const int phase = c.phase >= 0 ? c.phase : std::min(m.white, -m.black);
  const Bitboard pawns = p->whitePawns | p->blackPawns;
  const int bothWings = (pawns & t->filesAToC) && (pawns & t->filesFToH);
  if (c.searchCastle != 1) {
    b.records[0].*Colour<S>::castle = CASTLE_KING_SIDE;
    b.records[1].*Colour<S>::castle = c.searchCastle;
  }
  if (c.term == Pawn) {
    t->squareValues[Colour<S>::svPawn][rel<S>(C4)] = 5;
    t->squareValues[Colour<S>::svPassed][rel<S>(C4)] = 7;
    t->squareValues[Colour<S>::svPassed][rel<S>(D5)] = 40;
  }
  int passed = 0;
  const int terms[] = {pawnTerm<S>(p, t, d),
                       knightTerm<S>(p, t, d),
                       bishopTerm<S>(p, t),
                       blockingBishopTerm<S>(p, t),
                       rookTerm<S>(p, t, d, phase),
                       trappedRookTerm<S>(p, t),
                       queenTerm<S>(p, t, d, phase),
                       kingSquareTerm<S>(p, t),
                       kingSafetyTerm<S>(1, p, b.records, t),
                       passedPawnTerm<S>(b.side, p, t, theirs, bothWings, &passed),
                       endgameKnightTerm<S>(p, t),
                       endgameBishopTerm<S>(p, t),
                       endgameRookTerm<S>(p, t),
                       endgameTrappedRookTerm<S>(p, t),
                       endgameKingTerm<S>(p, t, own, theirs)};
  return terms[c.term];
}

void expectTerms(std::initializer_list<Case> cases) {
  std::vector<std::string> fens;
  for (const Case& c : cases) fens.push_back(c.fen);
  const std::vector<std::string> reversed = reversedFens(fens);
  for (size_t i = 0; i < fens.size(); ++i) {
    const Case& c = cases.begin()[i];
    TestBoard white(fens[i]), black(reversed[i]);
    EXPECT_EQ(termOf<WHITE>(c, white), c.expected) << fens[i];
    EXPECT_EQ(termOf<BLACK>(c, black), -c.expected) << reversed[i];
  }
}

TEST(PawnTerm, StructureStormAndPassers) {
  expectTerms({
      // c3 and c4 doubled (-25) and isolated (-20 each), c4's square value; c7 stops both.
      {Pawn, "4k3/2p5/8/8/2P5/2P5/8/2K5 w - - 0 1", -65 + 5},
      // Storm: a4 (r = 3) on the wing away from the own king g1: 2r, and 2r more with a
      // queen against a king on that wing; a4 is isolated (-20). Nb1 at home: no storm.
      {Pawn, "2k5/8/8/8/P7/3Q4/8/6K1 w - - 0 1", 12 - 20},
      {Pawn, "2k5/8/8/8/P7/8/8/6K1 w - - 0 1", 6 - 20},
      {Pawn, "6k1/8/8/8/P7/3Q4/8/6K1 w - - 0 1", 6 - 20},
      {Pawn, "2k5/8/8/8/P7/3Q4/8/1N4K1 w - - 0 1", -20},
      // d5 faces e6 but c4 can support it: a candidate (40); c4 is passed (7). Without c4,
      // d5 is isolated; with d7, d5 is blocked and c4 outnumbered; with Nb1 at home, no values.
      {Pawn, "4k3/8/4p3/3P4/2P5/8/8/2K5 w - - 0 1", 40 + 7 + 5},
      {Pawn, "4k3/8/4p3/3P4/8/8/8/2K5 w - - 0 1", -20},
      {Pawn, "4k3/3p4/4p3/3P4/2P5/8/8/2K5 w - - 0 1", 5},
      {Pawn, "4k3/8/4p3/3P4/2P5/8/8/1NK5 w - - 0 1", 5},
  });
}

TEST(MinorPieceTerms, MobilityOutpostsAndBlockedCentre) {
  expectTerms({
      // d6: eight free squares (24), guarded by c5, nothing can challenge it: +100; +25 when
      // a dark-squared bishop or a knight can, a light-squared bishop cannot.
      {Knight, "7k/8/3N4/2P5/8/8/8/4K3 w - - 0 1", 124},
      {Knight, "5b1k/8/3N4/2P5/8/8/8/4K3 w - - 0 1", 49},
      {Knight, "2b4k/8/3N4/2P5/8/8/8/4K3 w - - 0 1", 124},
      {Knight, "7k/3n4/3N4/2P5/8/8/8/4K3 w - - 0 1", 49},
      {Knight, "7k/8/3N4/2P5/8/8/8/2B1K3 w - - 0 1", 24},       // Bc1 at home: no outpost
      {Knight, "7k/8/8/3N4/4P3/8/8/4K3 w - - 0 1", 24 + 50},    // d5 guarded by e4
      {Knight, "7k/2p5/8/3N4/4P3/8/8/4K3 w - - 0 1", 24 + 13},  // c7 can chase it
      {Knight, "7k/8/8/8/8/8/2P5/N3K3 w - - 0 1", 3},           // b3 free, c2 own
      {Bishop, "7k/8/8/8/3B4/8/8/7K w - - 0 1", 5 * 13},
      {Bishop, "7k/8/8/8/8/8/1P1P4/2B1K3 w - - 0 1", 0},
      {Blocking, "6k1/8/8/8/8/3BB3/3PP3/6K1 w - - 0 1", -60},
      // In the endgame only mobility counts, and only for a side with pawns.
      {EndKnight, "7k/8/8/3N4/8/8/8/4K3 w - - 0 1", 0},
      {EndKnight, "7k/8/8/3N4/4P3/8/8/4K3 w - - 0 1", 24},
      {EndBishop, "7k/8/8/8/3B4/8/8/7K w - - 0 1", 0},
      {EndBishop, "7k/8/8/8/3B4/8/P7/7K w - - 0 1", 5 * 13},
  });
}

TEST(RookAndQueenTerms, OpenFilesEdgesAndTrappedRooks) {
  const char* twoRooks = "6k1/R7/8/8/8/8/8/3R2K1 w - - 0 1";
  expectTerms({
      // a7: open file 30 and the seventh against the king on the eighth 35; d1 open 30.
      // Early on (more than 2227 in pieces) a side with pieces at home gets no edge bonus.
      {Rook, twoRooks, 95},
      {Rook, twoRooks, 60, 1, 2228},
      {Rook, twoRooks, 95, 1, 2227},
      {Rook, twoRooks, 95, 0, 2228},
      {Rook, "6k1/R7/8/8/8/8/8/6K1 w - - 0 1", 30},            // one heavy piece: no edge
      {Rook, "6k1/R7/p7/8/3P4/8/8/3R2K1 w - - 0 1", 10 + 35},  // half-open a, closed d
      {Rook, "k7/8/8/8/8/8/8/1R4RK w - - 0 1", 30 + 35 + 30},  // b-file against Ka8
      {Rook, "7k/8/8/8/8/8/8/KR4R1 w - - 0 1", 30 + 30 + 35},  // g-file against Kh8
      // Endgame: 20 per fully open file, and the edge patterns even for a single rook.
      {EndRook, "6k1/R7/8/8/8/8/8/6K1 w - - 0 1", 20 + 35},
      {EndRook, "6k1/R7/p7/8/3P4/8/8/3R2K1 w - - 0 1", 35},
      {Queen, "6k1/Q7/8/8/8/8/8/3R2K1 w - - 0 1", 10},
      {Queen, "7k/8/8/8/8/8/6Q1/3R2K1 w - - 0 1", 10},
      {Queen, "7k/8/8/8/8/8/6Q1/6K1 w - - 0 1", 0},
      // A rook shut in by the uncastled king (middlegame only) or behind its own pawn.
      {Trapped, "6k1/8/8/8/8/8/8/5K1R w - - 0 1", -25},
      {Trapped, "6k1/8/8/8/8/8/8/5KR1 w - - 0 1", -25},
      {Trapped, "6k1/8/8/8/8/8/8/RK6 w - - 0 1", -25},
      {Trapped, "6k1/8/8/8/8/8/8/2R3K1 w - - 0 1", 0},  // a c-file rook is free
      {Trapped, "6k1/8/8/8/8/8/8/5RK1 w - - 0 1", 0},   // castled
      {Trapped, "6k1/8/8/8/8/8/8/4K2R w - - 0 1", 0},
      {Trapped, "6k1/8/8/8/8/RP6/8/6K1 w - - 0 1", -25},
      {Trapped, "6k1/8/8/8/8/8/6PR/6K1 w - - 0 1", -25},
      {Trapped, "6k1/8/8/8/8/8/5P1R/6K1 w - - 0 1", -25},
      {EndTrapped, "6k1/8/8/8/8/8/8/5K1R w - - 0 1", 0},
      {EndTrapped, "6k1/8/8/8/8/RP6/8/6K1 w - - 0 1", -25},
  });
}

TEST(KingTerms, SquareShelterAndAttacks) {
  const char* intact = "6k1/8/8/q7/8/8/5PPP/6K1 w - - 0 1";
  expectTerms({
      // Rook and king within two squares of g1 while Black has a queen: 3 each.
      {KingSquare, "3q2k1/8/8/8/8/8/5PPP/5RK1 w - - 0 1", 6},
      {KingSquare, "3r2k1/8/8/8/8/8/5PPP/5RK1 w - - 0 1", 0},
      {KingSquare, "3q2k1/8/8/8/8/8/5PPP/4KR2 w - - 0 1", 0},
      // Kg1 behind f2 g2 h2, the queen touching nothing: 0, but castling rights given away
      // in the search cost 20 (having castled, -1, does not). Without a queen always 0.
      {Safety, intact, 0},
      {Safety, intact, -20, -1, -1, 0},
      {Safety, intact, 0, -1, -1, -1},
      {Safety, "6k1/8/8/r7/8/8/8/6K1 w - - 0 1", 0},
      {Safety, "6k1/8/8/8/8/7p/6q1/6K1 w - - 0 1", -600},  // Qg2 held by h3, only Kg1 guards g2
      // Ne1 also guards g2. Shelter: open g-file -30, h-file with a Black pawn -12, empty
      // f-file (small) -12, the g2 hole -5 = -59; count = 0 + 1 (shelter) + f1 2 + h1 2
      // + f2 3 + g2 2 + h2 3 = 13, pawn and queen: combination 1, danger[14] = 100.
      {Safety, "6k1/8/8/8/8/7p/6q1/4N1K1 w - - 0 1", -59 - 100},
      // g3: own file -5, the g2 hole -5. No g-pawn: -30 - 5, count 1, danger 1; doubled with
      // the kings on opposite wings: -65, count 2. f3 g3 h3: h -3 (big), f -2 (small), g -5,
      // hole -5. Wedge d5 + e4: -30. Kb1 behind a2 b2 c2: 0. King on g3: no shelter, base
      // count 3, rank penalty 48.
      {Safety, "6k1/8/8/q7/8/6P1/5P1P/6K1 w - - 0 1", -10},
      {Safety, "6k1/8/8/q7/8/8/5P1P/6K1 w - - 0 1", -36},
      {Safety, "2k5/8/8/q7/8/8/5P1P/6K1 w - - 0 1", -67},
      {Safety, "6k1/8/8/q7/8/5PPP/8/6K1 w - - 0 1", -15},
      {Safety, "6k1/8/8/q2p4/4p3/8/5PPP/6K1 w - - 0 1", -30},
      {Safety, "1k6/8/8/7q/8/8/PPP5/1K6 w - - 0 1", 0},
      {Safety, "6k1/8/8/q7/8/6K1/8/8 w - - 0 1", -48 - 3},
      // Qh4 hits f2 and h2, each defended by the king alone: 2 + 2, queen alone: danger[4];
      // Ng4 joins on the same squares: queen and minor, combination 2, danger[6].
      {Safety, "6k1/8/8/8/7q/8/5PPP/6K1 w - - 0 1", -6},
      {Safety, "6k1/8/8/8/6nq/8/5PPP/6K1 w - - 0 1", -13},
  });
}

TEST(EndgameTerms, PassedPawnsAndKings) {
  expectTerms({
      // Kings equally far from a5 and, with Black to move, outside the square by two: 100 x 4.
      {Passed, "7k/8/8/P7/8/8/8/7K b - - 0 1", 400},
      // Black king e8: d(own) 7, d(their) 4, diff -3, r 4: the distance terms make
      // 2 x (-12 - 18) - 12 = -72; the pawn outruns the king only with White to move. With a
      // Black piece it is no pawn ending: only diff x r three times.
      {Passed, "4k3/8/8/P7/8/8/8/7K w - - 0 1", -72 + 400},
      {Passed, "4k3/8/8/P7/8/8/8/7K b - - 0 1", -72},
      {Passed, "4k3/8/8/P7/8/8/8/6nK w - - 0 1", -36},
      // Both kings two squares from a7 and b7: passed, a duo (10 x 6 each), and b7 has a
      // passed pawn beside it on the left: 750.
      {Passed, "8/PP6/8/K1k5/8/8/8/7n w - - 0 1", 60 + 60 + 750},
      // Kings equally far from a5: a rook behind the free pawn 40, the enemy's -40; none
      // behind a blocked pawn.
      {Passed, "4k3/8/8/P7/8/8/8/R3K1r1 w - - 0 1", 40},
      {Passed, "4k3/8/8/P7/8/8/8/r3K1R1 w - - 0 1", -40},
      {Passed, "4k3/p7/8/P7/8/8/8/R3K1r1 w - - 0 1", 0},
      // h2 in a pawn ending: d(own) 3, d(their) 6, r 1 make 27 twice and 3 as passed = 57,
      // and 25 for the bishop with pawns on both wings; not against a bishop or a rook,
      // where the distance terms make 3 x 3.
      {Passed, "4k3/p7/8/8/8/8/7P/2B1K3 w - - 0 1", 57 + 25},
      {Passed, "4kb2/p7/8/8/8/8/7P/2B1K3 w - - 0 1", 9},
      {Passed, "r3k3/p7/8/8/8/8/7P/2B1K3 w - - 0 1", 9},
      // A rook up: the king closes in, (7 - distance) x 15. Against one rook a pawn beside
      // the king shields it from the rook's side. Against a queen: 3 for every own man
      // within two squares, king included.
      {EndKing, "4k3/8/8/8/8/8/8/R3K3 w - - 0 1", 0},
      {EndKing, "8/8/8/8/8/4k3/8/R3K3 w - - 0 1", 75},
      {EndKing, "6k1/8/8/8/8/8/3PK3/r7 w - - 0 1", 10},
      {EndKing, "6k1/8/8/8/8/8/4KP2/r7 w - - 0 1", 0},
      {EndKing, "6k1/8/8/8/8/8/3PKP2/q7 w - - 0 1", 9},
  });
}

}  // namespace
