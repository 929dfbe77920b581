// Whole turns of the engine: results, claims, the list file and the thinking output.
#include <algorithm>
#include <sstream>
#include <vector>

#include "driver/transcript.h"
#include "test_support.h"

namespace {
const char* const CONFIG = "hashsize 1\n";

// The FEN lines (getfen answers) of an engine's output, in order.
std::vector<std::string> fenLines(const std::string& out) {
  std::vector<std::string> fens;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (std::count(line.begin(), line.end(), '/') == 7) fens.push_back(line);
  return fens;
}
}  // namespace

TEST_F(Transcript, ConsoleGameEndsWithTheResultLine) {
  writeFile("vorlak.cfg", CONFIG);
  // Stalemate with the engine (Black) to move.
  Session r = run("setboard 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\ngo\ngetfen\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "1/2-1/2 {stalemate}\n"));
  EXPECT_FALSE(contains(r.out, "\nmove "));
  EXPECT_TRUE(contains(listFileText(), "Result: draw b     0   1 moves stalemate\n"));

  // A mate given on the console ends the game as well.
  fs::remove_all(dir / "list.txt");
  r = run("setboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 30\ngo\ngetfen\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "\nmove d1d8\n"));
  EXPECT_TRUE(contains(r.out, "1-0 {White mates}\n"));
  EXPECT_FALSE(contains(r.out, "/5PPP/6K1 b"));  // the process ended before getfen
  EXPECT_TRUE(contains(listFileText(), "white  30.     Rd8#\t 30000 w     0     2   0x"));
  EXPECT_TRUE(contains(listFileText(), "Result:  win w     0  30 moves White mates\n"));
}

TEST_F(Transcript, XboardGameGoesOnAfterResults) {
  writeFile("vorlak.cfg", CONFIG);
  // The engine is mated: the result is printed and the engine waits for the interface.
  Session r = run("xboard\nsetboard 6k1/5ppp/8/8/8/8/5PPP/3r2K1 w - - 0 1\ngo\ngetfen\nquit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "0-1 {Black mates}\n"));
  EXPECT_TRUE(contains(r.out, "6k1/5ppp/8/8/8/8/5PPP/3r2K1 w - - 0 1\n"));

  // A draw by rule before the search is claimed and the engine does not move: xboard ends
  // the game on the claim, and a move sent after it would be taken as a move of the next
  // game. The game stays as it was until the interface starts another.
  r = run("xboard\nnew\nforce\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\nf3g1\nf6g8\nsd 4\ngo\n"
          "getfen\nresult 1/2-1/2 {repetition}\nnew\nforce\ne2e4\ngetfen\nquit\n");
  EXPECT_TRUE(contains(r.out, "1/2-1/2 {repetition}\n"));
  EXPECT_FALSE(contains(r.out, "\nmove "));
  EXPECT_TRUE(contains(r.out, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 12 7\n"));
  EXPECT_TRUE(contains(r.out, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1\n"));
  // The position right after a set-up (or a pawn move or capture) counts: two cycles back
  // to it make three occurrences.
  r = run("xboard\nsetboard r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 3\n"
          "force\ng1f3\nc6b8\nf3g1\nb8c6\ng1f3\nc6b8\nf3g1\nb8c6\nsd 4\ngo\nquit\n");
  EXPECT_TRUE(contains(r.out, "1/2-1/2 {repetition}\n"));
  EXPECT_FALSE(contains(r.out, "\nmove "));
  r = run("xboard\nsetboard 4k3/4p3/4P3/8/8/8/8/1N2K3 w - - 100 80\nsd 4\ngo\nquit\n");
  EXPECT_TRUE(contains(r.out, "1/2-1/2 {50 move rule}\n"));
  EXPECT_FALSE(contains(r.out, "\nmove "));
  r = run("xboard\nsetboard 8/8/3k4/8/8/3KB3/8/8 w - - 0 1\nsd 4\ngo\nquit\n");
  EXPECT_TRUE(contains(r.out, "1/2-1/2 {not enough material}\n"));
  EXPECT_FALSE(contains(r.out, "\nmove "));
  r = run("xboard\nsetboard 8/8/3k4/4b3/8/3KB3/8/8 w - - 0 1\nsd 4\ngo\nquit\n");
  EXPECT_TRUE(contains(r.out, "1/2-1/2 {not enough material}\n"));  // bishops of one colour

  // Mate is still possible with knight against knight, two knights or bishops of both
  // colours: no claim (xboard would forfeit it), the game goes on.
  for (const char* fen : {"8/8/3kn3/8/8/3KN3/8/8 w - - 0 1", "8/8/3k4/8/8/3KNN2/8/8 w - - 0 1",
                          "8/8/3kb3/8/8/3KB3/8/8 w - - 0 1"}) {
    r = run(std::string("xboard\nsetboard ") + fen + "\nsd 4\ngo\nquit\n");
    EXPECT_FALSE(contains(r.out, "not enough material")) << fen;
    EXPECT_TRUE(contains(r.out, "\nmove ")) << fen;
  }
}

TEST_F(Transcript, XboardMateIsAnnouncedAndKibitzed) {
  writeFile("vorlak.cfg", CONFIG);
  Session r = run("xboard\nsetboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1\ngo\nquit\n");
  EXPECT_TRUE(contains(r.out, "\nmove d1d8\n"));
  EXPECT_TRUE(contains(r.out, "1-0 {White mates}\n"));
  EXPECT_TRUE(contains(r.out, "gameID = "));
  EXPECT_TRUE(hasLineMatching(r.out, "gameID = @, search depth = #, #/ # nodes, score: 30000"));

  // A mate in two is announced; deep enough searches kibitz their line.
  r = run("xboard\nsetboard r1bq1r1k/1pp1Np1p/p2p2pQ/4R3/n7/8/PPPP1PPP/R1B3K1 w - - 0 1\ngo\nquit\n");
  EXPECT_TRUE(contains(r.out, "\nmove e5h5\n"));
  EXPECT_TRUE(contains(r.out, "Announcing checkmate in 1 moves\n") ||
              contains(r.out, "Announcing checkmate in 2 moves\n"));
  EXPECT_TRUE(hasLineMatching(r.out, "tellics kibitz +2999#, # plies # nodes in #s (# Knps)"));
  EXPECT_TRUE(contains(r.out, "tellics kibitz PV: 1. Rh5 "));
}

TEST_F(Transcript, EveryMoveOfASelfPlayGameIsLegal) {
  writeFile("vorlak.cfg", CONFIG);
  // The engine plays both sides at a small depth; its moves go to a second engine as
  // opponent moves, which refuses any illegal one.
  std::string input = "xboard\nnew\nsd 3\n";
  for (int i = 0; i < 60; ++i) input += "go\n";
  input += "quit\n";
  Session r = run(input);
  EXPECT_EQ(r.status, 0);
  std::string replay = "xboard\nnew\nforce\n";
  int moves = 0;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("move ", 0) == 0) {
      replay += line.substr(5) + "\n";
      ++moves;
    }
  EXPECT_GE(moves, 20);
  Session check = run(replay + "quit\n");
  EXPECT_FALSE(contains(check.out, "illegal move"));
}

TEST_F(Transcript, NullMoveIsRefusedInCheck) {
  writeFile("vorlak.cfg", CONFIG);
  Session r = run("xboard\nsetboard 4k3/8/8/8/8/8/4r3/4K3 w - - 0 1\nnull\ngetfen\nquit\n");
  EXPECT_TRUE(contains(r.out, "illegal move: null\n"));
  EXPECT_FALSE(contains(r.out, "\nmove "));
  EXPECT_TRUE(contains(r.out, "4k3/8/8/8/8/8/4r3/4K3 w - - 0 1\n"));
}

// Moves taken back restore every field a FEN shows, across castling, en passant,
// promotion and captures, and the repetition history with them.
TEST_F(Transcript, UndoAndRemoveReturnToEarlierPositions) {
  writeFile("vorlak.cfg", CONFIG);
  const std::vector<std::string> moves = {"e1g1", "e8g8", "a1b1", "d7d5", "e5d6", "e7d6",
                                          "b7a8q", "f8a8"};
  std::string input =
      "xboard\nsetboard r3k2r/pP1ppppp/8/4P3/8/8/8/R3K2R w KQkq - 3 20\nforce\ngetfen\n";
  for (const std::string& m : moves) input += m + "\ngetfen\n";
  for (size_t i = 0; i < moves.size(); ++i) input += "undo\ngetfen\n";
  input += "undo\n";  // nothing left to take back
  for (const std::string& m : moves) input += m + "\n";
  input += "remove\ngetfen\nquit\n";
  Session r = run(input);
  const std::vector<std::string> fens = fenLines(r.out);
  ASSERT_EQ(fens.size(), 2 * moves.size() + 2);
  // fens: the set-up, after each move, then after each undo, then after the remove.
  for (size_t i = 1; i <= moves.size(); ++i)
    EXPECT_EQ(fens[moves.size() + i], fens[moves.size() - i]) << "undo " << i;
  EXPECT_EQ(fens.back(), fens[moves.size() - 2]);
  EXPECT_TRUE(contains(r.out, "Error (no move to take back): undo\n"));
  EXPECT_FALSE(contains(r.out, "illegal move"));

  // A position reached twice, one ply taken back and played again: still the second time,
  // so one more cycle is the third and is claimed.
  r = run("xboard\nnew\nforce\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\nf3g1\nundo\nf3g1\nf6g8\n"
          "g1f3\ng8f6\nf3g1\nf6g8\nsd 4\ngo\nquit\n");
  EXPECT_TRUE(contains(r.out, "1/2-1/2 {repetition}\n"));
}

// xboard's protocol-1 way of setting up a position.
TEST_F(Transcript, EditModeSetsUpWhatSetboardWould) {
  writeFile("vorlak.cfg", CONFIG);
  Session r = run(
      "xboard\nnew\nforce\nedit\n#\nKe1\nRh1\nRa1\nPe4\nc\nKe8\nRa8\nPd4\nQb2\n.\ngetfen\n"
      "setboard r3k3/8/8/8/3pP3/8/1q6/R3K2R w KQq - 0 1\ngetfen\n"
      // A second white king is refused and changes nothing.
      "edit\nKd3\n.\ngetfen\n"
      // Squares emptied one by one, with Black to move.
      "black\nforce\nedit\nxb2\nxd4\n.\ngetfen\n"
      // Moves after an edit in force mode are recorded, not answered.
      "e8c8\ngetfen\nquit\n");
  const std::vector<std::string> fens = fenLines(r.out);
  ASSERT_EQ(fens.size(), 5u) << r.out;
  EXPECT_EQ(fens[0], "r3k3/8/8/8/3pP3/8/1q6/R3K2R w KQq - 0 1");
  EXPECT_EQ(fens[1], fens[0]);
  EXPECT_EQ(fens[2], fens[0]);
  EXPECT_TRUE(contains(r.err, "Illegal position in FEN\n"));
  EXPECT_EQ(fens[3], "r3k3/8/8/8/4P3/8/8/R3K2R b KQq - 0 1");
  EXPECT_EQ(fens[4], "2kr4/8/8/8/4P3/8/8/R3K2R w KQ - 1 2");
  EXPECT_FALSE(contains(r.out, "\nmove "));
}

namespace {
int linesStartingWith(const std::string& text, const std::string& start) {
  int n = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) n += line.rfind(start, 0) == 0;
  return n;
}
}  // namespace

// Every move line and every game's result line reach the list file, however the game
// ends: a result from the interface, a mate or a claim the engine announced, quit in the
// middle of a game, the end of input.
TEST_F(Transcript, ListFileKeepsEveryMoveAndResult) {
  writeFile("vorlak.cfg", CONFIG);
  // Mate announced in xboard mode, then the interface quits without a result command.
  Session r = run("xboard\nsetboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 30\ngo\nquit\n");
  EXPECT_EQ(r.status, 0);
  std::string list = listFileText();
  EXPECT_TRUE(contains(list, "white  30.     Rd8#\t 30000 w"));
  EXPECT_TRUE(contains(list, "Result:  win w     0  30 moves White mates\n"));

  // The same with the interface's result: one result line, the interface's.
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().rfind("list.", 0) == 0) fs::remove(entry.path());
  r = run("xboard\nsetboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 30\ngo\n"
          "result 1-0 {White mates}\nquit\n");
  list = listFileText();
  EXPECT_EQ(linesStartingWith(list, "Result:"), 1) << list;
  EXPECT_TRUE(contains(list, "Result:  win w     0  30 moves {White mates} \n"));

  // The engine mated, then the end of input.
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().rfind("list.", 0) == 0) fs::remove(entry.path());
  r = run("xboard\nsetboard 6k1/5ppp/8/8/8/8/5PPP/3r2K1 w - - 0 1\ngo\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(listFileText(), "Result: lost w     0   1 moves Black mates\n"));

  // A repetition claimed before the search (no move follows); then quit.
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().rfind("list.", 0) == 0) fs::remove(entry.path());
  r = run("xboard\nnew\nforce\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\n"
          "f3g1\nf6g8\nsd 2\ngo\nquit\n");
  list = listFileText();
  EXPECT_EQ(linesStartingWith(list, "white") + linesStartingWith(list, "black"), 12) << list;
  EXPECT_TRUE(contains(list, "Result: draw w     0   7 moves repetition\n")) << list;

  // Quit in the middle of a game: every move is there and no result is made up.
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().rfind("list.", 0) == 0) fs::remove(entry.path());
  r = run("xboard\nnew\nsd 2\ne2e4\nd2d4\nquit\n");
  list = listFileText();
  EXPECT_EQ(linesStartingWith(list, "white") + linesStartingWith(list, "black"), 4) << list;
  EXPECT_EQ(linesStartingWith(list, "Result:"), 0) << list;
  // And a game started after an announced result lists that result first.
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().rfind("list.", 0) == 0) fs::remove(entry.path());
  r = run("xboard\nsetboard 6k1/5ppp/8/8/8/8/5PPP/3r2K1 w - - 0 1\ngo\nnew\nsd 2\ne2e4\nquit\n");
  list = listFileText();
  EXPECT_LT(list.find("Result: lost w     0   1 moves Black mates\n"), list.find("[Event"));
  EXPECT_EQ(linesStartingWith(list, "Result:"), 1) << list;
}
