#include "driver/bench.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/bitboard.h"
#include "board/position.h"
#include "driver/commands.h"
#include "driver/defaults.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "search/search.h"

const char* const BENCH_POSITIONS[] = {
    // Openings.
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 4",
    "rnbqkb1r/1p2pppp/p2p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R w KQkq - 0 6",
    "rnbqkb1r/ppp2ppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR b KQkq - 3 4",
    "r1bqkb1r/pppp1Bpp/2n2n2/4p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 0 4",  // in check
    "r1bqkbnr/ppp1pp2/n5p1/3p3p/2N4P/7N/PPPPPPP1/R1BQKB1R w KQkq - 2 5",
    "r1bqkb1r/1ppppp1p/2n2np1/p7/3P4/2P1P2P/PP3PP1/RNBQKBNR w KQkq - 1 5",
    "rnbqk2r/ppppnpp1/8/2b1p2P/5P2/2N5/PPPPP2P/R1BQKBNR w KQkq - 1 5",
    "rnbqkb1r/p1ppp1pp/1p3n2/8/1P3pP1/2N2P2/P1PPP2P/R1BQKBNR w KQkq - 2 5",
    "rnbqk1nr/1p1p1ppp/p1pbp3/8/1P4P1/P4N2/2PPPP1P/RNBQKB1R w KQkq - 1 5",
    "r2qkbnr/pbpppppp/n7/8/p7/RP3P2/2PPP1PP/1NBQKBNR w Kkq - 0 5",
    // Middlegames.
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R b KQkq - 4 8",
    "r3k2r/ppp2ppp/2n5/3pP3/8/8/PPP2PPP/R3K2R w Kq - 0 12",
    "r4rk1/pp3ppp/2n1b3/3p4/3P4/2NB4/PP3PPP/R4RK1 b - - 3 16",
    "3r1k2/4npp1/1ppr3p/p6P/P2PPPP1/1NR5/5K2/2R5 w - - 0 1",
    "2q1rr1k/3bbnnp/p2p1pp1/2pPp3/PpP1P1P1/1P2BNNP/2BQ1PRK/7R b - - 0 1",
    "r1b2rk1/2q1b1pp/p2ppn2/1p6/3QP3/1BN1B3/PPP3PP/R4RK1 w - - 0 1",
    "r3r1k1/ppqb1ppp/8/4p1NQ/8/2P5/PP3PPP/R3R1K1 b - - 0 1",
    "r2q1rk1/4bppp/p2p4/2pP4/3pP3/3Q4/PP1B1PPP/R3R1K1 w - - 0 1",
    "3rr3/2pq2pk/p2p1pnp/8/2QBPP2/1P6/P5PP/4RRK1 b - - 0 1",
    "2r1r1k1/pbqn1ppp/1p2pn2/6B1/3P4/2PB1N2/P3QPPP/2R1R1K1 w - - 0 1",
    "1r1q1r1k/1Bp1b1pp/8/pP6/3p4/PQnP2P1/5P1P/1RB2RK1 w - - 0 1",
    "2kr3r/ppq2pp1/2p1pn1p/2b4P/3P4/3Q1NP1/PPPB1P2/2KR3R w - - 0 1",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - 0 1",
    // Endings.
    "2r3k1/pppR1pp1/4p3/4P1P1/5P2/1P4K1/P1P5/8 w - - 0 1",
    "4b3/p3kp2/6p1/3pP2p/2pP1P2/4K1P1/P3N2P/8 w - - 0 1",
    "8/5pk1/6p1/8/3R4/6P1/5PK1/3r4 w - - 0 40",
    "8/8/4k3/8/2K5/4P3/8/8 b - - 0 60",
    "3k4/8/8/3PK3/8/8/1r6/R7 w - - 0 1",
    "8/3k4/2p1p3/1pP1Pp2/1P3P2/3BK3/8/4b3 w - - 0 1",
    "8/5pk1/6p1/3Q4/8/4q1P1/5PK1/8 w - - 0 1",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1",
    "8/8/4k3/8/4P3/3K4/7r/5R2 w - - 0 1",
    "8/5pk1/4p1p1/3pP3/1b1P1P2/4B1P1/5K2/8 w - - 0 1",
};
const int BENCH_POSITION_COUNT = int(sizeof BENCH_POSITIONS / sizeof BENCH_POSITIONS[0]);

namespace {

// What the clock never reaches: bench searches to its depth whatever the machine's speed.
constexpr double UNLIMITED_TIME = 1e15;  // microseconds
constexpr uint64_t NO_CLOCK_CHECK = ~0ull >> 1;
constexpr double INITIAL_SPEED_FACTOR = 0.9;
constexpr uint32_t MOVES_TO_GO = 40;

// Bench's own search state; the game's principal variation and best moves stay as they
// are.
Move benchPv[MAX_PLY][MAX_PLY + 1];
Move rootMoves[MAX_MOVES];
Move bestMoveByDepth[MAX_PLY];

// While it lives the search's thinking lines go to /dev/null: only the node counts are
// bench's output.
class QuietOutput {
 public:
  QuietOutput() {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0) return;
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~QuietOutput() {
    std::fflush(stdout);
    if (saved_ < 0) return;
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  QuietOutput(const QuietOutput&) = delete;
  QuietOutput& operator=(const QuietOutput&) = delete;

 private:
  int saved_ = -1;
};

// A depth argument: the default when empty, 0 when it is not a depth bench can search.
int parseDepth(const char* text) {
  if (!text || !text[0]) return BENCH_DEFAULT_DEPTH;
  char* end = nullptr;
  const long depth = std::strtol(text, &end, 10);
  if (*end || depth < 1 || depth > PLY_LIMIT) return 0;
  return int(depth);
}

uint32_t benchHashMask(uint32_t allocatedMask) {
  return std::min(allocatedMask, hashMaskForMegabytes(BENCH_HASH_MEGABYTES));
}

// Sets up one position as a fresh game would have it; false when the FEN is refused.
bool setUp(const char* fen, uint32_t hashMask, int depth, int* side, Engine* e) {
  Position* p = &e->position;
  *p = Position{};
  std::fill(std::begin(e->records), std::end(e->records), UndoRecord{});
  if (!setBoardFromFenLine(fen, side, p, &e->records[0], &e->tables)) return false;
  e->records[1] = e->records[0];
  p->hashMask = hashMask;
  p->depthLimit = uint32_t(depth);
  p->modeFlags = BOOK_OFF;
  // No fast iterations: their depth would follow the machine's speed.
  p->fastIterationLimit = 0;
  p->tablebaseReach = 0;
  p->nodeCount = 1;  // as the engine's turn counts
  setDefaultExtensions(p);
  hashClear(&e->hash, p);
  benchPv[0][PV_END] = 0;
  return true;
}

void printTotals(const BenchResult& r, int depth) {
  const double seconds = r.seconds > 0 ? r.seconds : 1e-6;
  std::printf("bench: %d positions to depth %d in %.3f s\n", r.positions, depth, r.seconds);
  std::printf("%llu nodes\n", (unsigned long long)r.nodes);
  std::printf("%llu nps\n", (unsigned long long)(double(r.nodes) / seconds));
  std::fflush(stdout);
}

}  // namespace

BenchResult runBench(Engine* e, int depth, uint32_t hashMask) {
  BenchResult result{0, 0.0, 0};
  const uint32_t mask = benchHashMask(hashMask);
  for (int i = 0; i < BENCH_POSITION_COUNT; ++i) {
    int side = WHITE;
    if (!setUp(BENCH_POSITIONS[i], mask, depth, &side, e)) {
      std::fprintf(stderr, "bench: position %d cannot be set up\n", i + 1);
      continue;
    }
    Position* p = &e->position;
    Bitboard checkers = 0;
    findCheckers(side, &checkers, p, &e->tables);
    const int count =
        checkers ? generateEvasions(side, 0, checkers, rootMoves, p, e->records, &e->tables)
                 : generateLegalMoves(side, 0, rootMoves, p, e->records, &e->tables);
    TimeControl tc{};
    tc.timeBudget = tc.budgetCeiling = UNLIMITED_TIME;
    tc.nextClockCheck = NO_CLOCK_CHECK;
    SearchContext context{p, e->records, benchPv, &e->hash, &e->tables, &tc, {}, true};
    double speedFactor = INITIAL_SPEED_FACTOR;
    Move expectedReply = 0;
    const auto start = std::chrono::steady_clock::now();
    {
      QuietOutput quiet;
      tc.startTime = clockMicroseconds();
      iterativeDeepening(&context, side, rootMoves, count, checkers ? p->checkExtension : 0,
                         &speedFactor, 0, MOVES_TO_GO, bestMoveByDepth, &expectedReply);
    }
    result.seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const uint64_t nodes = p->nodeCount + p->quiesceNodeCount;
    result.nodes += nodes;
    ++result.positions;
    std::printf("position %d: %llu nodes\n", i + 1, (unsigned long long)nodes);
  }
  return result;
}

uint32_t benchCommand(char words[WORD_COUNT][WORD_SIZE], Engine* e) {
  const int depth = parseDepth(words[1]);
  if (!depth) {
    std::printf("bench needs a depth from 1 to %d\n", PLY_LIMIT);
    return RESTING;
  }
  if (!e->started) {  // in vorlak.cfg: there are no tables to search with yet
    std::printf("bench runs only after start-up\n");
    return RESTING;
  }
  static Position savedPosition;
  static UndoRecord savedRecords[MAX_PLY];
  static int32_t savedValues[SV_TABLE_COUNT][64];
  savedPosition = e->position;
  std::copy(std::begin(e->records), std::end(e->records), savedRecords);
  std::memcpy(savedValues, e->tables.squareValues, sizeof savedValues);

  const uint32_t allocated = e->position.hashMask;
  if (allocated < hashMaskForMegabytes(BENCH_HASH_MEGABYTES))
    std::printf("bench: the hash tables are smaller than its %ld MBytes; the count differs\n",
                BENCH_HASH_MEGABYTES);
  loadBuiltinSquareValues(&e->tables);
  const BenchResult result = runBench(e, depth, allocated);

  e->position = savedPosition;
  std::copy(std::begin(savedRecords), std::end(savedRecords), e->records);
  std::memcpy(e->tables.squareValues, savedValues, sizeof savedValues);
  hashClear(&e->hash, &e->position);
  printTotals(result, depth);
  return RESTING;
}

int benchFromCommandLine(int argc, char** argv, Engine* e) {
  const int depth = argc == 0 ? BENCH_DEFAULT_DEPTH : argc == 1 ? parseDepth(argv[0]) : 0;
  if (!depth) {
    std::fprintf(stderr, "vorlak: bench takes a depth from 1 to %d (usage: vorlak bench [DEPTH])\n",
                 PLY_LIMIT);
    return 2;
  }
  initTables(&e->tables);
  loadDefaults(e);
  const uint32_t mask = benchHashMask(e->position.hashMask);
  for (HashEntry*& table : e->hash.table) {
    table = static_cast<HashEntry*>(std::calloc(size_t(mask) + 1, sizeof(HashEntry)));
    if (!table) {
      std::fprintf(stderr, "vorlak: no memory for the hash tables\n");
      return 1;
    }
  }
  const BenchResult result = runBench(e, depth, mask);
  for (HashEntry*& table : e->hash.table) {
    std::free(table);
    table = nullptr;
  }
  printTotals(result, depth);
  return 0;
}
