#include "tablebase/generator/ending.h"

#include <algorithm>
#include <mutex>

namespace tbgen {

Geometry geometry;

namespace {

constexpr int fileOfSq(int s) { return s & 7; }
constexpr int rankOfSq(int s) { return s >> 3; }
constexpr int transposeSq(int s) { return (fileOfSq(s) << 3) | rankOfSq(s); }
constexpr int quadrantMask(int s) { return (fileOfSq(s) >= 4 ? 7 : 0) | (rankOfSq(s) >= 4 ? 56 : 0); }

// a1 b1 c1 d1 b2 c2 d2 c3 d3 d4: where the first king of a pawnless position is kept.
constexpr int kTriangle[10] = {0, 1, 2, 3, 9, 10, 11, 18, 19, 27};

struct SlotTables {
  int8_t pawnSlot[64];
  int8_t pawnlessSlot[64];
  int8_t pawnSquare[32];
};

constexpr SlotTables makeSlots() {
  SlotTables t{};
  for (int s = 0; s < 64; ++s) t.pawnSlot[s] = t.pawnlessSlot[s] = -1;
  for (int s = 0; s < 32; ++s) {
    t.pawnSquare[s] = int8_t((s / 4) * 8 + s % 4);
    t.pawnSlot[(s / 4) * 8 + s % 4] = int8_t(s);
  }
  for (int i = 0; i < 10; ++i) t.pawnlessSlot[kTriangle[i]] = int8_t(i);
  return t;
}
constexpr SlotTables kSlots = makeSlots();

int slotOf(const Ending& e, int sq) { return e.pawns ? kSlots.pawnSlot[sq] : kSlots.pawnlessSlot[sq]; }
int squareOfSlot(const Ending& e, int slot) {
  return e.pawns ? kSlots.pawnSquare[slot] : kTriangle[slot];
}

// Identical men are kept in ascending square order.
void sortGroups(const Ending& e, int* t) {
  for (int u = 3; u < e.units; ++u)
    for (int v = u; v > 2 && e.sameAsPrevious[v] && t[v - 1] > t[v]; --v) std::swap(t[v - 1], t[v]);
}

uint64_t compose(const Ending& e, const int* t) {
  uint64_t idx = uint64_t(slotOf(e, t[0]));
  for (int u = 1; u < e.units; ++u) idx = idx << 6 | uint64_t(t[u]);
  return idx;
}

int kindOfLetter(char c) {
  switch (c) {
    case 'p': return G_PAWN;
    case 'n': return G_KNIGHT;
    case 'b': return G_BISHOP;
    case 'r': return G_ROOK;
    case 'q': return G_QUEEN;
    default: return G_NONE;
  }
}

}  // namespace

char kindLetter(int kind) { return " pnbrqk"[kind]; }

void initGeometry() {
  static std::once_flag once;
  std::call_once(once, [] {
    Geometry& g = geometry;
    static constexpr int df[8] = {0, 1, 1, -1, 0, -1, -1, 1};
    static constexpr int dr[8] = {1, 0, 1, 1, -1, 0, -1, -1};
    for (int s = 0; s < 64; ++s) {
      const int f = fileOfSq(s), r = rankOfSq(s);
      g.knight[s] = g.king[s] = g.pawnAttack[0][s] = g.pawnAttack[1][s] = 0;
      g.orthogonal[s] = g.diagonal[s] = 0;
      for (int d = 0; d < 8; ++d) {
        g.ray[d][s] = 0;
        for (int ff = f + df[d], rr = r + dr[d]; ff >= 0 && ff < 8 && rr >= 0 && rr < 8;
             ff += df[d], rr += dr[d])
          g.ray[d][s] |= bit(rr * 8 + ff);
        if (f + df[d] >= 0 && f + df[d] < 8 && r + dr[d] >= 0 && r + dr[d] < 8)
          g.king[s] |= bit((r + dr[d]) * 8 + f + df[d]);
        (df[d] == 0 || dr[d] == 0 ? g.orthogonal[s] : g.diagonal[s]) |= g.ray[d][s];
      }
      static constexpr int nf[8] = {1, 2, 2, 1, -1, -2, -2, -1};
      static constexpr int nr[8] = {2, 1, -1, -2, -2, -1, 1, 2};
      for (int i = 0; i < 8; ++i)
        if (f + nf[i] >= 0 && f + nf[i] < 8 && r + nr[i] >= 0 && r + nr[i] < 8)
          g.knight[s] |= bit((r + nr[i]) * 8 + f + nf[i]);
      if (r < 7) {
        if (f > 0) g.pawnAttack[0][s] |= bit(s + 7);
        if (f < 7) g.pawnAttack[0][s] |= bit(s + 9);
      }
      if (r > 0) {
        if (f > 0) g.pawnAttack[1][s] |= bit(s - 9);
        if (f < 7) g.pawnAttack[1][s] |= bit(s - 7);
      }
    }
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b) {
        g.between[a][b] = 0;
        for (int d = 0; d < 8; ++d)
          if (g.ray[d][a] & bit(b)) g.between[a][b] = g.ray[d][a] & ~g.ray[d][b] & ~bit(b);
      }
  });
}

std::string materialName(const int* kinds0, int n0, const int* kinds1, int n1, bool* swapped) {
  int a[MAX_NAMED_MEN] = {}, b[MAX_NAMED_MEN] = {};
  auto sortDown = [](const int* in, int n, int* out) {
    for (int i = 0; i < n; ++i) {
      int j = i;
      for (; j > 0 && out[j - 1] < in[i]; --j) out[j] = out[j - 1];
      out[j] = in[i];
    }
  };
  sortDown(kinds0, n0, a);
  sortDown(kinds1, n1, b);
  bool swap = n1 > n0;
  if (n0 == n1) swap = std::lexicographical_compare(a, a + n0, b, b + n1);
  if (swapped) *swapped = swap;
  std::string name = "k";
  for (int i = 0; i < (swap ? n1 : n0); ++i) name += kindLetter(swap ? b[i] : a[i]);
  name += 'k';
  for (int i = 0; i < (swap ? n0 : n1); ++i) name += kindLetter(swap ? a[i] : b[i]);
  return name;
}

bool parseMaterial(const std::string& name, Material* material, std::string* error) {
  Material m;
  m.name = name;
  const size_t second = name.find('k', 1);
  if (name.empty() || name[0] != 'k' || second == std::string::npos) {
    *error = "an ending name looks like kqkr: k, the first side's men, k, the second side's men";
    return false;
  }
  m.kind[0] = m.kind[1] = G_KING;
  m.colour[1] = 1;
  for (size_t i = 1; i < name.size(); ++i) {
    if (i == second) continue;
    const int kind = kindOfLetter(name[i]);
    if (kind == G_NONE || kind == G_KING) {
      *error = std::string("unknown man '") + name[i] + "' in " + name;
      return false;
    }
    if (m.units == MAX_NAMED_UNITS) {
      *error = name + ": more than " + std::to_string(MAX_NAMED_UNITS) + " men";
      return false;
    }
    m.colour[m.units] = i > second ? 1 : 0;
    m.kind[m.units++] = kind;
  }
  *material = m;
  return true;
}

bool parseEnding(const std::string& name, Ending* ending, std::string* error) {
  Ending e;
  e.name = name;
  const size_t second = name.find('k', 1);
  if (name.empty() || name[0] != 'k' || second == std::string::npos) {
    *error = "an ending name looks like kqkr: k, the first side's men, k, the second side's men";
    return false;
  }
  int kinds[2][MAX_MEN], count[2] = {0, 0};
  for (size_t i = 1; i < name.size(); ++i) {
    if (i == second) continue;
    const int side = i > second ? 1 : 0;
    const int kind = kindOfLetter(name[i]);
    if (kind == G_NONE) {
      *error = std::string("unknown man '") + name[i] + "' in " + name;
      return false;
    }
    if (count[0] + count[1] == MAX_MEN) {
      // Every position is held in memory while it is analysed: six men would need
      // tens of gigabytes.
      *error = name + ": endings of more than " + std::to_string(MAX_MEN + 2) + " men are not generated";
      return false;
    }
    kinds[side][count[side]++] = kind;
  }
  if (count[0] + count[1] == 0) {
    *error = "bare kings are no ending";
    return false;
  }
  bool swapped = false;
  const std::string canonical = materialName(kinds[0], count[0], kinds[1], count[1], &swapped);
  if (canonical != name) {
    *error = "this material is called " + canonical;
    return false;
  }
  e.colour[0] = 0, e.kind[0] = G_KING;
  e.colour[1] = 1, e.kind[1] = G_KING;
  e.units = 2;
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < count[side]; ++i) {
      const int u = e.units++;
      e.colour[u] = side;
      e.kind[u] = kinds[side][i];
      e.sameAsPrevious[u] = u > 2 && e.colour[u - 1] == side && e.kind[u - 1] == e.kind[u];
      if (e.kind[u] == G_PAWN) e.pawns = true;
    }
  e.men = e.units - 2;
  bool pawnOf[2] = {false, false};
  for (int u = 2; u < e.units; ++u)
    if (e.kind[u] == G_PAWN) pawnOf[e.colour[u]] = true;
  e.bothPawns = pawnOf[0] && pawnOf[1];
  e.kingSlots = e.pawns ? 32 : 10;
  e.size = uint64_t(e.kingSlots) << (6 * (e.units - 1));
  *ending = e;
  return true;
}

uint64_t canonicalIndex(const Ending& e, const int* sq, int* canon, bool* symmetric) {
  int t[MAX_UNITS] = {};
  if (symmetric) *symmetric = false;
  if (e.pawns) {
    const int x = fileOfSq(sq[0]) >= 4 ? 7 : 0;
    for (int u = 0; u < e.units; ++u) t[u] = sq[u] ^ x;
    sortGroups(e, t);
    if (canon) copyUnits(canon, t);
    return compose(e, t);
  }
  const int m = quadrantMask(sq[0]);
  for (int u = 0; u < e.units; ++u) t[u] = sq[u] ^ m;
  if (rankOfSq(t[0]) > fileOfSq(t[0]))
    for (int u = 0; u < e.units; ++u) t[u] = transposeSq(t[u]);
  sortGroups(e, t);
  uint64_t idx = compose(e, t);
  if (rankOfSq(t[0]) == fileOfSq(t[0])) {
    int tt[MAX_UNITS] = {};
    for (int u = 0; u < e.units; ++u) tt[u] = transposeSq(t[u]);
    sortGroups(e, tt);
    const uint64_t other = compose(e, tt);
    if (symmetric) *symmetric = other == idx;
    if (other < idx) {
      idx = other;
      copyUnits(t, tt);
    }
  }
  if (canon) copyUnits(canon, t);
  return idx;
}

bool decodeIndex(const Ending& e, uint64_t index, int* sq) {
  for (int u = e.units; u < MAX_UNITS; ++u) sq[u] = OFF_BOARD;
  const int shift = 6 * (e.units - 1);
  const uint64_t slot = index >> shift;
  if (slot >= uint64_t(e.kingSlots)) return false;
  sq[0] = squareOfSlot(e, int(slot));
  uint64_t occupied = bit(sq[0]);
  for (int u = 1; u < e.units; ++u) {
    sq[u] = int((index >> (6 * (e.units - 1 - u))) & 63);
    if (occupied & bit(sq[u])) return false;
    occupied |= bit(sq[u]);
    if (e.kind[u] == G_PAWN && (rankOfSq(sq[u]) == 0 || rankOfSq(sq[u]) == 7)) return false;
    if (e.sameAsPrevious[u] && sq[u - 1] > sq[u]) return false;
  }
  if (geometry.king[sq[0]] & bit(sq[1])) return false;
  if (!e.pawns && rankOfSq(sq[0]) == fileOfSq(sq[0]) && canonicalIndex(e, sq) != index) return false;
  return true;
}

int epPawns(const Ending& e, const int* sq, int sideToMove, int* squares) {
  if (!e.bothPawns) return 0;
  const int mover = sideToMove ^ 1;
  const int up = mover == 0 ? 8 : -8;
  const uint64_t occupied = occupancyOf(e, sq);
  uint64_t beside = 0;  // squares next to a pawn of the side to move, on its rank
  for (int u = 2; u < e.units; ++u)
    if (e.colour[u] == sideToMove && e.kind[u] == G_PAWN && sq[u] != OFF_BOARD) {
      if (fileOfSq(sq[u]) > 0) beside |= bit(sq[u] - 1);
      if (fileOfSq(sq[u]) < 7) beside |= bit(sq[u] + 1);
    }
  int n = 0;
  for (int u = 2; u < e.units; ++u) {
    if (e.colour[u] != mover || e.kind[u] != G_PAWN || sq[u] == OFF_BOARD) continue;
    const int s = sq[u];
    const int rank = mover == 0 ? rankOfSq(s) : 7 - rankOfSq(s);
    if (rank == 3 && (beside & bit(s)) && !(occupied & (bit(s - up) | bit(s - 2 * up)))) squares[n++] = s;
  }
  return n;
}

}  // namespace tbgen
