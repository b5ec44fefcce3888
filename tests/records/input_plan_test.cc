// Input statements through a format's prepared plan and through the general
// statement loop: each case is read both ways and must give the same exact
// values and failure places. The cases are the boundaries of the plan's fast
// shapes: pad columns, blanks as zeros, signs, commas, short records, repeat
// counts, texts narrower or wider than their fields, wrong targets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "records/fields.h"
#include "records/record_format.h"

namespace {

using records::BlankMode;
using records::EditDescriptor;
using records::FieldFailure;

struct Way {
  const char* name;
  bool plans;
};
constexpr Way k_ways[] = {{"plan", true}, {"loop", false}};

// Reads `record` with `format` into `values` (pre-set to -99) both ways.
struct IntegerCase {
  const char* name;
  std::vector<EditDescriptor> format;
  std::string record;
  BlankMode mode;
  std::vector<std::int32_t> expected;  // the targets after the read
  bool converted;
  FieldFailure failure;  // where the failing field lies, when it fails
};

TEST(InputPlan, IntegerFieldsReadAlikeByPlanAndLoop) {
  const std::vector<IntegerCase> cases = {
      {"plain digits, signs",
       {records::I(5, 3)},
       "   12   -7   +3",
       BlankMode::null,
       {12, -7, 3},
       true,
       {-1, 0}},
      {"short record: pad columns ignored",
       {records::I(5, 3)},
       "   12 4",
       BlankMode::null,
       {12, 4, 0},
       true,
       {-1, 0}},
      {"short record: pad columns count as zeros after a digit",
       {records::I(5, 3)},
       "   12 4",
       BlankMode::zero,
       {12, 4000, 0},
       true,
       {-1, 0}},
      {"inner and trailing blanks, null",
       {records::I(5)},
       "1 2  ",
       BlankMode::null,
       {12},
       true,
       {-1, 0}},
      {"inner and trailing blanks, zero",
       {records::I(5)},
       "1 2  ",
       BlankMode::zero,
       {10200},
       true,
       {-1, 0}},
      {"leading blanks skipped in zero mode",
       {records::I(5)},
       "   5 ",
       BlankMode::zero,
       {50},
       true,
       {-1, 0}},
      {"commas end fields early",
       {records::I(5, 3)},
       "12,34,5",
       BlankMode::null,
       {12, 34, 5},
       true,
       {-1, 0}},
      {"a lone sign is zero",
       {records::I(5, 2)},
       "   -0    -",
       BlankMode::null,
       {0, 0},
       true,
       {-1, 0}},
      {"two signs fail",
       {records::I(5, 2)},
       "    1   +-",
       BlankMode::null,
       {1, -99},
       false,
       {5, 5}},
      {"nine digits", {records::I(10)}, " 123456789", BlankMode::null, {123456789}, true, {-1, 0}},
      {"eight digits, the whole fast shape",
       {records::I(8)},
       "87654321",
       BlankMode::null,
       {87654321},
       true,
       {-1, 0}},
      {"largest and one beyond",
       {records::I(11, 2)},
       "-2147483648 2147483648",
       BlankMode::null,
       {-2147483648, -99},
       false,
       {11, 11}},
      {"field narrower than eight",
       {records::I(3, 2)},
       "  7-12",
       BlankMode::null,
       {7, -12},
       true,
       {-1, 0}},
      {"skips and literals move the column",
       {records::X(3), records::lit("ab"), records::I(4)},
       "abcde  42",
       BlankMode::null,
       {42},
       true,
       {-1, 0}},
      {"letter in a field",
       {records::I(4, 2)},
       "  12 1x3",
       BlankMode::null,
       {12, -99},
       false,
       {4, 4}},
      {"record ends before the field",
       {records::I(4, 2)},
       "  12",
       BlankMode::null,
       {12, 0},
       true,
       {-1, 0}},
      {"repeat counts across items",
       {records::I(2, 4)},
       " 1 2 3 4",
       BlankMode::null,
       {1, 2, 3, 4},
       true,
       {-1, 0}},
      {"zero width", {records::I(0), records::I(3)}, "  5", BlankMode::null, {0, 5}, true, {-1, 0}},
  };
  for (const IntegerCase& c : cases) {
    for (const Way& way : k_ways) {
      SCOPED_TRACE(std::string(c.name) + " / " + way.name);
      std::vector<std::int32_t> values(c.expected.size(), -99);
      records::detail::forget_input_plans();
      records::detail::set_input_plans(way.plans);
      FieldFailure failure;
      const bool converted = records::try_read_record(
          c.record, records::RecordFormat{c.format},
          {records::in_integers(values.data(), static_cast<int>(values.size()))}, c.mode, failure);
      records::detail::set_input_plans(true);
      EXPECT_EQ(converted, c.converted);
      EXPECT_EQ(values, c.expected);
      EXPECT_EQ(failure.column, c.failure.column);
      EXPECT_EQ(failure.width, c.failure.width);
    }
  }
}

TEST(InputPlan, RepeatsSplitOverSeveralItems) {
  const EditDescriptor format[] = {records::I(2, 4)};
  for (const Way& way : k_ways) {
    SCOPED_TRACE(way.name);
    std::int32_t first[2] = {-99, -99};
    std::int32_t second[2] = {-99, -99};
    std::int16_t small = -99;
    records::detail::forget_input_plans();
    records::detail::set_input_plans(way.plans);
    FieldFailure failure;
    EXPECT_TRUE(records::try_read_record(
        " 1 2 3 4", records::RecordFormat{format},
        {records::in_integers(first, 2), records::in_short(small), records::in_integers(second, 1)},
        BlankMode::null, failure));
    records::detail::set_input_plans(true);
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first[1], 2);
    EXPECT_EQ(small, 3);
    EXPECT_EQ(second[0], 4);
    EXPECT_EQ(second[1], -99);
  }
}

struct TextCase {
  const char* name;
  std::vector<EditDescriptor> format;
  std::string record;
  int length;  // of the text target
  std::string expected;
};

TEST(InputPlan, TextFieldsReadAlikeByPlanAndLoop) {
  const std::vector<TextCase> cases = {
      {"as wide as the item", {records::Aw(6)}, "ABCDEF", 6, "ABCDEF"},
      {"item shorter: the field's last columns", {records::Aw(6)}, "ABCDEF", 4, "CDEF"},
      {"item longer: blank-padded", {records::Aw(4)}, "ABCDEF", 6, "ABCD  "},
      {"short record: pad columns are blanks", {records::Aw(6)}, "AB", 6, "AB    "},
      {"short record, item shorter", {records::Aw(6)}, "ABC", 2, "  "},
      {"a comma in a text is text", {records::Aw(4), records::I(3)}, "a,b  7", 4, "a,b "},
      {"A takes its width from the item", {records::A()}, "ABCDEF", 3, "ABC"},
  };
  for (const TextCase& c : cases) {
    for (const Way& way : k_ways) {
      SCOPED_TRACE(std::string(c.name) + " / " + way.name);
      std::string text(static_cast<std::size_t>(c.length), '?');
      std::int32_t after = -99;
      records::detail::forget_input_plans();
      records::detail::set_input_plans(way.plans);
      FieldFailure failure;
      EXPECT_TRUE(records::try_read_record(
          c.record, records::RecordFormat{c.format},
          {records::in_text(text.data(), c.length), records::in_integer(after)}, BlankMode::null,
          failure));
      records::detail::set_input_plans(true);
      EXPECT_EQ(text, c.expected);
    }
  }
}

TEST(InputPlan, TargetThatDoesNotSuitTheFieldFailsAtItsPlace) {
  const EditDescriptor format[] = {records::Aw(2), records::I(5)};
  for (const Way& way : k_ways) {
    SCOPED_TRACE(way.name);
    char text[2] = {'?', '?'};
    char wrong[5] = {'?', '?', '?', '?', '?'};
    records::detail::forget_input_plans();
    records::detail::set_input_plans(way.plans);
    FieldFailure failure;
    EXPECT_FALSE(records::try_read_record("AB   12", records::RecordFormat{format},
                                          {records::in_text(text, 2), records::in_text(wrong, 5)},
                                          BlankMode::null, failure));
    records::detail::set_input_plans(true);
    EXPECT_EQ(std::string_view(text, 2), "AB");
    EXPECT_EQ(std::string_view(wrong, 5), "?????");
    EXPECT_EQ(failure.column, 2);
    EXPECT_EQ(failure.width, 5);
  }
}

TEST(InputPlan, DigitsShapeDeclinesWhatItDoesNotConvert) {
  struct Case {
    std::string_view text;
    bool taken;
    std::int32_t value;
  };
  const Case cases[] = {
      {"      4996", true, 4996},   {"  -4996", true, -4996}, {"+1", true, 1},
      {"99999999", true, 99999999}, {"123456789", false, 0},  {"", false, 0},
      {"     ", false, 0},          {"   -", false, 0},       {" 1 2", false, 0},
      {" 12 ", false, 0},           {"  1x", false, 0},       {"  :1", false, 0},
      {"  /1", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    std::int32_t value = -99;
    EXPECT_EQ(records::detail::parse_integer_digits(c.text, records::IntegerTarget::int32, value),
              c.taken);
    EXPECT_EQ(value, c.taken ? c.value : -99);
  }
  std::int32_t value = -99;
  EXPECT_FALSE(
      records::detail::parse_integer_digits("   32768", records::IntegerTarget::int16, value));
  EXPECT_TRUE(
      records::detail::parse_integer_digits("  -32768", records::IntegerTarget::int16, value));
  EXPECT_EQ(value, -32768);
}

TEST(InputPlan, CountWordTakesOnlyBlanksThenDigits) {
  struct Case {
    std::string_view field;
    bool taken;
    std::int32_t value;
  };
  const Case cases[] = {
      {"      4996", true, 4996},
      {"         1", true, 1},
      {"  99999999", true, 99999999},
      {"0000000042", false, 0},  // digits ahead of the last eight columns
      {"  00000042", true, 42},
      {"        00", true, 0},
      {"12345678", true, 12345678},
      {"        1234567890123", false, 0},  // more than eight digits
      {" 123456789", false, 0},
      {"        -1", false, 0},
      {"        +1", false, 0},
      {"          ", true, 0},
      {"    12 345", false, 0},
      {"      12  ", false, 0},
      {"      1x23", false, 0},
      {"      :123", false, 0},
      {"      /123", false, 0},
      {"      !123", false, 0},
      {"      )123", false, 0},
      {"     ,1234", false, 0},
      {"\t     1234", false, 0},
      {"x     1234", false, 0},
      {"        1\x7f", false, 0},
      {"   12345678", true, 12345678},
      {"              12", true, 12},
      {"7       12345678", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field));
    std::int32_t value = -99;
    const bool taken = c.field.size() >= 8 && c.field.size() <= 16 &&
                       records::detail::parse_count_word(
                           c.field.data(), c.field.size(),
                           records::detail::count_word_lead_mask(c.field.size()), value);
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(value, c.taken ? c.value : -99);
    // Two at a time, beside a count of the usual shape, in either half.
    if (c.field.size() >= 8 && c.field.size() <= 16) {
      const std::string pair = std::string(c.field) + "  12345678";
      const auto width = static_cast<std::int64_t>(c.field.size());
      const std::int64_t heads[] = {0, width, 0};
      const std::int64_t tails[] = {width - 8, width + 2, width - 8};
      const std::uint64_t masks[] = {records::detail::count_word_lead_mask(c.field.size()),
                                     records::detail::count_word_lead_mask(10),
                                     records::detail::count_word_lead_mask(c.field.size())};
      for (const int first : {0, 1}) {
        const records::detail::CountFields fields{heads + first, tails + first, masks + first};
        std::int32_t values[2] = {-99, -99};
        const bool both =
            records::detail::count_words_values(
                pair.data(), fields, 2, [&values](int k, std::int32_t v) { values[k] = v; }) == 0;
        EXPECT_EQ(both, c.taken) << "first " << first;
        if (both) {
          EXPECT_EQ(values[first], c.value);
          EXPECT_EQ(values[1 - first], 12345678);
        }
      }
    }
    // What it takes, the general conversion gives in either blank mode.
    if (taken) {
      for (const BlankMode mode : {BlankMode::null, BlankMode::zero}) {
        std::int32_t general = -99;
        ASSERT_TRUE(records::parse_integer(c.field, mode, records::IntegerTarget::int32, general));
        EXPECT_EQ(general, c.value);
      }
    }
  }
}

}  // namespace

namespace {

// A run of reads with one format: each statement stores into the targets it
// names, even when an earlier one named others of the same shape, and a
// statement with more items than the format has fields goes on correctly.
TEST(InputPlan, EachStatementStoresIntoItsOwnTargets) {
  const records::RecordFormat& format = records::formats::k_results_record;
  char key_a[6], name_a[14], key_b[6], name_b[14];
  std::int32_t counts_a[5] = {}, counts_b[5] = {};
  const std::string record =
      "P1      PROB-1                11        12        13        14        15";
  FieldFailure failure;
  ASSERT_TRUE(records::try_read_record(
      record, format,
      {records::in_text(key_a, 6), records::in_text(name_a, 14), records::in_integers(counts_a, 5)},
      BlankMode::null, failure));
  EXPECT_EQ(counts_a[4], 15);
  ASSERT_TRUE(records::try_read_record(
      "P2      PROB-2                21        22        23        24        25", format,
      {records::in_text(key_b, 6), records::in_text(name_b, 14), records::in_integers(counts_b, 5)},
      BlankMode::null, failure));
  EXPECT_EQ(std::string_view(key_a, 6), "P1    ");
  EXPECT_EQ(counts_a[0], 11);
  EXPECT_EQ(std::string_view(key_b, 6), "P2    ");
  EXPECT_EQ(std::string_view(name_b, 14), "PROB-2        ");
  EXPECT_EQ(counts_b[0], 21);
  EXPECT_EQ(counts_b[4], 25);
  // Same targets, fewer counts: the sixth element is left alone.
  std::int32_t six[6] = {-1, -1, -1, -1, -1, -1};
  ASSERT_TRUE(records::try_read_record(
      record, format,
      {records::in_text(key_a, 6), records::in_text(name_a, 14), records::in_integers(six, 4)},
      BlankMode::null, failure));
  EXPECT_EQ(six[3], 14);
  EXPECT_EQ(six[4], -1);
  // More counts than the record has: the format starts again on a second
  // record, which a single record lacks; the targets read keep their values.
  ASSERT_TRUE(records::try_read_record(
      record, format,
      {records::in_text(key_a, 6), records::in_text(name_a, 14), records::in_integers(six, 6)},
      BlankMode::null, failure));
  EXPECT_EQ(six[4], 15);
  EXPECT_EQ(six[5], -1);
  // The same statement again, now that the plan has met these items.
  six[0] = six[4] = -1;
  ASSERT_TRUE(records::try_read_record(
      record, format,
      {records::in_text(key_a, 6), records::in_text(name_a, 14), records::in_integers(six, 6)},
      BlankMode::null, failure));
  EXPECT_EQ(six[0], 11);
  EXPECT_EQ(six[4], 15);
  EXPECT_EQ(six[5], -1);
  // A comma in a count moves the fields after it; the same items as above.
  ASSERT_TRUE(records::try_read_record(
      "P3      PROB-3                7,       31        32        33        34", format,
      {records::in_text(key_b, 6), records::in_text(name_b, 14), records::in_integers(counts_b, 5)},
      BlankMode::null, failure));
  EXPECT_EQ(counts_b[0], 7);
  EXPECT_EQ(counts_b[1], 31);  // from the columns that follow the comma
}

// Targets that overlap take their values in the order of the fields, and a
// target inside the record itself sees the record as the fields before it left it.
// A read loop passes one item array to every statement. Whatever it changes
// in the array between statements (a target, a count, a text length), the
// next statement follows: the binding is proved on the array's contents, not
// on its address.
TEST(InputPlan, OneItemArrayChangedBetweenStatements) {
  const records::RecordFormat& format = records::formats::k_results_record;
  const std::string record =
      "P1      PROB-1                11        12        13        14        15";
  char key[6], name[14];
  std::int32_t first[5] = {}, second[5] = {-1, -1, -1, -1, -1};
  records::InItem items[] = {records::in_text(key, 6), records::in_text(name, 14),
                             records::in_integers(first, 5)};
  FieldFailure failure;
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(records::try_read_record(record, format, items, BlankMode::null, failure));
  }
  EXPECT_EQ(first[4], 15);
  items[2] = records::in_integers(second, 3);
  ASSERT_TRUE(records::try_read_record(record, format, items, BlankMode::null, failure));
  EXPECT_EQ(second[2], 13);
  EXPECT_EQ(second[3], -1);
  first[0] = -1;
  items[2] = records::in_integers(first, 5);
  char short_name[4] = {'x', 'x', 'x', 'x'};
  items[1] = records::in_text(short_name, 4);  // A14 into 4 characters: its last 4
  ASSERT_TRUE(records::try_read_record(record, format, items, BlankMode::null, failure));
  EXPECT_EQ(first[0], 11);
  EXPECT_EQ(std::string_view(short_name, 4), "    ");
}

TEST(InputPlan, OverlappingTargetsAreStoredInFieldOrder) {
  const EditDescriptor text_then_count[] = {records::Aw(4), records::I(10)};
  const records::RecordFormat format{text_then_count};
  for (const Way& way : k_ways) {
    SCOPED_TRACE(way.name);
    records::detail::forget_input_plans();
    records::detail::set_input_plans(way.plans);
    std::int32_t value = -99;
    FieldFailure failure;
    for (int round = 0; round < 2; ++round) {  // the second with the plan prepared
      ASSERT_TRUE(records::try_read_record(
          "ABCD        42", format,
          {records::in_text(reinterpret_cast<char*>(&value), 4), records::in_integer(value)},
          BlankMode::null, failure));
      EXPECT_EQ(value, 42);
    }
    // The record is its own target: the count is read after the text moved.
    char record[] = "0000         7";
    for (int round = 0; round < 2; ++round) {
      std::memcpy(record, "0000         7", 14);
      records::read_internal(record, 14, records::RecordFormat{text_then_count},
                             {records::in_text(record + 10, 4), records::in_integer(value)});
      EXPECT_EQ(value, 0);  // "      0000" after the text landed on the count's last columns
    }
    records::detail::set_input_plans(true);
  }
}

// A format built in storage that later holds another format: the second read
// must not take the first one's plan.
TEST(InputPlan, StorageReusedForAnotherFormatGetsItsOwnPlan) {
  EditDescriptor storage[2] = {records::I(3), records::I(3)};
  const records::RecordFormat format{storage};
  std::int32_t values[2] = {-99, -99};
  FieldFailure failure;
  ASSERT_TRUE(records::try_read_record("  1  2", format, {records::in_integers(values, 2)},
                                       BlankMode::null, failure));
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 2);
  storage[0] = records::X(2);
  storage[1] = records::I(4);
  values[0] = -99;
  ASSERT_TRUE(records::try_read_record("  1  2", format, {records::in_integers(values, 1)},
                                       BlankMode::null, failure));
  EXPECT_EQ(values[0], 12);
}

}  // namespace
