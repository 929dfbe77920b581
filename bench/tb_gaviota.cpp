// Every 3-man position, with either side to move and either colour owning the man,
// probed through the engine (tbInit, tbSetCache, tbProbe) must agree with the Gaviota
// tables that Debian ships (package gaviotatb, read with libgaviotatb-dev).
//
// Gaviota counts plies to mate. A win in d plies (d odd) is our "mate in (d + 1) / 2",
// which the probe scores 30000 - (d + 1); a loss in d plies (d even, 0 when mated) is
// our "mated in d / 2", stored as -32766 + d / 2 and scored -30000 + d.
//
//   tb_gaviota [DIR]
//
// With DIR, the files in DIR are compared; without, the 3-man tables are generated into
// a temporary directory, plain and compressed, and both are compared. Without the
// Gaviota library or tables the program says so and exits 0.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "movegen/attacks.h"
#include "tablebase/generator/generate.h"
#include "tablebase/generator/tablefile.h"
#include "tablebase/tablebase.h"

#ifdef VORLAK_HAVE_GAVIOTA
extern "C" {
#include <gtb-probe.h>
}
#endif

namespace {

#ifdef VORLAK_HAVE_GAVIOTA

struct Counts {
  uint64_t legal = 0, agree = 0, disagree = 0, notFound = 0, gaviotaMissing = 0;
  uint64_t illegal = 0, illegalFound = 0;
};

BoardTables tables;
Position position;
UndoRecord records[MAX_PLY];

bool inCheck(int side) {
  Bitboard checkers = 0;
  return findCheckers(side, &checkers, &position, &tables) != 0;
}

int adjacent(int a, int b) { return std::abs((a & 7) - (b & 7)) <= 1 && std::abs((a >> 3) - (b >> 3)) <= 1; }

Counts compareAll(const std::string& label) {
  Counts c;
  std::string firstFailure;
  for (int kind = 1; kind <= 5; ++kind)
    for (int manColour = 0; manColour < 2; ++manColour)
      for (int wk = 0; wk < 64; ++wk)
        for (int bk = 0; bk < 64; ++bk) {
          if (bk == wk || adjacent(wk, bk)) continue;
          for (int man = 0; man < 64; ++man) {
            if (man == wk || man == bk) continue;
            if (kind == 1 && ((man >> 3) == 0 || (man >> 3) == 7)) continue;
            int board[64] = {};
            board[wk] = WHITE_KING;
            board[bk] = BLACK_KING;
            board[man] = kind + (manColour ? 6 : 0);
            records[0] = UndoRecord{};
            rebuildPosition(board, &position, &records[0], &tables);
            for (int side : {WHITE, BLACK}) {
              int score = 0;
              const bool found = tbProbe(side, &score, &position, &records[0]) != 0;
              if (inCheck(side ^ 1)) {  // the side not to move in check: cannot occur
                ++c.illegal;
                c.illegalFound += found;
                continue;
              }
              ++c.legal;
              unsigned ws[3] = {unsigned(wk), tb_NOSQUARE, tb_NOSQUARE};
              unsigned bs[3] = {unsigned(bk), tb_NOSQUARE, tb_NOSQUARE};
              unsigned char wp[3] = {tb_KING, tb_NOPIECE, tb_NOPIECE};
              unsigned char bp[3] = {tb_KING, tb_NOPIECE, tb_NOPIECE};
              (manColour ? bs : ws)[1] = unsigned(man);
              (manColour ? bp : wp)[1] = static_cast<unsigned char>(kind);
              unsigned info = 0, plies = 0;
              if (!tb_probe_hard(side == WHITE ? tb_WHITE_TO_MOVE : tb_BLACK_TO_MOVE, tb_NOSQUARE, tb_NOCASTLE, ws,
                                 bs, wp, bp, &info, &plies)) {
                ++c.gaviotaMissing;
                continue;
              }
              int want = 0;
              if (info == tb_WMATE || info == tb_BMATE) {
                const bool moverWins = (info == tb_WMATE) == (side == WHITE);
                want = moverWins ? 30000 - int(plies + 1) : -30000 + int(plies);
              }
              if (!found) {
                ++c.notFound;
              } else if (score == want) {
                ++c.agree;
                continue;
              } else {
                ++c.disagree;
              }
              if (firstFailure.empty()) {
                char fen[FEN_SIZE];
                getFen(side, &position, &records[0], fen);
                firstFailure = std::string(fen) + ": probe " + (found ? std::to_string(score) : "not found") +
                               ", Gaviota " + std::to_string(want);
              }
            }
          }
        }
  std::printf("%-18s %9llu legal positions: %llu agree, %llu disagree, %llu not found, %llu not in Gaviota\n",
              label.c_str(), (unsigned long long)c.legal, (unsigned long long)c.agree,
              (unsigned long long)c.disagree, (unsigned long long)c.notFound, (unsigned long long)c.gaviotaMissing);
  std::printf("%-18s %9llu positions with the side not to move in check: %llu answered\n", "",
              (unsigned long long)c.illegal, (unsigned long long)c.illegalFound);
  if (!firstFailure.empty()) std::printf("  first failure: %s\n", firstFailure.c_str());
  return c;
}

bool generateInto(const std::string& dir, bool compress) {
  tbgen::TableSet done;
  std::string error;
  std::filesystem::create_directories(dir);
  for (const char* name : {"knk", "kbk", "krk", "kqk", "kpk"}) {
    tbgen::GenStats gs;
    std::vector<tbgen::FileStats> fs;
    if (!tbgen::generate(name, done, 2, &gs, &error) || !tbgen::writeTable(*done[name], dir, compress, &fs, &error)) {
      std::printf("cannot make %s: %s\n", name, error.c_str());
      return false;
    }
  }
  return true;
}

std::string gaviotaDirectory() {
  for (const char* d : {"/usr/share/gaviotatb/gtb4", "/usr/share/gaviotatb/gtb3", "/usr/share/gaviotatb/gtb2",
                        "/usr/share/gaviotatb/gtb1"})
    if (std::filesystem::exists(std::string(d) + "/kqk.gtb.cp" + d[std::strlen(d) - 1])) return d;
  return "";
}

#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef VORLAK_HAVE_GAVIOTA
  (void)argc;
  (void)argv;
  std::printf("skipped: built without the Gaviota probing library (Debian: libgaviotatb-dev)\n");
  return 0;
#else
  const std::string gtb = gaviotaDirectory();
  if (gtb.empty()) {
    std::printf("skipped: no Gaviota 3-man tables (Debian: gaviotatb)\n");
    return 0;
  }
  const char** paths = tbpaths_init();
  paths = tbpaths_add(paths, gtb.c_str());
  tb_init(0, gtb.back() - '0', paths);
  tbcache_init(16 << 20, 0);

  initTables(&tables);
  static std::vector<uint8_t> cache(size_t(16) << 20);

  std::vector<std::pair<std::string, std::string>> runs;  // label, directory
  std::string temporary;
  if (argc > 1) {
    runs.push_back({argv[1], argv[1]});
  } else {
    char pattern[] = "/tmp/tb_gaviota.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    temporary = pattern;
    if (!generateInto(temporary + "/plain", false) || !generateInto(temporary + "/packed", true)) return 1;
    runs.push_back({"plain files", temporary + "/plain"});
    runs.push_back({"compressed files", temporary + "/packed"});
  }
  bool ok = true;
  for (const auto& [label, dir] : runs) {
    if (tbInit(dir.c_str()) < 3) {
      std::printf("%s: no 3-man tables in %s\n", label.c_str(), dir.c_str());
      ok = false;
      continue;
    }
    tbSetCache(cache.data(), cache.size());
    const Counts c = compareAll(label);
    ok = ok && c.disagree == 0 && c.notFound == 0 && c.gaviotaMissing == 0;
  }
  if (!temporary.empty()) std::filesystem::remove_all(temporary);
  tb_done();
  paths = tbpaths_done(paths);
  std::printf("%s\n", ok ? "every 3-man position agrees with Gaviota" : "DISAGREEMENT");
  return ok ? 0 : 1;
#endif
}
