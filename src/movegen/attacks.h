// Attack detection with its per-ply cache, checkers, pins and static exchange.
#pragma once

#include "board/bitboard.h"
#include "board/types.h"

uint8_t attackInfoByWhite(int sq, const Position* position, UndoRecord* record,
                          const BoardTables* tables);
uint8_t attackInfoByBlack(int sq, const Position* position, UndoRecord* record,
                          const BoardTables* tables);
// attackInfoByWhite for side 1, attackInfoByBlack for side 0.
uint8_t attackInfoBy(int side, int sq, const Position* position, UndoRecord* record,
                     const BoardTables* tables);

// With side to move, is the other side's king attacked? Such a position cannot have
// arisen in a game (the last move left a king in check).
bool sideNotToMoveInCheck(int side, const Position* position, UndoRecord* record,
                          const BoardTables* tables);

// The enemy men that give check to side's king, added to *checkers; returns 0 (none),
// 1 (one checker) or 2 (double check).
int findCheckers(int side, Bitboard* checkers, const Position* position,
                 const BoardTables* tables);

int discoveredAttacker(int side, int sq, int target, const Position* position,
                       const BoardTables* tables);
Bitboard xrayAttackers(int sq, int step, const Position* position, const BoardTables* tables);
int pieceValueAt(int sq, const Position* position);
int see(int side, int from, int to, const Position* position, const BoardTables* tables);

// 1 when side has a move that attacks sq (the enemy king's square) as a check would.
int canCheck(int side, int sq, const Position* position, const BoardTables* tables);

// Value of a piece code for exchanges (king 30000, empty 0).
inline int pieceValue(int code) {
  static constexpr int values[13] = {0,   PAWN_VALUE,  KNIGHT_VALUE, BISHOP_VALUE, ROOK_VALUE,
                                     QUEEN_VALUE,  KING_VALUE,   PAWN_VALUE,   KNIGHT_VALUE,
                                     BISHOP_VALUE, ROOK_VALUE,   QUEEN_VALUE,  KING_VALUE};
  return values[code];
}

// Is the king of Side on kingSquare attacked, given an occupancy and enemy men that are
// removed (captured)? Used for exact legality tests without making the move.
template <int Side>
inline bool kingAttackedWith(int kingSquare, const Occupancy& occ, Bitboard removed,
                             const Position* p, const BoardTables* t) {
  using O = Colour<Side ^ 1>;
  const Bitboard keep = ~removed;
  if ((t->*Colour<Side>::pawnAttacks)[kingSquare] & p->*O::pawns & keep) return true;
  if (t->knightAttacks[kingSquare] & p->*O::knights & keep) return true;
  if (bishopAttacksOf(kingSquare, occ) & (p->*O::bishops | p->*O::queens) & keep) return true;
  if (rookAttacksOf(kingSquare, occ) & (p->*O::rooks | p->*O::queens) & keep) return true;
  return (t->kingAttacks[kingSquare] >> (p->*O::kingSquare)) & 1;
}

// Pieces of Side that stand alone between their king and an enemy slider.
template <int Side>
inline Bitboard pinnedPieces(const Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const int king = int(p->*C::kingSquare);
  const Bitboard occupied = p->whitePieces | p->blackPieces;
  const Bitboard lines = t->rankMask[rankOf(king)] | t->fileMask[fileOf(king)];
  Bitboard snipers = (lines & (p->*O::rooks | p->*O::queens)) |
                     (t->bishopRays[king] & (p->*O::bishops | p->*O::queens));
  Bitboard pinned = 0;
  while (snipers) {
    const int s = __builtin_ctzll(snipers);
    snipers &= snipers - 1;
    const Bitboard between = squaresBetween(king, s) & occupied;
    if (between && !(between & (between - 1))) pinned |= between & p->*C::pieces;
  }
  return pinned;
}
