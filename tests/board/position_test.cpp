#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "test_support.h"

TEST(Fen, StartPositionAndCounters) {
  TestBoard board;
  EXPECT_EQ(board.fen(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  board.setFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(board.position.movesCompleted, 0u);
  board.setFen("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(board.position.movesCompleted, 0u);  // full-move 1 is move 1 for both sides
  board.setFen("4k3/8/8/8/8/8/8/4K3 b - - 123 456");
  EXPECT_EQ(board.fen(), "4k3/8/8/8/8/8/8/4K3 b - - 123 456");
  board.setFen("4k3/8/8/8/8/8/8/4K3 w - - 7 0");
  EXPECT_EQ(board.fen(), "4k3/8/8/8/8/8/8/4K3 w - - 7 1");
}

TEST(Fen, CastlingAndEnPassantFields) {
  TestBoard board("r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1");
  EXPECT_EQ(board.records[0].whiteCastle, 1);
  EXPECT_EQ(board.records[0].blackCastle, 2);
  board.setFen("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
  EXPECT_EQ(board.records[0].whiteCastle, 0);
  EXPECT_EQ(board.records[0].blackCastle, 0);
  board.setFen("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2");
  EXPECT_EQ(board.records[0].enPassant, squareMask[D6]);
  // A target no double step can have left is dropped rather than trusted.
  board.setFen("4k3/8/8/4P3/8/8/8/4K3 w - d6 0 2");
  EXPECT_EQ(board.records[0].enPassant, 0u);
  board.setFen("4k3/8/8/4P3/8/8/8/4K3 w - z9 0 2");
  EXPECT_EQ(board.records[0].enPassant, 0u);
  // A target on the mover's own side of the board: White's double step with White to
  // move again. Kept, it would let d2 "capture" on e3 and corrupt the board.
  board.setFen("4k3/8/8/8/4P3/8/3P4/4K3 w - e3 0 1");
  EXPECT_EQ(board.records[0].enPassant, 0u);
  EXPECT_EQ(board.perftCount(1), 7u);
  EXPECT_EQ(board.perftCount(3), TestBoard("4k3/8/8/8/4P3/8/3P4/4K3 w - - 0 1").perftCount(3));
  board.setFen("4k3/8/8/8/4P3/8/3P4/4K3 b - e3 0 1");
  EXPECT_EQ(board.records[0].enPassant, squareMask[E3]);
  // Rights need king and rook on their original squares.
  board.setFen("r3k2r/8/8/8/8/8/8/R4K1R w KQkq - 0 1");
  EXPECT_EQ(board.records[0].whiteCastle, 0);
  EXPECT_EQ(board.records[0].blackCastle, 3);
  board.setFen("1r2k2r/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1");
  EXPECT_EQ(board.records[0].whiteCastle, CASTLE_QUEEN_SIDE);
  EXPECT_EQ(board.records[0].blackCastle, CASTLE_KING_SIDE);
  EXPECT_EQ(board.fen(), "1r2k2r/8/8/8/8/8/8/R3K1R1 w Qk - 0 1");
}

TEST(Fen, EverySuitePositionReadsBackUnchanged) {
  int count = 0;
  for (const char* file : {"perft_standard.epd", "perft_suite.epd"}) {
    for (const auto& c : readPerftFile(testDataPath(file))) {
      std::string fen = c.fen;
      while (!fen.empty() && fen.back() == ' ') fen.pop_back();
      TestBoard board(fen);
      EXPECT_EQ(board.fen(), fen);
      ++count;
    }
  }
  EXPECT_GT(count, 60);
}

TEST(Fen, BadPlacementsAreRefusedAndChangeNothing) {
  TestBoard board;
  const std::string before = board.fen();
  const uint64_t key = board.records[0].hashKey;
  for (const char* bad : {
           "rnbqkbnr/ppppXppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // strange letter
           "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // digit 9
           "rnbqkbnr/pppppppp/08/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", // digit 0
           "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", // nine squares
           "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq - 0 1",  // nine ranks
           "rnbqkbnr/pppppppp/44p/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // past the rank
           "rnbqkbnr/pppppppp/54/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // digits past it
           "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/////// w - - 0 1",  // below a1
           "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",                              // pawn on rank 8
           "4k3/8/8/8/8/8/8/4KK2 w - - 0 1",                              // two kings
           "8/8/8/8/8/8/8/4K3 w - - 0 1",                                 // no Black king
           "4k3/8/8/8/8/8/8/8 b - - 0 1",                                 // no White king
           "8/8/8/8/8/8/8/8 w - - 0 1",                                   // no king at all
           "",                                                            // no placement
       }) {
    EXPECT_FALSE(board.setFen(bad)) << bad;
    EXPECT_EQ(board.fen(), before) << bad;
    EXPECT_EQ(board.records[0].hashKey, key) << bad;
  }
}

TEST(Fen, HashKeyMatchesTheKeyReachedByMoves) {
  TestBoard played;
  // 1.e4 c5 2.Nf3 d5: a double step leaves an en-passant target each time.
  const char* moves[] = {"e2e4", "c7c5", "g1f3", "d7d5"};
  for (const char* text : moves) {
    for (Move m : played.legalMoves())
      if (coordinates(m) == text) {
        played.play(m);
        break;
      }
  }
  TestBoard fromFen(played.fen());
  EXPECT_EQ(fromFen.fen(), played.fen());
  EXPECT_EQ(fromFen.records[0].hashKey, played.records[0].hashKey);
  EXPECT_EQ(fromFen.records[0].enPassant, squareMask[D6]);
}

TEST(Reverse, TwiceGivesBackThePosition) {
  TestBoard board("r3k2r/1p6/8/3pP3/8/8/6P1/R3K2R w Kq d6 3 17");
  board.position.engineIsBlack = 0;
  char text[FEN_SIZE];
  testing::internal::CaptureStdout();
  reverseBoard(&board.side, &board.position, &board.records[0], &board.tables, text);
  EXPECT_STREQ(text, "r3k2r/6p1/8/8/3Pp3/8/1P6/R3K2R b Qk d3 3 17");
  EXPECT_EQ(board.fen(), text);
  EXPECT_EQ(board.side, BLACK);
  EXPECT_EQ(board.position.engineIsBlack, 1u);
  reverseBoard(&board.side, &board.position, &board.records[0], &board.tables, text);
  testing::internal::GetCapturedStdout();
  EXPECT_STREQ(text, "r3k2r/1p6/8/3pP3/8/8/6P1/R3K2R w Kq d6 3 17");
  EXPECT_EQ(board.side, WHITE);
  EXPECT_EQ(board.position.engineIsBlack, 0u);
  EXPECT_EQ(board.records[0].hashKey, TestBoard(text).records[0].hashKey);
}

TEST(Display, DiagramLayout) {
  TestBoard board("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  testing::internal::CaptureStdout();
  displayBoard(&board.position);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "\n  A B C D E F G H"
            "\n8 - - - - k - - - "
            "\n7 - - - - - - - - "
            "\n6 - - - - - - - - "
            "\n5 - - - - - - - - "
            "\n4 - - - - - - - - "
            "\n3 - - - - - - - - "
            "\n2 - - - - F - - - "
            "\n1 - - - - K - - - \n\n");
}

// The rebuild itself still stops on a board without a king: only an internal fault can
// hand it one, since every FEN is checked first.
TEST(RebuildDeathTest, MissingKingEndsTheProcess) {
  TestBoard board;
  int empty[64] = {};
  empty[E8] = BLACK_KING;
  Position p{};
  UndoRecord r{};
  EXPECT_EXIT(
      {
        rebuildPosition(empty, &p, &r, &board.tables);
        std::fflush(stdout);
      },
      testing::ExitedWithCode(1), "");
}
