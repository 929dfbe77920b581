// The face of the tablebases towards the engine: registration of a directory list, the
// material registry, and the probe with its score translation.
#include <cstring>
#include <string>
#include <string_view>

#include "board/bitboard.h"
#include "tablebase/endings.h"
#include "tablebase/files.h"
#include "tablebase/tablebase.h"

namespace {

// Material registry: every combination of at most four non-king men, ranked in the
// order of MaterialCounts, maps to a signed ending index. The ranking walks one count per
// level with the remaining budget, like a tree of nested arrays, without the pointers.
constexpr int REGISTRY_MEN = 4;
constexpr int REGISTRY_LEAVES = 1001;  // tuples of ten counts with sum <= 4: C(14, 4)

struct RegistryRanks {
  // prefix[level][budget][count]: leaves in the subtrees of counts below `count`.
  uint16_t prefix[MATERIAL_COUNTS_SIZE][REGISTRY_MEN + 1][REGISTRY_MEN + 1];
};

constexpr uint32_t leavesBelow(int level, int budget) {  // tuples for levels level..9
  uint32_t r = 1;  // C(10 - level + budget, budget)
  for (int i = 1; i <= budget; ++i) r = r * uint32_t(MATERIAL_COUNTS_SIZE - level + i) / uint32_t(i);
  return r;
}

constexpr RegistryRanks makeRanks() {
  RegistryRanks t{};
  for (int level = 0; level < MATERIAL_COUNTS_SIZE; ++level)
    for (int budget = 0; budget <= REGISTRY_MEN; ++budget) {
      uint32_t sum = 0;
      for (int c = 0; c <= budget; ++c) {
        t.prefix[level][budget][c] = uint16_t(sum);
        sum += leavesBelow(level + 1, budget - c);
      }
    }
  return t;
}

constexpr RegistryRanks kRanks = makeRanks();
static_assert(leavesBelow(0, REGISTRY_MEN) == REGISTRY_LEAVES);

int16_t gRegistry[REGISTRY_LEAVES];

// Leaf of a material, or -1 when the registry does not admit it.
int registryLeaf(const int counts[MATERIAL_COUNTS_SIZE]) {
  int budget = REGISTRY_MEN, rank = 0;
  for (int level = 0; level < MATERIAL_COUNTS_SIZE; ++level) {
    const int c = counts[level];
    if (c < 0 || c > budget) return -1;
    rank += kRanks.prefix[level][budget][c];
    budget -= c;
  }
  return rank;
}

// The kings count: "kqkr" has four men.
int menOfEnding(int ending) { return ending > 0 ? int(std::strlen(kEndingData[ending].name)) : 0; }

// Fills up to three squares of a kind from a bitboard, lowest first.
inline void listSquares(Bitboard b, int* out) {
  for (int i = 0; b && i < 3; ++i) {
    out[i] = firstOne(b);
    b &= b - 1;
  }
}

void buildList(const Position* p, bool white, int* list) {
  listSquares(white ? p->whitePawns : p->blackPawns, list + PS_PAWN);
  listSquares(white ? p->whiteKnights : p->blackKnights, list + PS_KNIGHT);
  listSquares(white ? p->whiteBishops : p->blackBishops, list + PS_BISHOP);
  listSquares(white ? p->whiteRooks : p->blackRooks, list + PS_ROOK);
  listSquares(white ? p->whiteQueens : p->blackQueens, list + PS_QUEEN);
  list[PS_KING] = int(white ? p->whiteKingSquare : p->blackKingSquare);
}

// kppkp with the second side to move: seven positions lie beyond the reach of one-byte
// entries (the loss against a mate in 128 moves).
constexpr int KPPKP = 36;
static_assert(std::string_view(kEndingData[KPPKP].name) == "kppkp");
constexpr int KPPKP_LONG_LOSS = -TB_MATE + TB_BYTE_MOVES + 1;
constexpr uint32_t kKppkpLongLosses[7] = {56802428, 56811076, 56849992, 56858640,
                                         59592489, 67775659, 71071628};

}  // namespace

bool tbRegistryAdd(int ending) {
  int counts[MATERIAL_COUNTS_SIZE];
  tbCountsOfName(tbEndings[size_t(ending)].name, counts);
  const int leaf = registryLeaf(counts);
  if (leaf < 0) return false;
  gRegistry[leaf] = int16_t(ending);
  if (!(tbEndings[size_t(ending)].flags & TB_SYMMETRIC)) {
    int swapped[MATERIAL_COUNTS_SIZE];
    for (int i = 0; i < 5; ++i) {
      swapped[i] = counts[i + 5];
      swapped[i + 5] = counts[i];
    }
    gRegistry[registryLeaf(swapped)] = int16_t(-ending);
  }
  return true;
}

int tbLookupMaterial(const int counts[MATERIAL_COUNTS_SIZE]) {
  const int leaf = registryLeaf(counts);
  return leaf < 0 ? 0 : gRegistry[leaf];
}

int tbInit(const char* paths) {
  tbInitIndexTables();
  tbReleaseFiles();
  int largest = 0;
  const std::string list = paths ? paths : "";
  size_t start = 0;
  for (;;) {
    size_t end = list.find_first_of(",;", start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    // Blanks around a name are separators' company, not part of a directory.
    const size_t first = dir.find_first_not_of(" \t");
    dir = first == std::string::npos ? "" : dir.substr(first, dir.find_last_not_of(" \t") - first + 1);
    for (int e = 1; e <= TB_ENDING_COUNT; ++e) {
      if (tbRegister(dir.c_str(), e, 0)) largest = e;
      if (!(tbEndings[size_t(e)].flags & TB_SYMMETRIC) && tbRegister(dir.c_str(), e, 1)) largest = e;
    }
    if (end == list.size()) break;
    start = end + 1;
  }
  if (tbCompressedRegistrations > 0) tbAllocateWorkspace();
  return menOfEnding(largest);
}

int tbSetCache(void* buffer, uint64_t bytes) { return tbCacheSetup(buffer, bytes); }

bool tbAvailable(int ending, int tbSide) {
  if (ending < 1 || ending > TB_ENDING_COUNT || tbSide < 0 || tbSide > 1) return false;
  const int slot = (tbEndings[size_t(ending)].flags & TB_SYMMETRIC) ? 0 : tbSide;
  return tbFiles[ending][slot].path != nullptr;
}

int tbValue(int ending, int tbSide, uint32_t entry) {
  const EndingRecord& e = tbEndings[size_t(ending)];
  const int slot = (e.flags & TB_SYMMETRIC) ? 0 : tbSide;
  if (tbCacheBlockCount() == 0 || !tbFiles[ending][slot].path) return TB_UNKNOWN;
  if (entry >= e.entries[slot]) return TB_UNKNOWN;  // a position that cannot arise
  if (ending == KPPKP && tbSide == 1)
    for (uint32_t special : kKppkpLongLosses)
      if (entry == special) return KPPKP_LONG_LOSS;
  if (e.flags & TB_WIDE) {
    const uint32_t block = entry / (TB_BLOCK_SIZE / 2);
    const int offset = int(entry % (TB_BLOCK_SIZE / 2)) * 2;
    const int low = tbCacheByte(ending, slot, block, offset);
    if (low == TB_UNKNOWN) return TB_UNKNOWN;
    const int high = tbCacheByte(ending, slot, block, offset + 1);
    if (high == TB_UNKNOWN) return TB_UNKNOWN;
    return high * 256 + (low & 255);
  }
  const int b = tbCacheByte(ending, slot, entry / TB_BLOCK_SIZE, int(entry % TB_BLOCK_SIZE));
  return b == TB_UNKNOWN ? TB_UNKNOWN : tbStoredOfByte(b);
}

int tbProbe(int side, int* score, const Position* position, const UndoRecord* plyRecord) {
  const Position* p = position;
  const int counts[MATERIAL_COUNTS_SIZE] = {
      popCount(p->whitePawns), popCount(p->whiteKnights), popCount(p->whiteBishops),
      popCount(p->whiteRooks), popCount(p->whiteQueens), popCount(p->blackPawns),
      popCount(p->blackKnights), popCount(p->blackBishops), popCount(p->blackRooks),
      popCount(p->blackQueens)};
  int ending = tbLookupMaterial(counts);
  if (ending == 0) return 0;
  int white[PIECE_SQUARES_SIZE], black[PIECE_SQUARES_SIZE];
  buildList(p, true, white);
  buildList(p, false, black);
  const int* first = white;
  const int* second = black;
  int tbSide = side == WHITE ? 0 : 1;
  int reflect = 0;
  if (ending < 0) {
    ending = -ending;
    first = black;
    second = white;
    tbSide ^= 1;
    reflect = 1;
  }
  if (!tbAvailable(ending, tbSide)) return 0;
  const int ep = plyRecord->enPassant ? firstOne(plyRecord->enPassant) : TB_NO_EN_PASSANT;
  const uint32_t entry = tbEndings[size_t(ending)].indexFunction[tbSide](first, second, ep, reflect);
  const int v = tbValue(ending, tbSide, entry);
  if (v == TB_UNKNOWN) return 0;
  // On the search's scale mate in m scores INFINITE_SCORE - 2m, the stored loss
  // -TB_MATE + m scores -INFINITE_SCORE + 2(m - 1).
  *score = v > 0 ? INFINITE_SCORE - 2 * (TB_MATE - v)
         : v < 0 ? -INFINITE_SCORE + 2 * (v + TB_MATE - 1)
                 : 0;
  return 1;
}
