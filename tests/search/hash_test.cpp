#include <gtest/gtest.h>

#include <vector>

#include "search/hash.h"

namespace {

struct Table {
  std::vector<HashEntry> white = std::vector<HashEntry>(16), black = std::vector<HashEntry>(16);
  HashTables tables{};
  Position position{};
  UndoRecord record{};
  Table() {
    tables.table[WHITE] = white.data();
    tables.table[BLACK] = black.data();
    position.hashMask = 15;
    record.hashKey = 0x123456789ABCDEF5ull;
  }
  HashEntry& bucket() { return white[record.hashKey & 15]; }
  void store(int depth, int score, int from = 12, int to = 28, int ply = 0, int side = WHITE) {
    hashStore(side, ply, depth, score, from, to, 0, HASH_EXACT, &record, &tables, &position);
  }
  struct Probe {
    int found, score, from, to, threat, flag;
  };
  Probe probe(int depth, int ply = 0, int side = WHITE) {
    Probe r{0, 0, 0, 0, 0, 0};
    r.found = hashProbe(side, ply, depth, &r.score, &r.from, &r.to, &r.threat, &r.flag, &record,
                        &tables, &position);
    return r;
  }
};

}  // namespace

TEST(Hash, ReplacementKeepsTheDeeperResults) {
  Table t;
  t.store(5, 10);
  const HashEntry before = t.bucket();
  t.store(3, 20);  // shallower: nothing changes, not even slot B
  EXPECT_EQ(t.bucket().dataA, before.dataA);
  EXPECT_EQ(t.bucket().keyB, 0u);

  t.store(5, 30);  // B (depth 0) is shallower than A: old A moves to B
  EXPECT_EQ(hashDataScore(t.bucket().dataA), 30);
  EXPECT_EQ(hashDataScore(t.bucket().dataB), 10);

  Table u;
  u.store(7, 70);
  u.store(7, 71);  // B now holds depth 7
  u.store(8, 80);
  u.store(8, 81);  // A depth 8 over A depth 8: B (7) is shallower, so A moves to B
  EXPECT_EQ(hashDataScore(u.bucket().dataB), 80);
  Table v;
  v.bucket().keyB = v.record.hashKey;
  v.bucket().dataB = packHashData(-5, 7, 1, 2, 0, HASH_LOWER);
  v.bucket().dataA = packHashData(1, 5, 3, 4, 0, HASH_EXACT);
  v.store(5, 55);  // B (7) is deeper than A (5): A is overwritten, B kept
  EXPECT_EQ(hashDataScore(v.bucket().dataA), 55);
  EXPECT_EQ(hashDataDepth(v.bucket().dataB), 7);
}

TEST(Hash, MateScoresCountFromTheNode) {
  Table t;
  t.store(4, 29990, 12, 28, 6);
  EXPECT_EQ(hashDataScore(t.bucket().dataA), 29996);
  EXPECT_EQ(t.probe(4, 4).score, 29992);
  t.store(4, -29990, 12, 28, 6);
  EXPECT_EQ(hashDataScore(t.bucket().dataA), -29996);
  EXPECT_EQ(t.probe(4, 4).score, -29992);
  t.store(4, 120, 12, 28, 6);  // ordinary scores are stored as they are
  EXPECT_EQ(t.probe(4, 4).score, 120);
}

TEST(Hash, ProbeGivesMovesAtAnyDepthAndScoresAtEnoughDepth) {
  Table t;
  t.store(2, 40, 12, 28);
  Table::Probe r = t.probe(4);
  EXPECT_EQ(r.found, 0);
  EXPECT_EQ(r.from, 12);
  EXPECT_EQ(r.to, 28);
  r = t.probe(2);
  EXPECT_EQ(r.found, 1);
  EXPECT_EQ(r.score, 40);
  EXPECT_EQ(r.flag, HASH_EXACT);

  // Slot B with the same key and enough depth answers with its own score and bound.
  t.bucket().keyB = t.record.hashKey;
  t.bucket().dataB = packHashData(-77, 6, 1, 9, 1, HASH_UPPER);
  r = t.probe(4);
  EXPECT_EQ(r.found, 1);
  EXPECT_EQ(r.score, -77);
  EXPECT_EQ(r.flag, HASH_UPPER);
  EXPECT_EQ(r.threat, 1);
  EXPECT_EQ(r.from, 12);  // A's squares came first
}

TEST(Hash, EachSideToMoveHasItsOwnTable) {
  Table t;
  t.store(3, 15, 12, 28, 0, WHITE);
  EXPECT_EQ(t.probe(1, 0, BLACK).found, 0);
  EXPECT_EQ(t.probe(1, 0, BLACK).from, 0);
  EXPECT_EQ(t.probe(1, 0, WHITE).found, 1);
  hashClear(&t.tables, &t.position);
  EXPECT_EQ(t.probe(0, 0, WHITE).found, 0);
}
