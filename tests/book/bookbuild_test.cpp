// Book building: PGN games into the text sources, the sources into the books, and the
// position listings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "board/makemove.h"
#include "book/book.h"
#include "book/bookbuild.h"
#include "book_test_util.h"
#include "movegen/notation.h"
#include "test_support.h"

using namespace booktest;

namespace {

using ReadPgn = ScratchDirectory;
using TextBooks = ScratchDirectory;

const char* const exportGames =
    "[Event \"Test A\"]\n"
    "[Site \"Here\"]\n"
    "[White \"Alpha, A\"]\n"
    "[Black \"Beta, B\"]\n"
    "[Result \"1-0\"]\n"
    "\n"
    "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6\n"
    "8. c3 O-O 9. h3 1-0\n"
    "\n"
    "[Event \"Test B\"]\n"
    "[White \"Beta, B\"]\n"
    "[Black \"Alpha, A\"]\n"
    "[Result \"1/2-1/2\"]\n"
    "\n"
    "1. d4 d5 2. c4 e6 1/2-1/2\n"
    "\n"
    "[Event \"Test C\"]\n"
    "[White \"Gamma, C\"]\n"
    "[Black \"Alpha, A\"]\n"
    "[Result \"0-1\"]\n"
    "\n"
    "1. d4 Nf6 2. c4 g6 3. Nc3 Bg7 4. e4 d6 5. f3 O-O 6. Be3 e5 7. d5 Nh5 8. Qd2 Qh4+\n"
    "9. g3 Nxg3 10. Qf2 Nxf1 0-1\n"
    "\n"
    "[Event \"Test D\"]\n"
    "[White \"Alpha, A\"]\n"
    "[Black \"Gamma, C\"]\n"
    "[Result \"0-1\"]\n"
    "\n"
    "1. f3 e5 2. g4 Qh4# 0-1\n";

const char* const gameA5 =
    "[OpeningWeight 1]\n"
    "[Event \"Test A\"]\n"
    "[Site \"Here\"]\n"
    "[White \"Alpha, A\"]\n"
    "[Black \"Beta, B\"]\n"
    "[Result \"1-0\"]\n"
    "1. e4 e5\n"
    "2. Nf3 Nc6\n"
    "3. Bb5 a6\n"
    "4. Ba4 Nf6\n"
    "5. O-O Be7\n"
    "\n";

const char* const gameC3 =
    "[OpeningWeight 1]\n"
    "[Event \"Test C\"]\n"
    "[White \"Gamma, C\"]\n"
    "[Black \"Alpha, A\"]\n"
    "[Result \"0-1\"]\n"
    "1. d4 Nf6\n"
    "2. c4 g6\n"
    "3. Nc3 Bg7\n"
    "\n";

std::string numbered(int n, const char* game) {
  return "[OpeningNo \"" + std::to_string(n) + "\"]\n" + game;
}

int lineCount(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (size_t at = 0; (at = text.find("\n" + prefix, at)) != std::string::npos; ++at) ++n;
  return n + (text.rfind(prefix, 0) == 0);
}

// The openings of a source without their OpeningNo lines.
std::multiset<std::string> openingsOf(const std::string& source) {
  std::multiset<std::string> openings;
  std::string current;
  std::istringstream in(source);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("[OpeningNo ", 0) == 0) continue;
    if (line.empty()) {
      openings.insert(current);
      current.clear();
    } else {
      current += line + "\n";
    }
  }
  return openings;
}

}  // namespace

TEST_F(ReadPgn, AppendsDecisiveGamesInTheSourceLayout) {
  writeWhole("games.pgn", exportGames);
  PgnTally tally = readPGN("games.pgn", ALL_PLAYERS, 5);
  EXPECT_TRUE(tally.read);
  EXPECT_EQ(tally.whiteGames, 1);
  EXPECT_EQ(tally.blackGames, 2);
  EXPECT_EQ(readWhole("white"), numbered(1, gameA5));
  const std::string black = readWhole("black");
  EXPECT_EQ(black.substr(0, black.find("[OpeningNo \"2\"]")),
            numbered(1, "[OpeningWeight 1]\n"
                        "[Event \"Test C\"]\n"
                        "[White \"Gamma, C\"]\n"
                        "[Black \"Alpha, A\"]\n"
                        "[Result \"0-1\"]\n"
                        "1. d4 Nf6\n2. c4 g6\n3. Nc3 Bg7\n4. e4 d6\n5. f3 O-O\n\n"));
  // The short game keeps its two pairs, the mate sign included.
  EXPECT_NE(black.find("[OpeningNo \"2\"]\n[OpeningWeight 1]\n[Event \"Test D\"]\n"),
            std::string::npos);
  EXPECT_NE(black.find("1. f3 e5\n2. g4 Qh4#\n\n"), std::string::npos);

  // Numbering goes on after the largest number; the result token after White's last
  // move is no move, and the incomplete pair is left out.
  tally = readPGN("games.pgn", ALL_PLAYERS, 40);
  const std::string white = readWhole("white");
  EXPECT_NE(white.find("[OpeningNo \"2\"]\n"), std::string::npos);
  EXPECT_NE(white.find("8. c3 O-O\n\n"), std::string::npos);
  EXPECT_EQ(white.find("9. "), std::string::npos);
  EXPECT_NE(readWhole("black").find("10. Qf2 Nxf1\n\n"), std::string::npos);
  EXPECT_EQ(lineCount(readWhole("black"), "[OpeningNo"), 4);

  // No move pairs at all: the tags alone.
  fs::remove("white");
  readPGN("games.pgn", ALL_PLAYERS, 0);
  EXPECT_NE(readWhole("white").find("[Result \"1-0\"]\n\n"), std::string::npos);
}

TEST_F(ReadPgn, NamedPlayerKeepsOnlyTheGamesTheyWon) {
  writeWhole("games.pgn", exportGames);
  PgnTally tally = readPGN("games.pgn", "Alpha", 3);
  EXPECT_EQ(tally.whiteGames, 1);  // A, won with White; D was lost with White
  EXPECT_EQ(tally.blackGames, 1);  // C, won with Black
  EXPECT_NE(readWhole("white").find("[Event \"Test A\"]"), std::string::npos);
  EXPECT_EQ(readWhole("black"), numbered(1, gameC3));
  tally = readPGN("games.pgn", "Beta", 3);  // lost A, drew B
  EXPECT_EQ(tally.whiteGames + tally.blackGames, 0);
}

TEST_F(ReadPgn, OpeningNumbersFollowTheLargestAtLineStart) {
  writeWhole("white", "[OpeningNo \"7\"]\nx\n[OpeningNo \"3\"]\nNote [OpeningNo \"99\"]\n");
  writeWhole("games.pgn", exportGames);
  readPGN("games.pgn", ALL_PLAYERS, 1);
  const std::string white = readWhole("white");
  EXPECT_NE(white.find("[OpeningNo \"8\"]\n[OpeningWeight 1]\n[Event \"Test A\"]"),
            std::string::npos);
  EXPECT_EQ(readWhole("black").rfind("[OpeningNo \"1\"]\n", 0), 0u);  // missing: from 1
}

TEST_F(ReadPgn, AnnotatedGamesGiveTheSourcesOfTheirPlainScores) {
  // annotated.pgn holds two games of tatamast22.pgn with comments (over several lines,
  // holding tag-like lines), nested variations, NAGs, !/? marks, "10..." numbers, "0-0",
  // ';' comments, CR-LF line ends and no final line feed.
  readPGN(testDataPath("pgn/annotated.pgn").c_str(), ALL_PLAYERS, 60);
  const std::string annotatedWhite = readWhole("white"), annotatedBlack = readWhole("black");
  fs::remove("white");
  fs::remove("black");
  readPGN(testDataPath("pgn/tatamast22.pgn").c_str(), ALL_PLAYERS, 60);
  const auto plainWhite = openingsOf(readWhole("white")), plainBlack = openingsOf(readWhole("black"));
  const auto white = openingsOf(annotatedWhite), black = openingsOf(annotatedBlack);
  ASSERT_EQ(white.size(), 1u);
  ASSERT_EQ(black.size(), 1u);
  EXPECT_EQ(plainWhite.count(*white.begin()), 1u) << *white.begin();
  EXPECT_EQ(plainBlack.count(*black.begin()), 1u) << *black.begin();
  EXPECT_EQ(white.begin()->find("\n41. "), std::string::npos);  // White's last move is lost
  EXPECT_NE(white.begin()->find("\n40. Rdd7 Rhf8\n"), std::string::npos);
  EXPECT_NE(black.begin()->find("\n37. Qa7+ Kd2\n"), std::string::npos);
}

TEST_F(ReadPgn, FixedStorageLimits) {
  std::string pgn = "[Event \"Many tags\"]\n";
  for (int i = 1; i <= 22; ++i) pgn += "[Tag" + std::to_string(i) + " \"x\"]\n";
  pgn += "[Long \"" + std::string(600, 'y') + "\"]\n[Result \"1-0\"]\n\n";
  for (int i = 1; i <= 150; ++i) pgn += std::to_string(2 * i - 1) + ". Nf3 Nf6 " +
                                        std::to_string(2 * i) + ". Ng1 Ng8 ";  // one long line
  pgn += "1-0\n\n[Event \"Over-long move\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Nf3abcdef Nc6 1-0\n"
         "\n[Event \"Set-up position\"]\n[Result \"1-0\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n"
         "\n1. Kb2 Kg2 1-0\n\n[Event \"Own tags\"]\n[OpeningNo \"5\"]\n[OpeningWeight 9]\n"
         "[Result \"1-0\"]\n\n1. c4 e5 1-0\n";
  writeWhole("games.pgn", pgn);
  const PgnTally tally = readPGN("games.pgn", ALL_PLAYERS, 1000);
  EXPECT_EQ(tally.whiteGames, 2);
  const std::string white = readWhole("white");
  // Twenty tags are kept; the over-long one goes, and the later Result line is still read.
  EXPECT_NE(white.find("[Tag20 \"x\"]\n1. Nf3 Nf6\n"), std::string::npos);
  EXPECT_EQ(white.find("[Tag21"), std::string::npos);
  EXPECT_EQ(white.find("[Long"), std::string::npos);
  EXPECT_EQ(lineCount(white, "256. "), 1);
  EXPECT_EQ(lineCount(white, "257. "), 0);
  EXPECT_EQ(white.find("Over-long"), std::string::npos);
  EXPECT_EQ(white.find("Set-up"), std::string::npos);
  EXPECT_EQ(lineCount(white, "[OpeningNo"), 2);
  EXPECT_EQ(lineCount(white, "[OpeningWeight 1]"), 2);
  EXPECT_EQ(white.find("[OpeningWeight 9]"), std::string::npos);
}

TEST_F(ReadPgn, RefusesSourcesAndReportsUnreadableFiles) {
  writeWhole("white", "[OpeningNo \"1\"]\n");
  testing::internal::CaptureStdout();
  PgnTally tally = readPGN("./white", ALL_PLAYERS, 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "readPGN: ./white is a book source, not a PGN file\n");
  EXPECT_FALSE(tally.read);
  testing::internal::CaptureStdout();
  tally = readPGN("nowhere.pgn", ALL_PLAYERS, 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "readPGN: can't read nowhere.pgn\n");
  EXPECT_FALSE(tally.read);
  EXPECT_EQ(readWhole("white"), "[OpeningNo \"1\"]\n");
  EXPECT_FALSE(fs::exists("black"));
}

namespace {

bool leftoversIn(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".part") return true;
  return false;
}

}  // namespace

// Sources that cannot be written (a full disk, a directory the engine may not write in)
// stay as they were, the books too, and the engine says so in one line.
TEST_F(ReadPgn, FullDiskOrUnwritableDirectoryLeavesSourcesAndBooksAsTheyWere) {
  writeWhole("games.pgn", exportGames);
  ASSERT_TRUE(readPGN("games.pgn", ALL_PLAYERS, 40).read);
  const std::string white = readWhole("white"), black = readWhole("black");
  writeWhole("white.bin", "old white book");
  int status = 0;
  // Room for copies of the old sources, not for the new games.
  const rlim_t room = rlim_t(std::max(white.size(), black.size()) + 40);
  std::string out = inChild(
      [&] {
        limitFileSize(room);
        std::exit(readPGN("games.pgn", ALL_PLAYERS, 40).read ? 3 : 0);
      },
      &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.rfind("readPGN: can't write ", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  EXPECT_NE(out.find("; the sources are unchanged\n"), std::string::npos) << out;
  EXPECT_EQ(readWhole("white"), white);
  EXPECT_EQ(readWhole("black"), black);
  EXPECT_FALSE(leftoversIn(dir));

  // The books: the compiled tables do not fit either, the old files stay.
  out = inChild(
      [&] {
        limitFileSize(1 << 16);
        auto b = makeBoard();
        std::exit(readTextBooks(&b->side, &b->position, b->records, &b->tables) ? 3 : 0);
      },
      &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("readTextBooks: can't write white.bin\n"), std::string::npos) << out;
  EXPECT_EQ(readWhole("white.bin"), "old white book");
  EXPECT_FALSE(fs::exists("black.bin"));
  EXPECT_FALSE(leftoversIn(dir));

  // A directory without write permission (the child gives up root's right to ignore it).
  chmod(dir.c_str(), 0555);
  out = inChild(
      [&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::exit(4);
        std::exit(readPGN("games.pgn", ALL_PLAYERS, 40).read ? 3 : 0);
      },
      &status);
  chmod(dir.c_str(), 0755);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "readPGN: can't write white (Permission denied); the sources are unchanged\n");
  EXPECT_EQ(readWhole("white"), white);
  EXPECT_EQ(readWhole("black"), black);
  EXPECT_FALSE(leftoversIn(dir));
}

TEST(SourceMoves, TokensMatchTheAlgebraicTextOfALegalMove) {
  auto b = makeBoard("r3k2r/1P6/8/3p4/4P3/8/8/RN1QK1NR w KQkq - 0 1");
  auto find = [&](const char* token) {
    const Move m = findSourceMove(token, b->side, &b->position, b->records, &b->tables);
    return m ? coordinates(m) : std::string("-");
  };
  EXPECT_EQ(find("exd5"), "e4d5");
  EXPECT_EQ(find("Nd2"), "b1d2");
  EXPECT_EQ(find("Nf3+"), "g1f3");  // check and mate signs are cut from the third character
  EXPECT_EQ(find("Ne2#"), "g1e2");
  EXPECT_EQ(find("bxa8=Q+"), "b7a8q");
  EXPECT_EQ(find("b8=N"), "b7b8n");
  EXPECT_EQ(find("O-O"), "-");  // no knight-side castling with the knight on g1
  EXPECT_EQ(find("O-O-O"), "-");
  EXPECT_EQ(find("e5"), "e4e5");
  EXPECT_EQ(find("e4e5"), "-");  // coordinates are not algebraic text
  EXPECT_EQ(find(""), "-");
  EXPECT_EQ(find("Qd3"), "d1d3");
  auto knights = makeBoard("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
  b = std::move(knights);
  EXPECT_EQ(find("Nd2"), "-");  // ambiguous: the text names the file
  EXPECT_EQ(find("Nbd2"), "b1d2");
  EXPECT_EQ(find("Nfd2"), "f3d2");
}

namespace {

struct Replayed {
  uint64_t weight = 0;
  int opening = 0;
};
using BookContents = std::map<std::tuple<int, uint32_t, Move>, Replayed>;

// The books the sources should give, by replaying them with the driver's own move
// parser, all weights 1.
void replayIndependently(const std::string& source, int bookSide, BookContents* book) {
  std::istringstream in(source);
  auto b = makeBoard();
  int opening = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("[OpeningNo \"", 0) == 0) {
      b = makeBoard();
      opening = std::stoi(line.substr(12));
    }
    if (line.empty() || line[0] == '[') continue;
    std::istringstream words(line);
    std::string number, tokens[2];
    words >> number >> tokens[0] >> tokens[1];
    for (std::string& token : tokens) {
      char word[WORD_BUFFER];
      std::snprintf(word, sizeof word, "%s", token.c_str());
      const Move m = parseMove(word, b->side, &b->position, b->records, &b->tables);
      ASSERT_NE(m, 0u) << opening << " " << line;
      if (b->side == bookSide) {
        Replayed& r = (*book)[{bookSide, uint32_t(b->records[0].hashKey), m}];
        ++r.weight;
        r.opening = opening;
      }
      b->play(m);
    }
  }
}

}  // namespace

TEST_F(TextBooks, RealGamesBecomeBooksOfLegalMovesWithTheirCounts) {
  for (const char* file : {"pgn/Capablanca.pgn", "pgn/London1851.pgn", "pgn/tatamast22.pgn"})
    ASSERT_TRUE(readPGN(testDataPath(file).c_str(), ALL_PLAYERS, 12).read);
  auto b = makeBoard("4k3/8/8/8/8/8/8/4K3 b - - 0 1");  // whatever the current game is
  testing::internal::CaptureStdout();
  ASSERT_TRUE(readTextBooks(&b->side, &b->position, b->records, &b->tables));
  const std::string out = testing::internal::GetCapturedStdout();

  BookContents expected;
  replayIndependently(readWhole("white"), WHITE, &expected);
  replayIndependently(readWhole("black"), BLACK, &expected);
  uint64_t moves = 0;
  for (const auto& [entry, r] : expected) moves += r.weight;
  size_t found = 0;
  for (int side : {WHITE, BLACK}) {
    const BookEntry* table = bookOf(side);
    for (uint32_t slot = 0; slot < BOOK_SLOTS; ++slot) {
      const BookEntry& e = table[slot];
      if (!e.weight) continue;
      ++found;
      const auto it = expected.find({side, e.key, e.move});
      ASSERT_NE(it, expected.end()) << "slot " << slot;
      EXPECT_EQ(e.weight, it->second.weight);
      EXPECT_EQ(e.openingNo, it->second.opening);
      EXPECT_EQ(findBookSlot(table, e.key, e.move), int64_t(slot));  // on its probe run
    }
  }
  EXPECT_EQ(found, expected.size());

  // "Reading opening books: ", w and b progress characters, then the two summary lines.
  const std::string head = "Reading opening books: ";
  ASSERT_EQ(out.rfind(head, 0), 0u) << out;
  const size_t lineEnd = out.find('\n');
  const std::string progress = out.substr(head.size(), lineEnd - head.size());
  const size_t firstB = progress.find('b');
  EXPECT_GT(firstB, 0u);
  EXPECT_EQ(progress.find_first_not_of('w'), firstB);
  EXPECT_EQ(progress.find_first_not_of('b', firstB), std::string::npos);
  unsigned long long positions = 0;
  double seconds = -1;
  char unique[32] = "", expectedUnique[32];
  ASSERT_EQ(std::sscanf(out.c_str() + lineEnd,
                        "\n%llu positions in %lf seconds\nUnique positions: %31s", &positions,
                        &seconds, unique),
            3)
      << out;
  EXPECT_EQ(positions, moves);
  std::snprintf(expectedUnique, sizeof expectedUnique, "%2.2f",
                100.0 * double(found) / (2.0 * bookSize));
  EXPECT_STREQ(unique, expectedUnique);
  EXPECT_EQ(out.substr(out.size() - 21), " percent of bookSize\n");

  // The files hold the tables; the replay left the start position with White to move.
  static BookEntry back[BOOK_SLOTS];
  ASSERT_TRUE(readBookFile("white.bin", back));
  EXPECT_EQ(std::memcmp(back, whiteBook, sizeof back), 0);
  ASSERT_TRUE(readBookFile("black.bin", back));
  EXPECT_EQ(std::memcmp(back, blackBook, sizeof back), 0);
}

TEST_F(TextBooks, WeightsOpeningsAndRestarts) {
  writeWhole("white",
            "[OpeningNo \"1\"]\n1. e4 e5\n"  // no weight yet: nothing is added
            "[OpeningNo \"2\"]\n[OpeningWeight 70000]\n1. e4 e5\n"
            "[OpeningNo \"3\"]\n[OpeningWeight 3]\n[Event \"x\"]\n1. e4 c5\n  \t\n2. Nf3 d6\n"
            "[OpeningNo \"4\"]\n[OpeningWeight -5]\n1. d4 d5\n[OpeningWeight 2]\n");
  writeWhole("black", "[OpeningNo \"9\"]\r\n1. d4 Nf6\r\n");  // the weight 2 carries over
  auto b = makeBoard();
  testing::internal::CaptureStdout();
  ASSERT_TRUE(readTextBooks(&b->side, &b->position, b->records, &b->tables));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("\n6 positions in "), std::string::npos) << out;
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

TEST_F(TextBooks, MissingSourceChangesNothingAndEmptySourcesGiveEmptyBooks) {
  writeWhole("white", "");
  whiteBook[3] = {1, 2, 3, 4};
  auto b = makeBoard();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(readTextBooks(&b->side, &b->position, b->records, &b->tables));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "readTextBooks: can't read black; the books are unchanged\n");
  EXPECT_EQ(whiteBook[3].weight, 4);
  EXPECT_FALSE(fs::exists("white.bin"));

  writeWhole("black", "");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(readTextBooks(&b->side, &b->position, b->records, &b->tables));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("\n0 positions in "), std::string::npos);
  EXPECT_EQ(occupiedSlots(whiteBook), 0u);
  EXPECT_EQ(readWhole("black.bin"), std::string(size_t(BOOK_FILE_BYTES), '\0'));
}

TEST_F(TextBooks, ListingsShowWhereTheBookSideStaysAhead) {
  std::string shuffle;  // ten moves of knights out and back, the start position again
  for (int i = 1; i <= 10; ++i)
    shuffle += std::to_string(i) + (i % 2 ? ". Nf3 Nf6\n" : ". Ng1 Ng8\n");
  // White wins a pawn on move 12 and keeps it: listed at its third move ahead (ply 28).
  const std::string whiteWins = shuffle + "11. e4 d5\n12. exd5 a6\n13. Nc3 a5\n14. Nf3 a4\n"
                                          "15. Bc4 a3\n16. bxa3 Nf6\n";
  writeWhole("white", "[OpeningNo \"5\"]\n" + whiteWins + "[OpeningNo \"6\"]\n" + whiteWins +
                         "[OpeningNo \"7\"]\n1. e4 d5\n2. exd5 Nf6\n3. Nc3 Nbd7\n4. Nf3 Nb6\n");
  // Black wins a pawn on move 12: judged after White's moves, listed at ply 29.
  writeWhole("black", "[OpeningNo \"8\"]\n" + shuffle +
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

// The replay of one open source stops at a move it cannot play and says so; the caller
// decides what follows (the commands end the process).
TEST(SourceReplay, StopsAtAnUnplayableMoveAndKeepsWhatCameBefore) {
  char text[] =
      "[OpeningNo \"4\"]\n[OpeningWeight 2]\n1. e4 e5\n2. Nf3 Nc6\n"
      "[OpeningNo \"5\"]\n1. d4 d5\n2. Qxx9 Nf6\n3. c4 e6\n";
  clearBook(whiteBook);
  auto b = makeBoard();
  std::FILE* source = fmemopen(text, std::strlen(text), "r");
  ASSERT_NE(source, nullptr);
  SourceTally tally{};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(compileSource(source, WHITE, &tally, &b->side, &b->position, b->records,
                             &b->tables));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR in white no 5: 2. Qxx9\n");
  EXPECT_EQ(tally.inserted, 3u);  // e4, Nf3 and d4
  EXPECT_EQ(tally.weight, 2);
  EXPECT_EQ(occupiedSlots(whiteBook), 3u);

  std::rewind(source);
  auto listing = makeBoard();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(listSourcePositions(source, BLACK, &listing->side, &listing->position,
                                   listing->records, &listing->tables));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR in black no 5: 2. Qxx9\n");
  std::fclose(source);
  clearBook(whiteBook);
}
