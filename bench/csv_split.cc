// The parse part of reading a long CSV table, two ways on the same file:
// libcsv's state machine (csv_parse with field and row callbacks) against a
// splitter like profkit's own (rows at LF found with memchr, fields at the
// delimiter found with memchr; quoted rows are rare and not timed here).
// Both sum the numbers of the fourth field with strtod, so that each has to
// see every field. Reads the file in 1 MiB blocks; prints wall time per
// pass and the sums, which must agree.
//
//   csv_split FILE
#include <csv.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t k_block = std::size_t{1} << 20;

struct Sum {
  double total = 0;
  std::size_t field = 0;
  std::size_t rows = 0;
};

void on_field(void* data, std::size_t length, void* context) {
  Sum& s = *static_cast<Sum*>(context);
  if (s.field++ == 3 && s.rows > 0) {
    char text[64];
    const std::size_t n = length < 63 ? length : 63;
    std::memcpy(text, data, n);
    text[n] = '\0';
    s.total += std::strtod(text, nullptr);
  }
}

void on_row(int, void* context) {
  Sum& s = *static_cast<Sum*>(context);
  s.field = 0;
  ++s.rows;
}

template <class Block>
void read_blocks(const char* path, Block block) {
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) {
    std::perror(path);
    std::exit(1);
  }
  std::vector<char> buffer(k_block);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n <= 0) break;
    block(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
}

Sum with_libcsv(const char* path) {
  csv_parser parser;
  csv_init(&parser, CSV_APPEND_NULL);
  Sum s;
  read_blocks(path, [&](const char* data, std::size_t n) {
    if (csv_parse(&parser, data, n, on_field, on_row, &s) != n) {
      std::fprintf(stderr, "libcsv: %s\n", csv_strerror(csv_error(&parser)));
      std::exit(1);
    }
  });
  csv_fini(&parser, on_field, on_row, &s);
  csv_free(&parser);
  return s;
}

Sum with_memchr(const char* path) {
  Sum s;
  std::string carry;
  const auto row = [&s](const char* begin, const char* end) {
    std::size_t field = 0;
    for (const char* at = begin;; ++field) {
      const char* comma = static_cast<const char*>(std::memchr(at, ',', end - at));
      const char* stop = comma == nullptr ? end : comma;
      if (field == 3 && s.rows > 0) {
        char text[64];
        const std::size_t n = std::min<std::size_t>(stop - at, 63);
        std::memcpy(text, at, n);
        text[n] = '\0';
        s.total += std::strtod(text, nullptr);
      }
      if (comma == nullptr) break;
      at = comma + 1;
    }
    ++s.rows;
  };
  read_blocks(path, [&](const char* data, std::size_t n) {
    const char* end = data + n;
    const char* at = data;
    if (!carry.empty()) {
      const char* lf = static_cast<const char*>(std::memchr(at, '\n', end - at));
      if (lf == nullptr) {
        carry.append(at, end);
        return;
      }
      carry.append(at, lf);
      row(carry.data(), carry.data() + carry.size());
      carry.clear();
      at = lf + 1;
    }
    for (;;) {
      const char* lf = static_cast<const char*>(std::memchr(at, '\n', end - at));
      if (lf == nullptr) break;
      row(at, lf);
      at = lf + 1;
    }
    carry.assign(at, end);
  });
  if (!carry.empty()) row(carry.data(), carry.data() + carry.size());
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: csv_split FILE\n");
    return 2;
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (const bool libcsv : {true, false}) {
      const auto start = std::chrono::steady_clock::now();
      const Sum s = libcsv ? with_libcsv(argv[1]) : with_memchr(argv[1]);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      std::printf("%-7s %.2f s  rows %zu  sum %.6g\n", libcsv ? "libcsv" : "memchr", took.count(),
                  s.rows, s.total);
    }
  }
  return 0;
}
