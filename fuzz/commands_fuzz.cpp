// Command lines as the interface types them, read by the engine's own line reader and
// carried out by the interpreter; the engine moves when a command asks it to, with its
// searches held to a shallow depth. Every input starts from a new game in xboard mode
// (so that a game end does not end the process).
//
// Left out, because they end the process or leave the scratch directory by design:
// quit and exit; readTextBooks, whiteFEN and blackFEN (a source move that matches no
// legal move ends the process; the sources are fuzzed by pgn_fuzz); readPGN with a path
// outside the scratch directory. xboard's own effects (unbuffered output, ignored
// signals) are left out; its mode flag is always on. perft is held to depth 3.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "driver/commands.h"
#include "driver/input.h"
#include "driver/play.h"
#include "fuzz_support.h"

namespace {

constexpr uint32_t SEARCH_DEPTH_LIMIT = 2;
constexpr int MAX_SEARCHES = 6;
constexpr int MAX_LINES = 200;
constexpr long MAX_PERFT_DEPTH = 3;

Engine* engine;

bool is(const char* word, const char* name) { return strcasecmp(word, name) == 0; }

bool allowed(char words[WORD_COUNT][WORD_SIZE], const Engine* e) {
  const char* w = words[0];
  if (e->editing) return true;
  for (const char* name : {"quit", "exit", "xboard", "readTextBooks", "whiteFEN", "blackFEN"})
    if (is(w, name)) return false;
  if (is(w, "readPGN")) return std::strchr(words[1], '/') == nullptr;
  if (is(w, "perft")) return std::atol(words[1]) <= MAX_PERFT_DEPTH;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::startInScratchDirectory();
  std::filesystem::copy_file(VORLAK_SOURCE_DIR "/data/sqvalue", "sqvalue");
  std::filesystem::copy_file(VORLAK_SOURCE_DIR "/fuzz/data/games.pgn", "games.pgn");
  const int reach = fuzz::setUpSmallTablebases();
  engine = fuzz::startEngine();
  engine->position.tablebaseReach = uint32_t(reach);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Engine* e = engine;
  fuzz::resetEngine(e);
  e->position.modeFlags |= XBOARD_MODE;
  // readPGN appends to the sources; each input starts without them.
  for (const char* source : {"white", "black"}) unlink(source);
  hashStartsComment = true;
  std::FILE* in = fuzz::openBytes(data, size);
  int searches = 0;
  for (int line = 0; line < MAX_LINES; ++line) {
    engineState = RESTING;
    if (!readCommandLine(in)) break;
    if (engineState != PROCESSING || !allowed(commandWords, e)) continue;
    engineState = interpretCommand(commandWords, e);
    if (engineState != SEARCHING) continue;
    if (++searches > MAX_SEARCHES) break;
    Position* p = &e->position;
    p->depthLimit = std::min(p->depthLimit, SEARCH_DEPTH_LIMIT);
    engineTurn(e);
  }
  std::fclose(in);
  return 0;
}
