// Drives the built engine over standard input, as a GUI or a console user would.
#include <ctime>
#include <string>

#include "driver/transcript.h"


TEST_F(Transcript, MissingConfigurationStopsAtOnce) {
  Session r = run("getfen\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "vorlak version 070722\nCan't read vorlak.cfg.  Quiting.");
}

TEST_F(Transcript, SessionOfPositionCommands) {
  writeFile("vorlak.cfg", "# start-up file\nhashsize 3\n # not a comment\nsd 9");
  Session r = run(
      "getfen\n"
      "setboard r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 4 20\n"
      "getfen\n"
      "reverse\n"
      "reverse\n"
      "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1\n"
      "getfen\n"
      "   \n"
      "E1G1\n"
      "e1e3\n"
      "perft 2\n"
      "perft 0\n");  // no quit: the end of input ends the engine
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("vorlak version 070722\n", 0), 0u);
  EXPECT_TRUE(contains(r.out, "illegal move: #\n"));  // " #" in the file is a word
  EXPECT_TRUE(contains(r.out, "hash table size: 2 MBytes.\n"));
  EXPECT_TRUE(contains(r.out, "\n2 F F F F F F F F \n1 R N B Q K B N R \n\n"));
  EXPECT_TRUE(contains(r.out, "I'm resting\nI'm processing\n"));
  EXPECT_TRUE(contains(r.out, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n"));
  EXPECT_TRUE(contains(r.out, "\nr3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 4 20\n"));
  EXPECT_TRUE(contains(r.out, "\nr3k2r/8/8/8/3Pp3/8/8/R3K2R b KQkq d3 4 20\n"));
  // The refused FEN changes nothing: the next getfen shows the earlier position.
  EXPECT_TRUE(contains(r.err, "Strange character in FEN\n"));
  EXPECT_TRUE(contains(r.out, "R3K2R w KQkq d6 4 20\nI'm resting\nI'm processing\n"
                              "I'm resting\nI'm processing\n"
                              "r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 4 20\n"));
  EXPECT_TRUE(contains(r.out, "illegal move: E1G1\n"));
  EXPECT_TRUE(contains(r.out, "illegal move: e1e3\n"));
  EXPECT_TRUE(contains(r.out, "perft(2) = 648 ("));
  EXPECT_TRUE(contains(r.out, "perft needs a depth from 1 to 63\n"));
  EXPECT_FALSE(contains(r.out, "perft(0)"));
}

TEST_F(Transcript, OpponentMoveIsAnsweredAndListed) {
  writeFile("vorlak.cfg", "hashsize 1\n");
  Session r = run("xboard\nnew\ne2e4\nforce\nd2d4\nquit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "I'm searching\n"));
  EXPECT_TRUE(contains(r.out, "\nmove "));
  ASSERT_FALSE(listFilePath().empty());
  const std::string games = listFileText();
  EXPECT_TRUE(contains(games, "[Event \""));
  EXPECT_TRUE(contains(games, "[Black \"vorlak\"]         score opening depth\n"));
  EXPECT_TRUE(contains(games, "white   1.       e4\n"));
}

TEST_F(Transcript, OverlongInputIsDropped) {
  writeFile("vorlak.cfg", std::string(200, 'x') + "\nhashsize 1\n");
  std::string longWord(100, 'y');
  Session r = run(longWord + " getfen\n" + "a b c d e f g h i j k l m n getfen\n" + "getfen\n");
  EXPECT_EQ(r.status, 0);
  // The long word is thrown away and the rest of the line is read as a command;
  // of a line of fourteen words the first twelve are kept.
  EXPECT_FALSE(contains(r.out, "yyyy"));
  EXPECT_TRUE(contains(r.out, "illegal move: a\n"));
  EXPECT_FALSE(contains(r.out, "illegal move: n\n"));
  EXPECT_TRUE(contains(r.out, "hash table size: 1 MBytes.\n"));
  size_t fens = 0;
  for (size_t at = 0; (at = r.out.find("KQkq - 0 1\n", at)) != std::string::npos; ++at) ++fens;
  EXPECT_EQ(fens, 2u);
}

TEST_F(Transcript, UnopenableListFileIsReportedOnceAndPlayGoesOn) {
  writeFile("vorlak.cfg", "hashsize 1\n");
  char date[16];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%m%d%y", std::localtime(&now));
  fs::create_directory(dir / (std::string("list.") + date));  // a directory cannot be appended to
  Session r = run("e2e4\nquit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "\nmove "));
  size_t reports = 0;
  for (size_t at = 0; (at = r.out.find("Can't open list.", at)) != std::string::npos; ++at) ++reports;
  EXPECT_EQ(reports, 1u);
}

TEST_F(Transcript, TablebaseCacheAtStartUp) {
  writeFile("vorlak.cfg", "hashsize 1\n");
  Session r = run("quit\n");
  EXPECT_TRUE(contains(r.out, "ERROR in initializing EGTB\n"));  // no cache size given
  writeFile("vorlak.cfg", "hashsize 1\negtbcachesize 2\negtbdir .;missing\n");
  r = run("quit\n");
  EXPECT_TRUE(contains(r.out, "EGTB cache memory: 2M bytes.\nEGTB directory: .;missing\n"));
  EXPECT_FALSE(contains(r.out, "ERROR"));
}

// The shipped start-up file and square values load without a complaint.
TEST_F(Transcript, DefaultDataDirectoryStartsCleanly) {
  for (const char* name : {"vorlak.cfg", "sqvalue"})
    fs::copy_file(fs::path(VORLAK_SOURCE_DIR) / "data" / name, dir / name);
  Session r = run("score\nquit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(contains(r.out, "illegal move"));
  // The books are made files (build/bookgen); their absence is only reported.
  EXPECT_FALSE(contains(r.out, "Playing without a square value table"));
  EXPECT_FALSE(contains(r.out, "ERROR"));
  EXPECT_TRUE(contains(r.out, "hash table size: 64 MBytes.\n"));
  EXPECT_TRUE(contains(r.out, "score = 0\n"));  // the start position is balanced
}

// A FEN without a king of either colour, or no FEN at all, is refused like any other
// impossible placement: one line, the position as it was, the engine still running.
TEST_F(Transcript, SetboardWithoutAKingIsRefused) {
  writeFile("vorlak.cfg", "hashsize 1\n");
  Session r = run(
      "setboard 4k3/8/8/8/8/8/8/4K3 w - - 5 9\n"
      "setboard 8/8/8/8/8/8/8/4K3 w - - 0 1\n"
      "setboard 4k3/8/8/8/8/8/8/8 b - - 0 1\n"
      "setboard\n"
      "setboard 8/8/8/8/8/8/8/8\n"
      "getfen\n"
      "quit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(contains(r.out, "can't play chess without"));
  size_t refusals = 0;
  for (size_t at = 0; (at = r.err.find("Illegal position in FEN\n", at)) != std::string::npos; ++at)
    ++refusals;
  EXPECT_EQ(refusals, 4u);
  EXPECT_TRUE(contains(r.out, "\n4k3/8/8/8/8/8/8/4K3 w - - 5 9\n"));
}
