#include "driver/history.h"

#include <cstring>

#include "board/makemove.h"
#include "driver/engine.h"
#include "driver/game.h"

namespace {

// The fields that describe the board and the game's moves; settings, clocks and the
// search's state stay as they are.
void copyBoardState(Position* to, const Position& from) {
  to->whiteKingSquare = from.whiteKingSquare;
  to->blackKingSquare = from.blackKingSquare;
  to->movesCompleted = from.movesCompleted;
  to->reversiblePlies = from.reversiblePlies;
  std::memcpy(to->whitePawnsOnFile, from.whitePawnsOnFile, sizeof to->whitePawnsOnFile);
  std::memcpy(to->blackPawnsOnFile, from.blackPawnsOnFile, sizeof to->blackPawnsOnFile);
  to->whitePieces = from.whitePieces;
  to->blackPieces = from.blackPieces;
  to->whitePawns = from.whitePawns;
  to->blackPawns = from.blackPawns;
  to->whiteRooks = from.whiteRooks;
  to->blackRooks = from.blackRooks;
  to->whiteKnights = from.whiteKnights;
  to->blackKnights = from.blackKnights;
  to->whiteBishops = from.whiteBishops;
  to->blackBishops = from.blackBishops;
  to->whiteQueens = from.whiteQueens;
  to->blackQueens = from.blackQueens;
  to->occupiedR90 = from.occupiedR90;
  to->occupiedA8H1 = from.occupiedA8H1;
  to->occupiedA1H8 = from.occupiedA1H8;
  std::memcpy(to->keyHistory, from.keyHistory, sizeof to->keyHistory);
}

}  // namespace

void markSetUp(Engine* e) {
  GameHistory& h = e->history;
  copyBoardState(&h.setUpPosition, e->position);
  h.setUpRoot = e->records[0];
  h.setUpSide = e->sideToMove;
  h.count = 0;
}

void recordGameMove(Engine* e, Move move) {
  GameHistory& h = e->history;
  if (h.count == MAX_GAME_PLIES) {  // a very long game: older moves can no longer be taken back
    markSetUp(e);
    return;
  }
  h.moves[h.count++] = move;
}

bool takeBack(Engine* e, int plies) {
  GameHistory& h = e->history;
  if (plies < 0 || plies > h.count) return false;
  const int keep = h.count - plies;
  Position* p = &e->position;
  copyBoardState(p, h.setUpPosition);
  e->records[0] = h.setUpRoot;
  e->sideToMove = h.setUpSide;
  h.count = 0;
  for (int i = 0; i < keep; ++i) {
    const Move m = h.moves[i];
    makeMove(e->sideToMove, 1, m, p, e->records, &e->tables);
    afterGameMove(e, m);
  }
  e->records[1] = e->records[0];
  e->pv[0][PV_END] = 0;  // the line the engine expected is gone
  e->expectedReply = 0;
  return true;
}
