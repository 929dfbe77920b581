#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "board/position.h"
#include "tablebase/generator/ending.h"
#include "tablebase/generator/generate.h"
#include "tablebase/generator/tablefile.h"
#include "tablebase/generator/verify.h"
#include "tablebase/tablebase.h"
#include "tablebase/tb_test_util.h"

using namespace tbgen;

namespace {

uint16_t known(int plies) { return uint16_t(ST_KNOWN | plies); }

Ending parsed(const char* name) {
  Ending e;
  std::string error;
  EXPECT_TRUE(parseEnding(name, &e, &error)) << error;
  return e;
}

// The 3-man tables, made once for the tests that need them.
const TableSet& threeMen() {
  static TableSet* set = [] {
    auto* s = new TableSet;
    std::string error;
    for (const std::string& name : generationOrder(3))
      EXPECT_TRUE(generate(name, *s, 2, nullptr, &error)) << error;
    return s;
  }();
  return *set;
}

// The engine's legal moves that keep the material (no capture, en passant included, and
// no promotion), for the generator's squares.
std::vector<Move> quietEngineMoves(const Ending& e, const int* sq, int epSquare, int stm) {
  int board[64] = {};
  for (int u = 0; u < e.units; ++u) board[sq[u]] = e.kind[u] + (e.colour[u] ? 6 : 0);
  std::vector<Move> out;
  for (Move m : tbtest::engineBoard(board, stm == 0 ? WHITE : BLACK, epSquare).legalMoves()) {
    const bool pawn = movePiece(m) == WHITE_PAWN || movePiece(m) == BLACK_PAWN;
    if (!moveCaptured(m) && !movePromotion(m) && !(pawn && (moveFrom(m) & 7) != (moveTo(m) & 7)))
      out.push_back(m);
  }
  return out;
}

}  // namespace

TEST(TbgenValues, DistancesMapToStoredValuesBytesAndScores) {
  // Mate in 1 (one ply) codes as 126; a checkmated position (0 plies) stores -32766, the
  // lowest one-byte value, and a loss is the negated win one move later.
  int8_t b = 0;
  const struct {
    int plies, code;
  } codes[] = {{1, 126}, {0, -126}, {253, -128}, {252, -127}};  // mate in 127; loss -32767 + 127
  for (const auto& c : codes) {
    ASSERT_TRUE(byteOfStored(storedValue(known(c.plies)), &b));
    EXPECT_EQ(b, c.code) << c.plies;
  }
  EXPECT_FALSE(byteOfStored(storedValue(known(254)), &b));  // one move too long
  for (int plies = 0; plies <= 253; ++plies) {
    const int stored = storedValue(known(plies));
    ASSERT_TRUE(byteOfStored(stored, &b)) << plies;
    EXPECT_EQ(tbStoredOfByte(b), stored) << plies;
    EXPECT_EQ(stateOfStored(stored), known(plies));
    const PlyValue v =
        plyValueOfScore(stored > 0 ? 2 * stored - 35534 : 2 * stored + 35532);  // the probe's score
    EXPECT_EQ(v.plies, plies);
    EXPECT_EQ(v.kind, plies % 2 ? 1 : -1);
  }
  EXPECT_EQ(tbStoredOfByte(FILLER_BYTE), STORED_UNKNOWN);
  // What tbprobe prints for the probe's scores.
  EXPECT_EQ(valueText(2 * 32766 - 35534), "mate in 1");
  EXPECT_EQ(valueText(2 * storedValue(known(6)) + 35532), "mated in 3");
}

// The generator's own move routines against the engine's move generator: the number of
// moves that keep the material, and the predecessors, en-passant rules included.
TEST(TbgenMoves, ForwardCountsAndPredecessorsMatchTheEngine) {
  initGeometry();
  for (const char* name : {"kqkr", "knnk", "kbkp", "kpkp", "kppk", "krpkp", "kppkp"}) {
    const Ending e = parsed(name);
    uint64_t seed = 99;
    int epCases = 0;
    for (int round = 0; round < 400 || (e.bothPawns && epCases < 40 && round < 20000); ++round) {
      const int stm = round & 1;
      int sq[MAX_UNITS] = {}, pawns[MAX_MEN];
      do seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      while (!decodeIndex(e, (seed >> 11) % e.size, sq) || !legalFor(e, sq, stm));
      const int eps = epPawns(e, sq, stm, pawns);
      if (round >= 400 && eps == 0) continue;
      epCases += eps > 0;
      // The position itself, and its en-passant twin when there is one.
      for (int variant = 0; variant <= (eps > 0); ++variant) {
        const int epPawn = variant ? pawns[0] : -1;
        const int epSquare = variant ? (stm == 0 ? epPawn + 8 : epPawn - 8) : -1;
        ASSERT_EQ(quietMoves(e, sq, stm, epSquare),
                  int(quietEngineMoves(e, sq, epSquare, stm).size()))
            << name << " " << round;
        // Every position from which a quiet move of the other side leads here: any unit
        // of that side put back on any empty square, kept when legal and the engine's
        // moves there include the step. A double step beside a pawn of the side to move
        // leads to the en-passant position instead.
        std::vector<std::vector<int>> want;
        const int mover = stm ^ 1;
        for (int u = 0; u < e.units; ++u)
          for (int from = 0; from < 64 && e.colour[u] == mover; ++from) {
            if ((occupancyOf(e, sq) & bit(from)) ||
                (e.kind[u] == G_PAWN && (from < 8 || from > 55)))
              continue;
            int p[MAX_UNITS] = {};
            copyUnits(p, sq);
            p[u] = from;
            if (!legalFor(e, p, mover)) continue;
            const std::vector<Move> moves = quietEngineMoves(e, p, -1, mover);
            if (std::none_of(moves.begin(), moves.end(),
                             [&](Move m) { return moveFrom(m) == from && moveTo(m) == sq[u]; }))
              continue;
            const bool doubleStep =
                e.kind[u] == G_PAWN && (from - sq[u] == 16 || sq[u] - from == 16);
            const bool epAfter = doubleStep && std::find(pawns, pawns + eps, sq[u]) != pawns + eps;
            if (variant ? (doubleStep && sq[u] == epPawn) : !epAfter)
              want.emplace_back(p, p + e.units);
          }
        std::vector<std::vector<int>> got = predecessors(e, sq, stm, epPawn);
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
        ASSERT_EQ(got, want) << name << " round " << round << " variant " << variant;
      }
    }
    EXPECT_TRUE(!e.bothPawns || epCases >= 40) << name;
  }
}

// Captures and promotions lead to endings generated earlier.
TEST(TbgenEndings, SubEndingsComeFirst) {
  std::vector<std::string> subs;
  for (const SubEnding& s : subEndings(parsed("krpkp"))) subs.push_back(s.name);
  for (const char* want : {"kpkp", "krkp", "krpk", "kqrkp", "krrkp", "krbkp", "krnkp", "krpkq",
                           "krpkr", "krpkb", "krpkn"})
    EXPECT_NE(std::find(subs.begin(), subs.end(), want), subs.end()) << want;
  const std::vector<std::string> order = generationOrder(4);
  EXPECT_EQ(order.size(), 35u);
  for (size_t i = 0; i < order.size(); ++i)
    for (const SubEnding& sub : subEndings(parsed(order[i].c_str())))
      EXPECT_LT(std::find(order.begin(), order.end(), sub.name) - order.begin(), long(i))
          << order[i] << " before " << sub.name;
}

TEST(TbgenAnalysis, ThreeManFacts) {
  const TableSet& set = threeMen();
  const std::pair<const char*, int> longestWins[] = {
      {"kqk", 10}, {"krk", 16}, {"kpk", 28}, {"knk", 0}, {"kbk", 0}};
  for (const auto& [name, moves] : longestWins) {
    int longest = 0;
    for (uint16_t s : set.at(name)->state[0])
      if (kindOfState(s) == V_WIN) longest = std::max(longest, (pliesOfState(s) + 1) / 2);
    EXPECT_EQ(longest, moves) << name;
  }
  TableSet empty;
  std::string error;
  EXPECT_FALSE(generate("kqkr", empty, 1, nullptr, &error));  // its smaller endings are missing
}

// Tables written plain and compressed: sizes are the entries, both forms hold the same
// bytes, they read back as tables of smaller endings (short or damaged files are refused),
// and through the engine's probe path every position's value is the best over its moves.
TEST(TbgenFiles, WrittenTablesProbeConsistently) {
  TableSet set;
  for (const auto& [name, table] : threeMen()) set[name] = std::make_unique<Table>(*table);
  std::string error;
  for (const char* name : {"kbkb", "knnk"})
    ASSERT_TRUE(generate(name, set, 2, nullptr, &error)) << error;
  ScratchDir plainDir, packedDir;
  const std::string plain = plainDir.path.string(), packed = packedDir.path.string();
  for (const auto& [name, table] : set) {
    std::vector<FileStats> fs;
    ASSERT_TRUE(writeTable(*table, plain, false, &fs, &error)) << error;
    ASSERT_TRUE(writeTable(*table, packed, true, &fs, &error)) << error;
    const EndingRecord& record = tbEndings[size_t(tbFindEnding(name.c_str()))];
    ASSERT_EQ(fs.size(), record.flags & TB_SYMMETRIC ? 1u : 2u);
    for (int side = 0; side < int(fs.size()); ++side) {
      EXPECT_EQ(
          fs[size_t(side)].conflicts + fs[size_t(side)].outOfRange + fs[size_t(side)].unstorable,
          0u);
      EXPECT_EQ(std::filesystem::file_size(plainPath(plain, name, side)),
                record.entries[side]);
      std::vector<uint8_t> a, b;
      ASSERT_TRUE(readFileBytes(plainPath(plain, name, side), &a, &error)) << error;
      ASSERT_TRUE(readFileBytes(findFile(packed, name, side), &b, &error)) << error;
      EXPECT_EQ(a, b) << name;
    }
  }
  TableSet loaded;
  ASSERT_TRUE(loadTable("kbkb", packed, loaded, &error)) << error;
  for (int stm = 0; stm < 2; ++stm)
    for (size_t i = 0; i < set.at("kbkb")->state[stm].size(); ++i) {
      const uint16_t a = set.at("kbkb")->state[stm][i], b = stateAt(*loaded.at("kbkb"), stm, i);
      ASSERT_TRUE(kindOfState(a) == kindOfState(b) && (kindOfState(a) == V_DRAW || a == b)) << i;
    }
  const std::string krk = plainPath(plain, "krk", 1);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(krk, &bytes, &error));
  tbtest::writeFile(krk, std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
  EXPECT_FALSE(tableFilesExist(plain, "krk"));  // made again by --all
  EXPECT_FALSE(loadTable("krk", plain, loaded, &error));
  *std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 127; }) = 127;
  tbtest::writeFile(krk, bytes);  // a legal position without a value
  EXPECT_FALSE(loadTable("krk", plain, loaded, &error));
  EXPECT_NE(error.find("no value for a legal position"), std::string::npos) << error;

  ASSERT_EQ(tbInit(packed.c_str()), 4);
  static std::vector<uint8_t> cache(size_t(4) << 20);
  ASSERT_EQ(tbSetCache(cache.data(), cache.size()), 1);
  for (const std::string& name : generationOrder(3)) {
    VerifyStats s;
    EXPECT_TRUE(verifyEnding(name, 1, &s, &error)) << error;
    EXPECT_GT(s.positions, 40000u);
  }
  for (const char* name : {"kbkb", "knnk"}) {
    VerifyStats s;
    EXPECT_TRUE(verifyEnding(name, 211, &s, &error))
        << error << (s.examples.empty() ? "" : s.examples[0]);
    EXPECT_GT(s.positions, 3000u);
  }
  tbSetCache(nullptr, 0);
  tbInit(nullptr);
}

// Tables kept for larger endings hold only the sides to move that captures and
// promotions reach: kpk's promotions leave the bare king to move, and kpk made from
// files read that way is the kpk made from whole tables. A side that is not there is
// refused, not read.
TEST(TbgenFiles, SmallerTablesHoldOnlyTheSidesRead) {
  std::vector<SubEnding> subs = subEndings(parsed("kpk"));
  ASSERT_EQ(subs.size(), 4u);
  for (const SubEnding& s : subs) EXPECT_EQ(s.sides, 2) << s.name;  // the second side to move
  // The knights' side is to move after every move of the pawn's side; it is the second
  // side of knnk (it took the pawn) and of kqkn, krkn, kbkn (the pawn took a knight and
  // promoted), not of knkn, where the two sides are alike.
  const std::map<std::string, int> knnkp = {{"knnk", 2}, {"knkp", 1}, {"knnkq", 1}, {"knnkr", 1}, {"knnkb", 1},
                                            {"knnkn", 1}, {"kqkn", 2}, {"krkn", 2}, {"kbkn", 2}, {"knkn", 1}};
  std::map<std::string, int> got;
  for (const SubEnding& s : subEndings(parsed("knnkp"))) got[s.name] = s.sides;
  EXPECT_EQ(got, knnkp);
  ScratchDir dirHolder;
  const std::string dir = dirHolder.path.string();
  std::string error;
  std::vector<FileStats> fs;
  for (const auto& [name, table] : threeMen()) ASSERT_TRUE(writeTable(*table, dir, true, &fs, &error)) << error;
  TableSet loaded;
  for (const SubEnding& s : subs) ASSERT_TRUE(loadTable(s.name, dir, loaded, &error, s.sides, 2)) << error;
  EXPECT_TRUE(loaded.at("kqk")->code[0].empty());
  EXPECT_EQ(loaded.at("kqk")->code[1].size(), loaded.at("kqk")->ending.size);
  ASSERT_TRUE(generate("kpk", loaded, 2, nullptr, &error)) << error;
  EXPECT_EQ(loaded.at("kpk")->state[0], threeMen().at("kpk")->state[0]);
  EXPECT_EQ(loaded.at("kpk")->state[1], threeMen().at("kpk")->state[1]);

  // A kept table brought into the compact form reads the same.
  Table compact = *threeMen().at("kpk");
  ASSERT_TRUE(compactTable(&compact, BOTH_SIDES));
  EXPECT_TRUE(compact.state[0].empty());
  for (int stm = 0; stm < 2; ++stm)
    for (uint64_t i = 0; i < compact.ending.size; ++i) {
      const uint16_t a = threeMen().at("kpk")->state[stm][i], b = stateAt(compact, stm, i);
      ASSERT_TRUE(kindOfState(a) == kindOfState(b) && (kindOfState(a) == V_DRAW || a == b)) << i;
    }

  TableSet wrongSide;
  for (const SubEnding& s : subs) ASSERT_TRUE(loadTable(s.name, dir, wrongSide, &error, 1)) << error;
  EXPECT_FALSE(generate("kpk", wrongSide, 1, nullptr, &error));
  EXPECT_NE(error.find("second side to move"), std::string::npos) << error;
}
