// Move ordering: picking moves by their ordering keys, the keys the search raises, and
// the opening preferences of the root moves.
#pragma once

#include "board/types.h"

// Ordering keys the search gives (the generators' keys are ORDER_KEY_BIAS + a gain).
constexpr int FIRST_MOVE_KEY = 45000;  // previous line's move, hash move or IID move
constexpr int KILLER_KEY = 30050;
// Keys up to this mark quiet moves and captures that win nothing.
constexpr int QUIET_KEY_LIMIT = ORDER_KEY_BIAS + 1;

// Brings the entry of largest key among i .. n-1 to slot i; the earliest wins ties.
void pickBest(int i, int n, Move* list);

// Gives the first move (by squares; none when from == to) key 45000 and the killer of the
// ply key 30050 when its own key is at most QUIET_KEY_LIMIT.
void markOrderingKeys(Move* list, int n, int firstFrom, int firstTo, int killerFrom,
                      int killerTo);

// Adds the preference of a root move just made to rootMoveBonus (White's view).
void openingPreference(Move move, Position* position, const BoardTables* tables);

inline bool sameSquares(Move a, int from, int to) {
  return moveFrom(a) == from && moveTo(a) == to;
}
inline bool sameSquares(Move a, Move b) { return ((a ^ b) & 0xFFF) == 0; }

// A quiet move (or a capture winning nothing) that cuts off becomes the killer of its ply.
inline void rememberKiller(Position* p, int ply, Move m) {
  if (moveOrderKey(m) > QUIET_KEY_LIMIT) return;
  p->killerFrom[ply] = moveFrom(m);
  p->killerTo[ply] = moveTo(m);
}

// After a game move: the killers move down one ply, so that each stays at the distance
// from the root it was found at.
void shiftKillers(Position* position);
