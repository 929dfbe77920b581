// An engine's search state around a test board: tables, principal variation, clock.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "search/search.h"
#include "test_support.h"

struct SearchFixture {
  std::unique_ptr<TestBoard> board;
  std::vector<HashEntry> white, black;
  HashTables hash{};
  Move pv[MAX_PLY][MAX_PLY + 1]{};
  TimeControl tc{};
  SearchContext context{};
  Move rootMoves[MAX_MOVES]{};
  int rootCount = 0;
  Move bestMoveByDepth[MAX_PLY]{};
  Move expectedReply = 0;
  double speedFactor = 0.9;

  explicit SearchFixture(const std::string& fen = "", uint32_t hashMask = (1u << 14) - 1)
      : board(makeBoard(fen)), white(hashMask + 1), black(hashMask + 1) {
    Position& p = board->position;
    p.hashMask = hashMask;
    hash.table[WHITE] = white.data();
    hash.table[BLACK] = black.data();
    p.depthLimit = MAX_PLY;
    p.fastIterationLimit = MAX_PLY;
    setDefaultExtensions(&p);
    tc.timeBudget = tc.budgetCeiling = 1e12;  // no clock: depth limits only
    tc.nextClockCheck = ~0ull >> 1;
    context = {&p, board->records, pv, &hash, &board->tables, &tc, {}, true};
    for (Move m : board->legalMoves()) rootMoves[rootCount++] = m;
  }

  // Iterative deepening to a fixed depth; returns the score, the move is best().
  int searchToDepth(uint32_t depth, double reserve = 0) {
    Position& p = board->position;
    p.depthLimit = depth;
    p.nodeCount = 1;
    p.quiesceNodeCount = 0;
    tc.startTime = clockMicroseconds();
    return iterativeDeepening(&context, board->side, rootMoves, rootCount, 0, &speedFactor,
                              reserve, 40, bestMoveByDepth, &expectedReply);
  }
  Move best() const { return bestMoveByDepth[board->position.searchDepth]; }
};
