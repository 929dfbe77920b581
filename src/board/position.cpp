#include "board/position.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/bitboard.h"

namespace {

const char kFenLetters[] = " PNBRQKpnbrqk";
const char kDiagramLetters[] = "-FNBRQKpnbrqk";

int pieceOfLetter(char c) {
  const char* p = std::strchr(kFenLetters + 1, c);
  return (c && p) ? int(p - kFenLetters) : 0;
}

// Writes placement, side, castling and en-passant of a board; shared by getFen and
// reverseBoard so that both write the same layout.
void writeFen(const int board[64], bool whiteToMove, int whiteCastle, int blackCastle,
              Bitboard enPassant, int halfMoveClock, unsigned movesCompleted, char* text) {
  char* out = writePlacement(board, text);
  *out++ = ' ';
  *out++ = whiteToMove ? 'w' : 'b';
  *out++ = ' ';
  if (whiteCastle < 1 && blackCastle < 1) {
    *out++ = '-';
  } else {
    if (whiteCastle > 0) {
      if (whiteCastle & CASTLE_KING_SIDE) *out++ = 'K';
      if (whiteCastle & CASTLE_QUEEN_SIDE) *out++ = 'Q';
    }
    if (blackCastle > 0) {
      if (blackCastle & CASTLE_KING_SIDE) *out++ = 'k';
      if (blackCastle & CASTLE_QUEEN_SIDE) *out++ = 'q';
    }
  }
  *out++ = ' ';
  if (enPassant) {
    int sq = firstOne(enPassant);
    *out++ = char('a' + fileOf(sq));
    *out++ = char('1' + rankOf(sq));
  } else {
    *out++ = '-';
  }
  std::snprintf(out, size_t(FEN_SIZE - (out - text)), " %d %u", halfMoveClock,
                movesCompleted + 1);
}

// A placement that cannot be played from: a colour without exactly one king, more
// than 16 men or 8 pawns of a colour, a pawn on the first or last rank. (A missing king
// is refused here so that a typed FEN never reaches the rebuild's fatal test.)
bool playablePlacement(const int board[64]) {
  int kings[2] = {0, 0}, men[2] = {0, 0}, pawns[2] = {0, 0};
  for (int sq = 0; sq < 64; ++sq) {
    int code = board[sq];
    if (!code) continue;
    int colour = code <= 6 ? WHITE : BLACK;
    int kind = code <= 6 ? code : code - 6;
    ++men[colour];
    if (kind == WHITE_KING) ++kings[colour];
    if (kind == WHITE_PAWN) {
      ++pawns[colour];
      if (rankOf(sq) == 0 || rankOf(sq) == 7) return false;
    }
  }
  for (int c = 0; c < 2; ++c)
    if (kings[c] != 1 || men[c] > 16 || pawns[c] > 8) return false;
  return true;
}

long decimalValue(const char* text) { return std::strtol(text, nullptr, 10); }

}  // namespace

void rebuildPosition(const int board[64], Position* p, UndoRecord* root, const BoardTables* t) {
  std::memset(root->whiteAttackInfo, 0, sizeof root->whiteAttackInfo);
  std::memset(root->blackAttackInfo, 0, sizeof root->blackAttackInfo);

  std::snprintf(p->opponentName, sizeof p->opponentName, "opponent");
  p->engineIsBlack = 1;
  p->nodeCount = p->quiesceNodeCount = 0;
  p->whitePawns = p->blackPawns = p->whiteKnights = p->blackKnights = 0;
  p->whiteBishops = p->blackBishops = p->whiteRooks = p->blackRooks = 0;
  p->whiteQueens = p->blackQueens = 0;
  p->occupiedR90 = p->occupiedA8H1 = p->occupiedA1H8 = 0;
  p->whiteKingSquare = p->blackKingSquare = NO_SQUARE;
  root->hashKey = 0;
  for (int f = 0; f < 8; ++f) p->whitePawnsOnFile[f] = p->blackPawnsOnFile[f] = 0;

  for (int sq = 0; sq < 64; ++sq) {
    int code = board[sq];
    if (code <= 0 || code > 12) continue;
    if (code == WHITE_KING) {
      p->whiteKingSquare = uint32_t(sq);
    } else if (code == BLACK_KING) {
      p->blackKingSquare = uint32_t(sq);
    } else {
      pieceBoard(*p, code) |= squareMask[sq];
    }
    root->hashKey ^= t->pieceKey[code - 1][sq];
    if (code == WHITE_PAWN) ++p->whitePawnsOnFile[fileOf(sq)];
    if (code == BLACK_PAWN) ++p->blackPawnsOnFile[fileOf(sq)];
    toggleRotated(*p, sq);
  }
  if (p->whiteKingSquare == NO_SQUARE) {
    std::printf("ERROR: I can't play chess without White King.\n");
    std::fflush(stdout);
    std::exit(1);
  }
  if (p->blackKingSquare == NO_SQUARE) {
    std::printf("ERROR: I can't play chess without Black King.\n");
    std::fflush(stdout);
    std::exit(1);
  }
  // Rights of a side that has castled (negative) share the key of no rights.
  root->hashKey ^= t->whiteCastleKey[root->whiteCastle > 0 ? root->whiteCastle & 3 : 0];
  root->hashKey ^= t->blackCastleKey[root->blackCastle > 0 ? root->blackCastle & 3 : 0];
  if (root->enPassant) root->hashKey ^= t->enPassantKey[firstOne(root->enPassant)];

  p->whitePieces = p->whitePawns | p->whiteKnights | p->whiteBishops | p->whiteRooks |
                   p->whiteQueens | squareMask[p->whiteKingSquare];
  p->blackPieces = p->blackPawns | p->blackKnights | p->blackBishops | p->blackRooks |
                   p->blackQueens | squareMask[p->blackKingSquare];

  p->movesCompleted = 0;
  p->reversiblePlies = 0;
  p->keyHistory[0] = root->hashKey;  // a set-up position can be repeated too
  for (int i = 0; i < MAX_PLY; ++i) p->killerFrom[i] = p->killerTo[i] = 0;
  p->movesPerControl = 40;
  p->baseTime = p->clockTime = p->opponentTime = 30000.0;
  p->increment = 0.0;
  p->modeFlags &= ~(FORCE_MODE | STOP_SEARCH);
  p->modeFlags |= CLOCK_GAME;
  p->pvExtension = 25;
  p->checkExtension = 100;
  p->singleReplyExtension = 75;
  p->mateThreatExtension = 75;
  p->recaptureExtension = 38;
  p->pawnPushExtension = 75;
}

void setStartPosition(int* sideToMove, Position* p, UndoRecord* root, const BoardTables* t) {
  static const int backRank[8] = {WHITE_ROOK, WHITE_KNIGHT, WHITE_BISHOP, WHITE_QUEEN,
                                  WHITE_KING, WHITE_BISHOP, WHITE_KNIGHT, WHITE_ROOK};
  int board[64] = {};
  for (int f = 0; f < 8; ++f) {
    board[f] = backRank[f];
    board[8 + f] = WHITE_PAWN;
    board[48 + f] = BLACK_PAWN;
    board[56 + f] = backRank[f] + 6;
  }
  root->whiteCastle = root->blackCastle = CASTLE_KING_SIDE | CASTLE_QUEEN_SIDE;
  root->enPassant = 0;
  root->halfMoveClock = 0;
  *sideToMove = WHITE;
  rebuildPosition(board, p, root, t);
}

PlacementStatus readPlacement(const char* placement, int board[64]) {
  for (int sq = 0; sq < 64; ++sq) board[sq] = EMPTY;
  int rankStart = 56, file = 0;
  for (const char* c = placement; *c; ++c) {
    bool ok = true;
    if (int code = pieceOfLetter(*c)) {
      ok = file < 8;
      if (ok) board[rankStart + file++] = code;
    } else if (*c >= '1' && *c <= '8') {
      file += *c - '0';
      ok = file <= 8;
    } else if (*c == '/') {
      ok = rankStart > 0;  // a ninth rank would leave the board
      rankStart -= 8;
      file = 0;
    } else {
      ok = false;
    }
    if (!ok) return PLACEMENT_MALFORMED;
  }
  return playablePlacement(board) ? PLACEMENT_PLAYABLE : PLACEMENT_ILLEGAL;
}

bool setBoardFromFen(const char* placement, char sideCharacter, const char* castling,
                     const char* enPassantText, const char* halfMoveText,
                     const char* fullMoveText, int* sideToMove, Position* p, UndoRecord* root,
                     const BoardTables* t, bool display) {
  int board[64];
  switch (readPlacement(placement, board)) {
    case PLACEMENT_MALFORMED:
      std::fprintf(stderr, "Strange character in FEN\n");
      return false;
    case PLACEMENT_ILLEGAL:
      std::fprintf(stderr, "Illegal position in FEN\n");
      return false;
    case PLACEMENT_PLAYABLE:
      break;
  }

  // A right is kept only while king and rook stand on their original squares.
  int whiteCastle = 0, blackCastle = 0;
  const bool whiteKingHome = board[E1] == WHITE_KING, blackKingHome = board[E8] == BLACK_KING;
  for (const char* c = castling; *c; ++c) {
    if (*c == 'K' && whiteKingHome && board[H1] == WHITE_ROOK) whiteCastle |= CASTLE_KING_SIDE;
    if (*c == 'Q' && whiteKingHome && board[A1] == WHITE_ROOK) whiteCastle |= CASTLE_QUEEN_SIDE;
    if (*c == 'k' && blackKingHome && board[H8] == BLACK_ROOK) blackCastle |= CASTLE_KING_SIDE;
    if (*c == 'q' && blackKingHome && board[A8] == BLACK_ROOK) blackCastle |= CASTLE_QUEEN_SIDE;
  }
  // Only a target square that the last double step can have left is kept: on the third
  // rank with Black to move, on the sixth with White to move, with the pawn in front of
  // it and both squares behind empty. (A move leaves the square whether or not it can be
  // taken, and the keys of both ways must agree.)
  const int side = sideCharacter == 'w' ? WHITE : sideCharacter == 'b' ? BLACK : *sideToMove;
  Bitboard enPassant = 0;
  if (enPassantText[0] >= 'a' && enPassantText[0] <= 'h' && enPassantText[1] >= '1' &&
      enPassantText[1] <= '8') {
    const int sq = (enPassantText[1] - '1') * 8 + (enPassantText[0] - 'a');
    const int pawnSquare = side == BLACK ? sq + 8 : sq - 8;  // the pawn that moved two
    const int behind = side == BLACK ? sq - 8 : sq + 8;
    const bool rightRank = rankOf(sq) == (side == BLACK ? 2 : 5);
    if (rightRank && board[pawnSquare] == (side == BLACK ? WHITE_PAWN : BLACK_PAWN) &&
        !board[sq] && !board[behind])
      enPassant = squareMask[sq];
  }

  root->whiteCastle = whiteCastle;
  root->blackCastle = blackCastle;
  root->enPassant = enPassant;
  rebuildPosition(board, p, root, t);
  if (display) displayBoard(p);
  if (sideCharacter == 'w') *sideToMove = WHITE, p->engineIsBlack = 1;
  if (sideCharacter == 'b') *sideToMove = BLACK, p->engineIsBlack = 0;
  long halfMoves = decimalValue(halfMoveText);
  root->halfMoveClock = int32_t(halfMoves < 0 ? 0 : halfMoves > 100000 ? 100000 : halfMoves);
  long fullMove = decimalValue(fullMoveText);
  p->movesCompleted = uint32_t(fullMove < 1 ? 0 : fullMove > 100000 ? 99999 : fullMove - 1);
  return true;
}

char* writePlacement(const int board[64], char* text) {
  char* out = text;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const int code = board[rank * 8 + file];
      if (!code) {
        ++empty;
        continue;
      }
      if (empty) *out++ = char('0' + empty);
      empty = 0;
      *out++ = kFenLetters[code];
    }
    if (empty) *out++ = char('0' + empty);
    if (rank) *out++ = '/';
  }
  *out = '\0';
  return out;
}

void boardOf(const Position* p, int board[64]) {
  for (int sq = 0; sq < 64; ++sq) board[sq] = pieceAt(p, sq);
}

void getFen(int side, const Position* p, const UndoRecord* root, char* text) {
  int board[64];
  boardOf(p, board);
  writeFen(board, side == WHITE, root->whiteCastle, root->blackCastle, root->enPassant,
           root->halfMoveClock, p->movesCompleted, text);
}

void reverseBoard(int* sideToMove, Position* p, UndoRecord* root, const BoardTables* t,
                  char* text) {
  int board[64] = {};
  for (int sq = 0; sq < 64; ++sq) {
    int code = pieceAt(p, sq);
    if (code) board[sq ^ 56] = code <= 6 ? code + 6 : code - 6;
  }
  Bitboard enPassant = root->enPassant ? squareMask[firstOne(root->enPassant) ^ 56] : 0;
  writeFen(board, *sideToMove == BLACK, root->blackCastle, root->whiteCastle, enPassant,
           root->halfMoveClock, p->movesCompleted, text);

  *sideToMove ^= 1;
  int whiteCastle = root->whiteCastle;
  root->whiteCastle = root->blackCastle;
  root->blackCastle = whiteCastle;
  root->enPassant = enPassant;
  uint32_t engineWasBlack = p->engineIsBlack;
  uint32_t movesCompleted = p->movesCompleted;  // keep the position matching its FEN
  rebuildPosition(board, p, root, t);
  p->movesCompleted = movesCompleted;
  p->engineIsBlack = engineWasBlack ^ 1;
  displayBoard(p);
}

void displayBoard(const Position* p) {
  int board[64];
  boardOf(p, board);
  std::printf("\n  A B C D E F G H");
  for (int rank = 7; rank >= 0; --rank) {
    std::printf("\n%d ", rank + 1);
    for (int file = 0; file < 8; ++file) std::printf("%c ", kDiagramLetters[board[rank * 8 + file]]);
  }
  std::printf("\n\n");
}

int pieceAt(const Position* p, int sq) {
  const Bitboard m = squareMask[sq];
  if (p->whitePawns & m) return WHITE_PAWN;
  if (p->blackPawns & m) return BLACK_PAWN;
  if (p->whiteKnights & m) return WHITE_KNIGHT;
  if (p->blackKnights & m) return BLACK_KNIGHT;
  if (p->whiteBishops & m) return WHITE_BISHOP;
  if (p->blackBishops & m) return BLACK_BISHOP;
  if (p->whiteRooks & m) return WHITE_ROOK;
  if (p->blackRooks & m) return BLACK_ROOK;
  if (p->whiteQueens & m) return WHITE_QUEEN;
  if (p->blackQueens & m) return BLACK_QUEEN;
  if (p->whiteKingSquare == uint32_t(sq)) return WHITE_KING;
  if (p->blackKingSquare == uint32_t(sq)) return BLACK_KING;
  return EMPTY;
}

bool setBoardFromFenLine(const char* line, int* sideToMove, Position* position, UndoRecord* root,
                         const BoardTables* tables) {
  constexpr int FIELDS = 6;
  constexpr size_t FIELD_SIZE = 128;  // a placement needs at most 71 characters
  char field[FIELDS][FIELD_SIZE] = {"", "w", "-", "-", "0", "1"};
  const char* at = line;
  for (int i = 0; i < FIELDS; ++i) {
    while (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r') ++at;
    const size_t length = std::strcspn(at, " \t\n\r");
    if (length == 0) break;
    if (length >= FIELD_SIZE) return false;
    std::memcpy(field[i], at, length);
    field[i][length] = '\0';
    at += length;
  }
  return setBoardFromFen(field[0], field[1][0], field[2], field[3], field[4], field[5],
                         sideToMove, position, root, tables, false);
}
