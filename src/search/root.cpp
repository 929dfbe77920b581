// The root search, iterative deepening and the thinking output.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "eval/evaluate.h"
#include "movegen/movegen.h"
#include "movegen/notation.h"
#include "search/ordering.h"
#include "search/search.h"
#include "tablebase/tablebase.h"

namespace {

constexpr int ASPIRATION_WINDOW = 40;
constexpr double INITIAL_TIME_FACTOR = 3.0;
constexpr double MAX_TIME_FACTOR = 6.0;
constexpr double MAX_SPEED_FACTOR = 1.8;
// The iteration whose branching factor rescales the extensions and fixes the fast
// iterations and followPv for the rest of the search.
constexpr int EXTENSION_SCALING_DEPTH = 5;
// Extensions shrink in steps of a fifth as the branching factor b1 grows from 5 to 9.
constexpr int EXTENSION_SCALING_STEPS = 5;
constexpr double FULL_EXTENSIONS_BRANCHING = 5.0;  // below: the default amounts
constexpr double LEAST_EXTENSIONS_BRANCHING = 9.0; // from here: the smallest amounts
constexpr int RECAPTURE_EXTENSION_STEP = 7;        // the recapture amount loses this per step
static_assert(DEFAULT_PV_EXTENSION % EXTENSION_SCALING_STEPS == 0 &&
              DEFAULT_CHECK_EXTENSION % EXTENSION_SCALING_STEPS == 0 &&
              DEFAULT_SINGLE_REPLY_EXTENSION % EXTENSION_SCALING_STEPS == 0 &&
              DEFAULT_MATE_THREAT_EXTENSION % EXTENSION_SCALING_STEPS == 0 &&
              DEFAULT_PAWN_PUSH_EXTENSION % EXTENSION_SCALING_STEPS == 0,
              "scaled amounts are whole hundredths");
constexpr double FOLLOW_PV_BRANCHING = 4.65;
// A fail low from this iteration on is worth the time reserve.
constexpr uint32_t RESERVE_MIN_DEPTH = 5;
// Nodes between clock checks: this share of what the budget pays for, so that the clock
// is read about ten times per budget.
constexpr double CLOCK_CHECK_SHARE = 0.1;
constexpr int OPENING_PIECES = 10;  // more pieces than this besides pawns and kings
constexpr int KIBITZ_MIN_DEPTH = 4;
constexpr double MIN_ELAPSED = 1000.0;  // microseconds: an elapsed time counts at least 1 ms
constexpr double MICROSECONDS_PER_CENTISECOND = 10000.0;
constexpr double MICROSECONDS_PER_SECOND = 1e6;
// With few moves left to the time control another iteration needs time for at least this
// growth of the tree.
constexpr uint32_t FEW_MOVES_TO_GO = 7;

constexpr int THINKING_LINE_SIZE = 2048;
constexpr int KIBITZ_TEXT_SIZE = 32;  // a move number and a move, with room to spare

void copyRow(const PvRow& from, PvRow& to) { std::memcpy(to, from, sizeof(PvRow)); }

int pvLength(const PvRow& row) { return int(std::min<Move>(row[PV_END], MAX_PLY)); }

// Appends formatted text to a bounded buffer.
template <class... Args>
void append(char* buffer, size_t size, const char* format, Args... args) {
  const size_t used = std::strlen(buffer);
  if (used + 1 >= size) return;
  std::snprintf(buffer + used, size - used, format, args...);
}

// Is move one of the legal moves of side in the position of record ply?
bool isLegalAt(int side, int ply, Move move, Position* p, UndoRecord* records,
               const BoardTables* t) {
  Move list[MAX_MOVES];
  const int n = generateLegalMoves(side, ply, list, p, records, t);
  for (int i = 0; i < n; ++i)
    if (sameSquares(list[i], move) && movePromotion(list[i]) == movePromotion(move)) return true;
  return false;
}

// Writes the line's moves in algebraic notation with move numbers, on a scratch copy of
// the position. With cut set only the first move is written. Also fills the kibitz texts.
void formatLine(SearchContext* s, int side, const PvRow& line, bool cut, char* out,
                size_t size, char kibitz[][KIBITZ_TEXT_SIZE], int* kibitzCount) {
  static Position scratch;
  static UndoRecord scratchRecords[MAX_PLY];
  scratch = *s->position;
  std::memcpy(scratchRecords, s->records, sizeof scratchRecords);
  uint32_t moveNumber = scratch.movesCompleted + 1;
  int length = cut ? std::min(1, pvLength(line)) : pvLength(line);
  length = std::min(length, PLY_LIMIT - 1);
  *kibitzCount = 0;
  for (int i = 0; i < length; ++i) {
    const Move m = line[i];
    if (!isLegalAt(side, i, m, &scratch, scratchRecords, s->boardTables)) break;
    char text[MOVE_TEXT_SIZE];
    san(side, i, m, text, &scratch, scratchRecords, s->boardTables);
    if (side == WHITE) {
      append(out, size, "%u. ", moveNumber);
      std::snprintf(kibitz[i], KIBITZ_TEXT_SIZE, "%u. %s", moveNumber, text);
    } else if (i == 0) {
      append(out, size, "%u. ... ", moveNumber);
      std::snprintf(kibitz[i], KIBITZ_TEXT_SIZE, "%u. ... %s", moveNumber, text);
    } else {
      std::snprintf(kibitz[i], KIBITZ_TEXT_SIZE, "%s", text);
    }
    append(out, size, "%s ", text);
    *kibitzCount = i + 1;
    makeMove(side, i + 1, m, &scratch, scratchRecords, s->boardTables);
    if (side == BLACK) ++moveNumber;
    side ^= 1;
  }
}


// Step 3: in the first iteration the previous search's move goes first and the root's
// killer next.
void markFirstIteration(Move* rootMoves, int count, const PvRow& previousPv, const Position* p) {
  const bool havePrevious = pvLength(previousPv) > 0;
  const Move previousBest = havePrevious ? previousPv[0] : 0;
  for (int i = 0; i < count; ++i) {
    if (havePrevious && sameSquares(rootMoves[i], previousBest) &&
        movePromotion(rootMoves[i]) == movePromotion(previousBest))
      rootMoves[i] = withOrderKey(rootMoves[i], FIRST_MOVE_KEY + int(p->searchDepth));
    else if (sameSquares(rootMoves[i], p->killerFrom[0], p->killerTo[0]) &&
             p->killerFrom[0] != p->killerTo[0] && moveOrderKey(rootMoves[i]) <= QUIET_KEY_LIMIT)
      rootMoves[i] = withOrderKey(rootMoves[i], KILLER_KEY);
  }
}

// Step 4.3: 2 for a position seen once before (it scores half), 0 for a draw that the
// move then carries as its draw claim (in the root list too), else 1.
int rootRepetitionFactor(SearchContext* s, Move* m, Move* listEntry) {
  const int draw = drawCheck(1, s->position, &s->records[1]);
  int claim;
  if (draw == DRAW_ONE_REPETITION) return 2;
  if (draw == DRAW_MATERIAL)
    claim = CLAIM_INSUFFICIENT_MATERIAL;
  else if (draw == DRAW_FIFTY_MOVES)
    claim = CLAIM_FIFTY_MOVES;
  else if (draw >= DRAW_REPETITION)
    claim = CLAIM_REPETITION;
  else
    return 1;
  *m = *listEntry = withDrawClaim(*m, claim);
  return 0;
}

// Step 4.5: how a root move is searched.
struct RootPlan {
  int extension;  // whole plies
  int carry;      // the child's extensionCarry; may reach a ply for the previous best move
  int searchFlags;
};

// The previous best move, searched first, follows the old line and takes the
// principal-variation extension as carry; the others carry the root's extension and the
// pawn push, whose whole plies extend them at once.
RootPlan planRootMove(const Position* p, Move m, bool previousBest, int rootExtension,
                      int followPv) {
  if (previousBest)
    return {0, followPv ? p->pvExtension + rootExtension : rootExtension,
            followPv ? FOLLOW_PV | REMEMBER_BEST : 0};
  RootPlan plan{0, rootExtension, followPv ? REMEMBER_BEST : 0};
  if (pawnToSeventh(m)) plan.carry += p->pawnPushExtension;
  if (plan.carry >= EXTENSION_PLY) {
    plan.extension = 1;
    plan.carry -= EXTENSION_PLY;
  }
  return plan;
}

// Step 4.6: the root move m, made at ply 1, in the full window (doubled for a repetition).
int searchRootMove(SearchContext* s, int side, int alpha, int beta, int depth,
                   const RootPlan& plan, int repetitionFactor, Move m) {
  const int a = repetitionFactor == 2 ? std::max(2 * alpha, -INFINITE_SCORE) : alpha;
  const int b = repetitionFactor == 2 ? std::min(2 * beta, INFINITE_SCORE) : beta;
  const int newDepth = depth + plan.extension;
  if (newDepth <= 1) return -quiesce(s, side ^ 1, 1, -b, -a, 0, PV_NODE);
  return -search(s, side ^ 1, 1, -b, -a, newDepth - 1,
                 {.extensionCarry = plan.carry, .searchFlags = plan.searchFlags}, m);
}

// Step 4.9: the move that raised alpha leads the line and the list; the others keep their
// order behind it.
void takeRootBest(PvRow* pv, Move* rootMoves, int i, Move m, int repetitionFactor) {
  copyPvLine(pv, 0, m, repetitionFactor != 0);
  for (int j = i; j > 0; --j) rootMoves[j] = rootMoves[j - 1];
  rootMoves[0] = m;
}

// Steps 4.7 and 5: a line that is still empty is the first move searched.
void keepFirstSearched(PvRow* pv, Move firstSearched) {
  if (pv[0][PV_END] != 0) return;
  pv[0][0] = firstSearched;
  pv[0][PV_END] = 1;
}

}  // namespace

int rootSearch(SearchContext* s, int side, int alpha, int beta, int depth, Move* rootMoves,
               int rootMoveCount, int rootExtension, int followPv) {
  Position* p = s->position;
  UndoRecord* records = s->records;
  // 1. Count the node; the line starts empty.
  ++p->nodeCount;
  s->pv[0][PV_END] = 0;

  // 2. A root position in the tablebases needs only a shallow search.
  if (popCount(p->whitePieces | p->blackPieces) <= int(p->tablebaseReach)) {
    int score;
    if (tbProbe(side, &score, p, &records[0])) depth = 2;
  }

  // 3. First-iteration marks.
  if (p->searchDepth == 1) markFirstIteration(rootMoves, rootMoveCount, s->previousPv, p);

  // 4. The moves, each in the full window.
  const bool havePrevious = pvLength(s->previousPv) > 0;
  const int piecesBesidesPawnsAndKings =
      popCount(p->whitePieces | p->blackPieces) - popCount(p->whitePawns | p->blackPawns) - 2;
  int movesSearched = 0;
  Move firstSearched = 0;
  for (int i = 0; i < rootMoveCount; ++i) {
    // 4.1-4.3. Make the move; draws are claimed, repetitions score half.
    pickBest(i, rootMoveCount, rootMoves);
    Move m = rootMoves[i];
    s->rootMoveIndex = i;
    s->rootMoveCount = rootMoveCount;
    s->rootMove = m;
    makeMove(side, 1, m, p, records, s->boardTables);
    if (++movesSearched == 1) firstSearched = m;
    p->rootMoveBonus = 0;
    const int repetitionFactor = rootRepetitionFactor(s, &m, &rootMoves[i]);

    int score = 0;
    if (repetitionFactor != 0) {
      // 4.4-4.6. Opening preference, extension, the child search.
      if (piecesBesidesPawnsAndKings > OPENING_PIECES) openingPreference(m, p, s->boardTables);
      const bool previousBest =
          movesSearched == 1 && havePrevious && sameSquares(m, s->previousPv[0]);
      const RootPlan plan = planRootMove(p, m, previousBest, rootExtension, followPv);
      score = searchRootMove(s, side, alpha, beta, depth, plan, repetitionFactor, m);
      // 4.7. Stopped: the line found so far, or the first move searched.
      if (p->modeFlags & STOP_SEARCH) {
        unmakeMove(side, 1, m, p, records);
        keepFirstSearched(s->pv, firstSearched);
        return 0;
      }
      // 4.8. A repetition scores half.
      if (repetitionFactor == 2) score /= 2;
    }

    // 4.9. A better move leads; a cut-off makes a quiet move the root's killer.
    if (score > alpha) {
      takeRootBest(s->pv, rootMoves, i, m, repetitionFactor);
      if (score >= beta) {
        unmakeMove(side, 1, m, p, records);
        rememberKiller(p, 0, m);
        return beta;
      }
      alpha = score;
      unmakeMove(side, 1, m, p, records);
      // A new best move after the first one, shown on the root position.
      if (s->report && movesSearched > 1 && p->searchDepth > 1) s->report(s, score, false);
      continue;
    }
    unmakeMove(side, 1, m, p, records);
  }
  // 5. The result.
  if (movesSearched == 0) return 0;
  keepFirstSearched(s->pv, firstSearched);
  return alpha;
}

namespace {

// The root search of one iteration, as every window of it calls it.
struct RootCall {
  SearchContext* s;
  int side;
  Move* rootMoves;
  int rootMoveCount;
  int rootExtension;
  int followPv;
};

int searchRootWindow(const RootCall& r, int alpha, int beta, int depth) {
  r.s->position->rootAlpha = alpha;
  r.s->position->rootBeta = beta;
  return rootSearch(r.s, r.side, alpha, beta, depth, r.rootMoves, r.rootMoveCount,
                    r.rootExtension, r.followPv);
}

// Step 3: the phase of this search; crossing the middlegame threshold clears the tables,
// so that scores of the two evaluation regimes never meet.
void setPhase(SearchContext* s) {
  Position* p = s->position;
  int whiteMaterial = 0, blackMaterial = 0, bonus = 0;
  materialBalance(p, s->boardTables, &whiteMaterial, &blackMaterial, &bonus);
  const int phase = std::min(whiteMaterial, -blackMaterial);
  if ((phase < MIDDLEGAME_PHASE) != (p->phaseMaterial < MIDDLEGAME_PHASE))
    hashClear(s->tables, p);
  p->phaseMaterial = phase;
}

// Steps 5.3-5.5: one iteration in the aspiration window. A fail low searches again with
// the window opened below (deeper iterations take the time reserve for it), a fail high
// with the window opened above; should that fail low, the fail-high move stands alone.
int aspirationSearch(const RootCall& r, int alpha, int beta, uint32_t depth, double reserve) {
  Position* p = r.s->position;
  PvRow* pv = r.s->pv;
  int score = searchRootWindow(r, alpha, beta, int(depth));
  if (p->modeFlags & STOP_SEARCH) return score;
  if (score <= alpha) {
    std::printf("score too low: %d<%d<%d\n", alpha, score, beta);
    if (depth >= RESERVE_MIN_DEPTH && reserve > 0) stretchBudget(r.s->tc, reserve);
    return searchRootWindow(r, -INFINITE_SCORE, alpha + 1, int(depth));
  }
  if (score >= beta) {
    std::printf("score too high: %d<%d<%d\n", alpha, score, beta);
    const Move failHighMove = pv[0][0];
    const int failHighScore = score;
    score = searchRootWindow(r, beta - 1, INFINITE_SCORE, int(depth));
    if (!(p->modeFlags & STOP_SEARCH) && score <= beta - 1) {
      std::printf("fail low after fail high at root, use last move\n");
      pv[0][0] = failHighMove;
      pv[0][PV_END] = 1;
      score = failHighScore;
    }
  }
  return score;
}

// Step 5.7: the next iteration's window, ASPIRATION_WINDOW around the score, wide open
// towards a mate score.
void nextWindow(int score, int* alpha, int* beta) {
  *alpha = score <= -(INFINITE_SCORE - ASPIRATION_WINDOW) ? -INFINITE_SCORE
                                                          : score - ASPIRATION_WINDOW;
  *beta = score >= INFINITE_SCORE - ASPIRATION_WINDOW ? INFINITE_SCORE
                                                      : score + ASPIRATION_WINDOW;
  *alpha = std::clamp(*alpha, -INFINITE_SCORE, INFINITE_SCORE);
  *beta = std::clamp(*beta, -INFINITE_SCORE, INFINITE_SCORE);
}

// The move texts of the last completed line, for the kibitz lines.
struct KibitzLine {
  char text[MAX_PLY][KIBITZ_TEXT_SIZE];
  int count;
};

// Step 5.8: the thinking line: depth, score, centiseconds, nodes and the line; a cut
// iteration shows only its first move and " CUT". A completed line replaces *kibitz.
void printThinkingLine(SearchContext* s, int side, uint32_t depth, int score, double sinceStart,
                       double nodes, bool cut, KibitzLine* kibitz) {
  char line[THINKING_LINE_SIZE];
  std::snprintf(line, sizeof line, "%u %d %u %.0f S", depth, score,
                unsigned(sinceStart / MICROSECONDS_PER_CENTISECOND), nodes);
  KibitzLine now;
  formatLine(s, side, s->pv[0], cut, line, sizeof line, now.text, &now.count);
  if (cut) append(line, sizeof line, "%s", " CUT");
  std::printf("%s\n", line);
  std::fflush(stdout);
  if (!cut) *kibitz = now;
}

// Step 5.11: the first branching factor, from nodes = depth^b1.
double firstBranchingFactor(double nodes, uint32_t depth) {
  return depth == 1 ? nodes : std::log(std::max(nodes, 1.0)) / std::log(double(depth));
}

// Step 5.13.1: fast iterations reach a quarter of the depth the time budget pays for
// (from nodes = depth^b1), and half the depth limit at most; only for the engine's own
// move in the middlegame, and never once switched off.
uint32_t fastIterationLimitFor(const SearchContext* s, double speedFactor, double b1) {
  const Position* p = s->position;
  int limit = 0;
  if (p->fastIterationLimit != 0 && p->phaseMaterial > MIDDLEGAME_PHASE &&
      s->engineSearching && b1 > 1.0) {
    const double reachable = std::pow(speedFactor * s->tc->timeBudget, 1.0 / b1);
    limit = int(std::trunc(0.5 * reachable)) / 2;
    if (p->depthLimit < uint32_t(MAX_PLY) && int(p->depthLimit / 2) < limit)
      limit = int(p->depthLimit / 2);
  }
  return uint32_t(std::max(limit, 0));
}

// Step 5.13.2: the bushier the tree, the smaller the extensions.
void scaleExtensions(Position* p, double b1) {
  const int k = b1 < FULL_EXTENSIONS_BRANCHING    ? 0
                : b1 >= LEAST_EXTENSIONS_BRANCHING ? EXTENSION_SCALING_STEPS
                                                   : int(b1) - int(FULL_EXTENSIONS_BRANCHING) + 1;
  const auto scaled = [k](int amount) {
    return amount * (EXTENSION_SCALING_STEPS - k) / EXTENSION_SCALING_STEPS;
  };
  p->pvExtension = scaled(DEFAULT_PV_EXTENSION);
  p->checkExtension = scaled(DEFAULT_CHECK_EXTENSION);
  p->singleReplyExtension = scaled(DEFAULT_SINGLE_REPLY_EXTENSION);
  p->mateThreatExtension = scaled(DEFAULT_MATE_THREAT_EXTENSION);
  p->pawnPushExtension = scaled(DEFAULT_PAWN_PUSH_EXTENSION);
  p->recaptureExtension = DEFAULT_RECAPTURE_EXTENSION - RECAPTURE_EXTENSION_STEP * k;
}

// Steps 5.12 and 5.13: shallow iterations use the default extensions and no followPv;
// the scaling iteration fixes the fast iterations, the extensions and followPv.
void adaptToTree(SearchContext* s, uint32_t depth, double speedFactor, double b1, int* followPv) {
  Position* p = s->position;
  if (depth < EXTENSION_SCALING_DEPTH) {
    setDefaultExtensions(p);
    *followPv = 0;
  } else if (depth == EXTENSION_SCALING_DEPTH) {
    p->fastIterationLimit = fastIterationLimitFor(s, speedFactor, b1);
    if (p->fastIterationLimit >= FIRST_FAST_ITERATION)
      std::printf("Fast iteration <= %d plies\n", int(p->fastIterationLimit));
    scaleExtensions(p, b1);
    *followPv = b1 > FOLLOW_PV_BRANCHING ? 1 : 0;
  }
}

// Step 5.15: the tree's growth b2 decides whether another iteration fits the time left.
// A fixed time per move is the move's own: another iteration starts while any of it is
// left (the clock check cuts it at the limit).
double nextTimeFactor(double b2, uint32_t movesToGo, bool fixedTime) {
  if (fixedTime) return 1.0;
  return (b2 < INITIAL_TIME_FACTOR && movesToGo <= FEW_MOVES_TO_GO) ? INITIAL_TIME_FACTOR
                                                                    : std::min(b2, MAX_TIME_FACTOR);
}

// Step 6: the summary for the interface.
void printKibitz(const Position* p, const TimeControl* tc, int score, const KibitzLine& kibitz) {
  const double elapsed = std::max(clockMicroseconds() - tc->startTime, MIN_ELAPSED);
  const double nodes = double(p->nodeCount + p->quiesceNodeCount);
  std::printf(score > 0 ? "tellics kibitz +%d, " : "tellics kibitz %d, ", score);
  std::printf("%d plies %.0f nodes in %ds (%d Knps)\n", int(p->searchDepth), nodes,
              int(elapsed / MICROSECONDS_PER_SECOND), int(nodes * 1000.0 / elapsed));
  std::printf("tellics kibitz PV: ");
  for (int i = 0; i < kibitz.count; ++i) std::printf("%s ", kibitz.text[i]);
  std::printf("\n");
}

}  // namespace

int iterativeDeepening(SearchContext* s, int side, Move* rootMoves, int rootMoveCount,
                       int rootExtension, double* speedFactor, double reserve,
                       uint32_t movesToGo, Move* bestMoveByDepth, Move* expectedReply) {
  Position* p = s->position;
  TimeControl* tc = s->tc;
  PvRow* pv = s->pv;
  // 1-4. The clock, the previous line, the phase; clear the stop flags.
  double now = clockMicroseconds();
  static PvRow savedLine;
  bestMoveByDepth[1] = pvLength(pv[0]) > 0 ? pv[0][0] : 0;
  copyRow(pv[0], savedLine);
  setPhase(s);
  p->modeFlags &= ~(STOP_SEARCH | TIME_SHORT);
  p->searchDepth = 0;

  // Iterations stop at the ply limit; a depth limit of 0 or less still searches one.
  const uint32_t depthLimit = std::clamp<uint32_t>(p->depthLimit, 1, PLY_LIMIT);
  int lastScore = 0;
  double timeFactor = INITIAL_TIME_FACTOR;
  double previousNodes = 1;
  RootCall root{s, side, rootMoves, rootMoveCount, rootExtension, 1};
  int alpha = -INFINITE_SCORE, beta = INFINITE_SCORE;
  Move savedReply = *expectedReply;
  KibitzLine kibitz{};

  // 5. The iterations, while the time test lets another one start.
  while (!(p->modeFlags & STOP_SEARCH) && p->searchDepth < depthLimit &&
         (p->searchDepth == 0 || (now - tc->startTime) * timeFactor < tc->timeBudget)) {
    // 5.1-5.5. The clock-check interval; the search in the aspiration window.
    const uint32_t depth = ++p->searchDepth;
    tc->nodeBudget = uint64_t(*speedFactor * tc->timeBudget * CLOCK_CHECK_SHARE);
    if (p->modeFlags & TIME_SHORT) tc->nodeBudget /= SHORT_TIME_CHECK_FACTOR;
    copyRow(pv[0], s->previousPv);
    int score = aspirationSearch(root, alpha, beta, depth, reserve);
    const bool stop = p->modeFlags & STOP_SEARCH;

    // 5.6. A cut iteration counts for nothing. A first iteration is never cut by the
    // clock; should it be cut all the same, the best root move found so far is played.
    if (stop) {
      bestMoveByDepth[depth] = depth > 1 ? bestMoveByDepth[depth - 1] : pv[0][0];
      score = lastScore;
    } else {
      bestMoveByDepth[depth] = pv[0][0];
      lastScore = score;
    }
    // 5.7-5.8. The next window; the thinking line.
    nextWindow(score, &alpha, &beta);
    now = clockMicroseconds();
    const double nodes = double(p->nodeCount + p->quiesceNodeCount);
    if (!s->report)
      printThinkingLine(s, side, depth, score, now - tc->startTime, nodes, stop, &kibitz);
    else if (!stop)
      s->report(s, score, true);

    // 5.9. Keep the completed line and the expected reply, or go back to the last ones.
    if (stop) {
      --p->searchDepth;
      *expectedReply = savedReply;
      copyRow(savedLine, pv[0]);
      // The cut iteration may have shown a new best move: the interface is shown the line
      // that is played after all.
      if (s->report && depth > 1) s->report(s, lastScore, true);
    } else {
      if (s->engineSearching) *expectedReply = pvLength(pv[0]) >= 2 ? pv[0][1] : 0;
      savedReply = *expectedReply;
      copyRow(pv[0], savedLine);
    }

    // 5.10-5.13. Speed and branching; a cut iteration's node count is no full tree's, so
    // it rescales nothing.
    *speedFactor = std::min(nodes / std::max(now - tc->startTime, MIN_ELAPSED), MAX_SPEED_FACTOR);
    const double b1 = firstBranchingFactor(nodes, depth);
    if (!stop) adaptToTree(s, depth, *speedFactor, b1, &root.followPv);

    // 5.14-5.17. The time test of the next iteration; a mate ends the search.
    const double b2 = nodes / previousNodes;
    std::printf("branching factors = %.2f, %.2f\n", b1, b2);
    timeFactor = nextTimeFactor(b2, movesToGo, tc->fixedTime);
    previousNodes = nodes > 0 ? nodes : 1;
    if (score > MATE_THRESHOLD || stop) break;
  }

  // 6-7. The kibitz lines; the score of the last completed iteration.
  if (p->searchDepth >= KIBITZ_MIN_DEPTH && (p->modeFlags & XBOARD_MODE))
    printKibitz(p, tc, lastScore, kibitz);
  return lastScore;
}
