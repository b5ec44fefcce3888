#include "profkit/text/escape.h"

#include <cstdio>

namespace textkit {
namespace {

constexpr std::string_view k_replacement = "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER

void append_hex(std::string& out, const char* prefix, std::uint32_t value, int digits) {
  static constexpr char k_digits[] = "0123456789ABCDEF";
  out += prefix;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out += k_digits[(value >> shift) & 0xF];
}

// Calls character(code, sequence) for each well-formed UTF-8 character of
// `text`, and bad(byte) for each byte that is not part of one.
template <class Character, class Bad>
void for_each_character(std::string_view text, Character character, Bad bad) {
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t code = 0;
    const std::size_t length = utf8_sequence(text, i, code);
    if (length == 0) {
      bad(static_cast<unsigned char>(text[i]));
      ++i;
      continue;
    }
    character(code, text.substr(i, length));
    i += length;
  }
}

// Whether `a` followed by `b` makes a ligature in TeX's text fonts.
bool tex_ligature(std::uint32_t a, std::uint32_t b) {
  return (a == '-' && b == '-') || (a == '`' && b == '`') || (a == '\'' && b == '\'') ||
         ((a == '!' || a == '?') && b == '`');
}

// The characters pdflatex typesets without extra packages: printable ASCII
// and the accented Latin-1 letters its default fonts compose.
bool tex_typesets(std::uint32_t code) {
  if (code >= 0x20 && code < 0x7F) return true;
  if (code < 0xC0 || code > 0xFF) return false;
  return code != 0xD0 && code != 0xD7 && code != 0xDE && code != 0xF0 && code != 0xF7 &&
         code != 0xFE;
}

}  // namespace

std::size_t utf8_sequence(std::string_view text, std::size_t i, std::uint32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (b0 < 0x80) {
    code = b0;
    return 1;
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

bool is_control(std::uint32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

bool is_direction_control(std::uint32_t code) {
  return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

bool printable(std::uint32_t code) {
  return !is_control(code) && code != 0xFFFE && code != 0xFFFF;
}

std::size_t character_count(std::string_view text) {
  std::size_t count = 0;
  for_each_character(
      text, [&](std::uint32_t, std::string_view) { ++count; }, [&](unsigned char) { ++count; });
  return count;
}

std::string terminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for_each_character(
      text,
      [&](std::uint32_t code, std::string_view sequence) {
        if (code < 0x80 && is_control(code)) {
          append_hex(out, "\\x", code, 2);
        } else if (is_control(code) || is_direction_control(code)) {
          append_hex(out, "\\u", code, 4);
        } else {
          out += sequence;
        }
      },
      [&](unsigned char byte) { append_hex(out, "\\x", byte, 2); });
  return out;
}

std::string quoted_bytes(std::string_view text, std::size_t limit) {
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7f || c == '\\') {
      append_hex(out, "\\x", c, 2);
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.size() > limit) out += "...";
  return out + "'";
}

std::string replace_unprintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for_each_character(
      text,
      [&](std::uint32_t code, std::string_view sequence) {
        out += printable(code) ? sequence : k_replacement;
      },
      [&](unsigned char) { out += k_replacement; });
  return out;
}

std::string csv_field(std::string_view text) {
  std::string clean = replace_unprintable(text);
  if (clean.find_first_of(",\"") == std::string::npos) return clean;
  std::string quoted = "\"";
  for (const char c : clean) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string xml_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for_each_character(
      text,
      [&](std::uint32_t code, std::string_view sequence) {
        switch (code) {
          case '&':
            out += "&amp;";
            break;
          case '<':
            out += "&lt;";
            break;
          case '>':
            out += "&gt;";
            break;
          case '"':
            out += "&quot;";
            break;
          case '\'':
            out += "&apos;";
            break;
          default:
            out += printable(code) ? sequence : k_replacement;
        }
      },
      [&](unsigned char) { out += k_replacement; });
  return out;
}

std::string tex_escape(std::string_view text) {
  std::string out;
  std::uint32_t previous = 0;  // the character written last (a replacement is '?')
  for_each_character(
      text,
      [&](std::uint32_t code, std::string_view sequence) {
        if (!tex_typesets(code)) {
          code = '?';
          sequence = "?";
        }
        if (tex_ligature(previous, code)) out += "{}";
        previous = code;
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
            out += sequence;
        }
      },
      [&](unsigned char) {
        out += '?';
        previous = '?';
      });
  return out;
}

}  // namespace textkit
