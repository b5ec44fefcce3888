#include "kit_support.h"

#include <cstdlib>
#include <ostream>

namespace kit_support {

RunResult run_profkit(const std::vector<std::string>& args, std::string_view input,
                      const std::string& dir) {
  std::vector<std::string> argv{PROFKIT_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, {.dir = dir, .input = std::string(input)});
}

RunResult run_profkit_with(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv{PROFKIT_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, options);
}

std::string test_data(const std::string& relative) {
  return std::string(PROFKIT_TEST_DATA) + "/" + relative;
}

std::string results_table(const table::MeasureTable& measures, int measure_index) {
  std::vector<std::vector<std::int64_t>> counts(measures.methods());
  for (std::size_t m = 0; m < measures.methods(); ++m) {
    for (std::size_t p = 0; p < measures.problems; ++p) {
      counts[m].push_back(measures.solved(m, p) ? static_cast<std::int64_t>(measures.at(m, p))
                                                : -1);
    }
  }
  return test_support::results_table(measures.names, counts, measure_index);
}

table::MeasureTable measure_table(std::vector<std::string> names,
                                  const std::vector<std::vector<double>>& rows) {
  table::MeasureTable t;
  t.names = std::move(names);
  t.problems = rows.empty() ? 0 : rows.front().size();
  for (const auto& row : rows) t.measures.insert(t.measures.end(), row.begin(), row.end());
  return t;
}

std::string profcmp_report(const std::vector<std::string>& args) {
  TempDir dir;
  write_file(dir.file("P.PER"), read_file(example_table()));
  if (test_support::run_profcmp(dir.path(), args).status != 0) return "";
  return read_file(dir.file("P.PRO"));
}

std::string history_csv(const std::vector<HistoryRun>& runs,
                        const std::vector<std::uint64_t>& dimensions) {
  const bool with_dimensions = !dimensions.empty();
  std::string csv = with_dimensions ? "solver,problem,dimension,evaluation,fvalue\n"
                                    : "solver,problem,evaluation,fvalue\n";
  for (std::size_t r = 0; r < runs.size(); ++r) {
    for (std::size_t e = 0; e < runs[r].values.size(); ++e) {
      csv += runs[r].method + "," + runs[r].problem + ",";
      if (with_dimensions) csv += std::to_string(dimensions[r]) + ",";
      csv += std::to_string(e + 1) + "," + runs[r].values[e] + "\n";
    }
  }
  return csv;
}

namespace {

// The number after `key` in `text` from `from` on, or 0.
double number_after(std::string_view text, std::string_view key, std::size_t from = 0) {
  const std::size_t at = text.find(key, from);
  if (at == std::string_view::npos) return 0;
  return std::strtod(std::string(text.substr(at + key.size(), 32)).c_str(), nullptr);
}

}  // namespace

Size svg_size(std::string_view svg) {
  const std::size_t root = svg.find("<svg ");
  if (root == std::string_view::npos) return {};
  return {number_after(svg, " width=\"", root), number_after(svg, " height=\"", root)};
}

Size png_size(std::string_view png) {
  if (png.size() < 24 || png.substr(0, 8) != "\x89PNG\r\n\x1a\n" || png.substr(12, 4) != "IHDR") {
    return {};
  }
  const auto big_endian = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
      value = value << 8 | static_cast<unsigned char>(png[at + i]);
    return static_cast<double>(value);
  };
  return {big_endian(16), big_endian(20)};
}

Size pdf_size(std::string_view pdf) {
  const std::size_t box = pdf.find("/MediaBox [ 0 0 ");
  if (pdf.substr(0, 5) != "%PDF-" || box == std::string_view::npos) return {};
  char* end = nullptr;
  const std::string numbers(pdf.substr(box + 16, 64));
  const double width = std::strtod(numbers.c_str(), &end);
  return {width, std::strtod(end, nullptr)};
}

std::ostream& operator<<(std::ostream& out, const Size& size) {
  return out << size.width << " x " << size.height;
}

}  // namespace kit_support
