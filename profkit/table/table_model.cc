#include "profkit/table/table_model.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <new>

#include "profkit/table/csv_rows.h"

namespace table {
namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr std::string_view k_names[] = {"pper", "csv", "wide", "perprof", "history"};

}  // namespace

std::string_view format_name(InputFormat format) {
  return k_names[static_cast<std::size_t>(format)];
}

bool format_of(std::string_view name, InputFormat& format) {
  for (std::size_t k = 0; k < std::size(k_names); ++k) {
    if (name == k_names[k]) {
      format = static_cast<InputFormat>(k);
      return true;
    }
  }
  return false;
}

void ReadTable::add(const std::string& file, std::uint64_t line, std::size_t column, bool error,
                    std::string message) {
  ++(error ? errors : warnings);
  if (findings.size() < k_kept_findings) {
    findings.push_back({file, line, column, error, std::move(message)});
  }
}

void ReadTable::stop(const std::string& file, std::uint64_t line, std::size_t column,
                     std::string message) {
  ++errors;
  findings.push_back({file, line, column, true, std::move(message)});
  stopped = true;
}

std::uint32_t NameIndex::find_or_add(std::string_view name, bool& added) {
  added = false;
  // Tables list problems in the same order for every method, or every
  // method of one problem together: the next name is mostly the one after
  // the last, or the last again.
  // Which of the two comes first is the one that came last time.
  if (!m_names.empty()) {
    const bool next = m_last + 1 < m_names.size();
    if (m_advancing && next && same_bytes(m_names[m_last + 1], name)) return ++m_last;
    if (same_bytes(m_names[m_last], name)) {
      m_advancing = false;
      return m_last;
    }
    if (!m_advancing && next && same_bytes(m_names[m_last + 1], name)) {
      m_advancing = true;
      return ++m_last;
    }
  }
  m_advancing = false;
  if (2 * (m_names.size() + 1) > m_slots.size()) grow();
  // A slot holds the hash's high half beside the number + 1, so that a
  // probe looks at a name only when the two agree.
  const std::uint64_t hash = std::hash<std::string_view>{}(name);
  const std::uint64_t tag = hash & ~std::uint64_t{0xFFFFFFFF};
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
    const std::uint64_t slot = m_slots[s];
    if (slot == 0) {
      m_names.emplace_back(name);
      m_slots[s] = tag | m_names.size();
      added = true;
      m_last = static_cast<std::uint32_t>(m_names.size() - 1);
      return m_last;
    }
    const auto id = static_cast<std::uint32_t>(slot - 1);
    if ((slot & ~std::uint64_t{0xFFFFFFFF}) == tag && same_bytes(m_names[id], name)) {
      m_last = id;
      return m_last;
    }
  }
}

NameIndex::Slots::Slots(std::size_t size) {
  void* data = ::mmap(nullptr, size * sizeof(std::uint64_t), PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  m_data = static_cast<std::uint64_t*>(data);  // zeros: every slot free
  m_size = size;
}

NameIndex::Slots::~Slots() {
  if (m_data != nullptr) ::munmap(m_data, m_size * sizeof(std::uint64_t));
}

void NameIndex::grow() {
  Slots slots(std::max<std::size_t>(2 * m_slots.size(), 512));
  const std::size_t mask = slots.size() - 1;
  for (std::uint32_t id = 0; id < m_names.size(); ++id) {
    const std::uint64_t hash = std::hash<std::string_view>{}(m_names[id]);
    std::size_t s = hash & mask;
    while (slots[s] != 0) s = (s + 1) & mask;
    slots[s] = (hash & ~std::uint64_t{0xFFFFFFFF}) | (id + 1);
  }
  m_slots.swap(slots);
}

std::uint32_t TableBuilder::method(std::string_view name) {
  if (!m_method_names.empty()) {
    if (same_bytes(m_method_names[m_last_method], name)) return m_last_method;
  }
  bool added = false;
  const std::uint32_t m = m_methods.find_or_add(name, added);
  if (added) add_method(name);
  m_last_method = m;
  return m;
}

std::uint32_t TableBuilder::new_method(std::string_view name) {
  add_method(name);
  m_last_method = static_cast<std::uint32_t>(m_method_names.size() - 1);
  return m_last_method;
}

void TableBuilder::add_method(std::string_view name) {
  m_method_names.emplace_back(name);
  m_cells.emplace_back();
}

std::uint32_t TableBuilder::problem(std::string_view name) {
  bool added = false;
  return m_problems.find_or_add(name, added);
}

void TableBuilder::list_problems(Cells& cells) {
  if (!cells.problems.empty() || cells.given == 0) return;
  cells.problems.resize(cells.given);
  for (std::uint32_t p = 0; p < cells.given; ++p) cells.problems[p] = p;
}

bool TableBuilder::seen_before(Cells& cells, std::uint32_t problem) {
  if (!cells.seen) {
    // The problems so far ascend: they are the set to start from.
    list_problems(cells);
    cells.seen = std::make_unique<Seen>();
    for (const std::uint32_t p : cells.problems) seen_before(cells, p);
  }
  Seen& seen = *cells.seen;
  if (!seen.hashed) {
    const std::size_t word = problem / 64;
    // A bitmap costs at most about 16 bytes per problem given; beyond that
    // the problems go into a hash set.
    if (word < 2 * cells.problems.size() + 64) {
      if (seen.bits.size() <= word) seen.bits.resize(std::max(word + 1, 2 * seen.bits.size()), 0);
      const std::uint64_t bit = std::uint64_t{1} << (problem % 64);
      if ((seen.bits[word] & bit) != 0) return true;
      seen.bits[word] |= bit;
      return false;
    }
    seen.hashed = true;
    for (std::size_t w = 0; w < seen.bits.size(); ++w) {
      for (std::uint64_t b = seen.bits[w]; b != 0; b &= b - 1) {
        seen.set.insert(
            static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(b))));
      }
    }
    std::vector<std::uint64_t>().swap(seen.bits);
  }
  return !seen.set.insert(problem).second;
}

bool TableBuilder::put(std::uint32_t method, std::uint32_t problem, const double* values) {
  Cells& cells = m_cells[method];
  if (problem == cells.given && cells.problems.empty() && !cells.seen) {
    cells.next = problem + 1;  // 0, 1, 2, ... still: nothing to list
  } else {
    if (problem >= cells.next && !cells.seen) {
      cells.next = problem + 1;
    } else {
      if (seen_before(cells, problem)) return false;
      cells.next = std::max(cells.next, problem + 1);
    }
    list_problems(cells);
    cells.problems.push_back(problem);
  }
  ++cells.given;
  if (m_measures == 1) {
    cells.values.push_back(*values);
  } else {
    cells.values.insert(cells.values.end(), values, values + m_measures);
  }
  return true;
}

void TableBuilder::finish(ReadTable& out) {
  out.measures.assign(m_measures, MeasureTable());
  std::size_t stored = 0;
  for (const Cells& c : m_cells) stored += c.given;
  for (MeasureTable& t : out.measures) {
    t.measures.reserve(stored);
    t.names.reserve(m_cells.size());
  }
  std::vector<std::uint32_t> order, problems;
  std::vector<double> values;
  for (std::size_t m = 0; m < m_cells.size(); ++m) {
    Cells& c = m_cells[m];
    list_problems(c);
    const std::size_t n = c.given;
    // Cells put out of order are sorted by problem.
    order.resize(n);
    for (std::uint32_t k = 0; k < n; ++k) order[k] = k;
    if (c.seen) {
      std::sort(order.begin(), order.end(),
                [&](std::uint32_t a, std::uint32_t b) { return c.problems[a] < c.problems[b]; });
    }
    problems.resize(n);
    for (std::size_t k = 0; k < n; ++k) problems[k] = c.problems[order[k]];
    values.resize(n);
    for (std::size_t i = 0; i < m_measures; ++i) {
      for (std::size_t k = 0; k < n; ++k) {
        values[k] = c.values[std::size_t{order[k]} * m_measures + i];
      }
      out.measures[i].add_cells(m_method_names[m], problems.data(), values.data(), n);
    }
    c = Cells();
  }
  for (MeasureTable& t : out.measures) t.problems = m_problems.size();
  out.problem_names.reserve(m_problems.size());
  for (std::uint32_t p = 0; p < m_problems.size(); ++p) {
    out.problem_names.push_back(m_problems.name(p));
  }
  m_cells.clear();
}

int parse_number(std::string_view text, double& value) {
  text = trim(text);
  if (text.empty()) return 0;
  std::string_view body = text;
  bool negative = false;
  if (body.front() == '+' || body.front() == '-') {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  // nan, inf and infinity in any case.
  if (body.size() >= 3 && body.size() <= 8) {
    char word[8];
    for (std::size_t i = 0; i < body.size(); ++i) word[i] = lower(body[i]);
    const std::string_view w(word, body.size());
    if (w == "nan" || w == "inf" || w == "infinity") {
      value = w == "nan" ? std::numeric_limits<double>::quiet_NaN()
                         : (negative ? -1.0 : 1.0) * std::numeric_limits<double>::infinity();
      return 2;
    }
  }
  if (body.empty() || body.front() == '+' || body.front() == '-') return -1;
  double v = 0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), v);
  if (result.ptr != body.data() + body.size()) return -1;
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond the range of doubles: too large is infinite, too small is 0.
    const bool large = std::fabs(std::strtod(std::string(body).c_str(), nullptr)) > 1.0;
    value = large ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
    return large ? 2 : 1;
  }
  if (result.ec != std::errc()) return -1;
  value = negative ? -v : v;
  return 1;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool has_control_bytes(std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return true;
  }
  return false;
}

namespace {

// The fields of `line` split at any run of blanks and tabs.
std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool is_column_name(std::string_view name, std::initializer_list<std::string_view> names) {
  name = trim(name);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    name = name.substr(1, name.size() - 2);
  }
  for (const std::string_view n : names) {
    if (same_name(name, n)) return true;
  }
  return false;
}

}  // namespace

bool detect_format(std::string_view head, bool whole_file, InputFormat& format, std::string& why) {
  if (head.size() >= 3 && head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < head.size();) {
    std::size_t end = head.find('\n', start);
    const bool complete = end != std::string_view::npos;
    if (!complete) end = head.size();
    std::string_view line = head.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (complete || whole_file) lines.push_back(line);
    start = end + 1;
  }
  // A results table is told by its METHOD records, even with stray NUL bytes.
  for (const std::string_view line : lines) {
    if (line.substr(0, 6) == "METHOD") {
      format = InputFormat::pper;
      return true;
    }
  }
  if (head.find('\0') != std::string_view::npos) {
    why = "binary data (NUL bytes)";
    return false;
  }
  std::size_t first = 0;
  while (first < lines.size() && trim(lines[first]).empty()) ++first;
  if (first == lines.size()) {
    why = head.empty() ? "an empty file" : "no line of text within the first 64 KiB";
    return false;
  }
  std::size_t rows = 0;
  for (std::size_t i = first + 1; i < lines.size(); ++i) rows += trim(lines[i]).empty() ? 0 : 1;
  const std::string_view top = lines[first];
  if (trim(top) == "---") {
    format = InputFormat::perprof;
    return true;
  }
  // A delimited header: the delimiter most common in it.
  std::size_t counts[3] = {0, 0, 0};
  bool quoted = false;
  for (const char c : top) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    counts[0] += c == ',' ? 1 : 0;
    counts[1] += c == ';' ? 1 : 0;
    counts[2] += c == '\t' ? 1 : 0;
  }
  const std::size_t most = std::max({counts[0], counts[1], counts[2]});
  if (most > 0) {
    const char delimiter = most == counts[0] ? ',' : most == counts[1] ? ';' : '\t';
    bool method = false, problem = false, evaluation = false, value = false, status = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= top.size(); ++i) {
      if (i == top.size() || top[i] == delimiter) {
        const std::string_view name = top.substr(start, i - start);
        method = method || is_column_name(name, {"solver", "method", "algorithm"});
        problem = problem || is_column_name(name, {"problem", "instance", "name"});
        evaluation = evaluation || is_column_name(name, {"evaluation", "eval"});
        value = value || is_column_name(name, {"fvalue", "f", "value", "objective"});
        status = status || is_column_name(name, {"status", "exitflag", "flag"});
        start = i + 1;
      }
    }
    if (rows == 0) {
      why = "a header row without rows";
      return false;
    }
    // A history numbers each run's evaluations and has no status: a
    // results table has one cost per run and mostly a status.
    if (evaluation && value && !status) {
      format = InputFormat::history;
    } else {
      format = method && problem ? InputFormat::csv : InputFormat::wide;
    }
    return true;
  }
  // Blank-separated lines of name, flag and cost: perprof tables without a
  // header. A line that starts with blanks is a results record instead (its
  // key columns are blank), of a table whose METHOD records come later.
  if (top.front() == ' ') {
    format = InputFormat::pper;
    return true;
  }
  const std::vector<std::string_view> words = words_of(top);
  double cost = 0;
  if (words.size() >= 3 && parse_number(words[2], cost) != -1) {
    format = InputFormat::perprof;
    return true;
  }
  why = "no header row with a delimiter, no METHOD record and no perprof lines";
  return false;
}

}  // namespace table
