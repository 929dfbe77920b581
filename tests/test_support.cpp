#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/position.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "scratch.h"

TestBoard::TestBoard() {
  initTables(&tables);
  setStartPosition(&side, &position, &records[0], &tables);
}

TestBoard::TestBoard(const std::string& fen) : TestBoard() { setFen(fen); }

bool TestBoard::setFen(const std::string& fen) {
  const bool ok = setBoardFromFenLine(fen.c_str(), &side, &position, &records[0], &tables);
  records[1] = records[0];
  return ok;
}

std::string TestBoard::fen() const {
  char text[FEN_SIZE];
  getFen(side, &position, &records[0], text);
  return text;
}

std::vector<Move> TestBoard::legalMoves() {
  Move list[MAX_MOVES];
  int n = generateLegalMoves(side, 0, list, &position, records, &tables);
  return std::vector<Move>(list, list + n);
}

void TestBoard::play(Move move) {
  makeMove(side, 1, move, &position, records, &tables);
  records[0] = records[1];
  side ^= 1;
  if (side == WHITE) ++position.movesCompleted;
  enterGamePosition(&position, records[0]);
}

uint64_t TestBoard::perftCount(int depth) {
  position.nodeCount = 0;
  perft(side, 0, depth, &position, records, &tables);
  return position.nodeCount;
}

std::unique_ptr<TestBoard> makeBoard(const std::string& fen) {
  auto board = std::make_unique<TestBoard>();
  if (!fen.empty()) board->setFen(fen);
  return board;
}

std::string coordinates(Move m) {
  std::string s;
  s += char('a' + fileOf(moveFrom(m)));
  s += char('1' + rankOf(moveFrom(m)));
  s += char('a' + fileOf(moveTo(m)));
  s += char('1' + rankOf(moveTo(m)));
  if (int promo = movePromotion(m)) s += "nbrq"[(promo - 2) % 6];
  return s;
}

std::string testDataPath(const std::string& relative) {
  return std::string(VORLAK_TEST_DATA) + "/" + relative;
}

std::vector<PerftCase> readPerftFile(const std::string& path) {
  std::vector<PerftCase> cases;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    auto semi = line.find(';');
    if (semi == std::string::npos) continue;
    PerftCase c;
    c.fen = line.substr(0, semi);
    std::istringstream rest(line.substr(semi));
    std::string tag;
    uint64_t n;
    while (rest >> tag >> n) c.counts.push_back(n);
    cases.push_back(c);
  }
  return cases;
}

namespace {
bool matchFrom(const char* s, const char* p) {
  if (!*p) return !*s;
  if (*p == '#') {
    const char* t = s;
    if (*t == '-') ++t;
    if (!std::isdigit(static_cast<unsigned char>(*t))) return false;
    while (std::isdigit(static_cast<unsigned char>(*t)))
      if (matchFrom(++t, p + 1)) return true;
    return false;
  }
  if (*p == '@') {
    for (const char* t = s; *t && *t != ' ' && *t != '\n';)
      if (matchFrom(++t, p + 1)) return true;
    return false;
  }
  return *s == *p && matchFrom(s + 1, p + 1);
}
}  // namespace

bool matchesPattern(const std::string& line, const std::string& pattern) {
  return matchFrom(line.c_str(), pattern.c_str());
}

bool hasLineMatching(const std::string& text, const std::string& pattern) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (matchesPattern(line, pattern)) return true;
  return false;
}

ScratchDir::ScratchDir() {
  char name[] = "/tmp/vorlak-test-XXXXXX";
  if (mkdtemp(name)) path = name;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path.empty()) fs::remove_all(path, ignored);
}

std::string readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeWhole(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

int exitCode(int systemStatus) {
  return WIFEXITED(systemStatus) ? WEXITSTATUS(systemStatus) : -1;
}

std::string inChild(const std::function<void()>& body, int* status) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "no pipe";
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    body();
    std::fflush(stdout);
    _exit(0);
  }
  close(pipeEnds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
  close(pipeEnds[0]);
  int raw = 0;
  waitpid(child, &raw, 0);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

void limitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}
