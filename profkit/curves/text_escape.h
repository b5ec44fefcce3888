// Escaping of method names for the documents profkit writes: UTF-8 decoding
// that flags controls and invalid bytes, CSV fields (RFC 4180) and TeX text.
#ifndef PROFCMP_PROFKIT_CURVES_TEXT_ESCAPE_H_
#define PROFCMP_PROFKIT_CURVES_TEXT_ESCAPE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace curves {

// The length of the well-formed UTF-8 sequence at text[i] (1 to 4), with its
// code point in `code`; 0 when the byte at i starts no such sequence.
std::size_t utf8_sequence(std::string_view text, std::size_t i, std::uint32_t& code);

// False for the code points no name should carry into a document: C0
// controls (tab, LF and CR included), DEL, C1 controls, U+FFFE and U+FFFF.
bool printable(std::uint32_t code);

// Text for TeX: \ { } $ & # ^ _ ~ % escaped (\textbackslash{}, \{, ...,
// \textasciicircum{}, \textasciitilde{}), printable UTF-8 kept, and every
// other character, and every byte that is not well-formed UTF-8, shown as "?".
std::string tex_escape(std::string_view text);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_TEXT_ESCAPE_H_
