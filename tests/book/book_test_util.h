// Book tests run in a scratch directory of their own: the book commands read and write
// the sources and books of the working directory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "book/book.h"

namespace booktest {

namespace fs = std::filesystem;

class ScratchDirectory : public testing::Test {
 protected:
  fs::path dir, before;
  void SetUp() override {
    char name[] = "/tmp/vorlak-book-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    before = fs::current_path();
    fs::current_path(dir);
    clearBook(whiteBook);
    clearBook(blackBook);
  }
  void TearDown() override {
    fs::current_path(before);
    fs::remove_all(dir);
    clearBook(whiteBook);
    clearBook(blackBook);
  }
};

inline void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace booktest
