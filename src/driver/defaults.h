// The built-in defaults: data/vorlak.cfg and data/sqvalue as they were when the engine
// was built, for sessions that start without those files in the working directory
// (bench from the command line now, a UCI session later).
#pragma once

#include <cstdio>
#include <string_view>

#include "driver/engine.h"

// The built-in copies of the two files, byte for byte.
std::string_view builtinConfiguration();
std::string_view builtinSquareValueFile();

// Hands every line of a start-up command file to the interpreter, as at start-up:
// lines of at most 79 characters, comment and empty lines skipped.
void runStartupCommands(std::FILE* file, Engine* engine);

// The settings of the built-in vorlak.cfg (table sizes, tablebase directory), as if it
// had been read at start-up; call before the tables are allocated.
void loadDefaultSettings(Engine* engine);

// The square values of the built-in sqvalue. A later newGame without an sqvalue file
// keeps them (it only says that it plays without the file).
void loadBuiltinSquareValues(BoardTables* tables);

// Both of the above. Prints nothing on standard output.
void loadDefaults(Engine* engine);
