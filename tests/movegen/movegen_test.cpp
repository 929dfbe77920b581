#include <gtest/gtest.h>

#include <algorithm>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "test_support.h"

namespace {

std::vector<std::string> texts(const Move* list, int n) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(coordinates(list[i]));
  return out;
}

int key(Move m) { return moveOrderKey(m); }

}  // namespace

TEST(Generators, StartPositionOrder) {
  TestBoard board;
  Move list[MAX_MOVES];
  EXPECT_EQ(generateCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 0), 0);
  EXPECT_EQ(list[0], 0u);
  const int n =
      generateNonCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 0);
  ASSERT_EQ(n, 20);
  const auto moves = texts(list, n);
  const std::vector<std::string> expected = {
      "a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4", "e2e3", "e2e4",
      "f2f3", "f2f4", "g2g3", "g2g4", "h2h3", "h2h4", "b1c3", "b1a3", "g1h3", "g1f3"};
  EXPECT_EQ(moves, expected);
  EXPECT_EQ(list[0] >> 30, 30000u);
  // Black: pieces from the highest square down, targets from the lowest up.
  board.setFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  const int m =
      generateNonCaptures(BLACK, 0, list, &board.position, board.records, &board.tables, 0);
  const auto black = texts(list, m);
  EXPECT_EQ(black.front(), "h7h6");
  EXPECT_EQ(black[1], "h7h5");
  EXPECT_EQ(black[16], "g8f6");
  EXPECT_EQ(black[17], "g8h6");
}

TEST(Generators, PromotionsAndTheirKeys) {
  TestBoard board("3r3k/4P3/8/8/8/8/8/K7 w - - 0 1");
  Move list[MAX_MOVES];
  const int n = generateCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 0);
  ASSERT_EQ(n, 8);
  EXPECT_EQ(texts(list, n), (std::vector<std::string>{"e7e8q", "e7e8r", "e7e8b", "e7e8n", "e7d8q",
                                                      "e7d8r", "e7d8b", "e7d8n"}));
  EXPECT_EQ(key(list[0]), 30800);
  EXPECT_EQ(key(list[1]), 30400);
  EXPECT_EQ(key(list[2]), 30201);
  EXPECT_EQ(key(list[3]), 30200);
  EXPECT_EQ(key(list[4]), 30000 + 500 + 800);  // an undefended rook
  EXPECT_EQ(moveCaptured(list[4]), BLACK_ROOK);
  EXPECT_EQ(movePromotion(list[7]), WHITE_KNIGHT);
  // Quiescence writes the queen only.
  const int q = generateQuiescenceCaptures(WHITE, 0, list, &board.position, board.records, &board.tables);
  EXPECT_EQ(texts(list, q), (std::vector<std::string>{"e7e8q", "e7d8q"}));
}

TEST(Generators, QuiescenceKeepsEvenTradesDropsLosingOnes) {
  // Bishop takes a defended knight (-1) stays; queen takes a pawn defended by a pawn goes.
  TestBoard board("4k3/2p5/3p4/4n3/8/2B5/3Q4/4K3 w - - 0 1");
  Move list[MAX_MOVES];
  const int n =
      generateQuiescenceCaptures(WHITE, 0, list, &board.position, board.records, &board.tables);
  EXPECT_EQ(texts(list, n), (std::vector<std::string>{"c3e5"}));
  EXPECT_EQ(key(list[0]), 29999);
  const int all = generateCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 0);
  EXPECT_EQ(all, 2);
}

TEST(Generators, CastlingNeedsRookOnCornerAndSafeSquares) {
  TestBoard board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  Move list[MAX_MOVES];
  int n = generateNonCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 0);
  auto moves = texts(list, n);
  auto queenSide = std::find(moves.begin(), moves.end(), "e1c1");
  auto kingSide = std::find(moves.begin(), moves.end(), "e1g1");
  ASSERT_NE(queenSide, moves.end());
  ASSERT_NE(kingSide, moves.end());
  EXPECT_LT(queenSide, kingSide);
  EXPECT_EQ(list[kingSide - moves.begin()], Move(0x6184) | Move(30000) << 30);
  // A rook attacking f1 stops king-side castling only; the right alone is not enough.
  board.setFen("r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1");
  n = generateNonCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 1);
  moves = texts(list, n);
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1g1"), 0);
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1c1"), 1);
  board.setFen("r3k2r/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1");  // rights kept, rook gone from h1
  n = generateNonCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 1);
  moves = texts(list, n);
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1g1"), 0);
  board.setFen("r3k2r/8/8/8/8/8/8/R2K3R w KQkq - 0 1");  // rights kept, king gone from e1
  n = generateNonCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 1);
  moves = texts(list, n);
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1g1"), 0);
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1c1"), 0);
  board.setFen("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
  n = generateNonCaptures(BLACK, 0, list, &board.position, board.records, &board.tables, 0);
  moves = texts(list, n);
  EXPECT_EQ(list[std::find(moves.begin(), moves.end(), "e8c8") - moves.begin()] & MOVE_BODY_MASK,
            Move(0xCEBC));
}

// In check the evasion generator gives exactly the legal moves, and outside it every
// legality-tested list equals the pseudo-legal list filtered by make/unmake.
TEST(Generators, LegalityAgreesWithMakeUnmakeEverywhere) {
  uint64_t rng = 0x9E3779B97F4A7C15ULL;
  int checks = 0;
  for (const char* file : {"perft_standard.epd", "perft_suite.epd"}) {
    for (const auto& c : readPerftFile(testDataPath(file))) {
      for (int game = 0; game < 6; ++game) {
        TestBoard board(c.fen);
        for (int ply = 0; ply < 60; ++ply) {
          Position* p = &board.position;
          Move legal[MAX_MOVES], pseudo[MAX_MOVES], filtered[MAX_MOVES];
          const int n = generateLegalMoves(board.side, 0, legal, p, board.records, &board.tables);
          int m = generateCaptures(board.side, 0, pseudo, p, board.records, &board.tables, 1);
          m += generateNonCaptures(board.side, 0, pseudo + m, p, board.records, &board.tables, 1);
          int f = 0;
          for (int i = 0; i < m; ++i)
            if (isLegalMove(board.side, 1, pseudo[i], p, board.records, &board.tables))
              filtered[f++] = pseudo[i];
          ASSERT_EQ(std::vector<Move>(legal, legal + n), std::vector<Move>(filtered, filtered + f))
              << board.fen();
          Bitboard checkers = 0;
          findCheckers(board.side, &checkers, p, &board.tables);
          if (checkers) {
            ++checks;
            Move evasions[MAX_MOVES];
            const int e = generateEvasions(board.side, 0, checkers, evasions, p, board.records, &board.tables);
            std::vector<Move> a(legal, legal + n), b(evasions, evasions + e);
            for (auto& mv : a) mv &= MOVE_BODY_MASK;
            for (auto& mv : b) mv &= MOVE_BODY_MASK;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            ASSERT_EQ(a, b) << board.fen();
          }
          if (n == 0) break;
          rng ^= rng << 13, rng ^= rng >> 7, rng ^= rng << 17;
          board.play(legal[rng % n]);
        }
      }
    }
  }
  EXPECT_GT(checks, 100);
}

TEST(Evasions, OrderPinsDoubleChecksAndEnPassant) {
  auto evasions = [](const std::string& fen) {
    TestBoard board(fen);
    Position* p = &board.position;
    Move list[MAX_MOVES];
    Bitboard checkers = 0;
    findCheckers(board.side, &checkers, p, &board.tables);
    const int n = generateEvasions(board.side, 0, checkers, list, p, board.records, &board.tables);
    return texts(list, n);
  };
  // Rook check on the file: the bishop interposes, the knight pinned by b4 does not,
  // and the king neither stays on the file nor steps back along it.
  EXPECT_EQ(evasions("4r1k1/8/8/8/1b6/8/3N1B2/R3K3 w - - 0 1"),
            (std::vector<std::string>{"f2e3", "e1f1", "e1d1"}));
  // Capture of the checker by pawn (with promotion) before pieces, then king moves;
  // the king only leaves squares the knight or the other king attack.
  EXPECT_EQ(evasions("1n2k3/P7/2K5/8/8/8/8/1R6 w - - 0 1"),
            (std::vector<std::string>{"a7b8q", "a7b8r", "a7b8b", "a7b8n", "b1b8", "c6c7", "c6b7",
                                      "c6d6", "c6b6", "c6d5", "c6c5", "c6b5"}));
  EXPECT_EQ(evasions("4k3/3P4/8/8/8/8/8/4K3 b - - 0 1"),
            (std::vector<std::string>{"e8d7", "e8e7", "e8f7", "e8d8", "e8f8"}));
  // Double check: king moves only, and not along the rook's rank.
  EXPECT_EQ(evasions("4k3/8/8/8/8/5n2/R7/r3K3 w - - 0 1"),
            (std::vector<std::string>{"e1f2", "e1e2"}));
  // The double-stepped pawn gives check; taking it en passant would open the bishop's
  // diagonal onto the king, so only the king may answer.
  const auto answers = evasions("8/b7/8/1Pp5/3K4/8/8/7k w - c6 0 1");
  EXPECT_EQ(std::count(answers.begin(), answers.end(), "b5c6"), 0);
  EXPECT_EQ(evasions("8/8/8/1Pp5/3K4/8/8/7k w - c6 0 1").front(), "b5c6");
}

TEST(Attacks, InformationBytesCheckersAndPins) {
  TestBoard board;
  Position* p = &board.position;
  EXPECT_EQ(attackInfoByWhite(F3, p, &board.records[0], &board.tables), 0x1B);
  EXPECT_EQ(attackInfoByWhite(E4, p, &board.records[0], &board.tables), 0x01);
  EXPECT_EQ(board.records[0].whiteAttackInfo[F3], 0x1B);  // cached in the record
  EXPECT_EQ(attackInfoByWhite(D2, p, &board.records[0], &board.tables), 0x01 | 0x02 | 0x10 | 0x40 | 0x80);

  board.setFen("4k3/8/8/8/8/8/8/K7 w - - 0 1");
  EXPECT_EQ(attackInfoByWhite(B2, p, &board.records[0], &board.tables), 0x83);

  board.setFen("4k3/8/3N4/8/8/8/8/K3R3 b - - 0 1");  // rook and knight give check
  Bitboard checkers = 0;
  EXPECT_EQ(findCheckers(BLACK, &checkers, p, &board.tables), 2);
  EXPECT_EQ(checkers, squareMask[D6] | squareMask[E1]);
  board.setFen("4k3/8/8/1B6/8/8/8/K7 b - - 0 1");
  checkers = 0;
  EXPECT_EQ(findCheckers(BLACK, &checkers, p, &board.tables), 1);

  board.setFen("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
  EXPECT_EQ(discoveredAttacker(BLACK, E2, E1, p, &board.tables), BLACK_ROOK);
  board.setFen("4k3/4r3/8/8/4P3/8/4N3/4K3 w - - 0 1");
  EXPECT_EQ(discoveredAttacker(BLACK, E2, E1, p, &board.tables), 0);
  board.setFen("4k3/8/8/8/q7/8/2N5/4K3 w - - 0 1");
  EXPECT_EQ(discoveredAttacker(BLACK, D2, E1, p, &board.tables), 0);  // knight not on the line
  EXPECT_EQ(discoveredAttacker(BLACK, C2, E1, p, &board.tables), 0);
}

TEST(Attacks, StaticExchange) {
  // Pawn takes a defended knight: 300 - 100.
  TestBoard board("4k3/8/2p5/3n4/4P3/8/8/4K3 w - - 0 1");
  Position* p = &board.position;
  EXPECT_EQ(see(WHITE, E4, D5, p, &board.tables), 200);
  // Queen takes a pawn defended by a pawn.
  board.setFen("4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1");
  EXPECT_EQ(see(WHITE, D2, D5, p, &board.tables), 100 - 900);
  // Doubled rooks on both sides: the x-rays join in and White ends a rook down.
  board.setFen("3rk3/3r4/8/3p4/8/8/3R4/3RK3 w - - 0 1");
  EXPECT_EQ(see(WHITE, D2, D5, p, &board.tables), -400);
  // Bishop x-rays through the capturing queen's diagonal.
  board.setFen("4k3/8/2p5/3p4/4Q3/5B2/8/4K3 w - - 0 1");
  EXPECT_EQ(see(WHITE, E4, D5, p, &board.tables), 100 - 900 + 100);
  // The king takes back only when nothing else attacks the square.
  board.setFen("8/8/3k4/4p3/8/2B5/8/K3R3 w - - 0 1");
  EXPECT_EQ(see(WHITE, E1, E5, p, &board.tables), 100);
  board.setFen("8/8/3k4/4p3/8/8/8/K3R3 w - - 0 1");
  EXPECT_EQ(see(WHITE, E1, E5, p, &board.tables), 100 - 500);
}

TEST(Attacks, CanCheck) {
  TestBoard board("4k3/8/8/8/8/8/8/4K1N1 w - - 0 1");
  Position* p = &board.position;
  EXPECT_EQ(canCheck(WHITE, E8, p, &board.tables), 0);  // knight two moves away
  board.setFen("4k3/8/8/8/4N3/8/8/4K3 w - - 0 1");
  EXPECT_EQ(canCheck(WHITE, E8, p, &board.tables), 1);
  board.setFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  EXPECT_EQ(canCheck(WHITE, E8, p, &board.tables), 1);
  board.setFen("4k3/8/8/8/8/5P2/8/4K3 w - - 0 1");
  EXPECT_EQ(canCheck(WHITE, E5, p, &board.tables), 1);  // f3-f4 attacks e5
  board.setFen("4k3/8/8/8/8/8/5P2/4K3 w - - 0 1");
  EXPECT_EQ(canCheck(WHITE, E5, p, &board.tables), 1);  // f2-f4 double step
  board.setFen("4k3/8/8/8/8/5p2/5P2/4K3 w - - 0 1");
  EXPECT_EQ(canCheck(WHITE, E5, p, &board.tables), 0);  // blocked
  board.setFen("4k3/3p4/8/8/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(canCheck(BLACK, E4, p, &board.tables), 1);  // d7-d5 attacks e4
}

// The most moves a legal position is known to have fit the lists, from either generator.
TEST(Generators, TwoHundredEighteenMoves) {
  TestBoard board("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
  Move list[MAX_MOVES];
  const int captures =
      generateCaptures(WHITE, 0, list, &board.position, board.records, &board.tables, 0);
  const int quiet = generateNonCaptures(WHITE, 0, list + captures, &board.position,
                                        board.records, &board.tables, 0);
  EXPECT_EQ(captures + quiet, 218);
  EXPECT_EQ(board.legalMoves().size(), 218u);
  EXPECT_EQ(board.perftCount(1), 218u);
  EXPECT_EQ(board.perftCount(2), 99u);  // most of them leave Black stalemated or mated
}
