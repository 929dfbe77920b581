// The time a move may take and the clock the search reads.
#pragma once

#include <cstdint>

struct TimeControl {
  double timeBudget;  // microseconds allotted to this move
  double startTime;   // clock reading when the move's thinking began, microseconds
  uint64_t nodeBudget;      // nodes between clock checks
  uint64_t nextClockCheck;  // combined node count at which the clock is read next
  double budgetCeiling;     // what the clock can pay for this move, whatever stretches it
  bool fixedTime;           // st: the budget is the move's own time, to be used in full
  // Set while the interface may speak during a search (UCI, protocol 2, analysis): called
  // at each clock check, at least every pollInterval nodes; true stops the search.
  bool (*pollInput)();
  uint64_t pollInterval;
  uint64_t nodeLimit;  // stop once the search has counted this many nodes; 0: no limit
};

// Once this share of the budget is spent (timeShort), the clock is read this many times
// as often.
constexpr double TIME_SHORT_SHARE = 0.9;
constexpr uint64_t SHORT_TIME_CHECK_FACTOR = 10;

// Raises the budget by extra microseconds, never beyond what the clock can pay.
inline void stretchBudget(TimeControl* tc, double extra) {
  tc->timeBudget += extra;
  if (tc->timeBudget > tc->budgetCeiling) tc->timeBudget = tc->budgetCeiling;
}

// Milliseconds since the process started (monotonic).
uint64_t processClockMs();

// The same clock in microseconds, as the time management counts.
inline double clockMicroseconds() { return double(processClockMs()) * 1000.0; }
