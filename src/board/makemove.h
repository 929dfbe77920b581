// Playing and taking back a move on the position.
#pragma once

#include "board/types.h"

void makeMove(int side, int ply, Move move, Position* position, UndoRecord* records,
              const BoardTables* tables);
// A game move (or a set-up) has become the root, record ROOT: counts the plies since the last
// pawn move or capture and enters the root's key in the key history, whose entry 0 is the
// position that followed that irreversible move (or the set-up).
void enterGamePosition(Position* p, const UndoRecord& root);

void unmakeMove(int side, int ply, Move move, Position* position, const UndoRecord* records);
