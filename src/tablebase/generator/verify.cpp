#include "tablebase/generator/verify.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "tablebase/generator/ending.h"
#include "tablebase/tablebase.h"

namespace tbgen {

// The probe's scores: mate in m is INFINITE_SCORE - 2m, the stored loss -TB_MATE + m
// is -INFINITE_SCORE - 2 + 2m.
PlyValue plyValueOfScore(int score) {
  if (score > 0) return {1, 2 * ((INFINITE_SCORE - score) / 2) - 1};
  if (score < 0) return {-1, 2 * ((score + INFINITE_SCORE + 2) / 2 - 1)};
  return {0, 0};
}

std::string valueText(int score) {
  if (score > 0) return "mate in " + std::to_string((INFINITE_SCORE - score) / 2);
  if (score < 0) return "mated in " + std::to_string((score + INFINITE_SCORE) / 2);
  return "draw";
}

namespace {

const BoardTables* engineTables() {
  static BoardTables tables;
  static std::once_flag once;
  std::call_once(once, [] { initTables(&tables); });
  return &tables;
}

struct Checker {
  const Ending& e;
  const BoardTables* tables;
  VerifyStats& stats;
  Position position{};
  UndoRecord records[MAX_PLY]{};

  std::string fen(int side) {
    char text[FEN_SIZE];
    getFen(side, &position, &records[0], text);
    return text;
  }

  void fail(int side, const std::string& what) {
    if (stats.examples.size() < 10) stats.examples.push_back(fen(side) + ": " + what);
  }

  static std::string describe(PlyValue v) {
    if (v.kind == 0) return "draw";
    return std::string(v.kind > 0 ? "win in " : "loss in ") + std::to_string(v.plies) + " plies";
  }

  void check(const int* sq, int stm, int epSquare) {
    int board[64] = {};
    for (int u = 0; u < e.units; ++u) board[sq[u]] = e.kind[u] + (e.colour[u] ? 6 : 0);
    records[0] = UndoRecord{};
    records[0].enPassant = epSquare >= 0 ? bit(epSquare) : 0;
    rebuildPosition(board, &position, &records[0], tables);
    const int side = stm == 0 ? WHITE : BLACK;
    ++stats.positions;
    int score = 0;
    if (!tbProbe(side, &score, &position, &records[0])) {
      ++stats.notFound;
      fail(side, "not found");
      return;
    }
    const PlyValue got = plyValueOfScore(score);

    Move list[MAX_MOVES];
    const int n = generateLegalMoves(side, 0, list, &position, records, tables);
    int quickestLoss = -1, slowestWin = -1;
    bool draw = false, missing = false;
    for (int i = 0; i < n; ++i) {
      makeMove(side, 1, list[i], &position, records, tables);
      int childScore = 0;
      ++stats.successors;
      if (tbProbe(side ^ 1, &childScore, &position, &records[1])) {
        const PlyValue c = plyValueOfScore(childScore);
        if (c.kind < 0) quickestLoss = quickestLoss < 0 ? c.plies : std::min(quickestLoss, c.plies);
        if (c.kind > 0) slowestWin = std::max(slowestWin, c.plies);
        if (c.kind == 0) draw = true;
      } else if (!(position.whitePieces & ~squareMask[position.whiteKingSquare]) &&
                 !(position.blackPieces & ~squareMask[position.blackKingSquare])) {
        draw = true;  // bare kings
      } else {
        missing = true;
      }
      unmakeMove(side, 1, list[i], &position, records);
    }
    if (missing) {
      ++stats.notFound;
      fail(side, "a successor is not found");
      return;
    }
    PlyValue want{0, 0};
    if (quickestLoss >= 0) {
      want = {1, quickestLoss + 1};
    } else if (draw) {
      want = {0, 0};
    } else if (n > 0) {
      want = {-1, slowestWin + 1};
    } else {
      Bitboard checkers = 0;
      const bool inCheck =
          findCheckers(side, &checkers, &position, tables) != 0;
      want = inCheck ? PlyValue{-1, 0} : PlyValue{0, 0};
    }
    if (want.kind != got.kind || want.plies != got.plies) {
      ++stats.mismatches;
      fail(side, "stored " + describe(got) + ", moves give " + describe(want));
    }
  }
};

}  // namespace

bool verifyEnding(const std::string& name, uint64_t stride, VerifyStats* stats, std::string* error) {
  const auto start = std::chrono::steady_clock::now();
  initGeometry();
  Ending e;
  if (!parseEnding(name, &e, error)) return false;
  VerifyStats s;
  Checker checker{e, engineTables(), s};
  stride = std::max<uint64_t>(stride, 1);
  uint64_t seen = 0;
  int sq[MAX_UNITS];
  for (uint64_t index = 0; index < e.size; ++index) {
    if (!decodeIndex(e, index, sq)) continue;
    for (int stm = 0; stm < 2; ++stm) {
      if (!legalFor(e, sq, stm)) continue;
      if (seen++ % stride == 0) checker.check(sq, stm, -1);
      int pawns[MAX_MEN];
      const int n = epPawns(e, sq, stm, pawns);
      for (int i = 0; i < n; ++i)
        if (seen++ % stride == 0) checker.check(sq, stm, stm == 0 ? pawns[i] + 8 : pawns[i] - 8);
    }
  }
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  *stats = s;
  if (s.mismatches || s.notFound) {
    *error = name + ": " + std::to_string(s.mismatches) + " positions disagree with their moves, " +
             std::to_string(s.notFound) + " not found";
    return false;
  }
  return true;
}

}  // namespace tbgen
