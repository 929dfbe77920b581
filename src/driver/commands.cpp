#include "driver/commands.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "book/bookbuild.h"
#include "driver/edit.h"
#include "driver/game.h"
#include "driver/history.h"
#include "driver/notation.h"
#include "eval/evaluate.h"
#include "movegen/attacks.h"
#include "movegen/perft.h"

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
  listRecord(e, e->sideToMove, move, false, 0);
  makeMove(e->sideToMove, 1, move, p, e->records, &e->tables);
  afterGameMove(e, move);
  displayBoard(p);
  return SEARCHING;
}

// The side not to move must not be in check: such a placement cannot have arisen.
bool sideNotToMoveSafe(Engine* e) {
  const Position* p = &e->position;
  const int side = e->sideToMove;
  const int king = int(side == WHITE ? p->blackKingSquare : p->whiteKingSquare);
  return !(attackInfoBy(side, king, p, &e->records[0], &e->tables) & ATTACKED);
}

void setBoard(char words[WORD_COUNT][WORD_SIZE], Engine* e) {
  Position* p = &e->position;
  const Position savedPosition = *p;
  const UndoRecord savedRoot = e->records[0];
  const int savedSide = e->sideToMove;
  if (!setBoardFromFen(words[1], words[2][0], words[3], words[4], words[5], words[6],
                       &e->sideToMove, p, &e->records[0], &e->tables, false))
    return;
  if (!sideNotToMoveSafe(e)) {
    *p = savedPosition;
    e->records[0] = savedRoot;
    e->sideToMove = savedSide;
    std::fprintf(stderr, "Illegal position in FEN\n");
    return;
  }
  displayBoard(p);
  e->records[1] = e->records[0];
  e->fixedMoveTime = 0;  // a set-up position starts with the default clock
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
  shiftKillers(p);
  markSetUp(e);
  displayBoard(p);
  return true;
}

}  // namespace

void shiftKillers(Position* p) {
  for (int i = 0; i < MAX_PLY - 1; ++i) {
    p->killerFrom[i] = p->killerFrom[i + 1];
    p->killerTo[i] = p->killerTo[i + 1];
  }
  p->killerFrom[MAX_PLY - 1] = p->killerTo[MAX_PLY - 1] = 0;
}

uint32_t hashMaskForMegabytes(long megabytes) {
  if (megabytes < 1) return 0;
  int log = 0;
  while (log < 17 && (2L << log) <= megabytes) ++log;
  return uint32_t((uint64_t(1) << (14 + log)) - 1);
}

double parseLevelBase(const char* text) {
  double minutes = std::atof(text);
  if (const char* colon = std::strchr(text, ':')) minutes += std::atof(colon + 1) / 60.0;
  return minutes;
}

uint32_t interpretCommand(char words[WORD_COUNT][WORD_SIZE], Engine* e) {
  if (e->editing) return editCommand(words, e);
  Position* p = &e->position;
  const char* command = words[0];
  const char* argument = words[1];

  if (is(command, "time")) {
    p->clockTime = std::atof(argument);
  } else if (is(command, "otim")) {
    p->opponentTime = std::atof(argument);
    if (p->movesPerControl > 0 && (p->movesCompleted + 1) % p->movesPerControl == 0 &&
        p->engineIsBlack == 0 && p->movesCompleted > 0)
      p->opponentTime += p->baseTime;
  } else if (is(command, "white") || is(command, "black")) {
    const int side = is(command, "white") ? WHITE : BLACK;
    e->sideToMove = side;
    p->engineIsBlack = uint32_t(side);
    if (is(argument, "go")) {
      p->engineIsBlack = uint32_t(side ^ 1);
      p->modeFlags &= ~FORCE_MODE;
      return SEARCHING;
    }
  } else if (is(command, "result")) {
    char comment[WORD_COUNT * WORD_SIZE] = "";
    for (int i = 2; i < WORD_COUNT; ++i) {
      if (!words[i][0]) continue;
      std::strcat(comment, words[i]);
      std::strcat(comment, " ");
    }
    writeResultLine(e->listFile, p, argument, comment);
    newGame(e);
  } else if (is(command, "force")) {
    p->modeFlags |= FORCE_MODE;
  } else if (is(command, "go")) {
    e->sideToMove = int(p->engineIsBlack);
    p->engineIsBlack ^= 1;
    p->modeFlags &= ~FORCE_MODE;
    return SEARCHING;
  } else if (is(command, "level")) {
    p->movesPerControl = uint32_t(std::max(0, std::atoi(argument)));
    p->baseTime = p->clockTime = parseLevelBase(words[2]) * 6000.0;
    p->increment = std::atof(words[3]) * 100.0;
    e->fixedMoveTime = 0;
  } else if (is(command, "st")) {
    p->movesPerControl = 1;
    p->clockTime = p->opponentTime = std::atof(argument) * 100.0;
    p->increment = 0.0;
    e->fixedMoveTime = std::max(p->clockTime, 0.0);
  } else if (is(command, "sd")) {
    p->depthLimit = uint32_t(std::clamp(std::atoi(argument), 0, MAX_PLY));
  } else if (is(command, "solution")) {
    joinThree(p->testText, words);
  } else if (is(command, "position")) {
    newGame(e);
    p->modeFlags &= ~(RANDOM_MODE | CLOCK_GAME);
    p->modeFlags |= BOOK_OFF;
    p->randomLevel = 0;
    joinThree(p->testText, words);
  } else if (is(command, "printMove")) {
    std::printf("%s myMove %s\n", p->testText, p->myMoveText);
  } else if (is(command, "setboard")) {
    setBoard(words, e);
  } else if (is(command, "getfen")) {
    char text[FEN_SIZE];
    getFen(e->sideToMove, p, &e->records[0], text);
    std::printf("%s\n", text);
  } else if (is(command, "reverse")) {
    char text[FEN_SIZE];
    reverseBoard(&e->sideToMove, p, &e->records[0], &e->tables, text);
    e->records[1] = e->records[0];
    markSetUp(e);
    std::printf("%s\n", text);
  } else if (is(command, "draw")) {
    if (p->modeFlags & XBOARD_MODE) {
      if (e->drawAcceptable == 1) std::printf("offer draw\n");
      if (isClaimableDraw(drawCheck(0, p, &e->records[0]))) std::printf("offer draw\n");
    }
  } else if (is(command, "hard")) {
    p->modeFlags |= PONDER_FLAG;
  } else if (is(command, "easy")) {
    p->modeFlags &= ~PONDER_FLAG;
  } else if (is(command, "ponder")) {
    if (is(argument, "on")) p->modeFlags |= PONDER_FLAG;
    if (is(argument, "off")) p->modeFlags &= ~PONDER_FLAG;
  } else if (is(command, "new")) {
    newGame(e);
  } else if (is(command, "rating")) {
    p->ratingDifference = std::atoi(words[2]) - std::atoi(argument);
  } else if (is(command, "name")) {
    copyText(p->opponentName, argument, sizeof p->opponentName);
  } else if (is(command, "computer") || is(command, "post") || is(command, "nopost") ||
             is(command, "playother") || is(command, "?")) {
  } else if (is(command, "exit") || is(command, "quit")) {
    exitProgram(e);
  } else if (is(command, "protover")) {
  } else if (is(command, "xboard")) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    p->modeFlags |= XBOARD_MODE;
  } else if (is(command, "readPGN")) {
    readPGN(argument, words[2], std::atoi(words[3]));
    newGame(e);
  } else if (is(command, "readTextBooks")) {
    readTextBooks(&e->sideToMove, p, e->records, &e->tables);
    newGame(e);
  } else if (is(command, "whiteFEN")) {
    whiteFEN(&e->sideToMove, p, e->records, &e->tables);
  } else if (is(command, "blackFEN")) {
    blackFEN(&e->sideToMove, p, e->records, &e->tables);
  } else if (is(command, "edit")) {
    startEdit(e);
  } else if (is(command, "bk") || is(command, "hint") ||
             is(command, "analyze")) {
  } else if (is(command, "display")) {
    displayBoard(p);
  } else if (is(command, "random")) {
    if (is(argument, "on")) {
      p->modeFlags |= RANDOM_MODE;
      p->randomLevel = random32() % 3 + 1;
    } else if (is(argument, "off")) {
      p->randomLevel = 0;
      p->modeFlags &= ~RANDOM_MODE;
    }
  } else if (is(command, "score")) {
    std::printf("score = %d\n", scoreCommand(e->sideToMove, p, e->records, &e->tables));
  } else if (is(command, "perft")) {
    runPerft(argument, e);
  } else if (is(command, "hashsize")) {
    // Sizes take effect when the tables are allocated at start-up.
    if (!e->started) {
      if (const uint32_t mask = hashMaskForMegabytes(std::atol(argument))) p->hashMask = mask;
    }
  } else if (is(command, "egtbcachesize")) {
    if (!e->started) p->egtbCacheBytes = uint64_t(std::max(0L, std::atol(argument))) << 20;
  } else if (is(command, "egtbdir")) {
    if (!e->started) copyText(p->egtbDirectory, argument, sizeof p->egtbDirectory);
  } else if (is(command, "null")) {
    return passMove(e) ? SEARCHING : RESTING;
  } else if (is(command, "accepted") || is(command, "rejected") || is(command, "pause") ||
             is(command, "resume") || is(command, "ics") || is(command, "variant")) {
    // Protocol words of later versions: understood and ignored.
  } else if (is(command, "undo") || is(command, "remove")) {
    // xboard takes back one ply (undo, in force mode) or the user's last move and the
    // engine's reply (remove).
    if (!takeBack(e, is(command, "undo") ? 1 : 2))
      std::printf("Error (no move to take back): %s\n", command);
  } else if (is(command, "ping")) {
    std::printf("pong %s\n", argument);
  } else if (is(command, "usermove")) {
    return playOpponentMove(words[1], e);
  } else {
    return playOpponentMove(words[0], e);
  }
  return RESTING;
}
