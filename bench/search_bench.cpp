// Search benchmark: iterative deepening to a fixed depth over the positions of an EPD
// file, each from empty tables. Prints the total node count, which changes only when the
// search does, and the speed.
//   search_bench [DEPTH] [EPD_FILE] [COUNT] [SQVALUE_FILE]
// Defaults: depth 8, the first 40 positions of tests/data/epd/wac.epd, data/sqvalue.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "eval/sqvalue.h"
#include "movegen/movegen.h"
#include "search/search.h"

namespace {

constexpr uint32_t HASH_MASK = (1u << 18) - 1;  // 16 MB for both tables

Position position;
UndoRecord records[MAX_PLY];
BoardTables tables;
Move pv[MAX_PLY][MAX_PLY + 1];
std::vector<HashEntry> whiteTable(HASH_MASK + 1), blackTable(HASH_MASK + 1);

}  // namespace

int main(int argc, char** argv) {
  const uint32_t depth = argc > 1 ? uint32_t(std::atoi(argv[1])) : 8;
  const char* epd = argc > 2 ? argv[2] : "tests/data/epd/wac.epd";
  const int count = argc > 3 ? std::atoi(argv[3]) : 40;
  const char* values = argc > 4 ? argv[4] : "data/sqvalue";

  initTables(&tables);
  if (!loadSquareValuesFrom(values, &tables)) {
    std::fprintf(stderr, "cannot read %s\n", values);
    return 1;
  }
  std::ifstream in(epd);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", epd);
    return 1;
  }
  HashTables hash{};
  hash.table[WHITE] = whiteTable.data();
  hash.table[BLACK] = blackTable.data();
  TimeControl tc{};
  tc.timeBudget = tc.budgetCeiling = 1e15;
  tc.nextClockCheck = ~0ull >> 1;

  uint64_t totalNodes = 0;
  double totalSeconds = 0;
  int searched = 0;
  std::string line;
  std::FILE* devnull = std::fopen("/dev/null", "w");
  while (searched < count && std::getline(in, line)) {
    std::istringstream fields(line);
    std::string f[4];
    if (!(fields >> f[0] >> f[1] >> f[2] >> f[3])) continue;
    int side = WHITE;
    if (!setBoardFromFen(f[0].c_str(), f[1][0], f[2].c_str(), f[3].c_str(), "0", "1", &side,
                         &position, &records[0], &tables, false))
      continue;
    records[1] = records[0];
    Move rootMoves[MAX_MOVES];
    const int n = generateLegalMoves(side, 0, rootMoves, &position, records, &tables);
    if (n < 2) continue;
    hashClear(&hash, &position);
    position.hashMask = HASH_MASK;
    position.depthLimit = depth;
    position.fastIterationLimit = MAX_PLY;
    position.nodeCount = 1;
    position.quiesceNodeCount = 0;
    pv[0][PV_END] = 0;
    for (int i = 0; i < MAX_PLY; ++i) position.killerFrom[i] = position.killerTo[i] = 0;
    setDefaultExtensions(&position);
    SearchContext context{&position, records, pv, &hash, &tables, &tc, {}, true};
    Move best[MAX_PLY] = {};
    Move reply = 0;
    double speed = 0.9;
    tc.startTime = clockMicroseconds();
    // The thinking lines go to /dev/null: only the totals matter here.
    std::FILE* saved = stdout;
    stdout = devnull;
    const auto start = std::chrono::steady_clock::now();
    iterativeDeepening(&context, side, rootMoves, n, 0, &speed, 0, 40, best, &reply);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stdout = saved;
    totalNodes += position.nodeCount + position.quiesceNodeCount;
    totalSeconds += seconds;
    ++searched;
  }
  std::printf("%d positions, depth %u: %llu nodes in %.2f s, %.0f nodes per second\n", searched,
              depth, (unsigned long long)totalNodes, totalSeconds,
              double(totalNodes) / (totalSeconds > 0 ? totalSeconds : 1));
  return 0;
}
