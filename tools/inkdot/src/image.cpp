// Reading and writing page images. Every decoder reports what is wrong with
// a file in words and never reads past what the file holds; the sizes a
// header claims are checked before anything is allocated.
#include "image.h"

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "failure.h"
#include "orientation.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void badImage(const fs::path& path, const std::string& what) {
    throw Failure(kExitImage, "cannot read image " + path.string() + ": " + what);
}

[[noreturn]] void cannotWrite(const fs::path& path, const std::string& what) {
    throw Failure(kExitOutput, "cannot write " + path.string() + ": " + what);
}

void checkSize(const fs::path& path, uint64_t width, uint64_t height) {
    if (width == 0 || height == 0)
        badImage(path, "the image is empty (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels)");
    if (width > 1000000 || height > 1000000 || width * height > kMaxImagePixels)
        badImage(path, std::to_string(width) + " x " + std::to_string(height) +
                           " pixels is more than a page image can be (at most " +
                           std::to_string(kMaxImagePixels >> 20) + " megapixels)");
}

// Composes a sample with its alpha over white paper.
inline uint8_t overWhite(unsigned value, unsigned alpha, unsigned max) {
    return static_cast<uint8_t>((value * alpha + max * (max - alpha)) * 255 / (max * max));
}

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

File openRead(const fs::path& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) badImage(path, std::string(std::strerror(errno)));
    return File(f, &std::fclose);
}

// ---- PNG ------------------------------------------------------------------

struct PngError {
    char message[256];
    char profileWarning[256];  // why libpng set an iCCP chunk aside, if it did
    bool tooLarge;
    bool rowsDone;  // damage after the pixels (in the chunks that close the file) is let pass
    uint64_t width, height;
};

void pngFail(png_structp png, png_const_charp message) {
    auto* err = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(err->message, sizeof err->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp png, png_const_charp message) {
    auto* err = static_cast<PngError*>(png_get_error_ptr(png));
    if (std::strstr(message, "iCCP"))
        std::snprintf(err->profileWarning, sizeof err->profileWarning, "%s", message);
}

// Decodes into `out`: 8-bit grey, grey and alpha, RGB or RGB and alpha as
// stored (palettes and small depths expanded, 16 bits scaled), and the
// colour chunks into out->declared. Returns false with `err` set. Kept free
// of objects with destructors between setjmp and longjmp.
bool decodePng(FILE* file, Image* out, int* channels, PngError* err) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, err, pngFail, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        std::snprintf(err->message, sizeof err->message, "out of memory");
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return err->rowsDone;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info),
                      height = png_get_image_height(png, info);
    err->width = width, err->height = height;
    if (width == 0 || height == 0 || width > 1000000 || height > 1000000 ||
        uint64_t(width) * height > kMaxImagePixels) {
        err->tooLarge = true;
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_expand(png);    // palette to RGB, 1 to 4 bits to 8, transparency to alpha
    png_set_scale_16(png);  // 16 bits to 8, rounded
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out->width = int(width);
    out->height = int(height);
    *channels = png_get_channels(png, info);
    const bool colour = (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) != 0;
    out->space = colour ? ColourSpace::Rgb : ColourSpace::Grey;

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    int intent = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength) && profile)
        out->declared.iccProfile.assign(profile, profile + profileLength);
    else if (png_get_sRGB(png, info, &intent))
        out->declared.srgb = true;
    double gamma = 0;
    if (png_get_gAMA(png, info, &gamma)) out->declared.gamma = gamma;
    double* c = out->declared.chromaticities.data();
    out->declared.hasChromaticities =
        png_get_cHRM(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0;
    png_bytep exif = nullptr;
    png_uint_32 exifLength = 0;
    if (png_get_eXIf_1(png, info, &exifLength, &exif) && exif)
        out->orientation = exifOrientation(exif, exifLength);

    const size_t row = size_t(width) * size_t(*channels);
    out->pixels.resize(row * height);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, out->pixels.data() + row * y, nullptr);
    // An eXIf chunk may also come after the pixels.
    err->rowsDone = true;
    png_read_end(png, info);
    if (png_get_eXIf_1(png, info, &exifLength, &exif) && exif)
        out->orientation = exifOrientation(exif, exifLength);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

Image readPng(const fs::path& path) {
    File file = openRead(path);
    auto image = std::make_unique<Image>();
    auto err = std::make_unique<PngError>();
    int channels = 0;
    if (!decodePng(file.get(), image.get(), &channels, err.get())) {
        if (err->tooLarge) checkSize(path, err->width, err->height);
        badImage(path, err->message);
    }
    if (image->declared.iccProfile.empty() && err->profileWarning[0])
        badImage(path, std::string("its ICC profile cannot be used: ") + err->profileWarning);
    image->format = "PNG";
    // Alpha composed over white paper.
    const int c = image->channels();
    if (channels > c) {
        std::vector<uint8_t>& p = image->pixels;
        const size_t n = size_t(image->width) * size_t(image->height);
        for (size_t i = 0; i < n; ++i)
            for (int ch = 0; ch < c; ++ch)
                p[i * size_t(c) + size_t(ch)] = overWhite(p[i * size_t(channels) + size_t(ch)],
                                                          p[i * size_t(channels) + size_t(c)], 255);
        p.resize(n * size_t(c));
    }
    return std::move(*image);
}

// One PNG chunk: length, type, data and the CRC of type and data.
void appendPngChunk(std::vector<uint8_t>& out, const char type[4],
                    const std::vector<uint8_t>& data) {
    const uint32_t n = uint32_t(data.size());
    const uint8_t length[4] = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    out.insert(out.end(), length, length + 4);
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + typeAt, uInt(4 + data.size()));
    const uint8_t sum[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8),
                            uint8_t(crc)};
    out.insert(out.end(), sum, sum + 4);
}

void writePng(const fs::path& path, const Image& image, bool fast) {
    if (image.space == ColourSpace::Cmyk)
        cannotWrite(path, "PNG holds no CMYK; write a .tif or .pam");
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = image.space == ColourSpace::Rgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    if (fast) png.flags = PNG_IMAGE_FLAG_FAST;
    const std::vector<uint8_t>& profile = image.declared.iccProfile;
    if (profile.empty()) {
        if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr))
            cannotWrite(path, png.message);
        return;
    }
    // With a profile: the file made in memory (saying its colours are not
    // sRGB), and an iCCP chunk put in after the header.
    png.flags |= PNG_IMAGE_FLAG_COLORSPACE_NOT_sRGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(png, size, 0, image.pixels.data(), 0, nullptr))
        cannotWrite(path, png.message);
    std::vector<uint8_t> file(size);
    if (!png_image_write_to_memory(&png, file.data(), &size, 0, image.pixels.data(), 0, nullptr))
        cannotWrite(path, png.message);
    file.resize(size);
    uLongf packed = compressBound(uLong(profile.size()));
    std::vector<uint8_t> chunk{'I', 'C', 'C', ' ', 'p', 'r', 'o',
                               'f', 'i', 'l', 'e', 0,   0};  // name, zlib method
    const size_t header = chunk.size();
    chunk.resize(header + packed);
    if (compress(chunk.data() + header, &packed, profile.data(), uLong(profile.size())) != Z_OK)
        cannotWrite(path, "cannot compress the ICC profile");
    chunk.resize(header + packed);
    constexpr size_t kAfterHeader = 8 + 4 + 4 + 13 + 4;  // signature, IHDR
    std::vector<uint8_t> out(file.begin(), file.begin() + kAfterHeader);
    appendPngChunk(out, "iCCP", chunk);
    out.insert(out.end(), file.begin() + kAfterHeader, file.end());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    if (!f) cannotWrite(path, "write failed");
}

// ---- JPEG -----------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegFail(j_common_ptr info) {
    auto* err = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void jpegQuiet(j_common_ptr, int) {}

// An ICC profile travels in APP2 markers of at most 64 KB, each opening with
// this signature, its sequence number (from 1) and the number of markers.
constexpr char kIccSignature[] = "ICC_PROFILE";  // with its NUL, 12 bytes
constexpr size_t kIccHeader = 14;
constexpr size_t kIccChunk = 65533 - kIccHeader;

// Joins the profile's markers in their order; an empty profile when there
// are none, and false with `message` set when they do not fit together.
bool joinIccMarkers(jpeg_saved_marker_ptr marker, std::vector<uint8_t>& profile, char* message,
                    size_t size) {
    std::vector<std::vector<uint8_t>> chunks;
    for (; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 2 || marker->data_length < kIccHeader ||
            std::memcmp(marker->data, kIccSignature, sizeof kIccSignature) != 0)
            continue;
        const unsigned sequence = marker->data[12], count = marker->data[13];
        if (chunks.empty()) chunks.resize(count);
        if (count == 0 || count != chunks.size() || sequence < 1 || sequence > count ||
            !chunks[sequence - 1].empty()) {
            std::snprintf(message, size, "its ICC profile markers are damaged (marker %u of %u)",
                          sequence, count);
            return false;
        }
        chunks[sequence - 1].assign(marker->data + kIccHeader, marker->data + marker->data_length);
    }
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (chunks[i].empty()) {
            std::snprintf(message, size,
                          "its ICC profile is incomplete (marker %zu of %zu is missing)", i + 1,
                          chunks.size());
            return false;
        }
        profile.insert(profile.end(), chunks[i].begin(), chunks[i].end());
    }
    return true;
}

// Decodes into `out`; returns false with `err->message` set. Kept free of
// objects with destructors between setjmp and longjmp.
bool decodeJpeg(FILE* file, Image* out, JpegError* err) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&err->mgr);
    err->mgr.error_exit = jpegFail;
    err->mgr.emit_message = jpegQuiet;
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 14, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    // The camera's EXIF block: an APP1 marker opening with "Exif\0\0".
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
            std::memcmp(m->data, "Exif\0\0", 6) == 0) {
            out->orientation = exifOrientation(m->data, m->data_length);
            break;
        }
    if (!joinIccMarkers(info.marker_list, out->declared.iccProfile, err->message,
                        sizeof err->message)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > 1000000 ||
        info.image_height > 1000000 ||
        uint64_t(info.image_width) * info.image_height > kMaxImagePixels) {
        std::snprintf(err->message, sizeof err->message,
                      "%u x %u pixels is not a page image this can print",
                      unsigned(info.image_width), unsigned(info.image_height));
        jpeg_destroy_decompress(&info);
        return false;
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    out->format = "JPEG";
    out->width = static_cast<int>(info.output_width);
    out->height = static_cast<int>(info.output_height);
    out->space = cmyk ? ColourSpace::Cmyk : grey ? ColourSpace::Grey : ColourSpace::Rgb;
    const size_t row = size_t(info.output_width) * info.output_components;
    out->pixels.assign(row * info.output_height, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {out->pixels.data() + row * info.output_scanline};
        jpeg_read_scanlines(&info, rows, 1);
    }
    // CMYK files made by the common desktop tools store the inks inverted
    // and say so with an APP14 marker; ours then reads as ink amounts.
    if (cmyk && info.saw_Adobe_marker)
        for (uint8_t& v : out->pixels) v = static_cast<uint8_t>(255 - v);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

Image readJpeg(const fs::path& path) {
    File file = openRead(path);
    auto image = std::make_unique<Image>();
    auto err = std::make_unique<JpegError>();
    if (!decodeJpeg(file.get(), image.get(), err.get())) badImage(path, err->message);
    return std::move(*image);
}

bool encodeJpeg(FILE* file, const Image* image, JpegError* err, uint8_t* line) {
    jpeg_compress_struct info;
    info.err = jpeg_std_error(&err->mgr);
    err->mgr.error_exit = jpegFail;
    if (setjmp(err->jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image->width);
    info.image_height = static_cast<JDIMENSION>(image->height);
    info.input_components = image->channels();
    info.in_color_space = image->space == ColourSpace::Grey  ? JCS_GRAYSCALE
                          : image->space == ColourSpace::Rgb ? JCS_RGB
                                                             : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::vector<uint8_t>& profile = image->declared.iccProfile;
    const size_t chunks = (profile.size() + kIccChunk - 1) / kIccChunk;
    for (size_t i = 0; i < chunks && chunks < 256; ++i) {
        const size_t at = i * kIccChunk, n = std::min(kIccChunk, profile.size() - at);
        std::memcpy(line, kIccSignature, sizeof kIccSignature);
        line[12] = uint8_t(i + 1), line[13] = uint8_t(chunks);
        std::memcpy(line + kIccHeader, profile.data() + at, n);
        jpeg_write_marker(&info, JPEG_APP0 + 2, line, unsigned(kIccHeader + n));
    }
    const size_t row = size_t(image->width) * size_t(image->channels());
    while (info.next_scanline < info.image_height) {
        const uint8_t* from = image->pixels.data() + row * info.next_scanline;
        // CMYK goes out inverted with the APP14 marker, as readers expect.
        for (size_t i = 0; i < row; ++i)
            line[i] =
                image->space == ColourSpace::Cmyk ? static_cast<uint8_t>(255 - from[i]) : from[i];
        JSAMPROW rows[1] = {line};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

void writeJpeg(const fs::path& path, const Image& image) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) cannotWrite(path, std::strerror(errno));
    File file(f, &std::fclose);
    auto err = std::make_unique<JpegError>();
    // One line of samples, or one marker of the ICC profile.
    std::vector<uint8_t> line(
        std::max(size_t(image.width) * size_t(image.channels()), size_t(65535)));
    if (image.declared.iccProfile.size() > 255 * kIccChunk)
        cannotWrite(path, "the ICC profile is too large for a JPEG file");
    if (!encodeJpeg(f, &image, err.get(), line.data())) cannotWrite(path, err->message);
}

// ---- TIFF -----------------------------------------------------------------

// libtiff reports through one process-wide handler; the message is kept per
// thread, so pages read at once on several threads keep their own.
std::string& tiffMessage() {
    thread_local std::string message;
    return message;
}

void tiffError(const char* module, const char* fmt, va_list args) {
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, args);
    tiffMessage() = (module ? std::string(module) + ": " : std::string()) + buf;
}

void tiffWarning(const char*, const char*, va_list) {}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

// Set once, before any page is read: threads reading pages at once would
// otherwise all write libtiff's handlers.
void quietTiff() {
    static const bool quiet = [] {
        TIFFSetErrorHandler(tiffError);
        TIFFSetWarningHandler(tiffWarning);
        return true;
    }();
    (void)quiet;
}

// Separated (CMYK) samples, 8 or 16 bits, strips or tiles, one plane or
// one plane per ink.
void readTiffCmyk(const fs::path& path, TIFF* tif, Image& image, uint16_t spp, uint16_t bps) {
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    const int bytes = bps / 8;
    const size_t w = size_t(image.width), h = size_t(image.height);
    auto put = [&](size_t x, size_t y, int ch, const uint8_t* sample) {
        // 16-bit samples in the machine's order after libtiff's swab: take the high byte.
        uint8_t v = *sample;
        if (bytes == 2) {
            uint16_t wide;
            std::memcpy(&wide, sample, 2);
            v = static_cast<uint8_t>(wide >> 8);
        }
        image.pixels[(y * w + x) * 4 + size_t(ch)] = v;
    };
    if (TIFFIsTiled(tif)) {
        if (planar != PLANARCONFIG_CONTIG)
            badImage(path, "tiled CMYK TIFF with separate planes is not supported");
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        if (tw == 0 || th == 0) badImage(path, "tile size 0");
        std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(tif)));
        for (uint32_t ty = 0; ty < h; ty += th)
            for (uint32_t tx = 0; tx < w; tx += tw) {
                if (TIFFReadTile(tif, tile.data(), tx, ty, 0, 0) < 0) badImage(path, tiffMessage());
                for (uint32_t y = ty; y < std::min<size_t>(ty + th, h); ++y)
                    for (uint32_t x = tx; x < std::min<size_t>(tx + tw, w); ++x)
                        for (int ch = 0; ch < 4; ++ch)
                            put(x, y, ch,
                                &tile[((size_t(y - ty) * tw + (x - tx)) * spp + size_t(ch)) *
                                      bytes]);
            }
        return;
    }
    std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tif)));
    const int planes = planar == PLANARCONFIG_CONTIG ? 1 : 4;
    for (int plane = 0; plane < planes; ++plane)
        for (uint32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, static_cast<uint16_t>(plane)) < 0)
                badImage(path, "line " + std::to_string(y) + ": " + tiffMessage());
            for (size_t x = 0; x < w; ++x) {
                if (planes == 1)
                    for (int ch = 0; ch < 4; ++ch)
                        put(x, y, ch, &line[(x * spp + size_t(ch)) * bytes]);
                else
                    put(x, y, plane, &line[x * bytes]);
            }
        }
}

Tiff openTiff(const fs::path& path) {
    quietTiff();
    tiffMessage().clear();
    Tiff tif(TIFFOpen(path.c_str(), "r"));
    if (!tif) badImage(path, tiffMessage().empty() ? "not a TIFF file" : tiffMessage());
    return tif;
}

// The directories of a TIFF that are pages: all but the reduced-resolution
// copies (thumbnails, previews) some writers put beside them.
std::vector<tdir_t> tiffPages(const fs::path& path, TIFF* tif) {
    std::vector<tdir_t> pages;
    tdir_t dir = 0;
    do {
        uint32_t kind = 0;
        if (!TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &kind) || !(kind & FILETYPE_REDUCEDIMAGE))
            pages.push_back(dir);
        ++dir;
    } while (TIFFReadDirectory(tif) && dir < 65535);
    if (pages.empty()) badImage(path, "it holds only reduced-resolution images, no page");
    return pages;
}

int tiffPageCount(const fs::path& path) {
    Tiff tif = openTiff(path);
    return int(tiffPages(path, tif.get()).size());
}

Image readTiff(const fs::path& path, int page) {
    Tiff tif = openTiff(path);
    const std::vector<tdir_t> pages = tiffPages(path, tif.get());
    if (page < 0 || size_t(page) >= pages.size())
        badImage(path, "it has " + std::to_string(pages.size()) + " page" +
                           (pages.size() == 1 ? "" : "s") + ", no page " +
                           std::to_string(page + 1));
    if (!TIFFSetDirectory(tif.get(), pages[size_t(page)]))
        badImage(path, "page " + std::to_string(page + 1) + ": " +
                           (tiffMessage().empty() ? "cannot be read" : tiffMessage()));
    uint32_t width = 0, height = 0;
    uint16_t spp = 1, bps = 1, photometric = PHOTOMETRIC_MINISBLACK, inkset = INKSET_CMYK;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_INKSET, &inkset);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    checkSize(path, width, height);
    Image image;
    image.format = "TIFF";
    image.orientation = orientation >= 1 && orientation <= 8 ? orientation : 0;
    uint32_t profileLength = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile)
        image.declared.iccProfile.assign(static_cast<uint8_t*>(profile),
                                         static_cast<uint8_t*>(profile) + profileLength);
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    if (photometric == PHOTOMETRIC_SEPARATED) {
        if (inkset != INKSET_CMYK || spp < 4) badImage(path, "only CMYK separations are supported");
        if (bps != 8 && bps != 16)
            badImage(path, std::to_string(bps) + "-bit CMYK is not supported");
        image.space = ColourSpace::Cmyk;
        image.pixels.assign(size_t(width) * height * 4, 0);
        readTiffCmyk(path, tif.get(), image, spp, bps);
        return image;
    }
    // Everything else through libtiff's RGBA reader, which knows every
    // photometric interpretation, depth and layout (alpha premultiplied).
    // Asked for the file's own orientation it leaves the rows as stored
    // (it would only flip, never turn, the orientations that turn), so
    // every orientation is then applied in one place, as for CMYK.
    std::vector<uint32_t> rgba(size_t(width) * height);
    const int asStored = image.orientation ? image.orientation : ORIENTATION_TOPLEFT;
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, rgba.data(), asStored, 0))
        badImage(path, tiffMessage().empty() ? "cannot decode" : tiffMessage());
    const bool grey =
        spp - (spp == 2 || spp == 4 ? 1 : 0) == 1 &&
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    image.space = grey ? ColourSpace::Grey : ColourSpace::Rgb;
    const int c = image.channels();
    image.pixels.resize(rgba.size() * size_t(c));
    for (size_t i = 0; i < rgba.size(); ++i) {
        const uint32_t p = rgba[i];
        const unsigned a = TIFFGetA(p), white = 255 - a;
        const unsigned rgb[3] = {TIFFGetR(p) + white, TIFFGetG(p) + white, TIFFGetB(p) + white};
        for (int ch = 0; ch < c; ++ch)
            image.pixels[i * size_t(c) + size_t(ch)] =
                static_cast<uint8_t>(std::min(255u, rgb[ch]));
    }
    return image;
}

void writeTiff(const fs::path& path, const Image& image) {
    quietTiff();
    tiffMessage().clear();
    Tiff tif(TIFFOpen(path.c_str(), "w"));
    if (!tif) cannotWrite(path, tiffMessage());
    const int c = image.channels();
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(c));
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(8));
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(16));
    if (image.space == ColourSpace::Cmyk) {
        TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
        TIFFSetField(tif.get(), TIFFTAG_INKSET, INKSET_CMYK);
    } else {
        TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC,
                     image.space == ColourSpace::Rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    }
    if (!image.declared.iccProfile.empty())
        TIFFSetField(tif.get(), TIFFTAG_ICCPROFILE,
                     static_cast<uint32_t>(image.declared.iccProfile.size()),
                     image.declared.iccProfile.data());
    const size_t row = size_t(image.width) * size_t(c);
    for (int y = 0; y < image.height; ++y)
        if (TIFFWriteScanline(tif.get(),
                              const_cast<uint8_t*>(image.pixels.data()) + row * size_t(y),
                              static_cast<uint32_t>(y), 0) < 0)
            cannotWrite(path, tiffMessage());
}

// ---- WebP -----------------------------------------------------------------

struct DemuxCloser {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

// A still WebP, lossy or lossless, with its ICC profile and EXIF chunks.
Image readWebp(const fs::path& path, const std::string& data) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(bytes, data.size(), &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA)
        badImage(path, "the file ends before the image does (truncated)");
    if (status != VP8_STATUS_OK) badImage(path, "not a WebP image this can read (damaged header)");
    if (features.has_animation)
        badImage(path, "an animated WebP; only still images can be printed");
    checkSize(path, uint64_t(features.width), uint64_t(features.height));
    Image image;
    image.format = "WebP";
    const WebPData whole{bytes, data.size()};
    std::unique_ptr<WebPDemuxer, DemuxCloser> demux(WebPDemux(&whole));
    if (demux) {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
            image.declared.iccProfile.assign(chunk.chunk.bytes,
                                             chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
            image.orientation = exifOrientation(chunk.chunk.bytes, chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    image.width = features.width;
    image.height = features.height;
    image.space = ColourSpace::Rgb;
    const size_t n = size_t(features.width) * size_t(features.height);
    std::vector<uint8_t> rgba(n * 4);
    if (!WebPDecodeRGBAInto(bytes, data.size(), rgba.data(), rgba.size(), features.width * 4))
        badImage(path, "the WebP image data is damaged or truncated");
    image.pixels.resize(n * 3);
    for (size_t i = 0; i < n; ++i)
        for (size_t ch = 0; ch < 3; ++ch)
            image.pixels[i * 3 + ch] = overWhite(rgba[i * 4 + ch], rgba[i * 4 + 3], 255);
    return image;
}

// Lossless, so a picture written and read back is the same picture.
void writeWebp(const fs::path& path, const Image& image) {
    if (image.space == ColourSpace::Cmyk)
        cannotWrite(path, "WebP holds no CMYK; write a .tif or .pam");
    std::vector<uint8_t> rgb;
    const uint8_t* pixels = image.pixels.data();
    if (image.space == ColourSpace::Grey) {
        for (uint8_t v : image.pixels) rgb.insert(rgb.end(), {v, v, v});
        pixels = rgb.data();
    }
    uint8_t* out = nullptr;
    const size_t size =
        WebPEncodeLosslessRGB(pixels, image.width, image.height, image.width * 3, &out);
    if (size == 0) cannotWrite(path, "the WebP encoder refused the image");
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(out), std::streamsize(size));
    WebPFree(out);
    if (!f) cannotWrite(path, "write failed");
}

// ---- PNM ------------------------------------------------------------------

class PnmReader {
public:
    PnmReader(const fs::path& path, std::string data) : path_(path), data_(std::move(data)) {}

    Image read() {
        if (data_.size() < 2 || data_[0] != 'P' || data_[1] < '1' || data_[1] > '7')
            badImage(path_, "not a PNM file");
        const char kind = data_[1];
        pos_ = 2;
        return kind == '7' ? readPam() : readClassic(kind);
    }

private:
    Image readClassic(char kind) {
        const bool bits = kind == '1' || kind == '4';
        const uint64_t width = number(), height = number();
        const uint64_t max = bits ? 1 : number();
        if (max == 0 || max > 65535)
            badImage(path_, "maximum value " + std::to_string(max) + " is out of range");
        checkSize(path_, width, height);
        const bool colour = kind == '3' || kind == '6';
        Image image = start(width, height, colour ? ColourSpace::Rgb : ColourSpace::Grey);
        const int c = colour ? 3 : 1;
        const bool ascii = kind <= '3';
        if (!ascii) ++pos_;  // the single white-space character before the raster
        if (bits) {
            const size_t row = (width + 7) / 8;
            for (uint64_t y = 0; y < height; ++y)
                for (uint64_t x = 0; x < width; ++x) {
                    unsigned v;
                    if (ascii) {
                        skipSpace();
                        if (pos_ >= data_.size()) truncated();
                        v = data_[pos_++] == '1';
                    } else {
                        const size_t at = pos_ + y * row + x / 8;
                        if (at >= data_.size()) truncated();
                        v = (static_cast<uint8_t>(data_[at]) >> (7 - x % 8)) & 1;
                    }
                    image.pixels[y * width + x] = v ? 0 : 255;  // 1 is black
                }
            return image;
        }
        const size_t samples = size_t(width) * height * size_t(c);
        for (size_t i = 0; i < samples; ++i)
            image.pixels[i] = scale(ascii ? number() : binarySample(i, max), max);
        return image;
    }

    Image readPam() {
        uint64_t width = 0, height = 0, depth = 0, max = 0;
        std::string tuple;
        for (;;) {
            const std::string key = token();
            if (key == "ENDHDR") break;
            if (key.empty()) truncated();
            if (key == "WIDTH")
                width = number();
            else if (key == "HEIGHT")
                height = number();
            else if (key == "DEPTH")
                depth = number();
            else if (key == "MAXVAL")
                max = number();
            else if (key == "TUPLTYPE")
                tuple = token();
            else
                skipLine();
        }
        ++pos_;
        if (max == 0 || max > 65535)
            badImage(path_, "maximum value " + std::to_string(max) + " is out of range");
        checkSize(path_, width, height);
        struct Kind {
            const char* name;
            ColourSpace space;
            uint64_t depth;
            bool alpha;
        };
        constexpr Kind kinds[] = {{"BLACKANDWHITE", ColourSpace::Grey, 1, false},
                                  {"GRAYSCALE", ColourSpace::Grey, 1, false},
                                  {"GRAYSCALE_ALPHA", ColourSpace::Grey, 2, true},
                                  {"RGB", ColourSpace::Rgb, 3, false},
                                  {"RGB_ALPHA", ColourSpace::Rgb, 4, true},
                                  {"CMYK", ColourSpace::Cmyk, 4, false}};
        const Kind* kind = nullptr;
        for (const Kind& k : kinds)
            if (tuple == k.name && depth == k.depth) kind = &k;
        if (!kind)
            badImage(path_, "PAM tuple type '" + tuple + "' of depth " + std::to_string(depth) +
                                " is not supported");
        Image image = start(width, height, kind->space);
        const int c = image.channels();
        for (size_t p = 0; p < size_t(width) * height; ++p) {
            unsigned alpha =
                kind->alpha ? unsigned(binarySample(p * depth + depth - 1, max)) : unsigned(max);
            for (int ch = 0; ch < c; ++ch) {
                const unsigned v = unsigned(binarySample(p * depth + size_t(ch), max));
                image.pixels[p * size_t(c) + size_t(ch)] =
                    kind->alpha ? overWhite(v, alpha, unsigned(max)) : scale(v, max);
            }
        }
        return image;
    }

    Image start(uint64_t width, uint64_t height, ColourSpace space) {
        Image image;
        image.format = "PNM";
        image.width = static_cast<int>(width);
        image.height = static_cast<int>(height);
        image.space = space;
        image.pixels.assign(size_t(width) * height * size_t(image.channels()), 0);
        return image;
    }

    static uint8_t scale(uint64_t v, uint64_t max) {
        return static_cast<uint8_t>((std::min(v, max) * 255 + max / 2) / max);
    }

    uint64_t binarySample(size_t index, uint64_t max) {
        const size_t bytes = max > 255 ? 2 : 1;
        const size_t at = pos_ + index * bytes;
        if (at + bytes > data_.size()) truncated();
        const auto b = [&](size_t i) { return static_cast<uint8_t>(data_[at + i]); };
        return bytes == 2 ? (uint64_t(b(0)) << 8) | b(1) : b(0);
    }

    void skipSpace() {
        while (pos_ < data_.size()) {
            const char ch = data_[pos_];
            if (ch == '#')
                skipLine();
            else if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' ||
                     ch == '\v')
                ++pos_;
            else
                break;
        }
    }
    void skipLine() {
        while (pos_ < data_.size() && data_[pos_] != '\n') ++pos_;
    }
    std::string token() {
        skipSpace();
        const size_t start = pos_;
        while (pos_ < data_.size() && !std::isspace(static_cast<unsigned char>(data_[pos_])))
            ++pos_;
        return data_.substr(start, pos_ - start);
    }
    uint64_t number() {
        const std::string t = token();
        if (t.empty()) truncated();
        uint64_t v = 0;
        for (char ch : t) {
            if (ch < '0' || ch > '9') badImage(path_, "'" + t + "' is not a number");
            v = v * 10 + uint64_t(ch - '0');
            if (v > 100000000) badImage(path_, "number " + t + " is out of range");
        }
        return v;
    }
    [[noreturn]] void truncated() {
        badImage(path_, "the file ends before the image does (truncated)");
    }

    fs::path path_;
    std::string data_;
    size_t pos_ = 0;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) badImage(path, std::strerror(errno));
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writePnm(const fs::path& path, const Image& image, bool pam) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) cannotWrite(path, std::strerror(errno));
    if (pam) {
        const char* tuple = image.space == ColourSpace::Grey  ? "GRAYSCALE"
                            : image.space == ColourSpace::Rgb ? "RGB"
                                                              : "CMYK";
        out << "P7\nWIDTH " << image.width << "\nHEIGHT " << image.height << "\nDEPTH "
            << image.channels() << "\nMAXVAL 255\nTUPLTYPE " << tuple << "\nENDHDR\n";
    } else {
        if (image.space == ColourSpace::Cmyk) cannotWrite(path, "PNM holds no CMYK; write a .pam");
        out << (image.space == ColourSpace::Rgb ? "P6" : "P5") << "\n"
            << image.width << " " << image.height << "\n255\n";
    }
    out.write(reinterpret_cast<const char*>(image.pixels.data()),
              static_cast<std::streamsize>(image.pixels.size()));
    if (!out) cannotWrite(path, "write failed");
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

int channelCount(ColourSpace space) {
    return space == ColourSpace::Grey ? 1 : space == ColourSpace::Rgb ? 3 : 4;
}
int Image::channels() const {
    return channelCount(space);
}

const char* spaceName(ColourSpace space) {
    return space == ColourSpace::Grey ? "grey" : space == ColourSpace::Rgb ? "RGB" : "CMYK";
}

FileKind fileKind(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) badImage(path, "no such file");
    if (fs::is_directory(path, ec)) badImage(path, "it is a directory");
    unsigned char head[16] = {};
    size_t got = 0;
    {
        File file = openRead(path);
        got = std::fread(head, 1, sizeof head, file.get());
    }
    if (got < 2) badImage(path, "the file is empty or too short to be an image");
    if (head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G') return FileKind::Png;
    if (head[0] == 0xFF && head[1] == 0xD8) return FileKind::Jpeg;
    if ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))
        return FileKind::Tiff;
    if (head[0] == 'P' && head[1] >= '1' && head[1] <= '7') return FileKind::Pnm;
    if (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0)
        return FileKind::Webp;
    if (got >= 5 && std::memcmp(head, "%PDF-", 5) == 0) return FileKind::Pdf;
    badImage(path, "not a PNG, JPEG, TIFF, WebP, PNM or PDF file");
}

int imagePageCount(const fs::path& path) {
    const FileKind kind = fileKind(path);
    if (kind == FileKind::Pdf) badImage(path, "a PDF document, not an image");
    return kind == FileKind::Tiff ? tiffPageCount(path) : 1;
}

uint64_t imagePixelsHint(const fs::path& path, int page) {
    try {
        const FileKind kind = fileKind(path);
        if (kind == FileKind::Tiff) {
            Tiff tif = openTiff(path);
            const std::vector<tdir_t> pages = tiffPages(path, tif.get());
            uint32_t w = 0, h = 0;
            if (page >= 0 && size_t(page) < pages.size() &&
                TIFFSetDirectory(tif.get(), pages[size_t(page)]) &&
                TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) &&
                TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h))
                return std::min<uint64_t>(uint64_t(w) * h, kMaxImagePixels);
            return 0;
        }
        if (kind == FileKind::Pnm)
            return std::min<uint64_t>(fs::file_size(path), kMaxImagePixels);  // stored whole
        // The sizes in the first bytes: PNG's header chunk, a JPEG's frame
        // header, WebP's canvas.
        std::string head(size_t(1) << 16, '\0');
        {
            File file = openRead(path);
            head.resize(std::fread(head.data(), 1, head.size(), file.get()));
        }
        const auto* b = reinterpret_cast<const uint8_t*>(head.data());
        const auto be16 = [&](size_t at) { return uint32_t(b[at] << 8 | b[at + 1]); };
        uint64_t pixels = 0;
        if (kind == FileKind::Png && head.size() >= 24)
            pixels = uint64_t(be16(16) << 16 | be16(18)) * uint64_t(be16(20) << 16 | be16(22));
        if (kind == FileKind::Webp) {
            int w = 0, h = 0;
            if (WebPGetInfo(b, head.size(), &w, &h)) pixels = uint64_t(w) * uint64_t(h);
        }
        if (kind == FileKind::Jpeg)
            for (size_t at = 2; at + 9 <= head.size() && b[at] == 0xFF;) {
                const uint8_t marker = b[at + 1];
                if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                    marker != 0xCC) {
                    pixels = uint64_t(be16(at + 5)) * be16(at + 7);
                    break;
                }
                at += 2 + be16(at + 2);
            }
        return std::min(pixels, kMaxImagePixels);
    } catch (const Failure&) {
        return 0;
    }
}

Image readImage(const fs::path& path, int page) {
    const FileKind kind = fileKind(path);
    if (kind != FileKind::Tiff && page != 0)
        badImage(path, "it holds one page, no page " + std::to_string(page + 1));
    Image image;
    switch (kind) {
        case FileKind::Png: image = readPng(path); break;
        case FileKind::Jpeg: image = readJpeg(path); break;
        case FileKind::Tiff: image = readTiff(path, page); break;
        case FileKind::Pnm: return PnmReader(path, slurp(path)).read();
        case FileKind::Webp: image = readWebp(path, slurp(path)); break;
        case FileKind::Pdf: badImage(path, "a PDF document, not an image");
    }
    applyOrientation(image, image.orientation);
    return image;
}

void writeImage(const fs::path& path, const Image& image, bool fast) {
    const std::string ext = lower(path.extension().string());
    if (ext == ".png")
        writePng(path, image, fast);
    else if (ext == ".tif" || ext == ".tiff")
        writeTiff(path, image);
    else if (ext == ".jpg" || ext == ".jpeg")
        writeJpeg(path, image);
    else if (ext == ".pgm" || ext == ".ppm" || ext == ".pnm")
        writePnm(path, image, false);
    else if (ext == ".pam")
        writePnm(path, image, true);
    else if (ext == ".webp")
        writeWebp(path, image);
    else
        cannotWrite(path, "unknown image extension '" + ext +
                              "' (use .png, .tif, .jpg, .webp, .pgm, .ppm or .pam)");
}

}  // namespace inkdot::cli
