// The command interpreter: one command line, already split into words.
#pragma once

#include "driver/engine.h"
#include "driver/input.h"

// Carries out the command and returns the next engine state: RESTING or SEARCHING.
// quit and exit end the process.
uint32_t interpretCommand(char words[WORD_COUNT][WORD_SIZE], Engine* engine);

// hashMask for a hashsize argument in megabytes (0 when the argument is below 1).
uint32_t hashMaskForMegabytes(long megabytes);

// Clock values from the interface (time, otim, level, st) are cut to a year either way, and
// a value that is not a number reads as 0, so that every time and node count worked out
// from them stays finite and countable.
constexpr double MAX_CLOCK_CENTISECONDS = 365.0 * 24 * 3600 * 100;
double boundedClock(double centiseconds);

// Clock base of level: minutes, or minutes:seconds.
double parseLevelBase(const char* text);
