#include "probe_text.h"

#include <cstring>
#include <sstream>

#include "board/position.h"
#include "tablebase/generator/verify.h"
#include "tablebase/tablebase.h"

std::string probeFenLine(const std::string& line, Position* position, UndoRecord* records,
                         const BoardTables* tables) {
  std::istringstream in(line);
  std::string f[6] = {"", "w", "-", "-", "0", "1"};
  for (auto& field : f)
    if (!(in >> field)) break;
  if (f[0].empty()) return "";
  int side = WHITE;
  // Both kings are required: the position set-up ends the process without one. The set-up
  // reads the field only up to a NUL byte, so that is where the kings must be.
  const char* placement = f[0].c_str();
  if (!std::strchr(placement, 'K') || !std::strchr(placement, 'k')) return "not found";
  if (!setBoardFromFen(f[0].c_str(), f[1][0], f[2].c_str(), f[3].c_str(), f[4].c_str(),
                       f[5].c_str(), &side, position, &records[0], tables, false))
    return "not found";
  int score = 0;
  if (!tbProbe(side, &score, position, &records[0])) return "not found";
  return tbgen::valueText(score);
}
