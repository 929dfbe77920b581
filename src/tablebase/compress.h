// Writing compressed tablebase files: the inverse of decode.h. Used by the tbcompress
// tool and by the tests; not part of the engine's probing path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tb {

struct CompressStats {
  uint64_t plainBytes = 0;
  uint64_t packedBytes = 0;  // whole file, header included
  uint32_t blocks = 0;
  uint32_t storedBlocks = 0;  // blocks kept uncompressed
};

// Compresses a byte array into the bytes of a compressed file (blocks of 2^blockLog).
std::vector<uint8_t> compressBytes(const uint8_t* data, uint64_t size, CompressStats* stats = nullptr,
                                   int blockLog = 13);

// Reads back the file just written (written) against the plain file (plain); false,
// with the reason in error, when it does not hold the plain file's contents.
using FileCheck = bool (*)(const char* plain, const char* written, std::string* error);

// Compresses the plain file input into output. The output is written under a temporary
// name, checked by check when one is given, and only then renamed to output, so output
// is never a part of a file. Returns true on success; otherwise error holds the reason
// and output is as it was.
bool compressFile(const char* input, const char* output, CompressStats* stats, std::string* error,
                  FileCheck check = nullptr);

}  // namespace tb
