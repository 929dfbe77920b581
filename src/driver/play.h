// The engine's turn: choosing a move and playing it.
#pragma once

#include "driver/engine.h"

// Runs when the interpreter answers SEARCHING: in force mode the engine's side follows
// the side to move; otherwise the engine chooses and plays its move.
void engineTurn(Engine* engine);

// Before the search: when the opponent's move (engine->opponentMove) was the reply the last
// search expected, the rest of its line is kept as the line to follow; otherwise it is dropped.
void followExpectedLine(Engine* engine);
