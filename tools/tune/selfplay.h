// Self-play games for the tuner: the engine plays itself at a fixed number of nodes a move
// from varied openings, and the quiet positions of each game are kept with its result and
// the search's own score.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tuner.h"

struct Engine;

namespace tune {

// The opening lines of a file, each as its SAN tokens: the games of a PGN file (tags,
// move numbers, comments and results left out) or the "pgn" column of a tab-separated
// file with a header line. False when the file cannot be read.
bool readOpenings(const char* path, std::vector<std::vector<std::string>>* lines);

struct SelfPlayOptions {
  uint64_t nodes = 5000;       // per move, both sides
  int randomPlies = 2;         // up to this many random legal plies after the opening line
  int firstPly = 16;           // positions are kept from this ply of the game on
  int maxPlies = 400;          // a game this long is a draw
  int winScore = 1000;         // both sides agree on this much for winPlies plies: a win
  int winPlies = 8;
  int drawScore = 10;          // |score| at most this for drawPlies plies from drawAfter on
  int drawPlies = 16;
  int drawAfter = 80;
};

struct GameOutcome {
  float result;        // for White: 1, 0.5, 0
  int plies;           // played, the opening's included
  const char* reason;  // "mate", "stalemate", "rule", "adjudication", "length"
};

// Plays one game from the opening line (stopped at its first unreadable move), then up to
// randomPlies random plies drawn from rng, then the engine's choices. The quiet positions
// from firstPly on are appended to *out with the game number, the result and the search's
// expected result for White (the score through expectedResult with k = 1).
GameOutcome playGame(Engine* engine, const std::vector<std::string>& opening,
                     const SelfPlayOptions& options, std::mt19937_64* rng, uint32_t game,
                     Board* quietTest, std::vector<Record>* out);

// The position on the engine's board.
std::string fenOf(const Engine* engine);

// The engine record for playGame: tables, built-in settings, the square values of
// sqvaluePath (the built-in ones when it is null) and hash tables of hashMegabytes.
// Null when the file or the memory is missing.
Engine* makeSelfPlayEngine(const char* sqvaluePath, long hashMegabytes);

}  // namespace tune
