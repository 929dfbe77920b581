// The analysis runs by distance: level L holds the positions decided at L plies to
// mate. A position lost in L makes every predecessor a win in L + 1; a position won in
// L takes one move off each predecessor's count of moves not yet known to lose, and a
// predecessor whose count reaches zero is lost. Captures and promotions are looked up
// once, at the start, in the smaller tables: a quickest win through them is queued for
// its level, and a drawn or winning one keeps the position from ever being lost.
//
// Symmetric images: the index keeps one image of each position, so counts are kept in
// units of images. A pawnless position has 8 images, or 4 when it is its own transpose;
// its count starts at moves x images/4 and every backward step from a child takes off
// the child's images/4. (Moves from one position into the child's images and backward
// steps from the child into the position's images are then counted alike.)
#include "tablebase/generator/generate.h"

#include "tablebase/generator/moves.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace tbgen {

namespace {

constexpr uint16_t PHANTOM = 0x1000;  // a move that never loses: keeps the count above 0
constexpr uint64_t EP_KEY = uint64_t(1) << 63;

// Everything a thread collects while it works on a share of one step.
struct Lists {
  std::vector<uint64_t> next[2];
  std::vector<std::vector<uint64_t>> pending[2];  // by level
  void queue(int stm, int level, uint64_t key) {
    auto& p = pending[stm];
    if (p.size() <= size_t(level)) p.resize(size_t(level) + 1);
    p[size_t(level)].push_back(key);
  }
};

template <typename F>
void parallelFor(int threads, uint64_t n, uint64_t chunk, F&& body) {
  std::atomic<uint64_t> nextChunk{0};
  auto work = [&](int id) {
    for (;;) {
      const uint64_t begin = nextChunk.fetch_add(chunk);
      if (begin >= n) return;
      body(begin, std::min(n, begin + chunk), id);
    }
  };
  if (threads <= 1) {
    work(0);
    return;
  }
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) pool.emplace_back(work, i);
  work(0);
  for (auto& th : pool) th.join();
}

struct Analysis {
  Table& t;
  const Ending& e;
  int threads;
  std::vector<Lists> lists;
  std::vector<std::vector<uint64_t>> pending[2];
  std::vector<uint64_t> current[2];
  bool grouped[MAX_UNITS] = {};  // one of identical men

  uint16_t& stateOf(int stm, uint64_t key) {
    return (key & EP_KEY) ? t.ep[stm].state[key & ~EP_KEY] : t.state[stm][key];
  }

  // Squares of a node, and the en-passant details of an en-passant node.
  // Returns the index of the position (without the en-passant detail).
  uint64_t squaresOf(int stm, uint64_t key, int* sq, int* epPawn, int* epSquare) {
    *epPawn = *epSquare = -1;
    uint64_t index = key;
    if (key & EP_KEY) {
      const uint64_t k = t.ep[stm].key[key & ~EP_KEY];
      index = k >> 6;
      *epPawn = int(k & 63);
      *epSquare = *epPawn - pawnStep(stm ^ 1);
    }
    decodeIndex(e, index, sq);
    return index;
  }

  // The en-passant positions that share the men of a position (side to move stm).
  template <typename F>
  void forEachEpVariant(int stm, uint64_t index, const int* canon, F&& f) {
    int pawns[MAX_MEN];
    const int n = epPawns(e, canon, stm, pawns);
    for (int i = 0; i < n; ++i) {
      const auto it = t.ep[stm].slot.find(index << 6 | uint64_t(pawns[i]));
      if (it != t.ep[stm].slot.end()) f(EP_KEY | it->second);
    }
  }

  void initNode(int stm, uint64_t key, const int* sq, int epSquare, Lists& out) {
    Summary s;
    summarise(t, sq, stm, epSquare, &s);
    uint16_t& st = stateOf(stm, key);
    if (s.legal == 0) {
      if (s.check) {
        st = ST_KNOWN;
        out.next[stm].push_back(key);
      } else {
        st = 0;  // stalemate: stays undecided, a draw
      }
      return;
    }
    const int weight = weightOf(e, sq);
    int count = s.quiet * weight;
    if (s.holds || s.bestWin != NO_WIN) count += PHANTOM;
    st = uint16_t(count);
    if (s.bestWin != NO_WIN)
      out.queue(stm, s.bestWin, key);
    else if (count == 0)
      out.queue(stm, s.slowestLoss, key);
  }

  void collect() {
    for (auto& l : lists)
      for (int stm = 0; stm < 2; ++stm) {
        current[stm].insert(current[stm].end(), l.next[stm].begin(), l.next[stm].end());
        l.next[stm].clear();
        auto& p = pending[stm];
        if (p.size() < l.pending[stm].size()) p.resize(l.pending[stm].size());
        for (size_t level = 0; level < l.pending[stm].size(); ++level) {
          p[level].insert(p[level].end(), l.pending[stm][level].begin(), l.pending[stm][level].end());
        }
        l.pending[stm].clear();
      }
  }

  void findEpNodes() {
    for (int stm = 0; stm < 2; ++stm) {
      EpNodes& ep = t.ep[stm];
      int sq[MAX_UNITS];
      for (uint64_t index = 0; index < e.size; ++index) {
        if (t.state[stm][index] == ST_INVALID || !decodeIndex(e, index, sq)) continue;
        int pawns[MAX_MEN];
        const int n = epPawns(e, sq, stm, pawns);
        for (int i = 0; i < n; ++i) {
          const uint64_t k = index << 6 | uint64_t(pawns[i]);
          ep.slot.emplace(k, uint32_t(ep.key.size()));
          ep.key.push_back(k);
        }
      }
      ep.state.assign(ep.key.size(), ST_INVALID);
    }
  }

  void initialise() {
    parallelFor(threads, e.size, 1 << 14, [&](uint64_t begin, uint64_t end, int id) {
      int sq[MAX_UNITS];
      for (uint64_t index = begin; index < end; ++index) {
        if (!decodeIndex(e, index, sq)) {
          t.state[0][index] = t.state[1][index] = ST_INVALID;
          continue;
        }
        for (int stm = 0; stm < 2; ++stm) {
          if (!legalFor(e, sq, stm))
            t.state[stm][index] = ST_INVALID;
          else
            initNode(stm, index, sq, -1, lists[size_t(id)]);
        }
      }
    });
    if (e.bothPawns) {
      findEpNodes();
      for (int stm = 0; stm < 2; ++stm)
        parallelFor(threads, t.ep[stm].key.size(), 1 << 10, [&](uint64_t begin, uint64_t end, int id) {
          int sq[MAX_UNITS], epPawn, epSquare;
          for (uint64_t slot = begin; slot < end; ++slot) {
            squaresOf(stm, EP_KEY | slot, sq, &epPawn, &epSquare);
            initNode(stm, EP_KEY | slot, sq, epSquare, lists[size_t(id)]);
          }
        });
    }
    collect();
  }

  // One backward step from a position decided at level (a win or a loss) to a
  // predecessor key with side to move stm.
  void touch(int stm, uint64_t key, int level, int weight, Lists& out) {
    std::atomic_ref<uint16_t> st(stateOf(stm, key));
    uint16_t v = st.load(std::memory_order_relaxed);
    if (level % 2 == 0) {  // the child loses: a win in level + 1
      while (!(v & ST_KNOWN)) {
        if (st.compare_exchange_weak(v, uint16_t(ST_KNOWN | (level + 1)), std::memory_order_relaxed)) {
          out.next[stm].push_back(key);
          return;
        }
      }
      return;
    }
    // The child wins: one more move known to lose.
    for (;;) {
      if (v & ST_KNOWN) return;
      if (v < weight) return;  // counted out already (cannot happen with exact counts)
      const uint16_t w = uint16_t(v - weight);
      if (st.compare_exchange_weak(v, w, std::memory_order_relaxed)) {
        if (w != 0) return;
        break;
      }
    }
    int sq[MAX_UNITS], epPawn, epSquare;
    squaresOf(stm, key, sq, &epPawn, &epSquare);
    Summary s;
    summarise(t, sq, stm, epSquare, &s);
    const int loss = std::max(level + 1, s.slowestLoss);
    if (loss == level + 1) {
      uint16_t zero = 0;
      if (st.compare_exchange_strong(zero, uint16_t(ST_KNOWN | loss), std::memory_order_relaxed))
        out.next[stm].push_back(key);
    } else {
      out.queue(stm, loss, key);
    }
  }

  void step(int level) {
    for (int stm = 0; stm < 2; ++stm) {
      const std::vector<uint64_t>& nodes = current[stm];
      parallelFor(threads, nodes.size(), 256, [&](uint64_t begin, uint64_t end, int id) {
        Lists& out = lists[size_t(id)];
        int sq[MAX_UNITS], canon[MAX_UNITS], epPawn, epSquare;
        // The predecessors of a few positions are gathered and prefetched before they
        // are touched: the states are scattered over memory.
        constexpr int BATCH = 8;
        uint64_t keys[BATCH * 256];
        int weights[BATCH * 256];
        for (uint64_t first = begin; first < end; first += BATCH) {
          int n = 0;
          for (uint64_t i = first; i < std::min(end, first + BATCH); ++i) {
            const uint64_t base = squaresOf(stm, nodes[i], sq, &epPawn, &epSquare);
            const int weight = weightOf(e, sq);
            // While the first king stays, a move of a unit that is not one of identical
            // men keeps the stored image (unless the king is on the diagonal of a
            // pawnless position): the index then changes in that unit's digit only.
            const bool sameImage = e.pawns || (sq[0] >> 3) != (sq[0] & 7);
            forEachUnmove(e, sq, stm, epPawn, [&](int u, int from, const int* p) {
              uint64_t index;
              const int* image = p;
              if (u != 0 && sameImage && !grouped[u]) {
                const int shift = 6 * (e.units - 1 - u);
                index = base - (uint64_t(sq[u]) << shift) + (uint64_t(from) << shift);
              } else {
                index = canonicalIndex(e, p, canon);
                image = canon;
              }
              __builtin_prefetch(&t.state[stm ^ 1][index]);
              weights[n] = weight;
              keys[n++] = index;
              if (e.bothPawns)
                forEachEpVariant(stm ^ 1, index, image, [&](uint64_t k) {
                  weights[n] = weight;
                  keys[n++] = k;
                });
            });
          }
          for (int k = 0; k < n; ++k) touch(stm ^ 1, keys[k], level, weights[k], out);
        }
      });
    }
  }

  void run() {
    initialise();
    for (int level = 0;; ++level) {
      // Positions queued for this level that nothing decided earlier.
      for (int stm = 0; stm < 2; ++stm) {
        if (size_t(level) >= pending[stm].size()) continue;
        for (uint64_t key : pending[stm][size_t(level)]) {
          uint16_t& st = stateOf(stm, key);
          if (!(st & ST_KNOWN)) {
            st = uint16_t(ST_KNOWN | level);
            current[stm].push_back(key);
          }
        }
        std::vector<uint64_t>().swap(pending[stm][size_t(level)]);
      }
      const bool more = size_t(level) + 1 < std::max(pending[0].size(), pending[1].size());
      if (current[0].empty() && current[1].empty() && !more) break;
      // In index order neighbouring positions share predecessors and cache lines.
      for (auto& c : current) std::sort(c.begin(), c.end());
      step(level);
      current[0].clear();
      current[1].clear();
      collect();
    }
  }
};

// Every way the ending can leave itself: a capture (unit captured, -1 for none) and/or a
// promotion (unit promoted, -1 for none, to kind k; with a capture, of the other side's
// man). f gets the kinds of the men that stay, the kind each unit has afterwards, and the
// material name (swap: colours exchanged in it); bare kings are skipped. f returns false
// to stop. M is an Ending or a Material.
template <class M, class F>
bool forEachConversion(const M& e, F&& f) {
  for (int captured = -1; captured < e.units; ++captured) {
    if (captured == 0 || captured == 1) continue;
    for (int promoted = -1; promoted < e.units; ++promoted) {
      if (promoted >= 0 && (e.kind[promoted] != G_PAWN || promoted == captured)) continue;
      if (captured < 0 && promoted < 0) continue;
      if (captured >= 0 && promoted >= 0 && e.colour[captured] == e.colour[promoted]) continue;
      for (int k = promoted >= 0 ? G_KNIGHT : 0; k <= (promoted >= 0 ? G_QUEEN : 0); ++k) {
        int kinds[2][MAX_NAMED_MEN], n[2] = {0, 0}, kindOf[MAX_NAMED_UNITS];
        for (int u = 0; u < e.units; ++u) {
          kindOf[u] = u == promoted ? k : e.kind[u];
          if (u >= 2 && u != captured) kinds[e.colour[u]][n[e.colour[u]]++] = kindOf[u];
        }
        if (n[0] + n[1] == 0) continue;  // bare kings
        bool swap = false;
        const std::string name = materialName(kinds[0], n[0], kinds[1], n[1], &swap);
        if (!f(captured, promoted, k, kindOf, name, swap)) return false;
      }
    }
  }
  return true;
}

// The side to move, in the sub-ending's colours, after a conversion: the side that did
// not move (the promoting one, or the one that captures).
template <class M>
int sideAfter(const M& e, int captured, int promoted, bool swap) {
  const int mover = promoted >= 0 ? e.colour[promoted] : e.colour[captured] ^ 1;
  return (mover ^ 1) ^ int(swap);
}

template <class M>
std::vector<SubEnding> subEndingsOf(const M& e) {
  std::vector<SubEnding> out;
  forEachConversion(e, [&](int captured, int promoted, int, const int*, const std::string& name, bool swap) {
    const int side = sideAfter(e, captured, promoted, swap);
    auto it = std::find_if(out.begin(), out.end(), [&](const SubEnding& s) { return s.name == name; });
    if (it == out.end()) it = out.insert(out.end(), SubEnding{name, 0});
    it->sides |= 1 << side;
    return true;
  });
  return out;
}

}  // namespace

std::vector<SubEnding> subEndings(const Ending& e) { return subEndingsOf(e); }
std::vector<SubEnding> subEndings(const Material& m) { return subEndingsOf(m); }

namespace {

bool linkExits(Table& t, const TableSet& done, std::string* error) {
  const Ending& e = t.ending;
  return forEachConversion(e, [&](int captured, int promoted, int k, const int* kindOf,
                                  const std::string& name, bool swap) {
    const auto it = done.find(name);
    if (it == done.end()) {
      *error = e.name + " needs the table of " + name + " first";
      return false;
    }
    const int toMove = sideAfter(e, captured, promoted, swap);
    if (!hasSide(*it->second, toMove)) {
      *error = e.name + " needs the table of " + name + " with its " + (toMove ? "second" : "first") + " side to move";
      return false;
    }
    ExitLink& link = t.exits[captured + 1][promoted + 1][k];
    link.table = it->second.get();
    link.swap = swap;
    const Ending& sub = link.table->ending;
    bool used[MAX_UNITS] = {};
    for (int v = 0; v < sub.units; ++v) {
      const int side = sub.colour[v] ^ int(swap);
      for (int u = 0; u < e.units; ++u) {
        if (used[u] || u == captured || e.colour[u] != side || kindOf[u] != sub.kind[v]) continue;
        used[u] = true;
        link.source[v] = int8_t(u);
        break;
      }
    }
    return true;
  });
}

}  // namespace

bool generate(const std::string& name, TableSet& done, int threads, GenStats* stats,
              std::string* error) {
  initGeometry();
  const auto start = std::chrono::steady_clock::now();
  auto table = std::make_unique<Table>();
  if (!parseEnding(name, &table->ending, error)) return false;
  if (!linkExits(*table, done, error)) return false;
  const Ending& e = table->ending;
  table->state[0].resize(e.size);
  table->state[1].resize(e.size);
  threads = std::max(1, threads);
  Analysis a{*table, e, threads, std::vector<Lists>(size_t(threads)), {}, {}, {}};
  for (int u = 2; u < e.units; ++u)
    a.grouped[u] = e.sameAsPrevious[u] || (u + 1 < e.units && e.sameAsPrevious[u + 1]);
  a.run();

  GenStats s;
  for (int stm = 0; stm < 2; ++stm) {
    auto count = [&](uint16_t v) {
      switch (kindOfState(v)) {
        case V_WIN:
          ++s.wins[stm];
          s.longestWin[stm] = std::max(s.longestWin[stm], pliesOfState(v));
          break;
        case V_LOSS:
          ++s.losses[stm];
          s.longestLoss[stm] = std::max(s.longestLoss[stm], pliesOfState(v));
          break;
        case V_DRAW: ++s.draws[stm]; break;
        default: break;
      }
    };
    for (uint16_t v : table->state[stm]) count(v);
    for (uint16_t v : table->ep[stm].state) count(v);
    s.epPositions += table->ep[stm].key.size();
  }
  s.bytes = 2 * e.size * sizeof(uint16_t) + s.epPositions * 24;
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (stats) *stats = s;
  done[name] = std::move(table);
  return true;
}

}  // namespace tbgen
