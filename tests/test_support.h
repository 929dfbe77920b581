// A complete engine board for tests: position, undo records and tables.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "board/types.h"

struct TestBoard {
  Position position{};
  UndoRecord records[MAX_PLY]{};
  BoardTables tables{};
  int side = WHITE;

  TestBoard();                           // the start position
  explicit TestBoard(const std::string& fen);
  bool setFen(const std::string& fen);  // false when refused
  std::string fen() const;
  // Legal moves at ply 0 (captures first), and the coordinate text of one.
  std::vector<Move> legalMoves();
  void play(Move move);  // as the driver plays a game move
  uint64_t perftCount(int depth);
};

std::unique_ptr<TestBoard> makeBoard(const std::string& fen = "");
std::string coordinates(Move move);
std::string testDataPath(const std::string& relative);

// Does the whole line match the pattern? In a pattern '#' stands for an integer (an
// optional minus and digits), '@' for a word (one or more non-blank characters); every
// other character stands for itself.
bool matchesPattern(const std::string& line, const std::string& pattern);
// Does any line of text (split at line feeds) match the pattern?
bool hasLineMatching(const std::string& text, const std::string& pattern);

// EPD lines of the form "FEN ;D1 n ;D2 n ...".
struct PerftCase {
  std::string fen;
  std::vector<uint64_t> counts;  // counts[d - 1] for depth d
};
std::vector<PerftCase> readPerftFile(const std::string& path);
