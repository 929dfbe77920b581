#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "board/makemove.h"
#include "movegen/notation.h"
#include "test_support.h"

namespace {

// The movetext of each game in a PGN file, as SAN tokens.
std::vector<std::vector<std::string>> readGames(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> games;
  std::vector<std::string> moves;
  std::string line;
  auto finish = [&] {
    if (!moves.empty()) games.push_back(moves);
    moves.clear();
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      finish();
      continue;
    }
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
      auto dot = word.find_last_of('.');
      if (dot != std::string::npos) word = word.substr(dot + 1);
      if (word.empty() || word == "1-0" || word == "0-1" || word == "1/2-1/2" || word == "*")
        continue;
      moves.push_back(word);
    }
  }
  finish();
  return games;
}

Move find(TestBoard& board, const std::string& text) {
  char word[WORD_BUFFER];
  std::snprintf(word, sizeof word, "%s", text.c_str());
  return parseMove(word, board.side, &board.position, board.records, &board.tables);
}

std::string sanOf(TestBoard& board, Move move) {
  char text[MOVE_TEXT_SIZE];
  san(board.side, 0, move, text, &board.position, board.records, &board.tables);
  return text;
}

// The final position of each game with moves, from an independent move library; the
// en-passant field is left out since that library writes it only when a capture exists.
std::vector<std::string> readFinalFens(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> fens;
  for (std::string line; std::getline(in, line);) fens.push_back(line);
  return fens;
}

std::string withoutEnPassant(const std::string& fen) {
  std::istringstream in(fen);
  std::string f[6];
  for (auto& field : f) in >> field;
  return f[0] + " " + f[1] + " " + f[2] + " - " + f[4] + " " + f[5];
}

}  // namespace

// Real games typed move by move in SAN and in coordinates: every move is found, the
// SAN the engine writes is the file's text, and each game ends in the right position.
TEST(Notation, RealGamesRoundTrip) {
  int games = 0, moves = 0, matesWrittenAsChecks = 0;
  for (const std::string name : {"Capablanca", "London1851", "tatamast22"}) {
    const std::string file = "pgn/" + name + ".pgn";
    const auto finals = readFinalFens(testDataPath("pgn/" + name + ".final-fens"));
    size_t index = 0;
    for (const auto& game : readGames(testDataPath(file))) {
      TestBoard bySan, byCoordinates;
      for (const auto& token : game) {
        const Move move = find(bySan, token);
        ASSERT_NE(move, 0u) << file << " game " << games << ": " << token;
        // The files write a mate with "+"; that is the only difference allowed.
        std::string written = sanOf(bySan, move);
        if (written.back() == '#' && token.back() == '+') {
          written.back() = '+';
          ++matesWrittenAsChecks;
        }
        EXPECT_EQ(written, token) << file << " game " << games;
        char coordinate[MOVE_TEXT_SIZE];
        moveToCoordinates(move, coordinate);
        EXPECT_EQ(find(byCoordinates, coordinate), move) << coordinate;
        bySan.play(move);
        byCoordinates.play(move);
        ++moves;
      }
      EXPECT_EQ(bySan.fen(), byCoordinates.fen());
      ASSERT_LT(index, finals.size());
      EXPECT_EQ(withoutEnPassant(bySan.fen()), finals[index++]) << file << " game " << games;
      ++games;
    }
  }
  EXPECT_EQ(games, 597 + 251 + 91 - 4);  // four forfeits have no moves
  EXPECT_GT(moves, 70000);
  EXPECT_EQ(matesWrittenAsChecks, 32);
}

TEST(Notation, SpecialMoves) {
  TestBoard board("r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1");
  auto sanFor = [&](const char* coordinates) {
    Move m = find(board, coordinates);
    EXPECT_NE(m, 0u) << coordinates;
    return m ? sanOf(board, m) : std::string();
  };
  EXPECT_EQ(sanFor("e1g1"), "O-O");
  EXPECT_EQ(sanFor("e1c1"), "O-O-O");
  EXPECT_EQ(sanFor("e5d6"), "exd6");
  EXPECT_EQ(sanFor("a1a8"), "Rxa8+");
  EXPECT_EQ(find(board, "0-0"), 0u);
  EXPECT_EQ(find(board, "E1G1"), 0u);  // matching is case-sensitive

  board.setFen("3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(sanFor("e7e8q"), "e8=Q+");
  EXPECT_EQ(sanFor("e7e8n"), "e8=N");
  EXPECT_EQ(sanFor("e7d8q"), "exd8=Q+");
  char coordinates[MOVE_TEXT_SIZE];
  moveToCoordinates(find(board, "e8=Q"), coordinates);
  EXPECT_STREQ(coordinates, "e7e8q");

  // Disambiguation by file, by rank, and for promoted bishops.
  board.setFen("4k3/8/8/R7/8/8/8/RN2K3 w - - 0 1");
  EXPECT_EQ(sanFor("a1a3"), "R1a3");
  board.setFen("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
  EXPECT_EQ(sanFor("b1d2"), "Nbd2");
  board.setFen("4k3/8/8/8/8/8/8/2B1KB2 w - - 0 1");
  EXPECT_EQ(sanFor("c1e3"), "Be3");
  board.setFen("4k3/8/8/8/8/B7/8/4K1B1 w - - 0 1");  // a promoted second dark-squared bishop
  EXPECT_EQ(sanFor("a3c5"), "Bac5");
  // Three queens reach b2: for Qa1 one shares the file and one the rank, so the whole
  // square is named; Qa3 shares only the file, Qc1 neither.
  board.setFen("8/7k/8/8/8/Q7/8/Q1Q3K1 w - - 0 1");
  EXPECT_EQ(sanFor("a1b2"), "Qa1b2");
  EXPECT_EQ(sanFor("a3b2"), "Q3b2");
  EXPECT_EQ(sanFor("c1b2"), "Qcb2");
  EXPECT_EQ(find(board, "Qa1b2"), find(board, "a1b2"));

  // Check and mate signs; input with or without them.
  board.setFen("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  EXPECT_EQ(sanFor("a1a8"), "Ra8#");
  EXPECT_NE(find(board, "Ra8"), 0u);
  EXPECT_EQ(find(board, "Ra8"), find(board, "Ra8#"));
  board.setFen("6k1/5pp1/8/8/8/8/8/R5K1 w - - 0 1");
  EXPECT_EQ(sanFor("a1a8"), "Ra8+");
  char word[WORD_BUFFER] = "Ra8+#";
  EXPECT_NE(parseMove(word, board.side, &board.position, board.records, &board.tables), 0u);
  EXPECT_STREQ(word, "Ra8");
}
