#include "settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "failure.h"
#include "respack/respack.h"

namespace inkdot::cli {
namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The position of a name in an index list, in any case; the engine takes
// the later position when a list names something twice.
int position(const std::vector<std::string>& list, const std::string& name) {
    int found = -1;
    for (size_t i = 0; i < list.size(); ++i)
        if (lower(list[i]) == lower(name)) found = int(i);
    return found;
}

respack::ParsedIndex packIndex(Pack& pack) {
    const Bytes& bytes = pack.resource(0, Role::Index);
    return respack::parseIndex(std::string(reinterpret_cast<const char*>(bytes.data())));
}

// The variants the manifest names ({"1": "standard", "2": "economy"}).
std::map<int32_t, std::string> variantNames(const Pack& pack) {
    std::map<int32_t, std::string> names{{1, "standard"}};
    if (const nlohmann::json* d = pack.setting("numberD"); d && d->is_object())
        for (const auto& [number, name] : d->items())
            if (name.is_string())
                names[int32_t(std::atoi(number.c_str()))] = name.get<std::string>();
    return names;
}

// The keys the library compares with the index lines: intent 0 stands for
// the standard intent (3) with the matched colour mode, and colour mode 2
// for 4.
respack::Selection indexKeys(const Selection& s, int numberC) {
    respack::Selection k;
    k.keyA = s.keyA == 0 ? 3 : s.keyA;
    k.keyB = s.keyB;
    k.keyC = s.keyA == 0 || s.colorMode == 2 ? 4 : s.colorMode;
    k.numberA = s.numberA, k.numberB = s.numberB, k.numberC = numberC, k.numberD = s.numberD;
    return k;
}

}  // namespace

bool parseSizeMm(const std::string& text, double& widthMm, double& heightMm) {
    double w = 0, h = 0;
    char unit[8] = {}, extra = 0;
    const std::string l = lower(text);
    const int n = std::sscanf(l.c_str(), "%lfx%lf%7[a-z]%c", &w, &h, unit, &extra);
    if (n < 2 || n > 3) return false;
    const std::string u = unit;
    if (u != "" && u != "mm" && u != "in") return false;
    const double factor = u == "in" ? 25.4 : 1.0;
    widthMm = w * factor, heightMm = h * factor;
    return std::isfinite(widthMm) && std::isfinite(heightMm);
}

PageSize parsePageSize(const std::string& text) {
    struct Named {
        const char* name;
        double w, h;
    };
    constexpr Named sizes[] = {{"a3", 297, 420}, {"a4", 210, 297},         {"a5", 148, 210},
                               {"a6", 105, 148}, {"letter", 215.9, 279.4}, {"legal", 215.9, 355.6}};
    const std::string l = lower(text);
    for (const Named& n : sizes)
        if (l == n.name) return {text, n.w, n.h};
    double w = 0, h = 0;
    if (parseSizeMm(text, w, h) && w >= 5 && h >= 5 && w <= 2000 && h <= 2000) return {text, w, h};
    throw Failure(kExitUsage,
                  "page size '" + text +
                      "' is not one of A3, A4, A5, A6, Letter, Legal or WIDTHxHEIGHT in "
                      "mm or in (5 to 2000 mm, e.g. 100x150mm or 4x6in)");
}

std::optional<std::pair<double, double>> printedSizeMm(const PrintSettings& st, double width,
                                                       double height, double ownDpi) {
    char text[160];
    if (!st.size.empty() && (st.dpi != 0 || st.scalePercent != 0))
        throw Failure(kExitUsage,
                      "size '" + st.size +
                          "' gives the printed size on its own: leave out --dpi and --scale");
    if (!st.size.empty()) {
        double w = 0, h = 0;
        if (!parseSizeMm(st.size, w, h) || !(w > 0) || !(h > 0))
            throw Failure(
                kExitUsage,
                "size '" + st.size + "' is not WIDTHxHEIGHT in mm or in (e.g. 90x60mm or 4x6in)");
        // The image keeps its shape: it fills the box one way.
        const double mm = std::min(w / width, h / height);
        return std::pair{width * mm, height * mm};
    }
    if (st.dpi == 0 && st.scalePercent == 0) return std::nullopt;
    const double dpi = st.dpi != 0   ? st.dpi
                       : ownDpi != 0 ? ownDpi
                                     : 300,
                 scale = st.scalePercent == 0 ? 100 : st.scalePercent;
    if (!(dpi >= 1 && dpi <= 100000)) {
        std::snprintf(text, sizeof text, "image resolution %g dpi is outside 1 to 100000", dpi);
        throw Failure(kExitUsage, text);
    }
    if (!(scale >= 0.1 && scale <= 100000)) {
        std::snprintf(text, sizeof text, "scale %g%% is outside 0.1 to 100000", scale);
        throw Failure(kExitUsage, text);
    }
    const double mm = 25.4 / dpi * scale / 100.0;
    return std::pair{width * mm, height * mm};
}

int deviceLength(double mm, int dpi) {
    const double pixels = mm / 25.4 * dpi;
    return pixels > 0 ? int(std::lround(std::min(pixels, 1e6))) : 0;
}

Placement placePicture(const PrintSettings& st, const PageSize& page, int xres, int yres,
                       double sourceW, double sourceH, double ownDpi) {
    Placement p;
    p.pageW = deviceLength(page.widthMm, xres), p.pageH = deviceLength(page.heightMm, yres);
    const double areaW = page.widthMm - 2 * st.marginMm, areaH = page.heightMm - 2 * st.marginMm;
    const std::optional<std::pair<double, double>> sized =
        printedSizeMm(st, sourceW, sourceH, ownDpi);
    auto fits = [&](double w, double h) { return w <= areaW + 1e-9 && h <= areaH + 1e-9; };
    p.rotate = st.rotate == "yes" ||
               (st.rotate == "auto" &&
                (sized ? !fits(sized->first, sized->second) && fits(sized->second, sized->first)
                       : sourceW != sourceH && (sourceW > sourceH) != (areaW > areaH)));
    if (p.rotate) std::swap(sourceW, sourceH);
    p.fitted = !sized;
    if (sized) {
        p.printedW = p.rotate ? sized->second : sized->first,
        p.printedH = p.rotate ? sized->first : sized->second;
        if (!fits(p.printedW, p.printedH))
            throw Failure(
                kExitUsage,
                "the image at " + format("%.1f x %.1f mm", p.printedW, p.printedH) +
                    (p.rotate ? " (turned a quarter)" : "") +
                    " does not fit inside the margins of " + page.name + " (" +
                    format("%.1f x %.1f mm", areaW, areaH) +
                    "): give a smaller --size or --scale, a larger --dpi, or none to fit it");
    } else {
        const double mmPerUnit = std::min(areaW / sourceW, areaH / sourceH);
        p.printedW = sourceW * mmPerUnit, p.printedH = sourceH * mmPerUnit;
    }
    // A picture thinner than a device pixel still takes one.
    p.width = std::clamp(deviceLength(p.printedW, xres), 1, std::max(p.pageW, 1));
    p.height = std::clamp(deviceLength(p.printedH, yres), 1, std::max(p.pageH, 1));
    p.x0 = (p.pageW - p.width) / 2, p.y0 = (p.pageH - p.height) / 2;
    return p;
}

void parseResolution(const std::string& text, int& x, int& y) {
    constexpr int served[][2] = {{2880, 720}, {1440, 720}, {720, 720}, {720, 360}, {360, 720}};
    if (std::sscanf(text.c_str(), "%dx%d", &x, &y) == 2)
        for (const auto& s : served)
            if (s[0] == x && s[1] == y) return;
    throw Failure(kExitUsage, "resolution '" + text +
                                  "' is not one of 2880x720, 1440x720, 720x720, 720x360, 360x720");
}

std::string choiceList(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return out.empty() ? "nothing" : out;
}

PackOffers packOffers(Pack& pack) {
    const respack::ParsedIndex index = packIndex(pack);
    std::set<int32_t> keyA, keyB, keyC, variants;
    for (const respack::ParsedIndex::Keys& k : index.keys)
        keyA.insert(k.keyA), keyB.insert(k.keyB), keyC.insert(k.keyC);
    for (const respack::IndexLine& l : index.lines) variants.insert(l.numberD);
    PackOffers o;
    for (size_t i = 0; i < index.keyB.size(); ++i)
        if (keyB.count(index.keyBBase + int32_t(i))) o.media.push_back(index.keyB[i]);
    for (size_t i = 0; i < index.keyA.size(); ++i)
        if (keyA.count(int32_t(i)) || (i == 0 && keyA.count(3))) o.intents.push_back(index.keyA[i]);
    // Position 2 cannot be asked for: the library reads colour mode 2 as 4.
    for (size_t i = 0; i < index.keyC.size(); ++i)
        if (keyC.count(int32_t(i)) && i != 2) o.colourModes.push_back(index.keyC[i]);
    for (const auto& [number, name] : variantNames(pack))
        if (variants.count(number) || index.version < 300) o.variants.push_back(name);
    for (const Quality& q : pack.qualities()) o.qualities.push_back(q.name);
    return o;
}

Selection resolveSelection(Pack& pack, const PrintSettings& settings, std::vector<int> tables) {
    const respack::ParsedIndex index = packIndex(pack);
    const PackOffers offers = packOffers(pack);
    Selection s;
    // A name is taken when the pack offers it, in any case.
    auto choose = [](const std::vector<std::string>& offered, const std::string& given,
                     const char* what) {
        for (const std::string& name : offered)
            if (lower(name) == lower(given)) return name;
        throw Failure(kExitUsage, std::string(what) + " '" + given +
                                      "' is not offered by the pack (it offers " +
                                      choiceList(offered) + ")");
    };

    s.mediaName = choose(offers.media, settings.media, "media");
    s.keyB = index.keyBBase + position(index.keyB, s.mediaName);
    s.intentName = choose(offers.intents, settings.intent, "intent");
    s.keyA = position(index.keyA, s.intentName);
    // The engine derives the colour-mode key from colorMode, with 2 (which
    // also switches on the colour re-mapping) standing for 4.
    s.colourModeName = choose(offers.colourModes, settings.colourMode, "colour mode");
    const int mode = position(index.keyC, s.colourModeName);
    s.colorMode = mode == 4 ? 2 : mode;

    const std::vector<Quality> qualities = pack.qualities();
    const Quality* quality = nullptr;
    for (const Quality& q : qualities)
        if (!settings.quality.empty() && (lower(q.name) == lower(settings.quality) ||
                                          std::to_string(q.number) == settings.quality))
            quality = &q;
    if (!settings.quality.empty() && !quality)
        throw Failure(kExitUsage, "quality '" + settings.quality +
                                      "' is not in the pack (it offers " +
                                      choiceList(offers.qualities) + ")");
    if (!settings.resolution.empty()) {
        parseResolution(settings.resolution, s.xResolution, s.yResolution);
        // Without a quality, the one printed at this resolution, else "normal".
        for (const Quality& q : qualities)
            if (!quality && q.xResolution == s.xResolution && q.yResolution == s.yResolution)
                quality = &q;
        for (const Quality& q : qualities)
            if (!quality && lower(q.name) == "normal") quality = &q;
        if (!quality && !qualities.empty()) quality = &qualities.front();
    } else {
        for (const Quality& q : qualities)
            if (!quality && lower(q.name) == "normal") quality = &q;
        if (!quality && !qualities.empty()) quality = &qualities.front();
        if (quality) s.xResolution = quality->xResolution, s.yResolution = quality->yResolution;
    }
    if (!quality)
        throw Failure(kExitPack,
                      "the manifest of " + pack.dir().string() + " lists no print qualities");
    s.numberA = quality->number;
    s.qualityName = quality->name;

    if (settings.bits != 1 && settings.bits != 2)
        throw Failure(kExitUsage,
                      "dots of " + std::to_string(settings.bits) + " bits: give 1 or 2");
    s.numberB = settings.bits;
    s.variantName = choose(offers.variants, settings.variant, "variant");
    for (const auto& [number, name] : variantNames(pack))
        if (name == s.variantName) s.numberD = number;

    for (auto [value, name] : {std::pair{settings.brightness, "brightness"},
                               {settings.contrast, "contrast"},
                               {settings.saturation, "saturation"}})
        if (value < -50 || value > 50)
            throw Failure(kExitUsage, std::string(name) + " " + std::to_string(value) +
                                          " is outside -50 to 50");
    if (!(settings.gamma >= 1.0 && settings.gamma <= 3.0)) {
        char text[64];
        std::snprintf(text, sizeof text, "gamma %g is outside 1.0 to 3.0", settings.gamma);
        throw Failure(kExitUsage, text);
    }

    // Every value is offered, but not every combination: the index must
    // have a colour table for this one, else say which settings have.
    for (int numberC : tables) {
        const respack::Selection keys = indexKeys(s, numberC);
        if (respack::chooseTable(index, keys) != 0) continue;
        std::vector<std::string> with;
        for (size_t i = 0; i < index.lines.size(); ++i) {
            const respack::IndexLine& l = index.lines[i];
            const respack::ParsedIndex::Keys& k = index.keys[i];
            if (k.keyA != keys.keyA || k.keyC != keys.keyC || l.numberC != numberC ||
                l.numberD != keys.numberD)
                continue;
            std::string q = std::to_string(l.numberA);
            for (const Quality& qu : qualities)
                if (qu.number == l.numberA) q = qu.name;
            const std::string text = index.keyB[size_t(k.keyB - index.keyBBase)] + " " + q + " " +
                                     std::to_string(l.numberB) + "-bit";
            if (std::find(with.begin(), with.end(), text) == with.end()) with.push_back(text);
        }
        throw Failure(kExitUsage,
                      "the pack has no " +
                          std::string(numberC == 4 ? "RGB to CMYK" : "CMYK to six-ink") +
                          " colour table for media " + s.mediaName + ", quality " + s.qualityName +
                          ", " + std::to_string(s.numberB) + "-bit dots with intent " +
                          s.intentName + ", colour mode " + s.colourModeName + " and variant " +
                          s.variantName + "; with those three it has " +
                          (with.empty() ? std::string("none") : choiceList(with)));
    }
    return s;
}

void colourMatchingRecords(const Selection& s, const PrintSettings& settings, int numberC,
                           bool blackOnlyGreys, const CmTagList* tags, CmParams& params,
                           CmSelect& select) {
    params = CmParams{};
    params.adjustMode = 0;
    params.brightness = settings.brightness;
    params.contrast = settings.contrast;
    params.saturation = settings.saturation;
    params.numberC = numberC;
    params.keyB = s.keyB;
    params.matchMode = 0;
    params.colorMode = s.colorMode;
    // 50 gives up the table's composite greys for its black-only ones.
    params.greyMode = blackOnlyGreys ? 50 : 0;
    params.tags = tags;
    select = CmSelect{};
    select.keyA = s.keyA;
    select.level = 0;
    select.pixelLayout = 1;  // four-byte work pixels: the colour-mode key stays
    select.greyCurve = 0;
    select.numberA = s.numberA;
    select.numberB = s.numberB;
    select.numberD = s.numberD;
}

}  // namespace inkdot::cli
