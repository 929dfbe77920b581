// UCI sessions as fastchess and other GUIs hold them, and the odd cases around them.
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver/live_engine.h"
#include "driver/transcript.h"

namespace {

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}

// The node total of the last "info depth D" line (UCI) or thinking line of depth D.
long long uciNodesAtDepth(const std::string& out, int depth) {
  long long nodes = -1;
  const std::regex info("^info depth " + std::to_string(depth) + " .* nodes ([0-9]+) ");
  for (const std::string& line : linesStartingWith(out, "info depth")) {
    std::smatch m;
    if (std::regex_search(line, m, info)) nodes = std::stoll(m[1]);
  }
  return nodes;
}

long long thinkingNodesAtDepth(const std::string& out, int depth) {
  long long nodes = -1;
  std::string pattern = std::to_string(depth);
  pattern += " -?[0-9]+ [0-9]+ ([0-9]+) S";
  const std::regex thinking(pattern);
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, thinking) && m.position(0) == 0) nodes = std::stoll(m[1]);
  }
  return nodes;
}

const char* const CONFIGURATION = "hashsize 4\negtbdir tb\negtbcachesize 1\n";

}  // namespace

// Piped sessions end with their input rather than quit: quit during a search ends it.
class Uci : public Transcript {};

TEST_F(Uci, HandshakeWithoutAnyFileUsesTheBuiltInDefaults) {
  Session r = run("uci\nisready\nquit\n");
  EXPECT_EQ(r.status, 0);
  const std::string expected =
      "id name vorlak 070722\n"
      "id author the vorlak developers\n"
      "option name Hash type spin default 64 min 1 max 65536\n"
      "option name EGTBPath type string default tb\n"
      "option name EGTBCache type spin default 32 min 1 max 4096\n"
      "option name OwnBook type check default true\n"
      "option name Move Overhead type spin default 20 min 0 max 5000\n"
      "option name Threads type spin default 1 min 1 max 1\n"
      "info string no vorlak.cfg here: built-in settings\n"
      "info string no sqvalue here: built-in square values\n"
      "uciok\n"
      "readyok\n";
  // Nothing but protocol lines after the version line: no board, no "I'm resting".
  EXPECT_EQ(r.out, "vorlak version 070722\n" + expected);
}

TEST_F(Uci, BuiltInSquareValuesPlayLikeTheShippedFile) {
  const std::string session =
      "uci\nposition fen r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R1BQKB1R w KQ - 0 8\n"
      "go depth 5\n";
  Session bare = run(session);
  writeFile("sqvalue", readWhole(fs::path(VORLAK_SOURCE_DIR) / "data" / "sqvalue"));
  Session shipped = run(session);
  EXPECT_FALSE(contains(shipped.out, "no sqvalue"));
  ASSERT_GT(uciNodesAtDepth(bare.out, 5), 0) << bare.out;
  EXPECT_EQ(uciNodesAtDepth(bare.out, 5), uciNodesAtDepth(shipped.out, 5));
}

TEST_F(Uci, MoveListsWithCastlingEnPassantAndPromotion) {
  writeFile("vorlak.cfg", CONFIGURATION);
  Session r = run(
      "uci\n"
      // Both sides castle, then White takes en passant: the only way to reach this.
      "position fen r3k2r/pppq1ppp/8/4P3/8/8/PPPQ1PPP/R3K2R w KQkq - 0 1 moves e1c1 e8g8 "
      "b2b4 f7f5 e5f6 g8h8\n"
      "go depth 1\n"
      // A pawn promotes to a knight; Black's king moves next.
      "position fen 8/3P3k/8/8/8/8/8/K7 w - - 0 1 moves d7d8n\n"
      "go depth 2\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(contains(r.out, "info string position not changed")) << r.out;
  const std::vector<std::string> best = linesStartingWith(r.out, "bestmove ");
  ASSERT_EQ(best.size(), 2u) << r.out;
  // After d8=N the black king on h7 stands, and is not in check: any king move will do,
  // but it must be a move of Black's.
  EXPECT_TRUE(std::regex_match(best[1], std::regex("bestmove h7[gh][678]"))) << best[1];
}

TEST_F(Uci, BadPositionLinesChangeNothing) {
  writeFile("vorlak.cfg", CONFIGURATION);
  // White's king in check from the rook on g1 has one legal move: taking it (the bishop
  // holds h2, the rook the g-file).
  Session r = run(
      "uci\n"
      "position fen k7/8/8/4b3/8/8/8/6rK w - - 0 1\n"
      "position fen k7/8/8/8/8/8/8/R6K w - - 0 1\n"  // the side not to move is in check
      "position startpos moves e2e4 e7e5 e1e3\n"   // the third move is illegal
      "position fen 8/8/8/8 w\n"
      "position fen 8/8/8/8/8/8/8/7K w - - 0 1 9 9\n"
      "position\n"
      "position startpos junk\n"
      "go depth 1\n");
  const std::vector<std::string> errors = linesStartingWith(r.out, "info string position not changed");
  EXPECT_EQ(errors.size(), 6u) << r.out;
  EXPECT_TRUE(contains(r.out, "illegal move e1e3 (move 3 of the list)"));
  // Every refused line left the first position.
  const std::vector<std::string> best = linesStartingWith(r.out, "bestmove ");
  ASSERT_EQ(best.size(), 1u);
  EXPECT_EQ(best[0], "bestmove h1g1");
}

TEST_F(Uci, PositionsWithoutMovesAndMateScores) {
  writeFile("vorlak.cfg", CONFIGURATION);
  Session r = run(
      "uci\n"
      "position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1 moves a1a8\n"  // mated
      "go depth 3\n"
      "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\n"  // stalemate
      "go wtime 1000 btime 1000\n"
      "position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1\n"  // mate in one
      "go depth 3\n"
      "position fen 7k/p4Q2/6K1/8/8/8/8/8 b - - 0 1\n"  // mated in one, whatever it plays
      "go depth 3\n");
  const std::vector<std::string> best = linesStartingWith(r.out, "bestmove ");
  ASSERT_EQ(best.size(), 4u) << r.out;
  EXPECT_EQ(best[0], "bestmove 0000");
  EXPECT_EQ(best[1], "bestmove 0000");
  EXPECT_EQ(best[2], "bestmove a1a8");
  EXPECT_TRUE(contains(r.out, "score mate 1 ")) << r.out;
  EXPECT_TRUE(contains(r.out, "score mate -1 ")) << r.out;
  // No claims, results or resignations: the GUI adjudicates.
  EXPECT_FALSE(contains(r.out, "1-0"));
  EXPECT_FALSE(contains(r.out, "resign"));
  EXPECT_FALSE(contains(r.out, "1/2-1/2"));
}

TEST_F(Uci, OptionsActWhereverTheyCome) {
  writeFile("vorlak.cfg", CONFIGURATION);
  Session r = run(
      "uci\n"
      "setoption name Hash value 2\n"
      "isready\n"
      "setoption name Threads value 1\n"
      "setoption name Threads value 4\n"
      "setoption name Move Overhead value 50\n"
      "setoption name OwnBook value maybe\n"
      "setoption name Contempt value 10\n"
      "setoption name EGTBPath value <empty>\n"
      "isready\n"
      "ucinewgame\n"
      "setoption name Hash value 8\n"
      "uci\n"
      "quit\n");
  EXPECT_EQ(linesStartingWith(r.out, "readyok").size(), 2u);
  EXPECT_TRUE(contains(r.out, "info string bad value for Threads: 4\n"));
  EXPECT_TRUE(contains(r.out, "info string bad value for OwnBook: maybe\n"));
  EXPECT_TRUE(contains(r.out, "info string no such option: Contempt\n"));
  EXPECT_FALSE(contains(r.out, "Move Overhead: 50"));
  // The second uci shows the size set last.
  EXPECT_TRUE(contains(r.out, "option name Hash type spin default 8 min 1 max 65536\n")) << r.out;
}

// The same search at a fixed depth counts the same nodes whichever protocol asks for it.
TEST_F(Uci, FixedDepthSearchesCountAlikeInBothProtocols) {
  writeFile("vorlak.cfg", CONFIGURATION);
  writeFile("sqvalue", readWhole(fs::path(VORLAK_SOURCE_DIR) / "data" / "sqvalue"));
  const std::string fen = "8/5pk1/4p1p1/3pP3/1r1P2P1/5K2/R7/8 w - - 0 40";
  Session xboard = run("xboard\nsetboard " + fen + "\nsd 7\ngo\n");
  Session uci = run("uci\nposition fen " + fen + "\ngo depth 7\n");
  const long long x = thinkingNodesAtDepth(xboard.out, 7), u = uciNodesAtDepth(uci.out, 7);
  ASSERT_GT(x, 0) << xboard.out;
  EXPECT_EQ(x, u);
  // With clocks as well, through the engine's own time management.
  Session xboardTimed = run("xboard\nsetboard " + fen + "\nlevel 0 5 0\ntime 30000\notim 30000\nsd 6\ngo\n");
  Session uciTimed = run("uci\nposition fen " + fen + "\ngo wtime 300000 btime 300000 depth 6\n");
  EXPECT_EQ(thinkingNodesAtDepth(xboardTimed.out, 6), uciNodesAtDepth(uciTimed.out, 6));
}

TEST_F(Uci, NodeLimitStopsTheSearch) {
  writeFile("vorlak.cfg", CONFIGURATION);
  Session r = run("uci\nposition startpos moves d2d4 d7d5 c2c4\ngo nodes 20000\n");
  const std::vector<std::string> info = linesStartingWith(r.out, "info depth");
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(linesStartingWith(r.out, "bestmove ").size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(info.back(), m, std::regex(" nodes ([0-9]+) ")));
  EXPECT_LE(std::stoll(m[1]), 20000);
}

TEST_F(Uci, TheLastLineShownLeadsWithTheMovePlayed) {
  // At 30000 nodes the cut sixth iteration shows a new best move (f1d3) that the fifth's
  // c4c5 then stands against: the line of the move played comes last again.
  writeFile("vorlak.cfg", CONFIGURATION);
  for (const char* nodes : {"30000", "20000", "45000"}) {
    Session r = run(std::string("uci\nposition fen r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/"
                                "PP3PPP/R1BQKB1R w KQ - 0 8\ngo nodes ") +
                    nodes + "\n");
    const std::vector<std::string> info = linesStartingWith(r.out, "info depth");
    const std::vector<std::string> best = linesStartingWith(r.out, "bestmove ");
    ASSERT_FALSE(info.empty());
    ASSERT_EQ(best.size(), 1u);
    const std::string move = best[0].substr(best[0].find(' ') + 1);
    EXPECT_NE(info.back().find(" pv " + move), std::string::npos) << nodes << "\n" << r.out;
  }
}

class LiveUci : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    writeFile("vorlak.cfg", CONFIGURATION);
  }
};

TEST_F(LiveUci, StopAndIsreadyAreAnsweredDuringASearch) {
  LiveEngine engine(dir);
  ASSERT_TRUE(engine.ready());
  engine.send("uci");
  ASSERT_NE(engine.waitFor("uciok", 5000), "");
  engine.send("position startpos");
  engine.send("go infinite");
  ASSERT_NE(engine.waitFor("info depth 4", 10000), "");
  std::string answer;
  const long long readyMs = millisecondsOf([&] {
    engine.send("isready");
    answer = engine.waitFor("readyok", 2000);
  });
  EXPECT_EQ(answer, "readyok");
  EXPECT_LT(readyMs, 100);
  const long long stopMs = millisecondsOf([&] {
    engine.send("stop");
    answer = engine.waitFor("bestmove", 2000);
  });
  EXPECT_TRUE(std::regex_match(answer, std::regex("bestmove [a-h][1-8][a-h][1-8]"))) << answer;
  EXPECT_LT(stopMs, 100);
  // A search that ends by itself (mate found) still waits for stop under infinite.
  engine.send("position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1");
  engine.send("go infinite");
  EXPECT_EQ(engine.waitFor("bestmove", 300), "");
  engine.send("stop");
  EXPECT_EQ(engine.waitFor("bestmove", 2000), "bestmove a1a8");
}

TEST_F(LiveUci, QuitEndsASearchAndLinesWaitTheirTurn) {
  LiveEngine engine(dir);
  ASSERT_TRUE(engine.ready());
  engine.send("uci");
  ASSERT_NE(engine.waitFor("uciok", 5000), "");
  engine.send("position startpos");
  engine.send("go movetime 400");
  // Sent during the search: the position and go wait for the first search's end.
  engine.send("position startpos moves e2e4");
  engine.send("go depth 2");
  ASSERT_NE(engine.waitFor("bestmove", 3000), "");
  const std::string second = engine.waitFor("bestmove", 3000);
  EXPECT_TRUE(std::regex_match(second, std::regex("bestmove [a-h]7[a-h][56]|bestmove [bg]8[a-h]6")))
      << second;
  engine.send("go infinite");
  ASSERT_NE(engine.waitFor("info depth 3", 5000), "");
  engine.send("quit");
  int status = -1;
  EXPECT_TRUE(engine.exitsWithin(200, &status));
  EXPECT_EQ(status, 0);
}

class LiveXboard : public LiveUci {};

TEST_F(LiveXboard, FeaturesMoveNowAndPingAfterTheMove) {
  LiveEngine engine(dir);
  ASSERT_TRUE(engine.ready());
  engine.send("xboard");
  engine.send("protover 2");
  const std::string features = engine.waitFor("feature ", 5000);
  for (const char* feature : {"ping=1", "setboard=1", "usermove=1", "sigint=0", "time=1", "draw=1",
                              "reuse=1", "analyze=1", "colors=0", "memory=1",
                              "myname=\"vorlak 070722\"", " done=1"})
    EXPECT_NE(features.find(feature), std::string::npos) << feature;
  engine.send("memory 8");
  engine.send("new");
  engine.send("st 30");
  engine.send("usermove e2e4");
  ASSERT_NE(engine.waitFor("I'm searching", 5000), "");
  engine.waitForMatch("5 -?[0-9]+ [0-9]+ [0-9]+ S.*", 10000);  // a few iterations in
  std::string move;
  const long long ms = millisecondsOf([&] {
    engine.send("ping 7");
    engine.send("?");  // behind the ping: still heard, since ping only waits
    move = engine.waitFor("move ", 3000);
  });
  EXPECT_NE(move, "");
  EXPECT_LT(ms, 1000);
  EXPECT_NE(engine.waitFor("pong 7", 2000), "");
}

TEST_F(LiveXboard, AnalysisFollowsTheBoardUntilExit) {
  LiveEngine engine(dir);
  ASSERT_TRUE(engine.ready());
  engine.send("xboard");
  engine.send("protover 2");
  engine.send("new");
  engine.send("analyze");
  // Thinking lines ("depth score time nodes S" and the line) about the start position.
  const std::string depth4 = "4 -?[0-9]+ [0-9]+ [0-9]+ S";
  ASSERT_NE(engine.waitForMatch(depth4 + ".*", 10000), "");
  engine.send(".");
  const std::string status = engine.waitFor("stat01: ", 2000);
  EXPECT_TRUE(std::regex_match(status, std::regex("stat01: [0-9]+ [0-9]+ [0-9]+ [0-9]+ 20 [a-h][1-8][a-h][1-8]")))
      << status;
  engine.send("usermove e2e4");
  // The new position's lines are Black's: "1. ... " starts them.
  const std::string line = engine.waitForMatch(depth4 + "1\\. \\.\\.\\. .*", 10000);
  EXPECT_NE(line.find(" S1. ... "), std::string::npos) << line;
  engine.send("undo");
  const std::string back = engine.waitForMatch(depth4 + "1\\. [^.].*", 10000);
  EXPECT_NE(back.find(" S1. "), std::string::npos) << back;
  EXPECT_EQ(back.find(" S1. ... "), std::string::npos) << back;
  engine.send("exit");
  engine.send("ping 3");
  EXPECT_NE(engine.waitFor("pong 3", 2000), "");
  // Out of analysis, the engine never moved on its own.
  EXPECT_EQ(engine.transcript().find("\nmove "), std::string::npos);
}
