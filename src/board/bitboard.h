// Bitboard primitives, the random generator, rotated-board sliding attacks and the
// initialisers of the precomputed tables.
//
// The precomputed tables have two owners: constantTables below (bit scans, sliding
// attacks, squares between), which no game changes and every routine reads directly, and
// the BoardTables record (masks, leaper attacks, square values, hash keys), which the
// driver owns and passes by pointer. initTables builds both.
#pragma once

#include <array>

#include "board/types.h"

namespace detail {
template <typename T, typename F>
constexpr std::array<T, 64> squareTable(F f) {
  std::array<T, 64> t{};
  for (int sq = 0; sq < 64; ++sq) t[sq] = f(sq);
  return t;
}
constexpr std::array<uint8_t, 64> inverseMap(const std::array<uint8_t, 64>& map) {
  std::array<uint8_t, 64> inv{};
  for (int sq = 0; sq < 64; ++sq) inv[map[sq]] = uint8_t(sq);
  return inv;
}
}  // namespace detail

// Single-square masks and their complements.
inline constexpr auto squareMask =
    detail::squareTable<Bitboard>([](int sq) { return Bitboard(1) << sq; });
inline constexpr auto squareClear =
    detail::squareTable<Bitboard>([](int sq) { return ~(Bitboard(1) << sq); });

// King moves between two squares, looked up: the evaluation asks for it per pawn file.
inline constexpr auto kingDistanceTable = [] {
  std::array<std::array<uint8_t, 64>, 64> d{};
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) {
      const int df = fileOf(a) > fileOf(b) ? fileOf(a) - fileOf(b) : fileOf(b) - fileOf(a);
      const int dr = rankOf(a) > rankOf(b) ? rankOf(a) - rankOf(b) : rankOf(b) - rankOf(a);
      d[a][b] = uint8_t(df > dr ? df : dr);
    }
  return d;
}();
inline int kingDistance(int a, int b) { return kingDistanceTable[a][b]; }

// Every square a rook or a bishop on sq reaches on an empty board: a slider outside these
// rays cannot attack sq, whatever stands between.
namespace detail {
constexpr Bitboard raysFrom(int sq, const int (&directions)[4][2]) {
  Bitboard rays = 0;
  for (const auto& d : directions)
    for (int f = fileOf(sq) + d[0], r = rankOf(sq) + d[1]; f >= 0 && f < 8 && r >= 0 && r < 8;
         f += d[0], r += d[1])
      rays |= Bitboard(1) << (r * 8 + f);
  return rays;
}
constexpr int straightDirections[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
constexpr int diagonalDirections[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
}  // namespace detail
inline constexpr auto straightRays =
    detail::squareTable<Bitboard>([](int sq) { return detail::raysFrom(sq, detail::straightDirections); });
inline constexpr auto diagonalRays =
    detail::squareTable<Bitboard>([](int sq) { return detail::raysFrom(sq, detail::diagonalDirections); });

// Bit of each square in the three rotated occupancy boards, the byte of its diagonal,
// and the inverse maps from a rotated bit back to the square.
inline constexpr auto rotatedR90Bit =
    detail::squareTable<uint8_t>([](int sq) { return uint8_t(fileOf(sq) * 8 + rankOf(sq)); });
inline constexpr auto rotatedA8H1Bit = detail::squareTable<uint8_t>(
    [](int sq) { return uint8_t(((fileOf(sq) + rankOf(sq)) & 7) * 8 + rankOf(sq)); });
inline constexpr auto rotatedA1H8Bit = detail::squareTable<uint8_t>(
    [](int sq) { return uint8_t(((7 - fileOf(sq) + rankOf(sq)) & 7) * 8 + rankOf(sq)); });
inline constexpr auto diagA8H1Byte =
    detail::squareTable<uint8_t>([](int sq) { return uint8_t((fileOf(sq) + rankOf(sq)) & 7); });
inline constexpr auto diagA1H8Byte = detail::squareTable<uint8_t>(
    [](int sq) { return uint8_t((7 - fileOf(sq) + rankOf(sq)) & 7); });
inline constexpr auto squareOfR90Bit = detail::inverseMap(rotatedR90Bit);
inline constexpr auto squareOfA8H1Bit = detail::inverseMap(rotatedA8H1Bit);
inline constexpr auto squareOfA1H8Bit = detail::inverseMap(rotatedA1H8Bit);

struct ConstantTables {
  // Bit-scan tables over 16-bit chunks (entry 0 is 16 in both).
  uint8_t lowBitTable[65536];
  uint8_t highBitTable[65536];
  // Sliding-attack tables, indexed by square and the 8-bit occupancy of the line.
  Bitboard rankAttacks[64][256];
  Bitboard fileAttacks[64][256];
  Bitboard diagA8H1Attacks[64][256];
  Bitboard diagA1H8Attacks[64][256];
  // Squares strictly between two squares on a common line (0 when they share none).
  Bitboard betweenSquares[64][64];
  bool built;  // by initTables
};
extern ConstantTables constantTables;

// The four initialisers in their order: initBitScanTables, initBoardTables,
// initSlidingAttacks, initHashKeys. constantTables are built by the first call only;
// tables is filled every time (its hash keys always come from the same seed).
void initTables(BoardTables* tables);

void initBitScanTables();   // constantTables' bit-scan tables
void initSlidingAttacks();  // constantTables' sliding attacks and squares between
void initBoardTables(BoardTables* tables);
void initHashKeys(BoardTables* tables);

uint32_t random32();
uint64_t random64();
void seedRandom(uint32_t seed);
uint32_t randomState();

// Lowest / highest set bit, 64 for an empty board. The intrinsics give exactly the
// results of the chunked table scan (a test checks both against each other).
inline int firstOne(Bitboard b) { return b ? __builtin_ctzll(b) : 64; }
inline int lastOne(Bitboard b) { return b ? 63 - __builtin_clzll(b) : 64; }
inline int popCount(Bitboard b) { return __builtin_popcountll(b); }

// The table-driven scans, kept as the reference for the fast ones above.
int firstOneByTable(Bitboard b);
int lastOneByTable(Bitboard b);

// The four occupancy words a sliding lookup needs: the normal board and the rotated ones.
struct Occupancy {
  Bitboard normal, r90, a8h1, a1h8;
  void toggle(int sq) {
    normal ^= Bitboard(1) << sq;
    r90 ^= Bitboard(1) << rotatedR90Bit[sq];
    a8h1 ^= Bitboard(1) << rotatedA8H1Bit[sq];
    a1h8 ^= Bitboard(1) << rotatedA1H8Bit[sq];
  }
};

inline Occupancy occupancyOf(const Position& p) {
  return {p.whitePieces | p.blackPieces, p.occupiedR90, p.occupiedA8H1, p.occupiedA1H8};
}

inline Bitboard rankAttacksOf(int sq, Bitboard occupied) {
  return constantTables.rankAttacks[sq][(occupied >> (sq & 56)) & 255];
}
inline Bitboard fileAttacksOf(int sq, Bitboard r90) {
  return constantTables.fileAttacks[sq][(r90 >> ((sq & 7) * 8)) & 255];
}
inline Bitboard diagA8H1AttacksOf(int sq, Bitboard a8h1) {
  return constantTables.diagA8H1Attacks[sq][(a8h1 >> (diagA8H1Byte[sq] * 8)) & 255];
}
inline Bitboard diagA1H8AttacksOf(int sq, Bitboard a1h8) {
  return constantTables.diagA1H8Attacks[sq][(a1h8 >> (diagA1H8Byte[sq] * 8)) & 255];
}
inline Bitboard squaresBetween(int a, int b) { return constantTables.betweenSquares[a][b]; }

inline Bitboard rookAttacksOf(int sq, const Occupancy& o) {
  return rankAttacksOf(sq, o.normal) | fileAttacksOf(sq, o.r90);
}
inline Bitboard bishopAttacksOf(int sq, const Occupancy& o) {
  return diagA8H1AttacksOf(sq, o.a8h1) | diagA1H8AttacksOf(sq, o.a1h8);
}

inline Bitboard rookAttacks(const Position& p, int sq) {
  return rankAttacksOf(sq, p.whitePieces | p.blackPieces) | fileAttacksOf(sq, p.occupiedR90);
}
inline Bitboard bishopAttacks(const Position& p, int sq) {
  return diagA8H1AttacksOf(sq, p.occupiedA8H1) | diagA1H8AttacksOf(sq, p.occupiedA1H8);
}
inline Bitboard queenAttacks(const Position& p, int sq) {
  return rookAttacks(p, sq) | bishopAttacks(p, sq);
}

// Sets or clears a square in all three rotated boards.
inline void toggleRotated(Position& p, int sq) {
  p.occupiedR90 ^= Bitboard(1) << rotatedR90Bit[sq];
  p.occupiedA8H1 ^= Bitboard(1) << rotatedA8H1Bit[sq];
  p.occupiedA1H8 ^= Bitboard(1) << rotatedA1H8Bit[sq];
}
