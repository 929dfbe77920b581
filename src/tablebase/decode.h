// Compressed tablebase files: the header read at registration and the decoder of one
// block. The file is the plain file cut into blocks of 2^k bytes, each compressed on its
// own with an LZ77 scheme (24 match distances per file) whose symbols are coded with one
// canonical Huffman code per file.
//
// Header (numbers big-endian, bit fields most significant bit first):
//   0   64  banner (TB_BANNER)
//   64   4  H, header size; the first block starts at H
//   68   2  unused
//   70   1  k, log2 of the block size
//   71   1  number of distance codes, 24
//   72   4  N, number of blocks
//   76   4  0x004001F5
//   80  8N  two words per block, ignored by the reader
//   ..      N+1 sizes then 24 distances, k bits each (a size of 0 means 2^k): the
//           compressed size of every block, then the plain size of the last block
//   ..      the code-length table of the main code
//   H-4  4  checksum of bytes 0..H-5
#pragma once

#include <cstdint>
#include <cstdio>

namespace tb {

// Error kinds (the low 8 bits of an error value); the upper bits tell the check apart.
constexpr int ERR_READ = 2;
constexpr int ERR_MEMORY = 5;
constexpr int ERR_BROKEN = 6;
constexpr int ERR_CALL = 7;

constexpr int DISTANCE_CODES = 24;
constexpr uint32_t HEADER_CONSTANT = 0x004001F5;
constexpr int HEADER_FIXED_BYTES = 80;
constexpr int MIN_HEADER_BYTES = 84;
constexpr int MAIN_SYMBOLS = 1024;       // 256 literals + 24 distances x 32 length codes
constexpr int NESTED_SYMBOLS = 128;      // codes A and B, 64 symbols each
constexpr int MAX_CODE_LENGTH = 31;
constexpr int MAIN_TABLE_BITS = 13;
constexpr int NESTED_TABLE_BITS = 8;
constexpr int MAX_BLOCK_LOG = 16;

// 32-bit checksum over the header (no final inversion).
uint32_t checksum(const uint8_t* data, uint64_t size, uint32_t sum = 0);

// Decoding table of a canonical code: a first-level table indexed by the next
// `firstBits` bits, and binary trees for longer codes.
struct HuffmanDecoder {
  enum Shape : uint8_t { EMPTY, SINGLE, FULL };
  Shape shape;
  uint8_t firstBits;
  uint16_t single;     // the symbol of a one-symbol code (decoded without bits)
  uint16_t nodeCount;
  // First level: bit 15 clear: symbol in bits 0..9, code length in bits 10..14;
  // bit 15 set: tree node in bits 0..14; 0xFFFF: no code. Tree children hold a symbol,
  // a node, or 0xFFFF.
  uint16_t first[1 << MAIN_TABLE_BITS];
  uint16_t tree[2 * MAIN_SYMBOLS];
};

// Builds the decoder of the canonical code with these lengths (0 = unused). Fails when
// the lengths describe neither an empty code, a one-symbol code of length 1, nor a
// complete code.
bool buildDecoder(const uint8_t* lengths, int symbols, int firstBits, HuffmanDecoder* out);

// Canonical code words for the lengths (RFC 1951 order), for the encoder.
void canonicalCodes(const uint8_t* lengths, int symbols, uint32_t* codes);

struct CompressedTable {
  int blockLog;            // k
  uint32_t blockSize;      // 2^k
  uint32_t blocks;         // N
  uint32_t lastBlockSize;  // plain size of block N-1
  uint64_t* offsets;       // N+1 file offsets: block i runs from offsets[i] to offsets[i+1]
  uint32_t distance[DISTANCE_CODES];
  HuffmanDecoder main;
};

// Reads and checks the header of an open file. Returns 0 and a new table (free it with
// freeCompressed), or an error value.
int openCompressed(std::FILE* file, CompressedTable** table);
void freeCompressed(CompressedTable* table);

// Decodes one block into output, which must hold the block's plain size plus 36 spare
// bytes. input is the workspace for the compressed bytes (inputSize bytes). Returns 0
// or an error value; never reads past the compressed block nor writes past the spare.
int decodeBlock(const CompressedTable* table, std::FILE* file, uint32_t block, uint8_t* output,
                uint8_t* input, uint32_t inputSize);

// Decodes a block already in memory (the part of decodeBlock after the read).
int decodeBlockBytes(const CompressedTable* table, const uint8_t* input, uint32_t inputSize,
                     uint8_t* output, uint32_t outputSize);

// Reads n code lengths (the nested format). Used by the header reader and its tests.
struct BitReader;
bool readCodeLengths(BitReader& reader, int n, uint8_t* lengths);

// Bits read most significant first from a byte range. Reading past the end yields zero
// bits and marks the reader overrun.
struct BitReader {
  const uint8_t* next;
  const uint8_t* end;
  uint64_t window;  // the next bits, left-aligned
  int count;        // valid bits in window
  uint32_t missing; // zero bytes supplied past the end

  void init(const uint8_t* data, uint64_t size) {
    next = data;
    end = data + size;
    window = 0;
    count = 0;
    missing = 0;
    refill();
  }
  // Brings the window to at least 56 valid bits.
  void refill() {
    if (end - next >= 8) {
      uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = v << 8 | next[i];
      window |= v >> count;
      next += (63 - count) >> 3;
      count |= 56;
      return;
    }
    while (count <= 56) {
      uint64_t byte = 0;
      if (next < end)
        byte = *next++;
      else
        ++missing;
      window |= byte << (56 - count);
      count += 8;
    }
  }
  uint32_t peek(int n) const { return n ? uint32_t(window >> (64 - n)) : 0; }
  void skip(int n) {
    window <<= n;
    count -= n;
  }
  // Up to 32 bits; callers refill before reading more than 56 bits in a row.
  uint32_t bits(int n) {
    if (count < n) refill();
    const uint32_t v = peek(n);
    skip(n);
    return v;
  }
  // Bits taken beyond the end of the range.
  bool overrun() const { return int64_t(missing) * 8 > int64_t(count); }
};

// One symbol; returns -1 for a code without symbols or an invalid table entry.
inline int decodeSymbol(const HuffmanDecoder& d, BitReader& r) {
  if (d.shape != HuffmanDecoder::FULL) return d.shape == HuffmanDecoder::SINGLE ? d.single : -1;
  if (r.count < MAX_CODE_LENGTH) r.refill();
  uint16_t e = d.first[r.peek(d.firstBits)];
  if (!(e & 0x8000)) {
    r.skip(e >> 10);
    return e & 1023;
  }
  if (e == 0xFFFF) return -1;
  r.skip(d.firstBits);
  for (;;) {
    const uint16_t c = d.tree[2 * (e & 0x7FFF) + r.peek(1)];
    r.skip(1);
    if (c == 0xFFFF) return -1;
    if (!(c & 0x8000)) return c & 1023;
    e = c;
  }
}

}  // namespace tb
