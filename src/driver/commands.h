// The command interpreter: one command line, already split into words.
#pragma once

#include "driver/engine.h"
#include "driver/input.h"

// Carries out the command and returns the next engine state: RESTING or SEARCHING.
// quit and exit end the process.
uint32_t interpretCommand(char words[WORD_COUNT][WORD_SIZE], Engine* engine);

// After a game move: killers move down one ply.
void shiftKillers(Position* position);

// hashMask for a hashsize argument in megabytes (0 when the argument is below 1).
uint32_t hashMaskForMegabytes(long megabytes);

// Clock base of level: minutes, or minutes:seconds.
double parseLevelBase(const char* text);
