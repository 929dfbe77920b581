#include "movegen/attacks.h"

namespace {

template <int Side>
uint8_t attackInfoT(int sq, const Position* p, UndoRecord* record, const BoardTables* t) {
  using C = Colour<Side>;
  uint8_t& cached = (record->*C::attackInfo)[sq];
  if (cached & ATTACK_COMPUTED) return cached;
  uint8_t info = ATTACK_COMPUTED;
  // A pawn of Side attacks sq from the squares the other colour's pawn would attack.
  if ((t->*Colour<Side ^ 1>::pawnAttacks)[sq] & p->*C::pawns) info |= ATTACK_BY_PAWN;
  if (t->knightAttacks[sq] & p->*C::knights) info |= ATTACK_BY_MINOR;
  // The rotated-board lookups only for sliders that stand on one of sq's lines.
  const Bitboard diagonalSliders = (p->*C::bishops | p->*C::queens) & diagonalRays[sq];
  const Bitboard straightSliders = (p->*C::rooks | p->*C::queens) & straightRays[sq];
  const Bitboard diagonal = diagonalSliders ? bishopAttacks(*p, sq) & diagonalSliders : 0;
  const Bitboard straight = straightSliders ? rookAttacks(*p, sq) & straightSliders : 0;
  if (diagonal & p->*C::bishops) info |= ATTACK_BY_MINOR;
  if (straight & p->*C::rooks) info |= ATTACK_BY_ROOK;
  if ((diagonal | straight) & p->*C::queens) info |= ATTACK_BY_QUEEN;
  if ((t->kingAttacks[sq] >> (p->*C::kingSquare)) & 1) info |= ATTACK_BY_KING;
  if (info > ATTACK_COMPUTED) info |= ATTACKED;
  cached = info;
  return info;
}

template <int Side>
int findCheckersT(int sq, Bitboard* checkers, const Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  int count = 0;
  Bitboard found = (t->*Colour<Side ^ 1>::pawnAttacks)[sq] & p->*C::pawns;
  if (!found) found = t->knightAttacks[sq] & p->*C::knights;
  if (found) {
    *checkers |= found;
    count = 1;
  }
  found = rookAttacks(*p, sq) & (p->*C::rooks | p->*C::queens);
  if (found) {
    *checkers |= found;
    if (++count == 2) return 2;
  }
  found = bishopAttacks(*p, sq) & (p->*C::bishops | p->*C::queens);
  if (!found) return count;
  *checkers |= found;
  return count + 1;
}

template <int Side>
int canCheckT(int sq, const Position* p, const BoardTables* t) {
  using C = Colour<Side>;
  const Bitboard own = p->*C::pieces;
  const Bitboard occupied = p->whitePieces | p->blackPieces;
  for (Bitboard u = t->knightAttacks[sq] & ~own; u; u &= u - 1)
    if (t->knightAttacks[__builtin_ctzll(u)] & p->*C::knights) return 1;
  for (Bitboard u = bishopAttacks(*p, sq) & ~own; u; u &= u - 1)
    if (bishopAttacks(*p, __builtin_ctzll(u)) & p->*C::bishops) return 1;
  for (Bitboard u = rookAttacks(*p, sq) & ~own; u; u &= u - 1)
    if (rookAttacks(*p, __builtin_ctzll(u)) & p->*C::rooks) return 1;
  for (Bitboard u = queenAttacks(*p, sq) & ~own; u; u &= u - 1)
    if (queenAttacks(*p, __builtin_ctzll(u)) & p->*C::queens) return 1;
  // Pawns: the squares from which a pawn of Side would attack sq, reached by a real
  // pawn move (a push to an empty square, a double step, or a capture).
  const Bitboard pawns = p->*C::pawns;
  for (Bitboard u = (t->*Colour<Side ^ 1>::pawnAttacks)[sq] & ~own; u; u &= u - 1) {
    const int target = __builtin_ctzll(u);
    if (occupied & squareMask[target]) {
      if ((t->*Colour<Side ^ 1>::pawnAttacks)[target] & pawns) return 1;
      continue;
    }
    const int behind = target - C::up;
    if (behind < 0 || behind > 63) continue;
    if (pawns & squareMask[behind]) return 1;
    const int twoBehind = behind - C::up;
    if (C::relativeRank(rankOf(target)) == 3 && !(occupied & squareMask[behind]) &&
        (pawns & squareMask[twoBehind]))
      return 1;
  }
  return 0;
}

}  // namespace

uint8_t attackInfoByWhite(int sq, const Position* p, UndoRecord* r, const BoardTables* t) {
  return attackInfoT<WHITE>(sq, p, r, t);
}
uint8_t attackInfoByBlack(int sq, const Position* p, UndoRecord* r, const BoardTables* t) {
  return attackInfoT<BLACK>(sq, p, r, t);
}
uint8_t attackInfoBy(int side, int sq, const Position* p, UndoRecord* r, const BoardTables* t) {
  return side == WHITE ? attackInfoT<WHITE>(sq, p, r, t) : attackInfoT<BLACK>(sq, p, r, t);
}

bool sideNotToMoveInCheck(int side, const Position* p, UndoRecord* r, const BoardTables* t) {
  const int king = int(side == WHITE ? p->blackKingSquare : p->whiteKingSquare);
  return (attackInfoBy(side, king, p, r, t) & ATTACKED) != 0;
}

int findCheckers(int side, Bitboard* checkers, const Position* p, const BoardTables* t) {
  return side == WHITE ? findCheckersT<BLACK>(int(p->whiteKingSquare), checkers, p, t)
                       : findCheckersT<WHITE>(int(p->blackKingSquare), checkers, p, t);
}

int canCheck(int side, int sq, const Position* p, const BoardTables* t) {
  return side == WHITE ? canCheckT<WHITE>(sq, p, t) : canCheckT<BLACK>(sq, p, t);
}

namespace {

bool diagonalStep(int step) { return step == 9 || step == -9 || step == 7 || step == -7; }

// Attacks from sq along the whole line of a step: both ways on its diagonal, rank or file.
inline Bitboard lineAttacks(int sq, int step, const Position* p) {
  switch (step) {
    case 9: case -9: return diagA1H8AttacksOf(sq, p->occupiedA1H8);
    case 7: case -7: return diagA8H1AttacksOf(sq, p->occupiedA8H1);
    case 1: case -1: return rankAttacksOf(sq, p->whitePieces | p->blackPieces);
    default: return fileAttacksOf(sq, p->occupiedR90);
  }
}

// The empty-board ray from sq in the direction of a step (one of the eight).
inline Bitboard rayOf(int sq, int step, const BoardTables* t) {
  switch (step) {
    case 9: return t->northEastRay[sq];
    case -9: return t->southWestRay[sq];
    case 7: return t->northWestRay[sq];
    case -7: return t->southEastRay[sq];
    case 1: return t->eastOf[sq];
    case -1: return t->westOf[sq];
    case 8: return t->northOf[sq];
    default: return t->southOf[sq];
  }
}

}  // namespace

int discoveredAttacker(int side, int sq, int target, const Position* p, const BoardTables* t) {
  const int step = t->direction[target][sq];
  if (step == 0) return 0;
  const Bitboard line = lineAttacks(sq, step, p);
  if (!(line & squareMask[target])) return 0;
  // Beyond sq on a diagonal the ray on from it; on a rank or file the whole line, whose
  // part towards the target holds nothing but the target.
  const bool diagonal = diagonalStep(step);
  const Bitboard beyond = diagonal                      ? rayOf(sq, step, t)
                          : step == 1 || step == -1 ? t->rankMask[rankOf(target)]
                                                    : t->fileMask[fileOf(target)];
  const Bitboard seen = line & beyond;
  const int base = side == WHITE ? 0 : 6;
  const Bitboard sliders = diagonal ? (side == WHITE ? p->whiteBishops : p->blackBishops)
                                    : (side == WHITE ? p->whiteRooks : p->blackRooks);
  if (seen & sliders) return (diagonal ? WHITE_BISHOP : WHITE_ROOK) + base;
  if (seen & (side == WHITE ? p->whiteQueens : p->blackQueens)) return WHITE_QUEEN + base;
  return 0;
}

Bitboard xrayAttackers(int sq, int step, const Position* p, const BoardTables* t) {
  // One case per direction: this runs for every capture of every exchange.
  const Bitboard diagonalSliders =
      p->whiteBishops | p->blackBishops | p->whiteQueens | p->blackQueens;
  const Bitboard straightSliders = p->whiteRooks | p->blackRooks | p->whiteQueens | p->blackQueens;
  switch (step) {
    case 9: return diagA1H8AttacksOf(sq, p->occupiedA1H8) & t->northEastRay[sq] & diagonalSliders;
    case -9: return diagA1H8AttacksOf(sq, p->occupiedA1H8) & t->southWestRay[sq] & diagonalSliders;
    case 7: return diagA8H1AttacksOf(sq, p->occupiedA8H1) & t->northWestRay[sq] & diagonalSliders;
    case -7: return diagA8H1AttacksOf(sq, p->occupiedA8H1) & t->southEastRay[sq] & diagonalSliders;
    case 1:
      return rankAttacksOf(sq, p->whitePieces | p->blackPieces) & t->eastOf[sq] & straightSliders;
    case -1:
      return rankAttacksOf(sq, p->whitePieces | p->blackPieces) & t->westOf[sq] & straightSliders;
    case 8: return fileAttacksOf(sq, p->occupiedR90) & t->northOf[sq] & straightSliders;
    case -8: return fileAttacksOf(sq, p->occupiedR90) & t->southOf[sq] & straightSliders;
    default: return 0;
  }
}

int pieceValueAt(int sq, const Position* p) {
  const Bitboard m = squareMask[sq];
  if ((p->whitePawns | p->blackPawns) & m) return PAWN_VALUE;
  if ((p->whiteKnights | p->blackKnights) & m) return KNIGHT_VALUE;
  if ((p->whiteBishops | p->blackBishops) & m) return BISHOP_VALUE;
  if ((p->whiteRooks | p->blackRooks) & m) return ROOK_VALUE;
  if ((p->whiteQueens | p->blackQueens) & m) return QUEEN_VALUE;
  if (p->whiteKingSquare == uint32_t(sq) || p->blackKingSquare == uint32_t(sq)) return KING_VALUE;
  return 0;
}

// The boards of each side (index: side code), the pieces cheapest first, for the
// exchange's choice of the next capturer.
constexpr int EXCHANGE_KINDS = 5;
constexpr Bitboard Position::*const SIDE_PIECES[2] = {&Position::blackPieces,
                                                      &Position::whitePieces};
constexpr Bitboard Position::*const EXCHANGE_BOARDS[2][EXCHANGE_KINDS] = {
    {&Position::blackPawns, &Position::blackKnights, &Position::blackBishops,
     &Position::blackRooks, &Position::blackQueens},
    {&Position::whitePawns, &Position::whiteKnights, &Position::whiteBishops,
     &Position::whiteRooks, &Position::whiteQueens}};
constexpr int EXCHANGE_VALUES[EXCHANGE_KINDS] = {PAWN_VALUE, KNIGHT_VALUE, BISHOP_VALUE,
                                                 ROOK_VALUE, QUEEN_VALUE};
constexpr uint32_t Position::*const KING_SQUARES[2] = {&Position::blackKingSquare,
                                                       &Position::whiteKingSquare};

int see(int side, int from, int to, const Position* p, const BoardTables* t) {
  int gain[40];
  int depth = 0;
  gain[0] = pieceValueAt(to, p);
  int onTarget = pieceValueAt(from, p);

  const Bitboard queens = p->whiteQueens | p->blackQueens;
  const Bitboard diagonalSliders =
      (p->whiteBishops | p->blackBishops | queens) & diagonalRays[to];
  const Bitboard straightSliders = (p->whiteRooks | p->blackRooks | queens) & straightRays[to];
  Bitboard attackers = (t->blackPawnAttacks[to] & p->whitePawns) |
                       (t->whitePawnAttacks[to] & p->blackPawns) |
                       (t->knightAttacks[to] & (p->whiteKnights | p->blackKnights));
  if (diagonalSliders) attackers |= bishopAttacks(*p, to) & diagonalSliders;
  if (straightSliders) attackers |= rookAttacks(*p, to) & straightSliders;
  if ((t->kingAttacks[to] >> p->whiteKingSquare) & 1) attackers |= squareMask[p->whiteKingSquare];
  if ((t->kingAttacks[to] >> p->blackKingSquare) & 1) attackers |= squareMask[p->blackKingSquare];
  attackers &= squareClear[from];
  attackers |= xrayAttackers(from, t->direction[to][from], p, t);

  int mover = side ^ 1;
  while (attackers && depth < 38) {
    const Bitboard mine = attackers & p->*SIDE_PIECES[mover];
    if (!mine) break;
    int square = -1, value = KING_VALUE;
    for (int k = 0; k < EXCHANGE_KINDS && square < 0; ++k) {
      if (const Bitboard b = mine & p->*EXCHANGE_BOARDS[mover][k])
        square = firstOne(b), value = EXCHANGE_VALUES[k];
    }
    if (square < 0) {
      // Only the king is left: it may take only when nothing defends the square.
      if (attackers & ~mine) break;
      square = int(p->*KING_SQUARES[mover]);
    }
    gain[depth + 1] = onTarget - gain[depth];
    ++depth;
    onTarget = value;
    attackers &= squareClear[square];
    attackers |= xrayAttackers(square, t->direction[to][square], p, t);
    mover ^= 1;
  }
  for (; depth > 0; --depth)
    if (gain[depth] > -gain[depth - 1]) gain[depth - 1] = -gain[depth];
  return gain[0];
}
