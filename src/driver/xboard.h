// What xboard's later protocol versions add: the feature list, reading the interface
// during a search (move now, the end of a game), memory, and analyze mode.
#pragma once

#include "driver/engine.h"

// The one feature line answering "protover 2" or later.
void printFeatures();

// memory N: the transposition tables get what the tablebase cache leaves of N megabytes.
void setMemory(Engine* engine, long megabytes);

// While the engine thinks about its move: "?" plays the best move so far, quit ends the
// program, a command that ends the game or changes the board stops the search and sets
// abandonSearch; every other line waits until the move is made.
void watchInputDuringSearch(Engine* engine);
void stopWatchingInput(Engine* engine);

// Analyze mode: searches the position on the board without end until a line arrives
// ("." is answered with the status line and searching goes on). Returns at once when a
// line is waiting or the position has no legal move after its search.
void analyzeUntilInput(Engine* engine);

// "stat01: time nodes depth moves-left moves-total move" of the current or last search.
void printAnalysisStatus(const Engine* engine);
