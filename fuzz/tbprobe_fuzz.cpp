// tbprobe's input: one FEN a line, probed through the engine's tablebase probe with the
// three-man tables registered.
#include <string>

#include "../tools/tbprobe/probe_text.h"
#include "board/bitboard.h"
#include "fuzz_support.h"

namespace {

constexpr int MAX_LINES = 64;
Engine* engine;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUpSmallTablebases();
  engine = fuzz::startEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Engine* e = engine;
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (int line = 0; line < MAX_LINES && start <= text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    probeFenLine(text.substr(start, end - start), &e->position, e->records, &e->tables);
    start = end + 1;
  }
  return 0;
}
