// Field conversion inside records/: what the statement engine of
// record_format.cc shares with the field rendering and parsing of fields.cc.
// A field is the record's text for its columns followed by the blanks that a
// short record lacks (pad mode).
#ifndef PROFCMP_RECORDS_FIELDS_H_
#define PROFCMP_RECORDS_FIELDS_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "records/record_format.h"

namespace records::detail {

struct Field {
  std::string_view m_text;
  std::int64_t m_pad;

  std::int64_t length() const { return static_cast<std::int64_t>(m_text.size()) + m_pad; }
  char at(std::int64_t i) const {
    return i < static_cast<std::int64_t>(m_text.size()) ? m_text[static_cast<std::size_t>(i)] : ' ';
  }
};

// Sets out[0..width) to `c`.
void fill(char* out, int width, char c);

// Iw input into a 32-bit or 16-bit target; false for a conversion error.
bool parse_integer_field(const Field& field, BlankMode mode, IntegerTarget target,
                         std::int32_t& value);

// Converts eight digits of 0 to 9, one to a byte (the first column in the low
// byte), to their value; eight_digits_value() takes the digit characters.
inline std::uint32_t eight_digit_values(std::uint64_t word) {
  word = (word * 2561) >> 8;                                // pairs of digits
  word = ((word & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;  // groups of four
  return static_cast<std::uint32_t>(((word & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32);
}

inline std::uint32_t eight_digits_value(std::uint64_t word) {
  return eight_digit_values(word & 0x0F0F0F0F0F0F0F0FULL);
}

// The bytes of `values` above 9, as non-zero bits: a value from 0 to 9 has
// no high nibble and keeps none when 6 is added. (A carry out of a byte
// comes only from a byte that fails on its own.)
constexpr std::uint64_t above_nine(std::uint64_t values) {
  return (values | (values + 0x0606060606060606ULL)) & 0xF0F0F0F0F0F0F0F0ULL;
}

// Whether every byte of `word` is a digit character.
inline bool all_digits(std::uint64_t word) {
  return above_nine(word ^ 0x3030303030303030ULL) == 0;
}

// Iw input for the usual shape of a field that lies whole in its record:
// blanks, an optional sign, then one to eight digits up to its last column.
// The digits are checked and converted eight bytes at a time. Returns false,
// storing nothing, for any other shape or a value out of the target's range;
// parse_integer_field() then decides. When it returns true, `value` is the one
// parse_integer_field() gives in either blank mode.
inline bool parse_integer_digits(std::string_view text, IntegerTarget target, std::int32_t& value) {
  if constexpr (std::endian::native != std::endian::little) return false;
  constexpr std::uint64_t k_blanks = 0x2020202020202020ULL;
  constexpr std::uint64_t k_zeros = 0x3030303030303030ULL;
  const char* c = text.data();
  const char* const end = c + text.size();
  while (end - c >= 8) {
    std::uint64_t word;
    std::memcpy(&word, c, sizeof word);
    const std::uint64_t differs = word ^ k_blanks;
    if (differs != 0) {
      c += std::countr_zero(differs) / 8;
      break;
    }
    c += 8;
  }
  while (c != end && *c == ' ') ++c;
  bool negative = false;
  if (c != end && (*c == '+' || *c == '-')) {
    negative = *c == '-';
    ++c;
  }
  const auto digits = end - c;
  if (digits < 1 || digits > 8) return false;
  std::uint64_t word = k_zeros;
  if (text.size() >= 8) {
    // The eight bytes that end the field; those ahead of the digits become zeros.
    std::memcpy(&word, end - 8, sizeof word);
    const std::uint64_t ahead = digits == 8 ? 0 : (~0ULL >> (8 * digits));
    word = (word & ~ahead) | (k_zeros & ahead);
  } else {
    char bytes[8];
    std::memset(bytes, '0', sizeof bytes);
    std::memcpy(bytes + 8 - digits, c, static_cast<std::size_t>(digits));
    std::memcpy(&word, bytes, sizeof word);
  }
  if (!all_digits(word)) return false;
  const auto magnitude = static_cast<std::int64_t>(eight_digits_value(word));
  const std::int64_t limit = target == IntegerTarget::int16
                                 ? (negative ? 32768 : 32767)
                                 : (negative ? 2147483648LL : 2147483647LL);
  if (magnitude > limit) return false;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

// The mask of the columns of a count field ahead of its last eight, for
// parse_count_word(); `width` is 8 to 16.
constexpr std::uint64_t count_word_lead_mask(std::size_t width) {
  return width >= 16 ? ~0ULL : (std::uint64_t{1} << (8 * (width - 8))) - 1;
}

// Iw input into an int32 for the usual count column: a field of 8 to 16
// columns, whole in its record, of blanks and then up to eight digits that
// end at its last column, checked and converted as two 8-byte words without
// a loop or a branch. `last_eight` is the start of its last eight columns and
// `lead_mask` count_word_lead_mask(width). Returns 0 when the field has that
// shape and then `value` is the one parse_integer_field() gives in either
// blank mode (0 for a blank field); anything else returns non-zero, and
// `value` means nothing.
inline std::uint64_t count_word_value(const char* field, const char* last_eight,
                                      std::uint64_t lead_mask, std::int32_t& value) {
  if constexpr (std::endian::native != std::endian::little) return 1;
  constexpr std::uint64_t k_blanks = 0x2020202020202020ULL;
  std::uint64_t head;
  std::uint64_t tail;
  std::memcpy(&head, field, sizeof head);
  std::memcpy(&tail, last_eight, sizeof tail);
  // The columns ahead of the last eight are all blanks.
  std::uint64_t bad = (head ^ k_blanks) & lead_mask;
  // The blanks ahead of the first other byte become zeros: bit 4 of every
  // byte below the lowest bit that differs from a blank. (A digit differs
  // from a blank in bit 4 and below, so its own byte keeps its bit 4 as it is.)
  const std::uint64_t differs = tail ^ k_blanks;
  const std::uint64_t below = (differs & (0 - differs)) - 1;
  const std::uint64_t digits = tail | (0x1010101010101010ULL & below);
  // Every byte must now be a digit.
  const std::uint64_t values = digits ^ 0x3030303030303030ULL;
  bad |= above_nine(values);
  value = static_cast<std::int32_t>(eight_digit_values(values));
  return bad;
}

// count_word_value() of a field of `width` columns, storing into `value`
// only when it takes the field.
inline bool parse_count_word(const char* field, std::size_t width, std::uint64_t lead_mask,
                             std::int32_t& value) {
  std::int32_t converted = 0;
  if (count_word_value(field, field + width - 8, lead_mask, converted) != 0) return false;
  value = converted;
  return true;
}

// Count fields of one record for count_words_values(), field k beginning at
// offset heads[k], its last eight columns at tails[k], with lead mask
// lead_masks[k] (see count_word_value()).
struct CountFields {
  const std::int64_t* heads;
  const std::int64_t* tails;
  const std::uint64_t* lead_masks;
};

// count_word_value() of `count` fields of `data`, two at a time in the halves
// of a vector register where the target has one: store(k, value) receives the
// value of field k. With an odd count the arrays hold one field more, a copy
// of the last, which is converted and stored too. Returns 0 when every field
// had the usual shape; otherwise the values stored mean nothing.
template <typename Store>
inline std::uint64_t count_words_values(const char* data, const CountFields& fields, int count,
                                        Store store) {
#if defined(__SSE2__)
  if constexpr (std::endian::native == std::endian::little) {
    const __m128i blanks = _mm_set1_epi8(' ');
    const __m128i zeros = _mm_set1_epi8('0');
    const __m128i nines = _mm_set1_epi8(9);
    const __m128i ones = _mm_set1_epi64x(1);
    // Times 2561 modulo 2^16, a 16-bit lane of digits d0 (low byte) and d1
    // is 256 * (10 * d0 + d1) + d0: its high byte is the pair's value.
    __m128i pair_factor = _mm_set1_epi16(2561);
#if defined(__GNUC__)
    // Unseen by the optimizer, the factor stays one multiplication instead
    // of becoming four shifts and additions.
    __asm__("" : "+x"(pair_factor));
#endif
    const __m128i hundred_one = _mm_set1_epi32(0x00010064);  // pairs times 100 and 1
    const __m128i ten_thousand = _mm_set1_epi64x(10000);
    __m128i bad = _mm_setzero_si128();
    for (int a = 0; a < count; a += 2) {
      const int b = a + 1;
      const auto load = [data](std::int64_t at) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + at));
      };
      const __m128i head = _mm_unpacklo_epi64(load(fields.heads[a]), load(fields.heads[b]));
      const __m128i tail = _mm_unpacklo_epi64(load(fields.tails[a]), load(fields.tails[b]));
      const __m128i lead = _mm_set_epi64x(static_cast<long long>(fields.lead_masks[b]),
                                          static_cast<long long>(fields.lead_masks[a]));
      // The columns ahead of the last eight are blanks.
      bad = _mm_or_si128(bad, _mm_and_si128(_mm_xor_si128(head, blanks), lead));
      // In the last eight, the blanks (all ones) come first: each 64-bit
      // lane is then of the form 2^k - 1, which shares no bit with itself + 1.
      const __m128i blank = _mm_cmpeq_epi8(tail, blanks);
      bad = _mm_or_si128(bad, _mm_and_si128(blank, _mm_add_epi64(blank, ones)));
      // Every other byte is a digit: its value from '0' is at most 9.
      const __m128i values = _mm_andnot_si128(blank, _mm_sub_epi8(tail, zeros));
      bad = _mm_or_si128(bad, _mm_subs_epu8(values, nines));
      // Digit pairs (the first column is the low byte), then groups of four,
      // then eight: each value ends in the low half of its 64-bit lane.
      const __m128i pairs = _mm_srli_epi16(_mm_mullo_epi16(values, pair_factor), 8);
      const __m128i fours = _mm_madd_epi16(pairs, hundred_one);
      const __m128i eights =
          _mm_add_epi64(_mm_mul_epu32(fours, ten_thousand), _mm_srli_epi64(fours, 32));
      store(a, _mm_cvtsi128_si32(eights));
      store(b, _mm_cvtsi128_si32(_mm_unpackhi_epi64(eights, eights)));
    }
    return static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) ^
                                      0xFFFF);
  }
#endif
  std::uint64_t bad = 0;
  for (int k = 0; k < count; ++k) {
    std::int32_t value = 0;
    bad |= count_word_value(data + fields.heads[k], data + fields.tails[k], fields.lead_masks[k],
                            value);
    store(k, value);
  }
  return bad;
}

// Fw.d and Dw.d input of a field whole in its record in the usual shape:
// blanks, an optional sign, up to 15 significant digits with at most one
// point. False for any other shape, storing nothing; parse_general_real()
// then decides. When true, `value` is the one parse_general_real() gives.
bool parse_plain_real(std::string_view text, int decimals, double& value);

// Fw.d and Dw.d input of any shape (words, exponents, blanks as the mode
// says); false for a conversion error.
bool parse_general_real(const Field& field, int decimals, BlankMode mode, double& value);

// Fw.d and Dw.d input with `decimals` implied decimal places: the usual shape
// by parse_plain_real(), anything else by parse_general_real(). Inline, so
// that a statement's real fields reach the usual shape without a call.
inline bool parse_real_field(const Field& field, int decimals, BlankMode mode, double& value) {
  if (field.m_pad == 0 && parse_plain_real(field.m_text, decimals, value)) return true;
  return parse_general_real(field, decimals, mode, value);
}

// Aw input: the field of `width` columns (text then blanks) into the target.
void store_text(const Field& field, std::int64_t width, char* target, int length);

// Whether input statements may take a format's prepared plan (the default) or
// always take the general statement loop; for checking one against the other.
// Applies to the calling thread.
void set_input_plans(bool enabled);

// Forgets the plans prepared so far on the calling thread. Plans are kept by
// the address of a format's descriptors, which the tool never changes; a
// caller that builds formats in reused storage calls this before each one.
void forget_input_plans();

}  // namespace records::detail

#endif  // PROFCMP_RECORDS_FIELDS_H_
