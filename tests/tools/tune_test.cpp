// The square-value tuner: the linear model against evaluate, the file writer against the
// engine's reader, the Black mirror, the error function and the position extraction.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "eval/sqvalue.h"
#include "tune/tuner.h"

using namespace tune;

namespace {

namespace fs = std::filesystem;

const std::string shippedFile = std::string(VORLAK_SOURCE_DIR) + "/data/sqvalue";

struct TempDir {
  const fs::path path = fs::temp_directory_path() / ("vorlak_tune_" + std::to_string(getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

// Middlegames, endgames with passed, defended and candidate pawns, quartered endgames
// (drawish rook ending, queen against the side ahead), pawn endings.
const char* const positions[] = {
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 9",
    "r2q1rk1/1b1nbppp/pp1ppn2/8/2PNP3/1PN1B3/P3BPPP/R2Q1RK1 b - - 3 12",
    "2r3k1/pp3pPp/3bp3/1P1pn3/3N2P1/P7/4KP2/B6R w - - 3 31",
    "8/5pk1/6p1/1P5p/P4P2/6P1/5K1P/8 w - - 0 40",
    "8/8/4k3/3p4/3P1K2/8/8/8 b - - 0 50",
    "6k1/5ppp/8/1PP5/8/8/5PPP/6K1 w - - 0 30",
    "8/5k2/8/1P6/8/8/r7/5KR1 w - - 0 45",          // rook and pawn against rook: drawish
    "3q2k1/5ppp/8/1P6/8/6P1/5PKP/3R4 w - - 0 33",  // Black's queen against White's lead
    "8/1p3pk1/p1n3p1/P2N4/1P3P2/6P1/6KP/8 b - - 0 37",
    "r4rk1/1pp2ppp/p1n5/3Pp3/4P1b1/2N2N2/PP3PPP/R3K2R w KQ - 0 14",
};

std::string mirrorFen(const std::string& fen) {
  std::vector<std::string> f;
  std::string word;
  for (char c : fen + " ") {
    if (c == ' ') {
      if (!word.empty()) f.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  std::vector<std::string> ranks;
  std::string rank;
  for (char c : f[0] + "/") {
    if (c == '/') {
      ranks.insert(ranks.begin(), rank);
      rank.clear();
    } else {
      rank += char(std::isupper(c) ? std::tolower(c) : std::toupper(c));
    }
  }
  std::string placement;
  for (size_t i = 0; i < ranks.size(); ++i) placement += (i ? "/" : "") + ranks[i];
  std::string castling;
  for (char c : f[2]) castling += c == '-' ? '-' : char(std::isupper(c) ? std::tolower(c) : std::toupper(c));
  return placement + (f[1] == "w" ? " b " : " w ") + castling + " - 0 1";
}

// Random tables with Black mirrored: the shipped values moved by up to +-spread.
void randomParams(double params[PARAM_COUNT], const BoardTables* t, int spread, unsigned seed) {
  std::mt19937 random(seed);
  paramsFromTables(t, params);
  for (int i = 0; i < PARAM_COUNT; ++i) params[i] += int(random() % (2 * spread + 1)) - spread;
}

TEST(TuneLinearModel, EqualsEvaluateAtTheTablesItWasTakenFromAndNearThem) {
  Board board;
  ASSERT_TRUE(loadSquareValuesFrom(shippedFile.c_str(), &board.tables));
  double shipped[PARAM_COUNT];
  paramsFromTables(&board.tables, shipped);
  SampleSet set;
  std::vector<int> scores;
  for (const char* fen : positions) {
    ASSERT_TRUE(board.setFen(fen)) << fen;
    Sample s{};
    ASSERT_TRUE(linearise(&board, &s, &set.features)) << fen;
    set.samples.push_back(s);
    bool drawn = true;
    scores.push_back(board.staticScore(&drawn));
  }
  for (size_t i = 0; i < set.samples.size(); ++i)
    EXPECT_NEAR(linearScore(set, set.samples[i], shipped), scores[i], 1e-3) << positions[i];

  // Other tables: the model follows evaluate up to the truncations of the halved passed-pawn
  // value and the quartered endgame sum.
  for (unsigned seed = 1; seed <= 5; ++seed) {
    double params[PARAM_COUNT];
    randomParams(params, &board.tables, 6, seed);
    Board other;
    tablesFromParams(params, &other.tables);
    for (size_t i = 0; i < set.samples.size(); ++i) {
      ASSERT_TRUE(other.setFen(positions[i]));
      bool drawn = true;
      EXPECT_NEAR(linearScore(set, set.samples[i], params), other.staticScore(&drawn), 1.0)
          << positions[i] << " seed " << seed;
    }
  }
}

TEST(TuneLinearModel, CoefficientsFollowTheColourThePhaseAndTheQuartering) {
  Board board;
  ASSERT_TRUE(loadSquareValuesFrom(shippedFile.c_str(), &board.tables));
  auto coefficient = [&](const char* fen, int kind, int sq) {
    EXPECT_TRUE(board.setFen(fen));
    SampleSet set;
    Sample s{};
    EXPECT_TRUE(linearise(&board, &s, &set.features));
    int sum = 0;
    for (uint32_t i = 0; i < s.count; ++i)
      if (set.features[s.first + i].param == kind * 64 + sq) sum += set.features[s.first + i].eighths;
    return sum;
  };
  const int knight = 1, bishop = 2, passed = 6;
  // Middlegame: White's knight on f3 counts its value, Black's on f6 subtracts the value
  // White's table holds at f3.
  EXPECT_EQ(coefficient("r1bq1rk1/pp2bppp/2n1p3/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 9",
                        knight, F3),
            COEFFICIENT_UNIT);
  EXPECT_EQ(coefficient(positions[0], knight, F3), 0);  // both: the values cancel
  EXPECT_EQ(coefficient("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1P3/PP3PPP/R2QKB1R w KQ - 0 9",
                        knight, F3),
            -COEFFICIENT_UNIT);
  // Endgame regime: no bishop square values.
  EXPECT_EQ(coefficient("6k1/5ppp/8/1b6/8/5B2/5PPP/6K1 w - - 0 30", bishop, F3), 0);
  // Lone passed pawn of a rook ending with a pawn more: quartered (drawish).
  EXPECT_EQ(coefficient(positions[6], passed, B5), COEFFICIENT_UNIT / 4);
  // Defended passed pawn in a pawn ending: its value and half of it.
  EXPECT_EQ(coefficient("6k1/8/8/2P5/1P6/8/8/6K1 w - - 0 1", passed, C5),
            COEFFICIENT_UNIT * 3 / 2);
}

TEST(TuneTables, MirrorHoldsAndTheScoreOfAMirroredPositionIsNegated) {
  Board board;
  ASSERT_TRUE(loadSquareValuesFrom(shippedFile.c_str(), &board.tables));
  EXPECT_TRUE(blackMirrorsWhite(&board.tables));
  double params[PARAM_COUNT];
  randomParams(params, &board.tables, 40, 7);
  tablesFromParams(params, &board.tables);
  EXPECT_TRUE(blackMirrorsWhite(&board.tables));
  for (int k = 0; k < KIND_COUNT; ++k)
    EXPECT_EQ(board.tables.squareValues[blackTableOfKind[k]][E7],
              std::lround(params[k * 64 + E2]));
  for (const char* fen : positions) {
    ASSERT_TRUE(board.setFen(fen));
    bool drawn = false;
    const int score = board.staticScore(&drawn);
    ASSERT_TRUE(board.setFen(mirrorFen(fen))) << mirrorFen(fen);
    EXPECT_EQ(board.staticScore(&drawn), -score) << fen;
  }
  board.tables.squareValues[SV_BLACK_ROOK][A8] += 1;
  EXPECT_FALSE(blackMirrorsWhite(&board.tables));
}

TEST(TuneTables, WrittenFileReadsBackThroughTheEngineReader) {
  TempDir dir;
  Board board;
  ASSERT_TRUE(loadSquareValuesFrom(shippedFile.c_str(), &board.tables));
  double params[PARAM_COUNT];
  randomParams(params, &board.tables, 150, 3);  // three-digit and negative values
  params[0] = -399;
  tablesFromParams(params, &board.tables);
  const std::string path = dir.file("sqvalue");
  ASSERT_TRUE(writeSquareValues(path.c_str(), &board.tables));
  Board reread;
  ASSERT_TRUE(loadSquareValuesFrom(path.c_str(), &reread.tables));
  EXPECT_EQ(std::memcmp(reread.tables.squareValues, board.tables.squareValues,
                        sizeof board.tables.squareValues),
            0);
  // The shipped layout: 139 lines of content and the closing line, none longer than the
  // 80-character line buffer readers of the format may use.
  std::ifstream in(path);
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    EXPECT_LT(line.size(), 80u) << line;
  }
  EXPECT_EQ(lines, 140);
  // The shipped file itself comes back unchanged through read and write.
  Board shipped;
  ASSERT_TRUE(loadSquareValuesFrom(shippedFile.c_str(), &shipped.tables));
  ASSERT_TRUE(writeSquareValues(path.c_str(), &shipped.tables));
  std::ifstream a(shippedFile), b(path);
  std::string x, y;
  while (std::getline(a, x) && std::getline(b, y)) EXPECT_EQ(x, y);
}

// Three samples over two parameters, by hand.
SampleSet tinySet() {
  SampleSet set;
  set.features = {{0, 8}, {1, -8}, {0, 12}, {1, 2}};
  set.samples = {{1.0f, 50, 0, 2}, {0.5f, -20, 2, 1}, {0.0f, -100, 3, 1}};
  return set;
}

TEST(TuneError, MeanErrorAndGradientOnATinySet) {
  const SampleSet set = tinySet();
  double params[PARAM_COUNT] = {};
  params[0] = 30;
  params[1] = 10;
  // Scores: 50 + 30 - 10 = 70; -20 + 1.5 * 30 = 25; -100 + 0.25 * 10 = -97.5.
  EXPECT_DOUBLE_EQ(linearScore(set, set.samples[0], params), 70);
  EXPECT_DOUBLE_EQ(linearScore(set, set.samples[1], params), 25);
  EXPECT_DOUBLE_EQ(linearScore(set, set.samples[2], params), -97.5);
  const double k = 1.2;
  const double expected = (std::pow(1 - expectedResult(70, k), 2) +
                           std::pow(0.5 - expectedResult(25, k), 2) +
                           std::pow(expectedResult(-97.5, k), 2)) / 3;
  EXPECT_NEAR(meanError(set, params, k), expected, 1e-12);
  EXPECT_DOUBLE_EQ(expectedResult(0, k), 0.5);
  EXPECT_NEAR(expectedResult(400, 1.0), 10.0 / 11.0, 1e-12);

  double gradient[PARAM_COUNT];
  EXPECT_NEAR(errorAndGradient(set, params, k, gradient), expected, 1e-12);
  for (int i = 0; i < 3; ++i) {
    const double h = 1e-3;
    double up[PARAM_COUNT], down[PARAM_COUNT];
    std::copy(params, params + PARAM_COUNT, up);
    std::copy(params, params + PARAM_COUNT, down);
    up[i] += h;
    down[i] -= h;
    const double numeric = (meanError(set, up, k) - meanError(set, down, k)) / (2 * h);
    EXPECT_NEAR(gradient[i], numeric, 1e-9) << i;
  }
  EXPECT_EQ(gradient[2], 0);

  int counts[PARAM_COUNT];
  countReads(set, counts);
  EXPECT_EQ(counts[0], 2);
  EXPECT_EQ(counts[1], 2);
  EXPECT_EQ(counts[2], 0);
}

TEST(TuneError, ScaleAndDescentRecoverAKnownCurve) {
  // Targets drawn from the curve with K = 1.3 over scores rest + 2 * p0 with p0 = 40.
  SampleSet set;
  for (int i = 0; i < 40; ++i) {
    set.features.push_back({0, int16_t(i % 2 ? 16 : -16)});
    const float rest = float(i * 10 - 200);
    const double score = rest + (i % 2 ? 80 : -80);
    set.samples.push_back({float(expectedResult(score, 1.3)), rest, uint32_t(i), 1});
  }
  double params[PARAM_COUNT] = {};
  params[0] = 40;
  EXPECT_NEAR(fitScale(set, params, 0.05, 5.0), 1.3, 1e-3);
  params[0] = 0;
  FitOptions o;
  o.keepMeans = false;  // one entry: its mean is its value
  o.iterations = 600;
  o.rate = 2;
  o.minimumCount = 1;
  fit(set, params, 1.3, o);
  EXPECT_NEAR(params[0], 40, 0.5);
  // Entries read too rarely stay where they are.
  params[0] = 7;
  o.minimumCount = 41;
  fit(set, params, 1.3, o);
  EXPECT_EQ(params[0], 7);
}

TEST(TuneError, KeepMeansHoldsTheReadWeightedLevelOfPieceTablesOnly) {
  int counts[PARAM_COUNT] = {};
  double start[PARAM_COUNT] = {}, params[PARAM_COUNT] = {};
  counts[0] = 3, counts[1] = 1, counts[2] = 0;  // pawn table; entry 2 never read
  params[0] = 4, params[2] = 9;
  const int passed = (KIND_COUNT - 1) * 64;
  counts[passed] = 5, params[passed] = 20;
  keepMeans(counts, start, params, 1);
  EXPECT_DOUBLE_EQ(params[0], 1);  // shifted by (3 * 4 + 1 * 0) / 4
  EXPECT_DOUBLE_EQ(params[1], -3);
  EXPECT_DOUBLE_EQ(params[2], 9);
  EXPECT_DOUBLE_EQ(params[passed], 20);  // passed-pawn values are bonuses, not levels
}

TEST(TuneExtract, QuietLabelledPositionsFromPgnGames) {
  TempDir dir;
  const std::string pgn = dir.file("games.pgn");
  std::ofstream(pgn) << "[Event \"x\"]\n[Result \"1/2-1/2\"]\n\n"
                        "1. e4 {a comment} e5 2. Nf3 (2. f4 exf4) Nc6 3. Bb5 $1 a6 4. Ba4 Nf6 "
                        "5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O 9. h3 Nb8 10. d4 Nbd7 "
                        "11. Nbd2 Bb7 12. Bc2 Re8 13. Nf1 Bf8 14. Ng3 g6 1/2-1/2\n\n"
                        "[Event \"y\"]\n[Result \"0-1\"]\n\n1.f3 e5 2.g4 Qh4# 0-1\n\n"
                        "[Event \"z\"]\n[Result \"1-0\"]\n[SetUp \"1\"]\n"
                        "[FEN \"4k3/1P6/8/8/8/8/8/4K2R w K - 0 1\"]\n\n"
                        "1. b8=Q+ Kd7 2. O-O Ke6 3. Qb3+ Ke7 4. Rf2 Kd6 5. Qd3+ Kc6 6. Rc2+ Kb6 "
                        "7. Qd5 Ka6 8. Rc7 Kb6 1-0\n";
  ExtractOptions options;
  options.firstPly = 4;
  options.perGame = 100;
  uint32_t game = 10;
  int broken = 0;
  Board board;
  std::vector<Record> records;
  const int kept = extractPositions(pgn.c_str(), options, &game, &board, &records, &broken);
  ASSERT_EQ(kept, int(records.size()));
  EXPECT_EQ(game, 13u);
  EXPECT_EQ(broken, 0);
  int drawn = 0, won = 0, late = 0;
  for (const Record& r : records) {
    ASSERT_TRUE(board.setFen(r.fen));
    EXPECT_FALSE(board.inCheck()) << r.fen;
    EXPECT_TRUE(board.quiet()) << r.fen;
    EXPECT_EQ(r.engine, -1);
    drawn += r.game == 10 && r.result == 0.5f;
    late += r.game == 11;  // the short game ends before ply 4 except for the mate
    won += r.game == 12 && r.result == 1.0f;
  }
  EXPECT_GT(drawn, 10);  // the 28 plies minus the opening, the checks and the captures
  EXPECT_EQ(late, 0);
  EXPECT_GT(won, 3);

  // Records go through their file unchanged.
  const std::string path = dir.file("positions");
  ASSERT_TRUE(writeRecords(path.c_str(), records));
  std::vector<Record> back;
  ASSERT_TRUE(readRecords(path.c_str(), &back));
  ASSERT_EQ(back.size(), records.size());
  EXPECT_EQ(back[0].fen, records[0].fen);
  EXPECT_EQ(back.back().game, records.back().game);
  EXPECT_EQ(back.back().result, records.back().result);
}

TEST(TuneExtract, SanNamesTheLegalMove) {
  Board board;
  ASSERT_TRUE(board.setFen("r3k2r/1P6/8/3N1N2/8/8/8/R3K2R w KQkq - 0 1"));
  auto text = [&](const char* san) {
    const Move m = board.parseSan(san);
    if (!m) return std::string("none");
    std::string s;
    s += char('a' + fileOf(moveFrom(m)));
    s += char('1' + rankOf(moveFrom(m)));
    s += char('a' + fileOf(moveTo(m)));
    s += char('1' + rankOf(moveTo(m)));
    if (movePromotion(m)) s += "?pnbrqk"[movePromotion(m) > 6 ? movePromotion(m) - 6 : movePromotion(m)];
    return s;
  };
  EXPECT_EQ(text("O-O"), "e1g1");
  EXPECT_EQ(text("0-0-0"), "e1c1");
  EXPECT_EQ(text("Nde3"), "d5e3");
  EXPECT_EQ(text("Nfe3"), "f5e3");
  EXPECT_EQ(text("Ne3"), "none");  // ambiguous
  EXPECT_EQ(text("bxa8=N+"), "b7a8n");
  EXPECT_EQ(text("b8Q"), "b7b8q");
  EXPECT_EQ(text("Rxa8+!"), "a1a8");
  EXPECT_EQ(text("Kf3"), "none");
}

}  // namespace
