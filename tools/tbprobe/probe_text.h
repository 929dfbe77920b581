// tbprobe's handling of one input line: a FEN (missing trailing fields take their
// defaults) checked and probed through the engine's own tablebase probe.
#pragma once

#include <string>

#include "board/types.h"

inline const char* const MALFORMED_FEN = "malformed FEN";
inline const char* const ILLEGAL_POSITION = "illegal position";

// The answer for the line: "mate in N", "mated in N", "draw", "not found",
// MALFORMED_FEN or ILLEGAL_POSITION; "" for a line without a placement. position,
// records and tables are scratch space; the tables must have been built (initTables).
std::string probeFenLine(const std::string& line, Position* position, UndoRecord* records,
                         const BoardTables* tables);
