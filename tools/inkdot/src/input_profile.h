// Colour-managed input: an image's samples brought, through Little CMS, into
// what the pack's tables take.
//
//   RGB  with a profile  -> sRGB, then the pack's RGB -> CMYK table
//   grey with a profile  -> grey on sRGB's tone curve, then as any grey
//   CMYK with a profile  -> sRGB, then the RGB -> CMYK table: the profile
//                           says what colour the ink amounts made on the
//                           press they were separated for, and the pack's
//                           table makes that colour with this printer's inks
//   CMYK without one     -> the ink amounts, straight into the separation
//   RGB, grey without    -> taken as sRGB
//
// The profile is the one the file embeds (for PNG, else its sRGB, gAMA and
// cHRM chunks), or the one the user names, which takes its place.
//
// The conversion is relative colorimetric with black point compensation.
// Every colour sRGB can hold keeps its colour: mapping onto what the inks can
// print is the pack's RGB table's work, and a perceptual rendering here would
// compress colours before it does (for the matrix-and-curve profiles of most
// cameras and editors the two intents are one transform anyway). The
// source's white becomes sRGB's white, so paper stays paper; black point
// compensation makes the source's black sRGB's black, so a press profile's
// black (L* 10 to 20) prints as this printer's black, not as a dark grey.
#pragma once

#include <filesystem>
#include <string>

#include "image.h"

namespace inkdot::cli {

// Converts `image` in place (CMYK with a profile becomes RGB) and returns
// what the summary says of its colours: "Wide RGB, embedded", "sRGB
// (assumed)". `given` is the user's profile file (empty: none). A damaged or
// unfitting embedded profile throws Failure(kExitImage) naming `imagePath`;
// a given one that cannot be read or does not fit, Failure(kExitUsage).
std::string applyInputProfile(Image& image, const std::filesystem::path& imagePath,
                              const std::filesystem::path& given);

}  // namespace inkdot::cli
