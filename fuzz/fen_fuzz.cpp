// A FEN as the setboard command receives it, split into words by the engine's own line
// splitter; an accepted position is then printed, mirrored, scored, counted to depth 2,
// searched one ply, and read back from its own FEN, which must give the same FEN.
#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "driver/commands.h"
#include "driver/input.h"
#include "driver/play.h"
#include "fuzz_support.h"

namespace {

Engine* engine;
constexpr size_t MAX_LINE = 1024;

uint32_t run(Engine* e, const char* line) {
  char words[WORD_COUNT][WORD_SIZE];
  splitConfigLine(line, words);
  return interpretCommand(words, e);
}

// Reading a position's own FEN must give that FEN again.
void checkRoundTrip(Engine* e) {
  char fen[FEN_SIZE], again[FEN_SIZE];
  getFen(e->sideToMove, &e->position, &e->records[0], fen);
  char line[FEN_SIZE + 16];
  std::snprintf(line, sizeof line, "setboard %s", fen);
  run(e, line);
  getFen(e->sideToMove, &e->position, &e->records[0], again);
  if (std::strcmp(fen, again) != 0) {
    std::fprintf(stderr, "FEN round trip:\n  %s\n  %s\n", fen, again);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  engine = fuzz::startEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MAX_LINE) return 0;
  Engine* e = engine;
  fuzz::resetEngine(e);
  e->position.modeFlags |= XBOARD_MODE;
  char line[MAX_LINE + 16] = "setboard ";
  const size_t start = std::strlen(line);
  for (size_t i = 0; i < size; ++i) {
    const char c = char(data[i]);
    if (c == '\n' || c == '\0') break;  // one command line
    line[start + i] = c;
    line[start + i + 1] = '\0';
  }
  char words[WORD_COUNT][WORD_SIZE];
  splitConfigLine(line, words);
  interpretCommand(words, e);
  checkRoundTrip(e);
  for (const char* command : {"getfen", "display", "score", "perft 2", "reverse", "reverse"})
    run(e, command);
  checkRoundTrip(e);
  run(e, "sd 1");
  if (run(e, "go") == SEARCHING) engineTurn(e);
  return 0;
}
