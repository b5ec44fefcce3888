#include "profkit/curves/data_profile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "profkit/curves/export.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace curves {

std::vector<double> sorted_kappas(const table::MeasureTable& t,
                                  const std::vector<std::uint64_t>& dimensions, std::size_t m) {
  std::vector<double> kappas;
  kappas.reserve(t.cells(m));
  t.visit(m, [&](std::size_t p, double measure) {
    if (measure == table::k_failed) return;
    kappas.push_back(measure / (static_cast<double>(dimensions[p]) + 1.0));
  });
  std::sort(kappas.begin(), kappas.end());
  return kappas;
}

DataStaircase data_staircase(const table::MeasureTable& t,
                             const std::vector<std::uint64_t>& dimensions, std::size_t m,
                             double max_kappa) {
  const std::vector<double> kappas = sorted_kappas(t, dimensions, m);
  const double problems = static_cast<double>(t.problems);
  DataStaircase s;
  std::size_t count = 0;
  s.kappa.push_back(0.0);
  s.fraction.push_back(0.0 / problems);
  while (count < kappas.size() && std::isfinite(kappas[count]) && kappas[count] <= max_kappa) {
    const double k = kappas[count];
    while (count < kappas.size() && kappas[count] == k) ++count;
    s.kappa.push_back(k);
    s.fraction.push_back(static_cast<double>(count) / problems);
  }
  return s;
}

double largest_kappa(const table::MeasureTable& t, const std::vector<std::uint64_t>& dimensions) {
  double largest = 0;
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const std::vector<double> kappas = sorted_kappas(t, dimensions, m);
    for (auto k = kappas.rbegin(); k != kappas.rend(); ++k) {
      if (std::isfinite(*k)) {
        largest = std::max(largest, *k);
        break;
      }
    }
  }
  return largest;
}

void write_data_csv(std::ostream& out, const std::vector<std::string>& labels,
                    const std::vector<table::MeasureTable>& tables,
                    const std::vector<std::uint64_t>& dimensions, std::optional<double> max_kappa) {
  out << "tolerance,method_number,method,kappa,fraction\r\n";
  std::string row;
  for (std::size_t k = 0; k < tables.size(); ++k) {
    const table::MeasureTable& t = tables[k];
    const double last = max_kappa ? *max_kappa : largest_kappa(t, dimensions);
    for (std::size_t m = 0; m < t.methods(); ++m) {
      const DataStaircase s = data_staircase(t, dimensions, m, last);
      const std::string prefix = textkit::csv_field(labels[k]) + "," + std::to_string(m + 1) + "," +
                                 textkit::csv_field(t.names[m]) + ",";
      for (std::size_t i = 0; i < s.kappa.size(); ++i) {
        row = prefix;
        textkit::append_shortest(row, s.kappa[i]);
        row += ',';
        textkit::append_shortest(row, s.fraction[i]);
        row += "\r\n";
        out << row;
      }
    }
  }
}

void write_labelled_csv(std::ostream& out, const std::vector<std::string>& labels,
                        const std::vector<table::MeasureTable>& tables) {
  out << "tolerance,method_number,method,log2_ratio,fraction\r\n";
  for (std::size_t k = 0; k < tables.size(); ++k) {
    std::ostringstream one;
    write_csv(one, tables[k]);
    const std::string csv = one.str();
    const std::string label = textkit::csv_field(labels[k]) + ",";
    // Every row after the header, each ending in CR LF, behind the label.
    for (std::size_t start = csv.find("\r\n") + 2; start < csv.size();) {
      const std::size_t end = csv.find("\r\n", start) + 2;
      out << label;
      out.write(csv.data() + start, static_cast<std::streamsize>(end - start));
      start = end;
    }
  }
}

}  // namespace curves
