#include "profkit/text/numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "records/record_format.h"

namespace textkit {

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
  // The record engine's Fw.d rendering, so that the digits are P.PRO's by
  // construction. Wide enough for any count-sized value; asterisks only
  // beyond 10^30.
  constexpr int k_width = 40;
  char buffer[k_width];
  records::render_fixed(value, k_width, decimals, buffer);
  std::string_view digits(buffer, k_width);
  digits.remove_prefix(digits.find_first_not_of(' '));
  digits.remove_suffix(digits.size() - 1 - digits.find_last_not_of(' '));  // NaN is left-aligned
  return std::string(digits);
}

std::string figure(double value, int decimals) {
  return std::isnan(value) ? std::string(k_undefined) : fixed(value, decimals);
}

std::string bound_text(double bound) {
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, bound, std::chars_format::fixed, 1);
  return std::string(buffer, result.ptr);
}

}  // namespace textkit
