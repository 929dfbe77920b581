// Self-play for the tuner: opening files in both formats, and games whose kept positions,
// results and labels a tuner can trust.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "driver/engine.h"
#include "tune/selfplay.h"

using namespace tune;

namespace {

namespace fs = std::filesystem;

std::string writeTemp(const std::string& name, const std::string& text) {
  const fs::path path = fs::temp_directory_path() / (std::to_string(getpid()) + "-" + name);
  std::ofstream(path) << text;
  return path.string();
}

using Lines = std::vector<std::vector<std::string>>;

TEST(SelfPlayOpenings, PgnMovetextWithoutTagsNumbersCommentsOrResults) {
  const std::string path = writeTemp("openings.pgn",
                                     "[Event \"a\"]\n[Result \"*\"]\n\n1. e4 e5 2.Nf3 {a comment\n"
                                     "over two lines} Nc6 *\n\n[Event \"b\"]\n\n1. d4 1... d5 1-0\n");
  Lines lines;
  ASSERT_TRUE(readOpenings(path.c_str(), &lines));
  fs::remove(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (std::vector<std::string>{"e4", "e5", "Nf3", "Nc6"}));
  EXPECT_EQ(lines[1], (std::vector<std::string>{"d4", "d5"}));
}

TEST(SelfPlayOpenings, TsvTakesThePgnColumn) {
  const std::string path =
      writeTemp("openings.tsv", "eco\tname\tpgn\nA00\tAmar Opening\t1. Nh3\n"
                                "B00\tOwen: 2. d4\t1. e4 b6 2. d4\n");
  Lines lines;
  ASSERT_TRUE(readOpenings(path.c_str(), &lines));
  fs::remove(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (std::vector<std::string>{"Nh3"}));
  EXPECT_EQ(lines[1], (std::vector<std::string>{"e4", "b6", "d4"}));
  EXPECT_FALSE(readOpenings("/nonexistent/openings.pgn", &lines));
}

class SelfPlayGame : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { engine = makeSelfPlayEngine(nullptr, 1); }
  static Engine* engine;
  Board quietTest;
};
Engine* SelfPlayGame::engine = nullptr;

TEST_F(SelfPlayGame, AMateInTheOpeningEndsTheGameForTheMatingSide) {
  ASSERT_NE(engine, nullptr);
  SelfPlayOptions o;
  o.randomPlies = 0;
  o.nodes = 2000;
  std::mt19937_64 rng(1);
  std::vector<Record> kept;
  // Fool's mate: Black mates with Qh4 at once.
  const GameOutcome g = playGame(engine, {"f3", "e5", "g4"}, o, &rng, 7, &quietTest, &kept);
  EXPECT_STREQ(g.reason, "mate");
  EXPECT_EQ(g.result, 0.0f);
  EXPECT_EQ(g.plies, 4);
  EXPECT_TRUE(kept.empty());  // nothing before ply 16
}

TEST_F(SelfPlayGame, KeptPositionsAreQuietLabelledAndRepeatable) {
  ASSERT_NE(engine, nullptr);
  SelfPlayOptions o;
  o.nodes = 1500;
  o.firstPly = 10;
  std::vector<Record> first, second;
  GameOutcome a{}, b{};
  for (std::vector<Record>* out : {&first, &second}) {
    std::mt19937_64 rng(42);
    (out == &first ? a : b) =
        playGame(engine, {"e4", "c5", "Nf3", "d6", "d4", "cxd4"}, o, &rng, 3, &quietTest, out);
  }
  EXPECT_EQ(a.plies, b.plies);
  ASSERT_EQ(first.size(), second.size());
  ASSERT_FALSE(first.empty());
  EXPECT_LE(int(first.size()), a.plies - o.firstPly + 1);
  for (size_t i = 0; i < first.size(); ++i) {
    const Record& r = first[i];
    EXPECT_EQ(r.fen, second[i].fen);
    EXPECT_EQ(r.game, 3u);
    EXPECT_EQ(r.result, a.result);
    EXPECT_GT(r.engine, 0.0f);
    EXPECT_LT(r.engine, 1.0f);
    ASSERT_TRUE(quietTest.setFen(r.fen)) << r.fen;
    EXPECT_TRUE(quietTest.quiet()) << r.fen;
  }
  EXPECT_TRUE(a.result == 0.0f || a.result == 0.5f || a.result == 1.0f);
  if (a.result != 0.5f) {
    EXPECT_TRUE(std::string(a.reason) == "mate" || std::string(a.reason) == "adjudication");
  }
}

TEST_F(SelfPlayGame, AnUnreadableOpeningMoveEndsTheLineNotTheGame) {
  ASSERT_NE(engine, nullptr);
  SelfPlayOptions o;
  o.randomPlies = 0;
  o.nodes = 500;
  o.maxPlies = 6;
  std::mt19937_64 rng(1);
  std::vector<Record> kept;
  const GameOutcome g = playGame(engine, {"e4", "Ke7e5", "d4"}, o, &rng, 1, &quietTest, &kept);
  EXPECT_EQ(g.plies, 6);  // one opening ply, five of the engine's
  EXPECT_STREQ(g.reason, "length");
  EXPECT_EQ(g.result, 0.5f);
}

}  // namespace
