#include "driver/timing.h"

#include <algorithm>
#include <cstdio>

#include "board/makemove.h"
#include "eval/evaluate.h"
#include "movegen/attacks.h"

namespace {

constexpr double MICROSECONDS_PER_CENTISECOND = 10000.0;
constexpr double MICROSECONDS_PER_SECOND = 1000000.0;
constexpr uint32_t SUDDEN_DEATH_MOVES = 15;  // moves assumed left without a moves control
constexpr double LITTLE_TIME = 6000.0;       // centiseconds: one minute
constexpr uint32_t LITTLE_TIME_MOVES = 7;
constexpr double LITTLE_TIME_BUDGET = 100000.0;  // a tenth of a second
constexpr double CLOCK_SAFETY = 100000.0;        // never plan to use the last 100 ms
constexpr double MIN_BUDGET = 10000.0;           // 10 ms
constexpr double FIXED_TIME_MARGIN = 50000.0;    // st: what answering and moving may cost
constexpr double RESERVE_SHARE = 0.1;
constexpr double MAX_BUDGET_SHARES = 3.0;  // at most three even shares of the clock
constexpr double MAX_SPEED_FACTOR = 3.6;
constexpr double CLOCK_CHECK_SHARE = 0.1;  // first clock check after a tenth of the budget
constexpr uint32_t OUT_OF_BOOK_MOVES = 11;
constexpr int DANGER_FULL = 200;
constexpr int DANGER_START = 100;
constexpr double DANGER_IN_CHECK = 2.0;
constexpr int EASY_MOVE_MARGIN = 200;

void printBudget(const TimeControl& tc, double reserve) {
  std::printf("Time budget = %.0f with %.0f reserved\n", tc.timeBudget / MICROSECONDS_PER_CENTISECOND,
              reserve / MICROSECONDS_PER_CENTISECOND);
}

void clampToCeiling(TimeControl* tc) {
  tc->timeBudget = std::max(std::min(tc->timeBudget, tc->budgetCeiling), MIN_BUDGET);
}

uint32_t movesToGoOf(const Position* p) {
  if (p->movesPerControl == 0) return SUDDEN_DEATH_MOVES;
  const uint32_t r = (p->movesCompleted + 1) % p->movesPerControl;
  return r == 0 ? 1 : p->movesPerControl - r + 1;
}

}  // namespace

void computeTimeBudget(Engine* e) {
  Position* p = &e->position;
  TimeControl* tc = &e->tc;
  tc->startTime = clockMicroseconds();
  tc->fixedTime = e->fixedMoveTime > 0;
  e->movesToGo = e->givenMovesToGo ? e->givenMovesToGo : movesToGoOf(p);
  const double n = double(e->movesToGo);

  if (e->fixedMoveTime > 0) {
    // st: a hard limit per move, less what answering costs.
    const double limit = e->fixedMoveTime * MICROSECONDS_PER_CENTISECOND;
    tc->timeBudget = std::max(limit - std::min(FIXED_TIME_MARGIN, limit / 4), MIN_BUDGET);
    tc->budgetCeiling = tc->timeBudget;
    e->reserve = 0;
    e->dangerAllowed = false;
    return;
  }

  const double t = p->clockTime;
  const double o = std::max(p->opponentTime, 0.0);
  const double base = t * MICROSECONDS_PER_CENTISECOND / n;
  if (p->modeFlags & CLOCK_GAME) {
    // The clock difference is shared over the moves to go like the base.
    const double difference =
        (t - o) * MICROSECONDS_PER_CENTISECOND / n * (t > o ? 0.5 : 1.0);
    tc->timeBudget = difference + 0.5 * base;
    e->reserve = (base - tc->timeBudget) * RESERVE_SHARE;
    e->dangerAllowed = e->reserve >= 0;
    if (e->reserve < 0) e->reserve = 0;
  } else {
    tc->timeBudget = base;
    e->reserve = 0;
    e->dangerAllowed = false;
    e->extraPercent = 0;
  }
  if (tc->timeBudget <= 0) tc->timeBudget = base;

  if (t <= LITTLE_TIME && (e->movesToGo <= LITTLE_TIME_MOVES || p->movesPerControl == 0)) {
    p->modeFlags |= TIME_SHORT;
    e->reserve = 0;
    // Without a moves control the even share already shrinks with the clock.
    if (p->movesPerControl != 0) {
      if (t > o) {
        const double lead = (t - o) * MICROSECONDS_PER_CENTISECOND;
        if (p->movesPerControl > 1)
          tc->timeBudget = lead * 0.5;
        else
          tc->timeBudget = lead > MICROSECONDS_PER_SECOND ? lead - MICROSECONDS_PER_SECOND : lead;
      } else {
        tc->timeBudget = LITTLE_TIME_BUDGET;
      }
    }
  }

  const double remaining = std::max(t, 0.0) * MICROSECONDS_PER_CENTISECOND;
  tc->budgetCeiling = std::max(
      std::min(0.5 * (remaining - CLOCK_SAFETY), MAX_BUDGET_SHARES * remaining / n), MIN_BUDGET);
  clampToCeiling(tc);
}

void announceTimeBudget(Engine* e) {
  printBudget(e->tc, e->reserve);
  e->speedFactor = std::min(e->speedFactor, MAX_SPEED_FACTOR);
  e->tc.nextClockCheck = uint64_t(e->tc.timeBudget * e->speedFactor * CLOCK_CHECK_SHARE);
}

void addOutOfBookTime(Engine* e) {
  const Position* p = &e->position;
  if (!(p->modeFlags & CLOCK_GAME) || (p->modeFlags & TIME_SHORT) ||
      p->bookMisses >= OUT_OF_BOOK_MOVES)
    return;
  TimeControl* tc = &e->tc;
  tc->timeBudget += tc->timeBudget * 0.1 * double(OUT_OF_BOOK_MOVES - p->bookMisses) *
                    double(e->extraPercent) / 100.0;
  clampToCeiling(tc);
  std::printf("After adding extra time out of book: %.0f\n",
              tc->timeBudget / MICROSECONDS_PER_CENTISECOND);
}

void applyDangerFactor(Engine* e, bool inCheck) {
  Position* p = &e->position;
  double factor = 0;
  if (inCheck) {
    factor = DANGER_IN_CHECK;
  } else {
    e->records[1] = e->records[0];
    const int d = std::max(-whiteKingSafety(1, p, e->records, &e->tables),
                           blackKingSafety(1, p, e->records, &e->tables));
    if (d >= DANGER_FULL)
      factor = 2.0;
    else if (d > DANGER_START)
      factor = d / 100.0;
  }
  if (factor == 0) return;
  p->fastIterationLimit = 0;
  if (!e->dangerAllowed) return;
  e->tc.timeBudget *= factor;
  e->reserve *= factor;
  clampToCeiling(&e->tc);
  std::printf("Danger factor = %.2f.\n", factor);
  printBudget(e->tc, e->reserve);
}

void easyMoveTest(Engine* e, int side, int rootMoveCount) {
  Position* p = &e->position;
  if (canCheck(WHITE, int(p->blackKingSquare), p, &e->tables) ||
      canCheck(BLACK, int(p->whiteKingSquare), p, &e->tables))
    return;
  int best = -INFINITE_SCORE, second = -INFINITE_SCORE;
  for (int i = 0; i < rootMoveCount; ++i) {
    const Move m = e->rootMoves[i];
    makeMove(side, 1, m, p, e->records, &e->tables);
    const int score = -quiesce(&e->search, side ^ 1, 1, -INFINITE_SCORE, INFINITE_SCORE, 1, PV_NODE);
    unmakeMove(side, 1, m, p, e->records);
    if (score > best) {
      second = best;
      best = score;
    } else if (score > second) {
      second = score;
    }
  }
  TimeControl* tc = &e->tc;
  if (best > second + EASY_MOVE_MARGIN && tc->timeBudget > MICROSECONDS_PER_SECOND) {
    std::printf("Easy move, tc.timeBudget is reduced from %u ",
                unsigned(tc->timeBudget / MICROSECONDS_PER_SECOND));
    tc->timeBudget /= 3;
    std::printf("to %u seconds.\n", unsigned(tc->timeBudget / MICROSECONDS_PER_SECOND));
  }
}

void updateClocks(Engine* e) {
  Position* p = &e->position;
  if (e->fixedMoveTime > 0) {
    p->clockTime = p->opponentTime = e->fixedMoveTime;
    return;
  }
  const double elapsed = clockMicroseconds() - e->tc.startTime;
  p->clockTime = p->increment + p->clockTime - elapsed / MICROSECONDS_PER_CENTISECOND;
  p->opponentTime = p->clockTime - e->tc.timeBudget / MICROSECONDS_PER_CENTISECOND;
}

void startNewPeriodIfDue(Engine* e, uint32_t movesToGoBeforeMove) {
  Position* p = &e->position;
  if (e->fixedMoveTime > 0 || movesToGoBeforeMove != 1 || p->movesPerControl == 0) return;
  p->clockTime += p->baseTime;
  p->opponentTime += p->baseTime;
}
