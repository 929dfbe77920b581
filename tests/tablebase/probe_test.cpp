#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tablebase/compress.h"
#include "tb_test_util.h"

using namespace tbtest;

namespace {

// Probes the position of two lists; whiteFirst: the first list is White's.
int probe(int ending, const int* first, const int* second, bool whiteFirst, int side, int* score,
          int ep = TB_NO_EN_PASSANT) {
  SideMen men[2];
  endingMen(ending, men);
  int board[64] = {};
  const int* lists[2] = {first, second};
  for (int c = 0; c < 2; ++c) {
    const int base = (c == 0) == whiteFirst ? 0 : 6;
    board[lists[c][PS_KING]] = WHITE_KING + base;
    for (int kind = 0; kind < 5; ++kind)
      for (int i = 0; i < men[c].count[kind]; ++i)
        board[lists[c][3 * kind + i]] = WHITE_PAWN + kind + base;
  }
  const TestBoard& b = engineBoard(board, side, ep);
  return tbProbe(side, score, &b.position, &b.records[0]);
}

// The content of the test files: a pattern with every byte value, and between it long
// runs and short periods as in real tables, so that compression has something to find.
int8_t patternByte(uint64_t i) {
  if ((i / 997) % 3 == 0) return int8_t(uint8_t((i * 2654435761u) >> 13));
  return int8_t((i / 61) % 5 == 0 ? 0 : 100 + (i % 61) % 3);
}

// Stored value of a one-byte code, and the probe's score of a stored value.
int storedOfByte(int8_t b) {
  if (b == 0 || b == 127) return b == 0 ? 0 : TB_UNKNOWN;
  if (b == -128 || b == -127) return b == -128 ? 32640 : -32640;
  return b > 0 ? 32640 + b : b - 32640;
}
int scoreOf(int stored) {
  return stored > 0 ? 2 * stored - 35534 : stored ? 2 * stored + 35532 : 0;
}

int slotsOf(int e) { return (tbEndings[size_t(e)].flags & TB_SYMMETRIC) ? 1 : 2; }

void writePlain(const std::string& dir, const char* ending) {
  const int e = tbFindEnding(ending);
  for (int slot = 0; slot < slotsOf(e); ++slot) {
    std::vector<uint8_t> v(tbEndings[size_t(e)].entries[slot]);
    for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(patternByte(i));
    char name[32];
    tbPlainFileName(e, slot, name, sizeof name);
    writeFile(dir + "/" + name, v);
  }
}

void writeSparse(const std::string& path, uint64_t bytes) {  // zero but where poked
  writeFile(path, {});
  std::filesystem::resize_file(path, bytes);
}

class TbProbe : public ::testing::Test {
 protected:
  void TearDown() override {
    tbSetCache(nullptr, 0);  // the cache buffer goes with the fixture
    tbInit(nullptr);         // forget the files before they go
  }
  void useCache(uint64_t bytes) {
    tbSetCache(nullptr, 0);
    cache.reset(new uint8_t[bytes + 1]);
    ASSERT_EQ(tbSetCache(cache.get(), bytes), 1);
  }
  ScratchDir tmp;
  const std::string dir = tmp.path.string();
  std::unique_ptr<uint8_t[]> cache;
};

// Random legal positions with either side to move, probed with the first side White and,
// colours reversed, Black: both give the value of the entry (a symmetric ending reads its
// one file with the sides exchanged).
void probeSample(int ending, int count, uint64_t seed) {
  Rng rng(seed);
  SideMen men[2];
  endingMen(ending, men);
  const char* name = tbEndings[size_t(ending)].name;
  for (int n = 0; n < count; ++n) {
    const int tbSide = n % 2;
    int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE];
    int rf[PIECE_SQUARES_SIZE], rs[PIECE_SQUARES_SIZE];
    randomLegal(ending, tbSide, rng, first, second);
    const TbIndexFunction* index = tbEndings[size_t(ending)].indexFunction;
    const uint32_t entry = slotsOf(ending) == 1 && tbSide == 1
                               ? index[0](second, first, TB_NO_EN_PASSANT, 1)
                               : index[tbSide](first, second, TB_NO_EN_PASSANT, 0);
    const int stored = storedOfByte(patternByte(entry));
    int score = 0, rscore = 0;
    const int found = probe(ending, first, second, true, tbSide == 0 ? WHITE : BLACK, &score);
    EXPECT_EQ(found, stored != TB_UNKNOWN) << name;
    EXPECT_TRUE(!found || score == scoreOf(stored)) << name;
    transformList(first, rf, 2, men[0]);
    transformList(second, rs, 2, men[1]);
    EXPECT_EQ(probe(ending, rf, rs, false, tbSide == 0 ? BLACK : WHITE, &rscore), found) << name;
    EXPECT_TRUE(!found || rscore == score) << name;
  }
}

}  // namespace

// Plain files and compressed ones give the values of their entries, and of random positions with
// either side to move and either colour holding the first-named material.
TEST_F(TbProbe, PlainAndCompressedFilesForBothSidesAndColours) {
  for (const char* name : {"kpk", "kqk", "kqkq", "krkp", "kpkp"}) writePlain(dir, name);
  // Plain name, compressed name: the three forms the engine accepts.
  const char* names[] = {"kpk.nbw",  "kpk.nbw.emd",  "kpk.nbb",  "kpk.nbb.emd",
                         "kqkq.nbw", "kqkq_nbw.emd", "krkp.nbw", "krkpnbw.emd",
                         "krkp.nbb", "krkp_nbb.emd"};
  for (size_t i = 0; i < std::size(names); i += 2) {
    std::string error, plain = dir + "/" + names[i], packed = dir + "/" + names[i + 1];
    ASSERT_TRUE(tb::compressFile(plain.c_str(), packed.c_str(), nullptr, &error)) << error;
    std::remove(plain.c_str());
  }
  EXPECT_EQ(tbInit(dir.c_str()), 4);
  useCache(64 * TB_CACHE_BLOCK_BYTES);
  for (const char* name : {"kpk", "kqk", "kqkq", "krkp", "kpkp"}) {
    const int e = tbFindEnding(name);
    Rng rng{uint64_t(e)};
    for (int n = 0; n < 2000; ++n) {
      const uint32_t entry = uint32_t(rng.next() % tbEndings[size_t(e)].entries[n % slotsOf(e)]);
      ASSERT_EQ(tbValue(e, n % slotsOf(e), entry), storedOfByte(patternByte(entry))) << name;
    }
    probeSample(e, 400, uint64_t(e));
  }
  const int tooMany[MATERIAL_COUNTS_SIZE] = {3, 0, 0, 0, 0, 2, 0, 0, 0, 0};  // no registry leaf
  EXPECT_EQ(tbLookupMaterial(tooMany), 0);

  // The ply record's en-passant square reaches the index function: after e7-e5 with dxe6
  // possible, the entry lies in the en-passant range. In kpkp Black is the first side.
  List white(B1), black(H8);
  white.add(PS_PAWN, D5);
  black.add(PS_PAWN, E5);
  for (int ep : {int(E6), TB_NO_EN_PASSANT}) {
    const uint32_t entry = tbEndings[6].indexFunction[1](black.sq, white.sq, ep, 1);
    EXPECT_EQ(entry >= tbOrdinaryRange(6, 1), ep != TB_NO_EN_PASSANT);
    const int stored = storedOfByte(patternByte(entry));
    int score = 0;
    EXPECT_EQ(probe(6, white.sq, black.sq, true, WHITE, &score, ep), stored != TB_UNKNOWN);
    EXPECT_TRUE(stored == TB_UNKNOWN || score == scoreOf(stored)) << ep;
  }
}

// One-byte and two-byte entries, byte offsets past 2^31 and 2^32, the men tbInit reports,
// and the seven kppkp entries beyond the one-byte code (mated in 128).
TEST_F(TbProbe, StoredValuesAndScores) {
  std::vector<uint8_t> kpk(81664, 0);
  const int8_t bytes[] = {0, 1, 126, 127, -128, -127, -1, -126};
  const int stored[] = {0, 32641, 32766, TB_UNKNOWN, 32640, -32640, -32641, -32766};
  std::copy(bytes, bytes + 8, kpk.begin());
  writeFile(dir + "/kpk.nbw", kpk);
  const int kbnknn = tbFindEnding("kbnknn"), krnknn = tbFindEnding("krnknn"), kppkp = 36;
  writeSparse(dir + "/kppkp.nbb", tbEndings[kppkp].entries[1]);
  EXPECT_EQ(tbInit(dir.c_str()), 5);
  writeSparse(dir + "/kbnknn.nbw", tbEndings[size_t(kbnknn)].entries[0]);
  writeSparse(dir + "/krnknn.nbw", 2 * uint64_t(tbEndings[size_t(krnknn)].entries[0]));
  EXPECT_EQ(tbInit(dir.c_str()), 6);
  useCache(8 * TB_CACHE_BLOCK_BYTES);
  for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(tbValue(1, 0, i), stored[i]) << i;
  EXPECT_EQ(tbValue(1, 1, 0), TB_UNKNOWN);      // no file for that side
  EXPECT_EQ(tbValue(1, 0, 81664), TB_UNKNOWN);  // beyond the file
  // Entry 2 (126, mate in 1) scores 30000 - 2; entry 3 (127) is not found.
  int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE], ep, score = 0;
  ASSERT_TRUE(tbDecodeEntry(1, 0, 2, first, second, &ep));
  EXPECT_EQ(probe(1, first, second, true, WHITE, &score), 1);
  EXPECT_EQ(score, 29998);
  ASSERT_TRUE(tbDecodeEntry(1, 0, 3, first, second, &ep));
  EXPECT_EQ(probe(1, first, second, true, WHITE, &score), 0);

  for (uint32_t entry :
       {56802428u, 56811076u, 56849992u, 56858640u, 59592489u, 67775659u, 71071628u}) {
    ASSERT_TRUE(tbDecodeEntry(kppkp, 1, entry, first, second, &ep)) << entry;
    EXPECT_TRUE(legal(kppkp, 1, first, second)) << entry;
    EXPECT_EQ(tbValue(kppkp, 1, entry), -32639);
    EXPECT_EQ(tbValue(kppkp, 1, entry + 1), 0);
    EXPECT_EQ(probe(kppkp, first, second, true, BLACK, &score), 1);
    EXPECT_EQ(score, scoreOf(-32639)) << entry;
  }
  EXPECT_EQ(tbValue(kppkp, 0, 56802428), TB_UNKNOWN);  // no first-side file

  Rng rng(17);
  for (int e : {kbnknn, krnknn}) {
    const bool wide = tbEndings[size_t(e)].flags & TB_WIDE;
    uint32_t entry = 0;
    do {
      randomLegal(e, 0, rng, first, second);
      entry = tbEndings[size_t(e)].indexFunction[0](first, second, TB_NO_EN_PASSANT, 0);
    } while (entry < 0x80000000u);
    // Two bytes little-endian: 0x8002 = -32766 (mated in 1); one byte 100: 32740.
    std::fstream f(dir + "/" + tbEndings[size_t(e)].name + ".nbw", std::ios::in | std::ios::out);
    f.seekp(std::streamoff(wide ? 2 * uint64_t(entry) : entry));
    f.write(wide ? "\x02\x80" : "\x64", wide ? 2 : 1);
    f.close();
    useCache(8 * TB_CACHE_BLOCK_BYTES);
    ASSERT_EQ(probe(e, first, second, true, WHITE, &score), 1) << tbEndings[size_t(e)].name;
    EXPECT_EQ(score, scoreOf(wide ? -32766 : 32740));
  }
}

TEST_F(TbProbe, CacheSizesAndReplacement) {
  writePlain(dir, "kqkq");  // 196 blocks
  ASSERT_EQ(tbInit(dir.c_str()), 4);
  const auto expected = [](uint32_t entry) { return storedOfByte(patternByte(entry)); };
  // One block: alternating blocks reload every time and stay right.
  useCache(TB_CACHE_BLOCK_BYTES);
  for (uint32_t n = 0; n < 20; ++n)
    EXPECT_EQ(tbValue(20, 0, (n % 2 ? 5 : 150) * 8192u + n),
              expected((n % 2 ? 5 : 150) * 8192u + n));
  // Below one block (8260 bytes): nothing found; below 32 bytes the set-up fails.
  EXPECT_EQ(tbSetCache(cache.get(), TB_CACHE_BLOCK_BYTES - 1), 1);
  EXPECT_EQ(tbValue(20, 0, 1), TB_UNKNOWN);
  EXPECT_EQ(tbSetCache(cache.get(), 31), 0);
  EXPECT_EQ(tbValue(20, 0, 1), TB_UNKNOWN);
  // A cache that does not start on a word boundary still works.
  useCache(3 * TB_CACHE_BLOCK_BYTES);
  ASSERT_EQ(tbSetCache(cache.get() + 1, 3 * TB_CACHE_BLOCK_BYTES), 1);
  for (uint32_t entry : {1u, 9000u, 20000u, 30000u})
    EXPECT_EQ(tbValue(20, 0, entry), expected(entry));

  // Cached blocks are served without reading the file again: rewriting the file behind
  // the cache shows which reads hit and which replaced the least recently used block.
  useCache(3 * TB_CACHE_BLOCK_BYTES);
  const auto value = [](uint32_t block) { return tbValue(20, 0, block * 8192u + 3); };
  const int old0 = value(0);  // blocks 0, 32 and 64 share a bucket
  value(32);
  writeFile(dir + "/kqkq.nbw", std::vector<uint8_t>(tbEndings[20].entries[0], 5));  // 32645
  EXPECT_EQ(value(0), old0);  // a hit through the bucket chain
  EXPECT_EQ(value(64), 32645);
  EXPECT_EQ(value(7), 32645);  // replaces 32, the least recently used
  EXPECT_EQ(value(0), old0);
  EXPECT_EQ(value(32), 32645);
  useCache(3 * TB_CACHE_BLOCK_BYTES);  // tbSetCache empties the cache
  EXPECT_EQ(value(0), 32645);
}

TEST_F(TbProbe, DeletedAndDamagedFilesAreDropped) {
  writePlain(dir, "kqk");
  writePlain(dir, "kpk");
  ASSERT_EQ(tbInit(dir.c_str()), 3);
  useCache(8 * TB_CACHE_BLOCK_BYTES);
  ASSERT_EQ(std::remove((dir + "/kqk.nbw").c_str()), 0);
  EXPECT_EQ(tbValue(5, 0, 10), TB_UNKNOWN);
  EXPECT_FALSE(tbAvailable(5, 0));
  EXPECT_NE(tbValue(5, 1, 10), TB_UNKNOWN);  // the other files still answer
  EXPECT_NE(tbValue(1, 0, 10), TB_UNKNOWN);

  // A compressed file damaged after registration, with blocks that fail to decode or
  // cut short, is dropped.
  std::vector<uint8_t> v(tbEndings[1].entries[0]);
  for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t((i / 61) % 4 + (i % 13 ? 0 : i % 251));
  const std::vector<uint8_t> packed = tb::compressBytes(v.data(), v.size());
  const long header =
      long(packed[64]) << 24 | long(packed[65]) << 16 | long(packed[66]) << 8 | packed[67];
  std::remove((dir + "/kpk.nbw").c_str());
  Rng rng(3);
  for (int cut = 0; cut < 2; ++cut) {
    std::vector<uint8_t> bad(packed.begin(), cut ? packed.begin() + header + 100 : packed.end());
    for (size_t i = size_t(header); !cut && i < bad.size(); ++i) bad[i] = uint8_t(rng.next());
    writeFile(dir + "/kpk.nbw.emd", packed);
    ASSERT_EQ(tbInit(dir.c_str()), 3);
    writeFile(dir + "/kpk.nbw.emd", bad);
    useCache(8 * TB_CACHE_BLOCK_BYTES);
    for (uint32_t entry = 0; entry < 81664; entry += 4096) tbValue(1, 0, entry);
    EXPECT_FALSE(tbAvailable(1, 0)) << cut;
  }
}

// Directory lists: "," and ";" separate, blanks around names and backslashes are
// accepted, an empty name is the current directory.
TEST_F(TbProbe, DirectoryLists) {
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
  writePlain(dir + "/sub", "kqk");
  writePlain(dir, "knk");
  EXPECT_EQ(tbInit(("/nonexistent; " + dir + "\\sub\\").c_str()), 3);
  EXPECT_TRUE(tbAvailable(5, 0) && tbAvailable(5, 1) && !tbAvailable(2, 0));
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  EXPECT_EQ(tbInit((dir + "/sub,").c_str()), 3);
  EXPECT_TRUE(tbAvailable(2, 0) && tbAvailable(5, 0));
  std::filesystem::current_path(cwd);
  EXPECT_EQ(tbInit((dir + "/sub/nothing").c_str()), 0);
}

TEST_F(TbProbe, DamagedFilesStopRegistration) {
  const std::vector<uint8_t> v(tbEndings[5].entries[0], 7);
  std::vector<uint8_t> badCheck = tb::compressBytes(v.data(), v.size()), badBanner = badCheck;
  badCheck[90] ^= 1;
  badBanner[0] ^= 1;
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string before, after;  // the message around the directory
  } cases[] = {
      {"kqk.nbw", std::vector<uint8_t>(1000, 0), "", "/kqk\\.nbw corrupted"},  // wrong size
      {"kqk.nbw.emd", badCheck, "Unable to read ", "/kqk\\.nbw\\.emd - file broken"},
      {"kqk.nbw.emd", badBanner, "Unable to read ", "/kqk\\.nbw\\.emd - read error"},
      {"kqk.nbw.emd", tb::compressBytes(v.data(), v.size(), nullptr, 12), "",
       "/kqk\\.nbw\\.emd: Unsupported block size 4096"},
      {"kqk.nbw.emd", tb::compressBytes(v.data(), v.size() - 1), "", "/kqk\\.nbw\\.emd corrupted"},
  };
  for (const auto& c : cases) {
    writeFile(dir + "/" + c.name, c.bytes);
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);  // the messages go to standard output
          tbInit(dir.c_str());
        },
        ::testing::ExitedWithCode(1), "\\*\\*\\* " + c.before + dir + c.after);
    std::remove((dir + "/" + c.name).c_str());
  }
}
