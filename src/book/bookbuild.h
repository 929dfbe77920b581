// Building the opening books: PGN games appended to the text sources "white" and
// "black" in the working directory, the sources compiled into the book tables and
// white.bin / black.bin, and listings of source positions where the book's side has
// come out ahead in material.
//
// Source layout: an opening starts with [OpeningNo "N"]; [OpeningWeight W] sets the
// weight of the book moves that follow (until the next such line); other lines that
// start with '[' and blank lines carry nothing; a move line is "N. WHITE BLACK" in
// algebraic notation. Each opening is played from the initial position; in "white"
// White's moves are the book moves, in "black" Black's.
#pragma once

#include <cstdio>

#include "board/types.h"

constexpr int SOURCE_LINE_SIZE = 512;   // source and PGN lines of up to 511 characters
constexpr int MAX_PGN_TAGS = 20;        // tag lines kept per game besides Event
constexpr int MAX_PGN_PAIRS = 256;      // move pairs kept per game
constexpr int MAX_MOVE_TOKEN = 7;       // characters of a move token
constexpr int MAX_SOURCE_PLIES = 512;   // plies of an opening whose positions are listed
constexpr const char* ALL_PLAYERS = "allPlayers";

struct PgnTally {
  bool read;      // the PGN file was read and the sources were open for appending
  int whiteGames;
  int blackGames;
};

// Appends the decisive games of file to the sources: with player "allPlayers" every
// game White won to "white" and every game Black won to "black", otherwise only the
// games player won with that colour; each game keeps its first maxMoves move pairs.
// Comments, variations, NAGs, move-number forms and result tokens are read past.
PgnTally readPGN(const char* file, const char* player, int maxMoves);

// Replays both sources into fresh book tables and writes white.bin and black.bin. A
// move that matches no legal move ends the process with exit code 1 (the old files
// stay). False, with nothing changed, when a source cannot be opened or a book file
// cannot be written (the tables are then rebuilt but not on disk).
bool readTextBooks(int* sideToMove, Position* position, UndoRecord* records,
                   const BoardTables* tables);

// What compiling the sources counts, and the weight line in force, carried from the
// white source into the black one.
struct SourceTally {
  uint32_t inserted;  // book moves inserted
  uint32_t entries;   // slots the inserts occupied
  uint16_t weight;
  int progress;       // book moves since the last progress character
};

// Replays one open source into the book of bookSide (the body of readTextBooks for one
// source, without the files). False, after the error line, at a move that matches no
// legal move; the table then holds what was inserted before it.
bool compileSource(std::FILE* source, int bookSide, SourceTally* tally, int* sideToMove,
                   Position* position, UndoRecord* records, const BoardTables* tables);

// The listing of whiteFEN (bookSide WHITE) or blackFEN for an open source. False, after
// the error line, at a move that matches no legal move.
bool listSourcePositions(std::FILE* source, int bookSide, int* sideToMove,
                         Position* position, UndoRecord* records, const BoardTables* tables);

// Print "FEN opening move" lines of the openings in "white" (resp. "black") where the
// book's side keeps a material lead for three of its moves after the 13th move.
void whiteFEN(int* sideToMove, Position* position, UndoRecord* records,
              const BoardTables* tables);
void blackFEN(int* sideToMove, Position* position, UndoRecord* records,
              const BoardTables* tables);

// The legal move of side (at ply 0) that the algebraic token names, or 0. Check and
// mate signs from the third character on are ignored; of several matches the last in
// generator order wins, captures searched before the other moves.
Move findSourceMove(const char* token, int side, Position* position, UndoRecord* records,
                    const BoardTables* tables);
