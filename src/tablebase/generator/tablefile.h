// The generator's tables as tablebase files: the stored values and their one-byte
// code, the layout of the engine's index functions, plain and compressed writing, and
// reading files back as the tables of smaller endings.
//
// Distance to mate. A position won in d plies (d odd) is "mate in m" with
// m = (d + 1) / 2 moves of the winner, stored as 32767 - m. A position lost in d plies
// (d even) stores -32767 + (d / 2 + 1): a checkmated position stores -32766, the
// lowest value the one-byte code holds, so that a loss is always one more than the
// negated win that follows it, and its score (-30000) stays inside the search's bound.
// Users read a loss as "mated in d / 2": the winner's moves still to come.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tablebase/generator/generate.h"
#include "tablebase/tablebase.h"

namespace tbgen {

constexpr int STORED_UNKNOWN = TB_UNKNOWN;

int storedValue(uint16_t state);      // 0 for a draw; state must not be ST_INVALID
uint16_t stateOfStored(int stored);   // ST_INVALID for STORED_UNKNOWN
// One-byte code of a stored value; false when it does not fit (past 127 moves). The
// inverse is tbStoredOfByte.
bool byteOfStored(int stored, int8_t* code);

// Entries that no legal position maps to hold "unknown" (code 127, two-byte 32767): a
// probe of such a position (the side not to move in check, men that cannot stand there)
// answers not found.
constexpr int8_t FILLER_BYTE = TB_BYTE_UNKNOWN;

struct FileStats {
  uint64_t entries = 0;
  uint64_t positions = 0;   // legal positions laid out (one per group of images)
  uint64_t filled = 0;      // entries no legal position uses
  uint64_t conflicts = 0;   // an entry reached by positions of different values
  uint64_t outOfRange = 0;  // legal positions numbered at or past entries
  uint64_t unstorable = 0;  // values the one-byte code cannot hold (stored as unknown)
  uint64_t bytes = 0;       // the file on disk
};

// The plain contents of the file of the table for a tablebase side (0: first side to
// move). Symmetric endings have one file, side 0, which takes both sides' positions.
bool layoutFile(const Table& t, int tbSide, std::vector<uint8_t>* bytes, FileStats* stats,
                std::string* error);

// dir/name.nbw or .nbb.
std::string plainPath(const std::string& dir, const std::string& name, int tbSide);
// The file of an ending and side the engine would find in dir (its four candidate names,
// in its order), or "".
std::string findFile(const std::string& dir, const std::string& name, int tbSide);
// Are all files of the ending in dir, each as long as the ending's entries take?
bool tableFilesExist(const std::string& dir, const std::string& name);

// Removes the temporary files (NAME....part) that an interrupted writeTable of the ending
// left in dir.
void removePartFiles(const std::string& dir, const std::string& name);

// Writes the table's files into dir, plain (name.nbw) or compressed (name.nbw.emd),
// replacing earlier files of the ending in either form. stats has one entry per file.
bool writeTable(const Table& t, const std::string& dir, bool compress, std::vector<FileStats>* stats,
                std::string* error);

// The file's plain contents, from a plain or a compressed file.
bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// Every ending the engine knows with up to men men (kings included), in an order in which
// captures and promotions always lead to endings that come earlier.
std::vector<std::string> generationOrder(int men);

// Reads the files of an ending from dir into done, for the analysis of larger endings:
// the sides to move of the mask (BOTH_SIDES, or bit s for side s) in the compact form of
// Table::code, added to the table's sides when it is in done already.
bool loadTable(const std::string& name, const std::string& dir, TableSet& done, std::string* error,
               int sides = BOTH_SIDES, int threads = 1);

// Brings a table that only larger endings will read into its compact form: the sides of
// the mask as one-byte codes, the rest (both sides' states, the en-passant positions)
// freed. False, with the table unchanged, when a value does not fit the byte (past 127
// moves).
bool compactTable(Table* t, int sides);

// Frees the sides of a compact table that are not in the mask.
void dropSides(Table* t, int sides);

// Bytes a table holds.
uint64_t tableBytes(const Table& t);

}  // namespace tbgen
