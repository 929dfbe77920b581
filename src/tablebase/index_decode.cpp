// Positions of entry numbers: the inverse of the index functions, digit by digit from
// the last one coded.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "tablebase/index_layout.h"
#include "tablebase/tablebase.h"

namespace tb {
namespace {

// Square of a digit that skips the squares in fixed (sorted, distinct).
inline int squareOfDigit(int d, const int* fixedSorted, int n) {
  int s = d;
  for (int i = 0; i < n; ++i)
    if (fixedSorted[i] <= s) ++s;
  return s;
}

// Digits of a combination rank (inverse of combinationRank).
inline void combinationDigits(uint64_t x, int n, int* d) {
  for (int k = n; k >= 1; --k) {
    int v = k - 1;
    auto c = [k](int t) { return k == 1 ? uint64_t(t) : k == 2 ? choose2(t) : choose3(t); };
    while (c(v + 1) <= x) ++v;
    d[k - 1] = v;
    x -= c(v);
  }
}

// Insertion sort: the lists hold at most a dozen squares.
inline void insertionSort(int* a, int n) {
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0 && a[j - 1] > a[j]; --j) std::swap(a[j - 1], a[j]);
}

inline void sortedCopy(const int* in, int n, int* out) {
  std::copy(in, in + n, out);
  insertionSort(out, n);
}

// Core men from the core number: king pair and the ranks of each group.
bool decodeCore(const Group* core, int coreCount, int slot, bool pawnTable, uint64_t value, Men& m) {
  const PairTable& pt = pawnTable ? kkPawn : kkPawnless;
  int pair;
  uint64_t rest = 0;
  if (coreCount == 0) {
    if (value >= uint64_t(pt.count)) return false;
    pair = int(value);
  } else {
    const uint32_t* base = baseTable(pawnTable, slot);
    if (value >= base[pt.count]) return false;
    pair = int(std::upper_bound(base, base + pt.count + 1, uint32_t(value)) - base) - 1;
    rest = value - base[pair];
  }
  const int kS = pt.first[pair], kO = pt.second[pair];
  m.s[PS_KING] = kS;
  m.o[PS_KING] = kO;
  for (int g = coreCount - 1; g >= 0; --g) {
    const Group& grp = core[g];
    const uint8_t* rank = gAllowedRank[grp.kind][kO];
    const int kingRank = rank[kS];
    const int places = gAllowedCount[grp.kind][kO] - (kingRank != 255);
    const uint64_t radix = placements(places, grp.count);
    int r[3];
    combinationDigits(rest % radix, grp.count, r);
    rest /= radix;
    int* sq = (grp.owner == 0 ? m.s : m.o) + grp.offset;
    for (int i = 0; i < grp.count; ++i)
      sq[i] = gAllowedSquare[grp.kind][kO][r[i] + (kingRank <= r[i] ? 1 : 0)];
  }
  return rest == 0;
}

bool decodePieces(const Layout& L, const uint64_t* digits, int* fixed, int nFixed, Men& m) {
  for (int g = 0; g < L.pieceCount; ++g) {
    const Group& grp = L.pieces[g];
    int sorted[12];
    sortedCopy(fixed, nFixed, sorted);
    for (int i = 1; i < nFixed; ++i)
      if (sorted[i] == sorted[i - 1]) return false;
    int d[3];
    combinationDigits(digits[g], grp.count, d);
    int* sq = m.o + grp.offset;
    for (int i = 0; i < grp.count; ++i) {
      sq[i] = squareOfDigit(d[i], sorted, nFixed);
      if (sq[i] > 63) return false;
    }
    for (int i = 0; i < grp.count; ++i) fixed[nFixed++] = sq[i];
  }
  return true;
}

bool allDistinct(const Layout& L, Men& m, int extra1, int extra2) {
  uint64_t seen = 0;
  bool ok = true;
  auto mark = [&](int sq) {
    if (sq < 0 || sq > 63 || (seen >> sq & 1)) ok = false;
    else seen |= uint64_t(1) << sq;
  };
  forEachSquare(L, m, [&](int& sq) { mark(sq); });
  if (extra1 >= 0) mark(extra1);
  if (extra2 >= 0) mark(extra2);
  return ok;
}

bool decodeOrdinary(const Layout& L, uint64_t entry, Men& m) {
  uint64_t value = entry;
  uint64_t pawnDigits = 0;
  if (L.pawnsAppended) {
    pawnDigits = value % L.pawnRadix;
    value /= L.pawnRadix;
  }
  uint64_t pieceDigits[3] = {0, 0, 0};
  for (int g = L.pieceCount - 1; g >= 0; --g) {
    pieceDigits[g] = value % L.pieceRadix[g];
    value /= L.pieceRadix[g];
  }
  if (!decodeCore(L.core, L.coreCount, L.coreSlot, L.pawns, value, m)) return false;
  if (L.pawnsAppended) {
    int d[3];
    combinationDigits(pawnDigits, L.oPawns, d);
    int sPawns[3];
    sortedCopy(m.s + PS_PAWN, L.sPawns, sPawns);
    for (int i = 0; i < L.oPawns; ++i)
      m.o[PS_PAWN + i] = L.pawnsCorrected ? squareOfDigit(d[i] + 8, sPawns, L.sPawns) : d[i] + 8;
  }
  int fixed[12];
  int n = fixedMen(L, m, fixed);
  if (!decodePieces(L, pieceDigits, fixed, n, m)) return false;
  if (!allDistinct(L, m, -1, -1)) return false;
  if (L.flip) forEachSquare(L, m, [](int& sq) { sq ^= 56; });
  sortGroups(L, m);
  return true;
}

bool decodeEnPassant(const Layout& L, uint64_t value, Men& m, int* epOut) {
  const int code = int(value % EP_CAPTURES);
  value /= EP_CAPTURES;
  uint64_t otherDigits[2];
  for (int i = L.epOthers - 1; i >= 0; --i) {
    otherDigits[i] = value % EP_PAWN_PLACES;
    value /= EP_PAWN_PLACES;
  }
  uint64_t pieceDigits[3] = {0, 0, 0};
  for (int g = L.pieceCount - 1; g >= 0; --g) {
    pieceDigits[g] = value % L.epPieceRadix[g];
    value /= L.epPieceRadix[g];
  }
  if (!decodeCore(L.epCore, L.epCoreCount, L.epSlot, true, value, m)) return false;
  const bool towardA = code < 7;
  const int file = towardA ? code + 1 : code - 7;
  int capturer, ep, moved, behind;
  if (L.sIsFirst) {
    capturer = 32 + file;
    ep = capturer + (towardA ? 7 : 9);
    moved = ep - 8;
    behind = ep + 8;
  } else {
    capturer = 24 + file;
    ep = capturer - (towardA ? 9 : 7);
    moved = ep + 8;
    behind = ep - 8;
  }
  int around[4] = {capturer, moved, ep, behind};
  insertionSort(around, 4);
  // The capturing pawn is the lowest pawn able to take; the remaining pawn follows.
  int other = 0;
  int sp = 0, op = 0;
  m.s[PS_PAWN + sp++] = capturer;
  m.o[PS_PAWN + op++] = moved;
  for (int i = 0; i < L.sPawns - 1; ++i)
    m.s[PS_PAWN + sp++] = squareOfDigit(int(otherDigits[other++]) + 8, around, 4);
  for (int i = 0; i < L.oPawns - 1; ++i)
    m.o[PS_PAWN + op++] = squareOfDigit(int(otherDigits[other++]) + 8, around, 4);
  for (int i = 0; i < L.sPawns; ++i)
    if (m.s[PS_PAWN + i] < 8 || m.s[PS_PAWN + i] > 55) return false;
  for (int i = 0; i < L.oPawns; ++i)
    if (m.o[PS_PAWN + i] < 8 || m.o[PS_PAWN + i] > 55) return false;
  sortGroups(L, m);
  int fixed[12];
  int n = fixedMen(L, m, fixed);
  fixed[n++] = ep;
  fixed[n++] = behind;
  if (!decodePieces(L, pieceDigits, fixed, n, m)) return false;
  if (!allDistinct(L, m, ep, behind)) return false;
  // A lower pawn able to take would have been the capturing one.
  for (int i = 0; i < L.sPawns; ++i) {
    const int c = m.s[PS_PAWN + i];
    if (c >= capturer) continue;
    const bool a = fileOfSq(c) != 0 && ep == (L.sIsFirst ? c + 7 : c - 9);
    const bool h = fileOfSq(c) != 7 && ep == (L.sIsFirst ? c + 9 : c - 7);
    if (a || h) return false;
  }
  *epOut = ep;
  return true;
}

}  // namespace
}  // namespace tb

using namespace tb;

bool tbDecodeEntry(int ending, int tbSide, uint64_t entry, int first[PIECE_SQUARES_SIZE],
                   int second[PIECE_SQUARES_SIZE], int* enPassant) {
  tbInitIndexTables();
  for (int i = 0; i < PIECE_SQUARES_SIZE; ++i) first[i] = second[i] = 64;
  *enPassant = TB_NO_EN_PASSANT;
  if (ending < 1 || ending > TB_ENDING_COUNT || tbSide < 0 || tbSide > 1) return false;
  const Layout& L = kLayouts[ending][tbSide];
  if (!L.used || entry >= gRange[ending][tbSide]) return false;
  Men m;
  std::fill(m.s, m.s + PIECE_SQUARES_SIZE, 64);
  std::fill(m.o, m.o + PIECE_SQUARES_SIZE, 64);
  const bool ok = (L.ep && entry >= gEpOffset[ending][tbSide])
                      ? decodeEnPassant(L, entry - gEpOffset[ending][tbSide], m, enPassant)
                      : decodeOrdinary(L, entry, m);
  if (!ok) {
    *enPassant = TB_NO_EN_PASSANT;
    return false;
  }
  std::copy(m.s, m.s + PIECE_SQUARES_SIZE, L.sIsFirst ? first : second);
  std::copy(m.o, m.o + PIECE_SQUARES_SIZE, L.sIsFirst ? second : first);
  return true;
}

