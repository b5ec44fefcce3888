// Every profkit writer on a table made from the input bytes (any names, any
// measures and failures): CSV outputs are RFC 4180 with one field count and
// valid UTF-8, SVG is well-formed XML, the HTML page is well-formed, the TeX
// picture balances its braces and takes no control sequence from a name, and
// no text output carries a terminal control character.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "output_checks.h"
#include "profkit/bootstrap/bootstrap.h"
#include "profkit/budget/budget.h"
#include "profkit/compare/pairs.h"
#include "profkit/compare/stability.h"
#include "profkit/curves/export.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/html/report.h"
#include "profkit/table/measure_table.h"

namespace {

// Byte 0: methods (1..6); byte 1: problems (0..11); per method a byte for
// the length of its row (shorter rows end in failures that take no cell),
// then one byte per cell (0 a failure, else byte x 2^(byte mod 8 - 3), so
// whole counts and fractions); the rest, split at byte 0xFF, are the names.
table::MeasureTable make_table(const std::uint8_t* data, std::size_t size) {
  table::MeasureTable t;
  if (size < 2) return t;
  const std::size_t methods = 1 + data[0] % 6, problems = data[1] % 12;
  std::size_t at = 2;
  std::vector<std::vector<double>> rows(methods);
  for (std::vector<double>& row : rows) {
    const std::size_t length = at < size ? data[at++] % (problems + 1) : problems;
    for (std::size_t p = 0; p < length; ++p) {
      const std::uint8_t byte = at < size ? data[at++] : 0;
      row.push_back(byte == 0 ? table::k_failed : std::ldexp(byte, (byte & 7) - 3));
    }
  }
  std::vector<std::string> names(methods);
  for (std::size_t m = 0; m < methods; ++m) names[m] = "M" + std::to_string(m + 1);
  std::size_t m = 0;
  std::string name;
  for (; at < size && m < methods; ++at) {
    if (data[at] == 0xFF) {
      names[m++] = name;
      name.clear();
    } else {
      name += static_cast<char>(data[at]);
    }
  }
  if (m < methods && !name.empty()) names[m] = name;
  t.problems = problems;
  for (std::size_t k = 0; k < methods; ++k) t.add_row(names[k], rows[k].data(), rows[k].size());
  return t;
}

void fail(const std::string& what, const std::string& reason, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n---\n%.4000s\n---\n", what.c_str(), reason.c_str(), text.c_str());
  std::abort();
}

void expect(const std::string& what, const std::string& reason, const std::string& text) {
  if (!reason.empty()) fail(what, reason, text);
}

// No C0 control but LF, no DEL, no C1 (raw or UTF-8 encoded), valid UTF-8.
void expect_terminal_safe(const std::string& what, const std::string& text) {
  if (!fuzz::valid_utf8(text)) fail(what, "not valid UTF-8", text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\n') || c == 0x7F) fail(what, "control byte " + std::to_string(c), text);
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      fail(what, "C1 control", text);
    }
  }
}

template <typename Write>
std::string written(Write write) {
  std::ostringstream out;
  write(out);
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const table::MeasureTable t = make_table(data, size);
  if (t.methods() == 0) return 0;
  table::MeasureTable plain = t;
  for (std::size_t m = 0; m < plain.methods(); ++m) plain.names[m] = "M" + std::to_string(m + 1);

  curves::PlotOptions plot;
  plot.criterion = "NFV";
  const std::string csv = written([&](auto& o) { curves::write_csv(o, t); });
  expect("export csv", fuzz::check_csv(csv), csv);
  const std::string svg = written([&](auto& o) { curves::write_svg(o, t, plot); });
  expect("export svg", fuzz::check_xml(svg), svg);
  const std::string tex = written([&](auto& o) { curves::write_tex(o, t, plot); });
  std::set<std::string> allowed =
      fuzz::tex_sequences(written([&](auto& o) { curves::write_tex(o, plain, plot); }));
  for (int c = 0x20; c < 0x7F; ++c) {
    table::MeasureTable one = plain;
    one.names[0] = std::string(1, static_cast<char>(c));
    for (const std::string& s :
         fuzz::tex_sequences(written([&](auto& o) { curves::write_tex(o, one, plot); }))) {
      if (s.size() <= 2 || s.rfind("\\text", 0) == 0) allowed.insert(s);
    }
  }
  expect("export tex", fuzz::check_tex(tex, allowed), tex);

  const compare::PairCounts pairs = compare::count_pairs(t, 0.0);
  const std::string pairs_csv =
      written([&](auto& o) { compare::write_pairs_csv(o, t.names, pairs); });
  expect("pairs csv", fuzz::check_csv(pairs_csv), pairs_csv);
  expect_terminal_safe("pairs text",
                       written([&](auto& o) { compare::write_pairs_text(o, t.names, pairs); }));

  const compare::StabilityFindings stability = compare::find_instabilities(t, 2.0, 20);
  const std::string stability_csv =
      written([&](auto& o) { compare::write_stability_csv(o, t.names, stability); });
  expect("stability csv", fuzz::check_csv(stability_csv), stability_csv);
  expect_terminal_safe("stability text",
                       written([&](auto& o) { compare::write_stability_text(o, stability); }));

  const budget::BudgetCurves curves = budget::compute(t);
  const std::string budget_csv =
      written([&](auto& o) { budget::write_budget_csv(o, t.names, curves); });
  expect("budget csv", fuzz::check_csv(budget_csv), budget_csv);
  const std::string budget_svg = written(
      [&](auto& o) { curves::write_svg_document(o, budget::budget_plot(t.names, curves, "NFV")); });
  expect("budget svg", fuzz::check_xml(budget_svg), budget_svg);

  const bootstrap::Result boot = bootstrap::run(t, {5, 1, 2.0});
  const std::string boot_csv = written([&](auto& o) { bootstrap::write_csv(o, t, boot); });
  expect("boot csv", fuzz::check_csv(boot_csv), boot_csv);
  expect_terminal_safe("boot text", written([&](auto& o) { bootstrap::write_text(o, t, boot); }));

  report::Settings settings;
  settings.source = t.names[0];
  settings.criterion = "NFV";
  settings.replicates = 5;
  const std::string page = written([&](auto& o) { report::write_report(o, t, settings); });
  expect("report", fuzz::check_html(page), page);
  return 0;
}
