#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tablebase/compress.h"
#include "tablebase/decode.h"
#include "tb_test_util.h"

using namespace tbtest;

namespace {

struct Opened {
  int error = 0;
  tb::CompressedTable* table = nullptr;
  explicit Opened(const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fflush(f);
    error = tb::openCompressed(f, &table);
    std::fclose(f);
  }
  ~Opened() { tb::freeCompressed(table); }
};

// Decodes block b from the file's bytes with exactly sized buffers, so that the
// sanitizer sees any access beyond the compressed block or the output's spare bytes.
int decode(const std::vector<uint8_t>& bytes, const tb::CompressedTable* t, uint32_t b,
           std::vector<uint8_t>* plain) {
  const uint32_t n = b + 1 == t->blocks ? t->lastBlockSize : t->blockSize;
  const uint64_t packed = t->offsets[b + 1] - t->offsets[b];
  std::unique_ptr<uint8_t[]> input(new uint8_t[packed]), output(new uint8_t[n + TB_BLOCK_SPARE]);
  std::memcpy(input.get(), bytes.data() + t->offsets[b], packed);
  const int err = tb::decodeBlockBytes(t, input.get(), uint32_t(packed), output.get(), n);
  plain->assign(output.get(), output.get() + n);
  return err;
}

std::vector<uint8_t> decodeAll(const std::vector<uint8_t>& bytes, int* error) {
  Opened o(bytes);
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
  const uint32_t h =
      uint32_t(bytes[64]) << 24 | uint32_t(bytes[65]) << 16 | uint32_t(bytes[66]) << 8 | bytes[67];
  const uint32_t sum = tb::checksum(bytes.data(), h - 4);
  for (uint32_t i = 0; i < 4; ++i) bytes[h - 4 + i] = uint8_t(sum >> (24 - 8 * i));
}

std::vector<uint8_t> structured(size_t n) {  // a tablebase-like mix of periods and runs
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
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

// Most significant bit first, as the format reads them.
struct Bits {
  std::vector<uint8_t> bytes;
  int used = 8;
  Bits& put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (used == 8) bytes.push_back(0), used = 0;
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> used);
      ++used;
    }
    return *this;
  }
};

}  // namespace

TEST(TbCompressed, ChecksumFollowsItsTableRule) {
  // Bit by bit: the table's parity rule is the reverse of the usual one.
  const std::vector<uint8_t> data = random(1000, 3);
  uint32_t sum = 0;
  for (uint8_t x : data) {
    uint32_t c = (sum ^ x) & 255;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? c >> 1 : (c >> 1) ^ 0xEDB88320u;
    sum = (sum >> 8) ^ c;
  }
  EXPECT_EQ(tb::checksum(data.data(), data.size()), sum);
}

// Code lengths that describe no usable code are refused; codes longer than the
// first-level table decode through its trees.
TEST(TbCompressed, HuffmanCodes) {
  tb::HuffmanDecoder d;
  const struct {
    uint8_t lengths[4];
    bool ok;
    tb::HuffmanDecoder::Shape shape;
  } cases[] = {{{0, 0, 3, 0}, false, {}},  // one symbol with a longer code
               {{1, 2, 0, 0}, false, {}},  // incomplete
               {{1, 1, 1, 0}, false, {}},  // oversubscribed
               {{0, 0, 0, 0}, true, tb::HuffmanDecoder::EMPTY},
               {{0, 0, 1, 0}, true, tb::HuffmanDecoder::SINGLE}};
  for (const auto& c : cases) {
    ASSERT_EQ(tb::buildDecoder(c.lengths, 4, 8, &d), c.ok)
        << int(c.lengths[0]) << int(c.lengths[1]);
    EXPECT_TRUE(!c.ok || d.shape == c.shape);
  }
  EXPECT_EQ(d.single, 2);
  uint8_t deep[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11};
  uint32_t codes[12];
  ASSERT_TRUE(tb::buildDecoder(deep, 12, 8, &d));
  tb::canonicalCodes(deep, 12, codes);
  Bits b;
  for (int s = 11; s >= 0; --s) b.put(codes[s], deep[s]);
  tb::BitReader r;
  r.init(b.bytes.data(), b.bytes.size());
  for (int s = 11; s >= 0; --s) EXPECT_EQ(tb::decodeSymbol(d, r), s);
  EXPECT_FALSE(r.overrun());
}

// A file assembled by hand from the format's definition, not by our compressor: two
// literals, a short and a long copy that overlap their source.
TEST(TbCompressed, HandMadeFileDecodes) {
  // Main code: 'A' 00, 'B' 01, copy(d0, length 8) 10, copy(d0, length code 16) 11.
  // The lengths 65, 66, 263, 272 = 2 are coded as runs through codes A and B, whose
  // 128 lengths come in the short format (width 2, runs of zeros in 4 bits).
  Bits table;
  table.put(1, 1).put(1, 1).put(2, 5);
  // code A: 32 -> 0, 2 -> 10, 34 -> 11; code B: 0 -> 00, 6 -> 01, 37 -> 10, 39 -> 110, 41 -> 111
  std::vector<int> nested(128, 0);
  const int lengths[][2] = {{2, 2},      {32, 1},      {34, 2},      {64 + 0, 2},
                            {64 + 6, 2}, {64 + 37, 2}, {64 + 39, 3}, {64 + 41, 3}};
  for (const auto& c : lengths) nested[size_t(c[0])] = c[1];
  for (size_t i = 0; i < nested.size();) {
    table.put(uint32_t(nested[i]), 2);
    if (nested[i++] != 0) continue;
    uint32_t zeros = 0;
    while (zeros < 15 && i + zeros < nested.size() && nested[i + zeros] == 0) ++zeros;
    table.put(zeros, 4);
    i += zeros;
  }
  table.put(0b0, 1).put(0b10, 2).put(0, 5);     // 65 zeros: count 2^5+0+31
  table.put(0b11, 2).put(0b00, 2);              // 2, twice
  table.put(0b0, 1).put(0b110, 3).put(35, 7);   // 196 zeros: 2^7+35+31
  table.put(0b10, 2);                           // 2
  table.put(0b0, 1).put(0b01, 2);               // 8 zeros: count 6
  table.put(0b10, 2);                           // 2
  table.put(0b0, 1).put(0b111, 3).put(206, 9);  // 751 zeros: 2^9+206+31
  // Block 0 packs into 2 bytes, the last block holds 30; distance code 0 is two back.
  Bits fields;
  fields.put(2, 13).put(30, 13).put(2, 13);
  for (int d = 1; d < 24; ++d) fields.put(1, 13);

  std::vector<uint8_t> file(TB_BANNER, TB_BANNER + 64);
  const uint32_t h = uint32_t(80 + 8 + fields.bytes.size() + table.bytes.size() + 4);
  for (uint32_t word :
       {h, 0x00000D18u, 1u, 0x004001F5u, 0u, 0u})  // H; k 13, 24 codes; N; constant; block words
    for (int i = 0; i < 4; ++i) file.push_back(uint8_t(word >> (24 - 8 * i)));
  file.insert(file.end(), fields.bytes.begin(), fields.bytes.end());
  file.insert(file.end(), table.bytes.begin(), table.bytes.end());
  file.resize(h);
  resign(file);
  file.push_back(0x1B);  // 00 01 10 11 + extra bits 10: "AB", 8 more, 20 more
  file.push_back(0x80);
  int err;
  const std::vector<uint8_t> plain = decodeAll(file, &err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(std::string(plain.begin(), plain.end()), "ABABABABABABABABABABABABABABAB");
}

TEST(TbCompressed, RoundTrips) {
  std::vector<uint8_t> mixed = structured(30000);  // literal-heavy and run-heavy blocks
  for (size_t i = 9000; i < 17000; ++i) mixed[i] = uint8_t(i * 2654435761u >> 24);
  const std::vector<uint8_t> inputs[] = {
      std::vector<uint8_t>(20000, 0), random(20000, 1), structured(70000),
      std::vector<uint8_t>(1, 42),    structured(8192), mixed};
  for (size_t k = 0; k < std::size(inputs); ++k) {
    const std::vector<uint8_t>& in = inputs[k];
    tb::CompressStats stats;
    const std::vector<uint8_t> file = tb::compressBytes(in.data(), in.size(), &stats);
    int err;
    EXPECT_TRUE(decodeAll(file, &err) == in) << in.size();
    EXPECT_EQ(err, 0);
    EXPECT_EQ(stats.blocks, (in.size() + 8191) / 8192);
    if (k == 1) {
      EXPECT_EQ(stats.storedBlocks, stats.blocks);  // noise: stored blocks
    } else if (k == 2) {
      EXPECT_EQ(stats.storedBlocks, 0u);
      EXPECT_LT(stats.packedBytes * 5, stats.plainBytes);
    }
  }
}

TEST(TbCompressed, BrokenHeaders) {
  const auto in = structured(30000);
  const std::vector<uint8_t> good = tb::compressBytes(in.data(), in.size());
  const auto kindOf = [](const std::vector<uint8_t>& bytes) { return Opened(bytes).error & 255; };
  ASSERT_EQ(kindOf(good), 0);
  EXPECT_EQ(kindOf(std::vector<uint8_t>(good.begin(), good.begin() + 70)), tb::ERR_READ);
  EXPECT_EQ(kindOf(std::vector<uint8_t>(good.begin(), good.end() - 1)),
            tb::ERR_BROKEN);  // last block cut
  const struct {
    size_t at;
    uint8_t value;
    int kind;
  } cases[] = {
      {3, uint8_t(good[3] ^ 1), tb::ERR_READ},        // banner
      {100, uint8_t(good[100] ^ 1), tb::ERR_BROKEN},  // inside the checked header
      {71, 23, tb::ERR_BROKEN},                       // distance codes
      {70, 17, tb::ERR_BROKEN},                       // block size above 2^16
      {79, uint8_t(good[79] ^ 1), tb::ERR_BROKEN},    // the constant
      {67, 83, tb::ERR_BROKEN},                       // header size below 84 (with 64..66 zero)
      {64, 0x7F, tb::ERR_BROKEN},                     // header larger than the file
      {72, 0x10, tb::ERR_BROKEN},                     // 2^28 blocks cannot fit the header
      {75, 0, tb::ERR_BROKEN},                        // no blocks (with 72..74 zero)
  };
  for (const auto& c : cases) {
    auto bad = good;
    bad[c.at] = c.value;
    if (c.at == 67 || c.at == 75)
      std::fill(bad.begin() + long(c.at) - 3, bad.begin() + long(c.at), 0);
    EXPECT_EQ(kindOf(bad), c.kind) << "byte " << c.at;
  }
}

// Whatever a block holds, decoding stays inside its input and output: a damaged block is
// an error or wrong bytes, never a stray access (the sanitizer build watches).
TEST(TbCompressed, DamagedBlocksStayInBounds) {
  const auto in = structured(60000);
  const std::vector<uint8_t> good = tb::compressBytes(in.data(), in.size());
  const Opened o(good);
  ASSERT_EQ(o.error, 0);
  const uint64_t blocksStart = o.table->offsets[0];
  Rng rng(99);
  int errors = 0;
  std::vector<uint8_t> block;
  for (int round = 0; round < 300; ++round) {
    auto bad = good;
    for (int i = 0, flips = 1 + int(rng.next() % 8); i < flips; ++i) {
      const uint64_t at = blocksStart + rng.next() % (bad.size() - blocksStart);
      bad[at] = round % 3 == 0 ? uint8_t(rng.next()) : uint8_t(bad[at] ^ (1u << (rng.next() % 8)));
    }
    for (uint32_t b = 0; b < o.table->blocks; ++b) errors += decode(bad, o.table, b, &block) != 0;
  }
  EXPECT_GT(errors, 0);

  // Damaged headers that still carry a valid check value: open fails or every block
  // decodes within bounds.
  for (int round = 0; round < 300; ++round) {
    auto bad = good;
    bad[80 + rng.next() % (blocksStart - 84)] = uint8_t(rng.next());
    resign(bad);
    const Opened damaged(bad);
    for (uint32_t b = 0; !damaged.error && b < damaged.table->blocks; ++b)
      decode(bad, damaged.table, b, &block);
  }

  // Distances that point before the block or are zero are decoding errors.
  auto bad = good;
  const size_t fieldsAt = 80 + 8 * size_t(o.table->blocks),
               distanceBits = (size_t(o.table->blocks) + 1) * 13;
  for (size_t bit = distanceBits; bit < distanceBits + 24 * 13; ++bit)
    bad[fieldsAt + bit / 8] &= uint8_t(~(0x80 >> (bit % 8)));
  resign(bad);
  const Opened zeroDistances(bad);
  ASSERT_EQ(zeroDistances.error, 0);
  EXPECT_EQ(decode(bad, zeroDistances.table, 0, &block) & 255, tb::ERR_BROKEN);
}
