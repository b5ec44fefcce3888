// The manual page: it must render without a single groff warning, carry the
// sections a reader looks for, and describe the diagnostics with the very
// texts the failure stop prints. `cmake --install` must put it beside the
// binary.

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "records/failure_stop.h"
#include "test_support.h"

namespace {

using test_support::RunResult;

std::string man_page_path() {
  return test_support::source_dir() + "/docs/profcmp.1";
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  return test_support::run(argv, {.dir = test_support::source_dir()});
}

// The page rendered as plain text with lines long enough that no paragraph
// is broken or hyphenated; runs of blanks collapse to one and typographic
// dashes become '-', so phrases can be searched for as written.
std::string rendered_text(const std::string& groff) {
  const RunResult result =
      run_program(groff, {"-man", "-Tutf8", "-P-cbu", "-rLL=4000n", man_page_path()});
  EXPECT_EQ(result.status, 0) << result.err;
  std::string text;
  for (std::size_t i = 0; i < result.out.size(); ++i) {
    const char c = result.out[i];
    const std::string_view rest = std::string_view(result.out).substr(i);
    if (rest.starts_with("\xE2\x88\x92") || rest.starts_with("\xE2\x80\x90")) {
      text += '-';  // U+2212 minus, U+2010 hyphen
      i += 2;
    } else if (c == ' ' && !text.empty() && text.back() == ' ') {
      continue;
    } else {
      text += c;
    }
  }
  return text;
}

// The text between the section heading `name` and the next heading.
std::string section(const std::string& text, const std::string& name) {
  const std::size_t start = text.find("\n" + name + "\n");
  if (start == std::string::npos) return "";
  std::size_t end = start + name.size() + 2;
  while (end < text.size()) {
    const std::size_t next = text.find('\n', end);
    if (next == std::string::npos || next + 1 >= text.size()) return text.substr(start);
    // A heading starts in column 1 with an upper-case letter.
    if (text[next + 1] >= 'A' && text[next + 1] <= 'Z') return text.substr(start, next - start);
    end = next + 1;
  }
  return text.substr(start);
}

class ManPage : public testing::Test {
 protected:
  void SetUp() override {
    m_groff = test_support::on_path("groff");
    if (m_groff.empty()) GTEST_SKIP() << "groff is not installed; the manual page is not checked";
  }
  std::string m_groff;
};

TEST_F(ManPage, RendersWithoutWarnings) {
  // -ww turns on every warning; -z discards the output, so stderr holds only
  // what groff has to say about the source.
  const RunResult result = run_program(m_groff, {"-man", "-Tutf8", "-ww", "-z", man_page_path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "");
}

TEST_F(ManPage, HasTheSectionsAndTheSynopsis) {
  const std::string text = rendered_text(m_groff);
  for (const char* name : {"NAME", "SYNOPSIS", "DESCRIPTION", "ARGUMENTS", "FILES", "EXIT STATUS",
                           "ENVIRONMENT", "DIAGNOSTICS", "LIMITS", "EXAMPLE"}) {
    EXPECT_NE(section(text, name), "") << "missing section " << name;
  }
  EXPECT_NE(section(text, "NAME").find("profcmp - "), std::string::npos);
  EXPECT_NE(section(text, "SYNOPSIS").find("profcmp [criterion [bound]]"), std::string::npos);
  EXPECT_NE(section(text, "SYNOPSIS").find("profcmp --help | -h | --version"), std::string::npos);

  const std::string arguments = section(text, "ARGUMENTS");
  for (const char* keyword : {"NIT", "NFV", "NFG", "NCGR", "TIME", "\"NFV \"", "2.0D0", "0.003"}) {
    EXPECT_NE(arguments.find(keyword), std::string::npos) << keyword;
  }
  const std::string files = section(text, "FILES");
  for (const char* name : {"P.PER", "P.PRO", "P.sci", "A6,2X,A14,5I10", "1 MiB (1048576 bytes",
                           "named pipe", "'+ascii(13)+'"}) {
    EXPECT_NE(files.find(name), std::string::npos) << name;
  }
  const std::string environment = section(text, "ENVIRONMENT");
  for (const char* name : {"RTDT0", "RTD_DIAGNOSTIC_LOG_FILE", "RTD_DISABLE_DIAGNOSTIC_DISPLAY",
                           "RTD_DISABLE_STACK_TRACE", "RTD_FULL_SRC_FILE_SPEC"}) {
    EXPECT_NE(environment.find(name), std::string::npos) << name;
  }
  const std::string limits = section(text, "LIMITS");
  EXPECT_NE(limits.find("20 methods and 200 problems"), std::string::npos);
  EXPECT_NE(limits.find("first four methods"), std::string::npos);
}

TEST_F(ManPage, DiagnosticsAndExitStatusesMatchTheCatalogue) {
  const std::string text = rendered_text(m_groff);
  const std::string diagnostics = section(text, "DIAGNOSTICS");
  const std::string exit_status = section(text, "EXIT STATUS");
  EXPECT_NE(diagnostics.find("rtdiag: severe (N): text, unit U, file F"), std::string::npos);

  using records::Message;
  for (const Message message :
       {Message::permission_denied, Message::cannot_overwrite, Message::record_too_long,
        Message::end_of_file, Message::close_error, Message::file_not_found, Message::open_failure,
        Message::write_error, Message::read_error, Message::no_such_device,
        Message::file_name_error, Message::write_readonly, Message::input_conversion,
        Message::output_overflow, Message::capacity_exceeded, Message::line_end_in_criterion}) {
    // Each entry is the number in the tag column and the message text up to
    // its unit and file part, as the failure stop prints it.
    const std::string number = std::to_string(static_cast<int>(message));
    std::string_view wording = records::message_text(message);
    wording = wording.substr(0, wording.find(", unit %d"));
    const std::string entry = "\n " + number + " " + std::string(wording);
    EXPECT_NE(diagnostics.find(entry), std::string::npos) << "no entry [" << entry << "]";
    const bool listed = exit_status.find(" " + number + ",") != std::string::npos ||
                        exit_status.find(" " + number + " ") != std::string::npos ||
                        exit_status.find(" " + number + ".") != std::string::npos;
    EXPECT_TRUE(listed) << "exit status " << number << " not listed";
  }
  EXPECT_NE(diagnostics.find("\"rtdiag: error (200): program aborting due to control-C event\""),
            std::string::npos);
  EXPECT_NE(exit_status.find("130, 131 or 129"), std::string::npos);
}

TEST_F(ManPage, InstallsIntoManSection1) {
  const std::string cmake = test_support::on_path("cmake");
  if (cmake.empty()) GTEST_SKIP() << "cmake is not on PATH; the install is not checked";
  const std::string binary = test_support::profcmp_binary();
  const std::string build_dir = binary.substr(0, binary.rfind('/'));
  test_support::TempDir prefix;
  const RunResult result = run_program(cmake, {"--install", build_dir, "--prefix", prefix.path()});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(test_support::read_file(prefix.file("share/man/man1/profcmp.1")),
            test_support::read_file(man_page_path()));
  EXPECT_TRUE(test_support::file_exists(prefix.file("bin/profcmp")));
}

}  // namespace
