#include "driver/input.h"

#include <cctype>
#include <cstring>

char commandWords[WORD_COUNT][WORD_SIZE];
bool hashStartsComment = true;
uint32_t engineState = PROCESSING;

namespace {
bool isSpace(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

void clearWords(char words[WORD_COUNT][WORD_SIZE]) {
  for (int i = 0; i < WORD_COUNT; ++i) words[i][0] = '\0';
}

void splitConfigLine(const char* line, char words[WORD_COUNT][WORD_SIZE]) {
  clearWords(words);
  int word = -1, length = 0;
  char previous = ' ';
  for (const char* c = line; *c; previous = *c++) {
    if (isSpace(*c)) continue;
    if (isSpace(previous)) {
      if (++word >= WORD_COUNT) return;
      length = 0;
    }
    if (length < WORD_SIZE - 1) {
      words[word][length++] = *c;
      words[word][length] = '\0';
    }
  }
}

bool readCommandLine(std::FILE* in) {
  if (engineState != RESTING) return true;
  clearWords(commandWords);
  int words = 0, length = 0;
  bool inWord = false, skipping = false, comment = false;
  for (;;) {
    const int c = std::fgetc(in);
    if (c == EOF) {
      // A last line without a line feed still counts; the end itself is reported next time.
      if (words > 0 || inWord) {
        engineState = PROCESSING;
        return true;
      }
      return false;
    }
    if (c == '\n') break;
    if (comment) continue;
    if (isSpace(c)) {
      if (inWord) ++words;
      inWord = skipping = false;
      continue;
    }
    if (skipping) continue;
    if (!inWord && words == 0 && c == '#' && hashStartsComment) {
      comment = true;
      continue;
    }
    if (!inWord) {
      if (words == WORD_COUNT) {  // a 13th word and later ones are dropped; the 12 stay
        skipping = true;
        continue;
      }
      inWord = true;
      length = 0;
    }
    if (length == WORD_SIZE - 1) {  // an 80th character: start again with the next word
      clearWords(commandWords);
      words = 0;
      inWord = false;
      skipping = true;
      continue;
    }
    commandWords[words][length++] = char(c);
    commandWords[words][length] = '\0';
  }
  if (inWord) ++words;
  if (words > 0) engineState = PROCESSING;
  return true;
}
