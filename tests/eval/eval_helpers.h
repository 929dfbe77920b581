// Shared helpers of the evaluation tests.
#pragma once

#include <string>

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

inline bool drawish(const TestBoard& b) { return (b.position.modeFlags & DRAWISH_ENDING) != 0; }

// The exact score (White's view) of the position at ply for side to move, as the
// quiescence search takes it with the full window; 0 for a material draw.
inline int fullEvaluation(TestBoard& b, int side, int ply = 1) {
  const MaterialResult m = material(b);
  if (m.score == MATERIAL_DRAW) return 0;
  return evaluate(side, ply, &b.position, b.records, &b.tables, m.score, m.white, m.black,
                  -INFINITE_SCORE, m.bonus);
}
