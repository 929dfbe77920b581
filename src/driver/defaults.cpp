#include "driver/defaults.h"

#include <cstddef>

#include "driver/commands.h"
#include "driver/input.h"
#include "eval/sqvalue.h"

// Generated from data/ by cmake/embed_files.cmake.
extern const unsigned char BUILTIN_VORLAK_CFG[];
extern const size_t BUILTIN_VORLAK_CFG_SIZE;
extern const unsigned char BUILTIN_SQVALUE[];
extern const size_t BUILTIN_SQVALUE_SIZE;

namespace {

std::string_view text(const unsigned char* bytes, size_t size) {
  return {reinterpret_cast<const char*>(bytes), size};
}

// The built-in file as a stream, so that it goes through the same reader as the file.
// Opened for reading only: the bytes are never written.
std::FILE* openBuiltin(std::string_view file) {
  std::FILE* stream = fmemopen(const_cast<char*>(file.data()), file.size(), "r");
  if (!stream) std::fprintf(stderr, "vorlak: cannot read the built-in defaults\n");
  return stream;
}

}  // namespace

std::string_view builtinConfiguration() { return text(BUILTIN_VORLAK_CFG, BUILTIN_VORLAK_CFG_SIZE); }
std::string_view builtinSquareValueFile() { return text(BUILTIN_SQVALUE, BUILTIN_SQVALUE_SIZE); }

void runStartupCommands(std::FILE* file, Engine* e) {
  char line[WORD_SIZE];
  char words[WORD_COUNT][WORD_SIZE];
  while (std::fgets(line, sizeof line, file)) {
    if (line[0] == '#' || line[0] == '\n' || line[0] == '\r') continue;
    splitConfigLine(line, words);
    interpretCommand(words, e);
  }
}

void loadDefaultSettings(Engine* e) {
  if (std::FILE* stream = openBuiltin(builtinConfiguration())) {
    runStartupCommands(stream, e);
    std::fclose(stream);
  }
}

void loadBuiltinSquareValues(BoardTables* tables) {
  if (std::FILE* stream = openBuiltin(builtinSquareValueFile())) {
    readSquareValues(stream, tables);
    std::fclose(stream);
  }
}

void loadDefaults(Engine* e) {
  loadDefaultSettings(e);
  loadBuiltinSquareValues(&e->tables);
}
