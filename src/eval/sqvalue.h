// The square-value file: fourteen 8x8 tables of piece-square and passed-pawn values.
//
// Layout: a title line; table 1 as 8 rows (rank 8 first, files a..h), each row eight
// integers and anything after them ignored; every further table preceded by two
// ignored lines (separator and title); one more ignored line after table 14. Table
// order is that of SquareValueTable. Values not read (short or malformed file) keep
// their previous contents.
#pragma once

#include <cstdio>

#include "board/types.h"

// Reads "sqvalue" from the working directory; prints
// "Playing without a square value table.\n" when it cannot be opened.
void loadSquareValues(BoardTables* tables);

// Reads the tables from path; false (nothing changed) when the file cannot be opened.
bool loadSquareValuesFrom(const char* path, BoardTables* tables);

// Reads the tables from an open stream (the body of loadSquareValuesFrom).
void readSquareValues(std::FILE* file, BoardTables* tables);
