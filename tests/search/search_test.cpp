#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "board/makemove.h"
#include "eval/evaluate.h"
#include "movegen/notation.h"
#include "search/ordering.h"
#include "search_fixture.h"

namespace {

// Runs f with standard output captured; returns what it printed.
template <class F>
std::string captureOutput(F f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string field(const std::string& line, const std::string& name) {
  const size_t at = line.find(" " + name + " ");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 2;
  return line.substr(start, line.find(';', start) - start);
}

}  // namespace

TEST(Search, FindsEveryShortMateOfTheSuite) {
  std::ifstream in(testDataPath("epd/wac.epd"));
  std::string line;
  int mates = 0;
  while (std::getline(in, line)) {
    const std::string dm = field(line, "dm");
    if (dm.empty() || std::stoi(dm) > 3) continue;
    SCOPED_TRACE(line);
    const std::string fen = line.substr(0, line.find(" bm ")).substr(0, line.find(" am "));
    SearchFixture f(fen + " 0 1");
    int score = 0;
    // Reductions may hide a quiet mate for a few iterations; a mate ends the search.
    captureOutput([&] { score = f.searchToDepth(2 * std::stoi(dm) + 5); });
    EXPECT_EQ(score, INFINITE_SCORE + 1 - (2 * std::stoi(dm) - 1)) << "mate in " << dm;
    ++mates;
  }
  EXPECT_GE(mates, 30);
}

TEST(Search, MatedSideScoresByPly) {
  // Back-rank mate on the board, Black to move: mated at ply 5 scores -29996.
  SearchFixture f("3R2k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1");
  f.board->position.searchDepth = 5;
  f.board->records[5] = f.board->records[0];
  EXPECT_EQ(search(&f.context, BLACK, 5, -INFINITE_SCORE, INFINITE_SCORE, 3, {}, 0),
            -29996);
  // Stalemate is 0 and no move.
  SearchFixture g("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  g.board->position.searchDepth = 2;
  g.board->records[1] = g.board->records[0];
  EXPECT_EQ(search(&g.context, BLACK, 1, -100, 100, 3, {}, 0), 0);
}

TEST(Search, QuiescenceClipsMaterialDrawsIntoTheWindow) {
  SearchFixture f("8/8/3k4/8/8/3KB3/8/8 w - - 0 1");  // king and bishop against king
  f.board->records[1] = f.board->records[0];
  Position& p = f.board->position;
  EXPECT_EQ(quiesce(&f.context, WHITE, 1, 10, 50, 1, PV_NODE), 10);
  EXPECT_EQ(quiesce(&f.context, WHITE, 1, -50, -10, 1, PV_NODE), -10);
  EXPECT_EQ(p.quiesceNodeCount, 2u);
}

TEST(Search, FixedDepthSearchesRepeatExactly) {
  const char* fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
  std::string first, second;
  uint64_t nodes[2];
  for (int run = 0; run < 2; ++run) {
    SearchFixture f(fen);
    std::string out = captureOutput([&] { f.searchToDepth(7); });
    nodes[run] = f.board->position.nodeCount + f.board->position.quiesceNodeCount;
    // Times differ between runs: drop the third field of each thinking line.
    std::istringstream lines(out);
    std::string withoutTimes;
    for (std::string line; std::getline(lines, line);) {
      const size_t nodesEnd = line.find(" S");
      if (nodesEnd != std::string::npos && matchesPattern(line.substr(0, nodesEnd), "# # # #")) {
        const size_t timeStart = line.find(' ', line.find(' ') + 1);
        line.erase(timeStart, line.find(' ', timeStart + 1) - timeStart);
      }
      withoutTimes += line + "\n";
    }
    (run ? second : first) = withoutTimes;
  }
  EXPECT_EQ(first, second);
  EXPECT_EQ(nodes[0], nodes[1]);
}

TEST(Search, ThinkingLinesNumberTheMoves) {
  SearchFixture f("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 2 2");
  f.board->position.movesCompleted = 1;
  const std::string out = captureOutput([&] { f.searchToDepth(4); });
  // depth, score, centiseconds, nodes and " S", then "2. ... " before Black's first move.
  EXPECT_TRUE(hasLineMatching(out, "4 # # # S2. ... @ 3. @ @ 4. @ ")) << out;
  EXPECT_NE(out.find("branching factors = "), std::string::npos);
  EXPECT_EQ(f.board->position.searchDepth, 4u);
  // The kibitz lines are for the interface only.
  EXPECT_EQ(out.find("tellics"), std::string::npos);
}

TEST(Search, RootMoveThatRepeatsThreeTimesIsADrawClaim) {
  SearchFixture f("7k/8/8/8/8/8/3R4/K7 w - - 0 1");
  TestBoard& b = *f.board;
  // The kings shuffle so that Ka1-b1 at the root reaches a position for the third time.
  const char* shuffle[] = {"a1b1", "h8g8", "b1a1", "g8h8", "a1b1", "h8g8", "b1a1", "g8h8"};
  for (const char* text : shuffle) {
    char word[16];
    std::snprintf(word, sizeof word, "%s", text);
    const Move m = parseMove(word, b.side, &b.position, b.records, &b.tables);
    ASSERT_NE(m, 0u) << text;
    b.play(m);
  }
  f.rootCount = 0;
  for (Move m : b.legalMoves()) f.rootMoves[f.rootCount++] = m;
  f.board->position.searchDepth = 1;
  captureOutput([&] {
    rootSearch(&f.context, b.side, -INFINITE_SCORE, INFINITE_SCORE, 1, f.rootMoves, f.rootCount, 0, 0);
  });
  bool claimed = false;
  for (int i = 0; i < f.rootCount; ++i)
    if (coordinates(f.rootMoves[i]) == "a1b1") {
      EXPECT_EQ(moveDrawClaim(f.rootMoves[i]), 1);
      claimed = true;
    } else {
      EXPECT_EQ(moveDrawClaim(f.rootMoves[i]), 0);
    }
  EXPECT_TRUE(claimed);
}

TEST(Search, MateEndsTheIterationsAndTheWindowOpensAtMateScores) {
  SearchFixture f("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
  const std::string out = captureOutput([&] { EXPECT_EQ(f.searchToDepth(20), 30000); });
  EXPECT_EQ(coordinates(f.best()), "d1d8");
  EXPECT_LE(f.board->position.searchDepth, 3u);  // stops at once after the mate
}

TEST(Ordering, PickBestPrefersTheEarliestOfEqualKeys) {
  Move list[4] = {makeMoveWord(1, 2, 1, 0, 0, 30000), makeMoveWord(3, 4, 1, 0, 0, 30100),
                  makeMoveWord(5, 6, 1, 0, 0, 30100), makeMoveWord(7, 8, 1, 0, 0, 30050)};
  pickBest(0, 4, list);
  EXPECT_EQ(moveFrom(list[0]), 3);
  pickBest(1, 4, list);
  EXPECT_EQ(moveFrom(list[1]), 5);
  pickBest(2, 4, list);
  EXPECT_EQ(moveFrom(list[2]), 7);
}

TEST(Ordering, FirstMoveAndKillerMarks) {
  Move list[3] = {makeMoveWord(1, 2, 1, 0, 0, 30000), makeMoveWord(3, 4, 2, 7, 0, 30200),
                  makeMoveWord(5, 6, 1, 0, 0, 30001)};
  markOrderingKeys(list, 3, 5, 6, 3, 4);  // the killer is a winning capture: it keeps its key
  EXPECT_EQ(moveOrderKey(list[2]), FIRST_MOVE_KEY);
  EXPECT_EQ(moveOrderKey(list[1]), 30200);
  markOrderingKeys(list, 3, 0, 0, 1, 2);  // no first move: the killer alone
  EXPECT_EQ(moveOrderKey(list[0]), KILLER_KEY);
}

TEST(Ordering, OpeningPreferencesFollowTheStyle) {
  TestBoard b("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1");
  b.position.randomLevel = 1;
  b.position.movesCompleted = 1;
  b.side = WHITE;  // White to move again, as after 1. d4 ... and a pass
  const Move nf3 = makeMoveWord(G1, F3, WHITE_KNIGHT, 0, 0, 30000);
  makeMove(WHITE, 1, nf3, &b.position, b.records, &b.tables);
  b.position.rootMoveBonus = 0;
  openingPreference(nf3, &b.position, &b.tables);
  EXPECT_EQ(b.position.rootMoveBonus, 30);
  b.position.rootMoveBonus = 0;
  b.position.movesCompleted = 7;  // too late for preferences
  openingPreference(nf3, &b.position, &b.tables);
  EXPECT_EQ(b.position.rootMoveBonus, 0);
  b.position.movesCompleted = 1;
  b.position.randomLevel = 0;  // random mode off: no style
  openingPreference(nf3, &b.position, &b.tables);
  EXPECT_EQ(b.position.rootMoveBonus, 0);
}

TEST(Search, AspirationFailuresAreSearchedAgainInAnOpenWindow) {
  // Each "score too high: a<s<b" must be followed by a thinking line above b, each "score
  // too low" by one below a: fail-hard searches in the old window could only return b or
  // a. Returns the iterations that failed.
  const auto failures = [](const std::string& out, const char* what, int sign) {
    std::istringstream lines(out);
    std::vector<int> depths;
    int bound = 0;
    bool failed = false;
    for (std::string line; std::getline(lines, line);) {
      int a = 0, s = 0, b = 0;
      if (std::sscanf(line.c_str(), what, &a, &s, &b) == 3) {
        bound = sign > 0 ? b : a;
        failed = true;
      } else if (failed && matchesPattern(line.substr(0, line.find(" S")), "# # # #")) {
        EXPECT_GT(sign * std::stoi(line.substr(line.find(' '))), sign * bound) << line;
        depths.push_back(std::stoi(line));
        failed = false;
      }
    }
    return depths;
  };
  SearchFixture high("7k/p7/1R5K/6r1/6p1/6P1/8/8 w - - 0 1");  // Rb7 wins the rook
  const std::string highOut = captureOutput([&] { high.searchToDepth(5); });
  EXPECT_FALSE(failures(highOut, "score too high: %d<%d<%d", 1).empty());
  // Fail lows from iteration 5 on take the reserve, each of them.
  SearchFixture low("5rk1/1b3p1p/pp3p2/3n1N2/1P6/P1qB1PP1/3Q3P/4R1K1 w - - 0 1");
  low.tc.budgetCeiling = 2e12;
  const std::string out = captureOutput([&] { low.searchToDepth(5, 1e9); });
  const std::vector<int> lows = failures(out, "score too low: %d<%d<%d", -1);
  const auto deep = std::count_if(lows.begin(), lows.end(), [](int d) { return d >= 5; });
  EXPECT_GT(deep, 0);
  EXPECT_LT(deep, long(lows.size()));
  EXPECT_EQ(low.tc.timeBudget, 1e12 + double(deep) * 1e9);
}
