#include "board/bitboard.h"
#include "eval/evaluate.h"

namespace {

constexpr Bitboard fileA = 0x0101010101010101ULL;
constexpr Bitboard fileH = fileA << 7;

constexpr int BISHOP_PAIR = 25;
constexpr int ROOK_ENDING_PAWN = 75;  // what an extra pawn loses of its value beside equal rooks
constexpr int LONE_MINOR = 225;       // taken off a lone minor piece without pawns
constexpr int LEAST_MINOR_BESIDE_ROOK = 50;  // a minor more beside equal rooks is more than this
constexpr int WRONG_ROOK_PAWN_SCORE = 50;    // bishop and rook pawn that cannot queen
constexpr int WRONG_ROOK_PAWN_LEAD = 50;     // the side with them leads by more than this

// Knights, bishops, rooks and queens of Side, as a positive sum.
template <int Side>
inline int pieceMaterial(const Position* p) {
  using C = Colour<Side>;
  return KNIGHT_VALUE * popCount(p->*C::knights) + BISHOP_VALUE * popCount(p->*C::bishops) +
         ROOK_VALUE * popCount(p->*C::rooks) + QUEEN_VALUE * popCount(p->*C::queens);
}

// Pieces of Side without pawns: a lone minor cannot win, and a minor more beside equal
// rooks rarely does. Adds the correction (White's view) to adjust and says whether a rule
// applied. own and their are the positive piece sums.
template <int Side>
inline bool pawnlessRule(const Position* p, int own, int their, int* adjust) {
  using C = Colour<Side>;
  if (p->*C::pawns) return false;
  if (own > 0 && own < ROOK_VALUE) {
    *adjust -= C::sign * LONE_MINOR;
    return true;
  }
  const int extra = own - ROOK_VALUE;
  if (their == ROOK_VALUE && extra > LEAST_MINOR_BESIDE_ROOK && extra < ROOK_VALUE) {
    *adjust += C::sign * (extra * -3 / 4);
    return true;
  }
  return false;
}

// Side has a bishop and a rook pawn whose queening square the bishop does not control,
// and nothing else, while leading by more than WRONG_ROOK_PAWN_LEAD. ownMaterial is its
// positive material, pawns included; lead the total from its view.
template <int Side>
inline bool wrongRookPawn(const Position* p, const BoardTables* t, int ownMaterial, int lead) {
  using C = Colour<Side>;
  if (ownMaterial != BISHOP_VALUE + PAWN_VALUE || lead <= WRONG_ROOK_PAWN_LEAD) return false;
  auto otherColour = [t](int sq) {
    return (squareMask[sq] & t->darkSquares) ? t->lightSquares : t->darkSquares;
  };
  const Bitboard pawns = p->*C::pawns, bishops = p->*C::bishops;
  return ((pawns & fileA) && (bishops & otherColour(C::relativeSquare(A8)))) ||
         ((pawns & fileH) && (bishops & otherColour(C::relativeSquare(H8))));
}

}  // namespace

int materialBalance(Position* p, const BoardTables* t, int* whitePieceMaterial,
                    int* blackPieceMaterial, int* pieceAdvantageBonus) {
  const int white = pieceMaterial<WHITE>(p);
  const int black = -pieceMaterial<BLACK>(p);
  const int whitePawns = PAWN_VALUE * popCount(p->whitePawns);
  const int blackPawns = -PAWN_VALUE * popCount(p->blackPawns);
  *whitePieceMaterial = white;
  *blackPieceMaterial = black;
  // Cleared on every call, also when the draw marker comes back.
  p->modeFlags &= ~DRAWISH_ENDING;

  // At most one minor piece each and no pawns: nobody can mate.
  if (!whitePawns && !blackPawns && white < ROOK_VALUE && black > -ROOK_VALUE) return MATERIAL_DRAW;

  const int total = white + black + whitePawns + blackPawns;
  int adjust = 0;
  if (popCount(p->whiteBishops) == 2) adjust += BISHOP_PAIR;
  if (popCount(p->blackBishops) == 2) adjust -= BISHOP_PAIR;
  const int bonus = *pieceAdvantageBonus;

  if (white == ROOK_VALUE && black == -ROOK_VALUE) {
    // Rook endings: an extra pawn is worth far less than a pawn.
    p->modeFlags |= DRAWISH_ENDING;
    const int pawnBalance = whitePawns + blackPawns;
    return bonus + total + adjust +
           (pawnBalance > 0 ? -ROOK_ENDING_PAWN : pawnBalance < 0 ? ROOK_ENDING_PAWN : 0);
  }
  if (white == BISHOP_VALUE && black == -BISHOP_VALUE) {
    const bool whiteDark = (p->whiteBishops & t->darkSquares) != 0;
    const bool blackDark = (p->blackBishops & t->darkSquares) != 0;
    if (whiteDark != blackDark) {
      p->modeFlags |= DRAWISH_ENDING;  // opposite-coloured bishops: half the lead
      return bonus + total + adjust - total / 2;
    }
    return bonus + total + adjust;
  }

  const bool whiteRule = pawnlessRule<WHITE>(p, white, -black, &adjust);
  const bool blackRule = pawnlessRule<BLACK>(p, -black, white, &adjust);
  if (whiteRule || blackRule) return bonus + total + adjust;

  // Only one side can have the lone bishop and rook pawn and the lead; the material part
  // is then a small lead whatever else was counted.
  const int wrongSide = wrongRookPawn<WHITE>(p, t, white + whitePawns, total)    ? 1
                        : wrongRookPawn<BLACK>(p, t, -(black + blackPawns), -total) ? -1
                                                                                    : 0;
  if (wrongSide) {
    p->modeFlags |= DRAWISH_ENDING;
    return bonus + total + wrongSide * (WRONG_ROOK_PAWN_SCORE - (BISHOP_VALUE + PAWN_VALUE));
  }

  // A piece up counts twice while the other side has no queen to stir up trouble.
  const int balance = white + black;
  if (balance > 0 && !p->blackQueens) *pieceAdvantageBonus = balance;
  if (balance < 0 && !p->whiteQueens) *pieceAdvantageBonus = balance;
  return *pieceAdvantageBonus + total + adjust;
}
