// Starting games, the day's list file, results and leaving the program.
#pragma once

#include <cstdio>

#include "driver/engine.h"
#include "eval/evaluate.h"

void newGame(Engine* engine);

// The draw-test results the driver acts on: threefold repetition, insufficient material
// and the fifty-move rule.
inline bool isClaimableDraw(int drawCheckResult) {
  return drawCheckResult == DRAW_REPETITION || drawCheckResult == DRAW_MATERIAL ||
         drawCheckResult == DRAW_FIFTY_MOVES;
}

// The list-file line of a move; score and searchDepth matter only for the engine's
// searched moves. The head lines come first when White makes the game's first move.
void listRecord(Engine* engine, int side, Move move, bool engineMove, int score);

void writeResultLine(std::FILE* listFile, Position* position, const char* result,
                     const char* comment);

[[noreturn]] void exitProgram(Engine* engine);

// Opens "list.MMDDYY" for appending; reports a failure once and plays on without it.
std::FILE* openListFile();
