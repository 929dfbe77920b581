#include "tablebase/files.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/types.h>

TbFileSlot tbFiles[TB_ENDING_COUNT + 1][2];
int tbCompressedRegistrations = 0;

namespace {

// Descriptor of a cache block; its data area lies after all descriptors.
struct CacheBlock {
  int32_t lruNewer, lruOlder;      // cache-wide order of use
  int32_t bucketNext, bucketPrev;  // chain of the file's bucket; bucketNext links free blocks
  uint32_t block;
  uint16_t ending;
  uint8_t slot;
  uint8_t unused;
  uint16_t length;  // valid bytes (a plain file's last block is short)
  uint8_t spare[6];
};
static_assert(sizeof(CacheBlock) == TB_CACHE_DESCRIPTOR_BYTES);

struct Cache {
  CacheBlock* blocks = nullptr;
  uint8_t* data = nullptr;
  int32_t count = 0;
  int32_t freeHead = -1;
  int32_t newest = -1, oldest = -1;
};

Cache gCache;
uint8_t* gWorkspace = nullptr;  // one compressed block
bool gSlotsReady = false;

constexpr int DATA_AREA = TB_BLOCK_SIZE + TB_BLOCK_SPARE;

void prepareSlots() {
  if (gSlotsReady) return;
  for (auto& ending : tbFiles)
    for (auto& f : ending) {
      f.path = nullptr;
      f.file = nullptr;
      f.compressed = nullptr;
      for (int32_t& b : f.buckets) b = -1;
    }
  gSlotsReady = true;
}

inline uint8_t* dataOf(int32_t i) { return gCache.data + uint64_t(i) * DATA_AREA; }

void lruUnlink(int32_t i) {
  CacheBlock& b = gCache.blocks[i];
  if (b.lruNewer >= 0) gCache.blocks[b.lruNewer].lruOlder = b.lruOlder; else gCache.newest = b.lruOlder;
  if (b.lruOlder >= 0) gCache.blocks[b.lruOlder].lruNewer = b.lruNewer; else gCache.oldest = b.lruNewer;
}

void lruMakeNewest(int32_t i) {
  CacheBlock& b = gCache.blocks[i];
  b.lruNewer = -1;
  b.lruOlder = gCache.newest;
  if (gCache.newest >= 0) gCache.blocks[gCache.newest].lruNewer = i; else gCache.oldest = i;
  gCache.newest = i;
}

void bucketUnlink(int32_t i) {
  CacheBlock& b = gCache.blocks[i];
  int32_t& head = tbFiles[b.ending][b.slot].buckets[b.block & (TB_BUCKETS - 1)];
  if (b.bucketPrev >= 0) gCache.blocks[b.bucketPrev].bucketNext = b.bucketNext; else head = b.bucketNext;
  if (b.bucketNext >= 0) gCache.blocks[b.bucketNext].bucketPrev = b.bucketPrev;
}

void bucketMakeFirst(int32_t i) {
  CacheBlock& b = gCache.blocks[i];
  int32_t& head = tbFiles[b.ending][b.slot].buckets[b.block & (TB_BUCKETS - 1)];
  b.bucketPrev = -1;
  b.bucketNext = head;
  if (head >= 0) gCache.blocks[head].bucketPrev = i;
  head = i;
}

void releaseBlock(int32_t i) {
  gCache.blocks[i].bucketNext = gCache.freeHead;
  gCache.freeHead = i;
}

// All blocks free, all buckets empty.
void emptyCache() {
  for (auto& ending : tbFiles)
    for (auto& f : ending)
      for (int32_t& b : f.buckets) b = -1;
  gCache.newest = gCache.oldest = -1;
  gCache.freeHead = gCache.count ? 0 : -1;
  for (int32_t i = 0; i < gCache.count; ++i) {
    CacheBlock& b = gCache.blocks[i];
    std::memset(&b, 0, sizeof b);
    b.lruNewer = b.lruOlder = b.bucketPrev = -1;
    b.bucketNext = i + 1 < gCache.count ? i + 1 : -1;
  }
}

// A file that failed while probing reports not found until the next registration.
void dropFile(int ending, int slot) {
  TbFileSlot& f = tbFiles[ending][slot];
  if (f.file) std::fclose(f.file);
  f.file = nullptr;
  std::free(f.path);
  f.path = nullptr;
}

[[noreturn]] void fatal() {
  std::fflush(stdout);
  std::exit(1);
}

std::string joinPath(const char* dir, const char* file) {
  std::string path(dir);
  for (char& c : path)
    if (c == '\\') c = '/';
  if (!path.empty() && path.back() != '/') path += '/';
  return path + file;
}

const char* kindText(int error) {
  switch (error & 255) {
    case tb::ERR_READ: return "read error\n";
    case tb::ERR_MEMORY: return "out of memory\n";
    case tb::ERR_BROKEN: return "file broken\n";
    default: return nullptr;
  }
}

}  // namespace

void* tbAlloc(uint64_t bytes) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) {
    std::printf("*** Cannot allocate %llu bytes of memory\n", static_cast<unsigned long long>(bytes));
    fatal();
  }
  return p;
}

void tbCloseAll() {
  prepareSlots();
  for (auto& ending : tbFiles)
    for (auto& f : ending)
      if (f.file) {
        std::fclose(f.file);
        f.file = nullptr;
      }
}

void tbReleaseFiles() {
  prepareSlots();
  tbCloseAll();
  for (auto& ending : tbFiles)
    for (auto& f : ending) {
      std::free(f.path);
      f.path = nullptr;
      tb::freeCompressed(f.compressed);
      f.compressed = nullptr;
    }
  std::free(gWorkspace);
  gWorkspace = nullptr;
  tbCompressedRegistrations = 0;
  // Cached blocks belong to the old registrations, and the buffer may be gone by now:
  // forget it without touching it. Start-up calls tbSetCache after tbInit.
  gCache = Cache{};
  emptyCache();
}

void tbAllocateWorkspace() {
  if (gWorkspace) return;
  gWorkspace = static_cast<uint8_t*>(std::malloc(TB_BLOCK_SIZE));
  if (!gWorkspace) {
    std::printf("*** Cannot allocate decode block: error code %d\n", tb::ERR_MEMORY);
    fatal();
  }
}

int tbRegister(const char* dir, int ending, int slot) {
  prepareSlots();
  TbFileSlot& f = tbFiles[ending][slot];
  if (f.path) return 1;
  const EndingRecord& e = tbEndings[size_t(ending)];
  const std::string base = joinPath(dir, e.name);
  const char* ext = slot ? "nbb" : "nbw";
  const std::string candidates[4] = {base + "." + ext, base + "." + ext + ".emd",
                                     base + "_" + ext + ".emd", base + ext + ".emd"};
  std::FILE* file = nullptr;
  int found = 0;
  for (; found < 4; ++found)
    if ((file = std::fopen(candidates[found].c_str(), "rb")) != nullptr) break;
  if (!file) return 0;
  const char* name = candidates[found].c_str();
  const uint64_t bytesPerEntry = (e.flags & TB_WIDE) ? 2 : 1;
  uint64_t bytes;
  tb::CompressedTable* table = nullptr;
  if (found == 0) {
    if (fseeko(file, 0, SEEK_END) != 0) {
      std::printf("*** Seek in %s failed\n", name);
      fatal();
    }
    bytes = uint64_t(ftello(file));
  } else {
    ++tbCompressedRegistrations;
    const int err = tb::openCompressed(file, &table);
    if (err) {
      std::printf("*** Unable to read %s - ", name);
      if (const char* text = kindText(err))
        std::printf("%s", text);
      else
        std::printf("error %d\n", err);
      fatal();
    }
    if (table->blockSize != TB_BLOCK_SIZE) {
      std::printf("*** %s: Unsupported block size %d\n", name, int(table->blockSize));
      fatal();
    }
    bytes = uint64_t(table->blocks - 1) * table->blockSize + table->lastBlockSize;
  }
  if (bytes != e.entries[slot] * bytesPerEntry) {
    std::printf("*** %s corrupted\n", name);
    fatal();
  }
  std::fclose(file);
  if (!tbRegistryAdd(ending)) {
    std::printf("*** Unable to register %s\n", name);
    fatal();
  }
  const size_t length = candidates[found].size() + 1;
  f.path = static_cast<char*>(tbAlloc(length));
  std::memcpy(f.path, name, length);
  f.file = nullptr;
  f.compressed = table;
  for (int32_t& b : f.buckets) b = -1;
  return 1;
}

int tbCacheSetup(void* buffer, uint64_t bytes) {
  prepareSlots();
  tbCloseAll();
  gCache = Cache{};
  emptyCache();
  if (bytes < 32 || !buffer) return 0;
  // Descriptors hold 32-bit fields: start them on a 4-byte boundary.
  const uintptr_t address = reinterpret_cast<uintptr_t>(buffer);
  const uint64_t skip = (alignof(CacheBlock) - address % alignof(CacheBlock)) % alignof(CacheBlock);
  uint64_t n = bytes / TB_CACHE_BLOCK_BYTES;
  if (n && skip + n * TB_CACHE_BLOCK_BYTES > bytes) --n;
  if (n > INT32_MAX) n = INT32_MAX;
  gCache.blocks = reinterpret_cast<CacheBlock*>(static_cast<uint8_t*>(buffer) + skip);
  gCache.data = reinterpret_cast<uint8_t*>(gCache.blocks + n);
  gCache.count = int32_t(n);
  emptyCache();
  return 1;
}

int tbCacheBlockCount() { return gCache.count; }

int tbCacheByte(int ending, int slot, uint32_t block, int offset) {
  TbFileSlot& f = tbFiles[ending][slot];
  if (gCache.count == 0 || !f.path) return TB_UNKNOWN;
  int32_t& head = f.buckets[block & (TB_BUCKETS - 1)];
  for (int32_t i = head; i >= 0; i = gCache.blocks[i].bucketNext) {
    CacheBlock& b = gCache.blocks[i];
    if (b.block != block) continue;
    if (gCache.newest != i) {
      lruUnlink(i);
      lruMakeNewest(i);
    }
    if (head != i) {
      bucketUnlink(i);
      bucketMakeFirst(i);
    }
    return offset < b.length ? int(int8_t(dataOf(i)[offset])) : TB_UNKNOWN;
  }

  int32_t i = gCache.freeHead;
  if (i >= 0) {
    gCache.freeHead = gCache.blocks[i].bucketNext;
  } else {
    i = gCache.oldest;
    lruUnlink(i);
    bucketUnlink(i);
  }
  if (!f.file) {
    f.file = std::fopen(f.path, "rb");
    if (!f.file) {  // perhaps out of handles: close them all and try once more
      tbCloseAll();
      f.file = std::fopen(f.path, "rb");
    }
    if (!f.file) {
      dropFile(ending, slot);
      releaseBlock(i);
      return TB_UNKNOWN;
    }
  }
  uint8_t* data = dataOf(i);
  uint32_t length;
  bool ok;
  if (f.compressed) {
    ok = gWorkspace && tb::decodeBlock(f.compressed, f.file, block, data, gWorkspace, TB_BLOCK_SIZE) == 0;
    length = block + 1 == f.compressed->blocks ? f.compressed->lastBlockSize : TB_BLOCK_SIZE;
  } else {
    ok = fseeko(f.file, off_t(block) * TB_BLOCK_SIZE, SEEK_SET) == 0;
    const size_t n = ok ? std::fread(data, 1, TB_BLOCK_SIZE, f.file) : 0;
    ok = ok && n > 0 && !std::ferror(f.file);
    length = uint32_t(n);
  }
  if (!ok) {
    dropFile(ending, slot);
    releaseBlock(i);
    return TB_UNKNOWN;
  }
  CacheBlock& b = gCache.blocks[i];
  b.ending = uint16_t(ending);
  b.slot = uint8_t(slot);
  b.block = block;
  b.length = uint16_t(length);
  lruMakeNewest(i);
  bucketMakeFirst(i);
  return offset < b.length ? int(int8_t(data[offset])) : TB_UNKNOWN;
}
