// The generator's moves: what the side to move can do from a position (counted, or
// looked up in the smaller tables when a capture or promotion leaves the ending), and the
// positions a move that keeps the material comes from. Internal to the generator.
#pragma once

#include <algorithm>

#include "tablebase/generator/generate.h"

namespace tbgen {

constexpr int NO_WIN = 1 << 30;

inline int relativeRank(int colour, int sq) { return colour == 0 ? sq >> 3 : 7 - (sq >> 3); }
inline int pawnStep(int colour) { return colour == 0 ? 8 : -8; }

inline int unitAt(const Ending& e, const int* sq, int square) {
  for (int u = 0; u < e.units; ++u)
    if (sq[u] == square) return u;
  return -1;
}

// Images/4 of a position: 1 for a pawnless position that is its own transpose, else 2.
// Endings with pawns all have two images per position and count plain moves.
inline int weightOf(const Ending& e, const int* sq) {
  if (e.pawns || (sq[0] >> 3) != (sq[0] & 7)) return 1 + !e.pawns;
  bool symmetric = false;
  canonicalIndex(e, sq, nullptr, &symmetric);
  return symmetric ? 1 : 2;
}


// Does colour have a pawn beside the square (same rank, next file)?
inline bool pawnBeside(const Ending& e, const int* sq, int colour, int square) {
  for (int u = 2; u < e.units; ++u) {
    if (e.colour[u] != colour || e.kind[u] != G_PAWN || sq[u] == OFF_BOARD) continue;
    const int d = sq[u] - square;
    if ((d == 1 && (square & 7) != 7) || (d == -1 && (square & 7) != 0)) return true;
  }
  return false;
}

struct Summary {
  int legal = 0;
  int quiet = 0;            // moves that keep the material
  bool check = false;
  int bestWin = NO_WIN;     // plies of the quickest win by capture or promotion
  bool holds = false;       // a capture or promotion that does not lose
  int slowestLoss = -1;     // plies of the slowest loss by capture or promotion
};

// The state of a capture or promotion's position in the smaller ending's table, with
// childStm to move.
inline uint16_t exitState(const Table& t, const int* c, int captured, int promoted, int newKind,
                          int childStm) {
  const ExitLink& link = t.exits[captured + 1][promoted + 1][promoted >= 0 ? newKind : 0];
  if (!link.table) return 0;  // bare kings: a draw
  const Ending& sub = link.table->ending;
  int s[MAX_UNITS] = {};
  const int flip = link.swap ? 56 : 0;
  for (int u = 0; u < sub.units; ++u) s[u] = c[int(link.source[u])] ^ flip;
  return stateAt(*link.table, childStm ^ int(link.swap), canonicalIndex(sub, s));
}

// One summary in the making: the position, its pins, and the tallies so far.
struct Summariser {
  const Table& t;
  const Ending& e;
  const int* sq;
  int stm, opp;
  uint64_t mine = 0, theirs = 0, occ = 0;
  uint64_t pinned = 0;
  Summary s;
  int c[MAX_UNITS];  // the position after the move being looked at

  Summariser(const Table& table, const int* squares, int sideToMove)
      : t(table), e(table.ending), sq(squares), stm(sideToMove), opp(sideToMove ^ 1) {
    for (int u = 0; u < e.units; ++u)
      if (sq[u] != OFF_BOARD) (e.colour[u] == stm ? mine : theirs) |= bit(sq[u]);
    occ = mine | theirs;
    s.check = attacked(e, sq, occ, sq[stm], opp);
    if (!s.check) findPins();
  }

  // Men of the side to move that alone stand between their king and an enemy slider.
  void findPins() {
    const int king = sq[stm];
    for (int v = 2; v < e.units; ++v) {
      const int k = e.kind[v];
      if (e.colour[v] != opp || k < G_BISHOP || sq[v] == OFF_BOARD) continue;
      const uint64_t lines = (k != G_BISHOP ? geometry.orthogonal[king] : 0) |
                             (k != G_ROOK ? geometry.diagonal[king] : 0);
      if (!(lines & bit(sq[v]))) continue;
      const uint64_t b = geometry.between[king][sq[v]] & occ;
      if (b && !(b & (b - 1)) && (b & mine)) pinned |= b;
    }
  }

  void exitValue(int captured, int promoted, int newKind) {
    const uint16_t v = exitState(t, c, captured, promoted, newKind, opp);
    switch (kindOfState(v)) {
      case V_LOSS: s.bestWin = std::min(s.bestWin, pliesOfState(v) + 1); break;
      case V_WIN: s.slowestLoss = std::max(s.slowestLoss, pliesOfState(v) + 1); break;
      default: s.holds = true;  // a draw (an invalid child cannot follow a legal move)
    }
  }

  void quietMove() {
    ++s.legal;
    ++s.quiet;
  }

  // One move; safe: legal without a test.
  void move(int u, int to, int captured, int capturedSquare, bool promotes, bool safe) {
    copyUnits(c, sq);
    c[u] = to;
    if (captured >= 0) c[captured] = OFF_BOARD;
    if (!safe) {
      uint64_t occ2 = (occ ^ bit(sq[u])) | bit(to);
      if (captured >= 0 && capturedSquare != to) occ2 ^= bit(capturedSquare);
      if (attacked(e, c, occ2, c[stm], opp)) return;
    }
    if (promotes) {
      s.legal += 4;
      for (int k = G_QUEEN; k >= G_KNIGHT; --k) exitValue(captured, u, k);
    } else if (captured >= 0) {
      ++s.legal;
      exitValue(captured, -1, 0);
    } else {
      quietMove();
    }
  }

  void pawnMoves(int u, bool safe, int epSquare) {
    const int from = sq[u];
    const int up = pawnStep(stm);
    const int to = from + up;
    const bool promotes = relativeRank(stm, to) == 7;
    if (!(occ & bit(to))) {
      if (safe && !promotes)
        quietMove();
      else
        move(u, to, -1, -1, promotes, safe);
      if (relativeRank(stm, from) == 1 && !(occ & bit(to + up))) {
        if (safe)
          quietMove();
        else
          move(u, to + up, -1, -1, false, false);
      }
    }
    for (uint64_t caps = geometry.pawnAttack[stm][from] & theirs; caps; caps &= caps - 1) {
      const int to2 = __builtin_ctzll(caps);
      move(u, to2, unitAt(e, sq, to2), to2, promotes, safe);
    }
    // En passant empties two squares of a line: always tested.
    if (epSquare >= 0 && (geometry.pawnAttack[stm][from] & bit(epSquare)))
      move(u, epSquare, unitAt(e, sq, epSquare - up), epSquare - up, false, false);
  }

  void pieceMoves(int u, bool safe) {
    const uint64_t targets = attacksOf(e.kind[u], stm, sq[u], occ) & ~mine;
    if (safe) {
      const int n = __builtin_popcountll(targets & ~theirs);
      s.legal += n;
      s.quiet += n;
    } else {
      for (uint64_t q = targets & ~theirs; q; q &= q - 1)
        move(u, __builtin_ctzll(q), -1, -1, false, false);
    }
    for (uint64_t q = targets & theirs; q; q &= q - 1) {
      const int to = __builtin_ctzll(q);
      move(u, to, unitAt(e, sq, to), to, false, safe);
    }
  }
};

// The moves of the side to move: quiet moves are only counted (outside check, a unit
// that is neither the king nor pinned moves legally wherever it can go), captures and
// promotions are looked up in the smaller tables. epSquare is the square an en-passant
// capture goes to, or -1.
inline void summarise(const Table& t, const int* sq, int stm, int epSquare, Summary* out) {
  Summariser m(t, sq, stm);
  const Ending& e = t.ending;
  for (int u = 0; u < e.units; ++u) {
    if (e.colour[u] != stm || sq[u] == OFF_BOARD) continue;
    const bool safe = e.kind[u] != G_KING && !m.s.check && !(m.pinned & bit(sq[u]));
    if (e.kind[u] == G_PAWN)
      m.pawnMoves(u, safe, epSquare);
    else
      m.pieceMoves(u, safe);
  }
  *out = m.s;
}

// Calls visit(unit, square it came from, predecessor squares) for every legal position,
// the other side to move, from which a move that keeps the material leads here. epPawn
// is the square of the pawn that has just made a double step when this is an
// en-passant position, else -1.
template <typename Visit>
void forEachUnmove(const Ending& e, const int* sq, int stm, int epPawn, Visit&& visit) {
  const int mover = stm ^ 1;
  const uint64_t occ = occupancyOf(e, sq);
  int p[MAX_UNITS];
  copyUnits(p, sq);
  auto emit = [&](int u, int from) {
    p[u] = from;
    const uint64_t occ2 = (occ ^ bit(sq[u])) | bit(from);
    if (!attacked(e, p, occ2, p[stm], mover)) visit(u, from, p);
    p[u] = sq[u];
  };
  const int up = pawnStep(mover);
  if (epPawn >= 0) {
    emit(unitAt(e, sq, epPawn), epPawn - 2 * up);
    return;
  }
  for (int u = 0; u < e.units; ++u) {
    if (e.colour[u] != mover) continue;
    const int s = sq[u];
    if (e.kind[u] == G_PAWN) {
      const int back = s - up;
      if (relativeRank(mover, back) < 1 || (occ & bit(back))) continue;
      emit(u, back);
      // A double step next to a pawn of the side to move leads to the en-passant
      // position instead.
      if (relativeRank(mover, s) == 3 && !(occ & bit(back - up)) &&
          !(e.bothPawns && pawnBeside(e, sq, stm, s)))
        emit(u, back - up);
    } else {
      for (uint64_t from = attacksOf(e.kind[u], mover, s, occ) & ~occ; from; from &= from - 1)
        emit(u, __builtin_ctzll(from));
    }
  }
}

}  // namespace tbgen
