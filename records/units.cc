#include "records/units.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "records/failure_stop.h"

namespace records {
namespace {

// Longest file name a connection keeps (the full path, or the name as given).
constexpr std::size_t k_name_capacity = 256;
// First size of an output record buffer: the default record length and CR LF.
constexpr std::size_t k_first_record_size = 132 + 2;
// Smallest step by which an output record buffer grows.
constexpr std::size_t k_record_growth = 512;
// Largest block asked of one read() call, and the first size of a read buffer.
constexpr std::size_t k_read_block = 8192;
// Largest argument length GETARG reports; longer arguments report this.
constexpr int k_status_limit = 32767;

// One connection of a unit number to a file. The buffers stay with the slot
// after close so a later connection reuses them.
struct Connection {
  bool m_connected = false;
  int m_unit = 0;
  int m_fd = -1;
  char m_name[k_name_capacity + 1] = {};
  std::size_t m_name_length = 0;
  bool m_read_only = false;
  bool m_truncate_pending = false;
  BlankMode m_blanks = BlankMode::null;

  // Output: the record being built, with room for its CR LF.
  char* m_record = nullptr;
  std::size_t m_record_capacity = 0;

  // Input: the file's bytes, split into records.
  RecordSplitter m_split{k_read_block, k_read_block};
};

Connection g_units[k_unit_slots];
int g_argc = 0;
char** g_argv = nullptr;

std::string_view name_of(const Connection& connection) {
  return {connection.m_name, connection.m_name_length};
}

Connection* find_unit(int unit) {
  for (Connection& connection : g_units) {
    if (connection.m_connected && connection.m_unit == unit) return &connection;
  }
  return nullptr;
}

// The connection of `unit`; a statement on an unconnected unit stops with 30.
Connection& connected_unit(int unit) {
  Connection* connection = find_unit(unit);
  if (connection == nullptr) failure_stop(Message::open_failure, unit, "");
  return *connection;
}

bool is_blank_or_nul(char c) {
  return c == ' ' || c == '\0';
}

// Writes into `out` the absolute, lexically normalised path of `source`
// (already absolute): "." and empty components vanish, ".." removes the
// component before it and stays at the root. Returns the length, or 0 when
// the result would not fit below `capacity`.
std::size_t normalise_absolute(std::string_view source, char* out, std::size_t capacity) {
  std::size_t length = 1;
  out[0] = '/';
  std::size_t position = 0;
  while (position < source.size()) {
    while (position < source.size() && source[position] == '/') ++position;
    std::size_t end = position;
    while (end < source.size() && source[end] != '/') ++end;
    const std::string_view component = source.substr(position, end - position);
    position = end;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      while (length > 1 && out[length - 1] != '/') --length;
      if (length > 1) --length;  // the separator before the removed component
      continue;
    }
    const std::size_t needed = (length > 1 ? 1 : 0) + component.size();
    if (length + needed >= capacity) return 0;
    if (length > 1) out[length++] = '/';
    std::memcpy(out + length, component.data(), component.size());
    length += component.size();
  }
  if (!source.empty() && source.back() == '/' && length > 1) {
    if (length + 1 >= capacity) return 0;
    out[length++] = '/';
  }
  return length;
}

// Stores in `connection` the name for diagnostics: the working directory
// joined with `name` and normalised, or `name` unchanged when that fails or
// the full path would have 256 characters or more.
void resolve_full_name(Connection& connection, std::string_view name) {
  char result[k_name_capacity];
  std::size_t length = 0;
  if (!name.empty() && name.front() == '/') {
    length = normalise_absolute(name, result, sizeof result);
  } else {
    char joined[PATH_MAX + k_name_capacity + 2];
    if (::getcwd(joined, PATH_MAX) != nullptr && joined[0] == '/') {
      std::size_t used = std::strlen(joined);
      joined[used++] = '/';
      std::memcpy(joined + used, name.data(), name.size());
      used += name.size();
      length = normalise_absolute({joined, used}, result, sizeof result);
    }
  }
  if (length == 0) {
    std::memcpy(connection.m_name, name.data(), name.size());
    connection.m_name_length = name.size();
  } else {
    std::memcpy(connection.m_name, result, length);
    connection.m_name_length = length;
  }
  connection.m_name[connection.m_name_length] = '\0';
}

int open_retrying(const char* path, int flags) {
  for (;;) {
    const int fd = ::open(path, flags | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

bool is_access_refusal(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

// Stops the run with the message that a refused open's errno selects.
[[noreturn]] void stop_for_open_error(int unit, std::string_view name, int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      failure_stop(Message::file_not_found, unit, name);
    case EMFILE:
    case ENFILE:
      failure_stop(Message::open_failure, unit, name);
    case EACCES:
    case EPERM:
    case EROFS:
      failure_stop(Message::permission_denied, unit, name);
    case ENXIO:
    case ENODEV:
      failure_stop(Message::no_such_device, unit, name);
    case EEXIST:
      failure_stop(Message::cannot_overwrite, unit, name);
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      failure_stop(Message::file_name_error, unit, name);
    default:
      failure_stop(Message::open_failure, unit, name, error);
  }
}

// What an open meets at a name. A named pipe and a socket are streams: what
// is written there cannot be read back. Devices are character and block
// devices. Directories count as other: the open itself refuses them.
enum class FileKind : std::uint8_t { missing, regular, stream, device, other };

FileKind kind_of_mode(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::regular;
  if (S_ISFIFO(mode) || S_ISSOCK(mode)) return FileKind::stream;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::device;
  return FileKind::other;
}

// Follows symbolic links, as the open does. A name that cannot be looked at
// counts as missing; the open then meets the reason itself.
FileKind kind_of_path(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0 ? kind_of_mode(info.st_mode) : FileKind::missing;
}

FileKind kind_of_descriptor(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 ? kind_of_mode(info.st_mode) : FileKind::other;
}

[[noreturn]] void stop_for_no_read_back(int unit, std::string_view name) {
  failure_stop_because(Message::open_failure, unit, name,
                       "Not a regular file, so it cannot be read back");
}

// Takes the advisory lock that keeps two runs from writing the same file:
// exclusive for a read-write connection, shared for a read-only one. Returns
// 0, or the errno of a refusal. A file system without advisory locks leaves
// the file unlocked rather than unusable.
int lock_file(int fd, bool read_only) {
  const int operation = (read_only ? LOCK_SH : LOCK_EX) | LOCK_NB;
  for (;;) {
    if (::flock(fd, operation) == 0) return 0;
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EWOULDBLOCK) return error;
    return 0;  // ENOLCK, EOPNOTSUPP, EINVAL: no locking on this file system
  }
}

// Makes `buffer` hold at least `needed` bytes, keeping its contents.
bool grow_buffer(char*& buffer, std::size_t& capacity, std::size_t needed) {
  if (needed <= capacity) return true;
  void* grown = std::realloc(buffer, needed);
  if (grown == nullptr) return false;
  buffer = static_cast<char*>(grown);
  capacity = needed;
  return true;
}

// The source of a unit's records: read() on its file. A refusal stops the run.
std::ptrdiff_t read_unit_bytes(void* source, char* into, std::size_t room) {
  const Connection& connection = *static_cast<const Connection*>(source);
  for (;;) {
    const ssize_t got = ::read(connection.m_fd, into, room);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    failure_stop(Message::read_error, connection.m_unit, name_of(connection), errno);
  }
}

// Ends a write that the platform refused. Bytes of the failed record that did
// reach a file on disk are cut off again, so the file holds whole records only.
[[noreturn]] void stop_for_write_error(Connection& connection, std::size_t written, int error) {
  if (written > 0) {
    struct stat info;
    if (::fstat(connection.m_fd, &info) == 0 && S_ISREG(info.st_mode)) {
      const off_t end = ::lseek(connection.m_fd, 0, SEEK_CUR);
      if (end >= static_cast<off_t>(written)) {
        (void)::ftruncate(connection.m_fd, end - static_cast<off_t>(written));
      }
    }
  }
  failure_stop(Message::write_error, connection.m_unit, name_of(connection), error);
}

}  // namespace

void start_up(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
  for (Connection& connection : g_units) {
    connection.m_connected = false;
    connection.m_fd = -1;
  }
}

void open_unit(int unit, std::string_view name, OpenStatus /*status*/, BlankMode blanks,
               FileUse use) {
  if (name.size() > k_name_capacity) name = name.substr(0, k_name_capacity);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && is_blank_or_nul(name.back())) name.remove_suffix(1);

  if (find_unit(unit) != nullptr) close_unit(unit);
  Connection* slot = nullptr;
  for (Connection& connection : g_units) {
    if (!connection.m_connected) {
      slot = &connection;
      break;
    }
  }
  if (slot == nullptr) failure_stop(Message::open_failure, unit, name);
  Connection& connection = *slot;
  resolve_full_name(connection, name);
  const std::string_view full_name = name_of(connection);

  // The platform takes a terminated name; a name with a zero byte inside
  // cannot be given to it.
  char path[k_name_capacity + 1];
  std::memcpy(path, name.data(), name.size());
  path[name.size()] = '\0';
  if (std::memchr(path, '\0', name.size()) != nullptr) {
    failure_stop(Message::file_name_error, unit, full_name);
  }

  // The kind of an existing file decides how it may be opened; a missing one
  // is created as a regular file.
  const FileKind kind = kind_of_path(path);
  if (use == FileUse::read_back && kind == FileKind::stream) stop_for_no_read_back(unit, full_name);

  bool read_only = false;
  int fd = -1;
  if (use == FileUse::input && (kind == FileKind::stream || kind == FileKind::device)) {
    // Opened read-write, a named pipe would be its own writer and never end.
    fd = open_retrying(path, O_RDONLY);
    read_only = fd >= 0;
  } else {
    fd = open_retrying(path, O_RDWR | O_CREAT);
    if (fd < 0 && is_access_refusal(errno)) {
      fd = open_retrying(path, O_RDONLY | O_CREAT);
      read_only = fd >= 0;
    }
  }
  if (fd < 0) stop_for_open_error(unit, full_name, errno);
  // The name may have been replaced between the look and the open.
  if (use == FileUse::read_back && kind_of_descriptor(fd) == FileKind::stream) {
    ::close(fd);
    stop_for_no_read_back(unit, full_name);
  }

  const int lock_error = lock_file(fd, read_only);
  if (lock_error != 0) {
    ::close(fd);
    failure_stop(Message::open_failure, unit, full_name, lock_error);
  }

  struct stat info;
  connection.m_truncate_pending = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  connection.m_unit = unit;
  connection.m_fd = fd;
  connection.m_read_only = read_only;
  connection.m_blanks = blanks;
  connection.m_split.restart(read_unit_bytes, &connection);
  connection.m_connected = true;
}

void close_unit(int unit) {
  Connection* connection = find_unit(unit);
  if (connection == nullptr) return;
  connection->m_connected = false;
  const int fd = connection->m_fd;
  connection->m_fd = -1;
  // Closing the descriptor releases its lock. EINTR leaves it closed on Linux.
  if (::close(fd) != 0 && errno != EINTR) {
    failure_stop(Message::close_error, unit, name_of(*connection), errno);
  }
}

void close_all_units() {
  for (Connection& connection : g_units) {
    if (connection.m_connected) close_unit(connection.m_unit);
  }
}

void close_all_units_signal_safe() {
  for (Connection& connection : g_units) {
    if (connection.m_connected && connection.m_fd >= 0) {
      const int fd = connection.m_fd;
      connection.m_fd = -1;
      connection.m_connected = false;
      ::close(fd);
    }
  }
}

void normal_end() {
  close_all_units();
  std::exit(0);
}

bool unit_connected(int unit) {
  return find_unit(unit) != nullptr;
}

std::string_view unit_file_name(int unit) {
  const Connection* connection = find_unit(unit);
  return connection == nullptr ? std::string_view() : name_of(*connection);
}

BlankMode unit_blank_mode(int unit) {
  const Connection* connection = find_unit(unit);
  return connection == nullptr ? BlankMode::null : connection->m_blanks;
}

char* reserve_record(int unit, std::size_t columns) {
  Connection& connection = connected_unit(unit);
  if (connection.m_read_only) {
    failure_stop(Message::write_readonly, unit, name_of(connection));
  }
  if (columns > static_cast<std::size_t>(-1) - k_record_growth - 2) {
    failure_stop(Message::output_overflow, unit, name_of(connection));
  }
  const std::size_t needed = columns + 2;
  if (needed > connection.m_record_capacity) {
    std::size_t size = connection.m_record_capacity == 0
                           ? k_first_record_size
                           : connection.m_record_capacity + k_record_growth;
    if (size < needed) size = needed;
    if (!grow_buffer(connection.m_record, connection.m_record_capacity, size)) {
      failure_stop(Message::output_overflow, unit, name_of(connection));
    }
  }
  return connection.m_record;
}

void write_record(int unit, std::size_t length) {
  Connection& connection = connected_unit(unit);
  // The record was built in the buffer that reserve_record() handed out; this
  // stops a read-only unit and makes sure the line end fits (the contents are kept).
  char* record = reserve_record(unit, length);
  record[length] = '\r';
  record[length + 1] = '\n';
  const std::size_t total = length + 2;
  std::size_t written = 0;
  while (written < total) {
    const ssize_t done = ::write(connection.m_fd, record + written, total - written);
    if (done > 0) {
      written += static_cast<std::size_t>(done);
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    stop_for_write_error(connection, written, done < 0 ? errno : EIO);
  }
  if (connection.m_truncate_pending) {
    connection.m_truncate_pending = false;
    const off_t end = ::lseek(connection.m_fd, 0, SEEK_CUR);
    if (end < 0 || ::ftruncate(connection.m_fd, end) != 0) {
      failure_stop(Message::write_error, unit, name_of(connection), errno);
    }
  }
}

namespace {

// read_record() when the record is not one held already.
[[gnu::noinline]] ReadResult read_record_further(Connection& connection, std::string_view& record) {
  switch (connection.m_split.next(record)) {
    case Split::record:
      return ReadResult::record;
    case Split::end_marker:
    case Split::end_of_data:
      return ReadResult::end_of_file;
    case Split::too_long:
    case Split::out_of_memory:
      failure_stop(Message::record_too_long, connection.m_unit, name_of(connection));
    case Split::read_error:
      break;  // read_unit_bytes() stops the run itself
  }
  failure_stop(Message::read_error, connection.m_unit, name_of(connection));
}

}  // namespace

ReadResult read_record(int unit, std::string_view& record) {
  Connection& connection = connected_unit(unit);
  if (connection.m_split.next_held(record)) [[likely]] {
    return ReadResult::record;
  }
  return read_record_further(connection, record);
}

void GETARG(std::int16_t index, char* buffer, int length, std::int16_t& status) {
  if (index < 0 || index >= g_argc || g_argv == nullptr || g_argv[index] == nullptr) {
    status = -1;
    return;
  }
  const char* argument = g_argv[index];
  const std::size_t full = std::strlen(argument);
  const std::size_t room = length > 0 ? static_cast<std::size_t>(length) : 0;
  const std::size_t copied = full < room ? full : room;
  if (room > 0) {
    std::memcpy(buffer, argument, copied);
    std::memset(buffer + copied, ' ', room - copied);
  }
  status = static_cast<std::int16_t>(
      full > static_cast<std::size_t>(k_status_limit) ? k_status_limit : static_cast<int>(full));
}

std::int32_t len_trim(const char* text, std::int32_t length) {
  if (length < 1) return length;
  while (length > 0 && text[length - 1] == ' ') --length;
  return length;
}

}  // namespace records
