// Runs the built engine over standard input in a scratch directory, as a GUI or a
// console user would, and collects what it printed.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace transcript {

struct Session {
  std::string out, err;
  int status = -1;
};

inline std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Transcript : public testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    char name[] = "/tmp/vorlak-transcript-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
  }
  void TearDown() override { fs::remove_all(dir); }

  void writeFile(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  // The day's list file the engine wrote, or "" when there is none.
  std::string listFileText() {
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().filename().string().rfind("list.", 0) == 0) return slurp(entry.path());
    return "";
  }
  Session run(const std::string& input) {
    writeFile("input.txt", input);
    const std::string command = "cd '" + dir.string() + "' && timeout 20 '" VORLAK_BINARY
                                "' < input.txt > out.txt 2> err.txt";
    Session r;
    const int status = std::system(command.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(dir / "out.txt");
    r.err = slurp(dir / "err.txt");
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
using transcript::slurp;
