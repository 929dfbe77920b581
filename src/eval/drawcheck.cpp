#include "board/bitboard.h"
#include "eval/evaluate.h"

namespace {

constexpr int FIFTY_MOVE_PLIES = 100;

// K, K+N, K+N+N or K+B: cannot force mate.
template <int Side>
inline bool harmless(const Position* p) {
  using C = Colour<Side>;
  if (popCount(p->*C::pieces) >= 4 || p->*C::queens || p->*C::rooks) return false;
  const Bitboard bishops = p->*C::bishops;
  return !bishops || (!(bishops & (bishops - 1)) && !(p->*C::knights));
}

}  // namespace

int drawCheck(int ply, const Position* p, const UndoRecord* record) {
  if (!p->whitePawns && !p->blackPawns && harmless<WHITE>(p) && harmless<BLACK>(p))
    return DRAW_MATERIAL;
  if (record->halfMoveClock >= FIFTY_MOVE_PLIES) return DRAW_FIFTY_MOVES;

  // keyHistory[i] holds the key after reversible ply i (entry 0: the position the last
  // irreversible move or the set-up left); the position at this ply is entry
  // reversiblePlies + ply, the last one with the same side to move two below. Only the
  // plies the half-move clock counts can hold the same position.
  int n = int(p->reversiblePlies) + ply - 2;
  int pliesBack = 2;
  // Past the end of the history nothing was stored: step back inside it.
  while (n >= KEY_HISTORY_SIZE) {
    n -= 2;
    pliesBack += 2;
  }
  int count = 1;
  for (; n >= 0 && pliesBack <= record->halfMoveClock; n -= 2, pliesBack += 2)
    if (p->keyHistory[n] == record->hashKey) ++count;
  return count > 1 ? count : DRAW_NONE;
}
