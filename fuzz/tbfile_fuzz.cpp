// Compressed tablebase files: the header as registration reads it, then every block
// decoded as the block cache decodes it. The check value at the end of the header is
// recomputed first (when the header size fits the input), so that mutations reach the
// fields behind it; the banner and every other check stay.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "tablebase/decode.h"
#include "tablebase/tablebase.h"

namespace {

constexpr uint32_t MAX_BLOCK = 1u << tb::MAX_BLOCK_LOG;
constexpr uint32_t MAX_BLOCKS_DECODED = 64;
uint8_t input[MAX_BLOCK];
uint8_t output[MAX_BLOCK + TB_BLOCK_SPARE];

uint32_t bigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::startInScratchDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  if (size >= size_t(tb::MIN_HEADER_BYTES)) {
    const uint32_t headerSize = bigEndian32(file.data() + 64);
    if (headerSize >= uint32_t(tb::MIN_HEADER_BYTES) && headerSize <= size) {
      const uint32_t sum = tb::checksum(file.data(), headerSize - 4);
      for (int i = 0; i < 4; ++i) file[headerSize - 4 + i] = uint8_t(sum >> (24 - 8 * i));
    }
  }
  std::FILE* f = fuzz::openBytes(file.data(), file.size());
  tb::CompressedTable* table = nullptr;
  if (tb::openCompressed(f, &table) == 0) {
    for (uint32_t b = 0; b < table->blocks && b < MAX_BLOCKS_DECODED; ++b)
      tb::decodeBlock(table, f, b, output, input, table->blockSize);
    tb::freeCompressed(table);
  }
  std::fclose(f);
  return 0;
}
