// Shared helpers of the evaluation tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/sqvalue.h"
#include "test_support.h"

inline std::string shippedSquareValues() {
  return std::string(VORLAK_SOURCE_DIR) + "/data/sqvalue";
}

struct MaterialResult {
  int score = 0, white = 0, black = 0, bonus = 0;
};

inline MaterialResult material(TestBoard& b) {
  MaterialResult m;
  m.score = materialBalance(&b.position, &b.tables, &m.white, &m.black, &m.bonus);
  return m;
}

// A position and a number that goes with it, for tables of cases.
struct FenValue {
  const char* fen;
  int value;
};

inline bool drawish(const TestBoard& b) { return (b.position.modeFlags & DRAWISH_ENDING) != 0; }

// evaluate at ply 1 with the material m of the board; the full window gives the exact score.
inline int eval(TestBoard& b, const MaterialResult& m, int side, int alpha = -INFINITE_SCORE) {
  return evaluate(side, 1, &b.position, b.records, &b.tables, m.score, m.white, m.black, alpha,
                  m.bonus);
}

// The colour-reversed FEN of each position, through the engine's own reverse command.
inline std::vector<std::string> reversedFens(const std::vector<std::string>& fens) {
  std::vector<std::string> reversed;
  TestBoard b;
  char text[FEN_SIZE];
  testing::internal::CaptureStdout();  // reverseBoard prints the board
  for (const std::string& fen : fens) {
    b.setFen(fen);
    reverseBoard(&b.side, &b.position, &b.records[0], &b.tables, text);
    reversed.push_back(text);
  }
  testing::internal::GetCapturedStdout();
  return reversed;
}
