// Playing and taking back a move on the position.
#pragma once

#include "board/types.h"

void makeMove(int side, int ply, Move move, Position* position, UndoRecord* records,
              const BoardTables* tables);
void unmakeMove(int side, int ply, Move move, Position* position, const UndoRecord* records);

// Is the move a castling move (king from its home square two files along, with the
// matching right in the record before the move)?
bool isCastlingMove(Move move, const UndoRecord* before);
