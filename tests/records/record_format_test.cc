// The record engine: field rendering and parsing with exact bytes, and whole
// statements over internal texts and over files.
#include "records/record_format.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/fields.h"
#include "records/units.h"
#include "test_support.h"

namespace {

using records::BlankMode;
using records::EndOfFile;
using records::IntegerTarget;
using records::OpenStatus;
namespace formats = records::formats;

constexpr double k_inf = std::numeric_limits<double>::infinity();
constexpr double k_nan = std::numeric_limits<double>::quiet_NaN();

std::string fixed(double value, int width, int decimals) {
  std::string out(static_cast<std::size_t>(width), '?');
  records::render_fixed(value, width, decimals, out.data());
  return out;
}

std::string integer(std::int32_t value, int width) {
  std::string out(static_cast<std::size_t>(width), '?');
  records::render_integer(value, width, out.data());
  return out;
}

struct FixedCase {
  double value;
  int width;
  int decimals;
  const char* expected;
};

TEST(RenderFixed, FieldExamples) {
  const FixedCase cases[] = {
      {0.5, 8, 5, " 0.50000"},
      {-0.5, 8, 5, "-0.50000"},
      {12.5, 8, 5, "12.50000"},
      {-12.5, 8, 5, "********"},
      {9.999996, 8, 5, "10.00000"},
      {99.999996, 8, 5, "********"},
      {-0.000001, 8, 5, " 0.00000"},
      {-0.0, 8, 5, " 0.00000"},
      {0.000006, 8, 5, " 0.00001"},
      {0.5, 7, 5, "0.50000"},
      {-0.5, 7, 5, "-.50000"},
      {0.5, 6, 5, ".50000"},
      {0.5, 5, 5, "*****"},
      {0.03125, 10, 4, "    0.0313"},
      {1.0 / 3.0, 10, 4, "    0.3333"},
      {2.0 / 3.0, 10, 4, "    0.6667"},
      {123.0, 10, 4, "  123.0000"},
      {0.0, 10, 4, "    0.0000"},
      {1.0, 10, 4, "    1.0000"},
      {-2.0, 10, 4, "   -2.0000"},
      {99999.99996, 10, 4, "**********"},
      {-9999.9999, 10, 4, "-9999.9999"},
      {1e300, 10, 4, "**********"},
      {-1e300, 10, 4, "**********"},
      {std::numeric_limits<double>::max(), 8, 5, "********"},
      {1.0, 3, 5, "***"},
      {7.0, 2, 0, "7."},
      {0.0, 2, 0, "0."},
      {0.0, 1, 0, "."},
      {-0.4, 2, 0, "0."},
  };
  for (const FixedCase& c : cases) {
    EXPECT_EQ(fixed(c.value, c.width, c.decimals), c.expected)
        << c.value << " F" << c.width << "." << c.decimals;
  }
}

TEST(RenderFixed, RoundsTheExactBinaryValueHalfAwayFromZero) {
  const FixedCase cases[] = {
      // Exactly halfway: away from zero, not to even.
      {0.03125, 10, 4, "    0.0313"},
      {-0.03125, 10, 4, "   -0.0313"},
      {0.5, 3, 0, " 1."},
      {2.5, 3, 0, " 3."},
      {-2.5, 4, 0, " -3."},
      {1.25, 4, 1, " 1.3"},
      {0.125, 5, 2, " 0.13"},
      {-0.375, 5, 2, "-0.38"},
      {0.5, 2, 0, "1."},
      // Shortest decimal form looks like a tie; the binary value is below it.
      {1.005, 5, 2, " 1.00"},
      {2.675, 5, 2, " 2.67"},
      {1.115, 5, 2, " 1.11"},
      {0.15, 4, 1, " 0.1"},
      {0.35, 4, 1, " 0.3"},
      // ... or above it.
      {0.45, 4, 1, " 0.5"},
      {0.0001 * 5, 6, 3, " 0.001"},
      {0.00005, 8, 4, "  0.0001"},
      // Just below a tie whose digits at one more place already read as a tie.
      {std::nextafter(0.00005, 0.0), 8, 4, "  0.0000"},
      {-std::nextafter(0.00005, 0.0), 8, 4, "  0.0000"},
      // Carries through every digit.
      {0.99995, 7, 4, " 1.0000"},
      {9.99995, 7, 4, "10.0000"},
      {999.5, 5, 0, "1000."},
      {9999.5, 5, 0, "*****"},
  };
  for (const FixedCase& c : cases) {
    EXPECT_EQ(fixed(c.value, c.width, c.decimals), c.expected)
        << c.value << " F" << c.width << "." << c.decimals;
  }
}

TEST(RenderFixed, LargeAndTinyValuesAreExact) {
  EXPECT_EQ(fixed(1e23, 26, 1), " 99999999999999991611392.0");
  EXPECT_EQ(fixed(0x1p70, 25, 2), "1180591620717411303424.00");
  EXPECT_EQ(fixed(0x1p70, 24, 2), "************************");
  EXPECT_EQ(fixed(0.1, 60, 55), "   0.1000000000000000055511151231257827021181583404541015625");
  const std::string max = fixed(std::numeric_limits<double>::max(), 320, 1);
  EXPECT_EQ(max.substr(0, 9), "         ");
  EXPECT_EQ(max.substr(9, 20), "17976931348623157081");
  EXPECT_EQ(max.substr(max.size() - 6), "8368.0");

  // The smallest subnormal has 1074 fraction digits, ending in ...625; more
  // decimals are zeros.
  const std::string tiny = fixed(std::numeric_limits<double>::denorm_min(), 1090, 1080);
  EXPECT_EQ(tiny.substr(0, 12), "        0.00");
  EXPECT_EQ(tiny.substr(10 + 323, 10), "4940656458");
  EXPECT_EQ(tiny.substr(tiny.size() - 12), "265625000000");
  EXPECT_EQ(fixed(std::numeric_limits<double>::denorm_min(), 10, 4), "    0.0000");
  EXPECT_EQ(fixed(-std::numeric_limits<double>::denorm_min(), 10, 4), "    0.0000");
}

TEST(RenderFixed, NotFiniteValuesAsWordsFromTheSecondColumn) {
  EXPECT_EQ(fixed(k_nan, 10, 4), " NaN      ");
  EXPECT_EQ(fixed(-k_nan, 10, 4), " NaN      ");
  EXPECT_EQ(fixed(k_inf, 10, 4), " Infinity ");
  EXPECT_EQ(fixed(-k_inf, 10, 4), " -Infinity");
  EXPECT_EQ(fixed(k_nan, 4, 1), " NaN");
  EXPECT_EQ(fixed(k_inf, 9, 2), " Infinity");
  // Too narrow for the word: asterisks.
  EXPECT_EQ(fixed(k_nan, 3, 1), "***");
  EXPECT_EQ(fixed(k_inf, 8, 5), "********");
  EXPECT_EQ(fixed(-k_inf, 9, 5), "*********");
  EXPECT_EQ(fixed(k_nan, 8, 5), " NaN    ");
}

TEST(RenderInteger, DigitsSignAndAsterisks) {
  struct Case {
    std::int32_t value;
    int width;
    const char* expected;
  };
  const Case cases[] = {
      {0, 3, "  0"},
      {12, 3, " 12"},
      {-5, 3, " -5"},
      {-99, 3, "-99"},
      {-100, 3, "***"},
      {1000, 3, "***"},
      {999, 3, "999"},
      {std::numeric_limits<std::int32_t>::min(), 10, "**********"},
      {std::numeric_limits<std::int32_t>::min(), 11, "-2147483648"},
      {std::numeric_limits<std::int32_t>::max(), 10, "2147483647"},
      {200, 10, "       200"},
      {0, 1, "0"},
      {-1, 1, "*"},
  };
  for (const Case& c : cases) EXPECT_EQ(integer(c.value, c.width), c.expected) << c.value;
}

TEST(TextFields, RenderAndParse) {
  char out[8];
  records::render_text("abc", 3, 6, out);
  EXPECT_EQ(std::string(out, 6), "   abc");
  records::render_text("abcdef", 6, 4, out);
  EXPECT_EQ(std::string(out, 4), "abcd");
  records::render_text("ab ", 3, 3, out);
  EXPECT_EQ(std::string(out, 3), "ab ");

  char target[6];
  records::parse_text("abc", 3, target, 6);
  EXPECT_EQ(std::string(target, 6), "abc   ");
  records::parse_text("abcdef", 6, target, 2);
  EXPECT_EQ(std::string(target, 2), "ef");
  records::parse_text("xy", 2, target, 2);
  EXPECT_EQ(std::string(target, 2), "xy");
}

TEST(ParseInteger, AcceptedAndRejectedForms) {
  struct Case {
    const char* field;
    IntegerTarget target;
    bool ok;
    std::int32_t value;
  };
  const Case cases[] = {
      {"        12", IntegerTarget::int32, true, 12},
      {"   1 2    ", IntegerTarget::int32, true, 12},
      {"  -  7    ", IntegerTarget::int32, true, -7},
      {"+3", IntegerTarget::int32, true, 3},
      {"          ", IntegerTarget::int32, true, 0},
      {"", IntegerTarget::int32, true, 0},
      {"    -     ", IntegerTarget::int32, true, 0},
      {"+", IntegerTarget::int32, true, 0},
      {"0000000042", IntegerTarget::int32, true, 42},
      {"2147483647", IntegerTarget::int32, true, 2147483647},
      {"-2147483648", IntegerTarget::int32, true, std::numeric_limits<std::int32_t>::min()},
      {"000000000000002147483647", IntegerTarget::int32, true, 2147483647},
      {"2147483648", IntegerTarget::int32, false, 0},
      {"-2147483649", IntegerTarget::int32, false, 0},
      {"99999999999999999999", IntegerTarget::int32, false, 0},
      {"999", IntegerTarget::int16, true, 999},
      {"   ", IntegerTarget::int16, true, 0},
      {"32767", IntegerTarget::int16, true, 32767},
      {"-32768", IntegerTarget::int16, true, -32768},
      {"32768", IntegerTarget::int16, false, 0},
      {"-32769", IntegerTarget::int16, false, 0},
      {"12a", IntegerTarget::int32, false, 0},
      {"a12", IntegerTarget::int32, false, 0},
      {"--1", IntegerTarget::int32, false, 0},
      {"1-", IntegerTarget::int32, false, 0},
      {"+-1", IntegerTarget::int32, false, 0},
      {"1.0", IntegerTarget::int32, false, 0},
      {"\t1", IntegerTarget::int32, false, 0},
      {"1\t", IntegerTarget::int32, false, 0},
      {"1,2", IntegerTarget::int32, false, 0},
      {"***", IntegerTarget::int32, false, 0},
      {"1e3", IntegerTarget::int32, false, 0},
  };
  for (const Case& c : cases) {
    std::int32_t value = -77;
    EXPECT_EQ(records::parse_integer(c.field, BlankMode::null, c.target, value), c.ok)
        << '"' << c.field << '"';
    EXPECT_EQ(value, c.ok ? c.value : -77) << '"' << c.field << '"';
  }
  // Blanks as zeros, the mode the tool does not use.
  std::int32_t value = 0;
  ASSERT_TRUE(records::parse_integer(" 1 2 ", BlankMode::zero, IntegerTarget::int32, value));
  EXPECT_EQ(value, 1020);
}

struct RealCase {
  const char* field;
  int decimals;
  bool ok;
  double value;
};

void expect_real_cases(const std::vector<RealCase>& cases) {
  for (const RealCase& c : cases) {
    double value = -77.0;
    EXPECT_EQ(records::parse_real(c.field, c.decimals, BlankMode::null, value), c.ok)
        << '"' << c.field << "\" d=" << c.decimals;
    if (!c.ok) {
      EXPECT_EQ(value, -77.0) << '"' << c.field << '"';
    } else if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(value)) << '"' << c.field << '"';
    } else {
      EXPECT_EQ(value, c.value) << '"' << c.field << '"';
      EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << '"' << c.field << '"';
    }
  }
}

TEST(ParseReal, BoundAndReportFields) {
  expect_real_cases({
      {"2.0D0     ", 3, true, 2.0},
      {"3         ", 3, true, 0.003},
      {"1 5       ", 3, true, 0.015},
      {"-2        ", 3, true, -0.002},
      {"          ", 3, true, 0.0},
      {"1.5-3     ", 3, true, 0.0015},
      {"abc       ", 3, false, 0},
      {"    0.5000", 4, true, 0.5},
      {"      5000", 4, true, 0.5},
      {" -Infinity", 4, true, -k_inf},
      {" Infinity ", 4, false, 0},
      {" NaN      ", 4, false, 0},
      {"**********", 4, false, 0},
      {"    0.0313", 4, true, 0.0313},
      {"  123.0000", 4, true, 123.0},
      {"   -2.0000", 4, true, -2.0},
  });
}

TEST(ParseReal, SignsPointsAndBlanks) {
  expect_real_cases({
      {"+1.5", 0, true, 1.5},
      {"-1.5", 0, true, -1.5},
      {"  1 . 2 5 ", 0, true, 1.25},
      {"\t\n\v\f\r 1.5", 0, true, 1.5},
      {" \t-1.5", 0, true, -1.5},
      {"1\t5", 0, false, 0},
      {"1.5\t", 0, false, 0},
      {"-0.0", 0, true, -0.0},
      {"-", 3, true, 0.0},
      {".", 3, true, 0.0},
      {"+.", 3, true, 0.0},
      {"", 3, true, 0.0},
      {".5", 3, true, 0.5},
      {"5.", 3, true, 5.0},
      {"12345", 2, true, 123.45},
      {"12345", 0, true, 12345.0},
      {"12345.", 2, true, 12345.0},
      {"1.2.3", 0, false, 0},
      {"--1", 0, true, 0.0},  // a sign, no mantissa, exponent -1
      {"1,5", 0, false, 0},
      {"1x", 0, false, 0},
      {"x1", 0, false, 0},
      {"1 2 3 4 5 6 7 8 9", 0, true, 123456789.0},
      {"0000000000000000000000000000001", 0, true, 1.0},
  });
}

TEST(ParseReal, Exponents) {
  expect_real_cases({
      {"1.5E3", 0, true, 1500.0},
      {"1.5e3", 0, true, 1500.0},
      {"1.5D3", 0, true, 1500.0},
      {"1.5d-3", 0, true, 0.0015},
      {"1.5Q+3", 0, true, 1500.0},
      {"1.5q3", 0, true, 1500.0},
      {"1.5+3", 0, true, 1500.0},
      {"1.5-3", 0, true, 0.0015},
      {"15-3", 1, true, 0.0015},  // implied decimal point with an exponent
      {"1.5E 3", 0, true, 1500.0},
      {"1.5E - 3", 0, true, 0.0015},
      {"1.5E", 0, true, 1.5},
      {"1.5E+", 0, true, 1.5},
      {"1.5-", 0, true, 1.5},
      {"1.5E3 ", 0, true, 1500.0},
      {"1.5E3.", 0, false, 0},
      {"1.5E3-", 0, false, 0},
      {"1.5E+-3", 0, false, 0},
      {"1.5EE3", 0, false, 0},
      {"1.5+3+3", 0, false, 0},
      {"1.5E3x", 0, false, 0},
      {"E5", 0, true, 0.0},
      {"1E0000000000005", 0, true, 1e5},
      {"1E9999", 0, false, 0},   // beyond the range of doubles
      {"1E12345", 0, false, 0},  // more than four exponent digits
      {"0E12345", 0, false, 0},
      {"1E-9999", 0, true, 0.0},  // below the smallest subnormal
      {"-1E-9999", 0, true, -0.0},
      {"1E-12345", 0, true, 0.0},  // more than four exponent digits, negative
      {"1.7976931348623157E308", 0, true, std::numeric_limits<double>::max()},
      {"1.8E308", 0, false, 0},
      {"-1.8E308", 0, false, 0},
      {"4.9406564584124654E-324", 0, true, std::numeric_limits<double>::denorm_min()},
      {"2.4703282292062328E-324", 0, true, std::numeric_limits<double>::denorm_min()},
      {"2.4703282292062327E-324", 0, true, 0.0},
      {"2.2250738585072014E-308", 0, true, std::numeric_limits<double>::min()},
      {"0.0001E312", 0, true, 1e308},
      {"100000E-313", 0, true, 1e-308},
  });
}

TEST(ParseReal, InfinityAndNaNWords) {
  expect_real_cases({
      {"Infinity", 0, true, k_inf},
      {"+Infinity", 0, true, k_inf},
      {"-infinity", 0, true, -k_inf},
      {"  INFINITY", 0, true, k_inf},
      {"\tinFINity", 0, true, k_inf},
      {"NaN", 0, true, k_nan},
      {"   nan", 0, true, k_nan},
      {"NAN", 0, true, k_nan},
      {"Infinity ", 0, false, 0},
      {"NaN ", 0, false, 0},
      {"+NaN", 0, false, 0},
      {"-NaN", 0, false, 0},
      {"Inf", 0, false, 0},
      {"Infinit", 0, false, 0},
      {"Infinityx", 0, false, 0},
      {"- Infinity", 0, false, 0},
      {"1Infinity", 0, false, 0},
      {"NaN1", 0, false, 0},
  });
}

// Around the edges of the short conversion (15 significant digits, powers of
// ten 10^-22 .. 10^22) and beyond them, every value is the nearest double,
// as the C library's strtod finds it.
TEST(ParseReal, ShortAndLongConversionsMeetExactly) {
  const std::string texts[] = {
      "0.3",
      "123456789012345",
      "1234567890123456",
      "999999999999999e22",
      "999999999999999e23",
      "1e22",
      "1e23",
      "123456789012345e-22",
      "123456789012345e-23",
      "0.0000000000000000000001",
      "0.00000000000000000000001",
      "4.35",
      "2.675",
      "8.5e-21",
      "0.1234",
      "9007199254740993e-5",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    double value = -1.0;
    ASSERT_TRUE(records::parse_real(text, 0, BlankMode::null, value));
    EXPECT_EQ(value, std::strtod(text.c_str(), nullptr));
    ASSERT_TRUE(records::parse_real("-" + text, 0, BlankMode::null, value));
    EXPECT_EQ(value, -std::strtod(text.c_str(), nullptr));
  }
  // Implied decimals count in the power of ten: 12345 with d = 25 is 1.2345e-21.
  double value = 0.0;
  ASSERT_TRUE(records::parse_real("12345", 25, BlankMode::null, value));
  EXPECT_EQ(value, 1.2345e-21);
}

// The plain conversion of a real field: a field of 8 to 16 columns whose
// last eight hold its digits and point is converted as one word, any other
// plain shape digit by digit, and anything else is left to the general
// conversion (false). The value is the nearest double either way.
TEST(ParseReal, PlainFieldsAsOneWordAndDigitByDigit) {
  struct Case {
    std::string_view text;
    int decimals;
    bool taken;
    double value;
  };
  const Case cases[] = {
      {"    0.5234", 4, true, 0.5234},
      {"    1.0000", 4, true, 1.0},
      {" 0.50000", 5, true, 0.5},
      {"12.50000", 5, true, 12.5},
      {"  12345678", 4, true, 1234.5678},  // no point: the implied decimals
      {"  1234567.", 4, true, 1234567.0},
      {"  .1234567", 4, true, 0.1234567},
      {"        1.234567", 2, true, 1.234567},
      {"       7", 0, true, 7.0},
      {"1234567.8", 4, true, 1234567.8},          // a digit ahead of the last eight
      {"0000000.00000001", 0, true, 0.00000001},  // digit by digit
      {"  -1.2345", 4, true, -1.2345},
      {"  +0.2500", 4, true, 0.25},
      {"  12.34.5", 4, false, 0},
      {"  1 2.345", 4, false, 0},
      {"  12.3 45", 4, false, 0},
      {"       .", 4, false, 0},
      {"          ", 4, false, 0},
      {"    0,5000", 4, false, 0},
      {"   1.5E+0", 4, false, 0},
      {"1234567890123456", 0, false, 0},  // more than 15 significant digits
      {"  Infinity", 4, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    double value = -99.0;
    EXPECT_EQ(records::detail::parse_plain_real(c.text, c.decimals, value), c.taken);
    EXPECT_EQ(value, c.taken ? c.value : -99.0);
  }
}

TEST(ParseReal, LongDigitStringsAreNearestAndSafe) {
  // 2^53 + 1 is halfway between two doubles; the nearest is even, and any
  // non-zero digit far behind decides it upwards.
  expect_real_cases({
      {"9007199254740993", 0, true, 9007199254740992.0},
      {"9007199254740993.000000000000000000000000000000000000000000000000000001", 0, true,
       9007199254740994.0},
      {"0.1000000000000000055511151231257827021181583404541015625", 0, true, 0.1},
  });
  // 900 digits with the deciding digit beyond the kept ones.
  std::string tie = "9007199254740993." + std::string(900, '0');
  double value = 0.0;
  ASSERT_TRUE(records::parse_real(tie, 0, BlankMode::null, value));
  EXPECT_EQ(value, 9007199254740992.0);
  tie += "1";
  ASSERT_TRUE(records::parse_real(tie, 0, BlankMode::null, value));
  EXPECT_EQ(value, 9007199254740994.0);

  std::string many(5000, '9');
  EXPECT_FALSE(records::parse_real(many, 0, BlankMode::null, value));
  ASSERT_TRUE(records::parse_real(many, 4990, BlankMode::null, value));
  EXPECT_EQ(value, 1e10);
  ASSERT_TRUE(records::parse_real("." + std::string(5000, '0') + "1", 0, BlankMode::null, value));
  EXPECT_EQ(value, 0.0);
  ASSERT_TRUE(records::parse_real(std::string(5000, '0') + "25", 1, BlankMode::null, value));
  EXPECT_EQ(value, 2.5);
  ASSERT_TRUE(records::parse_real("1", std::numeric_limits<int>::max(), BlankMode::null, value));
  EXPECT_EQ(value, 0.0);
  EXPECT_FALSE(records::parse_real("1", std::numeric_limits<int>::min(), BlankMode::null, value));
}

TEST(RenderAndParse, ReportFieldsReadBack) {
  // Every value the report can show in F10.4 reads back to its rounded value.
  const double values[] = {0.0, 0.05, 0.5, 0.95, 1.0, 1.0 / 3.0, 123.456789, -0.03125, 4.0};
  for (double v : values) {
    const std::string text = fixed(v, 10, 4);
    double back = -1.0;
    ASSERT_TRUE(records::parse_real(text, 4, BlankMode::null, back)) << text;
    EXPECT_EQ(fixed(back, 10, 4), text);
    EXPECT_NEAR(back, v, 0.0000501);
  }
}

// ---------------------------------------------------------------------------
// Statements on internal texts.

TEST(InternalStatements, WriteFillsTheTextAndBlanksTheRest) {
  char text[80];
  std::memset(text, 'x', sizeof text);
  const double one = 0.25;
  records::write_internal(text, 80, formats::k_value_line, {records::out_reals(&one, 1)});
  EXPECT_EQ(std::string(text, 80), " 0.25000" + std::string(72, ' '));

  const double ten[10] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 12.5};
  records::write_internal(text, 80, formats::k_value_line, {records::out_reals(ten, 10)});
  EXPECT_EQ(std::string(text, 80),
            " 0.00000 0.10000 0.20000 0.30000 0.40000 0.50000 0.60000 0.70000 0.8000012.50000");

  // Literals and X: columns passed over stay blank.
  static constexpr records::EditDescriptor mixed[] = {records::lit("ab"), records::X(3),
                                                      records::I(3), records::X(2)};
  char small[12];
  records::write_internal(small, 12, records::RecordFormat{mixed}, {records::out_integer(-7)});
  EXPECT_EQ(std::string(small, 12), "ab    -7    ");

  // No items: the literals before the first data descriptor still appear.
  records::write_internal(small, 12, records::RecordFormat{mixed}, {});
  EXPECT_EQ(std::string(small, 12), "ab          ");
}

TEST(InternalStatements, WriteOverflowStops) {
  char text[5];
  const double value = 1.0;
  EXPECT_EXIT(records::write_internal(text, 5, formats::k_value_line, {records::out_real(value)}),
              testing::ExitedWithCode(66),
              "rtdiag: severe \\(66\\): output statement overflows record, unit -5, file "
              "Internal Formatted Write");
  // Eleven values need a second record the text does not have.
  char line[80];
  const double eleven[11] = {};
  EXPECT_EXIT(
      records::write_internal(line, 80, formats::k_value_line, {records::out_reals(eleven, 11)}),
      testing::ExitedWithCode(66),
      "rtdiag: severe \\(66\\).*unit -5, file Internal Formatted Write");
}

TEST(InternalStatements, ReadFieldsCommasAndShortRecords) {
  double bound = 0.0;
  records::read_internal("2.0D0     ", 10, formats::k_bound_text, {records::in_real(bound)});
  EXPECT_EQ(bound, 2.0);
  records::read_internal("3", 1, formats::k_bound_text, {records::in_real(bound)});
  EXPECT_EQ(bound, 0.003);

  // A comma ends an I field and the next field starts after it.
  static constexpr records::EditDescriptor two_integers[] = {records::I(10, 2)};
  std::int32_t pair[2] = {-1, -1};
  records::read_internal("    12,345", 10, records::RecordFormat{two_integers},
                         {records::in_integers(pair, 2)});
  EXPECT_EQ(pair[0], 12);
  EXPECT_EQ(pair[1], 345);
  records::read_internal(",,7", 3, records::RecordFormat{two_integers},
                         {records::in_integers(pair, 2)});
  EXPECT_EQ(pair[0], 0);
  EXPECT_EQ(pair[1], 0);

  // Infinity ended by a comma ends at the field's last character.
  static constexpr records::EditDescriptor two_reals[] = {records::F(10, 4, 2)};
  double reals[2] = {};
  records::read_internal("-Infinity,1", 11, records::RecordFormat{two_reals},
                         {records::in_reals(reals, 2)});
  EXPECT_EQ(reals[0], -k_inf);
  EXPECT_EQ(reals[1], 0.0001);

  // A fields take commas as data.
  static constexpr records::EditDescriptor text_then_integer[] = {records::Aw(3), records::I(2)};
  char text[3];
  std::int32_t number = 0;
  records::read_internal("a,b12", 5, records::RecordFormat{text_then_integer},
                         {records::in_text(text, 3), records::in_integer(number)});
  EXPECT_EQ(std::string(text, 3), "a,b");
  EXPECT_EQ(number, 12);

  // Short records read as blanks.
  const std::string twenty = "123456789012345abcde";
  char name[14];
  records::read_internal(twenty.data(), 20, formats::k_method_name, {records::in_text(name, 14)});
  EXPECT_EQ(std::string(name, 14), "abcde         ");
  std::int16_t count = -1;
  records::read_internal(twenty.data(), 20, formats::k_method_count, {records::in_short(count)});
  EXPECT_EQ(count, 0);
  char one = 'x';
  records::read_internal("", 0, formats::k_one_character, {records::in_text(&one, 1)});
  EXPECT_EQ(one, ' ');
  // A padded Infinity no longer ends at the field's last column.
  EXPECT_EXIT(
      records::read_internal(" Infinity", 9, formats::k_bound_text, {records::in_real(bound)}),
      testing::ExitedWithCode(64), "rtdiag: severe \\(64\\)");
}

TEST(InternalStatements, ReadFailuresStop) {
  double bound = 0.0;
  EXPECT_EXIT(
      records::read_internal("abc       ", 10, formats::k_bound_text, {records::in_real(bound)}),
      testing::ExitedWithCode(64),
      "rtdiag: severe \\(64\\): input conversion error, unit -5, file Internal Formatted "
      "Read");
  static constexpr records::EditDescriptor wide_integer[] = {records::I(10)};
  std::int16_t count = 0;
  EXPECT_EXIT(records::read_internal("     40000", 10, records::RecordFormat{wide_integer},
                                     {records::in_short(count)}),
              testing::ExitedWithCode(64), "rtdiag: severe \\(64\\)");
  // Items left for a second record: the text has only one.
  double values[11];
  EXPECT_EXIT(
      records::read_internal("1", 1, formats::k_value_line, {records::in_reals(values, 11)}),
      testing::ExitedWithCode(24),
      "rtdiag: severe \\(24\\): end-of-file during read, unit -5, file Internal "
      "Formatted Read");
  // A target that does not suit its descriptor is a conversion error.
  char text[4];
  EXPECT_EXIT(records::read_internal("12", 2, formats::k_bound_text, {records::in_text(text, 4)}),
              testing::ExitedWithCode(64), "rtdiag: severe \\(64\\)");
}

// ---------------------------------------------------------------------------
// Statements on files.

class FileStatements : public testing::Test {
 protected:
  FileStatements() : m_chdir(m_dir.path()) {}
  ~FileStatements() override { records::close_all_units(); }

  static void open(int unit, const char* name) {
    records::open_unit(unit, name, OpenStatus::unknown, BlankMode::null);
  }

  test_support::TempDir m_dir;
  test_support::ScopedChdir m_chdir;
};

TEST_F(FileStatements, ReversionWritesAndReadsSeveralRecords) {
  double values[21];
  for (int k = 0; k < 21; ++k) values[k] = k * 0.05;
  open(8, "P.PRO");
  records::write_formatted(8, formats::k_profile_values, {records::out_reals(values, 21)});
  records::write_formatted(8, formats::k_one_character, {records::out_text(" ")});
  records::write_formatted(8, formats::k_texts_2, {records::out_text(""), records::out_text("")});
  records::close_unit(8);
  const std::string bytes = test_support::read_file(m_dir.file("P.PRO"));
  EXPECT_EQ(bytes,
            "    0.0000    0.0500    0.1000    0.1500    0.2000    0.2500    0.3000    0.3500\r\n"
            "    0.4000    0.4500    0.5000    0.5500    0.6000    0.6500    0.7000    0.7500\r\n"
            "    0.8000    0.8500    0.9000    0.9500    1.0000\r\n"
            " \r\n"
            "\r\n");

  test_support::write_file(m_dir.file("P.PRO"),
                           bytes.substr(0, bytes.size() - 7) + "tail after column 50\r\nnext\r\n");
  open(8, "P.PRO");
  double back[21] = {};
  EXPECT_EQ(records::read_formatted(8, formats::k_profile_values, {records::in_reals(back, 21)},
                                    EndOfFile::stop),
            0);
  for (int k = 0; k < 21; ++k) EXPECT_EQ(fixed(back[k], 10, 4), fixed(values[k], 10, 4));
  char four[4];
  EXPECT_EQ(
      records::read_formatted(8, formats::k_texts_1, {records::in_text(four, 4)}, EndOfFile::stop),
      0);
  EXPECT_EQ(std::string(four, 4), "next");
}

TEST_F(FileStatements, HeaderAndMethodRecordsHaveExactBytes) {
  open(8, "P.PRO");
  records::write_formatted(
      8, formats::k_report_header,
      {records::out_text("PERFORMANCE PROFILES:"), records::out_text("NFV "),
       records::out_real(2.0), records::out_real(0.1), records::out_integer(4)});
  records::write_formatted(
      8, formats::k_method_record,
      {records::out_text("METHOD"), records::out_integer(1), records::out_text("BFGS          "),
       records::out_text("MEAN VALUE ="), records::out_real(0.03125),
       records::out_text("EFFICIENCY ="), records::out_real(-k_inf)});
  records::close_unit(8);
  EXPECT_EQ(test_support::read_file(m_dir.file("P.PRO")),
            "PERFORMANCE PROFILES:   NFV    BOUND =    2.0000   STEP =    0.1000   NMETH =  4\r\n"
            "METHOD     1   BFGS             MEAN VALUE =    0.0313   EFFICIENCY = -Infinity\r\n");

  // Read back the way the plot script does.
  open(8, "P.PRO");
  std::int16_t count = 0;
  EXPECT_EQ(records::read_formatted(8, formats::k_method_count, {records::in_short(count)},
                                    EndOfFile::stop),
            0);
  EXPECT_EQ(count, 4);
  char name[14];
  EXPECT_EQ(records::read_formatted(8, formats::k_method_name, {records::in_text(name, 14)},
                                    EndOfFile::branch),
            0);
  EXPECT_EQ(std::string(name, 14), "BFGS          ");
  EXPECT_EQ(records::read_formatted(8, formats::k_method_name, {records::in_text(name, 14)},
                                    EndOfFile::branch),
            -1);
  EXPECT_EQ(std::string(name, 14), "BFGS          ");
}

TEST_F(FileStatements, EndOfFileBranchKeepsFilledTargets) {
  test_support::write_file(m_dir.file("P.PER"), "    0.5000    0.2500\r\n");
  open(7, "P.PER");
  double values[21];
  for (double& v : values) v = -1.0;
  EXPECT_EQ(records::read_formatted(7, formats::k_profile_values, {records::in_reals(values, 21)},
                                    EndOfFile::branch),
            -1);
  EXPECT_EQ(values[0], 0.5);
  EXPECT_EQ(values[1], 0.25);
  for (int k = 2; k < 8; ++k) EXPECT_EQ(values[k], 0.0) << k;  // blanks of the padded record
  for (int k = 8; k < 21; ++k) EXPECT_EQ(values[k], -1.0) << k;
  // The end stays met.
  char one;
  EXPECT_EQ(records::read_formatted(7, formats::k_one_character, {records::in_text(&one, 1)},
                                    EndOfFile::branch),
            -1);
}

TEST_F(FileStatements, ResultsRecordsAndFailures) {
  test_support::write_file(m_dir.file("P.PER"),
                           "P1      METHOD-A          12,  7,     3\n"
                           "P2      METHOD-B             1.5\n");
  open(7, "P.PER");
  char problem[6];
  char method[14];
  std::int32_t counts[5] = {9, 9, 9, 9, 9};
  const auto read_results = [&](EndOfFile eof) {
    return records::read_formatted(7, formats::k_results_record,
                                   {records::in_text(problem, 6), records::in_text(method, 14),
                                    records::in_integers(counts, 5)},
                                   eof);
  };
  EXPECT_EQ(read_results(EndOfFile::stop), 0);
  EXPECT_EQ(std::string(problem, 6), "P1    ");
  EXPECT_EQ(std::string(method, 14), "METHOD-A      ");
  const std::int32_t expected[5] = {12, 7, 3, 0, 0};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(counts[k], expected[k]) << k;
  // An end-of-file branch does not catch a conversion error.
  EXPECT_EXIT(read_results(EndOfFile::branch), testing::ExitedWithCode(64),
              "rtdiag: severe \\(64\\): input conversion error, unit 7, file .*/P.PER\r\n");
}

TEST_F(FileStatements, EndOfFileWithoutBranchStops) {
  open(7, "P.PER");
  char one;
  EXPECT_EXIT(records::read_formatted(7, formats::k_one_character, {records::in_text(&one, 1)},
                                      EndOfFile::stop),
              testing::ExitedWithCode(24),
              "rtdiag: severe \\(24\\): end-of-file during read, unit 7, file .*/P.PER\r\n");
}

}  // namespace
