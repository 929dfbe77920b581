// The book tables: file image, insertion and the probe's choice rules.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "board/bitboard.h"
#include "book/book.h"
#include "book_test_util.h"
#include "support/replacefile.h"
#include "test_support.h"

using namespace booktest;

namespace {

using BookFile = ScratchDirectory;

constexpr uint32_t HIGH_KEY = 0xABC00000;  // upper bits that leave the home slot alone

void put(BookEntry* table, uint32_t slot, uint32_t key, Move move, uint16_t weight,
         uint16_t opening = 1) {
  table[slot] = {move, key, opening, weight};
}

Move moveOf(const char* coordinates, TestBoard& b) {
  for (Move m : b.legalMoves())
    if (::coordinates(m) == coordinates) return m;
  ADD_FAILURE() << "no move " << coordinates;
  return 0;
}

}  // namespace

TEST_F(BookFile, ImageIsLittleEndianInSlotOrderAndReadsBack) {
  static BookEntry table[BOOK_SLOTS], back[BOOK_SLOTS];
  clearBook(table);
  put(table, 0, 0x11111111, 0x2A, 9);
  put(table, 5, 0x0A0B0C0D, 0x0102030405060708ULL, 0x5678, 0x1234);
  put(table, bookSize, 0xFFFFFFFF, ~Move(0), 0xFFFF, 0xFFFF);
  ASSERT_TRUE(writeBookFile("white.bin", table));
  const std::string image = readWhole("white.bin");
  ASSERT_EQ(image.size(), size_t(BOOK_FILE_BYTES));
  const unsigned char expected[16] = {8, 7, 6, 5, 4, 3, 2, 1, 0x0D, 0x0C, 0x0B, 0x0A,
                                      0x34, 0x12, 0x78, 0x56};
  EXPECT_EQ(std::memcmp(image.data() + 5 * 16, expected, 16), 0);
  EXPECT_EQ(image.substr(16, 64), std::string(64, '\0'));  // empty slots are zeros
  EXPECT_EQ(image.substr(image.size() - 16), std::string(16, '\xFF'));
  EXPECT_FALSE(fs::exists(std::string("white.bin") + REPLACEMENT_SUFFIX));

  std::memset(back, 0x5A, sizeof back);
  ASSERT_TRUE(readBookFile("white.bin", back));
  EXPECT_EQ(std::memcmp(back, table, sizeof table), 0);
}

TEST_F(BookFile, ShortFileFillsWhatItHasAndMissingFileChangesNothing) {
  static BookEntry table[BOOK_SLOTS];
  std::string image(3 * 16 + 7, '\0');  // three records and a piece of a fourth
  image[2 * 16 + 14] = 1;               // weight of slot 2
  writeWhole("black.bin", image);
  std::memset(table, 0x5A, sizeof table);
  ASSERT_TRUE(readBookFile("black.bin", table));
  EXPECT_EQ(table[2].weight, 1);
  EXPECT_EQ(occupiedSlots(table), 1u);

  put(table, 9, 1, 2, 3);
  EXPECT_FALSE(readBookFile("missing.bin", table));
  EXPECT_EQ(table[9].weight, 3);
  // A book that cannot be written leaves no file behind.
  EXPECT_FALSE(writeBookFile("no-such-directory/white.bin", table));
}

TEST_F(BookFile, LoadBooksReportsEachMissingBook) {
  static BookEntry table[BOOK_SLOTS];
  clearBook(table);
  put(table, 77, 77, 0x123, 4);
  ASSERT_TRUE(writeBookFile("white.bin", table));
  testing::internal::CaptureStdout();
  loadBooks();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Playing without black opening book.\n");
  EXPECT_EQ(whiteBook[77].weight, 4);
  EXPECT_EQ(occupiedSlots(blackBook), 0u);

  fs::remove("white.bin");
  testing::internal::CaptureStdout();
  loadBooks();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Playing without white opening book.\nPlaying without black opening book.\n");
}

TEST(BookInsert, SamePositionAndMoveShareOneSlot) {
  static BookEntry table[BOOK_SLOTS];
  clearBook(table);
  uint32_t occupied = 0;
  const uint32_t key = HIGH_KEY | 40;
  EXPECT_TRUE(bookInsert(table, key, 0x111, 1, 2, &occupied));
  EXPECT_TRUE(bookInsert(table, key, 0x222, 2, 1, &occupied));  // other move: next slot
  EXPECT_TRUE(bookInsert(table, key, 0x111, 3, 5, &occupied));
  EXPECT_TRUE(bookInsert(table, key, 0x111 | Move(1) << 30, 4, 1, &occupied));  // all 64 bits
  EXPECT_EQ(occupied, 3u);
  EXPECT_EQ(table[40].weight, 7);
  EXPECT_EQ(table[40].openingNo, 3);  // the last opening that touched it
  EXPECT_EQ(table[41].move, 0x222u);
  EXPECT_EQ(table[42].openingNo, 4);

  // Weight 0 touches nothing; weights stop at 65535 instead of wrapping to "empty".
  EXPECT_TRUE(bookInsert(table, HIGH_KEY | 50, 0x333, 5, 0, &occupied));
  EXPECT_EQ(std::memcmp(&table[50], &table[60], sizeof(BookEntry)), 0);
  EXPECT_TRUE(bookInsert(table, key, 0x222, 6, 65000, &occupied));
  EXPECT_TRUE(bookInsert(table, key, 0x222, 7, 65000, &occupied));
  EXPECT_EQ(table[41].weight, MAX_BOOK_WEIGHT);

  // A run crossing the end of the table continues at slot 1, never slot 0.
  const uint32_t last = HIGH_KEY | bookSize;
  for (Move m = 1; m <= 3; ++m) EXPECT_TRUE(bookInsert(table, last, m, 8, 1, &occupied));
  EXPECT_EQ(table[bookSize].move, 1u);
  EXPECT_EQ(table[0].weight, 0);
  EXPECT_EQ(table[1].move, 2u);
  EXPECT_EQ(table[2].move, 3u);
}

TEST(BookInsert, NearlyFullTableRefusesNewEntriesAndWalksEnd) {
  static BookEntry table[BOOK_SLOTS];
  clearBook(table);
  uint32_t occupied = BOOK_FULL;
  EXPECT_FALSE(bookInsert(table, 5, 0x111, 1, 1, &occupied));
  EXPECT_EQ(table[5].weight, 0);
  for (uint32_t i = 0; i < BOOK_SLOTS; ++i) put(table, i, 7, i, 1);
  EXPECT_TRUE(bookInsert(table, 7, 3, 1, 1, &occupied));  // an existing entry still grows
  EXPECT_EQ(table[3].weight, 2);
  // Every slot in use: the walks stop after one round.
  EXPECT_EQ(findBookSlot(table, 9, 0x999), -1);
  EXPECT_FALSE(bookInsert(table, 9, 0x999, 1, 1, &occupied));
  EXPECT_EQ(chooseBookEntry(table, 9, true), nullptr);
}

TEST(BookChoice, ProbeSequenceAndKeyRules) {
  static BookEntry table[BOOK_SLOTS];
  clearBook(table);
  EXPECT_EQ(chooseBookEntry(table, 12345, true), nullptr);  // an empty table

  const uint32_t key = HIGH_KEY | 100;
  put(table, 100, key ^ 0x80000000, 0xAAA, 3);  // same home slot, other 32-bit key
  put(table, 101, key, 0xBBB, 1);
  put(table, 103, key, 0xCCC, 9);  // behind the empty slot 102: never found
  const BookEntry* e = chooseBookEntry(table, key, false);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->move, 0xBBBu);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(chooseBookEntry(table, key, true), &table[101]);

  // Home slot 131071: the run goes on at slot 1; what slot 0 holds does not matter.
  const uint32_t last = HIGH_KEY | bookSize;
  put(table, bookSize, last + 1, 0xDDD, 1);
  put(table, 0, last, 0xEEE, 1);
  put(table, 1, last, 0xFFF, 1);
  EXPECT_EQ(chooseBookEntry(table, last, true), &table[1]);
}

TEST(BookChoice, WeightedDrawsFollowTheWeights) {
  static BookEntry table[BOOK_SLOTS];
  clearBook(table);
  const uint32_t key = HIGH_KEY | 7;
  const uint16_t weights[3] = {1, 2, 5};
  for (uint32_t i = 0; i < 3; ++i) put(table, 7 + i, key, 0x100 + i, weights[i]);

  seedRandom(12345);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(chooseBookEntry(table, key, false), &table[7]);
  EXPECT_EQ(randomState(), 12345u);  // without random choices nothing is drawn

  const int draws = 80000;
  int counts[3] = {};
  for (int i = 0; i < draws; ++i) ++counts[chooseBookEntry(table, key, true) - &table[7]];
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(double(counts[i]) / draws, weights[i] / 8.0, 0.01) << "candidate " << i;

  // One candidate: returned without a draw.
  const uint32_t single = HIGH_KEY | 900;
  put(table, 900, single, 0x999, 4);
  const uint32_t state = randomState();
  EXPECT_EQ(chooseBookEntry(table, single, true), &table[900]);
  EXPECT_EQ(randomState(), state);
}

TEST(BookChoice, TotalThatWrapsToZeroTakesTheFirstCandidate) {
  static BookEntry table[BOOK_SLOTS];
  clearBook(table);
  // 65537 weights of 65535 and one of 1 sum to exactly 2^32.
  const uint32_t key = HIGH_KEY | 10;
  for (uint32_t i = 0; i < 65537; ++i) put(table, 10 + i, key, i + 1, MAX_BOOK_WEIGHT);
  put(table, 10 + 65537, key, 0x77777, 1);
  seedRandom(99);
  EXPECT_EQ(chooseBookEntry(table, key, true), &table[10]);
}

TEST(BookProbe, PlaysOnlyLegalBookMovesAndSetsTheOpeningNumber) {
  auto b = makeBoard();
  const uint32_t key = bookKey(&b->records[0]);
  b->position.openingNumber = 17;
  b->position.modeFlags &= ~RANDOM_MODE;
  EXPECT_EQ(bookProbe(WHITE, &b->position, b->records, &b->tables), 0u);
  EXPECT_EQ(b->position.openingNumber, 17u);

  // e2-e5 is no move of the start position, whatever the book says.
  const Move e2e4 = moveOf("e2e4", *b);
  const Move e2e5 = (e2e4 & ~Move(63 << 6)) | Move(E5) << 6;
  put(whiteBook, homeSlot(key), key, e2e5, 5, 31);
  EXPECT_EQ(bookProbe(WHITE, &b->position, b->records, &b->tables), 0u);
  EXPECT_EQ(b->position.openingNumber, 17u);

  put(whiteBook, homeSlot(key), key, e2e4, 5, 31);
  EXPECT_EQ(bookProbe(WHITE, &b->position, b->records, &b->tables), e2e4);
  EXPECT_EQ(b->position.openingNumber, 31u);
  // The black book is asked for Black to move, and it is empty.
  b->position.openingNumber = 0;
  EXPECT_EQ(bookProbe(BLACK, &b->position, b->records, &b->tables), 0u);
  EXPECT_EQ(b->position.openingNumber, 0u);
  clearBook(whiteBook);
}
