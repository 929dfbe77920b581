#include "tablebase/generator/plan.h"

#include <algorithm>
#include <map>

#include "tablebase/generator/ending.h"
#include "tablebase/generator/generate.h"
#include "tablebase/tablebase.h"

namespace tbgen {

namespace {

// The names of the endings an ending leads to.
bool subNames(const std::string& name, std::vector<std::string>* out, std::string* error) {
  Material m;
  if (!parseMaterial(name, &m, error)) return false;
  out->clear();
  for (const SubEnding& sub : subEndings(m)) out->push_back(sub.name);
  return true;
}

}  // namespace

bool planLevels(int men, Levels* levels, std::string* error) {
  levels->clear();
  if (men < 3 || men > MAX_NAMED_UNITS) {
    *error = "endings of 3 to " + std::to_string(MAX_NAMED_UNITS) + " men can be planned";
    return false;
  }
  // The known endings come smaller first (fewer men, then fewer pawns would also do), but
  // the levels are found by depth, not by that order.
  std::map<std::string, int> level;
  std::vector<std::string> names;
  for (int e = 1; e <= TB_ENDING_COUNT; ++e)
    if (int(std::char_traits<char>::length(tbEndings[size_t(e)].name)) <= men) names.push_back(tbEndings[size_t(e)].name);
  // Depth by repeated passes: an ending's level is one more than its deepest sub-ending's.
  // Captures and promotions never come back to an ending, so this ends.
  std::map<std::string, std::vector<std::string>> subs;
  for (const std::string& name : names) {
    if (!subNames(name, &subs[name], error)) return false;
    for (const std::string& sub : subs[name])
      if (std::find(names.begin(), names.end(), sub) == names.end()) {
        *error = name + " leads to " + sub + ", which is not an ending the engine knows";
        return false;
      }
  }
  while (level.size() < names.size()) {
    const size_t before = level.size();
    for (const std::string& name : names) {
      if (level.count(name)) continue;
      int deepest = -1;
      bool ready = true;
      for (const std::string& sub : subs[name]) {
        const auto it = level.find(sub);
        if (it == level.end()) {
          ready = false;
          break;
        }
        deepest = std::max(deepest, it->second);
      }
      if (ready) level[name] = deepest + 1;
    }
    if (level.size() == before) {
      *error = "the endings lead to each other in a circle";
      return false;
    }
  }
  for (const std::string& name : names) {
    const size_t k = size_t(level[name]);
    if (levels->size() <= k) levels->resize(k + 1);
    (*levels)[k].push_back(name);
  }
  return true;
}

std::string planText(const Levels& levels) {
  std::string out;
  for (size_t k = 0; k < levels.size(); ++k) {
    out += "level " + std::to_string(k) + ":";
    for (const std::string& name : levels[k]) out += " " + name;
    out += "\n";
  }
  return out;
}

std::string planMakefile(const Levels& levels, const std::string& dir) {
  std::string all, rules;
  std::string error;
  for (const auto& level : levels)
    for (const std::string& name : level) {
      all += " " + name;
      std::vector<std::string> subs;
      subNames(name, &subs, &error);
      rules += name + ":";
      for (const std::string& sub : subs) rules += " " + sub;
      rules += "\n\t$(TBGEN) $(TBFLAGS) --missing " + name + " $(DIR)\n";
    }
  return "# Endings by tbgen --plan --make: each after the endings its captures and promotions\n"
         "# lead to; those whose files are in DIR already are left as they are.\n"
         "#   make -j2 -f FILE TBGEN=build/tbgen DIR=tb\n"
         "TBGEN ?= tbgen\n"
         "TBFLAGS ?= --compress --threads 1\n"
         "DIR ?= " + dir + "\n"
         ".PHONY: all" + all + "\n"
         "all:" + all + "\n" + rules;
}

}  // namespace tbgen
