#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/position.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "tablebase/tablebase.h"
#include "tablebase/generator/ending.h"
#include "tablebase/generator/generate.h"
#include "tablebase/generator/tablefile.h"
#include "tablebase/generator/verify.h"

using namespace tbgen;

namespace {

uint16_t known(int plies) { return uint16_t(ST_KNOWN | plies); }

// Squares from text such as "a1": kings first, then the men in name order.
std::vector<int> squares(std::initializer_list<const char*> names) {
  std::vector<int> out(MAX_UNITS, OFF_BOARD);
  int i = 0;
  for (const char* n : names) out[size_t(i++)] = (n[1] - '1') * 8 + (n[0] - 'a');
  return out;
}

struct TempDir {
  std::string path;
  TempDir() {
    char pattern[] = "/tmp/tbgen_test.XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

// The 3-man tables, made once for the tests that need them.
const TableSet& threeMen() {
  static TableSet* set = [] {
    auto* s = new TableSet;
    std::string error;
    for (const std::string& name : generationOrder(3)) EXPECT_TRUE(generate(name, *s, 2, nullptr, &error)) << error;
    return s;
  }();
  return *set;
}

// An engine position built from the generator's squares.
struct EngineBoard {
  BoardTables tables{};
  Position position{};
  UndoRecord records[MAX_PLY]{};
  EngineBoard() {
    initBitScanTables();
    initBoardTables(&tables);
    initSlidingAttacks();
    initHashKeys(&tables);
  }
  void set(const Ending& e, const int* sq, int epSquare) {
    int board[64] = {};
    for (int u = 0; u < e.units; ++u) board[sq[u]] = e.kind[u] + (e.colour[u] ? 6 : 0);
    records[0] = UndoRecord{};
    records[0].enPassant = epSquare >= 0 ? bit(epSquare) : 0;
    rebuildPosition(board, &position, &records[0], &tables);
  }
  // Legal moves that keep the material: no capture (en passant included), no promotion.
  std::vector<Move> quiet(int stm) {
    Move list[MAX_MOVES];
    const int n = generateLegalMoves(stm == 0 ? WHITE : BLACK, 0, list, &position, records, &tables);
    std::vector<Move> out;
    for (int i = 0; i < n; ++i) {
      const Move m = list[i];
      const bool pawnCapture = (movePiece(m) == WHITE_PAWN || movePiece(m) == BLACK_PAWN) &&
                               (moveFrom(m) & 7) != (moveTo(m) & 7);
      if (!moveCaptured(m) && !movePromotion(m) && !pawnCapture) out.push_back(m);
    }
    return out;
  }
};

// A random legal position of the ending (the stored image) with stm to move.
void randomPosition(const Ending& e, uint64_t* seed, int stm, int* sq) {
  do {
    *seed = *seed * 6364136223846793005ull + 1442695040888963407ull;
  } while (!decodeIndex(e, (*seed >> 11) % e.size, sq) || !legalFor(e, sq, stm));
}

}  // namespace

TEST(TbgenValues, DistancesMapToStoredValuesAndBytes) {
  // Mate in 1 is one ply; a checkmated position stores -32766, the lowest one-byte value,
  // and a loss is the negated win one move later.
  EXPECT_EQ(storedValue(known(1)), 32766);
  EXPECT_EQ(storedValue(known(0)), -32766);
  EXPECT_EQ(storedValue(known(2)), -32765);
  EXPECT_EQ(storedValue(known(3)), 32765);
  EXPECT_EQ(storedValue(0), 0);
  int8_t b = 0;
  ASSERT_TRUE(byteOfStored(32766, &b));
  EXPECT_EQ(b, 126);
  ASSERT_TRUE(byteOfStored(-32766, &b));
  EXPECT_EQ(b, -126);
  ASSERT_TRUE(byteOfStored(storedValue(known(253)), &b));  // mate in 127
  EXPECT_EQ(b, -128);
  ASSERT_TRUE(byteOfStored(storedValue(known(252)), &b));  // loss, stored -32767 + 127
  EXPECT_EQ(b, -127);
  EXPECT_FALSE(byteOfStored(storedValue(known(254)), &b));  // one move too long
  for (int plies = 0; plies <= 253; ++plies) {
    const int stored = storedValue(known(plies));
    ASSERT_TRUE(byteOfStored(stored, &b)) << plies;
    EXPECT_EQ(storedOfByte(b), stored) << plies;
    EXPECT_EQ(stateOfStored(stored), known(plies));
    // The probe's score translation, read back as plies.
    const int score = stored > 0 ? 2 * stored - 35534 : 2 * stored + 35532;
    const PlyValue v = plyValueOfScore(score);
    EXPECT_EQ(v.plies, plies);
    EXPECT_EQ(v.kind, plies % 2 ? 1 : -1);
  }
  EXPECT_EQ(storedOfByte(FILLER_BYTE), STORED_UNKNOWN);
  // What tbprobe prints for the probe's scores.
  EXPECT_EQ(valueText(2 * 32766 - 35534), "mate in 1");
  EXPECT_EQ(valueText(2 * -32766 + 35532), "mated in 0");
  EXPECT_EQ(valueText(2 * storedValue(known(6)) + 35532), "mated in 3");
  EXPECT_EQ(valueText(0), "draw");
  EXPECT_EQ(stateOfStored(STORED_UNKNOWN), ST_INVALID);
}

TEST(TbgenIndex, EveryImageOfAPositionHasOneIndex) {
  initGeometry();
  for (const char* name : {"kqkr", "knnk", "kbbkn", "kpkp", "krpkp"}) {
    Ending e;
    std::string error;
    ASSERT_TRUE(parseEnding(name, &e, &error)) << error;
    uint64_t seed = 12345, checked = 0, symmetric = 0;
    while (checked < 3000) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      int sq[MAX_UNITS] = {};
      uint64_t used = 0;
      bool ok = true;
      for (int u = 0; u < e.units; ++u) {
        sq[u] = int((seed >> (6 * u + 4)) & 63);
        ok = ok && !(used & bit(sq[u])) && (e.kind[u] != G_PAWN || (sq[u] > 7 && sq[u] < 56));
        used |= bit(sq[u]);
      }
      if (!ok || (geometry.king[sq[0]] & bit(sq[1]))) continue;
      ++checked;
      bool isSymmetric = false;
      int canon[MAX_UNITS];
      const uint64_t index = canonicalIndex(e, sq, canon, &isSymmetric);
      ASSERT_LT(index, e.size);
      int back[MAX_UNITS];
      ASSERT_TRUE(decodeIndex(e, index, back)) << name;
      for (int u = 0; u < e.units; ++u) EXPECT_EQ(back[u], canon[u]);
      int transposed = 0;
      for (int image = 1; image < (e.pawns ? 2 : 8); ++image) {
        int t[MAX_UNITS] = {};
        for (int u = 0; u < e.units; ++u) {
          const int s = sq[u] ^ (image & 1 ? 7 : 0) ^ (image & 2 ? 56 : 0);
          t[u] = image & 4 ? ((s & 7) << 3) | (s >> 3) : s;
        }
        EXPECT_EQ(canonicalIndex(e, t), index) << name << " image " << image;
        if (image == 4) transposed = std::equal(t, t + e.units, sq);
      }
      if (!e.pawns) symmetric += isSymmetric;
      if (!e.pawns && transposed) {
        EXPECT_TRUE(isSymmetric);
      }
    }
  }
  // A pawnless position on the diagonal that is its own transpose.
  Ending e;
  std::string error;
  ASSERT_TRUE(parseEnding("kqk", &e, &error));
  bool isSymmetric = false;
  canonicalIndex(e, squares({"b2", "d4", "g7"}).data(), nullptr, &isSymmetric);
  EXPECT_TRUE(isSymmetric);
  canonicalIndex(e, squares({"b2", "d4", "g6"}).data(), nullptr, &isSymmetric);
  EXPECT_FALSE(isSymmetric);
}

// The generator's own move routines against the engine's move generator: the number of
// moves that keep the material, and the predecessors, en-passant rules included.
TEST(TbgenMoves, ForwardCountsAndPredecessorsMatchTheEngine) {
  static EngineBoard board;
  initGeometry();
  for (const char* name : {"kqkr", "knnk", "kbkp", "kpkp", "kppk", "krpkp", "kppkp"}) {
    Ending e;
    std::string error;
    ASSERT_TRUE(parseEnding(name, &e, &error)) << error;
    uint64_t seed = 99;
    int epCases = 0;
    for (int round = 0; round < 400 || (e.bothPawns && epCases < 40 && round < 20000); ++round) {
      const int stm = round & 1;
      int sq[MAX_UNITS] = {};
      randomPosition(e, &seed, stm, sq);
      int pawns[MAX_MEN];
      const int eps = epPawns(e, sq, stm, pawns);
      if (round >= 400 && eps == 0) continue;
      epCases += eps > 0;
      // The position itself, and its en-passant twin when there is one.
      for (int variant = 0; variant <= (eps > 0); ++variant) {
        const int epPawn = variant ? pawns[0] : -1;
        const int epSquare = variant ? (stm == 0 ? epPawn + 8 : epPawn - 8) : -1;
        board.set(e, sq, epSquare);
        ASSERT_EQ(quietMoves(e, sq, stm, epSquare), int(board.quiet(stm).size())) << name << " round " << round;

        // Every position from which a quiet move of the other side leads here: any unit
        // of that side put back on any empty square, kept when legal and the engine's
        // moves there include the step. A double step beside a pawn of the side to move
        // leads to the en-passant position instead.
        std::vector<std::vector<int>> want;
        const int mover = stm ^ 1;
        for (int u = 0; u < e.units; ++u) {
          if (e.colour[u] != mover) continue;
          for (int from = 0; from < 64; ++from) {
            if (occupancyOf(e, sq) & bit(from)) continue;
            if (e.kind[u] == G_PAWN && (from < 8 || from > 55)) continue;
            int p[MAX_UNITS] = {};
            copyUnits(p, sq);
            p[u] = from;
            if (!legalFor(e, p, mover)) continue;
            board.set(e, p, -1);
            bool leads = false;
            for (Move m : board.quiet(mover)) leads = leads || (moveFrom(m) == from && moveTo(m) == sq[u]);
            if (!leads) continue;
            const bool doubleStep = e.kind[u] == G_PAWN && (from - sq[u] == 16 || sq[u] - from == 16);
            const bool epAfter = doubleStep && std::find(pawns, pawns + eps, sq[u]) != pawns + eps;
            if (variant ? (doubleStep && sq[u] == epPawn) : !epAfter) want.emplace_back(p, p + e.units);
          }
        }
        std::vector<std::vector<int>> got = predecessors(e, sq, stm, epPawn);
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
        ASSERT_EQ(got, want) << name << " round " << round << " variant " << variant;
      }
    }
    if (e.bothPawns) {
      EXPECT_GE(epCases, 40) << name;
    }
  }
}

TEST(TbgenEndings, NamesSubEndingsAndOrder) {
  Ending e;
  std::string error;
  EXPECT_FALSE(parseEnding("krkq", &e, &error));  // the stronger side comes first
  EXPECT_NE(error.find("kqkr"), std::string::npos);
  EXPECT_FALSE(parseEnding("kqrkrr", &e, &error));  // six men
  ASSERT_TRUE(parseEnding("krpkp", &e, &error));
  EXPECT_TRUE(e.bothPawns);
  const std::vector<std::string> subs = subEndings(e);
  for (const char* want : {"kpkp", "krkp", "krpk", "kqrkp", "krrkp", "krbkp", "krnkp", "krpkq", "krpkr", "krpkb", "krpkn"})
    EXPECT_NE(std::find(subs.begin(), subs.end(), want), subs.end()) << want;
  // Every ending of up to four men follows the endings it leads to.
  const std::vector<std::string> order = generationOrder(4);
  EXPECT_EQ(order.size(), 35u);
  for (size_t i = 0; i < order.size(); ++i) {
    ASSERT_TRUE(parseEnding(order[i], &e, &error)) << error;
    for (const std::string& sub : subEndings(e)) {
      const auto at = std::find(order.begin(), order.end(), sub);
      ASSERT_NE(at, order.end()) << sub;
      EXPECT_LT(size_t(at - order.begin()), i) << order[i] << " before " << sub;
    }
  }
}

TEST(TbgenAnalysis, ThreeManFactsAndMissingSubTables) {
  const TableSet& set = threeMen();
  struct Longest {
    const char* name;
    int moves;
  };
  for (Longest l : {Longest{"kqk", 10}, Longest{"krk", 16}, Longest{"kpk", 28}, Longest{"knk", 0}, Longest{"kbk", 0}}) {
    int longest = 0;
    for (uint16_t s : set.at(l.name)->state[0])
      if (kindOfState(s) == V_WIN) longest = std::max(longest, (pliesOfState(s) + 1) / 2);
    EXPECT_EQ(longest, l.moves) << l.name;
  }
  const Table& kqk = *set.at("kqk");
  // Black checkmated, stalemated, and mated next move; White to move with Black in
  // check cannot occur.
  EXPECT_EQ(lookupState(kqk, squares({"b6", "a8", "b7"}).data(), 1), known(0));
  EXPECT_EQ(lookupState(kqk, squares({"a1", "a8", "b6"}).data(), 1), 0);
  EXPECT_EQ(lookupState(kqk, squares({"b6", "a8", "c7"}).data(), 0), known(1));
  EXPECT_EQ(lookupState(kqk, squares({"b6", "a8", "c8"}).data(), 0), ST_INVALID);
  // A pawn that cannot be stopped, the same with a rook pawn held by the king in front.
  const Table& kpk = *set.at("kpk");
  EXPECT_EQ(kindOfState(lookupState(kpk, squares({"a1", "h8", "e6"}).data(), 0)), V_WIN);
  EXPECT_EQ(kindOfState(lookupState(kpk, squares({"a6", "a8", "a5"}).data(), 0)), V_DRAW);

  TableSet empty;
  std::string error;
  EXPECT_FALSE(generate("kqkr", empty, 1, nullptr, &error));
  EXPECT_NE(error.find("first"), std::string::npos);
}

// Files written, read back, and checked through the engine's probe: sizes, the
// compressed form, registration, and every position against its moves.
// Damaged or missing tables of smaller endings are refused, not used.
TEST(TbgenFiles, BadSubTablesAreRefused) {
  TempDir dir;
  std::string error;
  std::vector<FileStats> fs;
  ASSERT_TRUE(writeTable(*threeMen().at("krk"), dir.path, false, &fs, &error)) << error;
  TableSet loaded;
  EXPECT_FALSE(loadTable("kqk", dir.path, loaded, &error));
  EXPECT_NE(error.find("no file of kqk"), std::string::npos) << error;

  const std::string file = plainPath(dir.path, "krk", 1);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(file, &bytes, &error));
  std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - 1);
  auto rewrite = [&](const std::vector<uint8_t>& b) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  };
  EXPECT_TRUE(tableFilesExist(dir.path, "krk"));
  rewrite(shorter);
  EXPECT_FALSE(tableFilesExist(dir.path, "krk"));  // made again by --all
  EXPECT_FALSE(loadTable("krk", dir.path, loaded, &error));
  EXPECT_NE(error.find("bytes"), std::string::npos) << error;

  // An entry of a legal position holding "unknown".
  const size_t legalEntry = size_t(std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 127; }) - bytes.begin());
  bytes[legalEntry] = 127;
  rewrite(bytes);
  EXPECT_FALSE(loadTable("krk", dir.path, loaded, &error));
  EXPECT_NE(error.find("no value for a legal position"), std::string::npos) << error;
  EXPECT_EQ(loaded.count("krk"), 0u);
}

TEST(TbgenFiles, WrittenTablesProbeConsistently) {
  TableSet set;
  for (const auto& [name, table] : threeMen()) set[name] = std::make_unique<Table>(*table);
  std::string error;
  for (const char* name : {"kbkb", "knnk"}) ASSERT_TRUE(generate(name, set, 2, nullptr, &error)) << error;
  TempDir plain, packed;
  for (const auto& [name, table] : set) {
    std::vector<FileStats> fs;
    ASSERT_TRUE(writeTable(*table, plain.path, false, &fs, &error)) << error;
    ASSERT_TRUE(writeTable(*table, packed.path, true, &fs, &error)) << error;
    const int ending = tbFindEnding(name.c_str());
    ASSERT_EQ(fs.size(), tbEndings[size_t(ending)].flags & TB_SYMMETRIC ? 1u : 2u);
    for (int side = 0; side < int(fs.size()); ++side) {
      EXPECT_EQ(fs[size_t(side)].conflicts + fs[size_t(side)].outOfRange + fs[size_t(side)].unstorable, 0u);
      EXPECT_EQ(std::filesystem::file_size(plainPath(plain.path, name, side)),
                tbEndings[size_t(ending)].entries[side]);
      std::vector<uint8_t> a, b;
      ASSERT_TRUE(readFileBytes(plainPath(plain.path, name, side), &a, &error)) << error;
      ASSERT_TRUE(readFileBytes(findFile(packed.path, name, side), &b, &error)) << error;
      EXPECT_EQ(a, b) << name;
      EXPECT_EQ(findFile(packed.path, name, side), plainPath(packed.path, name, side) + ".emd");
    }
    EXPECT_TRUE(tableFilesExist(packed.path, name));
  }
  // Read back from the compressed files: every legal position keeps its value.
  for (const char* name : {"kpk", "kbkb"}) {
    TableSet loaded;
    ASSERT_TRUE(loadTable(name, packed.path, loaded, &error)) << error;
    const Table& a = *set.at(name);
    const Table& b = *loaded.at(name);
    for (int stm = 0; stm < 2; ++stm)
      for (size_t i = 0; i < a.state[stm].size(); ++i) {
        const ValueKind k = kindOfState(a.state[stm][i]);
        ASSERT_EQ(k, kindOfState(b.state[stm][i])) << name << " " << i;
        if (k == V_WIN || k == V_LOSS) {
          ASSERT_EQ(a.state[stm][i], b.state[stm][i]);
        }
      }
  }

  // A file in the other form replaces the earlier one.
  std::vector<FileStats> fs;
  ASSERT_TRUE(writeTable(*set.at("kqk"), plain.path, true, &fs, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(plainPath(plain.path, "kqk", 0)));
  EXPECT_EQ(findFile(plain.path, "kqk", 1), plainPath(plain.path, "kqk", 1) + ".emd");

  ASSERT_EQ(tbInit(packed.path.c_str()), 4);
  static std::vector<uint8_t> cache(size_t(4) << 20);
  ASSERT_EQ(tbSetCache(cache.data(), cache.size()), 1);
  for (const std::string& name : generationOrder(3)) {
    VerifyStats s;
    EXPECT_TRUE(verifyEnding(name, 1, &s, &error)) << error;
    EXPECT_GT(s.positions, 40000u);
  }
  for (const char* name : {"kbkb", "knnk"}) {
    VerifyStats s;
    EXPECT_TRUE(verifyEnding(name, 211, &s, &error)) << error << (s.examples.empty() ? "" : s.examples[0]);
    EXPECT_GT(s.positions, 3000u);
  }
  tbInit("/nonexistent");
}
