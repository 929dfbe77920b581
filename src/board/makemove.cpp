#include "board/makemove.h"

#include <cstdio>
#include <cstring>

#include "board/bitboard.h"
#include "board/position.h"

namespace {

// A captured king only happens when an illegal move reaches us: report and go on.
void reportKingCapture(const char* operation, int side, int from, int to, const Position* p) {
  std::printf("%s: What the heck?  %u-%u\n", operation, unsigned(from), unsigned(to));
  displayBoard(p);
  std::printf("%s: What the heck?  %cK at %u is captured.\n", operation,
              side == WHITE ? 'b' : 'w', unsigned(to));
}

template <int Side>
inline void makeMoveT(int ply, Move move, Position* p, UndoRecord* records,
                      const BoardTables* t) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  UndoRecord& r = records[ply];
  const UndoRecord& prev = records[ply - 1];
  const int from = moveFrom(move), to = moveTo(move), piece = movePiece(move);
  const int captured = moveCaptured(move), promotion = movePromotion(move);
  const Bitboard fromTo = squareMask[from] | squareMask[to];

  // The attack caches of the new record start empty, so they are not copied.
  r.hashKey = prev.hashKey;
  r.enPassant = 0;
  r.whiteCastle = prev.whiteCastle;
  r.blackCastle = prev.blackCastle;
  r.halfMoveClock = prev.halfMoveClock + 1;
  if (prev.enPassant) r.hashKey ^= t->enPassantKey[firstOne(prev.enPassant)];
  std::memset(r.whiteAttackInfo, 0, sizeof r.whiteAttackInfo);
  std::memset(r.blackAttackInfo, 0, sizeof r.blackAttackInfo);

  p->*C::pieces ^= fromTo;
  int32_t& ourCastle = r.*C::castle;
  const int32_t prevCastle = prev.*C::castle;

  switch (piece - C::pieceBase) {
    case WHITE_PAWN: {
      r.halfMoveClock = 0;
      p->*C::pawns ^= fromTo;
      r.hashKey ^= t->pieceKey[piece - 1][from] ^ t->pieceKey[piece - 1][to];
      int32_t* ourFiles = p->*C::pawnsOnFile;
      if (to - from == 2 * C::up) {
        const int target = to - C::up;
        r.enPassant = squareMask[target];
        r.hashKey ^= t->enPassantKey[target];
      } else if (prev.enPassant & squareMask[to]) {
        const int victim = to - C::up;
        p->*O::pawns ^= squareMask[victim];
        p->*O::pieces ^= squareMask[victim];
        r.hashKey ^= t->pieceKey[O::pawn - 1][victim];
        --ourFiles[fileOf(from)];
        ++ourFiles[fileOf(to)];
        --(p->*O::pawnsOnFile)[fileOf(to)];
        toggleRotated(*p, victim);
      } else if (captured) {
        --ourFiles[fileOf(from)];
        ++ourFiles[fileOf(to)];
      }
      if (promotion) --ourFiles[fileOf(to)];
      break;
    }
    case WHITE_KNIGHT:
    case WHITE_BISHOP:
    case WHITE_QUEEN:
      pieceBoard(*p, piece) ^= fromTo;
      r.hashKey ^= t->pieceKey[piece - 1][from] ^ t->pieceKey[piece - 1][to];
      break;
    case WHITE_ROOK:
      if (prevCastle > 0) {
        if (from == C::rookQueenSide) ourCastle &= CASTLE_KING_SIDE;
        if (from == C::rookKingSide) ourCastle &= CASTLE_QUEEN_SIDE;
        r.hashKey ^= (t->*C::castleKey)[prevCastle & 3] ^ (t->*C::castleKey)[ourCastle & 3];
      }
      p->*C::rooks ^= fromTo;
      r.hashKey ^= t->pieceKey[piece - 1][from] ^ t->pieceKey[piece - 1][to];
      break;
    case WHITE_KING:
      p->*C::kingSquare = uint32_t(to);
      r.hashKey ^= t->pieceKey[piece - 1][from] ^ t->pieceKey[piece - 1][to];
      if (prevCastle > 0) {
        int rookFrom = -1, rookTo = -1;
        if (from == C::kingHome && to == C::kingHome - 2) rookFrom = C::rookQueenSide, rookTo = to + 1;
        if (from == C::kingHome && to == C::kingHome + 2) rookFrom = C::rookKingSide, rookTo = to - 1;
        if (rookFrom >= 0) {
          const Bitboard rookMove = squareMask[rookFrom] | squareMask[rookTo];
          p->*C::rooks ^= rookMove;
          p->*C::pieces ^= rookMove;
          r.hashKey ^= t->pieceKey[C::rook - 1][rookFrom] ^ t->pieceKey[C::rook - 1][rookTo];
          toggleRotated(*p, rookFrom);
          toggleRotated(*p, rookTo);
          ourCastle = -ply;
        } else {
          ourCastle = 0;
        }
        r.hashKey ^= (t->*C::castleKey)[prevCastle & 3] ^ (t->*C::castleKey)[0];
      }
      break;
    default:
      break;
  }

  if (captured) {
    r.halfMoveClock = 0;
    if (captured == O::king) {
      reportKingCapture("makeMove", Side, from, to, p);
    } else {
      p->*O::pieces ^= squareMask[to];
      pieceBoard(*p, captured) ^= squareMask[to];
      r.hashKey ^= t->pieceKey[captured - 1][to];
      if (captured == O::pawn) --(p->*O::pawnsOnFile)[fileOf(to)];
      // A rook taken on its corner takes that wing's castling right with it.
      int32_t& theirCastle = r.*O::castle;
      if (captured == O::rook && theirCastle > 0 &&
          (to == O::rookQueenSide || to == O::rookKingSide)) {
        const int before = theirCastle;
        theirCastle &= to == O::rookQueenSide ? CASTLE_KING_SIDE : CASTLE_QUEEN_SIDE;
        r.hashKey ^= (t->*O::castleKey)[before & 3] ^ (t->*O::castleKey)[theirCastle & 3];
      }
    }
  }

  if (promotion) {
    p->*C::pawns ^= squareMask[to];
    r.hashKey ^= t->pieceKey[piece - 1][to];
    pieceBoard(*p, promotion) |= squareMask[to];
    r.hashKey ^= t->pieceKey[promotion - 1][to];
  }

  toggleRotated(*p, from);
  if (!captured) toggleRotated(*p, to);

  const uint32_t n = p->reversiblePlies + uint32_t(ply);
  if (n >= 1 && n <= KEY_HISTORY_SIZE) p->keyHistory[n - 1] = r.hashKey;
}

template <int Side>
inline void unmakeMoveT(int ply, Move move, Position* p, const UndoRecord* records) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const UndoRecord& prev = records[ply - 1];
  const int from = moveFrom(move), to = moveTo(move), piece = movePiece(move);
  const int captured = moveCaptured(move), promotion = movePromotion(move);
  const Bitboard fromTo = squareMask[from] | squareMask[to];

  if (captured) {
    if (captured == O::king) {
      reportKingCapture("unmakeMove", Side, from, to, p);
    } else {
      p->*O::pieces |= squareMask[to];
      pieceBoard(*p, captured) |= squareMask[to];
      if (captured == O::pawn) ++(p->*O::pawnsOnFile)[fileOf(to)];
    }
  }
  p->*C::pieces ^= fromTo;
  if (promotion) {
    p->*C::pawns |= squareMask[to];
    pieceBoard(*p, promotion) ^= squareMask[to];
  }

  switch (piece - C::pieceBase) {
    case WHITE_PAWN: {
      p->*C::pawns ^= fromTo;
      int32_t* ourFiles = p->*C::pawnsOnFile;
      if (prev.enPassant & squareMask[to]) {
        const int victim = to - C::up;
        p->*O::pawns |= squareMask[victim];
        p->*O::pieces |= squareMask[victim];
        ++ourFiles[fileOf(from)];
        --ourFiles[fileOf(to)];
        ++(p->*O::pawnsOnFile)[fileOf(to)];
        toggleRotated(*p, victim);
      } else if (captured) {
        ++ourFiles[fileOf(from)];
        --ourFiles[fileOf(to)];
      }
      if (promotion) ++ourFiles[fileOf(to)];
      break;
    }
    case WHITE_KNIGHT:
    case WHITE_BISHOP:
    case WHITE_ROOK:
    case WHITE_QUEEN:
      pieceBoard(*p, piece) ^= fromTo;
      break;
    case WHITE_KING:
      p->*C::kingSquare = uint32_t(from);
      if (prev.*C::castle > 0 && from == C::kingHome) {
        int rookFrom = -1, rookTo = -1;
        if (to == C::kingHome - 2) rookFrom = C::rookQueenSide, rookTo = to + 1;
        if (to == C::kingHome + 2) rookFrom = C::rookKingSide, rookTo = to - 1;
        if (rookFrom >= 0) {
          const Bitboard rookMove = squareMask[rookFrom] | squareMask[rookTo];
          p->*C::rooks ^= rookMove;
          p->*C::pieces ^= rookMove;
          toggleRotated(*p, rookFrom);
          toggleRotated(*p, rookTo);
        }
      }
      break;
    default:
      break;
  }

  toggleRotated(*p, from);
  if (!captured) toggleRotated(*p, to);
}

}  // namespace

void makeMove(int side, int ply, Move move, Position* position, UndoRecord* records,
              const BoardTables* tables) {
  if (side == WHITE)
    makeMoveT<WHITE>(ply, move, position, records, tables);
  else
    makeMoveT<BLACK>(ply, move, position, records, tables);
}

void unmakeMove(int side, int ply, Move move, Position* position, const UndoRecord* records) {
  if (side == WHITE)
    unmakeMoveT<WHITE>(ply, move, position, records);
  else
    unmakeMoveT<BLACK>(ply, move, position, records);
}
