// Colour for the tests: ICC profiles built with Little CMS (and the colours
// they give, worked out from their definitions), and sRGB's tone curve.
#pragma once

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "colour/colour_space.h"

namespace inkdot::testing {

inline const colour::ColourSpaces& spaces() {
    static const colour::ColourSpaces s;
    return s;
}

// Linear light as an sRGB byte.
inline int srgb(double linear) {
    return int(std::lround(spaces().srgbEncode(linear)));
}

// Fills a colour table stage from `sampler` and writes it under both tags,
// between the identity curves a v4 table of this kind has at each end.
inline void writeTable(cmsHPROFILE p, cmsTagSignature perceptual, cmsTagSignature colorimetric,
                       cmsUInt32Number ins, cmsUInt32Number outs, cmsUInt32Number points,
                       cmsSAMPLER16 sampler, void* cargo) {
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, ins, outs);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, points, ins, outs, nullptr);
    cmsStageSampleCLut16bit(table, sampler, cargo, 0);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, ins, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, table);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, outs, nullptr));
    cmsWriteTag(p, perceptual, lut);
    cmsWriteTag(p, colorimetric, lut);
    cmsPipelineFree(lut);
}

inline std::vector<uint8_t> saveProfile(cmsHPROFILE p, const char* description = nullptr) {
    if (!p) throw std::runtime_error("Little CMS could not build a test profile");
    if (description) {
        cmsMLU* text = cmsMLUalloc(nullptr, 1);
        cmsMLUsetASCII(text, "en", "US", description);
        cmsWriteTag(p, cmsSigProfileDescriptionTag, text);
        cmsMLUfree(text);
    }
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(p, bytes.data(), &size);
    cmsCloseProfile(p);
    return bytes;
}

constexpr cmsCIExyY kTestD65{0.3127, 0.3290, 1.0};

// An RGB space wider than sRGB in the greens, on a plain 2.2 power curve.
inline std::vector<uint8_t> wideRgbProfile() {
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&kTestD65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return saveProfile(p, "Wide RGB (test)");
}

inline std::vector<uint8_t> srgbProfile() {
    return saveProfile(cmsCreate_sRGBProfile());
}

// Grey on a power curve: `gamma` 1 is linear light.
inline std::vector<uint8_t> greyProfile(double gamma) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsHPROFILE p = cmsCreateGrayProfile(&kTestD65, curve);
    cmsFreeToneCurve(curve);
    return saveProfile(p, "Linear grey (test)");
}

// A device link, which describes no image's colours.
inline std::vector<uint8_t> linkProfile() {
    return saveProfile(cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 300));
}

// A press: each ink a filter on paper, in linear light relative to the
// paper (so bare paper is white), with sRGB's primaries. Ink amounts 0 to 1.
inline std::array<double, 3> pressLinear(double c, double m, double y, double k) {
    const double black = 1 - 0.92 * k;
    return {(1 - 0.85 * c) * (1 - 0.15 * m) * (1 - 0.02 * y) * black,
            (1 - 0.30 * c) * (1 - 0.85 * m) * (1 - 0.10 * y) * black,
            (1 - 0.10 * c) * (1 - 0.10 * m) * (1 - 0.90 * y) * black};
}

// The press as a CMYK output profile: its ink amounts to Lab on a grid of
// `points` a side (13 makes a profile of about 170 KB).
inline std::vector<uint8_t> pressCmykProfile(int points) {
    cmsToneCurve* one = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {one, one, one};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsHPROFILE linear = cmsCreateRGBProfile(&kTestD65, &primaries, curves);
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(linear, TYPE_RGB_DBL, lab, TYPE_Lab_DBL,
                                             INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsCloseProfile(linear);
    cmsCloseProfile(lab);
    cmsFreeToneCurve(one);

    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 4.3);
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetColorSpace(p, cmsSigCmykData);
    cmsSetPCS(p, cmsSigLabData);
    writeTable(
        p, cmsSigAToB0Tag, cmsSigAToB1Tag, 4, 3, cmsUInt32Number(points),
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
            const std::array<double, 3> v =
                pressLinear(in[0] / 65535.0, in[1] / 65535.0, in[2] / 65535.0, in[3] / 65535.0);
            cmsCIELab lab;
            cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), v.data(), &lab, 1);
            cmsFloat2LabEncoded(out, &lab);
            return TRUE;
        },
        toLab);
    // The way back, Lab to ink amounts, roughly: lightness from black ink,
    // and below what black alone reaches, all four inks. Colour management
    // reads the press's black point from it.
    writeTable(
        p, cmsSigBToA0Tag, cmsSigBToA1Tag, 3, 4, 17,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void*) -> cmsInt32Number {
            cmsCIELab lab;
            cmsLabEncoded2Float(&lab, in);
            const double Y = lab.L > 8 ? std::pow((lab.L + 16) / 116, 3) : lab.L / 903.3;
            const double k = std::min(1.0, (1 - Y) / 0.92),
                         cmy = std::clamp((0.08 - Y) / 0.07, 0.0, 1.0);
            out[0] = out[1] = out[2] = cmsUInt16Number(cmy * 65535);
            out[3] = cmsUInt16Number(k * 65535);
            return TRUE;
        },
        nullptr);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsDeleteTransform(toLab);
    return saveProfile(p, "Press CMYK (test)");
}

}  // namespace inkdot::testing
