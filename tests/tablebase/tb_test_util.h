// Helpers shared by the tablebase tests: the men of an ending, legality of a placement,
// board symmetries and scratch directories.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tablebase/tablebase.h"

namespace tbtest {

// Men of one side of an ending: counts per kind (pawn, knight, bishop, rook, queen).
struct SideMen {
  int count[5] = {0, 0, 0, 0, 0};
  int total() const { return count[0] + count[1] + count[2] + count[3] + count[4]; }
};

inline void endingMen(int ending, SideMen men[2]) {
  men[0] = SideMen{};
  men[1] = SideMen{};
  int part = -1;
  for (const char* p = tbEndings[size_t(ending)].name; *p; ++p) {
    if (*p == 'k') {
      ++part;
      continue;
    }
    const int kind = *p == 'p' ? 0 : *p == 'n' ? 1 : *p == 'b' ? 2 : *p == 'r' ? 3 : 4;
    ++men[part].count[kind];
  }
}

inline bool hasPawns(int ending) {
  SideMen m[2];
  endingMen(ending, m);
  return m[0].count[0] + m[1].count[0] > 0;
}

// Does a man of kind (0 pawn .. 4 queen, 5 king) on from attack to? Pawns of the first
// side move up, of the second side down.
inline bool attacks(int kind, int from, int to, bool up, const bool occupied[64]) {
  const int df = (to & 7) - (from & 7), dr = (to >> 3) - (from >> 3);
  const int adf = std::abs(df), adr = std::abs(dr);
  switch (kind) {
    case 0: return adf == 1 && dr == (up ? 1 : -1);
    case 1: return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
    case 5: return adf <= 1 && adr <= 1 && (adf || adr);
    default: break;
  }
  const bool diagonal = adf == adr && adf != 0, straight = (df == 0) != (dr == 0);
  if ((kind == 2 && !diagonal) || (kind == 3 && !straight) || (kind == 4 && !diagonal && !straight))
    return false;
  const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
  for (int f = (from & 7) + sf, r = (from >> 3) + sr; f != (to & 7) || r != (to >> 3); f += sf, r += sr)
    if (occupied[r * 8 + f]) return false;
  return true;
}

// A position that can arise with tbSide to move: distinct squares, pawns off the first
// and last ranks, kings apart, the side not to move not in check; with an en-passant
// square, the passed square and the one the pawn came from are empty.
inline bool legal(int ending, int tbSide, const int* first, const int* second, int ep = TB_NO_EN_PASSANT) {
  SideMen men[2];
  endingMen(ending, men);
  bool occupied[64] = {};
  const int* lists[2] = {first, second};
  for (int c = 0; c < 2; ++c) {
    const int k = lists[c][PS_KING];
    if (k < 0 || k > 63 || occupied[k]) return false;
    occupied[k] = true;
    for (int kind = 0; kind < 5; ++kind)
      for (int i = 0; i < men[c].count[kind]; ++i) {
        const int s = lists[c][3 * kind + i];
        if (s < 0 || s > 63 || occupied[s]) return false;
        if (kind == 0 && (s < 8 || s > 55)) return false;
        occupied[s] = true;
      }
  }
  if (ep != TB_NO_EN_PASSANT) {
    const int behind = tbSide == 0 ? ep + 8 : ep - 8;
    if (occupied[ep] || occupied[behind]) return false;
  }
  if (attacks(5, first[PS_KING], second[PS_KING], true, occupied)) return false;
  const int* mover = lists[tbSide];
  const int target = lists[tbSide ^ 1][PS_KING];
  for (int kind = 0; kind < 5; ++kind)
    for (int i = 0; i < men[tbSide].count[kind]; ++i)
      if (attacks(kind, mover[3 * kind + i], target, tbSide == 0, occupied)) return false;
  return true;
}

// The eight symmetries of the board (0 = identity; 1 = files reversed with pawns).
inline int transform(int sq, int t) {
  if (sq < 0 || sq > 63) return sq;
  if (t & 4) sq = ((sq & 7) << 3) | (sq >> 3);
  if (t & 1) sq ^= 7;
  if (t & 2) sq ^= 56;
  return sq;
}

inline void transformList(const int* in, int* out, int t, const SideMen& m) {
  for (int i = 0; i < PIECE_SQUARES_SIZE; ++i) out[i] = in[i];
  out[PS_KING] = transform(in[PS_KING], t);
  for (int kind = 0; kind < 5; ++kind) {
    int* sq = out + 3 * kind;
    for (int i = 0; i < m.count[kind]; ++i) sq[i] = transform(in[3 * kind + i], t);
    for (int i = 1; i < m.count[kind]; ++i)  // keep ascending order
      for (int j = i; j > 0 && sq[j - 1] > sq[j]; --j) std::swap(sq[j - 1], sq[j]);
  }
}

// Same men on the same squares?
inline bool samePlacement(const int* a, const int* b, const SideMen& m) {
  if (a[PS_KING] != b[PS_KING]) return false;
  for (int kind = 0; kind < 5; ++kind)
    for (int i = 0; i < m.count[kind]; ++i)
      if (a[3 * kind + i] != b[3 * kind + i]) return false;
  return true;
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
  int square() { return int(next() % 64); }
};

// A random legal placement for the ending and side (first side's pawns move up).
inline void randomLegal(int ending, int tbSide, Rng& rng, int* first, int* second) {
  SideMen men[2];
  endingMen(ending, men);
  do {
    int* lists[2] = {first, second};
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < PIECE_SQUARES_SIZE; ++i) lists[c][i] = 64;
      lists[c][PS_KING] = rng.square();
      for (int kind = 0; kind < 5; ++kind) {
        int* sq = lists[c] + 3 * kind;
        for (int i = 0; i < men[c].count[kind]; ++i) sq[i] = kind == 0 ? 8 + int(rng.next() % 48) : rng.square();
        for (int i = 1; i < men[c].count[kind]; ++i)
          for (int j = i; j > 0 && sq[j - 1] > sq[j]; --j) std::swap(sq[j - 1], sq[j]);
      }
    }
  } while (!legal(ending, tbSide, first, second));
}

// A fresh scratch directory under the system's temporary directory.
std::string makeTempDir();
void removeTree(const std::string& dir);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tbtest
