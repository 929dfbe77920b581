// Moves as text: coordinates for the interface, algebraic notation for people, and
// finding the legal move an input word names.
#pragma once

#include "board/types.h"
#include "movegen/movegen.h"

constexpr int MOVE_TEXT_SIZE = 16;
constexpr int WORD_BUFFER = 80;  // an input word as the command reader delivers it

void moveToCoordinates(Move move, char* text);

// Algebraic notation of a legal move of side in the position of record ply.
void san(int side, int ply, Move move, char* text, Position* position, UndoRecord* records,
         const BoardTables* tables);

// The legal move of the side to move (at ply 0) that word names, or 0. A check or mate
// sign from the third character on is cut off word.
Move parseMove(char* word, int side, Position* position, UndoRecord* records,
               const BoardTables* tables);

// The move a text names when several could: the last of side's legal captures at ply 0
// for which matches(move) holds, else the last such of its other moves; 0 when none.
template <class Matches>
Move lastMatchingMove(int side, Position* position, UndoRecord* records,
                      const BoardTables* tables, Matches&& matches) {
  Move list[MAX_MOVES];
  for (int pass = 0; pass < 2; ++pass) {
    const int n = pass == 0 ? generateCaptures(side, 0, list, position, records, tables, 0)
                            : generateNonCaptures(side, 0, list, position, records, tables, 0);
    Move match = 0;
    for (int i = 0; i < n; ++i)
      if (matches(list[i])) match = list[i];
    if (match) return match;
  }
  return 0;
}
