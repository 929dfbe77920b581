// Scoring a position: material with its special rules, the positional evaluation in
// two regimes, the draw test and the static score shown to the user.
//
// Scores are centipawns from White's point of view unless said otherwise.
#pragma once

#include "board/types.h"

// Returned by materialBalance when neither side can win; a signal, never a score.
constexpr int MATERIAL_DRAW = DRAW_MARKER;
// phaseMaterial at or below which the endgame regime applies; the search uses the same
// line (reductions, table clearing, fast iterations).
constexpr int MIDDLEGAME_PHASE = 1400;

// Material score (White's view) or MATERIAL_DRAW. Writes both piece-material sums
// (White's positive, Black's negative; pawns excluded) and may set *pieceAdvantageBonus,
// which the caller sets to 0 beforehand. Rewrites the DRAWISH_ENDING bit of modeFlags.
int materialBalance(Position* position, const BoardTables* tables, int* whitePieceMaterial,
                    int* blackPieceMaterial, int* pieceAdvantageBonus);

// Full score (White's view). side is the side to move, ply the record of the position,
// material and the rest what materialBalance returned for it. alpha is the mover's
// lower bound from the mover's view: in the middlegame the mover's own terms are skipped
// once they cannot lift the score above it. Pass -30000 for the exact score.
int evaluate(int side, int ply, const Position* position, UndoRecord* records,
             const BoardTables* tables, int material, int whitePieceMaterial,
             int blackPieceMaterial, int alpha, int pieceAdvantageBonus);

// What drawCheck finds. Besides these it returns any larger count of occurrences as it is.
enum DrawCheckResult : int {
  DRAW_NONE = 0,
  DRAW_ONE_REPETITION = 2,  // the position has occurred once before
  DRAW_REPETITION = 3,      // the third occurrence
  DRAW_MATERIAL = 13,       // neither side has the material to mate
  DRAW_FIFTY_MOVES = 50,    // the half-move clock has reached 100
};

// DRAW_MATERIAL, DRAW_FIFTY_MOVES, n >= 2 the number of occurrences of the position since
// the last irreversible move, DRAW_NONE otherwise. record is the undo record of ply.
int drawCheck(int ply, const Position* position, const UndoRecord* record);

// The king-safety terms on their own (the search and the time management use them):
// White's is <= 0 when White's king is in danger, Black's >= 0 when Black's is.
int whiteKingSafety(int ply, const Position* position, UndoRecord* records,
                    const BoardTables* tables);
int blackKingSafety(int ply, const Position* position, UndoRecord* records,
                    const BoardTables* tables);

// Development count: knights and bishops still on the back rank plus rooks on their
// corners.
int whiteDevelopmentCount(const Position* position);
int blackDevelopmentCount(const Position* position);

// The number the score command prints in "score = %d\n": the static score from the
// view of sideToMove, 0 for a material draw. It evaluates at ply 1 for the side not to
// move with the full window and sets engineIsBlack for the duration. Record 1 is made a
// copy of record 0 first, as after every set-up and game move.
int scoreCommand(int sideToMove, Position* position, UndoRecord* records,
                 const BoardTables* tables);
