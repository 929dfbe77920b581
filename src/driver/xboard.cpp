#include "driver/xboard.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/game.h"
#include "driver/input.h"
#include "driver/play.h"
#include "driver/tables.h"
#include "driver/version.h"
#include "movegen/notation.h"

namespace {

constexpr uint64_t POLL_INTERVAL_NODES = 4096;  // about a millisecond of search
constexpr double UNLIMITED_BUDGET = 1e15;       // microseconds: analysis has no clock
constexpr double MICROSECONDS_PER_CENTISECOND = 10000.0;

Engine* watched = nullptr;  // the engine whose search the input is watched for
bool stopRequested = false;

bool firstWordIs(const char* line, const char* word) {
  while (*line == ' ' || *line == '\t') ++line;
  const size_t length = std::strlen(word);
  return strncasecmp(line, word, length) == 0 &&
         (line[length] == '\0' || line[length] == ' ' || line[length] == '\t');
}

// Commands after which the engine's move would be wrong: the game or the board is no
// longer the one it thinks about.
bool endsTheThinking(const char* line) {
  for (const char* word : {"new", "force", "result", "undo", "remove", "setboard", "edit",
                           "analyze", "exit"})
    if (firstWordIs(line, word)) return true;
  return false;
}

// Once a line waits, the lines behind it wait too: commands keep their order.
bool lineKept = false;

LineAction keep() {
  lineKept = true;
  return KEEP_LINE;
}

LineAction duringSearch(const char* line) {
  Engine* e = watched;
  if (e->analyzing) {
    if (!lineKept && firstWordIs(line, ".")) {
      printAnalysisStatus(e);
      return TAKE_LINE;
    }
    stopRequested = true;  // anything else is for the next position: stop and read it
    return keep();
  }
  // Move now and quit are heard behind waiting lines too: ping or time only wait.
  if (firstWordIs(line, "?")) {
    stopRequested = true;
    return TAKE_LINE;
  }
  if (firstWordIs(line, "quit")) exitProgram(e);
  if (endsTheThinking(line)) {
    e->abandonSearch = true;
    stopRequested = true;
  }
  return keep();  // read after the search, in order (ping is answered after the move)
}

// Analysis has no limit of its own: it also stops when the input ends.
bool pollDuringSearch() {
  watchInput(duringSearch, false);
  return stopRequested || (watched->analyzing && inputClosed());
}

}  // namespace

void watchInputDuringSearch(Engine* e) {
  watched = e;
  stopRequested = lineKept = false;
  e->abandonSearch = false;
  TimeControl* tc = &e->tc;
  tc->pollInput = pollDuringSearch;
  tc->pollInterval = POLL_INTERVAL_NODES;
  tc->nextClockCheck = std::min<uint64_t>(tc->nextClockCheck, POLL_INTERVAL_NODES);
}

void stopWatchingInput(Engine* e) {
  endInputWatch();
  e->tc.pollInput = nullptr;
}

void printFeatures() {
  std::printf(
      "feature ping=1 setboard=1 usermove=1 sigint=0 sigterm=0 time=1 draw=1 reuse=1 "
      "analyze=1 colors=0 memory=1 myname=\"%s\" done=1\n",
      VORLAK_NAME);
}

void setMemory(Engine* e, long megabytes) {
  // The tablebase cache counts against the total the interface allows.
  const long forHash = std::max(1L, megabytes - long(e->position.egtbCacheBytes >> 20));
  if (!resizeHashTables(e, forHash))
    std::printf("Error (not enough memory): memory %ld\n", megabytes);
}

void printAnalysisStatus(const Engine* e) {
  const Position* p = &e->position;
  const SearchContext* s = &e->search;
  char move[MOVE_TEXT_SIZE] = "";
  if (s->rootMove) moveToCoordinates(s->rootMove, move);
  const double elapsed = std::max(clockMicroseconds() - e->tc.startTime, 0.0);
  std::printf("stat01: %u %llu %u %d %d %s\n", unsigned(elapsed / MICROSECONDS_PER_CENTISECOND),
              (unsigned long long)(p->nodeCount + p->quiesceNodeCount), p->searchDepth,
              std::max(s->rootMoveCount - s->rootMoveIndex - 1, 0), s->rootMoveCount, move);
  std::fflush(stdout);
}

void analyzeUntilInput(Engine* e) {
  Position* p = &e->position;
  p->modeFlags |= FORCE_MODE;  // the engine moves for nobody while it analyses
  // A line already waiting comes first; "." lines are answered on the way.
  stopRequested = lineKept = false;
  watched = e;
  watchInput(duringSearch, false);
  endInputWatch();
  if (stopRequested || inputClosed()) return;

  const uint32_t bookMisses = p->bookMisses;  // the game's own book turns are not spent
  startTurn(e);
  TimeControl* tc = &e->tc;
  tc->timeBudget = tc->budgetCeiling = UNLIMITED_BUDGET;
  e->reserve = 0;
  e->dangerAllowed = false;
  watchInputDuringSearch(e);
  chooseMove(e, false);
  stopWatchingInput(e);
  p->bookMisses = bookMisses;
  e->abandonSearch = false;
  std::fflush(stdout);
}
