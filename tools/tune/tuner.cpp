#include "tuner.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "eval/evaluate.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"

namespace tune {

// ---------------------------------------------------------------------------------
// Parameters and tables

void paramsFromTables(const BoardTables* t, double params[PARAM_COUNT]) {
  for (int k = 0; k < KIND_COUNT; ++k)
    for (int sq = 0; sq < 64; ++sq) params[k * 64 + sq] = t->squareValues[whiteTableOfKind[k]][sq];
}

void tablesFromParams(const double params[PARAM_COUNT], BoardTables* t) {
  for (int k = 0; k < KIND_COUNT; ++k)
    for (int sq = 0; sq < 64; ++sq) {
      const auto v = int32_t(std::lround(params[k * 64 + sq]));
      t->squareValues[whiteTableOfKind[k]][sq] = v;
      t->squareValues[blackTableOfKind[k]][mirrorRank(sq)] = v;
    }
}

bool blackMirrorsWhite(const BoardTables* t) {
  for (int k = 0; k < KIND_COUNT; ++k)
    for (int sq = 0; sq < 64; ++sq)
      if (t->squareValues[whiteTableOfKind[k]][sq] !=
          t->squareValues[blackTableOfKind[k]][mirrorRank(sq)])
        return false;
  return true;
}

namespace {

// Titles of the tables in file order, as the shipped file has them.
constexpr const char* MIRROR_NOTE = " (Black's view, real squares: rank mirror of White's)";
constexpr const char* tableTitles[SV_TABLE_COUNT] = {
    "White pawn",   "White knight", "White bishop", "White rook", "White queen",
    "White king",   "Black pawn",   "Black knight", "Black bishop", "Black rook",
    "Black queen",  "Black king",   "White passed pawn", "Black passed pawn"};
constexpr int SEPARATOR_WIDTH = 60;

}  // namespace

bool writeSquareValues(const char* path, const BoardTables* t) {
  std::FILE* f = std::fopen(path, "w");
  if (!f) return false;
  for (int table = 0; table < SV_TABLE_COUNT; ++table) {
    const bool black = std::strncmp(tableTitles[table], "Black", 5) == 0;
    // The first table's title shares the file's title line.
    if (table == 0)
      std::fprintf(f, "vorlak square values (centipawns), rows rank 8..1, files a..h.  %d",
                   table + 1);
    else
      std::fprintf(f, "%.*s\n%2d", SEPARATOR_WIDTH,
                   "------------------------------------------------------------", table + 1);
    std::fprintf(f, " %s%s\n", tableTitles[table], black ? MIRROR_NOTE : "");
    for (int rank = 7; rank >= 0; --rank) {
      for (int file = 0; file < 8; ++file) std::fprintf(f, "%5d", t->squareValues[table][rank * 8 + file]);
      std::fprintf(f, "   rank %d\n", rank + 1);
    }
  }
  std::fprintf(f, "end of square values\n");
  return std::fclose(f) == 0;
}

// ---------------------------------------------------------------------------------
// Board

Board::Board() {
  initTables(&tables);
  std::memset(tables.squareValues, 0, sizeof tables.squareValues);
  setStartPosition(&side, &position, &records[0], &tables);
  records[1] = records[0];
  // A quiescence search without clock, table or fast iterations.
  position.searchDepth = 1;
  position.depthLimit = MAX_PLY;
  position.fastIterationLimit = MAX_PLY;
  position.rootMoveBonus = 0;
  tc.timeBudget = tc.budgetCeiling = 1e12;
  tc.nextClockCheck = ~0ull >> 1;
  context = {&position, records, pv, &hash, &tables, &tc, {}, false};
}

bool Board::setFen(const std::string& fen) {
  const bool ok = setBoardFromFenLine(fen.c_str(), &side, &position, &records[0], &tables);
  records[1] = records[0];
  return ok;
}

std::string Board::fen() const {
  char text[FEN_SIZE];
  getFen(side, &position, &records[0], text);
  return text;
}

void Board::play(Move move) {
  makeMove(side, 1, move, &position, records, &tables);
  records[0] = records[1];
  side ^= 1;
  if (side == WHITE) ++position.movesCompleted;
  position.reversiblePlies = records[0].halfMoveClock == 0 ? 0 : position.reversiblePlies + 1;
}

namespace {

int kindOfLetter(char c) {
  switch (c) {
    case 'N': return WHITE_KNIGHT;
    case 'B': return WHITE_BISHOP;
    case 'R': return WHITE_ROOK;
    case 'Q': return WHITE_QUEEN;
    case 'K': return WHITE_KING;
    default: return 0;
  }
}
int kindOf(int code) { return code > 6 ? code - 6 : code; }

}  // namespace

Move Board::parseSan(const char* token) {
  // Strip check, mate and annotation signs and the promotion's '='.
  char t[16];
  int n = 0;
  for (const char* c = token; *c && n < 15; ++c)
    if (!std::strchr("+#!?=", *c)) t[n++] = *c == '0' ? 'O' : *c;
  t[n] = '\0';
  Move list[MAX_MOVES];
  const int count = generateLegalMoves(side, 0, list, &position, records, &tables);
  const int home = side == WHITE ? E1 : E8;
  if (!std::strcmp(t, "OO") || !std::strcmp(t, "O-O") || !std::strcmp(t, "OOO") ||
      !std::strcmp(t, "O-O-O")) {
    const int to = home + (std::strlen(t) > 3 ? -2 : 2);
    for (int i = 0; i < count; ++i)
      if (kindOf(movePiece(list[i])) == WHITE_KING && moveFrom(list[i]) == home &&
          moveTo(list[i]) == to)
        return list[i];
    return 0;
  }
  int kind = WHITE_PAWN, promotion = 0;
  int start = 0;
  if (kindOfLetter(t[0])) kind = kindOfLetter(t[start++]);
  if (n > 0 && kindOfLetter(t[n - 1]) && kind == WHITE_PAWN) promotion = kindOfLetter(t[--n]);
  if (n - start < 2) return 0;
  const char fileChar = t[n - 2], rankChar = t[n - 1];
  if (fileChar < 'a' || fileChar > 'h' || rankChar < '1' || rankChar > '8') return 0;
  const int to = (rankChar - '1') * 8 + (fileChar - 'a');
  int fromFile = -1, fromRank = -1;
  for (int i = start; i < n - 2; ++i) {
    if (t[i] >= 'a' && t[i] <= 'h') fromFile = t[i] - 'a';
    else if (t[i] >= '1' && t[i] <= '8') fromRank = t[i] - '1';
  }
  Move found = 0;
  for (int i = 0; i < count; ++i) {
    const Move m = list[i];
    if (moveTo(m) != to || kindOf(movePiece(m)) != kind) continue;
    if (fromFile >= 0 && fileOf(moveFrom(m)) != fromFile) continue;
    if (fromRank >= 0 && rankOf(moveFrom(m)) != fromRank) continue;
    const int p = movePromotion(m);
    if ((p ? kindOf(p) : 0) != promotion) continue;
    if (found) return 0;  // ambiguous
    found = m;
  }
  return found;
}

bool Board::inCheck() {
  records[1] = records[0];
  const int king = int(side == WHITE ? position.whiteKingSquare : position.blackKingSquare);
  return (attackInfoBy(side ^ 1, king, &position, &records[1], &tables) & ATTACKED) != 0;
}

int Board::staticScore(bool* drawn) {
  records[1] = records[0];
  int white = 0, black = 0, bonus = 0;
  const int material = materialBalance(&position, &tables, &white, &black, &bonus);
  *drawn = material == MATERIAL_DRAW;
  if (*drawn) return 0;
  return evaluate(side, 1, &position, records, &tables, material, white, black, -INFINITE_SCORE,
                  bonus);
}

bool Board::quiet() {
  if (inCheck()) return false;
  bool drawn = false;
  const int e = staticScore(&drawn);
  if (drawn) return false;
  const int standPat = side == WHITE ? e : -e;
  records[1] = records[0];
  position.modeFlags &= ~STOP_SEARCH;
  const int q = quiesce(&context, side, 1, -INFINITE_SCORE, INFINITE_SCORE, 1, PV_NODE);
  return q == standPat;
}

// ---------------------------------------------------------------------------------
// Position records

bool readRecords(const char* path, std::vector<Record>* out) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const size_t a = line.find('|');
    if (a == std::string::npos) continue;
    Record r{line.substr(0, a), 0, -1, -1};
    if (std::sscanf(line.c_str() + a + 1, "%u|%f|%f", &r.game, &r.result, &r.engine) < 2) continue;
    out->push_back(r);
  }
  return true;
}

bool writeRecords(const char* path, const std::vector<Record>& records) {
  std::FILE* f = std::fopen(path, "w");
  if (!f) return false;
  for (const Record& r : records)
    std::fprintf(f, "%s|%u|%g|%g\n", r.fen.c_str(), r.game, double(r.result), double(r.engine));
  return std::fclose(f) == 0;
}

// ---------------------------------------------------------------------------------
// PGN games

namespace {

struct PgnGame {
  std::string startFen;  // empty: the initial position
  float result = -1;
  std::vector<std::string> moves;
};

float resultOfText(const std::string& s) {
  if (s == "1-0") return 1;
  if (s == "0-1") return 0;
  if (s == "1/2-1/2") return 0.5f;
  return -1;
}

// Reads the next game; false at the end of the file. Comments, variations, NAGs and
// move numbers are read past.
bool nextGame(std::istream& in, PgnGame* game) {
  *game = PgnGame{};
  bool any = false, inMoves = false;
  int c;
  std::string word;
  int variation = 0;
  auto endWord = [&] {
    if (word.empty()) return;
    if (variation == 0 && word[0] != '$') {
      // Move numbers "12." and "12..." run into the move when written "12.e4".
      size_t i = 0;
      while (i < word.size() && (std::isdigit(static_cast<unsigned char>(word[i])))) ++i;
      if (i < word.size() && word[i] == '.') {
        while (i < word.size() && word[i] == '.') ++i;
        word.erase(0, i);
      }
      if (!word.empty() && resultOfText(word) < 0 && word != "*") game->moves.push_back(word);
    }
    word.clear();
  };
  while ((c = in.get()) != EOF) {
    if (c == '[' && word.empty() && variation == 0) {
      if (inMoves) {  // the next game's tags
        in.unget();
        return true;
      }
      std::string tag;
      std::getline(in, tag);
      any = true;
      const size_t q1 = tag.find('"'), q2 = tag.rfind('"');
      if (q1 == std::string::npos || q2 <= q1) continue;
      const std::string name = tag.substr(0, tag.find(' ')), value = tag.substr(q1 + 1, q2 - q1 - 1);
      if (name == "Result") game->result = resultOfText(value);
      if (name == "FEN") game->startFen = value;
      continue;
    }
    if (c == '{') {
      endWord();
      while ((c = in.get()) != EOF && c != '}') {}
      continue;
    }
    if (c == ';') {
      endWord();
      std::string rest;
      std::getline(in, rest);
      continue;
    }
    if (c == '(' || c == ')') {
      endWord();
      variation += c == '(' ? 1 : (variation > 0 ? -1 : 0);
      continue;
    }
    if (std::isspace(c)) {
      endWord();
      continue;
    }
    inMoves = any = true;
    word += char(c);
  }
  endWord();
  return any;
}

}  // namespace

int extractPositions(const char* pgnPath, const ExtractOptions& options, uint32_t* gameNumber,
                     Board* board, std::vector<Record>* out, int* brokenGames) {
  std::ifstream in(pgnPath);
  if (!in) return -1;
  PgnGame game;
  int kept = 0;
  std::vector<std::string> fens;
  while (nextGame(in, &game)) {
    const uint32_t number = (*gameNumber)++;
    if (game.result < 0 || game.moves.empty()) continue;
    if (game.startFen.empty() ? !board->setFen(
                                    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1")
                              : !board->setFen(game.startFen))
      continue;
    fens.clear();
    for (size_t ply = 0; ply < game.moves.size(); ++ply) {
      const Move m = board->parseSan(game.moves[ply].c_str());
      if (!m) {  // an unreadable move ends the game's positions here
        ++*brokenGames;
        break;
      }
      board->play(m);
      if (int(ply) + 1 >= options.firstPly) fens.push_back(board->fen());
    }
    std::mt19937_64 random(options.seed * 0x9E3779B97F4A7C15ull + number);
    std::shuffle(fens.begin(), fens.end(), random);
    int taken = 0;
    for (const std::string& fen : fens) {
      if (taken >= options.perGame) break;
      if (!board->setFen(fen) || !board->quiet()) continue;
      out->push_back({fen, number, game.result, -1});
      ++taken;
    }
    kept += taken;
  }
  return kept;
}

// ---------------------------------------------------------------------------------
// The linear model

bool linearise(Board* board, Sample* sample, std::vector<Feature>* features) {
  bool drawn = false;
  const int base = board->staticScore(&drawn);
  if (drawn) return false;
  sample->first = uint32_t(features->size());
  double tableSum = 0;  // the entries' share of base, in eighths
  for (Bitboard men = board->position.whitePieces | board->position.blackPieces; men;
       men &= men - 1) {
    const int sq = __builtin_ctzll(men);
    const int code = pieceAt(&board->position, sq);
    const bool white = code <= 6;
    const int kind = kindOf(code) - 1;
    const int param = white ? sq : mirrorRank(sq);
    const int tablesRead[2] = {white ? whiteTableOfKind[kind] : blackTableOfKind[kind],
                               white ? SV_WHITE_PASSED : SV_BLACK_PASSED};
    const int kinds[2] = {kind, KIND_COUNT - 1};
    for (int i = 0; i < (kind == 0 ? 2 : 1); ++i) {
      int32_t& entry = board->tables.squareValues[tablesRead[i]][sq];
      const int32_t saved = entry;
      entry = saved + COEFFICIENT_UNIT;
      const int up = board->staticScore(&drawn) - base;
      entry = saved - COEFFICIENT_UNIT;
      const int down = base - board->staticScore(&drawn);
      entry = saved;
      // The two sides differ only where a step flips the sign that decides whether the
      // endgame terms are quartered: take the mean there.
      const int eighths = up == down ? up : (up + down) / 2;
      if (eighths == 0) continue;
      features->push_back({uint16_t(kinds[i] * 64 + param), int16_t(eighths)});
      tableSum += double(eighths) * saved;
    }
  }
  sample->count = uint32_t(features->size()) - sample->first;
  sample->rest = float(base - tableSum / COEFFICIENT_UNIT);
  return true;
}

double linearScore(const SampleSet& set, const Sample& s, const double params[PARAM_COUNT]) {
  double score = s.rest;
  const Feature* f = set.features.data() + s.first;
  for (uint32_t i = 0; i < s.count; ++i)
    score += f[i].eighths * params[f[i].param] * (1.0 / COEFFICIENT_UNIT);
  return score;
}

double expectedResult(double score, double k) {
  return 1.0 / (1.0 + std::pow(10.0, -k * score / 400.0));
}

double meanError(const SampleSet& set, const double params[PARAM_COUNT], double k) {
  if (set.samples.empty()) return 0;
  double sum = 0;
  for (const Sample& s : set.samples) {
    const double e = s.target - expectedResult(linearScore(set, s, params), k);
    sum += e * e;
  }
  return sum / double(set.samples.size());
}

double errorAndGradient(const SampleSet& set, const double params[PARAM_COUNT], double k,
                        double gradient[PARAM_COUNT]) {
  std::fill(gradient, gradient + PARAM_COUNT, 0.0);
  if (set.samples.empty()) return 0;
  const double slope = k * std::log(10.0) / 400.0;
  double sum = 0;
  for (const Sample& s : set.samples) {
    const double p = expectedResult(linearScore(set, s, params), k);
    const double e = s.target - p;
    sum += e * e;
    // d(e^2)/d(score) = -2 e p (1 - p) slope
    const double d = -2.0 * e * p * (1.0 - p) * slope / COEFFICIENT_UNIT;
    const Feature* f = set.features.data() + s.first;
    for (uint32_t i = 0; i < s.count; ++i) gradient[f[i].param] += d * f[i].eighths;
  }
  const double n = double(set.samples.size());
  for (int i = 0; i < PARAM_COUNT; ++i) gradient[i] /= n;
  return sum / n;
}

double fitScale(const SampleSet& set, const double params[PARAM_COUNT], double lo, double hi) {
  const double golden = (std::sqrt(5.0) - 1) / 2;
  double a = lo, b = hi;
  double c = b - golden * (b - a), d = a + golden * (b - a);
  double ec = meanError(set, params, c), ed = meanError(set, params, d);
  while (b - a > 1e-4) {
    if (ec < ed) {
      b = d, d = c, ed = ec;
      c = b - golden * (b - a);
      ec = meanError(set, params, c);
    } else {
      a = c, c = d, ec = ed;
      d = a + golden * (b - a);
      ed = meanError(set, params, d);
    }
  }
  return (a + b) / 2;
}

void countReads(const SampleSet& set, int counts[PARAM_COUNT]) {
  std::fill(counts, counts + PARAM_COUNT, 0);
  for (const Sample& s : set.samples)
    for (uint32_t i = 0; i < s.count; ++i) ++counts[set.features[s.first + i].param];
}

void fit(const SampleSet& set, double params[PARAM_COUNT], double k, const FitOptions& o) {
  int counts[PARAM_COUNT];
  countReads(set, counts);
  std::vector<double> start(params, params + PARAM_COUNT), m(PARAM_COUNT, 0), v(PARAM_COUNT, 0),
      gradient(PARAM_COUNT);
  constexpr double beta1 = 0.9, beta2 = 0.999, epsilon = 1e-12;
  double decay1 = 1, decay2 = 1;
  for (int it = 0; it < o.iterations; ++it) {
    errorAndGradient(set, params, k, gradient.data());
    // The step shrinks linearly to a tenth so the last iterations settle.
    const double rate = o.rate * (1.0 - 0.9 * it / o.iterations);
    decay1 *= beta1;
    decay2 *= beta2;
    for (int i = 0; i < PARAM_COUNT; ++i) {
      if (counts[i] < o.minimumCount) continue;
      const double g = gradient[i] + 2 * o.prior * (params[i] - start[i]);
      m[i] = beta1 * m[i] + (1 - beta1) * g;
      v[i] = beta2 * v[i] + (1 - beta2) * g * g;
      const double step = rate * (m[i] / (1 - decay1)) / (std::sqrt(v[i] / (1 - decay2)) + epsilon);
      params[i] = std::clamp(params[i] - step, -o.limit, o.limit);
    }
    if (o.keepMeans) keepMeans(counts, start.data(), params, o.minimumCount);
  }
}

void keepMeans(const int counts[PARAM_COUNT], const double start[PARAM_COUNT],
               double params[PARAM_COUNT], int minimumCount) {
  for (int k = 0; k < KIND_COUNT - 1; ++k) {
    double shift = 0, weight = 0;
    for (int i = k * 64; i < (k + 1) * 64; ++i)
      if (counts[i] >= minimumCount) {
        shift += counts[i] * (params[i] - start[i]);
        weight += counts[i];
      }
    if (weight == 0) continue;
    shift /= weight;
    for (int i = k * 64; i < (k + 1) * 64; ++i)
      if (counts[i] >= minimumCount) params[i] -= shift;
  }
}

}  // namespace tune
