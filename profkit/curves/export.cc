#include "profkit/curves/export.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <thread>

#include "profkit/analysis/figures.h"
#include "profkit/curves/staircase.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/curves/tex_plot.h"
#include "profkit/table/large_pages.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace curves {
namespace {

// CSV rows of more values than this are formatted on k_workers threads.
constexpr std::size_t k_parallel_from = std::size_t{1} << 16;
constexpr std::size_t k_workers = 2;
// Fractions are cached for tables of fewer problems than this.
constexpr std::size_t k_cache_limit = std::size_t{1} << 28;
// A buffer that writes as it goes is written at this size.
constexpr std::size_t k_flush_at = std::size_t{1} << 20;
// A worker's first row buffer: a method's rows fit in it up to about 100,000
// problems, and pages that are never written cost no memory.
constexpr std::size_t k_first_rows = std::size_t{8} << 20;

// The shortest forms of k / problems, each made once: a fraction recurs in
// every method that reaches the same count.
class FractionText {
 public:
  explicit FractionText(std::size_t problems)
      : m_problems(static_cast<double>(problems)), m_place(problems + 1, 0) {}
  std::string_view of(std::size_t count) {
    std::uint64_t place = m_place[count];
    if (place == 0) {
      char buffer[textkit::k_shortest_room];
      char* const end = textkit::put_shortest(buffer, static_cast<double>(count) / m_problems);
      place = (static_cast<std::uint64_t>(m_text.size()) << 8) |
              static_cast<std::uint64_t>(end - buffer);
      m_text.insert(m_text.end(), buffer, end);
      m_place[count] = place;
    }
    return {m_text.data() + (place >> 8), static_cast<std::size_t>(place & 0xff)};
  }

 private:
  double m_problems;
  std::vector<std::uint64_t> m_place;  // offset << 8 | length; 0 before the first use
  std::vector<char> m_text;
};

// One worker's state for the CSV: sort scratch, the fraction cache and the
// rows of the method it formats.
struct CsvWorker {
  std::vector<double> ratios;
  std::vector<std::uint64_t> scratch;
  std::optional<FractionText> fractions;
  std::unique_ptr<char[]> rows;  // not cleared: only written bytes are read
  std::size_t capacity = 0;
  std::size_t used = 0;

  char* room(std::size_t bytes) {
    if (capacity - used < bytes) {
      const std::size_t grown = std::max({capacity * 2, used + bytes, k_first_rows});
      auto larger = std::make_unique_for_overwrite<char[]>(grown);
      table::advise_large_pages(larger.get(), grown);
      if (used > 0) std::memcpy(larger.get(), rows.get(), used);
      rows = std::move(larger);
      capacity = grown;
    }
    return rows.get() + used;
  }

  void flush(std::ostream& out) {
    out.write(rows.get(), static_cast<std::streamsize>(used));
    used = 0;
  }

  // Method m's staircase rows (as staircase_of computes them) into `rows`;
  // written to `out` every k_flush_at bytes when it is given.
  void format_method(const table::MeasureTable& t, const analysis::ProblemBest& best, std::size_t m,
                     std::ostream* out = nullptr) {
    sorted_log2_ratios_of(t, best, m, ratios, scratch);
    const std::string prefix = std::to_string(m + 1) + "," + textkit::csv_field(t.names[m]) + ",";
    const std::size_t row_room = prefix.size() + 2 * textkit::k_shortest_room + 3;
    const double problems = static_cast<double>(t.problems);
    const auto row = [&](double log2_ratio, std::size_t count) {
      char* at = room(row_room);
      char* const begin = at;
      std::memcpy(at, prefix.data(), prefix.size());
      at = textkit::put_shortest(at + prefix.size(), log2_ratio);
      *at++ = ',';
      if (fractions) {
        const std::string_view text = fractions->of(count);
        std::memcpy(at, text.data(), text.size());
        at += text.size();
      } else {
        at = textkit::put_shortest(at, static_cast<double>(count) / problems);
      }
      *at++ = '\r';
      *at++ = '\n';
      used += static_cast<std::size_t>(at - begin);
      if (out != nullptr && used >= k_flush_at) flush(*out);
    };
    for_each_step(ratios, row);
    if (out != nullptr) flush(*out);
  }
};

std::string title_of(const PlotOptions& options) {
  if (!options.figure.title.empty()) return options.figure.title;
  return "Performance profiles, criterion " + options.criterion;
}

std::string note_of(const table::MeasureTable& t, const PlotOptions& options, std::size_t drawn) {
  std::string note = std::to_string(t.methods()) + (t.methods() == 1 ? " method, " : " methods, ") +
                     std::to_string(t.problems) + (t.problems == 1 ? " problem" : " problems");
  if (drawn != t.methods()) note += " (" + std::to_string(drawn) + " drawn)";
  if (t.problems == 0) return note + "; nothing to draw";
  return note + (options.failures_nonpositive
                     ? "; failures (missing entries, counts of 0 or less) never count"
                     : "; failures (missing entries) never count");
}

}  // namespace

Chart profile_chart(const table::MeasureTable& t, const PlotOptions& options) {
  const analysis::ProblemBest best = analysis::best_measures(t);
  const double largest = largest_finite_log2_ratio(t, best);
  const bool ratio = !options.figure.log2_labels;
  std::optional<double> bound = options.bound;
  if (ratio && !bound && largest > 1) bound = std::ceil(largest);
  const XAxis axis = x_axis(largest, bound);
  Chart chart;
  chart.title = title_of(options);
  chart.x_label =
      ratio ? "ratio to the best count (log2 scale)" : "log2 of the ratio to the best count";
  chart.y_label = "share of problems";
  chart.x_min = 0;
  chart.x_max = axis.bound;
  if (ratio) {
    ratio_ticks(axis, chart.x_ticks, chart.x_tick_labels);
  } else {
    chart.x_ticks = axis.ticks;
  }
  chart.y_min = -0.02;
  chart.y_max = 1.02;
  chart.y_ticks = {0, 0.2, 0.4, 0.6, 0.8, 1};
  chart.width = options.figure.width;
  chart.height = options.figure.height;
  const std::vector<std::size_t> methods = drawn_methods(options.figure, t.methods());
  chart.note = note_of(t, options, methods.size());
  chart.series.reserve(methods.size());
  for (const std::size_t m : methods) {
    const Staircase s = staircase_of(t, best, m);
    Series series{t.names[m], {}, {}, true, m + 1};
    if (!s.fraction.empty() && !std::isnan(s.fraction.front())) {
      series.x = s.log2_ratio;
      series.y = s.fraction;
    }
    chart.series.push_back(std::move(series));
  }
  return chart;
}

void write_csv(std::ostream& out, const table::MeasureTable& t) {
  out << "method_number,method,log2_ratio,fraction\r\n";
  const analysis::ProblemBest best = analysis::best_measures(t);
  const std::size_t methods = t.methods();
  // Methods go to the workers in turns; each turn is written in method order.
  std::size_t workers = 1;
  if (methods > 1 && t.measures.size() >= k_parallel_from) {
    workers = std::min<std::size_t>(k_workers, methods);
  }
  // A worker caches fractions when it formats more than one method.
  const bool cache = methods >= 2 * workers && t.problems < k_cache_limit;
  std::vector<CsvWorker> work(workers);
  for (CsvWorker& w : work) {
    if (cache) w.fractions.emplace(t.problems);
  }
  for (std::size_t turn = 0; turn < methods; turn += workers) {
    const std::size_t in_turn = std::min(workers, methods - turn);
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k < in_turn; ++k) {
      try {
        threads.emplace_back([&, k] { work[k].format_method(t, best, turn + k); });
      } catch (const std::system_error&) {
        work[k].format_method(t, best, turn + k);  // no thread: on this one
      }
    }
    // Alone, the worker writes as it goes, so its buffer stays small.
    work[0].format_method(t, best, turn, in_turn == 1 ? &out : nullptr);
    for (std::thread& thread : threads) thread.join();
    for (std::size_t k = 0; k < in_turn; ++k) work[k].flush(out);
  }
}

XAxis x_axis(double largest_log2_ratio, std::optional<double> requested) {
  XAxis axis;
  const double range = requested ? *requested : largest_log2_ratio;
  if (!(range > 0)) return {2.0, 0.2, {0, 0.2, 0.4, 0.6, 0.8, 1, 1.2, 1.4, 1.6, 1.8, 2}};
  // 1, 2 or 5 times 10^k, k >= -1: the smallest with range / step <= 10.
  double power = 0.1;
  while (range / (5 * power) > 10) power *= 10;
  axis.step = range / power <= 10 ? power : range / (2 * power) <= 10 ? 2 * power : 5 * power;
  // Steps are multiples of 0.1: n * step rounded to tenths is the double
  // nearest the decimal value (3 * 0.2 gives 0.6000000000000001, kept as 0.6).
  const auto multiple = [&](double n) { return std::round(n * axis.step * 10) / 10; };
  if (requested) {
    axis.bound = *requested;
  } else {
    double n = std::ceil(range / axis.step);
    while (n > 1 && multiple(n - 1) >= range) n -= 1;
    while (multiple(n) < range) n += 1;
    axis.bound = multiple(n);
  }
  for (double i = 0; multiple(i) <= axis.bound; i += 1) axis.ticks.push_back(multiple(i));
  return axis;
}

void ratio_ticks(const XAxis& axis, std::vector<double>& values, std::vector<std::string>& labels) {
  values.clear();
  labels.clear();
  if (axis.bound < 2) {
    for (const double v : axis.ticks) {
      char text[32];
      std::snprintf(text, sizeof text, "%.3g", std::exp2(v));
      values.push_back(v);
      labels.emplace_back(text);
    }
    return;
  }
  // 1, 2 or 5 times 10^k whole log2 units: the smallest with at most 10 intervals.
  double step = 1;
  for (double power = 1;; power *= 10) {
    if (axis.bound / power <= 10) {
      step = power;
      break;
    }
    if (axis.bound / (2 * power) <= 10) {
      step = 2 * power;
      break;
    }
    if (axis.bound / (5 * power) <= 10) {
      step = 5 * power;
      break;
    }
  }
  for (double v = 0; v <= axis.bound; v += step) values.push_back(v);
  const bool powers = values.back() > 16;
  for (const double v : values) {
    const auto exponent = static_cast<unsigned>(v);
    labels.push_back(powers ? power_label(2, exponent) : std::to_string(1ULL << exponent));
  }
}

void write_svg(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options) {
  write_svg_document(out, profile_chart(t, options));
}

void write_tex(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options) {
  write_tex_picture(out, profile_chart(t, options), options.figure, "export");
}

}  // namespace curves
