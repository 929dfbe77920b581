// Reading the square-value file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "eval_helpers.h"

namespace {

namespace fs = std::filesystem;

// A fresh directory for the files of a test, removed at its end.
struct TempDir {
  const fs::path path = fs::temp_directory_path() / ("vorlak_sqvalue_" + std::to_string(getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path / name, std::ios::binary) << text;
    return (path / name).string();
  }
};

// A complete file whose value in table k at square sq is k * 100 + sq, so that every cell
// shows where it was read from. tail ends every row, line is every title and separator.
std::string numberedFile(const std::string& tail = "", const std::string& line = "title") {
  std::string text = line + "\n";
  for (int table = 0; table < SV_TABLE_COUNT; ++table) {
    if (table > 0) text += line + "\n" + line + "\n";
    for (int rank = 7; rank >= 0; --rank) {
      for (int file = 0; file < 8; ++file)
        text += ' ' + std::to_string(table * 100 + rank * 8 + file);
      text += tail + "\n";
    }
  }
  return text + "end\n";
}

// Every cell holds value(table, sq).
template <class Value>
void expectCells(const BoardTables& t, Value value) {
  for (int table = 0; table < SV_TABLE_COUNT; ++table)
    for (int sq = 0; sq < 64; ++sq)
      ASSERT_EQ(t.squareValues[table][sq], value(table, sq)) << "table " << table << " sq " << sq;
}

TEST(SquareValues, ReadsSqvalueFromTheWorkingDirectoryOrSaysItIsMissing) {
  TempDir dir;
  TestBoard b;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path);
  testing::internal::CaptureStdout();
  loadSquareValues(&b.tables);
  const std::string missing = testing::internal::GetCapturedStdout();
  // Lines far beyond 80 characters, in titles, separators and after the eighth value, with
  // numbers in their tails: skipped whole.
  const std::string tail = "  " + std::string(500, 'x') + " 99 99 99";
  dir.write("sqvalue", numberedFile(tail, std::string(300, '-') + " 1 2 3"));
  testing::internal::CaptureStdout();
  loadSquareValues(&b.tables);
  const std::string found = testing::internal::GetCapturedStdout();
  fs::current_path(before);
  EXPECT_EQ(missing, "Playing without a square value table.\n");
  EXPECT_EQ(found, "");
  expectCells(b.tables, [](int table, int sq) { return table * 100 + sq; });
}

TEST(SquareValues, ShortOrMalformedFilesKeepTheValuesNotRead) {
  TempDir dir;
  TestBoard b;
  for (auto& table : b.tables.squareValues) std::fill(std::begin(table), std::end(table), 7);
  // The first row is rank 8. A third value that is no number, or one beyond any score, ends
  // the row; the next row reads normally. The file ends after rank 6.
  const std::string text =
      "title\n1 2 x 4 5 6 7 8\n11 12 13 99999999999999999999 15 16 17 18\n"
      "21 22 23 24 25 26 27 28\n";
  ASSERT_TRUE(loadSquareValuesFrom(dir.write("bad", text).c_str(), &b.tables));
  const int rank8[8] = {1, 2, 7, 7, 7, 7, 7, 7}, rank7[8] = {11, 12, 13, 7, 7, 7, 7, 7};
  auto expected = [&](int table, int sq) {
    if (table != SV_WHITE_PAWN || sq < 40) return 7;
    return sq >= 56 ? rank8[sq - 56] : sq >= 48 ? rank7[sq - 48] : 21 + sq - 40;
  };
  expectCells(b.tables, expected);
  // An empty file changes nothing.
  ASSERT_TRUE(loadSquareValuesFrom(dir.write("empty", "").c_str(), &b.tables));
  expectCells(b.tables, expected);
}

TEST(SquareValues, ShippedFileFillsEveryCell) {
  // Mirroring is left to the colour symmetry test, which cannot see a file that stops
  // before both passed-pawn tables. Those values must also grow steeply from the third rank.
  TestBoard b;
  for (auto& table : b.tables.squareValues) std::fill(std::begin(table), std::end(table), 12345);
  ASSERT_TRUE(loadSquareValuesFrom(shippedSquareValues().c_str(), &b.tables));
  for (const auto& table : b.tables.squareValues)
    for (int value : table) ASSERT_LT(std::abs(value), 200);
  const int32_t* passed = b.tables.squareValues[SV_WHITE_PASSED];
  for (int sq = D4; sq <= D7; sq += 8)
    EXPECT_GT(passed[sq] - passed[sq - 8], passed[sq - 8] - passed[sq - 16]) << sq;
}

}  // namespace
