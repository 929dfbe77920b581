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
constexpr int ADAPTIVE_NULL_DEPTH_SHARE = 8;  // R grows by one per this many plies of iteration
// Late moves: from this many moves searched on, quiet moves may be reduced while both
// kings are safe by these margins of the king-safety terms.
constexpr int REDUCTION_MIN_MOVES = 5;
constexpr int SAFE_KING_MARGIN = 100;
// Tablebases are probed this close to the root.
constexpr int TABLEBASE_PLY_LIMIT = 4;
constexpr int IID_MIN_DEPTH = 3;
constexpr int IID_REDUCTION = 3;
// With this little depth left a move is resolved by the quiescence search.
constexpr int QUIESCE_BELOW_DEPTH = 2;
// Reductions: from this depth on late moves lose a ply whatever the kings' safety (and,
// in a fast iteration with both kings safe, all but one ply); at less they lose a ply
// only with both kings safe, and not at all below LATE_MOVE_MIN_DEPTH.
constexpr int LATE_MOVE_FULL_DEPTH = 3;
constexpr int LATE_MOVE_MIN_DEPTH = 2;
// Positions with fewer reversible plies behind them cannot repeat or reach fifty moves.
constexpr int DRAW_CHECK_MIN_CLOCK = 3;

inline int kingSquareOf(int side, const Position* p) {
  return int(side == WHITE ? p->whiteKingSquare : p->blackKingSquare);
}

// Is side's king attacked in the position of record ply?
inline bool kingAttacked(int side, int ply, SearchContext* s) {
  return attackInfoBy(side ^ 1, kingSquareOf(side, s->position), s->position, &s->records[ply],
                      s->boardTables) &
         ATTACKED;
}

// Makes m at ply + 1 unless it leaves the mover's king attacked; evasions (known legal)
// are not tested.
inline bool makeLegalMove(SearchContext* s, int side, int ply, Move m, bool evasion) {
  makeMove(side, ply + 1, m, s->position, s->records, s->boardTables);
  if (evasion || !kingAttacked(side, ply + 1, s)) return true;
  unmakeMove(side, ply + 1, m, s->position, s->records);
  return false;
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
  if (n < KEY_HISTORY_SIZE) p->keyHistory[n] = r.hashKey;
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
    if (!makeLegalMove(s, side, ply, m, false)) continue;
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

namespace {

// Step 4: the tablebases, near the root only. True with *result when the position is known.
bool probeTablebases(SearchContext* s, int side, int ply, int* result) {
  const Position* p = s->position;
  if (ply > int(p->searchDepth) || ply >= TABLEBASE_PLY_LIMIT ||
      menOnBoard(p) > int(p->tablebaseReach))
    return false;
  int score;
  if (!tbProbe(side, &score, p, &s->records[ply])) return false;
  *result = tablebaseScoreAtPly(score, ply);
  return true;
}

// Step 5: the table. The hash move and the mate-threat flag come back whenever the key is
// known; the stored bound settles the node (true, with *result) only off the principal
// variation.
bool hashSettles(SearchContext* s, int side, int ply, int depth, int alpha, int beta,
                 int nodeType, int* hashFrom, int* hashTo, int* mateThreat, int* result) {
  int hashFlag = 0, hashScore = 0;
  if (!hashProbe(side, ply, depth, &hashScore, hashFrom, hashTo, mateThreat, &hashFlag,
                 &s->records[ply], s->tables, s->position) ||
      nodeType == PV_NODE)
    return false;
  switch (hashFlag) {
    case HASH_EXACT:
      *result = hashScore;
      return true;
    case HASH_UPPER:
      *result = alpha;
      return hashScore <= alpha;
    case HASH_LOWER:
      *result = beta;
      return hashScore >= beta;
    default:
      std::printf("ERROR: undefined hashFlag in search()\n");
      return false;
  }
}

// Step 8.1: the null move's reduction R; deep nodes with material to spare take more.
int nullMoveReduction(int depth, int units, uint32_t searchDepth) {
  if (depth >= ADAPTIVE_NULL_MIN_DEPTH && units >= ADAPTIVE_NULL_MIN_UNITS)
    return int(searchDepth) / ADAPTIVE_NULL_DEPTH_SHARE + NULL_MOVE_REDUCTION;
  return NULL_MOVE_REDUCTION;
}

// Step 8.1: the null move, off the principal variation with enough units: the mover
// passes and searches R plies less with a null window at beta. True with *result when that
// settles the node (it still fails high, or the clock stopped it); a mated score sets the
// mate threat.
bool nullMoveSettles(SearchContext* s, int side, int ply, int beta, int depth,
                     const NodeArgs& node, int* mateThreat, int* result) {
  const Position* p = s->position;
  const int units = popCount(side == WHITE ? p->whitePieces : p->blackPieces);
  if (node.nodeType == PV_NODE || !node.nullAllowed || units < NULL_MOVE_MIN_UNITS) return false;
  makeNullMove(s, ply);
  const int reduction = nullMoveReduction(depth, units, p->searchDepth);
  int score;
  if (depth <= reduction + 1) {
    score = -quiesce(s, side ^ 1, ply + 1, -beta, 1 - beta, 1, -node.nodeType);
  } else {
    const NodeArgs child{.nullAllowed = 0, .noPv = 1, .extensionCarry = node.extensionCarry,
                         .nodeType = -node.nodeType, .searchFlags = 0};
    score = -search(s, side ^ 1, ply + 1, -beta, 1 - beta, depth - reduction - 1, child, 0);
  }
  if (stopped(p)) {
    *result = 0;
    return true;
  }
  if (score >= beta) {
    *result = beta;
    return true;
  }
  if (score < -MATE_THRESHOLD) *mateThreat = 1;
  return false;
}

// Step 9: the move to try first: the previous iteration's line, else the hash move.
void firstMoveOf(const SearchContext* s, int ply, const NodeArgs& node, int* firstFrom,
                 int* firstTo) {
  if ((node.searchFlags & FOLLOW_PV) && int(s->previousPv[PV_END]) > ply) {
    *firstFrom = moveFrom(s->previousPv[ply]);
    *firstTo = moveTo(s->previousPv[ply]);
  }
}

// Step 10: internal iterative deepening on the principal variation: a shallower search
// of this node finds the move to try first. False when the clock stopped it.
bool internalDeepening(SearchContext* s, int side, int ply, int alpha, int beta, int depth,
                       const NodeArgs& node, int* firstFrom, int* firstTo) {
  const Position* p = s->position;
  if (depth == IID_MIN_DEPTH) {
    const int score = quiesce(s, side, ply, alpha, beta, node.noPv, node.nodeType);
    if (!stopped(p) && score <= alpha)
      quiesce(s, side, ply, -INFINITE_SCORE, alpha, node.noPv, node.nodeType);
  } else {
    const NodeArgs shallow{.nullAllowed = 1, .noPv = node.noPv,
                           .extensionCarry = node.extensionCarry, .nodeType = node.nodeType,
                           .searchFlags = node.searchFlags};
    const int score = search(s, side, ply, alpha, beta, depth - IID_REDUCTION, shallow, 0);
    if (!stopped(p) && score <= alpha)
      search(s, side, ply, -INFINITE_SCORE, alpha, depth - IID_REDUCTION, shallow, 0);
  }
  if (stopped(p)) return false;
  if (int(s->pv[ply][PV_END]) > ply) {
    *firstFrom = moveFrom(s->pv[ply][ply]);
    *firstTo = moveTo(s->pv[ply][ply]);
  }
  s->pv[ply][PV_END] = Move(ply);
  return true;
}

// Step 12.4: 1 for a new position, 2 for one seen once before (it scores half), 0 for a
// draw (repetition, insufficient material or fifty moves), which is not searched.
int repetitionFactorAt(SearchContext* s, int ply) {
  UndoRecord& r = s->records[ply];
  if (r.halfMoveClock < DRAW_CHECK_MIN_CLOCK) return 1;
  const int draw = drawCheck(ply, s->position, &r);
  if (draw == DRAW_ONE_REPETITION) return 2;
  return draw >= DRAW_REPETITION ? 0 : 1;
}

// How one move is searched (steps 12.5 to 12.8).
struct MovePlan {
  int sum;        // damped extension of the move itself, hundredths of a ply
  int extension;  // whole plies of extension
  int carry;      // the child's extensionCarry
  int reduction;  // plies of late-move reduction
};

// Steps 12.5 to 12.7: the move's extensions, damped with the distance from the root, plus
// the carry; a whole ply extends the move and the rest goes to the child. The first move
// of a node on the previous line keeps the node on the principal variation.
MovePlan extendMove(const Position* p, int ply, Move m, bool pvMove, bool inCheck, int count,
                    int mateThreat, Move previousMove, NodeArgs* node) {
  int sum = 0;
  if (node->nodeType != ALL_NODE) {
    sum = extensionSum(p, m, inCheck, count, mateThreat, previousMove);
    if (pvMove && (node->searchFlags & FOLLOW_PV)) {
      sum += p->pvExtension;
      node->nodeType = PV_NODE;
    } else {
      node->searchFlags &= ~FOLLOW_PV;
    }
    sum = dampedExtension(sum, ply, int(p->searchDepth));
  } else {
    node->searchFlags &= ~FOLLOW_PV;
  }
  MovePlan plan{sum, 0, sum + node->extensionCarry, 0};
  if (plan.carry >= EXTENSION_PLY) {
    plan.extension = 1;
    plan.carry -= EXTENSION_PLY;
  }
  return plan;
}

// Step 12.8, the part fixed for the whole node: how many plies a late quiet move loses
// here. In a fast iteration with both kings safe (by the king-safety terms of this node's
// board) it goes straight to the quiescence search.
int lateMoveReduction(SearchContext* s, int ply, int depth, bool inCheck, int count) {
  Position* p = s->position;
  if (p->phaseMaterial < MIDDLEGAME_PHASE || inCheck) return 0;
  const bool kingsSafe =
      depth >= LATE_MOVE_MIN_DEPTH && count >= REDUCTION_MIN_MOVES &&
      whiteKingSafety(ply, p, s->records, s->boardTables) > -SAFE_KING_MARGIN &&
      blackKingSafety(ply, p, s->records, s->boardTables) < SAFE_KING_MARGIN;
  if (depth >= LATE_MOVE_FULL_DEPTH) return inFastIteration(p) && kingsSafe ? depth - 1 : 1;
  return depth >= LATE_MOVE_MIN_DEPTH && kingsSafe ? 1 : 0;
}

// Step 12.8 for one move: only late moves that are quiet (or win nothing) and take no
// extension at all are reduced.
bool reducible(Move m, const MovePlan& plan, int movesSearched) {
  return plan.extension == 0 && plan.sum == 0 && moveOrderKey(m) <= QUIET_KEY_LIMIT &&
         movesSearched >= REDUCTION_MIN_MOVES;
}

// Step 12.9: the child search of move m (made at ply + 1) in the window (a, b). Off the
// first move a principal-variation node tries a null window first; a reduced move that
// beats alpha is searched again to its full depth.
int searchChild(SearchContext* s, int side, int ply, int a, int b, int depth,
                const MovePlan& plan, const NodeArgs& node, int movesSearched, Move m) {
  const Position* p = s->position;
  const int newDepth = depth + plan.extension - plan.reduction;
  const NodeArgs child{.nullAllowed = 1, .noPv = node.noPv, .extensionCarry = plan.carry,
                       .nodeType = movesSearched == 1 ? -node.nodeType : ALL_NODE,
                       .searchFlags = node.searchFlags};
  int score;
  if (node.nodeType == PV_NODE && movesSearched > 1) {
    if (newDepth < QUIESCE_BELOW_DEPTH) {
      score = -quiesce(s, side ^ 1, ply + 1, -a - 1, -a, node.noPv, CUT_NODE);
      if (!stopped(p) && score > a)
        score = -quiesce(s, side ^ 1, ply + 1, -b, -a, node.noPv, PV_NODE);
    } else {
      NodeArgs scout = child;
      scout.nodeType = CUT_NODE;
      scout.searchFlags = 0;
      score = -search(s, side ^ 1, ply + 1, -a - 1, -a, newDepth - 1, scout, m);
      if (!stopped(p) && score > a) {
        scout.nodeType = PV_NODE;
        score = -search(s, side ^ 1, ply + 1, -b, -a, newDepth - 1, scout, m);
      }
    }
  } else if (newDepth < QUIESCE_BELOW_DEPTH) {
    score = -quiesce(s, side ^ 1, ply + 1, -b, -a, node.noPv, child.nodeType);
  } else {
    score = -search(s, side ^ 1, ply + 1, -b, -a, newDepth - 1, child, m);
  }
  if (plan.reduction && !stopped(p) && score > a) {
    NodeArgs full = child;
    full.nodeType = node.nodeType;
    score = -search(s, side ^ 1, ply + 1, -b, -a, depth - 1, full, m);
  }
  return score;
}

}  // namespace

int search(SearchContext* s, int side, int ply, int alpha, int beta, int depth, NodeArgs node,
           Move previousMove) {
  Position* p = s->position;
  UndoRecord* records = s->records;
  // 1-3. Entry: the ply limit and the clock; count the node.
  if (int early; stopsAtEntry(s, ply, alpha, &early)) return early;
  ++p->nodeCount;

  // 4. Tablebases.
  if (int known; probeTablebases(s, side, ply, &known)) return known;

  // 5. Table probe.
  int hashFrom = 0, hashTo = 0, mateThreat = 0;
  if (int bound; hashSettles(s, side, ply, depth, alpha, beta, node.nodeType, &hashFrom,
                             &hashTo, &mateThreat, &bound))
    return bound;

  // 6-8. Evasions in check (none: mated); otherwise the null move, then all moves.
  const bool inCheck = kingAttacked(side, ply, s);
  if (int settled;
      !inCheck && nullMoveSettles(s, side, ply, beta, depth, node, &mateThreat, &settled))
    return settled;
  Move list[MAX_MOVES];
  const int count = generateNodeMoves(s, side, ply, inCheck, list);
  if (inCheck && count == 0) return mateScore(ply);

  // 9. The move to try first.
  int firstFrom = hashFrom, firstTo = hashTo;
  firstMoveOf(s, ply, node, &firstFrom, &firstTo);

  // 10. Internal iterative deepening, on the principal variation when no move is known.
  if (firstFrom == firstTo && depth >= IID_MIN_DEPTH && alpha == p->rootAlpha &&
      beta == p->rootBeta &&
      !internalDeepening(s, side, ply, alpha, beta, depth, node, &firstFrom, &firstTo))
    return 0;

  // 11. Ordering marks: the first move, then the killer.
  markOrderingKeys(list, count, firstFrom, firstTo, p->killerFrom[ply], p->killerTo[ply]);

  // 12. The move loop.
  const int lateReduction = lateMoveReduction(s, ply, depth, inCheck, count);

  int boundFlag = HASH_UPPER;
  Move best = 0;
  int movesSearched = 0;
  for (int i = 0; i < count; ++i) {
    // 12.1-12.3. Make the move; evasions are legal, other moves are tested here.
    pickBest(i, count, list);
    const Move m = list[i];
    if (!makeLegalMove(s, side, ply, m, inCheck)) continue;
    hashPrefetch(side ^ 1, &records[ply + 1], s->tables, p);
    ++movesSearched;

    // 12.4. Repetitions score half, draws 0 without a search.
    const int repetitionFactor = repetitionFactorAt(s, ply + 1);
    int score = 0;
    if (repetitionFactor != 0) {
      // 12.5-12.8. Extension, damping and carry; late-move reduction.
      const bool pvMove = movesSearched == 1 && sameSquares(m, firstFrom, firstTo);
      MovePlan plan =
          extendMove(p, ply, m, pvMove, inCheck, count, mateThreat, previousMove, &node);
      if (reducible(m, plan, movesSearched)) plan.reduction = lateReduction;
      // 12.9-12.11. The child search, in the doubled window for a repetition.
      const int a = repetitionFactor == 2 ? doubledBound(alpha) : alpha;
      const int b = repetitionFactor == 2 ? doubledBound(beta) : beta;
      score = searchChild(s, side, ply, a, b, depth, plan, node, movesSearched, m);
      if (stopped(p)) {
        unmakeMove(side, ply + 1, m, p, records);
        return 0;
      }
      if (repetitionFactor == 2) score /= 2;
    }
    // 12.12. A cut node whose first move did not cut is an all node.
    if (node.nodeType == CUT_NODE) node.nodeType = ALL_NODE;

    // 12.13. A cut-off stores the killer and a lower bound; a better move extends the line.
    if (score > alpha) {
      if (score >= beta) {
        unmakeMove(side, ply + 1, m, p, records);
        rememberKiller(p, ply, m);
        hashStore(side, ply, depth, beta, moveFrom(m), moveTo(m), mateThreat, HASH_LOWER,
                  &records[ply], s->tables, p);
        return beta;
      }
      alpha = score;
      boundFlag = HASH_EXACT;
      if (node.searchFlags & REMEMBER_BEST) best = m;
      if (!node.noPv) copyPvLine(s->pv, ply, m, repetitionFactor != 0);
    }
    unmakeMove(side, ply + 1, m, p, records);
  }

  // 13. Store the result; stalemate (no legal move) is an exact 0.
  if (movesSearched == 0) {
    alpha = 0;
    boundFlag = HASH_EXACT;
  }
  hashStore(side, ply, depth, alpha, moveFrom(best), moveTo(best), mateThreat, boundFlag,
            &records[ply], s->tables, p);
  return alpha;
}
