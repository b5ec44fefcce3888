// The exact staircases and their documents: the step functions against
// profcmp's own profile values (through analysis::compute_figures for any
// table, through profiles::compute_profiles for tables within its capacity),
// golden CSV/SVG/TeX bytes, the axis rule and the escaping of names.
#include "profkit/curves/staircase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "kit_support.h"
#include "profcmp/profiles.h"
#include "profkit/analysis/figures.h"
#include "profkit/curves/export.h"
#include "profkit/curves/figure_options.h"
#include "profkit/curves/styles.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/curves/thinning.h"
#include "profkit/table/measure_table.h"
#include "records/units.h"

namespace {

constexpr std::int32_t F = table::k_failed;
const double k_nan = std::numeric_limits<double>::quiet_NaN();

std::string golden(const std::string& name) {
  return kit_support::read_file(kit_support::test_data("curves/" + name));
}

// Three methods on five problems: ties, a failure, a problem nobody solved
// is not here (see the property test), names that CSV must quote.
table::MeasureTable small_table() {
  table::MeasureTable t;
  t.names = {"BFGS", "CG, \"restarted\"", "Newton"};
  t.problems = 5;
  t.measures = {10, 20, 30, 40, 50,  // BFGS
                10, 40, 45, 10, F,   // CG
                20, 20, 15, 80, 100};
  return t;
}

std::string csv_of(const table::MeasureTable& t) {
  std::ostringstream out;
  curves::write_csv(out, t);
  return out.str();
}

std::string svg_of(const table::MeasureTable& t, std::optional<double> bound = std::nullopt) {
  std::ostringstream out;
  curves::write_svg(out, t, {"NFV", bound, false, {}});
  return out.str();
}

std::string tex_of(const table::MeasureTable& t) {
  std::ostringstream out;
  curves::write_tex(out, t, {"NFV", std::nullopt, false, {}});
  return out.str();
}

TEST(Staircase, BreakpointsOfTheSmallTable) {
  const table::MeasureTable t = small_table();
  const analysis::ProblemBest best = analysis::best_measures(t);
  const curves::Staircase cg = curves::staircase_of(t, best, 1);
  // CG: ratios 1, 2, 3, 1/4 -> 1 (log2 0), failure: 0 twice, log2 2, log2 3.
  ASSERT_EQ(cg.log2_ratio.size(), 3u);
  EXPECT_EQ(cg.log2_ratio[0], 0.0);
  EXPECT_EQ(cg.log2_ratio[1], std::log(2.0) * 1.4426950408889634);
  EXPECT_EQ(cg.log2_ratio[2], std::log(3.0) * 1.4426950408889634);
  EXPECT_EQ(cg.fraction, (std::vector<double>{2.0 / 5, 3.0 / 5, 4.0 / 5}));
  EXPECT_EQ(curves::value_at(cg, 0.999), 2.0 / 5);
  EXPECT_EQ(curves::value_at(cg, 1e9), 4.0 / 5);  // the failure never counts
  EXPECT_EQ(curves::largest_finite_log2_ratio(t, best), std::log(8.0) * 1.4426950408889634);
}

TEST(Staircase, NoProblemGivesOneNotANumberRow) {
  table::MeasureTable t;
  t.names = {"A"};
  const curves::Staircase s = curves::staircase_of(t, analysis::best_measures(t), 0);
  ASSERT_EQ(s.log2_ratio, std::vector<double>{0.0});
  EXPECT_TRUE(std::isnan(s.fraction[0]));
  EXPECT_EQ(csv_of(t), "method_number,method,log2_ratio,fraction\r\n1,A,0,nan\r\n");
}

// Random tables: sizes, ties (narrow count ranges), failures anywhere,
// problems nobody solved, ratios of exactly 2 (the 1.0 abscissa falls short).
table::MeasureTable random_table(std::mt19937_64& rng, std::size_t max_methods,
                                 std::size_t max_problems, bool failures) {
  table::MeasureTable t;
  const std::size_t methods = 1 + rng() % max_methods;
  t.problems = rng() % (max_problems + 1);
  for (std::size_t m = 0; m < methods; ++m) t.names.push_back("M" + std::to_string(m + 1));
  const int kind = static_cast<int>(rng() % 3);
  const std::int32_t top = kind == 0 ? 4 : kind == 1 ? 1000 : 2147483647;
  for (std::size_t i = 0; i < methods * t.problems; ++i) {
    std::int32_t v = 1 + static_cast<std::int32_t>(rng() % static_cast<std::uint64_t>(top));
    if (kind == 0 && rng() % 2 == 0) v = 1 << (rng() % 4);  // powers of two: ratios of 2, 4, 8
    if (failures && rng() % 7 == 0) v = F;
    t.measures.push_back(v);
  }
  return t;
}

const std::vector<double> k_bounds = {0.5, 1.0, 1.5, 2.0,  2.5, 3.0,  3.5,  4.0,  4.5,
                                      5.0, 0.3, 2.2, 4.75, 7.0, 0.01, -1.0, k_nan};

void expect_staircases_give(const table::MeasureTable& t, const analysis::Figures& f,
                            const std::string& context) {
  const analysis::ProblemBest best = analysis::best_measures(t);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const curves::Staircase s = curves::staircase_of(t, best, m);
    for (std::size_t j = 0; j < f.abscissae.size(); ++j) {
      const double v = curves::value_at(s, f.abscissae[j]);
      if (std::isnan(f.profile[m][j])) {
        EXPECT_TRUE(std::isnan(v)) << context;
      } else {
        ASSERT_EQ(v, f.profile[m][j]) << context << " method " << m << " abscissa " << j;
      }
    }
  }
}

TEST(StaircaseProperty, EqualsComputeFiguresAtEveryAbscissaOfEveryBound) {
  std::mt19937_64 rng(20261209);
  for (int round = 0; round < 300; ++round) {
    const table::MeasureTable t = random_table(rng, 40, 400, round % 2 == 0);
    for (const double bound : k_bounds) {
      const analysis::Figures f = analysis::compute_figures(t, bound);
      ASSERT_EQ(f.abscissae.size(), 21u);
      expect_staircases_give(t, f, "round " + std::to_string(round));
    }
  }
}

// profcmp itself, in process: a P.PER in a scratch directory, units 7 and 8
// opened as the run opens them.

// The five count columns of every record; group m holds `lengths[m]` records.
struct PerTable {
  std::vector<std::size_t> lengths;
  std::vector<std::vector<std::array<std::int64_t, 5>>> counts;  // [method][problem]
};

PerTable random_per(std::mt19937_64& rng) {
  PerTable per;
  const std::size_t methods = 1 + rng() % 20;
  const std::size_t problems = rng() % 201;
  const bool uneven = rng() % 2 == 0;
  const int kind = static_cast<int>(rng() % 3);
  for (std::size_t m = 0; m < methods; ++m) {
    per.lengths.push_back(uneven && problems > 0 ? rng() % (problems + 1) : problems);
    std::vector<std::array<std::int64_t, 5>> group(per.lengths.back());
    for (auto& record : group) {
      for (std::int64_t& c : record) {
        c = kind == 0   ? static_cast<std::int64_t>(rng() % 9) - 1  // 0 and -1 read as 1
            : kind == 1 ? 1 + static_cast<std::int64_t>(rng() % 300)
                        : 1 + static_cast<std::int64_t>(rng() % 2147483647);
      }
    }
    per.counts.push_back(group);
  }
  return per;
}

std::string per_text(const PerTable& per) {
  std::string text;
  for (std::size_t m = 0; m < per.counts.size(); ++m) {
    text += test_support::method_record("M" + std::to_string(m + 1));
    for (const auto& record : per.counts[m]) text += test_support::table_record("  P", "", record);
  }
  return text;
}

// The measure table of column `k` as profcmp takes it: counts below 1 are 1,
// entries missing from a short group are failures.
table::MeasureTable measures_of(const PerTable& per, int k) {
  table::MeasureTable t;
  for (std::size_t m = 0; m < per.counts.size(); ++m) {
    t.names.push_back("M" + std::to_string(m + 1));
    t.problems = std::max(t.problems, per.lengths[m]);
  }
  t.measures.assign(t.methods() * t.problems, F);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    for (std::size_t p = 0; p < per.lengths[m]; ++p) {
      t.measures[m * t.problems + p] =
          static_cast<std::int32_t>(std::max<std::int64_t>(1, per.counts[m][p][k]));
    }
  }
  return t;
}

TEST(StaircaseProperty, EqualsProfcmpsOwnProfileValues) {
  const kit_support::TempDir dir;
  std::mt19937_64 rng(7);
  const char* criteria[] = {"NIT ", "NFV ", "NFG ", "NCGR", "TIME"};
  for (int round = 0; round < 60; ++round) {
    const PerTable per = random_per(rng);
    kit_support::write_file(dir.file("P.PER"), per_text(per));
    for (int k = 0; k < 5; ++k) {
      const table::MeasureTable t = measures_of(per, k);
      const analysis::ProblemBest best = analysis::best_measures(t);
      std::vector<curves::Staircase> stairs;
      for (std::size_t m = 0; m < t.methods(); ++m) {
        stairs.push_back(curves::staircase_of(t, best, m));
      }
      for (const double requested : k_bounds) {
        double bound = requested;
        records::open_unit(7, dir.file("P.PER"), records::OpenStatus::unknown,
                           records::BlankMode::null);
        records::open_unit(8, dir.file("P.PRO"), records::OpenStatus::unknown,
                           records::BlankMode::null);
        profiles::compute_profiles(criteria[k], bound);
        records::close_unit(8);
        records::close_unit(7);
        const profiles::ProfileTables& pro = profiles::profile_tables();
        const analysis::Figures f = analysis::compute_figures(t, requested);
        ASSERT_EQ(pro.abscissa_count, 21);
        ASSERT_EQ(static_cast<std::size_t>(pro.method_count), t.methods());
        for (std::size_t m = 0; m < t.methods(); ++m) {
          for (int j = 0; j < 21; ++j) {
            const double mine = curves::value_at(stairs[m], f.abscissae[j]);
            const double theirs = pro.profile_table[j + 1][m + 1];
            if (std::isnan(theirs)) {
              EXPECT_TRUE(std::isnan(mine));
            } else {
              ASSERT_EQ(mine, theirs) << "round " << round << " " << criteria[k] << " bound "
                                      << requested << " method " << m << " abscissa " << j;
            }
          }
        }
      }
    }
  }
}

// Twenty methods on six problems, every method a different staircase.
table::MeasureTable twenty_table() {
  table::MeasureTable t;
  t.problems = 6;
  for (int m = 0; m < 20; ++m) {
    t.names.push_back("Method " + std::to_string(m + 1));
    for (int p = 0; p < 6; ++p) t.measures.push_back(p == m % 6 ? F : 10 + (m * 7 + p * 13) % 31);
  }
  return t;
}

// CURVES_UPDATE_GOLDEN=1 rewrites the golden files (review the diff).
TEST(Export, GoldenDocuments) {
  curves::PlotOptions chosen{"NIT", std::nullopt, false, {}};
  chosen.figure.methods = {19, 0, 7};  // a method keeps its style in any order
  chosen.figure.title = "Three of twenty";
  chosen.figure.width = 480;
  chosen.figure.height = 360;
  chosen.figure.log2_labels = true;
  chosen.figure.tex_width = curves::TexLength{8, "cm"};
  std::ostringstream chosen_svg, chosen_tex;
  curves::write_svg(chosen_svg, twenty_table(), chosen);
  curves::write_tex(chosen_tex, twenty_table(), chosen);
  const std::pair<const char*, std::string> documents[] = {
      {"small.csv", csv_of(small_table())},   {"small.svg", svg_of(small_table())},
      {"small.tex", tex_of(small_table())},   {"twenty.svg", svg_of(twenty_table())},
      {"twenty.tex", tex_of(twenty_table())}, {"chosen.svg", chosen_svg.str()},
      {"chosen.tex", chosen_tex.str()}};
  for (const auto& [name, text] : documents) {
    if (std::getenv("CURVES_UPDATE_GOLDEN") != nullptr) {
      kit_support::write_file(kit_support::test_data(std::string("curves/") + name), text);
    }
    EXPECT_EQ(text, golden(name)) << name;
  }
}

// Every CSV row, split into fields (the names here hold no quote).
std::vector<std::vector<std::string>> csv_rows(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::size_t at = 0;
  while (at < csv.size()) {
    const std::size_t end = csv.find("\r\n", at);
    std::vector<std::string> fields;
    std::stringstream line(csv.substr(at, end - at));
    for (std::string field; std::getline(line, field, ',');) fields.push_back(field);
    rows.push_back(fields);
    at = end + 2;
  }
  return rows;
}

TEST(Export, ThirtyMethodsOfFiveHundredProblems) {
  std::mt19937_64 rng(30);
  table::MeasureTable t;
  t.problems = 500;
  for (int m = 0; m < 30; ++m) t.names.push_back("Method-" + std::to_string(m + 1));
  for (std::size_t i = 0; i < 30 * 500; ++i) {
    t.measures.push_back(rng() % 11 == 0 ? F : 1 + static_cast<std::int32_t>(rng() % 5000));
  }
  const analysis::ProblemBest best = analysis::best_measures(t);
  const auto rows = csv_rows(csv_of(t));
  ASSERT_EQ(rows[0],
            (std::vector<std::string>{"method_number", "method", "log2_ratio", "fraction"}));
  std::size_t at = 1;
  for (std::size_t m = 0; m < 30; ++m) {
    const curves::Staircase s = curves::staircase_of(t, best, m);
    for (std::size_t i = 0; i < s.log2_ratio.size(); ++i, ++at) {
      ASSERT_LT(at, rows.size());
      const std::vector<std::string>& r = rows[at];
      ASSERT_EQ(r.size(), 4u);
      EXPECT_EQ(r[0], std::to_string(m + 1));
      EXPECT_EQ(r[1], t.names[m]);
      double x = 0, y = 0;
      std::from_chars(r[2].data(), r[2].data() + r[2].size(), x);
      std::from_chars(r[3].data(), r[3].data() + r[3].size(), y);
      EXPECT_EQ(x, s.log2_ratio[i]);  // shortest form reads back to the same double
      EXPECT_EQ(y, s.fraction[i]);
    }
  }
  EXPECT_EQ(at, rows.size());

  const std::string svg = svg_of(t);
  const auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = svg.find(what); p != std::string::npos; p = svg.find(what, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<path class=\"curve\""), 30u);
  EXPECT_EQ(count("<g class=\"legend-entry\">"), 30u);
  for (const std::string& name : t.names) EXPECT_EQ(count(">" + name + "<"), 2u) << name;
  EXPECT_EQ(svg, svg_of(t));
}

// Curves stay inside the plot area (x 64..616, y 40..440), legend entries
// start below it: the legend never covers a curve, for 1 to 60 methods, and
// the canvas grows to hold it.
TEST(Export, LegendBelowThePlotAndCanvasGrowsWithIt) {
  std::mt19937_64 rng(5);
  for (const int methods : {1, 4, 20, 60}) {
    table::MeasureTable t;
    t.problems = 50;
    for (int m = 0; m < methods; ++m) t.names.push_back(std::string(14, 'W'));
    for (int i = 0; i < methods * 50; ++i) t.measures.push_back(1 + rng() % 100);
    const std::string svg = svg_of(t, 3.0);
    const std::regex path("class=\"curve\"[^>]* d=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), path); it != std::sregex_iterator();
         ++it) {
      const std::string d = (*it)[1];
      const std::regex number("([MHVL])?([0-9.]+)");
      char command = 'M';
      int index = 0;
      for (auto n = std::sregex_iterator(d.begin(), d.end(), number); n != std::sregex_iterator();
           ++n) {
        if ((*n)[1].matched) {
          command = (*n)[1].str()[0];
          index = 0;
        }
        const double v = std::stod((*n)[2]);
        const bool is_x = command == 'H' || ((command == 'M' || command == 'L') && index == 0);
        ++index;
        if (is_x) {
          EXPECT_TRUE(v >= 64 && v <= 616) << v;
        } else {
          EXPECT_TRUE(v >= 40 && v <= 440) << v;
        }
      }
    }
    const std::regex legend("<g class=\"legend-entry\"><line x1=\"([0-9.]+)\" y1=\"([0-9.]+)\"");
    double last_y = 0;
    int entries = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), legend);
         it != std::sregex_iterator(); ++it, ++entries) {
      EXPECT_GE(std::stod((*it)[1]), 0.0);
      EXPECT_GE(std::stod((*it)[2]), 440.0 + 52);
      last_y = std::stod((*it)[2]);
    }
    EXPECT_EQ(entries, methods);
    std::smatch size;
    ASSERT_TRUE(std::regex_search(svg, size, std::regex("height=\"([0-9.]+)\"")));
    EXPECT_GT(std::stod(size[1]), last_y + 10) << methods;
  }
}

TEST(Export, XAxisTickRule) {
  struct Case {
    double largest;
    std::optional<double> requested;
    double bound, step;
    std::size_t ticks;
  };
  const Case cases[] = {
      {0.0, std::nullopt, 2.0, 0.2, 11},       // every ratio 1: profcmp's default bound
      {1e-9, std::nullopt, 0.1, 0.1, 2},       // the smallest step is 0.1
      {0.58, std::nullopt, 0.6, 0.1, 7},       //
      {1.0, std::nullopt, 1.0, 0.1, 11},       // a largest ratio on a tick stays there
      {2.0, std::nullopt, 2.0, 0.2, 11},       //
      {2.0000001, std::nullopt, 2.5, 0.5, 6},  // just above 10 steps of 0.2
      {2.584962500721156, std::nullopt, 3.0, 0.5, 7},
      {9.9, std::nullopt, 10.0, 1.0, 11},
      {30.9, std::nullopt, 35.0, 5.0, 8},
      {0.0, 3.0, 3.0, 0.5, 7},  // a requested bound is kept as it is
      {7.0, 3.3, 3.3, 0.5, 7},
      {0.0, 0.05, 0.05, 0.1, 1},
  };
  for (const Case& c : cases) {
    const curves::XAxis axis = curves::x_axis(c.largest, c.requested);
    EXPECT_EQ(axis.bound, c.bound) << c.largest;
    EXPECT_EQ(axis.step, c.step) << c.largest;
    EXPECT_EQ(axis.ticks.size(), c.ticks) << c.largest;
    EXPECT_EQ(axis.ticks.front(), 0.0);
    EXPECT_LE(axis.ticks.back(), axis.bound);
  }
  EXPECT_EQ(curves::x_axis(2.5, std::nullopt).ticks, (std::vector<double>{0, 0.5, 1, 1.5, 2, 2.5}));
  EXPECT_EQ(curves::x_axis(1.2, std::nullopt).ticks[3], 0.6);  // not 3 * 0.2
}

// CIE lightness L* (0 black, 100 white) of "#rrggbb".
double lightness(std::string_view colour) {
  double linear[3];
  for (int k = 0; k < 3; ++k) {
    const double c = std::stoi(std::string(colour.substr(1 + 2 * k, 2)), nullptr, 16) / 255.0;
    linear[k] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  }
  const double y = 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2];
  return y > 216.0 / 24389 ? 116 * std::cbrt(y) - 16 : y * 24389.0 / 27;
}

// The 20 styles: distinct colours none lighter than L* 80, no two sharing
// both dash and marker (up to 40 methods), the virtual best apart from all.
TEST(Styles, TwentyStylesStayApart) {
  EXPECT_NEAR(lightness("#F0E442"), 89, 1);  // the light yellow this rule keeps out
  const curves::Style best = curves::virtual_best_style();
  std::set<std::string_view> colours;
  std::set<std::pair<std::string_view, curves::Marker>> looks;
  for (std::size_t n = 1; n <= 40; ++n) {
    const curves::Style s = curves::method_style(n);
    EXPECT_TRUE(looks.insert({s.dash, s.marker}).second) << n;
    EXPECT_NE(s.marker, curves::Marker::none) << n;
    EXPECT_NE(s.colour, best.colour) << n;
    if (n <= curves::k_styles) {
      EXPECT_TRUE(colours.insert(s.colour).second) << n;
      EXPECT_LE(lightness(s.colour), 80) << n << " " << s.colour;
    }
    const curves::Style again = curves::method_style(n + 40);
    EXPECT_EQ(std::tie(again.colour, again.dash, again.marker),
              std::tie(s.colour, s.dash, s.marker));
  }
  EXPECT_EQ(best.marker, curves::Marker::none);
}

// Distance from (x, y) to the segment (ax, ay)-(bx, by).
double to_segment(double x, double y, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay, length = dx * dx + dy * dy;
  const double t = length == 0 ? 0 : std::clamp(((x - ax) * dx + (y - ay) * dy) / length, 0.0, 1.0);
  return std::hypot(x - ax - t * dx, y - ay - t * dy);
}

// The staircase through breakpoints (x[i], y[i]) as a polyline to `right`.
std::vector<std::pair<double, double>> polyline(const std::vector<double>& x,
                                                const std::vector<double>& y, double right) {
  std::vector<std::pair<double, double>> points{{x[0], y[0]}};
  for (std::size_t i = 1; i < x.size(); ++i) {
    points.push_back({x[i], y[i - 1]});
    points.push_back({x[i], y[i]});
  }
  points.push_back({right, y.back()});
  return points;
}

// The largest distance from a vertex or segment midpoint of `a` to `b`.
double farthest(const std::vector<std::pair<double, double>>& a,
                const std::vector<std::pair<double, double>>& b) {
  double worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (const double f : {0.0, 0.5}) {
      if (f > 0 && i + 1 == a.size()) continue;
      const double x = a[i].first + (f > 0 ? f * (a[i + 1].first - a[i].first) : 0);
      const double y = a[i].second + (f > 0 ? f * (a[i + 1].second - a[i].second) : 0);
      double nearest = std::numeric_limits<double>::infinity();
      for (std::size_t k = 0; k + 1 < b.size(); ++k) {
        nearest = std::min(
            nearest, to_segment(x, y, b[k].first, b[k].second, b[k + 1].first, b[k + 1].second));
      }
      worst = std::max(worst, nearest);
    }
  }
  return worst;
}

// On random nondecreasing staircases in pixels (dense and sparse steps, tiny
// and large rises), the thinned staircase lies within half a pixel of the
// exact one both ways (within sqrt(2) t, t = 0.34), and keeps at most 2 + min(width, height) / t
// vertices.
TEST(Thinning, DrawnStaircaseStaysWithinHalfAPixel) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 300; ++round) {
    const double width = 20 + static_cast<double>(rng() % 200), height = 10 + rng() % 100;
    const std::size_t n = 1 + rng() % (round % 3 == 0 ? 2000 : 60);
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = i == 0 ? 0 : x[i - 1] + std::uniform_real_distribution<double>(0.001, 1.5)(rng);
      y[i] = i == 0 ? 0 : y[i - 1] + std::uniform_real_distribution<double>(0, 0.8)(rng);
    }
    for (std::size_t i = 0; i < n; ++i) {  // onto width x height
      x[i] *= width / std::max(x.back(), 1.0);
      y[i] *= height / std::max(y.back(), 1.0);
    }
    const std::vector<curves::Vertex> kept = curves::thin_staircase(x, y);
    std::vector<double> tx, ty;
    for (const curves::Vertex v : kept) {
      ASSERT_GE(v.y, v.x);
      tx.push_back(x[v.x]);
      ty.push_back(y[v.y]);
    }
    const auto exact = polyline(x, y, width + 1), drawn = polyline(tx, ty, width + 1);
    const double bound = std::sqrt(2.0) * curves::k_thinning_step + 1e-9;  // under half a pixel
    EXPECT_LT(farthest(exact, drawn), bound) << round;
    EXPECT_LT(farthest(drawn, exact), bound) << round;
    EXPECT_LE(static_cast<double>(kept.size()),
              2 + std::min(width, height) / curves::k_thinning_step)
        << round;
  }
}

TEST(Figures, TexLengthsAndRatioTicks) {
  const std::pair<const char*, const char*> lengths[] = {{"8cm", "8cm"},
                                                         {"0.9\\linewidth", "0.9\\linewidth"},
                                                         {"\\linewidth", "\\linewidth"},
                                                         {"240pt", "240pt"},
                                                         {"1.5in", "1.5in"},
                                                         {"cm", nullptr},
                                                         {"8", nullptr},
                                                         {"-1cm", nullptr},
                                                         {"0pt", nullptr},
                                                         {"1e2pt", nullptr},
                                                         {"nanpt", nullptr},
                                                         {"8 cm", nullptr},
                                                         {"8cm}", nullptr},
                                                         {"\\hsize", nullptr}};
  for (const auto& [text, normal] : lengths) {
    const std::optional<curves::TexLength> length = curves::parse_tex_length(text);
    EXPECT_EQ(length.has_value(), normal != nullptr) << text;
    if (length && normal) {
      EXPECT_EQ(length->text(), normal) << text;
    }
  }
  EXPECT_NEAR(curves::TexLength{}.points(), 345, 0.01);
  EXPECT_NEAR(curves::parse_tex_length("1in")->points(), 72.27, 1e-9);

  const struct {
    double bound;
    std::vector<double> values;
    std::vector<std::string> labels;
  } ticks[] = {
      {1.0, {0, 0.5, 1}, {"1", "1.41", "2"}},
      {3.0, {0, 1, 2, 3}, {"1", "2", "4", "8"}},
      {16.0,
       {0, 2, 4, 6, 8, 10, 12, 14, 16},
       {"1", "4", "16", "64", "256", "1024", "4096", "16384", "65536"}},
      {20.0,
       {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20},
       {"2\xE2\x81\xB0", "2\xC2\xB2", "2\xE2\x81\xB4", "2\xE2\x81\xB6", "2\xE2\x81\xB8",
        "2\xC2\xB9\xE2\x81\xB0", "2\xC2\xB9\xC2\xB2", "2\xC2\xB9\xE2\x81\xB4",
        "2\xC2\xB9\xE2\x81\xB6", "2\xC2\xB9\xE2\x81\xB8", "2\xC2\xB2\xE2\x81\xB0"}},
  };
  for (const auto& c : ticks) {
    curves::XAxis axis = curves::x_axis(c.bound, c.bound);
    if (c.bound == 1.0) axis.ticks = {0, 0.5, 1};
    std::vector<double> values;
    std::vector<std::string> labels;
    curves::ratio_ticks(axis, values, labels);
    EXPECT_EQ(values, c.values) << c.bound;
    EXPECT_EQ(labels, c.labels) << c.bound;
  }
}

// Twenty random staircases: at most k_markers markers each, every one on its
// drawn curve, and no two curves with a marker at the same x.
TEST(Figures, MarkersSpreadAndSitOnTheirCurves) {
  std::mt19937_64 rng(8);
  table::MeasureTable many;
  many.problems = 300;
  for (int m = 0; m < 20; ++m) many.names.push_back("M" + std::to_string(m + 1));
  for (int i = 0; i < 20 * 300; ++i) many.measures.push_back(1 + rng() % 1000);
  const curves::Chart chart = curves::profile_chart(many, {"NFV", std::nullopt, false, {}});
  std::set<double> xs;
  for (std::size_t i = 0; i < chart.series.size(); ++i) {
    const curves::Series& s = chart.series[i];
    const curves::DrawnSteps drawn = curves::drawn_steps(s, chart, 552, 388);
    const curves::DrawnSteps marks = curves::marker_points(drawn, chart, i, s, 552);
    EXPECT_GE(marks.x.size(), 1u);
    EXPECT_LE(marks.x.size(), static_cast<std::size_t>(curves::k_markers));
    for (std::size_t k = 0; k < marks.x.size(); ++k) {
      EXPECT_TRUE(xs.insert(marks.x[k]).second) << s.name;
      const auto at = std::upper_bound(drawn.x.begin(), drawn.x.end(), marks.x[k]);
      ASSERT_NE(at, drawn.x.begin());
      EXPECT_EQ(marks.y[k], drawn.y[static_cast<std::size_t>(at - drawn.x.begin()) - 1]);
    }
  }
}

TEST(SvgPlot, GenericSeriesLogAxisAndElementForHtml) {
  curves::Chart chart;
  chart.title = "Budget <test>";
  chart.x_label = "count";
  chart.y_label = "share";
  chart.x_min = 1;
  chart.x_max = 1000;
  chart.log_x = true;
  chart.series = {{"line", {1, 10, 100, 1000}, {0, 0.5, 0.75, 1}, false},
                  {"steps", {0.5, 10, k_nan, 5000}, {0.25, 0.5, 0.6, 2}, true}};
  std::ostringstream element, document;
  curves::write_svg_element(element, chart);
  curves::write_svg_document(document, chart);
  EXPECT_EQ(document.str(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n" + element.str());
  const std::string svg = element.str();
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_NE(svg.find("<title>Budget &lt;test&gt;</title>"), std::string::npos);
  // Log ticks at 1, 10, 100, 1000; the polyline joins its points; the step
  // series starts at the left edge, skips the NaN point and ends at the right.
  for (const char* label : {">1<", ">10<", ">100<", ">1000<"}) {
    EXPECT_NE(svg.find(label), std::string::npos) << label;
  }
  EXPECT_NE(svg.find("d=\"M64.00 434.00L248.00 240.00L432.00 143.00L616.00 46.00\""),
            std::string::npos);
  EXPECT_NE(svg.find("d=\"M64.00 337.00H248.00V240.00H616.00\""), std::string::npos);
}

}  // namespace
