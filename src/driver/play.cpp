#include "driver/play.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/makemove.h"
#include "board/position.h"
#include "book/book.h"
#include "driver/commands.h"
#include "driver/game.h"
#include "driver/input.h"
#include "driver/timing.h"
#include "driver/xboard.h"
#include "eval/evaluate.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "movegen/notation.h"
#include "search/ordering.h"

namespace {

constexpr uint32_t BOOK_MISS_LIMIT = 3;  // the book is asked while fewer turns missed
constexpr uint32_t FAST_ITERATIONS_ALLOWED = 64;

Move bookMove(Engine* e) {
  return bookProbe(e->sideToMove, &e->position, e->records, &e->tables);
}

void bindSearch(Engine* e) {
  SearchContext* s = &e->search;
  s->position = &e->position;
  s->records = e->records;
  s->pv = e->pv;
  s->tables = &e->hash;
  s->boardTables = &e->tables;
  s->tc = &e->tc;
  s->engineSearching = engineState == SEARCHING;
}

// No legal move for the engine: mate or stalemate. Outside xboard mode the game
// ends the program.
void reportNoMove(Engine* e, bool inCheck) {
  Position* p = &e->position;
  const bool white = e->sideToMove == WHITE;
  const char* result = inCheck ? (white ? "0-1" : "1-0") : "1/2-1/2";
  const char* comment = inCheck ? (white ? "Black mates" : "White mates") : "stalemate";
  std::printf("%s {%s}\n", result, comment);
  std::fflush(stdout);
  if (p->modeFlags & XBOARD_MODE) {
    announceInXboardMode(e, result, comment);
    return;
  }
  listResult(e, result, comment);
  exitProgram(e);
}


void playMove(Engine* e, Move move, int score) {
  Position* p = &e->position;
  const int side = e->sideToMove;
  char text[MOVE_TEXT_SIZE];
  listRecord(e, side, move, true, score);
  moveToCoordinates(move, text);
  std::printf("\nmove %s\n", text);
  std::fflush(stdout);
  std::snprintf(p->gameTag, sizeof p->gameTag, "%s_%04u", p->gameId, p->openingNumber);
  std::printf("gameID = %s, search depth = %u, %.0f/ %.0f nodes, score: %d\n", p->gameTag,
              p->searchDepth, double(p->quiesceNodeCount),
              double(p->quiesceNodeCount + p->nodeCount), score);
  if (p->testText[0]) std::snprintf(p->myMoveText, sizeof p->myMoveText, "%s", text);
  makeMove(side, 1, move, p, e->records, &e->tables);
  if (!(p->modeFlags & XBOARD_MODE)) displayBoard(p);
  const uint32_t movesToGo = e->movesToGo;
  updateClocks(e);
  endOfMoveTests(e, side, move, score);
  afterGameMove(e, move);
  startNewPeriodIfDue(e, movesToGo);
}

}  // namespace

// The root list: every legal move, evasions when in check.
int generateRootMoves(Engine* e, Bitboard checkers) {
  const Position* p = &e->position;
  const int side = e->sideToMove;
  if (!checkers) return generateLegalMoves(side, 0, e->rootMoves, p, e->records, &e->tables);
  return generateEvasions(side, 0, checkers, e->rootMoves, p, e->records, &e->tables);
}

// The root list's word for the chosen move (it carries the draw claim), or the best
// root move when the choice is not in the list.
Move rootMoveFor(const Engine* e, Move chosen, int count) {
  for (int i = 0; i < count; ++i)
    if (sameSquares(e->rootMoves[i], chosen) &&
        movePromotion(e->rootMoves[i]) == movePromotion(chosen))
      return e->rootMoves[i];
  return e->rootMoves[0];
}

// Keeps the line of the previous search when the opponent played the expected reply,
// however it was written (coordinates, SAN, after usermove).
void followExpectedLine(Engine* e) {
  Move* row = e->pv[0];
  const int length = int(row[PV_END]);
  const Move played = e->opponentMove;
  if (length >= 2 && length <= MAX_PLY && played) {
    if (sameSquares(row[1], played) && movePromotion(row[1]) == movePromotion(played)) {
      for (int i = 2; i < length; ++i) row[i - 2] = row[i];
      row[PV_END] = Move(length - 2);
      return;
    }
  }
  row[PV_END] = 0;
}

void startTurn(Engine* e) {
  Position* p = &e->position;
  bindSearch(e);
  p->modeFlags &= ~STOP_SEARCH;
  p->fastIterationLimit = FAST_ITERATIONS_ALLOWED;
  computeTimeBudget(e);
  followExpectedLine(e);
  announceTimeBudget(e);
}

TurnChoice chooseMove(Engine* e, bool bookAllowed) {
  Position* p = &e->position;
  const int side = e->sideToMove;
  if (bookAllowed && p->bookMisses < BOOK_MISS_LIMIT && !(p->modeFlags & BOOK_OFF)) {
    const uint32_t openingBefore = p->openingNumber;
    if (const Move move = bookMove(e)) {
      if (p->modeFlags & XBOARD_MODE) std::printf("tellics kibitz book move\n");
      p->searchDepth = 0;
      e->expectedReply = 0;
      e->bestMoveByDepth[0] = move;
      return {move, 0, true, false};
    }
    p->openingNumber = openingBefore;
  }
  ++p->bookMisses;  // every turn without a book move counts, asked or not
  addOutOfBookTime(e);

  Bitboard checkers = 0;
  findCheckers(side, &checkers, p, &e->tables);
  applyDangerFactor(e, checkers != 0);

  const int count = generateRootMoves(e, checkers);
  if (count == 0) return {0, 0, false, checkers != 0};
  if (count == 1) {
    p->searchDepth = 0;
    e->expectedReply = 0;
    return {e->rootMoves[0], 0, false, checkers != 0};
  }

  p->nodeCount = 1;
  p->quiesceNodeCount = 0;
  p->searchDepth = 0;  // the easy-move test scores with the full evaluation
  p->rootMoveBonus = 0;
  easyMoveTest(e, side, count);
  const int score = iterativeDeepening(&e->search, side, e->rootMoves, count,
                                       checkers ? p->checkExtension : 0, &e->speedFactor,
                                       e->reserve, e->movesToGo, e->bestMoveByDepth,
                                       &e->expectedReply);
  // With no completed iteration the front of the root list is the best move found.
  const Move move = p->searchDepth > 0
                        ? rootMoveFor(e, e->bestMoveByDepth[p->searchDepth], count)
                        : e->rootMoves[0];
  if (!(e->expectedReply && std::abs(score) < MATE_THRESHOLD)) e->expectedReply = 0;
  return {move, score, false, checkers != 0};
}

void engineTurn(Engine* e) {
  Position* p = &e->position;
  if (p->modeFlags & FORCE_MODE) {
    p->engineIsBlack ^= 1;
    return;
  }
  std::printf("I'm searching\n");
  startTurn(e);
  if (drawRulesBeforeSearch(e)) return;
  // Later protocol versions may speak during the search (move now, the game's end).
  const bool watch = e->protocolVersion >= 2;
  if (watch) watchInputDuringSearch(e);
  const TurnChoice choice = chooseMove(e, true);
  if (watch) stopWatchingInput(e);
  if (e->abandonSearch) {
    e->abandonSearch = false;
    return;
  }
  if (!choice.move) {
    reportNoMove(e, choice.inCheck);
    return;
  }
  playMove(e, choice.move, choice.score);
}
