// The tables of the perprof tools: one file per solver, an optional header
// of "key: value" lines between two "---" lines, then one line per problem
// of blank-separated columns: name, exit flag, cost (by default).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "profkit/table/csv_rows.h"
#include "profkit/table/results_table.h"
#include "profkit/table/table_model.h"

namespace table {
namespace {

struct Header {
  std::string algname;
  std::vector<std::string> success{"c"};
  std::size_t col_name = 1, col_exit = 2, col_time = 3;
  double mintime = 0;
  double maxtime = -1;  // below 0: none
  bool free_format = false;
  std::string subset;
};

// `text` without blanks around it and, as YAML allows, without the quotes
// around a value.
std::string_view value_text(std::string_view text) {
  text = trim(text);
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

struct Word {
  std::string_view text;
  std::size_t column = 1;
};

void words_of(std::string_view line, std::vector<Word>& words) {
  words.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back({line.substr(start, i - start), start + 1});
  }
}

std::string base_name(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads the names of a subset file, one per line (blank-separated words too).
bool read_subset(const std::string& path, std::unordered_set<std::string>& names) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  RecordReader reader(fd);
  std::string_view line;
  std::vector<Word> words;
  while (reader.next(line)) {
    words_of(line, words);
    for (const Word& w : words) names.emplace(w.text);
  }
  ::close(fd);
  return reader.error() == 0;
}

}  // namespace

ReadTable read_perprof(const std::vector<std::string>& files, const ReadOptions& options) {
  ReadTable out;
  out.measure_names.push_back("cost");
  TableBuilder builder(1);
  std::vector<Word> words;
  for (const std::string& file : files) {
    int fd = 0;
    if (file != "-") {
      do {
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
      } while (fd < 0 && errno == EINTR);
      if (fd < 0) {
        out.stop(file, 0, 0, std::string("cannot be opened: ") + std::strerror(errno));
        return out;
      }
    }
    RecordReader reader(fd);
    Header h;
    std::string_view line;
    bool in_header = false;
    bool first = true;
    std::unique_ptr<std::unordered_set<std::string>> subset;
    std::uint32_t method = 0;
    bool method_made = false;
    const auto make_method = [&] {
      if (method_made) return;
      const std::string name = h.algname.empty() ? base_name(file) : h.algname;
      for (std::uint32_t m = 0; m < builder.methods(); ++m) {
        if (builder.method_name(m) == name) {
          out.add(file, 0, 0, false, "method name '" + name + "' is taken by an earlier file");
          break;
        }
      }
      method = builder.new_method(name);
      method_made = true;
      if (!h.subset.empty()) {
        subset = std::make_unique<std::unordered_set<std::string>>();
        if (!read_subset(h.subset, *subset)) {
          out.stop(file, 0, 0, "subset file '" + h.subset + "' cannot be read");
        }
      }
    };
    while (!out.stopped && reader.next(line)) {
      const std::uint64_t at = reader.line();
      if (first && value_text(line) == "---") {
        in_header = true;
        first = false;
        continue;
      }
      first = false;
      if (in_header) {
        if (value_text(line) == "---") {
          in_header = false;
          continue;
        }
        const std::size_t colon = line.find(':');
        if (value_text(line).empty() || value_text(line).front() == '#') continue;
        if (colon == std::string_view::npos) {
          out.add(file, at, 1, true, "header line is not 'key: value'");
          continue;
        }
        const std::string_view key = value_text(line.substr(0, colon));
        const std::string_view value = value_text(line.substr(colon + 1));
        const std::size_t value_column = static_cast<std::size_t>(value.data() - line.data()) + 1;
        double number = 0;
        const auto column_number = [&](std::size_t& target) {
          if (parse_number(value, number) != 1 || number < 1 || number > 1000 ||
              number != static_cast<double>(static_cast<std::size_t>(number))) {
            out.add(file, at, value_column, true,
                    std::string(key) + " '" + std::string(value) + "' is not a column number");
            return;
          }
          target = static_cast<std::size_t>(number);
        };
        if (key == "algname") {
          h.algname = std::string(value);
        } else if (key == "success") {
          h.success.clear();
          std::size_t start = 0;
          for (std::size_t i = 0; i <= value.size(); ++i) {
            if (i == value.size() || value[i] == ',') {
              const std::string_view item = value_text(value.substr(start, i - start));
              if (!item.empty()) h.success.emplace_back(item);
              start = i + 1;
            }
          }
        } else if (key == "col_name") {
          column_number(h.col_name);
        } else if (key == "col_exit") {
          column_number(h.col_exit);
        } else if (key == "col_time") {
          column_number(h.col_time);
        } else if (key == "mintime" || key == "maxtime") {
          if (parse_number(value, number) != 1 || number < 0) {
            out.add(file, at, value_column, true,
                    std::string(key) + " '" + std::string(value) + "' is not a number");
          } else {
            (key == "mintime" ? h.mintime : h.maxtime) = number;
          }
        } else if (key == "free_format") {
          const std::string v(value);
          h.free_format = v == "True" || v == "true" || v == "yes" || v == "Yes" || v == "1";
        } else if (key == "subset") {
          h.subset = std::string(value);
        }
        continue;
      }
      make_method();
      if (out.stopped) break;
      words_of(line, words);
      if (words.empty() || words.front().text.front() == '#') continue;
      const std::size_t needed = std::max({h.col_name, h.col_exit, h.col_time});
      if (words.size() < needed) {
        out.add(file, at, line.size() + 1, true,
                "line has " + std::to_string(words.size()) + " columns; " + std::to_string(needed) +
                    " are needed");
        continue;
      }
      const Word& name = words[h.col_name - 1];
      const Word& flag = words[h.col_exit - 1];
      const Word& cost = words[h.col_time - 1];
      if (subset && subset->count(std::string(name.text)) == 0) continue;
      if (has_control_bytes(name.text)) {
        out.add(file, at, name.column, false,
                "problem name '" + std::string(name.text) + "' holds control bytes");
      }
      bool solved = false;
      for (const std::string& s : h.success) solved = solved || flag.text == s;
      if (!solved && !h.free_format && flag.text != "d") {
        out.add(file, at, flag.column, false,
                "exit flag '" + std::string(flag.text) +
                    "' is neither a success flag nor d; read as a failure (free_format: True "
                    "accepts any flag)");
      }
      double value = 0;
      const int kind = parse_number(cost.text, value);
      double measure = k_failed;
      if (kind == -1) {
        out.add(file, at, cost.column, true,
                "cost '" + std::string(cost.text) + "' is not a number");
      } else if (solved && kind == 1 && value >= 0) {
        if (value < h.mintime) value = h.mintime;
        if (options.min_cost > 0 && value < options.min_cost) value = options.min_cost;
        if (h.maxtime >= 0 && value > h.maxtime) {
          measure = k_failed;
        } else if (value == 0) {
          out.add(file, at, cost.column, true,
                  "cost 0 for a solved run; give --min-cost X to raise costs below X to X");
        } else {
          measure = value;
        }
      }
      if (!builder.put(method, builder.problem(name.text), &measure)) {
        out.add(file, at, name.column, true,
                "problem '" + std::string(name.text) + "' given twice");
      }
    }
    if (!out.stopped) make_method();
    const int error = reader.error();
    const std::uint64_t error_line = reader.line();
    if (file != "-") ::close(fd);
    if (out.stopped) return out;
    if (error == k_record_too_long) {
      out.stop(file, error_line, 0, "line longer than 1 MiB (1048576 bytes)");
      return out;
    }
    if (error != 0) {
      out.stop(file, 0, 0, std::string("cannot be read: ") + std::strerror(error));
      return out;
    }
    if (in_header) {
      out.stop(file, reader.line(), 0, "the header has no closing '---' line");
      return out;
    }
  }
  const std::size_t problems = builder.problems();
  for (std::uint32_t m = 0; m < builder.methods(); ++m) {
    const std::size_t lacking = problems - builder.given(m);
    if (lacking > 0) {
      out.add(files[m < files.size() ? m : 0], 0, 0, false,
              "method '" + builder.method_name(m) + "' lacks " + std::to_string(lacking) +
                  " of the " + std::to_string(problems) + " problems; they count as its failures");
    }
  }
  builder.finish(out);
  return out;
}

}  // namespace table
