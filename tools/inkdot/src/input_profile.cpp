#include "input_profile.h"

#include <lcms2.h>

#include <fstream>
#include <memory>

#include "failure.h"

namespace inkdot::cli {
namespace {

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};

std::string description(cmsHPROFILE p) {
    char text[256] = {0};
    if (cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", text, sizeof text) == 0 || !text[0]) return "unnamed";
    return text;
}

const char* spaceWord(cmsColorSpaceSignature s) {
    switch (s) {
    case cmsSigRgbData: return "RGB";
    case cmsSigGrayData: return "grey";
    case cmsSigCmykData: return "CMYK";
    default: return "another colour space";
    }
}

} // namespace

std::string applyInputProfile(Image& image, const std::filesystem::path& override) {
    std::vector<uint8_t> bytes;
    std::string source;
    int status = kExitImage;
    if (!override.empty()) {
        std::ifstream in(override, std::ios::binary);
        if (!in) throw Failure(kExitUsage, "cannot read the input profile " + override.string());
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        source = "from " + override.filename().string();
        status = kExitUsage;
    } else if (!image.icc.empty()) {
        bytes = image.icc;
        source = "embedded";
    } else {
        return image.space == ColourSpace::Cmyk ? "input: CMYK ink amounts (no profile)" : "input: sRGB (no profile; assumed)";
    }
    const std::string what = override.empty() ? "the image's embedded ICC profile" : "the input profile " + override.string();
    Profile in(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())));
    if (!in) throw Failure(status, what + " is not an ICC profile that can be read");
    const cmsColorSpaceSignature space = cmsGetColorSpace(in.get());
    const cmsColorSpaceSignature want = image.space == ColourSpace::Rgb    ? cmsSigRgbData
                                        : image.space == ColourSpace::Grey ? cmsSigGrayData
                                                                           : cmsSigCmykData;
    if (space != want)
        throw Failure(status, what + " describes " + spaceWord(space) + " colour, but the image is " + spaceWord(want));
    const std::string name = description(in.get());

    Profile srgb(cmsCreate_sRGBProfile());
    const size_t pixels = size_t(image.width) * size_t(image.height);
    Image out;
    out.width = image.width, out.height = image.height, out.format = image.format;
    std::string how;
    std::unique_ptr<void, TransformDeleter> t;
    if (image.space == ColourSpace::Grey) {
        // Through sRGB's grey: a grey profile's tone scale onto sRGB's.
        t.reset(cmsCreateTransform(in.get(), TYPE_GRAY_8, srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
        how = "its greys to sRGB's";
    } else if (image.space == ColourSpace::Rgb) {
        t.reset(cmsCreateTransform(in.get(), TYPE_RGB_8, srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
        how = "converted to sRGB (perceptual)";
    } else {
        // Ink amounts 0..255 are what the profile calls 0..100 % ink.
        t.reset(cmsCreateTransform(in.get(), TYPE_CMYK_8, srgb.get(), TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                                   cmsFLAGS_BLACKPOINTCOMPENSATION));
        how = "converted to sRGB (relative colorimetric, black point matched) and printed through the RGB table";
    }
    if (!t) throw Failure(status, what + " (" + name + ") cannot convert this image's colours");
    std::vector<uint8_t> rgb(pixels * 3);
    constexpr size_t kBatch = 1 << 16;
    const size_t step = size_t(image.channels());
    for (size_t at = 0; at < pixels; at += kBatch) {
        const size_t n = std::min(kBatch, pixels - at);
        cmsDoTransform(t.get(), image.pixels.data() + at * step, rgb.data() + at * 3, cmsUInt32Number(n));
    }
    if (image.space == ColourSpace::Grey) {
        out.space = ColourSpace::Grey;
        out.pixels.resize(pixels);
        for (size_t i = 0; i < pixels; ++i) out.pixels[i] = rgb[i * 3 + 1];
    } else {
        out.space = ColourSpace::Rgb;
        out.pixels = std::move(rgb);
    }
    image = std::move(out);
    return "input profile: " + name + " (" + source + "), " + how;
}

} // namespace inkdot::cli
