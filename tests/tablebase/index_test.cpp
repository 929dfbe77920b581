#include <gtest/gtest.h>

#include <algorithm>

#include "tablebase/index.h"
#include "tablebase/tablebase.h"
#include "tb_test_util.h"

using namespace tbtest;

namespace {

int ending(const char* name) { return tbFindEnding(name); }

uint32_t indexOf(int e, int side, const int* first, const int* second, int ep = TB_NO_EN_PASSANT,
                 int reflect = 0) {
  return tbEndings[size_t(e)].indexFunction[side](first, second, ep, reflect);
}

// A list from (kind offset, square) pairs; the king is given separately.
struct List {
  int sq[PIECE_SQUARES_SIZE];
  explicit List(int king) {
    std::fill(sq, sq + PIECE_SQUARES_SIZE, 64);
    sq[PS_KING] = king;
  }
  List& add(int offset, int s) {
    int i = offset;
    while (sq[i] != 64) ++i;
    sq[i] = s;
    std::sort(sq + offset, sq + i + 1);
    return *this;
  }
};

// The rank of a man in the core, as the index functions define it.
int manRank(int kind, int kS, int kO, int s) {
  int r = 0;
  for (int x = 0; x < s; ++x) r += tb::allowedSquare(kind, kO, x);
  const bool kingBelow = kS < s && tb::allowedSquare(kind, kO, kS);
  return r - kingBelow;
}

// Is the decoded placement (q1, q2) a symmetric image of (p1, p2)?
bool symmetricImage(int e, const int* p1, const int* p2, const int* q1, const int* q2) {
  SideMen men[2];
  endingMen(e, men);
  const int transforms = hasPawns(e) ? 2 : 8;
  for (int t = 0; t < transforms; ++t) {
    int a[PIECE_SQUARES_SIZE], b[PIECE_SQUARES_SIZE];
    transformList(p1, a, t, men[0]);
    transformList(p2, b, t, men[1]);
    if (samePlacement(a, q1, men[0]) && samePlacement(b, q2, men[1])) return true;
  }
  return false;
}

// Checks one position: its number is an entry of the file, and decoding the number gives
// back the position up to the board's symmetries.
void checkPosition(int e, int side, const int* first, const int* second, bool decode,
                   uint64_t* largest, int* failures) {
  const uint32_t i = indexOf(e, side, first, second);
  *largest = std::max<uint64_t>(*largest, i);
  if (!decode || *failures > 5) return;
  int q1[PIECE_SQUARES_SIZE], q2[PIECE_SQUARES_SIZE], ep;
  const bool swapped = side == 1 && (tbEndings[size_t(e)].flags & TB_SYMMETRIC);
  const bool ok = tbDecodeEntry(e, swapped ? 0 : side, i, q1, q2, &ep);
  const bool same = swapped ? symmetricImage(e, second, first, q1, q2) : symmetricImage(e, first, second, q1, q2);
  if (!ok || !same || ep != TB_NO_EN_PASSANT) {
    ++*failures;
    ADD_FAILURE() << tbEndings[size_t(e)].name << " side " << side << " entry " << i
                  << " does not decode to its position";
  }
}

// Every placement of an ending on distinct squares with the kings apart: no legal one
// may fall outside the file, and a sample decodes back. The side to move's king is
// restricted to the squares the index functions normalise to unless allKingSquares (the
// other placements are mirror images, checked separately).
void exhaustive(int e, int side, bool allKingSquares, int decodeEvery) {
  SideMen men[2];
  endingMen(e, men);
  struct Slot {
    int colour, offset, kind;
  };
  Slot slots[5];
  int n = 0;
  for (int c = 0; c < 2; ++c)
    for (int kind = 0; kind < 5; ++kind)
      for (int i = 0; i < men[c].count[kind]; ++i) slots[n++] = Slot{c, 3 * kind + i, kind};
  const bool pawns = hasPawns(e);
  const uint32_t entries = tbEndings[size_t(e)].entries[side];
  const TbIndexFunction index = tbEndings[size_t(e)].indexFunction[side];
  int lists[2][PIECE_SQUARES_SIZE];
  std::fill(&lists[0][0], &lists[0][0] + 2 * PIECE_SQUARES_SIZE, 64);
  uint64_t count = 0, largest = 0;
  int failures = 0;
  for (int kS = 0; kS < 64; ++kS) {
    if (!allKingSquares) {
      const int f = kS & 7, r = kS >> 3;
      if (pawns ? f > 3 : (f > 3 || r > f)) continue;
    }
    for (int kO = 0; kO < 64; ++kO) {
      if (std::abs((kS & 7) - (kO & 7)) <= 1 && std::abs((kS >> 3) - (kO >> 3)) <= 1) continue;
      lists[side][PS_KING] = kS;
      lists[side ^ 1][PS_KING] = kO;
      const uint64_t kings = (uint64_t(1) << kS) | (uint64_t(1) << kO);
      auto place = [&](auto&& self, int k, uint64_t used) -> void {
        if (k == n) {
          const uint32_t i = index(lists[0], lists[1], TB_NO_EN_PASSANT, 0);
          const bool sample = ++count % uint64_t(decodeEvery) == 0;
          if ((i >= entries || sample) && legal(e, side, lists[0], lists[1])) {
            if (i >= entries && ++failures < 5)
              ADD_FAILURE() << tbEndings[size_t(e)].name << " side " << side << " legal position at " << i;
            checkPosition(e, side, lists[0], lists[1], true, &largest, &failures);
          }
          return;
        }
        const Slot& s = slots[k < 4 ? k : 4];
        int low = s.kind == 0 ? 8 : 0;
        const int high = s.kind == 0 ? 56 : 64;
        if (k > 0 && slots[k - 1].colour == s.colour && slots[k - 1].kind == s.kind)
          low = lists[s.colour][s.offset - 1] + 1;  // equal men in ascending order
        for (int sq = low; sq < high; ++sq) {
          if (used >> sq & 1) continue;
          lists[s.colour][s.offset] = sq;
          self(self, k + 1, used | uint64_t(1) << sq);
        }
        lists[s.colour][s.offset] = 64;
      };
      place(place, 0, kings);
    }
  }
  EXPECT_GT(count, 0u);
  EXPECT_LT(largest, entries);
}

}  // namespace

TEST(TbIndex, BaseTablesGiveTheKnownTotals) {
  tbInitIndexTables();
  EXPECT_EQ(tb::baseTotal(true, 1, tb::KIND_PAWN), 81664u);
  EXPECT_EQ(tb::baseTotal(true, 1, tb::KIND_FREE_PAWN), 84012u);
  EXPECT_EQ(tb::baseTotal(false, 1, tb::KIND_KNIGHT), 26282u);
  EXPECT_EQ(tb::baseTotal(false, 1, tb::KIND_ROOK), 27036u);  // krk: 6 beyond the file's 27030
  EXPECT_EQ(tb::baseTotal(false, 2, tb::KIND_QUEEN, tb::KIND_QUEEN), 699072u);
  int pawnPairs = 0, pawnlessPairs = 0;
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) {
      pawnPairs += tb::kingPairNumber(true, a, b) != tb::KK_INVALID;
      pawnlessPairs += tb::kingPairNumber(false, a, b) != tb::KK_INVALID;
    }
  EXPECT_EQ(pawnPairs, 1806);
  EXPECT_EQ(pawnlessPairs, 462);
  EXPECT_EQ(tb::kingPairNumber(true, 59, 63), 1805);  // d8-h8, the last pair
  EXPECT_EQ(tb::kingPairNumber(false, 27, 63), 461);  // d4-h8
  EXPECT_EQ(tb::kingPairNumber(false, 0, 8), tb::KK_INVALID);  // a1-a2 touch
}

// The files end with the last position that can arise: decoding from the end of each
// function's range, the first legal position is the file's last entry. This pins the
// layout of all 356 functions to the entries of the ending table.
TEST(TbIndex, EveryFileEndsWithItsLastLegalPosition) {
  tbInitIndexTables();
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    for (int side = 0; side < 2; ++side) {
      if (side == 1 && (tbEndings[size_t(e)].flags & TB_SYMMETRIC)) continue;
      const uint64_t range = tbEntryRange(e, side);
      ASSERT_GE(range, tbEndings[size_t(e)].entries[side]) << tbEndings[size_t(e)].name;
      uint64_t i = range;
      int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep = TB_NO_EN_PASSANT;
      while (i > 0) {
        --i;
        if (tbDecodeEntry(e, side, i, first, second, &ep) && legal(e, side, first, second, ep)) break;
      }
      EXPECT_EQ(i + 1, tbEndings[size_t(e)].entries[side]) << tbEndings[size_t(e)].name << " side " << side;
      EXPECT_EQ(indexOf(e, side, first, second, ep), i) << tbEndings[size_t(e)].name << " side " << side;
    }
}

TEST(TbIndex, ThreeMenExhaustive) {
  for (int e = 1; e <= 5; ++e)
    for (int side = 0; side < 2; ++side) exhaustive(e, side, true, 1);
}

TEST(TbIndex, FourMenExhaustive) {
  for (int e = 6; e <= 35; ++e)
    for (int side = 0; side < 2; ++side) exhaustive(e, side, false, 97);
}

// Five and six men: random legal positions stay inside the file and decode back.
TEST(TbIndex, FiveAndSixMenSampled) {
  Rng rng(7);
  for (int e = 36; e <= TB_ENDING_COUNT; ++e)
    for (int side = 0; side < 2; ++side) {
      uint64_t largest = 0;
      int failures = 0;
      int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE];
      for (int n = 0; n < 300; ++n) {
        randomLegal(e, side, rng, first, second);
        checkPosition(e, side, first, second, true, &largest, &failures);
      }
      EXPECT_LT(largest, tbEndings[size_t(e)].entries[side]) << tbEndings[size_t(e)].name;
    }
}

TEST(TbIndex, MirrorImagesShareTheirEntry) {
  Rng rng(11);
  for (int e = 1; e <= TB_ENDING_COUNT; ++e) {
    SideMen men[2];
    endingMen(e, men);
    const bool pawns = hasPawns(e);
    for (int side = 0; side < 2; ++side)
      for (int n = 0; n < 40; ++n) {
        int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE];
        randomLegal(e, side, rng, first, second);
        const uint32_t i = indexOf(e, side, first, second);
        for (int t = 1; t < (pawns ? 2 : 8); ++t) {
          int a[PIECE_SQUARES_SIZE], b[PIECE_SQUARES_SIZE];
          transformList(first, a, t, men[0]);
          transformList(second, b, t, men[1]);
          // Both kings on one long diagonal: the transposed position is a second entry.
          const int k1 = first[PS_KING], k2 = second[PS_KING];
          const bool bothOnDiagonal = (k1 & 7) == (k1 >> 3) && (k2 & 7) == (k2 >> 3);
          const bool bothOnAntiDiagonal = (k1 & 7) == 7 - (k1 >> 3) && (k2 & 7) == 7 - (k2 >> 3);
          if (bothOnDiagonal || bothOnAntiDiagonal) continue;
          EXPECT_EQ(indexOf(e, side, a, b), i) << tbEndings[size_t(e)].name << " transform " << t;
        }
        // The same position with colours exchanged (first side Black, ranks reversed).
        int a[PIECE_SQUARES_SIZE], b[PIECE_SQUARES_SIZE];
        transformList(first, a, 2, men[0]);
        transformList(second, b, 2, men[1]);
        EXPECT_EQ(indexOf(e, side, a, b, TB_NO_EN_PASSANT, 1), i) << tbEndings[size_t(e)].name;
      }
  }
}

TEST(TbIndex, WorkedMembers) {
  tbInitIndexTables();
  const auto pairP = [](int a, int b) { return tb::kingPairNumber(true, a, b); };
  const auto pairN = [](int a, int b) { return tb::kingPairNumber(false, a, b); };
  const auto base1 = [](bool pawnTable, int kind, int pair) {
    // base1 of a pair: the placements of all earlier pairs.
    uint64_t sum = 0;
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b) {
        const int p = tb::kingPairNumber(pawnTable, a, b);
        if (p == tb::KK_INVALID || p >= pair) continue;
        sum += uint64_t(tb::allowedCount(kind, b) - tb::allowedSquare(kind, b, a));
      }
    return sum;
  };
  // kpk, first side to move: White Kc2, pawn e4... normalised to files a-d: Kc2 stays.
  {
    const int e = ending("kpk");
    List w(C2), b(G6);
    w.add(PS_PAWN, E4);
    EXPECT_EQ(indexOf(e, 0, w.sq, b.sq), base1(true, tb::KIND_PAWN, pairP(C2, G6)) + manRank(tb::KIND_PAWN, C2, G6, E4));
    // Second side to move: squares ranks-reversed, the pawn as a free pawn of the other side.
    EXPECT_EQ(indexOf(e, 1, w.sq, b.sq),
              base1(true, tb::KIND_FREE_PAWN, pairP(G6 ^ 56 ^ 7, C2 ^ 56 ^ 7)) +
                  manRank(tb::KIND_FREE_PAWN, G6 ^ 63, C2 ^ 63, E4 ^ 63));
  }
  // knk: the second side's king alone is the core.
  {
    const int e = ending("knk");
    List w(B1), b(D3);
    w.add(PS_KNIGHT, H8);
    EXPECT_EQ(indexOf(e, 0, w.sq, b.sq), base1(false, tb::KIND_KNIGHT, pairN(B1, D3)) +
                                             manRank(tb::KIND_KNIGHT, B1, D3, H8));
    EXPECT_EQ(indexOf(e, 1, w.sq, b.sq), uint32_t(pairN(D3 ^ 0, B1)) * 62 + (H8 - 2));
  }
  // krkn with the second side to move: knk-style core times 61 plus the rook digit.
  {
    const int e = ending("krkn");
    List w(D1), b(C3);
    w.add(PS_ROOK, A8);
    b.add(PS_KNIGHT, G5);
    const uint64_t core = base1(false, tb::KIND_KNIGHT, pairN(C3, D1)) + uint64_t(manRank(tb::KIND_KNIGHT, C3, D1, G5));
    EXPECT_EQ(indexOf(e, 1, w.sq, b.sq), core * 61 + (A8 - 3));
  }
  // kqrk with the second side to move: pair x 3782 + queen digit x 61 + rook digit.
  {
    const int e = ending("kqrk");
    List w(H8), b(C2);  // Black king already in the triangle
    w.add(PS_QUEEN, F6).add(PS_ROOK, A7);
    EXPECT_EQ(indexOf(e, 1, w.sq, b.sq),
              uint32_t(pairN(C2, H8)) * 3782 + uint32_t(F6 - 1) * 61 + uint32_t(A7 - 2));
  }
  // knnk with the second side to move: the two knights as one combination, radix 1891.
  {
    const int e = ending("knnk");
    List w(G7), b(D2);
    w.add(PS_KNIGHT, A1).add(PS_KNIGHT, E5);
    const int lo = A1, hi = E5 - 1;  // the king on d2 lies below e5
    EXPECT_EQ(indexOf(e, 1, w.sq, b.sq), uint32_t(pairN(D2, G7)) * 1891 + uint32_t(hi * (hi - 1) / 2 + lo));
  }
  // kpkp, first side to move: core x 47 + other pawn's digit; en passant after all that.
  {
    const int e = ending("kpkp");
    List w(B1), b(H8);
    w.add(PS_PAWN, D5);
    b.add(PS_PAWN, E5);
    const uint32_t core = uint32_t(base1(true, tb::KIND_PAWN, pairP(B1, H8)) + manRank(tb::KIND_PAWN, B1, H8, D5));
    EXPECT_EQ(indexOf(e, 0, w.sq, b.sq), core * 47 + uint32_t(E5 - 8 - 1));
    // e7-e5 just played: d5 takes towards h, code = file 3 + 7.
    EXPECT_EQ(indexOf(e, 0, w.sq, b.sq, E6), 81664u * 47 + uint32_t(pairP(B1, H8)) * 14 + 10);
    // An en-passant square no pawn can use changes nothing.
    List w2(B1);
    w2.add(PS_PAWN, A5);
    EXPECT_EQ(indexOf(e, 0, w2.sq, b.sq, E6), indexOf(e, 0, w2.sq, b.sq));
  }
  // knpkp with the second side to move, en passant: after 81664 x 2820 ordinary entries,
  // pair x 812 + knight digit x 14 + capture code.
  {
    const int e = ending("knpkp");
    List w(H1), b(A8);
    w.add(PS_KNIGHT, F3).add(PS_PAWN, C4);  // c2-c4 just played
    b.add(PS_PAWN, D4);
    // The Black king a8 is on files a-d: no mirror. d4xc3 captures towards file a.
    const int below = (H1 < F3) + (C4 < F3) + (D4 < F3) + (C3 < F3) + (C2 < F3);
    EXPECT_EQ(indexOf(e, 1, w.sq, b.sq, C3),
              81664u * 2820 + uint32_t(pairP(A8, H1)) * 812 + uint32_t(F3 - below) * 14 + (3 - 1));
  }
}

TEST(TbIndex, KppkpLongLossesAreLegalPositions) {
  const int e = ending("kppkp");
  for (uint32_t entry : {56802428u, 56811076u, 56849992u, 56858640u, 59592489u, 67775659u, 71071628u}) {
    int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep;
    ASSERT_TRUE(tbDecodeEntry(e, 1, entry, first, second, &ep)) << entry;
    EXPECT_TRUE(legal(e, 1, first, second)) << entry;
    EXPECT_EQ(indexOf(e, 1, first, second), entry);
  }
}

TEST(TbIndex, EnPassantRangesFollowTheOrdinaryEntries) {
  Rng rng(5);
  EXPECT_EQ(tbOrdinaryRange(ending("kpkp"), 0), 81664u * 47);
  EXPECT_EQ(tbOrdinaryRange(ending("kppkp"), 1), 81664u * 1081);
  for (const char* name : {"kpkp", "kppkp", "knpkp", "kbpkp", "krpkp", "kqpkp"}) {
    const int e = ending(name);
    for (int side = 0; side < 2; ++side) {
      const uint64_t ordinary = tbOrdinaryRange(e, side), range = tbEntryRange(e, side);
      ASSERT_LT(ordinary, range);
      // The en-passant range ends with 14 capture codes.
      EXPECT_EQ((range - ordinary) % 14, 0u) << name;
      int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep;
      int decoded = 0;
      for (int n = 0; n < 4000; ++n) {
        const bool inRange = n % 2 == 0;
        const uint64_t i = inRange ? ordinary + rng.next() % (range - ordinary) : rng.next() % ordinary;
        if (!tbDecodeEntry(e, side, i, first, second, &ep)) continue;
        ++decoded;
        EXPECT_EQ(ep != TB_NO_EN_PASSANT, inRange) << name << " side " << side << " entry " << i;
        EXPECT_EQ(indexOf(e, side, first, second, ep), i) << name << " side " << side;
      }
      EXPECT_GT(decoded, 1000) << name;
    }
  }
}
