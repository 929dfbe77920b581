// vorlak: start-up, the start-up command file and the main loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "book/book.h"
#include "driver/commands.h"
#include "driver/engine.h"
#include "driver/game.h"
#include "driver/input.h"
#include "driver/play.h"
#include "tablebase/tablebase.h"

namespace {

Engine engine;  // lives for the whole run; nothing is allocated after start-up but the tables

void readConfiguration(Engine* e) {
  std::FILE* file = std::fopen("vorlak.cfg", "r");
  if (!file) {
    std::printf("Can't read vorlak.cfg.  Quiting.");
    std::fflush(stdout);
    std::exit(0);
  }
  char line[WORD_SIZE];
  char words[WORD_COUNT][WORD_SIZE];
  while (std::fgets(line, sizeof line, file)) {
    if (line[0] == '#' || line[0] == '\n' || line[0] == '\r') continue;
    splitConfigLine(line, words);
    interpretCommand(words, e);
  }
  std::fclose(file);
}

void allocateHashTables(Engine* e) {
  const size_t entries = size_t(e->position.hashMask) + 1;
  for (HashEntry*& table : e->hash.table) {
    table = static_cast<HashEntry*>(std::calloc(entries, sizeof(HashEntry)));
    if (!table) {
      std::printf("Can't malloc hash");
      std::fflush(stdout);
      std::exit(0);
    }
  }
  std::printf("hash table size: %d MBytes.\n", int((uint64_t(entries) * 64) >> 20));
}

// The tablebase cache is allocated once; the directories are registered into it.
void setUpTablebases(Engine* e) {
  Position* p = &e->position;
  const uint64_t bytes = p->egtbCacheBytes;
  e->tablebaseCache = std::malloc(bytes ? bytes : 1);
  if (e->tablebaseCache) {
    p->tablebaseReach = uint32_t(tbInit(p->egtbDirectory));
    if (tbSetCache(e->tablebaseCache, bytes)) {
      std::printf("EGTB cache memory: %uM bytes.\n", unsigned(bytes >> 20));
      std::printf("EGTB directory: %s\n", p->egtbDirectory);
      return;
    }
  }
  p->tablebaseReach = 0;  // the search must not probe without a cache
  std::printf("ERROR in initializing EGTB\n");
}

}  // namespace

int main() {
  Engine* e = &engine;
  std::printf("vorlak version %s\n", "070722");
  e->listFile = openListFile();
  e->speedFactor = 0.9;
  e->extraPercent = 100;
  readConfiguration(e);
  allocateHashTables(e);
  setUpTablebases(e);
  e->started = true;
  newGame(e);
  loadBooks();
  displayBoard(&e->position);

  for (;;) {
    engineState = PROCESSING;
    clearWords(commandWords);
    while (engineState == PROCESSING || engineState == RESTING) {
      std::printf("I'm resting\n");
      std::fflush(stdout);
      clearWords(commandWords);
      if (!readCommandLine()) exitProgram(e);  // the interface has gone: leave as quit does
      if (engineState == PROCESSING) {
        std::printf("I'm processing\n");
        engineState = interpretCommand(commandWords, e);
      }
    }
    if (engineState == SEARCHING) engineTurn(e, commandWords[0]);
  }
}
