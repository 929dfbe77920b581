#include "search/hash.h"

#include <cstring>

void hashClear(HashTables* tables, const Position* position) {
  const size_t bytes = (size_t(position->hashMask) + 1) * sizeof(HashEntry);
  for (HashEntry* t : tables->table)
    if (t) std::memset(static_cast<void*>(t), 0, bytes);
}
