#include "input_profile.h"

#include <lcms2.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>

#include "failure.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};

// sRGB's tone curve: a power of 2.4 with a straight part near black.
cmsToneCurve* srgbCurve() {
    const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

// Where the converted samples go: sRGB, or for grey one channel on sRGB's
// tone curve.
Profile destination(ColourSpace space) {
    if (space != ColourSpace::Grey) return Profile(cmsCreate_sRGBProfile());
    cmsToneCurve* curve = srgbCurve();
    Profile p(cmsCreateGrayProfile(&kD65, curve));
    cmsFreeToneCurve(curve);
    return p;
}

// A profile for PNG samples encoded with gamma `gamma` (sample = linear ^
// gamma), with the file's chromaticities or else sRGB's.
Profile fromGamma(const DeclaredColour& d, ColourSpace space) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.0 / d.gamma);
    const double* c = d.chromaticities.data();
    const cmsCIExyY white = d.hasChromaticities ? cmsCIExyY{c[0], c[1], 1.0} : kD65;
    Profile p;
    if (space == ColourSpace::Grey) {
        p.reset(cmsCreateGrayProfile(&white, curve));
    } else {
        const cmsCIExyYTRIPLE primaries =
            d.hasChromaticities
                ? cmsCIExyYTRIPLE{{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}}
                : cmsCIExyYTRIPLE{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
        cmsToneCurve* curves[3] = {curve, curve, curve};
        p.reset(cmsCreateRGBProfile(&white, &primaries, curves));
    }
    cmsFreeToneCurve(curve);
    return p;
}

std::string description(cmsHPROFILE p) {
    char text[256] = "";
    cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", text, sizeof text);
    std::string s;
    for (const char* t = text; *t; ++t) s += static_cast<unsigned char>(*t) < 32 ? ' ' : *t;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s.empty() ? "a profile without a description" : s;
}

const char* spaceWords(cmsColorSpaceSignature s) {
    switch (s) {
        case cmsSigRgbData: return "RGB";
        case cmsSigGrayData: return "grey";
        case cmsSigCmykData: return "CMYK";
        case cmsSigLabData: return "CIELAB";
        case cmsSigXYZData: return "XYZ";
        default: return "another kind of";
    }
}

cmsColorSpaceSignature signatureOf(ColourSpace space) {
    return space == ColourSpace::Grey  ? cmsSigGrayData
           : space == ColourSpace::Rgb ? cmsSigRgbData
                                       : cmsSigCmykData;
}

std::vector<uint8_t> slurp(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        throw Failure(kExitUsage, "cannot read input profile " + path.string() + ": no such file");
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (!in && !in.eof()) throw Failure(kExitUsage, "cannot read input profile " + path.string());
    return bytes;
}

}  // namespace

std::string applyInputProfile(Image& image, const fs::path& imagePath, const fs::path& given) {
    const DeclaredColour& declared = image.declared;
    Profile source;
    std::string said;
    // The profile as a failure names it, and which kind of failure it is.
    std::string what = "cannot read image " + imagePath.string() + ": its ICC profile";
    int status = kExitImage;
    auto fail = [&](const std::string& why) { throw Failure(status, what + why); };
    if (!given.empty()) {
        status = kExitUsage;
        what = "input profile " + given.string();
        const std::vector<uint8_t> bytes = slurp(given);
        source.reset(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())));
        if (!source) fail(" is not an ICC profile that can be read");
        said = description(source.get()) + ", from " + given.string() +
               (declared.iccProfile.empty() ? "" : " in place of the one the image embeds");
    } else if (!declared.iccProfile.empty()) {
        source.reset(cmsOpenProfileFromMem(declared.iccProfile.data(),
                                           cmsUInt32Number(declared.iccProfile.size())));
        if (!source) fail(" is damaged");
        said = description(source.get()) + ", embedded";
    } else if (image.space == ColourSpace::Cmyk) {
        return "none, so the CMYK values go to the six-ink separation as ink amounts";
    } else if (declared.srgb) {
        return "sRGB (the PNG's sRGB chunk)";
    } else if (declared.gamma > 0 && !declared.hasChromaticities &&
               std::abs(declared.gamma * 2.2 - 1.0) <= 0.01) {
        return "sRGB (the PNG's gAMA chunk gives 1/2.2)";
    } else if (declared.gamma > 0) {
        what = "cannot read image " + imagePath.string() + ": its gAMA and cHRM chunks";
        source = fromGamma(declared, image.space);
        if (!source) fail(" describe no colour space");
        char text[96];
        std::snprintf(text, sizeof text,
                      declared.hasChromaticities
                          ? "gamma %.2f with its own primaries (the PNG's gAMA and cHRM chunks)"
                          : "gamma %.2f (the PNG's gAMA chunk)",
                      1.0 / declared.gamma);
        said = text;
    } else {
        // No word from the file: sRGB, as the web and most cameras take it.
        return "sRGB (assumed)";
    }

    const cmsProfileClassSignature kind = cmsGetDeviceClass(source.get());
    if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass)
        fail(
            " is a device link, abstract or named-colour profile, which describes no image's "
            "colours");
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    if (space != signatureOf(image.space))
        fail(std::string(" describes ") + spaceWords(space) + " colour, but the image is " +
             spaceName(image.space));

    const ColourSpace to = image.space == ColourSpace::Grey ? ColourSpace::Grey : ColourSpace::Rgb;
    const Profile target = destination(to);
    const cmsUInt32Number inFormat = image.space == ColourSpace::Grey  ? TYPE_GRAY_8
                                     : image.space == ColourSpace::Rgb ? TYPE_RGB_8
                                                                       : TYPE_CMYK_8;
    const std::unique_ptr<void, TransformDeleter> transform(cmsCreateTransform(
        source.get(), inFormat, target.get(), to == ColourSpace::Grey ? TYPE_GRAY_8 : TYPE_RGB_8,
        INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION));
    if (!transform) fail(" (" + said + ") cannot be used: Little CMS builds no transform from it");
    const size_t pixels = size_t(image.width) * size_t(image.height);
    std::vector<uint8_t> out(pixels * size_t(channelCount(to)));
    cmsDoTransform(transform.get(), image.pixels.data(), out.data(), cmsUInt32Number(pixels));
    image.pixels = std::move(out);
    image.space = to;
    return said;
}

}  // namespace inkdot::cli
