// readPGN: PGN games as people have them, read one character at a time, become
// numbered openings of the text sources.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "book/bookbuild.h"
#include "support/replacefile.h"

namespace {

enum GameResult { RESULT_UNKNOWN, WHITE_WON, DRAWN, BLACK_WON };
enum PlayerSide { PLAYER_UNKNOWN, PLAYER_WHITE, PLAYER_BLACK };

// Longer words in move text than this are no moves at all: the game is skipped.
constexpr int RAW_TOKEN_SIZE = 32;

struct PgnGame {
  char event[SOURCE_LINE_SIZE];
  bool hasEvent;
  char tags[MAX_PGN_TAGS][SOURCE_LINE_SIZE];
  int tagCount;
  char moves[MAX_PGN_PAIRS][2][MAX_MOVE_TOKEN + 1];
  int pairs;      // complete pairs
  int half;       // 0: White's move comes next, 1: Black's
  GameResult tagResult, textResult;
  PlayerSide player;
  bool skip;      // an over-long move or a set-up position: not written
  bool closed;    // no further moves taken (256 pairs, result, a word that is no move)
  bool movetext;  // moves or a result seen: the next tag line starts a new game
};

// The move-text scanner's state; it carries over from line to line.
struct Scanner {
  bool inComment;  // inside { }
  int variation;   // depth of ( )
  char raw[RAW_TOKEN_SIZE];
  int length;
  bool overlong;
};

// Both fit the static data segment rather than the stack: a game is about 15 kB.
PgnGame game;
Scanner scanner;

void startGame() {
  game.hasEvent = false;
  game.tagCount = game.pairs = game.half = 0;
  game.tagResult = game.textResult = RESULT_UNKNOWN;
  game.player = PLAYER_UNKNOWN;
  game.skip = game.closed = game.movetext = false;
  scanner.variation = 0;
  scanner.length = 0;
  scanner.overlong = false;
}

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool isFile(char c) { return c >= 'a' && c <= 'h'; }
bool isRank(char c) { return c >= '1' && c <= '8'; }
bool isAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

GameResult resultOf(const char* text) {
  GameResult r = RESULT_UNKNOWN;
  if (std::strstr(text, "1-0"))
    r = WHITE_WON;
  else if (std::strstr(text, "1/2"))
    r = DRAWN;
  if (std::strstr(text, "0-1")) r = BLACK_WON;
  return r;
}

void addMove(const char* move) {
  if (game.closed) return;
  if (std::strlen(move) > size_t(MAX_MOVE_TOKEN)) {
    game.skip = true;
    return;
  }
  game.movetext = true;
  std::strcpy(game.moves[game.pairs][game.half], move);
  if (game.half == 0) {
    game.half = 1;
  } else {
    game.half = 0;
    if (++game.pairs == MAX_PGN_PAIRS) game.closed = true;
  }
}

// Writes "0-0" castling with letters and puts the '=' into promotions written without
// it ("e8Q"), the forms the move matcher knows.
void normalise(char* move) {
  if (move[0] == '0') {
    for (char* c = move; *c == '0' || *c == '-'; ++c)
      if (*c == '0') *c = 'O';
    return;
  }
  // Only short words: the longer result could not be a move anyway.
  const size_t end = std::strcspn(move, "+#");
  if (std::strlen(move) < size_t(MAX_MOVE_TOKEN) && isFile(move[0]) && end >= 3 &&
      isRank(move[end - 2]) && std::strchr("QRBN", move[end - 1])) {
    std::memmove(move + end, move + end - 1, std::strlen(move + end - 1) + 1);
    move[end - 1] = '=';
  }
}

bool isMoveText(const char* move) {
  for (const char* c = move; *c; ++c)
    if (!std::strchr("abcdefgh12345678NBRQKOx=+#-", *c)) return false;
  return *move != '-';  // "--" is a null move
}

// One word of move text, ended by a blank, a line end or a bracket.
void endToken() {
  if (scanner.length == 0 && !scanner.overlong) return;
  const bool overlong = scanner.overlong;
  scanner.raw[scanner.length] = '\0';
  scanner.length = 0;
  scanner.overlong = false;
  if (overlong) {
    if (!game.closed) game.skip = true;
    return;
  }
  char* word = scanner.raw;
  if (!std::strcmp(word, "1-0") || !std::strcmp(word, "0-1") || !std::strcmp(word, "1/2-1/2") ||
      !std::strcmp(word, "*")) {
    game.textResult = resultOf(word);
    game.movetext = game.closed = true;
    return;
  }
  // Move numbers: "12.", "12...", "12.e4", "12...Nf6".
  char* digits = word;
  while (*digits >= '0' && *digits <= '9') ++digits;
  if (digits != word && *digits == '.') {
    while (*digits == '.') ++digits;
    word = digits;
  }
  if (word[0] == '\0' || word[0] == '$') return;  // a bare number or a NAG
  if (!std::strcmp(word, "e.p.") || !std::strcmp(word, "ep")) return;
  size_t length = std::strlen(word);
  while (length > 0 && (word[length - 1] == '!' || word[length - 1] == '?')) word[--length] = '\0';
  bool alphanumeric = false;
  for (const char* c = word; *c; ++c) alphanumeric |= isAlphanumeric(*c);
  if (!alphanumeric && std::strcmp(word, "--") != 0) return;  // "+-", "=", "!!" and the like
  normalise(word);
  if (isMoveText(word))
    addMove(word);
  else
    game.closed = true;  // a null move or a foreign word: the game ends before it
}

void scanMoveCharacter(char c) {
  if (scanner.inComment) {
    if (c == '}') scanner.inComment = false;
    return;
  }
  if (c == '{') {
    endToken();
    scanner.inComment = true;
  } else if (c == '(') {
    endToken();
    ++scanner.variation;
  } else if (c == ')') {
    endToken();
    if (scanner.variation > 0) --scanner.variation;
  } else if (scanner.variation > 0) {
  } else if (isBlank(c)) {
    endToken();
  } else if (scanner.length < RAW_TOKEN_SIZE - 1) {
    scanner.raw[scanner.length++] = c;
  } else {
    scanner.overlong = true;
  }
}

// The tag's name and value: [Name "value"].
bool parseTag(const char* line, char* name, size_t nameSize, const char** value,
              size_t* valueLength) {
  const char* c = line + 1;
  while (isBlank(*c)) ++c;
  size_t n = 0;
  while (isAlphanumeric(*c) || *c == '_') {
    if (n + 1 < nameSize) name[n++] = *c;
    ++c;
  }
  name[n] = '\0';
  const char* open = std::strchr(c, '"');
  const char* close = open ? std::strrchr(open + 1, '"') : nullptr;
  if (!close) return false;
  *value = open + 1;
  *valueLength = size_t(close - open - 1);
  return true;
}

struct Output {
  std::FILE* white;
  std::FILE* black;
  int nextWhite, nextBlack;
  const char* player;
  int maxMoves;
  PgnTally* tally;
};

void writeGame(Output* out) {
  if (game.skip) return;
  const GameResult result = game.tagResult != RESULT_UNKNOWN ? game.tagResult : game.textResult;
  const bool everyone = std::strcmp(out->player, ALL_PLAYERS) == 0;
  std::FILE* f = nullptr;
  int number = 0;
  if (result == WHITE_WON && (everyone || game.player == PLAYER_WHITE)) {
    f = out->white;
    number = out->nextWhite++;
    ++out->tally->whiteGames;
  } else if (result == BLACK_WON && (everyone || game.player == PLAYER_BLACK)) {
    f = out->black;
    number = out->nextBlack++;
    ++out->tally->blackGames;
  }
  if (!f) return;
  std::fprintf(f, "[OpeningNo \"%d\"]\n", number);
  std::fprintf(f, "[OpeningWeight 1]\n");
  if (game.hasEvent) std::fprintf(f, "%s\n", game.event);
  for (int i = 0; i < game.tagCount; ++i) std::fprintf(f, "%s\n", game.tags[i]);
  for (int i = 0; i < game.pairs && i < out->maxMoves; ++i)
    std::fprintf(f, "%d. %s %s\n", i + 1, game.moves[i][0], game.moves[i][1]);
  std::fprintf(f, "\n");
}

bool hasTags() { return game.hasEvent || game.tagCount > 0; }

void tagLine(const char* line, Output* out) {
  char name[32];
  const char* value = nullptr;
  size_t valueLength = 0;
  if (!parseTag(line, name, sizeof name, &value, &valueLength)) return;  // not a tag
  const bool event = std::strcmp(name, "Event") == 0;
  if (game.movetext || (event && hasTags())) {
    writeGame(out);
    startGame();
  }
  char text[SOURCE_LINE_SIZE];
  std::memcpy(text, value, valueLength);
  text[valueLength] = '\0';
  if (event && !game.hasEvent) {
    std::strcpy(game.event, line);
    game.hasEvent = true;
    return;
  }
  if (!std::strcmp(name, "Result")) game.tagResult = resultOf(text);
  if (!std::strcmp(name, "White") && std::strstr(text, out->player)) game.player = PLAYER_WHITE;
  if (!std::strcmp(name, "Black") && std::strstr(text, out->player)) game.player = PLAYER_BLACK;
  if (!std::strcmp(name, "FEN")) game.skip = true;  // not played from the initial position
  // Our own tags in a game would split or reweigh the source's openings.
  if (!std::strcmp(name, "OpeningNo") || !std::strcmp(name, "OpeningWeight")) return;
  if (game.tagCount < MAX_PGN_TAGS) std::strcpy(game.tags[game.tagCount++], line);
}

// Reads the rest of a line into line (without its end); false when it was too long.
bool restOfLine(std::FILE* f, char* line, int length) {
  bool fits = true;
  int c;
  while ((c = std::getc(f)) != EOF && c != '\n') {
    if (length < SOURCE_LINE_SIZE - 1)
      line[length++] = char(c);
    else
      fits = false;
  }
  while (length > 0 && line[length - 1] == '\r') --length;
  line[length] = '\0';
  return fits;
}

int nextOpeningNumber(const char* source) {
  std::FILE* f = std::fopen(source, "r");
  if (!f) return 1;
  static const char prefix[] = "[OpeningNo \"";
  long largest = 0;
  char line[SOURCE_LINE_SIZE];
  while (!std::feof(f) && !std::ferror(f)) {  // a read error (a directory) ends it too
    restOfLine(f, line, 0);
    if (!std::strncmp(line, prefix, sizeof prefix - 1)) {
      const long n = std::strtol(line + sizeof prefix - 1, nullptr, 10);
      if (n > largest) largest = n;
    }
  }
  std::fclose(f);
  return int(largest + 1);
}

// The new source starts as a copy of the old one (none: empty).
bool copyExisting(const char* source, std::FILE* to) {
  std::FILE* from = std::fopen(source, "rb");
  if (!from) return true;
  char buffer[8192];
  size_t n;
  bool ok = true;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, from)) > 0)
    ok = std::fwrite(buffer, 1, n, to) == n;
  ok = ok && !std::ferror(from);
  std::fclose(from);
  return ok;
}

bool sameFile(const char* a, const char* b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

// One line for a source that cannot be written; the first count temporary files go.
void sourcesUnchanged(const char* name, ReplacementFile* sources, int count) {
  std::printf("readPGN: can't write %s (%s); the sources are unchanged\n", name,
              std::strerror(errno));
  for (int i = 0; i < count; ++i) abandonReplacement(&sources[i]);
}

}  // namespace

PgnTally readPGN(const char* file, const char* player, int maxMoves) {
  PgnTally tally{false, 0, 0};
  if (sameFile(file, "white") || sameFile(file, "black")) {
    std::printf("readPGN: %s is a book source, not a PGN file\n", file);
    return tally;
  }
  std::FILE* in = std::fopen(file, "r");
  if (!in) {
    std::printf("readPGN: can't read %s\n", file);
    return tally;
  }
  Output out{nullptr, nullptr, nextOpeningNumber("white"), nextOpeningNumber("black"),
             player, maxMoves < 0 ? 0 : maxMoves, &tally};
  // Both sources are rewritten beside the old ones and replace them only when both are
  // complete: a full disk or an unwritable directory leaves them as they were.
  static const char* const names[2] = {"white", "black"};
  ReplacementFile sources[2];
  for (int i = 0; i < 2; ++i) {
    if (beginReplacement(names[i], &sources[i]) && copyExisting(names[i], sources[i].file))
      continue;
    sourcesUnchanged(names[i], sources, i + 1);
    std::fclose(in);
    return tally;
  }
  out.white = sources[0].file;
  out.black = sources[1].file;
  startGame();
  scanner.inComment = false;
  char line[SOURCE_LINE_SIZE];
  int c;
  while ((c = std::getc(in)) != EOF) {
    // Tag lines and escape lines are whole lines; the rest is move text.
    if (c == '[' && !scanner.inComment) {
      line[0] = '[';
      if (restOfLine(in, line, 1)) tagLine(line, &out);
      continue;
    }
    if (c == '%' && !scanner.inComment) {
      restOfLine(in, line, 0);
      continue;
    }
    bool comment = false;  // after ';' up to the line end
    for (; c != EOF && c != '\n'; c = std::getc(in)) {
      if (c == ';' && !scanner.inComment) comment = true;
      if (!comment) scanMoveCharacter(char(c));
    }
    endToken();
    if (c == EOF) break;
  }
  endToken();
  writeGame(&out);
  std::fclose(in);
  for (int i = 0; i < 2; ++i)
    if (!closeReplacement(&sources[i])) {
      sourcesUnchanged(names[i], sources, 2);
      return tally;
    }
  for (int i = 0; i < 2; ++i)
    if (!commitReplacement(&sources[i])) {
      // Only a rename can fail here; the white source may then hold the new games.
      std::printf("readPGN: can't replace %s (%s)\n", names[i], std::strerror(errno));
      abandonReplacement(&sources[1]);
      return tally;
    }
  tally.read = true;
  return tally;
}
