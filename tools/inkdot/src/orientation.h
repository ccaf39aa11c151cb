// Which way up a picture is meant to be seen. Cameras store the pixels as
// the sensor read them and say in an orientation tag (EXIF tag 0x0112, the
// same number as TIFF's own Orientation field) how to turn them:
//
//   value  row 0 of the stored image is   column 0 is   to show it upright
//   1      the top                        the left      nothing
//   2      the top                        the right     mirror left to right
//   3      the bottom                     the right     turn half way
//   4      the bottom                     the left      mirror top to bottom
//   5      the left                       the top       mirror across the diagonal
//   6      the right                      the top       turn a quarter clockwise
//   7      the right                      the bottom    mirror across the other diagonal
//   8      the left                       the bottom    turn a quarter anticlockwise
//
// The readers put every image upright before anything else sees it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace inkdot::cli {

struct Image;

// The orientation an EXIF block gives (1 to 8), or 0 when it has no usable
// one: no tag, a value outside 1 to 8, or a damaged block. `data` is the
// TIFF-structured EXIF data ("II*\0" or "MM\0*" first); a leading
// "Exif\0\0" (as JPEG's APP1 marker and some WebP files carry it) is
// skipped. Never reads outside `size` bytes.
int exifOrientation(const uint8_t* data, size_t size);

// Turns or mirrors `image` in place so that orientation `value` comes out
// upright; values outside 2 to 8 leave it as it is.
void applyOrientation(Image& image, int value);

// What turning the image upright did, in words ("turned a quarter
// clockwise"); empty for 1 and unknown values.
std::string orientationText(int value);

}  // namespace inkdot::cli
