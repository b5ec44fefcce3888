#include "plot/plot_script.h"

namespace plot {

void write_plot_script(std::string_view criterion, double bound) {
  (void)criterion;
  (void)bound;
}

}  // namespace plot
