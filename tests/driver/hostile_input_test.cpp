// Hostile input for the built engine: random command lines, over-long lines, binary
// garbage, malformed FENs and input that stops anywhere. The engine must come through
// every session alive and leave with exit code 0 at quit or at the end of input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "scratch.h"

namespace {

constexpr int SESSION_SECONDS = 20;  // far beyond what a session needs; a hang fails

struct Outcome {
  bool exited = false;
  int code = -1;
  int signal = 0;
};

class HostileInput : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    writeFile("vorlak.cfg", "hashsize 1\n");
  }

  // Runs the engine on input (any bytes) and reports how it ended.
  Outcome run(const std::string& input) {
    writeFile("input.bin", input);
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(dir.c_str()) != 0) _exit(126);
      const int source = open("input.bin", O_RDONLY);
      const int output = open("/dev/null", O_WRONLY);
      if (source < 0 || output < 0) _exit(126);
      dup2(source, STDIN_FILENO);
      dup2(output, STDOUT_FILENO);
      dup2(output, STDERR_FILENO);
      execl(VORLAK_BINARY, VORLAK_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    Outcome o;
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
      if (waited == SESSION_SECONDS * 100) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "the engine hung";
        break;
      }
      const timespec tick{0, 10'000'000};
      nanosleep(&tick, nullptr);
    }
    o.exited = WIFEXITED(status);
    o.code = o.exited ? WEXITSTATUS(status) : -1;
    o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return o;
  }

  void expectSurvives(const std::string& input, const std::string& what) {
    const Outcome o = run(input);
    EXPECT_TRUE(o.exited) << what << ": ended by signal " << o.signal;
    EXPECT_EQ(o.code, 0) << what;
  }
};

// Searches stay short whatever a random line set: every line is followed by this one
// (inside edit mode it is only an unknown edit command, and no search can start there).
const char* const DEPTH_GUARD = "sd 2\n";

const std::vector<std::string> kCommandWords = {
    "time", "otim", "white", "black", "result", "force", "go", "level", "st", "sd",
    "solution", "position", "printMove", "setboard", "getfen", "reverse", "draw", "hard",
    "easy", "ponder", "new", "rating", "name", "computer", "post", "nopost", "playother",
    "?", "protover", "xboard", "readPGN", "whiteFEN", "blackFEN", "readTextBooks", "bk",
    "display", "hint", "random", "edit", "analyze", "score", "perft", "hashsize",
    "egtbcachesize", "egtbdir", "null", "ping", "usermove", "undo", "remove", "accepted",
    "rejected", "pause", "resume", "ics", "variant", ".", "#", "c", "Pe4", "xe4", "Kd8",
    "e2e4", "e7e5", "d2d4", "d7d5", "g1f3", "b8c6", "e1g1", "e8c8", "a7a8q", "e5d6",
    "Nf3", "exd5", "O-O", "O-O-O", "Qxf7#", "e8=Q", "h1h8", "a1a1", "zz9", "ON", "OFF",
    "GO", "SETBOARD", "",
};

const std::vector<std::string> kArguments = {
    "0", "1", "2", "3", "-1", "-7", "40", "5", "0:30", "2:15", "99999999999",
    "-99999999999", "1e308", "-1e308", "nan", "inf", "abc", "on", "off", "go", "1-0",
    "0-1", "1/2-1/2", "*", "{White", "mates}", "allPlayers", "nowhere.pgn", "w", "b", "-",
    "KQkq", "e3", "e6", "z9", "4k3/8/8/8/8/8/8/4K3", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
    "8/8/8/8/8/8/8/8", "K7/8/8/8/8/8/8/7k", "kK6/8/8/8/8/8/8/8", "%s%s%n", "\t",
};

std::string randomLine(std::mt19937& rng) {
  const std::string& command = kCommandWords[rng() % kCommandWords.size()];
  std::string line = command;
  const int arguments = int(rng() % 7);
  for (int i = 0; i < arguments; ++i) {
    line += ' ';
    // perft counts grow fast: only small depths
    line += command == "perft" ? std::to_string(rng() % 4) : kArguments[rng() % kArguments.size()];
  }
  return line + "\n";
}

std::string garbage(std::mt19937& rng, size_t length) {
  std::string bytes;
  for (size_t i = 0; i < length; ++i) {
    const auto r = rng() % 10;
    bytes += r == 0 ? '\0' : r == 1 ? '\r' : r == 2 ? '\n' : r == 3 ? char(0x80 + rng() % 128)
                                                               : char(rng() % 256);
  }
  return bytes;
}

}  // namespace

TEST_F(HostileInput, RandomCommandLines) {
  std::mt19937 rng(20240611);
  for (int session = 0; session < 24; ++session) {
    std::string input = session % 3 ? "xboard\n" : "";  // some on the console, where game ends stop it
    input += DEPTH_GUARD;
    for (int line = 0; line < 40; ++line) input += randomLine(rng) + DEPTH_GUARD;
    // Ends: quit, the end of input after a line, the end of input inside a line.
    if (session % 3 == 0) input += "quit\n";
    if (session % 3 == 2) input += "setboard 4k3/8/8/8/8/8/8/4K3 w - -";
    expectSurvives(input, "session " + std::to_string(session));
  }
}

TEST_F(HostileInput, LongLinesManyWordsAndGarbage) {
  std::mt19937 rng(7);
  std::string words200, long5000, spaced5000, fen5000;
  for (int i = 0; i < 200; ++i) words200 += (i % 2 ? "e2e4 " : "setboard ");
  long5000.assign(5000, 'a');
  for (int i = 0; i < 5000; ++i) spaced5000 += i % 7 == 6 ? ' ' : char('a' + i % 26);
  fen5000 = "setboard " + std::string(4990, '8') + " w - - 0 1";
  const std::string bad[] = {
      words200 + "\n", long5000 + "\n", spaced5000 + "\n", fen5000 + "\n",
      "usermove " + long5000 + "\n", std::string(5000, ' ') + "\n", std::string(5000, '\n'),
      "name " + std::string(79, 'x') + "\n", "ping " + std::string(80, '9') + "\n",
  };
  for (const std::string& line : bad) {
    expectSurvives("xboard\n" + line + "sd 2\ngo\nquit\n", line.substr(0, 40));
    expectSurvives(line, line.substr(0, 40));  // the end of input right after it
  }
  for (int session = 0; session < 8; ++session) {
    const std::string junk = garbage(rng, 3000);
    expectSurvives("xboard\nsd 2\n" + junk + "\nquit\n", "garbage " + std::to_string(session));
    expectSurvives(junk, "garbage at the end " + std::to_string(session));
  }
  // Words of a comment, a NUL inside a command word, CR line ends.
  static const char kCrAndNul[] = "xboard\r\nsd 2\r\nset\0board 8/8 w\r\ne2e4\r\n# go\r\nquit\r\n";
  expectSurvives(std::string(kCrAndNul, sizeof kCrAndNul - 1), "CR and NUL");
}

TEST_F(HostileInput, MalformedFens) {
  const char* const fens[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq - 0 1",  // nine ranks
      "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // digit 9
      "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR w KQkq - 0 1",    // no kings
      "4k3/8/8/8/8/8/8/8 w - - 0 1",                                 // no White king
      "4k3/8/8/8/8/8/8/K3K3 w - - 0 1",                              // two White kings
      "4kk2/8/8/8/8/8/8/4K3 b - - 0 1",                              // two Black kings
      "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",                              // pawn on rank 8
      "4k3/8/8/8/8/8/8/p3K3 b - - 0 1",                              // pawn on rank 1
      "4k3/8/8/8/8/8/4R3/4K3 w - - 0 1",                             // side not to move in check
      "4k3/8/8/8/8/8/8/4KQ2 w - - 0 1",                              // ... by a queen
      "4k3/8/8/3pP3/8/8/8/4K3 b - d6 0 1",                           // en passant for the wrong side
      "4k3/8/8/8/4Pp2/8/8/4K3 w - e3 0 1",                           // ... and the other way
      "4k3/8/8/8/8/8/8/4K3 w - z0 0 1",                              // no square
      "4k3/8/8/8/8/8/8/4K3",                                         // missing fields
      "4k3/8/8/8/8/8/8/4K3 b",                                       // ...
      "4k3/8/8/8/8/8/8/4K3 x KQkqKQkqKQkq abcdef -5 -7",             // nonsense fields
      "r3k2r/8/8/8/8/8/8/R3K2R w KQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkq - 0 1",
      "4k3/8/8/8/8/8/8/4K3 w - - 99999999999999999999 99999999999999999999",  // overlong counts
      "4k3/8/8/8/8/8/8/4K3 w - - 150 1",                             // past the fifty-move rule
      "4k3/8/8/8/8/8/8/4K3 w - - 9999 9999",
      "4k3/8/8/8/8/8/8/4K3 w - - -3 -3",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 extra words here",
      "////////",
      "8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8/8",
      "K7/8/8/8/8/8/8/7k w - - 0 1",
      "Kk6/8/8/8/8/8/8/8 w - - 0 1",                                 // kings touching
      "kQK5/8/8/8/8/8/8/8 b - - 0 1",                                // mated at once
      "k7/2Q5/1K6/8/8/8/8/8 b - - 0 1",                              // stalemate
      "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1",        // 218 moves
      "3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/3Q4/1Q4Q1/KB2Q1k1 w - - 0 1",
      "QQQQQQQQ/QQQQQQQQ/8/8/8/8/qqqqqqqq/K6k w - - 0 1",             // more than 16 men
  };
  // All in one session: each refused or taken, then a short search from whatever stands.
  std::string input = "xboard\n";
  for (const char* fen : fens)
    input += std::string("setboard ") + fen + "\ngetfen\nsd 2\ngo\nforce\nundo\nnull\nsd 1\ngo\n";
  expectSurvives(input + "quit\n", "all FENs");
  // And each alone on the console, where a game end ends the process (with code 0).
  for (const char* fen : fens)
    expectSurvives(std::string("setboard ") + fen + "\nsd 2\ngo\n", fen);
}
