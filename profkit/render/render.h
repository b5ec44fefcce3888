// An SVG document (as profkit's figure writers make it) drawn into a PDF page
// or a PNG image in memory, at the size the document states.
//
// The drawing libraries (librsvg, cairo and what they load: some fifty shared
// libraries, among them fonts, X11 and ICU) are linked into a module of their
// own, loaded on the first call, so that the program's other work neither
// maps nor starts them. The module lies at a fixed place relative to the
// program, the same in the build tree as once installed.
//
// Sizes follow CSS: 96 px to the inch, so an SVG px is 0.75 PDF point. The
// PDF page is the SVG's width and height in points; the PNG has one pixel per
// SVG px at the default 96 dots per inch, dpi / 96 pixels per px otherwise,
// each side rounded up to a whole pixel. The same document and options give
// the same bytes on every run: the PDF carries no creation or modification
// date.
#ifndef PROFCMP_PROFKIT_RENDER_RENDER_H_
#define PROFCMP_PROFKIT_RENDER_RENDER_H_

#include <string>
#include <string_view>

namespace render {

enum class Format { pdf = 0, png = 1 };

// The CSS resolution: SVG px per inch.
inline constexpr double k_css_dpi = 96.0;

// Largest side of a PNG, in pixels.
inline constexpr double k_max_png_side = 32767;

struct Options {
  double dpi = k_css_dpi;  // PNG only: pixels per inch of the drawn figure
  std::string module;      // the renderer module; empty: module_path()
};

// Where the renderer module lies: beside the running program (found through
// /proc/self/exe) at the path the build sets from the install directories,
// ../lib/profkit/profkit-render.so by default.
std::string module_path();

// The rendered document, or an error that says why there is none.
struct Rendered {
  std::string bytes;
  std::string error;  // empty on success
  bool ok() const { return error.empty(); }
};

// Draws `svg` as `format`. A document that does not parse as SVG, states no
// absolute width and height, or is too large for a PNG gives an error (no
// bytes); so does a failure of the drawing library, and a module that cannot
// be loaded (each module path is tried once per process).
Rendered render_svg(std::string_view svg, Format format, const Options& options = {});

}  // namespace render

#endif  // PROFCMP_PROFKIT_RENDER_RENDER_H_
