// tbcompress INPUT [OUTPUT]: turns a plain tablebase file (one or two bytes per entry)
// into the compressed format the engine reads. OUTPUT defaults to INPUT + ".emd", the
// first compressed name the engine looks for. The result is decoded again and compared
// with the input before it takes OUTPUT's name; an existing OUTPUT is replaced only then.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tablebase/compress.h"
#include "tablebase/decode.h"
#include "tablebase/tablebase.h"

namespace {

// Decodes every block of the written file and compares it with the plain file.
bool verify(const char* plainName, const char* packedName, std::string* error) {
  std::FILE* plain = std::fopen(plainName, "rb");
  std::FILE* packed = std::fopen(packedName, "rb");
  bool ok = plain && packed;
  tb::CompressedTable* table = nullptr;
  if (ok && tb::openCompressed(packed, &table) != 0) {
    *error = "cannot read back the header";
    ok = false;
  }
  std::vector<uint8_t> input, output, expected;
  if (ok) {
    input.resize(table->blockSize);
    output.resize(table->blockSize + TB_BLOCK_SPARE);
    expected.resize(table->blockSize);
  }
  for (uint32_t b = 0; ok && table && b < table->blocks; ++b) {
    const uint32_t n = b + 1 == table->blocks ? table->lastBlockSize : table->blockSize;
    if (tb::decodeBlock(table, packed, b, output.data(), input.data(), uint32_t(input.size())) != 0 ||
        std::fread(expected.data(), 1, n, plain) != n || std::memcmp(expected.data(), output.data(), n) != 0) {
      *error = "block " + std::to_string(b) + " does not decode to the input";
      ok = false;
    }
  }
  if (ok && std::fgetc(plain) != EOF) {
    *error = "input longer than the decoded blocks";
    ok = false;
  }
  tb::freeCompressed(table);
  if (plain) std::fclose(plain);
  if (packed) std::fclose(packed);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s INPUT [OUTPUT]\n", argv[0]);
    return 2;
  }
  const std::string input = argv[1];
  const std::string output = argc == 3 ? argv[2] : input + ".emd";
  tb::CompressStats stats;
  std::string error;
  if (!tb::compressFile(input.c_str(), output.c_str(), &stats, &error, verify)) {
    std::fprintf(stderr, "tbcompress: %s: %s\n", input.c_str(), error.c_str());
    return 1;
  }
  std::printf("%s: %llu bytes -> %llu bytes (%.1f%%), %u blocks, %u stored\n", output.c_str(),
              static_cast<unsigned long long>(stats.plainBytes),
              static_cast<unsigned long long>(stats.packedBytes),
              stats.plainBytes ? 100.0 * double(stats.packedBytes) / double(stats.plainBytes) : 0.0,
              stats.blocks, stats.storedBlocks);
  return 0;
}
