#include "board/bitboard.h"


ConstantTables constantTables;

namespace {

uint32_t generatorState = 1;

// One Park-Miller step with Schrage's method, in 32-bit signed arithmetic.
int32_t parkMillerStep(int32_t s) {
  s = 16807 * (s % 127773) - 2836 * (s / 127773);
  if (s <= 0) s += 2147483647;
  return s;
}

// Bits reached by the line walk from position p through occupancy o (p's own bit ignored).
uint32_t lineWalk(int p, uint32_t o) {
  uint32_t bits = 0;
  for (int i = p + 1; i <= 7; ++i) {
    bits |= 1u << i;
    if (o & (1u << i)) break;
  }
  for (int i = p - 1; i >= 0; --i) {
    bits |= 1u << i;
    if (o & (1u << i)) break;
  }
  return bits;
}

Bitboard rayFrom(int sq, int df, int dr) {
  Bitboard b = 0;
  int f = fileOf(sq) + df, r = rankOf(sq) + dr;
  while (f >= 0 && f < 8 && r >= 0 && r < 8) {
    b |= Bitboard(1) << (r * 8 + f);
    f += df;
    r += dr;
  }
  return b;
}

}  // namespace

int firstOneByTable(Bitboard b) {
  const uint8_t* lowBitTable = constantTables.lowBitTable;
  for (int k = 0; k < 4; ++k) {
    unsigned chunk = unsigned(b >> (16 * k)) & 0xFFFF;
    if (chunk) return lowBitTable[chunk] + 16 * k;
  }
  return lowBitTable[0] + 48;
}

int lastOneByTable(Bitboard b) {
  if (!b) return 64;
  for (int k = 3; k >= 0; --k) {
    unsigned chunk = unsigned(b >> (16 * k)) & 0xFFFF;
    if (chunk) return 16 * k + 15 - constantTables.highBitTable[chunk];
  }
  return 64;
}

void initTables(BoardTables* tables) {
  if (!constantTables.built) initBitScanTables();
  initBoardTables(tables);
  if (!constantTables.built) initSlidingAttacks();
  initHashKeys(tables);
  constantTables.built = true;
}

void initBitScanTables() {
  uint8_t* lowBitTable = constantTables.lowBitTable;
  uint8_t* highBitTable = constantTables.highBitTable;
  lowBitTable[0] = highBitTable[0] = 16;
  for (unsigned x = 1; x < 65536; ++x) {
    int low = 0;
    while (!(x & (1u << low))) ++low;
    int high = 15;
    while (!(x & (1u << high))) --high;
    lowBitTable[x] = uint8_t(low);
    highBitTable[x] = uint8_t(15 - high);
  }
}

void seedRandom(uint32_t seed) { generatorState = seed; }
uint32_t randomState() { return generatorState; }

uint32_t random32() {
  int32_t s1 = parkMillerStep(int32_t(generatorState));
  int32_t s2 = parkMillerStep(s1);
  generatorState = uint32_t(s2);
  return uint32_t(s1) + uint32_t(s2);
}

uint64_t random64() {
  uint64_t low = random32();
  uint64_t high = random32();
  return low | high << 32;
}

void initSlidingAttacks() {
  ConstantTables& c = constantTables;
  for (int sq = 0; sq < 64; ++sq) {
    const int f = fileOf(sq), r = rankOf(sq);
    for (uint32_t o = 0; o < 256; ++o) {
      Bitboard rank = 0, file = 0, a8h1 = 0, a1h8 = 0;
      uint32_t bits = lineWalk(f, o);
      for (int b = 0; b < 8; ++b)
        if (bits & (1u << b)) rank |= Bitboard(1) << (r * 8 + b);
      bits = lineWalk(r, o);
      for (int b = 0; b < 8; ++b) {
        if (!(bits & (1u << b))) continue;
        file |= Bitboard(1) << (b * 8 + f);
        // Each diagonal byte packs two diagonals on disjoint ranks; keep our own.
        int s1 = squareOfA8H1Bit[diagA8H1Byte[sq] * 8 + b];
        if (fileOf(s1) + rankOf(s1) == f + r) a8h1 |= Bitboard(1) << s1;
        int s2 = squareOfA1H8Bit[diagA1H8Byte[sq] * 8 + b];
        if (rankOf(s2) - fileOf(s2) == r - f) a1h8 |= Bitboard(1) << s2;
      }
      c.rankAttacks[sq][o] = rank;
      c.fileAttacks[sq][o] = file;
      c.diagA8H1Attacks[sq][o] = a8h1;
      c.diagA1H8Attacks[sq][o] = a1h8;
    }
  }
  static const int steps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1},
                                  {1, 1}, {-1, -1}, {-1, 1}, {1, -1}};
  for (int a = 0; a < 64; ++a) {
    for (int b = 0; b < 64; ++b) c.betweenSquares[a][b] = 0;
    for (const auto& d : steps) {
      Bitboard path = 0;
      for (int f = fileOf(a) + d[0], r = rankOf(a) + d[1]; f >= 0 && f < 8 && r >= 0 && r < 8;
           f += d[0], r += d[1]) {
        c.betweenSquares[a][r * 8 + f] = path;
        path |= Bitboard(1) << (r * 8 + f);
      }
    }
  }
}

void initBoardTables(BoardTables* t) {
  auto fileBits = [](int f) { return Bitboard(0x0101010101010101ULL) << f; };
  auto rankBits = [](int r) { return Bitboard(0xFFULL) << (8 * r); };
  for (int i = 0; i < 8; ++i) {
    t->fileMask[i] = fileBits(i);
    t->rankMask[i] = rankBits(i);
  }
  t->queenSideFiles = fileBits(0) | fileBits(1) | fileBits(2) | fileBits(3);
  t->filesAToC = fileBits(0) | fileBits(1) | fileBits(2);
  t->kingSideFiles = fileBits(4) | fileBits(5) | fileBits(6) | fileBits(7);
  t->filesFToH = fileBits(5) | fileBits(6) | fileBits(7);
  t->edgeSquares = rankBits(0) | rankBits(7) | fileBits(0) | fileBits(7);
  t->secondRing = rankBits(1) | rankBits(6) | fileBits(1) | fileBits(6);
  t->darkSquares = 0xAA55AA55AA55AA55ULL;
  t->lightSquares = 0x55AA55AA55AA55AAULL;

  for (int sq = 0; sq < 64; ++sq) {
    const int f = fileOf(sq), r = rankOf(sq);
    t->eastOf[sq] = rayFrom(sq, 1, 0);
    t->westOf[sq] = rayFrom(sq, -1, 0);
    t->northOf[sq] = rayFrom(sq, 0, 1);
    t->southOf[sq] = rayFrom(sq, 0, -1);
    t->northEastRay[sq] = rayFrom(sq, 1, 1);
    t->northWestRay[sq] = rayFrom(sq, -1, 1);
    t->southEastRay[sq] = rayFrom(sq, 1, -1);
    t->southWestRay[sq] = rayFrom(sq, -1, -1);

    Bitboard adjacent = (f > 0 ? fileBits(f - 1) : 0) | (f < 7 ? fileBits(f + 1) : 0);
    Bitboard twoAway = (f > 1 ? fileBits(f - 2) : 0) | (f < 6 ? fileBits(f + 2) : 0);
    Bitboard above = 0, below = 0;
    for (int rr = r + 1; rr < 8; ++rr) above |= rankBits(rr);
    for (int rr = 0; rr < r; ++rr) below |= rankBits(rr);
    t->adjacentFiles[sq] = adjacent;
    t->filesTwoAway[sq] = twoAway;
    t->rankNeighbours[sq] = adjacent & rankBits(r);
    t->adjacentFilesAbove[sq] = adjacent & above;
    t->adjacentFilesBelow[sq] = adjacent & below;
    t->rankAbove[sq] = r < 7 ? rankBits(r + 1) : 0;
    t->rankTwoAbove[sq] = r < 6 ? rankBits(r + 2) : 0;
    t->rankBelow[sq] = r > 0 ? rankBits(r - 1) : 0;
    t->rankTwoBelow[sq] = r > 1 ? rankBits(r - 2) : 0;
    t->whitePawnAttacks[sq] = adjacent & t->rankAbove[sq];
    t->blackPawnAttacks[sq] = adjacent & t->rankBelow[sq];
    t->knightAttacks[sq] = ((t->rankBelow[sq] | t->rankAbove[sq]) & twoAway) |
                           ((t->rankTwoBelow[sq] | t->rankTwoAbove[sq]) & adjacent);
    t->bishopRays[sq] =
        t->northEastRay[sq] | t->northWestRay[sq] | t->southEastRay[sq] | t->southWestRay[sq];
    Bitboard king = 0, two = 0;
    for (int other = 0; other < 64; ++other) {
      const int dist = kingDistance(sq, other);
      if (dist == 1) king |= Bitboard(1) << other;
      if (dist <= 2) two |= Bitboard(1) << other;
    }
    t->kingAttacks[sq] = king;
    t->kingDistanceTwo[sq] = two;

    for (int other = 0; other < 64; ++other) t->direction[sq][other] = 0;
    const struct {
      Bitboard ray;
      int step;
    } rays[8] = {{t->eastOf[sq], 1},        {t->westOf[sq], -1},        {t->northOf[sq], 8},
                 {t->southOf[sq], -8},      {t->northEastRay[sq], 9},  {t->southWestRay[sq], -9},
                 {t->northWestRay[sq], 7},  {t->southEastRay[sq], -7}};
    for (const auto& ray : rays)
      for (Bitboard b = ray.ray; b; b &= b - 1)
        t->direction[sq][__builtin_ctzll(b)] = int8_t(ray.step);
  }
}

void initHashKeys(BoardTables* t) {
  generatorState = 11141957;
  for (int sq = 0; sq < 64; ++sq) {
    for (int code = 1; code <= 12; ++code) t->pieceKey[code - 1][sq] = random64();
    t->enPassantKey[sq] = random64();
  }
  for (int i = 0; i < 4; ++i) {
    t->whiteCastleKey[i] = random64();
    t->blackCastleKey[i] = random64();
  }
}
