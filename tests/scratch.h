// A directory of its own under /tmp for one test, removed with everything in it, the
// whole-file reads and writes the tests do there, and child processes for what must not
// touch the test process (resource limits, exits).
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <string>

namespace fs = std::filesystem;

struct ScratchDir {
  fs::path path;  // empty when no directory could be made
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
};

std::string readWhole(const fs::path& path);  // "" when there is no such file
void writeWhole(const fs::path& path, const std::string& bytes);

// A test whose files live in `dir`, a fresh scratch directory.
class ScratchTest : public testing::Test {
 protected:
  ScratchDir scratch;
  const fs::path dir = scratch.path;
  void SetUp() override { ASSERT_FALSE(dir.empty()) << "no scratch directory"; }
  void writeFile(const std::string& name, const std::string& bytes) const {
    writeWhole(dir / name, bytes);
  }
};

// The exit code of a std::system() status, or -1 when the command ended by a signal.
int exitCode(int systemStatus);

// Runs body in a child process and returns what it printed; *status is its exit code
// (0 when body returns), or -1 when it ended by a signal.
std::string inChild(const std::function<void()>& body, int* status);

// Files may grow to at most bytes, and writing past that fails instead of raising
// SIGXFSZ: a disk that fills up. For a child process.
void limitFileSize(rlim_t bytes);
