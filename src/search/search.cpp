#include "search/search.h"

#include <algorithm>
#include <cstdio>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "eval/evaluate.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "search/ordering.h"
#include "tablebase/tablebase.h"

namespace {

// Null move.
constexpr int NULL_MOVE_MIN_UNITS = 6;
constexpr int NULL_MOVE_REDUCTION = 3;
constexpr int ADAPTIVE_NULL_MIN_DEPTH = 7;
constexpr int ADAPTIVE_NULL_MIN_UNITS = 10;
// Late moves: from this many moves searched on, quiet moves may be reduced while both
// kings are safe by these margins of the king-safety terms.
constexpr int REDUCTION_MIN_MOVES = 5;
constexpr int SAFE_KING_MARGIN = 100;
// Tablebases are probed this close to the root.
constexpr int TABLEBASE_PLY_LIMIT = 4;
constexpr int IID_MIN_DEPTH = 3;
constexpr int IID_REDUCTION = 3;

inline int kingSquareOf(int side, const Position* p) {
  return int(side == WHITE ? p->whiteKingSquare : p->blackKingSquare);
}

// Is side's king attacked in the position of record ply?
inline bool kingAttacked(int side, int ply, SearchContext* s) {
  return attackInfoBy(side ^ 1, kingSquareOf(side, s->position), s->position, &s->records[ply],
                      s->boardTables) &
         ATTACKED;
}

inline bool stopped(const Position* p) { return p->modeFlags & STOP_SEARCH; }

inline int menOnBoard(const Position* p) { return popCount(p->whitePieces | p->blackPieces); }

// Tablebase scores count from the probed node; from the root a mate is ply plies further.
inline int tablebaseScoreAtPly(int score, int ply) {
  if (score > MATE_THRESHOLD) return score - ply;
  if (score < -MATE_THRESHOLD) return score + ply;
  return score;
}

// A repeated position scores half its value; its child gets the doubled window so that
// the halved score keeps the bounds true.
inline int doubledBound(int bound) {
  return std::clamp(2 * bound, -INFINITE_SCORE, INFINITE_SCORE);
}

void copyPvLine(PvRow* pv, int ply, Move move, bool withChildLine) {
  pv[ply][ply] = move;
  if (!withChildLine) {
    pv[ply][PV_END] = Move(ply + 1);
    return;
  }
  const int end = int(pv[ply + 1][PV_END]);
  for (int i = ply + 1; i < end; ++i) pv[ply][i] = pv[ply + 1][i];
  pv[ply][PV_END] = Move(std::max(end, ply + 1));
}

// Generates the moves of a node: evasions in check, else captures then the rest.
int generateNodeMoves(SearchContext* s, int side, int ply, bool inCheck, Move* list) {
  Position* p = s->position;
  if (inCheck) {
    Bitboard checkers = 0;
    findCheckers(side, &checkers, p, s->boardTables);
    return generateEvasions(side, ply, checkers, list, p, s->records, s->boardTables);
  }
  const int captures = generateCaptures(side, ply, list, p, s->records, s->boardTables, 1);
  return captures +
         generateNonCaptures(side, ply, list + captures, p, s->records, s->boardTables, 1);
}

// The null move: the other side moves twice. Its record is a copy without en passant;
// its key goes into the key history so that no later ply sees a stale entry there.
void makeNullMove(SearchContext* s, int ply) {
  Position* p = s->position;
  UndoRecord& r = s->records[ply + 1];
  r = s->records[ply];
  if (r.enPassant) {
    r.hashKey ^= s->boardTables->enPassantKey[firstOne(r.enPassant)];
    r.enPassant = 0;
  }
  ++r.halfMoveClock;
  const uint32_t n = p->reversiblePlies + uint32_t(ply) + 1;
  if (n >= 1 && n <= KEY_HISTORY_SIZE) p->keyHistory[n - 1] = r.hashKey;
}

int extensionSum(const Position* p, Move m, bool inCheck, int moveCount, int mateThreat,
                 Move previousMove) {
  int sum = 0;
  if (inCheck) {
    sum += p->checkExtension;
    if (moveCount == 1) sum += p->singleReplyExtension;
  }
  if (mateThreat) sum += p->mateThreatExtension;
  if (previousMove && moveTo(m) == moveTo(previousMove) &&
      moveOrderKey(m) > QUIET_KEY_LIMIT)
    sum += p->recaptureExtension;
  if (pawnToSeventh(m)) sum += p->pawnPushExtension;
  return sum;
}

// Extensions fade out beyond twice the iteration depth and vanish at four times it.
int dampedExtension(int sum, int ply, int searchDepth) {
  const int d = searchDepth;
  if (ply <= 2 * d) return sum;
  if (ply > 4 * d) return 0;
  return (4 * d - ply) * sum / (2 * d);
}

// Entry of every node: the line of this ply starts empty; the ply limit and the clock
// may stop the search. True when the node returns at once, with *result.
bool stopsAtEntry(SearchContext* s, int ply, int alpha, int* result) {
  s->pv[ply][PV_END] = Move(ply);
  if (ply >= PLY_LIMIT) {
    s->position->modeFlags |= STOP_SEARCH;
    *result = alpha;
    return true;
  }
  if (clockCheck(s->position, s->tc)) {
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace

void setDefaultExtensions(Position* p) {
  p->pvExtension = DEFAULT_PV_EXTENSION;
  p->checkExtension = DEFAULT_CHECK_EXTENSION;
  p->singleReplyExtension = DEFAULT_SINGLE_REPLY_EXTENSION;
  p->mateThreatExtension = DEFAULT_MATE_THREAT_EXTENSION;
  p->recaptureExtension = DEFAULT_RECAPTURE_EXTENSION;
  p->pawnPushExtension = DEFAULT_PAWN_PUSH_EXTENSION;
}

bool clockCheck(Position* p, TimeControl* tc) {
  const uint64_t nodes = p->nodeCount + p->quiesceNodeCount;
  if (nodes <= tc->nextClockCheck || p->searchDepth <= 1) return false;
  const double elapsed = clockMicroseconds() - tc->startTime;
  if (elapsed >= tc->timeBudget || (tc->nodeLimit && nodes >= tc->nodeLimit) ||
      (tc->pollInput && tc->pollInput())) {
    p->modeFlags |= STOP_SEARCH;
    return true;
  }
  // In the last tenth of the budget the clock is read ten times as often.
  if (!(p->modeFlags & TIME_SHORT) && elapsed >= TIME_SHORT_SHARE * tc->timeBudget) {
    p->modeFlags |= TIME_SHORT;
    tc->nodeBudget /= SHORT_TIME_CHECK_FACTOR;
  }
  uint64_t interval = std::max<uint64_t>(tc->nodeBudget, 1);
  if (tc->pollInput) interval = std::min(interval, std::max<uint64_t>(tc->pollInterval, 1));
  if (tc->nodeLimit) interval = std::min(interval, std::max<uint64_t>(tc->nodeLimit - nodes, 1));
  tc->nextClockCheck += interval;
  return false;
}

int quiesce(SearchContext* s, int side, int ply, int alpha, int beta, int noPv, int nodeType) {
  Position* p = s->position;
  if (int early; stopsAtEntry(s, ply, alpha, &early)) return early;
  ++p->quiesceNodeCount;

  int whiteMaterial = 0, blackMaterial = 0, bonus = 0;
  const int material = materialBalance(p, s->boardTables, &whiteMaterial, &blackMaterial, &bonus);
  if (material == MATERIAL_DRAW) return beta <= 0 ? beta : std::max(alpha, 0);

  const int e = inFastIteration(p) ? material
                              : evaluate(side, ply, p, s->records, s->boardTables, material,
                                         whiteMaterial, blackMaterial, alpha, bonus);
  const int standPat = side == WHITE ? e + p->rootMoveBonus : -(e + p->rootMoveBonus);
  if (standPat >= beta) return beta;
  if (standPat > alpha) alpha = standPat;

  Move list[MAX_MOVES];
  const int count = generateQuiescenceCaptures(side, ply, list, p, s->records, s->boardTables);
  int legalMoves = 0;
  for (int i = 0; i < count; ++i) {
    pickBest(i, count, list);
    const Move m = list[i];
    makeMove(side, ply + 1, m, p, s->records, s->boardTables);
    if (kingAttacked(side, ply + 1, s)) {
      unmakeMove(side, ply + 1, m, p, s->records);
      continue;
    }
    ++legalMoves;
    int score;
    if (nodeType == PV_NODE && legalMoves > 1) {
      score = -quiesce(s, side ^ 1, ply + 1, -alpha - 1, -alpha, noPv, CUT_NODE);
      if (!stopped(p) && score > alpha)
        score = -quiesce(s, side ^ 1, ply + 1, -beta, -alpha, noPv, PV_NODE);
    } else {
      score = -quiesce(s, side ^ 1, ply + 1, -beta, -alpha, noPv,
                       legalMoves == 1 ? -nodeType : ALL_NODE);
    }
    if (nodeType == CUT_NODE) nodeType = ALL_NODE;
    if (stopped(p)) {
      unmakeMove(side, ply + 1, m, p, s->records);
      return 0;
    }
    if (score > alpha) {
      if (score >= beta) {
        unmakeMove(side, ply + 1, m, p, s->records);
        return beta;
      }
      alpha = score;
      if (!noPv) copyPvLine(s->pv, ply, m, true);
    }
    unmakeMove(side, ply + 1, m, p, s->records);
  }
  return alpha;
}

int search(SearchContext* s, int side, int ply, int alpha, int beta, int depth,
           int nullAllowed, int noPv, int extensionCarry, int nodeType, int searchFlags,
           Move previousMove) {
  Position* p = s->position;
  UndoRecord* records = s->records;
  const BoardTables* bt = s->boardTables;
  if (int early; stopsAtEntry(s, ply, alpha, &early)) return early;
  ++p->nodeCount;

  if (ply <= int(p->searchDepth) && ply < TABLEBASE_PLY_LIMIT &&
      menOnBoard(p) <= int(p->tablebaseReach)) {
    int score;
    if (tbProbe(side, &score, p, &records[ply])) return tablebaseScoreAtPly(score, ply);
  }

  int hashFrom = 0, hashTo = 0, mateThreat = 0, hashFlag = 0, hashScore = 0;
  if (hashProbe(side, ply, depth, &hashScore, &hashFrom, &hashTo, &mateThreat, &hashFlag,
                &records[ply], s->tables, p) &&
      nodeType != PV_NODE) {
    switch (hashFlag) {
      case HASH_EXACT:
        return hashScore;
      case HASH_UPPER:
        if (hashScore <= alpha) return alpha;
        break;
      case HASH_LOWER:
        if (hashScore >= beta) return beta;
        break;
      default:
        std::printf("ERROR: undefined hashFlag in search()\n");
        break;
    }
  }

  const bool inCheck = kingAttacked(side, ply, s);
  const int units = popCount(side == WHITE ? p->whitePieces : p->blackPieces);

  Move list[MAX_MOVES];
  int count;
  if (inCheck) {
    count = generateNodeMoves(s, side, ply, true, list);
    if (count == 0) return mateScore(ply);
  } else {
    if (nodeType != PV_NODE && nullAllowed && units >= NULL_MOVE_MIN_UNITS) {
      makeNullMove(s, ply);
      int reduction = NULL_MOVE_REDUCTION;
      if (depth >= ADAPTIVE_NULL_MIN_DEPTH && units >= ADAPTIVE_NULL_MIN_UNITS)
        reduction = int(p->searchDepth) / 8 + NULL_MOVE_REDUCTION;
      int score;
      if (depth <= reduction + 1)
        score = -quiesce(s, side ^ 1, ply + 1, -beta, 1 - beta, 1, -nodeType);
      else
        score = -search(s, side ^ 1, ply + 1, -beta, 1 - beta, depth - reduction - 1, 0, 1,
                        extensionCarry, -nodeType, 0, 0);
      if (stopped(p)) return 0;
      if (score >= beta) return beta;
      if (score < -MATE_THRESHOLD) mateThreat = 1;
    }
    count = generateNodeMoves(s, side, ply, false, list);
  }

  // The move to try first: the previous iteration's line, else the hash move.
  int firstFrom = hashFrom, firstTo = hashTo;
  if ((searchFlags & FOLLOW_PV) && int(s->previousPv[PV_END]) > ply) {
    firstFrom = moveFrom(s->previousPv[ply]);
    firstTo = moveTo(s->previousPv[ply]);
  }

  // Internal iterative deepening on the principal variation.
  if (firstFrom == firstTo && depth >= IID_MIN_DEPTH && alpha == p->rootAlpha &&
      beta == p->rootBeta) {
    if (depth == IID_MIN_DEPTH) {
      const int score = quiesce(s, side, ply, alpha, beta, noPv, nodeType);
      if (!stopped(p) && score <= alpha) quiesce(s, side, ply, -INFINITE_SCORE, alpha, noPv, nodeType);
    } else {
      const int score = search(s, side, ply, alpha, beta, depth - IID_REDUCTION, 1, noPv,
                               extensionCarry, nodeType, searchFlags, 0);
      if (!stopped(p) && score <= alpha)
        search(s, side, ply, -INFINITE_SCORE, alpha, depth - IID_REDUCTION, 1, noPv,
               extensionCarry, nodeType, searchFlags, 0);
    }
    if (stopped(p)) return 0;
    if (int(s->pv[ply][PV_END]) > ply) {
      firstFrom = moveFrom(s->pv[ply][ply]);
      firstTo = moveTo(s->pv[ply][ply]);
    }
    s->pv[ply][PV_END] = Move(ply);
  }

  markOrderingKeys(list, count, firstFrom, firstTo, p->killerFrom[ply], p->killerTo[ply]);

  // Reductions need both kings' safety, taken on this node's board before any move.
  bool kingsSafe = false;
  if (p->phaseMaterial >= MIDDLEGAME_PHASE && !inCheck && depth >= 2 &&
      count >= REDUCTION_MIN_MOVES)
    kingsSafe = whiteKingSafety(ply, p, records, bt) > -SAFE_KING_MARGIN &&
                blackKingSafety(ply, p, records, bt) < SAFE_KING_MARGIN;
  const bool fastIteration = inFastIteration(p);

  int boundFlag = HASH_UPPER;
  Move best = 0;
  int movesSearched = 0;
  for (int i = 0; i < count; ++i) {
    pickBest(i, count, list);
    const Move m = list[i];
    makeMove(side, ply + 1, m, p, records, bt);
    if (!inCheck && kingAttacked(side, ply + 1, s)) {
      unmakeMove(side, ply + 1, m, p, records);
      continue;
    }
    hashPrefetch(side ^ 1, &records[ply + 1], s->tables, p);
    ++movesSearched;
    int repetitionFactor = 1;
    int score = 0;
    if (records[ply + 1].halfMoveClock > 2) {
      const int draw = drawCheck(ply + 1, p, &records[ply + 1]);
      if (draw == DRAW_ONE_REPETITION)
        repetitionFactor = 2;
      else if (draw >= DRAW_REPETITION)
        repetitionFactor = 0;  // drawn: repetition, insufficient material or fifty moves
    }

    if (repetitionFactor != 0) {
      int sum = 0;
      if (nodeType != ALL_NODE) {
        sum = extensionSum(p, m, inCheck, count, mateThreat, previousMove);
        if (movesSearched == 1 && (searchFlags & FOLLOW_PV) && sameSquares(m, firstFrom, firstTo)) {
          sum += p->pvExtension;
          nodeType = PV_NODE;
        } else {
          searchFlags &= ~FOLLOW_PV;
        }
        sum = dampedExtension(sum, ply, int(p->searchDepth));
      } else {
        searchFlags &= ~FOLLOW_PV;
      }
      int carry = sum + extensionCarry;
      int extension = 0;
      if (carry >= EXTENSION_PLY) {
        extension = 1;
        carry -= EXTENSION_PLY;
      }

      // Late quiet moves in the middlegame are reduced; in a fast iteration, with both
      // kings safe, they go straight to the quiescence search.
      int reduction = 0;
      if (p->phaseMaterial >= MIDDLEGAME_PHASE && extension == 0 && sum == 0 &&
          moveOrderKey(m) <= QUIET_KEY_LIMIT && !inCheck &&
          movesSearched >= REDUCTION_MIN_MOVES) {
        if (depth >= 3)
          reduction = fastIteration && kingsSafe ? depth - 1 : 1;
        else if (depth == 2 && kingsSafe)
          reduction = 1;
      }
      const int newDepth = depth + extension - reduction;
      const int a = repetitionFactor == 2 ? doubledBound(alpha) : alpha;
      const int b = repetitionFactor == 2 ? doubledBound(beta) : beta;

      if (nodeType == PV_NODE && movesSearched > 1) {
        if (newDepth < 2) {
          score = -quiesce(s, side ^ 1, ply + 1, -a - 1, -a, noPv, CUT_NODE);
          if (!stopped(p) && score > a)
            score = -quiesce(s, side ^ 1, ply + 1, -b, -a, noPv, PV_NODE);
        } else {
          score = -search(s, side ^ 1, ply + 1, -a - 1, -a, newDepth - 1, 1, noPv, carry,
                          CUT_NODE, 0, m);
          if (!stopped(p) && score > a)
            score = -search(s, side ^ 1, ply + 1, -b, -a, newDepth - 1, 1, noPv, carry,
                            PV_NODE, 0, m);
        }
      } else {
        const int childType = movesSearched == 1 ? -nodeType : ALL_NODE;
        if (newDepth < 2)
          score = -quiesce(s, side ^ 1, ply + 1, -b, -a, noPv, childType);
        else
          score = -search(s, side ^ 1, ply + 1, -b, -a, newDepth - 1, 1, noPv, carry,
                          childType, searchFlags, m);
      }
      // A reduced move that beats alpha is searched again to its full depth.
      if (reduction && !stopped(p) && score > a)
        score = -search(s, side ^ 1, ply + 1, -b, -a, depth - 1, 1, noPv, carry, nodeType,
                        searchFlags, m);
      if (stopped(p)) {
        unmakeMove(side, ply + 1, m, p, records);
        return 0;
      }
      if (repetitionFactor == 2) score /= 2;
    }
    if (nodeType == CUT_NODE) nodeType = ALL_NODE;

    if (score > alpha) {
      if (score >= beta) {
        unmakeMove(side, ply + 1, m, p, records);
        if (moveOrderKey(m) <= QUIET_KEY_LIMIT) {
          p->killerFrom[ply] = moveFrom(m);
          p->killerTo[ply] = moveTo(m);
        }
        hashStore(side, ply, depth, beta, moveFrom(m), moveTo(m), mateThreat, HASH_LOWER,
                  &records[ply], s->tables, p);
        return beta;
      }
      alpha = score;
      boundFlag = HASH_EXACT;
      if (searchFlags & REMEMBER_BEST) best = m;
      if (!noPv) copyPvLine(s->pv, ply, m, repetitionFactor != 0);
    }
    unmakeMove(side, ply + 1, m, p, records);
  }

  if (movesSearched == 0) {  // stalemate
    hashStore(side, ply, depth, 0, 0, 0, mateThreat, HASH_EXACT, &records[ply], s->tables, p);
    return 0;
  }
  hashStore(side, ply, depth, alpha, moveFrom(best), moveTo(best), mateThreat, boundFlag,
            &records[ply], s->tables, p);
  return alpha;
}
