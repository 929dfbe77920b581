// The tbprobe tool as a user runs it: values, tables that are missing, and input that is
// no position at all.
#include <cstdlib>
#include <string>

#include "scratch.h"

namespace {

struct ToolRun {
  std::string out;
  int status;
};

ToolRun tbprobe(const fs::path& dir, const std::string& arguments, const std::string& input = "") {
  const fs::path in = dir / "in.txt", out = dir / "out.txt";
  writeWhole(in, input);
  const std::string command = "'" VORLAK_TBPROBE "' -c 1 -d '" + dir.string() + "' " + arguments +
                              " < '" + in.string() + "' > '" + out.string() + "' 2>/dev/null";
  const int status = std::system(command.c_str());
  return {readWhole(out), exitCode(status)};
}

}  // namespace

using TbprobeTool = ScratchTest;

TEST_F(TbprobeTool, MalformedIllegalAndMissingAreToldApart) {
  const std::string make = "'" VORLAK_TBGEN "' -q -t 1 kqk '" + dir.string() + "' > /dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);

  // Valid positions keep the established answers, and the exit code stays 0.
  ToolRun r = tbprobe(dir, "'7k/8/6K1/8/8/8/8/1Q6 w - - 0 1' '8/8/8/8/8/8/8/K6k w - - 0 1'");
  EXPECT_EQ(r.out, "7k/8/6K1/8/8/8/8/1Q6 w - - 0 1: mate in 1\n"
                   "8/8/8/8/8/8/8/K6k w - - 0 1: not found\n");
  EXPECT_EQ(r.status, 0);
  r = tbprobe(dir, "", "7k/8/6K1/8/8/8/8/1Q6 b - - 0 1\n\n8/8/8/8/3r4/8/8/K6k w\n");
  EXPECT_EQ(r.out, "7k/8/6K1/8/8/8/8/1Q6 b - - 0 1: mated in 1\n"
                   "8/8/8/8/3r4/8/8/K6k w: not found\n");
  EXPECT_EQ(r.status, 0);

  // One line each for what is no FEN and for what cannot arise; the run goes on to the
  // next line and ends with exit code 1.
  const char* const malformed[] = {
      "7k/8/6K1/8/8/8/8/Q7 x - - 0 1",           // side
      "7k/8/6K1/8/8/8/8/Q6X w - - 0 1",          // strange letter
      "7k/8/6K1/8/8/8/9/Q7 w - - 0 1",           // digit 9
      "7k/8/6K1/8/8/8/8/8/Q7 w - - 0 1",         // nine ranks
      "7k/8/6K1/8/8/8/Q7 w - - 0 1",             // seven ranks
      "7k/8/6K1/8/8/8/8/Q6 w - - 0 1",           // a short rank
      "7k/8/6K1/8/8/8/8/Q7 w Kx - 0 1",          // castling letters
      "7k/8/6K1/8/8/8/8/Q7 w - e9 0 1",          // en-passant square
      "7k/8/6K1/8/8/8/8/Q7 w - - x 1",           // counter
      "7k/8/6K1/8/8/8/8/Q7 w - - 0 1 bm Qa8#",  // more than six fields
  };
  const char* const illegal[] = {
      "8/8/6K1/8/8/8/8/Q7 w - - 0 1",     // no Black king
      "7k/8/6K1/8/8/8/8/QK6 w - - 0 1",   // two White kings
      "P6k/8/6K1/8/8/8/8/8 w - - 0 1",    // pawn on the last rank
      "7k/8/6K1/8/8/8/8/7Q w - - 0 1",    // the side not to move in check
  };
  std::string input, expected;
  for (const char* fen : malformed) {
    input += std::string(fen) + "\n";
    expected += std::string(fen) + ": malformed FEN\n";
  }
  for (const char* fen : illegal) {
    input += std::string(fen) + "\n";
    expected += std::string(fen) + ": illegal position\n";
  }
  input += "7k/8/6K1/8/8/8/8/1Q6 b - - 0 1\n";  // and a good line among them
  expected += "7k/8/6K1/8/8/8/8/1Q6 b - - 0 1: mated in 1\n";
  r = tbprobe(dir, "", input);
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.status, 1);
  r = tbprobe(dir, "'8/8/8/8/8/8/8/K7 w - - 0 1'");
  EXPECT_EQ(r.out, "8/8/8/8/8/8/8/K7 w - - 0 1: illegal position\n");
  EXPECT_EQ(r.status, 1);
}
