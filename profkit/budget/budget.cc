#include "profkit/budget/budget.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "profkit/analysis/figures.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace budget {
namespace {

using textkit::csv_field;
using textkit::fixed;
using textkit::shortest;

std::string padded_left(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padded_right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// The distribution of `measures` (one per problem, k_failed for a failure).
Curve curve_of(std::vector<double> measures, std::size_t problems) {
  Curve c;
  measures.erase(std::remove(measures.begin(), measures.end(), table::k_failed), measures.end());
  std::sort(measures.begin(), measures.end());
  c.solved = measures.size();
  const double total = static_cast<double>(problems);
  for (std::size_t i = 0; i < measures.size(); ++i) {
    if (i + 1 < measures.size() && measures[i + 1] == measures[i]) continue;
    c.counts.push_back(measures[i]);
    c.fractions.push_back(static_cast<double>(i + 1) / total);
  }
  return c;
}

// exp(mean(log(measure + shift))) - shift over `problems` problems, a
// failure counted as `charge`; the logarithms are added in problem order.
// `cells` calls its argument with (problem, measure) for problems in
// ascending order; every other problem is a failure.
template <typename Cells>
double geometric_mean(Cells&& cells, std::size_t problems, double charge, double shift) {
  const double failed = std::log(charge + shift);
  double sum = 0.0;
  std::size_t next = 0;
  cells([&](std::size_t p, double measure) {
    sum = analysis::add_repeatedly(sum, failed, p - next);
    sum += measure == table::k_failed ? failed : std::log(measure + shift);
    next = p + 1;
  });
  sum = analysis::add_repeatedly(sum, failed, problems - next);
  return std::exp(sum / static_cast<double>(problems)) - shift;
}

// The name of output method `number` (0: the virtual best).
const std::string& name_of(const std::vector<std::string>& names, std::size_t number) {
  static const std::string virtual_best = k_virtual_best_name;
  return number == 0 ? virtual_best : names[number - 1];
}

const Curve& curve_at(const BudgetCurves& curves, std::size_t number) {
  return number == 0 ? curves.virtual_best : curves.methods[number - 1];
}

void write_curve_text(std::ostream& out, const std::string& heading, const Curve& c,
                      std::size_t problems) {
  out << heading << ": " << c.solved << " of " << problems
      << (problems == 1 ? " problem solved\n" : " problems solved\n");
  if (c.counts.empty()) return;
  const std::size_t count_width = std::max<std::size_t>(5, count_text(c.counts.back()).size());
  out << "  " << padded_left("count", count_width) << "  fraction\n";
  for (std::size_t i = 0; i < c.counts.size(); ++i) {
    out << "  " << padded_left(count_text(c.counts[i]), count_width) << "  "
        << padded_left(fixed(c.fractions[i], 4), 8) << '\n';
  }
}

}  // namespace

std::string count_text(double measure) {
  if (measure == std::floor(measure) && measure < 9007199254740992.0) {
    return std::to_string(static_cast<std::uint64_t>(measure));
  }
  return shortest(measure);
}

BudgetCurves compute(const table::MeasureTable& t) {
  BudgetCurves curves;
  curves.problems = t.problems;
  std::vector<double> measures;
  for (std::size_t m = 0; m < t.methods(); ++m) {
    measures.clear();
    t.visit(m, [&](std::size_t, double measure) { measures.push_back(measure); });
    curves.methods.push_back(curve_of(measures, t.problems));
  }
  curves.virtual_best = curve_of(analysis::best_measures(t).best, t.problems);
  return curves;
}

GeometricMeans shifted_geometric_means(const table::MeasureTable& t, double shift) {
  GeometricMeans g;
  g.shift = shift;
  for (const double measure : t.measures) g.largest = std::max(g.largest, measure);
  g.failure_charge = 2.0 * static_cast<double>(g.largest);
  const bool defined = t.problems > 0 && g.largest != table::k_failed;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const auto cells = [&](auto&& visit) { t.visit(m, visit); };
    g.methods.push_back(defined ? geometric_mean(cells, t.problems, g.failure_charge, shift) : nan);
    g.failures.push_back(t.problems - t.solved_count(m));
  }
  const std::vector<double> best = analysis::best_measures(t).best;
  const auto best_cells = [&](auto&& visit) {
    for (std::size_t p = 0; p < best.size(); ++p) visit(p, best[p]);
  };
  g.virtual_best = defined ? geometric_mean(best_cells, t.problems, g.failure_charge, shift) : nan;
  g.virtual_best_failures =
      static_cast<std::size_t>(std::count(best.begin(), best.end(), table::k_failed));
  return g;
}

void write_budget_csv(std::ostream& out, const std::vector<std::string>& names,
                      const BudgetCurves& curves) {
  out << "method_number,method,count,fraction\r\n";
  for (std::size_t number = 0; number <= curves.methods.size(); ++number) {
    const Curve& c = curve_at(curves, number);
    const std::string name = csv_field(name_of(names, number));
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
      out << number << ',' << name << ',' << count_text(c.counts[i]) << ','
          << shortest(c.fractions[i]) << "\r\n";
    }
  }
}

void write_budget_text(std::ostream& out, const std::vector<std::string>& names,
                       const BudgetCurves& curves, const GeometricMeans& means) {
  const std::size_t methods = curves.methods.size();
  out << "Share of all " << curves.problems << (curves.problems == 1 ? " problem" : " problems")
      << " solved within a budget of the count; failures never count.\n";
  const std::size_t number_width = std::to_string(methods).size();
  for (std::size_t number = 0; number <= methods; ++number) {
    out << '\n';
    write_curve_text(out,
                     padded_left(std::to_string(number), number_width) + "  " +
                         textkit::terminal(name_of(names, number)),
                     curve_at(curves, number), curves.problems);
  }
  out << '\n';
  if (curves.problems == 0 || means.largest == table::k_failed) {
    out << "Shifted geometric mean of the counts (shift " << shortest(means.shift)
        << "): " << textkit::k_undefined << ", since the table holds no solved count.\n";
    return;
  }
  out << "Shifted geometric mean of the counts (shift " << shortest(means.shift)
      << "); a failure is charged at 2 x " << count_text(means.largest) << " = "
      << shortest(means.failure_charge) << ", twice the largest count in the table.\n";
  std::size_t name_width = std::string("method").size();
  std::vector<std::string> shown;
  for (std::size_t number = 0; number <= methods; ++number) {
    shown.push_back(textkit::terminal(name_of(names, number)));
    name_width = std::max(name_width, shown.back().size());
  }
  const std::string failures = "failures", mean = "geometric mean";
  std::size_t failures_width = failures.size();
  failures_width = std::max(failures_width, std::to_string(curves.problems).size());
  out << "  " << padded_left("#", number_width) << "  " << padded_right("method", name_width)
      << "  " << failures << "  " << mean << '\n';
  for (std::size_t number = 0; number <= methods; ++number) {
    const double value = number == 0 ? means.virtual_best : means.methods[number - 1];
    const std::size_t failed =
        number == 0 ? means.virtual_best_failures : means.failures[number - 1];
    out << "  " << padded_left(std::to_string(number), number_width) << "  "
        << padded_right(shown[number], name_width) << "  "
        << padded_left(std::to_string(failed), failures_width) << "  "
        << padded_left(textkit::figure(value, 2), mean.size()) << '\n';
  }
}

curves::Chart budget_plot(const std::vector<std::string>& names, const BudgetCurves& curves,
                          const std::string& criterion, const curves::FigureOptions& options) {
  std::string label = criterion;
  while (!label.empty() && label.back() == ' ') label.pop_back();
  curves::Chart chart;
  chart.title = options.title.empty() ? "Share of problems solved within a budget of " + label
                                      : options.title;
  chart.x_label = label + " (logarithmic)";
  chart.y_label = "share of all problems solved";
  chart.log_x = true;
  chart.y_min = 0.0;
  chart.y_max = 1.0;
  chart.width = options.width;
  chart.height = options.height;
  chart.note =
      "Failures never count (off the axis, right of its end); virtual best: the smallest count "
      "on each problem.";
  const std::vector<std::size_t> drawn = curves::drawn_methods(options, curves.methods.size());
  std::vector<std::size_t> numbers{0};  // the virtual best, then the drawn methods
  for (const std::size_t m : drawn) numbers.push_back(m + 1);

  double smallest = 0, largest = 0;
  for (const std::size_t number : numbers) {
    const Curve& c = curve_at(curves, number);
    if (c.counts.empty()) continue;
    if (smallest == 0 || c.counts.front() < smallest) smallest = c.counts.front();
    largest = std::max(largest, c.counts.back());
  }
  // From a power of ten at or below the smallest count (below 1 for costs
  // smaller than 1) to the largest count, at least one decade.
  double low = 1;
  while (smallest > 0 && low * 10 <= smallest) low *= 10;
  while (smallest > 0 && low > smallest) low /= 10;
  chart.x_min = low;
  chart.x_max = std::max(largest, low * 10);
  std::vector<double> powers;
  for (double p = low; p <= chart.x_max * (1 + 1e-12); p *= 10) powers.push_back(p);
  const bool superscripts = powers.back() > 1e4 || low < 1;
  for (const double p : powers) {
    chart.x_ticks.push_back(p);
    const int exponent = static_cast<int>(std::lround(std::log10(p)));
    if (!superscripts) {
      chart.x_tick_labels.push_back(count_text(p));
    } else if (exponent >= 0) {
      chart.x_tick_labels.push_back(curves::power_label(10, static_cast<unsigned>(exponent)));
    } else {
      chart.x_tick_labels.push_back(curves::power_label(10, static_cast<unsigned>(-exponent)));
      chart.x_tick_labels.back().insert(2, "\xE2\x81\xBB");  // superscript minus
    }
  }

  for (const std::size_t number : numbers) {
    const Curve& c = curve_at(curves, number);
    curves::Series series;
    series.name =
        number == 0 ? name_of(names, 0) : std::to_string(number) + " " + names[number - 1];
    series.method = number == 0 ? curves::k_virtual_best : number;
    if (c.counts.empty() || c.counts.front() > low) {
      series.x.push_back(chart.x_min);
      series.y.push_back(0.0);
    }
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
      series.x.push_back(static_cast<double>(c.counts[i]));
      series.y.push_back(c.fractions[i]);
    }
    chart.series.push_back(std::move(series));
  }
  return chart;
}

}  // namespace budget
