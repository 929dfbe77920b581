// Everything the driver's main routine owns for the whole run, passed by pointer.
#pragma once

#include <cstdio>

#include "board/types.h"
#include "driver/history.h"
#include "search/clock.h"
#include "search/hash.h"
#include "search/search.h"

constexpr int RESULT_TEXT_SIZE = 32;

struct Engine {
  int sideToMove;
  Position position;
  UndoRecord records[MAX_PLY];
  BoardTables tables;
  HashTables hash;
  void* tablebaseCache;
  std::FILE* listFile;
  bool started;  // start-up finished: sizes and directories are fixed from now on

  // Time management.
  TimeControl tc;
  double reserve;
  double speedFactor;
  uint32_t movesToGo;
  uint32_t extraPercent;
  bool dangerAllowed;
  // st: a fixed time per move (centiseconds); 0 when the clock follows level/time.
  double fixedMoveTime;
  // The moves to the next time control when the interface says so with each search
  // (UCI's movestogo); 0: counted from level's control.
  uint32_t givenMovesToGo;

  // Game end.
  // The result the engine printed last in xboard mode (mate, stalemate, a draw claim,
  // resignation) and whether this game's result line is in the list file yet: the line
  // is written when the interface leaves without a result command.
  char announcedResult[RESULT_TEXT_SIZE];
  char announcedComment[RESULT_TEXT_SIZE];
  bool resultListed;
  int drawAcceptable;
  uint32_t drawishCount;
  uint32_t losingCount;
  int previousScore;

  // Root search.
  Move rootMoves[MAX_MOVES];
  Move bestMoveByDepth[MAX_PLY];
  Move pv[MAX_PLY][MAX_PLY + 1];
  Move expectedReply;
  Move opponentMove;  // the move of the last command line, 0 when it held none
  SearchContext search;

  GameHistory history;  // moves since the last set-up, for undo and remove

  // The interface's protocol: xboard's version (1 unless protover said more), and
  // whether analyze mode is on.
  int protocolVersion;
  bool analyzing;
  // The interface ended the game or the board while the engine was thinking: the search
  // stops and its move is not played.
  bool abandonSearch;

  // xboard's edit mode: the board being set up and the colour being placed.
  bool editing;
  int editColour;
  int editBoard[64];
};
