// Reading command lines: standard input and the start-up file, split into words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int WORD_COUNT = 12;
constexpr int WORD_SIZE = 80;

enum EngineState : uint32_t { PROCESSING = 1, RESTING = 2, SEARCHING = 4 };

extern char commandWords[WORD_COUNT][WORD_SIZE];
extern uint32_t engineState;
// A "#" before the first word makes the rest of a line a comment, except in edit mode.
extern bool hashStartsComment;

void clearWords(char words[WORD_COUNT][WORD_SIZE]);

// Splits one start-up file line (at most 79 characters) into at most 12 words.
void splitConfigLine(const char* line, char words[WORD_COUNT][WORD_SIZE]);

// Reads one line from in into commandWords when resting; a line with words makes the
// state processing. Returns false at the end of the input. Standard input is read through
// the buffer below, other streams through stdio.
bool readCommandLine(std::FILE* in = stdin);

// Standard input has its own buffer so that a search can look at the lines that are
// waiting without blocking (stdio's buffer would hide them from poll).

// Reads the next line of standard input without its line end into line (at most size - 1
// characters; *tooLong is set and line emptied when it had more). False at the end of input.
bool readInputLine(char* line, size_t size, bool* tooLong);

// What a watcher does with a waiting line.
enum LineAction : int { KEEP_LINE = 0, TAKE_LINE = 1 };
using LineWatcher = LineAction (*)(const char* line);

// Reads what standard input holds now (waiting for it when wait is set and no line is
// waiting) and offers each complete line not offered before, in order, to watcher: a
// line it takes is removed, the others stay for the readers above. Offered lines are
// not offered again until endInputWatch.
void watchInput(LineWatcher watcher, bool wait);
void endInputWatch();

// The end of standard input has been reached (the interface has gone); lines read before
// it may still be waiting.
bool inputClosed();
