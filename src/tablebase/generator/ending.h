// Endings as the tablebase generator sees them: the men of an ending, the generator's
// own position index (one number per position up to the board's symmetries, so that
// each position is analysed once), and the small board routines shared by forward and
// backward move generation.
//
// Sides: 0 is the side named first (its pawns move up the board), 1 the second side.
// Units: 0 is the first side's king, 1 the second side's king, then the men of the
// first side in name order, then those of the second side.
#pragma once

#include <cstdint>
#include <string>

namespace tbgen {

enum GenKind : int { G_NONE = 0, G_PAWN = 1, G_KNIGHT, G_BISHOP, G_ROOK, G_QUEEN, G_KING };

constexpr int MAX_MEN = 3;              // men besides the kings: up to five-man endings
constexpr int MAX_UNITS = 2 + MAX_MEN;
constexpr int MAX_NAMED_MEN = 4;        // men besides the kings in the endings the engine knows
constexpr int MAX_NAMED_UNITS = 2 + MAX_NAMED_MEN;
constexpr int OFF_BOARD = 64;           // square of a captured unit

struct Ending {
  std::string name;
  int men = 0;
  int units = 2;
  int colour[MAX_UNITS]{};
  int kind[MAX_UNITS]{};
  bool sameAsPrevious[MAX_UNITS]{};  // identical to the unit before it (sorted together)
  bool pawns = false;                // any pawn: only the file mirror is a symmetry
  bool bothPawns = false;            // both sides have pawns: en-passant positions exist
  int kingSlots = 0;                 // squares the first king is brought to: 32 or 10
  uint64_t size = 0;                 // kingSlots * 64^(men + 1)
};

// The men of an ending's name, for what needs no position index (which endings it leads
// to): up to six men, so the six-man endings can be planned although not generated.
struct Material {
  std::string name;
  int units = 2;
  int colour[MAX_NAMED_UNITS]{};
  int kind[MAX_NAMED_UNITS]{};
};
bool parseMaterial(const std::string& name, Material* material, std::string* error);

// Parses "kqkr", "krpkp", ...: letters p n b r q between and after the two k's, at most
// MAX_MEN men. The name is taken as it is; whether the engine knows it is the caller's
// business.
bool parseEnding(const std::string& name, Ending* ending, std::string* error);

// The name of the ending with these men (kinds 1..5, any order) and whether the sides
// are exchanged in it: the side with more men is named first; with as many, the one
// whose men, strongest first, compare higher. Men within a side go strongest first.
std::string materialName(const int* kinds0, int n0, const int* kinds1, int n1, bool* swapped);

char kindLetter(int kind);

// ---- Board geometry ----

struct Geometry {
  uint64_t knight[64];
  uint64_t king[64];
  uint64_t pawnAttack[2][64];  // squares a pawn of the side attacks
  uint64_t ray[8][64];         // 0..3 towards higher squares (N, E, NE, NW), 4..7 lower
  uint64_t between[64][64];
  uint64_t orthogonal[64];     // squares on the same rank or file
  uint64_t diagonal[64];
};
extern Geometry geometry;
void initGeometry();  // idempotent

inline uint64_t bit(int sq) { return uint64_t(1) << sq; }

// Square arrays always have MAX_UNITS entries, so that copies have a fixed size.
inline void copyUnits(int* to, const int* from) {
  for (int u = 0; u < MAX_UNITS; ++u) to[u] = from[u];
}

inline uint64_t rayAttacks(int d, int sq, uint64_t occupied) {
  uint64_t r = geometry.ray[d][sq];
  const uint64_t blockers = r & occupied;
  if (blockers) {
    const int b = d < 4 ? __builtin_ctzll(blockers) : 63 - __builtin_clzll(blockers);
    r ^= geometry.ray[d][b];
  }
  return r;
}
inline uint64_t rookAttacks(int sq, uint64_t occ) {
  return rayAttacks(0, sq, occ) | rayAttacks(1, sq, occ) | rayAttacks(4, sq, occ) |
         rayAttacks(5, sq, occ);
}
inline uint64_t bishopAttacks(int sq, uint64_t occ) {
  return rayAttacks(2, sq, occ) | rayAttacks(3, sq, occ) | rayAttacks(6, sq, occ) |
         rayAttacks(7, sq, occ);
}
// Squares a unit attacks (a pawn: its capture squares).
inline uint64_t attacksOf(int kind, int colour, int sq, uint64_t occ) {
  switch (kind) {
    case G_PAWN: return geometry.pawnAttack[colour][sq];
    case G_KNIGHT: return geometry.knight[sq];
    case G_BISHOP: return bishopAttacks(sq, occ);
    case G_ROOK: return rookAttacks(sq, occ);
    case G_QUEEN: return rookAttacks(sq, occ) | bishopAttacks(sq, occ);
    default: return geometry.king[sq];
  }
}

// Is target attacked by a unit of colour on the board sq/occupied (units off the board
// are ignored)?
inline bool attacked(const Ending& e, const int* sq, uint64_t occupied, int target,
                     int colour) {
  for (int u = 0; u < e.units; ++u) {
    if (e.colour[u] != colour || sq[u] == OFF_BOARD) continue;
    const int s = sq[u];
    switch (e.kind[u]) {
      case G_PAWN:
        if (geometry.pawnAttack[colour][s] & bit(target)) return true;
        break;
      case G_KNIGHT:
        if (geometry.knight[s] & bit(target)) return true;
        break;
      case G_KING:
        if (geometry.king[s] & bit(target)) return true;
        break;
      default: {
        const int k = e.kind[u];
        const uint64_t lines = (k != G_BISHOP ? geometry.orthogonal[s] : 0) |
                               (k != G_ROOK ? geometry.diagonal[s] : 0);
        if ((lines & bit(target)) && !(geometry.between[s][target] & occupied)) return true;
      }
    }
  }
  return false;
}

inline uint64_t occupancyOf(const Ending& e, const int* sq) {
  uint64_t o = 0;
  for (int u = 0; u < e.units; ++u)
    if (sq[u] != OFF_BOARD) o |= bit(sq[u]);
  return o;
}

// ---- The generator's index ----
//
// index = slot(first king) * 64^(men+1) + second king * 64^men + men's squares, base 64.
// With pawns the first king is mirrored onto files a-d (32 slots); without, it is
// brought into the a1-d1-d4 triangle (10 slots), and when it stands on the diagonal the
// smaller index of the position and its transpose is kept. Identical men are sorted.

// Index of the position with the units on sq (any symmetric image of it; arrays of
// MAX_UNITS entries). When canon is given it receives the squares of the stored image; symmetric tells whether the
// position is its own transpose (pawnless endings only: such a position has half as many
// images).
uint64_t canonicalIndex(const Ending& e, const int* sq, int* canon = nullptr,
                        bool* symmetric = nullptr);

// Squares of an index; false when the index names no position: units on one square,
// pawns on the first or last rank, kings next to each other, men out of order, or an
// image that is not the one kept. A true result may still have the side not to move in
// check.
bool decodeIndex(const Ending& e, uint64_t index, int* sq);

// Squares of the pawns of the side not to move that may just have made a double step
// beside a pawn of the side to move: each makes an en-passant position. Returns how many.
int epPawns(const Ending& e, const int* sq, int sideToMove, int* squares);

// The side that is not to move must not be in check.
inline bool legalFor(const Ending& e, const int* sq, int sideToMove) {
  const int other = sideToMove ^ 1;
  return !attacked(e, sq, occupancyOf(e, sq), sq[other], sideToMove);
}

}  // namespace tbgen
