// The move generators. Each writes Move words with their ordering keys into the
// caller's list and returns the number written.
#pragma once

#include "board/types.h"

int generateCaptures(int side, int ply, Move* list, const Position* position,
                     UndoRecord* records, const BoardTables* tables, int skipLegality);
int generateNonCaptures(int side, int ply, Move* list, const Position* position,
                        UndoRecord* records, const BoardTables* tables, int skipLegality);
int generateQuiescenceCaptures(int side, int ply, Move* list, const Position* position,
                               UndoRecord* records, const BoardTables* tables);
// The legal replies of side to a check by checkers (from findCheckers).
int generateEvasions(int side, int ply, Bitboard checkers, Move* list, const Position* position,
                     UndoRecord* records, const BoardTables* tables);

// 1 if move, played by side from the position of ply - 1, leaves side's king safe.
int isLegalMove(int side, int ply, Move move, Position* position, UndoRecord* records,
                const BoardTables* tables);

// All legal moves of the side to move at ply: captures first, then the rest, each in
// its generator's order. This is the root list outside check.
int generateLegalMoves(int side, int ply, Move* list, const Position* position,
                       UndoRecord* records, const BoardTables* tables);
