#include "driver/game.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "driver/commands.h"
#include "driver/history.h"
#include "eval/evaluate.h"
#include "eval/sqvalue.h"
#include "movegen/notation.h"
#include "search/ordering.h"

namespace {

void formatNow(const char* format, char* text, size_t size) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(text, size, format, &local);
}

bool enginePlaysWhite(const Position* p) { return p->engineIsBlack == 0; }

constexpr Bitboard LIGHT_SQUARES = 0x55AA55AA55AA55AAULL;

// True when no sequence of legal moves can end in mate: bare kings, a single minor piece, or
// bishops all on squares of one colour. The evaluation also calls knight against knight or two
// knights against a king drawn, but mate is still possible there, and an interface that checks
// claims (xboard does) forfeits a material-draw claim in such a position.
bool mateImpossible(const Position* p) {
  if (p->whitePawns | p->blackPawns | p->whiteRooks | p->blackRooks | p->whiteQueens |
      p->blackQueens)
    return false;
  const Bitboard knights = p->whiteKnights | p->blackKnights;
  const Bitboard bishops = p->whiteBishops | p->blackBishops;
  if (popCount(knights | bishops) <= 1) return true;
  return !knights && (!(bishops & LIGHT_SQUARES) || !(bishops & ~LIGHT_SQUARES));
}

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
  listAnnouncedResult(e);
  e->announcedResult[0] = e->announcedComment[0] = '\0';
  e->resultListed = false;
  p->openingNumber = 0;
  p->bookMisses = 0;
  p->gameTag[0] = p->myMoveText[0] = p->testText[0] = '\0';
  formatNow("%m%d%y_%H:%M:%S", p->gameId, sizeof p->gameId);
  p->depthLimit = MAX_PLY;
  e->fixedMoveTime = 0;
  initTables(&e->tables);
  hashClear(&e->hash, p);
  setStartPosition(&e->sideToMove, p, &e->records[0], &e->tables);
  e->records[1] = e->records[0];
  p->ratingDifference = 0;
  loadSquareValues(&e->tables);
  markSetUp(e);
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

void listResult(Engine* e, const char* result, const char* comment) {
  writeResultLine(e->listFile, &e->position, result, comment);
  e->resultListed = true;
}

void announceInXboardMode(Engine* e, const char* result, const char* comment) {
  std::snprintf(e->announcedResult, sizeof e->announcedResult, "%s", result);
  std::snprintf(e->announcedComment, sizeof e->announcedComment, "%s", comment);
}

void listAnnouncedResult(Engine* e) {
  if (e->announcedResult[0] && !e->resultListed)
    listResult(e, e->announcedResult, e->announcedComment);
}

void exitProgram(Engine* e) {
  listAnnouncedResult(e);
  for (HashEntry*& t : e->hash.table) {
    std::free(t);
    t = nullptr;
  }
  if (e->listFile) std::fclose(e->listFile);
  std::fflush(stdout);
  std::exit(0);
}

namespace {

constexpr uint32_t EARLY_GAME_MOVES = 30;  // no draws or resignations before this move
constexpr int DRAWISH_SCORE = 25;
constexpr int LOSING_SCORE = -900;
constexpr uint32_t MIN_MOVES_TO_GO = 4;    // more than this many moves left in the period
constexpr double MIN_TIME_PER_MOVE = 100;  // centiseconds the opponent has per move
constexpr uint32_t DRAWISH_MOVES = 25;
constexpr uint32_t DRAWISH_SETBACK = 5;
constexpr int MIN_REVERSIBLE_FOR_DRAW = 10;
constexpr uint32_t RESIGN_COUNT = 5;

// A game end: in xboard mode the result is printed and the interface ends the game; on
// the console the result line is written and the program ends.
void announceResult(Engine* e, const char* result, const char* comment) {
  std::printf("%s {%s}\n", result, comment);
  std::fflush(stdout);
  if (e->position.modeFlags & XBOARD_MODE) {
    announceInXboardMode(e, result, comment);
    return;
  }
  listResult(e, result, comment);
  exitProgram(e);
}

}  // namespace

void afterGameMove(Engine* e, Move move) {
  Position* p = &e->position;
  recordGameMove(e, move);
  e->records[0] = e->records[1];
  shiftKillers(p);
  e->sideToMove ^= 1;
  if (e->sideToMove == WHITE) ++p->movesCompleted;
  enterGamePosition(p, e->records[0]);
}

bool drawRulesBeforeSearch(Engine* e) {
  const int draw = drawCheck(0, &e->position, &e->records[0]);
  if (draw == DRAW_MATERIAL) {
    if (!mateImpossible(&e->position)) return false;
    announceResult(e, "1/2-1/2", "not enough material");
  } else if (draw == DRAW_FIFTY_MOVES) {
    announceResult(e, "1/2-1/2", "50 move rule");
  } else if (draw >= DRAW_REPETITION) {
    announceResult(e, "1/2-1/2", "repetition");
  } else {
    return false;
  }
  return true;
}

void endOfMoveTests(Engine* e, int side, Move move, int s) {
  Position* p = &e->position;
  const bool xboard = p->modeFlags & XBOARD_MODE;
  const bool early = p->movesCompleted < EARLY_GAME_MOVES;
  if (early) {
    e->drawAcceptable = s <= LOSING_SCORE ? 1 : 0;
    e->drawishCount = e->losingCount = 0;
  } else if (std::abs(s) <= DRAWISH_SCORE) {
    ++e->drawishCount;
    e->losingCount = 0;
  } else if (s <= LOSING_SCORE) {
    ++e->losingCount;
    e->drawishCount = 0;
    e->drawAcceptable = 1;
  } else {
    e->drawAcceptable = 0;
    e->drawishCount = e->losingCount = 0;
  }

  if (moveDrawClaim(move) == CLAIM_REPETITION) announceResult(e, "1/2-1/2", "repetition");
  if (moveDrawClaim(move) == CLAIM_FIFTY_MOVES) announceResult(e, "1/2-1/2", "50 move rule");
  if (s == INFINITE_SCORE) {
    if (side == WHITE)
      announceResult(e, "1-0", "White mates");
    else
      announceResult(e, "0-1", "Black mates");
  }

  const uint32_t n = e->movesToGo;
  const bool timeToPlayOn =
      n > MIN_MOVES_TO_GO && p->opponentTime / double(n) >= MIN_TIME_PER_MOVE;
  if (std::abs(s) <= DRAWISH_SCORE && !early && timeToPlayOn && !p->whiteQueens &&
      !p->blackQueens) {
    ++e->drawishCount;
    if (e->drawishCount >= DRAWISH_MOVES &&
        e->records[0].halfMoveClock >= MIN_REVERSIBLE_FOR_DRAW) {
      e->drawishCount -= DRAWISH_SETBACK;
      e->drawAcceptable = 1;
    }
  }
  if (s <= LOSING_SCORE && !early && timeToPlayOn) {
    ++e->losingCount;
    if (e->losingCount >= RESIGN_COUNT && xboard) {
      std::printf(side == WHITE ? "0-1 {resign}\n" : "1-0 {resign}\n");
      std::fflush(stdout);
      announceInXboardMode(e, side == WHITE ? "0-1" : "1-0", "resign");
    }
  }
  if (s > MATE_THRESHOLD && (INFINITE_SCORE - s) / 2 > 0)
    std::printf("Announcing checkmate in %u moves\n", unsigned((INFINITE_SCORE - s) / 2));
}
