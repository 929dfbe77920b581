// The square-value file as the engine reads it at a new game; the values read are then
// used by the evaluation of a few positions of every kind (opening, middlegame, passed
// pawns, pawn endings).
#include <cstring>

#include "board/bitboard.h"
#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/sqvalue.h"
#include "fuzz_support.h"

namespace {

Engine* engine;

const char* const kPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R2QKB1R w KQ - 2 9",
    "8/1P3k2/8/3p4/8/2K5/5p2/8 b - - 0 50",
    "8/5k2/3p4/2pP4/2P5/5K2/8/8 w - - 0 60",
    "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1",
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  engine = fuzz::startEngine();  // no sqvalue in the scratch directory: all values 0
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Engine* e = engine;
  std::memset(e->tables.squareValues, 0, sizeof e->tables.squareValues);
  std::FILE* f = fuzz::openBytes(data, size);
  readSquareValues(f, &e->tables);
  std::fclose(f);
  for (const char* fen : kPositions) {
    char field[6][64] = {};
    std::sscanf(fen, "%63s %63s %63s %63s %63s %63s", field[0], field[1], field[2], field[3],
                field[4], field[5]);
    if (!setBoardFromFen(field[0], field[1][0], field[2], field[3], field[4], field[5],
                         &e->sideToMove, &e->position, &e->records[0], &e->tables, false))
      __builtin_trap();
    e->records[1] = e->records[0];
    scoreCommand(e->sideToMove, &e->position, e->records, &e->tables);
  }
  return 0;
}
