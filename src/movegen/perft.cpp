#include "movegen/perft.h"

#include "board/makemove.h"
#include "movegen/movegen.h"

void perft(int side, int ply, int depth, Position* p, UndoRecord* records,
           const BoardTables* t) {
  Move moves[MAX_MOVES];
  const int count = generateLegalMoves(side, ply, moves, p, records, t);
  // The last level only needs the number of legal moves, not the moves made.
  if (depth == 1) {
    p->nodeCount += uint64_t(count);
    return;
  }
  for (int i = 0; i < count; ++i) {
    makeMove(side, ply + 1, moves[i], p, records, t);
    perft(side ^ 1, ply + 1, depth - 1, p, records, t);
    unmakeMove(side, ply + 1, moves[i], p, records);
  }
}
