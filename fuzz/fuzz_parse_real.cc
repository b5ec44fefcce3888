// Fw.d / Dw.d fields: arbitrary bytes as a real input field (checked against
// the reference parser, which rounds through strtod), and Fw.d output of both
// the parsed value and of raw double bit patterns (checked against the exact
// reference renderer), with the rendered text read back again.
//
// Input layout: byte 0 gives d (0 to 15), byte 1 the output width (1 to 40);
// the remaining bytes are the field, and their first 8 bytes, when there are
// that many, are also taken as the bits of a double to render.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "failure_seam.h"
#include "records/record_format.h"
#include "reference.h"

namespace {

using records::BlankMode;

[[noreturn]] void fail(const char* what, std::string_view text, int decimals) {
  std::fprintf(stderr, "fuzz_parse_real: %s; text [%.*s] (%zu bytes), d=%d\n", what,
               static_cast<int>(text.size()), text.data(), text.size(), decimals);
  std::abort();
}

bool same_value(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b;  // +0 and -0 count as the same
}

std::string render(double value, int width, int decimals) {
  const auto out = std::make_unique<char[]>(static_cast<std::size_t>(width));
  records::render_fixed(value, width, decimals, out.get());
  return std::string(out.get(), static_cast<std::size_t>(width));
}

void check_render(double value, int width, int decimals) {
  const std::string rendered = render(value, width, decimals);
  char bits[64];
  std::snprintf(bits, sizeof bits, "%a", value);

  if (std::isnan(value) && width >= 4) {
    if (rendered != " NaN" + std::string(static_cast<std::size_t>(width) - 4, ' ')) {
      fail("NaN rendering", rendered, decimals);
    }
    return;
  }
  if (std::isinf(value)) {
    const std::string word = value > 0 ? "Infinity" : "-Infinity";
    if (width >= static_cast<int>(word.size()) + 1 &&
        rendered !=
            " " + word + std::string(static_cast<std::size_t>(width) - 1 - word.size(), ' ')) {
      fail("infinity rendering", rendered, decimals);
    }
    return;
  }
  if (!std::isfinite(value)) return;

  for (const char c : rendered) {
    if (!(c == ' ' || c == '-' || c == '.' || c == '*' || (c >= '0' && c <= '9'))) {
      fail("character outside the Fw.d alphabet", rendered, decimals);
    }
  }
  const std::string expected = fuzz::reference_render_fixed(value, width, decimals);
  if (!expected.empty() && rendered != expected) {
    std::fprintf(stderr, "value %s (%.17g) expected [%s]\n", bits, value, expected.c_str());
    fail("Fw.d output differs from the exact reference", rendered, decimals);
  }
  if (rendered[0] == '*') return;

  // The rendered text reads back as the nearest double to its decimal text,
  // within half a unit of the last decimal of the value rendered.
  double back = 0.0;
  if (!records::parse_real(rendered, decimals, BlankMode::null, back)) {
    fail("Fw.d output does not read back", rendered, decimals);
  }
  double reference = 0.0;
  if (fuzz::reference_real(rendered, decimals, reference) == fuzz::Verdict::accept &&
      !same_value(back, reference)) {
    fail("Fw.d output reads back as another value than the reference", rendered, decimals);
  }
  const double half_unit = 0.5 * std::pow(10.0, -decimals);
  if (std::fabs(back - value) > half_unit * (1 + 1e-9) + std::fabs(value) * 1e-15) {
    std::fprintf(stderr, "value %s read back as %.17g\n", bits, back);
    fail("Fw.d output lies more than half a unit away", rendered, decimals);
  }
  // And renders to the same text again, where the double has the precision.
  if (std::fabs(back) < 1e15 * std::pow(10.0, -decimals) &&
      render(back, width, decimals) != rendered) {
    fail("Fw.d output of the value read back differs", rendered, decimals);
  }
}

void check(const std::uint8_t* data, std::size_t size) {
  const int decimals = data[0] % 16;
  const int width = 1 + data[1] % 40;
  const std::size_t length = size - 2;
  const auto field_copy = std::make_unique<char[]>(length == 0 ? 1 : length);
  std::memcpy(field_copy.get(), data + 2, length);
  const std::string_view field(field_copy.get(), length);

  double value = 1.25;
  const bool ok = records::parse_real(field, decimals, BlankMode::null, value);
  double zero_mode = 0.0;
  (void)records::parse_real(field, decimals, BlankMode::zero, zero_mode);

  double expected = 0.0;
  const fuzz::Verdict verdict = fuzz::reference_real(field, decimals, expected);
  if (verdict == fuzz::Verdict::accept) {
    if (!ok) fail("rejected but the reference accepts", field, decimals);
    if (!same_value(value, expected)) {
      std::fprintf(stderr, "got %.17g, reference %.17g\n", value, expected);
      fail("value differs from the reference", field, decimals);
    }
  } else if (verdict == fuzz::Verdict::reject && ok) {
    std::fprintf(stderr, "got %.17g\n", value);
    fail("accepted but the reference rejects", field, decimals);
  }

  if (ok) check_render(value, width, decimals);
  if (length >= 8) {
    double raw = 0.0;
    std::memcpy(&raw, data + 2, sizeof raw);
    check_render(raw, width, decimals);
    check_render(raw, 10, 4);
    check_render(raw, 8, 5);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 512) return -1;
  try {
    check(data, size);
  } catch (const fuzz::FailureStop& stop) {
    std::fprintf(stderr, "fuzz_parse_real: unexpected failure stop %d\n",
                 static_cast<int>(stop.message));
    std::abort();
  }
  return 0;
}
