#include "driver/uci.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/makemove.h"
#include "board/position.h"
#include "driver/commands.h"
#include "driver/defaults.h"
#include "driver/game.h"
#include "driver/history.h"
#include "driver/input.h"
#include "driver/play.h"
#include "driver/tables.h"
#include "driver/version.h"
#include "eval/evaluate.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "movegen/notation.h"
#include "search/ordering.h"

namespace {

// Long enough for the moves of any real game after "position startpos moves".
constexpr size_t UCI_LINE_SIZE = size_t(1) << 16;
constexpr int MAX_POSITION_MOVES = 4096;
constexpr size_t TOKEN_SIZE = 256;
// Nodes between looks at the input during a search: about a millisecond.
constexpr uint64_t POLL_INTERVAL_NODES = 4096;
// A search that no clock limits (infinite, depth, nodes): far beyond any real search.
constexpr double UNLIMITED_BUDGET = 1e15;  // microseconds
constexpr long MAX_HASH_MEGABYTES = 65536;
constexpr long MAX_CACHE_MEGABYTES = 4096;
constexpr long DEFAULT_MOVE_OVERHEAD = 20;  // milliseconds
constexpr long MAX_MOVE_OVERHEAD = 5000;
constexpr double MILLISECONDS_PER_CENTISECOND = 10.0;

Engine* engine = nullptr;
std::FILE* out = nullptr;  // the interface; standard output carries only the engine's chatter
bool ownBook = true;
long moveOverhead = DEFAULT_MOVE_OVERHEAD;
bool stopRequested = false;

void send(const char* format, ...) __attribute__((format(printf, 1, 2)));
void send(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
  std::fputc('\n', out);
  std::fflush(out);
}

// The interface gets only protocol lines: what the rest of the engine prints for a
// console or xboard goes nowhere.
void takeOverStandardOutput() {
  if (out) return;
  std::fflush(stdout);
  const int interface = dup(1);
  out = interface >= 0 ? fdopen(interface, "w") : nullptr;
  if (!out) {
    out = stdout;  // no descriptor to spare: share standard output as it is
    return;
  }
  const int nowhere = open("/dev/null", O_WRONLY);
  if (nowhere >= 0) {
    dup2(nowhere, 1);
    close(nowhere);
  }
}

// Words of a line, one after the other.
struct Tokens {
  const char* at;
  bool next(char* word) {
    while (*at == ' ' || *at == '\t') ++at;
    if (!*at) return false;
    size_t length = 0;
    while (*at && *at != ' ' && *at != '\t') {
      if (length + 1 < TOKEN_SIZE) word[length++] = *at;
      ++at;
    }
    word[length] = '\0';
    return true;
  }
  // The rest of the line without its surrounding blanks.
  void rest(char* text, size_t size) {
    while (*at == ' ' || *at == '\t') ++at;
    size_t length = std::min(std::strlen(at), size - 1);
    while (length > 0 && (at[length - 1] == ' ' || at[length - 1] == '\t')) --length;
    std::memcpy(text, at, length);
    text[length] = '\0';
    at += std::strlen(at);
  }
};

bool is(const char* word, const char* name) { return strcasecmp(word, name) == 0; }

// --- Output of the search ---------------------------------------------------------

void appendText(char* buffer, size_t size, const char* text) {
  const size_t used = std::strlen(buffer);
  if (used + 1 < size) std::snprintf(buffer + used, size - used, "%s", text);
}

// "cp X" or "mate N" (moves; negative when the side to move is mated).
void formatScore(int score, char* text, size_t size) {
  if (score > MATE_THRESHOLD)
    std::snprintf(text, size, "mate %d", (INFINITE_SCORE - score) / 2 + 1);
  else if (score < -MATE_THRESHOLD)
    std::snprintf(text, size, "mate %d", -((INFINITE_SCORE + score + 1) / 2));
  else
    std::snprintf(text, size, "cp %d", score);
}

// The line's moves while each is legal in the position the ones before it lead to.
void formatLine(const SearchContext* s, char* text, size_t size) {
  static Position scratch;
  static UndoRecord records[MAX_PLY];
  scratch = *s->position;
  std::memcpy(records, s->records, sizeof(UndoRecord) * 2);
  int side = engine->sideToMove;
  const int length = std::min<int>(int(s->pv[0][PV_END]), MAX_PLY - 2);
  for (int i = 0; i < length; ++i) {
    const Move m = s->pv[0][i];
    Move list[MAX_MOVES];
    const int n = generateLegalMoves(side, i, list, &scratch, records, s->boardTables);
    bool legal = false;
    for (int j = 0; j < n && !legal; ++j)
      legal = sameSquares(list[j], m) && movePromotion(list[j]) == movePromotion(m);
    if (!legal) break;
    char move[MOVE_TEXT_SIZE + 1] = " ";
    moveToCoordinates(m, move + 1);
    appendText(text, size, move);
    makeMove(side, i + 1, m, &scratch, records, s->boardTables);
    side ^= 1;
  }
}

void reportSearch(const SearchContext* s, int score, bool) {
  const Position* p = s->position;
  const uint64_t nodes = p->nodeCount + p->quiesceNodeCount;
  const uint64_t ms = uint64_t(std::max(clockMicroseconds() - s->tc->startTime, 0.0) / 1000.0);
  char scoreText[32];
  formatScore(score, scoreText, sizeof scoreText);
  static char line[UCI_LINE_SIZE];
  std::snprintf(line, sizeof line, "info depth %u score %s nodes %llu nps %llu time %llu pv",
                p->searchDepth, scoreText, (unsigned long long)nodes,
                (unsigned long long)(nodes * 1000 / std::max<uint64_t>(ms, 1)),
                (unsigned long long)ms);
  formatLine(s, line, sizeof line);
  send("%s", line);
}

// --- Input during a search --------------------------------------------------------

// Once a line waits, the lines behind it wait too: commands keep their order.
bool lineKept = false;

LineAction urgentLine(const char* line) {
  Tokens tokens{line};
  char word[TOKEN_SIZE];
  if (lineKept) return KEEP_LINE;
  if (!tokens.next(word)) return TAKE_LINE;
  if (is(word, "isready")) {
    send("readyok");
    return TAKE_LINE;
  }
  if (is(word, "stop")) {
    stopRequested = true;
    return TAKE_LINE;
  }
  if (is(word, "ponderhit")) return TAKE_LINE;  // no pondering: nothing changes
  if (is(word, "quit")) exitProgram(engine);
  lineKept = true;
  return KEEP_LINE;  // the others wait until the search has ended
}

// A search without a limit of its own (go infinite, or no limit at all) also stops when
// the input ends: nobody is left to say stop.
bool unlimitedSearch = false;

bool pollDuringSearch() {
  watchInput(urgentLine, false);
  return stopRequested || (unlimitedSearch && inputClosed());
}

// --- Commands ---------------------------------------------------------------------

void answerUci(const char* notes) {
  const Position* p = &engine->position;
  send("id name %s", VORLAK_NAME);
  send("id author the vorlak developers");
  send("option name Hash type spin default %ld min 1 max %ld", hashMegabytes(engine),
       MAX_HASH_MEGABYTES);
  send("option name EGTBPath type string default %s",
       p->egtbDirectory[0] ? p->egtbDirectory : "<empty>");
  send("option name EGTBCache type spin default %ld min 1 max %ld",
       long(p->egtbCacheBytes >> 20), MAX_CACHE_MEGABYTES);
  send("option name OwnBook type check default true");
  send("option name Move Overhead type spin default %ld min 0 max %ld", DEFAULT_MOVE_OVERHEAD,
       MAX_MOVE_OVERHEAD);
  send("option name Threads type spin default 1 min 1 max 1");
  if (notes[0]) send("%s", notes);
  send("uciok");
}

long numberIn(const char* text, long low, long high, bool* ok) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  *ok = end != text && *end == '\0' && value >= low && value <= high;
  return value;
}

void setOption(Tokens tokens) {
  char word[TOKEN_SIZE], name[TOKEN_SIZE] = "", value[1024] = "";
  if (!tokens.next(word) || !is(word, "name")) {
    send("info string setoption needs: name ID [value X]");
    return;
  }
  // The name runs up to "value"; names may have blanks ("Move Overhead").
  while (tokens.next(word) && !is(word, "value")) {
    if (name[0]) appendText(name, sizeof name, " ");
    appendText(name, sizeof name, word);
  }
  tokens.rest(value, sizeof value);
  Position* p = &engine->position;
  bool ok = true;
  if (is(name, "Hash")) {
    const long mb = numberIn(value, 1, MAX_HASH_MEGABYTES, &ok);
    if (ok && !resizeHashTables(engine, mb)) send("info string not enough memory for Hash %ld", mb);
  } else if (is(name, "EGTBPath")) {
    const char* dir = is(value, "<empty>") ? "" : value;
    std::snprintf(p->egtbDirectory, sizeof p->egtbDirectory, "%s", dir);
    setUpTablebases(engine, true);
    send("info string tablebases of up to %u men in %s", p->tablebaseReach, dir);
  } else if (is(name, "EGTBCache")) {
    const long mb = numberIn(value, 1, MAX_CACHE_MEGABYTES, &ok);
    if (ok) {
      p->egtbCacheBytes = uint64_t(mb) << 20;
      setUpTablebases(engine, true);
    }
  } else if (is(name, "OwnBook")) {
    ok = is(value, "true") || is(value, "false");
    if (ok) ownBook = is(value, "true");
  } else if (is(name, "Move Overhead")) {
    const long ms = numberIn(value, 0, MAX_MOVE_OVERHEAD, &ok);
    if (ok) moveOverhead = ms;
  } else if (is(name, "Threads")) {
    numberIn(value, 1, 1, &ok);
  } else {
    send("info string no such option: %s", name);
    return;
  }
  if (!ok) send("info string bad value for %s: %s", name, value);
}

// The position a position command describes, worked out on a copy first so that a bad
// command changes nothing.
struct ParsedPosition {
  Position position;
  UndoRecord records[MAX_PLY];
  int side;
  UndoRecord setUpRoot;
  int setUpSide;
  Move moves[MAX_POSITION_MOVES];
  int moveCount;
};

// The set-up of a position command ("startpos" or "fen" and up to six fields) on
// board, root and side. False with the reason in error when the FEN cannot be played.
bool setUp(Tokens* tokens, char* word, Position* board, UndoRecord* root, int* side,
           char* error, size_t errorSize, bool* hasMoves) {
  *hasMoves = false;
  if (!tokens->next(word)) {
    std::snprintf(error, errorSize, "position needs startpos or fen");
    return false;
  }
  const BoardTables* t = &engine->tables;
  if (is(word, "startpos")) {
    setStartPosition(side, board, root, t);
    if (tokens->next(word)) {
      if (!is(word, "moves")) {
        std::snprintf(error, errorSize, "unexpected %s after startpos", word);
        return false;
      }
      *hasMoves = true;
    }
    return true;
  }
  if (!is(word, "fen")) {
    std::snprintf(error, errorSize, "position needs startpos or fen, not %s", word);
    return false;
  }
  constexpr int FEN_FIELDS = 6;
  char field[FEN_FIELDS][TOKEN_SIZE] = {"", "w", "-", "-", "0", "1"};
  int count = 0;
  while (tokens->next(word)) {
    if (is(word, "moves")) {
      *hasMoves = true;
      break;
    }
    if (count == FEN_FIELDS) {
      std::snprintf(error, errorSize, "a FEN has at most six fields");
      return false;
    }
    std::snprintf(field[count++], TOKEN_SIZE, "%s", word);
  }
  const bool sideOk = is(field[1], "w") || is(field[1], "b");
  if (count == 0 || !sideOk ||
      !setBoardFromFen(field[0], field[1][0], field[2], field[3], field[4], field[5], side,
                       board, root, t, false) ||
      sideNotToMoveInCheck(*side, board, root, t)) {
    std::snprintf(error, errorSize, "bad FEN: %s %s %s %s %s %s", field[0], field[1], field[2],
                  field[3], field[4], field[5]);
    return false;
  }
  return true;
}

bool parsePosition(Tokens tokens, ParsedPosition* parsed, char* error, size_t errorSize) {
  char word[TOKEN_SIZE];
  Position* board = &parsed->position;
  UndoRecord* records = parsed->records;
  *board = engine->position;
  records[0] = engine->records[0];
  bool hasMoves = false;
  if (!setUp(&tokens, word, board, &records[0], &parsed->side, error, errorSize, &hasMoves))
    return false;
  parsed->setUpRoot = records[0];
  parsed->setUpSide = parsed->side;
  parsed->moveCount = 0;
  while (hasMoves && tokens.next(word)) {
    if (parsed->moveCount == MAX_POSITION_MOVES) {
      std::snprintf(error, errorSize, "more than %d moves", MAX_POSITION_MOVES);
      return false;
    }
    const Move m = parseMove(word, parsed->side, board, records, &engine->tables);
    if (!m) {
      std::snprintf(error, errorSize, "illegal move %s (move %d of the list)", word,
                    parsed->moveCount + 1);
      return false;
    }
    makeMove(parsed->side, 1, m, board, records, &engine->tables);
    records[0] = records[1];
    parsed->side ^= 1;
    enterGamePosition(board, records[0]);
    parsed->moves[parsed->moveCount++] = m;
  }
  return true;
}

bool sameMove(Move a, Move b) { return sameSquares(a, b) && movePromotion(a) == movePromotion(b); }

// Does the parsed position continue the game on the board (same set-up, the game's moves
// first)? Then only the moves after them need to be played.
int movesAlreadyPlayed(const ParsedPosition& parsed) {
  const GameHistory& h = engine->history;
  if (parsed.setUpRoot.hashKey != h.setUpRoot.hashKey || parsed.setUpSide != h.setUpSide ||
      parsed.moveCount < h.count)
    return -1;
  for (int i = 0; i < h.count; ++i)
    if (!sameMove(parsed.moves[i], h.moves[i])) return -1;
  return h.count;
}

// A move of the game on the board, listed like the opponent's moves in xboard mode.
void playGameMove(Move m, bool engineMove, int score) {
  Engine* e = engine;
  listRecord(e, e->sideToMove, m, engineMove, score);
  makeMove(e->sideToMove, 1, m, &e->position, e->records, &e->tables);
  afterGameMove(e, m);
}

void position(Tokens tokens) {
  static ParsedPosition parsed;
  char error[TOKEN_SIZE * 8];
  if (!parsePosition(tokens, &parsed, error, sizeof error)) {
    send("info string position not changed: %s", error);
    return;
  }
  Engine* e = engine;
  int played = movesAlreadyPlayed(parsed);
  if (played < 0) {
    // A new board: set up as parsed (the command is known to be good), then its moves are
    // played one by one into the game.
    char word[TOKEN_SIZE];
    bool hasMoves;
    setUp(&tokens, word, &e->position, &e->records[0], &e->sideToMove, error, sizeof error,
          &hasMoves);
    e->records[1] = e->records[0];
    markSetUp(e);
    played = 0;
  }
  e->opponentMove = 0;
  for (int i = played; i < parsed.moveCount; ++i) {
    playGameMove(parsed.moves[i], false, 0);
    e->opponentMove = parsed.moves[i];
  }
}

struct GoLimits {
  long long time[2] = {-1, -1};  // milliseconds on White's and Black's clock; -1: not given
  long long increment[2] = {0, 0};
  long long movesToGo = 0, moveTime = -1, depth = 0, nodes = 0;
  bool infinite = false;
};

GoLimits parseGo(Tokens tokens) {
  GoLimits g;
  char word[TOKEN_SIZE], value[TOKEN_SIZE];
  const auto number = [&](long long* field) {
    if (tokens.next(value)) *field = std::strtoll(value, nullptr, 10);
  };
  while (tokens.next(word)) {
    if (is(word, "wtime")) number(&g.time[WHITE]);
    else if (is(word, "btime")) number(&g.time[BLACK]);
    else if (is(word, "winc")) number(&g.increment[WHITE]);
    else if (is(word, "binc")) number(&g.increment[BLACK]);
    else if (is(word, "movestogo")) number(&g.movesToGo);
    else if (is(word, "movetime")) number(&g.moveTime);
    else if (is(word, "depth")) number(&g.depth);
    else if (is(word, "nodes")) number(&g.nodes);
    else if (is(word, "infinite")) g.infinite = true;
    // ponder, mate, searchmoves and their arguments are not acted on
  }
  return g;
}

double centiseconds(long long ms) { return double(std::max(ms, 0LL)) / MILLISECONDS_PER_CENTISECOND; }

// The clocks and limits of go, in the form the time management reads (xboard's time,
// otim, level and st); true when the search is limited by a clock.
bool setClocks(const GoLimits& g) {
  Engine* e = engine;
  Position* p = &e->position;
  const int us = e->sideToMove, them = us ^ 1;
  e->fixedMoveTime = 0;
  e->givenMovesToGo = 0;
  p->depthLimit = g.depth > 0 ? uint32_t(std::min<long long>(g.depth, MAX_PLY)) : MAX_PLY;
  if (g.moveTime >= 0) {
    e->fixedMoveTime = std::max(centiseconds(g.moveTime - moveOverhead), 1.0);
    p->clockTime = p->opponentTime = e->fixedMoveTime;
    return true;
  }
  if (g.time[us] < 0) return false;
  p->clockTime = boundedClock(centiseconds(g.time[us] - moveOverhead));
  p->opponentTime = boundedClock(g.time[them] >= 0 ? centiseconds(g.time[them]) : p->clockTime);
  p->increment = boundedClock(centiseconds(g.increment[us]));
  p->movesPerControl = g.movesToGo > 0 ? uint32_t(std::min<long long>(g.movesToGo, 1000)) : 0;
  e->givenMovesToGo = p->movesPerControl;
  return true;
}

void go(Tokens tokens) {
  Engine* e = engine;
  Position* p = &e->position;
  const GoLimits g = parseGo(tokens);
  const bool clocked = setClocks(g);
  engineState = SEARCHING;
  startTurn(e);
  TimeControl* tc = &e->tc;
  if (!clocked) {
    // Nobody's clock runs: the search goes on until its limit or stop, and plans nothing
    // for a clock (no fast iterations).
    tc->timeBudget = tc->budgetCeiling = UNLIMITED_BUDGET;
    e->reserve = 0;
    e->dangerAllowed = false;
    e->search.engineSearching = false;
  }
  tc->nodeLimit = uint64_t(std::max(g.nodes, 0LL));
  tc->pollInput = pollDuringSearch;
  tc->pollInterval = POLL_INTERVAL_NODES;
  tc->nextClockCheck = std::min<uint64_t>(tc->nextClockCheck, POLL_INTERVAL_NODES);
  stopRequested = lineKept = false;
  unlimitedSearch = !clocked && g.depth <= 0 && g.nodes <= 0;

  const TurnChoice choice = chooseMove(e, ownBook);
  // infinite: the answer waits for stop, however early the search ended.
  while (g.infinite && !stopRequested && !inputClosed()) watchInput(urgentLine, true);
  endInputWatch();
  tc->pollInput = nullptr;
  tc->nodeLimit = 0;
  engineState = RESTING;
  p->depthLimit = MAX_PLY;
  e->givenMovesToGo = 0;
  if (!choice.move) {
    send("bestmove 0000");
    return;
  }
  char text[MOVE_TEXT_SIZE];
  moveToCoordinates(choice.move, text);
  send("bestmove %s", text);
  playGameMove(choice.move, true, choice.score);
}

void interpret(const char* line) {
  Tokens tokens{line};
  char word[TOKEN_SIZE];
  if (!tokens.next(word)) return;
  if (is(word, "isready")) send("readyok");
  else if (is(word, "position")) position(tokens);
  else if (is(word, "go")) go(tokens);
  else if (is(word, "ucinewgame")) newGame(engine);
  else if (is(word, "setoption")) setOption(tokens);
  else if (is(word, "uci")) answerUci("");
  else if (is(word, "quit")) exitProgram(engine);
  else if (is(word, "stop") || is(word, "ponderhit") || is(word, "debug") || is(word, "register"))
    return;  // nothing is searching; no debug output; nothing to register
  else
    send("info string unknown command: %s", word);
}

}  // namespace

void beginUciSession() { takeOverStandardOutput(); }

void runUci(Engine* e, bool builtinSettings) {
  engine = e;
  takeOverStandardOutput();
  e->search.report = reportSearch;
  char notes[256] = "";
  if (builtinSettings)
    appendText(notes, sizeof notes, "info string no vorlak.cfg here: built-in settings");
  if (access("sqvalue", R_OK) != 0) {
    loadBuiltinSquareValues(&e->tables);
    if (notes[0]) appendText(notes, sizeof notes, "\n");
    appendText(notes, sizeof notes, "info string no sqvalue here: built-in square values");
  }
  answerUci(notes);
  static char line[UCI_LINE_SIZE];
  for (;;) {
    bool tooLong = false;
    if (!readInputLine(line, sizeof line, &tooLong)) exitProgram(e);
    if (tooLong) {
      send("info string line too long: ignored");
      continue;
    }
    interpret(line);
  }
}
