// Reading command lines: standard input and the start-up file, split into words.
#pragma once

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
// state processing. Returns false at the end of the input.
bool readCommandLine(std::FILE* in = stdin);
