#include "driver/game.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/bitboard.h"
#include "board/position.h"
#include "driver/notation.h"
#include "eval/sqvalue.h"

namespace {

void formatNow(const char* format, char* text, size_t size) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(text, size, format, &local);
}

bool enginePlaysWhite(const Position* p) { return p->engineIsBlack == 0; }

}  // namespace

std::FILE* openListFile() {
  char date[16], name[32];
  formatNow("%m%d%y", date, sizeof date);
  std::snprintf(name, sizeof name, "list.%s", date);
  std::FILE* file = std::fopen(name, "a+");
  if (!file) std::printf("Can't open %s; playing without a game list.\n", name);
  return file;
}

void newGame(Engine* e) {
  Position* p = &e->position;
  p->openingNumber = 0;
  p->bookMisses = 0;
  p->gameTag[0] = p->myMoveText[0] = p->testText[0] = '\0';
  formatNow("%m%d%y_%H:%M:%S", p->gameId, sizeof p->gameId);
  p->depthLimit = MAX_PLY;
  initTables(&e->tables);
  hashClear(&e->hash, p);
  setStartPosition(&e->sideToMove, p, &e->records[0], &e->tables);
  e->records[1] = e->records[0];
  p->ratingDifference = 0;
  loadSquareValues(&e->tables);
  seedRandom(uint32_t(std::time(nullptr)));
  p->modeFlags |= RANDOM_MODE;
  p->randomLevel = random32() % 3 + 1;
}

void listRecord(Engine* e, int side, Move move, bool engineMove, int score) {
  std::FILE* f = e->listFile;
  if (!f) return;
  Position* p = &e->position;
  char text[MOVE_TEXT_SIZE];
  san(side, 0, move, text, p, e->records, &e->tables);
  if (side == WHITE && p->movesCompleted == 0) {
    std::fprintf(f, "[Event \"%s\"]\n", p->gameId);
    std::fprintf(f, enginePlaysWhite(p) ? "[White \"vorlak\"] " : "[Black \"vorlak\"] ");
    std::fprintf(f, "        score opening depth\n");
  }
  std::fprintf(f, "%s", side == WHITE ? "white" : "black");
  std::fprintf(f, "%4u.", p->movesCompleted + 1);
  std::fprintf(f, " %8s", text);
  const char colour = enginePlaysWhite(p) ? 'w' : 'b';
  if (engineMove && p->searchDepth > 0) {
    if (score < e->previousScore - 40)
      std::fprintf(f, "\t%5d? %c", score, colour);
    else
      std::fprintf(f, "\t%6d %c", score, colour);
    std::fprintf(f, " %5u %5u", p->openingNumber, p->searchDepth);
    e->previousScore = score;
    if (p->testText[0])
      std::fprintf(f, "   %s", p->testText);
    else
      std::fprintf(f, "   0x%016llX", (unsigned long long)e->records[0].hashKey);
  } else if (!engineMove && p->testText[0]) {
    std::fprintf(f, "\t                       %s", p->testText);
  }
  std::fprintf(f, "\n");
  std::fflush(f);
}

void writeResultLine(std::FILE* listFile, Position* p, const char* result, const char* comment) {
  p->modeFlags |= STOP_SEARCH;
  if (!listFile) return;
  const bool white = enginePlaysWhite(p);
  const char* outcome;
  if (std::strstr(result, "1-0"))
    outcome = white ? " win" : "lost";
  else if (std::strstr(result, "0-1"))
    outcome = white ? "lost" : " win";
  else
    outcome = "draw";
  std::fprintf(listFile, "Result: %s %c %5u %3u moves %s\n", outcome, white ? 'w' : 'b',
               p->openingNumber, p->movesCompleted + 1, comment);
  std::fflush(listFile);
}

void exitProgram(Engine* e) {
  for (HashEntry*& t : e->hash.table) {
    std::free(t);
    t = nullptr;
  }
  if (e->listFile) std::fclose(e->listFile);
  std::fflush(stdout);
  std::exit(0);
}
