#include "search/ordering.h"

#include "board/bitboard.h"
#include "eval/evaluate.h"

void pickBest(int i, int n, Move* list) {
  int best = i;
  int bestKey = moveOrderKey(list[i]);
  for (int j = i + 1; j < n; ++j) {
    const int key = moveOrderKey(list[j]);
    if (key > bestKey) {
      bestKey = key;
      best = j;
    }
  }
  if (best != i) {
    const Move m = list[i];
    list[i] = list[best];
    list[best] = m;
  }
}

void markOrderingKeys(Move* list, int n, int firstFrom, int firstTo, int killerFrom,
                      int killerTo) {
  bool firstMet = firstFrom == firstTo;  // no first move: look for the killer alone
  bool killerMet = killerFrom == killerTo;
  for (int i = 0; i < n && !(firstMet && killerMet); ++i) {
    if (!firstMet && sameSquares(list[i], firstFrom, firstTo)) {
      list[i] = withOrderKey(list[i], FIRST_MOVE_KEY);
      firstMet = true;
    }
    if (!killerMet && sameSquares(list[i], killerFrom, killerTo)) {
      if (moveOrderKey(list[i]) <= QUIET_KEY_LIMIT) list[i] = withOrderKey(list[i], KILLER_KEY);
      killerMet = true;
    }
  }
}

namespace {

enum PreferenceCondition { ALWAYS, NO_WHITE_PAWN_ON_D2, BLACK_KNIGHT_ON_F6 };

struct Preference {
  int piece, from, to, value;
  PreferenceCondition condition;
};

constexpr int PREFERENCE_ROWS = 3;
constexpr int PREFERENCE_COLUMNS = 8;
constexpr int LAST_PREFERENCE_MOVE = 6;  // movesCompleted up to this

// One row per style (randomLevel 1..3); the first matching entry counts. Values are
// White's view, so Black's preferences are negative.
constexpr Preference whitePreferences[PREFERENCE_ROWS][PREFERENCE_COLUMNS] = {
    {{WHITE_PAWN, D2, D4, 32, ALWAYS},
     {WHITE_KNIGHT, G1, F3, 30, ALWAYS},
     {WHITE_PAWN, E2, E3, 28, ALWAYS},
     {WHITE_BISHOP, F1, D3, 26, NO_WHITE_PAWN_ON_D2},
     {WHITE_KNIGHT, B1, D2, 24, ALWAYS},
     {WHITE_KING, E1, G1, 22, ALWAYS},
     {WHITE_PAWN, C2, C3, 20, ALWAYS}},
    {{WHITE_KNIGHT, G1, F3, 32, ALWAYS},
     {WHITE_PAWN, G2, G3, 30, ALWAYS},
     {WHITE_BISHOP, F1, G2, 28, ALWAYS},
     {WHITE_KING, E1, G1, 26, ALWAYS},
     {WHITE_PAWN, D2, D3, 24, ALWAYS},
     {WHITE_KNIGHT, B1, C3, 22, ALWAYS},
     {WHITE_PAWN, E2, E4, 20, ALWAYS}},
    {{WHITE_PAWN, D2, D4, 32, ALWAYS},
     {WHITE_KNIGHT, B1, C3, 30, ALWAYS},
     {WHITE_BISHOP, C1, G5, 28, ALWAYS},
     {WHITE_BISHOP, G5, F6, 26, BLACK_KNIGHT_ON_F6},
     {WHITE_PAWN, E2, E3, 24, ALWAYS},
     {WHITE_BISHOP, F1, D3, 26, NO_WHITE_PAWN_ON_D2},
     {WHITE_QUEEN, D1, F3, 20, ALWAYS}},
};

constexpr Preference blackPreferences[PREFERENCE_ROWS][PREFERENCE_COLUMNS] = {
    {{BLACK_PAWN, D7, D5, -32, ALWAYS},
     {BLACK_PAWN, E7, E6, -30, ALWAYS},
     {BLACK_KNIGHT, G8, F6, -28, ALWAYS},
     {BLACK_BISHOP, F8, E7, -26, ALWAYS},
     {BLACK_KING, E8, G8, -24, ALWAYS},
     {BLACK_PAWN, B7, B6, -22, ALWAYS},
     {BLACK_PAWN, C7, C5, -20, ALWAYS}},
    {{BLACK_PAWN, F7, F5, -32, ALWAYS},
     {BLACK_KNIGHT, G8, F6, -30, ALWAYS},
     {BLACK_PAWN, E7, E6, -28, ALWAYS},
     {BLACK_BISHOP, F8, E7, -26, ALWAYS},
     {BLACK_KING, E8, G8, -24, ALWAYS},
     {BLACK_PAWN, D7, D5, -22, ALWAYS},
     {BLACK_PAWN, C7, C6, -20, ALWAYS}},
    {{BLACK_PAWN, D7, D6, -32, ALWAYS},
     {BLACK_KNIGHT, G8, F6, -30, ALWAYS},
     {BLACK_PAWN, G7, G6, -28, ALWAYS},
     {BLACK_BISHOP, F8, G7, -26, ALWAYS},
     {BLACK_KNIGHT, B8, C6, -24, ALWAYS},
     {BLACK_KING, E8, G8, -22, ALWAYS},
     {BLACK_PAWN, E7, E5, -20, ALWAYS}},
};

bool conditionHolds(PreferenceCondition c, Move move, const Position* p) {
  switch (c) {
    case NO_WHITE_PAWN_ON_D2:
      return !(p->whitePawns & squareMask[D2]);
    case BLACK_KNIGHT_ON_F6:  // the move is made already: the knight may just have been taken
      return moveCaptured(move) == BLACK_KNIGHT || (p->blackKnights & squareMask[F6]);
    case ALWAYS:
      break;
  }
  return true;
}

void applyPreferences(const Preference (&row)[PREFERENCE_COLUMNS], Move move, Position* p) {
  for (const Preference& entry : row) {
    if (entry.piece == EMPTY) break;
    if (movePiece(move) == entry.piece && sameSquares(move, entry.from, entry.to) &&
        conditionHolds(entry.condition, move, p)) {
      p->rootMoveBonus += entry.value;
      return;
    }
  }
}

}  // namespace

void openingPreference(Move move, Position* p, const BoardTables*) {
  if (p->randomLevel < 1 || p->randomLevel > PREFERENCE_ROWS) return;
  if (p->movesCompleted > LAST_PREFERENCE_MOVE) return;
  const int row = int(p->randomLevel) - 1;
  if (whiteDevelopmentCount(p) > 0) applyPreferences(whitePreferences[row], move, p);
  if (blackDevelopmentCount(p) > 0) applyPreferences(blackPreferences[row], move, p);
}

void shiftKillers(Position* p) {
  for (int i = 0; i < MAX_PLY - 1; ++i) {
    p->killerFrom[i] = p->killerFrom[i + 1];
    p->killerTo[i] = p->killerTo[i + 1];
  }
  p->killerFrom[MAX_PLY - 1] = p->killerTo[MAX_PLY - 1] = 0;
}
