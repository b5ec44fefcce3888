// The section that opens the report: the methods ranked by MEAN VALUE and,
// for each method and the next, whether they are separable, with what fails.
#ifndef PROFCMP_PROFKIT_HTML_VERDICT_SECTION_H_
#define PROFCMP_PROFKIT_HTML_VERDICT_SECTION_H_

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/verdict/verdict.h"

namespace report {

// Writes <section id="PREFIXverdict"> (`prefix` leads the id on a page of
// several parts) with its heading, the line on how to read it and one table
// row per rank; names escaped and isolated.
void write_verdict_section(std::ostream& out, std::string_view prefix,
                           const std::vector<std::string>& names, const verdict::Verdict& v);

}  // namespace report

#endif  // PROFCMP_PROFKIT_HTML_VERDICT_SECTION_H_
