// Output files written whole or not at all: the bytes go to a temporary file
// beside the target, which is flushed to disk and renamed over the target only
// when complete. A failed, aborted or interrupted (SIGINT, SIGTERM, SIGHUP)
// run leaves the old target as it was and no temporary file behind.
#ifndef PROFCMP_PROFKIT_CLI_ATOMIC_OUTPUT_H_
#define PROFCMP_PROFKIT_CLI_ATOMIC_OUTPUT_H_

#include <array>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace kit {

// The file a write to `path` must replace: `path` itself, or where a chain of
// symbolic links ends (the links stay as they are). Empty on a link loop.
std::string write_target(const std::string& path);

// True when `output` names the same file as one of `inputs` (after links),
// so writing it would destroy an input before or while it is read. Inputs
// that do not exist, "-" and an empty name never match.
bool output_is_an_input(const std::string& output, const std::vector<std::string>& inputs);

// Removes every temporary file not yet committed (for a process that ends
// without unwinding its stack).
void remove_pending_outputs();

// A stream buffer over a file descriptor that keeps the reason of the first
// failed write (a full disk says "No space left on device", not a stream's
// generic failure).
class FdBuffer : public std::streambuf {
 public:
  FdBuffer() { setp(m_buffer.data(), m_buffer.data() + m_buffer.size()); }
  void attach(int fd) { m_fd = fd; }
  int fd() const { return m_fd; }
  int error() const { return m_error; }  // errno of the first failed write, or 0
  bool flush_all();                      // writes what is buffered; false on failure

 protected:
  int_type overflow(int_type ch) override;
  int sync() override { return flush_all() ? 0 : -1; }
  std::streamsize xsputn(const char* data, std::streamsize count) override;

 private:
  bool write_out(const char* data, std::size_t size);
  std::array<char, 1 << 16> m_buffer;
  int m_fd = -1;
  int m_error = 0;
};

// One output in progress. open() creates the temporary file; commit() makes
// it the target; the destructor removes a temporary file never committed.
class AtomicOutput {
 public:
  AtomicOutput() = default;
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Creates the temporary file for `path`; on failure returns false with
  // error() saying why (the target is untouched).
  bool open(const std::string& path);
  std::ostream& stream() { return m_stream; }
  // Flushes, syncs and renames the temporary file over the target, with the
  // target's permissions when it existed (else 0666 less the umask). On
  // failure returns false with error() set, and the target is untouched.
  bool commit();
  const std::string& error() const { return m_error; }

 private:
  void discard();
  void close_fd();
  std::string m_target;
  std::string m_temporary;
  FdBuffer m_buffer;
  std::ostream m_stream{&m_buffer};
  std::string m_error;
};

}  // namespace kit

#endif  // PROFCMP_PROFKIT_CLI_ATOMIC_OUTPUT_H_
