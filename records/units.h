// File units: the connection of unit numbers to named files, records on disk,
// command-line arguments and the trimmed length of a text.
//
// The unit table has a fixed number of slots and exists once for the run.
// Every completed record is written with one write() call and ends in CR LF;
// records are read in blocks of up to 8192 bytes and split into records by
// RecordSplitter (record_split.h), which also bounds their length. Every
// refusal of the platform ends the run through failure_stop() with its
// message number.
#ifndef PROFCMP_RECORDS_UNITS_H_
#define PROFCMP_RECORDS_UNITS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "records/record_format.h"
#include "records/record_split.h"

namespace records {

// The unit number of in-memory reads and writes of a text variable.
inline constexpr int k_internal_unit = -5;
inline constexpr std::string_view k_internal_read_name = "Internal Formatted Read";
inline constexpr std::string_view k_internal_write_name = "Internal Formatted Write";

// Slots of the unit table; the tool connects at most three units at a time.
inline constexpr int k_unit_slots = 8;

// The only open status the tool uses: create the file when it is missing,
// keep its contents otherwise.
enum class OpenStatus : std::uint8_t { unknown };

// What the run does with a file, which decides how a file that is not a
// regular file is met. A missing file, a regular file and a directory are
// opened alike for every use.
enum class FileUse : std::uint8_t {
  // Read and write whatever it is: a named pipe receives the records.
  read_write,
  // Only read: a named pipe or a device is opened for reading only, so the
  // reading ends when its writer closes it.
  input,
  // Written, then read back from its start: a named pipe or a socket holds
  // nothing to read back and is refused with message 30.
  read_back,
};

// Captures the argument vector; no unit is connected afterwards.
void start_up(int argc, char** argv);

// Connects `unit` to the file `name`: read and write, created empty when
// missing, read-only when writing is refused or `use` asks for it; positioned
// at the first byte. Takes an exclusive advisory lock (shared when read-only).
// Stops the run with message 9, 10, 29, 30, 42 or 43 when the file cannot be
// opened, and with 30 when `use` refuses the kind of file.
void open_unit(int unit, std::string_view name, OpenStatus status, BlankMode blanks,
               FileUse use = FileUse::read_write);

// Releases the unit and keeps its file as written. Message 28 when refused.
void close_unit(int unit);

// Closes every connected unit (normal end and failure stop).
void close_all_units();

// Closes the handles of every connected unit with async-signal-safe calls only.
void close_all_units_signal_safe();

// Closes every connected unit and ends the process with exit status 0.
[[noreturn]] void normal_end();

// True when `unit` is connected.
bool unit_connected(int unit);

// The full path the unit's file name resolved to at open ("" when not connected).
std::string_view unit_file_name(int unit);

// The blank mode the unit was connected with.
BlankMode unit_blank_mode(int unit);

// Returns the unit's record buffer with room for `columns` characters and the
// line end; grows it in steps of at least 512 bytes (message 66 when memory
// cannot be had). Message 47 when the unit could only be opened for reading.
char* reserve_record(int unit, std::size_t columns);

// Writes the first `length` characters of the unit's record buffer followed by
// CR LF with one write() call. The first record written cuts the file after it.
// Message 38 when the write is refused.
void write_record(int unit, std::size_t length);

enum class ReadResult : std::uint8_t { record, end_of_file };

// Reads the next record of `unit` into `record` (valid until the next read of
// that unit). A lone byte 26 counts as the end of the file, which stays met.
// Message 39 when the read is refused, 22 when the record is longer than
// k_max_record_length or the buffer cannot grow.
ReadResult read_record(int unit, std::string_view& record);

// Argument `index` of the command line (0 is the program name) into
// buffer[0..length), blank-padded. `status` is the argument's full length,
// clamped to 32767, or -1 (buffer unchanged) when there is no such argument.
void GETARG(std::int16_t index, char* buffer, int length, std::int16_t& status);

// Position of the last character of text[0..length) that is not a blank
// (code 32), or 0; a length below 1 is returned unchanged.
std::int32_t len_trim(const char* text, std::int32_t length);

}  // namespace records

#endif  // PROFCMP_RECORDS_UNITS_H_
