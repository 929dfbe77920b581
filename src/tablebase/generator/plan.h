// The order in which endings can be made: by levels, each ending after the endings its
// captures and promotions lead to, for running many generators side by side (make -j,
// GNU parallel) or on many machines.
#pragma once

#include <string>
#include <vector>

namespace tbgen {

using Levels = std::vector<std::vector<std::string>>;

// The endings the engine knows with up to men men (kings included, 3 to 6), in levels:
// every ending's captures and promotions lead only to endings of earlier levels, and
// each ending is on the lowest level that allows (level 0: those that lead only to bare
// kings). Six-man endings are planned although tbgen does not make them. False when an
// ending leads to one the engine does not know.
bool planLevels(int men, Levels* levels, std::string* error);

// One line per level: "level K: name name ...".
std::string planText(const Levels& levels);

// A makefile: one phony target per ending, depending on the targets of the endings it
// leads to, made by "$(TBGEN) $(TBFLAGS) --missing NAME $(DIR)"; dir is DIR's default.
std::string planMakefile(const Levels& levels, const std::string& dir);

}  // namespace tbgen
