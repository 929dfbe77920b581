// The full-width search, the quiescence search and the root search with iterative
// deepening. Scores are from the mover's point of view.
#pragma once

#include "board/types.h"
#include "search/clock.h"
#include "search/hash.h"

// Principal-variation table: row p holds the line from ply p on in entries p, p+1, ...;
// entry PV_END of a row holds its end index.
constexpr int PV_END = MAX_PLY;
using PvRow = Move[MAX_PLY + 1];

// Node types: expected to lie on the principal variation, to cut off, or to fail low.
enum NodeType : int { PV_NODE = 0, CUT_NODE = 1, ALL_NODE = -1 };

// searchFlags bits.
constexpr int FOLLOW_PV = 1;       // this node lies on the previous line: try its move first
constexpr int REMEMBER_BEST = 2;   // store the best move of an exact score in the table

// Extension amounts, hundredths of a ply.
constexpr int EXTENSION_PLY = 100;
constexpr int DEFAULT_PV_EXTENSION = 25;
constexpr int DEFAULT_CHECK_EXTENSION = 100;
constexpr int DEFAULT_SINGLE_REPLY_EXTENSION = 75;
constexpr int DEFAULT_MATE_THREAT_EXTENSION = 75;
constexpr int DEFAULT_RECAPTURE_EXTENSION = 38;
constexpr int DEFAULT_PAWN_PUSH_EXTENSION = 75;

// The deepest ply the search may reach; reaching it stops the whole search.
constexpr int PLY_LIMIT = MAX_PLY - 1;

// A pawn reaching its seventh rank (the pawn-push extension).
constexpr bool pawnToSeventh(Move m) {
  return (movePiece(m) == WHITE_PAWN && rankOf(moveTo(m)) == 6) ||
         (movePiece(m) == BLACK_PAWN && rankOf(moveTo(m)) == 1);
}

// Fast iterations, from this one up to fastIterationLimit, evaluate material only and send
// late quiet moves straight to the quiescence search.
constexpr uint32_t FIRST_FAST_ITERATION = 5;
inline bool inFastIteration(const Position* p) {
  return p->searchDepth >= FIRST_FAST_ITERATION && p->searchDepth <= p->fastIterationLimit;
}

constexpr int mateScore(int ply) { return ply - INFINITE_SCORE - 1; }  // mated at ply

// Everything a search call reaches besides its own arguments.
struct SearchContext {
  Position* position;
  UndoRecord* records;
  PvRow* pv;                 // MAX_PLY rows
  HashTables* tables;
  const BoardTables* boardTables;
  TimeControl* tc;
  PvRow previousPv;          // row 0 of the previous iteration
  bool engineSearching;      // the engine is to move (not an analysis or test search)
  // Set by an interface that shows the search its own way: called, instead of printing
  // the thinking line, with the line in pv[0] for each completed iteration and for each
  // new best root move within one (iterationDone false).
  void (*report)(const SearchContext* s, int score, bool iterationDone) = nullptr;
  // The root move being searched: its place in the list (from 0) and the list's length.
  int rootMoveIndex = 0;
  int rootMoveCount = 0;
  Move rootMove = 0;
};

// A node's own arguments besides its window and depth; the defaults are those of an
// ordinary node on the principal variation.
struct NodeArgs {
  int nullAllowed = 1;     // a null move may be tried here
  int noPv = 0;            // the principal-variation table must not be written
  int extensionCarry = 0;  // hundredths of a ply of extension carried down
  int nodeType = PV_NODE;
  int searchFlags = 0;     // FOLLOW_PV, REMEMBER_BEST
};

// previousMove led to this node (0 after a null move and in internal searches).
int search(SearchContext* s, int side, int ply, int alpha, int beta, int depth, NodeArgs node,
           Move previousMove);

int quiesce(SearchContext* s, int side, int ply, int alpha, int beta, int noPv, int nodeType);

// Iterative deepening over the legal root moves. Returns the score of the last completed
// iteration; the move to play is bestMoveByDepth[searchDepth] afterwards.
// bestMoveByDepth needs MAX_PLY entries.
int iterativeDeepening(SearchContext* s, int side, Move* rootMoves, int rootMoveCount,
                       int rootExtension, double* speedFactor, double reserve,
                       uint32_t movesToGo, Move* bestMoveByDepth, Move* expectedReply);

int rootSearch(SearchContext* s, int side, int alpha, int beta, int depth, Move* rootMoves,
               int rootMoveCount, int rootExtension, int followPv);

// Writes move into entry ply of pv row ply, followed by row ply + 1's line when
// withChildLine is set, else alone.
void copyPvLine(PvRow* pv, int ply, Move move, bool withChildLine);

// Restores the six extension amounts to their defaults.
void setDefaultExtensions(Position* position);

// Checks the clock when the node count says so; sets stopSearch when the budget is
// spent and returns true then.
bool clockCheck(Position* position, TimeControl* tc);
