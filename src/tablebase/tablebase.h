// Endgame tablebases: the table of known endings, registration of the files found in
// a directory list, the block cache, and the probe the search asks.
//
// Sides inside the subsystem: every ending is named from the point of view of the side
// written first (in "kqkr" the side with the queen). A "tablebase side" of 0 means the
// first side is to move, 1 the second side. Files ending in .nbw hold the positions
// with the first side to move, .nbb those with the second side to move.
#pragma once

#include <array>
#include <cstdint>

#include "board/types.h"

constexpr int TB_ENDING_COUNT = 178;  // endings 1..178; index 0 is an unused "kk"

// EndingRecord::flags
constexpr int TB_SYMMETRIC = 1;  // same material on both sides: one file serves both sides
constexpr int TB_WIDE = 2;       // two bytes per entry instead of one

constexpr int TB_NO_EN_PASSANT = 127;

// Stored values: 0 a draw, TB_MATE - m mate in m, -TB_MATE + m the loss against a mate in
// m - 1 (a checkmated position stores -TB_MATE + 1). TB_MATE itself is no position's value
// and says "no entry can be given".
constexpr int TB_MATE = 32767;
constexpr int TB_UNKNOWN = TB_MATE;

// One-byte entries hold mates of up to TB_BYTE_MOVES moves: 0 a draw, TB_BYTE_UNKNOWN
// unknown, b in 1..126 the stored TB_MATE - (127 - b), b in -126..-1 the stored
// -TB_MATE + (127 + b), and the two codes left for the 127th move.
constexpr int TB_BYTE_MOVES = 127;
constexpr int TB_BYTE_UNKNOWN = 127;
constexpr int TB_BYTE_WIN_127 = -128;   // stored TB_MATE - 127
constexpr int TB_BYTE_LOSS_127 = -127;  // stored -TB_MATE + 127
constexpr int TB_BYTE_BASE = TB_MATE - TB_BYTE_MOVES;

// The stored value of a one-byte entry.
constexpr int tbStoredOfByte(int code) {
  if (code == 0) return 0;
  if (code == TB_BYTE_UNKNOWN) return TB_UNKNOWN;
  if (code == TB_BYTE_WIN_127) return TB_BYTE_BASE;
  if (code == TB_BYTE_LOSS_127) return -TB_BYTE_BASE;
  return code > 0 ? TB_BYTE_BASE + code : code - TB_BYTE_BASE;
}

// Files are read and cached in blocks of this size.
constexpr int TB_BLOCK_SIZE = 8192;
constexpr int TB_BLOCK_SPARE = 36;          // decoder slack after each cached block
constexpr int TB_CACHE_DESCRIPTOR_BYTES = 32;
constexpr int TB_CACHE_BLOCK_BYTES = TB_CACHE_DESCRIPTOR_BYTES + TB_BLOCK_SIZE + TB_BLOCK_SPARE;

// The men of one colour: three squares each for pawns, knights, bishops, rooks and
// queens (ascending within a kind; only as many as the colour has are meaningful),
// then the king square.
constexpr int PS_PAWN = 0, PS_KNIGHT = 3, PS_BISHOP = 6, PS_ROOK = 9, PS_QUEEN = 12, PS_KING = 15;
constexpr int PIECE_SQUARES_SIZE = 16;

// MaterialCounts: White pawns, knights, bishops, rooks, queens, then the same for Black.
constexpr int MATERIAL_COUNTS_SIZE = 10;

// Entry number of a position in the file of one ending and side to move. The lists are
// those of the first and of the second side; enPassant is the en-passant target square
// or TB_NO_EN_PASSANT; reflect is 1 when the first side is Black (its pawns move down
// the board), else 0. Positions that cannot arise still get a number, possibly one at or
// beyond the file's entries.
using TbIndexFunction = uint32_t (*)(const int* first, const int* second, int enPassant,
                                     int reflect);

struct EndingRecord {
  int index;                            // 1..178, the position in tbEndings
  const char* name;                     // "k" + first side's men + "k" + second side's men
  int flags;                            // TB_SYMMETRIC, TB_WIDE
  uint32_t entries[2];                  // entries of the file per tablebase side
  TbIndexFunction indexFunction[2];     // per tablebase side
};

// The 178 endings, in table order (entry 0 is the placeholder "kk").
extern const std::array<EndingRecord, TB_ENDING_COUNT + 1> tbEndings;

// The 64 bytes every compressed file starts with: 58 characters of text, CR LF, four
// zero bytes. Files written with a different banner are refused.
inline constexpr char TB_BANNER[64] =
    "vorlak endgame tablebase, Huffman/LZ77 blocks, version 1.0\r\n\0\0\0";
static_assert(sizeof TB_BANNER == 64 && TB_BANNER[58] == '\r' && TB_BANNER[59] == '\n' &&
                  TB_BANNER[60] == 0 && TB_BANNER[63] == 0,
              "banner is 60 characters ending in CR LF, then four zero bytes");

// Registers every ending file found in the directory list ("," or ";" separated, an
// empty name is the current directory; a backslash works as "/"). Returns the men of the largest
// ending found: 0, 3, 4, 5 or 6. A damaged file ends the process with exit code 1. The
// cache of an earlier tbSetCache is forgotten (its blocks belong to the old files):
// call tbSetCache afterwards.
int tbInit(const char* paths);

// Lays out the block cache in the caller's buffer (8260 bytes per block); closes all
// files and empties the cache first. 1 on success, 0 when bytes is below 32. The buffer
// stays in use until the next tbSetCache or tbInit.
int tbSetCache(void* buffer, uint64_t bytes);

// Value of the position for the side to move (1 White, 0 Black) on the search's score
// scale. Returns 1 and writes score when found, else 0.
int tbProbe(int side, int* score, const Position* position, const UndoRecord* plyRecord);

// Signed ending index for the material (positive: White has the first-named material),
// or 0 when no registered ending has it.
int tbLookupMaterial(const int counts[MATERIAL_COUNTS_SIZE]);

// Is a file registered for that ending and tablebase side (slot 0 for symmetric ones)?
bool tbAvailable(int ending, int tbSide);

// Stored value of an entry (see TB_MATE), TB_UNKNOWN when it cannot be read.
int tbValue(int ending, int tbSide, uint32_t entry);

// ---- Indexing helpers (also for the tablebase generator) ----

// Ending index of a name such as "kqkr", or 0.
int tbFindEnding(const char* name);

// Builds the tables the index functions read (allowed squares, base tables). They are
// built when the program starts; calling this again does nothing.
void tbInitIndexTables();

// Number of entry numbers the index function of the ending and side can produce
// (ordinary positions plus the en-passant range). The file's entries may be smaller:
// the numbers at the end belong to positions that cannot arise.
uint64_t tbEntryRange(int ending, int tbSide);

// Entry numbers below this belong to positions without an en-passant capture; those from
// it up to tbEntryRange to positions where the side to move can take en passant (only
// endings with pawns on both sides have them).
uint64_t tbOrdinaryRange(int ending, int tbSide);

// The position of an entry number: the inverse of the index function. Fills the two
// lists (first side, second side; reflect 0: the first side's pawns move up) and the
// en-passant square (TB_NO_EN_PASSANT when none). Returns false when the number names
// no placement: men on one square, or the number is beyond tbEntryRange. A true result
// may still be a position that cannot arise (the side not to move in check): callers
// test that themselves. For symmetric endings only tbSide 0 exists.
bool tbDecodeEntry(int ending, int tbSide, uint64_t entry, int first[PIECE_SQUARES_SIZE],
                   int second[PIECE_SQUARES_SIZE], int* enPassant);

// The material of an ending with the first side as White.
void tbCountsOfName(const char* name, int counts[MATERIAL_COUNTS_SIZE]);

// Name of the file for an ending and tablebase side without directory: "kqkr.nbw".
void tbPlainFileName(int ending, int tbSide, char* out, int size);
