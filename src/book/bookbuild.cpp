// Replaying the text sources: compiling the book tables and listing positions.
#include "book/bookbuild.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/makemove.h"
#include "board/position.h"
#include "book/book.h"
#include "eval/evaluate.h"
#include "movegen/movegen.h"
#include "movegen/notation.h"

namespace {

constexpr int TOKEN_BUFFER = 16;
// readTextBooks prints one progress character per this many book moves and more.
constexpr int PROGRESS_STEP = 65;
// whiteFEN / blackFEN: a lead of this much material, for this many of the book side's
// moves in a row, reached after this ply, is listed with the position this many plies
// before it.
constexpr int LISTED_LEAD = 100;
constexpr int LISTED_RUN = 3;
constexpr int LISTED_AFTER_PLY = 26;
constexpr int LISTED_PLIES_BACK = 10;
constexpr int LISTED_MOVES_BACK = 5;

// Cuts a check or mate sign standing at the third character or later.
void cutCheckSign(char* text) {
  for (char* c = text + (std::strlen(text) > 2 ? 2 : std::strlen(text)); *c; ++c)
    if (*c == '+' || *c == '#') {
      *c = '\0';
      return;
    }
}

// The destination square an algebraic move names ("Nbd7" d7, "exd8=Q" d8), or -1
// (castling, or no move text at all).
int namedSquare(const char* move) {
  const char* end = std::strchr(move, '=');
  const size_t length = end ? size_t(end - move) : std::strlen(move);
  if (length < 2) return -1;
  const char file = move[length - 2], rank = move[length - 1];
  if (file < 'a' || file > 'h' || rank < '1' || rank > '8') return -1;
  return (rank - '1') * 8 + (file - 'a');
}

bool isBlankLine(const char* line) {
  for (; *line; ++line)
    if (!std::strchr(" \t\r\v\f", *line)) return false;
  return true;
}

// One source line of up to 511 characters without its line end; the rest of a longer
// line is dropped. False at the end of the file.
bool readSourceLine(std::FILE* f, char* line) {
  int c = std::getc(f);
  if (c == EOF) return false;
  int length = 0;
  for (; c != EOF && c != '\n'; c = std::getc(f))
    if (length < SOURCE_LINE_SIZE - 1) line[length++] = char(c);
  while (length > 0 && line[length - 1] == '\r') --length;
  line[length] = '\0';
  return true;
}

// "N. WHITE BLACK": the number (0 when missing) and the two words (empty when missing).
void parseMoveLine(const char* line, int* number, char* white, char* black) {
  const char* c = line;
  while (*c == ' ' || *c == '\t') ++c;
  *number = std::atoi(c);
  while (*c >= '0' && *c <= '9') ++c;
  while (*c == '.') ++c;
  char* words[2] = {white, black};
  for (char* word : words) {
    while (*c == ' ' || *c == '\t') ++c;
    int n = 0;
    for (; *c && *c != ' ' && *c != '\t'; ++c)
      if (n < TOKEN_BUFFER - 1) word[n++] = *c;
    word[n] = '\0';
  }
}

struct Board {
  int* side;
  Position* position;
  UndoRecord* records;
  const BoardTables* tables;
};

void playSourceMove(Board* b, Move move) {
  Position* p = b->position;
  makeMove(*b->side, 1, move, p, b->records, b->tables);
  b->records[0] = b->records[1];
  *b->side ^= 1;
  if (*b->side == WHITE) ++p->movesCompleted;
  enterGamePosition(p, b->records[0]);
}

void newOpening(Board* b) {
  setStartPosition(b->side, b->position, &b->records[0], b->tables);
  b->records[1] = b->records[0];
}

// Replays every opening of a source. The visitor sees the start of each opening
// (opening), each weight line (weight), each move before it is made (move) and each
// position after a move (after). bookSide names the source in the error lines. False,
// after the error line, at a move that matches no legal move.
template <typename Visitor>
bool replaySource(std::FILE* f, int bookSide, Board* b, Visitor& visitor) {
  const char* name = bookSide == WHITE ? "white" : "black";
  char line[SOURCE_LINE_SIZE];
  int opening = 0, ply = 0;
  newOpening(b);
  while (readSourceLine(f, line)) {
    if (line[0] == '[' || isBlankLine(line)) {
      if (!std::strncmp(line, "[OpeningNo \"", 12)) {
        newOpening(b);
        ply = 0;
        opening = std::atoi(line + 12);
        visitor.opening(opening);
      } else if (!std::strncmp(line, "[OpeningWeight ", 15)) {
        visitor.weight(std::strtol(line + 15, nullptr, 10));
      }
      continue;
    }
    int number;
    char tokens[2][TOKEN_BUFFER];
    parseMoveLine(line, &number, tokens[0], tokens[1]);
    for (int mover = 0; mover < 2; ++mover) {
      const int side = mover == 0 ? WHITE : BLACK;
      const Move move = findSourceMove(tokens[mover], side, b->position, b->records, b->tables);
      if (!move) {
        std::printf("ERROR in %s no %d: %d. %s%s\n", name, opening, number,
                    mover == 0 ? "" : "... ", tokens[mover]);
        std::fflush(stdout);
        return false;
      }
      visitor.move(side, move, opening);
      playSourceMove(b, move);
      ++ply;
      visitor.after(side, ply, opening, number);
    }
  }
  return true;
}

// readTextBooks: the book side's moves go into its table.
struct Compiler {
  int bookSide;
  Board* board;
  BookEntry* table;
  uint32_t occupied = 0;
  uint16_t currentWeight = 0;
  uint32_t* inserted = nullptr;
  int* progress = nullptr;
  bool fullReported = false;

  void opening(int) {}
  void weight(long w) {
    currentWeight = uint16_t(w < 0 ? 0 : w > MAX_BOOK_WEIGHT ? MAX_BOOK_WEIGHT : w);
  }
  void move(int side, Move move, int opening) {
    if (side != bookSide) return;
    const uint32_t key = bookKey(&board->records[0]);
    if (!bookInsert(table, key, move, uint16_t(opening), currentWeight, &occupied)) {
      if (!fullReported)
        std::printf("\n%s book is full: further moves are left out\n",
                    bookSide == WHITE ? "White" : "Black");
      fullReported = true;
      return;
    }
    ++*inserted;
    if (++*progress > PROGRESS_STEP) {
      std::printf("%c", bookSide == WHITE ? 'w' : 'b');
      std::fflush(stdout);
      *progress = 0;
    }
  }
  void after(int, int, int, int) {}
};

// whiteFEN / blackFEN.
struct Lister {
  int bookSide = WHITE;
  Board* board = nullptr;
  int run = 0;
  bool printed = false;
  // fens[p]: the position after ply p of the current opening.
  char fens[MAX_SOURCE_PLIES + 1][FEN_SIZE];

  void opening(int) { printed = false; }
  void weight(long) {}
  void move(int, Move, int) {}
  void after(int side, int ply, int opening, int number) {
    Position* p = board->position;
    if (ply <= MAX_SOURCE_PLIES) getFen(*board->side, p, &board->records[0], fens[ply]);
    // The book side's result is judged once the other side has replied.
    if (side == bookSide) return;
    int whiteMaterial, blackMaterial, bonus = 0;
    const int score = materialBalance(p, board->tables, &whiteMaterial, &blackMaterial, &bonus);
    const bool good = bookSide == WHITE ? score >= LISTED_LEAD : score <= -LISTED_LEAD;
    run = good ? run + 1 : 0;
    if (run == LISTED_RUN && !printed && ply > LISTED_AFTER_PLY &&
        ply - LISTED_PLIES_BACK <= MAX_SOURCE_PLIES) {
      std::printf("%s %d %d\n", fens[ply - LISTED_PLIES_BACK], opening,
                  number - LISTED_MOVES_BACK);
      printed = true;
    }
  }
};

void listPositions(int bookSide, int* sideToMove, Position* p, UndoRecord* records,
                   const BoardTables* t) {
  const char* name = bookSide == WHITE ? "white" : "black";
  std::FILE* f = std::fopen(name, "r");
  if (!f) {
    std::printf("%sFEN: can't read %s\n", name, name);
    return;
  }
  const bool replayed = listSourcePositions(f, bookSide, sideToMove, p, records, t);
  std::fclose(f);
  if (!replayed) std::exit(1);
}

}  // namespace

bool listSourcePositions(std::FILE* source, int bookSide, int* sideToMove, Position* p,
                         UndoRecord* records, const BoardTables* t) {
  Board board{sideToMove, p, records, t};
  static Lister lister;  // the FEN table is too big for the stack
  lister.bookSide = bookSide;
  lister.board = &board;
  lister.run = 0;
  lister.printed = false;
  return replaySource(source, bookSide, &board, lister);
}

bool compileSource(std::FILE* source, int bookSide, SourceTally* tally, int* sideToMove,
                   Position* p, UndoRecord* records, const BoardTables* t) {
  Board board{sideToMove, p, records, t};
  Compiler compiler{bookSide, &board, bookOf(bookSide)};
  compiler.currentWeight = tally->weight;
  compiler.inserted = &tally->inserted;
  compiler.progress = &tally->progress;
  const bool replayed = replaySource(source, bookSide, &board, compiler);
  tally->weight = compiler.currentWeight;
  tally->entries += compiler.occupied;
  return replayed;
}

Move findSourceMove(const char* token, int side, Position* p, UndoRecord* records,
                    const BoardTables* t) {
  char wanted[TOKEN_BUFFER];
  std::snprintf(wanted, sizeof wanted, "%s", token);
  cutCheckSign(wanted);
  // Only moves to the named square can have the token as their text.
  const int square = namedSquare(wanted);
  char text[MOVE_TEXT_SIZE];
  return lastMatchingMove(side, p, records, t, [&](Move move) {
    if (square >= 0 && moveTo(move) != square) return false;
    san(side, 0, move, text, p, records, t);
    cutCheckSign(text);
    return std::strcmp(text, wanted) == 0;
  });
}

bool readTextBooks(int* sideToMove, Position* p, UndoRecord* records, const BoardTables* t) {
  std::FILE* sources[2] = {std::fopen("white", "r"), std::fopen("black", "r")};
  if (!sources[0] || !sources[1]) {
    std::printf("readTextBooks: can't read %s; the books are unchanged\n",
                sources[0] ? "black" : "white");
    for (std::FILE* f : sources)
      if (f) std::fclose(f);
    return false;
  }
  const auto start = std::chrono::steady_clock::now();
  clearBook(whiteBook);
  clearBook(blackBook);
  std::printf("Reading opening books: ");
  SourceTally tally{};  // a weight line stays in force into the black source
  for (int bookSide : {WHITE, BLACK}) {
    if (compileSource(sources[bookSide == WHITE ? 0 : 1], bookSide, &tally, sideToMove, p,
                      records, t))
      continue;
    std::exit(1);  // the old book files stay as they were
  }
  for (std::FILE* f : sources) std::fclose(f);
  const uint32_t inserted = tally.inserted, entries = tally.entries;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("\n%u positions in %g seconds\n", inserted, seconds);
  // Distinct position-and-move entries, so that the figure tells how full the books are.
  std::printf("Unique positions: %2.2f percent of bookSize\n",
              100.0 * entries / (2.0 * bookSize));
  bool written = true;
  for (const char* file : {"white.bin", "black.bin"}) {
    if (writeBookFile(file, bookOf(file[0] == 'w' ? WHITE : BLACK))) continue;
    std::printf("readTextBooks: can't write %s\n", file);
    written = false;
  }
  return written;
}

void whiteFEN(int* sideToMove, Position* p, UndoRecord* records, const BoardTables* t) {
  listPositions(WHITE, sideToMove, p, records, t);
}

void blackFEN(int* sideToMove, Position* p, UndoRecord* records, const BoardTables* t) {
  listPositions(BLACK, sideToMove, p, records, t);
}
