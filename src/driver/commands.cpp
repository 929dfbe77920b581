#include "driver/commands.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "book/bookbuild.h"
#include "driver/bench.h"
#include "driver/edit.h"
#include "driver/game.h"
#include "driver/history.h"
#include "driver/xboard.h"
#include "eval/evaluate.h"
#include "movegen/attacks.h"
#include "movegen/notation.h"
#include "movegen/perft.h"
#include "search/ordering.h"

namespace {

bool is(const char* word, const char* name) { return strcasecmp(word, name) == 0; }

// Copies as much of source as fits, always terminated.
void copyText(char* destination, const char* source, size_t size) {
  const size_t length = std::min(std::strlen(source), size - 1);
  std::memcpy(destination, source, length);
  destination[length] = '\0';
}

void joinThree(char* destination, char words[WORD_COUNT][WORD_SIZE]) {
  char joined[3 * WORD_SIZE + 3];
  std::snprintf(joined, sizeof joined, "%s %s %s", words[1], words[2], words[3]);
  copyText(destination, joined, TEXT_SIZE);
}

uint32_t playOpponentMove(char* word, Engine* e) {
  Position* p = &e->position;
  const Move move = parseMove(word, e->sideToMove, p, e->records, &e->tables);
  if (!move) {
    if (word[0]) std::printf("illegal move: %s\n", word);
    return RESTING;
  }
  e->opponentMove = move;
  listRecord(e, e->sideToMove, move, false, 0);
  makeMove(e->sideToMove, 1, move, p, e->records, &e->tables);
  afterGameMove(e, move);
  displayBoard(p);
  return SEARCHING;
}

void setBoard(char words[WORD_COUNT][WORD_SIZE], Engine* e) {
  Position* p = &e->position;
  const Position savedPosition = *p;
  const UndoRecord savedRoot = e->records[0];
  const int savedSide = e->sideToMove;
  // A set-up position starts the game's clocks again but keeps the time control: xboard
  // sends st or level before edit or setboard, and the set-up would put back the default.
  const uint32_t movesPerControl = p->movesPerControl;
  const double baseTime = p->baseTime, increment = p->increment;
  if (!setBoardFromFen(words[1], words[2][0], words[3], words[4], words[5], words[6],
                       &e->sideToMove, p, &e->records[0], &e->tables, false))
    return;
  if (sideNotToMoveInCheck(e->sideToMove, p, &e->records[0], &e->tables)) {
    *p = savedPosition;
    e->records[0] = savedRoot;
    e->sideToMove = savedSide;
    std::fprintf(stderr, "Illegal position in FEN\n");
    return;
  }
  displayBoard(p);
  e->records[1] = e->records[0];
  p->movesPerControl = movesPerControl;
  p->baseTime = baseTime;
  p->increment = increment;
  p->clockTime = p->opponentTime = e->fixedMoveTime > 0 ? e->fixedMoveTime : baseTime;
  markSetUp(e);
}

void runPerft(const char* argument, Engine* e) {
  char* end = nullptr;
  const long depth = std::strtol(argument, &end, 10);
  if (end == argument || depth < 1 || depth > MAX_PLY - 1) {
    std::printf("perft needs a depth from 1 to %d\n", MAX_PLY - 1);
    return;
  }
  Position* p = &e->position;
  p->nodeCount = 0;
  const uint64_t start = processClockMs();
  perft(e->sideToMove, 0, int(depth), p, e->records, &e->tables);
  uint64_t elapsed = processClockMs() - start;
  if (elapsed == 0) elapsed = 1;  // a count under a millisecond is rated as one
  std::printf("perft(%d) = %.0f (%0.2f knps)\n", int(depth), double(p->nodeCount),
              double(p->nodeCount) / double(elapsed));
}

// The null move passes the turn; a side in check cannot pass (its king would be taken).
bool passMove(Engine* e) {
  Position* p = &e->position;
  const int king = int(e->sideToMove == WHITE ? p->whiteKingSquare : p->blackKingSquare);
  if (attackInfoBy(e->sideToMove ^ 1, king, p, &e->records[0], &e->tables) & ATTACKED) {
    std::printf("illegal move: null\n");
    return false;
  }
  UndoRecord& r = e->records[1];
  r = e->records[0];
  e->sideToMove ^= 1;
  if (r.enPassant) {
    r.hashKey ^= e->tables.enPassantKey[firstOne(r.enPassant)];
    r.enPassant = 0;
  }
  r.halfMoveClock = 0;
  e->records[0] = r;
  // The passed turn keeps the stretch of reversible plies; its clock of 0 ends the scans.
  if (p->reversiblePlies < KEY_HISTORY_SIZE) p->keyHistory[p->reversiblePlies] = r.hashKey;
  shiftKillers(p);
  markSetUp(e);
  displayBoard(p);
  return true;
}

}  // namespace

uint32_t hashMaskForMegabytes(long megabytes) {
  if (megabytes < 1) return 0;
  int log = 0;
  while (log < 17 && (2L << log) <= megabytes) ++log;
  return uint32_t((uint64_t(1) << (14 + log)) - 1);
}

double boundedClock(double centiseconds) {
  if (std::isnan(centiseconds)) return 0;
  return std::clamp(centiseconds, -MAX_CLOCK_CENTISECONDS, MAX_CLOCK_CENTISECONDS);
}

double parseLevelBase(const char* text) {
  double minutes = std::atof(text);
  if (const char* colon = std::strchr(text, ':')) minutes += std::atof(colon + 1) / 60.0;
  return minutes;
}

namespace {

// A command's handler gets the line's words and answers RESTING or SEARCHING.
using Words = char (*)[WORD_SIZE];
using Handler = uint32_t (*)(Words words, Engine* e);

struct Command {
  const char* word;
  Handler handler;
};

uint32_t ignore(Words, Engine*) { return RESTING; }

uint32_t opponentTime(Words words, Engine* e) {
  Position* p = &e->position;
  p->opponentTime = boundedClock(std::atof(words[1]));
  // The opponent's clock gets the next period's time when its control is reached.
  if (p->movesPerControl > 0 && (p->movesCompleted + 1) % p->movesPerControl == 0 &&
      p->engineIsBlack == 0 && p->movesCompleted > 0)
    p->opponentTime += p->baseTime;
  return RESTING;
}

// white, black: that side is to move and the engine plays the other, or with "go" this one.
uint32_t sideToMove(Words words, Engine* e) {
  Position* p = &e->position;
  const int side = is(words[0], "white") ? WHITE : BLACK;
  e->sideToMove = side;
  p->engineIsBlack = uint32_t(side);
  if (!is(words[1], "go")) return RESTING;
  p->engineIsBlack = uint32_t(side ^ 1);
  p->modeFlags &= ~FORCE_MODE;
  return SEARCHING;
}

uint32_t result(Words words, Engine* e) {
  char comment[WORD_COUNT * WORD_SIZE] = "";
  for (int i = 2; i < WORD_COUNT; ++i) {
    if (!words[i][0]) continue;
    std::strcat(comment, words[i]);
    std::strcat(comment, " ");
  }
  listResult(e, words[1], comment);
  newGame(e);
  return RESTING;
}

// The engine plays the side to move. Its colour flag is set from the board, not inverted:
// after take-backs or moves in force mode the flag no longer names the side on move.
uint32_t go(Words, Engine* e) {
  Position* p = &e->position;
  p->engineIsBlack = e->sideToMove == BLACK ? 1 : 0;
  p->modeFlags &= ~FORCE_MODE;
  return SEARCHING;
}

uint32_t level(Words words, Engine* e) {
  Position* p = &e->position;
  p->movesPerControl = uint32_t(std::max(0, std::atoi(words[1])));
  p->baseTime = p->clockTime = boundedClock(parseLevelBase(words[2]) * 6000.0);
  p->increment = boundedClock(std::atof(words[3]) * 100.0);
  e->fixedMoveTime = 0;
  return RESTING;
}

// st 0 or less asks for moves as fast as possible: the shortest fixed time, not the
// clock of the last level (whose periods would add their base time every move).
constexpr double SHORTEST_FIXED_MOVE_TIME = 1.0;  // centiseconds

uint32_t fixedTime(Words words, Engine* e) {
  Position* p = &e->position;
  p->movesPerControl = 1;
  p->clockTime = p->opponentTime = boundedClock(std::atof(words[1]) * 100.0);
  p->increment = 0.0;
  e->fixedMoveTime = std::max(p->clockTime, SHORTEST_FIXED_MOVE_TIME);
  return RESTING;
}

uint32_t testPosition(Words words, Engine* e) {
  Position* p = &e->position;
  newGame(e);
  p->modeFlags &= ~(RANDOM_MODE | CLOCK_GAME);
  p->modeFlags |= BOOK_OFF;
  p->randomLevel = 0;
  joinThree(p->testText, words);
  return RESTING;
}

uint32_t printFen(Words, Engine* e) {
  char text[FEN_SIZE];
  getFen(e->sideToMove, &e->position, &e->records[0], text);
  std::printf("%s\n", text);
  return RESTING;
}

uint32_t reverseColours(Words, Engine* e) {
  char text[FEN_SIZE];
  reverseBoard(&e->sideToMove, &e->position, &e->records[0], &e->tables, text);
  e->records[1] = e->records[0];
  markSetUp(e);
  std::printf("%s\n", text);
  return RESTING;
}

uint32_t drawOffer(Words, Engine* e) {
  Position* p = &e->position;
  if (p->modeFlags & XBOARD_MODE) {
    if (e->drawAcceptable == 1) std::printf("offer draw\n");
    if (isClaimableDraw(drawCheck(0, p, &e->records[0]))) std::printf("offer draw\n");
  }
  return RESTING;
}

uint32_t ponder(Words words, Engine* e) {
  Position* p = &e->position;
  if (is(words[1], "on")) p->modeFlags |= PONDER_FLAG;
  if (is(words[1], "off")) p->modeFlags &= ~PONDER_FLAG;
  return RESTING;
}

uint32_t xboard(Words, Engine* e) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGTERM, SIG_IGN);
  e->position.modeFlags |= XBOARD_MODE;
  return RESTING;
}

uint32_t randomChoices(Words words, Engine* e) {
  Position* p = &e->position;
  if (is(words[1], "on")) {
    p->modeFlags |= RANDOM_MODE;
    p->randomLevel = random32() % 3 + 1;
  } else if (is(words[1], "off")) {
    p->randomLevel = 0;
    p->modeFlags &= ~RANDOM_MODE;
  }
  return RESTING;
}

// Sizes and directories take effect when the tables are set up at start-up.
uint32_t hashSize(Words words, Engine* e) {
  if (e->started) return RESTING;
  const uint32_t mask = hashMaskForMegabytes(std::atol(words[1]));
  if (mask) e->position.hashMask = mask;
  return RESTING;
}

uint32_t tablebaseCacheSize(Words words, Engine* e) {
  if (!e->started)
    e->position.egtbCacheBytes = uint64_t(std::max(0L, std::atol(words[1]))) << 20;
  return RESTING;
}

uint32_t tablebaseDirectory(Words words, Engine* e) {
  Position* p = &e->position;
  if (!e->started) copyText(p->egtbDirectory, words[1], sizeof p->egtbDirectory);
  return RESTING;
}

uint32_t clockTime(Words w, Engine* e) {
  e->position.clockTime = boundedClock(std::atof(w[1]));
  return RESTING;
}

uint32_t force(Words, Engine* e) {
  e->position.modeFlags |= FORCE_MODE;
  return RESTING;
}

uint32_t depthLimit(Words w, Engine* e) {
  e->position.depthLimit = uint32_t(std::clamp(std::atoi(w[1]), 0, MAX_PLY));
  return RESTING;
}

uint32_t solution(Words w, Engine* e) {
  joinThree(e->position.testText, w);
  return RESTING;
}

uint32_t printMove(Words, Engine* e) {
  std::printf("%s myMove %s\n", e->position.testText, e->position.myMoveText);
  return RESTING;
}

uint32_t setBoardCommand(Words w, Engine* e) {
  setBoard(w, e);
  return RESTING;
}

uint32_t hard(Words, Engine* e) {
  e->position.modeFlags |= PONDER_FLAG;
  return RESTING;
}

uint32_t easy(Words, Engine* e) {
  e->position.modeFlags &= ~PONDER_FLAG;
  return RESTING;
}

uint32_t newCommand(Words, Engine* e) {
  newGame(e);
  return RESTING;
}

uint32_t rating(Words w, Engine* e) {
  e->position.ratingDifference = std::atoi(w[2]) - std::atoi(w[1]);
  return RESTING;
}

uint32_t name(Words w, Engine* e) {
  copyText(e->position.opponentName, w[1], sizeof e->position.opponentName);
  return RESTING;
}

[[noreturn]] uint32_t quit(Words, Engine* e) { exitProgram(e); }

uint32_t readPgnCommand(Words w, Engine* e) {
  readPGN(w[1], w[2], std::atoi(w[3]));
  newGame(e);
  return RESTING;
}

uint32_t readTextBooksCommand(Words, Engine* e) {
  readTextBooks(&e->sideToMove, &e->position, e->records, &e->tables);
  newGame(e);
  return RESTING;
}

uint32_t whiteFenCommand(Words, Engine* e) {
  whiteFEN(&e->sideToMove, &e->position, e->records, &e->tables);
  return RESTING;
}

uint32_t blackFenCommand(Words, Engine* e) {
  blackFEN(&e->sideToMove, &e->position, e->records, &e->tables);
  return RESTING;
}

uint32_t display(Words, Engine* e) {
  displayBoard(&e->position);
  return RESTING;
}

uint32_t score(Words, Engine* e) {
  std::printf("score = %d\n", scoreCommand(e->sideToMove, &e->position, e->records, &e->tables));
  return RESTING;
}

uint32_t perftCommand(Words w, Engine* e) {
  runPerft(w[1], e);
  return RESTING;
}

uint32_t null(Words, Engine* e) { return passMove(e) ? SEARCHING : RESTING; }

uint32_t ping(Words w, Engine*) {
  std::printf("pong %s\n", w[1]);
  return RESTING;
}

uint32_t userMove(Words w, Engine* e) { return playOpponentMove(w[1], e); }

uint32_t protocolVersion(Words w, Engine* e) {
  const int version = std::atoi(w[1]);
  if (version >= 2) {
    e->protocolVersion = version;
    printFeatures();
  }
  return RESTING;
}

uint32_t memory(Words w, Engine* e) {
  setMemory(e, std::atol(w[1]));
  return RESTING;
}

uint32_t analyze(Words, Engine* e) {
  e->analyzing = true;
  return RESTING;
}

// exit leaves analyze mode; outside it, it ends the program as quit does.
uint32_t exitCommand(Words w, Engine* e) {
  if (!e->analyzing) quit(w, e);
  e->analyzing = false;
  return RESTING;
}

// "." asks for analyze mode's status line; outside analysis it is read as a move, as
// every unknown word is.
uint32_t status(Words w, Engine* e) {
  if (!e->analyzing) return playOpponentMove(w[0], e);
  printAnalysisStatus(e);
  return RESTING;
}

uint32_t edit(Words, Engine* e) {
  startEdit(e);
  return RESTING;
}

// xboard takes back one ply (undo, in force mode) or the user's last move and the
// engine's reply (remove).
uint32_t takeBackCommand(Words w, Engine* e) {
  if (!takeBack(e, is(w[0], "undo") ? 1 : 2))
    std::printf("Error (no move to take back): %s\n", w[0]);
  return RESTING;
}

// The command words, compared case-insensitively; any other word is taken for a move.
const Command kCommands[] = {
    {"time", clockTime},
    {"otim", opponentTime},
    {"white", sideToMove},
    {"black", sideToMove},
    {"result", result},
    {"force", force},
    {"go", go},
    {"level", level},
    {"st", fixedTime},
    {"sd", depthLimit},
    {"solution", solution},
    {"position", testPosition},
    {"printMove", printMove},
    {"setboard", setBoardCommand},
    {"getfen", printFen},
    {"reverse", reverseColours},
    {"draw", drawOffer},
    {"hard", hard},
    {"easy", easy},
    {"ponder", ponder},
    {"new", newCommand},
    {"rating", rating},
    {"name", name},
    {"exit", exitCommand},
    {"quit", quit},
    {"xboard", xboard},
    {"readPGN", readPgnCommand},
    {"readTextBooks", readTextBooksCommand},
    {"whiteFEN", whiteFenCommand},
    {"blackFEN", blackFenCommand},
    {"display", display},
    {"random", randomChoices},
    {"score", score},
    {"perft", perftCommand},
    {"bench", benchCommand},
    {"hashsize", hashSize},
    {"egtbcachesize", tablebaseCacheSize},
    {"egtbdir", tablebaseDirectory},
    {"null", null},
    {"ping", ping},
    {"usermove", userMove},
    {"edit", edit},
    {"undo", takeBackCommand},
    {"remove", takeBackCommand},
    {"protover", protocolVersion},
    {"memory", memory},
    {"analyze", analyze},
    {".", status},
    // Understood and ignored: protocol words the engine has nothing to do for, and those
    // of later protocol versions.
    {"computer", ignore}, {"post", ignore}, {"nopost", ignore}, {"playother", ignore},
    {"?", ignore}, {"bk", ignore}, {"hint", ignore}, {"accepted", ignore},
    {"rejected", ignore}, {"pause", ignore}, {"resume", ignore}, {"ics", ignore},
    {"variant", ignore},
};

}  // namespace

uint32_t interpretCommand(char words[WORD_COUNT][WORD_SIZE], Engine* e) {
  e->opponentMove = 0;
  if (e->editing) return editCommand(words, e);
  for (const Command& command : kCommands)
    if (is(words[0], command.word)) return command.handler(words, e);
  return playOpponentMove(words[0], e);
}
