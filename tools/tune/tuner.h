// The square-value tuner: quiet positions from games, labelled with the game result or an
// oracle's score, and the fourteen square-value tables fitted to them through a logistic
// curve (Texel's method).
//
// The square values enter the static score linearly (a White value is added once per man
// on its square, a Black value subtracted, a defended passed pawn counts its value and half
// of it again, the endgame terms are sometimes quartered), so each position is reduced once
// to the coefficients of the table entries it reads plus the rest of its score. Black's
// tables are kept the rank mirror of White's: one parameter serves both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/types.h"
#include "search/search.h"

namespace tune {

// The seven kinds of table tuned, each White table with its Black mirror.
constexpr int KIND_COUNT = 7;  // pawn, knight, bishop, rook, queen, king, passed pawn
constexpr int PARAM_COUNT = KIND_COUNT * 64;
constexpr int whiteTableOfKind[KIND_COUNT] = {SV_WHITE_PAWN,  SV_WHITE_KNIGHT, SV_WHITE_BISHOP,
                                              SV_WHITE_ROOK,  SV_WHITE_QUEEN,  SV_WHITE_KING,
                                              SV_WHITE_PASSED};
constexpr int blackTableOfKind[KIND_COUNT] = {SV_BLACK_PAWN,  SV_BLACK_KNIGHT, SV_BLACK_BISHOP,
                                              SV_BLACK_ROOK,  SV_BLACK_QUEEN,  SV_BLACK_KING,
                                              SV_BLACK_PASSED};
constexpr int mirrorRank(int sq) { return sq ^ 56; }

// Coefficients are held in eighths of a centipawn: a quartered endgame term of a defended
// passed pawn reads its value 1.5 / 4 = 3/8 times.
constexpr int COEFFICIENT_UNIT = 8;

// Parameter vector <-> tables. The parameter of kind k at square s is White's value there;
// Black's table holds it at the rank-mirrored square.
void paramsFromTables(const BoardTables* tables, double params[PARAM_COUNT]);
void tablesFromParams(const double params[PARAM_COUNT], BoardTables* tables);  // rounds
bool blackMirrorsWhite(const BoardTables* tables);

// Writes the fourteen tables in the layout of data/sqvalue; false when the file cannot be
// written.
bool writeSquareValues(const char* path, const BoardTables* tables);

// One engine board with what a quiescence search needs around it.
struct Board {
  Position position{};
  UndoRecord records[MAX_PLY]{};
  BoardTables tables{};
  PvRow pv[MAX_PLY]{};
  TimeControl tc{};
  HashTables hash{};
  SearchContext context{};
  int side = WHITE;

  Board();                                  // start position, square values all 0
  bool setFen(const std::string& fen);      // false when refused
  std::string fen() const;
  void play(Move move);                     // a game move, as the driver plays it
  Move parseSan(const char* token);         // the legal move the token names, or 0
  bool inCheck();
  // Static score, White's view, with the full window (as a quiescence stand-pat sees it);
  // *drawn is set when the material can win for neither side (score 0 then).
  int staticScore(bool* drawn);
  // Is the position quiet: not in check, not a material draw, and the quiescence search
  // from here returns the stand-pat score?
  bool quiet();
};

// A labelled position. result is the game's result for White (1, 0.5, 0) or -1 when
// unknown; engine is the oracle's expected result for White or -1.
struct Record {
  std::string fen;
  uint32_t game;
  float result;
  float engine;
};

// "FEN|game|result|engine" lines.
bool readRecords(const char* path, std::vector<Record>* records);
bool writeRecords(const char* path, const std::vector<Record>& records);

// Positions from the games of a PGN file: every game's plies from firstPly on are shuffled
// and up to perGame quiet ones kept. game numbers continue from *gameNumber. Games with a
// move that cannot be read keep the positions before it and are counted in *brokenGames.
struct ExtractOptions {
  int firstPly = 16;
  int perGame = 8;
  uint64_t seed = 1;
};
int extractPositions(const char* pgnPath, const ExtractOptions& options, uint32_t* gameNumber,
                     Board* board, std::vector<Record>* out, int* brokenGames);

// One table entry read by a position: parameter index and coefficient in eighths.
struct Feature {
  uint16_t param;
  int16_t eighths;
};

// A position reduced to its linear score: rest + sum of coefficient * parameter.
struct Sample {
  float target;  // expected result for White
  float rest;    // the score without the table entries
  uint32_t first;
  uint32_t count;  // features[first .. first + count)
};

struct SampleSet {
  std::vector<Sample> samples;
  std::vector<Feature> features;
};

// The entries a position reads and their coefficients, found by moving each entry of the
// men's squares up and down by one coefficient unit on board's tables (which it leaves as
// it found them). Returns false for a material draw (no sample). board's position must be
// set.
bool linearise(Board* board, Sample* sample, std::vector<Feature>* features);

double linearScore(const SampleSet& set, const Sample& s, const double params[PARAM_COUNT]);

// Expected result for White of a White-view score: 1 / (1 + 10^(-k * score / 400)).
double expectedResult(double score, double k);

// Mean squared error of the set under params.
double meanError(const SampleSet& set, const double params[PARAM_COUNT], double k);
// The same and its gradient with respect to every parameter (gradient overwritten).
double errorAndGradient(const SampleSet& set, const double params[PARAM_COUNT], double k,
                        double gradient[PARAM_COUNT]);
// The scale k minimising meanError (golden-section search on [lo, hi]).
double fitScale(const SampleSet& set, const double params[PARAM_COUNT], double lo, double hi);

struct FitOptions {
  int iterations = 400;
  double rate = 1.0;            // Adam step, centipawns
  double prior = 0.0;           // L2 pull toward the start values, per squared centipawn
  int minimumCount = 300;       // entries read by fewer training positions stay fixed
  double limit = 400;           // |value| bound
  bool keepMeans = true;        // see keepMeans
};
// Moves each piece table (not the passed-pawn table) by a constant so that its mean over
// the positions, each entry weighted by how often it is read, stays at the start value: a
// table's level is a change of the piece's material value, which the tables must not make
// (the material-only scores of the search and the exchange values assume the fixed ones).
void keepMeans(const int counts[PARAM_COUNT], const double start[PARAM_COUNT],
               double params[PARAM_COUNT], int minimumCount);
// Gradient descent (Adam) from params; frozen[i] entries keep their values.
void fit(const SampleSet& set, double params[PARAM_COUNT], double k, const FitOptions& options);
// How many samples read each parameter.
void countReads(const SampleSet& set, int counts[PARAM_COUNT]);

}  // namespace tune
