// The game's moves since the last set-up, so that moves can be taken back (undo, remove).
#pragma once

#include "board/types.h"

struct Engine;

constexpr int MAX_GAME_PLIES = 1024;

struct GameHistory {
  Position setUpPosition;  // the board as it was set up (its other fields are not used)
  UndoRecord setUpRoot;
  int setUpSide;
  int count;
  Move moves[MAX_GAME_PLIES];
};

// The current position becomes the start of the history (new game, setboard, reverse,
// null, an edited board).
void markSetUp(Engine* engine);

// A game move was just made.
void recordGameMove(Engine* engine, Move move);

// Takes back the last plies moves by replaying the others from the set-up position.
// False, changing nothing, when fewer moves were played since the set-up.
bool takeBack(Engine* engine, int plies);
