// A run interrupted or unwound while an output is half written leaves the old
// file as it was and no temporary file beside it.
#include "profkit/cli/atomic_output.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "kit_support.h"

namespace {

using kit_support::read_file;
using kit_support::TempDir;
using kit_support::write_file;

std::size_t entry_count(const std::string& dir) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++count;
  return count;
}

TEST(AtomicOutput, SignalDuringTheWriteRemovesTheTemporary) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    write_file(dir.file("out"), "old");
    const pid_t pid = ::fork();
    if (pid == 0) {
      kit::AtomicOutput output;
      if (!output.open(dir.file("out"))) ::_exit(3);
      output.stream() << std::string(1 << 20, 'x');
      output.stream().flush();
      ::raise(signal_number);
      ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_EQ(read_file(dir.file("out")), "old");
    EXPECT_EQ(entry_count(dir.path()), 1u);
  }
}

TEST(AtomicOutput, ExceptionUnwindsAndCommitReplacesWithTheOldMode) {
  TempDir dir;
  write_file(dir.file("out"), "old");
  std::filesystem::permissions(dir.file("out"), std::filesystem::perms(0640));
  try {
    kit::AtomicOutput output;
    ASSERT_TRUE(output.open(dir.file("out")));
    output.stream() << "half";
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(read_file(dir.file("out")), "old");
  EXPECT_EQ(entry_count(dir.path()), 1u);

  kit::AtomicOutput output;
  ASSERT_TRUE(output.open(dir.file("out")));
  output.stream() << "new";
  ASSERT_TRUE(output.commit()) << output.error();
  EXPECT_EQ(read_file(dir.file("out")), "new");
  EXPECT_EQ(std::filesystem::status(dir.file("out")).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(entry_count(dir.path()), 1u);
}

}  // namespace
