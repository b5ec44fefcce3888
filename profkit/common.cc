#include "profkit/common.h"

#include <cstdlib>
#include <iostream>

namespace kit {

void fail(const std::string& message, int status) {
  std::cerr << "profkit: error: " << message << "\n";
  std::exit(status);
}

}  // namespace kit
