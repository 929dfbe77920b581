// The engine's large tables: the transposition tables and the tablebase cache, allocated
// at start-up and again when an interface changes their size while the engine runs.
#pragma once

#include "driver/engine.h"

// Allocates the transposition tables of hashMask + 1 entries each; ends the process when
// the memory is not there.
void allocateHashTables(Engine* engine);

// Replaces the tables by empty ones of hashsize's size for megabytes; false, keeping the
// old tables, when that memory is not there or megabytes is below one.
bool resizeHashTables(Engine* engine, long megabytes);

// The megabytes the tables take, as hashsize counts them.
long hashMegabytes(const Engine* engine);

// Registers the tablebases of egtbDirectory into a cache of egtbCacheBytes and sets
// tablebaseReach; without a cache nothing is probed. Prints what it did unless quiet.
void setUpTablebases(Engine* engine, bool quiet);
