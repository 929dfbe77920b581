// Opening-book benchmark: readTextBooks over the text sources of a data directory, then
// probes of the books it built.
//   book_bench [DATA_DIR] [SECONDS]
// Defaults: data (the sources bookgen leaves there), 2 seconds per probe kind. The books
// are written into a scratch directory, never into DATA_DIR.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "book/book.h"
#include "book/bookbuild.h"

namespace fs = std::filesystem;

namespace {

struct Sample {
  Position position;
  UndoRecord records[2];
  int side;
};

struct Board {
  int side = WHITE;
  Position position{};
  UndoRecord records[MAX_PLY]{};
  BoardTables tables{};
};
Board board;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Positions of book lines: from the start, book moves chosen at random until the book
// has none.
std::vector<Sample> bookPositions(int lines) {
  std::vector<Sample> samples;
  for (int line = 0; line < lines; ++line) {
    setStartPosition(&board.side, &board.position, &board.records[0], &board.tables);
    board.position.modeFlags |= RANDOM_MODE;
    for (;;) {
      Sample s{board.position, {board.records[0], board.records[0]}, board.side};
      const Move move = bookProbe(board.side, &board.position, board.records, &board.tables);
      if (!move) break;
      samples.push_back(s);
      makeMove(board.side, 1, move, &board.position, board.records, &board.tables);
      board.records[0] = board.records[1];
      board.side ^= 1;
    }
  }
  return samples;
}

template <typename Probe>
void timeProbes(const char* what, std::vector<Sample>& samples, double seconds, Probe probe) {
  uint64_t probes = 0, found = 0;
  const double start = now();
  double elapsed = 0;
  do {
    for (Sample& s : samples) found += probe(s) != 0;
    probes += samples.size();
    elapsed = now() - start;
  } while (elapsed < seconds);
  std::printf("%-34s %8.1f ns a probe (%llu probes, %.0f %% found)\n", what,
              elapsed * 1e9 / double(probes), (unsigned long long)probes,
              100.0 * double(found) / double(probes));
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path data = fs::absolute(argc > 1 ? argv[1] : "data");
  const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
  if (!fs::exists(data / "white") || !fs::exists(data / "black")) {
    std::fprintf(stderr, "no text sources in %s (build/bookgen makes them)\n", data.c_str());
    return 2;
  }
  // In the system's temporary directory (TMPDIR where set), not a fixed path.
  std::string pattern = (fs::temp_directory_path() / "book-bench-XXXXXX").string();
  char* scratch = mkdtemp(pattern.data());
  if (!scratch) return 2;
  fs::create_symlink(data / "white", fs::path(scratch) / "white");
  fs::create_symlink(data / "black", fs::path(scratch) / "black");
  fs::current_path(scratch);

  initTables(&board.tables);
  setStartPosition(&board.side, &board.position, &board.records[0], &board.tables);
  std::fflush(stdout);
  const double start = now();
  readTextBooks(&board.side, &board.position, board.records, &board.tables);
  const double built = now() - start;
  uint32_t inserted = 0;
  for (int side : {WHITE, BLACK}) {
    const BookEntry* table = bookOf(side);
    for (uint32_t i = 0; i < BOOK_SLOTS; ++i) inserted += table[i].weight;
  }
  std::printf("readTextBooks: %u book moves in %.2f s, %.0f book moves a second\n", inserted,
              built, inserted / built);
  fs::current_path("/");
  fs::remove_all(scratch);

  std::vector<Sample> samples = bookPositions(2000);
  std::printf("%zu positions on 2000 random book lines (%.1f plies a line)\n", samples.size(),
              double(samples.size()) / 2000.0);
  timeProbes("table walk (chooseBookEntry)", samples, seconds, [](Sample& s) {
    return chooseBookEntry(bookOf(s.side), bookKey(&s.records[0]), true) != nullptr;
  });
  timeProbes("bookProbe (with the legality test)", samples, seconds, [](Sample& s) {
    return bookProbe(s.side, &s.position, s.records, &board.tables);
  });
  std::vector<Sample> misses = samples;
  for (Sample& s : misses) s.records[0].hashKey = random64();
  timeProbes("table walk, positions not in book", misses, seconds, [](Sample& s) {
    return chooseBookEntry(bookOf(s.side), bookKey(&s.records[0]), true) != nullptr;
  });
  return 0;
}
