// tbgen: makes endgame tablebase files by retrograde analysis.
//
//   tbgen [options] NAME... DIR   analyse the endings and write their files into DIR
//   tbgen [options] --all N DIR   every ending of up to N men, smaller ones first
//   tbgen --verify [--stride S] NAME...|--all N DIR
//                                 check the files in DIR through the engine's probe
//   tbgen --plan N [--make [DIR]] the endings of up to N men in levels, or a makefile
//
// The tables of smaller endings that captures and promotions lead to are read from DIR
// (or kept from this run). --all and --missing skip the endings whose files are in DIR
// already.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tablebase/generator/generate.h"
#include "tablebase/generator/plan.h"
#include "tablebase/generator/tablefile.h"
#include "tablebase/generator/verify.h"
#include "tablebase/tablebase.h"

namespace {

struct Options {
  bool compress = false;
  bool force = false;
  bool quiet = false;
  bool verify = false;
  bool missing = false;  // names: only those whose files are not all in DIR
  bool makefile = false;
  int planMen = 0;
  uint64_t stride = 1;
  int threads = 0;
  int allMen = 0;
  uint64_t memoryBudget = uint64_t(8) << 30;  // tables kept for later endings
  std::vector<std::string> names;
  std::string dir;
};

void usage() {
  std::printf(
      "usage: tbgen [options] NAME... DIR    analyse endings (kqkr, krpkp, ...) into DIR\n"
      "       tbgen [options] --all N DIR    every ending of up to N men (3, 4 or 5), smaller first\n"
      "       tbgen --verify [--stride S] NAME...|--all N DIR\n"
      "                                      check every S-th position of the files in DIR against\n"
      "                                      its moves, probing through the engine\n"
      "       tbgen --plan N [--make [DIR]]  the endings of up to N men (3 to 6) in levels, each\n"
      "                                      needing only earlier ones; --make: a makefile for\n"
      "                                      make -j that makes them into DIR\n"
      "options:\n"
      "  -c, --compress    write compressed files (NAME.nbw.emd) instead of plain ones\n"
      "  -f, --force       with --all, make the endings whose files exist as well\n"
      "  --missing         with names, make only those whose files are not all in DIR\n"
      "  -t, --threads N   analysis threads (default: one per core)\n"
      "  -m, --memory MB   tables kept in memory for later endings (default 8192); the\n"
      "                    others are read back from DIR when needed\n"
      "  -q, --quiet       print only errors and the summary\n"
      "The tables of smaller endings are read from DIR; --all keeps those it makes.\n");
}

bool parseOptions(int argc, char** argv, Options* o) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-c" || a == "--compress") {
      o->compress = true;
    } else if (a == "-f" || a == "--force") {
      o->force = true;
    } else if (a == "-q" || a == "--quiet") {
      o->quiet = true;
    } else if (a == "--verify") {
      o->verify = true;
    } else if (a == "--missing") {
      o->missing = true;
    } else if (a == "--make") {
      o->makefile = true;
    } else if (a == "--plan" && i + 1 < argc) {
      o->planMen = std::atoi(argv[++i]);
    } else if (a == "--stride" && i + 1 < argc) {
      o->stride = std::strtoull(argv[++i], nullptr, 10);
    } else if ((a == "-m" || a == "--memory") && i + 1 < argc) {
      o->memoryBudget = std::strtoull(argv[++i], nullptr, 10) << 20;
    } else if ((a == "-t" || a == "--threads") && i + 1 < argc) {
      o->threads = std::atoi(argv[++i]);
    } else if (a == "--all" && i + 1 < argc) {
      o->allMen = std::atoi(argv[++i]);
      if (o->allMen < 3 || o->allMen > 5) {
        std::fprintf(stderr, "tbgen: --all takes 3, 4 or 5 men\n");
        return false;
      }
    } else if (a == "-h" || a == "--help") {
      return false;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "tbgen: unknown option %s\n", a.c_str());
      return false;
    } else {
      words.push_back(a);
    }
  }
  if (o->planMen) {
    if (words.size() > 1 || o->allMen || o->verify) return false;
    o->dir = words.empty() ? "tb" : words[0];
    return true;
  }
  if (o->makefile) return false;
  if (words.empty()) return false;
  o->dir = words.back();
  words.pop_back();
  o->names = words;
  if (o->allMen == 0 && o->names.empty()) return false;
  if (o->allMen != 0 && !o->names.empty()) {
    std::fprintf(stderr, "tbgen: give either --all N or ending names\n");
    return false;
  }
  return true;
}

// Every position of each ending is checked against its moves through tbProbe.
int verifyPlan(const Options& o, const std::vector<std::string>& plan) {
  if (tbInit(o.dir.c_str()) == 0) {
    std::fprintf(stderr, "tbgen: no tablebase files in %s\n", o.dir.c_str());
    return 1;
  }
  static std::vector<uint8_t> cache(size_t(512) << 20);
  tbSetCache(cache.data(), cache.size());
  int failed = 0;
  uint64_t positions = 0, successors = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& name : plan) {
    tbgen::VerifyStats s;
    std::string error;
    const bool ok = tbgen::verifyEnding(name, o.stride, &s, &error);
    positions += s.positions;
    successors += s.successors;
    std::printf("%-7s %s  %llu positions, %llu successors, %llu disagree, %llu not found, %.1f s\n", name.c_str(),
                ok ? "ok    " : "FAILED", (unsigned long long)s.positions, (unsigned long long)s.successors,
                (unsigned long long)s.mismatches, (unsigned long long)s.notFound, s.seconds);
    for (const std::string& x : s.examples) std::printf("        %s\n", x.c_str());
    std::fflush(stdout);
    failed += !ok;
  }
  std::printf("%zu endings checked, %d failed; %llu positions, %llu successors, %.1f s\n", plan.size(), failed,
              (unsigned long long)positions, (unsigned long long)successors,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return failed ? 1 : 0;
}

// What reading these sides of a table from its files adds: a byte per position and side.
uint64_t loadedBytes(const tbgen::SubEnding& sub, const tbgen::TableSet& done) {
  tbgen::Ending e;
  std::string error;
  if (!tbgen::parseEnding(sub.name, &e, &error)) return 0;
  const auto it = done.find(sub.name);
  uint64_t bytes = 0;
  for (int side = 0; side < 2; ++side)
    if ((sub.sides >> side & 1) && (it == done.end() || !tbgen::hasSide(*it->second, side))) bytes += e.size;
  return bytes;
}

double peakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_maxrss) / 1024.0;
}

// The process's high-water mark of resident memory since the last resetPeakResident()
// (Linux; 0 where /proc cannot tell). The run is long-lived, so each ending's own peak
// needs the mark reset at its start.
double peakResidentMegabytes() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  double kb = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::strtod(line + 6, nullptr);
  std::fclose(f);
  return kb / 1024.0;
}

void resetPeakResident() {
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);  // 5: reset the high-water mark to the current resident size
    std::fclose(f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parseOptions(argc, argv, &o)) {
    usage();
    return 2;
  }
  if (o.planMen) {
    tbgen::Levels levels;
    std::string error;
    if (!tbgen::planLevels(o.planMen, &levels, &error)) {
      std::fprintf(stderr, "tbgen: %s\n", error.c_str());
      return 2;
    }
    const std::string text = o.makefile ? tbgen::planMakefile(levels, o.dir) : tbgen::planText(levels);
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  if (o.threads <= 0) o.threads = int(std::max(1u, std::thread::hardware_concurrency()));
  if (o.verify) return verifyPlan(o, o.allMen ? tbgen::generationOrder(o.allMen) : o.names);
  std::error_code ec;
  std::filesystem::create_directories(o.dir, ec);
  if (!std::filesystem::is_directory(o.dir)) {
    std::fprintf(stderr, "tbgen: cannot use directory %s\n", o.dir.c_str());
    return 1;
  }

  const std::vector<std::string> plan = o.allMen ? tbgen::generationOrder(o.allMen) : o.names;
  // When a table can be dropped: after the last ending of the plan that needs it.
  std::vector<std::vector<tbgen::SubEnding>> needs(plan.size());
  for (size_t i = 0; i < plan.size(); ++i) {
    tbgen::Ending ending;
    std::string error;
    if (!tbgen::parseEnding(plan[i], &ending, &error)) {
      std::fprintf(stderr, "tbgen: %s\n", error.c_str());
      return 1;
    }
    if (!tbFindEnding(plan[i].c_str())) {
      std::fprintf(stderr, "tbgen: %s is not an ending the engine knows\n", plan[i].c_str());
      return 1;
    }
    needs[i] = tbgen::subEndings(ending);
  }

  const auto start = std::chrono::steady_clock::now();
  tbgen::TableSet done;
  uint64_t plainBytes = 0, diskBytes = 0;
  int made = 0, skipped = 0;
  auto sidesRead = [&](const std::string& table, size_t j) {
    for (const tbgen::SubEnding& sub : needs[j])
      if (sub.name == table) return sub.sides;
    return 0;
  };
  // When a table is needed next: the first ending of the plan from `from` on that needs it.
  auto nextUse = [&](const std::string& table, size_t from) {
    for (size_t j = from; j < plan.size(); ++j)
      if (sidesRead(table, j)) return j;
    return plan.size();
  };
  // The sides to move of a table that the endings from `from` on read.
  auto sidesNeeded = [&](const std::string& table, size_t from) {
    int sides = 0;
    for (size_t j = from; j < plan.size(); ++j) sides |= sidesRead(table, j);
    return sides;
  };
  // Drops the tables, and the sides of compact ones, that no ending from `from` on reads,
  // then, past the budget, the tables needed last (never those the ending at `from`
  // needs): they are read back from DIR when their turn comes.
  auto trimTables = [&](size_t from, uint64_t budget) {
    uint64_t kept = 0;
    for (auto it = done.begin(); it != done.end();) {
      const int sides = sidesNeeded(it->first, from);
      if (sides == 0) {
        it = done.erase(it);
      } else {
        if (it->second->state[0].empty() && it->second->state[1].empty()) tbgen::dropSides(it->second.get(), sides);
        kept += tbgen::tableBytes(*it->second);
        ++it;
      }
    }
    while (kept > budget && !done.empty()) {
      auto farthest = done.begin();
      for (auto it = done.begin(); it != done.end(); ++it)
        if (nextUse(it->first, from) > nextUse(farthest->first, from)) farthest = it;
      if (nextUse(farthest->first, from) == from) break;
      kept -= tbgen::tableBytes(*farthest->second);
      done.erase(farthest);
    }
  };
  for (size_t i = 0; i < plan.size(); ++i) {
    const std::string& name = plan[i];
    std::string error;
    // Files are written under NAME.part and renamed when complete: what an interrupted
    // run left of this ending is removed (only this ending's: other runs may be writing
    // theirs into DIR), and only whole files count as present.
    tbgen::removePartFiles(o.dir, name);
    if ((o.allMen || o.missing) && !o.force && tbgen::tableFilesExist(o.dir, name)) {
      ++skipped;
      continue;
    }
    resetPeakResident();
    const auto endingStart = std::chrono::steady_clock::now();
    // Make room for the tables this ending reads back before reading them.
    uint64_t incoming = 0;
    for (const tbgen::SubEnding& sub : needs[i]) incoming += loadedBytes(sub, done);
    trimTables(i, o.memoryBudget > incoming ? o.memoryBudget - incoming : 0);
    for (const tbgen::SubEnding& sub : needs[i]) {
      if (!tbgen::loadTable(sub.name, o.dir, done, &error, sub.sides, o.threads)) {
        std::fprintf(stderr, "tbgen: %s needs the table of %s: %s (tbgen --all %d %s makes every smaller ending)\n",
                     name.c_str(), sub.name.c_str(), error.c_str(), int(name.size()) - 1, o.dir.c_str());
        return 1;
      }
    }
    tbgen::GenStats gs;
    if (!tbgen::generate(name, done, o.threads, &gs, &error)) {
      std::fprintf(stderr, "tbgen: %s\n", error.c_str());
      return 1;
    }
    const auto writeStart = std::chrono::steady_clock::now();
    std::vector<tbgen::FileStats> fs;
    if (!tbgen::writeTable(*done[name], o.dir, o.compress, &fs, &error)) {
      std::fprintf(stderr, "tbgen: %s\n", error.c_str());
      return 1;
    }
    const double writeSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - writeStart).count();
    ++made;
    uint64_t endingDisk = 0;
    for (const auto& f : fs) {
      plainBytes += f.entries;
      diskBytes += f.bytes;
      endingDisk += f.bytes;
      if (f.unstorable)
        std::printf("%s: %llu positions lie beyond 127 moves and are stored as unknown\n", name.c_str(),
                    (unsigned long long)f.unstorable);
    }
    if (!o.quiet) {
      // One line per ending, read by tools/tbgen/log_table.py.
      const double endingSeconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - endingStart).count();
      std::printf(
          "%-7s %10llu + %10llu entries  analysis %6.2f s  files %5.2f s  total %7.1f s  mate in %3d / %3d moves"
          "  tables %7.1f MB  peak %7.1f MB  disk %llu bytes\n",
          name.c_str(), (unsigned long long)fs[0].entries, (unsigned long long)(fs.size() > 1 ? fs[1].entries : 0),
          gs.seconds, writeSeconds, endingSeconds, (gs.longestWin[0] + 1) / 2, (gs.longestWin[1] + 1) / 2,
          double(gs.bytes) / 1048576.0, peakResidentMegabytes(), (unsigned long long)endingDisk);
      std::fflush(stdout);
    }
    // Kept for later endings in the compact form, with the sides they read.
    if (!tbgen::compactTable(done[name].get(), sidesNeeded(name, i + 1)))
      std::printf("%s: values past 127 moves, kept whole\n", name.c_str());
    trimTables(i + 1, o.memoryBudget);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d endings made, %d present already; %.1f s, peak memory %.0f MB", made, skipped, seconds,
              peakMegabytes());
  if (made)
    std::printf("; %.1f MB of entries, %.1f MB on disk (%.2f : 1)", double(plainBytes) / 1048576.0,
                double(diskBytes) / 1048576.0, diskBytes ? double(plainBytes) / double(diskBytes) : 0.0);
  std::printf("\n");
  return 0;
}
