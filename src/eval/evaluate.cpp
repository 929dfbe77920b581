#include "eval/evaluate.h"

#include "eval/terms.h"

using namespace evalterms;

namespace {

// Middlegame lazy margins: the most the mover's remaining terms are trusted to add.
constexpr int MARGIN_PAWNS = 1133;
constexpr int MARGIN_KNIGHTS = 731;
constexpr int MARGIN_ROOKS = 387;
constexpr int MARGIN_BISHOPS = 235;
constexpr int MARGIN_REST = 141;

// Per open file, for the side that has developed more pieces.
constexpr int OPEN_FILE_DEVELOPMENT = 10;
// Per passed pawn of the side a piece down: part of the doubled piece bonus taken back.
constexpr int PASSED_PAWN_TAKE_BACK = 70;
// Drawish material, or a queen left to the side behind: the endgame terms count a quarter.
constexpr int DOUBTFUL_ENDGAME_DIVISOR = 4;

template <int Mover>
inline int middlegame(int s, int ply, const Position* p, UndoRecord* records,
                      const BoardTables* t, int phase, int alpha) {
  constexpr int Other = Mover ^ 1;
  constexpr int sign = Colour<Mover>::sign;
  const int moverDevelopment = developmentCount<Mover>(p);
  const int otherDevelopment = developmentCount<Other>(p);

  s += kingSafetyTerm<WHITE>(ply, p, records, t) + kingSafetyTerm<BLACK>(ply, p, records, t);
  s += pawnTerm<Other>(p, t, otherDevelopment) + knightTerm<Other>(p, t, otherDevelopment) +
       bishopTerm<Other>(p, t) + rookTerm<Other>(p, t, otherDevelopment, phase) +
       queenTerm<Other>(p, t, otherDevelopment, phase) + kingSquareTerm<Other>(p, t) +
       trappedRookTerm<Mover>(p, t) + blockingBishopTerm<Mover>(p, t);

  if (sign * s + MARGIN_PAWNS <= alpha) return s;
  s += pawnTerm<Mover>(p, t, moverDevelopment);
  if (sign * s + MARGIN_KNIGHTS <= alpha) return s;
  s += knightTerm<Mover>(p, t, moverDevelopment);
  if (sign * s + MARGIN_ROOKS <= alpha) return s;
  s += rookTerm<Mover>(p, t, moverDevelopment, phase);
  if (sign * s + MARGIN_BISHOPS <= alpha) return s;
  s += bishopTerm<Mover>(p, t);
  if (sign * s + MARGIN_REST <= alpha) return s;
  return s + queenTerm<Mover>(p, t, moverDevelopment, phase) + kingSquareTerm<Mover>(p, t) +
         trappedRookTerm<Other>(p, t) + blockingBishopTerm<Other>(p, t);
}

// The passed-pawn term of Side; its passed pawns take back part of the doubled piece
// bonus when Side is the one a piece down.
template <int Side>
inline int passedPawns(int side, const Position* p, const BoardTables* t, int theirPieceMaterial,
                       int bothWings, int pieceAdvantageBonus) {
  constexpr int sign = Colour<Side>::sign;
  int passed = 0;
  int v = passedPawnTerm<Side>(side, p, t, theirPieceMaterial, bothWings, &passed);
  const int behind = -sign * pieceAdvantageBonus;  // the bonus against Side, when positive
  if (passed > 0 && behind > 0) {
    const int back = PASSED_PAWN_TAKE_BACK * passed;
    v += sign * (back < behind ? back : behind);
  }
  return v;
}

inline int endgame(int side, const Position* p, const BoardTables* t, int material,
                   int whitePieceMaterial, int blackPieceMaterial, int pieceAdvantageBonus) {
  const Bitboard pawns = p->whitePawns | p->blackPawns;
  const int bothWings = (pawns & t->filesAToC) && (pawns & t->filesFToH);
  int sum = 0;
  sum += passedPawns<WHITE>(side, p, t, -blackPieceMaterial, bothWings, pieceAdvantageBonus);
  sum += passedPawns<BLACK>(side, p, t, whitePieceMaterial, bothWings, pieceAdvantageBonus);
  sum += endgameKnightTerm<WHITE>(p, t) + endgameKnightTerm<BLACK>(p, t);
  sum += endgameBishopTerm<WHITE>(p, t) + endgameBishopTerm<BLACK>(p, t);
  sum += endgameRookTerm<WHITE>(p, t) + endgameRookTerm<BLACK>(p, t);
  sum += endgameTrappedRookTerm<WHITE>(p, t) + endgameTrappedRookTerm<BLACK>(p, t);
  sum += endgameKingTerm<WHITE>(p, t, whitePieceMaterial, -blackPieceMaterial);
  sum += endgameKingTerm<BLACK>(p, t, -blackPieceMaterial, whitePieceMaterial);
  if ((p->modeFlags & DRAWISH_ENDING) || (sum > 0 && p->blackQueens) ||
      (sum < 0 && p->whiteQueens))
    sum /= DOUBTFUL_ENDGAME_DIVISOR;
  return material + sum;
}

}  // namespace

int evaluate(int side, int ply, const Position* p, UndoRecord* records, const BoardTables* t,
             int material, int whitePieceMaterial, int blackPieceMaterial, int alpha,
             int pieceAdvantageBonus) {
  const int phase =
      whitePieceMaterial < -blackPieceMaterial ? whitePieceMaterial : -blackPieceMaterial;
  if (phase <= MIDDLEGAME_PHASE)
    return endgame(side, p, t, material, whitePieceMaterial, blackPieceMaterial,
                   pieceAdvantageBonus);

  int s = material;
  // Open files favour the side that has brought out more of its pieces.
  const int whiteDevelopment = developmentCount<WHITE>(p);
  const int blackDevelopment = developmentCount<BLACK>(p);
  if (whiteDevelopment != blackDevelopment) {
    int openFiles = 0;
    for (int f = 0; f < 8; ++f)
      openFiles += (p->whitePawnsOnFile[f] | p->blackPawnsOnFile[f]) == 0;
    s += (whiteDevelopment < blackDevelopment ? 1 : -1) * OPEN_FILE_DEVELOPMENT * openFiles;
  }
  return side == WHITE ? middlegame<WHITE>(s, ply, p, records, t, phase, alpha)
                       : middlegame<BLACK>(s, ply, p, records, t, phase, alpha);
}

int whiteKingSafety(int ply, const Position* p, UndoRecord* records, const BoardTables* t) {
  return kingSafetyTerm<WHITE>(ply, p, records, t);
}
int blackKingSafety(int ply, const Position* p, UndoRecord* records, const BoardTables* t) {
  return kingSafetyTerm<BLACK>(ply, p, records, t);
}
int whiteDevelopmentCount(const Position* p) { return developmentCount<WHITE>(p); }
int blackDevelopmentCount(const Position* p) { return developmentCount<BLACK>(p); }

int scoreCommand(int sideToMove, Position* p, UndoRecord* records, const BoardTables* t) {
  const uint32_t engineWasBlack = p->engineIsBlack;
  p->engineIsBlack = sideToMove == BLACK ? 1 : 0;
  records[1] = records[0];
  int white = 0, black = 0, bonus = 0;
  const int material = materialBalance(p, t, &white, &black, &bonus);
  int score = 0;
  if (material != MATERIAL_DRAW)
    score = evaluate(sideToMove ^ 1, 1, p, records, t, material, white, black, -INFINITE_SCORE,
                     bonus);
  p->engineIsBlack = engineWasBlack;
  return sideToMove == WHITE ? score : -score;
}
