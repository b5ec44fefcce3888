// How profkit writes a name (or any text taken from a table or the command
// line) into each kind of output: a terminal, a CSV field, XML (SVG and
// HTML), TeX, and the byte-exact quotes of the audit. Every writer takes its
// rule from here, so that a name is cleaned the same way in every output.
#ifndef PROFCMP_PROFKIT_TEXT_ESCAPE_H_
#define PROFCMP_PROFKIT_TEXT_ESCAPE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace textkit {

// The length of the well-formed UTF-8 sequence at text[i] (1 to 4), with its
// code point in `code`; 0 when the byte at i starts no such sequence
// (overlong forms, surrogates and code points beyond U+10FFFF included).
std::size_t utf8_sequence(std::string_view text, std::size_t i, std::uint32_t& code);

// C0 controls (tab, LF and CR included), DEL and C1 controls.
bool is_control(std::uint32_t code);

// The explicit direction controls: U+202A to U+202E (embeddings, overrides,
// their end) and U+2066 to U+2069 (isolates, their end).
bool is_direction_control(std::uint32_t code);

// False for the code points no name should carry into a document: controls
// (is_control), U+FFFE and U+FFFF.
bool printable(std::uint32_t code);

// Characters of `text`, a byte that is not well-formed UTF-8 counted as one.
std::size_t character_count(std::string_view text);

// `rows` as lines of columns two blanks apart, each as wide as its widest
// cell in characters: column c of row r left-aligned where left(r, c) says
// so (a last column left-aligned is not padded), else right-aligned.
template <typename Left>
std::string aligned_columns(const std::vector<std::vector<std::string>>& rows, Left&& left) {
  std::vector<std::size_t> width;
  for (const auto& row : rows) {
    if (width.size() < row.size()) width.resize(row.size(), 0);
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::size_t n = character_count(row[c]);
      if (width[c] < n) width[c] = n;
    }
  }
  std::string text;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::vector<std::string>& row = rows[r];
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::size_t pad = width[c] - character_count(row[c]);
      if (c > 0) text += "  ";
      if (left(r, c)) {
        text += row[c];
        if (c + 1 < row.size()) text.append(pad, ' ');
      } else {
        text.append(pad, ' ');
        text += row[c];
      }
    }
    text += '\n';
  }
  return text;
}

// `text` for a terminal: every control character and every direction control
// shown escaped, so that no byte of a name can move the cursor, recolour or
// retitle the terminal, or turn the text around it. A C0 or DEL byte and every
// byte that is not part of well-formed UTF-8 (a raw C1 byte among them)
// becomes \xNN; a well-formed C1 control or direction control becomes \uNNNN
// (hex digits in upper case). Everything else, backslashes included, is kept.
std::string terminal(std::string_view text);

// `text` in single quotes, every byte that is not printable ASCII (and the
// backslash) as \xNN, cut after `limit` bytes with "..." before the closing
// quote: the bytes of a table's field exactly as they are.
std::string quoted_bytes(std::string_view text, std::size_t limit);

// `text` as valid UTF-8 for a document: each control character, U+FFFE,
// U+FFFF and each byte that is not part of well-formed UTF-8 becomes U+FFFD.
std::string replace_unprintable(std::string_view text);

// `text` as one CSV field (RFC 4180) of valid UTF-8: cleaned as
// replace_unprintable() does, then quoted, with inner quotes doubled, when it
// holds a comma or a quote.
std::string csv_field(std::string_view text);

// `text` as XML character data or attribute value: cleaned as
// replace_unprintable() does, & < > " ' escaped.
std::string xml_escape(std::string_view text);

// `text` for TeX in a document with pdflatex's default setup (UTF-8 input,
// OT1 fonts): \ { } $ & # ^ _ ~ % escaped (\textbackslash{}, \{, ...,
// \textasciicircum{}, \textasciitilde{}); the ligatures -- `` '' !` ?` broken
// by {} between their two characters; printable ASCII and the accented
// letters of Latin-1 (U+00C0 to U+00FF but for Eth, Thorn, the
// multiplication and the division sign) kept; every other character, and
// every byte that is not well-formed UTF-8, written as "?".
std::string tex_escape(std::string_view text);

}  // namespace textkit

#endif  // PROFCMP_PROFKIT_TEXT_ESCAPE_H_
