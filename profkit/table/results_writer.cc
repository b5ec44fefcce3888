#include "profkit/table/results_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace table {
namespace {

// A best count from which profcmp's log2 ratio of a failure written as
// k_sentinel_count is at most 5, the largest bound: 2^26.
constexpr double k_exact_best_limit = 67108864.0;

constexpr std::size_t k_field_width = 10;
constexpr std::size_t k_counts = records::k_count_fields;
constexpr std::size_t k_name_width = records::k_name_length;
// profcmp's capacities, beyond which it stops with message 120.
constexpr std::size_t k_max_methods = records::k_max_methods;
constexpr std::size_t k_max_problems = records::k_max_problems;

// The longest prefix of `text` of at most `bytes` bytes that does not end
// inside a UTF-8 character.
std::string_view utf8_prefix(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t cut = bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u) --cut;
  return text.substr(0, cut);
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  out += text;
  out += '\'';
  return out;
}

std::string number_text(double v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

}  // namespace

CountFit count_of(double measure, const FieldSource& source, std::int64_t& count) {
  if (measure == k_failed) {
    count = k_sentinel_count;
    return CountFit::fits;
  }
  const double product = measure * source.scale;
  if (!(product < static_cast<double>(k_sentinel_count))) return CountFit::too_large;
  const double nearest = std::nearbyint(product);
  double whole = nearest;
  if (nearest != product) {
    if (!source.scaled) return CountFit::not_whole;
    const double ulp = std::nextafter(product, HUGE_VAL) - product;
    whole = std::fabs(product - nearest) <= 4 * ulp ? nearest : std::ceil(product);
  }
  whole = std::max(whole, 1.0);
  if (!(whole < static_cast<double>(k_sentinel_count))) return CountFit::too_large;
  count = static_cast<std::int64_t>(whole);
  return CountFit::fits;
}

std::vector<std::string> short_names(const std::vector<std::string>& names,
                                     std::vector<std::size_t>& renamed) {
  std::vector<std::string> out;
  out.reserve(names.size());
  std::unordered_set<std::string> taken;
  // Per cut name, the next suffix number to try, so that many names with
  // one prefix take linear time.
  std::unordered_map<std::string, std::size_t> next_suffix;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string clean = names[i];
    for (char& c : clean) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 32 || u == 127) c = '?';
    }
    while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    std::string name(utf8_prefix(clean, records::k_name_length));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (!taken.insert(name).second) {
      std::size_t& k = next_suffix.try_emplace(name, 2).first->second;
      std::string candidate;
      do {
        std::string suffix(1, '~');
        suffix += std::to_string(k++);
        candidate = std::string(utf8_prefix(name, records::k_name_length - suffix.size())) + suffix;
      } while (!taken.insert(candidate).second);
      name = std::move(candidate);
    }
    if (name != names[i]) renamed.push_back(i);
    out.push_back(std::move(name));
  }
  return out;
}

ResultsPlan plan_results(const std::vector<MeasureTable>& measures,
                         const std::vector<std::string>& problem_names,
                         std::vector<FieldSource> fields) {
  ResultsPlan plan;
  plan.fields = std::move(fields);
  std::sort(plan.fields.begin(), plan.fields.end(),
            [](const FieldSource& a, const FieldSource& b) { return a.field < b.field; });
  const MeasureTable& first = measures.front();
  const std::size_t methods = first.methods();
  const std::size_t problems = problem_names.size();

  // Every count must fit before anything is written.
  for (const FieldSource& f : plan.fields) {
    const MeasureTable& t = measures[f.measure];
    for (std::size_t m = 0; m < methods; ++m) {
      for (std::size_t k = 0; k < t.cells(m); ++k) {
        const double measure = t.measures[t.row_begin(m) + k];
        std::int64_t count = 0;
        const CountFit fit = count_of(measure, f, count);
        if (fit == CountFit::fits) continue;
        const std::string what = "method " + quoted(t.names[m]) + ", problem " +
                                 quoted(problem_names[t.problem_of(m, k)]) + ": " + f.column + " " +
                                 number_text(measure);
        if (fit == CountFit::not_whole) {
          plan.error = what + " is not a whole count; give --scale " + f.column +
                       "=FACTOR to turn it into one (rounded up)";
        } else {
          plan.error = what + (f.scaled ? " x " + number_text(f.scale) : std::string()) +
                       " does not fit a count (at most 2147483646; 2147483647 stands for a "
                       "failure)";
        }
        return plan;
      }
    }
  }

  std::vector<std::size_t> renamed;
  plan.method_names = short_names(first.names, renamed);
  for (const std::size_t m : renamed) {
    plan.notes.push_back(first.names[m] + " -> " + plan.method_names[m]);
  }
  renamed.clear();
  plan.problem_names = short_names(problem_names, renamed);
  for (const std::size_t p : renamed) {
    plan.notes.push_back(problem_names[p] + " -> " + plan.problem_names[p]);
  }

  for (const FieldSource& f : plan.fields) {
    const MeasureTable& t = measures[f.measure];
    const std::string field(records::count_name(f.field));
    std::size_t unsolved = 0, inexact = 0;
    std::size_t first_unsolved = 0, first_inexact = 0;
    // Per problem the best count and how many methods solved it; a method
    // without a cell failed.
    std::vector<double> best_count(problems, 0);
    std::vector<std::size_t> solved(problems, 0);
    for (std::size_t m = 0; m < methods; ++m) {
      t.visit(m, [&](std::size_t p, double measure) {
        std::int64_t count = 0;
        count_of(measure, f, count);
        if (count == k_sentinel_count) return;
        ++solved[p];
        double& best = best_count[p];
        if (best == 0 || static_cast<double>(count) < best) best = static_cast<double>(count);
      });
    }
    for (std::size_t p = 0; p < problems; ++p) {
      const double best = best_count[p];
      const bool failed = solved[p] < methods;
      if (best == 0) {
        if (unsolved++ == 0) first_unsolved = p;
      } else if (failed && best >= k_exact_best_limit) {
        if (inexact++ == 0) first_inexact = p;
      }
    }
    if (unsolved > 0) {
      plan.notes.push_back(
          "profkit: warning: " + field + " (" + f.column + "): " + std::to_string(unsolved) +
          (unsolved == 1 ? " problem" : " problems") + " that every method failed, the first " +
          quoted(plan.problem_names[first_unsolved]) +
          ", written all the same: profcmp counts such a problem as solved by every method at "
          "ratio 1");
    }
    if (inexact > 0) {
      plan.notes.push_back(
          "profkit: warning: " + field + " (" + f.column + "): " + std::to_string(inexact) +
          (inexact == 1 ? " problem" : " problems") +
          " with a failure and a best count of 2^26 "
          "or more, the first " +
          quoted(plan.problem_names[first_inexact]) +
          ": profcmp may count the failure (2147483647) within the bound, and its profile "
          "values and MEAN VALUE differ from profkit's");
    }
  }
  if (methods > k_max_methods) {
    plan.notes.push_back("profkit: warning: " + std::to_string(methods) +
                         " methods: profcmp stops at the 21st method record (message 120)");
  }
  if (problems > k_max_problems) {
    plan.notes.push_back("profkit: warning: " + std::to_string(problems) +
                         " problems: profcmp stops at the 201st problem record of a method "
                         "(message 120)");
  }
  return plan;
}

void write_results(std::ostream& out, const std::vector<MeasureTable>& measures,
                   const ResultsPlan& plan) {
  const std::size_t methods = plan.method_names.size();
  const std::size_t problems = plan.problem_names.size();
  std::string record;
  // A write that failed (a full disk) ends the writing: the rest would fail too.
  for (std::size_t m = 0; m < methods && out; ++m) {
    record.assign("METHOD  ");
    record += plan.method_names[m];
    record.resize(k_name_column + records::k_name_length, ' ');
    record += "\r\n";
    out.write(record.data(), static_cast<std::streamsize>(record.size()));
    for (std::size_t p = 0; p < problems; ++p) {
      record.assign(k_name_column, ' ');
      record += plan.problem_names[p];
      record.resize(
          k_name_column + records::k_name_length + records::k_count_fields * k_field_width, ' ');
      for (const FieldSource& f : plan.fields) {
        std::int64_t count = 0;
        count_of(measures[f.measure].at(m, p), f, count);
        const std::string digits = std::to_string(count);
        const std::size_t end =
            k_name_column + records::k_name_length + (f.field + 1) * k_field_width;
        record.replace(end - digits.size(), digits.size(), digits);
      }
      record += "\r\n";
      out.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
  }
}

}  // namespace table
