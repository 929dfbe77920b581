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
// The clock is read about this often per time budget.
constexpr double CLOCK_CHECK_SHARE = 0.1;
constexpr int OPENING_PIECES = 10;  // more pieces than this besides pawns and kings
constexpr int KIBITZ_MIN_DEPTH = 4;
constexpr double MIN_ELAPSED = 1000.0;  // microseconds: an elapsed time counts at least 1 ms


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

}  // namespace

int rootSearch(SearchContext* s, int side, int alpha, int beta, int depth, Move* rootMoves,
               int rootMoveCount, int rootExtension, int followPv) {
  Position* p = s->position;
  UndoRecord* records = s->records;
  const BoardTables* bt = s->boardTables;
  PvRow* pv = s->pv;
  ++p->nodeCount;
  pv[0][PV_END] = 0;

  if (popCount(p->whitePieces | p->blackPieces) <= int(p->tablebaseReach)) {
    int score;
    if (tbProbe(side, &score, p, &records[0])) depth = 2;
  }

  const bool havePrevious = pvLength(s->previousPv) > 0;
  const Move previousBest = havePrevious ? s->previousPv[0] : 0;
  if (p->searchDepth == 1) {
    for (int i = 0; i < rootMoveCount; ++i) {
      if (havePrevious && sameSquares(rootMoves[i], previousBest) &&
          movePromotion(rootMoves[i]) == movePromotion(previousBest))
        rootMoves[i] = withOrderKey(rootMoves[i], FIRST_MOVE_KEY + int(p->searchDepth));
      else if (sameSquares(rootMoves[i], p->killerFrom[0], p->killerTo[0]) &&
               p->killerFrom[0] != p->killerTo[0] &&
               moveOrderKey(rootMoves[i]) <= QUIET_KEY_LIMIT)
        rootMoves[i] = withOrderKey(rootMoves[i], KILLER_KEY);
    }
  }

  const int piecesBesidesPawnsAndKings =
      popCount(p->whitePieces | p->blackPieces) - popCount(p->whitePawns | p->blackPawns) - 2;
  int movesSearched = 0;
  Move firstSearched = 0;
  for (int i = 0; i < rootMoveCount; ++i) {
    pickBest(i, rootMoveCount, rootMoves);
    Move m = rootMoves[i];
    makeMove(side, 1, m, p, records, bt);
    if (++movesSearched == 1) firstSearched = m;
    p->rootMoveBonus = 0;

    int repetitionFactor = 1;
    int score = 0;
    const int draw = drawCheck(1, p, &records[1]);
    if (draw == DRAW_ONE_REPETITION) {
      repetitionFactor = 2;
    } else if (draw == DRAW_MATERIAL) {
      repetitionFactor = 0;
      m = rootMoves[i] = withDrawClaim(m, CLAIM_INSUFFICIENT_MATERIAL);
    } else if (draw == DRAW_FIFTY_MOVES) {
      repetitionFactor = 0;
      m = rootMoves[i] = withDrawClaim(m, CLAIM_FIFTY_MOVES);
    } else if (draw >= DRAW_REPETITION) {
      repetitionFactor = 0;
      m = rootMoves[i] = withDrawClaim(m, CLAIM_REPETITION);
    }

    if (repetitionFactor != 0) {
      if (piecesBesidesPawnsAndKings > OPENING_PIECES) openingPreference(m, p, bt);
      int carry, searchFlags, extension = 0;
      if (movesSearched == 1 && havePrevious && sameSquares(m, previousBest)) {
        carry = followPv ? p->pvExtension + rootExtension : rootExtension;
        searchFlags = followPv ? FOLLOW_PV | REMEMBER_BEST : 0;
      } else {
        searchFlags = followPv ? REMEMBER_BEST : 0;
        carry = rootExtension;
        if (pawnToSeventh(m)) carry += p->pawnPushExtension;
        if (carry >= EXTENSION_PLY) {
          extension = 1;
          carry -= EXTENSION_PLY;
        }
      }
      const int a = repetitionFactor == 2 ? std::max(2 * alpha, -INFINITE_SCORE) : alpha;
      const int b = repetitionFactor == 2 ? std::min(2 * beta, INFINITE_SCORE) : beta;
      const int newDepth = depth + extension;
      if (newDepth <= 1)
        score = -quiesce(s, side ^ 1, 1, -b, -a, 0, PV_NODE);
      else
        score = -search(s, side ^ 1, 1, -b, -a, newDepth - 1,
                        {.extensionCarry = carry, .searchFlags = searchFlags}, m);
      if (p->modeFlags & STOP_SEARCH) {
        unmakeMove(side, 1, m, p, records);
        if (pv[0][PV_END] == 0) {
          pv[0][0] = firstSearched;
          pv[0][PV_END] = 1;
        }
        return 0;
      }
      if (repetitionFactor == 2) score /= 2;
    }

    if (score > alpha) {
      pv[0][0] = m;
      if (repetitionFactor != 0) {
        const int end = int(pv[1][PV_END]);
        for (int j = 1; j < end; ++j) pv[0][j] = pv[1][j];
        pv[0][PV_END] = Move(std::max(end, 1));
      } else {
        pv[0][PV_END] = 1;
      }
      // The new best move goes to the front; the others keep their order behind it.
      for (int j = i; j > 0; --j) rootMoves[j] = rootMoves[j - 1];
      rootMoves[0] = m;
      if (score >= beta) {
        unmakeMove(side, 1, m, p, records);
        if (moveOrderKey(m) <= QUIET_KEY_LIMIT) {
          p->killerFrom[0] = moveFrom(m);
          p->killerTo[0] = moveTo(m);
        }
        return beta;
      }
      alpha = score;
    }
    unmakeMove(side, 1, m, p, records);
  }
  if (pv[0][PV_END] == 0 && movesSearched) {
    pv[0][0] = firstSearched;
    pv[0][PV_END] = 1;
  }
  return movesSearched ? alpha : 0;
}

int iterativeDeepening(SearchContext* s, int side, Move* rootMoves, int rootMoveCount,
                       int rootExtension, double* speedFactor, double reserve,
                       uint32_t movesToGo, Move* bestMoveByDepth, Move* expectedReply) {
  Position* p = s->position;
  TimeControl* tc = s->tc;
  PvRow* pv = s->pv;
  double now = clockMicroseconds();

  static PvRow savedLine, failHighLine;
  bestMoveByDepth[1] = pvLength(pv[0]) > 0 ? pv[0][0] : 0;
  copyRow(pv[0], savedLine);

  int whiteMaterial = 0, blackMaterial = 0, bonus = 0;
  materialBalance(p, s->boardTables, &whiteMaterial, &blackMaterial, &bonus);
  const int phase = std::min(whiteMaterial, -blackMaterial);
  if ((phase < MIDDLEGAME_PHASE) != (p->phaseMaterial < MIDDLEGAME_PHASE))
    hashClear(s->tables, p);
  p->phaseMaterial = phase;

  p->modeFlags &= ~(STOP_SEARCH | TIME_SHORT);
  p->searchDepth = 0;

  // Iterations stop at the ply limit; a depth limit of 0 or less still searches one.
  const uint32_t depthLimit = std::clamp<uint32_t>(p->depthLimit, 1, PLY_LIMIT);
  int lastScore = 0;
  double timeFactor = INITIAL_TIME_FACTOR;
  double previousNodes = 1;
  int followPv = 1;
  int alpha = -INFINITE_SCORE, beta = INFINITE_SCORE;
  Move savedReply = *expectedReply;
  char kibitz[MAX_PLY][KIBITZ_TEXT_SIZE];
  int kibitzCount = 0;

  while (!(p->modeFlags & STOP_SEARCH) && p->searchDepth < depthLimit &&
         (p->searchDepth == 0 || (now - tc->startTime) * timeFactor < tc->timeBudget)) {
    ++p->searchDepth;
    const uint32_t depth = p->searchDepth;
    tc->nodeBudget = uint64_t(*speedFactor * tc->timeBudget * CLOCK_CHECK_SHARE);
    if (p->modeFlags & TIME_SHORT) tc->nodeBudget /= SHORT_TIME_CHECK_FACTOR;

    copyRow(pv[0], s->previousPv);
    p->rootAlpha = alpha;
    p->rootBeta = beta;
    int score = rootSearch(s, side, alpha, beta, int(depth), rootMoves, rootMoveCount,
                           rootExtension, followPv);
    bool stop = p->modeFlags & STOP_SEARCH;
    if (!stop && score <= alpha) {
      std::printf("score too low: %d<%d<%d\n", alpha, score, beta);
      if (depth >= RESERVE_MIN_DEPTH && reserve > 0) stretchBudget(tc, reserve);
      p->rootAlpha = -INFINITE_SCORE;
      p->rootBeta = alpha + 1;
      score = rootSearch(s, side, -INFINITE_SCORE, alpha + 1, int(depth), rootMoves,
                         rootMoveCount, rootExtension, followPv);
    } else if (!stop && score >= beta) {
      std::printf("score too high: %d<%d<%d\n", alpha, score, beta);
      copyRow(pv[0], failHighLine);
      const int failHighScore = score;
      p->rootAlpha = beta - 1;
      p->rootBeta = INFINITE_SCORE;
      score = rootSearch(s, side, beta - 1, INFINITE_SCORE, int(depth), rootMoves,
                         rootMoveCount, rootExtension, followPv);
      if (!(p->modeFlags & STOP_SEARCH) && score <= beta - 1) {
        std::printf("fail low after fail high at root, use last move\n");
        pv[0][0] = failHighLine[0];
        pv[0][PV_END] = 1;
        score = failHighScore;
      }
    }
    stop = p->modeFlags & STOP_SEARCH;

    if (stop) {
      // A first iteration is never cut by the clock; should it be cut all the same, the
      // best root move found so far is played.
      bestMoveByDepth[depth] = depth > 1 ? bestMoveByDepth[depth - 1] : pv[0][0];
      score = lastScore;
    } else {
      bestMoveByDepth[depth] = pv[0][0];
      lastScore = score;
    }

    alpha = score <= -(INFINITE_SCORE - ASPIRATION_WINDOW) ? -INFINITE_SCORE
                                                            : score - ASPIRATION_WINDOW;
    beta = score >= INFINITE_SCORE - ASPIRATION_WINDOW ? INFINITE_SCORE
                                                       : score + ASPIRATION_WINDOW;
    alpha = std::clamp(alpha, -INFINITE_SCORE, INFINITE_SCORE);
    beta = std::clamp(beta, -INFINITE_SCORE, INFINITE_SCORE);

    now = clockMicroseconds();
    const double elapsed = std::max(now - tc->startTime, MIN_ELAPSED);
    const double nodes = double(p->nodeCount + p->quiesceNodeCount);
    {
      char line[THINKING_LINE_SIZE];
      std::snprintf(line, sizeof line, "%u %d %u %.0f S", depth, score,
                    unsigned((now - tc->startTime) / 10000.0), nodes);
      char kibitzNow[MAX_PLY][KIBITZ_TEXT_SIZE];
      int kibitzNowCount = 0;
      formatLine(s, side, pv[0], stop, line, sizeof line, kibitzNow, &kibitzNowCount);
      if (stop) append(line, sizeof line, "%s", " CUT");
      std::printf("%s\n", line);
      std::fflush(stdout);
      if (!stop) {
        std::memcpy(kibitz, kibitzNow, sizeof kibitz);
        kibitzCount = kibitzNowCount;
      }
    }

    if (stop) {
      --p->searchDepth;
      *expectedReply = savedReply;
      copyRow(savedLine, pv[0]);
    } else {
      if (s->engineSearching) *expectedReply = pvLength(pv[0]) >= 2 ? pv[0][1] : 0;
      savedReply = *expectedReply;
      copyRow(pv[0], savedLine);
    }

    *speedFactor = std::min(nodes / elapsed, MAX_SPEED_FACTOR);
    const double b1 = depth == 1 ? nodes : std::log(std::max(nodes, 1.0)) / std::log(double(depth));

    // A cut iteration does not rescale anything: its node count is not a full tree's.
    if (!stop) {
      if (depth < EXTENSION_SCALING_DEPTH) {
        setDefaultExtensions(p);
        followPv = 0;
      } else if (depth == EXTENSION_SCALING_DEPTH) {
        int limit = 0;
        if (p->fastIterationLimit != 0 && p->phaseMaterial > MIDDLEGAME_PHASE &&
            s->engineSearching && b1 > 1.0) {
          limit = int(std::trunc(0.5 * std::pow(*speedFactor * tc->timeBudget, 1.0 / b1))) / 2;
          if (p->depthLimit < uint32_t(MAX_PLY) && int(p->depthLimit / 2) < limit)
            limit = int(p->depthLimit / 2);
        }
        p->fastIterationLimit = uint32_t(std::max(limit, 0));
        if (limit >= int(FIRST_FAST_ITERATION)) std::printf("Fast iteration <= %d plies\n", limit);

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
        followPv = b1 > FOLLOW_PV_BRANCHING ? 1 : 0;
      }
    }
    const double b2 = nodes / previousNodes;
    std::printf("branching factors = %.2f, %.2f\n", b1, b2);
    timeFactor = (b2 < 3.0 && movesToGo <= 7) ? INITIAL_TIME_FACTOR : std::min(b2, MAX_TIME_FACTOR);
    // A fixed time per move is the move's own: another iteration starts while any of it
    // is left (the clock check cuts it at the limit).
    if (tc->fixedTime) timeFactor = 1.0;
    previousNodes = nodes > 0 ? nodes : 1;

    if (score > MATE_THRESHOLD || stop) break;
  }

  if (p->searchDepth >= KIBITZ_MIN_DEPTH && (p->modeFlags & XBOARD_MODE)) {
    const double elapsed = std::max(clockMicroseconds() - tc->startTime, MIN_ELAPSED);
    const double nodes = double(p->nodeCount + p->quiesceNodeCount);
    std::printf(lastScore > 0 ? "tellics kibitz +%d, " : "tellics kibitz %d, ", lastScore);
    std::printf("%d plies %.0f nodes in %ds (%d Knps)\n", int(p->searchDepth), nodes,
                int(elapsed / 1e6), int(nodes * 1000.0 / elapsed));
    std::printf("tellics kibitz PV: ");
    for (int i = 0; i < kibitzCount; ++i) std::printf("%s ", kibitz[i]);
    std::printf("\n");
  }
  return lastScore;
}
