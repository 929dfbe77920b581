#include "driver/input.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

char commandWords[WORD_COUNT][WORD_SIZE];
bool hashStartsComment = true;
uint32_t engineState = PROCESSING;

namespace {

bool isSpace(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Standard input's bytes: [start, end) unread, [start, watched) offered to a watcher.
constexpr size_t INPUT_BUFFER_SIZE = size_t(1) << 18;
char inputBuffer[INPUT_BUFFER_SIZE];
size_t inputStart = 0, inputEnd = 0, inputWatched = 0;
bool inputAtEnd = false;

// Moves the unread bytes to the front and reads what fits behind them: without wait only
// when poll says that something is there. True when bytes were added.
bool fillInput(bool wait) {
  if (inputAtEnd) return false;
  if (inputStart > 0) {
    std::memmove(inputBuffer, inputBuffer + inputStart, inputEnd - inputStart);
    inputEnd -= inputStart;
    inputWatched -= inputStart;
    inputStart = 0;
  }
  if (inputEnd == INPUT_BUFFER_SIZE) return false;  // the reader must take some first
  if (!wait) {
    pollfd request{0, POLLIN, 0};
    if (poll(&request, 1, 0) <= 0) return false;
  }
  ssize_t n;
  do n = read(0, inputBuffer + inputEnd, INPUT_BUFFER_SIZE - inputEnd);
  while (n < 0 && errno == EINTR);
  if (n <= 0) {
    inputAtEnd = true;
    return false;
  }
  inputEnd += size_t(n);
  return true;
}

int inputCharacter() {
  if (inputStart == inputEnd && !fillInput(true)) return EOF;
  const int c = static_cast<unsigned char>(inputBuffer[inputStart++]);
  if (inputWatched < inputStart) inputWatched = inputStart;
  return c;
}

const char* lineEnd(size_t from) {
  return static_cast<const char*>(std::memchr(inputBuffer + from, '\n', inputEnd - from));
}

}  // namespace

bool readInputLine(char* line, size_t size, bool* tooLong) {
  size_t length = 0;
  *tooLong = false;
  for (;;) {
    const int c = inputCharacter();
    if (c == EOF) {
      line[length] = '\0';
      return length > 0 || *tooLong;  // a last line without a line feed still counts
    }
    if (c == '\n') break;
    if (*tooLong) continue;
    if (length + 1 >= size) {
      *tooLong = true;
      length = 0;
      continue;
    }
    line[length++] = char(c);
  }
  if (length > 0 && line[length - 1] == '\r') --length;
  line[length] = '\0';
  return true;
}

void watchInput(LineWatcher watcher, bool wait) {
  // A watched line is at most this long; the rest of a longer one is not looked at.
  constexpr size_t WATCHED_LINE_SIZE = 256;
  while (fillInput(false)) {
  }
  if (wait && !lineEnd(inputWatched) && !inputAtEnd) {
    while (fillInput(true) && !lineEnd(inputWatched)) {
    }
  }
  while (const char* end = lineEnd(inputWatched)) {
    const size_t from = inputWatched, to = size_t(end - inputBuffer) + 1;
    char line[WATCHED_LINE_SIZE];
    size_t length = std::min(to - 1 - from, WATCHED_LINE_SIZE - 1);
    std::memcpy(line, inputBuffer + from, length);
    if (length > 0 && line[length - 1] == '\r') --length;
    line[length] = '\0';
    if (watcher(line) == TAKE_LINE) {
      std::memmove(inputBuffer + from, inputBuffer + to, inputEnd - to);
      inputEnd -= to - from;
    } else {
      inputWatched = to;
    }
  }
}

void endInputWatch() { inputWatched = inputStart; }

bool inputClosed() { return inputAtEnd; }

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
    const int c = in == stdin ? inputCharacter() : std::fgetc(in);
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
