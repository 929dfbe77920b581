// Many short sessions with odd settings, driven through the command interpreter in this
// process: every "move" the engine prints must be a legal move of the position it had
// at that moment, and the board it keeps must be the one that move leads to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board/position.h"
#include "driver/commands.h"
#include "driver/engine.h"
#include "driver/game.h"
#include "driver/input.h"
#include "driver/play.h"
#include "movegen/movegen.h"
#include "test_support.h"

namespace {

constexpr uint32_t TEST_HASH_MASK = (1u << 14) - 1;  // 1 MB

// An engine as main() sets it up, without a list file, books or tablebases, in xboard
// mode so that game ends do not end the process.
struct InProcessEngine {
  std::unique_ptr<Engine> e = std::make_unique<Engine>();
  InProcessEngine() {
    e->speedFactor = 0.9;
    e->extraPercent = 100;
    e->position.hashMask = TEST_HASH_MASK;
    for (HashEntry*& t : e->hash.table)
      t = static_cast<HashEntry*>(std::calloc(TEST_HASH_MASK + 1, sizeof(HashEntry)));
    e->started = true;
    testing::internal::CaptureStdout();
    newGame(e.get());
    testing::internal::GetCapturedStdout();
    e->position.modeFlags |= XBOARD_MODE | BOOK_OFF;
  }
  ~InProcessEngine() {
    for (HashEntry* t : e->hash.table) std::free(t);
  }

  std::string fen() const {
    char text[FEN_SIZE];
    getFen(e->sideToMove, &e->position, &e->records[0], text);
    return text;
  }
  std::vector<Move> legalMoves() {
    Move list[MAX_MOVES];
    const int n = generateLegalMoves(e->sideToMove, 0, list, &e->position, e->records, &e->tables);
    return std::vector<Move>(list, list + n);
  }
};

struct Step {
  std::string command;
  std::string output;
  std::string fenOfCommand;  // before the command
  std::string fenBefore;     // before the engine's turn
  std::vector<Move> legal;   // of that position
  std::string fenAfter;
  bool searched = false;     // the interpreter handed the turn to the engine
  bool forced = false;
};

// One command line through the interpreter and, when it answers searching, the engine's
// turn, as the main loop does it.
Step execute(InProcessEngine& engine, const std::string& line) {
  Engine* e = engine.e.get();
  Step step;
  step.command = line;
  step.fenOfCommand = engine.fen();
  char words[WORD_COUNT][WORD_SIZE];
  splitConfigLine(line.c_str(), words);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  engineState = PROCESSING;
  engineState = interpretCommand(words, e);
  if (engineState == SEARCHING) {
    step.searched = true;
    step.forced = (e->position.modeFlags & FORCE_MODE) != 0;
    step.fenBefore = engine.fen();
    step.legal = engine.legalMoves();
    std::printf("<turn>\n");
    engineTurn(e);
  }
  step.output = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  step.fenAfter = engine.fen();
  engineState = RESTING;
  return step;
}

std::vector<std::string> engineMoves(const std::string& output) {
  std::vector<std::string> moves;
  const size_t turn = output.find("<turn>\n");
  if (turn == std::string::npos) return moves;
  std::istringstream lines(output.substr(turn));
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("move ", 0) == 0) moves.push_back(line.substr(5));
  return moves;
}

const char* const kFens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/pP1ppppp/8/4P3/8/8/8/R3K2R w KQkq - 3 20",
    "r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1",
    "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1",  // 218 moves
    "8/8/8/8/8/8/6k1/4K2R w K - 0 1",
    "4k3/8/8/8/8/8/4r3/4K3 w - - 0 1",                      // in check
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 30",               // mate in one
    "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",                       // stalemate
    "4k3/8/8/8/8/8/8/4K3 w - - 150 1",                      // past the fifty-move rule
    "4k3/8/8/8/8/8/8/4K2R w K - 9999 9999",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "1k6/8/8/8/8/8/8/KQ6 b - - 0 1",
};

const char* const kSettings[] = {
    "sd 0", "sd -5", "sd 1", "sd 2", "sd 3", "sd 999999", "st 0", "st -1", "st 0.02",
    "time 0", "time -100", "otim 0", "otim -50", "time 3", "level 0 0 0", "level 40 0 0",
    "level 0 0 0.05", "level 1 0:01 0", "otim 999999999",
};

const char* const kFlow[] = {
    "go", "go", "force", "null", "null", "reverse", "undo", "remove", "white", "black",
    "new", "draw", "random on", "random off", "hard", "e2e4", "a1a1", "e1g1", "O-O",
};

// Clocks that keep a search short whatever the depth: set at the start and again whenever
// a command puts the default clocks back (a new game, a set-up position). None of the
// settings above gives the engine more time than these.
const char* const kShortSearch[] = {"st 0", "time 0", "time -100", "level 0 0 0"};

// Checks the engine's turn of a step: no move in force mode, otherwise at most one, legal
// in the position of that moment, and the engine's board afterwards the one it leads to.
// Returns the number of moves checked (0 or 1).
int expectLegalTurn(const Step& s) {
  const std::vector<std::string> moves = engineMoves(s.output);
  if (!s.searched || s.forced) {
    EXPECT_TRUE(moves.empty()) << s.command;
    return 0;
  }
  // go hands the turn to the engine for the side on move; it never changes the position.
  if (s.command == "go") {
    EXPECT_EQ(s.fenBefore, s.fenOfCommand);
  }
  EXPECT_LE(moves.size(), 1u) << s.output;
  if (moves.size() != 1) return 0;  // no legal move (mate, stalemate)
  const std::string& played = moves[0];
  Move match = 0;
  for (Move m : s.legal)
    if (coordinates(m) == played) match = m;
  EXPECT_NE(match, 0u) << played << " in " << s.fenBefore << " after '" << s.command << "'";
  if (!match) return 0;
  EXPECT_NE(moveCaptured(match), int(WHITE_KING));
  EXPECT_NE(moveCaptured(match), int(BLACK_KING));
  TestBoard replay(s.fenBefore);
  replay.play(match);
  EXPECT_EQ(replay.fen(), s.fenAfter) << s.fenBefore << " " << played;
  return 1;
}

}  // namespace

TEST(LegalitySessions, EveryMovePrintedIsLegalWhateverTheSettings) {
  std::mt19937 rng(4711);
  int movesChecked = 0;
  for (int session = 0; session < 40; ++session) {
    InProcessEngine engine;
    std::vector<Step> steps;
    auto run = [&](const std::string& line) {
      steps.push_back(execute(engine, line));
      movesChecked += expectLegalTurn(steps.back());
    };
    run(kShortSearch[rng() % 4]);
    run("sd 2");
    for (int i = 0; i < 25; ++i) {
      const auto kind = rng() % 10;
      if (kind < 3) {
        run(kSettings[rng() % std::size(kSettings)]);
      } else if (kind < 6) {
        run(kFlow[rng() % std::size(kFlow)]);
      } else if (kind < 8) {
        // An opponent's move: a legal one, as a GUI would send it.
        const std::vector<Move> legal = engine.legalMoves();
        const auto pick = rng();  // drawn always, so the commands do not depend on the games
        if (!legal.empty()) run(coordinates(legal[pick % legal.size()]));
      } else {
        run(std::string("setboard ") + kFens[rng() % std::size(kFens)]);
      }
      // A new game or a reversed board brings the default clocks back (a set-up keeps them).
      const std::string& last = steps.back().command;
      if (last == "new" || last == "reverse" || last.rfind("setboard", 0) == 0) {
        run(kShortSearch[rng() % 4]);
        run("sd 3");
      }
      if (HasFailure()) {
        std::string log;
        for (const Step& s : steps) log += s.command + "\n";
        FAIL() << "commands of session " << session << ":\n" << log;
      }
    }
  }
  EXPECT_GT(movesChecked, 100);
}

// go after take-backs, moves in force mode or a stalemate: the engine plays the side on
// move, whatever colour it played before.
TEST(LegalitySessions, GoPlaysTheSideOnMove) {
  const std::vector<std::vector<std::string>> sessions = {
      {"new", "e2e4", "undo", "go"},
      {"new", "force", "e2e4", "undo", "go"},
      {"new", "force", "e2e4", "e7e5", "undo", "go"},
      {"new", "e2e4", "remove", "go"},
      {"new", "force", "e2e4", "go", "force", "undo", "undo", "go"},
  };
  for (const auto& commands : sessions) {
    InProcessEngine engine;
    Step s;
    for (const std::string& c : commands) {
      s = execute(engine, c);
      if (c == "new") execute(engine, "sd 2");  // new brings the default depth back
    }
    EXPECT_EQ(expectLegalTurn(s), 1) << commands.size() << " commands ending " << s.fenOfCommand;
    EXPECT_EQ(s.fenBefore, s.fenOfCommand);
  }
  // Stalemated: each go finds no move and prints none, and the board stays as it was.
  InProcessEngine engine;
  execute(engine, "setboard 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  execute(engine, "sd 2");
  for (int i = 0; i < 2; ++i) {
    const Step s = execute(engine, "go");
    EXPECT_TRUE(engineMoves(s.output).empty()) << s.output;
    EXPECT_EQ(s.fenAfter, "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  }
}

// The search at its ply limit, a list of 218 moves, half-move clocks far past the
// fifty-move rule, and a reversible stretch longer than the key history with passed turns.
TEST(LegalitySessions, PlyLimitFullMoveListsAndLongHistories) {
  InProcessEngine engine;
  Engine* e = engine.e.get();
  auto expectMove = [&](const std::string& line) {
    const Step s = execute(engine, line);
    EXPECT_EQ(expectLegalTurn(s), 1) << line << "\n" << s.output;
    return s;
  };
  // Few moves and a drawn ending: the iterations run into the ply limit.
  execute(engine, "setboard 7k/7P/7K/8/8/8/8/8 w - - 0 1");
  execute(engine, "sd 64");
  execute(engine, "st 1");
  expectMove("go");
  EXPECT_GE(e->position.searchDepth, 40u);
  EXPECT_LE(e->position.searchDepth, uint32_t(MAX_PLY - 1));

  execute(engine, "setboard R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
  EXPECT_EQ(engine.legalMoves().size(), 218u);
  execute(engine, "sd 3");
  execute(engine, "st 0");
  expectMove("go");

  for (const char* clock : {"150", "9999"}) {
    execute(engine, std::string("setboard 4k3/8/8/8/8/8/8/R3K3 w Q - ") + clock + " 70");
    execute(engine, "sd 3");
    execute(engine, "time 0");
    // The game is over by rule: claimed, and no move after it.
    const Step s = execute(engine, "go");
    EXPECT_NE(s.output.find("1/2-1/2 {50 move rule}\n"), std::string::npos) << clock;
    EXPECT_EQ(s.output.find("\nmove "), std::string::npos) << clock;
  }

  // 160 reversible plies, some of them passed turns, in force mode; then searches.
  std::mt19937 rng(99);
  execute(engine, "setboard r3k3/8/8/8/8/8/8/R3K3 w Qq - 0 1");
  execute(engine, "force");
  for (int ply = 0; ply < 160; ++ply) {
    if (rng() % 10 == 0) {
      execute(engine, "null");
      continue;
    }
    std::vector<Move> quiet;
    for (Move m : engine.legalMoves())
      if (!moveCaptured(m) && moveFrom(m) != moveTo(m)) quiet.push_back(m);
    ASSERT_FALSE(quiet.empty());
    execute(engine, coordinates(quiet[rng() % quiet.size()]));
  }
  EXPECT_GT(e->position.reversiblePlies, uint32_t(KEY_HISTORY_SIZE));
  execute(engine, "sd 4");
  execute(engine, "time 0");
  for (int turn = 0; turn < 6; ++turn) expectMove("go");
}

// The expected reply keeps the previous line however the opponent writes it; any other
// move, or a command that is no move, drops it.
TEST(LegalitySessions, ExpectedReplyIsFollowedInEveryNotation) {
  const struct {
    const char* reply;
    int keptLength;
  } cases[] = {{"d7d6", 1}, {"usermove d7d6", 1}, {"d6", 1}, {"d7d5", 0}, {"usermove d5", 0}};
  for (const auto& c : cases) {
    InProcessEngine engine;
    Engine* e = engine.e.get();
    execute(engine, "force");
    execute(engine, "e2e4");
    // The line a search of the move before might have left: e2e4 d7d6 d2d4.
    TestBoard line;
    const char* moves[] = {"e2e4", "d7d6", "d2d4"};
    for (int i = 0; i < 3; ++i) {
      Move list[MAX_MOVES];
      const int n =
          generateLegalMoves(line.side, 0, list, &line.position, line.records, &line.tables);
      for (int k = 0; k < n; ++k)
        if (coordinates(list[k]) == moves[i]) e->pv[0][i] = list[k];
      line.play(e->pv[0][i]);
    }
    e->pv[0][PV_END] = 3;
    char words[WORD_COUNT][WORD_SIZE];
    splitConfigLine(c.reply, words);
    testing::internal::CaptureStdout();
    interpretCommand(words, e);
    testing::internal::GetCapturedStdout();
    followExpectedLine(e);
    EXPECT_EQ(int(e->pv[0][PV_END]), c.keptLength) << c.reply;
    if (c.keptLength) {
      EXPECT_EQ(coordinates(e->pv[0][0]), "d2d4") << c.reply;
    }
  }
}
