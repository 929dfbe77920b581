// Files that are rewritten whole (the books, the book sources, tablebase files): the new
// contents go to a temporary file beside the target, which is renamed over the target
// only once everything is written and on disk. A reader, or a run cut short by a full
// disk, a crash or a signal, finds the old file or the new one, never a part of one.
#pragma once

#include <cstdio>

constexpr int REPLACEMENT_PATH_SIZE = 4096;
constexpr const char* REPLACEMENT_SUFFIX = ".part";  // the temporary file is target + this

struct ReplacementFile {
  std::FILE* file;  // the temporary file, open for binary writing; nullptr when closed
  char target[REPLACEMENT_PATH_SIZE];
  char temporary[REPLACEMENT_PATH_SIZE];
};

// Creates the temporary file (with the target's permissions when the target exists) and
// returns it; nullptr, with errno telling why, when it cannot be made.
std::FILE* beginReplacement(const char* path, ReplacementFile* replacement);

// Flushes, syncs and closes the temporary file, so that only the rename is left. False
// when any step failed (errno tells why): the temporary file is then removed. Lets
// several files be completed before any of them replaces its target.
bool closeReplacement(ReplacementFile* replacement);

// Completes the temporary file (unless closeReplacement already did) and renames it over
// the target. False when any step failed (errno tells why): the temporary file is then
// removed and the target is as it was.
bool commitReplacement(ReplacementFile* replacement);

// Closes and removes the temporary file; the target stays as it was.
void abandonReplacement(ReplacementFile* replacement);
