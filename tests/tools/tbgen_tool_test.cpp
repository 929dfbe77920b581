// tbgen as a user runs it: an --all run that was cut short is taken up again and makes
// only what is missing, and --plan lays the endings out for runs side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scratch.h"
#include "tablebase/generator/ending.h"
#include "tablebase/generator/generate.h"
#include "tablebase/generator/plan.h"
#include "tablebase/tablebase.h"

namespace {

struct ToolRun {
  std::string out;
  int status;
  std::vector<std::string> made;  // the endings it printed a line for
};

ToolRun runTbgen(const fs::path& dir, const std::string& arguments) {
  const fs::path out = dir / "out.txt";
  const std::string command =
      "'" VORLAK_TBGEN "' -t 1 " + arguments + " > '" + out.string() + "' 2>&1";
  ToolRun r{"", exitCode(std::system(command.c_str())), {}};
  r.out = readWhole(out);
  fs::remove(out);
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line))
    if (line.find(" entries ") != std::string::npos) r.made.push_back(line.substr(0, line.find(' ')));
  std::sort(r.made.begin(), r.made.end());
  return r;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<std::string> subNames(const std::string& name) {
  tbgen::Material m;
  std::string error;
  EXPECT_TRUE(tbgen::parseMaterial(name, &m, &error)) << error;
  std::vector<std::string> out;
  for (const tbgen::SubEnding& s : tbgen::subEndings(m)) out.push_back(s.name);
  return out;
}

}  // namespace

using TbgenTool = ScratchTest;

// A second run makes nothing; whatever is not a whole file is made again: an ending with
// a side's file missing, truncated or only begun (a .part left behind), and the stale
// .part beside whole files is cleared away.
TEST_F(TbgenTool, AllRunTakesUpWhereItStopped) {
  const std::string all = "--all 3 --compress '" + dir.string() + "'";
  ToolRun r = runTbgen(dir, all);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.made, sorted({"kpk", "knk", "kbk", "krk", "kqk"}));
  const auto stamp = fs::last_write_time(dir / "kpk.nbw.emd");

  r = runTbgen(dir, all);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.made.empty()) << r.out;
  EXPECT_NE(r.out.find("0 endings made, 5 present already"), std::string::npos) << r.out;
  EXPECT_EQ(fs::last_write_time(dir / "kpk.nbw.emd"), stamp);

  fs::remove(dir / "krk.nbb.emd");                                  // a side's file missing
  const std::string kpk = readWhole(dir / "kpk.nbw.emd");
  writeWhole(dir / "kpk.nbw.emd", kpk.substr(0, kpk.size() - 5));   // cut short
  fs::rename(dir / "kqk.nbw.emd", dir / "kqk.nbw.emd.part");        // begun, never renamed
  writeWhole(dir / "knk.nbb.emd.part", "left over");                // beside a whole file
  r = runTbgen(dir, all);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.made, sorted({"kpk", "krk", "kqk"}));
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_NE(entry.path().extension(), ".part") << entry.path();
  EXPECT_TRUE(readWhole(dir / "kpk.nbw.emd") == kpk);  // made again, whole
  EXPECT_TRUE(runTbgen(dir, all).made.empty());

  // Names with --missing: only what is not there; without it, made again.
  EXPECT_TRUE(runTbgen(dir, "--compress --missing kqk kpk '" + dir.string() + "'").made.empty());
  fs::remove(dir / "kqk.nbb.emd");
  EXPECT_EQ(runTbgen(dir, "--compress --missing kqk kpk '" + dir.string() + "'").made, sorted({"kqk"}));
  EXPECT_EQ(runTbgen(dir, "--compress kpk '" + dir.string() + "'").made, sorted({"kpk"}));
}

// Every ending the engine knows, up to the men asked for, once; each after every ending
// its captures and promotions lead to, and as early as that allows.
TEST(TbgenPlan, LevelsPutEveryEndingAfterItsSubEndings) {
  const int known[] = {0, 0, 0, 5, 35, 145, 178};
  for (int men = 3; men <= 6; ++men) {
    tbgen::Levels levels;
    std::string error;
    ASSERT_TRUE(tbgen::planLevels(men, &levels, &error)) << error;
    std::map<std::string, size_t> levelOf;
    for (size_t k = 0; k < levels.size(); ++k)
      for (const std::string& name : levels[k]) {
        EXPECT_TRUE(levelOf.emplace(name, k).second) << name << " twice";
        EXPECT_LE(int(name.size()), men);
      }
    EXPECT_EQ(levelOf.size(), size_t(known[men])) << men;
    for (int e = 1; e <= known[men]; ++e) EXPECT_TRUE(levelOf.count(tbEndings[size_t(e)].name));
    for (const auto& [name, k] : levelOf) {
      size_t deepest = 0;
      bool any = false;
      for (const std::string& sub : subNames(name)) {
        ASSERT_TRUE(levelOf.count(sub)) << name << " leads to " << sub;
        EXPECT_LT(levelOf[sub], k) << name << " after " << sub;
        deepest = std::max(deepest, levelOf[sub]);
        any = true;
      }
      EXPECT_EQ(k, any ? deepest + 1 : 0) << name;
    }
  }
  // Promotions within the same men count.
  const std::vector<std::string> knnkp = subNames("knnkp");
  for (const char* want : {"knnkn", "knnkb", "knnkr", "knnkq", "knnk", "knkp"})
    EXPECT_NE(std::find(knnkp.begin(), knnkp.end(), want), knnkp.end()) << want;
  tbgen::Levels levels;
  std::string error;
  EXPECT_FALSE(tbgen::planLevels(7, &levels, &error));
}

// The text and makefile forms: each line of the text is a level; in the makefile every
// ending is one target whose prerequisites are the endings it leads to and whose recipe
// makes just it, and only when missing.
TEST_F(TbgenTool, PlanPrintsLevelsAndAMakefile) {
  ToolRun r = runTbgen(dir, "--plan 4");
  ASSERT_EQ(r.status, 0);
  tbgen::Levels levels;
  std::string error;
  ASSERT_TRUE(tbgen::planLevels(4, &levels, &error));
  EXPECT_EQ(r.out, tbgen::planText(levels));
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "level 0: knk kbk krk kqk");

  r = runTbgen(dir, "--plan 5 --make /data/tb5");
  ASSERT_EQ(r.status, 0);
  std::istringstream lines(r.out);
  std::string line;
  std::set<std::string> targets;
  bool dirLine = false;
  while (std::getline(lines, line)) {
    dirLine |= line == "DIR ?= /data/tb5";
    if (line.empty() || line[0] == '#' || line[0] == '\t' || line[0] == '.' || line.find('=') != std::string::npos ||
        line.rfind("all:", 0) == 0)
      continue;
    const std::string name = line.substr(0, line.find(':'));
    EXPECT_TRUE(targets.insert(name).second) << name;
    std::istringstream deps(line.substr(line.find(':') + 1));
    std::vector<std::string> got;
    for (std::string d; deps >> d;) got.push_back(d);
    EXPECT_EQ(sorted(got), sorted(subNames(name))) << name;
    std::string recipe;
    ASSERT_TRUE(std::getline(lines, recipe));
    EXPECT_EQ(recipe, "\t$(TBGEN) $(TBFLAGS) --missing " + name + " $(DIR)");
  }
  EXPECT_TRUE(dirLine);
  EXPECT_EQ(targets.size(), 145u);
  EXPECT_NE(runTbgen(dir, "--plan 7").status, 0);
}
