// The evaluation as a whole: colour symmetry over many positions, the lazy exits of the
// middlegame and the score command.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "board/makemove.h"
#include "eval/terms.h"
#include "eval_helpers.h"

using namespace evalterms;

namespace {

int swapColour(int code) { return code == 0 ? 0 : code <= 6 ? code + 6 : code - 6; }

Move mirrorMove(Move m) {
  return makeMoveWord(moveFrom(m) ^ 56, moveTo(m) ^ 56, swapColour(movePiece(m)),
                      swapColour(moveCaptured(m)), swapColour(movePromotion(m)), 0);
}

// The EPD positions, and with randomPlay the positions reached from them by random play
// that prefers captures, so that many endgames come up. Fixed seed: the same set every run.
std::vector<std::string> testPositions(bool randomPlay) {
  std::vector<std::string> fens;
  for (const auto& entry : std::filesystem::directory_iterator(testDataPath("epd"))) {
    std::ifstream in(entry.path());
    std::string line, placement, side, castling, enPassant;
    while (entry.path().extension() == ".epd" && std::getline(in, line)) {
      std::istringstream fields(line);
      if (fields >> placement >> side >> castling >> enPassant)
        fens.push_back(placement + " " + side + " " + castling + " " + enPassant + " 0 1");
    }
  }
  std::mt19937 rng(20240611);
  TestBoard b;
  for (size_t i = 0, starts = randomPlay ? fens.size() : 0; i < starts; ++i) {
    b.setFen(fens[i]);
    for (int ply = 1; ply <= 90; ++ply) {
      std::vector<Move> moves = b.legalMoves(), captures;
      if (moves.empty()) break;
      for (Move m : moves)
        if (moveCaptured(m)) captures.push_back(m);
      const std::vector<Move>& pool = !captures.empty() && rng() % 10 < 7 ? captures : moves;
      b.play(pool[rng() % pool.size()]);
      if (ply % 6 == 0) fens.push_back(b.fen());
    }
  }
  return fens;
}

// One board against its colour-reversed twin: every score negated, the flags alike.
void compareMirrored(TestBoard& a, TestBoard& b, const std::string& what) {
  const MaterialResult ma = material(a), mb = material(b);
  const bool draw = ma.score == MATERIAL_DRAW;
  ASSERT_EQ(draw, mb.score == MATERIAL_DRAW) << what;
  EXPECT_EQ(ma.score, draw ? ma.score : -mb.score) << what;
  EXPECT_EQ(ma.bonus, -mb.bonus) << what;
  EXPECT_EQ(ma.white, -mb.black) << what;
  EXPECT_EQ(drawish(a), drawish(b)) << what;
  EXPECT_EQ(whiteKingSafety(1, &a.position, a.records, &a.tables),
            -blackKingSafety(1, &b.position, b.records, &b.tables))
      << what;
  if (draw) return;
  for (int side : {WHITE, BLACK})
    EXPECT_EQ(eval(a, ma, side), -eval(b, mb, side ^ 1)) << what << ", side " << side;
}

TEST(EvaluationSymmetry, ReversedColoursGiveTheNegatedScore) {
  const std::vector<std::string> fens = testPositions(true);
  const std::vector<std::string> reversed = reversedFens(fens);
  ASSERT_GT(fens.size(), 2000u);
  TestBoard a, b;
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &a.tables));
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables));
  int endgames = 0, middlegames = 0;
  std::mt19937 rng(7);
  for (size_t i = 0; i < fens.size() && !HasFailure(); ++i) {
    a.setFen(fens[i]);
    b.setFen(reversed[i]);
    const MaterialResult m = material(a);
    std::min(m.white, -m.black) > MIDDLEGAME_PHASE ? ++middlegames : ++endgames;
    compareMirrored(a, b, fens[i]);
    EXPECT_EQ(scoreCommand(a.side, &a.position, a.records, &a.tables),
              scoreCommand(b.side, &b.position, b.records, &b.tables))
        << fens[i];
    // Once more after a move made in the search at ply 1, so that castling rights lost
    // since the root and fresh attack caches come in.
    const std::vector<Move> moves = a.legalMoves();
    if (moves.empty()) continue;
    const Move move = moves[rng() % moves.size()];
    makeMove(a.side, 1, move, &a.position, a.records, &a.tables);
    makeMove(b.side, 1, mirrorMove(move), &b.position, b.records, &b.tables);
    a.side ^= 1;
    b.side ^= 1;
    compareMirrored(a, b, fens[i] + " after " + coordinates(move));
  }
  EXPECT_GT(endgames, 500);
  EXPECT_GT(middlegames, 500);
}

TEST(Evaluation, CompleteSumAndOpenFilesForTheBetterDeveloped) {
  // A colour-symmetric middlegame where every middlegame term is non-zero for each side:
  // 0 for either side to move only if no term of either side is left out.
  TestBoard b("5rk1/2Qp1ppp/rp1b4/4N3/4n3/RP1B4/2qP1PPP/5RK1 w - - 0 1");
  for (int side : {WHITE, BLACK}) EXPECT_EQ(eval(b, material(b), side), 0) << side;
  // Ra1 leaves White two pieces at home (Nb1 and Ra1) against Black's one (Nb8); Ra2 evens
  // it. Nothing else changes, so the difference is -10 for each of the eight open files.
  TestBoard atHome("1nrq2k1/8/8/8/8/8/6K1/RN1Q4 w - - 0 1");
  TestBoard evened("1nrq2k1/8/8/8/8/8/R5K1/1N1Q4 w - - 0 1");
  for (int side : {WHITE, BLACK})
    EXPECT_EQ(eval(atHome, material(atHome), side) - eval(evened, material(evened), side), -80);
}

// --- lazy exits ----------------------------------------------------------------------

// The mover's terms in the order evaluate adds them between its lazy tests; the last entry
// is what comes after the last test.
template <int Mover>
std::array<int, 5> moverTerms(TestBoard& b, int phase) {
  const Position* p = &b.position;
  const BoardTables* t = &b.tables;
  const int d = developmentCount<Mover>(p);
  return {pawnTerm<Mover>(p, t, d), knightTerm<Mover>(p, t, d), rookTerm<Mover>(p, t, d, phase),
          bishopTerm<Mover>(p, t),
          queenTerm<Mover>(p, t, d, phase) + kingSquareTerm<Mover>(p, t) +
              trappedRookTerm<Mover ^ 1>(p, t) + blockingBishopTerm<Mover ^ 1>(p, t)};
}

TEST(LazyEvaluation, ExitsAtEachMarginAndNeverWithTheFullWindow) {
  const int margins[5] = {1133, 731, 387, 235, 141};
  TestBoard b;
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables));
  int positions = 0, exactExits[5] = {};
  for (const std::string& fen : testPositions(false)) {
    b.setFen(fen);
    const MaterialResult m = material(b);
    const int phase = std::min(m.white, -m.black);
    if (m.score == MATERIAL_DRAW || phase <= MIDDLEGAME_PHASE) continue;
    ++positions;
    for (int mover : {WHITE, BLACK}) {
      const int sign = mover == WHITE ? 1 : -1;
      // The score at each lazy test: the first is what the highest alpha returns, the
      // others add the mover's terms one by one; the full window must give the total.
      const auto terms = mover == WHITE ? moverTerms<WHITE>(b, phase) : moverTerms<BLACK>(b, phase);
      int sums[6] = {eval(b, m, mover, INFINITE_SCORE)};
      for (int k = 0; k < 5; ++k) sums[k + 1] = sums[k] + terms[k];
      ASSERT_EQ(eval(b, m, mover), sums[5]) << fen;
      auto expected = [&](int alpha) {
        for (int k = 0; k < 5; ++k)
          if (sign * sums[k] + margins[k] <= alpha) return sums[k];
        return sums[5];
      };
      for (int k = 0; k < 5; ++k) {
        const int alpha = sign * sums[k] + margins[k];
        EXPECT_EQ(eval(b, m, mover, alpha), expected(alpha)) << fen << " margin " << k;
        EXPECT_EQ(eval(b, m, mover, alpha - 1), expected(alpha - 1)) << fen << " margin " << k;
        if (expected(alpha) == sums[k] && expected(alpha - 1) != sums[k]) ++exactExits[k];
      }
    }
  }
  ASSERT_GT(positions, 100);
  for (int k = 0; k < 5; ++k) EXPECT_GT(exactExits[k], 10) << "margin " << k;
}

TEST(ScoreCommand, SideToMoveViewOfTheSideNotToMove) {
  // Pawn a5 against Ke8: 100 in material, -72 from the kings' distances, and the race
  // bonus of 400 only when evaluate is asked for White, that is with Black to move.
  TestBoard b("4k3/8/8/P7/8/8/8/7K w - - 0 1");
  auto score = [&b] { return scoreCommand(b.side, &b.position, b.records, &b.tables); };
  EXPECT_EQ(score(), 100 - 72);
  EXPECT_EQ(b.position.engineIsBlack, 1u);  // set for the command only
  b.setFen("4k3/8/8/P7/8/8/8/7K b - - 0 1");
  EXPECT_EQ(score(), -(100 - 72 + 400));
  b.setFen("8/8/4k3/8/8/2n5/3B4/4K3 w - - 0 1");  // no mating material
  EXPECT_EQ(score(), 0);
}

}  // namespace
