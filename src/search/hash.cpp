#include "search/hash.h"

#include <algorithm>
#include <cstring>

namespace {

inline HashEntry* bucketOf(int side, const UndoRecord* record, const HashTables* tables,
                           const Position* p) {
  return &tables->table[side][uint32_t(record->hashKey) & p->hashMask];
}

}  // namespace

void hashStore(int side, int ply, int depth, int score, int fromSquare, int toSquare,
               int mateThreat, int hashFlag, const UndoRecord* record, HashTables* tables,
               const Position* p) {
  HashEntry* e = bucketOf(side, record, tables, p);
  depth = std::clamp(depth, 0, HASH_MAX_DEPTH);
  // A shallower result never replaces a deeper one, not even in slot B.
  if (depth < hashDataDepth(e->dataA)) return;
  if (hashDataDepth(e->dataB) < hashDataDepth(e->dataA)) {
    e->keyB = e->keyA;
    e->dataB = e->dataA;
  }
  if (score > MATE_THRESHOLD)
    score += ply;
  else if (score < -MATE_THRESHOLD)
    score -= ply;
  e->keyA = record->hashKey;
  e->dataA = packHashData(score, depth, fromSquare, toSquare, mateThreat, hashFlag);
}

int hashProbe(int side, int ply, int depth, int* score, int* fromSquare, int* toSquare,
              int* mateThreat, int* hashFlag, const UndoRecord* record,
              const HashTables* tables, const Position* p) {
  const HashEntry* e = bucketOf(side, record, tables, p);
  const uint64_t key = record->hashKey;
  const uint64_t* found = nullptr;
  if (e->keyA == key) {
    *fromSquare = hashDataFrom(e->dataA);
    *toSquare = hashDataTo(e->dataA);
    *hashFlag = hashDataFlag(e->dataA);
    if (hashDataDepth(e->dataA) >= depth) found = &e->dataA;
  }
  if (!found && e->keyB == key) {
    if (*fromSquare == 0 && *toSquare == 0) {
      *fromSquare = hashDataFrom(e->dataB);
      *toSquare = hashDataTo(e->dataB);
    }
    *hashFlag = hashDataFlag(e->dataB);
    if (hashDataDepth(e->dataB) >= depth) found = &e->dataB;
  }
  if (!found) return 0;
  *mateThreat = hashDataMateThreat(*found);
  int s = hashDataScore(*found);
  if (s > MATE_THRESHOLD)
    s -= ply;
  else if (s < -MATE_THRESHOLD)
    s += ply;
  *score = s;
  return 1;
}

void hashClear(HashTables* tables, const Position* position) {
  const size_t bytes = (size_t(position->hashMask) + 1) * sizeof(HashEntry);
  for (HashEntry* t : tables->table)
    if (t) std::memset(static_cast<void*>(t), 0, bytes);
}
