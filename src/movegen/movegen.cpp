#include "movegen/movegen.h"

#include "board/bitboard.h"
#include "board/makemove.h"
#include "movegen/attacks.h"

namespace {

// Ordering keys beyond the exchange value: a promotion adds the new piece's value less
// the pawn's, an en-passant capture wins a pawn.
constexpr int QUEEN_PROMOTION_BONUS = QUEEN_VALUE - PAWN_VALUE;
constexpr int ROOK_PROMOTION_BONUS = ROOK_VALUE - PAWN_VALUE;
constexpr int BISHOP_PROMOTION_BONUS = BISHOP_VALUE - PAWN_VALUE;
constexpr int KNIGHT_PROMOTION_BONUS = KNIGHT_VALUE - PAWN_VALUE;
constexpr int EN_PASSANT_KEY = ORDER_KEY_BIAS + PAWN_VALUE;
// Quiescence keeps the captures that lose at most a bishop for a knight.
constexpr int QUIESCENCE_LEAST_GAIN = KNIGHT_VALUE - BISHOP_VALUE;

// Traversal order fixes the order of moves with equal keys: White pieces from the
// lowest square up and their targets from the highest down; Black the other way.
template <class F>
inline void lowToHigh(Bitboard b, F&& f) {
  while (b) {
    const int sq = __builtin_ctzll(b);
    b &= b - 1;
    f(sq);
  }
}
template <class F>
inline void highToLow(Bitboard b, F&& f) {
  while (b) {
    const int sq = 63 - __builtin_clzll(b);
    b ^= squareMask[sq];
    f(sq);
  }
}
template <int Side, class F>
inline void forPieces(Bitboard b, F&& f) {
  if constexpr (Side == WHITE) lowToHigh(b, f); else highToLow(b, f);
}
template <int Side, class F>
inline void forTargets(Bitboard b, F&& f) {
  if constexpr (Side == WHITE) highToLow(b, f); else lowToHigh(b, f);
}

template <int Side>
inline int enemyAt(const Position* p, int sq) {
  using O = Colour<Side ^ 1>;
  const Bitboard m = squareMask[sq];
  if (p->*O::pawns & m) return O::pawn;
  if (p->*O::knights & m) return O::knight;
  if (p->*O::bishops & m) return O::bishop;
  if (p->*O::rooks & m) return O::rook;
  if (p->*O::queens & m) return O::queen;
  if (p->*O::kingSquare == uint32_t(sq)) return O::king;
  return EMPTY;
}

// Exact legality without making the move: pins when not in check, a full attack test
// on the king with the changed occupancy otherwise, for king moves and en passant.
template <int Side>
struct Legality {
  const Position* p;
  const BoardTables* t;
  int king = 0;
  Bitboard pinned = 0;
  bool active;
  bool inCheck = false;

  Legality(const Position* position, const BoardTables* tables, bool test)
      : p(position), t(tables), active(test) {
    if (!active) return;
    king = int(p->*Colour<Side>::kingSquare);
    pinned = pinnedPieces<Side>(p, t);
    inCheck = kingAttackedWith<Side>(king, occupancyOf(*p), 0, p, t);
  }

  bool safeAfter(int from, int to, int victim) const {
    Occupancy occ = occupancyOf(*p);
    occ.toggle(from);
    if (!(occ.normal & squareMask[to])) occ.toggle(to);
    if (victim != to) occ.toggle(victim);
    return !kingAttackedWith<Side>(king, occ, squareMask[victim], p, t);
  }
  bool move(int from, int to) const {
    if (!active) return true;
    if (inCheck) return safeAfter(from, to, to);
    if (pinned & squareMask[from]) return t->direction[king][from] == t->direction[king][to];
    return true;
  }
  bool enPassant(int from, int to) const {
    return !active || safeAfter(from, to, to - Colour<Side>::up);
  }
  bool kingMove(int from, int to) const {
    if (!active) return true;
    Occupancy occ = occupancyOf(*p);
    occ.toggle(from);
    return !kingAttackedWith<Side>(to, occ, squareMask[to], p, t);
  }
};

struct MoveWriter {
  Move* list;
  int n = 0;
  explicit MoveWriter(Move* l) : list(l) { list[0] = 0; }
  void add(int from, int to, int piece, int captured, int promotion, int key) {
    list[n++] = makeMoveWord(from, to, piece, captured, promotion, key);
  }
  // Queen, rook, bishop, knight: the promotion bonus is the new piece's value less a pawn.
  template <int Side>
  void promotions(int from, int to, int captured, int base) {
    using C = Colour<Side>;
    add(from, to, C::pawn, captured, C::queen, base + QUEEN_PROMOTION_BONUS);
    add(from, to, C::pawn, captured, C::rook, base + ROOK_PROMOTION_BONUS);
    add(from, to, C::pawn, captured, C::bishop, base + BISHOP_PROMOTION_BONUS);
    add(from, to, C::pawn, captured, C::knight, base + KNIGHT_PROMOTION_BONUS);
  }
};

// Knight, bishop, rook and queen moves from movers to targets, in the colour's
// traversal order; quiet moves take the rooks before the bishops.
template <int Side, bool RooksFirst = false, class F>
inline void forPieceMoves(const Position* p, const BoardTables* t, Bitboard movers,
                          Bitboard targets, F&& f) {
  using C = Colour<Side>;
  auto each = [&](Bitboard pieces, int code, auto attacksFrom) {
    forPieces<Side>(pieces & movers, [&](int from) {
      forTargets<Side>(attacksFrom(from) & targets, [&](int to) { f(from, to, code); });
    });
  };
  auto bishops = [&] { each(p->*C::bishops, C::bishop, [&](int sq) { return bishopAttacks(*p, sq); }); };
  auto rooks = [&] { each(p->*C::rooks, C::rook, [&](int sq) { return rookAttacks(*p, sq); }); };
  each(p->*C::knights, C::knight, [&](int sq) { return t->knightAttacks[sq]; });
  if constexpr (RooksFirst) {
    rooks();
    bishops();
  } else {
    bishops();
    rooks();
  }
  each(p->*C::queens, C::queen, [&](int sq) { return queenAttacks(*p, sq); });
}

// The three capture generators are one routine: the search's captures (every promotion,
// with or without the legality test), the quiescence captures (no test, queen promotions
// only, nothing that loses more than QUIESCENCE_LEAST_GAIN) and the captures of a lone
// checker (by the movers, which exclude pinned men; en passant only of the checking pawn
// and always tested; no king moves, which the evasions make on their own).
enum class CaptureKind { SEARCH, QUIESCENCE, CHECKER };

// Put whole into each generator, so that the kind's tests fold away: the search's
// captures run at every node.
template <int Side, CaptureKind Kind>
[[gnu::always_inline]] inline void captureMoves(MoveWriter& out, const Position* p, const BoardTables* t,
                         const Legality<Side>& legal, Bitboard movers, Bitboard targets,
                         Bitboard enPassant) {
  using C = Colour<Side>;
  constexpr bool search = Kind == CaptureKind::SEARCH;
  constexpr bool quiescence = Kind == CaptureKind::QUIESCENCE;
  const Bitboard occupied = p->whitePieces | p->blackPieces;
  auto promote = [&](int from, int to, int captured, int key) {
    if constexpr (quiescence)
      out.add(from, to, C::pawn, captured, C::queen, key + QUEEN_PROMOTION_BONUS);
    else
      out.promotions<Side>(from, to, captured, key);
  };

  forPieces<Side>(p->*C::pawns & movers, [&](int from) {
    const bool seventh = C::relativeRank(rankOf(from)) == 6;
    const int ahead = from + C::up;
    if constexpr (Kind != CaptureKind::CHECKER) {
      if (seventh && !(occupied & squareMask[ahead]) && (!search || legal.move(from, ahead)))
        promote(from, ahead, EMPTY, ORDER_KEY_BIAS);
    }
    const Bitboard attacks = (t->*C::pawnAttacks)[from];
    forTargets<Side>(attacks & targets, [&](int to) {
      if (search && !legal.move(from, to)) return;
      const int gain = see(Side, from, to, p, t);
      if (seventh)
        promote(from, to, enemyAt<Side>(p, to), ORDER_KEY_BIAS + gain);
      else if (!quiescence || gain >= QUIESCENCE_LEAST_GAIN)
        out.add(from, to, C::pawn, enemyAt<Side>(p, to), EMPTY, ORDER_KEY_BIAS + gain);
    });
    if (attacks & enPassant) {
      const int to = __builtin_ctzll(enPassant);
      if (quiescence || legal.enPassant(from, to))
        out.add(from, to, C::pawn, EMPTY, EMPTY, EN_PASSANT_KEY);
    }
  });

  forPieceMoves<Side>(p, t, movers, targets, [&](int from, int to, int code) {
    if (search && !legal.move(from, to)) return;
    const int gain = see(Side, from, to, p, t);
    if (!quiescence || gain >= QUIESCENCE_LEAST_GAIN)
      out.add(from, to, code, enemyAt<Side>(p, to), EMPTY, ORDER_KEY_BIAS + gain);
  });

  if constexpr (Kind != CaptureKind::CHECKER) {
    const int king = int(p->*C::kingSquare);
    highToLow(t->kingAttacks[king] & targets, [&](int to) {
      if (search && !legal.kingMove(king, to)) return;
      const int captured = enemyAt<Side>(p, to);
      out.add(king, to, C::king, captured, EMPTY, ORDER_KEY_BIAS + pieceValue(captured));
    });
  }
}

template <int Side>
int capturesT(int ply, Move* list, const Position* p, const UndoRecord* records,
              const BoardTables* t, bool testLegality) {
  MoveWriter out(list);
  const Legality<Side> legal(p, t, testLegality);
  captureMoves<Side, CaptureKind::SEARCH>(out, p, t, legal, ~Bitboard(0),
                                          p->*Colour<Side ^ 1>::pieces, records[ply].enPassant);
  return out.n;
}

template <int Side>
int quiescenceCapturesT(int ply, Move* list, const Position* p, const UndoRecord* records,
                        const BoardTables* t) {
  MoveWriter out(list);
  const Legality<Side> untested(p, t, false);
  captureMoves<Side, CaptureKind::QUIESCENCE>(out, p, t, untested, ~Bitboard(0),
                                              p->*Colour<Side ^ 1>::pieces,
                                              records[ply].enPassant);
  return out.n;
}

template <int Side>
int nonCapturesT(int ply, Move* list, const Position* p, UndoRecord* records,
                 const BoardTables* t, bool testLegality) {
  using C = Colour<Side>;
  MoveWriter out(list);
  const Legality<Side> legal(p, t, testLegality);
  const Bitboard occupied = p->whitePieces | p->blackPieces;
  const Bitboard empty = ~occupied;

  forPieces<Side>(p->*C::pawns, [&](int from) {
    const int rank = C::relativeRank(rankOf(from));
    if (rank == 6) return;
    const int ahead = from + C::up;
    if (!(empty & squareMask[ahead])) return;
    if (legal.move(from, ahead)) out.add(from, ahead, C::pawn, EMPTY, EMPTY, ORDER_KEY_BIAS);
    const int twoAhead = ahead + C::up;
    if (rank == 1 && (empty & squareMask[twoAhead]) && legal.move(from, twoAhead))
      out.add(from, twoAhead, C::pawn, EMPTY, EMPTY, ORDER_KEY_BIAS);
  });

  forPieceMoves<Side, true>(p, t, ~Bitboard(0), empty, [&](int from, int to, int code) {
    if (legal.move(from, to)) out.add(from, to, code, EMPTY, EMPTY, ORDER_KEY_BIAS);
  });

  // Castling: the rook must still stand on its corner and the king on its home square.
  UndoRecord* record = &records[ply];
  const int rights = record->*C::castle;
  const int home = C::kingHome;
  const int king = int(p->*C::kingSquare);
  auto attacked = [&](int sq) {
    return attackInfoBy(Side ^ 1, sq, p, record, t) & ATTACKED;
  };
  if (rights > 0 && king == home) {
    if ((rights & CASTLE_QUEEN_SIDE) && (p->*C::rooks & squareMask[C::rookQueenSide]) &&
        !(occupied & (squareMask[home - 1] | squareMask[home - 2] | squareMask[home - 3])) &&
        !attacked(home - 2) && !attacked(home - 1) && !attacked(home))
      out.add(home, home - 2, C::king, EMPTY, EMPTY, ORDER_KEY_BIAS);
    if ((rights & CASTLE_KING_SIDE) && (p->*C::rooks & squareMask[C::rookKingSide]) &&
        !(occupied & (squareMask[home + 1] | squareMask[home + 2])) && !attacked(home + 2) &&
        !attacked(home + 1) && !attacked(home))
      out.add(home, home + 2, C::king, EMPTY, EMPTY, ORDER_KEY_BIAS);
  }

  highToLow(t->kingAttacks[king] & empty, [&](int to) {
    if (legal.kingMove(king, to)) out.add(king, to, C::king, EMPTY, EMPTY, ORDER_KEY_BIAS);
  });
  return out.n;
}

template <int Side>
int evasionsT(int ply, int king, Bitboard checkers, Move* list, const Position* p,
              const UndoRecord* records, const BoardTables* t) {
  using C = Colour<Side>;
  using O = Colour<Side ^ 1>;
  MoveWriter out(list);
  const Bitboard own = p->*C::pieces;
  const Bitboard occupied = p->whitePieces | p->blackPieces;

  if (popCount(checkers) == 1) {
    const Bitboard pinned = pinnedPieces<Side>(p, t);
    const int checker = firstOne(checkers);
    const int victim = enemyAt<Side>(p, checker);

    // Captures of the checker by unpinned men; en passant when the checker is the pawn
    // that has just made its double step.
    const Bitboard enPassant = records[ply].enPassant;
    const Bitboard checkerBehind =
        enPassant && firstOne(enPassant) == checker + C::up ? enPassant : 0;
    // Both pawns leave the capturing rank, which can expose the king along it.
    const Legality<Side> legal(p, t, checkerBehind != 0);
    captureMoves<Side, CaptureKind::CHECKER>(out, p, t, legal, ~pinned, checkers, checkerBehind);

    // Interpositions against a slider.
    const int kind = victim - O::pieceBase;
    if (kind == WHITE_BISHOP || kind == WHITE_ROOK || kind == WHITE_QUEEN) {
      const Bitboard between = squaresBetween(king, checker);
      forPieces<Side>(p->*C::pawns & ~pinned, [&](int from) {
        const int ahead = from + C::up;
        if (between & squareMask[ahead]) {
          if (C::relativeRank(rankOf(from)) == 6)
            out.promotions<Side>(from, ahead, EMPTY, ORDER_KEY_BIAS);
          else
            out.add(from, ahead, C::pawn, EMPTY, EMPTY, ORDER_KEY_BIAS);
        }
        const int twoAhead = ahead + C::up;
        if (C::relativeRank(rankOf(from)) == 1 && (between & squareMask[twoAhead]) &&
            !(occupied & squareMask[ahead]))
          out.add(from, twoAhead, C::pawn, EMPTY, EMPTY, ORDER_KEY_BIAS);
      });
      forPieceMoves<Side>(p, t, ~pinned, between, [&](int from, int to, int code) {
        out.add(from, to, code, EMPTY, EMPTY, ORDER_KEY_BIAS);
      });
    }
  }

  // King moves, also after a double check. The test removes the king from the board,
  // so a step backwards along a checking line is seen as attacked.
  Occupancy withoutKing = occupancyOf(*p);
  withoutKing.toggle(king);
  forTargets<Side>(t->kingAttacks[king] & ~own, [&](int to) {
    if (kingAttackedWith<Side>(to, withoutKing, squareMask[to], p, t)) return;
    const int captured = enemyAt<Side>(p, to);
    out.add(king, to, C::king, captured, EMPTY, ORDER_KEY_BIAS + pieceValue(captured));
  });
  return out.n;
}

}  // namespace

int generateCaptures(int side, int ply, Move* list, const Position* p, UndoRecord* records,
                     const BoardTables* t, int skipLegality) {
  return side == WHITE ? capturesT<WHITE>(ply, list, p, records, t, !skipLegality)
                       : capturesT<BLACK>(ply, list, p, records, t, !skipLegality);
}

int generateNonCaptures(int side, int ply, Move* list, const Position* p, UndoRecord* records,
                        const BoardTables* t, int skipLegality) {
  return side == WHITE ? nonCapturesT<WHITE>(ply, list, p, records, t, !skipLegality)
                       : nonCapturesT<BLACK>(ply, list, p, records, t, !skipLegality);
}

int generateQuiescenceCaptures(int side, int ply, Move* list, const Position* p,
                               UndoRecord* records, const BoardTables* t) {
  return side == WHITE ? quiescenceCapturesT<WHITE>(ply, list, p, records, t)
                       : quiescenceCapturesT<BLACK>(ply, list, p, records, t);
}

int generateEvasions(int side, int ply, Bitboard checkers, Move* list, const Position* p,
                     UndoRecord* records, const BoardTables* t) {
  return side == WHITE
             ? evasionsT<WHITE>(ply, int(p->whiteKingSquare), checkers, list, p, records, t)
             : evasionsT<BLACK>(ply, int(p->blackKingSquare), checkers, list, p, records, t);
}

int isLegalMove(int side, int ply, Move move, Position* p, UndoRecord* records,
                const BoardTables* t) {
  makeMove(side, ply, move, p, records, t);
  const uint8_t info = side == WHITE
                           ? attackInfoByBlack(int(p->whiteKingSquare), p, &records[ply], t)
                           : attackInfoByWhite(int(p->blackKingSquare), p, &records[ply], t);
  unmakeMove(side, ply, move, p, records);
  return (info & ATTACKED) ? 0 : 1;
}

int generateLegalMoves(int side, int ply, Move* list, const Position* p, UndoRecord* records,
                       const BoardTables* t) {
  const int captures = generateCaptures(side, ply, list, p, records, t, 0);
  return captures + generateNonCaptures(side, ply, list + captures, p, records, t, 0);
}
