// Validity checks of profkit's output formats for the fuzz targets: each
// returns "" when the text is valid, else what is wrong with it.
#ifndef PROFCMP_FUZZ_OUTPUT_CHECKS_H_
#define PROFCMP_FUZZ_OUTPUT_CHECKS_H_

#include <libxml/parser.h>

#include <cctype>
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Well-formed UTF-8: no stray continuation byte, overlong form, surrogate or
// code point beyond U+10FFFF.
inline bool valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0, least = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2, code = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, code = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4, code = c & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// RFC 4180 with CR LF record ends: every record has the header's field
// count, quotes are closed, and no other control byte occurs.
inline std::string check_csv(std::string_view text) {
  if (!valid_utf8(text)) return "not valid UTF-8";
  std::size_t fields = 1, expected = 0, record = 0;
  bool quoted = false, at_field_start = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          ++i;
        } else {
          quoted = false;
        }
      } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        return "control byte in a quoted field of record " + std::to_string(record + 1);
      }
      continue;
    }
    if (c == '"' && at_field_start) {
      quoted = true;
      at_field_start = false;
    } else if (c == ',') {
      ++fields;
      at_field_start = true;
    } else if (c == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') return "CR without LF";
      ++i;
      if (record == 0) expected = fields;
      if (fields != expected) {
        return "record " + std::to_string(record + 1) + " has " + std::to_string(fields) +
               " fields, the header " + std::to_string(expected);
      }
      ++record;
      fields = 1;
      at_field_start = true;
    } else if (c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return "stray quote or control byte in record " + std::to_string(record + 1);
    } else {
      at_field_start = false;
    }
  }
  if (quoted) return "unclosed quote";
  if (!text.empty() && text.back() != '\n') return "last record without CR LF";
  return "";
}

// Well-formed XML, as libxml2 parses it (no network, no entities loaded).
inline std::string check_xml(std::string_view text) {
  xmlDocPtr document =
      xmlReadMemory(text.data(), static_cast<int>(text.size()), "output.svg", "UTF-8",
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (document == nullptr) {
    const xmlError* error = xmlGetLastError();
    return "not well-formed XML: " + std::string(error != nullptr && error->message != nullptr
                                                     ? error->message
                                                     : "no reason given");
  }
  xmlFreeDoc(document);
  return "";
}

// HTML as profkit writes it: valid UTF-8, every element closed in order
// (void elements and self-closed SVG elements aside), style text skipped,
// and no '<' that does not start a tag, comment or doctype.
inline std::string check_html(std::string_view text) {
  if (!valid_utf8(text)) return "not valid UTF-8";
  static const std::set<std::string, std::less<>> k_void = {
      "meta", "br",   "hr",   "img",    "input", "link", "col",
      "wbr",  "area", "base", "source", "track", "embed"};
  std::vector<std::string> open;
  std::size_t i = 0;
  while ((i = text.find('<', i)) != std::string_view::npos) {
    if (text.compare(i, 4, "<!--") == 0) {
      const std::size_t end = text.find("-->", i + 4);
      if (end == std::string_view::npos) return "unclosed comment";
      i = end + 3;
      continue;
    }
    if (text.compare(i, 2, "<!") == 0) {
      i = text.find('>', i);
      if (i == std::string_view::npos) return "unclosed declaration";
      continue;
    }
    const bool closing = i + 1 < text.size() && text[i + 1] == '/';
    std::size_t name_start = i + (closing ? 2 : 1), name_end = name_start;
    while (name_end < text.size() && (std::isalnum(static_cast<unsigned char>(text[name_end])) ||
                                      text[name_end] == '-' || text[name_end] == ':')) {
      ++name_end;
    }
    if (name_end == name_start) return "'<' that starts no tag at byte " + std::to_string(i);
    const std::string name(text.substr(name_start, name_end - name_start));
    const std::size_t end = text.find('>', name_end);
    if (end == std::string_view::npos) return "unclosed tag <" + name;
    const std::string_view tag = text.substr(i, end + 1 - i);
    if (tag.find('<', 1) != std::string_view::npos) return "'<' inside tag <" + name;
    if (closing) {
      if (open.empty() || open.back() != name) {
        return "</" + name + "> closes <" + (open.empty() ? std::string("nothing") : open.back()) +
               ">";
      }
      open.pop_back();
    } else if (text[end - 1] != '/' && k_void.count(name) == 0) {
      open.push_back(name);
      if (name == "style") {
        const std::size_t close = text.find("</style>", end);
        if (close == std::string_view::npos) return "unclosed style";
        i = close;
        continue;
      }
    }
    i = end + 1;
  }
  if (!open.empty()) return "<" + open.back() + "> is never closed";
  return "";
}

// TeX as profkit writes it: braces balance (escaped braces and comments
// aside) and every control sequence is one of `allowed`, so that no name can
// bring in a command of its own.
inline std::string check_tex(std::string_view text, const std::set<std::string>& allowed) {
  long depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '\\') {
      std::size_t end = i + 1;
      while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
      if (end == i + 1 && end < text.size()) ++end;  // a control symbol
      const std::string sequence(text.substr(i, end - i));
      if (allowed.count(sequence) == 0) return "control sequence " + sequence + " not expected";
      i = end - 1;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth < 0) return "'}' without '{'";
    }
  }
  if (depth != 0) return "unbalanced braces";
  return "";
}

// Every control sequence in `text` (as check_tex reads them).
inline std::set<std::string> tex_sequences(std::string_view text) {
  std::set<std::string> found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (text[i] == '\\') {
      std::size_t end = i + 1;
      while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
      if (end == i + 1 && end < text.size()) ++end;
      found.insert(std::string(text.substr(i, end - i)));
      i = end - 1;
    }
  }
  return found;
}

}  // namespace fuzz

#endif  // PROFCMP_FUZZ_OUTPUT_CHECKS_H_
