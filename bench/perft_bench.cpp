// Perft benchmark and full check: counts every position of an EPD file
// ("FEN ;D1 n ;D2 n ...") to every listed depth up to a limit and prints the speed.
//   perft_bench FILE [MAX_DEPTH] [MAX_LEAVES]
// Exit status 1 when a count differs from the file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "movegen/perft.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [MAX_DEPTH] [MAX_LEAVES]\n", argv[0]);
    return 2;
  }
  const int maxDepth = argc > 2 ? std::atoi(argv[2]) : 63;
  const double maxLeaves = argc > 3 ? std::atof(argv[3]) : 1e18;
  static Position position;
  static UndoRecord records[MAX_PLY];
  static BoardTables tables;
  initTables(&tables);

  std::ifstream in(argv[1]);
  std::string line;
  int failures = 0;
  uint64_t totalLeaves = 0;
  double totalSeconds = 0;
  while (std::getline(in, line)) {
    const auto semi = line.find(';');
    if (semi == std::string::npos) continue;
    std::istringstream fen(line.substr(0, semi));
    std::string f[6] = {"", "w", "-", "-", "0", "1"};
    for (auto& field : f)
      if (!(fen >> field)) break;
    int side = WHITE;
    setBoardFromFen(f[0].c_str(), f[1][0], f[2].c_str(), f[3].c_str(), f[4].c_str(),
                    f[5].c_str(), &side, &position, &records[0], &tables, false);
    std::istringstream rest(line.substr(semi));
    std::string tag;
    uint64_t expected;
    int depth = 0;
    while (rest >> tag >> expected) {
      if (++depth > maxDepth || double(expected) > maxLeaves) break;
      position.nodeCount = 0;
      const auto start = std::chrono::steady_clock::now();
      perft(side, 0, depth, &position, records, &tables);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      totalLeaves += position.nodeCount;
      totalSeconds += seconds;
      const bool ok = position.nodeCount == expected;
      failures += !ok;
      std::printf("%s depth %d: %llu %s (%.2f M leaves/s)\n", line.substr(0, semi).c_str(), depth,
                  (unsigned long long)position.nodeCount, ok ? "ok" : "WRONG",
                  seconds > 0 ? double(position.nodeCount) / seconds / 1e6 : 0.0);
      std::fflush(stdout);
    }
  }
  std::printf("total: %llu leaves in %.2f s, %.2f M leaves/s, %d wrong\n",
              (unsigned long long)totalLeaves, totalSeconds,
              totalSeconds > 0 ? double(totalLeaves) / totalSeconds / 1e6 : 0.0, failures);
  return failures ? 1 : 0;
}
