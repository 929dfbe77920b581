// Entry numbers of tablebase positions. Every file is an array in a fixed order: the
// position is first reduced by the board's symmetries, then written as a mixed-radix
// number whose leading "core" holds the king pair and the men of the side to move, and
// whose further digits are the other side's men. Pawn-against-pawn endings add a range
// for positions with an en-passant capture available.
#include "tablebase/index.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "tablebase/endings.h"
#include "tablebase/index_layout.h"

namespace tb {

uint8_t gAllowedRank[KIND_COUNT][64][64];
uint8_t gAllowedCount[KIND_COUNT][64];
uint8_t gAllowedSquare[KIND_COUNT][64][64];
uint32_t gBasePawn[PAWN_COMBOS][KK_PAWN_PAIRS + 1];
uint32_t gBasePawnless[PAWNLESS_COMBOS][KK_PAWNLESS_PAIRS + 1];
uint64_t gEpOffset[TB_ENDING_COUNT + 1][2];
uint64_t gRange[TB_ENDING_COUNT + 1][2];

namespace {

bool gTablesBuilt = false;

bool kindAllowed(int kind, int k, int s) {
  if (s == k) return false;
  const int df = absDiff(fileOfSq(s), fileOfSq(k)), dr = absDiff(rankOfSq(s), rankOfSq(k));
  switch (kind) {
    case KIND_FREE_PAWN:
      return s >= 8 && s < 56;
    case KIND_PAWN:
      if (s < 8 || s >= 56) return false;
      if (k == s + 7 && fileOfSq(s) != 0) return false;
      if (k == s + 9 && fileOfSq(s) != 7) return false;
      return true;
    case KIND_KNIGHT:
      return !((df == 1 && dr == 2) || (df == 2 && dr == 1));
    case KIND_BISHOP:
      return !(df == 1 && dr == 1);
    case KIND_ROOK:
      return df + dr != 1;
    case KIND_QUEEN:
      return std::max(df, dr) != 1;
    default:
      return false;
  }
}

// Every core has a base table and no function mixes more men than the digits allow.
constexpr bool layoutsComplete() {
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    for (int s = 0; s < 2; ++s) {
      const Layout& L = kLayouts[e][s];
      if (!L.used) continue;
      int coreMen = 0;
      for (int i = 0; i < L.coreCount; ++i) coreMen += L.core[i].count;
      if (coreMen && L.coreSlot < 0) return false;
      if (L.ep && (L.epOthers > 1 || (L.epCoreCount && L.epSlot < 0))) return false;
    }
  return true;
}
static_assert(layoutsComplete());

// ---- Computing an entry number ----

inline int countBelow(const int* squares, int n, int sq) {
  int c = 0;
  for (int i = 0; i < n; ++i) c += squares[i] < sq;
  return c;
}

// Rank of a sorted combination of 1..3 digits.
inline uint64_t combinationRank(const int* d, int n) {
  if (n == 1) return uint64_t(d[0]);
  if (n == 2) return choose2(d[1]) + uint64_t(d[0]);
  return choose3(d[2]) + choose2(d[1]) + uint64_t(d[0]);
}

inline const int* groupSquares(const Men& m, const Group& g) {
  return (g.owner == 0 ? m.s : m.o) + g.offset;
}

// King pair and the core men's ranks; returns false for a king pair the table lacks.
inline bool coreNumber(const Layout& L, const Group* core, int coreCount, int slot,
                       const int16_t* pairNumber, const Men& m, int kS, int kO, uint64_t* out) {
  const int pair = pairNumber[kS * 64 + kO];
  if (pair == KK_INVALID) return false;
  if (coreCount == 0) {
    *out = uint64_t(pair);
    return true;
  }
  uint64_t acc = 0;
  for (int g = 0; g < coreCount; ++g) {
    const Group& grp = core[g];
    const uint8_t* rank = gAllowedRank[grp.kind][kO];
    const int kingRank = rank[kS];
    const int places = gAllowedCount[grp.kind][kO] - (kingRank != 255);
    const int* sq = groupSquares(m, grp);
    int r[3];
    for (int i = 0; i < grp.count; ++i) r[i] = rank[sq[i]] - (kingRank < rank[sq[i]]);
    acc = acc * placements(places, grp.count) + combinationRank(r, grp.count);
  }
  *out = baseTable(L.pawns, slot)[pair] + acc;
  return true;
}

// The other side's pieces as digits after value, each corrected for the squares in
// fixed (which grows by the pieces coded).
inline uint64_t appendPieces(const Layout& L, const Men& m, const uint32_t* radix, int* fixed,
                             int nFixed, uint64_t value) {
  for (int g = 0; g < L.pieceCount; ++g) {
    const Group& grp = L.pieces[g];
    const int* sq = groupSquares(m, grp);
    int d[3];
    for (int i = 0; i < grp.count; ++i) d[i] = sq[i] - countBelow(fixed, nFixed, sq[i]);
    value = value * radix[g] + combinationRank(d, grp.count);
    for (int i = 0; i < grp.count; ++i) fixed[nFixed++] = sq[i];
  }
  return value;
}

// Entry number within the en-passant range, -1 when no pawn of the side to move can
// take en passant (the position is then an ordinary one), -2 for kings touching.
inline int64_t enPassantNumber(const Layout& L, const Men& m, int ep) {
  int moved, behind;
  if (L.sIsFirst) {
    if (rankOfSq(ep) != 5) return -1;
    moved = ep - 8;
    behind = ep + 8;
  } else {
    if (rankOfSq(ep) != 2) return -1;
    moved = ep + 8;
    behind = ep - 8;
  }
  const int* oPawns = m.o + PS_PAWN;
  int movedIndex = -1;
  for (int i = 0; i < L.oPawns; ++i)
    if (oPawns[i] == moved) movedIndex = i;
  if (movedIndex < 0) return -1;
  const int* sPawns = m.s + PS_PAWN;
  int capturer = -1, code = 0;
  for (int i = 0; i < L.sPawns && capturer < 0; ++i) {
    const int c = sPawns[i];
    const bool towardA = fileOfSq(c) != 0 && ep == (L.sIsFirst ? c + 7 : c - 9);
    const bool towardH = fileOfSq(c) != 7 && ep == (L.sIsFirst ? c + 9 : c - 7);
    if (towardA || towardH) {
      capturer = i;
      code = towardA ? fileOfSq(c) - 1 : fileOfSq(c) + 7;
    }
  }
  if (capturer < 0) return -1;

  const int kS = m.s[PS_KING], kO = m.o[PS_KING];
  uint64_t value;
  if (!coreNumber(L, L.epCore, L.epCoreCount, L.epSlot, &kkPawn.number[0][0], m, kS, kO, &value))
    return -2;
  int fixed[12];
  int n = fixedMen(L, m, fixed);
  fixed[n++] = ep;
  fixed[n++] = behind;
  value = appendPieces(L, m, L.epPieceRadix, fixed, n, value);
  const int around[4] = {sPawns[capturer], moved, ep, behind};
  auto pawnDigit = [&](int sq) { return uint64_t(sq - 8 - countBelow(around, 4, sq)); };
  for (int i = 0; i < L.sPawns; ++i)
    if (i != capturer) value = value * EP_PAWN_PLACES + pawnDigit(sPawns[i]);
  for (int i = 0; i < L.oPawns; ++i)
    if (i != movedIndex) value = value * EP_PAWN_PLACES + pawnDigit(oPawns[i]);
  return int64_t(value * EP_CAPTURES + uint64_t(code));
}

[[gnu::always_inline]] inline uint32_t computeIndex(const Layout& L, uint64_t epOffset,
                                                    const int* first, const int* second,
                                                    int ep, int reflect) {
  Men m;
  const int* s = L.sIsFirst ? first : second;
  const int* o = L.sIsFirst ? second : first;
  m.s[PS_KING] = s[PS_KING];
  m.o[PS_KING] = o[PS_KING];
  for (int g = 0; g < L.sGroupCount; ++g)
    for (int i = 0; i < L.sGroups[g].count; ++i) m.s[L.sGroups[g].offset + i] = s[L.sGroups[g].offset + i];
  for (int g = 0; g < L.oGroupCount; ++g)
    for (int i = 0; i < L.oGroups[g].count; ++i) m.o[L.oGroups[g].offset + i] = o[L.oGroups[g].offset + i];

  if (L.pawns) {
    const int mask = fileMirror(m.s[PS_KING]) ^ (reflect ? 56 : 0);
    forEachSquare(L, m, [mask](int& sq) { sq ^= mask; });
    if (ep >= 0 && ep < 64) ep ^= mask;
  } else {
    const int mask = quadrantMask(m.s[PS_KING]);
    forEachSquare(L, m, [mask](int& sq) { sq ^= mask; });
    const int kS = m.s[PS_KING], kO = m.o[PS_KING];
    if (!(lowerTriangle(kS) && (offDiagonal(kS) || onOrBelowDiagonal(kO))))
      forEachSquare(L, m, [](int& sq) { sq = transposed(sq); });
  }
  sortGroups(L, m);

  if (L.ep && ep >= 0 && ep < 64) {
    const int64_t n = enPassantNumber(L, m, ep);
    if (n >= 0) return uint32_t(epOffset + uint64_t(n));
    if (n == -2) return UINT32_MAX;
  }
  if (L.flip) {
    forEachSquare(L, m, [](int& sq) { sq ^= 56; });
    sortGroups(L, m);
  }
  const int kS = m.s[PS_KING], kO = m.o[PS_KING];
  uint64_t value;
  const int16_t* pairs = L.pawns ? &kkPawn.number[0][0] : &kkPawnless.number[0][0];
  if (!coreNumber(L, L.core, L.coreCount, L.coreSlot, pairs, m, kS, kO, &value))
    return UINT32_MAX;  // kings touching: no entry
  if (L.pieceCount) {
    int fixed[12];
    const int n = fixedMen(L, m, fixed);
    value = appendPieces(L, m, L.pieceRadix, fixed, n, value);
  }
  if (L.pawnsAppended) {
    int d[3];
    for (int i = 0; i < L.oPawns; ++i) {
      const int sq = m.o[PS_PAWN + i];
      d[i] = sq - 8 - (L.pawnsCorrected ? countBelow(m.s + PS_PAWN, L.sPawns, sq) : 0);
    }
    value = value * L.pawnRadix + combinationRank(d, L.oPawns);
  }
  return uint32_t(value);
}

template <int E, int Side>
uint32_t indexFunction(const int* first, const int* second, int ep, int reflect) {
  if constexpr (E == 0) {
    return 0;
  } else if constexpr (Side == 1 && (kEndingData[E].flags & TB_SYMMETRIC)) {
    // One file serves both sides: the side to move becomes the first side.
    return indexFunction<E, 0>(second, first, ep, reflect ^ 1);
  } else {
    return computeIndex(kLayouts[E][Side], gEpOffset[E][Side], first, second, ep, reflect);
  }
}

}  // namespace

int kingPairNumber(bool pawnTable, int k1, int k2) {
  return (pawnTable ? kkPawn : kkPawnless).number[k1][k2];
}

bool allowedSquare(int kind, int k, int s) { return kindAllowed(kind, k, s); }

int allowedCount(int kind, int k) {
  int n = 0;
  for (int s = 0; s < 64; ++s) n += kindAllowed(kind, k, s);
  return n;
}

uint64_t baseTotal(bool pawnTable, int count, int t1, int t2, int t3) {
  tbInitIndexTables();
  const int kinds[3] = {t1, t2, t3};
  const int slot = comboSlot(pawnTable, count, kinds);
  if (slot < 0) return 0;
  return baseTable(pawnTable, slot)[pawnTable ? KK_PAWN_PAIRS : KK_PAWNLESS_PAIRS];
}

}  // namespace tb

using namespace tb;

void tbInitIndexTables() {
  if (gTablesBuilt) return;
  for (int t = 0; t < KIND_COUNT; ++t)
    for (int k = 0; k < 64; ++k) {
      int n = 0;
      for (int s = 0; s < 64; ++s) {
        gAllowedSquare[t][k][s] = 64;
        if (kindAllowed(t, k, s)) {
          gAllowedRank[t][k][s] = uint8_t(n);
          gAllowedSquare[t][k][n] = uint8_t(s);
          ++n;
        } else {
          gAllowedRank[t][k][s] = 255;
        }
      }
      gAllowedCount[t][k] = uint8_t(n);
    }
  for (int table = 0; table < 2; ++table) {
    const bool pawnTable = table == 0;
    const PairTable& pt = pawnTable ? kkPawn : kkPawnless;
    const int combos = pawnTable ? PAWN_COMBOS : PAWNLESS_COMBOS;
    for (int slot = 0; slot < combos; ++slot) {
      const Combo& c = (pawnTable ? kPawnCombos.combo : kPawnlessCombos.combo)[slot];
      uint32_t* base = pawnTable ? gBasePawn[slot] : gBasePawnless[slot];
      uint64_t total = 0;
      for (int p = 0; p < pt.count; ++p) {
        base[p] = uint32_t(total);
        uint64_t placements = 1;
        for (int i = 0; i < c.count;) {
          int j = i;
          while (j < c.count && c.kind[j] == c.kind[i]) ++j;
          placements *= binom(placesFor(c.kind[i], pt.first[p], pt.second[p]), j - i);
          i = j;
        }
        total += placements;
      }
      base[pt.count] = uint32_t(total);
    }
  }
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    for (int s = 0; s < 2; ++s) {
      const Layout& L = kLayouts[e][s];
      if (!L.used) continue;
      const int pairs = L.pawns ? KK_PAWN_PAIRS : KK_PAWNLESS_PAIRS;
      const uint64_t core = L.coreSlot < 0 ? uint64_t(pairs) : baseTable(L.pawns, L.coreSlot)[pairs];
      gEpOffset[e][s] = core * L.appendedProduct;
      gRange[e][s] = gEpOffset[e][s];
      if (L.ep) {
        const uint64_t reduced =
            L.epSlot < 0 ? uint64_t(KK_PAWN_PAIRS) : baseTable(true, L.epSlot)[KK_PAWN_PAIRS];
        gRange[e][s] += reduced * L.epProduct;
      }
    }
  gTablesBuilt = true;
}

namespace {
// The index functions read these tables without checking for them: build them before
// anything can call one (tbInit and the generator's calls are then no-ops).
const bool gTablesAtStart = (tbInitIndexTables(), true);
}  // namespace

uint64_t tbEntryRange(int ending, int tbSide) {
  if (ending < 1 || ending > TB_ENDING_COUNT || tbSide < 0 || tbSide > 1) return 0;
  tbInitIndexTables();
  if (!kLayouts[ending][tbSide].used) tbSide = 0;
  return gRange[ending][tbSide];
}

uint64_t tbOrdinaryRange(int ending, int tbSide) {
  if (ending < 1 || ending > TB_ENDING_COUNT || tbSide < 0 || tbSide > 1) return 0;
  tbInitIndexTables();
  if (!kLayouts[ending][tbSide].used) tbSide = 0;
  return gEpOffset[ending][tbSide];
}

namespace {
template <std::size_t... I>
constexpr std::array<EndingRecord, TB_ENDING_COUNT + 1> makeEndingRecords(std::index_sequence<I...>) {
  return {{EndingRecord{int(I), kEndingData[I].name, kEndingData[I].flags,
                        {kEndingData[I].entries[0], kEndingData[I].entries[1]},
                        {&indexFunction<int(I), 0>, &indexFunction<int(I), 1>}}...}};
}
}  // namespace

const std::array<EndingRecord, TB_ENDING_COUNT + 1> tbEndings =
    makeEndingRecords(std::make_index_sequence<TB_ENDING_COUNT + 1>{});

int tbFindEnding(const char* name) {
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    if (std::strcmp(kEndingData[e].name, name) == 0) return e;
  return 0;
}

void tbCountsOfName(const char* name, int counts[MATERIAL_COUNTS_SIZE]) {
  for (int i = 0; i < MATERIAL_COUNTS_SIZE; ++i) counts[i] = 0;
  int colour = -1;  // 0 after the first k: White's men; 1 after the second: Black's
  for (const char* p = name; *p; ++p) {
    if (*p == 'k') {
      ++colour;
      continue;
    }
    if (colour < 0 || colour > 1) continue;
    const int kind = kindOfLetter(*p);
    const int slot = kind == KIND_PAWN ? 0 : kind - 1;  // pawns, knights, bishops, rooks, queens
    ++counts[colour * 5 + slot];
  }
}

void tbPlainFileName(int ending, int tbSide, char* out, int size) {
  std::snprintf(out, size_t(size), "%s.%s", kEndingData[ending].name, tbSide ? "nbb" : "nbw");
}
