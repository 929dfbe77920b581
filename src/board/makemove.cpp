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

inline uint64_t pieceKeys(const BoardTables* t, int code, int a, int b) {
  return t->pieceKey[code - 1][a] ^ t->pieceKey[code - 1][b];
}

// The rook's move of a castling king move (from its home square two files along).
template <int Side>
inline bool castlingRook(int from, int to, int* rookFrom, int* rookTo) {
  using C = Colour<Side>;
  if (from != C::kingHome) return false;
  if (to == C::kingHome - 2) {
    *rookFrom = C::rookQueenSide, *rookTo = to + 1;
    return true;
  }
  if (to == C::kingHome + 2) {
    *rookFrom = C::rookKingSide, *rookTo = to - 1;
    return true;
  }
  return false;
}

// Puts the castling rook on its new square, or back.
template <int Side>
inline void toggleCastlingRook(Position* p, int rookFrom, int rookTo) {
  using C = Colour<Side>;
  const Bitboard rookMove = squareMask[rookFrom] | squareMask[rookTo];
  p->*C::rooks ^= rookMove;
  p->*C::pieces ^= rookMove;
  toggleRotated(*p, rookFrom);
  toggleRotated(*p, rookTo);
}

// The pawns-on-file counts of a pawn that leaves its file by a capture (undo: returns).
template <int Side>
inline void pawnChangesFile(Position* p, int from, int to, int direction) {
  int32_t* files = p->*Colour<Side>::pawnsOnFile;
  files[fileOf(from)] -= direction;
  files[fileOf(to)] += direction;
}

template <int Side>
inline void makePawnMove(UndoRecord& r, const UndoRecord& prev, int from, int to,
                             int captured, int promotion, Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  r.halfMoveClock = 0;
  p->*C::pawns ^= squareMask[from] | squareMask[to];
  r.hashKey ^= pieceKeys(t, C::pawn, from, to);
  if (to - from == 2 * C::up) {
    const int target = to - C::up;
    r.enPassant = squareMask[target];
    r.hashKey ^= t->enPassantKey[target];
  } else if (prev.enPassant & squareMask[to]) {
    const int victim = to - C::up;
    p->*O::pawns ^= squareMask[victim];
    p->*O::pieces ^= squareMask[victim];
    r.hashKey ^= t->pieceKey[O::pawn - 1][victim];
    pawnChangesFile<Side>(p, from, to, 1);
    --(p->*O::pawnsOnFile)[fileOf(to)];
    toggleRotated(*p, victim);
  } else if (captured) {
    pawnChangesFile<Side>(p, from, to, 1);
  }
  if (promotion) --(p->*C::pawnsOnFile)[fileOf(to)];
}

// A rook leaving its corner takes that wing's castling right with it.
template <int Side>
inline void makeRookMove(UndoRecord& r, int32_t prevCastle, int from, int to, Position* p,
                             const BoardTables* t) {
  using C = Colour<Side>;
  if (prevCastle > 0) {
    int32_t& castle = r.*C::castle;
    if (from == C::rookQueenSide) castle &= CASTLE_KING_SIDE;
    if (from == C::rookKingSide) castle &= CASTLE_QUEEN_SIDE;
    r.hashKey ^= (t->*C::castleKey)[prevCastle & 3] ^ (t->*C::castleKey)[castle & 3];
  }
  p->*C::rooks ^= squareMask[from] | squareMask[to];
  r.hashKey ^= pieceKeys(t, C::rook, from, to);
}

// A king move gives up both rights; castling stores -ply, the ply it happened at.
template <int Side>
inline void makeKingMove(UndoRecord& r, int32_t prevCastle, int ply, int from, int to,
                             Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  p->*C::kingSquare = uint32_t(to);
  r.hashKey ^= pieceKeys(t, C::king, from, to);
  if (prevCastle <= 0) return;
  int32_t& castle = r.*C::castle;
  int rookFrom, rookTo;
  if (castlingRook<Side>(from, to, &rookFrom, &rookTo)) {
    toggleCastlingRook<Side>(p, rookFrom, rookTo);
    r.hashKey ^= pieceKeys(t, C::rook, rookFrom, rookTo);
    castle = -ply;
  } else {
    castle = 0;
  }
  r.hashKey ^= (t->*C::castleKey)[prevCastle & 3] ^ (t->*C::castleKey)[0];
}

template <int Side>
inline void removeCaptured(UndoRecord& r, int captured, int to, Position* p,
                               const BoardTables* t) {
  using O = Colour<Side ^ 1>;
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

template <int Side>
inline void makeMoveT(int ply, Move move, Position* p, UndoRecord* records,
                          const BoardTables* t) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  UndoRecord& r = records[ply];
  const UndoRecord& prev = records[ply - 1];
  const int from = moveFrom(move), to = moveTo(move), piece = movePiece(move);
  const int captured = moveCaptured(move), promotion = movePromotion(move);

  // The attack caches of the new record start empty, so they are not copied.
  r.hashKey = prev.hashKey;
  r.enPassant = 0;
  r.whiteCastle = prev.whiteCastle;
  r.blackCastle = prev.blackCastle;
  r.halfMoveClock = prev.halfMoveClock + 1;
  if (prev.enPassant) r.hashKey ^= t->enPassantKey[firstOne(prev.enPassant)];
  std::memset(r.whiteAttackInfo, 0, sizeof r.whiteAttackInfo);
  std::memset(r.blackAttackInfo, 0, sizeof r.blackAttackInfo);

  p->*C::pieces ^= squareMask[from] | squareMask[to];
  switch (piece - C::pieceBase) {
    case WHITE_PAWN:
      makePawnMove<Side>(r, prev, from, to, captured, promotion, p, t);
      break;
    case WHITE_KNIGHT:
    case WHITE_BISHOP:
    case WHITE_QUEEN:
      pieceBoard(*p, piece) ^= squareMask[from] | squareMask[to];
      r.hashKey ^= pieceKeys(t, piece, from, to);
      break;
    case WHITE_ROOK:
      makeRookMove<Side>(r, prev.*C::castle, from, to, p, t);
      break;
    case WHITE_KING:
      makeKingMove<Side>(r, prev.*C::castle, ply, from, to, p, t);
      break;
    default:
      break;
  }

  if (captured) {
    r.halfMoveClock = 0;
    if (captured == O::king)
      reportKingCapture("makeMove", Side, from, to, p);
    else
      removeCaptured<Side>(r, captured, to, p, t);
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
  if (n < KEY_HISTORY_SIZE) p->keyHistory[n] = r.hashKey;
}

template <int Side>
inline void unmakePawnMove(const UndoRecord& prev, int from, int to, int captured,
                               int promotion, Position* p) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  p->*C::pawns ^= squareMask[from] | squareMask[to];
  if (prev.enPassant & squareMask[to]) {
    const int victim = to - C::up;
    p->*O::pawns |= squareMask[victim];
    p->*O::pieces |= squareMask[victim];
    pawnChangesFile<Side>(p, from, to, -1);
    ++(p->*O::pawnsOnFile)[fileOf(to)];
    toggleRotated(*p, victim);
  } else if (captured) {
    pawnChangesFile<Side>(p, from, to, -1);
  }
  if (promotion) ++(p->*C::pawnsOnFile)[fileOf(to)];
}

template <int Side>
inline void unmakeMoveT(int ply, Move move, Position* p, const UndoRecord* records) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const UndoRecord& prev = records[ply - 1];
  const int from = moveFrom(move), to = moveTo(move), piece = movePiece(move);
  const int captured = moveCaptured(move), promotion = movePromotion(move);

  if (captured) {
    if (captured == O::king) {
      reportKingCapture("unmakeMove", Side, from, to, p);
    } else {
      p->*O::pieces |= squareMask[to];
      pieceBoard(*p, captured) |= squareMask[to];
      if (captured == O::pawn) ++(p->*O::pawnsOnFile)[fileOf(to)];
    }
  }
  p->*C::pieces ^= squareMask[from] | squareMask[to];
  if (promotion) {
    p->*C::pawns |= squareMask[to];
    pieceBoard(*p, promotion) ^= squareMask[to];
  }

  switch (piece - C::pieceBase) {
    case WHITE_PAWN:
      unmakePawnMove<Side>(prev, from, to, captured, promotion, p);
      break;
    case WHITE_KNIGHT:
    case WHITE_BISHOP:
    case WHITE_ROOK:
    case WHITE_QUEEN:
      pieceBoard(*p, piece) ^= squareMask[from] | squareMask[to];
      break;
    case WHITE_KING: {
      p->*C::kingSquare = uint32_t(from);
      int rookFrom, rookTo;
      if (prev.*C::castle > 0 && castlingRook<Side>(from, to, &rookFrom, &rookTo))
        toggleCastlingRook<Side>(p, rookFrom, rookTo);
      break;
    }
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

void enterGamePosition(Position* p, const UndoRecord& root) {
  p->reversiblePlies = root.halfMoveClock == 0 ? 0 : p->reversiblePlies + 1;
  if (p->reversiblePlies < KEY_HISTORY_SIZE) p->keyHistory[p->reversiblePlies] = root.hashKey;
}
