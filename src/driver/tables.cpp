#include "driver/tables.h"

#include <cstdio>
#include <cstdlib>

#include "driver/commands.h"
#include "tablebase/tablebase.h"

namespace {
constexpr int HASH_ENTRY_BUDGET_BYTES = 64;  // what hashsize counts per entry
}  // namespace

void allocateHashTables(Engine* e) {
  const size_t entries = size_t(e->position.hashMask) + 1;
  for (HashEntry*& table : e->hash.table) {
    table = static_cast<HashEntry*>(std::calloc(entries, sizeof(HashEntry)));
    if (!table) {
      std::printf("Can't malloc hash");
      std::fflush(stdout);
      std::exit(0);
    }
  }
  std::printf("hash table size: %d MBytes.\n", int(hashMegabytes(e)));
}

long hashMegabytes(const Engine* e) {
  return long((uint64_t(e->position.hashMask + 1) * HASH_ENTRY_BUDGET_BYTES) >> 20);
}

bool resizeHashTables(Engine* e, long megabytes) {
  const uint32_t mask = hashMaskForMegabytes(megabytes);
  if (!mask) return false;
  if (mask == e->position.hashMask) {
    hashClear(&e->hash, &e->position);
    return true;
  }
  const size_t entries = size_t(mask) + 1;
  HashEntry* fresh[2] = {nullptr, nullptr};
  for (HashEntry*& table : fresh) table = static_cast<HashEntry*>(std::calloc(entries, sizeof(HashEntry)));
  if (!fresh[0] || !fresh[1]) {
    std::free(fresh[0]);
    std::free(fresh[1]);
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    std::free(e->hash.table[i]);
    e->hash.table[i] = fresh[i];
  }
  e->position.hashMask = mask;
  hashClear(&e->hash, &e->position);
  return true;
}

void setUpTablebases(Engine* e, bool quiet) {
  Position* p = &e->position;
  const uint64_t bytes = p->egtbCacheBytes;
  // The old cache is freed only once the new one is in place: until then it is in use.
  void* oldCache = e->tablebaseCache;
  e->tablebaseCache = std::malloc(bytes ? bytes : 1);
  if (e->tablebaseCache) {
    p->tablebaseReach = uint32_t(tbInit(p->egtbDirectory));
    const int cacheSet = tbSetCache(e->tablebaseCache, bytes);
    std::free(oldCache);
    if (cacheSet) {
      if (!quiet) {
        std::printf("EGTB cache memory: %uM bytes.\n", unsigned(bytes >> 20));
        std::printf("EGTB directory: %s\n", p->egtbDirectory);
      }
      return;
    }
  }
  if (!e->tablebaseCache) e->tablebaseCache = oldCache;  // still registered: keep it
  p->tablebaseReach = 0;  // the search must not probe without a cache
  if (!quiet) std::printf("ERROR in initializing EGTB\n");
}
