#include "fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "driver/game.h"
#include "tablebase/generator/generate.h"
#include "tablebase/generator/tablefile.h"
#include "tablebase/tablebase.h"

namespace fuzz {

namespace {

constexpr uint32_t FUZZ_HASH_MASK = (1u << 12) - 1;  // 4096 entries per table
constexpr uint64_t FUZZ_TB_CACHE = 4 * uint64_t(TB_CACHE_BLOCK_BYTES);

std::string scratch;

void removeScratch() {
  std::error_code ignored;
  if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

const std::string& startInScratchDirectory() {
  if (!scratch.empty()) return scratch;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorlak-fuzz-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data()) || chdir(name.data()) != 0) {
    std::perror("vorlak fuzz: scratch directory");
    std::abort();
  }
  scratch = name.data();
  std::atexit(removeScratch);
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  return scratch;
}

std::FILE* openBytes(const uint8_t* data, size_t size) {
  // fmemopen refuses a zero size; one byte past the end is never read.
  static const char empty[1] = {0};
  std::FILE* f = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb")
                      : fmemopen(const_cast<char*>(empty), 1, "rb");
  if (!f) std::abort();
  if (!size) std::fgetc(f);
  return f;
}

void writeFile(const char* name, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
}

int setUpSmallTablebases() {
  static int reach = -1;
  if (reach >= 0) return reach;
  startInScratchDirectory();
  std::filesystem::create_directory("tb");
  tbgen::TableSet done;
  for (const char* name : {"knk", "kbk", "krk", "kqk", "kpk"}) {
    tbgen::GenStats stats;
    std::vector<tbgen::FileStats> files;
    std::string error;
    if (!tbgen::generate(name, done, 1, &stats, &error) ||
        !tbgen::writeTable(*done[name], "tb", true, &files, &error)) {
      std::fprintf(stderr, "vorlak fuzz: %s: %s\n", name, error.c_str());
      std::abort();
    }
  }
  reach = tbInit("tb");
  static std::vector<uint8_t> cache(FUZZ_TB_CACHE);
  if (!tbSetCache(cache.data(), cache.size())) std::abort();
  return reach;
}

Engine* startEngine() {
  startInScratchDirectory();
  static Engine engine;
  Engine* e = &engine;
  if (!e->hash.table[0]) {
    for (HashEntry*& table : e->hash.table)
      table = static_cast<HashEntry*>(std::calloc(FUZZ_HASH_MASK + 1, sizeof(HashEntry)));
  }
  resetEngine(e);
  return e;
}

void resetEngine(Engine* e) {
  HashTables hash = e->hash;
  void* cache = e->tablebaseCache;
  const uint32_t reach = e->position.tablebaseReach;
  std::memset(static_cast<void*>(e), 0, sizeof *e);
  e->hash = hash;
  e->tablebaseCache = cache;
  e->position.hashMask = FUZZ_HASH_MASK;
  e->position.tablebaseReach = reach;
  e->speedFactor = 0.9;
  e->extraPercent = 100;
  e->started = true;
  newGame(e);
}

}  // namespace fuzz
