// Output files of every writing subcommand are replaced whole or not at all:
// a write that fails (a full disk, here a file size limit), an output that is
// one of the inputs, and an exhausted memory all leave the old bytes, no
// temporary file, and one "profkit: error:" line with exit status 2.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "kit_support.h"

namespace {

using kit_support::read_file;
using kit_support::run_profkit;
using kit_support::TempDir;
using kit_support::write_file;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool k_sanitized = true;
#else
constexpr bool k_sanitized = false;
#endif

// Every subcommand that takes -o, with the options that make it write a file.
const std::vector<std::vector<std::string>> k_writers = {
    {"export"},
    {"export", "--format", "svg"},
    {"export", "--format", "tex"},
    {"pairs"},
    {"stability"},
    {"boot", "--replicates", "10"},
    {"budget"},
    {"report"},
};

std::set<std::string> entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

kit_support::RunResult run_in_shell(const std::string& dir, const std::string& script) {
  return kit_support::run({"/bin/sh", "-c", script}, {.dir = dir});
}

TEST(AtomicOutput, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  for (const auto& writer : k_writers) {
    SCOPED_TRACE(writer[0] + (writer.size() > 1 ? " " + writer[2] : ""));
    TempDir dir;
    write_file(dir.file("P.PER"), read_file(kit_support::example_table()));
    const std::string old(3000, 'o');
    write_file(dir.file("out"), old);
    std::string command = "ulimit -f 0; trap '' XFSZ; exec " + std::string(PROFKIT_BINARY);
    for (const std::string& word : writer) command += " " + word;
    command += " -o out P.PER";
    const auto before = entries(dir.path());
    const auto run = run_in_shell(dir.path(), command);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "profkit: error: out: File too large\n");
    EXPECT_EQ(read_file(dir.file("out")), old);
    EXPECT_EQ(entries(dir.path()), before);
  }
}

TEST(AtomicOutput, OutputThatIsAnInputIsRefusedBeforeReading) {
  TempDir dir;
  const std::string table = read_file(kit_support::example_table());
  write_file(dir.file("P.PER"), table);
  std::filesystem::create_symlink("P.PER", dir.file("alias"));
  for (const auto& writer : k_writers) {
    for (const std::string output : {"P.PER", "alias"}) {
      std::vector<std::string> args = writer;
      args.insert(args.end(), {"-o", dir.file(output), dir.file("P.PER")});
      const auto run = run_profkit(args);
      EXPECT_EQ(run.status, 2) << writer[0];
      EXPECT_EQ(run.err, "profkit: error: -o " + dir.file(output) +
                             ": is an input file of this run; write the output elsewhere\n"
                             "Run 'profkit --help' for usage.\n");
    }
  }
  EXPECT_EQ(read_file(dir.file("P.PER")), table);
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"P.PER", "alias"}));
}

TEST(AtomicOutput, LinkedTargetIsReplacedAndTheLinkKept) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  write_file(dir.file("sub/real.csv"), "old");
  std::filesystem::create_symlink("sub/real.csv", dir.file("link.csv"));
  const auto run =
      run_profkit({"export", "-o", dir.file("link.csv"), kit_support::example_table()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.csv")));
  EXPECT_EQ(read_file(dir.file("sub/real.csv")),
            run_profkit({"export", kit_support::example_table()}).out);
  EXPECT_EQ(entries(dir.file("sub")), (std::set<std::string>{"real.csv"}));
}

TEST(AtomicOutput, ExhaustedMemoryIsAnErrorNotASignal) {
  if (k_sanitized) GTEST_SKIP() << "the sanitizers need more address space than the cap";
  TempDir dir;
  std::string table;
  for (int m = 0; m < 3; ++m) {
    table += kit_support::method_record("M" + std::to_string(m));
    for (int p = 0; p < 100000; ++p)
      table += kit_support::problem_record("P", {1, p % 97 + 1, 1, 1, 1});
  }
  write_file(dir.file("P.PER"), table);
  write_file(dir.file("out"), "old");
  const auto run = run_in_shell(
      dir.path(), "ulimit -v 12000; exec " + std::string(PROFKIT_BINARY) + " report -o out P.PER");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "profkit: error: out of memory\n");
  EXPECT_EQ(read_file(dir.file("out")), "old");
}

}  // namespace
