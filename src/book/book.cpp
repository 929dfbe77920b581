#include "book/book.h"

#include <cstdio>
#include <cstring>

#include "board/bitboard.h"
#include "movegen/movegen.h"
#include "support/replacefile.h"

BookEntry whiteBook[BOOK_SLOTS];
BookEntry blackBook[BOOK_SLOTS];

namespace {

// Files are handled this many records at a time.
constexpr uint32_t CHUNK_RECORDS = 1024;

void putLittle(uint8_t* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = uint8_t(value >> (8 * i));
}

uint64_t getLittle(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | in[i];
  return value;
}

void encode(const BookEntry& e, uint8_t* out) {
  putLittle(out, e.move, 8);
  putLittle(out + 8, e.key, 4);
  putLittle(out + 12, e.openingNo, 2);
  putLittle(out + 14, e.weight, 2);
}

BookEntry decode(const uint8_t* in) {
  return {getLittle(in, 8), uint32_t(getLittle(in + 8, 4)), uint16_t(getLittle(in + 12, 2)),
          uint16_t(getLittle(in + 14, 2))};
}

// The legal move of the position with the same from, to, pieces and promotion, or 0.
// The list that should hold it is searched first (en passant is among the captures).
Move legalMoveLike(Move move, int side, Position* p, UndoRecord* records, const BoardTables* t) {
  Move list[MAX_MOVES];
  const bool capture = moveCaptured(move) || movePromotion(move);
  for (int pass = 0; pass < 2; ++pass) {
    const int n = (pass == 0) == capture ? generateCaptures(side, 0, list, p, records, t, 0)
                                         : generateNonCaptures(side, 0, list, p, records, t, 0);
    for (int i = 0; i < n; ++i)
      if ((list[i] & MOVE_BODY_MASK) == (move & MOVE_BODY_MASK)) return list[i];
  }
  return 0;
}

}  // namespace

int64_t findBookSlot(const BookEntry* table, uint32_t key, Move move) {
  uint32_t slot = homeSlot(key);
  for (uint32_t walked = 0; walked < BOOK_SLOTS; ++walked, slot = nextSlot(slot)) {
    const BookEntry& e = table[slot];
    if (e.weight == 0 || (e.key == key && e.move == move)) return slot;
  }
  return -1;
}

bool bookInsert(BookEntry* table, uint32_t key, Move move, uint16_t openingNo, uint16_t weight,
                uint32_t* occupied) {
  if (weight == 0) return true;
  const int64_t found = findBookSlot(table, key, move);
  if (found < 0) return false;
  BookEntry& e = table[found];
  if (e.weight == 0) {
    if (*occupied >= BOOK_FULL) return false;
    ++*occupied;
    e.key = key;
    e.move = move;
  }
  e.openingNo = openingNo;
  e.weight = uint16_t(uint32_t(e.weight) + weight > MAX_BOOK_WEIGHT ? MAX_BOOK_WEIGHT
                                                                      : e.weight + weight);
  return true;
}

const BookEntry* chooseBookEntry(const BookEntry* table, uint32_t key, bool randomChoice) {
  uint32_t candidates = 0, total = 0;
  const BookEntry* first = nullptr;
  uint32_t slot = homeSlot(key);
  for (uint32_t walked = 0; walked < BOOK_SLOTS && table[slot].weight; ++walked) {
    if (table[slot].key == key) {
      if (!first) first = &table[slot];
      ++candidates;
      total += table[slot].weight;
    }
    slot = nextSlot(slot);
  }
  if (candidates <= 1) return first;
  // Without a random choice, or with a total that wrapped to 0, r = 0 picks the first.
  int64_t r = randomChoice && total ? int64_t(random32() % total) : 0;
  slot = homeSlot(key);
  for (uint32_t walked = 0; walked < BOOK_SLOTS && table[slot].weight; ++walked) {
    if (table[slot].key == key) {
      r -= table[slot].weight;
      if (r < 0) return &table[slot];
    }
    slot = nextSlot(slot);
  }
  return nullptr;
}

uint32_t occupiedSlots(const BookEntry* table) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < BOOK_SLOTS; ++i) n += table[i].weight != 0;
  return n;
}

void clearBook(BookEntry* table) { std::memset(table, 0, sizeof(BookEntry) * BOOK_SLOTS); }

void readBookStream(std::FILE* f, BookEntry* table) {
  uint8_t buffer[CHUNK_RECORDS * BOOK_RECORD_BYTES];
  uint32_t slot = 0;
  while (slot < BOOK_SLOTS) {
    const size_t records = std::fread(buffer, BOOK_RECORD_BYTES, CHUNK_RECORDS, f);
    for (size_t i = 0; i < records; ++i) table[slot++] = decode(buffer + i * BOOK_RECORD_BYTES);
    if (records < CHUNK_RECORDS) break;
  }
  for (; slot < BOOK_SLOTS; ++slot) table[slot] = BookEntry{};
}

bool readBookFile(const char* path, BookEntry* table) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  readBookStream(f, table);
  std::fclose(f);
  return true;
}

bool writeBookFile(const char* path, const BookEntry* table) {
  ReplacementFile out;
  if (!beginReplacement(path, &out)) return false;
  uint8_t buffer[CHUNK_RECORDS * BOOK_RECORD_BYTES];
  for (uint32_t start = 0; start < BOOK_SLOTS; start += CHUNK_RECORDS) {
    for (uint32_t i = 0; i < CHUNK_RECORDS; ++i)
      encode(table[start + i], buffer + i * BOOK_RECORD_BYTES);
    if (std::fwrite(buffer, BOOK_RECORD_BYTES, CHUNK_RECORDS, out.file) != CHUNK_RECORDS) {
      abandonReplacement(&out);
      return false;
    }
  }
  return commitReplacement(&out);
}

void loadBooks() {
  if (!readBookFile("white.bin", whiteBook)) std::printf("Playing without white opening book.\n");
  if (!readBookFile("black.bin", blackBook)) std::printf("Playing without black opening book.\n");
}

Move bookProbe(int side, Position* p, UndoRecord* records, const BoardTables* t) {
  const BookEntry* e =
      chooseBookEntry(bookOf(side), bookKey(&records[0]), (p->modeFlags & RANDOM_MODE) != 0);
  if (!e) return 0;
  const Move move = legalMoveLike(e->move, side, p, records, t);
  if (!move) return 0;
  p->openingNumber = e->openingNo;
  return move;
}
