// Field formatting shared by profkit's writers: CSV fields quoted as RFC
// 4180 requires, shortest round-trip numbers, and P.PRO's F10.4 digits.
#ifndef PROFCMP_PROFKIT_ANALYSIS_FORMAT_H_
#define PROFCMP_PROFKIT_ANALYSIS_FORMAT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace analysis {

// `text` as one CSV field: quoted, with inner quotes doubled, when it holds a
// comma, a quote, CR or LF; as it is otherwise.
std::string csv_field(std::string_view text);

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
// exact binary value), without leading blanks: 0.44047619 -> "0.4405".
std::string fixed(double value, int decimals);

}  // namespace analysis

#endif  // PROFCMP_PROFKIT_ANALYSIS_FORMAT_H_
