// The drawing itself, built into the renderer module only: librsvg onto a
// cairo surface whose output stream appends to a string, so nothing reaches a
// file until the caller has the whole document.
#include "profkit/render/draw.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace render {
namespace {

constexpr double k_points_per_px = 72.0 / k_css_dpi;

struct HandleUnref {
  void operator()(RsvgHandle* handle) const { g_object_unref(handle); }
};
struct SurfaceDestroy {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDestroy {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using Handle = std::unique_ptr<RsvgHandle, HandleUnref>;
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;
using Context = std::unique_ptr<cairo_t, ContextDestroy>;

// cairo's output stream: appends to the string, reports a failed allocation
// as a write error (no exception may cross the C library).
cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  try {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  } catch (const std::bad_alloc&) {
    return CAIRO_STATUS_WRITE_ERROR;
  }
}

std::string taken_message(GError* error, const std::string& fallback) {
  if (error == nullptr) return fallback;
  std::string message = error->message != nullptr ? error->message : fallback;
  g_error_free(error);
  // The parser's messages end in a line feed; the caller ends the line.
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message.empty() ? fallback : message;
}

Rendered failure(std::string message) {
  return Rendered{{}, "SVG rendering: " + message};
}

std::string cairo_message(cairo_status_t status) {
  return cairo_status_to_string(status);
}

// Draws the whole document into `cr`, scaled from SVG px to the surface's units.
std::string draw(RsvgHandle* handle, cairo_t* cr, double scale, double width_px, double height_px) {
  cairo_scale(cr, scale, scale);
  const RsvgRectangle viewport{0, 0, width_px, height_px};
  GError* error = nullptr;
  if (!rsvg_handle_render_document(handle, cr, &viewport, &error)) {
    return taken_message(error, "the document could not be drawn");
  }
  const cairo_status_t status = cairo_status(cr);
  return status == CAIRO_STATUS_SUCCESS ? std::string() : cairo_message(status);
}

Rendered render_pdf(RsvgHandle* handle, double width_px, double height_px) {
  Rendered rendered;
  const Surface surface(cairo_pdf_surface_create_for_stream(
      append, &rendered.bytes, width_px * k_points_per_px, height_px * k_points_per_px));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    return failure(cairo_message(cairo_surface_status(surface.get())));
  }
  // cairo stamps the current time as the creation date; a date it does not
  // accept leaves the entry out, so that equal figures are equal files.
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, "none");
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "profkit");
  std::string problem;
  {
    const Context cr(cairo_create(surface.get()));
    problem = draw(handle, cr.get(), k_points_per_px, width_px, height_px);
  }
  cairo_surface_finish(surface.get());
  if (problem.empty() && cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    problem = cairo_message(cairo_surface_status(surface.get()));
  }
  if (!problem.empty()) return failure(problem);
  return rendered;
}

Rendered render_png(RsvgHandle* handle, double width_px, double height_px, double dpi) {
  const double scale = dpi / k_css_dpi;
  const double width = std::ceil(width_px * scale), height = std::ceil(height_px * scale);
  if (!(width <= k_max_png_side && height <= k_max_png_side)) {
    return failure("a PNG of " + std::to_string(static_cast<std::int64_t>(width)) + " x " +
                   std::to_string(static_cast<std::int64_t>(height)) +
                   " pixels is larger than the largest of 32767 x 32767");
  }
  const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width),
                                                   static_cast<int>(height)));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    return failure(cairo_message(cairo_surface_status(surface.get())));
  }
  std::string problem;
  {
    const Context cr(cairo_create(surface.get()));
    problem = draw(handle, cr.get(), scale, width_px, height_px);
  }
  if (!problem.empty()) return failure(problem);
  cairo_surface_flush(surface.get());
  Rendered rendered;
  const cairo_status_t status =
      cairo_surface_write_to_png_stream(surface.get(), append, &rendered.bytes);
  if (status != CAIRO_STATUS_SUCCESS) return failure(cairo_message(status));
  return rendered;
}

}  // namespace

Rendered draw_svg(std::string_view svg, Format format, const Options& options) {
  if (svg.empty()) return failure("the document is empty");
  if (!(options.dpi > 0 && std::isfinite(options.dpi))) {
    return failure("the resolution must be a positive number of dots per inch");
  }
  GError* error = nullptr;
  // Without a base file the document cannot load other files (images, styles).
  const Handle handle(
      rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error));
  if (handle == nullptr) return failure(taken_message(error, "the document is not SVG"));
  rsvg_handle_set_dpi(handle.get(), k_css_dpi);
  double width_px = 0, height_px = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width_px, &height_px)) {
    return failure("the document states no absolute width and height");
  }
  if (!(width_px > 0 && height_px > 0 && std::isfinite(width_px) && std::isfinite(height_px))) {
    return failure("the document's width and height must be positive");
  }
  return format == Format::pdf ? render_pdf(handle.get(), width_px, height_px)
                               : render_png(handle.get(), width_px, height_px, options.dpi);
}

}  // namespace render

extern "C" void profkit_draw_svg(const char* svg, std::size_t size, int format, double dpi,
                                 render::Rendered* out) {
  render::Options options;
  options.dpi = dpi;
  *out =
      render::draw_svg(std::string_view(svg, size), static_cast<render::Format>(format), options);
}
