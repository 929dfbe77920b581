// Retrograde analysis of one ending: every position's distance to mate, in plies, over
// the generator's own index (tbgen/ending.h). Captures and promotions take their values
// from the tables of the smaller endings, which must have been generated (or loaded)
// first.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tablebase/generator/ending.h"

namespace tbgen {

// State of one position, from the side to move's point of view.
constexpr uint16_t ST_INVALID = 0xFFFF;  // no position, or the side not to move in check
constexpr uint16_t ST_KNOWN = 0x8000;    // plus the plies to mate: odd wins, even loses
// Any other value: not decided yet; while analysing, it counts the moves not yet known
// to lose. Whatever is undecided at the end is a draw.

enum ValueKind { V_INVALID, V_DRAW, V_WIN, V_LOSS };
inline ValueKind kindOfState(uint16_t s) {
  if (s == ST_INVALID) return V_INVALID;
  if (!(s & ST_KNOWN)) return V_DRAW;
  return (s & 1) ? V_WIN : V_LOSS;
}
inline int pliesOfState(uint16_t s) { return s & 0x7FFF; }

struct Table;

// Where a capture or promotion leads: the table of the smaller ending (none when only
// the kings are left), whether its first side is our second, and for each of its units
// the unit of ours that stands there.
struct ExitLink {
  const Table* table = nullptr;
  bool swap = false;
  int8_t source[MAX_UNITS]{};
};

// Positions in which the side to move may capture en passant: the other side's pawn
// has just made a double step and a pawn of the side to move stands beside it.
struct EpNodes {
  std::unordered_map<uint64_t, uint32_t> slot;  // index << 6 | square of that pawn
  std::vector<uint64_t> key;
  std::vector<uint16_t> state;
};

struct Table {
  Ending ending;
  std::vector<uint16_t> state[2];  // by side to move
  // A table kept only for the larger endings that read it (compactTable, loadTable): one
  // byte per position, the files' code, and only for the sides to move they read; state
  // and ep are then empty. codeState turns a code back into a state.
  std::vector<int8_t> code[2];
  uint16_t codeState[256]{};
  EpNodes ep[2];
  // [captured unit + 1][promoted unit + 1][new kind]
  ExitLink exits[MAX_UNITS + 1][MAX_UNITS + 1][G_KING];
};

using TableSet = std::map<std::string, std::unique_ptr<Table>>;

inline bool hasSide(const Table& t, int side) { return !t.state[side].empty() || !t.code[side].empty(); }
inline uint16_t stateAt(const Table& t, int side, uint64_t index) {
  return t.code[side].empty() ? t.state[side][index] : t.codeState[uint8_t(t.code[side][index])];
}

struct GenStats {
  double seconds = 0;
  uint64_t wins[2]{}, losses[2]{}, draws[2]{};
  uint64_t epPositions = 0;
  int longestWin[2]{}, longestLoss[2]{};  // plies
  uint64_t bytes = 0;                      // analysis memory
};

// An ending that captures and promotions lead to, and which of its sides to move the
// positions they reach have: bit s for its side s.
struct SubEnding {
  std::string name;
  int sides = 0;
};
constexpr int BOTH_SIDES = 3;

// The endings that captures and promotions of this one lead to (bare kings excluded).
std::vector<SubEnding> subEndings(const Ending& e);
std::vector<SubEnding> subEndings(const Material& m);

// Analyses the ending; its sub-endings must be in done. On success the table is added
// to done.
bool generate(const std::string& name, TableSet& done, int threads, GenStats* stats,
              std::string* error);

// The generator's move routines, exposed for tests. quietMoves counts the legal moves
// of the side to move that keep the material (epSquare: where an en-passant capture
// would go, or -1). predecessors lists the legal positions, the other side to move, from
// which such a move leads here; epPawn is the square of a pawn that has just made a
// double step (an en-passant position: only that step leads here), else -1.
int quietMoves(const Ending& e, const int* sq, int stm, int epSquare);
std::vector<std::vector<int>> predecessors(const Ending& e, const int* sq, int stm, int epPawn);

}  // namespace tbgen
