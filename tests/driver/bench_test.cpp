// bench: the node total at the default depth is the search's signature. A change of the
// search, the evaluation or the move ordering changes it, and such a change updates
// DEFAULT_DEPTH_NODES and LOW_DEPTH_NODES in the same commit. A total that moves without
// one means that bench has become machine- or state-dependent, or that its positions or
// settings changed.
#include <cstdio>
#include <memory>
#include <string>

#include "board/position.h"
#include "driver/bench.h"
#include "driver/defaults.h"
#include "driver/transcript.h"
#include "eval/sqvalue.h"
#include "movegen/attacks.h"
#include "test_support.h"

namespace {

constexpr uint64_t DEFAULT_DEPTH_NODES = 7858037;
constexpr int LOW_DEPTH = 5;
constexpr uint64_t LOW_DEPTH_NODES = 696870;

// The default depth takes seconds in an optimised build and far longer under the
// sanitizers or without optimisation; there only the low depth is pinned.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr bool SLOW_BUILD = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SLOW_BUILD = true;
#else
constexpr bool SLOW_BUILD = false;
#endif
#else
constexpr bool SLOW_BUILD = false;
#endif

std::string totals(uint64_t nodes) { return std::to_string(nodes) + " nodes\n"; }

// The output ends with "N nodes" and "M nps", M a positive integer; returns those two lines'
// first one, or "" when the output does not end so.
std::string nodeLine(const std::string& out) {
  const size_t npsLine = out.rfind('\n', out.size() - 2);
  if (out.empty() || out.back() != '\n' || npsLine == std::string::npos) return "";
  const size_t nodesLine = out.rfind('\n', npsLine - 1);
  const std::string nps = out.substr(npsLine + 1);
  if (!matchesPattern(nps.substr(0, nps.size() - 1), "# nps") || nps[0] == '0' || nps[0] == '-')
    return "";
  return out.substr(nodesLine == std::string::npos ? 0 : nodesLine + 1, npsLine - nodesLine);
}

class Bench : public Transcript {};

TEST_F(Bench, DefaultDepthTotalIsTheSignature) {
  if (SLOW_BUILD) GTEST_SKIP() << "the default depth is pinned in optimised builds only";
  Session r = run("", "bench");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nodeLine(r.out), totals(DEFAULT_DEPTH_NODES)) << r.out;
}

// Started bare in an empty directory, as a tester's worker starts it: no file is read or
// written, standard error stays empty, one line per position precedes the two totals.
TEST_F(Bench, NeedsNoFilesAndEndsWithTheTwoTotals) {
  Session r = run("", "bench " + std::to_string(LOW_DEPTH));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(nodeLine(r.out), totals(LOW_DEPTH_NODES)) << r.out;
  EXPECT_TRUE(hasLineMatching(r.out, "position 1: # nodes"));
  EXPECT_TRUE(hasLineMatching(r.out, "position " + std::to_string(BENCH_POSITION_COUNT) + ": # nodes"));
  EXPECT_FALSE(contains(r.out, "Can't read")) << r.out;
  EXPECT_FALSE(contains(r.out, "Playing without")) << r.out;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().rfind("list.", 0) == 0) ++files;
  EXPECT_EQ(files, 0u);
}

TEST_F(Bench, BadDepthsAreRefusedInOneLine) {
  for (const std::string args : {"bench 0", "bench 64", "bench x", "bench 5x", "bench 5 6"}) {
    Session r = run("", args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args << ": " << r.err;
  }
}

// The console command gives the same total with the files of the directory, whatever
// they hold, and leaves the game as it was: position, settings and square values.
TEST_F(Bench, ConsoleCommandMatchesAndLeavesTheGameAlone) {
  writeFile("vorlak.cfg", "hashsize 16\nbench\n");  // too early in the start-up file
  const std::string fen = "r1bqkbnr/pppp1ppp/2n5/4p3/3PP3/5N2/PPP2PPP/RNBQKB1R b KQkq - 0 3";
  // No sqvalue here: the game plays with zero square values, bench with the built-in ones.
  Session r = run("force\nsetboard " + fen + "\nscore\nsd 3\nbench " + std::to_string(LOW_DEPTH) +
                  "\ngetfen\nscore\nquit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "bench runs only after start-up\n"));
  EXPECT_TRUE(contains(r.out, "Playing without a square value table.\n"));
  const size_t benchEnd = r.out.find(" nps\n");
  ASSERT_NE(benchEnd, std::string::npos) << r.out;
  EXPECT_EQ(nodeLine(r.out.substr(0, r.out.find('\n', benchEnd) + 1)), totals(LOW_DEPTH_NODES));
  const std::string after = r.out.substr(benchEnd);
  EXPECT_TRUE(contains(after, fen + "\n")) << after;
  // The same static score before and after: the game's square values came back.
  const size_t first = r.out.find("score = "), second = r.out.find("score = ", benchEnd);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(r.out.substr(first, r.out.find('\n', first) - first),
            r.out.substr(second, r.out.find('\n', second) - second));

  // Smaller tables than bench's give another total, and bench says so.
  writeFile("vorlak.cfg", "hashsize 1\n");
  Session small = run("bench " + std::to_string(LOW_DEPTH) + "\nquit\n");
  EXPECT_TRUE(contains(small.out, "bench: the hash tables are smaller")) << small.out;
  EXPECT_TRUE(contains(small.out, " nps\n"));
}

TEST(BenchPositions, AreVariedLegalAndHaveAChoice) {
  EXPECT_GE(BENCH_POSITION_COUNT, 30);
  int endings = 0, inCheck = 0;
  for (int i = 0; i < BENCH_POSITION_COUNT; ++i) {
    TestBoard board;
    ASSERT_TRUE(board.setFen(BENCH_POSITIONS[i])) << BENCH_POSITIONS[i];
    Position& p = board.position;
    EXPECT_FALSE(sideNotToMoveInCheck(board.side, &p, &board.records[0], &board.tables))
        << BENCH_POSITIONS[i];
    EXPECT_GE(board.legalMoves().size(), 2u) << BENCH_POSITIONS[i];
    if (popCount(p.whitePieces | p.blackPieces) <= 12) ++endings;
    Bitboard checkers = 0;
    if (findCheckers(board.side, &checkers, &p, &board.tables)) ++inCheck;
  }
  EXPECT_GE(endings, 8);
  EXPECT_GE(inCheck, 1);  // the root's evasion list is searched too
}

// The built-in defaults are data/ as it is now: the generated copy follows every change.
TEST(BuiltinDefaults, EqualTheDataFiles) {
  EXPECT_EQ(std::string(builtinSquareValueFile()), readWhole(VORLAK_SOURCE_DIR "/data/sqvalue"));
  EXPECT_EQ(std::string(builtinConfiguration()), readWhole(VORLAK_SOURCE_DIR "/data/vorlak.cfg"));

  auto fromFile = std::make_unique<BoardTables>();
  auto builtin = std::make_unique<BoardTables>();
  ASSERT_TRUE(loadSquareValuesFrom(VORLAK_SOURCE_DIR "/data/sqvalue", fromFile.get()));
  loadBuiltinSquareValues(builtin.get());
  bool anyValue = false;
  for (int table = 0; table < SV_TABLE_COUNT; ++table)
    for (int sq = 0; sq < 64; ++sq) {
      EXPECT_EQ(builtin->squareValues[table][sq], fromFile->squareValues[table][sq])
          << "table " << table << " square " << sq;
      anyValue |= builtin->squareValues[table][sq] != 0;
    }
  EXPECT_TRUE(anyValue);

  // The settings are those that reading data/vorlak.cfg at start-up gives.
  auto defaults = std::make_unique<Engine>();
  auto started = std::make_unique<Engine>();
  loadDefaultSettings(defaults.get());
  std::FILE* cfg = std::fopen(VORLAK_SOURCE_DIR "/data/vorlak.cfg", "r");
  ASSERT_NE(cfg, nullptr);
  runStartupCommands(cfg, started.get());
  std::fclose(cfg);
  EXPECT_NE(defaults->position.hashMask, 0u);
  EXPECT_EQ(defaults->position.hashMask, started->position.hashMask);
  EXPECT_EQ(defaults->position.egtbCacheBytes, started->position.egtbCacheBytes);
  EXPECT_STREQ(defaults->position.egtbDirectory, started->position.egtbDirectory);
}

}  // namespace
