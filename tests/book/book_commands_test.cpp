// The book commands as a user gives them to the built engine, and bookgen.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "book_test_util.h"
#include "support/replacefile.h"
#include "test_support.h"

using namespace booktest;

namespace {

struct Outcome {
  std::string out;
  int status = -1;
};

class BookCommands : public ScratchDirectory {
 protected:
  Outcome run(const std::string& command) {
    const int status = std::system((command + " > out.txt 2>&1").c_str());
    return {readWhole("out.txt"), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }
  Outcome engine(const std::string& input) {
    writeWhole("input.txt", input);
    return run("timeout 60 '" VORLAK_BINARY "' < input.txt");
  }
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(BookCommands, EngineBuildsItsBooksAndAnUnmatchedMoveLeavesThemAlone) {
  writeWhole("vorlak.cfg", "hashsize 1\n");
  fs::copy_file(testDataPath("pgn/tatamast22.pgn"), "games.pgn");
  Outcome r = engine("readPGN games.pgn allPlayers 6\nreadTextBooks\nquit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "Playing without white opening book.\n"
                              "Playing without black opening book.\n"));
  EXPECT_TRUE(contains(r.out, "I'm processing\nReading opening books: w"));
  EXPECT_TRUE(contains(r.out, "Unique positions: "));
  ASSERT_EQ(fs::file_size("white.bin"), uint64_t(BOOK_FILE_BYTES));
  ASSERT_EQ(fs::file_size("black.bin"), uint64_t(BOOK_FILE_BYTES));

  r = engine("quit\n");  // the books are found at start-up now
  EXPECT_FALSE(contains(r.out, "opening book."));

  const std::string white = readWhole("white.bin"), black = readWhole("black.bin");
  const std::string source = readWhole("white");
  writeWhole("white", source + "[OpeningNo \"99\"]\n[OpeningWeight 1]\n1. e4 e5\n2. Nf3 Qxx9\n");
  r = engine("readTextBooks\nquit\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.out, "ERROR in white no 99: 2. ... Qxx9\n")) << r.out;
  writeWhole("white", source);
  writeWhole("black", "[OpeningNo \"5\"]\n[OpeningWeight 1]\n1. e9 e5\n");
  r = engine("readTextBooks\nquit\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.out, "ERROR in black no 5: 1. e9\n")) << r.out;
  EXPECT_EQ(readWhole("white.bin"), white);
  EXPECT_EQ(readWhole("black.bin"), black);
  EXPECT_FALSE(fs::exists(std::string("white.bin") + REPLACEMENT_SUFFIX));
  r = engine("blackFEN\nquit\n");  // the listings stop at the same move
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.out, "ERROR in black no 5: 1. e9\n")) << r.out;
}

TEST_F(BookCommands, BookgenMakesTheBooksOnceFromCompressedGames) {
  fs::copy_file(testDataPath("pgn/tatamast22.pgn"), "games.pgn");
  if (run("xz games.pgn").status != 0) GTEST_SKIP() << "no xz program";
  fs::create_directory("data");
  Outcome r = run("'" VORLAK_BOOKGEN "' -q -m 8 games.pgn.xz data");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "games.pgn.xz: 26 games for White's book, 16 for Black's\n"))
      << r.out;
  for (const char* name : {"white", "black", "white.bin", "black.bin"})
    EXPECT_TRUE(fs::exists(fs::path("data") / name)) << name;
  EXPECT_FALSE(fs::exists("data/book-build.tmp"));
  EXPECT_FALSE(contains(r.out, "www"));  // quiet: no progress characters

  const std::string book = readWhole("data/white.bin");
  r = run("'" VORLAK_BOOKGEN "' games.pgn.xz data");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "black.bin exist; nothing to do\n")) << r.out;
  EXPECT_EQ(readWhole("data/white.bin"), book);

  r = run("'" VORLAK_BOOKGEN "' -f missing.pgn data");
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(contains(r.out, "can't read")) << r.out;
  EXPECT_EQ(readWhole("data/white.bin"), book);  // a failed build replaces nothing
}
