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
inline int pieceMaterial(const Position* p, int bishops) {
  using C = Colour<Side>;
  return KNIGHT_VALUE * popCount(p->*C::knights) + BISHOP_VALUE * bishops +
         ROOK_VALUE * popCount(p->*C::rooks) + QUEEN_VALUE * popCount(p->*C::queens);
}

// Pieces of Side without pawns: a lone minor cannot win, and a minor more beside equal
// rooks rarely does. The correction (White's view) when a rule applies, else NO_RULE.
// own and their are the positive piece sums.
constexpr int NO_RULE = 1 << 30;

template <int Side>
inline int pawnlessRule(int ownPawns, int own, int their) {
  using C = Colour<Side>;
  if (ownPawns) return NO_RULE;
  if (own > 0 && own < ROOK_VALUE) return -C::sign * LONE_MINOR;
  const int extra = own - ROOK_VALUE;
  if (their == ROOK_VALUE && extra > LEAST_MINOR_BESIDE_ROOK && extra < ROOK_VALUE)
    return C::sign * (extra * -3 / 4);
  return NO_RULE;
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
  const int whiteBishops = popCount(p->whiteBishops);
  const int blackBishops = popCount(p->blackBishops);
  const int white = pieceMaterial<WHITE>(p, whiteBishops);
  const int black = -pieceMaterial<BLACK>(p, blackBishops);
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
  if (whiteBishops == 2) adjust += BISHOP_PAIR;
  if (blackBishops == 2) adjust -= BISHOP_PAIR;
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

  const int whiteRule = pawnlessRule<WHITE>(whitePawns, white, -black);
  const int blackRule = pawnlessRule<BLACK>(blackPawns, -black, white);
  if (whiteRule != NO_RULE || blackRule != NO_RULE)
    return bonus + total + adjust + (whiteRule != NO_RULE ? whiteRule : 0) +
           (blackRule != NO_RULE ? blackRule : 0);

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
