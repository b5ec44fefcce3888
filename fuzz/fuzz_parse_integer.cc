// Iw fields: arbitrary bytes as an integer input field, checked against the
// reference parser and std::from_chars, for both target sizes; the quick
// conversions of input plans against the general one; and Iw output of the
// parsed value read back again.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "failure_seam.h"
#include "records/fields.h"
#include "records/record_format.h"
#include "reference.h"

namespace {

using records::BlankMode;
using records::IntegerTarget;

void fail(const char* what, std::string_view field) {
  std::fprintf(stderr, "fuzz_parse_integer: %s; field [%.*s] (%zu bytes)\n", what,
               static_cast<int>(field.size()), field.data(), field.size());
  std::abort();
}

void check_field(std::string_view field) {
  std::int32_t value32 = 12345;
  const bool ok32 = records::parse_integer(field, BlankMode::null, IntegerTarget::int32, value32);
  std::int32_t value16 = 12345;
  const bool ok16 = records::parse_integer(field, BlankMode::null, IntegerTarget::int16, value16);
  // Blanks as zeros is not used by the tool; it must merely not misbehave.
  std::int32_t zero_mode = 0;
  (void)records::parse_integer(field, BlankMode::zero, IntegerTarget::int32, zero_mode);

  if (ok16 && !ok32) fail("accepted for 16 bits but not for 32", field);
  if (ok16 && value16 != value32) fail("16-bit and 32-bit values differ", field);
  if (ok16 && (value16 < -32768 || value16 > 32767)) fail("16-bit value out of range", field);
  if (ok32 && !ok16 && value32 >= -32768 && value32 <= 32767) {
    fail("a 16-bit value refused for the short target", field);
  }

  // The quick conversions of input plans: what they take, the general
  // conversion gives alike in both blank modes.
  std::int32_t quick = 0;
  std::int32_t zero_value = 0;
  const bool zero_ok =
      records::parse_integer(field, BlankMode::zero, IntegerTarget::int32, zero_value);
  if (field.size() >= 8 && field.size() <= 16 &&
      records::detail::parse_count_word(
          field.data(), field.size(), records::detail::count_word_lead_mask(field.size()), quick)) {
    if (!ok32 || quick != value32 || !zero_ok || quick != zero_value) {
      fail("the count word conversion differs from the general one", field);
    }
  }
  if (field.size() >= 8 && field.size() <= 16) {
    // Two at a time, beside a count of the usual shape, in either half: the
    // pair takes what the single conversion takes, with the same value.
    std::int32_t single = 0;
    const bool single_ok = records::detail::parse_count_word(
        field.data(), field.size(), records::detail::count_word_lead_mask(field.size()), single);
    const std::string pair = std::string(field) + "     12345";
    const auto width = static_cast<std::int64_t>(field.size());
    const std::int64_t heads[] = {0, width, 0};
    const std::int64_t tails[] = {width - 8, width + 2, width - 8};
    const std::uint64_t masks[] = {records::detail::count_word_lead_mask(field.size()),
                                   records::detail::count_word_lead_mask(10),
                                   records::detail::count_word_lead_mask(field.size())};
    for (const int first : {0, 1}) {
      const records::detail::CountFields fields{heads + first, tails + first, masks + first};
      std::int32_t values[2] = {0, 0};
      const bool pair_ok =
          records::detail::count_words_values(
              pair.data(), fields, 2, [&values](int k, std::int32_t v) { values[k] = v; }) == 0;
      if (pair_ok != single_ok) fail("the paired count conversion takes other fields", field);
      if (pair_ok && (values[first] != single || values[1 - first] != 12345)) {
        fail("the paired count conversion gives other values", field);
      }
    }
  }
  if (records::detail::parse_integer_digits(field, IntegerTarget::int32, quick)) {
    if (!ok32 || quick != value32 || !zero_ok || quick != zero_value) {
      fail("the digits conversion differs from the general one", field);
    }
  }

  std::int32_t expected = 0;
  const fuzz::Verdict verdict = fuzz::reference_integer(field, false, expected);
  if (verdict == fuzz::Verdict::accept && (!ok32 || value32 != expected)) {
    fail("differs from the reference (accepted there)", field);
  }
  if (verdict == fuzz::Verdict::reject && ok32) fail("accepted but the reference rejects", field);

  // A field of digits alone, perhaps signed: std::from_chars must agree.
  std::string_view digits = field;
  if (!digits.empty() && digits[0] == '-') digits.remove_prefix(1);
  if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos &&
      field[0] != '+') {
    std::int32_t parsed = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), parsed);
    const bool from_chars_ok = error == std::errc() && end == field.data() + field.size();
    if (from_chars_ok != ok32) fail("acceptance differs from std::from_chars", field);
    if (ok32 && parsed != value32) fail("value differs from std::from_chars", field);
  }

  if (ok32) {
    // Iw output of the value, in widths 1 to 12, must read back unchanged
    // whenever it is not asterisks.
    for (int width = 1; width <= 12; ++width) {
      const auto out = std::make_unique<char[]>(static_cast<std::size_t>(width));
      records::render_integer(value32, width, out.get());
      const std::string_view rendered(out.get(), static_cast<std::size_t>(width));
      if (rendered != fuzz::reference_render_integer(value32, width)) {
        fail("Iw output differs from the reference", rendered);
      }
      if (rendered[0] == '*') continue;
      std::int32_t back = 0;
      if (!records::parse_integer(rendered, BlankMode::null, IntegerTarget::int32, back) ||
          back != value32) {
        fail("Iw output does not read back", rendered);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 256) return -1;
  // An exactly-sized copy, so that a read past the field's end is caught.
  const auto field = std::make_unique<char[]>(size == 0 ? 1 : size);
  std::memcpy(field.get(), data, size);
  try {
    check_field(std::string_view(field.get(), size));
  } catch (const fuzz::FailureStop& stop) {
    std::fprintf(stderr, "fuzz_parse_integer: unexpected failure stop %d\n",
                 static_cast<int>(stop.message));
    std::abort();
  }
  return 0;
}
