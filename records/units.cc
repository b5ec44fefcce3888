// Placeholder; the unit layer is being written.
#include "records/units.h"
