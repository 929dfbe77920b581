// Playing and taking back a move on the position.
#pragma once

#include "board/types.h"

void makeMove(int side, int ply, Move move, Position* position, UndoRecord* records,
              const BoardTables* tables);
void unmakeMove(int side, int ply, Move move, Position* position, const UndoRecord* records);
