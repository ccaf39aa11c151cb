// The inkdot command run as a user runs it: small images through every
// path of the driver sequence, compared with the checksums of their planes,
// and the errors a user can act on, each with its message and exit status.
//
// The checksums change when the library's dots, the default pack or the
// command's scaling and colour conversion change. To see the new values run
// with INKDOT_PRINT_CHECKSUMS=1 and copy the lines it prints.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "chart.h"
#include "colour.h"
#include "colour/cgats.h"
#include "colour/colour_space.h"
#include "colour/ink_model.h"
#include "colour_fixtures.h"
#include "failure.h"
#include "image.h"
#include "orientation.h"
#include "pack.h"
#include "planes.h"
#include "respack/respack.h"
#include "settings.h"

namespace {

namespace fs = std::filesystem;
using namespace inkdot::cli;
using namespace inkdot::colour;
using namespace inkdot::testing;

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Image solid(int w, int h, ColourSpace space, std::vector<uint8_t> value) {
    Image im;
    im.width = w, im.height = h, im.space = space;
    for (int i = 0; i < w * h; ++i) im.pixels.insert(im.pixels.end(), value.begin(), value.end());
    return im;
}

// Cyan across, magenta down, yellow in steps, black in one corner: every
// ink at many levels.
Image cmykRamps() {
    Image im = solid(64, 48, ColourSpace::Cmyk, {0, 0, 0, 0});
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = &im.pixels[size_t(y * 64 + x) * 4];
            p[0] = uint8_t(x * 4), p[1] = uint8_t(y * 5), p[2] = uint8_t((x / 16) * 80),
            p[3] = x > 48 && y > 32 ? 200 : 0;
        }
    return im;
}

Image greyRamps() {
    Image im = solid(64, 48, ColourSpace::Grey, {255});
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            im.pixels[size_t(y * 64 + x)] = uint8_t(y < 24 ? 255 - x * 4 : (x / 8) * 36);
    return im;
}

class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root = fs::temp_directory_path() / ("inkdot_cli_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
        respack::writeDefaultPack(root / "pack");
        writeImage(root / "rgb.png", drawChart(96, 136));
        writeImage(root / "rgb.jpg", drawChart(96, 136));
        writeImage(root / "cmyk.tif", cmykRamps());
        writeImage(root / "cmyk.pam", cmykRamps());
        writeImage(root / "grey.pgm", greyRamps());
        writeImage(root / "white.png", solid(16, 16, ColourSpace::Rgb, {255, 255, 255}));
        writeImage(root / "yellow.png", solid(16, 16, ColourSpace::Rgb, {255, 255, 0}));
        writeImage(root / "black.png", solid(96, 64, ColourSpace::Rgb, {0, 0, 0}));
        // The same pictures in colour-managed files.
        Image chart = drawChart(96, 136);
        chart.declared.iccProfile = wideRgbProfile();
        for (const char* name : {"wide.png", "wide.jpg", "wide.tif"})
            writeImage(root / name, chart);
        Image green = solid(16, 16, ColourSpace::Rgb, {60, 170, 60});
        writeImage(root / "green.png", green);
        green.declared.iccProfile = wideRgbProfile();
        writeImage(root / "wide-green.png", green);
        Image press = cmykRamps();
        press.declared.iccProfile = pressCmykProfile(9);
        writeImage(root / "press.tif", press);
        press.declared.iccProfile = wideRgbProfile();
        writeImage(root / "rgb-profile.tif", press);
        const std::vector<uint8_t> srgb = srgbProfile();
        std::ofstream(root / "srgb.icc", std::ios::binary) << std::string(srgb.begin(), srgb.end());
    }
    static void TearDownTestSuite() { fs::remove_all(root); }

    // Runs the command (arguments as a shell line) with its output captured.
    static Outcome run(const std::string& args) {
        return shell(std::string(INKDOT_CLI_PATH) + " " + args);
    }

    // Runs a shell line with its output captured.
    static Outcome shell(const std::string& command) {
        const fs::path out = root / "stdout.txt", err = root / "stderr.txt";
        const std::string line = command + " >" + out.string() + " 2>" + err.string();
        Outcome r;
        const int raw = std::system(line.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }

    // `print` of an image in the test directory onto a small page.
    static Outcome print(const std::string& image, const std::string& out,
                         const std::string& args) {
        return run("print " + (root / image).string() + " -o " + (root / out).string() +
                   " --pack " + (root / "pack").string() +
                   " --page 24x16mm --margin 1 --preview-width 200 -q " + args);
    }

    // A copy of the default pack to damage.
    static fs::path packCopy(const std::string& name) {
        const fs::path dir = root / name;
        fs::remove_all(dir);
        fs::copy(root / "pack", dir);
        return dir;
    }

    static inline fs::path root;
};

// The planes of a print: their files in order, read back whatever their
// format, and hashed together (FNV-1a, 64 bits, over each plane as a raw
// plane file holds it, header included), so every format of one print has
// one checksum.
struct Planes {
    std::vector<PlaneHeader> headers;
    std::vector<std::string> bytes;
    std::string checksum;
};

Planes readPlanes(const fs::path& dir, const std::vector<std::string>& inks,
                  PlaneFormat format = PlaneFormat::Tiff) {
    Planes p;
    Bytes all;
    for (const std::string& ink : inks) {
        fs::path file = dir / planeFileName(ink, format, 1);
        if (!fs::exists(file)) file = dir / planeFileName(ink, format, 2);
        const Plane plane = readPlaneFile(file);
        p.headers.push_back(plane.header);
        p.bytes.emplace_back(plane.rows.begin(), plane.rows.end());
        const Bytes header = planeHeaderBytes(plane.header);
        all.insert(all.end(), header.begin(), header.end());
        all.insert(all.end(), plane.rows.begin(), plane.rows.end());
    }
    p.checksum = checksumText(all);
    return p;
}

const std::vector<std::string> kSixInks{"cyan",  "magenta",    "yellow",
                                        "black", "light-cyan", "light-magenta"};
const std::vector<std::string> kSixInkNames{"cyan",  "magenta",    "yellow",
                                            "black", "light cyan", "light magenta"};

uint64_t dotsOf(const std::string& plane, int bits) {
    DotCounts c;
    countDots(reinterpret_cast<const uint8_t*>(plane.data()), plane.size(), bits, c);
    return c.dots();
}

struct PathCase {
    const char* name;
    const char* image;
    const char* args;
    int bits, xResolution, yResolution;
    bool six;
    const char* checksum;
};

// Every path: RGB, CMYK and grey; one and two bits; diffusion and ordered
// dither (the one-bit six-ink dither is the separation path); every
// resolution the kernels serve.
const PathCase kPaths[] = {
    {"RgbDiffusionTwoBit1440", "rgb.png", "--media PhotoGlossy --resolution 1440x720 --dots 2", 2,
     1440, 720, true, "7e9812869b3e8e11"},
    {"RgbDiffusionTwoBit2880Records", "rgb.png", "--media PhotoGlossy --quality best --dots 2", 2,
     2880, 720, true, "1823f6769d4bdf60"},
    {"RgbDiffusionTwoBit360x720", "rgb.png", "--resolution 360x720 --dots 2", 2, 360, 720, true,
     "323523c8455fc57e"},
    {"RgbDiffusionOneBit720x360", "rgb.png", "--quality draft --dots 1", 1, 720, 360, true,
     "8c158372d140b2d2"},
    {"RgbOrderedOneBitSeparation", "rgb.png", "--method ordered --dots 1", 1, 720, 720, true,
     "fbf7d536caa88704"},
    {"RgbBayerTwoBit", "rgb.png", "--method bayer --dots 2 --media PhotoMatte", 2, 720, 720, true,
     "bbfd4a171beba2bb"},
    {"RgbAdjustedVivid", "rgb.png",
     "--colour-mode Vivid --brightness 10 --contrast -10 --saturation 20 --gamma 1.8 --dots 1", 1,
     720, 720, true, "5644dcfe677cc5d1"},
    {"CmykDiffusionOneBit", "cmyk.tif", "--dots 1", 1, 720, 720, true, "bc24dc727e373fbc"},
    {"CmykOrderedTwoBit1440", "cmyk.tif", "--method ordered --dots 2 --resolution 1440x720", 2,
     1440, 720, true, "6a8cf549c2cd586f"},
    {"GreyDiffusionOneBit", "grey.pgm", "--dots 1", 1, 720, 720, false, "b3299186c7511e31"},
    {"GreyDiffusionTwoBit1440", "grey.pgm", "--dots 2 --resolution 1440x720", 2, 1440, 720, false,
     "e5030b4dbf104215"},
    {"GreyOrderedOneBit", "grey.pgm", "--method ordered --dots 1 --resolution 1440x720", 1, 1440,
     720, false, "bbeb37e00602037d"},
    {"RgbInBlackInk", "rgb.png", "--inks black --dots 2 --brightness -10", 2, 720, 720, false,
     "8f9a2a34cf93a8b1"},
};

TEST_F(Cli, EveryPathGivesItsPlanes) {
    const bool printChecksums = std::getenv("INKDOT_PRINT_CHECKSUMS") != nullptr;
    for (const PathCase& c : kPaths) {
        SCOPED_TRACE(c.name);
        const Outcome r = print(c.image, c.name, c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");  // quiet
        const std::vector<std::string> inks = c.six ? kSixInks : std::vector<std::string>{"black"};
        const Planes p = readPlanes(root / c.name, inks);
        // A 24 x 16 mm page in device pixels.
        const uint32_t width = uint32_t(std::lround(24 / 25.4 * c.xResolution));
        const uint32_t height = uint32_t(std::lround(16 / 25.4 * c.yResolution));
        uint64_t dots = 0;
        for (size_t k = 0; k < inks.size(); ++k) {
            const PlaneHeader& h = p.headers[k];
            EXPECT_EQ(h.ink, c.six ? kSixInkNames[k] : "black");
            EXPECT_EQ(h.width, width);
            EXPECT_EQ(h.height, height);
            EXPECT_EQ(h.bits, uint32_t(c.bits));
            EXPECT_EQ(h.rowBytes, (width * uint32_t(c.bits) + 7) / 8);
            EXPECT_EQ(h.xResolution, uint32_t(c.xResolution));
            EXPECT_EQ(p.bytes[k].size(), size_t(h.rowBytes) * h.height);
            dots += dotsOf(p.bytes[k], c.bits);
        }
        EXPECT_GT(dots, 0u);
        const Image preview = readImage(root / c.name / "preview.png");
        EXPECT_EQ(preview.width, 200);
        EXPECT_NEAR(preview.height, 133, 1);  // 16 / 24 of the width, whatever the pixel shape
        if (printChecksums)
            std::printf("    %s: \"%s\"\n", c.name, p.checksum.c_str());
        else
            EXPECT_EQ(p.checksum, c.checksum);
    }
}

// The plane formats hold the same dots: TIFF (Group 4 for one bit, two
// bits a sample for two), PBM or PGM, and raw; the TIFF says which ink it
// is and at what resolution, so a viewer shows it at its size.
TEST_F(Cli, PlaneFormatsHoldTheSameDots) {
    for (int bits : {1, 2}) {
        SCOPED_TRACE(std::to_string(bits) + "-bit dots");
        const std::string args = "--dots " + std::to_string(bits) + " --resolution 1440x720";
        std::string checksum;
        for (auto [name, format] : {std::pair{"raw", PlaneFormat::Raw},
                                    {"TIFF", PlaneFormat::Tiff},
                                    {"pnm", PlaneFormat::Pnm}}) {
            SCOPED_TRACE(name);
            const std::string dir = std::string("formats-") + name + std::to_string(bits);
            ASSERT_EQ(print("rgb.png", dir, args + " --planes " + name).status, 0);
            const Planes p = readPlanes(root / dir, kSixInks, format);
            if (checksum.empty()) checksum = p.checksum;
            EXPECT_EQ(p.checksum, checksum);
            EXPECT_GT(dotsOf(p.bytes[0], bits), 0u);
        }
        TIFF* tif = TIFFOpen(
            (root / ("formats-TIFF" + std::to_string(bits)) / "light-magenta.tif").c_str(), "r");
        ASSERT_NE(tif, nullptr);
        uint16_t compression = 0, bps = 0, photometric = 0, unit = 0;
        float xres = 0, yres = 0;
        char* page = nullptr;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres);
        TIFFGetField(tif, TIFFTAG_PAGENAME, &page);
        EXPECT_EQ(compression, bits == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
        EXPECT_EQ(bps, bits);
        EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);  // dots dark on white paper
        EXPECT_EQ(unit, RESUNIT_INCH);
        EXPECT_EQ(xres, 1440.f);
        EXPECT_EQ(yres, 720.f);
        EXPECT_STREQ(page, "light magenta");
        TIFFClose(tif);
    }
    // PGM shows paper white and a large dot black.
    const std::string pgm = slurp(root / "formats-pnm2" / "yellow.pgm");
    EXPECT_EQ(pgm.substr(0, 3), "P5\n");
    EXPECT_TRUE(contains(pgm, "\n3\n")) << pgm.substr(0, 200);
    EXPECT_EQ(uint8_t(pgm.back()), 3);  // the page's last pixel is paper
}

// A second job into the same directory leaves only its own planes: the
// earlier job's go, whatever their format, and files that are not planes
// stay.
TEST_F(Cli, AJobRemovesTheEarlierJobsPlanes) {
    const fs::path dir = root / "again";
    fs::create_directories(dir);
    std::ofstream(dir / "notes.pgm") << "P5\n1 1\n255\nx";
    writeImage(dir / "photo.tif", solid(4, 4, ColourSpace::Rgb, {1, 2, 3}));
    ASSERT_EQ(print("rgb.png", "again", "--dots 2 --planes raw").status, 0);
    ASSERT_EQ(print("rgb.png", "again", "--dots 2 --planes pnm").status, 0);
    ASSERT_EQ(print("grey.pgm", "again", "--dots 1").status, 0);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"black.tif", "notes.pgm", "photo.tif",
                                               "preview-crop.png", "preview.png"}));
}

TEST_F(Cli, CmykFromTiffAndPamPrintAlike) {
    ASSERT_EQ(print("cmyk.tif", "tif", "--dots 2").status, 0);
    ASSERT_EQ(print("cmyk.pam", "pam", "--dots 2").status, 0);
    EXPECT_EQ(readPlanes(root / "tif", kSixInks).checksum,
              readPlanes(root / "pam", kSixInks).checksum);
}

TEST_F(Cli, InksLandOnTheirPlanesAndPaperStaysBlank) {
    ASSERT_EQ(print("yellow.png", "yellow", "--dots 2").status, 0);
    const Planes yellow = readPlanes(root / "yellow", kSixInks);
    const uint64_t pixels = uint64_t(yellow.headers[0].width) * yellow.headers[0].height;
    EXPECT_GT(dotsOf(yellow.bytes[2], 2), pixels / 2);  // yellow
    for (int k : {0, 1, 3})
        EXPECT_LT(dotsOf(yellow.bytes[size_t(k)], 2), pixels / 50) << kSixInks[size_t(k)];

    ASSERT_EQ(print("white.png", "white", "--dots 1").status, 0);
    const Planes white = readPlanes(root / "white", kSixInks);
    for (const std::string& plane : white.bytes) EXPECT_EQ(dotsOf(plane, 1), 0u);
    // Bare paper previews as the paper of the media's ink model (the
    // default media is plain paper), not as the screen's white.
    const Image preview = readImage(root / "white" / "preview.png");
    const int paper =
        int(std::lround(ColourSpaces().srgbEncode(InkModel::forMedia("PlainPaper")->paper.g)));
    EXPECT_LT(paper, 250);
    for (uint8_t v : preview.pixels) ASSERT_EQ(v, paper);
}

TEST_F(Cli, SolidBlackPreviewsAsPrintedLargeAtEveryRatio) {
    // A black image over the whole page, previewed at 0.7 to 85 device
    // pixels a preview pixel across, with square and with oblong device
    // pixels. The inside of the preview shows the mean colour of the dots
    // under it, as the same area printed large would look.
    const InkModel model = *InkModel::forMedia("PhotoGlossy");
    std::vector<InkId> inks;
    for (const std::string& name : kSixInkNames) inks.push_back(*inkByName(name));
    const std::vector<Linear> combos = model.combinations(inks, 2);
    const ColourSpaces spaces;
    for (const char* resolution : {"720x720", "1440x720", "360x720"})
        for (int width : {1000, 680, 272, 170, 93, 16}) {
            SCOPED_TRACE(std::string(resolution) + ", preview " + std::to_string(width) +
                         " pixels wide");
            const Outcome r =
                run("print " + (root / "black.png").string() + " -o " + (root / "black").string() +
                    " --pack " + (root / "pack").string() +
                    " --page 24x16mm --margin 0 --dots 2 --media PhotoGlossy -q" +
                    " --resolution " + resolution + " --preview-width " + std::to_string(width));
            ASSERT_EQ(r.status, 0) << r.err;
            const Planes planes = readPlanes(root / "black", kSixInks);
            const Image preview = readImage(root / "black" / "preview.png");
            const uint64_t W = planes.headers[0].width, H = planes.headers[0].height;
            const uint64_t P = uint64_t(preview.width), Q = uint64_t(preview.height);
            // Preview pixels 1 to P - 2 across and 1 to Q - 2 down, and the
            // device pixels under them.
            const uint64_t x0 = (W + P - 1) / P, x1 = (P - 1) * W / P, y0 = (H + Q - 1) / Q,
                           y1 = (Q - 1) * H / Q;
            double device[3] = {0, 0, 0}, shown[3] = {0, 0, 0};
            for (uint64_t y = y0; y < y1; ++y)
                for (uint64_t x = x0; x < x1; ++x) {
                    size_t e = 0;
                    for (size_t k = 0; k < inks.size(); ++k) {
                        const uint8_t byte =
                            uint8_t(planes.bytes[k][y * planes.headers[k].rowBytes + x / 4]);
                        e |= size_t((byte >> (6 - 2 * (x % 4))) & 3) << (2 * k);
                    }
                    device[0] += combos[e].r, device[1] += combos[e].g, device[2] += combos[e].b;
                }
            for (uint64_t y = 1; y + 1 < Q; ++y)
                for (uint64_t x = 1; x + 1 < P; ++x)
                    for (size_t ch = 0; ch < 3; ++ch)
                        shown[ch] += spaces.srgbDecode(preview.pixels[(y * P + x) * 3 + ch]);
            for (size_t ch = 0; ch < 3; ++ch) {
                const double printed =
                    spaces.srgbEncode(device[ch] / double((x1 - x0) * (y1 - y0)));
                EXPECT_LT(printed, 45) << "channel " << ch;  // black, not grey
                EXPECT_NEAR(spaces.srgbEncode(shown[ch] / double((P - 2) * (Q - 2))), printed, 2)
                    << "channel " << ch;
            }
        }
}

TEST_F(Cli, JpegPrintsAndTheSummaryTellsCoverageAndTime) {
    const Outcome r =
        run("print " + (root / "rgb.jpg").string() + " -o " + (root / "jpeg").string() +
            " --pack " + (root / "pack").string() + " --page A6 --dots 2 --resolution 720x720");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no progress bar without a terminal
    for (const char* part : {"rgb.jpg (RGB 96 x 136, JPEG) on A6: six inks, 2-bit dots, error "
                             "diffusion, 720 x 720 dpi",
                             "light magenta", "coverage", "time ", "Mpx/s", "preview.png"})
        EXPECT_TRUE(contains(r.out, part)) << part << "\n" << r.out;
    EXPECT_TRUE(fs::exists(root / "jpeg" / "preview-crop.png"));
}

TEST_F(Cli, EmbeddedProfilesAreHonouredAndTheSummarySaysWhich) {
    ASSERT_EQ(print("rgb.png", "plain-png", "--dots 2").status, 0);
    ASSERT_EQ(print("rgb.jpg", "plain-jpg", "--dots 2").status, 0);
    const std::string plainPng = readPlanes(root / "plain-png", kSixInks).checksum;
    const std::string plainJpeg = readPlanes(root / "plain-jpg", kSixInks).checksum;
    const struct {
        const char* image;
        const std::string& plain;
    } cases[] = {{"wide.png", plainPng}, {"wide.jpg", plainJpeg}, {"wide.tif", plainPng}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        const std::string args = "print " + (root / c.image).string() + " --pack " +
                                 (root / "pack").string() +
                                 " --page 24x16mm --margin 1 --preview-width 200 --dots 2 -o ";
        Outcome r = run(args + (root / "wide").string());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "input profile: Wide RGB (test), embedded")) << r.out;
        EXPECT_NE(readPlanes(root / "wide", kSixInks).checksum, c.plain);
        // The user's profile in its place: here sRGB, so it prints as the
        // same picture without a profile.
        r = run(args + (root / "given").string() + " --input-profile " +
                (root / "srgb.icc").string());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "in place of the one the image embeds")) << r.out;
        EXPECT_EQ(readPlanes(root / "given", kSixInks).checksum, c.plain);
    }

    // A green in the wide space prints more saturated than the same numbers
    // taken as sRGB.
    double chroma[2];
    for (int tagged = 0; tagged < 2; ++tagged) {
        ASSERT_EQ(
            print(tagged ? "wide-green.png" : "green.png", "green", "--dots 2 --media PhotoGlossy")
                .status,
            0);
        const Image preview = readImage(root / "green" / "preview.png");
        const uint8_t* p = &preview.pixels[(size_t(preview.height / 2) * size_t(preview.width) +
                                            size_t(preview.width / 2)) *
                                           3];
        chroma[tagged] = inkdot::colour::chroma(ColourSpaces().labFromSrgb(p[0], p[1], p[2]));
    }
    EXPECT_GT(chroma[1], chroma[0] + 3);

    // CMYK with a profile goes through the pack's RGB table as the colour it
    // meant; without one, straight to the separation.
    Outcome r = run("print " + (root / "press.tif").string() + " -o " + (root / "press").string() +
                    " --pack " + (root / "pack").string() + " --page 24x16mm");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "input profile: Press CMYK (test), embedded")) << r.out;
    EXPECT_TRUE(contains(r.out, "RGB to CMYK: resource")) << r.out;
    r = run("print " + (root / "cmyk.tif").string() + " -o " + (root / "press").string() +
            " --pack " + (root / "pack").string() + " --page 24x16mm");
    EXPECT_TRUE(
        contains(r.out, "input profile: none, so the CMYK values go to the six-ink separation"))
        << r.out;
    EXPECT_FALSE(contains(r.out, "RGB to CMYK")) << r.out;
}

TEST_F(Cli, ImageErrorsNameTheFile) {
    std::ofstream(root / "notes.png") << "these are not pixels\n";
    const std::string png = slurp(root / "rgb.png");
    std::ofstream(root / "cut.png", std::ios::binary) << png.substr(0, png.size() / 2);
    const std::string pgm = slurp(root / "grey.pgm");
    std::ofstream(root / "cut.pgm", std::ios::binary) << pgm.substr(0, pgm.size() - 100);
    std::ofstream(root / "huge.pgm", std::ios::binary) << "P5 900000 900000 255\n";
    const struct {
        const char* file;
        const char* says;
    } cases[] = {
        {"absent.png", "no such file"},
        {"notes.png", "not a PNG, JPEG, TIFF, WebP, PNM or PDF file"},
        {"cut.png", "cut.png"},
        {"cut.pgm", "truncated"},
        {"huge.pgm", "more than a page image can be"},
        {"rgb-profile.tif", "its ICC profile describes RGB colour, but the image is CMYK"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Outcome r = print(c.file, "bad", "");
        EXPECT_EQ(r.status, 3);
        EXPECT_TRUE(contains(r.err, "cannot read image")) << r.err;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
    }
}

TEST_F(Cli, PackErrorsNameTheResourceAndItsFile) {
    const fs::path missing = packCopy("pack-missing");
    fs::remove(missing / "5200.bin");
    const fs::path cut = packCopy("pack-cut");
    fs::resize_file(cut / "3002.bin", 500);
    const fs::path flipped = packCopy("pack-flipped");
    {
        std::fstream f(flipped / "5100.bin", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(10);
        f.put('\x7f');
    }
    const struct {
        fs::path pack;
        const char* says;
        std::string file;
    } cases[] = {{missing, "resource 5200 is missing", (missing / "5200.bin").string()},
                 {cut, "holds 500 bytes, the manifest says", (cut / "3002.bin").string()},
                 {flipped, "does not match the checksum", (flipped / "5100.bin").string()},
                 {root / "no-such-pack", "is not a directory", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const Outcome r = run("print " + (root / "rgb.png").string() + " -o " +
                              (root / "bad").string() + " --pack " + c.pack.string() +
                              " --media PhotoGlossy --resolution 1440x720 --dots 2 -q");
        EXPECT_EQ(r.status, 4);
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
        EXPECT_TRUE(contains(r.err, c.file)) << r.err;
    }
    // `info` shows the state of every resource and fails on a damaged pack.
    const Outcome info = run("info " + cut.string());
    EXPECT_EQ(info.status, 4);
    EXPECT_TRUE(contains(info.out, "truncated")) << info.out;
    EXPECT_EQ(run("info " + (root / "pack").string()).status, 0);
}

TEST_F(Cli, LibraryErrorsNameTheCallAndItsResult) {
    const struct {
        const char* args;
        const char* call;
        const char* says;
    } cases[] = {
        // Ordered dither has no two-bit kernel for one ink.
        {"--inks black --method ordered --dots 2", "Halftone failed with 0x200", "not supported"},
        // Diffusion at 2880 x 720 needs two-bit dots: no spread levels for one bit.
        {"--quality best --dots 1", "HalftoneSetResource failed with 0x201", "resource 5200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = print("rgb.png", "bad", c.args);
        EXPECT_EQ(r.status, 5);
        EXPECT_TRUE(contains(r.err, c.call)) << r.err;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
    }
}

TEST_F(Cli, UsageErrors) {
    const struct {
        const char* args;
        const char* says;
    } cases[] = {
        {"--resolution 600x600", "is not one of 2880x720"},
        {"--media Canvas",
         "media 'Canvas' is not offered by the pack (it offers PlainPaper, PhotoMatte or "
         "PhotoGlossy)"},
        {"--quality superb", "is not in the pack"},
        {"--brightness 80", "outside -50 to 50"},
        {"--gamma 4", "outside 1.0 to 3.0"},
        {"--dots 3", "dots"},
        {"--input-profile no-such.icc", "cannot read input profile no-such.icc: no such file"},
        // Values the pack's index has no colour table for are not offered.
        {"--intent Graphics",
         "intent 'Graphics' is not offered by the pack (it offers Auto or Standard)"},
        {"--colour-mode linear",
         "colour mode 'linear' is not offered by the pack (it offers None, Vivid or Matched)"},
        {"--variant thrifty",
         "variant 'thrifty' is not offered by the pack (it offers standard or economy)"},
        // An offered value in a combination the pack has no table for.
        {"--media PhotoGlossy --variant economy",
         "no RGB to CMYK colour table for media PhotoGlossy, quality normal, 2-bit dots with "
         "intent Standard, "
         "colour mode Matched and variant economy; with those three it has PlainPaper draft 1-bit, "
         "PlainPaper draft 2-bit, PlainPaper normal 1-bit or PlainPaper normal 2-bit"},
        {"--method stochastic", "--method: stochastic not in {diffusion,ordered,bayer}"},
        {"--crop-at 30,5",
         "--crop-at 30,5 mm is outside the page 24x16mm (24 x 16 mm): give X from 0 to 24 and Y "
         "from 0 to 16"},
        {"--planes bmp", "--planes: bmp not in {tiff,pnm,raw}"},
        {"--size 30x20mm",
         "the image at 14.1 x 20.0 mm does not fit inside the margins of 24x16mm (22.0 x 14.0 mm)"},
        {"--size 3x2furlong", "size '3x2furlong' is not WIDTHxHEIGHT in mm or in"},
        {"--size 10x10mm --dpi 100", "--size excludes --dpi"},
        {"--dpi 0.1", "image resolution 0.1 dpi is outside 1 to 100000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = print("rgb.png", "bad", c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
    }
    // The page and its margin.
    const struct {
        const char* args;
        const char* says;
    } pages[] = {
        {"--page B9",
         "page size 'B9' is not one of A3, A4, A5, A6, Letter, Legal or WIDTHxHEIGHT in mm or in"},
        {"--page 24x16mm --margin -1",
         "margin -1 mm is negative: give 0 to under 8 mm (half the shorter side of 24x16mm, 24 x "
         "16 mm)"},
        {"--page A4 --margin 105",
         "margin 105 mm leaves nothing of the page: give 0 to under 105 mm"}};
    for (const auto& c : pages) {
        SCOPED_TRACE(c.args);
        const Outcome r =
            run("print " + (root / "rgb.png").string() + " -o " + (root / "bad").string() +
                " --pack " + (root / "pack").string() + " " + c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
    }
}

// Every value the help offers works with the default pack, in any case;
// Bayer is a Bayer matrix, not the blue noise of "ordered".
TEST_F(Cli, EveryOfferedValueWorks) {
    Pack pack(root / "pack");
    const PackOffers offers = packOffers(pack);
    EXPECT_EQ(offers.intents, (std::vector<std::string>{"Auto", "Standard"}));
    EXPECT_EQ(offers.colourModes, (std::vector<std::string>{"None", "Vivid", "Matched"}));
    EXPECT_EQ(offers.variants, (std::vector<std::string>{"standard", "economy"}));
    std::vector<std::string> args;
    for (const std::string& m : offers.media) args.push_back("--media " + m);
    for (const std::string& i : offers.intents) args.push_back("--intent " + i);
    for (const std::string& c : offers.colourModes) args.push_back("--colour-mode " + c);
    for (const std::string& q : offers.qualities) args.push_back("--quality " + q);
    // The economy variant saves ink on plain paper at draft and normal.
    for (const char* more :
         {"--variant ECONOMY", "--variant economy --quality draft --dots 1", "--media photoglossy",
          "--colour-mode VIVID --intent standard", "--method Bayer", "--inks BLACK --rotate No"})
        args.push_back(more);
    for (const std::string& a : args) {
        SCOPED_TRACE(a);
        for (const char* image : {"rgb.png", "cmyk.tif"}) {
            const Outcome r = print(image, "offered", a);
            EXPECT_EQ(r.status, 0) << r.err;
        }
    }
    // Economy prints less ink than standard for the same picture.
    ASSERT_EQ(print("rgb.png", "standard", "--dots 2").status, 0);
    ASSERT_EQ(print("rgb.png", "economy", "--dots 2 --variant economy").status, 0);
    uint64_t standard = 0, economy = 0;
    const Planes s1 = readPlanes(root / "standard", kSixInks),
                 e1 = readPlanes(root / "economy", kSixInks);
    for (size_t k = 0; k < kSixInks.size(); ++k)
        standard += dotsOf(s1.bytes[k], 2), economy += dotsOf(e1.bytes[k], 2);
    EXPECT_LT(economy, standard);

    for (const char* dots : {"--dots 1", "--dots 2"}) {
        SCOPED_TRACE(dots);
        ASSERT_EQ(print("rgb.png", "ordered", std::string(dots) + " --method ordered").status, 0);
        const Outcome r = print("rgb.png", "bayer", std::string(dots) + " --method bayer");
        ASSERT_EQ(r.status, 0) << r.err;
        const Planes ordered = readPlanes(root / "ordered", kSixInks),
                     bayer = readPlanes(root / "bayer", kSixInks);
        EXPECT_NE(ordered.checksum, bayer.checksum);
        // A Bayer matrix repeats every 16 dots: a flat yellow area, one
        // line, has the same dots 16 across.
        ASSERT_EQ(print("yellow.png", "bayer-flat", std::string(dots) + " --method bayer").status,
                  0);
        const Planes flat = readPlanes(root / "bayer-flat", kSixInks);
        const std::string& row = flat.bytes[2];
        const size_t period = std::string(dots) == "--dots 1" ? 2 : 4;  // bytes in 16 dots
        const size_t middle = flat.headers[2].height / 2 * flat.headers[2].rowBytes +
                              flat.headers[2].rowBytes / 2 / period * period;
        EXPECT_NE(row.substr(middle, period), std::string(period, '\0'));
        EXPECT_EQ(row.substr(middle, period), row.substr(middle + period, period));
    }
}

// The printed size: fitted by default, else the image's pixels at --dpi
// (times --scale), or a box it fills.
TEST_F(Cli, PhysicalSizing) {
    writeImage(root / "photo.png", solid(451, 300, ColourSpace::Rgb, {128, 128, 128}));
    const struct {
        const char* args;
        const char* says;
    } cases[] = {
        {"", "(275.4 x 414.0 mm, fitted) at (306, 85), turned a quarter"},
        {"--dpi 150", "image 2165 x 1440 (76.4 x 50.8 mm)"},
        {"--scale 50", "(19.1 x 12.7 mm)"},  // at 300 dpi
        {"--dpi 72 --scale 200", "(211.7 x 318.2 mm) at (1209, 1443), turned a quarter"},
        {"--size 4x4in", "(101.6 x 67.6 mm)"},
        {"--size 60x200mm", "(60.0 x 39.9 mm)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = run("print " + (root / "photo.png").string() + " -o " +
                              (root / "sized").string() + " --pack " + (root / "pack").string() +
                              " --page A3 --resolution 720x720 --preview-width 100 " + c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, c.says)) << r.out;
    }
    // Too large for the page even turned: refused, with the sizes.
    const Outcome big =
        run("print " + (root / "photo.png").string() + " -o " + (root / "sized").string() +
            " --pack " + (root / "pack").string() + " --page A6 --dpi 50");
    EXPECT_EQ(big.status, 2);
    EXPECT_TRUE(contains(
        big.err,
        "the image at 229.1 x 152.4 mm does not fit inside the margins of A6 (99.0 x 142.0 mm)"))
        << big.err;
    // Turned a quarter when it fits only so.
    const Outcome turned =
        run("print " + (root / "photo.png").string() + " -o " + (root / "sized").string() +
            " --pack " + (root / "pack").string() + " --page A6 --resolution 360x720 --dpi 100");
    ASSERT_EQ(turned.status, 0) << turned.err;
    EXPECT_TRUE(contains(turned.out, "(76.2 x 114.6 mm) at")) << turned.out;
    EXPECT_TRUE(contains(turned.out, "turned a quarter")) << turned.out;
}

// Pictures of extreme shapes still get a box of device pixels inside the
// page: a sliver takes one pixel across, and a shape far wider than the page
// is fitted to the page's width, centred.
TEST(Placement, ExtremeShapesStayOnThePage) {
    const inkdot::cli::PageSize a4{"A4", 210, 297};
    inkdot::cli::PrintSettings st;
    st.rotate = "no";
    const struct {
        double w, h;
        int width, height;
    } cases[] = {
        {1, 1e12, 1, 8249},   // 291 mm tall at 720 dpi; under a pixel across
        {1e300, 1, 5783, 1},  // the printable width across; a pixel down
        {1e-300, 1e-300, 5783, 5783},
        {451, 300, 5783, 3847},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        const inkdot::cli::Placement p = inkdot::cli::placePicture(st, a4, 720, 720, c.w, c.h);
        EXPECT_EQ(p.pageW, 5953);
        EXPECT_EQ(p.pageH, 8419);
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, c.height);
        EXPECT_EQ(p.x0, (p.pageW - p.width) / 2);
        EXPECT_EQ(p.y0, (p.pageH - p.height) / 2);
    }
}

// The pack is found without --pack: from INKDOT_PACK, else installed
// beside the command (PREFIX/share/inkdot/packs/default); a damaged
// manifest is named with what is wrong with it.
TEST_F(Cli, FindsItsPackAndNamesAManifestFault) {
    const fs::path prefix = root / "prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "inkdot" / "packs");
    fs::copy_file(INKDOT_CLI_PATH, prefix / "bin" / "inkdot", fs::copy_options::overwrite_existing);
    const std::string image =
        (root / "rgb.png").string() + " --page 24x16mm -q -o " + (root / "found").string();
    const std::string installed = (prefix / "bin" / "inkdot").string();
    Outcome r = shell("env -u INKDOT_PACK " + installed + " print " + image);
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(
        contains(r.err, "no resource pack: give --pack DIR, set INKDOT_PACK, or install one"))
        << r.err;
    EXPECT_TRUE(contains(r.err, (prefix / "share" / "inkdot" / "packs" / "default").string()))
        << r.err;
    fs::copy(root / "pack", prefix / "share" / "inkdot" / "packs" / "default");
    r = shell("env -u INKDOT_PACK " + installed + " print " + image);
    EXPECT_EQ(r.status, 0) << r.err;
    r = shell("INKDOT_PACK=" + (root / "pack").string() + " " + std::string(INKDOT_CLI_PATH) +
              " print " + image);
    EXPECT_EQ(r.status, 0) << r.err;
    // --pack comes first.
    r = shell("INKDOT_PACK=" + (root / "pack").string() + " " + installed + " print " + image +
              " --pack " + (root / "nowhere").string());
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(contains(r.err, "nowhere is not a directory")) << r.err;

    const fs::path broken = packCopy("pack-json");
    std::ofstream(broken / "manifest.json")
        << "{\n  \"format\": \"inkdot resource pack\",\n  \"resources\": [\n}\n";
    r = run("print " + image + " --pack " + broken.string());
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(contains(r.err, "the pack's manifest " + (broken / "manifest.json").string() +
                                    " is not valid JSON: at line 4, column 1: syntax error"))
        << r.err;
    EXPECT_FALSE(contains(r.err, "json.exception")) << r.err;
    std::ofstream(broken / "manifest.json") << "{\"resources\": []}";
    r = run("print " + image + " --pack " + broken.string());
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(contains(r.err, "is not a pack manifest: it has no \"settings\" object")) << r.err;
    // Numbers no resource number can be: a damaged pack (status 4), never a
    // fault of the command; a whole number written with a fraction is fine.
    const struct {
        const char* number;
        const char* says;
    } numbers[] = {{"1.5e300", "is not a whole number in range"},
                   {"2.5", "is not a whole number in range"},
                   {"1.5e315", "is not valid JSON"}};
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.number);
        std::ofstream(broken / "manifest.json")
            << "{\"settings\": {}, \"resources\": [{\"number\": " << n.number
            << ", \"file\": \"x.bin\"}]}";
        r = run("print " + image + " --pack " + broken.string());
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_TRUE(contains(r.err, n.says)) << r.err;
    }
}

// Both commands tell their version and share one scheme of exit statuses.
TEST_F(Cli, VersionAndExitStatusesOfBothCommands) {
    for (const char* command : {INKDOT_CLI_PATH, RESPACK_PATH}) {
        SCOPED_TRACE(command);
        const std::string name = fs::path(command).filename().string();
        Outcome r = shell(std::string(command) + " --version");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, name + " " + INKDOT_VERSION + "\n");
        r = shell(command);  // no command given
        EXPECT_EQ(r.status, 2);
        r = shell(std::string(command) + " --help");
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(contains(r.out, "Exit status: 0 done; 1 an unexpected fault")) << r.out;
        r = shell(std::string(command) + " no-such-command");
        EXPECT_EQ(r.status, 2);
    }
    Outcome r = shell(std::string(RESPACK_PATH) + " list " + (root / "nowhere").string());
    EXPECT_EQ(r.status, 4);
    r = shell(std::string(RESPACK_PATH) + " select " + (root / "pack").string() +
              " --media Canvas");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(
        r.err, "media 'Canvas' is not in the pack (it offers PlainPaper, PhotoMatte, PhotoGlossy)"))
        << r.err;
    r = shell(std::string(RESPACK_PATH) + " matrix -o " + (root / "m.bin").string() + " --bayer 3");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "respack: a Bayer matrix is 2 to 256 wide, a power of two\n");
}

TEST_F(Cli, TableImageHasItsSections) {
    // Glossy best: a 17-point table whose extra block names the level records.
    const Outcome r =
        run("table --pack " + (root / "pack").string() + " -o " + (root / "table.bin").string() +
            " --media PhotoGlossy --quality best --dots 2 --raw");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string image = slurp(root / "table.bin");
    ASSERT_EQ(image.size(), 1554u + 4100u + 17u * 17u * 17u * 6u);
    EXPECT_EQ(image[0], 'H');
    EXPECT_EQ(image[1], 5);
    EXPECT_TRUE(contains(r.out, "resource 5300")) << r.out;
    // One bit, one ink: the grid section is the single-channel curve.
    ASSERT_EQ(run("table --pack " + (root / "pack").string() + " -o " +
                  (root / "table1.bin").string() + " --dots 1 --inks black --raw")
                  .status,
              0);
    EXPECT_EQ(slurp(root / "table1.bin").size(), 1554u + 9u);
    // Without --raw the file is what its name says: a PNG picture of the
    // image, or a refusal when the name is no .png.
    ASSERT_EQ(
        run("table --pack " + (root / "pack").string() + " -o " + (root / "table.png").string())
            .status,
        0);
    const Image picture = readImage(root / "table.png");
    EXPECT_EQ(picture.format, "PNG");
    EXPECT_EQ(picture.width, 768);
    const Outcome bin =
        run("table --pack " + (root / "pack").string() + " -o " + (root / "table2.bin").string());
    EXPECT_EQ(bin.status, 2);
    EXPECT_TRUE(contains(
        bin.err, "is not a .png: name a FILE.png for a picture of the table image, or give --raw"))
        << bin.err;
    EXPECT_FALSE(fs::exists(root / "table2.bin"));
}

// What the pack check finds before a resource reaches the library.
TEST(ResourceCheck, FindsWhatTheLibraryWouldReadPast) {
    const Bytes table = respack::colourTable3d({.points = 9});
    const Bytes table4 =
        respack::colourTable4d({.points = 9, .extraBlock = respack::extraBlockKind1({})});
    Bytes badList = table;
    badList[76 + 4] = badList[76 + 3];  // axis 0 no longer increasing
    Bytes endless = respack::resourceList({5100, 5200});
    endless.resize(endless.size() - 2);  // the -1 cut off
    Bytes flatLevels = respack::gridLevels();
    flatLevels[10] = flatLevels[9];
    const Bytes matrix = respack::ditherMatrixBayer(16);
    const struct {
        const char* name;
        Role role;
        Bytes bytes;
        const char* says;  // "" when fit
    } cases[] = {
        {"Table3d", Role::ColourTable3d, table, ""},
        {"Table4dWithChain", Role::ColourTable4d, table4, ""},
        {"Table3dCut", Role::ColourTable3d, Bytes(table.begin(), table.end() - 20), "truncated"},
        {"Table3dAsSixInk", Role::ColourTable4d, table, "not a CMYK to six-ink"},
        {"ListNotIncreasing", Role::ColourTable3d, badList, "not increasing"},
        {"ListWithoutEnd", Role::ResourceList, endless, "truncated"},
        {"LevelsNotIncreasing", Role::GridLevels, flatLevels, "not increasing"},
        {"Matrix", Role::DitherMatrix, matrix, ""},
        {"MatrixCut", Role::DitherMatrix, Bytes(matrix.begin(), matrix.begin() + 300), "truncated"},
        {"RecordsCut", Role::LevelRecords, Bytes(100, 0), "truncated"},
        {"IndexWithoutMarker", Role::Index, Bytes{'a', 'b', 'c'}, "marker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string found = checkResource(c.role, c.bytes);
        if (*c.says == 0)
            EXPECT_EQ(found, "");
        else
            EXPECT_TRUE(contains(found, c.says)) << found;
    }
    // A chain of extra-block items that runs past the block.
    Bytes chained = table4;
    chained[chained.size() - 4] = 9;  // the closing length now claims 9 bytes
    EXPECT_TRUE(contains(checkResource(Role::ColourTable4d, chained), "extra block"))
        << checkResource(Role::ColourTable4d, chained);
}

}  // namespace

namespace {

std::string bigEndian(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    return bigEndian(uint32_t(data.size())) + body +
           bigEndian(
               uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// A PNG file made by hand, of the kinds the tools never write: its header,
// chunks before the data, and the rows (each with its filter byte).
std::string handPng(uint32_t width, uint32_t height, int depth, int type, bool interlaced,
                    const std::string& chunks, const std::string& rows) {
    uLongf size = compressBound(uLong(rows.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(rows.data()), uLong(rows.size()));
    packed.resize(size);
    const std::string header = bigEndian(width) + bigEndian(height) +
                               std::string{char(depth), char(type), 0, 0, char(interlaced)};
    return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", header) + chunks + pngChunk("IDAT", packed) +
           pngChunk("IEND", "");
}

// The readers agree on one image whatever the format, compose alpha over
// white paper, and read the text forms of PNM and the kinds of PNG.
TEST(ImageFiles, FormatsReadAlike) {
    const fs::path dir =
        fs::temp_directory_path() / ("inkdot_images_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const Image chart = drawChart(40, 56);
    for (const char* name : {"a.png", "a.tif", "a.ppm", "a.pam", "a.webp"}) {
        SCOPED_TRACE(name);
        writeImage(dir / name, chart);
        const Image back = readImage(dir / name);
        EXPECT_EQ(back.space, ColourSpace::Rgb);
        EXPECT_EQ(back.width, 40);
        EXPECT_EQ(back.height, 56);
        EXPECT_EQ(back.pixels, chart.pixels);
    }
    Image cmyk = cmykRamps();
    writeImage(dir / "c.tif", cmyk);
    EXPECT_EQ(readImage(dir / "c.tif").pixels, cmyk.pixels);
    writeImage(dir / "c.jpg", cmyk);  // lossy, but still CMYK ink amounts
    const Image jpeg = readImage(dir / "c.jpg");
    ASSERT_EQ(jpeg.space, ColourSpace::Cmyk);
    EXPECT_NEAR(jpeg.pixels[(47 * 64 + 63) * 4 + 0], cmyk.pixels[(47 * 64 + 63) * 4 + 0], 12);

    const struct {
        const char* name;
        std::string text;
        ColourSpace space;
        std::vector<uint8_t> pixels;
    } texts[] = {
        {"bits.pbm", "P1\n# a comment\n3 1\n1 0 1\n", ColourSpace::Grey, {0, 255, 0}},
        {"grey.pgm", "P2 2 1 100 0 50\n", ColourSpace::Grey, {0, 128}},
        {"wide.pgm", std::string("P5 1 1 65535\n\x80\x00", 15), ColourSpace::Grey, {128}},
        // Half-covered red over white paper.
        {"alpha.pam",
         std::string("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE "
                     "RGB_ALPHA\nENDHDR\n\xff\x00\x00\x80",
                     69),
         ColourSpace::Rgb,
         {255, 127, 127}},
        // Two-bit palette indices 0 to 3 (red, half-covered green, blue,
        // white) in one byte.
        {"palette.png",
         handPng(
             4, 1, 2, 3, false,
             pngChunk("PLTE", std::string("\xff\x00\x00\x00\xff\x00\x00\x00\xff\xff\xff\xff", 12)) +
                 pngChunk("tRNS", "\xff\x80"),
             std::string("\x00\x1b", 2)),
         ColourSpace::Rgb,
         {255, 0, 0, 127, 255, 127, 0, 0, 255, 255, 255, 255}},
        {"sixteen.png",
         handPng(2, 1, 16, 0, false, "", std::string("\x00\x80\x80\xff\xff", 5)),
         ColourSpace::Grey,
         {128, 255}},
        {"clear.png",
         handPng(1, 1, 8, 4, false, "", std::string("\x00\x00\x00", 3)),
         ColourSpace::Grey,
         {255}},
        // 3 x 3 grey interlaced: the seven passes hold (0,0); nothing;
        // nothing; (2,0); (0,2) (2,2); (1,0) and (1,2) as two rows; row 1.
        {"interlaced.png",
         handPng(3, 3, 8, 0, true, "",
                 std::string("\x00\x00"
                             "\x00\x14"
                             "\x00\x3c\x50"
                             "\x00\x0a"
                             "\x00\x46"
                             "\x00\x1e\x28\x32",
                             15)),
         ColourSpace::Grey,
         {0, 10, 20, 30, 40, 50, 60, 70, 80}},
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(t.name);
        std::ofstream(dir / t.name, std::ios::binary) << t.text;
        const Image im = readImage(dir / t.name);
        EXPECT_EQ(im.space, t.space);
        EXPECT_EQ(im.pixels, t.pixels);
    }
    fs::remove_all(dir);
}

}  // namespace

namespace inkdot::cli {
namespace {

TEST_F(Cli, TargetPrintsItsPatchesAndListsThemForTheInstrument) {
    // 3 x 3 x 3 colour levels by 2 black levels, 5 mm patches on a small
    // page: 54 patches, 9 x 5 a page, two pages.
    const Outcome r = run(
        "target -o " + (root / "target").string() + " --pack " + (root / "pack").string() +
        " --cmy-levels 3 --k-levels 2 --patch-mm 5 --page 47x27mm --margin 1 --resolution 360x720");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = slurp(root / "target" / "target.txt");
    const colour::Measurements device = [&] {
        // The file holds device values only; give each patch a colour to read it.
        std::string measured;
        std::istringstream in(text);
        std::string line;
        bool data = false;
        while (std::getline(in, line)) {
            if (line == "END_DATA") data = false;
            if (line.rfind("SAMPLE_ID", 0) == 0) line += " LAB_L LAB_A LAB_B";
            if (line.rfind("NUMBER_OF_FIELDS", 0) == 0) line = "NUMBER_OF_FIELDS 8";
            measured += line + (data ? " 50 0 0\n" : "\n");
            if (line == "BEGIN_DATA") data = true;
        }
        return colour::readCgats(measured, colour::ColourSpaces());
    }();
    EXPECT_EQ(device.grid.cmyLevels, 3);
    EXPECT_EQ(device.grid.kLevels, 2);
    // Page 1 begins with bare paper and then black alone: no dots in the
    // first patch, black over most of the second.
    const Planes page = readPlanes(root / "target" / "page-1", kSixInks);
    const PlaneHeader& h = page.headers[0];
    const int cell = int(h.width) / 9;  // 9 patches across
    auto dotsIn = [&](size_t k, int column) {
        uint64_t dots = 0;
        const std::string& bytes = page.bytes[k];
        for (uint32_t y = uint32_t(cell) / 4; y < uint32_t(cell) * 3 / 4; ++y)
            for (int x = column * cell + cell / 4; x < column * cell + cell * 3 / 4; ++x)
                dots += ((uint8_t(bytes[y * h.rowBytes + uint32_t(x) / 4]) >> (6 - 2 * (x % 4))) &
                         3) != 0;
        return dots;
    };
    for (size_t k = 0; k < kSixInks.size(); ++k) EXPECT_EQ(dotsIn(k, 0), 0u) << kSixInks[k];
    EXPECT_GT(dotsIn(3, 1), uint64_t(cell * cell / 4) / 2);  // black
    EXPECT_TRUE(fs::exists(root / "target" / "page-2" / "preview.png"));
}

}  // namespace
}  // namespace inkdot::cli

// ---- Pictures upright, documents, batches -----------------------------------

namespace inkdot::cli {
namespace {

// An EXIF block (big-endian TIFF structure) that says only `orientation`.
std::string exifSaying(int orientation) {
    return std::string("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) + char(orientation) +
           std::string("\0\0\0\0\0\0", 6);
}

// A JPEG file with an APP1 EXIF marker put in after its first two bytes.
std::string jpegWithExif(const std::string& jpeg, const std::string& exif) {
    const std::string body = std::string("Exif\0\0", 6) + exif;
    const size_t n = body.size() + 2;
    return jpeg.substr(0, 2) + "\xFF\xE1" + char(n >> 8) + char(n & 0xFF) + body + jpeg.substr(2);
}

// A WebP file in the extended layout: the image chunk of `plain` (a
// simple WebP) after a VP8X header, then an EXIF chunk.
std::string webpWithExif(const std::string& plain, int width, int height, const std::string& exif) {
    auto le = [](uint32_t v, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i));
        return out;
    };
    std::string exifChunk = "EXIF" + le(uint32_t(exif.size()), 4) + exif;
    if (exif.size() % 2) exifChunk += '\0';
    const std::string body = "WEBP" + std::string("VP8X") + le(10, 4) + char(0x08) +
                             std::string(3, '\0') + le(uint32_t(width - 1), 3) +
                             le(uint32_t(height - 1), 3) + plain.substr(12) + exifChunk;
    return "RIFF" + le(uint32_t(body.size()), 4) + body;
}

// A TIFF of several pages (8-bit, any colour space) with an orientation
// tag, and, when `thumbnail`, a reduced-resolution copy of the first page
// between the pages, as scanners and cameras write them.
void writeTiffPages(const fs::path& path, const std::vector<Image>& pages, int orientation = 1,
                    bool thumbnail = false) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    std::vector<Image> all = pages;
    if (thumbnail) {
        Image small = pages[0];
        small.width = 2, small.height = 2;
        small.pixels.resize(size_t(4 * small.channels()));
        all.insert(all.begin() + 1, small);
    }
    for (size_t i = 0; i < all.size(); ++i) {
        const Image& im = all[i];
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(im.width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(im.height));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(im.channels()));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                     im.space == ColourSpace::Cmyk  ? PHOTOMETRIC_SEPARATED
                     : im.space == ColourSpace::Rgb ? PHOTOMETRIC_RGB
                                                    : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(orientation));
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE,
                     uint32_t(thumbnail && i == 1 ? FILETYPE_REDUCEDIMAGE : FILETYPE_PAGE));
        const size_t row = size_t(im.width) * size_t(im.channels());
        for (int y = 0; y < im.height; ++y)
            TIFFWriteScanline(tif, const_cast<uint8_t*>(im.pixels.data()) + row * size_t(y),
                              uint32_t(y), 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

// A PDF made by hand: each page its size in points and its drawing.
struct PdfPageSpec {
    double width, height;
    std::string drawing;
};

std::string makePdf(const std::vector<PdfPageSpec>& pages) {
    std::vector<std::string> objects;
    std::string kids;
    for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " +
                      std::to_string(pages.size()) + " >>");
    for (size_t i = 0; i < pages.size(); ++i) {
        char box[96];
        std::snprintf(box, sizeof box, "[0 0 %g %g]", pages[i].width, pages[i].height);
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + std::string(box) +
                          " /Contents " + std::to_string(4 + 2 * i) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(pages[i].drawing.size()) +
                          " >>\nstream\n" + pages[i].drawing + "\nendstream");
    }
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t at : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", at);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// Grey: black on the left half, white on the right, a mid grey square in
// the top left corner: no two orientations look alike.
Image markedPicture(int w, int h) {
    Image im = solid(w, h, ColourSpace::Grey, {255});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x)
            im.pixels[size_t(y * w + x)] = x < h / 3 && y < h / 3 ? 128 : 0;
    return im;
}

double meanDifference(const Image& a, const Image& b) {
    if (a.pixels.size() != b.pixels.size()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        sum += std::abs(int(a.pixels[i]) - int(b.pixels[i]));
    return sum / double(a.pixels.size());
}

TEST(ImageFiles, EveryOrientationStandsUprightInJpegPngAndTiff) {
    const fs::path dir =
        fs::temp_directory_path() / ("inkdot_upright_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const Image picture = markedPicture(48, 24);
    writeImage(dir / "plain.jpg", picture);
    const std::string jpeg = slurp(dir / "plain.jpg");
    writeImage(dir / "plain.webp", picture);
    const std::string webp = slurp(dir / "plain.webp");
    std::string rows;
    for (int y = 0; y < picture.height; ++y)
        rows +=
            '\0' +
            std::string(reinterpret_cast<const char*>(&picture.pixels[size_t(y * picture.width)]),
                        size_t(picture.width));
    Image cmyk = cmykRamps();
    for (int v = 1; v <= 8; ++v) {
        SCOPED_TRACE("orientation " + std::to_string(v));
        Image upright = picture;
        applyOrientation(upright, v);
        std::ofstream(dir / "a.png", std::ios::binary)
            << handPng(48, 24, 8, 0, false, pngChunk("eXIf", exifSaying(v)), rows);
        std::ofstream(dir / "a.jpg", std::ios::binary) << jpegWithExif(jpeg, exifSaying(v));
        writeTiffPages(dir / "a.tif", {picture}, v);
        std::ofstream(dir / "a.webp", std::ios::binary)
            << webpWithExif(webp, 48, 24, exifSaying(v));
        for (const char* name : {"a.png", "a.tif", "a.jpg", "a.webp"}) {
            SCOPED_TRACE(name);
            const Image read = readImage(dir / name);
            EXPECT_EQ(read.width, upright.width);
            EXPECT_EQ(read.orientation, v);
            // WebP reads grey as RGB.
            const Image expected = std::string(name) == "a.webp" ? toRgb(upright) : upright;
            EXPECT_LT(meanDifference(read, expected), name == std::string("a.jpg") ? 4.0 : 0.001);
        }
        // CMYK TIFF samples take their own path through the reader.
        Image cmykUpright = cmyk;
        applyOrientation(cmykUpright, v);
        writeTiffPages(dir / "c.tif", {cmyk}, v);
        EXPECT_EQ(readImage(dir / "c.tif").pixels, cmykUpright.pixels);
    }
    // The eXIf chunk may also follow the pixels.
    std::string png = handPng(48, 24, 8, 0, false, "", rows);
    png.insert(png.size() - 12, pngChunk("eXIf", exifSaying(3)));
    std::ofstream(dir / "late.png", std::ios::binary) << png;
    EXPECT_EQ(readImage(dir / "late.png").orientation, 3);
    // A damaged EXIF block is let pass: the picture reads as stored.
    std::string damaged = exifSaying(6);
    damaged[7] = '\x70';  // its directory far past the block
    std::ofstream(dir / "damaged.jpg", std::ios::binary) << jpegWithExif(jpeg, damaged);
    const Image read = readImage(dir / "damaged.jpg");
    EXPECT_EQ(read.orientation, 0);
    EXPECT_EQ(read.width, 48);
    std::ofstream(dir / "damaged.png", std::ios::binary)
        << handPng(48, 24, 8, 0, false, pngChunk("eXIf", "XX" + damaged.substr(2)), rows);
    EXPECT_EQ(readImage(dir / "damaged.png").width, 48);
    fs::remove_all(dir);
}

TEST(ImageFiles, TiffPagesLeaveOutReducedCopies) {
    const fs::path dir = fs::temp_directory_path() / ("inkdot_pages_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const Image first = solid(6, 4, ColourSpace::Rgb, {200, 0, 0}),
                second = solid(3, 5, ColourSpace::Grey, {40});
    writeTiffPages(dir / "two.tif", {first, second}, 1, true);
    EXPECT_EQ(imagePageCount(dir / "two.tif"), 2);
    EXPECT_EQ(readImage(dir / "two.tif", 0).pixels, first.pixels);
    EXPECT_EQ(readImage(dir / "two.tif", 1).pixels, second.pixels);
    try {
        readImage(dir / "two.tif", 2);
        ADD_FAILURE() << "page 3 of 2 was read";
    } catch (const Failure& f) {
        EXPECT_EQ(f.status(), kExitImage);
        EXPECT_TRUE(contains(f.what(), "it has 2 pages, no page 3")) << f.what();
    }
    fs::remove_all(dir);
}

// The planes' dots in `bands` stripes down the page: the share of the
// pixels of each that hold a dot of plane `k`.
std::vector<double> dotsDown(const Planes& p, size_t k, int bands, int bits) {
    const PlaneHeader& h = p.headers[k];
    std::vector<double> out;
    for (int b = 0; b < bands; ++b) {
        const uint32_t y0 = h.height * uint32_t(b) / uint32_t(bands),
                       y1 = h.height * uint32_t(b + 1) / uint32_t(bands);
        const std::string rows =
            p.bytes[k].substr(size_t(y0) * h.rowBytes, size_t(y1 - y0) * h.rowBytes);
        out.push_back(double(dotsOf(rows, bits)) / double(uint64_t(y1 - y0) * h.width));
    }
    return out;
}

}  // namespace

class Documents : public Cli {
protected:
    static void SetUpTestSuite() {
        Cli::SetUpTestSuite();
        writeTiffPages(root / "two.tif", {solid(40, 30, ColourSpace::Rgb, {255, 230, 0}),
                                          solid(30, 40, ColourSpace::Rgb, {0, 150, 230})});
        // Portrait: black over the top half; red all over; landscape with
        // its left quarter black.
        std::ofstream(root / "doc.pdf", std::ios::binary)
            << makePdf({{160, 240, "0 0 0 rg 0 120 160 120 re f"},
                        {160, 240, "1 0 0 rg 0 0 160 240 re f"},
                        {240, 160, "0 0 0 rg 0 0 60 160 re f"}});
        Image quarter = solid(240, 160, ColourSpace::Rgb, {255, 255, 255});
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 60; ++x)
                std::fill_n(&quarter.pixels[size_t(y * 240 + x) * 3], 3, uint8_t(0));
        writeImage(root / "quarter.png", quarter);
        writeImage(root / "chart.webp", drawChart(96, 136));
    }

    // `print` on a small portrait page with the summary.
    static Outcome printLoud(const std::string& files, const std::string& out,
                             const std::string& args) {
        return run("print " + files + " -o " + (root / out).string() + " --pack " +
                   (root / "pack").string() +
                   " --page 16x24mm --margin 1 --preview-width 100 --resolution 720x720 --dots 1 " +
                   args);
    }
    static std::string at(const std::string& name) { return (root / name).string(); }
};

TEST_F(Documents, EveryPageOfATiffGoesToItsNumberedFolder) {
    Outcome r = printLoud(at("two.tif"), "tiff", "");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "two.tif page 1 of 2 (RGB 40 x 30, TIFF)")) << r.out;
    EXPECT_TRUE(contains(r.out, "two.tif page 2 of 2 (RGB 30 x 40, TIFF)")) << r.out;
    EXPECT_TRUE(contains(r.out, "the job: 2 pages of 1 file printed")) << r.out;
    const Planes yellow = readPlanes(root / "tiff" / "page-1", kSixInks),
                 blue = readPlanes(root / "tiff" / "page-2", kSixInks);
    EXPECT_GT(dotsOf(yellow.bytes[2], 1), 10 * dotsOf(yellow.bytes[0], 1));  // yellow over cyan
    EXPECT_GT(dotsOf(blue.bytes[0], 1), 10 * dotsOf(blue.bytes[2], 1));
    // One page picked: one page in all, so straight into the folder as ever.
    r = printLoud(at("two.tif"), "tiff-2", "--pages 2 -q");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(root / "tiff-2" / "page-2"));
    EXPECT_EQ(readPlanes(root / "tiff-2", kSixInks).checksum, blue.checksum);
}

TEST_F(Documents, PdfPagesAreRenderedAtTheDevicesResolution) {
    const Outcome r = printLoud(at("doc.pdf"), "pdf", "--pages 1-2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "doc.pdf page 1 of 3 (PDF, 56 x 85 mm)")) << r.out;
    EXPECT_TRUE(contains(r.out, "rendered at ")) << r.out;
    EXPECT_FALSE(fs::exists(root / "pdf" / "page-3"));
    // Page 1: black ink over the top half of the image, none below.
    const Planes top = readPlanes(root / "pdf" / "page-1", kSixInks);
    const std::vector<double> black = dotsDown(top, 3, 8, 1);
    EXPECT_GT(black[2], 0.5);
    EXPECT_LT(black[5], 0.01);
    // Page 2: red, of magenta and yellow, no cyan.
    const Planes red = readPlanes(root / "pdf" / "page-2", kSixInks);
    EXPECT_GT(dotsOf(red.bytes[1], 1), 100 * (dotsOf(red.bytes[0], 1) + 1));
    EXPECT_GT(dotsOf(red.bytes[2], 1), 100 * (dotsOf(red.bytes[0], 1) + 1));
}

TEST_F(Documents, ALandscapePdfPageTurnsAsAnImageDoes) {
    // The same picture as a PDF page and as a PNG, turned a quarter to fit
    // a portrait page: the black lands in the same lines.
    ASSERT_EQ(printLoud(at("doc.pdf"), "turned-pdf", "--pages 3 -q").status, 0);
    ASSERT_EQ(printLoud(at("quarter.png"), "turned-png", "-q").status, 0);
    const std::vector<double> pdf = dotsDown(readPlanes(root / "turned-pdf", kSixInks), 3, 12, 1);
    const std::vector<double> png = dotsDown(readPlanes(root / "turned-png", kSixInks), 3, 12, 1);
    for (size_t b = 0; b < pdf.size(); ++b) EXPECT_NEAR(pdf[b], png[b], 0.03) << "stripe " << b;
    EXPECT_GT(pdf[1], 0.5);  // the picture's left edge is the page's top
    EXPECT_LT(pdf[10], 0.01);
}

TEST_F(Documents, WebpPrintsAsThePngOfTheSamePixels) {
    ASSERT_EQ(print("chart.webp", "webp", "--dots 2").status, 0);
    ASSERT_EQ(print("rgb.png", "webp-png", "--dots 2").status, 0);
    EXPECT_EQ(readPlanes(root / "webp", kSixInks).checksum,
              readPlanes(root / "webp-png", kSixInks).checksum);
}

TEST_F(Documents, AnExifTurnedPhotoPrintsUpright) {
    // Stored on its side (48 x 24) with orientation 6: printed as the
    // upright 24 x 48 picture, in the same place on the page.
    const Image picture = markedPicture(48, 24);
    Image upright = picture;
    applyOrientation(upright, 6);
    writeImage(root / "side.jpg", picture);
    std::ofstream(root / "camera.jpg", std::ios::binary)
        << jpegWithExif(slurp(root / "side.jpg"), exifSaying(6));
    writeImage(root / "upright.png", upright);
    const Outcome camera = printLoud(at("camera.jpg"), "camera", "--rotate no");
    const Outcome png = printLoud(at("upright.png"), "upright", "--rotate no");
    ASSERT_EQ(camera.status, 0) << camera.err;
    EXPECT_TRUE(contains(camera.out, "orientation: turned a quarter clockwise to stand upright"))
        << camera.out;
    auto placement = [](const std::string& out) {
        return out.substr(out.find("page "), out.find(", margin") - out.find("page "));
    };
    EXPECT_EQ(placement(camera.out), placement(png.out));
    // A grey picture: printed in black ink alone.
    const std::vector<double> a = dotsDown(readPlanes(root / "camera", {"black"}), 0, 8, 1);
    const std::vector<double> b = dotsDown(readPlanes(root / "upright", {"black"}), 0, 8, 1);
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 0.03) << "stripe " << i;
}

TEST_F(Documents, ABatchPrintsEachPageAsAloneOnAnyNumberOfThreads) {
    // Two files of one stem, a CMYK and a grey file and a two-page TIFF.
    const std::string files = at("rgb.png") + " " + at("rgb.jpg") + " " + at("cmyk.tif") + " " +
                              at("grey.pgm") + " " + at("two.tif");
    const Outcome r = printLoud(files, "batch", "-j 2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "the job: 6 pages of 5 files printed")) << r.out;
    EXPECT_TRUE(contains(r.out, "on 2 threads")) << r.out;
    for (const char* part : {"rgb.png (RGB 96 x 136, PNG)", "rgb.jpg (RGB 96 x 136, JPEG)",
                             "cmyk.tif (CMYK 64 x 48, TIFF)", "grey.pgm (grey 64 x 48, PNM)",
                             "two.tif page 2 of 2", "all pages together"})
        EXPECT_TRUE(contains(r.out, part)) << part;
    const struct {
        const char* folder;
        const char* alone;
        const char* file;
        const char* args;
    } pages[] = {{"rgb.png", "alone-rgb", "rgb.png", ""},
                 {"rgb.jpg", "alone-jpg", "rgb.jpg", ""},
                 {"cmyk", "alone-cmyk", "cmyk.tif", ""},
                 {"two/page-1", "alone-two", "two.tif", "--pages 1"}};
    for (const auto& p : pages) {
        SCOPED_TRACE(p.folder);
        ASSERT_EQ(printLoud(at(p.file), p.alone, std::string(p.args) + " -q").status, 0);
        EXPECT_EQ(readPlanes(root / "batch" / p.folder, kSixInks).checksum,
                  readPlanes(root / p.alone, kSixInks).checksum);
    }
    EXPECT_TRUE(fs::exists(root / "batch" / "grey" / "black.tif"));
    EXPECT_TRUE(fs::exists(root / "batch" / "two" / "page-2" / "preview.png"));
    // One thread: the same planes.
    ASSERT_EQ(printLoud(files, "batch-1", "-j 1 -q").status, 0);
    EXPECT_EQ(readPlanes(root / "batch-1" / "cmyk", kSixInks).checksum,
              readPlanes(root / "batch" / "cmyk", kSixInks).checksum);
}

TEST_F(Documents, AFailedPageIsNamedAndTheOthersStillPrint) {
    std::ofstream(root / "broken.png") << "these are not pixels\n";
    const Outcome r = printLoud(at("yellow.png") + " " + at("broken.png") + " " + at("doc.pdf"),
                                "partial", "--pages 2");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "broken.png")) << r.err;
    EXPECT_TRUE(contains(r.err, "yellow.png: it has 1 page and --pages 2 picks none of them"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "2 of 3 pages failed")) << r.err;
    EXPECT_TRUE(contains(r.out, "1 page of 3 files printed, 2 failed")) << r.out;
    EXPECT_TRUE(fs::exists(root / "partial" / "doc" / "page-2" / "magenta.tif"));
}

TEST_F(Documents, PageAndThreadOptionsAreChecked) {
    const struct {
        const char* args;
        int status;
        const char* says;
    } cases[] = {{"--pages 3-1", 2, "range 3-1 runs backwards"},
                 {"--pages 1,x", 2, "'x' is not a page number"},
                 {"--pages 0", 2, "pages count from 1"},
                 {"--pages 4-", 3, "it has 3 pages and --pages 4- picks none of them"},
                 {"-j 0", 2, "jobs"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = printLoud(at("doc.pdf"), "bad", c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
    }
    std::ofstream(root / "locked.pdf") << "%PDF-1.4\nthis is no document\n";
    const Outcome r = printLoud(at("locked.pdf"), "bad", "");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "locked.pdf")) << r.err;
}

}  // namespace inkdot::cli
