// tune: fits the square-value tables to labelled quiet positions.
//
//   tune extract [-f FIRSTPLY] [-n PERGAME] [-s SEED] OUT PGN...
//   tune fit [options] POSITIONS...
//   tune play [options] OUT OPENINGS...
//
// See usage() for the options and bench/README.md for the command lines that made
// bench/tune/sqvalue.tuned.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "eval/sqvalue.h"
#include "selfplay.h"
#include "tuner.h"

using namespace tune;

namespace {

void usage() {
  std::printf(
      "usage: tune extract [-f FIRSTPLY] [-n PERGAME] [-s SEED] OUT PGN...\n"
      "         quiet positions (not in check, quiescence = static score) from ply FIRSTPLY\n"
      "         (16) on, at most PERGAME (8) per game, labelled with the game result:\n"
      "         lines FEN|game|result|engine (engine -1: not yet labelled).\n"
      "       tune fit [-i SQVALUE] [-o OUT] [-l LAMBDA] [-H PERCENT] [-r ROUNDS] [-n ITER]\n"
      "                [-a RATE] [-p PRIOR] [-m MINCOUNT] [-M 0|1] POSITIONS...\n"
      "         fits the tables of SQVALUE (data/sqvalue) and writes OUT\n"
      "         (bench/tune/sqvalue.tuned). Target = LAMBDA * result + (1 - LAMBDA) * engine\n"
      "         (LAMBDA 0.5; a missing label gives the other full weight). PERCENT (10) of\n"
      "         the games are held out. ROUNDS (3) of ITER (300) Adam steps of RATE (1)\n"
      "         centipawns, the positions re-linearised between rounds; PRIOR (0) pulls\n"
      "         toward the start values; entries read by fewer than MINCOUNT (300) training\n"
      "         positions stay as they are. -M 1 (the default) keeps each piece table's mean\n"
      "         over the positions where it was: the fixed material values stay in charge.\n");
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int extract(int argc, char** argv) {
  ExtractOptions options;
  int i = 0;
  for (; i < argc && argv[i][0] == '-' && i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "-f")) options.firstPly = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "-n")) options.perGame = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "-s")) options.seed = std::strtoull(argv[i + 1], nullptr, 10);
    else return usage(), 2;
  }
  if (argc - i < 2) return usage(), 2;
  const char* out = argv[i++];
  Board board;
  std::vector<Record> records;
  uint32_t game = 0;
  for (; i < argc; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const uint32_t firstGame = game;
    int broken = 0;
    const int n = extractPositions(argv[i], options, &game, &board, &records, &broken);
    if (n < 0) {
      std::fprintf(stderr, "tune: cannot read %s\n", argv[i]);
      return 1;
    }
    std::printf("%s: %u games (%d with an unreadable move), %d positions (%.1f s)\n", argv[i],
                game - firstGame, broken, n, seconds(start));
  }
  if (!writeRecords(out, records)) {
    std::fprintf(stderr, "tune: cannot write %s\n", out);
    return 1;
  }
  std::printf("%zu positions written to %s\n", records.size(), out);
  return 0;
}

struct FitSettings {
  const char* input = "data/sqvalue";
  const char* output = "bench/tune/sqvalue.tuned";
  double lambda = 0.5;
  int holdoutPercent = 10;
  int rounds = 3;
  FitOptions options{300, 1.0, 0.0, 300, 400, true};
};

bool heldOut(uint32_t game, int percent) {
  return (game * 2654435761u >> 8) % 100 < uint32_t(percent);
}

// Builds the two sets from the records with board's tables; returns the positions kept
// (material draws and unlabelled positions are dropped).
void buildSets(const std::vector<Record>& records, const std::vector<float>& targets,
               const FitSettings& s, Board* board, SampleSet* train, SampleSet* held) {
  *train = SampleSet{};
  *held = SampleSet{};
  for (size_t i = 0; i < records.size(); ++i) {
    if (targets[i] < 0 || !board->setFen(records[i].fen)) continue;
    SampleSet* set = heldOut(records[i].game, s.holdoutPercent) ? held : train;
    Sample sample{};
    if (!linearise(board, &sample, &set->features)) continue;
    sample.target = targets[i];
    set->samples.push_back(sample);
  }
}

// Error of the real evaluation (not the linear model) over one side of the split.
double exactError(const std::vector<Record>& records, const std::vector<float>& targets,
                  const FitSettings& s, bool held, double k, Board* board) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (targets[i] < 0 || heldOut(records[i].game, s.holdoutPercent) != held ||
        !board->setFen(records[i].fen))
      continue;
    bool drawn = false;
    const int score = board->staticScore(&drawn);
    if (drawn) continue;
    const double e = targets[i] - expectedResult(score, k);
    sum += e * e;
    ++n;
  }
  return n ? sum / double(n) : 0;
}

// Largest and mean difference between the linear score and evaluate under params.
void compareWithEvaluate(const std::vector<Record>& records, const std::vector<float>& targets,
                         const FitSettings& s, const SampleSet& held, const double* params,
                         Board* board) {
  size_t at = 0;
  double worst = 0, total = 0;
  int exact = 0;
  for (size_t i = 0; i < records.size() && at < held.samples.size(); ++i) {
    if (targets[i] < 0 || !heldOut(records[i].game, s.holdoutPercent) ||
        !board->setFen(records[i].fen))
      continue;
    bool drawn = false;
    const int score = board->staticScore(&drawn);
    if (drawn) continue;
    const double d = std::fabs(linearScore(held, held.samples[at++], params) - score);
    worst = std::max(worst, d);
    total += d;
    exact += d < 0.5;
  }
  std::printf("  linear model vs evaluate on %zu held-out positions: %d within 0.5, mean |diff| "
              "%.3f, max %.1f\n",
              at, exact, at ? total / double(at) : 0.0, worst);
}

int fitCommand(int argc, char** argv) {
  FitSettings s;
  int i = 0;
  for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
    const char* v = argv[i + 1];
    if (!std::strcmp(argv[i], "-i")) s.input = v;
    else if (!std::strcmp(argv[i], "-o")) s.output = v;
    else if (!std::strcmp(argv[i], "-l")) s.lambda = std::atof(v);
    else if (!std::strcmp(argv[i], "-H")) s.holdoutPercent = std::atoi(v);
    else if (!std::strcmp(argv[i], "-r")) s.rounds = std::atoi(v);
    else if (!std::strcmp(argv[i], "-n")) s.options.iterations = std::atoi(v);
    else if (!std::strcmp(argv[i], "-a")) s.options.rate = std::atof(v);
    else if (!std::strcmp(argv[i], "-p")) s.options.prior = std::atof(v);
    else if (!std::strcmp(argv[i], "-m")) s.options.minimumCount = std::atoi(v);
    else if (!std::strcmp(argv[i], "-M")) s.options.keepMeans = std::atoi(v) != 0;
    else return usage(), 2;
  }
  if (i >= argc) return usage(), 2;
  const auto start = std::chrono::steady_clock::now();
  std::vector<Record> records;
  for (; i < argc; ++i)
    if (!readRecords(argv[i], &records)) {
      std::fprintf(stderr, "tune: cannot read %s\n", argv[i]);
      return 1;
    }
  std::vector<float> targets(records.size());
  size_t labelled = 0, withEngine = 0, withResult = 0;
  for (size_t j = 0; j < records.size(); ++j) {
    const Record& r = records[j];
    const bool hasResult = r.result >= 0, hasEngine = r.engine >= 0;
    withEngine += hasEngine;
    withResult += hasResult;
    if (hasResult && hasEngine)
      targets[j] = float(s.lambda * r.result + (1 - s.lambda) * r.engine);
    else if (hasResult && s.lambda > 0)
      targets[j] = r.result;
    else if (hasEngine && s.lambda < 1)
      targets[j] = r.engine;
    else
      targets[j] = -1;
    labelled += targets[j] >= 0;
  }
  std::printf("%zu positions, %zu with a game result, %zu with an engine score, %zu used "
              "(lambda %.2f)\n",
              records.size(), withResult, withEngine, labelled, s.lambda);

  Board board;
  if (!loadSquareValuesFrom(s.input, &board.tables)) {
    std::fprintf(stderr, "tune: cannot read %s\n", s.input);
    return 1;
  }
  if (!blackMirrorsWhite(&board.tables))
    std::printf("warning: Black's tables in %s are not the mirror of White's; White's are used\n",
                s.input);
  double params[PARAM_COUNT];
  paramsFromTables(&board.tables, params);
  tablesFromParams(params, &board.tables);

  SampleSet train, held;
  buildSets(records, targets, s, &board, &train, &held);
  std::printf("training %zu positions (%zu entries read), held out %zu; linearised in %.1f s\n",
              train.samples.size(), train.features.size(), held.samples.size(), seconds(start));
  const double k = fitScale(train, params, 0.05, 5.0);
  const double trainBefore = meanError(train, params, k), heldBefore = meanError(held, params, k);
  std::printf("K = %.4f\nbefore: training error %.6f, held-out error %.6f\n", k, trainBefore,
              heldBefore);

  for (int round = 1; round <= s.rounds; ++round) {
    fit(train, params, k, s.options);
    for (double& p : params) p = std::round(p);
    std::printf("round %d: training error %.6f, held-out error %.6f (linear model, %.1f s)\n",
                round, meanError(train, params, k), meanError(held, params, k), seconds(start));
    tablesFromParams(params, &board.tables);
    compareWithEvaluate(records, targets, s, held, params, &board);
    if (round < s.rounds) buildSets(records, targets, s, &board, &train, &held);
  }

  Board original;
  loadSquareValuesFrom(s.input, &original.tables);
  std::printf("evaluate, before: training %.6f, held-out %.6f\n",
              exactError(records, targets, s, false, k, &original),
              exactError(records, targets, s, true, k, &original));
  std::printf("evaluate, after:  training %.6f, held-out %.6f\n",
              exactError(records, targets, s, false, k, &board),
              exactError(records, targets, s, true, k, &board));

  if (!writeSquareValues(s.output, &board.tables)) {
    std::fprintf(stderr, "tune: cannot write %s\n", s.output);
    return 1;
  }
  Board reread;
  if (!loadSquareValuesFrom(s.output, &reread.tables) ||
      std::memcmp(reread.tables.squareValues, board.tables.squareValues,
                  sizeof board.tables.squareValues) != 0) {
    std::fprintf(stderr, "tune: %s does not read back as written\n", s.output);
    return 1;
  }
  std::printf("%s written (%.1f s)\n", s.output, seconds(start));
  return 0;
}

int playCommand(int argc, char** argv) {
  SelfPlayOptions options;
  int games = 1000;
  uint64_t seed = 1;
  const char* sqvalue = nullptr;
  long hashMegabytes = 16;
  int i = 0;
  for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
    const char* v = argv[i + 1];
    if (!std::strcmp(argv[i], "-g")) games = std::atoi(v);
    else if (!std::strcmp(argv[i], "-N")) options.nodes = std::strtoull(v, nullptr, 10);
    else if (!std::strcmp(argv[i], "-r")) options.randomPlies = std::atoi(v);
    else if (!std::strcmp(argv[i], "-f")) options.firstPly = std::atoi(v);
    else if (!std::strcmp(argv[i], "-s")) seed = std::strtoull(v, nullptr, 10);
    else if (!std::strcmp(argv[i], "-i")) sqvalue = v;
    else if (!std::strcmp(argv[i], "-H")) hashMegabytes = std::atol(v);
    else return usage(), 2;
  }
  if (argc - i < 2 || games < 1 || options.nodes < 1) return usage(), 2;
  const char* out = argv[i++];
  std::vector<std::vector<std::string>> openings;
  for (; i < argc; ++i)
    if (!readOpenings(argv[i], &openings)) {
      std::fprintf(stderr, "tune: cannot read %s\n", argv[i]);
      return 1;
    }
  if (openings.empty()) {
    std::fprintf(stderr, "tune: no opening lines\n");
    return 1;
  }
  Engine* engine = makeSelfPlayEngine(sqvalue, hashMegabytes);
  if (!engine) {
    std::fprintf(stderr, "tune: cannot read %s or no memory\n", sqvalue ? sqvalue : "tables");
    return 1;
  }
  std::FILE* file = std::fopen(out, "a");
  if (!file) {
    std::fprintf(stderr, "tune: cannot write %s\n", out);
    return 1;
  }
  // The search's thinking lines are no output of this command: standard output goes
  // nowhere, progress to standard error.
  std::fflush(stdout);
  if (const int nowhere = open("/dev/null", O_WRONLY); nowhere >= 0) {
    dup2(nowhere, STDOUT_FILENO);
    close(nowhere);
  }
  std::mt19937_64 rng(seed);
  Board quietTest;
  std::vector<Record> kept;
  size_t positions = 0;
  int whiteWins = 0, blackWins = 0, draws = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int g = 0; g < games; ++g) {
    const uint32_t number = uint32_t(seed * 1000000 + uint64_t(g));
    const auto& line = openings[rng() % openings.size()];
    kept.clear();
    const GameOutcome o = playGame(engine, line, options, &rng, number, &quietTest, &kept);
    (o.result == 1.0f ? whiteWins : o.result == 0.0f ? blackWins : draws) += 1;
    for (const Record& r : kept)
      std::fprintf(file, "%s|%u|%g|%.4f\n", r.fen.c_str(), r.game, double(r.result),
                   double(r.engine));
    std::fflush(file);
    positions += kept.size();
    if ((g + 1) % 100 == 0 || g + 1 == games)
      std::fprintf(stderr, "%d games (+%d -%d =%d), %zu positions, %.0f s\n", g + 1, whiteWins,
                   blackWins, draws, positions, seconds(start));
  }
  return std::fclose(file) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "play")) return playCommand(argc - 2, argv + 2);
  if (argc >= 2 && !std::strcmp(argv[1], "extract")) return extract(argc - 2, argv + 2);
  if (argc >= 2 && !std::strcmp(argv[1], "fit")) return fitCommand(argc - 2, argv + 2);
  usage();
  return argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")) ? 0 : 2;
}
