#include "eval/sqvalue.h"

#include <cstdio>

namespace {

// A value beyond the widest score cannot be meant and could overflow the sums.
constexpr long LARGEST_VALUE = INFINITE_SCORE;

// Drops the rest of the current line whatever its length (a fixed line buffer would
// leave the tail of a long line to be misread as the next line).
void skipLine(std::FILE* f) {
  int c;
  do c = std::getc(f);
  while (c != EOF && c != '\n');
}

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(int c) { return c >= '0' && c <= '9'; }

// Like scanning "%d": skips white space, line ends included, then reads an optional
// sign and digits. Fails on anything else, leaving that character unread.
bool scanInteger(std::FILE* f, int32_t* out) {
  int c;
  do c = std::getc(f);
  while (isSpace(c));
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    c = std::getc(f);
  }
  if (!isDigit(c)) {
    if (c != EOF) std::ungetc(c, f);
    return false;
  }
  long value = 0;
  bool inRange = true;
  for (; isDigit(c); c = std::getc(f)) {
    value = value * 10 + (c - '0');
    if (value > LARGEST_VALUE) {
      inRange = false;
      value = LARGEST_VALUE;
    }
  }
  if (c != EOF) std::ungetc(c, f);
  if (!inRange) return false;
  *out = int32_t(negative ? -value : value);
  return true;
}

}  // namespace

void readSquareValues(std::FILE* f, BoardTables* t) {
  skipLine(f);  // title
  for (int table = 0; table < SV_TABLE_COUNT; ++table) {
    if (table > 0) {
      skipLine(f);  // separator
      skipLine(f);  // table title
    }
    for (int rank = 7; rank >= 0; --rank) {
      // After a failed scan the rest of the row keeps its values, as a "%d" scan stuck on
      // the same character would.
      bool scanning = true;
      for (int file = 0; file < 8 && scanning; ++file)
        scanning = scanInteger(f, &t->squareValues[table][rank * 8 + file]);
      skipLine(f);
    }
  }
  skipLine(f);
}

bool loadSquareValuesFrom(const char* path, BoardTables* t) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) return false;
  readSquareValues(f, t);
  std::fclose(f);
  return true;
}

void loadSquareValues(BoardTables* t) {
  if (!loadSquareValuesFrom("sqvalue", t)) std::printf("Playing without a square value table.\n");
}
