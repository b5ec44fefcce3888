// The one runner every test uses to run programs: each option must reach the
// child, and large inputs and outputs must pass whole without a deadlock.
#include <signal.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using test_support::RunOptions;
using test_support::RunResult;

RunResult shell(const std::string& script, const RunOptions& options = {}) {
  return test_support::run({"/bin/sh", "-c", script}, options);
}

TEST(Runner, InputAndOutputsPassWholeInBothDirections) {
  // More than a pipe holds, in every direction at once.
  std::mt19937 rng(17);
  std::string input(3 << 20, '\0');
  for (char& c : input) c = static_cast<char>(rng());
  const RunResult r = shell("tee /dev/stderr", {.input = input});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.signal, 0);
  EXPECT_TRUE(r.out == input && r.err == input) << r.out.size() << " " << r.err.size();

  // A program that reads nothing ends the run all the same.
  EXPECT_EQ(shell("exit 3", {.input = input}).status, 3);
  EXPECT_EQ(shell("cat").out, "");  // no input: an empty standard input, not the test's
}

TEST(Runner, OptionsReachTheChild) {
  test_support::TempDir dir;
  ::setenv("RUNNER_TEST_GONE", "present", 1);
  const RunResult env =
      shell("printf '%s|%s|%s' \"$PWD\" \"$RUNNER_TEST_SET\" \"$RUNNER_TEST_GONE\"",
            {.dir = dir.path(), .env = {"RUNNER_TEST_SET=a=b"}, .unset_env = {"RUNNER_TEST_GONE"}});
  EXPECT_EQ(env.out, dir.path() + "|a=b|");

  const RunResult late = shell("exec sleep 30", {.deadline_seconds = 1});
  EXPECT_EQ(late.signal, SIGALRM);
  EXPECT_EQ(late.status, -1);

  EXPECT_EQ(shell("kill -HUP $$; echo kept", {.ignore_hangup = true}).out, "kept\n");
  EXPECT_EQ(shell("kill -HUP $$; echo kept").signal, SIGHUP);
  EXPECT_EQ(shell("echo lost >&2 || exit 9", {.close_stderr = true}).status, 9);
  EXPECT_EQ(shell("ulimit -v", {.address_space = 1ul << 30}).out, "1048576\n");
  EXPECT_GT(shell("exit 0").max_rss_kib, 0);

  if (test_support::running_as_root()) {
    const RunResult drop = test_support::run({"/usr/bin/id", "-u"}, {.unprivileged = true});
    EXPECT_EQ(drop.out, "65534\n") << drop.err;
  }
}

}  // namespace
