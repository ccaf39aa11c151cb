// Colour-managed input: profiles built here with Little CMS, embedded in
// PNG and TIFF files written here, or given as a file.
#include <gtest/gtest.h>

#include <lcms2.h>
#include <tiffio.h>
#include <zlib.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "colour/colour_space.h"
#include "failure.h"
#include "image.h"
#include "input_profile.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> saved(cmsHPROFILE p) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(p, bytes.data(), &size);
    cmsCloseProfile(p);
    return bytes;
}

// An RGB profile with wide primaries (those of a common wide-gamut working
// space) and a 2.2 gamma.
std::vector<uint8_t> wideRgb() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* g = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {g, g, g};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(g);
    return saved(p);
}

// A grey profile whose values are linear light.
std::vector<uint8_t> linearGrey() {
    cmsToneCurve* one = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), one);
    cmsFreeToneCurve(one);
    return saved(p);
}

// A CMYK profile of simple subtractive inks: each ink takes away its share
// of one or all of red, green and blue, in linear light.
int inkSampler(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    const double light[3] = {(1 - 0.9 * c) * (1 - 0.9 * k), (1 - 0.9 * m) * (1 - 0.9 * k), (1 - 0.9 * y) * (1 - 0.9 * k)};
    // Linear sRGB to XYZ (D50) to Lab, by hand for this fixture.
    const double M[3][3] = {{0.4361, 0.3851, 0.1431}, {0.2225, 0.7169, 0.0606}, {0.0139, 0.0971, 0.7141}};
    cmsCIEXYZ xyz{M[0][0] * light[0] + M[0][1] * light[1] + M[0][2] * light[2],
                  M[1][0] * light[0] + M[1][1] * light[1] + M[1][2] * light[2],
                  M[2][0] * light[0] + M[2][1] * light[1] + M[2][2] * light[2]};
    cmsCIELab lab;
    cmsXYZ2Lab(cmsD50_XYZ(), &lab, &xyz);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

std::vector<uint8_t> simpleCmyk() {
    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 2.1);  // a colour table alone is a version 2 lut16
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetColorSpace(p, cmsSigCmykData);
    cmsSetPCS(p, cmsSigLabData);
    cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(clut, inkSampler, nullptr, 0);
    cmsPipelineInsertStage(a2b, cmsAT_BEGIN, clut);
    cmsWriteTag(p, cmsSigAToB0Tag, a2b);
    cmsWriteTag(p, cmsSigAToB1Tag, a2b);
    cmsPipelineFree(a2b);
    cmsMLU* name = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(name, "en", "US", "simple inks");
    cmsWriteTag(p, cmsSigProfileDescriptionTag, name);
    cmsMLUfree(name);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    return saved(p);
}

fs::path dir() {
    const fs::path d = fs::temp_directory_path() / ("inkdot_profile_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}

// A PNG of one colour with the profile in an iCCP chunk before its pixels.
fs::path pngWithProfile(const std::string& name, const Image& image, const std::vector<uint8_t>& profile) {
    const fs::path plain = dir() / (name + ".plain.png"), path = dir() / (name + ".png");
    writeImage(plain, image);
    std::ifstream in(plain, std::ios::binary);
    std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uLongf packedSize = compressBound(uLong(profile.size()));
    std::vector<uint8_t> packed(packedSize);
    compress(packed.data(), &packedSize, profile.data(), uLong(profile.size()));
    std::vector<uint8_t> chunk{'i', 'C', 'C', 'P', 'w', 'i', 'd', 'e', 0, 0};
    chunk.insert(chunk.end(), packed.begin(), packed.begin() + long(packedSize));
    const uint32_t length = uint32_t(chunk.size() - 4), crc = uint32_t(crc32(0, chunk.data(), uInt(chunk.size())));
    std::vector<uint8_t> out(png.begin(), png.begin() + 33);  // signature and IHDR
    for (int s : {24, 16, 8, 0}) out.push_back(uint8_t(length >> s));
    out.insert(out.end(), chunk.begin(), chunk.end());
    for (int s : {24, 16, 8, 0}) out.push_back(uint8_t(crc >> s));
    out.insert(out.end(), png.begin() + 33, png.end());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    return path;
}

fs::path tiffWithProfile(const std::string& name, const Image& image, const std::vector<uint8_t>& profile) {
    const fs::path path = dir() / (name + ".tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(image.height));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.data());
    for (int y = 0; y < image.height; ++y)
        TIFFWriteScanline(t, const_cast<uint8_t*>(&image.pixels[size_t(y) * size_t(image.width) * 3]), uint32_t(y), 0);
    TIFFClose(t);
    return path;
}

Image solid(ColourSpace space, std::vector<uint8_t> value) {
    Image im;
    im.width = im.height = 4;
    im.space = space;
    for (int i = 0; i < 16; ++i) im.pixels.insert(im.pixels.end(), value.begin(), value.end());
    return im;
}

double chromaOf(const Image& im) {
    return colour::chroma(colour::ColourSpaces().labFromSrgb(im.pixels[0], im.pixels[1], im.pixels[2]));
}

TEST(InputProfile, WideGamutRgbComesOutMoreSaturatedThanTakenAsSrgb) {
    const Image green = solid(ColourSpace::Rgb, {64, 128, 64});
    for (const fs::path& file : {pngWithProfile("wide", green, wideRgb()), tiffWithProfile("wide", green, wideRgb())}) {
        Image im = readImage(file);
        ASSERT_FALSE(im.icc.empty()) << file;
        const std::string said = applyInputProfile(im, {});
        EXPECT_NE(said.find("(embedded), converted to sRGB"), std::string::npos) << said;
        EXPECT_EQ(im.space, ColourSpace::Rgb);
        EXPECT_GT(chromaOf(im), chromaOf(green) + 5.0) << file;
    }
    // Without a profile the pixels are sRGB already.
    Image plain = green;
    EXPECT_NE(applyInputProfile(plain, {}).find("sRGB (no profile"), std::string::npos);
    EXPECT_EQ(plain.pixels, green.pixels);
}

TEST(InputProfile, GreyStaysGreyOnSrgbsToneScale) {
    // Linear-light grey 128 is half the light: sRGB 188.
    const fs::path file = dir() / "linear-grey.icc";
    const std::vector<uint8_t> p = linearGrey();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
    Image grey = solid(ColourSpace::Grey, {128});
    applyInputProfile(grey, file);
    EXPECT_EQ(grey.space, ColourSpace::Grey);
    EXPECT_NEAR(grey.pixels[0], 188, 1);
}

TEST(InputProfile, CmykWithAProfilePrintsAsTheProfileSaysItLooks) {
    const fs::path file = dir() / "simple-cmyk.icc";
    const std::vector<uint8_t> p = simpleCmyk();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
    Image paper = solid(ColourSpace::Cmyk, {0, 0, 0, 0}), cyan = solid(ColourSpace::Cmyk, {255, 0, 0, 0});
    const std::string said = applyInputProfile(paper, file);
    EXPECT_NE(said.find("simple inks (from simple-cmyk.icc), converted to sRGB"), std::string::npos) << said;
    EXPECT_EQ(paper.space, ColourSpace::Rgb);
    for (uint8_t v : paper.pixels) EXPECT_GE(v, 250);  // the paper is white
    applyInputProfile(cyan, file);
    const colour::Lab lab = colour::ColourSpaces().labFromSrgb(cyan.pixels[0], cyan.pixels[1], cyan.pixels[2]);
    EXPECT_LT(lab.a, -15.0);  // cyan: green-blue
    EXPECT_LT(lab.b, -10.0);
}

TEST(InputProfile, ProfilesThatDoNotFitAreRefused) {
    const fs::path junk = dir() / "junk.icc";
    std::ofstream(junk) << "not a profile";
    const fs::path rgb = dir() / "wide.icc";
    const std::vector<uint8_t> p = wideRgb();
    std::ofstream(rgb, std::ios::binary).write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
    struct Case {
        Image image;
        fs::path given;
        int status;
    };
    Image damaged = solid(ColourSpace::Rgb, {1, 2, 3});
    damaged.icc = {1, 2, 3, 4};
    const Case cases[] = {
        {damaged, {}, kExitImage},                                       // embedded and unreadable
        {solid(ColourSpace::Cmyk, {0, 0, 0, 0}), rgb, kExitUsage},       // RGB profile for CMYK pixels
        {solid(ColourSpace::Rgb, {1, 2, 3}), junk, kExitUsage},          // given and unreadable
        {solid(ColourSpace::Rgb, {1, 2, 3}), dir() / "none.icc", kExitUsage},  // given and missing
    };
    for (const Case& c : cases) {
        Image im = c.image;
        try {
            applyInputProfile(im, c.given);
            ADD_FAILURE() << "accepted " << c.given;
        } catch (const Failure& f) {
            EXPECT_EQ(f.status(), c.status) << f.what();
        }
    }
}

} // namespace
} // namespace inkdot::cli
