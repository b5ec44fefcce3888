// Stand-in for records/failure_stop.cc in the fuzz build: the same entry
// points, but failure_stop() closes every unit and throws a fuzz::FailureStop.
#include "failure_seam.h"

#include <algorithm>
#include <cstring>

#include "records/units.h"

namespace records {

MessageClass message_class(Message message) {
  return message == Message::interrupt ? MessageClass::error : MessageClass::severe;
}

std::string_view message_text(Message) {
  return "fuzz build: no catalogue texts";
}

void failure_stop(Message message, int unit, std::string_view file, int platform_error) {
  fuzz::FailureStop stop{};
  stop.message = message;
  stop.unit = unit;
  stop.file_length = static_cast<int>(std::min(file.size(), sizeof stop.file));
  std::memcpy(stop.file, file.data(), static_cast<std::size_t>(stop.file_length));
  stop.platform_error = platform_error;
  // As the real stop does: no unit survives a failure. A close that fails in
  // turn comes back here; it must not start the closing over again.
  static bool closing = false;
  if (!closing) {
    closing = true;
    try {
      close_all_units();
    } catch (const fuzz::FailureStop&) {
    }
    closing = false;
  }
  throw stop;
}

void failure_stop_because(Message message, int unit, std::string_view file, std::string_view) {
  failure_stop(message, unit, file, 0);
}

void install_failure_handling() {}

bool environment_switch_on(const char*) {
  return false;
}

}  // namespace records
