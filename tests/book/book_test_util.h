// Book tests run in a scratch directory of their own: the book commands read and write
// the sources and books of the working directory.
#pragma once

#include "book/book.h"
#include "scratch.h"

namespace booktest {

class ScratchDirectory : public ScratchTest {
 protected:
  fs::path before;
  void SetUp() override {
    ScratchTest::SetUp();
    before = fs::current_path();
    fs::current_path(dir);
    clearBook(whiteBook);
    clearBook(blackBook);
  }
  void TearDown() override {
    fs::current_path(before);
    clearBook(whiteBook);
    clearBook(blackBook);
  }
};

}  // namespace booktest
