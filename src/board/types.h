// Basic records shared by every subsystem: squares, pieces, moves, the position,
// the per-ply undo record and the precomputed board tables.
#pragma once

#include <cstdint>

using Bitboard = uint64_t;
using Move = uint64_t;

// Sides: White is 1, Black is 0; the other side is side ^ 1.
constexpr int BLACK = 0;
constexpr int WHITE = 1;

// Piece codes; a Black code is the White code plus 6.
enum PieceCode : int {
  EMPTY = 0,
  WHITE_PAWN = 1, WHITE_KNIGHT, WHITE_BISHOP, WHITE_ROOK, WHITE_QUEEN, WHITE_KING,
  BLACK_PAWN = 7, BLACK_KNIGHT, BLACK_BISHOP, BLACK_ROOK, BLACK_QUEEN, BLACK_KING,
};

// Squares a1 = 0 .. h8 = 63, square = rank * 8 + file.
enum Square : int {
  A1, B1, C1, D1, E1, F1, G1, H1,
  A2, B2, C2, D2, E2, F2, G2, H2,
  A3, B3, C3, D3, E3, F3, G3, H3,
  A4, B4, C4, D4, E4, F4, G4, H4,
  A5, B5, C5, D5, E5, F5, G5, H5,
  A6, B6, C6, D6, E6, F6, G6, H6,
  A7, B7, C7, D7, E7, F7, G7, H7,
  A8, B8, C8, D8, E8, F8, G8, H8,
  NO_SQUARE = 64
};

constexpr int fileOf(int sq) { return sq & 7; }
constexpr int rankOf(int sq) { return sq >> 3; }

// Piece values used by exchanges, ordering keys and material.
constexpr int PAWN_VALUE = 100;
constexpr int KNIGHT_VALUE = 300;
constexpr int BISHOP_VALUE = 301;
constexpr int ROOK_VALUE = 500;
constexpr int QUEEN_VALUE = 900;
constexpr int KING_VALUE = 30000;

// Scores.
constexpr int INFINITE_SCORE = 30000;
constexpr int MATE_THRESHOLD = 29000;
constexpr int DRAW_MARKER = 25000;

// Move word layout.
constexpr int ORDER_KEY_BIAS = 30000;
constexpr Move makeMoveWord(int from, int to, int piece, int captured, int promotion, int key) {
  return Move(from) | Move(to) << 6 | Move(piece) << 12 | Move(captured) << 18 |
         Move(promotion) << 24 | Move(uint16_t(key)) << 30;
}
constexpr int moveFrom(Move m) { return int(m & 63); }
constexpr int moveTo(Move m) { return int((m >> 6) & 63); }
constexpr int movePiece(Move m) { return int((m >> 12) & 63); }
constexpr int moveCaptured(Move m) { return int((m >> 18) & 63); }
constexpr int movePromotion(Move m) { return int((m >> 24) & 63); }
constexpr int moveOrderKey(Move m) { return int((m >> 30) & 0xFFFF); }
constexpr int moveDrawClaim(Move m) { return int((m >> 46) & 7); }
// drawClaim codes the root search writes into the move it returns when that move draws
// at once. Insufficient material (bits 46 and 48) is marked but not claimed.
constexpr int CLAIM_NONE = 0;
constexpr int CLAIM_REPETITION = 1;
constexpr int CLAIM_FIFTY_MOVES = 2;
constexpr int CLAIM_INSUFFICIENT_MATERIAL = 5;
constexpr Move MOVE_BODY_MASK = (Move(1) << 30) - 1;  // bits make/unmake look at
constexpr Move withOrderKey(Move m, int key) {
  return (m & ~(Move(0xFFFF) << 30)) | Move(uint16_t(key)) << 30;
}
constexpr Move withDrawClaim(Move m, int claim) {
  return (m & ~(Move(7) << 46)) | Move(claim & 7) << 46;
}

// modeFlags bits.
constexpr uint64_t XBOARD_MODE = 0x1;
constexpr uint64_t FORCE_MODE = 0x2;
constexpr uint64_t RANDOM_MODE = 0x8;
constexpr uint64_t STOP_SEARCH = 0x10;
constexpr uint64_t BOOK_OFF = 0x40;
constexpr uint64_t TIME_SHORT = 0x80;
constexpr uint64_t DRAWISH_ENDING = 0x100;
constexpr uint64_t CLOCK_GAME = 0x400;
constexpr uint64_t PONDER_FLAG = 0x800;

// Attack-information byte bits.
constexpr uint8_t ATTACK_COMPUTED = 0x01;
constexpr uint8_t ATTACKED = 0x02;
constexpr uint8_t ATTACK_BY_PAWN = 0x08;
constexpr uint8_t ATTACK_BY_MINOR = 0x10;
constexpr uint8_t ATTACK_BY_ROOK = 0x20;
constexpr uint8_t ATTACK_BY_QUEEN = 0x40;
constexpr uint8_t ATTACK_BY_KING = 0x80;

// Castling-rights values.
constexpr int CASTLE_KING_SIDE = 1;
constexpr int CASTLE_QUEEN_SIDE = 2;

constexpr int MAX_PLY = 64;
constexpr int KEY_HISTORY_SIZE = 100;
constexpr int TEXT_SIZE = 80;
// Room for the moves of any position we accept: at most 16 men a side, so 15 queens
// and a king stay below 420 moves even pseudo-legally.
constexpr int MAX_MOVES = 512;

struct UndoRecord {
  uint8_t whiteAttackInfo[64];
  uint8_t blackAttackInfo[64];
  uint64_t hashKey;
  Bitboard enPassant;
  int32_t whiteCastle;
  int32_t blackCastle;
  int32_t halfMoveClock;
};

// Index of the fourteen square-value tables inside BoardTables::squareValues.
enum SquareValueTable : int {
  SV_WHITE_PAWN, SV_WHITE_KNIGHT, SV_WHITE_BISHOP, SV_WHITE_ROOK, SV_WHITE_QUEEN, SV_WHITE_KING,
  SV_BLACK_PAWN, SV_BLACK_KNIGHT, SV_BLACK_BISHOP, SV_BLACK_ROOK, SV_BLACK_QUEEN, SV_BLACK_KING,
  SV_WHITE_PASSED, SV_BLACK_PASSED, SV_TABLE_COUNT
};

struct BoardTables {
  Bitboard queenSideFiles;
  Bitboard filesAToC;
  Bitboard kingSideFiles;
  Bitboard filesFToH;
  Bitboard edgeSquares;
  Bitboard secondRing;
  Bitboard darkSquares;
  Bitboard lightSquares;
  Bitboard rankMask[8];
  Bitboard fileMask[8];
  Bitboard eastOf[64];
  Bitboard northWestRay[64];
  Bitboard northOf[64];
  Bitboard northEastRay[64];
  Bitboard westOf[64];
  Bitboard southEastRay[64];
  Bitboard southOf[64];
  Bitboard southWestRay[64];
  Bitboard rankNeighbours[64];
  Bitboard adjacentFilesAbove[64];
  Bitboard adjacentFilesBelow[64];
  Bitboard rankAbove[64];
  Bitboard rankTwoAbove[64];
  Bitboard rankBelow[64];
  Bitboard rankTwoBelow[64];
  Bitboard adjacentFiles[64];
  Bitboard filesTwoAway[64];
  Bitboard whitePawnAttacks[64];
  Bitboard blackPawnAttacks[64];
  Bitboard knightAttacks[64];
  Bitboard bishopRays[64];
  Bitboard kingAttacks[64];
  Bitboard kingDistanceTwo[64];
  int32_t squareValues[SV_TABLE_COUNT][64];
  uint64_t pieceKey[12][64];  // index: piece code - 1
  uint64_t enPassantKey[64];
  uint64_t whiteCastleKey[4];
  uint64_t blackCastleKey[4];
  int8_t direction[64][64];
};

struct Position {
  uint32_t bookMisses;
  uint32_t openingNumber;
  uint32_t randomLevel;
  uint32_t movesCompleted;
  uint32_t searchDepth;
  uint32_t fastIterationLimit;
  uint32_t depthLimit;
  uint32_t movesPerControl;
  uint32_t whiteKingSquare;
  uint32_t blackKingSquare;
  uint32_t engineIsBlack;
  uint32_t reversiblePlies;
  uint32_t tablebaseReach;
  uint32_t hashMask;
  uint64_t egtbCacheBytes;  // 64-bit so that caches of 4 GB and more do not wrap
  int32_t rootAlpha;
  int32_t rootBeta;
  int32_t phaseMaterial;
  int32_t rootMoveBonus;
  int32_t pvExtension;
  int32_t checkExtension;
  int32_t singleReplyExtension;
  int32_t mateThreatExtension;
  int32_t recaptureExtension;
  int32_t pawnPushExtension;
  int32_t whitePawnsOnFile[8];
  int32_t blackPawnsOnFile[8];
  int32_t killerFrom[MAX_PLY];
  int32_t killerTo[MAX_PLY];
  double baseTime;
  double clockTime;
  double opponentTime;
  double increment;
  uint64_t modeFlags;
  uint64_t quiesceNodeCount;
  uint64_t nodeCount;
  Bitboard whitePieces;
  Bitboard blackPieces;
  Bitboard whitePawns, blackPawns;
  Bitboard whiteRooks, blackRooks;
  Bitboard whiteKnights, blackKnights;
  Bitboard whiteBishops, blackBishops;
  Bitboard whiteQueens, blackQueens;
  Bitboard occupiedR90;
  Bitboard occupiedA8H1;
  Bitboard occupiedA1H8;
  uint64_t keyHistory[KEY_HISTORY_SIZE];
  int32_t ratingDifference;
  char egtbDirectory[TEXT_SIZE];
  char opponentName[TEXT_SIZE];
  char testText[TEXT_SIZE];
  char myMoveText[TEXT_SIZE];
  char gameTag[TEXT_SIZE];
  char gameId[16];
};

// Piece bitboard of a non-king piece code (kings are known by their squares).
inline Bitboard& pieceBoard(Position& p, int code) {
  static constexpr Bitboard Position::*boards[13] = {
      nullptr,          &Position::whitePawns, &Position::whiteKnights, &Position::whiteBishops,
      &Position::whiteRooks, &Position::whiteQueens, nullptr, &Position::blackPawns,
      &Position::blackKnights, &Position::blackBishops, &Position::blackRooks,
      &Position::blackQueens, nullptr};
  return p.*boards[code];
}

// Colour traits: one template per routine serves both colours through these. Each
// trait names White's member first and Black's second.
template <int Side>
struct Colour {
  static_assert(Side == WHITE || Side == BLACK);
  static constexpr bool white = Side == WHITE;
  template <typename T>
  static constexpr T pick(T forWhite, T forBlack) {
    return white ? forWhite : forBlack;
  }

  static constexpr int side = Side;
  static constexpr int them = Side ^ 1;
  static constexpr int pieceBase = pick(0, 6);  // code = kind + pieceBase
  static constexpr int pawn = WHITE_PAWN + pieceBase, knight = WHITE_KNIGHT + pieceBase,
                       bishop = WHITE_BISHOP + pieceBase, rook = WHITE_ROOK + pieceBase,
                       queen = WHITE_QUEEN + pieceBase, king = WHITE_KING + pieceBase;
  static constexpr Bitboard Position::*pieces =
      pick(&Position::whitePieces, &Position::blackPieces);
  static constexpr Bitboard Position::*pawns = pick(&Position::whitePawns, &Position::blackPawns);
  static constexpr Bitboard Position::*knights =
      pick(&Position::whiteKnights, &Position::blackKnights);
  static constexpr Bitboard Position::*bishops =
      pick(&Position::whiteBishops, &Position::blackBishops);
  static constexpr Bitboard Position::*rooks = pick(&Position::whiteRooks, &Position::blackRooks);
  static constexpr Bitboard Position::*queens =
      pick(&Position::whiteQueens, &Position::blackQueens);
  static constexpr uint32_t Position::*kingSquare =
      pick(&Position::whiteKingSquare, &Position::blackKingSquare);
  static constexpr int32_t (Position::*pawnsOnFile)[8] =
      pick(&Position::whitePawnsOnFile, &Position::blackPawnsOnFile);
  static constexpr int32_t UndoRecord::*castle =
      pick(&UndoRecord::whiteCastle, &UndoRecord::blackCastle);
  static constexpr uint8_t (UndoRecord::*attackInfo)[64] =
      pick(&UndoRecord::whiteAttackInfo, &UndoRecord::blackAttackInfo);
  static constexpr uint64_t (BoardTables::*castleKey)[4] =
      pick(&BoardTables::whiteCastleKey, &BoardTables::blackCastleKey);
  // Squares a pawn of this colour attacks from a square.
  static constexpr Bitboard (BoardTables::*pawnAttacks)[64] =
      pick(&BoardTables::whitePawnAttacks, &BoardTables::blackPawnAttacks);
  static constexpr int up = pick(8, -8);  // pawn step
  static constexpr int relativeRank(int rank) { return white ? rank : 7 - rank; }
  static constexpr int relativeSquare(int sq) { return white ? sq : sq ^ 56; }
  static constexpr int kingHome = relativeSquare(E1), rookQueenSide = relativeSquare(A1),
                       rookKingSide = relativeSquare(H1);
  // Evaluation: the sign that turns this side's own view into White's view, the masks
  // "ahead of" and "behind" a square, the most advanced of a set of men and the
  // square-value tables of this colour.
  static constexpr int sign = pick(1, -1);
  static constexpr Bitboard (BoardTables::*ahead)[64] =
      pick(&BoardTables::northOf, &BoardTables::southOf);
  static constexpr Bitboard (BoardTables::*behind)[64] =
      pick(&BoardTables::southOf, &BoardTables::northOf);
  static constexpr Bitboard (BoardTables::*adjacentFilesAhead)[64] =
      pick(&BoardTables::adjacentFilesAbove, &BoardTables::adjacentFilesBelow);
  static constexpr Bitboard (BoardTables::*adjacentFilesBehind)[64] =
      pick(&BoardTables::adjacentFilesBelow, &BoardTables::adjacentFilesAbove);
  static int mostAdvanced(Bitboard b) {  // b != 0
    return white ? 63 - __builtin_clzll(b) : __builtin_ctzll(b);
  }
  static_assert(SV_BLACK_PAWN == SV_WHITE_PAWN + 6, "square-value tables follow the codes");
  static constexpr int svPawn = SV_WHITE_PAWN + pieceBase, svKnight = SV_WHITE_KNIGHT + pieceBase,
                       svBishop = SV_WHITE_BISHOP + pieceBase, svRook = SV_WHITE_ROOK + pieceBase,
                       svQueen = SV_WHITE_QUEEN + pieceBase, svKing = SV_WHITE_KING + pieceBase,
                       svPassed = pick(SV_WHITE_PASSED, SV_BLACK_PASSED);
};
