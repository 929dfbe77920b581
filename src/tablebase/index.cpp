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

namespace tb {
namespace {

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

constexpr PairTable kkPawn = makePairTable(true);
constexpr PairTable kkPawnless = makePairTable(false);
static_assert(kkPawn.count == KK_PAWN_PAIRS && kkPawnless.count == KK_PAWNLESS_PAIRS);

// ---- Allowed squares and base tables (built once) ----

bool gTablesBuilt = false;
uint8_t gAllowedRank[KIND_COUNT][64][64];    // [kind][king][square], 255 = not allowed
uint8_t gAllowedCount[KIND_COUNT][64];
uint8_t gAllowedSquare[KIND_COUNT][64][64];  // [kind][king][rank] -> square

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

constexpr auto kPawnCombos = makeCombos<PAWN_COMBOS>(true);
constexpr auto kPawnlessCombos = makeCombos<PAWNLESS_COMBOS>(false);

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
uint32_t gBasePawn[PAWN_COMBOS][KK_PAWN_PAIRS + 1];
uint32_t gBasePawnless[PAWNLESS_COMBOS][KK_PAWNLESS_PAIRS + 1];

inline const uint32_t* baseTable(bool pawnTable, int slot) {
  return pawnTable ? gBasePawn[slot] : gBasePawnless[slot];
}

// Squares available to a kind for the pair (k1 to move, k2 not): the king of the side
// not to move decides the table, the other king takes one square away when allowed.
inline int placesFor(int kind, int k1, int k2) {
  return gAllowedCount[kind][k2] - (gAllowedRank[kind][k2][k1] != 255);
}

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

// ---- Layouts ----

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

constexpr Layout makeLayout(int e, int side) {
  Layout L{};
  const EndingData& d = kEndingData[e];
  if (e == 0 || (side == 1 && (d.flags & TB_SYMMETRIC))) return L;
  char men[2][8] = {};
  int len[2] = {0, 0};
  int part = -1;
  for (const char* p = d.name; *p; ++p) {
    if (*p == 'k') {
      ++part;
      continue;
    }
    men[part][len[part]++] = *p;
  }
  L.used = true;
  L.sIsFirst = side == 0;
  const char* sMen = men[side];
  const char* oMen = men[side ^ 1];
  L.sGroupCount = int8_t(groupsOf(sMen, 0, L.sGroups));
  L.oGroupCount = int8_t(groupsOf(oMen, 1, L.oGroups));
  L.sMen = int8_t(len[side]);
  for (int i = 0; i < L.sGroupCount; ++i)
    if (L.sGroups[i].kind == KIND_PAWN) L.sPawns = L.sGroups[i].count;
  for (int i = 0; i < L.oGroupCount; ++i)
    if (L.oGroups[i].kind == KIND_PAWN) L.oPawns = L.oGroups[i].count;
  L.pawns = L.sPawns + L.oPawns > 0;

  // Core: the men of the side to move; a bare king takes the other side's pawns instead.
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

  // The other side's pieces, each corrected for the men already placed.
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

  L.ep = L.sPawns > 0 && L.oPawns > 0;
  if (L.ep) {
    int epKinds[3] = {0, 0, 0};
    int n = 0;
    for (int i = 0; i < L.sGroupCount; ++i) {
      if (L.sGroups[i].kind == KIND_PAWN) continue;
      L.epCore[L.epCoreCount++] = L.sGroups[i];
      for (int j = 0; j < L.sGroups[i].count; ++j) epKinds[n++] = L.sGroups[i].kind;
    }
    L.epSlot = int8_t(n ? comboSlot(true, n, epKinds) : -1);
    int epPlaced = 2 + L.sMen + L.oPawns + 2;  // also the passed square and the pawn's origin
    uint64_t epProduct = 14;
    for (int i = 0; i < L.pieceCount; ++i) {
      L.epPieceRadix[i] = uint32_t(binom(64 - epPlaced, L.pieces[i].count));
      epProduct *= L.epPieceRadix[i];
      epPlaced += L.pieces[i].count;
    }
    L.epOthers = int8_t(L.sPawns - 1 + L.oPawns - 1);
    for (int i = 0; i < L.epOthers; ++i) epProduct *= 44;
    L.epProduct = epProduct;
  }
  return L;
}

constexpr auto kLayouts = [] {
  std::array<std::array<Layout, 2>, TB_ENDING_COUNT + 1> a{};
  for (int e = 0; e <= TB_ENDING_COUNT; ++e)
    for (int s = 0; s < 2; ++s) a[e][s] = makeLayout(e, s);
  return a;
}();

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

// Start of the en-passant range and the whole range of entry numbers, per function.
uint64_t gEpOffset[TB_ENDING_COUNT + 1][2];
uint64_t gRange[TB_ENDING_COUNT + 1][2];

// ---- Computing an entry number ----

inline int countBelow(const int* squares, int n, int sq) {
  int c = 0;
  for (int i = 0; i < n; ++i) c += squares[i] < sq;
  return c;
}

inline void sortSmall(int* a, int n) {
  if (n >= 2 && a[0] > a[1]) std::swap(a[0], a[1]);
  if (n == 3) {
    if (a[1] > a[2]) std::swap(a[1], a[2]);
    if (a[0] > a[1]) std::swap(a[0], a[1]);
  }
}

// Rank of a sorted combination of 1..3 digits.
inline uint64_t combinationRank(const int* d, int n) {
  if (n == 1) return uint64_t(d[0]);
  if (n == 2) return choose2(d[1]) + uint64_t(d[0]);
  return choose3(d[2]) + choose2(d[1]) + uint64_t(d[0]);
}

// Working copy of the two lists, S (side to move) first.
struct Men {
  int s[PIECE_SQUARES_SIZE];
  int o[PIECE_SQUARES_SIZE];
};

// The men that stand before the other side's pieces are coded, whose squares those
// digits skip: both kings, the side to move's men and the other side's pawns.
// Returns how many were written to fixed.
int fixedMen(const Layout& L, const Men& m, int* fixed) {
  int n = 0;
  fixed[n++] = m.s[PS_KING];
  fixed[n++] = m.o[PS_KING];
  for (int g = 0; g < L.sGroupCount; ++g)
    for (int i = 0; i < L.sGroups[g].count; ++i) fixed[n++] = m.s[L.sGroups[g].offset + i];
  for (int i = 0; i < L.oPawns; ++i) fixed[n++] = m.o[PS_PAWN + i];
  return n;
}

template <typename F>
inline void forEachSquare(const Layout& L, Men& m, F f) {
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
  for (int i = 0; i < L.sPawns; ++i)
    if (i != capturer) value = value * 44 + uint64_t(sPawns[i] - 8 - countBelow(around, 4, sPawns[i]));
  for (int i = 0; i < L.oPawns; ++i)
    if (i != movedIndex) value = value * 44 + uint64_t(oPawns[i] - 8 - countBelow(around, 4, oPawns[i]));
  return int64_t(value * 14 + uint64_t(code));
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

// ---- Decoding an entry number ----

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
  const int code = int(value % 14);
  value /= 14;
  uint64_t otherDigits[2];
  for (int i = L.epOthers - 1; i >= 0; --i) {
    otherDigits[i] = value % 44;
    value /= 44;
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
