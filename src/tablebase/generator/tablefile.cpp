#include "tablebase/generator/tablefile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/replacefile.h"
#include "tablebase/compress.h"
#include "tablebase/decode.h"
#include "tablebase/tablebase.h"

namespace tbgen {

int storedValue(uint16_t state) {
  switch (kindOfState(state)) {
    case V_WIN: return TB_MATE - (pliesOfState(state) + 1) / 2;
    case V_LOSS: return -TB_MATE + pliesOfState(state) / 2 + 1;
    default: return 0;
  }
}

uint16_t stateOfStored(int stored) {
  if (stored == STORED_UNKNOWN) return ST_INVALID;
  if (stored == 0) return 0;
  if (stored > 0) return uint16_t(ST_KNOWN | (2 * (TB_MATE - stored) - 1));
  return uint16_t(ST_KNOWN | (2 * (stored + TB_MATE - 1)));
}

bool byteOfStored(int stored, int8_t* code) {
  if (stored == 0) {
    *code = 0;
    return true;
  }
  const int m = stored > 0 ? TB_MATE - stored : stored + TB_MATE;
  if (m < 1 || m > TB_BYTE_MOVES) return false;
  if (stored > 0)
    *code = int8_t(m == TB_BYTE_MOVES ? TB_BYTE_WIN_127 : TB_BYTE_MOVES - m);
  else
    *code = int8_t(m == TB_BYTE_MOVES ? TB_BYTE_LOSS_127 : m - TB_BYTE_MOVES);
  return true;
}

namespace {

constexpr int kListOffset[G_KING + 1] = {0, PS_PAWN, PS_KNIGHT, PS_BISHOP, PS_ROOK, PS_QUEEN, PS_KING};

// The index functions' view of a position: each side's men by kind, ascending.
void pieceLists(const Ending& e, const int* sq, int first[PIECE_SQUARES_SIZE],
                int second[PIECE_SQUARES_SIZE]) {
  int* lists[2] = {first, second};
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < PIECE_SQUARES_SIZE; ++i) lists[c][i] = 0;
  int used[2][G_KING + 1] = {};
  for (int u = 0; u < e.units; ++u) {
    const int c = e.colour[u], k = e.kind[u];
    int* slot = lists[c] + kListOffset[k];
    int n = used[c][k]++;
    // Identical men come sorted from the index, but keep the lists right regardless.
    while (n > 0 && slot[n - 1] > sq[u]) {
      slot[n] = slot[n - 1];
      --n;
    }
    slot[n] = sq[u];
  }
}

// The board's symmetries: image 0..3 mirror files and ranks (XOR 0, 7, 56, 63), 4..7 do
// the same and transpose. Endings with pawns use images 0 and 1 only.
int imageOf(int sq, int image) {
  static constexpr int mask[4] = {0, 7, 56, 63};
  const int s = sq ^ mask[image & 3];
  return image & 4 ? ((s & 7) << 3) | (s >> 3) : s;
}

int endingIndexOf(const std::string& name, std::string* error) {
  const int ending = tbFindEnding(name.c_str());
  if (ending == 0) *error = name + " is not an ending the engine knows";
  return ending;
}

const char* extension(int tbSide) { return tbSide ? ".nbb" : ".nbw"; }

// Written under a temporary name first: an interrupted run leaves no short file that
// the engine would take for a damaged table.
bool writeWhole(const std::string& path, const uint8_t* data, size_t size, std::string* error) {
  ReplacementFile out;
  if (!beginReplacement(path.c_str(), &out)) {
    *error = "cannot write " + path + REPLACEMENT_SUFFIX + ": " + std::strerror(errno);
    return false;
  }
  if (std::fwrite(data, 1, size, out.file) != size) {
    *error = "cannot write " + path + REPLACEMENT_SUFFIX + ": " + std::strerror(errno);
    abandonReplacement(&out);
    return false;
  }
  if (!commitReplacement(&out)) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::vector<std::string> candidates(const std::string& dir, const std::string& name, int tbSide) {
  const std::string base = plainPath(dir, name, tbSide);
  const std::string stem = dir.empty() ? name : dir + "/" + name;
  const std::string ext = extension(tbSide) + 1;  // without the period
  return {base, base + ".emd", stem + "_" + ext + ".emd", stem + ext + ".emd"};
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

namespace {

// The entries of one file being filled: every legal position writes its value into the
// entries its images number.
struct FileLayout {
  const Ending& e;
  const EndingRecord& record;
  size_t width;  // bytes per entry
  std::vector<uint8_t>& bytes;
  std::vector<uint8_t> written;
  FileStats s;

  FileLayout(const Ending& ending, const EndingRecord& r, int tbSide, std::vector<uint8_t>* out)
      : e(ending), record(r), width(r.flags & TB_WIDE ? 2 : 1), bytes(*out) {
    s.entries = record.entries[tbSide];
    bytes.assign(s.entries * width, uint8_t(FILLER_BYTE));
    if (width == 2)
      for (uint64_t i = 0; i < s.entries; ++i) bytes[2 * i] = 0xFF;  // 32767, little-endian
    written.assign(s.entries, 0);
  }

  void putEntry(uint64_t entry, uint16_t state) {
    if (entry >= s.entries) {
      ++s.outOfRange;
      return;
    }
    const int stored = storedValue(state);
    uint8_t code[2];
    if (width == 2) {
      code[0] = uint8_t(stored & 255);
      code[1] = uint8_t((stored >> 8) & 255);
    } else {
      int8_t b;
      if (!byteOfStored(stored, &b)) {
        ++s.unstorable;
        b = FILLER_BYTE;
      }
      code[0] = uint8_t(b);
    }
    uint8_t* at = bytes.data() + entry * width;
    if (written[entry]) {
      if (std::memcmp(at, code, width) != 0) ++s.conflicts;
      return;
    }
    written[entry] = 1;
    std::memcpy(at, code, width);
  }

  // The index functions bring the king of the side to move to one square of each group
  // of symmetric squares; only when it stands on a long diagonal can two images of a
  // pawnless position keep entries of their own (with both kings on the diagonal the
  // transpose is decided by the other king alone). Those positions are numbered in all
  // eight images.
  void put(int stm, const int* sq, int epSquare, uint16_t state) {
    ++s.positions;
    const int k = sq[stm], f = k & 7, r = k >> 3;
    const int imageCount = e.pawns || (f != r && f + r != 7) ? 1 : 8;
    uint64_t done[8];
    int n = 0;
    for (int image = 0; image < imageCount; ++image) {
      int img[MAX_UNITS];
      for (int u = 0; u < e.units; ++u) img[u] = imageOf(sq[u], image);
      int first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE];
      pieceLists(e, img, first, second);
      const int ep = epSquare < 0 ? TB_NO_EN_PASSANT : imageOf(epSquare, image);
      const uint64_t entry = record.indexFunction[stm](first, second, ep, 0);
      if (std::find(done, done + n, entry) != done + n) continue;
      done[n++] = entry;
      putEntry(entry, state);
    }
  }
};

}  // namespace

bool layoutFile(const Table& t, int tbSide, std::vector<uint8_t>* bytes, FileStats* stats,
                std::string* error) {
  const Ending& e = t.ending;
  const int ending = endingIndexOf(e.name, error);
  if (!ending) return false;
  tbInitIndexTables();
  const EndingRecord& record = tbEndings[size_t(ending)];
  FileLayout file(e, record, tbSide, bytes);

  // A symmetric ending's one file takes the positions of both sides to move.
  const int sides[2] = {tbSide, 1};
  const int sideCount = record.flags & TB_SYMMETRIC ? 2 : 1;
  int sq[MAX_UNITS];
  for (uint64_t index = 0; index < e.size; ++index) {
    if (!decodeIndex(e, index, sq)) continue;
    for (int i = 0; i < sideCount; ++i) {
      const uint16_t state = t.state[sides[i]][index];
      if (state != ST_INVALID) file.put(sides[i], sq, -1, state);
    }
  }
  for (int i = 0; i < sideCount; ++i) {
    const int stm = sides[i];
    const EpNodes& ep = t.ep[stm];
    for (size_t slot = 0; slot < ep.key.size(); ++slot) {
      decodeIndex(e, ep.key[slot] >> 6, sq);
      const int pawn = int(ep.key[slot] & 63);
      file.put(stm, sq, stm == 0 ? pawn + 8 : pawn - 8, ep.state[slot]);
    }
  }
  FileStats& s = file.s;
  for (uint8_t w : file.written) s.filled += !w;
  *stats = s;
  if (s.conflicts || s.outOfRange) {
    *error = e.name + extension(tbSide) + ": " + std::to_string(s.conflicts) +
             " entries reached by positions of different values, " + std::to_string(s.outOfRange) +
             " positions numbered past the end";
    return false;
  }
  return true;
}

std::string plainPath(const std::string& dir, const std::string& name, int tbSide) {
  return (dir.empty() ? name : dir + "/" + name) + extension(tbSide);
}

std::string findFile(const std::string& dir, const std::string& name, int tbSide) {
  for (const std::string& path : candidates(dir, name, tbSide))
    if (fileExists(path)) return path;
  return "";
}

namespace {

// Does the file hold as many plain bytes as the ending's entries take? Compressed files
// are judged by their header and must reach to the end of their last block.
bool fileComplete(const std::string& path, uint64_t plainBytes) {
  const bool packed = path.size() > 4 && path.compare(path.size() - 4, 4, ".emd") == 0;
  if (!packed) {
    std::error_code ec;
    return std::filesystem::file_size(path, ec) == plainBytes && !ec;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  tb::CompressedTable* table = nullptr;
  bool ok = tb::openCompressed(f, &table) == 0;
  if (ok) {
    std::error_code ec;
    ok = uint64_t(table->blocks - 1) * table->blockSize + table->lastBlockSize == plainBytes &&
         std::filesystem::file_size(path, ec) == table->offsets[table->blocks] && !ec;
    tb::freeCompressed(table);
  }
  std::fclose(f);
  return ok;
}

}  // namespace

bool tableFilesExist(const std::string& dir, const std::string& name) {
  const int ending = tbFindEnding(name.c_str());
  if (!ending) return false;
  const EndingRecord& record = tbEndings[size_t(ending)];
  const bool symmetric = record.flags & TB_SYMMETRIC;
  for (int side = 0; side < (symmetric ? 1 : 2); ++side) {
    const std::string path = findFile(dir, name, side);
    if (path.empty() || !fileComplete(path, record.entries[side] * (record.flags & TB_WIDE ? 2 : 1))) return false;
  }
  return true;
}

void removePartFiles(const std::string& dir, const std::string& name) {
  for (int side = 0; side < 2; ++side)
    for (const std::string& path : candidates(dir, name, side)) std::remove((path + REPLACEMENT_SUFFIX).c_str());
}

bool writeTable(const Table& t, const std::string& dir, bool compress, std::vector<FileStats>* stats,
                std::string* error) {
  const int ending = endingIndexOf(t.ending.name, error);
  if (!ending) return false;
  tbInitIndexTables();
  const int files = tbEndings[size_t(ending)].flags & TB_SYMMETRIC ? 1 : 2;
  // The two files are laid out and compressed side by side.
  FileStats s[2];
  std::string errors[2];
  bool ok[2] = {true, true};
  auto make = [&](int side) {
    std::vector<uint8_t> bytes;
    if (!layoutFile(t, side, &bytes, &s[side], &errors[side])) {
      ok[side] = false;
      return;
    }
    const std::vector<std::string> names = candidates(dir, t.ending.name, side);
    std::string path = names[0];
    if (compress) {
      path = names[1];
      tb::CompressStats cs;
      std::vector<uint8_t> packed = tb::compressBytes(bytes.data(), bytes.size(), &cs);
      if (packed.empty()) {
        errors[side] = "cannot compress " + path;
        ok[side] = false;
        return;
      }
      bytes.swap(packed);
    }
    if (!writeWhole(path, bytes.data(), bytes.size(), &errors[side])) {
      ok[side] = false;
      return;
    }
    for (const std::string& other : names)
      if (other != path) std::remove(other.c_str());
    s[side].bytes = bytes.size();
  };
  if (files == 2) {
    std::thread second(make, 1);
    make(0);
    second.join();
  } else {
    make(0);
  }
  stats->assign(s, s + files);
  for (int side = 0; side < files; ++side)
    if (!ok[side]) {
      *error = errors[side];
      return false;
    }
  return true;
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open " + path;
    return false;
  }
  bool ok = true;
  const bool packed = path.size() > 4 && path.compare(path.size() - 4, 4, ".emd") == 0;
  if (!packed) {
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    bytes->resize(size_t(std::max(size, 0L)));
    ok = size >= 0 && std::fread(bytes->data(), 1, bytes->size(), f) == bytes->size();
    if (!ok) *error = "cannot read " + path;
  } else {
    tb::CompressedTable* table = nullptr;
    const int err = tb::openCompressed(f, &table);
    if (err != 0) {
      *error = path + ": not a compressed tablebase file (error " + std::to_string(err) + ")";
      ok = false;
    } else {
      const uint64_t total = uint64_t(table->blocks - 1) * table->blockSize + table->lastBlockSize;
      bytes->resize(total);
      std::vector<uint8_t> out(table->blockSize + 64), in(table->blockSize);
      for (uint32_t b = 0; ok && b < table->blocks; ++b) {
        const int r = tb::decodeBlock(table, f, b, out.data(), in.data(), uint32_t(in.size()));
        if (r != 0) {
          *error = path + ": block " + std::to_string(b) + " does not decode";
          ok = false;
          break;
        }
        const uint64_t at = uint64_t(b) * table->blockSize;
        std::memcpy(bytes->data() + at, out.data(), size_t(std::min<uint64_t>(table->blockSize, total - at)));
      }
      tb::freeCompressed(table);
    }
  }
  std::fclose(f);
  return ok;
}

std::vector<std::string> generationOrder(int men) {
  auto menOf = [](const std::string& n) { return int(n.size()); };  // the k's count as men
  auto pawnsOf = [](const std::string& n) { return int(std::count(n.begin(), n.end(), 'p')); };
  std::vector<std::string> out;
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    if (menOf(tbEndings[size_t(e)].name) <= men) out.push_back(tbEndings[size_t(e)].name);
  // A capture removes a man, a promotion a pawn.
  std::stable_sort(out.begin(), out.end(), [&](const std::string& a, const std::string& b) {
    if (menOf(a) != menOf(b)) return menOf(a) < menOf(b);
    return pawnsOf(a) < pawnsOf(b);
  });
  return out;
}

namespace {

void fillCodeStates(Table* t) {
  for (int b = 0; b < 256; ++b) t->codeState[b] = stateOfStored(tbStoredOfByte(int8_t(uint8_t(b))));
}

// Splits [0, n) among threads.
template <class F>
void splitRange(int threads, uint64_t n, F&& body) {
  threads = std::max(1, threads);
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) pool.emplace_back(body, n * uint64_t(i) / uint64_t(threads), n * uint64_t(i + 1) / uint64_t(threads), i);
  body(uint64_t(0), n / uint64_t(threads), 0);
  for (auto& th : pool) th.join();
}

}  // namespace

bool loadTable(const std::string& name, const std::string& dir, TableSet& done, std::string* error, int sides,
               int threads) {
  initGeometry();
  tbInitIndexTables();
  const auto found = done.find(name);
  std::unique_ptr<Table> fresh;
  Table* table = found != done.end() ? found->second.get() : nullptr;
  if (!table) {
    fresh = std::make_unique<Table>();
    if (!parseEnding(name, &fresh->ending, error)) return false;
    fillCodeStates(fresh.get());
    table = fresh.get();
  }
  const int ending = endingIndexOf(name, error);
  if (!ending) return false;
  const EndingRecord& record = tbEndings[size_t(ending)];
  const bool symmetric = record.flags & TB_SYMMETRIC;
  const bool wide = record.flags & TB_WIDE;
  std::vector<uint8_t> data[2];
  std::string path[2];
  int wanted = 0;  // sides to read
  for (int stm = 0; stm < 2; ++stm)
    if ((sides >> stm & 1) && !hasSide(*table, stm)) wanted |= 1 << stm;
  if (!wanted) return true;
  for (int stm = 0; stm < 2; ++stm) {
    const int slot = symmetric ? 0 : stm;
    if (!(wanted >> stm & 1) || !path[slot].empty()) continue;
    path[slot] = findFile(dir, name, slot);
    if (path[slot].empty()) {
      *error = "no file of " + name + " for " + (slot ? "the second" : "the first") + " side to move in " +
               (dir.empty() ? "." : dir);
      return false;
    }
    if (!readFileBytes(path[slot], &data[slot], error)) return false;
    if (data[slot].size() != record.entries[slot] * (wide ? 2 : 1)) {
      *error = path[slot] + " has " + std::to_string(data[slot].size()) + " bytes, not " +
               std::to_string(record.entries[slot] * (wide ? 2 : 1));
      return false;
    }
  }
  const Ending& e = table->ending;
  for (int stm = 0; stm < 2; ++stm)
    if (wanted >> stm & 1) table->code[stm].assign(e.size, FILLER_BYTE);
  std::vector<std::string> errors(size_t(std::max(1, threads)));
  splitRange(threads, e.size, [&](uint64_t begin, uint64_t end, int id) {
    int sq[MAX_UNITS], first[PIECE_SQUARES_SIZE], second[PIECE_SQUARES_SIZE];
    for (uint64_t index = begin; index < end; ++index) {
      if (!decodeIndex(e, index, sq)) continue;
      pieceLists(e, sq, first, second);
      for (int stm = 0; stm < 2; ++stm) {
        if (!(wanted >> stm & 1) || !legalFor(e, sq, stm)) continue;
        const int slot = symmetric ? 0 : stm;
        const uint64_t entry = record.indexFunction[stm](first, second, TB_NO_EN_PASSANT, 0);
        int stored = STORED_UNKNOWN;
        if (entry < record.entries[slot]) {
          const uint8_t* at = data[slot].data() + entry * (wide ? 2 : 1);
          stored = wide ? int(int8_t(at[1])) * 256 + at[0] : tbStoredOfByte(int8_t(at[0]));
        }
        int8_t code = FILLER_BYTE;
        if (stored == STORED_UNKNOWN || !byteOfStored(stored, &code)) {
          errors[size_t(id)] = path[slot] + (stored == STORED_UNKNOWN ? " has no value for a legal position (entry "
                                                                      : " has a value past 127 moves (entry ") +
                               std::to_string(entry) + ")";
          return;
        }
        table->code[stm][index] = code;
      }
    }
  });
  for (const std::string& x : errors)
    if (!x.empty()) {
      *error = x;
      for (int stm = 0; stm < 2; ++stm)
        if (wanted >> stm & 1) std::vector<int8_t>().swap(table->code[stm]);
      return false;
    }
  if (fresh) done[name] = std::move(fresh);
  return true;
}

bool compactTable(Table* t, int sides) {
  if (t->state[0].empty() && t->state[1].empty()) {
    dropSides(t, sides);
    return true;
  }
  std::vector<int8_t> code[2];
  for (int stm = 0; stm < 2; ++stm) {
    if (!(sides >> stm & 1)) continue;
    code[stm].resize(t->state[stm].size());
    for (size_t i = 0; i < code[stm].size(); ++i) {
      const uint16_t v = t->state[stm][i];
      code[stm][i] = FILLER_BYTE;
      if (v != ST_INVALID && !byteOfStored(storedValue(v), &code[stm][i])) return false;
    }
  }
  fillCodeStates(t);
  for (int stm = 0; stm < 2; ++stm) {
    t->code[stm].swap(code[stm]);
    std::vector<uint16_t>().swap(t->state[stm]);
    t->ep[stm] = EpNodes();
  }
  return true;
}

void dropSides(Table* t, int sides) {
  for (int stm = 0; stm < 2; ++stm)
    if (!(sides >> stm & 1)) std::vector<int8_t>().swap(t->code[stm]);
}

uint64_t tableBytes(const Table& t) {
  uint64_t bytes = 0;
  for (int side = 0; side < 2; ++side)
    bytes += t.state[side].size() * sizeof(uint16_t) + t.code[side].size() + t.ep[side].key.size() * 24;
  return bytes;
}

}  // namespace tbgen
