#include "tablebase/generator/moves.h"

namespace tbgen {

int quietMoves(const Ending& e, const int* sq, int stm, int epSquare) {
  initGeometry();
  Table t;  // without links: captures and promotions look up nothing
  t.ending = e;
  Summary s;
  summarise(t, sq, stm, epSquare, &s);
  return s.quiet;
}

std::vector<std::vector<int>> predecessors(const Ending& e, const int* sq, int stm, int epPawn) {
  initGeometry();
  std::vector<std::vector<int>> out;
  forEachUnmove(e, sq, stm, epPawn, [&](int, int, const int* p) { out.emplace_back(p, p + e.units); });
  return out;
}

}  // namespace tbgen
