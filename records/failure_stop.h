// The failure stop: the message catalogue, the diagnostic block on stderr and
// the end of the process. This is the single fatal path of the tool.
//
// A severe stop writes "rtdiag: severe (N): <text>" + CR LF (after the
// platform's error text when there is one), a traceback unless disabled,
// closes every connected unit and ends the process with exit status
// 0xC0000000 + N, of which Linux keeps the low 8 bits: N.
//
// Environment (file names are used as given; switches follow
// environment_switch_on()):
//   RTDT0                           at the run's first diagnostic, stderr is
//                                   reopened in append mode onto this file
//   RTD_DIAGNOSTIC_LOG_FILE         each block is also appended to this file
//   RTD_DISABLE_DIAGNOSTIC_DISPLAY  no block is written to stderr
//   RTD_DISABLE_STACK_TRACE         no traceback after a severe line
//   RTD_FULL_SRC_FILE_SPEC          full source paths in the traceback; the
//                                   traceback reads no debug information, so
//                                   its Source column is always "Unknown"
// The severe path reads them at each diagnostic; the interrupt handler uses
// the values they had when install_failure_handling() ran.
//
// Interrupts: SIGINT ("control-C"), SIGQUIT ("control-BREAK") and SIGHUP
// ("window-CLOSE") write "rtdiag: error (200): program aborting due to <name>
// event" + CR LF, close every unit and end the process by that same signal, so
// that callers see an interrupted run, not a successful one.
#ifndef PROFCMP_RECORDS_FAILURE_STOP_H_
#define PROFCMP_RECORDS_FAILURE_STOP_H_

#include <cstddef>
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
  line_end_in_criterion = 121,
  interrupt = 200,
};

enum class MessageClass : std::uint8_t { severe, error };

// Most bytes of one diagnostic block (the line and its traceback); the rest is
// dropped. The platform-error line that may precede a block is not counted.
inline constexpr std::size_t k_diagnostic_block_limit = 16384;

// Most frames a traceback shows.
inline constexpr int k_traceback_frames = 20;

// The catalogue entry of `message`: its class and its printf-style text
// ("%d" the unit, "%s" the file or the event name).
MessageClass message_class(Message message);
std::string_view message_text(Message message);

// Ends the run with `message` for `unit` and its file name `file`.
// `platform_error` is the errno that came with the failure, or 0 for none; when
// set, the line "rtdiag: " + strerror text + CR LF is written first. Exits with
// the low 8 bits of 0xC0000000 + N (the error class gets no traceback).
[[noreturn]] void failure_stop(Message message, int unit, std::string_view file,
                               int platform_error = 0);

// As failure_stop(), for a refusal of the tool's own rather than of the
// platform: the line before the diagnostic is "rtdiag: " + `reason` + CR LF.
[[noreturn]] void failure_stop_because(Message message, int unit, std::string_view file,
                                       std::string_view reason);

// Start-up of the failure layer: installs the interrupt handlers (SIGINT,
// SIGQUIT, SIGHUP; a signal inherited as ignored, as under nohup, stays
// ignored), takes the environment for them, and makes sure floating-point
// exceptions are masked.
void install_failure_handling();

// True when an environment switch with `value` is on: the value begins with
// T, t, Y or y, or is all decimal digits and not zero. Off for nullptr and "".
bool environment_switch_on(const char* value);

// Writes "rtdiag: <class> (N): <text>" + CR LF into buffer[0..capacity), with
// `unit` for "%d" and `name` for "%s"; returns the bytes written, cut at
// `capacity`. Async-signal-safe.
std::size_t format_diagnostic_line(char* buffer, std::size_t capacity, Message message, int unit,
                                   std::string_view name);

// Writes the traceback heading ("Image", "PC", "Routine", "Line", "Source"
// left-aligned in 19, 10, 19, 12 and 19 columns) and LF; returns the bytes
// written, cut at `capacity`.
std::size_t format_traceback_heading(char* buffer, std::size_t capacity);

// One resolved stack frame. An empty image or routine shows "Unknown"; line
// number and source are never resolved and always show "Unknown".
struct TraceFrame {
  std::string_view image;    // file name of the module, without its directory
  std::uint32_t pc_offset;   // program counter relative to the module's base
  std::string_view routine;  // demangled routine name
};

// Writes one frame line: image in 17 columns, two blanks, the PC as 8
// upper-case hex digits, two blanks, routine in 17 columns, two blanks, line
// right-aligned in 10, two blanks, source, LF. Texts are cut to their columns.
// Returns the bytes written, cut at `capacity`.
std::size_t format_traceback_frame(char* buffer, std::size_t capacity, const TraceFrame& frame);

namespace detail {

// Looks `address` up in the running program's own symbol table (.symtab, read
// from /proc/self/exe), as the traceback does for the routines that dladdr()
// cannot name: on success writes the routine's symbol name, cut to fit and
// NUL-terminated, into name[0..capacity) and its first address into `start`.
// False when no routine holds the address or the table cannot be read.
bool find_own_routine(std::uintptr_t address, char* name, std::size_t capacity,
                      std::uintptr_t& start);

}  // namespace detail

}  // namespace records

#endif  // PROFCMP_RECORDS_FAILURE_STOP_H_
