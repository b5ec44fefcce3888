// Reference conversions for the fuzz targets: small, slow, obviously-correct
// implementations of the field rules, written independently of the record
// engine so that the targets can compare the two on every input.
//
// Where the field rules leave a case open (a blank between an exponent letter
// and its sign, an exponent without mantissa digits, values at the very edge
// of the double range, ...) the reference answers `unclear` and the target
// compares nothing for that input.
#ifndef PROFCMP_FUZZ_REFERENCE_H_
#define PROFCMP_FUZZ_REFERENCE_H_

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

enum class Verdict { accept, reject, unclear };

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Iw input with blanks ignored into a 32-bit (or, with `short_target`, a
// 16-bit) integer.
inline Verdict reference_integer(std::string_view field, bool short_target, std::int32_t& value) {
  if (field.find(',') != std::string_view::npos) return Verdict::unclear;  // ends fields earlier
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  std::int64_t magnitude = 0;
  bool too_large = false;
  for (; i < field.size(); ++i) {
    const char c = field[i];
    if (c == ' ') continue;
    if (!is_digit(c)) return Verdict::reject;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > (std::int64_t{1} << 40)) {
      too_large = true;
      magnitude = std::int64_t{1} << 40;
    }
  }
  const std::int64_t result = negative ? -magnitude : magnitude;
  const std::int64_t low = short_target ? -32768 : INT32_MIN;
  const std::int64_t high = short_target ? 32767 : INT32_MAX;
  if (too_large || result < low || result > high) return Verdict::reject;
  value = static_cast<std::int32_t>(result);
  return Verdict::accept;
}

inline char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

inline bool equals_ignoring_case(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (lower(text[i]) != word[i]) return false;
  }
  return true;
}

// Fw.d / Dw.d input with blanks ignored and `decimals` implied decimal places.
inline Verdict reference_real(std::string_view field, int decimals, double& value) {
  std::size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t' || field[i] == '\n' ||
                              field[i] == '\v' || field[i] == '\f' || field[i] == '\r')) {
    ++i;
  }
  std::string_view rest = field.substr(i);
  // The words, which must end at the field's last column.
  {
    std::string_view word = rest;
    bool negative = false;
    if (!word.empty() && (word[0] == '+' || word[0] == '-')) {
      negative = word[0] == '-';
      word.remove_prefix(1);
    }
    if (word.size() >= 8 && equals_ignoring_case(word.substr(0, 8), "infinity")) {
      if (word.size() != 8) return Verdict::reject;
      value = negative ? -HUGE_VAL : HUGE_VAL;
      return Verdict::accept;
    }
    if (word.size() >= 3 && equals_ignoring_case(word.substr(0, 3), "nan")) {
      if (word.size() != 3 || rest.size() != 3) return Verdict::reject;
      value = NAN;
      return Verdict::accept;
    }
    if (word.size() != rest.size()) {
      // A sign, blanks, then a word: the rules do not say.
      std::size_t j = 0;
      while (j < word.size() && word[j] == ' ') ++j;
      if (j > 0 && j < word.size() && (lower(word[j]) == 'i' || lower(word[j]) == 'n')) {
        return Verdict::unclear;
      }
    }
  }

  std::size_t k = 0;
  bool negative = false;
  if (k < rest.size() && (rest[k] == '+' || rest[k] == '-')) {
    negative = rest[k] == '-';
    ++k;
  }
  std::string digits;
  bool point = false;
  int fraction_digits = 0;
  for (; k < rest.size(); ++k) {
    const char c = rest[k];
    if (c == ' ') continue;
    if (is_digit(c)) {
      digits += c;
      if (point) ++fraction_digits;
      continue;
    }
    if (c == '.') {
      if (point) return Verdict::reject;
      point = true;
      continue;
    }
    break;
  }
  bool exponent_present = false;
  bool exponent_negative = false;
  std::string exponent_digits;
  if (k < rest.size()) {
    const char c = lower(rest[k]);
    if (c == 'e' || c == 'd' || c == 'q') {
      exponent_present = true;
      ++k;
      if (k < rest.size() && rest[k] == ' ') {
        std::size_t j = k;
        while (j < rest.size() && rest[j] == ' ') ++j;
        if (j < rest.size() && (rest[j] == '+' || rest[j] == '-')) return Verdict::unclear;
      }
      if (k < rest.size() && (rest[k] == '+' || rest[k] == '-')) {
        exponent_negative = rest[k] == '-';
        ++k;
      }
    } else if (c == '+' || c == '-') {
      exponent_present = true;
      exponent_negative = c == '-';
      ++k;
    } else {
      return Verdict::reject;
    }
    for (; k < rest.size(); ++k) {
      if (rest[k] == ' ') continue;
      if (!is_digit(rest[k])) return Verdict::reject;
      exponent_digits += rest[k];
    }
  }
  if (digits.empty()) {
    if (exponent_present) return Verdict::unclear;
    value = 0.0;
    return Verdict::accept;
  }
  const std::size_t first = exponent_digits.find_first_not_of('0');
  const std::string significant =
      first == std::string::npos ? std::string() : exponent_digits.substr(first);
  const bool mantissa_zero = digits.find_first_not_of('0') == std::string::npos;
  if (significant.size() > 4) {
    if (mantissa_zero) return Verdict::unclear;
    if (!exponent_negative) return Verdict::reject;
    value = 0.0;
    return Verdict::accept;
  }
  int exponent = significant.empty() ? 0 : std::atoi(significant.c_str());
  if (exponent_negative) exponent = -exponent;
  const int scale = exponent - (point ? fraction_digits : decimals);
  const std::string text = (negative ? "-" : "") + digits + "e" + std::to_string(scale);
  errno = 0;
  const double result = std::strtod(text.c_str(), nullptr);
  if (std::isinf(result)) return Verdict::reject;
  // At the edges of the range the rules and the nearest double may differ.
  if (std::fabs(result) == DBL_MAX) return Verdict::unclear;
  if (result != 0.0 && std::fabs(result) <= 2 * 4.9406564584124654e-324) return Verdict::unclear;
  value = result;
  return Verdict::accept;
}

// Iw output.
inline std::string reference_render_integer(std::int32_t value, int width) {
  std::string text = std::to_string(static_cast<std::int64_t>(value));
  if (static_cast<int>(text.size()) > width)
    return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

// Fw.d output of a finite value with |value| < 2^60 and decimals <= 10, from
// the exact binary value, halfway cases away from zero. Returns "" outside
// that domain.
inline std::string reference_render_fixed(double value, int width, int decimals) {
  if (!std::isfinite(value) || std::fabs(value) >= 0x1p60 || decimals < 0 || decimals > 10) {
    return "";
  }
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);  // value = fraction * 2^exponent
  // mantissa * 2^(exponent - 53) is the exact magnitude.
  using u128 = unsigned __int128;
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  u128 scaled = mantissa;
  for (int i = 0; i < decimals; ++i) scaled *= 10;
  const int shift = exponent - 53;
  u128 rounded = 0;
  if (value == 0.0) {
    rounded = 0;
  } else if (shift >= 0) {
    rounded = scaled << shift;
  } else if (-shift >= 127) {
    rounded = 0;  // far below half a unit of the last decimal
  } else {
    const int s = -shift;
    const u128 quotient = scaled >> s;
    const u128 remainder = scaled & ((u128{1} << s) - 1);
    rounded = quotient + (remainder >= (u128{1} << (s - 1)) ? 1 : 0);
  }
  std::string digits;
  for (u128 n = rounded; n > 0; n /= 10)
    digits.insert(digits.begin(), static_cast<char>('0' + n % 10));
  while (static_cast<int>(digits.size()) < decimals) digits.insert(digits.begin(), '0');
  const std::string integer = digits.substr(0, digits.size() - static_cast<std::size_t>(decimals));
  const std::string fraction_text = digits.substr(integer.size());
  const bool negative = std::signbit(value) && rounded != 0;
  std::string text = (negative ? "-" : "") + integer + "." + fraction_text;
  if (static_cast<int>(text.size()) > width)
    return std::string(static_cast<std::size_t>(width), '*');
  if (integer.empty() && static_cast<int>(text.size()) < width) {
    text.insert(negative ? 1 : 0, "0");
  }
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

}  // namespace fuzz

#endif  // PROFCMP_FUZZ_REFERENCE_H_
