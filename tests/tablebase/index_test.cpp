#include "tablebase/index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "tb_test_util.h"

using namespace tbtest;

namespace {

const char* nameOf(int e) { return tbEndings[size_t(e)].name; }

uint32_t indexOf(int e, int side, const int* first, const int* second, int ep = TB_NO_EN_PASSANT,
                 int reflect = 0) {
  return tbEndings[size_t(e)].indexFunction[side](first, second, ep, reflect);
}

// A legal position's entry lies inside the file and decodes to an image of the position
// under the board's symmetries (a symmetric ending reads its one file with the sides
// exchanged).
::testing::AssertionResult roundTrips(int e, int side, const int* first, const int* second) {
  const uint32_t i = indexOf(e, side, first, second);
  const auto failure = [&] {
    return ::testing::AssertionFailure() << nameOf(e) << " side " << side << " entry " << i;
  };
  if (i >= tbEndings[size_t(e)].entries[side]) return failure() << " is past the file";
  const bool swapped = side == 1 && (tbEndings[size_t(e)].flags & TB_SYMMETRIC);
  int q1[PIECE_SQUARES_SIZE], q2[PIECE_SQUARES_SIZE], ep;
  if (!tbDecodeEntry(e, swapped ? 0 : side, i, q1, q2, &ep) || ep != TB_NO_EN_PASSANT)
    return failure() << " does not decode";
  if (swapped) std::swap(first, second);
  SideMen men[2];
  endingMen(e, men);
  for (int t = 0; t < (hasPawns(e) ? 2 : 8); ++t) {
    int a[PIECE_SQUARES_SIZE], b[PIECE_SQUARES_SIZE];
    transformList(first, a, t, men[0]);
    transformList(second, b, t, men[1]);
    if (std::equal(a, a + PIECE_SQUARES_SIZE, q1) && std::equal(b, b + PIECE_SQUARES_SIZE, q2))
      return ::testing::AssertionSuccess();
  }
  return failure() << " decodes to another position";
}

}  // namespace

TEST(TbIndex, BaseTablesGiveTheKnownTotals) {
  tbInitIndexTables();
  EXPECT_EQ(tb::baseTotal(true, 1, tb::KIND_PAWN), 81664u);
  EXPECT_EQ(tb::baseTotal(true, 1, tb::KIND_FREE_PAWN), 84012u);
  EXPECT_EQ(tb::baseTotal(false, 1, tb::KIND_KNIGHT), 26282u);
  EXPECT_EQ(tb::baseTotal(false, 1, tb::KIND_ROOK), 27036u);  // krk: 6 beyond the file's 27030
}

// The files end with the last position that can arise: decoding down from the end of
// each function's range, the first legal position is the file's last entry. This pins
// the layout of all 356 functions to the entries of the ending table.
TEST(TbIndex, EveryFileEndsWithItsLastLegalPosition) {
  tbInitIndexTables();
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    for (int side = 0; side < ((tbEndings[size_t(e)].flags & TB_SYMMETRIC) ? 1 : 2); ++side) {
      uint64_t i = tbEntryRange(e, side);
      ASSERT_GE(i, tbEndings[size_t(e)].entries[side]) << nameOf(e);
      int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep = TB_NO_EN_PASSANT;
      while (i > 0 && !(tbDecodeEntry(e, side, --i, first, second, &ep) &&
                        legal(e, side, first, second, ep))) {
      }
      EXPECT_EQ(i + 1, tbEndings[size_t(e)].entries[side]) << nameOf(e) << " side " << side;
      EXPECT_EQ(indexOf(e, side, first, second, ep), i) << nameOf(e) << " side " << side;
    }
}

// Every legal placement of a 3-man ending lies inside the file and decodes back.
TEST(TbIndex, ThreeMenExhaustive) {
  for (int e = 1; e <= 5; ++e)  // kpk knk kbk krk kqk: the man's list offset is 3 (e - 1)
    for (int side = 0; side < 2; ++side)
      for (int squares = 0; squares < 64 * 64 * 64; ++squares) {
        List first(squares & 63), second(squares >> 6 & 63);
        first.add(3 * (e - 1), squares >> 12);
        if (legal(e, side, first.sq, second.sq)) {
          ASSERT_TRUE(roundTrips(e, side, first.sq, second.sq));
        }
      }
}

// Random legal positions of every ending round-trip, and their mirror images and the
// colour-reversed position (first side Black, ranks reversed) share their entry.
TEST(TbIndex, SampledPositionsAndTheirImagesShareOneEntry) {
  Rng rng(11);
  for (int e = 1; e <= TB_ENDING_COUNT; ++e) {
    SideMen men[2];
    endingMen(e, men);
    for (int side = 0; side < 2; ++side) {
      for (int n = 0; n < 300; ++n) {
        int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], a[PIECE_SQUARES_SIZE],
            b[PIECE_SQUARES_SIZE];
        randomLegal(e, side, rng, first, second);
        ASSERT_TRUE(roundTrips(e, side, first, second));
        const uint32_t i = indexOf(e, side, first, second);
        // Both kings on one long diagonal: the transposed position is a second entry.
        const int k1 = first[PS_KING], k2 = second[PS_KING];
        const bool diagonal = ((k1 & 7) == (k1 >> 3) && (k2 & 7) == (k2 >> 3)) ||
                              ((k1 & 7) == 7 - (k1 >> 3) && (k2 & 7) == 7 - (k2 >> 3));
        for (int t = 1; t < (hasPawns(e) ? 2 : 8) && !diagonal; ++t) {
          transformList(first, a, t, men[0]);
          transformList(second, b, t, men[1]);
          ASSERT_EQ(indexOf(e, side, a, b), i) << nameOf(e) << " transform " << t;
        }
        transformList(first, a, 2, men[0]);
        transformList(second, b, 2, men[1]);
        ASSERT_EQ(indexOf(e, side, a, b, TB_NO_EN_PASSANT, 1), i) << nameOf(e) << " reversed";
      }
      // Entries past the ordinary range are en-passant positions, and round-trip too.
      const uint64_t ordinary = tbOrdinaryRange(e, side), range = tbEntryRange(e, side);
      for (int n = 0; n < 1000 && ordinary < range; ++n) {
        int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep;
        const uint64_t i = ordinary + rng.next() % (range - ordinary);
        if (!tbDecodeEntry(e, side, i, first, second, &ep)) continue;
        ASSERT_NE(ep, TB_NO_EN_PASSANT) << nameOf(e) << " side " << side << " entry " << i;
        ASSERT_EQ(indexOf(e, side, first, second, ep), i) << nameOf(e) << " side " << side;
      }
    }
  }
}

TEST(TbIndex, WorkedMembers) {
  tbInitIndexTables();
  using tb::kingPairNumber;
  // base1 of a pair: the placements of one man over all earlier pairs.
  const auto base1 = [](bool pawnTable, int kind, int pair) {
    uint64_t sum = 0;
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b)
        if (kingPairNumber(pawnTable, a, b) < pair)
          sum += uint64_t(tb::allowedCount(kind, b) - tb::allowedSquare(kind, b, a));
    return sum;
  };
  // The rank of a man: allowed squares below it, less the side to move's king among them.
  const auto rank = [](int kind, int kS, int kO, int s) {
    int r = 0;
    for (int x = 0; x < s; ++x) r += tb::allowedSquare(kind, kO, x);
    return r - (kS < s && tb::allowedSquare(kind, kO, kS));
  };
  const auto e = [](const char* name) { return tbFindEnding(name); };
  {  // kpk; with the second side to move on squares XOR 63 (normalised to files a-d)
    List w(C2), b(G6);
    w.add(PS_PAWN, E4);
    EXPECT_EQ(
        indexOf(e("kpk"), 0, w.sq, b.sq),
        base1(true, tb::KIND_PAWN, kingPairNumber(true, C2, G6)) + rank(tb::KIND_PAWN, C2, G6, E4));
    EXPECT_EQ(indexOf(e("kpk"), 1, w.sq, b.sq),
              base1(true, tb::KIND_FREE_PAWN, kingPairNumber(true, G6 ^ 63, C2 ^ 63)) +
                  rank(tb::KIND_FREE_PAWN, G6 ^ 63, C2 ^ 63, E4 ^ 63));
  }
  {  // knk, second side to move: the pair, then the knight over 62 squares
    List w(B1), b(D3);
    w.add(PS_KNIGHT, H8);
    EXPECT_EQ(indexOf(e("knk"), 1, w.sq, b.sq),
              uint32_t(kingPairNumber(false, D3, B1)) * 62 + (H8 - 2));
  }
  {  // krkn, second side to move: knk-style core times 61 plus the rook digit
    List w(D1), b(C3);
    w.add(PS_ROOK, A8);
    b.add(PS_KNIGHT, G5);
    const uint64_t core = base1(false, tb::KIND_KNIGHT, kingPairNumber(false, C3, D1)) +
                          rank(tb::KIND_KNIGHT, C3, D1, G5);
    EXPECT_EQ(indexOf(e("krkn"), 1, w.sq, b.sq), core * 61 + (A8 - 3));
  }
  {  // kqrk, second side to move: pair x 3782 + queen digit x 61 + rook digit
    List w(H8), b(C2);
    w.add(PS_QUEEN, F6).add(PS_ROOK, A7);
    EXPECT_EQ(indexOf(e("kqrk"), 1, w.sq, b.sq),
              uint32_t(kingPairNumber(false, C2, H8)) * 3782 + (F6 - 1) * 61 + (A7 - 2));
  }
  {  // knnk, second side to move: the knights as one combination, radix 1891
    List w(G7), b(D2);
    w.add(PS_KNIGHT, A1).add(PS_KNIGHT, E5);
    const int hi = E5 - 1;  // the king on d2 lies below e5
    EXPECT_EQ(indexOf(e("knnk"), 1, w.sq, b.sq),
              uint32_t(kingPairNumber(false, D2, G7)) * 1891 + hi * (hi - 1) / 2 + A1);
  }
  {  // kpkp, first side to move: core x 47 + other pawn's digit; en passant after all that
    List w(B1), b(H8);
    w.add(PS_PAWN, D5);
    b.add(PS_PAWN, E5);
    const uint64_t core =
        base1(true, tb::KIND_PAWN, kingPairNumber(true, B1, H8)) + rank(tb::KIND_PAWN, B1, H8, D5);
    EXPECT_EQ(indexOf(e("kpkp"), 0, w.sq, b.sq), core * 47 + (E5 - 8 - 1));
    // e7-e5 just played: d5 takes towards h, code = file 3 + 7.
    EXPECT_EQ(indexOf(e("kpkp"), 0, w.sq, b.sq, E6),
              81664u * 47 + uint32_t(kingPairNumber(true, B1, H8)) * 14 + 10);
    List w2(B1);  // an en-passant square no pawn can use changes nothing
    w2.add(PS_PAWN, A5);
    EXPECT_EQ(indexOf(e("kpkp"), 0, w2.sq, b.sq, E6), indexOf(e("kpkp"), 0, w2.sq, b.sq));
  }
  {  // knpkp, second side to move, en passant: 81664 x 2820 + pair x 812 + knight x 14 + code
    List w(H1), b(A8);
    w.add(PS_KNIGHT, F3).add(PS_PAWN, C4);  // c2-c4 just played; d4xc3 takes towards file a
    b.add(PS_PAWN, D4);
    const int below = (H1 < F3) + (C4 < F3) + (D4 < F3) + (C3 < F3) + (C2 < F3);
    EXPECT_EQ(indexOf(e("knpkp"), 1, w.sq, b.sq, C3),
              81664u * 2820 + uint32_t(kingPairNumber(true, A8, H1)) * 812 +
                  uint32_t(F3 - below) * 14 + (3 - 1));
  }
}
