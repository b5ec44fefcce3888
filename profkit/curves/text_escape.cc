#include "profkit/curves/text_escape.h"

namespace curves {

std::size_t utf8_sequence(std::string_view text, std::size_t i, std::uint32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (b0 < 0x80) {
    code = b0;
    length = 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    code = b0 & 0x1F;
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    code = b0 & 0x0F;
    length = 3;
    if (b0 == 0xE0) low = 0xA0;   // no overlong forms
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    code = b0 & 0x07;
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char b = byte(i + k);
    if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  return length;
}

bool printable(std::uint32_t code) {
  const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
  return !control && code != 0xFFFE && code != 0xFFFF;
}

std::string tex_escape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t code = 0;
    const std::size_t length = utf8_sequence(text, i, code);
    if (length == 0 || !printable(code)) {
      out += '?';
      i += length == 0 ? 1 : length;
      continue;
    }
    switch (code) {
      case '\\':
        out += "\\textbackslash{}";
        break;
      case '^':
        out += "\\textasciicircum{}";
        break;
      case '~':
        out += "\\textasciitilde{}";
        break;
      case '{':
      case '}':
      case '$':
      case '&':
      case '#':
      case '_':
      case '%':
        out += '\\';
        out += static_cast<char>(code);
        break;
      default:
        out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

}  // namespace curves
