// Escaping of method names for the documents profkit writes: UTF-8 decoding
// that flags controls and invalid bytes, CSV fields (RFC 4180) and TeX text.
#ifndef PROFCMP_CURVES_TEXT_ESCAPE_H_
#define PROFCMP_CURVES_TEXT_ESCAPE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace curves {

// The length of the UTF-8 sequence at text[i] when it is well formed and
// encodes a printable character (not C0, DEL, C1, U+FFFE or U+FFFF), with its
// code point in `code`; 0 otherwise (the byte at i is then to be replaced).
std::size_t printable_character(std::string_view text, std::size_t i, std::uint32_t& code);

// A CSV field: the text as is, quoted with inner quotes doubled when it holds
// a comma, a quote, CR or LF.
std::string csv_field(std::string_view text);

// Text for TeX: \ { } $ & # ^ _ ~ % escaped (\textbackslash{}, \{, ...,
// \textasciicircum{}, \textasciitilde{}), printable UTF-8 kept, and every
// control character or byte that is not well-formed UTF-8 shown as "?".
std::string tex_escape(std::string_view text);

}  // namespace curves

#endif  // PROFCMP_CURVES_TEXT_ESCAPE_H_
