// Creating a position from scratch: rebuild from a piece array, the start position,
// FEN input and output, colour reversal and the board diagram.
#pragma once

#include "board/types.h"

// Fills every derived field of position and root from a 64-entry piece array. root
// must already hold the castling rights and the en-passant mask. Ends the process
// when a king is missing.
void rebuildPosition(const int board[64], Position* position, UndoRecord* root,
                     const BoardTables* tables);

void setStartPosition(int* sideToMove, Position* position, UndoRecord* root,
                      const BoardTables* tables);

// Sets the position from the six FEN fields and prints the board (unless display is
// false). Returns false, changing nothing, when the placement is refused (a strange
// character, a colour without exactly one king, ...); the reason has then been printed
// on standard error. An empty placement is refused like a board without kings.
bool setBoardFromFen(const char* placement, char sideCharacter, const char* castling,
                     const char* enPassantText, const char* halfMoveText,
                     const char* fullMoveText, int* sideToMove, Position* position,
                     UndoRecord* root, const BoardTables* tables, bool display = true);

// The same from one FEN line, without display: fields missing at its end count as
// "w - - 0 1"; an overlong field is refused like a bad placement.
bool setBoardFromFenLine(const char* line, int* sideToMove, Position* position, UndoRecord* root,
                         const BoardTables* tables);

// What a FEN's placement field describes: a board to play from; no board at all (a
// character that is no piece, digit or '/', a rank of more than eight squares, more than
// eight ranks); or a board that cannot be played from (a colour without exactly one
// king, more than 16 men or 8 pawns of a colour, a pawn on the first or last rank).
enum PlacementStatus { PLACEMENT_PLAYABLE, PLACEMENT_MALFORMED, PLACEMENT_ILLEGAL };

// Fills the 64-entry piece array board from a placement field.
PlacementStatus readPlacement(const char* placement, int board[64]);

// Writes the placement field of a FEN for a 64-entry piece array into text (at least 72
// bytes), terminated; returns the end.
char* writePlacement(const int board[64], char* text);

// Writes the FEN of the position into text (at least 100 bytes).
void getFen(int side, const Position* position, const UndoRecord* root, char* text);

// Replaces the position by its colour-reversed mirror image; writes the new FEN to text.
void reverseBoard(int* sideToMove, Position* position, UndoRecord* root,
                  const BoardTables* tables, char* text);

void displayBoard(const Position* position);

int pieceAt(const Position* position, int sq);

// The 64-entry piece array of a position.
void boardOf(const Position* position, int board[64]);

constexpr int FEN_SIZE = 100;
