#include "selfplay.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "driver/commands.h"
#include "driver/defaults.h"
#include "driver/engine.h"
#include "driver/play.h"
#include "eval/evaluate.h"
#include "eval/sqvalue.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "movegen/notation.h"
#include "search/hash.h"
#include "search/ordering.h"
#include "search/search.h"

namespace tune {

namespace {

// A search that only the node limit ends.
constexpr double UNLIMITED_TIME = 1e15;  // microseconds
constexpr double INITIAL_SPEED_FACTOR = 0.9;
constexpr uint32_t MOVES_TO_GO = 40;
// The search's score as a label: the logistic curve at the usual scale.
constexpr double LABEL_SCALE = 1.0;
constexpr size_t MAX_TOKEN_SIZE = 32;

bool isMoveNumber(const std::string& token) {
  return !token.empty() && std::isdigit(static_cast<unsigned char>(token[0]));
}

bool isResult(const std::string& token) {
  return token == "*" || token == "1-0" || token == "0-1" || token == "1/2-1/2";
}

// SAN tokens of a movetext: move numbers ("12." and "12...") and results left out.
void addTokens(const std::string& text, std::vector<std::string>* moves) {
  std::istringstream words(text);
  std::string token;
  while (words >> token) {
    if (isResult(token)) continue;
    // "1.e4" written without a blank: keep what follows the number.
    const size_t dot = token.find_last_of('.');
    if (isMoveNumber(token)) {
      if (dot == std::string::npos || dot + 1 == token.size()) continue;
      token = token.substr(dot + 1);
    }
    moves->push_back(token);
  }
}

bool readPgnOpenings(std::istream& in, std::vector<std::vector<std::string>>* lines) {
  std::string line, movetext;
  const auto flush = [&] {
    std::vector<std::string> moves;
    addTokens(movetext, &moves);
    if (!moves.empty()) lines->push_back(moves);
    movetext.clear();
  };
  bool inComment = false;
  while (std::getline(in, line)) {
    if (!inComment && !line.empty() && line[0] == '[') {
      if (!movetext.empty()) flush();
      continue;
    }
    for (char c : line) {
      if (c == '{') inComment = true;
      else if (c == '}') inComment = false;
      else if (!inComment) movetext += c;
    }
    movetext += ' ';
  }
  flush();
  return true;
}

bool readTsvOpenings(std::istream& in, std::vector<std::vector<std::string>>* lines) {
  std::string line;
  if (!std::getline(in, line)) return true;
  // The header names the column; "pgn" by default the last one.
  int column = 0, at = 0;
  std::istringstream header(line);
  for (std::string name; std::getline(header, name, '\t'); ++at)
    if (name == "pgn") column = at;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i <= column && std::getline(fields, field, '\t'); ++i) {
    }
    std::vector<std::string> moves;
    addTokens(field, &moves);
    if (!moves.empty()) lines->push_back(moves);
  }
  return true;
}

// The game's board and its search, as the engine's turn would have them.
void setUpGame(Engine* e) {
  Position* p = &e->position;
  const uint32_t mask = p->hashMask;
  *p = Position{};
  std::fill(std::begin(e->records), std::end(e->records), UndoRecord{});
  setStartPosition(&e->sideToMove, p, &e->records[0], &e->tables);
  e->records[1] = e->records[0];
  p->hashMask = mask;
  p->depthLimit = MAX_PLY;
  p->modeFlags = BOOK_OFF;
  p->tablebaseReach = 0;
  setDefaultExtensions(p);
  hashClear(&e->hash, p);
  e->pv[0][PV_END] = 0;
  e->speedFactor = INITIAL_SPEED_FACTOR;
  e->expectedReply = 0;
}

void playMove(Engine* e, Move m) {
  Position* p = &e->position;
  makeMove(e->sideToMove, 1, m, p, e->records, &e->tables);
  e->records[0] = e->records[1];
  e->sideToMove ^= 1;
  if (e->sideToMove == WHITE) ++p->movesCompleted;
  enterGamePosition(p, e->records[0]);
}

int legalMoves(Engine* e, Bitboard* checkers) {
  *checkers = 0;
  findCheckers(e->sideToMove, checkers, &e->position, &e->tables);
  return generateRootMoves(e, *checkers);
}

// The engine's move and score (mover's view) after a search of the given nodes.
Move searchMove(Engine* e, int count, Bitboard checkers, uint64_t nodes, int* score) {
  Position* p = &e->position;
  TimeControl tc{};
  tc.timeBudget = tc.budgetCeiling = UNLIMITED_TIME;
  tc.nodeLimit = nodes;
  tc.nextClockCheck = 0;
  e->search = SearchContext{p, e->records, e->pv, &e->hash, &e->tables, &tc, {}, true};
  e->search.report = [](const SearchContext*, int, bool) {};  // no thinking lines to write
  p->modeFlags &= ~STOP_SEARCH;
  // No fast iterations: their depth would follow the machine's speed.
  p->fastIterationLimit = 0;
  p->nodeCount = 1;
  p->quiesceNodeCount = 0;
  p->searchDepth = 0;
  p->rootMoveBonus = 0;
  tc.startTime = clockMicroseconds();
  *score = iterativeDeepening(&e->search, e->sideToMove, e->rootMoves, count,
                              checkers ? p->checkExtension : 0, &e->speedFactor, 0, MOVES_TO_GO,
                              e->bestMoveByDepth, &e->expectedReply);
  const Move best = p->searchDepth > 0 ? e->bestMoveByDepth[p->searchDepth] : e->rootMoves[0];
  return rootMoveFor(e, best, count);
}

}  // namespace

std::string fenOf(const Engine* e) {
  char text[FEN_SIZE];
  getFen(e->sideToMove, &e->position, &e->records[0], text);
  return text;
}

bool readOpenings(const char* path, std::vector<std::vector<std::string>>* lines) {
  std::ifstream in(path);
  if (!in) return false;
  const size_t length = std::strlen(path);
  const bool tsv = length > 4 && !std::strcmp(path + length - 4, ".tsv");
  return tsv ? readTsvOpenings(in, lines) : readPgnOpenings(in, lines);
}

Engine* makeSelfPlayEngine(const char* sqvaluePath, long hashMegabytes) {
  auto* e = new (std::nothrow) Engine{};
  if (!e) return nullptr;
  initTables(&e->tables);
  loadDefaults(e);
  if (sqvaluePath && !loadSquareValuesFrom(sqvaluePath, &e->tables)) {
    delete e;
    return nullptr;
  }
  const uint32_t mask = hashMaskForMegabytes(hashMegabytes);
  for (HashEntry*& table : e->hash.table) {
    table = static_cast<HashEntry*>(std::calloc(size_t(mask) + 1, sizeof(HashEntry)));
    if (!table) return nullptr;
  }
  e->position.hashMask = mask;
  return e;
}

GameOutcome playGame(Engine* e, const std::vector<std::string>& opening,
                     const SelfPlayOptions& o, std::mt19937_64* rng, uint32_t game,
                     Board* quietTest, std::vector<Record>* out) {
  setUpGame(e);
  Position* p = &e->position;
  int ply = 0;
  // The opening line, as far as it reads, then a few random plies.
  for (const std::string& token : opening) {
    char word[MAX_TOKEN_SIZE];
    std::snprintf(word, sizeof word, "%s", token.c_str());
    const Move m = parseMove(word, e->sideToMove, p, e->records, &e->tables);
    if (!m) break;
    playMove(e, m);
    ++ply;
  }
  Bitboard checkers = 0;
  const int randomPlies = o.randomPlies > 0 ? int((*rng)() % uint64_t(o.randomPlies + 1)) : 0;
  for (int i = 0; i < randomPlies; ++i) {
    const int count = legalMoves(e, &checkers);
    if (count == 0) break;
    playMove(e, e->rootMoves[(*rng)() % uint64_t(count)]);
    ++ply;
  }

  struct Kept {
    std::string fen;
    float engine;
  };
  std::vector<Kept> kept;
  int winningFor[2] = {0, 0};  // consecutive plies with White's score at least winScore, ...
  int quietPlies = 0;
  GameOutcome outcome{0.5f, ply, "length"};
  for (;; ++ply) {
    const int draw = drawCheck(0, p, &e->records[0]);
    if (draw == DRAW_MATERIAL || draw == DRAW_FIFTY_MOVES || draw >= DRAW_REPETITION) {
      outcome = {0.5f, ply, "rule"};
      break;
    }
    if (ply >= o.maxPlies) {
      outcome = {0.5f, ply, "length"};
      break;
    }
    const int count = legalMoves(e, &checkers);
    if (count == 0) {
      const float whiteWins = e->sideToMove == WHITE ? 0.0f : 1.0f;
      outcome = checkers ? GameOutcome{whiteWins, ply, "mate"} : GameOutcome{0.5f, ply, "stalemate"};
      break;
    }
    int score = 0;
    const Move m = count == 1 ? e->rootMoves[0] : searchMove(e, count, checkers, o.nodes, &score);
    const int whiteScore = e->sideToMove == WHITE ? score : -score;
    if (count > 1 && ply >= o.firstPly && !checkers && std::abs(score) < MATE_THRESHOLD &&
        !moveCaptured(m) && !movePromotion(m)) {
      std::string fen = fenOf(e);
      quietTest->setFen(fen);
      if (quietTest->quiet())
        kept.push_back({std::move(fen), float(expectedResult(whiteScore, LABEL_SCALE))});
    }
    // Adjudication: a decided score held by both sides, or a dead level one.
    if (count > 1) {
      winningFor[WHITE] = whiteScore >= o.winScore ? winningFor[WHITE] + 1 : 0;
      winningFor[BLACK] = -whiteScore >= o.winScore ? winningFor[BLACK] + 1 : 0;
      quietPlies = std::abs(whiteScore) <= o.drawScore ? quietPlies + 1 : 0;
    }
    if (winningFor[WHITE] >= o.winPlies || winningFor[BLACK] >= o.winPlies) {
      outcome = {winningFor[WHITE] >= o.winPlies ? 1.0f : 0.0f, ply, "adjudication"};
      break;
    }
    if (ply >= o.drawAfter && quietPlies >= o.drawPlies) {
      outcome = {0.5f, ply, "adjudication"};
      break;
    }
    playMove(e, m);
  }
  for (Kept& k : kept) out->push_back({std::move(k.fen), game, outcome.result, k.engine});
  return outcome;
}

}  // namespace tune
