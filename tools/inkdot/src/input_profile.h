// Colour-managed input: an image's ICC profile (embedded, or given with
// --input-profile) brings its colours to what the pack's tables take.
//
//   - RGB with a profile becomes sRGB, through the profile's perceptual
//     rendering (a camera or wide-gamut profile's own way of bringing its
//     colours in; for a plain matrix profile the same as colorimetric).
//   - Grey with a profile becomes sRGB's grey tone scale, and stays grey
//     (printed in black ink when the inks are chosen automatically).
//   - CMYK with a profile is converted colorimetrically (relative, with the
//     black points matched) to sRGB and printed through the RGB table, so
//     its colours come out as the profile says they look; CMYK without one
//     goes straight into the six-ink separation as ink amounts.
//   - Without a profile, RGB and grey are taken as sRGB.
#pragma once

#include <filesystem>
#include <string>

#include "image.h"

namespace inkdot::cli {

// Converts `image` in place by its embedded profile, or by the profile in
// `override` when that is not empty. Returns what was done, in words, for
// the summary. Throws Failure(kExitImage) for an embedded profile that
// cannot be read or does not fit the image, Failure(kExitUsage) for such
// a given file.
std::string applyInputProfile(Image& image, const std::filesystem::path& override);

} // namespace inkdot::cli
