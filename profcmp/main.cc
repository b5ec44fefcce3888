#include "profcmp/run.h"
#include "records/failure_stop.h"
#include "records/units.h"

int main(int argc, char** argv) {
  records::start_up(argc, argv);
  records::install_failure_handling();
  driver::run_profcmp();
  records::normal_end();
}
