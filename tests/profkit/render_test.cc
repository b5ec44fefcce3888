// SVG documents drawn as PDF and PNG through the renderer module: the sizes of
// the page and the image, and an error (never a crash, never bytes) for every
// document that cannot be drawn and a module that cannot be loaded.
#include "profkit/render/render.h"

#include <gtest/gtest.h>

#include <string>

#include "kit_support.h"

namespace {

using kit_support::Size;

// The module the build made (a test program does not lie beside it).
render::Options at_dpi(double dpi) {
  render::Options options;
  options.dpi = dpi;
  options.module = PROFKIT_RENDER_MODULE;
  return options;
}

std::string document(const std::string& width, const std::string& height) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height +
         "\"><rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/><text x=\"1\" y=\"9\" "
         "font-size=\"8\">x</text></svg>";
}

TEST(Render, PageInPointsAndImageInPixelsFollowTheStatedSize) {
  struct Case {
    std::string width, height;
    double dpi;
    Size png, pdf;
  };
  const Case cases[] = {
      {"3", "2", 96, {3, 2}, {2.25, 1.5}},        {"10.5", "7.25", 96, {11, 8}, {7.875, 5.4375}},
      {"100", "50", 192, {200, 100}, {75, 37.5}}, {"100", "50", 300, {313, 157}, {75, 37.5}},
      {"2in", "1in", 96, {192, 96}, {144, 72}},
  };
  for (const Case& c : cases) {
    const std::string svg = document(c.width, c.height);
    const render::Rendered png = render::render_svg(svg, render::Format::png, at_dpi(c.dpi));
    const render::Rendered pdf = render::render_svg(svg, render::Format::pdf, at_dpi(c.dpi));
    ASSERT_TRUE(png.ok() && pdf.ok()) << png.error << pdf.error;
    EXPECT_EQ(kit_support::png_size(png.bytes), c.png) << c.width << " at " << c.dpi;
    const Size page = kit_support::pdf_size(pdf.bytes);
    EXPECT_NEAR(page.width, c.pdf.width, 1e-3) << c.width;
    EXPECT_NEAR(page.height, c.pdf.height, 1e-3) << c.height;
    EXPECT_TRUE(render::render_svg(svg, render::Format::pdf, at_dpi(96)).bytes == pdf.bytes);
  }
}

TEST(Render, DocumentsThatCannotBeDrawnGiveAnErrorAndNoBytes) {
  const std::string svg_open = "<svg xmlns=\"http://www.w3.org/2000/svg\"";
  struct Case {
    std::string svg;
    bool pdf_too;  // false: only too large for a PNG
  };
  const Case cases[] = {
      {"", true},
      {"not a document", true},
      {std::string("\0\xff\xfe<svg", 7), true},
      {svg_open + " width=\"10\" height=\"10\"><rect", true},  // cut short
      {svg_open + "/>", true},                                 // no width and height
      {svg_open + " width=\"50%\" height=\"10\"/>", true},     // no absolute size
      {svg_open + " width=\"0\" height=\"10\"/>", true},
      {svg_open + " width=\"40000\" height=\"10\"/>", false},
  };
  for (const Case& c : cases) {
    for (const render::Format format : {render::Format::png, render::Format::pdf}) {
      if (format == render::Format::pdf && !c.pdf_too) continue;
      const render::Rendered r = render::render_svg(c.svg, format, at_dpi(96));
      EXPECT_FALSE(r.ok()) << c.svg;
      EXPECT_EQ(r.error.rfind("SVG rendering: ", 0), 0u) << r.error;
      EXPECT_NE(r.error.back(), '\n');
      EXPECT_EQ(r.bytes, "") << c.svg;
    }
  }
  EXPECT_FALSE(render::render_svg(document("3", "2"), render::Format::png, at_dpi(0)).ok());
  // A module that is not there, or is no module: an error, and later calls still draw.
  for (const std::string& module :
       {std::string("/nonexistent/profkit-render.so"), std::string(PROFKIT_BINARY)}) {
    render::Options options = at_dpi(96);
    options.module = module;
    const render::Rendered r = render::render_svg(document("3", "2"), render::Format::png, options);
    EXPECT_EQ(r.error.rfind("SVG rendering: the renderer module cannot be loaded: ", 0), 0u)
        << r.error;
    EXPECT_EQ(r.bytes, "");
  }
  EXPECT_TRUE(render::render_svg(document("3", "2"), render::Format::png, at_dpi(96)).ok());
}

}  // namespace
