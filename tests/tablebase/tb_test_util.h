// Helpers shared by the tablebase tests: the men of an ending, an independent legality
// check, board symmetries, random positions, engine boards and scratch directories.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "board/position.h"
#include "tablebase/tablebase.h"
#include "scratch.h"
#include "test_support.h"

namespace tbtest {

// Men of one side of an ending by kind (0 pawn .. 4 queen); men[0] is the first side.
struct SideMen {
  int count[5] = {};
};

inline void endingMen(int ending, SideMen men[2]) {
  men[0] = men[1] = SideMen{};
  int side = -1;
  for (const char* p = tbEndings[size_t(ending)].name; *p; ++p)
    if (*p == 'k')
      ++side;
    else
      ++men[side].count[*p == 'p' ? 0 : *p == 'n' ? 1 : *p == 'b' ? 2 : *p == 'r' ? 3 : 4];
}

inline bool hasPawns(int ending) { return std::strchr(tbEndings[size_t(ending)].name, 'p'); }

// A piece list (unused squares 64): the king, then men added by list offset (PS_PAWN...).
struct List {
  int sq[PIECE_SQUARES_SIZE];
  explicit List(int king) {
    std::fill(sq, sq + PIECE_SQUARES_SIZE, 64);
    sq[PS_KING] = king;
  }
  List& add(int offset, int s) {
    int i = offset;
    while (sq[i] != 64) ++i;
    sq[i] = s;
    std::sort(sq + offset, sq + i + 1);
    return *this;
  }
};

// Does a man of kind (0 pawn .. 4 queen, 5 king) on from attack to? up: a pawn moving up.
inline bool attacks(int kind, int from, int to, bool up, const bool occupied[64]) {
  const int df = (to & 7) - (from & 7), dr = (to >> 3) - (from >> 3);
  const int adf = std::abs(df), adr = std::abs(dr);
  if (kind == 0) return adf == 1 && dr == (up ? 1 : -1);
  if (kind == 1) return adf * adr == 2;
  if (kind == 5) return adf <= 1 && adr <= 1 && (adf || adr);
  const bool diagonal = adf == adr && adf != 0, straight = (df == 0) != (dr == 0);
  if ((kind == 2 && !diagonal) || (kind == 3 && !straight) || (kind == 4 && !diagonal && !straight))
    return false;
  const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
  for (int f = (from & 7) + sf, r = (from >> 3) + sr; f != (to & 7) || r != (to >> 3);
       f += sf, r += sr)
    if (occupied[r * 8 + f]) return false;
  return true;
}

// Can the position arise with tbSide to move? Distinct squares, pawns off the first and
// last ranks, kings apart, the side not to move not in check; with an en-passant square,
// it and the square the pawn came from are empty.
inline bool legal(int ending, int tbSide, const int* first, const int* second,
                  int ep = TB_NO_EN_PASSANT) {
  SideMen men[2];
  endingMen(ending, men);
  bool occupied[64] = {};
  const int* lists[2] = {first, second};
  for (int c = 0; c < 2; ++c)
    for (int kind = 0; kind < 6; ++kind)
      for (int i = 0; i < (kind == 5 ? 1 : men[c].count[kind]); ++i) {
        const int s = lists[c][3 * kind + i];
        if (s < 0 || s > 63 || occupied[s] || (kind == 0 && (s < 8 || s > 55))) return false;
        occupied[s] = true;
      }
  if (ep != TB_NO_EN_PASSANT && (occupied[ep] || occupied[tbSide == 0 ? ep + 8 : ep - 8]))
    return false;
  if (attacks(5, first[PS_KING], second[PS_KING], true, occupied)) return false;
  for (int kind = 0; kind < 5; ++kind)
    for (int i = 0; i < men[tbSide].count[kind]; ++i)
      if (attacks(kind, lists[tbSide][3 * kind + i], lists[tbSide ^ 1][PS_KING], tbSide == 0,
                  occupied))
        return false;
  return true;
}

inline void sortMen(int* list, const SideMen& m) {
  for (int kind = 0; kind < 5; ++kind) std::sort(list + 3 * kind, list + 3 * kind + m.count[kind]);
}

// The eight symmetries of the board (0 identity, 1 files reversed, 2 ranks reversed,
// 4 transposed, and their combinations), applied to a list.
inline void transformList(const int* in, int* out, int t, const SideMen& m) {
  for (int i = 0; i < PIECE_SQUARES_SIZE; ++i) {
    int sq = in[i];
    if (sq >= 0 && sq < 64) {
      if (t & 4) sq = ((sq & 7) << 3) | (sq >> 3);
      sq ^= (t & 1 ? 7 : 0) ^ (t & 2 ? 56 : 0);
    }
    out[i] = sq;
  }
  sortMen(out, m);
}

// Small deterministic generator for sampled checks.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
};

// A random legal placement for the ending and side (the first side's pawns move up).
inline void randomLegal(int ending, int tbSide, Rng& rng, int* first, int* second) {
  SideMen men[2];
  endingMen(ending, men);
  int* lists[2] = {first, second};
  do
    for (int c = 0; c < 2; ++c) {
      std::fill(lists[c], lists[c] + PIECE_SQUARES_SIZE, 64);
      lists[c][PS_KING] = int(rng.next() % 64);
      for (int kind = 0; kind < 5; ++kind)
        for (int i = 0; i < men[c].count[kind]; ++i)
          lists[c][3 * kind + i] = kind == 0 ? 8 + int(rng.next() % 48) : int(rng.next() % 64);
      sortMen(lists[c], men[c]);
    }
  while (!legal(ending, tbSide, first, second));
}

// The engine's board with these men (piece codes by square, 0 empty), side to move and
// en-passant square (TB_NO_EN_PASSANT or -1 for none).
inline TestBoard& engineBoard(const int men[64], int side, int ep) {
  static TestBoard b;
  b.side = side;
  b.records[0] = UndoRecord{};
  b.records[0].enPassant = ep >= 0 && ep < 64 ? Bitboard(1) << ep : 0;
  rebuildPosition(men, &b.position, &b.records[0], &b.tables);
  return b;
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

}  // namespace tbtest
