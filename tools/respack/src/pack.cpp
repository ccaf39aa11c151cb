// The default pack: every resource a colour-matching and a halftone sequence
// can ask for, one file per resource number, and a manifest that says what
// each one is and which print settings select it.
#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

#include "bytes.h"

namespace respack {
namespace {

using namespace detail;
namespace fs = std::filesystem;

// ---- print settings -------------------------------------------------------

struct Media {
    const char* name;
    int base;        // resource numbers of the media's tables start here
    int class3d;     // table class of its 3-D tables
    int inkLimit3d;  // percent
    double toneGamma;
    int16_t percentAt0;  // dot gain of an isolated dot on this paper
};
constexpr Media kMedia[] = {
    {"PlainPaper", 1000, 100, 220, 1.15, 350},
    {"PhotoMatte", 2000, 110, 260, 1.1, 350},
    {"PhotoGlossy", 3000, 120, 300, 1.0, 250},
};

struct Quality {
    int number;
    const char* name;
    int x, y;
};
constexpr Quality kQualities[] = {{1, "draft", 720, 360},
                                  {2, "normal", 720, 720},
                                  {3, "fine", 1440, 720},
                                  {4, "best", 2880, 720}};

const std::vector<std::string> kKeyA{"Auto", "Graphics", "Neutral", "Standard"};
const std::vector<std::string> kKeyC{"None", "Linear", "Custom", "Vivid", "Matched"};
constexpr int kStandard = 3, kVivid = 3, kMatched = 4;

// ---- resource numbers -----------------------------------------------------

enum : int {
    kDraft3d = 1,
    kNormal3d = 2,
    kBest3d = 3,
    kVivid3d = 4,
    kEconomy3d = 5,
    kOneBit4d = 11,
    kTwoBit4d = 12,
    kTwoBitFine4d = 13,
    kDraft4d = 14,
    kSecondIndex = 900,
    kCurveTable = 950,
};
constexpr int kCurveMaps = 980, kCurveMeasurements = 990;
constexpr int kListDiffusion = 5001, kListDither = 5002, kListBayer = 5003, kListMode7 = 5007,
              kListMode7Bayer = 5008;
constexpr int kGridLevels = 5100;
constexpr int kBlueNoise256 = 5200, kBlueNoise64 = 5201, kBlueNoise128 = 5202, kBlueNoise16 = 5203;
constexpr int kBayer16 = 5210, kBayer8 = 5211;
constexpr int kRecords = 5300, kRecordsSingleInk = 5301;
constexpr int kItemSet4 = 6001, kItemSet6 = 6002, kItemTable4 = 6003, kItemContainer6 = 6004,
              kItemSelector4 = 6012, kItemSelector6 = 6013;

// ---- JSON -----------------------------------------------------------------

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else
            out += c;
    }
    return out + "\"";
}

// A JSON object written member by member, on one line.
class Obj {
public:
    Obj& num(const std::string& k, long long v) { return raw(k, std::to_string(v)); }
    Obj& real(const std::string& k, double v) {
        std::ostringstream s;
        s << v;
        return raw(k, s.str());
    }
    Obj& str(const std::string& k, const std::string& v) { return raw(k, quote(v)); }
    Obj& obj(const std::string& k, const Obj& v) { return raw(k, v.text()); }
    Obj& raw(const std::string& k, const std::string& v) {
        body_ += (body_.empty() ? "" : ", ") + quote(k) + ": " + v;
        return *this;
    }
    std::string text() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

template <class T, class F>
std::string array(const std::vector<T>& items, F each) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + each(items[i]);
    return out + "]";
}

std::string hex64(uint64_t v) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// ---- the pack -------------------------------------------------------------

struct Entry {
    int number;
    std::string kind;
    std::string description;
    Obj parameters;
    std::vector<Obj> selectedBy;  // colour tables and second indexes
    Obj use;                      // halftone lists, curve items
    std::string generator;        // for resources worth caching
    Bytes bytes;
    int tableClass = 0;  // colour tables: the class their index lines give
};

class PackWriter {
public:
    explicit PackWriter(fs::path dir) : dir_(std::move(dir)) { readOldManifest(); }

    Entry& add(int number, std::string kind, std::string description, Bytes bytes) {
        for (const Entry& e : entries_)
            require(e.number != number,
                    "resource " + std::to_string(number) + " is laid out twice");
        entries_.push_back(Entry{
            number, std::move(kind), std::move(description), {}, {}, {}, {}, std::move(bytes)});
        return entries_.back();
    }

    Entry& find(int number) {
        for (Entry& e : entries_)
            if (e.number == number) return e;
        throw std::logic_error("respack: resource " + std::to_string(number) +
                               " is not in the pack");
    }

    // A resource that takes a while to make: taken from the old pack when
    // its generator and checksum there are the ones expected.
    Entry& addCached(int number, std::string kind, std::string description,
                     const std::string& generator, const std::function<Bytes()>& make) {
        Bytes bytes;
        auto old = oldEntries_.find(number);
        if (old != oldEntries_.end() && old->second.generator == generator) {
            std::ifstream in(dir_ / resourceFileName(number), std::ios::binary);
            Bytes cached((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (in.good() || in.eof())
                if (hex64(fnv1a64(cached)) == old->second.checksum) bytes = std::move(cached);
        }
        if (bytes.empty()) bytes = make();
        Entry& e = add(number, std::move(kind), std::move(description), std::move(bytes));
        e.generator = generator;
        return e;
    }

    void write(const std::string& settings) {
        fs::create_directories(dir_);
        std::sort(entries_.begin(), entries_.end(),
                  [](const Entry& a, const Entry& b) { return a.number < b.number; });
        std::string manifest = "{\n  \"format\": \"inkdot resource pack\",\n  \"version\": 1,\n";
        manifest += "  \"settings\": " + settings + ",\n  \"resources\": [\n";
        for (size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            std::ofstream out(dir_ / resourceFileName(e.number),
                              std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(e.bytes.data()),
                      static_cast<std::streamsize>(e.bytes.size()));
            if (!out)
                throw std::runtime_error("respack: cannot write " +
                                         (dir_ / resourceFileName(e.number)).string());
            Obj o;
            o.num("number", e.number).str("file", resourceFileName(e.number)).str("kind", e.kind);
            o.num("size", static_cast<long long>(e.bytes.size()))
                .str("fnv1a64", hex64(fnv1a64(e.bytes)));
            o.str("description", e.description).obj("parameters", e.parameters);
            if (!e.generator.empty()) o.str("generator", e.generator);
            if (!e.selectedBy.empty())
                o.raw("selectedBy", array(e.selectedBy, [](const Obj& s) { return s.text(); }));
            if (e.use.text() != "{}") o.obj("use", e.use);
            manifest += "    " + o.text() + (i + 1 < entries_.size() ? ",\n" : "\n");
        }
        manifest += "  ]\n}\n";
        std::ofstream out(dir_ / "manifest.json", std::ios::binary | std::ios::trunc);
        out << manifest;
        if (!out) throw std::runtime_error("respack: cannot write the manifest");
    }

private:
    struct Old {
        std::string generator, checksum;
    };

    // Every resource stands on one line of the manifest we write, so the few
    // fields the cache needs are found without a JSON reader.
    void readOldManifest() {
        std::ifstream in(dir_ / "manifest.json");
        std::string line;
        auto field = [&](const std::string& name) {
            const std::string key = "\"" + name + "\": ";
            size_t at = line.find(key);
            if (at == std::string::npos) return std::string();
            at += key.size();
            if (line[at] == '"') {
                size_t end = line.find('"', at + 1);
                return line.substr(at + 1, end - at - 1);
            }
            return line.substr(at, line.find_first_of(",}", at) - at);
        };
        while (std::getline(in, line)) {
            const std::string number = field("number"), generator = field("generator");
            if (!number.empty() && !generator.empty())
                oldEntries_[std::stoi(number)] = Old{generator, field("fnv1a64")};
        }
    }

    fs::path dir_;
    std::deque<Entry> entries_;  // stable references while the pack grows
    std::map<int, Old> oldEntries_;
};

Obj selection(const Media& m, int mediaIndex, const Quality& q, int bits, int keyC, int inks,
              int variant) {
    Obj o;
    o.num("keyA", kStandard).num("keyB", mediaIndex).num("keyC", keyC);
    o.num("numberA", q.number).num("numberB", bits).num("numberC", inks).num("numberD", variant);
    o.str("media", m.name).str("quality", q.name).num("xResolution", q.x).num("yResolution", q.y);
    o.str("colourMode", kKeyC[keyC]);
    return o;
}

std::string settingsJson() {
    Obj s;
    auto names = [](const std::vector<std::string>& v) {
        return array(v, [](const std::string& n) { return quote(n); });
    };
    std::vector<std::string> media;
    for (const Media& m : kMedia) media.push_back(m.name);
    s.raw("keyA", names(kKeyA)).raw("keyB", names(media)).raw("keyC", names(kKeyC));
    std::vector<Obj> qualities;
    for (const Quality& q : kQualities) {
        Obj o;
        o.num("numberA", q.number)
            .str("name", q.name)
            .num("xResolution", q.x)
            .num("yResolution", q.y);
        qualities.push_back(o);
    }
    s.raw("numberA", array(qualities, [](const Obj& o) { return o.text(); }));
    s.raw("numberB", "{\"1\": \"one-bit dots\", \"2\": \"two-bit dots (small, medium, large)\"}");
    s.raw("numberC", "{\"4\": \"RGB to CMYK (3-D)\", \"6\": \"CMYK to six inks (4-D)\"}");
    s.raw("numberD", "{\"1\": \"standard\", \"2\": \"economy\"}");
    s.raw("inkOrder",
          "[\"cyan\", \"light cyan\", \"magenta\", \"light magenta\", \"yellow\", \"black\"]");
    Obj halftone;
    halftone.num("diffusion", kListDiffusion)
        .num("dither", kListDither)
        .num("bayer", kListBayer)
        .num("mode7", kListMode7);
    halftone.num("mode7-bayer", kListMode7Bayer);
    s.obj("halftoneLists", halftone);
    Obj stage;
    stage.num("maps", kCurveMaps).num("measurements", kCurveMeasurements);
    stage.raw("secondIndex", "{\"1000\": 1900, \"2000\": 2900, \"3000\": 3900}");
    s.obj("curveStage", stage);
    return s.text();
}

int tableFor(int mi, int quality, int bits, int keyC, int inks, int variant);
Bytes toBytes(const std::string& s);

// The tables of one media, the index lines that choose them, its second
// index and its curve table. With a colour source, the six-ink tables are
// made first, as the RGB tables print through them.
void addMedia(PackWriter& pack, std::vector<IndexLine>& lines, int mi, ColourTableSource* colour) {
    const Media& m = kMedia[mi];
    const int b = m.base;
    const auto resource = [&pack](int32_t number) -> const Bytes& {
        return pack.find(number).bytes;
    };
    auto request = [&](const char* role, int x, int y, int bits) {
        return TableRequest{m.name, role, x, y, bits, kListDiffusion, resource, nullptr};
    };
    // A characterised table is taken from the old pack when it was made by
    // the same method (the source's generator, which names its version),
    // for the same media and role, from the same options (the checksum of
    // the formula table they make) and, for an RGB table, through the same
    // six-ink table.
    auto table4d = [&](int number, ColourTable4dOptions options, int tableClass,
                       const std::string& what, const std::string& extra,
                       const TableRequest& req) -> Entry& {
        // A linearised table needs more points than the smooth split: its
        // curves bend most where the light inks hand over.
        if (colour) options.points = std::max(options.points, 17);
        Entry& e = colour
                       ? pack.addCached(b + number, "colour-table-4d", what + ", " + m.name,
                                        colour->generator() + " separation " + m.name + " " +
                                            req.role + " " + hex64(fnv1a64(colourTable4d(options))),
                                        [&] { return colour->separationTable(req, options); })
                       : pack.add(b + number, "colour-table-4d", what + ", " + m.name,
                                  colourTable4d(options));
        e.tableClass = tableClass;
        e.parameters.num("points", options.points).num("type", 128).num("kind", options.kind);
        e.parameters.num("tableClass", tableClass).num("percentAt0", options.percentAt0);
        e.parameters.num("percentAt255", options.percentAt255);
        e.parameters.num("inkLimit", options.inkLimit);
        if (colour)
            e.parameters.str("method", "linearised by printing ink ramps").str("extraBlock", extra);
        else
            e.parameters.real("lightDensity", options.lightDensity)
                .real("darkStart", options.darkStart)
                .str("extraBlock", extra);
        return e;
    };
    const bool plain = mi == 0, glossy = mi == 2;
    const int16_t p0 = m.percentAt0;
    table4d(kOneBit4d, {.points = 9, .percentAt0 = p0}, 200 + 10 * mi,
            "CMYK to six inks, one-bit dots", "none", request("one-bit", 1440, 720, 1));
    table4d(kTwoBit4d, {.points = 9, .percentAt0 = p0, .extraBlock = extraBlockKind1({.code = 2})},
            200 + 10 * mi, "CMYK to six inks, two-bit dots", "kind 1, dot-size code 2",
            request("two-bit", 1440, 720, 2));
    if (glossy)
        table4d(kTwoBitFine4d,
                {.points = 17,
                 .percentAt0 = p0,
                 .extraBlock =
                     extraBlockKind2({.records = kRecords, .recordsSingleInk = kRecordsSingleInk})},
                200 + 10 * mi, "CMYK to six inks, two-bit dots, best",
                "kind 2, level records 5300 and 5301",
                // Measured at 1440 x 720: at 2880 x 720 the kernels' dots,
                // even two pixels wide, leave a fifth of a solid bare (the
                // ink model's black is L* 50 there), and tables inverted
                // there would squeeze every picture into that range.
                request("two-bit fine", 1440, 720, 2));
    if (plain)
        table4d(kDraft4d, {.points = 9, .percentAt0 = 500, .inkLimit = 240}, 200,
                "CMYK to six inks, one-bit draft", "none", request("draft", 720, 360, 1));

    auto table3d = [&](int number, ColourTable3dOptions options, int tableClass,
                       const std::string& what, TableRequest req, int separation) -> Entry& {
        options.toneGamma = m.toneGamma;
        options.percentAt0 = m.percentAt0;
        if (options.inkLimit == ColourTable3dOptions{}.inkLimit) options.inkLimit = m.inkLimit3d;
        req.separation = &pack.find(b + separation).bytes;
        Entry& e = colour ? pack.addCached(b + number, "colour-table-3d", what + ", " + m.name,
                                           colour->generator() + " rgb " + m.name + " " + req.role +
                                               " " + hex64(fnv1a64(colourTable3d(options))) +
                                               " through " + hex64(fnv1a64(*req.separation)),
                                           [&] { return colour->rgbTable(req, options); })
                          : pack.add(b + number, "colour-table-3d", what + ", " + m.name,
                                     colourTable3d(options));
        e.tableClass = tableClass;
        e.parameters.num("points", options.points)
            .num("type", options.type)
            .num("kind", options.kind);
        e.parameters.num("tableClass", tableClass);
        if (colour) {
            e.parameters.num("inkLimit", options.inkLimit);
            e.parameters.str("method", "characterised: a printed patch target, inverted")
                .num("separation", b + separation);
        } else {
            e.parameters.num("percentAt0", options.percentAt0)
                .num("percentAt255", options.percentAt255);
            e.parameters.num("inkLimit", options.inkLimit)
                .real("blackStart", options.blackStart)
                .real("ucr", options.ucr);
        }
        return e;
    };
    table3d(kDraft3d, {.points = 9, .type = 0}, plain ? 310 : m.class3d, "RGB to CMYK, draft",
            request("draft", 720, 360, 2), kTwoBit4d);
    table3d(kNormal3d, {.points = 17, .type = 50}, m.class3d, "RGB to CMYK",
            request("normal", 1440, 720, 2), kTwoBit4d);
    if (glossy)
        table3d(kBest3d, {.points = 33, .type = 51}, m.class3d, "RGB to CMYK, best",
                request("best", 1440, 720, 2), kTwoBitFine4d);
    table3d(kVivid3d,
            {.points = 17,
             .type = 50,
             .blackStart = 0.45,
             .ucr = 0.5,
             .dominantReduction = {0, 0, 0},
             .hueShift = {0, 0, 0, 10}},
            m.class3d + 5, "RGB to CMYK, vivid", request("vivid", 1440, 720, 2), kTwoBit4d);
    if (plain)
        table3d(kEconomy3d, {.points = 17, .type = 0, .inkLimit = 160}, 0, "RGB to CMYK, economy",
                request("economy", 1440, 720, 2), kTwoBit4d);

    // Index lines: every quality, dot depth, colour mode, table role and
    // variant that has a table; the second index answers the same settings
    // (with the colour mode cleared) with the media's curve table.
    std::vector<IndexLine> second;
    for (const Quality& q : kQualities)
        for (int bits : {1, 2})
            for (int inks : {4, 6})
                for (int variant : {1, 2}) {
                    bool any = false;
                    for (int keyC : {kMatched, 0, kVivid}) {
                        const int t = tableFor(mi, q.number, bits, keyC, inks, variant);
                        if (t < 0) continue;
                        any = true;
                        Entry& e = pack.find(b + t);
                        lines.push_back(
                            {b + t, static_cast<int32_t>(e.tableClass), kKeyA[kStandard], m.name,
                             q.number, bits, kKeyC[keyC], inks, variant,
                             "# " + std::string(q.name) + (bits == 1 ? ", one-bit" : ", two-bit")});
                        e.selectedBy.push_back(selection(m, mi, q, bits, keyC, inks, variant));
                    }
                    if (any)
                        second.push_back({b + kCurveTable, 0, kKeyA[kStandard], m.name, q.number,
                                          bits, kKeyC[0], inks, variant, ""});
                }

    IndexOptions options{.preamble = "inkdot curve tables, " + std::string(m.name),
                         .lines = second,
                         .keyA = kKeyA,
                         .keyB = {m.name},
                         .keyBBase = mi,
                         .keyC = {kKeyC[0]}};
    Entry& e = pack.add(b + kSecondIndex, "second-index",
                        std::string("curve tables by print settings, ") + m.name,
                        toBytes(indexText(options)));
    e.parameters.num("version", options.version)
        .num("lines", static_cast<long long>(second.size()));
    e.use.num("resourceBase", b);
    Entry& c = pack.add(b + kCurveTable, "curve-table",
                        std::string("21 mid-tone curves, ") + m.name, curveTable(1));
    c.parameters.num("mode", 1).num("curves", 21).num("identity", 10).real("unit", 0.01);
}

// Which of the media's tables answers a setting: an offset from its base,
// or -1 when no table does.
int tableFor(int mi, int quality, int bits, int keyC, int inks, int variant) {
    const bool plain = mi == 0, glossy = mi == 2;
    if (inks == 4) {
        if (variant == 2) return plain && quality <= 2 ? kEconomy3d : -1;
        if (keyC == kVivid) return kVivid3d;
        if (quality == 1) return kDraft3d;
        return glossy && quality == 4 ? kBest3d : kNormal3d;
    }
    // The economy variant saves ink in its RGB table; its CMYK goes through
    // the standard separation.
    if (variant == 2 && !(plain && quality <= 2)) return -1;
    if (bits == 1) return plain && quality == 1 ? kDraft4d : kOneBit4d;
    return glossy && quality == 4 ? kTwoBitFine4d : kTwoBit4d;
}

Bytes toBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

void addHalftone(PackWriter& pack) {
    auto list = [&](int number, const char* what, std::vector<int16_t> numbers, Obj use) {
        Entry& e = pack.add(number, "resource-list", what, resourceList(numbers));
        e.parameters.raw("numbers", array(numbers, [](int16_t v) { return std::to_string(v); }));
        e.use = use;
    };
    list(kListDiffusion, "error diffusion: grid levels and a matrix per resolution",
         {kGridLevels, kBlueNoise64, kBlueNoise128, kBlueNoise256, kBlueNoise64, kBlueNoise256},
         Obj().num("method", 1).raw("inkSet", "[0, 3]").raw("outputBits", "[1, 2]"));
    list(kListDither, "ordered dither on blue noise",
         {kGridLevels, kBlueNoise256, kBlueNoise256, kBlueNoise256, kBlueNoise256, kBlueNoise256},
         Obj().num("method", 3).raw("inkSet", "[0, 3]").raw("outputBits", "[1, 2]"));
    list(kListBayer, "ordered dither on Bayer matrices",
         {kGridLevels, kBayer16, kBayer8, kBayer16, kBayer8, kBayer16},
         Obj().num("method", 3).raw("inkSet", "[0, 3]").raw("outputBits", "[1, 2]"));
    list(kListMode7, "separation to ink amounts or one-bit planes (mode 7)",
         {kGridLevels, kBlueNoise16, kBlueNoise16, kBlueNoise16},
         Obj().raw("method", "[0, 3]").num("inkSet", 3).raw("outputBits", "[1, 8]"));
    list(kListMode7Bayer, "separation to one-bit planes on a Bayer matrix (mode 7)",
         {kGridLevels, kBayer16, kBayer16, kBayer16},
         Obj().num("method", 3).num("inkSet", 3).num("outputBits", 1));

    GridLevelsOptions levels;
    Entry& g = pack.add(kGridLevels, "grid-levels", "32 levels, closer in the highlights",
                        gridLevels(levels));
    g.parameters.num("count", 32).real("exponent", levels.exponent);

    for (auto [number, n] : {std::pair{kBlueNoise256, 256},
                             {kBlueNoise128, 128},
                             {kBlueNoise64, 64},
                             {kBlueNoise16, 16}}) {
        Entry& e = pack.addCached(
            number, "dither-matrix",
            std::to_string(n) + " x " + std::to_string(n) + " blue noise (void-and-cluster)",
            "void-and-cluster/1 sigma 1.5 n " + std::to_string(n),
            [size = n] { return ditherMatrixBlueNoise(size); });
        e.parameters.num("width", n).num("height", n).str("method", "void-and-cluster");
    }
    for (auto [number, n] : {std::pair{kBayer16, 16}, {kBayer8, 8}}) {
        Entry& e = pack.add(number, "dither-matrix",
                            std::to_string(n) + " x " + std::to_string(n) + " Bayer",
                            ditherMatrixBayer(n));
        e.parameters.num("width", n).num("height", n).str("method", "Bayer");
    }
    LevelRecordOptions six;
    Entry& r =
        pack.add(kRecords, "level-records", "512 level records, separated inks", levelRecords(six));
    r.parameters.num("count", six.count)
        .real("smallShare", six.smallShare)
        .real("lowSlope", six.lowSlope);
    LevelRecordOptions single{.lowSlope = 65.0 / 203.0};
    Entry& r1 = pack.add(kRecordsSingleInk, "level-records", "512 level records, one ink",
                         levelRecords(single));
    r1.parameters.num("count", single.count)
        .real("smallShare", single.smallShare)
        .real("lowSlope", single.lowSlope);
}

void addCurves(PackWriter& pack) {
    Entry& maps = pack.add(kCurveMaps, "curve-maps",
                           "entry to channel maps: selector 4 (CMYK), 6 (six inks, ink order)",
                           curveMaps({{4, {0, 1, 2, 3}}, {6, {0, 2, 4, 5, 1, 3}}}));
    maps.parameters.raw("selectors", "[4, 6]");
    const std::vector<uint8_t> measured{50, 48, 52, 50, 47, 51};
    Entry& m = pack.add(kCurveMeasurements, "curve-measurements", "measured ink strengths, mode 1",
                        curveMeasurements(1, measured));
    m.parameters.num("mode", 1).raw("values",
                                    array(measured, [](uint8_t v) { return std::to_string(v); }));

    // Items handed over in the CmTagList rather than through CmSetResource.
    const Curve warm = midtoneCurve(0.04), cool = midtoneCurve(-0.03), same = identityCurve();
    auto item = [&](int number, const char* kind, const char* what, Bytes bytes, int tag) {
        Entry& e = pack.add(number, kind, what, std::move(bytes));
        e.use.num("tag", tag);
        return &e;
    };
    item(kItemSet4, "curve-set", "four curves: black darker, others as they are",
         curveSet({warm, same, same, same}), 528);
    item(kItemSet6, "curve-set", "six curves: light inks a little lighter",
         curveSet({same, same, cool, same, cool, cool}), 528);
    CurveSetTableOptions table4;
    for (int mi = 0; mi < 3; ++mi)
        for (const Quality& q : kQualities)
            table4.lines.push_back({mi % 2, kMedia[mi].name, q.number, 1, 4, 1});
    for (const Media& md : kMedia) table4.names.push_back(md.name);
    table4.blocks = {{same, same, same, warm}, {cool, cool, cool, same}};
    item(kItemTable4, "curve-set-table", "curve sets by media and quality, four channels",
         curveSetTable(table4), 544)
        ->parameters.num("version", table4.version)
        .num("blocks", 2)
        .num("channels", 4);
    CurveSetTableOptions table6 = table4;
    table6.version = 300;
    for (auto& l : table6.lines) l.numberC = 6;
    table6.blocks = {{same, same, same, warm, cool, cool}, {cool, cool, cool, same, same, same}};
    item(kItemContainer6, "curve-set-container", "curve sets for six inks in a container",
         curveSetContainer(curveSetTable(table6), 3), 544)
        ->parameters.num("version", table6.version)
        .num("blocks", 2)
        .num("channels", 6);
    item(kItemSelector4, "curve-selector", "curve-stage selector 4, targets 50",
         curveSelector(4, {50, 50, 50, 50}), 512);
    item(kItemSelector6, "curve-selector", "curve-stage selector 6, targets 50",
         curveSelector(6, {50, 50, 50, 50, 50, 50}), 512);
}

}  // namespace

std::string resourceFileName(int32_t number) {
    return std::to_string(number) + ".bin";
}

void writeDefaultPack(const std::filesystem::path& dir, ColourTableSource* colour) {
    PackWriter pack(dir);
    addHalftone(pack);
    std::vector<IndexLine> lines;
    for (int mi = 0; mi < 3; ++mi) addMedia(pack, lines, mi, colour);
    IndexOptions options{.lines = lines, .keyA = kKeyA, .keyC = kKeyC};
    for (const Media& m : kMedia) options.keyB.push_back(m.name);
    Entry& index = pack.add(
        0, "index", "colour tables by intent, media, quality, dots, colour mode, inks and variant",
        toBytes(indexText(options)));
    index.parameters.num("version", options.version)
        .num("lines", static_cast<long long>(lines.size()));
    addCurves(pack);
    pack.write(settingsJson());
}

uint64_t fnv1a64(const Bytes& bytes) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ull;
    return h;
}

Bytes readResource(const std::filesystem::path& dir, int32_t number) {
    std::ifstream in(dir / resourceFileName(number), std::ios::binary);
    if (!in)
        throw std::runtime_error("respack: no resource " + std::to_string(number) + " in " +
                                 dir.string());
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace respack
