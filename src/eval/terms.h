// The positional terms of the evaluation. Each term is written once as a template on
// the colour and returns centipawns from White's point of view: the terms compute the
// side's own view and multiply by Colour<Side>::sign at the end.
//
// Middlegame terms (used while the weaker side keeps more than 1400 in pieces):
//   pawnTerm, knightTerm, bishopTerm, blockingBishopTerm, rookTerm, trappedRookTerm,
//   queenTerm, kingSquareTerm, kingSafetyTerm.
// Endgame terms: passedPawnTerm, endgameKnightTerm, endgameBishopTerm, endgameRookTerm,
//   endgameTrappedRookTerm, endgameKingTerm.
#pragma once

#include "board/bitboard.h"
#include "board/types.h"
#include "movegen/attacks.h"

namespace evalterms {

// Square of a1-relative name sq as seen from Side (a1 stays a1 for White, becomes a8).
template <int Side>
constexpr int rel(int sq) {
  return Colour<Side>::relativeSquare(sq);
}
template <int Side>
constexpr Bitboard relMask(int sq) {
  return Bitboard(1) << rel<Side>(sq);
}

// The attack byte of a square for attacks by Side, through the per-ply cache.
template <int Side>
inline uint8_t attackInfo(int sq, const Position* p, UndoRecord* record, const BoardTables* t) {
  return Side == WHITE ? attackInfoByWhite(sq, p, record, t) : attackInfoByBlack(sq, p, record, t);
}

// Weights in centipawns, each term's own view (the terms apply the sign).
// Pawns.
constexpr int ISOLATED_PAWN = 20;        // per pawn without own pawns on the neighbouring files
constexpr int DOUBLED_PAWN = 25;         // per pawn more than one on a file
constexpr int PAWN_STORM = 2;            // per rank of the front pawn, again with a queen at hand
constexpr int PAWN_DUO = 10;             // per rank of a front pawn with a pawn beside it
// Pieces.
constexpr int KNIGHT_MOBILITY = 3;       // per square a knight reaches
constexpr int BISHOP_MOBILITY = 5;       // per square a bishop reaches
constexpr int CENTRE_OUTPOST = 50;       // knight on d5/e5 that no minor or pawn can chase
constexpr int CENTRE_OUTPOST_CONTESTED = 13;
constexpr int DEEP_OUTPOST = 100;        // knight on d6/e6 that no minor can exchange
constexpr int DEEP_OUTPOST_CONTESTED = 25;
constexpr int BLOCKING_BISHOP = 30;
constexpr int ROOK_OPEN_FILE = 30;
constexpr int ROOK_HALF_OPEN_FILE = 10;  // no own pawn, enemy pawns
constexpr int ENDGAME_ROOK_OPEN_FILE = 20;
constexpr int ROOK_EDGE_PATTERN = 35;    // see edgePattern
constexpr int QUEEN_EDGE_PATTERN = 10;
constexpr int EDGE_PATTERN_PHASE = 2227;  // above this phase the pattern waits for development
constexpr int TRAPPED_ROOK = 25;         // locked in by its own king or an own pawn beside it
constexpr int ROOK_BEHIND_PASSER = 40;
constexpr int BISHOP_BOTH_WINGS = 25;
// Kings.
constexpr int KING_GUARD = 3;            // per own man within two squares of the king
constexpr int KING_CHASE = 15;           // per square the kings are closer than the widest distance
constexpr int ROOK_CHECK_SHIELD = 10;    // a pawn beside the king on the enemy rook's side
constexpr int QUEEN_CONTACT_MATE = 600;  // protected queen beside a king that guards alone
constexpr int KING_FILE_OPEN = 30;       // the king's own file without pawns
constexpr int KING_FILE_HALF_OPEN = 20;  // only enemy pawns on it
constexpr int KING_PAWN_ADVANCED = 5;    // the pawn in front of the king one step up
constexpr int KING_PAWN_GONE = 10;       // no pawn in the two squares in front of the king
constexpr int PAWN_WEDGE = 30;           // enemy pawns on e5 and d4 (d5 and e4) against the king
constexpr int OPEN_FIANCHETTO = 5;       // b2 or g2 beside the king with neither pawn nor bishop
constexpr int CASTLING_GIVEN_UP = 20;    // rights lost in the search without castling
constexpr int SHELTER_UNIT = 32;         // shelter penalty worth one more attack count
// Shelter of a file beside the king, [small, big] by how near the file is.
constexpr int SHELTER_OPEN[2] = {12, 18};       // no pawns on the file
constexpr int SHELTER_HALF_OPEN[2] = {8, 12};   // only enemy pawns
constexpr int SHELTER_ADVANCED[2] = {2, 3};     // the own pawn one step up
constexpr int SHELTER_GONE[2] = {4, 6};         // the own pawn further up
// Passed pawns in the endgame.
constexpr int PAWN_RACE = 2;             // per square of king distance gained, times (7 - nearer)
constexpr int UNSTOPPABLE_PAWN = 100;    // per rank of a pawn the enemy king cannot catch
constexpr int MAX_KING_DISTANCE = 7;

// A computed byte that says "attacked by the king and nothing else".
constexpr uint8_t KING_ALONE = ATTACK_COMPUTED | ATTACKED | ATTACK_BY_KING;

// Base of the king-attack count by the king's own square (White's view, a1 first).
inline constexpr int kingBaseCount[64] = {
    2, 0, 0, 0, 0, 0, 0, 2,  //
    2, 1, 1, 1, 1, 1, 1, 2,  //
    4, 3, 3, 3, 3, 3, 3, 4,  //
    4, 4, 4, 4, 4, 4, 4, 4,  //
    4, 4, 4, 4, 4, 4, 4, 4,  //
    4, 4, 4, 4, 4, 4, 4, 4,  //
    4, 4, 4, 4, 4, 4, 4, 4,  //
    4, 4, 4, 4, 4, 4, 4, 4};
inline constexpr int kingRankPenalty[8] = {0, 16, 48, 64, 128, 128, 128, 128};
// Indexed by the set of attacker kinds: pawn 1, minor 2, rook 4, queen 8, king 16.
inline constexpr int attackerCombination[32] = {0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 2, 2, 2, 3, 3, 3,
                                                0, 0, 0, 0, 1, 1, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3};
inline constexpr int kingDanger[40] = {0,   1,   2,   3,   6,   9,   13,  18,  25,  38,
                                       50,  63,  75,  88,  100, 113, 125, 138, 150, 163,
                                       175, 188, 200, 213, 225, 238, 250, 263, 275, 288,
                                       300, 325, 350, 375, 400, 425, 450, 500, 550, 600};
// Bonus of a passed pawn whose left neighbour file holds a passed pawn beside it.
inline constexpr int connectedPassed[8] = {0, 32, 64, 125, 250, 500, 750, 0};

constexpr Bitboard fileABits = 0x0101010101010101ULL;

// Knights and bishops on the back rank plus rooks on their corners.
template <int Side>
inline int developmentCount(const Position* p) {
  using C = Colour<Side>;
  const Bitboard backRank = Bitboard(0xFF) << (8 * C::relativeRank(0));
  const Bitboard corners = squareMask[C::rookQueenSide] | squareMask[C::rookKingSide];
  return popCount((p->*C::knights | p->*C::bishops) & backRank) +
         popCount(p->*C::rooks & corners);
}

// Rook or queen pinning the enemy king to its edge: the 7th with the king on the 8th,
// the 2nd with the king on the 1st, the b-file against the a-file, the g against the h.
template <int Side>
inline bool edgePattern(int sq, int theirKing) {
  using C = Colour<Side>;
  const int r = C::relativeRank(rankOf(sq)), kr = C::relativeRank(rankOf(theirKing));
  const int f = fileOf(sq), kf = fileOf(theirKing);
  return (r == 6 && kr == 7) || (r == 1 && kr == 0) || (f == 1 && kf == 0) || (f == 6 && kf == 7);
}

// Middlegame edge bonuses need two heavy pieces and, early on, a finished development.
template <int Side>
inline bool edgeBonusAllowed(const Position* p, int development, int phaseMaterial) {
  using C = Colour<Side>;
  return popCount(p->*C::rooks | p->*C::queens) >= 2 &&
         !(development > 0 && phaseMaterial > EDGE_PATTERN_PHASE);
}

// ---------------------------------------------------------------------------------
// Middlegame terms

// Byte of the files that hold a man of b, and the squares of the files named by a byte.
inline unsigned filesOf(Bitboard b) {
  b |= b >> 32;
  b |= b >> 16;
  b |= b >> 8;
  return unsigned(b & 0xFF);
}
inline Bitboard filesMask(unsigned files) { return Bitboard(files) * fileABits; }

template <int Side>
inline int pawnTerm(const Position* p, const BoardTables* t, int development) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const Bitboard own = p->*C::pawns, their = p->*O::pawns;
  const unsigned files = filesOf(own);
  // Pawns with no own pawn on either neighbouring file.
  const unsigned isolatedFiles = files & ~((files << 1) | (files >> 1));
  int v = -ISOLATED_PAWN * popCount(own & filesMask(isolatedFiles));
  const bool ownKingQueenSide = fileOf(int(p->*C::kingSquare)) < 4;
  const bool theirKingQueenSide = fileOf(int(p->*O::kingSquare)) < 4;
  const bool hasQueen = p->*C::queens != 0;
  for (unsigned left = files; left; left &= left - 1) {
    const int f = __builtin_ctz(left);
    v -= DOUBLED_PAWN * ((p->*C::pawnsOnFile)[f] - 1);
    if (development != 0) continue;
    const int sq = C::mostAdvanced(own & t->fileMask[f]);
    const int r = C::relativeRank(rankOf(sq));
    // Storm: pawns of the wing away from the own king march on the enemy king.
    const bool pawnQueenSide = f < 4;
    if (pawnQueenSide != ownKingQueenSide) {
      v += PAWN_STORM * r;
      if (theirKingQueenSide == pawnQueenSide && hasQueen) v += PAWN_STORM * r;
    }
    if (!(their & (t->*C::ahead)[sq])) {
      const int n = popCount(their & (t->*C::adjacentFilesAhead)[sq]);
      if (n == 0 || n <= popCount(own & ((t->*C::adjacentFilesBehind)[sq] | t->rankNeighbours[sq])))
        v += t->squareValues[C::svPassed][sq];
    }
  }
  const int32_t* values = t->squareValues[C::svPawn];
  for (Bitboard b = own; b; b &= b - 1) v += values[__builtin_ctzll(b)];
  return C::sign * v;
}

// Knight on an outpost square supported by a pawn; how much depends on what can still
// drive it away or exchange it.
template <int Side>
inline int outpostBonus(const Position* p, const BoardTables* t, int sq) {
  using O = Colour<Side ^ 1>;
  const Bitboard sameColour = (squareMask[sq] & t->darkSquares) ? t->darkSquares : t->lightSquares;
  const bool noMinorCover = !(p->*O::knights) && !(p->*O::bishops & sameColour);
  const Bitboard theirPawns = p->*O::pawns;
  const int relative = Colour<Side>::relativeSquare(sq);
  switch (relative) {
    case D5:
      return noMinorCover && !(theirPawns & (relMask<Side>(C7) | relMask<Side>(E7)))
                 ? CENTRE_OUTPOST
                 : CENTRE_OUTPOST_CONTESTED;
    case E5:
      return noMinorCover && !(theirPawns & (relMask<Side>(D7) | relMask<Side>(F7)))
                 ? CENTRE_OUTPOST
                 : CENTRE_OUTPOST_CONTESTED;
    case D6:
    case E6:
      return noMinorCover ? DEEP_OUTPOST : DEEP_OUTPOST_CONTESTED;
    default:
      return 0;
  }
}

// Knights: mobility and square values, in the middlegame also outposts (own view).
template <int Side>
inline int knightActivity(const Position* p, const BoardTables* t, bool outposts) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const Bitboard notOwn = ~(p->*C::pieces);
  const int32_t* values = t->squareValues[C::svKnight];
  int v = 0;
  for (Bitboard b = p->*C::knights; b; b &= b - 1) {
    const int sq = __builtin_ctzll(b);
    v += KNIGHT_MOBILITY * popCount(t->knightAttacks[sq] & notOwn) + values[sq];
    if (outposts && ((t->*O::pawnAttacks)[sq] & p->*C::pawns)) v += outpostBonus<Side>(p, t, sq);
  }
  return v;
}

// Bishops: mobility, in the middlegame also square values (own view).
template <int Side>
inline int bishopActivity(const Position* p, const BoardTables* t, bool squareValues) {
  using C = Colour<Side>;
  const Bitboard notOwn = ~(p->*C::pieces);
  const int32_t* values = t->squareValues[C::svBishop];
  int v = 0;
  for (Bitboard b = p->*C::bishops; b; b &= b - 1) {
    const int sq = __builtin_ctzll(b);
    v += BISHOP_MOBILITY * popCount(bishopAttacks(*p, sq) & notOwn);
    if (squareValues) v += values[sq];
  }
  return v;
}

template <int Side>
inline int knightTerm(const Position* p, const BoardTables* t, int development) {
  return Colour<Side>::sign * knightActivity<Side>(p, t, development == 0);
}

template <int Side>
inline int bishopTerm(const Position* p, const BoardTables* t) {
  return Colour<Side>::sign * bishopActivity<Side>(p, t, true);
}

// A bishop on d3/e3 in front of its unmoved d2/e2 pawn locks its own centre.
template <int Side>
inline int blockingBishopTerm(const Position* p, const BoardTables*) {
  using C = Colour<Side>;
  const Bitboard bishops = p->*C::bishops, pawns = p->*C::pawns;
  int v = 0;
  if ((bishops & relMask<Side>(D3)) && (pawns & relMask<Side>(D2))) v -= BLOCKING_BISHOP;
  if ((bishops & relMask<Side>(E3)) && (pawns & relMask<Side>(E2))) v -= BLOCKING_BISHOP;
  return C::sign * v;
}

// Rooks and queens: square values and the edge pattern; rooks also like open files.
template <int Side, bool Rooks>
inline int heavyPieceTerm(const Position* p, const BoardTables* t, int development,
                          int phaseMaterial) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const int32_t* values = t->squareValues[Rooks ? C::svRook : C::svQueen];
  const int edgeBonus = Rooks ? ROOK_EDGE_PATTERN : QUEEN_EDGE_PATTERN;
  const bool edgeAllowed = edgeBonusAllowed<Side>(p, development, phaseMaterial);
  const int theirKing = int(p->*O::kingSquare);
  int v = 0;
  for (Bitboard b = Rooks ? p->*C::rooks : p->*C::queens; b; b &= b - 1) {
    const int sq = __builtin_ctzll(b);
    const int f = fileOf(sq);
    v += values[sq];
    if (Rooks && (p->*C::pawnsOnFile)[f] == 0)
      v += (p->*O::pawnsOnFile)[f] == 0 ? ROOK_OPEN_FILE : ROOK_HALF_OPEN_FILE;
    if (edgeAllowed && edgePattern<Side>(sq, theirKing)) v += edgeBonus;
  }
  return C::sign * v;
}

template <int Side>
inline int rookTerm(const Position* p, const BoardTables* t, int development, int phaseMaterial) {
  return heavyPieceTerm<Side, true>(p, t, development, phaseMaterial);
}

// Rook shut in by its own pawn on the edge rank (a1 with b1/c1 pawn and the like).
template <int Side>
inline int rookBehindOwnPawn(Bitboard pawns, int sq) {
  const int f = fileOf(sq);
  int v = 0;
  if (f == 0 && (pawns & (squareMask[sq + 1] | squareMask[sq + 2]))) v -= TRAPPED_ROOK;
  if (f == 7 && (pawns & (squareMask[sq - 1] | squareMask[sq - 2]))) v -= TRAPPED_ROOK;
  return v;
}

template <int Side>
inline int trappedRookTerm(const Position* p, const BoardTables*) {
  using C = Colour<Side>;
  const int king = int(p->*C::kingSquare);
  const int kf = fileOf(king);
  const Bitboard pawns = p->*C::pawns;
  int v = 0;
  for (Bitboard b = p->*C::rooks; b; b &= b - 1) {
    const int sq = __builtin_ctzll(b);
    const int f = fileOf(sq);
    // A king that walked to the corner side without castling locks the rook in.
    if (rankOf(king) == rankOf(sq) && C::relativeRank(rankOf(sq)) <= 1 &&
        ((f <= 1 && kf <= 2 && f < kf) || (f >= 6 && (kf == 5 || kf == 6) && kf < f)))
      v -= TRAPPED_ROOK;
    v += rookBehindOwnPawn<Side>(pawns, sq);
  }
  return C::sign * v;
}

template <int Side>
inline int queenTerm(const Position* p, const BoardTables* t, int development, int phaseMaterial) {
  return heavyPieceTerm<Side, false>(p, t, development, phaseMaterial);
}

template <int Side>
inline int kingSquareTerm(const Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const int king = int(p->*C::kingSquare);
  int v = t->squareValues[C::svKing][king];
  // Pieces gathered round a castled king are its guard against the queen.
  const Bitboard corners = relMask<Side>(A1) | relMask<Side>(B1) | relMask<Side>(G1) |
                           relMask<Side>(H1);
  if (p->*O::queens && (squareMask[king] & corners))
    v += KING_GUARD * popCount(p->*C::pieces & ~(p->*C::pawns) & t->kingDistanceTwo[king]);
  return C::sign * v;
}

// Shelter penalty of one file beside the king: big or small weight.
template <int Side>
inline int shelterFile(const Position* p, int file, int king, bool big) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  if ((p->*C::pawnsOnFile)[file] == 0)
    return (p->*O::pawnsOnFile)[file] == 0 ? -SHELTER_OPEN[big] : -SHELTER_HALF_OPEN[big];
  const int oneAhead = 8 * rankOf(king) + file + C::up;  // the king is on its first two ranks
  const Bitboard pawns = p->*C::pawns;
  if (pawns & squareMask[oneAhead]) return 0;
  if (pawns & squareMask[oneAhead + C::up]) return -SHELTER_ADVANCED[big];
  return -SHELTER_GONE[big];
}

// King safety of Side against the enemy queen (0 when the enemy has none).
template <int Side>
inline int kingSafetyTerm(int ply, const Position* p, UndoRecord* records, const BoardTables* t) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  if (!(p->*O::queens)) return 0;
  UndoRecord* record = &records[ply];
  const int king = int(p->*C::kingSquare);
  const Bitboard zone = t->kingAttacks[king];

  // A protected queen next to a king that alone guards the square is mate or close.
  for (Bitboard b = p->*O::queens & zone; b; b &= b - 1) {
    const int sq = __builtin_ctzll(b);
    if ((attackInfo<Side ^ 1>(sq, p, record, t) & ATTACKED) &&
        attackInfo<Side>(sq, p, record, t) == KING_ALONE)
      return C::sign * -QUEEN_CONTACT_MATE;
  }

  const int kingRank = C::relativeRank(rankOf(king));
  const int k = fileOf(king);
  int shelter = 0;
  if (kingRank <= 1) {
    const Bitboard pawns = p->*C::pawns;
    if ((p->*C::pawnsOnFile)[k] == 0) {
      shelter -= (p->*O::pawnsOnFile)[k] == 0 ? KING_FILE_OPEN : KING_FILE_HALF_OPEN;
    } else if (!(pawns & squareMask[king + C::up])) {
      shelter -= (pawns & squareMask[king + 2 * C::up]) ? KING_PAWN_ADVANCED : KING_PAWN_GONE;
    }
    if (k < 4) {
      if (k > 0) shelter += shelterFile<Side>(p, k - 1, king, true);
      if (k > 1) shelter += shelterFile<Side>(p, k - 2, king, true);
      if (k > 2) shelter += shelterFile<Side>(p, k - 3, king, true);
      if (k < 3) shelter += shelterFile<Side>(p, k + 1, king, false);
      if (k == 0) shelter += shelterFile<Side>(p, k + 2, king, false);
      // Enemy pawns on e5 and d4 wedge into the queen-side king's position.
      if ((p->*O::pawns & relMask<Side>(E5)) && (p->*O::pawns & relMask<Side>(D4)))
        shelter -= PAWN_WEDGE;
    } else {
      if (k < 7) shelter += shelterFile<Side>(p, k + 1, king, true);
      if (k < 6) shelter += shelterFile<Side>(p, k + 2, king, true);
      if (k < 5) shelter += shelterFile<Side>(p, k + 3, king, true);
      if (k > 4) shelter += shelterFile<Side>(p, k - 1, king, false);
      if (k > 6) shelter += shelterFile<Side>(p, k - 2, king, false);
      if ((p->*O::pawns & relMask<Side>(D5)) && (p->*O::pawns & relMask<Side>(E4)))
        shelter -= PAWN_WEDGE;
    }
    // Kings on opposite wings: pawn storms come quicker, so a weak shelter counts double.
    if ((fileOf(int(p->*O::kingSquare)) < 4) != (k < 4)) shelter *= 2;
    const Bitboard guards = p->*C::bishops | pawns;
    const int b2 = rel<Side>(B2), g2 = rel<Side>(G2);
    if (((zone & squareMask[b2]) && !(guards & squareMask[b2])) ||
        ((zone & squareMask[g2]) && !(guards & squareMask[g2])))
      shelter -= OPEN_FIANCHETTO;
  }
  // Castling rights given away in the search without castling.
  if (records[0].*C::castle > 0 && record->*C::castle == 0) shelter -= CASTLING_GIVEN_UP;

  int count = kingBaseCount[C::relativeSquare(king)] - shelter / SHELTER_UNIT;
  int attackers = 0;
  const Bitboard ownMen = p->*C::pieces;
  for (Bitboard b = zone; b; b &= b - 1) {
    const int sq = __builtin_ctzll(b);
    const uint8_t attack = attackInfo<Side ^ 1>(sq, p, record, t);
    if (!(attack & ATTACKED)) continue;
    attackers |= attack >> 3;  // pawn 0x08 .. king 0x80 become 1 .. 16
    const bool ahead = C::relativeRank(rankOf(sq)) > kingRank;
    count += ahead && !(ownMen & squareMask[sq]) ? 2 : 1;
    if (attackInfo<Side>(sq, p, record, t) == KING_ALONE) ++count;
  }
  constexpr int LAST_DANGER = int(sizeof kingDanger / sizeof kingDanger[0]) - 1;
  int index = attackerCombination[attackers] + count;
  if (index > LAST_DANGER) index = LAST_DANGER;
  return C::sign * (shelter - kingRankPenalty[kingRank] - kingDanger[index]);
}

// ---------------------------------------------------------------------------------
// Endgame terms

// Pawns file by file: doubled pawns, king proximity to the front pawn, passed and
// candidate pawns, the pawn-ending race, connected passers, rooks behind passers and
// duos. passedCount receives the number of passed pawns. theirPieceMaterial is the
// opponent's piece material as a positive number.
template <int Side>
inline int passedPawnTerm(int sideToMove, const Position* p, const BoardTables* t,
                          int theirPieceMaterial, int bothWings, int* passedCount) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const Bitboard own = p->*C::pawns, their = p->*O::pawns;
  const int ownKing = int(p->*C::kingSquare), theirKing = int(p->*O::kingSquare);
  const bool pawnEnding = theirPieceMaterial == 0;
  const int32_t* passedValues = t->squareValues[C::svPassed];
  int v = 0, count = 0;
  int leftPassed = NO_SQUARE;  // front pawn of the file to the left, when passed
  for (int f = 0; f < 8; ++f) {
    const int c = (p->*C::pawnsOnFile)[f];
    if (c == 0) {
      leftPassed = NO_SQUARE;
      continue;
    }
    v -= DOUBLED_PAWN * (c - 1);
    const int sq = C::mostAdvanced(own & t->fileMask[f]);
    const int r = C::relativeRank(rankOf(sq));
    const int dOwn = kingDistance(ownKing, sq), dTheir = kingDistance(theirKing, sq);
    const int diff = dTheir - dOwn;
    const int dmin = dOwn < dTheir ? dOwn : dTheir;
    const int kingRace =
        diff * r + (pawnEnding ? (MAX_KING_DISTANCE - dmin) * diff * PAWN_RACE : 0);
    v += kingRace;
    int passedHere = NO_SQUARE;
    if (!(their & (t->*C::ahead)[sq])) {
      v += kingRace;
      const int n = popCount(their & (t->*C::adjacentFilesAhead)[sq]);
      const int value = passedValues[sq];
      const bool defended = ((t->*O::pawnAttacks)[sq] & own) != 0;
      bool free = true;  // passed or candidate
      if (n == 0) {
        ++count;
        passedHere = sq;
        v += value + diff * r;
        if (defended) v += value >> 1;
        if (pawnEnding) {
          // Rule of the square: the king cannot catch the pawn.
          const int queening = C::relativeSquare(56 + f);
          const int dPawn = kingDistance(sq, queening);
          const int dKing = kingDistance(theirKing, queening);
          if (dPawn + 1 < dKing || (sideToMove == Side && dPawn < dKing)) v += UNSTOPPABLE_PAWN * r;
        }
        if (leftPassed == sq - 1) v += connectedPassed[r];
      } else if (n <= popCount(own & ((t->*C::adjacentFilesBehind)[sq] | t->rankNeighbours[sq]))) {
        v += value + diff * r;
        if (defended) v += value >> 1;
      } else {
        free = false;
      }
      // Rooks behind the pawn matter only for a pawn that can run (a lone pawn on its file).
      if (free && c == 1) {
        if (p->*C::rooks & (t->*C::behind)[sq]) v += ROOK_BEHIND_PASSER;
        if (p->*O::rooks & (t->*C::behind)[sq]) v -= ROOK_BEHIND_PASSER;
      }
    }
    if (own & t->rankNeighbours[sq]) v += PAWN_DUO * r;
    leftPassed = passedHere;
  }
  // A bishop is the better minor when pawns stand on both wings.
  if (bothWings && p->*C::bishops && theirPieceMaterial < ROOK_VALUE && !(p->*O::bishops))
    v += BISHOP_BOTH_WINGS;
  *passedCount = count;
  return C::sign * v;
}

// Minor pieces count in the endgame only while their side has pawns to support.
template <int Side>
inline int endgameKnightTerm(const Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  return p->*C::pawns ? C::sign * knightActivity<Side>(p, t, false) : 0;
}

template <int Side>
inline int endgameBishopTerm(const Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  return p->*C::pawns ? C::sign * bishopActivity<Side>(p, t, false) : 0;
}

template <int Side>
inline int endgameRookTerm(const Position* p, const BoardTables*) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const int theirKing = int(p->*O::kingSquare);
  int v = 0;
  for (Bitboard b = p->*C::rooks; b; b &= b - 1) {
    const int sq = __builtin_ctzll(b);
    const int f = fileOf(sq);
    if ((p->*C::pawnsOnFile)[f] == 0 && (p->*O::pawnsOnFile)[f] == 0) v += ENDGAME_ROOK_OPEN_FILE;
    if (edgePattern<Side>(sq, theirKing)) v += ROOK_EDGE_PATTERN;
  }
  return C::sign * v;
}

template <int Side>
inline int endgameTrappedRookTerm(const Position* p, const BoardTables*) {
  using C = Colour<Side>;
  const Bitboard pawns = p->*C::pawns;
  int v = 0;
  for (Bitboard b = p->*C::rooks; b; b &= b - 1) v += rookBehindOwnPawn<Side>(pawns, __builtin_ctzll(b));
  return C::sign * v;
}

// ownPieceMaterial and theirPieceMaterial are positive piece sums.
template <int Side>
inline int endgameKingTerm(const Position* p, const BoardTables* t, int ownPieceMaterial,
                           int theirPieceMaterial) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  const int king = int(p->*C::kingSquare), theirKing = int(p->*O::kingSquare);
  int v = 0;
  // With a rook more, the king helps to drive the other one to the edge.
  if (ownPieceMaterial - theirPieceMaterial >= ROOK_VALUE)
    v += (MAX_KING_DISTANCE - kingDistance(king, theirKing)) * KING_CHASE;
  const int theirRooks = popCount(p->*O::rooks);
  if (p->*O::queens || theirRooks == 2)
    v += KING_GUARD * popCount(p->*C::pieces & t->kingDistanceTwo[king]);
  if (theirRooks == 1) {
    // A pawn beside the king shields it from rook checks along the rank.
    const int rf = fileOf(__builtin_ctzll(p->*O::rooks)), kf = fileOf(king);
    const Bitboard pawns = p->*C::pawns;
    if ((rf > kf + 1 && (pawns & squareMask[king + 1])) ||
        (rf < kf - 1 && (pawns & squareMask[king - 1])))
      v += ROOK_CHECK_SHIELD;
  }
  return C::sign * v;
}

}  // namespace evalterms
