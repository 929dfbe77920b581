#include "movegen/notation.h"

#include <cstdio>
#include <cstring>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"

namespace {

inline char fileLetter(int sq) { return char('a' + fileOf(sq)); }
inline char rankDigit(int sq) { return char('1' + rankOf(sq)); }

// Cuts a check or mate sign standing at the third character or later.
void cutCheckSign(char* text) {
  for (int i = int(std::strlen(text)) - 1; i >= 2; --i)
    if (text[i] == '+' || text[i] == '#') text[i] = '\0';
}

bool anyLegalMove(int side, int ply, Position* p, UndoRecord* records, const BoardTables* t) {
  Move list[MAX_MOVES];
  return generateCaptures(side, ply, list, p, records, t, 0) > 0 ||
         generateNonCaptures(side, ply, list, p, records, t, 0) > 0;
}

}  // namespace

void moveToCoordinates(Move move, char* text) {
  const int from = moveFrom(move), to = moveTo(move);
  char* out = text;
  *out++ = fileLetter(from);
  *out++ = rankDigit(from);
  *out++ = fileLetter(to);
  *out++ = rankDigit(to);
  switch (movePromotion(move)) {
    case WHITE_KNIGHT: case BLACK_KNIGHT: *out++ = 'n'; break;
    case WHITE_BISHOP: case BLACK_BISHOP: *out++ = 'b'; break;
    case WHITE_ROOK: case BLACK_ROOK: *out++ = 'r'; break;
    case WHITE_QUEEN: case BLACK_QUEEN: *out++ = 'q'; break;
    default: break;
  }
  *out = '\0';
}

void san(int side, int ply, Move move, char* text, Position* p, UndoRecord* records,
         const BoardTables* t) {
  const int from = moveFrom(move), to = moveTo(move), piece = movePiece(move);
  char* out = text;
  const bool kingMove = piece == WHITE_KING || piece == BLACK_KING;
  const int home = piece == WHITE_KING ? E1 : E8;
  if (kingMove && from == home && (to == home + 2 || to == home - 2)) {
    std::strcpy(out, to == home + 2 ? "O-O" : "O-O-O");
    out += std::strlen(out);
  } else {
    const int kind = piece > 6 ? piece - 6 : piece;
    if (kind == WHITE_PAWN) {
      *out++ = fileLetter(from);
    } else {
      if (piece < 1 || piece > 12) {
        std::printf("ERROR: undefined piece in san()\n");
      } else {
        *out++ = " PNBRQK"[kind];
      }
      // Men of one kind reaching the same square are told apart by file, by rank when
      // one shares the file, and by the whole square when others share each (three
      // queens). Bishops count too: two of a colour exist only after an under-promotion,
      // and the text must still name one move.
      if (kind == WHITE_KNIGHT || kind == WHITE_BISHOP || kind == WHITE_ROOK ||
          kind == WHITE_QUEEN) {
        Move list[MAX_MOVES];
        int n = generateCaptures(side, ply, list, p, records, t, 0);
        n += generateNonCaptures(side, ply, list + n, p, records, t, 0);
        bool ambiguous = false, sharedFile = false, sharedRank = false;
        for (int i = 0; i < n; ++i) {
          const Move other = list[i];
          if (movePiece(other) != piece || moveTo(other) != to || moveFrom(other) == from)
            continue;
          ambiguous = true;
          sharedFile = sharedFile || fileOf(moveFrom(other)) == fileOf(from);
          sharedRank = sharedRank || rankOf(moveFrom(other)) == rankOf(from);
        }
        if (ambiguous && (!sharedFile || sharedRank)) *out++ = fileLetter(from);
        if (ambiguous && sharedFile) *out++ = rankDigit(from);
      }
    }
    const Bitboard occupied = p->whitePieces | p->blackPieces;
    const bool capture = (occupied & squareMask[to]) ||
                         (kind == WHITE_PAWN && (records[ply].enPassant & squareMask[to]));
    if (capture) {
      *out++ = 'x';
      *out++ = fileLetter(to);
      *out++ = rankDigit(to);
    } else if (kind == WHITE_PAWN) {
      *out++ = rankDigit(to);
    } else {
      *out++ = fileLetter(to);
      *out++ = rankDigit(to);
    }
    if (const int promotion = movePromotion(move)) {
      *out++ = '=';
      *out++ = " PNBRQK"[promotion > 6 ? promotion - 6 : promotion];
    }
  }

  makeMove(side, ply + 1, move, p, records, t);
  const uint8_t info =
      side == WHITE ? attackInfoByWhite(int(p->blackKingSquare), p, &records[ply + 1], t)
                    : attackInfoByBlack(int(p->whiteKingSquare), p, &records[ply + 1], t);
  if (info & ATTACKED) *out++ = anyLegalMove(side ^ 1, ply + 1, p, records, t) ? '+' : '#';
  unmakeMove(side, ply + 1, move, p, records);
  *out = '\0';
}

Move parseMove(char* word, int side, Position* p, UndoRecord* records, const BoardTables* t) {
  char text[MOVE_TEXT_SIZE];
  return lastMatchingMove(side, p, records, t, [&](Move move) {
    moveToCoordinates(move, text);
    if (std::strcmp(text, word) == 0) return true;
    san(side, 0, move, text, p, records, t);
    cutCheckSign(text);
    cutCheckSign(word);
    return std::strcmp(text, word) == 0;
  });
}
