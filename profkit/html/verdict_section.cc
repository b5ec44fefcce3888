#include "profkit/html/verdict_section.h"

#include <cmath>
#include <string_view>

#include "profkit/compare/stability.h"
#include "profkit/html/report.h"
#include "profkit/text/numbers.h"

namespace report {
namespace {

// A name escaped and isolated from the text around it, so that right-to-left
// characters in it cannot reorder that text.
std::string isolated(std::string_view name) {
  return "<bdi>" + html_escape(name) + "</bdi>";
}

std::string explanation_html(const verdict::PairVerdict& pair) {
  const std::string_view text = pair.explanation;
  std::string html;
  std::size_t at = 0;
  for (const auto& [start, length] : pair.name_spans) {
    html += html_escape(text.substr(at, start - at));
    html += isolated(text.substr(start, length));
    at = start + length;
  }
  return html + html_escape(text.substr(at));
}

std::string cell(const std::string& html) {
  return "<td class=\"n\">" + html + "</td>";
}

}  // namespace

void write_verdict_section(std::ostream& out, std::string_view prefix,
                           const std::vector<std::string>& names, const verdict::Verdict& v) {
  out << "<section id=\"" << prefix
      << "verdict\">\n<h2>Verdict</h2>\n<p class=\"how\">The methods by MEAN "
         "VALUE, best first. A method is separable from the next when it stays ahead by MEAN "
         "VALUE with any one other method left out, at every bound from 0.5 to 5.0 and by "
         "EFFICIENCY ("
      << html_escape(compare::efficiency_rule())
      << "), the 95 % paired bootstrap interval of the difference of their MEAN VALUEs lies "
         "above 0 ("
      << v.replicates << (v.replicates == 1 ? " replicate" : " replicates") << ", seed " << v.seed
      << "), and the sign test of its wins and losses against the next gives p &lt; 0.05 (ties "
         "left out). Otherwise the last column says what fails.</p>\n";
  if (v.order.empty()) {
    out << "<p>The table holds no method.</p>\n</section>\n";
    return;
  }
  out << "<div class=\"scroll\"><table>\n<thead><tr><th class=\"n\">rank</th><th "
         "class=\"n\">#</th><th>method</th><th class=\"n\">MEAN VALUE</th><th "
         "class=\"n\">difference 95 %</th><th class=\"n\">wins-ties-losses</th><th "
         "class=\"n\">sign test p</th><th>against the next</th></tr></thead>\n<tbody>\n";
  constexpr const char* k_dash = "\xE2\x80\x94";  // em dash
  for (std::size_t r = 0; r < v.order.size(); ++r) {
    const std::size_t m = v.order[r];
    out << "<tr>" << cell(std::to_string(r + 1)) << cell(std::to_string(m + 1))
        << "<td class=\"name\">" << isolated(names[m]) << "</td>"
        << cell(textkit::figure(v.mean_value[m], 4));
    if (r < v.pairs.size()) {
      const verdict::PairVerdict& pair = v.pairs[r];
      out << cell(std::isnan(pair.interval_lower)
                      ? std::string(textkit::k_undefined)
                      : textkit::fixed(pair.interval_lower, 4) + "\xE2\x80\x93" +  // en dash
                            textkit::fixed(pair.interval_upper, 4))
          << cell(std::to_string(pair.wins) + "-" + std::to_string(pair.ties) + "-" +
                  std::to_string(pair.losses))
          << cell(verdict::p_text(pair.sign_test_p)) << "<td>" << explanation_html(pair) << "</td>";
    } else {
      out << cell(k_dash) << cell(k_dash) << cell(k_dash) << "<td>" << k_dash << "</td>";
    }
    out << "</tr>\n";
  }
  out << "</tbody>\n</table></div>\n</section>\n";
}

}  // namespace report
