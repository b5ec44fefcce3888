#include "profkit/curves/export.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
  return "Performance profiles, criterion " + options.criterion;
}

std::string note_of(const table::MeasureTable& t, const PlotOptions& options) {
  std::string note = std::to_string(t.methods()) + (t.methods() == 1 ? " method, " : " methods, ") +
                     std::to_string(t.problems) + (t.problems == 1 ? " problem" : " problems");
  if (t.problems == 0) return note + "; nothing to draw";
  return note + (options.failures_nonpositive
                     ? "; failures (missing entries, counts of 0 or less) never count"
                     : "; failures (missing entries) never count");
}

// The staircase cut at the right end of the axis, with a last point on it so
// the final step reaches the edge. Empty when the fractions are NaN.
Series series_of(const std::string& name, const Staircase& s, double bound) {
  Series series;
  series.name = name;
  if (s.fraction.empty() || std::isnan(s.fraction.front())) return series;
  for (std::size_t i = 0; i < s.log2_ratio.size() && s.log2_ratio[i] <= bound; ++i) {
    series.x.push_back(s.log2_ratio[i]);
    series.y.push_back(s.fraction[i]);
  }
  if (series.x.back() < bound) {
    series.x.push_back(bound);
    series.y.push_back(series.y.back());
  }
  return series;
}

// The curves of every method on the axis the options ask for.
Chart plot_of(const table::MeasureTable& t, const PlotOptions& options, XAxis& axis) {
  const analysis::ProblemBest best = analysis::best_measures(t);
  axis = x_axis(largest_finite_log2_ratio(t, best), options.bound);
  Chart chart;
  chart.title = title_of(options);
  chart.x_label = "log2 of the ratio to the best count";
  chart.y_label = "share of problems";
  chart.x_min = 0;
  chart.x_max = axis.bound;
  chart.x_ticks = axis.ticks;
  chart.y_ticks = {0, 0.2, 0.4, 0.6, 0.8, 1};
  chart.note = note_of(t, options);
  chart.series.reserve(t.methods());
  for (std::size_t m = 0; m < t.methods(); ++m) {
    chart.series.push_back(series_of(t.names[m], staircase_of(t, best, m), axis.bound));
  }
  return chart;
}

// An SVG dash array ("8,4") as a TikZ dash pattern at half the length in pt.
std::string tikz_dash(const std::string& dash) {
  if (dash.empty()) return "solid";
  std::string pattern = "dash pattern=";
  std::istringstream in(dash);
  std::string length;
  for (int k = 0; std::getline(in, length, ','); ++k) {
    pattern += (k == 0 ? "" : " ");
    pattern += (k % 2 == 0 ? "on " : "off ");
    pattern += textkit::shortest(std::stod(length) / 2) + "pt";
  }
  return pattern;
}

std::string joined(const std::vector<double>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    textkit::append_shortest(out, values[i]);
  }
  return out;
}

}  // namespace

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

void write_svg(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options) {
  XAxis axis;
  write_svg_document(out, plot_of(t, options, axis));
}

void write_tex(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options) {
  XAxis axis;
  const Chart chart = plot_of(t, options, axis);
  out << "% " << title_of(options) << ", written by profkit export.\n"
      << "% Needs \\usepackage{pgfplots} and \\pgfplotsset{compat=1.18} in the preamble.\n"
      << "\\begin{tikzpicture}\n";
  for (std::size_t i = 0; i < chart.series.size() && i < 8; ++i) {
    out << "\\definecolor{profkit" << static_cast<char>('a' + i) << "}{HTML}{"
        << line_style(i).colour.substr(1) << "}\n";
  }
  out << "\\begin{axis}[\n"
      << "  title={" << textkit::tex_escape(chart.title) << "},\n"
      << "  xlabel={$\\log_2$ of the ratio to the best count},\n"
      << "  ylabel={" << textkit::tex_escape(chart.y_label) << "},\n"
      << "  xmin=0, xmax=" << textkit::shortest(axis.bound) << ", ymin=-0.02, ymax=1.02,\n"
      << "  xtick={" << joined(axis.ticks) << "},\n"
      << "  ytick={0,0.2,0.4,0.6,0.8,1},\n"
      << "  width=12cm, height=8cm, grid=major,\n"
      << "  legend pos=outer north east, legend cell align=left,\n"
      << "]\n";
  for (std::size_t i = 0; i < chart.series.size(); ++i) {
    const Series& s = chart.series[i];
    const LineStyle style = line_style(i);
    const std::string look = "color=profkit" + std::string(1, static_cast<char>('a' + i % 8)) +
                             ", " + tikz_dash(style.dash) + ", thick";
    if (s.x.empty()) {
      out << "\\addlegendimage{" << look << "}\n";
    } else {
      out << "\\addplot[const plot, no marks, " << look << "] coordinates {";
      for (std::size_t k = 0; k < s.x.size(); ++k) {
        out << (k == 0 ? "" : " ") << "(" << textkit::shortest(s.x[k]) << ","
            << textkit::shortest(s.y[k]) << ")";
      }
      out << "};\n";
    }
    out << "\\addlegendentry{" << textkit::tex_escape(s.name) << "}\n";
  }
  out << "\\end{axis}\n\\end{tikzpicture}\n";
}

}  // namespace curves
