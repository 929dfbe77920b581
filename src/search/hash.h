// The transposition tables: one per side to move (the hash key has no side component),
// buckets of two slots: A keeps the deepest result, B the one A displaced.
#pragma once

#include <cstdint>

#include "board/types.h"

struct HashEntry {
  uint64_t keyA;
  uint64_t dataA;
  uint64_t keyB;
  uint64_t dataB;
};

// The pair of tables, indexed by the side to move: table[WHITE] (1) serves positions
// with White to move, table[BLACK] (0) those with Black to move.
struct HashTables {
  HashEntry* table[2];
};

// Bound types of a stored score.
enum HashFlag : int { HASH_EXACT = 1, HASH_UPPER = 2, HASH_LOWER = 4 };

// Scores are stored mate-adjusted (distance from the node, not from the root).
void hashStore(int side, int ply, int depth, int score, int fromSquare, int toSquare,
               int mateThreat, int hashFlag, const UndoRecord* record, HashTables* tables,
               const Position* position);

// 1 when a slot with the key and at least the depth was found (score, flag and threat
// then valid), else 0. fromSquare/toSquare (set to 0 by the caller) come back filled
// whenever the key was found, whatever the depth.
int hashProbe(int side, int ply, int depth, int* score, int* fromSquare, int* toSquare,
              int* mateThreat, int* hashFlag, const UndoRecord* record,
              const HashTables* tables, const Position* position);

// Starts loading the bucket of a position that will be probed soon.
inline void hashPrefetch(int side, const UndoRecord* record, const HashTables* tables,
                         const Position* position) {
  __builtin_prefetch(&tables->table[side][uint32_t(record->hashKey) & position->hashMask]);
}

// Sets both tables to zero.
void hashClear(HashTables* tables, const Position* position);

// The packed data word of a slot.
constexpr int HASH_SCORE_BIAS = 32768;
constexpr int HASH_MAX_DEPTH = 255;
constexpr uint64_t packHashData(int score, int depth, int fromSquare, int toSquare,
                                int mateThreat, int hashFlag) {
  return uint64_t(uint16_t(score + HASH_SCORE_BIAS)) | uint64_t(depth & 0xFF) << 16 |
         uint64_t(fromSquare & 63) << 24 | uint64_t(toSquare & 63) << 30 |
         uint64_t(mateThreat & 1) << 36 | uint64_t(hashFlag & 7) << 37;
}
constexpr int hashDataScore(uint64_t d) { return int(d & 0xFFFF) - HASH_SCORE_BIAS; }
constexpr int hashDataDepth(uint64_t d) { return int((d >> 16) & 0xFF); }
constexpr int hashDataFrom(uint64_t d) { return int((d >> 24) & 63); }
constexpr int hashDataTo(uint64_t d) { return int((d >> 30) & 63); }
constexpr int hashDataMateThreat(uint64_t d) { return int((d >> 36) & 1); }
constexpr int hashDataFlag(uint64_t d) { return int((d >> 37) & 7); }
