// tbprobe: the value of positions in the endgame tablebases, through the engine's own
// probe (tbInit, tbSetCache, tbProbe).
//
//   tbprobe [-d DIRS] [-c MB] [FEN ...]
//
// Each FEN is one argument (quote it); without any, FENs are read one per line from
// standard input. Each position prints "FEN: VALUE", VALUE being "mate in N" (the side to
// move mates with its N-th move), "mated in N" (the other side mates with its N-th move;
// 0 when the side to move is checkmated), "draw" or "not found" (no table has it). A line
// that is no FEN prints "FEN: malformed FEN", a position that cannot arise in a game
// "FEN: illegal position"; the exit code is then 1.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "probe_text.h"
#include "tablebase/tablebase.h"

namespace {

struct Engine {
  Position position{};
  UndoRecord records[MAX_PLY]{};
  BoardTables tables{};
};

void usage() {
  std::printf(
      "usage: tbprobe [-d DIRS] [-c MB] [FEN ...]\n"
      "  -d DIRS  tablebase directories, separated by ',' or ';' (default: the current one)\n"
      "  -c MB    block cache size in megabytes (default 32)\n"
      "Without FEN arguments, FENs are read one per line from standard input.\n"
      "Exit code 1 when a FEN was malformed or its position illegal.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string dirs;
  uint64_t cacheMb = 32;
  std::vector<std::string> fens;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-d" && i + 1 < argc) {
      dirs = argv[++i];
    } else if (a == "-c" && i + 1 < argc) {
      cacheMb = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "-h" || a == "--help") {
      usage();
      return 0;
    } else {
      fens.push_back(a);
    }
  }
  static Engine en;
  initTables(&en.tables);
  const int reach = tbInit(dirs.c_str());
  if (reach == 0) std::fprintf(stderr, "tbprobe: no tablebase files in %s\n", dirs.empty() ? "." : dirs.c_str());
  const uint64_t bytes = cacheMb << 20;
  std::vector<uint8_t> cache(bytes);
  if (!tbSetCache(cache.data(), bytes)) std::fprintf(stderr, "tbprobe: the cache cannot be set up\n");

  bool badInput = false;
  auto answer = [&](const std::string& fen) {
    const std::string value = probeFenLine(fen, &en.position, en.records, &en.tables);
    if (value.empty()) return;
    std::printf("%s: %s\n", fen.c_str(), value.c_str());
    badInput |= value == MALFORMED_FEN || value == ILLEGAL_POSITION;
  };
  if (fens.empty()) {
    for (std::string line; std::getline(std::cin, line);) answer(line);
  } else {
    for (const std::string& fen : fens) answer(fen);
  }
  return badInput ? 1 : 0;
}
