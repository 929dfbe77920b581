#include "tablebase/compress.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <queue>
#include <sys/types.h>

#include "support/replacefile.h"
#include "tablebase/decode.h"
#include "tablebase/tablebase.h"

namespace tb {
namespace {

constexpr int MIN_MATCH = 3;
constexpr int MAIN_LENGTH_LIMIT = 24;  // well inside the format's 31, keeps trees shallow
constexpr int SAMPLE_BLOCKS = 8;
constexpr uint32_t SAMPLE_STRIDE = 8;

// Reads block i of the plain data into buf (n bytes).
using BlockReader = std::function<bool(uint64_t offset, uint8_t* buf, uint32_t n)>;

struct BitWriter {
  std::vector<uint8_t> bytes;
  uint64_t acc = 0;
  int count = 0;  // bits in acc

  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      acc = acc << 1 | ((value >> i) & 1);
      if (++count == 8) {
        bytes.push_back(uint8_t(acc));
        acc = 0;
        count = 0;
      }
    }
  }
  void flush() {
    if (count) put(0, 8 - count);
  }
};

struct Token {
  uint16_t symbol;
  uint8_t extraBits;
  uint32_t extra;
};

// Length code and extra bits of a copy length (1 .. 2^18 + 13).
void lengthCode(uint32_t length, int* code, int* extraBits, uint32_t* extra) {
  if (length <= 15) {
    *code = int(length) - 1;
    *extraBits = 0;
    *extra = 0;
    return;
  }
  int e = 1;
  while ((1u << (e + 1)) + 14 <= length) ++e;
  *code = 14 + e;
  *extraBits = e;
  *extra = length - (1u << e) - 14;
}

// Greedy LZ77 over the file's distances, with one step of lazy matching.
void parseBlock(const uint8_t* data, uint32_t n, const uint32_t* distance, std::vector<Token>* out) {
  out->clear();
  auto longest = [&](uint32_t i, int* code) {
    uint32_t best = 0;
    for (int d = 0; d < DISTANCE_CODES; ++d) {
      const uint32_t dist = distance[d];
      if (dist == 0 || dist > i) continue;
      const uint8_t* a = data + i;
      const uint8_t* b = a - dist;
      const uint32_t limit = n - i;
      uint32_t m = 0;
      while (m < limit && a[m] == b[m]) ++m;
      if (m > best) {
        best = m;
        *code = d;
      }
    }
    return best;
  };
  uint32_t i = 0;
  while (i < n) {
    int code = 0;
    uint32_t len = longest(i, &code);
    if (len >= MIN_MATCH && len < 64 && i + 1 < n) {
      int nextCode = 0;
      if (longest(i + 1, &nextCode) > len + 1) len = 0;  // a literal first pays off
    }
    if (len < MIN_MATCH) {
      out->push_back(Token{data[i], 0, 0});
      ++i;
      continue;
    }
    int lc, eb;
    uint32_t extra;
    lengthCode(len, &lc, &eb, &extra);
    out->push_back(Token{uint16_t(256 + 32 * code + lc), uint8_t(eb), extra});
    i += len;
  }
}

// Huffman code lengths for the frequencies, none above limit. One used symbol gets
// length 1; no used symbol gives all zeros.
std::vector<uint8_t> codeLengths(const std::vector<uint64_t>& freq, int limit) {
  const size_t n = freq.size();
  std::vector<uint8_t> lengths(n, 0);
  std::vector<uint64_t> f = freq;
  size_t used = 0;
  size_t last = 0;
  for (size_t s = 0; s < n; ++s)
    if (f[s]) ++used, last = s;
  if (used == 0) return lengths;
  if (used == 1) {
    lengths[last] = 1;
    return lengths;
  }
  for (;;) {
    // Nodes 0..n-1 are symbols; parents follow.
    std::vector<int> parent(2 * n, -1);
    using Item = std::pair<uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
    for (size_t s = 0; s < n; ++s)
      if (f[s]) heap.push({f[s], int(s)});
    int next = int(n);
    while (heap.size() > 1) {
      const Item a = heap.top();
      heap.pop();
      const Item b = heap.top();
      heap.pop();
      parent[size_t(a.second)] = next;
      parent[size_t(b.second)] = next;
      heap.push({a.first + b.first, next++});
    }
    int longest = 0;
    for (size_t s = 0; s < n; ++s) {
      if (!f[s]) continue;
      int depth = 0;
      for (int p = parent[s]; p >= 0; p = parent[size_t(p)]) ++depth;
      lengths[s] = uint8_t(depth);
      longest = std::max(longest, depth);
    }
    if (longest <= limit) return lengths;
    for (auto& x : f)  // flatten the distribution and try again
      if (x) x = (x >> 1) | 1;
  }
}

// The code-length table format: one bit "any", then for up to 128 entries a width and
// the lengths with zero runs, for more a nested table and run-length codes.
void writeCodeLengths(BitWriter& w, const std::vector<uint8_t>& lengths) {
  const int n = int(lengths.size());
  if (std::all_of(lengths.begin(), lengths.end(), [](uint8_t x) { return x == 0; })) {
    w.put(0, 1);
    return;
  }
  w.put(1, 1);
  if (n <= NESTED_SYMBOLS) {
    int width = 1;
    const int top = *std::max_element(lengths.begin(), lengths.end());
    while ((1 << width) <= top) ++width;
    w.put(uint32_t(width), 5);
    for (int i = 0; i < n;) {
      w.put(lengths[size_t(i)], width);
      if (lengths[size_t(i++)] != 0) continue;
      int zeros = 0;
      while (zeros < 15 && i + zeros < n && lengths[size_t(i + zeros)] == 0) ++zeros;
      w.put(uint32_t(zeros), 4);
      i += zeros;
    }
    return;
  }
  struct Item {
    int a, c, e;
    uint32_t x;
  };
  std::vector<Item> items;
  for (int i = 0; i < n;) {
    int run = 1;
    while (i + run < n && lengths[size_t(i + run)] == lengths[size_t(i)]) ++run;
    if (run < 2) {
      items.push_back({lengths[size_t(i)], -1, 0, 0});
      ++i;
      continue;
    }
    const uint32_t count = uint32_t(run - 2);
    if (count <= 31) {
      items.push_back({32 + lengths[size_t(i)], int(count), 0, 0});
    } else {
      int e = 0;
      while ((2u << e) <= count - 31) ++e;
      items.push_back({32 + lengths[size_t(i)], 32 + e, e, count - 31 - (1u << e)});
    }
    i += run;
  }
  std::vector<uint64_t> fa(64, 0), fc(64, 0);
  for (const Item& it : items) {
    ++fa[size_t(it.a)];
    if (it.c >= 0) ++fc[size_t(it.c)];
  }
  const std::vector<uint8_t> la = codeLengths(fa, MAX_CODE_LENGTH);
  const std::vector<uint8_t> lb = codeLengths(fc, MAX_CODE_LENGTH);
  std::vector<uint8_t> nested(la);
  nested.insert(nested.end(), lb.begin(), lb.end());
  writeCodeLengths(w, nested);
  uint32_t codeA[64], codeB[64];
  canonicalCodes(la.data(), 64, codeA);
  canonicalCodes(lb.data(), 64, codeB);
  auto emit = [&](const uint32_t* codes, const std::vector<uint8_t>& lens, int s) {
    const int used = int(std::count_if(lens.begin(), lens.end(), [](uint8_t x) { return x; }));
    if (used > 1) w.put(codes[s], lens[size_t(s)]);  // a one-symbol code takes no bits
  };
  for (const Item& it : items) {
    emit(codeA, la, it.a);
    if (it.c < 0) continue;
    emit(codeB, lb, it.c);
    if (it.c >= 32) w.put(it.x, it.e);
  }
}

// Distances that repeat four bytes most often in a sample of blocks.
void chooseDistances(const BlockReader& read, uint64_t size, uint32_t blockSize, uint32_t* distance) {
  const uint64_t blocks = (size + blockSize - 1) / blockSize;
  std::vector<uint64_t> score(blockSize, 0);
  std::vector<uint8_t> buf(blockSize);
  const uint64_t samples = std::min<uint64_t>(blocks, SAMPLE_BLOCKS);
  for (uint64_t s = 0; s < samples; ++s) {
    const uint64_t b = s * blocks / samples;
    const uint32_t n = uint32_t(std::min<uint64_t>(blockSize, size - b * blockSize));
    if (!read(b * blockSize, buf.data(), n) || n < 8) continue;
    std::vector<uint32_t> quad(n - 3);
    for (uint32_t p = 0; p + 4 <= n; ++p) std::memcpy(&quad[p], &buf[p], 4);
    for (uint32_t d = 1; d + 4 <= n; ++d) {
      uint64_t hits = 0;
      for (uint32_t p = d; p + 4 <= n; p += SAMPLE_STRIDE) hits += quad[p] == quad[p - d];
      score[d] += hits;
    }
  }
  std::vector<uint32_t> order;
  for (uint32_t d = 2; d < blockSize; ++d) order.push_back(d);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return score[a] > score[b]; });
  distance[0] = 1;  // runs
  for (int i = 1; i < DISTANCE_CODES; ++i)  // 0: unused (only tiny blocks lack candidates)
    distance[i] = size_t(i - 1) < order.size() ? order[size_t(i - 1)] : 0;
}

// Where the blocks of a file fall and how they are coded.
struct BlockPlan {
  int blockLog;
  uint32_t blockSize;
  uint32_t blocks;
  uint32_t lastSize;  // plain size of the last block
  uint32_t distance[DISTANCE_CODES];
  std::vector<uint8_t> lengths;  // the main code
  std::vector<uint32_t> codes;
  bool oneSymbol;  // a code of one symbol is written without bits

  uint32_t plainSize(uint32_t b) const { return b == blocks - 1 ? lastSize : blockSize; }
};

// The main code from the symbol counts of every block (a first pass over the data).
bool planCode(const BlockReader& read, BlockPlan* plan) {
  std::vector<uint8_t> buf(plan->blockSize);
  std::vector<Token> tokens;
  std::vector<uint64_t> freq(MAIN_SYMBOLS, 0);
  for (uint32_t b = 0; b < plan->blocks; ++b) {
    const uint32_t n = plan->plainSize(b);
    if (!read(uint64_t(b) * plan->blockSize, buf.data(), n)) return false;
    parseBlock(buf.data(), n, plan->distance, &tokens);
    for (const Token& t : tokens) ++freq[t.symbol];
  }
  plan->lengths = codeLengths(freq, MAIN_LENGTH_LIMIT);
  plan->codes.assign(MAIN_SYMBOLS, 0);
  canonicalCodes(plan->lengths.data(), MAIN_SYMBOLS, plan->codes.data());
  plan->oneSymbol =
      std::count_if(plan->lengths.begin(), plan->lengths.end(), [](uint8_t x) { return x; }) == 1;
  return true;
}

// The coded bytes of one block of n plain bytes; the caller stores the block plain when
// they come to n bytes or more.
std::vector<uint8_t> encodeBlock(const BlockPlan& plan, const std::vector<Token>& tokens,
                                 uint32_t n) {
  BitWriter w;
  for (const Token& t : tokens) {
    if (!plan.oneSymbol) w.put(plan.codes[t.symbol], plan.lengths[t.symbol]);
    if (t.extraBits) w.put(t.extra, t.extraBits);
    if (w.bytes.size() >= n) break;
  }
  w.flush();
  if (w.bytes.empty()) w.bytes.push_back(0);  // a size of 0 would read as 2^k
  return std::move(w.bytes);
}

// Bytes of the size fields: every block's packed size, the last block's plain size and
// the distances, blockLog bits each.
uint64_t sizeFieldBytes(const BlockPlan& plan) {
  return ((uint64_t(plan.blocks) + 1 + DISTANCE_CODES) * uint64_t(plan.blockLog) + 7) / 8;
}

// The finished header: banner, fixed fields, the two words per block, the size fields,
// the code-length table and the checksum.
void fillHeader(const BlockPlan& plan, const std::vector<uint32_t>& packedSize,
                const std::vector<uint32_t>& plainSum, const std::vector<uint8_t>& table,
                std::vector<uint8_t>* header) {
  std::vector<uint8_t>& h = *header;
  std::memcpy(h.data(), TB_BANNER, sizeof TB_BANNER);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
  };
  put32(64, uint32_t(h.size()));
  h[70] = uint8_t(plan.blockLog);
  h[71] = DISTANCE_CODES;
  put32(72, plan.blocks);
  put32(76, HEADER_CONSTANT);
  for (uint32_t b = 0; b < plan.blocks; ++b) {  // checksum of the plain block, packed size
    put32(HEADER_FIXED_BYTES + 8 * size_t(b), plainSum[b]);
    put32(HEADER_FIXED_BYTES + 8 * size_t(b) + 4, packedSize[b]);
  }
  BitWriter fields;
  const uint32_t mask = plan.blockSize - 1;  // 2^k is written as 0
  for (uint32_t b = 0; b < plan.blocks; ++b) fields.put(packedSize[b] & mask, plan.blockLog);
  fields.put(plan.lastSize & mask, plan.blockLog);
  for (int d = 0; d < DISTANCE_CODES; ++d) fields.put(plan.distance[d], plan.blockLog);
  fields.flush();
  size_t at = HEADER_FIXED_BYTES + 8 * size_t(plan.blocks);
  std::copy(fields.bytes.begin(), fields.bytes.end(), h.begin() + long(at));
  at += size_t(sizeFieldBytes(plan));
  std::copy(table.begin(), table.end(), h.begin() + long(at));
  put32(h.size() - 4, checksum(h.data(), h.size() - 4));
}

using BlockWriter = std::function<bool(uint64_t offset, const uint8_t* p, size_t n)>;

// Two passes over the data: the first counts the symbols for the code, the second writes
// the blocks behind a header of known size, which is written again once it is complete.
bool compressWith(const BlockReader& read, uint64_t size, int blockLog, const BlockWriter& write,
                  CompressStats* stats, std::string* error) {
  BlockPlan plan;
  plan.blockLog = blockLog;
  plan.blockSize = 1u << blockLog;
  if (size == 0) {
    *error = "empty input";
    return false;
  }
  const uint64_t blocks64 = (size + plan.blockSize - 1) / plan.blockSize;
  if (blocks64 > 0x1FFFFFFF) {
    *error = "input too large";
    return false;
  }
  plan.blocks = uint32_t(blocks64);
  plan.lastSize = uint32_t(size - uint64_t(plan.blocks - 1) * plan.blockSize);
  chooseDistances(read, size, plan.blockSize, plan.distance);
  if (!planCode(read, &plan)) {
    *error = "read error";
    return false;
  }

  BitWriter table;
  writeCodeLengths(table, plan.lengths);
  table.flush();
  const uint64_t headerSize = HEADER_FIXED_BYTES + 8 * uint64_t(plan.blocks) +
                              sizeFieldBytes(plan) + table.bytes.size() + 4;
  if (headerSize > 0xFFFFFFFFu) {
    *error = "header too large";
    return false;
  }
  std::vector<uint8_t> header(headerSize, 0);
  if (!write(0, header.data(), header.size())) {
    *error = "write error";
    return false;
  }

  std::vector<uint8_t> buf(plan.blockSize);
  std::vector<Token> tokens;
  std::vector<uint32_t> packedSize(plan.blocks), plainSum(plan.blocks);
  uint64_t offset = headerSize;
  uint32_t stored = 0;
  for (uint32_t b = 0; b < plan.blocks; ++b) {
    const uint32_t n = plan.plainSize(b);
    if (!read(uint64_t(b) * plan.blockSize, buf.data(), n)) {
      *error = "read error";
      return false;
    }
    parseBlock(buf.data(), n, plan.distance, &tokens);
    const std::vector<uint8_t> coded = encodeBlock(plan, tokens, n);
    const bool plain = coded.size() >= n;  // equal sizes mean "stored" to the reader
    const size_t outSize = plain ? n : coded.size();
    stored += plain;
    if (!write(offset, plain ? buf.data() : coded.data(), outSize)) {
      *error = "write error";
      return false;
    }
    packedSize[b] = uint32_t(outSize);
    plainSum[b] = checksum(buf.data(), n);
    offset += outSize;
  }

  fillHeader(plan, packedSize, plainSum, table.bytes, &header);
  if (!write(0, header.data(), header.size())) {
    *error = "write error";
    return false;
  }
  if (stats) {
    stats->plainBytes = size;
    stats->packedBytes = offset;
    stats->blocks = plan.blocks;
    stats->storedBlocks = stored;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> compressBytes(const uint8_t* data, uint64_t size, CompressStats* stats,
                                   int blockLog) {
  std::vector<uint8_t> out;
  auto read = [&](uint64_t offset, uint8_t* buf, uint32_t n) {
    std::memcpy(buf, data + offset, n);
    return true;
  };
  auto write = [&](uint64_t offset, const uint8_t* p, size_t n) {
    if (out.size() < offset + n) out.resize(offset + n);
    std::memcpy(out.data() + offset, p, n);
    return true;
  };
  std::string error;
  if (!compressWith(read, size, blockLog, write, stats, &error)) out.clear();
  return out;
}

bool compressFile(const char* input, const char* output, CompressStats* stats, std::string* error,
                  FileCheck check) {
  std::FILE* in = std::fopen(input, "rb");
  if (!in) {
    *error = std::string("cannot open ") + input;
    return false;
  }
  if (fseeko(in, 0, SEEK_END) != 0) {
    std::fclose(in);
    *error = std::string("cannot seek in ") + input;
    return false;
  }
  const off_t size = ftello(in);
  ReplacementFile out;
  if (!beginReplacement(output, &out)) {
    std::fclose(in);
    *error = std::string("cannot create ") + output + REPLACEMENT_SUFFIX + ": " + std::strerror(errno);
    return false;
  }
  auto read = [&](uint64_t offset, uint8_t* buf, uint32_t n) {
    return fseeko(in, off_t(offset), SEEK_SET) == 0 && std::fread(buf, 1, n, in) == n;
  };
  auto write = [&](uint64_t offset, const uint8_t* p, size_t n) {
    return fseeko(out.file, off_t(offset), SEEK_SET) == 0 && std::fwrite(p, 1, n, out.file) == n;
  };
  bool ok = size > 0 && compressWith(read, uint64_t(size), 13, write, stats, error);
  if (size <= 0) *error = "empty input";
  std::fclose(in);
  // The check reads the finished file back before it takes the output's name.
  if (ok && check && (std::fflush(out.file) != 0 || !check(input, out.temporary, error))) {
    if (error->empty()) *error = std::string("write error: ") + std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    abandonReplacement(&out);
    return false;
  }
  if (!commitReplacement(&out)) {
    *error = std::string("write error: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tb
