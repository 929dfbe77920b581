// Time management: the budget of the engine's move and the clocks after it.
#pragma once

#include "driver/engine.h"

// The budget at the start of the engine's turn (before any line is printed): movesToGo,
// timeBudget, reserve, the little-time rule and the ceiling the clock can pay.
void computeTimeBudget(Engine* engine);

// Prints the budget line and sets the first clock check.
void announceTimeBudget(Engine* engine);

// After a move out of book: more time for the first moves of the middlegame.
void addOutOfBookTime(Engine* engine);

// Dangerous positions get more time and no fast iterations.
void applyDangerFactor(Engine* engine, bool inCheck);

// A move far better than every other one needs less time.
void easyMoveTest(Engine* engine, int side, int rootMoveCount);

// After the engine's move: its clock and the estimate of the opponent's.
void updateClocks(Engine* engine);

// When the move just played ended a period, both clocks gain a new period's time.
void startNewPeriodIfDue(Engine* engine, uint32_t movesToGoBeforeMove);
