// Evaluation benchmark: materialBalance + evaluate with the full window over the
// positions of an EPD file, as at a quiescence node whose attack caches are still empty.
//   eval_bench [EPD_FILE] [SQVALUE_FILE] [SECONDS]
// Defaults: tests/data/epd/wac.epd, data/sqvalue, 3 seconds (paths from the source tree).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/sqvalue.h"

namespace {

struct Sample {
  Position position;
  UndoRecord records[2];  // the root and ply 1, which is evaluated
  int side;
};

}  // namespace

int main(int argc, char** argv) {
  const char* epd = argc > 1 ? argv[1] : "tests/data/epd/wac.epd";
  const char* values = argc > 2 ? argv[2] : "data/sqvalue";
  const double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;

  static BoardTables tables;
  initTables(&tables);
  if (!loadSquareValuesFrom(values, &tables)) {
    std::fprintf(stderr, "cannot read %s\n", values);
    return 2;
  }

  std::ifstream in(epd);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", epd);
    return 2;
  }
  std::vector<Sample> samples;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string placement, side, castling, enPassant;
    if (!(fields >> placement >> side >> castling >> enPassant)) continue;
    Sample s{};
    if (!setBoardFromFen(placement.c_str(), side[0], castling.c_str(), enPassant.c_str(), "0", "1",
                         &s.side, &s.position, &s.records[0], &tables, false))
      continue;
    s.records[1] = s.records[0];
    samples.push_back(s);
  }
  if (samples.empty()) {
    std::fprintf(stderr, "no positions in %s\n", epd);
    return 2;
  }

  int middlegames = 0, draws = 0;
  for (Sample& s : samples) {
    int white, black, bonus = 0;
    const int m = materialBalance(&s.position, &tables, &white, &black, &bonus);
    if (m == MATERIAL_DRAW) ++draws;
    else if ((white < -black ? white : -black) > MIDDLEGAME_PHASE) ++middlegames;
  }

  auto run = [&](bool freshCaches, long long* calls) {
    long long checksum = 0;  // of the first pass, the same in both modes
    *calls = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    while (elapsed < seconds) {
      for (int round = 0; round < 100; ++round) {
        for (Sample& s : samples) {
          if (freshCaches) {
            std::memset(s.records[1].whiteAttackInfo, 0, sizeof s.records[1].whiteAttackInfo);
            std::memset(s.records[1].blackAttackInfo, 0, sizeof s.records[1].blackAttackInfo);
          }
          int white, black, bonus = 0;
          const int m = materialBalance(&s.position, &tables, &white, &black, &bonus);
          if (m != MATERIAL_DRAW && *calls == 0 && round == 0)
            checksum += evaluate(s.side, 1, &s.position, s.records, &tables, m, white, black,
                                 -INFINITE_SCORE, bonus);
          else if (m != MATERIAL_DRAW)  // a call into another unit: not optimised away
            evaluate(s.side, 1, &s.position, s.records, &tables, m, white, black, -INFINITE_SCORE,
                     bonus);
        }
        *calls += (long long)samples.size();
      }
      elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return std::pair<double, long long>(elapsed, checksum);
  };

  std::printf("%zu positions (%d middlegame, %d endgame, %d material draws) from %s\n",
              samples.size(), middlegames, int(samples.size()) - middlegames - draws, draws, epd);
  for (bool fresh : {true, false}) {
    long long calls = 0;
    const auto [elapsed, checksum] = run(fresh, &calls);
    std::printf("%-28s %10.0f evaluations/s  %6.1f ns each  (checksum %lld)\n",
                fresh ? "empty attack caches:" : "attack caches kept:", double(calls) / elapsed,
                1e9 * elapsed / double(calls), checksum);
  }
  return 0;
}
