// Counting the leaves of the legal move tree: the self-test of move generation.
#pragma once

#include "board/types.h"

// Adds the number of leaves at distance depth (at least 1) to position->nodeCount.
void perft(int side, int ply, int depth, Position* position, UndoRecord* records,
           const BoardTables* tables);
