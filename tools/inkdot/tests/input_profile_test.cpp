// Colour-managed input: profiles carried by the image files, and the
// conversion of their colours into what the pack's tables take, checked
// against colours worked out from the profiles' own definitions.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "colour_fixtures.h"
#include "failure.h"
#include "image.h"
#include "input_profile.h"

namespace {

namespace fs = std::filesystem;
using namespace inkdot::cli;
using namespace inkdot::testing;
using inkdot::colour::ColourSpaces;
using inkdot::colour::Lab;

Image pixels(ColourSpace space, std::vector<uint8_t> samples, std::vector<uint8_t> profile = {}) {
    Image im;
    im.space = space;
    im.width = int(samples.size()) / channelCount(space);
    im.height = 1;
    im.pixels = std::move(samples);
    im.declared.iccProfile = std::move(profile);
    return im;
}

Lab labOf(const Image& im, int x) {
    const uint8_t* p = &im.pixels[size_t(x) * 3];
    return spaces().labFromSrgb(p[0], p[1], p[2]);
}

class InputProfile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("inkdot_profiles_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    static fs::path file(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return dir / name;
    }

    static inline fs::path dir;
};

TEST_F(InputProfile, WideRgbBecomesSrgbOfTheSameColour) {
    // A mid green, a grey and white in a space wider than sRGB.
    Image im =
        pixels(ColourSpace::Rgb, {60, 170, 60, 128, 128, 128, 255, 255, 255}, wideRgbProfile());
    EXPECT_EQ(applyInputProfile(im, "wide.png", {}), "Wide RGB (test), embedded");
    ASSERT_EQ(im.space, ColourSpace::Rgb);
    // The green is more saturated than the same numbers read as sRGB, of
    // about the same hue.
    const Lab green = labOf(im, 0), asSrgb = spaces().labFromSrgb(60, 170, 60);
    EXPECT_GT(inkdot::colour::chroma(green), inkdot::colour::chroma(asSrgb) + 5);
    EXPECT_NEAR(inkdot::colour::hueDegrees(green), inkdot::colour::hueDegrees(asSrgb), 6);
    // The grey stays neutral, at the lightness of its 2.2 power curve.
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_NEAR(im.pixels[3 + size_t(ch)], srgb(std::pow(128 / 255.0, 2.2)), 1);
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(im.pixels[6 + size_t(ch)], 255);
}

TEST_F(InputProfile, GreyAndGammaBecomeSrgbTones) {
    // Grey 128 under different tone curves, as sRGB's encoding of its light.
    const uint8_t v = 128;
    auto withGamma = [](Image im, double gamma) {
        im.declared.gamma = gamma;
        return im;
    };
    const struct {
        const char* name;
        Image image;
        const char* says;
        double linear;
    } cases[] = {
        {"LinearGreyProfile", pixels(ColourSpace::Grey, {v}, greyProfile(1.0)),
         "Linear grey (test), embedded", v / 255.0},
        {"PngGamma18Grey", withGamma(pixels(ColourSpace::Grey, {v}), 1 / 1.8),
         "gamma 1.80 (the PNG's gAMA chunk)", std::pow(v / 255.0, 1.8)},
        {"PngGamma18Rgb", withGamma(pixels(ColourSpace::Rgb, {v, v, v}), 1 / 1.8),
         "gamma 1.80 (the PNG's gAMA chunk)", std::pow(v / 255.0, 1.8)},
        // A gAMA of 1/2.2 is sRGB's, and the samples stay as they are.
        {"PngGammaOfSrgb", withGamma(pixels(ColourSpace::Rgb, {v, v, v}), 0.45455),
         "sRGB (the PNG's gAMA chunk gives 1/2.2)", spaces().srgbDecode(v)},
        {"Untagged", pixels(ColourSpace::Grey, {v}), "sRGB (assumed)", spaces().srgbDecode(v)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image im = c.image;
        EXPECT_EQ(applyInputProfile(im, "grey.png", {}), c.says);
        EXPECT_EQ(im.space, c.image.space);
        for (uint8_t s : im.pixels) EXPECT_NEAR(s, srgb(c.linear), 1);
    }
}

TEST_F(InputProfile, SrgbProfileChangesNothing) {
    std::vector<uint8_t> ramp;
    for (int v = 0; v < 256; ++v)
        ramp.insert(ramp.end(), {uint8_t(v), uint8_t(255 - v), uint8_t(v / 2)});
    Image im = pixels(ColourSpace::Rgb, ramp, srgbProfile());
    applyInputProfile(im, "srgb.png", {});
    EXPECT_EQ(im.pixels, ramp);
}

TEST_F(InputProfile, CmykWithAProfileBecomesTheColourItMeant) {
    // Paper, cyan, red (magenta and yellow), the press's deepest black.
    Image im =
        pixels(ColourSpace::Cmyk, {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 0, 255, 255, 255, 255},
               pressCmykProfile(9));
    EXPECT_EQ(applyInputProfile(im, "press.tif", {}), "Press CMYK (test), embedded");
    ASSERT_EQ(im.space, ColourSpace::Rgb);
    ASSERT_EQ(im.pixels.size(), 12u);
    for (int ch = 0; ch < 3; ++ch) EXPECT_GE(im.pixels[size_t(ch)], 254);  // paper is white
    const double inks[2][4] = {{1, 0, 0, 0}, {0, 1, 1, 0}};
    for (int i = 0; i < 2; ++i) {
        const auto v = pressLinear(inks[i][0], inks[i][1], inks[i][2], inks[i][3]);
        const Lab want = spaces().labFromLinear({v[0], v[1], v[2]});
        EXPECT_LT(inkdot::colour::deltaE2000(labOf(im, 1 + i), want), 2.5) << "patch " << i + 1;
    }
    // The press's black is this printer's black (not the dark grey of about
    // 25, 21, 19 it is without black point compensation).
    for (int ch = 0; ch < 3; ++ch) EXPECT_LE(im.pixels[9 + size_t(ch)], 8);

    // Without a profile CMYK stays ink amounts.
    Image plain = pixels(ColourSpace::Cmyk, {10, 20, 30, 40});
    EXPECT_EQ(applyInputProfile(plain, "plain.tif", {}),
              "none, so the CMYK values go to the six-ink separation as ink amounts");
    EXPECT_EQ(plain.pixels, (std::vector<uint8_t>{10, 20, 30, 40}));
}

TEST_F(InputProfile, AGivenProfileTakesThePlaceOfTheEmbeddedOne) {
    const fs::path srgb = file("srgb.icc", srgbProfile());
    Image im = pixels(ColourSpace::Rgb, {60, 170, 60}, wideRgbProfile());
    const std::string said = applyInputProfile(im, "wide.png", srgb);
    EXPECT_EQ(im.pixels, (std::vector<uint8_t>{60, 170, 60}));
    EXPECT_NE(said.find("from " + srgb.string() + " in place of the one the image embeds"),
              std::string::npos)
        << said;
    // ... and gives colours to an image without one.
    Image plain = pixels(ColourSpace::Rgb, {60, 170, 60});
    applyInputProfile(plain, "plain.png", file("wide.icc", wideRgbProfile()));
    EXPECT_GT(inkdot::colour::chroma(labOf(plain, 0)),
              inkdot::colour::chroma(spaces().labFromSrgb(60, 170, 60)) + 5);
}

TEST_F(InputProfile, ProfilesThatDoNotFitAreRefused) {
    const std::vector<uint8_t> press = pressCmykProfile(9);
    const struct {
        const char* name;
        ColourSpace space;
        std::vector<uint8_t> embedded;
        fs::path given;
        int status;
        const char* says;
    } cases[] = {
        {"EmbeddedGarbage",
         ColourSpace::Rgb,
         {'n', 'o', 't', ' ', 'a', 'n', ' ', 'I', 'C', 'C'},
         {},
         kExitImage,
         "cannot read image pic: its ICC profile is damaged"},
        {"EmbeddedCut",
         ColourSpace::Cmyk,
         std::vector<uint8_t>(press.begin(), press.begin() + 300),
         {},
         kExitImage,
         "cannot read image pic: its ICC profile"},
        {"EmbeddedRgbInCmyk",
         ColourSpace::Cmyk,
         wideRgbProfile(),
         {},
         kExitImage,
         "describes RGB colour, but the image is CMYK"},
        {"EmbeddedGreyInRgb",
         ColourSpace::Rgb,
         greyProfile(1.0),
         {},
         kExitImage,
         "describes grey colour, but the image is RGB"},
        {"GivenMissing",
         ColourSpace::Rgb,
         {},
         dir / "absent.icc",
         kExitUsage,
         "absent.icc: no such file"},
        {"GivenGarbage",
         ColourSpace::Rgb,
         {},
         file("notes.icc", {'h', 'e', 'l', 'l', 'o'}),
         kExitUsage,
         "is not an ICC profile that can be read"},
        {"GivenCmykForRgb", ColourSpace::Rgb, wideRgbProfile(), file("press.icc", press),
         kExitUsage, "press.icc describes CMYK colour, but the image is RGB"},
        {"GivenDeviceLink",
         ColourSpace::Cmyk,
         {},
         file("link.icc", linkProfile()),
         kExitUsage,
         "device link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image im = pixels(c.space, std::vector<uint8_t>(size_t(channelCount(c.space)) * 2, 100),
                          c.embedded);
        try {
            applyInputProfile(im, "pic", c.given);
            ADD_FAILURE() << "no failure";
        } catch (const Failure& f) {
            EXPECT_EQ(f.status(), c.status);
            EXPECT_NE(std::string(f.what()).find(c.says), std::string::npos) << f.what();
        }
    }
}

// The marker segments of a JPEG file up to its scan, as (offset, length of
// the whole segment).
std::vector<std::pair<size_t, size_t>> jpegSegments(const std::string& bytes) {
    std::vector<std::pair<size_t, size_t>> out;
    for (size_t at = 2;
         at + 4 <= bytes.size() && uint8_t(bytes[at]) == 0xFF && uint8_t(bytes[at + 1]) != 0xDA;) {
        const size_t length = 2 + (size_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]));
        out.emplace_back(at, length);
        at += length;
    }
    return out;
}

TEST_F(InputProfile, FilesCarryTheirProfiles) {
    const std::vector<uint8_t> wide = wideRgbProfile(), large = pressCmykProfile(13),
                               grey = greyProfile(1.0);
    ASSERT_GT(large.size(), 2u * 65519u);  // at least three JPEG markers
    const struct {
        const char* name;
        ColourSpace space;
        const std::vector<uint8_t>* profile;
    } cases[] = {{"rgb.png", ColourSpace::Rgb, &wide},  {"grey.png", ColourSpace::Grey, &grey},
                 {"rgb.jpg", ColourSpace::Rgb, &wide},  {"cmyk.jpg", ColourSpace::Cmyk, &large},
                 {"rgb.tif", ColourSpace::Rgb, &wide},  {"cmyk.tif", ColourSpace::Cmyk, &large},
                 {"grey.tif", ColourSpace::Grey, &grey}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image im = pixels(c.space, std::vector<uint8_t>(size_t(channelCount(c.space)) * 8, 90),
                          *c.profile);
        im.height = 2, im.width = 4;
        writeImage(dir / c.name, im);
        const Image back = readImage(dir / c.name);
        EXPECT_EQ(back.space, c.space);
        EXPECT_EQ(back.declared.iccProfile, *c.profile);
    }
    // PNG's own chunks: a file with a profile also says its samples are
    // gamma-encoded (1/2.2); one without says sRGB.
    EXPECT_NEAR(readImage(dir / "rgb.png").declared.gamma, 0.45455, 1e-5);
    Image plain = pixels(ColourSpace::Rgb, std::vector<uint8_t>(12, 90));
    writeImage(dir / "plain.png", plain);
    EXPECT_TRUE(readImage(dir / "plain.png").declared.srgb);
    EXPECT_FALSE(readImage(dir / "rgb.png").declared.srgb);

    // A JPEG that lost one of its profile's markers, and a PNG whose profile
    // is for another kind of image, are refused rather than read as sRGB.
    std::ifstream in(dir / "cmyk.jpg", std::ios::binary);
    std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const auto& [at, length] : jpegSegments(jpeg))
        if (uint8_t(jpeg[at + 1]) == 0xE2 && jpeg[at + 4 + 12] == 2) {
            jpeg.erase(at, length);
            break;
        }
    std::ofstream(dir / "cut.jpg", std::ios::binary) << jpeg;
    Image rgb = pixels(ColourSpace::Rgb, std::vector<uint8_t>(12, 90), large);
    writeImage(dir / "cmyk-profile.png", rgb);
    for (const auto& [name, says] : {std::pair{"cut.jpg", "is incomplete (marker 2 of"},
                                     std::pair{"cmyk-profile.png", "ICC profile cannot be used"}}) {
        SCOPED_TRACE(name);
        try {
            readImage(dir / name);
            ADD_FAILURE() << "no failure";
        } catch (const Failure& f) {
            EXPECT_EQ(f.status(), kExitImage);
            EXPECT_NE(std::string(f.what()).find(says), std::string::npos) << f.what();
        }
    }
}

}  // namespace
