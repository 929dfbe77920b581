// Single nodes of the search set up by hand, observed through the table: the depth a child
// position was stored with tells how deep it was searched.
#include <gtest/gtest.h>

#include <algorithm>

#include "board/makemove.h"
#include "eval/evaluate.h"
#include "movegen/movegen.h"
#include "search_fixture.h"

namespace {

// The board's position as the node at ply of an iteration of searchDepth.
Position& atPly(SearchFixture& f, int ply, uint32_t searchDepth) {
  f.board->records[ply] = f.board->records[0];
  f.board->position.searchDepth = searchDepth;
  return f.board->position;
}

// The depth stored for the position of record ply with side to move; -1 when none.
int storedDepth(SearchFixture& f, int side, int ply) {
  const uint64_t key = f.board->records[ply].hashKey;
  const HashEntry& e = f.hash.table[side][uint32_t(key) & f.board->position.hashMask];
  return e.keyA == key ? hashDataDepth(e.dataA) : e.keyB == key ? hashDataDepth(e.dataB) : -1;
}

// Calls visit after each legal move of side at ply, made at ply + 1.
template <class F>
void forEachChild(SearchFixture& f, int side, int ply, F visit) {
  TestBoard& b = *f.board;
  Move list[MAX_MOVES];
  const int n = generateLegalMoves(side, ply, list, &b.position, b.records, &b.tables);
  for (int i = 0; i < n; ++i) {
    makeMove(side, ply + 1, list[i], &b.position, b.records, &b.tables);
    visit(list[i]);
    unmakeMove(side, ply + 1, list[i], &b.position, b.records);
  }
}

int deepestChild(SearchFixture& f, int side, int ply) {
  int deepest = -1;
  forEachChild(f, side, ply,
               [&](Move) { deepest = std::max(deepest, storedDepth(f, side ^ 1, ply + 1)); });
  return deepest;
}

}  // namespace

TEST(SearchNode, NullMoveNeedsSixUnitsAndReducesByR) {
  // White, far ahead, passes at a cut node; the null-move search of the same board with
  // Black to move is stored at depth - R - 1 and the node fails high.
  struct Case { const char* fen; uint32_t searchDepth; int depth, nullDepth; };
  const Case cases[] = {
      {"4k3/pppp4/8/8/8/8/PPPPPPPP/R2QK2R w - - 0 1", 16, 7, 1},  // 12 units: R = 16 / 8 + 3
      {"4k3/pppp4/8/8/8/8/PPPPPPPP/R2QK2R w - - 0 1", 16, 6, 2},  // shallower: R = 3
      {"4k3/pppp4/8/8/8/8/PPPPP3/R2QK2R w - - 0 1", 16, 7, 3},    // 9 units: R = 3
      {"4k3/pppp4/8/8/8/8/PPP5/R2QK3 w - - 0 1", 1, 5, 1},        // 6 units
      {"4k3/pppp4/8/8/8/8/PP6/R2QK3 w - - 0 1", 1, 5, -1},        // 5 units: no null move
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth));
    SearchFixture f(c.fen);
    atPly(f, 4, c.searchDepth);
    EXPECT_EQ(search(&f.context, WHITE, 4, -1, 0, c.depth, {.nodeType = CUT_NODE}, 0), 0);
    EXPECT_EQ(storedDepth(f, BLACK, 4), c.nullDepth);
  }
  // Never on the principal variation, nor where the caller forbids it.
  for (NodeArgs node :
       {NodeArgs{.nodeType = PV_NODE}, NodeArgs{.nullAllowed = 0, .nodeType = CUT_NODE}}) {
    SearchFixture f(cases[3].fen);
    atPly(f, 4, 1);
    search(&f.context, WHITE, 4, -1, 0, 5, node, 0);
    EXPECT_EQ(storedDepth(f, BLACK, 4), -1);
  }
}

TEST(SearchNode, LateMoveThatBeatsAlphaIsSearchedAgainAtFullDepth) {
  // A fast iteration in the middlegame, both kings safe: from the fifth move on, quiet
  // moves go to the quiescence search, which (material only) finds them equal. The table
  // refutes every move at full depth, so each of them that beats alpha must be searched
  // again there, and the node fails low.
  SearchFixture f("r5k1/5ppp/8/8/8/8/5PPP/1R4K1 w - - 0 1");
  Position& p = atPly(f, 2, 6);
  p.fastIterationLimit = 8;
  p.phaseMaterial = MIDDLEGAME_PHASE;
  forEachChild(f, WHITE, 2, [&](Move) {
    hashStore(BLACK, 3, 3, 200, 0, 0, 0, HASH_EXACT, &f.board->records[3], &f.hash, &p);
  });
  EXPECT_EQ(search(&f.context, WHITE, 2, -50, 50, 4, {.nullAllowed = 0, .nodeType = ALL_NODE}, 0),
            -50);
}

TEST(SearchNode, ExtensionsFadeWithDistanceAndCarryTheirFractions) {
  // Black in check with four king moves at iteration depth 6: the check extension (100)
  // counts fully up to ply 12, half at ply 18, not at all beyond ply 24; the carry comes
  // on top. A whole ply extends the evasions, stored at depth 3 instead of 2.
  struct Case { int ply, carry, childDepth; };
  for (Case c : {Case{12, 0, 3}, Case{18, 49, 2}, Case{18, 50, 3}, Case{25, 99, 2}}) {
    SCOPED_TRACE("ply " + std::to_string(c.ply) + " carry " + std::to_string(c.carry));
    SearchFixture f("4k3/8/8/8/8/8/8/4R1K1 b - - 0 1");
    atPly(f, c.ply, 6);
    search(&f.context, BLACK, c.ply, -1000, 1000, 3, {.extensionCarry = c.carry}, 0);
    EXPECT_EQ(deepestChild(f, BLACK, c.ply), c.childDepth);
  }
  // Recapturing the queen with check (38) on a carry of 75 extends one ply and leaves 13;
  // with the reply's damped check (87 at ply 9 of iteration 4) that is another ply.
  SearchFixture f("3k4/8/8/3q4/8/8/8/3RK3 w - - 0 1");
  atPly(f, 8, 4);
  const Move queenTook = makeMoveWord(D7, D5, BLACK_QUEEN, WHITE_ROOK, 0, ORDER_KEY_BIAS);
  search(&f.context, WHITE, 8, -1000, 1000, 3, {.extensionCarry = 75}, queenTook);
  TestBoard& b = *f.board;
  makeMove(WHITE, 9, makeMoveWord(D1, D5, WHITE_ROOK, BLACK_QUEEN, 0, ORDER_KEY_BIAS), &b.position,
           b.records, &b.tables);
  EXPECT_EQ(storedDepth(f, BLACK, 9), 3);
  EXPECT_EQ(deepestChild(f, BLACK, 9), 3);
}
