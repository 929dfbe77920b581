#include <gtest/gtest.h>

#include <cstring>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "movegen/movegen.h"
#include "test_support.h"

namespace {

void expectSameBoard(const Position& a, const Position& b) {
  const Bitboard Position::*boards[] = {
      &Position::whitePieces,  &Position::blackPieces,  &Position::whitePawns,
      &Position::blackPawns,   &Position::whiteRooks,   &Position::blackRooks,
      &Position::whiteKnights, &Position::blackKnights, &Position::whiteBishops,
      &Position::blackBishops, &Position::whiteQueens,  &Position::blackQueens,
      &Position::occupiedR90,  &Position::occupiedA8H1, &Position::occupiedA1H8};
  for (auto board : boards) ASSERT_EQ(a.*board, b.*board);
  ASSERT_EQ(a.whiteKingSquare, b.whiteKingSquare);
  ASSERT_EQ(a.blackKingSquare, b.blackKingSquare);
  ASSERT_EQ(0, std::memcmp(a.whitePawnsOnFile, b.whitePawnsOnFile, sizeof a.whitePawnsOnFile));
  ASSERT_EQ(0, std::memcmp(a.blackPawnsOnFile, b.blackPawnsOnFile, sizeof a.blackPawnsOnFile));
}

// The key, rights and en-passant square a fresh rebuild of the current board computes.
void expectKeyMatchesRebuild(TestBoard& board, int ply) {
  int squares[64];
  boardOf(&board.position, squares);
  Position rebuilt{};
  UndoRecord root = board.records[ply];
  rebuildPosition(squares, &rebuilt, &root, &board.tables);
  ASSERT_EQ(root.hashKey, board.records[ply].hashKey);
  expectSameBoard(rebuilt, board.position);
}

}  // namespace

TEST(MakeMove, RandomGamesKeepEveryFieldAndTheKey) {
  const char* starts[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
  };
  uint64_t rng = 0x243F6A8885A308D3ULL;
  for (const char* fen : starts) {
    for (int game = 0; game < 15; ++game) {
      TestBoard board(fen);
      for (int ply = 1; ply < MAX_PLY - 1; ++ply) {
        Move list[MAX_MOVES];
        const int n = generateLegalMoves(board.side, ply - 1, list, &board.position,
                                         board.records, &board.tables);
        if (n == 0) break;
        // Every move made and taken back leaves the board as it was.
        const Position before = board.position;
        for (int i = 0; i < n; ++i) {
          makeMove(board.side, ply, list[i], &board.position, board.records, &board.tables);
          expectKeyMatchesRebuild(board, ply);
          unmakeMove(board.side, ply, list[i], &board.position, board.records);
          expectSameBoard(before, board.position);
        }
        rng ^= rng << 13, rng ^= rng >> 7, rng ^= rng << 17;
        makeMove(board.side, ply, list[rng % n], &board.position, board.records, &board.tables);
        board.side ^= 1;
      }
    }
  }
}

TEST(MakeMove, CastlingRightsAndTheirKeys) {
  TestBoard board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  auto find = [&](int ply, int from, int to) {
    Move list[MAX_MOVES];
    int n = generateLegalMoves(board.side, ply - 1, list, &board.position, board.records,
                               &board.tables);
    for (int i = 0; i < n; ++i)
      if (moveFrom(list[i]) == from && moveTo(list[i]) == to) return list[i];
    ADD_FAILURE() << "no move " << from << "-" << to;
    return Move(0);
  };
  // Rook a1 moves: only the king side stays; going back does not restore it.
  makeMove(WHITE, 1, find(1, A1, B1), &board.position, board.records, &board.tables);
  EXPECT_EQ(board.records[1].whiteCastle, 1);
  board.side = BLACK;
  makeMove(BLACK, 2, find(2, A8, B8), &board.position, board.records, &board.tables);
  board.side = WHITE;
  makeMove(WHITE, 3, find(3, E1, G1), &board.position, board.records, &board.tables);
  EXPECT_EQ(board.records[3].whiteCastle, -3);
  EXPECT_TRUE(board.position.whiteRooks & squareMask[F1]);
  EXPECT_EQ(board.position.whiteKingSquare, uint32_t(G1));
  expectKeyMatchesRebuild(board, 3);
  board.side = BLACK;
  makeMove(BLACK, 4, find(4, H8, H1), &board.position, board.records, &board.tables);
  EXPECT_EQ(board.records[4].whiteCastle, -3);  // a castled side keeps its mark
  EXPECT_EQ(board.records[4].blackCastle, 0);
}

TEST(MakeMove, RookTakenOnItsCornerTakesTheRightAlong) {
  // Black's bishop takes the h1 rook; a rook that later reaches h1 must not castle.
  TestBoard board("r3k3/8/8/8/8/8/6b1/R3K2R b KQq - 0 1");
  Move list[MAX_MOVES];
  int n = generateLegalMoves(BLACK, 0, list, &board.position, board.records, &board.tables);
  Move take = 0;
  for (int i = 0; i < n; ++i)
    if (moveFrom(list[i]) == G2 && moveTo(list[i]) == H1) take = list[i];
  ASSERT_NE(take, 0u);
  board.play(take);
  EXPECT_EQ(board.records[0].whiteCastle, CASTLE_QUEEN_SIDE);
  EXPECT_EQ(board.fen(), "r3k3/8/8/8/8/8/8/R3K2b w Qq - 0 2");
  EXPECT_EQ(board.records[0].hashKey, TestBoard(board.fen()).records[0].hashKey);
}

TEST(MakeMove, EnPassantDoubleStepsAndHistory) {
  TestBoard board("4k3/8/8/8/1p6/8/P7/4K3 w - - 0 1");
  Move list[MAX_MOVES];
  int n = generateLegalMoves(WHITE, 0, list, &board.position, board.records, &board.tables);
  Move doubleStep = 0;
  for (int i = 0; i < n; ++i)
    if (coordinates(list[i]) == "a2a4") doubleStep = list[i];
  board.play(doubleStep);
  EXPECT_EQ(board.records[0].enPassant, squareMask[A3]);
  n = generateLegalMoves(BLACK, 0, list, &board.position, board.records, &board.tables);
  Move capture = 0;
  for (int i = 0; i < n; ++i)
    if (coordinates(list[i]) == "b4a3") capture = list[i];
  ASSERT_NE(capture, 0u);
  EXPECT_EQ(moveCaptured(capture), 0);
  board.play(capture);
  EXPECT_EQ(board.fen(), "4k3/8/8/8/8/p7/8/4K3 w - - 0 2");
  EXPECT_EQ(board.position.whitePawnsOnFile[0], 0);
  EXPECT_EQ(board.position.blackPawnsOnFile[0], 1);
  EXPECT_EQ(board.position.blackPawnsOnFile[1], 0);

  // Beyond 100 reversible plies nothing more is stored.
  TestBoard kings("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  kings.position.reversiblePlies = 100;
  kings.position.keyHistory[99] = 12345;
  n = generateLegalMoves(WHITE, 0, list, &kings.position, kings.records, &kings.tables);
  makeMove(WHITE, 1, list[0], &kings.position, kings.records, &kings.tables);
  EXPECT_EQ(kings.position.keyHistory[99], 12345u);
}
