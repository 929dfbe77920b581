// Tablebase speed figures: index functions, probes that hit the cache, block decoding and
// cache misses on plain and compressed files. Builds a synthetic krkn table shaped like a
// real one (values follow the king distances), so no generated files are needed.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "tablebase/compress.h"
#include "tablebase/decode.h"
#include "tablebase/tablebase.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

uint64_t rngState = 88172645463325252ull;
uint64_t next() {
  rngState ^= rngState << 13;
  rngState ^= rngState >> 7;
  rngState ^= rngState << 17;
  return rngState;
}

int distance(int a, int b) {
  return std::max(std::abs((a & 7) - (b & 7)), std::abs((a >> 3) - (b >> 3)));
}

// Values that vary with the position the way table values do: mostly short mates for
// the stronger side, longer near the centre, draws where the men collide.
std::vector<uint8_t> syntheticTable(int ending, int side) {
  const uint32_t n = tbEndings[size_t(ending)].entries[side];
  std::vector<uint8_t> v(n);
  int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep;
  for (uint32_t i = 0; i < n; ++i) {
    if (!tbDecodeEntry(ending, side, i, first, second, &ep)) {
      v[i] = 0;
      continue;
    }
    const int weak = second[PS_KING], strong = first[PS_KING];
    const int centre = std::min(distance(weak, 27), distance(weak, 36));
    const int moves = 4 + 3 * (3 - centre) + distance(weak, strong) + (distance(first[PS_ROOK], second[PS_KNIGHT]) < 2 ? 6 : 0);
    v[i] = uint8_t(side == 0 ? 127 - moves : -(128 - moves));
    if (distance(second[PS_KNIGHT], strong) == 1 && (i & 3) == 0) v[i] = 0;
  }
  return v;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

struct Probe {
  Position position{};
  UndoRecord record{};
};

}  // namespace

int main() {
  static BoardTables tables;
  initTables(&tables);
  tbInitIndexTables();

  char pattern[] = "/tmp/vorlak_tb_bench_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string plainDir = dir + "/plain", packedDir = dir + "/packed";
  mkdir(plainDir.c_str(), 0755);
  mkdir(packedDir.c_str(), 0755);
  const int krkn = tbFindEnding("krkn");

  // Tables and their compressed forms.
  double packSeconds = 0;
  uint64_t plainBytes = 0, packedBytes = 0;
  for (int side = 0; side < 2; ++side) {
    const std::vector<uint8_t> table = syntheticTable(krkn, side);
    const std::string name = std::string("krkn.") + (side ? "nbb" : "nbw");
    writeFile(plainDir + "/" + name, table);
    const auto t = Clock::now();
    tb::CompressStats stats;
    std::string error;
    if (!tb::compressFile((plainDir + "/" + name).c_str(), (packedDir + "/" + name + ".emd").c_str(), &stats, &error)) {
      std::fprintf(stderr, "compress: %s\n", error.c_str());
      return 1;
    }
    packSeconds += secondsSince(t);
    plainBytes += stats.plainBytes;
    packedBytes += stats.packedBytes;
  }
  std::printf("compression: %llu -> %llu bytes (%.1f%%), %.1f MB/s\n",
              static_cast<unsigned long long>(plainBytes), static_cast<unsigned long long>(packedBytes),
              100.0 * double(packedBytes) / double(plainBytes), double(plainBytes) / 1e6 / packSeconds);

  // Random legal-looking positions (first side White: king, rook; Black: king, knight).
  constexpr int POSITIONS = 4096;
  std::vector<Probe> probes(POSITIONS);
  std::vector<std::array<int, 32>> lists(POSITIONS);
  for (int n = 0; n < POSITIONS; ++n) {
    int board[64];
    int wk, wr, bk, bn;
    do {
      wk = int(next() % 64), wr = int(next() % 64), bk = int(next() % 64), bn = int(next() % 64);
    } while (wk == wr || wk == bk || wk == bn || wr == bk || wr == bn || bk == bn || distance(wk, bk) < 2);
    std::fill(board, board + 64, 0);
    board[wk] = WHITE_KING, board[wr] = WHITE_ROOK, board[bk] = BLACK_KING, board[bn] = BLACK_KNIGHT;
    rebuildPosition(board, &probes[size_t(n)].position, &probes[size_t(n)].record, &tables);
    auto& l = lists[size_t(n)];
    std::fill(l.begin(), l.end(), 64);
    l[PS_KING] = wk, l[PS_ROOK] = wr, l[16 + PS_KING] = bk, l[16 + PS_KNIGHT] = bn;
  }

  // Index functions alone.
  {
    const auto t = Clock::now();
    uint64_t sum = 0;
    constexpr int ROUNDS = 500;
    for (int r = 0; r < ROUNDS; ++r)
      for (int n = 0; n < POSITIONS; ++n)
        sum += tbEndings[size_t(krkn)].indexFunction[n & 1](lists[size_t(n)].data(), lists[size_t(n)].data() + 16, TB_NO_EN_PASSANT, 0);
    std::printf("index function: %.1f ns per call (checksum %llu)\n", secondsSince(t) * 1e9 / (ROUNDS * POSITIONS),
                static_cast<unsigned long long>(sum % 1000));
  }

  for (const std::string& which : {plainDir, packedDir}) {
    const bool packed = which == packedDir;
    tbInit(which.c_str());
    // Cache that holds both files entirely: after one pass every probe hits.
    const uint64_t bigCache = 420ull * TB_CACHE_BLOCK_BYTES;
    std::unique_ptr<uint8_t[]> cache(new uint8_t[bigCache]);
    tbSetCache(cache.get(), bigCache);
    int score = 0, found = 0;
    for (int n = 0; n < POSITIONS; ++n) found += tbProbe(n & 1, &score, &probes[size_t(n)].position, &probes[size_t(n)].record);
    constexpr int ROUNDS = 300;
    auto t = Clock::now();
    for (int r = 0; r < ROUNDS; ++r)
      for (int n = 0; n < POSITIONS; ++n) found += tbProbe(n & 1, &score, &probes[size_t(n)].position, &probes[size_t(n)].record);
    std::printf("%s: probe hitting the cache, 4096 positions over 400 blocks: %.1f ns (%d found)\n",
                packed ? "compressed" : "plain", secondsSince(t) * 1e9 / (ROUNDS * POSITIONS), found);
    // A search probes the same few positions again and again: a small hot set.
    t = Clock::now();
    for (int r = 0; r < ROUNDS * 64; ++r)
      for (int n = 0; n < 64; ++n) found += tbProbe(n & 1, &score, &probes[size_t(n)].position, &probes[size_t(n)].record);
    std::printf("%s: probe hitting the cache, 64 positions: %.1f ns\n", packed ? "compressed" : "plain",
                secondsSince(t) * 1e9 / (ROUNDS * 64 * 64));

    // One-block cache, alternating far-apart entries: every read is a miss.
    tbSetCache(cache.get(), TB_CACHE_BLOCK_BYTES);
    constexpr int MISSES = 20000;
    const uint32_t blocks = tbEndings[size_t(krkn)].entries[0] / 8192;
    t = Clock::now();
    int sum = 0;
    for (int n = 0; n < MISSES; ++n) sum += tbValue(krkn, 0, uint32_t((uint32_t(n) * 7919u % blocks) * 8192u + 17));
    std::printf("%s: cache miss (read%s one 8 KB block): %.2f us (checksum %d)\n", packed ? "compressed" : "plain",
                packed ? " and decode" : "", secondsSince(t) * 1e6 / MISSES, sum % 1000);
  }

  // Decoding alone, from memory.
  {
    std::FILE* f = std::fopen((packedDir + "/krkn.nbw.emd").c_str(), "rb");
    tb::CompressedTable* table = nullptr;
    if (!f || tb::openCompressed(f, &table) != 0) return 1;
    std::vector<std::vector<uint8_t>> blocks(table->blocks);
    for (uint32_t b = 0; b < table->blocks; ++b) {
      const uint64_t n = table->offsets[b + 1] - table->offsets[b];
      blocks[b].resize(n);
      fseeko(f, off_t(table->offsets[b]), SEEK_SET);
      if (std::fread(blocks[b].data(), 1, n, f) != n) return 1;
    }
    std::vector<uint8_t> out(8192 + TB_BLOCK_SPARE);
    constexpr int ROUNDS = 20;
    const auto t = Clock::now();
    int errors = 0;
    for (int r = 0; r < ROUNDS; ++r)
      for (uint32_t b = 0; b < table->blocks; ++b) {
        const uint32_t plain = b + 1 == table->blocks ? table->lastBlockSize : table->blockSize;
        errors += tb::decodeBlockBytes(table, blocks[b].data(), uint32_t(blocks[b].size()), out.data(), plain) != 0;
      }
    std::printf("decoding one 8 KB block in memory: %.2f us (%u blocks, %d errors)\n",
                secondsSince(t) * 1e6 / (ROUNDS * table->blocks), table->blocks, errors);
    tb::freeCompressed(table);
    std::fclose(f);
  }
  tbSetCache(nullptr, 0);
  tbInit(nullptr);
  std::string cmd = "rm -rf " + dir;
  return std::system(cmd.c_str()) == 0 ? 0 : 1;
}
