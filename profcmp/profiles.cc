#include "profcmp/profiles.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>

#include "arithmetic/profile_arithmetic.h"
#include "records/failure_stop.h"
#include "records/record_format.h"
#include "records/units.h"

namespace profiles {
namespace {

using records::k_count_fields;
using records::k_criterion_length;
using records::k_key_length;
using records::k_method_key;
using records::k_name_length;

ProfileTables g_tables;
bool g_tables_used = false;  // a call has written g_tables since the start

static_assert(std::is_trivially_copyable_v<ProfileTables>,
              "the tables are cleared with memset at the start of every call");

// The measure of one problem record: the selected count, at least 1. A
// criterion that selects no count takes every measure as 1.
std::int32_t measure_of(const std::int32_t* counts, std::int32_t measure_index) {
  if (measure_index < 1) return 1;
  const std::int32_t count = counts[measure_index - 1];
  return count < 1 ? 1 : count;
}

[[noreturn]] void stop_beyond_capacity() {
  records::failure_stop(records::Message::capacity_exceeded, k_results_unit,
                        records::unit_file_name(k_results_unit));
}

// Reads unit 7 to its end into measure_table. Records ahead of the first
// method header are counted but not stored; the first header resets the count.
void read_results_table(ProfileTables& t) {
  char key[k_key_length];
  char name[k_name_length];
  std::int32_t counts[k_count_fields] = {};
  std::memset(key, ' ', sizeof key);
  std::memset(name, ' ', sizeof name);

  // The same targets for every record: the item list is built once.
  const records::InItem items[] = {records::in_text(key, k_key_length),
                                   records::in_text(name, k_name_length),
                                   records::in_integers(counts, k_count_fields)};
  // The counters live in locals while the table is read: the statements
  // between records cannot change them, and the compiler cannot know that.
  std::int32_t methods = t.method_count;
  std::int32_t problems = t.problem_count;
  const std::int32_t measure_index = t.measure_index;
  while (records::read_formatted(k_results_unit, records::formats::k_results_record, items,
                                 records::EndOfFile::branch) == 0) {
    if (std::string_view(key, k_key_length) == k_method_key) {
      if (methods == k_max_methods) stop_beyond_capacity();
      ++methods;
      std::memcpy(t.method_names[methods], name, k_name_length);
      problems = 0;
    } else if (methods == 0) {
      if (problems < std::numeric_limits<std::int32_t>::max()) ++problems;
    } else {
      if (problems == k_max_problems) stop_beyond_capacity();
      ++problems;
      t.measure_table[problems][methods] = measure_of(counts, measure_index);
      t.group_length[methods] = problems;
    }
  }
  t.method_count = methods;

  // A shorter group did not report the problems beyond its end: they count as
  // its failures, and the problems run to the end of the longest group. With
  // groups of equal length this is the last group's count.
  // Records ahead of the first method header belong to no group. Without any
  // header they are the whole table and no problem is stored: none is counted.
  t.problem_count = 0;
  for (int m = 1; m <= t.method_count; ++m) {
    if (t.group_length[m] > t.problem_count) t.problem_count = t.group_length[m];
  }
}

bool reported(const ProfileTables& t, int p, int m) {
  return p <= t.group_length[m];
}

// Best measure, sum, ratios, log-ratios and the sums of relative excesses.
// Every problem up to problem_count is reported by the longest group, so the
// best measure is at least 1 and no ratio divides by zero.
void compute_ratios(ProfileTables& t) {
  // Bounds and per-problem figures in locals: the logarithm's call would
  // otherwise make the compiler load them again from the tables.
  const int methods = t.method_count;
  const int problems = t.problem_count;
  for (int p = 1; p <= problems; ++p) {
    bool have_best = false;
    std::int32_t best = 0;
    std::int64_t sum = 0;
    for (int m = 1; m <= methods; ++m) {
      if (!reported(t, p, m)) continue;
      const std::int32_t measure = t.measure_table[p][m];
      if (!have_best || measure < best) best = measure;
      have_best = true;
      sum += measure;
    }
    t.best_measure[p] = best;
    t.measure_sum[p] = sum;
    for (int m = 1; m <= methods; ++m) {
      double ratio = std::numeric_limits<double>::infinity();
      double excess = k_missing_excess;
      if (reported(t, p, m)) {
        const std::int32_t measure = t.measure_table[p][m];
        ratio = performance_ratio(measure, best);
        excess = relative_excess(measure, best, sum);
      }
      t.ratio_table[p][m] = ratio;
      t.log_ratio[p][m] = log2_ratio(ratio);
      t.efficiency_score[m] += excess;
    }
  }
}

// Turns each sum of relative excesses into problems per excess and finds the largest.
void compute_scores(ProfileTables& t) {
  t.efficiency_max = 0.0;
  for (int m = 1; m <= t.method_count; ++m) {
    t.efficiency_score[m] = static_cast<double>(t.problem_count) / t.efficiency_score[m];
    if (t.efficiency_max < t.efficiency_score[m]) t.efficiency_max = t.efficiency_score[m];
  }
}

// Profile values at x = 0, step, step + step, ... up to the bound. x is
// accumulated by repeated addition, so a ratio of exactly 2 (log-ratio 1.0) is
// first counted where the accumulated x passes 0.9999999999999999.
// The abscissae increase, so each log-ratio is counted from the first
// abscissa at or above it on: it is found once, by bisection, and the counts
// of every abscissa are the running sums of those first places. A NaN or a
// log-ratio above the last abscissa is never counted.
void sweep(ProfileTables& t, double bound) {
  double abscissae[k_max_abscissae];
  t.abscissa_count = accumulate_abscissae(bound, t.step, abscissae, k_max_abscissae);
  const int last = t.abscissa_count - 1;
  for (int m = 1; m <= t.method_count; ++m) {
    std::int32_t entering[k_max_abscissae] = {};
    for (int p = 1; p <= t.problem_count; ++p) {
      const double r = t.log_ratio[p][m];
      if (!(r <= abscissae[last])) continue;
      int low = 0;  // the first abscissa at or above r lies in [low, high]
      int high = last;
      while (low < high) {
        const int middle = (low + high) / 2;
        if (r <= abscissae[middle]) {
          high = middle;
        } else {
          low = middle + 1;
        }
      }
      ++entering[low];
    }
    std::int32_t count = 0;
    MeanValueSum mean(t.problem_count);
    for (int j = 1; j <= t.abscissa_count; ++j) {
      count += entering[j - 1];
      t.profile_table[j][m] = mean.add(count);
    }
    t.mean_value[m] = mean.mean_value();
  }
}

void write_blank_record() {
  records::write_formatted(k_report_unit, records::formats::k_one_character,
                           {records::out_text(" ")});
}

void write_header(const ProfileTables& t, const char* criterion, double bound) {
  records::write_formatted(
      k_report_unit, records::formats::k_report_header,
      {records::out_text("PERFORMANCE PROFILES:"), records::out_text(criterion, k_criterion_length),
       records::out_real(bound), records::out_real(t.step), records::out_integer(t.method_count)});
  write_blank_record();
}

void write_method_block(const ProfileTables& t, int m, double efficiency) {
  records::write_formatted(k_report_unit, records::formats::k_method_record,
                           {records::out_text("METHOD"), records::out_integer(m),
                            records::out_text(t.method_names[m], k_name_length),
                            records::out_text("MEAN VALUE ="), records::out_real(t.mean_value[m]),
                            records::out_text("EFFICIENCY ="), records::out_real(efficiency)});
  write_blank_record();
  // profile_table runs by abscissa; the statement wants the method's values contiguous.
  double row[k_max_abscissae];
  for (int j = 1; j <= t.abscissa_count; ++j) row[j - 1] = t.profile_table[j][m];
  records::write_formatted(k_report_unit, records::formats::k_profile_values,
                           {records::out_reals(row, t.abscissa_count)});
  write_blank_record();
}

}  // namespace

void compute_profiles(std::string_view criterion, double& bound) {
  ProfileTables& t = g_tables;
  // The tables start zeroed, as static storage; only a later call clears them.
  if (g_tables_used) std::memset(&t, 0, sizeof t);
  g_tables_used = true;

  char criterion_text[k_criterion_length];
  std::memset(criterion_text, ' ', sizeof criterion_text);
  std::memcpy(criterion_text, criterion.data(),
              criterion.size() < sizeof criterion_text ? criterion.size() : sizeof criterion_text);

  t.measure_index = records::measure_index_of(std::string_view(criterion_text, k_criterion_length));
  t.step = normalise_bound(bound);
  read_results_table(t);

  write_header(t, criterion_text, bound);

  compute_ratios(t);
  compute_scores(t);
  sweep(t, bound);

  for (int m = 1; m <= t.method_count; ++m) {
    t.efficiency[m] = efficiency_of(t.efficiency_score[m], t.efficiency_max);
    write_method_block(t, m, t.efficiency[m]);
  }
}

const ProfileTables& profile_tables() {
  return g_tables;
}

}  // namespace profiles
