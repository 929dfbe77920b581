// bookgen: makes the opening books of a data directory from PGN files, with the
// engine's own readPGN and readTextBooks.
//
//   bookgen [options] PGN... DIR
//
// The PGN games (a file ending in .xz is read through xz) become the text sources
// DIR/white and DIR/black, and those the books DIR/white.bin and DIR/black.bin. When
// both books exist it does nothing (unless -f). The four files are made in a scratch
// directory inside DIR and moved into place only when all went well.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "book/book.h"
#include "book/bookbuild.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int DEFAULT_MOVES = 10;  // keeps the default books near half full
constexpr const char* SCRATCH = "book-build.tmp";

struct Options {
  bool force = false;
  bool quiet = false;
  int moves = DEFAULT_MOVES;
  std::string player = ALL_PLAYERS;
  std::vector<fs::path> games;
  fs::path dir;
};

void usage() {
  std::printf(
      "usage: bookgen [options] PGN... DIR   make DIR/white.bin and DIR/black.bin from PGN\n"
      "                                      games (files ending in .xz are decompressed)\n"
      "options:\n"
      "  -m, --moves N     move pairs kept per game (default %d)\n"
      "  -p, --player NAME only the games NAME won (as written in the White/Black tags)\n"
      "  -f, --force       make the books even when they exist (replaces DIR/white,\n"
      "                    DIR/black, DIR/white.bin and DIR/black.bin)\n"
      "  -q, --quiet       no progress characters\n",
      DEFAULT_MOVES);
}

bool parseOptions(int argc, char** argv, Options* o) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-f" || a == "--force") {
      o->force = true;
    } else if (a == "-q" || a == "--quiet") {
      o->quiet = true;
    } else if ((a == "-m" || a == "--moves") && i + 1 < argc) {
      o->moves = std::atoi(argv[++i]);
    } else if ((a == "-p" || a == "--player") && i + 1 < argc) {
      o->player = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      return false;
    } else {
      words.push_back(a);
    }
  }
  if (words.size() < 2 || o->moves < 1) return false;
  for (size_t i = 0; i + 1 < words.size(); ++i) o->games.push_back(fs::absolute(words[i]));
  o->dir = fs::absolute(words.back());
  return true;
}

// Runs "xz -dc source" with its output into target.
bool decompress(const fs::path& source, const fs::path& target) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, target.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string input = source.string();
  char xz[] = "xz", flags[] = "-dc", end[] = "--";
  char* args[] = {xz, flags, end, input.data(), nullptr};
  pid_t pid;
  const int error = posix_spawnp(&pid, "xz", &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error) {
    std::fprintf(stderr, "bookgen: can't run xz (%s)\n", std::strerror(error));
    return false;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::fprintf(stderr, "bookgen: xz could not read %s\n", source.c_str());
  return false;
}

// Standard output into /dev/null while the builder prints its progress characters.
int silence() {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) {
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  return saved;
}

void restore(int saved) {
  std::fflush(stdout);
  if (saved >= 0) {
    dup2(saved, STDOUT_FILENO);
    close(saved);
  }
}

// The engine's board, as a new game sets it up.
struct Board {
  int side = WHITE;
  Position position{};
  UndoRecord records[MAX_PLY]{};
  BoardTables tables{};
};
Board board;

int run(const Options& o) {
  const fs::path whiteBin = o.dir / "white.bin", blackBin = o.dir / "black.bin";
  if (!o.force && fs::exists(whiteBin) && fs::exists(blackBin)) {
    std::printf("bookgen: %s and %s exist; nothing to do\n", whiteBin.c_str(), blackBin.c_str());
    return 0;
  }
  std::error_code error;
  const fs::path scratch = o.dir / SCRATCH;
  fs::remove_all(scratch, error);
  if (!fs::create_directories(scratch, error)) {
    std::fprintf(stderr, "bookgen: can't make %s\n", scratch.c_str());
    return 1;
  }
  fs::current_path(scratch);

  for (const fs::path& games : o.games) {
    fs::path input = games;
    if (games.extension() == ".xz") {
      input = scratch / "games.pgn";
      if (!decompress(games, input)) return 1;
    }
    const PgnTally tally = readPGN(input.c_str(), o.player.c_str(), o.moves);
    if (!tally.read) return 1;
    std::printf("%s: %d games for White's book, %d for Black's\n", games.c_str(),
                tally.whiteGames, tally.blackGames);
    if (input != games) fs::remove(input);
  }

  initBitScanTables();
  initBoardTables(&board.tables);
  initSlidingAttacks();
  initHashKeys(&board.tables);
  setStartPosition(&board.side, &board.position, &board.records[0], &board.tables);
  const int saved = o.quiet ? silence() : -1;
  const auto start = std::chrono::steady_clock::now();
  const bool built = readTextBooks(&board.side, &board.position, board.records, &board.tables);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  restore(saved);
  if (!built) return 1;
  std::printf("books compiled in %.2f seconds\n", seconds);
  for (int side : {WHITE, BLACK}) {
    const uint32_t used = occupiedSlots(bookOf(side));
    std::printf("%s.bin: %u of %u slots in use (%.1f %%)\n", side == WHITE ? "white" : "black",
                used, BOOK_SLOTS, 100.0 * used / BOOK_SLOTS);
  }

  fs::current_path(o.dir);
  for (const char* name : {"white", "black", "white.bin", "black.bin"}) {
    fs::rename(scratch / name, o.dir / name, error);
    if (error) {
      std::fprintf(stderr, "bookgen: can't move %s into %s\n", name, o.dir.c_str());
      return 1;
    }
  }
  fs::remove_all(scratch, error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parseOptions(argc, argv, &o)) {
    usage();
    return 2;
  }
  if (!fs::is_directory(o.dir)) {
    std::fprintf(stderr, "bookgen: %s is not a directory\n", o.dir.c_str());
    return 1;
  }
  return run(o);
}
