// xboard's edit mode (protocol 1): a position set up piece by piece.
#pragma once

#include "driver/engine.h"
#include "driver/input.h"

// Starts edit mode on the current board: placing White men first.
void startEdit(Engine* engine);

// One line in edit mode: "#" clears the board, "c" switches the colour being placed,
// "Pa4" places a man, "xa4" empties a square, "." ends the mode and sets the position
// up as setboard would (castling where king and rook stand at home, no en passant, the
// side to move unchanged). Returns the next engine state.
uint32_t editCommand(char words[WORD_COUNT][WORD_SIZE], Engine* engine);
