// A check of finished tablebase files through the engine's own probe path: for every
// legal position of an ending, the probed value must be exactly the best over its legal
// moves of the probed values one move later (a win one move longer than the quickest
// lost successor, a loss one move longer than the slowest won successor when every
// successor wins, a draw otherwise; mate and stalemate when there is no move). The moves
// come from the engine's move generator, not from the tablebase generator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tbgen {

struct VerifyStats {
  uint64_t positions = 0;   // positions checked (en-passant ones included)
  uint64_t successors = 0;  // successor positions probed
  uint64_t mismatches = 0;  // positions whose value is not the best over their moves
  uint64_t notFound = 0;    // positions or successors the probe could not answer
  std::vector<std::string> examples;  // the first failures, with their FEN
  double seconds = 0;
};

// tbInit and tbSetCache must have registered the ending and the endings its captures
// and promotions lead to. Every stride-th position is checked (one image of each
// position under the board's symmetries). False when any check fails.
bool verifyEnding(const std::string& name, uint64_t stride, VerifyStats* stats, std::string* error);

// A value as the engine's probe scores it: kind 1 win, -1 loss, 0 draw, and the plies
// to mate. Exposed for tests.
struct PlyValue {
  int kind;
  int plies;
};
PlyValue plyValueOfScore(int score);

// A probe's score in words: "mate in N" (the side to move mates with its N-th move),
// "mated in N" (the other side mates with its N-th move, 0: checkmated) or "draw".
std::string valueText(int score);

}  // namespace tbgen
