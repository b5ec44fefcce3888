#include "records/failure_stop.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/units.h"

namespace records {
namespace {

struct CatalogueEntry {
  Message message;
  MessageClass message_class;
  std::string_view text;
};

// Every message the tool can meet, with its class and text.
constexpr CatalogueEntry k_catalogue[] = {
    {Message::permission_denied, MessageClass::severe,
     "permission to access file denied, unit %d, file %s"},
    {Message::cannot_overwrite, MessageClass::severe,
     "cannot overwrite existing file, unit %d, file %s"},
    {Message::record_too_long, MessageClass::severe, "input record too long, unit %d, file %s"},
    {Message::end_of_file, MessageClass::severe, "end-of-file during read, unit %d, file %s"},
    {Message::close_error, MessageClass::severe, "CLOSE error, unit %d, file %s"},
    {Message::file_not_found, MessageClass::severe, "file not found, unit %d, file %s"},
    {Message::open_failure, MessageClass::severe, "open failure, unit %d, file %s"},
    {Message::write_error, MessageClass::severe, "error during write, unit %d, file %s"},
    {Message::read_error, MessageClass::severe, "error during read, unit %d, file %s"},
    {Message::no_such_device, MessageClass::severe, "no such device, unit %d, file %s"},
    {Message::file_name_error, MessageClass::severe,
     "file name specification error, unit %d, file %s"},
    {Message::write_readonly, MessageClass::severe, "write to READONLY file, unit %d, file %s"},
    {Message::input_conversion, MessageClass::severe, "input conversion error, unit %d, file %s"},
    {Message::output_overflow, MessageClass::severe,
     "output statement overflows record, unit %d, file %s"},
    {Message::capacity_exceeded, MessageClass::severe,
     "results table exceeds capacity of 20 methods and 200 problems, unit %d, file %s"},
    {Message::interrupt, MessageClass::error, "program aborting due to %s event"},
};

const CatalogueEntry& entry_of(Message message) {
  for (const CatalogueEntry& entry : k_catalogue) {
    if (entry.message == message) return entry;
  }
  return k_catalogue[0];
}

void write_all(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written <= 0) return;  // a diagnostic that cannot be written changes nothing else
    data += written;
    length -= static_cast<std::size_t>(written);
  }
}

}  // namespace

MessageClass message_class(Message message) { return entry_of(message).message_class; }
std::string_view message_text(Message message) { return entry_of(message).text; }

[[noreturn]] void failure_stop(Message message, int unit, std::string_view file,
                               int platform_error) {
  if (platform_error != 0) {
    char line[512];
    const int length = std::snprintf(line, sizeof line, "rtdiag: %s\r\n", std::strerror(platform_error));
    if (length > 0) write_all(STDERR_FILENO, line, static_cast<std::size_t>(length));
  }
  char block[16384];
  const CatalogueEntry& entry = entry_of(message);
  int length = std::snprintf(block, sizeof block, "rtdiag: %s (%d): ",
                             entry.message_class == MessageClass::severe ? "severe" : "error",
                             static_cast<int>(message));
  // Expand the text: %d is the unit, %s the file.
  for (std::size_t i = 0; i < entry.text.size() && length < static_cast<int>(sizeof block) - 2; ++i) {
    if (entry.text[i] == '%' && i + 1 < entry.text.size()) {
      const char spec = entry.text[++i];
      const int room = static_cast<int>(sizeof block) - 2 - length;
      int added = 0;
      if (spec == 'd') added = std::snprintf(block + length, room, "%d", unit);
      if (spec == 's') added = std::snprintf(block + length, room, "%.*s", static_cast<int>(file.size()), file.data());
      length += added < room ? added : room - 1;
    } else {
      block[length++] = entry.text[i];
    }
  }
  block[length++] = '\r';
  block[length++] = '\n';
  write_all(STDERR_FILENO, block, static_cast<std::size_t>(length));
  close_all_units();
  std::_Exit(static_cast<int>((0xC0000000u + static_cast<unsigned>(message)) & 0xFFu));
}

void install_failure_handling() {}

}  // namespace records
