#include "profkit/analysis/format.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "records/record_format.h"

namespace analysis {

std::string csv_field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

char* put_shortest(char* at, double value) {
  if (std::isnan(value)) {
    std::memcpy(at, "nan", 3);
    return at + 3;
  }
  return std::to_chars(at, at + k_shortest_room, value).ptr;
}

void append_shortest(std::string& out, double value) {
  char buffer[k_shortest_room];
  out.append(buffer, put_shortest(buffer, value));
}

std::string shortest(double value) {
  std::string out;
  append_shortest(out, value);
  return out;
}

std::string fixed(double value, int decimals) {
  // Wide enough for any count-sized value; asterisks only beyond 10^30.
  constexpr int k_width = 40;
  char buffer[k_width];
  records::render_fixed(value, k_width, decimals, buffer);
  std::string_view text(buffer, k_width);
  text.remove_prefix(text.find_first_not_of(' '));
  text.remove_suffix(text.size() - 1 - text.find_last_not_of(' '));  // NaN is left-aligned
  return std::string(text);
}

}  // namespace analysis
