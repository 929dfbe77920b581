#include <gtest/gtest.h>

#include <string>

#include "tbprobe/probe_text.h"
#include "test_support.h"

namespace {
// A literal with its NUL bytes, measured by the compiler.
template <size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}
}  // namespace

// Input lines tbprobe cannot use are answered, never the end of the program: the kings
// of a line may stand behind a NUL byte, where the position readers no longer look.
TEST(TbprobeInput, LinesWithNulBytesOrNoKingsAreAnswered) {
  TestBoard b;
  auto probe = [&](const std::string& line) {
    return probeFenLine(line, &b.position, b.records, &b.tables);
  };
  EXPECT_EQ(probe(""), "");
  EXPECT_EQ(probe("   "), "");
  EXPECT_EQ(probe(bytes("\0\0\0\0\0\0\0\0/8/3k4/8/8/8/3P4/3K4 w - - 0 1")),
            MALFORMED_FEN);
  EXPECT_EQ(probe(bytes("8/8/3\0k3/8/8/8/3P4/3K4 w")), MALFORMED_FEN);
  EXPECT_EQ(probe("8/8/8/8/8/8/8/8 w - - 0 1"), ILLEGAL_POSITION);
  EXPECT_EQ(probe("8/8/3k4/8/8/8/8/8 w"), ILLEGAL_POSITION);
  // No tables are registered here: a legal position is not found.
  EXPECT_EQ(probe("8/8/3k4/8/8/8/3P4/3K4 w - - 0 1"), "not found");
}
