#include "colour/colour_space.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace inkdot::colour {

// The transforms keep no cache, so one ColourSpaces serves several threads;
// they are not optimised, so linear light keeps its full precision.
struct ColourSpaces::Transforms {
    cmsHTRANSFORM linearToLab = nullptr;
    cmsHTRANSFORM srgbToLab = nullptr, labToSrgb = nullptr;
    cmsToneCurve* srgbCurve = nullptr;  // encoded 0..1 to linear 0..1
    cmsToneCurve* srgbInverse = nullptr;

    ~Transforms() {
        for (cmsHTRANSFORM t : {linearToLab, srgbToLab, labToSrgb})
            if (t) cmsDeleteTransform(t);
        for (cmsToneCurve* c : {srgbCurve, srgbInverse})
            if (c) cmsFreeToneCurve(c);
    }
};

namespace {

constexpr cmsUInt32Number kFlags = cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE;

// Linear light with the sRGB primaries and white point.
cmsHPROFILE linearProfile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* one = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {one, one, one};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(one);
    return p;
}

cmsHTRANSFORM make(cmsHPROFILE from, cmsUInt32Number inFormat, cmsHPROFILE to,
                   cmsUInt32Number outFormat) {
    cmsHTRANSFORM t =
        cmsCreateTransform(from, inFormat, to, outFormat, INTENT_RELATIVE_COLORIMETRIC, kFlags);
    if (!t) throw std::runtime_error("Little CMS could not build a colour transform");
    return t;
}

}  // namespace

ColourSpaces::ColourSpaces() : t_(std::make_unique<Transforms>()) {
    cmsHPROFILE linear = linearProfile(), srgb = cmsCreate_sRGBProfile(),
                lab = cmsCreateLab4Profile(nullptr);
    if (!linear || !srgb || !lab)
        throw std::runtime_error("Little CMS could not build its profiles");
    t_->linearToLab = make(linear, TYPE_RGB_DBL, lab, TYPE_Lab_DBL);
    t_->srgbToLab = make(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL);
    t_->labToSrgb = make(lab, TYPE_Lab_DBL, srgb, TYPE_RGB_8);
    cmsCloseProfile(linear);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    // The sRGB curve in its parametric form: a power of 2.4 with a linear
    // segment near black.
    const cmsFloat64Number srgbParameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92,
                                                0.04045};
    t_->srgbCurve = cmsBuildParametricToneCurve(nullptr, 4, srgbParameters);
    t_->srgbInverse = t_->srgbCurve ? cmsReverseToneCurve(t_->srgbCurve) : nullptr;
    if (!t_->srgbInverse) throw std::runtime_error("Little CMS could not build the sRGB curve");
}

ColourSpaces::~ColourSpaces() = default;

Lab ColourSpaces::labFromLinear(const Linear& v) const {
    Lab out;
    labFromLinear(&v, &out, 1);
    return out;
}

void ColourSpaces::labFromLinear(const Linear* in, Lab* out, size_t count) const {
    static_assert(sizeof(Linear) == 3 * sizeof(double) && sizeof(Lab) == 3 * sizeof(double));
    cmsDoTransform(t_->linearToLab, in, out, cmsUInt32Number(count));
}

Lab ColourSpaces::labFromSrgb(uint8_t r, uint8_t g, uint8_t b) const {
    const uint8_t in[3] = {r, g, b};
    Lab out;
    cmsDoTransform(t_->srgbToLab, in, &out, 1);
    return out;
}

std::array<uint8_t, 3> ColourSpaces::srgbFromLab(const Lab& v) const {
    std::array<uint8_t, 3> out{};
    cmsDoTransform(t_->labToSrgb, &v, out.data(), 1);
    return out;
}

Lab ColourSpaces::labFromXyz(const Xyz& v) const {
    const cmsCIEXYZ xyz{v.X, v.Y, v.Z};
    cmsCIELab lab;
    cmsXYZ2Lab(cmsD50_XYZ(), &lab, &xyz);
    return {lab.L, lab.a, lab.b};
}

Xyz ColourSpaces::xyzFromLab(const Lab& v) const {
    const cmsCIELab lab{v.L, v.a, v.b};
    cmsCIEXYZ xyz;
    cmsLab2XYZ(cmsD50_XYZ(), &xyz, &lab);
    return {xyz.X, xyz.Y, xyz.Z};
}

Lab relativeLab(const ColourSpaces& spaces, const Linear& reflectance, const Linear& paper) {
    return spaces.labFromLinear(
        {reflectance.r / paper.r, reflectance.g / paper.g, reflectance.b / paper.b});
}

double deltaE2000(const Lab& a, const Lab& b) {
    const cmsCIELab x{a.L, a.a, a.b}, y{b.L, b.a, b.b};
    return cmsCIE2000DeltaE(&x, &y, 1.0, 1.0, 1.0);
}

double chroma(const Lab& v) {
    return std::hypot(v.a, v.b);
}

double hueDegrees(const Lab& v) {
    const double h = std::atan2(v.b, v.a) * 180.0 / 3.14159265358979323846;
    return h < 0 ? h + 360.0 : h;
}

double ColourSpaces::srgbEncode(double linear) const {
    return 255.0 *
           cmsEvalToneCurveFloat(t_->srgbInverse, cmsFloat32Number(std::clamp(linear, 0.0, 1.0)));
}

double ColourSpaces::srgbDecode(double encoded) const {
    return cmsEvalToneCurveFloat(t_->srgbCurve,
                                 cmsFloat32Number(std::clamp(encoded / 255.0, 0.0, 1.0)));
}

}  // namespace inkdot::colour
