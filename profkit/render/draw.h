// The renderer module's side: the drawing through librsvg and cairo, and the
// one C entry point the program finds in the module (see render.h).
#ifndef PROFCMP_PROFKIT_RENDER_DRAW_H_
#define PROFCMP_PROFKIT_RENDER_DRAW_H_

#include <cstddef>
#include <string_view>

#include "profkit/render/render.h"

namespace render {

// render_svg's work, done in the module (options.module is not read).
Rendered draw_svg(std::string_view svg, Format format, const Options& options);

// The entry point: `format` is static_cast<int>(Format); the result is
// assigned to `*out`.
inline constexpr const char* k_entry_point = "profkit_draw_svg";
using EntryPoint = void (*)(const char* svg, std::size_t size, int format, double dpi,
                            Rendered* out);

}  // namespace render

extern "C" __attribute__((visibility("default"))) void profkit_draw_svg(const char* svg,
                                                                        std::size_t size,
                                                                        int format, double dpi,
                                                                        render::Rendered* out);

#endif  // PROFCMP_PROFKIT_RENDER_DRAW_H_
