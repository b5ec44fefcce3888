// Field conversion inside records/: what the statement engine of
// record_format.cc shares with the field rendering and parsing of fields.cc.
// A field is the record's text for its columns followed by the blanks that a
// short record lacks (pad mode).
#ifndef PROFCMP_RECORDS_FIELDS_H_
#define PROFCMP_RECORDS_FIELDS_H_

#include <cstdint>
#include <string_view>

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

// Fw.d and Dw.d input with `decimals` implied decimal places; false for a
// conversion error.
bool parse_real_field(const Field& field, int decimals, BlankMode mode, double& value);

// Aw input: the field of `width` columns (text then blanks) into the target.
void store_text(const Field& field, std::int64_t width, char* target, int length);

}  // namespace records::detail

#endif  // PROFCMP_RECORDS_FIELDS_H_
