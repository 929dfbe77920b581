// Reading the square-value file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "eval_helpers.h"

namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() /
           ("vorlak_sqvalue_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string write(const std::string& name, const std::string& text) const {
    const fs::path file = path / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
};

// A complete file whose value in table k at square sq is k * 100 + sq, so that every
// cell shows where it was read from. tail is appended to every row line, long is used
// for every title and separator line.
std::string numberedFile(const std::string& tail = "", const std::string& line = "title") {
  std::string text = line + "\n";
  for (int table = 0; table < SV_TABLE_COUNT; ++table) {
    if (table > 0) text += line + "\n" + line + "\n";
    for (int rank = 7; rank >= 0; --rank) {
      for (int file = 0; file < 8; ++file)
      {
        text += ' ';
        text += std::to_string(table * 100 + rank * 8 + file);
      }
      text += tail + "\n";
    }
  }
  return text + "end\n";
}

void expectNumbered(const BoardTables& t) {
  for (int table = 0; table < SV_TABLE_COUNT; ++table)
    for (int sq = 0; sq < 64; ++sq)
      ASSERT_EQ(t.squareValues[table][sq], table * 100 + sq) << "table " << table << " sq " << sq;
}

void fill(BoardTables& t, int value) {
  for (auto& table : t.squareValues)
    for (auto& v : table) v = value;
}

TEST(SquareValues, MissingFileSaysSoAndKeepsTheTables) {
  TempDir dir;
  TestBoard b;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path);
  testing::internal::CaptureStdout();
  loadSquareValues(&b.tables);
  const std::string said = testing::internal::GetCapturedStdout();
  fs::current_path(before);
  EXPECT_EQ(said, "Playing without a square value table.\n");
  for (auto& table : b.tables.squareValues)
    for (int v : table) ASSERT_EQ(v, 0);
}

TEST(SquareValues, ReadsSqvalueFromTheWorkingDirectoryCellByCell) {
  TempDir dir;
  dir.write("sqvalue", numberedFile());
  TestBoard b;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path);
  testing::internal::CaptureStdout();
  loadSquareValues(&b.tables);
  const std::string said = testing::internal::GetCapturedStdout();
  fs::current_path(before);
  EXPECT_EQ(said, "");
  expectNumbered(b.tables);
}

TEST(SquareValues, FirstRowIsRankEight) {
  TempDir dir;
  TestBoard b;
  fill(b.tables, 7);
  // Only the title and one row: the rest keeps its earlier values.
  ASSERT_TRUE(loadSquareValuesFrom(dir.write("short", "title\n5 5 5 5 5 5 5 5\n").c_str(), &b.tables));
  for (int sq = 0; sq < 64; ++sq)
    EXPECT_EQ(b.tables.squareValues[SV_WHITE_PAWN][sq], sq >= 56 ? 5 : 7) << sq;
  for (int sq = 0; sq < 64; ++sq) EXPECT_EQ(b.tables.squareValues[SV_BLACK_PASSED][sq], 7);
}

TEST(SquareValues, TrailingTextAndLongLinesAreSkipped) {
  TempDir dir;
  TestBoard b;
  ASSERT_TRUE(loadSquareValuesFrom(dir.write("comment", numberedFile("   rank comment 12 34")).c_str(),
                                   &b.tables));
  expectNumbered(b.tables);
  // Lines far beyond 80 characters, in titles, separators and after the eighth value.
  fill(b.tables, 0);
  std::string longTail(2, ' '), longLine(300, '-');
  longTail.append(500, 'x');
  longTail += " 99 99 99";
  longLine += " 1 2 3";
  ASSERT_TRUE(loadSquareValuesFrom(dir.write("long", numberedFile(longTail, longLine)).c_str(),
                                   &b.tables));
  expectNumbered(b.tables);
}

TEST(SquareValues, MalformedValuesKeepTheirOldContents) {
  TempDir dir;
  TestBoard b;
  fill(b.tables, 7);
  // Third value not a number: the rest of that row is kept; the next row reads normally.
  // A value beyond any score is refused in the same way.
  const std::string text = "title\n1 2 x 4 5 6 7 8\n11 12 13 99999999999999999999 15 16 17 18\n"
                           "21 22 23 24 25 26 27 28\n";
  ASSERT_TRUE(loadSquareValuesFrom(dir.write("bad", text).c_str(), &b.tables));
  const int32_t* pawn = b.tables.squareValues[SV_WHITE_PAWN];
  const int rank8[8] = {1, 2, 7, 7, 7, 7, 7, 7};
  const int rank7[8] = {11, 12, 13, 7, 7, 7, 7, 7};
  const int rank6[8] = {21, 22, 23, 24, 25, 26, 27, 28};
  for (int f = 0; f < 8; ++f) {
    EXPECT_EQ(pawn[56 + f], rank8[f]);
    EXPECT_EQ(pawn[48 + f], rank7[f]);
    EXPECT_EQ(pawn[40 + f], rank6[f]);
    EXPECT_EQ(pawn[32 + f], 7);
  }
  // An empty file changes nothing.
  fill(b.tables, 3);
  ASSERT_TRUE(loadSquareValuesFrom(dir.write("empty", "").c_str(), &b.tables));
  for (auto& table : b.tables.squareValues)
    for (int v : table) ASSERT_EQ(v, 3);
}

TEST(SquareValues, ShippedFileIsCompleteAndColourBlind) {
  TestBoard b;
  fill(b.tables, 12345);
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables));
  const auto& v = b.tables.squareValues;
  for (int table = 0; table < SV_TABLE_COUNT; ++table)
    for (int sq = 0; sq < 64; ++sq) ASSERT_LT(std::abs(v[table][sq]), 200) << table << " " << sq;
  for (int kind = 0; kind < 6; ++kind)
    for (int sq = 0; sq < 64; ++sq)
      ASSERT_EQ(v[SV_BLACK_PAWN + kind][sq], v[SV_WHITE_PAWN + kind][sq ^ 56]) << kind << " " << sq;
  for (int sq = 0; sq < 64; ++sq) ASSERT_EQ(v[SV_BLACK_PASSED][sq], v[SV_WHITE_PASSED][sq ^ 56]);
  // A few things any player expects of the values.
  EXPECT_GT(v[SV_WHITE_KNIGHT][E5], v[SV_WHITE_KNIGHT][A1] + 30);
  EXPECT_GT(v[SV_WHITE_BISHOP][G2], v[SV_WHITE_BISHOP][H3]);
  EXPECT_GT(v[SV_WHITE_ROOK][D7], v[SV_WHITE_ROOK][D6]);
  EXPECT_GT(v[SV_WHITE_KING][G1], v[SV_WHITE_KING][E4]);
  // Passed pawns gain more with every rank from the third on.
  for (int rank = 3; rank < 7; ++rank) {
    const int step = v[SV_WHITE_PASSED][rank * 8 + 3] - v[SV_WHITE_PASSED][(rank - 1) * 8 + 3];
    const int before = v[SV_WHITE_PASSED][(rank - 1) * 8 + 3] - v[SV_WHITE_PASSED][(rank - 2) * 8 + 3];
    EXPECT_GT(step, before) << "rank index " << rank;
  }
}

}  // namespace
