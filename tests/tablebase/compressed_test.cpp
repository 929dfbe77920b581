#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tablebase/compress.h"
#include "tablebase/decode.h"
#include "tablebase/tablebase.h"
#include "tb_test_util.h"

using namespace tbtest;

namespace {

struct TempFile {
  std::FILE* f;
  explicit TempFile(const std::vector<uint8_t>& bytes) : f(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fflush(f);
  }
  ~TempFile() { std::fclose(f); }
};

struct Opened {
  int error = 0;
  tb::CompressedTable* table = nullptr;
  ~Opened() { tb::freeCompressed(table); }
};

void open(const std::vector<uint8_t>& bytes, Opened* out) {
  TempFile file(bytes);
  out->error = tb::openCompressed(file.f, &out->table);
}

// Decodes block b from the file's bytes with exactly sized buffers, so that the
// sanitizer sees any access beyond the compressed block or the output's spare bytes.
int decode(const std::vector<uint8_t>& bytes, const tb::CompressedTable* t, uint32_t b,
           std::vector<uint8_t>* plain) {
  const uint32_t n = b + 1 == t->blocks ? t->lastBlockSize : t->blockSize;
  const uint64_t packed = t->offsets[b + 1] - t->offsets[b];
  std::unique_ptr<uint8_t[]> input(new uint8_t[packed]);
  std::memcpy(input.get(), bytes.data() + t->offsets[b], packed);
  std::unique_ptr<uint8_t[]> output(new uint8_t[n + TB_BLOCK_SPARE]);
  const int err = tb::decodeBlockBytes(t, input.get(), uint32_t(packed), output.get(), n);
  plain->assign(output.get(), output.get() + n);
  return err;
}

std::vector<uint8_t> decodeAll(const std::vector<uint8_t>& bytes, int* error) {
  Opened o;
  open(bytes, &o);
  *error = o.error;
  std::vector<uint8_t> all, block;
  for (uint32_t b = 0; !*error && b < o.table->blocks; ++b) {
    *error = decode(bytes, o.table, b, &block);
    all.insert(all.end(), block.begin(), block.end());
  }
  return all;
}

// Recomputes the header's check value after a test changed a field.
void resign(std::vector<uint8_t>& bytes) {
  const uint32_t h = uint32_t(bytes[64]) << 24 | uint32_t(bytes[65]) << 16 | uint32_t(bytes[66]) << 8 | bytes[67];
  const uint32_t sum = tb::checksum(bytes.data(), h - 4);
  for (int i = 0; i < 4; ++i) bytes[h - 4 + uint32_t(i)] = uint8_t(sum >> (24 - 8 * i));
}

std::vector<uint8_t> structured(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {  // a tablebase-like mix of periods and runs
    const size_t a = i / 61, b = i % 61;
    v[i] = uint8_t(b < 3 ? 0 : (a % 7 == 0 ? 120 - (b % 5) : (b * 7 + a) % 11 == 0 ? 250 : 3));
  }
  return v;
}

std::vector<uint8_t> random(size_t n, uint64_t seed) {
  Rng rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& x : v) x = uint8_t(rng.next());
  return v;
}

// MSB-first bit assembly for the hand-made file.
struct Bits {
  std::vector<uint8_t> bytes;
  int used = 8;
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (used == 8) {
        bytes.push_back(0);
        used = 0;
      }
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> used);
      ++used;
    }
  }
};

// The short format of a code-length table (at most 128 entries), written directly from
// its definition.
void putShortTable(Bits& b, const std::vector<int>& lengths, int width) {
  b.put(1, 1);
  b.put(uint32_t(width), 5);
  for (size_t i = 0; i < lengths.size();) {
    b.put(uint32_t(lengths[i]), width);
    if (lengths[i++] != 0) continue;
    int zeros = 0;
    while (zeros < 15 && i + size_t(zeros) < lengths.size() && lengths[i + size_t(zeros)] == 0) ++zeros;
    b.put(uint32_t(zeros), 4);
    i += size_t(zeros);
  }
}

void put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (24 - 8 * i)));
}

}  // namespace

TEST(TbCompressed, ChecksumFollowsItsTableRule) {
  // Bit by bit: the table's parity rule is the reverse of the usual one.
  auto slow = [](const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
      uint32_t c = (sum ^ p[i]) & 255;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? c >> 1 : (c >> 1) ^ 0xEDB88320u;
      sum = (sum >> 8) ^ c;
    }
    return sum;
  };
  const std::vector<uint8_t> data = random(1000, 3);
  EXPECT_EQ(tb::checksum(data.data(), data.size()), slow(data.data(), data.size()));
  EXPECT_EQ(tb::checksum(data.data(), 0), 0u);
}

TEST(TbCompressed, DecoderShapes) {
  tb::HuffmanDecoder d;
  const uint8_t none[4] = {0, 0, 0, 0};
  EXPECT_TRUE(tb::buildDecoder(none, 4, 8, &d));
  EXPECT_EQ(d.shape, tb::HuffmanDecoder::EMPTY);
  const uint8_t one[4] = {0, 0, 1, 0};
  EXPECT_TRUE(tb::buildDecoder(one, 4, 8, &d));
  EXPECT_EQ(d.shape, tb::HuffmanDecoder::SINGLE);
  EXPECT_EQ(d.single, 2);
  const uint8_t oneLong[4] = {0, 0, 3, 0};
  EXPECT_FALSE(tb::buildDecoder(oneLong, 4, 8, &d));
  const uint8_t incomplete[4] = {1, 2, 0, 0};
  EXPECT_FALSE(tb::buildDecoder(incomplete, 4, 8, &d));
  const uint8_t oversubscribed[4] = {1, 1, 1, 0};
  EXPECT_FALSE(tb::buildDecoder(oversubscribed, 4, 8, &d));
  // A complete code with codes longer than the first-level table.
  uint8_t deep[12];
  for (int i = 0; i < 11; ++i) deep[i] = uint8_t(i + 1);
  deep[11] = 11;
  ASSERT_TRUE(tb::buildDecoder(deep, 12, 8, &d));
  uint32_t codes[12];
  tb::canonicalCodes(deep, 12, codes);
  Bits b;
  for (int s = 11; s >= 0; --s) b.put(codes[s], deep[s]);
  tb::BitReader r;
  r.init(b.bytes.data(), b.bytes.size());
  for (int s = 11; s >= 0; --s) EXPECT_EQ(tb::decodeSymbol(d, r), s);
  EXPECT_FALSE(r.overrun());

  // Code-length tables: a leading 0 bit is an empty table; running past n is broken.
  uint8_t lengths[8];
  const uint8_t zero = 0x00;
  r.init(&zero, 1);
  EXPECT_TRUE(tb::readCodeLengths(r, 8, lengths));
  for (uint8_t x : lengths) EXPECT_EQ(x, 0);
  Bits past;  // a zero followed by three more zeros, in a table of two
  past.put(1, 1), past.put(1, 5), past.put(0, 1), past.put(3, 4);
  r.init(past.bytes.data(), past.bytes.size());
  EXPECT_FALSE(tb::readCodeLengths(r, 2, lengths));
  Bits fits;  // the same run fits four entries
  fits.put(1, 1), fits.put(1, 5), fits.put(0, 1), fits.put(3, 4);
  r.init(fits.bytes.data(), fits.bytes.size());
  EXPECT_TRUE(tb::readCodeLengths(r, 4, lengths));
}

// A file assembled by hand from the format's definition: two literals, a short and a long
// copy that overlap their source.
TEST(TbCompressed, HandMadeFileDecodes) {
  // Main code: 'A' 00, 'B' 01, copy(d0, length 8) 10, copy(d0, length code 16) 11.
  // The lengths 65, 66, 263, 272 = 2 are coded as runs through codes A and B.
  Bits table;
  table.put(1, 1);
  std::vector<int> nested(128, 0);
  nested[2] = 2;
  nested[32] = 1;
  nested[34] = 2;         // code A: 32 -> 0, 2 -> 10, 34 -> 11
  nested[64 + 0] = 2;
  nested[64 + 6] = 2;
  nested[64 + 37] = 2;
  nested[64 + 39] = 3;
  nested[64 + 41] = 3;    // code B: 0 -> 00, 6 -> 01, 37 -> 10, 39 -> 110, 41 -> 111
  putShortTable(table, nested, 2);
  table.put(0b0, 1), table.put(0b10, 2), table.put(0, 5);       // 65 zeros: count 2^5+0+31
  table.put(0b11, 2), table.put(0b00, 2);                       // 2, twice
  table.put(0b0, 1), table.put(0b110, 3), table.put(35, 7);     // 196 zeros: 2^7+35+31
  table.put(0b10, 2);                                           // 2
  table.put(0b0, 1), table.put(0b01, 2);                        // 8 zeros: count 6
  table.put(0b10, 2);                                           // 2
  table.put(0b0, 1), table.put(0b111, 3), table.put(206, 9);    // 751 zeros: 2^9+206+31

  Bits fields;
  fields.put(2, 13);   // block 0: 2 compressed bytes
  fields.put(30, 13);  // the last block holds 30 bytes
  fields.put(2, 13);   // distance code 0: two back
  for (int d = 1; d < 24; ++d) fields.put(1, 13);

  std::vector<uint8_t> file(TB_BANNER, TB_BANNER + 64);
  const uint32_t h = uint32_t(80 + 8 + fields.bytes.size() + table.bytes.size() + 4);
  put32(file, h);
  file.push_back(0), file.push_back(0), file.push_back(13), file.push_back(24);
  put32(file, 1);
  put32(file, 0x004001F5);
  put32(file, 0), put32(file, 0);
  file.insert(file.end(), fields.bytes.begin(), fields.bytes.end());
  file.insert(file.end(), table.bytes.begin(), table.bytes.end());
  put32(file, 0);
  resign(file);
  file.push_back(0x1B);  // 00 01 10 11 + extra bits 10: "AB", 8 more, 20 more
  file.push_back(0x80);

  int err;
  const std::vector<uint8_t> plain = decodeAll(file, &err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(std::string(plain.begin(), plain.end()), "ABABABABABABABABABABABABABABAB");
}

TEST(TbCompressed, RoundTrips) {
  std::vector<std::vector<uint8_t>> inputs = {
      std::vector<uint8_t>(20000, 0),  // runs, a short last block
      random(20000, 1),                // nothing to gain: stored blocks
      structured(70000),
      std::vector<uint8_t>(1, 42),
      structured(8192),
  };
  std::vector<uint8_t> mixed = structured(30000);  // literal-heavy and run-heavy blocks
  for (size_t i = 9000; i < 17000; ++i) mixed[i] = uint8_t(i * 2654435761u >> 24);
  inputs.push_back(mixed);
  for (const auto& in : inputs) {
    tb::CompressStats stats;
    const std::vector<uint8_t> file = tb::compressBytes(in.data(), in.size(), &stats);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(stats.blocks, (in.size() + 8191) / 8192);
    int err;
    const std::vector<uint8_t> out = decodeAll(file, &err);
    ASSERT_EQ(err, 0) << in.size();
    EXPECT_TRUE(out == in) << in.size();
  }
  tb::CompressStats stats;
  const auto noise = random(20000, 1);
  tb::compressBytes(noise.data(), noise.size(), &stats);
  EXPECT_EQ(stats.storedBlocks, stats.blocks);
  const auto shaped = structured(70000);
  tb::compressBytes(shaped.data(), shaped.size(), &stats);
  EXPECT_EQ(stats.storedBlocks, 0u);
  EXPECT_LT(stats.packedBytes * 5, stats.plainBytes);
}

TEST(TbCompressed, BrokenHeaders) {
  const auto in = structured(30000);
  const std::vector<uint8_t> good = tb::compressBytes(in.data(), in.size());
  auto kindOf = [](const std::vector<uint8_t>& bytes) {
    Opened o;
    open(bytes, &o);
    return o.error & 255;
  };
  ASSERT_EQ(kindOf(good), 0);
  auto bad = good;
  bad[3] ^= 1;  // banner
  EXPECT_EQ(kindOf(bad), tb::ERR_READ);
  EXPECT_EQ(kindOf(std::vector<uint8_t>(good.begin(), good.begin() + 70)), tb::ERR_READ);
  bad = good;
  bad[100] ^= 1;  // inside the checked header
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad = good;
  bad[71] = 23;  // distance codes
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad = good;
  bad[70] = 17;  // block size above 2^16
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad = good;
  bad[79] ^= 1;  // the constant
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad = good;
  bad[64] = bad[65] = bad[66] = 0, bad[67] = 83;  // header size below 84
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad = good;
  bad[64] = 0x7F;  // header larger than the file
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad = good;
  bad[72] = bad[73] = bad[74] = bad[75] = 0;  // no blocks
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad = good;
  bad[72] = 0x10;  // 2^28 blocks cannot fit the header
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
  bad.assign(good.begin(), good.end() - 1);  // the last block runs past the end
  EXPECT_EQ(kindOf(bad), tb::ERR_BROKEN);
}

// Whatever a block holds, decoding stays inside its input and output: a damaged block is
// an error or wrong bytes, never a stray access (the sanitizer build watches).
TEST(TbCompressed, DamagedBlocksStayInBounds) {
  const auto in = structured(60000);
  const std::vector<uint8_t> good = tb::compressBytes(in.data(), in.size());
  Opened o;
  open(good, &o);
  ASSERT_EQ(o.error, 0);
  const uint64_t blocksStart = o.table->offsets[0];
  Rng rng(99);
  int errors = 0;
  for (int round = 0; round < 300; ++round) {
    auto bad = good;
    const int flips = 1 + int(rng.next() % 8);
    for (int i = 0; i < flips; ++i) {
      const uint64_t at = blocksStart + rng.next() % (bad.size() - blocksStart);
      bad[at] = round % 3 == 0 ? uint8_t(rng.next()) : uint8_t(bad[at] ^ (1u << (rng.next() % 8)));
    }
    std::vector<uint8_t> block;
    for (uint32_t b = 0; b < o.table->blocks; ++b) errors += decode(bad, o.table, b, &block) != 0;
  }
  EXPECT_GT(errors, 0);

  // Damaged headers that still carry a valid check value: open fails or every block
  // decodes within bounds.
  for (int round = 0; round < 300; ++round) {
    auto bad = good;
    const uint64_t at = 80 + rng.next() % (blocksStart - 84);
    bad[at] = uint8_t(rng.next());
    resign(bad);
    Opened damaged;
    open(bad, &damaged);
    if (damaged.error) continue;
    std::vector<uint8_t> block;
    for (uint32_t b = 0; b < damaged.table->blocks; ++b) decode(bad, damaged.table, b, &block);
  }

  // Distances that point before the block or are zero are decoding errors.
  auto bad = good;
  const size_t fieldsAt = 80 + 8 * size_t(o.table->blocks);
  const size_t distanceBits = (size_t(o.table->blocks) + 1) * 13;
  for (size_t bit = distanceBits; bit < distanceBits + 24 * 13; ++bit)
    bad[fieldsAt + bit / 8] &= uint8_t(~(0x80 >> (bit % 8)));
  resign(bad);
  Opened zeroDistances;
  open(bad, &zeroDistances);
  ASSERT_EQ(zeroDistances.error, 0);
  std::vector<uint8_t> block;
  EXPECT_EQ(decode(bad, zeroDistances.table, 0, &block) & 255, tb::ERR_BROKEN);
}
