// The engine's turn: choosing a move and playing it.
#pragma once

#include "driver/engine.h"

// Runs when the interpreter answers SEARCHING: in force mode the engine's side follows
// the side to move; otherwise the engine chooses and plays its move.
void engineTurn(Engine* engine);

// Before the search: when the opponent's move (engine->opponentMove) was the reply the last
// search expected, the rest of its line is kept as the line to follow; otherwise it is dropped.
void followExpectedLine(Engine* engine);

// The steps of a turn that other ways of asking for a move share.

// Binds the search to the engine, sets the time budget from the clocks and announces it.
void startTurn(Engine* engine);

struct TurnChoice {
  Move move;  // 0 when the side to move has no legal move
  int score;  // the search's, from the mover's view; 0 for a book move or the only move
  bool fromBook;
  bool inCheck;
};

// The engine's move in the position on the board for the side to move: from the book
// (when bookAllowed and the book is on), the only legal move, or the search's choice.
TurnChoice chooseMove(Engine* engine, bool bookAllowed);

// The legal moves of the side to move into engine->rootMoves (evasions when checkers is
// not empty); returns their number.
int generateRootMoves(Engine* engine, Bitboard checkers);

// The root list's word for the chosen move, or the best root move when it is not listed.
Move rootMoveFor(const Engine* engine, Move chosen, int count);
