// Reading a table in any of profkit's input formats: the format from
// --input-format or from the content, the readers' options, and the
// refusals every subcommand shares.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "profkit/cli/common.h"

namespace kit {
namespace {

// Up to table::k_detect_bytes from `fd`; `whole` when the file ended within them.
std::string read_head(const std::string& file, int fd, bool& whole) {
  std::string head(table::k_detect_bytes, '\0');
  std::size_t got = 0;
  whole = false;
  while (got < head.size()) {
    const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(file + ": " + std::strerror(errno));
    if (n == 0) {
      whole = true;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  return head;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// --tolerance and --dimensions are refused for the formats that are not histories.
void refuse_history_options(const TableOptions& options, table::InputFormat format) {
  if (format != table::InputFormat::history &&
      (!options.tolerance.empty() || !options.dimensions_file.empty())) {
    usage_error(std::string(options.tolerance.empty() ? "--dimensions" : "--tolerance") +
                " goes with a convergence history (--input-format history); '" + options.file +
                "' is read as " + std::string(table::format_name(format)));
  }
}

// The tolerances of the options: --tolerance T alone, else --tolerances.
void tolerances_of(const TableOptions& options, std::vector<std::string>& labels,
                   std::vector<double>& values) {
  const bool one = !options.tolerance.empty();
  const std::string& text = one ? options.tolerance : options.tolerances;
  std::string why;
  if (!table::parse_tolerances(text, labels, values, why)) {
    usage_error(std::string(one ? "--tolerance" : "--tolerances") + ": " + why);
  }
  if (one && values.size() > 1)
    usage_error("--tolerance: one tolerance; --tolerances takes several");
}

// Reads the history of `fd` and the dimensions file of the options into
// `input`: its findings, problems and the table of its first tolerance in
// `input.read`.
void read_history_input(const TableOptions& options, const table::ReadOptions& read, int fd,
                        const std::string& head, InputTable& input) {
  tolerances_of(options, input.tolerance_labels, input.tolerances);
  table::HistoryOptions history_options;
  history_options.read = read;
  history_options.evaluation_column = options.evaluation_column;
  history_options.value_column = options.value_column;
  history_options.dimension_column = options.dimension_column;
  table::History& history = input.history;
  history = table::read_history(fd, head, options.file, history_options);
  if (options.file != "-") ::close(fd);
  if (!history.read.stopped && !options.dimensions_file.empty()) {
    const int dimensions = open_table(options.dimensions_file);
    table::read_dimensions(dimensions, options.dimensions_file, 0, history);
    if (options.dimensions_file != "-") ::close(dimensions);
  }
  if (!history.read.stopped) {
    const bool some = std::any_of(history.dimensions.begin(), history.dimensions.end(),
                                  [](std::uint64_t d) { return d > 0; });
    if (some || !options.dimensions_file.empty()) {
      for (std::size_t p = 0; p < history.problem_names.size(); ++p) {
        if (history.dimensions[p] > 0) continue;
        history.read.add(options.file, 0, 0, false,
                         "problem '" + history.problem_names[p] +
                             "' has no dimension; data profiles need one for every problem");
      }
    }
  }
  input.read = std::move(history.read);
  history.read = table::ReadTable();
  if (input.read.stopped) return;
  input.read.problem_names = history.problem_names;
  input.read.measure_names = {"evaluations"};
  input.read.measures.push_back(table::history_table(history, input.tolerances.front()));
}

}  // namespace

std::string finding_text(const table::SourceFinding& f) {
  std::string text = f.file;
  if (f.line > 0) {
    text += ':';
    text += std::to_string(f.line);
  }
  if (f.line > 0 && f.column > 0) {
    text += ':';
    text += std::to_string(f.column);
  }
  text += ": ";
  text += f.message;
  return text;
}

table::InputFormat input_format_of(TableOptions& options, int& fd, std::string& head) {
  if (options.files.empty()) options.files = {"P.PER"};
  options.file = options.files.front();
  table::InputFormat format = table::InputFormat::pper;
  const bool given = !options.input_format.empty();
  if (given) table::format_of(options.input_format, format);
  if (given && format == table::InputFormat::perprof) {
    refuse_history_options(options, format);
    for (const std::string& f : options.files) {
      if (f == "-") usage_error("perprof tables are read from files, not from standard input");
    }
    fd = -1;
    return format;
  }
  fd = open_table(options.file);
  struct stat status {};
  const bool seekable =
      ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::lseek(fd, 0, SEEK_CUR) == 0;
  if (!given) {
    bool whole = false;
    head = read_head(options.file, fd, whole);
    std::string why;
    if (!table::detect_format(head, whole, format, why)) {
      fail(options.file + ": not a table profkit reads (" + why +
           "); the formats are pper (results tables), csv (long CSV), wide (wide CSV), "
           "perprof and history (convergence histories); name one with --input-format");
    }
    if (seekable) {
      ::lseek(fd, 0, SEEK_SET);
      head.clear();
    }
  }
  refuse_history_options(options, format);
  if (options.files.size() > 1 && format != table::InputFormat::perprof) {
    usage_error("several FILEs are read only as perprof tables (one per solver); '" + options.file +
                "' is read as " + std::string(table::format_name(format)));
  }
  if (format == table::InputFormat::perprof) {
    if (options.file != "-") ::close(fd);
    fd = -1;
    for (const std::string& f : options.files) {
      if (f == "-") usage_error("perprof tables are read from files, not from standard input");
    }
  }
  return format;
}

table::ReadOptions read_options_of(const TableOptions& options) {
  table::ReadOptions read;
  if (!options.delimiter.empty()) {
    read.delimiter =
        options.delimiter == "tab" || options.delimiter == "\\t" ? '\t' : options.delimiter.front();
  }
  read.method_column = options.method_column;
  read.problem_column = options.problem_column;
  read.status_column = options.status_column;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= options.success.size() && !options.success.empty(); ++i) {
    if (i == options.success.size() || options.success[i] == ',') {
      read.success.push_back(options.success.substr(start, i - start));
      start = i + 1;
    }
  }
  if (!options.criteria.empty()) {
    read.measures = options.criteria;
  } else if (options.criterion_given) {
    read.measures.push_back(options.criterion);
  }
  read.min_cost = options.min_cost;
  return read;
}

InputTable read_input(TableOptions& options,
                      const std::function<void(const table::ParsedRecord&)>& observer,
                      table::AfterEnd after_end) {
  int fd = -1;
  std::string head;
  const table::InputFormat format = input_format_of(options, fd, head);
  return read_opened(options, format, fd, head, observer, after_end);
}

InputTable read_opened(const TableOptions& options, table::InputFormat format, int fd,
                       const std::string& head,
                       const std::function<void(const table::ParsedRecord&)>& observer,
                       table::AfterEnd after_end) {
  InputTable input;
  input.format = format;

  const table::ReadOptions read = read_options_of(options);
  switch (input.format) {
    case table::InputFormat::pper: {
      table::RecordReader reader(fd);
      reader.preload(head);
      const bool ok = table::read_results(reader, input.results, observer, after_end);
      if (options.file != "-") ::close(fd);
      if (!ok) fail(read_failure(options.file, reader.error(), reader.line()));
      break;
    }
    case table::InputFormat::csv:
    case table::InputFormat::wide:
      input.read =
          table::read_csv(fd, head, options.file, read, input.format == table::InputFormat::wide);
      if (options.file != "-") ::close(fd);
      break;
    case table::InputFormat::perprof:
      input.read = table::read_perprof(options.files, read);
      break;
    case table::InputFormat::history:
      read_history_input(options, read, fd, head, input);
      break;
  }
  return input;
}

void refuse_errors(const TableOptions& options, const table::ReadTable& read) {
  if (read.stopped) fail(finding_text(read.findings.back()));
  for (const table::SourceFinding& f : read.findings) {
    if (!f.error) continue;
    fail(finding_text(f) + "; 'profkit check " + options.file +
         "' lists every problem of the table");
  }
  if (read.errors > 0) {
    fail(options.file + ": " + plural(read.errors, "error", "errors") +
         "; 'profkit check' lists them");
  }
}

void write_each_table(TableOptions options, const std::string& output, bool csv,
                      const std::function<void(const LoadedTable&, std::ostream&)>& write) {
  int fd = -1;
  std::string head;
  const table::InputFormat format = input_format_of(options, fd, head);
  if (format != table::InputFormat::history || !options.tolerance.empty()) {
    const LoadedTable loaded = load_measures_opened(options, format, fd, head);
    write_output(output, [&](std::ostream& out) { write(loaded, out); });
    return;
  }
  InputTable input = read_opened(options, format, fd, head);
  refuse_errors(options, input.read);
  refuse_empty(options.file, input.read.methods(), input.read.problem_names.size());
  write_output(output, [&](std::ostream& out) {
    for (std::size_t k = 0; k < input.tolerances.size(); ++k) {
      LoadedTable loaded;
      loaded.criterion = input.read.measure_names.front();
      loaded.measures = table::history_table(input.history, input.tolerances[k]);
      std::ostringstream one;
      write(loaded, one);
      const std::string text = one.str();
      const std::string& label = input.tolerance_labels[k];
      if (!csv) {
        out << (k == 0 ? "" : "\n") << "Tolerance " << label << ":\n" << text;
        continue;
      }
      // Labels are numbers as given: they need no quotes.
      std::size_t start = 0;
      if (k == 0) {
        out << "tolerance,";
      } else {
        const std::size_t header_end = text.find('\n');
        start = header_end == std::string::npos ? text.size() : header_end + 1;
      }
      for (bool header = k == 0; start < text.size(); header = false) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (!header) out << label << ',';
        out.write(text.data() + start, static_cast<std::streamsize>(end - start));
        start = end;
      }
    }
  });
}

void refuse_empty(const std::string& file, std::size_t methods, std::size_t problems) {
  if (methods == 0) fail(file + ": the table has no method; there is nothing to compare");
  if (problems == 0) fail(file + ": the table has no problem; there is nothing to compare");
}

}  // namespace kit
