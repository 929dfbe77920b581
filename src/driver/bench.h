// bench: the search over a fixed set of built-in positions to a fixed depth. Its node
// total is the search's signature (any change of the search changes it) and its speed
// is what engine testers scale their time controls by.
#pragma once

#include <cstdint>

#include "driver/engine.h"
#include "driver/input.h"

// Chosen so that the whole run takes a few seconds in a Release build.
constexpr int BENCH_DEFAULT_DEPTH = 8;
// The tables bench searches with: the node total depends on their size, so it is fixed.
constexpr long BENCH_HASH_MEGABYTES = 16;

// FEN lines: openings, middlegames and endings, each with at least two legal moves.
extern const char* const BENCH_POSITIONS[];
extern const int BENCH_POSITION_COUNT;

struct BenchResult {
  uint64_t nodes;    // over all positions
  double seconds;    // spent searching
  int positions;     // searched (a position that cannot be set up is skipped)
};

// Searches every built-in position to depth from empty tables with the book and the
// tablebases off, as the engine's own turn does, and prints "position N: X nodes" for
// each. Uses and overwrites the engine's position, records and transposition tables
// (the latter at most hashMask + 1 entries each, the size they were allocated with);
// the thinking lines are not shown.
BenchResult runBench(Engine* engine, int depth, uint32_t hashMask);

// The console command "bench [DEPTH]": the game position, its square values and its
// settings are the same afterwards, the transposition tables are empty.
uint32_t benchCommand(char words[WORD_COUNT][WORD_SIZE], Engine* engine);

// "vorlak bench [DEPTH]": with the built-in defaults, needing no file. Returns the exit
// code. The output ends with the two lines "N nodes" and "M nps".
int benchFromCommandLine(int argc, char** argv, Engine* engine);
