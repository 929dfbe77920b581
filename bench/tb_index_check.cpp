// Long-running check of the index functions, too slow for the unit tests: every entry of
// every 3- and 4-man function (and every STEP-th entry, on average, of the 5- and 6-man
// ones) that decodes to a placement must give back its own entry number.
// Usage: tb_index_check [STEP]   (default 20000)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tablebase/tablebase.h"

int main(int argc, char** argv) {
  const uint64_t step = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
  const auto start = std::chrono::steady_clock::now();
  uint64_t checked = 0, wrong = 0, state = 12345;
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    for (int side = 0; side < 2; ++side) {
      if (side == 1 && (tbEndings[size_t(e)].flags & TB_SYMMETRIC)) continue;
      const uint64_t range = tbEntryRange(e, side);
      int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep;
      for (uint64_t i = 0; i < range;) {
        if (tbDecodeEntry(e, side, i, first, second, &ep)) {
          ++checked;
          const uint32_t back = tbEndings[size_t(e)].indexFunction[side](first, second, ep, 0);
          if (back != i && ++wrong <= 20)
            std::printf("%s side %d: entry %llu comes back as %u\n", tbEndings[size_t(e)].name, side,
                        static_cast<unsigned long long>(i), back);
        }
        if (e < 36 || step <= 1) {
          ++i;
        } else {
          state = state * 6364136223846793005ull + 1442695040888963407ull;
          i += 1 + (state >> 33) % (2 * step);
        }
      }
    }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu placements checked, %llu wrong, %.1f s\n", static_cast<unsigned long long>(checked),
              static_cast<unsigned long long>(wrong), seconds);
  return wrong ? 1 : 0;
}
