// What the fuzz targets share: a private scratch directory, quiet standard output, an
// in-memory stream over the input, an engine set up as start-up leaves it, and small
// tablebases made at start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/engine.h"

namespace fuzz {

// Once per process: makes a private directory under $TMPDIR (or /tmp), works in it from
// now on and removes it at exit; standard output goes to /dev/null (the engine talks a
// lot; libFuzzer reports on standard error). Returns the directory.
const std::string& startInScratchDirectory();

// A read-only stream over the bytes (fmemopen; an empty input is a stream at its end).
std::FILE* openBytes(const uint8_t* data, size_t size);

// Writes the bytes to the file name in the scratch directory.
void writeFile(const char* name, const uint8_t* data, size_t size);

// Makes the three-man tablebases (compressed) in dir "tb" of the scratch
// directory once, registers them and sets up a cache of a few blocks. Returns the
// tablebase reach.
int setUpSmallTablebases();

// The engine as start-up leaves it, working in the scratch directory: small transposition
// tables, no list file, a new game (square values from the scratch directory's sqvalue,
// when there is one).
Engine* startEngine();
// Back to a fresh new game, keeping the allocated tables.
void resetEngine(Engine* engine);

}  // namespace fuzz
