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
#include <sstream>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "movegen/attacks.h"
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
      "Without FEN arguments, FENs are read one per line from standard input.\n"
      "Exit code 1 when a FEN was malformed or its position illegal.\n");
}

const char* const MALFORMED = "malformed FEN";
const char* const ILLEGAL = "illegal position";

bool isSquare(const std::string& s) {
  return s.size() == 2 && s[0] >= 'a' && s[0] <= 'h' && s[1] >= '1' && s[1] <= '8';
}

bool isCount(const std::string& s) {
  return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string::npos;
}

// Eight ranks of eight squares each. (The engine's own reader takes shorter ones.)
bool eightByEight(const std::string& placement) {
  int ranks = 1, squares = 0;
  for (const char c : placement) {
    if (c == '/') {
      if (squares != 8) return false;
      ++ranks;
      squares = 0;
    } else {
      squares += c >= '1' && c <= '8' ? c - '0' : 1;
    }
  }
  return ranks == 8 && squares == 8;
}

// The fields besides the placement's pieces; missing ones take their usual defaults.
bool fieldsWellFormed(const std::string f[6]) {
  if (!eightByEight(f[0]) || (f[1] != "w" && f[1] != "b")) return false;
  if (f[2] != "-" && (f[2].empty() || f[2].find_first_not_of("KQkq") != std::string::npos))
    return false;
  return (f[3] == "-" || isSquare(f[3])) && isCount(f[4]) && isCount(f[5]);
}

// The answer for one line: a value, "not found", MALFORMED or ILLEGAL; empty for a blank line.
std::string probe(Engine& en, const std::string& fen) {
  std::istringstream in(fen);
  std::string f[6] = {"", "w", "-", "-", "0", "1"};
  for (auto& field : f)
    if (!(in >> field)) break;
  if (f[0].empty()) return "";
  std::string extra;
  if (in >> extra || !fieldsWellFormed(f)) return MALFORMED;
  int board[64];
  const PlacementStatus status = readPlacement(f[0].c_str(), board);
  if (status == PLACEMENT_MALFORMED) return MALFORMED;
  if (status == PLACEMENT_ILLEGAL) return ILLEGAL;
  int side = WHITE;
  if (!setBoardFromFen(f[0].c_str(), f[1][0], f[2].c_str(), f[3].c_str(), f[4].c_str(), f[5].c_str(), &side,
                       &en.position, &en.records[0], &en.tables, false))
    return ILLEGAL;
  if (sideNotToMoveInCheck(side, &en.position, &en.records[0], &en.tables)) return ILLEGAL;
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

  bool badInput = false;
  auto answer = [&](const std::string& fen) {
    const std::string value = probe(en, fen);
    if (value.empty()) return;
    std::printf("%s: %s\n", fen.c_str(), value.c_str());
    badInput |= value == MALFORMED || value == ILLEGAL;
  };
  if (fens.empty()) {
    for (std::string line; std::getline(std::cin, line);) answer(line);
  } else {
    for (const std::string& fen : fens) answer(fen);
  }
  return badInput ? 1 : 0;
}
