// The text toolkit's rules, one row per kind of name and one column per
// output: terminal, CSV field, XML and TeX; then the properties every output
// keeps on random bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace {

const std::string k_fffd = "\xEF\xBF\xBD";  // U+FFFD

TEST(Text, EveryRuleOnEveryKindOfName) {
  struct Case {
    std::string name, terminal, csv, xml, tex;
  };
  const std::string r = k_fffd;
  const Case cases[] = {
      {"plain", "plain", "plain", "plain", "plain"},
      {"a<b&c>\"d'", "a<b&c>\"d'", "\"a<b&c>\"\"d'\"", "a&lt;b&amp;c&gt;&quot;d&apos;",
       "a<b\\&c>\"d'"},
      {"x,y", "x,y", "\"x,y\"", "x,y", "x,y"},
      {"\\{}$&#^_~%", "\\{}$&#^_~%", "\\{}$&#^_~%", "\\{}$&amp;#^_~%",
       "\\textbackslash{}\\{\\}\\$\\&\\#\\textasciicircum{}\\_\\textasciitilde{}\\%"},
      // C0 (tab, ESC), DEL, and CR LF: escaped for a terminal, replaced elsewhere.
      {"t\tab\x01\x1b[2J\x7f", "t\\x09ab\\x01\\x1B[2J\\x7F", "t" + r + "ab" + r + r + "[2J" + r,
       "t" + r + "ab" + r + r + "[2J" + r, "t?ab??[2J?"},
      {"a\r\nb", "a\\x0D\\x0Ab", "a" + r + r + "b", "a" + r + r + "b", "a??b"},
      // C1 as UTF-8 (U+0085, U+009B) and as raw bytes.
      {"\xC2\x85n\xC2\x9B", "\\u0085n\\u009B", r + "n" + r, r + "n" + r, "?n?"},
      {"\x85n\x9b", "\\x85n\\x9B", r + "n" + r, r + "n" + r, "?n?"},
      // Direction controls: escaped for a terminal, kept (and isolated) in documents.
      {"B\xE2\x80\xAE"
       "A\xE2\x81\xA6",
       "B\\u202EA\\u2066",
       "B\xE2\x80\xAE"
       "A\xE2\x81\xA6",
       "B\xE2\x80\xAE"
       "A\xE2\x81\xA6",
       "B?A?"},
      // Invalid UTF-8: a lone byte, a cut sequence, a surrogate, an overlong form.
      {"\xFF\xC3(", "\\xFF\\xC3(", r + r + "(", r + r + "(",
       "?"
       "?("},
      {"\xED\xA0\x80", "\\xED\\xA0\\x80", r + r + r, r + r + r, "???"},
      {"\xC0\xAF", "\\xC0\\xAF", r + r, r + r, "??"},
      {"\xEF\xBF\xBE", "\xEF\xBF\xBE", r, r, "?"},  // U+FFFE
      // Printable non-ASCII: kept, but TeX keeps only the Latin-1 letters.
      {"caf\xC3\xA9 \xC3\x9F\xC3\xBF", "caf\xC3\xA9 \xC3\x9F\xC3\xBF",
       "caf\xC3\xA9 \xC3\x9F\xC3\xBF", "caf\xC3\xA9 \xC3\x9F\xC3\xBF",
       "caf\xC3\xA9 \xC3\x9F\xC3\xBF"},
      {"\xD0\x96\xE6\x97\xA5\xC3\x97\xC3\xB0\xC2\xA0",
       "\xD0\x96\xE6\x97\xA5\xC3\x97\xC3\xB0\xC2\xA0",
       "\xD0\x96\xE6\x97\xA5\xC3\x97\xC3\xB0\xC2\xA0",
       "\xD0\x96\xE6\x97\xA5\xC3\x97\xC3\xB0\xC2\xA0", "?????"},
      // TeX ligatures broken; a replacement '?' before a backquote too.
      {"a--b---c``d''e!`f?`", "a--b---c``d''e!`f?`", "a--b---c``d''e!`f?`",
       "a--b---c``d&apos;&apos;e!`f?`", "a-{}-b-{}-{}-c`{}`d'{}'e!{}`f?{}`"},
      {"\xD0\x96`", "\xD0\x96`", "\xD0\x96`", "\xD0\x96`", "?{}`"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(textkit::terminal(c.name), c.terminal) << c.name;
    EXPECT_EQ(textkit::csv_field(c.name), c.csv) << c.name;
    EXPECT_EQ(textkit::xml_escape(c.name), c.xml) << c.name;
    EXPECT_EQ(textkit::tex_escape(c.name), c.tex) << c.name;
  }
  EXPECT_EQ(textkit::quoted_bytes("ab\\\xC3\xA9\x1b", 24), "'ab\\x5C\\xC3\\xA9\\x1B'");
  EXPECT_EQ(textkit::quoted_bytes("abcdef", 3), "'abc...'");
}

// Valid UTF-8 as the documents require it: well-formed sequences only.
bool valid_utf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    std::uint32_t code = 0;
    const std::size_t length = textkit::utf8_sequence(s, i, code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

TEST(Text, RandomBytesGiveSafeOutputsInEveryFormat) {
  std::mt19937_64 random(17);
  // Bytes drawn mostly from the troublesome ones.
  static const char k_pool[] =
      "\x00\x1b\x7f\x80\x85\x9b\xc2\xe2\x80\xae\xa6\x81\xff-`'!?,\"\\{<&aZ";
  const std::string pool(k_pool, sizeof k_pool - 1);
  for (int round = 0; round < 20000; ++round) {
    std::string name(random() % 12, ' ');
    for (char& c : name) c = pool[random() % pool.size()];
    const std::string shown = textkit::terminal(name);
    for (std::size_t i = 0; i < shown.size();) {
      std::uint32_t code = 0;
      const std::size_t length = textkit::utf8_sequence(shown, i, code);
      ASSERT_NE(length, 0u) << name;
      ASSERT_FALSE(textkit::is_control(code) || textkit::is_direction_control(code)) << name;
      i += length;
    }
    const std::string csv = textkit::csv_field(name);
    ASSERT_TRUE(valid_utf8(csv)) << name;
    ASSERT_EQ(csv.find_first_of("\r\n"), std::string::npos) << name;
    ASSERT_TRUE(valid_utf8(textkit::xml_escape(name))) << name;
    const std::string tex = textkit::tex_escape(name);
    for (const char* ligature : {"--", "``", "''", "!`", "?`"}) {
      ASSERT_EQ(tex.find(ligature), std::string::npos) << name;
    }
    for (const char c : tex) ASSERT_TRUE(c >= 0x20 && c < 0x7f) << name;  // no Latin-1 drawn here
  }
}

TEST(Text, NumbersForPeopleAndForMachines) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(textkit::figure(nan, 4), "not defined");
  EXPECT_EQ(textkit::figure(-nan, 2), "not defined");
  EXPECT_EQ(textkit::figure(12.125, 2), "12.13");  // half away from zero, as P.PRO rounds
  EXPECT_EQ(textkit::shortest(-nan), "nan");
  EXPECT_EQ(textkit::bound_text(0.5), "0.5");
  EXPECT_EQ(textkit::bound_text(2.0), "2.0");
}

}  // namespace

// Columns are as wide as their widest cell in characters, so a name in
// UTF-8 lines up with ASCII ones (a byte count would pad it short).
TEST(Text, AlignedColumnsCountCharacters) {
  const std::vector<std::vector<std::string>> rows = {
      {"#", "method", "value"}, {"1", "caf\xC3\xA9", "0.5"}, {"12", "x", "10.25"}};
  const auto left = [](std::size_t, std::size_t c) { return c == 1; };
  EXPECT_EQ(textkit::aligned_columns(rows, left),
            " #  method  value\n"
            " 1  caf\xC3\xA9      0.5\n"
            "12  x       10.25\n");
}
