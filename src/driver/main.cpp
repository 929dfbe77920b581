// vorlak: start-up, the start-up command file and the main loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "board/position.h"
#include "book/book.h"
#include "driver/bench.h"
#include "driver/commands.h"
#include "driver/defaults.h"
#include "driver/engine.h"
#include "driver/game.h"
#include "driver/input.h"
#include "driver/play.h"
#include "driver/tables.h"
#include "driver/uci.h"
#include "driver/xboard.h"
#include "driver/version.h"

namespace {

Engine engine;  // lives for the whole run; nothing is allocated after start-up but the tables

// A session without vorlak.cfg ends at once, unless it is a UCI one: fastchess and
// OpenBench start the bare binary in a directory of their own. False for such a session,
// which then runs on the built-in settings.
bool readConfiguration(Engine* e) {
  std::FILE* file = std::fopen("vorlak.cfg", "r");
  if (!file) {
    engineState = RESTING;
    if (readCommandLine() && strcasecmp(commandWords[0], "uci") == 0) {
      beginUciSession();
      loadDefaults(e);
      return false;
    }
    std::printf("Can't read vorlak.cfg.  Quiting.");
    std::fflush(stdout);
    std::exit(0);
  }
  runStartupCommands(file, e);
  std::fclose(file);
  return true;
}

// Only --help, --version and bench are understood; they answer and leave before anything
// starts. Any other argument is refused so that a mistyped option never starts a game.
void handleArguments(int argc, char** argv) {
  if (argc < 2) return;
  const char* arg = argv[1];
  if (std::strcmp(arg, "bench") == 0) std::exit(benchFromCommandLine(argc - 2, argv + 2, &engine));
  if (argc == 2 && std::strcmp(arg, "--version") == 0) {
    std::printf("vorlak version %s\n", VORLAK_VERSION);
    std::exit(0);
  }
  if (argc == 2 && std::strcmp(arg, "--help") == 0) {
    std::printf(
        "usage: vorlak [--help | --version | bench [DEPTH]]\n"
        "\n"
        "A chess engine for xboard (engine protocol versions 1 and 2) and UCI interfaces.\n"
        "Without arguments it reads vorlak.cfg from the working directory, then commands\n"
        "on standard input; it also reads sqvalue, white.bin and black.bin there and\n"
        "appends each day's games to list.MMDDYY there. A session that starts with uci\n"
        "needs none of these files. The installed vorlak command runs it in\n"
        "${XDG_DATA_HOME:-~/.local/share}/vorlak. See vorlak(6).\n"
        "\n"
        "  --help         print this text and exit\n"
        "  --version      print the version and exit\n"
        "  bench [DEPTH]  search the built-in positions, print the node total and speed\n");
    std::exit(0);
  }
  // Name the first word that is not a lone --help or --version.
  const bool known = std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "--version") == 0;
  std::fprintf(stderr,
               "vorlak: unexpected argument '%s' (usage: vorlak [--help | --version | bench "
               "[DEPTH]])\n",
               known ? argv[2] : arg);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  handleArguments(argc, argv);
  Engine* e = &engine;
  std::printf("vorlak version %s\n", VORLAK_VERSION);
  e->listFile = openListFile();
  e->speedFactor = 0.9;
  e->extraPercent = 100;
  const bool configured = readConfiguration(e);
  allocateHashTables(e);
  setUpTablebases(e, false);
  e->started = true;
  newGame(e);
  loadBooks();
  displayBoard(&e->position);
  if (!configured) runUci(e, true);

  bool firstCommand = true;
  for (;;) {
    engineState = PROCESSING;
    clearWords(commandWords);
    while (engineState == PROCESSING || engineState == RESTING) {
      std::printf("I'm resting\n");
      std::fflush(stdout);
      if (e->analyzing) analyzeUntilInput(e);
      clearWords(commandWords);
      if (!readCommandLine()) exitProgram(e);  // the interface has gone: leave as quit does
      if (engineState == PROCESSING && firstCommand && commandWords[0][0]) {
        firstCommand = false;
        if (strcasecmp(commandWords[0], "uci") == 0) runUci(e, false);
      }
      if (engineState == PROCESSING) {
        std::printf("I'm processing\n");
        engineState = interpretCommand(commandWords, e);
      }
    }
    if (engineState == SEARCHING) engineTurn(e);
  }
}
