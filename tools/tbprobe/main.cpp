// tbprobe: the value of positions in the endgame tablebases, through the engine's own
// probe (tbInit, tbSetCache, tbProbe).
//
//   tbprobe [-d DIRS] [-c MB] [FEN ...]
//
// Each FEN is one argument (quote it); without any, FENs are read one per line from
// standard input. Each position prints "FEN: VALUE", VALUE being "mate in N" (the side to
// move mates with its N-th move), "mated in N" (the other side mates with its N-th move;
// 0 when the side to move is checkmated), "draw" or "not found".
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "tablebase/tablebase.h"
#include "tablebase/generator/verify.h"

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
      "Without FEN arguments, FENs are read one per line from standard input.\n");
}

std::string probe(Engine& en, const std::string& fen) {
  std::istringstream in(fen);
  std::string f[6] = {"", "w", "-", "-", "0", "1"};
  for (auto& field : f)
    if (!(in >> field)) break;
  if (f[0].empty()) return "";
  int side = WHITE;
  // Both kings are required: the position set-up ends the process without one.
  const std::string& placement = f[0];
  if (placement.find('K') == std::string::npos || placement.find('k') == std::string::npos) return "not found";
  if (!setBoardFromFen(f[0].c_str(), f[1][0], f[2].c_str(), f[3].c_str(), f[4].c_str(), f[5].c_str(), &side,
                       &en.position, &en.records[0], &en.tables, false))
    return "not found";
  int score = 0;
  if (!tbProbe(side, &score, &en.position, &en.records[0])) return "not found";
  return tbgen::valueText(score);
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

  auto answer = [&](const std::string& fen) {
    const std::string value = probe(en, fen);
    if (!value.empty()) std::printf("%s: %s\n", fen.c_str(), value.c_str());
  };
  if (fens.empty()) {
    for (std::string line; std::getline(std::cin, line);) answer(line);
  } else {
    for (const std::string& fen : fens) answer(fen);
  }
  return 0;
}
