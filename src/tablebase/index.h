// Position indexing: king-pair tables, allowed-square ranks and base tables, and the
// layout each index function follows. Internal to the tablebase subsystem and its tests;
// the generator uses the functions of tablebase.h.
#pragma once

#include <cstdint>

#include "tablebase/tablebase.h"

namespace tb {

// Kinds of men placed through the allowed-square tables.
enum ManKind : int {
  KIND_FREE_PAWN = 0,  // a pawn of the side not to move: no contact-check exclusion
  KIND_PAWN = 1,       // a pawn of the side to move, moving up the board
  KIND_KNIGHT = 2,
  KIND_BISHOP = 3,
  KIND_ROOK = 4,
  KIND_QUEEN = 5,
  KIND_COUNT = 6
};

constexpr int KK_PAWN_PAIRS = 1806;      // first king on files a-d
constexpr int KK_PAWNLESS_PAIRS = 462;   // first king in the a1-d1-d4 triangle
constexpr int KK_INVALID = 4000;

// Number of the king pair (k1 = king of the side to move, k2 = the other), or KK_INVALID.
int kingPairNumber(bool pawnTable, int k1, int k2);

// Allowed squares for a man of a kind when the king of the side not to move is on k.
bool allowedSquare(int kind, int k, int s);
int allowedCount(int kind, int k);

// Number of placements over all king pairs of a table for one to three men of the
// given kinds (descending: t1 >= t2 >= t3); 0 for a combination that is not built.
uint64_t baseTotal(bool pawnTable, int count, int t1, int t2 = 0, int t3 = 0);

}  // namespace tb
