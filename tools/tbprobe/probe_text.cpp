#include "probe_text.h"

#include <cstring>
#include <sstream>

#include "board/position.h"
#include "movegen/attacks.h"
#include "tablebase/generator/verify.h"
#include "tablebase/tablebase.h"

namespace {

bool isSquare(const std::string& s) {
  return s.size() == 2 && s[0] >= 'a' && s[0] <= 'h' && s[1] >= '1' && s[1] <= '8';
}

bool isCount(const std::string& s) {
  return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string::npos;
}

// Eight ranks of eight squares each. (The engine's own reader takes shorter ones.)
bool eightByEight(const std::string& placement) {
  int ranks = 1, squares = 0;
  for (const char c : placement) {
    if (c == '/') {
      if (squares != 8) return false;
      ++ranks;
      squares = 0;
    } else {
      squares += c >= '1' && c <= '8' ? c - '0' : 1;
    }
  }
  return ranks == 8 && squares == 8;
}

// The fields besides the placement's pieces; missing ones take their usual defaults.
bool fieldsWellFormed(const std::string f[6]) {
  if (!eightByEight(f[0]) || (f[1] != "w" && f[1] != "b")) return false;
  if (f[2] != "-" && (f[2].empty() || f[2].find_first_not_of("KQkq") != std::string::npos))
    return false;
  return (f[3] == "-" || isSquare(f[3])) && isCount(f[4]) && isCount(f[5]);
}

}  // namespace

std::string probeFenLine(const std::string& line, Position* position, UndoRecord* records,
                         const BoardTables* tables) {
  std::istringstream in(line);
  std::string f[6] = {"", "w", "-", "-", "0", "1"};
  for (auto& field : f)
    if (!(in >> field)) break;
  if (f[0].empty()) return "";
  std::string extra;
  if (in >> extra || !fieldsWellFormed(f)) return MALFORMED_FEN;
  // The readers below stop at a NUL byte; what stands behind one would go unread.
  if (std::strlen(f[0].c_str()) != f[0].size()) return MALFORMED_FEN;
  int board[64];
  const PlacementStatus status = readPlacement(f[0].c_str(), board);
  if (status == PLACEMENT_MALFORMED) return MALFORMED_FEN;
  if (status == PLACEMENT_ILLEGAL) return ILLEGAL_POSITION;
  int side = WHITE;
  if (!setBoardFromFen(f[0].c_str(), f[1][0], f[2].c_str(), f[3].c_str(), f[4].c_str(),
                       f[5].c_str(), &side, position, &records[0], tables, false))
    return ILLEGAL_POSITION;
  if (sideNotToMoveInCheck(side, position, &records[0], tables)) return ILLEGAL_POSITION;
  int score = 0;
  if (!tbProbe(side, &score, position, &records[0])) return "not found";
  return tbgen::valueText(score);
}
