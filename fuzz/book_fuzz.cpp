// The contents of white.bin and black.bin as the engine reads them, then the book probe
// of the engine's turn, with and without random choice, and the chosen move played.
//
// The first byte chooses how the rest becomes the two files: even, the rest is the start
// of both files as it stands; odd, its records are laid out from the slot where the probe
// of the position starts (the initial position for the white book, the one after 1. e4
// for the black book), so that short inputs reach the probe. The rest of each file is
// empty slots.
#include <algorithm>
#include <cstring>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "book/book.h"
#include "fuzz_support.h"

namespace {

Engine* engine;
uint8_t image[BOOK_FILE_BYTES];

struct Probe {
  int side;
  const char* fen[6];
};
const Probe kProbes[] = {
    {WHITE, {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "w", "KQkq", "-", "0", "1"}},
    {BLACK, {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR", "b", "KQkq", "e3", "0", "1"}},
};

void setPosition(Engine* e, const Probe& probe) {
  const char* const* f = probe.fen;
  if (!setBoardFromFen(f[0], f[1][0], f[2], f[3], f[4], f[5], &e->sideToMove, &e->position,
                       &e->records[0], &e->tables, false))
    __builtin_trap();
  e->records[1] = e->records[0];
}

// The book file of one side: the bytes as they stand, or laid out from the probe's home
// slot (wrapping to slot 1 as the probe does).
void readBook(Engine* e, const Probe& probe, bool fromHomeSlot, const uint8_t* data,
              size_t size) {
  BookEntry* table = bookOf(probe.side);
  if (!fromHomeSlot) {
    std::FILE* f = fuzz::openBytes(data, size);
    readBookStream(f, table);
    std::fclose(f);
    return;
  }
  setPosition(e, probe);
  const uint32_t home = homeSlot(bookKey(&e->records[0]));
  const size_t records = std::min<size_t>(size / BOOK_RECORD_BYTES, BOOK_SLOTS - 1);
  uint32_t slot = home;
  for (size_t i = 0; i < records; ++i, slot = nextSlot(slot))
    std::memcpy(image + size_t(slot) * BOOK_RECORD_BYTES, data + i * BOOK_RECORD_BYTES,
                BOOK_RECORD_BYTES);
  std::FILE* f = fuzz::openBytes(image, sizeof image);
  readBookStream(f, table);
  std::fclose(f);
  slot = home;
  for (size_t i = 0; i < records; ++i, slot = nextSlot(slot))
    std::memset(image + size_t(slot) * BOOK_RECORD_BYTES, 0, BOOK_RECORD_BYTES);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  engine = fuzz::startEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Engine* e = engine;
  const bool fromHomeSlot = data[0] & 1;
  for (const Probe& probe : kProbes) readBook(e, probe, fromHomeSlot, data + 1, size - 1);
  for (const Probe& probe : kProbes) {
    for (const bool randomChoice : {false, true}) {
      setPosition(e, probe);
      e->position.modeFlags &= ~RANDOM_MODE;
      if (randomChoice) e->position.modeFlags |= RANDOM_MODE;
      seedRandom(1);
      const Move move = bookProbe(e->sideToMove, &e->position, e->records, &e->tables);
      if (!move) continue;
      makeMove(e->sideToMove, 1, move, &e->position, e->records, &e->tables);
      unmakeMove(e->sideToMove, 1, move, &e->position, e->records);
    }
  }
  return 0;
}
