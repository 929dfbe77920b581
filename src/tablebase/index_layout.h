// The layout of the position index, shared by the two directions: index.cpp numbers
// positions, index_decode.cpp turns numbers back into positions. Board helpers, the
// king-pair tables, the men combinations with base tables, the layout of every index
// function, and the tables built at start-up (tbInitIndexTables).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "tablebase/endings.h"
#include "tablebase/index.h"

namespace tb {

constexpr int absDiff(int a, int b) { return a > b ? a - b : b - a; }
constexpr int fileOfSq(int sq) { return sq & 7; }
constexpr int rankOfSq(int sq) { return sq >> 3; }

constexpr bool touching(int a, int b) {
  return absDiff(fileOfSq(a), fileOfSq(b)) <= 1 && absDiff(rankOfSq(a), rankOfSq(b)) <= 1;
}

// Symmetry helpers. With pawns only files can be mirrored; without pawns the king of
// the side to move is brought into the a1-d1-d4 triangle.
constexpr int fileMirror(int k) { return fileOfSq(k) >= 4 ? 7 : 0; }
constexpr int quadrantMask(int k) {
  return (fileOfSq(k) >= 4 ? 7 : 0) | (rankOfSq(k) >= 4 ? 56 : 0);
}
constexpr int transposed(int s) { return (fileOfSq(s) << 3) | rankOfSq(s); }
constexpr bool lowerTriangle(int s) { return fileOfSq(s) <= 3 && rankOfSq(s) <= fileOfSq(s); }
constexpr bool offDiagonal(int s) { return fileOfSq(s) != rankOfSq(s); }
constexpr bool onOrBelowDiagonal(int s) { return fileOfSq(s) >= rankOfSq(s); }

constexpr uint64_t binom(int n, int k) {
  if (n < k || k < 0) return 0;
  uint64_t r = 1;
  for (int i = 0; i < k; ++i) r = r * uint64_t(n - i) / uint64_t(i + 1);
  return r;
}
inline uint64_t choose2(int n) { return n < 2 ? 0 : uint64_t(n) * uint64_t(n - 1) / 2; }
inline uint64_t choose3(int n) { return n < 3 ? 0 : uint64_t(n) * uint64_t(n - 1) * uint64_t(n - 2) / 6; }
// binom(n, k) for the one to three men of a group, without a division loop.
inline uint64_t placements(int n, int k) {
  return k == 1 ? uint64_t(n) : k == 2 ? choose2(n) : choose3(n);
}

// ---- King pairs ----

struct PairTable {
  int16_t number[64][64];
  uint8_t first[KK_PAWN_PAIRS];
  uint8_t second[KK_PAWN_PAIRS];
  int count;
};

constexpr PairTable makePairTable(bool pawnTable) {
  PairTable t{};
  int n = 0;
  for (int k1 = 0; k1 < 64; ++k1) {
    for (int k2 = 0; k2 < 64; ++k2) {
      bool valid = !touching(k1, k2);
      if (pawnTable)
        valid = valid && fileOfSq(k1) <= 3;
      else
        valid = valid && lowerTriangle(k1) && (offDiagonal(k1) || onOrBelowDiagonal(k2));
      t.number[k1][k2] = int16_t(valid ? n : KK_INVALID);
      if (valid) {
        t.first[n] = uint8_t(k1);
        t.second[n] = uint8_t(k2);
        ++n;
      }
    }
  }
  t.count = n;
  return t;
}

inline constexpr PairTable kkPawn = makePairTable(true);
inline constexpr PairTable kkPawnless = makePairTable(false);
static_assert(kkPawn.count == KK_PAWN_PAIRS && kkPawnless.count == KK_PAWNLESS_PAIRS);

// ---- Allowed squares and base tables (built once, by tbInitIndexTables) ----

extern uint8_t gAllowedRank[KIND_COUNT][64][64];    // [kind][king][square], 255 = not allowed
extern uint8_t gAllowedCount[KIND_COUNT][64];
extern uint8_t gAllowedSquare[KIND_COUNT][64][64];  // [kind][king][rank] -> square

// The men combinations that have base tables: one to three kinds, descending, where the
// second and third kinds are not the free pawn unless all are; over the pawnless pair
// table only pieces.
struct Combo {
  int8_t count;
  int8_t kind[3];
};

constexpr int PAWN_COMBOS = 58, PAWNLESS_COMBOS = 34;

template <int N>
struct ComboList {
  Combo combo[N];
};

template <int N>
constexpr ComboList<N> makeCombos(bool pawnTable) {
  ComboList<N> list{};
  int n = 0;
  const int low = pawnTable ? 0 : KIND_KNIGHT;
  const int lowRest = pawnTable ? 1 : KIND_KNIGHT;
  for (int count = 1; count <= 3; ++count) {
    if (count == 1) {
      for (int t = low; t < KIND_COUNT; ++t) list.combo[n++] = Combo{1, {int8_t(t), 0, 0}};
      continue;
    }
    if (pawnTable) list.combo[n++] = Combo{int8_t(count), {0, 0, 0}};
    for (int t1 = lowRest; t1 < KIND_COUNT; ++t1)
      for (int t2 = lowRest; t2 <= t1; ++t2) {
        if (count == 2) {
          list.combo[n++] = Combo{2, {int8_t(t1), int8_t(t2), 0}};
          continue;
        }
        for (int t3 = lowRest; t3 <= t2; ++t3)
          list.combo[n++] = Combo{3, {int8_t(t1), int8_t(t2), int8_t(t3)}};
      }
  }
  return list;
}

inline constexpr auto kPawnCombos = makeCombos<PAWN_COMBOS>(true);
inline constexpr auto kPawnlessCombos = makeCombos<PAWNLESS_COMBOS>(false);

constexpr int comboSlot(bool pawnTable, int count, const int* kinds) {
  const Combo* list = pawnTable ? kPawnCombos.combo : kPawnlessCombos.combo;
  const int n = pawnTable ? PAWN_COMBOS : PAWNLESS_COMBOS;
  for (int i = 0; i < n; ++i) {
    if (list[i].count != count) continue;
    bool same = true;
    for (int j = 0; j < count; ++j) same = same && list[i].kind[j] == kinds[j];
    if (same) return i;
  }
  return -1;
}

// base[slot][pair]: placements of all earlier pairs; entry [pairCount] is the total.
extern uint32_t gBasePawn[PAWN_COMBOS][KK_PAWN_PAIRS + 1];
extern uint32_t gBasePawnless[PAWNLESS_COMBOS][KK_PAWNLESS_PAIRS + 1];

inline const uint32_t* baseTable(bool pawnTable, int slot) {
  return pawnTable ? gBasePawn[slot] : gBasePawnless[slot];
}

// Squares available to a kind for the pair (k1 to move, k2 not): the king of the side
// not to move decides the table, the other king takes one square away when allowed.
inline int placesFor(int kind, int k1, int k2) {
  return gAllowedCount[kind][k2] - (gAllowedRank[kind][k2][k1] != 255);
}

// ---- Layouts ----

// En-passant positions code the capture as one of 14 (a pawn on files b..h taking
// towards a, on a..g towards h) and any further pawn as one of the 44 squares of ranks
// 2..7 that the four squares of the capture leave.
constexpr int EP_CAPTURES = 14;
constexpr int EP_PAWN_PLACES = 44;

struct Group {
  int8_t kind;    // allowed-square kind (for the core) or the piece's own kind
  int8_t count;   // men of this kind, 1..3
  int8_t owner;   // 0 = side to move (S), 1 = the other side (O)
  int8_t offset;  // index of the first square in the PieceSquares list
};

struct Layout {
  bool used;       // false for the placeholder and the swapped side of symmetric endings
  bool pawns;      // pawn pair table and file-only symmetry
  bool sIsFirst;   // the side to move is the first-named side
  bool flip;       // the core is computed with ranks reversed (second side's pawns)
  bool ep;         // the function has an en-passant range
  int8_t sMen, sPawns, oPawns;
  int8_t sGroupCount, oGroupCount;
  Group sGroups[3], oGroups[3];  // all men of each side, grouped by kind in name order
  // Core.
  int8_t coreCount;
  Group core[3];
  int8_t coreSlot;  // base table, -1: the core is the king pair alone
  // Appended digits: the other side's pieces, then its pawns.
  int8_t pieceCount;
  Group pieces[3];
  uint32_t pieceRadix[3];
  bool pawnsAppended;
  bool pawnsCorrected;  // pawn digits skip the squares of the side to move's pawns
  uint32_t pawnRadix;
  uint64_t appendedProduct;
  // En-passant range: reduced core, the other side's pieces, the remaining pawn, capture.
  int8_t epCoreCount;
  Group epCore[2];
  int8_t epSlot;
  uint32_t epPieceRadix[3];
  int8_t epOthers;
  uint64_t epProduct;
};

constexpr int kindOfLetter(char c) {
  switch (c) {
    case 'n': return KIND_KNIGHT;
    case 'b': return KIND_BISHOP;
    case 'r': return KIND_ROOK;
    case 'q': return KIND_QUEEN;
    default: return KIND_PAWN;  // any other letter counts as a pawn
  }
}
constexpr int8_t offsetOfKind(int kind) {
  return int8_t(kind == KIND_PAWN ? PS_PAWN : PS_KNIGHT + 3 * (kind - KIND_KNIGHT));
}

constexpr int groupsOf(const char* men, int owner, Group* out) {
  int n = 0;
  for (int i = 0; men[i];) {
    int j = i;
    while (men[j] == men[i]) ++j;
    const int kind = kindOfLetter(men[i]);
    out[n++] = Group{int8_t(kind), int8_t(j - i), int8_t(owner), offsetOfKind(kind)};
    i = j;
  }
  return n;
}

// The men of the side to move (S) and of the other side (O), grouped by kind.
constexpr void layGroups(const char* name, int side, Layout& L) {
  char men[2][8] = {};
  int len[2] = {0, 0};
  int part = -1;
  for (const char* p = name; *p; ++p) {
    if (*p == 'k') {
      ++part;
      continue;
    }
    men[part][len[part]++] = *p;
  }
  L.used = true;
  L.sIsFirst = side == 0;
  L.sGroupCount = int8_t(groupsOf(men[side], 0, L.sGroups));
  L.oGroupCount = int8_t(groupsOf(men[side ^ 1], 1, L.oGroups));
  L.sMen = int8_t(len[side]);
  for (int i = 0; i < L.sGroupCount; ++i)
    if (L.sGroups[i].kind == KIND_PAWN) L.sPawns = L.sGroups[i].count;
  for (int i = 0; i < L.oGroupCount; ++i)
    if (L.oGroups[i].kind == KIND_PAWN) L.oPawns = L.oGroups[i].count;
  L.pawns = L.sPawns + L.oPawns > 0;
}

// Core: the men of the side to move; a bare king takes the other side's pawns instead.
constexpr void layCore(int side, Layout& L) {
  int kinds[3] = {0, 0, 0};
  bool corePawn = false;
  if (L.sMen > 0) {
    L.coreCount = L.sGroupCount;
    for (int i = 0; i < L.sGroupCount; ++i) L.core[i] = L.sGroups[i];
    corePawn = L.sPawns > 0;
  } else if (L.oPawns > 0) {
    L.coreCount = 1;
    L.core[0] = Group{KIND_FREE_PAWN, L.oPawns, 1, PS_PAWN};
    corePawn = true;
  }
  // A pair of equal men leads a three-man core, whatever its kind.
  if (L.coreCount == 2 && L.core[0].count == 1 && L.core[1].count == 2)
    std::swap(L.core[0], L.core[1]);
  int coreMen = 0;
  for (int i = 0; i < L.coreCount; ++i)
    for (int j = 0; j < L.core[i].count; ++j) kinds[coreMen++] = L.core[i].kind;
  for (int i = 0; i < coreMen; ++i)  // base tables are kept by descending kinds
    for (int j = i + 1; j < coreMen; ++j)
      if (kinds[j] > kinds[i]) std::swap(kinds[i], kinds[j]);
  L.coreSlot = int8_t(coreMen ? comboSlot(L.pawns, coreMen, kinds) : -1);
  L.flip = L.pawns && side == 1 && corePawn;
}

// The other side's pieces, each corrected for the men already placed, then its pawns.
constexpr void layAppended(Layout& L) {
  int placed = 2 + L.sMen + L.oPawns;
  uint64_t product = 1;
  for (int i = 0; i < L.oGroupCount; ++i) {
    if (L.oGroups[i].kind == KIND_PAWN) continue;
    L.pieces[L.pieceCount] = L.oGroups[i];
    L.pieceRadix[L.pieceCount] = uint32_t(binom(64 - placed, L.oGroups[i].count));
    product *= L.pieceRadix[L.pieceCount];
    placed += L.oGroups[i].count;
    ++L.pieceCount;
  }
  L.pawnsAppended = L.oPawns > 0 && !(L.coreCount == 1 && L.core[0].owner == 1);
  if (L.pawnsAppended) {
    L.pawnsCorrected = L.sPawns > 0;
    L.pawnRadix = uint32_t(binom(48 - L.sPawns, L.oPawns));
    product *= L.pawnRadix;
  }
  L.appendedProduct = product;
}

// The en-passant range: a reduced core without the side to move's pawns, the other
// side's pieces, the remaining pawn, and the capture.
constexpr void layEnPassant(Layout& L) {
  L.ep = L.sPawns > 0 && L.oPawns > 0;
  if (!L.ep) return;
  int epKinds[3] = {0, 0, 0};
  int n = 0;
  for (int i = 0; i < L.sGroupCount; ++i) {
    if (L.sGroups[i].kind == KIND_PAWN) continue;
    L.epCore[L.epCoreCount++] = L.sGroups[i];
    for (int j = 0; j < L.sGroups[i].count; ++j) epKinds[n++] = L.sGroups[i].kind;
  }
  L.epSlot = int8_t(n ? comboSlot(true, n, epKinds) : -1);
  int epPlaced = 2 + L.sMen + L.oPawns + 2;  // also the passed square and the pawn's origin
  uint64_t epProduct = EP_CAPTURES;
  for (int i = 0; i < L.pieceCount; ++i) {
    L.epPieceRadix[i] = uint32_t(binom(64 - epPlaced, L.pieces[i].count));
    epProduct *= L.epPieceRadix[i];
    epPlaced += L.pieces[i].count;
  }
  L.epOthers = int8_t(L.sPawns - 1 + L.oPawns - 1);
  for (int i = 0; i < L.epOthers; ++i) epProduct *= EP_PAWN_PLACES;
  L.epProduct = epProduct;
}

constexpr Layout makeLayout(int e, int side) {
  Layout L{};
  const EndingData& d = kEndingData[e];
  if (e == 0 || (side == 1 && (d.flags & TB_SYMMETRIC))) return L;
  layGroups(d.name, side, L);
  layCore(side, L);
  layAppended(L);
  layEnPassant(L);
  return L;
}

inline constexpr auto kLayouts = [] {
  std::array<std::array<Layout, 2>, TB_ENDING_COUNT + 1> a{};
  for (int e = 0; e <= TB_ENDING_COUNT; ++e)
    for (int s = 0; s < 2; ++s) a[e][s] = makeLayout(e, s);
  return a;
}();

// Start of the en-passant range and the whole range of entry numbers, per function.
extern uint64_t gEpOffset[TB_ENDING_COUNT + 1][2];
extern uint64_t gRange[TB_ENDING_COUNT + 1][2];

// ---- Men of a position ----

inline void sortSmall(int* a, int n) {
  if (n >= 2 && a[0] > a[1]) std::swap(a[0], a[1]);
  if (n == 3) {
    if (a[1] > a[2]) std::swap(a[1], a[2]);
    if (a[0] > a[1]) std::swap(a[0], a[1]);
  }
}

// Working copy of the two lists, S (side to move) first.
struct Men {
  int s[PIECE_SQUARES_SIZE];
  int o[PIECE_SQUARES_SIZE];
};

// The men that stand before the other side's pieces are coded, whose squares those
// digits skip: both kings, the side to move's men and the other side's pawns.
// Returns how many were written to fixed.
inline int fixedMen(const Layout& L, const Men& m, int* fixed) {
  int n = 0;
  fixed[n++] = m.s[PS_KING];
  fixed[n++] = m.o[PS_KING];
  for (int g = 0; g < L.sGroupCount; ++g)
    for (int i = 0; i < L.sGroups[g].count; ++i) fixed[n++] = m.s[L.sGroups[g].offset + i];
  for (int i = 0; i < L.oPawns; ++i) fixed[n++] = m.o[PS_PAWN + i];
  return n;
}

// Put whole into each caller: the index functions call it once per lambda.
template <typename F>
[[gnu::always_inline]] inline void forEachSquare(const Layout& L, Men& m, F f) {
  f(m.s[PS_KING]);
  f(m.o[PS_KING]);
  for (int g = 0; g < L.sGroupCount; ++g)
    for (int i = 0; i < L.sGroups[g].count; ++i) f(m.s[L.sGroups[g].offset + i]);
  for (int g = 0; g < L.oGroupCount; ++g)
    for (int i = 0; i < L.oGroups[g].count; ++i) f(m.o[L.oGroups[g].offset + i]);
}

inline void sortGroups(const Layout& L, Men& m) {
  for (int g = 0; g < L.sGroupCount; ++g) sortSmall(m.s + L.sGroups[g].offset, L.sGroups[g].count);
  for (int g = 0; g < L.oGroupCount; ++g) sortSmall(m.o + L.oGroups[g].offset, L.oGroups[g].count);
}

}  // namespace tb
