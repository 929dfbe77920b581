#include "board/bitboard.h"
#include "eval/evaluate.h"

namespace {
constexpr Bitboard fileA = 0x0101010101010101ULL;
constexpr Bitboard fileH = fileA << 7;
}  // namespace

int materialBalance(Position* p, const BoardTables* t, int* whitePieceMaterial,
                    int* blackPieceMaterial, int* pieceAdvantageBonus) {
  const int whiteBishops = popCount(p->whiteBishops);
  const int blackBishops = popCount(p->blackBishops);
  const int white = KNIGHT_VALUE * popCount(p->whiteKnights) + BISHOP_VALUE * whiteBishops +
                    ROOK_VALUE * popCount(p->whiteRooks) + QUEEN_VALUE * popCount(p->whiteQueens);
  const int black = -(KNIGHT_VALUE * popCount(p->blackKnights) + BISHOP_VALUE * blackBishops +
                      ROOK_VALUE * popCount(p->blackRooks) + QUEEN_VALUE * popCount(p->blackQueens));
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
  if (whiteBishops == 2) adjust += 25;
  if (blackBishops == 2) adjust -= 25;
  const int bonus = *pieceAdvantageBonus;

  if (white == ROOK_VALUE && black == -ROOK_VALUE) {
    // Rook endings: an extra pawn is worth far less than a pawn.
    p->modeFlags |= DRAWISH_ENDING;
    const int pawnBalance = whitePawns + blackPawns;
    return bonus + total + adjust + (pawnBalance > 0 ? -75 : pawnBalance < 0 ? 75 : 0);
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

  // Pieces without pawns: a lone minor cannot win; a minor more beside equal rooks
  // rarely does.
  bool noPawnRule = false;
  if (!whitePawns) {
    if (white > 0 && white < ROOK_VALUE) {
      adjust -= 225;
      noPawnRule = true;
    } else if (black == -ROOK_VALUE && white - ROOK_VALUE > 50 && white - ROOK_VALUE < ROOK_VALUE) {
      adjust += (white - ROOK_VALUE) * -3 / 4;
      noPawnRule = true;
    }
  }
  if (!blackPawns) {
    if (black > -ROOK_VALUE && black < 0) return bonus + total + adjust + 225;
    if (white == ROOK_VALUE && black + ROOK_VALUE > -ROOK_VALUE && black + ROOK_VALUE < -50)
      return bonus + total + adjust + (black + ROOK_VALUE) * -3 / 4;
  }
  if (noPawnRule) return bonus + total + adjust;

  // Bishop and rook pawn whose queening square the bishop does not control.
  bool wrongRookPawn = false;
  if (white + whitePawns == BISHOP_VALUE + PAWN_VALUE && total >= 51 &&
      (((p->whitePawns & fileA) && (p->whiteBishops & t->darkSquares)) ||
       ((p->whitePawns & fileH) && (p->whiteBishops & t->lightSquares)))) {
    adjust = 50 - (BISHOP_VALUE + PAWN_VALUE);
    p->modeFlags |= DRAWISH_ENDING;
    wrongRookPawn = true;
  }
  if (black + blackPawns == -(BISHOP_VALUE + PAWN_VALUE) && total < -50 &&
      (((p->blackPawns & fileA) && (p->blackBishops & t->lightSquares)) ||
       ((p->blackPawns & fileH) && (p->blackBishops & t->darkSquares)))) {
    p->modeFlags |= DRAWISH_ENDING;
    return bonus + total + (BISHOP_VALUE + PAWN_VALUE - 50);
  }

  // A piece up counts twice while the other side has no queen to stir up trouble.
  if (!wrongRookPawn) {
    const int balance = white + black;
    if (balance > 0 && !p->blackQueens) *pieceAdvantageBonus = balance;
    if (balance < 0 && !p->whiteQueens) *pieceAdvantageBonus = balance;
  }
  return *pieceAdvantageBonus + total + adjust;
}
