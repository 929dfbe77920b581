#include "tablebase/decode.h"

#include <cstdlib>
#include <cstring>
#include <sys/types.h>

#include "tablebase/tablebase.h"

namespace tb {
namespace {

struct ChecksumTable {
  uint32_t entry[256];
};

constexpr ChecksumTable makeChecksumTable() {
  ChecksumTable t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? c >> 1 : (c >> 1) ^ 0xEDB88320u;
    t.entry[i] = c;
  }
  return t;
}

constexpr ChecksumTable kChecksum = makeChecksumTable();

uint32_t bigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int error(int kind, int check) { return kind | check << 8; }

bool seekTo(std::FILE* file, uint64_t offset) {
  return fseeko(file, off_t(offset), SEEK_SET) == 0;
}

}  // namespace

uint32_t checksum(const uint8_t* data, uint64_t size, uint32_t sum) {
  for (uint64_t i = 0; i < size; ++i) sum = (sum >> 8) ^ kChecksum.entry[(sum ^ data[i]) & 255];
  return sum;
}

void canonicalCodes(const uint8_t* lengths, int symbols, uint32_t* codes) {
  uint32_t count[MAX_CODE_LENGTH + 2] = {};
  for (int s = 0; s < symbols; ++s) ++count[lengths[s]];
  count[0] = 0;
  uint32_t next[MAX_CODE_LENGTH + 2] = {};
  uint32_t code = 0;
  for (int len = 1; len <= MAX_CODE_LENGTH; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  for (int s = 0; s < symbols; ++s) codes[s] = lengths[s] ? next[lengths[s]]++ : 0;
}

bool buildDecoder(const uint8_t* lengths, int symbols, int firstBits, HuffmanDecoder* d) {
  d->firstBits = uint8_t(firstBits);
  d->nodeCount = 0;
  int used = 0, last = 0;
  uint64_t kraft = 0;  // sum of 2^(31 - length)
  for (int s = 0; s < symbols; ++s) {
    if (lengths[s] > MAX_CODE_LENGTH) return false;
    if (!lengths[s]) continue;
    ++used;
    last = s;
    kraft += uint64_t(1) << (MAX_CODE_LENGTH - lengths[s]);
  }
  if (used == 0) {
    d->shape = HuffmanDecoder::EMPTY;
    return true;
  }
  if (used == 1) {
    d->shape = HuffmanDecoder::SINGLE;
    d->single = uint16_t(last);
    return lengths[last] == 1;
  }
  if (kraft != uint64_t(1) << MAX_CODE_LENGTH) return false;
  d->shape = HuffmanDecoder::FULL;
  uint32_t codes[MAIN_SYMBOLS];
  canonicalCodes(lengths, symbols, codes);
  std::memset(d->first, 0xFF, sizeof(uint16_t) << firstBits);  // 0xFFFF: no code
  for (int s = 0; s < symbols; ++s) {
    const int len = lengths[s];
    if (!len) continue;
    if (len <= firstBits) {
      const uint32_t start = codes[s] << (firstBits - len);
      const uint16_t e = uint16_t(len << 10 | s);
      for (uint32_t i = 0; i < (1u << (firstBits - len)); ++i) d->first[start + i] = e;
      continue;
    }
    // Longer code: first-level slot leads to a tree walked bit by bit.
    uint16_t* slot = &d->first[codes[s] >> (len - firstBits)];
    for (int bit = len - firstBits - 1; bit >= 0; --bit) {
      if (*slot == 0xFFFF) {
        if (d->nodeCount >= MAIN_SYMBOLS) return false;
        const uint16_t node = d->nodeCount++;
        d->tree[2 * node] = d->tree[2 * node + 1] = 0xFFFF;
        *slot = uint16_t(0x8000 | node);
      }
        if (!(*slot & 0x8000)) return false;  // a shorter code is a prefix of this one
      slot = &d->tree[2 * (*slot & 0x7FFF) + ((codes[s] >> bit) & 1)];
    }
    if (*slot != 0xFFFF) return false;
    *slot = uint16_t(s);
  }
  return true;
}

bool readCodeLengths(BitReader& r, int n, uint8_t* lengths) {
  std::memset(lengths, 0, size_t(n));
  if (r.bits(1) == 0) return !r.overrun();
  if (n <= NESTED_SYMBOLS) {
    const int width = int(r.bits(5));
    for (int i = 0; i < n;) {
      const uint32_t len = r.bits(width);
      if (len > MAX_CODE_LENGTH || r.overrun()) return false;
      lengths[i++] = uint8_t(len);
      if (len == 0) {
        const int zeros = int(r.bits(4));
        if (i + zeros > n) return false;
        i += zeros;  // already zero
      }
    }
    return !r.overrun();
  }
  uint8_t nested[NESTED_SYMBOLS];
  if (!readCodeLengths(r, NESTED_SYMBOLS, nested)) return false;
  // Two small decoders; static because they are large and used only at registration.
  static HuffmanDecoder codeA, codeB;
  if (!buildDecoder(nested, 64, NESTED_TABLE_BITS, &codeA) ||
      !buildDecoder(nested + 64, 64, NESTED_TABLE_BITS, &codeB))
    return false;
  for (int i = 0; i < n;) {
    const int a = decodeSymbol(codeA, r);
    if (a < 0 || r.overrun()) return false;
    if (a < 32) {
      lengths[i++] = uint8_t(a);
      continue;
    }
    const int c = decodeSymbol(codeB, r);
    if (c < 0) return false;
    uint64_t count = uint64_t(c);
    if (c > 31) {
      const int e = c - 32;
      count = (uint64_t(1) << e) + r.bits(e) + 31;
    }
    if (r.overrun() || uint64_t(i) + count + 2 > uint64_t(n)) return false;
    std::memset(lengths + i, a & 31, size_t(count + 2));
    i += int(count + 2);
  }
  return !r.overrun();
}

void freeCompressed(CompressedTable* table) {
  if (!table) return;
  std::free(table->offsets);
  std::free(table);
}

namespace {

// The fixed fields that say how large the header is.
struct HeaderShape {
  uint64_t fileSize;
  uint32_t headerSize;
  int blockLog;
  uint32_t blocks;
  uint64_t sizeBytes;  // the size fields: blocks + 1 sizes and the distances
};

// Reads the fixed part of the header into fixed and checks that the sizes it gives can
// fit the file. Returns 0 or an error value.
int readFixedFields(std::FILE* file, uint8_t* fixed, HeaderShape* shape) {
  if (fseeko(file, 0, SEEK_END) != 0) return error(ERR_READ, 1);
  const off_t end = ftello(file);
  if (end < 0 || !seekTo(file, 0)) return error(ERR_READ, 2);
  shape->fileSize = uint64_t(end);
  if (std::fread(fixed, 1, HEADER_FIXED_BYTES, file) != HEADER_FIXED_BYTES)
    return error(ERR_READ, 3);
  if (std::memcmp(fixed, TB_BANNER, sizeof TB_BANNER) != 0) return error(ERR_READ, 4);
  shape->headerSize = bigEndian32(fixed + 64);
  shape->blockLog = fixed[70];
  const int distanceCodes = fixed[71];
  shape->blocks = bigEndian32(fixed + 72);
  if (shape->blockLog > MAX_BLOCK_LOG || shape->headerSize < MIN_HEADER_BYTES)
    return error(ERR_BROKEN, 5);
  if (distanceCodes != DISTANCE_CODES) return error(ERR_BROKEN, 6);
  if (bigEndian32(fixed + 76) != HEADER_CONSTANT) return error(ERR_BROKEN, 7);
  // Sizes that cannot fit the header or the file.
  shape->sizeBytes =
      ((uint64_t(shape->blocks) + 1 + DISTANCE_CODES) * uint64_t(shape->blockLog) + 7) / 8;
  const uint64_t needed =
      HEADER_FIXED_BYTES + 8 * uint64_t(shape->blocks) + shape->sizeBytes + 1 + 4;
  if (shape->blocks == 0 || needed > shape->headerSize || shape->headerSize > shape->fileSize)
    return error(ERR_BROKEN, 8);
  return 0;
}

// The block offsets, the last block's plain size and the distances from the size fields.
// Returns 0 or the number of the failed check.
int readSizeFields(BitReader& r, const HeaderShape& shape, CompressedTable* table) {
  const uint32_t blocks = shape.blocks;
  uint64_t* offsets = table->offsets;
  uint64_t offset = shape.headerSize;
  for (uint32_t i = 0; i <= blocks; ++i) {
    uint32_t size = r.bits(shape.blockLog);
    if (size == 0) size = table->blockSize;
    if (i == blocks) {
      table->lastBlockSize = size;
      break;
    }
    offsets[i] = offset;
    offset += size;
  }
  offsets[blocks] = offset;
  int check = 0;
  if (offset > shape.fileSize) check = 13;  // blocks run past the end of the file
  if (offsets[blocks] - offsets[blocks - 1] > table->lastBlockSize) check = 16;
  for (int d = 0; d < DISTANCE_CODES; ++d) table->distance[d] = r.bits(shape.blockLog);
  return check;
}

}  // namespace

int openCompressed(std::FILE* file, CompressedTable** out) {
  *out = nullptr;
  uint8_t fixed[HEADER_FIXED_BYTES];
  HeaderShape shape;
  if (const int err = readFixedFields(file, fixed, &shape)) return err;
  const uint32_t headerSize = shape.headerSize, blocks = shape.blocks;

  uint8_t* header = static_cast<uint8_t*>(std::malloc(headerSize));
  if (!header) return error(ERR_MEMORY, 9);
  std::memcpy(header, fixed, sizeof fixed);
  if (std::fread(header + sizeof fixed, 1, headerSize - sizeof fixed, file) !=
      headerSize - sizeof fixed) {
    std::free(header);
    return error(ERR_READ, 10);
  }
  if (checksum(header, headerSize - 4) != bigEndian32(header + headerSize - 4)) {
    std::free(header);
    return error(ERR_BROKEN, 11);
  }

  auto* table = static_cast<CompressedTable*>(std::malloc(sizeof(CompressedTable)));
  uint64_t* offsets = static_cast<uint64_t*>(std::malloc((uint64_t(blocks) + 1) * sizeof(uint64_t)));
  if (!table || !offsets) {
    std::free(table);
    std::free(offsets);
    std::free(header);
    return error(ERR_MEMORY, 12);
  }
  table->blockLog = shape.blockLog;
  table->blockSize = 1u << shape.blockLog;
  table->blocks = blocks;
  table->offsets = offsets;

  const uint8_t* bitsStart = header + HEADER_FIXED_BYTES + 8 * uint64_t(blocks);
  const uint8_t* bitsEnd = header + headerSize - 4;
  BitReader r;
  r.init(bitsStart, uint64_t(bitsEnd - bitsStart));
  int check = readSizeFields(r, shape, table);
  if (!check) {
    BitReader lr;
    lr.init(bitsStart + shape.sizeBytes, uint64_t(bitsEnd - bitsStart) - shape.sizeBytes);
    uint8_t lengths[MAIN_SYMBOLS];
    if (!readCodeLengths(lr, MAIN_SYMBOLS, lengths))
      check = 14;
    else if (!buildDecoder(lengths, MAIN_SYMBOLS, MAIN_TABLE_BITS, &table->main))
      check = 15;
  }
  std::free(header);
  if (check) {
    freeCompressed(table);
    return error(ERR_BROKEN, check);
  }
  *out = table;
  return 0;
}

int decodeBlockBytes(const CompressedTable* t, const uint8_t* input, uint32_t inputSize,
                     uint8_t* output, uint32_t outputSize) {
  if (inputSize == outputSize) {  // stored
    std::memcpy(output, input, inputSize);
    return 0;
  }
  BitReader r;
  r.init(input, inputSize);
  uint32_t pos = 0;
  while (pos < outputSize) {
    const int s = decodeSymbol(t->main, r);
    if (s < 0) return error(ERR_BROKEN, 20);
    if (s < 256) {
      output[pos++] = uint8_t(s);
      continue;
    }
    const int d = (s - 256) >> 5, l = (s - 256) & 31;
    uint32_t length;
    if (l <= 14) {
      length = uint32_t(l) + 1;
    } else {
      const int e = l - 14;
      length = (1u << e) + r.bits(e) + 14;
    }
    const uint32_t distance = t->distance[d];
    if (distance == 0 || distance > pos) return error(ERR_BROKEN, 21);
    if (length > outputSize - pos) length = outputSize - pos;
    uint8_t* dst = output + pos;
    const uint8_t* src = dst - distance;
    if (distance >= 16) {
      // Whole 16-byte steps: at most 15 bytes land past the copy, inside the spare.
      for (uint32_t i = 0; i < length; i += 16) std::memcpy(dst + i, src + i, 16);
    } else {
      for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
    }
    pos += length;
    if (r.overrun()) return error(ERR_BROKEN, 22);
  }
  if (r.overrun()) return error(ERR_BROKEN, 22);
  return 0;
}

int decodeBlock(const CompressedTable* t, std::FILE* file, uint32_t block, uint8_t* output,
                uint8_t* input, uint32_t inputSize) {
  if (block >= t->blocks) return error(ERR_CALL, 30);
  const uint32_t plain = block == t->blocks - 1 ? t->lastBlockSize : t->blockSize;
  const uint64_t packed = t->offsets[block + 1] - t->offsets[block];
  if (packed > inputSize) return error(ERR_CALL, 31);
  if (packed > plain) return error(ERR_BROKEN, 32);
  if (!seekTo(file, t->offsets[block])) return error(ERR_READ, 33);
  if (std::fread(input, 1, packed, file) != packed) return error(ERR_READ, 34);
  return decodeBlockBytes(t, input, uint32_t(packed), output, plain);
}

}  // namespace tb
