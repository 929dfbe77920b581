// The evaluation as a whole: colour symmetry over many positions, the lazy exits of the
// middlegame and the score command.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "board/makemove.h"
#include "board/position.h"
#include "eval/terms.h"
#include "eval_helpers.h"
#include "movegen/movegen.h"

using namespace evalterms;

namespace {

int swapColour(int code) { return code == 0 ? 0 : code <= 6 ? code + 6 : code - 6; }

Move mirrorMove(Move m) {
  return makeMoveWord(moveFrom(m) ^ 56, moveTo(m) ^ 56, swapColour(movePiece(m)),
                      swapColour(moveCaptured(m)), swapColour(movePromotion(m)), 0);
}

std::vector<std::string> epdPositions() {
  std::vector<std::string> fens;
  for (const auto& entry : std::filesystem::directory_iterator(testDataPath("epd"))) {
    if (entry.path().extension() != ".epd") continue;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string placement, side, castling, enPassant;
      if (!(fields >> placement >> side >> castling >> enPassant)) continue;
      fens.push_back(placement + " " + side + " " + castling + " " + enPassant + " 0 1");
    }
  }
  return fens;
}

// The EPD positions plus positions reached from them by random play that prefers
// captures, so that many endgames come up. Fixed seed: the same set every run.
std::vector<std::string> propertyPositions() {
  std::vector<std::string> fens = epdPositions();
  const size_t starts = fens.size();
  std::mt19937 rng(20240611);
  TestBoard b;
  for (size_t i = 0; i < starts; ++i) {
    b.setFen(fens[i]);
    for (int ply = 1; ply <= 90; ++ply) {
      std::vector<Move> moves = b.legalMoves();
      if (moves.empty()) break;
      std::vector<Move> captures;
      for (Move m : moves)
        if (moveCaptured(m)) captures.push_back(m);
      const std::vector<Move>& pool = !captures.empty() && rng() % 10 < 7 ? captures : moves;
      b.play(pool[rng() % pool.size()]);
      if (ply % 6 == 0) fens.push_back(b.fen());
    }
  }
  return fens;
}

// Colour-reversed FEN of each position, through the engine's own reverse command.
std::vector<std::string> reversedPositions(const std::vector<std::string>& fens) {
  std::vector<std::string> reversed;
  TestBoard b;
  char text[FEN_SIZE];
  testing::internal::CaptureStdout();  // reverseBoard prints the board
  for (const std::string& fen : fens) {
    b.setFen(fen);
    reverseBoard(&b.side, &b.position, &b.records[0], &b.tables, text);
    reversed.push_back(text);
  }
  testing::internal::GetCapturedStdout();
  return reversed;
}

// Each twin term of White on one board against Black's on the mirrored board.
struct TermValues {
  int v[16];
};

template <int Side>
TermValues termsOf(TestBoard& b, int ply) {
  const Position* p = &b.position;
  const BoardTables* t = &b.tables;
  const int development = developmentCount<Side>(p);
  const MaterialResult m = material(b);
  const int phase = m.white < -m.black ? m.white : -m.black;
  const int own = Side == WHITE ? m.white : -m.black, theirs = Side == WHITE ? -m.black : m.white;
  int passed = 0;
  const Bitboard pawns = p->whitePawns | p->blackPawns;
  const int bothWings = (pawns & t->filesAToC) && (pawns & t->filesFToH);
  TermValues r{{pawnTerm<Side>(p, t, development), knightTerm<Side>(p, t, development),
                bishopTerm<Side>(p, t), blockingBishopTerm<Side>(p, t),
                rookTerm<Side>(p, t, development, phase), trappedRookTerm<Side>(p, t),
                queenTerm<Side>(p, t, development, phase), kingSquareTerm<Side>(p, t),
                kingSafetyTerm<Side>(ply, p, b.records, t),
                passedPawnTerm<Side>(b.side, p, t, theirs, bothWings, &passed),
                endgameKnightTerm<Side>(p, t), endgameBishopTerm<Side>(p, t),
                endgameRookTerm<Side>(p, t), endgameTrappedRookTerm<Side>(p, t),
                endgameKingTerm<Side>(p, t, own, theirs), developmentCount<Side>(p) * 1000 + passed}};
  return r;
}

const char* const termNames[16] = {
    "pawn",           "knight",         "bishop",        "blocking bishop", "rook",
    "trapped rook",   "queen",          "king square",   "king safety",     "passed pawn",
    "endgame knight", "endgame bishop", "endgame rook",  "endgame trapped", "endgame king",
    "development and passed count"};

// Checks one board against its mirror; returns the number of mismatches reported.
int compareMirrored(TestBoard& a, TestBoard& b, int ply, const std::string& what) {
  int failures = 0;
  auto check = [&](int x, int y, const std::string& name) {
    if (x == y) return;
    ++failures;
    ADD_FAILURE() << name << ": " << x << " against " << y << " for " << what;
  };
  const TermValues aw = termsOf<WHITE>(a, ply), ab = termsOf<BLACK>(a, ply);
  const TermValues bw = termsOf<WHITE>(b, ply), bb = termsOf<BLACK>(b, ply);
  for (int i = 0; i < 15; ++i) {
    check(aw.v[i], -bb.v[i], std::string("White ") + termNames[i]);
    check(ab.v[i], -bw.v[i], std::string("Black ") + termNames[i]);
  }
  check(aw.v[15], bb.v[15], termNames[15]);
  check(ab.v[15], bw.v[15], termNames[15]);

  const MaterialResult ma = material(a);
  const bool flagA = drawish(a);
  const MaterialResult mb = material(b);
  check(ma.score == MATERIAL_DRAW ? 0 : ma.score, mb.score == MATERIAL_DRAW ? 0 : -mb.score,
        "material");
  check(ma.bonus, -mb.bonus, "piece advantage bonus");
  check(flagA, drawish(b), "drawish flag");
  check(ma.white, -mb.black, "piece material");
  for (int side : {WHITE, BLACK}) {
    const int x = fullEvaluation(a, side, ply);
    const int y = fullEvaluation(b, side ^ 1, ply);
    check(x, -y, side == WHITE ? "evaluate, White to move" : "evaluate, Black to move");
  }
  return failures;
}

TEST(EvaluationSymmetry, ReversedColoursGiveTheNegatedScore) {
  const std::vector<std::string> fens = propertyPositions();
  const std::vector<std::string> reversed = reversedPositions(fens);
  ASSERT_GT(fens.size(), 2000u);
  TestBoard a, b;
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &a.tables));
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables));
  int failures = 0, endgames = 0, middlegames = 0;
  std::mt19937 rng(7);
  for (size_t i = 0; i < fens.size() && failures < 20; ++i) {
    a.setFen(fens[i]);
    b.setFen(reversed[i]);
    const MaterialResult m = material(a);
    (m.white < -m.black ? m.white : -m.black) > ENDGAME_PHASE ? ++middlegames : ++endgames;
    failures += compareMirrored(a, b, 1, fens[i]);
    if (scoreCommand(a.side, &a.position, a.records, &a.tables) !=
        scoreCommand(b.side, &b.position, b.records, &b.tables)) {
      ++failures;
      ADD_FAILURE() << "score command differs for " << fens[i];
    }
    // The same after one more move made in the search at ply 1, so that castling rights
    // lost since the root and fresh attack caches come in.
    const std::vector<Move> moves = a.legalMoves();
    if (moves.empty()) continue;
    const Move move = moves[rng() % moves.size()];
    makeMove(a.side, 1, move, &a.position, a.records, &a.tables);
    makeMove(b.side, 1, mirrorMove(move), &b.position, b.records, &b.tables);
    a.side ^= 1;
    b.side ^= 1;
    failures += compareMirrored(a, b, 1, fens[i] + " after " + coordinates(move));
  }
  EXPECT_GT(endgames, 500);
  EXPECT_GT(middlegames, 500);
}

// --- lazy exits ----------------------------------------------------------------------

// The middlegame score before each lazy test and the full score, from the terms.
template <int Mover>
std::vector<int> partialSums(TestBoard& b, const MaterialResult& m) {
  constexpr int Other = Mover ^ 1;
  const Position* p = &b.position;
  const BoardTables* t = &b.tables;
  const int phase = m.white < -m.black ? m.white : -m.black;
  const int dm = developmentCount<Mover>(p), dof = developmentCount<Other>(p);
  int s = m.score;
  const int dw = developmentCount<WHITE>(p), db = developmentCount<BLACK>(p);
  if (dw != db) {
    int open = 0;
    for (int f = 0; f < 8; ++f) open += !(p->whitePawnsOnFile[f] || p->blackPawnsOnFile[f]);
    s += (dw < db ? 10 : -10) * open;
  }
  s += kingSafetyTerm<WHITE>(1, p, b.records, t) + kingSafetyTerm<BLACK>(1, p, b.records, t) +
       pawnTerm<Other>(p, t, dof) + knightTerm<Other>(p, t, dof) + bishopTerm<Other>(p, t) +
       rookTerm<Other>(p, t, dof, phase) + queenTerm<Other>(p, t, dof, phase) +
       kingSquareTerm<Other>(p, t) + trappedRookTerm<Mover>(p, t) +
       blockingBishopTerm<Mover>(p, t);
  std::vector<int> sums{s};
  s += pawnTerm<Mover>(p, t, dm);
  sums.push_back(s);
  s += knightTerm<Mover>(p, t, dm);
  sums.push_back(s);
  s += rookTerm<Mover>(p, t, dm, phase);
  sums.push_back(s);
  s += bishopTerm<Mover>(p, t);
  sums.push_back(s);
  s += queenTerm<Mover>(p, t, dm, phase) + kingSquareTerm<Mover>(p, t) +
       trappedRookTerm<Other>(p, t) + blockingBishopTerm<Other>(p, t);
  sums.push_back(s);
  return sums;
}

TEST(LazyEvaluation, ExitsAtTheMarginsAndNeverWithTheFullWindow) {
  const int margins[5] = {1133, 731, 387, 235, 141};
  TestBoard b;
  loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables);
  int positions = 0, exactExits[5] = {};
  for (const std::string& fen : epdPositions()) {
    b.setFen(fen);
    const MaterialResult m = material(b);
    if (m.score == MATERIAL_DRAW || (m.white < -m.black ? m.white : -m.black) <= ENDGAME_PHASE)
      continue;
    ++positions;
    for (int mover : {WHITE, BLACK}) {
      const std::vector<int> sums = mover == WHITE ? partialSums<WHITE>(b, m) : partialSums<BLACK>(b, m);
      const int sign = mover == WHITE ? 1 : -1;
      auto run = [&](int alpha) {
        return evaluate(mover, 1, &b.position, b.records, &b.tables, m.score, m.white, m.black,
                        alpha, m.bonus);
      };
      auto expected = [&](int alpha) {
        for (int k = 0; k < 5; ++k)
          if (sign * sums[k] + margins[k] <= alpha) return sums[k];
        return sums[5];
      };
      ASSERT_EQ(run(-INFINITE_SCORE), sums[5]) << fen;
      for (int k = 0; k < 5; ++k) {
        const int alpha = sign * sums[k] + margins[k];
        EXPECT_EQ(run(alpha), expected(alpha)) << fen << " margin " << k;
        EXPECT_EQ(run(alpha - 1), expected(alpha - 1)) << fen << " margin " << k;
        if (expected(alpha) == sums[k] && expected(alpha - 1) != sums[k]) ++exactExits[k];
      }
    }
  }
  ASSERT_GT(positions, 100);
  for (int k = 0; k < 5; ++k) EXPECT_GT(exactExits[k], 10) << "margin " << k;
}

// --- the score command ---------------------------------------------------------------

TEST(ScoreCommand, SideToMoveView) {
  TestBoard b;
  loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables);
  b.position.engineIsBlack = 1;
  EXPECT_EQ(scoreCommand(b.side, &b.position, b.records, &b.tables), 0);
  EXPECT_EQ(b.position.engineIsBlack, 1u);
  b.setFen("8/8/4k3/8/8/2n5/3B4/4K3 w - - 0 1");
  EXPECT_EQ(scoreCommand(b.side, &b.position, b.records, &b.tables), 0);
  // White a queen up: good for White to move, bad for Black to move.
  b.setFen("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  const int whiteView = scoreCommand(b.side, &b.position, b.records, &b.tables);
  EXPECT_GT(whiteView, 800);
  b.setFen("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_EQ(scoreCommand(b.side, &b.position, b.records, &b.tables), -whiteView);
}

TEST(ScoreCommand, EvaluatesForTheSideNotToMove) {
  // Pawn a5 against a king on e8 (zero square values): 100 in material; the race bonus
  // of 400 applies only when White is the side passed to evaluate, i.e. when Black is to
  // move in the position shown.
  TestBoard b("4k3/8/8/P7/8/8/8/7K w - - 0 1");
  EXPECT_EQ(scoreCommand(b.side, &b.position, b.records, &b.tables), 100 - 72);
  b.setFen("4k3/8/8/P7/8/8/8/7K b - - 0 1");
  EXPECT_EQ(scoreCommand(b.side, &b.position, b.records, &b.tables), -(100 - 72 + 400));
}

}  // namespace
