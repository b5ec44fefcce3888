// The failure stop: the message catalogue, the diagnostic block on stderr and
// the end of the process. This is the single fatal path of the tool.
//
// A severe stop writes "rtdiag: severe (N): <text>" + CR LF (after the
// platform's error text when there is one), a traceback unless disabled,
// closes every connected unit and ends the process with exit status
// 0xC0000000 + N, of which Linux keeps the low 8 bits: N.
#ifndef PROFCMP_RECORDS_FAILURE_STOP_H_
#define PROFCMP_RECORDS_FAILURE_STOP_H_

#include <cstdint>
#include <string_view>

namespace records {

// Message numbers of the catalogue; the texts live in failure_stop.cc.
enum class Message : int {
  permission_denied = 9,
  cannot_overwrite = 10,
  record_too_long = 22,
  end_of_file = 24,
  close_error = 28,
  file_not_found = 29,
  open_failure = 30,
  write_error = 38,
  read_error = 39,
  no_such_device = 42,
  file_name_error = 43,
  write_readonly = 47,
  input_conversion = 64,
  output_overflow = 66,
  capacity_exceeded = 120,
  interrupt = 200,
};

enum class MessageClass : std::uint8_t { severe, error };

// The catalogue entry of `message`: its class and its printf-style text
// ("%d" the unit, "%s" the file or the event name).
MessageClass message_class(Message message);
std::string_view message_text(Message message);

// Ends the run with `message` for `unit` and its file name `file`.
// `platform_error` is the errno that came with the failure, or 0 for none; when
// set, the line "rtdiag: " + strerror text + CR LF is written first.
[[noreturn]] void failure_stop(Message message, int unit, std::string_view file,
                               int platform_error = 0);

// Start-up of the failure layer: installs the interrupt handlers (SIGINT,
// SIGQUIT, SIGHUP) and checks that floating-point exceptions are masked.
void install_failure_handling();

}  // namespace records

#endif  // PROFCMP_RECORDS_FAILURE_STOP_H_
