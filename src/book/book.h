// The opening books: two open-addressing tables of book moves keyed by the low 32 bits
// of a position's hash key, their files white.bin / black.bin, and the probe.
#pragma once

#include <cstdint>
#include <cstdio>

#include "board/types.h"

// One slot: 16 bytes, and 16 bytes little-endian in the files, fields in this order.
struct BookEntry {
  Move move;           // the move word as the generator made it
  uint32_t key;        // low 32 bits of the position's hash key
  uint16_t openingNo;  // the opening that added or last touched it
  uint16_t weight;     // 0 marks an empty slot
};
static_assert(sizeof(BookEntry) == 16);

constexpr uint32_t bookSize = 131071;  // index mask; a table has bookSize + 1 slots
constexpr uint32_t BOOK_SLOTS = bookSize + 1;
constexpr int BOOK_RECORD_BYTES = 16;
constexpr long BOOK_FILE_BYTES = long(BOOK_SLOTS) * BOOK_RECORD_BYTES;
constexpr uint16_t MAX_BOOK_WEIGHT = 65535;
// Inserts stop here so that every probe walk meets an empty slot.
constexpr uint32_t BOOK_FULL = BOOK_SLOTS - 2;

// The white book (White to move) and the black book; zero (empty) until loaded.
extern BookEntry whiteBook[BOOK_SLOTS];
extern BookEntry blackBook[BOOK_SLOTS];

inline BookEntry* bookOf(int side) { return side == WHITE ? whiteBook : blackBook; }
inline uint32_t bookKey(const UndoRecord* root) { return uint32_t(root->hashKey); }
inline uint32_t homeSlot(uint32_t key) { return key & bookSize; }
// The probe sequence runs upward and wraps to slot 1: slot 0 is only ever a home slot.
inline uint32_t nextSlot(uint32_t slot) { return slot == bookSize ? 1 : slot + 1; }

// Slot holding key and move, or the empty slot where they belong; -1 when the walk
// finds neither (a full run of slots).
int64_t findBookSlot(const BookEntry* table, uint32_t key, Move move);

// Adds weight to the key-and-move entry (creating it in the first empty slot of its
// run) and marks it with openingNo. Weights stop at 65535; a weight of 0 changes
// nothing. *occupied counts the table's slots in use; a new entry is refused (false)
// once it has reached BOOK_FULL.
bool bookInsert(BookEntry* table, uint32_t key, Move move, uint16_t openingNo, uint16_t weight,
                uint32_t* occupied);

// The entry chosen for key: the only candidate, else with randomChoice a candidate
// drawn with probability proportional to its weight (one random32 draw), without it
// the first in probe order. nullptr when key has no entry.
const BookEntry* chooseBookEntry(const BookEntry* table, uint32_t key, bool randomChoice);

uint32_t occupiedSlots(const BookEntry* table);
void clearBook(BookEntry* table);

// Reads up to BOOK_SLOTS records (a short file leaves the rest empty); false, with the
// table unchanged, when the file cannot be opened.
bool readBookFile(const char* path, BookEntry* table);
// The same from an open stream.
void readBookStream(std::FILE* file, BookEntry* table);
// Writes the whole table image through a temporary file renamed over path, so a
// failed write never leaves a truncated book. False when it could not be written.
bool writeBookFile(const char* path, const BookEntry* table);

// Reads white.bin and black.bin from the working directory.
void loadBooks();

// The book move of the side to move in the game position (record 0), or 0. Sets
// openingNumber when it returns a move. A move that is not legal in the position
// (a key collision, a foreign file) is not returned.
Move bookProbe(int side, Position* position, UndoRecord* records, const BoardTables* tables);
