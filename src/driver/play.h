// The engine's turn: choosing a move and playing it.
#pragma once

#include "driver/engine.h"

// Runs when the interpreter answers SEARCHING: in force mode the engine's side follows
// the side to move; otherwise the engine chooses and plays its move.
void engineTurn(Engine* engine, const char* lastCommandWord);
