// Runs the built engine over standard input in a scratch directory, as a GUI or a
// console user would, and collects what it printed.
#pragma once

#include <cstdlib>
#include <string>

#include "scratch.h"

namespace transcript {

struct Session {
  std::string out, err;
  int status = -1;
};

class Transcript : public ScratchTest {
 protected:
  // The day's list file the engine wrote, or "" when there is none.
  fs::path listFilePath() const {
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().filename().string().rfind("list.", 0) == 0) return entry.path();
    return "";
  }
  std::string listFileText() const {
    const fs::path path = listFilePath();
    return path.empty() ? "" : readWhole(path);
  }
  // ARGS are command-line arguments, already quoted for the shell.
  Session run(const std::string& input, const std::string& args = "") {
    writeFile("input.txt", input);
    const std::string command = "cd '" + dir.string() + "' && timeout 20 '" VORLAK_BINARY "' " +
                                args + " < input.txt > out.txt 2> err.txt";
    Session r;
    r.status = exitCode(std::system(command.c_str()));
    r.out = readWhole(dir / "out.txt");
    r.err = readWhole(dir / "err.txt");
    return r;
  }
};

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace transcript

using transcript::Session;
using transcript::Transcript;
using transcript::contains;
