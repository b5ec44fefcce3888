#include "profcmp/plot_script.h"

#include <cstdint>
#include <cstring>

#include "records/record_format.h"
#include "records/run_files.h"
#include "records/units.h"

namespace plot {
namespace {

using records::EndOfFile;
using records::in_reals;
using records::in_short;
using records::in_text;
using records::out_real;
using records::out_text;
namespace formats = records::formats;

using records::k_criterion_length;
using records::k_name_length;
using records::k_report_unit;
using records::k_script_unit;

constexpr int k_profile_values = 21;
constexpr int k_values_per_line = 10;
constexpr int k_line_buffer_length = 80;
constexpr int k_abscissa_steps = 20;

// A carriage return cannot stand inside a Scilab string literal: the literal
// is closed, the character added as a value and the literal reopened.
constexpr std::string_view k_carriage_return = "'+ascii(13)+'";

// A text of at most N characters written inside a Scilab string literal: at
// most k_carriage_return.size() characters for each of them.
template <int N>
struct Quoted {
  char text[N * k_carriage_return.size()];
  int length;
};
using QuotedName = Quoted<k_name_length>;

// Copies text[0..length) to out for the inside of a literal: each ' and " is
// written twice (Scilab ends a literal at a lone quote of either kind and
// reads a doubled one as the character itself), a carriage return as
// k_carriage_return, every other byte as it is. `out` must hold
// length * k_carriage_return.size() characters.
int quote_for_literal(const char* text, int length, char* out) {
  int written = 0;
  for (int i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '\r') {
      std::memcpy(out + written, k_carriage_return.data(), k_carriage_return.size());
      written += static_cast<int>(k_carriage_return.size());
      continue;
    }
    out[written++] = c;
    if (c == '\'' || c == '"') out[written++] = c;
  }
  return written;
}

void write_line(std::string_view text) {
  records::write_formatted(k_script_unit, formats::k_texts_1, {out_text(text)});
}

// Passes over one record of the report (the blank records of the layout).
void skip_record() {
  char ignored = ' ';
  records::read_formatted(k_report_unit, formats::k_one_character, {in_text(&ignored, 1)},
                          EndOfFile::stop);
}

// "yk=[ ...", the 21 values in lines of ten, ten and one, each cut after its
// last non-blank column and continued with " ...", then "];".
void write_y_vector(int k, const double* values) {
  char head[] = "yk=[ ...";
  head[1] = static_cast<char>('0' + k);
  write_line(std::string_view(head, sizeof head - 1));

  char line[k_line_buffer_length];
  for (int first = 0; first < k_profile_values; first += k_values_per_line) {
    const int count = first + k_values_per_line <= k_profile_values ? k_values_per_line
                                                                    : k_profile_values - first;
    records::write_internal(line, k_line_buffer_length, formats::k_value_line,
                            {records::out_reals(values + first, count)});
    const int used = records::len_trim(line, k_line_buffer_length);
    records::write_formatted(k_script_unit, formats::k_texts_2,
                             {out_text(line, used), out_text(" ...")});
  }
  write_line("];");
}

constexpr std::string_view k_plot_lines[k_max_curves] = {
    "plot(x,y1);",
    "plot(x,y1,x,y2);",
    "plot(x,y1,x,y2,x,y3);",
    "plot(x,y1,x,y2,x,y3,x,y4);",
};

constexpr std::string_view k_style_lines[k_max_curves][4] = {
    {"e.children(1).polyline_style=1;", "e.children(1).line_style=1;",
     "e.children(1).thickness=2.5;", "e.children(1).foreground=4;"},
    {"e.children(2).polyline_style=1;", "e.children(2).line_style=8;", "e.children(2).thickness=4;",
     "e.children(2).foreground=13;"},
    {"e.children(3).polyline_style=1;", "e.children(3).line_style=3;", "e.children(3).thickness=4;",
     "e.children(3).foreground=5;"},
    {"e.children(4).polyline_style=1;", "e.children(4).line_style=1;", "e.children(4).thickness=5;",
     "e.children(4).foreground=2;"},
};

// "leg=legend(['name1';'name2';...'],4);" over the first `curves` names.
void write_legend_line(const QuotedName (&names)[k_max_curves], int curves) {
  constexpr std::string_view lead = "leg=legend(['";
  constexpr std::string_view separator = "';'";
  constexpr std::string_view tail = "'],4);";
  const auto name = [&names](int i) { return out_text(names[i].text, names[i].length); };
  switch (curves) {
    case 1:
      records::write_formatted(k_script_unit, formats::k_texts_3,
                               {out_text(lead), name(0), out_text(tail)});
      break;
    case 2:
      records::write_formatted(
          k_script_unit, formats::k_texts_5,
          {out_text(lead), name(0), out_text(separator), name(1), out_text(tail)});
      break;
    case 3:
      records::write_formatted(k_script_unit, formats::k_texts_7,
                               {out_text(lead), name(0), out_text(separator), name(1),
                                out_text(separator), name(2), out_text(tail)});
      break;
    default:
      records::write_formatted(
          k_script_unit, formats::k_texts_9,
          {out_text(lead), name(0), out_text(separator), name(1), out_text(separator), name(2),
           out_text(separator), name(3), out_text(tail)});
      break;
  }
}

}  // namespace

void write_plot_script(std::string_view criterion, double bound) {
  records::write_formatted(k_script_unit, formats::k_abscissa_line,
                           {out_text("x=0:"), out_real(bound / k_abscissa_steps), out_text(":"),
                            out_real(bound), out_text(";")});

  std::int16_t count = 0;
  records::read_formatted(k_report_unit, formats::k_method_count, {in_short(count)},
                          EndOfFile::stop);
  skip_record();

  QuotedName legend_names[k_max_curves] = {};
  double profile_row[k_profile_values] = {};
  for (int k = 1; k <= count; ++k) {
    // Names of methods beyond the fourth are read into the same scratch text
    // and never used.
    char name[k_name_length];
    if (records::read_formatted(k_report_unit, formats::k_method_name,
                                {in_text(name, k_name_length)}, EndOfFile::branch) < 0) {
      // Fewer blocks than announced: the script ends with the curves so far.
      return;
    }
    skip_record();
    records::read_formatted(k_report_unit, formats::k_profile_values,
                            {in_reals(profile_row, k_profile_values)}, EndOfFile::stop);
    skip_record();
    if (k <= k_max_curves) {
      QuotedName& entry = legend_names[k - 1];
      entry.length = quote_for_literal(name, k_name_length, entry.text);
      write_y_vector(k, profile_row);
    }
  }

  // A plot line and a legend for every count of at least one: without a plot
  // the style lines below address children that do not exist and the script
  // stops before it exports anything.
  const int curves = count < 1 ? 0 : (count < k_max_curves ? count : k_max_curves);
  if (curves > 0) write_line(k_plot_lines[curves - 1]);

  write_line("a=gca();");
  write_line("a.font_size=3;");
  write_line("e=gce();");

  const int styled = curves > 0 ? curves : 1;
  for (int child = 0; child < styled; ++child) {
    for (std::string_view line : k_style_lines[child]) write_line(line);
  }

  if (curves > 0) write_legend_line(legend_names, curves);

  Quoted<k_criterion_length> title_criterion{};
  const int criterion_length = criterion.size() < static_cast<std::size_t>(k_criterion_length)
                                   ? static_cast<int>(criterion.size())
                                   : k_criterion_length;
  title_criterion.length =
      quote_for_literal(criterion.data(), criterion_length, title_criterion.text);

  write_line("leg.font_size=4.5;");
  records::write_formatted(
      k_script_unit, formats::k_texts_3,
      {out_text("title('Performance profiles for "),
       out_text(title_criterion.text, title_criterion.length), out_text("','fontsize',5);")});
  write_line("xlabel('$\\tau$','fontsize',5);");
  write_line("ylabel('$\\rho(\\tau)$','fontsize',5);");
  write_line("xs2eps(0,'P');");
}

}  // namespace plot
