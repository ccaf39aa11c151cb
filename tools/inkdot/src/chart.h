// The sample page: a colour test chart drawn in code, the same pixels on
// every machine. Gradients from white to each ink and primary, a hue wheel,
// a stepped and a smooth grey ramp, skin and sky patches, fine lines, a star
// of thin spokes and small text (a built-in 5 x 7 bitmap font).
#pragma once

#include <string>

#include "image.h"

namespace inkdot::cli {

// An RGB chart of the given size; the layout scales with the width and is
// made for a portrait page (height about 1.41 times the width).
Image drawChart(int width = 1240, int height = 1754);

// Draws text in the built-in font: `scale` pixels a font dot, upper case
// (lower-case letters print as capitals). Exposed for the tests.
void drawText(Image& image, int x, int y, const std::string& text, int scale, const uint8_t rgb[3]);

}  // namespace inkdot::cli
