#include "profkit/bootstrap/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "arithmetic/profile_arithmetic.h"
#include "profkit/analysis/figures.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace bootstrap {
namespace {

constexpr double k_nan = std::numeric_limits<double>::quiet_NaN();

// The value of sorted replicate values at the interval's ranks.
template <class T, class Convert>
void fill_interval(std::vector<T>& values, Interval& interval, Convert convert) {
  std::sort(values.begin(), values.end());
  interval.lower = convert(values[lower_rank(values.size())]);
  interval.upper = convert(values[upper_rank(values.size())]);
}

}  // namespace

std::size_t lower_rank(std::size_t n) {
  return (n - 1) / 40;
}

std::size_t upper_rank(std::size_t n) {
  return (39 * (n - 1) + 39) / 40;
}

Result run(const table::MeasureTable& t, const Options& options, const ReplicateVisitor& visit) {
  const analysis::Figures figures = analysis::compute_figures(t, options.bound);
  const std::size_t methods = t.methods();
  const std::size_t problems = t.problems;
  const std::size_t abscissae = figures.abscissae.size();
  const std::size_t replicates = options.replicates;

  Result r;
  r.bound = figures.bound;
  r.replicates = replicates;
  r.seed = options.seed;
  r.problems = problems;
  r.methods.resize(methods);
  for (std::size_t m = 0; m < methods; ++m) {
    MethodResult& mr = r.methods[m];
    mr.mean_value.estimate = figures.mean_value[m];
    mr.rho_0.estimate = figures.profile[m].front();
    mr.rho_bound.estimate = figures.profile[m].back();
  }
  if (problems == 0 || replicates == 0) {
    for (MethodResult& mr : r.methods) {
      for (Interval* i : {&mr.mean_value, &mr.rho_0, &mr.rho_bound}) i->lower = i->upper = k_nan;
      mr.p_first = k_nan;
    }
    return r;
  }

  // A problem's best measure is the same whichever problems are drawn, so
  // each (method, problem) has a fixed first abscissa at which it counts
  // (log2 ratio <= x, as profcmp compares); `abscissae` for never, which no
  // sum reads. Problem-major, so that one drawn problem is one contiguous
  // row: one byte per method and problem where most of them count, else
  // only the (method, abscissa) pairs that count, so that a sparse table
  // costs memory in proportion to what it holds.
  const analysis::ProblemBest best = analysis::best_measures(t);
  struct Entry {
    std::uint32_t method;
    std::uint8_t first;
  };
  std::vector<std::size_t> entry_end(problems, 0);
  std::size_t entries = 0;
  const auto first_of = [&](std::size_t p, double measure) {
    const double ratio = analysis::log2_ratio_of(measure, best.best[p]);
    return static_cast<std::uint8_t>(
        std::lower_bound(figures.abscissae.begin(), figures.abscissae.end(), ratio) -
        figures.abscissae.begin());
  };
  for (std::size_t m = 0; m < methods; ++m) {
    t.visit(m, [&](std::size_t p, double measure) {
      if (first_of(p, measure) < abscissae) {
        ++entry_end[p];
        ++entries;
      }
    });
  }
  const bool dense = problems * methods <= entries * sizeof(Entry);
  std::vector<std::uint8_t> first;
  std::vector<Entry> sparse;
  if (dense) {
    first.assign(problems * methods, static_cast<std::uint8_t>(abscissae));
    for (std::size_t m = 0; m < methods; ++m) {
      t.visit(
          m, [&](std::size_t p, double measure) { first[p * methods + m] = first_of(p, measure); });
    }
  } else {
    for (std::size_t p = 1; p < problems; ++p) entry_end[p] += entry_end[p - 1];
    sparse.resize(entries);
    // Filled from the back, so that each problem's pairs end in method order.
    for (std::size_t m = methods; m-- > 0;) {
      t.visit(m, [&](std::size_t p, double measure) {
        const std::uint8_t j = first_of(p, measure);
        if (j < abscissae) sparse[--entry_end[p]] = {static_cast<std::uint32_t>(m), j};
      });
    }
    // entry_end[p] is now the start of problem p's pairs.
    entry_end.push_back(entries);
  }

  const std::size_t columns = abscissae + 1;
  std::vector<std::uint32_t> histogram(methods * columns);
  // Replicate-major, so that a replicate writes one stretch.
  std::vector<double> means(methods * replicates);
  std::vector<std::uint32_t> at_0(methods * replicates);
  std::vector<std::uint32_t> at_bound(methods * replicates);
  std::vector<std::uint64_t> wins(methods, 0);
  std::vector<std::int64_t> replicate_sum(methods);

  // A method none of whose counting pairs is drawn has the figures of an
  // empty histogram; the sparse form works only on the methods drawn.
  profiles::MeanValueSum nothing(static_cast<std::int64_t>(problems));
  for (std::size_t j = 0; j < abscissae; ++j) nothing.add(0);
  const double nothing_mean = nothing.mean_value();
  std::vector<std::uint32_t> drawn;
  std::vector<bool> is_drawn(dense ? 0 : methods, false);

  // Method m's figures in replicate `rep` from its histogram, which is
  // cleared for the next replicate.
  const auto figures_of = [&](std::size_t m, std::size_t rep) {
    std::uint32_t* h = histogram.data() + m * columns;
    std::uint32_t count = 0;
    profiles::MeanValueSum sum(static_cast<std::int64_t>(problems));
    for (std::size_t j = 0; j < abscissae; ++j) {
      count += h[j];
      sum.add(count);
      if (j == 0) at_0[rep * methods + m] = count;
    }
    std::fill(h, h + columns, 0u);
    at_bound[rep * methods + m] = count;
    means[rep * methods + m] = sum.mean_value();
    replicate_sum[m] = sum.count_sum();
  };

  std::mt19937_64 generator(options.seed);
  for (std::size_t rep = 0; rep < replicates; ++rep) {
    for (std::size_t i = 0; i < problems; ++i) {
      const std::size_t p = static_cast<std::size_t>(draw_index(generator, problems));
      if (dense) {
        const std::uint8_t* row = first.data() + p * methods;
        for (std::size_t m = 0; m < methods; ++m) ++histogram[m * columns + row[m]];
      } else {
        for (std::size_t e = entry_end[p]; e < entry_end[p + 1]; ++e) {
          const std::uint32_t m = sparse[e].method;
          if (!is_drawn[m]) {
            is_drawn[m] = true;
            drawn.push_back(m);
          }
          ++histogram[m * columns + sparse[e].first];
        }
      }
    }
    if (dense) {
      for (std::size_t m = 0; m < methods; ++m) figures_of(m, rep);
    } else {
      for (std::size_t m = 0; m < methods; ++m) {
        at_0[rep * methods + m] = 0;
        at_bound[rep * methods + m] = 0;
        means[rep * methods + m] = nothing_mean;
        replicate_sum[m] = nothing.count_sum();
      }
      for (const std::uint32_t m : drawn) {
        figures_of(m, rep);
        is_drawn[m] = false;
      }
      drawn.clear();
    }
    // First is the largest MEAN VALUE, compared exactly through the count
    // sums (every replicate has the same problems and abscissae).
    std::int64_t largest = -1;
    for (const std::int64_t sum : replicate_sum) largest = std::max(largest, sum);
    for (std::size_t m = 0; m < methods; ++m) {
      if (replicate_sum[m] == largest) ++wins[m];
    }
    if (visit) visit(rep, replicate_sum);
  }

  const auto identity = [](double v) { return v; };
  const auto share = [problems](std::uint32_t c) {
    return profiles::profile_value(c, static_cast<std::int64_t>(problems));
  };
  // Each method's replicate values, gathered for a block of methods at a
  // time, so that every stretch read serves the whole block.
  constexpr std::size_t k_block = 64;
  const std::size_t width = std::min(k_block, methods);
  std::vector<double> mean_values(width * replicates);
  std::vector<std::uint32_t> zero_counts(width * replicates), bound_counts(width * replicates);
  for (std::size_t first = 0; first < methods; first += k_block) {
    const std::size_t block = std::min(k_block, methods - first);
    for (std::size_t rep = 0; rep < replicates; ++rep) {
      for (std::size_t k = 0; k < block; ++k) {
        mean_values[k * replicates + rep] = means[rep * methods + first + k];
        zero_counts[k * replicates + rep] = at_0[rep * methods + first + k];
        bound_counts[k * replicates + rep] = at_bound[rep * methods + first + k];
      }
    }
    for (std::size_t k = 0; k < block; ++k) {
      const std::size_t m = first + k;
      MethodResult& mr = r.methods[m];
      const auto slice = [&](auto& all) {
        using T = typename std::remove_reference_t<decltype(all)>::value_type;
        return std::vector<T>(all.begin() + static_cast<std::ptrdiff_t>(k * replicates),
                              all.begin() + static_cast<std::ptrdiff_t>((k + 1) * replicates));
      };
      auto mean_value = slice(mean_values);
      auto zero_count = slice(zero_counts);
      auto bound_count = slice(bound_counts);
      fill_interval(mean_value, mr.mean_value, identity);
      fill_interval(zero_count, mr.rho_0, share);
      fill_interval(bound_count, mr.rho_bound, share);
      mr.p_first = static_cast<double>(wins[m]) / static_cast<double>(replicates);
    }
  }
  return r;
}

void write_csv(std::ostream& out, const table::MeasureTable& t, const Result& r) {
  std::string text = "method_number,method,statistic,estimate,lower,upper\r\n";
  for (std::size_t m = 0; m < r.methods.size(); ++m) {
    const MethodResult& mr = r.methods[m];
    const auto row = [&](const char* statistic, const Interval& i) {
      text += std::to_string(m + 1);
      text += ',';
      text += textkit::csv_field(t.names[m]);
      text += ',';
      text += statistic;
      text += ',';
      textkit::append_shortest(text, i.estimate);
      text += ',';
      textkit::append_shortest(text, i.lower);
      text += ',';
      textkit::append_shortest(text, i.upper);
      text += "\r\n";
    };
    row("mean_value", mr.mean_value);
    row("rho_0", mr.rho_0);
    row("rho_bound", mr.rho_bound);
    row("p_first", Interval{mr.p_first, mr.p_first, mr.p_first});
  }
  out << text;
}

void write_text(std::ostream& out, const table::MeasureTable& t, const Result& r) {
  const std::string bound = textkit::bound_text(r.bound);
  out << "Bootstrap over problems: " << r.replicates << " replicates of " << r.problems
      << " problems drawn with replacement, seed " << r.seed << ", bound " << bound << ".\n"
      << "Each figure: the estimate on the whole table [95 % percentile interval of the "
         "replicates].\n"
      << "first: share of replicates in which the method has the largest MEAN VALUE (every "
         "tied method counts).\n\n";

  // A figure that is not defined (no problem) has no interval either.
  const auto cell = [](const Interval& i) {
    if (std::isnan(i.estimate)) return textkit::figure(i.estimate, 4);
    return textkit::fixed(i.estimate, 4) + " [" + textkit::figure(i.lower, 4) + ", " +
           textkit::figure(i.upper, 4) + "]";
  };
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"#", "method", "MEAN VALUE", "rho at 0", "rho at " + bound, "first"});
  for (std::size_t m = 0; m < r.methods.size(); ++m) {
    const MethodResult& mr = r.methods[m];
    rows.push_back({std::to_string(m + 1), textkit::terminal(t.names[m]), cell(mr.mean_value),
                    cell(mr.rho_0), cell(mr.rho_bound), textkit::figure(mr.p_first, 4)});
  }
  std::vector<std::size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::size_t pad = width[c] - row[c].size();
      if (c > 0) line += "  ";
      // Numbers are right-aligned; the name and the headings of the figures
      // left-aligned.
      if (c == 1 || (&row == &rows.front() && c > 0)) {
        line += row[c];
        if (c + 1 < row.size()) line.append(pad, ' ');
      } else {
        line.append(pad, ' ');
        line += row[c];
      }
    }
    out << line << '\n';
  }
}

}  // namespace bootstrap
