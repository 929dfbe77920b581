#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "driver/commands.h"
#include "driver/timing.h"
#include "test_support.h"

namespace {

Engine engine;  // large: one for the whole file

// The engine's clock state at the start of a turn.
Engine* clockState(uint32_t movesPerControl, double t, double o, uint32_t movesCompleted,
                   bool clockGame = true) {
  Engine* e = &engine;
  TestBoard board;
  e->position = board.position;
  Position& p = e->position;
  p.movesPerControl = movesPerControl;
  p.clockTime = t;
  p.opponentTime = o;
  p.movesCompleted = movesCompleted;
  p.modeFlags = clockGame ? CLOCK_GAME : 0;
  e->fixedMoveTime = 0;
  e->extraPercent = 100;
  e->speedFactor = 0.9;
  return e;
}

std::string announce(Engine* e) {
  testing::internal::CaptureStdout();
  announceTimeBudget(e);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Timing, DefaultClockOnTheFirstMove) {
  Engine* e = clockState(40, 30000, 30000, 0);
  computeTimeBudget(e);
  EXPECT_EQ(e->movesToGo, 40u);
  EXPECT_DOUBLE_EQ(e->tc.timeBudget, 3750000);
  EXPECT_DOUBLE_EQ(e->reserve, 375000);
  EXPECT_TRUE(e->dangerAllowed);
  EXPECT_EQ(announce(e), "Time budget = 375 with 38 reserved\n");
  EXPECT_EQ(e->tc.nextClockCheck, uint64_t(3750000 * 0.9 * 0.1));

  // The first move out of book doubles the budget.
  e->position.bookMisses = 1;
  testing::internal::CaptureStdout();
  addOutOfBookTime(e);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "After adding extra time out of book: 750\n");
}

TEST(Timing, WithoutAClockGameTheBudgetIsAnEvenShare) {
  Engine* e = clockState(0, 30000, 30000, 10, false);
  computeTimeBudget(e);
  EXPECT_DOUBLE_EQ(e->tc.timeBudget, 30000 * 10000.0 / 15);
  EXPECT_EQ(e->reserve, 0);
  EXPECT_EQ(e->extraPercent, 0u);
}

TEST(Timing, LittleTimeNeverRisksTheClock) {
  struct Case {
    const char* name;
    uint32_t movesPerControl;
    double t, o;
    uint32_t movesCompleted;
  } cases[] = {
      {"5 moves to go, behind on the clock", 40, 5000, 6000, 35},
      {"40 in 5 minutes at move 39, 3 s left", 40, 300, 300, 38},
      {"last move of the period, 0.3 s left", 40, 30, 300, 39},
      {"1 minute sudden death, 0.5 s left", 0, 50, 3000, 30},
      {"sudden death, far ahead on the clock", 0, 5000, 100, 30},
      {"negative opponent clock", 40, 500, -300, 37},
      {"own clock already spent", 40, -20, 300, 37},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Engine* e = clockState(c.movesPerControl, c.t, c.o, c.movesCompleted);
    computeTimeBudget(e);
    const double remaining = c.t * 10000;
    EXPECT_GE(e->tc.timeBudget, 10000);  // at least 10 ms
    if (c.t > 12) {
      EXPECT_LE(e->tc.timeBudget, 0.5 * (remaining - 100000) + 1e-6);
      EXPECT_LE(e->tc.timeBudget, 3 * remaining / e->movesToGo + 1e-6);
    }
    EXPECT_TRUE(e->position.modeFlags & TIME_SHORT);
    EXPECT_EQ(e->reserve, 0);
    // Nothing that stretches the budget goes past what the clock can pay.
    e->position.modeFlags &= ~TIME_SHORT;
    e->dangerAllowed = true;
    testing::internal::CaptureStdout();
    addOutOfBookTime(e);
    applyDangerFactor(e, true);
    testing::internal::GetCapturedStdout();
    EXPECT_LE(e->tc.timeBudget, e->tc.budgetCeiling);
  }
  // The rule's own values: behind on the clock, a tenth of a second.
  Engine* e = clockState(40, 5000, 6000, 35);
  computeTimeBudget(e);
  EXPECT_DOUBLE_EQ(e->tc.timeBudget, 100000);
}

TEST(Timing, IncrementsAreSpentOnlyOnceTheyHaveArrived) {
  // Two minutes and 2 s a move, then one second left: the coming increment is not budgeted.
  Engine* e = clockState(0, 12000, 12000, 5);
  e->position.increment = 200;
  computeTimeBudget(e);
  EXPECT_DOUBLE_EQ(e->tc.timeBudget, 0.5 * 12000 * 10000 / 15);
  e = clockState(0, 100, 100, 50);
  e->position.increment = 200;
  computeTimeBudget(e);
  EXPECT_LE(e->tc.timeBudget, 0.5 * (1000000 - 100000));
}

TEST(Timing, FixedTimePerMoveIsAHardLimit) {
  Engine* e = clockState(1, 100, 100, 12);
  e->fixedMoveTime = 100;  // st 1
  computeTimeBudget(e);
  EXPECT_DOUBLE_EQ(e->tc.timeBudget, 950000);
  e->position.bookMisses = 1;
  testing::internal::CaptureStdout();
  addOutOfBookTime(e);
  testing::internal::GetCapturedStdout();
  EXPECT_DOUBLE_EQ(e->tc.timeBudget, 950000);
  // No period roll-over adds time: both clocks stay at the fixed time.
  e->tc.startTime = clockMicroseconds();
  updateClocks(e);
  startNewPeriodIfDue(e, 1);
  EXPECT_DOUBLE_EQ(e->position.clockTime, 100);
  EXPECT_DOUBLE_EQ(e->position.opponentTime, 100);
}

// st with 0 or a negative number: as fast as possible, and no period of the default
// level hands the engine its base time after the first move.
TEST(Timing, FixedTimeOfZeroStaysShort) {
  for (const char* seconds : {"0", "-3", "nonsense"}) {
    Engine* e = clockState(40, 30000, 30000, 12);
    e->position.baseTime = 30000;
    char words[WORD_COUNT][WORD_SIZE] = {"st"};
    std::snprintf(words[1], WORD_SIZE, "%s", seconds);
    interpretCommand(words, e);
    computeTimeBudget(e);
    EXPECT_DOUBLE_EQ(e->tc.timeBudget, 10000) << seconds;  // the 10 ms floor
    e->tc.startTime = clockMicroseconds();
    updateClocks(e);
    startNewPeriodIfDue(e, 1);
    computeTimeBudget(e);
    EXPECT_DOUBLE_EQ(e->tc.timeBudget, 10000) << seconds;
    EXPECT_LE(e->position.clockTime, 1.0) << seconds;
  }
}

TEST(Timing, ClocksAfterTheMoveAndANewPeriod) {
  Engine* e = clockState(40, 1000, 900, 38);
  e->position.baseTime = 30000;
  e->position.increment = 50;
  computeTimeBudget(e);
  e->tc.startTime = clockMicroseconds();
  updateClocks(e);
  EXPECT_NEAR(e->position.clockTime, 1050, 1);
  EXPECT_NEAR(e->position.opponentTime, e->position.clockTime - e->tc.timeBudget / 10000, 1e-6);
  startNewPeriodIfDue(e, 2);
  EXPECT_NEAR(e->position.clockTime, 1050, 1);
  startNewPeriodIfDue(e, 1);
  EXPECT_NEAR(e->position.clockTime, 31050, 1);
}

// Clock words that are no sensible clock (huge, infinite, not a number) are cut to a year
// or read as 0: the budget and the node counts worked out from them stay countable (an
// overflowing conversion would be undefined; the sanitizer build catches it).
TEST(Timing, ClockWordsBeyondAnyClockAreBounded) {
  EXPECT_EQ(boundedClock(43e86), MAX_CLOCK_CENTISECONDS);
  EXPECT_EQ(boundedClock(-1e300), -MAX_CLOCK_CENTISECONDS);
  EXPECT_EQ(boundedClock(std::numeric_limits<double>::infinity()), MAX_CLOCK_CENTISECONDS);
  EXPECT_EQ(boundedClock(std::nan("")), 0);
  EXPECT_EQ(boundedClock(30000), 30000);

  for (const char* clock : {"43E086", "inf", "nan", "1e308"}) {
    Engine* e = clockState(40, 30000, 30000, 0);
    char words[WORD_COUNT][WORD_SIZE] = {};
    std::snprintf(words[0], WORD_SIZE, "time");
    std::snprintf(words[1], WORD_SIZE, "%s", clock);
    interpretCommand(words, e);
    std::snprintf(words[0], WORD_SIZE, "otim");
    interpretCommand(words, e);
    computeTimeBudget(e);
    announce(e);
    EXPECT_TRUE(std::isfinite(e->tc.timeBudget)) << clock;
    EXPECT_LT(e->tc.nextClockCheck, uint64_t(1) << 62) << clock;

    std::snprintf(words[0], WORD_SIZE, "level");
    std::snprintf(words[1], WORD_SIZE, "0");
    std::snprintf(words[2], WORD_SIZE, "%s", clock);
    std::snprintf(words[3], WORD_SIZE, "%s", clock);
    interpretCommand(words, e);
    EXPECT_TRUE(std::isfinite(e->position.baseTime) && std::isfinite(e->position.increment));
    std::snprintf(words[0], WORD_SIZE, "st");
    interpretCommand(words, e);
    computeTimeBudget(e);
    announce(e);
    EXPECT_TRUE(std::isfinite(e->tc.timeBudget)) << clock;
  }
}

// xboard sends a loaded or edited position after st or level: the set-up restarts the
// clocks of the game but keeps the control.
TEST(Timing, SetUpPositionsKeepTheTimeControl) {
  auto command = [](Engine* e, const std::string& line) {
    char words[WORD_COUNT][WORD_SIZE];
    splitConfigLine(line.c_str(), words);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    interpretCommand(words, e);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
  };
  const std::vector<std::vector<std::string>> setUps = {
      {"setboard 4k3/8/8/8/8/8/8/R3K3 w Q - 0 1"},
      {"edit", "#", "Ke1", "Ra1", "c", "Ke8", "."},  // the edit ends in a setboard
  };
  for (const auto& setUp : setUps) {
    Engine* e = clockState(40, 30000, 30000, 0);
    command(e, "st 1");
    for (const std::string& line : setUp) command(e, line);
    computeTimeBudget(e);
    EXPECT_DOUBLE_EQ(e->tc.timeBudget, 950000) << setUp[0];
    EXPECT_DOUBLE_EQ(e->position.clockTime, 100) << setUp[0];

    e = clockState(40, 30000, 30000, 0);
    command(e, "level 40 1 2");
    command(e, "time 123");
    for (const std::string& line : setUp) command(e, line);
    EXPECT_EQ(e->position.movesPerControl, 40u) << setUp[0];
    EXPECT_DOUBLE_EQ(e->position.baseTime, 6000) << setUp[0];
    EXPECT_DOUBLE_EQ(e->position.clockTime, 6000) << setUp[0];
    EXPECT_DOUBLE_EQ(e->position.increment, 200) << setUp[0];
  }
}
