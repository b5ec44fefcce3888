// The baseline of a whole run: only the work no implementation can avoid.
// It reads P.PER in blocks of 8192 bytes, writes the records of P.PRO one
// write() call each (cutting the file after the first), reads P.PRO back,
// and writes the records of P.sci the same way. The records themselves are
// taken from the reference files of a real run in the directory given as the
// only argument, read once at start-up. Nothing is parsed, computed or
// allocated; the exit status is 0, or 1 when a file cannot be had.
//
// Usage: baseline_run <reference-dir>   (in the directory of the run)
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t k_file_capacity = 1 << 20;
constexpr std::size_t k_block = 8192;

char g_report[k_file_capacity];
char g_script[k_file_capacity];
char g_block[k_block];

[[noreturn]] void give_up(const char* what) {
  std::perror(what);
  _exit(1);
}

std::size_t load(const char* dir, const char* name, char* buffer) {
  char path[4096];
  std::snprintf(path, sizeof path, "%s/%s", dir, name);
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) give_up(path);
  std::size_t length = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer + length, k_file_capacity - length);
    if (got < 0) give_up(path);
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
  }
  ::close(fd);
  return length;
}

void read_to_end(int fd) {
  while (::read(fd, g_block, k_block) > 0) {
  }
}

// Writes every CR LF record of bytes[0..length) with its own write() call,
// cutting the file right after the first.
void write_records(int fd, const char* bytes, std::size_t length) {
  bool first = true;
  std::size_t start = 0;
  while (start < length) {
    const void* lf = std::memchr(bytes + start, '\n', length - start);
    const std::size_t end =
        lf == nullptr ? length : static_cast<std::size_t>(static_cast<const char*>(lf) - bytes) + 1;
    if (::write(fd, bytes + start, end - start) != static_cast<ssize_t>(end - start)) {
      give_up("write");
    }
    if (first) {
      if (::ftruncate(fd, static_cast<off_t>(end)) != 0) give_up("ftruncate");
      first = false;
    }
    start = end;
  }
}

int open_run_file(const char* name) {
  const int fd = ::open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) give_up(name);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: baseline_run <reference-dir>\n");
    return 2;
  }
  const std::size_t report_length = load(argv[1], "P.PRO", g_report);
  const std::size_t script_length = load(argv[1], "P.sci", g_script);

  const int results = open_run_file("P.PER");
  int report = open_run_file("P.PRO");
  const int script = open_run_file("P.sci");
  read_to_end(results);
  write_records(report, g_report, report_length);
  ::close(report);
  report = open_run_file("P.PRO");
  read_to_end(report);
  write_records(script, g_script, script_length);
  ::close(results);
  ::close(report);
  ::close(script);
  return 0;
}
