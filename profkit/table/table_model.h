// Results tables in the layouts solver developers keep them, read into the
// measure tables every analysis takes: a long CSV (one row per method and
// problem), a wide CSV (one row per problem, one column per method) and the
// one-file-per-solver tables of the perprof tools. Problems are matched by
// name; a problem a method lacks is its failure. What the reading finds
// wrong or doubtful is kept as findings at FILE:LINE:COLUMN.
#ifndef PROFCMP_PROFKIT_TABLE_TABLE_MODEL_H_
#define PROFCMP_PROFKIT_TABLE_TABLE_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "profkit/table/measure_table.h"
#include "records/record_split.h"

namespace table {

enum class InputFormat : std::uint8_t { pper, csv, wide, perprof, history };

// "pper", "csv", "wide", "perprof" or "history".
std::string_view format_name(InputFormat format);
// The format named `name`; false for any other name.
bool format_of(std::string_view name, InputFormat& format);

struct SourceFinding {
  std::string file;
  std::uint64_t line = 0;  // from 1; 0: the file as a whole
  std::size_t column = 0;  // byte column from 1; 0: the line as a whole
  bool error = false;      // else a warning
  std::string message;
};

// Findings kept per table; the rest are only counted.
inline constexpr std::size_t k_kept_findings = 100;

// The longest row read (its line ends not counted), as for results records.
inline constexpr std::size_t k_max_row_bytes = records::k_max_record_length;

struct ReadOptions {
  char delimiter = 0;                 // 0: the one of , ; and tab met most often in the header line
  std::string method_column;          // empty: solver, method or algorithm
  std::string problem_column;         // empty: problem, instance or name
  std::string status_column;          // empty: status, exitflag or flag, when there is one
  std::vector<std::string> success;   // empty: the format's own list
  std::vector<std::string> measures;  // columns to read; empty: the first numeric one
  // The option that named each of `measures`, for messages; --criterion
  // where there is none.
  std::vector<std::string> measure_options;
  double min_cost = 0;  // above 0: every cost below it is raised to it
};

struct ReadTable {
  std::vector<std::string> measure_names;  // the measures read, as the input names them
  std::vector<MeasureTable> measures;      // one per measure name
  std::vector<std::string> problem_names;  // in the order first met
  std::vector<SourceFinding> findings;     // the kept ones, in the order met
  std::size_t errors = 0;
  std::size_t warnings = 0;
  bool stopped = false;  // the input could not be read on: the last finding says why

  void add(const std::string& file, std::uint64_t line, std::size_t column, bool error,
           std::string message);
  // An error that ends the reading.
  void stop(const std::string& file, std::uint64_t line, std::size_t column, std::string message);
  std::size_t methods() const { return measures.empty() ? 0 : measures.front().methods(); }
};

// Names to numbers, in the order first met; a lookup costs no string. The
// names lie in a deque (short ones inside their std::string, never moved, no
// large block freed as it grows), found through a table of numbers by open
// addressing: no allocation per short name.
class NameIndex {
 public:
  // The number of `name`, a new one when it is new; `added` says which.
  std::uint32_t find_or_add(std::string_view name, bool& added);
  const std::string& name(std::uint32_t id) const { return m_names[id]; }
  std::size_t size() const { return m_names.size(); }
  std::uint32_t last() const { return m_last; }

 private:
  void grow();
  std::deque<std::string> m_names;
  // Slots mapped from the system, not the heap: growing them frees no
  // large heap block, which would make the allocator keep later large
  // blocks (the measure rows) on its heap after they are freed.
  class Slots {
   public:
    Slots() = default;
    explicit Slots(std::size_t size);
    Slots(Slots&& other) noexcept { swap(other); }
    Slots& operator=(Slots&& other) noexcept {
      swap(other);
      return *this;
    }
    ~Slots();
    void swap(Slots& other) noexcept {
      std::swap(m_data, other.m_data);
      std::swap(m_size, other.m_size);
    }
    std::uint64_t& operator[](std::size_t k) { return m_data[k]; }
    std::size_t size() const { return m_size; }

   private:
    std::uint64_t* m_data = nullptr;
    std::size_t m_size = 0;
  };
  // Per slot: the high half of the name's hash and its number + 1; 0: free.
  Slots m_slots;
  std::uint32_t m_last = 0;
  bool m_advancing = false;  // the last name found was the one after the one before
};

// Collects the cells of a table by method and problem number, `measures`
// values each (k_failed for a failure), and turns them into measure tables.
// Memory: in proportion to the cells put. A method's problems that come in
// ascending order need nothing more to find a pair given twice; once they
// come out of order, a set of its problems (a bitmap while that is small,
// else a hash set) finds it.
class TableBuilder {
 public:
  explicit TableBuilder(std::size_t measures) : m_measures(measures) {}
  // Methods and problems by name, numbered in the order first met.
  std::uint32_t method(std::string_view name);
  // A new method even when the name is taken (perprof files).
  std::uint32_t new_method(std::string_view name);
  std::uint32_t problem(std::string_view name);
  // Stores the cell; false when the method has the problem already.
  bool put(std::uint32_t method, std::uint32_t problem, const double* values);
  std::size_t methods() const { return m_method_names.size(); }
  const std::string& method_name(std::uint32_t m) const { return m_method_names[m]; }
  std::size_t given(std::uint32_t m) const { return m_cells[m].given; }
  std::size_t problems() const { return m_problems.size(); }
  // The tables, one per measure, and the problem names into `out`; the
  // builder is empty afterwards.
  void finish(ReadTable& out);

 private:
  // The problems a method was given out of order.
  struct Seen {
    std::vector<std::uint64_t> bits;  // while small: bit p for problem p
    std::unordered_set<std::uint32_t> set;
    bool hashed = false;
  };
  struct Cells {
    // The problems in the order put; empty while they are 0, 1, 2, ...
    std::vector<std::uint32_t> problems;
    std::vector<double> values;  // m_measures per cell
    std::size_t given = 0;       // cells put
    std::uint32_t next = 0;      // 1 + the largest problem put
    std::unique_ptr<Seen> seen;  // once a problem came out of order
  };
  void add_method(std::string_view name);
  // The problems of `cells` written out, when they are 0, 1, 2, ... still.
  static void list_problems(Cells& cells);
  // Whether method m has `problem` already; records it when not.
  bool seen_before(Cells& cells, std::uint32_t problem);

  std::size_t m_measures;
  NameIndex m_methods;
  std::vector<std::string> m_method_names;
  NameIndex m_problems;
  std::vector<Cells> m_cells;
  std::uint32_t m_last_method = 0;
};

// Reads a long (`wide` false) or wide CSV table from `fd`, with `head`
// already read from it.
ReadTable read_csv(int fd, std::string_view head, const std::string& file,
                   const ReadOptions& options, bool wide);

// Reads perprof tables, one per file (methods in the order of the files).
ReadTable read_perprof(const std::vector<std::string>& files, const ReadOptions& options);

// The format the first bytes of a file (up to k_detect_bytes) show; false,
// with the reason in `why`, when they fit none.
inline constexpr std::size_t k_detect_bytes = std::size_t{1} << 16;
bool detect_format(std::string_view head, bool whole_file, InputFormat& format, std::string& why);

// The number `text` holds (blanks around it allowed, a leading + too, nan
// and inf in any case): 1 a finite number, 2 NaN or infinite, 0 empty, -1
// not a number.
int parse_number(std::string_view text, double& value);

// Whether `a` and `b` are equal ignoring the case of ASCII letters.
bool same_name(std::string_view a, std::string_view b);

// Whether `a` and `b` hold the same bytes: a loop, since names are short and
// a call to memcmp costs more than comparing them.
inline bool same_bytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Whether `text` holds a control byte (below 32, or 127).
bool has_control_bytes(std::string_view text);

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_TABLE_MODEL_H_
