// The book sources: PGN files as readPGN reads them, and the text books "white" and
// "black" as readTextBooks, whiteFEN and blackFEN replay them.
//
// The first byte chooses: 0 to 3, the rest is a PGN file given to readPGN (with every
// player or a named one, and 1 to 64 move pairs), whose sources are then replayed; 4 and
// up, the rest is itself the source "white" (even) or "black" (odd). A source move that
// matches no legal move ends the replay as it would end readTextBooks (which exits).
#include <unistd.h>

#include "board/position.h"
#include "book/book.h"
#include "book/bookbuild.h"
#include "fuzz_support.h"

namespace {

Engine* engine;

void newOpening(Engine* e) {
  setStartPosition(&e->sideToMove, &e->position, &e->records[0], &e->tables);
  e->records[1] = e->records[0];
}

// Compiles the source into its book and lists its positions, as the commands would.
void replay(Engine* e, const char* name, int bookSide) {
  std::FILE* f = std::fopen(name, "r");
  if (!f) return;
  clearBook(bookOf(bookSide));
  SourceTally tally{};
  newOpening(e);
  compileSource(f, bookSide, &tally, &e->sideToMove, &e->position, e->records, &e->tables);
  std::rewind(f);
  newOpening(e);
  listSourcePositions(f, bookSide, &e->sideToMove, &e->position, e->records, &e->tables);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  engine = fuzz::startEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Engine* e = engine;
  for (const char* source : {"white", "black"}) unlink(source);
  const uint8_t choice = data[0];
  if (choice < 4) {
    fuzz::writeFile("games.pgn", data + 1, size - 1);
    readPGN("games.pgn", choice & 1 ? "Tal" : ALL_PLAYERS, choice & 2 ? 64 : 12);
  } else {
    fuzz::writeFile(choice & 1 ? "black" : "white", data + 1, size - 1);
  }
  replay(e, "white", WHITE);
  replay(e, "black", BLACK);
  return 0;
}
