// The record engine: records per second for reading results-table records
// from a file and writing report records to a file (each record one write
// call, as in a run), and the cost of one field conversion.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "bench_tables.h"
#include "records/fields.h"
#include "records/record_format.h"
#include "records/units.h"

namespace {

using records::BlankMode;
namespace formats = records::formats;

constexpr int k_unit = 7;

void open_unit(int unit, std::string_view name) {
  records::open_unit(unit, name, records::OpenStatus::unknown, BlankMode::null);
}

// Runs the benchmark body with a scratch directory as working directory.
class InScratch {
 public:
  InScratch() : m_previous(std::filesystem::current_path()) {
    static bool started = false;
    if (!started) {
      static char program[] = "record_engine_bench";
      static char* argv[] = {program, nullptr};
      records::start_up(1, argv);
      started = true;
    }
    std::filesystem::current_path(m_dir.path());
  }
  ~InScratch() { std::filesystem::current_path(m_previous); }
  InScratch(const InScratch&) = delete;
  InScratch& operator=(const InScratch&) = delete;

 private:
  bench::ScratchDir m_dir;
  std::filesystem::path m_previous;
};

// (A6,2X,A14,5I10) over a full 20 x 200 table: 4020 records per pass,
// through the format's prepared plan (`plans`) or the general statement loop.
void read_results_records(benchmark::State& state, bool plans) {
  const InScratch scratch;
  const int records = bench::write_results_table("P.PER", 20, 200);
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size("P.PER"));
  char key[6];
  char name[14];
  std::int32_t counts[5];
  records::detail::set_input_plans(plans);
  for (auto _ : state) {
    open_unit(k_unit, "P.PER");
    int read = 0;
    while (records::read_formatted(k_unit, formats::k_results_record,
                                   {records::in_text(key, 6), records::in_text(name, 14),
                                    records::in_integers(counts, 5)},
                                   records::EndOfFile::branch) == 0) {
      ++read;
    }
    records::close_unit(k_unit);
    if (read != records) state.SkipWithError("not every record was read");
    benchmark::DoNotOptimize(counts);
  }
  records::detail::set_input_plans(true);
  state.SetItemsProcessed(state.iterations() * records);
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_ReadResultsRecords(benchmark::State& state) {
  read_results_records(state, true);
}
BENCHMARK(BM_ReadResultsRecords)->Unit(benchmark::kMicrosecond);

void BM_ReadResultsRecordsGeneralLoop(benchmark::State& state) {
  read_results_records(state, false);
}
BENCHMARK(BM_ReadResultsRecordsGeneralLoop)->Unit(benchmark::kMicrosecond);

// Writes with `statement` to a file; the file is cut back every few thousand
// statements (outside the timing) so it stays small.
template <typename Statement>
void write_to_file(benchmark::State& state, int records_per_statement, Statement statement) {
  const InScratch scratch;
  open_unit(k_unit, "P.PRO");
  int since_reopen = 0;
  for (auto _ : state) {
    statement();
    if (++since_reopen == 4096) {
      state.PauseTiming();
      records::close_unit(k_unit);
      open_unit(k_unit, "P.PRO");
      since_reopen = 0;
      state.ResumeTiming();
    }
  }
  records::close_unit(k_unit);
  state.SetItemsProcessed(state.iterations() * records_per_statement);
}

// (8F10.4) of one method's 21 profile values: three records.
void BM_WriteProfileValues(benchmark::State& state) {
  double values[21];
  for (int i = 0; i < 21; ++i) values[i] = 0.05 * i;
  write_to_file(state, 3, [&] {
    records::write_formatted(k_unit, formats::k_profile_values, {records::out_reals(values, 21)});
  });
}
BENCHMARK(BM_WriteProfileValues);

// The method record of the report: one record of 79 characters.
void BM_WriteMethodRecord(benchmark::State& state) {
  write_to_file(state, 1, [] {
    records::write_formatted(
        k_unit, formats::k_method_record,
        {records::out_text("METHOD"), records::out_integer(7), records::out_text("SOLVER-7      "),
         records::out_text("MEAN VALUE ="), records::out_real(0.738095238095238),
         records::out_text("EFFICIENCY ="), records::out_real(0.5)});
  });
}
BENCHMARK(BM_WriteMethodRecord);

// The header record of the report.
void BM_WriteReportHeader(benchmark::State& state) {
  write_to_file(state, 1, [] {
    records::write_formatted(
        k_unit, formats::k_report_header,
        {records::out_text("PERFORMANCE PROFILES:"), records::out_text("NFV "),
         records::out_real(2.0), records::out_real(0.1), records::out_integer(20)});
  });
}
BENCHMARK(BM_WriteReportHeader);

// (10F8.5) into the 80-character line buffer of the plot script.
void BM_WriteInternalValueLine(benchmark::State& state) {
  double values[10];
  for (int i = 0; i < 10; ++i) values[i] = 0.1 * i;
  char line[80];
  for (auto _ : state) {
    records::write_internal(line, 80, formats::k_value_line, {records::out_reals(values, 10)});
    benchmark::DoNotOptimize(line);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteInternalValueLine);

// One F10.4 field, over values of the report's kind and a few harder ones.
void BM_RenderFixed(benchmark::State& state) {
  const double values[] = {0.5, 0.738095238095238, 1.0, 0.03125, 2.0 / 3.0, 123.0, 0.1, 1e-5};
  char out[10];
  std::size_t i = 0;
  for (auto _ : state) {
    records::render_fixed(values[i], 10, 4, out);
    benchmark::DoNotOptimize(out);
    i = (i + 1) % std::size(values);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderFixed);

// One F10.4 input field, as the plot script reads the report back.
void BM_ParseReal(benchmark::State& state) {
  const std::string_view fields[] = {"    0.5000", "    1.0000", "    0.7381", "    0.0313",
                                     "      5000", "2.0D0     ", " -Infinity", "    0.1000"};
  std::size_t i = 0;
  for (auto _ : state) {
    double value = 0.0;
    const bool ok = records::parse_real(fields[i], 4, BlankMode::null, value);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(value);
    i = (i + 1) % std::size(fields);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseReal);

// One I10 input field of the results table.
void BM_ParseInteger(benchmark::State& state) {
  const std::string_view fields[] = {"       104", "      2214", "         0", "1 2       ",
                                     "-2147483648"};
  std::size_t i = 0;
  for (auto _ : state) {
    std::int32_t value = 0;
    const bool ok =
        records::parse_integer(fields[i], BlankMode::null, records::IntegerTarget::int32, value);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(value);
    i = (i + 1) % std::size(fields);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseInteger);

}  // namespace
