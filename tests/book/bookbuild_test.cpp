// Book building: PGN games into the text sources, the sources into the books, and the
// position listings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "book/book.h"
#include "book/bookbuild.h"
#include "book_test_util.h"
#include "movegen/notation.h"
#include "test_support.h"

using namespace booktest;

namespace {

using ReadPgn = ScratchDirectory;
using TextBooks = ScratchDirectory;
constexpr auto npos = std::string::npos;

// Alpha wins A with White and C with Black, draws B and loses D with White. A's result
// follows a White move without reply; D ends in mate.
const char* const games =
    "[Event \"A\"]\n[Site \"Here\"]\n[White \"Alpha, A\"]\n[Black \"Beta, B\"]\n"
    "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0\n\n"
    "[Event \"B\"]\n[White \"Beta, B\"]\n[Black \"Alpha, A\"]\n[Result \"1/2-1/2\"]\n\n"
    "1. d4 d5 1/2-1/2\n\n"
    "[Event \"C\"]\n[White \"Gamma, C\"]\n[Black \"Alpha, A\"]\n[Result \"0-1\"]\n\n"
    "1. d4 Nf6 2. c4 g6\n3. Nc3 Bg7 0-1\n\n"
    "[Event \"D\"]\n[White \"Alpha, A\"]\n[Black \"Gamma, C\"]\n[Result \"0-1\"]\n\n"
    "1. f3 e5 2. g4 Qh4# 0-1\n";

// A source without its OpeningNo lines.
std::string unnumbered(const std::string& source) {
  return std::regex_replace(source, std::regex("\\[OpeningNo \"\\d+\"\\]\n"), "");
}

// The one-letter Event names of a source's openings, in order.
std::string eventsOf(const std::string& source) {
  std::string events;
  for (size_t at = 0; (at = source.find("[Event \"", at)) != npos; ++at) events += source[at + 8];
  return events;
}

// readTextBooks in the game of fen; its result and what it printed.
std::pair<bool, std::string> compileSources(const char* fen = "") {
  auto b = makeBoard(fen);
  testing::internal::CaptureStdout();
  const bool written = readTextBooks(&b->side, &b->position, b->records, &b->tables);
  return {written, testing::internal::GetCapturedStdout()};
}

}  // namespace

TEST_F(ReadPgn, AppendsDecisiveGamesInTheSourceLayout) {
  // Numbering follows the largest number at a line start; a missing source starts at 1.
  const std::string old = "[OpeningNo \"7\"]\nx\n[OpeningNo \"3\"]\nNote [OpeningNo \"99\"]\n";
  writeWhole("white", old);
  writeWhole("games.pgn", games);
  ASSERT_TRUE(readPGN("games.pgn", ALL_PLAYERS, 2).read);
  const std::string game =
      "[OpeningWeight 1]\n[Event \"A\"]\n[Site \"Here\"]\n[White \"Alpha, A\"]\n"
      "[Black \"Beta, B\"]\n[Result \"1-0\"]\n1. e4 e5\n2. Nf3 Nc6\n\n";
  EXPECT_EQ(readWhole("white"), old + "[OpeningNo \"8\"]\n" + game);
  EXPECT_EQ(readWhole("black"),
            "[OpeningNo \"1\"]\n[OpeningWeight 1]\n[Event \"C\"]\n[White \"Gamma, C\"]\n"
            "[Black \"Alpha, A\"]\n[Result \"0-1\"]\n1. d4 Nf6\n2. c4 g6\n\n"
            "[OpeningNo \"2\"]\n[OpeningWeight 1]\n[Event \"D\"]\n[White \"Alpha, A\"]\n"
            "[Black \"Gamma, C\"]\n[Result \"0-1\"]\n1. f3 e5\n2. g4 Qh4#\n\n");

  // The result after White's last move is no move, and its pair is dropped.
  readPGN("games.pgn", ALL_PLAYERS, 40);
  EXPECT_EQ(readWhole("white"), old + "[OpeningNo \"8\"]\n" + game + "[OpeningNo \"9\"]\n" + game);
}

TEST_F(ReadPgn, NamedPlayerKeepsOnlyTheGamesTheyWonWithThatColour) {
  writeWhole("games.pgn", games);
  const struct {
    const char* player;
    const char* white;
    const char* black;
  } cases[] = {{ALL_PLAYERS, "A", "CD"}, {"Alpha", "A", "C"}, {"Beta", "", ""}, {"Gamma", "", "D"}};
  for (const auto& c : cases) {
    fs::remove("white");
    fs::remove("black");
    const PgnTally tally = readPGN("games.pgn", c.player, 3);
    EXPECT_EQ(eventsOf(readWhole("white")), c.white) << c.player;
    EXPECT_EQ(eventsOf(readWhole("black")), c.black) << c.player;
    EXPECT_EQ(tally.whiteGames + tally.blackGames,
              int(std::strlen(c.white) + std::strlen(c.black)));
  }
}

TEST_F(ReadPgn, AnnotatedGamesGiveTheSourcesOfTheirPlainScores) {
  // annotated.pgn holds two games of tatamast22.pgn with comments (over several lines,
  // holding tag-like lines), nested variations, NAGs, !/? marks, "10..." numbers, "0-0",
  // ';' comments, CR-LF line ends and no final line feed.
  auto sources = [](const char* pgn) {
    fs::remove("white");
    fs::remove("black");
    readPGN(testDataPath(pgn).c_str(), ALL_PLAYERS, 60);
    return std::pair(readWhole("white"), readWhole("black"));
  };
  const auto [white, black] = sources("pgn/annotated.pgn");
  const auto [plainWhite, plainBlack] = sources("pgn/tatamast22.pgn");
  EXPECT_EQ(eventsOf(white).size() + eventsOf(black).size(), 2u);
  EXPECT_NE(unnumbered(plainWhite).find(unnumbered(white)), npos) << white;
  EXPECT_NE(unnumbered(plainBlack).find(unnumbered(black)), npos) << black;
  EXPECT_NE(white.find("\n40. Rdd7 Rhf8\n\n"), npos);  // White's 41st move had no reply
  EXPECT_NE(black.find("\n37. Qa7+ Kd2\n"), npos);
}

TEST_F(ReadPgn, FixedStorageLimits) {
  std::string pgn = "[Event \"Many tags\"]\n";
  for (int i = 1; i <= 22; ++i) pgn += "[Tag" + std::to_string(i) + " \"x\"]\n";
  pgn += "[Long \"" + std::string(600, 'y') + "\"]\n[Result \"1-0\"]\n\n";
  for (int i = 1; i <= 150; ++i)
    pgn += std::to_string(2 * i - 1) + ". Nf3 Nf6 " + std::to_string(2 * i) +
           ". Ng1 Ng8 ";  // one long line
  pgn +=
      "1-0\n\n[Event \"Over-long move\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Nf3abcdef Nc6 1-0\n"
      "\n[Event \"Set-up position\"]\n[Result \"1-0\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n"
      "\n1. Kb2 Kg2 1-0\n\n[Event \"Own tags\"]\n[OpeningNo \"5\"]\n[OpeningWeight 9]\n"
      "[Result \"1-0\"]\n\n1. c4 e5 1-0\n";
  writeWhole("games.pgn", pgn);
  EXPECT_EQ(readPGN("games.pgn", ALL_PLAYERS, 1000).whiteGames, 2);
  const std::string white = readWhole("white");
  EXPECT_EQ(eventsOf(white), "MO");
  // Twenty tags are kept; the over-long one goes, and the later Result line is still read.
  EXPECT_NE(white.find("[Tag20 \"x\"]\n1. Nf3 Nf6\n"), npos);
  EXPECT_EQ(white.find("[Tag21"), npos);
  EXPECT_EQ(white.find("[Long"), npos);
  EXPECT_NE(white.find("\n256. Ng1 Ng8\n\n"), npos);
  EXPECT_EQ(white.find("\n257. "), npos);
  EXPECT_EQ(white.find("[OpeningNo \"5\"]"), npos);
  EXPECT_EQ(white.find("[OpeningWeight 9]"), npos);
}

TEST_F(ReadPgn, RefusesSourcesAndReportsUnreadableFiles) {
  writeWhole("white", "[OpeningNo \"1\"]\n");
  for (const auto& [file, message] :
       {std::pair{"./white", "readPGN: ./white is a book source, not a PGN file\n"},
        std::pair{"nowhere.pgn", "readPGN: can't read nowhere.pgn\n"}}) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(readPGN(file, ALL_PLAYERS, 5).read);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
  }
  EXPECT_EQ(readWhole("white"), "[OpeningNo \"1\"]\n");
  EXPECT_FALSE(fs::exists("black"));
}

// Sources that cannot be written (a full disk, a temporary file that cannot be made) stay
// as they were, and the engine says so in one line.
TEST_F(ReadPgn, UnwritableSourcesStayAsTheyWere) {
  writeWhole("games.pgn", games);
  ASSERT_TRUE(readPGN("games.pgn", ALL_PLAYERS, 40).read);
  const std::string white = readWhole("white"), black = readWhole("black");
  int status = -1;
  const std::string out = inChild(
      [&] {
        limitFileSize(rlim_t(std::max(white.size(), black.size()) + 40));  // the old sources fit
        std::exit(readPGN("games.pgn", ALL_PLAYERS, 40).read ? 3 : 0);
      },
      &status);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists("white.part") || fs::exists("black.part"));
  EXPECT_TRUE(std::regex_match(
      out, std::regex("readPGN: can't write (white|black) \\(.+\\); the sources are unchanged\n")))
      << out;
  fs::create_directory("black.part");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(readPGN("games.pgn", ALL_PLAYERS, 40).read);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "readPGN: can't write black (Is a directory); the sources are unchanged\n");
  EXPECT_FALSE(fs::exists("white.part"));
  EXPECT_EQ(readWhole("white"), white);
  EXPECT_EQ(readWhole("black"), black);
}

// A source that cannot be read (here a directory) ends the command instead of spinning.
TEST_F(ReadPgn, UnreadableSourceEndsTheCommand) {
  writeWhole("games.pgn", games);
  fs::create_directory("black");
  int status = -1;
  inChild(
      [&] {
        alarm(20);  // a hang ends the child by its signal, not the test run
        readPGN("games.pgn", ALL_PLAYERS, 40);
        std::exit(0);
      },
      &status);
  EXPECT_EQ(status, 0);
}

TEST(SourceMoves, TokensMatchTheAlgebraicTextOfALegalMove) {
  const char* const pawns = "r3k2r/1P6/8/3p4/4P3/8/8/RN1QK1NR w KQkq - 0 1";
  const char* const castles = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
  const char* const knights = "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1";
  // Check and mate signs are ignored, coordinates are no algebraic text, and of two
  // knights the text must name the one that moves.
  const struct {
    const char* fen;
    const char* token;
    const char* move;
  } cases[] = {{pawns, "exd5", "e4d5"},   {pawns, "Nd2", "b1d2"},      {pawns, "Nf3+", "g1f3"},
               {pawns, "Ne2#", "g1e2"},   {pawns, "bxa8=Q+", "b7a8q"}, {pawns, "b8=N", "b7b8n"},
               {pawns, "O-O", "-"},       {pawns, "e4e5", "-"},        {pawns, "", "-"},
               {castles, "O-O", "e8g8"},  {castles, "O-O-O", "e8c8"},  {knights, "Nd2", "-"},
               {knights, "Nbd2", "b1d2"}, {knights, "Nfd2", "f3d2"}};
  for (const auto& c : cases) {
    auto b = makeBoard(c.fen);
    const Move m = findSourceMove(c.token, b->side, &b->position, b->records, &b->tables);
    EXPECT_EQ(m ? coordinates(m) : "-", c.move) << c.token << " in " << c.fen;
  }
}

namespace {

// (side, key, move) -> (weight, opening number) of a book.
using BookContents = std::map<std::tuple<int, uint32_t, Move>, std::pair<int, int>>;

// The book a source should give, replayed with the driver's own move parser, weights 1.
void replayIndependently(const std::string& source, int bookSide, BookContents* book) {
  std::istringstream in(source);
  auto b = makeBoard();
  int opening = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("[OpeningNo \"", 0) == 0) b = makeBoard(), opening = std::stoi(line.substr(12));
    if (line.empty() || line[0] == '[') continue;
    std::istringstream words(line);
    std::string token;
    for (words >> token; words >> token;) {
      char word[WORD_BUFFER];
      std::snprintf(word, sizeof word, "%s", token.c_str());
      const Move m = parseMove(word, b->side, &b->position, b->records, &b->tables);
      ASSERT_NE(m, 0u) << opening << " " << line;
      if (b->side == bookSide) {
        auto& [weight, last] = (*book)[{bookSide, bookKey(&b->records[0]), m}];
        ++weight;
        last = opening;
      }
      b->play(m);
    }
  }
}

}  // namespace

TEST_F(TextBooks, RealGamesBecomeBooksOfLegalMovesWithTheirCounts) {
  for (const char* file : {"pgn/Capablanca.pgn", "pgn/London1851.pgn", "pgn/tatamast22.pgn"})
    ASSERT_TRUE(readPGN(testDataPath(file).c_str(), ALL_PLAYERS, 12).read);
  const auto [written, out] = compileSources("4k3/8/8/8/8/8/8/4K3 b - - 0 1");  // any game
  ASSERT_TRUE(written) << out;

  BookContents expected, found;
  replayIndependently(readWhole("white"), WHITE, &expected);
  replayIndependently(readWhole("black"), BLACK, &expected);
  for (int side : {WHITE, BLACK})
    for (uint32_t slot = 0; slot < BOOK_SLOTS; ++slot)
      if (const BookEntry& e = bookOf(side)[slot]; e.weight)
        found[{side, e.key, e.move}] = {e.weight, e.openingNo};
  EXPECT_TRUE(found == expected) << found.size() << " entries, " << expected.size() << " expected";

  // w then b progress characters, the book moves and how full the books are.
  std::smatch m;
  ASSERT_TRUE(std::regex_match(out, m,
                               std::regex("Reading opening books: w+b+\n"
                                          "(\\d+) positions in \\S+ seconds\n"
                                          "Unique positions: (\\S+) percent of bookSize\n")))
      << out;
  int moves = 0;
  for (const auto& entry : expected) moves += entry.second.first;
  EXPECT_EQ(std::stoi(m[1]), moves);
  EXPECT_NEAR(std::stod(m[2]), 100.0 * double(found.size()) / (2.0 * bookSize), 0.005);

  static BookEntry back[BOOK_SLOTS];
  for (int side : {WHITE, BLACK}) {
    ASSERT_TRUE(readBookFile(side == WHITE ? "white.bin" : "black.bin", back));
    EXPECT_EQ(std::memcmp(back, bookOf(side), sizeof back), 0) << side;
  }
}

TEST_F(TextBooks, WeightsOpeningsAndRestarts) {
  writeWhole("white",
             "[OpeningNo \"1\"]\n1. e4 e5\n"  // no weight yet: nothing is added
             "[OpeningNo \"2\"]\n[OpeningWeight 70000]\n1. e4 e5\n"
             "[OpeningNo \"3\"]\n[OpeningWeight 3]\n[Event \"x\"]\n1. e4 c5\n  \t\n2. Nf3 d6\n"
             "[OpeningNo \"4\"]\n[OpeningWeight -5]\n1. d4 d5\n[OpeningWeight 2]\n");
  writeWhole("black", "[OpeningNo \"9\"]\r\n1. d4 Nf6\r\n");  // the weight 2 carries over
  const auto [written, out] = compileSources();
  EXPECT_TRUE(written);
  EXPECT_NE(out.find("\n6 positions in "), npos) << out;
  EXPECT_EQ(occupiedSlots(whiteBook), 2u);
  EXPECT_EQ(occupiedSlots(blackBook), 1u);

  auto probe = [](int side, const std::vector<const char*>& moves) {
    auto board = makeBoard();
    for (const char* m : moves)
      board->play(findSourceMove(m, board->side, &board->position, board->records, &board->tables));
    const BookEntry* e = chooseBookEntry(bookOf(side), bookKey(&board->records[0]), false);
    return e ? std::make_tuple(coordinates(e->move), int(e->weight), int(e->openingNo))
             : std::make_tuple(std::string("-"), 0, 0);
  };
  EXPECT_EQ(probe(WHITE, {}), std::make_tuple(std::string("e2e4"), 65535, 3));
  EXPECT_EQ(probe(WHITE, {"e4", "c5"}), std::make_tuple(std::string("g1f3"), 3, 3));
  EXPECT_EQ(probe(BLACK, {"d4"}), std::make_tuple(std::string("g8f6"), 2, 9));
  EXPECT_EQ(probe(BLACK, {"e4"}), std::make_tuple(std::string("-"), 0, 0));
}

TEST_F(TextBooks, MissingSourceChangesNothingAndAnUnwritableBookIsReported) {
  writeWhole("white", "");
  whiteBook[3] = {1, 2, 3, 4};
  EXPECT_EQ(
      compileSources(),
      std::pair(false, std::string("readTextBooks: can't read black; the books are unchanged\n")));
  EXPECT_EQ(whiteBook[3].weight, 4);
  EXPECT_FALSE(fs::exists("white.bin"));

  writeWhole("black", "");
  fs::create_directory("black.bin");  // cannot be replaced by a file
  const auto [written, out] = compileSources();
  EXPECT_FALSE(written);
  EXPECT_NE(out.find("\n0 positions in "), npos) << out;
  EXPECT_NE(out.find("readTextBooks: can't write black.bin\n"), npos) << out;
  EXPECT_EQ(occupiedSlots(whiteBook), 0u);
  EXPECT_EQ(readWhole("white.bin"), std::string(size_t(BOOK_FILE_BYTES), '\0'));
}

TEST_F(TextBooks, ListingsShowWhereTheBookSideStaysAhead) {
  auto shuffle = [](int from, int to, const char* odd, const char* even) {
    std::string moves;  // knights out and back
    for (int i = from; i <= to; ++i) moves += std::to_string(i) + (i % 2 ? odd : even);
    return moves;
  };
  // White wins a pawn on move 12 and keeps it: listed at its third move ahead (ply 28).
  const std::string whiteWins = shuffle(1, 10, ". Nf3 Nf6\n", ". Ng1 Ng8\n") +
                                "11. e4 d5\n12. exd5 a6\n13. Nc3 a5\n14. Nf3 a4\n"
                                "15. Bc4 a3\n16. bxa3 Nf6\n";
  // Two moves earlier the third move ahead is ply 26, too early; a lead from move 2 on
  // is three moves old long before that.
  const std::string tooEarly = shuffle(1, 9, ". Nf3 Nf6\n", ". Ng1 Ng8\n") +
                               "10. e4 d5\n11. exd5 a6\n12. Nc3 a5\n13. Bc4 a4\n14. Qe2 a3\n";
  const std::string longAhead =
      "1. e4 d5\n2. exd5 Nf6\n" + shuffle(3, 16, ". Nc3 Ng8\n", ". Nb1 Nf6\n");
  writeWhole("white", "[OpeningNo \"5\"]\n" + whiteWins + "[OpeningNo \"6\"]\n" + whiteWins +
                          "[OpeningNo \"7\"]\n" + tooEarly + "[OpeningNo \"8\"]\n" + longAhead);
  // Black wins a pawn on move 12: judged after White's moves, listed at ply 29.
  writeWhole("black", "[OpeningNo \"8\"]\n" + shuffle(1, 10, ". Nf3 Nf6\n", ". Ng1 Ng8\n") +
                          "11. d4 e5\n12. a3 exd4\n13. a4 Nc6\n14. a5 Nf6\n15. h3 Be7\n");
  auto b = makeBoard();
  testing::internal::CaptureStdout();
  whiteFEN(&b->side, &b->position, b->records, &b->tables);
  blackFEN(&b->side, &b->position, b->records, &b->tables);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - 18 10 5 9\n"
            "rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - 18 10 6 9\n"
            "rnbqkb1r/pppppppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 19 10 8 10\n");
}
