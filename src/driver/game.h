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

// After a game move made at ply 1: it becomes the game position, killers move down a
// ply, the other side is to move, the move counters follow and the move is kept in the
// game's history.
void afterGameMove(Engine* engine, Move move);

// Repetition, fifty moves and insufficient material before the engine's search: in xboard
// mode the claim is printed and true returned, on the console the game ends. The engine
// does not move after such a claim: xboard ends the game on it at once, and a move that
// came later would land in the next game, where xboard takes it back with "undo" (one
// ply of the new game's opening lost, then false illegal-move claims).
bool drawRulesBeforeSearch(Engine* engine);

// The tests after the engine's move (made at ply 1, clocks updated): draw readiness,
// claims, mate given, resignation and mate announcement. side is the side that moved,
// score the search's score from its view.
void endOfMoveTests(Engine* engine, int side, Move move, int score);

void writeResultLine(std::FILE* listFile, Position* position, const char* result,
                     const char* comment);

// The game's result line, written once: by the interface's result command, at a game end
// on the console, or, when the interface goes (quit, the end of input, new) without a
// result command, for the result the engine announced.
void listResult(Engine* engine, const char* result, const char* comment);

// A game end printed in xboard mode ("0-1 {resign}", "1-0 {White mates}", ...).
void announceInXboardMode(Engine* engine, const char* result, const char* comment);

// Writes the announced result line when the game has none yet.
void listAnnouncedResult(Engine* engine);

[[noreturn]] void exitProgram(Engine* engine);

// Opens "list.MMDDYY" for appending; reports a failure once and plays on without it.
std::FILE* openListFile();
