// Placeholder; the record engine is being written.
#include "records/record_format.h"
