#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "tablebase/compress.h"
#include "tablebase/tablebase.h"
#include "tb_test_util.h"

using namespace tbtest;

namespace {

const BoardTables& boardTables() {
  static BoardTables* tables = [] {
    auto* t = new BoardTables{};
    initBitScanTables();
    initBoardTables(t);
    initSlidingAttacks();
    initHashKeys(t);
    return t;
  }();
  return *tables;
}

// The position of two lists; whiteFirst: the first list is White's.
struct Board {
  Position position{};
  UndoRecord record{};
  Board(const int* first, const int* second, int ending, bool whiteFirst, int ep = TB_NO_EN_PASSANT) {
    SideMen men[2];
    endingMen(ending, men);
    int board[64] = {};
    const int* lists[2] = {first, second};
    for (int c = 0; c < 2; ++c) {
      const int base = (c == 0) == whiteFirst ? 0 : 6;
      board[lists[c][PS_KING]] = WHITE_KING + base;
      for (int kind = 0; kind < 5; ++kind)
        for (int i = 0; i < men[c].count[kind]; ++i) board[lists[c][3 * kind + i]] = WHITE_PAWN + kind + base;
    }
    record.enPassant = ep == TB_NO_EN_PASSANT ? 0 : squareMask[ep];
    rebuildPosition(board, &position, &record, &boardTables());
  }
  int probe(int side, int* score) const { return tbProbe(side, score, &position, &record); }
};

// The colour-reversed image: ranks reversed, the first side Black.
void reversed(const int* in, int* out, int ending, int c) {
  SideMen men[2];
  endingMen(ending, men);
  transformList(in, out, 2, men[c]);
}

int8_t sampleByte(uint64_t entry) {  // a fixed pattern with every byte value
  return int8_t(uint8_t((entry * 2654435761u) >> 13));
}

int scoreOfByte(int8_t b, bool* found) {
  int v = b == 0 ? 0 : b == 127 ? 32767 : b == -128 ? 32640 : b == -127 ? -32640 : b > 0 ? 32640 + b : b - 32640;
  *found = v != 32767;
  return v > 0 ? 2 * v - 35534 : v < 0 ? 2 * v + 35532 : 0;
}

std::vector<uint8_t> plainFile(int ending, int slot) {
  std::vector<uint8_t> v(tbEndings[size_t(ending)].entries[slot]);
  for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(sampleByte(i));
  return v;
}

std::string fileName(int ending, int slot) {
  char name[32];
  tbPlainFileName(ending, slot, name, sizeof name);
  return name;
}

void writePlain(const std::string& dir, const char* ending) {
  const int e = tbFindEnding(ending);
  for (int slot = 0; slot < ((tbEndings[size_t(e)].flags & TB_SYMMETRIC) ? 1 : 2); ++slot)
    writeFile(dir + "/" + fileName(e, slot), plainFile(e, slot));
}

// A sparse file of the right length for a large ending: zero except where written.
void writeSparse(const std::string& path, uint64_t bytes) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t(bytes)), 0);
  ::close(fd);
}

void pokeByte(const std::string& path, uint64_t offset, uint8_t value) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, &value, 1, off_t(offset)), 1);
  ::close(fd);
}

class TbProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    boardTables();
    dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    cache.reset(new uint8_t[cacheBytes]);
  }
  void TearDown() override {
    tbSetCache(nullptr, 0);  // the cache buffer goes with the fixture
    tbInit(nullptr);         // forget the files before they go
    removeTree(dir);
  }
  void useCache(uint64_t bytes) {
    if (bytes > cacheBytes) {
      tbSetCache(nullptr, 0);
      cacheBytes = bytes;
      cache.reset(new uint8_t[bytes]);
    }
    ASSERT_EQ(tbSetCache(cache.get(), bytes), 1);
  }
  std::string dir;
  uint64_t cacheBytes = 64 * TB_CACHE_BLOCK_BYTES;
  std::unique_ptr<uint8_t[]> cache;
};

// Probes random legal positions of an ending with both sides to move and both colour
// assignments; returns the results for comparisons between file sets.
std::vector<int> probeSample(int ending, int count, uint64_t seed) {
  Rng rng(seed);
  std::vector<int> results;
  const bool symmetric = tbEndings[size_t(ending)].flags & TB_SYMMETRIC;
  for (int n = 0; n < count; ++n) {
    const int tbSide = n % 2;
    int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE];
    randomLegal(ending, tbSide, rng, first, second);
    const Board b(first, second, ending, true);
    int score = 0;
    const int found = b.probe(tbSide == 0 ? WHITE : BLACK, &score);
    // Expected: the pattern byte of the entry (a symmetric ending reads its one file).
    const uint32_t entry = symmetric && tbSide == 1
                               ? tbEndings[size_t(ending)].indexFunction[0](second, first, TB_NO_EN_PASSANT, 1)
                               : tbEndings[size_t(ending)].indexFunction[tbSide](first, second, TB_NO_EN_PASSANT, 0);
    bool expectFound;
    const int expected = scoreOfByte(sampleByte(entry), &expectFound);
    EXPECT_EQ(found, expectFound ? 1 : 0) << tbEndings[size_t(ending)].name;
    if (found) {
      EXPECT_EQ(score, expected) << tbEndings[size_t(ending)].name;
    }
    // The same position with colours reversed gives the same answer.
    int rf[PIECE_SQUARES_SIZE], rs[PIECE_SQUARES_SIZE];
    reversed(first, rf, ending, 0);
    reversed(second, rs, ending, 1);
    const Board r(rf, rs, ending, false);
    int rscore = 0;
    EXPECT_EQ(r.probe(tbSide == 0 ? BLACK : WHITE, &rscore), found) << tbEndings[size_t(ending)].name;
    if (found) {
      EXPECT_EQ(rscore, score);
    }
    results.push_back(found ? score : 99999);
  }
  return results;
}

}  // namespace

TEST_F(TbProbe, PlainFilesAnswerBothSidesAndColours) {
  writePlain(dir, "kpk");
  writePlain(dir, "kqk");
  writePlain(dir, "kqkq");
  writePlain(dir, "krkp");
  EXPECT_EQ(tbInit(dir.c_str()), 4);
  useCache(64 * TB_CACHE_BLOCK_BYTES);
  for (const char* name : {"kpk", "kqk", "kqkq", "krkp"}) probeSample(tbFindEnding(name), 400, 1);

  // Material lookups: first-named material as White is positive, as Black negative.
  int counts[MATERIAL_COUNTS_SIZE] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(tbLookupMaterial(counts), 5);
  std::swap(counts[4], counts[9]);
  EXPECT_EQ(tbLookupMaterial(counts), -5);
  counts[4] = 1;
  EXPECT_EQ(tbLookupMaterial(counts), 20);  // symmetric: positive either way
  const int bare[MATERIAL_COUNTS_SIZE] = {};
  EXPECT_EQ(tbLookupMaterial(bare), 0);
  const int tooMany[MATERIAL_COUNTS_SIZE] = {3, 0, 0, 0, 0, 2, 0, 0, 0, 0};
  EXPECT_EQ(tbLookupMaterial(tooMany), 0);
  EXPECT_TRUE(tbAvailable(20, 1));  // symmetric: slot 0 serves both sides
  EXPECT_FALSE(tbAvailable(2, 0));

  // Bare kings are no ending.
  int k1[PIECE_SQUARES_SIZE], k2[PIECE_SQUARES_SIZE];
  std::fill(k1, k1 + PIECE_SQUARES_SIZE, 64);
  std::fill(k2, k2 + PIECE_SQUARES_SIZE, 64);
  k1[PS_KING] = E1;
  k2[PS_KING] = E8;
  int score = 12345;
  EXPECT_EQ(Board(k1, k2, 0, true).probe(WHITE, &score), 0);
  EXPECT_EQ(score, 12345);
}

TEST_F(TbProbe, StoredValuesAndScores) {
  std::vector<uint8_t> kpk(81664, 0);
  const int8_t bytes[] = {0, 1, 126, 127, -128, -127, -1, -126};
  for (size_t i = 0; i < sizeof bytes; ++i) kpk[i] = uint8_t(bytes[i]);
  writeFile(dir + "/kpk.nbw", kpk);
  ASSERT_EQ(tbInit(dir.c_str()), 3);
  useCache(4 * TB_CACHE_BLOCK_BYTES);
  const int expected[] = {0, 32641, 32766, 32767, 32640, -32640, -32641, -32766};
  for (size_t i = 0; i < sizeof bytes; ++i) EXPECT_EQ(tbValue(1, 0, uint32_t(i)), expected[i]);
  EXPECT_EQ(tbValue(1, 1, 0), TB_UNKNOWN);       // no file for that side
  EXPECT_EQ(tbValue(1, 0, 81664), TB_UNKNOWN);   // beyond the file
  // Mate in 1 is 30000 - 2, mated in 1 is -30002 + 2, and so on.
  bool found;
  EXPECT_EQ(scoreOfByte(126, &found), 29998);
  EXPECT_EQ(scoreOfByte(-126, &found), -30000);
  EXPECT_EQ(scoreOfByte(-128, &found), 29746);
  EXPECT_EQ(scoreOfByte(-127, &found), -29748);
  // A position at entry 2 (mate in 1 for the side to move): decode it and probe.
  int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep;
  ASSERT_TRUE(tbDecodeEntry(1, 0, 2, first, second, &ep));
  int score = 0;
  EXPECT_EQ(Board(first, second, 1, true).probe(WHITE, &score), 1);
  EXPECT_EQ(score, 29998);
  ASSERT_TRUE(tbDecodeEntry(1, 0, 3, first, second, &ep));
  EXPECT_EQ(Board(first, second, 1, true).probe(WHITE, &score), 0);  // 127: not found
}

// The ply record's en-passant square reaches the index function: after e7-e5 the
// position with dxe6 possible is read from the file's en-passant range.
TEST_F(TbProbe, EnPassantPositions) {
  writePlain(dir, "kpkp");
  ASSERT_EQ(tbInit(dir.c_str()), 4);
  useCache(8 * TB_CACHE_BLOCK_BYTES);
  int white[PIECE_SQUARES_SIZE], black[PIECE_SQUARES_SIZE];
  std::fill(white, white + PIECE_SQUARES_SIZE, 64);
  std::fill(black, black + PIECE_SQUARES_SIZE, 64);
  white[PS_KING] = B1, white[PS_PAWN] = D5, black[PS_KING] = H8, black[PS_PAWN] = E5;
  // Both colours have the material of kpkp: the registry names Black the first side.
  int counts[MATERIAL_COUNTS_SIZE] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  ASSERT_EQ(tbLookupMaterial(counts), -6);
  for (int ep : {int(E6), TB_NO_EN_PASSANT}) {
    const Board b(white, black, 6, true, ep);
    const uint32_t entry = tbEndings[6].indexFunction[1](black, white, ep, 1);
    EXPECT_EQ(entry >= tbOrdinaryRange(6, 1), ep != TB_NO_EN_PASSANT);
    bool found;
    const int expected = scoreOfByte(sampleByte(entry), &found);
    int score = 0;
    EXPECT_EQ(b.probe(WHITE, &score), found ? 1 : 0);
    if (found) {
      EXPECT_EQ(score, expected);
    }
  }
}

TEST_F(TbProbe, CompressedFilesGiveThePlainValues) {
  const std::string plainDir = dir + "/plain", packedDir = dir + "/packed";
  ASSERT_EQ(mkdir(plainDir.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(packedDir.c_str(), 0755), 0);
  // Content shaped like a table: long runs and short periods.
  for (const char* name : {"kpk", "kqkq", "krkp"}) {
    const int e = tbFindEnding(name);
    for (int slot = 0; slot < ((tbEndings[size_t(e)].flags & TB_SYMMETRIC) ? 1 : 2); ++slot) {
      std::vector<uint8_t> v = plainFile(e, slot);
      for (size_t i = 0; i < v.size(); ++i)
        if ((i / 997) % 3 != 0) v[i] = uint8_t((i / 61) % 5 == 0 ? 0 : 100 + (i % 61) % 3);
      const std::string plain = plainDir + "/" + fileName(e, slot);
      writeFile(plain, v);
      // The three compressed names the engine accepts.
      std::string packed = packedDir + "/" + fileName(e, slot);
      if (e == 1) packed += ".emd";
      if (e == 20) packed[packed.size() - 4] = '_', packed += ".emd";
      if (e == 12) packed.erase(packed.size() - 4, 1), packed += ".emd";
      std::string error;
      ASSERT_TRUE(tb::compressFile(plain.c_str(), packed.c_str(), nullptr, &error)) << error;
    }
  }
  // Entries and positions read from either set of files agree.
  auto readAll = [](std::vector<int>* out) {
    for (int e : {1, 12, 20}) {
      Rng rng{uint64_t(e)};
      const int slots = e == 20 ? 1 : 2;
      for (int n = 0; n < 3000; ++n)
        out->push_back(tbValue(e, n % slots, uint32_t(rng.next() % tbEndings[size_t(e)].entries[n % slots])));
      for (int n = 0; n < 500; ++n) {
        int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], score = 0;
        randomLegal(e, n % 2, rng, first, second);
        const int found = Board(first, second, e, n % 3 != 0).probe(n % 2 ? BLACK : WHITE, &score);
        out->push_back(found ? score : 99999);
      }
    }
  };
  ASSERT_EQ(tbInit(plainDir.c_str()), 4);
  useCache(16 * TB_CACHE_BLOCK_BYTES);
  std::vector<int> plainValues, packedValues;
  readAll(&plainValues);
  ASSERT_EQ(tbInit(packedDir.c_str()), 4);
  for (int e : {1, 12, 20}) EXPECT_TRUE(tbAvailable(e, 0) && tbAvailable(e, 1)) << e;
  useCache(16 * TB_CACHE_BLOCK_BYTES);
  readAll(&packedValues);
  EXPECT_TRUE(plainValues == packedValues);
}

TEST_F(TbProbe, CacheSizes) {
  writePlain(dir, "kqkq");  // 196 blocks
  ASSERT_EQ(tbInit(dir.c_str()), 4);
  const auto expectedAt = [](uint32_t entry) {
    const int8_t b = sampleByte(entry);
    bool found;
    scoreOfByte(b, &found);
    return found ? (b == 0 ? 0 : b == -128 ? 32640 : b == -127 ? -32640 : b > 0 ? 32640 + b : b - 32640) : TB_UNKNOWN;
  };
  // One block: alternating blocks reload every time and stay right.
  useCache(TB_CACHE_BLOCK_BYTES);
  for (int n = 0; n < 20; ++n) {
    const uint32_t entry = (n % 2 ? 5 : 150) * 8192u + uint32_t(n);
    EXPECT_EQ(tbValue(20, 0, entry), expectedAt(entry));
  }
  // Below one block: no blocks, nothing found; below 32 bytes the set-up fails.
  EXPECT_EQ(tbSetCache(cache.get(), TB_CACHE_BLOCK_BYTES - 1), 1);
  EXPECT_EQ(tbValue(20, 0, 0), TB_UNKNOWN);
  EXPECT_EQ(tbSetCache(cache.get(), 31), 0);
  EXPECT_EQ(tbValue(20, 0, 0), TB_UNKNOWN);
  // A cache that does not start on a word boundary still works.
  ASSERT_EQ(tbSetCache(cache.get() + 1, 3 * TB_CACHE_BLOCK_BYTES), 1);
  for (uint32_t entry : {0u, 9000u, 20000u, 30000u, 1u})
    EXPECT_EQ(tbValue(20, 0, entry), expectedAt(entry));
}

// Blocks in the cache are served without reading the file: rewriting the file behind
// the cache shows which reads hit and which replaced a block.
TEST_F(TbProbe, LeastRecentlyUsedReplacementAndBuckets) {
  writePlain(dir, "kqkq");
  ASSERT_EQ(tbInit(dir.c_str()), 4);
  useCache(3 * TB_CACHE_BLOCK_BYTES);
  auto block = [](uint32_t b) { return b * 8192u + 3; };  // an entry in block b
  const int old0 = tbValue(20, 0, block(0));
  const int old32 = tbValue(20, 0, block(32));  // same bucket as block 0
  const int old64 = tbValue(20, 0, block(64));  // and again
  // New contents: every byte 5 (value 32645).
  std::vector<uint8_t> fresh(tbEndings[20].entries[0], 5);
  writeFile(dir + "/kqkq.nbw", fresh);
  EXPECT_EQ(tbValue(20, 0, block(32)), old32);  // hits, found through the bucket chain
  EXPECT_EQ(tbValue(20, 0, block(0)), old0);
  EXPECT_EQ(tbValue(20, 0, block(64)), old64);
  // Order of use now 64, 0, 32 (newest first): a new block replaces 32.
  EXPECT_EQ(tbValue(20, 0, block(7)), 32645);
  EXPECT_EQ(tbValue(20, 0, block(0)), old0);
  EXPECT_EQ(tbValue(20, 0, block(64)), old64);
  EXPECT_EQ(tbValue(20, 0, block(32)), 32645);  // reloaded: it had been replaced
  // tbSetCache empties the cache.
  useCache(3 * TB_CACHE_BLOCK_BYTES);
  EXPECT_EQ(tbValue(20, 0, block(0)), 32645);
}

TEST_F(TbProbe, DeletedAndDamagedFilesAreDropped) {
  writePlain(dir, "kqk");
  writePlain(dir, "kpk");
  ASSERT_EQ(tbInit(dir.c_str()), 3);
  useCache(8 * TB_CACHE_BLOCK_BYTES);
  ASSERT_EQ(std::remove((dir + "/kqk.nbw").c_str()), 0);
  EXPECT_EQ(tbValue(5, 0, 10), TB_UNKNOWN);
  EXPECT_FALSE(tbAvailable(5, 0));
  EXPECT_EQ(tbValue(5, 0, 10), TB_UNKNOWN);   // stays dropped
  EXPECT_TRUE(tbAvailable(5, 1));             // the other side's file still answers
  EXPECT_NE(tbValue(5, 1, 10), TB_UNKNOWN);
  EXPECT_NE(tbValue(1, 0, 10), TB_UNKNOWN);

  // A compressed file damaged after registration: random block contents decode to
  // errors or wrong bytes, never a crash; a file cut short is dropped.
  std::vector<uint8_t> v(tbEndings[1].entries[0]);
  for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t((i / 61) % 4 + (i % 13 == 0 ? sampleByte(i) : 0));
  const std::vector<uint8_t> packed = tb::compressBytes(v.data(), v.size());
  writeFile(dir + "/kpk.nbw.emd", packed);
  std::remove((dir + "/kpk.nbw").c_str());
  ASSERT_EQ(tbInit(dir.c_str()), 3);
  useCache(8 * TB_CACHE_BLOCK_BYTES);
  EXPECT_EQ(tbValue(1, 0, 5), v[5]);
  const size_t header = size_t(packed[64]) << 24 | size_t(packed[65]) << 16 | size_t(packed[66]) << 8 | packed[67];
  ASSERT_GT(packed.size(), header + 1000);
  Rng rng(3);
  int drops = 0;
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> bad = packed;
    for (size_t i = header; i < bad.size(); ++i)
      if (rng.next() % 4 == 0) bad[i] = uint8_t(rng.next());
    writeFile(dir + "/kpk.nbw.emd", bad);
    useCache(8 * TB_CACHE_BLOCK_BYTES);  // closes the file, so the damage is read
    for (uint32_t entry = 0; entry < 81664; entry += 4096) tbValue(1, 0, entry);
    if (!tbAvailable(1, 0)) {  // dropped after a decoding error: register again
      ++drops;
      ASSERT_EQ(tbInit(dir.c_str()), 3);
    }
  }
  EXPECT_GT(drops, 0);
  writeFile(dir + "/kpk.nbw.emd", packed);
  ASSERT_EQ(tbInit(dir.c_str()), 3);
  writeFile(dir + "/kpk.nbw.emd", std::vector<uint8_t>(packed.begin(), packed.begin() + long(header) + 100));
  useCache(8 * TB_CACHE_BLOCK_BYTES);
  EXPECT_EQ(tbValue(1, 0, 81000), TB_UNKNOWN);
  EXPECT_FALSE(tbAvailable(1, 0));
}

TEST_F(TbProbe, DirectoryListsAndNames) {
  const std::string sub = dir + "/sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  writePlain(sub, "kqk");
  writeFile(dir + "/knk.nbw", plainFile(2, 0));
  // Backslashes serve as separators too; an empty name is the current directory.
  std::string backslashed = dir + "\\sub\\";
  EXPECT_EQ(tbInit(("/nonexistent; " + backslashed).c_str()), 3);
  EXPECT_TRUE(tbAvailable(5, 0) && tbAvailable(5, 1));
  EXPECT_FALSE(tbAvailable(2, 0));
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  EXPECT_EQ(tbInit((sub + ",").c_str()), 3);
  EXPECT_TRUE(tbAvailable(2, 0));  // found through the empty name
  EXPECT_EQ(tbInit(""), 3);
  EXPECT_FALSE(tbAvailable(5, 0));
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(tbInit((dir + "/sub/nothing").c_str()), 0);
  int score;
  int k1[PIECE_SQUARES_SIZE], k2[PIECE_SQUARES_SIZE];
  std::fill(k1, k1 + PIECE_SQUARES_SIZE, 64);
  std::fill(k2, k2 + PIECE_SQUARES_SIZE, 64);
  k1[PS_KING] = E1, k1[PS_QUEEN] = D1, k2[PS_KING] = E8;
  EXPECT_EQ(Board(k1, k2, 5, true).probe(WHITE, &score), 0);
}

// Large endings: file offsets beyond 2^31 and 2^32, two-byte entries, the number of men
// tbInit reports, and the seven kppkp entries.
TEST_F(TbProbe, LargeFilesAndWideEntries) {
  const int kbnknn = tbFindEnding("kbnknn"), krnknn = tbFindEnding("krnknn"), kppkp = 36;
  writeSparse(dir + "/kppkp.nbb", tbEndings[kppkp].entries[1]);
  EXPECT_EQ(tbInit(dir.c_str()), 5);
  writeSparse(dir + "/kbnknn.nbw", tbEndings[size_t(kbnknn)].entries[0]);
  writeSparse(dir + "/krnknn.nbw", 2 * uint64_t(tbEndings[size_t(krnknn)].entries[0]));
  EXPECT_EQ(tbInit(dir.c_str()), 6);
  useCache(8 * TB_CACHE_BLOCK_BYTES);
  EXPECT_EQ(tbValue(kppkp, 1, 56802428), -32639);
  EXPECT_EQ(tbValue(kppkp, 1, 56802429), 0);
  EXPECT_EQ(tbValue(kppkp, 0, 56802428), TB_UNKNOWN);  // no first-side file

  // Positions whose entries lie far into the files.
  Rng rng(17);
  for (int e : {kbnknn, krnknn}) {
    const bool wide = tbEndings[size_t(e)].flags & TB_WIDE;
    int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE];
    uint32_t entry = 0;
    do {
      randomLegal(e, 0, rng, first, second);
      entry = tbEndings[size_t(e)].indexFunction[0](first, second, TB_NO_EN_PASSANT, 0);
    } while (entry < 0x80000000u);  // byte offsets past 2^31, or 2^32 for two bytes
    const std::string path = dir + "/" + fileName(e, 0);
    if (wide) {
      pokeByte(path, 2 * uint64_t(entry), 0x02);      // 32767 - 32765 = mate in 2 ...
      pokeByte(path, 2 * uint64_t(entry) + 1, 0x80);  // ... as -32766: mated in 1
    } else {
      pokeByte(path, entry, 100);
    }
    useCache(8 * TB_CACHE_BLOCK_BYTES);
    const Board b(first, second, e, true);
    int score = 0;
    ASSERT_EQ(b.probe(WHITE, &score), 1) << tbEndings[size_t(e)].name;
    EXPECT_EQ(score, wide ? 2 * (-32766) + 35532 : 2 * (32640 + 100) - 35534);
  }
}

TEST_F(TbProbe, DamagedFilesStopRegistration) {
  using ::testing::ExitedWithCode;
  auto fatal = [&](const std::string& expected) {
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);  // the messages go to standard output
          tbInit(dir.c_str());
        },
        ExitedWithCode(1), expected);
  };
  std::vector<uint8_t> shortFile(1000, 0);
  writeFile(dir + "/kqk.nbw", shortFile);
  fatal("\\*\\*\\* " + dir + "/kqk\\.nbw corrupted");
  std::remove((dir + "/kqk.nbw").c_str());

  std::vector<uint8_t> v(tbEndings[5].entries[0], 7);
  std::vector<uint8_t> packed = tb::compressBytes(v.data(), v.size());
  packed[90] ^= 1;  // check value no longer matches
  writeFile(dir + "/kqk.nbw.emd", packed);
  fatal("\\*\\*\\* Unable to read " + dir + "/kqk\\.nbw\\.emd - file broken");
  packed[90] ^= 1;
  packed[0] ^= 1;  // banner
  writeFile(dir + "/kqk.nbw.emd", packed);
  fatal("\\*\\*\\* Unable to read " + dir + "/kqk\\.nbw\\.emd - read error");
  writeFile(dir + "/kqk.nbw.emd", tb::compressBytes(v.data(), v.size(), nullptr, 12));
  fatal("\\*\\*\\* " + dir + "/kqk\\.nbw\\.emd: Unsupported block size 4096");
  writeFile(dir + "/kqk.nbw.emd", tb::compressBytes(v.data(), v.size() - 1));
  fatal("\\*\\*\\* " + dir + "/kqk\\.nbw\\.emd corrupted");
}
