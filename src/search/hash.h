// The transposition tables: one per side to move, buckets of two slots.
#pragma once

#include <cstdint>

#include "board/types.h"

struct HashEntry {
  uint64_t keyA;
  uint64_t dataA;
  uint64_t keyB;
  uint64_t dataB;
};

// The pair of tables, White's first.
struct HashTables {
  HashEntry* table[2];  // [0] White to move, [1] Black to move
};

// Sets both tables to zero.
void hashClear(HashTables* tables, const Position* position);
