// Command-line arguments: --help and --version answer without starting the engine,
// anything else is refused in one line; no argument starts it as before.
#include "driver/transcript.h"

namespace {

class Arguments : public Transcript {
 protected:
  Session runWith(const std::string& args, const std::string& input = "quit\n") {
    return run(input, args);
  }
  // The engine opens the day's list file first thing when it starts.
  bool hasListFile() const { return !listFilePath().empty(); }
};

TEST_F(Arguments, VersionAndHelpAnswerWithoutStarting) {
  // No vorlak.cfg here: an engine that started would stop with its start-up complaint.
  Session version = runWith("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vorlak version 070722\n");
  EXPECT_EQ(version.err, "");

  Session help = runWith("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: vorlak [--help | --version | bench [DEPTH]]\n", 0), 0u) << help.out;
  EXPECT_TRUE(contains(help.out, "vorlak.cfg"));
  EXPECT_FALSE(contains(help.out, "Can't read"));
  EXPECT_EQ(help.err, "");
  EXPECT_FALSE(hasListFile());
}

TEST_F(Arguments, AnythingElseIsRefusedInOneLine) {
  writeFile("vorlak.cfg", "hashsize 1\n");
  for (const std::string args : {"-h", "--verbose", "new", "''", "--help --version", "--version x"}) {
    Session r = runWith(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    ASSERT_FALSE(r.err.empty()) << args;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args << ": " << r.err;
    EXPECT_EQ(r.err.rfind("vorlak: unexpected argument '", 0), 0u) << r.err;
  }
  EXPECT_TRUE(contains(runWith("--help --version").err, "'--version'"));
  EXPECT_TRUE(contains(runWith("--verbose").err, "'--verbose'"));
  EXPECT_FALSE(hasListFile());
}

TEST_F(Arguments, NoArgumentStartsTheEngine) {
  writeFile("vorlak.cfg", "hashsize 1\n");
  Session r = runWith("", "quit\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("vorlak version 070722\n", 0), 0u);
  EXPECT_TRUE(contains(r.out, "hash table size: 1 MBytes.\n"));
  EXPECT_TRUE(hasListFile());
}

}  // namespace
