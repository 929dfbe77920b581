#include "driver/edit.h"

#include <cstdio>
#include <cstring>

#include "board/position.h"
#include "driver/commands.h"

namespace {

int kindOfLetter(char c) {
  switch (c) {
    case 'P': return WHITE_PAWN;
    case 'N': return WHITE_KNIGHT;
    case 'B': return WHITE_BISHOP;
    case 'R': return WHITE_ROOK;
    case 'Q': return WHITE_QUEEN;
    case 'K': return WHITE_KING;
    default: return EMPTY;
  }
}

// The square of a word's last two characters, or -1.
int squareOfText(const char* text) {
  if (std::strlen(text) != 2 || text[0] < 'a' || text[0] > 'h' || text[1] < '1' || text[1] > '8')
    return -1;
  return (text[1] - '1') * 8 + (text[0] - 'a');
}

void finishEdit(Engine* e) {
  e->editing = false;
  hashStartsComment = true;
  char words[WORD_COUNT][WORD_SIZE] = {};
  std::snprintf(words[0], WORD_SIZE, "setboard");
  writePlacement(e->editBoard, words[1]);
  std::snprintf(words[2], WORD_SIZE, "%c", e->sideToMove == WHITE ? 'w' : 'b');
  std::snprintf(words[3], WORD_SIZE, "KQkq");  // kept only where king and rook are at home
  std::snprintf(words[4], WORD_SIZE, "-");
  std::snprintf(words[5], WORD_SIZE, "0");
  std::snprintf(words[6], WORD_SIZE, "%u", e->position.movesCompleted + 1);
  // xboard edits in force mode and goes on sending moves to be recorded, not answered:
  // unlike setboard, the edit leaves force mode as it was.
  const uint64_t force = e->position.modeFlags & FORCE_MODE;
  interpretCommand(words, e);
  e->position.modeFlags = (e->position.modeFlags & ~FORCE_MODE) | force;
}

}  // namespace

void startEdit(Engine* e) {
  e->editing = true;
  e->editColour = WHITE;
  boardOf(&e->position, e->editBoard);
  hashStartsComment = false;  // "#" is the command that clears the board
}

uint32_t editCommand(char words[WORD_COUNT][WORD_SIZE], Engine* e) {
  const char* word = words[0];
  if (!word[0]) return RESTING;
  if (std::strcmp(word, ".") == 0) {
    finishEdit(e);
  } else if (std::strcmp(word, "#") == 0) {
    std::memset(e->editBoard, 0, sizeof e->editBoard);
  } else if (std::strcmp(word, "c") == 0 || std::strcmp(word, "C") == 0) {
    e->editColour ^= 1;
  } else {
    const int sq = squareOfText(word + 1);
    const int kind = kindOfLetter(word[0]);
    if (sq >= 0 && word[0] == 'x')
      e->editBoard[sq] = EMPTY;
    else if (sq >= 0 && kind)
      e->editBoard[sq] = e->editColour == WHITE ? kind : kind + 6;
    else
      std::printf("Error (not an edit command): %s\n", word);
  }
  return RESTING;
}
