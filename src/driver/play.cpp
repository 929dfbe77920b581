#include "driver/play.h"

#include <cstdio>

#include "board/makemove.h"
#include "board/position.h"
#include "driver/commands.h"
#include "driver/game.h"
#include "driver/input.h"
#include "driver/notation.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"

namespace {

// No legal move for the engine: mate or stalemate. Outside xboard mode the game
// ends the program.
void reportNoMove(Engine* e, bool inCheck) {
  Position* p = &e->position;
  const bool white = e->sideToMove == WHITE;
  const char* result = inCheck ? (white ? "0-1" : "1-0") : "1/2-1/2";
  const char* comment = inCheck ? (white ? "Black mates" : "White mates") : "stalemate";
  if (p->modeFlags & XBOARD_MODE) {
    std::printf("%s {%s}\n", result, comment);
    return;
  }
  writeResultLine(e->listFile, p, result, comment);
  exitProgram(e);
}

void playMove(Engine* e, Move move, int score) {
  Position* p = &e->position;
  char text[MOVE_TEXT_SIZE];
  listRecord(e, e->sideToMove, move, true, score);
  moveToCoordinates(move, text);
  std::printf("\nmove %s\n", text);
  std::snprintf(p->gameTag, sizeof p->gameTag, "%s_%04u", p->gameId, p->openingNumber);
  std::printf("gameID = %s, search depth = %u, %.0f/ %.0f nodes, score: %d\n", p->gameTag,
              p->searchDepth, double(p->quiesceNodeCount),
              double(p->quiesceNodeCount + p->nodeCount), score);
  if (p->testText[0]) std::snprintf(p->myMoveText, sizeof p->myMoveText, "%s", text);
  makeMove(e->sideToMove, 1, move, p, e->records, &e->tables);
  if (!(p->modeFlags & XBOARD_MODE)) displayBoard(p);
  e->records[0] = e->records[1];
  shiftKillers(p);
  e->sideToMove ^= 1;
  if (e->sideToMove == WHITE) ++p->movesCompleted;
  p->reversiblePlies = e->records[0].halfMoveClock == 0 ? 0 : p->reversiblePlies + 1;
}

}  // namespace

void engineTurn(Engine* e, const char* lastCommandWord) {
  (void)lastCommandWord;  // the search uses it to keep the expected line
  Position* p = &e->position;
  if (p->modeFlags & FORCE_MODE) {
    p->engineIsBlack ^= 1;
    return;
  }
  std::printf("I'm searching\n");

  const int side = e->sideToMove;
  Bitboard checkers = 0;
  if (side == WHITE)
    findBlackCheckers(int(p->whiteKingSquare), &checkers, p, &e->tables);
  else
    findWhiteCheckers(int(p->blackKingSquare), &checkers, p, &e->tables);
  int count;
  if (checkers)
    count = side == WHITE ? generateWhiteEvasions(0, int(p->whiteKingSquare), checkers,
                                                  e->rootMoves, p, e->records, &e->tables)
                          : generateBlackEvasions(0, int(p->blackKingSquare), checkers,
                                                  e->rootMoves, p, e->records, &e->tables);
  else
    count = generateLegalMoves(side, 0, e->rootMoves, p, e->records, &e->tables);

  if (count == 0) {
    reportNoMove(e, checkers != 0);
    return;
  }
  // Until the search lands the engine answers with the move its generators rank first.
  Move best = e->rootMoves[0];
  for (int i = 1; i < count; ++i)
    if (moveOrderKey(e->rootMoves[i]) > moveOrderKey(best)) best = e->rootMoves[i];
  p->searchDepth = 0;
  e->expectedReply = 0;
  playMove(e, best, 0);
}
