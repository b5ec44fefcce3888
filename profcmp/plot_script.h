// Plot script: reads the profile report back on unit 8 and writes the Scilab
// script "P.sci" on unit 9 that draws up to four profile curves.
#ifndef PROFCMP_PROFCMP_PLOT_SCRIPT_H_
#define PROFCMP_PROFCMP_PLOT_SCRIPT_H_

#include <string_view>

namespace plot {

inline constexpr int k_max_curves = 4;

// Writes the script for the report on unit 8 (positioned at its first record)
// to unit 9. `criterion` (4 characters; only the first 4 are used) goes into
// the title, `bound` into the abscissa line. Inside the script's string
// literals the criterion and the method names keep every byte, except that
// quotes are doubled and a carriage return becomes '+ascii(13)+' (Scilab
// cannot read one inside a literal), so Scilab reads the same text. Curves, plot
// line and legend cover methods 1 to min(count, 4). Returns normally also when
// the report holds fewer method blocks than its header announces; closes no unit.
void write_plot_script(std::string_view criterion, double bound);

}  // namespace plot

#endif  // PROFCMP_PROFCMP_PLOT_SCRIPT_H_
