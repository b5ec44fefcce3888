// The record engine: one format and one item list drive a single input or
// output statement over one or more records, and every edit descriptor is
// converted exactly (digits of a rendered real come from its exact binary
// value, a parsed real is the nearest double to its decimal text).
//
// Nothing here allocates: fields are converted in place or through small
// stack buffers, and output records are built in the unit's record buffer.
#include "records/record_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "records/failure_stop.h"
#include "records/units.h"

namespace records {
namespace {

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

struct Field {
  std::string_view m_text;
  std::int64_t m_pad;

  std::int64_t length() const { return static_cast<std::int64_t>(m_text.size()) + m_pad; }
  char at(std::int64_t i) const {
    return i < static_cast<std::int64_t>(m_text.size()) ? m_text[static_cast<std::size_t>(i)] : ' ';
  }
};

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

bool parse_integer_field(const Field& field, BlankMode mode, IntegerTarget target,
                         std::int32_t& value) {
  const std::int64_t length = field.length();
  std::int64_t i = 0;
  while (i < length && field.at(i) == ' ') ++i;
  bool negative = false;
  if (i < length && (field.at(i) == '+' || field.at(i) == '-')) {
    negative = field.at(i) == '-';
    ++i;
  }
  const std::int64_t limit = target == IntegerTarget::int16
                                 ? (negative ? 32768 : 32767)
                                 : (negative ? 2147483648LL : 2147483647LL);
  std::int64_t magnitude = 0;
  for (; i < length; ++i) {
    char c = field.at(i);
    if (blank_ignored(c, mode)) continue;
    if (!is_digit(c)) return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return false;  // checked every digit, so never overflows
  }
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

// Significant mantissa digits kept for the conversion. A double is decided by
// at most 768 of them; the rest only matters as "is anything non-zero left",
// which is kept as one extra digit.
constexpr int k_kept_digits = 800;

bool parse_real_field(const Field& field, int decimals, BlankMode mode, double& value) {
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
  for (int k = 0; k < length; ++k) {
    const std::int64_t column = first + k;
    target[k] = column < width ? field.at(column) : ' ';
  }
}

// ---------------------------------------------------------------------------
// Item lists: a cursor over the items with runs expanded.

bool is_data(Edit kind) {
  return kind == Edit::text || kind == Edit::text_width || kind == Edit::integer ||
         kind == Edit::fixed || kind == Edit::real_d;
}

template <typename Item>
struct Cursor {
  const Item* m_item;
  const Item* m_end;
  int m_index;  // element within a run

  Cursor(const Item* first, const Item* end) : m_item(first), m_end(end), m_index(0) {
    skip_empty();
  }
  bool done() const { return m_item == m_end; }
  void advance() {
    ++m_index;
    if (m_index >= m_item->count) {
      ++m_item;
      m_index = 0;
    }
    skip_empty();
  }
  void skip_empty() {
    while (m_item != m_end && m_item->count <= 0) ++m_item;
  }
};

int repeat_of(const EditDescriptor& descriptor) {
  return descriptor.repeat < 1 ? 1 : descriptor.repeat;
}

int width_of(int width) {
  return width < 0 ? 0 : width;
}

// Width of the output field a data descriptor gives the current item.
std::int64_t output_width(const EditDescriptor& descriptor, const OutItem& item) {
  if (descriptor.kind == Edit::text) return item.kind == ItemKind::text ? width_of(item.length) : 0;
  return width_of(descriptor.width);
}

// Renders element `index` of `item` with a data descriptor; an item that does
// not suit the descriptor shows as asterisks.
void render_item(const EditDescriptor& descriptor, const OutItem& item, int index, int width,
                 char* out) {
  switch (descriptor.kind) {
    case Edit::text:
    case Edit::text_width:
      if (item.kind == ItemKind::text && (item.text != nullptr || item.length <= 0)) {
        const int length = width_of(item.length);
        render_text(item.text + static_cast<std::ptrdiff_t>(index) * length, length, width, out);
        return;
      }
      break;
    case Edit::integer:
      if (item.kind == ItemKind::integer || item.kind == ItemKind::short_integer) {
        render_integer(item.integers != nullptr ? item.integers[index] : item.integer, width, out);
        return;
      }
      break;
    case Edit::fixed:
    case Edit::real_d:
      if (item.kind == ItemKind::real) {
        render_fixed(item.reals != nullptr ? item.reals[index] : item.real, width,
                     descriptor.decimals, out);
        return;
      }
      break;
    default:
      break;
  }
  fill(out, width, '*');
}

// Lays out one output record from the start of the format, taking items from
// `cursor`. `place(column, width, descriptor, item, index)` is called for every
// field and literal (item is nullptr for literals), with 0-based columns.
// Returns the record's length (the furthest column written).
template <typename Place>
std::int64_t lay_out_record(const RecordFormat& format, Cursor<OutItem>& cursor, Place&& place) {
  std::int64_t column = 0;
  std::int64_t furthest = 0;
  for (const EditDescriptor& descriptor : format.descriptors) {
    const int repeat = repeat_of(descriptor);
    for (int r = 0; r < repeat; ++r) {
      if (is_data(descriptor.kind)) {
        if (cursor.done()) return furthest;
        const std::int64_t width = output_width(descriptor, *cursor.m_item);
        place(column, width, descriptor, cursor.m_item, cursor.m_index);
        column += width;
        if (column > furthest) furthest = column;
        cursor.advance();
      } else if (descriptor.kind == Edit::literal) {
        const auto width = static_cast<std::int64_t>(descriptor.literal.size());
        place(column, width, descriptor, nullptr, 0);
        column += width;
        if (width > 0 && column > furthest) furthest = column;
      } else {
        column += descriptor.width;
        if (column < 0) column = 0;
      }
    }
  }
  return furthest;
}

void place_into(char* record, std::int64_t column, std::int64_t width,
                const EditDescriptor& descriptor, const OutItem* item, int index) {
  if (width <= 0) return;
  if (item == nullptr) {
    std::memcpy(record + column, descriptor.literal.data(), static_cast<std::size_t>(width));
  } else {
    render_item(descriptor, *item, index, static_cast<int>(width), record + column);
  }
}

// ---------------------------------------------------------------------------
// Input statements over a record source.

// Where an input statement takes its records from: a unit, or one text.
struct Source {
  int m_unit;  // k_internal_unit for a text
  std::string_view m_internal;
  bool m_internal_taken;
};

enum class Next : std::uint8_t { record, end_of_file };

Next next_record(Source& source, std::string_view& record) {
  if (source.m_unit == k_internal_unit) {
    if (source.m_internal_taken) return Next::end_of_file;
    source.m_internal_taken = true;
    record = source.m_internal;
    return Next::record;
  }
  return read_record(source.m_unit, record) == ReadResult::record ? Next::record
                                                                  : Next::end_of_file;
}

std::string_view source_name(const Source& source) {
  return source.m_unit == k_internal_unit ? k_internal_read_name : unit_file_name(source.m_unit);
}

[[noreturn]] void conversion_error(const Source& source) {
  failure_stop(Message::input_conversion, source.m_unit, source_name(source));
}

// Converts `field` into element `index` of `item`. False for a conversion
// error, including a target that does not suit the descriptor.
bool store_item(const EditDescriptor& descriptor, const Field& field, std::int64_t width,
                const InItem& item, int index, BlankMode mode) {
  switch (descriptor.kind) {
    case Edit::text:
    case Edit::text_width:
      if (item.kind != ItemKind::text || (item.text == nullptr && item.length > 0)) return false;
      store_text(field, width,
                 item.text + static_cast<std::ptrdiff_t>(index) * width_of(item.length),
                 item.length);
      return true;
    case Edit::integer: {
      std::int32_t value = 0;
      if (item.kind == ItemKind::integer && item.integer != nullptr) {
        if (!parse_integer_field(field, mode, IntegerTarget::int32, value)) return false;
        item.integer[index] = value;
        return true;
      }
      if (item.kind == ItemKind::short_integer && item.short_integer != nullptr) {
        if (!parse_integer_field(field, mode, IntegerTarget::int16, value)) return false;
        item.short_integer[index] = static_cast<std::int16_t>(value);
        return true;
      }
      return false;
    }
    case Edit::fixed:
    case Edit::real_d: {
      if (item.kind != ItemKind::real || item.real == nullptr) return false;
      double value = 0.0;
      if (!parse_real_field(field, descriptor.decimals, mode, value)) return false;
      item.real[index] = value;
      return true;
    }
    default:
      return false;
  }
}

enum class InputEnd : std::uint8_t { complete, end_of_file, conversion_error };

// Applies `format` to records of `source`. A field that does not convert stops
// the run, unless `failed` is given: then the field's place is stored there and
// the statement ends with InputEnd::conversion_error.
InputEnd run_input(Source& source, const RecordFormat& format, std::initializer_list<InItem> items,
                   BlankMode mode, FieldFailure* failed = nullptr) {
  std::string_view record;
  if (next_record(source, record) == Next::end_of_file) return InputEnd::end_of_file;
  Cursor<InItem> cursor(items.begin(), items.end());
  const auto record_length = [&record] { return static_cast<std::int64_t>(record.size()); };
  for (;;) {
    std::int64_t column = 0;
    bool consumed = false;
    for (const EditDescriptor& descriptor : format.descriptors) {
      const int repeat = repeat_of(descriptor);
      for (int r = 0; r < repeat; ++r) {
        if (!is_data(descriptor.kind)) {
          column += descriptor.kind == Edit::literal
                        ? static_cast<std::int64_t>(descriptor.literal.size())
                        : descriptor.width;
          if (column < 0) column = 0;
          continue;
        }
        if (cursor.done()) return InputEnd::complete;
        const InItem& item = *cursor.m_item;
        const std::int64_t width =
            descriptor.kind == Edit::text ? width_of(item.length) : width_of(descriptor.width);
        std::int64_t available = record_length() - column;
        if (available < 0) available = 0;
        if (available > width) available = width;
        Field field{record.substr(static_cast<std::size_t>(
                                      column < record_length() ? column : record_length()),
                                  static_cast<std::size_t>(available)),
                    width - available};
        std::int64_t next_column = column + width;
        if (descriptor.kind != Edit::text && descriptor.kind != Edit::text_width) {
          const std::size_t comma = field.m_text.find(',');
          if (comma != std::string_view::npos) {
            field = Field{field.m_text.substr(0, comma), 0};
            next_column = column + static_cast<std::int64_t>(comma) + 1;
          }
        }
        if (!store_item(descriptor, field, width, item, cursor.m_index, mode)) {
          if (failed == nullptr) conversion_error(source);
          failed->column = column;
          failed->width = static_cast<std::int64_t>(field.m_text.size());
          return InputEnd::conversion_error;
        }
        column = next_column;
        consumed = true;
        cursor.advance();
      }
    }
    // End of the format with items left: the format starts again on the next
    // record. A format without data descriptors would never take them.
    if (cursor.done() || !consumed) return InputEnd::complete;
    if (next_record(source, record) == Next::end_of_file) return InputEnd::end_of_file;
  }
}

}  // namespace

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
    for (int k = 0; k < width; ++k) limit *= 10.0;
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
  BigUint big;
  big_set(big, mantissa);
  big_multiply_pow10(big, exact_decimals + 1);
  if (exponent >= 0) {
    big_shift_left(big, exponent);
  } else {
    big_shift_right(big, -exponent);
  }
  char digits[k_max_digits + 2];
  int count = big_to_decimal(big, digits + 1);
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

// ---------------------------------------------------------------------------
// Statements.

void write_formatted(int unit, const RecordFormat& format, std::initializer_list<OutItem> items) {
  Cursor<OutItem> cursor(items.begin(), items.end());
  for (;;) {
    // Measure the record first, so the unit's buffer is reserved once at its
    // full size, then render it in place.
    Cursor<OutItem> measure = cursor;
    const std::int64_t length = lay_out_record(
        format, measure,
        [](std::int64_t, std::int64_t, const EditDescriptor&, const OutItem*, int) {});
    char* record = reserve_record(unit, static_cast<std::size_t>(length));
    if (length > 0) std::memset(record, ' ', static_cast<std::size_t>(length));
    const Cursor<OutItem> before = cursor;
    lay_out_record(format, cursor,
                   [record](std::int64_t column, std::int64_t width,
                            const EditDescriptor& descriptor, const OutItem* item, int index) {
                     place_into(record, column, width, descriptor, item, index);
                   });
    write_record(unit, static_cast<std::size_t>(length));
    // Items left at the end of the format go on in a new record; a format
    // that takes no item would otherwise never end.
    if (cursor.done()) return;
    if (cursor.m_item == before.m_item && cursor.m_index == before.m_index) return;
  }
}

int read_formatted(int unit, const RecordFormat& format, std::initializer_list<InItem> items,
                   EndOfFile eof) {
  Source source{unit, {}, false};
  if (run_input(source, format, items, unit_blank_mode(unit)) == InputEnd::complete) return 0;
  if (eof == EndOfFile::branch) return -1;
  failure_stop(Message::end_of_file, unit, unit_file_name(unit));
}

void write_internal(char* text, int length, const RecordFormat& format,
                    std::initializer_list<OutItem> items) {
  if (length < 0) length = 0;
  fill(text, length, ' ');
  Cursor<OutItem> cursor(items.begin(), items.end());
  lay_out_record(format, cursor,
                 [text, length](std::int64_t column, std::int64_t width,
                                const EditDescriptor& descriptor, const OutItem* item, int index) {
                   if (width > 0 && column + width > length) {
                     failure_stop(Message::output_overflow, k_internal_unit, k_internal_write_name);
                   }
                   place_into(text, column, width, descriptor, item, index);
                 });
  // The text is the only record: items left for a second one overflow it.
  if (!cursor.done())
    failure_stop(Message::output_overflow, k_internal_unit, k_internal_write_name);
}

bool try_read_record(std::string_view record, const RecordFormat& format,
                     std::initializer_list<InItem> items, BlankMode mode, FieldFailure& failed) {
  Source source{k_internal_unit, record, false};
  failed = FieldFailure{};
  // A format that wants a second record finds none: the targets left keep their values.
  return run_input(source, format, items, mode, &failed) != InputEnd::conversion_error;
}

void read_internal(const char* text, int length, const RecordFormat& format,
                   std::initializer_list<InItem> items) {
  if (length < 0) length = 0;
  Source source{k_internal_unit, std::string_view(text, static_cast<std::size_t>(length)), false};
  if (run_input(source, format, items, BlankMode::null) == InputEnd::end_of_file) {
    failure_stop(Message::end_of_file, k_internal_unit, k_internal_read_name);
  }
}

}  // namespace records
