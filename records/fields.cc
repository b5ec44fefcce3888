// Field rendering and parsing: the exact text of every edit descriptor's
// field and the exact value of every input field. Digits of a rendered real
// come from its exact binary value; a parsed real is the nearest double to
// its decimal text. Nothing here allocates.
#include "records/record_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "records/fields.h"

namespace records {
namespace detail {

// ---------------------------------------------------------------------------
// Exact decimal digits of a double.

// An unsigned integer of fixed capacity, little-endian 32-bit limbs. Large
// enough for the biggest double times 10^1102.
constexpr int k_limbs = 160;

struct BigUint {
  std::uint32_t m_limb[k_limbs];
  int m_size;  // limbs in use; the top one is non-zero unless m_size is 0
};

void big_set(BigUint& big, std::uint64_t value) {
  big.m_size = 0;
  while (value != 0) {
    big.m_limb[big.m_size++] = static_cast<std::uint32_t>(value);
    value >>= 32;
  }
}

void big_multiply_small(BigUint& big, std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (int i = 0; i < big.m_size; ++i) {
    const std::uint64_t product = static_cast<std::uint64_t>(big.m_limb[i]) * factor + carry;
    big.m_limb[i] = static_cast<std::uint32_t>(product);
    carry = product >> 32;
  }
  if (carry != 0 && big.m_size < k_limbs)
    big.m_limb[big.m_size++] = static_cast<std::uint32_t>(carry);
}

void big_multiply_pow10(BigUint& big, int exponent) {
  constexpr std::uint32_t k_pow10[] = {1,      10,      100,      1000,      10000,
                                       100000, 1000000, 10000000, 100000000, 1000000000};
  for (; exponent >= 9; exponent -= 9) big_multiply_small(big, k_pow10[9]);
  if (exponent > 0) big_multiply_small(big, k_pow10[exponent]);
}

void big_shift_left(BigUint& big, int bits) {
  if (big.m_size == 0 || bits <= 0) return;
  const int limbs = bits / 32;
  const int rest = bits % 32;
  int size = big.m_size + limbs + 1;
  if (size > k_limbs) size = k_limbs;  // cannot happen for the magnitudes rendered
  for (int i = size - 1; i >= 0; --i) {
    const int source = i - limbs;
    std::uint64_t value = 0;
    if (source >= 0 && source < big.m_size)
      value = static_cast<std::uint64_t>(big.m_limb[source]) << rest;
    if (rest != 0 && source - 1 >= 0 && source - 1 < big.m_size) {
      value |= static_cast<std::uint64_t>(big.m_limb[source - 1]) >> (32 - rest);
    }
    big.m_limb[i] = static_cast<std::uint32_t>(value);
  }
  big.m_size = size;
  while (big.m_size > 0 && big.m_limb[big.m_size - 1] == 0) --big.m_size;
}

// Floor division by 2^bits.
void big_shift_right(BigUint& big, int bits) {
  if (bits <= 0) return;
  const int limbs = bits / 32;
  const int rest = bits % 32;
  if (limbs >= big.m_size) {
    big.m_size = 0;
    return;
  }
  const int size = big.m_size - limbs;
  for (int i = 0; i < size; ++i) {
    std::uint64_t value = big.m_limb[i + limbs] >> rest;
    if (rest != 0 && i + limbs + 1 < big.m_size) {
      value |= static_cast<std::uint64_t>(big.m_limb[i + limbs + 1]) << (32 - rest);
    }
    big.m_limb[i] = static_cast<std::uint32_t>(value);
  }
  big.m_size = size;
  while (big.m_size > 0 && big.m_limb[big.m_size - 1] == 0) --big.m_size;
}

// Divides by `divisor` in place and returns the remainder.
std::uint32_t big_divide_small(BigUint& big, std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (int i = big.m_size - 1; i >= 0; --i) {
    const std::uint64_t current = (remainder << 32) | big.m_limb[i];
    big.m_limb[i] = static_cast<std::uint32_t>(current / divisor);
    remainder = current % divisor;
  }
  while (big.m_size > 0 && big.m_limb[big.m_size - 1] == 0) --big.m_size;
  return static_cast<std::uint32_t>(remainder);
}

// Decimal digits of the biggest value a BigUint can hold, with room to spare.
constexpr int k_max_digits = k_limbs * 10;

// Writes the decimal digits of `big` (destroyed) without leading zeros into
// `digits`; returns their number, 0 for the value 0.
int big_to_decimal(BigUint& big, char* digits) {
  char reversed[k_max_digits];
  int count = 0;
  while (big.m_size > 0) {
    std::uint32_t chunk = big_divide_small(big, 1000000000);
    for (int i = 0; i < 9; ++i) {
      reversed[count++] = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  while (count > 0 && reversed[count - 1] == '0') --count;
  for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
  return count;
}

// The powers of ten that are doubles exactly.
constexpr double k_exact_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Magnitudes of at most 53 significant bits times a power of ten below 2^64
// are computed in one 128-bit integer instead of a BigUint.
__extension__ using Wide = unsigned __int128;

constexpr int k_powers_in_word = 20;  // 10^0 .. 10^19 fit in 64 bits
constexpr auto k_pow10_word = [] {
  std::array<std::uint64_t, k_powers_in_word> powers{};
  std::uint64_t power = 1;
  for (std::uint64_t& p : powers) {
    p = power;
    power *= 10;
  }
  return powers;
}();

// Writes the decimal digits of `value` without leading zeros into `digits`;
// returns their number, 0 for the value 0.
int wide_to_decimal(Wide value, char* digits) {
  char reversed[40];
  int count = 0;
  while (value > 0xFFFFFFFFFFFFFFFFULL) {
    auto chunk = static_cast<std::uint64_t>(value % k_pow10_word[19]);
    value /= k_pow10_word[19];
    for (int i = 0; i < 19; ++i) {
      reversed[count++] = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  for (auto rest = static_cast<std::uint64_t>(value); rest != 0; rest /= 10) {
    reversed[count++] = static_cast<char>('0' + rest % 10);
  }
  for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
  return count;
}

// Fraction digits beyond this many are zero for every double (its smallest
// step is 2^-1074, which has 1074 fraction digits).
constexpr int k_exact_fraction_digits = 1100;

void fill(char* out, int width, char c) {
  if (width > 0) std::memset(out, c, static_cast<std::size_t>(width));
}

// Places `word` from the second column of a blank field, or asterisks when it
// does not fit there.
void render_word(std::string_view word, int width, char* out) {
  if (static_cast<int>(word.size()) + 1 > width) {
    fill(out, width, '*');
    return;
  }
  fill(out, width, ' ');
  std::memcpy(out + 1, word.data(), word.size());
}

// ---------------------------------------------------------------------------
// Field parsing on a field of `text` followed by `pad` blanks (the columns a
// short record lacks).

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

char to_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the field holds `word` (any case) from position `from` to its end.
bool word_matches(const Field& field, std::int64_t from, std::string_view word) {
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (to_lower(field.at(from + static_cast<std::int64_t>(k))) != word[k]) return false;
  }
  return true;
}

// True when `c` is a blank that the blank mode passes over; with blanks
// counting as zeros, turns it into '0'.
bool blank_ignored(char& c, BlankMode mode) {
  if (c != ' ') return false;
  if (mode == BlankMode::null) return true;
  c = '0';
  return false;
}

// Iw input. Leading blanks are skipped in either blank mode, eight columns at
// a time; after them a blank is ignored (null) or a zero digit (zero), and so
// are the pad columns a short record lacks. The magnitude is checked against
// the target's range at every digit, so it never overflows.
bool parse_integer_field(const Field& field, BlankMode mode, IntegerTarget target,
                         std::int32_t& value) {
  const char* c = field.m_text.data();
  const char* const end = c + field.m_text.size();
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t k_blanks = 0x2020202020202020ULL;
    while (end - c >= 8) {
      std::uint64_t word;
      std::memcpy(&word, c, sizeof word);
      const std::uint64_t differs = word ^ k_blanks;
      if (differs != 0) {
        c += std::countr_zero(differs) / 8;  // the first byte that is not a blank
        break;
      }
      c += 8;
    }
  }
  while (c != end && *c == ' ') ++c;
  const bool started = c != end;
  bool negative = false;
  if (c != end && (*c == '+' || *c == '-')) {
    negative = *c == '-';
    ++c;
  }
  const std::int64_t limit = target == IntegerTarget::int16
                                 ? (negative ? 32768 : 32767)
                                 : (negative ? 2147483648LL : 2147483647LL);
  const bool zeros = mode == BlankMode::zero;
  std::int64_t magnitude = 0;
  for (; c != end; ++c) {
    const unsigned digit = static_cast<unsigned char>(*c) - static_cast<unsigned>('0');
    if (digit <= 9) {
      magnitude = magnitude * 10 + digit;
    } else if (*c == ' ') {
      if (!zeros) continue;
      magnitude *= 10;
    } else {
      return false;
    }
    if (magnitude > limit) return false;
  }
  // Pad columns are blanks after the text; they count only once past the
  // leading blanks, and only as zeros.
  if (zeros && started) {
    for (std::int64_t k = 0; k < field.m_pad && magnitude != 0; ++k) {
      magnitude *= 10;
      if (magnitude > limit) return false;
    }
  }
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

// Significant mantissa digits kept for the conversion. A double is decided by
// at most 768 of them; the rest only matters as "is anything non-zero left",
// which is kept as one extra digit.
constexpr int k_kept_digits = 800;

// Fw.d input of the usual shape: blanks, an optional sign, then up to 15
// significant digits with at most one point up to the field's last column,
// and a power of ten within 10^-22. Returns false for anything else, storing
// nothing; when it returns true, `value` is the one the general conversion
// gives: the digits as a whole number are a double exactly, and so is the
// power of ten, so their quotient is the nearest double.
namespace {

// The bytes of `word` that are zero, as 0x80 in each such byte.
constexpr std::uint64_t zero_bytes(std::uint64_t word) {
  constexpr std::uint64_t k_low7 = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((word & k_low7) + k_low7) | word) & ~k_low7;
}

// Every byte 0xFF where `marks` has 0x80.
constexpr std::uint64_t byte_mask(std::uint64_t marks) {
  return (marks >> 7) * 0xFF;
}

// parse_plain_real() for a field of 8 to 16 columns whose columns ahead of
// the last eight are blanks and whose last eight are blanks, then digits with
// at most one point among them: the digits are checked and converted as one
// word. Returns false, storing nothing, for any other shape.
bool parse_short_real(std::string_view text, int decimals, double& value) {
  if constexpr (std::endian::native != std::endian::little) return false;
  constexpr std::uint64_t k_blanks = 0x2020202020202020ULL;
  constexpr std::uint64_t k_points = 0x2E2E2E2E2E2E2E2EULL;
  std::uint64_t head;
  std::uint64_t tail;
  std::memcpy(&head, text.data(), sizeof head);
  std::memcpy(&tail, text.data() + text.size() - 8, sizeof tail);
  if (((head ^ k_blanks) & count_word_lead_mask(text.size())) != 0) return false;
  const std::uint64_t blanks = byte_mask(zero_bytes(tail ^ k_blanks));
  const std::uint64_t point = zero_bytes(tail ^ k_points);
  const std::uint64_t digits = ~(blanks | byte_mask(point));
  // Blanks first (2^k - 1 as a word), at most one point, at least one digit.
  if ((blanks & (blanks + 1)) != 0 || (point & (point - 1)) != 0 || digits == 0) return false;
  const std::uint64_t values = (tail ^ 0x3030303030303030ULL) & digits;
  if (above_nine(values) != 0) return false;
  // The point counts as a zero digit: the number is whole * 10 + the digits
  // after it, which the division takes apart again.
  const std::uint64_t number = eight_digit_values(values);
  std::uint64_t whole = number;
  int places = decimals;
  if (point != 0) {
    places = 7 - std::countr_zero(point) / 8;
    const std::uint64_t scale = k_pow10_word[static_cast<std::size_t>(places)];
    whole = number - 9 * (number / (scale * 10)) * scale;
  } else if (places < 0 || places > 22) {
    return false;
  }
  value = static_cast<double>(whole) / k_exact_pow10[places];
  return true;
}

}  // namespace

bool parse_plain_real(std::string_view text, int decimals, double& value) {
  if (text.size() >= 8 && text.size() <= 16 && parse_short_real(text, decimals, value)) {
    return true;
  }
  const char* c = text.data();
  const char* const end = c + text.size();
  while (c != end && *c == ' ') ++c;
  bool negative = false;
  if (c != end && (*c == '+' || *c == '-')) {
    negative = *c == '-';
    ++c;
  }
  // Digits and at most one point; up to 19 digits the whole number cannot
  // wrap, and it has more than 15 significant digits when it reaches 10^15.
  const char* const first = c;
  const char* point = nullptr;
  std::uint64_t whole = 0;
  for (; c != end; ++c) {
    const unsigned digit = static_cast<unsigned char>(*c) - static_cast<unsigned>('0');
    if (digit <= 9) {
      whole = whole * 10 + digit;
    } else if (*c == '.' && point == nullptr) {
      point = c;
    } else {
      return false;
    }
  }
  const auto digits = (end - first) - (point != nullptr ? 1 : 0);
  if (digits < 1 || digits > 19 || whole >= k_pow10_word[15]) return false;
  const auto places = point != nullptr ? end - point - 1 : decimals;
  if (places < 0 || places > 22) return false;
  const double quotient = static_cast<double>(whole) / k_exact_pow10[places];
  value = negative ? -quotient : quotient;
  return true;
}

bool parse_general_real(const Field& field, int decimals, BlankMode mode, double& value) {
  const std::int64_t length = field.length();
  std::int64_t i = 0;
  while (i < length) {
    const char c = field.at(i);
    if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') break;
    ++i;
  }

  // The words; they must end exactly at the field's last column.
  {
    std::int64_t word = i;
    const bool signed_word = word < length && (field.at(word) == '+' || field.at(word) == '-');
    if (signed_word) ++word;
    if (length - word >= 8 && word_matches(field, word, "infinity")) {
      if (word + 8 != length) return false;
      value = (signed_word && field.at(i) == '-') ? -std::numeric_limits<double>::infinity()
                                                  : std::numeric_limits<double>::infinity();
      return true;
    }
    if (!signed_word && length - i >= 3 && word_matches(field, i, "nan")) {
      if (i + 3 != length) return false;
      value = std::numeric_limits<double>::quiet_NaN();
      return true;
    }
  }

  bool negative = false;
  if (i < length && (field.at(i) == '+' || field.at(i) == '-')) {
    negative = field.at(i) == '-';
    ++i;
  }

  // Mantissa: significant digits (leading zeros dropped), the count of digits
  // after the point, and what was cut off beyond k_kept_digits.
  char digits[k_kept_digits + 40];
  int kept = 0;
  std::int64_t dropped = 0;      // significant digits beyond k_kept_digits
  bool dropped_nonzero = false;  // one of them is not 0
  bool any_digit = false;
  bool point = false;
  std::int64_t fraction = 0;
  for (; i < length; ++i) {
    char c = field.at(i);
    if (blank_ignored(c, mode)) continue;
    if (c == '.') {
      if (point) return false;
      point = true;
      continue;
    }
    if (!is_digit(c)) break;
    any_digit = true;
    if (point) ++fraction;
    if (kept == 0 && c == '0') continue;
    if (kept < k_kept_digits) {
      digits[kept++] = c;
    } else {
      ++dropped;
      if (c != '0') dropped_nonzero = true;
    }
  }

  // Exponent: a letter E, D or Q with an optional sign, or a sign alone.
  bool exponent_negative = false;
  int exponent_significant = 0;
  std::int64_t exponent = 0;
  if (i < length) {
    const char mark = to_lower(field.at(i));
    if (mark == 'e' || mark == 'd' || mark == 'q') {
      ++i;
      while (i < length && field.at(i) == ' ' && mode == BlankMode::null) ++i;
      if (i < length && (field.at(i) == '+' || field.at(i) == '-')) {
        exponent_negative = field.at(i) == '-';
        ++i;
      }
    } else if (mark == '+' || mark == '-') {
      exponent_negative = mark == '-';
      ++i;
    } else {
      return false;
    }
    for (; i < length; ++i) {
      char c = field.at(i);
      if (blank_ignored(c, mode)) continue;
      if (!is_digit(c)) return false;
      if (exponent_significant == 0 && c == '0') continue;
      ++exponent_significant;
      if (exponent_significant <= 5) exponent = exponent * 10 + (c - '0');
    }
  }

  if (!any_digit) {
    value = 0.0;
    return true;
  }
  if (exponent_significant > 4) {
    if (!exponent_negative) return false;
    value = negative ? -0.0 : 0.0;
    return true;
  }
  if (kept == 0) {
    value = negative ? -0.0 : 0.0;
    return true;
  }

  // value = digits * 10^scale
  std::int64_t scale =
      (exponent_negative ? -exponent : exponent) - (point ? fraction : decimals) + dropped;
  if (dropped_nonzero) {
    digits[kept++] = '1';
    --scale;
  }
  const std::int64_t leading = kept + scale - 1;  // decimal exponent of the first digit
  if (leading >= 309) return false;
  if (leading < -400) {
    value = negative ? -0.0 : 0.0;
    return true;
  }
  // Up to 15 digits are a whole number below 2^53, and 10^0 .. 10^22 are
  // doubles exactly: one multiplication or division of the two rounds the
  // exact value once, to the nearest double.
  if (kept <= 15 && scale >= -22 && scale <= 22) {
    std::uint64_t whole = 0;
    for (int k = 0; k < kept; ++k) whole = whole * 10 + static_cast<unsigned>(digits[k] - '0');
    const auto mantissa = static_cast<double>(whole);
    const double parsed =
        scale < 0 ? mantissa / k_exact_pow10[-scale] : mantissa * k_exact_pow10[scale];
    value = negative ? -parsed : parsed;
    return true;
  }
  char* end = digits + kept;
  *end++ = 'e';
  end = std::to_chars(end, digits + sizeof digits, scale).ptr;
  double parsed = 0.0;
  const std::from_chars_result result = std::from_chars(digits, end, parsed);
  if (result.ec == std::errc::result_out_of_range) {
    if (leading > 0) return false;
    parsed = 0.0;
  } else if (result.ec != std::errc() || result.ptr != end) {
    return false;
  }
  if (std::isinf(parsed)) return false;
  value = negative ? -parsed : parsed;
  return true;
}

// Aw input: the field of `width` columns (text then blanks) into the target.
void store_text(const Field& field, std::int64_t width, char* target, int length) {
  if (length <= 0) return;
  const std::int64_t first = length >= width ? 0 : width - length;
  const auto text = static_cast<std::int64_t>(field.m_text.size());
  std::int64_t copied = text - first;
  if (copied < 0) copied = 0;
  if (copied > length) copied = length;
  if (copied > 0)
    std::memcpy(target, field.m_text.data() + first, static_cast<std::size_t>(copied));
  if (copied < length) std::memset(target + copied, ' ', static_cast<std::size_t>(length - copied));
}

}  // namespace detail

// The public field operations below are built on the helpers above.
using namespace detail;

// ---------------------------------------------------------------------------
// Field rendering.

void render_text(const char* text, int length, int width, char* out) {
  if (width <= 0) return;
  if (length < 0) length = 0;
  if (width > length) {
    fill(out, width - length, ' ');
    if (length > 0) std::memcpy(out + (width - length), text, static_cast<std::size_t>(length));
  } else {
    std::memcpy(out, text, static_cast<std::size_t>(width));
  }
}

void render_integer(std::int32_t value, int width, char* out) {
  if (width <= 0) return;
  const bool negative = value < 0;
  std::uint32_t magnitude =
      negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  const int needed = count + (negative ? 1 : 0);
  if (needed > width) {
    fill(out, width, '*');
    return;
  }
  fill(out, width - needed, ' ');
  char* at = out + (width - needed);
  if (negative) *at++ = '-';
  for (int k = count - 1; k >= 0; --k) *at++ = digits[k];
}

namespace {

// "00" to "99": two decimal digits at a time.
constexpr auto k_digit_pairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Writes `count` digits of `value` (its last ones, with leading zeros) ending
// just before `end`; returns where they begin.
char* put_digits_before(char* end, std::uint64_t value, int count) {
  for (; count >= 2; count -= 2) {
    end -= 2;
    std::memcpy(end, &k_digit_pairs[static_cast<std::size_t>(2 * (value % 100))], 2);
    value /= 100;
  }
  if (count == 1) *--end = static_cast<char>('0' + value % 10);
  return end;
}

// Fw.d of a magnitude already rounded to `rounded` units of 10^-decimals,
// decimals below 20.
void render_fixed_digits(std::uint64_t rounded, bool negative, int width, int decimals, char* out) {
  std::uint64_t whole = rounded / k_pow10_word[static_cast<std::size_t>(decimals)];
  const std::uint64_t fraction = rounded % k_pow10_word[static_cast<std::size_t>(decimals)];
  if (rounded == 0) negative = false;
  int integer_digits = 0;
  for (std::uint64_t rest = whole; rest != 0; rest /= 10) ++integer_digits;
  const int mandatory = (negative ? 1 : 0) + integer_digits + 1 + decimals;
  if (mandatory > width) return fill(out, width, '*');
  const bool leading_zero = integer_digits == 0 && mandatory + 1 <= width;
  const int text_length = mandatory + (leading_zero ? 1 : 0);
  if (width >= 8 && width <= 16) {
    // The whole field blank, as two words; the text overwrites its end.
    constexpr std::uint64_t k_blanks = 0x2020202020202020ULL;
    std::memcpy(out, &k_blanks, sizeof k_blanks);
    std::memcpy(out + width - 8, &k_blanks, sizeof k_blanks);
  } else {
    fill(out, width - text_length, ' ');
  }
  char* at = put_digits_before(out + width, fraction, decimals);
  *--at = '.';
  at = put_digits_before(at, whole, integer_digits);
  if (leading_zero) *--at = '0';
  if (negative) *--at = '-';
}

}  // namespace

void render_fixed(double value, int width, int decimals, char* out) {
  if (width <= 0) return;
  if (std::isnan(value)) return render_word("NaN", width, out);
  if (std::isinf(value)) return render_word(value < 0 ? "-Infinity" : "Infinity", width, out);
  if (decimals < 0) decimals = 0;
  // The mandatory text holds at least "." and the fraction digits.
  if (decimals + 1 > width) return fill(out, width, '*');

  bool negative = std::signbit(value);
  const double magnitude = std::fabs(value);
  // Anything with `width` or more integer digits cannot fit; the check keeps
  // the exact arithmetic below within its capacity.
  if (width <= 308) {
    double limit = 1.0;
    if (width < static_cast<int>(std::size(k_exact_pow10))) {
      limit = k_exact_pow10[width];
    } else {
      for (int k = 0; k < width; ++k) limit *= 10.0;
    }
    if (magnitude >= limit) return fill(out, width, '*');
  }

  // magnitude = mantissa * 2^exponent exactly.
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = -1074;
  if (biased != 0) {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biased - 1075;
  }

  // q = floor(magnitude * 10^(d + 1)), one digit more than shown, so that the
  // last digit decides the rounding: 5 or more rounds the magnitude up.
  const int exact_decimals =
      decimals < k_exact_fraction_digits ? decimals : k_exact_fraction_digits;
  char digits[k_max_digits + 2];
  int count = 0;
  if (exponent <= 0 && decimals + 1 < k_powers_in_word) {
    // mantissa < 2^53 and 10^(d + 1) < 2^64: the product fits in 128 bits.
    const Wide product = static_cast<Wide>(mantissa) * k_pow10_word[decimals + 1];
    const Wide q = -exponent >= 128 ? 0 : product >> -exponent;
    if (q <= Wide{UINT64_MAX}) {
      // Mostly q fits in 64 bits: rounded at once, its digits written from the right.
      const auto q64 = static_cast<std::uint64_t>(q);
      const std::uint64_t rounded = q64 / 10 + (q64 % 10 >= 5 ? 1 : 0);
      return render_fixed_digits(rounded, negative, width, decimals, out);
    }
    count = wide_to_decimal(q, digits + 1);
  } else {
    BigUint big;
    big_set(big, mantissa);
    big_multiply_pow10(big, exact_decimals + 1);
    if (exponent >= 0) {
      big_shift_left(big, exponent);
    } else {
      big_shift_right(big, -exponent);
    }
    count = big_to_decimal(big, digits + 1);
  }
  char* first = digits + 1;
  // Drop the rounding digit and round half away from zero.
  const bool round_up = count > 0 && first[count - 1] >= '5';
  if (count > 0) --count;
  if (round_up) {
    int k = count - 1;
    while (k >= 0 && first[k] == '9') first[k--] = '0';
    if (k >= 0) {
      ++first[k];
    } else {
      *--first = '1';
      ++count;
    }
  }
  // `first[0..count)` are the digits of the rounded magnitude in units of
  // 10^-exact_decimals, without leading zeros; more decimals are zeros.
  const std::int64_t total =
      count == 0 ? 0 : count + static_cast<std::int64_t>(decimals - exact_decimals);
  if (total == 0) negative = false;
  const std::int64_t integer_digits = total > decimals ? total - decimals : 0;
  const std::int64_t mandatory = (negative ? 1 : 0) + integer_digits + 1 + decimals;
  if (mandatory > width) return fill(out, width, '*');
  const bool leading_zero = integer_digits == 0 && mandatory + 1 <= width;
  const std::int64_t text_length = mandatory + (leading_zero ? 1 : 0);

  const auto digit = [&](std::int64_t position) -> char {  // position in the full digit string
    if (position < 0) return '0';
    return position < count ? first[position] : '0';
  };
  fill(out, static_cast<int>(width - text_length), ' ');
  char* at = out + (width - text_length);
  if (negative) *at++ = '-';
  if (leading_zero) *at++ = '0';
  for (std::int64_t k = 0; k < integer_digits; ++k) *at++ = digit(k);
  *at++ = '.';
  for (std::int64_t k = 0; k < decimals; ++k) *at++ = digit(total - decimals + k);
}

// ---------------------------------------------------------------------------
// Field parsing.

void parse_text(const char* field, int width, char* target, int length) {
  if (width < 0) width = 0;
  store_text(Field{std::string_view(field, static_cast<std::size_t>(width)), 0}, width, target,
             length);
}

bool parse_integer(std::string_view field, BlankMode mode, IntegerTarget target,
                   std::int32_t& value) {
  return parse_integer_field(Field{field, 0}, mode, target, value);
}

bool parse_real(std::string_view field, int decimals, BlankMode mode, double& value) {
  return parse_real_field(Field{field, 0}, decimals, mode, value);
}

}  // namespace records
