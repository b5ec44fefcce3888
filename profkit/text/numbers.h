// How profkit writes numbers as text: the shortest form that reads back to
// the same double (machine-readable outputs), the digits P.PRO shows
// (human-readable outputs), the bound, and the one word for a figure that is
// not defined.
#ifndef PROFCMP_PROFKIT_TEXT_NUMBERS_H_
#define PROFCMP_PROFKIT_TEXT_NUMBERS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace textkit {

// The shortest decimal form that reads back as `value` (std::to_chars); a
// NaN (0/0 of a table without problems) is "nan" whatever its sign bit,
// which differs between platforms.
std::string shortest(double value);

// Room enough for shortest() of any double ("-2.2250738585072014e-308").
inline constexpr std::size_t k_shortest_room = 32;

// Writes shortest(value) at `at`, which has k_shortest_room bytes; returns
// the end.
char* put_shortest(char* at, double value);

// Appends shortest(value) to `out`.
void append_shortest(std::string& out, double value);

// `value` with `decimals` digits as P.PRO prints it (Fw.d rounding of the
// exact binary value, half away from zero), without leading blanks:
// 0.44047619 -> "0.4405"; NaN -> "NaN".
std::string fixed(double value, int decimals);

// What every human-readable output shows for a figure that is not defined
// (a NaN: 0/0 of a table without problems, a mean of nothing).
inline constexpr std::string_view k_undefined = "not defined";

// fixed(value, decimals), or k_undefined for a NaN.
std::string figure(double value, int decimals);

// A bound (a multiple of 0.5) with one decimal: "2.0", "0.5".
std::string bound_text(double bound);

}  // namespace textkit

#endif  // PROFCMP_PROFKIT_TEXT_NUMBERS_H_
